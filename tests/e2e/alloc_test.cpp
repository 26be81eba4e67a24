// Allocation behaviour of the exported functions and the resource loaders.
// This program replaces the global allocation functions so that it can
//  - count allocations: after a warm-up, segmenting the same kind of texts
//    again (and reading the results) must not allocate at all;
//  - make `operator new` fail on the n-th call: no exception may leave an
//    exported function, whatever allocation fails, and a loader that an
//    allocation failure interrupts leaves its object sound and loses nothing
//    (in sanitizer builds LeakSanitizer checks the latter at exit);
//  - make `realloc` fail on the n-th call.
// The C allocator is counted (and realloc made to fail) through glibc's
// internal entry points, except in sanitizer builds, where the sanitizer owns
// malloc.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "LXSegFunc.h"
#include "dict/CustomDict.h"
#include "dict/Dir.h"
#include "dict/NerResource.h"
#include "dict/RuleDict.h"
#include "support/resource_builder.h"
#include "support/temp_dir.h"

namespace {

bool g_counting = false;
long g_new_calls = 0;
long g_malloc_calls = 0;
// Countdown to an injected failure of the throwing operator new (-1: off).
long g_fail_countdown = -1;
#if !defined(__SANITIZE_ADDRESS__)
// Countdown to an injected failure of realloc (-1: off).
long g_realloc_fail_countdown = -1;
#endif
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
  if (g_realloc_fail_countdown >= 0) {
    if (g_realloc_fail_countdown == 0) {
      g_realloc_fail_countdown = -1;
      g_failed = true;
      errno = ENOMEM;
      return nullptr;
    }
    --g_realloc_fail_countdown;
  }
  return __libc_realloc(p, n);
}
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
    ASSERT_TRUE(dir_.build(lxtest::default_resource_plan())) << dir_.error();
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

// Runs `load` with the n-th throwing allocation failing, for n = 0, 1, ...
// until a run completes without reaching the failure.  After each run (with
// injection off again) `check(threw, ok)` is called: whether the failure
// left `load` as an exception, and what `load` returned otherwise.  Returns
// the number of runs in which an allocation failed.
template <class Load, class Check>
long ForEachFailingAllocation(Load load, Check check) {
  long failures = 0;
  for (long n = 0;; ++n) {
    g_failed = false;
    g_fail_countdown = n;
    bool threw = false;
    bool ok = false;
    try {
      ok = load();
    } catch (const std::exception&) {
      threw = true;
    }
    g_fail_countdown = -1;
    check(threw, ok);
    if (!g_failed) break;
    ++failures;
  }
  return failures;
}

class LoaderFailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.build(lxtest::default_resource_plan())) << dir_.error();
  }
  lxtest::ResourceDir dir_;
};

TEST_F(LoaderFailureTest, SecondaryLexiconIsWholeOrAbsent) {
  const std::string lex = dir_.file("Sec.Lex"), prop = dir_.file("Sec.Prop");
  CCustomDict d;
  const long failures = ForEachFailingAllocation(
      [&] { return d.LoadDict(lex.c_str(), prop.c_str()) == 1; },
      [&](bool threw, bool ok) {
        if (ok && !threw) {
          EXPECT_GT(d.m_cd.size(), 0u);
          EXPECT_NE(d.m_attr, nullptr);
          EXPECT_GT(d.m_attrNum, 0u);
        } else {
          // The double array's values index m_attr unchecked: it must not
          // stay without its records.
          EXPECT_EQ(d.m_cd.size(), 0u);
          EXPECT_EQ(d.m_attr, nullptr);
          EXPECT_EQ(d.m_attrNum, 0u);
        }
      });
  EXPECT_GT(failures, 0);
}

