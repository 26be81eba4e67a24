#include "seg/ambiguity.h"

#include <cstdio>
#include <cstring>

#include "base/DoubleArray.h"
#include "dict/BasicDict.h"
#include "dict/CustomDict.h"
#include "dict/RuleDict.h"
#include "seg/char_class.h"
#include "seg/path_words.h"

namespace {

// "个", the measure word a number must not end with to take a unit.
const uint16_t kGe = 0xF6B8;
// "年", "月" and "份": a year, and the month that 份 may follow.
const uint16_t kNian = 0xEAC4;
const uint16_t kYue = 0xC2D4;
const uint16_t kFen = 0xDDB7;
// "天", "秒" and "号": units that stay apart from a number.
const uint16_t kTian = 0xECCC;
const uint16_t kMiao = 0xEBC3;
const uint16_t kHao = 0xC5BA;

// An item as the producer makes it, before the pass fills in its word.
void init_item(tSegItemInfo& it) {
  std::memset(&it, 0, sizeof(it));
  it.perIdx = 50;
}

bool is_amb_rule_type(int type) { return type == kItemAmbRule || type == kItemAmbRuleTwin; }

}  // namespace

CAmbiguityResolver::CAmbiguityResolver(CLattice& lattice, const CBasicDict* dict,
                                       const CRuleDict* rules, const CCustomDict* seclex,
                                       uint32_t fenzhi_idx, bool bpms)
    : m_lattice(lattice),
      m_pText(nullptr),
      m_nTextLen(0),
      m_pBasicDict(dict),
      m_pRule(rules),
      m_pSecondDict(seclex),
      m_fenzhi_idx(fenzhi_idx),
      m_bpms(bpms) {}

void CAmbiguityResolver::set_sentence(const char* text, uint32_t len) {
  m_pText = text;
  m_nTextLen = len;
}

bool CAmbiguityResolver::_ready() const {
  return m_pText != nullptr && m_nTextLen > 0 && m_nTextLen < CLattice::kMaxNodes;
}

long CAmbiguityResolver::_node_pos(const tNodeInfo* node) const {
  if (!_ready() || node == nullptr) return -1;
  const tNodeInfo* first = m_lattice.m_nodes;
  // Compare addresses as integers: a pointer outside the array must not be
  // subtracted from it.
  const uintptr_t a = reinterpret_cast<uintptr_t>(node);
  const uintptr_t b = reinterpret_cast<uintptr_t>(first);
  if (a < b || (a - b) % sizeof(tNodeInfo) != 0) return -1;
  const uintptr_t pos = (a - b) / sizeof(tNodeInfo);
  if (pos < 1 || pos > m_nTextLen) return -1;
  return static_cast<long>(pos);
}

tSegItemInfo* CAmbiguityResolver::_chosen(uint32_t pos) const {
  return pos > m_nTextLen ? nullptr : m_lattice.chosen_item(pos);
}

tSegItemInfo* CAmbiguityResolver::_item_at(uint32_t pos, uint32_t j) const {
  const tNodeInfo& node = m_lattice.m_nodes[pos];
  if (node.wsidx == kNoRange || j >= node.ItemsNum || j >= node.size) return nullptr;
  tSegItemInfo* it = m_lattice.item(pos, j);
  if (it->length == 0 || it->length > pos || it->begin_pos != pos - it->length) return nullptr;
  return it;
}

int CAmbiguityResolver::_index_of(uint32_t pos, const tSegItemInfo* it) const {
  const tNodeInfo& node = m_lattice.m_nodes[pos];
  if (it == nullptr || node.wsidx == kNoRange) return -1;
  for (uint32_t j = 0; j < node.ItemsNum && j < node.size; ++j)
    if (m_lattice.item(pos, j) == it) return static_cast<int>(j);
  return -1;
}

void CAmbiguityResolver::_clear_inside(uint32_t begin, uint32_t end) {
  for (uint32_t q = begin + 1; q < end; ++q) {
    m_lattice.m_nodes[q].bBegin = false;
    m_lattice.m_nodes[q].bBest = false;
  }
}

