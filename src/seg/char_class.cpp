#include "seg/char_class.h"

#include <cstring>
#include <iterator>

namespace {

struct ClassedChar {
  uint16_t code;  // lead byte low
  int cls;        // kChsOther ... kChsDigit
  uint8_t sets;   // NumeralSet bits
};

const uint8_t N = kNumberNumerals, D = kDigitNumerals, R = kDoubledNumerals, P = kPlaceNumerals;

// GBK codes of the classed characters (lead byte in the low half).
constexpr ClassedChar kClassedChars[] = {
    // date and time units
    {0xEAC4, kChsDateTimeUnit, 0},  // 年
    {0xC2D4, kChsDateTimeUnit, 0},  // 月
    {0xD5C8, kChsDateTimeUnit, 0},  // 日
    {0xECCC, kChsDateTimeUnit, 0},  // 天
    {0xC5BA, kChsDateTimeUnit, 0},  // 号
    {0xB1CA, kChsDateTimeUnit, 0},  // 时
    {0xD6B7, kChsDateTimeUnit, 0},  // 分
    {0xEBC3, kChsDateTimeUnit, 0},  // 秒
    // magnitudes
    {0xAECA, kChsMagnitude, N | R | P},  // 十
    {0xD9B0, kChsMagnitude, N | R},      // 百
    {0xA7C7, kChsMagnitude, N | R},      // 千
    {0xF2CD, kChsMagnitude, N | R},      // 万
    {0xDAD2, kChsMagnitude, N | R},      // 亿
    // digits
    {0xBBD2, kChsDigit, N | D | R | P},  // 一
    {0xFEB6, kChsDigit, N | D | R | P},  // 二
    {0xFDC8, kChsDigit, N | D | R | P},  // 三
    {0xC4CB, kChsDigit, N | D | R | P},  // 四
    {0xE5CE, kChsDigit, N | D | R | P},  // 五
    {0xF9C1, kChsDigit, N | D | R | P},  // 六
    {0xDFC6, kChsDigit, N | D | R | P},  // 七
    {0xCBB0, kChsDigit, N | D | R | P},  // 八
    {0xC5BE, kChsDigit, N | D | R | P},  // 九
    // numerals without a number class
    {0xE3C1, kChsOther, N | D | R},  // 零
    {0x96A9, kChsOther, N | D | R},  // 〇
    {0xF0A1, kChsOther, N | D | R},  // ○
    {0xBDC1, kChsOther, N | R},      // 两
    {0xA5D8, kChsOther, N},          // 廿
    {0xBCD2, kChsOther, N},          // 壹
    {0xA1B7, kChsOther, N},          // 贰
    {0xFEC8, kChsOther, N},          // 叁
    {0xC1CB, kChsOther, N},          // 肆
    {0xE9CE, kChsOther, N},          // 伍
    {0xBDC2, kChsOther, N},          // 陆
    {0xE2C6, kChsOther, N},          // 柒
    {0xC6B0, kChsOther, N},          // 捌
    {0xC1BE, kChsOther, N},          // 玖
    {0xB0CA, kChsOther, N},          // 拾
    {0xDBB0, kChsOther, N},          // 佰
    {0xAAC7, kChsOther, N},          // 仟
};

constexpr std::array<uint8_t, 65536> make_traits() {
  std::array<uint8_t, 65536> t{};
  for (const ClassedChar& c : kClassedChars)
    t[c.code] = static_cast<uint8_t>(c.sets | ((c.cls + 1) << 4));
  return t;
}

constexpr size_t count_traits(const std::array<uint8_t, 65536>& t) {
  size_t n = 0;
  for (uint8_t v : t) n += v != 0;
  return n;
}

}  // namespace

constexpr std::array<uint8_t, 65536> kCharTraits = make_traits();

// Every listed character has a trait, and no code is listed twice.
static_assert(count_traits(kCharTraits) == std::size(kClassedChars), "one entry per character");

size_t merged_unit_len(const char* word, size_t len) {
  if (len > 4 && std::memcmp(word + len - 4, "\xD4\xC2\xB7\xDD", 4) == 0) return 4;  // 月份
  size_t u = 2;
  if (chs_class_of(word + len - 2) == kChsMagnitude)
    while (len - u > 2 && chs_class_of(word + len - u - 2) == kChsMagnitude) u += 2;
  return u;
}
