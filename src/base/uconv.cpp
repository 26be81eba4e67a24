// uconv.cpp - GBK / UTF-16 / UTF-8 conversion and charset detection.
//
// Every function is a single forward walk over its input with no allocation.
// Output room is checked before each character is written, so a character is
// either written whole or not at all, and the functions that terminate their
// output always keep one byte for the NUL.  Input is never read past
// `src_len` (or past the terminating NUL for the detectors), whatever the
// bytes are: a lead byte at the end of the input has its trail byte looked at
// only if it lies inside the input.

#include "base/uconv.h"

#include <climits>

namespace {

const char gHexArray[] = "0123456789ABCDEF";

const uint16_t kReplacementChar = 0xFFFD;
const uint16_t kEuroSign = 0x20AC;  // the single GBK byte 0x80

// Results are ints: never let a walk count past INT_MAX.
inline uint32_t clamp_size(uint32_t size) {
  return size > static_cast<uint32_t>(INT_MAX) ? static_cast<uint32_t>(INT_MAX) : size;
}

inline bool is_gbk_lead(unsigned b) { return b >= 0x81 && b <= 0xFE; }

inline bool is_gbk_trail(unsigned b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

// `lead` and `trail` must satisfy is_gbk_lead / is_gbk_trail.  An empty cell
// yields U+FFFD.
inline uint16_t gbk_char_to_unicode(unsigned lead, unsigned trail) {
  return gGBKToUnicodeTable[(lead - 0x81) * 191 + (trail - 0x40)];
}

// The two-byte GBK code (lead * 256 + trail) of `c`, or 0 if there is none.
// ASCII and U+20AC give 0 as well: they are single bytes, handled by callers.
inline uint16_t unicode_char_to_gbk(uint32_t c) {
  return c <= 0xFFFF ? gUnicodeToGBKTable[c] : 0;
}

// Writes the UTF-8 form of `u` (nothing for U+0000) and returns its length.
inline uint32_t unicode_char_to_utf8(uint16_t u, unsigned char out[3]) {
  if (u == 0) return 0;
  if (u < 0x80) {
    out[0] = static_cast<unsigned char>(u);
    return 1;
  }
  if (u < 0x800) {
    out[0] = static_cast<unsigned char>(0xC0 | (u >> 6));
    out[1] = static_cast<unsigned char>(0x80 | (u & 0x3F));
    return 2;
  }
  out[0] = static_cast<unsigned char>(0xE0 | (u >> 12));
  out[1] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
  out[2] = static_cast<unsigned char>(0x80 | (u & 0x3F));
  return 3;
}

// Number of hexadecimal digits in a character reference: four for the Basic
// Multilingual Plane, as many as needed above it, so that the reference
// always names the character that was read.
inline uint32_t char_ref_digits(uint32_t c) {
  uint32_t digits = 4;
  while (digits < 8 && (c >> (4 * digits)) != 0) ++digits;
  return digits;
}

// Length of "&#x" digits ";".
inline uint32_t char_ref_length(uint32_t c) { return char_ref_digits(c) + 4; }

// Writes "&#xHHHH;" (uppercase digits) and returns its length.
uint32_t write_char_ref(unsigned char* out, uint32_t c) {
  const uint32_t digits = char_ref_digits(c);
  uint32_t n = 0;
  out[n++] = '&';
  out[n++] = '#';
  out[n++] = 'x';
  for (uint32_t d = digits; d-- > 0;) out[n++] = gHexArray[(c >> (4 * d)) & 0xF];
  out[n++] = ';';
  return n;
}

// Length of a UTF-8 sequence from its first byte; 0 for a continuation byte
// and for 0xFE/0xFF.  The 5- and 6-byte forms of the original UTF-8
// definition are decoded (their code points have no GBK character).
const unsigned char BytesFromHeader[256] = {
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 0, 0,
};

// First-byte marker of a sequence of the index's length; its complement
// masks the payload bits of the first byte.
const unsigned char UTF8_HEADER[7] = {0x00, 0x00, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};

}  // namespace

extern "C" {

int gbk_to_unicode(const char* src, uint32_t src_length, uint16_t* dst, uint32_t dst_size,
                   int flags) {
  if (src == nullptr || dst == nullptr || dst_size == 0 || src_length == 0) return 0;
  dst_size = clamp_size(dst_size);
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  uint32_t i = 0;
  uint32_t n = 0;
  while (i < src_length && n < dst_size) {
    const unsigned b = s[i];
    if (b < 0x80) {
      dst[n++] = static_cast<uint16_t>(b);
      ++i;
      continue;
    }
    if (b == 0x80) {
      dst[n++] = kEuroSign;
      ++i;
      continue;
    }
    if (b != 0xFF) {
      if (i + 1 >= src_length) break;  // lead byte cut off by the end of the input
      const unsigned t = s[i + 1];
      if (is_gbk_trail(t)) {
        dst[n++] = gbk_char_to_unicode(b, t);
        i += 2;
        continue;
      }
    }
    // Invalid byte: only this byte is consumed, the next one is read afresh.
    if (flags & UCONV_INVCHAR_ERROR) return -1;
    if (flags & UCONV_INVCHAR_REPLACE) dst[n++] = kReplacementChar;
    ++i;
  }
  return static_cast<int>(n);
}

int unicode_to_gbk(const uint16_t* src, uint32_t src_len, char* dest, uint32_t dst_size,
                   int flags, uint16_t replace_char) {
  if (src == nullptr || dest == nullptr || dst_size == 0) return 0;
  unsigned char* d = reinterpret_cast<unsigned char*>(dest);
  if (src_len == 0 || dst_size == 1) {
    d[0] = 0;
    return 0;
  }
  dst_size = clamp_size(dst_size);
  uint32_t n = 0;
  // n < dst_size - 1 keeps the last byte for the terminator.
  for (uint32_t i = 0; i < src_len && n < dst_size - 1; ++i) {
    const uint16_t u = src[i];
    if (u < 0x80) {
      d[n++] = static_cast<unsigned char>(u);
      continue;
    }
    if (n + 2 >= dst_size) break;  // no room for a two-byte character
    const uint16_t g = unicode_char_to_gbk(u);
    if (g != 0) {
      d[n++] = static_cast<unsigned char>(g >> 8);
      d[n++] = static_cast<unsigned char>(g & 0xFF);
      continue;
    }
    if (u == kEuroSign) {
      d[n++] = 0x80;
      continue;
    }
    // Unmappable: here `flags` is one value, not a set of bits.
    switch (flags) {
      case UCONV_INVCHAR_ERROR:
        return -1;
      case UCONV_INVCHAR_ENTITES:
        if (n + char_ref_length(u) < dst_size) n += write_char_ref(d + n, u);
        break;
      case UCONV_INVCHAR_REPLACE:
        if (replace_char < 256) {
          d[n++] = static_cast<unsigned char>(replace_char);
        } else {
          d[n++] = static_cast<unsigned char>(replace_char >> 8);
          d[n++] = static_cast<unsigned char>(replace_char & 0xFF);
        }
        break;
      default:
        break;
    }
  }
  const uint32_t p = n < dst_size ? n : dst_size - 1;
  d[p] = 0;
  return static_cast<int>(p);
}

int gbk_to_utf8(const char* src, uint32_t src_len, char* dst, uint32_t dst_size, int flags) {
  if (src == nullptr || dst == nullptr || dst_size == 0) return 0;
  // Room for every two-byte character (three UTF-8 bytes each) and the NUL.
  if (static_cast<uint64_t>(dst_size) < static_cast<uint64_t>(src_len / 2) * 3 + 1) return -1;
  unsigned char* d = reinterpret_cast<unsigned char*>(dst);
  if (src_len == 0) {
    d[0] = 0;
    return 0;
  }
  dst_size = clamp_size(dst_size);
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  uint32_t i = 0;
  uint32_t dl = 0;
  unsigned char utf8[3];
  // dl + length < dst_size before each write keeps one byte for the NUL.
  while (i < src_len) {
    const unsigned b = s[i];
    if (b < 0x80) {
      ++i;
      if (b == 0) continue;  // NUL bytes are dropped
      if (dl + 1 >= dst_size) break;
      d[dl++] = static_cast<unsigned char>(b);
      continue;
    }
    uint16_t u;
    if (b == 0x80) {
      u = kEuroSign;
      ++i;
    } else if (b != 0xFF && i + 1 >= src_len) {
      break;  // lead byte cut off by the end of the input
    } else if (b != 0xFF && is_gbk_trail(s[i + 1])) {
      u = gbk_char_to_unicode(b, s[i + 1]);
      i += 2;
    } else {
      if (flags & UCONV_INVCHAR_ERROR) return -1;
      ++i;
      if (flags == UCONV_INVCHAR_IGNORE) continue;
      u = kReplacementChar;
    }
    const uint32_t len = unicode_char_to_utf8(u, utf8);
    if (dl + len >= dst_size) break;
    for (uint32_t k = 0; k < len; ++k) d[dl++] = utf8[k];
  }
  d[dl] = 0;
  return static_cast<int>(dl);
}

int utf8_to_gbk(const char* src, uint32_t src_len, char* dst, uint32_t dst_size, int flags) {
  if (src == nullptr || dst == nullptr || dst_size == 0) return 0;
  if (dst_size < src_len) return -1;
  dst_size = clamp_size(dst_size);
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  unsigned char* d = reinterpret_cast<unsigned char*>(dst);
  uint32_t i = 0;
  uint32_t n = 0;
  // n < dst_size - 1 keeps the last byte for the terminator.
  while (i < src_len && n < dst_size - 1) {
    const uint32_t k = BytesFromHeader[s[i]];
    if (k == 0) {  // stray continuation byte, 0xFE or 0xFF: dropped
      ++i;
      continue;
    }
    if (k > src_len - i) break;  // truncated last character
    // The bytes after the first are taken as continuation bytes unchecked;
    // overlong forms decode to their code point.
    uint32_t c = s[i] & static_cast<unsigned char>(~UTF8_HEADER[k]);
    for (uint32_t j = 1; j < k; ++j) c = (c << 6) | (s[i + j] & 0x3F);
    i += k;
    if (c < 0x80) {
      d[n++] = static_cast<unsigned char>(c);
      continue;
    }
    if (n + 2 >= dst_size) break;  // no room for a two-byte character
    const uint16_t g = unicode_char_to_gbk(c);
    if (g != 0) {
      d[n++] = static_cast<unsigned char>(g >> 8);
      d[n++] = static_cast<unsigned char>(g & 0xFF);
      continue;
    }
    if (c == kEuroSign) {
      d[n++] = 0x80;
      continue;
    }
    if (flags & UCONV_INVCHAR_ENTITES) {
      if (n + char_ref_length(c) >= dst_size) break;
      n += write_char_ref(d + n, c);
    } else if (flags & UCONV_INVCHAR_ERROR) {
      return -1;
    }
  }
  const uint32_t p = n < dst_size ? n : dst_size - 1;
  d[p] = 0;
  return static_cast<int>(p);
}

int is_utf8(const char* src, uint32_t len, int check_last_char) {
  if (src == nullptr || src[0] == '\0') return 0;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  const unsigned char* p = s;
  int64_t ascii_len = 0;
  int64_t gbk_or_utf8 = 0;  // two-byte sequences that read as GBK as well
  int flag = 0;             // 0 none yet, 1 complete sequences, 2 cut by the NUL
  while (*p != 0) {
    const unsigned b = *p;
    if (b < 0x80) {
      ++ascii_len;
      ++p;
      continue;
    }
    uint32_t trail_count;
    if (b >= 0xC2 && b <= 0xDF) {
      trail_count = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      trail_count = 2;
    } else if (b >= 0xF0 && b <= 0xF7) {
      trail_count = 3;
    } else {
      return 0;  // not a lead byte
    }
    // Stops at the first byte that is not a continuation byte, which is at
    // the latest the terminating NUL: nothing past it is read.
    uint32_t j = 1;
    while (j <= trail_count && (p[j] & 0xC0) == 0x80) ++j;
    if (j <= trail_count) {
      if (check_last_char == 0 || p[j] != 0) return 0;
      flag = 2;  // the string ends inside this sequence
      ++p;
      break;
    }
    if (trail_count == 1 && b <= 0xD1 && gPsedoUtf8[(b - 0xC2) * 64 + (p[1] - 0x80)] != 0) {
      ++gbk_or_utf8;
    }
    flag = 1;
    p += trail_count + 1;
  }
  const int64_t non_ascii = static_cast<int64_t>(len) - ascii_len;
  // Every non-ASCII byte in a sequence that GBK reads as well: take it as GBK.
  if (gbk_or_utf8 > 0 && gbk_or_utf8 * 2 == non_ascii) return 0;
  if (flag == 2) {
    if (non_ascii <= 4) return 0;
    const int64_t lead_offset = (p - s) - 1;
    if (static_cast<int64_t>(len) > lead_offset + 4) return 0;  // cut too far from the end
    return static_cast<int>(lead_offset);
  }
  if (flag == 1) return static_cast<int>(p - s);
  return 0;
}

int uconv_is_gbk(const char* src) { return is_gbk(src); }

int uconv_is_gbk_n(const char* src, int length) {
  if (src == nullptr || src[0] == '\0') return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(src);
  int remain = length;
  while (remain >= 1 && *p != 0) {
    const unsigned b = *p;
    if (b == 0xFF) return 0;
    if (is_gbk_lead(b)) {
      // A lead byte that is the last byte allowed is a final lone lead byte,
      // like one followed by the NUL; the byte after it is not ours to read.
      if (remain < 2 || p[1] == 0) return 1;
      if (!is_gbk_trail(p[1])) return 0;
      p += 2;
      remain -= 2;
    } else {
      ++p;
      --remain;
    }
  }
  return 1;
}

}  // extern "C"

int is_gbk(const char* src) {
  if (src == nullptr || src[0] == '\0') return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(src);
  while (*p != 0) {
    const unsigned b = *p;
    if (b == 0xFF) return 0;
    if (is_gbk_lead(b)) {
      if (p[1] == 0) return 1;  // final lone lead byte
      if (!is_gbk_trail(p[1])) return 0;
      p += 2;
    } else {
      ++p;
    }
  }
  return 1;
}
