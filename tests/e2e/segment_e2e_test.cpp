// End-to-end tests through the exported functions only, on a resource
// directory built by the test resource builder.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "LXSegFunc.h"
#include "base/uconv.h"
#include "support/resource_builder.h"
#include "support/seg_handle.h"

using lxtest::gbk;
using lxtest::utf8;

namespace {

// Every mode flag of a handle (the charset values are not mode flags).
const int kModeFlags[] = {LX_ENGU, LX_GU,   LX_POS, LX_USR,    LX_S2D,     LX_U2L, LX_CLS,  LX_RUL,
                          LX_CN,   LX_T2S,  LX_PGU, LX_LGU,    LX_SGU,     LX_CUT, LX_TEXT, LX_CONV,
                          LX_WMUL, LX_PMUL, LX_ASC, LX_SECPOS, LX_NEW_RES, LX_SYN, LX_LN,   LX_WGU};

using lxtest::Handle;

struct Token {
  std::string word;
  int pos;
  int wtype;
};

std::vector<Token> FineTokens(HANDLE h) {
  seg_tokens_t st;
  std::memset(&st, 0, sizeof(st));
  LXGetAllSegInfo(h, st);
  std::vector<Token> out;
  for (size_t i = 0; i < st.fine_grain_tokens_num; ++i) {
    const token_t& t = st.fine_grain_seg_tokens[i];
    out.push_back({std::string(t.word, t.wlen), t.pos, t.wtype});
  }
  return out;
}

std::vector<std::string> FineWords(HANDLE h) {
  std::vector<std::string> out;
  for (const Token& t : FineTokens(h)) out.push_back(t.word);
  return out;
}

// The fine tokens spelled out; with `first_reading` the tokens of a word
// output in two segmentations count once (its first segmentation).
std::string Spelled(HANDLE h, bool first_reading) {
  std::string s;
  for (const Token& t : FineTokens(h))
    if (t.wtype == 0 || (first_reading && t.wtype == 1)) s += t.word;
  return s;
}

// Words through the word-by-word reader (UTF-8 after a UTF-8 call).
std::vector<std::string> ReaderWords(HANDLE h) {
  std::vector<std::string> out;
  const int n = LXGetResultCnt(h);
  for (int i = 0; i < n; ++i) {
    const char* w = LXGetWordAt(h, i);
    out.push_back(w ? w : "<null>");
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

// --- Reference of the text the fine tokens spell ------------------------------

// The traditional characters of the default resources and their simplified
// forms; 乾 converts only inside 乾燥, 麼 except inside 幺麼.
std::string ReferenceT2S(const std::string& text) {
  static const std::string guo = gbk("國"), guo_s = gbk("国"), xue = gbk("學"), xue_s = gbk("学"),
                           qian = gbk("乾"), qian_s = gbk("干"), zao = gbk("燥"), me = gbk("麼"),
                           me_s = gbk("么"), yao = gbk("幺");
  std::string out = text;
  for (size_t i = 0; i < out.size();) {
    if ((unsigned char)out[i] < 0x80 || i + 1 >= out.size()) {
      ++i;
      continue;
    }
    std::string c = out.substr(i, 2);
    if (c == guo)
      out.replace(i, 2, guo_s);
    else if (c == xue)
      out.replace(i, 2, xue_s);
    else if (c == qian && out.compare(i + 2, 2, zao) == 0)
      out.replace(i, 2, qian_s);
    else if (c == me && !(i >= 2 && out.compare(i - 2, 2, yao) == 0))
      out.replace(i, 2, me_s);
    i += 2;
  }
  return out;
}

// What the fine tokens of a call on `gbk_text` spell under `mode`: the text
// with LX_S2D's full-width ASCII made ASCII, LX_T2S's characters simplified
// and, with LX_U2L, ASCII letters lower-cased.  Characters are walked as the
// normalisation walks them (a byte from 0x80 up that is not the last one
// starts a two-byte character).  Not for LX_S2D together with LX_CONV.
std::string Expected(const std::string& gbk_text, int mode) {
  std::string norm;
  const size_t n = gbk_text.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = (unsigned char)gbk_text[i];
    if (c < 0x80 || i + 1 == n) {
      norm += (char)c;
      ++i;
      continue;
    }
    const unsigned char d = (unsigned char)gbk_text[i + 1];
    if ((mode & LX_S2D) && c == 0xA3 && d > 0x80 && d != 0xA4 && d != 0xFE) {
      norm += (char)(d - 0x80);
    } else {
      norm += (char)c;
      norm += (char)d;
    }
    i += 2;
  }
  if (mode & LX_T2S) norm = ReferenceT2S(norm);
  if (mode & LX_U2L) {
    for (size_t i = 0; i < norm.size();) {
      unsigned char c = (unsigned char)norm[i];
      if (c < 0x80 || i + 1 == norm.size()) {
        if (c >= 'A' && c <= 'Z') norm[i] = (char)(c + 32);
        ++i;
      } else {
        i += 2;
      }
    }
  }
  return norm;
}

std::string Utf8ToGbkDropping(const std::string& u) {
  std::vector<char> buf(u.size() + 1);
  int n = utf8_to_gbk(u.data(), (uint32_t)u.size(), buf.data(), (uint32_t)buf.size(),
                      UCONV_INVCHAR_IGNORE);
  return n <= 0 ? std::string() : std::string(buf.data(), (size_t)n);
}

// --- Fixture ------------------------------------------------------------------

class SegmentE2E : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new lxtest::ResourceDir;
    ASSERT_TRUE(dir_->build(lxtest::default_resource_plan())) << dir_->error();
    ASSERT_TRUE(LXInitSeg(dir_->path().c_str()));
  }
  static void TearDownTestSuite() {
    LXUnInitSeg();
    delete dir_;
    dir_ = nullptr;
  }
  // Back to a freshly initialised library (after tests that change shared
  // state, such as LX_ASC).
  static void Reinit() {
    LXUnInitSeg();
    ASSERT_TRUE(LXInitSeg(dir_->path().c_str()));
  }
  static lxtest::ResourceDir* dir_;
};

