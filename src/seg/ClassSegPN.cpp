#include "seg/ClassSegPN.h"

#include <cstring>

#include "dict/NerResource.h"
#include "seg/class_path.h"
#include "seg/location_recognizer.h"
#include "seg/person_recognizer.h"

const char* const* CSegmentPN::m_ptr_pn_modes = CNerResource::m_ptr_pn_modes;
HashDict* CSegmentPN::m_hanzi_number_dict = nullptr;
Trie<int, int> CSegmentPN::m_pn_mode_trie;
Trie<int, int> CSegmentPN::m_ln_mode_trie;

CSegmentPN::CSegmentPN(int mode, size_t nodes) : CSegment(mode, nodes), m_ne_count(0) {
  std::memset(&m_ne_ctx, 0, sizeof(m_ne_ctx));
}

CSegmentPN::~CSegmentPN() {}

int CSegmentPN::Init() {
  CNerResource::_load_hanzi_shuzi_dict(&m_hanzi_number_dict);
  // A second initialisation builds the tries afresh rather than on top of
  // the first one's.
  m_pn_mode_trie = Trie<int, int>();
  m_ln_mode_trie = Trie<int, int>();
  if (!CNerResource::_load_ne_mode(m_ptr_pn_modes, PN, m_pn_mode_trie, m_ln_mode_trie)) return 0;
  return 1;
}

void CSegmentPN::UnInit() {
  CNerResource::free_dict(m_hanzi_number_dict);
  m_pn_mode_trie = Trie<int, int>();
  m_ln_mode_trie = Trie<int, int>();
}

bool CSegmentPN::_segment(const char* text, size_t len) {
  // Front end: normalisation, lattice, rule-based best path.
  bool done = false;
  if (!_build_best_path(text, len, done)) return false;
  if (done) return true;

  _clear_cob_ovp_amb();

  if (!_recognize_entities()) return false;

  _clear_amb_by_userrule();
  _clear_cob_by_seclex();

  if (m_bpos && !m_pos_tagger._BigramPOSTag(m_lattice, m_pText, static_cast<uint32_t>(m_nTextLen),
                                            *m_pBasicDict, &m_pPOSTTLM[0][0]))
    return false;

  // Back end: custom words, output text, token saver.
  _finish_sentence();
  return true;
}

bool CSegmentPN::_recognize_entities() {
  m_ne_count = 0;
  const uint32_t n = static_cast<uint32_t>(m_nTextLen);
  if (m_bperson) {
    if (!m_role_tagger._ne_role_tag(m_lattice, m_pText, n, *m_pBasicDict, &m_pRoleTTLM[0][0], PN))
      return false;
    PersonNameResources res;
    res.dict = m_pBasicDict;
    res.pn_mode_trie = &m_pn_mode_trie;
    res.no_amb_xing_dict = m_no_amb_xing_dict;
    res.hanzi_number_dict = m_hanzi_number_dict;
    res.pn_word_lm = m_pPNWordLM;
    res.pms = m_bpms;
    CPersonRecognizer(res)._pn_mode_match(m_lattice, m_pText, m_nTextLen, m_ne_ctx, m_ne_count);
  }
  if (m_bLocation) {
    if (!m_role_tagger._ne_role_tag(m_lattice, m_pText, n, *m_pBasicDict, &m_pLNRoleTTLM[0][0],
                                    LN))
      return false;
    CLocationRecognizer::_ln_mode_match(m_lattice, m_pText, n, *m_pBasicDict, m_ne_ctx,
                                        m_ne_count);
  }
  if (m_ne_count > 0 && m_pPNWordLM != nullptr &&
      CClassPath::_short_path_search_class_based(m_lattice, n, m_pText, *m_pPNWordLM, m_wids))
    CClassPath::_short_path_set_class_based(m_lattice, n);
  return true;
}
