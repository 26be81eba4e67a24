// The command-line tool, run in-process: arguments, messages, output
// formats and the line handling.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "LXPub.h"
#include "support/resource_builder.h"

extern "C" int LXWordSeg_main(int argc, char** argv);
std::string& replace_all(std::string& str, const std::string& old_value,
                         const std::string& new_value);

using lxtest::gbk;

namespace {

struct ToolRun {
  int rc;
  std::string out;  // standard output
};

ToolRun RunTool(std::vector<std::string> args) {
  args.insert(args.begin(), "LXWordSeg");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int rc = LXWordSeg_main((int)args.size(), argv.data());
  ToolRun r{rc, testing::internal::GetCapturedStdout()};
  testing::internal::GetCapturedStderr();
  return r;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// "Time used: %f s\n".
bool IsTimeLine(const std::string& s) {
  const std::string head = "Time used: ", tail = " s\n";
  if (s.size() < head.size() + tail.size() + 8 || s.compare(0, head.size(), head) != 0 ||
      s.compare(s.size() - tail.size(), tail.size(), tail) != 0)
    return false;
  const std::string num = s.substr(head.size(), s.size() - head.size() - tail.size());
  const size_t dot = num.find('.');
  if (dot == std::string::npos || dot == 0 || num.size() - dot - 1 != 6) return false;
  for (size_t i = 0; i < num.size(); ++i)
    if (i != dot && (num[i] < '0' || num[i] > '9')) return false;
  return true;
}

// "<word>/<tag>" with a tag of letters only.
bool IsTaggedWord(const std::string& field, const std::string& word) {
  if (field.compare(0, word.size() + 1, word + "/") != 0 || field.size() == word.size() + 1)
    return false;
  for (size_t i = word.size() + 1; i < field.size(); ++i)
    if (!std::isalpha((unsigned char)field[i])) return false;
  return true;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream ss(line);
  for (std::string f; std::getline(ss, f, '\t');) fields.push_back(f);
  return fields;
}

class LXWordSegTool : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.build(lxtest::default_resource_plan())) << dir_.error();
  }
  // Runs the tool on `input` (GBK) and returns the output file.
  std::string Segment(const std::string& input, const std::string& flag, ToolRun* run = nullptr) {
    EXPECT_TRUE(dir_.write_file("io/in.txt", input));
    ToolRun r = RunTool({dir_.path(), dir_.file("io/in.txt"), dir_.file("io/out.txt"), flag});
    EXPECT_EQ(r.rc, 0);
    EXPECT_TRUE(IsTimeLine(r.out)) << r.out;
    if (run) *run = r;
    return ReadFile(dir_.file("io/out.txt"));
  }
  lxtest::ResourceDir dir_;
};

TEST(LXWordSegUsage, WrongArgumentCount) {
  for (std::vector<std::string> args :
       {std::vector<std::string>{}, {"a"}, {"a", "b", "c"}, {"a", "b", "c", "d", "e"}}) {
    ToolRun r = RunTool(args);
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.out, "Usage : LXWordSeg dictdir input output\n");
  }
}

TEST_F(LXWordSegTool, FailedInitialisationReturnsZeroWithoutOutput) {
  ASSERT_TRUE(dir_.write_file("io/in.txt", "abc\n"));
  ToolRun r =
      RunTool({dir_.file("no-such-dir"), dir_.file("io/in.txt"), dir_.file("io/out.txt"), "0"});
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(std::ifstream(dir_.file("io/out.txt")).good());
}

TEST_F(LXWordSegTool, UnopenableFiles) {
  ToolRun r = RunTool({dir_.path(), dir_.file("missing.txt"), dir_.file("out.txt"), "0"});
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "Unable to open file: " + dir_.file("missing.txt") + "\n");
  ASSERT_TRUE(dir_.write_file("in.txt", "abc\n"));
  r = RunTool({dir_.path(), dir_.file("in.txt"), dir_.file("no/such/dir/out.txt"), "0"});
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "Unable to open file: " + dir_.file("no/such/dir/out.txt") + "\n");
}

TEST_F(LXWordSegTool, EmptyInputGivesEmptyOutput) {
  EXPECT_EQ(Segment("", "0"), "");
  EXPECT_EQ(Segment("", "1"), "");
}

TEST_F(LXWordSegTool, WordsSeparatedByBlanks) {
  // Mode 847 converts traditional characters; a separator blank is written
  // as it is, between single blanks.
  EXPECT_EQ(Segment(gbk("中國人民 研究生命\n"), "0"), gbk("中国 人民   研究 生命\n"));
}

TEST_F(LXWordSegTool, EmptyLinesAndLineEnds) {
  const std::string plain = Segment(gbk("中国人民\n\n北京\n"), "0");
  EXPECT_EQ(plain, gbk("中国 人民\n\n北京\n"));
  // CR LF (and a lone CR before the LF) end a line like LF alone; the last
  // line need not end at all.
  EXPECT_EQ(Segment(gbk("中国人民\r\n\r\n北京"), "0"), plain);
  // Only one pair is removed: a line ending in "\r\r\n" keeps a CR.
  EXPECT_EQ(Segment(gbk("北京\r\r\n"), "0"), gbk("北京 \r\n"));
}

TEST_F(LXWordSegTool, WordsWithTagsAndClasses) {
  const std::string out = Segment(gbk("我们喜欢北京烤鸭\n"), "1");
  // Custom words come with their class names right after the tag.
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out.back(), '\n');
  const std::vector<std::string> fields = SplitTabs(out.substr(0, out.size() - 1));
  ASSERT_EQ(fields.size(), 3u) << out;
  EXPECT_TRUE(IsTaggedWord(fields[0], gbk("我们"))) << fields[0];
  EXPECT_EQ(fields[2], gbk("北京烤鸭") + "/nfood");
  // Separators carry the tag "w"; records are separated by single tabs.
  const std::string sep = Segment(gbk("北京，北京\n"), "7");
  ASSERT_FALSE(sep.empty());
  EXPECT_EQ(sep.back(), '\n');
  const std::vector<std::string> f = SplitTabs(sep.substr(0, sep.size() - 1));
  ASSERT_EQ(f.size(), 3u) << sep;
  EXPECT_TRUE(IsTaggedWord(f[0], gbk("北京"))) << f[0];
  EXPECT_EQ(f[1], gbk("，") + "/w");
  EXPECT_TRUE(IsTaggedWord(f[2], gbk("北京"))) << f[2];
}

TEST(ReplaceAll, ReplacesUntilNoneIsLeft) {
  std::string s = "a b  c";
  EXPECT_EQ(replace_all(s, " ", "|"), "a|b||c");
  std::string t = "aaaa";
  EXPECT_EQ(replace_all(t, "aa", "a"), "a");
  std::string u = "xyz";
  EXPECT_EQ(replace_all(u, "", "q"), "xyz");
  // A replacement containing the searched text is done in one pass.
  std::string v = "a.b";
  EXPECT_EQ(replace_all(v, ".", ".."), "a..b");
}

}  // namespace
