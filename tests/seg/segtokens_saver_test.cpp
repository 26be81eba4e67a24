// The token saver: mode flags, the path walk, person and transliterated
// names, words with two segmentations, custom tokens, reset and storage
// reuse, and the coverage invariant on random paths.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dict/CustomDict.h"
#include "seg/customword_matcher.h"
#include "seg/segtokens_saver.h"
#include "support/saver_fixtures.h"

using namespace saver_fixtures;

namespace {

class SaverTest : public ::testing::Test, public SaverHarness {};

// --- Flags and tables -----------------------------------------------------------

TEST_F(SaverTest, EachModeBitSetsItsOwnFlag) {
  struct Bit {
    int bit;
    bool CSegTokensSaver::*flag;
  };
  const Bit bits[] = {
      {LX_POS, &CSegTokensSaver::m_bpostag},     {LX_SECPOS, &CSegTokensSaver::m_bsecpos},
      {LX_SGU, &CSegTokensSaver::m_bsgu},        {LX_GU, &CSegTokensSaver::m_bfgu},
      {LX_LGU, &CSegTokensSaver::m_blgu},        {LX_PGU, &CSegTokensSaver::m_bpgu},
      {LX_ENGU, &CSegTokensSaver::m_bengu},      {LX_WMUL, &CSegTokensSaver::m_bwms},
      {LX_WGU, &CSegTokensSaver::m_bwgu},        {LX_PMUL, &CSegTokensSaver::m_bpms},
      {LX_NEW_RES, &CSegTokensSaver::m_bnew_result}, {LX_USR, &CSegTokensSaver::m_busr},
      {LX_CLS, &CSegTokensSaver::m_bcls},        {LX_SYN, &CSegTokensSaver::m_bsynonym},
  };
  for (const Bit& b : bits) {
    saver.prepare_save(nullptr, nullptr, nullptr, b.bit);
    for (const Bit& o : bits) EXPECT_EQ(saver.*(o.flag), o.bit == b.bit) << std::hex << b.bit;
  }
  // Bits the saver does not use set nothing.
  saver.prepare_save(nullptr, nullptr, nullptr, LX_CN | LX_LN | LX_T2S | LX_S2D | LX_U2L);
  for (const Bit& o : bits) EXPECT_FALSE(saver.*(o.flag));
}

TEST(SaverPosMap, CoarseTags) {
  const std::pair<int, int> changed[] = {{2, 6},   {3, 16},  {32, 6},  {33, 16}, {38, 1},
                                         {39, 4},  {40, 6},  {41, 15}, {42, 16}, {43, 26},
                                         {44, 27}, {45, 29}, {46, 31}, {47, 36}, {48, 37},
                                         {53, 0},  {54, 0}};
  for (int i = 0; i < 56; ++i) {
    int expect = i;
    for (const auto& c : changed)
      if (c.first == i) expect = c.second;
    EXPECT_EQ(CSegTokensSaver::m_pos_map[i], expect) << i;
    EXPECT_EQ(CSegTokensSaver::map_pos(i), expect) << i;
  }
  EXPECT_EQ(CSegTokensSaver::map_pos(56), 56);
  EXPECT_EQ(CSegTokensSaver::map_pos(200), 200);
}

// --- The walk ---------------------------------------------------------------------

TEST_F(SaverTest, OrdinaryWordsAndTheirTags) {
  const std::vector<PathWord> path = {W(G("我们"), 0, 26), W(G("研究"), 0, 32), W(G("的"), 55, 1)};
  Prepare(0);
  Save(path);
  EXPECT_EQ(FineTokens(saver),
            (std::vector<Tok>{T(G("我们"), 0), T(G("研究"), 0), T(G("的"), 0)}));
  EXPECT_EQ(WordCounts(saver), (std::vector<uint64_t>{1, 1, 1}));
  EXPECT_EQ(saver.m_thick_num, 0u);

  Prepare(LX_POS);
  Save(path);
  EXPECT_EQ(FineTokens(saver),
            (std::vector<Tok>{T(G("我们"), 27), T(G("研究"), 33), T(G("的"), 2)}));

  // The coarse map: vn -> n, ad -> d.
  Prepare(LX_POS | LX_SECPOS);
  Save(path);
  EXPECT_EQ(FineTokens(saver),
            (std::vector<Tok>{T(G("我们"), 27), T(G("研究"), 16), T(G("的"), 6)}));
}

TEST_F(SaverTest, WalkTakesTheChosenItemOfEachNode) {
  Prepare(LX_POS);
  Save({W(G("北京"), 0, 19), W("abc", 58, 22), W(G("好"), 55, 0)}, /*decoys=*/true);
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("北京"), 20), T("abc", 23), T(G("好"), 1)}));
}

