// The saver object, the path walk and its dispatch, emission, person and
// transliterated names, words with two segmentations and custom tokens.  The
// savers of factoids, locations and other words are in word_savers.cpp, the
// views and readers in result_views.cpp.
#include "seg/segtokens_saver.h"

#include <cstring>
#include <new>

#include "dict/BasicDict.h"
#include "seg/char_class.h"
#include "seg/coarse_merge.h"
#include "seg/customword_matcher.h"

CSegTokensSaver::CSegTokensSaver()
    : m_pcustomwords(0),
      m_str_buffer(16384, 32),
      m_word_num(0),
      m_seg_token_num(0),
      m_seg_old_token_num(0),
      m_thick_num(0),
      m_custom_num(0),
      m_phrase_num(0),
      m_outword_item_num(0),
      m_outphrase_item_num(0),
      m_outword_num(0),
      m_outphrase_num(0),
      m_pfuxingdict(0),
      m_plocation_suffix_dict(0),
      m_pbasicdict(0),
      m_ptext(0),
      m_textlen(0),
      m_bpostag(false),
      m_bsecpos(false),
      m_bsgu(false),
      m_bfgu(false),
      m_blgu(false),
      m_bpgu(false),
      m_bengu(false),
      m_bwms(false),
      m_bwgu(false),
      m_bpms(false),
      m_bnew_result(false),
      m_busr(false),
      m_bcoarse(false),
      m_bcoarse_untag(false),
      m_pcoarse(0),
      m_coarse_joined(false),
      m_part_num(0),
      m_out_mode(OUT_WORD),
      m_ncharset(LX_GBK),
      m_utf8_word_num(0),
      m_srcmap(0),
      m_borig(false),
      m_sentence_same(false) {
  m_wordbuf[0] = '\0';
  std::memset(&m_word_pos, 0, sizeof(m_word_pos));
  std::memset(&m_ms_word, 0, sizeof(m_ms_word));
  std::memset(&m_ms_word_pos, 0, sizeof(m_ms_word_pos));
  std::memset(m_wordpart, 0, sizeof(m_wordpart));
}

CSegTokensSaver::~CSegTokensSaver() {}

void CSegTokensSaver::prepare_save(CBasicDict* pbasicdict, HashDict* pfuxingdict,
                                   HashDict* plssfdict, int seg_mode) {
  m_pbasicdict = pbasicdict;
  m_pfuxingdict = pfuxingdict;
  m_plocation_suffix_dict = plssfdict;
  m_bcoarse = (seg_mode & LX_COARSE) != 0;
  // Coarse mode tags tokens to join them even when LX_POS is off.
  m_bpostag = (seg_mode & (LX_POS | LX_COARSE)) != 0;
  m_bcoarse_untag = m_bcoarse && (seg_mode & LX_POS) == 0;
  m_bsecpos = (seg_mode & LX_SECPOS) != 0;
  m_bsgu = (seg_mode & LX_SGU) != 0;
  m_bfgu = (seg_mode & LX_GU) != 0;
  m_blgu = (seg_mode & LX_LGU) != 0;
  m_bpgu = (seg_mode & LX_PGU) != 0;
  m_bengu = (seg_mode & LX_ENGU) != 0;
  m_bwms = (seg_mode & LX_WMUL) != 0;
  m_bwgu = (seg_mode & LX_WGU) != 0;
  m_bpms = (seg_mode & LX_PMUL) != 0;
  m_bnew_result = (seg_mode & LX_NEW_RES) != 0;
  m_busr = (seg_mode & LX_USR) != 0;
}

void CSegTokensSaver::reset() {
  m_word_num = 0;
  m_seg_token_num = 0;
  m_seg_old_token_num = 0;
  m_thick_num = 0;
  m_custom_num = 0;
  m_phrase_num = 0;
  m_outword_num = 0;
  m_outphrase_num = 0;
  m_part_num = 0;
  // Sizes only: the storage stays for the next call.
  m_word_sect_num.m_size = 0;
  m_seg_tokens.m_size = 0;
  m_thick_tokens.m_size = 0;
  m_custom_tokens.m_size = 0;
  m_phrase_tokens.m_size = 0;
  m_outword_item_num = 0;
  m_outphrase_item_num = 0;
  m_outword_items.m_size = 0;
  m_outphrase_items.m_size = 0;
  m_utf8_word_num = 0;
  m_utf8_words.m_size = 0;
  m_src_copy.clear();
  m_str_buffer.clear();
}

