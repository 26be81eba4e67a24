// The rule-based best path: identifiers and rule blocks, the scoring cases,
// tie-breaking, the trace-back and its checks, and agreement with an
// exhaustive search over all paths of random lattices.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "dict/BasicDict.h"
#include "dict/BasicDictWriter.h"
#include "lm/Ngram.h"
#include "seg/Factoid.h"
#include "seg/best_path.h"
#include "seg/lattice.h"
#include "seg/lattice_producer.h"
#include "support/test_dict.h"

namespace {

const std::string ZHONG = "\xD6\xD0";  // 中
const std::string GUO = "\xB9\xFA";    // 国
const std::string REN = "\xC8\xCB";    // 人
const std::string DA = "\xB4\xF3";     // 大
const std::string XUE = "\xD1\xA7";    // 学
const std::string SHENG = "\xC9\xFA";  // 生
const std::string GE = "\xB8\xF6";     // 个
const std::string SHU = "\xCA\xFD";    // 数
const std::string SAN = "\xC8\xFD";    // 三

const VocabIndex kCharId = kAttrSingleChar - 1;  // 10000000
const VocabIndex kNumId = kAttrNumber - 1;       // 10000003
const VocabIndex kAlnumId = kAttrAlnum - 1;      // 10000004
const VocabIndex kStart = kRulePathStartContext;

// The dictionary of every test here: plain words, a type-89 word 中国人
// (中国 + 人, -0.5) and a type-88 word 大学生 (大学 + 生, -0.25; or
// 大 + 学生, -0.75).
class Words {
 public:
  Words() {
    for (const std::string& w : {ZHONG, GUO, REN, ZHONG + GUO, DA, XUE, SHENG, DA + XUE,
                                  XUE + SHENG, GE, SHU, GE + SHU}) {
      basic_dict_entry_t e;
      e.word = w;
      e.pos = std::vector<prop_item_t>{{1, -0.5f}};
      EXPECT_TRUE(files_.add(e));
    }
    basic_dict_entry_t r89;
    r89.word = ZHONG + GUO + REN;
    r89.name_entity = 89;
    r89.rule = BasicDictRuleBlock({ZHONG + GUO, REN}, -0.5f);
    r89.pos = std::vector<prop_item_t>{{1, -0.5f}, {2, -0.5f}};
    EXPECT_TRUE(files_.add(r89));
    basic_dict_entry_t r88;
    r88.word = DA + XUE + SHENG;
    r88.name_entity = 88;
    std::vector<rule_value_t> rule = BasicDictRuleBlock({DA + XUE, SHENG}, -0.25f);
    std::vector<rule_value_t> second = BasicDictRuleBlock({DA, XUE + SHENG}, -0.75f);
    rule.insert(rule.end(), second.begin(), second.end());
    r88.rule = rule;
    r88.pos = std::vector<prop_item_t>{{1, 0}, {2, 0}, {3, 0}, {4, 0}};
    EXPECT_TRUE(files_.add(r88));

    EXPECT_TRUE(files_.write_and_load(dict)) << files_.error();
  }

  VocabIndex operator()(const std::string& w) const {
    long i = files_.index_of(w);
    EXPECT_GE(i, 0);
    return (VocabIndex)i;
  }

  CBasicDict dict;

