// Name-role tagging: Viterbi decoding of one name role per word of the
// sentence's chosen path, for person names (roles written to perIdx) and for
// location names (roles written to perIdxLN).
//
// Model.  The hidden states are roles (dict/NerResource.h).  A word's
// candidate roles and their emission scores come, in this order, from:
//  1. its basic-dictionary role list (person: m_Rol / m_RolProb, location:
//     m_LNRol / m_LNRolProb) when the item is a dictionary word
//     (nAttributeIdx - 1 below the word count) whose item type is neither 88
//     nor -88 and the list is not empty;
//  2. in person tagging only, {A, C, D, E} (RoleTempSinglePos) for a 2-byte
//     item that is no dictionary word and whose first byte is 0x80 or above
//     but outside 0xA1..0xA9 (a Chinese character rather than a symbol);
//  3. {A} (RoleTempA) otherwise.
// The fixed lists of 2 and 3 take their emission score for role r from
// m_Bow of table cell [r][0].  The transition score from p to c is m_Prob of
// [p'][c], where p' is A (50) when c begins a name and p ends one (person:
// begin B X Y H X2, end D E G V Y Z T E2 X2 D_HALF; location: begin LH LY
// FH, end LT LY FT) -- a name that has just ended is context for the next
// one -- and p otherwise.  Decoding starts from {A} with score 0 and closes
// with m_Prob of [r][50] after the last word.
//
// Decoding details that the result depends on (the loop itself is
// tagger_viterbi, seg/tag_viterbi.h, shared with the POS tagger):
//  - for candidate k the previous candidates j are tried in list order; j is
//    skipped when the best score so far already exceeds its own score (no
//    non-positive step can make up for that); the first j reaching the best
//    score wins (ties keep the earlier predecessor), and of equal closing
//    scores the earlier final candidate wins;
//  - when a word that does not begin the sentence has a single candidate and
//    so has the word before it, the choice is forced: its score restarts at
//    -10.0 with back-pointer 0 (the roles come out as without the restart);
//  - a candidate that no predecessor reaches with a score above minus
//    infinity (only possible with infinite or NaN table cells) gets minus
//    infinity and back-pointer 0, so the trace-back always stays on valid
//    list entries.
//
// Lattice contract.  `n` is the sentence length, 1 <= n < CLattice::kMaxNodes,
// and `text` holds its n bytes (the text the lattice was built from).  The
// chosen path must be marked (best_path.h): starting at node 0, nNextLen of
// the current node leads to the next path node, whose MaxItem is the word
// just walked over (begin_pos = the current node, length = nNextLen), and the
// last word ends exactly at n.  The tagger checks all of this (and that every
// MaxItem lies in the item store's used part) before it writes anything; a
// path that fails the check makes it return false with the lattice
// untouched.  On success, for every path node p it writes pROLEPOS (the
// candidate list used: it points into the dictionary's list or one of the
// static fixed lists and must not be written through) and the lattice's
// back-pointers of the node (entry k: index of candidate k's best
// predecessor in the previous word's list), and it writes perIdx (person)
// or perIdxLN (location) of every path item and nothing else of the items.
//
// Safety caps.  A candidate list is read up to its terminating 0 but at most
// kMaxCandidates (53) entries, the width of the back-pointers and of the score
// buffers, and it also ends at the first id that is not a row of the 54 x 54
// table.
// The loader of the basic dictionary refuses longer lists and larger ids, so
// with a loaded dictionary neither cap ever cuts a list.  If capping leaves a
// dictionary list empty, the word falls back as if it had no list.
//
// The object holds the two score buffers of the decoding, so one tagger per
// handle; the dictionary and table are only read, so handles can share them.
#ifndef LX_SEG_ROLE_TAGGER_H
#define LX_SEG_ROLE_TAGGER_H

#include <cstddef>
#include <cstdint>

#include "lm/Prob.h"
#include "seg/lattice.h"

class CBasicDict;

// One role table (54 x 54 cells) made ready for decoding: every transition
// with the pattern rule of CRoleTagger::_get_role_tran_prob already applied,
// stored by the role it leads into (into[cur * 54 + prev]) so that the
// predecessors of one candidate are adjacent, the fixed-list emissions and
// the closing scores.  The values are the table's own floats, so decoding
// with them gives exactly what decoding with the table gives.
struct RoleScores {
  static constexpr uint32_t kDim = 54;
  float into[kDim * kDim];
  float emit[kDim];
  float close[kDim];
  // Built from `table` for ne_type PN or LN (CRoleTagger's enum).
  void build(const CProbabilityNode* table, size_t ne_type);
};

// Checks the chosen path of `lattice` for a sentence of n bytes as described
// above (shared by the role and POS taggers).  True when it can be walked
// forward by nNextLen and backward by begin_pos over the same items.
bool tagger_path_is_consistent(const CLattice& lattice, uint32_t n);

class CRoleTagger {
 public:
  // Entity types: which roles are tagged.
  enum { PN = 1, LN = 2 };

  // Width of the back-pointers and of the score buffers.
  static constexpr uint32_t kMaxCandidates = CLattice::kMaxTagCandidates;
  // The role tables are kRoleTableDim x kRoleTableDim, row-major.
  static constexpr uint32_t kRoleTableDim = 54;
  // Column whose m_Bow is the emission of a fixed-list role, and column (role
  // A) whose m_Prob closes the sentence.
  static constexpr uint32_t kEmitColumn = 0;
  static constexpr uint32_t kCloseColumn = 50;
  // Score of a forced single-candidate step.
  static constexpr float kRestartScore = -10.0f;

