#include "dict/NerResource.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "LXPub.h"
#include "base/PosTag.h"
#include "dict/NerResourceWriter.h"

namespace fs = std::filesystem;

namespace {

typedef std::map<std::string, int> DictMap;
typedef std::map<std::vector<int>, int> TrieMap;

// A scratch directory per test, removed afterwards.
class NerFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (fs::path(::testing::TempDir()) / "ner_test_XXXXXX").string();
    ASSERT_NE(mkdtemp(&templ[0]), nullptr);
    dir_ = templ;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  std::string write(const std::string& name, const std::string& bytes) const {
    std::string p = path(name);
    std::ofstream out(p, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return p;
  }

  static std::string read(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  size_t file_count() const {
    size_t n = 0;
    for (auto it = fs::directory_iterator(dir_); it != fs::directory_iterator(); ++it) ++n;
    return n;
  }

  fs::path dir_;
};

DictMap contents(const HashDict* dict) {
  DictMap m;
  if (dict == nullptr) return m;
  LHashIter<const char*, int> iter(*dict);
  const char* key = nullptr;
  while (int* value = iter.next(key)) m[key] = *value;
  return m;
}

// Every node of the trie below the root, by its key path.
TrieMap contents(const Trie<int, int>& trie) {
  TrieMap m;
  for (unsigned level = 1;; ++level) {
    std::vector<int> keys(level + 1);
    TrieIter2<int, int> iter(trie, keys.data(), level);
    bool any = false;
    while (Trie<int, int>* node = iter.next()) {
      any = true;
      m[std::vector<int>(keys.begin(), keys.begin() + level)] = node->value();
    }
    if (!any) break;
  }
  return m;
}

void append_le32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

uint32_t bits_of(float f) {
  uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

// A table file whose entry [p][c] is {p * dim + c + 0.25, -(p * dim + c)}.
std::string numbered_table_bytes(size_t dim) {
  std::string out;
  for (size_t i = 0; i < dim * dim; ++i) {
    append_le32(out, bits_of(static_cast<float>(i) + 0.25f));
    append_le32(out, bits_of(-static_cast<float>(i)));
  }
  return out;
}

std::vector<CProbabilityNode> filled_table(size_t dim, float v) {
  return std::vector<CProbabilityNode>(dim * dim, CProbabilityNode{v, v});
}

bool same_bits(const std::vector<CProbabilityNode>& a, const std::vector<CProbabilityNode>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (bits_of(a[i].m_Prob) != bits_of(b[i].m_Prob) || bits_of(a[i].m_Bow) != bits_of(b[i].m_Bow))
      return false;
  return true;
}

// GBK bytes of a few characters used as keys.
const std::string kOuYang = "\xC5\xB7\xD1\xF4";    // 欧阳
const std::string kSiMa = "\xCB\xBE\xC2\xED";      // 司马
const std::string kZhuGe = "\xD6\xEE\xB8\xF0";     // 诸葛
const std::string kWang = "\xCD\xF5";              // 王
const std::string kLi = "\xC0\xEE";                // 李
const std::string kSheng = "\xCA\xA1";             // 省
const std::string kShi = "\xCA\xD0";               // 市
const std::string kXian = "\xCF\xD8";              // 县
const std::string kZhou = "\xD6\xDD";              // 州
const std::string kZhen = "\xD5\xF2";              // 镇
const std::string kXiang = "\xCF\xE7";             // 乡
const std::string kCun = "\xB4\xE5";               // 村
const std::string kJie = "\xBD\xD6";               // 街

struct LoadedLists {
  HashDict* fuxing = nullptr;
  HashDict* no_amb = nullptr;
  HashDict* suffix = nullptr;
  ~LoadedLists() {
    CNerResource::free_dict(fuxing);
    CNerResource::free_dict(no_amb);
    CNerResource::free_dict(suffix);
  }
  int load(const std::string& p) {
    return CNerResource::load_named_entity_resource(p.c_str(), fuxing, no_amb, suffix);
  }
};

// ---------------------------------------------------------------------------
// Role and POS inventories

TEST(NerRoleInventory, PrintNamesOfEveryRoleId) {
  const char* const expected[52] = {
      "",   "B",  "C",  "D",  "E",  "F",  "G",  "K",  "L",      "M",      "U",  "V",  "X",
      "Y",  "Z",  "H",  "I",  "T",  "E2", "X2", "LH", "LM",     "LT",     "LO", "NI", "NF",
      "NB", "X_HALF", "D_HALF", "LY", "SU", "FH", "FM", "FT", "A", "A", "A", "A",  "A",
      "A",  "A",  "A",  "A",  "A",  "A",  "A",  "A",  "A",      "A",      "A",  "A",  "unk"};
  for (int id = 1; id <= 51; ++id) EXPECT_EQ(CNerResource::role_name(id), expected[id]) << id;
  EXPECT_EQ(CNerResource::role_name(0), "");
  EXPECT_EQ(CNerResource::role_name(52), "");
  EXPECT_EQ(CNerResource::role_name(-1), "");
}

// The offsets are written by hand: every entry must be one blank-separated
// name of the string, in order, and together they must cover the string.
TEST(NerRoleInventory, IndexTablesTileTheirNameStrings) {
  struct Table {
    const char* names;
    const NameIndexType* index;
    size_t count;
  } tables[] = {{CNerResource::m_pPRole, CNerResource::m_PRoleIndex, 51},
                {CNerResource::m_pPOS, CNerResource::m_POSIndex, 48}};
  for (const Table& t : tables) {
    size_t expected_offset = 0;
    for (size_t i = 0; i < t.count; ++i) {
      EXPECT_EQ(t.index[i].offset, expected_offset) << i;
      ASSERT_GT(t.index[i].len, 0u);
      const char after = t.names[t.index[i].offset + t.index[i].len];
      EXPECT_EQ(after, i + 1 == t.count ? '\0' : ' ') << i;
      EXPECT_EQ(std::memchr(t.names + t.index[i].offset, ' ', t.index[i].len), nullptr) << i;
      expected_offset = t.index[i].offset + t.index[i].len + 1;
    }
    EXPECT_EQ(expected_offset, std::strlen(t.names) + 1);
  }
}

TEST(NerRoleInventory, PatternNameMapAgreesWithPrintTableAndIds) {
  NeNameMap roles;
  CNerResource::_load_all_roles(roles);
  const DictMap expected = {
      {"B", 1},       {"C", 2},       {"D", 3},   {"E", 4},   {"F", 5},      {"G", 6},
      {"U", 10},      {"V", 11},      {"X", 12},  {"Y", 13},  {"Z", 14},     {"H", 15},
      {"I", 16},      {"T", 17},      {"E2", 18}, {"X2", 19}, {"LH", 20},    {"LM", 21},
      {"LT", 22},     {"LO", 23},     {"X_HALF", 27},         {"D_HALF", 28}, {"FH", 31},
      {"FM", 32},     {"FT", 33},     {"A", 50},  {"<unk>", 51}, {"<s>", 52}, {"</s>", 53}};
  EXPECT_EQ(DictMap(roles.begin(), roles.end()), expected);

  // Each mapped id up to 50 prints as the same name; <unk> prints as "unk".
  for (const auto& r : roles) {
    if (r.second <= 50) {
      EXPECT_EQ(CNerResource::role_name(r.second), r.first);
    }
  }
  EXPECT_EQ(CNerResource::role_name(roles["<unk>"]), "unk");

  // Role-list-only roles have a print name but no pattern name.
  for (int id : {7, 8, 9, 24, 25, 26, 29, 30}) {
    const std::string name = CNerResource::role_name(id);
    EXPECT_EQ(roles.count(name), 0u) << name;
  }
  // The enumeration used by the recognizers names the same ids.
  EXPECT_EQ(roles["X_HALF"], NE_ROLE_X_HALF);
  EXPECT_EQ(roles["D_HALF"], NE_ROLE_D_HALF);
  EXPECT_EQ(roles["FT"], NE_ROLE_FT);
  EXPECT_EQ(roles["A"], NE_ROLE_A);
  EXPECT_EQ(roles["<s>"], NE_ROLE_SOS);
  EXPECT_EQ(roles["</s>"], NE_ROLE_EOS);
  EXPECT_EQ(CNerResource::role_name(NE_ROLE_LY), "LY");
  EXPECT_EQ(CNerResource::role_name(NE_ROLE_SU), "SU");
  EXPECT_EQ(CNerResource::role_name(NE_ROLE_K), "K");
}

TEST(NerPosInventory, NamesFollowThePublicIdentifiers) {
  for (int id = LX_A; id <= LX_ZG; ++id)
    EXPECT_EQ(CNerResource::pos_name(id), pos_tag_string(id)) << id;
  EXPECT_EQ(CNerResource::pos_name(LX_N), "n");
  EXPECT_EQ(CNerResource::pos_name(LX_ZG), "Zg");
  EXPECT_EQ(CNerResource::pos_name(0), "");
  EXPECT_EQ(CNerResource::pos_name(LX_SOS), "");
}

TEST(NerPosInventory, CoarseMap) {
  std::map<int, int> changed = {{2, 6},   {3, 16},  {32, 6},  {33, 16}, {38, 1},
                                {39, 4},  {40, 6},  {41, 15}, {42, 16}, {43, 26},
                                {44, 27}, {45, 29}, {46, 31}, {47, 36}, {48, 37},
                                {53, 0},  {54, 0}};
  for (int i = 0; i < 56; ++i) {
    const int expected = changed.count(i) ? changed[i] : i;
    EXPECT_EQ(CNerResource::POSMAP[i], expected) << i;
  }
  // Each "..g" tag maps to its base tag.
  for (int id = LX_AG; id <= LX_ZG; ++id) {
    const std::string g = pos_tag_string(id);
    std::string base(1, static_cast<char>(g[0] - 'A' + 'a'));
    EXPECT_EQ(pos_tag_string(CNerResource::POSMAP[id]), base) << g;
  }
}

TEST(NerFixedLists, Contents) {
  auto list = [](const unsigned char* p) {
    std::vector<int> v;
    while (*p) v.push_back(*p++);
    return v;
  };
  EXPECT_EQ(list(CNerResource::RoleTempA), std::vector<int>({50}));
  EXPECT_EQ(list(CNerResource::RoleTempSinglePos), std::vector<int>({50, 2, 3, 4}));
  EXPECT_EQ(list(CNerResource::RoleTempMultiPos), std::vector<int>({50, 14}));
  EXPECT_EQ(list(CNerResource::RoleSOS), std::vector<int>({52}));
  EXPECT_EQ(list(CNerResource::RoleEOS), std::vector<int>({53}));
  EXPECT_EQ(list(CNerResource::POSSOS), std::vector<int>({LX_SOS}));
  EXPECT_EQ(list(CNerResource::POSTemp), std::vector<int>({LX_N}));
  EXPECT_EQ(list(CNerResource::POSEOS), std::vector<int>({LX_EOS}));
  EXPECT_EQ(list(CNerResource::POSPUNC), std::vector<int>({LX_W}));
}

// ---------------------------------------------------------------------------
// Mode map and pattern trie

const std::vector<std::pair<std::string, int> > kPatterns = {
    {"B C D", 1},      {"B C D_HALF", 2}, {"B C V", 3},       {"B V", 4},
    {"B G", 5},        {"B E", 6},        {"B Z", 7},         {"B A", 8},
    {"F B", 9},        {"F E", 10},       {"X D", 11},        {"X D_HALF", 12},
    {"X_HALF D", 13},  {"X_HALF D_HALF", 14}, {"U C D", 15},  {"U C D_HALF", 16},
    {"U E", 17},       {"U Z", 18},       {"H E2", 19},       {"Y", 100}};

TEST(NerModeMap, TwentyPatternsInArrayOrder) {
  NeNameMap modes;
  CNerResource::_load_trie_modes(modes);
  EXPECT_EQ(modes.size(), 20u);
  for (size_t i = 0; i < kPatterns.size(); ++i) {
    ASSERT_NE(CNerResource::m_ptr_pn_modes[i], nullptr) << i;
    EXPECT_EQ(CNerResource::m_ptr_pn_modes[i], kPatterns[i].first);
    EXPECT_EQ(CNerResource::_get_map_value(modes, kPatterns[i].first), kPatterns[i].second);
  }
  EXPECT_EQ(CNerResource::m_ptr_pn_modes[20], nullptr);

  EXPECT_EQ(CNerResource::_get_map_value(modes, "B C"), 0);
  EXPECT_EQ(CNerResource::_get_map_value(modes, ""), 0);
  EXPECT_EQ(CNerResource::_get_map_value(modes, "b c d"), 0);
  EXPECT_EQ(CNerResource::_get_map_value(modes, "Y "), 0);
}

TEST(NerModeTrie, PathsBCDAndY) {
  Trie<int, int> pn, ln;
  ASSERT_TRUE(CNerResource::_load_ne_mode(CNerResource::m_ptr_pn_modes, 1, pn, ln));
  const int b[] = {NE_ROLE_B, INT_MIN};
  const int bc[] = {NE_ROLE_B, NE_ROLE_C, INT_MIN};
  const int bcd[] = {NE_ROLE_B, NE_ROLE_C, NE_ROLE_D, INT_MIN};
  const int y[] = {NE_ROLE_Y, INT_MIN};
  ASSERT_NE(pn.find(bcd), nullptr);
  EXPECT_EQ(*pn.find(b), 200);
  EXPECT_EQ(*pn.find(bc), 201);
  EXPECT_EQ(*pn.find(bcd), 1);
  EXPECT_EQ(*pn.find(y), 100);
  EXPECT_EQ(contents(ln).size(), 0u);
}

// All 28 nodes of the person-pattern trie, written out by hand.
TEST(NerModeTrie, CompleteStructureOfThePersonPatterns) {
  enum { B = NE_ROLE_B, C = NE_ROLE_C, D = NE_ROLE_D, E = NE_ROLE_E, F = NE_ROLE_F,
         G = NE_ROLE_G, U = NE_ROLE_U, V = NE_ROLE_V, X = NE_ROLE_X, Y = NE_ROLE_Y,
         Z = NE_ROLE_Z, H = NE_ROLE_H, E2 = NE_ROLE_E2, XH = NE_ROLE_X_HALF,
         DH = NE_ROLE_D_HALF, A = NE_ROLE_A };
  const TrieMap expected = {
      {{B}, 200},        {{F}, 200},         {{X}, 200},       {{XH}, 200},
      {{U}, 200},        {{H}, 200},         {{Y}, 100},
      {{B, C}, 201},     {{B, V}, 4},        {{B, G}, 5},      {{B, E}, 6},
      {{B, Z}, 7},       {{B, A}, 8},        {{F, B}, 9},      {{F, E}, 10},
      {{X, D}, 11},      {{X, DH}, 12},      {{XH, D}, 13},    {{XH, DH}, 14},
      {{U, C}, 201},     {{U, E}, 17},       {{U, Z}, 18},     {{H, E2}, 19},
      {{B, C, D}, 1},    {{B, C, DH}, 2},    {{B, C, V}, 3},   {{U, C, D}, 15},
      {{U, C, DH}, 16}};
  Trie<int, int> pn, ln;
  ASSERT_TRUE(CNerResource::_load_ne_mode(CNerResource::m_ptr_pn_modes, 1, pn, ln));
  EXPECT_EQ(contents(pn), expected);

  // Loading again (initialisation after a release) changes nothing.
  ASSERT_TRUE(CNerResource::_load_ne_mode(CNerResource::m_ptr_pn_modes, 1, pn, ln));
  EXPECT_EQ(contents(pn), expected);

  // Every complete pattern ends at a node below 200 holding its mode id.
  for (const auto& p : kPatterns) {
    std::vector<int> path;
    NeNameMap roles;
    CNerResource::_load_all_roles(roles);
    size_t pos = 0;
    while (pos <= p.first.size()) {
      size_t end = p.first.find(' ', pos);
      if (end == std::string::npos) end = p.first.size();
      path.push_back(roles[p.first.substr(pos, end - pos)]);
      pos = end + 1;
    }
    EXPECT_EQ(expected.at(path), p.second) << p.first;
  }
}

TEST(NerModeTrie, LaterPatternOverwritesSharedNode) {
  enum { B = NE_ROLE_B, C = NE_ROLE_C, D = NE_ROLE_D, X = NE_ROLE_X, Y = NE_ROLE_Y };
  {
    // "B C" is no known pattern: its last node gets mode 0, replacing 201.
    const char* const modes[] = {"B C D", "B C", nullptr};
    Trie<int, int> t;
    CNerResource::_build_ne_mode_trie(modes, t);
    EXPECT_EQ(contents(t), (TrieMap{{{B}, 200}, {{B, C}, 0}, {{B, C, D}, 1}}));
  }
  {
    // In the other order "B C D" writes 201 over the 0.
    const char* const modes[] = {"B C", "B C D", nullptr};
    Trie<int, int> t;
    CNerResource::_build_ne_mode_trie(modes, t);
    EXPECT_EQ(contents(t), (TrieMap{{{B}, 200}, {{B, C}, 201}, {{B, C, D}, 1}}));
  }
  {
    // A one-role pattern written after a longer one takes over its first node.
    const char* const modes[] = {"Y X", "Y", nullptr};
    Trie<int, int> t;
    CNerResource::_build_ne_mode_trie(modes, t);
    EXPECT_EQ(contents(t), (TrieMap{{{Y}, 100}, {{Y, X}, 0}}));
    const char* const reversed[] = {"Y", "Y X", nullptr};
    Trie<int, int> r;
    CNerResource::_build_ne_mode_trie(reversed, r);
    EXPECT_EQ(contents(r), (TrieMap{{{Y}, 200}, {{Y, X}, 0}}));
  }
}

TEST(NerModeTrie, UnknownRoleNamesBlankRunsAndEmptyPatterns) {
  const char* const modes[] = {"B  Q", "", "   ", "Y ", nullptr};
  Trie<int, int> t;
  CNerResource::_build_ne_mode_trie(modes, t);
  // "Q" is no role name (key 0); "Y " is not the pattern "Y" (mode 0).
  EXPECT_EQ(contents(t), (TrieMap{{{NE_ROLE_B}, 200}, {{NE_ROLE_B, 0}, 0}, {{NE_ROLE_Y}, 0}}));

  Trie<int, int> none;
  CNerResource::_build_ne_mode_trie(nullptr, none);
  EXPECT_EQ(contents(none).size(), 0u);
}

TEST(NerModeTrie, LoadNeModeSelectsTrieByEntityType) {
  Trie<int, int> pn, ln;
  ASSERT_TRUE(CNerResource::_load_ne_mode(CNerResource::m_ptr_pn_modes, 2, pn, ln));
  EXPECT_EQ(contents(pn).size(), 0u);
  EXPECT_EQ(contents(ln).size(), 28u);

  const TrieMap before_ln = contents(ln);
  const std::string message =
      "_load_ne_mode(): "
      "\xB2\xBB\xBA\xCF\xB7\xA8\xB5\xC4\xCA\xB5\xCC\xE5\xC0\xE0\xD0\xCD\xB2\xCE\xCA\xFD!\n";
  for (char type : {char(0), char(3), char(4), char(-1), 'x'}) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(CNerResource::_load_ne_mode(CNerResource::m_ptr_pn_modes, type, pn, ln));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), message) << int(type);
  }
  EXPECT_EQ(contents(pn).size(), 0u);
  EXPECT_EQ(contents(ln), before_ln);
}

