// Name-role tagging against an exhaustive search over all role sequences of
// random paths and tables, the forced-step restart, refused paths, and the
// role scores the entity recognizers use.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "dict/NerResource.h"
#include "seg/role_tagger.h"
#include "seg/tagger_fixture.h"

namespace {

using tagtest::BuildPath;
using tagtest::Cand;
using tagtest::Chr;
using tagtest::Dict;
using tagtest::W;

const uint32_t kDim = CRoleTagger::kRoleTableDim;
const uint8_t A = NE_ROLE_A, B = NE_ROLE_B, C = NE_ROLE_C, D = NE_ROLE_D, E = NE_ROLE_E;
using Table = tagtest::Table<kDim>;

basic_dict_entry_t Word(const std::string& w, std::vector<prop_item_t> roles,
                        std::vector<prop_item_t> ln_roles = {}, uint16_t ne = 0) {
  basic_dict_entry_t e;
  e.word = w, e.name_entity = ne, e.pos = std::vector<prop_item_t>{{16, -1.0f}};
  if (!roles.empty()) e.roles = roles;
  if (!ln_roles.empty()) e.ln_roles = ln_roles;
  return e;
}

std::vector<int> Roles(CLattice& lat, uint32_t n, bool location) {
  return tagtest::PathValues(lat, n, location ? &tSegItemInfo::perIdxLN : &tSegItemInfo::perIdx);
}

TEST(RoleTagger, ForcedStepsRestartTheScoreAndBrokenPathsAreRefused) {
  Dict dict;
  dict.add(Word(Chr(1), {{E, -0.5f}}));
  dict.add(Word(Chr(2), {{B, -0.5f}, {C, -0.5f}}));
  dict.add(Word(Chr(5), {{D, -1.0f}}));
  dict.build();
  CRoleTagger tagger;
  CLattice lat;
  auto tag = [&](const std::string& text, const Table& t, size_t type = CRoleTagger::PN) {
    return tagger._ne_role_tag(lat, text.data(), (uint32_t)text.size(), dict.dict, t.data(), type);
  };
  Table t;
  // {E} cannot be reached; {D} after it is forced and restarts at -10, so
  // that {B, C} chooses C on its merits (B would stay at minus infinity).
  t.at(A, E).m_Prob = LogP_Zero;
  t.at(D, C).m_Prob = -0.5f;
  std::string text = BuildPath(lat, {{Chr(1), dict.attr(Chr(1)), 0}, {Chr(5), dict.attr(Chr(5)), 0},
                                     {Chr(2), dict.attr(Chr(2)), 0}});
  ASSERT_TRUE(tag(text, t));
  EXPECT_EQ(Roles(lat, 6, false), (std::vector<int>{E, D, C}));
  // A first word with one candidate is no forced step.
  text = BuildPath(lat, {{Chr(1), dict.attr(Chr(1)), 0}, {Chr(2), dict.attr(Chr(2)), 0}});
  ASSERT_TRUE(tag(text, t));
  EXPECT_EQ(Roles(lat, 4, false), (std::vector<int>{E, B}));

  // Refused, with the path items untouched.
  text = BuildPath(lat, {{Chr(2), dict.attr(Chr(2)), 0}, {Chr(1), dict.attr(Chr(1)), 0}});
  EXPECT_FALSE(tag(text, t, 3));
  EXPECT_FALSE(tagger._ne_role_tag(lat, text.data(), 3, dict.dict, t.data(), CRoleTagger::PN));
  lat.m_nodes[4].MaxItem->begin_pos = 1;
  EXPECT_FALSE(tag(text, t));
  EXPECT_EQ(Roles(lat, 2, false), (std::vector<int>{tagtest::kInitialPerIdx}));
}

TEST(RoleLookup, ProbabilitiesAndWeights) {
  const uint8_t DH = NE_ROLE_D_HALF, X = NE_ROLE_X, XH = NE_ROLE_X_HALF;
  Dict dict;
  dict.add(Word(Chr(0), {{DH, -2.5f}}, {{NE_ROLE_LH, -1.5f}}));
  dict.add(Word(Chr(1), {{X, -1.0f}, {XH, -4.0f}}));
  dict.add(Word(Chr(2), {{B, -2.0f}, {D, -7.0f}, {DH, -3.0f}, {E, -9.8f}}));
  dict.add(Word(Chr(3), {}));
  dict.add(Word(Chr(4), {{C, -10.5f}}));
  dict.build();
  size_t idx[5];
  for (int i = 0; i < 5; ++i) idx[i] = dict.attr(Chr(i)) - 1;
  struct Row { size_t word; uint8_t role; size_t type; float prob; };
  // D and D_HALF, X and X_HALF stand for each other in person lists; the
  // first matching entry counts; -9.8 when none matches, -3.0 without a list.
  const Row rows[] = {{idx[0], D, 1, -2.5f},  {idx[0], DH, 1, -2.5f},  {idx[1], XH, 1, -1.0f},
                      {idx[1], X, 1, -1.0f},  {idx[2], DH, 1, -7.0f},  {idx[2], C, 1, -9.8f},
                      {idx[3], B, 1, -3.0f},  {idx[0], NE_ROLE_LH, 2, -1.5f}, {idx[0], D, 2, -9.8f},
                      {idx[1], B, 2, -3.0f},  {(size_t)-1, B, 1, -3.0f}, {5, B, 1, -3.0f}};
  for (const Row& r : rows)
    EXPECT_EQ(CRoleTagger::_getNameCharRoleProb(dict.dict, r.word, r.role, r.type), r.prob)
        << r.word << " " << (int)r.role;

  struct RoleEntry {
    size_t prop_idx, role_idx;
  };
  RoleEntry two[2] = {{idx[2], B}, {idx[2], E}};
  EXPECT_FLOAT_EQ(CRoleTagger::_compute_ne_weight(dict.dict, two, 2, 1), -11.8f);
  EXPECT_EQ(CRoleTagger::_compute_ne_weight(dict.dict, two, 1, 1), 0.0f);
  two[1] = {idx[4], C};  // -10.5: below the floor
  EXPECT_EQ(CRoleTagger::_compute_ne_weight(dict.dict, two, 2, 1), 0.0f);
  RoleEntry three[3] = {{idx[2], B}, {idx[0], D}, {idx[0], NE_ROLE_LH}};
  EXPECT_FLOAT_EQ(CRoleTagger::_compute_ne_weight(dict.dict, three, 40, 2), -3.0f - 9.8f - 1.5f);

}

// --- Exhaustive reference ---------------------------------------------------

bool RefBegin(uint8_t r, size_t type) {
  if (type == 1) return r == 1 || r == 12 || r == 13 || r == 15 || r == 19;
  return r == 20 || r == 29 || r == 31;
}
bool RefEnd(uint8_t r, size_t type) {
  if (type == 1)
    return r == 3 || r == 4 || r == 6 || r == 11 || r == 13 || r == 14 || r == 17 || r == 18 ||
           r == 19 || r == 28;
  return r == 22 || r == 29 || r == 33;
}

// Start from A, transitions with the begin/end rule, closing column A.
std::vector<int> Reference(const std::vector<std::vector<Cand>>& words,
                           const std::vector<CProbabilityNode>& t, size_t type) {
  auto trans = [&](uint8_t p, uint8_t c) {
    const uint8_t row = (RefBegin(c, type) && RefEnd(p, type)) ? 50 : p;
    return t[row * kDim + c].m_Prob;
  };
  return tagtest::ExhaustiveBest(words, 50, trans, [&](uint8_t r) { return t[r * kDim + 50].m_Prob; });
}

TEST(RoleTaggerReference, ViterbiAgreesWithExhaustiveSearch) {
  // Multiples of 0.5 in [-4, 0]: exact sums, so ties are genuine and their
  // order is tested too.
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    std::mt19937 rng(seed);
    auto half = [&]() { return -0.5f * (float)(rng() % 9); };
    const int kWords = 12;
    std::vector<std::vector<prop_item_t>> pn(kWords), ln(kWords);
    std::vector<uint16_t> ne(kWords, 0);
    Dict dict;
    const uint8_t pool_pn[] = {1, 2, 3, 4, 6, 11, 12, 13, 14, 15, 17, 18, 19, 28, 50};
    const uint8_t pool_ln[] = {20, 21, 22, 29, 31, 33, 50, 23};
    for (int i = 0; i < kWords; ++i) {
      for (size_t k = rng() % 4; k > 0; --k) pn[i].push_back({pool_pn[rng() % 15], half()});
      for (size_t k = rng() % 4; k > 0; --k) ln[i].push_back({pool_ln[rng() % 8], half()});
      ne[i] = (rng() % 6 == 0) ? 88 : 0;
      dict.add(Word(Chr(10 + i), pn[i], ln[i], ne[i]));
    }
    dict.build();
    std::vector<CProbabilityNode> table(kDim * kDim);
    for (auto& c : table) c = CProbabilityNode{half(), half()};
    auto fixed = [&](std::initializer_list<uint8_t> roles) {
      std::vector<Cand> out;
      for (uint8_t r : roles) out.push_back({r, table[r * kDim].m_Bow});
      return out;
    };

    CRoleTagger tagger;
    CLattice lat;
    for (int trial = 0; trial < 40; ++trial) {
      std::vector<W> path;
      std::vector<std::vector<Cand>> cpn, cln;
      for (size_t w = 0, m = 1 + rng() % 6; w < m; ++w) {
        const int kind = rng() % 5;
        if (kind <= 2) {  // dictionary word, possibly used as type 88 / -88
          const int i = rng() % kWords;
          int type = ne[i];
          if (type == 88 && rng() % 2) type = -88;
          path.push_back({Chr(10 + i), dict.attr(Chr(10 + i)), type});
          auto list = [&](const std::vector<prop_item_t>& roles) {
            std::vector<Cand> c = fixed({50});
            if (type == 0 && !roles.empty()) c.clear();
            for (size_t k = 0; type == 0 && k < roles.size(); ++k) c.push_back({roles[k].id, roles[k].prob});
            return c;
          };
          cpn.push_back(list(pn[i]));
          cln.push_back(list(ln[i]));
        } else if (kind == 3) {  // two bytes outside the dictionary
          static const uint8_t leads[] = {0x80, 0xA0, 0xA1, 0xA9, 0xAA, 0xB3, 0xFE};
          const uint8_t lead = leads[rng() % 7];
          static const uint32_t attrs[] = {kAttrSingleChar, 0, 9999};
          path.push_back({std::string{(char)lead, (char)0xA1}, attrs[rng() % 3], 55});
          const bool chinese = lead < 0xA1 || lead > 0xA9;
          cpn.push_back(chinese ? fixed({50, 2, 3, 4}) : fixed({50}));
          cln.push_back(fixed({50}));
        } else {  // an ASCII byte
          path.push_back({"7", kAttrNumber, 58});
          cpn.push_back(fixed({50})), cln.push_back(fixed({50}));
        }
      }
      const std::string text = BuildPath(lat, path);
      const uint32_t n = (uint32_t)text.size();
      ASSERT_TRUE(tagger._ne_role_tag(lat, text.data(), n, dict.dict, table.data(), CRoleTagger::PN));
      ASSERT_TRUE(tagger._ne_role_tag(lat, text.data(), n, dict.dict, table.data(), CRoleTagger::LN));
      EXPECT_EQ(Roles(lat, n, false), Reference(cpn, table, 1)) << "seed " << seed << " trial " << trial;
      EXPECT_EQ(Roles(lat, n, true), Reference(cln, table, 2)) << "seed " << seed << " trial " << trial;
    }
  }
}

}  // namespace
