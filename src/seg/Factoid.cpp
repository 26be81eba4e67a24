#include "seg/Factoid.h"

#include <cstring>

#include "seg/char_class.h"

namespace {

inline unsigned char byte_at(const char* s, uint32_t i) { return static_cast<unsigned char>(s[i]); }

inline bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

// Looks a byte up in one of the 128-entry ASCII tables.
inline bool permitted(const bool* table, unsigned char c) { return c < 0x80 && table[c]; }

// A full-width digit (０ to ９) in the `avail` bytes at p.
inline bool wide_digit_at(const unsigned char* p, uint32_t avail) {
  return avail >= 2 && is_wide_digit(p);
}

// The character of code `code` in the `avail` bytes at p.
inline bool chs_at(const unsigned char* p, uint32_t avail, uint16_t code) {
  return avail >= 2 && chs_code(p) == code;
}

// The middle dot, written between digits as a decimal point ("14·9%"), and
// the ratio colon ("2∶1", "6∶2∶2").
inline bool is_mid_dot(const unsigned char* p, uint32_t avail) {
  return avail >= 2 && p[0] == 0xA1 && p[1] == 0xA4;
}
inline bool is_ratio_colon(const unsigned char* p, uint32_t avail) {
  return avail >= 2 && p[0] == 0xA1 && p[1] == 0xC3;
}

// A single Chinese digit, the only characters a decimal fraction after 点
// holds.
bool is_zh_digit(const unsigned char* p, uint32_t avail) {
  return avail >= 2 && p[0] >= 0x81 && is_numeral_code(chs_code(p), kDigitNumerals);
}

// A character of a number written in characters.
inline bool is_zh_numeral(const unsigned char* p) {
  return is_numeral_code(chs_code(p), kNumberNumerals);
}

// Size of the PKU work buffer: the PKU scan takes at most kRunMax bytes, so
// nothing beyond them is copied.
const uint32_t kPkuBufSize = CFactoid::kRunMax;

}  // namespace

CFactoid::CFactoid() : bpku_mode(false), bascii_mode(false) {
  init_fc_table();
  init_factoid_type();
  init_urlkeys();
}

CFactoid::~CFactoid() { urlkeys.clear(); }

void CFactoid::init_fc_table() {
  std::memset(factoid_ascii_char, 0, sizeof(factoid_ascii_char));
  std::memset(url_permit_endchar, 0, sizeof(url_permit_endchar));
  std::memset(nx_permit_char, 0, sizeof(nx_permit_char));
  std::memset(nx_permit_endchar, 0, sizeof(nx_permit_endchar));
  std::memset(num_permit_endchar, 0, sizeof(num_permit_endchar));
  std::memset(fc_permit_starchar, 0, sizeof(fc_permit_starchar));

  for (int c = '0'; c <= '9'; ++c) {
    factoid_ascii_char[c] = kClsDigit;
    url_permit_endchar[c] = nx_permit_char[c] = nx_permit_endchar[c] = true;
    num_permit_endchar[c] = fc_permit_starchar[c] = true;
  }
  for (int c = 'a'; c <= 'z'; ++c) {
    for (int ch : {c, c - 'a' + 'A'}) {
      factoid_ascii_char[ch] = kClsLetter;
      url_permit_endchar[ch] = nx_permit_char[ch] = nx_permit_endchar[ch] = true;
      fc_permit_starchar[ch] = true;
    }
  }
  for (unsigned char c : {'_', '+', '&'}) factoid_ascii_char[c] = kClsJoin;
  factoid_ascii_char[static_cast<unsigned char>('@')] = kClsAt;
  for (unsigned char c : {'.', '-'}) factoid_ascii_char[c] = kClsDot;
  for (unsigned char c : {':', '/'}) factoid_ascii_char[c] = kClsColon;
  for (unsigned char c : {'~', '#', '?', '='}) factoid_ascii_char[c] = kClsQuery;
  factoid_ascii_char[static_cast<unsigned char>('%')] = kClsPercent;

  for (unsigned char c : {'#', '%', '&', '/', '?', '~'}) url_permit_endchar[c] = true;
  for (unsigned char c : {'%', '&', '+', '-', '.', '@', '_'}) nx_permit_char[c] = true;
  for (unsigned char c : {'%', '+'}) nx_permit_endchar[c] = true;
  num_permit_endchar[static_cast<unsigned char>('%')] = true;
  fc_permit_starchar[static_cast<unsigned char>('-')] = true;
}

