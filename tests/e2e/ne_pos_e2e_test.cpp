// End-to-end tests of person and location names and of POS tagging, through
// the exported functions only, on a resource directory whose role lists,
// transition tables, person-name model and named-entity lists are chosen so
// that the outcome of every stage can be worked out by hand.
//
// The resources (all log-probabilities base 10):
//   Person roles (RoleTT.Lex): every cell -2.0 (emission column m_Bow -1.0),
//     except H->I, I->I and I->T at -0.5: a transliteration goes on.
//       江 {B -0.5, A -2}   泽 {C -0.5, A -2}   民 {D -0.5, A -2}
//       欧阳 {B -0.5}       克 {H -1, A -1.5}   顿 {T -1, A -1.5}
//       林, 威 {A -0.5, I -1.5}: alone they prefer A; only the H->I / I->I /
//       I->T cells make I win inside a transliteration.
//   Location roles (LNRoleTT.Lex): every cell -2.0, except LM->LT -0.5 and
//     LT->LT -4.0 (a tail does not follow a tail).
//       北 {LH -0.5, A -2}  京 {LT -0.5, LM -1, A -2}  市 {LT -0.5, A -2}
//   POS (POSTT.Lex): every cell -2.0, except ns->v and ad->v at -0.2.
//       会见 {vn -0.3, v -0.6}; every other word has one tag.
//   Word model: every dictionary word -3.0, back-off weight -0.5, no bigram,
//     so P(w | u) = -3.5 for two words.  The person-name model is the same
//     plus the class tokens <person> and <location> at -2.0, so
//     P(<person> | u) = P(<location> | u) = -2.5.
//   ner_info: compound surname 欧阳; unambiguous surnames 张, 江; location
//     suffixes 市 (2) and 省 (3).
// No two of the name characters form a dictionary word, so the rule-based
// path is one word per character (会见 and 亲切 are words).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "LXSegFunc.h"
#include "support/resource_builder.h"
#include "support/seg_handle.h"

using lxtest::gbk;
using lxtest::utf8;

