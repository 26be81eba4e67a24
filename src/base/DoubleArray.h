// DoubleArray.h: a double-array trie that reads, writes and builds the unit
// arrays of darts-clone 0.32 (Darts::DoubleArrayImpl<void, void, int, void>).
//
// Format. The array is a sequence of 32-bit units, stored little-endian with
// no header; a file is 4 * size() bytes and size() is a multiple of 256.
//   leaf unit     (bit 31 = 1): bits 0-30 hold a value.
//   non-leaf unit (bit 31 = 0): bits 0-7 the label (the byte of the edge into
//                 the unit), bit 8 has_leaf (a key ends here), bits 10-30 an
//                 offset field F; the offset is F, or F * 256 if bit 9 is set.
// The non-leaf unit at index p is a node with base = p XOR offset. Its child
// for byte c (1-255) is the unit at base XOR c if that unit's label, compared
// together with bit 31 (unit & 0x800000FF), equals c; so a leaf never matches
// a byte. If has_leaf is set, the value is in the leaf unit at base itself.
// XOR keeps a node's children in its base's 256-unit block. Unit 0 is the
// root.
//
// Building reproduces darts-clone's placement exactly, so the same keys give
// byte-identical files:
//  - Without values, a trie is walked straight from the sorted keys, node by
//    node in pre-order; key i gets the value i.
//  - With values, the keys first go into a minimal DAWG (suffixes whose
//    sub-tries, values included, are identical are merged). A transition list
//    that occurred more than once is "shared": once placed, later nodes with
//    the same list reuse its base if the relative offset can be encoded.
//  - Placement: for each node, the labels (0 for "a key ends here" first) are
//    placed at base XOR label, where the base comes from a first fit over the
//    unoccupied units of the newest 16 blocks (4096 units) in ascending order,
//    or from a new block. A base must not be in use already and p XOR base
//    must be encodable. Blocks leaving that window, and all blocks at the end,
//    are closed: each unoccupied unit x gets the label (x XOR u) & 0xFF, where
//    u is the first index of its block that is nobody's base, so that a
//    padding unit can never match the byte that leads to it.
//
// Lookups do not check bounds (as in darts-clone). A file that comes from
// outside must therefore pass validate(), which guarantees that every probe
// stays inside the array; open() runs it before accepting a file.
#ifndef LX_BASE_DOUBLEARRAY_H
#define LX_BASE_DOUBLEARRAY_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

// The exception texts follow darts-clone's form "<file>:<line>: exception: <text>".
#define LX_DARTS_STR_(x) #x
#define LX_DARTS_STR(x) LX_DARTS_STR_(x)
#define LX_DARTS_THROW(msg)                                                    \
  throw ::Darts::Details::Exception("darts.clone.h:" LX_DARTS_STR(__LINE__)   \
                                    ": exception: " msg)

namespace Darts {
namespace Details {

typedef std::uint32_t id_type;
typedef int (*progress_func_type)(std::size_t, std::size_t);

// Thrown by build() and open(). what() is a string literal fixed at compile
// time, so it stays valid for the whole program.
class Exception : public std::exception {
 public:
  explicit Exception(const char* msg = NULL) noexcept : msg_(msg) {}
  const char* what() const noexcept override { return msg_ != NULL ? msg_ : ""; }

