#include "seg/person_recognizer.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "LXPub.h"
#include "dict/BasicDict.h"
#include "dict/NerResource.h"
#include "seg/char_class.h"
#include "seg/lattice_producer.h"
#include "seg/ne_items.h"
#include "seg/role_tagger.h"

CPersonRecognizer::CPersonRecognizer(const PersonNameResources& res) : m_res(res) {}

void CPersonRecognizer::bind(CLattice& lattice, const char* text, size_t text_len,
                             NeContextType& ctx, int& ne_count) {
  m_lattice = &lattice;
  m_text = text;
  m_nTextLen = text_len;
  m_ctx = &ctx;
  m_ne_count = &ne_count;
}

size_t CPersonRecognizer::_next_end(size_t p) const {
  if (p >= m_nTextLen) return m_nTextLen + 1;
  return p + m_lattice->m_nodes[p].nNextLen;
}

int CPersonRecognizer::_get_ne_type(int mode) {
  switch (mode) {
    case 19:
    case kModeTrans:
    case kModeTransSingle:
    case kModeY:
      return kItemTransPerson;
    case 22:
      return kItemLocation;
    case 23:
      return kItemTransLocation;
    default:
      return kItemPerson;
  }
}

uint32_t CPersonRecognizer::_get_attribute_idx(const char* word, size_t len) const {
  if (m_res.dict == nullptr) return kAttrSingleChar;
  return CNeItems::_get_attribute_idx(*m_res.dict, word, len);
}

int CPersonRecognizer::_own_type(uint32_t attr) const {
  const word_prop_t* info = attr == 0 ? nullptr : m_res.dict->word_info(attr - 1);
  return info != nullptr ? static_cast<int>(info->m_NameEntity) : kItemSingleChar;
}

bool CPersonRecognizer::_is_name_begin_word(const tSegItemInfo* item) const {
  return item != nullptr && (CRoleTagger::_is_pn_mode_begin_role(item->perIdx) ||
                             item->type == kItemPersonWord || item->type == kItemTransNameWord);
}

// --- Context ----------------------------------------------------------------

bool CPersonRecognizer::_set_ne_ctx_info(size_t first_end, size_t last_end, int mode) {
  NeContextType& ctx = *m_ctx;
  CLattice& lat = *m_lattice;
  // Role entries first: a candidate of more words than the context holds
  // cannot be scored or revised and is not a candidate at all.
  int count = 0;
  for (size_t q = first_end; q <= last_end; q = _next_end(q)) {
    if (count >= static_cast<int>(NeContextType::MAX_NE_ITEM_COUNT)) return false;
    const tSegItemInfo* it = _path_item(q);
    ctx.word_roles[count].prop_idx = static_cast<size_t>(it->nAttributeIdx) - 1;
    ctx.word_roles[count].role_idx = it->perIdx;
    ++count;
    if (q >= m_nTextLen) break;
  }
  ctx.role_count = count;
  ctx.beg_node = &lat.m_nodes[first_end];
  ctx.beg_item = _path_item(first_end);
  ctx.end_node = &lat.m_nodes[last_end];
  ctx.end_item = _path_item(last_end);
  const size_t b = ctx.beg_item->begin_pos;
  if (b == 0) {
    ctx.pre_node = nullptr;
    ctx.pre_item = nullptr;
  } else {
    ctx.pre_node = &lat.m_nodes[b];
    ctx.pre_item = _path_item(b);
  }
  if (last_end >= m_nTextLen) {
    ctx.suc_node = nullptr;
    ctx.suc_item = nullptr;
    ctx.suc_match_pos = m_nTextLen + 1;
  } else {
    const size_t s = _next_end(last_end);
    ctx.suc_node = &lat.m_nodes[s];
    ctx.suc_item = _path_item(s);
    ctx.suc_match_pos = s;
  }
  ctx.begin_pos = b;
  ctx.len = last_end - b;
  ctx.mode = mode;
  ctx.type = _get_ne_type(mode);
  return true;
}

// --- Matchers ------------------------------------------------------------------

