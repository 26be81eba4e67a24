#include "base/File.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "support/temp_dir.h"

namespace {

struct Line { std::string text; unsigned number; };  // the text with its newline, if any

// Reference reader: split at newlines, drop lines blank up to their first NUL.
std::vector<Line> reference_lines(const std::string& content) {
  std::vector<Line> lines;
  for (size_t pos = 0, end, number = 1; pos < content.size(); pos = end, number++) {
    end = std::min(content.find('\n', pos), content.size() - 1) + 1;
    const std::string text = content.substr(pos, end - pos), before_nul = text.c_str();
    if (before_nul.find_first_not_of(" \t\n\v\f\r") != std::string::npos) lines.push_back({text, (unsigned)number});
  }
  return lines;
}

void expect_reads(const std::string& path, const std::string& content) {
  File file(path.c_str(), "r");
  ASSERT_NE((FILE*)file, nullptr);
  for (const Line& line : reference_lines(content)) {
    char* got = file.getline();
    ASSERT_TRUE(got && std::string(got, line.text.size() + 1) == line.text + '\0' && file.m_line_no == line.number)
        << "line " << line.number;
  }
  EXPECT_TRUE(file.getline() == nullptr && file.getline() == nullptr);
  EXPECT_EQ(file.m_line_no, std::count(content.begin(), content.end(), '\n') + (!content.empty() && content.back() != '\n'));
}

// Random files of short, blank and long lines (NULs, CRs and high bytes
// included; lengths around the first buffer sizes 128 and 256) against the
// reference reader.
TEST(FileTest, RandomContentsMatchTheReference) {
  lxtest::TempDir dir("lx_file_");
  std::mt19937 rng(17);
  const char alphabet[] = " \t\r\v\fab\xa0\xff";
  for (int round = 0; round < 80; round++) {
    std::string content = round == 0 ? std::string(100000, 'y') + "\n" + std::string(100000, 'z') : "";
    int lines = rng() % 40;
    for (int l = 0; l < lines; l++) {
      size_t len = rng() % 4 ? rng() % 8 : rng() % 2 ? 124 + rng() % 134 : rng() % 700;
      for (size_t j = 0; j < len; j++)
        content += rng() % 50 == 0 ? '\0' : alphabet[rng() % (sizeof alphabet - 1)];
      if (l + 1 < lines || rng() % 2) content += '\n';
    }
    ASSERT_TRUE(dir.write("r", content));
    SCOPED_TRACE(round);
    expect_reads(dir.file("r"), content);
  }
}

// Location prefixes over a named file and over a stream (left open); a missing
// file gives a null stream.
TEST(FileTest, PrefixesAndMissingFiles) {
  lxtest::TempDir dir("lx_file_");
  std::string name = dir.file("p");
  ASSERT_TRUE(dir.write("p", "first line\nsecond\n"));
  FILE* fp = fopen(name.c_str(), "r");
  File file(name.c_str(), "r"), stream(fp), missing("/nonexistent-dir/none.txt", "r");
  std::ostringstream out;
  file.getline();
  file.offset(stream.offset(stream.position(file.position(out))));
  missing.offset(out);
  EXPECT_EQ(out.str(), name + ": line 1: line 0: offset 0: " + name + ": offset 11: /nonexistent-dir/none.txt: offset -1: ");
  EXPECT_TRUE((FILE*)missing == nullptr && missing.getline() == nullptr);
  EXPECT_EQ(missing.close() + file.close() + file.close() + fclose(fp), 0);  // closing twice is harmless
}

// read_rest gives the bytes from the stream's position to its end whichever
// way it gets them: a regular file mapped, the same bytes through a pipe
// (no mapping: read in doubling pieces, some already in the stream's
// buffer), and a regular file at its end (read, nothing left).
TEST(FileTest, ReadRestMappedOrRead) {
  lxtest::TempDir dir("lx_file_");
  std::mt19937 rng(29);
  std::string content(300000, '\0');  // more than the first pieces of 64 KiB
  for (char& c : content) c = static_cast<char>(rng());
  ASSERT_TRUE(dir.write("b", content));
  const size_t skip = 5;
  auto rest_of = [&](FILE* fp) {
    for (size_t i = 0; i < skip; i++) std::fgetc(fp);
    File file(fp);
    FileBytes bytes;
    const bool ok = file.read_rest(bytes);
    return ok ? std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()) : "failed";
  };
  FILE* mapped = fopen(dir.file("b").c_str(), "rb");
  ASSERT_NE(mapped, nullptr);
  EXPECT_TRUE(rest_of(mapped) == content.substr(skip));
  EXPECT_EQ(rest_of(mapped), "");  // at the end now
  fclose(mapped);

  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::thread writer([&] {
    for (size_t at = 0; at < content.size();) {
      const ssize_t n = write(fds[1], content.data() + at, content.size() - at);
      if (n <= 0) break;
      at += (size_t)n;
    }
    close(fds[1]);
  });
  FILE* piped = fdopen(fds[0], "rb");
  const std::string got = piped ? rest_of(piped) : "no stream";
  if (piped) while (std::fgetc(piped) != EOF) {}  // lets the writer finish whatever happened
  writer.join();
  EXPECT_TRUE(got == content.substr(skip)) << got.size() << " bytes";
  if (piped) fclose(piped); else close(fds[0]);
}

}  // namespace
