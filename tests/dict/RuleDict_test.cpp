// Tests of the ambiguity rule dictionary ("UserAmbRule"): the line format
// with its odd corners (pieces of over-long lines, NULs, CR/LF, invalid GBK,
// bad numbers), lookups against a reference, and the sequences in
// m_rule_value that the ambiguity pass reads.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "dict/BasicDict.h"
#include "dict/RuleDict.h"
#include "dict/RuleDictWriter.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

class TempDir : public lxtest::TempDir {
 public:
  TempDir() : lxtest::TempDir("lx_ruledict_") { EXPECT_TRUE(ok()); }
};

// GBK characters.
const std::string ZHONG = "\xd6\xd0", GUO = "\xb9\xfa", REN = "\xc8\xcb", MIN = "\xc3\xf1";

class RuleDictTest : public ::testing::Test {
 protected:
  // Loads `text` as the rule file.
  bool Load(const std::string& text) {
    std::string path = dir_.file("UserAmbRule");
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    return dict_.loadDict(path.c_str());
  }

  // The rule of `key` as (segment lengths), or {-1} if `key` is no rule.
  std::vector<int> Rule(const std::string& key) const {
    int v = dict_.m_ruledict.exactMatchSearch<int>(key.data(), key.size());
    if (v < 0) return {-1};
    const int* seq = dict_.rule_sequence(v);
    EXPECT_NE(seq, nullptr);
    if (seq == nullptr) return {-2};
    EXPECT_EQ(seq[0], (int)key.size());
    std::vector<int> segs;
    for (const int* s = seq + 1; *s != 0; s++) segs.push_back(*s);
    return segs;
  }

  size_t RuleCount() const {
    size_t n = 0;
    auto count = [](void* ctx, uint32_t, size_t) {
      ++*static_cast<size_t*>(ctx);
      return true;
    };
    EXPECT_TRUE(DictTrieForEachKey(static_cast<const uint32_t*>(dict_.m_ruledict.array()),
                                   dict_.m_ruledict.size(), 65534, count, &n));
    return n;
  }

  TempDir dir_;
  CRuleDict dict_;
};

const std::vector<int> kNone = {-1};

TEST_F(RuleDictTest, ParsesRulesIntoLengthSequences) {
  // Four two-byte characters cut into two words of two characters.
  std::string four = ZHONG + GUO + REN + MIN;
  ASSERT_TRUE(Load(four + ",4,4\n" + ZHONG + GUO + ",2,2\nabc,1,2\n"));
  EXPECT_EQ(Rule(four), (std::vector<int>{4, 4}));
  EXPECT_EQ(Rule(ZHONG + GUO), (std::vector<int>{2, 2}));
  EXPECT_EQ(Rule("abc"), (std::vector<int>{1, 2}));
  EXPECT_EQ(Rule("ab"), kNone);
  EXPECT_EQ(RuleCount(), 3u);

  // m_rule_value holds, in the byte order of the strings (a prefix first):
  // length, segments, 0.
  std::vector<int> all(dict_.m_rule_value.data(), dict_.m_rule_value.data() + dict_.m_rule_value.size());
  EXPECT_EQ(all, (std::vector<int>{3, 1, 2, 0, 4, 2, 2, 0, 8, 4, 4, 0}));
}

TEST_F(RuleDictTest, SharedPrefixesAreFoundShortestFirst) {
  ASSERT_TRUE(Load(ZHONG + GUO + ",2,2\n" + ZHONG + GUO + REN + ",4,2\n" + ZHONG + GUO + REN + MIN + ",2,6\n"));
  std::string text = ZHONG + GUO + REN + MIN + "xyz";
  Darts::DoubleArray::result_pair_type hits[16];
  size_t n = dict_.m_ruledict.commonPrefixSearch(text.data(), hits, 16, text.size());
  ASSERT_EQ(n, 3u);
  EXPECT_EQ(hits[0].length, 4u);
  EXPECT_EQ(hits[1].length, 6u);
  EXPECT_EQ(hits[2].length, 8u);
  for (size_t k = 0; k < n; k++) EXPECT_EQ(dict_.rule_sequence(hits[k].value)[0], (int)hits[k].length);
}

