#include "seg/best_path.h"

#include "dict/BasicDict.h"
#include "lm/Ngram.h"

namespace {

// The rule block of dictionary word `a` that applies to an item of type
// `type`, if the word has one.
inline bool item_rule_block(const CBasicDict& dict, uint32_t a, int32_t type,
                            rule_block_t& block) {
  return dict.rule_block(a, type == kItemAmbRuleTwin ? 1 : 0, block) && block.n > 0;
}

inline bool rule_item_type(int32_t type) {
  return type == kItemRule || type == kItemAmbRule || type == kItemAmbRuleTwin;
}

}  // namespace

void rule_path_word_id(const CBasicDict& dict, const tSegItemInfo& item, VocabIndex& id,
                       LogP& extra) {
  const uint32_t a = item.nAttributeIdx - 1;
  id = a;
  extra = 0;
  const word_prop_t* info = dict.word_info(a);
  if (info == nullptr || info->m_seg_rule_sidx == Prop_None) return;
  if (!rule_item_type(item.type) && info->m_NameEntity != kItemRule) return;
  rule_block_t block;
  if (!item_rule_block(dict, a, item.type, block)) return;
  id = static_cast<VocabIndex>(block.x[0]);
  extra = block.w;
}

VocabIndex rule_path_context_id(const CBasicDict& dict, const tSegItemInfo& item) {
  const uint32_t a = item.nAttributeIdx - 1;
  const word_prop_t* info = dict.word_info(a);
  if (info == nullptr || info->m_seg_rule_sidx == Prop_None) return a;
  if (!rule_item_type(item.type) && info->m_NameEntity != kItemRule &&
      info->m_NameEntity != kItemAmbRule) {
    return a;
  }
  rule_block_t block;
  if (!item_rule_block(dict, a, item.type, block)) return a;
  return static_cast<VocabIndex>(block.x[block.n - 1]);
}

bool rule_path_search(CLattice& lattice, uint32_t n, const CBasicDict& dict, const Ngram& lm,
                      uint32_t geshu_index, bool cut, VocabIndex* wids) {
  if (n == 0 || n >= CLattice::kMaxNodes) return false;
  VocabIndex local_wids[3];
  if (wids == nullptr) wids = local_wids;
  wids[2] = Vocab_None;

  for (uint32_t k = 1; k <= n; ++k) {
    tNodeInfo& node = lattice.m_nodes[k];
    if (node.ItemsNum == 0) continue;
    node.MaxWeight = LogP_Zero;
    node.IdxMaxItemWeight = kNoItem;

    for (uint32_t j = 0; j < node.ItemsNum; ++j) {
      tSegItemInfo& it = *lattice.item(&node, j);
      if (it.begin_pos >= k) {
        // Not a word ending here; nothing can follow from it.
        it.weight = LogP_Zero;
        continue;
      }
      const tNodeInfo& B = lattice.m_nodes[it.begin_pos];

      // Nothing crosses either end and there is no alternative: the item is
      // on every path, its weight does not decide anything.
      if (node.bnAmb && B.bnAmb && node.ItemsNum == 1 && B.ItemsNum == 1) {
        it.weight = kRulePathUnambiguousWeight;
        it.nPreIndex = 0;
        node.MaxWeight = kRulePathUnambiguousWeight;
        node.IdxMaxItemWeight = static_cast<uint8_t>(j);
        break;
      }

      VocabIndex w;
      LogP x;
      rule_path_word_id(dict, it, w, x);
      if (w == Vocab_None) w = Vocab_Unknown;  // never ask the model for the end marker
      wids[0] = w;

      if (B.ItemsNum > 0) {
        LogP best = LogP_Zero;
        for (uint32_t t = 0; t < B.ItemsNum; ++t) {
          const tSegItemInfo& q = *lattice.item(&B, t);
          // Scores are log probabilities: q cannot beat a total it does not
          // exceed on its own.
          if (best >= q.weight) continue;
          const VocabIndex ctx = rule_path_context_id(dict, q);
          LogP score;
          if (ctx == kRulePathNumberId && w == geshu_index) {
            score = kRulePathGeshuAfterNumber;  // "个数" does not follow a number
          } else {
            wids[1] = ctx;
            score = lm.bigram_prob(wids[0], wids[1]);
          }
          const LogP total = score + q.weight + x;
          if (total >= best) {
            best = total;
            it.nPreIndex = static_cast<int8_t>(static_cast<uint8_t>(t));
          }
        }
        it.weight = best;
      } else if (B.bBegin) {
        it.nPreIndex = -1;
        LogP total;
        if (cut) {
          total = x;
        } else {
          wids[1] = kRulePathStartContext;
          total = lm.bigram_prob(wids[0], wids[1]) + x;
        }
        it.weight = total;
      } else {
        it.weight = LogP_Zero;
        continue;
      }
      if (it.weight > node.MaxWeight) {
        node.MaxWeight = it.weight;
        node.IdxMaxItemWeight = static_cast<uint8_t>(j);
      }
    }
  }
  return true;
}

bool rule_path_set(CLattice& lattice, uint32_t n) {
  if (n == 0 || n >= CLattice::kMaxNodes) return false;

  // Check the whole chain first, so that a broken one leaves no half path.
  {
    const tNodeInfo& last = lattice.m_nodes[n];
    if (last.ItemsNum == 0 || last.IdxMaxItemWeight >= last.ItemsNum) return false;
    uint32_t pos = n;
    const tSegItemInfo* it = lattice.item(&last, last.IdxMaxItemWeight);
    for (;;) {
      const uint32_t b = it->begin_pos;
      if (b >= pos || it->length != pos - b) return false;
      if (b == 0) break;
      const tNodeInfo& B = lattice.m_nodes[b];
      const uint8_t pre = static_cast<uint8_t>(it->nPreIndex);
      if (pre >= B.ItemsNum) return false;
      it = lattice.item(&B, pre);
      pos = b;
    }
  }

  lattice.mark_best_path(n, false);
  return true;
}
