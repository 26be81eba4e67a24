#include "base/LHash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <random>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// Random keys per key type: dense small values mixed with values from the
// whole range (negative ones for int); strings over ASCII letters and GBK-range
// bytes (negative as chars), the empty string included.
template <class KeyT>
using Model = std::conditional_t<std::is_same<KeyT, const char*>::value, std::string, KeyT>;

template <class KeyT>
std::vector<Model<KeyT>> key_pool(std::mt19937& rng, size_t n) {
  std::set<Model<KeyT>> keys;
  while (keys.size() < n) {
    if constexpr (std::is_same<KeyT, const char*>::value) {
      std::string s;
      for (size_t len = rng() % 7; len > 0; len--) s += rng() % 2 ? (char)('a' + rng() % 5) : (char)(0x81 + rng() % 0x7E);
      keys.insert(s);
    } else {
      KeyT k = rng() % 2 ? (KeyT)(rng() % (4 * n)) - (KeyT)(std::is_signed<KeyT>::value ? 2 * n : 0) : (KeyT)rng();
      if (!Map_noKeyP(k)) keys.insert(k);
    }
  }
  std::vector<Model<KeyT>> v(keys.begin(), keys.end());
  return std::shuffle(v.begin(), v.end(), rng), v;
}

const char* key_of(const std::string& s) { return s.c_str(); }
template <class KeyT>
KeyT key_of(KeyT k) { return k; }

template <class KeyT>
class LHashRandomTest : public ::testing::Test {};
typedef ::testing::Types<unsigned, int, const char*> KeyTypes;
TYPED_TEST_SUITE(LHashRandomTest, KeyTypes);

// Random insert/find/remove sequences against std::map: contents, found flags,
// removed values, unsorted iteration (every entry once) and sorted iteration
// (map order); a hashed table keeps room for (n + 1) / 0.8 entries.
TYPED_TEST(LHashRandomTest, MatchesAMapUnderRandomOperations) {
  typedef ::Model<TypeParam> Model;
  for (unsigned seed = 1; seed <= 3; seed++) {
    std::mt19937 rng(seed);
    std::vector<Model> pool = key_pool<TypeParam>(rng, 150 * seed);
    LHash<TypeParam, int> table;
    std::map<Model, int> ref;
    for (int op = 0; op < 3000; op++) {
      const Model& m = pool[rng() % pool.size()];
      // Insert-heavy and remove-heavy phases: tables grow, shrink and grow again.
      bool insert = rng() % 10 < ((op / 500) % 2 ? 3u : 7u);
      bool foundP = false;
      auto it = ref.find(m);
      if (insert) {
        int* value = table.insert(key_of(m), foundP);
        ASSERT_EQ(foundP, it != ref.end());
        ASSERT_EQ(*value, foundP ? it->second : 0);
        *value = ref[m] = op;
      } else {
        int* value = table.remove(key_of(m), foundP);
        ASSERT_TRUE(foundP == (it != ref.end()) && (value != nullptr) == foundP && (!foundP || *value == it->second));
        if (foundP) ref.erase(it);
      }
      ASSERT_EQ(table.num_entries(), ref.size());
      ASSERT_TRUE(ref.size() < 8 || table.num_slots() >= (unsigned)((float)(ref.size() + 1) / 0.8f));
      for (const Model& probe : pool) {
        int* value = table.find(key_of(probe), foundP);
        auto p = ref.find(probe);
        ASSERT_TRUE(foundP == (p != ref.end()) && (value != nullptr) == foundP && (!foundP || *value == p->second));
      }
      if (op % 100 == 0) {
        std::vector<Model> sorted, unsorted;
        TypeParam k;
        LHashIter<TypeParam, int> iter(table, SArray_compareKey<TypeParam>);
        while (int* value = iter.next(k)) ASSERT_EQ(*value, ref[sorted.emplace_back(k)]);
        LHashIter<TypeParam, int> plain(table);
        while (int* value = plain.next(k)) ASSERT_EQ(*value, ref[unsorted.emplace_back(k)]);
        std::vector<Model> expected;
        for (auto& kv : ref) expected.push_back(kv.first);
        ASSERT_EQ(sorted, expected);
        std::sort(unsorted.begin(), unsorted.end());
        ASSERT_EQ(unsorted, expected);
      }
    }
  }
}

// Removing the entry just returned, in random tables of all sizes: every entry
// is returned exactly once and the survivors are exactly the others.
TEST(LHashIterTest, RemovingTheCurrentEntryVisitsEveryEntryOnce) {
  std::mt19937 rng(11);
  for (int round = 0; round < 400; round++) {
    size_t n = 1 + rng() % (round < 200 ? 12 : 300);
    std::vector<unsigned> keys = key_pool<unsigned>(rng, n);
    LHash<unsigned, int> table;
    for (unsigned k : keys) *table.insert(k) = (int)(k & 0xFFFF);
    unsigned removeShare = rng() % 3;  // 0: all, 1: half, 2: a third
    std::map<unsigned, int> visits;
    std::set<unsigned> kept;
    LHashIter<unsigned, int> iter(table);
    unsigned key;
    while (int* value = iter.next(key)) {
      ASSERT_EQ(*value, (int)(key & 0xFFFF));
      visits[key]++;
      if (removeShare == 0 || rng() % (removeShare + 1) == 0) {
        ASSERT_NE(table.remove(key), nullptr);
      } else {
        kept.insert(key);
      }
    }
    ASSERT_EQ(visits.size(), keys.size()) << "round " << round;
    for (auto& kv : visits) ASSERT_EQ(kv.second, 1) << "key " << kv.first << " round " << round;
    ASSERT_EQ(table.num_entries(), kept.size());
    for (unsigned k : kept) ASSERT_NE(table.find(k), nullptr);
    size_t again = 0;
    for (iter.init(); iter.next(key);) again++;  // init() starts over on what is left
    ASSERT_EQ(again, kept.size());
  }
}

// Values owning memory through growth, removal, copies and moves (the
// sanitizer build checks leaks and double frees); string keys are copied.
TEST(LHashTest, OwningValuesCopiesAndMoves) {
  char buffer[] = "abc";
  HashDict dict;
  *dict.insert(buffer) = 7;
  buffer[0] = 'x';
  EXPECT_TRUE(dict.find(buffer) == nullptr && *dict.find("abc") == 7);
  LHash<int, std::string> strings;
  for (int k = 0; k < 100; k++) *strings.insert(k) = std::string(40, (char)('a' + k % 26));
  for (int k = 0; k < 100; k += 3) EXPECT_EQ(*strings.remove(k), std::string(40, (char)('a' + k % 26)));
  LHash<int, std::string> copy(strings), assigned;
  strings.clear();
  assigned = copy;
  assigned = static_cast<LHash<int, std::string>&>(assigned);  // self-assignment
  LHash<int, std::string> moved(std::move(copy));
  EXPECT_EQ(copy.num_entries() + strings.num_entries(), 0u);
  for (int k = 0; k < 100; k++)
    for (auto* table : {&assigned, &moved}) ASSERT_EQ(table->find(k) ? *table->find(k) : "", k % 3 ? std::string(40, (char)('a' + k % 26)) : "");
}

}  // namespace
