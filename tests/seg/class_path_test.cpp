// The class-based best path: the person/location resolution over one span,
// and agreement with an exhaustive search over all paths of random lattices.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "dict/BasicDict.h"
#include "lm/Ngram.h"
#include "seg/best_path.h"
#include "seg/class_path.h"
#include "seg/lattice.h"

namespace {

const VocabIndex S = CClassPath::kStartId;
const VocabIndex E = CClassPath::kEndId;
const VocabIndex PER = kAttrPerson - 1;    // 10000005
const VocabIndex LOC = kAttrLocation - 1;  // 10000006

// Strictly negative pseudo-random bigram scores, a fixed function of the pair.
class HashLM : public Ngram {
 public:
  explicit HashLM(uint32_t seed) : Ngram(2), seed_(seed) {}
  LogP P(VocabIndex ctx, VocabIndex w) const {
    uint64_t h = (static_cast<uint64_t>(ctx) * 0x9E3779B97F4A7C15ull) ^
                 (static_cast<uint64_t>(w) * 0xC2B2AE3D27D4EB4Full) ^ seed_;
    h = (h ^ (h >> 31)) * 0xBF58476D1CE4E5B9ull;
    h ^= h >> 29;
    return -(0.05f + static_cast<float>(h % 997) / 199.0f);
  }
  LogP word_prob(VocabIndex word, const VocabIndex* context, unsigned, bool*) const override { return P(context[0], word); }
  using Ngram::word_prob;

