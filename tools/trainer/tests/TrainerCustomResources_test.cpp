// Custom dictionary resources: the files written from a source directory are
// read back with the library's own loader, runs are reproducible, and bad
// sources are refused before anything is written.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "CustomResources.h"
#include "dict/CustomDict.h"
#include "support/gbk_literals.h"

namespace fs = std::filesystem;
using lxtest::G;

namespace {

// A temporary directory removed with the object.
class Scratch {
 public:
  Scratch() {
    std::string tmpl = (fs::temp_directory_path() / "lx_custom_res.XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) != nullptr) path_ = buf.data();
  }
  ~Scratch() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  std::string path(const std::string& rel = "") const {
    return rel.empty() ? path_ : path_ + "/" + rel;
  }
  void write(const std::string& rel, const std::string& content) const {
    fs::path p = fs::path(path_) / rel;
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(content.data(), (std::streamsize)content.size());
  }
  void mkdir(const std::string& rel) const { fs::create_directories(fs::path(path_) / rel); }

 private:
  std::string path_;
};

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Every file below `root` (relative path -> bytes), directories as "<dir>".
std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  if (!fs::exists(root)) return files;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string rel = fs::relative(it->path(), root).string();
    files[rel] = it->is_directory() ? "<dir>" : read_file(it->path());
  }
  return files;
}

// The record index of a user word, or -1.
int user_lookup(const CCustomDict& d, const std::string& w) {
  if (d.m_customNum == 0) return -1;
  return d.m_cd.exactMatchSearch<int>(w.c_str(), w.size());
}

int sys_lookup(const CCustomDict& d, const std::string& w) {
  if (!d.m_SysCustomDict) return -1;
  return d.m_syscd.exactMatchSearch<int>(w.c_str(), w.size());
}

// A source directory with two user classes, phrases and a system dictionary.
void write_sample_source(const Scratch& s) {
  s.write("src/CustomWord/food/dishes.txt",
          G("# dishes\n北京烤鸭,n\r\n宫保鸡丁\n麻婆豆腐,nz"));  // CRLF, no final newline
  s.write("src/CustomWord/place/cities.txt", G("上海,ns\n北京烤鸭,n\n"));
  s.write("src/CustomWord/phrase/p.txt", G("我们喜欢,v\n"));
  s.write("src/id_custname.dict", G("# ids are the line positions\n0\t无\n1\t品牌\n2\t地名\n"));
  s.write("src/cusdata.txt", G("苹果手机\t品牌\n西湖龙井\t品牌|地名\n\n# comment\n"));
}

TEST(CustomResources, OutputLoadsWithTheLibrary) {
  Scratch s;
  write_sample_source(s);
  s.mkdir("out");
  std::string err;
  ASSERT_TRUE(write_custom_resources(s.path("src"), s.path("out"), err)) << err;

  // The tree is copied byte for byte.
  EXPECT_EQ(snapshot(s.path("out/CustomWord")), snapshot(s.path("src/CustomWord")));

  CCustomDict d;
  ASSERT_TRUE(d.InitCDict(s.path("out/CustomWord").c_str(), s.path("out").c_str()));
  ASSERT_TRUE(d.m_SysCustomDict);
  EXPECT_EQ(d._clusid2name_vec,
            (std::vector<std::string>{G("无"), G("品牌"), G("地名"), "food", "phrase", "place"}));
  EXPECT_EQ(d.m_customNum, 5);

  // System words: class values name the classes of their line.
  EXPECT_STREQ(d.GetClsAt(sys_lookup(d, G("苹果手机")), 0), G("品牌").c_str());
  EXPECT_STREQ(d.GetClsAt(sys_lookup(d, G("西湖龙井")), 0), G("品牌|地名").c_str());
  EXPECT_EQ(sys_lookup(d, G("北京烤鸭")), -1);

  // User words after CRLF, a comment and a missing final newline.
  const int roast = user_lookup(d, G("北京烤鸭"));
  ASSERT_GE(roast, 0);
  EXPECT_STREQ(d.GetClsAt(d.getidx(roast), 0), "food|place");
  const int tofu = user_lookup(d, G("麻婆豆腐"));
  ASSERT_GE(tofu, 0);
  EXPECT_EQ(d.getpos(tofu), 22);  // nz
  const int phrase = user_lookup(d, G("我们喜欢"));
  ASSERT_GE(phrase, 0);
  EXPECT_EQ(d.bphrase(phrase), 1);
  EXPECT_EQ(d.bphrase(roast), 0);
}