 private:
  lxtest::TestDict files_{"lx_bestpath_"};
};

// Model entries.  (The unknown word's id is also the single characters'
// class id, 10000000; LogP_unk_word is set apart where a test needs it.)
void Uni(Ngram& lm, VocabIndex w, LogP p) {
  VocabIndex root[] = {Vocab_None};
  *lm.contexts.insert_trie(root)->value().probs.insert(w) = p;
}
void Bi(Ngram& lm, VocabIndex ctx, VocabIndex w, LogP p) {
  VocabIndex key[] = {ctx, Vocab_None};
  *lm.contexts.insert_trie(key)->value().probs.insert(w) = p;
}
void Bow(Ngram& lm, VocabIndex ctx, LogP b) {
  VocabIndex key[] = {ctx, Vocab_None};
  lm.contexts.insert_trie(key)->value().bow = b;
}

// Counts the model calls.
class CountingNgram : public Ngram {
 public:
  CountingNgram() : Ngram(3) {}
  LogP word_prob(VocabIndex word, const VocabIndex* context, unsigned clen,
                 bool* pbbk) const override {
    ++calls;
    return Ngram::word_prob(word, context, clen, pbbk);
  }
  using Ngram::word_prob;
  mutable int calls = 0;
};

tSegItemInfo Item(uint32_t begin, uint32_t length, uint32_t attr, int type) {
  tSegItemInfo it{};
  it.begin_pos = begin;
  it.length = length;
  it.type = type;
  it.perIdx = 50;
  it.nAttributeIdx = attr;
  return it;
}

class BestPathTest : public testing::Test {
 protected:
  BestPathTest() : lattice(new CLattice), lm(3) { wids.fill(7); }

  void Reset(uint32_t len) {
    n = len;
    lattice->clear(n);
  }
  // Adds a dictionary word / a class item ending at begin + length.
  void AddWord(uint32_t begin, uint32_t length, const std::string& w, int type = 0) {
    const tSegItemInfo it = Item(begin, length, words(w) + 1, type);
    ASSERT_NE(lattice->add_item(begin + length, it, 8), nullptr);
  }
  void AddClass(uint32_t begin, uint32_t length, uint32_t attr, int type = kTypeSingleChar) {
    ASSERT_NE(lattice->add_item(begin + length, Item(begin, length, attr, type), 8), nullptr);
  }
  bool Search(uint32_t geshu = Vocab_None, bool cut = false) {
    return rule_path_search(*lattice, n, words.dict, lm, geshu, cut, wids.data());
  }
  tSegItemInfo& At(uint32_t p, uint32_t j) { return *lattice->item(p, j); }

  // The marked words as (end node, item), walked forward from node 0.
  std::vector<std::pair<uint32_t, const tSegItemInfo*>> Path() {
    std::vector<std::pair<uint32_t, const tSegItemInfo*>> out;
    uint32_t p = (uint32_t)lattice->m_nodes[0].nNextLen;
    while (p != 0 && p <= n) {
      out.push_back({p, lattice->m_nodes[p].MaxItem});
      p += (uint32_t)lattice->m_nodes[p].nNextLen;
    }
    return out;
  }

  Words words;
  std::unique_ptr<CLattice> lattice;
  Ngram lm;
  std::array<VocabIndex, 100> wids;
  uint32_t n = 0;
};

// --- Identifiers -------------------------------------------------------------------

TEST_F(BestPathTest, IdentifiersFollowTheRuleBlocks) {
  struct Case {
    uint32_t attr;
    int type;
    VocabIndex id;
    LogP extra;
    VocabIndex ctx;
  };
  const uint32_t r89 = words(ZHONG + GUO + REN) + 1, r88 = words(DA + XUE + SHENG) + 1;
  const uint32_t plain = words(ZHONG + GUO) + 1;
  const Case cases[] = {
      {plain, 0, plain - 1, 0, plain - 1},
      // A rule block without the word having one changes nothing.
      {plain, 89, plain - 1, 0, plain - 1},
      {r89, 89, words(ZHONG + GUO), -0.5f, words(REN)},
      // m_NameEntity 89 applies whatever the item's type.
      {r89, 0, words(ZHONG + GUO), -0.5f, words(REN)},
      {r88, 88, words(DA + XUE), -0.25f, words(SHENG)},
      {r88, -88, words(DA), -0.75f, words(XUE + SHENG)},
      // m_NameEntity 88 makes the context the first block's last word, but
      // not the scored word.
      {r88, 0, r88 - 1, 0, words(SHENG)},
      {kAttrSingleChar, kTypeSingleChar, kCharId, 0, kCharId},
      {kAttrSingleChar, kTypeFactoid, kCharId, 0, kCharId},
      {kAttrNumber, kTypeFactoid, kNumId, 0, kNumId},
      {kAttrAlnum, kTypeFactoid, kAlnumId, 0, kAlnumId},
      // Class codes above the dictionary are never read as words, even with
      // a rule type.
      {kAttrNumber, 89, kNumId, 0, kNumId},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "attr " << c.attr << " type " << c.type);
    tSegItemInfo it = Item(0, 2, c.attr, c.type);
    VocabIndex id;
    LogP extra;
    rule_path_word_id(words.dict, it, id, extra);
    EXPECT_EQ(id, c.id);
    EXPECT_EQ(extra, c.extra);
    EXPECT_EQ(rule_path_context_id(words.dict, it), c.ctx);
  }
}

