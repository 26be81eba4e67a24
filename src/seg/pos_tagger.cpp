#include "seg/pos_tagger.h"

#include <cstring>
#include <utility>

#include "dict/BasicDict.h"
#include "dict/NerResource.h"
#include "seg/role_tagger.h"

namespace {

// Items with nAttributeIdx from here on are no dictionary words.
const uint32_t kGeneratedAttr = 10000000u;

inline bool ascii_alnum(uint8_t b) {
  return (b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
}

inline bool is_punctuation(const tSegItemInfo& item, const char* text) {
  const uint8_t* w = reinterpret_cast<const uint8_t*>(text) + item.begin_pos;
  if (item.length == 1) return !ascii_alnum(w[0]);
  if (item.length != 2) return false;
  if (w[0] == 0xA1) return true;
  if (w[0] != 0xA3) return false;
  const uint8_t b = w[1];
  const bool letter = (b >= 0xC1 && b <= 0xDA) || (b >= 0xE1 && b <= 0xFA);
  const bool digit = b >= 0xB0 && b <= 0xB9;
  return !letter && !digit;
}

}  // namespace

CPosTagger::CPosTagger() {
  std::memset(m_pre_weight_buf, 0, sizeof(m_pre_weight_buf));
  std::memset(m_cur_weight_buf, 0, sizeof(m_cur_weight_buf));
}

uint8_t CPosTagger::_generated_item_tag(const tSegItemInfo& item, const char* text) {
  uint8_t tag;
  switch (item.type) {
    case 61:
    case 62:
    case 92:
      tag = kPosNR;
      break;
    case 65:
    case 66:
    case 93:
      tag = kPosNS;
      break;
    case 86:
      // Secondary-lexicon words carry their POS id here.  0 would end the
      // one-tag list and larger ids have no table row: neither is a tag.
      tag = (item.posIndex != 0 && item.posIndex < kPosTableDim) ? item.posIndex : kPosN;
      break;
    default:
      tag = kPosN;
      break;
  }
  if (is_punctuation(item, text)) tag = kPosW;
  return tag;
}

const uint8_t* CPosTagger::_get_word_tags(const CBasicDict& dict, tNodeInfo& node,
                                          const tSegItemInfo& item, const char* text,
                                          const LogP** probs, uint32_t* count) {
  uint8_t tag = kPosN;
  if (item.nAttributeIdx < kGeneratedAttr) {
    const uint32_t idx = item.nAttributeIdx - 1u;  // 0 wraps: no dictionary word
    if (item.type != 88 && item.type != 89 && item.type != -88 && idx < dict.mWordNum) {
      const uint16_t ne = dict.mPropDict.m_word_info[idx].m_NameEntity;
      if (ne != 88 && ne != 89) {
        const prop_list_t list = dict.pos_list(idx);
        uint32_t len = 0;
        const uint32_t cap = list.len < kMaxCandidates ? list.len : kMaxCandidates;
        while (len < cap && list.ids[len] != 0 && list.ids[len] < kPosTableDim) ++len;
        if (len > 0) {
          *probs = list.probs;
          *count = len;
          return list.ids;
        }
        // An empty list: tagged as a plain noun, like a word without tags.
      }
    }
  } else {
    tag = _generated_item_tag(item, text);
  }
  node.LocalPOSTemp[0] = tag;
  node.LocalPOSTemp[1] = 0;
  *probs = nullptr;
  *count = 1;
  return node.LocalPOSTemp;
}

bool CPosTagger::_BigramPOSTag(CLattice& lattice, const char* text, uint32_t n,
                               const CBasicDict& dict, const CProbabilityNode* table) {
  if (text == nullptr || table == nullptr) return false;
  if (!tagger_path_is_consistent(lattice, n)) return false;

  float* pre = m_pre_weight_buf;
  float* cur = m_cur_weight_buf;
  const uint8_t* prev_tags = CNerResource::POSSOS;
  uint32_t prev_count = 1;
  pre[0] = 0.0f;

  uint32_t p = 0;
  while (p < n) {
    p += static_cast<uint32_t>(lattice.m_nodes[p].nNextLen);
    tNodeInfo& node = lattice.m_nodes[p];
    const tSegItemInfo& item = *node.MaxItem;

    const LogP* probs = nullptr;
    uint32_t count = 0;
    const uint8_t* tags = _get_word_tags(dict, node, item, text, &probs, &count);
    node.pROLEPOS = const_cast<uint8_t*>(tags);

    for (uint32_t k = 0; k < count; ++k) {
      const uint8_t c = tags[k];
      const LogP emit = probs ? probs[k] : 0.0f;
      float best = LogP_Zero;
      node.pPOS[k] = 0;
      cur[k] = LogP_Zero;
      for (uint32_t j = 0; j < prev_count; ++j) {
        const float t = pre[j] + table[prev_tags[j] * kPosTableDim + c].m_Prob;
        if (t > best) {
          best = t;
          node.pPOS[k] = static_cast<uint8_t>(j);
          cur[k] = emit + t;
        }
      }
    }
    std::swap(pre, cur);
    prev_tags = tags;
    prev_count = count;
  }

  uint32_t k = 0;
  float best = LogP_Zero;
  for (uint32_t j = 0; j < prev_count; ++j) {
    if (pre[j] > best) {
      best = pre[j];
      k = j;
    }
  }

  // Trace back over the checked path.
  p = n;
  while (p > 0) {
    tNodeInfo& node = lattice.m_nodes[p];
    tSegItemInfo& item = *node.MaxItem;
    if (item.type != kTypeFactoid) item.posIndex = static_cast<uint8_t>(node.pROLEPOS[k] - 1);
    k = node.pPOS[k];
    p = item.begin_pos;
  }
  return true;
}
