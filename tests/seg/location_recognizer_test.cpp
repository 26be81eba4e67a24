// Location-name recognition (head, middles, tail with prefix limits; the
// rejection rules; the scan and where it resumes) and the entity item
// insertion shared with person names (fields, bnAmb, counting, full nodes).
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "dict/BasicDict.h"
#include "dict/BasicDictWriter.h"
#include "dict/NerResource.h"
#include "seg/lattice.h"
#include "seg/location_recognizer.h"
#include "seg/ne_context.h"
#include "seg/ne_items.h"
#include "support/test_dict.h"

namespace {

const std::string BEI = "\xB1\xB1";   // 北
const std::string JING = "\xBE\xA9";  // 京
const std::string SHI = "\xCA\xD0";   // 市
const std::string SAN = "\xC8\xFD";   // 三
const std::string YA = "\xD1\xC7";    // 亚
const std::string DE = "\xB5\xC4";    // 的
const std::string HU = "\xBA\xFE";    // 湖

const uint8_t LH = NE_ROLE_LH, LM = NE_ROLE_LM, LT = NE_ROLE_LT;
const uint8_t FH = NE_ROLE_FH, FM = NE_ROLE_FM, FT = NE_ROLE_FT, A = NE_ROLE_A;

// "词条可存储空间已满\n" in GBK.
const char kFullMessage[] =
    "\xB4\xCA\xCC\xF5\xBF\xC9\xB4\xE6\xB4\xA2\xBF\xD5\xBC\xE4\xD2\xD1\xC2\xFA\n";

// 北京 (LH -1.0, LT -4.0), 市 (LT -0.5), 湖 (LM -2.0), and 北京市, a
// combination word (bit 11 of its type).
class Dict {
 public:
  Dict() {
    Add(BEI + JING, {{LH, -1.0f}, {LT, -4.0f}});
    Add(SHI, {{LT, -0.5f}});
    Add(HU, {{LM, -2.0f}});
    basic_dict_entry_t comb;
    comb.word = BEI + JING + SHI;
    comb.name_entity = 0x800 | 90;
    EXPECT_TRUE(files_.add(comb));
    EXPECT_TRUE(files_.write_and_load(dict)) << files_.error();
  }
  size_t index(const std::string& w) const { return static_cast<size_t>(files_.index_of(w)); }
  CBasicDict dict;

 private:
  void Add(const std::string& w, std::vector<prop_item_t> ln) {
    basic_dict_entry_t e;
    e.word = w;
    e.ln_roles = ln;
    EXPECT_TRUE(files_.add(e));
  }
  lxtest::TestDict files_{"lx_locrec_"};
};

const Dict& TheDict() {
  static Dict d;
  return d;
}

// A lattice whose chosen path is the given words (byte length, location
// role); each word is the only item of its end node, whose range holds
// `reserve` items.
class PathLattice {
 public:
  PathLattice(const std::string& t, const std::vector<std::pair<uint32_t, uint8_t>>& words,
              uint32_t reserve = 4)
      : text(t), n(static_cast<uint32_t>(t.size())) {
    lat.clear(CLattice::kMaxNodes - 1);
    uint32_t b = 0;
    for (const auto& w : words) {
      tSegItemInfo it{};
      it.begin_pos = b;
      it.length = w.first;
      it.type = 55;
      it.perIdx = A;
      it.perIdxLN = w.second;
      it.nAttributeIdx = CNeItems::_get_attribute_idx(TheDict().dict, text.data() + b, w.first);
      const uint32_t e = b + w.first;
      EXPECT_NE(lat.add_item(e, it, reserve), nullptr);
      tNodeInfo& node = lat.m_nodes[e];
      node.bBest = true;
      node.IdxMaxItemWeight = 0;
      node.MaxItem = lat.item(&node, 0);
      lat.m_nodes[b].nNextLen = w.first;
      ends.push_back(e);
      b = e;
    }
    EXPECT_EQ(b, n);
    lat.m_nodes[n].nNextLen = 1;
  }

