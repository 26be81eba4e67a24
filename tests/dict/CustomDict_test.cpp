// Tests of CCustomDict (secondary lexicon, user dictionary, system custom
// dictionary) and of the writers of its compiled files.
#include "dict/CustomDict.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "dict/CustomDictWriter.h"
#include "support/temp_dir.h"

namespace {

// GBK words used below.
const std::string PINGGUO = "\xc6\xbb\xb9\xfb";  // 苹果
const std::string XIANGJIAO = "\xcf\xe3\xbd\xb6";  // 香蕉
const std::string NIUROU = "\xc5\xa3\xc8\xe2";  // 牛肉
const std::string ZHONGGUO = "\xd6\xd0\xb9\xfa";  // 中国
const std::string ZHONG = "\xd6\xd0";  // 中

// A temporary tree of files, removed with the object.
class Tree {
 public:
  std::string path(const std::string& rel) const { return dir_.file(rel); }
  // Creates the file `rel` and every directory above it.
  std::string file(const std::string& rel, const std::string& content) {
    EXPECT_TRUE(dir_.write(rel, content)) << path(rel);
    return path(rel);
  }
  void mkdirs(const std::string& rel) { dir_.mkdirs(rel); }

 private:
  lxtest::TempDir dir_{"customdict_test_", testing::TempDir()};
};

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string le32(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s.push_back((char)((v >> (8 * i)) & 0xFF));
  return s;
}

// The record index of `word` in the dictionary's double array, or -1.
int lookup(const CCustomDict& d, const std::string& word) {
  if (d.m_cd.size() == 0) return -1;
  return d.m_cd.exactMatchSearch<int>(word.data(), word.size());
}

int syslookup(const CCustomDict& d, const std::string& word) {
  if (!d.m_SysCustomDict) return -1;
  return d.m_syscd.exactMatchSearch<int>(word.data(), word.size());
}

// InitCDict with standard error captured (the system dictionary is usually
// absent and says so).
bool init(CCustomDict& d, const std::string& words_dir, const std::string& data_dir,
          std::string* err = nullptr) {
  testing::internal::CaptureStderr();
  bool ok = d.InitCDict(words_dir.c_str(), data_dir.c_str());
  std::string e = testing::internal::GetCapturedStderr();
  if (err) *err = e;
  return ok;
}

// --- data word, POS names, class values ------------------------------------

TEST(CustomDictFields, DataWordPacking) {
  EXPECT_EQ(CCustomDict::setidxpos(3, 33, 1), (3 << 7) | (33 << 1) | 1);
  EXPECT_EQ(CCustomDict::setidxpos(0, 16, 0), 32);
  EXPECT_EQ(CCustomDict::setidxpos(1, 16, 7), (1 << 7) | 32 | 1);
  // Index bits beyond the 32-bit word are lost instead of overflowing.
  EXPECT_EQ(CCustomDict::setidxpos(0x7FFFFFFF, 0, 0), (int)0xFFFFFF80u);

  CCustomDict d;
  _cw_t_ext recs[2] = {{CCustomDict::setidxpos(300, 48, 1), 7, 0x0503},
                       {CCustomDict::setidxpos(0, 1, 0), 2, 0}};
  d.m_attrusr = recs;
  EXPECT_EQ(d.getdata(0), recs[0].data);
  EXPECT_EQ(d.getlen(0), 7u);
  EXPECT_EQ(d.getidx(0), 0x0503);
  EXPECT_EQ(d.bphrase(0), 1);
  EXPECT_EQ(d.getpos(0), 48);
  EXPECT_STREQ(d.GetPos(0), "Zg");
  EXPECT_EQ(d.bphrase(1), 0);
  EXPECT_STREQ(d.GetPos(1), "a");
  d.m_attrusr = nullptr;

  _cw_t sec[1] = {{CCustomDict::setidxpos(9, 31, 0), 4}};
  d.m_attr = sec;
  EXPECT_EQ(d.getidx(0), 9);  // data >> 7 for a secondary-lexicon record
  EXPECT_EQ(d.getlen(0), 4u);
  EXPECT_STREQ(d.GetPos(0), "v");
  d.m_attr = nullptr;
}

TEST(CustomDictFields, PosNames) {
  for (int k = 0; k < 48; ++k) {
    EXPECT_EQ(CCustomDict::getposid(CCustomDict::m_cspos[k]), k + 1);
    EXPECT_STREQ(CCustomDict::getpos((unsigned char)(k + 1)), CCustomDict::m_cspos[k]);
  }
  EXPECT_EQ(CCustomDict::getposid("n"), 16);
  EXPECT_EQ(CCustomDict::getposid("vn"), 33);
  EXPECT_EQ(CCustomDict::getposid("Ng"), 42);
  EXPECT_EQ(CCustomDict::getposid("ng"), CCustomDict::UNK_POS);  // case-sensitive
  EXPECT_EQ(CCustomDict::getposid("n "), CCustomDict::UNK_POS);
  EXPECT_EQ(CCustomDict::getposid(""), CCustomDict::UNK_POS);
  EXPECT_EQ(CCustomDict::getposid(nullptr), CCustomDict::UNK_POS);
  EXPECT_EQ(CCustomDict::getpos((unsigned char)0), nullptr);
  EXPECT_EQ(CCustomDict::getpos((unsigned char)49), nullptr);
  EXPECT_EQ(CCustomDict::getpos((unsigned char)255), nullptr);
}

TEST(CustomDictFields, AddingClassIds) {
  EXPECT_EQ(CCustomDict::add_class_id(0, 3), 3);
  EXPECT_EQ(CCustomDict::add_class_id(3, 5), 0x0503);
  EXPECT_EQ(CCustomDict::add_class_id(0x0503, 3), 0x0503);  // already there
  EXPECT_EQ(CCustomDict::add_class_id(0x0503, 5), 0x0503);
  EXPECT_EQ(CCustomDict::add_class_id(0x0503, 9), 0x090503);
  EXPECT_EQ(CCustomDict::add_class_id(0x04030201, 9), 0x04030201);  // four ids: dropped
  EXPECT_EQ(CCustomDict::add_class_id(0x01, 0xFF), 0xFF01);
  EXPECT_EQ(CCustomDict::add_class_id(0x00FF0201, 7), (int)0x07FF0201u);
  // Id 0 ends a list, ids above 255 do not fit a byte: neither is recorded.
  EXPECT_EQ(CCustomDict::add_class_id(0, 0), 0);
  EXPECT_EQ(CCustomDict::add_class_id(0x0503, 0), 0x0503);
  EXPECT_EQ(CCustomDict::add_class_id(0, 256), 0);
  EXPECT_EQ(CCustomDict::add_class_id(0x05, 300), 0x05);
  EXPECT_EQ(CCustomDict::add_class_id(0x05, -1), 0x05);
}

TEST(CustomDictFields, ClassNamesOfAClassValue) {
  CCustomDict d;
  d._clusid2name_vec = {"zero", "one", "two", "three", "", "five"};
  EXPECT_STREQ(d.GetClsAt(0, 1), "");
  EXPECT_STREQ(d.GetClsAt(3, 1), "three");
  EXPECT_STREQ(d.GetClsAt(0x0503, 1), "three|five");
  EXPECT_STREQ(d.GetClsAt(0x01020305, 0), "five|three|two|one");
  // A zero lowest byte under higher ones names class 0.
  EXPECT_STREQ(d.GetClsAt(0x0500, 1), "zero|five");
  // Ids without a name (out of range, or an empty slot) are left out.
  EXPECT_STREQ(d.GetClsAt(0x04, 1), "");
  EXPECT_STREQ(d.GetClsAt(0x050409, 1), "five");
  EXPECT_STREQ(d.GetClsAt(-1, 1), "");
  // Zero bytes under a higher non-zero byte name class 0 as well.
  EXPECT_STREQ(d.GetClsAt((int)0x80000001u, 1), "one|zero|zero");
  EXPECT_EQ(d.GetClsNum(0x0503), 1);
  // The result lives in m_strresult until the next call.
  const char* first = d.GetClsAt(1, 1);
  EXPECT_EQ(first, d.m_strresult.c_str());
  EXPECT_STREQ(first, "one");
}

// --- secondary lexicon -----------------------------------------------------

class SecLexTest : public testing::Test {
 protected:
  std::string lex() { return tree_.path("Sec.Lex"); }
  std::string prop() { return tree_.path("Sec.Prop"); }
  bool load(CCustomDict& d) { return d.LoadDict(lex().c_str(), prop().c_str()) == 1; }
  void write_default() {
    entries_ = {{ZHONGGUO, CCustomDict::setidxpos(5, 16, 1)},
                {ZHONG, CCustomDict::setidxpos(0, 19, 0)},
                {PINGGUO, CCustomDict::setidxpos(1, 31, 0)},
                {XIANGJIAO, -7},
                {"ab", 12345}};
    ASSERT_TRUE(write_second_lexicon(lex().c_str(), prop().c_str(), entries_));
  }
  static void expect_no_lexicon(const CCustomDict& d) {
    EXPECT_EQ(d.m_attr, nullptr);
    EXPECT_EQ(d.m_attrNum, 0u);
    EXPECT_EQ(d.m_cd.size(), 0u);
  }

