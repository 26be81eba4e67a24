#include "base/Array.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

TEST(ArrayTest, DefaultConstructedArrayIsAllZero) {
  Array<int> a;
  EXPECT_EQ(a.m_size, 0u);
  EXPECT_EQ(a.m_alloc_size, 0u);
  EXPECT_EQ(a.m_base, 0);
  EXPECT_EQ(a.m_data, nullptr);
  EXPECT_EQ(a.size(), 0u);
  EXPECT_EQ(a.data(), nullptr);
}

TEST(ArrayTest, GrowthRule) {
  Array<int> a;
  a[10] = 1;
  EXPECT_EQ(a.m_alloc_size, 11u);
  EXPECT_EQ(a.m_size, 11u);
  int* before = a.data();
  a[11] = 2;
  EXPECT_EQ(a.m_alloc_size, 11u / 2 + 11 + 1);  // 17
  EXPECT_EQ(a.m_size, 12u);
  EXPECT_NE(a.data(), before);
  // Inside the allocation nothing moves.
  int* now = a.data();
  a[16] = 3;
  EXPECT_EQ(a.data(), now);
  EXPECT_EQ(a.m_alloc_size, 17u);
  EXPECT_EQ(a.m_size, 17u);
  a[17] = 4;
  EXPECT_EQ(a.m_alloc_size, 17u / 2 + 17 + 1);  // 26
}

TEST(ArrayTest, ReadingGrowsLikeWriting) {
  Array<unsigned long> a;
  unsigned long v = a[5];
  EXPECT_EQ(v, 0ul);  // never-written elements read as zero
  EXPECT_EQ(a.size(), 6u);
  EXPECT_EQ(a.m_alloc_size, 6u);
  // A read below the size does not change it.
  (void)a[2];
  EXPECT_EQ(a.size(), 6u);
}

TEST(ArrayTest, BaseIndex) {
  Array<short> a(5);
  EXPECT_EQ(a.base(), 5);
  a[5] = 50;
  a[8] = 80;
  EXPECT_EQ(a.size(), 4u);
  EXPECT_EQ(a.data()[0], 50);
  EXPECT_EQ(a.data()[3], 80);
  EXPECT_EQ(a.data()[1], 0);
  Array<int> negative(-3);
  negative[-3] = 7;
  negative[0] = 9;
  EXPECT_EQ(negative.size(), 4u);
  EXPECT_EQ(negative.data()[3], 9);
}

TEST(ArrayTest, SizedConstruction) {
  Array<int> a(0, 16384);
  EXPECT_EQ(a.m_alloc_size, 16384u);
  EXPECT_EQ(a.size(), 16384u);
  EXPECT_EQ(a[16383], 0);
  StaticArray<int> s(1, 4);
  EXPECT_EQ(s.size(), 4u);
  s[4] = 2;
  EXPECT_EQ(static_cast<int*>(s)[3], 2);
}

// Random accesses against std::vector: contents survive every growth, and
// elements never written read as zero.
TEST(ArrayTest, ContentsMatchAVectorUnderRandomAccess) {
  std::mt19937 rng(3);
  Array<int> a;
  std::vector<int> ref;
  for (int i = 0; i < 20000; i++) {
    // Mostly near the end (appending), sometimes a jump ahead.
    long limit = (long)ref.size() + (rng() % 50 == 0 ? 3000 : 3);
    long index = rng() % limit;
    if ((size_t)index >= ref.size()) ref.resize(index + 1, 0);
    if (rng() % 2) {
      int v = (int)rng();
      a[index] = v;
      ref[index] = v;
    } else {
      ASSERT_EQ(a[index], ref[index]) << "index " << index;
    }
    ASSERT_EQ(a.size(), ref.size());
    ASSERT_GE(a.m_alloc_size, a.m_size);
  }
  for (size_t i = 0; i < ref.size(); i++) ASSERT_EQ(a.data()[i], ref[i]);
}

TEST(ArrayTest, NestedArraysCopyAndMove) {
  Array<Array<short>> outer;
  for (int i = 0; i < 50; i++)
    for (int j = 0; j <= i % 7; j++) outer[i][j] = (short)(i * 10 + j);
  Array<Array<short>> copy(outer);
  outer[3][0] = -1;
  EXPECT_EQ(copy[3][0], 30);
  EXPECT_EQ(copy[49].size(), 49u % 7 + 1);
  Array<Array<short>> moved(std::move(copy));
  EXPECT_EQ(copy.size(), 0u);
  EXPECT_EQ(moved[48][6], 486);
  copy = moved;
  moved.clear();
  EXPECT_EQ(moved.size(), 0u);
  EXPECT_EQ(moved.m_data, nullptr);
  EXPECT_EQ(copy[48][6], 486);
  // A cleared array grows from nothing again.
  moved[2][1] = 5;
  EXPECT_EQ(moved.m_alloc_size, 3u);
}

TEST(ArrayTest, ConstAccess) {
  Array<int> a;
  a[3] = 4;
  const Array<int>& view = a;
  EXPECT_EQ(view[3], 4);
  EXPECT_EQ(view.size(), 4u);
}

TEST(ArrayDeathTest, IndexBelowTheBase) {
  Array<int> a(2);
  EXPECT_DEATH(a[1] = 0, "Array\\.h:[0-9]+: Assertion `offset >= 0' failed\\.");
  const Array<int>& view = a;
  EXPECT_DEATH((void)view[0], "Assertion `offset >= 0' failed");
  EXPECT_DEATH((void)view[2], "Assertion `offset < m_size' failed");
}

}  // namespace
