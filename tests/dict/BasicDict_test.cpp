// Tests of the basic dictionary: writer -> loader round trips of a
// dictionary with every kind of list and record, the key walk against a
// word set, darts-clone's format, and damaged files, which must be
// refused with a message naming the file.
#include "dict/BasicDict.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>

#include "dict/BasicDictWriter.h"
#include "support/temp_dir.h"

namespace {

void WriteFile(const std::string& path, const std::vector<char>& data) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(data.data(), (long)data.size());
}

// "Core.Prop" cut into its sections, to damage one field at a time.
struct PropImage {
  uint32_t words = 0;
  std::vector<word_prop_t> info;
  std::vector<uint8_t> pos, rol, lnrol, segtype;
  std::vector<LogP> pos_prob, rol_prob, lnrol_prob, rule_info;

  template <class Img, class F>
  static void Sections(Img& m, F f) {
    f(m.pos), f(m.pos_prob), f(m.rol), f(m.rol_prob), f(m.lnrol), f(m.lnrol_prob), f(m.segtype), f(m.rule_info);
  }
  explicit PropImage(const std::vector<char>& d) {
    size_t at = 0;
    auto take = [&](auto& v, size_t n) {
      v.resize(n);
      if (n) std::memcpy(v.data(), d.data() + at, n * sizeof(v[0]));
      at += n * sizeof(v[0]);
    };
    auto count = [&](uint32_t n = 0) { return std::memcpy(&n, d.data() + (at += 4) - 4, 4), n; };
    take(info, words = count());
    Sections(*this, [&](auto& v) { take(v, count()); });
  }
  std::vector<char> Bytes() const {
    std::vector<char> d;
    auto put = [&](const void* p, size_t n) { d.insert(d.end(), (const char*)p, (const char*)p + n); };
    put(&words, 4);
    put(info.data(), info.size() * sizeof(word_prop_t));
    Sections(*this, [&](const auto& v) {
      uint32_t n = (uint32_t)v.size();
      put(&n, 4);
      put(v.data(), n * sizeof(v[0]));
    });
    return d;
  }
};

// GBK characters.
const std::string ZHONG = "\xd6\xd0", GUO = "\xb9\xfa", REN = "\xc8\xcb", MIN = "\xc3\xf1", DA = "\xb4\xf3",
                  XUE = "\xd1\xa7", SHENG = "\xc9\xfa", BEI = "\xb1\xb1", JING = "\xbe\xa9";
const std::string R89 = ZHONG + GUO + REN, R88 = DA + XUE + SHENG, R87 = BEI + JING + DA + XUE;

basic_dict_entry_t Word(const std::string& w, std::vector<prop_item_t> pos, uint16_t type = 0) {
  basic_dict_entry_t e;
  e.word = w;
  e.pos = pos;
  e.name_entity = type;
  return e;
}

// A small dictionary with every kind of list and record.
std::vector<basic_dict_entry_t> SampleEntries() {
  std::vector<basic_dict_entry_t> v = {Word(ZHONG + GUO, {{20, -0.1f}}), Word(ZHONG, {{16, -0.2f}, {31, -1.5f}}),
                                       Word(GUO, {{16, -0.3f}}), Word(REN, {{16, -0.3f}}),  // one POS list, stored once
                                       Word(REN + MIN, {{16, -0.1f}}, 90), Word(R89, {{16, -0.4f}}, kItemRule),
                                       Word(R88, {{16, 0.0f}, {16, 0.0f}, {1, 0.0f}, {16, 0.0f}}, kItemAmbRule),
                                       Word(R87, {{21, -0.1f}}, kItemMulSeg), Word(BEI + JING, {{20, -0.05f}}),
                                       Word(XUE + SHENG, {{16, -0.1f}}, kItemRule), Word("abc", {{23, -0.5f}})};
  v[0].roles = std::vector<prop_item_t>{{1, -1.0f}, {3, -2.0f}};
  v[0].ln_roles = std::vector<prop_item_t>{{20, -0.5f}, {22, -0.25f}};
  v[3].roles = std::vector<prop_item_t>();  // an empty list, not "none"
  v[5].rule = BasicDictRuleBlock({ZHONG + GUO, REN}, -0.7f);
  v[6].rule = BasicDictRuleBlock({DA + XUE, SHENG}, -0.3f);
  std::vector<rule_value_t> second = BasicDictRuleBlock({DA, XUE + SHENG}, -0.4f);
  v[6].rule->insert(v[6].rule->end(), second.begin(), second.end());
  v[7].rule = BasicDictMulSegRecord(BEI + JING, DA + XUE, 20, 16, BEI, DA + XUE, 21, 17);
  v[8].subwords = std::vector<subword_t>{{2, 20}, {2, 21}};
  v[9].rule = BasicDictRuleBlock({XUE, SHENG}, -0.2f);  // both records, one index for both arrays
  v[9].subwords = std::vector<subword_t>{{2, 16}, {2, 16}};
  v[10].subwords = std::vector<subword_t>();  // n = 0
  for (const std::string& w : {DA + XUE, DA, XUE, SHENG, BEI, JING}) v.push_back(Word(w, {{16, -1.0f}}));
  v.push_back(Word(MIN, {}));
  v.back().pos.reset();  // no lists at all
  return v;
}

