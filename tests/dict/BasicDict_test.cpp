// Tests of the basic dictionary: writer -> loader round trips, the files of
// other double-array writers, and corrupt files (cut, flipped, indexes
// pointing outside their arrays), which must either fail to load or load
// into a dictionary whose every lookup stays in bounds.  Run under ASan the
// "read like the consumers" pass turns any missed check into a failure.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dict/BasicDict.h"
#include "dict/BasicDictWriter.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// Keeps the consumer-style reads below from being optimised away.
volatile double g_sink;

// --- Files -----------------------------------------------------------------

class TempDir : public lxtest::TempDir {
 public:
  TempDir() : lxtest::TempDir("lx_basicdict_") { EXPECT_TRUE(ok()); }
};

std::vector<char> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::vector<char>& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), (std::streamsize)data.size());
  ASSERT_TRUE(out.good());
}

// --- "Core.Prop" as sections, to corrupt one field at a time ----------------

struct PropImage {
  uint32_t words = 0;
  std::vector<word_prop_t> info;
  std::vector<uint8_t> pos, rol, lnrol, segtype;
  std::vector<LogP> pos_prob, rol_prob, lnrol_prob, rule_info;

  template <class T>
  static bool Take(const std::vector<char>& d, size_t& at, std::vector<T>& v, size_t n) {
    if (at + n * sizeof(T) > d.size()) return false;
    v.resize(n);
    if (n) std::memcpy(v.data(), d.data() + at, n * sizeof(T));
    at += n * sizeof(T);
    return true;
  }
  template <class T>
  static bool Section(const std::vector<char>& d, size_t& at, std::vector<T>& v) {
    uint32_t n;
    if (at + 4 > d.size()) return false;
    std::memcpy(&n, d.data() + at, 4);
    at += 4;
    return Take(d, at, v, n);
  }

  static PropImage Parse(const std::vector<char>& d) {
    PropImage img;
    size_t at = 4;
    std::memcpy(&img.words, d.data(), 4);
    bool ok = Take(d, at, img.info, img.words) && Section(d, at, img.pos) &&
              Section(d, at, img.pos_prob) && Section(d, at, img.rol) &&
              Section(d, at, img.rol_prob) && Section(d, at, img.lnrol) &&
              Section(d, at, img.lnrol_prob) && Section(d, at, img.segtype) &&
              Section(d, at, img.rule_info);
    EXPECT_TRUE(ok);
    EXPECT_EQ(at, d.size());
    return img;
  }

  template <class T>
  static void Put(std::vector<char>& d, const std::vector<T>& v, bool with_count) {
    if (with_count) {
      uint32_t n = (uint32_t)v.size();
      d.insert(d.end(), (const char*)&n, (const char*)&n + 4);
    }
    d.insert(d.end(), (const char*)v.data(), (const char*)v.data() + v.size() * sizeof(T));
  }

  std::vector<char> Serialize() const {
    std::vector<char> d((const char*)&words, (const char*)&words + 4);
    Put(d, info, false);
    Put(d, pos, true);
    Put(d, pos_prob, true);
    Put(d, rol, true);
    Put(d, rol_prob, true);
    Put(d, lnrol, true);
    Put(d, lnrol_prob, true);
    Put(d, segtype, true);
    Put(d, rule_info, true);
    return d;
  }

  // Byte offsets of the count field of every section, and the end.
  std::vector<size_t> Boundaries() const {
    std::vector<size_t> b;
    size_t at = 4 + info.size() * sizeof(word_prop_t);
    b.push_back(4);
    b.push_back(at);
    const size_t sizes[] = {pos.size(),     pos_prob.size() * 4, rol.size(),     rol_prob.size() * 4,
                            lnrol.size(),   lnrol_prob.size() * 4, segtype.size(), rule_info.size() * 4};
    for (size_t s : sizes) {
      at += 4;
      b.push_back(at);  // data start
      at += s;
      b.push_back(at);  // next count / end
    }
    return b;
  }
};

// --- A small dictionary with every kind of record ------------------------------

// GBK characters.
const std::string ZHONG = "\xd6\xd0", GUO = "\xb9\xfa", REN = "\xc8\xcb", MIN = "\xc3\xf1",
                  DA = "\xb4\xf3", XUE = "\xd1\xa7", SHENG = "\xc9\xfa", BEI = "\xb1\xb1",
                  JING = "\xbe\xa9";

std::vector<prop_item_t> Items(std::initializer_list<std::pair<int, float>> l) {
  std::vector<prop_item_t> v;
  for (auto& p : l) v.push_back(prop_item_t{(uint8_t)p.first, p.second});
  return v;
}

basic_dict_entry_t Word(const std::string& w, std::initializer_list<std::pair<int, float>> pos) {
  basic_dict_entry_t e;
  e.word = w;
  e.pos = Items(pos);
  return e;
}

std::vector<basic_dict_entry_t> SampleEntries() {
  std::vector<basic_dict_entry_t> v;
  basic_dict_entry_t e = Word(ZHONG + GUO, {{20, -0.1f}});
  e.roles = Items({{1, -1.0f}, {3, -2.0f}});
  e.ln_roles = Items({{20, -0.5f}, {22, -0.25f}});
  v.push_back(e);
  v.push_back(Word(ZHONG, {{16, -0.2f}, {31, -1.5f}}));
  v.push_back(Word(GUO, {{16, -0.3f}}));
  e = Word(REN, {{16, -0.3f}});  // same POS list as GUO: stored once
  e.roles = std::vector<prop_item_t>();  // an empty list, not "none"
  v.push_back(e);
  e = basic_dict_entry_t();
  e.word = MIN;  // no lists at all
  v.push_back(e);
  e = Word(ZHONG + GUO + REN, {{16, -0.4f}});
  e.name_entity = BasicDict_TypeRule;
  e.rule = BasicDictRuleBlock({ZHONG + GUO, REN}, -0.7f);
  v.push_back(e);
  e = Word(DA + XUE + SHENG, {{16, 0.0f}, {16, 0.0f}, {1, 0.0f}, {16, 0.0f}});
  e.name_entity = BasicDict_TypeAmbRule;
  std::vector<rule_value_t> r = BasicDictRuleBlock({DA + XUE, SHENG}, -0.3f);
  std::vector<rule_value_t> r2 = BasicDictRuleBlock({DA, XUE + SHENG}, -0.4f);
  r.insert(r.end(), r2.begin(), r2.end());
  e.rule = r;
  v.push_back(e);
  e = Word(BEI + JING + DA + XUE, {{21, -0.1f}});
  e.name_entity = BasicDict_TypeMulSeg;
  e.rule = BasicDictMulSegRecord(BEI + JING, DA + XUE, 20, 16, BEI, DA + XUE, 20, 16);
  v.push_back(e);
  e = Word(BEI + JING, {{20, -0.05f}});
  e.subwords = std::vector<subword_t>{{2, 20}, {2, 20}};
  v.push_back(e);
  e = Word(REN + MIN, {{16, -0.1f}});
  e.name_entity = 90;
  v.push_back(e);
  e = Word(XUE + SHENG, {{16, -0.1f}});  // both records, one index for both arrays
  e.name_entity = BasicDict_TypeRule;
  e.rule = BasicDictRuleBlock({XUE, SHENG}, -0.2f);
  e.subwords = std::vector<subword_t>{{2, 16}, {2, 16}};
  v.push_back(e);
  for (const std::string& w : {DA + XUE, DA, XUE, SHENG, BEI, JING}) v.push_back(Word(w, {{16, -1.0f}}));
  e = Word("abc", {{23, -0.5f}});
  e.subwords = std::vector<subword_t>();  // n = 0
  v.push_back(e);
  return v;
}

