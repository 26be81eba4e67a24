#include "base/HugePages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

// Huge pages and mapping pages in change where a table lives, never what it
// holds: random data in and around the advised ranges (heap storage of
// several sizes and offsets, so that the pages inside start and end at
// different places) reads the same afterwards, bytes just outside included.
TEST(HugePagesTest, ContentsSurviveTheMoveOntoHugePages) {
  std::mt19937 rng(11);
  for (size_t bytes : {size_t(100), (size_t(5) << 20) + 12345}) {
    for (size_t offset : {size_t(0), size_t(777)}) {
      std::vector<uint32_t> block((bytes + offset + 8192) / 4);
      for (uint32_t& v : block) v = static_cast<uint32_t>(rng());
      const std::vector<uint32_t> before = block;
      use_huge_pages(reinterpret_cast<char*>(block.data()) + 4096 + offset, bytes);
      ASSERT_EQ(block, before) << bytes << " at +" << offset;
      populate_pages(reinterpret_cast<char*>(block.data()) + 4096 + offset, bytes);
      ASSERT_EQ(block, before) << bytes << " at +" << offset << ", mapped in";
    }
  }
  use_huge_pages(nullptr, size_t(8) << 20);  // nothing to do, and no crash
  prefer_huge_pages(nullptr, size_t(8) << 20);
  populate_pages(nullptr, size_t(8) << 20);
}

// Large storage starts on a 2 MB boundary and holds all it was asked for;
// small storage is plain; the allocator gives vectors the same storage.
TEST(HugePagesTest, AllocationsAreAlignedUsableAndFreeable) {
  EXPECT_EQ(huge_alloc(0), nullptr);
  std::mt19937 rng(5);
  for (size_t bytes : {size_t(1), size_t(4096), kHugePageBytes - 1, kHugePageBytes + 3, (size_t(5) << 20) + 12345}) {
    unsigned char* p = static_cast<unsigned char*>(huge_alloc(bytes));
    ASSERT_NE(p, nullptr) << bytes;
    if (bytes >= kHugePageBytes) {
      EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % kHugePageBytes, 0u) << bytes;
    }
    std::vector<unsigned char> ref(bytes);
    for (unsigned char& c : ref) c = static_cast<unsigned char>(rng());
    std::memcpy(p, ref.data(), bytes);
    use_huge_pages(p, bytes);
    EXPECT_EQ(std::memcmp(p, ref.data(), bytes), 0) << bytes;
    std::free(p);
  }
  std::vector<uint32_t, HugePageAllocator<uint32_t>> v(size_t(3) << 20 >> 2);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(v.data()) % kHugePageBytes, 0u);
  for (size_t i = 0; i < v.size(); i++) v[i] = static_cast<uint32_t>(i * 2654435761u);
  decltype(v) w;
  w.swap(v);
  for (size_t i = 0; i < w.size(); i += 997) ASSERT_EQ(w[i], static_cast<uint32_t>(i * 2654435761u));
}

}  // namespace
