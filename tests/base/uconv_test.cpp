// Tests of the GBK / UTF-16 / UTF-8 converters and detectors.
//
// Besides fixed cases, every converter is compared on random byte strings
// with a reference kept here: the references decode the whole input first
// and apply the room and flag rules afterwards, and they map characters
// through a map built from the forward table alone, so that the inverse table
// is checked too.  Inputs and outputs live in std::vectors of exactly the size
// passed, so any read or write out of bounds is caught under AddressSanitizer.

#include "base/uconv.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using Bytes = std::vector<char>;
using Units = std::vector<uint16_t>;

Bytes B(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

Bytes Str(const char* s) { return Bytes(s, s + std::strlen(s)); }

// The same bytes followed by one NUL, for the detectors.
Bytes Terminated(const Bytes& b) {
  Bytes out = b;
  out.push_back('\0');
  return out;
}

uint16_t Cell(unsigned code) {
  return gGBKToUnicodeTable[((code >> 8) - 0x81) * 191 + ((code & 0xFF) - 0x40)];
}

bool IsTrail(unsigned t) { return t >= 0x40 && t <= 0xFE && t != 0x7F; }

template <typename F>
void ForEachCell(F f) {
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead)
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) f(lead * 256 + trail, Cell(lead * 256 + trail));
}

// Code point -> GBK code, built from the forward table only; the first cell
// of a code point wins (A1A1 before A3A0 for U+3000).
const std::unordered_map<uint32_t, uint16_t>& ForwardMap() {
  static const std::unordered_map<uint32_t, uint16_t> map = [] {
    std::unordered_map<uint32_t, uint16_t> m;
    ForEachCell([&](unsigned code, uint16_t u) {
      if (u != 0xFFFD && (code & 0xFF) != 0x7F) m.emplace(u, static_cast<uint16_t>(code));
    });
    return m;
  }();
  return map;
}

// UTF-8 in the original definition (up to six bytes, no checks).
std::string Utf8Of(uint32_t cp) {
  std::string s;
  if (cp < 0x80) {
    s += static_cast<char>(cp);
    return s;
  }
  int len = cp < 0x800 ? 2 : cp < 0x10000 ? 3 : cp < 0x200000 ? 4 : cp < 0x4000000 ? 5 : 6;
  static const unsigned char marker[7] = {0, 0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
  s.resize(len);
  for (int i = len - 1; i > 0; --i) {
    s[i] = static_cast<char>(0x80 | (cp & 0x3F));
    cp >>= 6;
  }
  s[0] = static_cast<char>(marker[len] | cp);
  return s;
}

// A non-null pointer for an empty input too (a null one means "no input").
const char* Ptr(const Bytes& b) {
  static const char nothing = '\0';
  return b.empty() ? &nothing : b.data();
}

const uint16_t* Ptr(const Units& u) {
  static const uint16_t nothing = 0;
  return u.empty() ? &nothing : u.data();
}

Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::string CharRef(uint32_t cp) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "&#x%04X;", static_cast<unsigned>(cp));
  return buf;
}

// ---------------------------------------------------------------------------
// References

struct GbkToken {
  bool valid;
  uint16_t u;
};

// Whole-input GBK decoding; a final lone lead byte ends it.
std::vector<GbkToken> RefTokenizeGbk(const Bytes& src) {
  std::vector<GbkToken> out;
  const size_t n = src.size();
  for (size_t i = 0; i < n;) {
    const unsigned b = static_cast<unsigned char>(src[i]);
    if (b <= 0x80) {
      out.push_back({true, static_cast<uint16_t>(b == 0x80 ? 0x20AC : b)});
      ++i;
    } else if (b == 0xFF) {
      out.push_back({false, 0});
      ++i;
    } else if (i + 1 == n) {
      break;
    } else if (IsTrail(static_cast<unsigned char>(src[i + 1]))) {
      out.push_back({true, Cell(b * 256 + static_cast<unsigned char>(src[i + 1]))});
      i += 2;
    } else {
      out.push_back({false, 0});
      ++i;
    }
  }
  return out;
}

struct Result {
  int ret;
  std::string out;  // bytes (or units widened) before the terminator
  bool operator==(const Result& o) const { return ret == o.ret && (ret < 0 || out == o.out); }
};

std::ostream& operator<<(std::ostream& os, const Result& r) {
  os << "ret=" << r.ret << " out=";
  for (unsigned char c : r.out) os << std::hex << static_cast<int>(c) << ' ';
  return os << std::dec;
}

struct UnitResult {
  int ret;
  Units out;
};

UnitResult RefGbkToUnicode(const Bytes& src, uint32_t dst_size, int flags) {
  UnitResult r{0, {}};
  if (dst_size == 0 || src.empty()) return r;
  for (const GbkToken& t : RefTokenizeGbk(src)) {
    if (r.out.size() == dst_size) break;
    if (t.valid) {
      r.out.push_back(t.u);
    } else if (flags & 2) {
      return {-1, {}};
    } else if (flags & 1) {
      r.out.push_back(0xFFFD);
    }
  }
  r.ret = static_cast<int>(r.out.size());
  return r;
}

Result RefGbkToUtf8(const Bytes& src, uint32_t dst_size, int flags) {
  if (dst_size == 0) return {0, ""};
  if (dst_size < (src.size() / 2) * 3 + 1) return {-1, ""};
  std::string out;
  for (const GbkToken& t : RefTokenizeGbk(src)) {
    std::string piece;
    if (t.valid) {
      if (t.u != 0) piece = Utf8Of(t.u);
    } else if (flags & 2) {
      return {-1, ""};
    } else if (flags != 0) {
      piece = Utf8Of(0xFFFD);
    }
    if (out.size() + piece.size() >= dst_size) break;
    out += piece;
  }
  return {static_cast<int>(out.size()), out};
}

// Decodes UTF-8 the lenient way of utf8_to_gbk: bytes that cannot start a
// sequence are dropped, the bytes after a lead byte are taken unchecked, a
// sequence cut by the end is dropped.
std::vector<uint32_t> RefDecodeUtf8(const Bytes& src) {
  std::vector<uint32_t> out;
  const size_t n = src.size();
  for (size_t i = 0; i < n;) {
    const unsigned b = static_cast<unsigned char>(src[i]);
    const size_t k = b < 0x80 ? 1 : b < 0xC0 ? 0 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF8 ? 4
                   : b < 0xFC ? 5 : b < 0xFE ? 6 : 0;
    if (k == 0) {
      ++i;
      continue;
    }
    if (i + k > n) break;
    uint32_t cp = k == 1 ? b : (b & (0x7Fu >> k));
    for (size_t j = 1; j < k; ++j) cp = (cp << 6) | (static_cast<unsigned char>(src[i + j]) & 0x3F);
    out.push_back(cp);
    i += k;
  }
  return out;
}

