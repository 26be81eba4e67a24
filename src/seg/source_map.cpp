#include "seg/source_map.h"

void CSourceMap::begin_text(const char* src, size_t src_len, const char* gbk, size_t gbk_len,
                            bool utf8) {
  m_text = src;
  m_text_len = src_len;
  m_gbk = gbk;
  m_gbk_len = gbk_len;
  m_utf8 = utf8;
  m_special = false;
  m_sentence = 0;
  m_raw = nullptr;
  m_base = m_base_src = m_end_src = 0;
  m_src.clear();
  m_kind.clear();
  m_prev = m_next = cursor_t{0, 0};
}

void CSourceMap::begin_sentence(size_t gbk_begin, size_t n, const uint16_t* raw_offset) {
  m_sentence = gbk_begin;
  m_raw = raw_offset;
  if (!m_utf8) return;
  const size_t end = gbk_begin + n < m_gbk_len ? gbk_begin + n : m_gbk_len;
  cursor_t c = m_next.g <= gbk_begin ? m_next : m_prev.g <= gbk_begin ? m_prev : cursor_t{0, 0};
  const unsigned char* s = reinterpret_cast<const unsigned char*>(m_text);
  gbk_unit_t u;
  // Skip to the unit that holds gbk_begin.
  while (c.g < gbk_begin && c.s < m_text_len) {
    utf8_next_unit(s + c.s, m_text_len - c.s, u);
    if (c.g + u.gbk_len > gbk_begin) break;
    c.g += u.gbk_len;
    c.s += u.src_len;
  }
  m_prev = c;
  m_base = c.g;
  m_base_src = c.s;
  m_src.clear();
  m_kind.clear();
  m_special = false;
  while (c.g < end && c.s < m_text_len) {
    utf8_next_unit(s + c.s, m_text_len - c.s, u);
    m_src.push_back(static_cast<uint32_t>(c.s));
    m_kind.push_back(u.kind);
    if (u.gbk_len == 2) {
      m_src.push_back(static_cast<uint32_t>(c.s));
      m_kind.push_back(u.kind);
    }
    if (u.kind != UNIT_EXACT) m_special = true;
    c.g += u.gbk_len;
    c.s += u.src_len;
  }
  m_end_src = c.s;
  m_next = c;
}
