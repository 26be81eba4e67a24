// Trie whose child maps are LHash tables.
//
// A node holds a value (m_data) and a table m_sub from the next key to the
// child node.  A key path is an array of keys ended by the key type's no-key
// value; a null path is the empty path and designates the node itself.
//
// Children live inside their parent's table, so inserting a key into a node's
// child map may move that node's children: node pointers obtained earlier
// below that node are valid only until the next insertion there.
#ifndef LX_BASE_TRIE_H
#define LX_BASE_TRIE_H

#include "base/LHash.h"

template <class KeyT, class DataT>
class Trie {
 public:
  LHash<KeyT, Trie> m_sub;  // next key -> child node
  DataT m_data;             // this node's value

  Trie() : m_sub(), m_data() {}
  // Children are destroyed before the node's own value.
  ~Trie() { m_sub.clear(); }
  Trie(const Trie&) = default;
  Trie(Trie&&) = default;
  Trie& operator=(const Trie&) = default;
  Trie& operator=(Trie&&) = default;

  DataT& value() { return m_data; }
  const DataT& value() const { return m_data; }
  // Number of children.
  unsigned num_entries() const { return m_sub.num_entries(); }

  // The node at the end of `keys`, or null (foundP false) as soon as a key of
  // the path is missing.  Only reads the trie.
  Trie* find_trie(const KeyT* keys, bool& foundP) const {
    Trie* node = const_cast<Trie*>(this);
    if (keys != 0) {
      for (unsigned i = 0; !LHashKey<KeyT>::isNoKey(keys[i]); i++) {
        node = node->m_sub.find(keys[i], foundP);
        if (node == 0) return 0;
      }
    }
    foundP = true;
    return node;
  }
  Trie* find_trie(const KeyT* keys) const {
    bool foundP;
    return find_trie(keys, foundP);
  }

  // The node at the end of `keys`, created with every missing node on the
  // way; foundP tells whether that final node existed before.
  Trie* insert_trie(const KeyT* keys, bool& foundP) {
    Trie* node = this;
    foundP = true;
    if (keys != 0) {
      for (unsigned i = 0; !LHashKey<KeyT>::isNoKey(keys[i]); i++)
        node = node->m_sub.insert(keys[i], foundP);
    }
    return node;
  }
  Trie* insert_trie(const KeyT* keys) {
    bool foundP;
    return insert_trie(keys, foundP);
  }

  // The same, returning the node's value.
  DataT* find(const KeyT* keys, bool& foundP) const {
    Trie* node = find_trie(keys, foundP);
    return node ? &node->m_data : 0;
  }
  DataT* find(const KeyT* keys) const {
    bool foundP;
    return find(keys, foundP);
  }
  DataT* insert(const KeyT* keys, bool& foundP) { return &insert_trie(keys, foundP)->m_data; }
  DataT* insert(const KeyT* keys) {
    bool foundP;
    return insert(keys, foundP);
  }
};

// Enumerates the nodes at one depth of a trie.  Each node comes with its path
// in keys[0 .. level - 1], and keys[level] is set to the no-key value, so the
// caller's buffer needs level + 1 elements.  With a sort function the
// children of every node are visited in that order (see LHashIter).
template <class KeyT, class DataT>
class TrieIter2 {
 public:
  typedef Trie<KeyT, DataT> TrieT;
  typedef int (*CompareFn)(KeyT, KeyT);

  TrieIter2(const TrieT& trie, KeyT* keys, unsigned level, CompareFn sort = 0)
      : m_my_trie(trie),
        m_keys(keys),
        m_level(level),
        sort(sort),
        m_my_iter(trie.m_sub, sort),
        m_sub_iter(0),
        m_done(false) {}
  ~TrieIter2() { delete m_sub_iter; }

  // Starts over.
  void init() {
    delete m_sub_iter;
    m_sub_iter = 0;
    m_my_iter.init();
    m_done = false;
  }

  // The next node at depth m_level, or null at the end.
  TrieT* next() {
    if (m_level == 0) {
      if (m_done) return 0;
      m_done = true;
      if (m_keys) m_keys[0] = LHashKey<KeyT>::noKey();
      return const_cast<TrieT*>(&m_my_trie);
    }
    if (m_level == 1) {
      TrieT* child = m_my_iter.next(m_keys[0]);
      if (child) m_keys[1] = LHashKey<KeyT>::noKey();
      return child;
    }
    for (;;) {
      if (m_sub_iter) {
        TrieT* node = m_sub_iter->next();
        if (node) return node;
        delete m_sub_iter;
        m_sub_iter = 0;
      }
      TrieT* child = m_my_iter.next(m_keys[0]);
      if (child == 0) return 0;
      m_sub_iter = new TrieIter2(*child, m_keys + 1, m_level - 1, sort);
    }
  }

 private:
  TrieIter2(const TrieIter2&) = delete;
  TrieIter2& operator=(const TrieIter2&) = delete;

 public:
  const TrieT& m_my_trie;            // root
  KeyT* m_keys;                      // receives the path
  unsigned m_level;                  // depth enumerated
  CompareFn sort;                    // key comparison, or null
  LHashIter<KeyT, TrieT> m_my_iter;  // over the root's children
  TrieIter2* m_sub_iter;             // one level down (owned), for levels above 1
  bool m_done;                       // level 0: the root was returned
};

#endif  // LX_BASE_TRIE_H
