// Savers of factoids, location names and all other words: whether a word
// stays one fine token or is split, the tag of every token, and whether a
// thick token spans the split.
#include <cstring>

#include "dict/BasicDict.h"
#include "seg/char_class.h"
#include "seg/segtokens_saver.h"

namespace {

enum { CLS_OTHER = 0, CLS_LETTER = 1, CLS_DIGIT = 2 };

inline int byte_class(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return CLS_LETTER;
  if (c >= '0' && c <= '9') return CLS_DIGIT;
  return CLS_OTHER;
}

// Factoid types (posIndex + 1) with a split rule of their own.
const unsigned kPosIndexAlnum = LX_NX - 1;  // letters and digits
const unsigned kPosIndexWww = LX_WWW - 1;   // web address

}  // namespace

// --- Factoids --------------------------------------------------------------------

void CSegTokensSaver::_save_factoid_word(tSegItemInfo* pCurtItem) {
  const char* word = _item_text(pCurtItem);
  const size_t len = pCurtItem->length;
  const unsigned own = (unsigned)pCurtItem->posIndex + 1;
  const size_t first = m_seg_token_num;

  // A number merged with its unit (年, 万亿, 月份): number, then unit.
  if (m_bfgu && !m_bcoarse && pCurtItem->bcomb && len > 2) {
    const unsigned char u = m_bsecpos ? map_pos(own) : (unsigned char)own;
    const size_t unit = merged_unit_len(word, len);
    _save_part(word, len, 0, len - unit, LX_M, 0);
    _save_part(word, len, len - unit, unit, u, 0);
    _end_word(first, true, word, len, u);
    return;
  }

  // One run of letters followed by one run of digits, or the other way round.
  if (m_bengu && pCurtItem->posIndex == kPosIndexAlnum) {
    const int cf = byte_class((unsigned char)word[0]);
    const int cl = byte_class((unsigned char)word[len - 1]);
    if ((cf == CLS_LETTER && cl == CLS_DIGIT) || (cf == CLS_DIGIT && cl == CLS_LETTER)) {
      size_t f = 0;
      while (f < len && byte_class((unsigned char)word[f]) == cf) ++f;
      size_t b = len - 1;
      while (b > 0 && byte_class((unsigned char)word[b]) == cl) --b;
      if (f > b && len >= 4) {
        const unsigned char pf = cf == CLS_LETTER ? LX_NX : LX_M;
        const unsigned char pl = cl == CLS_LETTER ? LX_NX : LX_M;
        _save_part(word, len, 0, f, pf, 0);
        _save_part(word, len, f, len - f, pl, 0);
        _end_word(first, true, word, len, LX_NX);
        return;
      }
    }
  }

  // A web address, cut at ":", "." and "/" (bytes that cannot be the second
  // byte of a GBK character, so a byte scan is safe).
  if (m_bengu && pCurtItem->posIndex == kPosIndexWww) {
    size_t cut = 0;
    for (size_t i = 0; i < len; ++i) {
      const char c = word[i];
      if (c == ':' || c == '.' || c == '/') {
        _save_part(word, len, cut, i - cut, LX_NX, 0);
        _save_part(word, len, i, 1, LX_W, 0);
        cut = i + 1;
      }
    }
    _save_part(word, len, cut, len - cut, LX_NX, 0);
    _end_word(first, m_seg_token_num - first >= 2, word, len, LX_WWW);
    return;
  }

  _save_whole(word, len, (unsigned char)own);
}

// --- Location names ------------------------------------------------------------------

int CSegTokensSaver::get_suffix_len(const char* str, int pos, int len) {
  if (m_plocation_suffix_dict == 0 || str == 0 || len <= 0 || pos < 0) return 0;
  const char* end = str + pos + len;
  char key[8];
  static const int kSuffix[3] = {6, 4, 2};
  static const int kMinLen[3] = {10, 8, 6};
  for (int k = 0; k < 3; ++k) {
    if (len < kMinLen[k]) continue;
    std::memcpy(key, end - kSuffix[k], (size_t)kSuffix[k]);
    key[kSuffix[k]] = '\0';
    if (m_plocation_suffix_dict->find(key) != 0) return kSuffix[k];
  }
  return 0;
}

