// The lattice producer: the factoid / dictionary decisions, overlap checks,
// expansion, bnAmb, node capacities and the search buffer's limits.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <random>
#include <set>
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

// GBK characters.
const std::string SAN = "\xC8\xFD";    // 三
const std::string GE = "\xB8\xF6";     // 个
const std::string FEN = "\xB7\xD6";    // 分
const std::string ZHI = "\xD6\xAE";    // 之
const std::string YI = "\xD2\xBB";     // 一
const std::string REN = "\xC8\xCB";    // 人
const std::string ZHONG = "\xD6\xD0";  // 中
const std::string GUO = "\xB9\xFA";    // 国
const std::string DA = "\xB4\xF3";     // 大
const std::string XUE = "\xD1\xA7";    // 学
const std::string SHENG = "\xC9\xFA";  // 生
const std::string DE = "\xB5\xC4";     // 的
const std::string LE = "\xC1\xCB";     // 了
const std::string NIAN = "\xC4\xEA";   // 年

const std::string kNodeFull =
    "\xB4\xCA\xCC\xF5\xBF\xC9\xB4\xE6\xB4\xA2\xBF\xD5\xBC\xE4\xD2\xD1\xC2\xFA\n";

// A basic dictionary written with the writer and loaded back.
class TestDict {
 public:
  // A word with a POS list (`props`) or without one (m_pos_sidx Prop_None).
  void add(const std::string& word, uint16_t type = 0, bool props = true) {
    basic_dict_entry_t e;
    e.word = word;
    e.name_entity = type;
    if (props) e.pos = std::vector<prop_item_t>{{1, -0.5f}};
    entries_.push_back(e);
  }
  // A word of type 89 (one block) or 88 (two blocks).
  void add_rule(const std::string& word, uint16_t type,
                const std::vector<std::pair<std::vector<std::string>, LogP>>& blocks) {
    basic_dict_entry_t e;
    e.word = word;
    e.name_entity = type;
    std::vector<rule_value_t> rule;
    std::vector<prop_item_t> pos;
    for (const auto& b : blocks) {
      std::vector<rule_value_t> r = BasicDictRuleBlock(b.first, b.second);
      rule.insert(rule.end(), r.begin(), r.end());
      for (size_t k = 0; k < b.first.size(); ++k) pos.push_back({1, -0.5f});
    }
    e.rule = rule;
    e.pos = pos;
    entries_.push_back(e);
  }

  std::unique_ptr<CBasicDict> load() {
    for (const basic_dict_entry_t& e : entries_) EXPECT_TRUE(files_.add(e)) << e.word;
    auto dict = std::make_unique<CBasicDict>();
    EXPECT_TRUE(files_.write_and_load(*dict)) << files_.error();
    return dict;
  }

  uint32_t idx(const std::string& word) const {
    long i = files_.index_of(word);
    EXPECT_GE(i, 0) << word;
    return static_cast<uint32_t>(i);
  }

 private:
  lxtest::TestDict files_{"lx_producer_"};
  std::vector<basic_dict_entry_t> entries_;
};

// An item as text, for readable comparisons.
std::string Show(const tSegItemInfo& it) {
  return "[" + std::to_string(it.begin_pos) + "," + std::to_string(it.begin_pos + it.length) +
         ") type " + std::to_string(it.type) + " attr " + std::to_string(it.nAttributeIdx) +
         " pos " + std::to_string(it.posIndex);
}

class ProducerTest : public testing::Test {
 protected:
  ProducerTest() : lattice_(new CLattice), producer_(new CLatticeProducer) {}

  // Loads the dictionary built so far and builds the lattice of `s`.
  void Build(const std::string& s) {
    if (!dict_) {
      dict_ = words_.load();
      producer_->set_resource(lattice_.get(), dict_.get(), &factoid_);
    }
    sentence_ = s;
    ASSERT_TRUE(producer_->build_lattice(sentence_.data(), (uint32_t)sentence_.size()));
  }

  std::vector<std::string> Items(uint32_t p) const {
    std::vector<std::string> out;
    const tNodeInfo& node = lattice_->m_nodes[p];
    for (uint32_t j = 0; j < node.ItemsNum; ++j) out.push_back(Show(*lattice_->item(p, j)));
    return out;
  }