  Tree tree_;
  std::vector<seclex_entry_t> entries_;
};

TEST_F(SecLexTest, RoundTrip) {
  write_default();
  CCustomDict d;
  ASSERT_TRUE(load(d));
  EXPECT_EQ(d.m_attrNum, entries_.size());
  EXPECT_EQ(d.m_attrusr, nullptr);
  for (const seclex_entry_t& e : entries_) {
    int v = lookup(d, e.word);
    ASSERT_GE(v, 0) << e.word;
    EXPECT_EQ(d.getdata(v), e.data);
    EXPECT_EQ(d.getlen(v), e.word.size());
    EXPECT_EQ(d.getidx(v), e.data >> 7);
  }
  // Records follow the byte order of the words.
  EXPECT_EQ(lookup(d, "ab"), 0);
  EXPECT_EQ(lookup(d, PINGGUO), 1);
  EXPECT_EQ(lookup(d, XIANGJIAO), 2);
  EXPECT_EQ(lookup(d, ZHONG), 3);
  EXPECT_EQ(lookup(d, ZHONGGUO), 4);
  EXPECT_EQ(lookup(d, ZHONGGUO + "x"), -1);
  // The file layout: count, then (data, len) pairs, little-endian.
  std::string p = read_file(prop());
  ASSERT_EQ(p.size(), 4 + 8 * entries_.size());
  EXPECT_EQ(p.substr(0, 4), le32(5));
  EXPECT_EQ(p.substr(4, 8), le32(12345) + le32(2));
  // Common-prefix search finds the short word before the long one.
  Darts::DoubleArray::result_pair_type r[4];
  ASSERT_EQ(d.m_cd.commonPrefixSearch(ZHONGGUO.c_str(), r, 4), 2u);
  EXPECT_EQ(r[0].value, 3);
  EXPECT_EQ(r[1].value, 4);
}

TEST_F(SecLexTest, EmptyLexiconRoundTrip) {
  ASSERT_TRUE(write_second_lexicon(lex().c_str(), prop().c_str(), {}));
  CCustomDict d;
  ASSERT_TRUE(load(d));
  EXPECT_EQ(d.m_attrNum, 0u);
  EXPECT_EQ(lookup(d, "ab"), -1);
}

TEST_F(SecLexTest, WriterRejectsBadWords) {
  EXPECT_FALSE(write_second_lexicon(lex().c_str(), prop().c_str(), {{"", 1}}));
  EXPECT_FALSE(write_second_lexicon(lex().c_str(), prop().c_str(), {{"a", 1}, {"a", 2}}));
  EXPECT_FALSE(
      write_second_lexicon(lex().c_str(), prop().c_str(), {{std::string("a\0b", 3), 1}}));
  EXPECT_NE(access(lex().c_str(), F_OK), 0);
  EXPECT_NE(access(prop().c_str(), F_OK), 0);
}

TEST_F(SecLexTest, MissingFiles) {
  write_default();
  CCustomDict d;
  EXPECT_EQ(d.LoadDict(tree_.path("none").c_str(), prop().c_str()), 0);
  expect_no_lexicon(d);
  EXPECT_EQ(d.LoadDict(lex().c_str(), tree_.path("none").c_str()), 0);
  expect_no_lexicon(d);
  EXPECT_EQ(d.LoadDict(nullptr, prop().c_str()), 0);
  EXPECT_EQ(d.LoadDict(lex().c_str(), nullptr), 0);
}

TEST_F(SecLexTest, CorruptPropertyFiles) {
  write_default();
  std::string good = read_file(prop());
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"empty file", ""},
      {"short count", good.substr(0, 3)},
      {"truncated record", good.substr(0, good.size() - 1)},
      {"one record short", le32(5) + good.substr(4, 32)},
      {"count too small for the lexicon's values", le32(4) + good.substr(4)},
      {"negative count", le32(0xFFFFFFFFu) + good.substr(4)},
      {"huge count", le32(0x7FFFFFFFu) + good.substr(4)},
  };
  for (const Case& c : cases) {
    tree_.file("Sec.Prop", c.bytes);
    CCustomDict d;
    EXPECT_FALSE(load(d)) << c.what;
    expect_no_lexicon(d);
  }
  // More records than the lexicon uses, and trailing bytes, are harmless.
  tree_.file("Sec.Prop", le32(6) + good.substr(4) + le32(0) + le32(9) + "xy");
  CCustomDict d;
  EXPECT_TRUE(load(d));
  EXPECT_EQ(d.m_attrNum, 6u);
}

