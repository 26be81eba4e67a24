// Bigram POS tagging: candidate tags of dictionary and generated items
// (one-tag lists, punctuation, type 86, empty lists), decoding and ties,
// factoids keeping their tag, path checks, caps, and agreement with an
// exhaustive search over all tag sequences of random paths and tables.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "dict/BasicDict.h"
#include "dict/BasicDictWriter.h"
#include "dict/NerResource.h"
#include "seg/lattice.h"
#include "seg/pos_tagger.h"
#include "seg/tagger_fixture.h"

namespace {

using tagtest::BuildPath;
using tagtest::Chr;
using tagtest::Dict;
using tagtest::W;

const uint32_t kDim = CPosTagger::kPosTableDim;
const uint8_t kA = 1, kN = 16, kV = 31, kW = 34, kSOS = 49;

using Table = tagtest::Table<kDim>;

basic_dict_entry_t Word(const std::string& w, std::vector<prop_item_t> pos, uint16_t ne = 0) {
  basic_dict_entry_t e;
  e.word = w;
  e.name_entity = ne;
  e.pos = pos;  // an empty vector is an empty list
  return e;
}

std::vector<int> Tags(CLattice& lat, uint32_t n) {
  return tagtest::PathValues(lat, n, &tSegItemInfo::posIndex);
}

class PosTaggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dict_.add(Word(Chr(0), {{kV, -0.5f}}));
    dict_.add(Word(Chr(1), {{kN, -1.0f}, {kV, -1.0f}}));
    dict_.add(Word(Chr(2), {}));              // empty list
    dict_.add(Word(Chr(3), {{kV, -0.5f}}, 89));  // rule word
    dict_.add(Word(Chr(4), {{kA, -0.5f}, {kV, -2.0f}}));
    dict_.add(Word(Chr(5), {{kV, -0.5f}}, 88));
    dict_.build();
  }
  bool Tag(CLattice& lat, const std::string& text, const Table& t) {
    return tagger_._BigramPOSTag(lat, text.data(), (uint32_t)text.size(), dict_.dict, t.data());
  }
  Dict dict_;
  CPosTagger tagger_;
  CLattice lat_;
};

TEST_F(PosTaggerTest, DictionaryWordTaggedOnlyV) {
  Table t;
  std::string text = BuildPath(lat_, {{Chr(0), dict_.attr(Chr(0)), 0}});
  ASSERT_TRUE(Tag(lat_, text, t));
  EXPECT_EQ(Tags(lat_, 2), (std::vector<int>{30}));
  EXPECT_EQ(lat_.m_nodes[2].pROLEPOS[0], kV);
  EXPECT_EQ(lat_.item(2, 0)->posIndex, 200);  // only the chosen item is tagged
}

TEST_F(PosTaggerTest, ViterbiOverTwoWordsWithoutClosingTransition) {
  Table t;
  t.at(kSOS, kA).m_Prob = -1.0f;  // a: -0.5 - 1 = -1.5
  t.at(kSOS, kV).m_Prob = -1.0f;  // v: -2 - 1 = -3
  t.at(kA, kN).m_Prob = -3.0f;    // n after a: -4.5; after v: -3 -> n = -4 via v
  t.at(kV, kN).m_Prob = 0.0f;
  t.at(kA, kV).m_Prob = -0.5f;    // v after a: -2; after v: -7 -> v = -3 via a
  t.at(kV, kV).m_Prob = -4.0f;
  // Cells of the end symbols are not read.
  for (uint32_t c : {50u, 53u, 54u, 55u}) t.at(kV, c).m_Prob = -100.0f;
  std::string text = BuildPath(lat_, {{Chr(4), dict_.attr(Chr(4)), 0}, {Chr(1), dict_.attr(Chr(1)), 0}});
  ASSERT_TRUE(Tag(lat_, text, t));
  EXPECT_EQ(Tags(lat_, 4), (std::vector<int>{kA - 1, kV - 1}));
  EXPECT_EQ(lat_.m_nodes[4].pPOS[0], 1);  // n's best predecessor: v
  EXPECT_EQ(lat_.m_nodes[4].pPOS[1], 0);  // v's best predecessor: a
  // Raising n after v past v's total flips the final choice, and with it the
  // first word.
  t.at(kV, kN).m_Prob = 1.5f;  // n = -1 + (-3 + 1.5) = -2.5
  ASSERT_TRUE(Tag(lat_, text, t));
  EXPECT_EQ(Tags(lat_, 4), (std::vector<int>{kV - 1, kN - 1}));
}

