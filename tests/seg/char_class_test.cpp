// The character-class table of the number and unit rules.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "seg/char_class.h"

namespace {

// GBK bytes of the classed characters, written out independently of the
// table's source (lead byte first, as they stand in text).
const std::map<std::string, int> kExpected = {
    {"\xC4\xEA", 0},  // 年
    {"\xD4\xC2", 0},  // 月
    {"\xC8\xD5", 0},  // 日
    {"\xCC\xEC", 0},  // 天
    {"\xBA\xC5", 0},  // 号
    {"\xCA\xB1", 0},  // 时
    {"\xB7\xD6", 0},  // 分
    {"\xC3\xEB", 0},  // 秒
    {"\xCA\xAE", 1},  // 十
    {"\xB0\xD9", 1},  // 百
    {"\xC7\xA7", 1},  // 千
    {"\xCD\xF2", 1},  // 万
    {"\xD2\xDA", 1},  // 亿
    {"\xD2\xBB", 2},  // 一
    {"\xB6\xFE", 2},  // 二
    {"\xC8\xFD", 2},  // 三
    {"\xCB\xC4", 2},  // 四
    {"\xCE\xE5", 2},  // 五
    {"\xC1\xF9", 2},  // 六
    {"\xC6\xDF", 2},  // 七
    {"\xB0\xCB", 2},  // 八
    {"\xBE\xC5", 2},  // 九
};

struct TableDeleter {
  void operator()(int* t) const { destroy_chs_array(t); }
};

TEST(CharClassTest, CodeIsLittleEndianLoadOfTheTwoBytes) {
  EXPECT_EQ(chs_code("\xD2\xBB"), 0xBBD2);  // 一
  EXPECT_EQ(chs_code("\xB8\xF6"), 0xF6B8);  // 个
  EXPECT_EQ(chs_code("\x01\x80"), 0x8001);
}

TEST(CharClassTest, ExactlyTheTwentyTwoCharactersHaveAClass) {
  std::unique_ptr<int, TableDeleter> table(create_chs_array());
  ASSERT_NE(table, nullptr);
  const int* t = table.get();
  for (const auto& e : kExpected) {
    EXPECT_EQ(chs_class(t, e.first.data()), e.second) << std::hex << chs_code(e.first.data());
    // The swapped byte order is some other value, not the character.
    const std::string swapped{e.first[1], e.first[0]};
    EXPECT_EQ(chs_class(t, swapped.data()), kChsOther);
  }
  size_t classed = 0;
  for (size_t i = 0; i < kChsArraySize; ++i) {
    if (t[i] != kChsOther) ++classed;
  }
  EXPECT_EQ(classed, kExpected.size());
  EXPECT_EQ(t[kChsArraySize - 1], kChsOther);  // the spare entry
  // Characters close to classed ones, and "个" / "之", have no class.
  EXPECT_EQ(chs_class(t, "\xB8\xF6"), kChsOther);  // 个
  EXPECT_EQ(chs_class(t, "\xD6\xAE"), kChsOther);  // 之
  EXPECT_EQ(chs_class(t, "\xD2\xBC"), kChsOther);
}

TEST(CharClassTest, FillOverwritesEveryEntry) {
  std::unique_ptr<int[]> t(new int[kChsArraySize]);
  for (size_t i = 0; i < kChsArraySize; ++i) t[i] = 7;
  fill_chs_array(t.get());
  for (size_t i = 0; i < kChsArraySize; ++i) ASSERT_GE(t[i], kChsOther) << i;
  for (size_t i = 0; i < kChsArraySize; ++i) ASSERT_LE(t[i], kChsDigit) << i;
  EXPECT_EQ(chs_class(t.get(), "\xC8\xFD"), kChsDigit);  // 三
}

TEST(CharClassTest, DestroyResetsThePointer) {
  int* t = create_chs_array();
  ASSERT_NE(t, nullptr);
  destroy_chs_array(t);
  EXPECT_EQ(t, nullptr);
  destroy_chs_array(t);  // a null table is fine
}

}  // namespace
