// Allocation behaviour of the exported functions and the resource loaders.
// This program replaces the global allocation functions so that it can
//  - count allocations: after a warm-up, segmenting the same kind of texts
//    again (and reading the results) must not allocate at all;
//  - make `operator new` (throwing or not) fail on the n-th call: no
//    exception may leave an exported function, whatever allocation fails, a
//    loader that an allocation failure interrupts leaves its object sound,
//    and a segmentation it interrupts leaves the handle as good as new;
//    nothing is lost (in sanitizer builds LeakSanitizer checks it at exit);
//  - make `realloc`, or any of malloc, calloc and posix_memalign, fail on
//    the n-th call.
// The C allocator is counted (and made to fail) through glibc's internal
// entry points, except in sanitizer builds, where the sanitizer owns malloc.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "LXSegFunc.h"
#include "dict/CustomDict.h"
#include "dict/Dir.h"
#include "support/seg_handle.h"

namespace {

bool g_counting = false, g_failed = false;
long g_new_calls = 0, g_malloc_calls = 0;
// Countdowns to an injected failure of the throwing operator new and of
// realloc (-1: off).
long g_fail_countdown = -1;
#if !defined(__SANITIZE_ADDRESS__)
long g_realloc_fail_countdown = -1;
// The same for the C allocator's malloc, calloc and posix_memalign, which
// hold the dictionary's and the models' large tables.
long g_malloc_fail_countdown = -1;
#endif

// True when the countdown `c` runs out now.
bool Expires(long& c) { return c >= 0 && c-- == 0 && (g_failed = true); }

void* counted_new(std::size_t n, bool may_throw) {
  if (g_counting) ++g_new_calls;
  if (Expires(g_fail_countdown)) {
    if (may_throw) throw std::bad_alloc();
    return nullptr;
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
void* __libc_memalign(std::size_t, std::size_t);

void* malloc(std::size_t n) {
  g_malloc_calls += g_counting;
  if (!Expires(g_malloc_fail_countdown)) return __libc_malloc(n);
  errno = ENOMEM;
  return nullptr;
}
void* calloc(size_t n, size_t m) {
  g_malloc_calls += g_counting;
  if (!Expires(g_malloc_fail_countdown)) return __libc_calloc(n, m);
  errno = ENOMEM;
  return nullptr;
}
int posix_memalign(void** p, std::size_t align, std::size_t n) {
  g_malloc_calls += g_counting;
  if (Expires(g_malloc_fail_countdown)) return ENOMEM;
  *p = __libc_memalign(align, n);
  return *p != nullptr ? 0 : ENOMEM;
}
void* realloc(void* p, std::size_t n) {
  g_malloc_calls += g_counting;
  if (!Expires(g_realloc_fail_countdown)) return __libc_realloc(p, n);
  errno = ENOMEM;
  return nullptr;
}
}
#endif

namespace {

using namespace lxtest;

// Texts of every kind: GBK and UTF-8, separators, a sentence cut for length,
// full-width ASCII, traditional characters, custom words, factoids, bad bytes.
std::vector<std::pair<std::string, size_t> > Workload() {
  const std::string mixed =
      "我们喜欢北京大学，中國人民在上海。三万个人的三分之一！ABC abc123 www.abc.com "
      "ＡＢＣ１２３，白天鹅和服装，张三和李四，研究生命的起源北京烤鸭苹果手机";
  std::string longer;
  while (longer.size() < 9000) longer += gbk("我们喜欢北京大学中国人民研究生命的起源ＡＢ");
  return {{gbk(mixed), LX_GBK}, {mixed, LX_UTF8}, {longer, LX_GBK}, {lxtest::utf8(longer), LX_UTF8},
          {std::string("\xff\x80\x00\xa3", 4) + gbk("，。"), LX_GBK}, {"", LX_GBK}};
}

// Segments every text of `work` with `h` and reads every result list.
bool SegmentAndRead(HANDLE h, const std::vector<std::pair<std::string, size_t> >& work,
                    long& sink) {
  bool ok = h != nullptr;
  for (const auto& t : work) {
    ok = LXSegment(h, t.first.data(), t.first.size(), t.second) && ok;
    sink += (long)lxtest::AllInfo(h).fine_grain_tokens_num;
    for (OutMode m : {OUT_WORD, OUT_PHRASE, OUT_SUBPHRASE}) {
      LXSetOutMode(h, m);
      for (int i = 0, n = LXGetResultCnt(h); i < n; ++i)
        sink += (LXGetWordAt(h, i) != nullptr) + (LXGetAt(h, i) != nullptr) +
                (LXMSGetWordAt(h, i) != nullptr) + (LXMSGetAt(h, i) != nullptr);
    }
    LXSetOutMode(h, OUT_WORD);
  }
  return ok;
}

// Everything a caller can read of the last result: the record lists of the
// three out modes (word, tag, span) and the thick tokens.
std::string Digest(HANDLE h) {
  const seg_tokens_t st = lxtest::AllInfo(h);
  std::string d = std::to_string(st.fine_grain_tokens_num) + " " +
                  std::to_string(st.custom_tokens_num) + " " + std::to_string(st.custom_phrases_num);
  for (size_t i = 0; i < st.thick_seg_tokens_num; ++i)
    d += std::string(" T:") + st.thick_seg_tokens[i].word;
  for (OutMode m : {OUT_WORD, OUT_PHRASE, OUT_SUBPHRASE}) {
    LXSetOutMode(h, m);
    for (int i = 0, n = LXGetResultCnt(h); i < n; ++i) {
      const WP* wp = LXGetAt(h, i);
      size_t b = 0, l = 0;
      LXGetSpanAt(h, i, &b, &l);
      d += " " + std::string(wp && wp->word ? wp->word : "<null>") + "/" +
           std::to_string(wp ? wp->pos : -1) + "@" + std::to_string(b) + "+" + std::to_string(l);
    }
  }
  LXSetOutMode(h, OUT_WORD);
  return d;
}

// Runs `load` with the n-th allocation (or realloc, if `countdown`
// says so) failing, for n = 0, 1, ... until a run completes without reaching
// the failure.  After each run `check(threw, ok)` is called: whether the
// failure left `load` as an exception, and what `load` returned otherwise.
// Returns the number of runs in which an allocation failed.
template <class Load, class Check>
long ForEachFailingAllocation(Load load, Check check, long& countdown = g_fail_countdown) {
  for (long n = 0;; ++n) {
    g_failed = false;
    countdown = n;
    bool threw = false, ok = false;
    try {
      ok = load();
    } catch (...) {
      threw = true;
    }
    countdown = -1;
    check(threw, ok);
    if (!g_failed) return n;
  }
}

class AllocTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.build(default_resource_plan())) << dir_.error(); }
  void TearDown() override { LXUnInitSeg(); }
  // Runs `f` with the library's messages on stdout and stderr swallowed.
  template <class F>
  static void Quietly(F f) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    f();
    testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
  }
  lxtest::ResourceDir dir_;
};