  int Scan() {
    return CLocationRecognizer::_ln_mode_match(lat, text.c_str(), n, TheDict().dict, ctx, count);
  }
  // The entity items added, as (begin, length, type).
  std::vector<std::vector<int>> Entities() {
    std::vector<std::vector<int>> out;
    for (uint32_t p = 1; p <= n; ++p) {
      const tNodeInfo& node = lat.m_nodes[p];
      for (uint32_t j = node.ItemsNum - node.ItemsNumNER; j < node.ItemsNum; ++j) {
        const tSegItemInfo* it = lat.item(&node, j);
        out.push_back({(int)it->begin_pos, (int)it->length, it->type});
      }
    }
    return out;
  }

  std::string text;
  uint32_t n;
  CLattice lat;
  NeContextType ctx{};
  int count = 0;
  std::vector<uint32_t> ends;
};

// --- Matching at one position ----------------------------------------------

TEST(LnModeMatch, HeadAndTailMakeAChineseLocation) {
  PathLattice pl(BEI + JING + SHI + DE, {{4, LH}, {2, LT}, {2, A}});
  NeContextType& c = pl.ctx;
  ASSERT_EQ(CLocationRecognizer::_ln_mode_match(pl.lat, pl.n, 4, c), 22);
  EXPECT_EQ(c.mode, 22);
  EXPECT_EQ(c.type, 65);
  EXPECT_EQ(c.begin_pos, 0u);
  EXPECT_EQ(c.len, 6u);
  EXPECT_EQ(c.beg_node, &pl.lat.m_nodes[4]);
  EXPECT_EQ(c.beg_item, pl.lat.m_nodes[4].MaxItem);
  EXPECT_EQ(c.end_node, &pl.lat.m_nodes[6]);
  EXPECT_EQ(c.end_item, pl.lat.m_nodes[6].MaxItem);
  EXPECT_EQ(c.pre_node, nullptr);
  EXPECT_EQ(c.pre_item, nullptr);
  EXPECT_EQ(c.suc_node, &pl.lat.m_nodes[8]);
  EXPECT_EQ(c.suc_item, pl.lat.m_nodes[8].MaxItem);
  EXPECT_EQ(c.suc_match_pos, 8u);
  ASSERT_EQ(c.role_count, 2);
  EXPECT_EQ(c.word_roles[0].prop_idx, TheDict().index(BEI + JING));
  EXPECT_EQ(c.word_roles[0].role_idx, LH);
  EXPECT_EQ(c.word_roles[1].prop_idx, TheDict().index(SHI));
  EXPECT_EQ(c.word_roles[1].role_idx, LT);
}

TEST(LnModeMatch, NeighboursAtTheSentenceEdges) {
  // "的" before, nothing after.
  PathLattice pl(DE + BEI + JING + SHI, {{2, A}, {4, LH}, {2, LT}});
  NeContextType& c = pl.ctx;
  ASSERT_EQ(CLocationRecognizer::_ln_mode_match(pl.lat, pl.n, 6, c), 22);
  EXPECT_EQ(c.begin_pos, 2u);
  EXPECT_EQ(c.pre_node, &pl.lat.m_nodes[2]);
  EXPECT_EQ(c.pre_item, pl.lat.m_nodes[2].MaxItem);
  EXPECT_EQ(c.suc_node, nullptr);
  EXPECT_EQ(c.suc_item, nullptr);
  EXPECT_EQ(c.suc_match_pos, pl.n + 1u);
  EXPECT_EQ(c.role_count, 2);  // 的 lies outside the candidate
}

TEST(LnModeMatch, ChinesePrefixIsAtMostSixBytes) {
  const std::string t = "abcdefghijklmnop";
  {
    PathLattice pl(t.substr(0, 8), {{2, LH}, {2, LM}, {2, LM}, {2, LT}});
    ASSERT_EQ(CLocationRecognizer::_ln_mode_match(pl.lat, pl.n, 2, pl.ctx), 22);
    EXPECT_EQ(pl.ctx.len, 8u);
    EXPECT_EQ(pl.ctx.role_count, 4);
    EXPECT_EQ(pl.ctx.word_roles[2].role_idx, LM);
    EXPECT_EQ(pl.ctx.word_roles[3].role_idx, LT);
    // Not dictionary words: the index is the single-character class minus one.
    EXPECT_EQ(pl.ctx.word_roles[0].prop_idx, kAttrSingleChar - 1u);
  }
  {
    PathLattice pl(t.substr(0, 10), {{2, LH}, {2, LM}, {4, LM}, {2, LT}});
    EXPECT_EQ(CLocationRecognizer::_ln_mode_match(pl.lat, pl.n, 2, pl.ctx), -1);
  }
  {
    // The tail does not count.
    PathLattice pl(t.substr(0, 16), {{6, LH}, {10, LT}});
    EXPECT_EQ(CLocationRecognizer::_ln_mode_match(pl.lat, pl.n, 6, pl.ctx), 22);
  }
  {
    PathLattice pl(t.substr(0, 9), {{7, LH}, {2, LT}});
    EXPECT_EQ(CLocationRecognizer::_ln_mode_match(pl.lat, pl.n, 7, pl.ctx), -1);
  }
}

TEST(LnModeMatch, TransliteratedPrefixIsAtMostTenBytes) {
  const std::string t = "abcdefghijklmnop";
  {
    PathLattice pl(t.substr(0, 12), {{4, FH}, {6, FM}, {2, FT}});
    ASSERT_EQ(CLocationRecognizer::_ln_mode_match(pl.lat, pl.n, 4, pl.ctx), 23);
    EXPECT_EQ(pl.ctx.type, 66);
    EXPECT_EQ(pl.ctx.len, 12u);
  }
  {
    PathLattice pl(t.substr(0, 14), {{4, FH}, {8, FM}, {2, FT}});
    EXPECT_EQ(CLocationRecognizer::_ln_mode_match(pl.lat, pl.n, 4, pl.ctx), -1);
  }
}

TEST(LnModeMatch, RolesMustBeOfOneFamilyAndInOrder) {
  const std::string t = "abcdefgh";
  const std::vector<std::vector<std::pair<uint32_t, uint8_t>>> refused = {
      {{2, LH}, {2, FT}, {4, A}},          // tail of the other family
      {{2, FH}, {2, LM}, {2, LT}, {2, A}},  // middle of the other family
      {{2, LH}, {2, LM}, {4, A}},          // no tail
      {{2, LT}, {2, LT}, {4, A}},          // not a head
      {{2, LM}, {2, LT}, {4, A}},
      {{2, LH}, {2, LH}, {4, LT}},  // a second head ends the first candidate
  };
  for (const auto& words : refused) {
    PathLattice pl(t, words);
    EXPECT_EQ(CLocationRecognizer::_ln_mode_match(pl.lat, pl.n, 2, pl.ctx), -1);
  }
}

TEST(LnModeMatch, NothingReachesPastTheSentenceEnd) {
  {
    PathLattice pl("abcd", {{2, A}, {2, LH}});  // head ends the sentence
    EXPECT_EQ(CLocationRecognizer::_ln_mode_match(pl.lat, pl.n, 4, pl.ctx), -1);
  }
  {
    PathLattice pl("abcd", {{2, LH}, {2, LM}});  // a middle ends the sentence
    EXPECT_EQ(CLocationRecognizer::_ln_mode_match(pl.lat, pl.n, 2, pl.ctx), -1);
  }
  {
    PathLattice pl("abcd", {{2, LH}, {2, LT}});
    EXPECT_EQ(CLocationRecognizer::_ln_mode_match(pl.lat, pl.n, 2, pl.ctx), 22);
    EXPECT_EQ(CLocationRecognizer::_ln_mode_match(pl.lat, pl.n, 9999, pl.ctx), -1);
    EXPECT_EQ(CLocationRecognizer::_ln_mode_match(pl.lat, pl.n, 1, pl.ctx), -1);  // no path node
    EXPECT_EQ(CLocationRecognizer::_ln_mode_match(pl.lat, pl.n, 0, pl.ctx), -1);
  }
}

// --- Rejection rules ---------------------------------------------------------

TEST(LnRuleRevise, NumeralsEqualCharactersAndRepeats) {
  struct Case {
    std::string text;
    std::vector<std::pair<uint32_t, uint8_t>> words;
    bool accepted;
  };
  const std::vector<Case> cases = {
      {SAN + YA, {{2, LH}, {2, LT}}, false},                     // 三X
      {BEI + BEI, {{2, LH}, {2, LT}}, false},                    // two equal characters
      {SAN + YA + SHI, {{2, LH}, {2, LM}, {2, LT}}, true},       // three characters
      {YA + SAN, {{2, LH}, {2, LT}}, true},                      // numeral second
      {BEI + BEI + BEI + SHI, {{2, LH}, {2, LM}, {2, LM}, {2, LT}}, false},  // 北 three times
      {BEI + BEI + SHI, {{2, LH}, {2, LM}, {2, LT}}, true},      // twice is fine
      {"abab", {{2, LH}, {2, LT}}, true},  // four one-byte characters, not two equal ones
      {"aaab", {{2, LH}, {2, LT}}, false},
  };
  for (const Case& c : cases) {
    PathLattice pl(c.text, c.words);
    ASSERT_GT(CLocationRecognizer::_ln_mode_match(pl.lat, pl.n, c.words[0].first, pl.ctx), 0)
        << c.text;
    const int mode = pl.ctx.mode;
    CLocationRecognizer::_ln_rule_revise(pl.text.c_str(), pl.n, pl.ctx);
    if (c.accepted) {
      EXPECT_EQ(pl.ctx.mode, mode) << c.text;
      EXPECT_EQ(pl.ctx.role_count, (int)c.words.size()) << c.text;
    } else {
      EXPECT_EQ(pl.ctx.mode, -1) << c.text;
      EXPECT_EQ(pl.ctx.role_count, 0) << c.text;
    }
  }
}

TEST(LnRuleRevise, SpanOutsideTheSentenceIsRejected) {
  NeContextType c{};
  c.mode = 22;
  c.role_count = 2;
  c.begin_pos = 2;
  c.len = 5;
  CLocationRecognizer::_ln_rule_revise("abcdef", 6, c);
  EXPECT_EQ(c.mode, -1);
  EXPECT_EQ(c.role_count, 0);
}

TEST(LocRule, SingleNumeralsAndFourByteSpans) {
  const char* nums[] = {"\xD2\xBB", "\xB6\xFE", "\xC8\xFD", "\xCB\xC4", "\xCE\xE5",
                        "\xC1\xF9", "\xC6\xDF", "\xB0\xCB", "\xBE\xC5", "\xCA\xAE"};
  for (const char* s : nums) {
    EXPECT_TRUE(CLocationRecognizer::_is_signle_hanzi_num(s, 2)) << s;
    EXPECT_FALSE(CLocationRecognizer::_is_signle_hanzi_num(s, 1));
    EXPECT_FALSE(CLocationRecognizer::_loc_rule((std::string(s) + YA).c_str(), 4));
  }
  EXPECT_FALSE(CLocationRecognizer::_is_signle_hanzi_num(BEI.c_str(), 2));
  EXPECT_FALSE(CLocationRecognizer::_is_signle_hanzi_num("\xB0\xD9", 2));  // 百
  EXPECT_FALSE(CLocationRecognizer::_is_signle_hanzi_num(nullptr, 2));
  EXPECT_FALSE(CLocationRecognizer::_loc_rule((JING + JING).c_str(), 4));
  EXPECT_TRUE(CLocationRecognizer::_loc_rule((BEI + JING).c_str(), 4));
  EXPECT_TRUE(CLocationRecognizer::_loc_rule((SAN + YA + SHI).c_str(), 6));
  EXPECT_TRUE(CLocationRecognizer::_loc_rule(SAN.c_str(), 2));
  EXPECT_TRUE(CLocationRecognizer::_loc_rule(nullptr, 4));
}

TEST(CopyWord, ThreeInARow) {
  const std::string t = "xaaay" + BEI + BEI + BEI + JING + BEI + BEI + "a";
  const int n = (int)t.size();
  EXPECT_TRUE(CNeItems::_is_copy_word(t.c_str(), n, 0, 5));
  EXPECT_TRUE(CNeItems::_is_copy_word(t.c_str(), n, 1, 3));
  EXPECT_FALSE(CNeItems::_is_copy_word(t.c_str(), n, 1, 2));
  EXPECT_TRUE(CNeItems::_is_copy_word(t.c_str(), n, 5, 6));
  EXPECT_FALSE(CNeItems::_is_copy_word(t.c_str(), n, 7, 6));  // 北北京
  EXPECT_FALSE(CNeItems::_is_copy_word(t.c_str(), n, 11, 5));  // 北北a
  // Out of range or too short.
  EXPECT_FALSE(CNeItems::_is_copy_word(t.c_str(), n, -1, 4));
  EXPECT_FALSE(CNeItems::_is_copy_word(t.c_str(), n, 1, n));
  EXPECT_FALSE(CNeItems::_is_copy_word(t.c_str(), n, 1, 1));
  EXPECT_FALSE(CNeItems::_is_copy_word(nullptr, n, 1, 3));
  // A lead byte at the end of the span is not joined with the byte after it.
  const std::string lead = BEI + BEI + "\xB1\xB1";
  EXPECT_FALSE(CNeItems::_is_copy_word(lead.c_str(), 6, 0, 5));
  EXPECT_TRUE(CNeItems::_is_copy_word(lead.c_str(), 6, 0, 6));
  // An ASCII byte never repeats a two-byte character.
  EXPECT_FALSE(CNeItems::_is_copy_word("\xB1\xB1\xB1", 3, 0, 3));
}

// --- The scan and the inserted items ------------------------------------------

TEST(LnScan, InsertsTheLocationItem) {
  PathLattice pl(DE + BEI + JING + SHI + DE, {{2, A}, {4, LH}, {2, LT}, {2, A}});
  EXPECT_EQ(pl.Scan(), 1);
  EXPECT_EQ(pl.count, 1);
  const tNodeInfo& node = pl.lat.m_nodes[8];
  ASSERT_EQ(node.ItemsNum, 2);
  EXPECT_EQ(node.ItemsNumNER, 1);
  const tSegItemInfo& it = *pl.lat.item(&node, 1);
  EXPECT_EQ(it.begin_pos, 2u);
  EXPECT_EQ(it.length, 6u);
  EXPECT_EQ(it.type, 65);
  EXPECT_EQ(it.nAttributeIdx, kAttrLocation);
  EXPECT_FLOAT_EQ(it.weight, -1.0f + -0.5f);
  EXPECT_TRUE(it.bcomb);  // 北京市 is a combination word
  EXPECT_EQ(it.posIndex, 0);
  EXPECT_EQ(it.perIdx, 0);
  EXPECT_EQ(it.perIdxLN, 0);
  EXPECT_EQ(it.nPreIndex, 0);
  for (uint32_t p = 0; p <= pl.n; ++p) {
    EXPECT_EQ(pl.lat.m_nodes[p].bnAmb, p >= 3 && p <= 8) << p;
  }
  // The path itself is left alone.
  EXPECT_EQ(pl.lat.m_nodes[8].MaxItem, pl.lat.item(8, 0));
  EXPECT_EQ(pl.lat.m_nodes[2].nNextLen, 4u);
}

TEST(LnScan, RoleProbabilitiesGiveTheWeight) {
  // 北京 as LH (-1.0), 湖 as LM (-2.0), 北京 as LT (-4.0): -7.0.  A word that
  // has no location list scores -3.0 in every role.
  PathLattice pl(BEI + JING + HU + BEI + JING, {{4, LH}, {2, LM}, {4, LT}});
  pl.Scan();
  ASSERT_EQ(pl.count, 1);
  EXPECT_FLOAT_EQ(pl.lat.item(10, 1)->weight, -1.0f + -2.0f + -4.0f);
  EXPECT_FALSE(pl.lat.item(10, 1)->bcomb);

  PathLattice p2(BEI + JING + DE + SHI, {{4, LH}, {2, LM}, {2, LT}});
  p2.Scan();
  ASSERT_EQ(p2.count, 1);
  EXPECT_FLOAT_EQ(p2.lat.item(8, 1)->weight, -1.0f + -3.0f + -0.5f);
  // The role of 北京 that its list lacks (LM) scores -9.8.
  PathLattice p3(YA + BEI + JING + SHI, {{2, LH}, {4, LM}, {2, LT}});
  p3.Scan();
  ASSERT_EQ(p3.count, 1);
  EXPECT_FLOAT_EQ(p3.lat.item(8, 1)->weight, -3.0f + -9.8f + -0.5f);
}

TEST(LnScan, ResumesWithTheWordFollowingACandidate) {
  // The word after a candidate may be the head of the next one.
  {
    PathLattice pl("abcdefgh", {{2, LH}, {2, LT}, {2, LH}, {2, LT}});
    pl.Scan();
    EXPECT_EQ(pl.Entities(), (std::vector<std::vector<int>>{{0, 4, 65}, {4, 4, 65}}));
  }
  {
    PathLattice pl("abcdefghij", {{2, LH}, {2, LT}, {2, A}, {2, LH}, {2, LT}});
    pl.Scan();
    EXPECT_EQ(pl.Entities(), (std::vector<std::vector<int>>{{0, 4, 65}, {6, 4, 65}}));
    EXPECT_EQ(pl.count, 2);
  }
  {
    // Also after a rejected candidate (三亚): 的 is passed over, the next
    // location is found.
    PathLattice pl(SAN + YA + DE + "ab" + "cd", {{2, LH}, {2, LT}, {2, A}, {2, FH}, {2, FT}});
    pl.Scan();
    EXPECT_EQ(pl.Entities(), (std::vector<std::vector<int>>{{6, 4, 66}}));
  }
  {
    // A failed match at a head moves on by one word only.
    PathLattice pl("abcdefgh", {{2, LH}, {2, LH}, {2, LT}, {2, A}});
    pl.Scan();
    EXPECT_EQ(pl.Entities(), (std::vector<std::vector<int>>{{2, 4, 65}}));
  }
}

TEST(LnScan, FullNodeDropsTheCandidateWithAMessage) {
  // Every node holds one item at most: the first location's end node is
  // full.  The second location ends at a node reserved with room.
  PathLattice pl("abcdefghij", {{2, LH}, {2, LT}, {2, A}, {2, LH}, {2, LT}}, 1);
  tNodeInfo& last = pl.lat.m_nodes[10];
  last.size = 1;  // still full
  testing::internal::CaptureStderr();
  pl.Scan();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, std::string(kFullMessage) + kFullMessage);
  EXPECT_EQ(pl.count, 0);
  EXPECT_TRUE(pl.Entities().empty());
  for (uint32_t p = 0; p <= pl.n; ++p) EXPECT_FALSE(pl.lat.m_nodes[p].bnAmb) << p;
}

