// Lookups in LHash<unsigned, float>, the n-gram probability tables: hits and
// misses on tables of 1e3, 1e5 and 1e6 entries.  Keys are word ids spread over
// four times the table's size, queried in random order.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <unordered_map>
#include <vector>

#include "base/LHash.h"

namespace {

struct Fixture {
  LHash<unsigned, float> table;
  std::unordered_map<unsigned, float> reference;
  std::vector<unsigned> hits;
  std::vector<unsigned> misses;

  explicit Fixture(size_t n) {
    std::mt19937 rng(42);
    std::vector<unsigned> ids(4 * n);
    for (size_t i = 0; i < ids.size(); i++) ids[i] = (unsigned)i;
    std::shuffle(ids.begin(), ids.end(), rng);
    for (size_t i = 0; i < n; i++) {
      *table.insert(ids[i]) = -(float)i;
      reference[ids[i]] = -(float)i;
    }
    hits.assign(ids.begin(), ids.begin() + n);
    misses.assign(ids.begin() + n, ids.begin() + 2 * n);
    std::shuffle(hits.begin(), hits.end(), rng);
  }
};

Fixture& fixture(size_t n) {
  static Fixture f3(1000), f5(100000), f6(1000000);
  return n == 1000 ? f3 : n == 100000 ? f5 : f6;
}

void BM_LHashFindHit(benchmark::State& state) {
  Fixture& f = fixture(state.range(0));
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(f.table.find(f.hits[i]));
    if (++i == f.hits.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_LHashFindMiss(benchmark::State& state) {
  Fixture& f = fixture(state.range(0));
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(f.table.find(f.misses[i]));
    if (++i == f.misses.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

// For scale: the same hits in std::unordered_map.
void BM_UnorderedMapFindHit(benchmark::State& state) {
  Fixture& f = fixture(state.range(0));
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(f.reference.find(f.hits[i]));
    if (++i == f.hits.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_LHashFindHit)->Arg(1000)->Arg(100000)->Arg(1000000);
BENCHMARK(BM_LHashFindMiss)->Arg(1000)->Arg(100000)->Arg(1000000);
BENCHMARK(BM_UnorderedMapFindHit)->Arg(1000)->Arg(100000)->Arg(1000000);
