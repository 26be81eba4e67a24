#include "seg/sentence_spliter.h"

#include <cstring>

namespace {

// Width of the character at position i of a text of n bytes (i < n): a byte
// from 0x80 up that is not the last one starts a two-byte character.
inline uint32_t char_width(const unsigned char* text, uint32_t i, uint32_t n) {
  return (text[i] >= 0x80 && n - i > 1) ? 2u : 1u;
}

const unsigned char kUnderscore = '_';
const unsigned char kEllipsis[2] = {0xA1, 0xAD};  // …

}  // namespace

int CSentenceSpliter::char_code(const unsigned char* p, uint32_t width) {
  if (width == 1) return p[0];
  if (p[0] < 0xA1) return -1;
  // The second byte may be anything in arbitrary input; a result below 0
  // would otherwise index before the table.
  const int code = (p[0] - 0xA1) * 94 + (p[1] - 0x20);
  return code >= 0 ? code : -1;
}

CSentenceSpliter::CSentenceSpliter(uint32_t maxlen)
    : m_sentence(nullptr),
      m_sentence_len(0),
      m_sentence_maxlen(maxlen),
      m_paragraph(nullptr),
      m_paragraph_len(0),
      m_paragraph_idx(0),
      m_seperator_char_len(0),
      m_btruncation(false) {
  static const char* const kSeparators[m_sepchar_size] = {
      "\t", "\n", "\r", " ", "!", ",", ";", "?", "_",
      "\xA1\xA1",  // ideographic space
      "\xA1\xA3",  // 。
      "\xA1\xAD",  // …
      "\xA3\xA1",  // ！
      "\xA3\xAC",  // ，
      "\xA3\xBA",  // ：
      "\xA3\xBB",  // ；
      "\xA3\xBF",  // ？
      "\xA3\xDF",  // ＿
  };
  std::memset(m_seperator_code, 0, sizeof(m_seperator_code));
  for (uint32_t k = 0; k < m_sepchar_size; ++k) {
    m_seperator_char[k] = kSeparators[k];
    const uint32_t width = static_cast<uint32_t>(std::strlen(kSeparators[k]));
    const int code = char_code(reinterpret_cast<const unsigned char*>(kSeparators[k]), width);
    m_seperator_code[code] = 1;
  }
}

const char* CSentenceSpliter::next_sentence(uint32_t& len, uint32_t back_len) {
  const unsigned char* text = reinterpret_cast<const unsigned char*>(m_paragraph);
  const uint32_t n = m_paragraph_len;

  if (back_len > 0 && m_btruncation && back_len >= m_sentence_len) {
    // Stepping back over the whole cut sentence would cut it again at the
    // same place.  Keep the text moving: restart after its first character.
    const uint32_t prev_start = m_paragraph_idx - m_sentence_len;
    const uint32_t first = (m_sentence_len > 0 && prev_start < n) ? char_width(text, prev_start, n) : 0;
    back_len = m_sentence_len > first ? m_sentence_len - first : 0;
  }
  if (back_len > m_paragraph_idx) back_len = 0;  // before the text: ignored
  const uint32_t start_idx = m_paragraph_idx - back_len;
  m_paragraph_idx = start_idx;

  m_seperator_char_len = 0;
  m_btruncation = false;

  uint32_t i = start_idx;
  while (i < n) {
    const uint32_t width = char_width(text, i, n);
    const int code = char_code(text + i, width);

    // An underscore joins words (file_name, a_b) unless it stands on its own.
    // After a NUL or a non-ASCII byte (possibly the end of the previous
    // sentence or separator) it is kept only when an ASCII byte other than a
    // carriage return follows and at least two bytes are left after it.
    bool lookup = true;
    if (code == kUnderscore) {
      if (i > 0 && text[i - 1] >= 1 && text[i - 1] <= 0x7F) {
        lookup = false;
      } else if (n - i > 2 && text[i + 1] >= 1 && text[i + 1] <= 0x7F && text[i + 1] != '\r') {
        lookup = false;
      }
    }
    if (lookup && code >= 0 && static_cast<uint32_t>(code) < m_sepbuf_size &&
        m_seperator_code[code]) {
      m_seperator_char_len = width;
      // Two ellipsis characters in a row are one separator (……).
      if (width == 2 && text[i] == kEllipsis[0] && text[i + 1] == kEllipsis[1] && n - i >= 4 &&
          text[i + 2] == kEllipsis[0] && text[i + 3] == kEllipsis[1])
        m_seperator_char_len = 4;
      break;
    }
    // A sentence always takes its first character, so that it makes progress
    // even under a maximum shorter than one character.
    if (i > start_idx && (i - start_idx) + width > m_sentence_maxlen) {
      m_btruncation = true;
      break;
    }
    i += width;
  }

  if (start_idx >= n) {
    m_sentence = nullptr;
    m_sentence_len = 0;
    m_seperator_char_len = 0;
    m_btruncation = false;
    len = 0;
    return nullptr;
  }
  len = i - start_idx;
  m_paragraph_idx = i;
  m_sentence = m_paragraph + start_idx;
  m_sentence_len = len;
  return m_sentence;
}

const char* CSentenceSpliter::get_spliter(uint32_t& len) {
  len = m_seperator_char_len;
  if (len == 0) return nullptr;
  const char* sep = m_paragraph + m_paragraph_idx;
  m_paragraph_idx += len;
  m_seperator_char_len = 0;
  return sep;
}