TEST_F(AllocTest, SteadyStateSegmentationAllocatesNothing) {
  bool init = false;
  Quietly([&] { init = LXInitSeg(dir_.path().c_str()); });
  ASSERT_TRUE(init);
  const int modes[] = {0, LX_WMUL | LX_PMUL | LX_SECPOS, LX_POS | LX_USR | LX_CN | LX_LN,
                       LX_S2D | LX_U2L | LX_T2S, LX_NEW_RES | LX_SGU | LX_GU | LX_ENGU | LX_USR,
                       LX_ENGU | LX_GU | LX_POS | LX_USR | LX_CLS | LX_CN | LX_T2S,
                       LX_COARSE | LX_CN | LX_PGU | LX_NEW_RES | LX_USR | LX_ORIG};
  const std::vector<std::pair<std::string, size_t> > work = Workload();
  std::vector<HANDLE> handles;
  for (int m : modes) handles.push_back(LXCreateSegHandle(m));
  long sink = 0;
  // Warm-up: the result arrays, the string arena, the lattice's item store
  // and the conversion buffer reach their sizes.
  for (int round = 0; round < 3; ++round)
    for (HANDLE h : handles) ASSERT_TRUE(SegmentAndRead(h, work, sink));
  g_new_calls = g_malloc_calls = 0;
  g_counting = true;
  bool all_ok = true;
  for (int round = 0; round < 50; ++round)
    for (HANDLE h : handles) all_ok = SegmentAndRead(h, work, sink) && all_ok;
  g_counting = false;
  EXPECT_TRUE(all_ok && sink > 0);
  EXPECT_EQ(g_new_calls + g_malloc_calls, 0) << g_new_calls << " news";
  for (HANDLE h : handles) LXCloseSegHandle(h);
}