int CPersonRecognizer::_pn_trie_mode_match(size_t cur_index) {
  if (m_res.pn_mode_trie == nullptr) return kModeRejected;
  const Trie<int, int>* node = m_res.pn_mode_trie;
  size_t first = cur_index;
  size_t p = cur_index;
  for (;;) {
    const int role = _path_item(p)->perIdx;
    bool found = false;
    const Trie<int, int>* child = node->m_sub.find(role, found);
    if (!found || child == nullptr) return kModeRejected;
    const int value = child->value();
    if (value == CNerResource::NE_MODE_BEGIN) first = p;
    if (value == CNerResource::NE_MODE_BEGIN || value == CNerResource::NE_MODE_INNER) {
      node = child;
      p = _next_end(p);
      if (p > m_nTextLen) return kModeRejected;
      continue;
    }
    // A complete pattern: the walk stops at the first one.
    if (value == kModeY) first = p;
    return _set_ne_ctx_info(first, p, value) ? value : kModeRejected;
  }
}

int CPersonRecognizer::_pn_foreign_mode_match(size_t cur_index) {
  const tSegItemInfo* w = _path_item(cur_index);
  const uint8_t r = w->perIdx;
  if (r != NE_ROLE_H && r != NE_ROLE_X2) return kModeRejected;
  const uint8_t n = cur_index >= m_nTextLen ? static_cast<uint8_t>(NE_ROLE_A)
                                            : _path_item(_next_end(cur_index))->perIdx;
  if (n != NE_ROLE_I && n != NE_ROLE_T && n != NE_ROLE_X2) {
    if (r != NE_ROLE_X2) return kModeRejected;
    return _set_ne_ctx_info(cur_index, cur_index, kModeTransSingle) ? kModeTransSingle
                                                                    : kModeRejected;
  }
  size_t total = w->length;
  size_t last = cur_index;
  const tSegItemInfo* prev = w;
  size_t q = cur_index;
  while (q < m_nTextLen) {
    const size_t q2 = _next_end(q);
    const tSegItemInfo* it = _path_item(q2);
    const uint8_t role = it->perIdx;
    if (role == NE_ROLE_I || role == NE_ROLE_X2) {
      // Two adjacent X2 words are two names when either is a type-60 word.
      if (role == NE_ROLE_X2 && prev->perIdx == NE_ROLE_X2 &&
          (prev->type == kItemTransNameWord || it->type == kItemTransNameWord))
        break;
      total += it->length;
      last = q2;
      prev = it;
      q = q2;
      // Bounded walk: a name that is already too long cannot come back.
      if (total >= MAX_TRANS_LEN) break;
      continue;
    }
    if (role == NE_ROLE_T) {
      total += it->length;
      last = q2;
      prev = it;
    }
    break;
  }
  const uint8_t last_role = _path_item(last)->perIdx;
  if (last_role != NE_ROLE_T && last_role != NE_ROLE_X2) return kModeRejected;
  if (total < 1 || total >= MAX_TRANS_LEN) return kModeRejected;
  if (!_set_ne_ctx_info(cur_index, last, kModeTrans)) return kModeRejected;
  return kModeTrans;
}

// --- Checks of transliterated names ----------------------------------------------

bool CPersonRecognizer::_is_copy_word(const char* pSent, int nLen, int pos, int length) {
  return CNeItems::_is_copy_word(pSent, nLen, pos, length);
}

bool CPersonRecognizer::_is_alpha(const char* str, int pos, int len) {
  if (str == nullptr || pos < 0) return false;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(str) + pos;
  if (len == 1) return (s[0] >= 'a' && s[0] <= 'z') || (s[0] >= 'A' && s[0] <= 'Z');
  if (len == 2) {
    const unsigned char c = s[1] & static_cast<unsigned char>(~0x20);
    return s[0] == 0xA3 && c >= 0xC1 && c <= 0xDA;
  }
  return false;
}

// A word of two or more bytes counts by its first character.
bool CPersonRecognizer::_is_name_separator(const char* str, size_t len) {
  return str != nullptr && len > 0 && is_name_separator_char(str, len == 1 ? 1 : 2);
}

