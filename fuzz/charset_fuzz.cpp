// The uconv.h conversions and utf8_to_gbk_units on arbitrary bytes: every
// result stays within its buffer, the units cover the input exactly (one or
// two GBK bytes each), and a short buffer gives the same text or SIZE_MAX.
#include "base/uconv.h"
#include "base/utf8_units.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1 << 16) return 0;
  const int flags = data[0] % 8;
  const std::string in((const char*)data + 1, size - 1);
  const char* src = in.c_str();
  const uint32_t n = (uint32_t)in.size();

  std::vector<char> gbk(2 * n + 1), small(n + 1), out(8 * n + 9);
  std::vector<uint32_t> at(2 * n + 1);
  std::vector<uint16_t> u16(n + 1);
  size_t special = 0, units = 0, sp = 0;
  const size_t m = utf8_to_gbk_units(src, n, gbk.data(), 2 * n, at.data(), special);
  LX_CHECK(m <= 2 * n && gbk[m] == '\0' && at[0] == 0 && at[m] == n);
  for (size_t g = 0, w; g < m; g += w, ++units) {
    w = g + 1 < m && at[g + 1] == at[g] ? 2 : 1;
    LX_CHECK(at[g + w] > at[g]);
    sp += unit_kind(gbk.data() + g, w, src + at[g], at[g + w] - at[g]) != UNIT_EXACT;
  }
  LX_CHECK(sp == special && units <= n);
  const size_t m2 = utf8_to_gbk_units(src, n, small.data(), n, nullptr, sp);
  LX_CHECK(m2 == SIZE_MAX || (m2 == m && std::memcmp(small.data(), gbk.data(), m + 1) == 0));

  const auto bounded = [&](int r, size_t cap) { LX_CHECK(r == -1 || ((size_t)r < cap && out[r] == '\0')); };
  const int nu = gbk_to_unicode(src, n, u16.data(), n + 1, flags);
  LX_CHECK(nu >= -1 && nu <= (int)n);
  bounded(unicode_to_gbk(u16.data(), nu < 0 ? 0 : nu, out.data(), out.size(), flags, 0xA1A1), out.size());
  bounded(gbk_to_utf8(src, n, out.data(), 3 * n + 1, flags), 3 * n + 1);
  bounded(utf8_to_gbk(src, n, out.data(), out.size(), flags), out.size());
  LX_CHECK(is_utf8(src, n, flags & 1) <= (int)n);
  LX_CHECK(uconv_is_gbk(src) == is_gbk(src) && uconv_is_gbk_n(src, (int)n) >= 0);
  return 0;
}
