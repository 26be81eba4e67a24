// Name-role tagging: candidate lists (dictionary, fixed lists, caps), the
// transition rule, the closing column, tie-breaking, the forced-step restart,
// pruning, path checks, and agreement with an exhaustive search over all role
// sequences of random paths and tables.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "dict/BasicDict.h"
#include "dict/BasicDictWriter.h"
#include "dict/NerResource.h"
#include "seg/lattice.h"
#include "seg/role_tagger.h"
#include "seg/tagger_fixture.h"

namespace {

using tagtest::BuildPath;
using tagtest::Chr;
using tagtest::Dict;
using tagtest::W;

const uint32_t kDim = CRoleTagger::kRoleTableDim;
const uint8_t A = NE_ROLE_A, B = NE_ROLE_B, C = NE_ROLE_C, D = NE_ROLE_D, E = NE_ROLE_E;

using Table = tagtest::Table<kDim>;

basic_dict_entry_t Word(const std::string& w, std::vector<prop_item_t> roles,
                        std::vector<prop_item_t> ln_roles = {}, uint16_t ne = 0) {
  basic_dict_entry_t e;
  e.word = w;
  e.name_entity = ne;
  e.pos = std::vector<prop_item_t>{{16, -1.0f}};
  if (!roles.empty()) e.roles = roles;
  if (!ln_roles.empty()) e.ln_roles = ln_roles;
  return e;
}

std::vector<int> Roles(CLattice& lat, uint32_t n, bool location) {
  return tagtest::PathValues(lat, n, location ? &tSegItemInfo::perIdxLN : &tSegItemInfo::perIdx);
}

const std::string kSymbol = "\xA1\xA2";    // GBK symbol
const std::string kUnknown = "\xD6\xD0";   // a Chinese character not in the dictionaries below

class RoleTaggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dict_.add(Word(Chr(0), {{B, -1.0f}, {C, -2.0f}}, {{NE_ROLE_LH, -0.5f}}));
    dict_.add(Word(Chr(1), {{E, -0.5f}}, {{NE_ROLE_LT, -0.5f}}));
    dict_.add(Word(Chr(2), {{B, -0.5f}, {C, -0.5f}}, {{NE_ROLE_LH, -1.0f}, {NE_ROLE_LM, -1.0f}}));
    dict_.add(Word(Chr(3), {}));                           // no role lists
    dict_.add(Word(Chr(4), {{D, -0.5f}, {E, -0.5f}}, {}, 88));  // ambiguous rule word
    dict_.add(Word(Chr(5), {{D, -1.0f}}));
    dict_.build();
  }
  bool Tag(CLattice& lat, const std::string& text, const Table& t, size_t type) {
    return tagger_._ne_role_tag(lat, text.data(), (uint32_t)text.size(), dict_.dict, t.data(), type);
  }
  Dict dict_;
  CRoleTagger tagger_;
  CLattice lat_;
};

TEST_F(RoleTaggerTest, OneWordSentenceUsesStartRowAndClosingColumn) {
  Table t;
  t.at(A, B).m_Prob = -0.5f;  // B: -0.5 - 1 = -1.5, closes to -4.5
  t.at(A, C).m_Prob = -0.1f;  // C: -0.1 - 2 = -2.1, closes to -2.3
  t.at(B, 50).m_Prob = -3.0f;
  t.at(C, 50).m_Prob = -0.2f;
  std::string text = BuildPath(lat_, {{Chr(0), dict_.attr(Chr(0)), 0}});
  ASSERT_TRUE(Tag(lat_, text, t, CRoleTagger::PN));
  EXPECT_EQ(lat_.m_nodes[2].MaxItem->perIdx, C);
  EXPECT_EQ(lat_.m_nodes[2].MaxItem->perIdxLN, 77);  // location roles untouched
  EXPECT_EQ(lat_.item(2, 0)->perIdx, 50);            // other items untouched

  // Without the closing column B would have won.
  t.at(B, 50).m_Prob = -0.2f;
  ASSERT_TRUE(Tag(lat_, text, t, CRoleTagger::PN));
  EXPECT_EQ(lat_.m_nodes[2].MaxItem->perIdx, B);
}