TEST_F(SaverTest, EmptyPathsAddNothing) {
  Prepare(LX_POS | LX_USR);
  // A cleared lattice: node 0 has no next word.
  lat->clear(6);
  text = G("中国人");
  saver.save_tokens(lat.get(), text.c_str(), text.size(), LX_GBK);
  EXPECT_EQ(saver.m_seg_token_num, 0u);
  EXPECT_EQ(saver.m_word_num, 0u);

  // A sentence shorter than the first word of the path.
  BuildPath(*lat, {W(G("中国人"))});
  saver.save_tokens(lat.get(), text.c_str(), 4, LX_GBK);
  EXPECT_EQ(saver.m_seg_token_num, 0u);

  // An empty sentence.
  saver.save_tokens(lat.get(), "", 0, LX_GBK);
  saver.save_tokens(lat.get(), nullptr, 5, LX_GBK);
  EXPECT_EQ(saver.m_seg_token_num, 0u);
}

TEST_F(SaverTest, BrokenPathsNeitherLoopNorReadOutside) {
  Prepare(LX_POS);
  // A path node without a next word stops the walk.
  BuildPath(*lat, {W(G("中国"), 0, 19), W(G("人民"), 0, 15), W(G("好"), 0, 0)});
  lat->m_nodes[4].nNextLen = 0;
  text = G("中国人民好");
  saver.save_tokens(lat.get(), text.c_str(), text.size(), LX_GBK);
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("中国"), 20)}));

  // A chosen item that leaves the sentence, and a node without a chosen item:
  // both are path words without tokens.
  Prepare(LX_POS);
  BuildPath(*lat, {W(G("中国"), 0, 19), W(G("人民"), 0, 15), W(G("好"), 0, 0)});
  lat->m_nodes[8].MaxItem->length = 100;
  lat->m_nodes[10].MaxItem = nullptr;
  saver.save_tokens(lat.get(), text.c_str(), text.size(), LX_GBK);
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("中国"), 20)}));
  EXPECT_EQ(WordCounts(saver), (std::vector<uint64_t>{1, 0, 0}));
}

// --- Person names -------------------------------------------------------------------

TEST_F(SaverTest, CompoundSurnameIsSplitOffWithPgu) {
  FillHash(fuxing, {G("欧阳")});
  Prepare(LX_PGU | LX_NEW_RES);
  Save({W(G("你好"), 0, 0), W(G("欧阳修文"), 59, 16)});
  EXPECT_EQ(FineTokens(saver),
            (std::vector<Tok>{T(G("你好"), 0), T(G("欧阳"), 18), T(G("修文"), 19)}));
  EXPECT_EQ(WordCounts(saver), (std::vector<uint64_t>{1, 2}));
  EXPECT_EQ(Thick(), (std::vector<Comb>{C(G("欧阳修文"), 17, 1, 2)}));

  // Without LX_NEW_RES no thick token; without LX_PGU the name stays whole
  // with its own tag.
  Prepare(LX_PGU);
  Save({W(G("欧阳修文"), 61, 16)});
  EXPECT_EQ(FineTokens(saver).size(), 2u);
  EXPECT_EQ(saver.m_thick_num, 0u);
  Prepare(LX_NEW_RES);
  Save({W(G("欧阳修文"), 59, 16)});
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("欧阳修文"), 17)}));
  EXPECT_EQ(saver.m_thick_num, 0u);
}

TEST_F(SaverTest, SingleSurnameOnlyForThreeCharacterNames) {
  FillHash(fuxing, {G("欧阳")});
  Prepare(LX_PGU);
  Save({W(G("王小明"), 59, 16), W(G("王小明明"), 59, 16), W(G("李四"), 61, 16)});
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("王"), 18), T(G("小明"), 19),
                                                 T(G("王小明明"), 17), T(G("李四"), 17)}));
  EXPECT_EQ(WordCounts(saver), (std::vector<uint64_t>{2, 1, 1}));
}