TEST_F(RuleDictTest, SkipsCommentsAndMalformedLines) {
  ASSERT_TRUE(Load("#ab,1,1\n"          // a comment, commas or not
                   "cd\n"               // no comma
                   "ef,1\n"             // lengths add up to less
                   "gh,1,2\n"           // ... to more
                   "ij,\n"              // nothing after the comma
                   "kl,-1,3\n"          // a negative length
                   "mn,99999999999999999999999\n"  // a number far too large
                   "\n"
                   "   \n"
                   "op,1,1\n"));
  EXPECT_EQ(Rule("#ab"), kNone);
  EXPECT_EQ(Rule("cd"), kNone);
  EXPECT_EQ(Rule("ef"), kNone);
  EXPECT_EQ(Rule("gh"), kNone);
  EXPECT_EQ(Rule("ij"), kNone);
  EXPECT_EQ(Rule("kl"), kNone);
  EXPECT_EQ(Rule("mn"), kNone);
  EXPECT_EQ(Rule("op"), (std::vector<int>{1, 1}));
  EXPECT_EQ(RuleCount(), 1u);
}

TEST_F(RuleDictTest, NumbersStopAtTheFirstNonDigit) {
  ASSERT_TRUE(Load("ab,1x,1y\n"     // trailing garbage after digits
                   "cd, 1,+1\n"     // leading blank, plus sign
                   "ef,0,2\n"       // a zero-length segment cuts nothing
                   "gh,2,\n"        // a trailing comma
                   "ij,,2\n"));
  EXPECT_EQ(Rule("ab"), (std::vector<int>{1, 1}));
  EXPECT_EQ(Rule("cd"), (std::vector<int>{1, 1}));
  EXPECT_EQ(Rule("ef"), (std::vector<int>{2}));
  EXPECT_EQ(Rule("gh"), (std::vector<int>{2}));
  EXPECT_EQ(Rule("ij"), (std::vector<int>{2}));
}

TEST_F(RuleDictTest, LineEndsCrLfAndLfAndNone) {
  ASSERT_TRUE(Load("ab,1,1\r\ncd,2\nef,1,1"));  // the last line without an end
  EXPECT_EQ(Rule("ab"), (std::vector<int>{1, 1}));
  EXPECT_EQ(Rule("cd"), (std::vector<int>{2}));
  EXPECT_EQ(Rule("ef"), (std::vector<int>{1, 1}));
  EXPECT_EQ(Rule("ab\r"), kNone);
}

TEST_F(RuleDictTest, EmptyFileAndEmptyStrings) {
  ASSERT_TRUE(Load(""));
  EXPECT_EQ(RuleCount(), 0u);
  EXPECT_EQ(dict_.m_rule_value.size(), 0u);
  Darts::DoubleArray::result_pair_type hits[4];
  EXPECT_EQ(dict_.m_ruledict.commonPrefixSearch("abc", hits, 4), 0u);

  // ",": an empty string with nothing after the comma is a well-formed rule
  // of no use; it is accepted and never stored.
  rule_t r;
  ASSERT_TRUE(dict_._parse(",\n", r));
  EXPECT_STREQ(r.srule, "");
  EXPECT_TRUE(r.idx->empty());
  delete[] r.srule;
  delete r.idx;
  ASSERT_TRUE(Load(",\n,0\nab,2\n"));
  EXPECT_EQ(RuleCount(), 1u);
  EXPECT_EQ(Rule("ab"), (std::vector<int>{2}));
}

TEST_F(RuleDictTest, NulBytesEndTheLineText) {
  std::string text = std::string("ab\0,1,1\n", 8) +   // the comma is after the NUL: no rule
                     std::string("cd,2\0,9\n", 8) +   // "cd,2": a rule
                     std::string("\0ef,1,1\n", 8);    // empty text
  ASSERT_TRUE(Load(text));
  EXPECT_EQ(Rule("ab"), kNone);
  EXPECT_EQ(Rule("cd"), (std::vector<int>{2}));
  EXPECT_EQ(Rule("ef"), kNone);
  EXPECT_EQ(RuleCount(), 1u);
}