// No exception leaves an exported function whatever allocation fails:
// initialisation (every resource loader), handle creation, segmentation.
TEST_F(AllocTest, NoExceptionLeavesTheLibraryWhenAllocationFails) {
  const std::string dir = dir_.path();
  const std::vector<std::pair<std::string, size_t> > work = Workload();
  std::vector<HANDLE> created;
  created.reserve(100000);  // the test's own bookkeeping must not allocate
  long sink = 0;
  auto no_escape = [](bool threw, bool) { EXPECT_FALSE(threw); };
  Quietly([&] {
    EXPECT_GT(ForEachFailingAllocation([&] { LXUnInitSeg(); return LXInitSeg(dir.c_str()); },
                                       no_escape), 100);
    EXPECT_TRUE(LXInitSeg(dir.c_str()));
    ForEachFailingAllocation([&] {
      HANDLE h = LXCreateSegHandle(LX_USR | LX_POS | LX_S2D);
      if (h) created.push_back(h);
      return h != nullptr;
    }, no_escape);
    for (HANDLE h : created) LXCloseSegHandle(h);
    ForEachFailingAllocation([&] {
      HANDLE h = LXCreateSegHandle(LX_USR | LX_NEW_RES | LX_WMUL);
      const bool ok = SegmentAndRead(h, work, sink);
      LXCloseSegHandle(h);
      return ok;
    }, no_escape);
  });
}

// Whatever allocation of a cold call fails (on a fresh handle, so that every
// array, the arena, the lattice and the conversion buffers grow), LXSegment
// returns false or the normal result, and the next call gives exactly the
// normal result.
TEST_F(AllocTest, SegmentationRecoversFromAnyFailedAllocation) {
  bool init = false;
  Quietly([&] { init = LXInitSeg(dir_.path().c_str()); });
  ASSERT_TRUE(init);
  const int mode = LX_USR | LX_NEW_RES | LX_POS | LX_WMUL | LX_PMUL;
  long failures = 0;
  std::vector<std::pair<std::string, size_t> > work = Workload();
  // A text whose words overflow the first block of the string arena.
  work.emplace_back(work[2].first + work[2].first + work[2].first, LX_GBK);
  for (const auto& t : work) {
    std::string normal;
    {
      Handle h(mode);
      ASSERT_TRUE(Seg(h, t.first, t.second));
      normal = Digest(h);
    }
    for (long n = 0;; ++n) {
      Handle h(mode);
      bool ok = false;
      Quietly([&] {
        g_failed = false;
        g_fail_countdown = n;
        ok = Seg(h, t.first, t.second);
        g_fail_countdown = -1;
      });
      if (ok) {
        EXPECT_EQ(Digest(h), normal) << "allocation " << n;
      }
      EXPECT_TRUE(Seg(h, t.first, t.second)) << "allocation " << n;
      EXPECT_EQ(Digest(h), normal) << "allocation " << n;
      if (!g_failed) break;
      ++failures;
    }
  }
  EXPECT_GT(failures, 100);
}