// ---------------------------------------------------------------------------
// Chinese-numeral dictionary

TEST(NerHanziShuzi, FifteenNumeralsWithFixedValues) {
  const DictMap expected = {
      {"\xD2\xBB", 0},  {"\xB6\xFE", 1},  {"\xC8\xFD", 2},  {"\xCB\xC4", 3},
      {"\xCE\xE5", 4},  {"\xC1\xF9", 5},  {"\xC6\xDF", 6},  {"\xB0\xCB", 7},
      {"\xBE\xC5", 8},  {"\xCA\xAE", 9},  {"\xB0\xD9", 10}, {"\xC7\xA7", 11},
      {"\xCD\xF2", 12}, {"\xD2\xDA", 13}, {"\xBC\xB8", 14}};
  HashDict* dict = nullptr;
  CNerResource::_load_hanzi_shuzi_dict(&dict);
  ASSERT_NE(dict, nullptr);
  EXPECT_EQ(contents(dict), expected);
  bool found = true;
  EXPECT_EQ(dict->find("\xC1\xE3", found), nullptr);  // 零 is not one of them
  EXPECT_FALSE(found);

  // Building again replaces the dictionary (the old one is freed).
  CNerResource::_load_hanzi_shuzi_dict(&dict);
  EXPECT_EQ(contents(dict), expected);
  CNerResource::free_dict(dict);
  EXPECT_EQ(dict, nullptr);
  CNerResource::free_dict(dict);
}

