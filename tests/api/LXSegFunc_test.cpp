// The exported functions: argument checks, the lifecycle of the library and
// of handles (initialising twice, unloading under live handles, long data
// paths), the shared switches and the POS tag strings.
#include "LXSegFunc.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <filesystem>
#include <string>

#include "base/PosTag.h"
#include "support/seg_handle.h"

using namespace lxtest;

namespace {

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
  void SetUp() override { ASSERT_TRUE(dir_.build(default_resource_plan())) << dir_.error(); }
  void TearDown() override { LXUnInitSeg(); }
  ResourceDir dir_;
};

// LXPosId2Str and pos_tag_id are inverse on every tagged id; ids without a
// tag read "unk"; the buffer is cut and terminated, never overrun.
TEST(PosTag, TagStringsRoundTrip) {
  auto tag_of = [](int id, int size) {
    std::string buf(size + 4, '\x7f');
    LXPosId2Str(id, &buf[0], size);
    EXPECT_EQ(buf.substr(size), std::string(4, '\x7f')) << id;
    return std::string(buf.c_str());
  };
  const std::pair<int, const char*> known[] = {
      {LX_A, "a"}, {LX_NRF, "nrf"}, {LX_AG, "Ag"}, {LX_EMAIL, "email"}, {LX_UNK, "unk"},
      {LX_SOS, "unk"}, {LX_EOS, "unk"}, {-1, "unk"}, {1 << 30, "unk"}};
  for (const auto& k : known) EXPECT_EQ(tag_of(k.first, 16), k.second) << k.first;
  int tagged = 0;
  for (int id = 0; id <= 60; ++id) {
    const std::string tag = tag_of(id, 16);
    tagged += tag != "unk";
    EXPECT_EQ(pos_tag_id(tag.c_str()), tag == "unk" ? 0 : id) << tag;
  }
  EXPECT_EQ(tagged, 51);  // 1..52 but for LX_SOS
  for (const char* bad : {"NR", "", "nrx", (const char*)nullptr}) EXPECT_EQ(pos_tag_id(bad), 0);
  EXPECT_EQ(tag_of(LX_EMAIL, 3) + tag_of(LX_NRF, 1) + tag_of(LX_A, 0), "em\x7f\x7f\x7f\x7f");
  LXPosId2Str(LX_A, nullptr, 16);
}

// A null handle is refused by every function; so are indexes out of range
// and lengths of 2^32 - 10002 bytes and more (before any byte is read; the
// previous result stays).  A handle made before LXInitSeg works after it.
TEST_F(LXSegFuncTest, NullHandlesIndexesAndLengthsOutOfRange) {
  HANDLE null = nullptr;
  const char* w = "abc";
  size_t len = 3;
  LXConvertWordCharsetToUTF8(null, w, len);
  LXSetOutMode(null, OUT_PHRASE);
  LXCloseSegHandle(null);
  LXChangeUserDict(nullptr);
  EXPECT_TRUE(!Seg(null, "abc") && AllInfo(null).fine_grain_tokens_num == 0 && len == 3 &&
              std::string(w) == "abc");
  EXPECT_TRUE(LXGetClsNum(null, 3) == 0 && *LXGetClsAt(null, 3, 1) == '\0' && !LXInitSeg(nullptr));
  Handle early(0);
  EXPECT_FALSE(Seg(early, gbk("中国人民")));
  ASSERT_TRUE(Init(dir_.path()));
  ASSERT_TRUE(Seg(early, gbk("中国人民")));
  Handle usr(LX_USR);
  ASSERT_TRUE(Seg(usr, gbk("我们喜欢北京烤鸭")));
  for (HANDLE h : {null, early.h, usr.h})
    for (OutMode m : {OUT_PHRASE, OUT_SUBPHRASE, OUT_WORD}) {
      LXSetOutMode(h, m);
      const int n = LXGetResultCnt(h);
      EXPECT_TRUE(n == 0 || LXGetWordAt(h, n - 1) != nullptr);
      for (int i : {-1, n, n + 1, 1 << 30, INT_MIN})
        EXPECT_FALSE(LXGetWordAt(h, i) || LXGetAt(h, i) || LXMSGetWordAt(h, i) || LXMSGetAt(h, i))
            << m << " " << i;
    }
  for (size_t n : {(size_t)1 << 32, (size_t)0xFFFFFFFFu, (size_t)0xFFFFD8EEu, SIZE_MAX})
    EXPECT_FALSE(LXSegment(early, "abc", n, LX_GBK)) << n;
  EXPECT_EQ(Words(early), G({"中国", "人民"}));
}

