// Short converters for test literals: G("中国") gives the GBK bytes of a
// UTF-8 literal and fails the running test when the text has no GBK form;
// U(gbk) gives UTF-8 back, for expectations and readable failure messages.
// (lxtest::gbk() and lxtest::utf8() in resource_builder.h drop what does not
// convert instead, which suits generated text.)
#ifndef LX_TESTS_SUPPORT_GBK_LITERALS_H
#define LX_TESTS_SUPPORT_GBK_LITERALS_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/uconv.h"

namespace lxtest {

inline std::string G(const std::string& utf8) {
  // GBK never takes more bytes than UTF-8 for the same text.
  std::vector<char> buf(utf8.size() + 1);
  int n = utf8_to_gbk(utf8.data(), (uint32_t)utf8.size(), buf.data(), (uint32_t)buf.size(),
                      UCONV_INVCHAR_ERROR);
  EXPECT_GE(n, 0) << "not convertible to GBK: " << utf8;
  return n < 0 ? std::string() : std::string(buf.data(), (size_t)n);
}

inline std::string U(const std::string& gbk) {
  std::vector<char> buf(gbk.size() * 3 + 1);
  int n = gbk_to_utf8(gbk.data(), (uint32_t)gbk.size(), buf.data(), (uint32_t)buf.size(),
                      UCONV_INVCHAR_IGNORE);
  return n < 0 ? std::string() : std::string(buf.data(), (size_t)n);
}

}  // namespace lxtest

#endif  // LX_TESTS_SUPPORT_GBK_LITERALS_H