CBasicDictWriter SampleWriter() {
  CBasicDictWriter w;
  for (const basic_dict_entry_t& e : SampleEntries()) EXPECT_TRUE(w.add(e));
  return w;
}

// --- Checks --------------------------------------------------------------------

void ExpectList(const uint8_t* ids, const LogP* probs, uint32_t num_ids, uint32_t num_probs,
                uint32_t sidx, const std::optional<std::vector<prop_item_t>>& want,
                const char* what) {
  SCOPED_TRACE(what);
  if (!want) {
    EXPECT_EQ(sidx, Prop_None);
    return;
  }
  ASSERT_NE(sidx, Prop_None);
  ASSERT_LE((uint64_t)sidx + want->size() + 1, num_ids);
  ASSERT_LE((uint64_t)sidx + want->size(), num_probs);
  for (size_t k = 0; k < want->size(); k++) {
    EXPECT_EQ(ids[sidx + k], (*want)[k].id);
    EXPECT_EQ(probs[sidx + k], (*want)[k].prob);
  }
  EXPECT_EQ(ids[sidx + want->size()], 0);
}

// Compares the loaded word with the entry it was written from.
void ExpectEntry(const CBasicDict& d, const CBasicDictWriter& w, const basic_dict_entry_t& e) {
  SCOPED_TRACE("word of " + std::to_string(e.word.size()) + " bytes, index " +
               std::to_string(w.index_of(e.word)));
  long idx = w.index_of(e.word);
  ASSERT_GE(idx, 0);
  EXPECT_EQ(d.mBasicDict.exactMatchSearch<int>(e.word.data(), e.word.size()), idx);
  const word_prop_t* info = d.word_info((uint32_t)idx);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->m_WordLength, e.word.size());
  EXPECT_EQ(info->m_NameEntity, e.name_entity);
  const prop_t& p = d.mPropDict;
  ExpectList(p.m_POS, p.m_POSProb, p.m_POS_num, p.m_POSProb_num, info->m_pos_sidx, e.pos, "POS");
  ExpectList(p.m_Rol, p.m_RolProb, p.m_Rol_num, p.m_RolProb_num, info->m_role_sidx, e.roles,
             "roles");
  ExpectList(p.m_LNRol, p.m_LNRolProb, p.m_LNRol_num, p.m_LNRolProb_num, info->m_ln_role_sidx,
             e.ln_roles, "location roles");
  prop_list_t pl = d.pos_list((uint32_t)idx);
  EXPECT_EQ(pl.len, e.pos ? e.pos->size() : 0u);

  uint32_t s = info->m_seg_rule_sidx;
  if (!e.rule && !e.subwords) {
    EXPECT_EQ(s, Prop_None);
    return;
  }
  ASSERT_NE(s, Prop_None);
  if (e.rule) {
    ASSERT_LE((uint64_t)s + e.rule->size(), p.m_RuleInfo_num);
    for (size_t k = 0; k < e.rule->size(); k++) {
      const rule_value_t& v = (*e.rule)[k];
      LogP want = v.word.empty() ? v.value : (LogP)w.index_of(v.word);
      EXPECT_EQ(p.m_RuleInfo[s + k], want) << "rule value " << k;
    }
  }
  if (e.subwords) {
    size_t n = e.subwords->size();
    ASSERT_LE((uint64_t)s + 1 + 2 * n, p.m_SegType_num);
    EXPECT_EQ(p.m_SegType[s], n);
    for (size_t k = 0; k < n; k++) {
      EXPECT_EQ(p.m_SegType[s + 1 + k], (*e.subwords)[k].length);
      EXPECT_EQ(p.m_SegType[s + 1 + n + k], (*e.subwords)[k].pos);
    }
    const uint8_t* rec = d.subword_record((uint32_t)idx);
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec, p.m_SegType + s);
  }
}

// Reads the dictionary the way the lattice, the path search, the taggers and
// the token saver do (only the checks they make themselves), for every word
// that a common-prefix search of `probes` finds, and checks the guarantees
// of a successful load on the way.  Under ASan any read that validation let
// through out of bounds fails the test.
void ReadLikeConsumers(const CBasicDict& d, const std::vector<std::string>& probes) {
  const prop_t& p = d.mPropDict;
  double sink = 0;
  Darts::DoubleArray::result_pair_type hits[64];
  for (const std::string& text : probes) {
    if (text.empty()) continue;
    size_t n = d.mBasicDict.commonPrefixSearch(text.data(), hits, 64, text.size());
    size_t node = 0, key = 0;
    sink += d.mBasicDict.traverse(text.data(), node, key, text.size());
    sink += d.mBasicDict.exactMatchSearch<int>(text.data(), text.size());
    for (size_t h = 0; h < std::min<size_t>(n, 64); h++) {
      uint32_t idx = (uint32_t)hits[h].value;
      ASSERT_LT(idx, d.mWordNum) << "a key's value is not a word index";
      const word_prop_t& w = p.m_word_info[idx];
      ASSERT_EQ(w.m_WordLength, hits[h].length);
      struct {
        uint32_t sidx;
        const uint8_t* ids;
        const LogP* probs;
      } lists[3] = {{w.m_pos_sidx, p.m_POS, p.m_POSProb},
                    {w.m_role_sidx, p.m_Rol, p.m_RolProb},
                    {w.m_ln_role_sidx, p.m_LNRol, p.m_LNRolProb}};
      for (auto& l : lists) {
        if (l.sidx == Prop_None) continue;
        uint32_t k = 0;
        for (; l.ids[l.sidx + k] != 0; k++) sink += l.probs[l.sidx + k];
        ASSERT_LE(k, BasicDict_MaxListLen);
      }
      uint32_t s = w.m_seg_rule_sidx;
      if (s == Prop_None) continue;
      const LogP* r = p.m_RuleInfo + s;
      switch (w.m_NameEntity) {
        case BasicDict_TypeAmbRule: {
          int n1 = (int)r[0];
          for (int k = 0; k < n1; k++) sink += p.m_word_info[(int)r[1 + k]].m_WordLength;
          sink += r[n1 + 1];
          const LogP* r2 = r + n1 + 2;
          int n2 = (int)r2[0];
          for (int k = 0; k < n2; k++) sink += p.m_word_info[(int)r2[1 + k]].m_WordLength;
          sink += r2[n2 + 1];
          for (int k = 0; k < n1 + n2; k++) sink += p.m_POS[w.m_pos_sidx + k];
          break;
        }
        case BasicDict_TypeRule: {
          int n1 = (int)r[0];
          for (int k = 0; k < n1; k++) sink += p.m_word_info[(int)r[1 + k]].m_WordLength;
          sink += r[n1 + 1];
          break;
        }
        case BasicDict_TypeMulSeg:
          for (int k : {0, 1, 4, 5}) sink += p.m_word_info[(int)r[k]].m_WordLength;
          for (int k : {2, 3, 6, 7}) sink += (int)r[k];
          break;
        default: {
          const uint8_t* sw = p.m_SegType + s;
          int total = 0;
          for (int k = 0; k < sw[0]; k++) total += sw[1 + k];
          for (int k = 0; k < sw[0]; k++) sink += sw[1 + sw[0] + k];
          ASSERT_LE(total, w.m_WordLength);
        }
      }
    }
  }
  // The checked accessors must be safe for every index, in range or not.
  for (uint32_t idx = 0; idx < d.mWordNum + 2; idx++) {
    rule_block_t b;
    sink += d.rule_block(idx, 0, b) + d.rule_block(idx, 1, b);
    sink += d.mulseg_record(idx) != nullptr;
    sink += d.subword_record(idx) != nullptr;
    sink += d.pos_list(idx).len + d.role_list(idx).len + d.ln_role_list(idx).len;
  }
  g_sink = sink;
}