int CAmbiguityResolver::_single_char_class(const tSegItemInfo& it) const {
  if (it.length != 2) return kChsOther;
  // Callers pass items that end at a node of the sentence, so both bytes
  // lie inside it.
  return chs_class_of(m_pText + it.begin_pos);
}

uint32_t CAmbiguityResolver::_ensure_last_slot(uint32_t pos) {
  tNodeInfo* node = &m_lattice.m_nodes[pos];
  if (node->wsidx == kNoRange || node->size == 0) {
    m_lattice.init_node_item(node, 3);  // may move the store
    node->ItemsNum = 1;
    node->ItemsNumNER = 0;
    init_item(*m_lattice.item(node, 0));
  } else if (node->ItemsNum == 0) {
    node->ItemsNum = 1;
    init_item(*m_lattice.item(node, 0));
  } else if (node->ItemsNum > node->size) {
    node->ItemsNum = static_cast<uint8_t>(node->size);  // keep indexes inside the range
  }
  return node->ItemsNum - 1u;
}

// ---------------------------------------------------------------------------

void CAmbiguityResolver::_clear_cob_ovp_amb() {
  if (!_ready()) return;
  const uint32_t n = m_nTextLen;
  tNodeInfo* nodes = m_lattice.m_nodes;
  uint32_t prev = 0;
  size_t step = nodes[0].nNextLen;
  if (step == 0 || step > n) return;
  uint32_t k = static_cast<uint32_t>(step);
  for (;;) {
    tNodeInfo* node = &nodes[k];
    if (tSegItemInfo* c = _chosen(k)) c->nPreIndex = 0;
    if (node->bRule) {
      _clear_ovp_amb(node);
      // Splitting may have shortened the word that starts at the previous
      // path node; the node it now ends at may hold a rule word too.
      const size_t pl = nodes[prev].nNextLen;
      if (pl != 0 && pl <= n - prev) {
        const uint32_t m = prev + static_cast<uint32_t>(pl);
        if (m != k && nodes[m].bRule) _clear_ovp_amb(&nodes[m]);
      }
    }
    _clear_cob_amb(node);
    // Node n has nNextLen 1, which ends the walk; 0 would never advance.
    step = node->nNextLen;
    if (step == 0 || step > n - k) break;
    prev = k;
    k += static_cast<uint32_t>(step);
  }
}