TEST(LnScan, BrokenPathIsRefused) {
  PathLattice pl("abcd", {{2, LH}, {2, LT}});
  pl.lat.m_nodes[2].nNextLen = 3;  // leads past the sentence
  EXPECT_EQ(pl.Scan(), 0);
  EXPECT_EQ(pl.count, 0);
  PathLattice p2("abcd", {{2, LH}, {2, LT}});
  p2.lat.m_nodes[4].MaxItem = nullptr;
  EXPECT_EQ(p2.Scan(), 0);
  EXPECT_EQ(CLocationRecognizer::_ln_mode_match(p2.lat, nullptr, 4, TheDict().dict, p2.ctx,
                                                p2.count),
            0);
}

// Random paths with random roles (of any byte value) and random text: the
// scan finishes, every item it adds is a well-formed location over path
// boundaries inside the sentence, and the counter matches.
TEST(LnScan, RandomRolesAreSafe) {
  std::mt19937 rng(5);
  const uint8_t roles[] = {LH, LM, LT, FH, FM, FT, A, 0, 255, NE_ROLE_LY};
  int found = 0;
  for (int round = 0; round < 500; ++round) {
    std::vector<std::pair<uint32_t, uint8_t>> words;
    std::string text;
    const uint32_t count = 1 + rng() % 12;
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t len = 1 + rng() % 5;
      for (uint32_t k = 0; k < len; ++k) text.push_back(static_cast<char>(rng() % 4 ? 'a' + rng() % 3 : 0xB1));
      words.push_back({len, roles[rng() % 10]});
    }
    PathLattice pl(text, words, 1 + rng() % 3);
    ASSERT_EQ(pl.Scan(), 1);
    int total = 0;
    for (uint32_t p = 1; p <= pl.n; ++p) {
      const tNodeInfo& node = pl.lat.m_nodes[p];
      ASSERT_LE(node.ItemsNumNER, 1);
      ASSERT_LE(node.ItemsNum, node.size);
      total += node.ItemsNumNER;
      if (node.ItemsNumNER == 0) continue;
      const tSegItemInfo& it = *pl.lat.item(&node, node.ItemsNum - 1);
      EXPECT_EQ(it.begin_pos + it.length, p);
      EXPECT_TRUE(it.type == 65 || it.type == 66);
      EXPECT_EQ(it.nAttributeIdx, kAttrLocation);
      EXPECT_TRUE(pl.lat.m_nodes[it.begin_pos].bBest);  // begins at a word boundary
    }
    EXPECT_EQ(total, pl.count) << round;
    found += total;
  }
  EXPECT_GT(found, 20);  // the rounds did produce locations
}