// ---------------------------------------------------------------------------
// Transition tables

TEST_F(NerFiles, PosTableEntryStartsAtItsRowMajorOffset) {
  const size_t dim = CNerResource::POS_TT_DIM;
  std::string bytes = numbered_table_bytes(dim);
  ASSERT_EQ(bytes.size(), 25088u);
  ASSERT_EQ(bytes.size(), CNerResource::POS_TT_BYTES);
  // Mark entry [49][16] through its file offset alone.
  const size_t offset = 8 * (56 * 49 + 16);
  std::string marked = bytes;
  std::string mark;
  append_le32(mark, bits_of(-1.5f));
  append_le32(mark, bits_of(-2.75f));
  marked.replace(offset, 8, mark);

  std::vector<CProbabilityNode> table = filled_table(dim, 0.0f);
  ASSERT_TRUE(CNerResource::load_transition_table(write("POSTT.Lex", marked).c_str(),
                                                  table.data(), dim));
  for (size_t p = 0; p < dim; ++p) {
    for (size_t c = 0; c < dim; ++c) {
      const CProbabilityNode& e = table[p * dim + c];
      if (p == 49 && c == 16) {
        EXPECT_EQ(e.m_Prob, -1.5f);
        EXPECT_EQ(e.m_Bow, -2.75f);
      } else {
        ASSERT_EQ(e.m_Prob, static_cast<float>(56 * p + c) + 0.25f) << p << "," << c;
        ASSERT_EQ(e.m_Bow, -static_cast<float>(56 * p + c)) << p << "," << c;
      }
    }
  }
}