lxtest::ResourceDir* SegmentE2E::dir_ = nullptr;

// --- The road of one call --------------------------------------------------------

TEST_F(SegmentE2E, GbkAndUtf8GiveTheSameSegmentation) {
  Handle h(0);
  const std::string text = "我们喜欢北京大学，研究生命的起源。今天天气很好";
  const std::vector<std::string> expected = {"我们", "喜欢", "北京大学", "，", "研究",
                                             "生命", "的",   "起源",     "。", "今天",
                                             "天气", "很",   "好"};
  ASSERT_TRUE(Seg(h, gbk(text)));
  EXPECT_EQ(FineWords(h), G(expected));
  EXPECT_EQ(ReaderWords(h), G(expected));

  ASSERT_TRUE(Seg(h, text, LX_UTF8));
  // The arrays hold GBK; the word-by-word readers convert to UTF-8.
  EXPECT_EQ(FineWords(h), G(expected));
  EXPECT_EQ(ReaderWords(h), expected);
}

TEST_F(SegmentE2E, PipelineStagesShowInTheResult) {
  Handle h(0);
  // Numbers with a unit and fractions are merged (numeral tag 15), rule
  // words are split, the secondary lexicon joins single characters (tag 17
  // "nr"), and factoids carry their types.
  struct Case {
    const char* text;
    std::vector<std::string> words;
  } cases[] = {
      {"三万个人", {"三万", "个", "人"}},
      {"三分之一", {"三分之一"}},
      {"大学生", {"大学", "生"}},
      {"白天鹅", {"白天", "鹅"}},
      {"张三和李四", {"张三", "和", "李四"}},
      {"www.abc.com", {"www.abc.com"}},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Seg(h, gbk(c.text))) << c.text;
    EXPECT_EQ(FineWords(h), G(c.words)) << c.text;
  }
  ASSERT_TRUE(Seg(h, gbk("张三和三万")));
  std::vector<Token> t = FineTokens(h);
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[0].pos, LX_NR);
  EXPECT_EQ(t[2].pos, LX_M);
  ASSERT_TRUE(Seg(h, gbk("www.abc.com")));
  EXPECT_EQ(FineTokens(h)[0].pos, LX_WWW);
}

TEST_F(SegmentE2E, PosTaggingGivesTheDictionaryTags) {
  // Each of these words has one tag in the dictionary and the transition
  // table is flat, so the tagger must pick the dictionary's tags.
  const std::string text = gbk("我们喜欢北京");
  Handle tagged(LX_POS);
  ASSERT_TRUE(Seg(tagged, text));
  std::vector<Token> t = FineTokens(tagged);
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[0].pos, LX_R);
  EXPECT_EQ(t[1].pos, LX_V);
  EXPECT_EQ(t[2].pos, LX_NS);
  // Without LX_POS ordinary words carry no tag.
  Handle plain(0);
  ASSERT_TRUE(Seg(plain, text));
  for (const Token& tok : FineTokens(plain)) EXPECT_EQ(tok.pos, 0);
}

