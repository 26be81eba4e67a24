// Tests of the traditional-to-simplified converter and its file writers.
#include "dict/T2S.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "dict/T2SWriter.h"

namespace {

// GBK characters used below (traditional, simplified).
const std::string GUO_T = "\x87\xf8";   // 國
const std::string GUO_S = "\xb9\xfa";   // 国
const std::string ZHU = "\xd6\xf8";     // 著 (ambiguous, own rule)
const std::string ZHUO = "\xd7\xc5";    // 着
const std::string KAN = "\xbf\xb4";     // 看
const std::string MING = "\xc3\xfb";    // 名
const std::string FA_T = "\xf3\x8c";    // 髮 (ambiguous)
const std::string FA_S = "\xb7\xa2";    // 发
const std::string TOU_T = "\xee\x5e";   // 頭 (not in the table)
const std::string TOU_S = "\xcd\xb7";   // 头
const std::string HOU_T = "\xe1\xe1";   // 後
const std::string HOU_S = "\xba\xf3";   // 后
const std::string TAI_T = "\xc5\x5f";   // 臺
const std::string TAI_S = "\xcc\xa8";   // 台
const std::string QIAN = "\xc7\xac";    // 乾 (disable-bound)
const std::string GAN = "\xb8\xc9";     // 干
const std::string LONG = "\xc2\xa1";    // 隆
const std::string JING_T = "\x9c\x51";  // 淨
const std::string MIAN_T = "\xfc\x49";  // 麵
const std::string MIAN_S = "\xc3\xe6";  // 面
const std::string FA2_T = "\xb0\x6c";   // 發 (trail byte below 0x80)

class TempDir {
 public:
  TempDir() {
    std::string tmpl = testing::TempDir() + "t2s_test_XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    char* p = mkdtemp(buf.data());
    EXPECT_NE(p, nullptr);
    path_ = p ? p : "";
  }
  ~TempDir() {
    for (const std::string& f : files_) std::remove(f.c_str());
    rmdir(path_.c_str());
  }
  std::string file(const std::string& name) {
    std::string f = path_ + "/" + name;
    files_.insert(f);
    return f;
  }
  std::string write(const std::string& name, const std::string& bytes) {
    std::string f = file(name);
    FILE* fp = std::fopen(f.c_str(), "wb");
    EXPECT_NE(fp, nullptr);
    if (fp) {
      std::fwrite(bytes.data(), 1, bytes.size(), fp);
      std::fclose(fp);
    }
    return f;
  }