TEST_F(NerFiles, RoleTablesAreFiftyFourSquare) {
  const size_t dim = CNerResource::ROLE_TT_DIM;
  const std::string bytes = numbered_table_bytes(dim);
  ASSERT_EQ(bytes.size(), 23328u);
  ASSERT_EQ(bytes.size(), CNerResource::ROLE_TT_BYTES);
  std::vector<CProbabilityNode> table = filled_table(dim, 9.0f);
  ASSERT_TRUE(CNerResource::load_transition_table(write("RoleTT.Lex", bytes).c_str(),
                                                  table.data(), dim));
  // [r][0].m_Bow and [r][50].m_Prob are the cells role tagging reads.
  EXPECT_EQ(table[13 * 54 + 0].m_Bow, -static_cast<float>(13 * 54));
  EXPECT_EQ(table[13 * 54 + 50].m_Prob, static_cast<float>(13 * 54 + 50) + 0.25f);
  EXPECT_EQ(table[53 * 54 + 53].m_Prob, static_cast<float>(54 * 54 - 1) + 0.25f);
}

TEST_F(NerFiles, ShortTableFileIsRefusedAndTableKept) {
  const std::string full = numbered_table_bytes(CNerResource::POS_TT_DIM);
  for (size_t size : {size_t(0), size_t(1), size_t(8), size_t(23328), full.size() - 1}) {
    const std::string p = write("short.Lex", full.substr(0, size));
    std::vector<CProbabilityNode> table = filled_table(CNerResource::POS_TT_DIM, 7.0f);
    EXPECT_FALSE(CNerResource::load_transition_table(p.c_str(), table.data(),
                                                     CNerResource::POS_TT_DIM))
        << size;
    EXPECT_TRUE(same_bits(table, filled_table(CNerResource::POS_TT_DIM, 7.0f))) << size;
  }
  const std::string role_short =
      write("role_short.Lex", numbered_table_bytes(54).substr(0, 23327));
  std::vector<CProbabilityNode> role = filled_table(54, 7.0f);
  EXPECT_FALSE(CNerResource::load_transition_table(role_short.c_str(), role.data(), 54));
  EXPECT_TRUE(same_bits(role, filled_table(54, 7.0f)));
}

