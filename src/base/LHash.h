// Open-addressing hash map with small-table list form.
//
// LHash<KeyT, DataT> maps keys of one of the types unsigned int, int,
// const char* or char* to values.  Each key type has a no-key value that marks
// a free slot and can therefore never be used as a key:
//
//     unsigned int      0xFFFFFFFF
//     int               INT_MIN
//     const char*/char* null pointer   (the table keeps its own copy of every
//                                       string key and frees it)
//
// Layout.  The whole table is one allocation, the body: a 32-bit header word
// (m_max_bits in the low 5 bits: the table has 2^m_max_bits slots; m_nEntries
// in the high 27 bits) followed, at the alignment the slots need, by the
// slots {value, key}.  Only used slots hold a constructed value; a free slot is
// just its no-key key.  A table that never held an entry has no body.
//
// Slot choice.  Tables of one to four slots are unsorted lists: the entries
// fill slots 0 .. m_nEntries - 1 and lookups compare keys in turn.  Larger
// tables hash with linear probing.  The hash of a number is its value, the hash
// of a string is x = 9x + c over its bytes as signed chars, and the home slot
// is bits 30-b .. 29 of x * 1103515245 + 12345 in a table of 2^b slots.
//
// Growth.  Inserting an absent key into a table of n entries needs n + 1 slots
// while n < 7 and (n + 2) / 0.8 (single precision, truncated) beyond, so the
// slot counts go 1, 2, 4, 4, 8, 8, 8, 16, ... and a hashed table is never more
// than 80% full.  Growing re-places the entries in old slot order; it moves
// the values, so pointers into a table are valid only until the next insert.
//
// Errors.  Nothing here ends the process.  A failed allocation throws
// std::bad_alloc and leaves the table as it was.  Looking up or removing the
// no-key value finds nothing; inserting it throws std::invalid_argument, and
// inserting beyond LHash_maxEntriesLimit throws std::length_error (loaders
// check word ids and counts before they insert, so neither happens with any
// file).  The exported functions catch all of these.
//
// Thread safety.  find, _locate and unsorted iteration only read the table and
// may run concurrently on a table nobody modifies.  Sorted iteration sorts
// through two process-wide variables (LHash_thisBody, LHash_thisKeyCompare) and
// must not be started on two threads at once.
#ifndef LX_BASE_LHASH_H
#define LX_BASE_LHASH_H

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

// The most entries a table can hold (the width of m_nEntries).
const unsigned LHash_maxEntriesLimit = (1u << 27) - 1;
// Bit counts must stay below this: at most 2^30 slots.
const unsigned LHash_maxBitLimit = 31;
// Tables of fewer than 2^LHash_minHashBits slots are plain lists.
const unsigned LHash_minHashBits = 3;

// No-key values of the key types.
inline bool Map_noKeyP(unsigned key) { return key == 0xFFFFFFFFu; }
inline bool Map_noKeyP(int key) { return key == INT_MIN; }
inline bool Map_noKeyP(const char* key) { return key == 0; }
inline void Map_noKey(unsigned& key) { key = 0xFFFFFFFFu; }
inline void Map_noKey(int& key) { key = INT_MIN; }
inline void Map_noKey(const char*& key) { key = 0; }
inline void Map_noKey(char*& key) { key = 0; }

// Key comparison for sorted iteration: ascending order (byte order for strings).
template <class KeyT>
inline int SArray_compareKey(KeyT a, KeyT b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}
template <>
inline int SArray_compareKey<const char*>(const char* a, const char* b) {
  return std::strcmp(a, b);
}
template <>
inline int SArray_compareKey<char*>(char* a, char* b) {
  return std::strcmp(a, b);
}

// Home slot of hash value x in a table of 2^maxBits slots (maxBits 3..30).
// Only bits 0..29 of the product matter, so 32-bit arithmetic gives the same
// slot as any wider one.
inline unsigned LHash_hashSlot(unsigned x, unsigned maxBits) {
  return ((x * 1103515245u + 12345u) >> (30 - maxBits)) & ((1u << maxBits) - 1);
}

