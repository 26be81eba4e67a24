// Cost of named-entity recognition and POS tagging: LXSegment over the same
// few hundred KB of GBK text in plain mode (rule-based path only) and with
// LX_CN | LX_LN | LX_POS, each reporting bytes per second, so that the ratio
// can be read off one run.  Two more runs split the cost between the entity
// stages and the tagger.
//
// The resources are written by the test resource builder (compiled into this
// program: benchmarks do not link the test support library): a synthetic
// 30,000-word dictionary whose single characters carry person and location
// role lists (surnames, given-name characters, transliteration and place
// characters), words with one or two POS tags, role and POS transition
// tables that favour the name patterns, and a person-name model that knows
// the person and location classes.  The text strings these words together
// and puts a Chinese name, a transliterated name or a place name every few
// words.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "../tests/support/resource_builder.cpp"
#include "LXSegFunc.h"

namespace {

const size_t kWords = 30000;
const size_t kBigrams = 90000;
const size_t kTextBytes = 400u << 10;

// Role ids.
enum : uint8_t {
  kB = 1, kC = 2, kD = 3, kE = 4, kK = 7, kH = 15, kI = 16, kT = 17,
  kLH = 20, kLM = 21, kLT = 22, kA = 50
};

struct NameChars {
  std::vector<std::string> surname, given, trans_head, trans_inner, trans_tail, place_head,
      place_tail, place_suffix;
};

// Turns the first 2000 words of a synthetic plan (single characters) into
// name characters and gives the other words role and tag lists.
lxtest::ResourcePlan NePlan(NameChars& nc) {
  lxtest::ResourcePlan s = lxtest::synthetic_resource_plan(kWords, kBigrams, 4242u);
  std::mt19937 rng(99u);
  std::uniform_int_distribution<int> dice(0, 99);
  std::uniform_int_distribution<int> tag(1, 48);
  for (size_t i = 0; i < s.words.size(); ++i) {
    basic_dict_entry_t& w = s.words[i];
    // A second POS tag for a third of the words.
    if (dice(rng) < 33) w.pos->push_back(prop_item_t{(uint8_t)tag(rng), -1.2f});
    if (w.word.size() != 2) {
      if (dice(rng) < 20) w.roles = std::vector<prop_item_t>{{kA, -0.05f}, {kK, -2.0f}};
      continue;
    }
    auto take = [&](std::vector<std::string>& list, std::vector<prop_item_t> roles,
                    std::vector<prop_item_t> ln_roles) {
      list.push_back(w.word);
      if (!roles.empty()) w.roles = roles;
      if (!ln_roles.empty()) w.ln_roles = ln_roles;
    };
    if (i < 60)
      take(nc.surname, {{kB, -0.3f}, {kA, -1.2f}}, {});
    else if (i < 360)
      take(nc.given, {{kC, -0.9f}, {kD, -0.9f}, {kE, -1.3f}, {kA, -0.6f}}, {});
    else if (i < 370)
      take(nc.trans_head, {{kH, -0.8f}, {kA, -1.0f}}, {});
    else if (i < 395)
      take(nc.trans_inner, {{kI, -0.9f}, {kA, -0.7f}}, {});
    else if (i < 405)
      take(nc.trans_tail, {{kT, -0.8f}, {kA, -1.0f}}, {});
    else if (i < 445)
      take(nc.place_head, {}, {{kLH, -0.7f}, {kA, -0.9f}});
    else if (i < 485)
      take(nc.place_tail, {}, {{kLT, -0.6f}, {kLM, -1.2f}, {kA, -1.0f}});
    else
      w.roles = std::vector<prop_item_t>{{kA, -0.2f}, {kC, -2.0f}, {kD, -2.0f}, {kE, -2.5f}};
  }
  for (size_t i = 0; i < 5; ++i) {
    nc.place_suffix.push_back(nc.place_tail[i]);
    s.loc_suffix.push_back({nc.place_tail[i], 2});
  }
  s.no_amb_xing.insert(s.no_amb_xing.end(), nc.surname.begin(), nc.surname.begin() + 20);
  s.pn_class_unigrams = {{lxtest::kTokPerson, -2.5f}, {lxtest::kTokLocation, -2.5f}};
  s.tt_prob = -2.0f;
  s.tt_bow = -1.0f;
  s.role_tt_cells = {{kB, kC, -0.4f, -1.0f}, {kC, kD, -0.4f, -1.0f}, {kB, kE, -0.7f, -1.0f},
                     {kH, kI, -0.5f, -1.0f}, {kI, kI, -0.6f, -1.0f}, {kI, kT, -0.5f, -1.0f}};
  s.ln_role_tt_cells = {{kLH, kLT, -0.5f, -1.0f}, {kLH, kLM, -0.8f, -1.0f},
                        {kLM, kLT, -0.5f, -1.0f}};
  return s;
}

// Synthetic text with a name or place every few words.
std::string NeText(const lxtest::ResourcePlan& plan, const NameChars& nc, size_t bytes) {
  std::mt19937 rng(2024u);
  std::uniform_int_distribution<int> dice(0, 99);
  auto any = [&](const std::vector<std::string>& v) { return v[rng() % v.size()]; };
  const std::string comma = lxtest::gbk("，");
  const std::string period = lxtest::gbk("。");
  std::string text;
  text.reserve(bytes + 64);
  int since_punct = 0;
  while (text.size() < bytes) {
    const int d = dice(rng);
    if (d < 8) {
      text += any(nc.surname) + any(nc.given);
      if (dice(rng) < 70) text += any(nc.given);
    } else if (d < 11) {
      text += any(nc.trans_head);
      for (int k = 1 + dice(rng) % 3; k > 0; --k) text += any(nc.trans_inner);
      text += any(nc.trans_tail);
    } else if (d < 16) {
      text += any(nc.place_head);
      if (dice(rng) < 30) text += any(nc.place_tail);
      text += any(nc.place_tail);
      if (dice(rng) < 50) text += any(nc.place_suffix);
    } else if (d < 18) {
      text += std::to_string(rng() % 10000);
    } else {
      text += plan.words[rng() % plan.words.size()].word;
    }
    if (++since_punct >= 8 + dice(rng) % 10) {
      text += dice(rng) < 70 ? comma : period;
      since_punct = 0;
    }
  }
  return text;
}

struct Env {
  lxtest::ResourceDir dir;
  std::string text;
  bool ok = false;

