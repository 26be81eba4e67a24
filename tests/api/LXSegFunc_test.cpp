// The exported functions: argument checks, the lifecycle of the library and
// of handles (initialising twice, unloading under live handles, replacing
// the user dictionary), the shared switches and the POS tag strings.
#include "LXSegFunc.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/resource_builder.h"

using lxtest::gbk;

namespace {

std::vector<std::string> Words(HANDLE h) {
  std::vector<std::string> out;
  for (int i = 0; i < LXGetResultCnt(h); ++i) {
    const char* w = LXGetWordAt(h, i);
    out.push_back(w ? w : "<null>");
  }
  return out;
}

std::vector<std::string> G(const std::vector<std::string>& utf8_words) {
  std::vector<std::string> out;
  for (const std::string& w : utf8_words) out.push_back(gbk(w));
  return out;
}

bool Seg(HANDLE h, const std::string& text) {
  return LXSegment(h, text.data(), text.size(), LX_GBK);
}

// Quietly initialises the library (the missing system custom dictionary is
// reported on stderr).
bool Init(const std::string& dir) {
  testing::internal::CaptureStderr();
  const bool ok = LXInitSeg(dir.c_str());
  testing::internal::GetCapturedStderr();
  return ok;
}

class LXSegFuncTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.build(lxtest::default_resource_plan())) << dir_.error();
  }
  void TearDown() override { LXUnInitSeg(); }
  lxtest::ResourceDir dir_;
};

// --- Tag strings --------------------------------------------------------------

TEST(LXPosId2Str, TagsAndUnknownIds) {
  const char* tags[] = {"unk", "a",  "ad", "an", "b",  "c",   "d",   "e",    "f",    "g",  "h",
                        "i",   "j",  "k",  "l",  "m",  "n",   "nr",  "nrf",  "nrg",  "ns", "nt",
                        "nz",  "nx", "o",  "p",  "q",  "r",   "s",   "t",    "u",    "v",  "vd",
                        "vn",  "w",  "x",  "y",  "z",  "Ag",  "Bg",  "Dg",   "Mg",   "Ng", "Qg",
                        "Rg",  "Tg", "Vg", "Yg", "Zg", "unk", "www", "tele", "email"};
  char buf[16];
  for (int id = 0; id <= 52; ++id) {
    std::memset(buf, 'x', sizeof(buf));
    LXPosId2Str(id, buf, sizeof(buf));
    EXPECT_STREQ(buf, tags[id]) << id;
    // The whole buffer is cleared first.
    for (size_t i = std::strlen(buf); i < sizeof(buf); ++i) EXPECT_EQ(buf[i], '\0') << id;
  }
  for (int id : {49, 53, 54, 55, 56, 255, 1000, -1, -100}) {
    LXPosId2Str(id, buf, sizeof(buf));
    EXPECT_STREQ(buf, "unk") << id;
  }
  // A short buffer gets a cut, terminated tag; null or empty buffers nothing.
  char small[3];
  LXPosId2Str(52, small, sizeof(small));
  EXPECT_STREQ(small, "em");
  LXPosId2Str(1, nullptr, 16);
  LXPosId2Str(1, buf, 0);
}

// --- Null and never-initialised handles ------------------------------------------

TEST(LXSegFuncNull, NullHandleIsRefusedEverywhere) {
  HANDLE h = nullptr;
  EXPECT_FALSE(LXSegment(h, "abc", 3, LX_GBK));
  EXPECT_EQ(LXGetResultCnt(h), 0);
  EXPECT_EQ(LXGetWordAt(h, 0), nullptr);
  EXPECT_EQ(LXGetAt(h, 0), nullptr);
  EXPECT_EQ(LXMSGetWordAt(h, 0), nullptr);
  EXPECT_EQ(LXMSGetAt(h, 0), nullptr);
  seg_tokens_t st;
  std::memset(&st, 0xAB, sizeof(st));
  LXGetAllSegInfo(h, st);
  EXPECT_EQ(st.fine_grain_seg_tokens, nullptr);
  EXPECT_EQ(st.fine_grain_tokens_num, 0u);
  EXPECT_EQ(st.thick_seg_tokens_num, 0u);
  EXPECT_EQ(st.custom_tokens_num, 0u);
  EXPECT_EQ(st.custom_phrases_num, 0u);
  LXSetOutMode(h, OUT_PHRASE);
  const char* w = "abc";
  size_t len = 3;
  LXConvertWordCharsetToUTF8(h, w, len);
  EXPECT_STREQ(w, "abc");
  LXCloseSegHandle(h);
  LXSetPKUMode(h);
  // Without a user dictionary the class functions answer nothing.
  EXPECT_EQ(LXGetClsNum(h, 3), 0);
  EXPECT_STREQ(LXGetClsAt(h, 3, 1), "");
  LXChangeUserDict(nullptr);
  EXPECT_FALSE(LXInitSeg(nullptr));
}

