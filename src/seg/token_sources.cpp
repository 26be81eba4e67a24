// Where each token came from: its span in the caller's text, its text as the
// caller wrote it (LX_ORIG), and the UTF-8 output of tokens with characters
// that GBK cannot hold.
//
// Every fine token records the paragraph bytes it was cut from; the handle's
// CSourceMap turns them into a span of the caller's text.  Spans of custom
// words and phrases run from their first fine token to their last.
//
// UTF-8 output.  A token whose units are all plain GBK characters is
// converted from its (normalised) GBK text when a reader asks, as always.  A
// token with other units (base/utf8_units.h) gets its UTF-8 form when it is
// saved, while the caller's text is still at hand: plain units from the
// normalised text, the others as the caller wrote them, an invalid byte as
// U+FFFD.  With LX_ORIG every word is the caller's own bytes: in GBK the
// token text itself, in UTF-8 a piece of the copy of the caller's text.
#include <cstring>

#include "base/uconv.h"
#include "seg/segtokens_saver.h"

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Width of the normalised character at s[i] (n bytes in the range): the
// normaliser's rule.
inline size_t unit_width(const char* s, size_t i, size_t n) {
  return ((unsigned char)s[i] >= 0x80 && i + 1 < n) ? 2 : 1;
}

}  // namespace

void CSegTokensSaver::set_source(const CSourceMap* map, bool orig) {
  m_srcmap = map;
  m_borig = orig;
  m_sentence_same = false;
  // Words of UTF-8 text are read back from a copy of it.
  if (map != 0 && map->utf8() && map->src() != 0)
    m_src_copy.assign(map->src(), map->src() + map->src_len());
}

void CSegTokensSaver::_stored_text(const char*& text, size_t& len) const {
  if (!m_borig || m_srcmap == 0 || text < m_ptext) return;
  size_t g0, g1;
  _gbk_range((size_t)(text - m_ptext), len, g0, g1);
  if (g1 <= g0 || g1 > m_srcmap->gbk_len()) return;
  text = m_srcmap->gbk() + g0;
  len = g1 - g0;
}

void CSegTokensSaver::_note_utf8_word(size_t token, const char* text, size_t len, size_t g0,
                                      size_t g1, size_t norm_off) {
  const CSourceMap& map = *m_srcmap;
  if (g1 <= g0) return;
  const char* src = map.src();
  m_scratch.clear();
  bool plain = true;
  if (norm_off == kNotInSentence) {
    // A separator: one unit.
    const uint8_t kind = map.kind_at(g0);
    if (kind == UNIT_EXACT) return;
    plain = false;
    if (kind == UNIT_INVALID)
      m_scratch.insert(m_scratch.end(), kReplacement, kReplacement + 3);
    else
      m_scratch.insert(m_scratch.end(), src + map.src_at(g0), src + map.src_at(g1));
  } else {
    for (size_t q = 0; q < len;) {
      const size_t w = unit_width(text, q, len);
      const size_t g = map.norm_to_gbk(norm_off + q);
      const uint8_t kind = map.kind_at(g);
      if (kind == UNIT_EXACT) {
        char buf[8];
        const int n = gbk_to_utf8(text + q, (uint32_t)w, buf, sizeof(buf), UCONV_INVCHAR_IGNORE);
        if (n > 0) m_scratch.insert(m_scratch.end(), buf, buf + n);
      } else {
        plain = false;
        if (kind == UNIT_INVALID) {
          m_scratch.insert(m_scratch.end(), kReplacement, kReplacement + 3);
        } else {
          const size_t e = map.src_at(map.norm_to_gbk(norm_off + q + w));
          m_scratch.insert(m_scratch.end(), src + map.src_at(g), src + e);
        }
      }
      q += w;
    }
  }
  if (plain) return;
  utf8_word_t& u = m_utf8_words[(long)m_utf8_word_num];
  u.token = token;
  u.text = _store(m_scratch.data(), m_scratch.size());
  ++m_utf8_word_num;
}

