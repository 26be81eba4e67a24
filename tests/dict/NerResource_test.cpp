// Tests of the named-entity resources: the name tables against the POS
// module and each other, the pattern trie, the transition tables and the
// "ner_info" lists (reading, unreadable files, writer round trips).
#include "dict/NerResource.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <map>
#include <random>

#include "base/PosTag.h"
#include "dict/NerResourceWriter.h"
#include "support/gbk_literals.h"
#include "support/temp_dir.h"

namespace {

using lxtest::G;
typedef std::map<std::string, int> DictMap;
typedef std::map<std::vector<int>, int> TrieMap;

DictMap contents(const HashDict* dict) {
  DictMap m;
  LHashIter<const char*, int> iter(*dict);
  const char* key = nullptr;
  while (int* value = iter.next(key)) m[key] = *value;
  return m;
}

// Every node of the trie below the root, by its key path.
TrieMap contents(const Trie<int, int>& trie) {
  TrieMap m;
  for (unsigned level = 1, found = 1; found; ++level) {
    std::vector<int> keys(level + 1);
    TrieIter2<int, int> iter(trie, keys.data(), level);
    for (found = 0; Trie<int, int>* node = iter.next(); ++found)
      m[std::vector<int>(keys.begin(), keys.begin() + level)] = node->value();
  }
  return m;
}

struct LoadedLists {
  HashDict *fuxing = nullptr, *no_amb = nullptr, *suffix = nullptr;
  ~LoadedLists() {
    CNerResource::free_dict(fuxing);
    CNerResource::free_dict(no_amb);
    CNerResource::free_dict(suffix);
  }
  int load(const std::string& p) { return CNerResource::load_named_entity_resource(p.c_str(), fuxing, no_amb, suffix); }
};

TEST(NerNames, TablesAgreeWithTheirStringsAndEachOther) {
  // Each index entry is one blank-separated name, in order, covering the string.
  struct { const char* names; const NameIndexType* index; size_t count; } tables[] = {
      {CNerResource::m_pPRole, CNerResource::m_PRoleIndex, 51}, {CNerResource::m_pPOS, CNerResource::m_POSIndex, 48}};
  for (const auto& t : tables) {
    size_t at = 0;
    for (size_t i = 0; i < t.count; at = t.index[i].offset + t.index[i].len + 1, ++i) {
      EXPECT_EQ(t.index[i].offset, at) << i;
      EXPECT_EQ(t.names[at + t.index[i].len], i + 1 == t.count ? '\0' : ' ') << i;
      EXPECT_EQ(std::memchr(t.names + at, ' ', t.index[i].len), nullptr) << i;
    }
  }
  for (int id = 0; id <= 56; ++id)
    EXPECT_EQ(CNerResource::pos_name(id), id >= 1 && id <= 48 ? pos_tag_string(id) : "") << id;
  NeNameMap roles;
  CNerResource::_load_all_roles(roles);
  for (const auto& r : roles)  // ids above 51 have no display name
    EXPECT_EQ(CNerResource::role_name(r.second), r.second > 51 ? "" : r.first == "<unk>" ? "unk" : r.first);
  EXPECT_EQ(CNerResource::role_name(0) + CNerResource::role_name(52), "");
}

TEST(NerModeTrie, PatternTriesAndTheirOverwriteRules) {
  // Per pattern: the first node 200 (if more follow), inner nodes 201, the
  // last node the mode id (0 for an unknown pattern); later patterns overwrite.
  Trie<int, int> pn, ln;
  ASSERT_TRUE(CNerResource::_load_ne_mode(CNerResource::m_ptr_pn_modes, 1, pn, ln));
  const TrieMap all = contents(pn);
  EXPECT_TRUE(contents(ln).empty());
  const std::vector<std::vector<int>> paths = {{NE_ROLE_B}, {NE_ROLE_B, NE_ROLE_C}, {NE_ROLE_B, NE_ROLE_C, NE_ROLE_D},
                                               {NE_ROLE_H, NE_ROLE_E2}, {NE_ROLE_Y}};
  for (size_t k = 0; k < paths.size(); ++k) EXPECT_EQ(all.at(paths[k]), std::vector<int>({200, 201, 1, 19, 100})[k]);
  ASSERT_TRUE(CNerResource::_load_ne_mode(CNerResource::m_ptr_pn_modes, 2, pn, ln));
  EXPECT_EQ(contents(ln), all);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(CNerResource::_load_ne_mode(CNerResource::m_ptr_pn_modes, 3, pn, ln));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "_load_ne_mode(): " + G("不合法的实体类型参数") + "!\n");
  enum { B = NE_ROLE_B, C = NE_ROLE_C, D = NE_ROLE_D, X = NE_ROLE_X, Y = NE_ROLE_Y };
  const std::vector<std::pair<std::vector<const char*>, TrieMap>> cases = {
      {{"B C D", "B C"}, {{{B}, 200}, {{B, C}, 0}, {{B, C, D}, 1}}},  // "B C" is no pattern: mode 0
      {{"B C", "B C D"}, {{{B}, 200}, {{B, C}, 201}, {{B, C, D}, 1}}},
      {{"Y X", "Y"}, {{{Y}, 100}, {{Y, X}, 0}}},
      {{"Y", "Y X"}, {{{Y}, 200}, {{Y, X}, 0}}},
      {{"B  Q", "", "   ", "Y "}, {{{B}, 200}, {{B, 0}, 0}, {{Y}, 0}}},  // unknown name 0; "Y " is not "Y"
  };
  for (auto c : cases) {
    c.first.push_back(nullptr);
    Trie<int, int> t;
    CNerResource::_build_ne_mode_trie(c.first.data(), t);
    EXPECT_EQ(contents(t), c.second) << c.first[0];
  }
}

