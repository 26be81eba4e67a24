// Result access: separator tokens, the back length of a sentence cut for
// length, the output-word and output-phrase views, the readers in every out
// mode with and without LX_USR, UTF-8 conversion and get_result.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "seg/customword_matcher.h"
#include "seg/segtokens_saver.h"
#include "support/saver_fixtures.h"

using namespace saver_fixtures;

namespace {

class ViewTest : public ::testing::Test, public SaverHarness {
 protected:
  // Path words of one character each: 甲 乙 丙 丁 戊 己 庚 辛 ...
  static std::vector<PathWord> Chars(size_t n) {
    static const char* c[] = {"甲", "乙", "丙", "丁", "戊", "己", "庚", "辛", "壬", "癸"};
    std::vector<PathWord> p;
    for (size_t i = 0; i < n; ++i) p.push_back(W(G(c[i % 10]), 0, (uint8_t)i));
    return p;
  }
  void Report(const std::vector<_comb_t>& cands) {
    saver_fixtures::Report(matcher, cands);
    saver.m_pcustomwords = &matcher;
  }
  std::vector<uint64_t> WordView() {
    return std::vector<uint64_t>(saver.m_outword_idx.data(),
                                 saver.m_outword_idx.data() + saver.m_outword_num);
  }
  std::vector<uint64_t> PhraseView() {
    return std::vector<uint64_t>(saver.m_outphrase_idx.data(),
                                 saver.m_outphrase_idx.data() + saver.m_outphrase_num);
  }
  // Every word the readers hand out, in the current mode.
  std::vector<std::string> ReadAll() {
    std::vector<std::string> out;
    for (size_t i = 0; i < saver.get_tokens_count(); ++i) {
      const char* w = saver.get_word_at(i);
      EXPECT_NE(w, nullptr) << i;
      out.push_back(w ? w : "");
    }
    return out;
  }

