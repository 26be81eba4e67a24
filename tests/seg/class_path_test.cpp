// The class-based best path: the considered items, each scoring case (start,
// unreachable begin, predecessors, sentence end, unchanged regions), ties,
// the person/location resolution over one span, the path set and its checks,
// and agreement with an exhaustive search over all paths of random lattices.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
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

// A bigram table; pairs not listed get `fallback`.  Counts the calls.
class TableLM : public Ngram {
 public:
  explicit TableLM(LogP fallback = -5.0f) : Ngram(2), fallback_(fallback) {}
  void Set(VocabIndex ctx, VocabIndex w, LogP p) { table_[{ctx, w}] = p; }
  LogP P(VocabIndex ctx, VocabIndex w) const {
    auto it = table_.find({ctx, w});
    return it == table_.end() ? fallback_ : it->second;
  }
  LogP word_prob(VocabIndex word, const VocabIndex* context, unsigned clen,
                 bool* pbbk) const override {
    ++calls;
    EXPECT_EQ(clen, 1u);
    EXPECT_EQ(context[1], Vocab_None);
    if (pbbk) *pbbk = true;
    return P(context[0], word);
  }
  using Ngram::word_prob;
  mutable int calls = 0;

 private:
  LogP fallback_;
  std::map<std::pair<VocabIndex, VocabIndex>, LogP> table_;
};

// Strictly negative pseudo-random bigram scores, a fixed function of the pair.
class HashLM : public Ngram {
 public:
  explicit HashLM(uint32_t seed) : Ngram(2), seed_(seed) {}
  LogP P(VocabIndex ctx, VocabIndex w) const {
    uint64_t h = (static_cast<uint64_t>(ctx) * 0x9E3779B97F4A7C15ull) ^
                 (static_cast<uint64_t>(w) * 0xC2B2AE3D27D4EB4Full) ^ seed_;
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 29;
    return -(0.05f + static_cast<float>(h % 997) / 199.0f);
  }
  LogP word_prob(VocabIndex word, const VocabIndex* context, unsigned,
                 bool*) const override {
    return P(context[0], word);
  }
  using Ngram::word_prob;

 private:
  uint64_t seed_;
};

tSegItemInfo Item(uint32_t begin, uint32_t length, uint32_t attr, int type, LogP weight) {
  tSegItemInfo it{};
  it.begin_pos = begin;
  it.length = length;
  it.type = type;
  it.perIdx = 50;
  it.weight = weight;
  it.nAttributeIdx = attr;
  return it;
}

const uint32_t kReserve = 16;

// A regular item (ends at begin + length); returns its index in the node.
uint32_t Add(CLattice& lat, uint32_t begin, uint32_t length, uint32_t attr, int type = 55,
             LogP weight = 0) {
  EXPECT_NE(lat.add_item(begin + length, Item(begin, length, attr, type, weight), kReserve),
            nullptr);
  return lat.m_nodes[begin + length].ItemsNum - 1u;
}

// An entity item as the recognizers add it: counted, with bnAmb inside.
uint32_t AddEntity(CLattice& lat, uint32_t begin, uint32_t length, uint32_t attr, int type,
                   LogP weight) {
  const uint32_t j = Add(lat, begin, length, attr, type, weight);
  ++lat.m_nodes[begin + length].ItemsNumNER;
  for (uint32_t p = begin + 1; p <= begin + length; ++p) lat.m_nodes[p].bnAmb = true;
  return j;
}

// Marks a rule-based path given as (end node, item index) pairs in text
// order, as the rule-based set leaves it.
void MarkPath(CLattice& lat, const std::vector<std::pair<uint32_t, uint32_t>>& path) {
  for (const auto& step : path) {
    tNodeInfo& node = lat.m_nodes[step.first];
    tSegItemInfo* it = lat.item(&node, step.second);
    node.bBest = true;
    node.IdxMaxItemWeight = static_cast<uint8_t>(step.second);
    node.MaxItem = it;
    lat.m_nodes[it->begin_pos].nNextLen = it->length;
  }
  lat.m_nodes[path.back().first].nNextLen = 1;
}

