// Character classes of the number and unit rules (m_chs_array).
//
// The table has one signed 32-bit entry per 16-bit value, plus one spare
// entry at the end (65,537 in all).  A two-byte GBK character is looked up
// by its two bytes read as a 16-bit value with the lead byte in the low
// half, i.e. the value a little-endian load of the two bytes gives ("一" is
// 0xBBD2).  Every entry is kChsOther except for 22 characters:
//   kChsDateTimeUnit (0): 年 月 日 天 号 时 分 秒
//   kChsMagnitude    (1): 十 百 千 万 亿
//   kChsDigit        (2): 一 二 三 四 五 六 七 八 九
// The ambiguity resolver merges digits and numbers with a following
// magnitude or date/time unit, and builds fractions around "分之".
#ifndef LX_SEG_CHAR_CLASS_H
#define LX_SEG_CHAR_CLASS_H

#include <cstddef>
#include <cstdint>

const size_t kChsArraySize = 65537;

const int kChsOther = -1;
const int kChsDateTimeUnit = 0;
const int kChsMagnitude = 1;
const int kChsDigit = 2;

// The 16-bit code of the two-byte character at `p` (lead byte low).
inline uint16_t chs_code(const char* p) {
  return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) |
                               (static_cast<unsigned>(static_cast<uint8_t>(p[1])) << 8));
}

// Fills table[0 .. kChsArraySize - 1] as described above.
void fill_chs_array(int* table);

// A new table (array new, kChsArraySize entries), filled; release it with
// destroy_chs_array().  Null when memory runs out.
int* create_chs_array();

// Frees a table made by create_chs_array() and sets the pointer to null.
void destroy_chs_array(int*& table);

// The class of the two-byte character at `p` (kChsOther ... kChsDigit).
inline int chs_class(const int* table, const char* p) { return table[chs_code(p)]; }

// The same class without a table.
int chs_class_of(const char* p);

// Bytes of the unit at the end of a number merged with its unit (`len` > 2
// bytes of GBK text): 月份, or the run of magnitudes (万亿), or the last
// character; the number keeps at least one byte.
size_t merged_unit_len(const char* word, size_t len);

#endif  // LX_SEG_CHAR_CLASS_H
