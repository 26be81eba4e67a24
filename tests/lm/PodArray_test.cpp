#include "lm/PodArray.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

// Against std::vector: appends of random lengths across the size where the
// array moves onto huge pages, then settle(), keep every element, with or
// without room reserved part way (appends within it never move the array).
TEST(PodArrayTest, MatchesAVectorThroughGrowthAndSettling) {
  std::mt19937 rng(9);
  for (size_t target : {size_t(1000), size_t(700000)}) {  // 8-byte elements: 8 KB, 5.6 MB
    for (bool reserve : {false, true}) {
      PodArray<uint64_t> a;
      std::vector<uint64_t> ref;
      const uint64_t* reserved = nullptr;
      while (ref.size() < target) {
        if (reserve && reserved == nullptr && ref.size() > target / 3) {
          a.reserve(target + 5000);
          reserved = a.data();
        }
        if (reserved != nullptr) {
          ASSERT_EQ(a.data(), reserved);
        }
        const uint64_t value = (uint64_t(rng()) << 32) | rng();
        if (rng() % 2) {
          a.push_back(value);
          ref.push_back(value);
        } else {
          const size_t n = rng() % 5000;
          a.append(n, value);
          ref.insert(ref.end(), n, value);
        }
      }
      a.settle();
      ASSERT_EQ(a.size(), ref.size());
      EXPECT_EQ(a.bytes(), ref.size() * sizeof(uint64_t));
      EXPECT_EQ(std::vector<uint64_t>(a.data(), a.data() + a.size()), ref);
    }
  }
}

}  // namespace
