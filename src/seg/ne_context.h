// The candidate entity examined by the named-entity recognizers (person and
// location names).
//
// A recognizer walks the chosen path of the lattice (seg/lattice.h) and,
// when a run of words forms a name pattern, describes it here; the entity
// item insertion (seg/ne_items.h) then turns the description into one extra
// lattice item.
//
// Word references.  A word of the chosen path is the item `MaxItem` of the
// node at which it ends; a recognizer stores that node and that item.  So
// beg_node / beg_item are the node holding the first word of the candidate
// and the word itself, end_node / end_item the same for the last word,
// pre_node / pre_item the word just before the candidate (both null when the
// candidate begins the sentence) and suc_node / suc_item the word just after
// it (both null when the candidate ends the sentence).  The item pointers
// point into the lattice's item store: adding an item to a node without a
// range may move that store, after which they must not be used.
#ifndef LX_SEG_NE_CONTEXT_H
#define LX_SEG_NE_CONTEXT_H

#include <cstddef>

#include "seg/lattice.h"

// Role of one word of a candidate.
struct NeRoleInfoType {
  size_t prop_idx;  // word index in the basic dictionary (nAttributeIdx - 1), or all ones for none
  size_t role_idx;  // role id (dict/NerResource.h)
};

typedef int ctype_t;

struct NeContextType {
  // Capacity of word_roles: no candidate has more words.
  static constexpr int MAX_NE_ITEM_COUNT = 32;

  tNodeInfo* beg_node;
  tSegItemInfo* beg_item;
  tNodeInfo* end_node;
  tSegItemInfo* end_item;
  tNodeInfo* pre_node;
  tSegItemInfo* pre_item;
  tNodeInfo* suc_node;
  tSegItemInfo* suc_item;
  NeRoleInfoType word_roles[MAX_NE_ITEM_COUNT];
  int role_count;        // used entries of word_roles
  size_t begin_pos;      // byte span of the candidate: [begin_pos, begin_pos + len)
  size_t len;
  int mode;              // pattern (mode id); -1 once the candidate is rejected
  ctype_t type;          // item type of the entity (kItemPerson, kItemLocation, ...)
  size_t suc_match_pos;  // where the scan goes on: end of the word after the
                         // candidate, or sentence length + 1 at the end
};

#endif  // LX_SEG_NE_CONTEXT_H