TEST_F(SegmentE2E, GranularityFlagsReachTheSaver) {
  {
    Handle h(LX_SGU);
    ASSERT_TRUE(Seg(h, gbk("北京大学")));
    EXPECT_EQ(FineWords(h), G({"北京", "大学"}));
  }
  {
    Handle h(LX_ENGU);
    ASSERT_TRUE(Seg(h, gbk("www.abc.com")));
    EXPECT_EQ(FineWords(h), G({"www", ".", "abc", ".", "com"}));
  }
  {
    // Type 87: both segmentations, marked 1 and 2.
    Handle h(LX_WMUL);
    ASSERT_TRUE(Seg(h, gbk("和服装")));
    std::vector<Token> t = FineTokens(h);
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0].word + t[1].word, gbk("和服装"));
    EXPECT_EQ(t[0].wtype, 1);
    EXPECT_EQ(t[2].word + t[3].word, gbk("和服装"));
    EXPECT_EQ(t[3].wtype, 2);
  }
  {
    // Type 88 kept whole by the ambiguity pass and output in both readings.
    Handle h(LX_PMUL);
    ASSERT_TRUE(Seg(h, gbk("白天鹅")));
    EXPECT_EQ(FineWords(h), G({"白天", "鹅", "白", "天鹅"}));
  }
  {
    Handle h(LX_NEW_RES | LX_GU);
    ASSERT_TRUE(Seg(h, gbk("三万个人")));
    seg_tokens_t st;
    std::memset(&st, 0, sizeof(st));
    LXGetAllSegInfo(h, st);
    EXPECT_GE(st.fine_grain_tokens_num, 3u);
  }
}

TEST_F(SegmentE2E, NullTextKeepsThePreviousResult) {
  Handle h(0);
  ASSERT_TRUE(Seg(h, gbk("中国人民")));
  const int n = LXGetResultCnt(h);
  ASSERT_EQ(n, 2);
  EXPECT_TRUE(LXSegment(h, nullptr, 5, LX_GBK));
  EXPECT_EQ(LXGetResultCnt(h), n);
  EXPECT_EQ(ReaderWords(h), G({"中国", "人民"}));
}

TEST_F(SegmentE2E, LengthZeroMeansNulTerminated) {
  Handle h(0);
  const std::string text = gbk("中国") + "a";  // three bytes of text, then NUL
  ASSERT_TRUE(LXSegment(h, text.c_str(), 0, LX_GBK));
  EXPECT_EQ(Spelled(h, false), text);
  ASSERT_TRUE(LXSegment(h, "", 0, LX_GBK));
  EXPECT_EQ(LXGetResultCnt(h), 0);
  // UTF-8 too.
  ASSERT_TRUE(LXSegment(h, "中国", 0, LX_UTF8));
  EXPECT_EQ(ReaderWords(h), std::vector<std::string>{"中国"});
}

TEST_F(SegmentE2E, SeparatorsAreTokensOfTheirOwn) {
  Handle h(LX_POS);
  ASSERT_TRUE(Seg(h, gbk("中国，人民 北京\t\r\n")));
  std::vector<Token> t = FineTokens(h);
  std::vector<std::string> words;
  for (const Token& x : t) words.push_back(x.word);
  EXPECT_EQ(words, G({"中国", "，", "人民", " ", "北京", "\t", "\r", "\n"}));
  for (size_t i : {1, 3, 5, 6, 7}) EXPECT_EQ(t[i].pos, LX_W) << i;

  // Only separators: nothing to segment, every separator saved.
  ASSERT_TRUE(Seg(h, gbk("，，。 ")));
  EXPECT_EQ(FineWords(h), G({"，", "，", "。", " "}));
}