 private:
  const char* msg_;
};

// --- Unit encoding -------------------------------------------------------

constexpr id_type kLeafBit = 1u << 31;
constexpr id_type kHasLeafBit = 1u << 8;
constexpr id_type kExtensionBit = 1u << 9;
constexpr id_type kBlockSize = 256;

inline bool unit_is_leaf(id_type unit) { return (unit & kLeafBit) != 0; }
// The label as lookups compare it; at least 0x80000000 for a leaf unit.
inline id_type unit_label(id_type unit) { return unit & (kLeafBit | 0xFF); }
inline bool unit_has_leaf(id_type unit) { return (unit & kHasLeafBit) != 0; }
inline id_type unit_offset(id_type unit) {
  return (unit >> 10) << ((unit & kExtensionBit) >> 6);
}
inline id_type unit_value(id_type unit) { return unit & ~kLeafBit; }

// True if no lookup on these units can read outside them: the size is a
// positive multiple of the block size, the root is a node and every node's
// base lies inside the array (a child or leaf index is base XOR byte, which
// stays in base's block).
inline bool units_are_safe(const id_type* units, std::size_t size) {
  if (units == NULL || size == 0 || size % kBlockSize != 0) return false;
  if (unit_is_leaf(units[0])) return false;
  for (std::size_t i = 0; i < size; ++i) {
    const id_type unit = units[i];
    if (!unit_is_leaf(unit) && (i ^ unit_offset(unit)) >= size) return false;
  }
  return true;
}

// darts-clone's checks of the first block, done before the array is
// allocated: the root has label 0, no leaf and an offset in [1, 512); the
// other nodes of block 0 have offsets below the unit count.
inline bool first_block_is_plausible(const id_type* units, std::size_t num_units) {
  const id_type root = units[0];
  if (unit_label(root) != 0 || unit_has_leaf(root)) return false;
  const id_type root_offset = unit_offset(root);
  if (root_offset == 0 || root_offset >= 512) return false;
  for (std::size_t i = 1; i < kBlockSize; ++i) {
    const id_type unit = units[i];
    if (!unit_is_leaf(unit) && unit_offset(unit) >= num_units) return false;
  }
  return true;
}

inline id_type from_little_endian(id_type unit) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return __builtin_bswap32(unit);
#else
  return unit;
#endif
}

// --- Placement -----------------------------------------------------------

// Lays nodes out in the unit array the way darts-clone does. Only the
// newest kWindowBlocks blocks are searched for free units; this bounds the
// search cost and fixes the layout that darts-clone's files have.
class UnitPlacer {
 public:
  static constexpr id_type kWindowBlocks = 16;
  static constexpr id_type kWindowUnits = kBlockSize * kWindowBlocks;
  // An offset of 2^21 or more is only encodable as a multiple of 256:
  // it may not have bits in both masks.
  static constexpr id_type kUpperMask = 0xFFu << 21;
  static constexpr id_type kLowerMask = 0xFF;
  static constexpr id_type kNoFree = 0xFFFFFFFFu;

  UnitPlacer() : window_(kWindowUnits), free_head_(kNoFree) {
    reserve(0);
    // No node may get base 0; an empty root keeps offset 1.
    window(0).used_as_base = true;
    set_offset(0, 1);
  }

  // Places the children of `node`: labels[0..n) ascending, with a leading 0
  // meaning that a key with `value` ends at `node`. Returns the base.
  id_type arrange(id_type node, const std::uint8_t* labels, std::size_t n,
                  std::int32_t value) {
    const id_type base = find_base(node, labels, n);
    set_offset(node, node ^ base);
    for (std::size_t i = 0; i < n; ++i) {
      const id_type child = base ^ labels[i];
      reserve(child);
      if (labels[i] == 0) {
        units_[node] |= kHasLeafBit;
        units_[child] = kLeafBit | static_cast<id_type>(value);
      } else {
        units_[child] = (units_[child] & ~0xFFu) | labels[i];
      }
    }
    window(base).used_as_base = true;
    return base;
  }

  // Gives `node` the base of an identical transition list placed earlier,
  // if the relative offset can be encoded.
  bool share(id_type node, id_type base, bool has_leaf) {
    const id_type offset = node ^ base;
    if ((offset & kUpperMask) != 0 && (offset & kLowerMask) != 0) return false;
    if (has_leaf) units_[node] |= kHasLeafBit;
    set_offset(node, offset);
    return true;
  }

  // Closes the blocks still in the window and hands out the units.
  std::vector<id_type> finish() {
    const id_type blocks = num_blocks();
    const id_type begin = blocks > kWindowBlocks ? blocks - kWindowBlocks : 0;
    for (id_type block = begin; block < blocks; ++block) close_block(block);
    return std::move(units_);
  }

 private:
  struct Slot {
    id_type prev = 0;  // ring of unoccupied units, ascending from free_head_
    id_type next = 0;
    bool used_as_base = false;
    bool occupied = false;
  };

  Slot& window(id_type id) { return window_[id % kWindowUnits]; }
  id_type num_units() const { return static_cast<id_type>(units_.size()); }
  id_type num_blocks() const { return num_units() / kBlockSize; }

  void set_offset(id_type node, id_type offset) {
    if (offset >= (1u << 29)) {
      LX_DARTS_THROW("failed to modify unit: too large offset");
    }
    id_type& unit = units_[node];
    unit &= kLeafBit | kHasLeafBit | 0xFF;
    if (offset < (1u << 21)) {
      unit |= offset << 10;
    } else {
      unit |= (offset << 2) | kExtensionBit;  // offset is a multiple of 256
    }
  }

