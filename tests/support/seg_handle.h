// A segmentation handle of the exported API that closes itself.
#ifndef LX_TESTS_SUPPORT_SEG_HANDLE_H
#define LX_TESTS_SUPPORT_SEG_HANDLE_H

#include "LXSegFunc.h"

namespace lxtest {

struct Handle {
  explicit Handle(int mode) : h(LXCreateSegHandle(mode)) {}
  ~Handle() { LXCloseSegHandle(h); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  operator HANDLE() const { return h; }
  HANDLE h;
};

}  // namespace lxtest

#endif  // LX_TESTS_SUPPORT_SEG_HANDLE_H
