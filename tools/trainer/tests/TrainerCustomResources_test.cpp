// Custom dictionary resources: the files written from a source directory are
// read back with the library's own loader, runs are reproducible, and bad
// sources are refused before anything is written.
#include <gtest/gtest.h>

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
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using lxtest::G;

namespace {

// Every entry below `root` (relative path -> bytes, "<dir>" for a directory).
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    std::ostringstream bytes;
    if (!e.is_directory()) bytes << std::ifstream(e.path(), std::ios::binary).rdbuf();
    files[fs::relative(e.path(), root).string()] = e.is_directory() ? "<dir>" : bytes.str();
  }
  return files;
}

// Class names and POS of `word` ("user" or "system" dictionary), as
// "classes/pos[/phrase]", or "-" when the word is missing.
std::string Lookup(CCustomDict& d, bool user, const std::string& utf8) {
  const std::string w = G(utf8);
  if (user ? d.m_customNum == 0 : !d.m_SysCustomDict) return "-";
  const int i = (user ? d.m_cd : d.m_syscd).exactMatchSearch<int>(w.c_str(), w.size());
  if (i < 0) return "-";
  if (!user) return lxtest::U(d.GetClsAt(i, 0));
  return lxtest::U(d.GetClsAt(d.getidx(i), 0)) + "/" + d.GetPos(i) + (d.bphrase(i) ? "/phrase" : "");
}

void WriteSample(const lxtest::TempDir& s) {
  s.write("src/CustomWord/food/dishes.txt",
          G("# dishes\n北京烤鸭,n\r\n宫保鸡丁\n麻婆豆腐,nz"));  // CRLF, no final newline
  s.write("src/CustomWord/place/cities.txt", G("上海,ns\n北京烤鸭,n\n"));
  s.write("src/CustomWord/phrase/p.txt", G("我们喜欢,v\n"));
  s.write("src/id_custname.dict", G("# ids are the line positions\n0\t无\n1\t品牌\n2\t地名\n"));
  s.write("src/cusdata.txt", G("苹果手机\t品牌\n西湖龙井\t品牌|地名\n\n# comment\n"));
}

}  // namespace

TEST(CustomResources, OutputLoadsWithTheLibraryAndIsReproducible) {
  lxtest::TempDir s("lx_custom_res_");
  WriteSample(s);
  s.mkdirs("a");
  s.write("b/CustomWord/old/stale.txt", "stale\n");  // must go with the old tree
  std::string err;
  for (const char* out : {"a", "b", "b"})
    ASSERT_TRUE(write_custom_resources(s.file("src"), s.file(out), err)) << err;
  const auto a = Snapshot(s.file("a"));
  EXPECT_EQ(a, Snapshot(s.file("b")));
  EXPECT_EQ(Snapshot(s.file("a/CustomWord")), Snapshot(s.file("src/CustomWord")));
  EXPECT_EQ(a.at("id_custname.dict"), G("0\t无\n1\t品牌\n2\t地名\n"));

  CCustomDict d;
  ASSERT_TRUE(d.InitCDict(s.file("a/CustomWord").c_str(), s.file("a").c_str()));
  EXPECT_EQ(d._clusid2name_vec,
            (std::vector<std::string>{G("无"), G("品牌"), G("地名"), "food", "phrase", "place"}));
  EXPECT_EQ(d.m_customNum, 5);
  const std::tuple<bool, const char*, const char*> words[] = {{true, "北京烤鸭", "food|place/n"},
      {true, "麻婆豆腐", "food/nz"}, {true, "宫保鸡丁", "food/n"}, {true, "我们喜欢", "phrase/v/phrase"},
      {false, "苹果手机", "品牌"}, {false, "西湖龙井", "品牌|地名"}, {false, "北京烤鸭", "-"}};
  for (auto [user, word, shown] : words) EXPECT_EQ(Lookup(d, user, word), shown) << word;
}