Result RefUtf8ToGbk(const Bytes& src, uint32_t dst_size, int flags) {
  if (dst_size == 0) return {0, ""};
  if (dst_size < src.size()) return {-1, ""};
  std::string out;
  for (uint32_t cp : RefDecodeUtf8(src)) {
    if (out.size() + 1 >= dst_size) break;
    if (cp < 0x80) {
      out += static_cast<char>(cp);
      continue;
    }
    if (out.size() + 2 >= dst_size) break;
    auto it = ForwardMap().find(cp);
    if (it != ForwardMap().end()) {
      out += static_cast<char>(it->second >> 8);
      out += static_cast<char>(it->second & 0xFF);
    } else if (cp == 0x20AC) {
      out += '\x80';
    } else if (flags & 4) {
      const std::string ref = CharRef(cp);
      if (out.size() + ref.size() >= dst_size) break;
      out += ref;
    } else if (flags & 2) {
      return {-1, ""};
    }
  }
  return {static_cast<int>(out.size()), out};
}

Result RefUnicodeToGbk(const Units& src, uint32_t dst_size, int flags, uint16_t rc) {
  if (dst_size == 0) return {0, ""};
  std::string out;
  for (uint16_t u : src) {
    if (out.size() + 1 >= dst_size) break;
    if (u < 0x80) {
      out += static_cast<char>(u);
      continue;
    }
    if (out.size() + 2 >= dst_size) break;
    auto it = ForwardMap().find(u);
    if (it != ForwardMap().end()) {
      out += static_cast<char>(it->second >> 8);
      out += static_cast<char>(it->second & 0xFF);
    } else if (u == 0x20AC) {
      out += '\x80';
    } else if (flags == 2) {
      return {-1, ""};
    } else if (flags == 4) {
      if (out.size() + 8 < dst_size) out += CharRef(u);
    } else if (flags == 1) {
      if (rc >= 256) out += static_cast<char>(rc >> 8);
      out += static_cast<char>(rc & 0xFF);
    }
  }
  return {static_cast<int>(out.size()), out};
}

// is_utf8 restated over a std::string that holds the bytes before the NUL.
int RefIsUtf8(const std::string& s, uint32_t len, bool lenient) {
  if (s.empty()) return 0;
  long ascii = 0, pseudo = 0;
  int state = 0;
  size_t i = 0, cut_at = 0;
  while (i < s.size()) {
    const unsigned b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      ++ascii;
      ++i;
      continue;
    }
    size_t need = (b >= 0xC2 && b <= 0xDF) ? 1 : (b >= 0xE0 && b <= 0xEF) ? 2 : (b >= 0xF0 && b <= 0xF7) ? 3 : 0;
    if (need == 0) return 0;
    size_t got = 0;
    while (got < need && i + 1 + got < s.size() && (static_cast<unsigned char>(s[i + 1 + got]) & 0xC0) == 0x80) ++got;
    if (got < need) {
      const bool at_end = i + 1 + got == s.size();
      if (!lenient || !at_end) return 0;
      state = 2;
      cut_at = i;
      break;
    }
    if (need == 1 && b <= 0xD1) {
      const uint32_t cp = ((b & 0x1F) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3F);
      pseudo += gPsedoUtf8[cp - 0x80] ? 1 : 0;
    }
    state = 1;
    i += need + 1;
  }
  const long non_ascii = static_cast<long>(len) - ascii;
  if (pseudo > 0 && pseudo * 2 == non_ascii) return 0;
  if (state == 2) {
    const bool cut_near_end = non_ascii > 4 && static_cast<long>(len) <= static_cast<long>(cut_at) + 4;
    return cut_near_end ? static_cast<int>(cut_at) : 0;
  }
  return state == 1 ? static_cast<int>(i) : 0;
}

// ---------------------------------------------------------------------------
// Callers with exact-size buffers

UnitResult CallGbkToUnicode(const Bytes& src, uint32_t dst_size, int flags) {
  Units dst(dst_size, 0xBEEF);
  const int r = gbk_to_unicode(Ptr(src), static_cast<uint32_t>(src.size()), dst.data(), dst_size, flags);
  UnitResult out{r, {}};
  if (r > 0) out.out.assign(dst.begin(), dst.begin() + r);
  return out;
}

// Checks the terminator and returns the bytes before it.
template <typename F>
Result CallTerminated(uint32_t dst_size, F convert) {
  Bytes dst(dst_size, '\x5A');
  const int r = convert(dst.data(), dst_size);
  Result out{r, ""};
  if (r >= 0 && dst_size > 0) {
    EXPECT_LT(static_cast<uint32_t>(r), dst_size);
    if (static_cast<uint32_t>(r) < dst_size) {
      EXPECT_EQ(dst[r], '\0') << "no terminator";
      out.out.assign(dst.begin(), dst.begin() + r);
    }
  }
  if (dst_size == 0) {
    EXPECT_EQ(r, 0);
  }
  return out;
}

Result CallGbkToUtf8(const Bytes& src, uint32_t dst_size, int flags) {
  return CallTerminated(dst_size, [&](char* d, uint32_t n) {
    return gbk_to_utf8(Ptr(src), static_cast<uint32_t>(src.size()), d, n, flags);
  });
}

Result CallUtf8ToGbk(const Bytes& src, uint32_t dst_size, int flags) {
  return CallTerminated(dst_size, [&](char* d, uint32_t n) {
    return utf8_to_gbk(Ptr(src), static_cast<uint32_t>(src.size()), d, n, flags);
  });
}

Result CallUnicodeToGbk(const Units& src, uint32_t dst_size, int flags, uint16_t rc) {
  return CallTerminated(dst_size, [&](char* d, uint32_t n) {
    return unicode_to_gbk(Ptr(src), static_cast<uint32_t>(src.size()), d, n, flags, rc);
  });
}

std::string S(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

// ---------------------------------------------------------------------------
// Tables

TEST(UconvTables, ForwardTableCounts) {
  size_t mapped = 0;
  std::set<uint16_t> distinct;
  ForEachCell([&](unsigned, uint16_t u) {
    if (u != 0xFFFD) {
      ++mapped;
      distinct.insert(u);
    }
  });
  EXPECT_EQ(mapped, 23928u);
  EXPECT_EQ(distinct.size(), 23927u);
}

TEST(UconvTables, ForwardTableAdjustedCells) {
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) EXPECT_EQ(Cell(lead * 256 + 0x7F), 0xFFFD) << std::hex << lead;
  for (unsigned code : {0xA2ABu, 0xA2ACu, 0xA2ADu, 0xA2AEu, 0xA2AFu, 0xA2B0u, 0xA2E3u, 0xA2E4u, 0xA2EFu,
                        0xA2F0u, 0xA2FDu, 0xA2FEu})
    EXPECT_EQ(Cell(code), 0xFFFD) << std::hex << code;
  EXPECT_EQ(Cell(0xA3A0), 0x3000);
  EXPECT_EQ(Cell(0xA1A1), 0x3000);
}

