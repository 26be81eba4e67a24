// The ambiguity passes over the chosen path: rule-word splitting, longer
// words over pieces, fractions, numbers with a unit, user rules and the
// secondary lexicon.  Most lattices are built and their paths chosen by hand;
// the last tests run the producer and the best path on small dictionaries
// and random text.
#include "seg/ambiguity.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/uconv.h"
#include "dict/BasicDict.h"
#include "dict/BasicDictWriter.h"
#include "dict/CustomDict.h"
#include "dict/CustomDictWriter.h"
#include "dict/RuleDict.h"
#include "dict/RuleDictWriter.h"
#include "lm/Ngram.h"
#include "seg/Factoid.h"
#include "seg/best_path.h"
#include "seg/char_class.h"
#include "seg/lattice.h"
#include "seg/lattice_producer.h"
#include "support/gbk_literals.h"
#include "support/test_dict.h"

namespace {

using lxtest::G;
using lxtest::U;

const uint32_t kChar = kAttrSingleChar;

class TempDir : public lxtest::TempDir {
 public:
  TempDir() : lxtest::TempDir("lx_amb_") { EXPECT_TRUE(ok()); }
};

// A basic dictionary written with the writer and loaded back.  Words are
// given in UTF-8.
class TestDict {
 public:
  void add(const std::string& word, uint16_t type = 0) {
    basic_dict_entry_t e;
    e.word = G(word);
    e.name_entity = type;
    e.pos = std::vector<prop_item_t>{{1, -0.5f}};
    entries_.push_back(e);
  }
  // A rule word: type 89 with one block, 88 with two.
  void add_rule(const std::string& word, uint16_t type,
                const std::vector<std::pair<std::vector<std::string>, LogP>>& blocks) {
    basic_dict_entry_t e;
    e.word = G(word);
    e.name_entity = type;
    std::vector<rule_value_t> rule;
    std::vector<prop_item_t> pos;
    for (const auto& b : blocks) {
      std::vector<std::string> parts;
      for (const std::string& s : b.first) parts.push_back(G(s));
      std::vector<rule_value_t> r = BasicDictRuleBlock(parts, b.second);
      rule.insert(rule.end(), r.begin(), r.end());
      for (size_t k = 0; k < b.first.size(); ++k) pos.push_back({1, -0.5f});
    }
    if (pos.empty()) pos.push_back({1, -0.5f});
    e.rule = rule;
    e.pos = pos;
    entries_.push_back(e);
  }

  std::unique_ptr<CBasicDict> load() {
    for (const basic_dict_entry_t& e : entries_) EXPECT_TRUE(files_.add(e)) << U(e.word);
    auto dict = std::make_unique<CBasicDict>();
    EXPECT_TRUE(files_.write_and_load(*dict)) << files_.error();
    return dict;
  }

  // Word index of a UTF-8 word.
  uint32_t idx(const std::string& word) const {
    long i = files_.index_of(G(word));
    EXPECT_GE(i, 0) << word;
    return static_cast<uint32_t>(i);
  }
  uint32_t attr(const std::string& word) const { return idx(word) + 1; }

 private:
  lxtest::TestDict files_{"lx_amb_"};
  std::vector<basic_dict_entry_t> entries_;
};

// Collects what a piece of code writes to stderr.
class StderrCapture {
 public:
  StderrCapture() { testing::internal::CaptureStderr(); }
  std::string get() {
    if (!done_) {
      done_ = true;
      text_ = testing::internal::GetCapturedStderr();
    }
    return text_;
  }
  ~StderrCapture() { get(); }

 private:
  bool done_ = false;
  std::string text_;
};

// The dictionary of the hand-built tests.
void AddStandardWords(TestDict& d) {
  for (const char* w :
       {"中国", "人民", "中", "国人", "民", "大学", "生", "大中", "国", "人", "分之"})
    d.add(w);
  d.add_rule("中国人民", 88, {{{"中国", "人民"}, -1.0f}, {{"中", "国人", "民"}, -2.0f}});
  d.add_rule("大学生", 89, {{{"大学", "生"}, -1.0f}});
  d.add_rule("大中国", 89, {{{"大中", "国"}, -1.0f}});
  d.add_rule("国民", 89, {{{}, -1.0f}});                         // block count 0
  d.add_rule("民生", 88, {{{}, -1.0f}, {{"民", "生"}, -1.0f}});  // first block empty
  d.add("学生", 89);                                             // no rule block at all
  d.add_rule("生民", 89, {{{"生"}, -1.0f}});                     // sub-words shorter than the word
}

class AmbTest : public testing::Test {
 protected:
  AmbTest() : lat_(new CLattice) {
    AddStandardWords(words_);
    dict_ = words_.load();
    chs_ = create_chs_array();
    fenzhi_ = words_.attr("分之");
  }
  ~AmbTest() override { destroy_chs_array(chs_); }

  // Starts a new sentence (UTF-8) and clears the lattice.
  void Reset(const std::string& utf8) { ResetRaw(G(utf8)); }
  void ResetRaw(const std::string& gbk) {
    text_ = gbk;
    n_ = (uint32_t)text_.size();
    lat_->clear(n_);
  }

  // Adds an item over bytes [b, e); returns its index in node e.
  int Add(uint32_t b, uint32_t e, int type, uint32_t attr, uint8_t pos = 0, bool bcomb = false,
          bool rule_mark = true) {
    tSegItemInfo it{};
    it.begin_pos = b;
    it.length = e - b;
    it.type = type;
    it.nAttributeIdx = attr;
    it.posIndex = pos;
    it.bcomb = bcomb;
    it.perIdx = 50;
    it.nPreIndex = 3;  // something the passes reset
    tSegItemInfo* s = lat_->add_item(e, it, 8);
    EXPECT_NE(s, nullptr);
    if (rule_mark && (type == 88 || type == 89)) lat_->m_nodes[e].bRule = true;
    return lat_->m_nodes[e].ItemsNum - 1;
  }
  int Char(uint32_t b, uint32_t e, uint8_t pos = 0) {
    return Add(b, e, kTypeSingleChar, kChar, pos);
  }

  // Marks the path: its words as (end node, item index), left to right.
  void Path(const std::vector<std::pair<uint32_t, int>>& words) {
    for (const auto& w : words) {
      tNodeInfo& node = lat_->m_nodes[w.first];
      tSegItemInfo* it = lat_->item(w.first, (uint32_t)w.second);
      node.bBest = true;
      node.MaxItem = it;
      node.IdxMaxItemWeight = (uint8_t)w.second;
      lat_->m_nodes[it->begin_pos].nNextLen = it->length;
    }
    lat_->m_nodes[n_].nNextLen = 1;
  }