namespace {

// Role ids (the ids of the role inventory).
enum : uint8_t {
  kB = 1, kC = 2, kD = 3, kH = 15, kI = 16, kT = 17, kLH = 20, kLM = 21, kLT = 22, kA = 50
};
// POS ids used in the resources.
enum : uint8_t { kAd = 2, kF = 8, kM = 15, kN = 16, kNg = 42, kP = 25, kQ = 26, kU = 30 };

using lxtest::Handle;

// A token as (GBK word, POS) for readable comparisons.
struct Tok {
  std::string word;
  int pos;
  bool operator==(const Tok& o) const { return word == o.word && pos == o.pos; }
};

std::ostream& operator<<(std::ostream& os, const Tok& t) {
  return os << utf8(t.word) << "/" << t.pos;
}

// Expected tokens from UTF-8 literals.
std::vector<Tok> T(const std::vector<std::pair<const char*, int> >& words) {
  std::vector<Tok> out;
  for (const auto& w : words) out.push_back({gbk(w.first), w.second});
  return out;
}

seg_tokens_t AllInfo(HANDLE h) {
  seg_tokens_t st;
  std::memset(&st, 0, sizeof(st));
  LXGetAllSegInfo(h, st);
  return st;
}

std::vector<Tok> Fine(HANDLE h) {
  const seg_tokens_t st = AllInfo(h);
  std::vector<Tok> out;
  for (size_t i = 0; i < st.fine_grain_tokens_num; ++i) {
    const token_t& t = st.fine_grain_seg_tokens[i];
    out.push_back({std::string(t.word, t.wlen), t.pos});
  }
  return out;
}

std::vector<std::string> FineWords(HANDLE h) {
  std::vector<std::string> out;
  for (const Tok& t : Fine(h)) out.push_back(t.word);
  return out;
}

// The words and tags through the word-by-word reader (LXGetResultCnt,
// LXGetAt); the words are UTF-8 after a UTF-8 call, GBK otherwise.
std::vector<Tok> Reader(HANDLE h) {
  std::vector<Tok> out;
  const int n = LXGetResultCnt(h);
  for (int i = 0; i < n; ++i) {
    pWP wp = LXGetAt(h, i);
    if (wp == nullptr || wp->word == nullptr) {
      out.push_back({"<null>", -1});
      continue;
    }
    out.push_back({wp->word, wp->pos});
  }
  return out;
}

std::vector<std::string> G(const std::vector<std::string>& utf8_words) {
  std::vector<std::string> out;
  for (const std::string& w : utf8_words) out.push_back(gbk(w));
  return out;
}

bool Seg(HANDLE h, const std::string& text, size_t charset = LX_GBK) {
  return LXSegment(h, text.data(), text.size(), charset);
}

const int kNe = LX_CN | LX_LN | LX_POS;

prop_item_t P(uint8_t id, float prob) { return prop_item_t{id, prob}; }

lxtest::ResourcePlan NePlan() {
  using lxtest::ne_word;
  lxtest::ResourcePlan s;
  auto add = [&](const char* w, std::vector<prop_item_t> pos, std::vector<prop_item_t> roles,
                 std::vector<prop_item_t> ln_roles) {
    s.words.push_back(ne_word(gbk(w), pos, roles, ln_roles));
  };
  add("江", {P(kN, -0.1f)}, {P(kB, -0.5f), P(kA, -2.0f)}, {});
  add("泽", {P(kN, -0.1f)}, {P(kC, -0.5f), P(kA, -2.0f)}, {});
  add("民", {P(kNg, -0.1f)}, {P(kD, -0.5f), P(kA, -2.0f)}, {});
  add("欧阳", {P(LX_NR, -0.1f)}, {P(kB, -0.5f)}, {});
  add("克", {P(kQ, -0.1f)}, {P(kH, -1.0f), P(kA, -1.5f)}, {});
  add("林", {P(kN, -0.1f)}, {P(kA, -0.5f), P(kI, -1.5f)}, {});
  add("威", {P(kN, -0.1f)}, {P(kA, -0.5f), P(kI, -1.5f)}, {});
  add("顿", {P(kQ, -0.1f)}, {P(kT, -1.0f), P(kA, -1.5f)}, {});
  add("北", {P(kF, -0.1f)}, {}, {P(kLH, -0.5f), P(kA, -2.0f)});
  add("京", {P(kN, -0.1f)}, {}, {P(kLT, -0.5f), P(kLM, -1.0f), P(kA, -2.0f)});
  add("市", {P(kN, -0.1f)}, {}, {P(kLT, -0.5f), P(kA, -2.0f)});
  add("会见", {P(LX_VN, -0.3f), P(LX_V, -0.6f)}, {}, {});
  add("亲切", {P(kAd, -0.1f)}, {}, {});
  add("在", {P(kP, -0.1f)}, {}, {});
  add("了", {P(kU, -0.1f)}, {}, {});
  // Ordinary words and a few more name-like ones for the random texts.
  add("中国", {P(LX_NS, -0.1f)}, {}, {});
  add("人民", {P(kN, -0.1f)}, {}, {});
  add("我们", {P(LX_R, -0.1f)}, {}, {});
  add("喜欢", {P(LX_V, -0.1f)}, {}, {});
  add("和", {P(LX_C, -0.1f)}, {P(kA, -0.2f), P(kD, -2.0f)}, {});
  add("张", {P(kQ, -0.1f)}, {P(kB, -0.7f), P(kA, -1.0f)}, {});
  add("三", {P(kM, -0.1f)}, {P(kA, -0.5f), P(kC, -1.5f)}, {});
  add("省", {P(kN, -0.1f)}, {}, {P(kLT, -0.7f), P(kA, -1.0f)});
  add("上", {P(kF, -0.1f)}, {}, {P(kLH, -1.0f), P(kA, -0.5f)});
  add("海", {P(kN, -0.1f)}, {}, {P(kLT, -1.0f), P(kA, -0.5f)});
  // A dictionary word whose tag list is empty (present, but no tag).
  s.words.push_back(ne_word(gbk("空"), {}, {}, {}));
  s.words.back().pos = std::vector<prop_item_t>{};

  s.default_unigram = -3.0f;
  s.default_bow = -0.5f;
  s.pn_class_unigrams = {{lxtest::kTokPerson, -2.0f}, {lxtest::kTokLocation, -2.0f}};

  s.tt_prob = -2.0f;
  s.tt_bow = -1.0f;
  s.role_tt_cells = {{kH, kI, -0.5f, -1.0f}, {kI, kI, -0.5f, -1.0f}, {kI, kT, -0.5f, -1.0f}};
  s.ln_role_tt_cells = {{kLM, kLT, -0.5f, -1.0f}, {kLT, kLT, -4.0f, -1.0f}};
  s.pos_tt_cells = {{LX_NS, LX_V, -0.2f, -1.0f}, {kAd, LX_V, -0.2f, -1.0f}};

  s.fuxing = {gbk("欧阳")};
  s.no_amb_xing = {gbk("张"), gbk("江")};
  s.loc_suffix = {{gbk("市"), 2}, {gbk("省"), 3}};
  return s;
}

class NePosE2E : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new lxtest::ResourceDir;
    plan_ = new lxtest::ResourcePlan(NePlan());
    ASSERT_TRUE(dir_->build(*plan_)) << dir_->error();
    ASSERT_TRUE(LXInitSeg(dir_->path().c_str()));
  }
  static void TearDownTestSuite() {
    LXUnInitSeg();
    delete dir_;
    delete plan_;
    dir_ = nullptr;
    plan_ = nullptr;
  }
  static lxtest::ResourceDir* dir_;
  static lxtest::ResourcePlan* plan_;
};