void CFactoid::init_factoid_type() {
  for (uint32_t mask = 0; mask < 256; ++mask) {
    int t = kNone;
    if (mask & kClsLetter) {
      t = (mask & (kClsColon | kClsQuery)) ? kUrl : kAlnum;
    } else if ((mask & kClsDigit) &&
               (mask & ~static_cast<uint32_t>(kClsDigit | kClsDot | kClsColon | kClsPercent)) == 0) {
      t = kNumber;
    }
    factoid_type[mask] = t;
  }
}

void CFactoid::init_urlkeys() {
  // Sorted, as the double array requires.
  static const char* const kKeys[] = {"biz", "cc",   "cn",   "com", "edu", "gov", "hk",
                                      "info", "mobi", "name", "net", "org", "tv"};
  const size_t n = sizeof(kKeys) / sizeof(kKeys[0]);
  urlkeys.build(n, kKeys);
}

uint32_t CFactoid::sign_width(const unsigned char* text, uint32_t len) const {
  uint32_t w;
  if (text[0] == '-') {
    w = 1;
  } else if (bpku_mode && len >= 2 && text[0] == 0xA3 && text[1] == 0xAD) {
    w = 2;
  } else {
    return 0;
  }
  if (len > w && (is_digit(text[w]) || (bpku_mode && wide_digit_at(text + w, len - w)))) return w;
  return 0;
}

void CFactoid::recognize_factoid_word(const char* text, uint32_t len, int& type, uint32_t& fclen,
                                      bool after_alnum) const {
  type = kNone;
  fclen = 0;
  if (text == nullptr || len == 0) return;
  const unsigned char c = byte_at(text, 0);
  // A signed number: the sign and the number after it, when that is a plain
  // number (not a date, a time or a telephone number).
  if (!after_alnum && !bascii_mode) {
    const uint32_t sign = sign_width(reinterpret_cast<const unsigned char*>(text), len);
    if (sign > 0) {
      recognize_factoid_word(text + sign, len - sign, type, fclen, true);
      if (type == kNumber && fclen > 0) {
        fclen += sign;
        return;
      }
      type = kNone;
      fclen = 0;
    }
  }
  if (bpku_mode && ((c >= 1 && c <= 0x7F) || c == 0xA3)) {
    recognize_en_factoid_word_pku(text, len, type, fclen);
  } else if (c < 0x80) {
    recognize_en_factoid_word(text, len, type, fclen);
    // These letters alone are words of their own (measure words, verbs ...).
    if (fclen == 1 && (c == 's' || c == 'v' || c == 'w' || c == 'g' || c == 'k')) fclen = 0;
  } else {
    recognize_zh_factoid_word(text, len, type, fclen);
    return;
  }
  if (type == kNumber && fclen > 0 && !bascii_mode)
    fclen = extend_digit_number(reinterpret_cast<const unsigned char*>(text), len, fclen);
}

uint32_t CFactoid::digit_run(const unsigned char* s, uint32_t len, uint32_t i) const {
  while (i < len && i < kRunMax) {
    if (is_digit(s[i])) {
      i += 1;
    } else if (bpku_mode && wide_digit_at(s + i, len - i)) {
      i += 2;
    } else {
      break;
    }
  }
  return i;
}