TEST_F(SegmentE2E, LongSentenceIsCutAndItsTailSegmentedAgain) {
  Handle h(0);
  // 2044 bytes of "的", then "中国人民": the splitter cuts after "中国" at
  // 2048 bytes; "的" and "中国" are withdrawn and segmented again with what
  // follows, so the words come out as if there had been no cut.
  std::string de = gbk("的");
  std::string text;
  for (int i = 0; i < 1022; ++i) text += de;
  text += gbk("中国人民");
  ASSERT_TRUE(Seg(h, text));
  EXPECT_EQ(Spelled(h, false), text);
  std::vector<std::string> w = FineWords(h);
  ASSERT_GE(w.size(), 3u);
  ASSERT_TRUE(Seg(h, de + de + gbk("中国人民")));
  std::vector<std::string> tail = FineWords(h);
  EXPECT_EQ(std::vector<std::string>(w.end() - (long)tail.size() + 2, w.end()),
            std::vector<std::string>(tail.begin() + 2, tail.end()));
  EXPECT_EQ(w.back(), gbk("人民"));
}

TEST_F(SegmentE2E, BackLengthCountsOriginalBytesUnderS2D) {
  // Full-width letters just before the cut are one byte each after
  // normalisation; stepping back must count their two original bytes, or
  // a letter would be segmented twice.
  Handle h(LX_S2D);
  std::string text;
  for (int i = 0; i < 1020; ++i) text += gbk("的");
  text += gbk("ＡＢ中国人民");  // the cut falls after 中国
  ASSERT_TRUE(Seg(h, text));
  EXPECT_EQ(Spelled(h, false), Expected(text, LX_S2D));
}

TEST_F(SegmentE2E, Normalisation) {
  {
    Handle h(LX_S2D);
    ASSERT_TRUE(Seg(h, gbk("ＡＢ１中国￥")));
    // Case kept in the output; the yen sign stays full-width.
    EXPECT_EQ(Spelled(h, false), "AB1" + gbk("中国￥"));
  }
  {
    Handle h(LX_S2D | LX_U2L);
    ASSERT_TRUE(Seg(h, gbk("ＡＢ１中国")));
    EXPECT_EQ(Spelled(h, false), "ab1" + gbk("中国"));
  }
  {
    Handle h(0);
    ASSERT_TRUE(Seg(h, gbk("ＡＢ") + "ABC"));
    EXPECT_EQ(Spelled(h, false), gbk("ＡＢ") + "ABC");
  }
  {
    Handle h(LX_U2L);
    ASSERT_TRUE(Seg(h, "ABC def"));
    EXPECT_EQ(FineWords(h), (std::vector<std::string>{"abc", " ", "def"}));
  }
  {
    Handle h(LX_T2S);
    ASSERT_TRUE(Seg(h, gbk("中國人民，乾燥")));
    EXPECT_EQ(Spelled(h, false), gbk("中国人民，干燥"));
    EXPECT_EQ(FineWords(h), G({"中国", "人民", "，", "干燥"}));
  }
  {
    // Separators: half-width under LX_S2D, unless LX_CONV keeps them.
    Handle a(LX_S2D), b(LX_S2D | LX_CONV);
    ASSERT_TRUE(Seg(a, gbk("中国，ＡＢ")));
    EXPECT_EQ(FineWords(a), (std::vector<std::string>{gbk("中国"), ",", "AB"}));
    ASSERT_TRUE(Seg(b, gbk("中国，ＡＢ")));
    EXPECT_EQ(FineWords(b), (std::vector<std::string>{gbk("中国"), gbk("，"), "AB"}));
  }
}

TEST_F(SegmentE2E, Utf8InputDropsInvalidSequences) {
  Handle h(0);
  std::string text = "中国\xff\xfe人民\x80";
  ASSERT_TRUE(Seg(h, text, LX_UTF8));
  EXPECT_EQ(FineWords(h), G({"中国", "人民"}));
  // A text far longer than the initial conversion buffer.
  std::string big;
  while (big.size() < 20000) big += "我们喜欢中国。";
  ASSERT_TRUE(Seg(h, big, LX_UTF8));
  EXPECT_EQ(Spelled(h, false), gbk(big));
}

// --- Readers ----------------------------------------------------------------------

