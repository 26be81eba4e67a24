// Factoid recognition: the tables, the pattern revisers branch by branch, the
// English, Chinese, PKU and ASCII recognizers, and arbitrary bytes in every
// mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "seg/Factoid.h"
#include "support/exact_text.h"

namespace {

using Text = lxtest::ExactText;

struct Found {
  int type;
  uint32_t len;
  bool operator==(const Found& o) const { return type == o.type && len == o.len; }
};

std::ostream& operator<<(std::ostream& os, const Found& f) {
  return os << "{type " << f.type << ", len " << f.len << "}";
}

Found recognize(const CFactoid& fc, const std::string& s) {
  Text t(s);
  Found f{-1, 12345};
  fc.recognize_factoid_word(t.data(), t.size(), f.type, f.len);
  return f;
}

std::string repeat(const std::string& s, int n) {
  std::string r;
  for (int i = 0; i < n; ++i) r += s;
  return r;
}

// Recognizers in each mode; the switches cannot be cleared, so each mode
// has its own object.
class FactoidTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    normal_ = new CFactoid;
    pku_ = new CFactoid;
    pku_->set_pku();
    ascii_ = new CFactoid;
    ascii_->set_ascii();
    both_ = new CFactoid;
    both_->set_pku();
    both_->set_ascii();
  }
  static void TearDownTestSuite() {
    delete normal_;
    delete pku_;
    delete ascii_;
    delete both_;
  }
  static CFactoid* normal_;
  static CFactoid* pku_;
  static CFactoid* ascii_;
  static CFactoid* both_;
};
CFactoid* FactoidTest::normal_ = nullptr;
CFactoid* FactoidTest::pku_ = nullptr;
CFactoid* FactoidTest::ascii_ = nullptr;
CFactoid* FactoidTest::both_ = nullptr;

// GBK strings of the Chinese characters used below.
const std::string kSan = "\xC8\xFD";    // 三
const std::string kShi = "\xCA\xAE";    // 十
const std::string kWu = "\xCE\xE5";     // 五
const std::string kYi = "\xD2\xBB";     // 一
const std::string kDian = "\xB5\xE3";   // 点
const std::string kGe = "\xB8\xF6";     // 个
const std::string kBan = "\xB0\xEB";    // 半

std::string fullwidth(const std::string& ascii) {
  std::string r;
  for (char c : ascii) {
    r.push_back('\xA3');
    r.push_back(static_cast<char>(static_cast<unsigned char>(c) + 0x80));
  }
  return r;
}

// ---------------------------------------------------------------------------
// Tables

TEST_F(FactoidTest, CharacterClasses) {
  const CFactoid& fc = *normal_;
  for (int c = 0; c < 256; ++c) {
    int expected = 0;
    if (c >= '0' && c <= '9') expected = 1;
    else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) expected = 2;
    else if (std::strchr("_+&", c) && c) expected = 4;
    else if (c == '@') expected = 8;
    else if (c == '.' || c == '-') expected = 16;
    else if (c == ':' || c == '/') expected = 32;
    else if (std::strchr("~#?=", c) && c) expected = 64;
    else if (c == '%') expected = 128;
    EXPECT_EQ(fc.factoid_ascii_char[c], expected) << c;
  }
}

TEST_F(FactoidTest, TypeOfEveryMask) {
  const CFactoid& fc = *normal_;
  std::vector<int> numbers;
  for (int mask = 0; mask < 256; ++mask) {
    const int t = fc.factoid_type[mask];
    if (mask & 2) {
      EXPECT_EQ(t, (mask & (32 | 64)) ? 50 : 23) << mask;
    } else if (t != 0) {
      EXPECT_EQ(t, 15) << mask;
      numbers.push_back(mask);
    }
  }
  EXPECT_EQ(numbers, (std::vector<int>{1, 17, 33, 49, 129, 145, 161, 177}));
}