TEST_F(SaverTest, ShortNames) {
  // A type-61 name of 4 bytes keeps its own tag even without LX_POS; a
  // type-59 one is an ordinary word (tagged only with LX_POS).
  Prepare(LX_PGU);
  Save({W(G("小王"), 61, 16), W(G("老李"), 59, 16)});
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("小王"), 17), T(G("老李"), 0)}));
  Prepare(LX_PGU | LX_POS | LX_SECPOS);
  Save({W(G("老李"), 59, 41)});  // Ng -> n, as an ordinary word
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("老李"), 16)}));
  // A 5-byte name with a compound surname: surname and one byte.
  FillHash(fuxing, {G("欧阳")});
  Prepare(LX_PGU);
  Save({W(G("欧阳") + "x", 59, 16)});
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("欧阳"), 18), T("x", 19)}));
}

// --- Transliterated names -------------------------------------------------------------

TEST_F(SaverTest, OneCharacterEachSideIsAlwaysSplitAsInvalid) {
  Prepare(LX_NEW_RES);
  Save({W(G("约·翰"), 60, 16)});
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("约"), 16), T(G("·"), 34), T(G("翰"), 16)}));
  EXPECT_EQ(WordCounts(saver), (std::vector<uint64_t>{3}));
  EXPECT_EQ(saver.m_thick_num, 0u);
  EXPECT_EQ(saver.m_part_num, 3u);
}

TEST_F(SaverTest, LongerNameSplitOnlyWithPgu) {
  const std::string name = G("约翰·史密斯");
  Prepare(LX_PGU | LX_NEW_RES);
  Save({W(G("是"), 0, 0), W(name, 62, 16)});
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("是"), 0), T(G("约翰"), 17), T(G("·"), 34),
                                                 T(G("史密斯"), 17)}));
  EXPECT_EQ(Thick(), (std::vector<Comb>{C(name, 17, 1, 3)}));

  // Whole without LX_PGU: type 62 is "nr", type 60 untagged, and with LX_POS
  // both carry their own tag.
  Prepare(LX_NEW_RES);
  Save({W(name, 62, 21), W(name, 60, 21)});
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(name, 17), T(name, 0)}));
  EXPECT_EQ(saver.m_thick_num, 0u);
  Prepare(LX_POS);
  Save({W(name, 62, 21), W(name, 60, 21)});
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(name, 22), T(name, 22)}));
}

TEST_F(SaverTest, EmptyPartsMakeTheSplitInvalid) {
  Prepare(LX_NEW_RES);
  Save({W(G("·约翰"), 60, 16), W(G("约翰") + "--" + G("史密斯"), 62, 16)});
  EXPECT_EQ(FineTokens(saver),
            (std::vector<Tok>{T(G("·"), 34), T(G("约翰"), 16), T(G("约翰"), 16), T("-", 34),
                              T("-", 34), T(G("史密斯"), 16)}));
  EXPECT_EQ(WordCounts(saver), (std::vector<uint64_t>{2, 4}));
  EXPECT_EQ(saver.m_thick_num, 0u);
}

TEST_F(SaverTest, AllFourSeparatorsAndTrailingSeparator) {
  CSegTokensSaver& s = saver;
  EXPECT_TRUE(s._is_name_separator("-", 1));
  for (const char* sep : {"·", "ˉ", "—", "－"}) EXPECT_TRUE(s._is_name_separator(G(sep).data(), 2)) << sep;
  EXPECT_FALSE(s._is_name_separator("_", 1));
  EXPECT_FALSE(s._is_name_separator(G("、").data(), 2));
  EXPECT_FALSE(s._is_name_separator(G("·").data(), 1));

  Prepare(LX_PGU);
  Save({W(G("约翰ˉ史密斯—杰克－汤姆"), 62, 16), W(G("约翰·"), 62, 16)});
  EXPECT_EQ(FineTokens(saver),
            (std::vector<Tok>{T(G("约翰"), 17), T(G("ˉ"), 34), T(G("史密斯"), 17), T(G("—"), 34),
                              T(G("杰克"), 17), T(G("－"), 34), T(G("汤姆"), 17), T(G("约翰"), 17),
                              T(G("·"), 34)}));
  // A name without separator stays whole.
  Prepare(LX_PGU | LX_NEW_RES);
  Save({W(G("史密斯"), 62, 16)});
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("史密斯"), 17)}));
  EXPECT_EQ(saver.m_thick_num, 0u);
}