std::vector<std::string> Probes(const std::vector<basic_dict_entry_t>& entries, uint32_t seed) {
  std::vector<std::string> probes;
  std::mt19937 rng(seed);
  for (const basic_dict_entry_t& e : entries) {
    probes.push_back(e.word);
    probes.push_back(e.word + e.word);
  }
  for (int i = 0; i < 50; i++) {
    std::string s;
    int len = 1 + (int)(rng() % 12);
    for (int k = 0; k < len; k++) s.push_back((char)(1 + rng() % 255));
    probes.push_back(s);
  }
  return probes;
}

class BasicDictFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    writer_ = SampleWriter();
    ASSERT_TRUE(writer_.build(lex_, prop_)) << writer_.last_error();
    lex_path_ = dir_.file("Core.Lex");
    prop_path_ = dir_.file("Core.Prop");
    WriteFile(lex_path_, lex_);
    WriteFile(prop_path_, prop_);
  }

  // Loads (lex, prop) images; on success also reads the result like the
  // consumers do.
  bool LoadImages(const std::vector<char>& lex, const std::vector<char>& prop,
                  CBasicDict* out = nullptr) {
    // Files are rewritten only when their content changes: the damage tests
    // load thousands of variants of one file each.
    if (written_lex_ != lex) WriteFile(dir_.file("x.lex"), *(written_lex_ = lex));
    if (written_prop_ != prop) WriteFile(dir_.file("x.prop"), *(written_prop_ = prop));
    CBasicDict local;
    CBasicDict& d = out ? *out : local;
    bool ok = d.loadBasicDict(dir_.file("x.lex").c_str(), dir_.file("x.prop").c_str());
    if (ok) {
      EXPECT_EQ(d.last_error(), "");
      ReadLikeConsumers(d, Probes(SampleEntries(), 7));
    } else {
      EXPECT_NE(d.last_error(), "");
    }
    return ok;
  }

  bool LoadProp(const PropImage& img) { return LoadImages(lex_, img.Serialize()); }

  word_prop_t& Info(PropImage& img, const std::string& word) {
    return img.info[(size_t)writer_.index_of(word)];
  }

  TempDir dir_;
  CBasicDictWriter writer_;
  std::vector<char> lex_, prop_;
  std::optional<std::vector<char>> written_lex_, written_prop_;
  std::string lex_path_, prop_path_;
};

// --- Round trips -------------------------------------------------------------------

TEST_F(BasicDictFiles, RoundTripKeepsEveryField) {
  CBasicDict d;
  ASSERT_TRUE(d.loadBasicDict(lex_path_.c_str(), prop_path_.c_str())) << d.last_error();
  std::vector<basic_dict_entry_t> entries = SampleEntries();
  EXPECT_EQ(d.mWordNum, entries.size());
  for (const basic_dict_entry_t& e : entries) ExpectEntry(d, writer_, e);
  ReadLikeConsumers(d, Probes(entries, 1));
}

TEST_F(BasicDictFiles, IndexesFollowByteOrder) {
  std::vector<basic_dict_entry_t> entries = SampleEntries();
  std::vector<std::string> words;
  for (const basic_dict_entry_t& e : entries) words.push_back(e.word);
  std::sort(words.begin(), words.end());
  for (size_t i = 0; i < words.size(); i++) EXPECT_EQ(writer_.index_of(words[i]), (long)i);
  EXPECT_EQ(writer_.index_of("absent"), -1);
}

TEST_F(BasicDictFiles, CommonPrefixSearchGivesShortestFirst) {
  CBasicDict d;
  ASSERT_TRUE(d.loadBasicDict(lex_path_.c_str(), prop_path_.c_str()));
  std::string text = ZHONG + GUO + REN + MIN;
  Darts::DoubleArray::result_pair_type hits[8];
  size_t n = d.mBasicDict.commonPrefixSearch(text.data(), hits, 8, text.size());
  ASSERT_EQ(n, 3u);
  EXPECT_EQ(hits[0].length, 2u);
  EXPECT_EQ(hits[0].value, writer_.index_of(ZHONG));
  EXPECT_EQ(hits[1].length, 4u);
  EXPECT_EQ(hits[1].value, writer_.index_of(ZHONG + GUO));
  EXPECT_EQ(hits[2].length, 6u);
  EXPECT_EQ(hits[2].value, writer_.index_of(ZHONG + GUO + REN));
  // The lookups of the driver.
  EXPECT_EQ(d.mBasicDict.exactMatchSearch<int>(ZHONG.c_str()), writer_.index_of(ZHONG));
  EXPECT_EQ(d.mBasicDict.exactMatchSearch<int>("\xb7\xd6\xd6\xae"), -1);  // absent word
}

TEST_F(BasicDictFiles, AmbiguityWordHasTwoBlocksOneAfterTheOther) {
  CBasicDict d;
  ASSERT_TRUE(d.loadBasicDict(lex_path_.c_str(), prop_path_.c_str()));
  uint32_t idx = (uint32_t)writer_.index_of(DA + XUE + SHENG);
  rule_block_t b1, b2;
  ASSERT_TRUE(d.rule_block(idx, 0, b1));
  ASSERT_TRUE(d.rule_block(idx, 1, b2));
  EXPECT_EQ(b1.n, 2u);
  EXPECT_EQ(b2.n, 2u);
  // The second block starts n + 2 floats after the first.
  EXPECT_EQ(b2.x - b1.x, (ptrdiff_t)(b1.n + 2));
  EXPECT_EQ((long)b1.x[0], writer_.index_of(DA + XUE));
  EXPECT_EQ((long)b1.x[1], writer_.index_of(SHENG));
  EXPECT_EQ((long)b2.x[0], writer_.index_of(DA));
  EXPECT_EQ((long)b2.x[1], writer_.index_of(XUE + SHENG));
  EXPECT_FLOAT_EQ(b1.w, -0.3f);
  EXPECT_FLOAT_EQ(b2.w, -0.4f);
  EXPECT_FALSE(d.rule_block(idx, 2, b1));

  uint32_t rule89 = (uint32_t)writer_.index_of(ZHONG + GUO + REN);
  ASSERT_TRUE(d.rule_block(rule89, 0, b1));
  EXPECT_EQ(b1.n, 2u);
  EXPECT_FLOAT_EQ(b1.w, -0.7f);

  const LogP* m = d.mulseg_record((uint32_t)writer_.index_of(BEI + JING + DA + XUE));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ((long)m[0], writer_.index_of(BEI + JING));
  EXPECT_EQ((long)m[5], writer_.index_of(DA + XUE));
  EXPECT_EQ((int)m[6], 20);
}

