// End-to-end segmentation through the exported functions only, on the
// default test resources: hand-checked words and tags of each stage, the
// readers, and a reference of the text the fine tokens must spell, checked
// under every mode flag on random and very long inputs.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "LXSegFunc.h"
#include "base/uconv.h"
#include "base/utf8_units.h"
#include "support/seg_handle.h"

using namespace lxtest;

namespace {

// Every mode flag of a handle, and none (the charset values are not mode flags).
const int kModeFlags[] = {0,      LX_ENGU, LX_GU,   LX_POS, LX_USR,    LX_S2D,     LX_U2L, LX_CLS,
                          LX_RUL, LX_CN,   LX_T2S,  LX_PGU, LX_LGU,    LX_SGU,     LX_CUT, LX_TEXT,
                          LX_CONV, LX_WMUL, LX_PMUL, LX_ASC, LX_SECPOS, LX_NEW_RES, LX_SYN, LX_LN,
                          LX_WGU, LX_COARSE};

// The fine tokens of the one reading spelled out.
std::string Spelled(HANDLE h) {
  const seg_tokens_t st = AllInfo(h);
  std::string s;
  for (size_t i = 0; i < st.fine_grain_tokens_num; ++i)
    if (st.fine_grain_seg_tokens[i].wtype == 0)
      s.append(st.fine_grain_seg_tokens[i].word, st.fine_grain_seg_tokens[i].wlen);
  return s;
}

// --- Reference of the text the fine tokens spell ------------------------------

// The traditional characters of the default resources and their simplified
// forms; 乾 converts only inside 乾燥, 麼 except after 幺.
std::string ReferenceT2S(std::string out) {
  static const std::string qian = gbk("乾"), me = gbk("麼"), zao = gbk("燥"), yao = gbk("幺");
  static const std::map<std::string, std::string> simple = {
      {gbk("國"), gbk("国")}, {gbk("學"), gbk("学")}, {qian, gbk("干")}, {me, gbk("么")}};
  for (size_t i = 0; i < out.size(); ++i) {
    if ((unsigned char)out[i] < 0x80 || i + 1 >= out.size()) continue;
    const auto it = simple.find(out.substr(i++, 2));
    if (it == simple.end() || (it->first == qian && out.compare(i + 1, 2, zao) != 0) ||
        (it->first == me && i >= 3 && out.compare(i - 3, 2, yao) == 0))
      continue;
    out.replace(i - 1, 2, it->second);
  }
  return out;
}

// What the fine tokens of a call on `text` (GBK) spell under `mode`: LX_S2D
// makes full-width ASCII ASCII (but for ￥ and ￣), LX_U2L lower-cases ASCII
// letters, LX_T2S simplifies.  A byte from 0x80 up that is not the last one
// starts a two-byte character.  Not for LX_S2D together with LX_CONV.
std::string Expected(const std::string& text, int mode) {
  std::string norm;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = text[i], d = i + 1 < text.size() ? text[i + 1] : 0;
    const bool wide = c >= 0x80 && i + 1 < text.size();
    if (wide && !((mode & LX_S2D) && c == 0xA3 && d > 0x80 && d != 0xA4 && d != 0xFE)) {
      norm.append(text, i, 2);
      i += 2;
      continue;
    }
    unsigned char b = wide ? d - 0x80 : c;
    i += wide ? 2 : 1;
    if ((mode & LX_U2L) && b >= 'A' && b <= 'Z') b += 32;
    norm += (char)b;
  }
  return (mode & LX_T2S) ? ReferenceT2S(norm) : norm;
}

class SegmentE2E : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ResourceDir;
    ASSERT_TRUE(dir_->build(default_resource_plan())) << dir_->error();
    ASSERT_TRUE(LXInitSeg(dir_->path().c_str()));
  }
  static void TearDownTestSuite() {
    LXUnInitSeg();
    delete dir_;
  }
  // Back to a freshly initialised library (LX_ASC switches shared state).
  static void Reinit() { ASSERT_TRUE(LXInitSeg(dir_->path().c_str())); }
  static ResourceDir* dir_;
};