class NerFiles : public ::testing::Test {
 protected:
  std::string write(const std::string& name, const std::string& bytes) {
    EXPECT_TRUE(dir_.write(name, bytes));
    return dir_.file(name);
  }
  lxtest::TempDir dir_{"lx_ner_"};
};

TEST_F(NerFiles, TransitionTables) {
  std::mt19937 rng(12345);
  for (size_t dim : {CNerResource::ROLE_TT_DIM, CNerResource::POS_TT_DIM}) {
    std::vector<CProbabilityNode> table(dim * dim), loaded(dim * dim, {7.0f, 7.0f});
    std::vector<uint32_t> bits(dim * dim * 2);
    for (uint32_t& b : bits) b = (uint32_t)rng() & 0xBFFFFFFFu;  // finite: the top exponent bit is clear
    std::memcpy(table.data(), bits.data(), bits.size() * 4);
    const std::string p = dir_.file("t.Lex"), bytes((const char*)bits.data(), bits.size() * 4);
    ASSERT_TRUE(CNerResourceWriter::write_transition_table(p.c_str(), table.data(), dim));
    std::ifstream in(p, std::ios::binary);
    ASSERT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes);  // row-major, little-endian
    const std::vector<CProbabilityNode> before = loaded;  // wrong sizes, a NaN, bad arguments: no change
    for (const std::string& bad : {bytes.substr(0, 8), bytes.substr(0, dim * dim * 8 - 1), bytes + "\x7f",
                                   bytes.substr(0, 8 * dim) + std::string("\0\0\xc0\x7f", 4) + bytes.substr(8 * dim + 4)})
      EXPECT_FALSE(CNerResource::load_transition_table(write("bad", bad).c_str(), loaded.data(), dim));
    EXPECT_FALSE(CNerResource::load_transition_table(dir_.file("absent").c_str(), loaded.data(), dim) ||
                 CNerResource::load_transition_table(nullptr, loaded.data(), dim) ||
                 CNerResource::load_transition_table(p.c_str(), loaded.data(), 0));
    EXPECT_FALSE(CNerResource::load_transition_table(p.c_str(), nullptr, dim));
    EXPECT_EQ(std::memcmp(loaded.data(), before.data(), dim * dim * 8), 0);
    ASSERT_TRUE(CNerResource::load_transition_table(p.c_str(), loaded.data(), dim));
    EXPECT_EQ(std::memcmp(loaded.data(), table.data(), dim * dim * 8), 0);
  }
  EXPECT_FALSE(CNerResourceWriter::write_transition_table(dir_.file("u").c_str(), nullptr, 54));
  EXPECT_NE(access(dir_.file("u").c_str(), F_OK), 0);
}

TEST_F(NerFiles, UnreadableNerInfoIsNamedAndChangesNothing) {
  LoadedLists lists;
  ASSERT_EQ(lists.load(write("ner_info", "#fuxing\n" + G("欧阳") + "\n")), 1);
  HashDict* const before = lists.fuxing;
  for (const std::string& p : {dir_.file("absent"), dir_.path()}) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(lists.load(p), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "can not open file : " + p + "\n");
    EXPECT_EQ(lists.fuxing, before);
    EXPECT_EQ(contents(lists.fuxing), (DictMap{{G("欧阳"), 1}}));
  }
}

