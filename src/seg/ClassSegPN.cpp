#include "seg/ClassSegPN.h"

#include <cstring>

#include "dict/NerResource.h"

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
  // Steps 1-4: normalisation, lattice, rule-based best path.
  bool done = false;
  if (!_build_best_path(text, len, done)) return false;
  if (done) return true;

  _clear_cob_ovp_amb();

  m_ne_count = 0;
  // ---------------------------------------------------------------------
  // NAMED-ENTITY STAGES (not wired yet).  In this order:
  //   if (m_bperson)   { _ne_role_tag(PN) (false on failure); _pn_mode_match(); }
  //   if (m_bLocation) { _ne_role_tag(LN) (false on failure); _ln_mode_match(); }
  //   if (m_ne_count > 0) { _short_path_search_class_based();
  //                         _short_path_set_class_based(); }
  // Until they land, LX_CN and LX_LN add no entity items and the rule-based
  // path stays.
  // ---------------------------------------------------------------------

  _clear_amb_by_userrule();
  _clear_cob_by_seclex();

  // ---------------------------------------------------------------------
  // POS TAGGING (not wired yet):
  //   if (m_bpos && !_BigramPOSTag()) return false;
  // Until it lands, tokens carry the tags the producer and the ambiguity
  // passes put into posIndex (factoids, merged numbers, secondary-lexicon
  // words); other words have posIndex 0.
  // ---------------------------------------------------------------------

  // Steps 6-8: custom words, output text, token saver.
  _finish_sentence();
  return true;
}