const char* CSegTokensSaver::_utf8_word(size_t token) const {
  // Entries are in token order.
  size_t lo = 0, hi = m_utf8_word_num;
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    const utf8_word_t& u = m_utf8_words.m_data[mid];
    if (u.token == token) return u.text;
    if (u.token < token)
      lo = mid + 1;
    else
      hi = mid;
  }
  return 0;
}

const char* CSegTokensSaver::_copy_out(const char* bytes, size_t len) {
  char* buf = m_wordbuf;
  if (len + 1 > sizeof(m_wordbuf)) {
    if (m_convbuf.size() < len + 1) m_convbuf.resize(len + 1);
    buf = m_convbuf.data();
  }
  if (len > 0) std::memcpy(buf, bytes, len);
  buf[len] = '\0';
  return buf;
}

bool CSegTokensSaver::_span_of(const item_ref_t& ref, size_t& begin, size_t& len) {
  size_t first = ref.at, last = ref.at;
  if (ref.kind != KIND_FINE) {
    const _comb_token_t& t =
        ref.kind == KIND_CUSTOM ? m_custom_tokens[(long)ref.at] : m_phrase_tokens[(long)ref.at];
    first = t.sidx;
    last = t.eidx;
  }
  if (first > last || last >= m_seg_token_num) return false;
  const span_t& a = m_spans[(long)first];
  const span_t& b = m_spans[(long)last];
  begin = a.begin;
  const size_t end = (size_t)b.begin + b.len;
  len = end >= begin ? end - begin : 0;
  return true;
}

bool CSegTokensSaver::get_span(size_t index, size_t& begin, size_t& len) {
  item_ref_t ref;
  return _select(index, ref) && _span_of(ref, begin, len);
}

bool CSegTokensSaver::get_token_span(size_t index, size_t& begin, size_t& len) {
  if (index >= m_seg_token_num) return false;
  const span_t& s = m_spans[(long)index];
  begin = s.begin;
  len = s.len;
  return true;
}

const char* CSegTokensSaver::_out_word_utf8(const item_ref_t& ref) {
  if (m_borig && !m_src_copy.empty()) {
    size_t b, n;
    if (_span_of(ref, b, n) && b <= m_src_copy.size() && n <= m_src_copy.size() - b)
      return _copy_out(m_src_copy.data() + b, n);
  }
  if (ref.kind == KIND_FINE) {
    const char* w = m_borig ? 0 : _utf8_word(ref.at);
    if (w != 0) return w;
    const span_t& s = m_spans[(long)ref.at];
    if (s.same && (size_t)s.begin + s.len <= m_src_copy.size())
      return _copy_out(m_src_copy.data() + s.begin, s.len);
    return _convert_word(ref.word, ref.wlen);
  }
  if (m_utf8_word_num == 0 || m_borig) return _convert_word(ref.word, ref.wlen);
  // A custom word or phrase: its fine tokens' outputs joined, when any of
  // them has a UTF-8 form of its own.
  const _comb_token_t& t =
      ref.kind == KIND_CUSTOM ? m_custom_tokens[(long)ref.at] : m_phrase_tokens[(long)ref.at];
  bool own = false;
  for (size_t k = t.sidx; k <= t.eidx && k < m_seg_token_num && !own; ++k)
    own = _utf8_word(k) != 0;
  if (!own) return _convert_word(ref.word, ref.wlen);
  m_scratch.clear();
  for (size_t k = t.sidx; k <= t.eidx && k < m_seg_token_num; ++k) {
    const _token_t& f = m_seg_tokens[(long)k];
    if (f.wtype == 2) continue;  // the second segmentation repeats the first
    const char* w = _utf8_word(k);
    if (w == 0) w = _convert_word(f.word, f.wlen);
    m_scratch.insert(m_scratch.end(), w, w + std::strlen(w));
  }
  return _copy_out(m_scratch.data(), m_scratch.size());
}
