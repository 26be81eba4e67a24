#include "base/LHash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// A reference model of the table layout, written from the slot rules with
// 64-bit arithmetic: list form up to four slots, home slot = bits 30-b..29 of
// x * 1103515245 + 12345, linear probing, growth to the smallest power of two
// of at least n + 1 (n < 7) or (n + 2) / 0.8, re-placement in old slot order,
// removal with re-placement of the following run.  The table under test must
// put every key in exactly the slot the model does.

uint64_t model_hash(unsigned key) { return key; }
uint64_t model_hash(int key) { return (uint32_t)key; }
uint64_t model_hash(const std::string& key) {
  uint64_t x = 0;
  for (char c : key) x = 9 * x + (uint64_t)(int64_t)(signed char)c;
  return x;
}

template <class MK>
struct LayoutModel {
  std::vector<std::optional<MK>> slots;  // empty while there is no body
  unsigned bits = 0;
  unsigned n = 0;

  bool hashed() const { return !slots.empty() && bits >= 3; }
  unsigned home(const MK& key) const {
    uint64_t h = model_hash(key) * 1103515245ull + 12345ull;
    return (unsigned)((h >> (30 - bits)) & ((1ull << bits) - 1));
  }
  bool locate(const MK& key, unsigned& index) const {
    if (slots.empty()) {
      index = 0;
      return false;
    }
    if (!hashed()) {
      for (unsigned i = 0; i < n; i++)
        if (*slots[i] == key) return index = i, true;
      index = n;
      return false;
    }
    for (unsigned i = home(key);; i = (i + 1) % slots.size()) {
      if (!slots[i]) return index = i, false;
      if (*slots[i] == key) return index = i, true;
    }
  }
  void insert(const MK& key) {
    unsigned index;
    if (locate(key, index)) return;
    unsigned required = n < 7 ? n + 1 : (unsigned)((float)(n + 2) / 0.8f);
    if (slots.empty() || slots.size() < required) {
      unsigned newBits = 0;
      while ((1u << newBits) < required) newBits++;
      std::vector<std::optional<MK>> old;
      old.swap(slots);
      slots.assign(1u << newBits, std::nullopt);
      bits = newBits;
      if (!hashed()) {
        for (unsigned i = 0; i < n; i++) slots[i] = old[i];
      } else {
        for (auto& k : old) {
          if (!k) continue;
          unsigned to;
          locate(*k, to);
          slots[to] = k;
        }
      }
      locate(key, index);
    }
    slots[index] = key;
    n++;
  }
  void remove(const MK& key) {
    unsigned index;
    if (!locate(key, index)) return;
    slots[index].reset();
    if (!hashed()) {
      for (unsigned i = index + 1; i < n; i++) slots[i - 1] = slots[i];
      slots[n - 1].reset();
    } else {
      for (unsigned j = (index + 1) % slots.size(); slots[j]; j = (j + 1) % slots.size()) {
        unsigned to;
        if (!locate(*slots[j], to)) {
          slots[to] = slots[j];
          slots[j].reset();
        }
      }
    }
    n--;
  }
};


// Key generation and conversion between table keys and model keys.
template <class KeyT>
struct KeyKind;

template <>
struct KeyKind<unsigned> {
  typedef unsigned Model;
  // Dense small ids (as word ids are) mixed with values from the whole range.
  static std::vector<Model> pool(std::mt19937& rng, size_t n) {
    std::set<Model> keys;
    while (keys.size() < n) {
      unsigned k = rng() % 2 ? rng() % (4 * n) : (unsigned)rng();
      if (k != 0xFFFFFFFFu) keys.insert(k);
    }
    std::vector<Model> v(keys.begin(), keys.end());
    std::shuffle(v.begin(), v.end(), rng);
    return v;
  }
  static unsigned key(const Model& m) { return m; }
  static Model model(unsigned k) { return k; }
};

