#include "seg/customword_matcher.h"

#include "dict/CustomDict.h"

namespace {

// A path word of one character: one byte, or two bytes starting with a lead
// byte.
inline size_t is_single_char_word(const char* w, size_t len) {
  return (len == 1 || (len == 2 && (unsigned char)w[0] >= 0x80)) ? 1 : 0;
}

// POS identifier given to the entries of the system custom dictionary ("n").
const unsigned char kSysEntryPos = 16;

}  // namespace

CCustomwordMatcher::CCustomwordMatcher(CCustomDict* pCustomDict)
    : m_buse_fmm_custom_words(false),
      m_fmm_cw_num(0),
      m_fmm_w_num(0),
      m_fmm_sw_num(0),
      m_bmm_cw_num(0),
      m_bmm_w_num(0),
      m_bmm_sw_num(0),
      m_pCustomDict(pCustomDict),
      m_all_cw_num(0) {}

void CCustomwordMatcher::generate_customwords(CLattice* plattice, const char* text,
                                              size_t textlen) {
  _match_customwords(plattice, text, textlen);
  _generate_fbmm_customwords();
  _set_mm_result();
}

void CCustomwordMatcher::_add_candidate(int sIdx, int eIdx, const match_t& m, size_t oft,
                                        size_t single) {
  _comb_t& c = m_matched_custom_words[(long)m_all_cw_num];
  c.sIdx = sIdx;
  c.eIdx = eIdx;
  c.data = m.data;
  c.clsidx = m.clsidx;
  c.oft = oft;
  c.wlen = m.len;
  m_cw_single_char_num[(long)m_all_cw_num] = single;
  ++m_all_cw_num;
}

void CCustomwordMatcher::_match_customwords(CLattice* plattice, const char* text,
                                            size_t textlen) {
  m_all_cw_num = 0;
  CCustomDict* cd = m_pCustomDict;
  if (plattice == 0 || text == 0 || textlen == 0 || cd == 0) return;
  // Node positions beyond the lattice cannot be on a path.
  if (textlen >= CLattice::kMaxNodes) textlen = CLattice::kMaxNodes - 1;

  const bool has_user = cd->m_attr != 0 || cd->m_attrusr != 0;
  Darts::DoubleArray::result_pair_type found[kMaxPrefixMatches];
  Darts2::DoubleArray::result_pair_type sysfound[kMaxPrefixMatches];
  match_t kept[kMaxPrefixMatches];

  size_t p = 0;
  int w = 0;
  while (p < textlen) {
    const size_t len = plattice->m_nodes[p].nNextLen;
    // A node without a next word ends the path (and would never advance).
    if (len == 0) break;

    size_t nkept = 0;
    size_t longest = 0;
    if (len <= cd->m_cwMaxLen) {
      if (has_user) {
        size_t n = cd->m_cd.commonPrefixSearch(text + p, found, kMaxPrefixMatches, textlen - p);
        if (n > kMaxPrefixMatches) n = kMaxPrefixMatches;
        for (size_t k = 0; k < n; ++k) {
          const int entry = found[k].value & 0x7FFFFFFF;
          if ((size_t)entry >= cd->m_attrNum) continue;  // no record: not a word
          match_t& m = kept[nkept++];
          m.len = cd->getlen(entry);
          m.data = cd->getdata(entry);
          m.clsidx = cd->getidx(entry);
          if (m.len > longest) longest = m.len;
        }
      }
      if (nkept == 0 && cd->m_SysCustomDict) {
        size_t n =
            cd->m_syscd.commonPrefixSearch(text + p, sysfound, kMaxPrefixMatches, textlen - p);
        if (n > kMaxPrefixMatches) n = kMaxPrefixMatches;
        for (size_t k = 0; k < n; ++k) {
          const int value = sysfound[k].value & 0x7FFFFFFF;
          match_t& m = kept[nkept++];
          m.len = sysfound[k].length;
          m.data = CCustomDict::setidxpos(value, kSysEntryPos, 0);
          m.clsidx = value;
          if (m.len > longest) longest = m.len;
        }
      }
    }

    if (nkept > 0 && len <= longest) {
      // Extend over the following path words while an entry can still end
      // on one of their ends.
      size_t acc = len;
      int e = w;
      size_t single = is_single_char_word(text + p, len);
      size_t q = p + len;  // start of the path word after word e
      for (;;) {
        for (size_t k = 0; k < nkept; ++k)
          if (kept[k].len == acc) _add_candidate(w, e, kept[k], p, single);
        if (q >= textlen) break;
        const size_t next = plattice->m_nodes[q].nNextLen;
        if (next == 0) break;
        acc += next;
        if (acc > longest) break;
        ++e;
        single += is_single_char_word(text + q, next);
        q += next;
      }
    }

    p += len;
    ++w;
  }
}

void CCustomwordMatcher::_generate_fbmm_customwords() {
  m_fmm_cw_num = 0;
  m_fmm_w_num = 0;
  m_fmm_sw_num = 0;
  m_bmm_cw_num = 0;
  m_bmm_w_num = 0;
  m_bmm_sw_num = 0;

  size_t i = 0;
  while (i < m_all_cw_num) {
    const _comb_t& cand = m_matched_custom_words[(long)i];
    if (m_fmm_cw_num > 0) {
      const size_t last = m_forward_custom_words[(long)(m_fmm_cw_num - 1)];
      if (cand.sIdx <= m_matched_custom_words[(long)last].eIdx) {
        ++i;
        continue;
      }
    }
    // The longest of the candidates starting at this word is the last of
    // its group.
    size_t g = i;
    while (g + 1 < m_all_cw_num && m_matched_custom_words[(long)(g + 1)].sIdx == cand.sIdx) ++g;
    const _comb_t& best = m_matched_custom_words[(long)g];
    m_forward_custom_words[(long)m_fmm_cw_num] = g;
    ++m_fmm_cw_num;
    m_fmm_w_num += (size_t)(best.eIdx - best.sIdx + 1);
    m_fmm_sw_num += m_cw_single_char_num[(long)g];
    i = g + 1;
  }
}

void CCustomwordMatcher::_set_mm_result() { m_buse_fmm_custom_words = true; }

void CCustomwordMatcher::get_result(_comb_t*& all_cw_data, size_t*& cw_data_idx,
                                    size_t& cw_num) {
  all_cw_data = m_matched_custom_words.data();
  if (m_buse_fmm_custom_words) {
    cw_data_idx = m_forward_custom_words.data();
    cw_num = m_fmm_cw_num;
  } else {
    cw_data_idx = m_backward_custom_words.data();
    cw_num = m_bmm_cw_num;
  }
}