TEST_F(PosTaggerTest, TiesKeepTheEarlierCandidate) {
  Table t;
  std::string text = BuildPath(lat_, {{Chr(1), dict_.attr(Chr(1)), 0}, {Chr(1), dict_.attr(Chr(1)), 0}});
  ASSERT_TRUE(Tag(lat_, text, t));
  EXPECT_EQ(Tags(lat_, 4), (std::vector<int>{kN - 1, kN - 1}));
  EXPECT_EQ(lat_.m_nodes[4].pPOS[0], 0);
  EXPECT_EQ(lat_.m_nodes[4].pPOS[1], 0);
  // v starts better (-1 against -2); after it, both n and v are reached
  // from n and from v with -3: the predecessor ties go to n, and so does the
  // final tie between n and v.
  t.at(kSOS, kV).m_Prob = 0.0f;
  t.at(kV, kN).m_Prob = -2.0f;
  t.at(kV, kV).m_Prob = -2.0f;
  ASSERT_TRUE(Tag(lat_, text, t));
  EXPECT_EQ(lat_.m_nodes[4].pPOS[0], 0);
  EXPECT_EQ(lat_.m_nodes[4].pPOS[1], 0);
  EXPECT_EQ(Tags(lat_, 4), (std::vector<int>{kN - 1, kN - 1}));
  // One step better from v, and v wins the first word.
  t.at(kV, kN).m_Prob = -1.5f;
  ASSERT_TRUE(Tag(lat_, text, t));
  EXPECT_EQ(lat_.m_nodes[4].pPOS[0], 1);
  EXPECT_EQ(Tags(lat_, 4), (std::vector<int>{kV - 1, kN - 1}));
}

TEST_F(PosTaggerTest, UnreachableCandidatesPointAtTheFirst) {
  // Chr(4) = {a -0.5, v -2}, Chr(1) = {n -1, v -1}; every other cell -1.
  Table t;
  const std::string text =
      BuildPath(lat_, {{Chr(4), dict_.attr(Chr(4)), 0}, {Chr(1), dict_.attr(Chr(1)), 0}});
  // A NaN cell reaches nothing: a gets minus infinity, which no successor
  // can improve on, so both successors come from v (a would win otherwise).
  t.at(kSOS, kA).m_Prob = std::nanf("");
  ASSERT_TRUE(Tag(lat_, text, t));
  EXPECT_EQ(lat_.m_nodes[4].pPOS[0], 1);
  EXPECT_EQ(lat_.m_nodes[4].pPOS[1], 1);
  EXPECT_EQ(Tags(lat_, 4), (std::vector<int>{kV - 1, kN - 1}));
  // Nothing reachable from the start: every back-pointer is 0 and the first
  // candidates are kept.
  t.at(kSOS, kA).m_Prob = LogP_Zero;
  t.at(kSOS, kV).m_Prob = LogP_Zero;
  ASSERT_TRUE(Tag(lat_, text, t));
  for (uint32_t p : {2u, 4u}) {
    EXPECT_EQ(lat_.m_nodes[p].pPOS[0], 0) << p;
    EXPECT_EQ(lat_.m_nodes[p].pPOS[1], 0) << p;
  }
  EXPECT_EQ(Tags(lat_, 4), (std::vector<int>{kA - 1, kN - 1}));
}