TEST_F(SecLexTest, RecordLengthMustMatchItsWord) {
  write_default();
  std::vector<_cw_t> recs;
  for (const char* w : {"ab", "\xc6\xbb\xb9\xfb", "\xcf\xe3\xbd\xb6", "\xd6\xd0", "\xd6\xd0\xb9\xfa"})
    recs.push_back(_cw_t{0, (unsigned)std::strlen(w)});
  ASSERT_TRUE(write_second_prop(prop().c_str(), recs));
  {
    CCustomDict d;
    EXPECT_TRUE(load(d));
  }
  // A length of 0 would stall a walk that advances by it; a length past the
  // word would run past the text the word was found in.
  for (unsigned bad : {0u, 3u, 5u, 0xFFFFFFFFu}) {
    std::vector<_cw_t> r = recs;
    r[3].len = bad;
    ASSERT_TRUE(write_second_prop(prop().c_str(), r));
    CCustomDict d;
    EXPECT_FALSE(load(d)) << bad;
    expect_no_lexicon(d);
  }
}

TEST_F(SecLexTest, CorruptLexiconFiles) {
  write_default();
  std::string good = read_file(lex());
  ASSERT_EQ(good.size() % 1024, 0u);
  std::string garbage;
  for (size_t i = 0; i < good.size(); ++i) garbage.push_back((char)(i * 131 + 7));
  std::string far_base = good;
  // Unit 1 (a non-leaf) with an offset that puts its base far outside.
  std::string unit = le32((0x1FFFFFu << 10) | 0x61);
  far_base.replace(4 * 1, 4, unit);
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"truncated", good.substr(0, good.size() - 4)},
      {"odd size", good + "x"},
      {"garbage", garbage},
      {"base out of range", far_base},
  };
  for (const Case& c : cases) {
    tree_.file("Sec.Lex", c.bytes);
    CCustomDict d;
    EXPECT_FALSE(load(d)) << c.what;
    expect_no_lexicon(d);
  }
}

