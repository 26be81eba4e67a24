// The GBK / UTF-16 / UTF-8 converters and detectors.  Every converter is
// compared on random byte strings with a reference kept here, which decodes
// the whole input first and applies the room and flag rules afterwards, and
// maps characters through a map built from the forward table alone (so the
// inverse table is checked too).  Buffers are exactly the size passed, so
// reads and writes out of bounds show under AddressSanitizer.
#include "base/uconv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using Bytes = std::vector<char>;
using Units = std::vector<uint16_t>;

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

uint16_t Cell(unsigned code) { return gGBKToUnicodeTable[((code >> 8) - 0x81) * 191 + ((code & 0xFF) - 0x40)]; }

bool IsTrail(unsigned t) { return t >= 0x40 && t <= 0xFE && t != 0x7F; }

// Code point -> GBK code from the forward table; the first cell wins (A1A1
// before A3A0 for U+3000).
const std::unordered_map<uint32_t, uint16_t>& ForwardMap() {
  static const std::unordered_map<uint32_t, uint16_t> map = [] {
    std::unordered_map<uint32_t, uint16_t> m;
    for (unsigned code = 0x8140; code <= 0xFEFE; ++code)
      if ((code & 0xFF) >= 0x40 && IsTrail(code & 0xFF) && Cell(code) != 0xFFFD) m.emplace(Cell(code), code);
    return m;
  }();
  return map;
}

// UTF-8 in the original definition (up to six bytes, no checks).
std::string Utf8Of(uint32_t cp) {
  if (cp < 0x80) return std::string(1, (char)cp);
  int len = cp < 0x800 ? 2 : cp < 0x10000 ? 3 : cp < 0x200000 ? 4 : cp < 0x4000000 ? 5 : 6;
  std::string s(len, '\0');
  for (int i = len - 1; i > 0; --i, cp >>= 6) s[i] = (char)(0x80 | (cp & 0x3F));
  s[0] = (char)((0xFF00 >> len) | cp);
  return s;
}

std::string CharRef(uint32_t cp) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "&#x%04X;", (unsigned)cp);
  return buf;
}

// GBK characters of the input (a final lone lead byte ends it); -1 = invalid byte.
std::vector<int> RefDecodeGbk(const Bytes& src) {
  std::vector<int> out;
  for (size_t i = 0; i < src.size(); ++i) {
    const unsigned b = (unsigned char)src[i];
    if (b <= 0x80) {
      out.push_back(b == 0x80 ? 0x20AC : b);
    } else if (b == 0xFF || (i + 1 < src.size() && !IsTrail((unsigned char)src[i + 1]))) {
      out.push_back(-1);
    } else if (i + 1 < src.size()) {
      out.push_back(Cell(b * 256 + (unsigned char)src[++i]));
    }
  }
  return out;
}

// Code points of UTF-8 decoded leniently: bytes that cannot start a sequence
// are dropped, the bytes after a lead byte are taken unchecked, a sequence cut
// by the end is dropped.
std::vector<uint32_t> RefDecodeUtf8(const Bytes& src) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < src.size();) {
    const unsigned b = (unsigned char)src[i];
    const size_t k = b < 0x80 ? 1 : b < 0xC0 ? 0 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF8 ? 4 : b < 0xFC ? 5 : b < 0xFE ? 6 : 0;
    if (k == 0) {
      ++i;
      continue;
    }
    if (i + k > src.size()) break;
    uint32_t cp = k == 1 ? b : (b & (0x7Fu >> k));
    for (size_t j = 1; j < k; ++j) cp = (cp << 6) | ((unsigned char)src[i + j] & 0x3F);
    out.push_back(cp);
    i += k;
  }
  return out;
}

struct Result {
  int ret;
  std::string out;  // bytes (or units as pairs of bytes) before the terminator
  bool operator==(const Result& o) const { return ret == o.ret && (ret < 0 || out == o.out); }
};
std::ostream& operator<<(std::ostream& os, const Result& r) {
  os << "ret=" << r.ret << " out=";
  for (unsigned char c : r.out) os << std::hex << (int)c << ' ';
  return os << std::dec;
}