TEST_F(RoleTaggerTest, FixedListsAndTheirEmissionColumn) {
  Table t;
  // Emissions of fixed-list roles come from m_Bow of column 0.
  t.at(A, 0).m_Bow = -3.0f;
  t.at(C, 0).m_Bow = -2.0f;
  t.at(D, 0).m_Bow = -0.5f;
  t.at(E, 0).m_Bow = -4.0f;
  std::string text = BuildPath(lat_, {{kUnknown, kAttrSingleChar, 55}});
  ASSERT_TRUE(Tag(lat_, text, t, CRoleTagger::PN));
  EXPECT_EQ(lat_.m_nodes[2].pROLEPOS, CNerResource::RoleTempSinglePos);
  EXPECT_EQ(lat_.m_nodes[2].MaxItem->perIdx, D);

  // Location tagging gives the unknown character {A}.
  ASSERT_TRUE(Tag(lat_, text, t, CRoleTagger::LN));
  EXPECT_EQ(lat_.m_nodes[2].pROLEPOS, CNerResource::RoleTempA);
  EXPECT_EQ(lat_.m_nodes[2].MaxItem->perIdxLN, A);
  EXPECT_EQ(lat_.m_nodes[2].MaxItem->perIdx, D);  // person roles stay

  // A GBK symbol, a one-byte word and a dictionary word without roles: {A}.
  text = BuildPath(lat_, {{kSymbol, kAttrSingleChar, 55}, {"x", kAttrSingleChar, 55},
                          {Chr(3), dict_.attr(Chr(3)), 0}});
  ASSERT_TRUE(Tag(lat_, text, t, CRoleTagger::PN));
  for (uint32_t p : {2u, 3u, 5u}) {
    EXPECT_EQ(lat_.m_nodes[p].pROLEPOS, CNerResource::RoleTempA) << p;
    EXPECT_EQ(lat_.m_nodes[p].MaxItem->perIdx, A) << p;
  }

  // Lead bytes at the edges of the symbol range.
  for (uint8_t lead : {0x80, 0xA0, 0xA1, 0xA9, 0xAA, 0xFE}) {
    tSegItemInfo it{};
    it.length = 2;
    it.nAttributeIdx = kAttrSingleChar;
    const char txt[3] = {(char)lead, (char)0xA1, 0};
    const LogP* probs = nullptr;
    uint32_t count = 0;
    const uint8_t* l = CRoleTagger::_get_word_roles(dict_.dict, it, txt, CRoleTagger::PN, &probs, &count);
    const bool chinese = lead < 0xA1 || lead > 0xA9;
    EXPECT_EQ(l, chinese ? CNerResource::RoleTempSinglePos : CNerResource::RoleTempA) << (int)lead;
    EXPECT_EQ(count, chinese ? 4u : 1u);
    EXPECT_EQ(probs, nullptr);
  }
}

TEST_F(RoleTaggerTest, DictionaryListsAndTypes88) {
  Table t;
  const LogP* probs = nullptr;
  uint32_t count = 0;
  tSegItemInfo it{};
  it.length = 2;
  it.nAttributeIdx = dict_.attr(Chr(2));
  const char* txt = "\xB0\xA3";
  const uint8_t* l = CRoleTagger::_get_word_roles(dict_.dict, it, txt, CRoleTagger::PN, &probs, &count);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(l[0], B);
  EXPECT_EQ(l[1], C);
  EXPECT_EQ(probs[1], -0.5f);
  l = CRoleTagger::_get_word_roles(dict_.dict, it, txt, CRoleTagger::LN, &probs, &count);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(l[1], NE_ROLE_LM);
  EXPECT_EQ(probs[0], -1.0f);

  // A type-88 or -88 item gets {A} whatever its list.
  it.nAttributeIdx = dict_.attr(Chr(4));
  for (int type : {88, -88}) {
    it.type = type;
    EXPECT_EQ(CRoleTagger::_get_word_roles(dict_.dict, it, txt, CRoleTagger::PN, &probs, &count),
              CNerResource::RoleTempA);
  }
  it.type = 0;
  EXPECT_EQ(CRoleTagger::_get_word_roles(dict_.dict, it, txt, CRoleTagger::PN, &probs, &count)[0], D);
  // nAttributeIdx 0 and values beyond the dictionary are no dictionary words.
  for (uint32_t a : {0u, 7u, 9999999u}) {
    it.nAttributeIdx = a;
    l = CRoleTagger::_get_word_roles(dict_.dict, it, "\xB0\xA1", CRoleTagger::PN, &probs, &count);
    EXPECT_EQ(l, CNerResource::RoleTempSinglePos) << a;
  }
}