TEST(UconvTables, ForwardTableFollowsGb18030Of2000) {
  // Cells where later editions (and current C libraries) differ: the 2000
  // edition keeps them in the Private Use Area.
  const std::pair<unsigned, uint16_t> cells[] = {
      {0xA6D9, 0xE78D}, {0xA6DA, 0xE78E}, {0xA6DB, 0xE78F}, {0xA6DC, 0xE790}, {0xA6DD, 0xE791},
      {0xA6DE, 0xE792}, {0xA6DF, 0xE793}, {0xA6EC, 0xE794}, {0xA6ED, 0xE795}, {0xA6F3, 0xE796},
      {0xA8BC, 0xE7C7}, {0xFE51, 0xE816}, {0xFE52, 0xE817}, {0xFE53, 0xE818}, {0xFE59, 0xE81E},
      {0xFE61, 0xE826}, {0xFE66, 0xE82B}, {0xFE67, 0xE82C}, {0xFE6C, 0xE831}, {0xFE6D, 0xE832},
      {0xFE76, 0xE83B}, {0xFE7E, 0xE843}, {0xFE90, 0xE854}, {0xFE91, 0xE855}, {0xFEA0, 0xE864},
  };
  for (const auto& c : cells) EXPECT_EQ(Cell(c.first), c.second) << std::hex << c.first;
  EXPECT_EQ(Cell(0xA8BF), 0x01F9);
}

TEST(UconvTables, UserDefinedAreasAndCommonCharacters) {
  const std::pair<unsigned, uint16_t> cells[] = {
      {0xAAA1, 0xE000}, {0xAFFE, 0xE233}, {0xF8A1, 0xE234}, {0xFEFE, 0xE4C5}, {0xA140, 0xE4C6},
      {0xA7A0, 0xE765}, {0xD6D0, 0x4E2D}, {0xD2BB, 0x4E00}, {0xB0A1, 0x554A}, {0xB8F6, 0x4E2A},
      {0x8140, 0x4E02}, {0xA1A4, 0x00B7}, {0xA3C1, 0xFF21}, {0xFE50, 0x2E81},
  };
  for (const auto& c : cells) EXPECT_EQ(Cell(c.first), c.second) << std::hex << c.first;
}

TEST(UconvTables, InverseTableIsTheInverseOfTheForwardTable) {
  size_t non_zero = 0;
  for (uint32_t u = 0; u < 0x10000; ++u) {
    const uint16_t g = gUnicodeToGBKTable[u];
    if (g == 0) continue;
    ++non_zero;
    const unsigned lead = g >> 8, trail = g & 0xFF;
    ASSERT_TRUE(lead >= 0x81 && lead <= 0xFE && IsTrail(trail)) << std::hex << u;
    EXPECT_EQ(Cell(g), u) << std::hex << u;
  }
  EXPECT_EQ(non_zero, 23927u);
  ForEachCell([&](unsigned code, uint16_t u) {
    if (u == 0xFFFD) return;
    EXPECT_EQ(gUnicodeToGBKTable[u], code == 0xA3A0 ? 0xA1A1 : code) << std::hex << code;
  });
  for (uint32_t u = 0; u < 0x80; ++u) EXPECT_EQ(gUnicodeToGBKTable[u], 0) << u;
  EXPECT_EQ(gUnicodeToGBKTable[0x20AC], 0);
  EXPECT_EQ(gUnicodeToGBKTable[0x3000], 0xA1A1);
  EXPECT_EQ(gUnicodeToGBKTable[0xE5E5], 0);  // what A3A0 held before it became U+3000
  EXPECT_EQ(gUnicodeToGBKTable[0xFFFD], 0);
}

TEST(UconvTables, PseudoUtf8Flags) {
  const std::pair<uint32_t, uint32_t> ranges[] = {
      {0x00A4, 0x00A4}, {0x00A7, 0x00A8}, {0x00B0, 0x00B1}, {0x00B7, 0x00B7}, {0x00D7, 0x00D7},
      {0x00E0, 0x00E1}, {0x00E8, 0x00EA}, {0x00EC, 0x00ED}, {0x00F2, 0x00F3}, {0x00F7, 0x00F7},
      {0x00F9, 0x00FA}, {0x00FC, 0x00FC}, {0x0101, 0x0101}, {0x0113, 0x0113}, {0x011B, 0x011B},
      {0x012B, 0x012B}, {0x0144, 0x0144}, {0x0148, 0x0148}, {0x014D, 0x014D}, {0x016B, 0x016B},
      {0x01CE, 0x01CE}, {0x01D0, 0x01D0}, {0x01D2, 0x01D2}, {0x01D4, 0x01D4}, {0x01D6, 0x01D6},
      {0x01D8, 0x01D8}, {0x01DA, 0x01DA}, {0x01DC, 0x01DC}, {0x0251, 0x0251}, {0x0261, 0x0261},
      {0x02C7, 0x02C7}, {0x02C9, 0x02CB}, {0x02D9, 0x02D9}, {0x0391, 0x03A1}, {0x03A3, 0x03A9},
      {0x03B1, 0x03C1}, {0x03C3, 0x03C9}, {0x0401, 0x0401}, {0x0410, 0x044F}, {0x0451, 0x0451},
  };
  std::set<uint32_t> expected;
  for (const auto& r : ranges)
    for (uint32_t cp = r.first; cp <= r.second; ++cp) expected.insert(cp);
  ASSERT_EQ(expected.size(), 157u);
  size_t ones = 0;
  for (uint32_t i = 0; i < 1024; ++i) {
    const uint32_t cp = 0x80 + i;
    ASSERT_LE(gPsedoUtf8[i], 1) << std::hex << cp;
    ones += gPsedoUtf8[i];
    EXPECT_EQ(gPsedoUtf8[i] == 1, expected.count(cp) == 1) << std::hex << cp;
    // The flags are the code points GBK encodes, but for U+01F9 (A8BF).
    EXPECT_EQ(gPsedoUtf8[i] == 1, gUnicodeToGBKTable[cp] != 0 && cp != 0x01F9) << std::hex << cp;
  }
  EXPECT_EQ(ones, 157u);
}

// ---------------------------------------------------------------------------
// gbk_to_unicode

TEST(GbkToUnicode, DecodesAsciiEuroAndPairs) {
  const UnitResult r = CallGbkToUnicode(B({0x41, 0x80, 0xD6, 0xD0}), 8, 0);
  EXPECT_EQ(r.ret, 3);
  EXPECT_EQ(r.out, (Units{0x41, 0x20AC, 0x4E2D}));
  // NUL bytes are ordinary characters here.
  EXPECT_EQ(CallGbkToUnicode(B({0x41, 0x00, 0x42}), 3, 0).out, (Units{0x41, 0, 0x42}));
}

TEST(GbkToUnicode, FinalLoneLeadByteIsDropped) {
  for (int flags : {0, 1, 2}) {
    const UnitResult r = CallGbkToUnicode(B({0x41, 0xD6}), 4, flags);
    EXPECT_EQ(r.ret, 1);
    EXPECT_EQ(r.out, (Units{0x41}));
  }
  EXPECT_EQ(CallGbkToUnicode(B({0xD6}), 4, 0).ret, 0);
}