void ExpectList(prop_list_t got, const std::optional<std::vector<prop_item_t>>& want) {
  ASSERT_EQ(got.len, want ? want->size() : 0u);
  EXPECT_EQ(got.ids[got.len], 0);
  for (size_t k = 0; k < got.len; k++) EXPECT_EQ(std::make_pair(got.ids[k], got.probs[k]), std::make_pair((*want)[k].id, (*want)[k].prob));
}

// The loaded word against the entry it was written from.
void ExpectEntry(const CBasicDict& d, const CBasicDictWriter& w, const basic_dict_entry_t& e) {
  long idx = w.index_of(e.word);
  ASSERT_GE(idx, 0);
  EXPECT_EQ(d.mBasicDict.exactMatchSearch<int>(e.word.data(), e.word.size()), idx);
  const word_prop_t* info = d.word_info((uint32_t)idx);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->m_WordLength, e.word.size());
  EXPECT_EQ(info->m_NameEntity, e.name_entity);
  EXPECT_EQ(info->m_role_sidx == Prop_None, !e.roles);
  ExpectList(d.pos_list((uint32_t)idx), e.pos);
  ExpectList(d.role_list((uint32_t)idx), e.roles);
  ExpectList(d.ln_role_list((uint32_t)idx), e.ln_roles);
  EXPECT_EQ(info->m_seg_rule_sidx == Prop_None, !e.rule && !e.subwords);
  if (!e.subwords) return;
  const uint8_t* rec = d.subword_record((uint32_t)idx);
  ASSERT_NE(rec, nullptr);
  ASSERT_EQ(rec[0], e.subwords->size());
  for (size_t k = 0, n = rec[0]; k < n; k++)
    EXPECT_EQ(std::make_pair(rec[1 + k], rec[1 + n + k]), std::make_pair((*e.subwords)[k].length, (*e.subwords)[k].pos));
}

class BasicDictFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const basic_dict_entry_t& e : SampleEntries()) ASSERT_TRUE(writer_.add(e));
    ASSERT_TRUE(writer_.build(lex_, prop_)) << writer_.last_error();
  }
  // Loads the images; a failure must say which file it is about.
  bool Load(const std::vector<char>& lex, const std::vector<char>& prop, CBasicDict* out = nullptr) {
    WriteFile(dir_.file("x.lex"), lex);
    WriteFile(dir_.file("x.prop"), prop);
    CBasicDict local;
    CBasicDict& d = out ? *out : local;
    bool ok = d.loadBasicDict(dir_.file("x.lex").c_str(), dir_.file("x.prop").c_str());
    EXPECT_EQ(ok, d.last_error().empty()) << d.last_error();
    EXPECT_TRUE(ok || d.last_error().find(dir_.file("x.")) == 0) << d.last_error();
    return ok;
  }
  bool LoadProp(const PropImage& img) { return Load(lex_, img.Bytes()); }
  uint32_t Idx(const std::string& w) const { return (uint32_t)writer_.index_of(w); }
  word_prop_t& Info(PropImage& img, const std::string& w) const { return img.info[Idx(w)]; }

  lxtest::TempDir dir_{"lx_basicdict_"};
  CBasicDictWriter writer_;
  std::vector<char> lex_, prop_;
};

