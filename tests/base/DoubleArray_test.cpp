// Tests of the darts-clone compatible double array: the recorded darts-clone
// fixtures (files, lookups and layout), builds compared byte for byte with
// those files, random key sets against a std::map reference, file I/O and
// its failure cases, validate() and the exception texts.
#include "base/DoubleArray.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

typedef Darts::DoubleArray DA;
typedef DA::result_pair_type Pair;

// --- Helpers ---------------------------------------------------------------

std::string DataPath(const std::string& name) {
  return std::string(LX_TEST_DATA_DIR) + "/da/" + name;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "da_test_" + std::to_string(::getpid()) + "_" + name;
}

// Removes the listed files when the test ends.
struct TempFiles {
  std::vector<std::string> paths;
  std::string add(const std::string& name) {
    paths.push_back(TempPath(name));
    return paths.back();
  }
  ~TempFiles() {
    for (const std::string& p : paths) std::remove(p.c_str());
  }
};

std::string Unhex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

std::vector<std::vector<std::string>> ReadTable(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  while (std::getline(in, line)) rows.push_back(SplitTabs(line));
  return rows;
}

std::string UnitsToBytes(const DA& da) {
  return std::string(static_cast<const char*>(da.array()), da.total_size());
}

std::uint32_t Unit(const std::string& bytes, std::size_t i) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data()) + 4 * i;
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void SetUnit(std::string& bytes, std::size_t i, std::uint32_t unit) {
  for (int b = 0; b < 4; ++b) bytes[4 * i + b] = static_cast<char>((unit >> (8 * b)) & 0xFF);
}

// Builds from std::strings with explicit lengths (values optional).
void Build(DA& da, const std::vector<std::string>& keys, const std::vector<int>* values) {
  std::vector<const char*> ptrs;
  std::vector<std::size_t> lengths;
  for (const std::string& k : keys) {
    ptrs.push_back(k.data());
    lengths.push_back(k.size());
  }
  ASSERT_EQ(0, da.build(keys.size(), ptrs.data(), lengths.data(),
                        values != nullptr ? values->data() : nullptr));
}

// Builds from NUL-terminated keys (lengths taken by the library).
void BuildNulTerminated(DA& da, const std::vector<std::string>& keys,
                        const std::vector<int>* values) {
  std::vector<const char*> ptrs;
  for (const std::string& k : keys) ptrs.push_back(k.c_str());
  ASSERT_EQ(0, da.build(keys.size(), ptrs.data(), nullptr,
                        values != nullptr ? values->data() : nullptr));
}

// Every (key, value) reachable from the root, found by trying all 255 bytes
// at every node: shows that the array holds exactly the dictionary and that
// no padding unit passes for a child. Also counts the node visits and the
// distinct bases, whose difference shows shared placements, and the NUL
// bytes that matched a unit (only the empty array's quirk allows that).
struct Walk {
  std::map<std::string, int> keys;
  std::size_t node_visits = 0;
  std::set<std::size_t> bases;
  std::size_t nul_matches = 0;
};

Walk WalkAll(const DA& da) {
  Walk walk;
  std::vector<std::pair<std::size_t, std::string>> stack(1, {0, std::string()});
  while (!stack.empty()) {
    const std::pair<std::size_t, std::string> top = stack.back();
    stack.pop_back();
    ++walk.node_visits;
    const std::size_t node = top.first;
    walk.bases.insert(node ^ Darts::Details::unit_offset(
                                 static_cast<const std::uint32_t*>(da.array())[node]));
    for (int c = 255; c >= 0; --c) {
      const char byte = static_cast<char>(c);
      std::size_t node_pos = node;
      std::size_t key_pos = 0;
      const int r = da.traverse(&byte, node_pos, key_pos, 1);
      if (r == -2) continue;
      if (c == 0) {
        ++walk.nul_matches;
        continue;
      }
      const std::string key = top.second + byte;
      if (r >= 0) walk.keys[key] = r;
      stack.push_back({node_pos, key});
    }
  }
  return walk;
}

// Reference answers from a sorted map.
class Reference {
 public:
  explicit Reference(const std::map<std::string, int>& dict) : dict_(dict) {
    prefixes_.insert(std::string());
    for (const auto& kv : dict_) {
      for (std::size_t i = 1; i <= kv.first.size(); ++i) prefixes_.insert(kv.first.substr(0, i));
    }
  }
  int exact(const std::string& q) const {
    auto it = dict_.find(q);
    return it == dict_.end() ? -1 : it->second;
  }
  std::vector<std::pair<int, std::size_t>> prefixes(const std::string& q) const {
    std::vector<std::pair<int, std::size_t>> out;
    for (std::size_t i = 1; i <= q.size() && prefixes_.count(q.substr(0, i)) != 0; ++i) {
      const int v = exact(q.substr(0, i));
      if (v >= 0) out.push_back({v, i});
    }
    return out;
  }
  // traverse from the root over q[0..end): result and key_pos.
  std::pair<int, std::size_t> traverse(const std::string& q) const {
    std::size_t i = 0;
    while (i < q.size() && prefixes_.count(q.substr(0, i + 1)) != 0) ++i;
    if (i < q.size()) return {-2, i};
    const int v = exact(q);
    return {v >= 0 ? v : -1, i};
  }

 private:
  std::map<std::string, int> dict_;
  std::set<std::string> prefixes_;
};

