// String arena.
//
// svector hands out NUL-terminated copies of strings from fixed-size blocks.
// Nothing is freed one by one: clear() rewinds to the first block, and later
// pushes reuse the blocks already allocated, so a steady workload stops
// allocating after its first rounds.  Strings handed out stay valid until
// clear() (after which their space is reused) or destruction.
#ifndef LX_BASE_SVECTOR_H
#define LX_BASE_SVECTOR_H

class svector {
 public:
  // blockSize: bytes per block (fixed); ctrlInitSize: initial number of block
  // pointer slots.
  explicit svector(unsigned blockSize = 16384, unsigned ctrlInitSize = 32);
  ~svector();

  // A NUL-terminated copy of the len bytes at str, or null when no block can
  // hold it (allocation failure, or len + 1 larger than a block).
  char* push(const char* str, unsigned len);
  // Rewinds to the first block; the blocks are kept for reuse.
  void clear();

  char** m_Controler;        // pointers to the blocks (null past m_nUsedSize)
  unsigned m_nBlockSize;     // bytes per block
  unsigned m_nControlerSize; // pointer slots in m_Controler
  unsigned nCtrlInitSize;    // initial pointer slots
  unsigned m_nUsedSize;      // blocks allocated so far
  unsigned m_BlockIndex;     // next free byte in the current block
  unsigned m_CtrlIndex;      // index of the current block

 private:
  bool take_block(unsigned index);

  svector(const svector&) = delete;
  svector& operator=(const svector&) = delete;
};

#endif  // LX_BASE_SVECTOR_H