// --- Scoring ----------------------------------------------------------------------

TEST_F(BestPathTest, OneWordSentenceIsScoredAgainstTheSentenceStart) {
  Bi(lm, kStart, words(ZHONG + GUO), -1.25f);
  Uni(lm, words(ZHONG + GUO), -3.0f);
  Reset(4);
  AddWord(0, 4, ZHONG + GUO);
  ASSERT_TRUE(Search());
  EXPECT_EQ(At(4, 0).weight, -1.25f);
  EXPECT_EQ(At(4, 0).nPreIndex, -1);
  EXPECT_EQ(lattice->m_nodes[4].MaxWeight, -1.25f);
  EXPECT_EQ(lattice->m_nodes[4].IdxMaxItemWeight, 0);
  EXPECT_EQ(wids[0], words(ZHONG + GUO));
  EXPECT_EQ(wids[1], kStart);
  EXPECT_EQ(wids[2], Vocab_None);

  ASSERT_TRUE(rule_path_set(*lattice, n));
  EXPECT_EQ(lattice->m_nodes[0].nNextLen, 4u);
  EXPECT_TRUE(lattice->m_nodes[0].bBest);
  EXPECT_TRUE(lattice->m_nodes[4].bBest);
  EXPECT_EQ(lattice->m_nodes[4].nNextLen, 1u);
  EXPECT_EQ(lattice->m_nodes[4].MaxItem, &At(4, 0));

  // LX_CUT: the first word weighs its extra weight alone.
  ASSERT_TRUE(Search(Vocab_None, true));
  EXPECT_EQ(At(4, 0).weight, 0.0f);
  Reset(6);
  AddWord(0, 6, ZHONG + GUO + REN, 89);
  ASSERT_TRUE(Search(Vocab_None, true));
  EXPECT_EQ(At(6, 0).weight, -0.5f);
  Bi(lm, kStart, words(ZHONG + GUO), -1.0f);  // the block's first word is scored
  ASSERT_TRUE(Search());
  EXPECT_EQ(At(6, 0).weight, -1.5f);
}

TEST_F(BestPathTest, UnambiguousItemsWeighMinusTen) {
  Uni(lm, kCharId, -2.0f);
  Bi(lm, kStart, kCharId, -1.5f);
  Reset(6);
  for (uint32_t p = 0; p < 6; p += 2) AddClass(p, 2, kAttrSingleChar);
  for (uint32_t p : {2u, 4u, 6u}) lattice->m_nodes[p].bnAmb = true;
  ASSERT_TRUE(Search());
  // The first word has no item at its begin: it is scored.
  EXPECT_EQ(At(2, 0).weight, -1.5f);
  EXPECT_EQ(At(4, 0).weight, -10.0f);
  EXPECT_EQ(At(4, 0).nPreIndex, 0);
  EXPECT_EQ(lattice->m_nodes[4].MaxWeight, -10.0f);
  EXPECT_EQ(At(6, 0).weight, -10.0f);

  // Without bnAmb at node 4 both transitions are scored.
  lattice->m_nodes[4].bnAmb = false;
  ASSERT_TRUE(Search());
  EXPECT_EQ(At(4, 0).weight, -3.5f);
  EXPECT_EQ(At(6, 0).weight, -5.5f);

  // A second item at node 4 makes it ambiguous too.
  lattice->m_nodes[4].bnAmb = true;
  AddClass(2, 2, kAttrNumber, kTypeFactoid);
  Uni(lm, kNumId, -4.0f);
  ASSERT_TRUE(Search());
  EXPECT_EQ(At(4, 0).weight, -3.5f);
  EXPECT_EQ(At(4, 1).weight, -5.5f);
}

