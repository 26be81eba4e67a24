// Tests of the ambiguity rule dictionary ("UserAmbRule"): the line format
// with its odd corners (pieces of over-long lines, NULs, CR/LF, bad numbers,
// cuts inside a character), writer round trips and lookups against a map.
#include "dict/RuleDict.h"

#include <gtest/gtest.h>

#include <map>
#include <numeric>
#include <random>

#include "dict/BasicDict.h"
#include "dict/RuleDictWriter.h"
#include "support/temp_dir.h"

namespace {

// GBK characters.
const std::string ZHONG = "\xd6\xd0", GUO = "\xb9\xfa", REN = "\xc8\xcb", MIN = "\xc3\xf1";
const std::vector<int> kNone = {-1};

class RuleDictTest : public ::testing::Test {
 protected:
  bool Load(const std::string& text) {
    return dir_.write("UserAmbRule", text) && dict_.loadDict(dir_.file("UserAmbRule").c_str());
  }
  // The segment lengths of the rule of `key`, or {-1}.
  std::vector<int> Rule(const std::string& key) const {
    int v = dict_.m_ruledict.exactMatchSearch<int>(key.data(), key.size());
    if (v < 0) return kNone;
    std::vector<int> segs;
    for (const int* s = dict_.rule_sequence(v) + 1; *s != 0; s++) segs.push_back(*s);
    EXPECT_EQ(dict_.rule_sequence(v)[0], (int)key.size());
    return segs;
  }
  // The rule strings in the dictionary, by a walk over all of its keys.
  size_t RuleCount() const {
    size_t n = 0;
    auto count = [](void* ctx, uint32_t, size_t) { return ++*static_cast<size_t*>(ctx) > 0; };
    EXPECT_TRUE(DictTrieForEachKey(static_cast<const uint32_t*>(dict_.m_ruledict.array()),
                                   dict_.m_ruledict.size(), 65534, count, &n));
    return n;
  }