  // First fit: each unoccupied unit f (ascending) proposes f ^ labels[0].
  id_type find_base(id_type node, const std::uint8_t* labels, std::size_t n) {
    if (free_head_ != kNoFree) {
      id_type f = free_head_;
      do {
        const id_type base = f ^ labels[0];
        if (base_fits(node, base, labels, n)) return base;
        f = window(f).next;
      } while (f != free_head_);
    }
    // A base in the next new block, with an offset that is a multiple of 256.
    return num_units() | (node & 0xFF);
  }

  bool base_fits(id_type node, id_type base, const std::uint8_t* labels,
                 std::size_t n) {
    if (window(base).used_as_base) return false;
    const id_type offset = node ^ base;
    if ((offset & kLowerMask) != 0 && (offset & kUpperMask) != 0) return false;
    for (std::size_t i = 1; i < n; ++i) {
      if (window(base ^ labels[i]).occupied) return false;
    }
    return true;
  }

  // Marks `id` occupied, growing the array by a block if needed.
  void reserve(id_type id) {
    if (id >= num_units()) add_block();
    Slot& slot = window(id);
    if (id == free_head_) {
      free_head_ = slot.next;
      if (free_head_ == id) free_head_ = kNoFree;
    }
    window(slot.prev).next = slot.next;
    window(slot.next).prev = slot.prev;
    slot.occupied = true;
  }

  void add_block() {
    const id_type begin = num_units();
    const id_type end = begin + kBlockSize;
    if (num_blocks() + 1 > kWindowBlocks) {
      // The oldest block leaves the window; its slots are reused.
      close_block(num_blocks() - kWindowBlocks);
      for (id_type id = begin; id < end; ++id) window(id) = Slot();
    }
    units_.resize(end, 0);
    for (id_type id = begin; id < end; ++id) {
      window(id).prev = id == begin ? end - 1 : id - 1;
      window(id).next = id + 1 == end ? begin : id + 1;
    }
    if (free_head_ == kNoFree) {
      free_head_ = begin;
    } else {
      // Append the new units after the current last free unit.
      const id_type last = window(free_head_).prev;
      window(begin).prev = last;
      window(last).next = begin;
      window(end - 1).next = free_head_;
      window(free_head_).prev = end - 1;
    }
  }

  void close_block(id_type block) {
    const id_type begin = block * kBlockSize;
    const id_type end = begin + kBlockSize;
    id_type unused_base = 0;
    for (id_type id = begin; id < end; ++id) {
      if (!window(id).used_as_base) {
        unused_base = id;
        break;
      }
    }
    for (id_type id = begin; id < end; ++id) {
      if (!window(id).occupied) {
        reserve(id);
        units_[id] = (units_[id] & ~0xFFu) | ((id ^ unused_base) & 0xFF);
      }
    }
  }

  std::vector<id_type> units_;
  std::vector<Slot> window_;
  id_type free_head_;  // lowest unoccupied unit in the window, or kNoFree
};

// --- Front end without values: a trie walked from the sorted keys ---------

class KeyBytes {
 public:
  KeyBytes(const char* const* keys, const std::size_t* lengths)
      : keys_(keys), lengths_(lengths) {}
  // The byte of key i at `depth`, 0 past its end.
  std::uint8_t at(std::size_t i, std::size_t depth) const {
    if (lengths_ != NULL && depth >= lengths_[i]) return 0;
    return static_cast<std::uint8_t>(keys_[i][depth]);
  }
  bool has_lengths() const { return lengths_ != NULL; }