// Units of a one-block array: the root (offset 1, base 1) and one node "a" at
// 1 ^ 'a' = 0x60 whose base is 1 again, so "a", "aa", "aaa" ... all lead to it.
// Every base is inside the array, so the double array itself accepts it.
std::string cyclic_units(bool with_leaf) {
  std::vector<uint32_t> u(256, 0);
  for (size_t i = 1; i < 256; ++i) u[i] = 0x80000000u;  // leaves never match a byte
  u[0] = 1u << 10;
  u[0x60] = (0x61u << 10) | 0x61 | (with_leaf ? 0x100u : 0u);
  u[1] = 0x80000000u;  // the leaf at base 1: value 0
  std::string s;
  for (uint32_t x : u) s += le32(x);
  return s;
}

TEST_F(SecLexTest, CyclicLexiconIsRejected) {
  for (bool leaf : {false, true}) {
    tree_.file("Sec.Lex", cyclic_units(leaf));
    Darts::DoubleArray da;
    ASSERT_EQ(da.open(lex().c_str()), 0) << "the fixture must get past the array's own checks";
    ASSERT_TRUE(write_second_prop(prop().c_str(), {_cw_t{0, 1}}));
    CCustomDict d;
    EXPECT_FALSE(load(d)) << leaf;
    expect_no_lexicon(d);
  }
}

TEST(LexiconCheck, WalksWhatSearchesCanReach) {
  std::string units = cyclic_units(true);
  _cw_t rec{0, 1};
  EXPECT_FALSE(check_lexicon_values(units.data(), 256, &rec, 1));
  EXPECT_FALSE(check_lexicon_values(units.data(), 255, nullptr, 1));  // partial block
  EXPECT_FALSE(check_lexicon_values(nullptr, 256, nullptr, 1));
  // Without the cycle ("a" with its leaf, no child) the same array passes.
  std::vector<uint32_t> u(256, 0x80000000u);
  u[0] = 1u << 10;
  u[0x60] = (0x62u << 10) | 0x61 | 0x100u;  // base 2: the leaf at 2, no child
  EXPECT_TRUE(check_lexicon_values(u.data(), 256, &rec, 1));
  EXPECT_FALSE(check_lexicon_values(u.data(), 256, &rec, 0));  // value 0 needs one record
  rec.len = 2;
  EXPECT_FALSE(check_lexicon_values(u.data(), 256, &rec, 1));
  EXPECT_TRUE(check_lexicon_values(u.data(), 256, nullptr, 1));
}

// The darts-clone fixtures: a Sec.Lex made by darts-clone itself loads, and
// its values decide how many records Sec.Prop needs.
std::vector<std::pair<std::string, int>> fixture_keys(const std::string& name) {
  std::ifstream in(std::string(LX_TEST_DATA_DIR) + "/da/" + name + ".keys.txt");
  std::vector<std::pair<std::string, int>> keys;
  std::string hex;
  int value;
  while (in >> hex >> value) {
    std::string key;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
      key.push_back((char)std::stoi(hex.substr(i, 2), nullptr, 16));
    keys.emplace_back(key, value);
  }
  return keys;
}

TEST_F(SecLexTest, LexiconBuiltByDartsClone) {
  auto keys = fixture_keys("gbk200");
  ASSERT_EQ(keys.size(), 200u);
  tree_.file("Sec.Lex", read_file(std::string(LX_TEST_DATA_DIR) + "/da/gbk200.da"));
  std::vector<_cw_t> recs(1200, _cw_t{0, 0});
  for (auto& k : keys) recs[(size_t)k.second] = _cw_t{k.second * 2, (unsigned)k.first.size()};
  ASSERT_TRUE(write_second_prop(prop().c_str(), recs));
  {
    CCustomDict d;
    ASSERT_TRUE(load(d));
    for (auto& k : keys) {
      int v = lookup(d, k.first);
      ASSERT_EQ(v, k.second);
      EXPECT_EQ(d.getdata(v), k.second * 2);
    }
  }
  recs.resize(1100);  // the values run up to 1199
  ASSERT_TRUE(write_second_prop(prop().c_str(), recs));
  CCustomDict d;
  EXPECT_FALSE(load(d));

  // Values up to 2^31 - 1 would need a Sec.Prop of 16 GiB.
  tree_.file("Sec.Lex", read_file(std::string(LX_TEST_DATA_DIR) + "/da/extreme_values.da"));
  ASSERT_TRUE(write_second_prop(prop().c_str(), {_cw_t{0, 1}, _cw_t{0, 2}}));
  EXPECT_FALSE(load(d));
}

// --- system custom dictionary ----------------------------------------------