// The chosen path as (begin, length, nAttributeIdx) triples, walked forward.
std::vector<std::vector<uint32_t>> Walk(const CLattice& lat, uint32_t n) {
  std::vector<std::vector<uint32_t>> words;
  size_t p = lat.m_nodes[0].nNextLen;
  while (p <= n && words.size() <= n) {
    const tSegItemInfo* it = lat.m_nodes[p].MaxItem;
    words.push_back({it->begin_pos, it->length, it->nAttributeIdx});
    p += lat.m_nodes[p].nNextLen;
  }
  return words;
}

class ClassPathTest : public ::testing::Test {
 protected:
  void SetUp() override { lat.clear(CLattice::kMaxNodes - 1); }
  CLattice lat;
  TableLM lm;
};

// "abcd": four single words on the rule path, a person entity over "bc".
TEST_F(ClassPathTest, EntityReplacesTheWordsItCoversWhenItScoresBetter) {
  const std::string text = "abcd";
  const uint32_t n = 4;
  for (uint32_t k = 1; k <= n; ++k) Add(lat, k - 1, 1, k);  // ids 0..3
  const uint32_t e = AddEntity(lat, 1, 2, kAttrPerson, 61, -2.0f);
  MarkPath(lat, {{1, 0}, {2, 0}, {3, 0}, {4, 0}});
  lm.Set(S, 0, -1.0f);
  lm.Set(0, 1, -1.0f);
  lm.Set(1, 2, -1.0f);
  lm.Set(0, PER, -0.5f);
  lm.Set(2, 3, -1.0f);
  lm.Set(PER, 3, -0.5f);
  lm.Set(3, E, -0.25f);

  ASSERT_TRUE(CClassPath::_short_path_search_class_based(lat, n, text.c_str(), lm, nullptr));
  const LogP w1 = -1.0f;
  const LogP w2 = w1 + -1.0f;
  const LogP w3 = w2 + -1.0f;
  const LogP we = (w1 + -0.5f) + 0.9f * -2.0f;
  const LogP w4 = (we + -0.5f) + 0.0f - 0.25f;
  EXPECT_FLOAT_EQ(lat.item(1, 0)->weight, w1);
  EXPECT_EQ(lat.item(1, 0)->nPreIndex, -1);
  EXPECT_FLOAT_EQ(lat.item(2, 0)->weight, w2);
  EXPECT_FLOAT_EQ(lat.item(3, 0)->weight, w3);
  EXPECT_FLOAT_EQ(lat.item(3, e)->weight, we);
  EXPECT_EQ(lat.item(3, e)->nPreIndex, 0);
  EXPECT_EQ(lat.m_nodes[3].IdxMaxItemWeight, 0);  // the word still scores better at node 3
  EXPECT_FLOAT_EQ(lat.item(4, 0)->weight, w4);
  EXPECT_EQ(lat.item(4, 0)->nPreIndex, static_cast<int8_t>(e));
  EXPECT_FLOAT_EQ(lat.m_nodes[4].MaxWeight, w4);
  // The rule-based choice was saved on every path node.
  for (uint32_t k = 1; k <= n; ++k) EXPECT_EQ(lat.m_nodes[k].IdxMaxItemWeightOld, 0) << k;

  ASSERT_EQ(CClassPath::_short_path_set_class_based(lat, n), 1);
  const std::vector<std::vector<uint32_t>> expected = {
      {0, 1, 1}, {1, 2, kAttrPerson}, {3, 1, 4}};
  EXPECT_EQ(Walk(lat, n), expected);
  EXPECT_FALSE(lat.m_nodes[2].bBest);  // inside the entity now
  EXPECT_TRUE(lat.m_nodes[1].bBest);
  EXPECT_TRUE(lat.m_nodes[3].bBest);
  EXPECT_TRUE(lat.m_nodes[4].bBest);
  EXPECT_EQ(lat.m_nodes[3].IdxMaxItemWeight, e);
  EXPECT_EQ(lat.m_nodes[3].IdxMaxItemWeightOld, e);
  EXPECT_EQ(lat.m_nodes[3].MaxWeight, 0.0f);
  EXPECT_EQ(lat.m_nodes[4].nNextLen, 1u);
}