// Per-key-type rules: the no-key value, hashing, equality and ownership.
template <class KeyT>
struct LHashKey;

template <>
struct LHashKey<unsigned> {
  static const bool owned = false;
  static unsigned noKey() { return 0xFFFFFFFFu; }
  static bool isNoKey(unsigned key) { return key == 0xFFFFFFFFu; }
  static unsigned hash(unsigned key) { return key; }
  static bool equal(unsigned a, unsigned b) { return a == b; }
  static unsigned copy(unsigned key) { return key; }
  static void release(unsigned) {}
};

template <>
struct LHashKey<int> {
  static const bool owned = false;
  static int noKey() { return INT_MIN; }
  static bool isNoKey(int key) { return key == INT_MIN; }
  static unsigned hash(int key) { return (unsigned)key; }
  static bool equal(int a, int b) { return a == b; }
  static int copy(int key) { return key; }
  static void release(int) {}
};

template <class StrT>
struct LHashStringKey {
  static const bool owned = true;
  static StrT noKey() { return 0; }
  static bool isNoKey(const char* key) { return key == 0; }
  static unsigned hash(const char* key) {
    unsigned x = 0;
    for (; *key; key++) x = 9 * x + (unsigned)(int)(signed char)*key;
    return x;
  }
  static bool equal(const char* a, const char* b) { return std::strcmp(a, b) == 0; }
  static StrT copy(const char* key) {
    size_t len = std::strlen(key) + 1;
    char* newKey = static_cast<char*>(std::malloc(len));
    if (newKey == 0) throw std::bad_alloc();
    std::memcpy(newKey, key, len);
    return newKey;
  }
  static void release(const char* key) { std::free(const_cast<char*>(key)); }
};

template <>
struct LHashKey<const char*> : LHashStringKey<const char*> {};
template <>
struct LHashKey<char*> : LHashStringKey<char*> {};

// One slot.  The value lives in a union so that free slots hold no
// constructed value: values (which may own memory, e.g. trie nodes) are
// constructed when an entry is created and destroyed when it goes away.
template <class KeyT, class DataT>
struct LHashEntry {
  union {
    DataT value;
  };
  KeyT key;
  LHashEntry() {}
  ~LHashEntry() {}
};

// Header of a table body; the slots follow it in the same allocation.
template <class KeyT, class DataT>
struct LHashBody {
  typedef LHashEntry<KeyT, DataT> Entry;

  unsigned m_max_bits : 5;   // the table has 2^m_max_bits slots
  unsigned m_nEntries : 27;  // slots in use

  // Offset of the first slot: the header rounded up to the slots' alignment.
  static size_t slot_offset() {
    static_assert(sizeof(uint32_t) == 4, "32-bit header word");
    return (sizeof(uint32_t) + alignof(Entry) - 1) / alignof(Entry) * alignof(Entry);
  }
  unsigned num_slots() const { return 1u << m_max_bits; }
  Entry* slots() { return reinterpret_cast<Entry*>(reinterpret_cast<char*>(this) + slot_offset()); }
  const Entry* slots() const {
    return reinterpret_cast<const Entry*>(reinterpret_cast<const char*>(this) + slot_offset());
  }
};

// Reached by the qsort comparator of a sorted LHashIter: the body being
// sorted and the key comparison (an int (*)(KeyT, KeyT) in disguise).
inline const void* LHash_thisBody = 0;
inline void (*LHash_thisKeyCompare)() = 0;

template <class KeyT, class DataT>
class LHashIter;

template <class KeyT, class DataT>
class LHash {
  typedef LHashKey<KeyT> Key;
  typedef LHashBody<KeyT, DataT> Body;
  typedef LHashEntry<KeyT, DataT> Entry;

 public:
  Body* m_body;            // null while the table has never held an entry
  DataT* m_removed_data;   // receives the last removed value (allocated by the first remove)

