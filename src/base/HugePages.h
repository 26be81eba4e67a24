// Huge pages for the large tables that segmentation reads at random (the
// dictionary's trie and properties, the word models).  With 4 KB pages such
// tables need thousands of TLB entries, and under virtualisation every TLB
// miss walks two page tables; backed by 2 MB pages they need a handful.
#ifndef LX_BASE_HUGEPAGES_H
#define LX_BASE_HUGEPAGES_H

#include <cstddef>

// Moves the whole 2 MB pages inside [p, p + bytes) of an anonymous mapping
// (heap or mmap'd storage) onto huge pages, now, keeping their contents; the
// rest of the range is not touched.  A request the system does not support or
// refuses is ignored: it never changes a result, only the speed of reading.
// A range that holds no whole 2 MB page is left alone.
void use_huge_pages(const void* p, size_t bytes);
// Only asks for huge pages where the range is touched later: for storage
// just allocated, before it is filled, which then takes one page fault per
// 2 MB instead of one per 4 KB (where the storage is still untouched).
void prefer_huge_pages(const void* p, size_t bytes);

#endif  // LX_BASE_HUGEPAGES_H
