// Tests of the traditional-to-simplified converter and its file writers:
// the loaders' reading and messages, and hand-checked conversions at the
// edges of every rule (scan window, 著, exception words, the text's end).
#include "dict/T2S.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <memory>

#include "dict/T2SWriter.h"
#include "support/temp_dir.h"

namespace {

// GBK characters (traditional, simplified).
const std::string GUO_T = "\x87\xf8", GUO_S = "\xb9\xfa", ZHU = "\xd6\xf8", ZHUO = "\xd7\xc5", KAN = "\xbf\xb4",
                  MING = "\xc3\xfb", FA_T = "\xf3\x8c", FA_S = "\xb7\xa2", TOU_T = "\xee\x5e", TOU_S = "\xcd\xb7",
                  HOU_T = "\xe1\xe1", HOU_S = "\xba\xf3", TAI_T = "\xc5\x5f", TAI_S = "\xcc\xa8", QIAN = "\xc7\xac",
                  GAN = "\xb8\xc9", LONG = "\xc2\xa1", JING_T = "\x9c\x51", MIAN_T = "\xfc\x49", MIAN_S = "\xc3\xe6",
                  FA2_T = "\xb0\x6c";  // 國国著着看名髮发頭头後后臺台乾干隆淨麵面發

uint16_t code(const std::string& c) { return (uint16_t)((unsigned char)c[0] | ((unsigned char)c[1] << 8)); }

std::string convert(const Trad2Simp& t, std::string s, int len = INT_MAX) {
  t.convert(&s[0], len == INT_MAX ? (int)s.size() : len);
  return s;
}

// A converter loaded from files; returns what the loaders printed.
class Loaded {
 public:
  std::unique_ptr<Trad2Simp> t = std::make_unique<Trad2Simp>();
  lxtest::TempDir dir{"lx_t2s_"};
  std::string file(const std::string& name, const std::string& bytes) {
    EXPECT_TRUE(dir.write(name, bytes));
    return dir.file(name);
  }
  std::string load(const std::string& table, const std::string& words, const std::string& disable) {
    testing::internal::CaptureStderr();
    EXPECT_TRUE(table.empty() || t->_load_t2s_table(table.c_str()));
    EXPECT_TRUE(words.empty() || t->_load_t2s_words(words.c_str()));
    EXPECT_TRUE(disable.empty() || t->_load_t2s_disable(disable.c_str()));
    return testing::internal::GetCapturedStderr();
  }
};

TEST(T2SLoad, CharacterTable) {
  Loaded l;
  const std::string table = l.file(
      "t2s", "# comment " + GUO_T + "\n" + GUO_T + "\t" + GUO_S + "\t0\n" + FA_T + "\t" + FA_S + "\t1\n" + QIAN + " " + GAN +
                 " 0\n\n" + JING_T + "\t" + GAN + "\t0\n" + JING_T + "\t" + GUO_S + "\t0\n" +  // blanks; the later line wins
                 "ab\t" + GUO_S + "\t0\n" + KAN + "\tab\t0\n" + KAN + "\t\xb9\x7f\t0\n" + KAN + "\t\x80\xa1\t0\n" +
                 KAN + std::string("\t\xb9\0\t0\n", 6) +                 // not two-byte GBK characters
                 "#" + std::string(98, 'x') + HOU_T + "\t" + HOU_S + "\t0\n" +  // a long comment, to its end
                 "\xfe\x40\t\x81\xfe\t0\n" + FA2_T + "\t" + FA_S + "\t0");     // no line end
  std::string skipped;  // by line number; the empty line 5 is skipped silently
  for (int n : {4, 8, 9, 10, 11, 12}) skipped += table + ": line " + std::to_string(n) + ": not two two-byte characters and a type, tab-separated; skipped\n";
  EXPECT_EQ(l.load(table, "", ""), skipped);
  const std::string all = GUO_T + FA_T + MIAN_T + JING_T + HOU_T + "\xfe\x40" + FA2_T + KAN;
  const std::string want = GUO_S + FA_T + MIAN_T + GUO_S + HOU_T + "\x81\xfe" + FA_S + KAN, missing = l.dir.file("absent");
  EXPECT_EQ(convert(*l.t, all), want);  // normal entries convert, the ambiguous one alone does not
  EXPECT_EQ(l.t->m_t2s_table[code(FA_T)].type, Trad2Simp::T2S_AMBIGUOUS);
  for (const std::string& bad : {GUO_T + "\t" + GUO_T + "\t0\n" + MIAN_T + "\t" + MIAN_S + "\t2\n", MIAN_T + "\t" + MIAN_S + "\t"}) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(l.t->_load_t2s_table(l.file("bad", bad).c_str()));  // a type not 0 or 1, a cut last line: refused,
    EXPECT_EQ(testing::internal::GetCapturedStderr(),                    // and the table stays as it was
              l.dir.file("bad") + (bad.back() == '\n' ? ": line 2: the type is not 0 or 1\n" : ": line 1: cut short\n"));
    EXPECT_EQ(convert(*l.t, all), want);
  }
  // Missing files are not reported (each is optional) and change nothing.
  testing::internal::CaptureStderr();
  EXPECT_FALSE(l.t->_load_t2s_table(missing.c_str()) || l.t->_load_t2s_words(missing.c_str()) ||
               l.t->_load_t2s_disable(missing.c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(convert(*l.t, all), want);
}

TEST(T2SLoad, WordAndExceptionLists) {
  Loaded l;
  const std::string table = l.file("t2s", GUO_T + "\t" + GUO_S + "\t0\n" + FA_T + "\t" + FA_S + "\t1\n" + QIAN + "\t" +
                                              GAN + "\t0\n" + MIAN_T + "\t" + MIAN_S + "\t0\n" + ZHU + "\t" + ZHUO + "\t1\n");
  const std::string words = l.file(
      "t2s.word", "# comment\r\n" + TOU_T + FA_T + " " + TOU_S + FA_S + " extra tokens\r\n\r\nsingle-token\n" + HOU_T +
                      KAN + "\t" + KAN + "\n" + KAN + ZHU + " " + KAN + ZHUO + "\n" + ZHU + MING + " " + ZHU + MING + "\n" +
                      KAN + KAN + ZHU + MING + " " + KAN + KAN + ZHUO + MING + "\n" +  // lengths differ above
                      HOU_T + TAI_T + "\t" + GUO_S + GUO_S + "\n" + std::string("a\0b\tc\0d\n", 8) +
                      "  \t" + HOU_T + TAI_T + "  \t " + HOU_S + TAI_S);            // the last form wins
  const std::string long_word = QIAN + std::string(120, 'a'), disable = l.file(
      "t2s.disable", FA_T + " " + TOU_T + FA_T + "\n" +                 // ambiguous: skipped with a warning
                         QIAN + " " + QIAN + LONG + "\n" + QIAN + " " + QIAN + JING_T + "\n" +  // normal -> disable
                         TOU_T + " " + TOU_T + FA_T + "\nx " + GUO_T + "\n" + QIAN + "\n" +  // no entry, one token
                         QIAN + " " + long_word + "\n" + MIAN_T + " " + MIAN_T + QIAN + "\n");
  EXPECT_EQ(l.load(table, words, disable), words + ": line 5: the two forms differ in length; skipped\n" + disable +
                                                ": line 1: an ambiguous character cannot be disabled; skipped\n");
  EXPECT_EQ(l.t->m_t2s_disable.exactMatchSearch<int>((QIAN + JING_T).c_str()), 4);  // the word's length ...
  EXPECT_EQ(l.t->m_t2s_disable.exactMatchSearch<int>(long_word.c_str()), 100);     // ... up to 100
  const std::vector<std::pair<std::string, std::string>> cases = {
      {TOU_T + FA_T, TOU_S + FA_S}, {FA_T + TOU_T + FA_T, FA_T + TOU_S + FA_S}, {KAN + FA_T, KAN + FA_T},
      {HOU_T + TAI_T + FA_T, HOU_S + TAI_S + FA_T}, {HOU_T + TAI_T + "abcd" + FA_T, HOU_S + TAI_S + "abcd" + FA_T},
      {HOU_T + TAI_T + "abcde" + FA_T, HOU_T + TAI_T + "abcde" + FA_T},  // words up to 8 bytes before it convert
      {FA_T + HOU_T + TAI_T, FA_T + HOU_T + TAI_T}, {QIAN + LONG + QIAN, QIAN + LONG + GAN},
      {QIAN + JING_T, QIAN + JING_T}, {MIAN_T + QIAN, MIAN_T + QIAN}, {MIAN_T + GUO_T, MIAN_S + GUO_S},
      {long_word + QIAN, long_word + GAN}, {TOU_T + '\0' + FA_T, TOU_T + '\0' + FA_T},  // no word across a NUL
      {KAN + ZHU, KAN + ZHUO}, {ZHU, ZHU}, {KAN + ZHU + MING, KAN + ZHU + MING},  // 著 gives way to a word starting
      {KAN + KAN + ZHU + MING, KAN + KAN + ZHUO + MING}};  // at it, but not to one covering it that goes on
  for (const auto& c : cases) EXPECT_EQ(convert(*l.t, c.first), c.second);
  EXPECT_EQ(convert(*l.t, GUO_T + GUO_T, -3) + convert(*l.t, GUO_T + GUO_T, 3), GUO_T + GUO_T + GUO_S + GUO_T);
  std::string buf = FA_T;  // the steps ignore positions outside the text
  EXPECT_EQ(l.t->convert_word(&buf[0], 1, 2) + l.t->convert_word_zhu(&buf[0], -1, 2) + l.t->convert_disable(&buf[0], 2, 2), 3 + 1 + 4);
  EXPECT_EQ(buf, FA_T);
  l.t->convert(nullptr, 5);
  l.t->m_t2s_table[code(GUO_T)].chs = 0;  // a normal character without a simplified form stays
  EXPECT_EQ(convert(*l.t, GUO_T + MIAN_T), GUO_T + MIAN_S);
}

TEST(T2SWriter, RefusesWhatTheLoaderWouldMisread) {
  lxtest::TempDir dir("lx_t2s_");
  const std::string f = dir.file("out");
  for (const t2s_char_entry_t& c : std::vector<t2s_char_entry_t>{{"ab", GUO_S, false}, {GUO_T, GUO_S + "x", false},
                                                                  {"\x80\x40", GUO_S, false}, {GUO_T, "\xb0\x7f", false}})
    EXPECT_FALSE(write_t2s_table(f.c_str(), {c}));
  EXPECT_FALSE(write_t2s_table(f.c_str(), {}, std::string(120, 'c')));  // a comment line too long to read back
  for (const t2s_pair_t& p : std::vector<t2s_pair_t>{{KAN + ZHU, KAN}, {"a b", "c d"}, {"#a", "#b"}, {"a\r", "b\r"}, {"", ""}})
    EXPECT_FALSE(write_t2s_words(f.c_str(), {p})) << p.first;
  EXPECT_FALSE(write_t2s_disable(f.c_str(), {{"q", QIAN + LONG}}));
  EXPECT_FALSE(write_t2s_disable(f.c_str(), {{QIAN, ""}}));
  EXPECT_NE(access(f.c_str(), F_OK), 0) << "a refused input must not leave a file";
  EXPECT_TRUE(write_t2s_table(f.c_str(), {{"\xfe\xfe", "\x81\x40", false}, {"\x81\xfe", "\xfe\x80", true}}));
}

}  // namespace
