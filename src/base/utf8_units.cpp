// UTF-8 text read as GBK units (see utf8_units.h).
#include "base/utf8_units.h"

#include <cstring>

#include "base/uconv.h"

unicode_class_t unicode_class(uint32_t cp) {
  // The last range whose first code point is at most cp.
  uint32_t lo = 0, hi = lx_unicode::kClassRangeCount;
  while (hi - lo > 1) {
    const uint32_t mid = (lo + hi) / 2;
    if ((lx_unicode::kClassRanges[mid] & 0xFFFFFF) <= cp)
      lo = mid;
    else
      hi = mid;
  }
  return static_cast<unicode_class_t>(lx_unicode::kClassRanges[lo] >> 24);
}

namespace {

inline bool cont(unsigned char b) { return (b & 0xC0) == 0x80; }
inline size_t decode(const unsigned char* s, size_t len, uint32_t& cp) {
  const unsigned char b = s[0];
  if (b < 0x80) {
    cp = b;
    return 1;
  }
  if (b < 0xC2) return 0;
  if (b < 0xE0) {
    if (len < 2 || !cont(s[1])) return 0;
    cp = ((b & 0x1Fu) << 6) | (s[1] & 0x3Fu);
    return 2;
  }
  if (b < 0xF0) {
    if (len < 3 || !cont(s[1]) || !cont(s[2])) return 0;
    if (b == 0xE0 && s[1] < 0xA0) return 0;   // overlong
    if (b == 0xED && s[1] >= 0xA0) return 0;  // surrogate
    cp = ((b & 0x0Fu) << 12) | ((s[1] & 0x3Fu) << 6) | (s[2] & 0x3Fu);
    return 3;
  }
  if (b > 0xF4 || len < 4 || !cont(s[1]) || !cont(s[2]) || !cont(s[3])) return 0;
  if (b == 0xF0 && s[1] < 0x90) return 0;   // overlong
  if (b == 0xF4 && s[1] >= 0x90) return 0;  // above U+10FFFF
  cp = ((b & 0x07u) << 18) | ((s[1] & 0x3Fu) << 12) | ((s[2] & 0x3Fu) << 6) | (s[3] & 0x3Fu);
  return 4;
}

// Whether the character at s[0 .. n) (n > 0) may extend the unit before it.
inline bool may_extend(const unsigned char* s, size_t n) {
  const unsigned char lead = s[0];
  if (!((lx_unicode::kExtendLeadBits[lead >> 5] >> (lead & 31)) & 1)) return false;
  if ((lead & 0xF0) != 0xE0 || n < 2) return true;
  const unsigned p = ((lead & 0x0Fu) << 6) | (s[1] & 0x3Fu);
  return (lx_unicode::kExtendPairBits[p >> 5] >> (p & 31)) & 1;
}

// The GBK form of cp (1 or 2 bytes into out), or 0 when it has none.  The
// euro sign has none here: GBK's single byte 0x80 would pair with the next
// byte where the segmenter walks two-byte characters.
inline int gbk_form(uint32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp > 0xFFFF) return 0;
  const uint16_t g = gUnicodeToGBKTable[cp];
  if (g == 0) return 0;
  out[0] = static_cast<char>(g >> 8);
  out[1] = static_cast<char>(g & 0xFF);
  return 2;
}

// One decoded character: len 0 for a byte that starts no well-formed
// character; gbk_len 0 when GBK lacks it.
struct char_t {
  uint32_t cp;
  uint8_t len;
  uint8_t gbk_len;
  char gbk[2];
};

inline void read_char(const unsigned char* s, size_t n, char_t& c) {
  if (s[0] < 0x80) {
    c.cp = s[0];
    c.len = 1;
    c.gbk_len = 1;
    c.gbk[0] = static_cast<char>(s[0]);
    return;
  }
  c.len = static_cast<uint8_t>(decode(s, n, c.cp));
  c.gbk_len = c.len != 0 ? static_cast<uint8_t>(gbk_form(c.cp, c.gbk)) : 0;
}