void CAmbiguityResolver::_clear_ovp_amb(tNodeInfo* node) {
  const long lpos = _node_pos(node);
  if (lpos < 0 || m_pBasicDict == nullptr) return;
  const uint32_t pos = static_cast<uint32_t>(lpos);
  tSegItemInfo* chosen = _chosen(pos);
  if (chosen == nullptr || node->wsidx == kNoRange || node->ItemsNum == 0) return;

  // The word to split and the slot its last sub-word goes to.
  tSegItemInfo* word = nullptr;
  uint32_t slot = 0;
  if (is_amb_rule_type(chosen->type)) {
    if (m_bpms) return;  // LX_PMUL keeps words with two readings whole
    word = chosen;
    slot = 0;
  } else {
    const uint32_t last = node->IdxMaxItemWeight;  // inclusive
    for (uint32_t j = 0; j <= last && j < node->ItemsNum; ++j) {
      tSegItemInfo* it = _item_at(pos, j);
      // Only a word that starts where the chosen one starts, or before it,
      // can take over the path: the walk reaches this node from the chosen
      // word's start.
      if (it && it->type == kItemRule && m_lattice.m_nodes[it->begin_pos].bBest &&
          it->begin_pos <= chosen->begin_pos) {
        word = it;
        slot = j;
        break;
      }
    }
    if (word == nullptr) return;
  }
  // The slot item may be overwritten and the store may move: keep copies.
  const uint32_t wbegin = word->begin_pos;
  const int wtype = word->type;
  const uint32_t wattr = word->nAttributeIdx;
  const bool word_is_chosen_span = (wbegin == chosen->begin_pos);

  // Its rule block (the second one for the -88 twin), checked before
  // anything changes.
  rule_block_t block{};
  bool usable = false;
  uint32_t lens[BasicDict_MaxRuleCount + 1];
  uint32_t idxs[BasicDict_MaxRuleCount + 1];
  const uint32_t widx = wattr - 1;
  const word_prop_t* info = wattr == 0 ? nullptr : m_pBasicDict->word_info(widx);
  if (info == nullptr) {
    std::fprintf(stderr, "rule word without dictionary index: %u\n", wattr);
  } else if (info->m_seg_rule_sidx == Prop_None) {
    std::fprintf(stderr, "rule word %u has no rule block\n", widx);
  } else if (!m_pBasicDict->rule_block(widx, wtype == kItemAmbRuleTwin ? 1 : 0, block)) {
    std::fprintf(stderr, "rule word %u: bad rule block (count, extent or sub-word index)\n", widx);
  } else {
    uint32_t total = 0;
    usable = true;
    for (uint32_t k = 0; k < block.n; ++k) {
      idxs[k] = static_cast<uint32_t>(block.x[k]);  // checked: a dictionary index
      const word_prop_t* sub = m_pBasicDict->word_info(idxs[k]);
      lens[k] = sub ? sub->m_WordLength : 0;
      if (lens[k] == 0) usable = false;
      total += lens[k];
    }
    if (block.n > 0 && total != pos - wbegin) usable = false;
    if (!usable) std::fprintf(stderr, "rule word %u: sub-words do not add up to the word\n", widx);
  }

  if (!usable || block.n == 0) {
    // The word stays whole.  Its inner nodes are cleared only when they are
    // not path nodes, i.e. when the word spans the chosen word.
    if (word_is_chosen_span) _clear_inside(wbegin, pos);
    if (!usable) return;
    // Block count 0: only the combination check runs, bounded by the rule
    // word's slot.
    tSegItemInfo* before = node->MaxItem;
    node->IdxMaxItemWeight = static_cast<uint8_t>(slot);
    _clear_cob_amb(node);
    if (node->MaxItem == before) {
      const int j = _index_of(pos, before);
      if (j >= 0) node->IdxMaxItemWeight = static_cast<uint8_t>(j);
    }
    return;
  }

  // The path now runs through the sub-words only.
  _clear_inside(wbegin, pos);
  node->IdxMaxItemWeight = static_cast<uint8_t>(slot);

  // Sub-words from the last to the first, each into the slot of the node it
  // ends at.
  uint32_t cur = pos;
  for (uint32_t k = block.n; k >= 1; --k) {
    const uint32_t len = lens[k - 1];
    const uint32_t start = cur - len;  // >= wbegin: the lengths add up to the word
    const word_prop_t* sub = m_pBasicDict->word_info(idxs[k - 1]);
    tNodeInfo* end_node = &m_lattice.m_nodes[cur];
    tSegItemInfo* it = m_lattice.item(end_node, slot);
    it->begin_pos = start;
    it->length = len;
    it->type = sub->m_NameEntity;
    it->nAttributeIdx = idxs[k - 1] + 1;
    it->nPreIndex = 0;
    it->posIndex = 0;
    it->bcomb = false;
    end_node->MaxItem = it;

    tNodeInfo* start_node = &m_lattice.m_nodes[start];
    start_node->nNextLen = len;
    if (k > 1) {
      // `start` lies strictly inside the word, so it is not node 0.  The
      // reservation may move the store; MaxItem pointers follow it.
      slot = _ensure_last_slot(start);
      start_node->IdxMaxItemWeight = static_cast<uint8_t>(slot);
    }
    start_node->bBegin = true;
    start_node->bBest = true;
    if (k == 1) {
      _clear_cob_amb(end_node);
      return;
    }
    cur = start;
  }
}

