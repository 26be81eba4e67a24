// Revision rules of person-name candidates that begin with a surname (B) or
// with a word ending in the surname (U).  See person_recognizer.h.
#include <cstring>
#include <string>

#include "dict/BasicDict.h"
#include "dict/NerResource.h"
#include "lm/Ngram.h"
#include "seg/ne_items.h"
#include "seg/person_recognizer.h"
#include "seg/role_tagger.h"

namespace {

// GBK bytes of the characters the rules look for.
const unsigned char kZhang[2] = {0xD5, 0xC5};                          // 张
const unsigned char kHe[2] = {0xBA, 0xCD};                             // 和
const unsigned char kYuWanYuan[6] = {0xD3, 0xE0, 0xCD, 0xF2, 0xD4, 0xAA};  // 余万元

bool starts_with(const char* text, size_t len, const unsigned char* what, size_t n) {
  return len >= n && std::memcmp(text, what, n) == 0;
}

// Size hint of a single-character name part.
const uint32_t kNamePartHint = 4;
const size_t kCharLen = 2;

}  // namespace

bool CPersonRecognizer::_is_number(const char* str, int len) const {
  if (len <= 0) return true;
  if (str == nullptr) return false;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(str);
  for (int i = 0; i < len;) {
    if (s[i] >= '0' && s[i] <= '9') {
      ++i;
      continue;
    }
    if (s[i] < 0x80 || i + 1 >= len || m_res.hanzi_number_dict == nullptr) return false;
    const char key[3] = {str[i], str[i + 1], '\0'};
    bool found = false;
    m_res.hanzi_number_dict->find(key, found);
    if (!found) return false;
    i += 2;
  }
  return true;
}

bool CPersonRecognizer::_is_num_before_family_name() const {
  const NeContextType& ctx = *m_ctx;
  if (ctx.pre_item == nullptr || ctx.beg_item == nullptr) return false;
  const tSegItemInfo* first = ctx.beg_item;
  if (!starts_with(m_text + first->begin_pos, first->length, kZhang, kCharLen)) return false;
  return _is_number(m_text + ctx.pre_item->begin_pos, static_cast<int>(ctx.pre_item->length));
}

bool CPersonRecognizer::_pn_b_initial_model_revise() {
  NeContextType& ctx = *m_ctx;
  // A numeral before "张" makes it a measure word.
  if (_is_num_before_family_name()) return false;
  switch (ctx.mode) {
    case 1:
    case 2:
      return _pn_bcd_mode_revise();
    case 3:
      return _split_v_node(NE_ROLE_D, 1);
    case 4:
      return _split_v_node(NE_ROLE_E, 6);
    case 7:
      return _pn_bz_mode_revise();
    case 8: {
      // "B A" is "B Z" when an unambiguous surname precedes a two-character
      // word that can be a given name.
      if (ctx.role_count < 2) return false;
      tSegItemInfo* b = ctx.beg_item;
      tSegItemInfo* a = ctx.end_item;
      const unsigned char* at = reinterpret_cast<const unsigned char*>(m_text + a->begin_pos);
      if (a->length != 4 || at[0] < 0x80 || at[2] < 0x80) return false;
      if (m_res.no_amb_xing_dict == nullptr) return false;
      const std::string surname(m_text + b->begin_pos, b->length);
      bool found = false;
      m_res.no_amb_xing_dict->find(surname.c_str(), found);
      if (!found) return false;
      if (!CRoleTagger::_find_role(*m_res.dict, static_cast<size_t>(a->nAttributeIdx) - 1,
                                   NE_ROLE_Z))
        return false;
      a->perIdx = NE_ROLE_Z;
      ctx.mode = 7;
      ctx.word_roles[1].role_idx = NE_ROLE_Z;
      return _pn_bz_mode_revise();
    }
    default:
      return true;
  }
}