TEST_F(NerFiles, BytesAfterTheTableAreIgnored) {
  const std::string full = numbered_table_bytes(56);
  std::vector<CProbabilityNode> expected = filled_table(56, 0.0f);
  ASSERT_TRUE(CNerResource::load_transition_table(write("exact.Lex", full).c_str(),
                                                  expected.data(), 56));
  std::vector<CProbabilityNode> table = filled_table(56, 0.0f);
  ASSERT_TRUE(CNerResource::load_transition_table(
      write("long.Lex", full + std::string(13, '\x7F')).c_str(), table.data(), 56));
  EXPECT_TRUE(same_bits(table, expected));

  // A POS-sized file read as a role table: its first 54 x 54 entries.
  std::vector<CProbabilityNode> role = filled_table(54, 0.0f);
  ASSERT_TRUE(CNerResource::load_transition_table(path("exact.Lex").c_str(), role.data(), 54));
  EXPECT_EQ(role[53 * 54 + 53].m_Prob, static_cast<float>(53 * 54 + 53) + 0.25f);
}

TEST_F(NerFiles, MissingTableFileOrDirectoryFails) {
  std::vector<CProbabilityNode> table = filled_table(54, 7.0f);
  EXPECT_FALSE(CNerResource::load_transition_table(path("absent.Lex").c_str(), table.data(), 54));
  EXPECT_FALSE(CNerResource::load_transition_table(dir_.string().c_str(), table.data(), 54));
  EXPECT_FALSE(CNerResource::load_transition_table(nullptr, table.data(), 54));
  EXPECT_TRUE(same_bits(table, filled_table(54, 7.0f)));
}

TEST_F(NerFiles, TableWriterRoundTrip) {
  std::mt19937 rng(12345);
  std::uniform_int_distribution<uint32_t> any_bits;
  for (size_t dim : {CNerResource::ROLE_TT_DIM, CNerResource::POS_TT_DIM}) {
    std::vector<CProbabilityNode> table(dim * dim);
    for (auto& e : table) {
      uint32_t a = any_bits(rng), b = any_bits(rng);
      std::memcpy(&e.m_Prob, &a, 4);
      std::memcpy(&e.m_Bow, &b, 4);
    }
    table[0].m_Prob = LogP_Zero;
    table[1].m_Bow = std::numeric_limits<float>::denorm_min();
    table[2].m_Prob = -0.0f;
    const std::string p = path("table.Lex");
    ASSERT_TRUE(CNerResourceWriter::write_transition_table(p.c_str(), table.data(), dim));
    EXPECT_EQ(fs::file_size(p), dim * dim * 8);
    // The file is little-endian whatever the host: check one entry by hand.
    const std::string bytes = read(p);
    const size_t at = 8 * (dim * 3 + 5);
    uint32_t prob = 0;
    for (int i = 3; i >= 0; --i) prob = (prob << 8) | static_cast<unsigned char>(bytes[at + i]);
    EXPECT_EQ(prob, bits_of(table[dim * 3 + 5].m_Prob));

    std::vector<CProbabilityNode> loaded = filled_table(dim, 0.0f);
    ASSERT_TRUE(CNerResource::load_transition_table(p.c_str(), loaded.data(), dim));
    EXPECT_TRUE(same_bits(loaded, table)) << dim;
  }
  EXPECT_EQ(file_count(), 1u);  // no temporary file left behind
}

