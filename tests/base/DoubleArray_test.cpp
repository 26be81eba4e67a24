// The double array: the committed fixture files (lookups, byte-identical
// builds and saves), random key sets against a std::map reference, file I/O
// on damaged files, validate() on hostile arrays and the error texts.
#include "base/DoubleArray.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/temp_dir.h"

namespace {

typedef Darts::DoubleArray DA;
typedef DA::result_pair_type Pair;

std::string DataPath(const std::string& name) { return std::string(LX_TEST_DATA_DIR) + "/da/" + name; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Unhex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += (char)std::stoi(hex.substr(i, 2), nullptr, 16);
  return out;
}

std::vector<std::vector<std::string>> ReadTable(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::istringstream s(line);
    for (std::string f; std::getline(s, f, '\t');) fields.push_back(f);
    rows.push_back(fields);
  }
  return rows;
}

std::string Bytes(const DA& da) { return std::string(static_cast<const char*>(da.array()), da.total_size()); }

void Build(DA& da, const std::vector<std::string>& keys, const std::vector<int>* values, bool lengths = true) {
  std::vector<const char*> ptrs;
  std::vector<std::size_t> lens;
  for (const std::string& k : keys) ptrs.push_back(k.c_str()), lens.push_back(k.size());
  ASSERT_EQ(0, da.build(keys.size(), ptrs.data(), lengths ? lens.data() : nullptr,
                        values ? values->data() : nullptr));
}

// Every (key, value) reachable from the root by trying all bytes at every node.
std::map<std::string, int> AllKeys(const DA& da) {
  std::map<std::string, int> keys;
  std::vector<std::pair<std::size_t, std::string>> stack(1);
  while (!stack.empty()) {
    auto top = stack.back();
    stack.pop_back();
    for (int c = 1; c < 256; ++c) {
      std::size_t node_pos = top.first, key_pos = 0;
      const char byte = (char)c;
      int r = da.traverse(&byte, node_pos, key_pos, 1);
      if (r == -2) continue;
      if (r >= 0) keys[top.second + byte] = r;
      stack.push_back({node_pos, top.second + byte});
    }
  }
  return keys;
}

// Each fixture: opened, built (with explicit lengths and NUL-terminated) and
// saved again, the array is the committed file byte for byte, and every
// recorded exact-match and traverse answer (end node included) is given.
class DoubleArrayFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(DoubleArrayFixture, FilesBuildsAndRecordedAnswers) {
  const std::string name = GetParam();
  const std::string file = ReadFile(DataPath(name + ".da"));
  std::vector<std::string> keys;
  std::vector<int> values;
  for (const auto& row : ReadTable(DataPath(name + ".keys.txt"))) keys.push_back(Unhex(row.at(0))), values.push_back(std::stoi(row.at(1)));
  // tiny and empty were built without values.
  const bool with_values = name == "gbk200" || name == "extreme_values";
  DA opened, built, nul_terminated;
  lxtest::TempDir dir("lx_da_");
  Build(built, keys, with_values ? &values : nullptr);
  Build(nul_terminated, keys, with_values ? &values : nullptr, false);
  ASSERT_EQ(0, opened.open(DataPath(name + ".da").c_str()) + built.save(dir.file("saved.da").c_str()));
  EXPECT_TRUE(file == Bytes(opened) && file == Bytes(built) && file == Bytes(nul_terminated));
  EXPECT_TRUE(file == ReadFile(dir.file("saved.da")) && opened.validate());

