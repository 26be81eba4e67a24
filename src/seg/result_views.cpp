// Separator tokens, the back length of a sentence cut for length, the index
// views and the readers.
//
// Views.  m_outword_idx lists the output words: the fine tokens, with every
// custom word put in place of the fine tokens it covers.  m_outphrase_idx
// does the same with custom words and custom phrases (a custom word wins
// where both start).  Entries are (index << 2) | kind.  Without LX_USR the
// readers index the fine tokens directly.
#include <cstring>

#include "base/uconv.h"
#include "seg/segtokens_saver.h"

void CSegTokensSaver::save_spliter(const char* spliter, size_t spliter_len, size_t gbk_off,
                                   size_t gbk_len) {
  if (spliter == 0 || spliter_len == 0) return;
  _push_token(spliter, spliter_len, LX_W, 0, gbk_off, gbk_off + gbk_len, kNotInSentence);
}

size_t CSegTokensSaver::compute_back_len() {
  if (m_seg_token_num < 3) return 0;
  // Only the cut sentence's own plain tokens can be taken back: tokens of an
  // earlier sentence are not part of the text segmented again, a token of a
  // word output in two segmentations covers bytes that its twin keeps in the
  // result, and the splitter never steps back over the whole sentence.
  if (m_seg_token_num - m_seg_old_token_num < 2) return 0;
  const _token_t& last = m_seg_tokens[(long)(m_seg_token_num - 1)];
  const _token_t& prev = m_seg_tokens[(long)(m_seg_token_num - 2)];
  if (last.wlen == 1 || prev.wlen == 1) return 0;
  if (last.wtype != 0 || prev.wtype != 0) return 0;
  const size_t back = last.wlen + prev.wlen;
  if (back >= m_textlen) return 0;

  m_seg_token_num -= 2;
  while (m_utf8_word_num > 0 && m_utf8_words[(long)(m_utf8_word_num - 1)].token >= m_seg_token_num)
    --m_utf8_word_num;
  while (m_thick_num > 0 && m_thick_tokens[(long)(m_thick_num - 1)].eidx >= m_seg_token_num)
    --m_thick_num;
  while (m_custom_num > 0 && m_custom_tokens[(long)(m_custom_num - 1)].eidx >= m_seg_token_num)
    --m_custom_num;
  while (m_phrase_num > 0 && m_phrase_tokens[(long)(m_phrase_num - 1)].eidx >= m_seg_token_num)
    --m_phrase_num;
  return back;
}

void CSegTokensSaver::save_info_for_compatible() {
  m_outword_num = 0;
  m_outphrase_num = 0;
  if (m_seg_token_num == 0) return;

  size_t i = 0, c = 0;
  while (i < m_seg_token_num) {
    if (c < m_custom_num && m_custom_tokens[(long)c].sidx == i) {
      m_outword_idx[(long)m_outword_num++] = ((uint64_t)c << 2) | KIND_CUSTOM;
      i = m_custom_tokens[(long)c].eidx + 1;
      ++c;
    } else {
      m_outword_idx[(long)m_outword_num++] = ((uint64_t)i << 2) | KIND_FINE;
      ++i;
    }
  }

  size_t p = 0;
  i = 0;
  c = 0;
  while (i < m_seg_token_num) {
    if (c < m_custom_num && m_custom_tokens[(long)c].sidx == i) {
      m_outphrase_idx[(long)m_outphrase_num++] = ((uint64_t)c << 2) | KIND_CUSTOM;
      i = m_custom_tokens[(long)c].eidx + 1;
      ++c;
    } else if (p < m_phrase_num && m_phrase_tokens[(long)p].sidx == i) {
      m_outphrase_idx[(long)m_outphrase_num++] = ((uint64_t)p << 2) | KIND_PHRASE;
      i = m_phrase_tokens[(long)p].eidx + 1;
      ++p;
    } else {
      m_outphrase_idx[(long)m_outphrase_num++] = ((uint64_t)i << 2) | KIND_FINE;
      ++i;
    }
  }
}

void CSegTokensSaver::get_result(seg_tokens_t& seg_tokens) {
  seg_tokens.fine_grain_seg_tokens = m_seg_tokens.data();
  seg_tokens.fine_grain_tokens_num = m_seg_token_num;
  seg_tokens.thick_seg_tokens = m_thick_tokens.data();
  seg_tokens.thick_seg_tokens_num = m_thick_num;
  seg_tokens.custom_defined_tokens = m_custom_tokens.data();
  seg_tokens.custom_tokens_num = m_custom_num;
  seg_tokens.custom_defined_phrases = m_phrase_tokens.data();
  seg_tokens.custom_phrases_num = m_phrase_num;
}