TEST_F(RoleTaggerTest, TransitionRuleUsesRowAAfterAnEndedName) {
  Table t;
  // Person: E (end) -> B (begin) is scored from row A.
  t.at(E, B).m_Prob = -100.0f;
  t.at(A, B).m_Prob = 0.0f;
  EXPECT_EQ(CRoleTagger::_get_role_tran_prob(t.data(), E, B, CRoleTagger::PN), 0.0f);
  EXPECT_EQ(CRoleTagger::_get_role_tran_prob(t.data(), E, C, CRoleTagger::PN), -1.0f);
  EXPECT_EQ(CRoleTagger::_get_role_tran_prob(t.data(), E, B, CRoleTagger::LN), -100.0f);
  std::string text = BuildPath(lat_, {{Chr(1), dict_.attr(Chr(1)), 0}, {Chr(0), dict_.attr(Chr(0)), 0}});
  ASSERT_TRUE(Tag(lat_, text, t, CRoleTagger::PN));
  EXPECT_EQ(Roles(lat_, 4, false), (std::vector<int>{E, B}));
  // With the plain row, C would win.
  t.at(A, B).m_Prob = -100.0f;
  ASSERT_TRUE(Tag(lat_, text, t, CRoleTagger::PN));
  EXPECT_EQ(Roles(lat_, 4, false), (std::vector<int>{E, C}));

  // Location: LT (end) -> LH (begin) from row A; LT -> LM from its own row.
  Table l;
  l.at(NE_ROLE_LT, NE_ROLE_LH).m_Prob = -100.0f;
  l.at(A, NE_ROLE_LH).m_Prob = 0.0f;
  EXPECT_EQ(CRoleTagger::_get_role_tran_prob(l.data(), NE_ROLE_LT, NE_ROLE_LH, CRoleTagger::LN), 0.0f);
  EXPECT_EQ(CRoleTagger::_get_role_tran_prob(l.data(), NE_ROLE_LT, NE_ROLE_LH, CRoleTagger::PN), -100.0f);
  text = BuildPath(lat_, {{Chr(1), dict_.attr(Chr(1)), 0}, {Chr(2), dict_.attr(Chr(2)), 0}});
  ASSERT_TRUE(Tag(lat_, text, l, CRoleTagger::LN));
  EXPECT_EQ(Roles(lat_, 4, true), (std::vector<int>{NE_ROLE_LT, NE_ROLE_LH}));
  EXPECT_EQ(Roles(lat_, 4, false), (std::vector<int>{50, 50}));  // person roles untouched

  // The role classes.
  for (int r = 0; r < 54; ++r) {
    const bool pb = r == 1 || r == 12 || r == 13 || r == 15 || r == 19;
    const bool pe = r == 3 || r == 4 || r == 6 || r == 11 || r == 13 || r == 14 || r == 17 ||
                    r == 18 || r == 19 || r == 28;
    const bool lb = r == 20 || r == 29 || r == 31;
    const bool le = r == 22 || r == 29 || r == 33;
    EXPECT_EQ(CRoleTagger::_is_pn_mode_begin_role((uint8_t)r), pb) << r;
    EXPECT_EQ(CRoleTagger::_is_pn_mode_end_role((uint8_t)r), pe) << r;
    EXPECT_EQ(CRoleTagger::_is_ln_mode_begin_role((uint8_t)r), lb) << r;
    EXPECT_EQ(CRoleTagger::_is_ln_mode_end_role((uint8_t)r), le) << r;
  }
}