Result RefGbkToUnicode(const Bytes& src, uint32_t dst_size, int flags) {
  std::string out;
  for (int c : RefDecodeGbk(src)) {
    if (dst_size == 0 || out.size() == 2 * dst_size) break;
    if (c < 0 && (flags & 2)) return {-1, ""};
    if (c >= 0 || (flags & 1)) out += {(char)((c < 0 ? 0xFFFD : c) >> 8), (char)(c < 0 ? 0xFD : c)};
  }
  return {(int)out.size() / 2, out};
}

Result RefGbkToUtf8(const Bytes& src, uint32_t dst_size, int flags) {
  if (dst_size == 0 || dst_size < (src.size() / 2) * 3 + 1) return {dst_size == 0 ? 0 : -1, ""};
  std::string out;
  for (int c : RefDecodeGbk(src)) {
    if (c < 0 && (flags & 2)) return {-1, ""};
    std::string piece = c > 0 ? Utf8Of(c) : c < 0 && flags != 0 ? Utf8Of(0xFFFD) : "";
    if (out.size() + piece.size() >= dst_size) break;
    out += piece;
  }
  return {(int)out.size(), out};
}

// Both encoders: `entities` and `error` tell what an unmappable character
// does, `replace` (if non-zero) replaces it.
Result RefToGbk(const std::vector<uint32_t>& cps, uint32_t dst_size, bool entities, bool error, int replace,
                bool stop_on_long_entity) {
  if (dst_size == 0) return {0, ""};
  std::string out;
  for (uint32_t cp : cps) {
    if (out.size() + (cp < 0x80 ? 1 : 2) >= dst_size) break;
    auto it = ForwardMap().find(cp);
    if (cp < 0x80) {
      out += (char)cp;
    } else if (it != ForwardMap().end()) {
      out += {(char)(it->second >> 8), (char)it->second};
    } else if (cp == 0x20AC) {
      out += '\x80';
    } else if (entities && out.size() + CharRef(cp).size() < dst_size) {
      out += CharRef(cp);
    } else if (entities) {
      if (stop_on_long_entity) break;
    } else if (error) {
      return {-1, ""};
    } else if (replace >= 256) {
      out += {(char)(replace >> 8), (char)replace};
    } else if (replace > 0) {
      out += (char)replace;
    }
  }
  return {(int)out.size(), out};
}

// Calls a converter with a buffer of exactly dst_size bytes and checks the
// terminator.
template <typename F>
Result Call(uint32_t dst_size, F convert) {
  Bytes dst(dst_size, '\x5A');
  const int r = convert(dst.data(), dst_size);
  if (r < 0 || dst_size == 0) return {dst_size == 0 && r != 0 ? -2 : r, ""};
  EXPECT_LT((uint32_t)r, dst_size);
  EXPECT_EQ(dst[std::min<uint32_t>(r, dst_size - 1)], '\0') << "no terminator";
  return {r, std::string(dst.data(), std::min<uint32_t>(r, dst_size))};
}

const char* Ptr(const Bytes& b) { return b.empty() ? "" : b.data(); }

Result GbkToUtf8(const Bytes& src, uint32_t size, int flags) {
  return Call(size, [&](char* d, uint32_t n) { return gbk_to_utf8(Ptr(src), (uint32_t)src.size(), d, n, flags); });
}
Result Utf8ToGbk(const Bytes& src, uint32_t size, int flags) {
  return Call(size, [&](char* d, uint32_t n) { return utf8_to_gbk(Ptr(src), (uint32_t)src.size(), d, n, flags); });
}
Result UnicodeToGbk(const Units& src, uint32_t size, int flags, uint16_t rc) {
  static const uint16_t none = 0;
  auto convert = [&](char* d, uint32_t n) { return unicode_to_gbk(src.empty() ? &none : src.data(), (uint32_t)src.size(), d, n, flags, rc); };
  return Call(size, convert);
}
Result GbkToUnicode(const Bytes& src, uint32_t size, int flags) {
  Units dst(size, 0xBEEF);
  const int r = gbk_to_unicode(Ptr(src), (uint32_t)src.size(), dst.data(), size, flags);
  std::string out;
  for (int i = 0; i < r; ++i) out += {(char)(dst[i] >> 8), (char)dst[i]};
  return {r, out};
}