TEST_F(ClassPathTest, EntityLosesWhenTheWordsScoreBetter) {
  const std::string text = "abcd";
  const uint32_t n = 4;
  for (uint32_t k = 1; k <= n; ++k) Add(lat, k - 1, 1, k);
  AddEntity(lat, 1, 2, kAttrPerson, 61, -2.0f);
  MarkPath(lat, {{1, 0}, {2, 0}, {3, 0}, {4, 0}});
  lm.Set(S, 0, -1.0f);
  lm.Set(0, 1, -1.0f);
  lm.Set(1, 2, -1.0f);
  lm.Set(2, 3, -1.0f);
  // P(PER | a) and P(d | PER) are the fallback -5.
  ASSERT_TRUE(CClassPath::_short_path_search_class_based(lat, n, text.c_str(), lm, nullptr));
  ASSERT_EQ(CClassPath::_short_path_set_class_based(lat, n), 1);
  const std::vector<std::vector<uint32_t>> expected = {{0, 1, 1}, {1, 1, 2}, {2, 1, 3}, {3, 1, 4}};
  EXPECT_EQ(Walk(lat, n), expected);
}

// Nodes away from the entities keep their rule-based word with weight -10,
// without a model call, and point to their begin node's best item.
TEST_F(ClassPathTest, UnchangedRegionKeepsTheRuleBasedWord) {
  const std::string text = "abcdefgh";
  const uint32_t n = 8;
  Add(lat, 0, 1, 20);  // "a": off the path
  const uint32_t ab = Add(lat, 0, 2, 10);
  Add(lat, 2, 1, 3);
  Add(lat, 3, 1, 4);
  AddEntity(lat, 2, 2, kAttrLocation, 66, -1.0f);
  Add(lat, 4, 1, 21);  // "e": off the path
  const uint32_t ef = Add(lat, 4, 2, 11);
  Add(lat, 6, 1, 22);  // "g": off the path
  const uint32_t gh = Add(lat, 6, 2, 12);
  MarkPath(lat, {{2, ab}, {3, 0}, {4, 0}, {6, ef}, {8, gh}});
  // Weights that must not be touched.
  lat.item(1, 0)->weight = 123.0f;
  lat.item(5, 0)->weight = 456.0f;

  ASSERT_TRUE(CClassPath::_short_path_search_class_based(lat, n, text.c_str(), lm, nullptr));
  // Node 6 begins after the entity's end node (which has items counted), so
  // it is scored; node 8 lies in an unchanged region.
  EXPECT_NE(lat.item(6, ef)->weight, CClassPath::kUnchangedWeight);
  EXPECT_EQ(lat.item(8, gh)->weight, CClassPath::kUnchangedWeight);
  EXPECT_EQ(lat.item(8, gh)->nPreIndex, static_cast<int8_t>(lat.m_nodes[6].IdxMaxItemWeight));
  EXPECT_EQ(lat.m_nodes[8].IdxMaxItemWeight, gh);
  EXPECT_EQ(lat.m_nodes[8].MaxWeight, CClassPath::kUnchangedWeight);
  // Items off the rule path and not entities are ignored.
  EXPECT_EQ(lat.item(1, 0)->weight, 123.0f);
  EXPECT_EQ(lat.item(5, 0)->weight, 456.0f);
  EXPECT_EQ(lat.m_nodes[1].MaxWeight, LogP_Zero);

  // Model calls: node 2 (start), node 3 (1 predecessor), node 4 (word and
  // entity, one predecessor each), node 6 (two predecessors); none for 8.
  EXPECT_EQ(lm.calls, 1 + 1 + 2 + 2);

  ASSERT_EQ(CClassPath::_short_path_set_class_based(lat, n), 1);
  // With the fallback scores the entity (-5 - 5 + 0.9 * -1) beats the two
  // words (-5 - 5 - 5) it covers.
  const std::vector<std::vector<uint32_t>> expected = {
      {0, 2, 10}, {2, 2, kAttrLocation}, {4, 2, 11}, {6, 2, 12}};
  EXPECT_EQ(Walk(lat, n), expected);
}