template <>
struct KeyKind<int> {
  typedef int Model;
  static std::vector<Model> pool(std::mt19937& rng, size_t n) {
    std::set<Model> keys;
    while (keys.size() < n) {
      int k = rng() % 2 ? (int)(rng() % (4 * n)) - (int)(2 * n) : (int)rng();
      if (k != INT_MIN) keys.insert(k);
    }
    std::vector<Model> v(keys.begin(), keys.end());
    std::shuffle(v.begin(), v.end(), rng);
    return v;
  }
  static int key(const Model& m) { return m; }
  static Model model(int k) { return k; }
};

template <>
struct KeyKind<const char*> {
  typedef std::string Model;
  // Short strings over ASCII letters and GBK-range bytes (negative as chars),
  // the empty string included.
  static std::vector<Model> pool(std::mt19937& rng, size_t n) {
    std::set<Model> keys;
    keys.insert("");
    while (keys.size() < n) {
      std::string s;
      size_t len = rng() % 7;
      for (size_t i = 0; i < len; i++)
        s += rng() % 2 ? (char)('a' + rng() % 5) : (char)(0x81 + rng() % 0x7E);
      keys.insert(s);
    }
    std::vector<Model> v(keys.begin(), keys.end());
    std::shuffle(v.begin(), v.end(), rng);
    return v;
  }
  static const char* key(const Model& m) { return m.c_str(); }
  static Model model(const char* k) { return k; }
};

template <class KeyT, class DataT>
void expect_layout(const LHash<KeyT, DataT>& table,
                   const LayoutModel<typename KeyKind<KeyT>::Model>& model) {
  ASSERT_EQ(table.num_slots(), model.slots.size());
  ASSERT_EQ(table.num_entries(), model.n);
  if (model.slots.empty()) return;
  const auto* slots = table.m_body->slots();
  for (size_t i = 0; i < model.slots.size(); i++) {
    if (model.slots[i]) {
      ASSERT_FALSE(Map_noKeyP(slots[i].key)) << "slot " << i;
      ASSERT_EQ(KeyKind<KeyT>::model(slots[i].key), *model.slots[i]) << "slot " << i;
    } else {
      ASSERT_TRUE(Map_noKeyP(slots[i].key)) << "slot " << i;
    }
  }
}

template <class KeyT>
class LHashRandomTest : public ::testing::Test {};
typedef ::testing::Types<unsigned, int, const char*> KeyTypes;
TYPED_TEST_SUITE(LHashRandomTest, KeyTypes);

// Random insert/find/remove sequences against std::unordered_map (contents)
// and the layout model (exact slots); sorted iteration against std::map order.
TYPED_TEST(LHashRandomTest, MatchesReferencesUnderRandomOperations) {
  typedef KeyKind<TypeParam> Kind;
  typedef typename Kind::Model Model;
  for (unsigned seed = 1; seed <= 3; seed++) {
    std::mt19937 rng(seed);
    std::vector<Model> pool = Kind::pool(rng, 150 * seed);
    LHash<TypeParam, int> table;
    LayoutModel<Model> model;
    std::map<Model, int> ref;
    for (int op = 0; op < 3000; op++) {
      const Model& m = pool[rng() % pool.size()];
      TypeParam key = Kind::key(m);
      // Alternate insert-heavy and remove-heavy phases so that tables grow,
      // shrink to few entries and grow again.
      unsigned insertShare = (op / 500) % 2 ? 3 : 7;
      unsigned r = rng() % 10;
      bool foundP = false;
      if (r < insertShare) {
        int* value = table.insert(key, foundP);
        ASSERT_NE(value, nullptr);
        ASSERT_EQ(foundP, ref.count(m) == 1);
        if (!foundP) {
          EXPECT_EQ(*value, 0);
        } else {
          EXPECT_EQ(*value, ref[m]);
        }
        *value = op;
        ref[m] = op;
        model.insert(m);
      } else {
        int* value = table.remove(key, foundP);
        ASSERT_EQ(foundP, ref.count(m) == 1);
        if (foundP) {
          ASSERT_NE(value, nullptr);
          EXPECT_EQ(*value, ref[m]);
          ref.erase(m);
          model.remove(m);
        } else {
          EXPECT_EQ(value, nullptr);
        }
      }

      ASSERT_EQ(table.num_entries(), ref.size());
      ASSERT_NO_FATAL_FAILURE(expect_layout(table, model)) << "after op " << op;
      for (const Model& probe : pool) {
        int* value = table.find(Kind::key(probe), foundP);
        auto it = ref.find(probe);
        ASSERT_EQ(foundP, it != ref.end());
        if (foundP) {
          ASSERT_NE(value, nullptr);
          ASSERT_EQ(*value, it->second);
        } else {
          ASSERT_EQ(value, nullptr);
        }
      }

      if (op % 250 == 0) {
        std::vector<Model> sorted;
        LHashIter<TypeParam, int> iter(table, SArray_compareKey<TypeParam>);
        TypeParam k;
        while (int* value = iter.next(k)) {
          sorted.push_back(Kind::model(k));
          EXPECT_EQ(*value, ref[Kind::model(k)]);
        }
        std::vector<Model> expected;
        for (auto& kv : ref) expected.push_back(kv.first);
        ASSERT_EQ(sorted, expected);
      }
    }
  }
}

