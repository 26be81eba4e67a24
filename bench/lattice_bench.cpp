// Lattice construction and rule-based best path over synthetic GBK text.
//
// A 100,000-word dictionary of GBK words (one to four characters, a few
// combination words), a bigram model over it, and about 400 KB of text made
// of dictionary words with some numbers and Latin words between them, cut
// into sentences of at most 2048 bytes as the sentence splitter would.
// Reports bytes per second of text.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "dict/BasicDict.h"
#include "dict/BasicDictWriter.h"
#include "lm/Ngram.h"
#include "seg/Factoid.h"
#include "seg/best_path.h"
#include "seg/lattice.h"
#include "seg/lattice_producer.h"

namespace fs = std::filesystem;

namespace {

struct Fixture {
  CBasicDict dict;
  Ngram lm{3};
  CFactoid factoid;
  std::vector<std::string> sentences;
  size_t bytes = 0;
  bool ok = false;

  Fixture() {
    std::mt19937 rng(42);
    // Level-1 GBK characters: lead 0xB0..0xD7, trail 0xA1..0xFE.
    auto random_char = [&]() {
      std::string c(2, '\0');
      c[0] = (char)(0xB0 + rng() % 40);
      c[1] = (char)(0xA1 + rng() % 94);
      return c;
    };
    std::set<std::string> seen;
    std::vector<std::string> list;
    const unsigned lengths[] = {1, 2, 2, 2, 2, 2, 3, 3, 4, 4};
    while (list.size() < 100000) {
      std::string w;
      const unsigned n = lengths[rng() % 10];
      for (unsigned k = 0; k < n; ++k) w += random_char();
      if (seen.insert(w).second) list.push_back(w);
    }
    CBasicDictWriter writer;
    for (size_t k = 0; k < list.size(); ++k) {
      basic_dict_entry_t e;
      e.word = list[k];
      e.name_entity = (k % 50 == 0 && list[k].size() >= 4) ? 90 : 0;
      e.pos = std::vector<prop_item_t>{{(uint8_t)(1 + k % 40), -0.5f}};
      writer.add(e);
    }
    std::string tmpl = (fs::temp_directory_path() / "lx_lattice_bench_XXXXXX").string();
    if (mkdtemp(&tmpl[0]) == nullptr) return;
    const std::string lex = tmpl + "/Core.Lex", prop = tmpl + "/Core.Prop";
    ok = writer.write(lex.c_str(), prop.c_str()) && dict.loadBasicDict(lex.c_str(), prop.c_str());
    std::error_code ec;
    fs::remove_all(tmpl, ec);
    if (!ok) return;

    // The model: every word and class a unigram; bigrams for frequent words.
    std::uniform_real_distribution<float> prob(-6.0f, -1.0f);
    VocabIndex root[] = {Vocab_None};
    BOnode& r = lm.contexts.insert_trie(root)->value();
    for (VocabIndex w = 0; w < dict.mWordNum; ++w) *r.probs.insert(w) = prob(rng);
    for (VocabIndex w : {kAttrSingleChar - 1, kAttrNumber - 1, kAttrAlnum - 1})
      *r.probs.insert(w) = -3.0f;
    lm.LogP_unk_word = -3.0f;
    for (int c = 0; c < 20000; ++c) {
      VocabIndex ctx[] = {(VocabIndex)(rng() % 5000), Vocab_None};
      BOnode& node = lm.contexts.insert_trie(ctx)->value();
      node.bow = -0.5f;
      for (int k = 0; k < 10; ++k) *node.probs.insert((VocabIndex)(rng() % 5000)) = prob(rng);
    }

    // The text: words drawn with a skewed distribution (frequent words
    // first), a number or a Latin word now and then.
    std::string sentence;
    while (bytes < 400000) {
      const double u = std::uniform_real_distribution<double>(0, 1)(rng);
      const size_t k = (size_t)(u * u * u * (double)list.size());
      std::string piece = list[k];
      if (rng() % 40 == 0) piece = std::to_string(rng() % 100000);
      if (rng() % 80 == 0) piece = "abc";
      sentence += piece;
      if (sentence.size() > 60 + rng() % 400 || sentence.size() > 2000) {
        bytes += sentence.size();
        sentences.push_back(sentence);
        sentence.clear();
      }
    }
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void BM_BuildLattice(benchmark::State& state) {
  Fixture& f = fixture();
  if (!f.ok) {
    state.SkipWithError("dictionary not built");
    return;
  }
  auto lattice = std::make_unique<CLattice>();
  auto producer = std::make_unique<CLatticeProducer>();
  producer->set_resource(lattice.get(), &f.dict, &f.factoid);
  for (auto _ : state) {
    for (const std::string& s : f.sentences) {
      producer->build_lattice(s.data(), (uint32_t)s.size());
      benchmark::DoNotOptimize(lattice->m_next_sidx);
    }
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)f.bytes);
}
BENCHMARK(BM_BuildLattice)->Unit(benchmark::kMillisecond);

void BM_BuildLatticeAndBestPath(benchmark::State& state) {
  Fixture& f = fixture();
  if (!f.ok) {
    state.SkipWithError("dictionary not built");
    return;
  }
  auto lattice = std::make_unique<CLattice>();
  auto producer = std::make_unique<CLatticeProducer>();
  producer->set_resource(lattice.get(), &f.dict, &f.factoid);
  VocabIndex wids[100];
  size_t words = 0;
  for (auto _ : state) {
    for (const std::string& s : f.sentences) {
      const uint32_t n = (uint32_t)s.size();
      producer->build_lattice(s.data(), n);
      rule_path_search(*lattice, n, f.dict, f.lm, Vocab_None, false, wids);
      if (rule_path_set(*lattice, n)) {
        for (size_t p = lattice->m_nodes[0].nNextLen; p <= n; p += lattice->m_nodes[p].nNextLen)
          ++words;
      }
    }
  }
  benchmark::DoNotOptimize(words);
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)f.bytes);
  state.counters["words/s"] =
      benchmark::Counter((double)words, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BuildLatticeAndBestPath)->Unit(benchmark::kMillisecond);

}  // namespace