TEST_F(BasicDictFiles, RoundTripKeepsEveryField) {
  ASSERT_TRUE(writer_.write(dir_.file("Core.Lex").c_str(), dir_.file("Core.Prop").c_str()));
  CBasicDict d;
  ASSERT_TRUE(d.loadBasicDict(dir_.file("Core.Lex").c_str(), dir_.file("Core.Prop").c_str()));
  std::vector<basic_dict_entry_t> entries = SampleEntries();
  EXPECT_EQ(d.mWordNum, entries.size());
  for (const basic_dict_entry_t& e : entries) ExpectEntry(d, writer_, e);
  EXPECT_EQ(d.mBasicDict.exactMatchSearch<int>((ZHONG + MIN).c_str()), -1);
  EXPECT_EQ(d.pos_list(Idx(GUO)).ids, d.pos_list(Idx(REN)).ids);  // identical lists are stored once

  // The rule records as the accessors hand them out.
  rule_block_t b1, b2;
  ASSERT_TRUE(d.rule_block(Idx(R88), 0, b1) && d.rule_block(Idx(R88), 1, b2));
  ASSERT_EQ(std::make_pair(b1.n, b2.n), std::make_pair(2u, 2u));
  EXPECT_EQ(std::vector<float>({b1.x[0], b1.x[1], b1.w, b2.x[0], b2.x[1], b2.w}),
            std::vector<float>({(float)Idx(DA + XUE), (float)Idx(SHENG), -0.3f, (float)Idx(DA), (float)Idx(XUE + SHENG), -0.4f}));
  ASSERT_TRUE(d.rule_block(Idx(R89), 0, b1));
  EXPECT_EQ(std::vector<float>({b1.x[0], b1.x[1], b1.w}), std::vector<float>({(float)Idx(ZHONG + GUO), (float)Idx(REN), -0.7f}));
  ASSERT_TRUE(d.rule_block(Idx(XUE + SHENG), 0, b1));  // the word with both records
  EXPECT_EQ(b1.x[0], (float)Idx(XUE));
  const LogP* m = d.mulseg_record(Idx(R87));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(std::vector<float>(m, m + 8), std::vector<float>({(float)Idx(BEI + JING), (float)Idx(DA + XUE), 20, 16,
                                                              (float)Idx(BEI), (float)Idx(DA + XUE), 21, 17}));
  EXPECT_FALSE(d.rule_block(Idx(R88), 2, b1) || d.rule_block(Idx(R89), 1, b1) || d.rule_block(Idx(MIN), 0, b1) ||
               d.mulseg_record(Idx(R89)));
  for (uint32_t idx : {d.mWordNum, d.mWordNum + 1, Prop_None}) {  // outside the dictionary
    EXPECT_EQ(d.pos_list(idx).len + d.role_list(idx).len + d.ln_role_list(idx).len + d.pos_list(idx).ids[0], 0u);
    EXPECT_TRUE(!d.word_info(idx) && !d.rule_block(idx, 0, b1) && !d.mulseg_record(idx) && !d.subword_record(idx));
  }
}

// The vector scans for a node's children against the plain loop, on random
// blocks where about half the units carry the label the node looks for
// (some of them with the leaf bit set, which must keep them out).
TEST(BasicDictTrie, ChildScansMatchThePlainLoop) {
  uint32_t x = 2024;
  auto next = [&x]() { return x = x * 1664525u + 1013904223u; };
  std::vector<uint32_t> blk(256);
  for (int round = 0; round < 300; ++round) {
    const uint32_t low = next() >> 24;
    for (uint32_t k = 0; k < 256; ++k) {
      const uint32_t r = next();
      blk[k] = (r & 1) ? (r & ~0x800000FFu) | (k ^ low) | (r & 0x80000000u & (r << 29)) : r;
    }
    ASSERT_TRUE(DictChildMaskFormsAgree(blk.data(), low)) << "round " << round;
  }
}