// --- Emission ----------------------------------------------------------------

const char* CSegTokensSaver::_store(const char* text, size_t len) {
  // Token texts are at most a sentence long (its UTF-8 form at most three
  // times that), far below the arena's block: a null copy means that memory
  // ran out.
  const char* copy = len < m_str_buffer.m_nBlockSize ? m_str_buffer.push(text, (unsigned)len) : 0;
  if (copy == 0) throw std::bad_alloc();
  return copy;
}

void CSegTokensSaver::_save_word(const char* word, size_t wlen, unsigned char pos,
                                 unsigned char type) {
  const size_t off = (size_t)(word - m_ptext);
  size_t g0, g1;
  _gbk_range(off, wlen, g0, g1);
  _push_token(word, wlen, pos, type, g0, g1, off);
}

void CSegTokensSaver::_push_token(const char* text, size_t len, unsigned char pos,
                                  unsigned char type, size_t g0, size_t g1, size_t norm_off) {
  const char* stored = text;
  size_t n = len;
  if (m_borig && m_srcmap != 0 && g1 > g0 && g1 <= m_srcmap->gbk_len()) {
    stored = m_srcmap->gbk() + g0;
    n = g1 - g0;
  }
  const size_t k = m_seg_token_num;
  _token_t& t = m_seg_tokens[(long)k];
  t.word = _store(stored, n);
  t.pos = pos;
  t.wlen = n;
  t.wtype = type;
  span_t& sp = m_spans[(long)k];
  sp.begin = sp.len = sp.same = 0;
  if (m_srcmap != 0) {
    const size_t b = m_srcmap->src_at(g0), e = m_srcmap->src_at(g1);
    sp.begin = (uint32_t)b;
    sp.len = (uint32_t)(e >= b ? e - b : 0);
    // A separator is the caller's when it was not rewritten (LX_S2D).
    sp.same = norm_off == kNotInSentence ? text == m_srcmap->gbk() + g0 : m_sentence_same;
    if (m_srcmap->special() && !m_borig) _note_utf8_word(k, text, len, g0, g1, norm_off);
  }
  ++m_seg_token_num;
}

void CSegTokensSaver::_save_thick_word(const char* word, size_t wlen, unsigned char pos,
                                       size_t sidx, size_t eidx) {
  _stored_text(word, wlen);
  _comb_token_t& t = m_thick_tokens[(long)m_thick_num];
  t.word = _store(word, wlen);
  t.pos = pos;
  t.wlen = wlen;
  t.cls = 0;  // thick tokens have no class
  t.sidx = sidx;
  t.eidx = eidx;
  ++m_thick_num;
}

bool CSegTokensSaver::_save_part(const char* word, size_t wlen, size_t off, size_t len,
                                 unsigned char pos, unsigned char wtype) {
  if (len == 0 || off > wlen || len > wlen - off) return false;
  _save_word(word + off, len, pos, wtype);
  return true;
}

void CSegTokensSaver::_end_word(size_t first, bool thick, const char* word, size_t wlen,
                                unsigned char pos) {
  const size_t n = m_seg_token_num - first;
  m_word_sect_num[(long)m_word_num] = n;
  ++m_word_num;
  if (thick && m_bnew_result && n > 0) _save_thick_word(word, wlen, pos, first, m_seg_token_num - 1);
}

void CSegTokensSaver::_save_whole(const char* word, size_t wlen, unsigned char pos) {
  const size_t first = m_seg_token_num;
  _save_word(word, wlen, pos, 0);
  _end_word(first, false, word, wlen, pos);
}

const char* CSegTokensSaver::_item_text(const tSegItemInfo* item) const {
  if (item == 0 || m_ptext == 0 || item->length == 0) return 0;
  if (item->begin_pos > m_textlen || item->length > m_textlen - item->begin_pos) return 0;
  return m_ptext + item->begin_pos;
}

// --- The walk ------------------------------------------------------------------

