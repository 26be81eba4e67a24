#include "lm/Ngram.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>
#include <vector>

#include "base/File.h"
#include "lm/BigramTable.h"
#include "lm/PodArray.h"
#include "lm/Counts.h"

extern "C" {
__attribute__((visibility("default"))) const char* Ngram_BinaryFormatString =
    "ZV_VELDOR_BINARY_NGRAM\n";
}

namespace {

const char kNoUnkMessage[] = "the model has no <unk>";

// Highest order a file may declare.  Loading recurses once per level, so the
// declared order bounds the stack depth; real models have 3 to 5 levels.
const unsigned kMaxFileOrder = 100;

// Every probability entry of a binary node takes at least a 2-byte word id
// and a 4-byte float.
const unsigned long long kMinProbEntryBytes = 6;

// Width of the length field of a node written at `level` (the root is level
// 1) of a model of order `order`: the deepest level holds only probabilities
// and stays small, the levels above it hold whole subtrees.
unsigned length_field_bytes(unsigned order, unsigned level) {
  if (level == order) return 2;
  return order - level < 4 ? 4 : 8;
}

// Bytes of the shortest encoding of `count` (8 also for counts that cannot be
// encoded at all; write_binary_count rejects those).
unsigned count_bytes(unsigned long long count) {
  if (count < 0x8000ull) return 2;
  if (count < (1ull << 30)) return 4;
  return 8;
}

// Whether inserting `key` would exceed the capacity of a hash table (which
// would throw): checked first, so that the loader reports the file position.
template <class DataT>
bool table_full(const LHash<VocabIndex, DataT>& table, VocabIndex key) {
  return table.num_entries() >= LHash_maxEntriesLimit && table.find(key) == 0;
}

// Reports a file that could not be opened, read or closed as
// "<file>: <reason>"; false, for the caller to return.
bool file_error(const char* name, int err) {
  std::cerr << (name ? name : "(null)") << ": " << std::strerror(err != 0 ? err : EIO) << "\n";
  return false;
}

// The keys of a table in ascending order.  The writer emits entries in this
// order so that equal models give identical files.
template <class DataT>
void sorted_keys(const LHash<VocabIndex, DataT>& table, std::vector<VocabIndex>& keys) {
  keys.clear();
  keys.reserve(table.num_entries());
  LHashIter<VocabIndex, DataT> iter(table);
  VocabIndex key;
  while (iter.next(key)) keys.push_back(key);
  std::sort(keys.begin(), keys.end());
}

// A word id of the text format: decimal digits only, below the no-key value.
bool parse_word_id(const char* text, VocabIndex& id) {
  if (*text == '\0') return false;
  unsigned long long value = 0;
  for (const char* p = text; *p; p++) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + (unsigned)(*p - '0');
    if (value >= Vocab_None) return false;
  }
  id = (VocabIndex)value;
  return true;
}

void count_memory(const BOtrie& node, MemStats& stats) {
  const LHash<VocabIndex, LogP>& probs = node.value().probs;
  stats.total += probs.body_bytes();
  if (probs.num_slots() > probs.num_entries()) {
    stats.wasted += (size_t)(probs.num_slots() - probs.num_entries()) *
                    (probs.body_bytes() / std::max(1u, probs.num_slots()));
  }
  stats.total += node.m_sub.body_bytes();
  if (node.m_sub.num_slots() > node.m_sub.num_entries()) {
    stats.wasted += (size_t)(node.m_sub.num_slots() - node.m_sub.num_entries()) * sizeof(BOtrie);
  }
  LHashIter<VocabIndex, BOtrie> iter(node.m_sub);
  VocabIndex key;
  while (const BOtrie* child = iter.next(key)) count_memory(*child, stats);
}

unsigned long count_ngrams(const BOtrie& node, unsigned depth) {
  if (depth == 0) return node.value().probs.num_entries();
  unsigned long total = 0;
  LHashIter<VocabIndex, BOtrie> iter(node.m_sub);
  VocabIndex key;
  while (const BOtrie* child = iter.next(key)) total += count_ngrams(*child, depth - 1);
  return total;
}

}  // namespace

