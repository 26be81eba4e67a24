// The ambiguity passes over the chosen path: rule-word splitting, longer
// words over pieces, fractions, numbers with a unit, user rules and the
// secondary lexicon, on hand-built lattices whose resulting segmentation is
// compared.
#include "seg/ambiguity.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dict/BasicDict.h"
#include "dict/BasicDictWriter.h"
#include "dict/CustomDict.h"
#include "dict/CustomDictWriter.h"
#include "dict/RuleDict.h"
#include "dict/RuleDictWriter.h"
#include "seg/char_class.h"
#include "seg/lattice.h"
#include "support/gbk_literals.h"
#include "support/test_dict.h"

namespace {

using lxtest::G;
using lxtest::U;
using Rules = std::vector<std::pair<std::string, std::vector<int>>>;

// The dictionary of every test: plain words, rule words (type 89 with one
// block, 88 with two) and unusable rule words.
class Dict {
 public:
  Dict() {
    for (const char* w : {"中国", "人民", "中", "国人", "民", "大学", "生", "大中", "国", "人",
                          "分之", "三万", "一个", "王五", "大学生活", "个人"})
      add(w, 0, {});
    add("中国人民", 88, {{{"中国", "人民"}, -1.0f}, {{"中", "国人", "民"}, -2.0f}});
    add("大学生", 89, {{{"大学", "生"}, -1.0f}});
    add("大中国", 89, {{{"大中", "国"}, -1.0f}});
    add("国民", 89, {{{}, -1.0f}});                         // block count 0
    add("民生", 88, {{{}, -1.0f}, {{"民", "生"}, -1.0f}});  // first block empty
    add("学生", 89, {});                                    // no rule block at all
    add("生民", 89, {{{"生"}, -1.0f}});                     // sub-words shorter than the word
    EXPECT_TRUE(files_.write_and_load(dict)) << files_.error();
  }
  uint32_t attr(const std::string& utf8) const {
    const long i = files_.index_of(G(utf8));
    EXPECT_GE(i, 0) << utf8;
    return static_cast<uint32_t>(i + 1);
  }
  CBasicDict dict;

 private:
  void add(const std::string& word, uint16_t type,
           const std::vector<std::pair<std::vector<std::string>, LogP>>& blocks) {
    basic_dict_entry_t e;
    e.word = G(word), e.name_entity = type;
    std::vector<rule_value_t> rule;
    std::vector<prop_item_t> pos;
    for (const auto& b : blocks) {
      std::vector<std::string> parts;
      for (const std::string& s : b.first) parts.push_back(G(s));
      std::vector<rule_value_t> r = BasicDictRuleBlock(parts, b.second);
      rule.insert(rule.end(), r.begin(), r.end());
      for (size_t k = 0; k < b.first.size(); ++k) pos.push_back({1, -0.5f});
    }
    if (!blocks.empty()) e.rule = rule;
    if (pos.empty()) pos.push_back({1, -0.5f});
    e.pos = pos;
    EXPECT_TRUE(files_.add(e)) << word;
  }
  lxtest::TestDict files_{"lx_amb_"};
};

// An item over bytes [b, e): a dictionary word (UTF-8), a single character
// (null) or a number factoid ("#").
struct It { uint32_t b, e; const char* word = nullptr; int type = 0; uint8_t pos = 0; };

class AmbTest : public testing::Test {
 protected:
  AmbTest() : lat_(new CLattice), fenzhi_(words_.attr("分之")) {}