TEST_F(FactoidTest, PermitTables) {
  const CFactoid& fc = *normal_;
  auto members = [](const bool* table) {
    std::string s;
    for (int c = 0; c < 128; ++c)
      if (table[c]) s.push_back(static_cast<char>(c));
    return s;
  };
  const std::string digits = "0123456789";
  const std::string upper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  const std::string lower = "abcdefghijklmnopqrstuvwxyz";
  EXPECT_EQ(members(fc.url_permit_endchar), "#%&/" + digits + "?" + upper + lower + "~");
  EXPECT_EQ(members(fc.nx_permit_char), "%&+-." + digits + "@" + upper + "_" + lower);
  EXPECT_EQ(members(fc.nx_permit_endchar), "%+" + digits + upper + lower);
  EXPECT_EQ(members(fc.num_permit_endchar), "%" + digits);
  EXPECT_EQ(members(fc.fc_permit_starchar), "-" + digits + upper + lower);
}

TEST_F(FactoidTest, UrlKeys) {
  const CFactoid& fc = *normal_;
  for (const char* key : {"biz", "cc", "cn", "com", "edu", "gov", "hk", "info", "mobi", "name",
                          "net", "org", "tv"}) {
    EXPECT_GE(fc.urlkeys.exactMatchSearch<int>(key), 0) << key;
  }
  for (const char* other : {"c", "co", "comm", "org.", "uk", "de", "io", "tw", "COM"}) {
    EXPECT_EQ(fc.urlkeys.exactMatchSearch<int>(other), -1) << other;
  }
}

TEST_F(FactoidTest, ChineseNumerals) {
  const CFactoid& fc = *normal_;
  const std::string numerals =
      "\xA9\x96\xC1\xE3\xD2\xBB\xB6\xFE\xC1\xBD\xC8\xFD\xCB\xC4\xCE\xE5\xC1\xF9\xC6\xDF\xB0\xCB"
      "\xBE\xC5\xCA\xAE\xD8\xA5\xB0\xD9\xC7\xA7\xCD\xF2\xD2\xDA\xD2\xBC\xB7\xA1\xC8\xFE\xCB\xC1"
      "\xCE\xE9\xC2\xBD\xC6\xE2\xB0\xC6\xBE\xC1\xCA\xB0\xB0\xDB\xC7\xAA\xA1\xF0";
  std::set<int> expected;
  for (size_t i = 0; i < numerals.size(); i += 2) {
    expected.insert(static_cast<unsigned char>(numerals[i]) | (static_cast<unsigned char>(numerals[i + 1]) << 8));
  }
  ASSERT_EQ(expected.size(), 31u);
  std::set<int> got;
  for (int w = 0; w < 65536; ++w)
    if (fc.zh_num[w]) got.insert(w);
  EXPECT_EQ(got, expected);
  EXPECT_TRUE(fc.zh_num[0xBBD2]);  // 一, first byte in the low half
  EXPECT_EQ(CFactoid::zh_yi, 0xBBD2);
  EXPECT_EQ(CFactoid::zh_dian, 0xE3B5);
  EXPECT_FALSE(fc.bpku_mode);
  EXPECT_FALSE(fc.bascii_mode);
}

// ---------------------------------------------------------------------------
// Pattern revisers

struct NumCase {
  const char* token;
  uint32_t len;
  int type;
};

