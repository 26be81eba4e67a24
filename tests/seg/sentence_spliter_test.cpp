// Sentence splitting: back lengths, and random texts (the underscore rule,
// cuts for length at character boundaries) against a reference splitter.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "seg/sentence_spliter.h"
#include "support/exact_text.h"

namespace {

const uint32_t kMax = 2048;
const std::string kZhong = "\xD6\xD0";     // 中

using Text = lxtest::ExactText;

void start(CSentenceSpliter& sp, const Text& t) {
  sp.m_paragraph = t.data();
  sp.m_paragraph_len = t.size();
  sp.m_paragraph_idx = 0;
}

TEST(SentenceSpliter, BackLengthOverTheWholeCutSentenceStillMovesOn) {
  std::string s;
  for (int i = 0; i < 20; ++i) s += kZhong;
  Text t(s);
  CSentenceSpliter sp(6);
  start(sp, t);
  uint32_t len = 0;
  ASSERT_EQ(sp.next_sentence(len, 0), t.data());
  EXPECT_EQ(sp.next_sentence(len, 6), t.data() + 2);
  EXPECT_EQ(len, 6u);
  EXPECT_EQ(sp.next_sentence(len, 100), t.data() + 4);
}

// ---------------------------------------------------------------------------
// Random texts against a reference splitter that decides character by
// character from the separators' byte strings and keeps no state but the
// position.

struct RefSentence { uint32_t len; bool truncated; uint32_t sep_len; };

bool ref_is_separator(const std::string& t, size_t i, size_t w) {
  static const char* const kSep[] = {"\t", "\n", "\r", " ", "!", ",", ";", "?", "_",
                                     "\xA1\xA1", "\xA1\xA3", "\xA1\xAD", "\xA3\xA1", "\xA3\xAC",
                                     "\xA3\xBA", "\xA3\xBB", "\xA3\xBF", "\xA3\xDF"};
  auto code_of = [](const unsigned char* p, size_t width) -> long {
    if (width == 1) return p[0];
    return p[0] >= 0xA1 ? (p[0] - 0xA1) * 94L + (p[1] - 0x20) : -1;
  };
  const long code = code_of(reinterpret_cast<const unsigned char*>(t.data() + i), w);
  if (code < 0 || code > 379) return false;
  for (const char* s : kSep) {
    if (code_of(reinterpret_cast<const unsigned char*>(s), std::string(s).size()) != code) continue;
    if (code != '_') return true;
    if (i > 0 && t[i - 1] > 0) return false;  // after an ASCII byte
    return !(i + 2 < t.size() && t[i + 1] > 0 && t[i + 1] != '\r');
  }
  return false;
}

RefSentence ref_next(const std::string& t, uint32_t start, uint32_t maxlen) {
  uint32_t i = start;
  while (i < t.size()) {
    const uint32_t w = (static_cast<unsigned char>(t[i]) >= 0x80 && i + 1 < t.size()) ? 2 : 1;
    if (ref_is_separator(t, i, w)) return {i - start, false, w};
    if (i > start && i - start + w > maxlen) return {i - start, true, 0};
    i += w;
  }
  return {i - start, false, 0};
}

std::string random_text(std::mt19937& rng, size_t n) {
  static const char* const kPieces[] = {"a", "Z", "_", "_", ",", " ", "\r", "\n", "\xD6\xD0", "\xA3\xAC",
                                        "\xA1\xA3", "\xA3\xDF", "\xA3\xC1", "\x81\x40", "\xA1\x4C"};
  std::string s;
  while (s.size() < n) {
    const uint32_t r = rng() % 100;
    if (r < 60) s += kPieces[rng() % 15];
    else if (r < 90) s += std::string(rng() % 300, r < 75 ? 'x' : '\xBA');  // runs reach the limit
    else s.push_back(static_cast<char>(rng() % 256));
  }
  return s;
}

TEST(SentenceSpliterRandom, MatchesReferenceAndRebuildsTheText) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 400; ++round) {
    const std::string s = random_text(rng, rng() % 9000);
    const uint32_t maxlen = (round % 4 == 0) ? rng() % 64 : kMax;  // 0 and 1 still take a character
    Text t(s);
    CSentenceSpliter sp(maxlen);
    start(sp, t);
    std::vector<bool> boundary(s.size() + 1, false);  // character starts
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
      if (back > 0) {
        ASSERT_EQ(rebuilt.substr(rebuilt.size() - back), std::string(p, back));
        rebuilt.resize(rebuilt.size() - back);
      }
      rebuilt.append(p, len);
      pos = begin + len;
      back = 0;
      uint32_t sl = 0;
      const char* sep = sp.get_spliter(sl);
      ASSERT_EQ(sl, ref.sep_len);
      if (sl) {
        ASSERT_EQ(sep, t.data() + pos);
        rebuilt.append(sep, sl);
        pos += sl;
      } else if (sp.m_btruncation) {
        // Withdraw a tail starting on a character boundary, as the token
        // saver does.
        std::vector<uint32_t> cuts;
        for (uint32_t q = begin + 1; q < pos; ++q)
          if (boundary[q]) cuts.push_back(pos - q);
        if (!cuts.empty() && rng() % 2) back = cuts[rng() % cuts.size()];
      }
    }
    ASSERT_EQ(pos, s.size());
    ASSERT_EQ(rebuilt, s) << round;
  }
}

}  // namespace