void CAmbiguityResolver::_clear_cob_amb(tNodeInfo* node) {
  const long lpos = _node_pos(node);
  if (lpos < 0) return;
  const uint32_t pos = static_cast<uint32_t>(lpos);
  const uint32_t n = m_nTextLen;
  tNodeInfo* nodes = m_lattice.m_nodes;
  tSegItemInfo* c = _chosen(pos);
  if (c == nullptr) return;

  // A longer word over the pieces that end here.
  const uint32_t bound = node->IdxMaxItemWeight;  // exclusive
  for (uint32_t j = 0; j < bound && j < node->ItemsNum; ++j) {
    tSegItemInfo* it = _item_at(pos, j);
    if (it == nullptr || !nodes[it->begin_pos].bBest || it->bcomb || it->type >= kItemRule ||
        it->begin_pos == c->begin_pos)
      continue;
    // A word starting inside the chosen one would leave the walk, which
    // comes from the chosen word's start, with a word that does not begin
    // there.
    if (it->begin_pos > c->begin_pos) continue;
    if (is_amb_rule_type(it->type) && !m_bpms) return;
    _clear_inside(it->begin_pos, pos);
    nodes[it->begin_pos].nNextLen = it->length;
    it->nPreIndex = 0;
    node->MaxItem = it;
    node->IdxMaxItemWeight = static_cast<uint8_t>(j);
    return;
  }

  // Fractions: number, "分之", number.
  if (m_fenzhi_idx != 0 && c->nAttributeIdx == m_fenzhi_idx) {
    if (c->begin_pos == 0) return;
    const size_t next_len = node->nNextLen;
    if (next_len == 0 || next_len > n - pos) return;  // no path word follows
    const uint32_t next = pos + static_cast<uint32_t>(next_len);
    tSegItemInfo* p = _chosen(c->begin_pos);
    tSegItemInfo* f = _chosen(next);
    if (p == nullptr || f == nullptr || f->begin_pos != pos) return;
    if (_single_char_class(*p) == kChsDigit) p->posIndex = kPosIndexNumeral;
    if (_single_char_class(*f) == kChsDigit) f->posIndex = kPosIndexNumeral;
    if (p->posIndex == kPosIndexNumeral && f->posIndex == kPosIndexNumeral) {
      const uint32_t pbegin = p->begin_pos;
      f->begin_pos = pbegin;
      f->length = next - pbegin;
      f->type = kItemFactoid;
      f->nAttributeIdx = kAttrSingleChar;
      nodes[pbegin].nNextLen = f->length;
      const uint32_t fz_begin = c->begin_pos;
      nodes[fz_begin].bBegin = nodes[fz_begin].bBest = false;
      node->bBegin = node->bBest = false;
    }
    return;
  }

  // A number followed by a magnitude or a date/time unit, and 份 after a
  // number with its month ("7月份").
  if (c->begin_pos == 0) return;
  tSegItemInfo* p = _chosen(c->begin_pos);
  if (p == nullptr) return;
  const char* pend = m_pText + c->begin_pos;  // one past P's last byte
  if (c->length == 2 && chs_code(pend) == kFen) {
    if (p->bcomb && p->type == kItemFactoid && p->length > 2 && chs_code(pend - 2) == kYue)
      _merge_number_unit(p, c, pos, kPosIndexTime);
    return;
  }
  const int cls = _unit_class(*c);
  if (cls != kChsDateTimeUnit && cls != kChsMagnitude) return;
  if (_single_char_class(*p) == kChsDigit) p->posIndex = kPosIndexNumeral;
  if (p->posIndex != kPosIndexNumeral) return;
  if (cls == kChsDateTimeUnit && !_number_takes_date_unit(*p, *c)) return;
  if (p->length > 2 && chs_code(pend - 2) == kGe) return;
  if (pend[-1] == '%') return;
  // A fraction takes no unit.
  for (const char* q = m_pText + p->begin_pos; q < pend; ++q)
    if (*q == '/' || (static_cast<unsigned char>(*q) == 0xA3 && q + 1 < pend && q[1] == '\xAF'))
      return;
  _merge_number_unit(p, c, pos, cls == kChsMagnitude ? kPosIndexNumeral : kPosIndexTime);
}