bool CPersonRecognizer::_check_trans_name2(size_t nBeginIdx, tNodeInfo* pPNBeginNode,
                                           tNodeInfo* pPNEndNode) {
  if (pPNBeginNode == nullptr || pPNEndNode == nullptr) return false;
  const tSegItemInfo* last = pPNEndNode->MaxItem;
  const tSegItemInfo* first = pPNBeginNode->MaxItem;
  if (last == nullptr || first == nullptr) return false;
  if (last->begin_pos < nBeginIdx) return true;  // one word
  const size_t end = last->begin_pos + last->length;
  // "让" + separator: the first word must be followed by a separator.
  if (first->length >= 2 && static_cast<unsigned char>(m_text[first->begin_pos]) == 0xC8 &&
      static_cast<unsigned char>(m_text[first->begin_pos + 1]) == 0xC3) {
    const tSegItemInfo* second = _path_item(_next_end(nBeginIdx));
    if (!_is_name_separator(m_text + second->begin_pos, second->length)) return false;
  }
  for (size_t q = nBeginIdx; q < end; q = _next_end(q)) {
    const tSegItemInfo* it = _path_item(q);
    if (_is_alpha(m_text, static_cast<int>(it->begin_pos), static_cast<int>(it->length))) {
      const tSegItemInfo* next = _path_item(_next_end(q));
      if (!_is_name_separator(m_text + next->begin_pos, next->length)) return false;
    }
  }
  return true;
}

bool CPersonRecognizer::_pn_rule_revise() {
  NeContextType& ctx = *m_ctx;
  switch (ctx.mode) {
    case 19:
    case kModeTrans:
      if (_is_copy_word(m_text, static_cast<int>(m_nTextLen), static_cast<int>(ctx.begin_pos),
                        static_cast<int>(ctx.len)))
        return false;
      return _check_trans_name2(static_cast<size_t>(ctx.beg_node - m_lattice->m_nodes),
                                ctx.beg_node, ctx.end_node);
    case 14: {
      // "X_HALF D_HALF": only the first word is a name.
      tSegItemInfo* first = ctx.beg_item;
      ctx.end_item->perIdx = NE_ROLE_A;
      first->perIdx = NE_ROLE_Y;
      const size_t first_end = static_cast<size_t>(ctx.beg_node - m_lattice->m_nodes);
      ctx.end_node = ctx.beg_node;
      ctx.end_item = first;
      ctx.mode = kModeY;
      ctx.type = kItemTransPerson;
      ctx.role_count = 1;
      ctx.word_roles[0].prop_idx = static_cast<size_t>(first->nAttributeIdx) - 1;
      ctx.word_roles[0].role_idx = NE_ROLE_Y;
      ctx.len = first->length;
      if (first_end >= m_nTextLen) {
        ctx.suc_node = nullptr;
        ctx.suc_item = nullptr;
        ctx.suc_match_pos = m_nTextLen + 1;
      } else {
        const size_t s = _next_end(first_end);
        ctx.suc_node = &m_lattice->m_nodes[s];
        ctx.suc_item = _path_item(s);
        ctx.suc_match_pos = s;
      }
      return true;
    }
    case 9: {
      // "F B": the scan goes on at the B word in any case, so that a name
      // beginning with that surname can still match.
      const bool reject = ctx.suc_item != nullptr && (ctx.suc_item->perIdx == NE_ROLE_Z ||
                                                      ctx.suc_item->perIdx == NE_ROLE_C);
      ctx.suc_match_pos = static_cast<size_t>(ctx.end_node - m_lattice->m_nodes);
      return !reject;
    }
    case kModeY:
      ctx.type = ctx.beg_item->type == kItemPersonWord ? kItemPerson : kItemTransPerson;
      return true;
    default:
      return true;
  }
}

float CPersonRecognizer::_char_role_prob(size_t pos, uint8_t role) const {
  const uint32_t attr = _get_attribute_idx(m_text + pos, 2);
  if (attr == kAttrSingleChar || attr == 0) return CRoleTagger::kUnmatchedRoleProb;
  return CRoleTagger::_getNameCharRoleProb(*m_res.dict, attr - 1, role, CRoleTagger::PN);
}

