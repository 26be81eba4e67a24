// Sentence splitting: separators, the underscore rule, the length cut at
// character boundaries, back lengths and arbitrary bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "seg/sentence_spliter.h"
#include "support/exact_text.h"

namespace {

const uint32_t kMax = 2048;

// One step of the driver loop: a sentence, how it ended, and its separator.
struct Piece {
  std::string sentence;
  bool truncated;
  std::string separator;  // empty when the sentence did not end at one
};

using Text = lxtest::ExactText;

void start(CSentenceSpliter& sp, const Text& t) {
  sp.m_paragraph = t.data();
  sp.m_paragraph_len = t.size();
  sp.m_paragraph_idx = 0;
}

// Splits the whole text as the driver does, never stepping back.
std::vector<Piece> split_all(const std::string& s, uint32_t maxlen = kMax) {
  Text t(s);
  CSentenceSpliter sp(maxlen);
  start(sp, t);
  std::vector<Piece> out;
  uint32_t len = 0;
  while (const char* p = sp.next_sentence(len, 0)) {
    EXPECT_GE(p, t.data());
    EXPECT_LE(p + len, t.data() + t.size());
    Piece piece{std::string(p, len), sp.m_btruncation, ""};
    if (!sp.m_btruncation) {
      uint32_t sl = 0;
      const char* sep = sp.get_spliter(sl);
      if (sl) piece.separator.assign(sep, sl);
    }
    out.push_back(piece);
    if (out.size() > 2 * s.size() + 2) {
      ADD_FAILURE() << "splitter does not make progress";
      break;
    }
  }
  return out;
}

std::string gbk(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

const std::string kZhong = "\xD6\xD0";       // 中
const std::string kFwComma = "\xA3\xAC";     // ，
const std::string kFullStop = "\xA1\xA3";    // 。

TEST(SentenceSpliterTable, SeparatorCodesAreMarked) {
  CSentenceSpliter sp(kMax);
  const uint32_t expected[] = {9, 10, 13, 32, 33, 44, 59, 63, 95, 129, 131, 141, 317, 328, 342, 343, 347, 379};
  std::vector<uint32_t> marked;
  for (uint32_t c = 0; c < CSentenceSpliter::m_sepbuf_size; ++c) {
    if (sp.m_seperator_code[c]) {
      EXPECT_EQ(sp.m_seperator_code[c], 1u);
      marked.push_back(c);
    }
  }
  EXPECT_EQ(marked, std::vector<uint32_t>(std::begin(expected), std::end(expected)));
  // The table of strings is in the documented order.
  EXPECT_STREQ(sp.m_seperator_char[0], "\t");
  EXPECT_STREQ(sp.m_seperator_char[8], "_");
  EXPECT_STREQ(sp.m_seperator_char[9], "\xA1\xA1");
  EXPECT_STREQ(sp.m_seperator_char[17], "\xA3\xDF");
  EXPECT_EQ(sp.m_sentence_maxlen, kMax);
  EXPECT_EQ(sp.m_seperator_char_len, 0u);
  EXPECT_EQ(sp.m_paragraph, nullptr);
}

TEST(SentenceSpliterTable, CharacterCodes) {
  auto code = [](const std::string& s) {
    return CSentenceSpliter::char_code(reinterpret_cast<const unsigned char*>(s.data()),
                                       static_cast<uint32_t>(s.size()));
  };
  EXPECT_EQ(code("\xA1\xA1"), 129);
  EXPECT_EQ(code(kFullStop), 131);
  EXPECT_EQ(code("\xA1\xAD"), 141);
  EXPECT_EQ(code("\xA3\xA1"), 317);
  EXPECT_EQ(code(kFwComma), 328);
  EXPECT_EQ(code("\xA3\xBA"), 342);
  EXPECT_EQ(code("\xA3\xBB"), 343);
  EXPECT_EQ(code("\xA3\xBF"), 347);
  EXPECT_EQ(code("\xA3\xDF"), 379);
  EXPECT_EQ(code("\xFF"), 255);
  EXPECT_EQ(code(std::string(1, '\0')), 0);
  EXPECT_EQ(code("\x81\x40"), -1);  // first byte below 0xA1: no code
  EXPECT_EQ(code("\xA0\xA1"), -1);
  EXPECT_EQ(code("\xA1\x05"), -1);  // the formula would be negative
  EXPECT_EQ(code(kZhong), (0xD6 - 0xA1) * 94 + (0xD0 - 0x20));
}

TEST(SentenceSpliter, SplitsAtSeparatorAndSavesIt) {
  Text t("ab,cd");
  CSentenceSpliter sp(kMax);
  start(sp, t);
  uint32_t len = 99;
  const char* s = sp.next_sentence(len, 0);
  ASSERT_EQ(s, t.data());
  EXPECT_EQ(len, 2u);
  EXPECT_EQ(sp.m_seperator_char_len, 1u);
  EXPECT_FALSE(sp.m_btruncation);
  uint32_t sl = 0;
  const char* sep = sp.get_spliter(sl);
  ASSERT_EQ(sep, t.data() + 2);
  EXPECT_EQ(sl, 1u);
  EXPECT_EQ(sp.m_paragraph_idx, 3u);
  // A second call has nothing left to hand out and does not move on.
  EXPECT_EQ(sp.get_spliter(sl), nullptr);
  EXPECT_EQ(sl, 0u);
  EXPECT_EQ(sp.m_paragraph_idx, 3u);

  // Back length 0: the next sentence starts right behind the separator.
  s = sp.next_sentence(len, 0);
  ASSERT_EQ(s, t.data() + 3);
  EXPECT_EQ(len, 2u);
  EXPECT_EQ(sp.m_seperator_char_len, 0u);
  EXPECT_EQ(sp.get_spliter(sl), nullptr);
  EXPECT_EQ(sl, 0u);
  EXPECT_EQ(sp.next_sentence(len, 0), nullptr);
  // Exhausted texts stay exhausted.
  EXPECT_EQ(sp.next_sentence(len, 0), nullptr);
}

TEST(SentenceSpliter, EmptyTextYieldsNothing) {
  CSentenceSpliter sp(kMax);
  uint32_t len = 7;
  EXPECT_EQ(sp.next_sentence(len, 0), nullptr);  // no paragraph set at all
  Text t("");
  start(sp, t);
  EXPECT_EQ(sp.next_sentence(len, 0), nullptr);
  EXPECT_EQ(len, 0u);
}

TEST(SentenceSpliter, EverySeparatorEndsASentence) {
  CSentenceSpliter table(kMax);
  for (uint32_t k = 0; k < CSentenceSpliter::m_sepchar_size; ++k) {
    const std::string sep = table.m_seperator_char[k];
    // An ASCII underscore between two ASCII letters joins them; put it
    // between Chinese characters to see it separate.
    const std::string left = sep == "_" ? kZhong : "x";
    const std::string right = sep == "_" ? kZhong : "y";
    const auto pieces = split_all(left + sep + right);
    ASSERT_EQ(pieces.size(), 2u) << k;
    EXPECT_EQ(pieces[0].sentence, left) << k;
    EXPECT_EQ(pieces[0].separator, sep) << k;
    EXPECT_EQ(pieces[1].sentence, right) << k;
    EXPECT_EQ(pieces[1].separator, "") << k;
  }
}

TEST(SentenceSpliter, SeparatorsInARowGiveEmptySentences) {
  const auto pieces = split_all(kFwComma + kFwComma);
  ASSERT_EQ(pieces.size(), 2u);
  for (const Piece& p : pieces) {
    EXPECT_EQ(p.sentence, "");
    EXPECT_EQ(p.separator, kFwComma);
    EXPECT_FALSE(p.truncated);
  }
  const auto mixed = split_all("a \r\n" + kFullStop + "b");
  ASSERT_EQ(mixed.size(), 5u);
  EXPECT_EQ(mixed[0].sentence, "a");
  EXPECT_EQ(mixed[0].separator, " ");
  EXPECT_EQ(mixed[1].separator, "\r");
  EXPECT_EQ(mixed[2].separator, "\n");
  EXPECT_EQ(mixed[3].separator, kFullStop);
  EXPECT_EQ(mixed[4].sentence, "b");
}

TEST(SentenceSpliter, UnderscoreRule) {
  struct Case {
    std::string text;
    std::vector<std::string> sentences;  // sentences, with "|" + separator appended
  };
  const Case cases[] = {
      // After an ASCII byte it is always ordinary.
      {"a_b", {"a_b"}},
      {"a_", {"a_"}},
      {"a_" + kZhong, {"a_" + kZhong}},
      // At the start of the text: ordinary before an ASCII byte when two more
      // bytes follow it.
      {"_ab", {"_ab"}},
      {"_a", {"|_", "a"}},
      {"_", {"|_"}},
      {"_" + kZhong, {"|_", kZhong}},
      {"_\rab", {"|_", "|\r", "ab"}},
      // After a non-ASCII byte or a NUL: the same test as at the start.
      {kZhong + "_ab", {kZhong + "_ab"}},
      {kZhong + "_" + kZhong, {kZhong + "|_", kZhong}},
      {kZhong + "_a", {kZhong + "|_", "a"}},
      {std::string("\0_ab", 4), {std::string("\0_ab", 4)}},
      {std::string("x\0_", 3) + kZhong, {std::string("x\0", 2) + "|_", kZhong}},
      // The byte before may belong to the previous separator.
      {"a," + std::string("_b"), {"a|,", "_b"}},
      {"a" + kFullStop + "_" + kZhong, {"a|" + kFullStop, "|_", kZhong}},
      {"a" + kFullStop + "_bc", {"a|" + kFullStop, "_bc"}},
      // The full-width underscore is always a separator.
      {"a\xA3\xDF" "b", {"a|\xA3\xDF", "b"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> got;
    for (const Piece& p : split_all(c.text)) {
      got.push_back(p.separator.empty() ? p.sentence : p.sentence + "|" + p.separator);
    }
    EXPECT_EQ(got, c.sentences) << testing::PrintToString(c.text);
  }
}

TEST(SentenceSpliter, TwoByteCharactersAreNeverSeparatedInside) {
  // A second byte that looks like an ASCII separator belongs to its character.
  auto pieces = split_all(gbk({0x81, ',', 'a'}));
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0].sentence.size(), 3u);
  pieces = split_all(gbk({0x80, ' ', 'a'}));
  ASSERT_EQ(pieces.size(), 1u);
  pieces = split_all(gbk({0xA0, 0xA1, 0xA1}));  // A0 A1 is one character, A1 stands alone
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0].sentence.size(), 3u);
  // Out of step by one byte, the same bytes hold a separator.
  pieces = split_all(gbk({'a', 0xA1, 0xA1}));
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0].separator, "\xA1\xA1");
}