  // The path walked from node 0, words in UTF-8 joined by "|".  Checks that
  // the walk tiles the sentence, that every word is its node's chosen item
  // at IdxMaxItemWeight, and that the path nodes are marked.
  std::string Seg() const {
    std::string out;
    uint32_t covered = 0;
    size_t p = lat_->m_nodes[0].nNextLen;
    for (uint32_t steps = 0; p <= n_; ++steps) {
      if (steps > n_) {
        ADD_FAILURE() << "walk does not end";
        return out;
      }
      const tNodeInfo& node = lat_->m_nodes[p];
      const tSegItemInfo* it = node.MaxItem;
      if (it == nullptr) {
        ADD_FAILURE() << "no chosen item at node " << p;
        return out;
      }
      EXPECT_EQ(it->begin_pos, covered) << "at node " << p;
      EXPECT_EQ(it->begin_pos + it->length, p);
      EXPECT_TRUE(node.bBest) << p;
      EXPECT_TRUE(node.bBegin) << p;
      EXPECT_LT(node.IdxMaxItemWeight, node.ItemsNum) << p;
      if (node.IdxMaxItemWeight < node.ItemsNum) {
        EXPECT_EQ(lat_->item((uint32_t)p, node.IdxMaxItemWeight), it) << p;
      }
      if (!out.empty()) out += "|";
      out += U(text_.substr(it->begin_pos, it->length));
      covered = (uint32_t)p;
      if (node.nNextLen == 0) {
        ADD_FAILURE() << "nNextLen 0 at node " << p;
        return out;
      }
      p += node.nNextLen;
    }
    EXPECT_EQ(covered, n_);
    EXPECT_EQ(lat_->m_nodes[n_].nNextLen, 1u);
    EXPECT_EQ(lat_->m_nodes[0].ItemsNum, 0) << "the sentence start holds no items";
    return out;
  }

  tSegItemInfo& Chosen(uint32_t p) const { return *lat_->m_nodes[p].MaxItem; }
  tNodeInfo& Node(uint32_t p) const { return lat_->m_nodes[p]; }

  CAmbiguityResolver Resolver(bool bpms = false) {
    CAmbiguityResolver r(*lat_, dict_.get(), rules_.get(), seclex_.get(), chs_, fenzhi_, bpms);
    r.set_sentence(text_.data(), n_);
    return r;
  }

  // Loads user rules (string in UTF-8, byte lengths).
  void LoadRules(const std::vector<std::pair<std::string, std::vector<int>>>& rules,
                 bool gbk = false) {
    CRuleDictWriter w;
    for (const auto& r : rules) ASSERT_TRUE(w.add(gbk ? r.first : G(r.first), r.second)) << r.first;
    const std::string path = dir_.file("UserAmbRule");
    ASSERT_TRUE(w.write(path.c_str()));
    rules_ = std::make_unique<CRuleDict>();
    ASSERT_TRUE(rules_->loadDict(path.c_str()));
  }

  // Loads a secondary lexicon.  Record 0 goes to a placeholder word (the
  // pass never uses record 0), the others to `entries` in byte order.
  void LoadSeclex(std::vector<seclex_entry_t> entries) {
    entries.push_back({"!!", 33});  // sorts first: record 0
    const std::string lex = dir_.file("Sec.Lex"), prop = dir_.file("Sec.Prop");
    ASSERT_TRUE(write_second_lexicon(lex.c_str(), prop.c_str(), entries));
    seclex_ = std::make_unique<CCustomDict>();
    ASSERT_EQ(seclex_->LoadDict(lex.c_str(), prop.c_str()), 1);
  }

  TempDir dir_;
  TestDict words_;
  std::unique_ptr<CBasicDict> dict_;
  std::unique_ptr<CRuleDict> rules_;
  std::unique_ptr<CCustomDict> seclex_;
  int* chs_ = nullptr;
  uint32_t fenzhi_ = 0;
  std::unique_ptr<CLattice> lat_;
  std::string text_;
  uint32_t n_ = 0;
};

// --- Rule words ----------------------------------------------------------------------

// 中国人民 as one chosen type-88 word; node 8 holds 民, the word and its twin.
class RuleWordTest : public AmbTest {
 protected:
  void Build() {
    Reset("中国人民");
    Char(0, 2);
    Char(6, 8, 7);  // item 0 of node 8, the slot the last sub-word reuses
    Add(0, 8, 88, words_.attr("中国人民"));
    Add(0, 8, -88, words_.attr("中国人民"));
  }
};

TEST_F(RuleWordTest, Type88IsReplacedBySubWordsOfItsFirstBlock) {
  Build();
  Path({{8, 1}});
  StderrCapture err;
  Resolver()._clear_cob_ovp_amb();
  EXPECT_EQ(err.get(), "");
  EXPECT_EQ(Seg(), "中国|人民");
  // The last sub-word went into item 0 of the word's node.
  const tSegItemInfo& last = Chosen(8);
  EXPECT_EQ(&last, lat_->item(8, 0));
  EXPECT_EQ(Node(8).IdxMaxItemWeight, 0);
  EXPECT_EQ(last.type, 0);
  EXPECT_EQ(last.nAttributeIdx, words_.attr("人民"));
  EXPECT_EQ(last.posIndex, 0);
  EXPECT_FALSE(last.bcomb);
  EXPECT_EQ(last.nPreIndex, 0);
  // The inner boundary had no range: one of 3 items was reserved there.
  EXPECT_EQ(Node(4).size, 3u);
  EXPECT_EQ(Node(4).ItemsNum, 1);
  EXPECT_EQ(Node(4).IdxMaxItemWeight, 0);
  EXPECT_EQ(Chosen(4).nAttributeIdx, words_.attr("中国"));
  EXPECT_EQ(Node(0).nNextLen, 4u);
  for (uint32_t p : {1u, 2u, 3u, 5u, 6u, 7u}) {
    EXPECT_FALSE(Node(p).bBest) << p;
    EXPECT_FALSE(Node(p).bBegin) << p;
  }
  // The sentence start got no range.
  EXPECT_EQ(Node(0).wsidx, kNoRange);
  // The word's own item is untouched.
  EXPECT_EQ(lat_->item(8, 1)->type, 88);
}

TEST_F(RuleWordTest, TwinMinus88IsReplacedBySubWordsOfTheSecondBlock) {
  Build();
  Path({{8, 2}});
  Resolver()._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "中|国人|民");
  EXPECT_EQ(Chosen(2).nAttributeIdx, words_.attr("中"));
  EXPECT_EQ(Chosen(6).nAttributeIdx, words_.attr("国人"));
  EXPECT_EQ(Chosen(8).nAttributeIdx, words_.attr("民"));
  EXPECT_EQ(Node(6).size, 3u);
  EXPECT_EQ(Node(2).size, 8u) << "node 2 keeps its own range";
  EXPECT_EQ(Node(2).ItemsNum, 1);
}