bool CPersonRecognizer::_reads_as_transliteration(size_t begin, size_t len) const {
  // Three characters of one byte pair each, and no compound surname.
  if (len != 3 * kCharBytes || begin + len > m_nTextLen) return false;
  for (size_t k = 0; k < len; k += kCharBytes)
    if (static_cast<unsigned char>(m_text[begin + k]) < 0x81) return false;
  const float chinese = _char_role_prob(begin, NE_ROLE_B) +
                        _char_role_prob(begin + kCharBytes, NE_ROLE_C) +
                        _char_role_prob(begin + 2 * kCharBytes, NE_ROLE_D);
  const float trans = _char_role_prob(begin, NE_ROLE_H) +
                      _char_role_prob(begin + kCharBytes, NE_ROLE_I) +
                      _char_role_prob(begin + 2 * kCharBytes, NE_ROLE_T);
  return trans > chinese + kTransMargin;
}

// --- Item insertion ------------------------------------------------------------

tSegItemInfo* CPersonRecognizer::_add_item(size_t end, const tSegItemInfo& item, uint32_t hint) {
  NeContextType& ctx = *m_ctx;
  CLattice& lat = *m_lattice;
  // Reserving a range may reallocate the item store: keep the candidate's
  // items by index meanwhile.
  tSegItemInfo** refs[4] = {&ctx.beg_item, &ctx.end_item, &ctx.pre_item, &ctx.suc_item};
  size_t idx[4];
  const tSegItemInfo* base = lat.m_sentence_words.data();
  for (int i = 0; i < 4; ++i) idx[i] = *refs[i] ? static_cast<size_t>(*refs[i] - base) : SIZE_MAX;
  tSegItemInfo* added = lat.add_item(static_cast<uint32_t>(end), item, hint);
  tSegItemInfo* nbase = lat.m_sentence_words.data();
  for (int i = 0; i < 4; ++i) *refs[i] = idx[i] == SIZE_MAX ? nullptr : nbase + idx[i];
  if (added == nullptr) fputs(kLatticeNodeFullMessage, stderr);
  return added;
}

tSegItemInfo* CPersonRecognizer::_add_span_item(size_t s, size_t l, uint32_t hint, uint8_t role,
                                                int type, bool counted) {
  if (l == 0 || s + l > m_nTextLen) return nullptr;
  tSegItemInfo item;
  std::memset(&item, 0, sizeof(item));
  item.begin_pos = static_cast<uint32_t>(s);
  item.length = static_cast<uint32_t>(l);
  item.nAttributeIdx = _get_attribute_idx(m_text + s, l);
  item.bcomb = CRoleTagger::_is_comb(*m_res.dict, static_cast<int>(item.nAttributeIdx) - 1);
  item.perIdx = role;
  item.type = type;
  tSegItemInfo* added = _add_item(s + l, item, hint);
  if (added != nullptr && counted) ++m_lattice->m_nodes[s + l].ItemsNumNER;
  return added;
}

bool CPersonRecognizer::_insert_ne_item() {
  return CNeItems::_add_ne_item(*m_lattice, m_text, static_cast<uint32_t>(m_nTextLen),
                                *m_res.dict, *m_ctx, CNeItems::PN, *m_ne_count) != nullptr;
}

// --- Scan --------------------------------------------------------------------------

int CPersonRecognizer::_pn_mode_match(CLattice& lattice, const char* text, size_t text_len,
                                      NeContextType& ctx, int& ne_count) {
  bind(lattice, text, text_len, ctx, ne_count);
  if (text == nullptr || text_len == 0 || text_len >= CLattice::kMaxNodes ||
      m_res.dict == nullptr || m_res.pn_mode_trie == nullptr)
    return 1;
  if (!m_res.path_checked && !tagger_path_is_consistent(lattice, static_cast<uint32_t>(text_len)))
    return 1;

  size_t p = lattice.m_nodes[0].nNextLen;
  while (p <= text_len) {
    // A surname and a given name that the role tagging missed are tried
    // as "B Z"; they keep their roles only as a candidate.
    const bool retagged = _path_item(p)->perIdx == NE_ROLE_A && _surname_before_given_word(p);
    if (retagged) {
      _path_item(p)->perIdx = NE_ROLE_B;
      _path_item(_next_end(p))->perIdx = NE_ROLE_Z;
    } else if (_path_item(p)->perIdx == NE_ROLE_A) {
      p = _next_end(p);
      continue;
    }
    int mode = _pn_trie_mode_match(p);
    if (mode == kModeRejected) mode = _pn_foreign_mode_match(p);
    if (mode == kModeRejected) {
      if (retagged) {
        _path_item(p)->perIdx = NE_ROLE_A;
        _path_item(_next_end(p))->perIdx = NE_ROLE_A;
      }
      p = _next_end(p);
      continue;
    }
    const uint8_t first_role = ctx.beg_item->perIdx;
    bool accepted;
    if (first_role == NE_ROLE_B)
      accepted = _pn_b_initial_model_revise();
    else if (first_role == NE_ROLE_U)
      accepted = _split_u_node(ctx.mode);
    else
      accepted = _pn_rule_revise();
    if (accepted && ctx.mode != kModeRejected && !_before_place_head()) {
      if (ctx.type == kItemPerson && _reads_as_transliteration(ctx.begin_pos, ctx.len))
        ctx.type = kItemTransPerson;
      if (_reads_as_place()) _as_place();
      _insert_ne_item();
    }
    // Every resume position lies after the word at p; the guard keeps the
    // scan moving whatever a revision left behind.
    p = ctx.suc_match_pos > p ? ctx.suc_match_pos : _next_end(p);
  }
  _extend_name_words();
  return 1;
}

