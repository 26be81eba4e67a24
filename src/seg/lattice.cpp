#include "seg/lattice.h"

#include <cstring>

CLattice::CLattice() : m_next_sidx(0), m_prev_end_idx(0), m_used_nodes(0) {
  std::memset(m_nodes, 0, sizeof(m_nodes));
  std::memset(m_back, 0, sizeof(m_back));
  for (uint32_t p = 0; p < kMaxNodes; ++p) {
    m_nodes[p].wsidx = kNoRange;
  }
  // Room for the usual sentence, so that building a lattice rarely allocates.
  (void)m_sentence_words[kInitialItems - 1];
  clear(kMaxNodes - 1);
}

void CLattice::clear(uint32_t n) {
  if (n >= kMaxNodes) n = kMaxNodes - 1;
  for (uint32_t p = 0; p <= n; ++p) {
    tNodeInfo& node = m_nodes[p];
    node.bBegin = node.bBest = node.bRule = node.bnAmb = false;
    node.ItemsNum = node.ItemsNumNER = 0;
    node.size = 0;
    node.nNextLen = 0;
    node.IdxMaxItemWeight = node.IdxMaxItemWeightOld = 0;
    node.MaxWeight = 0;
    node.wsidx = kNoRange;
    node.MaxItem = nullptr;
    node.pROLEPOS = nullptr;
  }
  m_nodes[0].bBegin = true;
  m_nodes[0].bBest = true;
  m_next_sidx = 0;
  m_used_nodes = n + 1;
}

void CLattice::init_node_item(tNodeInfo* node, uint32_t n) {
  const uint32_t needed = m_next_sidx + n;  // this index must exist afterwards
  if (needed >= m_sentence_words.m_alloc_size) {
    // The store will be reallocated: remember the chosen items by index.
    tSegItemInfo* base = m_sentence_words.data();
    size_t chosen[kMaxNodes];
    for (uint32_t p = 0; p < m_used_nodes; ++p)
      chosen[p] = m_nodes[p].MaxItem ? static_cast<size_t>(m_nodes[p].MaxItem - base) : SIZE_MAX;
    (void)m_sentence_words[needed];
    base = m_sentence_words.data();
    for (uint32_t p = 0; p < m_used_nodes; ++p)
      if (chosen[p] != SIZE_MAX) m_nodes[p].MaxItem = base + chosen[p];
  } else {
    (void)m_sentence_words[needed];
  }
  node->wsidx = m_next_sidx;
  node->size = n;
  m_next_sidx += n;
}

void CLattice::mark_best_path(uint32_t n, bool save_old) {
  tNodeInfo& last = m_nodes[n];
  tSegItemInfo* it = item(&last, last.IdxMaxItemWeight);
  last.bBest = true;
  last.nNextLen = 1;
  last.MaxItem = it;
  for (;;) {
    const uint32_t b = it->begin_pos;
    tNodeInfo& B = m_nodes[b];
    B.nNextLen = it->length;
    if (b == 0) break;
    const uint8_t pre = static_cast<uint8_t>(it->nPreIndex);
    B.MaxWeight = 0;
    B.IdxMaxItemWeight = pre;
    if (save_old) B.IdxMaxItemWeightOld = pre;
    B.bBest = true;
    it = item(&B, pre);
    B.MaxItem = it;
  }
}