TEST_F(BasicDictFiles, AccessorsAreSafeOutsideTheDictionary) {
  CBasicDict d;
  ASSERT_TRUE(d.loadBasicDict(lex_path_.c_str(), prop_path_.c_str()));
  rule_block_t b;
  for (uint32_t idx : {d.mWordNum, d.mWordNum + 1, 10000000u, Prop_None}) {
    EXPECT_EQ(d.word_info(idx), nullptr);
    EXPECT_EQ(d.pos_list(idx).len, 0u);
    EXPECT_EQ(d.pos_list(idx).ids[0], 0);
    EXPECT_EQ(d.role_list(idx).len, 0u);
    EXPECT_FALSE(d.rule_block(idx, 0, b));
    EXPECT_EQ(d.mulseg_record(idx), nullptr);
    EXPECT_EQ(d.subword_record(idx), nullptr);
  }
  // A word without lists, and a word without a rule record.
  uint32_t min = (uint32_t)writer_.index_of(MIN);
  EXPECT_EQ(d.word_info(min)->m_pos_sidx, Prop_None);
  EXPECT_EQ(d.pos_list(min).len, 0u);
  EXPECT_FALSE(d.rule_block(min, 0, b));
  EXPECT_EQ(d.subword_record(min), nullptr);
  // An empty role list is a list of its own, not "none".
  uint32_t ren = (uint32_t)writer_.index_of(REN);
  EXPECT_NE(d.word_info(ren)->m_role_sidx, Prop_None);
  EXPECT_EQ(d.role_list(ren).len, 0u);
  // A sub-word record with n = 0.
  const uint8_t* rec = d.subword_record((uint32_t)writer_.index_of("abc"));
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec[0], 0);
}

TEST_F(BasicDictFiles, IdenticalListsAreStoredOnce) {
  CBasicDict d;
  ASSERT_TRUE(d.loadBasicDict(lex_path_.c_str(), prop_path_.c_str()));
  EXPECT_EQ(d.word_info((uint32_t)writer_.index_of(GUO))->m_pos_sidx,
            d.word_info((uint32_t)writer_.index_of(REN))->m_pos_sidx);
  EXPECT_EQ(d.word_info((uint32_t)writer_.index_of(DA))->m_pos_sidx,
            d.word_info((uint32_t)writer_.index_of(JING))->m_pos_sidx);
}

TEST_F(BasicDictFiles, WordWithBothRecordsUsesOneIndex) {
  CBasicDict d;
  ASSERT_TRUE(d.loadBasicDict(lex_path_.c_str(), prop_path_.c_str()));
  uint32_t idx = (uint32_t)writer_.index_of(XUE + SHENG);
  rule_block_t b;
  ASSERT_TRUE(d.rule_block(idx, 0, b));
  EXPECT_EQ(b.x, d.mPropDict.m_RuleInfo + d.word_info(idx)->m_seg_rule_sidx + 1);
  const uint8_t* rec = d.subword_record(idx);
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec, d.mPropDict.m_SegType + d.word_info(idx)->m_seg_rule_sidx);
  EXPECT_EQ(rec[0], 2);
}

// Random dictionaries: every entry comes back, and common-prefix search
// agrees with a search over the word set.
TEST(BasicDictRandom, RoundTripAndPrefixSearchAgainstReference) {
  TempDir dir;
  for (uint32_t seed = 1; seed <= 3; seed++) {
    std::mt19937 rng(seed);
    std::set<std::string> words;
    while (words.size() < 3000) {
      std::string w;
      int chars = 1 + (int)(rng() % 4);
      for (int c = 0; c < chars; c++) {
        if (rng() % 8 == 0) {
          w.push_back((char)('a' + rng() % 26));
        } else {
          w.push_back((char)(0xB0 + rng() % 8));  // few lead bytes: many shared prefixes
          w.push_back((char)(0xA1 + rng() % 20));
        }
      }
      words.insert(w);
    }
    std::vector<std::string> list(words.begin(), words.end());
    std::vector<std::string> shortw;  // candidates for sub-words
    for (const std::string& w : list)
      if (w.size() <= 2) shortw.push_back(w);
    auto random_list = [&](uint8_t max_id) {
      std::vector<prop_item_t> v;
      int n = (int)(rng() % 5);
      for (int k = 0; k < n; k++)
        v.push_back(prop_item_t{(uint8_t)(1 + rng() % max_id), -(float)(rng() % 1000) / 100.0f});
      return v;
    };
    CBasicDictWriter writer;
    std::vector<basic_dict_entry_t> entries;
    for (const std::string& w : list) {
      basic_dict_entry_t e;
      e.word = w;
      if (rng() % 10) e.pos = random_list(BasicDict_MaxPosId);
      if (rng() % 3) e.roles = random_list(BasicDict_MaxRoleId);
      if (rng() % 3) e.ln_roles = random_list(BasicDict_MaxRoleId);
      size_t max_parts = w.size() / 2;
      int kind = (int)(rng() % 6);
      if (kind == 0 && max_parts >= 1) {
        e.name_entity = BasicDict_TypeRule;
        std::vector<std::string> parts;
        for (size_t k = 0, n = 1 + rng() % max_parts; k < n; k++)
          parts.push_back(shortw[rng() % shortw.size()]);
        e.rule = BasicDictRuleBlock(parts, -0.5f);
      } else if (kind == 1 && w.size() >= 4) {
        e.name_entity = BasicDict_TypeAmbRule;
        std::vector<rule_value_t> r = BasicDictRuleBlock({shortw[rng() % shortw.size()]}, -0.1f);
        std::vector<rule_value_t> r2 = BasicDictRuleBlock(
            {shortw[rng() % shortw.size()], shortw[rng() % shortw.size()]}, -0.2f);
        r.insert(r.end(), r2.begin(), r2.end());
        e.rule = r;
        e.pos = std::vector<prop_item_t>{{16, 0}, {16, 0}, {31, 0}};
      } else if (kind == 2 && w.size() >= 4) {
        e.name_entity = BasicDict_TypeMulSeg;
        const std::string& a = shortw[rng() % shortw.size()];
        const std::string& b = shortw[rng() % shortw.size()];
        e.rule = BasicDictMulSegRecord(a, b, 16, 31, b, a, 31, 16);
      } else if (kind == 3) {
        std::vector<subword_t> sw;
        size_t left = w.size();
        while (left > 0) {
          uint8_t l = (uint8_t)std::min<size_t>(left, 1 + rng() % 4);
          sw.push_back(subword_t{l, (uint8_t)(rng() % (BasicDict_MaxPosId + 1))});
          left -= l;
        }
        e.subwords = sw;
      }
      ASSERT_TRUE(writer.add(e));
      entries.push_back(e);
    }
    std::string lex = dir.file("r.lex"), prop = dir.file("r.prop");
    ASSERT_TRUE(writer.write(lex.c_str(), prop.c_str())) << writer.last_error();
    CBasicDict d;
    ASSERT_TRUE(d.loadBasicDict(lex.c_str(), prop.c_str())) << d.last_error();
    for (const basic_dict_entry_t& e : entries) ExpectEntry(d, writer, e);

    // Reference: the prefixes of the text that are words, shortest first.
    for (int q = 0; q < 2000; q++) {
      std::string text = list[rng() % list.size()] + list[rng() % list.size()];
      std::vector<std::pair<long, size_t>> want;
      for (size_t len = 1; len <= text.size(); len++)
        if (words.count(text.substr(0, len))) want.push_back({writer.index_of(text.substr(0, len)), len});
      Darts::DoubleArray::result_pair_type hits[16];
      size_t n = d.mBasicDict.commonPrefixSearch(text.data(), hits, 16, text.size());
      ASSERT_EQ(n, want.size());
      for (size_t k = 0; k < std::min<size_t>(n, 16); k++) {
        EXPECT_EQ(hits[k].value, want[k].first);
        EXPECT_EQ(hits[k].length, want[k].second);
      }
    }
  }
}