TEST_F(LXSegFuncTest, HandleCreatedBeforeInitialisation) {
  testing::internal::CaptureStderr();
  HANDLE h = LXCreateSegHandle(0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "error m_pBasicDict == NULL\n");
  ASSERT_NE(h, nullptr);
  EXPECT_FALSE(Seg(h, gbk("中国人民")));
  EXPECT_EQ(LXGetResultCnt(h), 0);
  EXPECT_EQ(LXGetWordAt(h, 0), nullptr);
  EXPECT_EQ(LXGetAt(h, 0), nullptr);
  seg_tokens_t st;
  std::memset(&st, 0, sizeof(st));
  LXGetAllSegInfo(h, st);
  EXPECT_EQ(st.fine_grain_tokens_num, 0u);
  // Once the library is initialised the handle works.
  ASSERT_TRUE(Init(dir_.path()));
  ASSERT_TRUE(Seg(h, gbk("中国人民")));
  EXPECT_EQ(Words(h), G({"中国", "人民"}));
  LXCloseSegHandle(h);
}

// --- Readers out of range; over-long texts -----------------------------------------

TEST_F(LXSegFuncTest, ReaderIndexOutsideTheCountIsNull) {
  ASSERT_TRUE(Init(dir_.path()));
  for (int mode : {0, (int)LX_USR}) {
    HANDLE h = LXCreateSegHandle(mode);
    ASSERT_TRUE(Seg(h, gbk("我们喜欢北京烤鸭")));
    for (OutMode m : {OUT_WORD, OUT_PHRASE, OUT_SUBPHRASE}) {
      LXSetOutMode(h, m);
      const int n = LXGetResultCnt(h);
      for (int i : {-1, n, n + 1, 1 << 30, INT_MIN}) {
        EXPECT_EQ(LXGetWordAt(h, i), nullptr) << mode << " " << m << " " << i;
        EXPECT_EQ(LXGetAt(h, i), nullptr) << i;
        EXPECT_EQ(LXMSGetWordAt(h, i), nullptr) << i;
        EXPECT_EQ(LXMSGetAt(h, i), nullptr) << i;
      }
      if (n > 0) {
        EXPECT_NE(LXGetWordAt(h, n - 1), nullptr);
      }
    }
    LXCloseSegHandle(h);
  }
}

TEST_F(LXSegFuncTest, TextTooLongForThirtyTwoBitPositionsIsRejected) {
  ASSERT_TRUE(Init(dir_.path()));
  HANDLE h = LXCreateSegHandle(0);
  ASSERT_TRUE(Seg(h, gbk("中国人民")));
  // The length is checked before any byte is read.
  const char small[] = "abc";
  EXPECT_FALSE(LXSegment(h, small, (size_t)1 << 32, LX_GBK));
  EXPECT_FALSE(LXSegment(h, small, (size_t)0xFFFFFFFFu, LX_UTF8));
  EXPECT_FALSE(LXSegment(h, small, SIZE_MAX, LX_GBK));
  // The previous result is still there.
  EXPECT_EQ(Words(h), G({"中国", "人民"}));
  LXCloseSegHandle(h);
}

// --- Lifecycle ---------------------------------------------------------------------

TEST_F(LXSegFuncTest, DataDirectoryWithAndWithoutSlash) {
  ASSERT_TRUE(Init(dir_.path()));
  EXPECT_STREQ(szDataDirPath, dir_.path().c_str());
  HANDLE h = LXCreateSegHandle(LX_USR);
  ASSERT_TRUE(Seg(h, gbk("北京烤鸭")));
  EXPECT_EQ(Words(h), G({"北京烤鸭"}));
  LXCloseSegHandle(h);
  LXUnInitSeg();

  ASSERT_TRUE(Init(dir_.path() + "/"));
  EXPECT_EQ(std::string(szDataDirPath), dir_.path() + "/");
  h = LXCreateSegHandle(LX_USR);
  ASSERT_TRUE(Seg(h, gbk("北京烤鸭苹果手机")));
  EXPECT_EQ(Words(h), G({"北京烤鸭", "苹果手机"}));
  LXCloseSegHandle(h);
}

