// The custom word matcher: candidates only on path-word boundaries, the
// forward selection, the user dictionary before the system one, the limits
// (prefix matches per position, m_cwMaxLen), and the saver turning the
// selection into custom tokens and phrases.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dict/CustomDict.h"
#include "dict/CustomDictWriter.h"
#include "seg/customword_matcher.h"
#include "seg/segtokens_saver.h"
#include "support/saver_fixtures.h"

using namespace saver_fixtures;

namespace {

// Class ids: the system names come first ("brand" 0, "city" 1), then the
// user classes in name order ("food" 2, "phrase" 3).  A class value packs
// ids into bytes, the first in the lowest.
const int kBrand = 0, kCity = 1, kFood = 2, kPhrase = 3;
const int kCityFood = kCity | (kFood << 8);

class MatcherTest : public ::testing::Test {
 protected:
  // Builds the user dictionary from `food` and `phrases` (lines of GBK
  // words, optionally ",pos"), and the system dictionary from `sys` unless
  // it is empty.
  void Load(const std::vector<std::string>& food, const std::vector<std::string>& phrases = {},
            const std::vector<syscd_entry_t>& sys = {}) {
    // The system dictionary always exists, so that the class ids stay the
    // same; without entries of the test it holds a word no text contains.
    const std::vector<syscd_entry_t> none = {{"zzzzzz", kBrand}};
    ASSERT_TRUE(write_sys_custom_dict(dir.file("cusdata.idx").c_str(),
                                      dir.file("id_custname.dict").c_str(), {"brand", "city"},
                                      sys.empty() ? none : sys));
    std::string f, p;
    for (const std::string& l : food) f += l + "\n";
    for (const std::string& l : phrases) p += l + "\n";
    if (!food.empty()) dir.write("CustomWord/food/list.txt", f);
    if (!phrases.empty()) dir.write("CustomWord/phrase/list.txt", p);
    std::filesystem::create_directories(dir.file("CustomWord"));
    ASSERT_TRUE(cd.InitCDict(dir.file("CustomWord").c_str(), dir.path().c_str()));
    matcher.m_pCustomDict = &cd;
  }

  // Runs the matcher over a path of `words`.
  void Match(const std::vector<PathWord>& words) {
    text = BuildPath(*lat, words);
    matcher.generate_customwords(lat.get(), text.c_str(), text.size());
  }

  struct Span {
    int s, e;
    std::string word;
    bool operator==(const Span& o) const { return s == o.s && e == o.e && word == o.word; }
  };
  friend std::ostream& operator<<(std::ostream& os, const Span& x) {
    return os << "{" << x.s << ".." << x.e << " \"" << U(x.word) << "\"}";
  }
  Span SpanOf(const _comb_t& c) { return Span{c.sIdx, c.eIdx, text.substr(c.oft, c.wlen)}; }

  std::vector<Span> Candidates() {
    std::vector<Span> out;
    for (size_t i = 0; i < matcher.m_all_cw_num; ++i)
      out.push_back(SpanOf(matcher.m_matched_custom_words[(long)i]));
    return out;
  }
  std::vector<Span> Selected() {
    _comb_t* all;
    size_t* idx;
    size_t n;
    matcher.get_result(all, idx, n);
    std::vector<Span> out;
    for (size_t i = 0; i < n; ++i) out.push_back(SpanOf(all[idx[i]]));
    return out;
  }

  static std::vector<PathWord> Words(const std::vector<const char*>& utf8) {
    std::vector<PathWord> p;
    for (const char* w : utf8) p.push_back(W(G(w)));
    return p;
  }

