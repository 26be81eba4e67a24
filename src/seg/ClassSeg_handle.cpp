// One segmentation handle: construction, the loop over sentences, the base
// per-sentence pipeline, normalisation, charset conversion and the result
// accessors.
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/uconv.h"
#include "base/utf8_units.h"
#include "dict/BasicDict.h"
#include "dict/CustomDict.h"
#include "dict/T2S.h"
#include "lm/Ngram.h"
#include "seg/ClassSeg.h"
#include "seg/Factoid.h"
#include "seg/affix_words.h"
#include "seg/reduplication.h"
#include "seg/resource_set.h"
#include "seg/best_path.h"
#include "seg/sentence_spliter.h"

CSegment::CSegment(int mode, size_t nodes)
    : m_pText(nullptr),
      m_nTextLen(0),
      m_customword_matcher(nullptr),
      // The lattice has a fixed number of nodes; a larger capacity cannot be
      // honoured.
      m_nNodeMaxNum((nodes < kNodeCapacity ? nodes : kNodeCapacity) + 1),
      m_sentbreaker(nullptr),
      m_ncharset(LX_GBK),
      m_buffer_for_charset_conv(nullptr),
      m_buf_charset_conv_size(0),
      GESHU_INDEX(0xFFFFFFFFu),
      m_bs2d(false),
      m_bt2s(false),
      m_bu2l(false),
      m_bconv(false),
      m_bpms(false),
      m_bperson(false),
      m_bpos(false),
      m_bCUT(false),
      m_bcw(false),
      m_bascii(false),
      m_bLocation(false),
      m_borig(false),
      m_amb_resolver(m_lattice, nullptr, nullptr, nullptr, 0, false),
      m_mode(mode),
      m_raw_len(0),
      m_snapshot_gen(0) {
  std::memset(m_str_norm, 0, sizeof(m_str_norm));
  std::memset(m_str_norm_u2l, 0, sizeof(m_str_norm_u2l));
  std::memset(m_wids, 0, sizeof(m_wids));
  std::memset(m_raw_offset, 0, sizeof(m_raw_offset));

  // Lattice and saver.  The lattice constructor resets every node and
  // reserves its items; the saver made its string arena.
  m_lattice.m_next_sidx = 0;
  m_lattice.m_prev_end_idx = 0;
  m_segtoken_saver.set_out_mode(OUT_WORD);

  // Conversion buffer.  When this fails, the buffer is allocated again when
  // a text needs it.
  m_buffer_for_charset_conv = new (std::nothrow) char[kInitialConvBufSize];
  if (m_buffer_for_charset_conv == nullptr) {
    std::fprintf(stderr, "alloc m_buffer_for_charset_conv error\n");
  } else {
    m_buf_charset_conv_size = kInitialConvBufSize;
  }

  // Flags.
  set_seg_mode(mode);

  try {
    // Sentence splitter.
    m_sentbreaker = new CSentenceSpliter(kMaxSentenceLen);
    // The shared resources.
    _take_snapshot();
  } catch (...) {
    // The destructor does not run for an object whose constructor throws.
    delete m_sentbreaker;
    delete[] m_buffer_for_charset_conv;
    throw;
  }
  if (!resources_ready()) std::fprintf(stderr, "error m_pBasicDict == NULL\n");
  if (m_bascii) _count_ascii_handle(+1);
}

CSegment::~CSegment() {
  if (m_bascii) _count_ascii_handle(-1);
  delete m_sentbreaker;
  delete[] m_buffer_for_charset_conv;
}

void CSegment::set_seg_mode(int mode) {
  m_bpos = (mode & (LX_POS | LX_COARSE)) != 0;  // coarse mode joins tokens by their tags
  m_bcw = (mode & LX_USR) != 0;
  m_bs2d = (mode & LX_S2D) != 0;
  m_bu2l = (mode & LX_U2L) != 0;
  m_bperson = (mode & LX_CN) != 0;
  m_bt2s = (mode & LX_T2S) != 0;
  m_bCUT = (mode & LX_CUT) != 0;
  m_bconv = (mode & LX_CONV) != 0;
  m_bpms = (mode & LX_PMUL) != 0;
  m_bascii = (mode & LX_ASC) != 0;
  m_bLocation = (mode & LX_LN) != 0;
  m_borig = (mode & LX_ORIG) != 0;
}