  LHash() : m_body(0), m_removed_data(0) {}
  ~LHash() { clear(); }

  // Copies keep the exact slot layout of the original.
  LHash(const LHash& other) : m_body(0), m_removed_data(0) {
    try {
      copy_from(other);
    } catch (...) {
      clear();
      throw;
    }
  }
  LHash(LHash&& other) noexcept : m_body(other.m_body), m_removed_data(other.m_removed_data) {
    other.m_body = 0;
    other.m_removed_data = 0;
  }
  LHash& operator=(const LHash& other) {
    if (this != &other) {
      LHash tmp(other);
      swap(tmp);
    }
    return *this;
  }
  LHash& operator=(LHash&& other) noexcept {
    if (this != &other) {
      // Taking over before freeing keeps this safe when `other` lives inside
      // one of our own values (a trie child assigned to its parent).
      LHash tmp(std::move(other));
      swap(tmp);
    }
    return *this;
  }
  void swap(LHash& other) noexcept {
    std::swap(m_body, other.m_body);
    std::swap(m_removed_data, other.m_removed_data);
  }

  // The value of `key`, or null if absent (the no-key value is never
  // present).  Only reads the table.
  DataT* find(KeyT key, bool& foundP) const {
    unsigned index;
    foundP = !Key::isNoKey(key) && _locate(key, index);
    return foundP ? &m_body->slots()[index].value : 0;
  }
  DataT* find(KeyT key) const {
    bool foundP;
    return find(key, foundP);
  }

  // The value of `key`, created value-initialised (0, 0.0, an empty trie) if
  // absent; foundP tells whether the key was there before.
  DataT* insert(KeyT key, bool& foundP) {
    if (Key::isNoKey(key)) throw std::invalid_argument("LHash::insert: the no-key value");
    unsigned index;
    if ((foundP = _locate(key, index))) return &m_body->slots()[index].value;

    unsigned n = num_entries();
    // Checked on every insertion, not only when growing: a full table has room
    // left in its slots, but m_nEntries cannot count further.  (Below this
    // limit a table never needs LHash_maxBitLimit bits.)
    if (n >= LHash_maxEntriesLimit) throw std::length_error("LHash::insert: table full");
    unsigned required = n < 7 ? n + 1 : (unsigned)((float)(n + 2) / 0.8f);
    if (m_body == 0 || m_body->num_slots() < required) {
      unsigned maxBits = 0;
      while ((1ull << maxBits) < required) maxBits++;
      _grow(maxBits);
      _locate(key, index);
    }
    // The key is copied first: a failing copy leaves no value behind.
    KeyT newKey = Key::copy(key);
    Entry& entry = m_body->slots()[index];
    ::new (static_cast<void*>(&entry.value)) DataT();
    entry.key = newKey;
    m_body->m_nEntries = n + 1;
    return &entry.value;
  }
  DataT* insert(KeyT key) {
    bool foundP;
    return insert(key, foundP);
  }

  // Removes `key`; returns a pointer to its value (moved into m_removed_data,
  // valid until the next remove or clear), or null if the key was absent.
  DataT* remove(KeyT key, bool& foundP) {
    if (m_removed_data == 0) m_removed_data = new DataT();
    unsigned index;
    if (!(foundP = !Key::isNoKey(key) && _locate(key, index))) return 0;

    Entry* slots = m_body->slots();
    *m_removed_data = std::move(slots[index].value);
    slots[index].value.~DataT();
    Key::release(slots[index].key);
    slots[index].key = Key::noKey();

    unsigned n = m_body->m_nEntries;
    if (m_body->m_max_bits < LHash_minHashBits) {
      // List: close the gap.
      for (unsigned i = index + 1; i < n; i++) move_entry(slots[i - 1], slots[i]);
    } else {
      // Linear probing: an entry after the hole whose probe from its home slot
      // now stops at an empty slot before reaching it moves into that slot, so
      // every remaining key stays reachable.
      unsigned mask = m_body->num_slots() - 1;
      for (unsigned j = (index + 1) & mask; !Key::isNoKey(slots[j].key); j = (j + 1) & mask) {
        unsigned to;
        if (!_locate(slots[j].key, to)) move_entry(slots[to], slots[j]);
      }
    }
    m_body->m_nEntries = n - 1;
    return m_removed_data;
  }
  DataT* remove(KeyT key) {
    bool foundP;
    return remove(key, foundP);
  }