// The key walk on arrays that are no trees; the writer's arrays against darts-clone's.
TEST(BasicDictTrie, WalkAndWriterAgainstReferences) {
  // The child for 'a' of the root (unit 1 ^ 'a') has base 1 again: 'a' leads back to it, and
  // "a", "aa", ... all end there (value 0 at unit 1).
  std::vector<uint32_t> units(256, 0x80000000u);
  units[0] = 1u << 10;
  units[0x60] = ((0x60u ^ 1u) << 10) | 0x100u | 'a';
  auto any = [](void*, uint32_t, size_t) { return true; };
  EXPECT_FALSE(DictTrieForEachKey(units.data(), units.size(), 255, any, nullptr));
  units[0x60] = (0x62u << 10) | 'a';  // base 2: no child, no cycle
  EXPECT_TRUE(DictTrieForEachKey(units.data(), units.size(), 255, any, nullptr));
  // A NUL byte walks into a unit of label 0 that is no leaf, as a search does: "a\0" ends there.
  units[2] = (0x10u << 10) | 0x100u;
  units[0x12] = 0x80000007u;
  std::vector<std::pair<uint32_t, size_t>> keys;
  auto record = [](void* ctx, uint32_t v, size_t n) {
    static_cast<std::vector<std::pair<uint32_t, size_t>>*>(ctx)->emplace_back(v, n);
    return true;
  };
  EXPECT_TRUE(DictTrieForEachKey(units.data(), units.size(), 255, record, &keys));
  EXPECT_EQ(keys, (std::vector<std::pair<uint32_t, size_t>>{{7, 2}}));
  // That unit looping on itself (base 2) is harmless until a key ends below it: "a\0c", "a\0\0c", ...
  units[2] = 0;
  EXPECT_TRUE(DictTrieForEachKey(units.data(), units.size(), 255, any, nullptr));
  units[2 ^ 'c'] = (((2u ^ 'c') ^ 0x70u) << 10) | 0x100u | 'c';
  EXPECT_FALSE(DictTrieForEachKey(units.data(), units.size(), 255, any, nullptr));
  units[2 ^ 'c'] = 0x80000000u;
  EXPECT_FALSE(DictTrieForEachKey(units.data(), 255, 255, any, nullptr) || DictTrieForEachKey(nullptr, 256, 255, any, nullptr));
  // The writer's double array is darts-clone's, byte for byte.
  CBasicDictWriter w;
  for (const char* k : {"a", "ab", "abc", "b", "bcd"}) ASSERT_TRUE(w.add(Word(k, {})));
  std::vector<char> lex, prop;
  ASSERT_TRUE(w.build(lex, prop));
  std::ifstream tiny(std::string(LX_TEST_DATA_DIR) + "/da/tiny.da", std::ios::binary);
  EXPECT_EQ(lex, std::vector<char>((std::istreambuf_iterator<char>(tiny)), std::istreambuf_iterator<char>()));
}

// prefix_search (a table for the first double-byte character) against the
// plain walk of the array, on random words and keys over a few lead and
// trail bytes, a one-byte key on a lead byte included; prefetch_walks on the
// same keys changes nothing.
TEST(BasicDictTrie, PrefixSearchMatchesThePlainWalk) {
  const char bytes[] = {'\x81', '\xB1', '\xB2', '\xFE', '\x40', '\xA1', 'a', '\x7F'};
  uint32_t x = 12345;
  auto next = [&x](uint32_t n) { return (x = x * 1103515245u + 12345u) / 65536u % n; };
  auto random_key = [&](size_t n) {
    std::string k;
    while (k.size() < n) k += bytes[next(sizeof bytes)];
    return k;
  };
  CBasicDictWriter w;
  w.add(Word("\xB2", {}));
  for (int i = 0; i < 60; ++i) w.add(Word(random_key(2 + next(7)), {}));
  lxtest::TempDir dir("lx_basicdict_");
  ASSERT_TRUE(w.write(dir.file("a.lex").c_str(), dir.file("a.prop").c_str()));
  CBasicDict d;
  ASSERT_TRUE(d.loadBasicDict(dir.file("a.lex").c_str(), dir.file("a.prop").c_str()));
  uint32_t pos[16], base[16];
  for (int i = 0; i < 20000; ++i) {
    const std::string key = random_key(1 + next(12));
    const size_t room = next(4);
    int32_t got[4] = {-7, -7, -7, -7}, want[4] = {-7, -7, -7, -7};
    d.prefetch_walks(key.data(), key.size(), pos, base, 8);
    ASSERT_EQ(d.prefix_search(key.data(), got, room, key.size()),
              d.mBasicDict.commonPrefixSearch(key.data(), want, room, key.size()));
    ASSERT_TRUE(std::equal(got, got + 4, want)) << i;
  }
}