TEST_F(SegmentE2E, ReadersInEveryOutMode) {
  Handle h(LX_USR | LX_POS);
  // 北京烤鸭 is a custom word (class "food") over 北京 烤 鸭; 我们喜欢 a
  // custom phrase over 我们 喜欢.
  ASSERT_TRUE(Seg(h, gbk("我们喜欢北京烤鸭。")));
  EXPECT_EQ(FineWords(h), G({"我们", "喜欢", "北京", "烤", "鸭", "。"}));

  LXSetOutMode(h, OUT_WORD);
  EXPECT_EQ(ReaderWords(h), G({"我们", "喜欢", "北京烤鸭", "。"}));
  pWP wp = LXGetAt(h, 2);
  ASSERT_NE(wp, nullptr);
  EXPECT_TRUE(wp->bcw);
  EXPECT_EQ(std::string(LXGetClsAt(h, wp->cls, 1)), "food");
  EXPECT_EQ(LXGetClsNum(h, wp->cls), 1);
  EXPECT_EQ(wp->pos, LX_N);
  pWP first = LXGetAt(h, 0);
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(first->bcw);
  EXPECT_EQ(first->cls, -1);

  LXSetOutMode(h, OUT_PHRASE);
  EXPECT_EQ(ReaderWords(h), G({"我们喜欢", "北京烤鸭", "。"}));
  pWP ph = LXGetAt(h, 0);
  ASSERT_NE(ph, nullptr);
  EXPECT_TRUE(ph->bcw);
  EXPECT_EQ(std::string(LXGetClsAt(h, ph->cls, 1)), "phrase");

  LXSetOutMode(h, OUT_SUBPHRASE);
  EXPECT_EQ(ReaderWords(h), G({"我们喜欢"}));

  LXSetOutMode(h, (OutMode)7);  // any other value reads the output words
  EXPECT_EQ(LXGetResultCnt(h), 4);

  LXSetOutMode(h, OUT_WORD);
  p_ms_word_t mw = LXMSGetWordAt(h, 2);
  ASSERT_NE(mw, nullptr);
  EXPECT_EQ(std::string(mw->word), gbk("北京烤鸭"));
  EXPECT_EQ(mw->idx, 0);
  p_ms_wp_t mwp = LXMSGetAt(h, 0);
  ASSERT_NE(mwp, nullptr);
  EXPECT_EQ(std::string(mwp->word), gbk("我们"));
  EXPECT_FALSE(mwp->bcw);

  // UTF-8 call: the readers answer in UTF-8.
  ASSERT_TRUE(Seg(h, "我们喜欢北京烤鸭。", LX_UTF8));
  EXPECT_EQ(ReaderWords(h), (std::vector<std::string>{"我们", "喜欢", "北京烤鸭", "。"}));
  EXPECT_EQ(std::string(LXGetAt(h, 2)->word), "北京烤鸭");
  EXPECT_EQ(std::string(LXMSGetWordAt(h, 3)->word), "。");
}

TEST_F(SegmentE2E, ReadersWithoutCustomWordsIndexFineTokens) {
  Handle h(LX_WMUL);
  ASSERT_TRUE(Seg(h, gbk("和服装")));
  for (OutMode m : {OUT_WORD, OUT_PHRASE}) {
    LXSetOutMode(h, m);
    EXPECT_EQ(LXGetResultCnt(h), 4) << m;
  }
  LXSetOutMode(h, OUT_SUBPHRASE);
  EXPECT_EQ(LXGetResultCnt(h), 0);
  LXSetOutMode(h, OUT_WORD);
  EXPECT_EQ(ReaderWords(h), G({"和服", "装", "和", "服装"}));
  EXPECT_EQ(LXMSGetWordAt(h, 0)->idx, 1);
  EXPECT_EQ(LXMSGetAt(h, 3)->idx, 2);
}

TEST_F(SegmentE2E, GetAllSegInfoFillsFourPairsAndKeepsSynonyms) {
  Handle h(LX_USR | LX_NEW_RES);
  ASSERT_TRUE(Seg(h, gbk("我们喜欢北京烤鸭")));
  seg_tokens_t st;
  std::memset(&st, 0, sizeof(st));
  comb_token_t marker;
  st.synonym_tokens = &marker;
  st.synonym_tokens_num = 77;
  LXGetAllSegInfo(h, st);
  EXPECT_EQ(st.synonym_tokens, &marker);
  EXPECT_EQ(st.synonym_tokens_num, 77u);
  ASSERT_EQ(st.fine_grain_tokens_num, 5u);
  ASSERT_EQ(st.custom_tokens_num, 1u);
  EXPECT_EQ(std::string(st.custom_defined_tokens[0].word, st.custom_defined_tokens[0].wlen),
            gbk("北京烤鸭"));
  EXPECT_EQ(st.custom_defined_tokens[0].sidx, 2u);
  EXPECT_EQ(st.custom_defined_tokens[0].eidx, 4u);
  ASSERT_EQ(st.custom_phrases_num, 1u);
  EXPECT_EQ(st.custom_defined_phrases[0].sidx, 0u);
  EXPECT_EQ(st.custom_defined_phrases[0].eidx, 1u);
}