  unsigned num_entries() const { return m_body ? m_body->m_nEntries : 0; }
  // 2^m_max_bits, or 0 while there is no body.
  unsigned num_slots() const { return m_body ? m_body->num_slots() : 0; }
  // Bytes of the body allocation.
  size_t body_bytes() const {
    return m_body ? Body::slot_offset() + (size_t)m_body->num_slots() * sizeof(Entry) : 0;
  }

  // Frees every entry (and its key copy), the body and m_removed_data.
  void clear() {
    if (m_body) {
      if (Key::owned || !std::is_trivially_destructible<DataT>::value) {
        Entry* slots = m_body->slots();
        unsigned size = m_body->num_slots();
        for (unsigned i = 0; i < size; i++) {
          if (!Key::isNoKey(slots[i].key)) {
            slots[i].value.~DataT();
            Key::release(slots[i].key);
          }
        }
      }
      ::operator delete(m_body);
      m_body = 0;
    }
    delete m_removed_data;
    m_removed_data = 0;
  }

  // Whether `key` is in the table, and its slot: where it is, or where it
  // would be inserted (for a full list table that is one past the end).
  bool _locate(KeyT key, unsigned& index) const {
    const Body* body = m_body;
    if (body == 0) {
      index = 0;
      return false;
    }
    const Entry* slots = body->slots();
    unsigned maxBits = body->m_max_bits;
    if (maxBits < LHash_minHashBits) {
      unsigned n = body->m_nEntries;
      for (unsigned i = 0; i < n; i++) {
        if (Key::equal(slots[i].key, key)) {
          index = i;
          return true;
        }
      }
      index = n;
      return false;
    }
    unsigned mask = (1u << maxBits) - 1;
    for (unsigned i = LHash_hashSlot(Key::hash(key), maxBits);; i = (i + 1) & mask) {
      KeyT slotKey = slots[i].key;
      if (Key::isNoKey(slotKey)) {
        index = i;
        return false;
      }
      if (Key::equal(slotKey, key)) {
        index = i;
        return true;
      }
    }
  }

  // Replaces the body by an empty one of `size` slots (a power of two).  The
  // old body is not freed: _grow moves its entries first.  Throws
  // std::bad_alloc, with m_body unchanged, when the memory cannot be had.
  void _alloc(unsigned size) {
    static_assert(alignof(Entry) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__,
                  "slots must not need more than the default allocation alignment");
    unsigned maxBits = 0;
    while ((1u << maxBits) < size) maxBits++;
    size_t bytes = Body::slot_offset() + ((size_t)1 << maxBits) * sizeof(Entry);
    void* mem = ::operator new(bytes);
    m_body = static_cast<Body*>(mem);
    ::new (mem) Body;
    m_body->m_max_bits = maxBits;
    m_body->m_nEntries = 0;
    Entry* slots = m_body->slots();
    for (unsigned i = 0; i < (1u << maxBits); i++) {
      ::new (static_cast<void*>(&slots[i])) Entry;
      slots[i].key = Key::noKey();
    }
  }

 private:
  friend class LHashIter<KeyT, DataT>;

  // Moves the entry of `from` into the free slot `to`; `from` becomes free.
  static void move_entry(Entry& to, Entry& from) {
    ::new (static_cast<void*>(&to.value)) DataT(std::move(from.value));
    from.value.~DataT();
    to.key = from.key;
    from.key = Key::noKey();
  }