// Many entries: the layout still matches after growth through 2^18 slots and
// after removing half of the keys.
TEST(LHashTest, LargeTableMatchesLayoutModel) {
  std::mt19937 rng(7);
  std::vector<unsigned> keys = KeyKind<unsigned>::pool(rng, 150000);
  LHash<unsigned, float> table;
  LayoutModel<unsigned> model;
  for (unsigned k : keys) {
    *table.insert(k) = (float)k;
    model.insert(k);
  }
  ASSERT_NO_FATAL_FAILURE(expect_layout(table, model));
  EXPECT_EQ(table.num_slots(), 1u << 18);  // (149999 + 2) / 0.8 = 187501.25
  for (size_t i = 0; i < keys.size(); i += 2) {
    ASSERT_NE(table.remove(keys[i]), nullptr);
    model.remove(keys[i]);
  }
  ASSERT_NO_FATAL_FAILURE(expect_layout(table, model));
  for (size_t i = 0; i < keys.size(); i++) {
    float* value = table.find(keys[i]);
    if (i % 2) {
      ASSERT_NE(value, nullptr);
      EXPECT_EQ(*value, (float)keys[i]);
    } else {
      EXPECT_EQ(value, nullptr);
    }
  }
}

TEST(LHashTest, GrowthSequenceForFirstEightKeys) {
  LHash<unsigned, float> table;
  EXPECT_EQ(table.num_slots(), 0u);
  EXPECT_EQ(table.m_body, nullptr);
  const unsigned expectedSlots[] = {1, 2, 4, 4, 8, 8, 8, 16};
  for (unsigned k = 1; k <= 8; k++) {
    bool foundP = true;
    float* value = table.insert(k, foundP);
    EXPECT_FALSE(foundP);
    EXPECT_EQ(*value, 0.0f);
    EXPECT_EQ(table.num_slots(), expectedSlots[k - 1]) << "after " << k << " keys";
    EXPECT_EQ(table.num_entries(), k);
  }
}

TEST(LHashTest, SlotCountsAtTheFillThresholds) {
  // 8 slots up to 7 entries, 16 up to 12, 32 up to 25, then 64.
  const struct {
    unsigned entries, slots;
  } cases[] = {{7, 8}, {8, 16}, {12, 16}, {13, 32}, {25, 32}, {26, 64}, {50, 64}, {51, 128}};
  for (const auto& c : cases) {
    LHash<int, int> table;
    for (unsigned i = 0; i < c.entries; i++) table.insert((int)i * 7 - 50);
    EXPECT_EQ(table.num_slots(), c.slots) << c.entries << " entries";
  }
}