TEST_F(RuleWordTest, StoreGrowthDuringTheSplitKeepsThePath) {
  Build();
  Path({{8, 2}});
  // Use up the store so that the first range reserved by the split (node 6)
  // makes it grow.
  tNodeInfo scratch{};
  const uint32_t room = lat_->m_sentence_words.m_alloc_size - lat_->m_next_sidx;
  lat_->init_node_item(&scratch, room - 2);
  const tSegItemInfo* old_base = lat_->m_sentence_words.data();
  Resolver()._clear_cob_ovp_amb();
  EXPECT_NE(lat_->m_sentence_words.data(), old_base) << "the store did not grow";
  EXPECT_EQ(Seg(), "中|国人|民");
  EXPECT_EQ(Chosen(8).nAttributeIdx, words_.attr("民"));
  EXPECT_EQ(Chosen(6).nAttributeIdx, words_.attr("国人"));
}

TEST_F(RuleWordTest, PmulKeepsBothReadingsWhole) {
  for (int twin : {1, 2}) {
    Build();
    Path({{8, twin}});
    Resolver(true)._clear_cob_ovp_amb();
    EXPECT_EQ(Seg(), "中国人民");
    EXPECT_EQ(&Chosen(8), lat_->item(8, (uint32_t)twin));
    EXPECT_EQ(Node(4).wsidx, kNoRange);
  }
}

TEST_F(RuleWordTest, InnerNodeWithItemsGivesItsLastItemAsSlot) {
  Reset("中国人民");
  Add(0, 4, 0, words_.attr("中国"));
  Char(2, 4);
  Add(0, 8, 88, words_.attr("中国人民"));
  Path({{8, 0}});
  Resolver()._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "中国|人民");
  EXPECT_EQ(Node(4).ItemsNum, 2);
  EXPECT_EQ(Node(4).IdxMaxItemWeight, 1);
  EXPECT_EQ(&Chosen(4), lat_->item(4, 1));
  // Item 0 was the reused slot of node 8: the word itself.
  EXPECT_EQ(lat_->item(8, 0)->nAttributeIdx, words_.attr("人民"));
}

TEST_F(RuleWordTest, Type89OverSeveralPathWordsIsSplit) {
  Reset("大学生");
  Char(0, 2);
  Char(2, 4);
  Add(0, 4, 0, words_.attr("大学"));
  Add(0, 6, 89, words_.attr("大学生"));
  Char(4, 6);
  Path({{2, 0}, {4, 0}, {6, 1}});
  Resolver()._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "大学|生");
  EXPECT_FALSE(Node(2).bBest);
  EXPECT_FALSE(Node(2).bBegin);
  EXPECT_EQ(Node(4).IdxMaxItemWeight, 1);  // the last item of node 4 was the slot
  EXPECT_EQ(Chosen(4).nAttributeIdx, words_.attr("大学"));
  EXPECT_EQ(&Chosen(6), lat_->item(6, 0));
  EXPECT_EQ(Chosen(6).nAttributeIdx, words_.attr("生"));
}

TEST_F(RuleWordTest, Type89AfterTheChosenItemIsNotLookedAt) {
  Reset("大学生");
  Char(0, 2);
  Char(2, 4);
  Char(4, 6);
  Add(0, 6, 89, words_.attr("大学生"));  // index 1, beyond IdxMaxItemWeight 0
  Path({{2, 0}, {4, 0}, {6, 0}});
  Resolver()._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "大|学|生");
}

TEST_F(RuleWordTest, Type89StartingInsideTheChosenWordIsNotSplit) {
  Reset("人大学生");
  Add(2, 8, 89, words_.attr("大学生"));
  Add(0, 8, 0, kChar);
  Path({{8, 1}});
  Node(2).bBest = true;  // stale: node 2 is not on the path
  Resolver()._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "人大学生");
  EXPECT_EQ(&Chosen(8), lat_->item(8, 1));
}

TEST_F(RuleWordTest, SplitShorteningThePreviousWordSplitsTheRuleWordEndingThere) {
  // 大 | 中国人民 (88).  Splitting gives 中国 ending at node 6, where the
  // type-89 word 大中国 ends; it starts at the path node 0, so it is split
  // too (大中 | 国).
  Reset("大中国人民");
  Char(0, 2);
  Add(0, 4, 0, words_.attr("大中"));
  Char(2, 4);
  Add(0, 6, 89, words_.attr("大中国"));
  Char(4, 6);
  Char(8, 10);
  Add(2, 10, 88, words_.attr("中国人民"));
  Add(2, 10, -88, words_.attr("中国人民"));
  Path({{2, 0}, {10, 1}});
  Resolver()._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "大中|国|人民");
  EXPECT_FALSE(Node(2).bBest);
  EXPECT_EQ(Node(6).ItemsNum, 2);
  EXPECT_EQ(Chosen(4).nAttributeIdx, words_.attr("大中"));
  EXPECT_EQ(Chosen(6).nAttributeIdx, words_.attr("国"));
}

TEST_F(RuleWordTest, BlockCountZeroRunsOnlyTheCombinationCheck) {
  // 人 | 国民 (89, empty block): the word is not split, but a longer word
  // below it in its node takes over.
  Reset("人国民");
  Char(0, 2);
  Add(0, 6, 0, kChar);
  Add(2, 6, 89, words_.attr("国民"));
  Path({{2, 0}, {6, 1}});
  Resolver()._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "人国民");
  EXPECT_EQ(Node(6).IdxMaxItemWeight, 0);
  EXPECT_FALSE(Node(2).bBest);

  // Without the longer word nothing changes.
  Reset("人国民");
  Char(0, 2);
  Char(4, 6);
  Add(2, 6, 89, words_.attr("国民"));
  Path({{2, 0}, {6, 1}});
  Resolver()._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "人|国民");
  EXPECT_FALSE(Node(4).bBegin);  // inside the word
}