TEST_F(ClassPathTest, EqualScoresKeepTheLaterPredecessorAndTheEarlierItem) {
  const std::string text = "abc";
  const uint32_t n = 3;
  const uint32_t ab = Add(lat, 0, 2, 11);  // id 10
  const uint32_t pe = AddEntity(lat, 0, 2, kAttrPerson, 62, 0.0f);
  const uint32_t c = Add(lat, 2, 1, 4);  // id 3
  const uint32_t le = AddEntity(lat, 2, 1, kAttrLocation, 66, 0.0f);
  MarkPath(lat, {{2, ab}, {3, c}});
  lm.Set(S, 10, -1.0f);
  lm.Set(S, PER, -1.0f);  // both items of node 2 weigh -1
  lm.Set(10, 3, -2.0f);
  lm.Set(PER, 3, -2.0f);
  lm.Set(10, LOC, -2.0f);
  lm.Set(PER, LOC, -2.0f);
  lm.Set(3, E, -1.0f);
  lm.Set(LOC, E, -1.0f);

  ASSERT_TRUE(CClassPath::_short_path_search_class_based(lat, n, text.c_str(), lm, nullptr));
  EXPECT_EQ(lat.item(2, ab)->weight, lat.item(2, pe)->weight);
  EXPECT_EQ(lat.m_nodes[2].IdxMaxItemWeight, ab);  // earlier item on equal weights
  EXPECT_EQ(lat.item(3, c)->nPreIndex, static_cast<int8_t>(pe));  // later predecessor
  EXPECT_EQ(lat.item(3, le)->nPreIndex, static_cast<int8_t>(pe));
  EXPECT_FLOAT_EQ(lat.item(3, c)->weight, -4.0f);
  EXPECT_EQ(lat.m_nodes[3].IdxMaxItemWeight, c);
  ASSERT_EQ(CClassPath::_short_path_set_class_based(lat, n), 1);
  const std::vector<std::vector<uint32_t>> expected = {{0, 2, kAttrPerson}, {2, 1, 4}};
  EXPECT_EQ(Walk(lat, n), expected);
}

TEST_F(ClassPathTest, BeginNodeWithoutItemsIsAStartOnlyWithBBegin) {
  const std::string text = "abc";
  const uint32_t n = 3;
  Add(lat, 0, 1, 1);
  // Items of node 3 begin at node 2, which holds none.
  const uint32_t c = Add(lat, 2, 1, 3);  // id 2
  const uint32_t ent = AddEntity(lat, 2, 1, kAttrLocation, 66, -1.0f);
  MarkPath(lat, {{1, 0}, {3, c}});

  lat.m_nodes[2].bBegin = true;
  lm.Set(S, 2, -1.5f);
  lm.Set(S, LOC, -0.5f);
  lm.Set(2, E, -0.5f);
  lm.Set(LOC, E, -0.75f);
  ASSERT_TRUE(CClassPath::_short_path_search_class_based(lat, n, text.c_str(), lm, nullptr));
  EXPECT_FLOAT_EQ(lat.item(3, c)->weight, -1.5f + 0.0f - 0.5f);
  EXPECT_EQ(lat.item(3, c)->nPreIndex, -1);
  EXPECT_FLOAT_EQ(lat.item(3, ent)->weight, (-0.5f + 0.9f * -1.0f) - 0.75f);
  EXPECT_EQ(lat.m_nodes[3].IdxMaxItemWeight, c);  // -2.0 against -2.15

  // Without bBegin node 2 cannot be reached: both items are minus infinity,
  // and no path can be set; the rule-based choice is restored.
  lat.m_nodes[2].bBegin = false;
  lat.item(3, ent)->weight = -1.0f;  // entry weight again
  lat.m_nodes[3].IdxMaxItemWeight = c;
  ASSERT_TRUE(CClassPath::_short_path_search_class_based(lat, n, text.c_str(), lm, nullptr));
  EXPECT_EQ(lat.item(3, c)->weight, LogP_Zero);
  EXPECT_EQ(lat.item(3, ent)->weight, LogP_Zero);
  EXPECT_EQ(lat.m_nodes[3].MaxWeight, LogP_Zero);
  lat.m_nodes[3].IdxMaxItemWeight = ent;  // as if the search had moved it
  EXPECT_EQ(CClassPath::_short_path_set_class_based(lat, n), 0);
  EXPECT_EQ(lat.m_nodes[3].IdxMaxItemWeight, c);
  EXPECT_TRUE(lat.m_nodes[3].bBest);
  EXPECT_EQ(lat.m_nodes[3].MaxItem, lat.item(3, c));
}