// LXInitSeg again and LXUnInitSeg under a live handle: the old resources are
// freed (the sanitizer build would report a leak or a use of freed memory
// otherwise), results already read stay readable, and the handle takes the
// current resources at its next call.  szDataDirPath keeps 255 characters;
// the resources and the custom dictionaries still come from the real
// directory.
TEST_F(LXSegFuncTest, ResourcesReplacedUnderALiveHandle) {
  ResourcePlan plan = default_resource_plan();
  plan.words.push_back(lex_word(gbk("中国人民"), 16));
  ResourceDir other, base;
  ASSERT_TRUE(other.build(plan)) << other.error();
  std::string deep;
  while (deep.size() < 300) deep += std::string(60, 'd') + "/";
  ASSERT_TRUE(base.write_file(deep + "x", ""));
  deep = base.path() + "/" + deep + "res";
  std::filesystem::copy(other.path(), deep, std::filesystem::copy_options::recursive);
  Handle h(LX_USR | LX_POS);
  const std::pair<std::string, std::vector<std::string> > runs[] = {
      {dir_.path() + "/", G({"中国", "人民", "北京烤鸭", "苹果手机"})},
      {deep, G({"中国人民", "北京烤鸭", "苹果手机"})}};
  for (const auto& r : runs) {
    ASSERT_TRUE(Init(r.first));
    EXPECT_EQ(std::string(szDataDirPath), r.first.substr(0, 255));
    ASSERT_TRUE(Seg(h, gbk("中国人民北京烤鸭苹果手机")));
    EXPECT_EQ(Words(h), r.second);
    EXPECT_STREQ(LXGetClsAt(h, LXGetAt(h, (int)r.second.size() - 1)->cls, 1), "brand");
  }
  LXUnInitSeg();
  EXPECT_EQ(Words(h), runs[1].second);
  EXPECT_FALSE(Seg(h, gbk("北京")));
  EXPECT_EQ(LXGetClsNum(h, 2), 0);
}

// LXSetPKUMode and a handle made with LX_ASC switch the shared factoid
// recognizer: full-width digits become one token in PKU mode, and "(abc)"
// one token in ASCII mode.  PKU mode lasts until LXUnInitSeg; ASCII mode as
// long as a handle made with LX_ASC lives.
TEST_F(LXSegFuncTest, SharedSwitches) {
  ASSERT_TRUE(Init(dir_.path()));
  Handle a(0);
  // Token counts of a and h for full-width digits and for "(abc)".
  auto counts = [&](HANDLE h) {
    std::string n;
    for (HANDLE x : {a.h, h})
      for (const std::string& t : {gbk("１２３"), std::string("(abc)")})
        n += std::to_string(Seg(x, t) ? LXGetResultCnt(x) : -1);
    return n;
  };
  EXPECT_EQ(counts(a), "3333");
  LXSetPKUMode(nullptr);
  Handle b(0);
  EXPECT_EQ(counts(b), "1313");
  ASSERT_TRUE(Init(dir_.path()));  // PKU mode survives a reload
  EXPECT_EQ(counts(b), "1313");
  LXUnInitSeg();
  ASSERT_TRUE(Init(dir_.path()));
  HANDLE asc = LXCreateSegHandle(LX_ASC);
  EXPECT_EQ(counts(b), "3131");
  ASSERT_TRUE(Init(dir_.path()));
  EXPECT_EQ(counts(asc), "3131");
  LXCloseSegHandle(asc);
  ASSERT_TRUE(Init(dir_.path()));
  EXPECT_EQ(counts(b), "3333");
}

}  // namespace