lxtest::ResourceDir* NePosE2E::dir_ = nullptr;
lxtest::ResourcePlan* NePosE2E::plan_ = nullptr;

const char kMain[] = "江泽民在北京会见了克林顿";

// --- The main sentence ------------------------------------------------------------

// Derivation for 江泽民在北京会见了克林顿 with LX_CN | LX_LN | LX_POS:
// Person roles: each word's best emission wins (equal transitions), except
//   林, where H I T (-3 -2 -1.5 = -6.5) beats H A T (-8.5) and A A A (-9.5):
//   江 B, 泽 C, 民 D, 克 H, 林 I, 顿 T, the rest A.
//   "B C D" matches 江泽民 (mode 1, type 61, weight -1.5); P(民 | <person>) =
//   -3.5 > -6 also adds the prefix 江泽 (weight -0.5 - 9.8 = -10.3).
//   克林顿 is no trie pattern; the transliteration walk H I T gives mode 20,
//   type 62, weight -3.5.
// Location roles: 北 LH, 京 LT (-2.5 - 2.5 then -2 into 会见, against LM's
//   -3.0 - 2): "LH LT" gives 北京, mode 22, type 65, weight -1.0.
// Class-based path: 江泽民 scores P(<person>|<s>) + 0.9 * -1.5 = -3.85 against
//   -10.5 for 江 泽 民 and -11.77 for 江泽 + 民; 北京 -2.5 - 0.9 against -7.0
//   for 北 京; 克林顿 -2.5 - 3.15 against -10.5: every entity wins.
// POS: nr (61, 62) and ns (65) are fixed; 会见 after ns: v -0.6 - 0.2 = -0.8
//   beats vn -0.3 - 2.0.
TEST_F(NePosE2E, MainSentenceGbk) {
  Handle h(kNe);
  ASSERT_TRUE(Seg(h, gbk(kMain)));
  const std::vector<Tok> expected = T({{"江泽民", LX_NR},
                                       {"在", LX_P},
                                       {"北京", LX_NS},
                                       {"会见", LX_V},
                                       {"了", LX_U},
                                       {"克林顿", LX_NR}});
  EXPECT_EQ(Fine(h), expected);
  EXPECT_EQ(Reader(h), expected);
  const seg_tokens_t st = AllInfo(h);
  EXPECT_EQ(st.thick_seg_tokens_num, 0u);
  EXPECT_EQ(st.custom_tokens_num, 0u);
}