void CSegTokensSaver::save_tokens(CLattice* plattice, const char* text, size_t textlen,
                                  int charset) {
  m_ptext = text;
  m_textlen = text != 0 ? textlen : 0;
  m_ncharset = charset;
  m_word_num = 0;
  m_seg_old_token_num = m_seg_token_num;
  const size_t thick_first = m_thick_num;
  m_coarse_joined = false;

  if (plattice != 0) {
    size_t index = plattice->m_nodes[0].nNextLen;
    // Index 0 would be the sentence start, which ends no word; a node with
    // nNextLen 0 would never advance.
    while (index > 0 && index <= m_textlen && index < CLattice::kMaxNodes) {
      tNodeInfo& node = plattice->m_nodes[index];
      _save_path_item(node.MaxItem);
      if (node.nNextLen == 0) break;
      index += node.nNextLen;
    }
  }

  if (m_bcoarse) {
    _coarse_merge(m_seg_old_token_num, thick_first);
    if (m_bcoarse_untag) _coarse_untag(m_seg_old_token_num, thick_first);
  }
  if (m_busr) _save_custom_tokens();
}

void CSegTokensSaver::_save_path_item(tSegItemInfo* item) {
  if (_item_text(item) == 0) {
    // Nothing to cut (no item, or one outside the sentence): the step still
    // counts as a path word, with no token.
    _end_word(m_seg_token_num, false, 0, 0, 0);
    return;
  }
  switch (item->type) {
    case kItemFactoid:
      _save_factoid_word(item);
      break;
    case kItemPersonWord:
    case kItemPerson:
    case kItemTransNameWord:
    case kItemTransPerson:
      _save_name_word(item);
      break;
    case kItemLocation:
    case kItemTransLocation:
      _save_location_word(item);
      break;
    case kItemMulSeg:
    case kItemAmbRule:
    case kItemAmbRuleTwin:
      _save_mulseg_word(item);
      break;
    default:
      _save_other_word(item);
      break;
  }
}

// --- Person names ------------------------------------------------------------

void CSegTokensSaver::_save_name_word(tSegItemInfo* pCurtItem) {
  if (pCurtItem->type == kItemTransNameWord || pCurtItem->type == kItemTransPerson) {
    _split_trans(pCurtItem);
    return;
  }
  const char* word = _item_text(pCurtItem);
  const size_t len = pCurtItem->length;
  const unsigned char own_pos = (unsigned char)(pCurtItem->posIndex + 1);

  if (len < 5) {
    if (pCurtItem->type == kItemPersonWord) {
      _save_other_word(pCurtItem);
      return;
    }
  } else if (m_bpgu && !m_bcoarse) {
    std::memcpy(m_wordbuf, word, FUXIN_LEN);
    m_wordbuf[FUXIN_LEN] = '\0';
    size_t surname = 0;
    if (m_pfuxingdict != 0 && m_pfuxingdict->find(m_wordbuf) != 0)
      surname = FUXIN_LEN;
    else if (len == 6)
      surname = 2;
    if (surname > 0) {
      const size_t first = m_seg_token_num;
      _save_part(word, len, 0, surname, LX_NRF, 0);
      _save_part(word, len, surname, len - surname, LX_NRG, 0);
      _end_word(first, true, word, len, LX_NR);
      return;
    }
  }
  // Whole, with the name's own tag whatever LX_POS and LX_SECPOS say.
  _save_whole(word, len, own_pos);
}

bool CSegTokensSaver::_is_name_separator(const char* str, size_t len) {
  return is_name_separator_char(str, len);
}