  // Expected items.
  std::string Word(uint32_t b, const std::string& w, uint8_t pos = 0, int type = 0) const {
    tSegItemInfo it{};
    it.begin_pos = b;
    it.length = (uint32_t)w.size();
    it.type = type;
    it.nAttributeIdx = words_.idx(w) + 1;
    it.posIndex = pos;
    return Show(it);
  }
  static std::string Char(uint32_t b, uint32_t len) {
    tSegItemInfo it{};
    it.begin_pos = b;
    it.length = len;
    it.type = kTypeSingleChar;
    it.nAttributeIdx = kAttrSingleChar;
    return Show(it);
  }
  static std::string Fact(uint32_t b, uint32_t len, uint32_t attr, uint8_t pos) {
    tSegItemInfo it{};
    it.begin_pos = b;
    it.length = len;
    it.type = kTypeFactoid;
    it.nAttributeIdx = attr;
    it.posIndex = pos;
    return Show(it);
  }

  bool Amb(uint32_t p) const { return lattice_->m_nodes[p].bnAmb; }

  std::unique_ptr<CLattice> lattice_;
  CFactoid factoid_;
  std::unique_ptr<CLatticeProducer> producer_;
  TestDict words_;
  std::unique_ptr<CBasicDict> dict_;
  std::string sentence_;
};

using V = std::vector<std::string>;

// --- Plain characters ---------------------------------------------------------------

TEST_F(ProducerTest, NoWordsNoFactoidsGiveOneUnambiguousItemPerCharacter) {
  words_.add(ZHONG + GUO);
  // 的, "(", the byte 0x80 (one byte wide), 了, and a lead byte at the end.
  Build(DE + "(" + "\x80" + LE + "\xB5");
  const uint32_t ends[] = {2, 3, 4, 6, 7};
  const uint32_t lens[] = {2, 1, 1, 2, 1};
  for (int k = 0; k < 5; ++k) {
    const uint32_t p = ends[k];
    EXPECT_EQ(Items(p), V{Char(p - lens[k], lens[k])}) << p;
    EXPECT_TRUE(Amb(p)) << p;
    const tSegItemInfo& it = *lattice_->item(p, 0);
    EXPECT_EQ(it.perIdx, 50);
    EXPECT_EQ(it.weight, 0.0f);
    EXPECT_FALSE(it.bcomb);
    EXPECT_EQ(lattice_->m_nodes[p].size, lens[k] + 2);
  }
  for (uint32_t p : {1u, 5u}) {
    EXPECT_TRUE(Items(p).empty()) << p;
    EXPECT_FALSE(Amb(p)) << p;
  }
  EXPECT_EQ(lattice_->m_prev_end_idx, 7u);
}

TEST_F(ProducerTest, EmptyAndOversizedSentences) {
  words_.add(DE);
  Build("");
  EXPECT_TRUE(lattice_->m_nodes[0].bBegin);
  EXPECT_EQ(lattice_->m_next_sidx, 0u);

  std::string longest;
  for (int k = 0; k < 2048; ++k) longest += DE;  // 4096 bytes: the lattice's limit
  Build(longest);
  EXPECT_EQ(Items(4096), V{Word(4094, DE)});
  EXPECT_TRUE(Amb(4096));

  std::string too_long = longest + "a";
  EXPECT_FALSE(producer_->build_lattice(too_long.data(), (uint32_t)too_long.size()));
  EXPECT_EQ(lattice_->m_next_sidx, 0u);
  EXPECT_EQ(lattice_->m_nodes[0].ItemsNum, 0);
  EXPECT_FALSE(producer_->build_lattice(nullptr, 3));

  CLatticeProducer unset;
  EXPECT_FALSE(unset.build_lattice("a", 1));
}

// --- Numbers ---------------------------------------------------------------------

TEST_F(ProducerTest, NumberFollowedByFenZhiKeepsFenZhiWhole) {
  words_.add(FEN);
  words_.add(FEN + ZHI);
  words_.add(YI);
  Build(SAN + FEN + ZHI + YI);
  EXPECT_EQ(producer_->m_fenzhi_idx, words_.idx(FEN + ZHI) + 1);
  // 三 is a number factoid (type 15): posIndex 14.
  EXPECT_EQ(Items(2), V{Fact(0, 2, kAttrNumber, 14)});
  EXPECT_TRUE(Amb(2));
  EXPECT_TRUE(Items(4).empty());
  EXPECT_EQ(Items(6), V{Word(2, FEN + ZHI)});
  EXPECT_TRUE(Amb(6));
  EXPECT_EQ(Items(8), V{Word(6, YI)});
  EXPECT_TRUE(Amb(8));
}

