// UTF-8 text read as GBK units (see utf8_units.h).
#include "base/utf8_units.h"

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

// The GBK form of cp (1 or 2 bytes into out), or 0 when it has none.
inline int gbk_form(uint32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp == 0x20AC) {
    out[0] = static_cast<char>(0x80);
    return 1;
  }
  if (cp > 0xFFFF) return 0;
  const uint16_t g = gUnicodeToGBKTable[cp];
  if (g == 0) return 0;
  out[0] = static_cast<char>(g >> 8);
  out[1] = static_cast<char>(g & 0xFF);
  return 2;
}

inline void set(gbk_unit_t& u, uint8_t kind, char a, char b, uint8_t n) {
  u.kind = kind;
  u.gbk[0] = a;
  u.gbk[1] = b;
  u.gbk_len = n;
}

// The class of the character at s (n bytes left) if it is well-formed and has
// no GBK form, else UCLASS_SYMBOL with len 0 (it cannot extend anything).
inline unicode_class_t extender_class(const unsigned char* s, size_t n, size_t& len) {
  len = 0;
  if (n == 0 || s[0] < 0x80) return UCLASS_SYMBOL;
  uint32_t cp;
  const size_t k = utf8_decode(s, n, cp);
  char tmp[2];
  if (k == 0 || gbk_form(cp, tmp) != 0) return UCLASS_SYMBOL;
  len = k;
  return unicode_class(cp);
}

}  // namespace

size_t utf8_decode(const unsigned char* s, size_t len, uint32_t& cp) {
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

void utf8_next_unit(const unsigned char* s, size_t len, gbk_unit_t& u) {
  uint32_t cp = 0;
  const size_t k = utf8_decode(s, len, cp);
  if (k == 0) {
    u.src_len = 1;
    set(u, UNIT_INVALID, '\xA1', '\xFE', 2);
    return;
  }
  u.src_len = static_cast<uint32_t>(k);
  if (cp < 0x80) {  // the common case: nothing in ASCII text can be extended but by a mark
    set(u, UNIT_EXACT, static_cast<char>(cp), 0, 1);
    if (cp < 0x20 || len == k || s[k] < 0x80) return;
  } else {
    const int n = gbk_form(cp, u.gbk);
    if (n > 0) {
      u.kind = UNIT_EXACT;
      u.gbk_len = static_cast<uint8_t>(n);
    } else {
      const unicode_class_t c = unicode_class(cp);
      switch (c) {
        case UCLASS_LETTER: set(u, UNIT_LETTER, 'a', 0, 1); break;
        case UCLASS_HAN: set(u, UNIT_HAN, '\xFE', '\xFE', 2); break;
        case UCLASS_SPACE: set(u, UNIT_SPACE, ' ', 0, 1); break;
        case UCLASS_LINE: set(u, UNIT_LINE, '\n', 0, 1); return;
        default: set(u, UNIT_SYMBOL, '\xA1', '\xFE', 2); break;
      }
      if (c == UCLASS_REGIONAL) {  // two regional indicators make one flag
        size_t m;
        if (extender_class(s + k, len - k, m) == UCLASS_REGIONAL) u.src_len += static_cast<uint32_t>(m);
      }
    }
  }
  // Marks, and a joiner with the emoji it joins, extend the unit.
  bool extended = false;
  for (;;) {
    size_t m;
    const unicode_class_t c = extender_class(s + u.src_len, len - u.src_len, m);
    if (c == UCLASS_MARK) {
      u.src_len += static_cast<uint32_t>(m);
    } else if (c == UCLASS_JOINER) {
      u.src_len += static_cast<uint32_t>(m);
      size_t j;
      const unicode_class_t d = extender_class(s + u.src_len, len - u.src_len, j);
      if (d == UCLASS_SYMBOL || d == UCLASS_REGIONAL) u.src_len += static_cast<uint32_t>(j);
    } else {
      break;
    }
    extended = true;
  }
  if (extended && u.kind == UNIT_EXACT) u.kind = UNIT_MARKED;
}

size_t utf8_to_gbk_units(const char* src, size_t len, char* dst, size_t& special) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  size_t i = 0, o = 0;
  special = 0;
  gbk_unit_t u;
  while (i < len) {
    // Runs of ASCII not followed by a possible mark are copied as they are.
    if (s[i] < 0x80 && (i + 1 == len || s[i + 1] < 0x80)) {
      dst[o++] = static_cast<char>(s[i++]);
      continue;
    }
    utf8_next_unit(s + i, len - i, u);
    dst[o++] = u.gbk[0];
    if (u.gbk_len == 2) dst[o++] = u.gbk[1];
    if (u.kind != UNIT_EXACT) ++special;
    i += u.src_len;
  }
  dst[o] = '\0';
  return o;
}