TEST_F(LXSegFuncTest, LongDataDirectoryIsUsedInFull) {
  // szDataDirPath keeps 255 characters; the resources, the user dictionary
  // and the system custom dictionary still come from the real directory.
  namespace fs = std::filesystem;
  std::string rel;
  while (rel.size() < 300) rel += std::string(60, 'd') + "/";
  lxtest::ResourceDir base;
  ASSERT_TRUE(base.write_file(rel + "x", ""));
  const std::string deep = base.path() + "/" + rel + "res";
  fs::copy(dir_.path(), deep, fs::copy_options::recursive);
  ASSERT_TRUE(Init(deep));
  EXPECT_EQ(std::strlen(szDataDirPath), 255u);
  EXPECT_EQ(std::string(szDataDirPath), deep.substr(0, 255));
  HANDLE h = LXCreateSegHandle(LX_USR);
  ASSERT_TRUE(Seg(h, gbk("苹果手机")));
  EXPECT_EQ(Words(h), G({"苹果手机"}));
  pWP wp = LXGetAt(h, 0);
  ASSERT_NE(wp, nullptr);
  EXPECT_STREQ(LXGetClsAt(h, wp->cls, 1), "brand");
  LXCloseSegHandle(h);
}

TEST_F(LXSegFuncTest, InitialisingTwiceReplacesTheResourcesUnderLiveHandles) {
  lxtest::ResourcePlan plan = lxtest::default_resource_plan();
  plan.words.push_back(lxtest::lex_word(gbk("中国人民"), 16));
  lxtest::ResourceDir other;
  ASSERT_TRUE(other.build(plan)) << other.error();

  ASSERT_TRUE(Init(dir_.path()));
  HANDLE h = LXCreateSegHandle(LX_USR | LX_POS);
  ASSERT_TRUE(Seg(h, gbk("中国人民")));
  EXPECT_EQ(Words(h), G({"中国", "人民"}));

  // The first set is freed (the sanitizer build would report a leak or a
  // use of freed memory otherwise); the live handle moves to the new one.
  ASSERT_TRUE(Init(other.path()));
  ASSERT_TRUE(Seg(h, gbk("中国人民")));
  EXPECT_EQ(Words(h), G({"中国人民"}));
  ASSERT_TRUE(Init(dir_.path()));
  ASSERT_TRUE(Seg(h, gbk("中国人民北京烤鸭")));
  EXPECT_EQ(Words(h), G({"中国", "人民", "北京烤鸭"}));
  LXCloseSegHandle(h);
}

TEST_F(LXSegFuncTest, UnloadingUnderALiveHandle) {
  ASSERT_TRUE(Init(dir_.path()));
  HANDLE h = LXCreateSegHandle(LX_USR);
  ASSERT_TRUE(Seg(h, gbk("中国人民")));
  LXUnInitSeg();
  // The results belong to the handle and stay readable; segmenting fails.
  EXPECT_EQ(Words(h), G({"中国", "人民"}));
  EXPECT_FALSE(Seg(h, gbk("北京")));
  EXPECT_EQ(LXGetClsNum(h, 2), 0);
  ASSERT_TRUE(Init(dir_.path()));
  ASSERT_TRUE(Seg(h, gbk("北京烤鸭")));
  EXPECT_EQ(Words(h), G({"北京烤鸭"}));
  LXCloseSegHandle(h);
}

