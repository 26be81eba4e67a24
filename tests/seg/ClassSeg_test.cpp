// CSegment / CSegmentPN: loading the shared resources (the message naming
// each damaged file) and the back length of a cut sentence.
#include "seg/ClassSeg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "dict/DictResource.h"
#include "seg/ClassSegPN.h"
#include "support/resource_builder.h"

using lxtest::gbk;

namespace {

// Loads the shared set from `dir`; what goes to stderr lands in `err`.
bool Load(const lxtest::ResourceDir& dir, std::string* err = nullptr) {
  DictResource res(dir.path().c_str());
  testing::internal::CaptureStderr();
  const bool ok = CSegment::load_resource(res);
  const std::string e = testing::internal::GetCapturedStderr();
  if (err) *err = e;
  return ok;
}

class ClassSegTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.build(lxtest::default_resource_plan())) << dir_.error(); }
  void TearDown() override { CSegment::unload_resource(); }
  lxtest::ResourceDir dir_;
};

// Every file missing or replaced by a directory: tests/e2e/reload_test.cpp.
TEST_F(ClassSegTest, DamagedFilesFailTheLoadWithOneMessage) {
  // Damaged files, including a table too short to fill.
  const std::pair<const char*, std::string> damaged[] = {
      {"Ngram.Lex", "not a model\n"}, {"Ngram_PN.Lex", ""},
      {"POSTT.Lex", std::string(100, '\0')}, {"Core.Lex", std::string(12, '\x7f')}};
  for (const auto& c : damaged) {
    lxtest::ResourceDir dir;
    ASSERT_TRUE(dir.build(lxtest::default_resource_plan())) << dir.error();
    ASSERT_TRUE(dir.write_file(c.first, c.second));
    std::string err;
    EXPECT_FALSE(Load(dir, &err)) << c.first;
    EXPECT_TRUE(err.rfind(dir.file(c.first) + ": ", 0) == 0 && std::count(err.begin(), err.end(), '\n') == 1)
        << c.first << ": " << err;
    CSegment::unload_resource();
  }
  // Missing traditional-to-simplified tables do not fail the load.
  for (const char* f : {"t2s", "t2s.word", "t2s.disable"}) ASSERT_EQ(std::remove(dir_.file(f).c_str()), 0);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(Load(dir_));
  testing::internal::GetCapturedStdout();
}

// The back length of a sentence cut for length is the original bytes of the
// two withdrawn tokens.
TEST_F(ClassSegTest, BackLengthIsCountedInOriginalBytes) {
  ASSERT_TRUE(Load(dir_));
  const struct {
    int mode;
    std::string sentence;
    size_t back;  // 0: nothing withdrawn
  } cases[] = {
      {0, gbk("的的卡拉ok中国"), 6}, {LX_S2D, gbk("的的卡拉ok中国"), 6},
      {LX_S2D, gbk("的的ＡＢ中国"), 8},  // AB: 2 bytes in the tokens, 4 in the text
      {0, gbk("的的ＡＢ中国"), 6},
      // After 0x80 the lattice and the normalisation walk the text differently.
      {0, gbk("的的") + "x\x80" + gbk("卡拉ok中国"), 0},
      {0, gbk("的的中国") + "x", 0},  // last token of one byte
  };
  for (const auto& c : cases) {
    CSegmentPN h(c.mode, CSegment::kNodeCapacity);
    h.m_segtoken_saver.reset();
    ASSERT_TRUE(h._segment(c.sentence.data(), c.sentence.size()));
    const size_t tokens = h.m_segtoken_saver.m_seg_token_num;
    EXPECT_EQ(h._compute_back_len(), c.back) << lxtest::utf8(c.sentence);
    EXPECT_EQ(h.m_segtoken_saver.m_seg_token_num, c.back ? tokens - 2 : tokens);
  }
}

}  // namespace