// The inverse table is exactly the inverse of the forward one (U+3000, at
// A1A1 and A3A0, maps to A1A1); the pseudo-UTF-8 flags are the code points
// GBK encodes but U+01F9; hand-checked cells, GB18030-2000 private-use cells
// among them.
TEST(UconvTables, TablesAgree) {
  size_t inverse = 0;
  for (uint32_t u = 0; u < 0x10000; ++u) {
    const uint16_t g = gUnicodeToGBKTable[u];
    if (g == 0) continue;
    ++inverse;
    ASSERT_TRUE((g >> 8) >= 0x81 && (g >> 8) <= 0xFE && IsTrail(g & 0xFF)) << std::hex << u;
    ASSERT_EQ(Cell(g), u) << std::hex << u;
    ASSERT_EQ(ForwardMap().at(u), g) << std::hex << u;
  }
  EXPECT_EQ(inverse, ForwardMap().size());
  for (uint32_t i = 0; i < UCONV_PSEUDO_UTF8_SIZE; ++i)
    ASSERT_EQ(gPsedoUtf8[i], gUnicodeToGBKTable[0x80 + i] != 0 && i + 0x80 != 0x01F9) << std::hex << i + 0x80;
  const std::pair<unsigned, uint16_t> cells[] = {
      {0xD6D0, 0x4E2D}, {0xD2BB, 0x4E00}, {0xB0A1, 0x554A}, {0x8140, 0x4E02}, {0xA1A4, 0x00B7}, {0xA3C1, 0xFF21},
      {0xA1A1, 0x3000}, {0xA3A0, 0x3000}, {0xA8BF, 0x01F9}, {0xAAA1, 0xE000}, {0xFEFE, 0xE4C5}, {0xA140, 0xE4C6},
      {0xA6D9, 0xE78D}, {0xA8BC, 0xE7C7}, {0xFE51, 0xE816}, {0xFEA0, 0xE864}, {0xA2AB, 0xFFFD}, {0xA2FE, 0xFFFD},
      {0x817F, 0xFFFD}, {0xFE7F, 0xFFFD}};
  for (const auto& c : cells) EXPECT_EQ(Cell(c.first), c.second) << std::hex << c.first;
  EXPECT_EQ(gUnicodeToGBKTable[0x20AC], 0);
  EXPECT_EQ(gUnicodeToGBKTable['A'], 0);
}

// All of GBK in one text through UTF-16 and through UTF-8 and back.
TEST(UconvRoundTrip, WholeCharacterSet) {
  Bytes gbk;
  for (const auto& kv : ForwardMap()) gbk.insert(gbk.end(), {(char)(kv.second >> 8), (char)kv.second});
  gbk.insert(gbk.end(), {'\x80', 'z'});
  const uint32_t n = (uint32_t)gbk.size();
  Units units(n);
  const int nu = gbk_to_unicode(gbk.data(), n, units.data(), n, UCONV_INVCHAR_ERROR);
  ASSERT_EQ(nu, (int)ForwardMap().size() + 2);
  Bytes back(n + 1), utf8((n / 2) * 3 + 1), again(utf8.size());
  ASSERT_EQ(unicode_to_gbk(units.data(), nu, back.data(), n + 1, UCONV_INVCHAR_ERROR, 0), (int)n);
  EXPECT_TRUE(Bytes(back.begin(), back.end() - 1) == gbk);
  const int nb = gbk_to_utf8(gbk.data(), n, utf8.data(), (uint32_t)utf8.size(), UCONV_INVCHAR_ERROR);
  ASSERT_GT(nb, 0);
  ASSERT_EQ(utf8_to_gbk(utf8.data(), nb, again.data(), nb, UCONV_INVCHAR_ERROR), (int)n);
  EXPECT_TRUE(Bytes(again.begin(), again.begin() + n) == gbk);
}