bool parseLogP(const char* text, LogP& result) {
  const char* p = text;
  bool minus = false;
  if (*p == '-') {
    minus = true;
    p++;
  } else if (*p == '+') {
    p++;
  }
  const char* body = p;

  // Fast exact path: [digits][.digits] with at most 8 digits in all, so that
  // both the digit value and the power of ten are exact integers.
  unsigned long digits = 0;
  unsigned long scale = 1;
  unsigned precision = 0;
  while (*p >= '0' && *p <= '9') {
    if (precision < 9) digits = digits * 10 + (unsigned)(*p - '0');
    precision++;
    p++;
  }
  if (*p == '.') {
    p++;
    while (*p >= '0' && *p <= '9') {
      if (precision < 9) {
        digits = digits * 10 + (unsigned)(*p - '0');
        scale *= 10;
      }
      precision++;
      p++;
    }
  }
  if (*p == '\0' && precision > 0 && precision < 9) {
    LogP value = (LogP)digits / (LogP)scale;
    result = minus ? -value : value;
    return true;
  }
  if (std::strncmp(body, "Inf", 3) == 0 || std::strncmp(body, "inf", 3) == 0) {
    result = minus ? LogP_Zero : LogP_Inf;
    return true;
  }
  return std::sscanf(text, "%f", &result) == 1;
}

// ---------------------------------------------------------------------------
// Packed form

namespace {

const uint32_t kAbsent = 0xFFFFFFFFu;

// Whether `word` is among the ascending keys[0 .. n - 1], and where.
inline bool search(const VocabIndex* keys, uint32_t n, VocabIndex word, uint32_t& pos) {
  const VocabIndex* it = std::lower_bound(keys, keys + n, word);
  pos = (uint32_t)(it - keys);
  return it != keys + n && *it == word;
}

// Direct positions of the smaller words of a large ascending key array: at[w]
// is the position of word w (kAbsent if none) for every w below at.size(),
// which is bounded by twice the number of keys; larger words (such as the
// unknown word's high id) are searched from `tail` on.
struct DirectIndex {
  std::vector<uint32_t> at;
  uint32_t tail = 0;

  void build(const VocabIndex* keys, uint32_t n) {
    const size_t bound = n == 0 ? 0 : std::min<size_t>((size_t)keys[n - 1] + 1, 2 * (size_t)n + 64);
    at.assign(bound, kAbsent);
    tail = 0;
    while (tail < n && keys[tail] < bound) {
      at[keys[tail]] = tail;
      tail++;
    }
  }
  bool find(const VocabIndex* keys, uint32_t n, VocabIndex word, uint32_t& pos) const {
    if (word < at.size()) {
      pos = at[word];
      return pos != kAbsent;
    }
    if (!search(keys + tail, n - tail, word, pos)) return false;
    pos += tail;
    return true;
  }
};

}  // namespace

// Node i of the trie is nodes[i] (the root is node 0).  Its probabilities
// are words/probs[probs .. probs + num_probs - 1], ascending by word; its
// children child_words/child_nodes[children .. children + num_children - 1],
// ascending by word.
struct Ngram::Packed {
  struct Node {
    LogP bow;
    uint32_t probs, num_probs;
    uint32_t children, num_children;
  };
  PodArray<Node> nodes;
  PodArray<VocabIndex> words;
  PodArray<LogP> probs;
  PodArray<VocabIndex> child_words;
  PodArray<uint32_t> child_nodes;
  // The root holds most of the words: direct positions there.
  DirectIndex root_words, root_children;
  const LogP* find_prob(uint32_t node, VocabIndex word) const {
    const Node& n = nodes[node];
    const VocabIndex* keys = words.data() + n.probs;
    uint32_t pos;
    bool hit = node == 0 ? root_words.find(keys, n.num_probs, word, pos)
                         : search(keys, n.num_probs, word, pos);
    return hit ? &probs[n.probs + pos] : 0;
  }
  bool find_child(uint32_t node, VocabIndex word, uint32_t& child) const {
    const Node& n = nodes[node];
    const VocabIndex* keys = child_words.data() + n.children;
    uint32_t pos;
    bool hit = node == 0 ? root_children.find(keys, n.num_children, word, pos)
                         : search(keys, n.num_children, word, pos);
    if (hit) child = child_nodes[n.children + pos];
    return hit;
  }