  CRoleTagger();

  // Tags the chosen path of `lattice` (contract above) with `table`, the
  // person (RoleTT) or location (LNRoleTT) transition table of 54 x 54
  // cells.  ne_type PN writes perIdx, LN writes perIdxLN.  Returns false,
  // changing nothing, for any other ne_type, a null text or table, or a path
  // that fails the check.
  bool _ne_role_tag(CLattice& lattice, const char* text, uint32_t n, const CBasicDict& dict,
                    const CProbabilityNode* table, size_t ne_type);
  // The same with the table already prepared (RoleScores::build with the
  // same ne_type), as the resource set keeps it: nothing is rebuilt per
  // sentence.  `path_checked` says that the caller has seen the path pass
  // tagger_path_is_consistent() and that it has not changed since; then it
  // is not checked again.
  bool _ne_role_tag(CLattice& lattice, const char* text, uint32_t n, const CBasicDict& dict,
                    const RoleScores& scores, size_t ne_type, bool path_checked = false);

  // The candidate roles of `item` for ne_type (PN or LN): returns the
  // 0-terminated list and sets *count to the number of entries the decoding
  // uses (1..kMaxCandidates) and *probs to the dictionary's emission scores,
  // or to null for a fixed list (scored by _get_role_emit_prob).  `text` is
  // the sentence; only the item's first byte is read, and only for a 2-byte
  // item that is no dictionary word.
  static const uint8_t* _get_word_roles(const CBasicDict& dict, const tSegItemInfo& item,
                                        const char* text, size_t ne_type, const LogP** probs,
                                        uint32_t* count);

  // Emission score of a fixed-list role: m_Bow of [cur_role][0].
  static LogP _get_role_emit_prob(const CProbabilityNode* table, uint8_t cur_role);
  // Transition score from pre_role to cur_role under the rule above.
  static LogP _get_role_tran_prob(const CProbabilityNode* table, uint8_t pre_role,
                                  uint8_t cur_role, size_t ne_type);

  static bool _is_pn_mode_begin_role(uint8_t role);
  static bool _is_pn_mode_end_role(uint8_t role);
  static bool _is_ln_mode_begin_role(uint8_t role);
  static bool _is_ln_mode_end_role(uint8_t role);

  // --- Look-ups shared by the entity recognizers ---------------------------

  // Log-probability of dictionary word propIdx for role roleIdx: -3.0 when
  // propIdx is all ones or not below the word count, or when the word's list
  // (person for name_entity_type 1, location for any other) is empty; else
  // the probability of the first list entry matching the role, where for
  // persons D (3) and D_HALF (28) match each other and so do X (12) and
  // X_HALF (27), every other role only itself; -9.8 when none matches.
  static float _getNameCharRoleProb(const CBasicDict& dict, size_t propIdx, size_t roleIdx,
                                    size_t name_entity_type);

  // Weight of a candidate entity from the roles of its words: 0.0 for fewer
  // than two entries; otherwise the sum of _getNameCharRoleProb over the
  // entries, or 0.0 if any single term is below -10.0.  RoleInfo has
  // prop_idx and role_idx members; role_count is clamped to the array's
  // size, so a count beyond it cannot read past the array.
  template <class RoleInfo, size_t N>
  static float _compute_ne_weight(const CBasicDict& dict, const RoleInfo (&word_roles)[N],
                                  int role_count, int ne_type) {
    if (role_count < 2) return 0.0f;
    const size_t count = static_cast<size_t>(role_count) < N ? static_cast<size_t>(role_count) : N;
    float sum = 0.0f;
    for (size_t i = 0; i < count; ++i) {
      const float term = _getNameCharRoleProb(dict, word_roles[i].prop_idx, word_roles[i].role_idx,
                                              static_cast<size_t>(ne_type));
      if (term < kMinNeRoleProb) return 0.0f;
      sum += term;
    }
    return sum;
  }

  // 1 if the person-role list of dictionary entry propIdx holds roleIdx, else
  // 0 (also for propIdx above 9,999,999 or outside the dictionary).
  static int _find_role(const CBasicDict& dict, size_t propIdx, size_t roleIdx);

  // Bit 11 of the m_NameEntity of entry `index`; false outside the
  // dictionary.
  static bool _is_comb(const CBasicDict& dict, int index);

  // The first item of `cur_node` (in item order) that begins at begin_pos,
  // is no combination word (bcomb), is not of type 89 and, unless pms (the
  // handle's LX_PMUL flag) is set, not of type 88 or -88; null if there is
  // none or the node has no items.
  static tSegItemInfo* _get_item(CLattice& lattice, const tNodeInfo* cur_node, size_t begin_pos,
                                 bool pms);

  // Score of a role that does not occur in the word's list, of a word
  // without a list, and the lowest term an entity may contain.
  static constexpr float kUnmatchedRoleProb = -9.8f;
  static constexpr float kNoRoleListProb = -3.0f;
  static constexpr float kMinNeRoleProb = -10.0f;

  // Score buffers of the previous and the current word, swapped per word.
  float m_pre_weight_buf[kMaxCandidates];
  float m_cur_weight_buf[kMaxCandidates];
};

#endif  // LX_SEG_ROLE_TAGGER_H