TEST_F(NerFiles, TableWriterFailuresLeaveNothing) {
  std::vector<CProbabilityNode> table = filled_table(54, 1.0f);
  EXPECT_FALSE(CNerResourceWriter::write_transition_table(path("no/such/dir/t.Lex").c_str(),
                                                          table.data(), 54));
  EXPECT_FALSE(CNerResourceWriter::write_transition_table(path("t.Lex").c_str(), nullptr, 54));
  EXPECT_FALSE(CNerResourceWriter::write_transition_table(path("t.Lex").c_str(), table.data(), 0));
  EXPECT_FALSE(CNerResourceWriter::write_transition_table(nullptr, table.data(), 54));
  EXPECT_EQ(file_count(), 0u);
}

// ---------------------------------------------------------------------------
// "ner_info"

TEST_F(NerFiles, SuffixWeights) {
  const std::string text = "#loc_suffix\n" +
                           kSheng + " 0\n" +              // weight 0: nothing
                           kShi + " 3\n" +                // weight 3
                           kXian + "\n" +                 // no blank: nothing
                           kZhou + " 3abc\n" +            // digits up to the letters
                           kZhen + "  4\n" +              // blanks before the number
                           kXiang + " 99999999999999999999\n" +  // clamps to INT_MAX
                           kCun + " 2147483648\n" +       // one above INT_MAX
                           kJie + " -99999999999999999999\n" +   // negative: nothing
                           "\xB5\xD8 -2\n" +              // 地, negative: nothing
                           "\xB0\xB6 x\n" +               // 岸, no number: nothing
                           " 5\n" +                       // empty key: nothing
                           "\xCF\xAA 1 2\n";              // 溪, first blank splits
  LoadedLists lists;
  ASSERT_EQ(lists.load(write("ner_info", text)), 1);
  const DictMap expected = {{kShi, 3},          {kZhou, 3},        {kZhen, 4},
                            {kXiang, INT_MAX},  {kCun, INT_MAX},   {"\xCF\xAA", 1}};
  EXPECT_EQ(contents(lists.suffix), expected);
  EXPECT_EQ(contents(lists.fuxing).size(), 0u);
  EXPECT_EQ(contents(lists.no_amb).size(), 0u);
}

TEST_F(NerFiles, SectionsHeadersBlankLinesAndDuplicates) {
  const std::string text =
      kWang + "\n"                          // before any header: ignored
      "#fuxing and some words\n" +          // counts as the header
      kOuYang + "\n" +                      // 1
      "   \n" +                             // blanks only: skipped, no number used
      "\t \r\n" +
      kSiMa + "\r\n" +                      // 2 (CRLF)
      kZhuGe + " \t\n" +                    // 3 (trailing blank and tab)
      kOuYang + "\n" +                      // 4: the last number wins
      "#no_amb_xing\n" +                    // counter restarts
      kWang + "\n" +                        // 1
      kLi + "\n" +                          // 2
      "#loc_suffix\n" +
      kSheng + "\n" +                       // surname-like line without blank: ignored
      kShi + " 2\n" +
      "#fuxing\n" +                         // a second fuxing section restarts at 1
      kSiMa + "\n";                         // 1
  LoadedLists lists;
  ASSERT_EQ(lists.load(write("ner_info", text)), 1);
  EXPECT_EQ(contents(lists.fuxing), (DictMap{{kOuYang, 4}, {kSiMa, 1}, {kZhuGe, 3}}));
  EXPECT_EQ(contents(lists.no_amb), (DictMap{{kWang, 1}, {kLi, 2}}));
  EXPECT_EQ(contents(lists.suffix), (DictMap{{kShi, 2}}));
}

TEST_F(NerFiles, HeaderPrefixesAndInnerBlanks) {
  // "#fuxin" is too short to be a header, so it is a key of the open section;
  // a surname line keeps its inner and leading blanks.
  const std::string text =
      "#no_amb_xing\n#fuxin\n a b\n#loc_suffixes are next\n#no_amb_xingX\nk\n";
  LoadedLists lists;
  ASSERT_EQ(lists.load(write("ner_info", text)), 1);
  EXPECT_EQ(contents(lists.no_amb), (DictMap{{"#fuxin", 1}, {" a b", 2}, {"k", 1}}));
  EXPECT_EQ(contents(lists.suffix).size(), 0u);
}

TEST_F(NerFiles, LongLinesAreReadInPiecesOfAHundredBytes) {
  const std::string a(100, 'a'), b(100, 'b'), c(50, 'c'), d(100, 'd');
  const std::string text = "#fuxing\n" + a + b + c + "\n" + d + "\n" + "e\n";
  LoadedLists lists;
  ASSERT_EQ(lists.load(write("ner_info", text)), 1);
  // d is exactly 100 bytes: its line feed is read as an empty piece.
  EXPECT_EQ(contents(lists.fuxing), (DictMap{{a, 1}, {b, 2}, {c, 3}, {d, 4}, {"e", 5}}));

  // A piece cut inside the weight: "x 12" + 96 digits is read as "x 1299..."
  // clamped, the rest is a line without blank.
  const std::string suffix_text = "#loc_suffix\nx 12" + std::string(96, '9') + "77 5\n";
  LoadedLists s;
  ASSERT_EQ(s.load(write("ner_info2", suffix_text)), 1);
  EXPECT_EQ(contents(s.suffix), (DictMap{{"x", INT_MAX}, {"77", 5}}));
}

