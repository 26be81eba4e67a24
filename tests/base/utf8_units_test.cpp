// utf8_to_gbk_units against utf8_to_gbk_units_reference (every character
// through the general path) on random text made of the pieces that decide
// the units: Chinese characters with and without a GBK form, full-width
// forms, ASCII, marks, joiners, emoji, flags, line separators, broken and
// forbidden sequences.  Buffers are exactly the size passed.
#include "base/utf8_units.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct Units {
  size_t n = 0, special = 0;
  std::string gbk;
  std::vector<uint32_t> at;
};

template <class Fn>
Units Convert(Fn convert, const std::string& s, size_t cap, bool with_at) {
  Units u;
  std::vector<char> dst(cap + 1, '\x55');
  std::vector<uint32_t> at(with_at ? cap + 1 : 0, 0xDEADBEEFu);
  u.n = convert(s.data(), s.size(), dst.data(), cap, with_at ? at.data() : nullptr, u.special);
  if (u.n != SIZE_MAX) {
    u.gbk.assign(dst.data(), u.n + 1);  // with the NUL
    if (with_at) u.at.assign(at.begin(), at.begin() + static_cast<long>(u.n) + 1);
  }
  return u;
}

TEST(Utf8Units, ShortcutsGiveTheUnitsOfTheGeneralPath) {
  const char* pieces[] = {
      "\xE4\xB8\xAD", "\xE6\x96\x87", "\xE9\xBE\xA5",  // 中 文 龥 (GBK)
      "\xE9\xBE\xA6",                                  // U+9FA6, no GBK form
      "\xE3\x80\x82", "\xEF\xBC\x8C", "\xEF\xBC\x91",  // 。，１
      "\xE2\x80\x94", "\xC2\xB7",                      // — ·
      "a", "7", " ", "\t", "\n", ",",
      "\xCC\x81",                      // combining acute
      "\xE2\x83\x9D",                  // combining enclosing circle (E2 lead)
      "\xEF\xB8\x8F",                  // variation selector 16 (EF lead)
      "\xE2\x80\x8D",                  // zero width joiner
      "\xF0\x9F\x98\x80",              // emoji
      "\xF0\x9F\x87\xA8", "\xF0\x9F\x87\xB3",  // regional indicators
      "\xE2\x80\xA8",                  // line separator
      "\xE3\x81\x82",                  // hiragana
      "\xED\xA0\x80",                  // surrogate: invalid
      "\xE0\x80\xAF",                  // overlong: invalid
      "\xE4\xB8", "\xE4", "\x80", "\xFF",  // truncated and stray bytes
  };
  const size_t kPieces = sizeof(pieces) / sizeof(pieces[0]);
  const auto fast = [](const char* src, size_t len, char* dst, size_t cap, uint32_t* at,
                       size_t& special) {
    return utf8_to_gbk_units(src, len, dst, cap, at, special);
  };
  std::mt19937 rng(20261207);
  for (int trial = 0; trial < 3000; ++trial) {
    std::string s;
    // Mostly Chinese, so that runs form, with the other pieces sprinkled in.
    for (size_t k = 0, m = rng() % 24; k < m; ++k)
      s += pieces[rng() % 3 == 0 ? rng() % kPieces : rng() % 3];
    const bool with_at = trial % 4 != 0;
    const size_t full = 2 * s.size();
    const Units want = Convert(utf8_to_gbk_units_reference, s, full, with_at);
    const Units got = Convert(fast, s, full, with_at);
    ASSERT_NE(want.n, SIZE_MAX);
    ASSERT_EQ(got.n, want.n) << "trial " << trial;
    EXPECT_EQ(got.gbk, want.gbk) << "trial " << trial;
    EXPECT_EQ(got.at, want.at) << "trial " << trial;
    EXPECT_EQ(got.special, want.special) << "trial " << trial;
    // Too little room: both refuse.
    if (want.n > 0) {
      const size_t cap = rng() % want.n;
      EXPECT_EQ(Convert(utf8_to_gbk_units_reference, s, cap, with_at).n, SIZE_MAX) << "trial " << trial;
      EXPECT_EQ(Convert(fast, s, cap, with_at).n, SIZE_MAX) << "trial " << trial << " cap " << cap;
    }
  }
}

}  // namespace
