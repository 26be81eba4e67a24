#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "RoleTrain.h"

using namespace lxtrain;

namespace {

// A path from word lengths in bytes.
std::vector<PathSpan> Path(std::initializer_list<uint32_t> lengths) {
  std::vector<PathSpan> p;
  uint32_t at = 0;
  for (uint32_t n : lengths) {
    p.push_back(PathSpan{at, at + n});
    at += n;
  }
  return p;
}

GoldName Name(uint32_t begin, uint32_t mid, uint32_t end) { return GoldName{begin, mid, end}; }

typedef std::vector<uint8_t> Roles;

TEST(TrainerRoles, ChineseNameShapesOnThePath) {
  // 在 | 江 | 泽 | 民 | 会见: a name cut into single characters.
  EXPECT_EQ(AssignPersonRoles(Path({2, 2, 2, 2, 4}), {Name(2, 4, 8)}),
            (Roles{kRoleK, kRoleB, kRoleC, kRoleD, kRoleL}));
  // 江 | 泽民: the given name is one word.
  EXPECT_EQ(AssignPersonRoles(Path({2, 4, 4}), {Name(0, 2, 6)}), (Roles{kRoleB, kRoleZ, kRoleL}));
  // One given character.
  EXPECT_EQ(AssignPersonRoles(Path({2, 2, 2}), {Name(0, 2, 4)}), (Roles{kRoleB, kRoleE, kRoleL}));
  // The whole name as one word.
  EXPECT_EQ(AssignPersonRoles(Path({4, 6}), {Name(4, 6, 10)}), (Roles{kRoleK, kRoleY}));
}

TEST(TrainerRoles, FusedWordsGetFusedRoles) {
  // The word before glued to the surname: U, and no K before it.
  EXPECT_EQ(AssignPersonRoles(Path({4, 2, 2, 2}), {Name(2, 4, 8)}),
            (Roles{kRoleU, kRoleC, kRoleD, kRoleL}));
  // The last given character glued to the next word: V, and no L after.
  EXPECT_EQ(AssignPersonRoles(Path({2, 2, 4, 2}), {Name(0, 2, 6)}),
            (Roles{kRoleB, kRoleC, kRoleV, kRoleA}));
  // A single given character glued to the next word: V.
  EXPECT_EQ(AssignPersonRoles(Path({2, 4}), {Name(0, 2, 4)}), (Roles{kRoleB, kRoleV}));
  // Surname and first given character as one word: X, then D or V.
  EXPECT_EQ(AssignPersonRoles(Path({4, 2}), {Name(0, 2, 6)}), (Roles{kRoleX, kRoleD}));
  EXPECT_EQ(AssignPersonRoles(Path({4, 4}), {Name(0, 2, 6)}), (Roles{kRoleX, kRoleV}));
}

TEST(TrainerRoles, OneCharacterGivenNamesCanStayApart) {
  // B D is no name pattern, so such a name stays two words; a given
  // character glued to the next word is no V then.
  EXPECT_EQ(AssignPersonRoles(Path({2, 2, 2}), {Name(0, 2, 4)}, true),
            (Roles{kRoleB, kRoleD, kRoleL}));
  EXPECT_EQ(AssignPersonRoles(Path({2, 4}), {Name(0, 2, 4)}, true), (Roles{kRoleB, kRoleA}));
  // Two given characters are not affected.
  EXPECT_EQ(AssignPersonRoles(Path({2, 2, 2}), {Name(0, 2, 6)}, true),
            (Roles{kRoleB, kRoleC, kRoleD}));
}

TEST(TrainerRoles, ContextBetweenTwoNamesIsM) {
  // 张 | 三 | 和 | 李 | 四
  EXPECT_EQ(AssignPersonRoles(Path({2, 2, 2, 2, 2}), {Name(0, 2, 4), Name(6, 8, 10)}),
            (Roles{kRoleB, kRoleE, kRoleM, kRoleB, kRoleE}));
  // Two names back to back keep their own roles.
  EXPECT_EQ(AssignPersonRoles(Path({2, 2, 2, 2}), {Name(0, 2, 4), Name(4, 6, 8)}),
            (Roles{kRoleB, kRoleE, kRoleB, kRoleE}));
}

TEST(TrainerRoles, TransliteratedNames) {
  // A name the path cuts into three words: H I T.
  EXPECT_EQ(AssignPersonRoles(Path({2, 2, 2, 2, 2}), {Name(2, 2, 8)}),
            (Roles{kRoleK, kRoleH, kRoleI, kRoleT, kRoleL}));
  // A name the dictionary holds as one word has no role of its own.
  EXPECT_EQ(AssignPersonRoles(Path({2, 6}), {Name(2, 2, 8)}), (Roles{kRoleA, kRoleA}));
}

TEST(TrainerRoles, IrregularCutsLeaveTheNameAlone) {
  // A word that runs from inside the surname's predecessor over the whole
  // surname and the first given character: no role describes it.
  EXPECT_EQ(AssignPersonRoles(Path({6, 2}), {Name(2, 4, 8)}), (Roles{kRoleA, kRoleA}));
  // A word that covers both given characters and runs on: no role (V is
  // only the last character glued to what follows).
  EXPECT_EQ(AssignPersonRoles(Path({2, 6}), {Name(0, 2, 6)}), (Roles{kRoleA, kRoleA}));
}

TEST(TrainerRoles, TransitionRowFollowsTheTagger) {
  // A name that has just ended is context when the next one begins.
  EXPECT_EQ(PersonTransitionFrom(kRoleD, kRoleB), kRoleA);
  EXPECT_EQ(PersonTransitionFrom(kRoleE, kRoleH), kRoleA);
  EXPECT_EQ(PersonTransitionFrom(kRoleB, kRoleC), kRoleB);
  EXPECT_EQ(PersonTransitionFrom(kRoleD, kRoleL), kRoleD);
  EXPECT_EQ(PersonTransitionFrom(kRoleK, kRoleB), kRoleK);
}

TEST(TrainerRoles, RandomPathsAndNamesStayInBounds) {
  // Any path and any set of names: one role per word, only known roles,
  // and every word covered by a name's own roles lies inside that name.
  std::mt19937 rng(7);
  const uint8_t known[] = {kRoleA, kRoleB, kRoleC, kRoleD, kRoleE, kRoleK, kRoleL, kRoleM,
                           kRoleU, kRoleV, kRoleX, kRoleY, kRoleZ, kRoleH, kRoleI, kRoleT};
  for (int round = 0; round < 2000; ++round) {
    std::vector<PathSpan> path;
    uint32_t at = 0;
    const int words = 1 + static_cast<int>(rng() % 12);
    for (int k = 0; k < words; ++k) {
      uint32_t n = 2 * (1 + rng() % 3);
      path.push_back(PathSpan{at, at + n});
      at += n;
    }
    std::vector<GoldName> names;
    uint32_t pos = 0;
    while (pos + 4 <= at) {
      pos += 2 * (rng() % 4);
      const uint32_t surname = 2 * (1 + rng() % 2), given = 2 * (rng() % 3);
      if (pos + surname + given > at || surname + given < 4) break;
      const bool whole = rng() % 4 == 0;
      names.push_back(GoldName{pos, whole ? pos : pos + surname, pos + surname + given});
      pos += surname + given;
    }
    const Roles roles = AssignPersonRoles(path, names);
    ASSERT_EQ(roles.size(), path.size());
    for (uint8_t r : roles)
      ASSERT_NE(std::find(std::begin(known), std::end(known), r), std::end(known)) << int(r);
    for (size_t k = 0; k < roles.size(); ++k) {
      if (roles[k] != kRoleB && roles[k] != kRoleY && roles[k] != kRoleH) continue;
      bool inside = false;
      for (const GoldName& n : names)
        if (path[k].begin == n.begin) inside = true;
      EXPECT_TRUE(inside) << "a name's first role on a word that starts no name";
    }
  }
}

}  // namespace