// --- Files of other writers ----------------------------------------------------------

std::vector<std::pair<std::string, int>> FixtureKeys(const char* name) {
  std::ifstream in(std::string(LX_TEST_DATA_DIR) + "/da/" + name + ".keys.txt");
  std::vector<std::pair<std::string, int>> keys;
  std::string hex;
  int value;
  while (in >> hex >> value) {
    std::string key;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) key.push_back((char)std::stoi(hex.substr(i, 2), nullptr, 16));
    keys.push_back({key, value});
  }
  return keys;
}

// A property file for the given (word, index) pairs: no lists, the lengths right.
std::vector<char> PropFor(const std::vector<std::pair<std::string, int>>& keys, uint32_t words) {
  PropImage img;
  img.words = words;
  img.info.resize(words);
  for (word_prop_t& w : img.info) {
    w = word_prop_t{Prop_None, Prop_None, Prop_None, Prop_None, 1, 0, 0};
  }
  for (auto& k : keys) img.info[(size_t)k.second].m_WordLength = (uint8_t)k.first.size();
  return img.Serialize();
}

TEST(BasicDictCompat, LoadsDartsCloneFiles) {
  TempDir dir;
  // gbk200: 200 GBK words with the values 1000 to 1199.
  std::vector<std::pair<std::string, int>> keys = FixtureKeys("gbk200");
  ASSERT_EQ(keys.size(), 200u);
  WriteFile(dir.file("gbk.prop"), PropFor(keys, 1200));
  std::string lex = std::string(LX_TEST_DATA_DIR) + "/da/gbk200.da";
  CBasicDict d;
  ASSERT_TRUE(d.loadBasicDict(lex.c_str(), dir.file("gbk.prop").c_str())) << d.last_error();
  for (auto& k : keys) EXPECT_EQ(d.mBasicDict.exactMatchSearch<int>(k.first.c_str()), k.second);

  // With fewer words than the largest value, the same file is refused.
  WriteFile(dir.file("gbk-short.prop"), PropFor({}, 1199));
  CBasicDict d2;
  EXPECT_FALSE(d2.loadBasicDict(lex.c_str(), dir.file("gbk-short.prop").c_str()));

  // A length that does not match its key is refused.
  std::vector<std::pair<std::string, int>> wrong = keys;
  wrong[5].first += "x";
  WriteFile(dir.file("gbk-len.prop"), PropFor(wrong, 1200));
  EXPECT_FALSE(d2.loadBasicDict(lex.c_str(), dir.file("gbk-len.prop").c_str()));

  // The empty array loads with any property file and finds nothing.
  std::string empty = std::string(LX_TEST_DATA_DIR) + "/da/empty.da";
  ASSERT_TRUE(d2.loadBasicDict(empty.c_str(), dir.file("gbk-short.prop").c_str())) << d2.last_error();
  EXPECT_EQ(d2.mBasicDict.exactMatchSearch<int>(keys[0].first.c_str()), -1);
}

TEST(BasicDictCompat, WriterMatchesDartsCloneByteForByte) {
  CBasicDictWriter w;
  for (const char* k : {"a", "ab", "abc", "b", "bcd"}) {
    basic_dict_entry_t e;
    e.word = k;
    ASSERT_TRUE(w.add(e));
  }
  std::vector<char> lex, prop;
  ASSERT_TRUE(w.build(lex, prop));
  EXPECT_EQ(lex, ReadFile(std::string(LX_TEST_DATA_DIR) + "/da/tiny.da"));
}

// --- Failures --------------------------------------------------------------------------

TEST_F(BasicDictFiles, MissingFilesFail) {
  CBasicDict d;
  EXPECT_FALSE(d.loadBasicDict(dir_.file("nope.lex").c_str(), prop_path_.c_str()));
  EXPECT_FALSE(d.loadBasicDict(lex_path_.c_str(), dir_.file("nope.prop").c_str()));
  EXPECT_FALSE(d.loadBasicDict(nullptr, prop_path_.c_str()));
  EXPECT_FALSE(d.loadBasicDict(lex_path_.c_str(), nullptr));
  EXPECT_FALSE(d.loadBasicDict(dir_.file("").c_str(), prop_path_.c_str()));  // a directory
  EXPECT_EQ(d.mWordNum, 0u);
}

TEST_F(BasicDictFiles, WordCountZeroFails) {
  PropImage img = PropImage::Parse(prop_);
  img.words = 0;
  img.info.clear();
  EXPECT_FALSE(LoadProp(img));
}

TEST_F(BasicDictFiles, WordCountBeyondTheFileFailsWithoutAllocating) {
  std::vector<char> prop = prop_;
  uint32_t huge = 0x7FFFFFFF;
  std::memcpy(prop.data(), &huge, 4);
  EXPECT_FALSE(LoadImages(lex_, prop));
  huge = 0xFFFFFFFF;
  std::memcpy(prop.data(), &huge, 4);
  EXPECT_FALSE(LoadImages(lex_, prop));
  // A section count far beyond the file.
  prop = prop_;
  size_t count_at = PropImage::Parse(prop_).Boundaries()[1];
  std::memcpy(prop.data() + count_at, &huge, 4);
  EXPECT_FALSE(LoadImages(lex_, prop));
}

TEST_F(BasicDictFiles, TrailingBytesAreIgnored) {
  std::vector<char> lex = lex_, prop = prop_;
  for (int extra = 1; extra <= 3; extra++) {
    lex.push_back('\x7f');
    EXPECT_TRUE(LoadImages(lex, prop_)) << extra << " trailing bytes after the units";
  }
  prop.insert(prop.end(), 9, '\x55');
  EXPECT_TRUE(LoadImages(lex_, prop));
}

TEST_F(BasicDictFiles, PropertyFileCutAnywhereFails) {
  // Every prefix of the file ends inside some section.
  for (size_t cut = 0; cut < prop_.size(); cut++) {
    std::vector<char> prop(prop_.begin(), prop_.begin() + (long)cut);
    EXPECT_FALSE(LoadImages(lex_, prop)) << "cut at " << cut << " of " << prop_.size();
  }
  // The section boundaries themselves, named.
  for (size_t b : PropImage::Parse(prop_).Boundaries()) {
    if (b >= prop_.size()) continue;
    std::vector<char> prop(prop_.begin(), prop_.begin() + (long)b);
    EXPECT_FALSE(LoadImages(lex_, prop)) << "cut at boundary " << b;
  }
}