  // Node index of a new node whose probabilities start at the end of words.
  uint32_t add_node() {
    nodes.push_back(Node{LogP_One, words.size(), 0, 0, 0});
    return nodes.size() - 1;
  }
  // Trims the arrays and indexes the root, once everything is in.
  void finish() {
    nodes.trim();
    words.trim();
    probs.trim();
    child_words.trim();
    child_nodes.trim();
    const Node& root = nodes[0];
    root_words.build(words.data() + root.probs, root.num_probs);
    root_children.build(child_words.data() + root.children, root.num_children);
  }
  // The model in a BigramTable when no context is longer than one word (no
  // node below the root has children), or null.
  std::unique_ptr<BigramTable> to_bigrams() const {
    const Node& root = nodes[0];
    for (uint32_t i = root.children; i < root.children + root.num_children; i++)
      if (nodes[child_nodes[i]].num_children != 0) return nullptr;
    std::unique_ptr<BigramTable> table(new BigramTable());
    table->set_root_bow(root.bow);
    table->reserve_unigrams(root.num_probs);
    bool ok = true;
    for (uint32_t i = root.probs; ok && i < root.probs + root.num_probs; i++)
      ok = table->add_unigram(words[i], probs[i]);
    for (uint32_t i = root.children; ok && i < root.children + root.num_children; i++) {
      const Node& child = nodes[child_nodes[i]];
      ok = table->add_context(child_words[i]);
      if (!ok) break;
      table->set_context_bow(child.bow);
      table->reserve_bigrams(child.num_probs);
      for (uint32_t j = child.probs; ok && j < child.probs + child.num_probs; j++)
        ok = table->add_bigram(words[j], probs[j]);
    }
    if (!ok) return nullptr;
    table->finish();
    return table;
  }
  size_t bytes() const {
    return sizeof(*this) + nodes.bytes() + words.bytes() + probs.bytes() + child_words.bytes() +
           child_nodes.bytes() + (root_words.at.capacity() + root_children.at.capacity()) * 4;
  }

  // Copies a built trie in (node `index`, already added, takes `tree`).
  void pack(const BOtrie& tree, uint32_t index, std::vector<VocabIndex>& keys) {
    const BOnode& data = tree.value();
    nodes[index].bow = data.bow;
    sorted_keys(data.probs, keys);
    nodes[index].probs = words.size();
    nodes[index].num_probs = (uint32_t)keys.size();
    for (VocabIndex w : keys) {
      words.push_back(w);
      probs.push_back(*data.probs.find(w));
    }
    sorted_keys(tree.m_sub, keys);
    const uint32_t first = child_words.size(), n = (uint32_t)keys.size();
    nodes[index].children = first;
    nodes[index].num_children = n;
    for (VocabIndex w : keys) {
      child_words.push_back(w);
      child_nodes.push_back(kAbsent);
    }
    for (uint32_t i = 0; i < n; i++) {
      const uint32_t child = add_node();
      child_nodes[first + i] = child;
      pack(*tree.m_sub.find(child_words[first + i]), child, keys);
    }
  }
  // Copies node `index` out into `tree`.
  void unpack(uint32_t index, BOtrie& tree) const {
    const Node& n = nodes[index];
    tree.value().bow = n.bow;
    for (uint32_t i = n.probs; i < n.probs + n.num_probs; i++)
      *tree.value().probs.insert(words[i]) = probs[i];
    for (uint32_t i = n.children; i < n.children + n.num_children; i++)
      unpack(child_nodes[i], *tree.m_sub.insert(child_words[i]));
  }
  unsigned long count(uint32_t index, unsigned depth) const {
    const Node& n = nodes[index];
    if (depth == 0) return n.num_probs;
    unsigned long total = 0;
    for (uint32_t i = n.children; i < n.children + n.num_children; i++)
      total += count(child_nodes[i], depth - 1);
    return total;
  }
};

Ngram::Ngram(unsigned neworder)
    : LogP_unk_word(-99.0f), contexts(), order(neworder == 0 ? 1 : neworder) {}

Ngram::~Ngram() {}

void Ngram::clear() {
  // The root's destructor frees the whole tree; a fresh root takes its place.
  contexts.~BOtrie();
  ::new (static_cast<void*>(&contexts)) BOtrie();
  m_packed.reset();
  m_bigrams.reset();
}

// Takes the probability of the unknown word of a model just read from
// `name`; a model without it is refused: "<name>: the model has no <unk>".
bool Ngram::set_unk_word(const char* name) {
  const LogP* unk = m_bigrams  ? m_bigrams->unigram(Vocab_Unknown)
                    : m_packed ? m_packed->find_prob(0, Vocab_Unknown)
                               : contexts.value().probs.find(Vocab_Unknown);
  if (unk == 0) {
    std::cerr << (name ? name : "(null)") << ": " << kNoUnkMessage << "\n";
    return false;
  }
  LogP_unk_word = *unk;
  return true;
}

LogP Ngram::word_prob(VocabIndex word, const VocabIndex* context) const {
  unsigned clen = 0;
  if (context != 0) {
    while (clen + 1 < order && context[clen] != Vocab_None) clen++;
  }
  return word_prob(word, context, clen, 0);
}