bool CPersonRecognizer::_before_place_head() const {
  const tSegItemInfo* next = m_ctx->suc_item;
  return next != nullptr && next->begin_pos + next->length <= m_nTextLen &&
         CNeItems::_is_place_head(m_text + next->begin_pos, next->length);
}

bool CPersonRecognizer::_before_numbered_place_head() const {
  const tSegItemInfo* next = m_ctx->suc_item;
  if (next == nullptr || next->begin_pos + next->length >= m_nTextLen ||
      !CNeItems::_is_numeral(m_text + next->begin_pos, next->length))
    return false;
  return CNeItems::_head_at(m_text, m_nTextLen, *m_lattice, next->begin_pos) != CNeItems::kNoHead;
}

bool CPersonRecognizer::_reads_as_place() const {
  return _before_numbered_place_head() || _ends_with_place_head() || _in_place_list();
}

void CPersonRecognizer::_as_place() {
  m_ctx->type = m_ctx->type == kItemPerson ? kItemLocation : kItemTransLocation;
}

bool CPersonRecognizer::_ends_with_place_head() const {
  const NeContextType& ctx = *m_ctx;
  if (ctx.len < 3 * kCharBytes || ctx.begin_pos + ctx.len > m_nTextLen) return false;
  const char* last = m_text + ctx.begin_pos + ctx.len - kCharBytes;
  if (static_cast<unsigned char>(last[0]) < 0x81 || !CNeItems::_is_place_head(last, kCharBytes))
    return false;
  // Given names end with 村 more often than with the other heads (X雪村;
  // 8 of the training text's 18 such names), X家村 is a family's place.
  static const unsigned char kJia[2] = {0xBC, 0xD2};  // 家
  static const unsigned char kCun[2] = {0xB4, 0xE5};  // 村
  return ctx.type != kItemPerson || std::memcmp(last, kCun, kCharBytes) != 0 ||
         std::memcmp(last - kCharBytes, kJia, kCharBytes) == 0;
}

namespace {

const unsigned char kListComma[2] = {0xA1, 0xA2};  // 、
const unsigned char kDeng[2] = {0xB5, 0xC8};       // 等
const unsigned char kDi[2] = {0xB5, 0xD8};         // 地
const unsigned char kGuo[2] = {0xB9, 0xFA};        // 国
// How far a list is followed to its end.
const int kListScanWords = 24;

bool is_list_comma(const char* w, size_t len) {
  return len == 2 && std::memcmp(w, kListComma, 2) == 0;
}

// Whether w joins two items of a list: "、", or the conjunction before a
// list's last item (和, 及, 与).
bool joins_list_items(const char* w, size_t len) {
  static const char kLastItem[] = "\xBA\xCD\xBC\xB0\xD3\xEB";  // 和 及 与
  if (is_list_comma(w, len)) return true;
  for (size_t k = 0; len == 2 && k + 1 < sizeof(kLastItem); k += 2)
    if (std::memcmp(w, kLastItem + k, 2) == 0) return true;
  return false;
}

// Whether a list item ends before the word w: the sentence ends, or w joins
// items, is a word of 等 (等, 等地), or a punctuation mark.
bool ends_list_item(const char* w, size_t len) {
  if (w == nullptr || len == 0) return true;
  const unsigned char c = static_cast<unsigned char>(w[0]);
  if (len >= 2 && std::memcmp(w, kDeng, 2) == 0) return true;
  if (joins_list_items(w, len)) return true;
  if (len == 2 && c == 0xA1) return true;  // 、 。 “ ” 《 》 （ ） ...
  return len == 1 && c < 0x80 && std::ispunct(c) != 0;
}

}  // namespace

