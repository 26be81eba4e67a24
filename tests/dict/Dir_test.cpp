// Tests of CDir, the walk over the "CustomWord" directory tree.
#include "dict/Dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

// A temporary tree of files, removed with the object.
class Tree {
 public:
  const std::string& root() const { return dir_.path(); }
  std::string path(const std::string& rel) const { return dir_.file(rel); }
  // Creates the file `rel` and every directory above it.
  std::string file(const std::string& rel, const std::string& content = "w\n") {
    EXPECT_TRUE(dir_.write(rel, content)) << path(rel);
    return path(rel);
  }
  void mkdirs(const std::string& rel) { dir_.mkdirs(rel); }

 private:
  lxtest::TempDir dir_{"dir_test_", testing::TempDir()};
};

// class name -> file names (the part after the root), in list order.
std::multimap<std::string, std::string> listing(const CDir& d, const std::string& root) {
  std::multimap<std::string, std::string> m;
  for (int i = 0; i < d.m_idx; ++i) {
    std::string f = d.m_files[i];
    EXPECT_EQ(f.compare(0, root.size(), root), 0) << f;
    m.emplace(d.m_words_class[i], f.substr(root.size() + 1));
  }
  return m;
}

TEST(CDir, ClassNamesFromTheDirectoriesBelowCustomWord) {
  Tree t;
  t.file("CustomWord/food/fruit.txt");
  t.file("CustomWord/food/meat.txt");
  t.file("CustomWord/top.txt");
  t.file("CustomWord/phrase/p.txt");
  t.file("CustomWord/a/b/deep.txt");
  CDir d;
  EXPECT_EQ(d.ReadClsDictDir(t.path("CustomWord").c_str()), 1);
  std::multimap<std::string, std::string> want = {
      {"a/b", "CustomWord/a/b/deep.txt"},   {"default", "CustomWord/top.txt"},
      {"food", "CustomWord/food/fruit.txt"}, {"food", "CustomWord/food/meat.txt"},
      {"phrase", "CustomWord/phrase/p.txt"}};
  EXPECT_EQ(listing(d, t.root()), want);
  // Sorted by class name; files of one class in the order found (byte order).
  std::vector<std::string> classes(d.m_words_class, d.m_words_class + d.m_idx);
  EXPECT_EQ(classes, (std::vector<std::string>{"a/b", "default", "food", "food", "phrase"}));
  EXPECT_NE(std::strstr(d.m_files[2], "fruit.txt"), nullptr);
  EXPECT_NE(std::strstr(d.m_files[3], "meat.txt"), nullptr);
  EXPECT_EQ(d.fullpath, nullptr);
}

TEST(CDir, TrailingSlashOfTheRootIsNotDoubled) {
  Tree t;
  std::string f = t.file("CustomWord/x.txt");
  CDir d;
  d.ReadClsDictDir((t.path("CustomWord") + "/").c_str());
  ASSERT_EQ(d.m_idx, 1);
  EXPECT_EQ(std::string(d.m_files[0]), f);
  EXPECT_STREQ(d.m_words_class[0], "default");
}

TEST(CDir, FilesWithoutACustomWordComponentAreIgnored) {
  Tree t;
  t.file("words/food/a.txt");
  t.file("words/b.txt");
  CDir d;
  d.ReadClsDictDir(t.path("words").c_str());
  EXPECT_EQ(d.m_idx, 0);
}

TEST(CDir, ParseRoutWithBothSeparators) {
  CDir d;
  std::vector<std::pair<std::string, const char*>> cases = {
      {"C:\\data\\CustomWord\\food\\a.txt", "food"},
      {"C:\\data\\CustomWord\\a.txt", "default"},
      {"/d/CustomWord\\x\\y\\b.txt", "x\\y"},      // "CustomWord\" is looked for first
      {"/d/CustomWord/x/y/c.txt", "x/y"},
      {"/d/CustomWord/x\\y/z.txt", "x"},           // the last "\" wins over any "/"
      {"/d/CustomWord//d.txt", "default"},          // no name between the separators
      {"/d/Other/e.txt", nullptr},
      {"/d/customword/f.txt", nullptr},             // case-sensitive
  };
  for (auto& c : cases) {
    int before = d.m_idx;
    std::vector<char> p(c.first.begin(), c.first.end());
    p.push_back('\0');
    d.parseRout(p.data());
    if (c.second == nullptr) {
      EXPECT_EQ(d.m_idx, before) << c.first;
    } else {
      ASSERT_EQ(d.m_idx, before + 1) << c.first;
      EXPECT_STREQ(d.m_words_class[before], c.second) << c.first;
      EXPECT_EQ(std::string(d.m_files[before]), c.first);
    }
  }
}