TEST(SentenceSpliter, LastByteStandsAlone) {
  for (int b : {0x80, 0xA1, 0xA3, 0xD6, 0xFF}) {
    auto pieces = split_all(gbk({b}));
    ASSERT_EQ(pieces.size(), 1u) << b;
    EXPECT_EQ(pieces[0].sentence.size(), 1u);
    pieces = split_all(gbk({'a', ',', b}));
    ASSERT_EQ(pieces.size(), 2u) << b;
    EXPECT_EQ(pieces[1].sentence.size(), 1u);
  }
  // A lead byte before a separator takes the separator as its second byte.
  auto pieces = split_all(gbk({0xD6, ',', 'a'}));
  ASSERT_EQ(pieces.size(), 1u);
}

TEST(SentenceSpliter, CodesFollowTheFormulaForEveryHighFirstByte) {
  // Characters outside the usual GBK ranges whose code falls on a separator's
  // code end the sentence as that separator would, two bytes wide.
  for (const std::string& c : {gbk({0xA1, 0x4C}),    // code 44 (",")
                               gbk({0xA1, 0x40}),    // 32 (space)
                               gbk({0xA4, 0x43})}) {  // 317 (full-width "!")
    const auto pieces = split_all("a" + c + "b");
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].separator, c);
  }
  // Codes that would be negative or above the table are ordinary.
  for (const std::string& c : {gbk({0xA1, 0x05}), gbk({0xA1, 0x00}), gbk({0xFE, 0xFE}), gbk({0xA5, 0x40})}) {
    const auto pieces = split_all("a" + c + "b");
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].sentence.size(), 4u);
  }
}