int CPersonRecognizer::_first_tag_of_word(const tSegItemInfo* item) const {
  if (item == nullptr || item->begin_pos + item->length > m_nTextLen ||
      item->length < 2 * kCharBytes || item->nAttributeIdx == 0 ||
      item->nAttributeIdx - 1 >= m_res.dict->mWordNum)
    return -1;
  const prop_list_t tags = m_res.dict->pos_list(item->nAttributeIdx - 1);
  return tags.len > 0 ? static_cast<int>(tags.ids[0]) : -1;
}

bool CPersonRecognizer::_is_place_word(const tSegItemInfo* item) const {
  return _first_tag_of_word(item) == LX_NS;
}

bool CPersonRecognizer::_place_item_after(const tSegItemInfo* comma) const {
  if (comma == nullptr || !is_list_comma(m_text + comma->begin_pos, comma->length)) return false;
  const size_t comma_end = comma->begin_pos + comma->length;
  if (comma_end >= m_nTextLen) return false;
  const tSegItemInfo* place = _path_item(_next_end(comma_end));
  if (!_is_place_word(place)) return false;
  const size_t place_end = place->begin_pos + place->length;
  if (place_end >= m_nTextLen) return true;
  const tSegItemInfo* after = _path_item(_next_end(place_end));
  return after == nullptr || ends_list_item(m_text + after->begin_pos, after->length);
}

bool CPersonRecognizer::_list_of_places_follows(const tSegItemInfo* w) const {
  size_t q = w->begin_pos + w->length;  // end of the word w
  for (int steps = 0; steps < kListScanWords && w != nullptr; ++steps) {
    const char* t = m_text + w->begin_pos;
    if (w->length >= 2 && std::memcmp(t, kDeng, 2) == 0) return _ends_place_list(w, q);
    if (!joins_list_items(t, w->length) && ends_list_item(t, w->length)) return false;
    if (q >= m_nTextLen) return false;
    q = _next_end(q);
    w = _path_item(q);
  }
  return false;
}

bool CPersonRecognizer::_ends_place_list(const tSegItemInfo* deng, size_t deng_end) const {
  const char* t = m_text + deng->begin_pos;
  if (deng->length > 2)
    return CNeItems::_is_place_head(t + 2, deng->length - 2) ||
           (deng->length == 4 && std::memcmp(t + 2, kDi, 2) == 0);
  if (deng_end >= m_nTextLen) return false;
  const tSegItemInfo* kind = _path_item(_next_end(deng_end));
  if (kind == nullptr) return false;
  const char* k = m_text + kind->begin_pos;
  return CNeItems::_is_place_head(k, kind->length) ||
         (kind->length == 2 && (std::memcmp(k, kDi, 2) == 0 || std::memcmp(k, kGuo, 2) == 0));
}

bool CPersonRecognizer::_in_place_list() const {
  const NeContextType& ctx = *m_ctx;
  if (ctx.begin_pos + ctx.len > m_nTextLen) return false;
  // The word after the candidate: it must close the candidate's item.
  const tSegItemInfo* next = ctx.suc_item;
  if (next != nullptr && !ends_list_item(m_text + next->begin_pos, next->length)) return false;
  // A place item right after: "、" place, then the end of that item.
  if (_place_item_after(next)) return true;
  // A place item right before: place "、" candidate.
  const tSegItemInfo* comma = ctx.pre_item;
  const bool comma_before = comma != nullptr &&
                            is_list_comma(m_text + comma->begin_pos, comma->length);
  if (comma_before && comma->begin_pos > 0 && _is_place_word(_path_item(comma->begin_pos)))
    return true;
  // A list that ends in "等地" (等 国, 等 省 ...) lists places.
  if (next == nullptr) return false;
  const char* n = m_text + next->begin_pos;
  const bool in_list = comma_before || is_list_comma(n, next->length) ||
                       (next->length >= 2 && std::memcmp(n, kDeng, 2) == 0);
  return in_list && _list_of_places_follows(next);
}