namespace {

// The two forms as word_prob walks them: a node, its probability of a word,
// its child under a word and that child's back-off weight.
struct TreeWalk {
  typedef const BOtrie* Node;
  const BOtrie& root;
  Node start() const { return &root; }
  const LogP* prob(Node node, VocabIndex word) const { return node->value().probs.find(word); }
  bool child(Node node, VocabIndex word, Node& next) const {
    next = node->m_sub.find(word);
    return next != 0;
  }
  LogP bow(Node node) const { return node->value().bow; }
};

template <class Packed>
struct PackedWalk {
  typedef uint32_t Node;
  const Packed& model;
  Node start() const { return 0; }
  const LogP* prob(Node node, VocabIndex word) const { return model.find_prob(node, word); }
  bool child(Node node, VocabIndex word, Node& next) const {
    return model.find_child(node, word, next);
  }
  LogP bow(Node node) const { return model.nodes[node].bow; }
};

template <class Walk>
LogP backoff_prob(const Walk& walk, LogP unk, VocabIndex word, const VocabIndex* context,
                  unsigned clen, bool* pbbk) {
  LogP logp = unk;
  LogP bow = LogP_One;
  unsigned found = 0;
  typename Walk::Node node = walk.start();
  for (unsigned i = 0;; i++) {
    // Vocab_None is never stored: such a word is scored as an unknown one.
    const LogP* prob = walk.prob(node, word);
    if (prob != 0) {
      logp = *prob;
      bow = LogP_One;
      found++;
    }
    if (i >= clen || context == 0 || context[i] == Vocab_None) break;
    typename Walk::Node child;
    if (!walk.child(node, context[i], child)) break;
    bow += walk.bow(child);
    node = child;
  }
  if (pbbk != 0) *pbbk = found != 2;
  return logp + bow;
}

}  // namespace

LogP Ngram::word_prob(VocabIndex word, const VocabIndex* context, unsigned clen,
                      bool* pbbk) const {
  if (m_bigrams) {
    const VocabIndex ctx = clen != 0 && context != 0 ? context[0] : Vocab_None;
    return m_bigrams->prob(word, ctx, LogP_unk_word, pbbk);
  }
  if (m_packed) {
    return backoff_prob(PackedWalk<Packed>{*m_packed}, LogP_unk_word, word, context, clen, pbbk);
  }
  return backoff_prob(TreeWalk{contexts}, LogP_unk_word, word, context, clen, pbbk);
}

unsigned long Ngram::num_ngrams(unsigned n) const {
  if (n == 0) return 0;
  if (m_bigrams) return n == 1 ? m_bigrams->num_unigrams() : n == 2 ? m_bigrams->num_bigrams() : 0;
  return m_packed ? m_packed->count(0, n - 1) : count_ngrams(contexts, n - 1);
}

void Ngram::mem_stats(MemStats& stats) const {
  stats.total += sizeof(*this);
  count_memory(contexts, stats);
  if (m_packed) stats.total += m_packed->bytes();
  if (m_bigrams) stats.total += m_bigrams->bytes();
}

// ---------------------------------------------------------------------------
// Binary format

namespace {

// Outcome of reading a node: loaded, refused (reported), or to be read again
// into the trie (the packed form takes only ascending keys).
enum class Load { kOk, kFailed, kRetry };

// The node records of a model file, held in memory from file offset `first`
// on; `offset` is the file offset of the next byte to read.
class NodeReader {
 public:
  NodeReader(const char* name, const FileBytes& bytes, unsigned long long first)
      : offset(first), m_name(name), m_data(bytes.data()), m_first(first),
        m_end(first + bytes.size()) {}

  unsigned long long end() const { return m_end; }

  // Reads one count or float and advances past it; at the end of the data:
  // "<file>: offset <n>: unexpected end of file".
  template <class T>
  bool field(T& value) {
    const unsigned n = readBinaryCount(m_data + (offset - m_first), m_end - offset, value);
    if (n == 0) {
      offset = m_end;
      report("unexpected end of file");
      return false;
    }
    offset += n;
    return true;
  }
  Load misaligned() {
    report("data misaligned");
    return Load::kFailed;
  }

  unsigned long long offset;

 private:
  void report(const char* reason) {
    std::cerr << m_name << ": offset " << offset << ": " << reason << "\n";
  }

  const char* m_name;
  const unsigned char* m_data;
  unsigned long long m_first, m_end;
};

// Builds the trie (any file that passes the checks).  kFailed from add_prob
// and child means the table is full.
struct TreeBuilder {
  typedef BOtrie* Node;
  void set_bow(Node node, LogP bow) { node->value().bow = bow; }
  Load add_prob(Node node, VocabIndex word, LogP prob) {
    if (table_full(node->value().probs, word)) return Load::kFailed;
    *node->value().probs.insert(word) = prob;
    return Load::kOk;
  }
  Load child(Node node, VocabIndex word, Node& child) {
    if (table_full(node->m_sub, word)) return Load::kFailed;
    child = node->m_sub.insert(word);
    return Load::kOk;
  }
  void reserve(Node, unsigned long long) {}
  Load end_node(Node) { return Load::kOk; }
};

// Builds the packed form directly, as long as the keys of each node come in
// ascending order (as the writer puts them); otherwise kRetry.  A node's
// probabilities are appended as they are read; its children are collected
// per depth and appended once the node ends.
template <class Packed>
struct PackedBuilder {
  struct Node {
    uint32_t index;
    unsigned depth;
  };
  Packed& model;
  std::vector<std::vector<std::pair<VocabIndex, uint32_t>>> pending;