uint32_t CFactoid::extend_digit_number(const unsigned char* s, uint32_t len, uint32_t end) const {
  bool decimal = false;
  for (uint32_t k = 0; k < end; ++k)
    if (s[k] == '.' || (s[k] == 0xA3 && k + 1 < end && s[k + 1] == 0xAE)) decimal = true;
  while (end < len && end < kRunMax) {
    // The number must end in a digit, and a digit must follow the mark.
    const bool ends_in_digit =
        is_digit(s[end - 1]) || (end >= 2 && wide_digit_at(s + end - 2, 2));
    if (!ends_in_digit) break;
    const bool dot = is_mid_dot(s + end, len - end);
    if (!dot && !is_ratio_colon(s + end, len - end)) break;
    if (dot && decimal) break;  // one decimal point per number
    const uint32_t d = digit_run(s, len, end + 2);
    if (d == end + 2) break;
    uint32_t e = d;
    if (dot) {
      decimal = true;
      if (e < len && s[e] == '%') {
        e += 1;
      } else if (bpku_mode && chs_at(s + e, len - e, 0xA5A3)) {  // ％
        e += 2;
      }
      return e;  // a percentage or a decimal ends the number
    }
    // A ratio: each term may have a decimal of its own ("1.9∶1").
    decimal = false;
    if (e < len && (s[e] == '.' || chs_at(s + e, len - e, 0xAEA3))) {  // ．
      const uint32_t w = s[e] == '.' ? 1 : (bpku_mode ? 2 : 0);
      const uint32_t f = w > 0 ? digit_run(s, len, e + w) : e + w;
      if (w > 0 && f > e + w) {
        e = f;
        decimal = true;
      }
    }
    end = e;
  }
  return end;
}

void CFactoid::recognize_en_factoid_word(const char* text, uint32_t len, int& type,
                                         uint32_t& fclen) const {
  type = kNone;
  fclen = 0;
  if (len == 0) return;
  const unsigned char c0 = byte_at(text, 0);

  if (bascii_mode) {
    type = kAlnum;
    if (c0 >= 0x80) return;
    uint32_t n = 0;
    while (n < len && n < kRunMax && byte_at(text, n) < 0x80) ++n;
    fclen = n;
    return;
  }

  if (!permitted(fc_permit_starchar, c0) || factoid_ascii_char[c0] == 0) return;

  // Scan while the bytes have a class and the mask keeps a type.  Track the
  // class changes: the first one (and the class it changes to) and the second.
  const uint32_t first_cls = factoid_ascii_char[c0];
  uint32_t mask = 0, prev_cls = 0;
  uint32_t change1 = 0, change2 = 0, cls_after1 = 0;
  uint32_t n = 0;
  const uint32_t limit = len < kEnScanMax ? len : kEnScanMax;
  for (; n < limit; ++n) {
    const unsigned char c = byte_at(text, n);
    const uint32_t cls = factoid_ascii_char[c];
    if (cls == 0) break;
    // A colon stays inside only before "/" (a scheme) or a digit (a time).
    if (c == ':' && n + 1 < len) {
      const unsigned char next = byte_at(text, n + 1);
      if (next != '/' && !is_digit(next)) break;
    }
    if (factoid_type[mask | cls] == kNone) break;  // the failing class stays out
    mask |= cls;
    if (n > 0 && cls != prev_cls) {
      if (change1 == 0) {
        change1 = n;
        cls_after1 = cls;
      } else if (change2 == 0) {
        change2 = n;
      }
    }
    prev_cls = cls;
  }
  while (n > 0 && byte_at(text, n - 1) == '_') --n;
  if (n == 0) return;

  int t = get_factoid_type(text, n, mask);
  if (t == kAlnum) {
    // Split an alphanumeric string at class changes: a letter run, possibly
    // followed by one digit run, stays one token; a string starting with
    // digits gives its leading number.
    uint32_t cut;
    if (first_cls == kClsLetter && change1 > 0) {
      cut = (cls_after1 == kClsDigit) ? (change2 > 0 ? change2 : n) : change1;
    } else {
      cut = change1 > 0 ? change1 : n;
      if (first_cls == kClsDigit) t = kNumber;
    }
    if (cut < n) n = cut;
  }
  if (t == kNone) n = 0;
  type = t;
  fclen = n;
}