bool CPersonRecognizer::_is_name_word(const tSegItemInfo* item) const {
  if (_first_tag_of_word(item) != LX_NR) return false;
  for (size_t k = 0; k < item->length; k += kCharBytes)
    if (static_cast<unsigned char>(m_text[item->begin_pos + k]) < 0x81) return false;
  return true;
}

bool CPersonRecognizer::_surname_before_given_word(size_t p) const {
  const tSegItemInfo* b = _path_item(p);
  if (b->length != kCharBytes || p >= m_nTextLen) return false;
  const tSegItemInfo* z = _path_item(_next_end(p));
  if (z == nullptr || z->perIdx != NE_ROLE_A || z->length != 2 * kCharBytes) return false;
  const int z_tag = _first_tag_of_word(z);
  if (z_tag != LX_NS && z_tag != LX_NZ) return false;
  // Role lists are sorted by probability: the first is the likeliest.  A
  // word outside the dictionary has none.
  const prop_list_t b_roles = m_res.dict->role_list(b->nAttributeIdx - 1u);
  const prop_list_t z_roles = m_res.dict->role_list(z->nAttributeIdx - 1u);
  return b_roles.len > 0 && b_roles.ids[0] == NE_ROLE_B && z_roles.len > 0 &&
         z_roles.ids[0] == NE_ROLE_Z;
}

bool CPersonRecognizer::_is_trans_char_word(const tSegItemInfo* item, uint8_t role) const {
  if (item->length != kCharBytes || static_cast<unsigned char>(m_text[item->begin_pos]) < 0x81)
    return false;
  const float as_part = _char_role_prob(item->begin_pos, role);
  return as_part > CRoleTagger::kUnmatchedRoleProb &&
         as_part >= _char_role_prob(item->begin_pos, NE_ROLE_A) + kTransCharMargin;
}

void CPersonRecognizer::_extend_name_words() {
  NeContextType& ctx = *m_ctx;
  size_t prev_end = 0;  // end of the word before the one at p (0: none)
  for (size_t p = m_lattice->m_nodes[0].nNextLen; p <= m_nTextLen; p = _next_end(p)) {
    const tSegItemInfo* w = _path_item(p);
    const size_t w_prev_end = prev_end;
    prev_end = p;
    if (!_is_name_word(w)) continue;
    const bool left = w_prev_end > 0 && _is_trans_char_word(_path_item(w_prev_end), NE_ROLE_H) &&
                      !_is_name_word(_path_item(w_prev_end));
    const size_t next = p < m_nTextLen ? _next_end(p) : m_nTextLen + 1;
    const bool right = next <= m_nTextLen && _is_trans_char_word(_path_item(next), NE_ROLE_T);
    if (!left && !right) continue;
    const size_t first = left ? w_prev_end : p;
    const size_t last = right ? next : p;
    const size_t begin = _path_item(first)->begin_pos;
    // A name the scan found over any of these words decides alone.
    bool known = false;
    const size_t stop = last + MAX_TRANS_LEN < m_nTextLen ? last + MAX_TRANS_LEN : m_nTextLen;
    for (size_t q = begin + 1; q <= stop && !known; ++q) {
      tNodeInfo& node = m_lattice->m_nodes[q];
      if (node.ItemsNumNER == 0 || node.wsidx == kNoRange) continue;
      for (uint32_t j = 0; j < node.ItemsNum && !known; ++j) {
        const tSegItemInfo* it = m_lattice->item(&node, j);
        known = it->nAttributeIdx == kAttrPerson && it->begin_pos < last;
      }
    }
    if (known) continue;
    if (!_set_ne_ctx_info(first, last, kModeTrans)) continue;
    int k = 0;
    if (left) ctx.word_roles[k++].role_idx = NE_ROLE_H;
    ctx.word_roles[k++].role_idx = left && right ? NE_ROLE_I : left ? NE_ROLE_T : NE_ROLE_H;
    if (right) ctx.word_roles[k].role_idx = NE_ROLE_T;
    ctx.type = kItemTransPerson;
    if (_reads_as_place()) _as_place();
    if (_before_place_head() ||
        _is_copy_word(m_text, static_cast<int>(m_nTextLen), static_cast<int>(ctx.begin_pos),
                      static_cast<int>(ctx.len)))
      continue;
    tSegItemInfo* added =
        CNeItems::_add_ne_item(*m_lattice, m_text, static_cast<uint32_t>(m_nTextLen), *m_res.dict,
                               ctx, CNeItems::PN, *m_ne_count);
    // The name word is known: only the added characters are evidence.
    if (added != nullptr)
      added->weight = (left ? _char_role_prob(ctx.begin_pos, NE_ROLE_H) : 0.0f) +
                      (right ? _char_role_prob(next - kCharBytes, NE_ROLE_T) : 0.0f);
  }
}

