// CSourceMap: where the segmenter's text came from in the caller's text.
//
// The segmenter works on GBK: a UTF-8 text is converted unit by unit
// (base/utf8_units.h) into the GBK paragraph that the splitter walks, and
// each sentence is normalised (full-width to half-width shortens it) before
// its lattice is built.  A token is cut from the normalised sentence; the
// map turns its offsets back into offsets of the GBK paragraph (through the
// sentence's normalisation table) and of the caller's text (by reading the
// units of the sentence again), and tells which units stand for something
// other than their GBK bytes.
//
// Per call of the handle's segment():
//
//     map.begin_text(src, src_len, gbk, gbk_len, utf8);
//     for each sentence:  map.begin_sentence(offset in gbk, bytes to map, raw_offset table);
//       ... norm_to_gbk(), src_at(), kind_at() for offsets of that sentence ...
//
// For GBK input the caller's text is the paragraph: every offset maps to
// itself and every unit is exact.  The map reads the units of each sentence
// once (and of a sentence cut for length, the part read again); it keeps
// its storage, so a steady workload allocates nothing.
#ifndef LX_SEG_SOURCE_MAP_H
#define LX_SEG_SOURCE_MAP_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/utf8_units.h"

class CSourceMap {
 public:
  // Marks a normalised offset inside a character (see CSegment::m_raw_offset).
  static constexpr uint16_t kNoRawOffset = 0xFFFF;

  void begin_text(const char* src, size_t src_len, const char* gbk, size_t gbk_len, bool utf8);
  // Maps the paragraph bytes [gbk_begin, gbk_begin + n) (clipped to the
  // paragraph) for a sentence that starts at gbk_begin and whose normalised
  // offsets `raw_offset` turns into offsets of the sentence.
  void begin_sentence(size_t gbk_begin, size_t n, const uint16_t* raw_offset);

  // Paragraph offset of the normalised sentence offset `p`.
  size_t norm_to_gbk(size_t p) const {
    if (m_raw == nullptr) return m_sentence + p;
    size_t k = 0;
    while (p > 0 && m_raw[p] == kNoRawOffset) --p, ++k;  // inside a two-byte character
    return m_sentence + m_raw[p] + k;
  }
  // Offset in the caller's text of the paragraph offset `g` (mapped range).
  size_t src_at(size_t g) const {
    if (!m_utf8) return g;
    if (g < m_base) return m_base_src;
    const size_t i = g - m_base;
    return i < m_src.size() ? m_src[i] : m_end_src;
  }
  // Kind of the unit at paragraph offset `g` (UNIT_EXACT outside the range).
  uint8_t kind_at(size_t g) const {
    if (!m_utf8 || g < m_base || g - m_base >= m_kind.size()) return UNIT_EXACT;
    return m_kind[g - m_base];
  }
  // Whether the mapped range has a unit that is not exact.
  bool special() const { return m_special; }
  bool utf8() const { return m_utf8; }
  const char* src() const { return m_text; }
  size_t src_len() const { return m_text_len; }
  const char* gbk() const { return m_gbk; }
  size_t gbk_len() const { return m_gbk_len; }

 private:
  struct cursor_t {
    size_t g, s;
  };

  const char* m_text = nullptr;
  size_t m_text_len = 0;
  const char* m_gbk = nullptr;
  size_t m_gbk_len = 0;
  bool m_utf8 = false;
  bool m_special = false;

  size_t m_sentence = 0;
  const uint16_t* m_raw = nullptr;

  // The mapped range starts at paragraph offset m_base (source m_base_src);
  // m_src[i] is the source offset of the unit holding paragraph byte
  // m_base + i, m_kind[i] its kind (at the unit's first byte).
  size_t m_base = 0, m_base_src = 0, m_end_src = 0;
  std::vector<uint32_t> m_src;
  std::vector<uint8_t> m_kind;
  // Unit boundaries to resume reading from: the start and the end of the
  // last mapped range.
  cursor_t m_prev{0, 0}, m_next{0, 0};
};

#endif  // LX_SEG_SOURCE_MAP_H