TEST_F(RuleWordTest, EmptyFirstBlockKeeps88WholeAndItsIndex) {
  Reset("民生");
  Char(0, 2);
  Char(2, 4);
  Add(0, 4, 88, words_.attr("民生"));
  Add(0, 4, -88, words_.attr("民生"));
  Path({{4, 1}});
  Resolver()._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "民生");
  EXPECT_EQ(&Chosen(4), lat_->item(4, 1));
  EXPECT_EQ(Node(4).IdxMaxItemWeight, 1);  // still names the chosen word
  EXPECT_FALSE(Node(2).bBegin);

  // Its twin reads the second block.
  Reset("民生");
  Char(0, 2);
  Char(2, 4);
  Add(0, 4, 88, words_.attr("民生"));
  Add(0, 4, -88, words_.attr("民生"));
  Path({{4, 2}});
  Resolver()._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "民|生");
}

TEST_F(RuleWordTest, UnusableRuleWordsStayWholeWithADiagnostic) {
  struct Case {
    const char* text;
    int type;
    uint32_t attr;
  };
  const Case cases[] = {
      {"学生", 89, words_.attr("学生")},  // no rule block
      {"生民", 89, words_.attr("生民")},  // sub-words 2 bytes for a 4-byte word
      {"国人", 88, kChar},                // not a dictionary word
      {"国人", 88, 0},                    // no attribute at all
  };
  for (const Case& c : cases) {
    Reset(c.text);
    Char(0, 2);
    Add(0, 4, c.type, c.attr);
    Path({{4, 0}});
    StderrCapture err;
    Resolver()._clear_cob_ovp_amb();
    EXPECT_NE(err.get(), "") << c.text;
    EXPECT_EQ(Seg(), U(G(c.text))) << c.text;
    EXPECT_EQ(Chosen(4).type, c.type);
  }
}

TEST_F(RuleWordTest, SubWordIndexOutsideTheDictionaryIsRefused) {
  const uint32_t w = words_.idx("大学生");
  const uint32_t sidx = dict_->mPropDict.m_word_info[w].m_seg_rule_sidx;
  dict_->mPropDict.m_RuleInfo[sidx + 2] = 1e6f;  // the index of 生
  Reset("大学生");
  Char(0, 2);
  Add(0, 6, 89, words_.attr("大学生"));
  Add(2, 6, 0, kChar);
  Path({{2, 0}, {6, 1}});
  StderrCapture err;
  Resolver()._clear_cob_ovp_amb();
  EXPECT_NE(err.get(), "");
  EXPECT_EQ(Seg(), "大|学生");
  // The word begins before the chosen one's start: the path node inside it
  // keeps its marks.
  EXPECT_TRUE(Node(2).bBest);
}

// --- Longer word over pieces ---------------------------------------------------------

TEST_F(AmbTest, LongerWordOverPiecesSkipsUnfitCandidates) {
  Reset("人大学");
  Char(0, 2);
  Add(0, 4, 0, kChar);
  Add(0, 6, 0, kChar, 0, /*bcomb=*/true);  // a combination word
  Add(0, 6, 90, kChar);                    // type 89 and up
  Add(2, 6, 0, kChar);                     // begins at node 2, not on the path
  Char(4, 6);
  Path({{4, 0}, {6, 3}});
  Resolver()._clear_cob_amb(&Node(6));
  EXPECT_EQ(Seg(), "人大|学");
}

TEST_F(AmbTest, LongerWordOverPiecesTakesOver) {
  Reset("人大学");
  Char(0, 2);
  Char(2, 4);
  Add(0, 6, 0, words_.attr("人"));
  Char(4, 6);
  Path({{2, 0}, {4, 0}, {6, 1}});
  Resolver()._clear_cob_amb(&Node(6));
  EXPECT_EQ(Seg(), "人大学");
  EXPECT_EQ(Chosen(6).nPreIndex, 0);
  EXPECT_EQ(Node(0).nNextLen, 6u);
  EXPECT_FALSE(Node(2).bBest);
  EXPECT_FALSE(Node(4).bBest);
}

TEST_F(AmbTest, LongerWordOfTypeMinus88NeedsPmul) {
  for (bool pmul : {false, true}) {
    Reset("三万");
    Char(0, 2);
    Add(0, 4, -88, kChar, 0, false, /*rule_mark=*/false);
    Char(2, 4);
    Path({{2, 0}, {4, 1}});
    Resolver(pmul)._clear_cob_amb(&Node(4));
    if (pmul) {
      EXPECT_EQ(Seg(), "三万");
      EXPECT_EQ(Chosen(4).type, -88);
    } else {
      // Stopped before the number rules too: 三 stays unmarked.
      EXPECT_EQ(Seg(), "三|万");
      EXPECT_EQ(Chosen(2).posIndex, 0);
    }
  }
}

TEST_F(AmbTest, WordStartingInsideTheChosenOneIsNotTaken) {
  // A stale bBest inside the chosen word must not hand the node a word the
  // walk (from the chosen word's start) would not arrive at.
  Reset("人大学");
  Add(2, 6, 0, kChar);
  Add(0, 6, 0, kChar);
  Path({{6, 1}});
  Node(2).bBest = true;
  Resolver()._clear_cob_amb(&Node(6));
  EXPECT_EQ(Seg(), "人大学");
  EXPECT_EQ(&Chosen(6), lat_->item(6, 1));
}

// --- Fractions -----------------------------------------------------------------------

TEST_F(AmbTest, DigitFenzhiDigitBecomesOneFraction) {
  Reset("三分之一");
  Char(0, 2);
  Add(2, 6, 0, fenzhi_);
  Char(6, 8);
  Path({{2, 0}, {6, 0}, {8, 0}});
  Resolver()._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "三分之一");
  const tSegItemInfo& f = Chosen(8);
  EXPECT_EQ(f.begin_pos, 0u);
  EXPECT_EQ(f.length, 8u);
  EXPECT_EQ(f.type, kTypeFactoid);
  EXPECT_EQ(f.nAttributeIdx, kAttrSingleChar);
  EXPECT_EQ(f.posIndex, kPosIndexNumeral);
  EXPECT_EQ(lat_->item(2, 0)->posIndex, kPosIndexNumeral);  // P was marked a number
  for (uint32_t p : {2u, 6u}) {
    EXPECT_FALSE(Node(p).bBest) << p;
    EXPECT_FALSE(Node(p).bBegin) << p;
  }
}

TEST_F(AmbTest, FractionOfNumberFactoids) {
  ResetRaw("3" + G("分之") + "4");
  Add(0, 1, kTypeFactoid, kAttrNumber, kPosIndexNumeral);
  Add(1, 5, 0, fenzhi_);
  Add(5, 6, kTypeFactoid, kAttrNumber, kPosIndexNumeral);
  Path({{1, 0}, {5, 0}, {6, 0}});
  Resolver()._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "3分之4");
  EXPECT_EQ(Chosen(6).type, kTypeFactoid);
}