TEST(SentenceSpliter, LongTextIsCutAtCharacterBoundaries) {
  // 5000 bytes without a separator: one ASCII byte puts the two-byte
  // characters on odd offsets, so a cut at exactly 2048 bytes would split one.
  std::string s = "a";
  while (s.size() + 2 <= 4999) s += kZhong;
  s += "b";
  ASSERT_EQ(s.size(), 5000u);
  const auto pieces = split_all(s);
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].sentence.size(), 2047u);
  EXPECT_EQ(pieces[1].sentence.size(), 2048u);
  EXPECT_EQ(pieces[2].sentence.size(), 905u);
  EXPECT_TRUE(pieces[0].truncated);
  EXPECT_TRUE(pieces[1].truncated);
  EXPECT_FALSE(pieces[2].truncated);
  EXPECT_EQ(pieces[0].sentence + pieces[1].sentence + pieces[2].sentence, s);
  // All ASCII: exact 2048-byte cuts.
  const auto ascii = split_all(std::string(5000, 'x'));
  ASSERT_EQ(ascii.size(), 3u);
  EXPECT_EQ(ascii[0].sentence.size(), 2048u);
  EXPECT_EQ(ascii[1].sentence.size(), 2048u);
  EXPECT_EQ(ascii[2].sentence.size(), 904u);
  // A sentence of exactly the maximum is not cut.
  const auto exact = split_all(std::string(2048, 'x'));
  ASSERT_EQ(exact.size(), 1u);
  EXPECT_FALSE(exact[0].truncated);
  // A separator right after the limit still ends the sentence at the cut.
  const auto at_limit = split_all(std::string(2048, 'x') + "," + "y");
  ASSERT_EQ(at_limit.size(), 2u);
  EXPECT_FALSE(at_limit[0].truncated);
  EXPECT_EQ(at_limit[0].separator, ",");
}