TEST_F(BestPathTest, GeshuDirectlyAfterANumberScoresMinus99) {
  const VocabIndex geshu = words(GE + SHU);
  Bi(lm, kStart, kNumId, -1.0f);
  Bi(lm, kNumId, geshu, -0.125f);
  Bi(lm, kNumId, words(GE), -3.0f);
  Bi(lm, words(GE), words(SHU), -3.0f);
  Reset(6);
  AddClass(0, 2, kAttrNumber, kTypeFactoid);  // 三
  AddWord(2, 2, GE);
  AddWord(2, 4, GE + SHU);
  AddWord(4, 2, SHU);

  ASSERT_TRUE(Search(geshu));
  EXPECT_EQ(At(6, 0).weight, -100.0f);
  EXPECT_EQ(At(6, 1).weight, -7.0f);
  ASSERT_TRUE(rule_path_set(*lattice, n));
  auto path = Path();
  ASSERT_EQ(path.size(), 3u);
  EXPECT_EQ(path[1].second, &At(4, 0));  // 个
  EXPECT_EQ(path[2].second, &At(6, 1));  // 数

  // Without the word in the dictionary the model decides: 个数.
  Reset(6);
  AddClass(0, 2, kAttrNumber, kTypeFactoid);
  AddWord(2, 2, GE);
  AddWord(2, 4, GE + SHU);
  AddWord(4, 2, SHU);
  ASSERT_TRUE(Search(Vocab_None));
  EXPECT_EQ(At(6, 0).weight, -1.125f);
  ASSERT_TRUE(rule_path_set(*lattice, n));
  EXPECT_EQ(Path().size(), 2u);

  // After anything but a number 个数 is scored by the model.
  Bi(lm, kStart, kCharId, -1.0f);
  Bi(lm, kCharId, geshu, -0.25f);
  Reset(6);
  AddClass(0, 2, kAttrSingleChar);
  AddWord(2, 4, GE + SHU);
  ASSERT_TRUE(Search(geshu));
  EXPECT_EQ(At(6, 0).weight, -1.25f);
}

TEST_F(BestPathTest, TwinOfType88IsScoredWithTheSecondBlock) {
  Bi(lm, kStart, words(DA + XUE), -1.0f);      // first block: 大学 + 生, -0.25
  Bi(lm, kStart, words(DA), -1.0f);            // second block: 大 + 学生, -0.75
  Bi(lm, words(SHENG), words(REN), -2.0f);     // 人 after 生
  Bi(lm, words(XUE + SHENG), words(REN), -0.25f);  // 人 after 学生
  Reset(8);
  AddWord(0, 6, DA + XUE + SHENG, 88);
  AddWord(0, 6, DA + XUE + SHENG, -88);
  AddWord(6, 2, REN);
  ASSERT_TRUE(Search());
  EXPECT_EQ(At(6, 0).weight, -1.25f);
  EXPECT_EQ(At(6, 1).weight, -1.75f);
  EXPECT_EQ(lattice->m_nodes[6].IdxMaxItemWeight, 0);
  // Through the twin: -0.25 + -1.75 = -2.0 beats -2.0 + -1.25.
  EXPECT_EQ(At(8, 0).weight, -2.0f);
  EXPECT_EQ(At(8, 0).nPreIndex, 1);
  ASSERT_TRUE(rule_path_set(*lattice, n));
  EXPECT_EQ(lattice->m_nodes[6].MaxItem, &At(6, 1));
  EXPECT_EQ(lattice->m_nodes[6].IdxMaxItemWeight, 1);
  EXPECT_EQ(lattice->m_nodes[6].MaxWeight, 0.0f);
  EXPECT_EQ(lattice->m_nodes[0].nNextLen, 6u);
  EXPECT_EQ(lattice->m_nodes[6].nNextLen, 2u);
}