TEST_F(AmbTest, FractionNeedsNumbersOnBothSidesAndRoom) {
  // A non-number before 分之: nothing merges (the digit after it is still
  // marked a number).
  Reset("人分之一");
  Char(0, 2);
  Add(2, 6, 0, fenzhi_);
  Char(6, 8);
  Path({{2, 0}, {6, 0}, {8, 0}});
  Resolver()._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "人|分之|一");
  EXPECT_EQ(Chosen(2).posIndex, 0);
  EXPECT_EQ(Chosen(8).posIndex, kPosIndexNumeral);

  // 分之 at the start, and at the end of the sentence.
  Reset("分之一");
  Add(0, 4, 0, fenzhi_);
  Char(4, 6);
  Path({{4, 0}, {6, 0}});
  Resolver()._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "分之|一");

  Reset("三分之");
  Char(0, 2);
  Add(2, 6, 0, fenzhi_);
  Path({{2, 0}, {6, 0}});
  Resolver()._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "三|分之");

  // Without 分之 in the dictionary no word is taken for it.
  Reset("三分之一");
  Char(0, 2);
  Add(2, 6, 0, fenzhi_);
  Char(6, 8);
  Path({{2, 0}, {6, 0}, {8, 0}});
  CAmbiguityResolver r(*lat_, dict_.get(), nullptr, nullptr, chs_, 0, false);
  r.set_sentence(text_.data(), n_);
  r._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "三|分之|一");
}

// --- Numbers with a unit -------------------------------------------------------------

struct UnitCase {
  const char* number;  // UTF-8; ASCII numbers are factoids with posIndex 14
  const char* unit;
  bool merges;
  uint8_t pos;  // posIndex of the merged item
};

TEST_F(AmbTest, NumberWithUnit) {
  const UnitCase cases[] = {
      {"三", "万", true, kPosIndexNumeral},     // digit character + magnitude
      {"三", "年", true, kPosIndexTime},        // digit character + date unit
      {"1234", "万", true, kPosIndexNumeral},   // number factoid + magnitude
      {"1234", "年", true, kPosIndexTime},      // 4 bytes + date unit
      {"12345", "年", false, 0},                // 5 bytes + date unit
      {"12345", "万", true, kPosIndexNumeral},  // the limit is for units only
      {"5%", "万", false, 0},                   // ends in "%"
      {"5%", "年", false, 0},
      {"3个", "月", false, 0},  // longer than 2 bytes, ends in 个
      {"3", "月", true, kPosIndexTime},
      {"人", "万", false, 0},  // not a number
      {"三", "人", false, 0},  // not a unit
  };
  for (const UnitCase& c : cases) {
    SCOPED_TRACE(std::string(c.number) + c.unit);
    const std::string num = G(c.number);
    ResetRaw(num + G(c.unit));
    const uint32_t m = (uint32_t)num.size();
    const bool ascii = (unsigned char)num[0] < 0x80;
    if (ascii)
      Add(0, m, kTypeFactoid, kAttrNumber, kPosIndexNumeral);
    else
      Char(0, m);
    Char(m, m + 2);
    Path({{m, 0}, {m + 2, 0}});
    Resolver()._clear_cob_ovp_amb();
    if (c.merges) {
      EXPECT_EQ(Seg(), U(text_));
      const tSegItemInfo& it = Chosen(n_);
      EXPECT_EQ(it.type, kTypeFactoid);
      EXPECT_EQ(it.nAttributeIdx, kAttrSingleChar);
      EXPECT_TRUE(it.bcomb);
      EXPECT_EQ(it.posIndex, c.pos);
      EXPECT_FALSE(Node(m).bBest);
      EXPECT_FALSE(Node(m).bBegin);
    } else {
      EXPECT_EQ(Seg(), U(num) + "|" + c.unit);
      EXPECT_FALSE(Chosen(n_).bcomb);
    }
  }
}

TEST_F(AmbTest, UnitAtTheSentenceStartOrWithoutTableStaysAlone) {
  Reset("万人");
  Char(0, 2);
  Char(2, 4);
  Path({{2, 0}, {4, 0}});
  Resolver()._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "万|人");

  Reset("三万");
  Char(0, 2);
  Char(2, 4);
  Path({{2, 0}, {4, 0}});
  CAmbiguityResolver r(*lat_, dict_.get(), nullptr, nullptr, nullptr, fenzhi_, false);
  r.set_sentence(text_.data(), n_);
  r._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "三|万");
}

TEST_F(AmbTest, DigitUnitChainMergesStepByStep) {
  // 三 万 年: 三万 merges into a number, which then takes 年 (4 bytes).
  Reset("三万年");
  Char(0, 2);
  Char(2, 4);
  Char(4, 6);
  Path({{2, 0}, {4, 0}, {6, 0}});
  Resolver()._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "三万年");
  EXPECT_EQ(Chosen(6).posIndex, kPosIndexTime);
}

// --- User rules ----------------------------------------------------------------------

// 中国 | 人民 | 大学, with further items at the inner boundaries.
class UserRuleTest : public AmbTest {
 protected:
  void Build() {
    Reset("中国人民大学");
    Char(0, 2);                                           // node 2: 中
    Add(0, 4, 0, words_.attr("中国"));                    // node 4: 中国
    Char(4, 6);                                           // node 6: 人
    Add(2, 6, 88, words_.attr("国人"), 0, false, false);  // node 6: 国人 (as a type-88 item)
    Add(4, 8, 0, words_.attr("人民"));                    // node 8: 人民
    Char(6, 8);                                           //         民
    Add(8, 12, 0, words_.attr("大学"));                   // node 12: 大学
    Path({{4, 0}, {8, 0}, {12, 0}});
  }
};

TEST_F(UserRuleTest, RuleEndingOnAPathNodeResegmentsTheSpan) {
  LoadRules({{"中国人民", {2, 4, 2}}});
  Build();
  Resolver()._clear_amb_by_userrule();
  EXPECT_EQ(Seg(), "中|国人|民|大学");
  EXPECT_EQ(Node(6).IdxMaxItemWeight, 1);
  EXPECT_EQ(Chosen(6).type, 88);
  EXPECT_EQ(Chosen(6).nAttributeIdx, kAttrSingleChar);  // a type-88 item loses its word
  EXPECT_EQ(Node(8).IdxMaxItemWeight, 1);
  EXPECT_EQ(Chosen(8).nAttributeIdx, kAttrSingleChar);
  EXPECT_EQ(Node(8).ItemsNum, 2);
}

