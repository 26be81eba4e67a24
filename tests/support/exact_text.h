// Text kept in an exactly sized heap block, so that AddressSanitizer reports
// any read past the length handed to the code under test.
#ifndef LX_TESTS_SUPPORT_EXACT_TEXT_H
#define LX_TESTS_SUPPORT_EXACT_TEXT_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace lxtest {

class ExactText {
 public:
  explicit ExactText(const std::string& s)
      : size_(s.size()), data_(new char[s.size() ? s.size() : 1]) {
    std::memcpy(data_.get(), s.data(), s.size());
  }
  const char* data() const { return data_.get(); }
  uint32_t size() const { return static_cast<uint32_t>(size_); }

 private:
  size_t size_;
  std::unique_ptr<char[]> data_;
};

}  // namespace lxtest

#endif  // LX_TESTS_SUPPORT_EXACT_TEXT_H