TEST(LHashTest, ListFormKeepsInsertionOrderAndClosesGapsOnRemoval) {
  LHash<unsigned, int> table;
  for (unsigned k : {30u, 10u, 20u}) *table.insert(k) = (int)k;
  ASSERT_EQ(table.num_slots(), 4u);
  const auto* slots = table.m_body->slots();
  EXPECT_EQ(slots[0].key, 30u);
  EXPECT_EQ(slots[1].key, 10u);
  EXPECT_EQ(slots[2].key, 20u);
  EXPECT_TRUE(Map_noKeyP(slots[3].key));

  bool foundP = false;
  int* removed = table.remove(30u, foundP);
  EXPECT_TRUE(foundP);
  ASSERT_NE(removed, nullptr);
  EXPECT_EQ(*removed, 30);
  EXPECT_EQ(removed, table.m_removed_data);
  slots = table.m_body->slots();
  EXPECT_EQ(slots[0].key, 10u);
  EXPECT_EQ(slots[1].key, 20u);
  EXPECT_TRUE(Map_noKeyP(slots[2].key));
  EXPECT_EQ(*table.find(10u), 10);
  EXPECT_EQ(*table.find(20u), 20);
  EXPECT_EQ(table.num_slots(), 4u);  // tables never shrink
}

TEST(LHashTest, InsertingAnExistingKeyReturnsTheSameValue) {
  for (unsigned n : {3u, 40u}) {  // list form and hashed form
    LHash<unsigned, float> table;
    for (unsigned k = 0; k < n; k++) *table.insert(k * 3) = (float)k;
    bool foundP = false;
    float* first = table.find(6u, foundP);
    ASSERT_TRUE(foundP);
    float* again = table.insert(6u, foundP);
    EXPECT_TRUE(foundP);
    EXPECT_EQ(again, first);
    EXPECT_EQ(*again, 2.0f);
    EXPECT_EQ(table.num_entries(), n);
  }
}

// Home slot in a table of 2^bits slots, computed independently of the code.
unsigned home_slot(unsigned key, unsigned bits) {
  uint64_t h = (uint64_t)key * 1103515245ull + 12345ull;
  return (unsigned)((h >> (30 - bits)) & ((1ull << bits) - 1));
}

// Keys (counting up from `from`) whose home slot in a 2^bits table is `slot`.
std::vector<unsigned> keys_with_home(unsigned slot, unsigned bits, size_t count, unsigned from = 1) {
  std::vector<unsigned> keys;
  for (unsigned k = from; keys.size() < count; k++)
    if (home_slot(k, bits) == slot) keys.push_back(k);
  return keys;
}

TEST(LHashTest, RemovingInsideAProbeRunKeepsTheRestReachable) {
  // Three keys with home slot 5 in a 16-slot table occupy 5, 6, 7.
  std::vector<unsigned> run = keys_with_home(5, 4, 3);
  std::vector<unsigned> others;
  for (unsigned k = 1000; others.size() < 6; k++) {
    unsigned h = home_slot(k, 4);
    if (h < 3 || h > 9) others.push_back(k);  // far from the run
  }
  LHash<unsigned, int> table;
  for (unsigned k : others) *table.insert(k) = (int)k;
  for (unsigned k : run) *table.insert(k) = (int)k;
  ASSERT_EQ(table.num_slots(), 16u);
  unsigned index;
  for (unsigned i = 0; i < 3; i++) {
    ASSERT_TRUE(table._locate(run[i], index));
    ASSERT_EQ(index, 5 + i);
  }

  EXPECT_NE(table.remove(run[1]), nullptr);
  EXPECT_EQ(table.find(run[1]), nullptr);
  // The last key of the run moved up into the hole.
  ASSERT_TRUE(table._locate(run[2], index));
  EXPECT_EQ(index, 6u);
  ASSERT_TRUE(table._locate(run[0], index));
  EXPECT_EQ(index, 5u);
  for (unsigned k : others) EXPECT_EQ(*table.find(k), (int)k);
  EXPECT_EQ(*table.find(run[0]), (int)run[0]);
  EXPECT_EQ(*table.find(run[2]), (int)run[2]);

  // Removing the head of the run moves the other one to its home slot.
  EXPECT_NE(table.remove(run[0]), nullptr);
  ASSERT_TRUE(table._locate(run[2], index));
  EXPECT_EQ(index, 5u);
}