TEST_F(BestPathTest, EqualTotalsKeepTheLaterPredecessorAndTheEarlierItem) {
  Bi(lm, kStart, words(ZHONG), -1.0f);
  Bi(lm, kStart, kCharId, -1.0f);
  Bi(lm, words(ZHONG), words(GUO), -0.5f);
  Bi(lm, kCharId, words(GUO), -0.5f);
  Reset(4);
  AddWord(0, 2, ZHONG);
  AddClass(0, 2, kAttrSingleChar);
  AddWord(2, 2, GUO);
  ASSERT_TRUE(Search());
  EXPECT_EQ(At(2, 0).weight, At(2, 1).weight);
  EXPECT_EQ(lattice->m_nodes[2].IdxMaxItemWeight, 0);  // earlier item of equal weight
  EXPECT_EQ(At(4, 0).nPreIndex, 1);                     // later predecessor of equal total
  ASSERT_TRUE(rule_path_set(*lattice, n));
  EXPECT_EQ(lattice->m_nodes[2].MaxItem, &At(2, 1));
}

TEST_F(BestPathTest, PredecessorsThatCannotWinAreNotScored) {
  CountingNgram counting;
  Uni(counting, kCharId, -0.5f);
  Reset(4);
  AddClass(0, 2, kAttrSingleChar);
  AddClass(0, 2, kAttrNumber, kTypeFactoid);
  AddClass(2, 2, kAttrSingleChar);
  // Weights at node 2: -0.5 and -99 (a number the model does not know): the
  // second cannot beat -0.5 + -0.5 and is skipped.
  ASSERT_TRUE(rule_path_search(*lattice, n, words.dict, counting, Vocab_None, false, nullptr));
  EXPECT_EQ(counting.calls, 3);
  EXPECT_EQ(At(4, 0).weight, -1.0f);

  // In the other order both are scored.
  Reset(4);
  AddClass(0, 2, kAttrNumber, kTypeFactoid);
  AddClass(0, 2, kAttrSingleChar);
  AddClass(2, 2, kAttrSingleChar);
  counting.calls = 0;
  ASSERT_TRUE(rule_path_search(*lattice, n, words.dict, counting, Vocab_None, false, nullptr));
  EXPECT_EQ(counting.calls, 4);
  EXPECT_EQ(At(4, 0).weight, -1.0f);
  EXPECT_EQ(At(4, 0).nPreIndex, 1);
}

TEST_F(BestPathTest, ItemIndexesAbove127SurviveTheSignedPredecessorField) {
  Reset(4);
  // 200 items at node 2 with ids of their own; the one at index 180 is best.
  for (uint32_t t = 0; t < 200; ++t) {
    ASSERT_NE(lattice->add_item(2, Item(0, 2, 20000001 + t, kTypeFactoid), 202), nullptr);
    Uni(lm, 20000000 + t, t == 180 ? -0.5f : -3.0f);
  }
  Uni(lm, kCharId, -1.0f);
  AddClass(2, 2, kAttrSingleChar);
  ASSERT_TRUE(Search());
  EXPECT_EQ(lattice->m_nodes[2].IdxMaxItemWeight, 180);
  EXPECT_EQ((uint8_t)At(4, 0).nPreIndex, 180);
  ASSERT_TRUE(rule_path_set(*lattice, n));
  EXPECT_EQ(lattice->m_nodes[2].MaxItem, &At(2, 180));
  EXPECT_EQ(lattice->m_nodes[2].IdxMaxItemWeight, 180);
}

// --- Trace-back on odd lattices -------------------------------------------------------