  void Reset(const std::string& gbk) {
    text_ = gbk;
    n_ = (uint32_t)text_.size();
    lat_->clear(n_);
  }
  uint32_t Attr(const char* w) const {
    if (w == nullptr) return kAttrSingleChar;
    if (std::string(w) == "#") return kAttrNumber;
    return words_.attr(w);
  }
  int Add(const It& x) {
    const int type = (x.word == nullptr && x.type == 0) ? kItemSingleChar : x.type;
    // (nPreIndex 3: something the passes reset.)
    const tSegItemInfo it{x.b, x.e - x.b, type, x.pos, 50, 0, false, 0, 3, Attr(x.word)};
    EXPECT_NE(lat_->add_item(x.e, it, 8), nullptr);
    if (it.type == 88 || it.type == 89) lat_->m_nodes[x.e].bRule = true;
    return lat_->m_nodes[x.e].ItemsNum - 1;
  }
  // Marks the path: its words as (end node, item index), left to right.
  void Path(const std::vector<std::pair<uint32_t, int>>& words) {
    for (const auto& w : words) {
      tNodeInfo& node = lat_->m_nodes[w.first];
      node.MaxItem = lat_->item(w.first, (uint32_t)w.second);
      node.bBest = true, node.IdxMaxItemWeight = (uint8_t)w.second;
      lat_->m_nodes[node.MaxItem->begin_pos].nNextLen = node.MaxItem->length;
    }
    lat_->m_nodes[n_].nNextLen = 1;
  }
  // Single characters of `len` bytes over the whole sentence, as the path.
  void CharPath(uint32_t len) {
    std::vector<std::pair<uint32_t, int>> path;
    for (uint32_t p = len; p <= n_; p += len) path.push_back({p, Add({p - len, p})});
    Path(path);
  }

  // The path walked from node 0, words in UTF-8 joined by "|".  Fails unless
  // the walk tiles the sentence, every word is its node's chosen item at
  // IdxMaxItemWeight and the path nodes are marked.
  std::string Seg() const {
    std::string out;
    uint32_t covered = 0;
    size_t p = lat_->m_nodes[0].nNextLen;
    for (uint32_t steps = 0; p <= n_; ++steps) {
      const tNodeInfo& node = lat_->m_nodes[p];
      const tSegItemInfo* it = node.MaxItem;
      if (steps > n_ || p == 0 || it == nullptr || it->begin_pos != covered ||
          it->begin_pos + it->length != p || !node.bBest || !node.bBegin ||
          node.IdxMaxItemWeight >= node.ItemsNum ||
          lat_->item((uint32_t)p, node.IdxMaxItemWeight) != it) {
        ADD_FAILURE() << "inconsistent path at node " << p << " after " << out;
        return out + "?";
      }
      out += (out.empty() ? "" : "|") + U(text_.substr(it->begin_pos, it->length));
      covered = (uint32_t)p;
      p += node.nNextLen;
    }
    EXPECT_EQ(covered, n_);
    EXPECT_EQ(lat_->m_nodes[0].ItemsNum, 0) << "the sentence start holds no items";
    return out;
  }
  tSegItemInfo& Chosen(uint32_t p) const { return *lat_->m_nodes[p].MaxItem; }

  CAmbiguityResolver Resolver(bool pmul = false) {
    CAmbiguityResolver r(*lat_, &words_.dict, rules_.get(), seclex_.get(), fenzhi_, pmul);
    r.set_sentence(text_.data(), n_);
    return r;
  }
  void LoadRules(const Rules& rules) {
    CRuleDictWriter w;
    for (const auto& r : rules) w.add(r.first, r.second);
    rules_ = std::make_unique<CRuleDict>();
    ASSERT_TRUE(w.write(dir_.file("UserAmbRule").c_str()) && rules_->loadDict(dir_.file("UserAmbRule").c_str()));
  }
  // Record 0 goes to a placeholder word: the pass never uses record 0.
  void LoadSeclex(std::vector<seclex_entry_t> entries) {
    entries.push_back({"!!", 33});
    const std::string lex = dir_.file("Sec.Lex"), prop = dir_.file("Sec.Prop");
    seclex_ = std::make_unique<CCustomDict>();
    ASSERT_TRUE(write_second_lexicon(lex.c_str(), prop.c_str(), entries) &&
                seclex_->LoadDict(lex.c_str(), prop.c_str()) == 1);
  }

