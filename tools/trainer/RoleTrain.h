// Person roles of the training text.
//
// Roles are assigned to the words of the path that the library itself
// chooses without name recognition (the fused roles U, V, X only exist
// there), aligned with the names of the gold text.  For a Chinese name with
// surname [begin, mid) and given name [mid, end):
//
//   path word                                   role
//   exactly the surname                         B
//   ends with the surname, starts before it     U
//   surname and first given character           X
//   the whole name                              Y
//   first / second of two given characters      C / D
//   the single given character                  E
//   both given characters                       Z
//   the last given character and what follows   V
//   the word before a name / after it / both    K / L / M
//
// A transliterated name (one gold token that the path cuts into several
// words) gets H, I..., T.  A name whose words cross its edges in any other
// way is left to role A, as is every other word.
#ifndef LX_TRAINER_ROLE_TRAIN_H
#define LX_TRAINER_ROLE_TRAIN_H

#include <cstdint>
#include <vector>

namespace lxtrain {

enum PersonRole : uint8_t {
  kRoleB = 1, kRoleC = 2, kRoleD = 3, kRoleE = 4, kRoleK = 7, kRoleL = 8, kRoleM = 9,
  kRoleU = 10, kRoleV = 11, kRoleX = 12, kRoleY = 13, kRoleZ = 14, kRoleH = 15, kRoleI = 16,
  kRoleT = 17, kRoleE2 = 18, kRoleX2 = 19, kRoleDHalf = 28, kRoleA = 50
};

// Byte span of a path word.
struct PathSpan {
  uint32_t begin = 0;
  uint32_t end = 0;
};

// A gold person name: surname [begin, mid), given name [mid, end).  A name
// written as one token (a transliteration) has mid == begin.
struct GoldName {
  uint32_t begin = 0;
  uint32_t mid = 0;
  uint32_t end = 0;
};

// The row of the transition table that scores `cur` after `prev`: a name
// that has just ended is context (A) when a new name begins, as the tagger
// reads it.
uint8_t PersonTransitionFrom(uint8_t prev, uint8_t cur);

// The person role of each path word (path words in text order, contiguous;
// names in text order, not overlapping).
// With `single_given_apart`, a name with a one-character given name is
// given no pattern: its given name gets D instead of E (B D is no pattern)
// and a given character glued to the next word gets A instead of V, so such
// names stay two words, as the corpus writes them.
std::vector<uint8_t> AssignPersonRoles(const std::vector<PathSpan>& path,
                                       const std::vector<GoldName>& names,
                                       bool single_given_apart = false);

// Place roles.  A gold place that the path cuts into several words gets
// LH, LM..., LT (FH, FM..., FT for a transliterated place), as the place
// matcher reads them, when its head and middle words fit the matcher's
// limits (6 bytes, 10 for a transliterated place); every other word is A.
enum PlaceRole : uint8_t {
  kRoleLH = 20, kRoleLM = 21, kRoleLT = 22, kRoleLY = 29, kRoleFH = 31, kRoleFM = 32,
  kRoleFT = 33
};

// A gold place name [begin, end); `foreign` for a transliterated one.
struct GoldPlace {
  uint32_t begin = 0;
  uint32_t end = 0;
  bool foreign = false;
};

// The row of the place transition table that scores `cur` after `prev`
// (a place that has just ended is context when a new one begins).
uint8_t PlaceTransitionFrom(uint8_t prev, uint8_t cur);

// The place role of each path word (places in text order, not overlapping).
std::vector<uint8_t> AssignPlaceRoles(const std::vector<PathSpan>& path,
                                      const std::vector<GoldPlace>& places);

}  // namespace lxtrain

#endif  // LX_TRAINER_ROLE_TRAIN_H
