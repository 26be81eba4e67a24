// The chosen path as a run of words, for the passes that read or rewrite it
// once it is marked (doubled words, affix words, secondary-lexicon pairs,
// place names): a step from one word boundary to the next, checked against
// the sentence and the item store, the kinds of word those passes join, and
// the rewrite that joins path words into one.
#ifndef LX_SEG_PATH_WORDS_H
#define LX_SEG_PATH_WORDS_H

#include <cstdint>

#include "dict/BasicDict.h"
#include "dict/item_types.h"
#include "seg/char_class.h"
#include "seg/lattice.h"

// One word of the chosen path: [begin, end) and its item.  end == begin when
// the path is broken at begin (no length, or one past the sentence) or
// begin >= n; item is null then, and also when the chosen item of node end
// is unsound or is not the word [begin, end).
struct PathStep {
  uint32_t begin;
  uint32_t end;
  tSegItemInfo* item;
};

// The length of the path word that starts at boundary p of a sentence of n
// bytes: 0 when p >= n or the path is broken at p.  Enough for a pass that
// looks at the text before it reads the item.
inline uint32_t path_len(const CLattice& lattice, uint32_t p, uint32_t n) {
  if (p >= n) return 0;
  const size_t len = lattice.m_nodes[p].nNextLen;
  return len == 0 || len > n - p ? 0 : static_cast<uint32_t>(len);
}

// The path word that starts at boundary p of a sentence of n bytes
// (n < CLattice::kMaxNodes).
inline PathStep path_step(const CLattice& lattice, uint32_t p, uint32_t n) {
  PathStep s{p, p, nullptr};
  const uint32_t len = path_len(lattice, p, n);
  if (len == 0) return s;
  s.end = p + len;
  tSegItemInfo* it = lattice.chosen_item(s.end);
  if (it != nullptr && it->begin_pos == p) s.item = it;
  return s;
}

// An item that is a word of the basic dictionary, plain or a combination.
inline bool is_dict_word(const tSegItemInfo& it, const CBasicDict& dict) {
  return (it.type == 0 || it.type == kItemCombination) && it.nAttributeIdx != 0 &&
         it.nAttributeIdx <= dict.mWordNum;
}

// A one-character item of a Chinese character (in `text`, the sentence): a
// plain dictionary word or a character outside the dictionary.
inline bool is_plain_hanzi(const tSegItemInfo& it, const char* text) {
  return it.length == 2 && (it.type == 0 || it.type == kItemSingleChar) &&
         is_hanzi_lead(text[it.begin_pos]);
}

// Joins the path words from boundary p to the end of `last` (a sound path
// item ending after p) into one: `last` is rewritten in place as a
// secondary-lexicon word with tag id `tag`, and node p steps over it.
inline void join_path_words(CLattice& lattice, uint32_t p, tSegItemInfo* last, uint8_t tag) {
  last->length = last->begin_pos + last->length - p;
  last->begin_pos = p;
  last->posIndex = tag;
  last->nAttributeIdx = kAttrSingleChar;
  last->type = kItemSecondaryWord;
  last->bcomb = false;
  lattice.m_nodes[p].nNextLen = last->length;
}

#endif  // LX_SEG_PATH_WORDS_H