TEST_F(NePosE2E, MainSentenceUtf8) {
  Handle h(kNe);
  ASSERT_TRUE(Seg(h, kMain, LX_UTF8));
  // The arrays hold GBK; the reader hands out UTF-8.
  EXPECT_EQ(Fine(h), T({{"江泽民", LX_NR},
                        {"在", LX_P},
                        {"北京", LX_NS},
                        {"会见", LX_V},
                        {"了", LX_U},
                        {"克林顿", LX_NR}}));
  std::vector<Tok> expected = {{"江泽民", LX_NR}, {"在", LX_P}, {"北京", LX_NS},
                               {"会见", LX_V},    {"了", LX_U}, {"克林顿", LX_NR}};
  EXPECT_EQ(Reader(h), expected);
}

// Each recognizer runs only under its own flag, and the tags of the plain
// words follow their neighbours.
TEST_F(NePosE2E, EachFlagEnablesItsOwnStage) {
  {
    // Persons only: 北 and 京 stay apart; 会见 after 京 (n): vn -0.3 - 2
    // beats v -0.6 - 2.
    Handle h(LX_CN | LX_POS);
    ASSERT_TRUE(Seg(h, gbk(kMain)));
    EXPECT_EQ(Fine(h), T({{"江泽民", LX_NR},
                          {"在", LX_P},
                          {"北", kF},
                          {"京", kN},
                          {"会见", LX_VN},
                          {"了", LX_U},
                          {"克林顿", LX_NR}}));
  }
  {
    // Locations only: the name characters are words of their own.
    Handle h(LX_LN | LX_POS);
    ASSERT_TRUE(Seg(h, gbk(kMain)));
    EXPECT_EQ(Fine(h), T({{"江", kN},
                          {"泽", kN},
                          {"民", kNg},
                          {"在", LX_P},
                          {"北京", LX_NS},
                          {"会见", LX_V},
                          {"了", LX_U},
                          {"克", kQ},
                          {"林", kN},
                          {"顿", kQ}}));
  }
  {
    // Neither: the rule-based path, no tags.
    Handle h(0);
    ASSERT_TRUE(Seg(h, gbk(kMain)));
    EXPECT_EQ(FineWords(h),
              G({"江", "泽", "民", "在", "北", "京", "会见", "了", "克", "林", "顿"}));
    for (const Tok& t : Fine(h)) EXPECT_EQ(t.pos, 0) << t;
  }
  {
    // Names without LX_POS: the words carry no tag, the names keep "nr" (a
    // Chinese name is saved with its item's tag, which is "nr" from the
    // start; a transliteration gets "nr" by the saver's rule).
    Handle h(LX_CN | LX_LN);
    ASSERT_TRUE(Seg(h, gbk(kMain)));
    EXPECT_EQ(Fine(h), T({{"江泽民", LX_NR},
                          {"在", 0},
                          {"北京", 0},
                          {"会见", 0},
                          {"了", 0},
                          {"克林顿", LX_NR}}));
  }
}

// --- Granularity of names -------------------------------------------------------------

TEST_F(NePosE2E, PersonNamesSplitWithPgu) {
  {
    // 江泽民 (6 bytes, 江泽 no compound surname): 江 nrf + 泽民 nrg; the
    // transliteration has no separator and stays whole.
    Handle h(kNe | LX_PGU | LX_NEW_RES);
    ASSERT_TRUE(Seg(h, gbk(kMain)));
    EXPECT_EQ(Fine(h), T({{"江", LX_NRF},
                          {"泽民", LX_NRG},
                          {"在", LX_P},
                          {"北京", LX_NS},
                          {"会见", LX_V},
                          {"了", LX_U},
                          {"克林顿", LX_NR}}));
    const seg_tokens_t st = AllInfo(h);
    ASSERT_EQ(st.thick_seg_tokens_num, 1u);
    const comb_token_t& thick = st.thick_seg_tokens[0];
    EXPECT_EQ(std::string(thick.word, thick.wlen), gbk("江泽民"));
    EXPECT_EQ(thick.pos, LX_NR);
    EXPECT_EQ(thick.sidx, 0u);
    EXPECT_EQ(thick.eidx, 1u);
    // The reader sees the fine tokens.
    EXPECT_EQ(LXGetResultCnt(h), 7);
  }
  {
    // 欧阳泽民: 欧阳 B, 泽 C, 民 D; 8 bytes, and 欧阳 is a compound surname
    // of ner_info: 欧阳 nrf + 泽民 nrg.
    Handle h(kNe | LX_PGU);
    ASSERT_TRUE(Seg(h, gbk("欧阳泽民会见了克林顿")));
    EXPECT_EQ(Fine(h), T({{"欧阳", LX_NRF},
                          {"泽民", LX_NRG},
                          {"会见", LX_VN},
                          {"了", LX_U},
                          {"克林顿", LX_NR}}));
    // Without LX_PGU the 8-byte name is one token.
    Handle whole(kNe);
    ASSERT_TRUE(Seg(whole, gbk("欧阳泽民会见了克林顿")));
    EXPECT_EQ(FineWords(whole), G({"欧阳泽民", "会见", "了", "克林顿"}));
  }
}