  void set_bow(Node node, LogP bow) { model.nodes[node.index].bow = bow; }
  void reserve(Node, unsigned long long) {}
  Load add_prob(Node node, VocabIndex word, LogP prob) {
    auto& n = model.nodes[node.index];
    if (n.num_probs != 0 && word <= model.words.back()) return Load::kRetry;
    if (n.num_probs >= LHash_maxEntriesLimit) return Load::kRetry;
    model.words.push_back(word);
    model.probs.push_back(prob);
    n.num_probs++;
    return Load::kOk;
  }
  Load child(Node node, VocabIndex word, Node& child) {
    if (pending.size() <= node.depth + 1) pending.resize(node.depth + 2);
    auto& list = pending[node.depth];
    if (!list.empty() && word <= list.back().first) return Load::kRetry;
    if (list.size() >= LHash_maxEntriesLimit) return Load::kRetry;
    child = Node{model.add_node(), node.depth + 1};
    list.emplace_back(word, child.index);
    return Load::kOk;
  }
  Load end_node(Node node) {
    if (pending.size() <= node.depth) return Load::kOk;
    auto& list = pending[node.depth];
    auto& n = model.nodes[node.index];
    n.children = model.child_words.size();
    n.num_children = (uint32_t)list.size();
    for (const auto& entry : list) {
      model.child_words.push_back(entry.first);
      model.child_nodes.push_back(entry.second);
    }
    list.clear();
    return Load::kOk;
  }
};

// Builds a BigramTable directly (a model read with at most one-word
// contexts), as long as the unigrams and the contexts come in ascending order
// and no key repeats; otherwise kRetry.  A node is its depth.
struct BigramBuilder {
  typedef unsigned Node;
  BigramTable& table;

  void set_bow(Node node, LogP bow) {
    if (node == 0) {
      table.set_root_bow(bow);
    } else {
      table.set_context_bow(bow);
    }
  }
  void reserve(Node node, unsigned long long n) {
    // n is at most the record's bytes / 6 (checked by the reader); larger
    // counts than a node can hold are refused by the trie's reader.
    const uint32_t count = (uint32_t)std::min<unsigned long long>(n, LHash_maxEntriesLimit);
    if (node == 0) {
      table.reserve_unigrams(count);
    } else {
      table.reserve_bigrams(count);
    }
  }
  Load add_prob(Node node, VocabIndex word, LogP prob) {
    const bool added = node == 0 ? table.add_unigram(word, prob) : table.add_bigram(word, prob);
    return added ? Load::kOk : Load::kRetry;
  }
  Load child(Node node, VocabIndex word, Node& child) {
    if (node != 0 || !table.add_context(word)) return Load::kRetry;
    child = 1;
    return Load::kOk;
  }
  Load end_node(Node) { return Load::kOk; }
};

// Reads the node record at in.offset into `node`.  loadLevels counts the
// levels still to be kept (0: skip the record), fileLevels the levels still
// present in the file; `limit` is the end of the enclosing record (or of the
// file), which the record must not pass.  Every count is checked against the
// bytes that remain before it is acted on, so a damaged file can neither
// make the reader allocate more than the file's size warrants nor move it
// backwards; recursion depth is bounded by the file's order.
template <class Builder>
Load read_node(NodeReader& in, Builder& out, typename Builder::Node node, unsigned loadLevels,
               unsigned fileLevels, unsigned long long limit) {
  if (fileLevels == 0) return Load::kOk;

  const unsigned long long start = in.offset;
  unsigned long long length;
  if (!in.field(length)) return Load::kFailed;
  if (start > limit || length < in.offset - start || length > limit - start) {
    return in.misaligned();
  }
  const unsigned long long end = start + length;

  if (loadLevels == 0) {
    in.offset = end;
    return Load::kOk;
  }

  float bow;
  if (!in.field(bow)) return Load::kFailed;
  out.set_bow(node, bow);

  unsigned long long numProbs;
  if (!in.field(numProbs)) return Load::kFailed;
  if (in.offset > end || numProbs > (end - in.offset) / kMinProbEntryBytes) {
    return in.misaligned();
  }
  out.reserve(node, numProbs);
  for (unsigned long long i = 0; i < numProbs; i++) {
    unsigned long long wid;
    float prob;
    if (!in.field(wid) || !in.field(prob)) return Load::kFailed;
    if (wid == Vocab_None) continue;
    // Not a 32-bit word id (or more entries than a node can hold): the
    // record cannot be what it claims to be.
    if (wid > Vocab_None) return in.misaligned();
    const Load added = out.add_prob(node, (VocabIndex)wid, prob);
    if (added == Load::kFailed) return in.misaligned();
    if (added == Load::kRetry) return added;
  }

  // The deepest level of the file holds probabilities only; anything after
  // them would be children the file's own order says cannot exist.
  if (fileLevels == 1 && in.offset != end) return in.misaligned();

  while (in.offset < end) {
    unsigned long long wid;
    if (!in.field(wid)) return Load::kFailed;
    if (in.offset > end || wid > Vocab_None) return in.misaligned();
    Load read;
    if (wid == Vocab_None || loadLevels == 1) {
      // A record marked as unused, or a level beyond the model's order: the
      // subtree is skipped, and no (empty) child is made for it.
      read = read_node(in, out, node, 0, fileLevels - 1, end);
    } else {
      typename Builder::Node child;
      read = out.child(node, (VocabIndex)wid, child);
      if (read == Load::kFailed) return in.misaligned();
      if (read == Load::kOk) read = read_node(in, out, child, loadLevels - 1, fileLevels - 1, end);
    }
    if (read != Load::kOk) return read;
  }

  if (in.offset != end) return in.misaligned();
  return out.end_node(node);
}

}  // namespace

