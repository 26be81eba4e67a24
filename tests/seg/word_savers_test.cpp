// The word-type savers: factoids (number with unit, letters and digits, web
// addresses), location names with their suffix and numeral cases, and
// ordinary words with their sub-word records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "seg/segtokens_saver.h"
#include "support/saver_fixtures.h"

using namespace saver_fixtures;

namespace {

class WordSaverTest : public ::testing::Test, public SaverHarness {};

// posIndex values: the POS id minus one.
const uint8_t kPiM = 14, kPiQ = 25, kPiQg = 42, kPiNx = 22, kPiWww = 49, kPiNs = 19;

// --- Factoids ----------------------------------------------------------------------

TEST_F(WordSaverTest, NumberWithUnitUnderGu) {
  const std::string w = G("三十个");
  Prepare(LX_GU | LX_NEW_RES);
  Save({W(w, 58, kPiQ, 10000004u, true)});
  EXPECT_EQ(Fine(), (std::vector<Tok>{T(G("三十"), 15), T(G("个"), 26)}));
  EXPECT_EQ(WordCounts(saver), (std::vector<uint64_t>{2}));
  EXPECT_EQ(Thick(), (std::vector<Comb>{C(w, 26, 0, 1)}));

  // The unit's tag goes through the coarse map with LX_SECPOS (Qg -> q).
  Prepare(LX_GU | LX_SECPOS | LX_NEW_RES);
  Save({W("12" + G("个"), 58, kPiQg, 10000004u, true)});
  EXPECT_EQ(Fine(), (std::vector<Tok>{T("12", 15), T(G("个"), 26)}));
  EXPECT_EQ(Thick(), (std::vector<Comb>{C("12" + G("个"), 26, 0, 1)}));

  // Without LX_GU: one token with the item's own tag, whatever LX_POS says.
  Prepare(0);
  Save({W(w, 58, kPiQ, 10000004u, true)});
  EXPECT_EQ(Fine(), (std::vector<Tok>{T(w, 26)}));
}

TEST_F(WordSaverTest, NumberWithUnitEdgeCases) {
  // Not merged, or nothing before the unit: one token with the own tag.
  Prepare(LX_GU);
  Save({W(G("三十个"), 58, kPiM, 10000004u, false), W(G("个"), 58, kPiQ, 10000004u, true)});
  EXPECT_EQ(Fine(), (std::vector<Tok>{T(G("三十个"), 15), T(G("个"), 26)}));
  EXPECT_EQ(WordCounts(saver), (std::vector<uint64_t>{1, 1}));
}

TEST_F(WordSaverTest, LettersAndDigitsUnderEngu) {
  Prepare(LX_ENGU | LX_NEW_RES);
  Save({W("abc123", 58, kPiNx, 10000005u), W("12ab", 58, kPiNx, 10000005u)});
  EXPECT_EQ(Fine(), (std::vector<Tok>{T("abc", 23), T("123", 15), T("12", 15), T("ab", 23)}));
  EXPECT_EQ(WordCounts(saver), (std::vector<uint64_t>{2, 2}));
  EXPECT_EQ(Thick(), (std::vector<Comb>{C("abc123", 23, 0, 1), C("12ab", 23, 2, 3)}));

  // Only one run of each class, at least 4 bytes, and only "nx" factoids.
  for (const char* whole : {"ab-12", "a1a1", "a1", "1a", "abcd", "1234", "-ab12", "ab12-", "Z9Z"}) {
    Prepare(LX_ENGU | LX_NEW_RES);
    Save({W(whole, 58, kPiNx, 10000005u)});
    EXPECT_EQ(Fine(), (std::vector<Tok>{T(whole, 23)})) << whole;
    EXPECT_EQ(saver.m_thick_num, 0u) << whole;
  }
  Prepare(LX_ENGU);
  Save({W("AB12", 58, kPiNx, 10000005u), W("ab12", 58, kPiM, 10000004u)});
  EXPECT_EQ(Fine(), (std::vector<Tok>{T("AB", 23), T("12", 15), T("ab12", 15)}));
  // Without LX_ENGU the factoid keeps its tag even without LX_POS.
  Prepare(0);
  Save({W("abc123", 58, kPiNx, 10000005u)});
  EXPECT_EQ(Fine(), (std::vector<Tok>{T("abc123", 23)}));
}

TEST_F(WordSaverTest, WebAddressesUnderEngu) {
  Prepare(LX_ENGU | LX_NEW_RES);
  Save({W("www.abc.com", 58, kPiWww, 10000005u)});
  EXPECT_EQ(Fine(), (std::vector<Tok>{T("www", 23), T(".", 34), T("abc", 23), T(".", 34),
                                      T("com", 23)}));
  EXPECT_EQ(WordCounts(saver), (std::vector<uint64_t>{5}));
  EXPECT_EQ(Thick(), (std::vector<Comb>{C("www.abc.com", 50, 0, 4)}));

  // Adjacent separators give no empty token; a trailing one ends the word.
  Prepare(LX_ENGU | LX_NEW_RES);
  Save({W("http://x.cn/", 58, kPiWww, 10000005u)});
  EXPECT_EQ(Fine(), (std::vector<Tok>{T("http", 23), T(":", 34), T("/", 34), T("/", 34), T("x", 23),
                                      T(".", 34), T("cn", 23), T("/", 34)}));
  EXPECT_EQ(Thick(), (std::vector<Comb>{C("http://x.cn/", 50, 0, 7)}));

  // One token: no thick token.
  Prepare(LX_ENGU | LX_NEW_RES);
  Save({W("localhost", 58, kPiWww, 10000005u), W(".", 58, kPiWww, 10000005u)});
  EXPECT_EQ(Fine(), (std::vector<Tok>{T("localhost", 23), T(".", 34)}));
  EXPECT_EQ(saver.m_thick_num, 0u);

  Prepare(LX_POS);
  Save({W("www.abc.com", 58, kPiWww, 10000005u)});
  EXPECT_EQ(Fine(), (std::vector<Tok>{T("www.abc.com", 50)}));
}

// --- Location names ------------------------------------------------------------------

TEST_F(WordSaverTest, SuffixLength) {
  FillHash(locsfx, {G("区"), G("新区"), G("自治区")});
  Prepare(LX_LGU);
  CSegTokensSaver& s = saver;
  auto len = [&](const std::string& w) { return s.get_suffix_len(w.data(), 0, (int)w.size()); };
  EXPECT_EQ(len(G("广西自治区")), 6);  // 10 bytes
  EXPECT_EQ(len(G("西自治区")), 2);    // 8 bytes: too short for a 6-byte suffix
  EXPECT_EQ(len(G("浦东新区")), 4);
  EXPECT_EQ(len(G("东新区")), 2);      // 6 bytes: too short for a 4-byte suffix
  EXPECT_EQ(len(G("海淀区")), 2);
  EXPECT_EQ(len(G("淀区")), 0);        // 4 bytes: nothing would remain
  EXPECT_EQ(len(G("海淀路")), 0);
  // The word may start inside a longer text.
  const std::string t = G("北京海淀区");
  EXPECT_EQ(s.get_suffix_len(t.data(), 4, 6), 2);
  EXPECT_EQ(s.get_suffix_len(t.data(), 4, 4), 0);
  // Without a suffix list nothing is a suffix.
  saver.prepare_save(nullptr, nullptr, nullptr, LX_LGU);
  EXPECT_EQ(len(G("海淀区")), 0);
}

TEST_F(WordSaverTest, SingleNumerals) {
  for (const char* n : {"一", "二", "三", "四", "五", "六", "七", "八", "九", "十"})
    EXPECT_EQ(saver._is_signle_hanzi_num(G(n).data(), 2), 1) << n;
  for (const char* n : {"零", "百", "两", "壹", "〇", "个"})
    EXPECT_EQ(saver._is_signle_hanzi_num(G(n).data(), 2), 0) << n;
  EXPECT_EQ(saver._is_signle_hanzi_num(G("一").data(), 1), 0);
  EXPECT_EQ(saver._is_signle_hanzi_num(G("一二").data(), 4), 0);
  EXPECT_EQ(saver._is_signle_hanzi_num("12", 2), 0);
}

class LocationTest : public WordSaverTest {
 protected:
  void SetUp() override { FillHash(locsfx, {G("区"), G("新区"), G("自治区")}); }
  std::vector<Tok> One(const std::string& w, int mode, int type = 65, uint8_t pi = kPiNs) {
    Prepare(mode);
    Save({W(w, type, pi)});
    return Fine();
  }
};

TEST_F(LocationTest, SplitBeforeTheSuffixWhateverLxPos) {
  EXPECT_EQ(One(G("海淀区"), LX_LGU | LX_NEW_RES), (std::vector<Tok>{T(G("海淀"), 20), T(G("区"), 16)}));
  EXPECT_EQ(WordCounts(saver), (std::vector<uint64_t>{2}));
  EXPECT_EQ(Thick(), (std::vector<Comb>{C(G("海淀区"), 20, 0, 1)}));
  EXPECT_EQ(One(G("浦东新区"), LX_LGU | LX_POS, 66),
            (std::vector<Tok>{T(G("浦东"), 20), T(G("新区"), 16)}));
  EXPECT_EQ(One(G("广西自治区"), LX_LGU), (std::vector<Tok>{T(G("广西"), 20), T(G("自治区"), 16)}));
}

TEST_F(LocationTest, NotSplitWithoutLguOrSuffixOrLength) {
  // Whole locations are tagged "ns" (with LX_POS), never with their own tag.
  EXPECT_EQ(One(G("海淀区"), LX_POS | LX_NEW_RES, 65, 5), (std::vector<Tok>{T(G("海淀区"), 20)}));
  EXPECT_EQ(saver.m_thick_num, 0u);
  EXPECT_EQ(One(G("海淀区"), 0), (std::vector<Tok>{T(G("海淀区"), 0)}));
  EXPECT_EQ(One(G("海淀路"), LX_LGU | LX_POS), (std::vector<Tok>{T(G("海淀路"), 20)}));
  EXPECT_EQ(One("x" + G("淀区"), LX_LGU | LX_POS), (std::vector<Tok>{T("x" + G("淀区"), 20)}));
  EXPECT_EQ(One(G("淀区"), LX_LGU | LX_POS), (std::vector<Tok>{T(G("淀区"), 20)}));
}

TEST_F(LocationTest, NumeralCases) {
  // First character a numeral, the one before the suffix not, r = 4.
  EXPECT_EQ(One(G("三里屯区"), LX_LGU | LX_POS | LX_NEW_RES),
            (std::vector<Tok>{T(G("三里"), 20), T(G("屯"), 15), T(G("区"), 16)}));
  EXPECT_EQ(Thick(), (std::vector<Comb>{C(G("三里屯区"), 20, 0, 2)}));
  EXPECT_EQ(One(G("三里屯区"), LX_LGU), (std::vector<Tok>{T(G("三里"), 0), T(G("屯"), 0), T(G("区"), 0)}));
  // Numeral, one character, suffix.
  EXPECT_EQ(One(G("一号区"), LX_LGU | LX_POS),
            (std::vector<Tok>{T(G("一"), 15), T(G("号"), 16), T(G("区"), 16)}));
  EXPECT_EQ(One(G("一号区"), LX_LGU), (std::vector<Tok>{T(G("一"), 0), T(G("号"), 0), T(G("区"), 0)}));
  EXPECT_EQ(WordCounts(saver), (std::vector<uint64_t>{3}));
  // Numerals first and before the suffix: four tokens.
  EXPECT_EQ(One(G("三里五区"), LX_LGU | LX_POS | LX_NEW_RES),
            (std::vector<Tok>{T(G("三"), 15), T(G("里"), 16), T(G("五"), 15), T(G("区"), 16)}));
  EXPECT_EQ(Thick(), (std::vector<Comb>{C(G("三里五区"), 20, 0, 3)}));
  EXPECT_EQ(One(G("三里五新区"), LX_LGU | LX_POS),
            (std::vector<Tok>{T(G("三"), 15), T(G("里"), 16), T(G("五"), 15), T(G("新区"), 16)}));
  // A longer middle stays one token so that the word is covered.
  EXPECT_EQ(One(G("三里屯村五区"), LX_LGU | LX_POS),
            (std::vector<Tok>{T(G("三"), 15), T(G("里屯村"), 16), T(G("五"), 15), T(G("区"), 16)}));
  // A numeral first but 5 bytes before the suffix: the plain split.
  EXPECT_EQ(One(G("三里") + "x" + G("区"), LX_LGU | LX_POS),
            (std::vector<Tok>{T(G("三里") + "x", 20), T(G("区"), 16)}));
  // No numeral first: the plain split.
  EXPECT_EQ(One(G("里三五区"), LX_LGU | LX_POS), (std::vector<Tok>{T(G("里三五"), 20), T(G("区"), 16)}));
}

TEST_F(LocationTest, LocationWordTypesOnlyWithLgu) {
  // Types 63 and 64 are ordinary words unless LX_LGU is set.
  EXPECT_EQ(One(G("海淀区"), LX_POS, 63, 5), (std::vector<Tok>{T(G("海淀区"), 6)}));
  EXPECT_EQ(One(G("海淀区"), LX_POS | LX_LGU, 63, 5), (std::vector<Tok>{T(G("海淀"), 20), T(G("区"), 16)}));
  EXPECT_EQ(One(G("海淀"), LX_POS | LX_LGU, 64, 5), (std::vector<Tok>{T(G("海淀"), 20)}));
}

// --- Other words and sub-word records ----------------------------------------------------

class SubWordTest : public WordSaverTest {
 protected:
  void SetUp() override {
    basic_dict_entry_t two = Entry(G("北京大学生"));
    two.subwords = std::vector<subword_t>{{4, 20}, {6, 33}};
    dict.add(two);
    basic_dict_entry_t one = Entry(G("人民银行"));
    one.subwords = std::vector<subword_t>{{8, 42}};
    dict.add(one);
    basic_dict_entry_t none = Entry(G("中国人"));
    none.subwords = std::vector<subword_t>{};
    dict.add(none);
    basic_dict_entry_t loc = Entry(G("海淀区"), 63);
    loc.subwords = std::vector<subword_t>{{2, 16}, {4, 16}};
    dict.add(loc);
    dict.add(Entry(G("大学")));
    ASSERT_TRUE(dict.load());
    FillHash(locsfx, {G("区")});
  }
  PathWord Dw(const std::string& w, uint8_t pi, int type = 0) { return W(w, type, pi, dict.attr(w)); }