TEST_F(NerFiles, NerInfoReading) {
  const std::string ouyang = G("欧阳"), sima = G("司马"), wang = G("王"), li = G("李"), shi = G("市");
  const std::string text = wang + "\n#fuxing and some words\n" + ouyang + "\n   \n\t \r\n" + sima + "\r\n" + G("诸葛") +
                           " \t\n" + ouyang + "\n#no_amb_xing\n" + wang + "\n#fuxin\n a b\n#loc_suffix\n" + G("省") +
                           "\n" + shi + " 3\n" + G("州") + " 3abc\n" + G("镇") + "  4\n" + G("乡") + " 99999999999999999999\n" +
                           G("村") + " 2147483648\n" + G("街") + " -9\n" + G("地") + " 0\n" + G("岸") + " x\n 5\n" + G("溪") +
                           " 1 2\n#no_amb_xing\n" + li + "\n" + std::string("a\0b\n", 4) + std::string(100, 'c') + "d\n";
  LoadedLists lists;
  ASSERT_EQ(lists.load(write("ner_info", text)), 1);
  // Before the first header nothing counts; the numbers restart with each surname header; the
  // last number of a key wins; "#fuxin" is no header; a NUL ends a line; lines are read in
  // pieces of 100 bytes; weights are read as decimals, clamped, and kept from 1 on.
  EXPECT_EQ(contents(lists.fuxing), (DictMap{{ouyang, 4}, {sima, 2}, {G("诸葛"), 3}}));
  EXPECT_EQ(contents(lists.no_amb),
            (DictMap{{wang, 1}, {"#fuxin", 2}, {" a b", 3}, {li, 1}, {"a", 2}, {std::string(100, 'c'), 3}, {"d", 4}}));
  EXPECT_EQ(contents(lists.suffix), (DictMap{{shi, 3}, {G("州"), 3}, {G("镇"), 4}, {G("乡"), INT_MAX},
                                             {G("村"), INT_MAX}, {G("溪"), 1}}));
}

TEST_F(NerFiles, NerInfoWriterRoundTripsAndRefusals) {
  const std::string longest(100, 'k'), longest_suffix(89, 's');  // "sss... 2147483647": 100 bytes
  const std::vector<std::string> fuxing = {G("欧阳"), G("司马"), "a\tb c", "#other", longest, G("欧阳")};
  const std::vector<std::pair<std::string, int>> suffix = {{G("市"), 3}, {longest_suffix, INT_MAX}, {"a\tb", 7}};
  ASSERT_TRUE(CNerResourceWriter::write_named_entity_resource(dir_.file("a").c_str(), fuxing, {" lead", "x"}, suffix));
  LoadedLists lists, again;
  ASSERT_EQ(lists.load(dir_.file("a")), 1);
  EXPECT_EQ(contents(lists.fuxing), (DictMap{{G("欧阳"), 6}, {G("司马"), 2}, {"a\tb c", 3}, {"#other", 4}, {longest, 5}}));
  EXPECT_EQ(contents(lists.no_amb), (DictMap{{" lead", 1}, {"x", 2}}));
  EXPECT_EQ(contents(lists.suffix), DictMap(suffix.begin(), suffix.end()));
  // From the loaded dictionaries: the surnames in the order of their values, renumbered.
  ASSERT_TRUE(CNerResourceWriter::write_named_entity_resource(dir_.file("b").c_str(), lists.fuxing, lists.no_amb, lists.suffix));
  ASSERT_EQ(again.load(dir_.file("b")), 1);
  EXPECT_EQ(contents(again.fuxing), (DictMap{{G("司马"), 1}, {"a\tb c", 2}, {"#other", 3}, {longest, 4}, {G("欧阳"), 5}}));
  EXPECT_EQ(contents(again.no_amb), contents(lists.no_amb));
  EXPECT_EQ(contents(again.suffix), contents(lists.suffix));

  // Keys and weights that would not read back are refused.
  for (const std::string& key : {std::string(), std::string("a\nb"), std::string("a\rb"), std::string("a\0b", 3),
                                 std::string("trailing "), std::string("trailing\t"), std::string(101, 'k'), std::string("#fuxing"),
                                 std::string("#no_amb_xingX"), std::string("#loc_suffix")}) {
    EXPECT_FALSE(CNerResourceWriter::write_named_entity_resource(dir_.file("a").c_str(), {}, {key}, {}));
    EXPECT_FALSE(CNerResourceWriter::write_named_entity_resource(dir_.file("a").c_str(), {}, {}, {{key, 1}}));
  }
  for (const auto& s : std::vector<std::pair<std::string, int>>{{"s", 0}, {"a b", 2}, {longest_suffix + "s", INT_MAX}})
    EXPECT_FALSE(CNerResourceWriter::write_named_entity_resource(dir_.file("a").c_str(), {}, {}, {s})) << s.first;
  EXPECT_FALSE(CNerResourceWriter::write_named_entity_resource(dir_.file("no/dir/x").c_str(), {"a"}, {}, {}));
  ASSERT_EQ(lists.load(dir_.file("a")), 1);  // refused writes left the file as it was
  EXPECT_EQ(contents(lists.no_amb), (DictMap{{" lead", 1}, {"x", 2}}));
}

}  // namespace