TEST_F(BasicDictFiles, DoubleArrayCutFails) {
  std::mt19937 rng(3);
  std::vector<size_t> cuts = {0, 3, 4, 1020, 1023, 1024, lex_.size() - 4, lex_.size() - 1};
  for (int i = 0; i < 100; i++) cuts.push_back(rng() % lex_.size());
  for (size_t cut : cuts) {
    if (cut >= lex_.size()) continue;
    std::vector<char> lex(lex_.begin(), lex_.begin() + (long)cut);
    // Only whole blocks can load, and only if no node pointed into the part
    // cut off: then every word is still there.
    CBasicDict d;
    if (LoadImages(lex, prop_, &d)) {
      EXPECT_EQ(cut % 1024, 0u);
      for (const basic_dict_entry_t& e : SampleEntries())
        EXPECT_EQ(d.mBasicDict.exactMatchSearch<int>(e.word.c_str()), writer_.index_of(e.word));
    }
  }
}

TEST_F(BasicDictFiles, FailedLoadKeepsTheDictionaryHeldBefore) {
  CBasicDict d;
  // A fresh dictionary finds nothing and is safe to search.
  EXPECT_EQ(d.mBasicDict.exactMatchSearch<int>(ZHONG.c_str()), -1);
  Darts::DoubleArray::result_pair_type hits[4];
  std::string text = ZHONG + GUO;
  EXPECT_EQ(d.mBasicDict.commonPrefixSearch(text.c_str(), hits, 4), 0u);

  ASSERT_TRUE(d.loadBasicDict(lex_path_.c_str(), prop_path_.c_str()));
  PropImage img = PropImage::Parse(prop_);
  Info(img, ZHONG).m_pos_sidx = (uint32_t)img.pos.size();
  WriteFile(dir_.file("bad.prop"), img.Serialize());
  EXPECT_FALSE(d.loadBasicDict(lex_path_.c_str(), dir_.file("bad.prop").c_str()));
  EXPECT_NE(d.last_error().find("POS"), std::string::npos) << d.last_error();
  // Still the old dictionary, whole.
  EXPECT_EQ(d.mWordNum, SampleEntries().size());
  for (const basic_dict_entry_t& e : SampleEntries()) ExpectEntry(d, writer_, e);

  // _loadProp alone checks the loaded keys against the new properties.
  EXPECT_FALSE(d._loadProp(dir_.file("bad.prop").c_str()));
  EXPECT_EQ(d.mBasicDict.exactMatchSearch<int>(ZHONG.c_str()), writer_.index_of(ZHONG));

  d.clear();
  EXPECT_EQ(d.mWordNum, 0u);
  EXPECT_EQ(d.mBasicDict.exactMatchSearch<int>(ZHONG.c_str()), -1);
}

TEST_F(BasicDictFiles, KeysAgainstAPropertyFileWithFewerWordsFail) {
  // The lexicon of a larger dictionary with the properties of the sample.
  CBasicDictWriter big = SampleWriter();
  basic_dict_entry_t extra;
  extra.word = "zzz";
  ASSERT_TRUE(big.add(extra));
  std::vector<char> lex, prop;
  ASSERT_TRUE(big.build(lex, prop));
  EXPECT_FALSE(LoadImages(lex, prop_));
  EXPECT_TRUE(LoadImages(lex, prop));
  // Loading the halves one by one checks them against each other too.
  CBasicDict d;
  WriteFile(dir_.file("big.lex"), lex);
  ASSERT_TRUE(d._loadProp(prop_path_.c_str()));
  EXPECT_FALSE(d._loadDict(dir_.file("big.lex").c_str()));
}

// Index fields pointing outside their arrays, one at a time.
TEST_F(BasicDictFiles, ListIndexesOutsideTheirArraysFail) {
  const PropImage base = PropImage::Parse(prop_);
  ASSERT_TRUE(LoadProp(base));
  struct Case {
    const char* what;
    std::function<void(PropImage&)> patch;
  };
  std::vector<Case> cases = {
      {"POS start at the end", [&](PropImage& p) { Info(p, ZHONG).m_pos_sidx = (uint32_t)p.pos.size(); }},
      {"POS start far out", [&](PropImage& p) { Info(p, ZHONG).m_pos_sidx = 0xFFFFFFFE; }},
      {"role start at the end", [&](PropImage& p) { Info(p, ZHONG + GUO).m_role_sidx = (uint32_t)p.rol.size(); }},
      {"location-role start out", [&](PropImage& p) { Info(p, MIN).m_ln_role_sidx = (uint32_t)p.lnrol.size() + 7; }},
      {"last POS list not terminated", [&](PropImage& p) { p.pos.back() = 16; }},
      {"last role list not terminated", [&](PropImage& p) { p.rol.back() = 1; }},
      {"last location-role list not terminated", [&](PropImage& p) { p.lnrol.back() = 20; }},
      {"POS probabilities too short", [&](PropImage& p) { p.pos_prob.resize(p.pos_prob.size() - 2); }},
      {"role probabilities too short", [&](PropImage& p) { p.rol_prob.resize(1); }},
      {"location-role probabilities missing", [&](PropImage& p) { p.lnrol_prob.clear(); }},
      {"POS id beyond the table", [&](PropImage& p) { p.pos[Info(p, ZHONG).m_pos_sidx] = BasicDict_MaxPosId + 1; }},
      {"role id beyond the table", [&](PropImage& p) { p.rol[Info(p, ZHONG + GUO).m_role_sidx] = BasicDict_MaxRoleId + 1; }},
      {"word length not the key's", [&](PropImage& p) { Info(p, GUO).m_WordLength = 3; }},
  };
  for (const Case& c : cases) {
    PropImage p = base;
    c.patch(p);
    EXPECT_FALSE(LoadProp(p)) << c.what;
  }
}

TEST_F(BasicDictFiles, ListLimitsAreInclusive) {
  for (int len : {53, 54}) {
    CBasicDictWriter w = SampleWriter();
    basic_dict_entry_t e;
    e.word = "long";
    e.pos = std::vector<prop_item_t>(len, prop_item_t{BasicDict_MaxPosId, -1.0f});
    e.roles = std::vector<prop_item_t>(3, prop_item_t{BasicDict_MaxRoleId, -1.0f});
    ASSERT_TRUE(w.add(e));
    std::vector<char> lex, prop;
    ASSERT_TRUE(w.build(lex, prop));
    EXPECT_EQ(LoadImages(lex, prop), len <= (int)BasicDict_MaxListLen) << len << " POS ids";
  }
}