TEST_F(UserRuleTest, RuleEndingInsideAPathWordGivesWayToShorterOnes) {
  LoadRules({{"中国人", {2, 4}}, {"中国", {2, 2}}});
  Build();
  Resolver()._clear_amb_by_userrule();
  EXPECT_EQ(Seg(), "中|国|人民|大学");
  // Node 2 had an item of length 2 (中); node 4 had none of length 2, so
  // its item 0 became the segment and the node holds only that.
  EXPECT_EQ(Chosen(2).type, kTypeSingleChar);
  EXPECT_EQ(Node(4).ItemsNum, 1);
  EXPECT_EQ(Chosen(4).begin_pos, 2u);
  EXPECT_EQ(Chosen(4).type, kTypeSingleChar);
  EXPECT_EQ(Chosen(4).weight, 0.0f);
}

TEST_F(UserRuleTest, SearchGoesOnAfterAnAppliedRuleAndOnlyAtPathNodes) {
  LoadRules({{"中国人民", {2, 4, 2}}, {"大学", {2, 2}}, {"国人", {2, 2}}, {"人民大", {2, 4}}});
  Build();
  Resolver()._clear_amb_by_userrule();
  // 国人 and 人民大 start at nodes the search never stands on.
  EXPECT_EQ(Seg(), "中|国人|民|大|学");
  EXPECT_EQ(Node(10).size, 3u);  // a fresh range for the new boundary
  EXPECT_EQ(Node(10).ItemsNum, 1);
  const tSegItemInfo& da = Chosen(10);
  EXPECT_EQ(da.type, kTypeSingleChar);
  EXPECT_EQ(da.nAttributeIdx, kAttrSingleChar);
  EXPECT_EQ(da.perIdx, 50);
  EXPECT_FALSE(da.bcomb);
}

TEST_F(UserRuleTest, OverwrittenNodeLosesItsEntityItems) {
  LoadRules({{"中国人民", {2, 4, 2}}});
  Reset("中国人民");
  Char(0, 2);
  Add(0, 4, 0, words_.attr("中国"));
  Char(4, 6);                 // no item of length 4 at node 6
  Add(0, 6, 0, kAttrPerson);  // an entity item
  Node(6).ItemsNumNER = 1;
  Add(4, 8, 0, words_.attr("人民"));
  Char(6, 8);
  Path({{4, 0}, {8, 0}});
  Resolver()._clear_amb_by_userrule();
  EXPECT_EQ(Seg(), "中|国人|民");
  EXPECT_EQ(Node(6).ItemsNum, 1);
  EXPECT_EQ(Node(6).ItemsNumNER, 0);
  EXPECT_EQ(Chosen(6).begin_pos, 2u);
  EXPECT_EQ(Chosen(6).length, 4u);
}

TEST_F(AmbTest, UserRulesTryOnlyTheSixteenShortestMatches) {
  const std::string text = "abcdefghijklmnopqrst";
  for (int lo : {1, 2}) {
    // Rules for the prefixes of lengths lo..17, each one word.
    std::vector<std::pair<std::string, std::vector<int>>> rules;
    for (int len = lo; len <= 17; ++len) rules.push_back({text.substr(0, len), {len}});
    LoadRules(rules, true);
    ResetRaw(text);
    std::vector<std::pair<uint32_t, int>> path;
    for (uint32_t p = 1; p <= n_; ++p) path.push_back({p, Char(p - 1, p)});
    Path(path);
    Resolver()._clear_amb_by_userrule();
    // With 17 matches the longest is not kept; with 16 it is.
    const size_t first = lo == 1 ? 16 : 17;
    std::string expect = text.substr(0, first);
    for (size_t k = first; k < text.size(); ++k) expect += std::string("|") + text[k];
    EXPECT_EQ(Seg(), expect) << lo;
  }
}

TEST_F(UserRuleTest, RulesWithUnsoundSequencesAreSkipped) {
  LoadRules({{"中国人民", {2, 4, 2}}});
  const int v = rules_->m_ruledict.exactMatchSearch<int>(G("中国人民").c_str());
  ASSERT_GE(v, 0);
  // Segments that overrun the key (and the sentence).
  rules_->m_rule_value[v + 2] = 400;
  Build();
  Resolver()._clear_amb_by_userrule();
  EXPECT_EQ(Seg(), "中国|人民|大学");
  // A key length that is not the key's.
  rules_->m_rule_value[v + 2] = 4;
  rules_->m_rule_value[v] = 7;
  Build();
  Resolver()._clear_amb_by_userrule();
  EXPECT_EQ(Seg(), "中国|人民|大学");
}

TEST_F(UserRuleTest, BrokenPathStopsTheSearch) {
  LoadRules({{"大学", {2, 2}}});
  Build();
  Node(4).nNextLen = 0;
  Resolver()._clear_amb_by_userrule();  // must return
  EXPECT_EQ(Node(8).nNextLen, 4u);      // never got there
}

// --- Secondary lexicon ---------------------------------------------------------------

struct SecCase {
  const char* word;  // two characters, UTF-8
  int data;
  uint8_t pos;
  int type;
};

TEST_F(AmbTest, SecondaryLexiconMergesTwoSingleCharacters) {
  const SecCase cases[] = {
      {"王五", 33, 16, 62},  // person, odd
      {"王二", 32, 16, 61},  // person, even
      {"中山", 39, 19, 64},  // place, odd
      {"大同", 38, 19, 63},  // place, even
      {"人们", 2, 1, 86},    // any other POS
  };
  std::vector<seclex_entry_t> entries;
  for (const SecCase& c : cases) entries.push_back({G(c.word), c.data});
  LoadSeclex(entries);
  for (const SecCase& c : cases) {
    SCOPED_TRACE(c.word);
    Reset(std::string(c.word) + "说");
    Char(0, 2);
    Char(2, 4);
    Char(4, 6);
    Path({{2, 0}, {4, 0}, {6, 0}});
    Resolver()._clear_cob_by_seclex();
    EXPECT_EQ(Seg(), std::string(c.word) + "|说");
    const tSegItemInfo& it = Chosen(4);
    EXPECT_EQ(it.begin_pos, 0u);
    EXPECT_EQ(it.length, 4u);
    EXPECT_EQ(it.posIndex, c.pos);
    EXPECT_EQ(it.type, c.type);
    EXPECT_EQ(it.nAttributeIdx, kAttrSingleChar);
  }
}

TEST_F(AmbTest, SecondaryLexiconPairsAlongThePath) {
  LoadSeclex({{G("王五"), 33}, {"ab", 2}});
  // Two merges in a row, single-byte words, and a pair that ends the
  // sentence.
  Reset("王五王五说ab王五");
  std::vector<std::pair<uint32_t, int>> path;
  for (uint32_t p = 2; p <= 10; p += 2) path.push_back({p, Char(p - 2, p)});
  path.push_back({11, Char(10, 11)});
  path.push_back({12, Char(11, 12)});
  path.push_back({14, Char(12, 14)});
  path.push_back({16, Char(14, 16)});
  Path(path);
  Resolver()._clear_cob_by_seclex();
  EXPECT_EQ(Seg(), "王五|王五|说|ab|王五");
}