TEST_F(PosTaggerTest, WordsWithoutUsableTagsAreNouns) {
  Table t;
  // Item types 88, 89, -88; a dictionary entry of type 89 under another item
  // type; an empty list; nAttributeIdx 0; an index beyond the dictionary but
  // below the generated range (no punctuation rule there: "," stays "n").
  std::string text = BuildPath(lat_, {{Chr(1), dict_.attr(Chr(1)), 88},
                                      {Chr(1), dict_.attr(Chr(1)), 89},
                                      {Chr(1), dict_.attr(Chr(1)), -88},
                                      {Chr(3), dict_.attr(Chr(3)), 0},
                                      {Chr(5), dict_.attr(Chr(5)), 0},
                                      {Chr(2), dict_.attr(Chr(2)), 0},
                                      {",", 0, 0},
                                      {",", 9999999, 0}});
  t.at(kN, kN).m_Prob = -5.0f;  // would not matter: every word has one tag
  ASSERT_TRUE(Tag(lat_, text, t));
  EXPECT_EQ(Tags(lat_, 14), std::vector<int>(8, kN - 1));
  EXPECT_EQ(lat_.m_nodes[2].pROLEPOS, lat_.m_nodes[2].LocalPOSTemp);
  EXPECT_EQ(lat_.m_nodes[12].pROLEPOS, lat_.m_nodes[12].LocalPOSTemp);
  EXPECT_EQ(lat_.m_nodes[12].LocalPOSTemp[0], kN);
  EXPECT_EQ(lat_.m_nodes[12].LocalPOSTemp[1], 0);
}

TEST_F(PosTaggerTest, GeneratedItemsByTypeAndPunctuation) {
  struct Case {
    std::string text;
    int type;
    uint8_t pos;
    int want;  // POS id
  };
  const std::string zh4 = Chr(7) + Chr(8);
  const std::vector<Case> cases = {
      {zh4, 61, 0, 17},         {zh4, 62, 0, 17},          {zh4, 92, 0, 17},
      {zh4, 65, 0, 20},         {zh4, 66, 0, 20},          {zh4, 93, 0, 20},
      {zh4, 55, 0, 16},         {zh4, 63, 0, 16},          {zh4, 86, 31, 31},
      {zh4, 86, 0, 16},         {zh4, 86, 60, 16},         {zh4, 86, 55, 55},
      {",", 55, 0, kW},         {"a", 55, 0, 16},          {"Z", 61, 0, 17},
      {"7", 55, 0, 16},         {"\x80", 55, 0, kW},       {" ", 86, 31, kW},
      {"\xA1\xA3", 61, 0, kW},  {"\xA3\xAC", 55, 0, kW},   {"\xA3\xB1", 61, 0, 17},
      {"\xA3\xB0", 55, 0, 16},  {"\xA3\xB9", 65, 0, 20},   {"\xA3\xBA", 65, 0, kW},
      {"\xA3\xC1", 55, 0, 16},  {"\xA3\xDA", 55, 0, 16},   {"\xA3\xDB", 55, 0, kW},
      {"\xA3\xE1", 55, 0, 16},  {"\xA3\xFA", 55, 0, 16},   {"\xA3\xFB", 55, 0, kW},
      {"\xA3\xAF", 55, 0, kW},  {"\xA2\xA1", 55, 0, 16},   {Chr(9), 55, 0, 16},
  };
  Table t;
  for (const Case& c : cases) {
    for (uint32_t attr : {kAttrSingleChar, kAttrPerson, kAttrLocation}) {
      std::string text = BuildPath(lat_, {{c.text, attr, c.type, c.pos}});
      const uint32_t n = (uint32_t)text.size();
      ASSERT_TRUE(Tag(lat_, text, t));
      EXPECT_EQ(lat_.m_nodes[n].MaxItem->posIndex, c.want - 1) << c.text << " type " << c.type;
      EXPECT_EQ(lat_.m_nodes[n].pROLEPOS, lat_.m_nodes[n].LocalPOSTemp);
    }
  }
}

TEST_F(PosTaggerTest, FactoidsKeepTheirTag) {
  Table t;
  std::string text = BuildPath(lat_, {{Chr(0), dict_.attr(Chr(0)), 0},
                                      {"12", kAttrNumber, 58, 14},
                                      {Chr(0), dict_.attr(Chr(0)), 0}});
  ASSERT_TRUE(Tag(lat_, text, t));
  EXPECT_EQ(Tags(lat_, 6), (std::vector<int>{30, 14, 30}));
}

