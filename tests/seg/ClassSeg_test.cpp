// CSegment / CSegmentPN: loading the shared resources (the message naming
// each missing or damaged file) and the back length of a cut sentence.
#include "seg/ClassSeg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

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
  // `text` with every "@NAME" replaced by the path of file NAME of dir.
  static std::string Paths(const lxtest::ResourceDir& dir, std::string text) {
    for (size_t at; (at = text.find('@')) != std::string::npos;) {
      const size_t end = text.find_first_of(" \n", at);
      text.replace(at, end - at, dir.file(text.substr(at + 1, end - at - 1)));
    }
    return text;
  }
  lxtest::ResourceDir dir_;
};

TEST_F(ClassSegTest, EachMissingOrDamagedFileFailsTheLoadWithItsMessage) {
  const std::string u = "unable to open file: ";
  const std::vector<std::pair<const char*, std::string>> missing = {
      {"Core.Lex", u + "@Core.Lex\n or @Core.Prop\n"}, {"Core.Prop", u + "@Core.Lex\n or @Core.Prop\n"},
      {"Ngram.Lex", u + "@Ngram.Lex\n"}, {"Ngram_PN.Lex", u + "@Ngram_PN.Lex\n"},
      {"RoleTT.Lex", u + "@RoleTT.Lex\n"}, {"LNRoleTT.Lex", u + "@LNRoleTT.Lex\n"},
      {"POSTT.Lex", u + "@POSTT.Lex\n"}, {"UserAmbRule", u + "@UserAmbRule \n"},
      {"ner_info", "can not open file : @ner_info\n" + u + "@ner_info\n"},
      {"Sec.Lex", u + "@Sec.Lex or @Sec.Prop \n"}, {"Sec.Prop", u + "@Sec.Lex or @Sec.Prop \n"},
  };
  ASSERT_EQ(missing.size(), lxtest::kLoadOrderFileCount);
  for (const auto& c : missing) {
    lxtest::ResourceDir dir;
    ASSERT_TRUE(dir.build(lxtest::default_resource_plan())) << dir.error();
    ASSERT_EQ(std::remove(dir.file(c.first).c_str()), 0);
    std::string err;
    EXPECT_FALSE(Load(dir, &err)) << c.first;
    // Ends with the loader's message (a reader may say why before it).
    const std::string want = Paths(dir, c.second);
    EXPECT_EQ(err.substr(err.size() - std::min(err.size(), want.size())), want) << c.first;
    CSegment::unload_resource();
  }
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
    EXPECT_NE(err.find(u + dir.file(c.first)), std::string::npos) << c.first << ": " << err;
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