TEST(CustomResources, RunsAreReproducibleAndReplaceTheOldTree) {
  Scratch s;
  write_sample_source(s);
  s.mkdir("a");
  s.mkdir("b");
  std::string err;
  ASSERT_TRUE(write_custom_resources(s.path("src"), s.path("a"), err)) << err;
  // A stale file in the second output must disappear with its old tree.
  s.write("b/CustomWord/old/stale.txt", "stale\n");
  ASSERT_TRUE(write_custom_resources(s.path("src"), s.path("b"), err)) << err;
  ASSERT_TRUE(write_custom_resources(s.path("src"), s.path("b"), err)) << err;
  const auto a = snapshot(s.path("a"));
  EXPECT_EQ(a, snapshot(s.path("b")));
  EXPECT_EQ(a.count("CustomWord/old/stale.txt"), 0u);
  EXPECT_EQ(a.count(".CustomWord.new"), 0u);
  EXPECT_EQ(a.count("cusdata.idx"), 1u);
  EXPECT_EQ(a.at("id_custname.dict"), G("0\t无\n1\t品牌\n2\t地名\n"));
}

TEST(CustomResources, WithoutClassNamesNoSystemDictionaryIsWritten) {
  Scratch s;
  s.write("src/CustomWord/a.txt", "cat\n");
  s.mkdir("out");
  std::string err;
  ASSERT_TRUE(write_custom_resources(s.path("src"), s.path("out"), err)) << err;
  EXPECT_FALSE(fs::exists(s.path("out/cusdata.idx")));
  EXPECT_FALSE(fs::exists(s.path("out/id_custname.dict")));
  CCustomDict d;
  ASSERT_TRUE(d.InitCDict(s.path("out/CustomWord").c_str(), s.path("out").c_str()));
  EXPECT_GE(user_lookup(d, "cat"), 0);
  EXPECT_EQ(d._clusid2name_vec, std::vector<std::string>{"default"});

  // Class names alone give an empty system dictionary that still loads, so
  // the user classes keep their ids after the system ones.
  s.write("src/id_custname.dict", "0\tnone\n1\tbrand\n");
  ASSERT_TRUE(write_custom_resources(s.path("src"), s.path("out"), err)) << err;
  CCustomDict d2;
  ASSERT_TRUE(d2.InitCDict(s.path("out/CustomWord").c_str(), s.path("out").c_str()));
  EXPECT_TRUE(d2.m_SysCustomDict);
  EXPECT_EQ(d2._clusid2name_vec, (std::vector<std::string>{"none", "brand", "default"}));
}

// Sources the loader would mangle or that cannot be stored: refused with the
// file (and line) named, and the output directory left as it was.
TEST(CustomResources, BadSourcesAreRefusedBeforeWriting) {
  struct Case {
    const char* what;
    std::string rel;
    std::string content;
    const char* message;  // expected part of the error
  };
  const std::vector<Case> cases = {
      {"unknown POS", "CustomWord/a.txt", "cat,noun\n", "line 1: unknown POS name \"noun\""},
      {"long line", "CustomWord/a.txt", "ok\n" + std::string(256, 'x') + "\n",
       "line 2: longer than 255 bytes"},
      {"long comment", "CustomWord/a.txt", "#" + std::string(300, 'x') + "\n", "line 1: longer"},
      {"empty word", "CustomWord/a.txt", ",n\n", "line 1: empty word"},
      {"not GBK", "CustomWord/a.txt", "ok\n\xff\xfe\n", "line 2: the word is not GBK"},
      // UTF-8 often reads as GBK too; an odd byte count never does.
      {"UTF-8 list", "CustomWord/a.txt", "\xe5\x8c\x97\xe4\xba\xac\xe5\xb8\x82\n", "not GBK"},
      {"white space", "CustomWord/a.txt", "ice cream\n", "line 1: white space"},
      {"NUL byte", "CustomWord/a.txt", std::string("ca\0t\n", 5), "NUL"},
      {"ids out of order", "id_custname.dict", "0\tnone\n2\tbrand\n", "line 2: class id 2"},
      {"name with blank", "id_custname.dict", "0\tnone\n1\tbig brand\n", "line 2:"},
      {"unknown class", "cusdata.txt", "cola\tdrinks\n", "unknown class name \"drinks\""},
      {"class id 0", "cusdata.txt", "cola\tnone\n", "class id 0"},
      {"five classes", "cusdata.txt", "cola\tc1|c2|c3|c4|c5\n", "more than four classes"},
      {"high fourth id", "cusdata.txt", "cola\tc1|c2|c3|c200\n", "below 128"},
      {"duplicate", "cusdata.txt", "cola\tc1\ncola\tc2\n", "line 2: the word is listed twice"},
      {"no tab", "cusdata.txt", "cola c1\n", "line 1: expected"},
  };
  std::string names = "0\tnone\n";
  for (int i = 1; i <= 200; ++i) names += std::to_string(i) + "\tc" + std::to_string(i) + "\n";
  for (const Case& c : cases) {
    Scratch s;
    s.write("src/CustomWord/base.txt", "dog\n");
    s.write("src/id_custname.dict", names);
    s.write("src/cusdata.txt", "cola\tc1\n");
    s.write("src/" + c.rel, c.content);
    s.write("out/CustomWord/keep.txt", "kept\n");
    const auto before = snapshot(s.path("out"));
    std::string err;
    EXPECT_FALSE(write_custom_resources(s.path("src"), s.path("out"), err)) << c.what;
    EXPECT_NE(err.find(c.message), std::string::npos) << c.what << ": " << err;
    EXPECT_NE(err.find(c.rel.substr(c.rel.rfind('/') + 1)), std::string::npos)
        << c.what << ": the file is not named: " << err;
    EXPECT_EQ(snapshot(s.path("out")), before) << c.what;
  }
}