 private:
  const char* const* keys_;
  const std::size_t* lengths_;
};

inline std::vector<id_type> build_from_keys(std::size_t num_keys,
                                            const char* const* keys,
                                            const std::size_t* lengths,
                                            progress_func_type progress) {
  const KeyBytes key(keys, lengths);
  UnitPlacer placer;
  // A node is the range of keys sharing the first `depth` bytes. The stack
  // gives the same pre-order as a recursion, without its depth limit.
  struct Range {
    std::size_t begin, end, depth;
    id_type node;
  };
  std::vector<Range> stack;
  if (num_keys > 0) stack.push_back(Range{0, num_keys, 0, 0});
  std::vector<std::uint8_t> labels;
  while (!stack.empty()) {
    const Range r = stack.back();
    stack.pop_back();
    labels.clear();
    std::int32_t value = -1;
    for (std::size_t i = r.begin; i < r.end; ++i) {
      const std::uint8_t label = key.at(i, r.depth);
      if (label == 0) {
        if (key.has_lengths() && r.depth < lengths[i]) {
          LX_DARTS_THROW("failed to build double-array: invalid null character");
        }
        // darts-clone would mark the root as a key here and write a file
        // that its own open() refuses.
        if (r.depth == 0) LX_DARTS_THROW("failed to build double-array: zero-length key");
        if (i > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
          LX_DARTS_THROW("failed to build double-array: negative value");
        }
        if (value == -1) value = static_cast<std::int32_t>(i);  // first of equal keys wins
        if (progress != NULL) progress(i + 1, num_keys + 1);
      }
      if (labels.empty() || label != labels.back()) {
        if (!labels.empty() && label < labels.back()) {
          LX_DARTS_THROW("failed to build double-array: wrong key order");
        }
        labels.push_back(label);
      }
    }
    const id_type base = placer.arrange(r.node, labels.data(), labels.size(), value);
    // Push the children so that the smallest label comes off the stack first.
    const std::size_t first_child = stack.size();
    std::size_t i = r.begin;
    while (i < r.end && key.at(i, r.depth) == 0) ++i;
    while (i < r.end) {
      const std::uint8_t label = key.at(i, r.depth);
      std::size_t j = i + 1;
      while (j < r.end && key.at(j, r.depth) == label) ++j;
      stack.push_back(Range{i, j, r.depth + 1, base ^ label});
      i = j;
    }
    std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(first_child), stack.end());
  }
  return placer.finish();
}

// --- Front end with values: a minimal DAWG --------------------------------

// Builds a minimal acyclic automaton from sorted keys (incremental
// minimization): when a key leaves the path of the previous one, the
// finished states of that path are registered bottom-up, and a state whose
// transition list equals a registered one is replaced by it.
class DawgBuilder {
 public:
  struct Transition {
    id_type target;  // the child state, or the value for label 0
    std::uint8_t label;
    bool last;       // last transition of its state
    bool shared;     // (first transition) the state occurred more than once
  };
  static constexpr id_type kNone = 0xFFFFFFFFu;

  DawgBuilder() : table_(1024), num_states_(0), has_keys_(false) {}

  void insert(const char* key, std::size_t length, std::int32_t value) {
    if (value < 0) LX_DARTS_THROW("failed to insert key: negative value");
    if (length == 0) LX_DARTS_THROW("failed to insert key: zero-length key");
    // darts-clone only checks the part shared with the previous key; a NUL
    // elsewhere would silently corrupt the dictionary.
    if (std::memchr(key, '\0', length) != NULL) {
      LX_DARTS_THROW("failed to insert key: invalid null character");
    }
    const std::uint8_t* bytes = reinterpret_cast<const std::uint8_t*>(key);
    std::size_t common = 0;
    if (has_keys_) {
      const std::size_t prev_len = prev_.size();
      while (common < prev_len && common < length && prev_[common] == bytes[common]) ++common;
      if (common == length && common == prev_len) return;  // duplicate: first value wins
      if (common == length || (common < prev_len && bytes[common] < prev_[common])) {
        LX_DARTS_THROW("failed to insert key: wrong key order");
      }
      for (std::size_t depth = prev_len; depth > common; --depth) close_deepest_state();
    } else {
      state_starts_.assign(1, 0);  // the root, at depth 0
      has_keys_ = true;
    }
    pending_.push_back(Pending{bytes[common], 0});
    for (std::size_t depth = common + 1; depth < length; ++depth) {
      state_starts_.push_back(pending_.size());
      pending_.push_back(Pending{bytes[depth], 0});
    }
    state_starts_.push_back(pending_.size());
    pending_.push_back(Pending{0, static_cast<id_type>(value)});
    prev_.assign(bytes, bytes + length);
  }

  // Registers the rest of the last key's path; returns the root state, or
  // kNone without keys.
  id_type finish() {
    if (!has_keys_) return kNone;
    while (state_starts_.size() > 1) close_deepest_state();
    const id_type root = register_state(pending_.data(), pending_.size());
    pending_.clear();
    state_starts_.clear();
    return root;
  }

  const Transition* state(id_type id) const { return &states_[id]; }

 private:
  struct Pending {
    std::uint8_t label;
    id_type target;
  };

  void close_deepest_state() {
    const std::size_t start = state_starts_.back();
    state_starts_.pop_back();
    const id_type id = register_state(&pending_[start], pending_.size() - start);
    pending_.resize(start);
    pending_.back().target = id;
  }