// --- Damaged files -------------------------------------------------------

TEST_F(BasicDictFiles, IndexesOutsideTheirArraysAreRefused) {
  const PropImage base(prop_);
  ASSERT_TRUE(LoadProp(base));
  auto rule = [&](PropImage& p, const std::string& w) { return &p.rule_info[Info(p, w).m_seg_rule_sidx]; };
  auto seg = [&](PropImage& p, const std::string& w) { return &p.segtype[Info(p, w).m_seg_rule_sidx]; };
  const std::vector<std::function<void(PropImage&)>> cases = {
      [&](PropImage& p) { Info(p, ZHONG).m_pos_sidx = (uint32_t)p.pos.size(); },
      [&](PropImage& p) { Info(p, MIN).m_ln_role_sidx = (uint32_t)p.lnrol.size(); },
      [&](PropImage& p) { p.pos.back() = 16; },  // the last list not terminated
      [&](PropImage& p) { p.pos_prob.resize(p.pos_prob.size() - 2); },  // probabilities too short
      [&](PropImage& p) { p.pos[Info(p, ZHONG).m_pos_sidx] = BasicDict_MaxPosId + 1; },
      [&](PropImage& p) { p.lnrol[Info(p, ZHONG + GUO).m_ln_role_sidx] = BasicDict_MaxRoleId + 1; },
      [&](PropImage& p) { Info(p, GUO).m_WordLength = 3; },  // not the key's length
      [&](PropImage& p) { Info(p, R89).m_seg_rule_sidx = (uint32_t)p.rule_info.size(); },
      [&](PropImage& p) { rule(p, R89)[0] = (float)p.rule_info.size(); },  // count past the end
      [&](PropImage& p) { rule(p, R89)[1] = (float)p.words; },  // word index = word count
      [&](PropImage& p) { rule(p, R89)[2] = (float)Idx(ZHONG + GUO); },  // sub-words longer than the word
      [&](PropImage& p) {  // second block cut off at the end of the array
        std::vector<LogP> rec(rule(p, R88), rule(p, R88) + 6);
        Info(p, R88).m_seg_rule_sidx = (uint32_t)p.rule_info.size();
        p.rule_info.insert(p.rule_info.end(), rec.begin(), rec.end());
      },
      [&](PropImage& p) { rule(p, R88)[4] = 300.0f; },  // second count
      [&](PropImage& p) { Info(p, R88).m_pos_sidx = (uint32_t)p.pos.size() - 2; },  // too few POS ids
      [&](PropImage& p) { rule(p, R87)[5] = std::numeric_limits<float>::quiet_NaN(); },
      [&](PropImage& p) { rule(p, R87)[2] = BasicDict_MaxPosId + 1; },
      [&](PropImage& p) { rule(p, R87)[1] = (float)Idx(R88); },  // first reading too long
      [&](PropImage& p) { Info(p, BEI + JING).m_seg_rule_sidx = (uint32_t)p.segtype.size(); },
      [&](PropImage& p) { seg(p, BEI + JING)[0] = 200; },  // count past the end
      [&](PropImage& p) { seg(p, BEI + JING)[1] = 3; },    // longer than the word
      [&](PropImage& p) { seg(p, BEI + JING)[3] = BasicDict_MaxPosId + 1; },
  };
  for (size_t i = 0; i < cases.size(); i++) {
    PropImage p = base;
    cases[i](p);
    EXPECT_FALSE(LoadProp(p)) << "case " << i;
  }
  PropImage p = base;
  rule(p, R89)[0] = 2.9f;  // counts are truncated as the readers do: 2.9 is 2
  EXPECT_TRUE(LoadProp(p));
  // Records a word's type does not read need not be valid; the accessors refuse them.
  p = base;
  p.segtype.resize(1);
  for (const std::string& w : {BEI + JING, XUE + SHENG, std::string("abc")}) Info(p, w).m_seg_rule_sidx = Prop_None;
  CBasicDict d;
  ASSERT_TRUE(Load(lex_, p.Bytes(), &d));
  EXPECT_EQ(d.subword_record(Idx(R89)), nullptr);
}