TEST(TrainerRoles, PlaceShapesOnThePath) {
  const GoldPlace liuqiao{2, 6, false};  // 在 | 刘 | 桥 | 村民
  EXPECT_EQ(AssignPlaceRoles(Path({2, 2, 2, 4}), {liuqiao}),
            (Roles{kRoleA, kRoleLH, kRoleLT, kRoleA}));
  // Head and middle words, a transliterated place.
  EXPECT_EQ(AssignPlaceRoles(Path({4, 2, 2, 2}), {GoldPlace{0, 10, true}}),
            (Roles{kRoleFH, kRoleFM, kRoleFM, kRoleFT}));
  // One path word: the dictionary knows the place, no roles.
  EXPECT_EQ(AssignPlaceRoles(Path({4, 2}), {GoldPlace{0, 4, false}}), (Roles{kRoleA, kRoleA}));
  // A place the path cuts across its edges gets no roles.
  EXPECT_EQ(AssignPlaceRoles(Path({4, 4}), {GoldPlace{2, 6, false}}), (Roles{kRoleA, kRoleA}));
  // The matcher's limits on the head and middle words: 6 bytes for a
  // Chinese place, 10 for a transliterated one.
  EXPECT_EQ(AssignPlaceRoles(Path({4, 2, 2}), {GoldPlace{0, 8, false}}),
            (Roles{kRoleLH, kRoleLM, kRoleLT}));
  EXPECT_EQ(AssignPlaceRoles(Path({4, 4, 2}), {GoldPlace{0, 10, false}}),
            (Roles{kRoleA, kRoleA, kRoleA}));
  EXPECT_EQ(AssignPlaceRoles(Path({6, 4, 2}), {GoldPlace{0, 12, true}}),
            (Roles{kRoleFH, kRoleFM, kRoleFT}));
  EXPECT_EQ(AssignPlaceRoles(Path({6, 6, 2}), {GoldPlace{0, 14, true}}),
            (Roles{kRoleA, kRoleA, kRoleA}));
}

TEST(TrainerRoles, PlaceTransitionsRestartAfterAPlace) {
  EXPECT_EQ(PlaceTransitionFrom(kRoleLT, kRoleLH), kRoleA);
  EXPECT_EQ(PlaceTransitionFrom(kRoleFT, kRoleLH), kRoleA);
  EXPECT_EQ(PlaceTransitionFrom(kRoleLT, kRoleA), kRoleLT);
  EXPECT_EQ(PlaceTransitionFrom(kRoleLH, kRoleLT), kRoleLH);
}