void CSegment::setOutMode(OutMode mode) { m_segtoken_saver.set_out_mode(mode); }

void CSegment::_bind_resources() {
  const CResourceSet* r = m_res.get();
  m_segtoken_saver.prepare_save(r ? r->basic_dict.get() : nullptr, r ? r->fuxing_dict : nullptr,
                                r ? r->loc_suffix_dict : nullptr, m_mode);
  m_segtoken_saver.set_coarse_data(r ? r->coarse.get() : nullptr);
  GESHU_INDEX = r ? r->geshu_idx : 0xFFFFFFFFu;
  m_lattice_builder.set_resource(&m_lattice, r ? r->basic_dict.get() : nullptr,
                                 r ? r->factoid.get() : nullptr);
  // The matcher only reads the dictionary.
  m_customword_matcher.m_pCustomDict = const_cast<CCustomDict*>(m_user_dict.get());
  m_amb_resolver.m_pBasicDict = r ? r->basic_dict.get() : nullptr;
  m_amb_resolver.m_pRule = r ? r->rule.get() : nullptr;
  m_amb_resolver.m_pSecondDict = r ? r->second_dict.get() : nullptr;
  m_amb_resolver.m_fenzhi_idx = r ? static_cast<uint32_t>(r->fenzhi_idx) : 0;
  m_amb_resolver.m_bpms = m_bpms;
}

// --- The loop over sentences --------------------------------------------------

bool CSegment::segment(const char* text, size_t len, size_t charset) {
  _take_snapshot();
  // The conversion buffer is allocated when a UTF-8 text needs it: a
  // handle whose first allocation failed still segments once memory is back.
  if (!resources_ready() || m_sentbreaker == nullptr) return false;
  // Splitter positions are 32-bit; a longer text cannot be walked.
  if (len >= CSentenceSpliter::kMaxParagraphLen) return false;
  if (text == nullptr && len > 0) return false;

  m_segtoken_saver.reset();
  m_ncharset = charset == static_cast<size_t>(LX_GBK) ? LX_GBK : LX_UTF8;
  m_segtoken_saver.set_charset(static_cast<int>(m_ncharset));
  const char* src = text;
  const size_t src_len = len;
  const bool utf8 = m_ncharset != static_cast<size_t>(LX_GBK);
  if (utf8 && !_convert_charset(text, len)) return false;
  // A UTF-8 text may grow as GBK units.
  if (len >= CSentenceSpliter::kMaxParagraphLen) return false;
  if (utf8)
    m_srcmap.begin_text(src, src_len, text, len, m_conv_at.data(), m_conv_special);
  else
    m_srcmap.begin_text(src, src_len, text, len, nullptr, 0);
  m_segtoken_saver.set_source(&m_srcmap, m_borig);

  CSentenceSpliter& sp = *m_sentbreaker;
  sp.m_paragraph = text;
  sp.m_paragraph_len = static_cast<uint32_t>(len);
  sp.m_paragraph_idx = 0;
  uint32_t back = 0;
  uint32_t slen = 0;
  while (const char* sentence = sp.next_sentence(slen, back)) {
    m_srcmap.begin_sentence(static_cast<size_t>(sentence - text), m_raw_offset);
    if (!_segment(sentence, slen)) return false;
    if (sp.m_btruncation) {
      back = static_cast<uint32_t>(_compute_back_len());
    } else {
      _save_spliter();
      back = 0;
    }
  }
  m_segtoken_saver.save_info_for_compatible();
  return true;
}

// --- The base pipeline --------------------------------------------------------