// Compares every search of `da` with the reference on one query.
void CheckQuery(const DA& da, const Reference& ref, const std::string& q, std::mt19937& rng) {
  SCOPED_TRACE("query hex " + ::testing::PrintToString(q));
  // exactMatchSearch, both forms. Explicit length, except for the empty
  // query, which is passed NUL-terminated.
  const int want = ref.exact(q);
  Pair pair;
  da.exactMatchSearch(q.c_str(), pair, q.size());
  EXPECT_EQ(want, pair.value);
  EXPECT_EQ(want >= 0 ? q.size() : 0u, pair.length);
  EXPECT_EQ(want, da.exactMatchSearch<int>(q.c_str(), q.size()));

  // commonPrefixSearch: all results, a one-element buffer, longest.
  const std::vector<std::pair<int, std::size_t>> want_prefixes = ref.prefixes(q);
  Pair results[8];
  const std::size_t n = da.commonPrefixSearch(q.c_str(), results, 8, q.size());
  ASSERT_EQ(want_prefixes.size(), n);
  for (std::size_t i = 0; i < std::min<std::size_t>(n, 8); ++i) {
    EXPECT_EQ(want_prefixes[i].first, results[i].value);
    EXPECT_EQ(want_prefixes[i].second, results[i].length);
  }
  int values[2] = {-7, -7};
  EXPECT_EQ(n, da.commonPrefixSearch(q.c_str(), values, 1, q.size()));
  EXPECT_EQ(n > 0 ? want_prefixes[0].first : -7, values[0]);
  EXPECT_EQ(-7, values[1]);
  const Pair longest = da.commonLongestPrefixSearch<Pair>(q.c_str(), q.size());
  EXPECT_EQ(n > 0 ? want_prefixes.back().first : -1, longest.value);
  EXPECT_EQ(n > 0 ? want_prefixes.back().second : 0u, longest.length);

  // traverse in one go, then in two pieces resumed from the returned node.
  const std::pair<int, std::size_t> want_traverse = ref.traverse(q);
  std::size_t node_pos = 0, key_pos = 0;
  const int r = da.traverse(q.data(), node_pos, key_pos, q.size());
  EXPECT_EQ(want_traverse.first, r);
  EXPECT_EQ(want_traverse.second, key_pos);
  if (q.empty()) return;
  const std::size_t split = std::uniform_int_distribution<std::size_t>(1, q.size())(rng);
  std::size_t node1 = 0, pos1 = 0;
  const int r1 = da.traverse(q.data(), node1, pos1, split);
  if (r1 == -2) {
    EXPECT_EQ(want_traverse.second, pos1);
    return;
  }
  // From the node reached after `split` bytes, the other searches see the
  // rest of the query with lengths counted from there.
  const std::string rest = q.substr(split);
  if (!rest.empty()) {
    Pair rest_pair = da.exactMatchSearch<Pair>(rest.data(), rest.size(), node1);
    EXPECT_EQ(want, rest_pair.value);
    std::size_t rest_n = da.commonPrefixSearch(rest.data(), results, 8, rest.size(), node1);
    std::size_t want_rest_n = 0;
    for (const auto& p : want_prefixes) want_rest_n += p.second > split;
    EXPECT_EQ(want_rest_n, rest_n);
  }
  const int r2 = da.traverse(q.data(), node1, pos1, q.size());
  EXPECT_EQ(r, r2);
  EXPECT_EQ(key_pos, pos1);
  EXPECT_EQ(node_pos, node1);
}

// --- Fixtures recorded from darts-clone ------------------------------------

struct Fixture {
  std::string name;
  std::vector<std::string> keys;
  std::vector<int> values;
  bool built_with_values;
};

Fixture LoadFixture(const std::string& name) {
  Fixture f;
  f.name = name;
  for (const auto& row : ReadTable(DataPath(name + ".keys.txt"))) {
    f.keys.push_back(Unhex(row.at(0)));
    f.values.push_back(std::stoi(row.at(1)));
  }
  // As the fixtures' README says: tiny and empty were built without values.
  f.built_with_values = name == "gbk200" || name == "extreme_values";
  return f;
}

// Checks every recorded answer of the fixture against `da`.
void CheckRecordedAnswers(const DA& da, const Fixture& f) {
  for (std::size_t i = 0; i < f.keys.size(); ++i) {
    const std::string& key = f.keys[i];
    SCOPED_TRACE(f.name + " key " + std::to_string(i));
    EXPECT_EQ(f.values[i], da.exactMatchSearch<int>(key.c_str()));
    int value = -5;
    da.exactMatchSearch(key.data(), value, key.size());
    EXPECT_EQ(f.values[i], value);
    const Pair pair = da.exactMatchSearch<Pair>(key.data(), key.size());
    EXPECT_EQ(f.values[i], pair.value);
    EXPECT_EQ(key.size(), pair.length);
    std::size_t node_pos = 0, key_pos = 0;
    EXPECT_EQ(f.values[i], da.traverse(key.c_str(), node_pos, key_pos));
    EXPECT_EQ(key.size(), key_pos);
  }

  for (const auto& row : ReadTable(DataPath(f.name + ".cps.txt"))) {
    const std::string q = Unhex(row.at(0));
    SCOPED_TRACE(f.name + " cps query " + row.at(0));
    std::vector<std::pair<int, std::size_t>> want;
    if (row.size() > 2 && !row[2].empty()) {
      std::istringstream items(row[2]);
      std::string item;
      while (items >> item) {
        const std::size_t colon = item.find(':');
        want.push_back({std::stoi(item.substr(0, colon)),
                        static_cast<std::size_t>(std::stoul(item.substr(colon + 1)))});
      }
    }
    const std::size_t want_count = std::stoul(row.at(1));
    ASSERT_EQ(want.size(), want_count);
    Pair results[64];
    EXPECT_EQ(want_count, da.commonPrefixSearch(q.c_str(), results, 64, q.size()));
    for (std::size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(want[i].first, results[i].value);
      EXPECT_EQ(want[i].second, results[i].length);
    }
    // A one-result buffer still gets the true count, and only one result.
    Pair one[2] = {{-9, 99}, {-9, 99}};
    EXPECT_EQ(want_count, da.commonPrefixSearch(q.c_str(), one, 1, q.size()));
    if (!want.empty()) {
      EXPECT_EQ(want[0].first, one[0].value);
      EXPECT_EQ(want[0].second, one[0].length);
    } else {
      EXPECT_EQ(-9, one[0].value);
    }
    EXPECT_EQ(-9, one[1].value);
    EXPECT_EQ(want_count, da.commonPrefixSearch<Pair>(q.c_str(), nullptr, 0, q.size()));
    const Pair longest = da.commonLongestPrefixSearch<Pair>(q.c_str(), q.size());
    EXPECT_EQ(want.empty() ? -1 : want.back().first, longest.value);
    EXPECT_EQ(want.empty() ? 0u : want.back().second, longest.length);
  }

  for (const auto& row : ReadTable(DataPath(f.name + ".probe.txt"))) {
    ASSERT_EQ(6u, row.size());
    const std::string q = Unhex(row[0]);
    SCOPED_TRACE(f.name + " probe query " + row[0]);
    const Pair pair = da.exactMatchSearch<Pair>(q.c_str(), q.size());
    EXPECT_EQ(std::stoi(row[1]), pair.value);
    EXPECT_EQ(std::stoul(row[2]), pair.length);
    std::size_t node_pos = 0, key_pos = 0;
    EXPECT_EQ(std::stoi(row[3]), da.traverse(q.c_str(), node_pos, key_pos, q.size()));
    EXPECT_EQ(std::stoul(row[4]), node_pos);
    EXPECT_EQ(std::stoul(row[5]), key_pos);
  }
}

class DoubleArrayFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(DoubleArrayFixture, OpenedFileAnswersAsRecorded) {
  const Fixture f = LoadFixture(GetParam());
  const std::string bytes = ReadFile(DataPath(f.name + ".da"));
  DA da;
  ASSERT_EQ(0, da.open(DataPath(f.name + ".da").c_str()));
  EXPECT_EQ(bytes.size() / 4, da.size());
  EXPECT_EQ(4u, da.unit_size());
  EXPECT_EQ(bytes.size(), da.total_size());
  EXPECT_EQ(da.size(), da.nonzero_size());
  EXPECT_EQ(bytes, UnitsToBytes(da));
  EXPECT_TRUE(da.validate());
  CheckRecordedAnswers(da, f);
}

TEST_P(DoubleArrayFixture, BuildReproducesFileByteForByte) {
  const Fixture f = LoadFixture(GetParam());
  const std::string bytes = ReadFile(DataPath(f.name + ".da"));
  const std::vector<int>* values = f.built_with_values ? &f.values : nullptr;
  DA da;
  Build(da, f.keys, values);
  EXPECT_EQ(bytes, UnitsToBytes(da));
  CheckRecordedAnswers(da, f);

  DA nul_terminated;
  BuildNulTerminated(nul_terminated, f.keys, values);
  EXPECT_EQ(bytes, UnitsToBytes(nul_terminated));

  const Walk walk = WalkAll(da);
  std::map<std::string, int> dict;
  for (std::size_t i = 0; i < f.keys.size(); ++i) dict[f.keys[i]] = f.values[i];
  EXPECT_EQ(dict, walk.keys);
  if (!f.keys.empty()) {
    EXPECT_EQ(0u, walk.nul_matches);
  }
}

INSTANTIATE_TEST_SUITE_P(Recorded, DoubleArrayFixture,
                         ::testing::Values("tiny", "gbk200", "extreme_values", "empty"));

TEST(DoubleArrayLayout, DistinctValuesGiveTheSameLayoutWithAndWithoutValues) {
  // tiny was built without values; with its index values 0..4 the DAWG path
  // merges nothing and must give the same file.
  const Fixture tiny = LoadFixture("tiny");
  DA with_values;
  Build(with_values, tiny.keys, &tiny.values);
  EXPECT_EQ(ReadFile(DataPath("tiny.da")), UnitsToBytes(with_values));

  // gbk200 was built with values 1000 + i; without values only the leaf
  // units differ, by 1000.
  const Fixture gbk = LoadFixture("gbk200");
  const std::string bytes = ReadFile(DataPath("gbk200.da"));
  DA plain;
  Build(plain, gbk.keys, nullptr);
  const std::string plain_bytes = UnitsToBytes(plain);
  ASSERT_EQ(bytes.size(), plain_bytes.size());
  std::size_t leaves = 0;
  for (std::size_t i = 0; i < plain.size(); ++i) {
    const std::uint32_t unit = Unit(plain_bytes, i);
    if (unit & 0x80000000u) {
      ++leaves;
      EXPECT_EQ(unit + 1000, Unit(bytes, i)) << "unit " << i;
    } else {
      EXPECT_EQ(unit, Unit(bytes, i)) << "unit " << i;
    }
  }
  EXPECT_EQ(gbk.keys.size(), leaves);
}

TEST(DoubleArrayLayout, EqualValuedSuffixesShareBases) {
  // In extreme_values the nodes "b", "c" and "h" (suffix "at", value 0)
  // share one base; built without values, nothing is shared.
  const Fixture f = LoadFixture("extreme_values");
  DA shared;
  Build(shared, f.keys, &f.values);
  const std::uint32_t* units = static_cast<const std::uint32_t*>(shared.array());
  std::set<std::size_t> bases;
  for (const char* word : {"b", "c", "h"}) {
    std::size_t node_pos = 0, key_pos = 0;
    ASSERT_EQ(-1, shared.traverse(word, node_pos, key_pos));
    bases.insert(node_pos ^ Darts::Details::unit_offset(units[node_pos]));
  }
  EXPECT_EQ(std::set<std::size_t>{98}, bases);

  const Walk walk = WalkAll(shared);
  EXPECT_GT(walk.node_visits, walk.bases.size());
  DA plain;
  Build(plain, f.keys, nullptr);
  const Walk plain_walk = WalkAll(plain);
  EXPECT_EQ(plain_walk.node_visits, plain_walk.bases.size());
}