// The class of a character that may extend a unit (well-formed, GBK lacks
// it), else UCLASS_SYMBOL, which extends nothing.
inline unicode_class_t extension_class(const char_t& c) {
  return (c.len == 0 || c.gbk_len != 0) ? UCLASS_SYMBOL : unicode_class(c.cp);
}

}  // namespace

size_t utf8_decode(const unsigned char* s, size_t len, uint32_t& cp) { return decode(s, len, cp); }

namespace {

// The bulk of Chinese text: a run of three-byte characters (leads E1 to EF
// but ED, so neither overlong nor surrogates) that have a GBK form and are
// not followed by anything that could extend them, written from src[i] on.
// Returns where the run ends; the character there (if any) is not one of
// them, or does not fit.
template <bool kAt>
inline size_t three_byte_run(const unsigned char* s, size_t i, size_t len, char* dst, size_t& o,
                             size_t cap, uint32_t* at) {
  while (len - i >= 3) {
    const uint32_t b = s[i];
    if (b - 0xE1u > 0xEFu - 0xE1u || b == 0xED) break;
    const uint32_t b1 = s[i + 1], b2 = s[i + 2];
    if (((b1 ^ 0x80u) | (b2 ^ 0x80u)) > 0x3Fu) break;  // both 80..BF
    const uint16_t g = gUnicodeToGBKTable[((b & 0x0Fu) << 12) | ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu)];
    if (g == 0 || cap - o < 2) break;
    if (len - i > 3 && may_extend(s + i + 3, len - i - 3)) break;
    if (kAt) at[o] = at[o + 1] = static_cast<uint32_t>(i);
    dst[o] = static_cast<char>(g >> 8);
    dst[o + 1] = static_cast<char>(g & 0xFF);
    o += 2;
    i += 3;
  }
  return i;
}

// The converter; kShortcuts takes ASCII and three_byte_run's characters
// the short way (the same units as the general path gives them).
template <bool kShortcuts>
size_t convert_units(const char* src, size_t len, char* dst, size_t cap, uint32_t* at,
                     size_t& special) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  size_t i = 0, o = 0;
  special = 0;
  char_t c, next;
  bool ahead = false;  // `next` holds the character at i
  while (i < len) {
    if (kShortcuts && !ahead) {
      // The common cases first: ASCII, and three-byte characters with a GBK
      // form, neither followed by anything that could extend it.
      const unsigned char b = s[i];
      if (b < 0x80 && (i + 1 == len || s[i + 1] < 0x80)) {
        if (o == cap) return SIZE_MAX;
        if (at != nullptr) at[o] = static_cast<uint32_t>(i);
        dst[o++] = static_cast<char>(b);
        ++i;
        continue;
      }
      if (b > 0xE0) {
        const size_t end = at != nullptr ? three_byte_run<true>(s, i, len, dst, o, cap, at)
                                         : three_byte_run<false>(s, i, len, dst, o, cap, at);
        if (end != i) {
          i = end;
          continue;
        }
      }
    }
    if (ahead)
      c = next;
    else
      read_char(s + i, len - i, c);
    ahead = false;
    const size_t start = i;
    uint8_t kind = UNIT_EXACT;
    char g0 = c.gbk[0], g1 = c.gbk[1];
    uint8_t glen = c.gbk_len;
    bool extensible = true;
    unicode_class_t cls = UCLASS_SYMBOL;
    if (c.len == 0) {
      kind = UNIT_INVALID;
      g0 = '\xA1', g1 = '\xFE', glen = 2;
      extensible = false;
      i += 1;
    } else {
      i += c.len;
      if (glen == 0) {
        cls = unicode_class(c.cp);
        switch (cls) {
          case UCLASS_LETTER: kind = UNIT_LETTER, g0 = 'a', glen = 1; break;
          case UCLASS_HAN: kind = UNIT_HAN, g0 = g1 = '\xFE', glen = 2; break;
          case UCLASS_SPACE: kind = UNIT_SPACE, g0 = ' ', glen = 1, extensible = false; break;
          case UCLASS_LINE: kind = UNIT_LINE, g0 = '\n', glen = 1, extensible = false; break;
          default: kind = UNIT_SYMBOL, g0 = '\xA1', g1 = '\xFE', glen = 2; break;
        }
      } else if (c.cp <= 0x20) {
        extensible = false;  // blanks and control characters stay apart from marks
      }
    }
    // Marks, a joiner with the emoji it joins, and the second regional
    // indicator of a flag extend the unit.
    bool extended = false, flag_open = cls == UCLASS_REGIONAL;
    while (extensible && i < len && may_extend(s + i, len - i)) {
      read_char(s + i, len - i, next);
      const unicode_class_t x = extension_class(next);
      if (x == UCLASS_MARK || (x == UCLASS_REGIONAL && flag_open)) {
        i += next.len;
        flag_open = false;
      } else if (x == UCLASS_JOINER) {
        i += next.len;
        if (i < len) {
          read_char(s + i, len - i, next);
          const unicode_class_t y = extension_class(next);
          if (y == UCLASS_SYMBOL && next.len != 0 && next.gbk_len == 0) {
            i += next.len;
          } else if (y == UCLASS_REGIONAL) {
            i += next.len;
            flag_open = true;
          } else {
            ahead = true;
            extended = true;
            break;
          }
        }
      } else {
        ahead = true;
        break;
      }
      extended = true;
    }
    if (extended && kind == UNIT_EXACT) kind = UNIT_MARKED;
    if (glen > cap - o) return SIZE_MAX;
    if (kind != UNIT_EXACT) ++special;
    if (at != nullptr) {
      at[o] = static_cast<uint32_t>(start);
      if (glen == 2) at[o + 1] = static_cast<uint32_t>(start);
    }
    dst[o++] = g0;
    if (glen == 2) dst[o++] = g1;
  }
  if (at != nullptr) at[o] = static_cast<uint32_t>(len);
  dst[o] = '\0';
  return o;
}

}  // namespace

