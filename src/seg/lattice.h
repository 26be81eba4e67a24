// The word lattice of one sentence.
//
// Node p stands for the boundary before byte p of the (normalised) sentence;
// node 0 is the sentence start and node n its end.  Each node holds the
// candidate words (items) that END at it, as a contiguous range of the item
// store shared by all nodes.  The producer fills the lattice, the path
// searches weigh it and mark the best path (bBest, nNextLen, MaxItem), later
// stages revise the path, and the token saver reads it.
//
// The chosen path is walked forward from node 0: p = nNextLen of node 0; while
// p <= n the word is MaxItem of node p and p advances by nNextLen of node p
// (node n has nNextLen 1, which ends the walk).
#ifndef LX_SEG_LATTICE_H
#define LX_SEG_LATTICE_H

#include <cstddef>
#include <cstdint>

#include "base/Array.h"
#include "dict/item_types.h"
#include "lm/Prob.h"

// Class codes of items that are not dictionary words (nAttributeIdx).  A
// dictionary word has its word index plus one.  The language model's id of an
// item is nAttributeIdx - 1.
const uint32_t kAttrSingleChar = 10000001u;  // single character or general factoid
const uint32_t kAttrNumber = 10000004u;      // number factoid
const uint32_t kAttrAlnum = 10000005u;       // alphanumeric string or web address
const uint32_t kAttrPerson = 10000006u;      // person-name entity
const uint32_t kAttrLocation = 10000007u;    // location-name entity

const uint32_t kNoRange = 0xFFFFFFFFu;
const uint8_t kNoItem = 255;

struct tSegItemInfo {
  uint32_t begin_pos;      // start byte; the item ends at the node holding it
  uint32_t length;         // byte length
  int32_t type;            // item type (dict/item_types.h); a word's m_NameEntity
  uint8_t posIndex;        // POS identifier minus one (factoid type minus one)
  uint8_t perIdx;          // person role
  uint8_t perIdxLN;        // location role
  bool bcomb;              // combination word (kItemCombination) or merged number
  LogP weight;             // best path weight ending with this item
  int8_t nPreIndex;        // best predecessor among the items of node begin_pos; -1: start
  uint32_t nAttributeIdx;  // word index + 1, or a class code (kAttr*)
};

// One cache line per node: the path searches read nodes by position, and the
// back-pointers of tag decoding, which only the chosen path needs, live
// apart (CLattice::back_pointers).
struct alignas(64) tNodeInfo {
  bool bBegin;                  // an item ends here: a word boundary may lie here
  uint8_t ItemsNum;             // items stored at the node
  uint8_t ItemsNumNER;          // items added by the named-entity stages
  uint32_t wsidx;               // first item in the store; kNoRange while none
  uint32_t size;                // capacity of the node's range
  LogP MaxWeight;               // best path weight of any item of the node
  bool bBest;                   // the node lies on the chosen path
  bool bRule;                   // an item of type 88 or 89 ends here
  bool bnAmb;                   // no item crosses this boundary
  size_t nNextLen;              // on the chosen path: length of the word starting here
  uint8_t IdxMaxItemWeight;     // index of the best item; kNoItem when none
  uint8_t IdxMaxItemWeightOld;  // previous value, kept by the class-based search
  tSegItemInfo* MaxItem;        // the chosen item ending here
  uint8_t* pROLEPOS;            // candidate roles or tags of the chosen item
  uint8_t LocalPOSTemp[2];      // room for a one-tag list of POS tagging
};

class CLattice {
 public:
  // Node capacity plus one: sentences have at most kMaxNodes - 1 bytes.
  static constexpr uint32_t kMaxNodes = 4097;
  static constexpr uint32_t kInitialItems = 16384;
  // Longest candidate list of role and POS decoding.
  static constexpr uint32_t kMaxTagCandidates = 53;

  CLattice();

  // Resets nodes 0..n (n < kMaxNodes) and empties the item store; node 0
  // becomes a begin node on the best path.
  void clear(uint32_t n);

  // Reserves n consecutive items for `node` at the end of the store.  When the
  // store has to grow, the MaxItem pointers of the nodes are moved along with
  // it; any other pointer into the store that a caller holds is invalidated.
  void init_node_item(tNodeInfo* node, uint32_t n);

  // Adds `item` to the node at position `end` (reserving `reserve` items first
  // if the node has no range yet).  Returns the stored item, or null when the
  // node's range is full.
  tSegItemInfo* add_item(uint32_t end, const tSegItemInfo& item, uint32_t reserve) {
    tNodeInfo* node = &m_nodes[end];
    if (node->wsidx == kNoRange) init_node_item(node, reserve);
    // Item indexes are single bytes and 255 means "none", so a node holds at
    // most 255 items whatever its range.
    if (node->ItemsNum >= node->size || node->ItemsNum == kNoItem) return nullptr;
    tSegItemInfo* slot = this->item(node, node->ItemsNum);
    *slot = item;
    node->bBegin = true;
    ++node->ItemsNum;
    return slot;
  }

  // Marks the path that ends with the chosen item of node n: from there back
  // along nPreIndex to position 0, each begin node gets bBest, nNextLen (the
  // word's length), MaxItem, IdxMaxItemWeight (and, with `save_old`,
  // IdxMaxItemWeightOld) and MaxWeight 0; node n gets nNextLen 1.  The
  // caller has checked the chain (every index in range, lengths adding up).
  void mark_best_path(uint32_t n, bool save_old);

  // Item j of node p (no bounds check: j < ItemsNum of the node).
  tSegItemInfo* item(uint32_t p, uint32_t j) { return m_sentence_words.data() + m_nodes[p].wsidx + j; }
  tSegItemInfo* item(const tNodeInfo* node, uint32_t j) {
    return m_sentence_words.data() + node->wsidx + j;
  }

  // The chosen item (MaxItem) of node pos (< kMaxNodes) if it is sound: an
  // item of the store that ends at pos and starts at or after 0; else null.
  tSegItemInfo* chosen_item(uint32_t pos) const {
    tSegItemInfo* it = m_nodes[pos].MaxItem;
    if (it == nullptr) return nullptr;
    const uintptr_t a = reinterpret_cast<uintptr_t>(it);
    const uintptr_t base = reinterpret_cast<uintptr_t>(m_sentence_words.data());
    const uintptr_t used = static_cast<uintptr_t>(m_next_sidx) * sizeof(tSegItemInfo);
    if (base == 0 || a < base || a - base >= used || (a - base) % sizeof(tSegItemInfo) != 0)
      return nullptr;
    if (it->length == 0 || it->length > pos || it->begin_pos != pos - it->length) return nullptr;
    return it;
  }

  // Back-pointers of the tag decoding at path node p (kMaxTagCandidates
  // entries), written and read within one decoding.
  uint8_t* back_pointers(uint32_t p) { return m_back[p]; }

  tNodeInfo m_nodes[kMaxNodes];
  Array<tSegItemInfo> m_sentence_words;
  uint32_t m_next_sidx;
  uint32_t m_prev_end_idx;

 private:
  // Number of nodes reset by the last clear(); the nodes whose MaxItem must
  // follow the store when it is reallocated.
  uint32_t m_used_nodes;
  uint8_t m_back[kMaxNodes][kMaxTagCandidates];
};

#endif  // LX_SEG_LATTICE_H