TEST(SentenceSpliter, CutDoesNotFetchASeparator) {
  Text t(std::string(10, 'x') + ",y");
  CSentenceSpliter sp(4);
  start(sp, t);
  uint32_t len = 0, sl = 9;
  ASSERT_NE(sp.next_sentence(len, 0), nullptr);
  EXPECT_EQ(len, 4u);
  EXPECT_TRUE(sp.m_btruncation);
  EXPECT_EQ(sp.get_spliter(sl), nullptr);
  EXPECT_EQ(sl, 0u);
  EXPECT_EQ(sp.m_paragraph_idx, 4u);
}

TEST(SentenceSpliter, BackLengthRereadsTheWithdrawnBytes) {
  std::string s;
  for (int i = 0; i < 40; ++i) s += kZhong + "ab";  // 4-byte groups, no separator
  Text t(s);
  CSentenceSpliter sp(16);
  start(sp, t);
  uint32_t len = 0;
  const char* first = sp.next_sentence(len, 0);
  ASSERT_EQ(first, t.data());
  ASSERT_EQ(len, 16u);
  ASSERT_TRUE(sp.m_btruncation);
  // Step back over the last "中ab" (4 bytes).
  const char* second = sp.next_sentence(len, 4);
  EXPECT_EQ(second, t.data() + 12);
  EXPECT_EQ(len, 16u);
  EXPECT_EQ(std::string(second, 4), kZhong + "ab");
}