TEST_F(BasicDictFiles, RuleRecordsOutsideTheirArraysFail) {
  const PropImage base = PropImage::Parse(prop_);
  auto rule_at = [&](PropImage& p, const std::string& w) -> LogP* {
    return &p.rule_info[Info(p, w).m_seg_rule_sidx];
  };
  const std::string r89 = ZHONG + GUO + REN, r88 = DA + XUE + SHENG, r87 = BEI + JING + DA + XUE;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* what;
    std::function<void(PropImage&)> patch;
  };
  std::vector<Case> cases = {
      {"89: start at the end", [&](PropImage& p) { Info(p, r89).m_seg_rule_sidx = (uint32_t)p.rule_info.size(); }},
      {"89: count runs past the end", [&](PropImage& p) { rule_at(p, r89)[0] = (float)p.rule_info.size(); }},
      {"89: count too large", [&](PropImage& p) { rule_at(p, r89)[0] = 1e9f; }},
      {"89: count NaN", [&](PropImage& p) { rule_at(p, r89)[0] = nan; }},
      {"89: count negative", [&](PropImage& p) { rule_at(p, r89)[0] = -1.0f; }},
      {"89: count infinite", [&](PropImage& p) { rule_at(p, r89)[0] = INFINITY; }},
      {"89: word index = word count", [&](PropImage& p) { rule_at(p, r89)[1] = (float)p.words; }},
      {"89: word index negative", [&](PropImage& p) { rule_at(p, r89)[2] = -1.0f; }},
      {"89: word index NaN", [&](PropImage& p) { rule_at(p, r89)[1] = nan; }},
      {"89: sub-words longer than the word",
       [&](PropImage& p) { rule_at(p, r89)[2] = (float)writer_.index_of(ZHONG + GUO); }},
      {"88: second block cut off", [&](PropImage& p) {
         // A copy of the record at the end of the array, cut after the
         // second block's first index.
         uint32_t s = Info(p, r88).m_seg_rule_sidx;
         std::vector<LogP> rec(p.rule_info.begin() + s, p.rule_info.begin() + s + 6);
         Info(p, r88).m_seg_rule_sidx = (uint32_t)p.rule_info.size();
         p.rule_info.insert(p.rule_info.end(), rec.begin(), rec.end());
       }},
      {"88: second count too large", [&](PropImage& p) { rule_at(p, r88)[4] = 300.0f; }},
      {"88: second word index out", [&](PropImage& p) { rule_at(p, r88)[6] = 1e7f; }},
      {"88: no POS list", [&](PropImage& p) { Info(p, r88).m_pos_sidx = Prop_None; }},
      {"88: POS list shorter than both segmentations", [&](PropImage& p) {
         // Point it at the last list of the array, "abc"'s single id.
         Info(p, r88).m_pos_sidx = (uint32_t)p.pos.size() - 2;
       }},
      {"87: record past the end", [&](PropImage& p) { Info(p, r87).m_seg_rule_sidx = (uint32_t)p.rule_info.size() - 7; }},
      {"87: word index out", [&](PropImage& p) { rule_at(p, r87)[4] = (float)p.words + 3; }},
      {"87: POS out of range", [&](PropImage& p) { rule_at(p, r87)[3] = 300.0f; }},
      {"87: first segmentation longer than the word",
       [&](PropImage& p) { rule_at(p, r87)[1] = (float)writer_.index_of(r88); }},
      {"sub-words: start at the end", [&](PropImage& p) { Info(p, BEI + JING).m_seg_rule_sidx = (uint32_t)p.segtype.size(); }},
      {"sub-words: count past the end", [&](PropImage& p) { p.segtype[Info(p, BEI + JING).m_seg_rule_sidx] = 200; }},
      {"sub-words: longer than the word", [&](PropImage& p) { p.segtype[Info(p, BEI + JING).m_seg_rule_sidx + 1] = 3; }},
      {"sub-words: POS out of range", [&](PropImage& p) { p.segtype[Info(p, BEI + JING).m_seg_rule_sidx + 3] = 99; }},
      {"plain word: record start far out", [&](PropImage& p) { Info(p, JING).m_seg_rule_sidx = 0x7FFFFFFF; }},
  };
  for (const Case& c : cases) {
    PropImage p = base;
    c.patch(p);
    EXPECT_FALSE(LoadProp(p)) << c.what;
  }
  // Counts are truncated as the readers do: 2.9 is 2.
  PropImage p = base;
  rule_at(p, r89)[0] = 2.9f;
  EXPECT_TRUE(LoadProp(p));
}

// Records a word's type does not read need not be valid; the accessors
// still refuse them.
TEST_F(BasicDictFiles, RecordsOfTheOtherKindAreCheckedByTheAccessors) {
  PropImage img = PropImage::Parse(prop_);
  const std::string r89 = ZHONG + GUO + REN;
  // The type-89 word's index (into m_RuleInfo) lies beyond m_SegType.
  img.segtype.resize(1);
  ASSERT_GE(Info(img, r89).m_seg_rule_sidx, 1u);
  Info(img, BEI + JING).m_seg_rule_sidx = Prop_None;
  Info(img, XUE + SHENG).m_seg_rule_sidx = Prop_None;
  Info(img, "abc").m_seg_rule_sidx = Prop_None;
  CBasicDict d;
  ASSERT_TRUE(LoadImages(lex_, img.Serialize(), &d));
  EXPECT_EQ(d.subword_record((uint32_t)writer_.index_of(r89)), nullptr);
  rule_block_t b;
  EXPECT_TRUE(d.rule_block((uint32_t)writer_.index_of(r89), 0, b));
}

TEST_F(BasicDictFiles, DoubleArrayDefectsFail) {
  auto unit = [](std::vector<char>& lex, size_t i) -> uint32_t* {
    return reinterpret_cast<uint32_t*>(lex.data()) + i;
  };
  CBasicDict d;
  ASSERT_TRUE(d.loadBasicDict(lex_path_.c_str(), prop_path_.c_str()));
  // The node reached by the first byte of ZHONG (a key ends there? no: it is
  // half a character) and the node of the whole word.
  size_t half = 0, k = 0;
  EXPECT_EQ(d.mBasicDict.traverse(ZHONG.c_str(), half, k, 1), -1);
  size_t whole = 0;
  k = 0;
  ASSERT_GE(d.mBasicDict.traverse(ZHONG.c_str(), whole, k, 2), 0);

  std::vector<char> lex = lex_;
  *unit(lex, 0) |= 0x80000000u;  // root as a leaf
  EXPECT_FALSE(LoadImages(lex, prop_));
  lex = lex_;
  *unit(lex, 0) |= 1u << 8;  // root with a leaf: the empty key
  EXPECT_FALSE(LoadImages(lex, prop_));
  lex = lex_;
  *unit(lex, half) |= 1u << 8;  // a leaf flag without a leaf unit
  EXPECT_FALSE(LoadImages(lex, prop_));
  lex = lex_;
  *unit(lex, whole) = (*unit(lex, whole) & 0x3FF) | (0x1FFFFFu << 10);  // base far outside
  EXPECT_FALSE(LoadImages(lex, prop_));
  lex = lex_;
  lex.resize(lex.size() + 1024, '\0');  // an extra block of zero units: still a valid array
  EXPECT_TRUE(LoadImages(lex, prop_));
  lex.assign(1020, '\0');
  EXPECT_FALSE(LoadImages(lex, prop_));
  lex.clear();
  EXPECT_FALSE(LoadImages(lex, prop_));
}