TEST_F(ClassPathTest, SetRefusesABrokenChainAndKeepsTheRulePath) {
  const std::string text = "abcd";
  const uint32_t n = 4;
  for (uint32_t k = 1; k <= n; ++k) Add(lat, k - 1, 1, k);
  AddEntity(lat, 1, 2, kAttrPerson, 62, -1.0f);
  MarkPath(lat, {{1, 0}, {2, 0}, {3, 0}, {4, 0}});
  ASSERT_TRUE(CClassPath::_short_path_search_class_based(lat, n, text.c_str(), lm, nullptr));
  const std::vector<std::vector<uint32_t>> before = Walk(lat, n);

  // A predecessor index beyond the items of its node.
  tSegItemInfo* last = lat.item(4, lat.m_nodes[4].IdxMaxItemWeight);
  last->nPreIndex = 9;
  EXPECT_EQ(CClassPath::_short_path_set_class_based(lat, n), 0);
  EXPECT_EQ(Walk(lat, n), before);
  for (uint32_t k = 1; k <= n; ++k) {
    EXPECT_TRUE(lat.m_nodes[k].bBest) << k;
    EXPECT_EQ(lat.m_nodes[k].IdxMaxItemWeight, lat.m_nodes[k].IdxMaxItemWeightOld) << k;
  }
  // An item that does not end at its node.
  last->nPreIndex = 0;
  lat.item(3, 0)->length = 2;
  EXPECT_EQ(CClassPath::_short_path_set_class_based(lat, n), 0);
  // Sentence lengths outside the lattice.
  EXPECT_EQ(CClassPath::_short_path_set_class_based(lat, 0), 0);
  EXPECT_EQ(CClassPath::_short_path_set_class_based(lat, CLattice::kMaxNodes), 0);
  EXPECT_FALSE(CClassPath::_short_path_search_class_based(lat, 0, text.c_str(), lm, nullptr));
  EXPECT_FALSE(CClassPath::_short_path_search_class_based(lat, CLattice::kMaxNodes, text.c_str(),
                                                          lm, nullptr));
}

// --- Person against location over one span ---------------------------------

const std::string WANG = "\xCD\xF5";  // 王
const std::string JIA = "\xBC\xD2";   // 家
const std::string MING = "\xC3\xF7";  // 明
const std::string BEI = "\xB1\xB1";   // 北
const std::string JING = "\xBE\xA9";  // 京
const std::string SHI = "\xCA\xD0";   // 市

TEST_F(ClassPathTest, JiaInThePersonFavoursTheLocation) {
  const std::string text = WANG + JIA + MING;
  Add(lat, 0, 6, 5);
  const uint32_t per = AddEntity(lat, 0, 6, kAttrPerson, 61, -4.0f);
  const uint32_t loc = AddEntity(lat, 0, 6, kAttrLocation, 65, -6.0f);
  CClassPath::_proc_multi_ne_type_item(lat, text.c_str(), 6, &lat.m_nodes[6]);
  EXPECT_FLOAT_EQ(lat.item(6, per)->weight, -40.0f);
  EXPECT_FLOAT_EQ(lat.item(6, loc)->weight, -0.6f);
  EXPECT_EQ(lat.item(6, per)->type, 61);
  EXPECT_EQ(lat.item(6, loc)->type, 65);
}

TEST_F(ClassPathTest, JiaRuleAppliesBeforeScoring) {
  const std::string text = WANG + JIA + MING;
  const uint32_t n = 6;
  const uint32_t w = Add(lat, 0, 6, 5);
  const uint32_t per = AddEntity(lat, 0, 6, kAttrPerson, 61, -4.0f);
  const uint32_t loc = AddEntity(lat, 0, 6, kAttrLocation, 65, -6.0f);
  MarkPath(lat, {{6, w}});
  lm.Set(S, LOC, -1.0f);
  ASSERT_TRUE(CClassPath::_short_path_search_class_based(lat, n, text.c_str(), lm, nullptr));
  // Every other model score is the fallback -5 (start and end).
  EXPECT_FLOAT_EQ(lat.item(6, per)->weight, (-5.0f + 0.9f * -40.0f) + -5.0f);
  EXPECT_FLOAT_EQ(lat.item(6, loc)->weight, (-1.0f + 0.9f * (-6.0f / 10.0f)) + -5.0f);
  EXPECT_FLOAT_EQ(lat.item(6, w)->weight, -5.0f + -5.0f);
  EXPECT_EQ(lat.m_nodes[6].IdxMaxItemWeight, loc);
}