TEST(DoubleArrayLayout, EmptyArrayQuirkIsKept) {
  // darts-clone never marks the empty root's base 1 as used, so the padding
  // of block 0 is computed with u = 1 and every first byte (NUL included)
  // reaches a padding unit that looks like a child, though never like a key.
  DA da;
  ASSERT_EQ(0, da.build(0, nullptr));
  EXPECT_EQ(ReadFile(DataPath("empty.da")), UnitsToBytes(da));
  EXPECT_TRUE(da.validate());
  const Walk walk = WalkAll(da);
  EXPECT_TRUE(walk.keys.empty());
  // The root, and the padding units reached by the bytes 2-255 (byte 1
  // leads to the root's own unit, byte 0 to unit 1, which is not pushed).
  EXPECT_EQ(255u, walk.node_visits);
  EXPECT_EQ(1u, walk.nul_matches);
  std::size_t node_pos = 0, key_pos = 0;
  EXPECT_EQ(-1, da.traverse("a", node_pos, key_pos));
  EXPECT_EQ(96u, node_pos);
  for (int c = 1; c < 256; ++c) {
    const std::string q(1, static_cast<char>(c));
    EXPECT_EQ(-1, da.exactMatchSearch<int>(q.c_str()));
    EXPECT_EQ(0u, da.commonPrefixSearch<int>(q.c_str(), nullptr, 0));
  }
}

TEST(DoubleArrayLayout, SecondNamespaceOffersTheSameArray) {
  Darts2::DoubleArray da;
  ASSERT_EQ(0, da.open(DataPath("gbk200.da").c_str()));
  const Fixture f = LoadFixture("gbk200");
  EXPECT_EQ(f.values[7], da.exactMatchSearch<Darts2::DoubleArray::result_type>(f.keys[7].c_str()));
  try {
    const char* keys[] = {"b", "a"};
    da.build(2, keys);
    ADD_FAILURE() << "no exception";
  } catch (const Darts2::Details::Exception& e) {
    EXPECT_NE(nullptr, std::strstr(e.what(), "wrong key order"));
  }
}

// --- Random key sets against the reference --------------------------------

enum class KeyKind { kGbk, kAscii, kAnyByte };
enum class ValueKind { kNone, kDistinct, kFew };

std::vector<std::string> RandomKeys(KeyKind kind, std::size_t n, std::mt19937& rng) {
  std::set<std::string> keys;
  auto byte = [&](int lo, int hi) {
    return static_cast<char>(std::uniform_int_distribution<int>(lo, hi)(rng));
  };
  while (keys.size() < n) {
    std::string key;
    switch (kind) {
      case KeyKind::kGbk: {
        // A narrow character range gives many shared prefixes; some ASCII
        // words are mixed in, as in a real dictionary.
        if (rng() % 10 == 0) {
          for (int i = 1 + rng() % 5; i > 0; --i) key += byte('a', 'f');
        } else {
          for (int i = 1 + rng() % 4; i > 0; --i) {
            key += byte(0xB0, 0xB6);
            key += byte(0xA1, 0xB0);
          }
        }
        break;
      }
      case KeyKind::kAscii:
        for (int i = 1 + rng() % 8; i > 0; --i) key += byte('a', 'e');
        break;
      case KeyKind::kAnyByte:
        for (int i = 1 + rng() % 6; i > 0; --i) key += byte(rng() % 3 == 0 ? 0xF8 : 1, 0xFF);
        break;
    }
    keys.insert(key);
  }
  return std::vector<std::string>(keys.begin(), keys.end());
}

void CheckRandomSet(KeyKind key_kind, ValueKind value_kind, std::uint32_t seed) {
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  const std::vector<std::string> keys = RandomKeys(key_kind, 3000, rng);
  std::vector<int> values(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    switch (value_kind) {
      case ValueKind::kNone: values[i] = static_cast<int>(i); break;
      case ValueKind::kDistinct: values[i] = static_cast<int>(i * 7919 % 2147483647u) + (i == 5 ? 2147000000 : 0); break;
      case ValueKind::kFew: values[i] = rng() % 3 == 0 ? 2147483647 : static_cast<int>(rng() % 2); break;
    }
  }
  std::map<std::string, int> dict;
  for (std::size_t i = 0; i < keys.size(); ++i) dict[keys[i]] = values[i];
  const Reference ref(dict);

  DA da;
  Build(da, keys, value_kind == ValueKind::kNone ? nullptr : &values);
  ASSERT_TRUE(da.validate());
  EXPECT_EQ(0u, da.size() % 256);
  const Walk walk = WalkAll(da);
  EXPECT_EQ(dict, walk.keys);
  EXPECT_EQ(0u, walk.nul_matches);
  if (value_kind == ValueKind::kFew) {
    EXPECT_GT(walk.node_visits, walk.bases.size());  // suffixes were shared
  }

  if (value_kind != ValueKind::kFew) {
    // With distinct values the DAWG merges nothing: both front ends must
    // produce the same layout.
    DA other;
    Build(other, keys, value_kind == ValueKind::kNone ? &values : nullptr);
    const std::string a = UnitsToBytes(da), b = UnitsToBytes(other);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < da.size(); ++i) {
      const std::uint32_t ua = Unit(a, i), ub = Unit(b, i);
      ASSERT_EQ((ua & 0x80000000u) != 0, (ub & 0x80000000u) != 0) << "unit " << i;
      if (!(ua & 0x80000000u)) {
        ASSERT_EQ(ua, ub) << "unit " << i;
      }
    }
  }

  std::vector<std::string> queries(1, std::string());
  for (const std::string& k : keys) {
    queries.push_back(k);
    queries.push_back(k.substr(0, rng() % k.size()));
    queries.push_back(k + static_cast<char>(rng() % 256));
    queries.push_back(k + keys[rng() % keys.size()]);
    std::string with_nul = k;
    with_nul.insert(rng() % (k.size() + 1), 1, '\0');
    queries.push_back(with_nul);
    queries.push_back(k + "\xFF");
  }
  for (int i = 0; i < 2000; ++i) {
    std::string q;
    for (int j = rng() % 10; j >= 0; --j) q += static_cast<char>(rng() % 256);
    queries.push_back(q);
  }
  for (const std::string& q : queries) {
    CheckQuery(da, ref, q, rng);
    if (::testing::Test::HasFailure()) return;  // one detailed failure is enough
  }
}

