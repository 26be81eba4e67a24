// Throughput of LXSegment on one core with a single handle, over a synthetic
// 100,000-word dictionary and bigram model and a few MB of synthetic text,
// and the memory one handle takes.
//
// The resources are written by the test resource builder (compiled into this
// program: benchmarks do not link the test support library).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "../tests/support/resource_builder.cpp"
#include "LXSegFunc.h"
#include "seg/ClassSegPN.h"

namespace {

const size_t kWords = 100000;
const size_t kBigrams = 300000;
const size_t kTextBytes = 4u << 20;

struct Env {
  lxtest::ResourceDir dir;
  std::string gbk_text;
  std::string utf8_text;
  bool ok = false;

  Env() {
    const lxtest::ResourcePlan plan = lxtest::synthetic_resource_plan(kWords, kBigrams, 12345u);
    if (!dir.build(plan)) {
      std::fprintf(stderr, "cannot build the resources: %s\n", dir.error().c_str());
      return;
    }
    gbk_text = lxtest::synthetic_text(plan, kTextBytes, 777u);
    utf8_text = lxtest::utf8(gbk_text);
    ok = LXInitSeg(dir.path().c_str());
  }
  ~Env() { LXUnInitSeg(); }
};

Env& env() {
  static Env e;
  return e;
}

void Segment(benchmark::State& state, int mode, bool utf8) {
  Env& e = env();
  if (!e.ok) {
    state.SkipWithError("resources not loaded");
    return;
  }
  HANDLE h = LXCreateSegHandle(mode);
  const std::string& text = utf8 ? e.utf8_text : e.gbk_text;
  size_t tokens = 0;
  for (auto _ : state) {
    if (!LXSegment(h, text.data(), text.size(), utf8 ? LX_UTF8 : LX_GBK)) {
      state.SkipWithError("LXSegment failed");
      break;
    }
    tokens = (size_t)LXGetResultCnt(h);
    benchmark::DoNotOptimize(tokens);
  }
  // Throughput in bytes of UTF-8 text, whatever the input charset.
  const double mb = (double)e.utf8_text.size() / 1e6;
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)e.utf8_text.size());
  state.counters["UTF8_MB_per_s"] =
      benchmark::Counter(mb * (double)state.iterations(), benchmark::Counter::kIsRate);
  state.counters["tokens"] = (double)tokens;
  LXCloseSegHandle(h);
}

void BM_SegmentUtf8(benchmark::State& state) { Segment(state, 0, true); }
void BM_SegmentGbk(benchmark::State& state) { Segment(state, 0, false); }
// The mode of the command-line tool (custom words, tags, T2S ...).
void BM_SegmentUtf8Mode847(benchmark::State& state) {
  Segment(state, LX_ENGU | LX_GU | LX_POS | LX_USR | LX_CLS | LX_CN | LX_T2S, true);
}
void BM_SegmentUtf8Thick(benchmark::State& state) {
  Segment(state, LX_NEW_RES | LX_USR | LX_S2D | LX_U2L, true);
}

// Memory of one handle: the object itself plus what its constructor takes
// from the heap (conversion buffer, splitter, lattice items, arena ...).
void BM_HandleMemory(benchmark::State& state) {
  Env& e = env();
  if (!e.ok) {
    state.SkipWithError("resources not loaded");
    return;
  }
  size_t heap = 0;
  for (auto _ : state) {
    const size_t before = mallinfo2().uordblks;
    HANDLE h = LXCreateSegHandle(0);
    const size_t after = mallinfo2().uordblks;
    heap = after - before - sizeof(CSegmentPN);
    LXCloseSegHandle(h);
  }
  state.counters["sizeof_handle_KB"] = (double)sizeof(CSegmentPN) / 1024.0;
  state.counters["heap_after_construction_KB"] = (double)heap / 1024.0;
  state.counters["total_KB"] = (double)(heap + sizeof(CSegmentPN)) / 1024.0;
}

}  // namespace

BENCHMARK(BM_SegmentUtf8)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SegmentGbk)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SegmentUtf8Mode847)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SegmentUtf8Thick)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_HandleMemory)->Iterations(3);
