// Bad resource files and extreme texts make the exported functions fail (or
// succeed), never end the process: a damaged, missing or unreadable n-gram
// model fails LXInitSeg with a message naming the file, and a very long text
// without a single separator is segmented whole.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "support/seg_handle.h"

namespace {

class NoExitTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.build(lxtest::default_resource_plan())) << dir_.error(); }
  // After failed initialisations the process goes on: the directory,
  // repaired, initialises and segments.
  void TearDown() override {
    ASSERT_TRUE(Init()) << err_;
    lxtest::Handle h(0);
    EXPECT_TRUE(lxtest::Seg(h, lxtest::gbk("我们喜欢北京大学")) && LXGetResultCnt(h) > 0);
    LXUnInitSeg();
  }
  // LXInitSeg's result; what it printed on stderr goes to err_.
  bool Init() {
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    const bool ok = LXInitSeg(dir_.path().c_str());
    testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
    return ok;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(dir_.file(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  lxtest::ResourceDir dir_;
  std::string err_;
};

TEST_F(NoExitTest, MissingDamagedOrUnreadableModelFailsInitNamingTheFile) {
  const std::string word = Read("Ngram.Lex"), pn = Read("Ngram_PN.Lex");
  ASSERT_GT(word.size(), 40u);
  const std::string kMissing = "<missing>", kDirectory = "<dir>";
  const struct { std::string name, content, reason; } cases[] = {
      {"Ngram_PN.Lex", kMissing, "No such file or directory"},
      {"Ngram.Lex", kDirectory, "Is a directory"},
      {"Ngram.Lex", word.substr(0, word.size() / 2), ": offset "},  // misaligned
      {"Ngram.Lex", word.substr(0, word.find("\n", 30) + 2), "unexpected end of file"},
      {"Ngram_PN.Lex", pn.substr(0, pn.size() - 3), ": offset "},
      {"Ngram.Lex", "not a model\n", "bad binary format"},
  };
  for (const auto& c : cases) {
    const std::string path = dir_.file(c.name);
    std::remove(path.c_str());
    if (c.content == kDirectory) {
      ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    } else if (c.content != kMissing) {
      ASSERT_TRUE(dir_.write_file(c.name, c.content));
    }
    EXPECT_FALSE(Init());
    EXPECT_NE(err_.find(path + ": "), std::string::npos) << err_;  // the loader's own message
    EXPECT_NE(err_.find(c.reason), std::string::npos) << err_;
    LXUnInitSeg();
    rmdir(path.c_str());
    ASSERT_TRUE(dir_.write_file(c.name, c.name == "Ngram.Lex" ? word : pn));
  }
  // Random damage: LXInitSeg may succeed (a changed probability is still a
  // model) but when it fails it names the file.
  std::mt19937 rng(99);
  int failed = 0;
  for (int round = 0; round < 30; ++round) {
    std::string damaged = word;
    if (round % 3 == 0) damaged.resize(rng() % word.size());
    for (int k = 1 + rng() % 4; k > 0 && !damaged.empty(); --k)
      damaged[rng() % damaged.size()] ^= (char)(1u << (rng() % 8));
    ASSERT_TRUE(dir_.write_file("Ngram.Lex", damaged));
    if (!Init() && ++failed) {
      EXPECT_NE(err_.find(dir_.file("Ngram.Lex")), std::string::npos) << round << ": " << err_;
    }
    LXUnInitSeg();
  }
  EXPECT_GT(failed, 0);
  ASSERT_TRUE(dir_.write_file("Ngram.Lex", word));
}

// Texts far longer than a sentence, without a separator anywhere: GBK
// characters, ASCII letters and digits; the fine tokens spell each text.
TEST_F(NoExitTest, VeryLongTextWithoutSeparatorsIsSegmentedWhole) {
  ASSERT_TRUE(Init()) << err_;
  const std::string hanzi = lxtest::gbk("我们喜欢北京大学中国人民研究生命的起源三万个");
  std::mt19937 rng(5);
  std::string mixed, same_char;
  while (mixed.size() < (1u << 20))
    mixed += rng() % 4 ? hanzi.substr(2 * (rng() % (hanzi.size() / 2)), 2)
                       : std::string(1, rng() % 2 ? 'a' + rng() % 26 : '0' + rng() % 10);
  while (same_char.size() < (1u << 20)) same_char += hanzi.substr(0, 2);
  lxtest::Handle h(0);
  for (const std::string& text : {mixed, same_char, std::string(1u << 20, 'x')}) {
    EXPECT_TRUE(lxtest::Seg(h, text));
    const seg_tokens_t st = lxtest::AllInfo(h);
    std::string spelled;
    for (size_t i = 0; i < st.fine_grain_tokens_num; ++i)
      if (st.fine_grain_seg_tokens[i].wtype == 0)
        spelled.append(st.fine_grain_seg_tokens[i].word, st.fine_grain_seg_tokens[i].wlen);
    EXPECT_TRUE(spelled == text) << spelled.size() << " of " << text.size() << " bytes";
  }
}

}  // namespace