TEST_F(SaverTest, LoneLeadByteAtTheEndIsOneCharacter) {
  Prepare(LX_PGU);
  // A lead byte that ends the name is a character of one byte: here the
  // name has 6 bytes and three entries, one character on each side.
  Save({W(G("约翰") + "-\xB0", 62, 16)});
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("约翰"), 16), T("-", 34), T("\xB0", 16)}));
  // The last byte 0xA1 could start "·" (A1 A4) if it were read with the
  // byte after the name; it is a one-byte character of the last part.
  Prepare(LX_PGU);
  const std::string name = G("约翰") + "-" + G("史") + "\xA1";
  std::string buf = name + G("·");
  text = BuildPath(*lat, {W(name, 62, 16)});
  saver.save_tokens(lat.get(), buf.c_str(), name.size(), LX_GBK);
  EXPECT_EQ(FineTokens(saver),
            (std::vector<Tok>{T(G("约翰"), 17), T("-", 34), T(G("史") + "\xA1", 17)}));
}

TEST_F(SaverTest, PartListNeverOverflows) {
  Prepare(LX_PGU | LX_NEW_RES);
  // Nine separators: 19 entries, all emitted.
  std::string nine;
  for (int i = 0; i < 9; ++i) nine += G("约") + "-";
  nine += G("翰");
  Save({W(nine, 62, 16)});
  EXPECT_EQ(saver.m_seg_token_num, 19u);
  EXPECT_EQ(Thick(), (std::vector<Comb>{C(nine, 17, 0, 18)}));

  // Ten or more: the parts do not fit the 20-entry list, and dropping some
  // would lose text, so the name is output whole.
  for (int seps : {10, 11, 40}) {
    std::string many;
    for (int i = 0; i < seps; ++i) many += G("约") + "-";
    many += G("翰");
    Prepare(LX_PGU | LX_NEW_RES);
    Save({W(many, 62, 16)});
    EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(many, 17)})) << seps;
    EXPECT_EQ(saver.m_thick_num, 0u);
    EXPECT_LE(saver.m_part_num, CSegTokensSaver::MAX_SECTS_NUM);
  }
}

// --- Words with two segmentations -----------------------------------------------------

class MulSegTest : public SaverTest {
 protected:
  void SetUp() override {
    for (const char* w : {"研究", "生命", "研究生", "命", "学生", "会", "学", "生会", "力"})
      dict.add(Entry(G(w)));
    basic_dict_entry_t e87 = Entry(G("研究生命"), 87);
    e87.rule = BasicDictMulSegRecord(G("研究"), G("生命"), 31, 16, G("研究生"), G("命"), 33, 46);
    dict.add(e87);
    basic_dict_entry_t e88 = Entry(G("学生会"), 88);
    e88.rule = BasicDictRuleBlock({G("学生"), G("会")}, -1.0f);
    auto second = BasicDictRuleBlock({G("学"), G("生会")}, -2.0f);
    e88.rule->insert(e88.rule->end(), second.begin(), second.end());
    e88.pos = std::vector<prop_item_t>{{16, -1}, {31, -1}, {2, -1}, {22, -1}};
    dict.add(e88);
    basic_dict_entry_t half = Entry(G("生命力"), 88);
    half.rule = BasicDictRuleBlock({}, 0.0f);
    auto second2 = BasicDictRuleBlock({G("生命"), G("力")}, 0.0f);
    half.rule->insert(half.rule->end(), second2.begin(), second2.end());
    half.pos = std::vector<prop_item_t>{{16, -1}, {3, -1}};
    dict.add(half);
    dict.add(Entry(G("生命线"), 87));  // type 87 without a record
    ASSERT_TRUE(dict.load());
  }

  PathWord Word87() { return W(G("研究生命"), 87, 30, dict.attr(G("研究生命"))); }
  PathWord Word88(int type) { return W(G("学生会"), type, 15, dict.attr(G("学生会"))); }

  DictFixture dict;
};

TEST_F(MulSegTest, Type87BothSegmentationsWithWmul) {
  Prepare(LX_WMUL | LX_NEW_RES, &dict.dict);
  Save({W(G("的"), 55, 0), Word87()});
  EXPECT_EQ(FineTokens(saver),
            (std::vector<Tok>{T(G("的"), 0), T(G("研究"), 31, 1), T(G("生命"), 16, 1),
                              T(G("研究生"), 33, 2), T(G("命"), 46, 2)}));
  EXPECT_EQ(WordCounts(saver), (std::vector<uint64_t>{1, 4}));
  EXPECT_EQ(saver.m_thick_num, 0u);  // never for these words

  Prepare(LX_WMUL | LX_SECPOS, &dict.dict);
  Save({Word87()});
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("研究"), 31, 1), T(G("生命"), 16, 1),
                                                 T(G("研究生"), 16, 2), T(G("命"), 31, 2)}));
}