TEST_F(FactoidTest, ReviseNumPatternBranches) {
  const NumCase cases[] = {
      // 1. percent without dash, fewer than two dots: up to the first "%"
      {"12%", 3, 15},
      {"12%34", 3, 15},
      {"1.5%", 4, 15},
      {"1.2.3%", 6, 23},   // two dots: on to rule 6
      {"5%-3", 2, 15},     // a dash: on to rule 7
      // 2. telephone numbers
      {"010-12345678", 12, 51},
      {"13912345678", 11, 51},
      {"4001234567", 10, 51},
      {"8001234567", 10, 51},
      {"010-1234-5678", 13, 51},
      {"0101234567890", 13, 15},  // 13 digits: too many without a dash
      {"0101234567.5", 12, 15},   // a dot: no telephone
      {"010--1234567", 3, 15},    // "--" counts as 100 dashes
      {"010--12345678", 3, 15},
      {"5123456789", 10, 15},     // wrong first digit
      // 3. dot and slash
      {"1.5/2", 5, 23},
      // 4. one dot followed by "20xx"
      {"3.2012", 6, 23},
      {"3.2112", 6, 15},
      {"12.20", 5, 15},
      {"3.20123", 7, 15},
      // 5. dates and times (first digit 0, 1 or 2)
      {"12:30", 5, 29},
      {"2:30", 4, 29},
      {"12:30:45", 8, 29},
      {"012:305", 7, 23},  // one colon in 7 bytes: rule 6
      {"12/25/2012", 10, 29},
      {"2012.05.06", 10, 29},
      {"1999.1.2", 8, 29},
      {"1888.1.2", 8, 23},
      {"2012-01-05", 10, 29},
      {"2012-1-5", 8, 29},
      {"2012-01-051", 4, 15},  // 11 bytes: too long for a date
      {"20.1.2", 6, 23},       // 6 bytes: too short for a date
      {"2012-01", 4, 15},
      {"12-1-2", 2, 15},
      {"2012.5", 6, 15},
      {"9:30", 4, 23},  // first digit 9: no time
      // 6. no slash, no dash
      {"1.2.3", 5, 23},
      {"1:2", 3, 23},
      {"35", 2, 15},
      {"", 0, 15},
      // 7. dash without slash: before the first dash
      {"1-2", 1, 15},
      {"3-4-5-6", 1, 15},
      // 8. slash: before the first slash
      {"1/2", 1, 15},
      {"12/5", 2, 15},
      {"3-4/5", 3, 15},
  };
  for (const NumCase& c : cases) {
    const Text t(c.token);
    uint32_t len = t.size();
    int type = 15;
    normal_->revise_num_pattern(t.data(), len, type);
    EXPECT_EQ((Found{type, len}), (Found{c.type, c.len})) << c.token;
  }
}

struct NxCase {
  const char* token;
  uint32_t mask;
  uint32_t len;
  int type;
};

TEST_F(FactoidTest, ReviseNxUrlPatternBranches) {
  const NxCase cases[] = {
      {"sina.com", 2 | 16, 8, 50},
      {"a@b.cn", 2 | 8 | 16, 6, 52},
      {"x.community", 2 | 16, 11, 50},  // a key as a prefix is enough
      {"..com", 2 | 16, 5, 50},
      {"x.biz?q=1", 1 | 2 | 16 | 64, 9, 50},
      {"a.tv", 2 | 16, 4, 50},
      {"abc.xyz", 2 | 16, 7, 23},  // no key: the mask's type, length kept
      {"a.t", 2 | 16, 3, 23},
      {"a.COM", 2 | 16, 5, 23},
      {"abc.", 2 | 16, 4, 23},  // nothing after the dot
      {"http://abc/x", 2 | 32, 4, 23},  // type 50 without a key: the alphanumeric run
      {"a-b.c/d", 2 | 16 | 32, 5, 23},
      {"~ab", 2 | 64, 0, 23},
  };
  for (const NxCase& c : cases) {
    const Text t(c.token);
    uint32_t len = t.size();
    int type = -1;
    normal_->revise_nx_url_pattern(t.data(), len, c.mask, type);
    EXPECT_EQ((Found{type, len}), (Found{c.type, c.len})) << c.token;
  }
}

