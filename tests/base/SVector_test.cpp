#include "base/SVector.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

TEST(SVectorTest, FreshArenaHasOneBlock) {
  svector arena(16, 2);
  EXPECT_EQ(arena.m_nBlockSize, 16u);
  EXPECT_EQ(arena.m_nControlerSize, 2u);
  EXPECT_EQ(arena.m_nUsedSize, 1u);
  EXPECT_EQ(arena.m_CtrlIndex, 0u);
  EXPECT_EQ(arena.m_BlockIndex, 0u);
}

TEST(SVectorTest, FourteenBytesFitAFreshBlockOfSixteen) {
  svector arena(16, 2);
  const std::string s(14, 'a');
  char* p = arena.push(s.data(), 14);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p, arena.m_Controler[0]);
  EXPECT_EQ(std::string(p), s);
  EXPECT_EQ(arena.m_CtrlIndex, 0u);
  EXPECT_EQ(arena.m_BlockIndex, 15u);
}

TEST(SVectorTest, FifteenBytesMoveToANewBlock) {
  svector arena(16, 2);
  const std::string s(15, 'b');
  char* p = arena.push(s.data(), 15);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(arena.m_CtrlIndex, 1u);
  EXPECT_EQ(arena.m_nUsedSize, 2u);
  EXPECT_EQ(p, arena.m_Controler[1]);
  EXPECT_EQ(std::string(p), s);
  EXPECT_EQ(arena.m_BlockIndex, 16u);
  // The block is full: the next string, however short, takes another block.
  char* q = arena.push("x", 1);
  EXPECT_EQ(arena.m_CtrlIndex, 2u);
  EXPECT_EQ(q, arena.m_Controler[2]);
}

TEST(SVectorTest, StringsThatCannotFitABlockAreRefused) {
  svector arena(16, 2);
  const std::string s(16, 'c');
  EXPECT_EQ(arena.push(s.data(), 16), nullptr);
  EXPECT_EQ(arena.push(s.data(), 1000), nullptr);
  EXPECT_EQ(arena.m_nUsedSize, 1u);
  EXPECT_NE(arena.push(s.data(), 15), nullptr);
}

TEST(SVectorTest, PointerArrayGrowsByHalf) {
  svector arena(16, 2);
  const std::string s(15, 'd');
  std::vector<unsigned> sizes;
  for (int i = 0; i < 6; i++) {
    arena.push(s.data(), 15);  // one block each (block 0 stays unused)
    sizes.push_back(arena.m_nControlerSize);
  }
  // Blocks 1..6: 2 slots hold blocks 0-1, then 3, 4, 6, 9.
  EXPECT_EQ(sizes, (std::vector<unsigned>{2, 3, 4, 6, 6, 9}));
  EXPECT_EQ(arena.m_nUsedSize, 7u);
}

TEST(SVectorTest, TinyInitialPointerArraysStillGrow) {
  for (unsigned initial : {0u, 1u}) {
    svector arena(8, initial);
    std::vector<char*> pointers;
    for (int i = 0; i < 10; i++) pointers.push_back(arena.push("abcdef", 6));
    for (char* p : pointers) {
      ASSERT_NE(p, nullptr);
      EXPECT_STREQ(p, "abcdef");
    }
    EXPECT_EQ(arena.m_nUsedSize, 10u);
  }
}

// Random strings: every copy stays intact while later strings are pushed.
TEST(SVectorTest, CopiesStayIntact) {
  std::mt19937 rng(9);
  svector arena(64, 2);
  std::vector<std::pair<char*, std::string>> pushed;
  for (int i = 0; i < 5000; i++) {
    std::string s;
    size_t len = rng() % 64;
    for (size_t j = 0; j < len; j++) s += (char)(1 + rng() % 255);
    char* p = arena.push(s.data(), (unsigned)len);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p[len], '\0');
    pushed.emplace_back(p, s);
  }
  for (auto& ps : pushed) ASSERT_EQ(std::string(ps.first, ps.second.size()), ps.second);
}

TEST(SVectorTest, BytesAreCopiedByLengthIncludingNuls) {
  svector arena;
  EXPECT_EQ(arena.m_nBlockSize, 16384u);
  EXPECT_EQ(arena.m_nControlerSize, 32u);
  const char bytes[] = {'a', '\0', 'b', 'c'};
  char* p = arena.push(bytes, 4);
  EXPECT_EQ(std::string(p, 5), std::string("a\0bc\0", 5));
  char* empty = arena.push(nullptr, 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_STREQ(empty, "");
}

// After clear() the same blocks are used again: a steady workload stops
// allocating.
TEST(SVectorTest, ClearReusesTheBlocks) {
  svector arena(32, 2);
  std::vector<char*> first;
  for (int i = 0; i < 20; i++) first.push_back(arena.push("0123456789", 10));
  unsigned used = arena.m_nUsedSize;
  std::vector<char*> blocks(arena.m_Controler, arena.m_Controler + used);
  for (int round = 0; round < 3; round++) {
    arena.clear();
    EXPECT_EQ(arena.m_CtrlIndex, 0u);
    EXPECT_EQ(arena.m_BlockIndex, 0u);
    for (int i = 0; i < 20; i++) {
      char* p = arena.push("9876543210", 10);
      EXPECT_EQ(p, first[i]);
      EXPECT_STREQ(p, "9876543210");
    }
    EXPECT_EQ(arena.m_nUsedSize, used);
    EXPECT_EQ(std::vector<char*>(arena.m_Controler, arena.m_Controler + used), blocks);
  }
}

}  // namespace