// --- Entity item insertion ------------------------------------------------------

NeContextType Candidate(size_t begin, size_t len, int type) {
  NeContextType c{};
  c.begin_pos = begin;
  c.len = len;
  c.type = type;
  c.mode = 100;
  return c;
}

TEST(NeItems, PersonItemOnANodeWithoutRange) {
  CLattice lat;
  lat.clear(20);
  const std::string text = "abcdefgh";
  NeContextType c = Candidate(1, 3, 62);
  c.role_count = 1;
  c.word_roles[0] = {TheDict().index(SHI), NE_ROLE_Y};
  int count = 5;
  tSegItemInfo* it = CNeItems::_add_ne_item(lat, text.c_str(), 8, TheDict().dict, c,
                                            CNeItems::PN, count);
  ASSERT_NE(it, nullptr);
  EXPECT_EQ(count, 6);
  const tNodeInfo& node = lat.m_nodes[4];
  EXPECT_EQ(node.size, 3u + CNeItems::kReserveExtra);
  EXPECT_EQ(node.ItemsNum, 1);
  EXPECT_EQ(node.ItemsNumNER, 1);
  EXPECT_TRUE(node.bBegin);
  EXPECT_EQ(it->nAttributeIdx, kAttrPerson);
  EXPECT_EQ(it->type, 62);
  EXPECT_EQ(it->weight, 0.0f);  // a single role entry
  EXPECT_FALSE(it->bcomb);
  for (uint32_t p = 0; p <= 8; ++p) EXPECT_EQ(lat.m_nodes[p].bnAmb, p >= 2 && p <= 4) << p;
}

