// Character classes of the GBK characters that the number rules, the factoid
// recognizer and the entity rules look at: one table of traits per 16-bit
// character code.
//
// A two-byte GBK character is looked up by its two bytes read as a 16-bit
// value with the lead byte in the low half, i.e. the value a little-endian
// load of the two bytes gives ("一" is 0xBBD2).
//
// Number and unit classes (chs_class_of).  Every character is kChsOther
// except for 22:
//   kChsDateTimeUnit (0): 年 月 日 天 号 时 分 秒
//   kChsMagnitude    (1): 十 百 千 万 亿
//   kChsDigit        (2): 一 二 三 四 五 六 七 八 九
// The ambiguity resolver merges digits and numbers with a following
// magnitude or date/time unit, and builds fractions around "分之".
//
// Numeral sets.  The rules that ask "is this a numeral?" each mean their own
// set; a character may be in several (see NumeralSet).
#ifndef LX_SEG_CHAR_CLASS_H
#define LX_SEG_CHAR_CLASS_H

#include <array>
#include <cstddef>
#include <cstdint>

const int kChsOther = -1;
const int kChsDateTimeUnit = 0;
const int kChsMagnitude = 1;
const int kChsDigit = 2;

// Sets of Chinese numerals, named by the rules that use them.
enum NumeralSet : uint8_t {
  // 〇 零 ○ 一 二 两 三 … 九 十 廿 百 千 万 亿 and the capitals 壹 贰 叁 肆 伍
  // 陆 柒 捌 玖 拾 佰 仟: what a number written in characters is made of
  // (the factoid recognizer's numeral runs).
  kNumberNumerals = 1,
  // 〇 零 ○ 一 … 九: the single digits of a number read digit by digit, as
  // the decimals after 点 or a year (二○○一).
  kDigitNumerals = 2,
  // 〇 零 ○ 一 … 十 两 百 千 万 亿: doubled they stay numbers (一一,
  // 三三两两, 千千万万), never doubled words.
  kDoubledNumerals = 4,
  // 一 … 十: the numbers of places and works (三村, 一矿), which the entity
  // rules keep out of names.
  kPlaceNumerals = 8,
};

// Traits of every 16-bit character code: the bits of its numeral sets, and
// its number class plus one in bits 4 and 5.
extern const std::array<uint8_t, 65536> kCharTraits;

// The 16-bit code of the two-byte character at `p` (lead byte low), read
// from char or unsigned char text.
template <class Byte>
inline uint16_t chs_code(const Byte* p) {
  return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) |
                               (static_cast<unsigned>(static_cast<uint8_t>(p[1])) << 8));
}

// Whether the two-byte characters at `a` and `b` are the same.
inline bool same_chs(const char* a, const char* b) { return chs_code(a) == chs_code(b); }

// Codes of the characters the number rules name.
const uint16_t kChsYi = 0xBBD2;    // 一
const uint16_t kChsDian = 0xE3B5;  // 点

// "分之", between the two numbers of a fraction (4 bytes).
const char kChsFenZhi[] = "\xB7\xD6\xD6\xAE";

// Whether `c` leads a two-byte Chinese character: the GBK rows of hanzi,
// not those of symbols and full-width letters (0xA1 to 0xAF).
inline bool is_hanzi_lead(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return (u >= 0x81 && u <= 0xA0) || (u >= 0xB0 && u <= 0xFE);
}

// A full-width digit (０ to ９) in the two bytes at `p`.
template <class Byte>
inline bool is_wide_digit(const Byte* p) {
  const uint8_t lead = static_cast<uint8_t>(p[0]), trail = static_cast<uint8_t>(p[1]);
  return lead == 0xA3 && trail >= 0xB0 && trail <= 0xB9;
}

// A separator inside a transliterated name: the one byte "-" (`len` 1) or
// one of the characters "·" "ˉ" "—" "－" (`len` 2).
inline bool is_name_separator_char(const char* p, size_t len) {
  if (len == 1) return p[0] == '-';
  if (len != 2) return false;
  const uint16_t c = chs_code(p);
  return c == 0xA4A1 || c == 0xA5A1 || c == 0xAAA1 || c == 0xADA3;  // lead byte low
}

// Whether the character of code `code`, or the two bytes at `p`, are in `set`.
inline bool is_numeral_code(uint16_t code, NumeralSet set) {
  return (kCharTraits[code] & set) != 0;
}
inline bool is_numeral(const char* p, NumeralSet set) { return is_numeral_code(chs_code(p), set); }

// The number class of the two-byte character at `p` (kChsOther ... kChsDigit).
inline int chs_class_of(const char* p) { return (kCharTraits[chs_code(p)] >> 4) - 1; }

// Bytes of the unit at the end of a number merged with its unit (`len` > 2
// bytes of GBK text): 月份, or the run of magnitudes (万亿), or the last
// character; the number keeps at least one byte.
size_t merged_unit_len(const char* word, size_t len);

#endif  // LX_SEG_CHAR_CLASS_H
