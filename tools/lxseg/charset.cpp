#include "charset.h"

#include <cstdint>

#include "uconv.h"

namespace lxseg {
namespace {

inline unsigned char byte_at(const char* s, size_t i) { return static_cast<unsigned char>(s[i]); }

// A well-formed UTF-8 sequence at `s`: its code point and length, or length 0.
size_t decode_utf8(const char* s, size_t n, uint32_t& cp) {
  const unsigned char b0 = byte_at(s, 0);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  size_t len;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (n < len) return 0;
  for (size_t i = 1; i < len; ++i) {
    const unsigned char b = byte_at(s, i);
    if (b < (i == 1 ? lo : 0x80) || b > (i == 1 ? hi : 0xBF)) return 0;
    cp = cp << 6 | (b & 0x3F);
  }
  return len;
}

// The segmenter reads a byte from 0x81 up with the byte after it as one
// character, whether or not the two form a GBK character.
size_t gbk_length(const char* s, size_t n) { return n >= 2 && byte_at(s, 0) >= 0x81 ? 2 : 1; }

// The code point of the GBK character of `len` bytes at `s`, or U+FFFD.
uint32_t gbk_code_point(const char* s, size_t len) {
  const unsigned char lead = byte_at(s, 0);
  if (len == 1) return lead < 0x80 ? lead : lead == 0x80 ? 0x20AC : 0xFFFD;
  const unsigned char trail = byte_at(s, 1);
  if (lead > 0xFE || trail < 0x40 || trail > 0xFE || trail == 0x7F) return 0xFFFD;
  return gGBKToUnicodeTable[(lead - 0x81) * 191 + (trail - 0x40)];
}

bool blank_code_point(uint32_t cp) {
  return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
         (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F ||
         cp == 0x205F || cp == 0x3000;
}

void append_code_point(uint32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {  // GBK covers the Basic Multilingual Plane only
    out += static_cast<char>(0xE0 | cp >> 12);
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

size_t char_length(Charset cs, const char* s, size_t n) {
  if (cs == Charset::gbk) return gbk_length(s, n);
  uint32_t cp;
  const size_t len = decode_utf8(s, n, cp);
  return len ? len : 1;
}

bool is_blank(Charset cs, std::string_view word) {
  const char* s = word.data();
  size_t n = word.size();
  if (n == 0) return false;
  while (n > 0) {
    size_t len;
    uint32_t cp = 0xFFFD;
    if (cs == Charset::gbk) {
      len = gbk_length(s, n);
      cp = gbk_code_point(s, len);
    } else {
      len = decode_utf8(s, n, cp);
    }
    if (len == 0 || !blank_code_point(cp)) return false;
    s += len;
    n -= len;
  }
  return true;
}

void append_utf8(Charset cs, std::string_view text, std::string& out) {
  const char* s = text.data();
  size_t n = text.size();
  while (n > 0) {
    uint32_t cp = 0xFFFD;
    size_t len;
    if (cs == Charset::utf8) {
      len = decode_utf8(s, n, cp);
      if (len > 0) {
        out.append(s, len);
      } else {
        out += "\xEF\xBF\xBD";
        len = 1;
      }
      s += len;
      n -= len;
      continue;
    }
    len = gbk_length(s, n);
    append_code_point(gbk_code_point(s, len), out);
    s += len;
    n -= len;
  }
}

size_t CharCounter::at(size_t byte_offset) {
  if (byte_offset < byte_) byte_ = chars_ = 0;
  if (byte_offset > line_.size()) byte_offset = line_.size();
  while (byte_ < byte_offset) {  // never a character across `byte_offset`
    byte_ += char_length(cs_, line_.data() + byte_, byte_offset - byte_);
    ++chars_;
  }
  return chars_;
}

}  // namespace lxseg
