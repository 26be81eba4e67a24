// Tests of CCustomDict (secondary lexicon, system custom dictionary, user
// dictionary from a "CustomWord" tree), of the writers of its compiled files
// and of CDir, the walk over the "CustomWord" tree.
#include "dict/CustomDict.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

#include "dict/CustomDictWriter.h"
#include "support/temp_dir.h"

namespace {

const std::string PINGGUO = "\xc6\xbb\xb9\xfb", XIANGJIAO = "\xcf\xe3\xbd\xb6", NIUROU = "\xc5\xa3\xc8\xe2",
                  ZHONGGUO = "\xd6\xd0\xb9\xfa", ZHONG = "\xd6\xd0";  // 苹果 香蕉 牛肉 中国 中

std::string read_file(const std::string& path) {
  std::stringstream ss;
  ss << std::ifstream(path, std::ios::binary).rdbuf();
  return ss.str();
}

std::string le32(uint32_t v) { return std::string{(char)v, (char)(v >> 8), (char)(v >> 16), (char)(v >> 24)}; }

// The record index of `word`, or -1; the value of `word` in the system dictionary, or -1.
int lookup(const CCustomDict& d, const std::string& w) {
  return d.m_cd.size() == 0 ? -1 : d.m_cd.exactMatchSearch<int>(w.data(), w.size());
}
int syslookup(const CCustomDict& d, const std::string& w) {
  return d.m_SysCustomDict ? d.m_syscd.exactMatchSearch<int>(w.data(), w.size()) : -1;
}

TEST(CustomDictFields, PosNamesAndClassValues) {
  for (int k = 1; k <= 48; ++k) EXPECT_EQ(CCustomDict::getposid(CCustomDict::getpos((unsigned char)k)), k);
  EXPECT_EQ(CCustomDict::getposid("vn"), 33);
  for (const char* bad : {"ng", "n ", "", (const char*)nullptr}) EXPECT_EQ(CCustomDict::getposid(bad), CCustomDict::UNK_POS);
  for (int id : {0, 49, 255}) EXPECT_EQ(CCustomDict::getpos((unsigned char)id), nullptr);
  // {class value, id, result}: ids 1 to 255 go into the first free byte, at most four.
  const int add[][3] = {{0, 3, 3}, {3, 5, 0x0503}, {0x0503, 3, 0x0503}, {0x0503, 5, 0x0503}, {0x0503, 9, 0x090503},
                        {0x04030201, 9, 0x04030201}, {0x01, 0xFF, 0xFF01}, {0x00FF0201, 7, (int)0x07FF0201u},
                        {0, 0, 0}, {0x0503, 0, 0x0503}, {0, 256, 0}, {0x05, 300, 0x05}, {0x05, -1, 0x05}};
  for (const auto& a : add) EXPECT_EQ(CCustomDict::add_class_id(a[0], a[1]), a[2]) << a[0] << " + " << a[1];
  CCustomDict d;
  d._clusid2name_vec = {"zero", "one", "two", "three", "", "five"};
  const std::map<int, std::string> names = {
      {0, ""}, {3, "three"}, {0x0503, "three|five"}, {0x01020305, "five|three|two|one"}, {0x0500, "zero|five"},
      {0x04, ""}, {0x050409, "five"}, {-1, ""}, {(int)0x80000001u, "one|zero|zero"}};
  for (const auto& n : names) EXPECT_EQ(d.GetClsAt(n.first, 1), n.second) << n.first;
}

class CustomDictFiles : public testing::Test {
 protected:
  std::string path(const std::string& rel) const { return dir_.file(rel); }
  void file(const std::string& rel, const std::string& content) { ASSERT_TRUE(dir_.write(rel, content)) << rel; }
  void list(const std::string& rel, const std::string& content) { file("data/CustomWord/" + rel, content); }
  bool load_sec(CCustomDict& d) {
    bool ok = d.LoadDict(path("Sec.Lex").c_str(), path("Sec.Prop").c_str()) == 1;
    EXPECT_EQ(ok, d.m_cd.size() != 0 && d.m_attr != nullptr);  // a lexicon never stands without its records
    return ok;
  }
  // LoadSysDict / InitCDict with standard error captured.
  int load_sys(CCustomDict& d, std::string* err = nullptr) {
    testing::internal::CaptureStderr();
    int r = d.LoadSysDict(path("cusdata.idx").c_str(), path("id_custname.dict").c_str());
    std::string e = testing::internal::GetCapturedStderr();
    if (err) *err = e;
    return r;
  }
  bool init(CCustomDict& d, std::string* err = nullptr, const std::string& root = "data") {
    testing::internal::CaptureStderr();
    bool ok = d.InitCDict(path(root + "/CustomWord").c_str(), path(root).c_str());
    std::string e = testing::internal::GetCapturedStderr();
    if (err) *err = e;
    return ok;
  }
  // The record of `word` as (POS name, phrase flag, class value), or ("absent", ...).
  std::tuple<std::string, int, int> rec(const CCustomDict& d, const std::string& word) {
    int v = lookup(d, word);
    if (v < 0) return {"absent", 0, 0};
    EXPECT_EQ(d.getlen(v), word.size());
    return {d.GetPos(v) ? d.GetPos(v) : "?", d.bphrase(v), d.getidx(v)};
  }
  int class_id(const CCustomDict& d, const std::string& name) {
    int* id = d.m_idname2id.find(const_cast<char*>(name.c_str()));
    return id ? *id : -1;
  }
  lxtest::TempDir dir_{"lx_customdict_"};
};

TEST_F(CustomDictFiles, SecondLexiconRoundTrip) {
  const std::vector<seclex_entry_t> entries = {{ZHONGGUO, CCustomDict::setidxpos(5, 16, 1)}, {ZHONG, CCustomDict::setidxpos(0, 19, 0)},
                                               {PINGGUO, CCustomDict::setidxpos(1, 31, 0)}, {XIANGJIAO, -7}, {"ab", 12345}};
  ASSERT_TRUE(write_second_lexicon(path("Sec.Lex").c_str(), path("Sec.Prop").c_str(), entries));
  CCustomDict d;
  ASSERT_TRUE(load_sec(d));
  EXPECT_EQ(d.m_attrNum, entries.size());
  for (const seclex_entry_t& e : entries) {
    int v = lookup(d, e.word);
    ASSERT_GE(v, 0);
    EXPECT_EQ(d.getdata(v), e.data);
    EXPECT_EQ(d.getlen(v), e.word.size());
    EXPECT_EQ(d.getidx(v), e.data >> 7);
  }
  EXPECT_EQ(rec(d, ZHONGGUO), std::make_tuple(std::string("n"), 1, 5));
  const std::vector<std::string> order = {"ab", PINGGUO, XIANGJIAO, ZHONG, ZHONGGUO};  // records in byte order
  for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(lookup(d, order[i]), (int)i);
  ASSERT_TRUE(write_second_lexicon(path("Sec.Lex").c_str(), path("Sec.Prop").c_str(), {}));
  ASSERT_TRUE(load_sec(d));
  EXPECT_EQ(lookup(d, "ab"), -1);
  // The writer refuses words the lexicon cannot hold, and writes nothing.
  for (const auto& bad : std::vector<std::vector<seclex_entry_t>>{{{"", 1}}, {{"a", 1}, {"a", 2}}, {{std::string("a\0b", 3), 1}}})
    EXPECT_FALSE(write_second_lexicon(path("x.lex").c_str(), path("x.prop").c_str(), bad));
  EXPECT_EQ(access(path("x.lex").c_str(), F_OK) + access(path("x.prop").c_str(), F_OK), -2);
}

TEST_F(CustomDictFiles, DamagedSecondLexiconIsRefused) {
  ASSERT_TRUE(write_second_lexicon(path("Sec.Lex").c_str(), path("Sec.Prop").c_str(),
                                   {{"ab", 1}, {PINGGUO, 2}, {XIANGJIAO, 3}, {ZHONG, 4}, {ZHONGGUO, 5}}));
  const std::string prop = read_file(path("Sec.Prop")), lex = read_file(path("Sec.Lex"));
  std::string garbage, far_base = lex;
  for (size_t i = 0; i < lex.size(); ++i) garbage.push_back((char)(i * 131 + 7));
  far_base.replace(4, 4, le32((0x1FFFFFu << 10) | 0x61));  // unit 1 with a base far outside
  auto len_of_3 = [&](uint32_t len) { return std::string(prop).replace(4 + 8 * 3 + 4, 4, le32(len)); };
  const std::vector<std::pair<std::string, std::string>> cases = {  // {Sec.Lex, Sec.Prop}
      {lex, ""}, {lex, prop.substr(0, 3)}, {lex, prop.substr(0, prop.size() - 1)}, {lex, le32(5) + prop.substr(4, 32)},
      {lex, le32(4) + prop.substr(4)}, {lex, le32(0xFFFFFFFFu) + prop.substr(4)}, {lex, le32(0x7FFFFFFFu) + prop.substr(4)},
      {lex, len_of_3(0)}, {lex, len_of_3(3)}, {lex, len_of_3(0xFFFFFFFFu)},  // not the word's length (2)
      {"", prop}, {lex.substr(0, lex.size() - 4), prop}, {lex + "x", prop}, {garbage, prop}, {far_base, prop}};
  for (size_t i = 0; i < cases.size(); ++i) {
    file("Sec.Lex", cases[i].first);
    file("Sec.Prop", cases[i].second);
    CCustomDict d;
    EXPECT_FALSE(load_sec(d)) << "case " << i;
    EXPECT_EQ(d.m_attrNum, 0u);
  }
  file("Sec.Lex", lex);
  file("Sec.Prop", le32(6) + prop.substr(4) + le32(0) + le32(9) + "xy");  // more records, trailing bytes
  CCustomDict d;
  EXPECT_TRUE(load_sec(d));
  EXPECT_EQ(d.LoadDict(nullptr, path("Sec.Prop").c_str()) + d.LoadDict(path("Sec.Lex").c_str(), nullptr) +
                d.LoadDict(path("Sec.Lex").c_str(), path("none").c_str()), 0);
  EXPECT_EQ(d.m_attr, nullptr);
}

TEST(LexiconCheck, WalksWhatSearchesCanReach) {
  // The root (base 1) and the node "a" at 1 ^ 'a' = 0x60, whose leaf (value 0) is at its base.
  std::vector<uint32_t> u(256, 0x80000000u);
  u[0] = 1u << 10;
  u[0x60] = (0x62u << 10) | 0x61 | 0x100u;  // base 2: no child
  _cw_t rec{0, 1};
  EXPECT_TRUE(check_lexicon_values(u.data(), 256, &rec, 1));
  EXPECT_FALSE(check_lexicon_values(u.data(), 256, &rec, 0) || check_lexicon_values(u.data(), 255, nullptr, 1) ||
               check_lexicon_values(nullptr, 256, nullptr, 1));
  // "a" with no key end; its base unit 2 has label 0 and no leaf bit, so "a\0" reaches it and
  // its key end, whose value (at 2 ^ 0x10, left 0x80000000 = value 0) has no record.
  u[0x60] = (0x62u << 10) | 0x61;
  u[2] = (0x10u << 10) | 0x100u;
  EXPECT_FALSE(check_lexicon_values(u.data(), 256, nullptr, 0));
  Darts::DoubleArray da;
  da.set_array(u.data(), 256);
  Darts::DoubleArray::result_pair_type r[2];
  EXPECT_EQ(da.commonPrefixSearch("a\0", r, 2, 2), 1u);  // what the check must see
  u[0x60] = (0x61u << 10) | 0x61 | 0x100u;  // base 1 again: "a", "aa", ... all lead to it
  EXPECT_FALSE(check_lexicon_values(u.data(), 256, nullptr, 1));
}

TEST_F(CustomDictFiles, SystemDictionary) {
  std::string err;
  CCustomDict d;
  EXPECT_TRUE(load_sys(d, &err) == 0 && err.empty()) << err;  // both files are optional: absent, not reported
  const std::vector<std::string> cls = {"none", "fruit", "meat", "place"};
  ASSERT_TRUE(write_class_names(path("id_custname.dict").c_str(), cls));
  EXPECT_TRUE(load_sys(d, &err) == 0 && err.empty()) << err;
  EXPECT_EQ(d._clusid2name_vec, cls);
  const std::vector<syscd_entry_t> words = {{PINGGUO, 1}, {XIANGJIAO, 1}, {NIUROU, 0x0102}, {ZHONGGUO, 3}};
  ASSERT_TRUE(write_sys_custom_dict(path("cusdata.idx").c_str(), path("id_custname.dict").c_str(), cls, words));
  EXPECT_EQ(read_file(path("id_custname.dict")), "0\tnone\n1\tfruit\n2\tmeat\n3\tplace\n");
  EXPECT_TRUE(load_sys(d, &err) == 1 && err.empty()) << err;
  for (const syscd_entry_t& w : words) EXPECT_EQ(syslookup(d, w.word), w.clsvalue);
  EXPECT_STREQ(d.GetClsAt(syslookup(d, NIUROU), 1), "meat|fruit");
  const std::string good = read_file(path("cusdata.idx"));
  std::string far_base = good;
  far_base.replace(4, 4, le32((0x1FFFFFu << 10) | 0x61));
  for (const std::string& bytes : {std::string(), good.substr(0, 1020), good + "abc", far_base, std::string(good.size(), '\xff')}) {
    file("cusdata.idx", bytes);
    EXPECT_TRUE(load_sys(d, &err) == 0 && err == path("cusdata.idx") + ": not a valid double array\n") << err;
    EXPECT_EQ(syslookup(d, PINGGUO), -1);
  }
  const std::string lines = "2\tsecond\r\n0 zero extra\n1\tone\n1\tagain\n3\tzero\nx\tbad\n4\t\n";
  for (const char* id : {"-1", "256"}) {  // an id out of 0 to 255 refuses the file, leaving no name
    file("id_custname.dict", lines + id + "\tbig\n6\tlast");
    EXPECT_TRUE(load_sys(d, &err) == 0 && d._clusid2name_vec.empty() && class_id(d, "fruit") == -1);
    EXPECT_EQ(err, path("id_custname.dict") + ": line 8: class id out of range (0 to 255)\n");
  }
  // Names are kept at their ids, whatever the order; malformed records are skipped.
  file("id_custname.dict", lines + "6\tlast");
  load_sys(d);
  EXPECT_EQ(d._clusid2name_vec, (std::vector<std::string>{"zero", "one", "second", "zero", "", "", "last"}));
  EXPECT_EQ(std::vector<int>({class_id(d, "zero"), class_id(d, "again")}), std::vector<int>({0, -1}));
  EXPECT_STREQ(d.GetClsAt(0x0100, 1), "zero|one");
  // The writers refuse what cannot be read back, and write nothing.
  const std::string idx = path("w.idx"), names = path("w.dict");
  EXPECT_FALSE(write_sys_custom_dict(idx.c_str(), names.c_str(), {"a b"}, {}));
  for (const auto& bad : std::vector<std::vector<syscd_entry_t>>{{{"w", -1}}, {{"", 1}}, {{"w", 1}, {"w", 2}}})
    EXPECT_FALSE(write_sys_custom_dict(idx.c_str(), names.c_str(), {"a"}, bad));
  EXPECT_FALSE(write_class_names(names.c_str(), std::vector<std::string>(257, "x")));
  EXPECT_EQ(access(idx.c_str(), F_OK) + access(names.c_str(), F_OK), -2);
}

TEST_F(CustomDictFiles, UserDictionaryFromWordLists) {
  std::string err;
  CCustomDict d;
  ASSERT_TRUE(init(d));  // no CustomWord directory
  EXPECT_EQ(d.m_customNum, 0);
  list("food/fruit.txt", PINGGUO + "\n" + XIANGJIAO + ",nz\n" + NIUROU + ",v\n");
  list("food/meat.txt", NIUROU + ",n\n");
  list("top.txt", ZHONGGUO + ",ns\n");
  list("phrase/p.txt", "go home,v\ncat\n");
  list("x/phrase/q.txt", "deep phrase\n");
  list("zoo/z.txt", "cat\ngo home\n");
  list("fmt/a.txt", "# a comment,n\n// another,n\n\n\r\nword,,vn\ncrlf,v\r\nbad pos,N\nbad pos2,n \n,n\n,\ntrail,\n" +
                        std::string(300, 'x') + "\n\xb0\xa1\xb0,n\nno newline at the end,d");
  list("fmt/b.txt", "cr only,a\r");
  ASSERT_TRUE(init(d, &err));
  EXPECT_EQ(err, "");
  // Class ids in the order of the class names; the first list decides POS and phrase.
  EXPECT_EQ(d._clusid2name_vec, (std::vector<std::string>{"default", "fmt", "food", "phrase", "x/phrase", "zoo"}));
  using R = std::tuple<std::string, int, int>;
  const std::map<std::string, R> want = {
      {PINGGUO, R("n", 0, 2)}, {XIANGJIAO, R("nz", 0, 2)}, {NIUROU, R("v", 0, 2)}, {ZHONGGUO, R("ns", 0, 0)},
      {"go home", R("v", 1, 0x0503)}, {"cat", R("n", 1, 0x0503)}, {"deep phrase", R("n", 1, 4)},
      {"word,", R("vn", 0, 1)}, {"crlf", R("v", 0, 1)}, {"cr only", R("a", 0, 1)}, {std::string(255, 'x'), R("n", 0, 1)},
      {std::string(45, 'x'), R("n", 0, 1)}, {"\xb0\xa1\xb0", R("n", 0, 1)}, {"no newline at the end", R("d", 0, 1)}};
  for (const auto& w : want) EXPECT_EQ(rec(d, w.first), w.second) << w.first;
  EXPECT_EQ(d.m_customNum, (int)want.size());
  for (const char* absent : {"# a comment", "// another", "bad pos", "bad pos2", "trail", "", "crlf\r", "cr only\r"})
    EXPECT_EQ(lookup(d, absent), -1) << absent;
  EXPECT_EQ(d.m_cwMaxLen, 255u);
  EXPECT_STREQ(d.GetClsAt(std::get<2>(rec(d, "cat")), 1), "phrase|zoo");
  EXPECT_STREQ(d.GetClsAt(0, 1), "");  // class 0 ("default") cannot be told from none

  // Reloading replaces the words and forgets the lists that are gone.
  lxtest::remove_tree(path("data/CustomWord"));
  list("a/x.txt", "dog\n");
  ASSERT_TRUE(init(d));
  EXPECT_EQ(d.m_customNum, 1);
  EXPECT_EQ(lookup(d, "cat"), -1);
  EXPECT_EQ(d.m_cwMaxLen, 50u);
  EXPECT_EQ(d._clusid2name_vec, (std::vector<std::string>{"a"}));
}

TEST_F(CustomDictFiles, UserClassesNextToTheSystemClasses) {
  dir_.mkdirs("data");
  ASSERT_TRUE(write_sys_custom_dict(path("data/cusdata.idx").c_str(), path("data/id_custname.dict").c_str(),
                                    {"none", "brand", "food"}, {{PINGGUO, 0x0201}}));
  list("food/a.txt", XIANGJIAO + "\n");
  list("music/b.txt", PINGGUO + "\n");
  for (const char* c : {"k1", "k2", "k3", "k4", "k5"}) list(std::string(c) + "/w.txt", NIUROU + "\n");
  CCustomDict d;
  std::string err;
  ASSERT_TRUE(init(d, &err) && err.empty()) << err;
  EXPECT_STREQ(d.GetClsAt(syslookup(d, PINGGUO), 1), "brand|food");
  // "food" keeps its system id; new classes follow the system names in name order.
  EXPECT_EQ(std::get<2>(rec(d, XIANGJIAO)), 2);
  EXPECT_EQ(std::get<2>(rec(d, PINGGUO)), 8);
  EXPECT_STREQ(d.GetClsAt(std::get<2>(rec(d, NIUROU)), 1), "k1|k2|k3|k4");  // five classes: the first four
}

// --- The walk over the CustomWord tree ----------------------------------

// "class file" per entry, the file below `root`.
std::vector<std::string> listing(const CDir& d, const std::string& root) {
  std::vector<std::string> v;
  for (int i = 0; i < d.m_idx; ++i) v.push_back(std::string(d.m_words_class[i]) + " " + (d.m_files[i] + root.size() + 1));
  return v;
}

TEST_F(CustomDictFiles, WalkFindsRegularFilesWithTheirClasses) {
  for (const char* f : {"food/meat.txt", "food/fruit.txt", "top.txt", "a/b/deep.txt"}) list(f, "w\n");
  const std::string cw = path("data/CustomWord"), outside = path("outside/CustomWord/b.txt");
  file("outside/CustomWord/b.txt", "w\n");
  file("data/Words/w.txt", "w\n");
  for (const auto& l : std::vector<std::pair<std::string, std::string>>{
           {".", "/food/loop"}, {"../..", "/food/up"}, {"self", "/self"}, {outside, "/link.txt"}, {"missing", "/dangling"}})
    ASSERT_EQ(symlink(l.first.c_str(), (cw + l.second).c_str()), 0);
  ASSERT_EQ(mkfifo((cw + "/food/fifo").c_str(), 0644), 0);
  CDir d;
  EXPECT_EQ(d.ReadClsDictDir((cw + "/").c_str()), 1);
  const std::vector<std::string> want = {"a/b CustomWord/a/b/deep.txt", "default CustomWord/top.txt",
                                         "food CustomWord/food/fruit.txt", "food CustomWord/food/meat.txt"};
  EXPECT_EQ(listing(d, path("data")), want);
  EXPECT_EQ(d.GetClsIdx("a/b"), 0);
  EXPECT_EQ(d.GetClsIdx("default"), 1);
  EXPECT_EQ(d.GetClsIdx("food") / 2, 1);
  for (const char* absent : {"c", "", "zzz", (const char*)nullptr}) EXPECT_EQ(d.GetClsIdx(absent), -1);
  d.sortData(d.m_words_class, 0, d.m_idx);  // a range past the list changes nothing
  d.sortData(d.m_files, 0, d.m_idx - 1);
  d.dopath();  // no walk running: nothing to do
  EXPECT_EQ(listing(d, path("data")), want);
  CDir other;
  other.ReadClsDictDir(path("data/Words").c_str());  // no CustomWord component
  EXPECT_EQ(other.traverseDir(nullptr) + other.traverseDir(std::string(4096, 'x').c_str()), 0);
  EXPECT_EQ(other.traverseDir(std::string(4095, 'x').c_str()), 1);
  EXPECT_EQ(other.m_idx, 0);
  EXPECT_EQ(other.traverseDir((cw + "/top.txt").c_str()), 1);  // a file as the root is a list of its own
  EXPECT_EQ(listing(other, path("data")), std::vector<std::string>{"default CustomWord/top.txt"});
}

TEST_F(CustomDictFiles, ManyFilesGrowTheLists) {
  for (int i = 0; i < 600; ++i) list("c" + std::to_string(i % 7) + "/f" + std::to_string(i), "w\n");
  CDir d;
  d.ReadClsDictDir(path("data/CustomWord").c_str());
  std::vector<std::string> got = listing(d, path("data"));
  EXPECT_EQ(got.size(), 600u);
  EXPECT_TRUE(std::is_sorted(got.begin(), got.end()));  // by class, files of a class in byte order
}

}  // namespace