TEST(CustomResources, WhatTheLoaderAcceptsPasses) {
  // Lines of exactly 255 bytes fit the loader's buffer whole, with either
  // line end; comments, "//" lines and empty lines are not words.
  std::string err;
  EXPECT_TRUE(check_custom_word_list(std::string(255, 'x') + "\n" + std::string(255, 'y') +
                                         "\r\n# c\n// c\n\n\r\nword,,vn\nlast",
                                     err))
      << err;
  EXPECT_FALSE(check_custom_word_list(std::string(256, 'x'), err));
  EXPECT_TRUE(check_custom_word_list("", err)) << err;
}

TEST(CustomResources, MissingOrOddSourcesAreReported) {
  Scratch s;
  s.mkdir("out");
  std::string err;
  EXPECT_FALSE(write_custom_resources(s.path("src"), s.path("out"), err));
  EXPECT_NE(err.find("CustomWord"), std::string::npos) << err;

  s.write("src/CustomWord/a.txt", "cat\n");
  EXPECT_FALSE(write_custom_resources(s.path("src"), s.path("missing"), err));
  EXPECT_NE(err.find("missing"), std::string::npos) << err;

  // Entries without class names.
  s.write("src/cusdata.txt", "cola\tbrand\n");
  EXPECT_FALSE(write_custom_resources(s.path("src"), s.path("out"), err));
  EXPECT_NE(err.find("id_custname.dict"), std::string::npos) << err;
  fs::remove(s.path("src/cusdata.txt"));

  // Links are neither followed nor copied: the library would not read them.
  ASSERT_EQ(symlink("a.txt", s.path("src/CustomWord/link.txt").c_str()), 0);
  EXPECT_FALSE(write_custom_resources(s.path("src"), s.path("out"), err));
  EXPECT_NE(err.find("link.txt"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(s.path("out/CustomWord")));
}

// The example tree shipped with the sources builds and loads, and its
// documented examples hold.
TEST(CustomResources, ShippedExampleTree) {
  const fs::path example = fs::path(__FILE__).parent_path() / ".." / ".." / ".." / "data" / "custom";
  ASSERT_TRUE(fs::is_directory(example / "CustomWord")) << example;
  Scratch s;
  s.mkdir("out");
  std::string err;
  ASSERT_TRUE(write_custom_resources(example.string(), s.path("out"), err)) << err;
  CCustomDict d;
  ASSERT_TRUE(d.InitCDict(s.path("out/CustomWord").c_str(), s.path("out").c_str()));
  ASSERT_TRUE(d.m_SysCustomDict);
  // System classes first (ids 0-3), then the user classes in byte order.
  ASSERT_EQ(d._clusid2name_vec.size(), 7u);
  EXPECT_EQ(d._clusid2name_vec[1], G("机构"));
  EXPECT_EQ(d._clusid2name_vec[4], "brand");
  EXPECT_EQ(d._clusid2name_vec[5], "org");
  EXPECT_EQ(d._clusid2name_vec[6], "phrase");
  // 华联 is both a brand and an organisation; the first list (brand) gives
  // its POS.
  const int hualian = user_lookup(d, G("华联"));
  ASSERT_GE(hualian, 0);
  EXPECT_STREQ(d.GetClsAt(d.getidx(hualian), 0), "brand|org");
  EXPECT_EQ(d.getpos(hualian), 22);  // nz
  const int qinghua = user_lookup(d, G("清华大学"));
  ASSERT_GE(qinghua, 0);
  EXPECT_EQ(d.getpos(qinghua), 21);  // nt
  const int baiyun = user_lookup(d, G("白云山"));  // no POS given: n
  ASSERT_GE(baiyun, 0);
  EXPECT_EQ(d.getpos(baiyun), 16);
  const int nlp = user_lookup(d, G("自然语言处理"));
  ASSERT_GE(nlp, 0);
  EXPECT_EQ(d.bphrase(nlp), 1);
  EXPECT_STREQ(d.GetClsAt(sys_lookup(d, G("西湖龙井")), 0), G("品牌|地名").c_str());
  EXPECT_STREQ(d.GetClsAt(sys_lookup(d, G("人民银行")), 0), G("机构").c_str());
}

}  // namespace
