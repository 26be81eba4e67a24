#include "seg/reduplication.h"

#include "base/PosTag.h"
#include "dict/BasicDict.h"
#include "dict/item_types.h"
#include "seg/char_class.h"
#include "seg/path_words.h"

namespace {

// A plain one-character item of a Chinese character.
bool is_plain_char(const PathStep& s, const char* text) {
  return s.item != nullptr && is_plain_hanzi(*s.item, text);
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

// A path word of two equal Chinese characters (either a dictionary word or
// a word this pass made).
bool is_doubled_word(const PathStep& s, const char* text, const CBasicDict& dict) {
  if (s.item == nullptr || s.end - s.begin != 4) return false;
  if (!is_dict_word(*s.item, dict) && s.item->type != kItemSecondaryWord) return false;
  const char* w = text + s.begin;
  return is_hanzi_lead(w[0]) && same_chs(w, w + 2);
}

// 一 A A, A AB B and A A starting at p; true when merged.
bool join_at(CLattice& lattice, const char* text, uint32_t n, const CBasicDict& dict,
             const PathStep& s1) {
  static const uint8_t m = static_cast<uint8_t>(pos_tag_id("m")),
                       q = static_cast<uint8_t>(pos_tag_id("q")),
                       z = static_cast<uint8_t>(pos_tag_id("z")),
                       o = static_cast<uint8_t>(pos_tag_id("o"));
  const uint32_t p = s1.begin;
  const PathStep s2 = path_step(lattice, s1.end, n);
  if (s2.item == nullptr) return false;
  const PathStep s3 = path_step(lattice, s2.end, n);
  const char* a = text + s2.begin;
  if (s3.item != nullptr && s1.end - p == 2 && chs_code(text + p) == kChsYi &&
      is_plain_char(s2, text) && is_plain_char(s3, text) && same_chs(a, text + s3.begin) &&
      doubled_tag(*s2.item, dict) == q && !dict.has_word(text + p, s3.end - p)) {
    join_path_words(lattice, p, s3.item, m);
    return true;
  }
  if (s3.item != nullptr && is_plain_char(s1, text) && is_plain_char(s3, text) &&
      s2.end - s2.begin == 4 && is_dict_word(*s2.item, dict) && same_chs(text + p, a) &&
      same_chs(a + 2, text + s3.begin) && !same_chs(a, a + 2) &&
      !dict.has_word(text + p, s3.end - p)) {
    join_path_words(lattice, p, s3.item, z);
    return true;
  }
  // Three or more equal characters are no doubled word (克林林林顿).
  const bool run = (p >= 2 && same_chs(text + p - 2, a)) ||
                   (s2.end + 2 <= n && same_chs(text + s2.end, a));
  if (is_plain_char(s1, text) && is_plain_char(s2, text) && same_chs(text + p, a) && !run &&
      !is_numeral(a, kDoubledNumerals) && !dict.has_word(text + p, 4)) {
    const uint8_t tag = doubled_tag(*s1.item, dict);
    join_path_words(lattice, p, s2.item, tag != 0 ? tag : o);
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
      const uint32_t len = path_len(lattice, p, n);
      if (len == 0) break;  // a broken path
      // The items are read only where the text has a shape's start: in the
      // first walk a one-character word before a word of two bytes or more
      // that is 一 or begins with the same character, in the second a
      // two-character word of one Chinese character doubled.
      const char* a = text + p;
      const bool may_start =
          round == 0 ? len == 2 && p + 4 <= n && (chs_code(a) == kChsYi || same_chs(a, a + 2))
                     : len == 4 && is_hanzi_lead(a[0]) && same_chs(a, a + 2);
      const PathStep s1 = may_start ? path_step(lattice, p, n) : PathStep{p, p + len, nullptr};
      if (s1.item != nullptr) {
        if (round == 0) {
          if (join_at(lattice, text, n, dict, s1)) continue;
        } else {
          if (is_doubled_word(s1, text, dict)) {
            const PathStep s2 = path_step(lattice, s1.end, n);
            const char* b = text + s2.begin;
            if (is_doubled_word(s2, text, dict) && !same_chs(a, b) &&
                !is_numeral(a, kDoubledNumerals) && !is_numeral(b, kDoubledNumerals)) {
              // Two doubled nouns are two words (爸爸 妈妈), and so is a
              // doubled word before a doubled verb (好好 想想).
              const uint8_t tag = doubled_tag(*s1.item, dict);
              const uint8_t tag2 = doubled_tag(*s2.item, dict);
              if (!(tag == noun && tag2 == noun) && tag2 != verb && !dict.has_word(a, 8))
                join_path_words(lattice, p, s2.item, tag != 0 ? tag : z);
            }
          }
        }
      }
      p = s1.end;
    }
  }
}