TEST_F(BestPathTest, NoPathToTheEndMarksNothing) {
  Uni(lm, kCharId, -1.0f);
  Reset(4);
  AddClass(2, 2, kAttrSingleChar);  // nothing ends at node 2
  ASSERT_TRUE(Search());
  EXPECT_EQ(At(4, 0).weight, LogP_Zero);
  EXPECT_EQ(lattice->m_nodes[4].IdxMaxItemWeight, kNoItem);
  EXPECT_FALSE(rule_path_set(*lattice, n));
  EXPECT_EQ(lattice->m_nodes[0].nNextLen, 0u);
  EXPECT_FALSE(lattice->m_nodes[4].bBest);
  EXPECT_EQ(lattice->m_nodes[4].MaxItem, nullptr);

  // No item at all at the end node.
  Reset(4);
  AddClass(0, 2, kAttrSingleChar);
  ASSERT_TRUE(Search());
  EXPECT_FALSE(rule_path_set(*lattice, n));
  EXPECT_EQ(lattice->m_nodes[0].nNextLen, 0u);
}

TEST_F(BestPathTest, BrokenChainIsRefusedBeforeAnythingIsMarked) {
  Uni(lm, kCharId, -1.0f);
  Reset(6);
  for (uint32_t p = 0; p < 6; p += 2) AddClass(p, 2, kAttrSingleChar);
  ASSERT_TRUE(Search());
  At(6, 0).nPreIndex = 3;  // node 4 has one item
  EXPECT_FALSE(rule_path_set(*lattice, n));
  for (uint32_t p = 1; p <= 6; ++p) EXPECT_FALSE(lattice->m_nodes[p].bBest) << p;
  EXPECT_EQ(lattice->m_nodes[0].nNextLen, 0u);

  At(6, 0).nPreIndex = 0;
  At(4, 0).length = 3;  // no longer ends at its node
  EXPECT_FALSE(rule_path_set(*lattice, n));
  At(4, 0).length = 2;
  ASSERT_TRUE(rule_path_set(*lattice, n));
  EXPECT_EQ(Path().size(), 3u);
}

TEST_F(BestPathTest, SentenceLengthOutsideTheLatticeIsRefused) {
  Reset(2);
  AddClass(0, 2, kAttrSingleChar);
  EXPECT_FALSE(rule_path_search(*lattice, 0, words.dict, lm, Vocab_None, false, nullptr));
  EXPECT_FALSE(rule_path_search(*lattice, CLattice::kMaxNodes, words.dict, lm, Vocab_None, false,
                                nullptr));
  EXPECT_FALSE(rule_path_set(*lattice, 0));
  EXPECT_FALSE(rule_path_set(*lattice, CLattice::kMaxNodes));
}

TEST_F(BestPathTest, ItemBeginningAtOrAfterItsNodeIsIgnored) {
  Uni(lm, kCharId, -1.0f);
  Reset(4);
  AddClass(0, 2, kAttrSingleChar);
  AddClass(2, 2, kAttrSingleChar);
  ASSERT_NE(lattice->add_item(4, Item(4, 0, kAttrSingleChar, kTypeSingleChar), 8), nullptr);
  ASSERT_TRUE(Search());
  EXPECT_EQ(At(4, 1).weight, LogP_Zero);
  EXPECT_EQ(lattice->m_nodes[4].IdxMaxItemWeight, 0);
  EXPECT_TRUE(rule_path_set(*lattice, n));
}

// --- With the producer ------------------------------------------------------------

TEST_F(BestPathTest, ProducedLatticeAvoidsGeshuAfterANumber) {
  const VocabIndex geshu =
      (VocabIndex)words.dict.mBasicDict.exactMatchSearch<int>((GE + SHU).c_str());
  ASSERT_EQ(geshu, words(GE + SHU));
  Bi(lm, kNumId, geshu, -0.125f);
  Uni(lm, words(GE), -2.0f);
  Uni(lm, words(SHU), -2.0f);
  Uni(lm, kNumId, -1.0f);
  CFactoid factoid;
  auto producer = std::make_unique<CLatticeProducer>();
  producer->set_resource(lattice.get(), &words.dict, &factoid);
  const std::string s = SAN + GE + SHU;
  n = (uint32_t)s.size();

  for (bool known : {true, false}) {
    ASSERT_TRUE(producer->build_lattice(s.data(), n));
    ASSERT_TRUE(Search(known ? geshu : Vocab_None));
    ASSERT_TRUE(rule_path_set(*lattice, n));
    std::vector<uint32_t> ends;
    for (const auto& w : Path()) ends.push_back(w.first);
    EXPECT_EQ(ends, known ? (std::vector<uint32_t>{2, 4, 6}) : (std::vector<uint32_t>{2, 6}));
  }
}