TEST_F(ClassPathTest, OtherPersonLocationPairsAreRetyped) {
  const std::string text = BEI + JING + SHI;
  Add(lat, 0, 6, 5);
  const uint32_t p1 = AddEntity(lat, 0, 6, kAttrPerson, 61, -4.0f);
  const uint32_t p2 = AddEntity(lat, 0, 6, kAttrPerson, 61, -3.0f);
  const uint32_t loc = AddEntity(lat, 0, 6, kAttrLocation, 65, -6.0f);
  CClassPath::_proc_multi_ne_type_item(lat, text.c_str(), 6, &lat.m_nodes[6]);
  EXPECT_EQ(lat.item(6, p1)->type, 61);  // only the last person item
  EXPECT_EQ(lat.item(6, p2)->type, 92);
  EXPECT_EQ(lat.item(6, loc)->type, 93);
  EXPECT_EQ(lat.item(6, p2)->weight, -3.0f);
  EXPECT_EQ(lat.item(6, loc)->weight, -6.0f);
}

TEST_F(ClassPathTest, PersonLocationPairNeedsTheSameBeginAndBothTypes) {
  const std::string text = "x" + BEI + JING;  // 5 bytes
  Add(lat, 0, 5, 5);
  const uint32_t per = AddEntity(lat, 1, 4, kAttrPerson, 61, -4.0f);
  const uint32_t loc = AddEntity(lat, 0, 5, kAttrLocation, 65, -6.0f);
  CClassPath::_proc_multi_ne_type_item(lat, text.c_str(), 5, &lat.m_nodes[5]);
  EXPECT_EQ(lat.item(5, per)->type, 61);
  EXPECT_EQ(lat.item(5, loc)->type, 65);

  CLattice& l2 = lat;
  l2.clear(CLattice::kMaxNodes - 1);
  Add(l2, 0, 4, 5);
  const uint32_t only = AddEntity(l2, 0, 4, kAttrPerson, 61, -4.0f);
  CClassPath::_proc_multi_ne_type_item(l2, text.c_str(), 5, &l2.m_nodes[4]);
  EXPECT_EQ(l2.item(4, only)->type, 61);
  EXPECT_EQ(l2.item(4, only)->weight, -4.0f);
  // A node with fewer than two items, or none, and a null node.
  CClassPath::_proc_multi_ne_type_item(l2, text.c_str(), 5, &l2.m_nodes[2]);
  CClassPath::_proc_multi_ne_type_item(l2, text.c_str(), 5, nullptr);
}

// A span that reaches past the sentence is left alone rather than read.
TEST_F(ClassPathTest, PersonLocationPairOutsideTheSentenceIsIgnored) {
  const std::string text = WANG + JIA + MING;
  Add(lat, 0, 6, 5);
  const uint32_t per = AddEntity(lat, 0, 6, kAttrPerson, 61, -4.0f);
  const uint32_t loc = AddEntity(lat, 0, 6, kAttrLocation, 65, -6.0f);
  CClassPath::_proc_multi_ne_type_item(lat, text.c_str(), 4, &lat.m_nodes[6]);
  EXPECT_EQ(lat.item(6, per)->weight, -4.0f);
  EXPECT_EQ(lat.item(6, loc)->type, 65);
}

// --- Random lattices against an exhaustive search ---------------------------

struct RandomLattice {
  uint32_t n = 0;
  std::string text;
  std::vector<std::vector<LogP>> entry_weight;  // per node, per item (entities)
};