// 北京市: 北 LH, 京 LM, 市 LT (-2.5, -3.0, -1.0 = -6.5) beats LH LT LT (-9.5)
// and LH LT A (-9.0); prefix 4 bytes <= 6: a location of 6 bytes, weight -2.0.
// With LX_LGU its suffix 市 (a key of ner_info) is cut off: 北京 ns + 市 n,
// whatever LX_POS says, and a thick token ns.  A 4-byte location (北京) is
// never split.
TEST_F(NePosE2E, LocationNamesSplitWithLgu) {
  const std::string text = gbk("江泽民在北京市会见了克林顿");
  {
    Handle h(kNe | LX_LGU | LX_NEW_RES);
    ASSERT_TRUE(Seg(h, text));
    EXPECT_EQ(Fine(h), T({{"江泽民", LX_NR},
                          {"在", LX_P},
                          {"北京", LX_NS},
                          {"市", LX_N},
                          {"会见", LX_V},
                          {"了", LX_U},
                          {"克林顿", LX_NR}}));
    const seg_tokens_t st = AllInfo(h);
    ASSERT_EQ(st.thick_seg_tokens_num, 1u);
    EXPECT_EQ(std::string(st.thick_seg_tokens[0].word, st.thick_seg_tokens[0].wlen),
              gbk("北京市"));
    EXPECT_EQ(st.thick_seg_tokens[0].pos, LX_NS);
    EXPECT_EQ(st.thick_seg_tokens[0].sidx, 2u);
    EXPECT_EQ(st.thick_seg_tokens[0].eidx, 3u);
  }
  {
    Handle h(LX_CN | LX_LN | LX_LGU);
    ASSERT_TRUE(Seg(h, text));
    std::vector<Tok> t = Fine(h);
    ASSERT_EQ(t.size(), 7u);
    EXPECT_EQ(t[2], (Tok{gbk("北京"), LX_NS}));
    EXPECT_EQ(t[3], (Tok{gbk("市"), LX_N}));
  }
  {
    Handle h(kNe);
    ASSERT_TRUE(Seg(h, text));
    EXPECT_EQ(FineWords(h), G({"江泽民", "在", "北京市", "会见", "了", "克林顿"}));
  }
  {
    Handle h(kNe | LX_LGU);
    ASSERT_TRUE(Seg(h, gbk(kMain)));
    EXPECT_EQ(FineWords(h), G({"江泽民", "在", "北京", "会见", "了", "克林顿"}));
  }
}

// LX_SECPOS maps the tags of ordinary words to the coarse set (ad -> d);
// names and locations keep theirs.  会见 after ad: v (-0.8) beats vn (-2.3).
TEST_F(NePosE2E, SecondaryPosMapsOrdinaryWords) {
  const std::string text = gbk("江泽民在北京亲切会见了克林顿");
  Handle fine(kNe);
  ASSERT_TRUE(Seg(fine, text));
  EXPECT_EQ(Fine(fine), T({{"江泽民", LX_NR},
                           {"在", LX_P},
                           {"北京", LX_NS},
                           {"亲切", LX_AD},
                           {"会见", LX_V},
                           {"了", LX_U},
                           {"克林顿", LX_NR}}));
  Handle coarse(kNe | LX_SECPOS);
  ASSERT_TRUE(Seg(coarse, text));
  EXPECT_EQ(Fine(coarse), T({{"江泽民", LX_NR},
                             {"在", LX_P},
                             {"北京", LX_NS},
                             {"亲切", LX_D},
                             {"会见", LX_V},
                             {"了", LX_U},
                             {"克林顿", LX_NR}}));
  EXPECT_EQ(Reader(coarse)[3], (Tok{gbk("亲切"), LX_D}));
}