// --- Against an exhaustive search ---------------------------------------------------------

// Scores every path from node 0 to node n the way the search defines a
// path's weight, without dynamic programming or pruning.
class Exhaustive {
 public:
  Exhaustive(CLattice& l, uint32_t n, const CBasicDict& d, const Ngram& lm, VocabIndex geshu,
             bool cut)
      : l_(l), n_(n), d_(d), lm_(lm), geshu_(geshu), cut_(cut) {}

  LogP step(const tSegItemInfo* prev, const tSegItemInfo& it, uint32_t end, LogP acc) const {
    const tNodeInfo& node = l_.m_nodes[end];
    const tNodeInfo& b = l_.m_nodes[it.begin_pos];
    if (node.bnAmb && b.bnAmb && node.ItemsNum == 1 && b.ItemsNum == 1) return -10.0f;
    VocabIndex w;
    LogP x;
    rule_path_word_id(d_, it, w, x);
    VocabIndex ctx[2] = {kRulePathStartContext, Vocab_None};
    if (prev == nullptr) {
      if (cut_) return x;
      return lm_.word_prob(w, ctx, 1, nullptr) + x;
    }
    ctx[0] = rule_path_context_id(d_, *prev);
    const LogP s = (ctx[0] == kNumId && w == geshu_) ? -99.0f : lm_.word_prob(w, ctx, 1, nullptr);
    return s + acc + x;
  }

  void run() { walk(0, nullptr, 0); }

  LogP best = LogP_Zero;
  int ways = 0;  // complete paths reaching `best`
  std::vector<const tSegItemInfo*> path;

 private:
  void walk(uint32_t pos, const tSegItemInfo* prev, LogP acc) {
    if (pos == n_) {
      if (ways == 0 || acc > best) {
        best = acc;
        ways = 1;
        path = cur_;
      } else if (acc == best) {
        ++ways;
      }
      return;
    }
    for (uint32_t k = pos + 1; k <= n_; ++k) {
      for (uint32_t j = 0; j < l_.m_nodes[k].ItemsNum; ++j) {
        const tSegItemInfo& it = *l_.item(k, j);
        if (it.begin_pos != pos) continue;
        cur_.push_back(&it);
        walk(k, &it, step(prev, it, k, acc));
        cur_.pop_back();
      }
    }
  }

  CLattice& l_;
  uint32_t n_;
  const CBasicDict& d_;
  const Ngram& lm_;
  VocabIndex geshu_;
  bool cut_;
  std::vector<const tSegItemInfo*> cur_;
};