void CFactoid::recognize_en_factoid_word_pku(const char* text, uint32_t len, int& type,
                                             uint32_t& fclen) const {
  type = kNone;
  fclen = 0;

  // Work copy with full-width ASCII (0xA3 x) turned into x - 0x80; `wide`
  // remembers which bytes stand for two input bytes.  Local, because the
  // recognizer is shared between handles.
  unsigned char buf[kPkuBufSize];
  bool wide[kPkuBufSize];
  uint32_t n = 0, pos = 0;
  while (n < kPkuBufSize && pos < len) {
    const unsigned char c = byte_at(text, pos);
    if (c == 0) break;
    if (c < 0x80) {
      buf[n] = c;
      wide[n] = false;
      ++pos;
    } else {
      if (c != 0xA3 || len - pos < 2) break;
      buf[n] = static_cast<unsigned char>(byte_at(text, pos + 1) - 0x80);
      wide[n] = true;
      pos += 2;
    }
    ++n;
  }
  if (n == 0) return;

  const unsigned char c0 = buf[0];
  if (!permitted(fc_permit_starchar, c0) || factoid_type[factoid_ascii_char[c0]] == kNone) return;
  uint32_t mask = 0, k = 0;
  for (; k < n; ++k) {
    const uint32_t cls = factoid_ascii_char[buf[k]];
    if (cls == 0 || factoid_type[mask | cls] == kNone) break;
    mask |= cls;
  }
  while (k > 0 && buf[k - 1] == '_') --k;
  if (k == 0) return;

  const char* token = reinterpret_cast<const char*>(buf);
  const int t = get_factoid_type(token, k, mask);
  if (t == kNone || k == 0) return;
  uint32_t in_len = k;
  for (uint32_t j = 0; j < k; ++j) in_len += wide[j] ? 1 : 0;
  type = t;
  fclen = in_len;
}

uint32_t CFactoid::zh_run_end(const unsigned char* s, uint32_t len, uint32_t i,
                              uint16_t& last) const {
  const uint32_t start = i;
  last = 0;
  while (i < len && i < kRunMax) {
    // Zeros written as digits inside the run: taken when a numeral follows.
    if (i > start) {
      uint32_t z = i;
      while (z < len && z < kRunMax) {
        if (s[z] == '0') {
          z += 1;
        } else if (wide_digit_at(s + z, len - z) && s[z + 1] == 0xB0) {
          z += 2;
        } else {
          break;
        }
      }
      if (z > i && z + 2 <= kRunMax && len - z >= 2 && s[z] >= 0x80 && is_zh_numeral(s + z))
        i = z;
    }
    if (s[i] < 0x80) break;
    if (len - i < 2) {  // a lone lead byte at the end is a character of its own
      last = 0;
      break;
    }
    last = chs_code(s + i);
    if (!is_numeral_code(last, kNumberNumerals)) break;
    i += 2;
  }
  return i;
}

