// LXInitSeg is all or nothing: a resource set with any file missing or
// damaged is refused with one message naming the file, and the set loaded
// before (if any) stays in use by every handle, old and new.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/seg_handle.h"

using namespace lxtest;

namespace {

const char* const kFiles[] = {"Core.Lex",   "Core.Prop",    "Ngram.Lex", "Ngram_PN.Lex",
                              "RoleTT.Lex", "LNRoleTT.Lex", "POSTT.Lex", "UserAmbRule",
                              "ner_info",   "Sec.Lex",      "Sec.Prop"};
const int kModes[] = {0, LX_POS | LX_CN | LX_LN | LX_USR, LX_S2D | LX_T2S | LX_POS | LX_SGU,
                      LX_PMUL | LX_NEW_RES | LX_USR};

// Every text as "word/pos*" per word (the star marks a custom word), or
// "<fail>".
std::string Out(HANDLE h) {
  const std::string texts[] = {
      gbk("张三和李四在上海研究生命的起源。"), gbk("中国人民喜欢北京大学生，白天鹅和服装"),
      gbk("今天天气很好，２００８年三万个人吃北京烤鸭"), gbk("乾燥的學生在长江")};
  std::string out;
  for (const std::string& t : texts) {
    if (!Seg(h, t)) out += "<fail>";
    for (int i = 0; i < LXGetResultCnt(h); ++i) {
      const WP* p = LXGetAt(h, i);
      out += std::string(p->word) + "/" + std::to_string(p->pos) + (p->bcw ? "* " : " ");
    }
    out += "\n";
  }
  return out;
}

class ReloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResourcePlan other = default_resource_plan();  // 中国人民 is one word there
    other.words.push_back(lex_word(gbk("中国人民"), 16));
    ASSERT_TRUE(old_.build(default_resource_plan()) && new_.build(other)) << old_.error() << new_.error();
  }
  void TearDown() override { LXUnInitSeg(); }
  bool Init(const ResourceDir& dir) {
    testing::internal::CaptureStderr();
    const bool ok = LXInitSeg(dir.path().c_str());
    err_ = testing::internal::GetCapturedStderr();
    return ok;
  }
  ResourceDir old_, new_;
  std::string err_;
};

TEST_F(ReloadTest, AFailedInitKeepsThePreviousSetForEveryHandle) {
  std::vector<std::unique_ptr<Handle> > handles;
  for (int m : kModes) handles.emplace_back(new Handle(m));
  for (bool loaded : {false, true}) {
    // First with nothing loaded before, then over the old set.
    std::vector<std::string> want;
    if (loaded) {
      ASSERT_TRUE(Init(old_)) << err_;
    }
    for (auto& h : handles) want.push_back(Out(*h));
    for (const char* f : kFiles) {
      for (bool as_dir : {false, true}) {
        const std::string path = new_.file(f), away = path + ".away";
        ASSERT_EQ(std::rename(path.c_str(), away.c_str()), 0);
        if (as_dir) std::filesystem::create_directory(path);
        EXPECT_FALSE(Init(new_)) << f;
        EXPECT_TRUE(std::count(err_.begin(), err_.end(), '\n') == 1 && err_.find(path) != std::string::npos)
            << f << ": " << err_;
        for (size_t i = 0; i < handles.size(); ++i) {
          EXPECT_EQ(Out(*handles[i]), want[i]) << f << " mode " << kModes[i];
          testing::internal::CaptureStderr();
          Handle late(kModes[i]);
          testing::internal::GetCapturedStderr();
          EXPECT_EQ(Out(late), want[i]) << f << " mode " << kModes[i];
        }
        std::filesystem::remove(path);
        ASSERT_EQ(std::rename(away.c_str(), path.c_str()), 0);
      }
    }
    EXPECT_EQ(want[0] == "<fail>\n<fail>\n<fail>\n<fail>\n", !loaded);
  }
  // The whole set loads and replaces the old one under the live handles.
  ASSERT_TRUE(Init(new_)) << err_;
  EXPECT_NE(Out(*handles[1]).find(gbk("中国人民") + "/16 "), std::string::npos);
}

// "coarse_info" is optional: without it coarse mode joins no organisation
// name; a damaged one fails LXInitSeg with one line naming it.
TEST_F(ReloadTest, CoarseInfoIsOptionalAndCheckedOnLoad) {
  const std::string text = gbk("上海天气很好"), path = new_.file("coarse_info");
  auto coarse = [&](int usr = 0) {  // with LX_USR the custom word 上海 must not cut 上海天气
    Handle h(LX_COARSE | LX_POS | usr);
    return Seg(h, text) ? Words(h) : std::vector<std::string>{};
  };
  ASSERT_TRUE(Init(new_) && err_.empty()) << err_;
  EXPECT_EQ(coarse(), G({"上海", "天气", "很", "好"}));
  ASSERT_TRUE(new_.write_file("coarse_info", gbk("#org\n上海天气\n#org_suffix\n局\n#measure\n个\n")));
  ASSERT_TRUE(Init(new_) && err_.empty()) << err_;
  EXPECT_EQ(coarse(), G({"上海天气", "很", "好"}));
  EXPECT_EQ(coarse(LX_USR), G({"上海天气", "很", "好"}));
  for (const std::string& bad : {gbk("上海天气\n"), gbk("#org\n上海 天气\n"), gbk("#org\n上海天") + "\xc6",
                                "#org\n" + std::string(65, 'x') + "\n"}) {
    ASSERT_TRUE(new_.write_file("coarse_info", bad));
    EXPECT_FALSE(Init(new_));
    EXPECT_TRUE(std::count(err_.begin(), err_.end(), '\n') == 1 && err_.find(path) != std::string::npos) << err_;
  }
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  EXPECT_FALSE(Init(new_));
  EXPECT_NE(err_.find(path), std::string::npos) << err_;
  std::filesystem::remove(path);
}

}  // namespace