  lxtest::TempDir dir_{"lx_amb_"};
  Dict words_;
  std::unique_ptr<CLattice> lat_;
  uint32_t fenzhi_;
  std::unique_ptr<CRuleDict> rules_;
  std::unique_ptr<CCustomDict> seclex_;
  std::string text_;
  uint32_t n_ = 0;
};

// Rule words, longer words over pieces and fractions, through
// _clear_cob_ovp_amb.
TEST_F(AmbTest, RuleWordsPiecesAndFractions) {
  struct Case {
    std::string text;  // GBK
    std::vector<It> items;
    std::vector<std::pair<uint32_t, int>> path;
    const char* seg;
    bool pmul = false, diagnostic = false;
  };
  const std::string kFz = G("分之");
  const Case cases[] = {
      // 88 by its first block, its twin -88 by the second, both whole with LX_PMUL.
      {G("中国人民"), {{0, 2}, {6, 8}, {0, 8, "中国人民", 88}, {0, 8, "中国人民", -88}}, {{8, 1}}, "中国|人民"},
      {G("中国人民"), {{0, 2}, {6, 8}, {0, 8, "中国人民", 88}, {0, 8, "中国人民", -88}}, {{8, 2}}, "中|国人|民"},
      {G("中国人民"), {{0, 2}, {6, 8}, {0, 8, "中国人民", 88}, {0, 8, "中国人民", -88}}, {{8, 2}}, "中国人民", true},
      // An inner node with items of its own.
      {G("中国人民"), {{0, 4, "中国"}, {2, 4}, {0, 8, "中国人民", 88}}, {{8, 0}}, "中国|人民"},
      // 89 over several path words; not when it lies after the chosen item.
      {G("大学生"), {{0, 2}, {2, 4}, {0, 4, "大学"}, {0, 6, "大学生", 89}, {4, 6}}, {{2, 0}, {4, 0}, {6, 1}}, "大学|生"},
      {G("大学生"), {{0, 2}, {2, 4}, {4, 6}, {0, 6, "大学生", 89}}, {{2, 0}, {4, 0}, {6, 0}}, "大|学|生"},
      // Splitting 中国人民 gives 中国 ending where 大中国 (89) ends: split too.
      {G("大中国人民"),
       {{0, 2}, {0, 4, "大中"}, {2, 4}, {0, 6, "大中国", 89}, {4, 6}, {8, 10}, {2, 10, "中国人民", 88},
        {2, 10, "中国人民", -88}}, {{2, 0}, {10, 1}}, "大中|国|人民"},
      // Block count 0: only the combination check, which a longer word passes.
      {G("人国民"), {{0, 2}, {0, 6}, {2, 6, "国民", 89}}, {{2, 0}, {6, 1}}, "人国民"},
      {G("人国民"), {{0, 2}, {4, 6}, {2, 6, "国民", 89}}, {{2, 0}, {6, 1}}, "人|国民"},
      // An empty first block keeps 88 whole; its twin reads the second one.
      {G("民生"), {{0, 2}, {2, 4}, {0, 4, "民生", 88}, {0, 4, "民生", -88}}, {{4, 1}}, "民生"},
      {G("民生"), {{0, 2}, {2, 4}, {0, 4, "民生", 88}, {0, 4, "民生", -88}}, {{4, 2}}, "民|生"},
      // Unusable rule words stay whole, with a diagnostic.
      {G("学生"), {{0, 2}, {0, 4, "学生", 89}}, {{4, 0}}, "学生", false, true},
      {G("生民"), {{0, 2}, {0, 4, "生民", 89}}, {{4, 0}}, "生民", false, true},
      // A longer word over pieces, skipping unfit ones (a combination, a
      // type of 89 and up, a word not starting on the path).
      {G("人大学"), {{0, 2}, {0, 4}, {0, 6, nullptr, 90}, {2, 6}, {4, 6}}, {{4, 0}, {6, 2}}, "人大|学"},
      {G("人大学"), {{0, 2}, {2, 4}, {0, 6, "人"}, {4, 6}}, {{2, 0}, {4, 0}, {6, 1}}, "人大学"},
      // A -88 word over pieces needs LX_PMUL, and stops the number rules.
      {G("三万"), {{0, 2}, {0, 4, nullptr, -88}, {2, 4}}, {{2, 0}, {4, 1}}, "三|万"},
      {G("三万"), {{0, 2}, {0, 4, nullptr, -88}, {2, 4}}, {{2, 0}, {4, 1}}, "三万", true},
      // Fractions: numbers on both sides of 分之, inside the sentence.
      {"3" + kFz + "4", {{0, 1, "#", 58, 14}, {1, 5, "分之"}, {5, 6, "#", 58, 14}},
       {{1, 0}, {5, 0}, {6, 0}}, "3分之4"},
      {G("人分之一"), {{0, 2}, {2, 6, "分之"}, {6, 8}}, {{2, 0}, {6, 0}, {8, 0}}, "人|分之|一"},
      {G("分之一"), {{0, 4, "分之"}, {4, 6}}, {{4, 0}, {6, 0}}, "分之|一"},
      {G("三分之"), {{0, 2}, {2, 6, "分之"}}, {{2, 0}, {6, 0}}, "三|分之"},
      {G("三分之一"), {{0, 2}, {2, 6, "分之"}, {6, 8}}, {{2, 0}, {6, 0}, {8, 0}}, "三分之一"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(U(c.text) + " -> " + c.seg);
    Reset(c.text);
    for (const It& x : c.items) Add(x);
    Path(c.path);
    testing::internal::CaptureStderr();
    Resolver(c.pmul)._clear_cob_ovp_amb();
    EXPECT_EQ(testing::internal::GetCapturedStderr().empty(), !c.diagnostic);
    EXPECT_EQ(Seg(), c.seg);
  }
  // The merged fraction is one numeral.
  EXPECT_EQ(Chosen(n_).posIndex, kPosIndexNumeral);
  EXPECT_EQ(Chosen(n_).nAttributeIdx, kAttrSingleChar);
}

TEST_F(AmbTest, NumberWithUnit) {
  const struct {
    const char* number;  // ASCII numbers are factoids with posIndex 14
    const char* unit;
    uint8_t pos;  // posIndex of the merged item; 0: no merge
  } cases[] = {
      {"三", "万", kPosIndexNumeral}, {"三", "月", kPosIndexTime},
      {"1234", "万", kPosIndexNumeral}, {"1234", "年", kPosIndexTime},
      {"三", "年", 0}, {"98", "年", 0}, {"12345", "年", 0},  // 年 takes four digits
      {"12", "月", kPosIndexTime},
      {"12", "分", kPosIndexTime}, {"123", "分", 0}, {"2693", "分", 0},  // two at most
      {"3", "天", 0}, {"10", "秒", 0}, {"5", "号", 0}, {"5", "日", kPosIndexTime},
      {"12345", "万", kPosIndexNumeral}, {"5%", "万", 0}, {"5%", "年", 0},
      {"3个", "月", 0},  // ends in 个
      {"3", "月", kPosIndexTime}, {"人", "万", 0}, {"三", "人", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.number) + c.unit);
    const std::string num = G(c.number);
    Reset(num + G(c.unit));
    const uint32_t m = (uint32_t)num.size();
    const bool ascii = (unsigned char)num[0] < 0x80;
    Path({{m, Add(ascii ? It{0, m, "#", kItemFactoid, kPosIndexNumeral} : It{0, m})},
          {m + 2, Add({m, m + 2})}});
    Resolver()._clear_cob_ovp_amb();
    EXPECT_EQ(Seg(), c.pos ? U(text_) : U(num) + "|" + c.unit);
    if (c.pos) { EXPECT_EQ(Chosen(n_).posIndex, c.pos); }
  }
}

// --- User rules ------------------------------------------------------------------

TEST_F(AmbTest, UserRulesResegmentSpansEndingOnPathNodes) {
  const struct { Rules rules; const char* seg; } cases[] = {
      {{{G("中国人民"), {2, 2, 2}}}, "中国|人民|大学"},  // segments that do not tile the key
      {{{G("中国人民"), {2, 4, 2}}}, "中|国人|民|大学"},
      // 中国人 ends inside 人民: the shorter 中国 applies.
      {{{G("中国人"), {2, 4}}, {G("中国"), {2, 2}}}, "中|国|人民|大学"},
      // The search goes on after a rule, only at path nodes.
      {{{G("中国人民"), {2, 4, 2}}, {G("大学"), {2, 2}}, {G("国人"), {2, 2}}, {G("人民大"), {2, 4}}},
       "中|国人|民|大|学"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seg);
    LoadRules(c.rules);
    Reset(G("中国人民大学"));
    for (const It& x : {It{0, 2}, It{0, 4, "中国"}, It{4, 6}, It{2, 6, "国人", 88},
                        It{4, 8, "人民"}, It{6, 8}, It{8, 12, "大学"}})
      Add(x);
    lat_->m_nodes[6].bRule = false;
    Path({{4, 0}, {8, 0}, {12, 0}});
    Resolver()._clear_amb_by_userrule();
    EXPECT_EQ(Seg(), c.seg);
  }
  // A fresh item for a new boundary is a plain single item.
  const tSegItemInfo& da = Chosen(10);
  EXPECT_EQ(da.type, kItemSingleChar);
  EXPECT_EQ(da.perIdx, 50);
  EXPECT_FALSE(da.bcomb);
}

TEST_F(AmbTest, UserRulesTryOnlyTheSixteenShortestMatches) {
  const std::string text = "abcdefghijklmnopqrst";
  for (int lo : {1, 2}) {
    Rules rules;
    for (int len = lo; len <= 17; ++len) rules.push_back({text.substr(0, len), {len}});
    LoadRules(rules);
    Reset(text);
    CharPath(1);
    Resolver()._clear_amb_by_userrule();
    // With 17 matches the longest is not kept; with 16 it is.
    const size_t first = lo == 1 ? 16 : 17;
    std::string expect = text.substr(0, first);
    for (size_t k = first; k < text.size(); ++k) expect += std::string("|") + text[k];
    EXPECT_EQ(Seg(), expect) << lo;
  }
}

// --- Secondary lexicon -----------------------------------------------------------

TEST_F(AmbTest, SecondaryLexiconMergesTwoShortWords) {
  const struct { const char* word; int data; uint8_t pos; int type; } cases[] = {
      {"王五", 33, 16, 62}, {"王二", 32, 16, 61}, {"中山", 39, 19, 64},
      {"大同", 38, 19, 63}, {"人们", 2, 1, 86},
  };
  std::vector<seclex_entry_t> entries = {{G("五说"), 33}};
  for (const auto& c : cases) entries.push_back({G(c.word), c.data});
  LoadSeclex(entries);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.word);
    Reset(G(c.word) + G("说"));
    CharPath(2);
    Resolver()._clear_cob_by_seclex();
    EXPECT_EQ(Seg(), std::string(c.word) + "|说");
    EXPECT_EQ(Chosen(4).posIndex, c.pos);
    EXPECT_EQ(Chosen(4).type, c.type);
  }
  // A record whose length is not the pair's: the walk goes on to 五说.
  const int v = seclex_->m_cd.exactMatchSearch<int>(G("王五").c_str());
  ASSERT_GT(v, 0);
  for (unsigned bad : {2u, 6u}) {
    seclex_->m_attr[v].len = bad;
    Reset(G("王五说"));
    CharPath(2);
    Resolver()._clear_cob_by_seclex();
    EXPECT_EQ(Seg(), "王|五说") << bad;
  }
}

}  // namespace