TEST_F(RoleTaggerTest, TiesKeepTheEarlierCandidate) {
  Table t;  // uniform: every sequence over Chr(2) x Chr(2) scores the same
  std::string text = BuildPath(lat_, {{Chr(2), dict_.attr(Chr(2)), 0}, {Chr(2), dict_.attr(Chr(2)), 0}});
  ASSERT_TRUE(Tag(lat_, text, t, CRoleTagger::PN));
  EXPECT_EQ(Roles(lat_, 4, false), (std::vector<int>{B, B}));
  EXPECT_EQ(lat_.m_nodes[4].pRole[0], 0);
  EXPECT_EQ(lat_.m_nodes[4].pRole[1], 0);
  // Make C the better predecessor of C only: the final tie (B vs C at the
  // end) still goes to the earlier candidate when the totals are equal.
  t.at(C, C).m_Prob = 0.0f;
  t.at(B, 50).m_Prob = 0.0f;  // B closes 1.0 better, C's path is 1.0 better
  ASSERT_TRUE(Tag(lat_, text, t, CRoleTagger::PN));
  EXPECT_EQ(lat_.m_nodes[4].pRole[1], 1);
  EXPECT_EQ(Roles(lat_, 4, false), (std::vector<int>{B, B}));
}

TEST_F(RoleTaggerTest, ForcedStepsRestartTheScore) {
  Table t;
  // The first word, Chr(1) = {E}, cannot be reached: minus infinity.  The
  // second, Chr(5) = {D}, is a forced step after a single candidate and
  // restarts at -10, so that the third, Chr(2) = {B, C}, can choose C on its
  // merits; without the restart both would be minus infinity and the first
  // candidate, B, would stay.
  t.at(A, E).m_Prob = LogP_Zero;
  t.at(D, C).m_Prob = -0.5f;  // C: -0.5 - 0.5 - 10 = -11; B (row A): -1 - 0.5 - 10
  std::string text = BuildPath(lat_, {{Chr(1), dict_.attr(Chr(1)), 0},
                                      {Chr(5), dict_.attr(Chr(5)), 0},
                                      {Chr(2), dict_.attr(Chr(2)), 0}});
  ASSERT_TRUE(Tag(lat_, text, t, CRoleTagger::PN));
  EXPECT_EQ(lat_.m_nodes[4].pRole[0], 0);
  EXPECT_EQ(Roles(lat_, 6, false), (std::vector<int>{E, D, C}));

  // A single-candidate first word is no forced step: it begins the
  // sentence, keeps minus infinity, and so does everything after it; the
  // first candidates are kept.
  text = BuildPath(lat_, {{Chr(1), dict_.attr(Chr(1)), 0}, {Chr(2), dict_.attr(Chr(2)), 0}});
  ASSERT_TRUE(Tag(lat_, text, t, CRoleTagger::PN));
  EXPECT_EQ(Roles(lat_, 4, false), (std::vector<int>{E, B}));
}

TEST_F(RoleTaggerTest, PredecessorsThatCannotImproveAreSkipped) {
  // Chr(0) = {B -1, C -2}, then Chr(5) = {D -1}; all other cells 0.
  Table t(0.0f, 0.0f);
  t.at(B, D).m_Prob = 1.0f;  // B -> D: 1 - 1 + (-1) = -1, above pre(C) = -2
  t.at(C, D).m_Prob = 5.0f;  // C -> D would give 5 - 1 - 2 = 2, but is never tried
  std::string text = BuildPath(lat_, {{Chr(0), dict_.attr(Chr(0)), 0}, {Chr(5), dict_.attr(Chr(5)), 0}});
  ASSERT_TRUE(Tag(lat_, text, t, CRoleTagger::PN));
  EXPECT_EQ(Roles(lat_, 4, false), (std::vector<int>{B, D}));
  // Once the best so far does not exceed pre(C), C is tried and wins.
  t.at(B, D).m_Prob = 0.0f;  // best after B: -2 = pre(C)
  ASSERT_TRUE(Tag(lat_, text, t, CRoleTagger::PN));
  EXPECT_EQ(Roles(lat_, 4, false), (std::vector<int>{C, D}));
}