void CAmbiguityResolver::_merge_number_unit(tSegItemInfo* p, tSegItemInfo* c, uint32_t pos,
                                            uint8_t pos_index) {
  tNodeInfo* nodes = m_lattice.m_nodes;
  const uint32_t cbegin = c->begin_pos;
  const uint32_t pbegin = p->begin_pos;
  nodes[cbegin].bBegin = nodes[cbegin].bBest = false;
  // P's begin node led to P; it now leads over P and C.
  nodes[pbegin].nNextLen = pos - pbegin;
  c->begin_pos = pbegin;
  c->length = pos - pbegin;
  c->type = kItemFactoid;
  c->nAttributeIdx = kAttrSingleChar;
  c->bcomb = true;
  c->posIndex = pos_index;
}

int CAmbiguityResolver::_unit_class(const tSegItemInfo& it) const {
  if (it.length == 2) return _single_char_class(it);
  if (it.length % 2 != 0) return kChsOther;
  const char* w = m_pText + it.begin_pos;
  if (it.length == 4 && chs_code(w) == kYue && chs_code(w + 2) == kFen) return kChsDateTimeUnit;
  for (uint32_t k = 0; k < it.length; k += 2)
    if (chs_class_of(w + k) != kChsMagnitude) return kChsOther;
  return kChsMagnitude;
}

bool CAmbiguityResolver::_number_takes_date_unit(const tSegItemInfo& p,
                                                 const tSegItemInfo& unit) const {
  // 年 takes only a year: four digits of any script (１９９６, 1996, 二○○一,
  // 二00一); "3年" and "98年" count years, which the corpus writes apart.
  // Other units take a number of at most two characters (a day, a month, a
  // clock time); longer numbers before them are mostly durations or scores
  // ("2693分"), also written apart.
  const char* w = m_pText + p.begin_pos;
  // 天 and 秒 follow a number as durations, 号 as a house or a size: the
  // corpus writes them apart from the number.
  const uint16_t u = unit.length == 2 ? chs_code(m_pText + unit.begin_pos) : 0;
  if (u == kTian || u == kMiao || u == kHao) return false;
  if (u != kNian) {
    uint32_t chars = 0;
    for (uint32_t k = 0; k < p.length; ++chars)
      k += (static_cast<unsigned char>(w[k]) < 0x81 || k + 1 == p.length) ? 1 : 2;
    return chars <= 2;
  }
  uint32_t digits = 0;
  for (uint32_t k = 0; k < p.length; ++digits) {
    const unsigned char b = static_cast<unsigned char>(w[k]);
    if (b < 0x81 || k + 1 == p.length) {
      if (b < '0' || b > '9') return false;
      k += 1;
      continue;
    }
    const bool digit = is_wide_digit(w + k) || is_numeral(w + k, kDigitNumerals);
    if (!digit) return false;
    k += 2;
  }
  return digits == 4;
}

// ---------------------------------------------------------------------------

