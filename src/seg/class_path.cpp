#include "seg/class_path.h"

#include "lm/Ngram.h"

namespace {

// "家" (GBK).
const unsigned char kJia0 = 0xBC, kJia1 = 0xD2;

inline VocabIndex model_id(const tSegItemInfo& item) {
  const VocabIndex id = item.nAttributeIdx - 1;
  // nAttributeIdx 0 would be the context terminator; score it as unknown.
  return id == Vocab_None ? Vocab_Unknown : id;
}

inline bool is_entity(const tSegItemInfo& item) {
  return item.nAttributeIdx == kAttrPerson || item.nAttributeIdx == kAttrLocation;
}

inline LogP bigram(const Ngram& lm, VocabIndex* wids, VocabIndex word, VocabIndex ctx) {
  wids[0] = word;
  wids[1] = ctx;
  wids[2] = Vocab_None;
  return lm.bigram_prob(word, ctx);
}

// Entity items counted at the node (never more than its items).
inline uint32_t ner_count(const tNodeInfo& node) {
  return node.ItemsNumNER < node.ItemsNum ? node.ItemsNumNER : node.ItemsNum;
}

// Whether the span of `item` lies inside a sentence of n bytes.
inline bool inside(const tSegItemInfo& item, uint32_t n) {
  return item.begin_pos <= n && item.length <= n - item.begin_pos;
}

}  // namespace

bool CClassPath::_is_considered(const tNodeInfo& node, uint32_t j) {
  if (j >= node.ItemsNum) return false;
  if (j >= static_cast<uint32_t>(node.ItemsNum) - ner_count(node)) return true;
  return node.bBest && j == node.IdxMaxItemWeightOld;
}

void CClassPath::_proc_multi_ne_type_item(CLattice& lattice, const char* text, uint32_t n,
                                          tNodeInfo* cur_node) {
  if (cur_node == nullptr || text == nullptr || cur_node->ItemsNum < 2 ||
      cur_node->wsidx == kNoRange) {
    return;
  }
  tSegItemInfo* person = nullptr;
  tSegItemInfo* location = nullptr;
  for (uint32_t j = 0; j < cur_node->ItemsNum; ++j) {
    tSegItemInfo* it = lattice.item(cur_node, j);
    if (it->type == kItemPerson) person = it;
    if (it->type == kItemLocation) location = it;
  }
  if (person == nullptr || location == nullptr || person->begin_pos != location->begin_pos) return;
  if (!inside(*person, n) || !inside(*location, n)) return;

  bool jia = false;
  if (person->length == 6) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text) + person->begin_pos;
    // The second character starts after the first, which is two bytes when
    // its first byte is a lead byte.
    const uint32_t second = s[0] >= 0x81 ? 2 : 1;
    jia = s[second] == kJia0 && s[second + 1] == kJia1;
  }
  if (jia) {
    location->weight /= 10.0f;
    person->weight *= 10.0f;
  } else {
    location->type = kItemAmbLocation;
    person->type = kItemAmbPerson;
  }
}

bool CClassPath::_short_path_search_class_based(CLattice& lattice, uint32_t n, const char* text,
                                                const Ngram& pn_lm, VocabIndex* wids) {
  if (n == 0 || n >= CLattice::kMaxNodes || text == nullptr) return false;
  VocabIndex local_wids[3];
  if (wids == nullptr) wids = local_wids;

  for (uint32_t q = 1; q <= n; ++q) {
    tNodeInfo& node = lattice.m_nodes[q];
    if (node.bBest) node.IdxMaxItemWeightOld = node.IdxMaxItemWeight;
  }

  for (uint32_t q = 1; q <= n; ++q) {
    tNodeInfo& node = lattice.m_nodes[q];
    if (node.ItemsNum == 0) continue;
    node.MaxWeight = LogP_Zero;
    if (node.ItemsNumNER > 1) _proc_multi_ne_type_item(lattice, text, n, &node);

    for (uint32_t j = 0; j < node.ItemsNum; ++j) {
      if (!_is_considered(node, j)) continue;
      tSegItemInfo& x = *lattice.item(&node, j);
      if (x.begin_pos >= q) {
        // Not a word ending here; nothing can follow from it.
        x.weight = LogP_Zero;
        continue;
      }
      const uint32_t b = x.begin_pos;
      const tNodeInfo& B = lattice.m_nodes[b];

      // Far from every entity nothing can change: keep the rule-based word.
      if (b != 0 && !node.bnAmb && !B.bnAmb && node.ItemsNumNER == 0 && B.ItemsNumNER == 0) {
        x.weight = kUnchangedWeight;
        x.nPreIndex = static_cast<int8_t>(B.IdxMaxItemWeight);
        node.MaxWeight = kUnchangedWeight;
        break;
      }

      const VocabIndex id = model_id(x);
      const LogP own = is_entity(x) ? kNeWeightFactor * x.weight : 0.0f;
      LogP score;
      if (b == 0 || (B.ItemsNum == 0 && B.bBegin)) {
        score = bigram(pn_lm, wids, id, kStartId) + own;
        x.nPreIndex = -1;
      } else if (B.ItemsNum == 0) {
        x.weight = LogP_Zero;
        continue;
      } else {
        LogP best = LogP_Zero;
        for (uint32_t t = 0; t < B.ItemsNum; ++t) {
          if (!_is_considered(B, t)) continue;
          const tSegItemInfo& y = *lattice.item(&B, t);
          if (!(y.weight > best)) continue;
          const LogP s = y.weight + bigram(pn_lm, wids, id, model_id(y)) + own;
          if (s >= best) {
            best = s;
            x.nPreIndex = static_cast<int8_t>(static_cast<uint8_t>(t));
          }
        }
        score = best;
      }
      if (q == n && score > LogP_Zero) score += bigram(pn_lm, wids, kEndId, id);
      x.weight = score;
      if (score > node.MaxWeight) {
        node.MaxWeight = score;
        node.IdxMaxItemWeight = static_cast<uint8_t>(j);
      }
    }
  }
  return true;
}

int CClassPath::_short_path_set_class_based(CLattice& lattice, uint32_t n) {
  if (n == 0 || n >= CLattice::kMaxNodes) return 0;

  // Check the whole chain first, so that a broken one leaves no half path.
  bool ok = false;
  {
    const tNodeInfo& last = lattice.m_nodes[n];
    if (last.ItemsNum > 0 && last.wsidx != kNoRange && last.IdxMaxItemWeight < last.ItemsNum &&
        lattice.item(&last, last.IdxMaxItemWeight)->weight > LogP_Zero) {
      ok = true;
      uint32_t pos = n;
      const tSegItemInfo* it = lattice.item(&last, last.IdxMaxItemWeight);
      for (;;) {
        const uint32_t b = it->begin_pos;
        if (b >= pos || it->length != pos - b) {
          ok = false;
          break;
        }
        if (b == 0) break;
        const tNodeInfo& B = lattice.m_nodes[b];
        const uint8_t pre = static_cast<uint8_t>(it->nPreIndex);
        if (pre >= B.ItemsNum || B.wsidx == kNoRange) {
          ok = false;
          break;
        }
        it = lattice.item(&B, pre);
        pos = b;
      }
    }
  }
  if (!ok) {
    for (uint32_t q = 1; q <= n; ++q) {
      tNodeInfo& node = lattice.m_nodes[q];
      if (node.bBest) node.IdxMaxItemWeight = node.IdxMaxItemWeightOld;
    }
    return 0;
  }

  for (uint32_t q = 1; q <= n; ++q) lattice.m_nodes[q].bBest = false;

  lattice.mark_best_path(n, true);
  return 1;
}