void CSegTokensSaver::_save_location_word(tSegItemInfo* cur_item) {
  const char* word = _item_text(cur_item);
  const size_t len = cur_item->length;
  const size_t first = m_seg_token_num;

  const int s = (m_blgu && len >= 6) ? get_suffix_len(word, 0, (int)len) : 0;
  if (s == 0) {
    _save_whole(word, len, _tag_or_0(LX_NS));
    return;
  }

  // At least 4 bytes stay before a suffix, so r >= 2.
  const size_t body = len - (size_t)s;  // bytes before the suffix
  const size_t r = body - 2;            // bytes before the character before the suffix
  const bool first_num = is_numeral(word, kPlaceNumerals);
  if (first_num && r > 3) {
    if (is_numeral(word + r, kPlaceNumerals)) {
      // Numeral, middle, numeral, suffix.  For a word of 6 bytes plus the
      // suffix the cuts are at 2, 4 and 6; a longer middle stays one token,
      // so that the tokens always cover the word.
      _save_part(word, len, 0, 2, _tag_or_0(LX_M), 0);
      _save_part(word, len, 2, r - 2, _tag_or_0(LX_N), 0);
      _save_part(word, len, r, 2, _tag_or_0(LX_M), 0);
      _save_part(word, len, body, (size_t)s, _tag_or_0(LX_N), 0);
    } else {
      _save_part(word, len, 0, r, _tag_or_0(LX_NS), 0);
      _save_part(word, len, r, 2, _tag_or_0(LX_M), 0);
      _save_part(word, len, body, (size_t)s, _tag_or_0(LX_N), 0);
    }
  } else if (first_num && body == 4) {
    _save_part(word, len, 0, 2, _tag_or_0(LX_M), 0);
    _save_part(word, len, 2, 2, _tag_or_0(LX_N), 0);
    _save_part(word, len, body, (size_t)s, _tag_or_0(LX_N), 0);
  } else {
    _save_part(word, len, 0, body, LX_NS, 0);
    _save_part(word, len, body, (size_t)s, LX_N, 0);
  }
  _end_word(first, true, word, len, LX_NS);
}

// --- Other words -----------------------------------------------------------------------

void CSegTokensSaver::_save_other_word(tSegItemInfo* pCurtItem) {
  const char* word = _item_text(pCurtItem);
  const size_t len = pCurtItem->length;
  const unsigned own = (unsigned)pCurtItem->posIndex + 1;

  // Sub-word record: n, n lengths, n POS ids.
  if (m_bsgu && m_pbasicdict != 0 && pCurtItem->nAttributeIdx >= 1 &&
      pCurtItem->nAttributeIdx <= m_pbasicdict->mWordNum) {
    const uint8_t* rec = m_pbasicdict->subword_record(pCurtItem->nAttributeIdx - 1);
    if (rec != 0 && rec[0] > 0) {
      const size_t n = rec[0];
      const size_t first = m_seg_token_num;
      size_t off = 0;
      for (size_t k = 0; k < n; ++k) {
        const size_t plen = rec[1 + k];
        _save_part(word, len, off, plen, map_pos(rec[1 + n + k]), 0);
        off += plen;
      }
      if (m_seg_token_num > first) {
        unsigned char tp = _tag_or_0(own);
        if (m_bsecpos) tp = map_pos(tp);
        _end_word(first, true, word, len, tp);
        return;
      }
      // No part fitted: the word stays whole below.
    }
  }

  if (m_blgu && (pCurtItem->type == kItemLocationWord || pCurtItem->type == kItemLocationWord2)) {
    _save_location_word(pCurtItem);
    return;
  }

  unsigned char p = _tag_or_0(own);
  if (m_bsecpos) p = map_pos(p);
  _save_whole(word, len, p);
}
