// Loading a 300,000-word basic dictionary, validation included.
//
// A synthetic dictionary (GBK words of one to four characters with POS,
// person-role and location-role lists, some sub-word records and rule
// records of types 87, 88 and 89) is written once to a temporary directory;
// the benchmarks then load it.  BM_LoadBasicDict is what initialisation
// pays; the others break it down.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "dict/BasicDict.h"
#include "dict/BasicDictWriter.h"

namespace {

const size_t kWords = 300000;

class SyntheticDict {
 public:
  SyntheticDict() {
    std::string tmpl =
        (std::filesystem::temp_directory_path() / "lx_basicdict_bench_XXXXXX").string();
    if (mkdtemp(&tmpl[0]) == nullptr) std::abort();
    dir_ = tmpl;
    lex_ = dir_ + "/Core.Lex";
    prop_ = dir_ + "/Core.Prop";

    std::mt19937 rng(2024);
    auto gbk_char = [&] {
      std::string c;
      c.push_back((char)(0xB0 + rng() % 72));
      c.push_back((char)(0xA1 + rng() % 94));
      return c;
    };
    std::set<std::string> words;
    std::vector<std::string> singles;
    while (words.size() < 6000) {
      std::string c = gbk_char();
      if (words.insert(c).second) singles.push_back(c);
    }
    while (words.size() < kWords) {
      unsigned r = rng() % 100;
      int chars = r < 60 ? 2 : r < 85 ? 3 : 4;
      std::string w;
      for (int k = 0; k < chars; k++) w += singles[rng() % singles.size()];
      words.insert(w);
    }

    auto list = [&](int max_len, uint8_t max_id) {
      std::vector<prop_item_t> v;
      for (int n = 1 + (int)(rng() % max_len); n > 0; n--)
        v.push_back(prop_item_t{(uint8_t)(1 + rng() % max_id), -(float)(rng() % 10000) / 1000.0f});
      return v;
    };
    CBasicDictWriter writer;
    for (const std::string& w : words) {
      basic_dict_entry_t e;
      e.word = w;
      e.pos = list(3, 48);
      e.roles = list(3, BasicDict_MaxRoleId);
      e.ln_roles = list(2, BasicDict_MaxRoleId);
      size_t chars = w.size() / 2;
      unsigned r = rng() % 1000;
      if (chars >= 2 && r < 10) {
        e.name_entity = kItemRule;
        e.rule = BasicDictRuleBlock({singles[rng() % 6000], singles[rng() % 6000]}, -0.5f);
      } else if (chars >= 2 && r < 15) {
        e.name_entity = kItemAmbRule;
        std::vector<rule_value_t> b1 = BasicDictRuleBlock({singles[rng() % 6000]}, -0.1f);
        std::vector<rule_value_t> b2 =
            BasicDictRuleBlock({singles[rng() % 6000], singles[rng() % 6000]}, -0.2f);
        b1.insert(b1.end(), b2.begin(), b2.end());
        e.rule = b1;
        e.pos = std::vector<prop_item_t>{{16, 0}, {16, 0}, {31, 0}};
      } else if (chars >= 2 && r < 17) {
        e.name_entity = kItemMulSeg;
        e.rule = BasicDictMulSegRecord(singles[rng() % 6000], singles[rng() % 6000], 16, 31,
                                       singles[rng() % 6000], singles[rng() % 6000], 31, 16);
      } else if (chars >= 2 && r < 70) {
        std::vector<subword_t> sw;
        for (size_t k = 0; k < chars; k++) sw.push_back(subword_t{2, (uint8_t)(1 + rng() % 48)});
        e.subwords = sw;
      }
      writer.add(e);
    }
    if (!writer.write(lex_.c_str(), prop_.c_str())) std::abort();
  }

  ~SyntheticDict() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  const std::string& lex() const { return lex_; }
  const std::string& prop() const { return prop_; }

 private:
  std::string dir_, lex_, prop_;
};

const SyntheticDict& Dict() {
  static SyntheticDict dict;
  return dict;
}

void BM_LoadBasicDict(benchmark::State& state) {
  const SyntheticDict& d = Dict();
  for (auto _ : state) {
    CBasicDict dict;
    if (!dict.loadBasicDict(d.lex().c_str(), d.prop().c_str())) {
      state.SkipWithError(dict.last_error().c_str());
      break;
    }
    benchmark::DoNotOptimize(dict.mWordNum);
  }
  state.counters["words"] = (double)kWords;
}
BENCHMARK(BM_LoadBasicDict)->Unit(benchmark::kMillisecond);

// The unit array alone (read, Darts checks, walk of every key without
// properties).
void BM_LoadDoubleArrayOnly(benchmark::State& state) {
  const SyntheticDict& d = Dict();
  for (auto _ : state) {
    CBasicDict dict;
    if (!dict._loadDict(d.lex().c_str())) {
      state.SkipWithError(dict.last_error().c_str());
      break;
    }
    benchmark::DoNotOptimize(dict.mBasicDict.size());
  }
}
BENCHMARK(BM_LoadDoubleArrayOnly)->Unit(benchmark::kMillisecond);

// The walk over every key on its own.
void BM_WalkAllKeys(benchmark::State& state) {
  const SyntheticDict& d = Dict();
  CBasicDict dict;
  if (!dict.loadBasicDict(d.lex().c_str(), d.prop().c_str())) {
    state.SkipWithError(dict.last_error().c_str());
    return;
  }
  const uint32_t* units = static_cast<const uint32_t*>(dict.mBasicDict.array());
  for (auto _ : state) {
    size_t keys = 0;
    auto count = [](void* ctx, uint32_t, size_t) {
      ++*static_cast<size_t*>(ctx);
      return true;
    };
    bool ok = DictTrieForEachKey(units, dict.mBasicDict.size(), 255, count, &keys);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(keys);
  }
  state.counters["units"] = (double)dict.mBasicDict.size();
}
BENCHMARK(BM_WalkAllKeys)->Unit(benchmark::kMillisecond);

}  // namespace