TEST(LHashTest, RemovalRePlacesAcrossTheEndOfTheTable) {
  // Two keys at home 15 of 16 slots: the second wraps to slot 0.
  std::vector<unsigned> wrap = keys_with_home(15, 4, 2);
  std::vector<unsigned> fill = keys_with_home(8, 4, 6);
  LHash<unsigned, int> table;
  for (unsigned k : fill) table.insert(k);
  for (unsigned k : wrap) table.insert(k);
  ASSERT_EQ(table.num_slots(), 16u);
  unsigned index;
  ASSERT_TRUE(table._locate(wrap[1], index));
  ASSERT_EQ(index, 0u);
  table.remove(wrap[0]);
  ASSERT_TRUE(table._locate(wrap[1], index));
  EXPECT_EQ(index, 15u);
  for (unsigned k : fill) EXPECT_NE(table.find(k), nullptr);
}

TEST(LHashTest, RemovingAnAbsentKey) {
  LHash<unsigned, int> table;
  bool foundP = true;
  EXPECT_EQ(table.remove(5u, foundP), nullptr);
  EXPECT_FALSE(foundP);
  EXPECT_NE(table.m_removed_data, nullptr);  // allocated by the first remove
  table.insert(5u);
  EXPECT_EQ(table.remove(6u, foundP), nullptr);
  EXPECT_FALSE(foundP);
  EXPECT_EQ(table.num_entries(), 1u);
}

TEST(LHashTest, StringKeysAreOwnedByTheTable) {
  char buffer[] = "abc";
  HashDict dict;
  *dict.insert(buffer) = 7;
  ASSERT_EQ(dict.num_slots(), 1u);
  EXPECT_NE(dict.m_body->slots()[0].key, buffer);
  buffer[0] = 'x';
  EXPECT_EQ(dict.find(buffer), nullptr);
  ASSERT_NE(dict.find("abc"), nullptr);
  EXPECT_EQ(*dict.find("abc"), 7);

  LHash<char*, int> mutableKeys;
  char other[] = "\xc4\xe3\xba\xc3";  // GBK bytes
  *mutableKeys.insert(other) = 3;
  other[1] = 'z';
  char probe[] = "\xc4\xe3\xba\xc3";
  ASSERT_NE(mutableKeys.find(probe), nullptr);
  EXPECT_EQ(*mutableKeys.find(probe), 3);
}

TEST(LHashTest, StringHashTreatsBytesAsSignedChars) {
  // Same keys, slot positions from the independent formula (x = 9x + c with c
  // in -128..127).  Six keys make a hashed table of 8 slots.
  std::vector<std::string> keys = {"\xb0\xa1", "\xd6\xd0\xce\xc4", "a", "ab", "\xff", "\x81\x40"};
  HashDict dict;
  LayoutModel<std::string> model;
  for (auto& k : keys) {
    dict.insert(k.c_str());
    model.insert(k);
  }
  ASSERT_EQ(dict.num_slots(), 8u);
  ASSERT_NO_FATAL_FAILURE(expect_layout(dict, model));
}

TEST(LHashTest, HeaderWordHoldsBitsAndCount) {
  LHash<unsigned, float> table;
  for (unsigned k = 0; k < 13; k++) table.insert(k);
  uint32_t header;
  std::memcpy(&header, table.m_body, sizeof header);
  EXPECT_EQ(header & 31u, 5u);   // 32 slots
  EXPECT_EQ(header >> 5, 13u);   // entries
  // The slots follow the header word directly when they need no more than
  // 4-byte alignment, and at their alignment otherwise.
  EXPECT_EQ(reinterpret_cast<const char*>(table.m_body->slots()) -
                reinterpret_cast<const char*>(table.m_body),
            4);
  EXPECT_EQ(table.body_bytes(), 4u + 32u * 8u);

  HashDict dict;
  dict.insert("x");
  EXPECT_EQ(reinterpret_cast<const char*>(dict.m_body->slots()) -
                reinterpret_cast<const char*>(dict.m_body),
            8);
}

TEST(LHashTest, ValuesAreAlignedForTheirType) {
  LHash<unsigned, long double> wide;
  LHash<int, double> doubles;
  for (unsigned k = 0; k < 40; k++) {
    long double* w = wide.insert(k);
    *w = k;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(w) % alignof(long double), 0u);
    double* d = doubles.insert((int)k - 20);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(d) % alignof(double), 0u);
  }
  for (unsigned k = 0; k < 40; k++) EXPECT_EQ(*wide.find(k), (long double)k);
}