TEST(GbkToUnicode, InvalidBytesFollowTheFlags) {
  // Only the lead byte is invalid; the 0x7F after it is read as ASCII.
  EXPECT_EQ(CallGbkToUnicode(B({0x81, 0x7F}), 4, UCONV_INVCHAR_REPLACE).out, (Units{0xFFFD, 0x7F}));
  EXPECT_EQ(CallGbkToUnicode(B({0x81, 0x7F}), 4, UCONV_INVCHAR_IGNORE).out, (Units{0x7F}));
  EXPECT_EQ(CallGbkToUnicode(B({0x81, 0x7F}), 4, UCONV_INVCHAR_ERROR).ret, -1);
  EXPECT_EQ(CallGbkToUnicode(B({0xD6, 0x30}), 4, 0).out, (Units{0x30}));
  EXPECT_EQ(CallGbkToUnicode(B({0x41, 0xFF, 0x42}), 4, UCONV_INVCHAR_REPLACE).out, (Units{0x41, 0xFFFD, 0x42}));
  EXPECT_EQ(CallGbkToUnicode(B({0xFF}), 4, UCONV_INVCHAR_ERROR | UCONV_INVCHAR_REPLACE).ret, -1);
  // A final 0xFF is an invalid byte, not a lone lead byte.
  EXPECT_EQ(CallGbkToUnicode(B({0x41, 0xFF}), 4, UCONV_INVCHAR_ERROR).ret, -1);
}

TEST(GbkToUnicode, EmptyCellGivesReplacementUnderEveryFlag) {
  for (int flags : {0, 1, 2, 4})
    EXPECT_EQ(CallGbkToUnicode(B({0xA2, 0xE3}), 2, flags).out, (Units{0xFFFD})) << flags;
}

TEST(GbkToUnicode, StopsWhenTheOutputIsFull) {
  const UnitResult r = CallGbkToUnicode(B({0xD6, 0xD0, 0xCE, 0xC4, 0xFF}), 2, UCONV_INVCHAR_ERROR);
  EXPECT_EQ(r.ret, 2);  // full before the bad byte is reached
  EXPECT_EQ(r.out, (Units{0x4E2D, 0x6587}));
}

TEST(GbkToUnicode, NullAndEmptyArguments) {
  uint16_t dst[2] = {7, 7};
  EXPECT_EQ(gbk_to_unicode(nullptr, 3, dst, 2, 0), 0);
  EXPECT_EQ(gbk_to_unicode("ab", 2, nullptr, 2, 0), 0);
  EXPECT_EQ(gbk_to_unicode("ab", 2, dst, 0, 0), 0);
  EXPECT_EQ(gbk_to_unicode("ab", 0, dst, 2, 0), 0);
  EXPECT_EQ(dst[0], 7);
}

// ---------------------------------------------------------------------------
// unicode_to_gbk

TEST(UnicodeToGbk, TwoByteCharacterNeedsRoomForTheTerminator) {
  const Units zhong = {0x4E2D};
  EXPECT_EQ(CallUnicodeToGbk(zhong, 2, 0, 0), (Result{0, ""}));
  EXPECT_EQ(CallUnicodeToGbk(zhong, 3, 0, 0), (Result{2, S({0xD6, 0xD0})}));
  EXPECT_EQ(CallUnicodeToGbk({0x41, 0x42}, 2, 0, 0), (Result{1, "A"}));
}

TEST(UnicodeToGbk, UnmappableCharacterByFlagValue) {
  const Units thai = {0x0E01};
  EXPECT_EQ(CallUnicodeToGbk(thai, 16, UCONV_INVCHAR_ENTITES, 0), (Result{8, "&#x0E01;"}));
  EXPECT_EQ(CallUnicodeToGbk(thai, 16, UCONV_INVCHAR_REPLACE, 0x3F), (Result{1, "?"}));
  EXPECT_EQ(CallUnicodeToGbk(thai, 16, UCONV_INVCHAR_REPLACE, 0xA1F5), (Result{2, S({0xA1, 0xF5})}));
  EXPECT_EQ(CallUnicodeToGbk(thai, 16, UCONV_INVCHAR_ERROR, 0).ret, -1);
  EXPECT_EQ(CallUnicodeToGbk(thai, 16, UCONV_INVCHAR_IGNORE, 0x3F), (Result{0, ""}));
  // The value is compared as a whole: combinations skip the character.
  EXPECT_EQ(CallUnicodeToGbk({0x0E01, 0x41}, 16, UCONV_INVCHAR_ERROR | UCONV_INVCHAR_REPLACE, 0x3F),
            (Result{1, "A"}));
  EXPECT_EQ(CallUnicodeToGbk({0xD800, 0x41}, 16, UCONV_INVCHAR_ERROR | UCONV_INVCHAR_ENTITES, 0),
            (Result{1, "A"}));
}

TEST(UnicodeToGbk, CharacterReferenceThatDoesNotFitIsSkipped) {
  // 8 bytes need n + 8 < dst_size; the walk goes on with the next unit.
  EXPECT_EQ(CallUnicodeToGbk({0x0E01, 0x41}, 8, UCONV_INVCHAR_ENTITES, 0), (Result{1, "A"}));
  EXPECT_EQ(CallUnicodeToGbk({0x0E01, 0x41}, 9, UCONV_INVCHAR_ENTITES, 0), (Result{8, "&#x0E01;"}));
  EXPECT_EQ(CallUnicodeToGbk({0x0E01, 0x41}, 10, UCONV_INVCHAR_ENTITES, 0), (Result{9, "&#x0E01;A"}));
}

TEST(UnicodeToGbk, EuroAndIdeographicSpace) {
  EXPECT_EQ(CallUnicodeToGbk({0x20AC}, 3, 0, 0), (Result{1, S({0x80})}));
  EXPECT_EQ(CallUnicodeToGbk({0x3000}, 3, 0, 0), (Result{2, S({0xA1, 0xA1})}));
}

TEST(UnicodeToGbk, EmptyInputAndOneByteBufferWriteOnlyTheTerminator) {
  char dst[4] = {'x', 'x', 'x', 'x'};
  const uint16_t src[1] = {0x41};
  EXPECT_EQ(unicode_to_gbk(src, 0, dst, 4, 0, 0), 0);
  EXPECT_EQ(dst[0], '\0');
  EXPECT_EQ(dst[1], 'x');
  dst[0] = 'x';
  EXPECT_EQ(unicode_to_gbk(src, 1, dst, 1, 0, 0), 0);
  EXPECT_EQ(dst[0], '\0');
  dst[0] = 'x';
  EXPECT_EQ(unicode_to_gbk(src, 1, dst, 0, 0, 0), 0);
  EXPECT_EQ(unicode_to_gbk(nullptr, 1, dst, 4, 0, 0), 0);
  EXPECT_EQ(dst[0], 'x');
}

// ---------------------------------------------------------------------------
// gbk_to_utf8

TEST(GbkToUtf8, RoomPrecondition) {
  EXPECT_EQ(CallGbkToUtf8(B({0xD6, 0xD0}), 4, 0), (Result{3, S({0xE4, 0xB8, 0xAD})}));
  EXPECT_EQ(CallGbkToUtf8(B({0xD6, 0xD0}), 3, 0).ret, -1);
  // -1 writes nothing at all.
  Bytes dst(3, 'x');
  EXPECT_EQ(gbk_to_utf8("\xD6\xD0", 2, dst.data(), 3, 0), -1);
  EXPECT_EQ(dst, Bytes(3, 'x'));
}

