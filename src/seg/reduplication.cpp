#include "seg/reduplication.h"

#include "base/PosTag.h"
#include "dict/BasicDict.h"
#include "dict/item_types.h"
#include "seg/char_class.h"

namespace {

bool is_hanzi_lead(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return (u >= 0x81 && u <= 0xA0) || (u >= 0xB0 && u <= 0xFE);
}

bool same_char(const char* a, const char* b) { return a[0] == b[0] && a[1] == b[1]; }

// One word of the chosen path: [begin, end) and its item (null when the
// path or the item is unsound there).
struct Step {
  uint32_t begin;
  uint32_t end;
  tSegItemInfo* item;
};

Step step_at(CLattice& lattice, uint32_t p, uint32_t n) {
  Step s{p, p, nullptr};
  if (p >= n) return s;
  const size_t len = lattice.m_nodes[p].nNextLen;
  if (len == 0 || len > n - p) return s;
  s.end = p + static_cast<uint32_t>(len);
  tSegItemInfo* it = lattice.chosen_item(s.end);
  if (it != nullptr && it->begin_pos == p && it->length == len) s.item = it;
  return s;
}

bool is_dict_word(const tSegItemInfo& it, const CBasicDict& dict) {
  return (it.type == 0 || it.type == kItemCombination) && it.nAttributeIdx != 0 &&
         it.nAttributeIdx <= dict.mWordNum;
}

// A plain one-character item: a dictionary word or a character outside the
// dictionary, Chinese.
bool is_plain_char(const Step& s, const char* text) {
  return s.item != nullptr && s.end - s.begin == 2 &&
         (s.item->type == 0 || s.item->type == kItemSingleChar) && is_hanzi_lead(text[s.begin]);
}

// The tag a doubled word takes from its dictionary word: the first tag,
// with adjectives becoming state words (红红, 高高兴兴) and bound morphemes
// the words they stand for (学 Vg: 学学 v); 0 outside the dictionary.
uint8_t doubled_tag(const tSegItemInfo& it, const CBasicDict& dict) {
  static const int a = pos_tag_id("a"), ag = pos_tag_id("Ag"), z = pos_tag_id("z"),
                   vg = pos_tag_id("Vg"), v = pos_tag_id("v"), ng = pos_tag_id("Ng"),
                   n = pos_tag_id("n");
  if (it.type == kItemSecondaryWord) return it.posIndex;
  if (!is_dict_word(it, dict)) return 0;
  const prop_list_t list = dict.pos_list(it.nAttributeIdx - 1);
  if (list.len == 0) return 0;
  const int t = list.ids[0];
  return static_cast<uint8_t>((t == a || t == ag) ? z : t == vg ? v : t == ng ? n : t);
}

bool in_dictionary(const CBasicDict& dict, const char* s, uint32_t len) {
  return dict.mBasicDict.exactMatchSearch<int>(s, len) >= 0;
}

// A path word of two equal Chinese characters (either a dictionary word or
// a word this pass made).
bool is_doubled_word(const Step& s, const char* text, const CBasicDict& dict) {
  if (s.item == nullptr || s.end - s.begin != 4) return false;
  if (!is_dict_word(*s.item, dict) && s.item->type != kItemSecondaryWord) return false;
  const char* w = text + s.begin;
  return is_hanzi_lead(w[0]) && same_char(w, w + 2);
}

void merge(CLattice& lattice, uint32_t p, const Step& last, uint8_t tag) {
  tSegItemInfo* it = last.item;
  it->begin_pos = p;
  it->length = last.end - p;
  it->posIndex = tag;
  it->nAttributeIdx = kAttrSingleChar;
  it->type = kItemSecondaryWord;
  it->bcomb = false;
  lattice.m_nodes[p].nNextLen = it->length;
}

// 一 A A, A AB B and A A starting at p; true when merged.
bool join_at(CLattice& lattice, const char* text, uint32_t n, const CBasicDict& dict,
             const Step& s1) {
  static const uint8_t m = static_cast<uint8_t>(pos_tag_id("m")),
                       q = static_cast<uint8_t>(pos_tag_id("q")),
                       z = static_cast<uint8_t>(pos_tag_id("z")),
                       o = static_cast<uint8_t>(pos_tag_id("o"));
  static const char kYi[2] = {'\xD2', '\xBB'};
  const uint32_t p = s1.begin;
  const Step s2 = step_at(lattice, s1.end, n);
  if (s2.item == nullptr) return false;
  const Step s3 = step_at(lattice, s2.end, n);
  const char* a = text + s2.begin;
  if (s3.item != nullptr && s1.end - p == 2 && same_char(text + p, kYi) && is_plain_char(s2, text) &&
      is_plain_char(s3, text) && same_char(a, text + s3.begin) && doubled_tag(*s2.item, dict) == q &&
      !in_dictionary(dict, text + p, s3.end - p)) {
    merge(lattice, p, s3, m);
    return true;
  }
  if (s3.item != nullptr && is_plain_char(s1, text) && is_plain_char(s3, text) &&
      s2.end - s2.begin == 4 && is_dict_word(*s2.item, dict) && same_char(text + p, a) &&
      same_char(a + 2, text + s3.begin) && !same_char(a, a + 2) &&
      !in_dictionary(dict, text + p, s3.end - p)) {
    merge(lattice, p, s3, z);
    return true;
  }
  // Three or more equal characters are no doubled word (克林林林顿).
  const bool run = (p >= 2 && same_char(text + p - 2, a)) ||
                   (s2.end + 2 <= n && same_char(text + s2.end, a));
  if (is_plain_char(s1, text) && is_plain_char(s2, text) && same_char(text + p, a) && !run &&
      !is_numeral(a, kDoubledNumerals) && !in_dictionary(dict, text + p, 4)) {
    const uint8_t tag = doubled_tag(*s1.item, dict);
    merge(lattice, p, s2, tag != 0 ? tag : o);
    return true;
  }
  return false;
}

}  // namespace

