// The token saver: the path walk and every word rule (person and
// transliterated names, words with two segmentations, factoids, locations,
// sub-words) as golden rows, custom tokens, the back length, the views and
// readers, and the coverage invariant on random paths.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "dict/CustomDict.h"
#include "seg/customword_matcher.h"
#include "seg/segtokens_saver.h"
#include "support/saver_fixtures.h"

using namespace saver_fixtures;

namespace {

// A dictionary of the words whose index the rules read.
struct SaverDict : DictFixture {
  SaverDict() {
    for (const char* w : {"研究", "生命", "研究生", "命", "学生", "会", "学", "生会", "力", "大学"})
      add(Entry(G(w)));
    basic_dict_entry_t e87 = Entry(G("研究生命"), 87);
    e87.rule = BasicDictMulSegRecord(G("研究"), G("生命"), 31, 16, G("研究生"), G("命"), 33, 46);
    add(e87);
    basic_dict_entry_t e88 = Entry(G("学生会"), 88);
    e88.rule = BasicDictRuleBlock({G("学生"), G("会")}, -1.0f);
    auto second = BasicDictRuleBlock({G("学"), G("生会")}, -2.0f);
    e88.rule->insert(e88.rule->end(), second.begin(), second.end());
    e88.pos = std::vector<prop_item_t>{{16, -1}, {31, -1}, {2, -1}, {22, -1}};
    add(e88);
    basic_dict_entry_t half = Entry(G("生命力"), 88);  // first segmentation empty
    half.rule = BasicDictRuleBlock({}, 0.0f);
    auto second2 = BasicDictRuleBlock({G("生命"), G("力")}, 0.0f);
    half.rule->insert(half.rule->end(), second2.begin(), second2.end());
    half.pos = std::vector<prop_item_t>{{16, -1}, {3, -1}};
    add(half);
    add(Entry(G("生命线"), 87));  // type 87 without a record
    basic_dict_entry_t two = Entry(G("北京大学生"));
    two.subwords = std::vector<subword_t>{{4, 20}, {6, 33}};
    add(two);
    basic_dict_entry_t one = Entry(G("人民银行"));
    one.subwords = std::vector<subword_t>{{8, 42}};
    add(one);
    basic_dict_entry_t none = Entry(G("中国人"));
    none.subwords = std::vector<subword_t>{};
    add(none);
    basic_dict_entry_t loc = Entry(G("海淀区"), 63);
    loc.subwords = std::vector<subword_t>{{2, 16}, {4, 16}};
    add(loc);
    EXPECT_TRUE(load());
  }
};

// A path written as "text:type:posIndex" words; "@word" takes the attribute
// of a dictionary word, "#N" sets it to N, "!" marks a combined item.
std::vector<PathWord> Path(const std::string& words, const DictFixture* dict) {
  std::vector<PathWord> out;
  std::istringstream in(words);
  std::string w;
  while (in >> w) {
    PathWord p;
    const size_t c2 = w.rfind(':'), c1 = w.rfind(':', c2 - 1);  // the text may hold ':'
    p.text = G(w.substr(0, c1));
    p.type = std::stoi(w.substr(c1 + 1));
    size_t end = 0;
    p.posIndex = (uint8_t)std::stoi(w.substr(c2 + 1), &end);
    std::string rest = w.substr(c2 + 1 + end);
    if (rest.find('!') != std::string::npos) p.bcomb = true, rest.erase(rest.find('!'), 1);
    if (!rest.empty() && rest[0] == '@') p.attr = dict->attr(G(rest.substr(1)));
    if (!rest.empty() && rest[0] == '#') p.attr = (uint32_t)std::stoul(rest.substr(1));
    out.push_back(p);
  }
  return out;
}

// "word/pos" per fine token (":wtype" when set), then "[word/pos s-e]" per
// thick token and "|n" per word with n tokens.
std::string Render(SaverHarness& h) {
  std::string out;
  for (const Tok& t : h.Fine())
    out += U(t.word) + "/" + std::to_string(t.pos) + (t.wtype ? ":" + std::to_string(t.wtype) : "") + " ";
  for (const Comb& t : h.Thick())
    out += "[" + U(t.word) + "/" + std::to_string(t.pos) + " " + std::to_string(t.sidx) + "-" +
           std::to_string(t.eidx) + "] ";
  for (uint64_t n : WordCounts(h.saver)) out += "|" + std::to_string(n);
  return out;
}

class SaverTest : public ::testing::Test, public SaverHarness {
 protected:
  std::string Run(int mode, const std::string& path) {
    Prepare(mode, &dict.dict);
    Save(Path(path, &dict));
    return Render(*this);
  }
  void Report(const std::vector<_comb_t>& cands) {
    saver_fixtures::Report(matcher, cands);
    saver.m_pcustomwords = &matcher;
  }
  SaverDict dict;
  CCustomwordMatcher matcher;
};

TEST_F(SaverTest, WordRules) {
  FillHash(fuxing, {G("欧阳")});
  FillHash(locsfx, {G("区"), G("新区"), G("自治区")});
  const int P = LX_POS, NR = LX_NEW_RES;
  const struct { int mode; std::string path, want; } rows[] = {
      // Tags: none, own tag + 1, and the coarse map (vn -> n, ad -> d).
      {0, "我们:0:26 研究:0:32 的:55:1", "我们/0 研究/0 的/0 |1|1|1"},
      {P, "我们:0:26 研究:0:32 的:55:1", "我们/27 研究/33 的/2 |1|1|1"},
      {P | LX_SECPOS, "我们:0:26 研究:0:32 的:55:1", "我们/27 研究/16 的/6 |1|1|1"},
      // Person names: compound surname, single surname only for 6 bytes.
      {LX_PGU | NR, "你好:0:0 欧阳修文:59:16", "你好/0 欧阳/18 修文/19 [欧阳修文/17 1-2] |1|2"},
      {LX_PGU, "欧阳修文:61:16", "欧阳/18 修文/19 |2"}, {NR, "欧阳修文:59:16", "欧阳修文/17 |1"},
      {LX_PGU, "王小明:59:16 王小明明:59:16 李四:61:16", "王/18 小明/19 王小明明/17 李四/17 |2|1|1"},
      {LX_PGU, "小王:61:16 老李:59:16", "小王/17 老李/0 |1|1"}, {LX_PGU | P | LX_SECPOS, "老李:59:41", "老李/16 |1"},
      {LX_PGU, "欧阳x:59:16", "欧阳/18 x/19 |2"},
      // Transliterated names: split with LX_PGU, invalid splits always.
      {NR, "约·翰:60:16", "约/16 ·/34 翰/16 |3"},
      {LX_PGU | NR, "是:0:0 约翰·史密斯:62:16", "是/0 约翰/17 ·/34 史密斯/17 [约翰·史密斯/17 1-3] |1|3"},
      {NR, "约翰·史密斯:62:21 约翰·史密斯:60:21", "约翰·史密斯/17 约翰·史密斯/0 |1|1"},
      {P, "约翰·史密斯:62:21 约翰·史密斯:60:21", "约翰·史密斯/22 约翰·史密斯/22 |1|1"},
      {NR, "·约翰:60:16 约翰--史密斯:62:16", "·/34 约翰/16 约翰/16 -/34 -/34 史密斯/16 |2|4"},
      {LX_PGU, "约翰ˉ史密斯—杰克－汤姆:62:16 约翰·:62:16",
       "约翰/17 ˉ/34 史密斯/17 —/34 杰克/17 －/34 汤姆/17 约翰/17 ·/34 |7|2"},
      {LX_PGU | NR, "史密斯:62:16", "史密斯/17 |1"},
      // Two segmentations: both with LX_WMUL, the first with LX_WGU.
      {LX_WMUL | NR, "的:55:0 研究生命:87:30@研究生命", "的/0 研究/31:1 生命/16:1 研究生/33:2 命/46:2 |1|4"},
      {LX_WMUL | LX_SECPOS, "研究生命:87:30@研究生命", "研究/31:1 生命/16:1 研究生/16:2 命/31:2 |4"},
      {LX_WGU, "研究生命:87:30@研究生命", "研究/31 生命/16 |2"},
      {LX_WGU | LX_WMUL, "研究生命:87:30@研究生命", "研究/31:1 生命/16:1 研究生/33:2 命/46:2 |4"},
      {LX_PMUL, "研究生命:87:30@研究生命", "研究生命/31 |1"},
      {LX_PMUL | NR, "学生会:88:15@学生会 学生会:-88:15@学生会",
       "学生/16:1 会/31:1 学/2:2 生会/22:2 学/2:1 生会/22:1 学生/16:2 会/31:2 |4|4"},
      {LX_PMUL | LX_SECPOS, "学生会:88:15@学生会", "学生/16:1 会/31:1 学/6:2 生会/22:2 |4"},
      {LX_WMUL | LX_WGU, "学生会:88:15@学生会", "学生会/16 |1"},
      {LX_PMUL, "生命力:88:15@生命力 生命力:-88:15@生命力", "生命/16:2 力/3:2 生命/16:1 力/3:1 |2|2"},
      {LX_WMUL | LX_PMUL, "生命线:87:15@生命线 研究生命:87:15 学生会:88:15#0 学生会:-88:15@研究",
       "生命线/16 研究生命/16 学生会/16 学生会/16 |1|1|1|1"},
      {LX_WMUL, "研究:87:30@研究生命", "研究/31:1 究/46:2 |2"},  // parts never leave the item
      {LX_PMUL, "学生:88:15@学生会", "学生/16:1 学/2:2 |2"},
      // Factoids: number with unit, letters and digits, web addresses.
      {LX_GU | NR, "三十个:58:25#10000004!", "三十/15 个/26 [三十个/26 0-1] |2"},
      {LX_GU | LX_SECPOS | NR, "12个:58:42#10000004!", "12/15 个/26 [12个/26 0-1] |2"},
      {0, "三十个:58:25#10000004!", "三十个/26 |1"},
      {LX_GU, "三十个:58:14#10000004 个:58:25#10000004!", "三十个/15 个/26 |1|1"},
      {LX_ENGU | NR, "abc123:58:22#10000005 12ab:58:22#10000005",
       "abc/23 123/15 12/15 ab/23 [abc123/23 0-1] [12ab/23 2-3] |2|2"},
      {LX_ENGU | NR, "ab-12:58:22 a1a1:58:22 a1:58:22 1234:58:22 ab12-:58:22 Z9Z:58:22",
       "ab-12/23 a1a1/23 a1/23 1234/23 ab12-/23 Z9Z/23 |1|1|1|1|1|1"},
      {LX_ENGU, "AB12:58:22 ab12:58:14", "AB/23 12/15 ab12/15 |2|1"}, {0, "abc123:58:22", "abc123/23 |1"},
      {LX_ENGU | NR, "www.abc.com:58:49", "www/23 ./34 abc/23 ./34 com/23 [www.abc.com/50 0-4] |5"},
      {LX_ENGU | NR, "http://x.cn/:58:49", "http/23 :/34 //34 //34 x/23 ./34 cn/23 //34 [http://x.cn//50 0-7] |8"},
      {LX_ENGU | NR, "localhost:58:49 .:58:49", "localhost/23 ./34 |1|1"},
      {P, "www.abc.com:58:49", "www.abc.com/50 |1"},
      // Locations: split before the longest suffix that leaves a name.
      {LX_LGU | NR, "海淀区:65:19", "海淀/20 区/16 [海淀区/20 0-1] |2"},
      {LX_LGU | P, "浦东新区:66:19 广西自治区:65:19 东新区:65:19", "浦东/20 新区/16 广西/20 自治区/16 东新/20 区/16 |2|2|2"},
      {P | NR, "海淀区:65:5", "海淀区/20 |1"}, {0, "海淀区:65:5", "海淀区/0 |1"},
      {LX_LGU | P, "海淀路:65:19 x淀区:65:19 淀区:65:19", "海淀路/20 x淀区/20 淀区/20 |1|1|1"},
      {LX_LGU | P | NR, "三里屯区:65:19", "三里/20 屯/15 区/16 [三里屯区/20 0-2] |3"},
      {LX_LGU, "三里屯区:65:19 一号区:65:19", "三里/0 屯/0 区/0 一/0 号/0 区/0 |3|3"},
      {LX_LGU | P, "一号区:65:19", "一/15 号/16 区/16 |3"},
      {LX_LGU | P | NR, "三里五区:65:19", "三/15 里/16 五/15 区/16 [三里五区/20 0-3] |4"},
      {LX_LGU | P, "三里屯村五区:65:19 三里x区:65:19 里三五区:65:19",
       "三/15 里屯村/16 五/15 区/16 三里x/20 区/16 里三五/20 区/16 |4|2|2"},
      {P, "海淀区:63:5", "海淀区/6 |1"}, {P | LX_LGU, "海淀区:63:5 海淀:64:5", "海淀/20 区/16 海淀/20 |2|1"},
      // Sub-words (before the location rule); their tags are always coarse.
      {LX_SGU | P | NR, "北京大学生:0:32@北京大学生 大学:0:15@大学", "北京/20 大学生/16 大学/16 [北京大学生/33 0-1] |2|1"},
      {LX_SGU | P | LX_SECPOS | NR, "北京大学生:0:32@北京大学生", "北京/20 大学生/16 [北京大学生/16 0-1] |2"},
      {LX_SGU | NR, "北京大学生:0:32@北京大学生", "北京/20 大学生/16 [北京大学生/0 0-1] |2"},
      {LX_SGU | P | NR, "人民银行:0:20@人民银行", "人民银行/16 [人民银行/21 0-0] |1"},
      {LX_SGU | P | NR, "中国人:0:15@中国人 北京大学生:0:15 北京大学生:0:15#0 北京大学生:0:15#1000",
       "中国人/16 北京大学生/16 北京大学生/16 北京大学生/16 |1|1|1|1"},
      {P | NR, "北京大学生:0:15@北京大学生", "北京大学生/16 |1"}, {LX_SGU | LX_LGU | P, "海淀区:63:19@海淀区", "海/16 淀区/16 |2"},
      {LX_SGU | P, "北京大:0:15@北京大学生 学:0:15", "北京/20 学/16 |1|1"},
      // LX_CLS and LX_SYN change nothing.
      {P | LX_PGU | LX_LGU | LX_CLS | LX_SYN | NR, "欧阳修文:59:16 海淀区:65:19",
       "欧阳/18 修文/19 海淀/20 区/16 [欧阳修文/17 0-1] [海淀区/20 2-3] |2|2"},
  };
  for (const auto& r : rows) EXPECT_EQ(Run(r.mode, r.path), r.want) << r.path << " mode " << std::hex << r.mode;
}

TEST_F(SaverTest, NamePartsNeverOverflow) {
  for (int seps : {9, 10, 40}) {  // 9 separators: 19 entries; more do not fit
    std::string name;
    for (int i = 0; i < seps; ++i) name += "约-";
    name += "翰";
    const std::string got = Run(LX_PGU | LX_NEW_RES, name + ":62:16");
    EXPECT_EQ(got.substr(got.rfind('|')), seps == 9 ? "|19" : "|1") << seps;
  }
}

TEST_F(SaverTest, CustomTokensSpanTheFineTokensOfTheirWords) {
  FillHash(fuxing, {G("欧阳")});
  Prepare(LX_USR | LX_PGU | LX_POS);
  Report({Cand(0, 1, 0, 10, 17, false, 3), Cand(1, 2, 8, 6, 16, true, 0x0504)});
  Save({W(G("欧阳修文"), 59, 16), W(G("是"), 0, 20), W(G("好人"), 0, 15)});
  EXPECT_EQ(Custom(), (std::vector<Comb>{C(G("欧阳修文是"), 17, 0, 2, 3)}));
  EXPECT_EQ(Phrases(), (std::vector<Comb>{C(G("是好人"), 16, 2, 3, 0x0504)}));
  // A single-token word takes the token's tag, but only for "n".
  Prepare(LX_USR | LX_POS);
  Report({Cand(0, 0, 0, 4, 16, false, 1), Cand(1, 1, 4, 4, 31, false, 2)});
  Save({W(G("中国"), 0, 11), W(G("人民"), 0, 11)});
  EXPECT_EQ(Custom(), (std::vector<Comb>{C(G("中国"), 12, 0, 0, 1), C(G("人民"), 31, 1, 1, 2)}));
  // Indices count from the start of the call.
  Prepare(LX_USR);
  Report({Cand(1, 2, 2, 4, 20, false, 7)});
  Save({W(G("我"), 55), W(G("在"), 55), W(G("家"), 55)});
  saver.save_spliter(",", 1);
  Save({W(G("你"), 55), W(G("在"), 55), W(G("家"), 55)});
  EXPECT_EQ(Custom(), (std::vector<Comb>{C(G("在家"), 20, 1, 2, 7), C(G("在家"), 20, 5, 6, 7)}));
}

// --- Back length, views and readers --------------------------------------------

// Every word the readers hand out as "word/pos" ("*cls" for custom items).
std::string ReadAll(CSegTokensSaver& s) {
  std::string out;
  for (size_t i = 0; i < s.get_tokens_count(); ++i) {
    const WP* wp = s.get_word_info_at(i);
    if (wp == nullptr) return out + "<null>";
    out += U(wp->word) + "/" + std::to_string(wp->pos) + (wp->bcw ? "*" + std::to_string(wp->cls) : "") + " ";
  }
  return out;
}

std::vector<PathWord> Chars(size_t n) {
  static const char* c[] = {"甲", "乙", "丙", "丁", "戊", "己", "庚", "辛"};
  std::vector<PathWord> p;
  for (size_t i = 0; i < n; ++i) p.push_back(W(G(c[i]), 0, (uint8_t)i));
  return p;
}

TEST_F(SaverTest, BackLengthTakesBackTheLastTwoTokensOfTheCutSentence) {
  FillHash(locsfx, {G("区")});
  Prepare(LX_LGU | LX_NEW_RES | LX_USR);
  Report({Cand(0, 0, 0, 4, 16, true, 1), Cand(0, 1, 0, 10, 20, false, 2)});
  Save({W(G("我们")), W(G("海淀区"), 65, 19)});
  EXPECT_EQ(saver.compute_back_len(), 6u);
  EXPECT_EQ(Fine(), (std::vector<Tok>{T(G("我们"), 0)}));
  EXPECT_EQ(saver.m_thick_num + saver.m_custom_num, 0u);
  EXPECT_EQ(Phrases(), (std::vector<Comb>{C(G("我们"), 0, 0, 0, 1)}));
  saver.set_out_mode(OUT_PHRASE);
  saver.save_info_for_compatible();
  EXPECT_EQ(ReadAll(saver), "我们/0*1 ");

  const struct {
    std::vector<std::string> sentences;  // cut sentence last
    size_t back;
  } cases[] = {{{"我们 海淀 x"}, 0}, {{"我们 x 海淀"}, 0}, {{"我们 海淀"}, 0},
               {{"我们 好", "海淀路"}, 0}, {{"我们 好", "海淀 路口"}, 0}, {{"我们 研究 生命"}, 8}};
  for (const auto& c : cases) {
    Prepare(0);
    for (size_t k = 0; k < c.sentences.size(); ++k) {
      if (k) saver.save_spliter(G("，").data(), 2);
      std::vector<PathWord> p;
      std::istringstream in(c.sentences[k]);
      for (std::string w; in >> w;) p.push_back(W(G(w)));
      Save(p);
    }
    EXPECT_EQ(saver.compute_back_len(), c.back) << c.sentences.back();
  }
  // Tokens of a word output in two segmentations are not taken back.
  saver.m_seg_tokens[0].wtype = 2;
  EXPECT_EQ(saver.compute_back_len(), 0u);
}

TEST_F(SaverTest, ViewsAndReaders) {
  const struct { std::vector<_comb_t> cands; size_t chars; std::string words, phrases, subphrases; } cases[] = {
      {{Cand(3, 5, 6, 6, 16, false, 9)}, 8, "甲/1 乙/2 丙/3 丁戊己/16*9 庚/7 辛/8 ", "", ""},
      {{Cand(0, 1, 0, 4, 16, true, 1), Cand(4, 4, 8, 2, 16, false, 2)}, 5,
       "甲/1 乙/2 丙/3 丁/4 戊/5*2 ", "甲乙/16*1 丙/3 丁/4 戊/5*2 ", "甲乙/16*1 "},
      {{Cand(0, 2, 0, 6, 16, true, 1), Cand(0, 1, 0, 4, 16, false, 2)}, 4, "", "甲乙/16*2 丙/3 丁/4 ", "甲乙丙/16*1 "},
      {{Cand(1, 3, 2, 6, 16, false, 1), Cand(2, 4, 4, 6, 16, false, 2), Cand(6, 6, 12, 2, 16, false, 3)}, 8,
       "甲/1 乙丙丁/16*1 戊/5 己/6 庚/7 辛/8 ", "", ""},
  };
  // (An overlapping custom word blocks the custom words after it.)
  for (const auto& c : cases) {
    Prepare(LX_USR | LX_POS);
    Report(c.cands);
    Save(Chars(c.chars));
    saver.save_info_for_compatible();
    // (Any mode value but the phrase ones reads the output words.)
    const std::pair<int, std::string> views[] = {
        {OUT_WORD, c.words}, {OUT_PHRASE, c.phrases.empty() ? c.words : c.phrases}, {OUT_SUBPHRASE, c.subphrases},
        {42, c.words}};
    for (const auto& v : views) {
      saver.set_out_mode(v.first);
      if (v.first == OUT_SUBPHRASE || !v.second.empty()) { EXPECT_EQ(ReadAll(saver), v.second) << v.first; }
    }
  }
  // Views span sentences; separators are fine tokens tagged "w".
  Prepare(LX_USR | LX_POS);
  Report({Cand(1, 2, 2, 4, 16, false, 1)});
  Save(Chars(3));
  saver.save_spliter(",", 1);
  saver.save_spliter("", 0);
  Save(Chars(3));
  saver.save_info_for_compatible();
  EXPECT_EQ(ReadAll(saver), "甲/1 乙丙/16*1 ,/34 甲/1 乙丙/16*1 ");
  ASSERT_NE(saver.get_ms_word_at(1), nullptr);
  EXPECT_EQ(saver.get_ms_word_at(1)->idx, 0);
  // Out of range: null in every mode, with and without LX_USR.
  for (int mode : {0, (int)LX_USR}) {
    Prepare(mode);
    Report({Cand(0, 1, 0, 4, 16, true, 1)});
    Save(Chars(3));
    saver.save_info_for_compatible();
    for (int out : {(int)OUT_WORD, (int)OUT_PHRASE, (int)OUT_SUBPHRASE}) {
      saver.set_out_mode(out);
      const size_t n = (mode & LX_USR) ? saver.get_tokens_count() : saver.m_seg_token_num;
      for (size_t bad : {n, (size_t)-1})
        EXPECT_TRUE(saver.get_word_at(bad) == nullptr && saver.get_ms_word_info_at(bad) == nullptr) << mode << out;
    }
  }
}

TEST_F(SaverTest, Utf8Readers) {
  Prepare(LX_USR);
  Report({Cand(1, 2, 2, 4, 16, false, 1)});
  Save(Chars(3), false, LX_UTF8);
  saver.save_spliter("!", 1);
  saver.save_info_for_compatible();
  EXPECT_STREQ(saver.get_word_at(0), "甲");
  EXPECT_STREQ(saver.get_word_info_at(1)->word, "乙丙");
  EXPECT_STREQ(saver.get_ms_word_at(2)->word, "!");
  seg_tokens_t all{};
  saver.get_result(all);  // the arrays keep GBK
  EXPECT_EQ(std::string(all.fine_grain_seg_tokens[0].word), G("甲"));
  EXPECT_EQ(std::string(all.custom_defined_tokens[0].word), G("乙丙"));
  EXPECT_EQ(all.custom_tokens_num, 1u);
  saver.set_charset(LX_GBK);
  EXPECT_EQ(std::string(saver.get_word_at(0)), G("甲"));
}

// --- Coverage invariant ---------------------------------------------------------

// On random paths without words of two segmentations, under random modes,
// the fine tokens of a sentence are its bytes in order, each thick token
// spans exactly the text of its word's tokens, and the word counts add up.
TEST(SaverCoverage, FineTokensConcatenateToTheSentence) {
  SaverDict dict;
  HashDict fuxing, locsfx;
  FillHash(fuxing, {G("欧阳"), G("司马")});
  FillHash(locsfx, {G("区"), G("省"), G("自治"), G("自治区")});
  const char* plain[] = {"研究", "生命", "大学", "北京大学生", "人民银行", "中国人"};
  std::mt19937 rng(20240611);
  auto pick = [&](size_t n) { return (size_t)(rng() % n); };
  const std::string chars[] = {G("一"), G("三"), G("十"), G("王"), G("约"), G("海"), G("·"), G("区"), G("欧"),
                               G("阳"), G("司"), G("马"), "-", "a", "7", ".", "/", ":"};
  auto random_text = [&](size_t nchars) {
    std::string s;
    while (nchars-- > 0) s += chars[pick(18)];
    return s;
  };
  const int flags[] = {LX_POS, LX_SECPOS, LX_SGU, LX_GU,   LX_LGU,     LX_PGU,
                       LX_ENGU, LX_WMUL, LX_WGU, LX_PMUL, LX_NEW_RES, LX_USR};
  auto lat = std::make_unique<CLattice>();
  CSegTokensSaver saver;
  size_t split_words = 0, thick_tokens = 0, zero_counts = 0;
  for (int round = 0; round < 3000; ++round) {
    int mode = 0;
    for (int f : flags)
      if (rng() % 2) mode |= f;
    saver.prepare_save(&dict.dict, &fuxing, &locsfx, mode);
    saver.reset();
    std::vector<PathWord> path;
    for (size_t k = 0, nwords = 1 + pick(8); k < nwords; ++k) {
      static const char* f[] = {"abc123", "12ab", "a1b2", "www.abc.com", "a//b:", "ab-12", "http://x.cn/a"};
      static const char* sfx[] = {"区", "省", "自治", "自治区", "海"};
      static const int types[] = {59, 61, 60, 62, 65, 66, 63, 64};
      const char* w = plain[pick(6)];
      switch (pick(5)) {
        case 0:
          path.push_back(W(G(w), 0, (uint8_t)pick(56), dict.attr(G(w))));
          break;
        case 1:  // factoids: letters and digits, web addresses, numbers with unit
          path.push_back(W(std::string(f[pick(7)]) + (pick(2) ? G("个") : ""), 58, (uint8_t)(pick(2) ? 22 : 49),
                           10000005u, pick(2)));
          break;
        case 2:  // names and locations
          path.push_back(W(random_text(pick(5)) + G(sfx[pick(5)]), types[pick(8)], (uint8_t)pick(56)));
          break;
        default:
          path.push_back(W(random_text(1 + pick(6)), pick(2) ? types[pick(8)] : (int)pick(80), (uint8_t)pick(56)));
      }
    }
    const std::string text = BuildPath(*lat, path, pick(2) == 0);
    saver.save_tokens(lat.get(), text.c_str(), text.size(), LX_GBK);

    std::string joined;
    for (size_t i = 0; i < saver.m_seg_token_num; ++i) {
      const token_t& t = saver.m_seg_tokens[(long)i];
      ASSERT_GT(t.wlen, 0u);
      joined.append(t.word, t.wlen);
      EXPECT_EQ(t.wtype, 0);
    }
    ASSERT_EQ(joined, text) << "mode " << std::hex << mode << " sentence " << U(text);
    uint64_t total = 0;
    for (uint64_t n : WordCounts(saver)) total += n, split_words += n > 1, zero_counts += n == 0;
    EXPECT_EQ(zero_counts, 0u);
    EXPECT_EQ(saver.m_word_num, path.size());
    EXPECT_EQ(total, saver.m_seg_token_num);
    for (const Comb& th : CombTokens(saver.m_thick_tokens, saver.m_thick_num)) {
      ASSERT_LE(th.sidx, th.eidx);
      ASSERT_LT(th.eidx, saver.m_seg_token_num);
      std::string span;
      for (size_t k = th.sidx; k <= th.eidx; ++k)
        span.append(saver.m_seg_tokens[(long)k].word, saver.m_seg_tokens[(long)k].wlen);
      EXPECT_EQ(span, th.word);
    }
    thick_tokens += saver.m_thick_num;
  }
  EXPECT_GT(split_words, 1000u);
  EXPECT_GT(thick_tokens, 400u);
}

}  // namespace