TEST(GbkToUtf8, RoomPreconditionDoesNotOverflow) {
  // (src_len / 2) * 3 + 1 exceeds 32 bits here; nothing of src may be read.
  const Bytes src = B({0x41, 0x42, 0x43, 0x44});
  Bytes dst(4);
  EXPECT_EQ(gbk_to_utf8(src.data(), 0xAAAAAAACu, dst.data(), 4, 0), -1);
  EXPECT_EQ(gbk_to_utf8(src.data(), 0xFFFFFFFFu, dst.data(), 4, 0), -1);
}

TEST(GbkToUtf8, AdjustedCells) {
  EXPECT_EQ(CallGbkToUtf8(B({0xA3, 0xA0}), 4, 0).out, S({0xE3, 0x80, 0x80}));
  EXPECT_EQ(CallGbkToUtf8(B({0xA2, 0xE3}), 4, 0).out, S({0xEF, 0xBF, 0xBD}));
  EXPECT_EQ(CallGbkToUtf8(B({0x80}), 4, 0).out, S({0xE2, 0x82, 0xAC}));
}

TEST(GbkToUtf8, NulBytesAreDroppedAndFinalLeadByteEndsTheText) {
  EXPECT_EQ(CallGbkToUtf8(B({0x41, 0x00, 0x42}), 4, 0), (Result{2, "AB"}));
  EXPECT_EQ(CallGbkToUtf8(B({0x41, 0xD6}), 4, 0), (Result{1, "A"}));
  EXPECT_EQ(CallGbkToUtf8(B({0x00, 0x00}), 4, 0), (Result{0, ""}));
  EXPECT_EQ(CallGbkToUtf8(Bytes{}, 1, 0), (Result{0, ""}));
}

TEST(GbkToUtf8, InvalidBytesFollowTheFlags) {
  const Bytes src = B({0x41, 0xFF, 0x81, 0x7F});
  EXPECT_EQ(CallGbkToUtf8(src, 16, UCONV_INVCHAR_IGNORE), (Result{2, "A\x7F"}));
  const std::string replaced = "A" + S({0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD}) + "\x7F";
  EXPECT_EQ(CallGbkToUtf8(src, 16, UCONV_INVCHAR_REPLACE), (Result{8, replaced}));
  EXPECT_EQ(CallGbkToUtf8(src, 16, UCONV_INVCHAR_ENTITES), (Result{8, replaced}));
  EXPECT_EQ(CallGbkToUtf8(src, 16, UCONV_INVCHAR_ERROR).ret, -1);
  EXPECT_EQ(CallGbkToUtf8(src, 16, UCONV_INVCHAR_ERROR | UCONV_INVCHAR_REPLACE).ret, -1);
}

TEST(GbkToUtf8, SingleByteCharactersCanOutgrowThePrecondition) {
  // Four euro signs pass the check with 7 bytes but need 12: the text is cut
  // at a character boundary.
  EXPECT_EQ(CallGbkToUtf8(B({0x80, 0x80, 0x80, 0x80}), 7, 0).ret, 6);
  EXPECT_EQ(CallGbkToUtf8(B({0x41, 0x42, 0x43}), 4, 0), (Result{3, "ABC"}));
}

// ---------------------------------------------------------------------------
// utf8_to_gbk

TEST(Utf8ToGbk, EuroAndCharactersOutsideGbk) {
  EXPECT_EQ(CallUtf8ToGbk(B({0xE2, 0x82, 0xAC}), 3, 0), (Result{1, S({0x80})}));
  EXPECT_EQ(CallUtf8ToGbk(B({0xF0, 0x9F, 0x98, 0x80}), 4, UCONV_INVCHAR_IGNORE), (Result{0, ""}));
  EXPECT_EQ(CallUtf8ToGbk(B({0xF0, 0x9F, 0x98, 0x80}), 4, UCONV_INVCHAR_ERROR).ret, -1);
  EXPECT_EQ(CallUtf8ToGbk(B({0xE4, 0xB8, 0xAD, 0x41}), 4, 0), (Result{3, S({0xD6, 0xD0, 0x41})}));
  EXPECT_EQ(CallUtf8ToGbk(B({0xE3, 0x80, 0x80}), 3, 0), (Result{2, S({0xA1, 0xA1})}));
}

TEST(Utf8ToGbk, StrayBytesAreDroppedUnderEveryFlag) {
  for (int flags : {0, 1, 2, 4, 6}) {
    EXPECT_EQ(CallUtf8ToGbk(B({0x41, 0x80, 0xBF, 0x42}), 4, flags), (Result{2, "AB"})) << flags;
    EXPECT_EQ(CallUtf8ToGbk(B({0xFE, 0xFF, 0x43}), 3, flags), (Result{1, "C"})) << flags;
    // A truncated last sequence too.
    EXPECT_EQ(CallUtf8ToGbk(B({0x41, 0xE4, 0xB8}), 3, flags), (Result{1, "A"})) << flags;
  }
}

TEST(Utf8ToGbk, RoomPrecondition) {
  // Three UTF-8 bytes become two GBK bytes, but dst_size < src_len fails.
  Bytes dst(2, 'x');
  EXPECT_EQ(utf8_to_gbk("\xE4\xB8\xAD", 3, dst.data(), 2, 0), -1);
  EXPECT_EQ(dst, Bytes(2, 'x'));
  // Nothing of src is read then.
  EXPECT_EQ(utf8_to_gbk("a", 0xFFFFFFFFu, dst.data(), 2, 0), -1);
}

TEST(Utf8ToGbk, LenientDecoding) {
  // Overlong NUL gives a NUL byte inside the output.
  EXPECT_EQ(CallUtf8ToGbk(B({0xC0, 0x80, 0x41}), 3, 0), (Result{2, std::string("\0A", 2)}));
  // Overlong 'A' is an 'A'.
  EXPECT_EQ(CallUtf8ToGbk(B({0xC1, 0x81}), 2, 0), (Result{1, "A"}));
  // The bytes after a lead byte are taken whatever they are: "AB" vanishes
  // into the three-byte character.
  const Result r = CallUtf8ToGbk(B({0xE4, 0x41, 0x42}), 3, 0);
  EXPECT_EQ(r.out.find('A'), std::string::npos);
  EXPECT_EQ(r.out.find('B'), std::string::npos);
  // Surrogates and 5- or 6-byte forms are read as code points without a GBK character.
  EXPECT_EQ(CallUtf8ToGbk(B({0xED, 0xA0, 0x80, 0x41}), 10, UCONV_INVCHAR_ENTITES),
            (Result{9, "&#xD800;A"}));
  EXPECT_EQ(CallUtf8ToGbk(B({0xF8, 0x88, 0x80, 0x80, 0x80}), 5, 0), (Result{0, ""}));
  EXPECT_EQ(CallUtf8ToGbk(B({0xFC, 0x84, 0x80, 0x80, 0x80, 0x80}), 6, UCONV_INVCHAR_ERROR).ret, -1);
}