TEST_F(FactoidTest, GetFactoidTypeBranches) {
  const NxCase cases[] = {
      {"-", 16, 1, 0},                 // no type: nothing revised
      {"1-2", 17, 1, 15},              // number patterns
      {"2012-01-05", 17, 10, 29},
      {"12.5.", 17, 4, 23},            // number pattern, then the end trimmed
      {"abc.", 2, 4, 23},              // letters only: taken as it is
      {"abc+", 2 | 4, 3, 23},          // trailing "+" stripped
      {"abc-", 2 | 16, 3, 23},         // trimmed to an allowed last byte
      {"ab%%", 2 | 128, 2, 23},
      {"a%%", 2 | 128, 3, 23},         // stripping would leave one byte
      {"a%", 2 | 128, 2, 23},
      {"%", 2 | 128, 1, 15},           // a lone "%"
      {"1.5%", 1 | 2 | 16 | 128, 4, 15},  // digits and dots up to the "%"
      {"12%/abc", 1 | 2 | 32 | 128, 3, 15},
      {"www.x.com/", 2 | 16 | 32, 10, 50},
      {"www.x.com/.", 2 | 16 | 32, 10, 50},
      {"www.x.com:", 2 | 16 | 32, 9, 50},
      {"a@b.com.", 2 | 8 | 16, 8, 52},   // e-mail: no trimming
  };
  for (const NxCase& c : cases) {
    const Text t(c.token);
    uint32_t len = t.size();
    const int type = normal_->get_factoid_type(t.data(), len, c.mask);
    EXPECT_EQ((Found{type, len}), (Found{c.type, c.len})) << c.token;
  }
}

TEST_F(FactoidTest, ReviseFactoidWordLen) {
  const CFactoid& fc = *normal_;
  struct Case {
    std::string token;
    uint32_t len;
  };
  const Case cases[] = {{"12%", 3}, {"12..", 2}, {"12\xB0", 2}, {"\xFF\xFF", 0}, {"..", 0}, {"", 0}};
  for (const Case& c : cases) {
    const Text t(c.token);
    uint32_t len = t.size();
    fc.revise_factoid_word_len(t.data(), len, fc.num_permit_endchar);
    EXPECT_EQ(len, c.len) << c.token;
  }
}

// ---------------------------------------------------------------------------
// Recognizers

struct RecCase {
  std::string text;
  int type;
  uint32_t len;
};

void check_cases(const CFactoid& fc, const std::vector<RecCase>& cases) {
  for (const RecCase& c : cases) {
    EXPECT_EQ(recognize(fc, c.text), (Found{c.type, c.len})) << testing::PrintToString(c.text);
  }
}

TEST_F(FactoidTest, EnglishLettersAndDigits) {
  check_cases(*normal_, {
      {"abc123", 23, 6},
      {"abc123def", 23, 6},  // letters and one digit run stay together
      {"123abc", 15, 3},     // leading digits alone
      {"abc", 23, 3},
      {"abc_def", 23, 3},
      {"abc__", 23, 3},
      {"abc%", 23, 3},
      {"abc-def", 23, 3},
      {"ab:", 23, 2},
      {"abc:def", 23, 3},    // a colon before a letter ends the scan
      {"abc.xyz", 23, 3},    // no domain key: split at the dot
      {"x", 23, 1},
      {"s", 23, 0},          // s v w g k alone are words
      {"v", 23, 0},
      {"w", 23, 0},
      {"g", 23, 0},
      {"k", 23, 0},
      {"s" + kSan, 23, 0},
      {"sa", 23, 2},
      {repeat("a", 150), 23, 101},  // the scan stops after 101 bytes
  });
}

TEST_F(FactoidTest, EnglishNumbers) {
  check_cases(*normal_, {
      {"3.5%", 15, 4},
      {"12.5%" + kSan, 15, 5},
      {"50%", 15, 3},
      {"1-2", 15, 1},
      {"12_3", 15, 2},   // "_" would give the mask no type
      {"12@x", 15, 2},
      {"12:", 15, 2},
      {"1.2.3", 15, 1},  // type 23 from the pattern, then the leading digits
      {"2012.5", 15, 6},
      {repeat("7", 150), 15, 101},
  });
}

