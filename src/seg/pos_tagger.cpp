#include "seg/pos_tagger.h"

#include <cstring>

#include "dict/BasicDict.h"
#include "dict/NerResource.h"
#include "seg/ne_items.h"
#include "seg/role_tagger.h"
#include "seg/tag_viterbi.h"

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
    case kItemPerson:
    case kItemTransPerson:
    case kItemAmbPerson:
      tag = kPosNR;
      break;
    case kItemLocation:
    case kItemTransLocation:
    case kItemAmbLocation:
      tag = kPosNS;
      break;
    case kItemSecondaryWord:
      // Secondary-lexicon words carry their POS id here.  0 would end the
      // one-tag list and larger ids have no table row: neither is a tag.
      tag = (item.posIndex != 0 && item.posIndex < kPosTableDim) ? item.posIndex : kPosN;
      break;
    case kItemFactoid:
      // A factoid carries its own tag (m, t, nx ...) as posIndex + 1; 0 is
      // a factoid without one.  Its neighbours are tagged after it: a
      // measure word after a number, not a noun.  The tags beyond the
      // text's (www, tele, email) have no trained transitions: n.
      tag = (item.posIndex != 0 && item.posIndex + 1u < kPosSOS)
                ? static_cast<uint8_t>(item.posIndex + 1)
                : kPosN;
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
  // A character item inside a number's span (年 of 三年 once the number and
  // its unit are apart) may still be a dictionary word: it takes the word's
  // tags (年 after a number is q, not n).
  int32_t found = -1;
  if (item.type == kItemSingleChar && item.length == 2 &&
      dict.prefix_search(text + item.begin_pos, &found, 1, 2) == 1 && found >= 0 &&
      static_cast<uint32_t>(found) < dict.mWordNum) {
    const uint32_t idx = static_cast<uint32_t>(found);
    const uint16_t ne = dict.mPropDict.m_word_info[idx].m_NameEntity;
    const prop_list_t list = dict.pos_list(idx);
    uint32_t len = 0;
    const uint32_t cap = list.len < kMaxCandidates ? list.len : kMaxCandidates;
    while (len < cap && list.ids[len] != 0 && list.ids[len] < kPosTableDim) ++len;
    if (len > 0 && ne != kItemAmbRule && ne != kItemRule) {
      *probs = list.probs;
      *count = len;
      return list.ids;
    }
  }
  if (item.nAttributeIdx < kGeneratedAttr) {
    const uint32_t idx = item.nAttributeIdx - 1u;  // 0 wraps: no dictionary word
    if (item.type != kItemAmbRule && item.type != kItemRule && item.type != kItemAmbRuleTwin &&
        idx < dict.mWordNum) {
      const uint16_t ne = dict.mPropDict.m_word_info[idx].m_NameEntity;
      if (ne != kItemAmbRule && ne != kItemRule) {
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

static_assert(PosScores::kDim == CPosTagger::kPosTableDim, "one POS table size");

void PosScores::build(const CProbabilityNode* table) {
  for (uint32_t cur = 0; cur < kDim; ++cur) {
    for (uint32_t prev = 0; prev < kDim; ++prev)
      into[cur * kDim + prev] = table[prev * kDim + cur].m_Prob;
    close[cur] = table[cur * kDim + CPosTagger::kPosEOS].m_Prob;
  }
}

namespace {

// POS tagging as a model of tagger_viterbi (seg/tag_viterbi.h).
struct PosModel {
  static constexpr bool kEmissionAfterChoice = true;
  static constexpr bool kSkipWeakPredecessors = false;
  static constexpr bool kRestartForcedSteps = false;
  static constexpr float kRestartScore = 0.0f;  // no forced steps

  const CBasicDict& dict;
  const char* text;
  const PosScores& scores;

  const uint8_t* start() const { return CNerResource::POSSOS; }
  const uint8_t* candidates(tNodeInfo& node, const tSegItemInfo& item, const LogP** emissions,
                            uint32_t* count) const {
    return CPosTagger::_get_word_tags(dict, node, item, text, emissions, count);
  }
  LogP emission(const LogP* emissions, uint32_t k, uint8_t) const {
    return emissions ? emissions[k] : 0.0f;
  }
  LogP transition(uint8_t prev, uint8_t cur) const {
    return scores.into[cur * PosScores::kDim + prev];
  }
  // The sentence closes with the transition into the sentence end: a word
  // before a sentence break is tagged as such (了 there is mostly y).
  LogP close(uint8_t tag) const { return scores.close[tag]; }
  void assign(tSegItemInfo& item, uint8_t tag) const {
    if (item.type != kItemFactoid) item.posIndex = static_cast<uint8_t>(tag - 1);
  }
};

}  // namespace

bool CPosTagger::_BigramPOSTag(CLattice& lattice, const char* text, uint32_t n,
                               const CBasicDict& dict, const CProbabilityNode* table) {
  if (table == nullptr) return false;
  PosScores scores;
  scores.build(table);
  return _BigramPOSTag(lattice, text, n, dict, scores);
}

bool CPosTagger::_BigramPOSTag(CLattice& lattice, const char* text, uint32_t n,
                               const CBasicDict& dict, const PosScores& scores) {
  if (text == nullptr) return false;
  if (!tagger_path_is_consistent(lattice, n)) return false;
  tagger_viterbi(lattice, n, PosModel{dict, text, scores}, m_pre_weight_buf, m_cur_weight_buf);
  _retag_unpaired_name_parts(lattice, n, dict, text);
  return true;
}

uint8_t CPosTagger::_best_other_tag(const CBasicDict& dict, const tSegItemInfo& item,
                                    bool no_place) {
  if (item.nAttributeIdx != 0 && item.nAttributeIdx < kGeneratedAttr &&
      item.nAttributeIdx - 1u < dict.mWordNum) {
    const prop_list_t list = dict.pos_list(item.nAttributeIdx - 1u);
    uint8_t best = 0;
    LogP best_p = 0;
    for (uint32_t k = 0; k < list.len && k < kMaxCandidates && list.ids[k] != 0; ++k) {
      const uint8_t t = list.ids[k];
      if (t >= kPosTableDim || t == kPosNR || t == kPosNRF || t == kPosNRG) continue;
      if (no_place && t == kPosNS) continue;
      if (best == 0 || list.probs[k] > best_p) {
        best = t;
        best_p = list.probs[k];
      }
    }
    if (best != 0) return best;
  }
  return item.length == 2 ? kPosNg : kPosN;
}

void CPosTagger::_retag_unpaired_name_parts(CLattice& lattice, uint32_t n,
                                            const CBasicDict& dict, const char* text) {
  // A surname tag stands only before a given-name tag and a given-name tag
  // only after a surname tag (the training text tags a name written apart
  // that way and a surname alone nr); a part tagged so on its own is the
  // character's other use.  Decided on the tags as chosen, then changed.
  auto retag = [&dict](tSegItemInfo* item, bool no_place = false) {
    item->posIndex = static_cast<uint8_t>(_best_other_tag(dict, *item, no_place) - 1);
  };
  tSegItemInfo* prev = nullptr;
  bool prev_retag = false;
  uint8_t prev_tag = 0;
  for (uint32_t p = lattice.m_nodes[0].nNextLen; p > 0 && p <= n;) {
    tSegItemInfo* item = lattice.m_nodes[p].MaxItem;
    const uint8_t tag =
        item->type == kItemFactoid ? 0 : static_cast<uint8_t>(item->posIndex + 1);
    if (prev != nullptr && (prev_retag || (prev_tag == kPosNRF && tag != kPosNRG))) retag(prev);
    const tNodeInfo& node = lattice.m_nodes[p];
    const uint32_t next = p + node.nNextLen;
    // A name before a word that heads a place or an organisation (also
    // behind a numeral) names the place or the organisation.
    const int head = (tag == kPosNRG || tag == kPosNR) && item->nAttributeIdx < kGeneratedAttr &&
                             node.nNextLen > 0 && next <= n
                         ? CNeItems::_head_at(text, n, lattice, p)
                         : CNeItems::kNoHead;
    if (head != CNeItems::kNoHead) {
      // An organisation's name is no place either.
      const bool no_place = head == CNeItems::kOrganisationHead;
      if (prev_tag == kPosNRF) retag(prev, no_place);
      retag(item, no_place);
      prev_retag = false;
      prev_tag = 0;
    } else {
      prev_retag = tag == kPosNRG && prev_tag != kPosNRF;
      prev_tag = tag;
    }
    prev = item;
    if (node.nNextLen == 0) break;
    p = next;
  }
  if (prev != nullptr && (prev_retag || prev_tag == kPosNRF)) retag(prev);
}