TEST(BasicDictWalk, CycleAndSharedNodes) {
  // A node whose child is an ancestor: units 0 (root, base 1), child for
  // byte 'a' at 1 ^ 'a' = 0x60 with base 1 again, so 'a' leads back to
  // unit 0x60 at every depth.
  std::vector<uint32_t> units(256, 0x80000000u);
  units[0] = 1u << 10;
  units[0x60] = ((0x60u ^ 1u) << 10) | 'a';
  auto count = [](void* ctx, uint32_t, size_t) {
    ++*static_cast<int*>(ctx);
    return true;
  };
  int visits = 0;
  EXPECT_FALSE(DictTrieForEachKey(units.data(), units.size(), 255, count, &visits));

  // darts-clone merges identical suffixes of equal value: every key is
  // still seen with its value and length.
  std::vector<char> raw = ReadFile(std::string(LX_TEST_DATA_DIR) + "/da/extreme_values.da");
  std::vector<uint32_t> ev(raw.size() / 4);
  std::memcpy(ev.data(), raw.data(), raw.size());
  std::set<std::pair<uint32_t, size_t>> seen, want;
  for (auto& k : FixtureKeys("extreme_values")) want.insert({(uint32_t)k.second, k.first.size()});
  auto collect = [](void* ctx, uint32_t v, size_t len) {
    static_cast<std::set<std::pair<uint32_t, size_t>>*>(ctx)->insert({v, len});
    return true;
  };
  EXPECT_TRUE(DictTrieForEachKey(ev.data(), ev.size(), 255, collect, &seen));
  EXPECT_EQ(seen, want);
  // Keys longer than the limit stop the walk.
  EXPECT_FALSE(DictTrieForEachKey(ev.data(), ev.size(), 3, collect, &seen));
}

TEST(BasicDictWalk, VisitsEveryKeyOnceAgainstReference) {
  std::mt19937 rng(11);
  for (int round = 0; round < 20; round++) {
    std::set<std::string> keys;
    size_t n = 1 + rng() % 2000;
    while (keys.size() < n) {
      std::string k;
      for (size_t len = 1 + rng() % 10; k.size() < len;) k.push_back((char)(1 + rng() % (round % 2 ? 255 : 4)));
      keys.insert(k);
    }
    std::vector<const char*> ptrs;
    for (const std::string& k : keys) ptrs.push_back(k.c_str());
    Darts::DoubleArray da;
    da.build(ptrs.size(), ptrs.data());
    std::vector<std::pair<uint32_t, size_t>> seen;
    auto collect = [](void* ctx, uint32_t v, size_t len) {
      static_cast<std::vector<std::pair<uint32_t, size_t>>*>(ctx)->push_back({v, len});
      return true;
    };
    ASSERT_TRUE(DictTrieForEachKey(static_cast<const uint32_t*>(da.array()), da.size(), 65534,
                                   collect, &seen));
    std::sort(seen.begin(), seen.end());
    std::vector<std::pair<uint32_t, size_t>> want;
    uint32_t i = 0;
    for (const std::string& k : keys) want.push_back({i++, k.size()});
    EXPECT_EQ(seen, want);
  }
}

// --- Random damage -----------------------------------------------------------------------

TEST_F(BasicDictFiles, FlippedBytesFailOrStayInBounds) {
  std::mt19937 rng(5);
  const int rounds = 800;
  int loaded = 0;
  for (int round = 0; round < rounds; round++) {
    std::vector<char> prop = prop_, lex = lex_;
    bool in_lex = round % 3 == 0;
    std::vector<char>& target = in_lex ? lex : prop;
    int flips = 1 + (int)(rng() % 4);
    for (int f = 0; f < flips; f++) {
      size_t at = rng() % target.size();
      if (rng() % 2) {
        target[at] = (char)(rng() % 256);
      } else {
        target[at] ^= (char)(1 << (rng() % 8));
      }
    }
    loaded += LoadImages(lex, prop);
  }
  // Many flips hit probabilities or padding and load; the rest must fail cleanly.
  EXPECT_GT(loaded, 0);
  EXPECT_LT(loaded, rounds);
}

TEST_F(BasicDictFiles, RandomIndexFieldsFailOrStayInBounds) {
  std::mt19937 rng(9);
  const PropImage base = PropImage::Parse(prop_);
  const int rounds = 800;
  int loaded = 0;
  for (int round = 0; round < rounds; round++) {
    PropImage p = base;
    word_prop_t& w = p.info[rng() % p.info.size()];
    uint32_t* fields[] = {&w.m_pos_sidx, &w.m_role_sidx, &w.m_ln_role_sidx, &w.m_seg_rule_sidx};
    uint32_t& f = *fields[rng() % 4];
    switch (rng() % 4) {
      case 0: f = rng() % 64; break;                 // somewhere inside the arrays
      case 1: f = (uint32_t)rng(); break;            // anywhere
      case 2: f = Prop_None - (rng() % 4); break;    // around "none"
      default: w.m_NameEntity = (uint16_t)(85 + rng() % 6); break;  // another record kind
    }
    loaded += LoadProp(p);
  }
  EXPECT_GT(loaded, 0);
  EXPECT_LT(loaded, rounds);
}

// --- Writer ------------------------------------------------------------------------------

TEST(BasicDictWriter, RefusesWhatTheFormatCannotHold) {
  CBasicDictWriter w;
  basic_dict_entry_t e;
  e.word = "";
  EXPECT_FALSE(w.add(e));
  e.word = std::string("a\0b", 3);
  EXPECT_FALSE(w.add(e));
  e.word = std::string(256, 'x');
  EXPECT_FALSE(w.add(e));
  e.word = std::string(255, 'x');
  EXPECT_TRUE(w.add(e));
  EXPECT_FALSE(w.add(e));  // twice
  EXPECT_EQ(w.size(), 1u);

  std::vector<char> lex, prop;
  CBasicDictWriter none;
  EXPECT_FALSE(none.build(lex, prop));

  CBasicDictWriter zero_id;
  e.word = "a";
  e.pos = std::vector<prop_item_t>{{16, 0.0f}, {0, 0.0f}};
  ASSERT_TRUE(zero_id.add(e));
  EXPECT_FALSE(zero_id.build(lex, prop));

  CBasicDictWriter unknown;
  e = basic_dict_entry_t();
  e.word = "ab";
  e.name_entity = BasicDict_TypeRule;
  e.rule = BasicDictRuleBlock({"a", "b"}, 0.0f);
  ASSERT_TRUE(unknown.add(e));
  EXPECT_FALSE(unknown.build(lex, prop));
  EXPECT_NE(unknown.last_error(), "");

  CBasicDictWriter many;
  e = basic_dict_entry_t();
  e.word = "abc";
  e.subwords = std::vector<subword_t>(256, subword_t{0, 0});
  ASSERT_TRUE(many.add(e));
  EXPECT_FALSE(many.build(lex, prop));
}

TEST(BasicDictWriter, FailedWriteLeavesNoFile) {
  TempDir dir;
  CBasicDictWriter w = SampleWriter();
  std::string missing = dir.file("no/such/dir/Core.Lex");
  EXPECT_FALSE(w.write(missing.c_str(), dir.file("Core.Prop").c_str()));
  EXPECT_FALSE(fs::exists(missing));
  ASSERT_TRUE(w.write(dir.file("Core.Lex").c_str(), dir.file("Core.Prop").c_str()));
  size_t files = 0;
  for (auto& entry : fs::directory_iterator(fs::path(dir.file("")))) {
    (void)entry;
    files++;
  }
  EXPECT_EQ(files, 2u);  // no temporary left behind
}

}  // namespace
