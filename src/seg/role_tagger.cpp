#include "seg/role_tagger.h"

#include <cstring>

#include "dict/BasicDict.h"
#include "dict/NerResource.h"
#include "seg/tag_viterbi.h"

bool tagger_path_is_consistent(const CLattice& lattice, uint32_t n) {
  if (n == 0 || n >= CLattice::kMaxNodes) return false;
  const tSegItemInfo* store = lattice.m_sentence_words.data();
  const tSegItemInfo* store_end = store + lattice.m_next_sidx;
  uint32_t q = 0;
  // Every step advances by at least one byte, so at most n steps.
  while (q < n) {
    const size_t len = lattice.m_nodes[q].nNextLen;
    if (len == 0 || len > n - q) return false;
    const uint32_t p = q + static_cast<uint32_t>(len);
    const tSegItemInfo* item = lattice.m_nodes[p].MaxItem;
    if (item == nullptr || item < store || item >= store_end) return false;
    if (item->begin_pos != q || item->length != len) return false;
    q = p;
  }
  return true;
}

CRoleTagger::CRoleTagger() {
  std::memset(m_pre_weight_buf, 0, sizeof(m_pre_weight_buf));
  std::memset(m_cur_weight_buf, 0, sizeof(m_cur_weight_buf));
}

bool CRoleTagger::_is_pn_mode_begin_role(uint8_t role) {
  return role == NE_ROLE_B || role == NE_ROLE_X || role == NE_ROLE_Y || role == NE_ROLE_H ||
         role == NE_ROLE_X2;
}

bool CRoleTagger::_is_pn_mode_end_role(uint8_t role) {
  switch (role) {
    case NE_ROLE_D:
    case NE_ROLE_E:
    case NE_ROLE_G:
    case NE_ROLE_V:
    case NE_ROLE_Y:
    case NE_ROLE_Z:
    case NE_ROLE_T:
    case NE_ROLE_E2:
    case NE_ROLE_X2:
    case NE_ROLE_D_HALF:
      return true;
    default:
      return false;
  }
}

bool CRoleTagger::_is_ln_mode_begin_role(uint8_t role) {
  return role == NE_ROLE_LH || role == NE_ROLE_LY || role == NE_ROLE_FH;
}

bool CRoleTagger::_is_ln_mode_end_role(uint8_t role) {
  return role == NE_ROLE_LT || role == NE_ROLE_LY || role == NE_ROLE_FT;
}

LogP CRoleTagger::_get_role_emit_prob(const CProbabilityNode* table, uint8_t cur_role) {
  return table[cur_role * kRoleTableDim + kEmitColumn].m_Bow;
}

LogP CRoleTagger::_get_role_tran_prob(const CProbabilityNode* table, uint8_t pre_role,
                                      uint8_t cur_role, size_t ne_type) {
  uint32_t row = pre_role;
  if (ne_type == PN) {
    if (_is_pn_mode_begin_role(cur_role) && _is_pn_mode_end_role(pre_role)) row = NE_ROLE_A;
  } else if (ne_type == LN) {
    if (_is_ln_mode_begin_role(cur_role) && _is_ln_mode_end_role(pre_role)) row = NE_ROLE_A;
  }
  return table[row * kRoleTableDim + cur_role].m_Prob;
}

// Number of leading entries of a 0-terminated list that the decoding may use:
// up to the terminator, at most `cap`, and only ids that index a table row.
static uint32_t usable_prefix(const uint8_t* ids, uint32_t cap, uint32_t dim) {
  uint32_t k = 0;
  while (k < cap && ids[k] != 0 && ids[k] < dim) ++k;
  return k;
}

const uint8_t* CRoleTagger::_get_word_roles(const CBasicDict& dict, const tSegItemInfo& item,
                                            const char* text, size_t ne_type, const LogP** probs,
                                            uint32_t* count) {
  // nAttributeIdx 0 wraps to 0xFFFFFFFF: no dictionary word.
  const uint32_t idx = item.nAttributeIdx - 1u;
  const bool in_dict = idx < dict.mWordNum;
  if (in_dict && item.type != kItemAmbRule && item.type != kItemAmbRuleTwin) {
    const prop_list_t list = ne_type == PN ? dict.role_list(idx) : dict.ln_role_list(idx);
    const uint32_t len = usable_prefix(list.ids, list.len < kMaxCandidates ? list.len : kMaxCandidates,
                                       kRoleTableDim);
    if (len > 0) {
      *probs = list.probs;
      *count = len;
      return list.ids;
    }
  }
  *probs = nullptr;
  if (ne_type == PN && !in_dict && item.length == 2) {
    const uint8_t lead = static_cast<uint8_t>(text[item.begin_pos]);
    if (lead >= 0x80 && (lead < 0xA1 || lead > 0xA9)) {
      *count = sizeof(CNerResource::RoleTempSinglePos) - 1;
      return CNerResource::RoleTempSinglePos;
    }
  }
  *count = sizeof(CNerResource::RoleTempA) - 1;
  return CNerResource::RoleTempA;
}

static_assert(RoleScores::kDim == CRoleTagger::kRoleTableDim, "one role table size");

