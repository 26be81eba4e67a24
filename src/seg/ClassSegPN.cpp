#include "seg/ClassSegPN.h"

#include <cstring>

#include "dict/BasicDict.h"
#include "dict/NerResource.h"
#include "seg/affix_words.h"
#include "seg/reduplication.h"
#include "seg/class_path.h"
#include "seg/location_recognizer.h"
#include "seg/person_recognizer.h"

CSegmentPN::CSegmentPN(int mode, size_t nodes) : CSegment(mode, nodes), m_ne_count(0) {
  std::memset(&m_ne_ctx, 0, sizeof(m_ne_ctx));
}

CSegmentPN::~CSegmentPN() {}

bool CSegmentPN::_segment(const char* text, size_t len) {
  // Front end: normalisation, lattice, rule-based best path.
  bool done = false;
  if (!_build_best_path(text, len, done)) return false;
  if (done) return true;
  if (m_bperson || m_bpos) _prefetch_path_lists();

  _clear_cob_ovp_amb();

  if (!_recognize_entities()) return false;

  _clear_amb_by_userrule();
  _clear_cob_by_seclex();
  join_reduplications(m_lattice, m_pText, static_cast<uint32_t>(m_nTextLen), *m_res->basic_dict);
  join_affix_words(m_lattice, m_pText, static_cast<uint32_t>(m_nTextLen), *m_res->basic_dict,
                   m_res->affixes);

  if (m_bpos && !m_pos_tagger._BigramPOSTag(m_lattice, m_pText, static_cast<uint32_t>(m_nTextLen),
                                            *m_res->basic_dict, m_res->pos_scores))
    return false;

  // Back end: custom words, output text, token saver.
  _finish_sentence();
  return true;
}

void CSegmentPN::_prefetch_path_lists() const {
  // The taggers read these lists word after word, each a likely cache miss;
  // asked for all at once here, the fetches overlap.
  const CBasicDict& dict = *m_res->basic_dict;
  const uint32_t n = static_cast<uint32_t>(m_nTextLen);
  for (uint32_t p = 0; p < n;) {
    const uint32_t step = static_cast<uint32_t>(m_lattice.m_nodes[p].nNextLen);
    if (step == 0 || step > n - p) break;
    p += step;
    const tSegItemInfo* item = m_lattice.m_nodes[p].MaxItem;
    if (item != nullptr) dict.prefetch_lists(item->nAttributeIdx - 1u);
  }
}

bool CSegmentPN::_recognize_entities() {
  m_ne_count = 0;
  const uint32_t n = static_cast<uint32_t>(m_nTextLen);
  const CResourceSet& r = *m_res;
  // The path is checked once for the taggers and scans below: they change
  // no step of it (the scans only add items, and a growing item store
  // carries the chosen items along), until the class-based search at the
  // end rebuilds it.
  if ((m_bperson || m_bLocation) && !tagger_path_is_consistent(m_lattice, n)) return false;
  if (m_bperson) {
    if (!m_role_tagger._ne_role_tag(m_lattice, m_pText, n, *r.basic_dict, r.role_scores, PN,
                                    /*path_checked=*/true))
      return false;
    PersonNameResources res;
    res.dict = r.basic_dict.get();
    res.pn_mode_trie = &r.pn_mode_trie;
    res.no_amb_xing_dict = r.no_amb_xing_dict;
    res.hanzi_number_dict = r.hanzi_number_dict;
    res.pn_word_lm = r.pn_word_lm.get();
    res.pms = m_bpms;
    res.path_checked = true;
    CPersonRecognizer(res)._pn_mode_match(m_lattice, m_pText, m_nTextLen, m_ne_ctx, m_ne_count);
  }
  if (m_bLocation) {
    if (!m_role_tagger._ne_role_tag(m_lattice, m_pText, n, *r.basic_dict, r.ln_role_scores,
                                    LN, /*path_checked=*/true))
      return false;
    CLocationRecognizer::_ln_mode_match(m_lattice, m_pText, n, *r.basic_dict, m_ne_ctx,
                                        m_ne_count, /*path_checked=*/true);
  }
  if (m_ne_count > 0 &&
      CClassPath::_short_path_search_class_based(m_lattice, n, m_pText, *r.pn_word_lm, m_wids))
    CClassPath::_short_path_set_class_based(m_lattice, n);
  return true;
}