void CFactoid::recognize_zh_factoid_word(const char* text, uint32_t len, int& type,
                                         uint32_t& fclen) const {
  type = kNone;
  fclen = 0;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  if (len < 2 || s[0] < 0x80 || !is_zh_numeral(s)) return;

  // The run of numerals; `last` is the last character looked at: the
  // character that ended the run when a two-byte character did, otherwise
  // the run's own last one.
  uint16_t last = 0;
  const uint32_t i = zh_run_end(s, len, 0, last);
  type = kNumber;
  // A fraction: run, 分之, run, possibly a decimal ("百分之八点零七").
  const uint32_t j = i + 4;
  if (len - i >= 6 && std::memcmp(s + i, kChsFenZhi, 4) == 0 && s[j] >= 0x80 &&
      is_zh_numeral(s + j)) {
    uint16_t end_char = 0;
    uint32_t k = zh_run_end(s, len, j, end_char);
    if (end_char == kChsDian && len - k >= 4 && s[k + 2] >= 0x80 && is_zh_numeral(s + k + 2)) {
      const uint32_t d = zh_run_end(s, len, k + 2, end_char);
      if (d > k + 2) k = d;
    }
    if (k > j) {
      fclen = k;
      return;
    }
  }
  // A decimal: the run, 点, single digits, and 万 or 亿 ("九点七四万").  Not
  // a clock time ("十点三十分", "八点零五分", "八点一刻"), nor "一点一滴" or
  // "一点一点": after "一点" one digit alone is no fraction.
  if (last == kChsDian && i > 0) {
    uint32_t d = i + 2;
    while (is_zh_digit(s + d, len - d) && d < kRunMax) d += 2;
    const uint32_t digits = (d - i - 2) / 2;
    const bool one = i == 2 && chs_code(s) == kChsYi;
    const unsigned char* after = s + d;
    const uint32_t rest = len - d;
    const bool wan = chs_at(after, rest, 0xF2CD) || chs_at(after, rest, 0xDAD2);  // 万 亿
    const bool clock = chs_at(after, rest, 0xD6B7) || chs_at(after, rest, 0xCCBF) ||  // 分 刻
                       chs_at(after, rest, kChsDian) ||
                       (rest >= 2 && after[0] >= 0x81 && !wan && is_zh_numeral(after));
    if (digits > 0 && !clock && (wan || !one || digits > 1)) {
      fclen = wan ? d + 2 : d;
      return;
    }
  }
  // "三十五点" keeps "三十": the numeral before 点 belongs to a clock time.
  // A run ending in 一 leaves it to words such as 一些 or 一样.
  if (last == kChsDian || last == kChsYi) {
    fclen = i - 2;
  } else {
    fclen = i;
  }
}

int CFactoid::get_factoid_type(const char* token, uint32_t& len, uint32_t mask) const {
  int t = factoid_type[mask & 0xFF];
  if (t == kNumber) {
    revise_num_pattern(token, len, t);
    revise_factoid_word_len(token, len, num_permit_endchar);
    return t;
  }
  if (t != kAlnum && t != kUrl) return t;
  if ((mask & 0xFF) == kClsLetter) return kAlnum;

  revise_nx_url_pattern(token, len, mask, t);
  if (t == kAlnum) {
    revise_factoid_word_len(token, len, nx_permit_endchar);
    if (len > 0 && token[len - 1] == '%') {
      if (len == 1) return kNumber;
      bool number = true;
      for (uint32_t j = 0; j + 1 < len && number; ++j) {
        const unsigned char c = byte_at(token, j);
        number = is_digit(c) || c == '.';
      }
      if (number) return kNumber;
    }
    uint32_t n = len;
    while (n > 0 && (token[n - 1] == '%' || token[n - 1] == '+')) --n;
    if (n >= 2) len = n;
    return kAlnum;
  }
  if (t == kUrl) {
    revise_factoid_word_len(token, len, url_permit_endchar);
    return kUrl;
  }
  return t;
}

void CFactoid::revise_factoid_word_len(const char* token, uint32_t& len, const bool* permit) const {
  while (len > 0 && !permitted(permit, byte_at(token, len - 1))) --len;
}

void CFactoid::revise_nx_url_pattern(const char* token, uint32_t& len, uint32_t mask,
                                     int& type) const {
  type = factoid_type[mask & 0xFF];
  for (uint32_t d = 0; d < len; ++d) {
    if (token[d] != '.') continue;
    const uint32_t rest = len - d - 1;
    // The double array reads a key of length 0 up to a NUL: never search an
    // empty rest.
    if (rest == 0) break;
    Darts::DoubleArray::result_pair_type hit;
    if (urlkeys.commonPrefixSearch(token + d + 1, &hit, 1, rest) > 0) {
      type = (mask & kClsAt) ? kEmail : kUrl;
      return;
    }
  }
  if (type == kUrl) {
    // No known domain: an alphanumeric string as far as such characters go.
    uint32_t n = 0;
    while (n < len && permitted(nx_permit_char, byte_at(token, n))) ++n;
    len = n;
    type = kAlnum;
  }
}