TEST(SentenceSpliter, BackLengthOverTheWholeCutSentenceStillMovesOn) {
  std::string s;
  for (int i = 0; i < 20; ++i) s += kZhong;
  Text t(s);
  CSentenceSpliter sp(6);
  start(sp, t);
  uint32_t len = 0;
  ASSERT_EQ(sp.next_sentence(len, 0), t.data());
  ASSERT_EQ(len, 6u);
  // Withdrawing all 6 bytes would cut the same sentence again and again.
  const char* p = sp.next_sentence(len, 6);
  EXPECT_EQ(p, t.data() + 2);
  EXPECT_EQ(len, 6u);
  p = sp.next_sentence(len, 100);
  EXPECT_EQ(p, t.data() + 4);
}

TEST(SentenceSpliter, TinyMaximumStillTakesOneCharacter) {
  const auto pieces = split_all(kZhong + "a" + kZhong, 1);
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].sentence, kZhong);
  EXPECT_TRUE(pieces[0].truncated);
  EXPECT_EQ(pieces[1].sentence, "a");
  EXPECT_EQ(pieces[2].sentence, kZhong);
  EXPECT_EQ(split_all("abc", 0).size(), 3u);
}

TEST(SentenceSpliterDeathTest, BackLengthBeyondThePositionIsFatal) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  Text t("abc,def");
  CSentenceSpliter sp(kMax);
  start(sp, t);
  uint32_t len = 0;
  ASSERT_NE(sp.next_sentence(len, 0), nullptr);
  EXPECT_DEATH(sp.next_sentence(len, 5), "Assertion `start_idx < \\(uint32_t\\)\\(-1\\) - 10000' failed");
}

TEST(SentenceSpliter, PositionPastTheEndIsExhausted) {
  Text t("ab");
  CSentenceSpliter sp(kMax);
  start(sp, t);
  sp.m_paragraph_idx = 5;
  uint32_t len = 3;
  EXPECT_EQ(sp.next_sentence(len, 0), nullptr);
  EXPECT_EQ(len, 0u);
}

// ---------------------------------------------------------------------------
// Random texts against a reference splitter.

// The reference decides character by character from a list of the
// separators' byte strings, plus the formula-code coincidences, and keeps no
// state but the position.
struct RefSentence {
  uint32_t start, len;
  bool truncated;
  uint32_t sep_len;
};

bool ref_is_separator(const std::string& t, size_t i, size_t w) {
  static const char* const kSep[] = {"\t", "\n", "\r", " ", "!", ",", ";", "?", "_",
                                     "\xA1\xA1", "\xA1\xA3", "\xA1\xAD", "\xA3\xA1", "\xA3\xAC",
                                     "\xA3\xBA", "\xA3\xBB", "\xA3\xBF", "\xA3\xDF"};
  const unsigned char b0 = t[i];
  long code = -1;
  if (w == 1) {
    code = b0;
  } else if (b0 >= 0xA1) {
    code = (b0 - 0xA1) * 94L + (static_cast<unsigned char>(t[i + 1]) - 0x20);
  }
  if (code < 0 || code > 379) return false;
  for (const char* s : kSep) {
    const std::string sep(s);
    long sc = sep.size() == 1 ? static_cast<unsigned char>(sep[0])
                              : (static_cast<unsigned char>(sep[0]) - 0xA1) * 94L +
                                    (static_cast<unsigned char>(sep[1]) - 0x20);
    if (sc == code) {
      if (code != '_') return true;
      const bool ascii_before = i > 0 && t[i - 1] > 0 && static_cast<unsigned char>(t[i - 1]) < 0x80;
      if (ascii_before) return false;
      const bool joins = i + 2 < t.size() && t[i + 1] > 0 &&
                         static_cast<unsigned char>(t[i + 1]) < 0x80 && t[i + 1] != '\r';
      return !joins;
    }
  }
  return false;
}

RefSentence ref_next(const std::string& t, uint32_t start, uint32_t maxlen) {
  uint32_t i = start;
  while (i < t.size()) {
    const uint32_t w = (static_cast<unsigned char>(t[i]) >= 0x80 && i + 1 < t.size()) ? 2 : 1;
    if (ref_is_separator(t, i, w)) return {start, i - start, false, w};
    if (i > start && i - start + w > maxlen) return {start, i - start, true, 0};
    i += w;
  }
  return {start, i - start, false, 0};
}

