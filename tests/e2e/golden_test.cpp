// Golden outputs of the default resources: every sentence of
// tests/golden/sentences.txt, segmented in the recommended mode, must give
// the line of the same number in tests/golden/expected.txt.  After a
// deliberate change (retrained resources, a fix), regenerate the expected
// file with scripts/update-golden.sh and review its diff like code.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "LXSegFunc.h"

namespace {

// The mode the README recommends, with PKU mode on.
const int kRecommendedMode = LX_POS | LX_PGU | LX_S2D | LX_CN | LX_T2S;

std::vector<std::string> ReadLines(const std::string& path, bool skip_comments) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> out;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (skip_comments && (line.empty() || line[0] == '#')) continue;
    out.push_back(line);
  }
  return out;
}

std::string Segment(HANDLE h, const std::string& text) {
  if (!LXSegment(h, text.c_str(), text.size(), LX_UTF8)) return "<segmentation failed>";
  std::string out;
  char tag[16];
  for (int i = 0; i < LXGetResultCnt(h); ++i) {
    pWP wp = LXGetAt(h, i);
    if (wp == nullptr || wp->word == nullptr) continue;
    LXPosId2Str(wp->pos, tag, sizeof tag);
    if (!out.empty()) out += ' ';
    out += wp->word;
    out += '/';
    out += tag;
  }
  return out;
}

TEST(Golden, DefaultResourcesGiveTheExpectedOutput) {
  const std::string dir = LX_SOURCE_DIR "/tests/golden/";
  const std::vector<std::string> sentences = ReadLines(dir + "sentences.txt", true);
  const std::vector<std::string> expected = ReadLines(dir + "expected.txt", false);
  ASSERT_GE(sentences.size(), 30u);

  testing::internal::CaptureStderr();
  const bool ok = LXInitSeg(LX_DEFAULT_RESOURCES);
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(ok) << "cannot load " << LX_DEFAULT_RESOURCES;
  EXPECT_EQ(err, "") << "the default resources load silently";
  HANDLE h = LXCreateSegHandle(kRecommendedMode);
  ASSERT_NE(h, nullptr);
  LXSetPKUMode(h);

  std::vector<std::string> actual;
  for (const std::string& s : sentences) actual.push_back(Segment(h, s));
  LXCloseSegHandle(h);
  LXUnInitSeg();

  // scripts/update-golden.sh asks for the actual output.
  if (const char* out = std::getenv("LX_GOLDEN_OUTPUT")) {
    std::ofstream f(out, std::ios::binary);
    for (const std::string& a : actual) f << a << '\n';
  }
  ASSERT_EQ(expected.size(), sentences.size()) << "expected.txt has one line per sentence";
  for (size_t i = 0; i < sentences.size(); ++i)
    EXPECT_EQ(actual[i], expected[i]) << "sentence: " << sentences[i];
}

}  // namespace
