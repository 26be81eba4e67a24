// Huge pages for the large tables that segmentation reads at random (the
// dictionary's trie and properties, the word models).  With 4 KB pages such
// tables need thousands of TLB entries, and under virtualisation every TLB
// miss walks two page tables; on 2 MB pages they need a handful.
//
// Storage of 2 MB or more from huge_alloc() starts on a 2 MB boundary, so
// that all of it but the last partial 2 MB can be held in huge pages (the
// tail stays on small pages: no memory is spent on rounding), and it is
// asked for huge pages before it is first touched; use_huge_pages() moves
// storage that was touched before onto them.  Nothing here changes a
// table's contents, and a request the system does not support or refuses is
// ignored.
#ifndef LX_BASE_HUGEPAGES_H
#define LX_BASE_HUGEPAGES_H

#include <cstddef>
#include <cstdlib>
#include <new>
#include <utility>

// The huge pages asked for: 2 MB, the size of x86-64's.
const size_t kHugePageBytes = size_t(2) << 20;

// Storage for `bytes` bytes, aligned for any type, released with std::free;
// null when memory runs out (or for 0 bytes).
void* huge_alloc(size_t bytes);

// Moves the whole 2 MB pages inside [p, p + bytes) of an anonymous mapping
// (heap or mmap'd storage) onto huge pages, now, keeping their contents; the
// rest of the range is not touched.  A range that holds no whole 2 MB page
// is left alone.
void use_huge_pages(const void* p, size_t bytes);
// Only asks for huge pages where the range is touched later: for storage
// just allocated, before it is filled, which then takes one page fault per
// 2 MB instead of one per 4 KB (where the storage is still untouched).
void prefer_huge_pages(const void* p, size_t bytes);

// Maps in the pages of [p, p + bytes) now, in one call, for storage that is
// about to be written in full: one page fault per 4 KB page costs more (above
// all under virtualisation).  Contents stay as they are; where the system
// cannot do it (before Linux 5.14), the pages come in as they are touched.
void populate_pages(const void* p, size_t bytes);

// A standard allocator over huge_alloc, for the large vectors that are
// sized once and then filled: their pages are mapped in at once, and the
// elements a vector is sized with are left uninitialised (default-
// initialised) rather than zeroed, to be overwritten.
template <class T>
struct HugePageAllocator {
  using value_type = T;
  HugePageAllocator() = default;
  template <class U>
  HugePageAllocator(const HugePageAllocator<U>&) {}
  template <class U>
  void construct(U* p) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  T* allocate(size_t n) {
    if (n > size_t(-1) / sizeof(T)) throw std::bad_alloc();
    void* p = huge_alloc(n * sizeof(T));
    if (p == nullptr) throw std::bad_alloc();
    populate_pages(p, n * sizeof(T));
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t) { std::free(p); }
};
template <class T, class U>
bool operator==(const HugePageAllocator<T>&, const HugePageAllocator<U>&) {
  return true;
}
template <class T, class U>
bool operator!=(const HugePageAllocator<T>&, const HugePageAllocator<U>&) {
  return false;
}

#endif  // LX_BASE_HUGEPAGES_H