  for (const auto& row : ReadTable(DataPath(name + ".probe.txt"))) {
    ASSERT_EQ(6u, row.size());
    const std::string q = Unhex(row[0]);
    SCOPED_TRACE(name + " probe " + row[0]);
    for (const DA* da : {&opened, &built}) {
      const Pair pair = da->exactMatchSearch<Pair>(q.c_str(), q.size());
      std::size_t node_pos = 0, key_pos = 0;
      const int r = da->traverse(q.c_str(), node_pos, key_pos, q.size());
      EXPECT_EQ(row[1] + " " + row[2] + " " + row[3] + " " + row[4] + " " + row[5],
                testing::PrintToString(pair.value) + " " + std::to_string(pair.length) + " " + std::to_string(r) + " " +
                    std::to_string(node_pos) + " " + std::to_string(key_pos));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Recorded, DoubleArrayFixture, ::testing::Values("tiny", "gbk200", "extreme_values", "empty"));

std::vector<std::string> RandomKeys(int kind, std::size_t n, std::mt19937& rng) {
  std::set<std::string> keys;
  auto byte = [&](int lo, int hi) { return (char)std::uniform_int_distribution<int>(lo, hi)(rng); };
  while (keys.size() < n) {
    std::string key;
    if (kind == 0) {  // GBK-like: a narrow range gives many shared prefixes
      for (int i = 1 + rng() % 4; i > 0; --i) key += std::string{byte(0xB0, 0xB6), byte(0xA1, 0xB0)};
    } else if (kind == 1) {
      for (int i = 1 + rng() % 8; i > 0; --i) key += byte('a', 'e');
    } else {
      for (int i = 1 + rng() % 6; i > 0; --i) key += byte(rng() % 3 == 0 ? 0xF8 : 1, 0xFF);
    }
    keys.insert(key);
  }
  return std::vector<std::string>(keys.begin(), keys.end());
}

// Random key sets (GBK-like, ASCII, any byte) without values, with distinct
// values and with few repeated values (suffixes shared), against a std::map:
// exact, common-prefix and longest-prefix searches and traverse; the array
// holds exactly the keys.
TEST(DoubleArrayRandom, MatchesAMapReference) {
  const struct { int keys, values; unsigned seed; } rows[] = {
      {0, 0, 11}, {0, 1, 12}, {0, 2, 13}, {1, 0, 21}, {1, 2, 22}, {2, 0, 31}, {2, 2, 32}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.seed);
    std::mt19937 rng(row.seed);
    const std::vector<std::string> keys = RandomKeys(row.keys, 3000, rng);
    std::vector<int> values(keys.size());
    std::map<std::string, int> dict;
    std::set<std::string> prefixes;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      values[i] = row.values == 0 ? (int)i : row.values == 1 ? (int)(i * 7919 + (i == 5 ? 2147000000 : 0))
                                                            : (rng() % 3 == 0 ? 2147483647 : (int)(rng() % 2));
      dict[keys[i]] = values[i];
      for (std::size_t j = 1; j <= keys[i].size(); ++j) prefixes.insert(keys[i].substr(0, j));
    }
    DA da;
    Build(da, keys, row.values == 0 ? nullptr : &values);
    ASSERT_TRUE(da.validate());
    ASSERT_EQ(dict, AllKeys(da));

    std::vector<std::string> queries(1);
    for (const std::string& k : keys) {
      std::string with_nul = k;
      with_nul.insert(rng() % (k.size() + 1), 1, '\0');
      for (const std::string& q : {k, k.substr(0, rng() % k.size()), k + (char)(rng() % 256),
                                   k + keys[rng() % keys.size()], with_nul})
        queries.push_back(q);
    }
    for (const std::string& q : queries) {
      auto exact = [&](const std::string& s) { return dict.count(s) ? dict[s] : -1; };
      std::vector<std::pair<int, unsigned long>> want;  // prefixes that are keys
      std::size_t depth = 0;                          // bytes that stay on a path
      while (depth < q.size() && prefixes.count(q.substr(0, depth + 1))) {
        ++depth;
        if (exact(q.substr(0, depth)) >= 0) want.push_back({exact(q.substr(0, depth)), depth});
      }
      const Pair pair = da.exactMatchSearch<Pair>(q.data(), q.size());
      ASSERT_EQ(std::make_pair(exact(q), exact(q) >= 0 ? q.size() : 0u), std::make_pair(pair.value, pair.length));
      Pair results[8];
      ASSERT_EQ(want.size(), da.commonPrefixSearch(q.data(), results, 8, q.size()));
      for (std::size_t i = 0; i < std::min<std::size_t>(want.size(), 8); ++i)
        ASSERT_EQ(want[i], std::make_pair(results[i].value, results[i].length));
      const Pair longest = da.commonLongestPrefixSearch<Pair>(q.data(), q.size());
      ASSERT_EQ(want.empty() ? -1 : want.back().first, longest.value);
      std::size_t node_pos = 0, key_pos = 0;
      int r = da.traverse(q.data(), node_pos, key_pos, q.size());
      ASSERT_EQ(depth < q.size() ? -2 : exact(q) >= 0 ? exact(q) : -1, r);
      ASSERT_EQ(depth, key_pos);
    }
  }
}