  DictFixture dict;
};

TEST_F(SubWordTest, SplitIntoSubWordsWithSgu) {
  Prepare(LX_SGU | LX_POS | LX_NEW_RES, &dict.dict);
  Save({Dw(G("北京大学生"), 32), Dw(G("大学"), 15)});
  // Sub-word tags always go through the coarse map (vn -> n).
  EXPECT_EQ(Fine(), (std::vector<Tok>{T(G("北京"), 20), T(G("大学生"), 16), T(G("大学"), 16)}));
  EXPECT_EQ(WordCounts(saver), (std::vector<uint64_t>{2, 1}));
  // The thick token has the word's own tag (tag-or-0), mapped only with
  // LX_SECPOS.
  EXPECT_EQ(Thick(), (std::vector<Comb>{C(G("北京大学生"), 33, 0, 1)}));

  Prepare(LX_SGU | LX_POS | LX_SECPOS | LX_NEW_RES, &dict.dict);
  Save({Dw(G("北京大学生"), 32)});
  EXPECT_EQ(Thick(), (std::vector<Comb>{C(G("北京大学生"), 16, 0, 1)}));

  Prepare(LX_SGU | LX_NEW_RES, &dict.dict);
  Save({Dw(G("北京大学生"), 32)});
  EXPECT_EQ(Fine(), (std::vector<Tok>{T(G("北京"), 20), T(G("大学生"), 16)}));
  EXPECT_EQ(Thick(), (std::vector<Comb>{C(G("北京大学生"), 0, 0, 1)}));
}

TEST_F(SubWordTest, OneSubWordStillGetsAThickToken) {
  Prepare(LX_SGU | LX_POS | LX_NEW_RES, &dict.dict);
  Save({Dw(G("人民银行"), 20)});
  EXPECT_EQ(Fine(), (std::vector<Tok>{T(G("人民银行"), 16)}));
  EXPECT_EQ(Thick(), (std::vector<Comb>{C(G("人民银行"), 21, 0, 0)}));
}

TEST_F(SubWordTest, WordsWithoutUsableRecordStayWhole) {
  Prepare(LX_SGU | LX_POS | LX_NEW_RES, &dict.dict);
  Save({Dw(G("中国人"), 15),                         // n = 0
        Dw(G("大学"), 15),                           // no record
        W(G("北京大学生"), 0, 15, 10000001u),         // not a dictionary word
        W(G("北京大学生"), 0, 15, 0),                 // index 0
        W(G("北京大学生"), 0, 15, 1000)});            // beyond the word count
  EXPECT_EQ(Fine(), (std::vector<Tok>{T(G("中国人"), 16), T(G("大学"), 16), T(G("北京大学生"), 16),
                                      T(G("北京大学生"), 16), T(G("北京大学生"), 16)}));
  EXPECT_EQ(saver.m_thick_num, 0u);
  // Without LX_SGU the record is not used.
  Prepare(LX_POS | LX_NEW_RES, &dict.dict);
  Save({Dw(G("北京大学生"), 15)});
  EXPECT_EQ(Fine(), (std::vector<Tok>{T(G("北京大学生"), 16)}));
  EXPECT_EQ(saver.m_thick_num, 0u);
}

TEST_F(SubWordTest, SubWordRuleComesBeforeTheLocationRule) {
  Prepare(LX_SGU | LX_LGU | LX_POS, &dict.dict);
  Save({Dw(G("海淀区"), 19, 63)});
  EXPECT_EQ(Fine(), (std::vector<Tok>{T(G("海"), 16), T(G("淀区"), 16)}));
  Prepare(LX_LGU | LX_POS, &dict.dict);
  Save({Dw(G("海淀区"), 19, 63)});
  EXPECT_EQ(Fine(), (std::vector<Tok>{T(G("海淀"), 20), T(G("区"), 16)}));
}

TEST_F(SubWordTest, SubWordsNeverLeaveTheItem) {
  // An item shorter than the word its index names: the second sub-word
  // would reach past it and is skipped.
  Prepare(LX_SGU | LX_POS, &dict.dict);
  Save({W(G("北京大"), 0, 15, dict.attr(G("北京大学生"))), W(G("学"), 0, 15)});
  EXPECT_EQ(Fine(), (std::vector<Tok>{T(G("北京"), 20), T(G("学"), 16)}));
}

}  // namespace