TEST(DoubleArrayRandom, GbkLikeKeysWithoutValues) { CheckRandomSet(KeyKind::kGbk, ValueKind::kNone, 11); }
TEST(DoubleArrayRandom, GbkLikeKeysWithDistinctValues) { CheckRandomSet(KeyKind::kGbk, ValueKind::kDistinct, 12); }
TEST(DoubleArrayRandom, GbkLikeKeysWithRepeatedValues) { CheckRandomSet(KeyKind::kGbk, ValueKind::kFew, 13); }
TEST(DoubleArrayRandom, AsciiKeysWithoutValues) { CheckRandomSet(KeyKind::kAscii, ValueKind::kNone, 21); }
TEST(DoubleArrayRandom, AsciiKeysWithRepeatedValues) { CheckRandomSet(KeyKind::kAscii, ValueKind::kFew, 22); }
TEST(DoubleArrayRandom, AnyByteKeysWithoutValues) { CheckRandomSet(KeyKind::kAnyByte, ValueKind::kNone, 31); }
TEST(DoubleArrayRandom, AnyByteKeysWithRepeatedValues) { CheckRandomSet(KeyKind::kAnyByte, ValueKind::kFew, 32); }

TEST(DoubleArrayRandom, DuplicateKeysKeepTheFirstValue) {
  const std::vector<std::string> keys = {"a", "a", "ab", "b", "b", "b"};
  DA plain;
  Build(plain, keys, nullptr);
  EXPECT_EQ(0, plain.exactMatchSearch<int>("a"));
  EXPECT_EQ(2, plain.exactMatchSearch<int>("ab"));
  EXPECT_EQ(3, plain.exactMatchSearch<int>("b"));
  const std::vector<int> values = {10, 11, 12, 13, 14, 15};
  DA valued;
  Build(valued, keys, &values);
  EXPECT_EQ(10, valued.exactMatchSearch<int>("a"));
  EXPECT_EQ(12, valued.exactMatchSearch<int>("ab"));
  EXPECT_EQ(13, valued.exactMatchSearch<int>("b"));
}

TEST(DoubleArrayRandom, TraverseHonoursStartPositionAndEndIndex) {
  DA da;
  ASSERT_EQ(0, da.open(DataPath("tiny.da").c_str()));
  const char text[] = "xxabcz";
  std::size_t node_pos = 0, key_pos = 2;
  EXPECT_EQ(1, da.traverse(text, node_pos, key_pos, 4));  // "ab"
  EXPECT_EQ(4u, key_pos);
  EXPECT_EQ(2, da.traverse(text, node_pos, key_pos, 5));  // resumed: "abc"
  EXPECT_EQ(-2, da.traverse(text, node_pos, key_pos, 6));
  EXPECT_EQ(5u, key_pos);
  EXPECT_EQ(103u, node_pos);  // still the node of "abc"
}

TEST(DoubleArrayRandom, LargeArraysUseExtendedOffsets) {
  // After a subtree of more than 2^21 units, a node placed near the start
  // needs an offset that only the extended (x256) encoding can hold.
  std::string chain = "a";
  for (std::size_t i = 0; i < 2200000; ++i) chain += static_cast<char>('a' + i % 26);
  auto base_of = [](const DA& da, const char* word) {
    std::size_t node_pos = 0, key_pos = 0;
    EXPECT_EQ(-1, da.traverse(word, node_pos, key_pos));
    const std::uint32_t unit = static_cast<const std::uint32_t*>(da.array())[node_pos];
    EXPECT_NE(0u, unit & (1u << 9)) << "node \"" << word << "\" should use the extended offset";
    return node_pos ^ Darts::Details::unit_offset(unit);
  };

  DA da;
  Build(da, {chain, "bcd", "bx"}, nullptr);
  ASSERT_GT(da.size(), 1u << 21);
  ASSERT_TRUE(da.validate());
  base_of(da, "b");
  EXPECT_EQ(0, da.exactMatchSearch<int>(chain.c_str()));
  EXPECT_EQ(1, da.exactMatchSearch<int>("bcd"));
  EXPECT_EQ(2, da.exactMatchSearch<int>("bx"));
  EXPECT_EQ(-1, da.exactMatchSearch<int>("bc"));
  EXPECT_EQ(-1, da.exactMatchSearch<int>(chain.substr(0, 1000).c_str()));
  Pair results[4];
  EXPECT_EQ(1u, da.commonPrefixSearch((chain + "q").c_str(), results, 4));

  // "b", "c" and "d" have the same list ("q" with value 1), but from nodes
  // 2, 3 and 4 the far base of one cannot be encoded for the others (an
  // extended offset needs its low 8 bits clear), so each gets its own.
  const std::vector<int> values = {7, 1, 1, 1};
  DA shared;
  Build(shared, {chain, "bq", "cq", "dq"}, &values);
  ASSERT_TRUE(shared.validate());
  const std::set<std::size_t> bases = {base_of(shared, "b"), base_of(shared, "c"),
                                       base_of(shared, "d")};
  EXPECT_EQ(3u, bases.size());
  EXPECT_EQ(7, shared.exactMatchSearch<int>(chain.c_str()));
  for (const char* word : {"bq", "cq", "dq"}) EXPECT_EQ(1, shared.exactMatchSearch<int>(word));
}

