// Shared pieces of the role-tagger and POS-tagger tests: a dictionary built
// for one test, hand-built chosen paths, transition tables, and an exhaustive
// search over all state sequences of a path, against which the Viterbi
// decoding of both taggers is compared.
#ifndef LX_TESTS_SEG_TAGGER_FIXTURE_H
#define LX_TESTS_SEG_TAGGER_FIXTURE_H

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "dict/BasicDict.h"
#include "dict/BasicDictWriter.h"
#include "lm/Prob.h"
#include "seg/lattice.h"
#include "support/test_dict.h"

namespace tagtest {

// Distinct two-byte Chinese characters.
inline std::string Chr(int i) { return {(char)(0xB0 + i / 94), (char)(0xA1 + i % 94)}; }

// A dictionary built with the writer; words are looked up by text.
class Dict {
 public:
  explicit Dict(const char* prefix = "lx_tagger_") : files_(prefix) {}
  void add(const basic_dict_entry_t& e) { ASSERT_TRUE(files_.add(e)); }
  void build() { ASSERT_TRUE(files_.write_and_load(dict)) << files_.error(); }
  uint32_t attr(const std::string& w) const {
    long i = files_.index_of(w);
    EXPECT_GE(i, 0);
    return (uint32_t)i + 1;
  }
  CBasicDict dict;

 private:
  lxtest::TestDict files_;
};

// One word of a hand-built path and the fields its item starts with.
struct W {
  std::string text;
  uint32_t attr;
  int type;
  uint8_t pos = 200;  // posIndex before tagging
};
const uint8_t kInitialPerIdx = 50, kInitialPerIdxLN = 77;

// Lays out the words as the chosen path of `lat` and returns the sentence
// text.  Every path node also holds, before the path item, a one-byte copy of
// it, so that a tagger reading any item but MaxItem shows.
inline std::string BuildPath(CLattice& lat, const std::vector<W>& words) {
  std::string text;
  for (const W& w : words) text += w.text;
  const uint32_t n = (uint32_t)text.size();
  lat.clear(n);
  uint32_t pos = 0;
  for (const W& w : words) {
    const uint32_t end = pos + (uint32_t)w.text.size();
    tSegItemInfo it{pos, end - pos, w.type, w.pos, kInitialPerIdx, kInitialPerIdxLN, false, 0, 0, w.attr};
    tSegItemInfo other = it;
    other.begin_pos = end - 1, other.length = 1;
    EXPECT_NE(lat.add_item(end, other, 4), nullptr);
    lat.m_nodes[end].MaxItem = lat.add_item(end, it, 4);
    EXPECT_NE(lat.m_nodes[end].MaxItem, nullptr);
    lat.m_nodes[end].bBest = true;
    lat.m_nodes[pos].nNextLen = end - pos;
    pos = end;
  }
  lat.m_nodes[n].nNextLen = 1;
  return text;
}

// One field of the path items, in sentence order.
inline std::vector<int> PathValues(const CLattice& lat, uint32_t n,
                                   uint8_t tSegItemInfo::*field) {
  std::vector<int> out;
  for (uint32_t p = n; p > 0; p = lat.m_nodes[p].MaxItem->begin_pos)
    out.insert(out.begin(), lat.m_nodes[p].MaxItem->*field);
  return out;
}

// A Dim x Dim transition table, row-major, every cell {prob, bow}.
template <uint32_t Dim>
struct Table {
  std::vector<CProbabilityNode> cells;
  explicit Table(LogP prob = -1.0f, LogP bow = -1.0f)
      : cells(Dim * Dim, CProbabilityNode{prob, bow}) {}
  CProbabilityNode& at(uint32_t p, uint32_t c) { return cells[p * Dim + c]; }
  const CProbabilityNode* data() const { return cells.data(); }
};

// --- Exhaustive reference ----------------------------------------------------

struct Cand { uint8_t state; LogP emit; };

// The states maximising, over all sequences of one candidate per word,
//   sum of trans(previous state, state) + emit, starting from `start`,
//   plus close(last state);
// of equal totals, the one smallest in candidate indexes compared from the
// last word backwards -- the order that "earlier predecessor, earlier final
// candidate" produces.  Sums are taken in double: with scores that are
// multiples of 0.5 they are exact, so equal totals are genuine ties.
//
// A Viterbi decoding that skips predecessors which cannot win, or restarts
// the score of a forced single-candidate step, still gives this result as
// long as no step adds to a score: every path goes through a forced step's
// candidate, and a skipped predecessor could at most tie, after the earlier
// one.
template <class Trans, class Close>
std::vector<int> ExhaustiveBest(const std::vector<std::vector<Cand>>& words, uint8_t start,
                                Trans trans, Close close) {
  const size_t m = words.size();
  std::vector<size_t> idx(m, 0), best_idx;
  double best = -INFINITY;
  for (;;) {
    double s = 0;
    uint8_t prev = start;
    for (size_t w = 0; w < m; ++w) {
      const Cand& c = words[w][idx[w]];
      s += (double)trans(prev, c.state) + c.emit;
      prev = c.state;
    }
    s += close(prev);
    bool better = best_idx.empty() || s > best;
    if (!better && s == best) {
      for (size_t w = m; w-- > 0;) {
        if (idx[w] != best_idx[w]) {
          better = idx[w] < best_idx[w];
          break;
        }
      }
    }
    if (better) best = s, best_idx = idx;
    size_t w = 0;
    while (w < m && ++idx[w] == words[w].size()) idx[w++] = 0;
    if (w == m) break;
  }
  std::vector<int> out;
  for (size_t w = 0; w < m; ++w) out.push_back(words[w][best_idx[w]].state);
  return out;
}

}  // namespace tagtest

#endif  // LX_TESTS_SEG_TAGGER_FIXTURE_H