 private:
  uint64_t seed_;
};

tSegItemInfo Item(uint32_t begin, uint32_t length, uint32_t attr, int type, LogP weight) {
  return tSegItemInfo{begin, length, type, 0, 50, 0, false, weight, 0, attr};
}

const uint32_t kReserve = 16;

// A regular item (ends at begin + length); returns its index in the node.
uint32_t Add(CLattice& lat, uint32_t begin, uint32_t length, uint32_t attr, int type = 55,
             LogP weight = 0) {
  EXPECT_NE(lat.add_item(begin + length, Item(begin, length, attr, type, weight), kReserve), nullptr);
  return lat.m_nodes[begin + length].ItemsNum - 1u;
}

// An entity item as the recognizers add it: counted, with bnAmb inside.
uint32_t AddEntity(CLattice& lat, uint32_t begin, uint32_t length, uint32_t attr, int type, LogP weight) {
  const uint32_t j = Add(lat, begin, length, attr, type, weight);
  ++lat.m_nodes[begin + length].ItemsNumNER;
  for (uint32_t p = begin + 1; p <= begin + length; ++p) lat.m_nodes[p].bnAmb = true;
  return j;
}

class ClassPathTest : public ::testing::Test {
 protected:
  void SetUp() override { lat.clear(CLattice::kMaxNodes - 1); }
  CLattice lat;
};

// A person and a location over one span: 家 as the second character of a
// 6-byte person favours the location, any other pair is retyped 92 / 93.
TEST_F(ClassPathTest, PersonAndLocationOverOneSpan) {
  const std::string WANG_JIA_MING = "\xCD\xF5\xBC\xD2\xC3\xF7";  // 王家明
  const std::string BEI_JING_SHI = "\xB1\xB1\xBE\xA9\xCA\xD0";   // 北京市
  struct Case {
    std::string text;
    uint32_t n, per_begin, loc_begin;
    LogP per_w, loc_w;
    int per_type, loc_type;
  } cases[] = {
      {WANG_JIA_MING, 6, 0, 0, -40.0f, -0.6f, 61, 65},
      {"x\xBC\xD2" "abc", 6, 0, 0, -40.0f, -0.6f, 61, 65},  // after a one-byte character
      {BEI_JING_SHI, 6, 0, 0, -4.0f, -6.0f, 92, 93},
      {BEI_JING_SHI, 6, 2, 0, -4.0f, -6.0f, 61, 65},  // different begins
      {WANG_JIA_MING, 5, 0, 0, -4.0f, -6.0f, 61, 65},  // past the sentence
  };
  for (const Case& c : cases) {
    lat.clear(CLattice::kMaxNodes - 1);
    Add(lat, 0, 6, 5);
    const uint32_t per = AddEntity(lat, c.per_begin, 6 - c.per_begin, kAttrPerson, 61, -4.0f);
    const uint32_t loc = AddEntity(lat, c.loc_begin, 6 - c.loc_begin, kAttrLocation, 65, -6.0f);
    CClassPath::_proc_multi_ne_type_item(lat, c.text.c_str(), c.n, &lat.m_nodes[6]);
    EXPECT_FLOAT_EQ(lat.item(6, per)->weight, c.per_w);
    EXPECT_FLOAT_EQ(lat.item(6, loc)->weight, c.loc_w);
    EXPECT_EQ(lat.item(6, per)->type, c.per_type);
    EXPECT_EQ(lat.item(6, loc)->type, c.loc_type);
  }
}

// --- Random lattices against an exhaustive search ---------------------------

struct RandomLattice {
  uint32_t n = 0;
  std::string text;
  std::vector<std::vector<LogP>> entry_weight;  // per node, per item (entities)
};

// Builds a random lattice with a rule-based path (found with `rule_lm`),
// 1 to 3 entity items and random extra bnAmb marks.
RandomLattice BuildRandom(CLattice& lat, std::mt19937& rng, const CBasicDict& dict, const Ngram& rule_lm) {
  RandomLattice r;
  r.n = 3 + rng() % 8;
  r.text.assign(r.n, 'a');
  lat.clear(CLattice::kMaxNodes - 1);
  const uint32_t attrs[] = {1, 2, 3, 4, 5, kAttrSingleChar, kAttrNumber};
  for (uint32_t k = 1; k <= r.n; ++k) {
    Add(lat, k - 1, 1, attrs[rng() % 7]);
    const uint32_t extra = rng() % 3;
    for (uint32_t e = 0; e < extra; ++e) {
      const uint32_t len = 2 + rng() % 3;
      if (len <= k) Add(lat, k - len, len, attrs[rng() % 7]);
    }
  }
  EXPECT_TRUE(rule_path_search(lat, r.n, dict, rule_lm, 0xFFFFFFFFu, false, nullptr));
  EXPECT_TRUE(rule_path_set(lat, r.n));
  for (uint32_t e = 1 + rng() % 3; e > 0; --e) {
    const uint32_t len = 1 + rng() % 3, begin = rng() % (r.n - len + 1);  // n >= 3
    const bool person = rng() % 2;
    const LogP w = -static_cast<float>(rng() % 80) / 10.0f;  // tenths: ties happen
    AddEntity(lat, begin, len, person ? kAttrPerson : kAttrLocation, person ? 62 : 66, w);
  }
  r.entry_weight.resize(r.n + 1);
  for (uint32_t k = 1; k <= r.n; ++k) {
    if (rng() % 5 == 0) lat.m_nodes[k].bnAmb = true;
    for (uint32_t j = 0; j < lat.m_nodes[k].ItemsNum; ++j)
      r.entry_weight[k].push_back(lat.item(k, j)->weight);
  }
  return r;
}

// The score of a whole path under the class-based definition: a kept
// rule-based word in an unchanged region restarts at -10, every other word
// adds its bigram score and 0.9 times its own weight, the end adds
// P(end | last) unless the last word was kept.
struct Reference {
  const CLattice& lat;
  const RandomLattice& r;
  const HashLM& lm;
  // (end node, item index) of each word
  LogP Score(const std::vector<std::pair<uint32_t, uint32_t>>& path) const {
    LogP s = 0;
    bool kept = false;
    VocabIndex prev = S;
    for (size_t i = 0; i < path.size(); ++i) {
      const uint32_t q = path[i].first;
      const tNodeInfo& node = lat.m_nodes[q];
      const tSegItemInfo& x = *const_cast<CLattice&>(lat).item(q, path[i].second);
      const tNodeInfo& B = lat.m_nodes[x.begin_pos];
      const VocabIndex id = x.nAttributeIdx - 1;
      const bool entity = x.nAttributeIdx == kAttrPerson || x.nAttributeIdx == kAttrLocation;
      const LogP own = entity ? 0.9f * r.entry_weight[q][path[i].second] : 0.0f;
      kept = x.begin_pos != 0 && !node.bnAmb && !B.bnAmb && node.ItemsNumNER == 0 && B.ItemsNumNER == 0;
      s = kept ? -10.0f : i == 0 ? lm.P(S, id) + own : (s + lm.P(prev, id)) + own;
      prev = id;
    }
    if (!kept) s += lm.P(prev, E);
    return s;
  }
  // Best score over all paths of considered items from node 0 to node n.
  LogP Best() const {
    LogP best = LogP_Zero;
    std::vector<std::pair<uint32_t, uint32_t>> path;
    std::function<void(uint32_t)> go = [&](uint32_t p) {
      if (p == r.n) {
        const LogP s = Score(path);
        if (s > best) best = s;
        return;
      }
      for (uint32_t q = p + 1; q <= r.n; ++q) {
        const tNodeInfo& node = lat.m_nodes[q];
        for (uint32_t j = 0; j < node.ItemsNum; ++j) {
          if (!CClassPath::_is_considered(node, j)) continue;
          if (const_cast<CLattice&>(lat).item(q, j)->begin_pos != p) continue;
          path.push_back({q, j});
          go(q);
          path.pop_back();
        }
      }
    };
    go(0);
    return best;
  }
};

TEST(ClassPathRandomTest, MatchesExhaustiveSearch) {
  std::mt19937 rng(20261206);
  CBasicDict dict;
  HashLM rule_lm(1), pn_lm(2);
  CLattice lat;
  int entity_paths = 0, kept_words = 0;
  for (int round = 0; round < 400; ++round) {
    const RandomLattice r = BuildRandom(lat, rng, dict, rule_lm);
    ASSERT_TRUE(CClassPath::_short_path_search_class_based(lat, r.n, r.text.c_str(), pn_lm, nullptr));
    // (After the search: it saves the rule-based choice that defines the
    // considered items; the reference reads the entry weights saved before.)
    const Reference ref{lat, r, pn_lm};
    const LogP best = ref.Best();
    ASSERT_GT(best, LogP_Zero) << round;
    EXPECT_FLOAT_EQ(lat.m_nodes[r.n].MaxWeight, best) << round;
    ASSERT_EQ(CClassPath::_short_path_set_class_based(lat, r.n), 1) << round;

    // The marked path is made of considered items and reaches the best score.
    std::vector<std::pair<uint32_t, uint32_t>> path;
    size_t p = lat.m_nodes[0].nNextLen;
    while (p <= r.n) {
      const tNodeInfo& node = lat.m_nodes[p];
      const uint32_t j = static_cast<uint32_t>(node.MaxItem - lat.item(&node, 0));
      ASSERT_LT(j, node.ItemsNum);
      EXPECT_EQ(node.IdxMaxItemWeight, j);
      EXPECT_TRUE(node.bBest);
      if (node.MaxItem->nAttributeIdx >= kAttrPerson) ++entity_paths;
      if (node.MaxItem->weight == CClassPath::kUnchangedWeight) ++kept_words;
      path.push_back({static_cast<uint32_t>(p), j});
      p += node.nNextLen;
    }
    ASSERT_EQ(p, r.n + 1u) << round;
    // bBest marks exactly the path's nodes.
    size_t marked = 0;
    for (uint32_t k = 1; k <= r.n; ++k) marked += lat.m_nodes[k].bBest;
    EXPECT_EQ(marked, path.size()) << round;
    EXPECT_FLOAT_EQ(ref.Score(path), best) << round;
  }
  // Both the entities and the kept rule-based words were exercised.
  EXPECT_GT(entity_paths, 40);
  EXPECT_GT(kept_words, 40);
}

}  // namespace