TEST_F(AmbTest, SecondaryLexiconNeedsShortWordsAndASoundRecord) {
  LoadSeclex({{G("王五"), 33}, {G("五说"), 33}});
  // A word longer than 2 bytes is not paired.
  Reset("王五说");
  Add(0, 4, 0, kChar);
  Char(4, 6);
  Path({{4, 0}, {6, 0}});
  Resolver()._clear_cob_by_seclex();
  EXPECT_EQ(Seg(), "王五|说");

  // Record 0 is never used.
  ResetRaw("!!");
  Char(0, 1);
  Char(1, 2);
  Path({{1, 0}, {2, 0}});
  Resolver()._clear_cob_by_seclex();
  EXPECT_EQ(Seg(), "!|!");

  // A record whose length is not the pair's is not used; the walk goes on
  // and still finds 五说.
  const int v = seclex_->m_cd.exactMatchSearch<int>(G("王五").c_str());
  ASSERT_GT(v, 0);
  for (unsigned bad : {0u, 2u, 6u, 100u}) {
    seclex_->m_attr[v].len = bad;
    Reset("王五说");
    Char(0, 2);
    Char(2, 4);
    Char(4, 6);
    Path({{2, 0}, {4, 0}, {6, 0}});
    Resolver()._clear_cob_by_seclex();
    EXPECT_EQ(Seg(), "王|五说") << bad;
  }
}

TEST_F(AmbTest, PassesWithoutResourcesOrSentenceDoNothing) {
  Reset("三万");
  Char(0, 2);
  Char(2, 4);
  Path({{2, 0}, {4, 0}});
  CAmbiguityResolver r(*lat_, nullptr, nullptr, nullptr, chs_, fenzhi_, false);
  r._clear_cob_ovp_amb();  // no sentence yet
  r._clear_amb_by_userrule();
  r._clear_cob_by_seclex();
  EXPECT_EQ(Seg(), "三|万");
  r.set_sentence(text_.data(), CLattice::kMaxNodes);  // does not fit the lattice
  r._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "三|万");
  r.set_sentence(text_.data(), n_);
  r._clear_amb_by_userrule();  // no rules
  r._clear_cob_by_seclex();    // no lexicon
  r._clear_ovp_amb(&Node(4));  // no dictionary
  r._clear_cob_amb(&Node(0));  // not a word end
  r._clear_cob_amb(nullptr);
  EXPECT_EQ(Seg(), "三|万");
  r._clear_cob_ovp_amb();
  EXPECT_EQ(Seg(), "三万");
}

// --- Producer and best path ----------------------------------------------------------

class PipelineTest : public testing::Test {
 protected:
  PipelineTest() : lat_(new CLattice), producer_(new CLatticeProducer), lm_(3) {
    lm_.LogP_unk_word = -4.0f;
  }

  void Load() {
    dict_ = words_.load();
    producer_->set_resource(lat_.get(), dict_.get(), &factoid_);
    chs_ = create_chs_array();
  }
  ~PipelineTest() override { destroy_chs_array(chs_); }

  // Builds the lattice of `gbk` and marks its best path.
  bool Build(const std::string& gbk) {
    text_ = gbk;
    n_ = (uint32_t)text_.size();
    if (!producer_->build_lattice(text_.data(), n_)) return false;
    return rule_path_search(*lat_, n_, *dict_, lm_, Vocab_None, false, nullptr) &&
           rule_path_set(*lat_, n_);
  }

  // Runs the passes in pipeline order.
  void Resolve(bool pmul) {
    CAmbiguityResolver r(*lat_, dict_.get(), rules_.get(), seclex_.get(), chs_,
                         producer_->m_fenzhi_idx, pmul);
    r.set_sentence(text_.data(), n_);
    r._clear_cob_ovp_amb();
    r._clear_amb_by_userrule();
    r._clear_cob_by_seclex();
  }

  // Walks the path; returns false (with a failure) unless it tiles the
  // sentence with consistent chosen items.
  bool CheckPath(std::vector<std::pair<uint32_t, uint32_t>>* spans = nullptr) const {
    uint32_t covered = 0;
    size_t p = lat_->m_nodes[0].nNextLen;
    for (uint32_t steps = 0; p <= n_; ++steps) {
      if (steps > n_ || p == 0) {
        ADD_FAILURE() << "walk does not advance";
        return false;
      }
      const tNodeInfo& node = lat_->m_nodes[p];
      const tSegItemInfo* it = node.MaxItem;
      if (it == nullptr || it->begin_pos != covered || it->begin_pos + it->length != p ||
          !node.bBest || node.IdxMaxItemWeight >= node.ItemsNum ||
          lat_->item((uint32_t)p, node.IdxMaxItemWeight) != it) {
        ADD_FAILURE() << "inconsistent path word at node " << p;
        return false;
      }
      if (spans) spans->push_back({it->begin_pos, (uint32_t)p});
      covered = (uint32_t)p;
      if (node.nNextLen == 0) {
        ADD_FAILURE() << "nNextLen 0 at " << p;
        return false;
      }
      p += node.nNextLen;
    }
    if (covered != n_ || lat_->m_nodes[0].ItemsNum != 0) {
      ADD_FAILURE() << "walk covers " << covered << " of " << n_;
      return false;
    }
    return true;
  }

  std::string Seg() const {
    std::vector<std::pair<uint32_t, uint32_t>> spans;
    if (!CheckPath(&spans)) return "";
    std::string out;
    for (const auto& s : spans) {
      if (!out.empty()) out += "|";
      out += U(text_.substr(s.first, s.second - s.first));
    }
    return out;
  }

  std::unique_ptr<CLattice> lat_;
  std::unique_ptr<CLatticeProducer> producer_;
  CFactoid factoid_;
  Ngram lm_;
  TestDict words_;
  std::unique_ptr<CBasicDict> dict_;
  std::unique_ptr<CRuleDict> rules_;
  std::unique_ptr<CCustomDict> seclex_;
  int* chs_ = nullptr;
  TempDir dir_;
  std::string text_;
  uint32_t n_ = 0;
};