class SysDictTest : public testing::Test {
 protected:
  std::string idx() { return tree_.path("cusdata.idx"); }
  std::string names() { return tree_.path("id_custname.dict"); }
  int load(CCustomDict& d, std::string* err = nullptr) {
    testing::internal::CaptureStderr();
    int r = d.LoadSysDict(idx().c_str(), names().c_str());
    std::string e = testing::internal::GetCapturedStderr();
    if (err) *err = e;
    return r;
  }
  Tree tree_;
};

TEST_F(SysDictTest, RoundTrip) {
  std::vector<std::string> cls = {"none", "fruit", "meat", "place"};
  std::vector<syscd_entry_t> words = {{PINGGUO, 1}, {XIANGJIAO, 1}, {NIUROU, 0x0102}, {ZHONGGUO, 3}};
  ASSERT_TRUE(write_sys_custom_dict(idx().c_str(), names().c_str(), cls, words));
  EXPECT_EQ(read_file(names()), "0\tnone\n1\tfruit\n2\tmeat\n3\tplace\n");
  CCustomDict d;
  std::string err;
  EXPECT_EQ(load(d, &err), 1);
  EXPECT_EQ(err, "");
  EXPECT_TRUE(d.m_SysCustomDict);
  EXPECT_EQ(d._clusid2name_vec, cls);
  for (size_t i = 0; i < cls.size(); ++i) {
    int* id = d.m_idname2id.find(const_cast<char*>(cls[i].c_str()));
    ASSERT_NE(id, nullptr);
    EXPECT_EQ(*id, (int)i);
  }
  for (const syscd_entry_t& w : words) EXPECT_EQ(syslookup(d, w.word), w.clsvalue);
  EXPECT_EQ(syslookup(d, ZHONG), -1);
  EXPECT_STREQ(d.GetClsAt(syslookup(d, NIUROU), 1), "meat|fruit");
}

TEST_F(SysDictTest, WriterRejectsWhatCannotBeRead) {
  EXPECT_FALSE(write_sys_custom_dict(idx().c_str(), names().c_str(), {"a b"}, {}));
  EXPECT_FALSE(write_sys_custom_dict(idx().c_str(), names().c_str(), {""}, {}));
  EXPECT_FALSE(write_sys_custom_dict(idx().c_str(), names().c_str(), {"a"}, {{"w", -1}}));
  EXPECT_FALSE(write_sys_custom_dict(idx().c_str(), names().c_str(), {"a"}, {{"", 1}}));
  EXPECT_FALSE(write_sys_custom_dict(idx().c_str(), names().c_str(), {"a"}, {{"w", 1}, {"w", 2}}));
  EXPECT_FALSE(write_class_names(names().c_str(), std::vector<std::string>(257, "x")));
  EXPECT_NE(access(idx().c_str(), F_OK), 0);
  EXPECT_NE(access(names().c_str(), F_OK), 0);
}

TEST_F(SysDictTest, MissingFiles) {
  CCustomDict d;
  std::string err;
  EXPECT_EQ(load(d, &err), 0);
  EXPECT_EQ(err, "id_custname.dict open fail\n");
  EXPECT_FALSE(d.m_SysCustomDict);

  ASSERT_TRUE(write_class_names(names().c_str(), {"x", "y"}));
  EXPECT_EQ(load(d, &err), 0);
  EXPECT_EQ(err, "No cusdata.idx file, go!\n");
  EXPECT_FALSE(d.m_SysCustomDict);
  EXPECT_EQ(d._clusid2name_vec, (std::vector<std::string>{"x", "y"}));
}

TEST_F(SysDictTest, CorruptIndexFiles) {
  ASSERT_TRUE(write_sys_custom_dict(idx().c_str(), names().c_str(), {"a", "b"},
                                    {{PINGGUO, 1}, {NIUROU, 0x0201}}));
  std::string good = read_file(idx());
  std::string far_base = good;
  far_base.replace(4, 4, le32((0x1FFFFFu << 10) | 0x61));
  for (const std::string& bytes : {std::string(), good.substr(0, 1020), good + "abc", far_base,
                                   std::string(good.size(), '\xff')}) {
    tree_.file("cusdata.idx", bytes);
    CCustomDict d;
    std::string err;
    EXPECT_EQ(load(d, &err), 0);
    EXPECT_EQ(err, "No cusdata.idx file, go!\n");
    EXPECT_FALSE(d.m_SysCustomDict);
    EXPECT_EQ(d.m_syscd.size(), 0u);
  }
}

TEST_F(SysDictTest, ClassNameRecords) {
  ASSERT_TRUE(write_sys_custom_dict(idx().c_str(), names().c_str(), {"a"}, {{PINGGUO, 2}}));
  tree_.file("id_custname.dict",
             "2\tsecond\r\n"        // out of order, CRLF
             "0 zero extra\n"       // a blank instead of the tab; only the first name
             "1\tone\n"
             "1\tagain\n"           // a repeated id: the first record wins
             "3\tzero\n"            // a repeated name keeps its first id
             "x\tbad\n"             // no id
             "4\t\n"                // no name
             "-1\tneg\n"            // ids a class value cannot hold
             "256\tbig\n"
             "6\tlast");            // no final newline
  CCustomDict d;
  EXPECT_EQ(load(d), 1);
  EXPECT_EQ(d._clusid2name_vec,
            (std::vector<std::string>{"zero", "one", "second", "zero", "", "", "last"}));
  EXPECT_EQ(*d.m_idname2id.find(const_cast<char*>("zero")), 0);
  EXPECT_EQ(*d.m_idname2id.find(const_cast<char*>("second")), 2);
  EXPECT_EQ(d.m_idname2id.find(const_cast<char*>("again")), nullptr);
  EXPECT_EQ(d.m_idname2id.find(const_cast<char*>("big")), nullptr);
  EXPECT_STREQ(d.GetClsAt(syslookup(d, PINGGUO), 1), "second");
  EXPECT_STREQ(d.GetClsAt(0x0504, 1), "");
}

