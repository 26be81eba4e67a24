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

// Coarse mode with the default resources: each rule, with LX_PGU and with
// the words as written (LX_ORIG), every reader agreeing, and the spans of
// the joined words still covering the text.
TEST(Golden, CoarseModeJoinsNamesNumeralsDatesAndOrganisations) {
  testing::internal::CaptureStderr();
  ASSERT_TRUE(LXInitSeg(LX_DEFAULT_RESOURCES)) << testing::internal::GetCapturedStderr();
  testing::internal::GetCapturedStderr();
  const struct {
    int mode;
    const char *text, *want;
  } cases[] = {
      {kRecommendedMode | LX_COARSE, "国家主席江泽民今天上午10时会见了国家电力公司代表。",
       "国家/n 主席/n 江泽民/nr 今天上午10时/t 会见/v 了/u 国家电力公司/nt 代表/n 。/w"},
      {kRecommendedMode | LX_COARSE | LX_ORIG | LX_NEW_RES, "他买了两个苹果和160万元的设备，１９９６年５月１２日第一个到达",
       "他/r 买/v 了/u 两个/m 苹果/n 和/c 160万元/m 的/u 设备/n ，/w １９９６年５月１２日/t 第一个/m 到达/v"},
      {kRecommendedMode | LX_COARSE | LX_GU, "英迪拉·甘地访问了北京市公安局和８个公司",
       "英迪拉·甘地/nr 访问/v 了/u 北京市公安局/nt 和/c 8个/m 公司/n"},
      {LX_COARSE | LX_CN | LX_PGU | LX_ORIG, "江泽民买了两个苹果", "江泽民/nr 买/unk 了/unk 两个/unk 苹果/unk"},
      {kRecommendedMode, "江泽民买了两个苹果", "江/nrf 泽民/nrg 买/v 了/u 两/m 个/q 苹果/n"},
  };
  for (const auto& c : cases) {
    HANDLE h = LXCreateSegHandle(c.mode);
    ASSERT_NE(h, nullptr);
    LXSetPKUMode(h);
    const std::string text = c.text;
    EXPECT_EQ(Segment(h, text), c.want) << std::hex << c.mode;
    // Every reader gives the same words, and the spans tile the text.
    seg_tokens_t st{};
    LXGetAllSegInfo(h, st);
    ASSERT_EQ(st.fine_grain_tokens_num, (size_t)LXGetResultCnt(h));
    size_t begin = 0, len = 0, end = 0;
    for (int i = 0; i < LXGetResultCnt(h); ++i) {
      ASSERT_TRUE(LXGetSpanAt(h, i, &begin, &len));
      EXPECT_EQ(begin, end);
      end = begin + len;
      if (c.mode & LX_ORIG) {
        EXPECT_EQ(text.substr(begin, len), LXGetWordAt(h, i));
      }
      EXPECT_EQ(st.fine_grain_seg_tokens[i].pos, LXGetAt(h, i)->pos);
    }
    EXPECT_EQ(end, text.size());
    if (c.mode & LX_NEW_RES) {
      EXPECT_EQ(st.thick_seg_tokens_num, 0u);
    }
    LXCloseSegHandle(h);
  }
  LXUnInitSeg();
}

}  // namespace