TEST_F(PosTaggerTest, RefusesBrokenPathsWithoutWriting) {
  Table t;
  std::string text = BuildPath(lat_, {{Chr(0), dict_.attr(Chr(0)), 0}, {Chr(0), dict_.attr(Chr(0)), 0}});
  EXPECT_FALSE(tagger_._BigramPOSTag(lat_, nullptr, 4, dict_.dict, t.data()));
  EXPECT_FALSE(tagger_._BigramPOSTag(lat_, text.data(), 4, dict_.dict, nullptr));
  EXPECT_FALSE(tagger_._BigramPOSTag(lat_, text.data(), 0, dict_.dict, t.data()));
  EXPECT_FALSE(tagger_._BigramPOSTag(lat_, text.data(), 3, dict_.dict, t.data()));
  lat_.m_nodes[2].nNextLen = 0;
  EXPECT_FALSE(Tag(lat_, text, t));
  lat_.m_nodes[2].nNextLen = 2;
  lat_.m_nodes[4].MaxItem->begin_pos = 1;
  EXPECT_FALSE(Tag(lat_, text, t));
  lat_.m_nodes[4].MaxItem->begin_pos = 2;
  tSegItemInfo* kept = lat_.m_nodes[2].MaxItem;
  lat_.m_nodes[2].MaxItem = nullptr;
  EXPECT_FALSE(Tag(lat_, text, t));
  lat_.m_nodes[2].MaxItem = kept;
  EXPECT_EQ(Tags(lat_, 4), (std::vector<int>{200, 200}));
  EXPECT_EQ(lat_.m_nodes[2].pROLEPOS, nullptr);
  ASSERT_TRUE(Tag(lat_, text, t));
  EXPECT_EQ(Tags(lat_, 4), (std::vector<int>{30, 30}));
}

// A dictionary made in memory with lists the loader would refuse.
TEST(PosTaggerCaps, LongListsAndLargeIdsAreCut) {
  CBasicDict d;
  d.mWordNum = 2;
  d.mPropDict.m_word_info = new word_prop_t[2]();
  const uint32_t len = 70;
  d.mPropDict.m_POS = new uint8_t[len + 5];
  d.mPropDict.m_POSProb = new LogP[len + 5];
  for (uint32_t i = 0; i < len; ++i) {
    d.mPropDict.m_POS[i] = (uint8_t)(1 + i % 48);
    d.mPropDict.m_POSProb[i] = -5.0f;
  }
  d.mPropDict.m_POS[len - 1] = 50;        // the best tag, beyond the cap
  d.mPropDict.m_POSProb[len - 1] = 0.0f;
  d.mPropDict.m_POS[len] = 0;
  const uint8_t second[] = {kV, 60, kN, 0};  // only v is usable
  for (int i = 0; i < 4; ++i) {
    d.mPropDict.m_POS[len + 1 + i] = second[i];
    d.mPropDict.m_POSProb[len + 1 + i] = 0.0f;
  }
  d.mPropDict.m_POS_num = d.mPropDict.m_POSProb_num = len + 5;
  for (int w = 0; w < 2; ++w) {
    d.mPropDict.m_word_info[w].m_pos_sidx = w == 0 ? 0 : len + 1;
    d.mPropDict.m_word_info[w].m_role_sidx = Prop_None;
    d.mPropDict.m_word_info[w].m_ln_role_sidx = Prop_None;
    d.mPropDict.m_word_info[w].m_seg_rule_sidx = Prop_None;
  }
  CLattice lat;
  std::string text = BuildPath(lat, {{"\xB0\xA1", 1, 0}, {"\xB0\xA2", 1, 0}, {"\xB0\xA3", 2, 0}});
  std::vector<CProbabilityNode> table(kDim * kDim, CProbabilityNode{-1.0f, 0.0f});
  CPosTagger tagger;
  ASSERT_TRUE(tagger._BigramPOSTag(lat, text.data(), 6, d, table.data()));
  // All usable candidates tie, so the first ("a") wins.
  EXPECT_EQ(Tags(lat, 6), (std::vector<int>{kA - 1, kA - 1, kV - 1}));
}