  lxtest::TempDir dir_{"lx_ruledict_"};
  CRuleDict dict_;
};

TEST_F(RuleDictTest, LineFormat) {
  const std::string four = ZHONG + GUO + REN + MIN;
  ASSERT_TRUE(Load(four + ",4,4\n" + ZHONG + GUO + ",2,2\r\n" +  // two-byte characters, CRLF
                   "#ab,1,1\n" "cd\n" "ef,1\n" "gh,1,2\n" "ij,\n"  // comment, no comma, bad sums
                   "kl,-1,3\n" "mn,99999999999999999999999\n" "\n" "   \n"
                   "op,1x,1y\n" "qr, 1,+1\n" "st,0,2\n" "uv,2,\n" "wx,,2\n"  // numbers stop at non-digits
                   + GUO + REN + ",1,3\n" + ZHONG + REN + ",3,1\n"  // cuts inside a character
                   + REN + "a" + MIN + ",2,1,2\n" "\xff\x80,2\n" "\x80\x41,1,1\n" "a\x81,1,1\n" +
                   std::string("yz\0,1,1\n", 8) + std::string("za,2\0,9\n", 8) +  // a NUL ends the text
                   std::string("\0ef,1,1\n", 8) + ",\n,0\n"  // empty strings are never stored
                   "ab,1,1\nab,2\n"                            // the first of equal strings counts
                   "ef,1,1"));                                 // the last line without an end
  const std::map<std::string, std::vector<int>> want = {
      {four, {4, 4}}, {ZHONG + GUO, {2, 2}}, {"op", {1, 1}}, {"qr", {1, 1}}, {"st", {2}},
      {"uv", {2}}, {"wx", {2}}, {REN + "a" + MIN, {2, 1, 2}}, {"\xff\x80", {2}},
      {"\x80\x41", {1, 1}}, {"a\x81", {1, 1}}, {"za", {2}}, {"ab", {1, 1}}, {"ef", {1, 1}}};
  for (const auto& w : want) EXPECT_EQ(Rule(w.first), w.second) << w.first;
  for (const std::string& absent : std::vector<std::string>{"#ab", "cd", "gh", "ij", "kl", "mn", "yz", "ab\r", ZHONG + REN, GUO + REN})
    EXPECT_EQ(Rule(absent), kNone) << absent;
  EXPECT_EQ(RuleCount(), want.size());
  // Per rule, in the byte order of the strings: length, segments, 0.
  ASSERT_TRUE(Load("abc,1,2\n" + ZHONG + GUO + ",2,2\nab,2\n"));
  EXPECT_EQ(std::vector<int>(dict_.m_rule_value.data(), dict_.m_rule_value.data() + dict_.m_rule_value.size()),
            (std::vector<int>{2, 2, 0, 3, 1, 2, 0, 4, 2, 2, 0}));
  EXPECT_EQ(Rule("ef"), kNone);  // the rules loaded before are gone
  EXPECT_NE(dict_.rule_sequence(0), nullptr);
  for (int v : {-1, 1, 2, 10, 11, 1 << 30}) EXPECT_EQ(dict_.rule_sequence(v), nullptr) << v;
}

TEST_F(RuleDictTest, OverlongLinesAreReadInPiecesOf1023Bytes) {
  std::string k1(1017, 'k');  // "k...,1017" and its line feed: one piece of 1023 bytes
  std::string k2(1018, 'm');  // "m...,1018": 1023 bytes; the line feed is a piece of its own
  std::string k3(1019, 'n');  // the first piece ends inside the number ("...,101")
  ASSERT_TRUE(Load(k1 + ",1017\n" + k2 + ",1018\n" + k3 + ",1019\n" + std::string(1023, 'x') + "ab,1,1\n"));
  EXPECT_EQ(Rule(k1), (std::vector<int>{1017}));
  EXPECT_EQ(Rule(k2), (std::vector<int>{1018}));
  EXPECT_EQ(Rule(k3), kNone);
  EXPECT_EQ(Rule("ab"), (std::vector<int>{1, 1}));  // a piece of its own after 1023 bytes
  EXPECT_EQ(RuleCount(), 3u);
}

TEST_F(RuleDictTest, MissingFileFailsAndKeepsTheRules) {
  Darts::DoubleArray::result_pair_type hits[4];
  EXPECT_FALSE(dict_.loadDict(dir_.file("absent").c_str()));
  EXPECT_EQ(dict_.m_ruledict.commonPrefixSearch("ab", hits, 4), 0u);  // never loaded: finds nothing
  ASSERT_TRUE(Load("ab,1,1\n"));
  EXPECT_FALSE(dict_.loadDict(dir_.file("absent").c_str()) || dict_.loadDict(nullptr));
  EXPECT_EQ(Rule("ab"), (std::vector<int>{1, 1}));
  ASSERT_TRUE(Load(""));
  EXPECT_EQ(dict_.m_ruledict.commonPrefixSearch("ab", hits, 4), 0u);
}

// Many rules (past the growth step of the parsed list) through the writer
// and the trie, looked up against a map with common-prefix searches.
TEST_F(RuleDictTest, WriterRoundTripAndPrefixSearchAgainstReference) {
  std::mt19937 rng(4);
  std::map<std::string, std::vector<int>> want;
  CRuleDictWriter writer;
  const std::string units[] = {"a", "b", "\xb0\xa1", "\xb0\xa2", "\xb1\xa1"};
  while (want.size() < 2500) {
    std::string key;
    std::vector<int> segs(1 + rng() % 3);
    for (int& seg : segs) seg = (int)(key += units[rng() % 5] + units[rng() % 5]).size() - std::accumulate(&segs[0], &seg, 0);
    ASSERT_TRUE(!want.emplace(key, segs).second || writer.add(key, segs));
  }
  ASSERT_TRUE(writer.write(dir_.file("UserAmbRule").c_str()) && dict_.loadDict(dir_.file("UserAmbRule").c_str()));
  EXPECT_EQ(RuleCount(), want.size());
  for (int q = 0; q < 3000; q++) {
    std::string text = std::next(want.begin(), rng() % want.size())->first + "\xb0\xa1" + "ab";
    std::vector<std::vector<int>> expected, got;
    for (size_t len = 1; len <= text.size(); len++)
      if (want.count(text.substr(0, len))) expected.push_back(want[text.substr(0, len)]);
    Darts::DoubleArray::result_pair_type hits[16];
    for (size_t k = 0, n = dict_.m_ruledict.commonPrefixSearch(text.data(), hits, 16, text.size()); k < n && k < 16; k++)
      got.push_back(Rule(text.substr(0, hits[k].length)));
    ASSERT_EQ(got, expected);
  }
}

TEST(RuleDictWriter, RefusesRulesTheReaderWouldNotGiveBack) {
  CRuleDictWriter w;
  const std::vector<std::pair<std::string, std::vector<int>>> bad = {
      {"", {}}, {"#ab", {1, 2}}, {"a,b", {1, 1, 1}}, {"a\nb", {1, 1, 1}}, {std::string("a\0b", 3), {3}},
      {"ab", {1}}, {"ab", {0, 2}}, {"\xd6\xd0", {1, 1}}, {std::string(1100, 'a'), {1100}}};
  for (const auto& r : bad) EXPECT_FALSE(w.add(r.first, r.second)) << r.first;
  EXPECT_TRUE(w.add("ab", {1, 1}));
  EXPECT_FALSE(w.add("ab", {2}));  // the reader keeps the first
  EXPECT_EQ(w.text(), "ab,1,1\n");
  lxtest::TempDir dir("lx_ruledict_");
  EXPECT_FALSE(w.write(dir.file("no/such/UserAmbRule").c_str()));
}

}  // namespace
