// Language-model lookups and loading on a synthetic model of the size of the
// word model: 100,000 unigrams and 500,000 bigrams.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "lm/Ngram.h"

namespace {

const VocabIndex kUnigrams = 100000;
const unsigned kBigrams = 500000;

struct Fixture {
  std::unique_ptr<Ngram> lm;
  std::string path;
  // Query pairs (context word, word): about half are stored bigrams, the
  // others back off to the unigram.
  std::vector<std::pair<VocabIndex, VocabIndex>> queries;

  Fixture() : lm(new Ngram(3)) {
    std::mt19937 rng(20240601);
    VocabIndex rootPath[] = {Vocab_None};
    BOnode& root = lm->contexts.insert_trie(rootPath)->value();
    for (VocabIndex w = 0; w < kUnigrams; w++) {
      *root.probs.insert(w) = -2.0f - (LogP)(rng() % 50000) / 10000.0f;
    }
    *root.probs.insert(Vocab_Unknown) = -8.0f;

    // Skewed context choice: frequent words have many successors.
    std::vector<std::pair<VocabIndex, VocabIndex>> bigrams;
    std::uniform_real_distribution<double> u(0.0, 1.0);
    unsigned made = 0;
    while (made < kBigrams) {
      VocabIndex ctx = (VocabIndex)(kUnigrams * u(rng) * u(rng));
      VocabIndex word = rng() % kUnigrams;
      VocabIndex path[] = {ctx, Vocab_None};
      BOnode& node = lm->contexts.insert_trie(path)->value();
      node.bow = -0.1f - (LogP)(rng() % 1000) / 1000.0f;
      bool found;
      LogP* prob = node.probs.insert(word, found);
      if (found) continue;
      *prob = -1.0f - (LogP)(rng() % 30000) / 10000.0f;
      bigrams.push_back({ctx, word});
      made++;
    }
    lm->LogP_unk_word = -8.0f;

    for (unsigned i = 0; i < 65536; i++) {
      if (i % 2 == 0) {
        queries.push_back(bigrams[rng() % bigrams.size()]);
      } else {
        queries.push_back({(VocabIndex)(kUnigrams * u(rng) * u(rng)), rng() % (kUnigrams + 100)});
      }
    }

    path = (std::filesystem::temp_directory_path() /
            ("ngram_bench_" + std::to_string(getpid()) + ".bin"))
               .string();
    if (!lm->write_binary(path.c_str())) std::abort();
  }
  ~Fixture() { std::remove(path.c_str()); }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void BM_WordProbBigram(benchmark::State& state) {
  Fixture& f = fixture();
  const Ngram& lm = *f.lm;
  size_t i = 0;
  VocabIndex context[2] = {0, Vocab_None};
  for (auto _ : state) {
    const auto& q = f.queries[i++ & 65535];
    context[0] = q.first;
    benchmark::DoNotOptimize(lm.word_prob(q.second, context, 1, nullptr));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WordProbBigram);

void BM_WordProbBigramWithFlag(benchmark::State& state) {
  Fixture& f = fixture();
  const Ngram& lm = *f.lm;
  size_t i = 0, backoffs = 0;
  VocabIndex context[2] = {0, Vocab_None};
  for (auto _ : state) {
    const auto& q = f.queries[i++ & 65535];
    context[0] = q.first;
    bool bbk;
    benchmark::DoNotOptimize(lm.word_prob(q.second, context, 1, &bbk));
    backoffs += bbk;
  }
  state.counters["backoff_share"] = (double)backoffs / (double)state.iterations();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WordProbBigramWithFlag);

void BM_ReadBinary(benchmark::State& state) {
  Fixture& f = fixture();
  for (auto _ : state) {
    Ngram lm(3);
    if (!lm.read_binary(f.path.c_str())) state.SkipWithError("read_binary failed");
    benchmark::DoNotOptimize(lm.LogP_unk_word);
  }
  state.counters["file_MB"] = (double)std::filesystem::file_size(f.path) / 1e6;
}
BENCHMARK(BM_ReadBinary)->Unit(benchmark::kMillisecond);

}  // namespace