TEST(Utf8ToGbk, CharacterReferences) {
  const Bytes thai = ToBytes(Utf8Of(0x0E01) + Utf8Of(0x0E01));
  // Needs n + 8 < dst_size; if not, the walk ends.
  EXPECT_EQ(CallUtf8ToGbk(thai, 8, UCONV_INVCHAR_ENTITES), (Result{0, ""}));
  EXPECT_EQ(CallUtf8ToGbk(thai, 9, UCONV_INVCHAR_ENTITES), (Result{8, "&#x0E01;"}));
  EXPECT_EQ(CallUtf8ToGbk(thai, 17, UCONV_INVCHAR_ENTITES), (Result{16, "&#x0E01;&#x0E01;"}));
  // The entity bit wins over the error bit.
  EXPECT_EQ(CallUtf8ToGbk(thai, 9, UCONV_INVCHAR_ENTITES | UCONV_INVCHAR_ERROR), (Result{8, "&#x0E01;"}));
  // The replace bit has no meaning of its own here.
  EXPECT_EQ(CallUtf8ToGbk(thai, 9, UCONV_INVCHAR_REPLACE), (Result{0, ""}));
}

TEST(Utf8ToGbk, CharacterReferenceNamesTheWholeCodePoint) {
  // Above U+FFFF the reference gets the digits it needs, never a truncated
  // code point that would name another character.
  EXPECT_EQ(CallUtf8ToGbk(ToBytes(Utf8Of(0x1F600)), 16, UCONV_INVCHAR_ENTITES), (Result{9, "&#x1F600;"}));
  EXPECT_EQ(CallUtf8ToGbk(ToBytes(Utf8Of(0x1F600)), 9, UCONV_INVCHAR_ENTITES), (Result{0, ""}));
  EXPECT_EQ(CallUtf8ToGbk(ToBytes(Utf8Of(0x7FFFFFFF)), 16, UCONV_INVCHAR_ENTITES),
            (Result{12, "&#x7FFFFFFF;"}));
}

TEST(Utf8ToGbk, NullAndEmptyArguments) {
  char dst[2] = {'x', 'x'};
  EXPECT_EQ(utf8_to_gbk(nullptr, 1, dst, 2, 0), 0);
  EXPECT_EQ(utf8_to_gbk("a", 1, nullptr, 2, 0), 0);
  EXPECT_EQ(utf8_to_gbk("a", 1, dst, 0, 0), 0);
  EXPECT_EQ(dst[0], 'x');
  EXPECT_EQ(utf8_to_gbk("a", 0, dst, 2, 0), 0);
  EXPECT_EQ(dst[0], '\0');
}

// ---------------------------------------------------------------------------
// Round trips over the whole character set

TEST(UconvRoundTrip, EveryMappedCellThroughUtf8) {
  size_t checked = 0;
  ForEachCell([&](unsigned code, uint16_t u) {
    if (u == 0xFFFD || (code & 0xFF) == 0x7F) return;
    const Bytes gbk = B({static_cast<int>(code >> 8), static_cast<int>(code & 0xFF)});
    const Result utf8 = CallGbkToUtf8(gbk, 4, UCONV_INVCHAR_ERROR);
    ASSERT_EQ(utf8.out, Utf8Of(u)) << std::hex << code;
    const Result back = CallUtf8ToGbk(ToBytes(utf8.out), 3, UCONV_INVCHAR_ERROR);
    const unsigned expect = code == 0xA3A0 ? 0xA1A1 : code;
    ASSERT_EQ(back.out, S({static_cast<int>(expect >> 8), static_cast<int>(expect & 0xFF)})) << std::hex << code;
    ++checked;
  });
  EXPECT_EQ(checked, 23928u);
}

TEST(UconvRoundTrip, WholeCharacterSetInOneText) {
  Bytes gbk;
  ForEachCell([&](unsigned code, uint16_t u) {
    if (u == 0xFFFD || code == 0xA3A0) return;
    gbk.push_back(static_cast<char>(code >> 8));
    gbk.push_back(static_cast<char>(code & 0xFF));
  });
  gbk.push_back('\x80');
  gbk.push_back('z');
  const uint32_t n = static_cast<uint32_t>(gbk.size());

  Units units(n);
  const int nu = gbk_to_unicode(gbk.data(), n, units.data(), n, UCONV_INVCHAR_ERROR);
  ASSERT_EQ(nu, 23927 + 2);
  units.resize(nu);
  Bytes back(n + 1);
  ASSERT_EQ(unicode_to_gbk(units.data(), nu, back.data(), n + 1, UCONV_INVCHAR_ERROR, 0), static_cast<int>(n));
  back.pop_back();
  EXPECT_EQ(back, gbk);

  Bytes utf8((n / 2) * 3 + 1);
  const int nb = gbk_to_utf8(gbk.data(), n, utf8.data(), static_cast<uint32_t>(utf8.size()), UCONV_INVCHAR_ERROR);
  ASSERT_GT(nb, 0);
  utf8.resize(nb);
  Bytes again(nb);
  ASSERT_EQ(utf8_to_gbk(utf8.data(), nb, again.data(), nb, UCONV_INVCHAR_ERROR), static_cast<int>(n));
  again.resize(n);
  EXPECT_EQ(again, gbk);
}

TEST(UconvRoundTrip, EveryBmpCodePointMapsToItsOwnCell) {
  for (uint32_t cp = 0x80; cp < 0x10000; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const Bytes utf8 = ToBytes(Utf8Of(cp));
    const Result r = CallUtf8ToGbk(utf8, 4, UCONV_INVCHAR_IGNORE);
    if (cp == 0x20AC) {
      EXPECT_EQ(r.out, S({0x80}));
    } else if (r.ret == 2) {
      const unsigned code = (static_cast<unsigned char>(r.out[0]) << 8) | static_cast<unsigned char>(r.out[1]);
      ASSERT_EQ(Cell(code), cp) << std::hex << cp;
    } else {
      ASSERT_EQ(r.ret, 0) << std::hex << cp;
      ASSERT_EQ(ForwardMap().count(cp), 0u) << std::hex << cp;
    }
  }
}

// ---------------------------------------------------------------------------
// Detectors

int IsUtf8(const Bytes& b, uint32_t len, int lenient) { return is_utf8(Terminated(b).data(), len, lenient); }

TEST(IsUtf8, SpecimenTexts) {
  EXPECT_EQ(IsUtf8(Str("plain ascii"), 11, 0), 0);
  EXPECT_EQ(IsUtf8(B({0xC3, 0xA9}), 2, 0), 0);  // U+00E9 reads as GBK as well
  EXPECT_EQ(IsUtf8(B({0xC2, 0xA4}), 2, 0), 0);
  EXPECT_EQ(IsUtf8(B({0xC2, 0xA2}), 2, 0), 2);  // U+00A2: not a GBK character
  EXPECT_EQ(IsUtf8(B({0xC3, 0xA9, 0xC3, 0xA9}), 4, 0), 0);
  EXPECT_EQ(IsUtf8(B({0xC3, 0xA9, 0xE4, 0xB8, 0xAD}), 5, 0), 5);
  EXPECT_EQ(IsUtf8(B({0xE4, 0xB8, 0xAD}), 3, 0), 3);
  EXPECT_EQ(IsUtf8(B({0x61, 0xE4, 0xB8, 0xAD, 0x62}), 5, 1), 5);
  EXPECT_EQ(IsUtf8(B({0xF0, 0x9F, 0x98, 0x80}), 4, 0), 4);
  // Surrogates and overlong three-byte forms pass.
  EXPECT_EQ(IsUtf8(B({0xED, 0xA0, 0x80}), 3, 0), 3);
  EXPECT_EQ(IsUtf8(B({0xE0, 0x80, 0x80}), 3, 0), 3);
  // GBK text.
  EXPECT_EQ(IsUtf8(B({0xD6, 0xD0, 0xCE, 0xC4}), 4, 0), 0);
  EXPECT_EQ(IsUtf8(B({0xD6, 0xD0, 0xCE, 0xC4}), 4, 1), 0);
}