  static std::uint64_t hash(const Pending* list, std::size_t n) {
    std::uint64_t h = n;
    for (std::size_t i = 0; i < n; ++i) {
      h ^= (static_cast<std::uint64_t>(list[i].label) << 32) | list[i].target;
      h *= 0x9E3779B97F4A7C15ull;
      h ^= h >> 29;
    }
    return h;
  }

  bool equals(id_type id, const Pending* list, std::size_t n) const {
    for (std::size_t i = 0; i < n; ++i) {
      const Transition& t = states_[id + i];
      if (t.label != list[i].label || t.target != list[i].target) return false;
      if (t.last != (i + 1 == n)) return false;
    }
    return true;
  }

  // Open addressing with linear probing, at most half full. A slot keeps
  // the state's hash so that most mismatches cost no visit to states_.
  struct Slot {
    id_type id_plus_one = 0;  // 0: empty
    std::uint32_t hash = 0;
  };

  id_type register_state(const Pending* list, std::size_t n) {
    if (2 * (num_states_ + 1) > table_.size()) grow_table();
    const std::size_t mask = table_.size() - 1;
    const std::uint64_t h = hash(list, n);
    const std::uint32_t tag = static_cast<std::uint32_t>(h >> 32);
    std::size_t slot = static_cast<std::size_t>(h) & mask;
    for (; table_[slot].id_plus_one != 0; slot = (slot + 1) & mask) {
      const id_type id = table_[slot].id_plus_one - 1;
      if (table_[slot].hash == tag && equals(id, list, n)) {
        states_[id].shared = true;
        return id;
      }
    }
    if (states_.size() + n >= kNone) throw std::bad_alloc();
    const id_type id = static_cast<id_type>(states_.size());
    for (std::size_t i = 0; i < n; ++i) {
      states_.push_back(Transition{list[i].target, list[i].label, i + 1 == n, false});
    }
    table_[slot].id_plus_one = id + 1;
    table_[slot].hash = tag;
    ++num_states_;
    return id;
  }

  // Doubles the table; slots are recomputed from the states' hashes.
  void grow_table() {
    std::vector<Slot> old(table_.size() * 2);
    old.swap(table_);
    const std::size_t mask = table_.size() - 1;
    std::vector<Pending> list;
    for (const Slot& entry : old) {
      if (entry.id_plus_one == 0) continue;
      const id_type id = entry.id_plus_one - 1;
      list.clear();
      for (std::size_t i = id;; ++i) {
        list.push_back(Pending{states_[i].label, states_[i].target});
        if (states_[i].last) break;
      }
      std::size_t slot = static_cast<std::size_t>(hash(list.data(), list.size())) & mask;
      while (table_[slot].id_plus_one != 0) slot = (slot + 1) & mask;
      table_[slot] = entry;
    }
  }

  std::vector<Transition> states_;  // registered states, transitions in label order
  std::vector<Slot> table_;
  std::size_t num_states_;
  // The path of the previous key: the states at depth 0..prev_.size(), each a
  // run of pending_ starting at state_starts_[depth].
  std::vector<Pending> pending_;
  std::vector<std::size_t> state_starts_;
  std::vector<std::uint8_t> prev_;
  bool has_keys_;
};

template <class V>
std::vector<id_type> build_from_values(std::size_t num_keys, const char* const* keys,
                                       const std::size_t* lengths, const V* values,
                                       progress_func_type progress) {
  DawgBuilder dawg;
  for (std::size_t i = 0; i < num_keys; ++i) {
    const std::size_t length = lengths != NULL ? lengths[i] : std::strlen(keys[i]);
    const V value = values[i];  // a 32-bit signed integer
    dawg.insert(keys[i], length, static_cast<std::int32_t>(value));
    if (progress != NULL) progress(i + 1, num_keys + 1);
  }
  const id_type root = dawg.finish();

  UnitPlacer placer;
  if (root != DawgBuilder::kNone) {
    std::unordered_map<id_type, id_type> shared_bases;  // newest base of a shared state
    struct Item {
      id_type state, node;
    };
    std::vector<Item> stack(1, Item{root, 0});
    std::vector<std::uint8_t> labels;
    while (!stack.empty()) {
      const Item item = stack.back();
      stack.pop_back();
      const DawgBuilder::Transition* t = dawg.state(item.state);
      if (t[0].shared) {
        auto placed = shared_bases.find(item.state);
        if (placed != shared_bases.end() &&
            placer.share(item.node, placed->second, t[0].label == 0)) {
          continue;
        }
      }
      labels.clear();
      std::size_t n = 0;
      do {
        labels.push_back(t[n].label);
      } while (!t[n++].last);
      const std::int32_t value = t[0].label == 0 ? static_cast<std::int32_t>(t[0].target) : -1;
      const id_type base = placer.arrange(item.node, labels.data(), n, value);
      if (t[0].shared) shared_bases[item.state] = base;
      for (std::size_t i = n; i-- > 0;) {
        if (t[i].label != 0) stack.push_back(Item{t[i].target, base ^ t[i].label});
      }
    }
  }
  return placer.finish();
}

}  // namespace Details