TEST(CDir, SortIsStableAndMovesTheFilesAlong) {
  CDir d;
  const char* paths[] = {"/CustomWord/b/1", "/CustomWord/a/2", "/CustomWord/b/3",
                         "/CustomWord/4",   "/CustomWord/a/5", "/CustomWord/b/6"};
  for (const char* p : paths) {
    std::string s = p;
    d.parseRout(&s[0]);
  }
  d.sortData(d.m_words_class, 0, d.m_idx - 1);
  std::vector<std::string> got;
  for (int i = 0; i < d.m_idx; ++i) got.push_back(std::string(d.m_words_class[i]) + ":" + d.m_files[i]);
  EXPECT_EQ(got, (std::vector<std::string>{"a:/CustomWord/a/2", "a:/CustomWord/a/5",
                                           "b:/CustomWord/b/1", "b:/CustomWord/b/3",
                                           "b:/CustomWord/b/6", "default:/CustomWord/4"}));
  EXPECT_EQ(d.GetClsIdx("default"), 5);
  int b = d.GetClsIdx("b");
  EXPECT_TRUE(b >= 2 && b <= 4) << b;
  int a = d.GetClsIdx("a");
  EXPECT_TRUE(a == 0 || a == 1) << a;
  EXPECT_EQ(d.GetClsIdx("c"), -1);
  EXPECT_EQ(d.GetClsIdx(""), -1);
  EXPECT_EQ(d.GetClsIdx(nullptr), -1);
  // Ranges that are not the list, or out of range, change nothing.
  d.sortData(d.m_files, 0, d.m_idx - 1);
  d.sortData(d.m_words_class, -1, 99);
  EXPECT_STREQ(d.m_words_class[0], "a");
}

TEST(CDir, ManyFilesGrowTheLists) {
  Tree t;
  for (int i = 0; i < 600; ++i) t.file("CustomWord/c" + std::to_string(i % 7) + "/f" + std::to_string(i));
  CDir d;
  d.ReadClsDictDir(t.path("CustomWord").c_str());
  ASSERT_EQ(d.m_idx, 600);
  EXPECT_GE(d.max_size, 600);
  for (int i = 1; i < d.m_idx; ++i) ASSERT_LE(std::strcmp(d.m_words_class[i - 1], d.m_words_class[i]), 0);
  for (int c = 0; c < 7; ++c) EXPECT_GE(d.GetClsIdx(("c" + std::to_string(c)).c_str()), 0);
}

TEST(CDir, SymbolicLinksAreNeitherFollowedNorListed) {
  Tree t;
  t.file("CustomWord/food/a.txt");
  std::string target = t.file("outside/CustomWord/b.txt");
  ASSERT_EQ(symlink(".", t.path("CustomWord/food/loop").c_str()), 0);         // to its own dir
  ASSERT_EQ(symlink("../..", t.path("CustomWord/food/up").c_str()), 0);       // to an ancestor
  ASSERT_EQ(symlink("self", t.path("CustomWord/self").c_str()), 0);           // to itself
  ASSERT_EQ(symlink(target.c_str(), t.path("CustomWord/link.txt").c_str()), 0);  // to a file
  ASSERT_EQ(symlink("missing", t.path("CustomWord/dangling").c_str()), 0);
  CDir d;
  d.ReadClsDictDir(t.path("CustomWord").c_str());
  std::multimap<std::string, std::string> want = {{"food", "CustomWord/food/a.txt"}};
  EXPECT_EQ(listing(d, t.root()), want);
}