ResourceDir* SegmentE2E::dir_ = nullptr;

// --- Hand-checked words and tags ------------------------------------------------

TEST_F(SegmentE2E, EachStageShowsInTheWordsAndTags) {
  // Numbers with a unit and fractions are merged (tag m), rule words (89)
  // split, ambiguous words (88) resolved or, under LX_PMUL, output in both
  // readings, the secondary lexicon joins two characters (张三 nr), factoids
  // carry their types, separators are tokens of their own tagged w.  An
  // empty tag list means "not checked".
  struct Case {
    int mode;
    const char* text;
    std::vector<std::string> words;
    std::vector<int> tags;
  } cases[] = {
      {0,
       "我们喜欢北京大学，研究生命的起源。今天天气很好",
       {"我们", "喜欢", "北京大学", "，", "研究", "生命", "的", "起源", "。", "今天", "天气", "很", "好"},
       {}},
      {0, "三万个人", {"三万", "个", "人"}, {LX_M, 0, 0}},
      {0, "三分之一", {"三分之一"}, {LX_M}},
      {0, "大学生", {"大学", "生"}, {}},
      {0, "白天鹅", {"白天", "鹅"}, {}},
      {0, "张三和李四", {"张三", "和", "李四"}, {LX_NR, 0, LX_NR}},
      {0, "www.abc.com", {"www.abc.com"}, {LX_WWW}},
      {LX_ENGU, "www.abc.com", {"www", ".", "abc", ".", "com"}, {}},
      {LX_SGU, "北京大学", {"北京", "大学"}, {}},
      {LX_PMUL, "白天鹅", {"白天", "鹅", "白", "天鹅"}, {}},
      {LX_WMUL, "和服装", {"和服", "装", "和", "服装"}, {}},
      {LX_U2L, "ABC def", {"abc", " ", "def"}, {}},
      {LX_T2S, "中國人民，乾燥", {"中国", "人民", "，", "干燥"}, {}},
      {LX_S2D, "中国，ＡＢ", {"中国", ",", "AB"}, {}},
      {LX_S2D | LX_CONV, "中国，ＡＢ", {"中国", "，", "AB"}, {}},
      {LX_POS, "我们喜欢北京", {"我们", "喜欢", "北京"}, {LX_R, LX_V, LX_NS}},
      {0, "我们喜欢北京", {"我们", "喜欢", "北京"}, {0, 0, 0}},
      {LX_POS,
       "中国，人民 北京\t\r\n",
       {"中国", "，", "人民", " ", "北京", "\t", "\r", "\n"},
       {LX_NS, LX_W, LX_N, LX_W, LX_NS, LX_W, LX_W, LX_W}},
      {LX_POS, "，，。 ", {"，", "，", "。", " "}, {LX_W, LX_W, LX_W, LX_W}},
  };
  for (const Case& c : cases) {
    Handle h(c.mode);
    // The arrays hold GBK whether the text came as GBK or as UTF-8.
    for (size_t cs : {(size_t)LX_UTF8, (size_t)LX_GBK}) {
      ASSERT_TRUE(Seg(h, cs == (size_t)LX_GBK ? gbk(c.text) : c.text, cs)) << c.text;
      EXPECT_EQ(FineWords(h), G(c.words)) << c.mode << " " << c.text;
    }
    if (c.tags.empty()) continue;
    const seg_tokens_t st = AllInfo(h);
    std::vector<int> tags;
    for (size_t i = 0; i < st.fine_grain_tokens_num; ++i) tags.push_back(st.fine_grain_seg_tokens[i].pos);
    EXPECT_EQ(tags, c.tags) << c.mode << " " << c.text;
  }
}

