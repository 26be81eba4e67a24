// The shared resources of CSegment: their definitions, loading in the fixed
// order, unloading, and the user dictionary.
#include "seg/ClassSeg.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "dict/BasicDict.h"
#include "dict/CustomDict.h"
#include "dict/DictResource.h"
#include "dict/NerResource.h"
#include "dict/RuleDict.h"
#include "dict/T2S.h"
#include "lm/Ngram.h"
#include "seg/ClassSegPN.h"
#include "seg/Factoid.h"
#include "seg/char_class.h"

CBasicDict* CSegment::m_pBasicDict = nullptr;
Ngram* CSegment::m_pWordLM = nullptr;
Ngram* CSegment::m_pPNWordLM = nullptr;
CProbabilityNode CSegment::m_pRoleTTLM[CSegment::kRoleTTDim][CSegment::kRoleTTDim];
CProbabilityNode CSegment::m_pLNRoleTTLM[CSegment::kRoleTTDim][CSegment::kRoleTTDim];
CProbabilityNode CSegment::m_pPOSTTLM[CSegment::kPosTTDim][CSegment::kPosTTDim];
CFactoid* CSegment::m_pFactoid = nullptr;
Trad2Simp* CSegment::m_t2sdict = nullptr;
CRuleDict* CSegment::m_pRule = nullptr;
CCustomDict* CSegment::m_pCustomDict = nullptr;
CCustomDict* CSegment::m_pSecondDict = nullptr;
std::string CSegment::m_user_dict_path;
HashDict* CSegment::m_fuxing_dict = nullptr;
HashDict* CSegment::m_no_amb_xing_dict = nullptr;
HashDict* CSegment::m_loc_suffix_dict = nullptr;
int* CSegment::m_chs_array = nullptr;
size_t CSegment::m_fenzhi_idx = 0;
uint64_t CSegment::s_resource_generation = 1;
uint64_t CSegment::s_user_dict_generation = 1;
size_t CSegment::s_ascii_handles = 0;

namespace {

// GBK "分之" and "个数".
const char kFenzhi[] = "\xB7\xD6\xD6\xAE";

bool load_model(Ngram*& model, const char* path) {
  model = new Ngram(3);
  if (path == nullptr || !model->read_binary(path)) {
    std::fprintf(stderr, "unable to open file: %s\n", path ? path : "(null)");
    return false;
  }
  return true;
}

bool load_table(const char* path, CProbabilityNode* table, size_t dim) {
  if (path == nullptr || !CNerResource::load_transition_table(path, table, dim)) {
    std::fprintf(stderr, "unable to open file: %s\n", path ? path : "(null)");
    return false;
  }
  return true;
}

}  // namespace

bool CSegment::resources_ready() { return m_pBasicDict != nullptr && m_pFactoid != nullptr; }

int CSegment::load_named_entity_resource(const char* path) {
  if (path == nullptr) return 0;
  return CNerResource::load_named_entity_resource(path, m_fuxing_dict, m_no_amb_xing_dict,
                                                  m_loc_suffix_dict);
}

