// Factoid recognition: hand-checked tokens through every recognizer and
// mode and the pattern revisers branch by branch.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "seg/Factoid.h"
#include "support/exact_text.h"

namespace {

using Text = lxtest::ExactText;

using Found = std::pair<int, uint32_t>;  // type, length

std::string repeat(const std::string& s, int n) { return n > 0 ? s + repeat(s, n - 1) : ""; }
std::string fullwidth(const std::string& ascii) {
  std::string r;
  for (char c : ascii) r += std::string{'\xA3', static_cast<char>(static_cast<unsigned char>(c) + 0x80)};
  return r;
}

const std::string kSan = "\xC8\xFD", kShi = "\xCA\xAE", kWu = "\xCE\xE5", kYi = "\xD2\xBB";
const std::string kDian = "\xB5\xE3", kGe = "\xB8\xF6", kBan = "\xB0\xEB";  // 三十五一点个半
const std::string kFenZhi = "\xB7\xD6\xD6\xAE", kRen = "\xC8\xCB";           // 分之 人
const std::string kWan = "\xCD\xF2", kFen = "\xB7\xD6";                     // 万 分
const std::string kMidDot = "\xA1\xA4", kRatio = "\xA1\xC3";                // · ∶

// Recognizers in each mode (the switches cannot be cleared): normal, PKU,
// ASCII, both.
struct Modes {
  Modes() { m[1].set_pku(), m[2].set_ascii(), m[3].set_pku(), m[3].set_ascii(); }
  CFactoid m[4];
};
const Modes& modes() {
  static const Modes* all = new Modes;
  return *all;
}
enum { N, P, A, B };

Found recognize(const CFactoid& fc, const std::string& s) {
  const Text t(s);
  Found f{-1, 12345};
  fc.recognize_factoid_word(t.data(), t.size(), f.first, f.second);
  return f;
}

TEST(FactoidTest, RecognizedTokens) {
  const struct { int mode; std::string text; int type; uint32_t len; } cases[] = {
      {N, "abc123", 23, 6}, {N, "abc123def", 23, 6}, {N, "123abc", 15, 3}, {N, "abc", 23, 3},
      {N, "abc_def", 23, 3}, {N, "abc__", 23, 3}, {N, "abc%", 23, 3}, {N, "abc-def", 23, 3},
      {N, "ab:", 23, 2}, {N, "abc:def", 23, 3}, {N, "abc.xyz", 23, 3}, {N, "x", 23, 1},
      {N, "s", 23, 0}, {N, "v", 23, 0}, {N, "w", 23, 0}, {N, "g", 23, 0}, {N, "k", 23, 0},
      {N, "s" + kSan, 23, 0}, {N, "sa", 23, 2}, {N, repeat("a", 150), 23, 101}, {N, "3.5%", 15, 4},
      {N, "12.5%" + kSan, 15, 5}, {N, "50%", 15, 3}, {N, "1-2", 15, 1}, {N, "12_3", 15, 2},
      {N, "12@x", 15, 2}, {N, "12:", 15, 2}, {N, "1.2.3", 15, 1}, {N, "2012.5", 15, 6},
      {N, repeat("7", 150), 15, 101}, {N, "2012-01-05", 29, 10}, {N, "12:30", 29, 5},
      {N, "12:30" + kDian, 29, 5}, {N, "1999.1.2", 29, 8}, {N, "12/25/2012", 29, 10},
      {N, "010-12345678", 51, 12}, {N, "13912345678", 51, 11}, {N, "sina.com", 50, 8},
      {N, "www.sina.com" + kSan, 50, 12}, {N, "http://www.sina.com.cn/news/a.html", 50, 34},
      {N, "http://x.com/.", 50, 13}, {N, "user@sina.com", 52, 13}, {N, "a@b.com.", 52, 8}, {N, "a@b.com_", 52, 7},
      {N, "user@host", 23, 4}, {N, "-5", 15, 2}, {N, "-12.5%" + kSan, 15, 6}, {N, "-2012-01-05", 0, 0},
      {N, "--5", 0, 0}, {N, "-" + fullwidth("5"), 0, 0}, {P, "-" + fullwidth("5"), 15, 3},
      {A, "-5", 23, 2}, {N, kSan + "00" + kYi + kRen, 15, 6}, {N, kSan + fullwidth("0") + kWu, 15, 6},
      {N, kSan + "00" + kRen, 15, 2}, {N, kSan + kFenZhi + kYi, 15, 8},
      {N, kShi + kFenZhi + kSan + kDian + kWu + kRen, 15, 12}, {N, kSan + kFenZhi + kRen, 15, 2},
      {N, kSan + kFenZhi + kWu + kDian, 15, 8}, {N, "_a", 0, 0}, {N, "@a", 0, 0},
      {N, ".com", 0, 0}, {N, " a", 0, 0}, {N, std::string(1, '\0') + "1", 0, 0}, {N, "", 0, 0},
      {N, kSan + kShi + kWu + kDian, 15, 4}, {N, kShi + kDian + kBan, 15, 0},
      {N, kYi + "a", 15, 0}, {N, kYi, 15, 0}, {N, kSan + kShi + kYi, 15, 4}, {N, kYi + kGe, 15, 2},
      {N, kSan + kShi + "\xB0", 15, 4}, {N, kWu + "\x80\x41", 15, 2},
      {N, "\xD2\xBC\xB0\xDB\xB7\xA1\xCA\xB0", 15, 8}, {N, "\xC1\xBD\xC7\xA7", 15, 4},
      {N, "\xA9\x96\xA1\xF0", 15, 4}, {N, kGe, 0, 0}, {N, "\xD2", 0, 0}, {N, "\xFF\xFF", 0, 0},
      {N, repeat(kSan, 200), 15, 256}, {N, repeat(kSan, 127) + kYi + repeat(kSan, 10), 15, 254},
      {P, fullwidth("ABC"), 23, 6}, {P, fullwidth("AB") + "1", 23, 5},
      {P, fullwidth("12%"), 15, 6}, {P, fullwidth("2012-01-05"), 29, 20},
      {P, fullwidth("www.sina.com"), 50, 24}, {P, "ab1cd", 23, 5}, {P, "a@b.com_", 52, 7},
      {P, "abc:def", 23, 3}, {P, "s", 23, 1}, {P, "abc" + kSan, 23, 3}, {P, "\xA3\x41", 0, 0},
      {P, "\xA3", 0, 0}, {P, fullwidth("-1"), 15, 4}, {P, repeat(fullwidth("a"), 300), 23, 512},
      {P, kSan + kShi, 15, 4}, {P, std::string(1, '\0') + "a", 0, 0},
      {A, "hello, world! 123" + kSan, 23, 17}, {A, repeat("x", 300), 23, 256},
      {A, std::string("\0a", 2), 23, 2}, {A, "s" + kSan, 23, 0}, {A, "sa", 23, 2},
      {A, kSan + kShi, 15, 4}, {A, kGe, 0, 0}, {B, "hello, world", 23, 5},
      {B, std::string("\0a", 2), 23, 2}, {B, fullwidth("AB"), 23, 4},
      {N, fullwidth("12"), 0, 0}, {N, "\xD2\xBC\xB0\xDB", 15, 4},
      // A middle dot between digits is a decimal point, once; ratio colons
      // chain, each term with a decimal of its own.
      {N, "14" + kMidDot + "9%" + kSan, 15, 6}, {N, "3.5" + kMidDot + "2", 15, 3},
      {N, "5" + kMidDot + kSan, 15, 1}, {N, "5" + kMidDot + "2" + kMidDot + "1", 15, 4},
      {N, "5%" + kMidDot + "2", 15, 2}, {N, "12:30" + kMidDot + "5", 29, 5},
      {N, "6" + kRatio + "2" + kRatio + "1.5" + kRatio, 15, 9}, {N, "2" + kRatio + "x", 15, 1},
      {P, fullwidth("14") + kMidDot + fullwidth("9%"), 15, 10},
      {P, fullwidth("1.9") + kRatio + fullwidth("1"), 15, 10}, {N, fullwidth("1") + kRatio + "1", 0, 0},
      // Chinese decimals: single digits after 点, then 万 or 亿; no clock
      // time, and after 一点 one digit alone is no fraction.
      {N, kSan + kShi + kDian + kWu + kYi + kWan + kRen, 15, 12}, {N, kSan + kDian + kWu + kRen, 15, 6},
      {N, kShi + kDian + kSan + kShi + kFen, 15, 0}, {N, kShi + kDian + kWu + kFen, 15, 0},
      {N, kYi + kDian + kYi + kRen, 15, 0}, {N, kYi + kDian + kYi + kDian, 15, 0},
      {N, kYi + kDian + kYi + kWan, 15, 8}, {N, kYi + kDian + kWu + kYi + kRen, 15, 8},
      {N, kSan + kDian + kBan, 15, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(recognize(modes().m[c.mode], c.text), (Found{c.type, c.len}))
        << c.mode << " " << testing::PrintToString(c.text);
  }
  int type = -1;
  uint32_t len = 99;
  modes().m[N].recognize_factoid_word(nullptr, 0, type, len);
  EXPECT_EQ((Found{type, len}), (Found{0, 0}));
  // After a letter or a digit a minus is a hyphen.
  for (const std::string& minus : {std::string("-5"), fullwidth("-5")}) {
    modes().m[P].recognize_factoid_word(minus.data(), minus.size(), type, len, true);
    EXPECT_EQ((Found{type, len}), (Found{0, 0}));
  }
}

TEST(FactoidTest, ReviseNumPattern) {
  const struct { const char* token; uint32_t len; int type; } cases[] = {
      {"12%", 3, 15}, {"12%34", 3, 15}, {"1.5%", 4, 15}, {"1.2.3%", 6, 23}, {"5%-3", 2, 15},
      {"010-12345678", 12, 51}, {"13912345678", 11, 51}, {"4001234567", 10, 51},
      {"8001234567", 10, 51}, {"010-1234-5678", 13, 51}, {"0101234567890", 13, 15},
      {"0101234567.5", 12, 15}, {"010--1234567", 3, 15}, {"010--12345678", 3, 15},
      {"5123456789", 10, 15}, {"1.5/2", 5, 23}, {"3.2012", 6, 23}, {"3.2112", 6, 15},
      {"12.20", 5, 15}, {"3.20123", 7, 15}, {"12:30", 5, 29}, {"2:30", 4, 29}, {"12:30:45", 8, 29},
      {"012:305", 7, 23}, {"12/25/2012", 10, 29}, {"2012.05.06", 10, 29}, {"1999.1.2", 8, 29},
      {"1888.1.2", 8, 23}, {"2012-01-05", 10, 29}, {"2012-1-5", 8, 29}, {"2012-01-051", 4, 15},
      {"20.1.2", 6, 23}, {"2012-01", 4, 15}, {"12-1-2", 2, 15}, {"2012.5", 6, 15}, {"9:30", 4, 23},
      {"1.2.3", 5, 23}, {"1:2", 3, 23}, {"35", 2, 15}, {"", 0, 15}, {"1-2", 1, 15},
      {"3-4-5-6", 1, 15}, {"1/2", 3, 15}, {"12/5", 4, 15}, {"3-4/5", 3, 15}, {"12/", 2, 15},
  };
  for (const auto& c : cases) {
    const Text t(c.token);
    uint32_t len = t.size();
    int type = 15;
    modes().m[N].revise_num_pattern(t.data(), len, type);
    EXPECT_EQ((Found{type, len}), (Found{c.type, c.len})) << c.token;
  }
}

struct NxCase { const char* token; uint32_t mask; uint32_t len; int type; };

TEST(FactoidTest, ReviseNxUrlPatternAndGetFactoidType) {
  const NxCase nx[] = {
      {"sina.com", 2 | 16, 8, 50}, {"a@b.cn", 2 | 8 | 16, 6, 52}, {"x.community", 2 | 16, 11, 50},
      {"..com", 2 | 16, 5, 50}, {"x.biz?q=1", 1 | 2 | 16 | 64, 9, 50}, {"a.tv", 2 | 16, 4, 50},
      {"abc.xyz", 2 | 16, 7, 23}, {"a.t", 2 | 16, 3, 23}, {"a.COM", 2 | 16, 5, 23},
      {"abc.", 2 | 16, 4, 23}, {"http://abc/x", 2 | 32, 4, 23},
      {"a-b.c/d", 2 | 16 | 32, 5, 23}, {"~ab", 2 | 64, 0, 23},
  };
  for (const NxCase& c : nx) {
    const Text t(c.token);
    uint32_t len = t.size();
    int type = -1;
    modes().m[N].revise_nx_url_pattern(t.data(), len, c.mask, type);
    EXPECT_EQ((Found{type, len}), (Found{c.type, c.len})) << c.token;
  }
  const NxCase get[] = {
      {"-", 16, 1, 0}, {"1-2", 17, 1, 15}, {"2012-01-05", 17, 10, 29}, {"12.5.", 17, 4, 23},
      {"abc.", 2, 4, 23}, {"abc+", 2 | 4, 3, 23}, {"abc-", 2 | 16, 3, 23},
      {"ab%%", 2 | 128, 2, 23}, {"a%%", 2 | 128, 3, 23}, {"a%", 2 | 128, 2, 23},
      {"%", 2 | 128, 1, 15}, {"1.5%", 1 | 2 | 16 | 128, 4, 15},
      {"12%/abc", 1 | 2 | 32 | 128, 3, 15}, {"www.x.com/", 2 | 16 | 32, 10, 50},
      {"www.x.com/.", 2 | 16 | 32, 10, 50}, {"www.x.com:", 2 | 16 | 32, 9, 50},
      {"a@b.com.", 2 | 8 | 16, 8, 52},
  };
  for (const NxCase& c : get) {
    const Text t(c.token);
    uint32_t len = t.size();
    const int type = modes().m[N].get_factoid_type(t.data(), len, c.mask);
    EXPECT_EQ((Found{type, len}), (Found{c.type, c.len})) << c.token;
  }
}

}  // namespace