size_t utf8_to_gbk_units(const char* src, size_t len, char* dst, size_t cap, uint32_t* at,
                         size_t& special) {
  return convert_units<true>(src, len, dst, cap, at, special);
}

size_t utf8_to_gbk_units_reference(const char* src, size_t len, char* dst, size_t cap,
                                   uint32_t* at, size_t& special) {
  return convert_units<false>(src, len, dst, cap, at, special);
}

gbk_unit_kind_t unit_kind(const char* gbk, size_t gbk_len, const char* src, size_t src_len) {
  // ASCII (NUL too, which the GBK converter drops) stands for itself.
  if (gbk_len == 1 && src_len == 1 && gbk[0] == src[0]) return UNIT_EXACT;
  char buf[8];
  const int n = gbk_to_utf8(gbk, static_cast<uint32_t>(gbk_len), buf, sizeof(buf), UCONV_INVCHAR_IGNORE);
  if (n > 0 && static_cast<size_t>(n) == src_len && std::memcmp(buf, src, src_len) == 0)
    return UNIT_EXACT;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  uint32_t cp;
  if (src_len == 0 || decode(s, src_len, cp) == 0) return UNIT_INVALID;
  if (gbk_len == 1 && gbk[0] == 'a' && cp != 'a') return UNIT_LETTER;
  if (gbk_len == 1 && gbk[0] == ' ' && cp != ' ') return UNIT_SPACE;
  if (gbk_len == 1 && gbk[0] == '\n' && cp != '\n') return UNIT_LINE;
  if (gbk_len == 2 && gbk[0] == '\xFE' && gbk[1] == '\xFE' && unicode_class(cp) == UCLASS_HAN) return UNIT_HAN;
  if (gbk_len == 2 && gbk[0] == '\xA1' && gbk[1] == '\xFE' && cp != 0x3013) return UNIT_SYMBOL;
  return UNIT_MARKED;
}
