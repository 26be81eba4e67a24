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
#include <string>
#include <vector>

#include "LXSegFunc.h"
#include "support/seg_handle.h"

using namespace lxtest;

namespace {

// Role ids (the ids of the role inventory).
enum : uint8_t {
  kB = 1, kC = 2, kD = 3, kH = 15, kI = 16, kT = 17, kLH = 20, kLM = 21, kLT = 22, kA = 50
};
// POS ids used in the resources.
enum : uint8_t { kAd = 2, kF = 8, kM = 15, kN = 16, kNg = 42, kP = 25, kQ = 26, kU = 30 };

// "word/tag" of a token, in UTF-8.
std::string Tagged(const std::string& word, int pos, bool is_utf8 = false) {
  char tag[16];
  LXPosId2Str(pos, tag, sizeof tag);
  return (is_utf8 ? word : utf8(word)) + "/" + tag;
}

// The fine tokens as "word/tag word/tag ...".
std::string Fine(HANDLE h) {
  const seg_tokens_t st = AllInfo(h);
  std::string out;
  for (size_t i = 0; i < st.fine_grain_tokens_num; ++i) {
    const token_t& t = st.fine_grain_seg_tokens[i];
    out += (i ? " " : "") + Tagged(std::string(t.word, t.wlen), t.pos);
  }
  return out;
}

// The same through the word-by-word reader (words are UTF-8 after a UTF-8 call).
std::string Reader(HANDLE h, bool is_utf8) {
  std::string out;
  for (int i = 0; i < LXGetResultCnt(h); ++i) {
    pWP wp = LXGetAt(h, i);
    out += (i ? " " : "") + (wp ? Tagged(wp->word, wp->pos, is_utf8) : "<null>");
  }
  return out;
}

// The thick tokens as "word/tag sidx-eidx".
std::string Thick(HANDLE h) {
  const seg_tokens_t st = AllInfo(h);
  std::string out;
  for (size_t i = 0; i < st.thick_seg_tokens_num; ++i) {
    const comb_token_t& t = st.thick_seg_tokens[i];
    out += Tagged(std::string(t.word, t.wlen), t.pos) + " " + std::to_string(t.sidx) + "-" +
           std::to_string(t.eidx);
  }
  return out;
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
  add("岛", {P(kN, -0.1f)}, {P(kT, -1.0f), P(kA, -1.5f)}, {});
  add("巴黎", {P(LX_NS, -0.1f)}, {}, {});
  // Words with one tag and no role.
  for (auto w : std::vector<std::pair<const char*, uint8_t>>{
           {"亲切", kAd}, {"在", kP}, {"了", kU}})
    add(w.first, {P(w.second, -0.1f)}, {}, {});
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
    dir_ = new ResourceDir;
    ASSERT_TRUE(dir_->build(NePlan())) << dir_->error();
    ASSERT_TRUE(LXInitSeg(dir_->path().c_str()));
  }
  static void TearDownTestSuite() {
    LXUnInitSeg();
    delete dir_;
  }
  static ResourceDir* dir_;
};

ResourceDir* NePosE2E::dir_ = nullptr;

