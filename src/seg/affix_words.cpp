#include "seg/affix_words.h"

#include "dict/AffixTable.h"
#include "dict/BasicDict.h"
#include "dict/item_types.h"
#include "seg/char_class.h"
#include "seg/path_words.h"

namespace {

// The first tag of a plain dictionary word of two or more characters (all
// of them two-byte), or 0.
uint8_t word_first_tag(const tSegItemInfo& it, const char* text, const CBasicDict& dict) {
  if (it.length < 4 || !is_dict_word(it, dict)) return 0;
  for (uint32_t k = 0; k < it.length; k += 2)
    if (!is_hanzi_lead(text[it.begin_pos + k])) return 0;
  const prop_list_t list = dict.pos_list(it.nAttributeIdx - 1);
  return list.len > 0 ? list.ids[0] : 0;
}

}  // namespace

void join_affix_words(CLattice& lattice, const char* text, uint32_t n, const CBasicDict& dict,
                      const CAffixTable& affixes) {
  if (affixes.size() == 0 || text == nullptr || n >= CLattice::kMaxNodes) return;
  uint32_t p = 0;
  while (p < n) {
    const uint32_t len = path_len(lattice, p, n);
    if (len == 0) break;  // a broken path
    const uint32_t q = p + len;
    // The items are read only where the text allows a join: a one-character
    // word that the table lists as a suffix (after) or a prefix (before).
    // Most words have neither.
    const bool suffix =
        path_len(lattice, q, n) == 2 && affixes.has_affix(CAffixTable::kSuffix, text + q);
    const bool prefix = len == 2 && affixes.has_affix(CAffixTable::kPrefix, text + p);
    const PathStep first = suffix || prefix ? path_step(lattice, p, n) : PathStep{p, q, nullptr};
    const PathStep second =
        first.item != nullptr ? path_step(lattice, q, n) : PathStep{q, q, nullptr};
    if (first.item != nullptr && second.item != nullptr) {
      uint8_t whole = 0;
      if (suffix && is_plain_hanzi(*second.item, text)) {
        const uint8_t tag = word_first_tag(*first.item, text, dict);
        if (tag != 0) whole = affixes.whole_tag(CAffixTable::kSuffix, text + q, tag);
      }
      if (whole == 0 && prefix && is_plain_hanzi(*first.item, text)) {
        const uint8_t tag = word_first_tag(*second.item, text, dict);
        if (tag != 0) whole = affixes.whole_tag(CAffixTable::kPrefix, text + p, tag);
      }
      if (whole != 0 && !dict.has_word(text + p, second.end - p)) {
        join_path_words(lattice, p, second.item, whole);
        continue;  // the merged word may take a prefix or suffix no more
      }
    }
    p = q;
  }
}
