#include "base/SVector.h"

#include <cstring>
#include <new>

svector::svector(unsigned blockSize, unsigned ctrlInitSize)
    : m_Controler(0),
      m_nBlockSize(blockSize),
      m_nControlerSize(0),
      nCtrlInitSize(ctrlInitSize),
      m_nUsedSize(0),
      m_BlockIndex(0),
      m_CtrlIndex(0) {
  // The first block is allocated up front; if that fails, push retries.
  take_block(0);
}

svector::~svector() {
  for (unsigned i = 0; i < m_nUsedSize; i++) delete[] m_Controler[i];
  delete[] m_Controler;
}

// Makes block `index` usable.  Blocks are allocated in order, so `index` is
// either an existing block or the next one (m_nUsedSize).  A failed
// allocation changes nothing.  The throwing operator new (rather than malloc
// or the nothrow form) is used so that a replaced global allocator sees and
// can fail every allocation of the arena.
bool svector::take_block(unsigned index) try {
  if (index < m_nUsedSize) return true;
  if (m_nUsedSize >= m_nControlerSize) {
    // Grow the pointer array by half (at least one slot, so that initial
    // sizes of 0 or 1 still grow).
    unsigned newSize = m_nControlerSize == 0 ? (nCtrlInitSize > 0 ? nCtrlInitSize : 1)
                                             : m_nControlerSize + m_nControlerSize / 2;
    if (newSize <= m_nControlerSize) newSize = m_nControlerSize + 1;
    char** controler = new char*[newSize]();
    if (m_nUsedSize > 0) std::memcpy(controler, m_Controler, m_nUsedSize * sizeof(char*));
    delete[] m_Controler;
    m_Controler = controler;
    m_nControlerSize = newSize;
  }
  m_Controler[m_nUsedSize] = new char[m_nBlockSize > 0 ? m_nBlockSize : 1];
  ++m_nUsedSize;
  return true;
} catch (const std::bad_alloc&) {
  return false;
}

char* svector::push(const char* str, unsigned len) {
  // A string and its NUL must fit one block; a longer one cannot be stored.
  if ((unsigned long long)len + 1 > m_nBlockSize) return 0;
  if (m_CtrlIndex < m_nUsedSize && (unsigned long long)m_BlockIndex + len + 2 <= m_nBlockSize) {
    char* dst = m_Controler[m_CtrlIndex] + m_BlockIndex;
    if (len > 0) std::memcpy(dst, str, len);
    dst[len] = '\0';
    m_BlockIndex += len + 1;
    return dst;
  }
  // Move to the next block: the one after the current, or the current one
  // itself if it could never be allocated.
  unsigned next = m_CtrlIndex < m_nUsedSize ? m_CtrlIndex + 1 : m_CtrlIndex;
  if (!take_block(next)) return 0;
  m_CtrlIndex = next;
  char* dst = m_Controler[next];
  if (len > 0) std::memcpy(dst, str, len);
  dst[len] = '\0';
  m_BlockIndex = len + 1;
  return dst;
}

void svector::clear() {
  m_BlockIndex = 0;
  m_CtrlIndex = 0;
}