// --- Files -------------------------------------------------------------------

TEST(DoubleArrayFile, SaveAndOpenRoundTrip) {
  TempFiles files;
  const std::string path = files.add("roundtrip.da");
  const Fixture gbk = LoadFixture("gbk200");
  DA built;
  Build(built, gbk.keys, &gbk.values);
  ASSERT_EQ(0, built.save(path.c_str()));
  EXPECT_EQ(ReadFile(DataPath("gbk200.da")), ReadFile(path));
  DA loaded;
  ASSERT_EQ(0, loaded.open(path.c_str()));
  EXPECT_EQ(UnitsToBytes(built), UnitsToBytes(loaded));
  CheckRecordedAnswers(loaded, gbk);
}

TEST(DoubleArrayFile, OffsetsAndSizesSelectPartsOfAFile) {
  TempFiles files;
  const std::string path = files.add("offsets.da");
  DA gbk, tiny;
  ASSERT_EQ(0, gbk.open(DataPath("gbk200.da").c_str()));
  ASSERT_EQ(0, tiny.open(DataPath("tiny.da").c_str()));

  // "wb" truncates: the skipped bytes read back as zeros.
  ASSERT_EQ(0, tiny.save(path.c_str(), "wb", 100));
  const std::string bytes = ReadFile(path);
  ASSERT_EQ(1124u, bytes.size());
  EXPECT_EQ(std::string(100, '\0'), bytes.substr(0, 100));
  DA da;
  ASSERT_EQ(0, da.open(path.c_str(), "rb", 100));
  EXPECT_EQ(UnitsToBytes(tiny), UnitsToBytes(da));
  EXPECT_EQ(-1, da.open(path.c_str()));  // 1124 bytes from offset 0

  // Two arrays in one file, the second written in place with "r+b".
  ASSERT_EQ(0, gbk.save(path.c_str()));
  ASSERT_EQ(0, tiny.save(path.c_str(), "r+b", gbk.total_size()));
  ASSERT_EQ(gbk.total_size() + tiny.total_size(), ReadFile(path).size());
  DA first, second, second_sized;
  ASSERT_EQ(0, first.open(path.c_str(), "rb", 0, gbk.total_size()));
  EXPECT_EQ(UnitsToBytes(gbk), UnitsToBytes(first));
  ASSERT_EQ(0, second.open(path.c_str(), "rb", gbk.total_size()));
  EXPECT_EQ(UnitsToBytes(tiny), UnitsToBytes(second));
  ASSERT_EQ(0, second_sized.open(path.c_str(), "rb", gbk.total_size(), tiny.total_size()));
  EXPECT_EQ(UnitsToBytes(tiny), UnitsToBytes(second_sized));
  // The first 256 units of gbk200 alone: a valid size, but its bases point
  // past that range, so the part is refused.
  EXPECT_EQ(-1, first.open(path.c_str(), "rb", 0, 1024));
  EXPECT_EQ(gbk.size(), first.size());
}

TEST(DoubleArrayFile, SaveFailsWithoutUnitsOrFile) {
  TempFiles files;
  DA empty;
  EXPECT_EQ(-1, empty.save(files.add("never.da").c_str()));
  DA borrowed;
  const std::string bytes = ReadFile(DataPath("tiny.da"));
  borrowed.set_array(bytes.data());  // no size given
  EXPECT_EQ(-1, borrowed.save(files.add("never2.da").c_str()));
  DA tiny;
  ASSERT_EQ(0, tiny.open(DataPath("tiny.da").c_str()));
  EXPECT_EQ(-1, tiny.save(TempPath("no_such_dir/x.da").c_str()));
  EXPECT_EQ(-1, tiny.save(files.add("ro.da").c_str(), "rb"));  // missing file, read mode
}