TEST(CDir, SpecialFilesAreSkipped) {
  Tree t;
  t.file("CustomWord/a.txt");
  ASSERT_EQ(mkfifo(t.path("CustomWord/fifo").c_str(), 0644), 0);
  CDir d;
  d.ReadClsDictDir(t.path("CustomWord").c_str());
  ASSERT_EQ(d.m_idx, 1);
  EXPECT_NE(std::strstr(d.m_files[0], "a.txt"), nullptr);
}

TEST(CDir, UnreadableDirectoriesAreSkipped) {
  Tree t;
  t.file("CustomWord/ok/a.txt");
  t.file("CustomWord/locked/b.txt");
  ASSERT_EQ(chmod(t.path("CustomWord/locked").c_str(), 0), 0);
  CDir d;
  d.ReadClsDictDir(t.path("CustomWord").c_str());
  chmod(t.path("CustomWord/locked").c_str(), 0755);
  EXPECT_GE(d.GetClsIdx("ok"), 0);
  if (geteuid() != 0) {
    EXPECT_EQ(d.m_idx, 1);
    EXPECT_EQ(d.GetClsIdx("locked"), -1);
  } else {
    // Permissions do not stop the superuser; the walk then simply reads it.
    EXPECT_EQ(d.m_idx, 2);
  }
}

TEST(CDir, MissingOrUnusableRoot) {
  Tree t;
  CDir d;
  EXPECT_EQ(d.ReadClsDictDir(t.path("absent/CustomWord").c_str()), 1);
  EXPECT_EQ(d.m_idx, 0);
  EXPECT_EQ(d.traverseDir(nullptr), 0);
  std::string too_long(CDir::PATH_BUFFER_SIZE, 'x');
  EXPECT_EQ(d.traverseDir(too_long.c_str()), 0);
  EXPECT_EQ(d.m_idx, 0);
  // A plain file as the root is a word list of its own.
  std::string f = t.file("CustomWord/only.txt");
  EXPECT_EQ(d.traverseDir(f.c_str()), 1);
  EXPECT_EQ(d.m_idx, 1);
}

TEST(CDir, DeepTreesAreCutAtThePathBufferAndTheWorkingDirectoryStays) {
  // Directories of 200-byte names, 30 levels deep: paths grow past the
  // 4,096-byte buffer around level 20.  Built through directory descriptors
  // since the full paths are too long for the system calls.
  Tree t;
  t.mkdirs("CustomWord");
  std::string name(200, 'd');
  int fd = open(t.path("CustomWord").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  std::vector<int> levels_with_files = {1, 5, 18, 25, 29};
  for (int level = 1; level <= 30; ++level) {
    ASSERT_EQ(mkdirat(fd, name.c_str(), 0755), 0);
    int sub = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(sub, 0);
    close(fd);
    fd = sub;
    for (int l : levels_with_files) {
      if (l != level) continue;
      int f = openat(fd, ("f" + std::to_string(level)).c_str(), O_WRONLY | O_CREAT, 0644);
      ASSERT_GE(f, 0);
      close(f);
    }
  }
  close(fd);

  char before[4096];
  ASSERT_NE(getcwd(before, sizeof(before)), nullptr);
  CDir d;
  d.ReadClsDictDir(t.path("CustomWord").c_str());
  char after[4096];
  ASSERT_NE(getcwd(after, sizeof(after)), nullptr);
  EXPECT_STREQ(before, after);

  size_t base = t.path("CustomWord/").size();
  std::vector<int> found;
  for (int i = 0; i < d.m_idx; ++i) {
    EXPECT_LT(std::strlen(d.m_files[i]), (size_t)CDir::PATH_BUFFER_SIZE);
    const char* f = std::strrchr(d.m_files[i], '/');
    found.push_back(std::atoi(f + 2));
  }
  std::sort(found.begin(), found.end());
  std::vector<int> want;
  for (int l : levels_with_files)
    if (base + (size_t)l * (name.size() + 1) + 1 + std::to_string(l).size() + 1 <=
        (size_t)CDir::PATH_BUFFER_SIZE)
      want.push_back(l);
  EXPECT_EQ(found, want);
  EXPECT_FALSE(want.empty());
  EXPECT_LT(want.size(), levels_with_files.size());
}

}  // namespace
