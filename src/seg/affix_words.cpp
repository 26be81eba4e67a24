#include "seg/affix_words.h"

#include "dict/AffixTable.h"
#include "dict/BasicDict.h"
#include "dict/item_types.h"

namespace {

bool is_hanzi_lead(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return (u >= 0x81 && u <= 0xA0) || (u >= 0xB0 && u <= 0xFE);
}

// The first tag of a plain dictionary word of two or more characters (all
// of them two-byte), or 0.
uint8_t word_first_tag(const tSegItemInfo& it, const char* text, const CBasicDict& dict) {
  if (it.length < 4 || (it.type != 0 && it.type != kItemCombination)) return 0;
  if (it.nAttributeIdx == 0 || it.nAttributeIdx > dict.mWordNum) return 0;
  for (uint32_t k = 0; k < it.length; k += 2)
    if (!is_hanzi_lead(text[it.begin_pos + k])) return 0;
  const prop_list_t list = dict.pos_list(it.nAttributeIdx - 1);
  return list.len > 0 ? list.ids[0] : 0;
}

// A one-character item that may be an affix: a Chinese character, as a
// plain dictionary word or a character outside the dictionary.
bool is_affix_char(const tSegItemInfo& it, const char* text) {
  return it.length == 2 && (it.type == 0 || it.type == kItemSingleChar) &&
         is_hanzi_lead(text[it.begin_pos]);
}

bool in_dictionary(const CBasicDict& dict, const char* s, uint32_t len) {
  return dict.mBasicDict.exactMatchSearch<int>(s, len) >= 0;
}

}  // namespace

void join_affix_words(CLattice& lattice, const char* text, uint32_t n, const CBasicDict& dict,
                      const CAffixTable& affixes) {
  if (affixes.size() == 0 || text == nullptr || n >= CLattice::kMaxNodes) return;
  tNodeInfo* nodes = lattice.m_nodes;
  uint32_t p = 0;
  while (p < n) {
    const size_t a = nodes[p].nNextLen;
    if (a == 0 || a > n - p) break;  // a broken path, or node n reached
    const uint32_t q = p + static_cast<uint32_t>(a);
    const size_t b = q < n ? nodes[q].nNextLen : 0;
    tSegItemInfo* first = lattice.chosen_item(q);
    tSegItemInfo* second = (b > 0 && b <= n - q) ? lattice.chosen_item(q + static_cast<uint32_t>(b))
                                                 : nullptr;
    if (first != nullptr && second != nullptr && first->begin_pos == p && second->begin_pos == q) {
      uint8_t whole = 0;
      // has_affix first: most characters are no affix, and the word's tag
      // list need not be read for them.
      if (is_affix_char(*second, text) && affixes.has_affix(CAffixTable::kSuffix, text + q)) {
        const uint8_t tag = word_first_tag(*first, text, dict);
        if (tag != 0) whole = affixes.whole_tag(CAffixTable::kSuffix, text + q, tag);
      }
      if (whole == 0 && is_affix_char(*first, text) &&
          affixes.has_affix(CAffixTable::kPrefix, text + p)) {
        const uint8_t tag = word_first_tag(*second, text, dict);
        if (tag != 0) whole = affixes.whole_tag(CAffixTable::kPrefix, text + p, tag);
      }
      const uint32_t ab = static_cast<uint32_t>(a + b);
      if (whole != 0 && !in_dictionary(dict, text + p, ab)) {
        second->begin_pos = p;
        second->length = ab;
        second->posIndex = whole;
        second->nAttributeIdx = kAttrSingleChar;
        second->type = kItemSecondaryWord;
        second->bcomb = false;
        nodes[p].nNextLen = ab;
        continue;  // the merged word may take a prefix or suffix no more
      }
    }
    p = q;
  }
}