// Values that own memory are constructed, moved and destroyed properly
// through growth, removal, copies and clear (the sanitizer build checks
// leaks and double frees).
TEST(LHashTest, ValuesOwningMemorySurviveGrowthRemovalAndCopies) {
  LHash<unsigned, LHash<unsigned, float>> nested;
  LHash<int, std::string> strings;
  for (unsigned k = 0; k < 100; k++) {
    LHash<unsigned, float>* inner = nested.insert(k);
    EXPECT_EQ(inner->num_entries(), 0u);
    for (unsigned j = 0; j <= k % 9; j++) *inner->insert(j) = (float)(k + j);
    *strings.insert((int)k) = std::string(40, (char)('a' + k % 26));
  }
  for (unsigned k = 0; k < 100; k += 3) {
    bool foundP = false;
    LHash<unsigned, float>* removed = nested.remove(k, foundP);
    ASSERT_TRUE(foundP);
    EXPECT_EQ(removed->num_entries(), k % 9 + 1);
    std::string* s = strings.remove((int)k);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(*s, std::string(40, (char)('a' + k % 26)));
  }
  LHash<unsigned, LHash<unsigned, float>> copy(nested);
  nested.clear();
  EXPECT_EQ(nested.num_entries(), 0u);
  for (unsigned k = 0; k < 100; k++) {
    LHash<unsigned, float>* inner = copy.find(k);
    if (k % 3 == 0) {
      EXPECT_EQ(inner, nullptr);
      continue;
    }
    ASSERT_NE(inner, nullptr);
    ASSERT_EQ(inner->num_entries(), k % 9 + 1);
    EXPECT_EQ(*inner->find(0u), (float)k);
    EXPECT_EQ(*strings.find((int)k), std::string(40, (char)('a' + k % 26)));
  }
  // The cleared table is usable again.
  *nested.insert(1u)->insert(2u) = 3.0f;
  EXPECT_EQ(*nested.find(1u)->find(2u), 3.0f);
}

TEST(LHashTest, CopiesAndMovesAreIndependent) {
  HashDict a;
  for (int i = 0; i < 20; i++) *a.insert(std::to_string(i).c_str()) = i;
  HashDict b(a);
  *b.insert("0") = 100;
  b.remove("1");
  EXPECT_EQ(*a.find("0"), 0);
  EXPECT_NE(a.find("1"), nullptr);
  EXPECT_EQ(b.num_slots(), a.num_slots());

  HashDict c;
  c = a;
  HashDict& alias = c;
  c = alias;  // self-assignment keeps the content
  EXPECT_EQ(c.num_entries(), 20u);
  HashDict d(std::move(c));
  EXPECT_EQ(c.num_entries(), 0u);
  EXPECT_EQ(*d.find("19"), 19);
  c = std::move(d);
  EXPECT_EQ(*c.find("19"), 19);
  EXPECT_EQ(d.m_body, nullptr);
}

// Tables are read concurrently after loading: lookups and unsorted iteration
// must leave every byte of the body as it was.
TEST(LHashTest, LookupsAndUnsortedIterationDoNotWriteTheTable) {
  LHash<unsigned, float> table;
  for (unsigned k = 0; k < 1000; k++) *table.insert(k * 17) = (float)k;
  std::vector<char> before(reinterpret_cast<const char*>(table.m_body),
                           reinterpret_cast<const char*>(table.m_body) + table.body_bytes());
  const LHash<unsigned, float>& view = table;
  unsigned index;
  for (unsigned k = 0; k < 20000; k++) {
    view.find(k);
    view._locate(k, index);
  }
  LHashIter<unsigned, float> iter(view);
  unsigned key;
  unsigned count = 0;
  while (iter.next(key)) count++;
  EXPECT_EQ(count, 1000u);
  EXPECT_EQ(std::memcmp(before.data(), table.m_body, before.size()), 0);
  EXPECT_EQ(table.m_removed_data, nullptr);
}

// --- LHashIter ---------------------------------------------------------------