TEST_F(LXSegFuncTest, ChangeUserDictMovesLiveHandlesToTheNewDictionary) {
  ASSERT_TRUE(Init(dir_.path()));
  HANDLE h = LXCreateSegHandle(LX_USR);
  ASSERT_TRUE(Seg(h, gbk("北京烤鸭和宫保鸡丁")));
  EXPECT_EQ(Words(h), G({"北京烤鸭", "和", "宫保鸡丁"}));
  ASSERT_TRUE(LXGetAt(h, 0)->bcw);

  // A new user dictionary: only 宫保鸡丁, in the class "dish".
  ASSERT_TRUE(dir_.write_file("Other/CustomWord/dish/list.txt", gbk("宫保鸡丁,n\n")));
  testing::internal::CaptureStderr();
  LXChangeUserDict(dir_.file("Other/CustomWord").c_str());
  testing::internal::GetCapturedStderr();
  ASSERT_TRUE(Seg(h, gbk("北京烤鸭和宫保鸡丁")));
  std::vector<std::string> w = Words(h);
  ASSERT_FALSE(w.empty());
  EXPECT_EQ(w.back(), gbk("宫保鸡丁"));
  EXPECT_NE(w.front(), gbk("北京烤鸭"));
  pWP wp = LXGetAt(h, LXGetResultCnt(h) - 1);
  ASSERT_NE(wp, nullptr);
  EXPECT_TRUE(wp->bcw);
  EXPECT_STREQ(LXGetClsAt(h, wp->cls, 1), "dish");
  // A path that does not exist leaves an empty user dictionary.
  testing::internal::CaptureStderr();
  LXChangeUserDict(dir_.file("Nowhere/CustomWord").c_str());
  testing::internal::GetCapturedStderr();
  ASSERT_TRUE(Seg(h, gbk("宫保鸡丁")));
  EXPECT_FALSE(LXGetAt(h, 0)->bcw);
  LXCloseSegHandle(h);
}

// --- Shared switches ---------------------------------------------------------------

TEST_F(LXSegFuncTest, PkuModeHoldsForEveryHandleUntilReinitialised) {
  ASSERT_TRUE(Init(dir_.path()));
  HANDLE a = LXCreateSegHandle(0);
  const std::string digits = gbk("１２３");
  ASSERT_TRUE(Seg(a, digits));
  EXPECT_EQ(LXGetResultCnt(a), 3);
  LXSetPKUMode(nullptr);
  HANDLE b = LXCreateSegHandle(0);
  ASSERT_TRUE(Seg(a, digits));
  EXPECT_EQ(LXGetResultCnt(a), 1);
  ASSERT_TRUE(Seg(b, digits));
  EXPECT_EQ(LXGetResultCnt(b), 1);
  LXUnInitSeg();
  ASSERT_TRUE(Init(dir_.path()));
  ASSERT_TRUE(Seg(a, digits));
  EXPECT_EQ(LXGetResultCnt(a), 3);
  LXCloseSegHandle(a);
  LXCloseSegHandle(b);
}

TEST_F(LXSegFuncTest, AsciiModeHandleSwitchesTheSharedRecognizer) {
  ASSERT_TRUE(Init(dir_.path()));
  HANDLE plain = LXCreateSegHandle(0);
  ASSERT_TRUE(Seg(plain, "(abc)"));
  EXPECT_EQ(LXGetResultCnt(plain), 3);
  HANDLE asc = LXCreateSegHandle(LX_ASC);
  ASSERT_TRUE(Seg(plain, "(abc)"));
  EXPECT_EQ(LXGetResultCnt(plain), 1);
  // A reload keeps ASCII mode while a handle created with LX_ASC lives ...
  ASSERT_TRUE(Init(dir_.path()));
  ASSERT_TRUE(Seg(plain, "(abc)"));
  EXPECT_EQ(LXGetResultCnt(plain), 1);
  // ... and not after it is closed.
  LXCloseSegHandle(asc);
  ASSERT_TRUE(Init(dir_.path()));
  ASSERT_TRUE(Seg(plain, "(abc)"));
  EXPECT_EQ(LXGetResultCnt(plain), 3);
  LXCloseSegHandle(plain);
}

TEST_F(LXSegFuncTest, ClassFunctionsUseTheSharedUserDictionary) {
  ASSERT_TRUE(Init(dir_.path()));
  // Class ids: none 0, brand 1 (system), food 2, phrase 3, place 4 (user).
  EXPECT_STREQ(LXGetClsAt(nullptr, 1, 1), "brand");
  EXPECT_STREQ(LXGetClsAt(nullptr, 2, 0), "food");
  EXPECT_STREQ(LXGetClsAt(nullptr, 2 | (4 << 8), 0), "food|place");
  EXPECT_STREQ(LXGetClsAt(nullptr, 0, 0), "");
  EXPECT_EQ(LXGetClsNum(nullptr, 2), 1);
}

}  // namespace