// Builds a random lattice with a rule-based path (found with `rule_lm`) and,
// when `entities` is set, 1 to 3 entity items; random extra bnAmb marks.
RandomLattice BuildRandom(CLattice& lat, std::mt19937& rng, const CBasicDict& dict,
                          const Ngram& rule_lm, bool entities) {
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
  if (entities) {
    const uint32_t count = 1 + rng() % 3;
    for (uint32_t e = 0; e < count; ++e) {
      const uint32_t len = 1 + rng() % 4;
      if (len > r.n) continue;
      const uint32_t begin = rng() % (r.n - len + 1);
      const bool person = rng() % 2;
      const LogP w = -static_cast<float>(rng() % 80) / 10.0f;
      AddEntity(lat, begin, len, person ? kAttrPerson : kAttrLocation, person ? 62 : 66, w);
    }
  }
  for (uint32_t k = 1; k <= r.n; ++k) {
    if (rng() % 5 == 0) lat.m_nodes[k].bnAmb = true;
  }
  r.entry_weight.resize(r.n + 1);
  for (uint32_t k = 1; k <= r.n; ++k) {
    for (uint32_t j = 0; j < lat.m_nodes[k].ItemsNum; ++j) {
      r.entry_weight[k].push_back(lat.item(k, j)->weight);
    }
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
      kept = x.begin_pos != 0 && !node.bnAmb && !B.bnAmb && node.ItemsNumNER == 0 &&
             B.ItemsNumNER == 0;
      if (kept) {
        s = -10.0f;
      } else if (i == 0) {
        s = lm.P(S, id) + own;
      } else {
        s = (s + lm.P(prev, id)) + own;
      }
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
    const RandomLattice r = BuildRandom(lat, rng, dict, rule_lm, true);
    ASSERT_TRUE(CClassPath::_short_path_search_class_based(lat, r.n, r.text.c_str(), pn_lm,
                                                           nullptr));
    // (After the search: it saves the rule-based choice that defines the
    // considered items; the reference reads the entry weights saved before.)
    const Reference ref{lat, r, pn_lm};
    const LogP best = ref.Best();
    ASSERT_GT(best, LogP_Zero) << round;
    const tNodeInfo& last = lat.m_nodes[r.n];
    EXPECT_FLOAT_EQ(last.MaxWeight, best) << round;
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

// Without entity items only the rule-based words take part, so the path
// cannot change, whatever the bnAmb marks.
TEST(ClassPathRandomTest, WithoutEntitiesThePathStays) {
  std::mt19937 rng(7);
  CBasicDict dict;
  HashLM rule_lm(3), pn_lm(4);
  CLattice lat;
  for (int round = 0; round < 200; ++round) {
    const RandomLattice r = BuildRandom(lat, rng, dict, rule_lm, false);
    const std::vector<std::vector<uint32_t>> before = Walk(lat, r.n);
    ASSERT_TRUE(CClassPath::_short_path_search_class_based(lat, r.n, r.text.c_str(), pn_lm,
                                                           nullptr));
    ASSERT_EQ(CClassPath::_short_path_set_class_based(lat, r.n), 1);
    EXPECT_EQ(Walk(lat, r.n), before) << round;
  }
}

// Arbitrary field values never lead outside the lattice (run under the
// sanitizers): random counts, flags, indexes and spans.
TEST(ClassPathRandomTest, GarbageFieldsAreSafe) {
  std::mt19937 rng(99);
  CBasicDict dict;
  HashLM rule_lm(5), pn_lm(6);
  CLattice lat;
  for (int round = 0; round < 300; ++round) {
    const RandomLattice r = BuildRandom(lat, rng, dict, rule_lm, true);
    for (uint32_t k = 0; k <= r.n; ++k) {
      tNodeInfo& node = lat.m_nodes[k];
      if (rng() % 4 == 0) node.ItemsNumNER = static_cast<uint8_t>(rng());
      if (rng() % 4 == 0) node.IdxMaxItemWeight = static_cast<uint8_t>(rng());
      if (rng() % 4 == 0) node.bBest = rng() % 2;
      if (rng() % 6 == 0) node.bBegin = rng() % 2;
      for (uint32_t j = 0; j < node.ItemsNum; ++j) {
        tSegItemInfo* it = lat.item(&node, j);
        if (rng() % 6 == 0) it->nPreIndex = static_cast<int8_t>(rng());
        if (rng() % 8 == 0) it->type = rng() % 2 ? 61 : 65;
        if (rng() % 10 == 0) it->length = rng() % 12;
        if (rng() % 10 == 0) it->begin_pos = rng() % 12;
      }
    }
    ASSERT_TRUE(CClassPath::_short_path_search_class_based(lat, r.n, r.text.c_str(), pn_lm,
                                                           nullptr));
    if (CClassPath::_short_path_set_class_based(lat, r.n) == 1) {
      // A set path can be walked to the end.
      size_t p = lat.m_nodes[0].nNextLen, steps = 0;
      while (p <= r.n && steps++ <= r.n) {
        ASSERT_NE(lat.m_nodes[p].MaxItem, nullptr);
        p += lat.m_nodes[p].nNextLen;
      }
      EXPECT_EQ(p, r.n + 1u);
    }
  }
}

}  // namespace