  CCustomwordMatcher matcher;
};

uint64_t F(uint64_t i) { return i << 2; }
uint64_t Cu(uint64_t i) { return (i << 2) | 1; }
uint64_t Ph(uint64_t i) { return (i << 2) | 2; }

// --- Separators and the back length -------------------------------------------------

TEST_F(ViewTest, SeparatorIsAFineTokenOutsideThePath) {
  Prepare(LX_POS | LX_USR);
  Save(Chars(2));
  saver.save_spliter(G("，").data(), 2);
  saver.save_spliter("", 0);  // nothing to save
  EXPECT_EQ(Fine(), (std::vector<Tok>{T(G("甲"), 1), T(G("乙"), 2), T(G("，"), 34)}));
  EXPECT_EQ(WordCounts(saver), (std::vector<uint64_t>{1, 1}));
  saver.save_info_for_compatible();
  EXPECT_EQ(WordView(), (std::vector<uint64_t>{F(0), F(1), F(2)}));
  EXPECT_EQ(PhraseView(), (std::vector<uint64_t>{F(0), F(1), F(2)}));
  const WP* wp = saver.get_word_info_at(2);
  ASSERT_NE(wp, nullptr);
  EXPECT_EQ(wp->pos, 34);
  EXPECT_FALSE(wp->bcw);
}

TEST_F(ViewTest, BackLengthTakesBackTheLastTwoTokens) {
  FillHash(locsfx, {G("区")});
  Prepare(LX_LGU | LX_NEW_RES | LX_USR);
  // 我们 | 海淀区 split into 海淀 + 区, with a thick token over both; a
  // custom word over both path words and a phrase over the first.
  Report({Cand(0, 0, 0, 4, 16, true, 1), Cand(0, 1, 0, 10, 20, false, 2)});
  Save({W(G("我们")), W(G("海淀区"), 65, 19)});
  ASSERT_EQ(saver.m_seg_token_num, 3u);
  ASSERT_EQ(saver.m_thick_num, 1u);
  ASSERT_EQ(saver.m_custom_num, 1u);
  ASSERT_EQ(saver.m_phrase_num, 1u);

  EXPECT_EQ(saver.compute_back_len(), 6u);
  EXPECT_EQ(saver.m_seg_token_num, 1u);
  EXPECT_EQ(saver.m_thick_num, 0u);
  EXPECT_EQ(saver.m_custom_num, 0u);
  EXPECT_EQ(Phrases(), (std::vector<Comb>{C(G("我们"), 0, 0, 0, 1)}));
  saver.save_info_for_compatible();
  EXPECT_EQ(WordView(), (std::vector<uint64_t>{F(0)}));
  EXPECT_EQ(PhraseView(), (std::vector<uint64_t>{Ph(0)}));
}

TEST_F(ViewTest, NoBackLengthWithOneByteTokensOrFewTokens) {
  Prepare(0);
  Save({W(G("我们")), W(G("海淀")), W("x")});
  EXPECT_EQ(saver.compute_back_len(), 0u);
  Prepare(0);
  Save({W(G("我们")), W("x"), W(G("海淀"))});
  EXPECT_EQ(saver.compute_back_len(), 0u);
  EXPECT_EQ(saver.m_seg_token_num, 3u);
  Prepare(0);
  Save({W(G("我们")), W(G("海淀"))});
  EXPECT_EQ(saver.compute_back_len(), 0u);
  EXPECT_EQ(saver.m_seg_token_num, 2u);
}

TEST_F(ViewTest, BackLengthStaysInsideTheCutSentence) {
  // Tokens of the previous sentence are not taken back.
  Prepare(0);
  Save({W(G("我们")), W(G("好"))});
  saver.save_spliter(G("，").data(), 2);
  Save({W(G("海淀路"))});
  EXPECT_EQ(saver.compute_back_len(), 0u);
  EXPECT_EQ(saver.m_seg_token_num, 4u);

  // The whole cut sentence is never taken back.
  Prepare(0);
  Save({W(G("我们")), W(G("好"))});
  saver.save_spliter(G("，").data(), 2);
  Save({W(G("海淀")), W(G("路口"))});
  EXPECT_EQ(saver.compute_back_len(), 0u);
  EXPECT_EQ(saver.m_seg_token_num, 5u);

  // Tokens of a word output in two segmentations cover bytes that their
  // twins keep in the result: not taken back either.
  Prepare(0);
  Save({W(G("我们")), W(G("研究")), W(G("生命"))});
  saver.m_seg_tokens[2].wtype = 2;
  EXPECT_EQ(saver.compute_back_len(), 0u);
  saver.m_seg_tokens[2].wtype = 0;
  EXPECT_EQ(saver.compute_back_len(), 8u);
}

// --- Views ---------------------------------------------------------------------------

TEST_F(ViewTest, WithoutUsrReadersIndexFineTokens) {
  Prepare(LX_POS);
  Save(Chars(4));
  saver.save_spliter(",", 1);
  saver.save_info_for_compatible();
  EXPECT_EQ(WordView(), (std::vector<uint64_t>{F(0), F(1), F(2), F(3), F(4)}));
  EXPECT_EQ(PhraseView(), WordView());

  for (int mode : {(int)OUT_WORD, (int)OUT_PHRASE, (int)OUT_SUBPHRASE, 0, 7}) {
    saver.set_out_mode(mode);
    EXPECT_EQ(saver.get_tokens_count(), mode == OUT_SUBPHRASE ? 0u : 5u) << mode;
    // The readers ignore the out mode.
    ASSERT_NE(saver.get_word_at(3), nullptr);
    EXPECT_EQ(saver.get_word_at(3), G("丁")) << mode;
    EXPECT_STREQ(saver.get_word_at(4), ",");
    EXPECT_EQ(saver.get_word_at(5), nullptr);
  }
}

TEST_F(ViewTest, CustomWordReplacesTheTokensItCovers) {
  Prepare(LX_USR);
  Report({Cand(3, 5, 6, 6, 16, false, 9)});
  Save(Chars(8));
  saver.save_info_for_compatible();
  EXPECT_EQ(WordView(), (std::vector<uint64_t>{F(0), F(1), F(2), Cu(0), F(6), F(7)}));
  EXPECT_EQ(PhraseView(), WordView());
  EXPECT_EQ(saver.get_tokens_count(), 6u);
  EXPECT_EQ(ReadAll(), (std::vector<std::string>{G("甲"), G("乙"), G("丙"), G("丁戊己"), G("庚"),
                                                 G("辛")}));
}

TEST_F(ViewTest, PhrasesOnlyInThePhraseView) {
  Prepare(LX_USR);
  Report({Cand(0, 1, 0, 4, 16, true, 1), Cand(4, 4, 8, 2, 16, false, 2)});
  Save(Chars(5));
  saver.save_info_for_compatible();
  EXPECT_EQ(PhraseView(), (std::vector<uint64_t>{Ph(0), F(2), F(3), Cu(0)}));
  EXPECT_EQ(WordView(), (std::vector<uint64_t>{F(0), F(1), F(2), F(3), Cu(0)}));

  saver.set_out_mode(OUT_PHRASE);
  EXPECT_EQ(ReadAll(), (std::vector<std::string>{G("甲乙"), G("丙"), G("丁"), G("戊")}));
  saver.set_out_mode(OUT_SUBPHRASE);
  EXPECT_EQ(ReadAll(), (std::vector<std::string>{G("甲乙")}));
  saver.set_out_mode(OUT_WORD);
  EXPECT_EQ(saver.get_tokens_count(), 5u);
  saver.set_out_mode(42);  // any other value reads the output words
  EXPECT_EQ(saver.get_tokens_count(), 5u);
  EXPECT_EQ(saver.get_word_at(4), G("戊"));
}

TEST_F(ViewTest, CustomWordWinsOverPhraseAtTheSameStart) {
  Prepare(LX_USR);
  Report({Cand(0, 2, 0, 6, 16, true, 1), Cand(0, 1, 0, 4, 16, false, 2)});
  Save(Chars(4));
  saver.save_info_for_compatible();
  EXPECT_EQ(PhraseView(), (std::vector<uint64_t>{Cu(0), F(2), F(3)}));
}

TEST_F(ViewTest, OverlappingCustomWordBlocksTheRest) {
  Prepare(LX_USR);
  Report({Cand(1, 3, 2, 6, 16, false, 1), Cand(2, 4, 4, 6, 16, false, 2),
          Cand(6, 6, 12, 2, 16, false, 3)});
  Save(Chars(8));
  ASSERT_EQ(saver.m_custom_num, 3u);
  saver.save_info_for_compatible();
  EXPECT_EQ(WordView(), (std::vector<uint64_t>{F(0), Cu(0), F(4), F(5), F(6), F(7)}));
}

TEST_F(ViewTest, ViewsSpanSentences) {
  Prepare(LX_USR);
  Report({Cand(1, 2, 2, 4, 16, false, 1)});
  Save(Chars(3));
  saver.save_spliter(",", 1);
  Save(Chars(3));
  saver.save_spliter(",", 1);
  saver.save_info_for_compatible();
  EXPECT_EQ(WordView(), (std::vector<uint64_t>{F(0), Cu(0), F(3), F(4), Cu(1), F(7)}));
}

TEST_F(ViewTest, NothingBuiltWithoutTokensOrBeforeTheEnd) {
  Prepare(LX_USR);
  saver.save_info_for_compatible();
  EXPECT_EQ(saver.m_outword_num, 0u);
  EXPECT_EQ(saver.m_outphrase_num, 0u);
  // A call stopped before the views were built: nothing to read.
  Save(Chars(3));
  EXPECT_EQ(saver.get_tokens_count(), 0u);
  EXPECT_EQ(saver.get_word_at(0), nullptr);
  EXPECT_EQ(saver.get_word_info_at(0), nullptr);
  EXPECT_EQ(saver.get_ms_word_at(0), nullptr);
  EXPECT_EQ(saver.get_ms_word_info_at(0), nullptr);
}

// --- Readers ---------------------------------------------------------------------------

TEST_F(ViewTest, RecordsOfFineAndCustomItems) {
  Prepare(LX_USR | LX_POS);
  Report({Cand(1, 2, 2, 4, 22, false, 0x0302), Cand(3, 3, 6, 2, 31, true, 5)});
  Save(Chars(4));
  saver.m_seg_tokens[0].wtype = 1;  // as for the first segmentation of a word
  saver.save_info_for_compatible();

  const WP* wp = saver.get_word_info_at(0);
  ASSERT_NE(wp, nullptr);
  EXPECT_STREQ(wp->word, G("甲").c_str());
  EXPECT_EQ(wp->pos, 1);
  EXPECT_FALSE(wp->bcw);
  EXPECT_EQ(wp->cls, -1);
  wp = saver.get_word_info_at(1);
  ASSERT_NE(wp, nullptr);
  EXPECT_STREQ(wp->word, G("乙丙").c_str());
  EXPECT_EQ(wp->pos, 22);
  EXPECT_TRUE(wp->bcw);
  EXPECT_EQ(wp->cls, 0x0302);

  const ms_word_t* mw = saver.get_ms_word_at(0);
  ASSERT_NE(mw, nullptr);
  EXPECT_STREQ(mw->word, G("甲").c_str());
  EXPECT_EQ(mw->idx, 1);
  mw = saver.get_ms_word_at(1);
  ASSERT_NE(mw, nullptr);
  EXPECT_EQ(mw->idx, 0);

  const ms_wp_t* mp = saver.get_ms_word_info_at(0);
  ASSERT_NE(mp, nullptr);
  EXPECT_EQ(mp->pos, 1);
  EXPECT_FALSE(mp->bcw);
  EXPECT_EQ(mp->idx, 1);
  EXPECT_EQ(mp->cls, -1);

  saver.set_out_mode(OUT_SUBPHRASE);
  mp = saver.get_ms_word_info_at(0);
  ASSERT_NE(mp, nullptr);
  EXPECT_STREQ(mp->word, G("丁").c_str());
  EXPECT_EQ(mp->pos, 31);
  EXPECT_TRUE(mp->bcw);
  EXPECT_EQ(mp->cls, 5);
  EXPECT_EQ(mp->idx, 0);
}

TEST_F(ViewTest, IndexOutsideTheViewGivesNull) {
  for (int mode : {0, (int)LX_USR}) {
    Prepare(mode);
    Report({Cand(0, 1, 0, 4, 16, true, 1)});
    Save(Chars(3));
    saver.save_info_for_compatible();
    for (int out : {(int)OUT_WORD, (int)OUT_PHRASE, (int)OUT_SUBPHRASE}) {
      saver.set_out_mode(out);
      const size_t n = (mode & LX_USR) ? saver.get_tokens_count() : saver.m_seg_token_num;
      for (size_t bad : {n, n + 1, (size_t)1000, (size_t)-1, (size_t)(int)-5}) {
        EXPECT_EQ(saver.get_word_at(bad), nullptr) << mode << " " << out << " " << bad;
        EXPECT_EQ(saver.get_word_info_at(bad), nullptr);
        EXPECT_EQ(saver.get_ms_word_at(bad), nullptr);
        EXPECT_EQ(saver.get_ms_word_info_at(bad), nullptr);
      }
      if (n > 0) {
        EXPECT_NE(saver.get_word_at(n - 1), nullptr);
      }
    }
  }
}

TEST_F(ViewTest, Utf8Readers) {
  Prepare(LX_USR);
  Report({Cand(1, 2, 2, 4, 16, false, 1)});
  Save(Chars(3), false, LX_UTF8);
  saver.save_spliter("!", 1);
  saver.save_info_for_compatible();
  EXPECT_STREQ(saver.get_word_at(0), "甲");
  EXPECT_STREQ(saver.get_word_info_at(1)->word, "乙丙");
  EXPECT_STREQ(saver.get_ms_word_at(2)->word, "!");
  EXPECT_STREQ(saver.get_ms_word_info_at(1)->word, "乙丙");
  // The arrays keep GBK.
  seg_tokens_t all{};
  saver.get_result(all);
  EXPECT_EQ(std::string(all.fine_grain_seg_tokens[0].word), G("甲"));
  EXPECT_EQ(std::string(all.custom_defined_tokens[0].word), G("乙丙"));

  // The charset of the call decides, not that of an earlier one.
  saver.set_charset(LX_GBK);
  EXPECT_EQ(std::string(saver.get_word_at(0)), G("甲"));
}

TEST_F(ViewTest, LongWordsAreConvertedToo) {
  // 1,500 characters: 3,000 bytes of GBK, 4,500 of UTF-8.
  std::string utf8, gbk;
  for (int i = 0; i < 1500; ++i) utf8 += (i % 2) ? "国" : "中";
  gbk = G(utf8);
  ASSERT_EQ(gbk.size(), 3000u);
  Prepare(0);
  Save({W(G("在")), W(gbk)}, false, LX_UTF8);
  saver.save_info_for_compatible();
  const char* w = saver.get_word_at(1);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(std::string(w), utf8);
  // A short word after it still converts, and the long one again.
  EXPECT_STREQ(saver.get_word_at(0), "在");
  EXPECT_EQ(std::string(saver.get_word_at(1)), utf8);

  // The single byte 0x80 is the euro sign: three UTF-8 bytes for one byte.
  const std::string euros(2000, '\x80');
  const char* conv = saver._convert_word(euros.data(), euros.size());
  std::string expect;
  for (int i = 0; i < 2000; ++i) expect += "\u20ac";
  EXPECT_EQ(std::string(conv), expect);
  EXPECT_EQ(saver._convert_word(nullptr, 3), nullptr);
}

TEST_F(ViewTest, GetResultExposesTheArrays) {
  FillHash(locsfx, {G("区")});
  Prepare(LX_USR | LX_LGU | LX_NEW_RES);
  Report({Cand(0, 1, 0, 8, 16, false, 4), Cand(2, 2, 8, 2, 16, true, 5)});
  Save({W(G("海淀区"), 65), W(G("好")), W(G("人"))});
  seg_tokens_t all{};
  comb_token_t marker{};
  all.synonym_tokens = &marker;
  all.synonym_tokens_num = 77;
  saver.get_result(all);
  EXPECT_EQ(all.fine_grain_seg_tokens, saver.m_seg_tokens.data());
  EXPECT_EQ(all.fine_grain_tokens_num, 4u);
  EXPECT_EQ(all.thick_seg_tokens, saver.m_thick_tokens.data());
  EXPECT_EQ(all.thick_seg_tokens_num, 1u);
  EXPECT_EQ(all.custom_defined_tokens, saver.m_custom_tokens.data());
  EXPECT_EQ(all.custom_tokens_num, 1u);
  EXPECT_EQ(all.custom_defined_phrases, saver.m_phrase_tokens.data());
  EXPECT_EQ(all.custom_phrases_num, 1u);
  EXPECT_EQ(all.synonym_tokens, &marker);
  EXPECT_EQ(all.synonym_tokens_num, 77u);
  EXPECT_EQ(Custom(), (std::vector<Comb>{C(G("海淀区好"), 16, 0, 2, 4)}));
  EXPECT_EQ(Phrases(), (std::vector<Comb>{C(G("人"), 0, 3, 3, 5)}));
}

}  // namespace