TEST_F(MulSegTest, Type87FirstSegmentationWithWgu) {
  Prepare(LX_WGU, &dict.dict);
  Save({Word87()});
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("研究"), 31), T(G("生命"), 16)}));
  EXPECT_EQ(WordCounts(saver), (std::vector<uint64_t>{2}));
  // LX_WMUL takes precedence.
  Prepare(LX_WGU | LX_WMUL, &dict.dict);
  Save({Word87()});
  EXPECT_EQ(saver.m_seg_token_num, 4u);
  // Neither: whole, with its own tag whatever LX_POS says.
  Prepare(LX_PMUL, &dict.dict);
  Save({Word87()});
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("研究生命"), 31)}));
}

TEST_F(MulSegTest, Type88AndMinus88WithPmul) {
  Prepare(LX_PMUL | LX_NEW_RES, &dict.dict);
  Save({Word88(88), Word88(-88)});
  EXPECT_EQ(FineTokens(saver),
            (std::vector<Tok>{T(G("学生"), 16, 1), T(G("会"), 31, 1), T(G("学"), 2, 2),
                              T(G("生会"), 22, 2), T(G("学"), 2, 1), T(G("生会"), 22, 1),
                              T(G("学生"), 16, 2), T(G("会"), 31, 2)}));
  EXPECT_EQ(WordCounts(saver), (std::vector<uint64_t>{4, 4}));
  EXPECT_EQ(saver.m_thick_num, 0u);

  Prepare(LX_PMUL | LX_SECPOS, &dict.dict);
  Save({Word88(88)});
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("学生"), 16, 1), T(G("会"), 31, 1),
                                                 T(G("学"), 6, 2), T(G("生会"), 22, 2)}));

  // Without LX_PMUL (and with the flags of type 87) the word stays whole.
  Prepare(LX_WMUL | LX_WGU, &dict.dict);
  Save({Word88(88), Word88(-88)});
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("学生会"), 16), T(G("学生会"), 16)}));
}

TEST_F(MulSegTest, EmptySegmentationAddsNothing) {
  Prepare(LX_PMUL, &dict.dict);
  Save({W(G("生命力"), 88, 15, dict.attr(G("生命力"))), W(G("生命力"), -88, 15, dict.attr(G("生命力")))});
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("生命"), 16, 2), T(G("力"), 3, 2),
                                                 T(G("生命"), 16, 1), T(G("力"), 3, 1)}));
  EXPECT_EQ(WordCounts(saver), (std::vector<uint64_t>{2, 2}));
}

TEST_F(MulSegTest, WordsWithoutUsableRuleStayWhole) {
  Prepare(LX_WMUL | LX_PMUL, &dict.dict);
  Save({W(G("生命线"), 87, 15, dict.attr(G("生命线"))),       // no record
        W(G("研究生命"), 87, 15, 10000001u),                    // not a dictionary word
        W(G("学生会"), 88, 15, 0),                              // no index
        W(G("学生会"), -88, 15, dict.attr(G("研究")))});        // a word without rule
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("生命线"), 16), T(G("研究生命"), 16),
                                                 T(G("学生会"), 16), T(G("学生会"), 16)}));
  EXPECT_EQ(WordCounts(saver), (std::vector<uint64_t>{1, 1, 1, 1}));
}

TEST_F(MulSegTest, PartsNeverLeaveTheItem) {
  // An item shorter than the dictionary word its index names: parts that
  // would reach past the item are skipped; the last part of the second
  // segmentation still ends with the item.
  Prepare(LX_WMUL, &dict.dict);
  Save({W(G("研究"), 87, 30, dict.attr(G("研究生命")))});
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("研究"), 31, 1), T(G("究"), 46, 2)}));
  EXPECT_EQ(WordCounts(saver), (std::vector<uint64_t>{2}));

  Prepare(LX_PMUL, &dict.dict);
  Save({W(G("学生"), 88, 15, dict.attr(G("学生会")))});
  EXPECT_EQ(FineTokens(saver), (std::vector<Tok>{T(G("学生"), 16, 1), T(G("学"), 2, 2)}));
}

