#include "base/HugePages.h"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#if defined(MADV_HUGEPAGE) && !defined(MADV_COLLAPSE)
#define MADV_COLLAPSE 25  // Linux 6.1; older kernels refuse it (EINVAL)
#endif
#if !defined(MADV_POPULATE_WRITE)
#define MADV_POPULATE_WRITE 23  // Linux 5.14; older kernels refuse it (EINVAL)
#endif
#include <unistd.h>
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

void populate_pages(const void* p, size_t bytes) {
#if defined(__linux__)
  static const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  if (p == nullptr || bytes == 0 || page == 0 || (page & (page - 1)) != 0) return;
  const uintptr_t a = reinterpret_cast<uintptr_t>(p) & ~(page - 1);
  const uintptr_t e = reinterpret_cast<uintptr_t>(p) + bytes;
  (void)madvise(reinterpret_cast<void*>(a), e - a, MADV_POPULATE_WRITE);
#else
  (void)p;
  (void)bytes;
#endif
}