// --- More sentences -----------------------------------------------------------------------

// Names at both edges of a sentence, alone, and around separators.
TEST_F(NePosE2E, NamesAtSentenceEdges) {
  Handle h(kNe);
  // 克 begins the sentence (H from the start list A), 江泽民 ends it: no
  // word after the candidate, so the "和" rule has nothing to look at.
  ASSERT_TRUE(Seg(h, gbk("克林顿会见江泽民")));
  EXPECT_EQ(Fine(h), T({{"克林顿", LX_NR}, {"会见", LX_VN}, {"江泽民", LX_NR}}));

  ASSERT_TRUE(Seg(h, gbk("江泽民")));
  EXPECT_EQ(Fine(h), T({{"江泽民", LX_NR}}));
  ASSERT_TRUE(Seg(h, gbk("克林顿")));
  EXPECT_EQ(Fine(h), T({{"克林顿", LX_NR}}));

  // Separators end sentences: each name is alone in its sentence.
  ASSERT_TRUE(Seg(h, gbk("江泽民，克林顿。北京")));
  EXPECT_EQ(FineWords(h), G({"江泽民", "，", "克林顿", "。", "北京"}));
  // A location needs a head and a tail: a head at the sentence end is none.
  ASSERT_TRUE(Seg(h, gbk("在北")));
  EXPECT_EQ(FineWords(h), G({"在", "北"}));
}

// Names in a row: after a name the scan goes on with the word that follows
// it, so a name right after a name is found too.  A name that ends ("D",
// "T") before one that begins ("B", "H") is scored from A.
TEST_F(NePosE2E, ManyNamesInARow) {
  Handle h(kNe | LX_PGU);
  std::string text;
  std::vector<Tok> expected;
  for (int i = 0; i < 5; ++i) {
    text += gbk("江泽民克林顿");
    const std::vector<Tok> one =
        T({{"江", LX_NRF}, {"泽民", LX_NRG}, {"克林顿", LX_NR}});
    expected.insert(expected.end(), one.begin(), one.end());
  }
  text += gbk("北京北京");
  expected.push_back({gbk("北京"), LX_NS});
  expected.push_back({gbk("北京"), LX_NS});
  ASSERT_TRUE(Seg(h, text));
  EXPECT_EQ(Fine(h), expected);
}

// Rules of transliterated names, end to end: a character three times in a
// row rejects the name, twice does not; 32 bytes or more is no name, 28
// bytes is.
TEST_F(NePosE2E, TransliterationRules) {
  Handle h(kNe);
  // 克林林顿: H I I T (-8.5) beats every other tagging; accepted.
  ASSERT_TRUE(Seg(h, gbk("克林林顿")));
  EXPECT_EQ(FineWords(h), G({"克林林顿"}));
  // 克林林林顿: H I I I T (-10.5); 林 three times in a row: rejected, the
  // characters stay words.
  ASSERT_TRUE(Seg(h, gbk("克林林林顿")));
  EXPECT_EQ(FineWords(h), G({"克", "林", "林", "林", "顿"}));

  auto name = [](int pairs) {
    std::string s = gbk("克");
    for (int i = 0; i < pairs; ++i) s += gbk("林威");
    return s + gbk("顿");
  };
  ASSERT_TRUE(Seg(h, name(6)));  // 2 + 24 + 2 = 28 bytes
  EXPECT_EQ(Fine(h), (std::vector<Tok>{{name(6), LX_NR}}));
  ASSERT_TRUE(Seg(h, name(7)));  // 32 bytes: too long
  EXPECT_EQ(Fine(h).size(), 16u);
}

