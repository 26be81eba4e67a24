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

// Person names on the default resources, in the recommended mode: each
// sentence must give the tagged words of `want` (in a row, as written) and no
// token containing `never`.
struct NameCase {
  const char* text;
  const char* want;
  const char* never;
};
const NameCase kNameCases[] = {
    // Transliterated names whole, also where the characters read like a
    // Chinese surname and given name or a known name has a character more.
    {"法国总统马克龙今天抵达北京。", "总统/n 马克龙/nr 今天/t", "/nrf"},
    {"联合国秘书长古特雷斯发表声明。", "秘书长/n 古特雷斯/nr 发表/v", nullptr},
    {"美国前总统特朗普昨天接受了采访。", "总统/n 特朗普/nr 昨天/t", nullptr},
    {"克林顿夫人希拉里参加竞选。", "克林顿/nr 夫人/n 希拉里/nr", nullptr},
    // Familiar forms are one name word, as the training text writes them.
    {"老王和小李一起去买菜。", "老王/nr 和/c 小李/nr", nullptr},
    {"小明今天没有来上学。", "小明/nr 今天/t", nullptr},
    {"张伟同志在会上发言。", "张/nrf 伟/nrg 同志/n", nullptr},
    {"王芳站在门口。", "王/nrf 芳/nrg 站/v", nullptr},
    // No names: a place or an organisation named like a person, and
    // characters that are surnames or given names only elsewhere.
    {"他在网易杭研大厦工作。", "大厦/n", "/nr"},
    {"桂光集团起步很早。", "集团/n", "/nr"},
    {"警卫员没有马，每次都步行。", "没有/v", "/nr"},
    {"这位大侠执意不允。", "执意/d", "/nr"},
    {"他们在长城饭店吃晚饭。", "饭店/n", "/nr"},
};

TEST(Golden, PersonNames) {
  ASSERT_TRUE(LXInitSeg(LX_DEFAULT_RESOURCES));
  HANDLE h = LXCreateSegHandle(kRecommendedMode);
  ASSERT_NE(h, nullptr);
  LXSetPKUMode(h);
  for (const NameCase& c : kNameCases) {
    const std::string out = " " + Segment(h, c.text) + " ";
    EXPECT_NE(out.find(std::string(" ") + c.want + " "), std::string::npos)
        << c.text << " -> " << out;
    if (c.never != nullptr) {
      EXPECT_EQ(out.find(c.never), std::string::npos) << c.text << " -> " << out;
    }
  }
  LXCloseSegHandle(h);
  LXUnInitSeg();
}

}  // namespace
