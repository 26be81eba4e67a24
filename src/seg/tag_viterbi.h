// Viterbi decoding of one hidden state per word of a sentence's chosen path,
// shared by the name-role tagger (seg/role_tagger.h) and the POS tagger
// (seg/pos_tagger.h).  States are single-byte ids (roles or POS tags); the
// model supplies each word's candidate list, the scores and where the result
// goes.
//
// Decoding.  The walk starts from the model's one-entry start list with score
// 0.  For each word, candidate k (state c, emission e) tries every previous
// candidate j (state p, score pre(j)) in list order with the transition
// m = transition(p, c):
//   - kEmissionAfterChoice: the predecessors compete on pre(j) + m and the
//     winner's total is e + (pre(j) + m);
//   - otherwise they compete on (m + e) + pre(j), which is also the total.
// (Both orders pick the same predecessor in exact arithmetic, but float
// rounding can tell them apart; each tagger keeps its own.)  The first j with
// the highest score is the back-pointer, so ties keep the earlier
// predecessor.  With kSkipWeakPredecessors, j is not tried when the best
// score so far already exceeds pre(j): with steps that never add to a score
// it could not win.  A candidate that no predecessor reaches above minus
// infinity (infinite or NaN scores) gets minus infinity and back-pointer 0,
// so that the trace-back always stays on valid list entries.  With
// kRestartForcedSteps, a word that does not begin the sentence and has a
// single candidate after a word with a single candidate is a forced step:
// back-pointer 0 and score kRestartScore.  After the last word the final
// candidate is the first with the highest pre(k) + close(state).
//
// The trace-back walks begin_pos from node n and hands every path item its
// state.  Per path node the decoding writes pROLEPOS (the candidate list,
// which points into the dictionary or a static list and is never written
// through) and the lattice's back-pointers of the node.
//
// Model interface (a small copyable object; all members const):
//   static constexpr bool kEmissionAfterChoice, kSkipWeakPredecessors,
//                         kRestartForcedSteps;
//   static constexpr float kRestartScore;
//   const uint8_t* start() -- the start list (its first entry is used);
//   const uint8_t* candidates(tNodeInfo& node, const tSegItemInfo& item,
//                             const LogP** emissions, uint32_t* count)
//       -- the word's list, its usable length (1..kMaxCandidates) and the
//          emissions of the list or null;
//   LogP emission(const LogP* emissions, uint32_t k, uint8_t state);
//   LogP transition(uint8_t prev, uint8_t cur);
//   LogP close(uint8_t state) -- score added to the final candidates;
//   void assign(tSegItemInfo& item, uint8_t state).
#ifndef LX_SEG_TAG_VITERBI_H
#define LX_SEG_TAG_VITERBI_H

#include <cstdint>
#include <utility>

#include "lm/Prob.h"
#include "seg/lattice.h"

// Decodes the chosen path of `lattice` for a sentence of n bytes with
// `model`.  The path must have passed tagger_path_is_consistent(lattice, n).
// `pre` and `cur` are score buffers as wide as the longest candidate list;
// they are reused, nothing is allocated.  The model is taken by value: a
// local copy lets the compiler keep its table pointer and flags in registers,
// where through a reference every byte store to the back-pointers could
// alias them and force reloads in the inner loop (measurably slower).
template <class Model>
void tagger_viterbi(CLattice& lattice, uint32_t n, const Model model, float* pre, float* cur) {
  const uint8_t* prev_states = model.start();
  uint32_t prev_count = 1;
  pre[0] = 0.0f;

  uint32_t p = 0;
  while (p < n) {
    p += static_cast<uint32_t>(lattice.m_nodes[p].nNextLen);
    tNodeInfo& node = lattice.m_nodes[p];
    const tSegItemInfo& item = *node.MaxItem;

    const LogP* emissions = nullptr;
    uint32_t count = 0;
    const uint8_t* states = model.candidates(node, item, &emissions, &count);
    node.pROLEPOS = const_cast<uint8_t*>(states);
    uint8_t* back = lattice.back_pointers(p);

    if (Model::kRestartForcedSteps && item.begin_pos != 0 && count == 1 && prev_count == 1) {
      // Nothing to choose: restart the score.
      back[0] = 0;
      cur[0] = Model::kRestartScore;
    } else {
      for (uint32_t k = 0; k < count; ++k) {
        const uint8_t c = states[k];
        const LogP emit = model.emission(emissions, k, c);
        float best = LogP_Zero;
        back[k] = 0;
        cur[k] = LogP_Zero;
        for (uint32_t j = 0; j < prev_count; ++j) {
          if (Model::kSkipWeakPredecessors && best > pre[j]) continue;
          const LogP m = model.transition(prev_states[j], c);
          const float s = Model::kEmissionAfterChoice ? pre[j] + m : m + emit + pre[j];
          if (s > best) {
            best = s;
            back[k] = static_cast<uint8_t>(j);
            cur[k] = Model::kEmissionAfterChoice ? emit + s : s;
          }
        }
      }
    }
    std::swap(pre, cur);
    prev_states = states;
    prev_count = count;
  }

  uint32_t k = 0;
  float best = LogP_Zero;
  for (uint32_t j = 0; j < prev_count; ++j) {
    const float v = pre[j] + model.close(prev_states[j]);
    if (v > best) {
      best = v;
      k = j;
    }
  }

  // The path was checked, so begin_pos leads back over the nodes the forward
  // pass visited, and every back-pointer indexes the previous word's list.
  p = n;
  while (p > 0) {
    tNodeInfo& node = lattice.m_nodes[p];
    tSegItemInfo& item = *node.MaxItem;
    model.assign(item, node.pROLEPOS[k]);
    k = lattice.back_pointers(p)[k];
    p = item.begin_pos;
  }
}

#endif  // LX_SEG_TAG_VITERBI_H