// --- Custom tokens ------------------------------------------------------------------------

class CustomTokenTest : public SaverTest {
 protected:
  void Report(const std::vector<_comb_t>& cands) {
    saver_fixtures::Report(matcher, cands);
    saver.m_pcustomwords = &matcher;
  }

  CCustomwordMatcher matcher;
};

TEST_F(CustomTokenTest, SpanFineTokensOfTheWordsCovered) {
  FillHash(fuxing, {G("欧阳")});
  Prepare(LX_USR | LX_PGU | LX_POS);
  // Words: 欧阳修文 (2 tokens) 是 (1) 好人 (1); custom word over words 0-1,
  // phrase over words 1-2.
  Report({Cand(0, 1, 0, 10, 17, false, 3), Cand(1, 2, 8, 6, 16, true, 0x0504)});
  Save({W(G("欧阳修文"), 59, 16), W(G("是"), 0, 20), W(G("好人"), 0, 15)});
  EXPECT_EQ(Custom(), (std::vector<Comb>{C(G("欧阳修文是"), 17, 0, 2, 3)}));
  EXPECT_EQ(Phrases(), (std::vector<Comb>{C(G("是好人"), 16, 2, 3, 0x0504)}));
}

TEST_F(CustomTokenTest, SingleTokenWordTakesTheTokensTagOnlyForN) {
  Prepare(LX_USR | LX_POS);
  Report({Cand(0, 0, 0, 4, 16, false, 1), Cand(1, 1, 4, 4, 31, false, 2)});
  Save({W(G("中国"), 0, 11), W(G("人民"), 0, 11)});
  EXPECT_EQ(Custom(), (std::vector<Comb>{C(G("中国"), 12, 0, 0, 1), C(G("人民"), 31, 1, 1, 2)}));
}

TEST_F(CustomTokenTest, IndicesCountFromTheStartOfTheCall) {
  Prepare(LX_USR);
  Report({Cand(1, 2, 2, 4, 20, false, 7)});
  Save({W(G("我"), 55), W(G("在"), 55), W(G("家"), 55)});
  saver.save_spliter(",", 1);
  Save({W(G("你"), 55), W(G("在"), 55), W(G("家"), 55)});
  EXPECT_EQ(Custom(), (std::vector<Comb>{C(G("在家"), 20, 1, 2, 7), C(G("在家"), 20, 5, 6, 7)}));
}

TEST_F(CustomTokenTest, OverlappingCustomWordsStartInsideTheEarlierOne) {
  Prepare(LX_USR);
  Report({Cand(0, 1, 0, 4, 16, false, 1), Cand(1, 2, 2, 4, 16, false, 2)});
  Save({W(G("甲"), 55), W(G("乙"), 55), W(G("丙"), 55)});
  EXPECT_EQ(Custom(), (std::vector<Comb>{C(G("甲乙"), 16, 0, 1, 1), C(G("乙丙"), 16, 1, 2, 2)}));
}

TEST_F(CustomTokenTest, CandidatesOutsideTheSentenceAreIgnored) {
  Prepare(LX_USR);
  // Word 1 yields no token (its item leaves the sentence).
  Report({Cand(0, 3, 0, 6, 16, false, 1),   // past the last word
           Cand(0, 0, 4, 4, 16, false, 2),  // text past the sentence end
           Cand(1, 1, 2, 2, 16, false, 3),  // covers no fine token
           Cand(-1, 0, 0, 2, 16, false, 4), Cand(2, 1, 0, 2, 16, false, 5),
           Cand(2, 2, 4, 2, 16, false, 6)});
  text = BuildPath(*lat, {W(G("甲"), 55), W(G("乙"), 55), W(G("丙"), 55)});
  lat->m_nodes[4].MaxItem->length = 99;
  saver.save_tokens(lat.get(), text.c_str(), text.size(), LX_GBK);
  EXPECT_EQ(Custom(), (std::vector<Comb>{C(G("丙"), 0, 1, 1, 6)}));
  // Without LX_USR nothing is asked.
  Prepare(0);
  Save({W(G("甲"), 55), W(G("乙"), 55), W(G("丙"), 55)});
  EXPECT_EQ(saver.m_custom_num, 0u);
}

// --- Flags without effect, reset and storage reuse ----------------------------------------