TEST_F(ProducerTest, NumberFollowedByOtherAmbiguousWordExpandsItsSpan) {
  words_.add(GE);
  words_.add(GE + REN);
  words_.add(REN);
  Build(SAN + GE + REN);
  EXPECT_EQ(Items(2), V{Fact(0, 2, kAttrNumber, 14)});
  EXPECT_EQ(Items(4), V{Word(2, GE)});
  EXPECT_EQ(Items(6), (V{Word(2, GE + REN), Word(4, REN)}));
  EXPECT_FALSE(Amb(4));
  EXPECT_FALSE(Amb(6));

  // Without the number before it the word is taken whole.
  Build(DE + GE + REN);
  EXPECT_EQ(Items(2), V{Char(0, 2)});
  EXPECT_TRUE(Items(4).empty());
  EXPECT_EQ(Items(6), V{Word(2, GE + REN)});
  EXPECT_TRUE(Amb(6));
}

TEST_F(ProducerTest, NumberFollowedByWordWithoutPropertiesKeepsItWhole) {
  words_.add(GE);
  words_.add(GE + REN, 0, /*props=*/false);
  words_.add(REN);
  Build(SAN + GE + REN);
  EXPECT_TRUE(Items(4).empty());
  EXPECT_EQ(Items(6), V{Word(2, GE + REN)});
  EXPECT_TRUE(Amb(6));
}

TEST_F(ProducerTest, WordAsLongAsTheFactoidWinsAndTakesItsPosIndex) {
  words_.add("2008");
  words_.add(NIAN);
  Build("2008" + NIAN);
  EXPECT_EQ(Items(4), V{Word(0, "2008", 14)});
  EXPECT_TRUE(Amb(4));
  // The step after a number expands: 年 alone, but no bnAmb.
  EXPECT_EQ(Items(6), V{Word(4, NIAN)});
  EXPECT_FALSE(Amb(6));
}

// --- Factoids and overlapping words ------------------------------------------------

TEST_F(ProducerTest, UrlIsNeverShortened) {
  words_.add("m" + ZHONG);
  words_.add(ZHONG + GUO);
  Build("a.com" + ZHONG + GUO);
  EXPECT_EQ(Items(5), V{Fact(0, 5, kAttrAlnum, 49)});
  EXPECT_TRUE(Amb(5));
  EXPECT_TRUE(Items(7).empty());
  EXPECT_EQ(Items(9), V{Word(5, ZHONG + GUO)});
}

TEST_F(ProducerTest, FactoidIsCutWhereAWordOverlapsItsEnd) {
  words_.add("m" + ZHONG);
  words_.add(ZHONG + GUO);
  Build("abcom" + ZHONG + GUO);
  // The cut factoid, the overlapping word (posIndex 0 for both) and the whole
  // factoid (type 23: posIndex 22).
  EXPECT_EQ(Items(4), V{Fact(0, 4, kAttrAlnum, 0)});
  EXPECT_EQ(Items(7), V{Word(4, "m" + ZHONG)});
  EXPECT_EQ(Items(5), V{Fact(0, 5, kAttrAlnum, 22)});
  EXPECT_FALSE(Amb(4) || Amb(5) || Amb(7));
  // An item ends inside 中国: its span is expanded (国 is no word).
  EXPECT_EQ(Items(9), (V{Word(5, ZHONG + GUO), Char(7, 2)}));
  EXPECT_FALSE(Amb(9));
}

TEST_F(ProducerTest, FactoidCutBeforeTOrQDropsTheWholeFactoid) {
  words_.add("t" + ZHONG);
  Build("abcot" + ZHONG + GUO);
  EXPECT_EQ(Items(4), V{Fact(0, 4, kAttrAlnum, 0)});
  EXPECT_EQ(Items(7), V{Word(4, "t" + ZHONG)});
  EXPECT_TRUE(Items(5).empty());
  // The walk goes on after the word.
  EXPECT_EQ(Items(9), V{Char(7, 2)});
  EXPECT_TRUE(Amb(9));
}