  TempDir dir;
  CCustomDict cd;
  CCustomwordMatcher matcher;
  std::unique_ptr<CLattice> lat = std::make_unique<CLattice>();
  std::string text;
};

TEST_F(MatcherTest, OnlyOnPathWordBoundaries) {
  Load({G("国人"), G("中国人"), G("人民银行"), G("银行好")});
  Match(Words({"中国", "人民", "银行", "好"}));
  // 国人 starts inside 中国, 中国人 ends inside 人民.
  EXPECT_EQ(Candidates(), (std::vector<Span>{{1, 2, G("人民银行")}, {2, 3, G("银行好")}}));
  EXPECT_EQ(Selected(), (std::vector<Span>{{1, 2, G("人民银行")}}));
}

TEST_F(MatcherTest, LongestAtTheSameStartWord) {
  Load({G("中国人民"), G("中国人民银行"), G("中国")});
  Match(Words({"中国", "人民", "银行"}));
  EXPECT_EQ(Candidates(), (std::vector<Span>{{0, 0, G("中国")}, {0, 1, G("中国人民")},
                                             {0, 2, G("中国人民银行")}}));
  EXPECT_EQ(Selected(), (std::vector<Span>{{0, 2, G("中国人民银行")}}));
  EXPECT_EQ(matcher.m_fmm_cw_num, 1u);
  EXPECT_EQ(matcher.m_fmm_w_num, 3u);
}

TEST_F(MatcherTest, ForwardSelectionSkipsOverlaps) {
  Load({G("甲乙"), G("乙丙"), G("丙丁")});
  Match(Words({"甲", "乙", "丙", "丁"}));
  EXPECT_EQ(Candidates().size(), 3u);
  EXPECT_EQ(Selected(), (std::vector<Span>{{0, 1, G("甲乙")}, {2, 3, G("丙丁")}}));
  EXPECT_EQ(matcher.m_fmm_w_num, 4u);
  EXPECT_EQ(matcher.m_fmm_sw_num, 4u);
}

TEST_F(MatcherTest, OneCharacterWordCounts) {
  Load({G("甲乙丙丁"), "ab" + G("甲") + "c"});
  Match({W(G("甲")), W(G("乙丙")), W(G("丁")), W("ab"), W(G("甲")), W("c")});
  ASSERT_EQ(matcher.m_all_cw_num, 2u);
  // 甲, 丁 (two bytes with a lead byte); "ab" is no one-character word, "c" is.
  EXPECT_EQ(matcher.m_cw_single_char_num[0], 2u);
  EXPECT_EQ(matcher.m_cw_single_char_num[1], 2u);
  EXPECT_EQ(matcher.m_fmm_w_num, 6u);
  EXPECT_EQ(matcher.m_fmm_sw_num, 4u);
}

TEST_F(MatcherTest, RecordsOfUserEntries) {
  Load({G("人民银行") + ",nt"}, {G("中国人民")});
  Match(Words({"中国", "人民", "银行"}));
  ASSERT_EQ(matcher.m_all_cw_num, 2u);
  const _comb_t& phrase = matcher.m_matched_custom_words[0];
  EXPECT_EQ(phrase.data, CCustomDict::setidxpos(kPhrase, 16, 1));
  EXPECT_EQ(phrase.clsidx, kPhrase);
  EXPECT_EQ(phrase.oft, 0u);
  EXPECT_EQ(phrase.wlen, 8u);
  const _comb_t& word = matcher.m_matched_custom_words[1];
  EXPECT_EQ(word.data, CCustomDict::setidxpos(kFood, 21, 0));
  EXPECT_EQ(word.clsidx, kFood);
  EXPECT_EQ(word.oft, 4u);
  // 中国人民 covers word 1, so 人民银行 is not selected.
  EXPECT_EQ(Selected(), (std::vector<Span>{{0, 1, G("中国人民")}}));
}

TEST_F(MatcherTest, UserEntriesHideSystemEntries) {
  Load({G("人民")}, {}, {{G("人民银行"), kCity}, {G("银行"), kCityFood}});
  ASSERT_TRUE(cd.m_SysCustomDict);
  Match(Words({"人民", "银行", "好"}));
  // At word 0 the user entry 人民 hides the system entry 人民银行; at word 1
  // only the system dictionary has an entry.
  EXPECT_EQ(Candidates(), (std::vector<Span>{{0, 0, G("人民")}, {1, 1, G("银行")}}));
  const _comb_t& sys = matcher.m_matched_custom_words[1];
  EXPECT_EQ(sys.data, CCustomDict::setidxpos(kCityFood, 16, 0));
  EXPECT_EQ(sys.clsidx, kCityFood);

  Match(Words({"银行", "人民", "银行"}));
  EXPECT_EQ(Selected(), (std::vector<Span>{{0, 0, G("银行")}, {1, 1, G("人民")}, {2, 2, G("银行")}}));
}

TEST_F(MatcherTest, SystemDictionaryAloneWithoutUserWords) {
  Load({}, {}, {{G("人民银行"), kCity}});
  ASSERT_EQ(cd.m_attrusr, nullptr);
  Match(Words({"中国", "人民", "银行"}));
  EXPECT_EQ(Selected(), (std::vector<Span>{{1, 2, G("人民银行")}}));
}

TEST_F(MatcherTest, LongPathWordsStartNoSearch) {
  Load({G("中国人民"), G("好中国")});
  cd.m_cwMaxLen = 3;
  Match(Words({"中国", "人民"}));
  EXPECT_EQ(matcher.m_all_cw_num, 0u);
  // A short start word still extends over longer words.
  Match(Words({"好", "中国"}));
  EXPECT_EQ(Candidates(), (std::vector<Span>{{0, 1, G("好中国")}}));
  cd.m_cwMaxLen = 4;
  Match(Words({"中国", "人民"}));
  EXPECT_EQ(Candidates(), (std::vector<Span>{{0, 1, G("中国人民")}}));
}

TEST_F(MatcherTest, AtMostSixteenPrefixMatches) {
  std::vector<std::string> entries;
  for (int n = 1; n <= 20; ++n) entries.push_back(std::string((size_t)n, 'a'));
  Load(entries);
  std::vector<PathWord> path(20, W("a"));
  Match(path);
  // The 16 shortest at word 0 (the longest covers words 0..15); at word 16
  // only four bytes remain.
  EXPECT_EQ(Selected(), (std::vector<Span>{{0, 15, std::string(16, 'a')}, {16, 19, "aaaa"}}));
  size_t at0 = 0;
  for (size_t i = 0; i < matcher.m_all_cw_num; ++i)
    if (matcher.m_matched_custom_words[(long)i].sIdx == 0) ++at0;
  EXPECT_EQ(at0, 16u);
}

TEST_F(MatcherTest, NothingToMatch) {
  Load({G("中国")});
  Match(Words({"中国"}));
  ASSERT_EQ(matcher.m_fmm_cw_num, 1u);
  // A sentence without entries empties the result of the previous one.
  Match(Words({"人民"}));
  EXPECT_EQ(matcher.m_all_cw_num, 0u);
  EXPECT_EQ(Selected().size(), 0u);
  // Empty sentence, no dictionary, a path that does not advance.
  matcher.generate_customwords(lat.get(), "", 0);
  EXPECT_EQ(matcher.m_all_cw_num, 0u);
  text = BuildPath(*lat, Words({"中国", "中国"}));
  lat->m_nodes[4].nNextLen = 0;
  matcher.generate_customwords(lat.get(), text.c_str(), text.size());
  EXPECT_EQ(Candidates(), (std::vector<Span>{{0, 0, G("中国")}}));
  lat->clear(8);
  matcher.generate_customwords(lat.get(), text.c_str(), text.size());
  EXPECT_EQ(matcher.m_all_cw_num, 0u);
  CCustomwordMatcher none;
  none.generate_customwords(lat.get(), text.c_str(), text.size());
  EXPECT_EQ(none.m_all_cw_num, 0u);
  EXPECT_TRUE(none.m_buse_fmm_custom_words);
}

TEST_F(MatcherTest, ResultListIsTheForwardSelection) {
  Load({G("中国")});
  Match(Words({"中国"}));
  _comb_t* all;
  size_t* idx;
  size_t n;
  matcher.get_result(all, idx, n);
  EXPECT_EQ(all, matcher.m_matched_custom_words.data());
  EXPECT_EQ(idx, matcher.m_forward_custom_words.data());
  EXPECT_EQ(n, 1u);
  matcher.m_buse_fmm_custom_words = false;  // the backward list is never built
  matcher.get_result(all, idx, n);
  EXPECT_EQ(n, 0u);
}

// --- Through the saver -------------------------------------------------------------------

class MatcherSaverTest : public MatcherTest {
 protected:
  // Matches on the sentence of `words`, saves from `out` (the same sentence
  // with other letter case) or from the sentence itself.
  void Run(const std::vector<PathWord>& words, int mode, const std::string& out = "") {
    saver.prepare_save(nullptr, &fuxing, &locsfx, mode);
    saver.reset();
    saver.m_pcustomwords = &matcher;
    Match(words);
    const std::string& o = out.empty() ? text : out;
    ASSERT_EQ(o.size(), text.size());
    saver.save_tokens(lat.get(), o.c_str(), o.size(), LX_GBK);
  }
  std::vector<Tok> Fine() { return FineTokens(saver); }
  std::vector<Comb> Custom() { return CombTokens(saver.m_custom_tokens, saver.m_custom_num); }
  std::vector<Comb> Phrases() { return CombTokens(saver.m_phrase_tokens, saver.m_phrase_num); }