TEST_F(RoleTaggerTest, RefusesBrokenPathsAndOtherTypesWithoutWriting) {
  Table t;
  std::string text = BuildPath(lat_, {{Chr(0), dict_.attr(Chr(0)), 0}, {Chr(1), dict_.attr(Chr(1)), 0}});
  EXPECT_FALSE(Tag(lat_, text, t, 3));
  EXPECT_FALSE(Tag(lat_, text, t, 0));
  EXPECT_FALSE(tagger_._ne_role_tag(lat_, nullptr, 4, dict_.dict, t.data(), CRoleTagger::PN));
  EXPECT_FALSE(tagger_._ne_role_tag(lat_, text.data(), 4, dict_.dict, nullptr, CRoleTagger::PN));
  EXPECT_FALSE(tagger_._ne_role_tag(lat_, text.data(), 0, dict_.dict, t.data(), CRoleTagger::PN));
  EXPECT_FALSE(tagger_._ne_role_tag(lat_, text.data(), CLattice::kMaxNodes, dict_.dict, t.data(),
                                    CRoleTagger::PN));
  // n shorter than the path: the word crossing n does not end at n.
  EXPECT_FALSE(tagger_._ne_role_tag(lat_, text.data(), 3, dict_.dict, t.data(), CRoleTagger::PN));

  auto expect_untouched = [&] {
    EXPECT_EQ(lat_.m_nodes[4].MaxItem ? lat_.m_nodes[4].MaxItem->perIdx : 50, 50);
    EXPECT_EQ(lat_.m_nodes[2].pROLEPOS, nullptr);
    EXPECT_EQ(lat_.m_nodes[4].pROLEPOS, nullptr);
  };
  expect_untouched();

  lat_.m_nodes[2].nNextLen = 0;  // a walk that would not advance
  EXPECT_FALSE(Tag(lat_, text, t, CRoleTagger::PN));
  lat_.m_nodes[2].nNextLen = 3;  // beyond the sentence
  EXPECT_FALSE(Tag(lat_, text, t, CRoleTagger::PN));
  lat_.m_nodes[2].nNextLen = 2;
  tSegItemInfo* last = lat_.m_nodes[4].MaxItem;
  last->begin_pos = 1;  // the backward walk would not meet the forward one
  EXPECT_FALSE(Tag(lat_, text, t, CRoleTagger::PN));
  last->begin_pos = 2;
  last->length = 1;
  EXPECT_FALSE(Tag(lat_, text, t, CRoleTagger::PN));
  last->length = 2;
  lat_.m_nodes[4].MaxItem = nullptr;
  EXPECT_FALSE(Tag(lat_, text, t, CRoleTagger::PN));
  tSegItemInfo outside = *last;  // not in the item store
  lat_.m_nodes[4].MaxItem = &outside;
  EXPECT_FALSE(Tag(lat_, text, t, CRoleTagger::PN));
  lat_.m_nodes[4].MaxItem = nullptr;
  expect_untouched();
  lat_.m_nodes[4].MaxItem = last;
  EXPECT_TRUE(Tag(lat_, text, t, CRoleTagger::PN));
}

// A dictionary made in memory, bypassing the loader's checks, with lists the
// loader would refuse: too long, and with ids beyond the table.
TEST(RoleTaggerCaps, LongListsAndLargeIdsAreCut) {
  CBasicDict d;
  d.mWordNum = 2;
  d.mPropDict.m_word_info = new word_prop_t[2]();
  const uint32_t len = 70;
  d.mPropDict.m_Rol = new uint8_t[len + 1 + 4];
  d.mPropDict.m_RolProb = new LogP[len + 1 + 4];
  for (uint32_t i = 0; i < len; ++i) {
    d.mPropDict.m_Rol[i] = (uint8_t)(1 + i % 33);
    d.mPropDict.m_RolProb[i] = -5.0f;
  }
  d.mPropDict.m_Rol[len - 1] = 40;         // the best role, beyond the cap
  d.mPropDict.m_RolProb[len - 1] = 0.0f;
  d.mPropDict.m_Rol[len] = 0;
  // Word 1: {B, 60, C}: only B can be used.
  d.mPropDict.m_Rol[len + 1] = B;
  d.mPropDict.m_Rol[len + 2] = 60;
  d.mPropDict.m_Rol[len + 3] = C;
  d.mPropDict.m_Rol[len + 4] = 0;
  d.mPropDict.m_Rol_num = d.mPropDict.m_RolProb_num = len + 5;
  d.mPropDict.m_word_info[0].m_role_sidx = 0;
  d.mPropDict.m_word_info[1].m_role_sidx = len + 1;
  for (int w = 0; w < 2; ++w) {
    d.mPropDict.m_word_info[w].m_pos_sidx = Prop_None;
    d.mPropDict.m_word_info[w].m_ln_role_sidx = Prop_None;
    d.mPropDict.m_word_info[w].m_seg_rule_sidx = Prop_None;
  }

  tSegItemInfo it{};
  it.length = 2;
  it.nAttributeIdx = 1;
  const LogP* probs = nullptr;
  uint32_t count = 0;
  CRoleTagger::_get_word_roles(d, it, "\xB0\xA1", CRoleTagger::PN, &probs, &count);
  EXPECT_EQ(count, CRoleTagger::kMaxCandidates);
  it.nAttributeIdx = 2;
  CRoleTagger::_get_word_roles(d, it, "\xB0\xA1", CRoleTagger::PN, &probs, &count);
  EXPECT_EQ(count, 1u);

  // Tagging a sentence of the long word twice stays inside the buffers.
  CLattice lat;
  std::string text = BuildPath(lat, {{"\xB0\xA1", 1, 0}, {"\xB0\xA2", 1, 0}, {"\xB0\xA3", 2, 0}});
  std::vector<CProbabilityNode> table(kDim * kDim, CProbabilityNode{-1.0f, -1.0f});
  CRoleTagger tagger;
  ASSERT_TRUE(tagger._ne_role_tag(lat, text.data(), 6, d, table.data(), CRoleTagger::PN));
  // All usable candidates tie, so the first (B) wins.
  EXPECT_EQ(Roles(lat, 6, false), (std::vector<int>{B, B, B}));
}

