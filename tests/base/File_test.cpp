#include "base/File.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <sstream>
#include <string>
#include <vector>

namespace {

class FileTest : public ::testing::Test {
 protected:
  // Writes `content` to a new temporary file and returns its name (valid for
  // the whole test).
  const char* make_file(const std::string& content) {
    std::string name = ::testing::TempDir() + "lx_file_test_XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    int fd = mkstemp(buffer.data());
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, content.data(), content.size()), (ssize_t)content.size());
    close(fd);
    names_.push_back(buffer.data());
    return names_.back().c_str();
  }
  void TearDown() override {
    for (auto& name : names_) unlink(name.c_str());
  }

 private:
  std::deque<std::string> names_;  // a deque keeps the strings in place
};

TEST_F(FileTest, ReadsLinesWithTheirNewline) {
  File file(make_file("one\ntwo\nthree"), "r");
  ASSERT_NE((FILE*)file, nullptr);
  EXPECT_STREQ(file.getline(), "one\n");
  EXPECT_EQ(file.m_line_no, 1u);
  EXPECT_STREQ(file.getline(), "two\n");
  EXPECT_STREQ(file.getline(), "three");  // no trailing newline
  EXPECT_EQ(file.m_line_no, 3u);
  EXPECT_EQ(file.getline(), nullptr);
  EXPECT_EQ(file.getline(), nullptr);
  EXPECT_EQ(file.m_line_no, 3u);
}

TEST_F(FileTest, CarriageReturnsAreKept) {
  File file(make_file("a b\r\nc\r\n\r\n"), "r");
  EXPECT_STREQ(file.getline(), "a b\r\n");
  EXPECT_STREQ(file.getline(), "c\r\n");
  EXPECT_EQ(file.getline(), nullptr);  // "\r\n" alone is blank
  EXPECT_EQ(file.m_line_no, 3u);
}

TEST_F(FileTest, BlankLinesAreSkippedButCounted) {
  File file(make_file("\n  \t\nfirst\n\n\v\f \r\nsecond\n   "), "r");
  EXPECT_STREQ(file.getline(), "first\n");
  EXPECT_EQ(file.m_line_no, 3u);
  EXPECT_STREQ(file.getline(), "second\n");
  EXPECT_EQ(file.m_line_no, 6u);
  EXPECT_EQ(file.getline(), nullptr);
  EXPECT_EQ(file.m_line_no, 7u);
}

TEST_F(FileTest, HighBytesAreNotWhiteSpace) {
  // GBK text: bytes >= 0x80 (negative as char) must not be taken for blanks,
  // nor passed to isspace as negative values.
  File file(make_file("\xa1\xa1\n\xa0\n"), "r");
  EXPECT_STREQ(file.getline(), "\xa1\xa1\n");
  EXPECT_STREQ(file.getline(), "\xa0\n");
}

TEST_F(FileTest, LongLineGrowsTheBuffer) {
  std::string line(299, 'x');
  line += '\n';
  File file(make_file(line + "next\n"), "r");
  EXPECT_EQ(file.m_buf_len, 128u);
  char* got = file.getline();
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(std::string(got), line);
  EXPECT_EQ(file.m_buf_len, 512u);
  EXPECT_EQ(file.m_line_no, 1u);
  char* next = file.getline();
  EXPECT_STREQ(next, "next\n");
  EXPECT_EQ(next, got);  // one buffer for all lines
  EXPECT_EQ(file.m_line_no, 2u);
}

TEST_F(FileTest, VeryLongLinesWithAndWithoutNewline) {
  std::string big(100000, 'y');
  for (size_t i = 0; i < big.size(); i += 97) big[i] = (char)('a' + i % 26);
  File file(make_file("short\n" + big + "\n" + big), "r");
  EXPECT_STREQ(file.getline(), "short\n");
  char* got = file.getline();
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(std::string(got), big + "\n");
  EXPECT_EQ(file.m_buf_len, 131072u);
  got = file.getline();
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(std::string(got), big);
  EXPECT_EQ(file.getline(), nullptr);
  EXPECT_EQ(file.m_line_no, 3u);
}

// Lines around the buffer size: 126 + newline fills the 128-byte buffer
// exactly; 127 + newline needs one growth.
TEST_F(FileTest, LinesAtTheBufferBoundary) {
  for (size_t len : {125u, 126u, 127u, 128u, 254u, 255u, 256u}) {
    std::string line(len, 'z');
    File withNewline(make_file(line + "\nafter\n"), "r");
    char* got = withNewline.getline();
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(std::string(got), line + "\n") << len;
    EXPECT_STREQ(withNewline.getline(), "after\n") << len;
    EXPECT_EQ(withNewline.m_line_no, 2u);

    File atEnd(make_file(line), "r");
    got = atEnd.getline();
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(std::string(got), line) << len;
    EXPECT_EQ(atEnd.getline(), nullptr);
  }
}