void join_reduplications(CLattice& lattice, const char* text, uint32_t n, const CBasicDict& dict) {
  static const uint8_t z = static_cast<uint8_t>(pos_tag_id("z")),
                       noun = static_cast<uint8_t>(pos_tag_id("n")),
                       verb = static_cast<uint8_t>(pos_tag_id("v"));
  if (text == nullptr || n == 0 || n >= CLattice::kMaxNodes) return;
  // First the shapes made of one-character words, then AA BB, which may use
  // the doubled words of the first walk.
  for (int round = 0; round < 2; ++round) {
    uint32_t p = 0;
    while (p < n) {
      const Step s1 = step_at(lattice, p, n);
      if (s1.end == p) break;  // a broken path
      if (s1.item != nullptr) {
        if (round == 0) {
          if (join_at(lattice, text, n, dict, s1)) continue;
        } else {
          const char* a = text + p;
          if (is_doubled_word(s1, text, dict)) {
            const Step s2 = step_at(lattice, s1.end, n);
            const char* b = text + s2.begin;
            if (is_doubled_word(s2, text, dict) && !same_char(a, b) &&
                !is_numeral(a, kDoubledNumerals) && !is_numeral(b, kDoubledNumerals)) {
              // Two doubled nouns are two words (爸爸 妈妈), and so is a
              // doubled word before a doubled verb (好好 想想).
              const uint8_t tag = doubled_tag(*s1.item, dict);
              const uint8_t tag2 = doubled_tag(*s2.item, dict);
              if (!(tag == noun && tag2 == noun) && tag2 != verb && !in_dictionary(dict, a, 8))
                merge(lattice, p, s2, tag != 0 ? tag : z);
            }
          }
        }
      }
      p = s1.end;
    }
  }
}