bool CSegment::_segment(const char* text, size_t len) {
  bool done = false;
  if (!_build_best_path(text, len, done)) return false;
  if (done) return true;

  _clear_cob_ovp_amb();
  _clear_amb_by_userrule();
  _clear_cob_by_seclex();
  join_reduplications(m_lattice, m_pText, static_cast<uint32_t>(m_nTextLen), *m_res->basic_dict);
  join_affix_words(m_lattice, m_pText, static_cast<uint32_t>(m_nTextLen), *m_res->basic_dict,
                   m_res->affixes);

  _finish_sentence();
  return true;
}

bool CSegment::_build_best_path(const char* text, size_t len, bool& done) {
  done = true;
  if (len == 0) return true;
  if (text == nullptr || len > m_nNodeMaxNum - 1) return false;
  m_pText = text;
  m_nTextLen = len;

  _normalize();
  if (m_nTextLen == 0) return true;

  const uint32_t n = static_cast<uint32_t>(m_nTextLen);
  if (!m_lattice_builder.build_lattice(m_pText, n)) return false;
  // No path reaching the end of the sentence (say, a model that gives every
  // word minus infinity) is a failed stage: the path must not be walked.
  if (!_short_path_search_rule() || !_short_path_set()) return false;
  m_amb_resolver.set_sentence(m_pText, n);
  done = false;
  return true;
}

void CSegment::_finish_sentence() {
  if (m_bcw) m_customword_matcher.generate_customwords(&m_lattice, m_pText, m_nTextLen);
  // The lattice was built on the lower-cased text; the words are cut from
  // the case-preserving one unless LX_U2L asks for lower case.
  if (!m_bu2l) m_pText = m_str_norm;
  m_segtoken_saver.m_pcustomwords = &m_customword_matcher;
  m_segtoken_saver.save_tokens(&m_lattice, m_pText, m_nTextLen, static_cast<int>(m_ncharset));
}

bool CSegment::_short_path_search_rule() {
  if (m_res == nullptr) return false;
  return rule_path_search(m_lattice, static_cast<uint32_t>(m_nTextLen), *m_res->basic_dict,
                          *m_res->word_lm, GESHU_INDEX, m_bCUT, m_wids);
}

bool CSegment::_short_path_set() {
  return rule_path_set(m_lattice, static_cast<uint32_t>(m_nTextLen));
}

void CSegment::_clear_cob_ovp_amb() { m_amb_resolver._clear_cob_ovp_amb(); }
void CSegment::_clear_amb_by_userrule() { m_amb_resolver._clear_amb_by_userrule(); }
void CSegment::_clear_cob_by_seclex() { m_amb_resolver._clear_cob_by_seclex(); }

// --- Normalisation ------------------------------------------------------------