 private:
  std::string path_;
  std::set<std::string> files_;
};

std::string captured_stdout() {
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

uint16_t code(const std::string& c) {
  return (uint16_t)((unsigned char)c[0] | ((unsigned char)c[1] << 8));
}

const Trad2Simp::Entry& entry(const Trad2Simp& t, const std::string& c) {
  return t.m_t2s_table[code(c)];
}

std::string convert(const Trad2Simp& t, std::string s) {
  t.convert(&s[0], (int)s.size());
  return s;
}

// A converter loaded from the three files written by the writers.
class T2STest : public testing::Test {
 protected:
  void SetUp() override {
    t_ = std::make_unique<Trad2Simp>();
    ASSERT_TRUE(write_t2s_table(dir_.file("t2s").c_str(),
                                {{GUO_T, GUO_S, false},
                                 {ZHU, ZHUO, true},
                                 {FA_T, FA_S, true},
                                 {QIAN, GAN, false},
                                 {MIAN_T, MIAN_S, false},
                                 {FA2_T, FA_S, false}}));
    ASSERT_TRUE(write_t2s_words(dir_.file("t2s.word").c_str(),
                                {{TOU_T + FA_T, TOU_S + FA_S},
                                 {HOU_T + TAI_T, HOU_S + TAI_S},
                                 {KAN + ZHU, KAN + ZHUO},
                                 {ZHU + MING, ZHU + MING}}));
    ASSERT_TRUE(write_t2s_disable(dir_.file("t2s.disable").c_str(),
                                  {{QIAN, QIAN + LONG}, {MIAN_T, MIAN_T + QIAN}}));
    testing::internal::CaptureStdout();
    EXPECT_TRUE(t_->_load_t2s_table(dir_.file("t2s").c_str()));
    EXPECT_TRUE(t_->_load_t2s_words(dir_.file("t2s.word").c_str()));
    EXPECT_TRUE(t_->_load_t2s_disable(dir_.file("t2s.disable").c_str()));
    EXPECT_EQ(captured_stdout(), "");
  }

  TempDir dir_;
  std::unique_ptr<Trad2Simp> t_;
};

// --- loaders ---------------------------------------------------------------

TEST(T2SLoad, TableLayoutTypesAndMessages) {
  TempDir dir;
  std::string path = dir.write(
      "t2s",
      "# comment " + GUO_T + "\n" +
          GUO_T + "\t" + GUO_S + "\t0\n" +         // normal
          FA_T + "\t" + FA_S + "\t1\n" +           // ambiguous
          MIAN_T + "\t" + MIAN_S + "\t2\n" +       // illegal type: still normal
          QIAN + " " + GAN + " 0\n" +              // spaces instead of tabs
          "\n" +                                   // empty line
          JING_T + "\t" + GAN + "\t0\n" +          // a later line overwrites ...
          JING_T + "\t" + GUO_S + "\t0\n" +        // ... an earlier one
          FA2_T + "\t" + FA_S + "\t0");            // no final newline
  auto t = std::make_unique<Trad2Simp>();
  testing::internal::CaptureStdout();
  EXPECT_TRUE(t->_load_t2s_table(path.c_str()));
  std::string out = captured_stdout();

  EXPECT_EQ(out, "illegal type in line : " + MIAN_T + "\t" + MIAN_S + "\t2\n \n" +
                     "illegal line: " + path + " \n" + "illegal line: " + path + " \n");
  EXPECT_EQ(entry(*t, GUO_T).type, Trad2Simp::T2S_NORMAL);
  EXPECT_EQ(entry(*t, GUO_T).chs, code(GUO_S));
  EXPECT_EQ(entry(*t, FA_T).type, Trad2Simp::T2S_AMBIGUOUS);
  EXPECT_EQ(entry(*t, MIAN_T).type, Trad2Simp::T2S_NORMAL);
  EXPECT_EQ(entry(*t, QIAN).type, Trad2Simp::T2S_NULL);
  EXPECT_EQ(entry(*t, JING_T).chs, code(GUO_S));
  EXPECT_EQ(entry(*t, FA2_T).chs, code(FA_S));
  EXPECT_EQ(entry(*t, FA2_T).type, Trad2Simp::T2S_NORMAL);
  int used = 0;
  for (const Trad2Simp::Entry& e : t->m_t2s_table) used += e.type != Trad2Simp::T2S_NULL;
  EXPECT_EQ(used, 5);
}

TEST(T2SLoad, TableRejectsCharactersThatAreNotTwoByteGbk) {
  // Each of these would let convert() write a NUL or an ASCII byte, or would
  // change how the text splits into characters.
  TempDir dir;
  std::string path = dir.write(
      "t2s", std::string("ab\t") + GUO_S + "\t0\n" +     // ASCII traditional
                 GUO_T + "\tab\t0\n" +                   // ASCII simplified
                 GUO_T + "\t\xb9\x7f\t0\n" +             // trail byte 0x7F
                 GUO_T + "\t\x80\xa1\t0\n" +             // lead byte 0x80
                 GUO_T + std::string("\t\xb9\0\t0\n", 6) +  // NUL in the simplified
                 GUO_T + "\t" + GUO_S + "\t\n" +         // missing type digit
                 GUO_T + "\t" + GUO_S + "\t");           // line ends at the tab
  auto t = std::make_unique<Trad2Simp>();
  testing::internal::CaptureStdout();
  EXPECT_TRUE(t->_load_t2s_table(path.c_str()));
  std::string out = captured_stdout();
  std::string illegal = "illegal line: " + path + " \n";
  EXPECT_EQ(out, illegal + illegal + illegal + illegal + illegal + "illegal type in line : " +
                     GUO_T + "\t" + GUO_S + "\t\n \n" + "illegal type in line : " + GUO_T +
                     "\t" + GUO_S + "\t \n");
  EXPECT_EQ(entry(*t, GUO_T).chs, code(GUO_S));
  EXPECT_EQ(t->m_t2s_table[(unsigned char)'a' | ((unsigned char)'b' << 8)].type,
            Trad2Simp::T2S_NULL);
}

TEST(T2SLoad, LongTableLinesAreReadInPiecesOf99Bytes) {
  // A comment of 110 bytes: its first 99 bytes are a comment, the rest is
  // read as a line of its own.
  TempDir dir;
  std::string tail = GUO_T + "\t" + GUO_S + "\t0";
  std::string path = dir.write("t2s", "#" + std::string(98, 'x') + tail + "\n");
  auto t = std::make_unique<Trad2Simp>();
  testing::internal::CaptureStdout();
  EXPECT_TRUE(t->_load_t2s_table(path.c_str()));
  EXPECT_EQ(captured_stdout(), "");
  EXPECT_EQ(entry(*t, GUO_T).chs, code(GUO_S));
}

TEST(T2SLoad, MissingFilesReportAndKeepTheConverterEmpty) {
  TempDir dir;
  std::string missing = dir.file("absent");
  auto t = std::make_unique<Trad2Simp>();
  testing::internal::CaptureStdout();
  EXPECT_FALSE(t->_load_t2s_table(missing.c_str()));
  EXPECT_FALSE(t->_load_t2s_words(missing.c_str()));
  EXPECT_FALSE(t->_load_t2s_disable(missing.c_str()));
  std::string msg = "unable to open dictionary: " + missing + " \n";
  EXPECT_EQ(captured_stdout(), msg + msg + msg);
  std::string text = GUO_T + "abc" + FA_T;
  EXPECT_EQ(convert(*t, text), text);
}

TEST(T2SLoad, WordListParsingAndLengthErrors) {
  TempDir dir;
  std::string path = dir.write(
      "t2s.word", "# comment\r\n" +
                      TOU_T + FA_T + " " + TOU_S + FA_S + " extra tokens\r\n" +  // CRLF, 3 tokens
                      "\r\n" +
                      "single-token\n" +
                      KAN + ZHU + "\t" + KAN + "\n" +             // lengths differ
                      HOU_T + TAI_T + "\t" + GUO_S + GUO_S + "\n" +  // replaced below
                      "  \t" + HOU_T + TAI_T + "  \t " + HOU_S + TAI_S);  // leading blanks, no EOL
  auto t = std::make_unique<Trad2Simp>();
  testing::internal::CaptureStdout();
  EXPECT_TRUE(t->_load_t2s_words(path.c_str()));
  EXPECT_EQ(captured_stdout(), KAN + ZHU + "\t" + KAN + "\n" +
                                   "Error: cht/chs words should have same length\n");
  ASSERT_EQ(t->m_chs_words.size(), 2u);
  // Keys in byte order: 後臺 (E1..) before 頭髮 (EE..).
  EXPECT_EQ(t->m_t2s_words.exactMatchSearch<int>((HOU_T + TAI_T).c_str()), 0);
  EXPECT_EQ(t->m_t2s_words.exactMatchSearch<int>((TOU_T + FA_T).c_str()), 1);
  EXPECT_EQ(t->m_t2s_words.exactMatchSearch<int>((KAN + ZHU).c_str()), -1);
  EXPECT_EQ(t->m_chs_words[0], HOU_S + TAI_S);  // the last form of a repeated word
  EXPECT_EQ(t->m_chs_words[1], TOU_S + FA_S);
}

TEST(T2SLoad, DisableListChecksTheCharacterType) {
  TempDir dir;
  std::string table = dir.write("t2s", GUO_T + "\t" + GUO_S + "\t0\n" + FA_T + "\t" + FA_S +
                                           "\t1\n" + QIAN + "\t" + GAN + "\t0\n");
  std::string path = dir.write(
      "t2s.disable", FA_T + " " + TOU_T + FA_T + "\n" +  // ambiguous: skipped with a warning
                         QIAN + " " + QIAN + LONG + "\n" +  // normal -> disable
                         QIAN + " " + QIAN + LONG + "\n" +  // duplicate word
                         QIAN + " " + QIAN + JING_T + "\n" +  // disable: word kept
                         TOU_T + " " + TOU_T + FA_T + "\n" +  // not in the table: silent
                         "x " + GUO_T + "\n" +                // one-byte token: no entry
                         QIAN + "\n");                        // one token
  auto t = std::make_unique<Trad2Simp>();
  testing::internal::CaptureStdout();
  EXPECT_TRUE(t->_load_t2s_table(table.c_str()));
  EXPECT_TRUE(t->_load_t2s_disable(path.c_str()));
  EXPECT_EQ(captured_stdout(),
            "WARNING : " + FA_T + " is an ambiguous character in T2S conversion\n" +
                "char of ambiguous type is forbidden in t2s.disable\n" + "the line " + FA_T +
                " " + TOU_T + FA_T + " is skipped\n\n");
  EXPECT_EQ(entry(*t, FA_T).type, Trad2Simp::T2S_AMBIGUOUS);
  EXPECT_EQ(entry(*t, QIAN).type, Trad2Simp::T2S_DISABLE);
  EXPECT_EQ(entry(*t, GUO_T).type, Trad2Simp::T2S_NORMAL);
  EXPECT_EQ(t->m_t2s_disable.exactMatchSearch<int>((QIAN + LONG).c_str()), 4);
  EXPECT_EQ(t->m_t2s_disable.exactMatchSearch<int>((QIAN + JING_T).c_str()), 4);
  EXPECT_EQ(t->m_t2s_disable.exactMatchSearch<int>((TOU_T + FA_T).c_str()), -1);
  EXPECT_EQ(t->m_t2s_disable.exactMatchSearch<int>(GUO_T.c_str()), -1);
}

TEST(T2SLoad, DisableValueIsTheLengthUpTo100) {
  TempDir dir;
  std::string table = dir.write("t2s", QIAN + "\t" + GAN + "\t0\n");
  std::string long_word = QIAN + std::string(120, 'a');
  std::string path = dir.write("t2s.disable", QIAN + " " + long_word + "\n");
  auto t = std::make_unique<Trad2Simp>();
  EXPECT_TRUE(t->_load_t2s_table(table.c_str()));
  EXPECT_TRUE(t->_load_t2s_disable(path.c_str()));
  EXPECT_EQ(t->m_t2s_disable.exactMatchSearch<int>(long_word.c_str()), 100);
  // The exception applies over the word's real length, beyond 100 bytes.
  std::string text = long_word + QIAN;
  EXPECT_EQ(convert(*t, text), long_word + GAN);
}

// --- writers ---------------------------------------------------------------

TEST(T2SWriter, RoundTripOfAllThreeFiles) {
  TempDir dir;
  std::vector<t2s_char_entry_t> chars = {
      {GUO_T, GUO_S, false}, {FA_T, FA_S, true}, {QIAN, GAN, false}, {FA2_T, FA_S, false}};
  std::vector<t2s_pair_t> words = {{TOU_T + FA_T, TOU_S + FA_S}, {KAN + ZHU, KAN + ZHUO}};
  std::vector<t2s_pair_t> disable = {{QIAN, QIAN + LONG}, {QIAN, QIAN + JING_T}};
  ASSERT_TRUE(write_t2s_table(dir.file("t2s").c_str(), chars, "generated\nfor a test"));
  ASSERT_TRUE(write_t2s_words(dir.file("t2s.word").c_str(), words));
  ASSERT_TRUE(write_t2s_disable(dir.file("t2s.disable").c_str(), disable));

  auto t = std::make_unique<Trad2Simp>();
  testing::internal::CaptureStdout();
  EXPECT_TRUE(t->_load_t2s_table(dir.file("t2s").c_str()));
  EXPECT_TRUE(t->_load_t2s_words(dir.file("t2s.word").c_str()));
  EXPECT_TRUE(t->_load_t2s_disable(dir.file("t2s.disable").c_str()));
  EXPECT_EQ(captured_stdout(), "");

  int used = 0;
  for (const Trad2Simp::Entry& e : t->m_t2s_table) used += e.type != Trad2Simp::T2S_NULL;
  EXPECT_EQ(used, (int)chars.size());
  for (const t2s_char_entry_t& c : chars) {
    EXPECT_EQ(entry(*t, c.cht).chs, code(c.chs));
    Trad2Simp::ChtType want = c.ambiguous ? Trad2Simp::T2S_AMBIGUOUS : Trad2Simp::T2S_NORMAL;
    if (c.cht == QIAN) want = Trad2Simp::T2S_DISABLE;
    EXPECT_EQ(entry(*t, c.cht).type, want);
  }
  ASSERT_EQ(t->m_chs_words.size(), words.size());
  for (const t2s_pair_t& w : words) {
    int v = t->m_t2s_words.exactMatchSearch<int>(w.first.c_str());
    ASSERT_GE(v, 0);
    EXPECT_EQ(t->m_chs_words[v], w.second);
  }
  for (const t2s_pair_t& d : disable)
    EXPECT_EQ(t->m_t2s_disable.exactMatchSearch<int>(d.second.c_str()), (int)d.second.size());
}

TEST(T2SWriter, RejectsWhatTheLoaderWouldMisread) {
  TempDir dir;
  std::string f = dir.file("out");
  EXPECT_FALSE(write_t2s_table(f.c_str(), {{"ab", GUO_S, false}}));
  EXPECT_FALSE(write_t2s_table(f.c_str(), {{GUO_T, GUO_S + "x", false}}));
  EXPECT_FALSE(write_t2s_table(f.c_str(), {}, std::string(120, 'c')));
  EXPECT_FALSE(write_t2s_words(f.c_str(), {{KAN + ZHU, KAN}}));        // lengths differ
  EXPECT_FALSE(write_t2s_words(f.c_str(), {{"a b", "c d"}}));           // separator inside
  EXPECT_FALSE(write_t2s_words(f.c_str(), {{"#a", "#b"}}));             // would be a comment
  EXPECT_FALSE(write_t2s_words(f.c_str(), {{"a\r", "b\r"}}));           // line break inside
  EXPECT_FALSE(write_t2s_words(f.c_str(), {{std::string("a\0", 2), "bc"}}));
  EXPECT_FALSE(write_t2s_disable(f.c_str(), {{"q", QIAN + LONG}}));     // not a character
  EXPECT_FALSE(write_t2s_disable(f.c_str(), {{QIAN, ""}}));
  EXPECT_NE(access(f.c_str(), F_OK), 0) << "a rejected input must not leave a file";
  EXPECT_TRUE(write_t2s_words(f.c_str(), {}));
}

// --- convert ---------------------------------------------------------------

TEST_F(T2STest, OneToOneCharacters) {
  EXPECT_EQ(convert(*t_, GUO_T), GUO_S);
  EXPECT_EQ(convert(*t_, "ab" + GUO_T + "c" + GUO_T + "\n"), "ab" + GUO_S + "c" + GUO_S + "\n");
  EXPECT_EQ(convert(*t_, FA2_T + GUO_T), FA_S + GUO_S);  // trail byte below 0x80
  EXPECT_EQ(convert(*t_, "plain ASCII text, 123!"), "plain ASCII text, 123!");
  EXPECT_EQ(convert(*t_, TOU_T + KAN), TOU_T + KAN);  // characters without an entry
}

TEST_F(T2STest, NormalCharacterWithoutSimplifiedFormStays) {
  t_->m_t2s_table[code(GUO_T)].chs = 0;
  EXPECT_EQ(convert(*t_, GUO_T + MIAN_T), GUO_T + MIAN_S);
}

TEST_F(T2STest, AmbiguousCharacterConvertsOnlyInsideAListedWord) {
  EXPECT_EQ(convert(*t_, TOU_T + FA_T), TOU_S + FA_S);  // the whole word is replaced
  EXPECT_EQ(convert(*t_, FA_T), FA_T);
  EXPECT_EQ(convert(*t_, KAN + FA_T), KAN + FA_T);
  // Listed words in the eight bytes before it are converted on the way.
  EXPECT_EQ(convert(*t_, HOU_T + TAI_T + FA_T), HOU_S + TAI_S + FA_T);
  // ... but not those further away, nor those after it.
  EXPECT_EQ(convert(*t_, HOU_T + TAI_T + "abcdefgh" + FA_T), HOU_T + TAI_T + "abcdefgh" + FA_T);
  EXPECT_EQ(convert(*t_, FA_T + HOU_T + TAI_T), FA_T + HOU_T + TAI_T);
}

TEST_F(T2STest, ZhuPrefersAnAtLeastAsLongWordStartingAtIt) {
  // 看著 (ending with 著) against 著名 (starting at it, as long): 著名 wins.
  EXPECT_EQ(convert(*t_, KAN + ZHU + MING), KAN + ZHU + MING);
  EXPECT_EQ(convert(*t_, KAN + ZHU), KAN + ZHUO);
  EXPECT_EQ(convert(*t_, ZHU + MING), ZHU + MING);
  EXPECT_EQ(convert(*t_, ZHU), ZHU);
}

TEST_F(T2STest, ZhuKeepsALongerCoveringWord) {
  TempDir dir;
  ASSERT_TRUE(write_t2s_words(dir.file("w").c_str(),
                              {{KAN + ZHU + MING, KAN + ZHUO + MING}, {ZHU + MING, ZHU + MING}}));
  ASSERT_TRUE(t_->_load_t2s_words(dir.file("w").c_str()));
  // 看著名 (covering, longer) beats 著名.
  EXPECT_EQ(convert(*t_, KAN + ZHU + MING), KAN + ZHUO + MING);
  // The covering word does not end with 著 here, so it wins even against an
  // equally long word starting at 著.
  ASSERT_TRUE(write_t2s_words(dir.file("w").c_str(),
                              {{KAN + ZHU + MING, KAN + ZHUO + MING},
                               {ZHU + MING + KAN, ZHU + MING + KAN}}));
  ASSERT_TRUE(t_->_load_t2s_words(dir.file("w").c_str()));
  EXPECT_EQ(convert(*t_, KAN + ZHU + MING + KAN), KAN + ZHUO + MING + KAN);
}

TEST_F(T2STest, DisabledCharacterStaysInsideExceptionWords) {
  EXPECT_EQ(convert(*t_, QIAN + LONG), QIAN + LONG);
  EXPECT_EQ(convert(*t_, QIAN + JING_T), GAN + JING_T);
  EXPECT_EQ(convert(*t_, QIAN + LONG + QIAN), QIAN + LONG + GAN);
  // Exception words are not tied to their character: 麵乾 (listed for 麵)
  // also protects the 乾 inside it, and 麵 itself.
  EXPECT_EQ(convert(*t_, MIAN_T + QIAN), MIAN_T + QIAN);
  EXPECT_EQ(convert(*t_, MIAN_T + GUO_T), MIAN_S + GUO_S);
}

TEST_F(T2STest, NeverTouchesBytesBeyondLen) {
  // Words and characters that would reach past len are not converted there,
  // and a lead byte in the last position is left alone.
  std::string text = GUO_T + GUO_T + TOU_T + FA_T + QIAN + LONG;
  struct Case {
    int len;
    std::string want_prefix;
  } cases[] = {
      {2, GUO_S},
      {3, GUO_S + GUO_T.substr(0, 1)},
      {7, GUO_S + GUO_S + TOU_T + FA_T},  // 髮 is cut by len: neither it nor 頭髮 converts
      {8, GUO_S + GUO_S + TOU_S + FA_S},
      {10, GUO_S + GUO_S + TOU_S + FA_S + GAN},  // 乾隆 is cut by len: 乾 converts
  };
  for (const Case& c : cases) {
    std::string buf = text;
    t_->convert(&buf[0], c.len);
    EXPECT_EQ(buf.substr(0, (size_t)c.len), c.want_prefix.substr(0, (size_t)c.len))
        << "len " << c.len;
    EXPECT_EQ(buf.substr((size_t)c.len), text.substr((size_t)c.len)) << "len " << c.len;
  }
  // 乾 at the very end, its exception word cut off by len: converted.
  std::string buf = QIAN + LONG;
  t_->convert(&buf[0], 2);
  EXPECT_EQ(buf, GAN + LONG);
  t_->convert(nullptr, 5);
  buf = GUO_T;
  t_->convert(&buf[0], 0);
  t_->convert(&buf[0], -3);
  EXPECT_EQ(buf, GUO_T);
}

TEST_F(T2STest, StepFunctionsIgnorePositionsOutsideTheText) {
  std::string buf = FA_T;
  EXPECT_EQ(t_->convert_word(&buf[0], 1, 2), 3);
  EXPECT_EQ(t_->convert_word_zhu(&buf[0], -1, 2), 1);
  EXPECT_EQ(t_->convert_disable(&buf[0], 2, 2), 4);
  EXPECT_EQ(buf, FA_T);
}

TEST_F(T2STest, SearchStopsAtANulByte) {
  // A word never matches across a NUL inside the converted range.
  std::string buf = TOU_T + std::string(1, '\0') + FA_T;
  t_->convert(&buf[0], (int)buf.size());
  EXPECT_EQ(buf, TOU_T + std::string(1, '\0') + FA_T);
}

// --- a reference converter for random comparisons --------------------------

// The conversion rules written out with std::string and brute-force prefix
// search over maps, restricted to text[0, len) like the real converter.
class RefT2S {
 public:
  std::vector<Trad2Simp::Entry> table;
  std::map<std::string, std::string> words;
  std::set<std::string> disable;
  int wsize = 8;

  bool longest(const std::string& text, int p, int len, bool dis, std::string& key) const {
    for (int l = len - p; l >= 1; --l) {
      std::string k = text.substr((size_t)p, (size_t)l);
      if (k.find('\0') != std::string::npos) continue;
      if (dis ? disable.count(k) > 0 : words.count(k) > 0) {
        key = k;
        return true;
      }
    }
    return false;
  }
  static int step(unsigned char b) { return b < 0x80 ? 1 : 2; }
  int start(int pos) const { return pos - wsize > 0 ? pos - wsize : 0; }

  void convert(std::string& text, int len) const {
    int i = 0;
    while (i < len) {
      unsigned char b = (unsigned char)text[(size_t)i];
      if (b < 0x80) {
        ++i;
        continue;
      }
      if (i + 1 >= len) break;
      unsigned idx = b | ((unsigned char)text[(size_t)i + 1] << 8);
      const Trad2Simp::Entry& e = table[idx];
      if (e.type == Trad2Simp::T2S_AMBIGUOUS && idx == Trad2Simp::ZHU) {
        i = zhu(text, i, len);
      } else if (e.type == Trad2Simp::T2S_AMBIGUOUS) {
        int p = start(i);
        std::string k;
        while (p <= i) {
          if (longest(text, p, len, false, k)) {
            text.replace((size_t)p, k.size(), words.at(k));
            p += (int)k.size();
          } else {
            p += step((unsigned char)text[(size_t)p]);
          }
        }
        i = p;
      } else if (e.type == Trad2Simp::T2S_DISABLE) {
        int p = start(i);
        std::string k;
        bool inside = false;
        while (p <= i) {
          if (longest(text, p, len, true, k)) {
            p += (int)k.size();
            if (p > i) {
              inside = true;
              break;
            }
          } else {
            p += step((unsigned char)text[(size_t)p]);
          }
        }
        if (inside) {
          i = p;
        } else {
          set_chs(text, i, e.chs);
          i += 2;
        }
      } else {
        if (e.type == Trad2Simp::T2S_NORMAL) set_chs(text, i, e.chs);
        i += 2;
      }
    }
  }

 private:
  static void set_chs(std::string& text, int i, uint16_t chs) {
    if (chs == 0) return;
    text[(size_t)i] = (char)(chs & 0xFF);
    text[(size_t)i + 1] = (char)(chs >> 8);
  }
  int zhu(std::string& text, int pos, int len) const {
    int p = start(pos), s = 0;
    std::string a, b, k;
    while (p <= pos) {
      if (longest(text, p, len, false, k)) {
        if (p + (int)k.size() > pos) {
          a = k;
          s = p;
          break;
        }
        p += (int)k.size();
      } else {
        p += step((unsigned char)text[(size_t)p]);
      }
    }
    longest(text, pos, len, false, b);
    if (a.empty() && b.empty()) return pos + 2;
    bool use_b = !b.empty() &&
                 (a.empty() || (pos + 2 >= s + (int)a.size() && a.size() <= b.size()));
    const std::string& w = use_b ? b : a;
    int at = use_b ? pos : s;
    text.replace((size_t)at, w.size(), words.at(w));
    return at + (int)w.size();
  }
};

// Random characters over a small alphabet so that words and table entries
// meet often.
struct RandomSetup {
  std::vector<std::string> alphabet = {GUO_T, ZHU, FA_T, QIAN, MIAN_T, TOU_T, KAN, FA2_T,
                                       "a", "b", std::string(1, '\x80')};
  std::vector<std::string> chars2 = {GUO_T, ZHU, FA_T, QIAN, MIAN_T, TOU_T, KAN, FA2_T};
  std::mt19937 rng;
  explicit RandomSetup(unsigned seed) : rng(seed) {}
  int pick(int n) { return (int)(rng() % (unsigned)n); }
  std::string word(int max_units) {
    std::string w;
    int n = 1 + pick(max_units);
    for (int i = 0; i < n; ++i) w += alphabet[(size_t)pick((int)alphabet.size())];
    return w;
  }
  std::string same_length_word(size_t len) {
    std::string w;
    while (w.size() < len) {
      std::string c = alphabet[(size_t)pick((int)alphabet.size())];
      if (w.size() + c.size() <= len) w += c;
    }
    return w;
  }
};

TEST(T2SRandom, MatchesTheReferenceConverter) {
  int changed = 0, total = 0;
  for (unsigned seed = 1; seed <= 40; ++seed) {
    RandomSetup r(seed);
    TempDir dir;
    std::vector<t2s_char_entry_t> chars;
    for (const std::string& c : r.chars2) {
      if (r.pick(4) == 0) continue;
      chars.push_back({c, r.chars2[(size_t)r.pick((int)r.chars2.size())], r.pick(3) == 0});
    }
    std::vector<t2s_pair_t> words, disable;
    for (int i = 0, n = r.pick(12); i < n; ++i) {
      std::string w = r.word(4);
      if (w[0] == '#') continue;
      words.push_back({w, r.same_length_word(w.size())});
    }
    for (int i = 0, n = r.pick(6); i < n; ++i)
      disable.push_back({r.chars2[(size_t)r.pick((int)r.chars2.size())], r.word(4)});
    ASSERT_TRUE(write_t2s_table(dir.file("t2s").c_str(), chars));
    ASSERT_TRUE(write_t2s_words(dir.file("t2s.word").c_str(), words));
    ASSERT_TRUE(write_t2s_disable(dir.file("t2s.disable").c_str(), disable));

    auto t = std::make_unique<Trad2Simp>();
    testing::internal::CaptureStdout();
    t->_load_t2s_table(dir.file("t2s").c_str());
    t->_load_t2s_words(dir.file("t2s.word").c_str());
    t->_load_t2s_disable(dir.file("t2s.disable").c_str());
    captured_stdout();

    // The reference repeats the loaders' rules on the same input.
    RefT2S ref;
    ref.table.assign(65536, Trad2Simp::Entry{0, 0});
    for (const t2s_char_entry_t& c : chars)
      ref.table[code(c.cht)] = {code(c.chs), (uint8_t)(c.ambiguous ? Trad2Simp::T2S_AMBIGUOUS
                                                                     : Trad2Simp::T2S_NORMAL)};
    for (const t2s_pair_t& w : words) ref.words[w.first] = w.second;
    for (const t2s_pair_t& d : disable) {
      Trad2Simp::Entry& e = ref.table[code(d.first)];
      if (e.type == Trad2Simp::T2S_NORMAL) e.type = Trad2Simp::T2S_DISABLE;
      if (e.type == Trad2Simp::T2S_DISABLE) ref.disable.insert(d.second);
    }
    for (int k = 0; k < 65536; ++k) {
      ASSERT_EQ(t->m_t2s_table[k].type, ref.table[(size_t)k].type) << "seed " << seed;
      ASSERT_EQ(t->m_t2s_table[k].chs, ref.table[(size_t)k].chs) << "seed " << seed;
    }

    for (int n = 0; n < 200; ++n) {
      std::string text = r.word(20);
      int len = (int)text.size() - r.pick(3);
      if (len < 0) len = 0;
      std::string got = text, want = text;
      t->convert(&got[0], len);
      ref.convert(want, len);
      ASSERT_EQ(got, want) << "seed " << seed << " text #" << n;
      changed += got != text;
      ++total;
    }
  }
  // The comparison means something only if conversions happen.
  EXPECT_GT(changed, total / 4);
}

TEST(T2SRandom, ArbitraryFileBytesNeverLeadOutOfBounds) {
  // Garbage resources followed by conversions of garbage text: the text keeps
  // its length, nothing past len changes and no NUL byte appears.  Run under
  // AddressSanitizer this also shows that no access leaves the buffers.
  std::mt19937 rng(7);
  auto random_bytes = [&](size_t n, bool lines) {
    std::string s;
    for (size_t i = 0; i < n; ++i) {
      unsigned v = rng() % 256;
      if (lines && rng() % 12 == 0) v = (rng() % 2) ? '\n' : '\t';
      s.push_back((char)v);
    }
    return s;
  };
  int changed = 0;
  for (int round = 0; round < 30; ++round) {
    TempDir dir;
    // A valid table part makes conversions happen; the rest is noise.
    std::string table;
    for (int i = 0; i < 50; ++i) {
      std::string c = random_bytes(2, false), s = random_bytes(2, false);
      table += c + "\t" + s + "\t" + std::to_string(rng() % 3) + "\n";
    }
    table += random_bytes(2000, true);
    std::string words = random_bytes(3000, true), disable = random_bytes(3000, true);
    auto t = std::make_unique<Trad2Simp>();
    testing::internal::CaptureStdout();
    t->_load_t2s_table(dir.write("t2s", table).c_str());
    t->_load_t2s_words(dir.write("t2s.word", words).c_str());
    t->_load_t2s_disable(dir.write("t2s.disable", disable).c_str());
    captured_stdout();

    for (int n = 0; n < 300; ++n) {
      size_t size = rng() % 64;
      std::string text = random_bytes(size, false);
      for (char& ch : text)
        if (ch == '\0') ch = 'z';
      int len = (int)(rng() % (size + 1));
      // The text lives in its own heap block of exactly `size` bytes.
      std::unique_ptr<char[]> buf(new char[size ? size : 1]);
      std::memcpy(buf.get(), text.data(), size);
      t->convert(buf.get(), len);
      for (int k = 0; k < len; ++k) ASSERT_NE(buf[(size_t)k], '\0');
      ASSERT_EQ(std::memcmp(buf.get() + len, text.data() + len, size - (size_t)len), 0);
      changed += std::memcmp(buf.get(), text.data(), size) != 0;
    }
  }
  EXPECT_GT(changed, 0);
}

// --- concurrency -----------------------------------------------------------

TEST_F(T2STest, ConcurrentConversionsGiveTheSingleThreadedResults) {
  std::vector<std::string> texts = {
      KAN + ZHU + MING + GUO_T + TOU_T + FA_T,  HOU_T + TAI_T + FA_T + QIAN + LONG,
      MIAN_T + QIAN + KAN + ZHU + "abc" + GUO_T, QIAN + JING_T + ZHU + MING + FA2_T,
  };
  std::vector<std::string> want;
  for (const std::string& s : texts) want.push_back(convert(*t_, s));

  const Trad2Simp& shared = *t_;
  const int kThreads = 8;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int th = 0; th < kThreads; ++th) {
    threads.emplace_back([&, th] {
      for (int n = 0; n < 2000; ++n) {
        size_t k = (size_t)(n + th) % texts.size();
        std::string s = texts[k];
        shared.convert(&s[0], (int)s.size());
        if (s != want[k]) ++mismatches[(size_t)th];
      }
    });
  }
  for (std::thread& t : threads) t.join();
  for (int th = 0; th < kThreads; ++th) EXPECT_EQ(mismatches[(size_t)th], 0) << "thread " << th;
}

}  // namespace