TEST_F(BestPathTest, SearchAgreesWithExhaustiveScoringOnRandomLattices) {
  std::mt19937 rng(2024);
  auto pick = [&](int k) { return (int)(rng() % (unsigned)k); };
  // Values in eighths keep sums exact, so that ties really happen.
  auto eighths = [&](int lo, int hi) { return (LogP)(-(lo + pick(hi - lo + 1))) / 8.0f; };

  // What an item can be.
  struct Kind {
    uint32_t attr;
    int type;
  };
  std::vector<Kind> kinds = {{kAttrSingleChar, kTypeSingleChar}, {kAttrSingleChar, kTypeFactoid},
                             {kAttrNumber, kTypeFactoid},        {kAttrNumber, kTypeFactoid},
                             {kAttrAlnum, kTypeFactoid}};
  for (const std::string& w : {ZHONG, GUO, REN, ZHONG + GUO, GE, SHU, GE + SHU, DA + XUE, SHENG})
    kinds.push_back({words(w) + 1, 0});
  kinds.push_back({words(ZHONG + GUO + REN) + 1, 89});
  kinds.push_back({words(ZHONG + GUO + REN) + 1, 0});
  kinds.push_back({words(DA + XUE + SHENG) + 1, 88});
  kinds.push_back({words(DA + XUE + SHENG) + 1, -88});
  kinds.push_back({words(DA + XUE + SHENG) + 1, 0});

  std::vector<VocabIndex> ids = {kCharId, kNumId, kAlnumId};
  for (VocabIndex i = 0; i < words.dict.mWordNum; ++i) ids.push_back(i);

  int unique = 0, tied = 0, no_path = 0;
  for (int round = 0; round < 3000; ++round) {
    // The model.
    Ngram model(3);
    model.LogP_unk_word = eighths(24, 40);
    for (VocabIndex w : ids)
      if (pick(10) < 7) Uni(model, w, eighths(4, 32));
    std::vector<VocabIndex> ctxs = ids;
    ctxs.push_back(kStart);
    for (VocabIndex c : ctxs) {
      if (pick(10) < 4) continue;
      Bow(model, c, eighths(0, 8));
      for (VocabIndex w : ids)
        if (pick(10) < 3) Bi(model, c, w, eighths(1, 24));
    }

    // The lattice: with a character item at every node, or with dead ends
    // (and then without bnAmb, which only the producer sets consistently).
    const bool dead_ends = pick(4) == 0;
    n = 1 + pick(9);
    lattice->clear(n);
    for (uint32_t k = 1; k <= n; ++k) {
      const int extra = pick(3);
      for (int e = -1; e < extra; ++e) {
        uint32_t b = k - 1;
        if (e >= 0 || dead_ends) b = (uint32_t)pick((int)k);
        if (e < 0 && dead_ends && k < n && pick(3) == 0) continue;
        const Kind& kd = kinds[pick((int)kinds.size())];
        ASSERT_NE(lattice->add_item(k, Item(b, k - b, kd.attr, kd.type), 8), nullptr);
      }
      if (!dead_ends && pick(10) < 3) lattice->m_nodes[k].bnAmb = true;
    }
    const bool cut = pick(4) == 0;
    const VocabIndex geshu = pick(2) ? words(GE + SHU) : Vocab_None;

    Exhaustive ref(*lattice, n, words.dict, model, geshu, cut);
    ref.run();
    ASSERT_TRUE(rule_path_search(*lattice, n, words.dict, model, geshu, cut, wids.data()));
    const bool marked = rule_path_set(*lattice, n);
    if (ref.ways == 0) {
      ++no_path;
      EXPECT_FALSE(marked) << round;
      EXPECT_EQ(lattice->m_nodes[0].nNextLen, 0u);
      continue;
    }
    ASSERT_TRUE(marked) << round;
    EXPECT_EQ(lattice->m_nodes[n].MaxWeight, ref.best) << round;

    // The marked path tiles the sentence and scores the best total.
    std::vector<const tSegItemInfo*> got;
    uint32_t pos = 0;
    LogP acc = 0;
    const tSegItemInfo* prev = nullptr;
    for (const auto& w : Path()) {
      ASSERT_EQ(w.second->begin_pos, pos);
      acc = ref.step(prev, *w.second, w.first, acc);
      prev = w.second;
      pos = w.first;
      got.push_back(w.second);
    }
    ASSERT_EQ(pos, n);
    EXPECT_EQ(acc, ref.best) << round;
    if (ref.ways == 1) {
      ++unique;
      EXPECT_EQ(got, ref.path) << round;
    } else {
      ++tied;
    }
  }
  // The random cases cover every branch of the comparison.
  EXPECT_GT(unique, 500);
  EXPECT_GT(tied, 100);
  EXPECT_GT(no_path, 10);
}

}  // namespace
