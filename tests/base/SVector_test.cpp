#include "base/SVector.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// A string goes into the current block while its NUL and one spare byte fit,
// else it starts a new block; one that cannot fit any block is refused.
TEST(SVectorTest, BlockBoundaries) {
  svector arena(16, 2);
  char* first = arena.push(std::string(13, 'a').data(), 13);
  EXPECT_EQ(arena.push("", 0), first + 14);  // 14 + 0 + 2 <= 16
  char* next = arena.push("x", 1);            // 15 + 1 + 2 > 16: new block
  EXPECT_TRUE(next < first || next >= first + 16);
  arena.clear();
  EXPECT_EQ(arena.push(std::string(14, 'b').data(), 14), first);
  arena.clear();
  EXPECT_EQ(arena.push(std::string(15, 'c').data(), 15), next);  // not in block 0: block 1 again
  EXPECT_TRUE(std::string(next) == std::string(15, 'c') && !arena.push(std::string(16, 'd').data(), 16) && !arena.push("e", 1000));
  std::vector<unsigned> slots;
  for (int i = 0; i < 5; i++) arena.push(std::string(15, 'd').data(), 15), slots.push_back(arena.m_nControlerSize);
  EXPECT_EQ(slots, (std::vector<unsigned>{3, 4, 6, 6, 9}));  // the pointer array grows by half
}

// Random strings (NULs included) in arenas of every pointer array size: each
// copy stays intact while later ones are pushed, and after clear() the same
// strings land at the same places without new blocks.
TEST(SVectorTest, CopiesStayIntactAndClearReuses) {
  std::mt19937 rng(9);
  for (unsigned ctrl : {0u, 1u, 2u, 32u}) {
    svector arena(64, ctrl);
    std::vector<std::string> strings(2000);
    for (auto& s : strings)
      for (size_t len = rng() % 64; len > 0; len--) s += (char)(rng() % 256);
    std::vector<char*> first;
    unsigned blocks = 0;
    for (int round = 0; round < 2; round++) {
      arena.clear();
      std::vector<char*> got;
      for (auto& s : strings) got.push_back(arena.push(s.data(), (unsigned)s.size()));
      for (size_t i = 0; i < strings.size(); i++) {
        ASSERT_NE(got[i], nullptr);
        ASSERT_EQ(std::string(got[i], strings[i].size() + 1), strings[i] + '\0') << i;
        ASSERT_TRUE(round == 0 || got[i] == first[i]);
      }
      ASSERT_TRUE(round == 0 || arena.m_nUsedSize == blocks);
      blocks = arena.m_nUsedSize;
      first = got;
    }
  }
}

}  // namespace