void CSegTokensSaver::_split_trans(tSegItemInfo* pCurtItem) {
  const char* word = _item_text(pCurtItem);
  const size_t len = pCurtItem->length;
  m_part_num = 0;
  bool valid = true;
  bool found = false;
  // A name with more entries than m_wordpart holds is not split: dropping
  // entries would lose part of the name from the output.
  bool overflow = false;

  size_t start = 0;
  size_t i = 0;
  while (i < len) {
    const size_t cl = ((unsigned char)word[i] >= 0x80 && i + 1 < len) ? 2 : 1;
    if (_is_name_separator(word + i, cl)) {
      found = true;
      const size_t need = (i > start ? 2 : 1);
      if (m_part_num + need > MAX_SECTS_NUM) {
        overflow = true;
        break;
      }
      if (i > start) {
        m_wordpart[m_part_num++] = _pn_part_t{start, i - start, false};
      } else {
        valid = false;  // a separator at the start or right after another
      }
      m_wordpart[m_part_num++] = _pn_part_t{i, cl, true};
      start = i + cl;
    }
    i += cl;
  }
  if (!overflow && found && start < len) {
    if (m_part_num < MAX_SECTS_NUM)
      m_wordpart[m_part_num++] = _pn_part_t{start, len - start, false};
    else
      overflow = true;
  }

  bool split = found && !overflow;
  if (split) {
    if (m_part_num == 3 && len <= 6) valid = false;  // one character on each side
    if (valid && (!m_bpgu || m_bcoarse)) split = false;
  }

  if (!split) {
    unsigned char pos;
    if (m_bpostag)
      pos = (unsigned char)(pCurtItem->posIndex + 1);
    else
      pos = pCurtItem->type == kItemTransPerson ? LX_NR : 0;
    _save_whole(word, len, pos);
    return;
  }

  const size_t first = m_seg_token_num;
  for (size_t k = 0; k < m_part_num; ++k) {
    const _pn_part_t& part = m_wordpart[k];
    const unsigned char pos = part.is_separator ? LX_W : (valid ? LX_NR : LX_N);
    _save_part(word, len, part.begin_pos, part.len, pos, 0);
  }
  _end_word(first, valid, word, len, LX_NR);
}

// --- Words with two segmentations ---------------------------------------------

void CSegTokensSaver::_save_rule_words(const char* word, size_t wlen, const rule_block_t& block,
                                       const uint8_t* pos, size_t pos_num, unsigned char wtype) {
  const word_prop_t* info = m_pbasicdict->mPropDict.m_word_info;
  size_t off = 0;
  for (uint32_t k = 0; k < block.n; ++k) {
    // Word indexes of a loaded dictionary's blocks are checked on load.
    const uint32_t x = (uint32_t)block.x[k];
    if (x >= m_pbasicdict->mWordNum) break;
    const size_t plen = info[x].m_WordLength;
    unsigned char p = k < pos_num ? pos[k] : 0;
    if (m_bsecpos) p = map_pos(p);
    _save_part(word, wlen, off, plen, p, wtype);  // skipped if it leaves the word
    off += plen;
  }
}

void CSegTokensSaver::_save_mulseg_word(tSegItemInfo* pCurtItem) {
  const char* word = _item_text(pCurtItem);
  const size_t len = pCurtItem->length;
  const int type = pCurtItem->type;
  const size_t first = m_seg_token_num;

  const bool both87 = m_bwms && type == kItemMulSeg;
  const bool first87 = !both87 && m_bwgu && type == kItemMulSeg;
  const bool both88 =
      !both87 && !first87 && m_bpms && (type == kItemAmbRule || type == kItemAmbRuleTwin);

  const CBasicDict* dict = m_pbasicdict;
  const word_prop_t* wi = 0;
  if ((both87 || first87 || both88) && dict != 0 && pCurtItem->nAttributeIdx >= 1 &&
      pCurtItem->nAttributeIdx <= dict->mWordNum) {
    wi = dict->word_info(pCurtItem->nAttributeIdx - 1);
    if (wi != 0 && wi->m_seg_rule_sidx == Prop_None) wi = 0;
  }

  if (wi != 0 && (both87 || first87)) {
    // w1, w2, p1, p2 (first segmentation), w3, w4, p3, p4 (second).
    const LogP* r = dict->mulseg_record(pCurtItem->nAttributeIdx - 1);
    if (r != 0) {
      const word_prop_t* info = dict->mPropDict.m_word_info;
      size_t l[4];
      unsigned char p[4];
      static const int word_at[4] = {0, 1, 4, 5};
      for (int k = 0; k < 4; ++k) {
        l[k] = info[(uint32_t)r[word_at[k]]].m_WordLength;
        p[k] = (unsigned char)(uint32_t)r[word_at[k] + 2];
        if (m_bsecpos) p[k] = map_pos(p[k]);
      }
      const unsigned char wtype1 = both87 ? 1 : 0;
      _save_part(word, len, 0, l[0], p[0], wtype1);
      _save_part(word, len, l[0], l[1], p[1], wtype1);
      if (both87) {
        _save_part(word, len, 0, l[2], p[2], 2);
        if (l[3] <= len) _save_part(word, len, len - l[3], l[3], p[3], 2);  // ends with the word
      }
    }
  } else if (wi != 0 && both88) {
    // Two rule blocks; their POS ids follow each other from m_pos_sidx.
    const uint32_t idx = pCurtItem->nAttributeIdx - 1;
    rule_block_t b1, b2;
    const bool ok1 = dict->rule_block(idx, 0, b1);
    const bool ok2 = ok1 && dict->rule_block(idx, 1, b2);
    const uint8_t* pos = 0;
    size_t pos_num = 0;
    if (wi->m_pos_sidx != Prop_None && wi->m_pos_sidx < dict->mPropDict.m_POS_num) {
      pos = dict->mPropDict.m_POS + wi->m_pos_sidx;
      pos_num = dict->mPropDict.m_POS_num - wi->m_pos_sidx;
    }
    const size_t n1 = ok1 ? (uint8_t)b1.n : 0;
    const uint8_t* pos2 = pos_num > n1 ? pos + n1 : 0;
    const size_t pos2_num = pos_num > n1 ? pos_num - n1 : 0;
    if (type == kItemAmbRule) {
      if (ok1) _save_rule_words(word, len, b1, pos, pos_num, 1);
      if (ok2) _save_rule_words(word, len, b2, pos2, pos2_num, 2);
    } else {
      if (ok2) _save_rule_words(word, len, b2, pos2, pos2_num, 1);
      if (ok1) _save_rule_words(word, len, b1, pos, pos_num, 2);
    }
  }

  if (m_seg_token_num == first) {
    // No rule applies, or its record gave nothing usable: the word stays
    // whole with its own tag, so that its text is never lost.
    _save_word(word, len, (unsigned char)(pCurtItem->posIndex + 1), 0);
  }
  _end_word(first, false, word, len, 0);
}