// Random byte strings of ASCII, NULs, GBK pairs valid or not, lone lead
// bytes, UTF-8 of every length (overlong, surrogate and cut forms too) and
// stray bytes, against the references at many output sizes and all flags.
TEST(UconvRandom, ConvertersMatchTheReferences) {
  std::mt19937 rng(20240611);
  auto below = [&](uint32_t n) { return (uint32_t)(rng() % n); };
  auto mapped = [&] { return std::next(ForwardMap().begin(), below(ForwardMap().size()))->first; };
  for (int iter = 0; iter < 3000; ++iter) {
    Bytes src;
    for (uint32_t p = below(12); p > 0; --p) {
      std::string piece;
      switch (below(10)) {
        case 0: piece = std::string(1, (char)below(0x80)); break;
        case 1: piece = {(char)(0x81 + below(0x7E)), (char)(below(4) ? 0x40 + below(0xBF) : below(256))}; break;
        case 2: piece = std::string(1, (char)(0x81 + below(0x7E))); break;
        case 3: piece = Utf8Of(mapped()); break;
        case 4: piece = Utf8Of(below(2) ? 0x80 + below(0xFF80) : 0x10000 + below(0x7FFF0000)); break;
        case 5: piece = below(2) ? "\xC0\x80" : below(2) ? "\xE0\x81\x81" : "\xF8\x80\x80\x80\x80"; break;
        case 6: piece = Utf8Of(0x800 + below(0x100000)).substr(0, 1 + below(2)); break;
        case 7: piece = below(2) ? "\xE2\x82\xAC" : "\x80"; break;
        default: piece = std::string(1, (char)below(256)); break;
      }
      src.insert(src.end(), piece.begin(), piece.end());
    }
    Units units(below(10));
    for (uint16_t& u : units)
      u = below(4) == 0 ? below(0x80) : below(3) == 0 ? mapped() : below(2) ? 0xD800 + below(0x800) : below(0x10000);
    const uint32_t n = (uint32_t)src.size();
    const uint16_t rc = below(2) ? 0x3F : 0xA1F5;
    std::vector<uint32_t> cps(units.begin(), units.end());
    for (uint32_t size : {0u, 1u, 2u, 3u, n, n + 1, (n / 2) * 3, (n / 2) * 3 + 1, 2 * n + 1, below(3 * n + 12)}) {
      for (int flags = 0; flags < 8; ++flags) {
        SCOPED_TRACE(testing::Message() << "iter " << iter << " size " << size << " flags " << flags);
        ASSERT_EQ(GbkToUnicode(src, size, flags), RefGbkToUnicode(src, size, flags));
        ASSERT_EQ(GbkToUtf8(src, size, flags), RefGbkToUtf8(src, size, flags));
        const Result gbk = Utf8ToGbk(src, size, flags), tooSmall = {-1, ""};
        ASSERT_EQ(gbk, size > 0 && size < n ? tooSmall : RefToGbk(RefDecodeUtf8(src), size, flags & 4, flags & 2, 0, true));
        ASSERT_EQ(UnicodeToGbk(units, size, flags, rc), RefToGbk(cps, size, flags == 4, flags == 2, flags == 1 ? rc : 0, false));
        ASSERT_GE(GbkToUnicode(B(gbk.out), std::max(gbk.ret, 0), UCONV_INVCHAR_ERROR).ret, 0);  // the output is GBK
      }
    }
  }
}