TEST_F(PipelineTest, ChosenRuleWordIsSplitAfterTheSearch) {
  // Every word costs -4 under the empty model, so the one-word reading
  // 中国人民 wins (-4 + its block weight -1 against -2 for its twin, and -8
  // for 中国|人民); the pass then splits it by its first block.
  AddStandardWords(words_);
  Load();
  ASSERT_TRUE(Build(G("中国人民")));
  ASSERT_EQ(lat_->m_nodes[8].MaxItem->type, 88);
  Resolve(false);
  EXPECT_EQ(Seg(), "中国|人民");
  ASSERT_TRUE(Build(G("中国人民")));
  Resolve(true);
  EXPECT_EQ(Seg(), "中国人民");
}

// Random sentences over a small alphabet, with rule words, fractions,
// units, user rules and a secondary lexicon: after the passes the path must
// still tile the sentence with consistent words.
TEST_F(PipelineTest, RandomSentencesKeepAConsistentPath) {
  AddStandardWords(words_);
  for (const char* w : {"三万", "一个", "王五", "大学生活", "个人"}) words_.add(w);
  Load();
  const std::vector<std::string> alphabet = {G("中"), G("国"), G("人"), G("民"), G("大"), G("学"),
                                             G("生"), G("三"), G("一"), G("分"), G("之"), G("万"),
                                             G("年"), G("个"), G("王"), G("五"), G("说"), "3",
                                             "%",     "a",     G("，")};
  std::mt19937 rng(1234);
  auto random_text = [&](size_t chars) {
    std::string s;
    for (size_t k = 0; k < chars; ++k) s += alphabet[rng() % alphabet.size()];
    return s;
  };
  // Rules: random strings cut at random character boundaries.
  CRuleDictWriter rw;
  for (int r = 0; r < 60; ++r) {
    std::vector<std::string> chars;
    const size_t nc = 2 + rng() % 4;
    for (size_t k = 0; k < nc; ++k) chars.push_back(alphabet[rng() % (alphabet.size() - 1)]);
    std::string s;
    std::vector<int> lens;
    int cur = 0;
    for (size_t k = 0; k < nc; ++k) {
      s += chars[k];
      cur += (int)chars[k].size();
      if (k + 1 == nc || rng() % 2) {
        lens.push_back(cur);
        cur = 0;
      }
    }
    rw.add(s, lens);  // duplicates are refused, which is fine
  }
  const std::string rule_path = dir_.file("UserAmbRule");
  ASSERT_TRUE(rw.write(rule_path.c_str()));
  rules_ = std::make_unique<CRuleDict>();
  ASSERT_TRUE(rules_->loadDict(rule_path.c_str()));
  std::vector<seclex_entry_t> sec = {{"!!", 1}};
  std::set<std::string> seen;
  for (int r = 0; r < 40; ++r) {
    std::string w = random_text(1 + rng() % 2);
    if (seen.insert(w).second) sec.push_back({w, (int)(rng() % 128)});
  }
  const std::string lex = dir_.file("Sec.Lex"), prop = dir_.file("Sec.Prop");
  ASSERT_TRUE(write_second_lexicon(lex.c_str(), prop.c_str(), sec));
  seclex_ = std::make_unique<CCustomDict>();
  ASSERT_EQ(seclex_->LoadDict(lex.c_str(), prop.c_str()), 1);

  int changed = 0;
  for (int round = 0; round < 500; ++round) {
    const std::string s = random_text(1 + rng() % 40);
    StderrCapture err;
    ASSERT_TRUE(Build(s));
    std::vector<std::pair<uint32_t, uint32_t>> before, after;
    ASSERT_TRUE(CheckPath(&before)) << U(s);
    Resolve(rng() % 4 == 0);
    ASSERT_TRUE(CheckPath(&after)) << U(s);
    if (before != after) ++changed;
  }
  // The passes had work to do in a good share of the sentences.
  EXPECT_GT(changed, 100);
}

// The same with the path damaged at random: the passes must neither leave
// the lattice nor hang.
TEST_F(PipelineTest, DamagedPathsNeitherCrashNorHang) {
  AddStandardWords(words_);
  Load();
  CRuleDictWriter rw;
  rw.add(G("中国人民"), {2, 4, 2});
  rw.add(G("大学"), {2, 2});
  rw.add(G("三万"), {2, 2});
  const std::string rule_path = dir_.file("UserAmbRule");
  ASSERT_TRUE(rw.write(rule_path.c_str()));
  rules_ = std::make_unique<CRuleDict>();
  ASSERT_TRUE(rules_->loadDict(rule_path.c_str()));
  const std::string lex = dir_.file("Sec.Lex"), prop = dir_.file("Sec.Prop");
  ASSERT_TRUE(write_second_lexicon(lex.c_str(), prop.c_str(),
                                   {{"!!", 1}, {G("王五"), 33}, {G("三"), 5}, {G("人民"), 38}}));
  seclex_ = std::make_unique<CCustomDict>();
  ASSERT_EQ(seclex_->LoadDict(lex.c_str(), prop.c_str()), 1);

  const std::vector<std::string> alphabet = {G("中"), G("国"), G("人"), G("民"), G("大"), G("学"),
                                             G("生"), G("三"), G("一"), G("分"), G("之"), G("万"),
                                             G("年"), G("王"), G("五"), "7"};
  std::mt19937 rng(99);
  for (int round = 0; round < 1500; ++round) {
    std::string s;
    const size_t nc = 1 + rng() % 30;
    for (size_t k = 0; k < nc; ++k) s += alphabet[rng() % alphabet.size()];
    StderrCapture err;
    ASSERT_TRUE(Build(s));
    const int damage = 1 + (int)(rng() % 6);
    for (int d = 0; d < damage; ++d) {
      tNodeInfo& node = lat_->m_nodes[rng() % (n_ + 1)];
      switch (rng() % 7) {
        case 0:
          node.nNextLen = 0;
          break;
        case 1:
          node.nNextLen = rng() % (n_ + 8);
          break;
        case 2:
          node.MaxItem = nullptr;
          break;
        case 3: {  // some other node's item
          const tNodeInfo& other = lat_->m_nodes[rng() % (n_ + 1)];
          if (other.ItemsNum) node.MaxItem = lat_->item(&other, rng() % other.ItemsNum);
          break;
        }
        case 4:
          node.IdxMaxItemWeight = (uint8_t)rng();
          node.bRule = true;
          break;
        case 5:
          node.bBest = !node.bBest;
          break;
        default:
          if (node.MaxItem) node.MaxItem->length = rng() % (n_ + 3);
          break;
      }
    }
    Resolve(rng() % 2 == 0);
    for (uint32_t p = 0; p <= n_; ++p) {
      const tNodeInfo& node = lat_->m_nodes[p];
      ASSERT_LE(node.ItemsNum, node.size);
    }
  }
}

}  // namespace
