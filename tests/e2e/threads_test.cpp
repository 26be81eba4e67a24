// Handles on separate threads segment GBK and UTF-8 text in several modes,
// creating and closing handles, while another thread replaces the user
// dictionary and the resource set and reads class names: every result equals the one of a single
// thread.  scripts/test-tsan.sh runs it under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/seg_handle.h"

using namespace lxtest;

namespace {

constexpr int kThreads = 4, kRounds = 20;
const int kModes[kThreads] = {LX_USR | LX_POS, LX_USR | LX_CN | LX_LN | LX_POS,
                              LX_S2D | LX_T2S | LX_USR | LX_NEW_RES, LX_PMUL | LX_SGU | LX_ORIG | LX_USR};
const char* const kTexts[] = {"我们喜欢北京烤鸭，张三和李四在上海。", "苹果手机，２００８年三万个人研究生命的起源",
                              "乾燥的學生 email abc 中国人民", "今天天气很好😀白天鹅和服装"};

// Each word as "word/pos", a custom word with its class names.
std::string Out(HANDLE h, const std::string& text, size_t charset) {
  if (!LXSegment(h, text.data(), text.size(), charset)) return "<fail>";
  std::string out;
  for (int i = 0; i < LXGetResultCnt(h); ++i) {
    const WP* p = LXGetAt(h, i);
    out += std::string(p->word) + "/" + std::to_string(p->pos);
    if (p->bcw) out += std::string("*") + LXGetClsAt(h, p->cls, 0);
    out += " ";
  }
  return out;
}

// Every text, in GBK and in UTF-8.
std::string All(HANDLE h) {
  std::string out;
  for (const char* t : kTexts) out += Out(h, gbk(t), LX_GBK) + "\n" + Out(h, t, LX_UTF8) + "\n";
  return out;
}

TEST(ThreadsTest, HandlesOnThreadsMatchOneThreadWhileTheUserDictionaryChanges) {
  ResourceDir dir;
  ASSERT_TRUE(dir.build(default_resource_plan())) << dir.error();
  testing::internal::CaptureStderr();
  ASSERT_TRUE(LXInitSeg(dir.path().c_str()));
  std::string want[kThreads];
  for (int t = 0; t < kThreads; ++t) {
    Handle h(kModes[t]);
    want[t] = All(h);
    EXPECT_TRUE(want[t].find("<fail>") == std::string::npos && want[t].find("*food") != std::string::npos);
  }
  const std::string user = dir.file("CustomWord");
  std::atomic<int> running{kThreads}, changes{0}, bad_names{0};
  int mismatches[kThreads] = {};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        Handle h(kModes[t]);
        for (int k = 0; k < 3; ++k) mismatches[t] += All(h) != want[t];
      }
      --running;
    });
  threads.emplace_back([&] {
    while (running > 0 || changes < 3) {
      LXChangeUserDict(user.c_str());
      if (++changes % 4 == 0) bad_names += !LXInitSeg(dir.path().c_str());  // a whole new set too
      bad_names += std::string(LXGetClsAt(nullptr, 0x0402, 0)) != "food|place" || LXGetClsNum(nullptr, 2) != 1;
    }
  });
  for (auto& th : threads) th.join();
  testing::internal::GetCapturedStderr();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "mode " << std::hex << kModes[t];
  EXPECT_EQ(bad_names, 0);
  EXPECT_GE(changes, 3);
  LXUnInitSeg();
}

}  // namespace