TEST_F(LoaderFailureTest, UserDictionaryIndexesOnlyRecordsItHolds) {
  const std::string custom = dir_.file("CustomWord");
  const std::string data = dir_.path();
  CCustomDict d;
  bool loaded_once = false;
  // Failures are reported on standard output and standard error.
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const long failures = ForEachFailingAllocation(
      [&] { return d.InitCDict(custom.c_str(), data.c_str()); },
      [&](bool threw, bool ok) {
        // The path buffer exists only while a traversal runs.
        EXPECT_EQ(d.dir.fullpath, nullptr);
        EXPECT_TRUE(d.m_cd.size() == 0 || d.m_attrusr != nullptr);
        if (ok && !threw) {
          loaded_once = true;
          EXPECT_GT(d.m_customNum, 0);
          EXPECT_EQ(d.m_attrNum, (size_t)d.m_customNum);
          EXPECT_GT(d.dir.m_idx, 0);
        }
      });
  EXPECT_GT(failures, 0);
  EXPECT_TRUE(loaded_once);
  // Reloading over a complete dictionary, failing part-way.
  ForEachFailingAllocation([&] { return d.InitCDict(custom.c_str(), data.c_str()); },
                           [&](bool, bool) {
                             EXPECT_EQ(d.dir.fullpath, nullptr);
                             EXPECT_TRUE(d.m_cd.size() == 0 || d.m_attrusr != nullptr);
                           });
  testing::internal::GetCapturedStderr();
  testing::internal::GetCapturedStdout();
}

TEST_F(LoaderFailureTest, NamedEntityListsAreReplacedWholeOrNotAtAll) {
  const std::string path = dir_.file("ner_info");
  HashDict* fuxing = nullptr;
  HashDict* no_amb = nullptr;
  HashDict* suffix = nullptr;
  ASSERT_EQ(CNerResource::load_named_entity_resource(path.c_str(), fuxing, no_amb, suffix), 1);
  const unsigned counts[3] = {fuxing->num_entries(), no_amb->num_entries(),
                              suffix->num_entries()};
  ASSERT_GT(counts[0] + counts[1] + counts[2], 0u);
  HashDict* before[3] = {nullptr, nullptr, nullptr};
  const long failures = ForEachFailingAllocation(
      [&] {
        before[0] = fuxing;
        before[1] = no_amb;
        before[2] = suffix;
        return CNerResource::load_named_entity_resource(path.c_str(), fuxing, no_amb, suffix) ==
               1;
      },
      [&](bool threw, bool ok) {
        // All three are replaced, or none.
        const bool replaced = !threw && ok;
        EXPECT_EQ(fuxing != before[0], replaced);
        EXPECT_EQ(no_amb != before[1], replaced);
        EXPECT_EQ(suffix != before[2], replaced);
        // Replaced or kept, the lists are the complete ones.
        EXPECT_EQ(fuxing->num_entries(), counts[0]);
        EXPECT_EQ(no_amb->num_entries(), counts[1]);
        EXPECT_EQ(suffix->num_entries(), counts[2]);
      });
  EXPECT_GT(failures, 0);
  CNerResource::free_dict(fuxing);
  CNerResource::free_dict(no_amb);
  CNerResource::free_dict(suffix);

  HashDict* numerals = nullptr;
  CNerResource::_load_hanzi_shuzi_dict(&numerals);
  ASSERT_NE(numerals, nullptr);
  EXPECT_GT(ForEachFailingAllocation(
                [&] {
                  CNerResource::_load_hanzi_shuzi_dict(&numerals);
                  return true;
                },
                [&](bool, bool) {
                  // The previous dictionary stays when the new one cannot be
                  // made; the pointer never dangles.
                  ASSERT_NE(numerals, nullptr);
                  EXPECT_EQ(numerals->num_entries(), 15u);
                  const int* yi = numerals->find("\xD2\xBB");  // GBK "一"
                  ASSERT_NE(yi, nullptr);
                  EXPECT_EQ(*yi, 0);
                }),
            0);
  CNerResource::free_dict(numerals);
}