TEST_F(ProducerTest, NumberCutBeforeItsLastTwoBytes) {
  words_.add("38" + ZHONG);
  words_.add("58" + ZHONG);
  // "3" two bytes before the end: the whole number is not offered.
  Build("1238" + ZHONG);
  EXPECT_EQ(Items(2), V{Fact(0, 2, kAttrNumber, 0)});
  EXPECT_EQ(Items(6), V{Word(2, "38" + ZHONG)});
  EXPECT_TRUE(Items(4).empty());

  // "5" there: the whole number stays, and 中 follows a number (expanded).
  Build("1258" + ZHONG);
  EXPECT_EQ(Items(2), V{Fact(0, 2, kAttrNumber, 0)});
  EXPECT_EQ(Items(4), V{Fact(0, 4, kAttrNumber, 14)});
  EXPECT_EQ(Items(6), (V{Word(2, "58" + ZHONG), Char(4, 2)}));
  EXPECT_FALSE(Amb(6));
}

// --- Word types -------------------------------------------------------------------

TEST_F(ProducerTest, Type88WordYieldsTwinItemsAndMarksTheNode) {
  words_.add(DA);
  words_.add(XUE);
  words_.add(SHENG);
  words_.add(DA + XUE);
  words_.add(XUE + SHENG);
  words_.add_rule(DA + XUE + SHENG, 88, {{{DA + XUE, SHENG}, -0.25f}, {{DA, XUE + SHENG}, -0.5f}});
  words_.add_rule(ZHONG + GUO, 89, {{{ZHONG, GUO}, -0.25f}});
  words_.add(ZHONG);
  words_.add(GUO);
  Build(DA + XUE + SHENG);
  EXPECT_EQ(Items(6), (V{Word(0, DA + XUE + SHENG, 0, 88), Word(0, DA + XUE + SHENG, 0, -88)}));
  EXPECT_TRUE(lattice_->m_nodes[6].bRule);
  EXPECT_TRUE(Amb(6));
  EXPECT_FALSE(lattice_->item(6, 0)->bcomb);

  Build(ZHONG + GUO);
  EXPECT_EQ(Items(4), V{Word(0, ZHONG + GUO, 0, 89)});
  EXPECT_TRUE(lattice_->m_nodes[4].bRule);
}

TEST_F(ProducerTest, CombinationWordOffersItsParts) {
  words_.add(ZHONG);
  words_.add(GUO);
  words_.add(ZHONG + GUO, 90);
  Build(ZHONG + GUO);
  EXPECT_EQ(Items(2), V{Word(0, ZHONG)});
  EXPECT_EQ(Items(4), (V{Word(0, ZHONG + GUO, 0, 90), Word(2, GUO)}));
  EXPECT_TRUE(lattice_->item(4, 0)->bcomb);
  EXPECT_FALSE(lattice_->item(4, 1)->bcomb);
  EXPECT_FALSE(lattice_->m_nodes[4].bRule);
  EXPECT_FALSE(Amb(2) || Amb(4));
}

TEST_F(ProducerTest, WordRunningPastTheLongestWordForcesExpansion) {
  words_.add(DE + ZHONG);
  words_.add(DE);
  words_.add(ZHONG + GUO);
  words_.add(GUO);
  Build(DE + ZHONG + GUO);
  // 的中 is the longest word at 0, but 中国 starts inside it and ends beyond:
  // every word of the span is offered, 中国 included.
  EXPECT_EQ(Items(2), V{Word(0, DE)});
  EXPECT_EQ(Items(4), V{Word(0, DE + ZHONG)});
  // The next step (国) adds its word beside the one that ran across.
  EXPECT_EQ(Items(6), (V{Word(2, ZHONG + GUO), Word(4, GUO)}));
  EXPECT_FALSE(Amb(2) || Amb(4) || Amb(6));
}

// --- Capacities -------------------------------------------------------------------

std::vector<std::pair<std::vector<std::string>, LogP>> SelfBlocks(const std::string& w) {
  return {{{w}, -0.1f}, {{w}, -0.2f}};
}

