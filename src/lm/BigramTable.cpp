#include "lm/BigramTable.h"

#include <algorithm>

size_t BigramTable::table_slots(uint32_t n) {
  if (n == 0) return 0;
  // The smallest power of two that leaves a quarter free (and so at least
  // one free slot, which ends every probe sequence).
  size_t size = 2;
  while (size * 3 < size_t(n) * 4) size *= 2;
  return size;
}

// A zero-filled record has no probability, no context and no table.  The
// direct records grow with the ascending unigrams, the ids between them
// zero-filled, in room reserved for all of them: nothing is written (or even
// touched) beyond the largest direct unigram.
void BigramTable::reserve_unigrams(uint32_t n) {
  // The ids below about twice the number of words get direct records; sparse
  // high ids (such as the unknown word's) go to the far list.
  m_dense = static_cast<uint32_t>(std::min<size_t>(2 * size_t(n) + 64, 0xFFFFFFFEu));
  m_units.reserve(m_dense);
}

bool BigramTable::add_unigram(VocabIndex word, LogP prob) {
  if (!m_inUnigrams || (m_numUnigrams != 0 && word <= m_lastUnigram) || word == kEmpty) return false;
  if (m_dense == 0) reserve_unigrams(0);
  Unit* u;
  if (word < m_dense) {
    m_units.append(word + 1 - m_units.size(), Unit{0, 0, 0, 0});
    u = &m_units[word];
  } else {
    m_far.push_back(FarUnit{word, Unit{LogP_One, LogP_One, 0, 0}});
    u = &m_far.back().unit;
  }
  u->prob = prob;
  u->shape |= kHasProb;
  if (word < m_dense) m_denseEnd = word + 1;
  m_lastUnigram = word;
  m_numUnigrams++;
  return true;
}

// The direct records end after the largest direct unigram's.
void BigramTable::end_unigrams() {
  m_inUnigrams = false;
  m_dense = m_denseEnd;
  m_units.truncate(m_dense);
  m_farUnigrams = m_far.size();
}

bool BigramTable::add_context(VocabIndex context) {
  if (m_inUnigrams) {
    end_unigrams();
  } else if (m_current != nullptr && context <= m_lastContext) {
    return false;
  }
  if (context == kEmpty) return false;
  Unit* u = nullptr;
  if (context < m_dense) {
    u = &m_units[context];
  } else {
    // A far record of a unigram, or a new one (kept in order by finish()).
    FarUnit* first = m_far.data();
    FarUnit* last = first + m_farUnigrams;
    FarUnit* it = std::lower_bound(first, last, context,
                                   [](const FarUnit& f, VocabIndex id) { return f.id < id; });
    if (it != last && it->id == context) {
      u = &it->unit;
    } else {
      m_far.push_back(FarUnit{context, Unit{LogP_One, LogP_One, 0, 0}});
      u = &m_far.back().unit;
    }
  }
  u->shape |= kHasContext;
  m_current = u;
  m_lastContext = context;
  m_room = 0;
  return true;
}

void BigramTable::reserve_bigrams(uint32_t n) {
  const size_t size = table_slots(n);
  if (m_current == nullptr || size == 0 || (m_current->shape & kShiftMask) != 0) return;
  uint32_t k = 0;
  while ((size_t(1) << k) < size) k++;
  const Slot* table = m_slots.append(size, Slot{kEmpty, LogP_One});
  m_current->table = static_cast<uint32_t>(table - m_slots.data());
  m_current->shape |= 64 - k;
  m_room = n;
}

void BigramTable::reserve_all_bigrams(unsigned long long bigrams) {
  // A table is the smallest power of two at least 4/3 of its successors
  // (and at least 2), so less than 8/3 of them.
  if (bigrams > 0xFFFFFFFFull) return;
  m_slots.reserve(static_cast<size_t>((bigrams * 8 + 2) / 3));
}

bool BigramTable::add_bigram(VocabIndex word, LogP prob) {
  if (m_current == nullptr || m_room == 0 || word == kEmpty) return false;
  const uint32_t shift = m_current->shape & kShiftMask;
  const uint32_t mask = static_cast<uint32_t>(slots_of(*m_current) - 1);
  Slot* table = m_slots.data() + m_current->table;
  uint32_t i = home(word, shift);
  for (; table[i].word != kEmpty; i = (i + 1) & mask) {
    if (table[i].word == word) return false;  // a repeated key
  }
  table[i] = Slot{word, prob};
  m_room--;
  m_numBigrams++;
  return true;
}

void BigramTable::finish() {
  if (m_inUnigrams) end_unigrams();
  // The far records of contexts that were no unigrams were appended after
  // those of the unigrams: both runs ascend, merge them.
  std::inplace_merge(m_far.data(), m_far.data() + m_farUnigrams, m_far.data() + m_far.size(),
                     [](const FarUnit& a, const FarUnit& b) { return a.id < b.id; });
  m_far.trim();
  m_slots.settle();
  m_current = nullptr;
}

const BigramTable::Unit* BigramTable::far_unit(VocabIndex id) const {
  const FarUnit* first = m_far.data();
  const FarUnit* last = first + m_far.size();
  const FarUnit* it =
      std::lower_bound(first, last, id, [](const FarUnit& f, VocabIndex v) { return f.id < v; });
  if (it == last || it->id != id) return nullptr;
  return &it->unit;
}

size_t BigramTable::bytes() const {
  return sizeof(*this) + m_units.bytes() + m_far.bytes() + m_slots.bytes();
}
