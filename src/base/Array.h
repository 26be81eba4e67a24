// Auto-growing array with a base index.
//
// Array<DataT> is indexed from m_base (usually 0).  Any access through
// operator[] -- reading as well as writing -- makes the element exist: m_size
// becomes at least offset + 1 and the storage grows when needed.  Growth
// allocates m_alloc_size / 2 + offset + 1 elements, i.e. half the old
// allocation more than the access needs, so a sequence of appends costs
// amortised constant time.  Growth moves the elements: pointers and
// references into the array are valid only until the next access that grows
// it.
//
// Storage is value-initialised (zero for plain records), so elements that were
// never written read as zero rather than as indeterminate memory.
//
// Large storage (kLargeBytes or more) of a trivial element type comes from
// calloc and grows with realloc: the C library moves a large block by
// remapping its pages, so a growth needs neither a copy nor the old and the
// new storage at once.  Its elements are zeroed as operator[] brings them
// into use, so pages beyond the part in use are never touched (and m_data
// beyond m_size is not to be read).  Smaller storage, and storage of other
// types, comes from new[].
//
// Errors throw and leave the array as it was: std::bad_alloc when the storage
// cannot grow (out of memory, or more than 2^32 - 1 elements), and
// std::out_of_range for an index below the base or, through a const array,
// beyond the part in use.  The exported functions catch them.
#ifndef LX_BASE_ARRAY_H
#define LX_BASE_ARRAY_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>

template <class DataT>
class Array {
 public:
  uint32_t m_size;        // elements in use: highest offset accessed + 1
  uint32_t m_alloc_size;  // elements allocated
  int32_t m_base;         // index of the first element
  DataT* m_data;          // storage (array new), null while nothing is allocated

  // An array indexed from `base`; with size > 0 that many elements are
  // allocated and in use from the start.
  explicit Array(int base = 0, unsigned size = 0)
      : m_size(0), m_alloc_size(0), m_base(base), m_data(0) {
    if (size > 0) {
      _alloc(size - 1);
      m_size = size;
    }
  }

  Array(const Array& other) : m_size(0), m_alloc_size(0), m_base(other.m_base), m_data(0) {
    copy_from(other);
  }

  Array(Array&& other) noexcept
      : m_size(other.m_size),
        m_alloc_size(other.m_alloc_size),
        m_base(other.m_base),
        m_data(other.m_data) {
    other.m_size = other.m_alloc_size = 0;
    other.m_data = 0;
  }

  Array& operator=(const Array& other) {
    if (this != &other) {
      clear();
      m_base = other.m_base;
      copy_from(other);
    }
    return *this;
  }

  Array& operator=(Array&& other) noexcept {
    if (this != &other) {
      release(m_data, m_alloc_size);
      m_size = other.m_size;
      m_alloc_size = other.m_alloc_size;
      m_base = other.m_base;
      m_data = other.m_data;
      other.m_size = other.m_alloc_size = 0;
      other.m_data = 0;
    }
    return *this;
  }

  ~Array() { release(m_data, m_alloc_size); }

  // The element at `index`, created (value-initialised) if it lies beyond the
  // current size.
  DataT& operator[](long index) {
    long offset = index - m_base;
    if (offset < 0) throw std::out_of_range("Array: index below the base");
    if ((unsigned long)offset >= m_size) {
      if ((unsigned long)offset >= m_alloc_size) _alloc((unsigned long)offset);
      if constexpr (kTrivial) {
        if (is_large(m_alloc_size))
          std::memset(static_cast<void*>(m_data + m_size), 0,
                      ((unsigned long)offset + 1 - m_size) * sizeof(DataT));
      }
      m_size = (uint32_t)offset + 1;
    }
    return m_data[offset];
  }

  // Read-only access cannot grow the array: the index must lie in the part in use.
  const DataT& operator[](long index) const {
    long offset = index - m_base;
    if (offset < 0 || (unsigned long)offset >= m_size)
      throw std::out_of_range("Array: index outside the elements in use");
    return m_data[offset];
  }

  unsigned size() const { return m_size; }
  int base() const { return m_base; }
  DataT* data() { return m_data; }
  const DataT* data() const { return m_data; }
  operator DataT*() { return m_data; }
  operator const DataT*() const { return m_data; }

  // Frees the storage; the array is empty again (the base is kept).
  void clear() {
    release(m_data, m_alloc_size);
    m_data = 0;
    m_size = m_alloc_size = 0;
  }

  // Makes room for offset `size`: replaces the storage by m_alloc_size / 2 +
  // size + 1 elements and moves the old ones over.
  void _alloc(unsigned long size) {
    unsigned long long newSize = (unsigned long long)(m_alloc_size / 2) + size + 1;
    // m_size and m_alloc_size are 32-bit: a larger array cannot be described,
    // which counts as running out of memory.
    if (newSize > UINT32_MAX) throw std::bad_alloc();
    DataT* newData;
    if (is_large(newSize) && is_large(m_alloc_size)) {
      void* p = std::realloc(static_cast<void*>(m_data), (size_t)newSize * sizeof(DataT));
      if (p == 0) throw std::bad_alloc();
      newData = static_cast<DataT*>(p);  // the new part is zeroed as it comes into use
    } else {
      newData = allocate((size_t)newSize);
      for (uint32_t i = 0; i < m_alloc_size; i++) newData[i] = std::move(m_data[i]);
      release(m_data, m_alloc_size);
    }
    m_data = newData;
    m_alloc_size = (uint32_t)newSize;
  }

 private:
  static constexpr bool kTrivial = std::is_trivial<DataT>::value;
  static constexpr size_t kLargeBytes = (size_t)1 << 20;

  static bool is_large(size_t n) { return kTrivial && n * sizeof(DataT) >= kLargeBytes; }

  // Zeroed storage for n elements; throws std::bad_alloc.
  static DataT* allocate(size_t n) {
    if (!is_large(n)) return new DataT[n]();
    void* p = std::calloc(n, sizeof(DataT));
    if (p == 0) throw std::bad_alloc();
    return static_cast<DataT*>(p);
  }
  // The family of the storage follows from its size alone (is_large), which
  // the compiler cannot see when it inlines a growth and a release together.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 11
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-dealloc"
#endif
  static void release(DataT* p, size_t n) {
    if (is_large(n))
      std::free(static_cast<void*>(p));
    else
      delete[] p;
  }
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 11
#pragma GCC diagnostic pop
#endif

  void copy_from(const Array& other) {
    if (other.m_alloc_size == 0) return;
    DataT* newData = allocate(other.m_alloc_size);
    try {
      // Only the part in use: large storage beyond it holds no values.
      for (uint32_t i = 0; i < other.m_size; i++) newData[i] = other.m_data[i];
    } catch (...) {
      release(newData, other.m_alloc_size);
      throw;
    }
    m_data = newData;
    m_alloc_size = other.m_alloc_size;
    m_size = other.m_size;
  }
};

// An Array fixed in its use (typically sized once at construction); it adds
// no fields and behaves like Array.
template <class DataT>
class StaticArray : public Array<DataT> {
 public:
  explicit StaticArray(int base = 0, unsigned size = 0) : Array<DataT>(base, size) {}
};

#endif  // LX_BASE_ARRAY_H