TEST_F(SegmentE2E, AffixTableJoinsNewWords) {
  // "Affix.Lex" joins a dictionary word of two or more characters with a
  // one-character word next to it when the pair (affix, the word's first
  // tag) is listed; the whole gets the listed tag.  Without the file (every
  // other test) nothing is joined; a malformed file fails the loading.
  const std::string affix_path = dir_->path() + "/Affix.Lex";
  auto write = [&](const std::string& utf8_text) {
    FILE* f = std::fopen(affix_path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const std::string g = gbk(utf8_text);
    std::fwrite(g.data(), 1, g.size(), f);
    std::fclose(f);
  };
  write("# kind affix word-tag whole-tag\ns 化 n v 9 1\ns 性 vn n\np 非 n b\np 副 n n\n");
  Reinit();
  struct Case {
    const char* text;
    std::vector<std::string> words;
    std::vector<int> tags;
  } cases[] = {
      {"服装化", {"服装化"}, {LX_V}},                      // n + 化
      {"研究性", {"研究性"}, {LX_N}},                       // vn + 性
      {"研究化", {"研究", "化"}, {LX_VN, LX_N}},            // 化 takes no vn word
      {"生命性", {"生命", "性"}, {LX_N, LX_N}},             // 性 takes no n word
      {"非生命", {"非生命"}, {LX_B}},                       // prefix
      {"我们非生命化", {"我们", "非生命", "化"}, {}},       // one affix per word
      {"天气化非服装", {"天气化", "非服装"}, {}},
      {"生命，化", {"生命", "，", "化"}, {}},               // not across punctuation
      {"化天气", {"化", "天气"}, {}},                       // 化 is no prefix
      {"人民共和国化", {"人民共和国", "化"}, {}},          // 化 takes no nt word
  };
  for (const Case& c : cases) {
    Handle h(LX_POS);
    ASSERT_TRUE(Seg(h, gbk(c.text)));
    EXPECT_EQ(FineWords(h), G(c.words)) << c.text;
    if (c.tags.empty()) continue;
    const seg_tokens_t st = AllInfo(h);
    std::vector<int> tags;
    for (size_t i = 0; i < st.fine_grain_tokens_num; ++i) tags.push_back(st.fine_grain_seg_tokens[i].pos);
    EXPECT_EQ(tags, c.tags) << c.text;
  }
  for (const char* bad : {"x 化 n v\n", "s 化化 n v\n", "s 化 n nope\n", "s 化 n\n"}) {
    write(bad);
    EXPECT_FALSE(LXInitSeg(dir_->path().c_str())) << bad;
  }
  std::remove(affix_path.c_str());
  Reinit();
}

TEST_F(SegmentE2E, TextArgumentsAndReaders) {
  Handle h(0);
  // Length 0: the text ends at its NUL; a null text keeps the last result.
  const std::string text = gbk("中国人民") + "a";
  ASSERT_TRUE(LXSegment(h, text.c_str(), 0, LX_GBK));
  EXPECT_EQ(Words(h), (std::vector<std::string>{gbk("中国"), gbk("人民"), "a"}));
  EXPECT_TRUE(LXSegment(h, nullptr, 5, LX_GBK));
  EXPECT_EQ(Spelled(h), text);
  // The word-by-word readers answer in UTF-8 after a UTF-8 call.
  ASSERT_TRUE(LXSegment(h, "中国", 0, LX_UTF8));
  EXPECT_EQ(Words(h), std::vector<std::string>{"中国"});
  ASSERT_TRUE(LXSegment(h, "", 0, LX_GBK));
  EXPECT_EQ(LXGetResultCnt(h), 0);
  // Each invalid UTF-8 byte is a token: U+FFFD in UTF-8, "〓" in the GBK
  // arrays, and with LX_ORIG the byte itself.
  ASSERT_TRUE(Seg(h, "中国\xff\xfe人民\x80", LX_UTF8));
  EXPECT_EQ(FineWords(h), G({"中国", "〓", "〓", "人民", "〓"}));
  EXPECT_EQ(Words(h), (std::vector<std::string>{"中国", "\uFFFD", "\uFFFD", "人民", "\uFFFD"}));
  Handle orig(LX_ORIG);
  std::string text_8 = "中国\xff\xfe人民\x80";
  ASSERT_TRUE(Seg(orig, text_8, LX_UTF8));
  text_8.assign(text_8.size(), 'x');  // the words are the library's copies
  EXPECT_EQ(Words(orig), (std::vector<std::string>{"中国", "\xff", "\xfe", "人民", "\x80"}));
}

// --- Every mode flag, random and long inputs ---------------------------------------

const char* const kSeparators[] = {"\t", "\n", "\r", " ",  "!",  ",",  ";",  "?",  "_",
                                   "　", "。", "…",  "！", "，", "：", "；", "？", "＿"};

// Hand-picked texts, random bytes (invalid GBK, NULs, 0x80, 0xFF), plausible
// GBK (hanzi, full-width ASCII, ASCII, separators, digits), runs of
// separators and of punctuation, and a long text of dictionary words without
// any separator, so that every sentence is cut for length.
std::vector<std::string> RandomInputs(uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::string> in = {
      gbk("我们喜欢北京大学，中國人民在上海。三万个人的三分之一！ABC abc123 www.abc.com "
          "ＡＢＣ１２３，白天鹅和服装，张三和李四，研究生命的起源北京烤鸭，乾燥幺麼麼"),
      gbk("中国人民") + "\xB0", "\xA3", "_" + gbk("中") + "_a_" + std::string(10, '\x80') + "_"};
  for (int k = 0; k < 6; ++k) {
    std::string s(1 + rng() % 6000, '\0');
    for (char& c : s) c = (char)(rng() & 0xFF);
    in.push_back(s);
  }
  for (int k = 0; k < 6; ++k) {
    std::string s;
    for (size_t i = 1 + rng() % 3000; i > 0; --i) {
      switch (rng() % 8) {
        case 0: s += {(char)0xA3, (char)(0xA1 + rng() % 94)}; break;
        case 1: s += (char)('A' + rng() % 26); break;
        case 2: s += (char)('0' + rng() % 10); break;
        case 3: s += gbk(kSeparators[rng() % 18]); break;
        case 4: s += {(char)(0x81 + rng() % 0x7E), (char)(0x40 + rng() % 0xBF)}; break;
        default: s += {(char)(0xB0 + rng() % 0x28), (char)(0xA1 + rng() % 0x5E)};
      }
    }
    in.push_back(s);
  }
  std::string seps, punct, text;
  const char p[] = "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~";
  for (int i = 0; i < 500; ++i) seps += gbk(kSeparators[rng() % 18]);
  for (int i = 0; i < 3000; ++i) punct += p[rng() % (sizeof(p) - 1)];
  const std::vector<std::string> words =
      G({"我们", "喜欢", "北京大学", "中国", "人民", "三万", "三分之一", "研究", "生命", "的",
         "白天鹅", "和服装", "大学生", "张三", "ＡＢ", "１２"});
  while (text.size() < (1u << 18)) {
    if (rng() % 4 == 0)
      text += {(char)(0xB0 + rng() % 0x28), (char)(0xA1 + rng() % 0x5E)};
    else if (rng() % 16 == 0)
      text += (char)('0' + rng() % 10);
    else
      text += words[rng() % words.size()];
  }
  in.insert(in.end(), {seps, punct, text});
  return in;
}

// Segments `text` and checks, token by token, that the fine tokens (the
// first reading of a word output twice) spell the reference.
void CheckCoverage(HANDLE h, int flag, const std::string& text, size_t charset,
                   const std::string& what) {
  ASSERT_TRUE(Seg(h, text, charset)) << what;
  std::string gbk_text = text;
  if (charset != (size_t)LX_GBK) {
    std::vector<char> buf(2 * text.size() + 1);
    size_t special;
    gbk_text.assign(buf.data(), utf8_to_gbk_units(text.data(), text.size(), buf.data(), special));
  }
  const std::string want = Expected(gbk_text, flag);
  const seg_tokens_t st = AllInfo(h);
  const bool mul = (flag & (LX_WMUL | LX_PMUL)) != 0;
  size_t at = 0, end = 0, b, n;
  for (size_t i = 0; i < st.fine_grain_tokens_num; ++i) {
    const token_t& t = st.fine_grain_seg_tokens[i];
    // The spans of one reading follow each other; a second reading repeats
    // bytes of the first.
    ASSERT_TRUE(LXGetTokenSpan(h, i, &b, &n)) << what;
    if (t.wtype < 2 && (b != end || n == 0)) {
      ADD_FAILURE() << what << ": token " << i << " spans " << b << "+" << n << ", not " << end;
      return;
    }
    if (t.wtype < 2) end = b + n;
    if (t.wtype == 2 && mul) continue;
    if (t.wtype > (mul ? 1 : 0) || t.wlen == 0 || t.wlen > want.size() - at ||
        std::memcmp(t.word, want.data() + at, t.wlen) != 0) {
      ADD_FAILURE() << what << ": token " << i << " (" << t.wlen << " bytes, wtype "
                    << (int)t.wtype << ") does not match at byte " << at << " of " << want.size();
      return;
    }
    at += t.wlen;
  }
  EXPECT_EQ(at, want.size()) << what << ": the tokens end early";
  EXPECT_EQ(end, text.size()) << what << ": the spans end early";
  EXPECT_FALSE(LXGetTokenSpan(h, st.fine_grain_tokens_num, &b, &n));
}

TEST_F(SegmentE2E, FineTokensSpellTheNormalisedInputUnderEveryFlag) {
  const std::vector<std::string> inputs = RandomInputs(20240601u);
  for (int flag : kModeFlags) {
    Handle h(flag);
    for (size_t k = 0; k < inputs.size(); ++k) {
      const std::string what = "flag " + std::to_string(flag) + " input " + std::to_string(k);
      CheckCoverage(h, flag, inputs[k], LX_GBK, what + " GBK");
      if (k + 1 == inputs.size() && flag != 0) continue;  // the long text: GBK only
      CheckCoverage(h, flag, inputs[k], LX_UTF8, what + " UTF-8 (raw bytes)");
      CheckCoverage(h, flag, utf8(inputs[k]), LX_UTF8, what + " UTF-8");
    }
  }
  Reinit();
}

// --- Lossless UTF-8 ------------------------------------------------------------------

void AppendUtf8(std::string& s, uint32_t cp) {
  if (cp < 0x80) {
    s += (char)cp;
  } else if (cp < 0x800) {
    s += {(char)(0xC0 | cp >> 6), (char)(0x80 | (cp & 0x3F))};
  } else if (cp < 0x10000) {
    s += {(char)(0xE0 | cp >> 12), (char)(0x80 | (cp >> 6 & 0x3F)), (char)(0x80 | (cp & 0x3F))};
  } else {
    s += {(char)(0xF0 | cp >> 18), (char)(0x80 | (cp >> 12 & 0x3F)),
          (char)(0x80 | (cp >> 6 & 0x3F)), (char)(0x80 | (cp & 0x3F))};
  }
}

// Random text from every plane: dictionary words, hanzi, full-width and
// traditional characters, separators, Latin with combining marks, Hangul,
// kana, CJK Extension B, emoji with joiners, modifiers and flags, any code
// point, and (if `invalid`) bytes that are not UTF-8.
std::string RandomUnicode(std::mt19937& rng, bool invalid) {
  static const uint32_t ranges[][2] = {
      {0x20, 0x7E},       {0x4E00, 0x9FA5},   {0xFF01, 0xFF5E},   {0x0300, 0x036F},
      {0x00C0, 0x024F},   {0xAC00, 0xD7A3},   {0x3040, 0x30FF},   {0xFF61, 0xFF9F},
      {0x20000, 0x2A6DF}, {0x1F300, 0x1FAFF}, {0x1F3FB, 0x1F3FF}, {0x1F1E6, 0x1F1FF},
      {0x200D, 0x200D},   {0xFE0F, 0xFE0F},   {0x80, 0xD7FF},     {0xE000, 0x10FFFF}};
  static const char* const bad[] = {"\x80", "\xff", "\xc0\x80", "\xed\xa0\x80", "\xf0\x9f", "\xe4\xb8"};
  static const char* const words[] = {"我们", "北京大学", "中國人民", "三分之一", "张三",
                                      "，",   "。",       "\t",        "\n",      "\u3000"};
  std::string s;
  for (size_t i = rng() % 300; i > 0; --i) {
    const uint32_t k = rng() % 20;
    if (k >= 16) {
      s += (invalid && k == 19) ? bad[rng() % 6] : words[rng() % 10];
    } else {
      uint32_t cp = ranges[k][0] + rng() % (ranges[k][1] - ranges[k][0] + 1);
      if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
      AppendUtf8(s, cp);
    }
  }
  return s;
}

// The words of the current view, without the second reading of words output
// twice, joined; and whether their spans follow each other over the text.
std::string Joined(HANDLE h, size_t text_len, bool& spans_ok) {
  std::string out;
  size_t end = 0, b, n;
  spans_ok = true;
  for (int i = 0; i < LXGetResultCnt(h); ++i) {
    const p_ms_wp_t w = LXMSGetAt(h, i);
    if (w == nullptr || w->idx == 2) continue;
    out += w->word;
    spans_ok = spans_ok && LXGetSpanAt(h, i, &b, &n) && b == end;
    end = b + n;
  }
  spans_ok = spans_ok && end == text_len;
  return out;
}

TEST_F(SegmentE2E, Utf8IsLosslessAndSpansCoverTheText) {
  std::mt19937 rng(7u);
  const int normalising = LX_S2D | LX_T2S | LX_U2L;
  for (int k = 0; k < 40; ++k) {
    const bool invalid = k % 2 == 1;
    std::string text = RandomUnicode(rng, invalid);
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    for (int flag : kModeFlags) {
      for (int mode : {flag | LX_ORIG, flag, flag | LX_POS | LX_PGU | LX_S2D | LX_CN | LX_T2S | LX_USR | LX_ORIG}) {
        if (!(mode & LX_ORIG) && (invalid || (mode & normalising))) continue;
        Handle h(mode);
        ASSERT_TRUE(Seg(h, text, LX_UTF8));
        bool spans_ok;
        EXPECT_EQ(Joined(h, text.size(), spans_ok), text) << "mode " << mode << " text " << k;
        EXPECT_TRUE(spans_ok) << "mode " << mode << " text " << k;
      }
    }
  }
  // Text that GBK holds gives the same words as GBK and as UTF-8 (but for
  // the euro sign, GBK's one-byte 0x80, which UTF-8 text reads as a symbol).
  for (const std::string& input : RandomInputs(99u)) {
    std::string text = utf8(gbk(utf8(input).substr(0, 20000)));
    for (size_t e; (e = text.find("€")) != std::string::npos;) text.erase(e, 3);
    const std::string g = gbk(text);
    for (int flag : kModeFlags) {
      Handle h(flag | LX_ORIG);
      ASSERT_TRUE(Seg(h, g, LX_GBK));
      std::vector<std::string> from_gbk = Words(h);
      for (std::string& w : from_gbk) w = utf8(w);
      ASSERT_TRUE(Seg(h, text, LX_UTF8));
      EXPECT_EQ(Words(h), from_gbk) << "mode " << flag;
    }
  }
  Reinit();
}

// Numbers, dates, signs, fractions and ellipses come out as the training
// corpus writes them, with the default resources in the recommended mode
// with and without LX_S2D (LX_ORIG: the words as written); LX_GU cuts the
// unit from the number.
TEST(DefaultResources, NumbersDatesSignsAndEllipses) {
  ASSERT_TRUE(LXInitSeg(LX_DEFAULT_RESOURCES));
  const int recommended = LX_POS | LX_PGU | LX_S2D | LX_CN | LX_T2S | LX_ORIG;
  const struct { int mode; const char* text; const char* words; } cases[] = {
      {0, "生于１９８２年，二○○九年和二００九年，二〇〇九年。",
       "生于 １９８２年 ， 二○○九年 和 二００九年 ， 二〇〇九年 。"},
      {0, "气温－８度，最低-3.5度，从5-8度。", "气温 －８ 度 ， 最低 -3.5 度 ， 从 5 - 8 度 。"},
      {0, "投资２．５万亿元，共7万亿。今年3月份到１１月份。",
       "投资 ２．５万亿 元 ， 共 7万亿 。 今年 3月份 到 １１月份 。"},
      {0, "他想了想……七分之三，百分之六点五，2/5，４／９。",
       "他 想 了 想 …… 七分之三 ， 百分之六点五 ， 2/5 ， ４／９ 。"},
      {LX_GU, "投资２．５万亿元，今年3月份，１９８２年。",
       "投资 ２．５ 万亿 元 ， 今年 3 月份 ， １９８２ 年 。"},
      {0, "增长１４·９％，比分２∶１，比例6∶2∶2。", "增长 １４·９％ ， 比分 ２∶１ ， 比例 6∶2∶2 。"},
      {0, "共得２６９３分，三年，１１３年，１２时３０分，住了２７天。",
       "共 得 ２６９３ 分 ， 三 年 ， １１３ 年 ， １２时 ３０分 ， 住 了 ２７ 天 。"},
      {0, "增至九点七四万人，一点一滴。", "增至 九点七四万 人 ， 一点一滴 。"},
  };
  for (int s2d : {(int)LX_S2D, 0}) {
    for (const auto& c : cases) {
      Handle h((recommended & ~LX_S2D) | s2d | c.mode);
      LXSetPKUMode(h);
      ASSERT_TRUE(Seg(h, c.text, LX_UTF8));
      std::string got;
      for (const std::string& w : Words(h)) got += (got.empty() ? "" : " ") + w;
      EXPECT_EQ(got, c.words) << "LX_S2D " << s2d;
    }
  }
  LXUnInitSeg();
}

// Doubled words come out whole, as the training corpus writes them: 一 and
// a doubled measure word, A AB B, AA of one character, AA BB; two doubled
// nouns and a doubled word before a doubled verb stay two words, and so
// do A一A and A了A.
TEST(DefaultResources, DoubledWords) {
  ASSERT_TRUE(LXInitSeg(LX_DEFAULT_RESOURCES));
  const struct { const char* text; const char* words; } cases[] = {
      {"他一声声地喊，蹒蹒跚跚地走。", "他 一声声 地 喊 ， 蹒蹒跚跚 地 走 。"},
      {"学学人家，时时处处。", "学学 人家 ， 时时处处 。"},
      {"爸爸妈妈，好好想想，看一看，想了想。", "爸爸 妈妈 ， 好好 想想 ， 看 一 看 ， 想 了 想 。"},
  };
  for (const auto& c : cases) {
    Handle h(LX_POS | LX_PGU | LX_S2D | LX_CN | LX_T2S | LX_ORIG);
    LXSetPKUMode(h);
    ASSERT_TRUE(Seg(h, c.text, LX_UTF8));
    std::string got;
    for (const std::string& w : Words(h)) got += (got.empty() ? "" : " ") + w;
    EXPECT_EQ(got, c.words);
  }
  LXUnInitSeg();
}

}  // namespace