// Of equal keys the first is stored; traverse resumes where it stopped.
TEST(DoubleArrayRandom, DuplicatesAndResumedTraverse) {
  const std::vector<int> values = {10, 11, 12, 13, 14, 15};
  DA plain, valued;
  Build(plain, {"a", "a", "ab", "b", "b", "b"}, nullptr);
  Build(valued, {"a", "a", "ab", "b", "b", "b"}, &values);
  EXPECT_EQ((std::map<std::string, int>{{"a", 0}, {"ab", 2}, {"b", 3}}), AllKeys(plain));
  EXPECT_EQ((std::map<std::string, int>{{"a", 10}, {"ab", 12}, {"b", 13}}), AllKeys(valued));
  std::size_t node_pos = 0, key_pos = 2;
  const int r1 = plain.traverse("xxabcz", node_pos, key_pos, 3), r2 = plain.traverse("xxabcz", node_pos, key_pos, 4);
  EXPECT_EQ(std::make_tuple(r1, r2, plain.traverse("xxabcz", node_pos, key_pos, 6), key_pos), std::make_tuple(0, 2, -2, 4ul));
}

TEST(DoubleArrayFile, OffsetsSizesAndFailures) {
  lxtest::TempDir dir("lx_da_");
  const std::string path = dir.file("offsets.da");
  DA gbk, tiny, da;
  ASSERT_EQ(0, gbk.open(DataPath("gbk200.da").c_str()) + tiny.open(DataPath("tiny.da").c_str()) +
                   tiny.save(path.c_str(), "wb", 100) + da.open(path.c_str(), "rb", 100));
  EXPECT_TRUE(std::string(100, '\0') + Bytes(tiny) == ReadFile(path));  // the skipped bytes read back as zeros
  EXPECT_TRUE(Bytes(tiny) == Bytes(da));
  // Two arrays in one file, the second written in place with "r+b".
  DA first, second;
  ASSERT_EQ(0, gbk.save(path.c_str()) + tiny.save(path.c_str(), "r+b", gbk.total_size()) +
                   first.open(path.c_str(), "rb", 0, gbk.total_size()) +
                   second.open(path.c_str(), "rb", gbk.total_size(), tiny.total_size()));
  EXPECT_TRUE(Bytes(gbk) == Bytes(first) && Bytes(tiny) == Bytes(second));
  // Refused: 1024 bytes whose bases point past them, past the
  // end, short remainder, offset past the end, not whole units, missing, a
  // directory.  The old array stays.
  const struct { std::string file; std::size_t offset, size; } bad[] = {
      {path, 0, 1024}, {path, 0, 1 << 20}, {path, 4, 0}, {path, 1 << 20, 0},
      {path, 0, 1023}, {dir.file("missing.da"), 0, 0}, {dir.path(), 0, 0}};
  for (const auto& b : bad) {
    EXPECT_EQ(-1, first.open(b.file.c_str(), "rb", b.offset, b.size)) << b.offset << " " << b.size;
    EXPECT_TRUE(Bytes(gbk) == Bytes(first));
  }
  DA empty, borrowed;
  borrowed.set_array(tiny.array());  // no size given
  EXPECT_EQ(-4, empty.save(dir.file("never.da").c_str()) + borrowed.save(dir.file("never2.da").c_str()) +
                    tiny.save(dir.file("no_such_dir/x.da").c_str()) + tiny.save(dir.file("ro.da").c_str(), "rb"));
}

