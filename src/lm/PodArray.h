// Growable array of plain values in one malloc block, for the read-only
// models.  Growing and trimming are realloc calls, which the C library does
// without copying for large blocks.  At most 2^32 - 2 elements (indexes are
// 32 bits): more throws std::bad_alloc, as does a failed allocation.
#ifndef LX_LM_POD_ARRAY_H
#define LX_LM_POD_ARRAY_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/HugePages.h"

template <class T>
class PodArray {
 public:
  PodArray() : m_data(0), m_size(0), m_capacity(0) {}
  ~PodArray() { std::free(m_data); }
  uint32_t size() const { return (uint32_t)m_size; }
  bool empty() const { return m_size == 0; }
  T* data() { return m_data; }
  const T* data() const { return m_data; }
  T& operator[](size_t i) { return m_data[i]; }
  const T& operator[](size_t i) const { return m_data[i]; }
  T& back() { return m_data[m_size - 1]; }
  size_t bytes() const { return m_capacity * sizeof(T); }
  void push_back(const T& value) {
    if (m_size == m_capacity) reallocate(m_capacity < 16 ? 16 : 2 * m_capacity);
    m_data[m_size++] = value;
  }
  // Appends n elements (each a copy of `value`), growing by at least half;
  // returns the first of them.
  T* append(size_t n, const T& value) {
    if (n >= kLimit - m_size) throw std::bad_alloc();
    if (m_size + n > m_capacity) {
      size_t capacity = m_capacity < 16 ? 16 : m_capacity + m_capacity / 2;
      if (capacity < m_size + n) capacity = m_size + n;
      reallocate(capacity);
    }
    T* first = m_data + m_size;
    for (size_t i = 0; i < n; i++) first[i] = value;
    m_size += n;
    return first;
  }
  // Makes room for n elements, so that appending up to n moves nothing;
  // large storage starts on huge pages (base/HugePages.h), and what is never
  // filled is never touched.  Only a hint: where the room cannot be had, the
  // array stays as it is and grows as it would have.
  void reserve(size_t n) {
    if (n <= m_capacity || n >= kLimit) return;
    T* data = static_cast<T*>(huge_alloc(n * sizeof(T)));
    if (data == 0) return;
    if (m_size != 0) std::memcpy(static_cast<void*>(data), m_data, m_size * sizeof(T));
    std::free(m_data);
    m_data = data;
    m_capacity = n;
  }
  // Gives back the unused capacity and moves what huge pages can hold of
  // the array onto them (base/HugePages.h), in place.
  void settle() {
    trim();
    use_huge_pages(m_data, m_size * sizeof(T));
  }
  // Keeps the first n elements (n <= size()) and gives back the rest.
  void truncate(size_t n) {
    if (n < m_size) m_size = n;
    trim();
  }
  // Gives back the unused capacity.
  void trim() {
    if (m_size < m_capacity) reallocate(m_size);
  }

 private:
  static const size_t kLimit = 0xFFFFFFFFu;

  void reallocate(size_t capacity) {
    if (capacity >= kLimit) throw std::bad_alloc();
    if (capacity == 0) {
      std::free(m_data);
      m_data = 0;
    } else {
      T* data = static_cast<T*>(std::realloc(m_data, capacity * sizeof(T)));
      if (data == 0) throw std::bad_alloc();
      m_data = data;
    }
    m_capacity = capacity;
  }

  T* m_data;
  size_t m_size;
  size_t m_capacity;

  PodArray(const PodArray&) = delete;
  PodArray& operator=(const PodArray&) = delete;
};

#endif  // LX_LM_POD_ARRAY_H