// --- Harness -----------------------------------------------------------------------

bool CPersonRecognizer::test_ne_mode_match_prepare(CLattice& lattice, const char* text,
                                                   size_t text_len, const char* roles,
                                                   const char* lengths, uint32_t capacity) {
  if (text == nullptr || roles == nullptr || lengths == nullptr || m_res.dict == nullptr)
    return false;
  if (text_len == 0 || text_len >= CLattice::kMaxNodes) return false;
  NeNameMap role_map;
  CNerResource::_load_all_roles(role_map);
  std::vector<uint8_t> role_ids;
  std::vector<size_t> lens;
  {
    std::string all(roles), tok;
    for (size_t i = 0; i <= all.size(); ++i) {
      if (i == all.size() || all[i] == ' ') {
        if (!tok.empty()) {
          const int id = CNerResource::_get_map_value(role_map, tok);
          if (id <= 0 || id > 255) return false;
          role_ids.push_back(static_cast<uint8_t>(id));
          tok.clear();
        }
      } else {
        tok += all[i];
      }
    }
  }
  {
    const char* s = lengths;
    while (*s) {
      if (*s == ' ') {
        ++s;
        continue;
      }
      char* endp = nullptr;
      const long v = std::strtol(s, &endp, 10);
      if (endp == s || v <= 0 || static_cast<size_t>(v) > text_len) return false;
      lens.push_back(static_cast<size_t>(v));
      s = endp;
    }
  }
  if (lens.empty() || lens.size() != role_ids.size()) return false;
  size_t sum = 0;
  for (size_t l : lens) sum += l;
  if (sum != text_len) return false;

  m_text = text;
  m_nTextLen = text_len;
  lattice.clear(static_cast<uint32_t>(text_len));
  size_t pos = 0;
  for (size_t k = 0; k < lens.size(); ++k) {
    tSegItemInfo item;
    std::memset(&item, 0, sizeof(item));
    item.begin_pos = static_cast<uint32_t>(pos);
    item.length = static_cast<uint32_t>(lens[k]);
    item.nAttributeIdx = _get_attribute_idx(text + pos, lens[k]);
    item.type = _own_type(item.nAttributeIdx);
    item.bcomb = CRoleTagger::_is_comb(*m_res.dict, static_cast<int>(item.nAttributeIdx) - 1);
    item.perIdx = role_ids[k];
    item.perIdxLN = NE_ROLE_A;
    const uint32_t end = static_cast<uint32_t>(pos + lens[k]);
    tSegItemInfo* stored = lattice.add_item(end, item, capacity == 0 ? 1 : capacity);
    if (stored == nullptr) return false;
    lattice.m_nodes[pos].nNextLen = lens[k];
    lattice.m_nodes[end].MaxItem = stored;
    lattice.m_nodes[end].IdxMaxItemWeight = 0;
    lattice.m_nodes[end].bBest = true;
    pos = end;
  }
  lattice.m_nodes[text_len].nNextLen = 1;
  return true;
}

bool CPersonRecognizer::test_pn_mode_match(CLattice& lattice, const char* text, size_t text_len,
                                           const char* roles, const char* lengths,
                                           NeContextType& ctx, int& ne_count, uint32_t capacity) {
  if (!test_ne_mode_match_prepare(lattice, text, text_len, roles, lengths, capacity)) return false;
  _pn_mode_match(lattice, text, text_len, ctx, ne_count);
  return true;
}