void CFactoid::revise_num_pattern(const char* token, uint32_t& len, int& type) const {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(token);
  const uint32_t n = len;
  // Counts, and 1-based positions of the first occurrence (0: none).
  uint32_t pct = 0, dash = 0, dot = 0, slash = 0, colon = 0;
  uint32_t pct_pos = 0, dash_pos = 0, dot_pos = 0, slash_pos = 0;
  for (uint32_t i = 0; i < n; ++i) {
    switch (s[i]) {
      case '%':
        if (pct++ == 0) pct_pos = i + 1;
        break;
      case '-':
        if (dash++ == 0) dash_pos = i + 1;
        break;
      case '.':
        if (dot++ == 0) dot_pos = i + 1;
        break;
      case '/':
        if (slash++ == 0) slash_pos = i + 1;
        break;
      case ':':
        ++colon;
        break;
      default:
        break;
    }
  }
  // "--" is no date or telephone separator: count it so that no rule below
  // that needs a given number of dashes applies.
  if (dash_pos > 0 && dash_pos < n && s[dash_pos] == '-') dash = 100;

  const bool starts_20 = n >= 2 && s[0] == '2' && s[1] == '0';
  const bool starts_19 = n >= 2 && s[0] == '1' && s[1] == '9';

  // 1. A percentage: the number up to the first "%".
  if (pct > 0 && dash == 0 && dot < 2) {
    len = pct_pos;
    type = kNumber;
    return;
  }
  // 2. A telephone number: 10 to 12 digits, possibly with dashes.
  if (n >= 10 && n <= 13 &&
      (s[0] == '0' || s[0] == '1' || std::memcmp(s, "800", 3) == 0 || std::memcmp(s, "400", 3) == 0)) {
    const int64_t digits = static_cast<int64_t>(n) - static_cast<int64_t>(dash);
    if (digits >= 10 && digits <= 12 && colon == 0 && slash == 0 && dot == 0) {
      type = kTele;
      return;
    }
  }
  // 3. Dots and slashes together: no number.
  if (dot > 0 && slash > 0) {
    type = kAlnum;
    return;
  }
  // 4. One dot followed by a four-byte "20xx".
  if (dot == 1 && n - dot_pos == 4 && s[dot_pos] == '2' && s[dot_pos + 1] == '0') {
    type = kAlnum;
    return;
  }
  // 5. Dates and times.
  if (n > 0 && (s[0] == '0' || s[0] == '1' || s[0] == '2')) {
    bool time = false;
    if (dash == 0 && (colon == 2 || (colon == 1 && (n == 4 || n == 5)) || slash == 2)) {
      time = true;
    } else if (n >= 7 && n <= 10) {
      if ((dot == 1 || dot == 2) && dash == 0 && (starts_20 || starts_19)) {
        time = true;
      } else if (dash == 2 && dot == 0 && colon == 0) {
        time = true;
      }
    }
    if (time) {
      type = kTime;
      return;
    }
  }
  // 6. Neither "/" nor "-": dotted sequences and colons are no numbers.
  if (slash == 0 && dash == 0) {
    if (dot > 1 || colon > 0) type = kAlnum;
    return;
  }
  // 7. A fraction: digits, one "/", digits.
  if (slash == 1 && dash == 0 && dot == 0 && colon == 0 && slash_pos > 1 && slash_pos < n) {
    type = kNumber;
    return;
  }
  // 8, 9. Otherwise the number before the first "-" or "/".
  if (dash > 0 && slash == 0) {
    len = dash_pos - 1;
  } else {
    len = slash_pos - 1;
  }
  type = kNumber;
}