// A run of name characters longer than the handle's 4096 lattice nodes: the
// splitter cuts it into sentences of at most 2048 bytes, the last two
// tokens of each cut sentence are segmented again with what follows.
TEST_F(NePosE2E, NameRunsLongerThanTheLattice) {
  Handle h(kNe);
  {
    // 1000 names, 6000 bytes, no separator.  A cut sentence holds 341 names
    // and 江 (2048 bytes); 江泽民 and 江 are withdrawn, so the next sentence
    // starts at a name again and every name is found whole.
    std::string text;
    for (int i = 0; i < 1000; ++i) text += gbk("江泽民");
    ASSERT_TRUE(Seg(h, text));
    const std::vector<Tok> t = Fine(h);
    ASSERT_EQ(t.size(), 1000u);
    for (const Tok& x : t) ASSERT_EQ(x, (Tok{gbk("江泽民"), LX_NR}));
  }
  {
    // One transliteration-like run of 5000 bytes: far over 31 bytes, so no
    // name; every character is a word of its own.
    std::string text = gbk("克");
    for (int i = 0; i < 1249; ++i) text += gbk("林威");
    text += gbk("顿");
    ASSERT_EQ(text.size(), 5000u);
    ASSERT_TRUE(Seg(h, text));
    const std::vector<Tok> t = Fine(h);
    ASSERT_EQ(t.size(), 2500u);
    std::string spelled;
    for (const Tok& x : t) {
      ASSERT_EQ(x.word.size(), 2u);
      spelled += x.word;
    }
    EXPECT_EQ(spelled, text);
  }
}

// A dictionary word with an empty tag list is tagged as a noun, like a word
// without tags.
TEST_F(NePosE2E, WordWithEmptyTagListIsANoun) {
  Handle h(kNe);
  ASSERT_TRUE(Seg(h, gbk("空在空")));
  EXPECT_EQ(Fine(h), T({{"空", LX_N}, {"在", LX_P}, {"空", LX_N}}));
}

// Transitions of minus infinity leave a tag without any finite predecessor:
// its score stays minus infinity with the first predecessor as back-pointer,
// and among candidates that are all minus infinity the first one is kept.
class NePosInfiniteE2E : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new lxtest::ResourceDir;
    lxtest::ResourcePlan s = NePlan();
    const float inf = -std::numeric_limits<float>::infinity();
    s.pos_tt_cells.push_back({kP, LX_VN, inf, -1.0f});
    s.pos_tt_cells.push_back({kP, LX_V, inf, -1.0f});
    ASSERT_TRUE(dir_->build(s)) << dir_->error();
    ASSERT_TRUE(LXInitSeg(dir_->path().c_str()));
  }
  static void TearDownTestSuite() {
    LXUnInitSeg();
    delete dir_;
    dir_ = nullptr;
  }
  static lxtest::ResourceDir* dir_;
};

lxtest::ResourceDir* NePosInfiniteE2E::dir_ = nullptr;

TEST_F(NePosInfiniteE2E, CandidatesWithoutFinitePredecessorKeepTheFirst) {
  Handle h(kNe);
  // 会见 after p: vn and v are both unreachable; 了 after them too; the
  // final choice among equal scores is the first candidate, so 会见 is vn
  // (the first of its list), not v (which wins after ns).
  ASSERT_TRUE(Seg(h, gbk("在会见了")));
  EXPECT_EQ(Fine(h), T({{"在", LX_P}, {"会见", LX_VN}, {"了", LX_U}}));
  ASSERT_TRUE(Seg(h, gbk(kMain)));
  EXPECT_EQ(Fine(h)[3], (Tok{gbk("会见"), LX_V}));
}

// --- Random texts --------------------------------------------------------------------------