TEST_F(SaverTest, ClsAndSynChangeNothing) {
  FillHash(fuxing, {G("欧阳")});
  FillHash(locsfx, {G("区")});
  const std::vector<PathWord> path = {W(G("欧阳修文"), 59, 16), W(G("海淀区"), 65, 19),
                                      W("ab12", 58, 22), W(G("约翰·史密斯"), 62, 16)};
  const int base = LX_POS | LX_PGU | LX_LGU | LX_ENGU | LX_NEW_RES;
  Prepare(base);
  Save(path);
  const auto fine = FineTokens(saver);
  const auto thick = Thick();
  Prepare(base | LX_CLS | LX_SYN);
  Save(path);
  EXPECT_EQ(FineTokens(saver), fine);
  EXPECT_EQ(Thick(), thick);
}

TEST_F(SaverTest, ResetKeepsStorage) {
  FillHash(fuxing, {G("欧阳")});
  Prepare(LX_PGU | LX_NEW_RES);
  std::vector<PathWord> path;
  for (int i = 0; i < 300; ++i) path.push_back(W(G("欧阳修文"), 59, 16));
  Save(path);
  saver.save_spliter("!", 1);
  saver.save_info_for_compatible();
  ASSERT_EQ(saver.m_seg_token_num, 601u);

  const void* fine = saver.m_seg_tokens.data();
  const void* thick = saver.m_thick_tokens.data();
  const void* counts = saver.m_word_sect_num.data();
  const void* view = saver.m_outword_idx.data();
  const unsigned blocks = saver.m_str_buffer.m_nUsedSize;
  for (int round = 0; round < 5; ++round) {
    saver.reset();
    EXPECT_EQ(saver.m_seg_token_num, 0u);
    EXPECT_EQ(saver.m_thick_num, 0u);
    EXPECT_EQ(saver.m_outword_num, 0u);
    EXPECT_EQ(saver.m_word_num, 0u);
    Save(path);
    saver.save_spliter("!", 1);
    saver.save_info_for_compatible();
    EXPECT_EQ(saver.m_seg_token_num, 601u);
    EXPECT_EQ(saver.m_thick_num, 300u);
    EXPECT_EQ(saver.m_outword_num, 601u);
  }
  EXPECT_EQ(saver.m_seg_tokens.data(), fine);
  EXPECT_EQ(saver.m_thick_tokens.data(), thick);
  EXPECT_EQ(saver.m_word_sect_num.data(), counts);
  EXPECT_EQ(saver.m_outword_idx.data(), view);
  EXPECT_EQ(saver.m_str_buffer.m_nUsedSize, blocks);
}

// --- Coverage invariant ---------------------------------------------------------------------