bool CPersonRecognizer::_pn_bcd_mode_revise() {
  NeContextType& ctx = *m_ctx;
  const char* start = m_text + ctx.begin_pos;
  if (starts_with(start, ctx.len, kYuWanYuan, sizeof(kYuWanYuan))) return false;
  // First and third characters equal: not a name (only tested inside the
  // candidate).
  if (ctx.len >= 3 * kCharLen && std::memcmp(start, start + 2 * kCharLen, kCharLen) == 0)
    return false;

  tSegItemInfo* d = ctx.end_item;
  const size_t d_begin = d->begin_pos;
  if (ctx.suc_item != nullptr && ctx.role_count >= 2 &&
      starts_with(m_text + d_begin, d->length, kHe, kCharLen) &&
      _is_name_begin_word(ctx.suc_item) && d_begin > ctx.begin_pos) {
    // "和" is a conjunction before the next name: the name is "B E".  The C
    // word is the path word that ends where D begins.
    tSegItemInfo* c = _path_item(d_begin);
    c->perIdx = NE_ROLE_E;
    d->perIdx = NE_ROLE_A;
    ctx.suc_node = ctx.end_node;
    ctx.suc_item = d;
    ctx.end_node = &m_lattice->m_nodes[d_begin];
    ctx.end_item = c;
    ctx.mode = 6;
    ctx.type = _get_ne_type(6);
    ctx.role_count = 2;
    ctx.word_roles[1].prop_idx = static_cast<size_t>(c->nAttributeIdx) - 1;
    ctx.word_roles[1].role_idx = NE_ROLE_E;
    ctx.len = d_begin - ctx.begin_pos;
    return true;
  }

  if (m_res.pn_word_lm != nullptr && d->nAttributeIdx != 0) {
    const LogP prob = m_res.pn_word_lm->bigram_prob(d->nAttributeIdx - 1, kPersonClassToken);
    if (prob > kPrefixThreshold) _add_bcd_prefix_to_spc();
  }
  return true;
}

void CPersonRecognizer::_add_bcd_prefix_to_spc() {
  NeContextType& ctx = *m_ctx;
  if (ctx.role_count < 2 || ctx.end_item == nullptr) return;
  const size_t b = ctx.begin_pos;
  const size_t e = ctx.end_item->begin_pos;  // where the last word begins
  if (e <= b || e > m_nTextLen) return;
  NeRoleInfoType roles[NeContextType::MAX_NE_ITEM_COUNT];
  roles[0] = ctx.word_roles[0];
  roles[1].prop_idx = ctx.word_roles[1].prop_idx;
  roles[1].role_idx = NE_ROLE_E;
  tSegItemInfo item;
  std::memset(&item, 0, sizeof(item));
  item.begin_pos = static_cast<uint32_t>(b);
  item.length = static_cast<uint32_t>(e - b);
  item.type = kItemPerson;
  item.bcomb = false;
  item.nAttributeIdx = kAttrPerson;
  item.posIndex = CNeItems::kPersonPosIndex;  // as every person-name item
  item.weight = CRoleTagger::_compute_ne_weight(*m_res.dict, roles, 2, 1);
  if (_add_item(e, item, static_cast<uint32_t>(e - b + 2)) != nullptr)
    ++m_lattice->m_nodes[e].ItemsNumNER;
}

bool CPersonRecognizer::_pn_bz_mode_revise() {
  NeContextType& ctx = *m_ctx;
  if (ctx.suc_item == nullptr || ctx.role_count < 2) return true;
  const size_t z_begin = ctx.end_item->begin_pos;
  const size_t z_len = ctx.end_item->length;
  if (z_len < 2 * kCharLen || !starts_with(m_text + z_begin + kCharLen, z_len - kCharLen, kHe,
                                           kCharLen))
    return true;
  if (!_is_name_begin_word(ctx.suc_item)) return true;

  // "X和" before another name: the given name is the first character only.
  tSegItemInfo* part = _add_span_item(z_begin, kCharLen, kNamePartHint, NE_ROLE_E, 0, false);
  if (part == nullptr) return false;
  const size_t part_index = static_cast<size_t>(part - m_lattice->m_sentence_words.data());
  tSegItemInfo* rest =
      _add_span_item(z_begin + kCharLen, z_len - kCharLen, static_cast<uint32_t>(z_len),
                     NE_ROLE_A, 0, true);
  if (rest == nullptr) return false;
  rest->type = _own_type(rest->nAttributeIdx);
  part = m_lattice->m_sentence_words.data() + part_index;  // the store may have moved

  ctx.end_node = &m_lattice->m_nodes[z_begin + kCharLen];
  ctx.end_item = part;
  ctx.suc_node = &m_lattice->m_nodes[z_begin + z_len];
  ctx.suc_item = rest;
  ctx.mode = 6;
  ctx.type = _get_ne_type(6);
  ctx.len = z_begin + kCharLen - ctx.begin_pos;
  ctx.word_roles[1].prop_idx = static_cast<size_t>(part->nAttributeIdx) - 1;
  ctx.word_roles[1].role_idx = NE_ROLE_E;
  return true;
}