// Detectors: is_utf8 counts the bytes of complete UTF-8 characters, but says 0
// for ASCII and for text of two-byte forms that read as GBK too; a cut last
// character is tolerated (leniently) within the last four bytes of `len`.
// The limited GBK check accepts a lead byte that is the last byte allowed,
// without reading on (the buffers below end there).
TEST(UconvDetect, IsUtf8AndIsGbk) {
  const std::string zh = "\xE4\xB8\xAD", cut = zh + zh + "\xE4\xB8";
  const struct { std::string text; uint32_t len; int strict, lenient; } utf8[] = {
      {"plain ascii", 11, 0, 0}, {"\xC3\xA9", 2, 0, 0}, {"\xC2\xA2", 2, 2, 2}, {"\xC3\xA9" + zh, 5, 5, 5},
      {"a" + zh + "b", 5, 5, 5}, {"\xF0\x9F\x98\x80", 4, 4, 4}, {"\xED\xA0\x80", 3, 3, 3}, {"\xD6\xD0\xCE\xC4", 4, 0, 0},
      {zh + "\x80\x80\x80", 6, 0, 0}, {zh + "\xC0\x80\x80", 6, 0, 0}, {zh + "\xF8\x80\x80", 6, 0, 0}, {cut, 8, 0, 6},
      {cut, 10, 0, 6}, {cut, 11, 0, 0}, {"abcde\xE4\xB8", 7, 0, 0}, {zh + zh + "\xE4\x41", 8, 0, 0}, {"\xE4", 1000, 0, 0}};
  for (const auto& row : utf8)
    EXPECT_EQ(std::make_pair(is_utf8(row.text.c_str(), row.len, 0), is_utf8(row.text.c_str(), row.len, 1)),
              std::make_pair(row.strict, row.lenient)) << row.text << " " << row.len;
  const std::pair<std::string, int> gbk[] = {{"\xD6", 1}, {"\xD6\x30", 0}, {"\xFF", 0}, {"\xD6\xD0\x41", 1}, {"\x80", 1},
                                             {"\x81\x7F", 0}, {"\x81\x40\xFE\xFE", 1}, {"\x41\xFF", 0}, {"", 0}};
  for (const auto& row : gbk) EXPECT_EQ(is_gbk(row.first.c_str()) + uconv_is_gbk(row.first.c_str()), 2 * row.second) << row.first;
  const char bad[] = {'\xD6', '\xD0', '\xFF', '\0'}, lone[] = {'A', '\xD6'}, trail[] = {'\xD6', '\x30'};
  const struct { const char* text; int length, result; } limited[] = {
      {bad, 2, 1}, {bad, 3, 0}, {bad, 100, 0}, {bad, -5, 1}, {"AB", 100, 1}, {"", 4, 0}, {lone, 2, 1}, {trail, 1, 1}, {trail, 2, 0}};
  for (const auto& row : limited) EXPECT_EQ(uconv_is_gbk_n(row.text, row.length), row.result) << row.length;
}

// Null pointers and zero sizes write nothing; too small a buffer gives -1 and
// writes nothing either, and nothing of an impossible source length is read.
TEST(UconvDetect, NullAndImpossibleArguments) {
  char dst[4] = {'x', 'x', 'x', 'x'};
  uint16_t units[2] = {7, 7};
  EXPECT_EQ(gbk_to_unicode(nullptr, 3, units, 2, 0) + gbk_to_unicode("ab", 2, nullptr, 2, 0) + gbk_to_unicode("ab", 2, units, 0, 0) +
                utf8_to_gbk(nullptr, 1, dst, 2, 0) + utf8_to_gbk("a", 1, nullptr, 2, 0) + unicode_to_gbk(nullptr, 1, dst, 4, 0, 0) +
                is_utf8(nullptr, 3, 1) + uconv_is_gbk(nullptr) + uconv_is_gbk_n(nullptr, 4),
            0);
  EXPECT_EQ(gbk_to_utf8("\xD6\xD0", 2, dst, 3, 0) + utf8_to_gbk("\xE4\xB8\xAD", 3, dst, 2, 0), -2);
  EXPECT_EQ(std::make_pair(std::string(dst, 4), units[0]), std::make_pair(std::string("xxxx"), (uint16_t)7));
  EXPECT_EQ(gbk_to_utf8("ABCD", 0xAAAAAAACu, dst, 4, 0) + gbk_to_utf8("ABCD", 0xFFFFFFFFu, dst, 4, 0) +
                utf8_to_gbk("a", 0xFFFFFFFFu, dst, 4, 0), -3);  // (len / 2) * 3 + 1 beyond 32 bits
}

}  // namespace