TEST(NeItems, PersonWeightUsesPersonRoles) {
  CLattice lat;
  lat.clear(20);
  NeContextType c = Candidate(0, 4, 61);
  c.role_count = 2;
  c.word_roles[0] = {TheDict().index(SHI), NE_ROLE_B};  // no person list: -3.0 each
  c.word_roles[1] = {~size_t(0), NE_ROLE_D};
  int count = 0;
  tSegItemInfo* it =
      CNeItems::_add_ne_item(lat, "abcd", 4, TheDict().dict, c, CNeItems::PN, count);
  ASSERT_NE(it, nullptr);
  EXPECT_FLOAT_EQ(it->weight, -6.0f);
}

TEST(NeItems, CandidatesOutsideTheSentenceAreRefused) {
  CLattice lat;
  lat.clear(20);
  int count = 0;
  const CBasicDict& d = TheDict().dict;
  EXPECT_EQ(CNeItems::_add_ne_item(lat, "abcd", 4, d, Candidate(0, 0, 65), CNeItems::LN, count),
            nullptr);
  EXPECT_EQ(CNeItems::_add_ne_item(lat, "abcd", 4, d, Candidate(2, 3, 65), CNeItems::LN, count),
            nullptr);
  EXPECT_EQ(CNeItems::_add_ne_item(lat, "abcd", 4, d, Candidate(5, 1, 65), CNeItems::LN, count),
            nullptr);
  EXPECT_EQ(CNeItems::_add_ne_item(lat, "abcd", 4, d, Candidate(~size_t(0), 2, 65),
                                   CNeItems::LN, count),
            nullptr);
  EXPECT_EQ(CNeItems::_add_ne_item(lat, "abcd", 4, d, Candidate(0, 2, 65), 3, count), nullptr);
  EXPECT_EQ(CNeItems::_add_ne_item(lat, nullptr, 4, d, Candidate(0, 2, 65), CNeItems::LN, count),
            nullptr);
  EXPECT_EQ(CNeItems::_add_ne_item(lat, "abcd", CLattice::kMaxNodes, d, Candidate(0, 2, 65),
                                   CNeItems::LN, count),
            nullptr);
  EXPECT_EQ(count, 0);
  for (uint32_t p = 0; p <= 20; ++p) {
    EXPECT_EQ(lat.m_nodes[p].ItemsNum, 0) << p;
    EXPECT_FALSE(lat.m_nodes[p].bnAmb) << p;
  }
  // The whole sentence is a valid span.
  EXPECT_NE(CNeItems::_add_ne_item(lat, "abcd", 4, d, Candidate(0, 4, 65), CNeItems::LN, count),
            nullptr);
}