  CSegTokensSaver saver;
  HashDict fuxing, locsfx;
};

TEST_F(MatcherSaverTest, SelectionBecomesCustomTokensAndPhrases) {
  Load({G("人民银行") + ",nt", G("好")}, {G("中国"), "abc"});
  Run({W(G("中国"), 0, 19), W(G("人民"), 0, 15), W(G("银行"), 0, 15), W(G("好"), 0, 0), W("abc", 58, 22)},
      LX_USR | LX_POS, G("中国人民银行好") + "ABC");
  EXPECT_EQ(Custom(), (std::vector<Comb>{C(G("人民银行"), 21, 1, 2, kFood), C(G("好"), 1, 3, 3, kFood)}));
  // Phrase texts come from the saver's own (case-preserving) sentence.
  EXPECT_EQ(Phrases(), (std::vector<Comb>{C(G("中国"), 20, 0, 0, kPhrase), C("ABC", 23, 4, 4, kPhrase)}));
}

TEST_F(MatcherSaverTest, SystemEntriesAreNounCustomTokens) {
  Load({}, {}, {{G("人民银行"), kCityFood}, {G("银行"), kCity}});
  Run({W(G("人民"), 0, 15), W(G("银行"), 0, 20), W(G("银行"), 0, 20)}, LX_USR | LX_POS);
  EXPECT_EQ(Custom(), (std::vector<Comb>{C(G("人民银行"), 16, 0, 1, kCityFood),
                                         C(G("银行"), 21, 2, 2, kCity)}));
  EXPECT_EQ(saver.m_phrase_num, 0u);
}

TEST_F(MatcherSaverTest, CustomWordsOverSplitWords) {
  FillHash(fuxing, {G("欧阳")});
  Load({G("欧阳修文好")});
  Run({W(G("欧阳修文"), 59, 16), W(G("好"), 0, 0)}, LX_USR | LX_PGU);
  EXPECT_EQ(Fine(), (std::vector<Tok>{T(G("欧阳"), 18), T(G("修文"), 19), T(G("好"), 0)}));
  EXPECT_EQ(Custom(), (std::vector<Comb>{C(G("欧阳修文好"), 16, 0, 2, kFood)}));
}

}  // namespace
