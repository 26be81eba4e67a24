// Bigram POS tagging: tags of generated items and punctuation, factoids
// keeping their tag, and agreement with an exhaustive search over all tag
// sequences of random paths and tables.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "seg/pos_tagger.h"
#include "seg/tagger_fixture.h"

namespace {

using tagtest::BuildPath;
using tagtest::Cand;
using tagtest::Chr;
using tagtest::Dict;
using tagtest::W;

const uint32_t kDim = CPosTagger::kPosTableDim;
const uint8_t kN = 16, kW = 34, kSOS = 49;

basic_dict_entry_t Word(const std::string& w, std::vector<prop_item_t> pos, uint16_t ne = 0) {
  basic_dict_entry_t e;
  e.word = w, e.name_entity = ne, e.pos = pos;  // an empty vector is an empty list
  return e;
}

std::vector<int> Tags(CLattice& lat, uint32_t n) {
  return tagtest::PathValues(lat, n, &tSegItemInfo::posIndex);
}

TEST(PosTagger, GeneratedItemsByTypeAndPunctuation) {
  // {text, item type, posIndex before tagging, POS id expected}: nr for
  // person types, ns for location types, type 86 keeps a usable own id,
  // punctuation is w, everything else n.
  struct Case { std::string text; int type; uint8_t pos; int want; };
  const std::string zh4 = Chr(7) + Chr(8);
  const Case cases[] = {
      {zh4, 61, 0, 17},       {zh4, 62, 0, 17},         {zh4, 92, 0, 17},        {zh4, 65, 0, 20},
      {zh4, 66, 0, 20},       {zh4, 93, 0, 20},         {zh4, 55, 0, 16},        {zh4, 86, 31, 31},
      {zh4, 86, 0, 16},       {zh4, 86, 60, 16},        {zh4, 86, 55, 55},       {",", 55, 0, kW},
      {"a", 55, 0, 16},       {"Z", 61, 0, 17},         {"7", 55, 0, 16},        {"\x80", 55, 0, kW},
      {"~", 55, 0, kW},       {"/", 55, 0, kW},         {"@", 55, 0, kW},        {"[", 55, 0, kW},
      {"`", 55, 0, kW},       {"{", 55, 0, kW},         {":", 55, 0, kW},        {" ", 86, 31, kW},
      {"\xA1\xA3", 61, 0, kW}, {"\xA3\xAC", 55, 0, kW}, {"\xA3\xB1", 61, 0, 17}, {"\xA3\xB0", 55, 0, 16},
      {"\xA3\xB9", 65, 0, 20}, {"\xA3\xBA", 65, 0, kW}, {"\xA3\xC1", 55, 0, 16}, {"\xA3\xDA", 55, 0, 16},
      {"\xA3\xDB", 55, 0, kW}, {"\xA3\xE1", 55, 0, 16}, {"\xA3\xFA", 55, 0, 16}, {"\xA3\xFB", 55, 0, kW},
      {"\xA3\xAF", 55, 0, kW}, {"\xA3\xC0", 55, 0, kW}, {"\xA2\xA1", 55, 0, 16}, {Chr(9), 55, 0, 16},
  };
  Dict dict;
  dict.add(Word(Chr(0), {{31, -0.5f}}));
  dict.build();
  tagtest::Table<kDim> t;
  CPosTagger tagger;
  CLattice lat;
  for (const Case& c : cases) {
    for (uint32_t attr : {kAttrSingleChar, kAttrPerson, kAttrLocation}) {
      // Between two dictionary words; a factoid keeps its posIndex.
      std::string text = BuildPath(lat, {{Chr(0), dict.attr(Chr(0)), 0}, {c.text, attr, c.type, c.pos},
                                         {"12", kAttrNumber, 58, 14}});
      const uint32_t n = (uint32_t)text.size();
      ASSERT_TRUE(tagger._BigramPOSTag(lat, text.data(), n, dict.dict, t.data()));
      EXPECT_EQ(Tags(lat, n), (std::vector<int>{30, c.want - 1, 14})) << c.text << " type " << c.type;
    }
  }
  std::string text = BuildPath(lat, {{Chr(0), dict.attr(Chr(0)), 0}});
  EXPECT_FALSE(tagger._BigramPOSTag(lat, nullptr, 2, dict.dict, t.data()));
  EXPECT_FALSE(tagger._BigramPOSTag(lat, text.data(), 2, dict.dict, nullptr));
  EXPECT_FALSE(tagger._BigramPOSTag(lat, text.data(), 1, dict.dict, t.data()));
  EXPECT_EQ(Tags(lat, 2), (std::vector<int>{200}));
}

// Transitions from 49, closing with the transition into 55.
std::vector<int> Reference(const std::vector<std::vector<Cand>>& words,
                           const std::vector<CProbabilityNode>& t) {
  return tagtest::ExhaustiveBest(
      words, kSOS, [&](uint8_t p, uint8_t c) { return t[p * kDim + c].m_Prob; },
      [&](uint8_t p) { return t[p * kDim + 55].m_Prob; });
}

TEST(PosTaggerReference, ViterbiAgreesWithExhaustiveSearch) {
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    std::mt19937 rng(seed);
    auto half = [&]() { return -0.5f * (float)(rng() % 9); };
    const int kWords = 12;
    std::vector<std::vector<prop_item_t>> pos(kWords);
    std::vector<uint16_t> ne(kWords, 0);
    Dict dict;
    const uint8_t pool[] = {1, 4, 16, 17, 20, 31, 34, 49, 55};
    for (int i = 0; i < kWords; ++i) {
      for (size_t k = rng() % 5; k > 0; --k) pos[i].push_back({pool[rng() % 9], half()});
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
      std::vector<W> path;
      std::vector<std::vector<Cand>> cands;
      std::vector<int> keep;  // posIndex a factoid keeps, else -1
      for (size_t w = 0, m = 1 + rng() % 6; w < m; ++w) {
        const int kind = rng() % 6;
        std::vector<Cand> c{{kN, 0.0f}};
        keep.push_back(-1);
        if (kind <= 2) {
          const int i = rng() % kWords;
          static const int types[] = {0, 0, 0, 0, 89, 88, -88};
          const int type = types[rng() % 7];
          const uint32_t attr = rng() % 10 ? dict.attr(Chr(10 + i)) : (rng() % 2 ? 0 : 9999);
          path.push_back({Chr(10 + i), attr, type});
          if (type == 0 && ne[i] == 0 && !pos[i].empty() && attr < 9999 && attr > 0) {
            c.clear();
            for (auto& p : pos[i]) c.push_back({p.id, p.prob});
          }
        } else if (kind == 3) {
          const bool person = rng() % 2;
          path.push_back({Chr(200) + Chr(201), person ? kAttrPerson : kAttrLocation, person ? 61 : 65});
          c[0].state = person ? 17 : 20;
        } else if (kind == 4) {
          path.push_back({"\xA3\xAC", kAttrSingleChar, 55});
          c[0].state = kW;
        } else {
          path.push_back({"12", kAttrNumber, 58, 14});
          c[0].state = 15;  // tagged with its own tag (posIndex 14: m)
          keep.back() = 14;
        }
        cands.push_back(c);
      }
      const std::string text = BuildPath(lat, path);
      const uint32_t n = (uint32_t)text.size();
      ASSERT_TRUE(tagger._BigramPOSTag(lat, text.data(), n, dict.dict, table.data()));
      const std::vector<int> ref = Reference(cands, table);
      std::vector<int> want;
      for (size_t w = 0; w < cands.size(); ++w) want.push_back(keep[w] >= 0 ? keep[w] : ref[w] - 1);
      EXPECT_EQ(Tags(lat, n), want) << "seed " << seed << " trial " << trial;
    }
  }
}

}  // namespace
