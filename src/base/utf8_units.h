// utf8_units.h - UTF-8 text read as GBK units, so that every character of a
// UTF-8 text has a place in the GBK text the segmenter works on.
//
// A unit is what one GBK character (one or two bytes) stands for: a
// character that GBK encodes, possibly followed by characters that extend it
// (combining marks, variation selectors, emoji modifiers, a zero width joiner
// and the emoji it joins), or a stand-in for a character that GBK lacks:
//
//   kind          GBK bytes  stands for
//   UNIT_EXACT    its own    one character with a GBK form, nothing joined to it
//   UNIT_MARKED   the base's a character with a GBK form and the marks or
//                            joined characters that follow it
//   UNIT_LETTER   "a"        a letter or digit of any script (Latin with
//                            diacritics, Hangul, kana, Thai ...): runs of them
//                            form one alphanumeric word, as ASCII letters do
//   UNIT_HAN      FE FE      a CJK ideograph outside GBK (a single character)
//   UNIT_SYMBOL   A1 FE      "〓", an emoji (with its modifiers, joined emoji,
//                            keycaps; a pair of regional indicators is one
//                            flag) or any other symbol: a token of its own,
//                            tagged as punctuation
//   UNIT_SPACE    " "        a space character: separates like a blank
//   UNIT_LINE     "\n"       a line or paragraph separator
//   UNIT_INVALID  A1 FE      one byte that is not part of well-formed UTF-8
//
// Well-formed means what the Unicode standard says: no overlong forms, no
// surrogates, nothing above U+10FFFF, no truncated sequence.  Marks never
// join a blank, a space character, a control character (below U+0020) or a
// line separator, so blanks and lines stay what they are (a mark after one
// stands alone, as a symbol).  The functions keep no state and are safe from several threads.
#ifndef LX_BASE_UTF8_UNITS_H
#define LX_BASE_UTF8_UNITS_H

#include <cstddef>
#include <cstdint>

enum gbk_unit_kind_t : uint8_t {
  UNIT_EXACT = 0,
  UNIT_MARKED,
  UNIT_LETTER,
  UNIT_HAN,
  UNIT_SYMBOL,
  UNIT_SPACE,
  UNIT_LINE,
  UNIT_INVALID
};

// Classes of code points (generated table, src/base/unicode_classes.cpp).
enum unicode_class_t : uint8_t {
  UCLASS_SYMBOL = 0,
  UCLASS_MARK,
  UCLASS_JOINER,
  UCLASS_REGIONAL,
  UCLASS_HAN,
  UCLASS_LETTER,
  UCLASS_SPACE,
  UCLASS_LINE
};
unicode_class_t unicode_class(uint32_t cp);
namespace lx_unicode {
// Ranges: (class << 24) | first code point, in code point order.
extern const uint32_t kClassRangeCount;
extern const uint32_t kClassRanges[];
// Bit b is set when some code point of the classes mark, joiner and
// regional has a UTF-8 form that starts with byte b.
extern const uint32_t kExtendLeadBits[8];
// The same for the first two bytes of a three-byte form: bit
// ((lead & 0x0F) << 6) | (second & 0x3F).
extern const uint32_t kExtendPairBits[32];
}  // namespace lx_unicode

// Decodes one well-formed UTF-8 character at src[0 .. len) (len > 0): its
// code point in `cp` and its length, or 0 when the first byte does not start
// a well-formed character.
size_t utf8_decode(const unsigned char* src, size_t len, uint32_t& cp);

// Converts `len` bytes of UTF-8 into GBK units at `dst`, which holds `cap`
// bytes and a NUL after them.  Returns the GBK length n, or SIZE_MAX when the
// units need more than `cap` bytes: at most len + the number of bytes that
// are not UTF-8 (each of them takes two), so 2 * len always suffices.  When
// `at` is not null (cap + 1 entries), at[g] is the offset in `src` where the
// unit holding GBK byte g starts, and at[n] = len.  `special` is set to the
// number of units that are not UNIT_EXACT.  Each character is decoded once.
size_t utf8_to_gbk_units(const char* src, size_t len, char* dst, size_t cap, uint32_t* at,
                         size_t& special);
// The same conversion with every character taken through the general path,
// none through the shortcuts for ASCII and runs of Chinese characters: the
// reference that utf8_to_gbk_units is compared with.
size_t utf8_to_gbk_units_reference(const char* src, size_t len, char* dst, size_t cap,
                                   uint32_t* at, size_t& special);
inline size_t utf8_to_gbk_units(const char* src, size_t len, char* dst, size_t& special) {
  return utf8_to_gbk_units(src, len, dst, 2 * len, nullptr, special);
}

// The kind of a unit from what it stands for: `gbk` (1 or 2 bytes) and the
// UTF-8 bytes `src` (src_len) it was read from.
gbk_unit_kind_t unit_kind(const char* gbk, size_t gbk_len, const char* src, size_t src_len);

#endif  // LX_BASE_UTF8_UNITS_H