TEST_F(RuleDictTest, CutsInsideACharacterAreRefused) {
  ASSERT_TRUE(Load(ZHONG + GUO + ",1,3\n" +  // cuts 中 in half
                   ZHONG + GUO + ",3,1\n" +  // cuts 国 in half
                   REN + "a" + MIN + ",2,1,2\n" +
                   "\xff\x80,2\n" +          // not GBK, but walked as one character
                   "\x80\x41,1,1\n" +        // 0x80 is a single byte
                   "a\x81,1,1\n"));          // a lead byte at the very end is one byte
  EXPECT_EQ(Rule(ZHONG + GUO), kNone);
  EXPECT_EQ(Rule(REN + "a" + MIN), (std::vector<int>{2, 1, 2}));
  EXPECT_EQ(Rule("\xff\x80"), (std::vector<int>{2}));
  EXPECT_EQ(Rule("\x80\x41"), (std::vector<int>{1, 1}));
  EXPECT_EQ(Rule("a\x81"), (std::vector<int>{1, 1}));
}

TEST_F(RuleDictTest, OverlongLinesAreReadInPiecesOf1023Bytes) {
  std::string k1(1017, 'k');  // "k...,1017" and its line feed: 1023 bytes, one piece
  std::string k2(1018, 'm');  // "m...,1018": 1023 bytes; the line feed is a piece of its own
  std::string k3(1019, 'n');  // "n...,1019": the first piece ends in the number ("...,101")
  ASSERT_TRUE(Load(k1 + ",1017\n" + k2 + ",1018\n" + k3 + ",1019\n"));
  EXPECT_EQ(Rule(k1), (std::vector<int>{1017}));
  EXPECT_EQ(Rule(k2), (std::vector<int>{1018}));
  EXPECT_EQ(Rule(k3), kNone);
  EXPECT_EQ(RuleCount(), 2u);

  // 1023 bytes without a comma, then a rule: the rule is a piece of its own.
  std::string junk(1023, 'x');
  // 1023 bytes ending in a length cut in two: "...,10" and "20".
  std::string split = std::string(1020, 'y') + ",1020\n";
  ASSERT_TRUE(Load(junk + "ab,1,1\n" + split + "cd,2\n"));
  EXPECT_EQ(Rule("ab"), (std::vector<int>{1, 1}));
  EXPECT_EQ(Rule(std::string(1020, 'y')), kNone);
  EXPECT_EQ(Rule("cd"), (std::vector<int>{2}));
  EXPECT_EQ(RuleCount(), 2u);
}

TEST_F(RuleDictTest, FirstOfEqualStringsCounts) {
  ASSERT_TRUE(Load("ab,1,1\nab,2\ncd,2\nab,1,1\n"));
  EXPECT_EQ(Rule("ab"), (std::vector<int>{1, 1}));
  EXPECT_EQ(RuleCount(), 2u);
  EXPECT_EQ(dict_.m_rule_value.size(), 7u);  // no sequence for the later "ab" lines
}

TEST_F(RuleDictTest, MissingFileFailsAndKeepsTheRules) {
  ASSERT_TRUE(Load("ab,1,1\n"));
  EXPECT_FALSE(dict_.loadDict(dir_.file("absent").c_str()));
  EXPECT_FALSE(dict_.loadDict(nullptr));
  EXPECT_EQ(Rule("ab"), (std::vector<int>{1, 1}));
  EXPECT_EQ(dict_.m_idx, 0u);

  // A fresh dictionary, never loaded, is searchable and finds nothing.
  CRuleDict fresh;
  Darts::DoubleArray::result_pair_type hits[4];
  EXPECT_EQ(fresh.m_ruledict.commonPrefixSearch("ab", hits, 4), 0u);
  EXPECT_FALSE(fresh.loadDict(dir_.file("absent").c_str()));
  EXPECT_EQ(fresh.m_ruledict.commonPrefixSearch("ab", hits, 4), 0u);
}

TEST_F(RuleDictTest, ReloadReplacesTheRules) {
  ASSERT_TRUE(Load("ab,1,1\n"));
  ASSERT_TRUE(Load("cd,2\n"));
  EXPECT_EQ(Rule("ab"), kNone);
  EXPECT_EQ(Rule("cd"), (std::vector<int>{2}));
  EXPECT_EQ(dict_.m_rule_value.size(), 3u);
}

