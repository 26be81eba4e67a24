// Read-only back-off bigram model laid out for one-word-context queries.
//
// Every word id has one record holding its unigram probability and, as a
// context, its back-off weight and where its successors are: an
// open-addressing hash table (linear probing, at most three quarters full)
// of (word, probability) pairs.  A query reads the records of its two words,
// which do not depend on each other, and then probes one table, usually
// within one cache line; a sorted list would cost a chain of dependent
// misses in the long lists of frequent words.
//
// Records are indexed directly for the ids up to the largest unigram, but
// at most about twice the number of unigrams; the few larger ids (such as the unknown word's)
// get records after those, found through a small sorted list.
//
// Ngram keeps a model whose contexts are single words in this form; the
// scores are those of its general walk, bit for bit.
#ifndef LX_LM_BIGRAM_TABLE_H
#define LX_LM_BIGRAM_TABLE_H

#include <cstddef>
#include <cstdint>

#include "lm/PodArray.h"
#include "lm/Prob.h"

class BigramTable {
 public:
  // Building, in the order of the model file: the root's back-off weight and
  // unigrams (ascending words; reserve_unigrams first, if the number is
  // known), then each context word (ascending) with its back-off weight and
  // its successors (any order, reserve_bigrams first with their number),
  // then finish().  An add_ that returns false (a key out of order or
  // repeated, or more successors than reserved) leaves the table unusable.
  void set_root_bow(LogP bow) { m_rootBow = bow; }
  void reserve_unigrams(uint32_t n);
  bool add_unigram(VocabIndex word, LogP prob);
  bool add_context(VocabIndex context);
  void set_context_bow(LogP bow) { m_current->bow = bow; }
  void reserve_bigrams(uint32_t n);
  bool add_bigram(VocabIndex word, LogP prob);
  // Optional, before the first context: room for the tables of at most
  // `bigrams` successors in all, so that they are built in place (on huge
  // pages where large) instead of being moved as they grow.
  void reserve_all_bigrams(unsigned long long bigrams);
  void finish();
  // Slots of the table of a context with n successors (0 for none).
  static size_t table_slots(uint32_t n);

  // Probability of `word` after the single context word `ctx` (Vocab_None:
  // no context), with back-off to the unigram or `unk`; pbbk as in
  // Ngram::word_prob (false when the bigram itself is stored).
  LogP prob(VocabIndex word, VocabIndex ctx, LogP unk, bool* pbbk) const {
    const Unit* w = unit(word);
    const Unit* c = unit(ctx);
    LogP logp = unk;
    LogP bow = LogP_One;
    unsigned found = 0;
    if (w != nullptr && (w->shape & kHasProb)) {
      logp = w->prob;
      found++;
    }
    if (c != nullptr && (c->shape & kHasContext)) {
      bow += c->bow;
      if (const LogP* p = find(*c, word)) {
        logp = *p;
        bow = LogP_One;
        found++;
      }
    }
    if (pbbk != nullptr) *pbbk = found != 2;
    return logp + bow;
  }
  // The unigram probability of a word, or null.
  const LogP* unigram(VocabIndex word) const {
    const Unit* w = unit(word);
    return w != nullptr && (w->shape & kHasProb) ? &w->prob : nullptr;
  }

  LogP root_bow() const { return m_rootBow; }
  unsigned long num_unigrams() const { return m_numUnigrams; }
  unsigned long num_bigrams() const { return m_numBigrams; }
  size_t bytes() const;

  // Calls unigram(word, prob) for every unigram, then, for every context,
  // context(ctx, bow) followed by bigram(ctx, word, prob) for its successors
  // (in no particular order within a context).
  template <class Visitor>
  void visit(Visitor& v) const {
    for (uint32_t i = 0; i < m_dense; i++)
      if (m_units[i].shape & kHasProb) v.unigram(i, m_units[i].prob);
    for (uint32_t i = 0; i < m_far.size(); i++)
      if (m_far[i].unit.shape & kHasProb) v.unigram(m_far[i].id, m_far[i].unit.prob);
    for (uint32_t i = 0; i < m_dense; i++) visit_context(v, i, m_units[i]);
    for (uint32_t i = 0; i < m_far.size(); i++) visit_context(v, m_far[i].id, m_far[i].unit);
  }

 private:
  struct Unit {
    LogP prob;       // with kHasProb
    LogP bow;        // with kHasContext
    uint32_t table;  // first slot of the successors' table
    uint32_t shape;  // flags; low bits: 64 - log2(table size), 0 for no table
  };
  struct Slot {
    VocabIndex word;  // kEmpty in a free slot
    LogP prob;
  };
  static const uint32_t kHasProb = 0x80000000u;
  static const uint32_t kHasContext = 0x40000000u;
  static const uint32_t kShiftMask = 0x7Fu;
  static const VocabIndex kEmpty = Vocab_None;  // never a stored word

  template <class Visitor>
  void visit_context(Visitor& v, VocabIndex id, const Unit& u) const {
    if (!(u.shape & kHasContext)) return;
    v.context(id, u.bow);
    const size_t size = slots_of(u);
    for (size_t s = 0; s < size; s++) {
      const Slot& slot = m_slots[u.table + s];
      if (slot.word != kEmpty) v.bigram(id, slot.word, slot.prob);
    }
  }
  static size_t slots_of(const Unit& u) {
    const uint32_t shift = u.shape & kShiftMask;
    return shift == 0 ? 0 : size_t(1) << (64 - shift);
  }
  static uint32_t home(VocabIndex word, uint32_t shift) {
    return static_cast<uint32_t>((word * 0x9E3779B97F4A7C15ull) >> shift);
  }

  struct FarUnit {
    VocabIndex id;
    Unit unit;
  };

  const Unit* unit(VocabIndex id) const {
    if (id < m_dense) return &m_units[id];
    return far_unit(id);
  }
  const Unit* far_unit(VocabIndex id) const;
  void end_unigrams();

  const LogP* find(const Unit& c, VocabIndex word) const {
    const uint32_t shift = c.shape & kShiftMask;
    if (shift == 0 || word == kEmpty) return nullptr;
    const uint32_t mask = static_cast<uint32_t>(slots_of(c) - 1);
    const Slot* table = m_slots.data() + c.table;
    for (uint32_t i = home(word, shift);; i = (i + 1) & mask) {
      const Slot& s = table[i];
      if (s.word == word) return &s.prob;
      if (s.word == kEmpty) return nullptr;
    }
  }

  PodArray<Unit> m_units;     // the direct records: m_units[id] for ids below m_dense
  PodArray<FarUnit> m_far;    // the other records, ascending by id
  PodArray<Slot> m_slots;     // the tables, one after the other
  uint32_t m_dense = 0;
  LogP m_rootBow = LogP_One;
  unsigned long m_numUnigrams = 0, m_numBigrams = 0;

  // Building state.
  bool m_inUnigrams = true;
  uint32_t m_farUnigrams = 0;  // far records made by add_unigram (the first ones)
  uint32_t m_denseEnd = 0;     // one past the largest direct unigram
  VocabIndex m_lastUnigram = 0, m_lastContext = 0;
  Unit* m_current = nullptr;   // the context being added
  uint32_t m_room = 0;         // successors it may still take
};

#endif  // LX_LM_BIGRAM_TABLE_H