// --- Look-ups of the entity recognizers ------------------------------------

struct RoleEntry {
  size_t prop_idx;
  size_t role_idx;
};

class RoleLookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const uint8_t DH = NE_ROLE_D_HALF, X = NE_ROLE_X, XH = NE_ROLE_X_HALF;
    dict_.add(Word(Chr(0), {{DH, -2.5f}}, {{NE_ROLE_LH, -1.5f}}));
    dict_.add(Word(Chr(1), {{X, -1.0f}, {XH, -4.0f}}));
    dict_.add(Word(Chr(2), {{B, -2.0f}, {D, -7.0f}, {DH, -3.0f}, {E, -9.8f}}));
    dict_.add(Word(Chr(3), {}, {}, (1u << 11) | 90));
    dict_.add(Word(Chr(4), {{C, -10.5f}}));
    dict_.build();
    for (int i = 0; i < 5; ++i) idx_[i] = dict_.attr(Chr(i)) - 1;
  }
  float Prob(int w, size_t role, size_t type) {
    return CRoleTagger::_getNameCharRoleProb(dict_.dict, idx_[w], role, type);
  }
  Dict dict_;
  size_t idx_[5];
};

TEST_F(RoleLookupTest, RoleProbabilityOfAWord) {
  EXPECT_EQ(Prob(0, D, 1), -2.5f);  // D finds D_HALF
  EXPECT_EQ(Prob(0, NE_ROLE_D_HALF, 1), -2.5f);
  EXPECT_EQ(Prob(1, NE_ROLE_X_HALF, 1), -1.0f);  // the first of the pair in the list
  EXPECT_EQ(Prob(1, NE_ROLE_X, 1), -1.0f);
  EXPECT_EQ(Prob(2, D, 1), -7.0f);
  EXPECT_EQ(Prob(2, NE_ROLE_D_HALF, 1), -7.0f);
  EXPECT_EQ(Prob(2, C, 1), -9.8f);  // not in the list
  EXPECT_EQ(Prob(3, B, 1), -3.0f);  // no list
  // Location lists: every role matches only itself.
  EXPECT_EQ(Prob(0, NE_ROLE_LH, 2), -1.5f);
  EXPECT_EQ(Prob(0, D, 2), -9.8f);
  EXPECT_EQ(Prob(1, B, 2), -3.0f);
  // Outside the dictionary.
  EXPECT_EQ(CRoleTagger::_getNameCharRoleProb(dict_.dict, (size_t)-1, B, 1), -3.0f);
  EXPECT_EQ(CRoleTagger::_getNameCharRoleProb(dict_.dict, 5, B, 1), -3.0f);
}

