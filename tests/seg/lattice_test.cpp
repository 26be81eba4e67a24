// The lattice: node reset, item ranges, capacities and the store's growth.
#include <gtest/gtest.h>

#include <memory>

#include "seg/lattice.h"

namespace {

tSegItemInfo make_item(uint32_t begin, uint32_t length, int type = kTypeSingleChar) {
  tSegItemInfo it{};
  it.begin_pos = begin;
  it.length = length;
  it.type = type;
  it.perIdx = 50;
  it.nAttributeIdx = kAttrSingleChar;
  return it;
}

TEST(Lattice, ClearResetsNodesUpToN) {
  auto lattice = std::make_unique<CLattice>();
  lattice->add_item(3, make_item(1, 2), 4);
  lattice->m_nodes[2].bnAmb = true;
  lattice->m_nodes[2].nNextLen = 7;
  lattice->clear(5);
  EXPECT_TRUE(lattice->m_nodes[0].bBegin);
  EXPECT_TRUE(lattice->m_nodes[0].bBest);
  EXPECT_EQ(lattice->m_nodes[0].ItemsNum, 0);
  for (uint32_t p = 1; p <= 5; ++p) {
    const tNodeInfo& n = lattice->m_nodes[p];
    EXPECT_FALSE(n.bBegin || n.bBest || n.bRule || n.bnAmb) << p;
    EXPECT_EQ(n.ItemsNum, 0) << p;
    EXPECT_EQ(n.size, 0u) << p;
    EXPECT_EQ(n.wsidx, kNoRange) << p;
    EXPECT_EQ(n.nNextLen, 0u) << p;
    EXPECT_EQ(n.MaxItem, nullptr) << p;
  }
  EXPECT_EQ(lattice->m_next_sidx, 0u);
}

TEST(Lattice, RangesAreConsecutive) {
  auto lattice = std::make_unique<CLattice>();
  lattice->clear(10);
  lattice->init_node_item(&lattice->m_nodes[2], 3);
  lattice->init_node_item(&lattice->m_nodes[5], 4);
  EXPECT_EQ(lattice->m_nodes[2].wsidx, 0u);
  EXPECT_EQ(lattice->m_nodes[2].size, 3u);
  EXPECT_EQ(lattice->m_nodes[5].wsidx, 3u);
  EXPECT_EQ(lattice->m_nodes[5].size, 4u);
  EXPECT_EQ(lattice->m_next_sidx, 7u);
}

TEST(Lattice, FullNodeRefusesItems) {
  auto lattice = std::make_unique<CLattice>();
  lattice->clear(10);
  for (int i = 0; i < 4; ++i) {
    tSegItemInfo* stored = lattice->add_item(4, make_item(2, 2), 4);
    ASSERT_NE(stored, nullptr) << i;
    EXPECT_EQ(stored, lattice->item(4, i));
  }
  EXPECT_EQ(lattice->add_item(4, make_item(2, 2), 4), nullptr);
  EXPECT_EQ(lattice->m_nodes[4].ItemsNum, 4);
  EXPECT_TRUE(lattice->m_nodes[4].bBegin);
}

TEST(Lattice, NodeNeverHoldsMoreThan255Items) {
  auto lattice = std::make_unique<CLattice>();
  lattice->clear(600);
  int stored = 0;
  for (int i = 0; i < 300; ++i)
    if (lattice->add_item(600, make_item(0, 600), 602)) ++stored;
  EXPECT_EQ(stored, 255);
  EXPECT_EQ(lattice->m_nodes[600].ItemsNum, 255);
}

TEST(Lattice, ChosenItemsFollowTheStoreWhenItGrows) {
  auto lattice = std::make_unique<CLattice>();
  lattice->clear(CLattice::kMaxNodes - 1);
  // Fill past the initial capacity; mark the chosen item of every node on the way.
  uint32_t p = 1;
  while (lattice->m_next_sidx < 3 * CLattice::kInitialItems && p < CLattice::kMaxNodes) {
    tSegItemInfo* it = lattice->add_item(p, make_item(p - 1, 1, static_cast<int>(p)), 4000);
    ASSERT_NE(it, nullptr);
    lattice->m_nodes[p].MaxItem = it;
    ++p;
  }
  ASSERT_GT(lattice->m_sentence_words.m_alloc_size, CLattice::kInitialItems);
  for (uint32_t q = 1; q < p; ++q) {
    ASSERT_EQ(lattice->m_nodes[q].MaxItem, lattice->item(q, 0)) << q;
    EXPECT_EQ(lattice->m_nodes[q].MaxItem->type, static_cast<int>(q));
  }
}

}  // namespace