TEST_F(ProducerTest, NodeCapacityIsFirstItemLengthPlusTwo) {
  // One-byte characters that are no factoids.  Node 4 first gets [1,4) (3
  // bytes: room for 5 items) and its twin, then [2,4) and its twin, then
  // [3,4): the twin of that one is the sixth item and is dropped.  (A node
  // whose first item is 2 bytes long cannot overflow this way: only two
  // positions can end words there.)
  words_.add("([<", 90);
  words_.add_rule("[<{", 88, SelfBlocks("[<{"));
  words_.add_rule("<{", 88, SelfBlocks("<{"));
  words_.add_rule("{", 88, SelfBlocks("{"));
  testing::internal::CaptureStderr();
  Build("([<{");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, kNodeFull);
  EXPECT_EQ(Items(4), (V{Word(1, "[<{", 0, 88), Word(1, "[<{", 0, -88), Word(2, "<{", 0, 88),
                         Word(2, "<{", 0, -88), Word(3, "{", 0, 88)}));
  EXPECT_EQ(lattice_->m_nodes[4].size, 5u);
  EXPECT_EQ(Items(3), V{Word(0, "([<", 0, 90)});
  EXPECT_FALSE(Amb(4));  // [1,4) had already run past position 3
}

TEST_F(ProducerTest, NodeNeverHoldsMoreThan255Items) {
  // A 255-byte text of distinct-looking symbols; every suffix from position
  // 1 on is a type-88 word ending at node 255: 508 items for one node.
  std::string alphabet;
  for (int c = 1; c < 0x80; ++c) {
    if (c >= '0' && c <= '9') continue;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-') continue;
    alphabet += (char)c;
  }
  std::mt19937 rng(7);
  std::string text;
  for (int k = 0; k < 255; ++k) text += alphabet[rng() % alphabet.size()];
  words_.add(text, 90);
  for (int p = 1; p < 255; ++p) words_.add_rule(text.substr(p), 88, SelfBlocks(text.substr(p)));

  testing::internal::CaptureStderr();
  Build(text);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(lattice_->m_nodes[255].ItemsNum, 255);
  EXPECT_EQ(Items(255)[0], Word(0, text, 0, 90));
  size_t messages = 0;
  for (size_t at = err.find(kNodeFull); at != std::string::npos; at = err.find(kNodeFull, at + 1))
    ++messages;
  EXPECT_GE(messages, 254u);  // 509 offered, 255 kept

  // The path search copes with item indexes up to 254.
  Ngram lm(3);
  lm.LogP_unk_word = -5.0f;
  EXPECT_TRUE(rule_path_search(*lattice_, 255, *dict_, lm, Vocab_None, false, nullptr));
  EXPECT_TRUE(rule_path_set(*lattice_, 255));
}

// The search buffer: with every run of "(" a word, each position has up to
// 255 words, far more than the buffer holds for a whole span.
TEST_F(ProducerTest, PositionsWhoseSearchGroupDoesNotFitGetTheirCharacter) {
  for (int k = 1; k <= 255; ++k) words_.add(std::string(k, '('));
  Build(std::string(600, '('));
  // Step 0 spans 255 positions; each group takes 256 entries, so the groups
  // of positions 0 to 15 fit and the others get single characters.
  for (uint32_t p : {17u, 20u, 255u}) {
    V want;
    for (uint32_t q = 0; q <= 15 && q < p; ++q) {
      if (p - q <= 255) want.push_back(Word(q, std::string(p - q, '(')));
    }
    if (p - 1 >= 16) want.push_back(Char(p - 1, 1));
    EXPECT_EQ(Items(p), want) << p;
  }
}

TEST_F(ProducerTest, PositionWhoseGroupIsCutShortGetsItsCharacter) {
  for (int k = 1; k <= 200; ++k) words_.add(std::string(k, '('));
  Build(std::string(300, '('));
  // Groups of 201 entries: positions 0 to 19 fit, position 20's group is cut
  // after 75 indexes, later positions have no room at all.
  V want21, want22;
  for (uint32_t q = 0; q <= 19; ++q) want21.push_back(Word(q, std::string(21 - q, '(')));
  want21.push_back(Char(20, 1));
  for (uint32_t q = 0; q <= 19; ++q) want22.push_back(Word(q, std::string(22 - q, '(')));
  want22.push_back(Char(21, 1));
  EXPECT_EQ(Items(21), want21);
  EXPECT_EQ(Items(22), want22);
}