TEST(IsUtf8, InvalidLeadBytes) {
  for (int lead : {0x80, 0xBF, 0xC0, 0xC1, 0xF8, 0xFC, 0xFE, 0xFF})
    for (int lenient : {0, 1}) EXPECT_EQ(IsUtf8(B({0xE4, 0xB8, 0xAD, lead, 0x80, 0x80}), 6, lenient), 0) << lead;
}

TEST(IsUtf8, TruncatedLastCharacter) {
  const Bytes cut = B({0xE4, 0xB8, 0xAD, 0xE4, 0xB8, 0xAD, 0xE4, 0xB8});
  EXPECT_EQ(IsUtf8(cut, 8, 1), 6);
  EXPECT_EQ(IsUtf8(cut, 8, 0), 0);
  EXPECT_EQ(IsUtf8(B({0x61, 0x62, 0x63, 0x64, 0x65, 0xE4, 0xB8}), 7, 1), 0);
  // Only a cut within the last four bytes of `len` is tolerated.
  EXPECT_EQ(IsUtf8(cut, 10, 1), 6);
  EXPECT_EQ(IsUtf8(cut, 11, 1), 0);
  EXPECT_EQ(IsUtf8(B({0xE4, 0xB8, 0xAD, 0xE4, 0xB8, 0xAD, 0xF0, 0x9F, 0x98}), 9, 1), 6);
  // A non-continuation byte where one is needed fails in both modes.
  EXPECT_EQ(IsUtf8(B({0xE4, 0xB8, 0xAD, 0xE4, 0xB8, 0xAD, 0xE4, 0x41}), 8, 1), 0);
}

TEST(IsUtf8, NeverReadsPastTheTerminator) {
  // Exact-size buffers: a truncated sequence must stop at the NUL.
  for (const Bytes& b : {B({0xE4, 0x00}), B({0xF0, 0x9F, 0x00}), B({0xC3, 0x00}), B({0xF4, 0x00})}) {
    EXPECT_EQ(is_utf8(b.data(), 1000, 0), 0);
    EXPECT_EQ(is_utf8(b.data(), 1000, 1), 0);
  }
  EXPECT_EQ(is_utf8(nullptr, 3, 1), 0);
  EXPECT_EQ(is_utf8("", 0, 1), 0);
}

TEST(IsGbk, SpecimenTexts) {
  const std::pair<Bytes, int> cases[] = {
      {B({0xD6}), 1},       {B({0xD6, 0x30}), 0}, {B({0xFF}), 0},          {B({0xD6, 0xD0, 0x41}), 1},
      {B({0x80}), 1},       {B({0x81, 0x7F}), 0}, {B({0x41, 0xD6}), 1},    {B({0x81, 0x40, 0xFE, 0xFE}), 1},
      {B({0x41, 0xFF}), 0}, {Bytes{}, 0},
  };
  for (const auto& c : cases) {
    const Bytes t = Terminated(c.first);
    EXPECT_EQ(is_gbk(t.data()), c.second);
    EXPECT_EQ(uconv_is_gbk(t.data()), c.second);
  }
  EXPECT_EQ(is_gbk(nullptr), 0);
  EXPECT_EQ(uconv_is_gbk(nullptr), 0);
}

TEST(IsGbk, LengthLimitedCheck) {
  const Bytes t = Terminated(B({0xD6, 0xD0, 0xFF}));
  EXPECT_EQ(uconv_is_gbk_n(t.data(), 2), 1);
  EXPECT_EQ(uconv_is_gbk_n(t.data(), 3), 0);
  EXPECT_EQ(uconv_is_gbk_n(t.data(), 100), 0);  // stops at the NUL either way
  EXPECT_EQ(uconv_is_gbk_n(t.data(), 0), 1);
  EXPECT_EQ(uconv_is_gbk_n(t.data(), -5), 1);
  EXPECT_EQ(uconv_is_gbk_n(Terminated(B({0x41, 0x42})).data(), 100), 1);
  EXPECT_EQ(uconv_is_gbk_n(nullptr, 4), 0);
  EXPECT_EQ(uconv_is_gbk_n("", 4), 0);
  // A lead byte that is the last byte allowed is not followed beyond the
  // limit: the buffer below has no byte after it.
  const Bytes unterminated = B({0x41, 0xD6});
  EXPECT_EQ(uconv_is_gbk_n(unterminated.data(), 2), 1);
  const Bytes bad_trail = B({0xD6, 0x30});
  EXPECT_EQ(uconv_is_gbk_n(bad_trail.data(), 1), 1);
  EXPECT_EQ(uconv_is_gbk_n(bad_trail.data(), 2), 0);
}

// ---------------------------------------------------------------------------
// Random inputs against the references

class RandomText {
 public:
  explicit RandomText(uint32_t seed) : rng_(seed) {}

  uint32_t Below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng_); }

  Bytes Next() {
    Bytes out;
    const uint32_t pieces = Below(12);
    for (uint32_t p = 0; p < pieces; ++p) Append(&out);
    if (!out.empty() && Below(4) == 0) out.resize(Below(static_cast<uint32_t>(out.size())) + 1);  // odd cuts
    return out;
  }

  Units NextUnits() {
    Units out(Below(10));
    for (uint16_t& u : out) {
      switch (Below(5)) {
        case 0: u = static_cast<uint16_t>(Below(0x80)); break;
        case 1: u = MappedCodePoint(); break;
        case 2: u = static_cast<uint16_t>(0xD800 + Below(0x800)); break;
        case 3: u = Below(8) == 0 ? 0x20AC : static_cast<uint16_t>(0x0E00 + Below(0x80)); break;
        default: u = static_cast<uint16_t>(Below(0x10000)); break;
      }
    }
    return out;
  }

 private:
  void Push(Bytes* out, const std::string& s) { out->insert(out->end(), s.begin(), s.end()); }

  uint16_t MappedCodePoint() {
    for (;;) {
      const uint16_t u = gGBKToUnicodeTable[Below(UCONV_GBK_TABLE_SIZE)];
      if (u != 0xFFFD) return u;
    }
  }

  void Append(Bytes* out) {
    switch (Below(16)) {
      case 0: out->push_back(static_cast<char>(Below(0x80))); break;  // ASCII, NUL included
      case 1: out->push_back('\0'); break;
      case 2: {  // a GBK pair, valid or not
        out->push_back(static_cast<char>(0x81 + Below(0x7E)));
        out->push_back(static_cast<char>(Below(4) == 0 ? Below(256) : 0x40 + Below(0xBF)));
        break;
      }
      case 3: out->push_back(static_cast<char>(0x81 + Below(0x7E))); break;  // lone lead byte
      case 4: out->push_back(Below(2) ? '\x80' : '\xFF'); break;
      case 5: Push(out, Utf8Of(MappedCodePoint())); break;
      case 6: Push(out, Utf8Of(0x80 + Below(0x780))); break;    // two-byte forms
      case 7: Push(out, Utf8Of(0x800 + Below(0xF800))); break;  // three-byte forms, surrogates included
      case 8: Push(out, Utf8Of(0x10000 + Below(0x100000))); break;
      case 9: Push(out, Utf8Of(0x200000 + Below(0x7FE00000))); break;  // five and six bytes
      case 10: {  // overlong forms
        static const char* const forms[] = {"\xC0\x80", "\xC1\xBF", "\xE0\x80\x80", "\xE0\x81\x81",
                                            "\xF0\x80\x80\x80", "\xF8\x80\x80\x80\x80"};
        Push(out, forms[Below(6)]);
        break;
      }
      case 11: out->push_back(static_cast<char>(0x80 + Below(0x40))); break;  // continuation byte
      case 12: {  // a sequence cut short
        std::string s = Utf8Of(0x800 + Below(0x100000));
        s.resize(1 + Below(static_cast<uint32_t>(s.size() - 1)));
        Push(out, s);
        break;
      }
      case 13: Push(out, "\xE2\x82\xAC"); break;
      case 14: out->push_back(static_cast<char>(0xF8 + Below(8))); break;
      default: out->push_back(static_cast<char>(Below(256))); break;
    }
  }

  std::mt19937 rng_;
};

