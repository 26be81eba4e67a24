// The rule-based best path: identifiers and rule blocks, tie-breaking,
// predecessor indexes above 127, refused chains, and agreement with an
// exhaustive search over all paths of random lattices.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "dict/BasicDict.h"
#include "dict/BasicDictWriter.h"
#include "lm/Ngram.h"
#include "seg/best_path.h"
#include "seg/lattice.h"
#include "support/test_dict.h"

namespace {

// 中 国 人 大 学 生 个 数
const std::string ZHONG = "\xD6\xD0", GUO = "\xB9\xFA", REN = "\xC8\xCB", DA = "\xB4\xF3",
                  XUE = "\xD1\xA7", SHENG = "\xC9\xFA", GE = "\xB8\xF6", SHU = "\xCA\xFD";

const VocabIndex kCharId = kAttrSingleChar - 1, kNumId = kAttrNumber - 1, kAlnumId = kAttrAlnum - 1;

// Plain words, a type-89 word 中国人 (中国 + 人, -0.5) and a type-88 word
// 大学生 (大学 + 生, -0.25; or 大 + 学生, -0.75).
class Words {
 public:
  Words() {
    for (const std::string& w : {ZHONG, GUO, REN, ZHONG + GUO, DA, XUE, SHENG, DA + XUE,
                                  XUE + SHENG, GE, SHU, GE + SHU})
      add(w, 0, {}, 1);
    add(ZHONG + GUO + REN, 89, BasicDictRuleBlock({ZHONG + GUO, REN}, -0.5f), 2);
    std::vector<rule_value_t> rule = BasicDictRuleBlock({DA + XUE, SHENG}, -0.25f);
    const std::vector<rule_value_t> second = BasicDictRuleBlock({DA, XUE + SHENG}, -0.75f);
    rule.insert(rule.end(), second.begin(), second.end());
    add(DA + XUE + SHENG, 88, rule, 4);
    EXPECT_TRUE(files_.write_and_load(dict)) << files_.error();
  }
  void add(const std::string& w, uint16_t type, const std::vector<rule_value_t>& rule, size_t tags) {
    basic_dict_entry_t e;
    e.word = w, e.name_entity = type, e.pos = std::vector<prop_item_t>(tags, {1, -0.5f});
    if (!rule.empty()) e.rule = rule;
    EXPECT_TRUE(files_.add(e));
  }

  VocabIndex operator()(const std::string& w) const { return (VocabIndex)files_.index_of(w); }

  CBasicDict dict;

 private:
  lxtest::TestDict files_{"lx_bestpath_"};
};

// The model node of context `ctx` (Vocab_None: the unigrams).
BOnode& Node(Ngram& lm, VocabIndex ctx) {
  VocabIndex key[] = {ctx, Vocab_None};
  return lm.contexts.insert_trie(ctx == Vocab_None ? key + 1 : key)->value();
}

tSegItemInfo Item(uint32_t begin, uint32_t length, uint32_t attr, int type) {
  return tSegItemInfo{begin, length, type, 0, 50, 0, false, 0, 0, attr};
}

class BestPathTest : public testing::Test {
 protected:
  // The marked words as (end node, item), walked forward from node 0.
  std::vector<std::pair<uint32_t, const tSegItemInfo*>> Path() {
    std::vector<std::pair<uint32_t, const tSegItemInfo*>> out;
    uint32_t p = (uint32_t)lattice->m_nodes[0].nNextLen;
    while (p != 0 && p <= n && out.size() <= n) {
      out.push_back({p, lattice->m_nodes[p].MaxItem});
      p += (uint32_t)lattice->m_nodes[p].nNextLen;
    }
    return out;
  }