TEST_F(ProducerTest, WordIndexBeyondTheWordCountIsReportedAndIgnored) {
  words_.add(ZHONG);
  words_.add(ZHONG + GUO);
  words_.add(GUO);
  dict_ = words_.load();
  producer_->set_resource(lattice_.get(), dict_.get(), &factoid_);
  // Byte order gives 国 0, 中 1, 中国 2: hide the last word from the
  // properties, as a dictionary whose files disagree would.
  ASSERT_EQ(words_.idx(ZHONG + GUO), 2u);
  const uint32_t saved = dict_->mWordNum;
  dict_->mWordNum = 2;
  testing::internal::CaptureStderr();
  Build(ZHONG + GUO);
  const std::string err = testing::internal::GetCapturedStderr();
  dict_->mWordNum = saved;
  EXPECT_EQ(err, "invalid word index: 2\n");
  // The longest word is unusable, so position 0 has no word at all.
  EXPECT_EQ(Items(2), V{Char(0, 2)});
  EXPECT_EQ(Items(4), V{Word(2, GUO)});
}

// --- Invariants on random input -----------------------------------------------------

TEST(ProducerRandom, LatticesKeepTheirInvariantsAndHaveAPath) {
  std::mt19937 rng(12345);
  // Characters: Chinese ones, digits, letters, symbols, "分之"-type pieces.
  const std::vector<std::string> chars = {ZHONG, GUO, REN, GE, SAN, YI, FEN, ZHI, DE,
                                          "1",   "2", "8", "a", "t", ".", "(", "\x80"};
  auto random_text = [&](size_t n) {
    std::string s;
    while (s.size() < n) s += chars[rng() % chars.size()];
    return s;
  };
  TestDict words;
  std::set<std::string> seen;
  std::vector<std::string> list;
  while (list.size() < 60) {
    std::string w = random_text(1 + rng() % 6);
    if (seen.insert(w).second) list.push_back(w);
  }
  // Part of the words carry rule blocks over words of the list.
  for (size_t k = 0; k < list.size(); ++k) {
    const std::string& w = list[k];
    switch (k % 6) {
      case 0:
        words.add_rule(w, 88, SelfBlocks(w));
        break;
      case 1:
        words.add_rule(w, 89, {{{w}, -0.3f}});
        break;
      case 2:
        words.add(w, 90);
        break;
      case 3:
        words.add(w, 0, false);
        break;
      default:
        words.add(w);
    }
  }
  if (!seen.count(FEN + ZHI)) words.add(FEN + ZHI);
  std::unique_ptr<CBasicDict> dict = words.load();
  CFactoid factoid;
  auto lattice = std::make_unique<CLattice>();
  auto producer = std::make_unique<CLatticeProducer>();
  producer->set_resource(lattice.get(), dict.get(), &factoid);
  Ngram lm(3);
  lm.LogP_unk_word = -4.0f;

  for (int round = 0; round < 400; ++round) {
    std::string s = random_text(1 + rng() % 120);
    const uint32_t n = (uint32_t)s.size();
    testing::internal::CaptureStderr();
    ASSERT_TRUE(producer->build_lattice(s.data(), n));
    testing::internal::GetCapturedStderr();
    uint32_t max_end = 0;
    for (uint32_t p = 0; p <= n; ++p) {
      const tNodeInfo& node = lattice->m_nodes[p];
      ASSERT_LE(node.ItemsNum, node.size);
      if (p == 0) {
        ASSERT_EQ(node.ItemsNum, 0);
      }
      for (uint32_t j = 0; j < node.ItemsNum; ++j) {
        const tSegItemInfo& it = *lattice->item(p, j);
        ASSERT_GE(it.length, 1u);
        ASSERT_EQ(it.begin_pos + it.length, p);
        max_end = std::max(max_end, p);
        // Nothing crosses a node marked bnAmb.
        for (uint32_t q = it.begin_pos + 1; q < p; ++q) {
          ASSERT_FALSE(lattice->m_nodes[q].bnAmb) << s;
        }
      }
    }
    ASSERT_GT(lattice->m_nodes[n].ItemsNum, 0) << s;
    ASSERT_EQ(lattice->m_prev_end_idx, max_end);

    ASSERT_TRUE(rule_path_search(*lattice, n, *dict, lm, Vocab_None, false, nullptr));
    ASSERT_TRUE(rule_path_set(*lattice, n)) << s;
    // The marked words tile the sentence.
    uint32_t p = (uint32_t)lattice->m_nodes[0].nNextLen, covered = 0;
    while (p <= n) {
      const tSegItemInfo* it = lattice->m_nodes[p].MaxItem;
      ASSERT_NE(it, nullptr);
      ASSERT_EQ(it->begin_pos, covered);
      covered = p;
      p += (uint32_t)lattice->m_nodes[p].nNextLen;
    }
    ASSERT_EQ(covered, n);
  }
}

}  // namespace
