// CSourceMap: where the segmenter's text came from in the caller's text.
//
// The segmenter works on GBK: a UTF-8 text is converted unit by unit
// (base/utf8_units.h) into the GBK paragraph that the splitter walks, and
// each sentence is normalised (full-width to half-width shortens it) before
// its lattice is built.  A token is cut from the normalised sentence; the
// map turns its offsets back into offsets of the GBK paragraph (through the
// sentence's normalisation table) and of the caller's text (through the
// offsets the converter recorded), and tells which units stand for
// something other than their GBK bytes.
//
// Per call of the handle's segment():
//
//     map.begin_text(src, src_len, gbk, gbk_len, at, special);
//     for each sentence:  map.begin_sentence(offset in gbk, raw_offset table);
//       ... norm_to_gbk(), src_at(), kind_at() for offsets of that sentence ...
//
// For GBK input (`at` null) the caller's text is the paragraph: every offset
// maps to itself and every unit is exact.
#ifndef LX_SEG_SOURCE_MAP_H
#define LX_SEG_SOURCE_MAP_H

#include <cstddef>
#include <cstdint>

#include "base/utf8_units.h"

class CSourceMap {
 public:
  // Marks a normalised offset inside a character (see CSegment::m_raw_offset).
  static constexpr uint16_t kNoRawOffset = 0xFFFF;

  // `at` as utf8_to_gbk_units() fills it (gbk_len + 1 entries), or null for
  // GBK input; `special` units that are not exact.
  void begin_text(const char* src, size_t src_len, const char* gbk, size_t gbk_len,
                  const uint32_t* at, size_t special) {
    m_text = src;
    m_text_len = src_len;
    m_gbk = gbk;
    m_gbk_len = gbk_len;
    m_at = at;
    m_special = at != nullptr && special > 0;
    m_sentence = 0;
    m_raw = nullptr;
  }
  // A sentence that starts at paragraph offset `gbk_begin` and whose
  // normalised offsets `raw_offset` turns into offsets of the sentence.
  void begin_sentence(size_t gbk_begin, const uint16_t* raw_offset) {
    m_sentence = gbk_begin;
    m_raw = raw_offset;
  }
  // Once the sentence is normalised: whether its offsets are those of the
  // paragraph (normalisation kept its length) or need the table.
  void set_normalised_same(bool same, const uint16_t* raw_offset) {
    m_raw = same ? nullptr : raw_offset;
  }

  // Paragraph offset of the normalised sentence offset `p`.
  size_t norm_to_gbk(size_t p) const {
    if (m_raw == nullptr) return m_sentence + p;
    size_t k = 0;
    while (p > 0 && m_raw[p] == kNoRawOffset) --p, ++k;  // inside a two-byte character
    return m_sentence + m_raw[p] + k;
  }
  // Offset in the caller's text of paragraph offset `g` (at most its length).
  size_t src_at(size_t g) const {
    if (g > m_gbk_len) g = m_gbk_len;
    return m_at == nullptr ? g : m_at[g];
  }
  // Kind of the unit at paragraph offset `g` (worked out again from its
  // bytes: asked only for text with special units).
  uint8_t kind_at(size_t g) const {
    if (m_at == nullptr || g >= m_gbk_len) return UNIT_EXACT;
    const size_t w = ((unsigned char)m_gbk[g] >= 0x81 && g + 1 < m_gbk_len) ? 2 : 1;
    return unit_kind(m_gbk + g, w, m_text + m_at[g], m_at[g + w] - m_at[g]);
  }
  // Whether the text has a unit that is not exact.
  bool special() const { return m_special; }
  bool utf8() const { return m_at != nullptr; }
  const char* src() const { return m_text; }
  size_t src_len() const { return m_text_len; }
  const char* gbk() const { return m_gbk; }
  size_t gbk_len() const { return m_gbk_len; }

 private:
  const char* m_text = nullptr;
  size_t m_text_len = 0;
  const char* m_gbk = nullptr;
  size_t m_gbk_len = 0;
  const uint32_t* m_at = nullptr;
  bool m_special = false;
  size_t m_sentence = 0;
  const uint16_t* m_raw = nullptr;
};

#endif  // LX_SEG_SOURCE_MAP_H