// Output sizes worth trying for an input of `n` bytes.
std::vector<uint32_t> SizesFor(RandomText& rnd, uint32_t n, uint32_t needed) {
  std::vector<uint32_t> sizes = {0, 1, 2, 3, n, n + 1, n + 2, needed, needed + 1, needed + 8};
  if (needed > 0) sizes.push_back(needed - 1);
  for (int k = 0; k < 4; ++k) sizes.push_back(rnd.Below(3 * n + 12));
  return sizes;
}

const int kFlagValues[] = {0, 1, 2, 3, 4, 5, 6, 7};

TEST(UconvRandom, GbkToUnicodeMatchesReference) {
  RandomText rnd(20240611);
  for (int iter = 0; iter < 3000; ++iter) {
    const Bytes src = rnd.Next();
    const uint32_t n = static_cast<uint32_t>(src.size());
    for (uint32_t size : SizesFor(rnd, n, n)) {
      for (int flags : kFlagValues) {
        const UnitResult got = CallGbkToUnicode(src, size, flags);
        const UnitResult want = RefGbkToUnicode(src, size, flags);
        ASSERT_EQ(got.ret, want.ret) << "iter " << iter << " size " << size << " flags " << flags;
        ASSERT_LE(got.ret, static_cast<int>(size));
        if (got.ret >= 0) {
          ASSERT_EQ(got.out, want.out) << "iter " << iter;
        }
      }
    }
  }
}

TEST(UconvRandom, GbkToUtf8MatchesReference) {
  RandomText rnd(77);
  for (int iter = 0; iter < 3000; ++iter) {
    const Bytes src = rnd.Next();
    const uint32_t n = static_cast<uint32_t>(src.size());
    for (uint32_t size : SizesFor(rnd, n, (n / 2) * 3 + 1)) {
      for (int flags : kFlagValues) {
        const Result got = CallGbkToUtf8(src, size, flags);
        ASSERT_EQ(got, RefGbkToUtf8(src, size, flags)) << "iter " << iter << " size " << size << " flags " << flags;
        // The output is valid UTF-8: checked by the strict detector, which
        // accepts any well-formed text of three-byte characters.
        if (got.ret > 0) {
          bool ascii_only = true;
          for (char c : got.out) ascii_only = ascii_only && static_cast<unsigned char>(c) < 0x80;
          if (!ascii_only) {
            const Bytes t = Terminated(ToBytes(got.out));
            ASSERT_NE(is_utf8(t.data(), 0, 0), 0) << "iter " << iter;
          }
        }
      }
    }
  }
}

TEST(UconvRandom, Utf8ToGbkMatchesReference) {
  RandomText rnd(4242);
  for (int iter = 0; iter < 3000; ++iter) {
    const Bytes src = rnd.Next();
    const uint32_t n = static_cast<uint32_t>(src.size());
    for (uint32_t size : SizesFor(rnd, n, n)) {
      for (int flags : kFlagValues) {
        const Result got = CallUtf8ToGbk(src, size, flags);
        ASSERT_EQ(got, RefUtf8ToGbk(src, size, flags)) << "iter " << iter << " size " << size << " flags " << flags;
        // The output is GBK: every character decodes without error.
        if (got.ret > 0) {
          const Bytes out = ToBytes(got.out);
          Units units(out.size());
          ASSERT_GE(gbk_to_unicode(out.data(), static_cast<uint32_t>(out.size()), units.data(),
                                   static_cast<uint32_t>(units.size()), UCONV_INVCHAR_ERROR),
                    0);
        }
      }
    }
  }
}

TEST(UconvRandom, UnicodeToGbkMatchesReference) {
  RandomText rnd(99);
  for (int iter = 0; iter < 3000; ++iter) {
    const Units src = rnd.NextUnits();
    const uint32_t n = static_cast<uint32_t>(src.size());
    const uint16_t rc = rnd.Below(2) ? 0x3F : 0xA1F5;
    for (uint32_t size : SizesFor(rnd, n, 2 * n + 1)) {
      for (int flags : kFlagValues) {
        const Result got = CallUnicodeToGbk(src, size, flags, rc);
        Result want = RefUnicodeToGbk(src, size, flags, rc);
        ASSERT_EQ(got, want) << "iter " << iter << " size " << size << " flags " << flags;
      }
    }
  }
}

TEST(UconvRandom, DetectorsMatchReferenceAndStayInBounds) {
  RandomText rnd(31337);
  for (int iter = 0; iter < 5000; ++iter) {
    const Bytes raw = rnd.Next();
    const Bytes t = Terminated(raw);
    const std::string before_nul(t.data());
    const uint32_t n = static_cast<uint32_t>(before_nul.size());
    for (uint32_t len : {n, n + rnd.Below(8), rnd.Below(n + 1), 0u}) {
      for (int lenient : {0, 1}) {
        const int got = is_utf8(t.data(), len, lenient);
        ASSERT_EQ(got, RefIsUtf8(before_nul, len, lenient)) << "iter " << iter << " len " << len;
        ASSERT_GE(got, 0);
        ASSERT_LE(static_cast<uint32_t>(got), n);
      }
    }
    // uconv_is_gbk_n over a prefix is is_gbk of that prefix; the raw bytes
    // are passed without a terminator to catch reads past `length`.
    const int whole = is_gbk(t.data());
    ASSERT_EQ(uconv_is_gbk(t.data()), whole);
    if (raw.empty()) continue;
    const uint32_t limit = rnd.Below(static_cast<uint32_t>(raw.size())) + 1;
    const Bytes prefix = Terminated(Bytes(raw.begin(), raw.begin() + limit));
    ASSERT_EQ(uconv_is_gbk_n(raw.data(), static_cast<int>(limit)), is_gbk(prefix.data())) << "iter " << iter;
  }
}

}  // namespace