void CSegment::_normalize() {
  const unsigned char* src = reinterpret_cast<const unsigned char*>(m_pText);
  const size_t n = m_nTextLen < kNormBufSize ? m_nTextLen : kNormBufSize - 1;
  m_raw_len = n;
  size_t o = 0;
  size_t i = 0;
  while (i < n) {
    const unsigned char c = src[i];
    m_raw_offset[o] = static_cast<uint16_t>(i);
    if (c < 0x80 || i + 1 == n) {
      m_str_norm[o++] = static_cast<char>(c);
      i += 1;
      continue;
    }
    const unsigned char d = src[i + 1];
    if (m_bs2d && c == 0xA3 && d > 0x80 && d != 0xA4 && d != 0xFE) {
      // Full-width ASCII; the yen sign and the macron stay full-width.
      m_str_norm[o++] = static_cast<char>(d - 0x80);
    } else {
      m_str_norm[o++] = static_cast<char>(c);
      m_raw_offset[o] = kNoRawOffset;
      m_str_norm[o++] = static_cast<char>(d);
    }
    i += 2;
  }
  m_raw_offset[o] = static_cast<uint16_t>(n);
  m_str_norm[o] = '\0';
  m_nTextLen = o;
  m_srcmap.set_normalised_same(o == n, m_raw_offset);

  if (m_bt2s && m_res != nullptr) m_res->t2s->convert(m_str_norm, static_cast<int>(o));

  for (size_t j = 0; j < o;) {
    const unsigned char c = static_cast<unsigned char>(m_str_norm[j]);
    if (c < 0x80 || j + 1 == o) {
      m_str_norm_u2l[j] =
          (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : static_cast<char>(c);
      j += 1;
    } else {
      m_str_norm_u2l[j] = m_str_norm[j];
      m_str_norm_u2l[j + 1] = m_str_norm[j + 1];
      j += 2;
    }
  }
  m_str_norm_u2l[o] = '\0';
  m_pText = m_str_norm_u2l;
  // Tokens of a UTF-8 sentence that normalisation left as it was read back
  // as the caller's bytes.
  m_segtoken_saver.m_sentence_same =
      m_srcmap.utf8() && o == n && std::memcmp(m_bu2l ? m_str_norm_u2l : m_str_norm, src, n) == 0;
}

// --- Separators and the back length ---------------------------------------------

void CSegment::_save_spliter() {
  uint32_t n = 0;
  const char* sep = m_sentbreaker->get_spliter(n);
  if (sep == nullptr || n == 0) return;
  const size_t off = static_cast<size_t>(sep - m_sentbreaker->m_paragraph);
  if (m_bs2d && !m_bconv && n == 2 && static_cast<unsigned char>(sep[0]) == 0xA3) {
    const char c = static_cast<char>(static_cast<unsigned char>(sep[1]) - 0x80);
    m_segtoken_saver.save_spliter(&c, 1, off, n);
  } else {
    m_segtoken_saver.save_spliter(sep, n, off, n);
  }
}

size_t CSegment::_compute_back_len() {
  CSegTokensSaver& s = m_segtoken_saver;
  const size_t tokens = s.m_seg_token_num;
  const size_t thick = s.m_thick_num;
  const size_t custom = s.m_custom_num;
  const size_t phrases = s.m_phrase_num;
  const size_t utf8_words = s.m_utf8_word_num;

  const size_t back = s.compute_back_len();
  if (back == 0) return 0;
  // The saver measured the withdrawn tokens on the normalised sentence; the
  // splitter steps back in the original one.  The tokens start at a
  // character of the original sentence unless a 0x80 byte made the
  // normalisation and the lattice walk the text differently; then nothing is
  // withdrawn, so that every byte is segmented exactly once.
  if (back < m_nTextLen) {
    const uint16_t raw = m_raw_offset[m_nTextLen - back];
    if (raw != kNoRawOffset && raw > 0 && raw < m_raw_len) return m_raw_len - raw;
  }
  s.m_seg_token_num = tokens;
  s.m_thick_num = thick;
  s.m_custom_num = custom;
  s.m_phrase_num = phrases;
  s.m_utf8_word_num = utf8_words;
  return 0;
}

// --- Charset conversion -----------------------------------------------------------

bool CSegment::_reserve_conv_buffer(size_t need) {
  if (m_buffer_for_charset_conv != nullptr && m_buf_charset_conv_size >= need) return true;
  const size_t size = need;
  char* buf = new (std::nothrow) char[size];
  if (buf == nullptr) return false;
  delete[] m_buffer_for_charset_conv;
  m_buffer_for_charset_conv = buf;
  m_buf_charset_conv_size = size;
  return true;
}

bool CSegment::_convert_charset(const char*& text, size_t& len) {
  if (len >= UINT32_MAX) return false;
  // Valid UTF-8 never grows as GBK units; only a byte that is not UTF-8
  // takes two.  Try the first bound, then the second.
  size_t n = SIZE_MAX;
  for (size_t cap : {len, 2 * len}) {
    if (!_reserve_conv_buffer(cap + 1)) return false;
    // Offsets of the units: storage kept across calls.
    if (m_conv_at.size() < cap + 1) m_conv_at.resize(cap + 1);
    n = utf8_to_gbk_units(text, len, m_buffer_for_charset_conv, cap, m_conv_at.data(),
                          m_conv_special);
    if (n != SIZE_MAX) break;
  }
  if (n == SIZE_MAX) return false;
  m_buffer_for_charset_conv[n] = '\0';
  // The converter's count, not the string length: a NUL inside the text is
  // text like any other byte, as it is for GBK input.
  text = m_buffer_for_charset_conv;
  len = n;
  return true;
}

void CSegment::convert_word_charset_to_utf8(const char*& word, size_t& len) {
  if (word == nullptr) return;
  // Every GBK byte may become three UTF-8 bytes (0x80 is the euro sign).
  if (len > (UINT32_MAX - 1) / 3) return;
  const size_t need = len * 3 + 1;
  char* old = m_buffer_for_charset_conv;
  const bool inside = old != nullptr && word >= old && word < old + m_buf_charset_conv_size;
  if (inside) {
    // Converting a word that lies in the buffer itself: convert into a new
    // buffer, then drop the old one.
    size_t size = need > m_buf_charset_conv_size ? need : m_buf_charset_conv_size;
    char* buf = new (std::nothrow) char[size];
    if (buf == nullptr) return;
    const int n = gbk_to_utf8(word, static_cast<uint32_t>(len), buf,
                              static_cast<uint32_t>(size < UINT32_MAX ? size : UINT32_MAX),
                              UCONV_INVCHAR_IGNORE);
    if (n < 0) {
      delete[] buf;
      return;
    }
    delete[] old;
    m_buffer_for_charset_conv = buf;
    m_buf_charset_conv_size = size;
    word = buf;
    len = static_cast<size_t>(n);
    return;
  }
  if (!_reserve_conv_buffer(need)) return;
  const uint32_t cap = m_buf_charset_conv_size < UINT32_MAX
                           ? static_cast<uint32_t>(m_buf_charset_conv_size)
                           : UINT32_MAX;
  const int n = gbk_to_utf8(word, static_cast<uint32_t>(len), m_buffer_for_charset_conv, cap,
                            UCONV_INVCHAR_IGNORE);
  if (n < 0) return;
  word = m_buffer_for_charset_conv;
  len = static_cast<size_t>(n);
}

// --- Results --------------------------------------------------------------------

int CSegment::get_tokens_count() {
  const size_t n = m_segtoken_saver.get_tokens_count();
  return n > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

// The readers answer only for an index below the count the caller was
// given: without LX_USR the saver reads fine tokens whatever the out mode,
// also where the count of that mode is smaller (OUT_SUBPHRASE counts 0).
bool CSegment::_valid_index(int index) {
  return index >= 0 && static_cast<size_t>(index) < m_segtoken_saver.get_tokens_count();
}

const char* CSegment::get_word_at(int index) {
  return _valid_index(index) ? m_segtoken_saver.get_word_at(static_cast<size_t>(index)) : nullptr;
}

WP* CSegment::get_word_pos_at(int index) {
  return _valid_index(index) ? m_segtoken_saver.get_word_info_at(static_cast<size_t>(index))
                             : nullptr;
}

ms_word_t* CSegment::get_ms_word_at(int index) {
  return _valid_index(index) ? m_segtoken_saver.get_ms_word_at(static_cast<size_t>(index))
                             : nullptr;
}

ms_wp_t* CSegment::get_ms_word_pos_at(int index) {
  return _valid_index(index) ? m_segtoken_saver.get_ms_word_info_at(static_cast<size_t>(index))
                             : nullptr;
}

bool CSegment::get_span_at(int index, size_t& begin, size_t& len) {
  return _valid_index(index) && m_segtoken_saver.get_span(static_cast<size_t>(index), begin, len);
}

void CSegment::get_result(seg_tokens_t& seg_tokens) { m_segtoken_saver.get_result(seg_tokens); }

int CSegment::get_class_num(int cls) const {
  return m_user_dict != nullptr ? m_user_dict->GetClsNum(cls) : 0;
}

const char* CSegment::get_class_at(int cls, int idx) {
  if (m_user_dict == nullptr) return "";
  return m_user_dict->GetClsAt(cls, idx, m_cls_result);
}