const char kMain[] = "江泽民在北京会见了克林顿";

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
//
// The other rows follow from the same tables:
// - Persons only: 北 and 京 stay apart; 会见 after 京 (n): vn -0.3 - 2 beats
//   v -0.6 - 2.  Locations only: the name characters are words of their own.
//   Neither: the rule-based path, no tags.  Without LX_POS the words carry no
//   tag; a Chinese name keeps its item's tag "nr", and a transliteration gets
//   "nr" by the saver's rule.
// - LX_PGU: 江泽民 (6 bytes, 江泽 no compound surname) is 江 nrf + 泽民 nrg
//   (under LX_NEW_RES also a thick token nr); 欧阳泽民 (欧阳 B, 泽 C, 民 D; 8
//   bytes, 欧阳 a compound surname) is 欧阳 nrf + 泽民 nrg; a transliteration
//   has no separator and stays whole.
// - 北京市: 北 LH, 京 LM, 市 LT (-2.5, -3.0, -1.0 = -6.5) beats LH LT LT (-9.5)
//   and LH LT A (-9.0): a location of 6 bytes.  LX_LGU cuts its suffix 市 (a
//   key of ner_info): 北京 ns + 市 n whatever LX_POS says, and a thick token
//   ns.  A 4-byte location (北京) is never split.
// - LX_SECPOS maps ordinary words to the coarse tags (ad -> d); 会见 after
//   ad: v (-0.8) beats vn (-2.3).
// - Names at the edges: 克 begins the sentence (H from the start list A),
//   江泽民 ends it.  Separators end sentences, so each name is alone in its
//   sentence.  A location needs a head and a tail: a head at the end is none.
// - 克林林顿: H I I T (-8.5) is a name; 克林林林顿 has 林 three times in a row
//   and is rejected.  A word with an empty tag list is tagged as a noun.
TEST_F(NePosE2E, HandDerivedSentences) {
  const std::string city = "江泽民在北京市会见了克林顿";
  struct Case {
    int mode;
    std::string text;
    const char* fine;
    const char* thick;  // checked under LX_NEW_RES only
  } cases[] = {
      {kNe, kMain, "江泽民/nr 在/p 北京/ns 会见/v 了/u 克林顿/nr", ""},
      {LX_CN | LX_POS, kMain, "江泽民/nr 在/p 北/f 京/n 会见/vn 了/u 克林顿/nr", ""},
      {LX_LN | LX_POS, kMain, "江/n 泽/n 民/Ng 在/p 北京/ns 会见/v 了/u 克/q 林/n 顿/q", ""},
      {0, kMain, "江/unk 泽/unk 民/unk 在/unk 北/unk 京/unk 会见/unk 了/unk 克/unk 林/unk 顿/unk", ""},
      {LX_CN | LX_LN, kMain, "江泽民/nr 在/unk 北京/unk 会见/unk 了/unk 克林顿/nr", ""},
      {kNe | LX_PGU | LX_NEW_RES, kMain, "江/nrf 泽民/nrg 在/p 北京/ns 会见/v 了/u 克林顿/nr", "江泽民/nr 0-1"},
      {kNe | LX_PGU, "欧阳泽民会见了克林顿", "欧阳/nrf 泽民/nrg 会见/vn 了/u 克林顿/nr", ""},
      {kNe, "欧阳泽民会见了克林顿", "欧阳泽民/nr 会见/vn 了/u 克林顿/nr", ""},
      {kNe | LX_LGU | LX_NEW_RES, city, "江泽民/nr 在/p 北京/ns 市/n 会见/v 了/u 克林顿/nr", "北京市/ns 2-3"},
      {LX_CN | LX_LN | LX_LGU, city, "江泽民/nr 在/unk 北京/ns 市/n 会见/unk 了/unk 克林顿/nr", ""},
      {kNe, city, "江泽民/nr 在/p 北京市/ns 会见/v 了/u 克林顿/nr", ""},
      {kNe | LX_LGU | LX_NEW_RES, kMain, "江泽民/nr 在/p 北京/ns 会见/v 了/u 克林顿/nr", ""},
      {kNe, "江泽民在北京亲切会见了克林顿", "江泽民/nr 在/p 北京/ns 亲切/ad 会见/v 了/u 克林顿/nr", ""},
      {kNe | LX_SECPOS, "江泽民在北京亲切会见了克林顿", "江泽民/nr 在/p 北京/ns 亲切/d 会见/v 了/u 克林顿/nr", ""},
      {kNe, "克林顿会见江泽民", "克林顿/nr 会见/vn 江泽民/nr", ""},
      {kNe, "江泽民", "江泽民/nr", ""},
      {kNe, "克林顿", "克林顿/nr", ""},
      {kNe, "江泽民，克林顿。北京", "江泽民/nr ，/w 克林顿/nr 。/w 北京/ns", ""},
      {kNe, "在北", "在/p 北/f", ""},
      {kNe, "克林林顿", "克林林顿/nr", ""},
      {kNe, "克林林林顿", "克/q 林/n 林/n 林/n 顿/q", ""},
      {kNe, "空在空", "空/n 在/p 空/n", ""},
  };
  for (const Case& c : cases) {
    Handle h(c.mode);
    ASSERT_TRUE(Seg(h, gbk(c.text))) << c.text;
    EXPECT_EQ(Fine(h), c.fine) << std::hex << c.mode << " " << c.text;
    if (c.mode & LX_NEW_RES) {
      EXPECT_EQ(Thick(h), c.thick) << std::hex << c.mode << " " << c.text;
    }
    // The reader sees the fine tokens, in UTF-8 after a UTF-8 call.
    EXPECT_EQ(Reader(h, false), c.fine) << c.text;
    ASSERT_TRUE(Seg(h, c.text, LX_UTF8));
    EXPECT_EQ(Reader(h, true), c.fine) << c.text;
  }
}