  Env() {
    NameChars nc;
    const lxtest::ResourcePlan plan = NePlan(nc);
    if (!dir.build(plan)) {
      std::fprintf(stderr, "cannot build the resources: %s\n", dir.error().c_str());
      return;
    }
    text = NeText(plan, nc, kTextBytes);
    ok = LXInitSeg(dir.path().c_str());
  }
  ~Env() { LXUnInitSeg(); }
};

Env& env() {
  static Env e;
  return e;
}

void Segment(benchmark::State& state, int mode) {
  Env& e = env();
  if (!e.ok) {
    state.SkipWithError("resources not loaded");
    return;
  }
  HANDLE h = LXCreateSegHandle(mode);
  size_t tokens = 0;
  for (auto _ : state) {
    if (!LXSegment(h, e.text.data(), e.text.size(), LX_GBK)) {
      state.SkipWithError("LXSegment failed");
      break;
    }
    tokens = (size_t)LXGetResultCnt(h);
    benchmark::DoNotOptimize(tokens);
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)e.text.size());
  state.counters["text_KB"] = (double)e.text.size() / 1024.0;
  state.counters["tokens"] = (double)tokens;
  LXCloseSegHandle(h);
}

void BM_Plain(benchmark::State& state) { Segment(state, 0); }
void BM_NamesAndPos(benchmark::State& state) { Segment(state, LX_CN | LX_LN | LX_POS); }
void BM_NamesOnly(benchmark::State& state) { Segment(state, LX_CN | LX_LN); }
void BM_PosOnly(benchmark::State& state) { Segment(state, LX_POS); }

}  // namespace

BENCHMARK(BM_Plain)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_NamesAndPos)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_NamesOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PosOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);
