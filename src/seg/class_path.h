// Class-based best path: re-deciding the chosen path of a lattice once the
// named-entity recognizers have added entity items (seg/ne_items.h).
//
// The rule-based path (seg/best_path.h) was found with the word model; now
// the person-name word model, in which every person name is the class token
// 10000005 and every location name 10000006 (an item's model id is always
// nAttributeIdx - 1), decides between the entities and the words they cover.
// Only the items that can matter take part ("considered" items): the
// entity items of a node (its last ItemsNumNER items) and, at a node of the
// rule-based path (bBest), that path's item (index IdxMaxItemWeightOld).
// Every other item is ignored, as current item and as predecessor.
//
// Search, for each node q = 1..n with items (MaxWeight first set to minus
// infinity; with more than one entity item, _proc_multi_ne_type_item runs
// first), for each considered item x in item order, B the node at x's begin
// b, w(x) the entry weight of an entity item (its weight field on entry) and
// 0 for any other item, P the bigram log probability of the model:
//  a. unchanged region: b != 0, neither node q nor B has bnAmb and neither
//     holds entity items: x keeps the rule-based choice with weight -10 and
//     nPreIndex = B's IdxMaxItemWeight, no model call; the node's
//     IdxMaxItemWeight stays, its MaxWeight becomes -10, and the node is
//     done;
//  c. sentence start (b == 0, or B has no items but bBegin):
//     score = P(x | 10000001) + 0.9 w(x), nPreIndex -1;
//  d. B has no items and no bBegin: weight minus infinity, x is passed over;
//  e. otherwise score = max over considered y of B, in item order, of
//     weight(y) + P(x | y) + 0.9 w(x); a y whose weight does not exceed the
//     best so far is skipped (log probabilities are not positive), and of
//     equal scores the later y wins (nPreIndex);
//  f. at q == n, P(10000002 | x) is added (cases c and e);
//  g. x's weight is the score; the node's MaxWeight / IdxMaxItemWeight take
//     the first item with the highest score above minus infinity.
// Before the nodes are scored, IdxMaxItemWeightOld of every node with bBest
// (1..n) receives its IdxMaxItemWeight, the rule-based choice.
//
// Set: traces the winner back from node n like the rule-based set and
// rewrites bBest, nNextLen, MaxItem, MaxWeight (0), IdxMaxItemWeight and
// IdxMaxItemWeightOld along it, after clearing bBest on nodes 1..n.
//
// Lattice contract: n is the sentence length (1 <= n < CLattice::kMaxNodes)
// and `text` holds its bytes; the lattice carries a rule-based path
// (bBest / IdxMaxItemWeight as the rule-based set left them) and the entity
// items.  Nothing is allocated; only items below a node's ItemsNum are read.
#ifndef LX_SEG_CLASS_PATH_H
#define LX_SEG_CLASS_PATH_H

#include <cstdint>

#include "lm/Prob.h"
#include "seg/lattice.h"

class Ngram;

class CClassPath {
 public:
  // Model ids of the sentence start and end.
  static constexpr VocabIndex kStartId = 10000001u;
  static constexpr VocabIndex kEndId = 10000002u;
  // Factor of an entity's own weight in its score.
  static constexpr float kNeWeightFactor = 0.9f;
  // Weight of an item kept from the rule-based path in an unchanged region.
  static constexpr float kUnchangedWeight = -10.0f;

  // Scores all nodes (see above).  wids is a scratch array of at least 3 ids
  // (the handle's m_wids) or null for a local one.  Returns false, changing
  // nothing, when n is 0 or beyond the lattice or text is null.
  static bool _short_path_search_class_based(CLattice& lattice, uint32_t n, const char* text,
                                             const Ngram& pn_lm, VocabIndex* wids);

  // Marks the path found by the search.  Returns 1.  The chain is checked
  // first: node n must have a best item with a weight above minus infinity,
  // and every step must end at its node, begin before it and point to an
  // existing item of its begin node.  Otherwise (no path reached the end, or
  // the lattice was changed in between) it returns 0 and the rule-based
  // path stays marked: every bBest node gets its IdxMaxItemWeightOld back as
  // IdxMaxItemWeight, and nothing else of the path is touched.
  static int _short_path_set_class_based(CLattice& lattice, uint32_t n);

  // A person and a location over one span: with the node's last item of type
  // 61 and last of type 65 beginning at the same position, if the person is 6
  // bytes long and its second character is "家", the location's weight is
  // divided by 10 and the person's multiplied by 10 (the weights are
  // negative: the location is favoured); otherwise the location is retyped
  // 93 and the person 92.  Nothing happens with fewer than two items, when
  // either is missing, or when an item does not lie inside the sentence
  // (text of n bytes).
  static void _proc_multi_ne_type_item(CLattice& lattice, const char* text, uint32_t n,
                                       tNodeInfo* cur_node);

  // Whether item j of `node` takes part in the class-based search.
  static bool _is_considered(const tNodeInfo& node, uint32_t j);
};

#endif  // LX_SEG_CLASS_PATH_H