TEST_F(NerFiles, NulEndsTheLineText) {
  const std::string text = std::string("#fuxing\nab\0cd\n\0\nef\n", 19);
  LoadedLists lists;
  ASSERT_EQ(lists.load(write("ner_info", text)), 1);
  EXPECT_EQ(contents(lists.fuxing), (DictMap{{"ab", 1}, {"ef", 2}}));
}

TEST_F(NerFiles, UnreadableNerInfoReportsAndKeepsDictionaries) {
  LoadedLists lists;
  ASSERT_EQ(lists.load(write("ner_info", "#fuxing\n" + kOuYang + "\n")), 1);
  HashDict* const before = lists.fuxing;

  for (const std::string& p : {path("absent"), dir_.string()}) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(lists.load(p), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "can not open file : " + p + "\n");
    EXPECT_EQ(lists.fuxing, before);
    EXPECT_EQ(contents(lists.fuxing), (DictMap{{kOuYang, 1}}));
  }
}

TEST_F(NerFiles, ReloadReplacesTheDictionaries) {
  LoadedLists lists;
  ASSERT_EQ(lists.load(write("a", "#fuxing\n" + kOuYang + "\n#loc_suffix\n" + kShi + " 1\n")), 1);
  ASSERT_EQ(lists.load(write("b", "#fuxing\n" + kSiMa + "\n")), 1);
  EXPECT_EQ(contents(lists.fuxing), (DictMap{{kSiMa, 1}}));
  EXPECT_EQ(contents(lists.suffix).size(), 0u);

  ASSERT_EQ(lists.load(write("empty", "")), 1);
  ASSERT_NE(lists.fuxing, nullptr);
  ASSERT_NE(lists.no_amb, nullptr);
  ASSERT_NE(lists.suffix, nullptr);
  EXPECT_EQ(contents(lists.fuxing).size(), 0u);
}

// An independent reading of the format, used to check the loader on random
// files: the bytes are cut into pieces as a 101-byte fgets buffer cuts them.
struct ReferenceLists {
  DictMap fuxing, no_amb, suffix;
};

long reference_weight(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long long v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > (1LL << 40)) v = 1LL << 40;  // far beyond int either way
  }
  if (negative) v = -v;
  if (v > INT_MAX) v = INT_MAX;
  return static_cast<long>(v);
}

ReferenceLists reference_parse(const std::string& bytes) {
  ReferenceLists r;
  int section = 0;  // 0 none, 1 fuxing, 2 no_amb_xing, 3 loc_suffix
  int counter = 1;
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = pos;
    while (end < bytes.size() && end - pos < 100) {
      if (bytes[end++] == '\n') break;
    }
    std::string piece = bytes.substr(pos, end - pos);
    pos = end;
    piece = piece.substr(0, piece.find('\0'));
    while (!piece.empty() && std::strchr("\r\t\n ", piece.back()) != nullptr) piece.pop_back();
    if (piece.empty()) continue;
    if (piece.rfind("#fuxing", 0) == 0) {
      section = 1;
      counter = 1;
    } else if (piece.rfind("#no_amb_xing", 0) == 0) {
      section = 2;
      counter = 1;
    } else if (piece.rfind("#loc_suffix", 0) == 0) {
      section = 3;
    } else if (section == 1) {
      r.fuxing[piece] = counter++;
    } else if (section == 2) {
      r.no_amb[piece] = counter++;
    } else if (section == 3) {
      const size_t blank = piece.find(' ');
      if (blank == std::string::npos || blank == 0) continue;
      const long w = reference_weight(piece.substr(blank + 1));
      if (w >= 1) r.suffix[piece.substr(0, blank)] = static_cast<int>(w);
    }
  }
  return r;
}

