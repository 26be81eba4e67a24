#include "base/Array.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <vector>

namespace {

// Random accesses against std::vector, at several bases: contents survive
// every growth, elements never written read as zero (reads grow the array like
// writes), and growth takes half the old allocation more than the access needs.
TEST(ArrayTest, MatchesAVectorUnderRandomAccess) {
  std::mt19937 rng(3);
  for (int base : {0, 5, -3}) {
    Array<int> a(base);
    std::vector<int> ref;
    for (int i = 0; i < 8000; i++) {
      long index = rng() % ((long)ref.size() + (rng() % 50 == 0 ? 3000 : 3));
      unsigned alloc = a.m_alloc_size;
      if ((size_t)index >= ref.size()) ref.resize(index + 1, 0);
      if (rng() % 2) {
        a[index + base] = ref[index] = (int)rng();
      } else {
        ASSERT_EQ(a[index + base], ref[index]) << "index " << index;
      }
      ASSERT_EQ(a.size(), ref.size());
      ASSERT_EQ(a.m_alloc_size, (unsigned long)index < alloc ? alloc : alloc / 2 + index + 1);
    }
    const Array<int>& view = a;
    for (size_t i = 0; i < ref.size(); i++) ASSERT_EQ(view[(long)i + base], ref[i]);
  }
}

TEST(ArrayTest, NestedCopyAndMove) {
  StaticArray<int> s(1, 4);  // sized from the start
  EXPECT_EQ(std::make_pair(s.size(), &(s[4] = 2)), std::make_pair(4u, static_cast<int*>(s) + 3));
  Array<Array<short>> outer;
  for (int i = 0; i < 50; i++)
    for (int j = 0; j <= i % 7; j++) outer[i][j] = (short)(i * 10 + j);
  Array<Array<short>> copy(outer), moved;
  outer[3][0] = -1;
  moved = std::move(outer);
  copy = Array<Array<short>>(copy);
  EXPECT_EQ(std::make_tuple(copy[3][0], copy[49].size(), copy[48][6], moved[3][0], outer.size()), std::make_tuple(30, 1u, 486, -1, 0u));
  moved.clear();
  moved[2][1] = 5;  // a cleared array grows from nothing again
  EXPECT_EQ(std::make_pair(moved.size(), moved[2][1]), std::make_pair(3u, (short)5));
}

}  // namespace