TEST_F(FactoidTest, EnglishDatesTimesTelephones) {
  check_cases(*normal_, {
      {"2012-01-05", 29, 10},
      {"12:30", 29, 5},
      {"12:30" + kDian, 29, 5},
      {"1999.1.2", 29, 8},
      {"12/25/2012", 29, 10},
      {"010-12345678", 51, 12},
      {"13912345678", 51, 11},
  });
}

TEST_F(FactoidTest, EnglishUrlsAndEmail) {
  const std::string url = "http://www.sina.com.cn/news/a.html";
  check_cases(*normal_, {
      {"sina.com", 50, 8},
      {"www.sina.com" + kSan, 50, 12},
      {url, 50, static_cast<uint32_t>(url.size())},
      {"http://x.com/.", 50, 13},
      {"user@sina.com", 52, 13},
      {"a@b.com.", 52, 8},
      {"a@b.com_", 52, 7},  // trailing underscores are dropped first
      {"user@host", 23, 4},
  });
}

TEST_F(FactoidTest, EnglishRejects) {
  check_cases(*normal_, {
      {"-5", 0, 0},
      {"_a", 0, 0},
      {"@a", 0, 0},
      {".com", 0, 0},
      {" a", 0, 0},
      {std::string(1, '\0') + "1", 0, 0},
      {"", 0, 0},
  });
}

TEST_F(FactoidTest, ChineseNumbers) {
  check_cases(*normal_, {
      {kSan + kShi + kWu + kDian, 15, 4},      // 三十五点: 三十
      {kShi + kDian + kBan, 15, 0},
      {kYi + "a", 15, 0},
      {kYi, 15, 0},
      {kSan + kShi + kYi, 15, 4},
      {kYi + kGe, 15, 2},                      // ended by another character
      {kSan + kShi + "\xB0", 15, 4},           // a lone last byte ends the run
      {kWu + "\x80\x41", 15, 2},
      {"\xD2\xBC\xB0\xDB\xB7\xA1\xCA\xB0", 15, 8},  // 壹佰贰拾
      {"\xC1\xBD\xC7\xA7", 15, 4},             // 两千
      {"\xA9\x96\xA1\xF0", 15, 4},             // 〇○
      {kGe, 0, 0},
      {"\xD2", 0, 0},
      {"\xFF\xFF", 0, 0},
      {repeat(kSan, 200), 15, 256},
      {repeat(kSan, 127) + kYi + repeat(kSan, 10), 15, 254},
  });
}

TEST_F(FactoidTest, PkuMode) {
  check_cases(*pku_, {
      {fullwidth("ABC"), 23, 6},
      {fullwidth("AB") + "1", 23, 5},
      {fullwidth("12%"), 15, 6},
      {fullwidth("2012-01-05"), 29, 20},
      {fullwidth("www.sina.com"), 50, 24},
      {"ab1cd", 23, 5},     // no splitting at class changes
      {"a@b.com_", 52, 7},
      {"abc:def", 23, 3},
      {"s", 23, 1},
      {"abc" + kSan, 23, 3},
      {"\xA3\x41", 0, 0},   // not a full-width ASCII character
      {"\xA3", 0, 0},
      {fullwidth("-1"), 0, 0},
      {repeat(fullwidth("a"), 300), 23, 512},  // the scan stops at 256 characters
      {kSan + kShi, 15, 4},
      {std::string(1, '\0') + "a", 0, 0},
  });
}

TEST_F(FactoidTest, AsciiMode) {
  check_cases(*ascii_, {
      {"hello, world! 123" + kSan, 23, 17},
      {repeat("x", 300), 23, 256},
      {std::string("\0a", 2), 23, 2},
      {"s" + kSan, 23, 0},
      {"sa", 23, 2},
      {kSan + kShi, 15, 4},
      {kGe, 0, 0},
  });
  // PKU mode takes ASCII and full-width text first.
  check_cases(*both_, {
      {"hello, world", 23, 5},
      {std::string("\0a", 2), 23, 2},
      {fullwidth("AB"), 23, 4},
  });
}