// The double array's values index the records unchecked: a dictionary that
// failed to load holds neither, one that loaded holds both.
TEST_F(AllocTest, DictionariesAreWholeOrAbsent) {
  const std::string lex = dir_.file("Sec.Lex"), prop = dir_.file("Sec.Prop");
  CCustomDict sec;
  EXPECT_GT(ForEachFailingAllocation([&] { return sec.LoadDict(lex.c_str(), prop.c_str()) == 1; },
      [&](bool threw, bool ok) {
        EXPECT_EQ((sec.m_cd.size() > 0) + (sec.m_attr != nullptr) + (sec.m_attrNum > 0),
                  ok && !threw ? 3 : 0);
      }), 0);
  // The user dictionary, loaded and then reloaded over a complete one.
  const std::string custom = dir_.file("CustomWord"), data = dir_.path();
  CCustomDict d;
  int loaded = 0;
  Quietly([&] {
    for (int pass = 0; pass < 2; ++pass)
      EXPECT_GT(ForEachFailingAllocation([&] { return d.InitCDict(custom.c_str(), data.c_str()); },
          [&](bool threw, bool ok) {
            // The path buffer exists only while a traversal runs.
            EXPECT_EQ(d.dir.fullpath, nullptr);
            EXPECT_TRUE(d.m_cd.size() == 0 || d.m_attrusr != nullptr);
            if (!ok || threw) return;
            ++loaded;
            EXPECT_TRUE(d.m_customNum > 0 && d.dir.m_idx > 0);
            EXPECT_EQ(d.m_attrNum, (size_t)d.m_customNum);
          }), 0);
  });
  EXPECT_GE(loaded, 2);
}

// Whatever call of the C allocator fails while the resources load (the
// dictionary's records and trie and the models' tables come from it, and so
// does every operator new here), start-up fails cleanly or succeeds, and a
// start-up after it succeeds.
TEST_F(AllocTest, StartUpSurvivesAFailingCAllocator) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer owns malloc";
#else
  const std::string dir = dir_.path();
  long loads = 0;
  Quietly([&] {
    EXPECT_GT(ForEachFailingAllocation([&] { LXUnInitSeg(); return LXInitSeg(dir.c_str()); },
                                       [&](bool threw, bool ok) {
                                         EXPECT_FALSE(threw);
                                         loads += ok;
                                       },
                                       g_malloc_fail_countdown),
              100);
    LXUnInitSeg();
    EXPECT_TRUE(LXInitSeg(dir.c_str()));
  });
  EXPECT_GE(loads, 1);
#endif
}

// A failed growth of the file list drops the file being added, and nothing
// else; the list stays sorted by class.
TEST_F(AllocTest, FileListSurvivesAFailingGrowthOfItsArrays) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer owns realloc";
#else
  for (const char* f : {"a.txt", "food/b.txt", "food/c.txt", "place/d.txt"})
    ASSERT_TRUE(dir_.write_file(std::string("T/CustomWord/") + f, "w\n"));
  const std::string root = dir_.file("T/CustomWord");
  std::unique_ptr<CDir> d;
  EXPECT_GT(ForEachFailingAllocation([&] {
    d.reset(new CDir);
    d->ReadClsDictDir(root.c_str());
    return true;
  }, [&](bool, bool) {
    EXPECT_EQ(d->m_idx, g_failed ? 3 : 4);
    for (int i = 0; i < d->m_idx; ++i) {
      ASSERT_TRUE(d->m_files[i] != nullptr && d->m_words_class[i] != nullptr);
      EXPECT_TRUE(i == 0 || std::strcmp(d->m_words_class[i - 1], d->m_words_class[i]) <= 0);
    }
  }, g_realloc_fail_countdown), 0);
#endif
}

}  // namespace