// --- user dictionary -------------------------------------------------------

class UserDictTest : public testing::Test {
 protected:
  void SetUp() override { tree_.mkdirs("data"); }
  std::string words_dir() { return tree_.path("data/CustomWord"); }
  std::string data_dir() { return tree_.path("data"); }
  void list(const std::string& rel, const std::string& content) {
    tree_.file("data/CustomWord/" + rel, content);
  }
  // The record of `word`; fails the test if it is absent.
  const _cw_t_ext* rec(const CCustomDict& d, const std::string& word) {
    int v = lookup(d, word);
    EXPECT_GE(v, 0) << "missing word " << word;
    if (v < 0 || (size_t)v >= d.m_attrNum) return nullptr;
    return &d.m_attrusr[v];
  }
  int class_id(const CCustomDict& d, const std::string& name) {
    int* id = d.m_idname2id.find(const_cast<char*>(name.c_str()));
    return id ? *id : -1;
  }
  Tree tree_;
};

TEST_F(UserDictTest, ClassesPhrasesAndPosNames) {
  list("food/fruit.txt", PINGGUO + "\n" + XIANGJIAO + ",nz\n");
  list("food/meat.txt", NIUROU + ",n\n");
  list("top.txt", ZHONGGUO + ",ns\n");
  list("phrase/p.txt", "go home,v\n");
  CCustomDict d;
  std::string err;
  ASSERT_TRUE(init(d, words_dir(), data_dir(), &err));
  EXPECT_EQ(err, "id_custname.dict open fail\n");
  EXPECT_FALSE(d.m_SysCustomDict);
  EXPECT_EQ(d.m_customNum, 5);
  EXPECT_EQ(d.m_attrNum, 5u);
  EXPECT_EQ(d.m_attr, nullptr);
  // Class ids in the order of the sorted class names.
  EXPECT_EQ(d._clusid2name_vec, (std::vector<std::string>{"default", "food", "phrase"}));
  EXPECT_EQ(class_id(d, "food"), 1);

  const _cw_t_ext* r = rec(d, PINGGUO);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->data, CCustomDict::setidxpos(1, 16, 0));  // no comma: POS "n"
  EXPECT_EQ(r->len, 4u);
  EXPECT_EQ(r->clsidx, 1);
  int v = lookup(d, PINGGUO);
  EXPECT_STREQ(d.GetPos(v), "n");
  EXPECT_EQ(d.bphrase(v), 0);
  EXPECT_EQ(d.getidx(v), 1);
  EXPECT_STREQ(d.GetClsAt(d.getidx(v), 1), "food");

  r = rec(d, XIANGJIAO);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->data, CCustomDict::setidxpos(1, 22, 0));

  r = rec(d, "go home");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->data, CCustomDict::setidxpos(2, 31, 1));  // a phrase
  EXPECT_EQ(r->clsidx, 2);

  // Class id 0 ("default" here) cannot be told from no class.
  r = rec(d, ZHONGGUO);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->clsidx, 0);
  EXPECT_EQ(r->data >> 7, 0);
  EXPECT_STREQ(d.GetClsAt(r->clsidx, 1), "");
  EXPECT_EQ(d.m_cwMaxLen, 50u);

  // Records are in byte order of the words, and the array gives each its index.
  for (int i = 0; i < d.m_customNum; ++i) EXPECT_GE(d.m_attrusr[i].len, 1u);
  EXPECT_EQ(lookup(d, "go home"), 0);
}