// The darts-clone interface. Only value types of 32 bits are meaningful:
// values are stored in 31 bits.
template <typename, typename, typename T, typename>
class DoubleArrayImpl {
  static_assert(std::is_integral<T>::value && std::is_signed<T>::value && sizeof(T) == 4,
                "values are non-negative 31-bit integers held in a 32-bit int");

 public:
  typedef T value_type;
  typedef char key_type;
  typedef value_type result_type;  // for compatibility

  struct result_pair_type {
    value_type value;
    std::size_t length;
  };

  DoubleArrayImpl() : size_(0), array_(NULL) {}
  ~DoubleArrayImpl() { clear(); }
  DoubleArrayImpl(const DoubleArrayImpl&) = delete;
  DoubleArrayImpl& operator=(const DoubleArrayImpl&) = delete;

  // Uses `ptr` as the unit array as it is (host byte order), without
  // copying or checking it; the caller keeps ownership. Call validate()
  // before searching memory of unknown origin.
  void set_array(const void* ptr, std::size_t size = 0) {
    clear();
    array_ = static_cast<const Details::id_type*>(ptr);
    size_ = size;
  }
  const void* array() const { return array_; }

  void clear() {
    std::vector<Details::id_type>().swap(buf_);
    array_ = NULL;
    size_ = 0;
  }

  std::size_t unit_size() const { return sizeof(Details::id_type); }
  std::size_t size() const { return size_; }
  std::size_t total_size() const { return unit_size() * size(); }
  std::size_t nonzero_size() const { return size(); }

  // Builds from keys in ascending unsigned byte order (a prefix before its
  // extensions). Keys are NUL-terminated unless `lengths` is given, and may
  // not be empty or contain NUL. Without `values`, key i gets the value i;
  // given values must lie in [0, 2^31). Of equal adjacent keys only the
  // first is stored. Returns 0; throws Details::Exception on invalid input
  // (and std::bad_alloc when memory runs out). On failure the current array
  // is kept.
  int build(std::size_t num_keys, const key_type* const* keys,
            const std::size_t* lengths = NULL, const value_type* values = NULL,
            Details::progress_func_type progress_func = NULL) {
    std::vector<Details::id_type> units =
        values == NULL
            ? Details::build_from_keys(num_keys, keys, lengths, progress_func)
            : Details::build_from_values(num_keys, keys, lengths, values, progress_func);
    clear();
    buf_.swap(units);
    array_ = buf_.data();
    size_ = buf_.size();
    if (progress_func != NULL) progress_func(num_keys + 1, num_keys + 1);
    return 0;
  }

  // Reads `size` bytes (0: the rest of the file) at byte `offset` of the
  // file. Returns 0, or -1 with the current array kept if the file cannot be
  // opened or read, the byte count is not a multiple of 4, the unit count is
  // not a positive multiple of 256, the range runs past the end of the file,
  // or the units fail darts-clone's checks or validate(). Throws
  // Details::Exception if the units cannot be allocated.
  int open(const char* file_name, const char* mode = "rb", std::size_t offset = 0,
           std::size_t size = 0) {
    File file(std::fopen(file_name, mode));
    if (file.get() == NULL) return -1;
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return -1;
    const long file_size = std::ftell(file.get());
    if (file_size < 0 || offset > static_cast<unsigned long>(file_size)) return -1;
    const std::size_t available = static_cast<std::size_t>(file_size) - offset;
    if (size == 0) size = available;
    if (size > available) return -1;  // the read would come up short
    if (size % unit_size() != 0) return -1;
    const std::size_t num_units = size / unit_size();
    if (num_units < Details::kBlockSize || num_units % Details::kBlockSize != 0) return -1;
    if (std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) != 0) return -1;

    Details::id_type first_block[Details::kBlockSize];
    if (!read_units(file.get(), first_block, Details::kBlockSize)) return -1;
    if (!Details::first_block_is_plausible(first_block, num_units)) return -1;