bool CPersonRecognizer::_split_v_node(unsigned char role, int mode) {
  NeContextType& ctx = *m_ctx;
  if (ctx.role_count < 1) return false;
  const size_t v_begin = ctx.end_item->begin_pos;
  const size_t v_len = ctx.end_item->length;
  if (v_len <= kCharLen) return false;  // nothing to split off

  tSegItemInfo* part = _add_span_item(v_begin, kCharLen, kNamePartHint, role, 0, false);
  if (part == nullptr) return false;
  const size_t part_index = static_cast<size_t>(part - m_lattice->m_sentence_words.data());

  tSegItemInfo* rest = nullptr;
  size_t rest_end;
  const tSegItemInfo* joined = nullptr;
  if (ctx.suc_item != nullptr && ctx.suc_node != nullptr)
    joined = CRoleTagger::_get_item(*m_lattice, ctx.suc_node, v_begin + kCharLen, m_res.pms);
  if (joined != nullptr) {
    // V's rest and the following word form a word: that word is the
    // remainder, and the scan resumes after the word that follows it.
    rest_end = static_cast<size_t>(ctx.suc_node - m_lattice->m_nodes);
    const size_t rest_len = rest_end - (v_begin + kCharLen);
    rest = _add_span_item(v_begin + kCharLen, rest_len, static_cast<uint32_t>(rest_len + 2),
                          NE_ROLE_A, 0, true);
    if (rest == nullptr) {
      m_lattice->m_nodes[rest_end].bnAmb = true;
      return false;
    }
    ctx.suc_match_pos = _next_end(rest_end);
  } else {
    rest_end = v_begin + v_len;
    rest = _add_span_item(v_begin + kCharLen, v_len - kCharLen, static_cast<uint32_t>(v_len),
                          NE_ROLE_A, 0, true);
    if (rest == nullptr) return false;
  }
  rest->type = _own_type(rest->nAttributeIdx);
  m_lattice->m_nodes[rest_end].bnAmb = true;
  part = m_lattice->m_sentence_words.data() + part_index;

  ctx.end_node = &m_lattice->m_nodes[v_begin + kCharLen];
  ctx.end_item = part;
  ctx.suc_node = &m_lattice->m_nodes[rest_end];
  ctx.suc_item = rest;
  ctx.mode = mode;
  ctx.type = _get_ne_type(mode);
  ctx.len = v_begin + kCharLen - ctx.begin_pos;
  ctx.word_roles[ctx.role_count - 1].prop_idx = static_cast<size_t>(part->nAttributeIdx) - 1;
  ctx.word_roles[ctx.role_count - 1].role_idx = role;
  return true;
}

bool CPersonRecognizer::_split_u_node(int mode) {
  NeContextType& ctx = *m_ctx;
  if (ctx.role_count < 1) return false;
  int new_mode = mode;
  if (mode == 15)
    new_mode = 1;
  else if (mode == 17)
    new_mode = 6;
  else if (mode == 18)
    new_mode = 7;

  const size_t u_begin = ctx.beg_item->begin_pos;
  const size_t u_len = ctx.beg_item->length;
  if (u_len <= kCharLen) return false;  // nothing left before the surname
  const size_t u_end = u_begin + u_len;
  const size_t surname_begin = u_end - kCharLen;

  tSegItemInfo* rest = nullptr;
  const tSegItemInfo* joined = nullptr;
  if (ctx.pre_item != nullptr)
    joined = CRoleTagger::_get_item(*m_lattice, &m_lattice->m_nodes[surname_begin],
                                    ctx.pre_item->begin_pos, m_res.pms);
  if (joined != nullptr) {
    // The previous word and U's rest form a word: that word is the
    // remainder.
    const size_t pre_begin = ctx.pre_item->begin_pos;
    const size_t rest_len = surname_begin - pre_begin;
    tNodeInfo* pre_node = &m_lattice->m_nodes[u_begin];
    rest = _add_span_item(pre_begin, rest_len, static_cast<uint32_t>(rest_len + 2), NE_ROLE_A, 0,
                          true);
    pre_node->bnAmb = true;
    if (rest == nullptr) return false;
  } else {
    rest = _add_span_item(u_begin, u_len - kCharLen, static_cast<uint32_t>(u_len), NE_ROLE_A, 0,
                          true);
    if (rest == nullptr) return false;
  }
  rest->type = _own_type(rest->nAttributeIdx);
  m_lattice->m_nodes[surname_begin].bnAmb = true;
  const size_t rest_index = static_cast<size_t>(rest - m_lattice->m_sentence_words.data());

  tSegItemInfo* surname =
      _add_span_item(surname_begin, kCharLen, kNamePartHint, NE_ROLE_B, 0, false);
  if (surname == nullptr) return false;
  rest = m_lattice->m_sentence_words.data() + rest_index;

  ctx.beg_item = surname;  // beg_node stays U's node, where the surname ends
  ctx.pre_node = &m_lattice->m_nodes[surname_begin];
  ctx.pre_item = rest;
  ctx.begin_pos = surname_begin;
  ctx.len = static_cast<size_t>(ctx.end_node - m_lattice->m_nodes) - surname_begin;
  ctx.word_roles[0].prop_idx = static_cast<size_t>(surname->nAttributeIdx) - 1;
  ctx.word_roles[0].role_idx = NE_ROLE_B;
  ctx.mode = new_mode;
  ctx.type = _get_ne_type(new_mode);
  return true;
}