// Names that read as places are output whole as places (type 65, 66: ns):
// an item of a list next to a place word that is an item of its own (和
// ends an item as 、 does), or of
// a list that ends in 等地; a name ending with a place's head (克林岛: 岛 is
// a T like 顿); a name before a numbered works.  A place word that only
// begins its item, and a list of persons (等人), leave names alone; a head
// right after the name (克林顿岛) leaves no name at all.
TEST_F(NePosE2E, NamesThatReadAsPlaces) {
  const struct {
    const char* text;
    const char* fine;
  } cases[] = {
      {"克林顿、巴黎", "克林顿/ns 、/w 巴黎/ns"},
      {"巴黎、克林顿", "巴黎/ns 、/w 克林顿/ns"},
      {"克林顿、巴黎会见了江泽民", "克林顿/nr 、/w 巴黎/ns 会见/v 了/u 江泽民/nr"},
      {"克林顿、巴黎和江泽民", "克林顿/ns 、/w 巴黎/ns 和/n 江泽民/nr"},
      {"江泽民、克林顿等地", "江泽民/ns 、/w 克林顿/ns 等/n 地/n"},
      {"江泽民、克林顿等人", "江泽民/nr 、/w 克林顿/nr 等/n 人/n"},
      {"克林岛", "克林岛/ns"},
      {"克林顿岛", "克/q 林/n 顿/q 岛/n"},
      {"江泽民一厂", "江泽民/ns 一/m 厂/n"},
      {"江泽民厂", "江/n 泽/n 民/Ng 厂/n"},
  };
  Handle h(LX_CN | LX_POS);
  for (const auto& c : cases) {
    ASSERT_TRUE(Seg(h, gbk(c.text))) << c.text;
    EXPECT_EQ(Fine(h), c.fine) << c.text;
  }
}

// Names in a row: after a name the scan goes on with the word that follows
// it, so a name right after a name is found too.  A run of names longer than
// the lattice is cut into sentences of at most 2048 bytes; the last two
// tokens of a cut sentence are segmented again with what follows, so every
// name is found whole.  Transliterations of 32 bytes or more are no names
// (28 bytes is one), nor is a run of 5000 bytes.
TEST_F(NePosE2E, LongNamesAndManyNamesInARow) {
  Handle h(kNe | LX_PGU), ne(kNe);
  std::string text, expected;
  for (int i = 0; i < 5; ++i) {
    text += "江泽民克林顿";
    expected += "江/nrf 泽民/nrg 克林顿/nr ";
  }
  ASSERT_TRUE(Seg(h, gbk(text + "北京北京")));
  EXPECT_EQ(Fine(h), expected + "北京/ns 北京/ns");
  for (text = expected = ""; text.size() < 3000;) {
    expected += text.empty() ? "江泽民/nr" : " 江泽民/nr";
    text += "江泽民";
  }
  ASSERT_TRUE(Seg(ne, gbk(text)));
  EXPECT_EQ(Fine(ne), expected);
  for (int pairs : {6, 7, 1249}) {
    text = "克";
    for (int i = 0; i < pairs; ++i) text += "林威";
    ASSERT_TRUE(Seg(ne, gbk(text + "顿")));
    const std::vector<std::string> words = FineWords(ne);
    if (pairs == 6) {
      EXPECT_EQ(Fine(ne), text + "顿/nr");  // 2 + 24 + 2 = 28 bytes
      continue;
    }
    ASSERT_EQ(words.size(), 2u * pairs + 2) << pairs;
    for (size_t i = 0; i < words.size(); ++i) ASSERT_EQ(words[i].size(), 2u) << i;
  }
}

}  // namespace