// On random paths without words of two segmentations, under random modes,
// the fine tokens of a sentence are its bytes in order, each thick token
// spans exactly the text of its word's tokens, and the word counts add up.
TEST(SaverCoverage, FineTokensConcatenateToTheSentence) {
  DictFixture dict;
  const char* plain[] = {"中国", "人民", "银行", "北京大学", "大学生"};
  for (const char* w : plain) dict.add(Entry(G(w)));
  basic_dict_entry_t sub = Entry(G("北京大学生"));
  sub.subwords = std::vector<subword_t>{{4, 20}, {6, 33}};
  dict.add(sub);
  basic_dict_entry_t sub1 = Entry(G("人民银行"));
  sub1.subwords = std::vector<subword_t>{{8, 42}};
  dict.add(sub1);
  basic_dict_entry_t sub0 = Entry(G("中国人"));
  sub0.subwords = std::vector<subword_t>{};
  dict.add(sub0);
  ASSERT_TRUE(dict.load());

  HashDict fuxing, locsfx;
  FillHash(fuxing, {G("欧阳"), G("司马")});
  FillHash(locsfx, {G("区"), G("省"), G("自治"), G("自治区")});

  std::mt19937 rng(20240611);
  auto pick = [&](size_t n) { return (size_t)(rng() % n); };
  const std::vector<std::string> chars = {G("一"), G("三"), G("十"), G("王"), G("约"), G("海"),
                                          G("·"), G("区"), G("欧"), G("阳"), G("司"), G("马"),
                                          "-",    "a",    "7",    ".",    "/",    ":"};
  auto random_text = [&](size_t nchars) {
    std::string s;
    for (size_t i = 0; i < nchars; ++i) s += chars[pick(chars.size())];
    return s;
  };
  const int flags[] = {LX_POS, LX_SECPOS, LX_SGU, LX_GU,   LX_LGU,     LX_PGU,
                       LX_ENGU, LX_WMUL, LX_WGU, LX_PMUL, LX_NEW_RES, LX_USR};

  auto lat = std::make_unique<CLattice>();
  CSegTokensSaver saver;
  size_t split_words = 0, thick_tokens = 0;  // the rules really split
  for (int round = 0; round < 3000; ++round) {
    int mode = 0;
    for (int f : flags)
      if (rng() % 2) mode |= f;
    saver.prepare_save(&dict.dict, &fuxing, &locsfx, mode);
    saver.reset();

    std::vector<PathWord> path;
    const size_t nwords = 1 + pick(8);
    for (size_t k = 0; k < nwords; ++k) {
      switch (pick(9)) {
        case 0: {
          const char* w = pick(2) ? plain[pick(5)] : (pick(2) ? "北京大学生" : (pick(2) ? "人民银行" : "中国人"));
          path.push_back(W(G(w), 0, (uint8_t)pick(56), dict.attr(G(w))));
          break;
        }
        case 1:
          path.push_back(W(random_text(1), 55, (uint8_t)pick(56)));
          break;
        case 2: {  // factoids: numbers with unit, letters and digits, web addresses
          static const char* f[] = {"123", "abc123", "12ab", "a1b2", "www.abc.com", "a//b:",
                                    "x", "ab-12", "..", "http://x.cn/a"};
          std::string t = f[pick(10)];
          bool comb = pick(2) == 0;
          if (comb) t += G("个");
          const uint8_t pi[] = {14, 22, 49, 25};
          path.push_back(W(t, 58, pi[pick(4)], 10000005u, comb));
          break;
        }
        case 3:
        case 4: {
          static const int types[] = {59, 61, 60, 62};
          path.push_back(W(random_text(1 + pick(6)), types[pick(4)], (uint8_t)pick(56)));
          break;
        }
        case 5:
        case 6: {
          static const int types[] = {65, 66, 63, 64};
          static const char* sfx[] = {"区", "省", "自治", "自治区", "海"};
          std::string t = random_text(pick(5)) + G(sfx[pick(5)]);
          path.push_back(W(t, types[pick(4)], (uint8_t)pick(56)));
          break;
        }
        default:
          path.push_back(W(random_text(1 + pick(3)), (int)pick(100), (uint8_t)pick(56)));
          if (path.back().type == 87 || path.back().type == 88) path.back().type = 0;
          break;
      }
    }
    const std::string text = BuildPath(*lat, path, pick(2) == 0);
    saver.save_tokens(lat.get(), text.c_str(), text.size(), LX_GBK);

    std::string joined;
    for (size_t i = 0; i < saver.m_seg_token_num; ++i) {
      const token_t& t = saver.m_seg_tokens[(long)i];
      ASSERT_NE(t.word, nullptr);
      ASSERT_GT(t.wlen, 0u);
      joined.append(t.word, t.wlen);
      EXPECT_EQ(t.wtype, 0);
    }
    ASSERT_EQ(joined, text) << "mode " << std::hex << mode << " sentence " << U(text);

    uint64_t total = 0;
    for (uint32_t w = 0; w < saver.m_word_num; ++w) {
      EXPECT_GT(saver.m_word_sect_num[(long)w], 0u);
      total += saver.m_word_sect_num[(long)w];
      if (saver.m_word_sect_num[(long)w] > 1) ++split_words;
    }
    EXPECT_EQ(saver.m_word_num, path.size());
    EXPECT_EQ(total, saver.m_seg_token_num);
    for (size_t i = 0; i < saver.m_thick_num; ++i) {
      const comb_token_t& th = saver.m_thick_tokens[(long)i];
      ASSERT_LE(th.sidx, th.eidx);
      ASSERT_LT(th.eidx, saver.m_seg_token_num);
      std::string span;
      for (size_t k = th.sidx; k <= th.eidx; ++k)
        span.append(saver.m_seg_tokens[(long)k].word, saver.m_seg_tokens[(long)k].wlen);
      EXPECT_EQ(span, std::string(th.word, th.wlen));
    }
    thick_tokens += saver.m_thick_num;
  }
  EXPECT_GT(split_words, 1000u);
  EXPECT_GT(thick_tokens, 400u);
}

}  // namespace