bool Ngram::read_binary(const char* lmfile) {
  File file(lmfile, "rb");
  FILE* fp = file;
  if (fp == 0) return file_error(lmfile, file.error());

  const char* line = file.getline();
  if (line == 0 && file.error() != 0) return file_error(lmfile, file.error());
  if (line == 0 || std::strcmp(line, Ngram_BinaryFormatString) != 0) {
    file.position(std::cerr) << "bad binary format\n";
    return false;
  }

  // The order line ends at its own line feed: the root record follows
  // directly, and its first byte may well be a white-space byte, so no more
  // than the rest of this line may be consumed.
  unsigned maxOrder = 0;
  int c = EOF;
  if (std::fscanf(fp, "maxorder %u", &maxOrder) == 1) {
    do {
      c = std::fgetc(fp);
    } while (c == ' ' || c == '\t' || c == '\r');
  }
  if (c != '\n' || maxOrder > kMaxFileOrder) {
    file.position(std::cerr) << "could not read ngram order\n";
    return false;
  }

  off_t start = ftello(fp);
  if (start < 0) {
    int err = errno;
    file.position(std::cerr) << std::strerror(err) << "\n";
    return false;
  }
  // The records are read in one piece and parsed from memory; no node may
  // reach past the end of the file.
  FileBytes bytes;
  if (!file.read_rest(bytes)) return file_error(lmfile, file.error());

  clear();
  NodeReader in(lmfile, bytes, (unsigned long long)start);
  Load read = Load::kRetry;
  if (std::min(order, maxOrder) <= 2) {
    // Contexts of one word at most: straight into the bigram table.
    std::unique_ptr<BigramTable> table(new BigramTable());
    // Every stored probability takes at least kMinProbEntryBytes of the file.
    table->reserve_all_bigrams((in.end() - in.offset) / kMinProbEntryBytes);
    BigramBuilder builder{*table};
    read = read_node(in, builder, 0u, order, maxOrder, in.end());
    if (read == Load::kOk) {
      table->finish();
      m_bigrams = std::move(table);
      return set_unk_word(lmfile);
    }
    if (read == Load::kFailed) return false;
    in.offset = (unsigned long long)start;
  }
  std::unique_ptr<Packed> packed(new Packed());
  if (read == Load::kRetry && std::min(order, maxOrder) > 2) {
    PackedBuilder<Packed> builder{*packed, {}};
    read = read_node(in, builder, {packed->add_node(), 0}, order, maxOrder, in.end());
  }
  if (read == Load::kRetry) {
    // Keys out of order (or a node too large for the packed reader's own
    // check): the file is read into the trie, which takes any order and
    // keeps the last of equal keys, and packed from there.
    BOtrie tree;
    TreeBuilder builder;
    in.offset = (unsigned long long)start;
    read = read_node(in, builder, &tree, order, maxOrder, in.end());
    if (read == Load::kOk) {
      packed.reset(new Packed());
      std::vector<VocabIndex> keys;
      packed->pack(tree, packed->add_node(), keys);
    }
  }
  if (read != Load::kOk) return false;
  packed->finish();
  m_bigrams = packed->to_bigrams();
  if (m_bigrams) {
    packed.reset();
  } else {
    m_packed = std::move(packed);
  }
  return set_unk_word(lmfile);
}

