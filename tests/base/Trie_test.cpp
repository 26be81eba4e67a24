#include "base/Trie.h"

#include <gtest/gtest.h>

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
typedef std::vector<unsigned> Keys;

Keys path_of(Keys keys) { return keys.push_back(kNone), keys; }

// Random paths of length 0..3 against a std::map keyed by the path (found
// flags, values, absent paths), on a deep copy of the trie built; then every
// level enumerated by TrieIter2, sorted and unsorted, against the reference.
TEST(TrieTest, MatchesAReferenceAndEnumeratesEveryLevel) {
  std::mt19937 rng(5);
  ContextTrie built;
  std::map<Keys, float> ref{{Keys(), 0.0f}};  // every node that exists -> bow
  for (int i = 0; i < 3000; i++) {
    Keys keys;
    for (size_t len = rng() % 4; len > 0; len--) keys.push_back(rng() % 2 ? rng() % 12 : (unsigned)rng() % 4000);
    bool existed = ref.count(keys) == 1, foundP = !existed;
    ContextTrie* node = built.insert_trie(path_of(keys).data(), foundP);
    ASSERT_EQ(foundP, existed);  // whether the final node existed
    for (size_t j = 0; j < keys.size(); j++) ref.emplace(Keys(keys.begin(), keys.begin() + j), 0.0f);
    node->value().bow = ref[keys] = (float)(i + 1);  // 0 on nodes made only as prefixes
    *node->value().probs.insert(i + 1) = -1.0f;
  }
  ContextTrie trie(built);
  built = ContextTrie();
  bool rootFound = false;
  EXPECT_TRUE(trie.find_trie(nullptr, rootFound) == &trie && rootFound && trie.insert(nullptr) == &trie.value());
  for (auto& kv : ref) {
    bool foundP = false;
    ContextNode* value = trie.find(path_of(kv.first).data(), foundP);
    ASSERT_TRUE(foundP && value != nullptr && value->bow == kv.second);
    ASSERT_TRUE(kv.second == 0.0f || *value->probs.find((unsigned)kv.second) == -1.0f);
    Keys longer = path_of(kv.first);
    longer.back() = 5000;  // never used as a key
    ASSERT_TRUE(trie.find_trie(path_of(longer).data(), foundP) == nullptr && !foundP);
  }
  for (unsigned level = 0; level <= 3; level++) {
    std::vector<Keys> expected, sorted;
    for (auto& kv : ref)
      if (kv.first.size() == level) expected.push_back(kv.first);  // map order = sorted paths
    Keys keys(level + 1, 12345u);
    TrieIter2<unsigned, ContextNode> iter(trie, keys.data(), level, SArray_compareKey<unsigned>);
    while (ContextTrie* node = iter.next())
      ASSERT_TRUE(keys[level] == kNone && node->value().bow == ref[sorted.emplace_back(keys.begin(), keys.begin() + level)]);
    EXPECT_EQ(sorted, expected) << "level " << level;
    TrieIter2<unsigned, ContextNode> plain(trie, keys.data(), level);
    for (int round = 0; round < 2; round++, plain.init()) {  // init() starts over
      std::multiset<Keys> unsorted;
      while (plain.next()) unsorted.insert(Keys(keys.begin(), keys.begin() + level));
      EXPECT_EQ(std::vector<Keys>(unsorted.begin(), unsorted.end()), expected);
    }
  }
}

}  // namespace