TEST_F(UserDictTest, LineFormats) {
  std::string long_line(300, 'x');
  list("fmt/a.txt",
       "# a comment,n\n"
       "// another,n\n"
       "\n"
       "\r\n"
       "word,,vn\n"           // a word with a trailing comma, POS vn
       "crlf,v\r\n"
       "bad pos,N\n"          // not one of the 48 names
       "bad pos2,n \n"
       ",n\n"                 // an empty word
       ",\n"
       "trail,\n"             // an empty POS name
       + long_line + "\n" +   // read as a 255-byte and a 45-byte line
       "\xb0\xa1\xb0" + ",n\n" +  // a lone lead byte at the end (invalid GBK)
       "\x81\x20\xff\xff,n\n" +
       "no newline at the end,d");
  list("fmt/b.txt", "cr only,a\r");  // a final lone CR goes too
  CCustomDict d;
  ASSERT_TRUE(init(d, words_dir(), data_dir()));
  std::vector<std::string> want = {"word,",      "crlf",         "cr only",
                                   std::string(255, 'x'), std::string(45, 'x'),
                                   "\xb0\xa1\xb0", "\x81\x20\xff\xff", "no newline at the end"};
  EXPECT_EQ(d.m_customNum, (int)want.size());
  for (const std::string& w : want) EXPECT_GE(lookup(d, w), 0) << w;
  for (const char* absent : {"# a comment", "// another", "bad pos", "bad pos2", "trail", "",
                             "crlf\r", "cr only\r"})
    EXPECT_EQ(lookup(d, absent), -1) << absent;
  EXPECT_EQ(d.getpos(lookup(d, "word,")), 33);
  EXPECT_EQ(d.getpos(lookup(d, "crlf")), 31);
  EXPECT_EQ(d.getpos(lookup(d, "cr only")), 1);
  EXPECT_EQ(d.getpos(lookup(d, "no newline at the end")), 6);
  EXPECT_EQ(d.m_cwMaxLen, 255u);
  EXPECT_EQ(d.getlen(lookup(d, "\xb0\xa1\xb0")), 3u);
}

TEST_F(UserDictTest, WordsInSeveralClasses) {
  // Names from id_custname.dict fix the ids of the user classes c3 and c5.
  ASSERT_TRUE(write_class_names((data_dir() + "/id_custname.dict").c_str(),
                                {"n0", "n1", "n2", "c3", "n4", "c5"}));
  list("c3/a.txt", PINGGUO + "\n" + PINGGUO + ",v\n" + XIANGJIAO + "\n");
  list("c5/b.txt", PINGGUO + ",a\n");
  // The same word in five classes keeps the first four.
  for (const char* c : {"k1", "k2", "k3", "k4", "k5"}) list(std::string(c) + "/w.txt", NIUROU + "\n");
  CCustomDict d;
  std::string err;
  ASSERT_TRUE(init(d, words_dir(), data_dir(), &err));
  EXPECT_EQ(err, "No cusdata.idx file, go!\n");
  EXPECT_FALSE(d.m_SysCustomDict);

  const _cw_t_ext* r = rec(d, PINGGUO);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->clsidx, 0x0503);
  EXPECT_EQ(r->data, CCustomDict::setidxpos(3, 16, 0));  // the first list decides
  EXPECT_STREQ(d.GetClsAt(r->clsidx, 1), "c3|c5");

  r = rec(d, XIANGJIAO);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->clsidx, 3);

  // New classes get the ids after the names of the file, in class-name order.
  EXPECT_EQ(class_id(d, "k1"), 6);
  EXPECT_EQ(class_id(d, "k5"), 10);
  r = rec(d, NIUROU);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->clsidx, 0x09080706);
  EXPECT_STREQ(d.GetClsAt(r->clsidx, 1), "k1|k2|k3|k4");
}

TEST_F(UserDictTest, PhraseFlagComesFromTheFirstList) {
  list("animal/a.txt", "cat\n");
  list("phrase/p.txt", "cat\nnew year\n");
  list("zoo/z.txt", "new year\n");
  CCustomDict d;
  ASSERT_TRUE(init(d, words_dir(), data_dir()));
  EXPECT_EQ(d.bphrase(lookup(d, "cat")), 0);
  EXPECT_EQ(d.bphrase(lookup(d, "new year")), 1);
  EXPECT_EQ(d.getidx(lookup(d, "new year")), class_id(d, "phrase") | (class_id(d, "zoo") << 8));
  // Phrase directories count anywhere below CustomWord ...
  list("x/phrase/q.txt", "deep phrase\n");
  CCustomDict d2;
  ASSERT_TRUE(init(d2, words_dir(), data_dir()));
  EXPECT_EQ(d2.bphrase(lookup(d2, "deep phrase")), 1);
}

TEST_F(UserDictTest, PhraseDirectoryAboveCustomWordDoesNotMatter) {
  tree_.file("phrase/data/CustomWord/food/a.txt", "cat\n");
  CCustomDict d;
  ASSERT_TRUE(init(d, tree_.path("phrase/data/CustomWord"), tree_.path("phrase/data")));
  EXPECT_EQ(d.bphrase(lookup(d, "cat")), 0);
}

TEST_F(UserDictTest, SystemDictionaryAndUserClassesTogether) {
  ASSERT_TRUE(write_sys_custom_dict((data_dir() + "/cusdata.idx").c_str(),
                                    (data_dir() + "/id_custname.dict").c_str(),
                                    {"none", "brand", "food"}, {{PINGGUO, 0x0201}}));
  list("food/a.txt", XIANGJIAO + "\n");
  list("music/b.txt", PINGGUO + "\n");
  CCustomDict d;
  std::string err;
  ASSERT_TRUE(init(d, words_dir(), data_dir(), &err));
  EXPECT_EQ(err, "");
  EXPECT_TRUE(d.m_SysCustomDict);
  EXPECT_STREQ(d.GetClsAt(syslookup(d, PINGGUO), 1), "brand|food");
  // "food" reuses the system class id; "music" comes after the system names.
  EXPECT_EQ(rec(d, XIANGJIAO)->clsidx, 2);
  EXPECT_EQ(rec(d, PINGGUO)->clsidx, 3);
  EXPECT_STREQ(d.GetClsAt(rec(d, PINGGUO)->clsidx, 1), "music");
}