TEST_F(BasicDictFiles, ListLimitsAreInclusive) {
  for (size_t len : {53, 54}) {
    CBasicDictWriter w;
    basic_dict_entry_t e = Word("long", std::vector<prop_item_t>(len, prop_item_t{BasicDict_MaxPosId, -1.0f}));
    e.roles = e.ln_roles = std::vector<prop_item_t>(3, prop_item_t{BasicDict_MaxRoleId, -1.0f});
    ASSERT_TRUE(w.add(e));
    std::vector<char> lex, prop;
    ASSERT_TRUE(w.build(lex, prop));
    EXPECT_EQ(Load(lex, prop), len <= BasicDict_MaxListLen) << len << " POS ids";
  }
}

TEST_F(BasicDictFiles, DoubleArrayDefectsAreRefused) {
  CBasicDict d;
  ASSERT_TRUE(Load(lex_, prop_, &d));
  size_t half = 0, whole = 0, k = 0;  // the node after half of ZHONG (no key ends there), the node of ZHONG
  ASSERT_EQ(d.mBasicDict.traverse(ZHONG.c_str(), half, k, 1), -1);
  k = 0;
  ASSERT_GE(d.mBasicDict.traverse(ZHONG.c_str(), whole, k, 2), 0);
  auto patched = [&](size_t unit, uint32_t bits, uint32_t mask = 0xFFFFFFFFu) {
    std::vector<char> lex = lex_;
    uint32_t* u = reinterpret_cast<uint32_t*>(lex.data()) + unit;
    *u = (*u & mask) | bits;
    return lex;
  };
  EXPECT_FALSE(Load(patched(0, 0x80000000u), prop_));          // the root as a leaf
  EXPECT_FALSE(Load(patched(0, 1u << 8), prop_));              // the empty key
  EXPECT_FALSE(Load(patched(half, 1u << 8), prop_));           // a leaf flag without a leaf
  EXPECT_FALSE(Load(patched(whole, 0x1FFFFFu << 10, 0x3FF), prop_));  // a base outside the array
  EXPECT_FALSE(Load(std::vector<char>(lex_.begin(), lex_.end() - 4), prop_));
  EXPECT_FALSE(Load(std::vector<char>(1020, '\0'), prop_));
  EXPECT_FALSE(Load({}, prop_));
  std::vector<char> lex = lex_;
  lex.resize(lex.size() + 1027, '\0');  // a block of zero units and 3 bytes more: still an array
  EXPECT_TRUE(Load(lex, prop_));
  // The lexicon of a larger dictionary: one key's value is the word count.
  CBasicDictWriter big;
  for (const basic_dict_entry_t& e : SampleEntries()) big.add(e);
  ASSERT_TRUE(big.add(Word("zzz", {})));
  std::vector<char> big_prop;
  ASSERT_TRUE(big.build(lex, big_prop));
  EXPECT_FALSE(Load(lex, prop_));
  EXPECT_TRUE(Load(lex, big_prop));
}

TEST_F(BasicDictFiles, CutAndOversizedPropertyFilesAreRefused) {
  for (size_t cut = 0; cut < prop_.size(); cut++)
    ASSERT_FALSE(Load(lex_, std::vector<char>(prop_.begin(), prop_.begin() + (long)cut))) << cut;
  std::vector<char> prop = prop_;
  prop.insert(prop.end(), 9, '\x55');  // bytes after the last section are ignored
  EXPECT_TRUE(Load(lex_, prop));
  for (size_t at : {(size_t)0, 4 + PropImage(prop_).info.size() * sizeof(word_prop_t)})
    for (uint32_t huge : {0x7FFFFFFFu, 0xFFFFFFFFu}) {  // counts far beyond the file
      prop = prop_;
      std::memcpy(prop.data() + at, &huge, 4);
      EXPECT_FALSE(Load(lex_, prop)) << at << " " << huge;
    }
  std::memset(prop.data(), 0, 4);  // no words
  EXPECT_FALSE(Load(lex_, prop));
}