// Sources the loader would mangle or that cannot be stored: refused with the
// file (and line) named, and the output directory left as it was.
TEST(CustomResources, BadSourcesAreRefusedBeforeWriting) {
  const std::tuple<std::string, std::string, const char*> cases[] = {
      {"CustomWord/a.txt", "cat,noun\n", "line 1: unknown POS name \"noun\""},
      {"CustomWord/a.txt", "ok\n" + std::string(256, 'x') + "\n", "line 2: longer than 255 bytes"},
      {"CustomWord/a.txt", ",n\n", "line 1: empty word"},
      // UTF-8 often reads as GBK too; an odd byte count never does.
      {"CustomWord/a.txt", "\xe5\x8c\x97\xe4\xba\xac\xe5\xb8\x82\n", "not GBK"},
      {"CustomWord/a.txt", "ice cream\n", "line 1: white space"},
      {"CustomWord/a.txt", std::string("ca\0t\n", 5), "NUL"},
      {"id_custname.dict", "0\tnone\n2\tbrand\n", "line 2: class id 2"},
      {"cusdata.txt", "cola\tdrinks\n", "unknown class name \"drinks\""},
      {"cusdata.txt", "cola\tc1|c2|c3|c4|c5\n", "more than four classes"},
      {"cusdata.txt", "cola\tc1\ncola\tc2\n", "line 2: the word is listed twice"},
      {"cusdata.txt", "cola c1\n", "line 1: expected"},
  };
  std::string names = "0\tnone\n";
  for (int i = 1; i <= 200; ++i) names += std::to_string(i) + "\tc" + std::to_string(i) + "\n";
  for (const auto& [rel, content, message] : cases) {
    lxtest::TempDir s("lx_custom_res_");
    s.write("src/CustomWord/base.txt", "dog\n");
    s.write("src/id_custname.dict", names);
    s.write("src/cusdata.txt", "cola\tc1\n");
    s.write("src/" + rel, content);
    s.write("out/CustomWord/keep.txt", "kept\n");
    std::string err;
    EXPECT_FALSE(write_custom_resources(s.file("src"), s.file("out"), err)) << message;
    EXPECT_TRUE(err.find(message) != err.npos && err.find(rel.substr(rel.rfind('/') + 1)) != err.npos)
        << "expected the file and \"" << message << "\": " << err;
    EXPECT_EQ(Snapshot(s.file("out")), (std::map<std::string, std::string>{
                                           {"CustomWord", "<dir>"}, {"CustomWord/keep.txt", "kept\n"}}));
  }
  // At the limits the loader still reads lines whole.
  std::string err;
  EXPECT_TRUE(check_custom_word_list(std::string(255, 'x') + "\n" + std::string(255, 'y') +
                                         "\r\n# c\n// c\n\n\r\nword,,vn\nlast", err)) << err;

  lxtest::TempDir s("lx_custom_res_");
  s.mkdirs("out");
  EXPECT_FALSE(write_custom_resources(s.file("src"), s.file("out"), err));
  EXPECT_NE(err.find("CustomWord"), std::string::npos) << err;
  s.write("src/CustomWord/a.txt", "cat\n");
  EXPECT_FALSE(write_custom_resources(s.file("src"), s.file("missing"), err));
  EXPECT_NE(err.find("missing"), std::string::npos) << err;
  s.write("src/cusdata.txt", "cola\tbrand\n");  // entries without class names
  EXPECT_FALSE(write_custom_resources(s.file("src"), s.file("out"), err));
  EXPECT_NE(err.find("id_custname.dict"), std::string::npos) << err;
  fs::remove(s.file("src/cusdata.txt"));
  ASSERT_EQ(symlink("a.txt", s.file("src/CustomWord/link.txt").c_str()), 0);  // not followed
  EXPECT_FALSE(write_custom_resources(s.file("src"), s.file("out"), err));
  EXPECT_NE(err.find("link.txt"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(s.file("out/CustomWord")));
}