TEST_F(RoleLookupTest, EntityWeight) {
  RoleEntry two[2] = {{idx_[2], B}, {idx_[2], E}};  // -2.0 and -9.8
  EXPECT_FLOAT_EQ(CRoleTagger::_compute_ne_weight(dict_.dict, two, 2, 1), -11.8f);
  EXPECT_EQ(CRoleTagger::_compute_ne_weight(dict_.dict, two, 1, 1), 0.0f);
  two[1] = {idx_[4], C};  // -10.5: below the floor
  EXPECT_EQ(CRoleTagger::_compute_ne_weight(dict_.dict, two, 2, 1), 0.0f);
  // A count beyond the array is clamped to it.
  RoleEntry three[3] = {{idx_[2], B}, {idx_[0], D}, {idx_[0], NE_ROLE_LH}};
  EXPECT_FLOAT_EQ(CRoleTagger::_compute_ne_weight(dict_.dict, three, 40, 2), -3.0f - 9.8f - 1.5f);  // no list, no match, LH
}

TEST_F(RoleLookupTest, FindRoleAndCombinationBit) {
  EXPECT_EQ(CRoleTagger::_find_role(dict_.dict, idx_[2], D), 1);
  EXPECT_EQ(CRoleTagger::_find_role(dict_.dict, idx_[0], D), 0);  // only D_HALF there
  EXPECT_EQ(CRoleTagger::_find_role(dict_.dict, idx_[0], NE_ROLE_LH), 0);  // person list only
  EXPECT_EQ(CRoleTagger::_find_role(dict_.dict, 10000000, B), 0);
  EXPECT_EQ(CRoleTagger::_find_role(dict_.dict, 5, B), 0);
  EXPECT_TRUE(CRoleTagger::_is_comb(dict_.dict, (int)idx_[3]));
  EXPECT_FALSE(CRoleTagger::_is_comb(dict_.dict, (int)idx_[2]));
  EXPECT_FALSE(CRoleTagger::_is_comb(dict_.dict, -1));
  EXPECT_FALSE(CRoleTagger::_is_comb(dict_.dict, 5));
}

TEST(RoleLookup, GetItemSkipsCombinationAndRuleItems) {
  CLattice lat;
  lat.clear(4);
  EXPECT_EQ(CRoleTagger::_get_item(lat, &lat.m_nodes[4], 2, true), nullptr);  // no items
  struct ItemDef {
    uint32_t begin;
    int type;
    bool comb;
  };
  const ItemDef defs[] = {{2, 90, true}, {2, 89, false}, {2, -88, false}, {2, 0, false}, {1, 0, false}};
  for (const ItemDef& sp : defs) {
    tSegItemInfo it{};
    it.begin_pos = sp.begin;
    it.length = 4 - sp.begin;
    it.type = sp.type;
    it.bcomb = sp.comb;
    ASSERT_NE(lat.add_item(4, it, 8), nullptr);
  }
  EXPECT_EQ(CRoleTagger::_get_item(lat, &lat.m_nodes[4], 2, false), lat.item(4, 3));
  EXPECT_EQ(CRoleTagger::_get_item(lat, &lat.m_nodes[4], 2, true), lat.item(4, 2));
  EXPECT_EQ(CRoleTagger::_get_item(lat, &lat.m_nodes[4], 1, false), lat.item(4, 4));
  EXPECT_EQ(CRoleTagger::_get_item(lat, &lat.m_nodes[4], 0, true), nullptr);
  EXPECT_EQ(CRoleTagger::_get_item(lat, nullptr, 0, true), nullptr);
}

// --- Exhaustive reference ---------------------------------------------------

using tagtest::Cand;

bool RefBegin(uint8_t r, size_t type) {
  if (type == 1) return r == 1 || r == 12 || r == 13 || r == 15 || r == 19;
  return r == 20 || r == 29 || r == 31;
}
bool RefEnd(uint8_t r, size_t type) {
  if (type == 1)
    return r == 3 || r == 4 || r == 6 || r == 11 || r == 13 || r == 14 || r == 17 || r == 18 ||
           r == 19 || r == 28;
  return r == 22 || r == 29 || r == 33;
}

// The tagger's model for the exhaustive search: start from A, transitions
// with the begin/end rule, closing column 50.
std::vector<int> Reference(const std::vector<std::vector<Cand>>& words,
                           const std::vector<CProbabilityNode>& t, size_t type) {
  auto trans = [&](uint8_t p, uint8_t c) {
    const uint8_t row = (RefBegin(c, type) && RefEnd(p, type)) ? 50 : p;
    return t[row * kDim + c].m_Prob;
  };
  return tagtest::ExhaustiveBest(words, 50, trans, [&](uint8_t r) { return t[r * kDim + 50].m_Prob; });
}