    std::vector<Details::id_type> units;
    try {
      units.resize(num_units);
    } catch (const std::bad_alloc&) {
      throw Details::Exception(
          "darts.clone.h:430: exception: failed to open double-array: std::bad_alloc");
    } catch (const std::length_error&) {
      throw Details::Exception(
          "darts.clone.h:430: exception: failed to open double-array: std::bad_alloc");
    }
    std::copy(first_block, first_block + Details::kBlockSize, units.begin());
    if (!read_units(file.get(), units.data() + Details::kBlockSize,
                    num_units - Details::kBlockSize)) {
      return -1;
    }
    if (!Details::units_are_safe(units.data(), units.size())) return -1;
    clear();
    buf_.swap(units);
    array_ = buf_.data();
    size_ = buf_.size();
    return 0;
  }

  // Writes the units little-endian at byte `offset` of the file opened with
  // `mode`. Returns 0, or -1 if there are no units or any step fails.
  int save(const char* file_name, const char* mode = "wb", std::size_t offset = 0) const {
    if (array_ == NULL || size_ == 0) return -1;
    if (offset > static_cast<std::size_t>(std::numeric_limits<long>::max())) return -1;
    File file(std::fopen(file_name, mode));
    if (file.get() == NULL) return -1;
    if (std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) != 0) return -1;
    Details::id_type chunk[1024];
    for (std::size_t done = 0; done < size_;) {
      const std::size_t n = std::min<std::size_t>(size_ - done, 1024);
      for (std::size_t i = 0; i < n; ++i) {
        chunk[i] = Details::from_little_endian(array_[done + i]);  // the swap is symmetric
      }
      if (std::fwrite(chunk, sizeof(chunk[0]), n, file.get()) != n) return -1;
      done += n;
    }
    return std::fclose(file.release()) == 0 ? 0 : -1;
  }

  // Our extension: true if no search or traverse from the root (or from a
  // node_pos that traverse returned) can read outside the array, whatever
  // the units hold. See Details::units_are_safe.
  bool validate() const { return Details::units_are_safe(array_, size_); }

  // Looks up the key (`length` bytes, or NUL-terminated if 0) from node
  // `node_pos`. The result is the value, or -1 if the key is absent; the
  // result_pair_type form also gives the key's length (0 when absent).
  template <class U>
  void exactMatchSearch(const key_type* key, U& result, std::size_t length = 0,
                        std::size_t node_pos = 0) const {
    result = exactMatchSearch<U>(key, length, node_pos);
  }

  template <class U>
  U exactMatchSearch(const key_type* key, std::size_t length = 0,
                     std::size_t node_pos = 0) const {
    U result;
    set_result(&result, static_cast<value_type>(-1), 0);
    Details::id_type unit = array_[node_pos];
    std::size_t i = 0;
    for (; length != 0 ? i < length : key[i] != '\0'; ++i) {
      const std::uint8_t c = static_cast<std::uint8_t>(key[i]);
      node_pos ^= Details::unit_offset(unit) ^ c;
      unit = array_[node_pos];
      if (Details::unit_label(unit) != c) return result;
    }
    if (!Details::unit_has_leaf(unit)) return result;
    unit = array_[node_pos ^ Details::unit_offset(unit)];
    set_result(&result, static_cast<value_type>(Details::unit_value(unit)), i);
    return result;
  }

  // Stores the keys that are prefixes of the given key, shortest first, as
  // (value, length) or values, at most max_num_results of them. Returns the
  // number of such keys, which may exceed max_num_results.
  template <class U>
  std::size_t commonPrefixSearch(const key_type* key, U* results,
                                 std::size_t max_num_results, std::size_t length = 0,
                                 std::size_t node_pos = 0) const {
    // A NUL-terminated key is searched up to its NUL, which no key holds.
    if (length == 0)
      while (key[length] != '\0') ++length;
    if (length == 0) return 0;
    return commonPrefixSearchFromBase(key, results, max_num_results, length, node_base(node_pos));
  }

  // commonPrefixSearch(key, ..., node_pos) for a node whose base (node_pos
  // XOR its unit's offset) the caller already has; length > 0.
  template <class U>
  std::size_t commonPrefixSearchFromBase(const key_type* key, U* results,
                                         std::size_t max_num_results, std::size_t length,
                                         std::size_t base) const {
    std::size_t num_results = 0;
    std::size_t node_pos = base;
    for (std::size_t i = 0; i < length; ++i) {
      const std::uint8_t c = static_cast<std::uint8_t>(key[i]);
      node_pos ^= c;
      const Details::id_type unit = array_[node_pos];
      if (Details::unit_label(unit) != c) break;
      node_pos ^= Details::unit_offset(unit);
      if (Details::unit_has_leaf(unit)) {
        if (num_results < max_num_results) {
          set_result(&results[num_results],
                     static_cast<value_type>(Details::unit_value(array_[node_pos])), i + 1);
        }
        ++num_results;
      }
    }
    return num_results;
  }

  // The base of node `node_pos` (its index XOR its unit's offset): where
  // commonPrefixSearchFromBase starts, and where the child under byte c
  // lies (base ^ c).
  std::size_t node_base(std::size_t node_pos) const {
    return node_pos ^ Details::unit_offset(array_[node_pos]);
  }
  const Details::id_type* units() const { return array_; }

  // The longest key that is a prefix of the given key, as for
  // exactMatchSearch (-1 and length 0 if there is none).
  template <class U>
  void commonLongestPrefixSearch(const key_type* key, U& result, std::size_t length = 0,
                                 std::size_t node_pos = 0) const {
    result = commonLongestPrefixSearch<U>(key, length, node_pos);
  }

  template <class U>
  U commonLongestPrefixSearch(const key_type* key, std::size_t length = 0,
                              std::size_t node_pos = 0) const {
    U result;
    set_result(&result, static_cast<value_type>(-1), 0);
    node_pos ^= Details::unit_offset(array_[node_pos]);
    for (std::size_t i = 0; length != 0 ? i < length : key[i] != '\0'; ++i) {
      const std::uint8_t c = static_cast<std::uint8_t>(key[i]);
      node_pos ^= c;
      const Details::id_type unit = array_[node_pos];
      if (Details::unit_label(unit) != c) break;
      node_pos ^= Details::unit_offset(unit);
      if (Details::unit_has_leaf(unit)) {
        set_result(&result, static_cast<value_type>(Details::unit_value(array_[node_pos])),
                   i + 1);
      }
    }
    return result;
  }

  // Walks key[key_pos..) from node `node_pos`, up to the end index `length`
  // (or a NUL if 0), advancing both positions per matched byte. Returns -2
  // at the first byte without a child (key_pos is then that byte's index),
  // else the value if a key ends at the final node, else -1.
  value_type traverse(const key_type* key, std::size_t& node_pos, std::size_t& key_pos,
                      std::size_t length = 0) const {
    std::size_t id = node_pos;
    Details::id_type unit = array_[id];
    for (; length != 0 ? key_pos < length : key[key_pos] != '\0'; ++key_pos) {
      const std::uint8_t c = static_cast<std::uint8_t>(key[key_pos]);
      id ^= Details::unit_offset(unit) ^ c;
      unit = array_[id];
      if (Details::unit_label(unit) != c) return static_cast<value_type>(-2);
      node_pos = id;
    }
    if (!Details::unit_has_leaf(unit)) return static_cast<value_type>(-1);
    unit = array_[id ^ Details::unit_offset(unit)];
    return static_cast<value_type>(Details::unit_value(unit));
  }

 private:
  // Closes the file on every return path.
  class File {
   public:
    explicit File(std::FILE* file) : file_(file) {}
    ~File() {
      if (file_ != NULL) std::fclose(file_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    std::FILE* get() const { return file_; }
    std::FILE* release() {
      std::FILE* file = file_;
      file_ = NULL;
      return file;
    }

   private:
    std::FILE* file_;
  };

  static bool read_units(std::FILE* file, Details::id_type* units, std::size_t n) {
    if (std::fread(units, sizeof(units[0]), n, file) != n) return false;
    for (std::size_t i = 0; i < n; ++i) units[i] = Details::from_little_endian(units[i]);
    return true;
  }

  static void set_result(value_type* result, value_type value, std::size_t) {
    *result = value;
  }
  static void set_result(result_pair_type* result, value_type value, std::size_t length) {
    result->value = value;
    result->length = length;
  }

  std::size_t size_;
  const Details::id_type* array_;
  std::vector<Details::id_type> buf_;  // the units when owned
};

typedef DoubleArrayImpl<void, void, int, void> DoubleArray;

}  // namespace Darts

// The same double array under a second namespace, as some dictionaries use it.
namespace Darts2 {
using Darts::DoubleArrayImpl;
typedef Darts::DoubleArray DoubleArray;
namespace Details {
using Darts::Details::Exception;
using Darts::Details::progress_func_type;
}  // namespace Details
}  // namespace Darts2

#endif  // LX_BASE_DOUBLEARRAY_H