TEST(LHashIterTest, UnsortedIterationFollowsSlotOrder) {
  LHash<unsigned, int> table;
  for (unsigned k = 0; k < 30; k++) *table.insert(k * 101) = (int)k;
  std::vector<unsigned> slotOrder;
  const auto* slots = table.m_body->slots();
  for (unsigned i = 0; i < table.num_slots(); i++)
    if (!Map_noKeyP(slots[i].key)) slotOrder.push_back(slots[i].key);
  std::vector<unsigned> seen;
  LHashIter<unsigned, int> iter(table);
  unsigned key;
  while (int* value = iter.next(key)) {
    EXPECT_EQ(*value * 101, (int)key);
    seen.push_back(key);
  }
  EXPECT_EQ(seen, slotOrder);
  // init() starts over.
  iter.init();
  ASSERT_NE(iter.next(key), nullptr);
  EXPECT_EQ(key, slotOrder[0]);
}

TEST(LHashIterTest, EmptyTables) {
  LHash<unsigned, int> empty;
  LHashIter<unsigned, int> iter(empty);
  unsigned key;
  EXPECT_EQ(iter.next(key), nullptr);
  LHashIter<unsigned, int> sorted(empty, SArray_compareKey<unsigned>);
  EXPECT_EQ(sorted.next(key), nullptr);
  empty.insert(1u);
  empty.remove(1u);  // a body without entries
  LHashIter<unsigned, int> again(empty);
  EXPECT_EQ(again.next(key), nullptr);
}

// Removing the entry just returned, under random tables of all sizes: every
// entry is returned exactly once and the survivors are exactly the others.
TEST(LHashIterTest, RemovingTheCurrentEntryVisitsEveryEntryOnce) {
  std::mt19937 rng(11);
  for (int round = 0; round < 400; round++) {
    size_t n = 1 + rng() % (round < 200 ? 12 : 300);
    std::vector<unsigned> keys = KeyKind<unsigned>::pool(rng, n);
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
      bool drop = removeShare == 0 || rng() % (removeShare + 1) == 0;
      if (drop) {
        ASSERT_NE(table.remove(key), nullptr);
      } else {
        kept.insert(key);
      }
    }
    ASSERT_EQ(visits.size(), keys.size()) << "round " << round;
    for (auto& kv : visits) ASSERT_EQ(kv.second, 1) << "key " << kv.first << " round " << round;
    ASSERT_EQ(table.num_entries(), kept.size());
    for (unsigned k : kept) ASSERT_NE(table.find(k), nullptr);
  }
}

TEST(LHashIterTest, RemovalPullingAWrappedEntryBackDoesNotRepeatIt) {
  // 8 slots: a and b have home 7, so b wraps to slot 0 and is returned
  // first; removing a (returned last) moves b into slot 7.
  std::vector<unsigned> wrap = keys_with_home(7, 3, 2);
  std::vector<unsigned> fill = keys_with_home(3, 3, 3);
  LHash<unsigned, int> table;
  for (unsigned k : wrap) table.insert(k);
  for (unsigned k : fill) table.insert(k);
  ASSERT_EQ(table.num_slots(), 8u);
  unsigned index;
  ASSERT_TRUE(table._locate(wrap[1], index));
  ASSERT_EQ(index, 0u);

  std::vector<unsigned> seen;
  LHashIter<unsigned, int> iter(table);
  unsigned key;
  while (iter.next(key)) {
    seen.push_back(key);
    if (key == wrap[0]) table.remove(key);
  }
  EXPECT_EQ(seen.size(), 5u);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), wrap[1]), 1);
  ASSERT_TRUE(table._locate(wrap[1], index));
  EXPECT_EQ(index, 7u);
}

TEST(LHashIterTest, SortedIterationIsAscendingOverTheWholeKeyRange) {
  LHash<unsigned, int> table;
  const unsigned keys[] = {0x90000000u, 0u, 5u, 0xFFFFFFFEu, 0x7FFFFFFFu, 0x80000000u, 3u};
  for (unsigned k : keys) table.insert(k);
  std::vector<unsigned> seen;
  LHashIter<unsigned, int> iter(table, SArray_compareKey<unsigned>);
  unsigned key;
  while (iter.next(key)) seen.push_back(key);
  std::vector<unsigned> expected(std::begin(keys), std::end(keys));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(seen, expected);

  EXPECT_LT(SArray_compareKey<unsigned>(0u, 0x90000000u), 0);
  EXPECT_GT(SArray_compareKey<int>(5, -5), 0);
  EXPECT_EQ(SArray_compareKey<unsigned>(9u, 9u), 0);
}