TEST(DoubleArrayFile, OpenRejectsBadFilesAndKeepsTheOldArray) {
  TempFiles files;
  const std::string tiny_bytes = ReadFile(DataPath("tiny.da"));
  DA da;
  ASSERT_EQ(0, da.open(DataPath("tiny.da").c_str()));

  auto expect_refused = [&](const std::string& name, const std::string& bytes) {
    const std::string path = files.add(name);
    WriteFile(path, bytes);
    EXPECT_EQ(-1, da.open(path.c_str())) << name;
    EXPECT_EQ(256u, da.size()) << name;
    EXPECT_EQ(1, da.exactMatchSearch<int>("ab")) << name;
  };
  expect_refused("empty.da", "");
  expect_refused("255units.da", tiny_bytes.substr(0, 1020));
  expect_refused("1025bytes.da", tiny_bytes + "x");
  expect_refused("truncated.da", tiny_bytes + tiny_bytes.substr(0, 1020));  // 511 units
  expect_refused("266units.da", tiny_bytes + std::string(40, '\0'));

  std::string bad = tiny_bytes;
  SetUnit(bad, 0, Unit(tiny_bytes, 0) | 0x41);  // root label
  expect_refused("root_label.da", bad);
  SetUnit(bad, 0, Unit(tiny_bytes, 0) | 0x100);  // root has_leaf
  expect_refused("root_leaf_flag.da", bad);
  SetUnit(bad, 0, 0);  // root offset 0
  expect_refused("root_offset0.da", bad);
  SetUnit(bad, 0, 512u << 10);  // root offset 512
  expect_refused("root_offset512.da", bad);
  SetUnit(bad, 0, (2u << 10) | (1u << 9));  // extended: 2 * 256
  expect_refused("root_offset_ext.da", bad);
  SetUnit(bad, 0, 0x80000060u);  // a leaf as root
  expect_refused("root_is_leaf.da", bad);
  bad = tiny_bytes;
  SetUnit(bad, 1, (256u << 10) | 0x161);  // "a" with an offset past the end
  expect_refused("unit1_offset.da", bad);
  // A base out of range beyond block 0, which darts-clone itself would load.
  bad = tiny_bytes + tiny_bytes;
  SetUnit(bad, 300, (5000u << 10) | 0x61);
  expect_refused("unit300_base.da", bad);

  EXPECT_EQ(-1, da.open(TempPath("missing.da").c_str()));
  EXPECT_EQ(-1, da.open(::testing::TempDir().c_str()));  // a directory
  const std::string path = files.add("short.da");
  WriteFile(path, tiny_bytes);
  EXPECT_EQ(-1, da.open(path.c_str(), "rb", 0, 2048));     // past the end
  EXPECT_EQ(-1, da.open(path.c_str(), "rb", 4));           // 1020 bytes left
  EXPECT_EQ(-1, da.open(path.c_str(), "rb", 5000));        // offset past the end
  EXPECT_EQ(-1, da.open(path.c_str(), "rb", 0, 1023));     // not whole units
  EXPECT_EQ(256u, da.size());
  EXPECT_EQ(1, da.exactMatchSearch<int>("ab"));
}

#if !defined(__SANITIZE_ADDRESS__)
// Runs in a child process: opens `path` with at most 512 MiB of address
// space and exits with 3 after printing the exception text.
void OpenWithLimitedMemory(const std::string& path) {
  rlimit limit;
  limit.rlim_cur = limit.rlim_max = 512l << 20;
  ::setrlimit(RLIMIT_AS, &limit);
  DA da;
  try {
    da.open(path.c_str());
  } catch (const Darts::Details::Exception& e) {
    std::fprintf(stderr, "[%s]\n", e.what());
    std::fflush(stderr);
    ::_exit(3);
  }
  ::_exit(0);
}
#endif

TEST(DoubleArrayFile, FailedAllocationThrowsTheDocumentedException) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address space limit conflicts with AddressSanitizer";
#else
  TempFiles files;
  const std::string path = files.add("huge.da");
  // A sparse 1 GiB file whose first block is a valid array.
  WriteFile(path, ReadFile(DataPath("tiny.da")));
  ASSERT_EQ(0, ::truncate(path.c_str(), 1l << 30));
  EXPECT_EXIT(OpenWithLimitedMemory(path), ::testing::ExitedWithCode(3),
      "\\[darts\\.clone\\.h:430: exception: failed to open double-array: std::bad_alloc\\]");
#endif
}

// --- validate() and hostile arrays -----------------------------------------

TEST(DoubleArrayValidate, RejectsArraysThatCouldBeReadOutOfBounds) {
  const std::string tiny_bytes = ReadFile(DataPath("tiny.da"));
  std::vector<std::uint32_t> units(512);
  for (std::size_t i = 0; i < 256; ++i) units[i] = units[256 + i] = Unit(tiny_bytes, i);
  DA da;
  da.set_array(units.data(), units.size());
  EXPECT_EQ(units.data(), da.array());
  EXPECT_EQ(512u, da.size());
  EXPECT_TRUE(da.validate());
  EXPECT_EQ(2, da.exactMatchSearch<int>("abc"));

  da.set_array(units.data());  // no size
  EXPECT_FALSE(da.validate());
  da.set_array(units.data(), 300);  // not whole blocks
  EXPECT_FALSE(da.validate());
  da.set_array(nullptr, 0);
  EXPECT_FALSE(da.validate());

  std::vector<std::uint32_t> bad = units;
  bad[300] = (300u ^ 512u) << 10 | 0x61;  // base exactly size()
  da.set_array(bad.data(), bad.size());
  EXPECT_FALSE(da.validate());
  bad[300] = (300u ^ 511u) << 10 | 0x61;  // base size() - 1
  da.set_array(bad.data(), bad.size());
  EXPECT_TRUE(da.validate());
  bad[300] = (2u << 10) | (1u << 9) | 0x61;  // extended offset 512: base 812
  da.set_array(bad.data(), bad.size());
  EXPECT_FALSE(da.validate());
  bad = units;
  bad[0] = 0x80000000u;  // a leaf as root
  da.set_array(bad.data(), bad.size());
  EXPECT_FALSE(da.validate());
  da.clear();
  EXPECT_EQ(nullptr, da.array());
  EXPECT_EQ(0u, da.size());
}