TEST_F(SegmentE2E, ConvertWordCharsetToUtf8) {
  Handle h(0);
  ASSERT_TRUE(Seg(h, gbk("中国人民")));
  seg_tokens_t st;
  std::memset(&st, 0, sizeof(st));
  LXGetAllSegInfo(h, st);
  ASSERT_EQ(st.fine_grain_tokens_num, 2u);
  const char* w = st.fine_grain_seg_tokens[1].word;
  size_t len = st.fine_grain_seg_tokens[1].wlen;
  LXConvertWordCharsetToUTF8(h, w, len);
  EXPECT_EQ(std::string(w, len), "人民");
  EXPECT_EQ(std::strlen(w), len);
  // Converting the converted text again (it lies in the same buffer) must
  // not read freed memory; its bytes are read as GBK.
  const std::string first(w, len);
  LXConvertWordCharsetToUTF8(h, w, len);
  EXPECT_EQ(std::string(w, len), utf8(first));
  // A word far longer than the buffer (every byte of 0x80 is three bytes of
  // UTF-8).
  std::string euros(10000, '\x80');
  w = euros.data();
  len = euros.size();
  LXConvertWordCharsetToUTF8(h, w, len);
  EXPECT_EQ(len, 30000u);
}

// --- Every mode flag ----------------------------------------------------------------

TEST_F(SegmentE2E, EveryModeFlagSegmentsGbkAndUtf8) {
  const std::string sample =
      "我们喜欢北京大学，中國人民在上海。三万个人的三分之一！ABC abc123 www.abc.com "
      "ＡＢＣ１２３，白天鹅和服装，张三和李四，研究生命的起源北京烤鸭";
  for (int flag : kModeFlags) {
    Handle h(flag);
    ASSERT_NE(h.h, nullptr);
    for (size_t charset : {(size_t)LX_GBK, (size_t)LX_UTF8}) {
      const std::string text = charset == (size_t)LX_GBK ? gbk(sample) : sample;
      ASSERT_TRUE(Seg(h, text, charset)) << std::hex << flag;
      EXPECT_GT(LXGetResultCnt(h), 10) << std::hex << flag;
      const bool mul = (flag & (LX_WMUL | LX_PMUL)) != 0;
      EXPECT_EQ(Spelled(h, mul), Expected(gbk(sample), flag)) << std::hex << flag;
    }
  }
  Reinit();  // LX_ASC switched the shared factoid recognizer
}

// --- Coverage over random inputs -----------------------------------------------------

const char* const kSeparators[] = {"\t", "\n", "\r", " ",  "!",  ",",  ";",  "?",  "_",
                                   "　", "。", "…",  "！", "，", "：", "；", "？", "＿"};

std::vector<std::string> RandomInputs(uint32_t seed) {
  std::mt19937 rng(seed);
  auto byte = [&]() { return (char)(rng() & 0xFF); };
  std::vector<std::string> in;
  // Random bytes: invalid GBK, NULs, 0x80, 0xFF.
  for (int k = 0; k < 6; ++k) {
    std::string s;
    const size_t n = 1 + rng() % 6000;
    for (size_t i = 0; i < n; ++i) s += byte();
    in.push_back(s);
  }
  // Plausible GBK: hanzi, full-width ASCII, ASCII, separators, digits.
  for (int k = 0; k < 6; ++k) {
    std::string s;
    const size_t n = 1 + rng() % 3000;
    for (size_t i = 0; i < n; ++i) {
      switch (rng() % 8) {
        case 0:
          s += (char)(0xA3);
          s += (char)(0xA1 + rng() % 94);
          break;
        case 1:
          s += (char)('A' + rng() % 26);
          break;
        case 2:
          s += (char)('0' + rng() % 10);
          break;
        case 3:
          s += gbk(kSeparators[rng() % 18]);
          break;
        case 4:
          s += (char)(0x81 + rng() % 0x7E);
          s += (char)(0x40 + rng() % 0xBF);
          break;
        default:
          s += (char)(0xB0 + rng() % 0x28);
          s += (char)(0xA1 + rng() % 0x5E);
          break;
      }
    }
    in.push_back(s);
  }
  // Lone lead byte at the end.
  in.push_back(gbk("中国人民") + "\xB0");
  in.push_back("\xA3");
  // Only separators; only ASCII punctuation.
  {
    std::string s;
    for (int i = 0; i < 500; ++i) s += gbk(kSeparators[rng() % 18]);
    in.push_back(s);
    std::string p;
    const char punct[] = "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~";
    for (int i = 0; i < 3000; ++i) p += punct[rng() % (sizeof(punct) - 1)];
    in.push_back(p);
  }
  // Underscores at sentence starts and runs of 0x80.
  in.push_back("_" + gbk("中") + "_a_" + std::string(10, '\x80') + "_");
  return in;
}