TEST_F(BasicDictFiles, FailedLoadKeepsTheDictionaryHeldBefore) {
  CBasicDict d;
  EXPECT_EQ(d.mBasicDict.exactMatchSearch<int>(ZHONG.c_str()), -1);  // empty and searchable
  ASSERT_TRUE(writer_.write(dir_.file("Core.Lex").c_str(), dir_.file("Core.Prop").c_str()));
  const std::string lex = dir_.file("Core.Lex"), prop = dir_.file("Core.Prop");
  ASSERT_TRUE(d.loadBasicDict(lex.c_str(), prop.c_str()));
  PropImage img(prop_);
  Info(img, ZHONG).m_pos_sidx = (uint32_t)img.pos.size();
  WriteFile(dir_.file("bad.prop"), img.Bytes());
  struct { std::string lex, prop, message; } failing[] = {
      {dir_.file("nope.lex"), prop, dir_.file("nope.lex") + ": cannot open"},
      {lex, dir_.file("nope.prop"), dir_.file("nope.prop") + ": cannot open"},
      {dir_.path(), prop, dir_.path() + ": cannot determine the size"},
      {lex, dir_.file("bad.prop"), dir_.file("bad.prop") + ": word " + std::to_string(Idx(ZHONG)) + ": bad POS list"}};
  for (const auto& f : failing) {
    EXPECT_FALSE(d.loadBasicDict(f.lex.c_str(), f.prop.c_str()));
    EXPECT_EQ(d.last_error().find(f.message), 0u) << d.last_error();
  }
  EXPECT_FALSE(d.loadBasicDict(nullptr, prop.c_str()) || d.loadBasicDict(lex.c_str(), nullptr) ||
               d._loadProp(dir_.file("bad.prop").c_str()) || d._loadDict(dir_.file("nope.lex").c_str()));
  for (const basic_dict_entry_t& e : SampleEntries()) ExpectEntry(d, writer_, e);  // still the old dictionary
  d.clear();
  EXPECT_EQ(d.mWordNum, 0u);
  EXPECT_EQ(d.mBasicDict.exactMatchSearch<int>(ZHONG.c_str()), -1);
}

TEST(BasicDictWriter, RefusesWhatTheFormatCannotHold) {
  CBasicDictWriter w;
  for (const std::string& bad : {std::string(), std::string("a\0b", 3), std::string(256, 'x')}) EXPECT_FALSE(w.add(Word(bad, {})));
  EXPECT_TRUE(w.add(Word(std::string(255, 'x'), {})));
  EXPECT_FALSE(w.add(Word(std::string(255, 'x'), {})));  // twice
  EXPECT_EQ(w.size(), 1u);
  std::vector<char> lex, prop;
  EXPECT_FALSE(CBasicDictWriter().build(lex, prop));  // no words
  std::vector<basic_dict_entry_t> bad = {Word("a", {{16, 0.0f}, {0, 0.0f}}), Word("ab", {}, kItemRule), Word("abc", {})};
  bad[1].rule = BasicDictRuleBlock({"a", "b"}, 0.0f);  // unknown words
  bad[2].subwords = std::vector<subword_t>(256, subword_t{0, 0});
  for (const basic_dict_entry_t& e : bad) {
    CBasicDictWriter one;
    EXPECT_TRUE(one.add(e));
    EXPECT_FALSE(one.build(lex, prop));
  }
  lxtest::TempDir dir("lx_basicdict_");
  const std::string missing = dir.file("no/such/dir/Core.Lex");
  EXPECT_FALSE(w.write(missing.c_str(), dir.file("Core.Prop").c_str()));
  EXPECT_EQ(w.last_error(), "cannot write " + missing);
  EXPECT_EQ(access(missing.c_str(), F_OK) + access(dir.file("Core.Prop").c_str(), F_OK), -2);  // neither written
}

}  // namespace