bool CSegment::load_resource(const DictResource& res) {
  // A second initialisation replaces the first set instead of leaking it;
  // handles re-bind at their next segment() (generation changed).
  _free_shared_set();
  ++s_resource_generation;

  // Basic dictionary, and the index of "分之".
  m_pBasicDict = new CBasicDict();
  if (res.core_lex == nullptr || res.core_prop == nullptr ||
      !m_pBasicDict->loadBasicDict(res.core_lex, res.core_prop)) {
    std::fprintf(stderr, "unable to open file: %s\n or %s\n",
                 res.core_lex ? res.core_lex : "(null)", res.core_prop ? res.core_prop : "(null)");
    return false;
  }
  {
    int v = m_pBasicDict->mBasicDict.exactMatchSearch<int>(kFenzhi, std::strlen(kFenzhi));
    m_fenzhi_idx = v >= 0 ? static_cast<size_t>(v) + 1 : 0;
  }

  // Word model and person-name model.
  if (!load_model(m_pWordLM, res.ngram_lex)) return false;
  if (!load_model(m_pPNWordLM, res.ngram_pn_lex)) return false;

  // Role transition tables.
  if (!load_table(res.rolett_lex, &m_pRoleTTLM[0][0], kRoleTTDim)) return false;
  if (!load_table(res.ln_rolett_lex, &m_pLNRoleTTLM[0][0], kRoleTTDim)) return false;

  // Factoid recognizer; handles created with LX_ASC keep their mode over
  // a reload.
  m_pFactoid = new CFactoid();
  if (s_ascii_handles > 0) m_pFactoid->set_ascii();

  // POS transition table.
  if (!load_table(res.postt_lex, &m_pPOSTTLM[0][0], kPosTTDim)) return false;

  // User ambiguity rules.
  m_pRule = new CRuleDict();
  if (res.user_amb_rule == nullptr || !m_pRule->loadDict(res.user_amb_rule)) {
    std::fprintf(stderr, "unable to open file: %s \n",
                 res.user_amb_rule ? res.user_amb_rule : "(null)");
    return false;
  }

  // Traditional-to-simplified tables; a missing file only disables that
  // part of the conversion.
  m_t2sdict = new Trad2Simp();
  if (res.t2s_char) m_t2sdict->_load_t2s_table(res.t2s_char);
  if (res.t2s_word) m_t2sdict->_load_t2s_words(res.t2s_word);
  if (res.t2s_disable) m_t2sdict->_load_t2s_disable(res.t2s_disable);

  // Named-entity word lists.
  if (load_named_entity_resource(res.ner_info) == 0) {
    std::fprintf(stderr, "unable to open file: %s\n", res.ner_info ? res.ner_info : "(null)");
    return false;
  }

  // Secondary lexicon.
  m_pSecondDict = new CCustomDict();
  if (res.second_lex == nullptr || res.second_prop == nullptr ||
      m_pSecondDict->LoadDict(res.second_lex, res.second_prop) == 0) {
    std::fprintf(stderr, "unable to open file: %s or %s \n",
                 res.second_lex ? res.second_lex : "(null)",
                 res.second_prop ? res.second_prop : "(null)");
    return false;
  }

  // Named-entity pattern tables.
  if (CSegmentPN::Init() == 0) {
    std::fprintf(stderr, "unable to open CSegmentPN::Init\n");
    return false;
  }

  // Character classes.
  m_chs_array = create_chs_array();
  if (m_chs_array == nullptr) throw std::bad_alloc();
  return true;
}

void CSegment::_free_shared_set() {
  delete m_pBasicDict;
  m_pBasicDict = nullptr;
  delete m_pWordLM;
  m_pWordLM = nullptr;
  delete m_pPNWordLM;
  m_pPNWordLM = nullptr;
  delete m_pFactoid;
  m_pFactoid = nullptr;
  delete m_pRule;
  m_pRule = nullptr;
  delete m_t2sdict;
  m_t2sdict = nullptr;
  delete m_pSecondDict;
  m_pSecondDict = nullptr;
  CNerResource::free_dict(m_fuxing_dict);
  CNerResource::free_dict(m_no_amb_xing_dict);
  CNerResource::free_dict(m_loc_suffix_dict);
  destroy_chs_array(m_chs_array);
  CSegmentPN::UnInit();
  m_fenzhi_idx = 0;
  // Tables of a later load must not inherit values from this one.
  std::memset(m_pRoleTTLM, 0, sizeof(m_pRoleTTLM));
  std::memset(m_pLNRoleTTLM, 0, sizeof(m_pLNRoleTTLM));
  std::memset(m_pPOSTTLM, 0, sizeof(m_pPOSTTLM));
  ++s_resource_generation;
}

void CSegment::unload_resource() {
  _free_shared_set();
  unload_user_dict();
}

bool CSegment::load_user_dict(const char* data_dir) {
  unload_user_dict();
  ++s_user_dict_generation;
  m_pCustomDict = new CCustomDict();
  return m_pCustomDict->InitCDict(m_user_dict_path.c_str(), data_dir ? data_dir : "");
}

void CSegment::unload_user_dict() {
  delete m_pCustomDict;
  m_pCustomDict = nullptr;
  ++s_user_dict_generation;
}

int CSegment::get_class_num(int cls) {
  return m_pCustomDict != nullptr ? m_pCustomDict->GetClsNum(cls) : 0;
}

const char* CSegment::get_class_at(int cls, int idx) {
  return m_pCustomDict != nullptr ? m_pCustomDict->GetClsAt(cls, idx) : "";
}