TEST_F(RuleDictTest, RuleSequenceRefusesValuesOutside) {
  ASSERT_TRUE(Load("ab,1,1\n"));
  // m_rule_value is {2, 1, 1, 0}.
  EXPECT_NE(dict_.rule_sequence(0), nullptr);
  for (int v : {-1, 2, 3, 4, 1 << 30}) EXPECT_EQ(dict_.rule_sequence(v), nullptr) << v;
}

// Many rules (past the growth step of the parsed list), looked up against a
// reference map with common-prefix searches.
TEST_F(RuleDictTest, ManyRulesAgainstReference) {
  std::mt19937 rng(4);
  std::map<std::string, std::vector<int>> want;
  CRuleDictWriter writer;
  std::string bad_lines;
  while (want.size() < 2500) {
    std::string key;
    std::vector<int> segs;
    for (int parts = 1 + (int)(rng() % 3); parts > 0; parts--) {
      int chars = 1 + (int)(rng() % 2);
      int len = 0;
      for (int c = 0; c < chars; c++) {
        if (rng() % 4 == 0) {
          key.push_back((char)('a' + rng() % 3));
          len += 1;
        } else {
          key.push_back((char)(0xB0 + rng() % 3));
          key.push_back((char)(0xA1 + rng() % 3));
          len += 2;
        }
      }
      segs.push_back(len);
    }
    if (want.count(key)) continue;
    want[key] = segs;
    ASSERT_TRUE(writer.add(key, segs));
  }
  std::string path = dir_.file("UserAmbRule");
  ASSERT_TRUE(writer.write(path.c_str()));
  ASSERT_TRUE(dict_.loadDict(path.c_str()));
  EXPECT_EQ(RuleCount(), want.size());
  for (auto& kv : want) ASSERT_EQ(Rule(kv.first), kv.second);

  for (int q = 0; q < 2000; q++) {
    auto it = want.begin();
    std::advance(it, rng() % want.size());
    std::string text = it->first + "\xb0\xa1" + "ab";
    std::vector<size_t> lengths;
    for (size_t len = 1; len <= text.size(); len++)
      if (want.count(text.substr(0, len))) lengths.push_back(len);
    Darts::DoubleArray::result_pair_type hits[16];
    size_t n = dict_.m_ruledict.commonPrefixSearch(text.data(), hits, 16, text.size());
    ASSERT_EQ(n, lengths.size());
    for (size_t k = 0; k < std::min<size_t>(n, 16); k++) {
      EXPECT_EQ(hits[k].length, lengths[k]);
      const int* seq = dict_.rule_sequence(hits[k].value);
      ASSERT_NE(seq, nullptr);
      EXPECT_EQ(seq[0], (int)lengths[k]);
    }
  }
}

TEST(RuleDictWriter, RefusesRulesTheReaderWouldNotGiveBack) {
  CRuleDictWriter w;
  EXPECT_FALSE(w.add("", {}));
  EXPECT_FALSE(w.add("#ab", {1, 2}));          // would be a comment
  EXPECT_FALSE(w.add("a,b", {1, 1, 1}));       // a comma in the string
  EXPECT_FALSE(w.add("a\nb", {1, 1, 1}));      // a line feed
  EXPECT_FALSE(w.add(std::string("a\0b", 3), {3}));
  EXPECT_FALSE(w.add("ab", {1}));              // does not add up
  EXPECT_FALSE(w.add("ab", {0, 2}));           // a zero length
  EXPECT_FALSE(w.add("\xd6\xd0", {1, 1}));     // cuts a character
  EXPECT_FALSE(w.add(std::string(1100, 'a'), {1100}));  // longer than a line
  EXPECT_TRUE(w.add("ab", {1, 1}));
  EXPECT_EQ(w.size(), 1u);
}

TEST(RuleDictWriter, FailedWriteLeavesNoFile) {
  TempDir dir;
  CRuleDictWriter w;
  ASSERT_TRUE(w.add("ab", {1, 1}));
  std::string missing = dir.file("no/such/UserAmbRule");
  EXPECT_FALSE(w.write(missing.c_str()));
  EXPECT_FALSE(fs::exists(missing));
}

}  // namespace