TEST_F(UserDictTest, ClassIdsBeyond255AreNotPacked) {
  std::vector<std::string> names;
  for (int i = 0; i < 256; ++i) names.push_back("s" + std::to_string(i));
  ASSERT_TRUE(write_class_names((data_dir() + "/id_custname.dict").c_str(), names));
  list("zzz/a.txt", "w\n");
  list("s7/b.txt", "v\nw\n");
  CCustomDict d;
  ASSERT_TRUE(init(d, words_dir(), data_dir()));
  EXPECT_EQ(class_id(d, "zzz"), 256);
  // "s7" sorts first: w is 7, and the id 256 cannot be added.
  EXPECT_EQ(rec(d, "w")->clsidx, 7);
  EXPECT_EQ(rec(d, "v")->clsidx, 7);
  list("s7/b.txt", "v\n");
  CCustomDict d2;
  ASSERT_TRUE(init(d2, words_dir(), data_dir()));
  EXPECT_EQ(rec(d2, "w")->clsidx, 0);
  EXPECT_EQ(rec(d2, "w")->data >> 7, 256);  // the data word still holds the id
}

TEST_F(UserDictTest, EmptyOrMissingDirectories) {
  CCustomDict d;
  ASSERT_TRUE(init(d, words_dir(), data_dir()));  // does not exist
  EXPECT_EQ(d.m_customNum, 0);
  EXPECT_EQ(d.m_attrusr, nullptr);
  EXPECT_EQ(d.m_cd.size(), 0u);

  tree_.mkdirs("data/CustomWord/empty");
  list("only-comments.txt", "# nothing\n\n");
  CCustomDict d2;
  ASSERT_TRUE(init(d2, words_dir(), data_dir()));
  EXPECT_EQ(d2.m_customNum, 0);
  EXPECT_EQ(d2.m_attrusr, nullptr);

  // A directory that is not called CustomWord holds no class path: ignored.
  tree_.file("data/Words/a.txt", "cat\n");
  CCustomDict d3;
  ASSERT_TRUE(init(d3, tree_.path("data/Words"), data_dir()));
  EXPECT_EQ(d3.m_customNum, 0);
}

TEST_F(UserDictTest, LinksAndSpecialFilesAreNotRead) {
  list("food/a.txt", "cat\n");
  std::string outside = tree_.file("elsewhere/b.txt", "dog\n");
  ASSERT_EQ(symlink(outside.c_str(), (words_dir() + "/food/b.txt").c_str()), 0);
  ASSERT_EQ(symlink(".", (words_dir() + "/food/loop").c_str()), 0);
  ASSERT_EQ(symlink("self", (words_dir() + "/self").c_str()), 0);
  ASSERT_EQ(mkfifo((words_dir() + "/food/fifo").c_str(), 0644), 0);
  CCustomDict d;
  ASSERT_TRUE(init(d, words_dir(), data_dir()));
  EXPECT_EQ(d.m_customNum, 1);
  EXPECT_GE(lookup(d, "cat"), 0);
  EXPECT_EQ(lookup(d, "dog"), -1);
}

TEST_F(UserDictTest, UnreadableEntries) {
  list("a/ok.txt", "cat\n");
  list("b/locked.txt", "dog\n");
  list("c/hidden/x.txt", "cow\n");
  ASSERT_EQ(chmod((words_dir() + "/b/locked.txt").c_str(), 0), 0);
  ASSERT_EQ(chmod((words_dir() + "/c").c_str(), 0), 0);
  CCustomDict d;
  bool ok = init(d, words_dir(), data_dir());
  chmod((words_dir() + "/c").c_str(), 0755);
  if (geteuid() == 0) {
    // Permissions do not stop the superuser.
    EXPECT_TRUE(ok);
    EXPECT_EQ(d.m_customNum, 3);
    return;
  }
  // The directory is skipped; the word list that cannot be opened fails the
  // whole dictionary, which then holds no word.
  EXPECT_FALSE(ok);
  EXPECT_EQ(d.m_customNum, 0);
  EXPECT_EQ(d.m_attrusr, nullptr);
  EXPECT_EQ(lookup(d, "cat"), -1);
}

TEST_F(UserDictTest, ReloadingReplacesTheWords) {
  list("a/x.txt", "cat\n" + std::string(80, 'y') + "\n");
  CCustomDict d;
  ASSERT_TRUE(init(d, words_dir(), data_dir()));
  EXPECT_EQ(d.m_cwMaxLen, 80u);
  list("a/x.txt", "dog\n");
  ASSERT_TRUE(init(d, words_dir(), data_dir()));
  EXPECT_EQ(d.m_customNum, 1);
  EXPECT_EQ(lookup(d, "cat"), -1);
  EXPECT_GE(lookup(d, "dog"), 0);
  EXPECT_EQ(d.m_cwMaxLen, 50u);
  EXPECT_EQ(d._clusid2name_vec, (std::vector<std::string>{"a"}));
}

}  // namespace