size_t CSegTokensSaver::get_tokens_count() {
  if (m_out_mode == OUT_PHRASE) return m_outphrase_num;
  if (m_out_mode == OUT_SUBPHRASE) return m_phrase_num;
  return m_outword_num;
}

bool CSegTokensSaver::_select(size_t index, item_ref_t& ref) {
  uint64_t code;
  if (!m_busr) {
    code = ((uint64_t)index << 2) | KIND_FINE;
    if (index >= m_seg_token_num) return false;
  } else if (m_out_mode == OUT_PHRASE) {
    if (index >= m_outphrase_num) return false;
    code = m_outphrase_idx[(long)index];
  } else if (m_out_mode == OUT_SUBPHRASE) {
    if (index >= m_phrase_num) return false;
    code = ((uint64_t)index << 2) | KIND_PHRASE;
  } else {
    if (index >= m_outword_num) return false;
    code = m_outword_idx[(long)index];
  }

  const size_t at = (size_t)(code >> 2);
  const unsigned kind = (unsigned)(code & 3);
  if (kind == KIND_FINE) {
    if (at >= m_seg_token_num) return false;
    const _token_t& t = m_seg_tokens[(long)at];
    ref.at = at;
    ref.kind = kind;
    ref.word = t.word;
    ref.wlen = t.wlen;
    ref.pos = t.pos;
    ref.bcw = false;
    ref.cls = -1;
    ref.idx = t.wtype;
    return true;
  }
  const _comb_token_t* t;
  if (kind == KIND_CUSTOM) {
    if (at >= m_custom_num) return false;
    t = &m_custom_tokens[(long)at];
  } else {
    if (at >= m_phrase_num) return false;
    t = &m_phrase_tokens[(long)at];
  }
  ref.at = at;
  ref.kind = kind;
  ref.word = t->word;
  ref.wlen = t->wlen;
  ref.pos = t->pos;
  ref.bcw = true;
  ref.cls = t->cls;
  ref.idx = 0;
  return true;
}

const char* CSegTokensSaver::_convert_word(const char* word, size_t nLen) {
  if (word == 0) return 0;
  // Every GBK byte becomes at most 3 UTF-8 bytes (a two-byte character at
  // most 3, the single byte 0x80 exactly 3), plus the NUL.
  const size_t need = nLen * 3 + 1;
  if (need > UINT32_MAX) return word;
  char* buf = m_wordbuf;
  size_t size = sizeof(m_wordbuf);
  if (need > size) {
    if (m_convbuf.size() < need) m_convbuf.resize(need);
    buf = m_convbuf.data();
    size = m_convbuf.size();
  }
  const int n = gbk_to_utf8(word, (uint32_t)nLen, buf, (uint32_t)size, UCONV_INVCHAR_IGNORE);
  if (n == -1) return word;
  buf[n] = '\0';
  return buf;
}

const char* CSegTokensSaver::get_word_at(size_t index) {
  item_ref_t ref;
  if (!_select(index, ref)) return 0;
  return _out_word(ref);
}

WP* CSegTokensSaver::get_word_info_at(size_t index) {
  item_ref_t ref;
  if (!_select(index, ref)) return 0;
  m_word_pos.word = _out_word(ref);
  m_word_pos.pos = ref.pos;
  m_word_pos.bcw = ref.bcw;
  m_word_pos.cls = ref.cls;
  return &m_word_pos;
}

ms_word_t* CSegTokensSaver::get_ms_word_at(size_t index) {
  item_ref_t ref;
  if (!_select(index, ref)) return 0;
  m_ms_word.word = const_cast<char*>(_out_word(ref));
  m_ms_word.idx = ref.idx;
  return &m_ms_word;
}

ms_wp_t* CSegTokensSaver::get_ms_word_info_at(size_t index) {
  item_ref_t ref;
  if (!_select(index, ref)) return 0;
  m_ms_word_pos.word = const_cast<char*>(_out_word(ref));
  m_ms_word_pos.pos = ref.pos;
  m_ms_word_pos.bcw = ref.bcw;
  m_ms_word_pos.cls = ref.cls;
  m_ms_word_pos.idx = ref.idx;
  return &m_ms_word_pos;
}
