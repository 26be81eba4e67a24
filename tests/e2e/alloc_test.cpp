// Allocation behaviour of the exported functions.  This program replaces the
// global allocation functions so that it can
//  - count allocations: after a warm-up, segmenting the same kind of texts
//    again (and reading the results) must not allocate at all;
//  - make `operator new` fail on the n-th call: no exception may leave an
//    exported function, whatever allocation fails.
// The C allocator is counted too (through glibc's internal entry points),
// except in sanitizer builds, where the sanitizer owns malloc.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "LXSegFunc.h"
#include "support/resource_builder.h"

namespace {

bool g_counting = false;
long g_new_calls = 0;
long g_malloc_calls = 0;
// Countdown to an injected failure of the throwing operator new (-1: off).
long g_fail_countdown = -1;
bool g_failed = false;

void* counted_new(std::size_t n, bool may_throw) {
  if (g_counting) ++g_new_calls;
  if (may_throw && g_fail_countdown >= 0) {
    if (g_fail_countdown == 0) {
      g_fail_countdown = -1;
      g_failed = true;
      throw std::bad_alloc();
    }
    --g_fail_countdown;
  }
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr && may_throw) throw std::bad_alloc();
  return p;
}

}  // namespace

void* operator new(std::size_t n) { return counted_new(n, true); }
void* operator new[](std::size_t n) { return counted_new(n, true); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return counted_new(n, false); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  return counted_new(n, false);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

#if !defined(__SANITIZE_ADDRESS__)
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);

void* malloc(std::size_t n) {
  if (g_counting) ++g_malloc_calls;
  return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t m) {
  if (g_counting) ++g_malloc_calls;
  return __libc_calloc(n, m);
}
void* realloc(void* p, std::size_t n) {
  if (g_counting) ++g_malloc_calls;
  return __libc_realloc(p, n);
}
}
#endif

#if defined(__SANITIZE_ADDRESS__)
// Loaders that still lose what they hold when an allocation fails in the
// middle of loading (found by the failure injection below; each is a leak
// on that path only).  An entry goes once its loader cleans up there.  Full
// stacks are needed to match frames below the C library (opendir, getline).
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
  return "leak:CDir::_dopath\n"
         "leak:CCustomDict::_load_class_names\n"
         "leak:read_prop_file\n"
         "leak:CCustomDict::InitCDict\n"
         "leak:CNerResource::load_named_entity_resource\n"
         "leak:CRuleDict::_parse\n";
}
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
  return "fast_unwind_on_malloc=0";
}
#endif

namespace {

using lxtest::gbk;

// Texts of every kind: GBK and UTF-8, separators, a sentence cut for length,
// full-width ASCII, traditional characters, custom words, factoids.
std::vector<std::pair<std::string, size_t> > Workload() {
  std::vector<std::pair<std::string, size_t> > w;
  const std::string mixed =
      "我们喜欢北京大学，中國人民在上海。三万个人的三分之一！ABC abc123 www.abc.com "
      "ＡＢＣ１２３，白天鹅和服装，张三和李四，研究生命的起源北京烤鸭苹果手机";
  w.push_back({gbk(mixed), LX_GBK});
  w.push_back({mixed, LX_UTF8});
  std::string longer;
  while (longer.size() < 9000) longer += gbk("我们喜欢北京大学中国人民研究生命的起源ＡＢ");
  w.push_back({longer, LX_GBK});
  w.push_back({lxtest::utf8(longer), LX_UTF8});
  w.push_back({std::string("\xff\x80\x00\xa3", 4) + gbk("，。"), LX_GBK});
  w.push_back({"", LX_GBK});
  return w;
}

void ReadEverything(HANDLE h, long& sink) {
  seg_tokens_t st;
  std::memset(&st, 0, sizeof(st));
  LXGetAllSegInfo(h, st);
  sink += (long)st.fine_grain_tokens_num;
  for (OutMode m : {OUT_WORD, OUT_PHRASE, OUT_SUBPHRASE}) {
    LXSetOutMode(h, m);
    const int n = LXGetResultCnt(h);
    for (int i = 0; i < n; ++i) {
      const char* w = LXGetWordAt(h, i);
      pWP wp = LXGetAt(h, i);
      p_ms_word_t mw = LXMSGetWordAt(h, i);
      p_ms_wp_t mwp = LXMSGetAt(h, i);
      sink += (w != nullptr) + (wp != nullptr) + (mw != nullptr) + (mwp != nullptr);
    }
  }
  LXSetOutMode(h, OUT_WORD);
}

class AllocTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.build(lxtest::default_resource_spec())) << dir_.error();
    testing::internal::CaptureStderr();
    const bool ok = LXInitSeg(dir_.path().c_str());
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(ok);
  }
  void TearDown() override { LXUnInitSeg(); }
  lxtest::ResourceDir dir_;
};

