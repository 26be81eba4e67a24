// Helpers for tests that go through the exported functions only: a
// segmentation handle that closes itself, and readers of its results.
#ifndef LX_TESTS_SUPPORT_SEG_HANDLE_H
#define LX_TESTS_SUPPORT_SEG_HANDLE_H

#include <cstring>
#include <string>
#include <vector>

#include "LXSegFunc.h"
#include "support/resource_builder.h"

namespace lxtest {

struct Handle {
  explicit Handle(int mode) : h(LXCreateSegHandle(mode)) {}
  ~Handle() { LXCloseSegHandle(h); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  operator HANDLE() const { return h; }
  HANDLE h;
};

inline bool Seg(HANDLE h, const std::string& text, size_t charset = LX_GBK) {
  return LXSegment(h, text.data(), text.size(), charset);
}

// The words of the list the out mode selects, through LXGetWordAt.
inline std::vector<std::string> Words(HANDLE h) {
  std::vector<std::string> out;
  for (int i = 0; i < LXGetResultCnt(h); ++i) {
    const char* w = LXGetWordAt(h, i);
    out.push_back(w ? w : "<null>");
  }
  return out;
}

// GBK forms of UTF-8 words.
inline std::vector<std::string> G(const std::vector<std::string>& utf8_words) {
  std::vector<std::string> out;
  for (const std::string& w : utf8_words) out.push_back(gbk(w));
  return out;
}

inline seg_tokens_t AllInfo(HANDLE h) {
  seg_tokens_t st;
  std::memset(&st, 0, sizeof(st));
  LXGetAllSegInfo(h, st);
  return st;
}

// The fine tokens' words (GBK).
inline std::vector<std::string> FineWords(HANDLE h) {
  const seg_tokens_t st = AllInfo(h);
  std::vector<std::string> out;
  for (size_t i = 0; i < st.fine_grain_tokens_num; ++i)
    out.emplace_back(st.fine_grain_seg_tokens[i].word, st.fine_grain_seg_tokens[i].wlen);
  return out;
}

}  // namespace lxtest

#endif  // LX_TESTS_SUPPORT_SEG_HANDLE_H