TEST(DoubleArrayValidate, ArbitraryUnitsThatPassCannotBeReadOutOfBounds) {
  // Random unit arrays with in-range bases, searched with random bytes: any
  // read outside the array would be caught by the sanitizers.
  std::mt19937 rng(99);
  for (int round = 0; round < 50; ++round) {
    const std::size_t size = 256 * (1 + rng() % 3);
    std::vector<std::uint32_t> units(size);
    for (std::size_t i = 0; i < size; ++i) {
      if (i != 0 && rng() % 4 == 0) {
        units[i] = 0x80000000u | static_cast<std::uint32_t>(rng());
        continue;
      }
      const std::uint32_t base = static_cast<std::uint32_t>(rng() % size);
      std::uint32_t unit = (rng() % 8 == 0 ? rng() % 8 : rng() % 256) | (rng() % 2) << 8;
      const std::uint32_t offset = static_cast<std::uint32_t>(i) ^ base;
      if ((offset & 0xFF) == 0 && rng() % 2 == 0) {
        unit |= (offset >> 8) << 10 | (1u << 9);
      } else {
        unit |= offset << 10;
      }
      units[i] = unit;
    }
    DA da;
    da.set_array(units.data(), size);
    ASSERT_TRUE(da.validate());
    Pair results[4];
    for (int q = 0; q < 200; ++q) {
      std::string key;
      for (int j = rng() % 12; j >= 0; --j) key += static_cast<char>(rng() % 8 == 0 ? 0 : rng() % 256);
      da.exactMatchSearch<Pair>(key.data(), key.size());
      da.commonPrefixSearch(key.data(), results, 4, key.size());
      da.commonLongestPrefixSearch<int>(key.data(), key.size());
      da.exactMatchSearch<int>(key.c_str());
      da.commonPrefixSearch(key.c_str(), results, 4);
      std::size_t node_pos = 0, key_pos = 0;
      da.traverse(key.data(), node_pos, key_pos, key.size());
      ASSERT_LT(node_pos, size);
      da.exactMatchSearch<int>(key.data(), key.size(), node_pos);  // resumed node
    }
  }
}

// --- Exceptions -------------------------------------------------------------

// Expects `build` to throw darts-clone's exception with `text` and to leave
// the tiny array in `da`.
template <class F>
void ExpectBuildError(DA& da, F build, const std::string& text) {
  try {
    build();
    ADD_FAILURE() << "no exception, expected: " << text;
  } catch (const Darts::Details::Exception& e) {
    // "darts.clone.h:<line>: exception: <text>"
    const std::string what = e.what();
    const std::string file = "darts.clone.h:";
    const std::size_t line_end = what.find_first_not_of("0123456789", file.size());
    ASSERT_EQ(file, what.substr(0, file.size())) << what;
    ASSERT_NE(std::string::npos, line_end) << what;
    EXPECT_GT(line_end, file.size()) << what;
    EXPECT_EQ(": exception: " + text, what.substr(line_end));
  }
  EXPECT_EQ(256u, da.size());
  EXPECT_EQ(4, da.exactMatchSearch<int>("bcd"));
}

TEST(DoubleArrayErrors, InvalidKeysThrowDartsCloneTexts) {
  DA da;
  ASSERT_EQ(0, da.open(DataPath("tiny.da").c_str()));
  const char* unordered[] = {"b", "a"};
  const char* prefix_after[] = {"ab", "a"};
  const char* empty_key[] = {""};
  const char* nul_key[] = {"a\0b"};
  const char* shared_nul[] = {"a", "a\0b"};
  const std::size_t nul_len[] = {3};
  const std::size_t shared_nul_len[] = {1, 3};
  const int two_values[] = {1, 2};
  const int negative[] = {-1};
  const int one_value[] = {1};

  ExpectBuildError(da, [&] { da.build(2, unordered); },
                   "failed to build double-array: wrong key order");
  ExpectBuildError(da, [&] { da.build(2, prefix_after); },
                   "failed to build double-array: wrong key order");
  ExpectBuildError(da, [&] { da.build(1, nul_key, nul_len); },
                   "failed to build double-array: invalid null character");
  ExpectBuildError(da, [&] { da.build(1, empty_key); },
                   "failed to build double-array: zero-length key");

  ExpectBuildError(da, [&] { da.build(2, unordered, nullptr, two_values); },
                   "failed to insert key: wrong key order");
  ExpectBuildError(da, [&] { da.build(2, prefix_after, nullptr, two_values); },
                   "failed to insert key: wrong key order");
  ExpectBuildError(da, [&] { da.build(1, empty_key, nullptr, one_value); },
                   "failed to insert key: zero-length key");
  ExpectBuildError(da, [&] { da.build(1, unordered, nullptr, negative); },
                   "failed to insert key: negative value");
  ExpectBuildError(da, [&] { da.build(2, shared_nul, shared_nul_len, two_values); },
                   "failed to insert key: invalid null character");
  // darts-clone checks only the part shared with the previous key; a NUL
  // anywhere is refused here.
  ExpectBuildError(da, [&] { da.build(1, nul_key, nul_len, one_value); },
                   "failed to insert key: invalid null character");

  // The exception is a std::exception too.
  try {
    da.build(2, unordered);
    ADD_FAILURE();
  } catch (const std::exception& e) {
    EXPECT_NE(nullptr, std::strstr(e.what(), "wrong key order"));
  }
}

int g_progress_calls = 0;
std::size_t g_last_progress[2] = {0, 0};
int RecordProgress(std::size_t current, std::size_t total) {
  ++g_progress_calls;
  EXPECT_GE(current, g_last_progress[0]);
  g_last_progress[0] = current;
  g_last_progress[1] = total;
  return 0;
}

TEST(DoubleArrayErrors, ProgressEndsAtKeysPlusOne) {
  const char* keys[] = {"a", "ab", "b"};
  const int values[] = {5, 6, 7};
  for (int with_values = 0; with_values < 2; ++with_values) {
    g_progress_calls = 0;
    g_last_progress[0] = g_last_progress[1] = 0;
    DA da;
    ASSERT_EQ(0, da.build(3, keys, nullptr, with_values ? values : nullptr, RecordProgress));
    EXPECT_EQ(4, g_progress_calls);
    EXPECT_EQ(4u, g_last_progress[0]);
    EXPECT_EQ(4u, g_last_progress[1]);
  }
}

}  // namespace
