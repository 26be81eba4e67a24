#include "base/Trie.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <random>
#include <set>
#include <vector>

namespace {

const unsigned kNone = 0xFFFFFFFFu;

// A node value that owns memory, shaped like the n-gram model's context nodes.
struct ContextNode {
  float bow;
  LHash<unsigned, float> probs;
};

typedef Trie<unsigned, ContextNode> ContextTrie;

std::vector<unsigned> path_of(const std::vector<unsigned>& keys) {
  std::vector<unsigned> p(keys);
  p.push_back(kNone);
  return p;
}

TEST(TrieTest, EmptyAndNullPathsDesignateTheNodeItself) {
  Trie<int, int> trie;
  EXPECT_EQ(trie.value(), 0);
  bool foundP = false;
  EXPECT_EQ(trie.find_trie(nullptr, foundP), &trie);
  EXPECT_TRUE(foundP);
  int empty[] = {INT_MIN};
  foundP = false;
  EXPECT_EQ(trie.insert_trie(empty, foundP), &trie);
  EXPECT_TRUE(foundP);
  *trie.insert(nullptr) = 4;
  EXPECT_EQ(trie.value(), 4);
  EXPECT_EQ(trie.num_entries(), 0u);
}

TEST(TrieTest, InsertCreatesThePathAndReportsTheFinalNode) {
  Trie<int, int> trie;
  int path[] = {3, -1, 7, INT_MIN};
  bool foundP = true;
  int* value = trie.insert(path, foundP);
  EXPECT_FALSE(foundP);
  EXPECT_EQ(*value, 0);
  *value = 201;
  // The intermediate nodes exist now, with zero values.
  int prefix[] = {3, -1, INT_MIN};
  int* mid = trie.find(prefix, foundP);
  ASSERT_TRUE(foundP);
  EXPECT_EQ(*mid, 0);
  foundP = true;
  trie.insert(prefix, foundP);
  EXPECT_TRUE(foundP);
  EXPECT_EQ(*trie.insert(path, foundP), 201);
  EXPECT_TRUE(foundP);
  int missing[] = {3, 8, INT_MIN};
  EXPECT_EQ(trie.find(missing, foundP), nullptr);
  EXPECT_FALSE(foundP);
  EXPECT_EQ(trie.num_entries(), 1u);
}

// Random paths of length 0..3 against a std::map keyed by the path; then every
// level enumerated by TrieIter2 (sorted) against the reference's paths.
TEST(TrieTest, MatchesAReferenceAndEnumeratesEveryLevel) {
  std::mt19937 rng(5);
  ContextTrie trie;
  std::map<std::vector<unsigned>, float> ref;  // every node that exists -> bow
  ref[{}] = 0.0f;
  for (int i = 0; i < 3000; i++) {
    std::vector<unsigned> keys;
    size_t len = rng() % 4;
    for (size_t j = 0; j < len; j++) keys.push_back(rng() % 2 ? rng() % 12 : (unsigned)rng() % 4000);
    std::vector<unsigned> p = path_of(keys);
    bool existed = ref.count(keys) == 1;
    bool foundP = !existed;
    ContextTrie* node = trie.insert_trie(p.data(), foundP);
    ASSERT_EQ(foundP, existed);
    for (size_t j = 0; j <= keys.size(); j++) {
      std::vector<unsigned> prefix(keys.begin(), keys.begin() + j);
      if (!ref.count(prefix)) ref[prefix] = 0.0f;
    }
    node->value().bow = (float)i;
    *node->value().probs.insert(keys.size()) = -1.0f;
    ref[keys] = (float)i;
  }
  // Lookups, present and absent.
  for (auto& kv : ref) {
    bool foundP = false;
    std::vector<unsigned> p = path_of(kv.first);
    ContextNode* value = trie.find(p.data(), foundP);
    ASSERT_TRUE(foundP);
    ASSERT_NE(value, nullptr);
    ASSERT_EQ(value->bow, kv.second);
    std::vector<unsigned> longer(kv.first);
    longer.push_back(5000);  // never used as a key
    std::vector<unsigned> q = path_of(longer);
    ASSERT_EQ(trie.find_trie(q.data(), foundP), nullptr);
    ASSERT_FALSE(foundP);
  }
  // Enumeration, level by level, in ascending key order at every depth.
  for (unsigned level = 0; level <= 3; level++) {
    std::vector<std::vector<unsigned>> expected;
    for (auto& kv : ref)
      if (kv.first.size() == level) expected.push_back(kv.first);  // map order = sorted paths
    std::vector<std::vector<unsigned>> seen;
    std::vector<unsigned> keys(level + 1, 12345u);
    TrieIter2<unsigned, ContextNode> iter(trie, keys.data(), level, SArray_compareKey<unsigned>);
    while (ContextTrie* node = iter.next()) {
      ASSERT_EQ(keys[level], kNone) << "level " << level;
      std::vector<unsigned> p(keys.begin(), keys.begin() + level);
      ASSERT_EQ(node->value().bow, ref[p]);
      seen.push_back(p);
    }
    EXPECT_EQ(seen, expected) << "level " << level;

    // Unsorted: the same set.
    std::set<std::vector<unsigned>> unsorted;
    TrieIter2<unsigned, ContextNode> plain(trie, keys.data(), level);
    while (plain.next()) unsorted.insert(std::vector<unsigned>(keys.begin(), keys.begin() + level));
    EXPECT_EQ(unsorted.size(), expected.size());
    EXPECT_EQ(std::vector<std::vector<unsigned>>(unsorted.begin(), unsorted.end()), expected);
  }
}

TEST(TrieTest, LevelZeroReturnsTheRootOnce) {
  Trie<int, int> trie;
  int keys[1] = {42};
  TrieIter2<int, int> iter(trie, keys, 0);
  EXPECT_EQ(iter.next(), &trie);
  EXPECT_EQ(keys[0], INT_MIN);
  EXPECT_EQ(iter.next(), nullptr);
  iter.init();
  EXPECT_EQ(iter.next(), &trie);
}

TEST(TrieTest, DeepLevelsSkipBranchesThatEndEarly) {
  Trie<int, int> trie;
  int a[] = {1, INT_MIN};        // ends at depth 1
  int b[] = {2, 5, INT_MIN};     // depth 2
  int c[] = {3, 6, 9, INT_MIN};  // depth 3
  *trie.insert(a) = 1;
  *trie.insert(b) = 2;
  *trie.insert(c) = 3;
  int keys[3];
  TrieIter2<int, int> iter(trie, keys, 2, SArray_compareKey<int>);
  Trie<int, int>* node = iter.next();
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(keys[0], 2);
  EXPECT_EQ(keys[1], 5);
  EXPECT_EQ(keys[2], INT_MIN);
  node = iter.next();
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(keys[0], 3);
  EXPECT_EQ(keys[1], 6);
  EXPECT_EQ(node->value(), 0);
  EXPECT_EQ(iter.next(), nullptr);
}

// The name-pattern use: values 200/201 on inner nodes, mode ids at the ends,
// later patterns overwriting shared nodes.
TEST(TrieTest, PatternTrieValues) {
  Trie<int, int> patterns;
  const std::vector<std::vector<int>> roles = {{2, 3}, {2, 3, 4}, {6}, {2, 5}};
  for (size_t p = 0; p < roles.size(); p++) {
    std::vector<int> path;
    for (size_t i = 0; i < roles[p].size(); i++) {
      path.push_back(roles[p][i]);
      std::vector<int> keys(path);
      keys.push_back(INT_MIN);
      int value = i + 1 == roles[p].size() ? (int)p : (i == 0 ? 200 : 201);
      *patterns.insert(keys.data()) = value;
    }
  }
  int b[] = {2, INT_MIN}, bc[] = {2, 3, INT_MIN}, bcd[] = {2, 3, 4, INT_MIN}, f[] = {6, INT_MIN};
  EXPECT_EQ(*patterns.find(b), 200);
  EXPECT_EQ(*patterns.find(bc), 201);  // pattern 1 overwrote pattern 0's end
  EXPECT_EQ(*patterns.find(bcd), 1);
  EXPECT_EQ(*patterns.find(f), 2);
}

// Many children force the child tables through growth, which moves child
// nodes with their subtrees; copies are deep.  (Leaks and double frees show
// in the sanitizer build.)
TEST(TrieTest, SubtreesSurviveGrowthCopiesAndDestruction) {
  ContextTrie trie;
  for (unsigned a = 0; a < 300; a++) {
    for (unsigned b = 0; b < 3; b++) {
      unsigned p[] = {a, b, kNone};
      ContextNode* node = trie.insert(p);
      node->bow = (float)(a * 10 + b);
      *node->probs.insert(a) = 1.0f;
    }
  }
  ContextTrie copy(trie);
  trie = ContextTrie();
  EXPECT_EQ(trie.num_entries(), 0u);
  EXPECT_EQ(copy.num_entries(), 300u);
  for (unsigned a = 0; a < 300; a++) {
    unsigned p[] = {a, 2, kNone};
    ContextNode* node = copy.find(p);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->bow, (float)(a * 10 + 2));
    EXPECT_EQ(*node->probs.find(a), 1.0f);
  }
  // Removing a child hands back its whole subtree.
  LHash<unsigned, ContextTrie>& children = copy.m_sub;
  ContextTrie* removed = children.remove(7u);
  ASSERT_NE(removed, nullptr);
  EXPECT_EQ(removed->num_entries(), 3u);
  EXPECT_EQ(copy.num_entries(), 299u);
}

}  // namespace
