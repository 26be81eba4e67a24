// Benchmarks of the double array on a synthetic GBK dictionary of 300,000
// words: building (with and without values), common-prefix search from every
// character of a long text (the lattice producer's use), exact-match search
// and loading from a file.
#include "base/DoubleArray.h"

#include <benchmark/benchmark.h>

#include <stdlib.h>  // mkdtemp

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <vector>

namespace {

// Deterministic generator (splitmix64), so that every run sees the same data.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

 private:
  std::uint64_t state_;
};

// One GBK character: lead 0xB0-0xF7, trail 0xA1-0xFE. Squaring a uniform
// number makes low codes more frequent, like the common characters of a
// real dictionary.
void AppendChar(Rng& rng, std::string& out) {
  const double a = rng.unit(), b = rng.unit();
  out += static_cast<char>(0xB0 + static_cast<int>(72 * a * a));
  out += static_cast<char>(0xA1 + static_cast<int>(94 * b * b));
}

struct Corpus {
  std::vector<std::string> words;  // sorted, unique
  std::vector<const char*> keys;
  std::vector<int> values;
  std::string text;                // about 2 MB of GBK text
  std::vector<std::size_t> order;  // a shuffled permutation of the words
};

Corpus MakeCorpus() {
  Corpus c;
  Rng rng(20240601);
  const std::size_t kWords = 300000;
  std::set<std::string> unique;  // sorted byte-wise, as build() needs
  while (unique.size() < kWords) {
    const double r = rng.unit();  // 1 to 4 characters: 10%, 55%, 20%, 15%
    const int chars = r < 0.10 ? 1 : r < 0.65 ? 2 : r < 0.85 ? 3 : 4;
    std::string w;
    for (int i = 0; i < chars; ++i) AppendChar(rng, w);
    unique.insert(w);
  }
  c.words.assign(unique.begin(), unique.end());
  for (std::size_t i = 0; i < c.words.size(); ++i) {
    c.keys.push_back(c.words[i].c_str());
    c.values.push_back(static_cast<int>(i));
  }
  // Text: mostly dictionary words, with some random characters between them.
  while (c.text.size() < 2000000) {
    if (rng.unit() < 0.8) {
      c.text += c.words[rng.next() % c.words.size()];
    } else {
      AppendChar(rng, c.text);
    }
  }
  c.order.resize(c.words.size());
  for (std::size_t i = 0; i < c.order.size(); ++i) c.order[i] = i;
  for (std::size_t i = c.order.size(); i > 1; --i) std::swap(c.order[i - 1], c.order[rng.next() % i]);
  return c;
}

const Corpus& GetCorpus() {
  static const Corpus corpus = MakeCorpus();
  return corpus;
}

const Darts::DoubleArray& GetDictionary() {
  static Darts::DoubleArray* da = [] {
    Darts::DoubleArray* d = new Darts::DoubleArray;
    const Corpus& c = GetCorpus();
    d->build(c.keys.size(), c.keys.data());
    return d;
  }();
  return *da;
}

void BM_Build(benchmark::State& state) {
  const Corpus& c = GetCorpus();
  const bool with_values = state.range(0) != 0;
  std::size_t units = 0;
  for (auto _ : state) {
    Darts::DoubleArray da;
    da.build(c.keys.size(), c.keys.data(), nullptr, with_values ? c.values.data() : nullptr);
    units = da.size();
  }
  state.counters["units"] = static_cast<double>(units);
  state.counters["keys/s"] = benchmark::Counter(
      static_cast<double>(c.keys.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Build)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

// commonPrefixSearch from the start of every character of the text.
void BM_CommonPrefixSearch(benchmark::State& state) {
  const Corpus& c = GetCorpus();
  const Darts::DoubleArray& da = GetDictionary();
  Darts::DoubleArray::result_pair_type results[64];
  const char* text = c.text.c_str();
  const std::size_t size = c.text.size();
  std::size_t matches = 0;
  for (auto _ : state) {
    for (std::size_t pos = 0; pos < size; pos += 2) {
      matches += da.commonPrefixSearch(text + pos, results, 64, size - pos);
    }
    benchmark::DoNotOptimize(matches);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
  state.counters["searches/s"] = benchmark::Counter(static_cast<double>(size / 2),
                                                    benchmark::Counter::kIsIterationInvariantRate);
  state.counters["matches/search"] =
      static_cast<double>(matches) / static_cast<double>(state.iterations() * (size / 2));
}
BENCHMARK(BM_CommonPrefixSearch)->Unit(benchmark::kMillisecond);

// The same over a NUL-terminated text, as the converters search it.
void BM_CommonPrefixSearchNulTerminated(benchmark::State& state) {
  const Corpus& c = GetCorpus();
  const Darts::DoubleArray& da = GetDictionary();
  int results[64];
  const char* text = c.text.c_str();
  const std::size_t size = c.text.size();
  std::size_t matches = 0;
  for (auto _ : state) {
    for (std::size_t pos = 0; pos < size; pos += 2) {
      matches += da.commonPrefixSearch(text + pos, results, 64);
    }
    benchmark::DoNotOptimize(matches);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
  state.counters["searches/s"] = benchmark::Counter(static_cast<double>(size / 2),
                                                    benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_CommonPrefixSearchNulTerminated)->Unit(benchmark::kMillisecond);

// exactMatchSearch of every dictionary word, in random order.
void BM_ExactMatchSearch(benchmark::State& state) {
  const Corpus& c = GetCorpus();
  const Darts::DoubleArray& da = GetDictionary();
  std::int64_t found = 0;
  for (auto _ : state) {
    for (std::size_t i : c.order) {
      const std::string& w = c.words[i];
      found += da.exactMatchSearch<int>(w.data(), w.size()) >= 0;
    }
    benchmark::DoNotOptimize(found);
  }
  if (found != static_cast<std::int64_t>(state.iterations() * c.words.size())) {
    state.SkipWithError("a dictionary word was not found");
  }
  state.counters["keys/s"] = benchmark::Counter(static_cast<double>(c.words.size()),
                                                benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ExactMatchSearch)->Unit(benchmark::kMillisecond);

// open() of the saved dictionary, including the validation of every unit.
// The file lives in a fresh directory of its own, removed afterwards.
void BM_Open(benchmark::State& state) {
  std::string dir = (std::filesystem::temp_directory_path() / "lx_darts_bench_XXXXXX").string();
  if (mkdtemp(&dir[0]) == nullptr) {
    state.SkipWithError("cannot create a temporary directory");
    return;
  }
  const std::string path = dir + "/dict.da";
  if (GetDictionary().save(path.c_str()) == 0) {
    for (auto _ : state) {
      Darts::DoubleArray da;
      if (da.open(path.c_str()) != 0) state.SkipWithError("cannot open the dictionary");
    }
    state.SetBytesProcessed(
        static_cast<std::int64_t>(state.iterations() * GetDictionary().total_size()));
  } else {
    state.SkipWithError("cannot save the dictionary");
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond);

}  // namespace