namespace {

// Copies a BigramTable out into a trie.
struct TreeFiller {
  BOtrie& root;
  void unigram(VocabIndex word, LogP prob) { *root.value().probs.insert(word) = prob; }
  void context(VocabIndex ctx, LogP bow) { root.m_sub.insert(ctx)->value().bow = bow; }
  void bigram(VocabIndex ctx, VocabIndex word, LogP prob) {
    *root.m_sub.find(ctx)->value().probs.insert(word) = prob;
  }
};

}  // namespace

bool Ngram::write_binary(const char* lmfile) const {
  if (m_bigrams) {
    BOtrie tree;
    tree.value().bow = m_bigrams->root_bow();
    TreeFiller filler{tree};
    m_bigrams->visit(filler);
    return write_tree(lmfile, tree);
  }
  if (m_packed) {
    BOtrie tree;
    m_packed->unpack(0, tree);
    return write_tree(lmfile, tree);
  }
  return write_tree(lmfile, contexts);
}

bool Ngram::write_tree(const char* lmfile, const BOtrie& root) const {
  File file(lmfile, "wb");
  FILE* fp = file;
  if (fp == 0) return file_error(lmfile, file.error());
  const bool ok = std::fputs(Ngram_BinaryFormatString, fp) >= 0 &&
                  std::fprintf(fp, "maxorder %u\n", order) >= 0 &&
                  write_binary_node(file, root, 1, length_field_bytes(order, 1)) &&
                  std::fflush(fp) == 0;
  // A stream error is reported here; a count too large to write was already.
  if (std::ferror(fp)) return file_error(lmfile, errno);
  if (!ok) return false;
  if (file.close() != 0) return file_error(lmfile, file.error());
  return true;
}

// Writes `node` as a record at `level` whose length field takes lengthBytes
// bytes.  The length is known only at the end, so a placeholder is written
// first and patched; when the length turns out not to fit the width, the
// record is written again with the wider field.
bool Ngram::write_binary_node(File& file, const BOtrie& node, unsigned level,
                              unsigned lengthBytes) const {
  FILE* fp = file;
  const off_t start = ftello(fp);
  if (start < 0) return false;

  const BOnode& data = node.value();
  if (write_binary_count(fp, 0ull, lengthBytes) != lengthBytes) return false;
  if (write_binary_count(fp, data.bow) == 0) return false;
  if (write_binary_count(fp, (unsigned long long)data.probs.num_entries(), 0) == 0) return false;

  std::vector<VocabIndex> keys;
  sorted_keys(data.probs, keys);
  for (VocabIndex wid : keys) {
    if (write_binary_count(fp, (unsigned long long)wid, 0) == 0) return false;
    if (write_binary_count(fp, *data.probs.find(wid)) == 0) return false;
  }

  // Levels beyond the model's order are not part of the file: the reader
  // takes the order line as the depth of the tree.
  if (level < order) {
    sorted_keys(node.m_sub, keys);
    for (VocabIndex wid : keys) {
      if (write_binary_count(fp, (unsigned long long)wid, 0) == 0) return false;
      const BOtrie* child = node.m_sub.find(wid);
      if (!write_binary_node(file, *child, level + 1, length_field_bytes(order, level + 1))) {
        return false;
      }
    }
  }

  const off_t end = ftello(fp);
  if (end < 0) return false;
  const unsigned long long length = (unsigned long long)(end - start);
  const unsigned needed = count_bytes(length);
  if (needed > lengthBytes) {
    file.offset(std::cerr) << "increasing offset bytes from " << lengthBytes << " to " << needed
                           << " (order " << order << ", level " << level << ")\n";
    if (fseeko(fp, start, SEEK_SET) != 0) return false;
    return write_binary_node(file, node, level, needed);
  }
  if (fseeko(fp, start, SEEK_SET) != 0) return false;
  if (write_binary_count(fp, length, lengthBytes) != lengthBytes) return false;
  return fseeko(fp, end, SEEK_SET) == 0;
}

// ---------------------------------------------------------------------------
// Text format

