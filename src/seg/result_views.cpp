// Separator tokens, the back length of a sentence cut for length, the index
// views and the readers.
//
// Views.  The output-word view lists the fine tokens, with every custom word
// put in place of the fine tokens it covers; the output-phrase view does the
// same with custom words and custom phrases (a custom word wins where both
// start).  A view stores only its custom words and phrases, each with its
// place in the view and the fine token after it; a reader finds the last
// item at or before its index by binary search and counts fine tokens from
// there.  Without LX_USR there are no items and the readers index the fine
// tokens directly.
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

size_t CSegTokensSaver::_build_view(Array<view_item_t>& items, size_t& item_num, bool phrases) {
  const size_t total = m_seg_token_num;
  size_t n = 0, out = 0, i = 0, c = 0, p = 0;
  while (i < total) {
    // The next item starts at the first custom word (phrase) that has not
    // been taken; one that starts inside an item taken before is never
    // taken, and neither is any after it.
    size_t next = total;
    if (c < m_custom_num && m_custom_tokens[(long)c].sidx >= i) next = m_custom_tokens[(long)c].sidx;
    if (phrases && p < m_phrase_num && m_phrase_tokens[(long)p].sidx >= i &&
        m_phrase_tokens[(long)p].sidx < next)
      next = m_phrase_tokens[(long)p].sidx;
    out += next - i;  // the fine tokens before it
    i = next;
    if (i >= total) break;
    size_t code, last;
    if (c < m_custom_num && m_custom_tokens[(long)c].sidx == i) {
      code = (c << 2) | KIND_CUSTOM;
      last = m_custom_tokens[(long)c++].eidx;
    } else {
      code = (p << 2) | KIND_PHRASE;
      last = m_phrase_tokens[(long)p++].eidx;
    }
    view_item_t& item = items[(long)n];
    item.out = out;
    item.code = code;
    i = last >= i ? last + 1 : i + 1;
    item.resume = i;
    ++n;
    ++out;
  }
  item_num = n;
  return out;
}

void CSegTokensSaver::save_info_for_compatible() {
  // Counts are set last: a view whose items could not be stored stays empty.
  m_outword_num = m_outphrase_num = 0;
  m_outword_item_num = m_outphrase_item_num = 0;
  const size_t words = _build_view(m_outword_items, m_outword_item_num, false);
  const size_t phrases = _build_view(m_outphrase_items, m_outphrase_item_num, true);
  m_outword_num = words;
  m_outphrase_num = phrases;
}

uint64_t CSegTokensSaver::_view_code(const Array<view_item_t>& items, size_t item_num,
                                     size_t index) const {
  // The first item after `index`.
  size_t lo = 0, hi = item_num;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (items.m_data[mid].out <= index)
      lo = mid + 1;
    else
      hi = mid;
  }
  if (lo == 0) return ((uint64_t)index << 2) | KIND_FINE;
  const view_item_t& item = items.m_data[lo - 1];
  if (item.out == index) return item.code;
  return ((uint64_t)(item.resume + (index - item.out - 1)) << 2) | KIND_FINE;
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
    code = _view_code(m_outphrase_items, m_outphrase_item_num, index);
  } else if (m_out_mode == OUT_SUBPHRASE) {
    if (index >= m_phrase_num) return false;
    code = ((uint64_t)index << 2) | KIND_PHRASE;
  } else {
    if (index >= m_outword_num) return false;
    code = _view_code(m_outword_items, m_outword_item_num, index);
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
