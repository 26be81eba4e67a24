#include "seg/char_class.h"

#include <cstring>
#include <new>

namespace {

struct ClassedChar {
  uint16_t code;  // lead byte low
  int cls;
};

// GBK codes of the classed characters (lead byte in the low half).
const ClassedChar kClassedChars[] = {
    // date and time units
    {0xEAC4, kChsDateTimeUnit},  // 年
    {0xC2D4, kChsDateTimeUnit},  // 月
    {0xD5C8, kChsDateTimeUnit},  // 日
    {0xECCC, kChsDateTimeUnit},  // 天
    {0xC5BA, kChsDateTimeUnit},  // 号
    {0xB1CA, kChsDateTimeUnit},  // 时
    {0xD6B7, kChsDateTimeUnit},  // 分
    {0xEBC3, kChsDateTimeUnit},  // 秒
    // magnitudes
    {0xAECA, kChsMagnitude},  // 十
    {0xD9B0, kChsMagnitude},  // 百
    {0xA7C7, kChsMagnitude},  // 千
    {0xF2CD, kChsMagnitude},  // 万
    {0xDAD2, kChsMagnitude},  // 亿
    // digits
    {0xBBD2, kChsDigit},  // 一
    {0xFEB6, kChsDigit},  // 二
    {0xFDC8, kChsDigit},  // 三
    {0xC4CB, kChsDigit},  // 四
    {0xE5CE, kChsDigit},  // 五
    {0xF9C1, kChsDigit},  // 六
    {0xDFC6, kChsDigit},  // 七
    {0xCBB0, kChsDigit},  // 八
    {0xC5BE, kChsDigit},  // 九
};

}  // namespace

void fill_chs_array(int* table) {
  for (size_t i = 0; i < kChsArraySize; ++i) table[i] = kChsOther;
  for (const ClassedChar& c : kClassedChars) table[c.code] = c.cls;
}

int* create_chs_array() {
  int* table = new (std::nothrow) int[kChsArraySize];
  if (table) fill_chs_array(table);
  return table;
}

void destroy_chs_array(int*& table) {
  delete[] table;
  table = nullptr;
}

int chs_class_of(const char* p) {
  const uint16_t code = chs_code(p);
  for (const ClassedChar& c : kClassedChars)
    if (c.code == code) return c.cls;
  return kChsOther;
}

size_t merged_unit_len(const char* word, size_t len) {
  if (len > 4 && std::memcmp(word + len - 4, "\xD4\xC2\xB7\xDD", 4) == 0) return 4;  // 月份
  size_t u = 2;
  if (chs_class_of(word + len - 2) == kChsMagnitude)
    while (len - u > 2 && chs_class_of(word + len - u - 2) == kChsMagnitude) u += 2;
  return u;
}
