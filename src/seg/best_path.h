// Rule-based best path over the word lattice (seg/lattice.h).
//
// rule_path_search() weighs every item of a freshly produced lattice with a
// word bigram model in one left-to-right (Viterbi) pass; rule_path_set()
// traces the winning path back from the sentence end and marks it (bBest,
// nNextLen, MaxItem), so that it can be walked forward from node 0.  The
// segmenter's _short_path_search_rule() / _short_path_set() are these two
// calls with the handle's resources.
//
// Identifiers.  An item is scored under a word id and carries an extra weight
// (rule_path_word_id), and it is the context of the next word under a context
// id (rule_path_context_id).  With a = nAttributeIdx - 1:
//  - a dictionary word (a < word count) of item type 89, 88 or -88 (or, for
//    the word id, of m_NameEntity 89; for the context id, m_NameEntity 88 or
//    89) that has a rule block n, x1..xn, w is scored as x1 with the extra
//    weight w and is context xn; type -88 uses the word's second block;
//  - every other item is a with extra weight 0: single characters and
//    general factoids 10000000, numbers 10000003, alphanumeric strings and
//    web addresses 10000004.
// The sentence start is the context 10000001.
//
// Weights.  For node k = 1..n with items, and each item j of it, B being the
// node at the item's begin:
//  - when node k and B both have bnAmb and exactly one item each, the item
//    is unambiguous: weight -10, nPreIndex 0 (the model is not asked, and
//    the rest of the node is not looked at);
//  - when B has items: weight = max over B's items q of
//    (score(w | ctx(q)) + weight(q)) + x, where score is the model's log
//    probability, or -99 for the word "个数" (geshu_index) after a number;
//    a q whose own weight does not exceed the best total so far is skipped,
//    and of equal totals the later q wins.  nPreIndex = that q's index;
//  - when B is the sentence start: weight = x with cut (LX_CUT), else
//    score(w | start) + x; nPreIndex -1;
//  - otherwise (no item ends at B): weight minus infinity.
// The node's MaxWeight / IdxMaxItemWeight are the best weight and the first
// item reaching it (255 when no item has a weight above minus infinity).
//
// Contract:
//  - `lattice` holds the sentence of n bytes (1 <= n < CLattice::kMaxNodes)
//    as built by the producer; items of node k begin before k.
//  - `dict` is the basic dictionary whose indexes the items carry and `lm` a
//    model over the same ids; both are only read, so handles may share them.
//  - `wids` is a scratch array of at least 3 ids (the handle's m_wids): it
//    receives the scored id, the context id and Vocab_None for each model
//    call; null selects a local array.
//  - geshu_index is the word index of "个数" (0xFFFFFFFF when absent).
// Nothing is allocated.  The search only reads a node's items below its
// ItemsNum, never a node without items, and skips items whose begin is not
// before their node.  An item whose id would be Vocab_None (nAttributeIdx 0)
// is scored as the unknown word, which the model's contract requires.
#ifndef LX_SEG_BEST_PATH_H
#define LX_SEG_BEST_PATH_H

#include <cstdint>

#include "lm/Prob.h"
#include "seg/lattice.h"

class CBasicDict;
class Ngram;

// Context id of the sentence start.
const VocabIndex kRulePathStartContext = 10000001u;
// Id of a number factoid (kAttrNumber - 1).
const VocabIndex kRulePathNumberId = kAttrNumber - 1;
// Weight of an unambiguous item.
const LogP kRulePathUnambiguousWeight = -10.0f;
// Score of "个数" right after a number.
const LogP kRulePathGeshuAfterNumber = -99.0f;

// The id under which `item` is scored and its extra weight.
void rule_path_word_id(const CBasicDict& dict, const tSegItemInfo& item, VocabIndex& id,
                       LogP& extra);

// The id of `item` as the context of the next word.
VocabIndex rule_path_context_id(const CBasicDict& dict, const tSegItemInfo& item);

// Fills weight and nPreIndex of every item of nodes 1..n and MaxWeight /
// IdxMaxItemWeight of every node with items.  Returns false, changing
// nothing, when n is 0 or beyond the lattice.
bool rule_path_search(CLattice& lattice, uint32_t n, const CBasicDict& dict, const Ngram& lm,
                      uint32_t geshu_index, bool cut, VocabIndex* wids);

// Marks the best path found by rule_path_search(): from the best item of
// node n back to node 0, following nPreIndex (read as an unsigned 8-bit
// index).  Node n gets nNextLen 1; every node on the path gets bBest and
// MaxItem (the word ending there), every word's begin node nNextLen (the
// word's length), and the inner path nodes MaxWeight 0 and IdxMaxItemWeight
// (their chosen item).
//
// The chain is checked completely before anything is written: node n must
// have a best item (IdxMaxItemWeight below ItemsNum), every item must end at
// its node and begin before it, and every predecessor index must lie below
// the item count of the node at the item's begin.  If any check fails (no
// path reaches the end, e.g. every item of node n is minus infinity, or the
// lattice was changed inconsistently) the function returns false and leaves
// the lattice as it was: no path is marked and node 0's nNextLen stays 0, so
// the caller must not walk the path.  The walk takes at most n steps.
bool rule_path_set(CLattice& lattice, uint32_t n);

#endif  // LX_SEG_BEST_PATH_H