TEST(LHashIterTest, SortedIterationSkipsEntriesRemovedMeanwhile) {
  HashDict dict;
  const char* words[] = {"d", "b", "a", "e", "c", "f", "g"};
  for (const char* w : words) dict.insert(w);
  LHashIter<const char*, int> iter(dict, std::strcmp);
  const char* key;
  std::vector<std::string> seen;
  while (iter.next(key)) {
    seen.push_back(key);
    if (seen.size() == 1) {
      dict.remove("c");  // not yet visited
      dict.remove("a");  // the current one
    }
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "d", "e", "f", "g"}));
}

TEST(LHashIterTest, SortedStringIterationReturnsTheTablesKeys) {
  HashDict dict;
  for (const char* w : {"zz", "\xb0\xa1", "m", "a"}) dict.insert(w);
  std::vector<const char*> keys;
  {
    LHashIter<const char*, int> iter(dict, SArray_compareKey<const char*>);
    const char* key;
    while (iter.next(key)) keys.push_back(key);
  }
  // The iterator is gone; the keys still point into the table.
  ASSERT_EQ(keys.size(), 4u);
  EXPECT_STREQ(keys[0], "a");
  EXPECT_STREQ(keys[3], "\xb0\xa1");  // byte order: 0xB0 after 'z'
  unsigned index;
  ASSERT_TRUE(dict._locate("m", index));
  EXPECT_EQ(keys[1], dict.m_body->slots()[index].key);
}

// --- Fatal preconditions -----------------------------------------------------

TEST(LHashDeathTest, NoKeyValuesCannotBeKeys) {
  LHash<unsigned, float> table;
  EXPECT_DEATH(table.find(0xFFFFFFFFu), "LHash\\.h:[0-9]+: Assertion `!Map_noKeyP\\(key\\)' failed\\.");
  EXPECT_DEATH(table.insert(0xFFFFFFFFu),
               "LHash\\.h:[0-9]+: Assertion `!\\(Map_noKeyP\\(key\\)\\)' failed\\.");
  LHash<int, int> ints;
  EXPECT_DEATH(ints.insert(INT_MIN), "Assertion `!\\(Map_noKeyP\\(key\\)\\)' failed");
  HashDict dict;
  dict.insert("a");
  EXPECT_DEATH(dict.find(nullptr), "Assertion `!Map_noKeyP\\(key\\)' failed");
  EXPECT_DEATH(dict.remove(nullptr), "Assertion `!Map_noKeyP\\(key\\)' failed");
}

typedef LHash<unsigned, int> UIntTable;
typedef LHashIter<unsigned, int> UIntIter;

void iterate_after_removing_two(unsigned n) {
  UIntTable table;
  for (unsigned k = 1; k <= n; k++) table.insert(k);
  UIntIter iter(table);
  unsigned key;
  iter.next(key);
  table.remove(key);
  table.remove(key == 1 ? 2u : 1u);
  iter.next(key);
}

void iterate_after_inserting(unsigned n) {
  UIntTable table;
  for (unsigned k = 1; k <= n; k++) table.insert(k);
  UIntIter iter(table);
  unsigned key;
  iter.next(key);
  table.insert(1000u);
  iter.next(key);
}

TEST(LHashDeathTest, ChangingTheTableDuringIterationOtherThanByRemovingTheCurrentEntry) {
  const char* message =
      "LHash\\.h:[0-9]+: Assertion `m_my_lhash_body->m_nEntries == m_num_entries - 1' failed";
  EXPECT_DEATH(iterate_after_removing_two(20), message);
  EXPECT_DEATH(iterate_after_inserting(20), message);
  // 7 -> 8 entries grows the body: caught before the old one is read.
  EXPECT_DEATH(iterate_after_inserting(7), message);
}

}  // namespace