// --- Exhaustive reference ---------------------------------------------------

using tagtest::Cand;

// The tagger's model for the exhaustive search: transitions from 49, no
// closing transition.
std::vector<int> Reference(const std::vector<std::vector<Cand>>& words,
                           const std::vector<CProbabilityNode>& t) {
  return tagtest::ExhaustiveBest(
      words, kSOS, [&](uint8_t p, uint8_t c) { return t[p * kDim + c].m_Prob; },
      [](uint8_t) { return 0.0f; });
}

TEST(PosTaggerReference, ViterbiAgreesWithExhaustiveSearch) {
  // Multiples of 0.5 in [-4, 0]: exact sums, genuine ties.
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    std::mt19937 rng(seed);
    auto half = [&]() { return -0.5f * (float)(rng() % 9); };
    const int kWords = 12;
    std::vector<std::vector<prop_item_t>> pos(kWords);
    std::vector<uint16_t> ne(kWords, 0);
    Dict dict;
    const uint8_t pool[] = {1, 4, 16, 17, 20, 31, 34, 49, 55};
    for (int i = 0; i < kWords; ++i) {
      const size_t np = rng() % 5;  // empty lists included
      for (size_t k = 0; k < np; ++k) pos[i].push_back({pool[rng() % 9], half()});
      const uint32_t r = rng() % 8;
      ne[i] = r == 0 ? 88 : r == 1 ? 89 : 0;
      dict.add(Word(Chr(10 + i), pos[i], ne[i]));
    }
    dict.build();

    std::vector<CProbabilityNode> table(kDim * kDim);
    for (auto& c : table) c = CProbabilityNode{half(), -100.0f};

    CPosTagger tagger;
    CLattice lat;
    for (int trial = 0; trial < 40; ++trial) {
      const size_t m = 1 + rng() % 6;
      std::vector<W> path;
      std::vector<std::vector<Cand>> cands;
      std::vector<int> keep;  // expected posIndex of type-58 items, else -1
      for (size_t w = 0; w < m; ++w) {
        const int kind = rng() % 6;
        std::vector<Cand> c;
        int kept = -1;
        if (kind <= 2) {
          const int i = rng() % kWords;
          const int type = (rng() % 6 == 0) ? 89 : 0;
          path.push_back({Chr(10 + i), dict.attr(Chr(10 + i)), type});
          if (type == 0 && ne[i] == 0 && !pos[i].empty()) {
            for (auto& p : pos[i]) c.push_back({p.id, p.prob});
          } else {
            c.push_back({kN, 0.0f});
          }
        } else if (kind == 3) {  // entity
          const bool person = rng() % 2;
          path.push_back({Chr(200) + Chr(201), person ? kAttrPerson : kAttrLocation, person ? 61 : 65});
          c.push_back({(uint8_t)(person ? 17 : 20), 0.0f});
        } else if (kind == 4) {  // punctuation
          path.push_back({"\xA3\xAC", kAttrSingleChar, 55});
          c.push_back({kW, 0.0f});
        } else {  // factoid: tagged as "n" in the decoding, keeps its posIndex
          path.push_back({"12", kAttrNumber, 58, 14});
          c.push_back({kN, 0.0f});
          kept = 14;
        }
        cands.push_back(c);
        keep.push_back(kept);
      }
      const std::string text = BuildPath(lat, path);
      const uint32_t n = (uint32_t)text.size();
      ASSERT_TRUE(tagger._BigramPOSTag(lat, text.data(), n, dict.dict, table.data()));
      const std::vector<int> ref = Reference(cands, table);
      std::vector<int> want;
      for (size_t w = 0; w < m; ++w) want.push_back(keep[w] >= 0 ? keep[w] : ref[w] - 1);
      EXPECT_EQ(Tags(lat, n), want) << "seed " << seed << " trial " << trial;
    }
  }
}

}  // namespace