void CAmbiguityResolver::_clear_amb_by_userrule() {
  if (!_ready() || m_pRule == nullptr) return;
  const uint32_t n = m_nTextLen;
  tNodeInfo* nodes = m_lattice.m_nodes;
  Darts::DoubleArray::result_pair_type matches[kMaxUserRuleMatches];
  uint32_t p = 0;
  while (p < n) {
    size_t found = 0;
    if (m_pRule->may_start_with(m_pText[p]))
      found = m_pRule->m_ruledict.commonPrefixSearch(m_pText + p, matches, kMaxUserRuleMatches, n - p);
    if (found > kMaxUserRuleMatches) found = kMaxUserRuleMatches;
    bool applied = false;
    // The longest kept match first.
    for (size_t i = found; i-- > 0 && !applied;) {
      const int* seq = m_pRule->rule_sequence(matches[i].value);
      if (seq == nullptr) continue;
      const uint32_t t = static_cast<uint32_t>(seq[0]);
      if (t != matches[i].length || t == 0 || t > n - p) continue;
      if (!nodes[p + t].bBest) continue;  // the key ends inside a path word
      uint64_t total = 0;
      for (const int* s = seq + 1; *s != 0; ++s) total += static_cast<uint32_t>(*s);
      if (total != t) continue;  // segments must tile the key exactly

      for (const int* s = seq + 1; *s != 0; ++s) {
        const uint32_t len = static_cast<uint32_t>(*s);
        const uint32_t e = p + len;
        nodes[p].nNextLen = len;
        tNodeInfo* en = &nodes[e];
        en->bBegin = true;
        en->bBest = true;
        en->MaxItem = nullptr;
        tSegItemInfo* pick = nullptr;
        uint32_t pick_j = 0;
        for (uint32_t j = 0; j < en->ItemsNum; ++j) {
          tSegItemInfo* it = _item_at(e, j);
          if (it && it->length == len) {
            pick = it;
            pick_j = j;
            break;
          }
        }
        if (pick) {
          if (is_amb_rule_type(pick->type)) pick->nAttributeIdx = kAttrSingleChar;
        } else {
          if (en->wsidx == kNoRange || en->size == 0) {
            m_lattice.init_node_item(en, 3);  // may move the store
            init_item(*m_lattice.item(en, 0));
          }
          pick = m_lattice.item(en, 0);
          pick->begin_pos = p;
          pick->length = len;
          pick->type = kItemSingleChar;
          pick->nAttributeIdx = kAttrSingleChar;
          pick->weight = 0;
          pick->bcomb = false;
          en->ItemsNum = 1;
          en->ItemsNumNER = 0;  // any entity items are gone with the others
          pick_j = 0;
        }
        en->MaxItem = pick;
        en->IdxMaxItemWeight = static_cast<uint8_t>(pick_j);
        p = e;
      }
      applied = true;
    }
    if (!applied) {
      const size_t step = nodes[p].nNextLen;
      if (step == 0) break;  // a broken path: nothing sound to follow
      if (step > n - p) break;
      p += static_cast<uint32_t>(step);
    }
  }
}

void CAmbiguityResolver::_clear_cob_by_seclex() {
  // Without records (the default resources' lexicon is empty) no pair can match.
  if (!_ready() || m_pSecondDict == nullptr || m_pSecondDict->m_attrNum == 0) return;
  const uint32_t n = m_nTextLen;
  uint32_t p = 0;
  while (p < n) {
    const uint32_t len = path_len(m_lattice, p, n);
    if (len == 0) break;  // a broken path
    const uint32_t q = p + len;
    // Both words at most 2 bytes, and the second one sound.
    const PathStep second = len <= 2 && path_len(m_lattice, q, n) <= 2 ? path_step(m_lattice, q, n)
                                                                      : PathStep{q, q, nullptr};
    if (second.item != nullptr) {
      const uint32_t ab = second.end - p;
      const int v = m_pSecondDict->m_cd.exactMatchSearch<int>(m_pText + p, ab);
      if (v > 0 && static_cast<size_t>(v) < m_pSecondDict->m_attrNum &&
          m_pSecondDict->getlen(v) == ab) {
        tSegItemInfo* x = second.item;
        const int data = m_pSecondDict->getdata(v);
        const uint8_t pos_index = static_cast<uint8_t>(static_cast<uint32_t>(data) >> 1);
        const bool odd = (data & 1) != 0;
        x->begin_pos = p;
        x->length = ab;
        x->posIndex = pos_index;
        x->nAttributeIdx = kAttrSingleChar;
        if (pos_index == kPosIndexPerson)
          x->type = odd ? kItemTransPerson : kItemPerson;
        else if (pos_index == kPosIndexPlace)
          x->type = odd ? kItemLocationWord2 : kItemLocationWord;
        else
          x->type = kItemSecondaryWord;
        m_lattice.m_nodes[p].nNextLen = ab;
        p += ab;
        continue;
      }
    }
    p = q;
  }
}