void CheckCoverage(HANDLE h, int flag, const std::string& text, size_t charset,
                   const std::string& what) {
  ASSERT_TRUE(Seg(h, text, charset)) << what;
  if (flag & (LX_WMUL | LX_PMUL)) return;  // words output twice
  const std::string gbk_text = charset == (size_t)LX_GBK ? text : Utf8ToGbkDropping(text);
  const std::string want = Expected(gbk_text, flag);
  // Compared token by token, without copying millions of tokens.
  seg_tokens_t st;
  std::memset(&st, 0, sizeof(st));
  LXGetAllSegInfo(h, st);
  size_t at = 0;
  for (size_t i = 0; i < st.fine_grain_tokens_num; ++i) {
    const token_t& t = st.fine_grain_seg_tokens[i];
    if (t.wtype != 0) {
      ADD_FAILURE() << what << ": token " << i << " has wtype " << (int)t.wtype;
      return;
    }
    if (t.wlen == 0 || t.word == nullptr || t.wlen > want.size() - at ||
        std::memcmp(t.word, want.data() + at, t.wlen) != 0) {
      ADD_FAILURE() << what << ": token " << i << " (" << t.wlen
                    << " bytes) does not match at byte " << at << " of " << want.size();
      return;
    }
    at += t.wlen;
  }
  EXPECT_EQ(at, want.size()) << what << ": the tokens end early";
}

TEST_F(SegmentE2E, FineTokensSpellTheNormalisedInputUnderEveryFlag) {
  const std::vector<std::string> inputs = RandomInputs(20240601u);
  std::vector<int> flags(std::begin(kModeFlags), std::end(kModeFlags));
  flags.push_back(0);
  for (int flag : flags) {
    Handle h(flag);
    for (size_t k = 0; k < inputs.size(); ++k) {
      const std::string what = "flag " + std::to_string(flag) + " input " + std::to_string(k);
      CheckCoverage(h, flag, inputs[k], LX_GBK, what + " GBK");
      CheckCoverage(h, flag, inputs[k], LX_UTF8, what + " UTF-8 (raw bytes)");
      CheckCoverage(h, flag, utf8(inputs[k]), LX_UTF8, what + " UTF-8");
    }
  }
  Reinit();
}

TEST_F(SegmentE2E, TenMegabytesWithoutSeparatorUnderEveryFlag) {
  // Words of the dictionary, random hanzi, digits and full-width letters; no
  // separator anywhere, so every sentence is cut for length.
  std::mt19937 rng(7u);
  const std::vector<std::string> words =
      G({"我们", "喜欢", "北京大学", "中国", "人民", "三万", "三分之一", "研究", "生命", "的",
         "白天鹅", "和服装", "大学生", "张三", "ＡＢ", "１２"});
  std::string text;
  text.reserve(10u << 20);
  while (text.size() < (10u << 20)) {
    if (rng() % 4 == 0) {
      text += (char)(0xB0 + rng() % 0x28);
      text += (char)(0xA1 + rng() % 0x5E);
    } else if (rng() % 16 == 0) {
      text += (char)('0' + rng() % 10);
    } else {
      text += words[rng() % words.size()];
    }
  }
  std::vector<int> flags(std::begin(kModeFlags), std::end(kModeFlags));
  flags.push_back(0);
  for (int flag : flags) {
    Handle h(flag);
    CheckCoverage(h, flag, text, LX_GBK, "flag " + std::to_string(flag));
  }
  Handle h(0);
  CheckCoverage(h, 0, utf8(text), LX_UTF8, "UTF-8");
  Reinit();
}

}  // namespace