// What the fine tokens of `gbk_text` spell under `mode`, for texts whose only
// full-width ASCII character is the separator "，".
std::string Spelling(const std::string& gbk_text, int mode) {
  const std::string comma = gbk("，");
  const bool narrow = (mode & LX_S2D) && !(mode & LX_CONV);
  std::string out;
  for (size_t i = 0; i < gbk_text.size();) {
    const bool wide = (unsigned char)gbk_text[i] >= 0x80 && i + 1 < gbk_text.size();
    if (wide && narrow && gbk_text.compare(i, 2, comma) == 0)
      out += ',';
    else
      out.append(gbk_text, i, wide ? 2 : 1);
    i += wide ? 2 : 1;
  }
  return out;
}

// Random texts of the resource words (names, name characters, ordinary words),
// unknown characters, digits, ASCII and separators, under random flags with
// the named-entity flags set: every call succeeds and the fine tokens cover
// the text exactly (the words output in two segmentations counted once).
TEST_F(NePosE2E, RandomTextsUnderRandomFlags) {
  // LX_ASC is left out: it switches the shared factoid recognizer for the
  // rest of the process.  The texts hold no upper-case letters or
  // traditional characters; their only full-width ASCII is the separator
  // "，", which LX_S2D turns into "," unless LX_CONV keeps it.
  const int flags[] = {LX_ENGU, LX_GU,   LX_POS,    LX_USR,     LX_S2D, LX_U2L, LX_CLS,
                       LX_RUL,  LX_CN,   LX_T2S,    LX_PGU,     LX_LGU, LX_SGU, LX_CUT,
                       LX_TEXT, LX_CONV, LX_WMUL,   LX_PMUL,    LX_SECPOS, LX_NEW_RES,
                       LX_SYN,  LX_LN,   LX_WGU};
  std::vector<std::string> pieces;
  for (const basic_dict_entry_t& e : plan_->words) pieces.push_back(e.word);
  for (const char* w : {"江泽民", "克林顿", "北京", "北京市", "欧阳泽民", "和", "，", "。",
                        "·", "—", "123", "abc", " ", "张三", "三张", "和张", "余万元"})
    pieces.push_back(gbk(w));
  std::mt19937 rng(20240611u);
  std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> dice(0, 99);
  for (int round = 0; round < 300; ++round) {
    int mode = kNe;
    for (int f : flags)
      if (dice(rng) < 30) mode |= f;
    std::string text;
    const int n = 1 + dice(rng) * (round % 10 == 0 ? 40 : 1);
    for (int i = 0; i < n; ++i) {
      const int d = dice(rng);
      if (d < 8) {
        // An unknown level-1 character (C, D, E or A in person tagging).
        text.push_back(static_cast<char>(0xB0 + dice(rng) % 0x28));
        text.push_back(static_cast<char>(0xA1 + dice(rng) % 0x5E));
      } else {
        text += pieces[pick(rng)];
      }
    }
    Handle h(mode);
    ASSERT_TRUE(Seg(h, text)) << "round " << round;
    const seg_tokens_t st = AllInfo(h);
    std::string spelled;
    for (size_t i = 0; i < st.fine_grain_tokens_num; ++i) {
      const token_t& t = st.fine_grain_seg_tokens[i];
      ASSERT_GT(t.wlen, 0u);
      if (t.wtype == 0 || t.wtype == 1) spelled.append(t.word, t.wlen);
    }
    ASSERT_EQ(spelled, Spelling(text, mode)) << "round " << round << " mode " << std::hex
                                             << mode;
    for (size_t i = 0; i < st.thick_seg_tokens_num; ++i) {
      ASSERT_LE(st.thick_seg_tokens[i].sidx, st.thick_seg_tokens[i].eidx);
      ASSERT_LT(st.thick_seg_tokens[i].eidx, st.fine_grain_tokens_num);
    }
    // The same text as UTF-8 segments the same way.
    if (round % 5 == 0) {
      ASSERT_TRUE(Seg(h, utf8(text), LX_UTF8));
      const seg_tokens_t u = AllInfo(h);
      std::string again;
      for (size_t i = 0; i < u.fine_grain_tokens_num; ++i) {
        const token_t& t = u.fine_grain_seg_tokens[i];
        if (t.wtype == 0 || t.wtype == 1) again.append(t.word, t.wlen);
      }
      ASSERT_EQ(again, Spelling(text, mode)) << "round " << round;
    }
  }
}

}  // namespace