TEST_F(FactoidTest, RecognizersReportTheirOwnResults) {
  int type = -1;
  uint32_t len = 99;
  const Text t("abc123def");
  normal_->recognize_en_factoid_word(t.data(), t.size(), type, len);
  EXPECT_EQ((Found{type, len}), (Found{23, 6}));
  pku_->recognize_en_factoid_word_pku(t.data(), t.size(), type, len);
  EXPECT_EQ((Found{type, len}), (Found{23, 9}));
  ascii_->recognize_en_factoid_word(t.data(), t.size(), type, len);
  EXPECT_EQ((Found{type, len}), (Found{23, 9}));
  const Text zh(kSan + kShi);
  normal_->recognize_zh_factoid_word(zh.data(), zh.size(), type, len);
  EXPECT_EQ((Found{type, len}), (Found{15, 4}));
  normal_->recognize_factoid_word(nullptr, 0, type, len);
  EXPECT_EQ((Found{type, len}), (Found{0, 0}));
}

// ---------------------------------------------------------------------------
// Arbitrary bytes

std::string random_bytes(std::mt19937& rng, size_t n) {
  static const char* const kPieces[] = {"0", "1", "2", "9", "a", "s", "x", "Z", ".", "-", ":",
                                        "/", "@", "%", "_", "+", "?", "=", "#", "~", "&",
                                        "com", "cn", "www.", "\xA3\xC1", "\xA3\xB1", "\xA3\xAE",
                                        "\xA3\xA5", "\xC8\xFD", "\xD2\xBB", "\xB5\xE3", "\xCA\xAE",
                                        "\x80", "\xFF", "\xA3", ""};  // "": a NUL byte
  std::string s;
  while (s.size() < n) {
    const uint32_t r = rng() % 10;
    if (r < 7) {
      const char* p = kPieces[rng() % (sizeof(kPieces) / sizeof(kPieces[0]))];
      s += *p ? std::string(p) : std::string(1, '\0');
    } else {
      s.push_back(static_cast<char>(rng() % 256));
    }
  }
  s.resize(n);
  return s;
}

TEST_F(FactoidTest, ArbitraryBytesInEveryMode) {
  const CFactoid* modes[] = {normal_, pku_, ascii_, both_};
  const std::set<int> types = {0, 15, 23, 29, 50, 51, 52};
  std::mt19937 rng(3141);
  for (int round = 0; round < 3000; ++round) {
    const size_t n = (round % 10 == 0) ? rng() % 700 : rng() % 40;
    const std::string s = random_bytes(rng, n);
    for (size_t off = 0; off <= s.size(); off += 1 + rng() % 3) {
      // Exactly the bytes from `off` to the end, so any over-read is caught.
      const std::string tail = s.substr(off);
      for (const CFactoid* fc : modes) {
        const Found f = recognize(*fc, tail);
        ASSERT_TRUE(types.count(f.type)) << f.type;
        ASSERT_LE(f.len, tail.size());
        if (f.len > 0) {
          ASSERT_NE(f.type, 0);
        }
        // The scans' limits bound every factoid.
        ASSERT_LE(f.len, 512u);
        if (!fc->bpku_mode && !fc->bascii_mode) {
          ASSERT_LE(f.len, 256u);
        }
      }
    }
  }
}

TEST_F(FactoidTest, RevisersOnArbitraryTokens) {
  std::mt19937 rng(2718);
  for (int round = 0; round < 20000; ++round) {
    const std::string s = random_bytes(rng, rng() % 24);
    const uint32_t mask = rng() % 256;
    const Text t(s);
    uint32_t len = t.size();
    int type = 15;
    normal_->revise_num_pattern(t.data(), len, type);
    ASSERT_LE(len, t.size());
    len = t.size();
    normal_->revise_nx_url_pattern(t.data(), len, mask, type);
    ASSERT_LE(len, t.size());
    len = t.size();
    normal_->get_factoid_type(t.data(), len, mask);
    ASSERT_LE(len, t.size());
  }
}

}  // namespace