TEST_F(NerFiles, RandomBytesLoadLikeTheReference) {
  std::mt19937 rng(20240607);
  const std::vector<std::string> tokens = {
      "#fuxing", "#no_amb_xing", "#loc_suffix", "#fux", "\n", "\n", "\n", "\r\n", " ", " ",
      "\t", std::string(1, '\0'), "0", "3", "-", "+", "12", "99999999999", kOuYang, kShi,
      "\xA1", "\xFF\xFF", "\x80", "x", std::string(97, 'y'), "\v", "\f",
      kShi + " 3\n", "ab 12\n", "x 99999999999\n", "y -4\n", "z 0\n", kOuYang + "\n",
      "\n#loc_suffix\n", "\n#fuxing\n"};
  std::uniform_int_distribution<int> pick(0, static_cast<int>(tokens.size()) - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> length(0, 400);
  size_t surname_entries = 0, suffix_entries = 0;
  for (int round = 0; round < 400; ++round) {
    std::string bytes;
    const int n = length(rng);
    const bool raw = round % 4 == 0;  // every fourth file is plain random bytes
    while (static_cast<int>(bytes.size()) < n) {
      if (raw)
        bytes.push_back(static_cast<char>(byte(rng)));
      else
        bytes += tokens[pick(rng)];
    }
    LoadedLists lists;
    ASSERT_EQ(lists.load(write("ner_info", bytes)), 1) << round;
    const ReferenceLists expected = reference_parse(bytes);
    ASSERT_EQ(contents(lists.fuxing), expected.fuxing) << round;
    ASSERT_EQ(contents(lists.no_amb), expected.no_amb) << round;
    ASSERT_EQ(contents(lists.suffix), expected.suffix) << round;
    surname_entries += expected.fuxing.size() + expected.no_amb.size();
    suffix_entries += expected.suffix.size();
  }
  // The generator must reach every section, not only the skipping paths.
  EXPECT_GT(surname_entries, 400u);
  EXPECT_GT(suffix_entries, 100u);
}

// ---------------------------------------------------------------------------
// "ner_info" writer

TEST_F(NerFiles, NerInfoWriterRoundTrip) {
  const std::string longest(100, 'k');
  const std::vector<std::string> fuxing = {kOuYang, kSiMa, "a\tb c", "#other", longest, kOuYang};
  const std::vector<std::string> no_amb = {kWang, kLi, " lead"};
  const std::string longest_suffix(100 - 1 - 10, 's');  // "sss... 2147483647" is 100 bytes
  const std::vector<std::pair<std::string, int> > suffix = {
      {kShi, 3}, {kXian, 1}, {longest_suffix, INT_MAX}, {"a\tb", 7}};
  const std::string p = path("ner_info");
  ASSERT_TRUE(CNerResourceWriter::write_named_entity_resource(p.c_str(), fuxing, no_amb, suffix));

  LoadedLists lists;
  ASSERT_EQ(lists.load(p), 1);
  EXPECT_EQ(contents(lists.fuxing),
            (DictMap{{kOuYang, 6}, {kSiMa, 2}, {"a\tb c", 3}, {"#other", 4}, {longest, 5}}));
  EXPECT_EQ(contents(lists.no_amb), (DictMap{{kWang, 1}, {kLi, 2}, {" lead", 3}}));
  EXPECT_EQ(contents(lists.suffix),
            (DictMap{{kShi, 3}, {kXian, 1}, {longest_suffix, INT_MAX}, {"a\tb", 7}}));

  // From the loaded dictionaries back to a file and in again.  The surname
  // values had a gap (the repeated key), so they come back renumbered in
  // the same order.
  const std::string p2 = path("ner_info2");
  ASSERT_TRUE(CNerResourceWriter::write_named_entity_resource(p2.c_str(), lists.fuxing,
                                                              lists.no_amb, lists.suffix));
  LoadedLists again;
  ASSERT_EQ(again.load(p2), 1);
  EXPECT_EQ(contents(again.fuxing),
            (DictMap{{kSiMa, 1}, {"a\tb c", 2}, {"#other", 3}, {longest, 4}, {kOuYang, 5}}));
  EXPECT_EQ(contents(again.no_amb), contents(lists.no_amb));
  EXPECT_EQ(contents(again.suffix), contents(lists.suffix));

  // Without gaps the round trip is exact.
  const std::string p3 = path("ner_info3");
  ASSERT_TRUE(CNerResourceWriter::write_named_entity_resource(p3.c_str(), again.fuxing,
                                                              again.no_amb, again.suffix));
  LoadedLists third;
  ASSERT_EQ(third.load(p3), 1);
  EXPECT_EQ(contents(third.fuxing), contents(again.fuxing));

  // Null dictionaries write empty sections.
  ASSERT_TRUE(CNerResourceWriter::write_named_entity_resource(p3.c_str(), nullptr, nullptr,
                                                              nullptr));
  EXPECT_EQ(read(p3), "#fuxing\n#no_amb_xing\n#loc_suffix\n");
  EXPECT_EQ(file_count(), 3u);
}

TEST_F(NerFiles, NerInfoWriterRefusesWhatCannotBeReadBack) {
  const std::string p = path("ner_info");
  ASSERT_TRUE(CNerResourceWriter::write_named_entity_resource(p.c_str(), {"keep"}, {}, {}));
  const std::string original = read(p);

  const std::vector<std::string> bad_keys = {
      "", "a\nb", "a\rb", std::string("a\0b", 3), "trailing ", "trailing\t", std::string(101, 'k'),
      "#fuxing", "#no_amb_xingX", "#loc_suffix"};
  for (const std::string& key : bad_keys) {
    EXPECT_FALSE(CNerResourceWriter::is_valid_surname_key(key)) << key;
    EXPECT_FALSE(CNerResourceWriter::write_named_entity_resource(p.c_str(), {key}, {}, {}));
    EXPECT_FALSE(CNerResourceWriter::write_named_entity_resource(p.c_str(), {}, {key}, {}));
    EXPECT_FALSE(CNerResourceWriter::write_named_entity_resource(p.c_str(), {}, {}, {{key, 1}}));
  }
  const std::vector<std::pair<std::string, int> > bad_suffixes = {
      {kShi, 0}, {kShi, -3}, {"a b", 2}, {std::string(90, 's'), INT_MAX}};
  for (const auto& s : bad_suffixes) {
    EXPECT_FALSE(CNerResourceWriter::is_valid_suffix_entry(s.first, s.second)) << s.first;
    EXPECT_FALSE(CNerResourceWriter::write_named_entity_resource(p.c_str(), {}, {}, {s}));
  }
  EXPECT_TRUE(CNerResourceWriter::is_valid_suffix_entry(std::string(89, 's'), INT_MAX));
  EXPECT_FALSE(CNerResourceWriter::write_named_entity_resource(
      path("no/such/dir/ner_info").c_str(), {"a"}, {}, {}));

  EXPECT_EQ(read(p), original);
  EXPECT_EQ(file_count(), 1u);
}

}  // namespace