TEST_F(AllocTest, SteadyStateSegmentationAllocatesNothing) {
  const int modes[] = {0,
                       LX_POS | LX_USR | LX_CN | LX_LN,
                       LX_S2D | LX_U2L | LX_T2S,
                       LX_NEW_RES | LX_SGU | LX_GU | LX_ENGU | LX_USR,
                       LX_WMUL | LX_PMUL | LX_SECPOS,
                       LX_ENGU | LX_GU | LX_POS | LX_USR | LX_CLS | LX_CN | LX_T2S};
  const std::vector<std::pair<std::string, size_t> > work = Workload();
  std::vector<HANDLE> handles;
  for (int m : modes) handles.push_back(LXCreateSegHandle(m));
  long sink = 0;
  // Warm-up: the result arrays, the string arena, the lattice's item store
  // and the conversion buffer reach their sizes.
  for (int round = 0; round < 3; ++round)
    for (HANDLE h : handles)
      for (const auto& t : work) {
        ASSERT_TRUE(LXSegment(h, t.first.data(), t.first.size(), t.second));
        ReadEverything(h, sink);
      }

  g_new_calls = g_malloc_calls = 0;
  g_counting = true;
  bool all_ok = true;
  for (int round = 0; round < 50; ++round)
    for (HANDLE h : handles)
      for (const auto& t : work) {
        all_ok = LXSegment(h, t.first.data(), t.first.size(), t.second) && all_ok;
        ReadEverything(h, sink);
      }
  g_counting = false;

  EXPECT_TRUE(all_ok);
  EXPECT_GT(sink, 0);
  EXPECT_EQ(g_new_calls, 0);
  EXPECT_EQ(g_malloc_calls, 0);
  for (HANDLE h : handles) LXCloseSegHandle(h);
}

// Runs `call` with the n-th throwing allocation failing, for n = 0, 1, ...
// until a run completes without reaching the failure.  `call` returns
// whether it succeeded; an exception leaving it is a test failure.
std::vector<std::string> g_escapes;

template <class F>
long InjectFailures(const char* what, F call, long step) {
  long n = 0;
  for (;; n += step) {
    g_failed = false;
    g_fail_countdown = n;
    try {
      call();
    } catch (...) {
      g_fail_countdown = -1;
      g_escapes.push_back(std::string(what) + ": allocation " + std::to_string(n));
    }
    g_fail_countdown = -1;
    if (!g_failed) break;
  }
  return n;
}

TEST_F(AllocTest, NoExceptionLeavesTheLibraryWhenAllocationFails) {
  const std::string dir = dir_.path();
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  // Initialisation (every resource loader), handle creation and
  // segmentation each with one failing allocation.
  const long init_allocs = InjectFailures(
      "LXInitSeg",
      [&] {
        LXUnInitSeg();
        return LXInitSeg(dir.c_str());
      },
      1);
  LXUnInitSeg();
  const bool reinit = LXInitSeg(dir.c_str());
  std::vector<HANDLE> created;
  created.reserve(100000);  // the test's own bookkeeping must not allocate
  InjectFailures(
      "LXCreateSegHandle",
      [&] {
        HANDLE h = LXCreateSegHandle(LX_USR | LX_POS | LX_S2D);
        if (h) created.push_back(h);
        return h != nullptr;
      },
      1);
  for (HANDLE h : created) LXCloseSegHandle(h);
  const std::vector<std::pair<std::string, size_t> > work = Workload();
  InjectFailures(
      "LXSegment",
      [&] {
        HANDLE h = LXCreateSegHandle(LX_USR | LX_NEW_RES | LX_WMUL);
        bool ok = h != nullptr;
        for (const auto& t : work)
          ok = LXSegment(h, t.first.data(), t.first.size(), t.second) && ok;
        LXCloseSegHandle(h);
        return ok;
      },
      1);
  testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(reinit);
  EXPECT_GT(init_allocs, 100);
  EXPECT_TRUE(g_escapes.empty()) << g_escapes.size() << " escapes, first: " << g_escapes[0];
}

}  // namespace