  // Moves all entries to a new body of 2^maxBits slots: in order while the new
  // table is still a list, re-placed by the slot choice otherwise.
  void _grow(unsigned maxBits) {
    Body* old = m_body;
    _alloc(1u << maxBits);
    if (old == 0) return;
    Entry* from = old->slots();
    Entry* to = m_body->slots();
    unsigned n = old->m_nEntries;
    if (maxBits < LHash_minHashBits) {
      for (unsigned i = 0; i < n; i++) move_entry(to[i], from[i]);
    } else {
      unsigned oldSize = old->num_slots();
      for (unsigned i = 0; i < oldSize; i++) {
        if (Key::isNoKey(from[i].key)) continue;
        unsigned index;
        _locate(from[i].key, index);
        move_entry(to[index], from[i]);
      }
    }
    m_body->m_nEntries = n;
    ::operator delete(old);
  }

  void copy_from(const LHash& other) {
    if (other.m_body == 0) return;
    _alloc(other.m_body->num_slots());
    const Entry* from = other.m_body->slots();
    Entry* to = m_body->slots();
    unsigned size = other.m_body->num_slots();
    // Each entry is complete before the next is copied, so that clear() can
    // undo a copy that throws half-way.
    for (unsigned i = 0; i < size; i++) {
      if (Key::isNoKey(from[i].key)) continue;
      KeyT key = Key::copy(from[i].key);
      try {
        ::new (static_cast<void*>(&to[i].value)) DataT(from[i].value);
      } catch (...) {
        Key::release(key);
        throw;
      }
      to[i].key = key;
      m_body->m_nEntries = m_body->m_nEntries + 1;
    }
  }
};

// The string-to-int word lists.
typedef LHash<const char*, int> HashDict;

// Iterates over the entries of a table, in slot order or, given a key
// comparison, in the order of that comparison.
//
// In slot order the entry just returned may be removed before the next step:
// the iterator notices that the table has exactly one entry less and looks at
// the slot again, since the removal may have moved a later entry into it.  Any
// other change of the table during the iteration is a programming error:
// next() throws std::logic_error.
//
// In sorted order the keys are sorted once, at construction or init(), and
// each step looks its key up again: entries removed meanwhile are skipped.
template <class KeyT, class DataT>
class LHashIter {
  typedef LHashKey<KeyT> Key;
  typedef LHashBody<KeyT, DataT> Body;
  typedef LHashEntry<KeyT, DataT> Entry;

 public:
  typedef int (*CompareFn)(KeyT, KeyT);

  LHashIter(const LHash<KeyT, DataT>& lhash, CompareFn sortFunction = 0)
      : _sort_function(sortFunction),
        m_my_lhash_body(0),
        m_current(0),
        m_num_entries(0),
        m_sorted_keys(0),
        m_my_lhash(lhash),
        m_in_first_run(true) {
    init();
  }
  ~LHashIter() { free_sorted_keys(); }

  // Starts the iteration over (again).
  void init() {
    free_sorted_keys();
    m_my_lhash_body = m_my_lhash.m_body;
    m_current = 0;
    m_num_entries = m_my_lhash.num_entries();
    m_in_first_run = true;
    m_wrapped_seen.clear();
    if (_sort_function && m_num_entries > 0) sort_keys();
  }