std::string random_text(std::mt19937& rng, size_t n) {
  static const char* const kPieces[] = {"a", "b", "Z", "0", "_", "_", ",", " ", "\r", "\n", "!",
                                        "\xD6\xD0", "\xCE\xC4", "\xA3\xAC", "\xA1\xA3", "\xA3\xDF",
                                        "\xA3\xC1", "\x81\x40", "\xA1\x4C"};
  std::string s;
  while (s.size() < n) {
    const uint32_t r = rng() % 100;
    if (r < 60) {
      s += kPieces[rng() % (sizeof(kPieces) / sizeof(kPieces[0]))];
    } else if (r < 75) {
      s += std::string(rng() % 300, 'x');  // long runs reach the length limit
    } else if (r < 90) {
      for (int k = rng() % 200; k > 0; --k) s += "\xBA\xBA";
    } else {
      s.push_back(static_cast<char>(rng() % 256));
    }
  }
  return s;
}

TEST(SentenceSpliterRandom, MatchesReferenceAndKeepsInvariants) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 400; ++round) {
    const std::string s = random_text(rng, rng() % 9000);
    const uint32_t maxlen = (round % 4 == 0) ? 2 + rng() % 64 : kMax;
    Text t(s);
    CSentenceSpliter sp(maxlen);
    start(sp, t);

    // Character starts of the whole text, walked from its first byte.
    std::vector<bool> boundary(s.size() + 1, false);
    for (size_t i = 0; i < s.size();) {
      boundary[i] = true;
      i += (static_cast<unsigned char>(s[i]) >= 0x80 && i + 1 < s.size()) ? 2 : 1;
    }
    boundary[s.size()] = true;

    std::string rebuilt;  // sentences and separators, minus the re-read bytes
    uint32_t pos = 0, back = 0, len = 0;
    int steps = 0;
    while (const char* p = sp.next_sentence(len, back)) {
      ASSERT_LT(++steps, 20000) << "no progress";
      const uint32_t begin = static_cast<uint32_t>(p - t.data());
      ASSERT_EQ(begin, pos - back);
      const RefSentence ref = ref_next(s, begin, maxlen);
      ASSERT_EQ(len, ref.len) << round << " at " << begin;
      ASSERT_EQ(sp.m_btruncation, ref.truncated);
      ASSERT_EQ(sp.m_seperator_char_len, ref.sep_len);
      ASSERT_LE(len, maxlen);
      ASSERT_TRUE(boundary[begin + len]) << "sentence ends inside a character";
      if (back > 0) {
        // The withdrawn bytes come back first.
        ASSERT_EQ(rebuilt.substr(rebuilt.size() - back), std::string(p, back));
        rebuilt.resize(rebuilt.size() - back);
      }
      rebuilt.append(p, len);
      pos = begin + len;
      back = 0;
      if (sp.m_btruncation) {
        // Withdraw a tail that starts on a character boundary and leaves at
        // least one character, as the token saver does.
        std::vector<uint32_t> cuts;
        for (uint32_t q = begin + 1; q < pos; ++q)
          if (boundary[q]) cuts.push_back(pos - q);
        if (!cuts.empty() && rng() % 2) back = cuts[rng() % cuts.size()];
      } else {
        uint32_t sl = 0;
        const char* sep = sp.get_spliter(sl);
        ASSERT_EQ(sl, ref.sep_len);
        if (sl) {
          ASSERT_EQ(sep, t.data() + pos);
          rebuilt.append(sep, sl);
          pos += sl;
        }
      }
    }
    ASSERT_EQ(pos, s.size());
    ASSERT_EQ(rebuilt, s) << round;
  }
}

TEST(SentenceSpliterRandom, ArbitraryBytesStayInBounds) {
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    std::string s(rng() % 64, '\0');
    for (char& c : s) c = static_cast<char>(rng() % 256);
    const auto pieces = split_all(s, 1 + rng() % 8);
    std::string rebuilt;
    for (const Piece& p : pieces) rebuilt += p.sentence + p.separator;
    ASSERT_EQ(rebuilt, s);
  }
}

}  // namespace
