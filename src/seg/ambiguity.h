// CAmbiguityResolver: the passes that revise the chosen path of a lattice
// after the best-path search (seg/best_path.h).  The segmenter's members of
// the same names call these:
//
//   _clear_cob_ovp_amb()     right after the path is marked: rule words
//                            (types 88/89) are replaced by their sub-words,
//                            pieces are merged into a longer word, fractions
//                            ("三分之一") and numbers with a unit ("三万",
//                            "1万亿", "1996年", "二○○一年", "7月份")
//                            become one item;
//   _clear_amb_by_userrule() after the named-entity stages: the user's
//                            ambiguity rules (dict/RuleDict.h) re-segment
//                            spans that start and end on path boundaries;
//   _clear_cob_by_seclex()   then: two path words of at most 2 bytes each
//                            that form a word of the secondary lexicon
//                            become one item (a key whose value is 0, i.e.
//                            record 0, counts as absent).
//
// The passes work on the chosen path only: the walk from node 0 by nNextLen
// (MaxItem of each node reached is its word).  They change which item a node
// points to (MaxItem, IdxMaxItemWeight), nNextLen, the bBegin / bBest marks,
// and rewrite items in place.  Merged items get type 58 and kAttrSingleChar;
// "clearing" a node sets its bBegin and bBest to false.
//
// Safety.  The lattice is expected to hold a consistent path, but every
// position the passes compute from lengths is checked before it is used, so
// that nothing is read or written outside the sentence's nodes 0..n or the
// item ranges of the nodes, and every loop advances:
//  - a node's chosen item is used only if it lies inside the item store and
//    ends at its node, starting before it (otherwise the node counts as
//    having no word);
//  - every walk stops at a path node whose nNextLen is 0 or leads beyond
//    node n;
//  - a rule word is split only if its rule block is well-formed (the checked
//    CBasicDict::rule_block: count, extent and every sub-word index inside
//    the dictionary), every sub-word is at least one byte long and the
//    sub-words add up exactly to the word; otherwise a diagnostic line goes
//    to stderr and the path keeps the word;
//  - a user rule is applied only if its sequence is sound (positive segment
//    lengths adding up to the matched key) and ends inside the sentence;
//  - a secondary-lexicon record is used only if its index is a record of
//    the lexicon and its `len` is exactly the two words it merges.
// Item ranges are reserved through CLattice::init_node_item, which moves the
// nodes' MaxItem pointers along when the store grows; the passes re-read any
// other item pointer after a reservation.
//
// Where the plain steps of a pass would leave the path broken, the resolver
// keeps it consistent:
//  - a rule word that is not split (block count 0, no usable block) does not
//    clear the path nodes inside it when it is not itself the chosen word;
//  - IdxMaxItemWeight names MaxItem again after a pass that leaves a node's
//    word unchanged (block count 0 sets it to the rule word's slot only to
//    bound the combination check);
//  - no item range is created at the node where the first sub-word starts
//    (no slot is needed there; at node 0 an item would make the sentence
//    start look like a word end);
//  - a longer word replaces the chosen one only if it starts before it, and
//    a type-89 word is split only if it starts where the chosen word starts
//    or before (a stale bBest inside the chosen word is not a path node);
//  - items written into freshly reserved ranges are fully initialised, and
//    a node reduced to one item by a user rule has no named-entity items left.
//
// The resolver allocates nothing itself; it holds references to the handle's
// lattice and sentence and to shared read-only resources, so one resolver per
// handle (or one per sentence) is fine.
#ifndef LX_SEG_AMBIGUITY_H
#define LX_SEG_AMBIGUITY_H

#include <cstddef>
#include <cstdint>

#include "seg/lattice.h"

class CBasicDict;
class CRuleDict;
class CCustomDict;

// posIndex values (POS identifier minus one).
const uint8_t kPosIndexNumeral = 14;
const uint8_t kPosIndexPerson = 16;
const uint8_t kPosIndexPlace = 19;
const uint8_t kPosIndexTime = 28;

// At most this many rule matches (the shortest) are tried at one position.
const size_t kMaxUserRuleMatches = 16;

class CAmbiguityResolver {
 public:
  // `lattice` is the handle's lattice; the resources may be null, which
  // turns off the passes that need them (the rule-word split needs `dict`,
  // the user rules `rules`, the secondary lexicon `seclex`).  `fenzhi_idx`
  // is the word index of "分之" plus one (0: absent), `bpms` the LX_PMUL flag.
  CAmbiguityResolver(CLattice& lattice, const CBasicDict* dict, const CRuleDict* rules,
                     const CCustomDict* seclex, uint32_t fenzhi_idx, bool bpms);

  // The sentence the lattice was built from (its nodes 0..len).  The passes
  // do nothing while there is no sentence or it does not fit the lattice.
  void set_sentence(const char* text, uint32_t len);

  void _clear_cob_ovp_amb();
  // `node` is a node of m_lattice (between 1 and the sentence length).
  void _clear_ovp_amb(tNodeInfo* node);
  void _clear_cob_amb(tNodeInfo* node);
  void _clear_amb_by_userrule();
  void _clear_cob_by_seclex();

  CLattice& m_lattice;
  const char* m_pText;
  uint32_t m_nTextLen;
  const CBasicDict* m_pBasicDict;
  const CRuleDict* m_pRule;
  const CCustomDict* m_pSecondDict;
  uint32_t m_fenzhi_idx;
  bool m_bpms;

 private:
  bool _ready() const;
  // Position of `node` in the lattice, or -1 unless it is node 1..n.
  long _node_pos(const tNodeInfo* node) const;
  // The chosen item of node `pos` if it is sound (see the header comment).
  tSegItemInfo* _chosen(uint32_t pos) const;
  // Item j of node `pos` if j < ItemsNum and the item ends at `pos`,
  // starting before it; else null.
  tSegItemInfo* _item_at(uint32_t pos, uint32_t j) const;
  // Index of `it` among the items of node `pos`, or -1.
  int _index_of(uint32_t pos, const tSegItemInfo* it) const;
  // Sets bBegin and bBest of the nodes strictly between `begin` and `end`
  // to false.
  void _clear_inside(uint32_t begin, uint32_t end);
  // The class of `it` if it is one two-byte character, else -1.
  int _single_char_class(const tSegItemInfo& it) const;
  // The class of a unit word: one classed character, a run of magnitudes
  // (万亿) or 月份 (a date unit); -1 for anything else.
  int _unit_class(const tSegItemInfo& it) const;
  // Whether number `p` may take the date or time unit `unit`.
  bool _number_takes_date_unit(const tSegItemInfo& p, const tSegItemInfo& unit) const;
  // Item `c`, which ends at node `pos`, takes over the number `p` before it:
  // one merged item (type 58, bcomb) with `pos_index`.
  void _merge_number_unit(tSegItemInfo* p, tSegItemInfo* c, uint32_t pos, uint8_t pos_index);
  // Makes sure node `pos` has an item range with at least one item (a fresh
  // range of 3 holding one initialised item when it has none) and returns
  // the index of its last item.
  uint32_t _ensure_last_slot(uint32_t pos);
};

#endif  // LX_SEG_AMBIGUITY_H