TEST(NeItems, NodeFillsUp) {
  CLattice lat;
  lat.clear(20);
  int count = 0;
  const CBasicDict& d = TheDict().dict;
  // A range of 1 + 2 items.
  for (int i = 0; i < 3; ++i) {
    EXPECT_NE(CNeItems::_add_ne_item(lat, "abcd", 4, d, Candidate(3, 1, 65), CNeItems::LN, count),
              nullptr);
  }
  testing::internal::CaptureStderr();
  EXPECT_EQ(CNeItems::_add_ne_item(lat, "abcd", 4, d, Candidate(3, 1, 65), CNeItems::LN, count),
            nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kFullMessage);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(lat.m_nodes[4].ItemsNum, 3);
  EXPECT_EQ(lat.m_nodes[4].ItemsNumNER, 3);
}

TEST(NeItems, AttributeIndexLookup) {
  const CBasicDict& d = TheDict().dict;
  const std::string w = BEI + JING + SHI + "x";
  EXPECT_EQ(CNeItems::_get_attribute_idx(d, w.c_str(), 4), TheDict().index(BEI + JING) + 1);
  EXPECT_EQ(CNeItems::_get_attribute_idx(d, w.c_str(), 6), TheDict().index(BEI + JING + SHI) + 1);
  EXPECT_EQ(CNeItems::_get_attribute_idx(d, w.c_str(), 2), kAttrSingleChar);
  EXPECT_EQ(CNeItems::_get_attribute_idx(d, w.c_str(), 7), kAttrSingleChar);
  EXPECT_EQ(CNeItems::_get_attribute_idx(d, w.c_str(), 0), kAttrSingleChar);
  EXPECT_EQ(CNeItems::_get_attribute_idx(d, nullptr, 3), kAttrSingleChar);
  CBasicDict empty;
  EXPECT_EQ(CNeItems::_get_attribute_idx(empty, w.c_str(), 4), kAttrSingleChar);
}

}  // namespace
