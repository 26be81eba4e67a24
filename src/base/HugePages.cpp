#include "base/HugePages.h"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#if defined(MADV_HUGEPAGE) && !defined(MADV_COLLAPSE)
#define MADV_COLLAPSE 25  // Linux 6.1; older kernels refuse it (EINVAL)
#endif
#endif

namespace {

// The 2 MB pages inside [p, p + bytes): false when there is none.
bool huge_range(const void* p, size_t bytes, void*& first, size_t& len) {
  if (p == nullptr || bytes < kHugePageBytes) return false;
  const uintptr_t a = (reinterpret_cast<uintptr_t>(p) + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
  const uintptr_t e = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kHugePageBytes - 1);
  if (e <= a) return false;
  first = reinterpret_cast<void*>(a);
  len = e - a;
  return true;
}

}  // namespace

void* huge_alloc(size_t bytes) {
  if (bytes < kHugePageBytes) return bytes == 0 ? nullptr : std::malloc(bytes);
  void* p = nullptr;
  if (posix_memalign(&p, kHugePageBytes, bytes) != 0) return nullptr;
  prefer_huge_pages(p, bytes);
  return p;
}

void prefer_huge_pages(const void* p, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  void* first;
  size_t len;
  if (huge_range(p, bytes, first, len)) (void)madvise(first, len, MADV_HUGEPAGE);
#else
  (void)p;
  (void)bytes;
#endif
}

void use_huge_pages(const void* p, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  void* first;
  size_t len;
  if (!huge_range(p, bytes, first, len)) return;
  (void)madvise(first, len, MADV_HUGEPAGE);
  (void)madvise(first, len, MADV_COLLAPSE);
#else
  (void)p;
  (void)bytes;
#endif
}