// --- Custom words and phrases -----------------------------------------------------

void CSegTokensSaver::_save_custom_tokens() {
  if (m_pcustomwords == 0) return;
  _comb_t* all = 0;
  size_t* list = 0;
  size_t num = 0;
  m_pcustomwords->get_result(all, list, num);
  if (num == 0 || all == 0 || list == 0) return;

  const size_t total = m_pcustomwords->m_all_cw_num;
  size_t j = 0;
  size_t start = m_seg_old_token_num;
  for (size_t k = 0; k < num; ++k) {
    if (list[k] >= total) continue;
    const _comb_t& cw = all[list[k]];
    // Only words of this sentence's path, and text inside the sentence.
    if (cw.sIdx < 0 || cw.eIdx < cw.sIdx || (size_t)cw.eIdx >= m_word_num) continue;
    if (m_coarse_joined &&
        ((m_coarse_cut[(long)cw.sIdx] & 1) != 0 || (m_coarse_cut[(long)cw.eIdx] & 2) != 0))
      continue;
    if (m_ptext == 0 || cw.wlen == 0 || cw.oft > m_textlen || cw.wlen > m_textlen - cw.oft)
      continue;

    while (j < (size_t)cw.sIdx) {
      start += m_word_sect_num[(long)j];
      ++j;
    }
    size_t end = start;
    for (size_t w = j; w <= (size_t)cw.eIdx; ++w) end += m_word_sect_num[(long)w];
    // A custom word over path words without tokens would span nothing.
    if (end == start) continue;

    const bool phrase = (cw.data & 1) != 0;
    _comb_token_t& t = phrase ? m_phrase_tokens[(long)m_phrase_num] : m_custom_tokens[(long)m_custom_num];
    unsigned char pos = (unsigned char)(((unsigned)cw.data >> 1) & 0x3F);
    if (end - start == 1 && pos == LX_N) pos = m_seg_tokens[(long)start].pos;
    const char* text = m_ptext + cw.oft;
    size_t tlen = cw.wlen;
    _stored_text(text, tlen);
    t.word = _store(text, tlen);
    t.pos = pos;
    t.wlen = tlen;
    t.cls = cw.clsidx;
    t.sidx = start;
    t.eidx = end - 1;
    if (phrase)
      ++m_phrase_num;
    else
      ++m_custom_num;
  }
}
