// Helpers shared by the trainer tests.
#ifndef LX_TRAINER_TESTS_TEST_UTIL_H
#define LX_TRAINER_TESTS_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/uconv.h"

namespace trainer_test {

// GBK bytes of a UTF-8 literal.
inline std::string G(const std::string& utf8) {
  std::vector<char> buf(utf8.size() + 1);
  int n = utf8_to_gbk(utf8.data(), (uint32_t)utf8.size(), buf.data(), (uint32_t)buf.size(),
                      UCONV_INVCHAR_ERROR);
  EXPECT_GE(n, 0) << "not convertible to GBK: " << utf8;
  return n < 0 ? std::string() : std::string(buf.data(), (size_t)n);
}

}  // namespace trainer_test

#endif