bool Ngram::read(const char* filename) {
  File file(filename, "r");
  FILE* fp = file;
  if (fp == 0) return file_error(filename, file.error());

  clear();
  contexts.value().bow = LogP_Zero;

  // Orders the file may declare, and fields of a line of the highest order
  // with its back-off weight, plus one to detect a line with more.
  const unsigned kMaxFields = kMaxFileOrder + 3;
  long long declared[kMaxFileOrder + 1] = {0};
  unsigned long numRead[kMaxFileOrder + 1] = {0};
  unsigned maxOrder = 0;

  enum { kBeforeData, kHeader, kSection } state = kBeforeData;
  unsigned section = 0;

  char* fields[kMaxFields];
  VocabIndex words[kMaxFileOrder + 1];

  while (char* line = file.getline()) {
    size_t len = std::strlen(line);
    if (len > 0 && line[len - 1] == '\n') line[--len] = '\0';
    if (len > 0 && line[len - 1] == '\r') line[--len] = '\0';

    if (state == kBeforeData) {
      if (std::strncmp(line, "\\data\\", 6) == 0) state = kHeader;
      continue;
    }

    if (std::strncmp(line, "\\end\\", 5) == 0) {
      unsigned last = std::min(maxOrder, order);
      for (unsigned n = 1; n <= last; n++) {
        if ((long long)numRead[n] != declared[n]) {
          file.position(std::cerr) << "warning: " << numRead[n] << " " << n
                                   << "-grams read, expected " << declared[n] << "\n";
        }
      }
      return set_unk_word(filename);
    }

    int n, count;
    if (state == kHeader && std::sscanf(line, "ngram %d=%d", &n, &count) == 2) {
      if (n < 1 || n > (int)kMaxFileOrder) {
        file.position(std::cerr) << "ngram order " << n << " out of range\n";
        return false;
      }
      if (count < 0) {
        file.position(std::cerr) << "ngram number " << count << " out of range\n";
        return false;
      }
      declared[n] = count;
      if ((unsigned)n > maxOrder) maxOrder = (unsigned)n;
      continue;
    }
    if (line[0] == '\\' && std::sscanf(line, "\\%d-grams", &n) == 1) {
      if (n < 1 || (unsigned)n > maxOrder) {
        file.position(std::cerr) << "invalid ngram order " << n << "\n";
        return false;
      }
      state = kSection;
      section = (unsigned)n;
      continue;
    }
    if (state == kHeader) {
      file.position(std::cerr) << "unexpected input\n";
      return false;
    }

    // An n-gram line of the current section.
    if (section > order) continue;

    unsigned numFields = 0;
    char* save = 0;
    for (char* tok = strtok_r(line, " \t\r\n", &save); tok != 0;
         tok = strtok_r(0, " \t\r\n", &save)) {
      if (numFields < kMaxFields) fields[numFields] = tok;
      numFields++;
    }
    if (numFields != section + 1 && numFields != section + 2) {
      file.position(std::cerr) << "ngram line has " << numFields << " fields (" << section + 2
                               << " expected)\n";
      return false;
    }

    LogP prob;
    if (!parseLogP(fields[0], prob)) {
      file.position(std::cerr) << "bad prob \"" << fields[0] << "\"\n";
      return false;
    }
    if (prob > LogP_One || std::isnan(prob)) {
      file.position(std::cerr) << "warning: questionable prob \"" << fields[0] << "\"\n";
    } else if (prob == -99.0f) {
      prob = LogP_Zero;
    }

    bool haveBow = false;
    LogP bow = LogP_One;
    if (numFields == section + 2) {
      const char* text = fields[section + 1];
      if (section == maxOrder) {
        if (text[0] != '0') {
          file.position(std::cerr) << "ignoring non-zero bow \"" << text
                                   << "\" for maximal ngram\n";
        }
      } else if (section != order) {
        if (!parseLogP(text, bow)) {
          file.position(std::cerr) << "bad bow \"" << text << "\"\n";
          return false;
        }
        if (bow == LogP_Inf || std::isnan(bow)) {
          file.position(std::cerr) << "warning: questionable bow \"" << text << "\"\n";
        } else if (bow == -99.0f) {
          bow = LogP_Zero;
        }
        haveBow = true;
      }
    }

    // Word ids in file order are oldest first; the trie wants the predicted
    // word first, then its context most recent first.
    for (unsigned i = 0; i < section; i++) {
      const char* text = fields[section - i];
      if (!parse_word_id(text, words[i])) {
        file.position(std::cerr) << "bad word id \"" << text << "\"\n";
        return false;
      }
    }
    words[section] = Vocab_None;

    if (haveBow) contexts.insert_trie(words)->value().bow = bow;

    BOtrie* context = contexts.find_trie(words + 1);
    if (context == 0) {
      file.position(std::cerr) << "warning: no bow for prefix of ngram \"";
      for (unsigned i = 1; i <= section; i++) std::cerr << (i > 1 ? " " : "") << fields[i];
      std::cerr << "\"\n";
      continue;
    }
    *context->value().probs.insert(words[0]) = prob;
    numRead[section]++;
  }

  if (file.error() != 0) return file_error(filename, file.error());
  file.position(std::cerr) << "reached EOF before \\end\\\n";
  return false;
}