  Words words;
  std::unique_ptr<CLattice> lattice = std::make_unique<CLattice>();
  uint32_t n = 0;
};

TEST_F(BestPathTest, IdentifiersFollowTheRuleBlocks) {
  struct Case { uint32_t attr; int type; VocabIndex id; LogP extra; VocabIndex ctx; };
  const uint32_t r89 = words(ZHONG + GUO + REN) + 1, r88 = words(DA + XUE + SHENG) + 1;
  const uint32_t plain = words(ZHONG + GUO) + 1;
  const Case cases[] = {
      {plain, 0, plain - 1, 0, plain - 1},
      {plain, 89, plain - 1, 0, plain - 1},  // a rule type without a rule block
      {r89, 89, words(ZHONG + GUO), -0.5f, words(REN)},
      {r89, 0, words(ZHONG + GUO), -0.5f, words(REN)},  // m_NameEntity 89 whatever the type
      {r88, 88, words(DA + XUE), -0.25f, words(SHENG)},
      {r88, -88, words(DA), -0.75f, words(XUE + SHENG)},
      {r88, 0, r88 - 1, 0, words(SHENG)},  // m_NameEntity 88: the context only
      {kAttrSingleChar, kItemSingleChar, kCharId, 0, kCharId},
      {kAttrNumber, kItemFactoid, kNumId, 0, kNumId},
      {kAttrAlnum, kItemFactoid, kAlnumId, 0, kAlnumId},
      {kAttrNumber, 89, kNumId, 0, kNumId},  // class codes are never words
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

// --- Against an exhaustive search ---------------------------------------------------------

// Scores every path from node 0 to node n the way the search defines a
// path's weight, without dynamic programming or pruning.
struct Exhaustive {
  LogP step(const tSegItemInfo* prev, const tSegItemInfo& it, uint32_t end, LogP acc) const {
    const tNodeInfo& node = l.m_nodes[end];
    const tNodeInfo& b = l.m_nodes[it.begin_pos];
    if (node.bnAmb && b.bnAmb && node.ItemsNum == 1 && b.ItemsNum == 1) return -10.0f;
    VocabIndex w;
    LogP x;
    rule_path_word_id(d, it, w, x);
    VocabIndex ctx[2] = {kRulePathStartContext, Vocab_None};
    if (prev == nullptr) return cut ? x : lm.word_prob(w, ctx, 1, nullptr) + x;
    ctx[0] = rule_path_context_id(d, *prev);
    const LogP s = (ctx[0] == kNumId && w == geshu) ? -99.0f : lm.word_prob(w, ctx, 1, nullptr);
    return s + acc + x;
  }
  void walk(uint32_t pos, const tSegItemInfo* prev, LogP acc) {
    if (pos == n) {
      if (ways == 0 || acc > best) best = acc, ways = 1, path = cur;
      else if (acc == best) ++ways;
      return;
    }
    for (uint32_t k = pos + 1; k <= n; ++k) {
      for (uint32_t j = 0; j < l.m_nodes[k].ItemsNum; ++j) {
        const tSegItemInfo& it = *l.item(k, j);
        if (it.begin_pos != pos) continue;
        cur.push_back(&it);
        walk(k, &it, step(prev, it, k, acc));
        cur.pop_back();
      }
    }
  }

  CLattice& l;
  uint32_t n;
  const CBasicDict& d;
  const Ngram& lm;
  VocabIndex geshu;
  bool cut;
  LogP best = LogP_Zero;
  int ways = 0;  // complete paths reaching `best`
  std::vector<const tSegItemInfo*> path, cur;
};

TEST_F(BestPathTest, SearchAgreesWithExhaustiveScoringOnRandomLattices) {
  std::mt19937 rng(2024);
  auto pick = [&](int k) { return (int)(rng() % (unsigned)k); };
  // Values in eighths keep sums exact, so that ties really happen.
  auto eighths = [&](int lo, int hi) { return (LogP)(-(lo + pick(hi - lo + 1))) / 8.0f; };

  // What an item can be: {attr, type}.
  std::vector<std::pair<uint32_t, int>> kinds = {{kAttrSingleChar, kItemSingleChar}, {kAttrSingleChar, kItemFactoid},
                             {kAttrNumber, kItemFactoid},        {kAttrNumber, kItemFactoid},
                             {kAttrAlnum, kItemFactoid}};
  for (const std::string& w : {ZHONG, GUO, REN, ZHONG + GUO, GE, SHU, GE + SHU, DA + XUE, SHENG})
    kinds.push_back({words(w) + 1, 0});
  for (int type : {89, 0}) kinds.push_back({words(ZHONG + GUO + REN) + 1, type});
  for (int type : {88, -88, 0}) kinds.push_back({words(DA + XUE + SHENG) + 1, type});

  std::vector<VocabIndex> ids = {kCharId, kNumId, kAlnumId};
  for (VocabIndex i = 0; i < words.dict.mWordNum; ++i) ids.push_back(i);

  int unique = 0, tied = 0, no_path = 0;
  for (int round = 0; round < 3000; ++round) {
    // The model.
    Ngram model(3);
    model.LogP_unk_word = eighths(24, 40);
    for (VocabIndex w : ids)
      if (pick(10) < 7) *Node(model, Vocab_None).probs.insert(w) = eighths(4, 32);
    std::vector<VocabIndex> ctxs = ids;
    ctxs.push_back(kRulePathStartContext);
    for (VocabIndex c : ctxs) {
      if (pick(10) < 4) continue;
      Node(model, c).bow = eighths(0, 8);
      for (VocabIndex w : ids)
        if (pick(10) < 3) *Node(model, c).probs.insert(w) = eighths(1, 24);
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
        const auto& kd = kinds[pick((int)kinds.size())];
        ASSERT_NE(lattice->add_item(k, Item(b, k - b, kd.first, kd.second), 8), nullptr);
      }
      if (!dead_ends && pick(10) < 3) lattice->m_nodes[k].bnAmb = true;
    }
    const bool cut = pick(4) == 0;
    const VocabIndex geshu = pick(2) ? words(GE + SHU) : Vocab_None;

    Exhaustive ref{*lattice, n, words.dict, model, geshu, cut, LogP_Zero, 0, {}, {}};
    ref.walk(0, nullptr, 0);
    ASSERT_TRUE(rule_path_search(*lattice, n, words.dict, model, geshu, cut, nullptr));
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
    // Inner path nodes name their word and are reset to weight 0.
    for (size_t k = 0; k + 1 < got.size(); ++k) {
      const tNodeInfo& node = lattice->m_nodes[got[k + 1]->begin_pos];
      EXPECT_EQ(node.MaxWeight, 0.0f) << round;
      EXPECT_EQ(lattice->item(got[k + 1]->begin_pos, node.IdxMaxItemWeight), got[k]) << round;
    }
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
