#include "seg/location_recognizer.h"

#include <cstring>

#include "dict/NerResource.h"
#include "seg/char_class.h"
#include "seg/ne_items.h"
#include "seg/path_words.h"
#include "seg/role_tagger.h"

bool CLocationRecognizer::_loc_rule(const char* word, int len) {
  if (word == nullptr || len != 4) return true;
  if (is_numeral(word, kPlaceNumerals)) return false;
  // Two characters only when the first is a two-byte one; then equal bytes
  // make the second the same two-byte character.
  const unsigned char lead = static_cast<unsigned char>(word[0]);
  if (lead >= 0x81 && word[0] == word[2] && word[1] == word[3]) return false;
  return true;
}

void CLocationRecognizer::_ln_rule_revise(const char* text, uint32_t n, NeContextType& ctx) {
  bool reject = false;
  if (text == nullptr || ctx.begin_pos > n || ctx.len > n - ctx.begin_pos) {
    reject = true;  // not a span of this sentence
  } else if (CNeItems::_is_copy_word(text, static_cast<int>(n), static_cast<int>(ctx.begin_pos),
                                     static_cast<int>(ctx.len))) {
    reject = true;
  } else if (!_loc_rule(text + ctx.begin_pos, static_cast<int>(ctx.len))) {
    reject = true;
  }
  if (reject) {
    ctx.mode = -1;
    ctx.role_count = 0;
  }
}

int CLocationRecognizer::_ln_mode_match(CLattice& lattice, uint32_t n, size_t cur_index,
                                        NeContextType& ctx) {
  if (n == 0 || n >= CLattice::kMaxNodes || cur_index >= n) return -1;
  tSegItemInfo* head = lattice.chosen_item(static_cast<uint32_t>(cur_index));
  if (head == nullptr) return -1;
  const uint8_t h = head->perIdxLN;
  if (h != NE_ROLE_LH && h != NE_ROLE_FH) return -1;
  const size_t max_prefix = h == NE_ROLE_LH ? MAX_LN_CHINA_PREFIX_LEN : MAX_LN_TRANS_PREFIX_LEN;

  // Head and middle words.  A prefix over the limit can never match, so the
  // walk stops there; this also bounds the number of words by
  // max_prefix + 1, below the capacity of word_roles.
  size_t prefix = head->length;
  if (prefix > max_prefix) return -1;
  PathStep next = path_step(lattice, static_cast<uint32_t>(cur_index), n);
  if (next.item == nullptr) return -1;
  while (next.item->perIdxLN == h + 1) {
    prefix += next.item->length;
    if (next.end >= n || prefix > max_prefix) return -1;
    next = path_step(lattice, next.end, n);
    if (next.item == nullptr) return -1;
  }
  if (next.item->perIdxLN != h + 2) return -1;
  const uint32_t last = next.end;  // the tail word ends here

  ctx.mode = h == NE_ROLE_LH ? kModeChina : kModeTrans;
  ctx.type = h == NE_ROLE_LH ? kItemLocation : kItemTransLocation;
  ctx.beg_node = &lattice.m_nodes[cur_index];
  ctx.beg_item = head;
  ctx.end_node = &lattice.m_nodes[last];
  ctx.end_item = next.item;
  ctx.begin_pos = head->begin_pos;
  ctx.len = last - head->begin_pos;
  if (head->begin_pos == 0) {
    ctx.pre_node = nullptr;
    ctx.pre_item = nullptr;
  } else {
    ctx.pre_node = &lattice.m_nodes[head->begin_pos];
    ctx.pre_item = lattice.chosen_item(head->begin_pos);
  }
  const PathStep after = path_step(lattice, last, n);
  if (after.item == nullptr) {
    ctx.suc_node = nullptr;
    ctx.suc_item = nullptr;
    ctx.suc_match_pos = static_cast<size_t>(n) + 1;
  } else {
    ctx.suc_node = &lattice.m_nodes[after.end];
    ctx.suc_item = after.item;
    ctx.suc_match_pos = after.end;
  }
  ctx.role_count = 0;
  for (uint32_t p = static_cast<uint32_t>(cur_index);
       ctx.role_count < NeContextType::MAX_NE_ITEM_COUNT;) {
    const tSegItemInfo* w = lattice.m_nodes[p].MaxItem;
    NeRoleInfoType& r = ctx.word_roles[ctx.role_count++];
    r.prop_idx = static_cast<size_t>(w->nAttributeIdx) - 1;  // 0 gives all ones
    r.role_idx = w->perIdxLN;
    if (p == last) break;
    const PathStep s = path_step(lattice, p, n);
    if (s.item == nullptr) break;  // cannot happen: the walk above went this way
    p = s.end;
  }
  return ctx.mode;
}

int CLocationRecognizer::_ln_mode_match(CLattice& lattice, const char* text, uint32_t n,
                                        const CBasicDict& dict, NeContextType& ctx,
                                        int& ne_count, bool path_checked) {
  if (text == nullptr || (!path_checked && !tagger_path_is_consistent(lattice, n))) return 0;
  size_t p = lattice.m_nodes[0].nNextLen;
  // No name can begin with the word ending at n, so the scan stops there
  // (rather than stepping over node n by its nNextLen).
  while (p < n) {
    const tSegItemInfo* w = lattice.m_nodes[p].MaxItem;
    if (w->perIdxLN == NE_ROLE_A || _ln_mode_match(lattice, n, p, ctx) < 0) {
      p += lattice.m_nodes[p].nNextLen;
      continue;
    }
    _ln_rule_revise(text, n, ctx);
    const size_t resume = ctx.suc_match_pos;
    if (ctx.mode != -1) CNeItems::_add_ne_item(lattice, text, n, dict, ctx, CNeItems::LN, ne_count);
    p = resume;
  }
  return 1;
}