TEST(RoleTaggerReference, ViterbiAgreesWithExhaustiveSearch) {
  // Values are multiples of 0.5 in [-4, 0]: sums are exact, so equal totals
  // are genuine ties and the tie order is tested too.
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    std::mt19937 rng(seed);
    auto half = [&](int lo) { return -0.5f * (float)(rng() % (2 * -lo + 1)); };
    const int kWords = 12;
    std::vector<std::vector<prop_item_t>> pn(kWords), ln(kWords);
    std::vector<uint16_t> ne(kWords, 0);
    Dict dict;
    // Role pools: small, so that the begin/end rule fires often.
    const uint8_t pool_pn[] = {1, 2, 3, 4, 6, 12, 13, 14, 19, 28, 50};
    const uint8_t pool_ln[] = {20, 21, 22, 29, 31, 33, 50, 23};
    for (int i = 0; i < kWords; ++i) {
      const size_t np = rng() % 4, nl = rng() % 4;  // empty lists included
      for (size_t k = 0; k < np; ++k) pn[i].push_back({pool_pn[rng() % 11], half(-4)});
      for (size_t k = 0; k < nl; ++k) ln[i].push_back({pool_ln[rng() % 8], half(-4)});
      ne[i] = (rng() % 6 == 0) ? 88 : 0;
      dict.add(Word(Chr(10 + i), pn[i], ln[i], ne[i]));
    }
    dict.build();

    std::vector<CProbabilityNode> table(kDim * kDim);
    for (auto& c : table) c = CProbabilityNode{half(-4), half(-4)};

    CRoleTagger tagger;
    CLattice lat;
    for (int trial = 0; trial < 40; ++trial) {
      const size_t m = 1 + rng() % 6;
      std::vector<W> path;
      std::vector<std::vector<Cand>> cpn, cln;
      for (size_t w = 0; w < m; ++w) {
        const int kind = rng() % 5;
        std::vector<Cand> a, b;
        auto fixed = [&](const std::vector<uint8_t>& roles, std::vector<Cand>& out) {
          for (uint8_t r : roles) out.push_back({r, table[r * kDim].m_Bow});
        };
        if (kind <= 2) {  // dictionary word, possibly used as type 88 / -88
          const int i = rng() % kWords;
          int type = ne[i];
          if (type == 88 && rng() % 2) type = -88;
          path.push_back({Chr(10 + i), dict.attr(Chr(10 + i)), type});
          if (type == 0 && !pn[i].empty()) {
            for (auto& r : pn[i]) a.push_back({r.id, r.prob});
          } else {
            fixed({50}, a);
          }
          if (type == 0 && !ln[i].empty()) {
            for (auto& r : ln[i]) b.push_back({r.id, r.prob});
          } else {
            fixed({50}, b);
          }
        } else if (kind == 3) {  // unknown Chinese character
          path.push_back({Chr(300 + (int)(rng() % 50)), kAttrSingleChar, 55});
          fixed({50, 2, 3, 4}, a);
          fixed({50}, b);
        } else {  // symbol or ASCII byte
          if (rng() % 2)
            path.push_back({kSymbol, kAttrSingleChar, 55});
          else
            path.push_back({"7", kAttrNumber, 58});
          fixed({50}, a);
          fixed({50}, b);
        }
        cpn.push_back(a);
        cln.push_back(b);
      }
      const std::string text = BuildPath(lat, path);
      const uint32_t n = (uint32_t)text.size();
      ASSERT_TRUE(tagger._ne_role_tag(lat, text.data(), n, dict.dict, table.data(), CRoleTagger::PN));
      ASSERT_TRUE(tagger._ne_role_tag(lat, text.data(), n, dict.dict, table.data(), CRoleTagger::LN));
      EXPECT_EQ(Roles(lat, n, false), Reference(cpn, table, 1)) << "seed " << seed << " trial " << trial;
      EXPECT_EQ(Roles(lat, n, true), Reference(cln, table, 2)) << "seed " << seed << " trial " << trial;
    }
  }
}

}  // namespace