  // The next entry's value (and its key), or null at the end.
  DataT* next(KeyT& key) {
    if (_sort_function) {
      while (m_sorted_keys && m_current < m_num_entries) {
        unsigned index;
        if (m_my_lhash._locate(m_sorted_keys[m_current++], index)) {
          Entry& entry = m_my_lhash.m_body->slots()[index];
          key = entry.key;  // the table's own key, valid while the entry exists
          return &entry.value;
        }
      }
      return 0;
    }

    Body* body = m_my_lhash_body;
    const unsigned now = body != 0 ? body->m_nEntries : 0u;
    if (m_my_lhash.m_body != body || (now != m_num_entries && now + 1 != m_num_entries))
      throw std::logic_error("LHashIter::next: table changed during the iteration");
    if (body == 0) return 0;
    if (body->m_nEntries != m_num_entries) {
      m_num_entries--;
      if (m_current > 0) m_current--;
    }

    Entry* slots = body->slots();
    unsigned size = body->num_slots();
    bool hashed = body->m_max_bits >= LHash_minHashBits;
    while (m_current < size) {
      unsigned i = m_current++;
      KeyT slotKey = slots[i].key;
      if (Key::isNoKey(slotKey)) {
        m_in_first_run = false;
        continue;
      }
      if (hashed) {
        // An entry in the run at the start of the table whose home slot lies
        // after it belongs to a probe run that wrapped around the end.  Removing
        // an entry near the end can pull such an entry (already returned) back
        // behind the current position; remember them to return each only once.
        if (m_in_first_run) {
          if (LHash_hashSlot(Key::hash(slotKey), body->m_max_bits) > i)
            m_wrapped_seen.push_back(slotKey);
        } else if (!m_wrapped_seen.empty() && was_seen(slotKey)) {
          continue;
        }
      }
      key = slotKey;
      return &slots[i].value;
    }
    return 0;
  }

 private:
  LHashIter(const LHashIter&) = delete;
  LHashIter& operator=(const LHashIter&) = delete;

  static int compare_slots(const void* a, const void* b) {
    const Entry* slots = static_cast<const Body*>(LHash_thisBody)->slots();
    CompareFn compare = reinterpret_cast<CompareFn>(LHash_thisKeyCompare);
    return compare(slots[*static_cast<const unsigned*>(a)].key,
                   slots[*static_cast<const unsigned*>(b)].key);
  }

  void sort_keys() {
    const Body* body = m_my_lhash_body;
    const Entry* slots = body->slots();
    unsigned size = body->num_slots();
    std::vector<unsigned> indexes;
    indexes.reserve(m_num_entries);
    for (unsigned i = 0; i < size; i++) {
      if (!Key::isNoKey(slots[i].key)) indexes.push_back(i);
    }
    LHash_thisBody = body;
    LHash_thisKeyCompare = reinterpret_cast<void (*)()>(_sort_function);
    std::qsort(indexes.data(), indexes.size(), sizeof(unsigned), compare_slots);
    // Own copies of string keys: looking up a key whose entry was removed
    // meanwhile must not read the freed table copy.  The array starts zeroed
    // (null strings), so that a copy failing half-way leaves it fit to free.
    m_sorted_keys = new KeyT[m_num_entries]();
    try {
      for (unsigned k = 0; k < m_num_entries; k++)
        m_sorted_keys[k] = Key::copy(slots[indexes[k]].key);
    } catch (...) {
      free_sorted_keys();
      throw;
    }
  }

  void free_sorted_keys() {
    if (m_sorted_keys == 0) return;
    for (unsigned k = 0; k < m_num_entries; k++) Key::release(m_sorted_keys[k]);
    delete[] m_sorted_keys;
    m_sorted_keys = 0;
  }

  bool was_seen(KeyT slotKey) const {
    // Keys move with their entries (string keys keep their pointer), so
    // identity is enough.
    for (size_t k = 0; k < m_wrapped_seen.size(); k++)
      if (m_wrapped_seen[k] == slotKey) return true;
    return false;
  }

 public:
  CompareFn _sort_function;  // key comparison, or null for slot order
  Body* m_my_lhash_body;     // the body iterated
  unsigned m_current;        // slot (unsorted) or rank (sorted) of the next step
  unsigned m_num_entries;    // entries when the iteration started (less removals)
  KeyT* m_sorted_keys;       // keys in sorted order, or null

 private:
  const LHash<KeyT, DataT>& m_my_lhash;
  bool m_in_first_run;               // no free slot met yet
  std::vector<KeyT> m_wrapped_seen;  // wrapped entries already returned
};

#endif  // LX_BASE_LHASH_H