// The segment lengths that `dict` holds for the rule string `key`, the
// string's own length first; empty if there is no such rule.
std::vector<int> RuleFor(const CRuleDict& dict, const char* key) {
  const int v = dict.m_ruledict.exactMatchSearch<int>(key, std::strlen(key));
  if (v < 0) return {};
  const int* seq = dict.rule_sequence(v);
  if (seq == nullptr) return {-1};  // a value that points at no rule
  std::vector<int> out;
  for (; *seq != 0; ++seq) out.push_back(*seq);
  return out;
}

TEST(LoaderFailure, AmbiguityRulesAreReplacedWholeOrNotAtAll) {
  lxtest::TempDir tmp("lx_alloc_rules_");
  ASSERT_TRUE(tmp.ok());
  ASSERT_TRUE(tmp.write("old", "abc,1,2\npq,1,1\n"));
  ASSERT_TRUE(tmp.write("new", "abcd,2,2\nxyz,1,2\nabc,2,1\n"));
  const std::string old_rules = tmp.file("old"), new_rules = tmp.file("new");
  const std::vector<int> old_abc = {3, 1, 2}, old_pq = {2, 1, 1};
  const std::vector<int> new_abcd = {4, 2, 2}, new_xyz = {3, 1, 2}, new_abc = {3, 2, 1};

  CRuleDict d;
  bool replaced_once = false;
  long n = 0;
  for (;; ++n) {
    ASSERT_TRUE(d.loadDict(old_rules.c_str()));
    g_failed = false;
    g_fail_countdown = n;
    const bool ok = d.loadDict(new_rules.c_str());  // never throws
    g_fail_countdown = -1;
    if (ok) {
      replaced_once = true;
      EXPECT_EQ(RuleFor(d, "abcd"), new_abcd);
      EXPECT_EQ(RuleFor(d, "xyz"), new_xyz);
      EXPECT_EQ(RuleFor(d, "abc"), new_abc);
      EXPECT_EQ(RuleFor(d, "pq"), std::vector<int>());
    } else {
      // The trie and the sequences it points into are still the old pair.
      EXPECT_EQ(RuleFor(d, "abc"), old_abc) << "failing allocation " << n;
      EXPECT_EQ(RuleFor(d, "pq"), old_pq) << "failing allocation " << n;
      EXPECT_EQ(RuleFor(d, "abcd"), std::vector<int>()) << "failing allocation " << n;
    }
    EXPECT_EQ(d.m_rules, nullptr);
    EXPECT_EQ(d.m_idx, 0u);
    if (!g_failed) break;
  }
  EXPECT_GT(n, 0);
  EXPECT_TRUE(replaced_once);
}

TEST(LoaderFailure, FileListSurvivesAFailingGrowthOfItsArrays) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer owns realloc";
#else
  lxtest::TempDir tree("lx_alloc_dir_");
  ASSERT_TRUE(tree.ok());
  for (const char* f : {"CustomWord/a.txt", "CustomWord/food/b.txt", "CustomWord/food/c.txt",
                        "CustomWord/place/d.txt"})
    ASSERT_TRUE(tree.write(f, "w\n"));
  const std::string root = tree.file("CustomWord");
  long n = 0;
  for (;; ++n) {
    CDir d;
    g_failed = false;
    g_realloc_fail_countdown = n;
    d.ReadClsDictDir(root.c_str());
    g_realloc_fail_countdown = -1;
    // A failed growth drops the file being added, and nothing else.
    EXPECT_EQ(d.m_idx, g_failed ? 3 : 4) << "failing realloc " << n;
    for (int i = 0; i < d.m_idx; ++i) {
      ASSERT_NE(d.m_files[i], nullptr);
      ASSERT_NE(d.m_words_class[i], nullptr);
      if (i > 0) {
        EXPECT_LE(std::strcmp(d.m_words_class[i - 1], d.m_words_class[i]), 0);
      }
    }
    if (!g_failed) break;
  }
  EXPECT_GT(n, 0);
#endif
}

}  // namespace
