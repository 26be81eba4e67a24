#include "base/HugePages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

// Huge pages change where a table lives, never what it holds: random data in
// and around the advised ranges (heap storage of several sizes and offsets,
// so that the 2 MB pages inside start and end at different places) reads the
// same afterwards, bytes just outside included, and storage advised before
// it is filled takes its data like any other.
TEST(HugePagesTest, ContentsSurviveTheMoveOntoHugePages) {
  std::mt19937 rng(11);
  for (size_t bytes : {size_t(100), (size_t(5) << 20) + 12345}) {
    for (size_t offset : {size_t(0), size_t(777)}) {
      std::vector<uint32_t> block((bytes + offset + 8192) / 4);
      for (uint32_t& v : block) v = static_cast<uint32_t>(rng());
      const std::vector<uint32_t> before = block;
      char* p = reinterpret_cast<char*>(block.data()) + 4096 + offset;
      use_huge_pages(p, bytes);
      ASSERT_EQ(block, before) << bytes << " at +" << offset;

      std::vector<uint32_t> fresh(block.size());
      prefer_huge_pages(fresh.data(), fresh.size() * 4);
      fresh = before;
      use_huge_pages(fresh.data(), fresh.size() * 4);
      ASSERT_EQ(fresh, before) << bytes;
    }
  }
  use_huge_pages(nullptr, size_t(8) << 20);  // nothing to do, and no crash
  prefer_huge_pages(nullptr, size_t(8) << 20);
}

}  // namespace