// Damaged files are refused, leaving the loaded array in place: bad sizes,
// root units with a label, a leaf flag or an offset of 0 or >= 512, a leaf as
// root, bases at or past the end.  validate() refuses those unsafe to read.
TEST(DoubleArrayFile, DamagedFilesAndUnits) {
  lxtest::TempDir dir("lx_da_");
  const std::string tiny = ReadFile(DataPath("tiny.da"));
  const std::uint32_t root = 0x00018000u;  // tiny's root unit: offset 96
  auto with = [&](std::string bytes, std::size_t i, std::uint32_t unit) {
    for (int b = 0; b < 4; ++b) bytes[4 * i + b] = (char)(unit >> (8 * b));
    return bytes;
  };
  const std::string damaged[] = {
      "", tiny.substr(0, 1020), tiny + "x", tiny + tiny.substr(0, 1020), tiny + std::string(40, '\0'),
      with(tiny, 0, root | 0x41), with(tiny, 0, root | 0x100), with(tiny, 0, 0), with(tiny, 0, 512u << 10),
      with(tiny, 0, (2u << 10) | (1u << 9)), with(tiny, 0, 0x80000060u), with(tiny, 1, (256u << 10) | 0x161),
      with(tiny + tiny, 300, (5000u << 10) | 0x61), with(tiny + tiny, 300, (300u ^ 512u) << 10 | 0x61),
      with(tiny + tiny, 300, (2u << 10) | (1u << 9) | 0x61)};  // extended offset 512: base 812
  DA da, units;
  ASSERT_EQ(0, da.open(DataPath("tiny.da").c_str()));
  ASSERT_EQ(root, *static_cast<const std::uint32_t*>(da.array()));
  for (std::size_t i = 0; i < sizeof damaged / sizeof damaged[0]; ++i) {
    ASSERT_TRUE(dir.write("bad.da", damaged[i]));
    EXPECT_EQ(-1, da.open(dir.file("bad.da").c_str())) << i;
    EXPECT_TRUE(tiny == Bytes(da));
    units.set_array(damaged[i].data(), damaged[i].size() / 4);
    // Whole units of tiny + "x", a root label, leaf flag or offset 0 read safely.
    EXPECT_EQ(units.validate(), i == 2 || (i >= 5 && i <= 7)) << i;
  }
  const std::string last = with(tiny + tiny, 300, (300u ^ 511u) << 10 | 0x61);  // base size() - 1
  units.set_array(last.data(), 512);
  EXPECT_TRUE(units.validate());
  units.set_array(last.data());  // no size
  EXPECT_FALSE(units.validate());
}

// Invalid input throws "<file>:<line>: exception: <text>" and keeps the array.
TEST(DoubleArrayErrors, InvalidKeysThrowAndKeepTheArray) {
  DA da;
  ASSERT_EQ(0, da.open(DataPath("tiny.da").c_str()));
  const char *unordered[] = {"b", "a"}, *prefix_after[] = {"ab", "a"}, *empty_key[] = {""}, *nul_key[] = {"a\0b"},
             *shared_nul[] = {"a", "a\0b"};
  const std::size_t len3[] = {3}, len13[] = {1, 3};
  const int two[] = {1, 2}, negative[] = {-1}, one[] = {1};
  const std::string build = "failed to build double-array: ", insert = "failed to insert key: ";
  const struct { std::size_t n; const char* const* keys; const std::size_t* lengths; const int* values; std::string text; } rows[] = {
      {2, unordered, nullptr, nullptr, build + "wrong key order"}, {2, prefix_after, nullptr, nullptr, build + "wrong key order"},
      {1, nul_key, len3, nullptr, build + "invalid null character"}, {1, empty_key, nullptr, nullptr, build + "zero-length key"},
      {2, unordered, nullptr, two, insert + "wrong key order"}, {2, prefix_after, nullptr, two, insert + "wrong key order"},
      {1, empty_key, nullptr, one, insert + "zero-length key"}, {1, unordered, nullptr, negative, insert + "negative value"},
      {2, shared_nul, len13, two, insert + "invalid null character"}, {1, nul_key, len3, one, insert + "invalid null character"}};
  const std::string before = Bytes(da);
  for (const auto& row : rows) {
    try {
      da.build(row.n, row.keys, row.lengths, row.values);
      ADD_FAILURE() << "no exception: " << row.text;
    } catch (const std::exception& e) {
      const std::string what = e.what(), tail = ": exception: " + row.text;  // after "<file>.h:<line>"
      const std::size_t line = what.find(".h:") + 3, end = what.size() - tail.size();
      EXPECT_TRUE(what.size() > tail.size() && what.substr(end) == tail && line > 2 && line < end &&
                  what.find_first_not_of("0123456789", line) == end) << what;
    }
    EXPECT_TRUE(before == Bytes(da));
  }
}

}  // namespace
