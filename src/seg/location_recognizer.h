// Location-name recognition on the chosen path of a lattice.
//
// After location-role tagging (CRoleTagger, roles in perIdxLN), a location
// name is a head word, any number of middle words and a tail word, all of
// the Chinese roles LH, LM, LT or all of the transliterated roles FH, FM,
// FT.  The head and middle words together may be at most 6 bytes long for a
// Chinese name (mode 22, entity type 65) and 10 bytes for a transliterated
// one (mode 23, type 66); the tail does not count.  A candidate is rejected
// when one character stands three times in a row in it, or when it is two
// characters (4 bytes) of which the first is a single Chinese numeral
// (一 to 十) or both are the same character.  Each accepted candidate
// becomes a location entity item (seg/ne_items.h).
//
// The scan walks the path word by word (p = end of the current word).  A
// word whose location role is A, or at which no name begins, is passed
// over.  After a candidate, accepted or not, the scan goes on at
// suc_match_pos, the end of the word that follows the candidate: that word
// is the next one examined as a head (so in LH LT LH LT both names are
// found), and the scan ends when the candidate ends the sentence.
//
// Lattice contract: the same as for the role tagger (seg/role_tagger.h): n is
// the sentence length (1 <= n < CLattice::kMaxNodes), `text` its bytes, and
// the chosen path is marked and consistent.  The scan checks the path before
// it looks at anything and then reads only path nodes and their MaxItem, so
// any role values are safe.
#ifndef LX_SEG_LOCATION_RECOGNIZER_H
#define LX_SEG_LOCATION_RECOGNIZER_H

#include <cstddef>
#include <cstdint>

#include "seg/lattice.h"
#include "seg/ne_context.h"

class CBasicDict;

class CLocationRecognizer {
 public:
  static constexpr size_t MAX_LN_CHINA_PREFIX_LEN = 6;
  static constexpr size_t MAX_LN_TRANS_PREFIX_LEN = 10;

  // Modes.
  static constexpr int kModeChina = 22;
  static constexpr int kModeTrans = 23;

  // Scans the whole path and inserts every accepted location as an entity
  // item, counting it in ne_count; ctx is the handle's work context.
  // Returns 1, or 0 (nothing done) when the arguments break the contract
  // above.  With `path_checked` the caller has seen the path pass
  // tagger_path_is_consistent() unchanged since, and it is not checked again.
  static int _ln_mode_match(CLattice& lattice, const char* text, uint32_t n,
                            const CBasicDict& dict, NeContextType& ctx, int& ne_count,
                            bool path_checked = false);

  // The candidate whose head is the path word ending at cur_index: returns
  // its mode (22 or 23) with ctx filled, or -1 (ctx unspecified).  Requires a
  // consistent path (checked by the scan; cur_index that is no path node
  // gives -1).
  static int _ln_mode_match(CLattice& lattice, uint32_t n, size_t cur_index, NeContextType& ctx);

  // The rejection rules: a rejected candidate gets mode -1 and role_count 0.
  static void _ln_rule_revise(const char* text, uint32_t n, NeContextType& ctx);

  // False for a span that cannot be a location: exactly 4 bytes that are a
  // single Chinese numeral followed by anything, or two equal two-byte
  // characters.  Every other span passes.
  static bool _loc_rule(const char* word, int len);
};

#endif  // LX_SEG_LOCATION_RECOGNIZER_H
