// The command-line tool, run in-process: arguments, messages, output
// formats and the line handling.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/resource_builder.h"

extern "C" int LXWordSeg_main(int argc, char** argv);
std::string& replace_all(std::string& str, const std::string& old_value,
                         const std::string& new_value);

namespace {

// Runs the tool; its return code, and what it wrote on standard output.
std::pair<int, std::string> RunTool(std::vector<std::string> args) {
  args.insert(args.begin(), "LXWordSeg");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int rc = LXWordSeg_main((int)args.size(), argv.data());
  testing::internal::GetCapturedStderr();
  return {rc, testing::internal::GetCapturedStdout()};
}

TEST(LXWordSegTool, ArgumentsAndFilesThatCannotBeOpened) {
  lxtest::ResourceDir dir;
  ASSERT_TRUE(dir.build(lxtest::default_resource_plan())) << dir.error();
  ASSERT_TRUE(dir.write_file("in.txt", "abc\n"));
  const std::string in = dir.file("in.txt"), out = dir.file("out.txt"),
                    missing = dir.file("missing.txt"), nowhere = dir.file("no/dir/out.txt");
  const std::string usage = "Usage : LXWordSeg dictdir input output\n";
  const std::pair<std::vector<std::string>, std::pair<int, std::string> > cases[] = {
      {{}, {-1, usage}}, {{"a"}, {-1, usage}}, {{"a", "b", "c"}, {-1, usage}},
      {{"a", "b", "c", "d", "e"}, {-1, usage}},
      {{dir.file("no-such-dir"), in, out, "0"}, {0, ""}},  // a failed initialisation
      {{dir.path(), missing, out, "0"}, {0, "Unable to open file: " + missing + "\n"}},
      {{dir.path(), in, nowhere, "0"}, {0, "Unable to open file: " + nowhere + "\n"}},
  };
  for (const auto& c : cases) EXPECT_EQ(RunTool(c.first), c.second) << c.first.size();
  EXPECT_FALSE(std::ifstream(out).good());
}

// Mode 847 converts traditional characters and tags words; the output
// separates words by blanks (a blank word is written as it is), or writes
// word/tag records separated by tabs, custom words with their class names
// right after the tag.  CR LF (and a lone CR before the LF) end a line like
// LF alone, only one pair is removed, and the last line need not end.
TEST(LXWordSegTool, OutputLines) {
  lxtest::ResourceDir dir;
  ASSERT_TRUE(dir.build(lxtest::default_resource_plan())) << dir.error();
  const struct { const char *in, *flag, *out; } cases[] = {
      {"", "0", ""}, {"", "1", ""},
      {"中國人民 研究生命\n", "0", "中国 人民   研究 生命\n"},
      {"中国人民\n\n北京\n", "0", "中国 人民\n\n北京\n"},
      {"中国人民\r\n\r\n北京", "0", "中国 人民\n\n北京\n"},
      {"北京\r\r\n", "0", "北京 \r\n"},
      {"我们喜欢北京烤鸭\n", "1", "我们/r\t喜欢/v\t北京烤鸭/nfood\n"},
      {"北京，北京\n", "7", "北京/ns\t，/w\t北京/ns\n"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(dir.write_file("io/in.txt", lxtest::gbk(c.in)));
    const auto r = RunTool({dir.path(), dir.file("io/in.txt"), dir.file("io/out.txt"), c.flag});
    EXPECT_EQ(r.first, 0);
    // "Time used: <seconds with six decimals> s"
    const std::string t = r.second;
    const size_t dot = t.find('.');
    EXPECT_TRUE(t.rfind("Time used: ", 0) == 0 && dot != std::string::npos && dot > 11 &&
                t.size() == dot + 10 && t.compare(dot + 7, 3, " s\n") == 0 &&
                t.find_first_not_of("0123456789", 11) == dot &&
                t.find_first_not_of("0123456789", dot + 1) == dot + 7)
        << t;
    std::ifstream result(dir.file("io/out.txt"), std::ios::binary);
    EXPECT_EQ(lxtest::utf8(std::string(std::istreambuf_iterator<char>(result), {})), c.out)
        << c.in;
  }
}

TEST(ReplaceAll, ReplacesUntilNoneIsLeft) {
  const std::vector<std::vector<std::string> > cases = {
      {"a b  c", " ", "|", "a|b||c"}, {"aaaa", "aa", "a", "a"}, {"xyz", "", "q", "xyz"},
      {"a.b.", ".", "..", "a..b.."},  // one pass when the replacement holds the text
  };
  for (std::vector<std::string> c : cases) EXPECT_EQ(replace_all(c[0], c[1], c[2]), c[3]);
}

}  // namespace