void RoleScores::build(const CProbabilityNode* table, size_t ne_type) {
  for (uint32_t cur = 0; cur < kDim; ++cur) {
    for (uint32_t prev = 0; prev < kDim; ++prev)
      into[cur * kDim + prev] = CRoleTagger::_get_role_tran_prob(
          table, static_cast<uint8_t>(prev), static_cast<uint8_t>(cur), ne_type);
    emit[cur] = CRoleTagger::_get_role_emit_prob(table, static_cast<uint8_t>(cur));
    close[cur] = table[cur * kDim + CRoleTagger::kCloseColumn].m_Prob;
  }
}

namespace {

// Role tagging as a model of tagger_viterbi (seg/tag_viterbi.h).
struct RoleModel {
  static constexpr bool kEmissionAfterChoice = false;
  static constexpr bool kSkipWeakPredecessors = true;
  static constexpr bool kRestartForcedSteps = true;
  static constexpr float kRestartScore = CRoleTagger::kRestartScore;

  const CBasicDict& dict;
  const char* text;
  const RoleScores& scores;
  size_t ne_type;

  const uint8_t* start() const { return CNerResource::RoleTempA; }
  const uint8_t* candidates(tNodeInfo&, const tSegItemInfo& item, const LogP** emissions,
                            uint32_t* count) const {
    return CRoleTagger::_get_word_roles(dict, item, text, ne_type, emissions, count);
  }
  LogP emission(const LogP* emissions, uint32_t k, uint8_t role) const {
    return emissions ? emissions[k] : scores.emit[role];
  }
  LogP transition(uint8_t prev, uint8_t cur) const {
    return scores.into[cur * RoleScores::kDim + prev];
  }
  // The sentence closes with the transition into column A.
  LogP close(uint8_t role) const { return scores.close[role]; }
  void assign(tSegItemInfo& item, uint8_t role) const {
    if (ne_type == CRoleTagger::PN)
      item.perIdx = role;
    else
      item.perIdxLN = role;
  }
};

}  // namespace

bool CRoleTagger::_ne_role_tag(CLattice& lattice, const char* text, uint32_t n,
                               const CBasicDict& dict, const CProbabilityNode* table,
                               size_t ne_type) {
  if (ne_type != PN && ne_type != LN) return false;
  if (table == nullptr) return false;
  RoleScores scores;
  scores.build(table, ne_type);
  return _ne_role_tag(lattice, text, n, dict, scores, ne_type);
}

bool CRoleTagger::_ne_role_tag(CLattice& lattice, const char* text, uint32_t n,
                               const CBasicDict& dict, const RoleScores& scores, size_t ne_type,
                               bool path_checked) {
  if (ne_type != PN && ne_type != LN) return false;
  if (text == nullptr) return false;
  if (!path_checked && !tagger_path_is_consistent(lattice, n)) return false;
  tagger_viterbi(lattice, n, RoleModel{dict, text, scores, ne_type}, m_pre_weight_buf,
                 m_cur_weight_buf);
  return true;
}

float CRoleTagger::_getNameCharRoleProb(const CBasicDict& dict, size_t propIdx, size_t roleIdx,
                                        size_t name_entity_type) {
  if (propIdx >= dict.mWordNum) return kNoRoleListProb;  // includes all ones
  const uint32_t idx = static_cast<uint32_t>(propIdx);
  const prop_list_t list = name_entity_type == PN ? dict.role_list(idx) : dict.ln_role_list(idx);
  if (list.len == 0) return kNoRoleListProb;
  size_t alt = roleIdx;
  if (name_entity_type == PN) {
    if (roleIdx == NE_ROLE_D) alt = NE_ROLE_D_HALF;
    else if (roleIdx == NE_ROLE_D_HALF) alt = NE_ROLE_D;
    else if (roleIdx == NE_ROLE_X) alt = NE_ROLE_X_HALF;
    else if (roleIdx == NE_ROLE_X_HALF) alt = NE_ROLE_X;
  }
  for (uint32_t k = 0; k < list.len; ++k) {
    if (list.ids[k] == roleIdx || list.ids[k] == alt) return list.probs[k];
  }
  return kUnmatchedRoleProb;
}

int CRoleTagger::_find_role(const CBasicDict& dict, size_t propIdx, size_t roleIdx) {
  if (propIdx > 9999999u || propIdx >= dict.mWordNum) return 0;
  const prop_list_t list = dict.role_list(static_cast<uint32_t>(propIdx));
  for (uint32_t k = 0; k < list.len; ++k) {
    if (list.ids[k] == roleIdx) return 1;
  }
  return 0;
}

bool CRoleTagger::_is_comb(const CBasicDict& dict, int index) {
  const word_prop_t* info = index < 0 ? nullptr : dict.word_info(static_cast<uint32_t>(index));
  return info != nullptr && (info->m_NameEntity & (1u << 11)) != 0;
}

tSegItemInfo* CRoleTagger::_get_item(CLattice& lattice, const tNodeInfo* cur_node,
                                     size_t begin_pos, bool pms) {
  if (cur_node == nullptr || cur_node->ItemsNum == 0 || cur_node->wsidx == kNoRange) return nullptr;
  const uint32_t count = cur_node->ItemsNum < cur_node->size ? cur_node->ItemsNum : cur_node->size;
  for (uint32_t j = 0; j < count; ++j) {
    tSegItemInfo* item = lattice.item(cur_node, j);
    if (item->begin_pos != begin_pos || item->bcomb || item->type == kItemRule) continue;
    if (!pms && (item->type == kItemAmbRule || item->type == kItemAmbRuleTwin)) continue;
    return item;
  }
  return nullptr;
}