TEST_F(FileTest, NulBytesInsideLinesAreHarmless) {
  std::string content("ab\0cd\n", 6);
  content += std::string(200, 'q') + std::string("\0", 1) + std::string(200, 'r') + "\n";
  content += std::string("\0\0\n", 3);
  content += "last\n";
  File file(make_file(content), "r");
  EXPECT_STREQ(file.getline(), "ab");  // C string view stops at the NUL
  EXPECT_EQ(file.m_line_no, 1u);
  char* got = file.getline();
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(std::string(got), std::string(200, 'q'));
  EXPECT_EQ(std::string(got + 201, 201), std::string(200, 'r') + "\n");
  // A line blank up to its NUL counts as blank.
  EXPECT_STREQ(file.getline(), "last\n");
  EXPECT_EQ(file.m_line_no, 4u);
  EXPECT_EQ(file.getline(), nullptr);
}

TEST_F(FileTest, UngetlineReturnsTheSameLineAgain) {
  File file(make_file("alpha\nbeta\n"), "r");
  char* first = file.getline();
  file.ungetline();
  char* again = file.getline();
  EXPECT_EQ(again, first);
  EXPECT_STREQ(again, "alpha\n");
  EXPECT_EQ(file.m_line_no, 1u);
  EXPECT_STREQ(file.getline(), "beta\n");
  EXPECT_EQ(file.getline(), nullptr);
  // After the end the last line is still there, properly terminated.
  file.ungetline();
  EXPECT_STREQ(file.getline(), "beta\n");
}

TEST_F(FileTest, UngetlineAfterALineThatFilledTheBuffer) {
  // 126 bytes + newline end exactly at the buffer's last byte; the end-of-file
  // read that follows must not leave the line unterminated.
  std::string line(126, 'w');
  File file(make_file(line + "\n"), "r");
  ASSERT_NE(file.getline(), nullptr);
  EXPECT_EQ(file.getline(), nullptr);
  file.ungetline();
  char* got = file.getline();
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(std::string(got), line + "\n");
}

TEST_F(FileTest, PositionAndOffsetPrefixes) {
  const char* name = make_file("first line\nsecond\n");
  File file(name, "r");
  file.getline();
  std::ostringstream position, offset;
  file.position(position) << "bad thing\n";
  file.offset(offset);
  EXPECT_EQ(position.str(), std::string(name) + ": line 1: bad thing\n");
  EXPECT_EQ(offset.str(), std::string(name) + ": offset 11: ");

  FILE* fp = fopen(name, "r");
  ASSERT_NE(fp, nullptr);
  {
    File stream(fp);
    EXPECT_EQ(stream.m_name, nullptr);
    EXPECT_FALSE(stream.m_skip_comments);
    std::ostringstream p, o;
    stream.position(p);
    stream.offset(o);
    EXPECT_EQ(p.str(), "line 0: ");
    EXPECT_EQ(o.str(), "offset 0: ");
    EXPECT_STREQ(stream.getline(), "first line\n");
  }
  // A File over a stream leaves it open.
  EXPECT_EQ(fseek(fp, 0, SEEK_SET), 0);
  EXPECT_EQ(fclose(fp), 0);
}

TEST_F(FileTest, MissingFileGivesANullStream) {
  File file("/nonexistent-dir/none.txt", "r");
  EXPECT_EQ((FILE*)file, nullptr);
  EXPECT_TRUE(file.m_skip_comments);
  EXPECT_EQ(file.getline(), nullptr);
  EXPECT_EQ(file.close(), 0);
  std::ostringstream o;
  file.offset(o);
  EXPECT_EQ(o.str(), "/nonexistent-dir/none.txt: offset -1: ");
}

TEST_F(FileTest, ReopenAndClose) {
  const char* a = make_file("from a\n");
  const char* b = make_file("\nfrom b\n");
  File file(a, "r");
  EXPECT_STREQ(file.getline(), "from a\n");
  EXPECT_EQ(file.reopen(b, "r"), 1);
  EXPECT_EQ(file.m_name, b);
  EXPECT_STREQ(file.getline(), "from b\n");
  EXPECT_EQ(file.m_line_no, 2u);
  EXPECT_EQ(file.reopen("/nonexistent-dir/x", "r"), 0);
  EXPECT_EQ((FILE*)file, nullptr);
  EXPECT_EQ(file.reopen(a, "r"), 1);
  EXPECT_EQ(file.close(), 0);
  EXPECT_EQ((FILE*)file, nullptr);
  EXPECT_EQ(file.close(), 0);  // closing twice is harmless
}

void open_missing_with_exit() {
  File file("/nonexistent-dir/model.lm", "rb", 3);
}

TEST(FileDeathTest, OpenFailureExitsWhenAsked) {
  EXPECT_EXIT(open_missing_with_exit(), ::testing::ExitedWithCode(3),
              "/nonexistent-dir/model.lm: No such file or directory");
}

}  // namespace
