#include "lm/Ngram.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <new>
#include <random>
#include <sstream>
#include <string>
#include <vector>

// Counts allocations made on the calling thread while armed, to check that
// lookups do not allocate.
namespace {
thread_local bool g_count_allocations = false;
thread_local unsigned long g_allocations = 0;
}  // namespace

// The deletes are kept out of line so that the compiler does not pair an
// inlined free() with a new-expression.
void* operator new(size_t size) {
  if (g_count_allocations) g_allocations++;
  void* p = std::malloc(size ? size : 1);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  if (g_count_allocations) g_allocations++;
  return std::malloc(size ? size : 1);
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, size_t) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
__attribute__((noinline)) void operator delete[](void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p, size_t) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}

namespace {

const char kHeader[] = "ZV_VELDOR_BINARY_NGRAM\n";
// "加载语言模型失败：该语言模型不包含<unk>" in GBK, as the loaders print it.
const char kNoUnk[] =
    "\xBC\xD3\xD4\xD8\xD3\xEF\xD1\xD4\xC4\xA3\xD0\xCD\xCA\xA7\xB0\xDC\xA3\xBA"
    "\xB8\xC3\xD3\xEF\xD1\xD4\xC4\xA3\xD0\xCD\xB2\xBB\xB0\xFC\xBA\xAC"
    "<unk>\n";

const VocabIndex kEnd = Vocab_None;

// ---------------------------------------------------------------------------
// Files

class TempFiles {
 public:
  TempFiles() {
    std::string pattern = testing::TempDir() + "ngram_test_XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const char* dir = mkdtemp(buf.data());
    if (dir == nullptr) std::abort();
    m_dir = dir;
  }
  ~TempFiles() {
    for (const std::string& f : m_files) std::remove(f.c_str());
    rmdir(m_dir.c_str());
  }
  std::string path(const std::string& name) {
    std::string p = m_dir + "/" + name;
    m_files.push_back(p);
    return p;
  }
  std::string write(const std::string& name, const std::string& content) {
    std::string p = path(name);
    rewrite(p, content);
    return p;
  }
  // Replaces a file by a new one: truncating a file in place makes some file
  // systems flush it on close, which is slow over thousands of rounds.
  static void rewrite(const std::string& p, const std::string& content) {
    std::remove(p.c_str());
    std::ofstream out(p, std::ios::binary);
    out << content;
  }

 private:
  std::string m_dir;
  std::vector<std::string> m_files;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// ---------------------------------------------------------------------------
// Binary encoding, written out independently of the library's encoder.

void put_be(std::string& out, uint64_t value, unsigned bytes) {
  for (unsigned i = bytes; i-- > 0;) out.push_back((char)(unsigned char)(value >> (8 * i)));
}

// A count in the form of exactly `bytes` bytes (2, 4 or 8).
std::string count_of(uint64_t value, unsigned bytes) {
  std::string out;
  if (bytes == 2) {
    put_be(out, value, 2);
  } else if (bytes == 4) {
    put_be(out, value | 0x80000000u, 4);
  } else {
    put_be(out, value | 0xC000000000000000ull, 8);
  }
  return out;
}

std::string count_of(uint64_t value) {
  return count_of(value, value < 0x8000 ? 2 : value < (1u << 30) ? 4 : 8);
}

std::string float_of(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  std::string out;
  put_be(out, bits, 4);
  return out;
}

// A node record: the length field (of `lengthBytes` bytes) is computed from
// the content unless `length` overrides it.
struct NodePlan {
  unsigned lengthBytes = 4;
  float bow = 0.0f;
  std::vector<std::pair<uint64_t, float>> probs;
  std::vector<std::pair<uint64_t, std::string>> children;  // wid, child record
  long long numProbsOverride = -1;
  long long lengthOverride = -1;
  std::string extra;  // raw bytes appended to the content
};

std::string node_bytes(const NodePlan& plan) {
  std::string body = float_of(plan.bow);
  body += count_of(plan.numProbsOverride >= 0 ? (uint64_t)plan.numProbsOverride
                                             : (uint64_t)plan.probs.size());
  for (const auto& p : plan.probs) body += count_of(p.first) + float_of(p.second);
  for (const auto& c : plan.children) body += count_of(c.first) + c.second;
  body += plan.extra;
  uint64_t length = plan.lengthOverride >= 0 ? (uint64_t)plan.lengthOverride
                                             : body.size() + plan.lengthBytes;
  return count_of(length, plan.lengthBytes) + body;
}

std::string model_file(unsigned maxorder, const std::string& root) {
  return std::string(kHeader) + "maxorder " + std::to_string(maxorder) + "\n" + root;
}

// ---------------------------------------------------------------------------
// Reference model: plain maps, and the back-off definition written the long
// way: find the longest existing context, then the longest of its prefixes
// holding the word, and add the back-off weights of the contexts in between.

typedef std::vector<VocabIndex> Path;  // context words, most recent first

struct RefModel {
  unsigned order = 1;
  LogP unk = -99.0f;
  std::map<Path, LogP> bows;                         // every existing context
  std::map<Path, std::map<VocabIndex, LogP>> probs;  // context -> word -> prob

  LogP word_prob(VocabIndex word, const VocabIndex* context, unsigned clen, bool* pbbk) const {
    Path path;
    std::vector<Path> prefixes{path};
    for (unsigned i = 0; i < clen && context[i] != kEnd; i++) {
      path.push_back(context[i]);
      if (bows.count(path) == 0) break;
      prefixes.push_back(path);
    }
    int best = -1;
    unsigned found = 0;
    for (size_t i = 0; i < prefixes.size(); i++) {
      auto node = probs.find(prefixes[i]);
      if (node != probs.end() && node->second.count(word)) {
        best = (int)i;
        found++;
      }
    }
    LogP base = best >= 0 ? probs.at(prefixes[best]).at(word) : unk;
    // The root's own bow is never used.
    LogP bow = 0.0f;
    for (size_t k = std::max(best + 1, 1); k < prefixes.size(); k++) bow += bows.at(prefixes[k]);
    if (pbbk) *pbbk = found != 2;
    return base + bow;
  }

  unsigned long num_ngrams(unsigned n) const {
    if (n == 0) return 0;
    unsigned long total = 0;
    for (const auto& node : probs)
      if (node.first.size() == n - 1) total += node.second.size();
    return total;
  }

  // The model as an order-`n` reader sees it.
  RefModel truncated(unsigned n) const {
    RefModel out;
    out.order = n;
    out.unk = unk;
    for (const auto& b : bows)
      if (b.first.size() < n) out.bows.insert(b);
    for (const auto& p : probs)
      if (p.first.size() < n) out.probs.insert(p);
    return out;
  }

  void fill(Ngram& lm) const {
    for (const auto& b : bows) {
      Path keys = b.first;
      keys.push_back(kEnd);
      lm.contexts.insert_trie(keys.data())->value().bow = b.second;
    }
    for (const auto& p : probs) {
      Path keys = p.first;
      keys.push_back(kEnd);
      BOnode& node = lm.contexts.insert_trie(keys.data())->value();
      for (const auto& e : p.second) *node.probs.insert(e.first) = e.second;
    }
    lm.LogP_unk_word = unk;
  }
};

// Word ids around the widths of the count encoding and other special values.
const VocabIndex kBoundaryIds[] = {0,          1,          32766,      32767,
                                   32768,      32769,      65535,      (1u << 30) - 1,
                                   1u << 30,   (1u << 30) + 1, 0x7FFFFFFFu, 0x80000000u,
                                   0xFFFFFFFEu, Vocab_Unknown, 10000001u};

VocabIndex random_id(std::mt19937& rng) {
  switch (rng() % 4) {
    case 0: return kBoundaryIds[rng() % (sizeof kBoundaryIds / sizeof kBoundaryIds[0])];
    case 1: return rng() % 64;
    case 2: return rng() % 70000;
    default: return (VocabIndex)(rng() % 0xFFFFFFFFu);
  }
}

LogP random_logp(std::mt19937& rng) {
  switch (rng() % 8) {
    case 0: return 0.0f;
    case 1: return LogP_Zero;
    default: return -(LogP)(rng() % 1000000) / 100000.0f;
  }
}

RefModel random_model(unsigned order, std::mt19937& rng, unsigned unigrams = 60) {
  RefModel ref;
  ref.order = order;
  ref.bows[Path()] = random_logp(rng);
  auto& root = ref.probs[Path()];
  for (unsigned i = 0; i < unigrams; i++) root[random_id(rng)] = random_logp(rng);
  ref.unk = -(LogP)(rng() % 700) / 100.0f - 1.0f;
  root[Vocab_Unknown] = ref.unk;

  std::vector<Path> level{Path()};
  for (unsigned depth = 1; depth < order; depth++) {
    std::vector<Path> next;
    unsigned contexts = 5 + rng() % 25;
    for (unsigned c = 0; c < contexts; c++) {
      Path path = level[rng() % level.size()];
      path.push_back(random_id(rng));
      if (ref.bows.count(path)) continue;
      ref.bows[path] = random_logp(rng);
      next.push_back(path);
      auto& node = ref.probs[path];
      unsigned entries = rng() % 12;  // some contexts hold no entry at all
      for (unsigned e = 0; e < entries; e++) {
        // Mostly words that also have a unigram, so that queries hit.
        VocabIndex w = rng() % 3 ? std::next(root.begin(), rng() % root.size())->first
                                 : random_id(rng);
        node[w] = random_logp(rng);
      }
    }
    if (next.empty()) break;
    level = next;
  }
  return ref;
}

struct Query {
  VocabIndex word;
  Path context;  // ends with kEnd
  unsigned clen;
};

Query random_query(const RefModel& ref, std::mt19937& rng) {
  Query q;
  // A context that exists, sometimes altered or extended.
  auto ctx = std::next(ref.bows.begin(), rng() % ref.bows.size());
  q.context = ctx->first;
  if (rng() % 4 == 0) q.context.push_back(random_id(rng));
  if (!q.context.empty() && rng() % 6 == 0) q.context[rng() % q.context.size()] = random_id(rng);
  q.context.push_back(kEnd);
  q.clen = rng() % 8 == 0 ? 0xFFFFFFFFu : rng() % (ref.order + 2);
  // A word of some context, or any word at all.
  if (rng() % 3) {
    auto node = std::next(ref.probs.begin(), rng() % ref.probs.size());
    if (!node->second.empty()) {
      q.word = std::next(node->second.begin(), rng() % node->second.size())->first;
      return q;
    }
  }
  q.word = random_id(rng);
  return q;
}

bool same_logp(LogP a, LogP b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Compares a model with the reference on random queries, through both forms
// of word_prob.
void expect_matches(const Ngram& lm, const RefModel& ref, std::mt19937& rng, int queries = 400) {
  for (unsigned n = 0; n <= ref.order + 1; n++)
    EXPECT_EQ(lm.num_ngrams(n), ref.num_ngrams(n)) << "order " << n;
  EXPECT_TRUE(same_logp(lm.LogP_unk_word, ref.unk));
  for (int i = 0; i < queries; i++) {
    Query q = random_query(ref, rng);
    bool bbk = false, refBbk = true;
    LogP got = lm.word_prob(q.word, q.context.data(), q.clen, &bbk);
    LogP want = ref.word_prob(q.word, q.context.data(), q.clen, &refBbk);
    ASSERT_TRUE(same_logp(got, want)) << "word " << q.word << " clen " << q.clen << ": " << got
                                      << " vs " << want;
    ASSERT_EQ(bbk, refBbk);
    // The two-argument form uses the whole context, up to order - 1 words.
    LogP got2 = lm.word_prob(q.word, q.context.data());
    LogP want2 = ref.word_prob(q.word, q.context.data(), lm.order - 1, nullptr);
    ASSERT_TRUE(same_logp(got2, want2)) << got2 << " vs " << want2;
  }
}

// Reads a binary file, returning read_binary's result and its stderr.
bool read_binary_capture(Ngram& lm, const std::string& path, std::string* err = nullptr) {
  testing::internal::CaptureStderr();
  bool ok = lm.read_binary(path.c_str());
  std::string text = testing::internal::GetCapturedStderr();
  if (err) *err = text;
  return ok;
}

bool read_text_capture(Ngram& lm, const std::string& path, std::string* err) {
  testing::internal::CaptureStderr();
  bool ok = lm.read(path.c_str());
  *err = testing::internal::GetCapturedStderr();
  return ok;
}

bool write_binary_capture(const Ngram& lm, const std::string& path, std::string* err) {
  testing::internal::CaptureStderr();
  bool ok = lm.write_binary(path.c_str());
  *err = testing::internal::GetCapturedStderr();
  return ok;
}

// Walks a binary file as the format describes it and records, per level, the
// widths of the length fields met; fails the test on any inconsistency.
class FileWalker {
 public:
  explicit FileWalker(const std::string& data) : m_data(data) {}

  unsigned maxorder = 0;
  std::map<unsigned, std::vector<unsigned>> widths;  // level -> widths seen

  void walk() {
    ASSERT_EQ(m_data.compare(0, strlen(kHeader), kHeader), 0);
    size_t nl = m_data.find('\n', strlen(kHeader));
    ASSERT_NE(nl, std::string::npos);
    ASSERT_EQ(std::sscanf(m_data.c_str() + strlen(kHeader), "maxorder %u", &maxorder), 1);
    m_pos = nl + 1;
    node(1);
    EXPECT_EQ(m_pos, m_data.size());
  }

 private:
  uint64_t count(unsigned* width = nullptr) {
    unsigned char b0 = (unsigned char)m_data.at(m_pos);
    unsigned n = b0 < 0x80 ? 2 : b0 < 0xC0 ? 4 : 8;
    uint64_t v = 0;
    for (unsigned i = 0; i < n; i++) v = v << 8 | (unsigned char)m_data.at(m_pos + i);
    m_pos += n;
    if (width) *width = n;
    return n == 2 ? v : n == 4 ? v & 0x3FFFFFFF : v & 0x3FFFFFFFFFFFFFFFull;
  }

  void node(unsigned level) {
    size_t start = m_pos;
    unsigned width;
    uint64_t length = count(&width);
    widths[level].push_back(width);
    size_t end = start + length;
    m_pos += 4;  // bow
    uint64_t numProbs = count();
    for (uint64_t i = 0; i < numProbs; i++) {
      count();
      m_pos += 4;
    }
    if (level == maxorder) {
      EXPECT_EQ(m_pos, end) << "deepest level has children";
    }
    while (m_pos < end) {
      count();
      node(level + 1);
    }
    EXPECT_EQ(m_pos, end) << "length of a level-" << level << " node";
  }

  const std::string& m_data;
  size_t m_pos = 0;
};

unsigned expected_width(unsigned order, unsigned level) {
  if (level == order) return 2;
  return order - level < 4 ? 4 : 8;
}

// ---------------------------------------------------------------------------
// Construction and queries

TEST(NgramModel, ConstructionAndOrder) {
  Ngram zero(0);
  EXPECT_EQ(zero.order, 1u);
  EXPECT_EQ(zero.LogP_unk_word, -99.0f);
  EXPECT_EQ(zero.num_ngrams(0), 0u);
  EXPECT_EQ(zero.num_ngrams(1), 0u);

  Ngram lm(3);
  EXPECT_EQ(lm.order, 3u);
  EXPECT_EQ(lm.set_order(0), 3u);
  EXPECT_EQ(lm.order, 3u);
  EXPECT_EQ(lm.set_order(5), 3u);
  EXPECT_EQ(lm.order, 5u);
  // An empty model gives the unknown-word probability to everything.
  VocabIndex ctx[] = {7, kEnd};
  bool bbk = false;
  EXPECT_EQ(lm.word_prob(3, ctx, 1, &bbk), -99.0f);
  EXPECT_TRUE(bbk);
}

// A model with unigrams a = 1, b = 2, c = 3, context a (bow -0.5) holding
// only c, and context "c a" (bow -0.25) holding b.
class BackoffTest : public testing::Test {
 protected:
  BackoffTest() : lm(3) {
    VocabIndex root[] = {kEnd};
    BOnode& r = lm.contexts.insert_trie(root)->value();
    *r.probs.insert(1) = -1.0f;
    *r.probs.insert(2) = -2.0f;
    *r.probs.insert(3) = -3.0f;
    *r.probs.insert(Vocab_Unknown) = -7.0f;
    VocabIndex a[] = {1, kEnd};
    BOnode& na = lm.contexts.insert_trie(a)->value();
    na.bow = -0.5f;
    *na.probs.insert(3) = -1.2f;
    VocabIndex ca[] = {1, 3, kEnd};
    BOnode& nca = lm.contexts.insert_trie(ca)->value();
    nca.bow = -0.25f;
    *nca.probs.insert(2) = -0.125f;
    lm.LogP_unk_word = -7.0f;
  }
  Ngram lm;
};

TEST_F(BackoffTest, MissingBigramBacksOffToUnigram) {
  VocabIndex ctx[] = {1, kEnd};
  bool bbk = false;
  EXPECT_EQ(lm.word_prob(2, ctx, 1, &bbk), -2.0f - 0.5f);
  EXPECT_TRUE(bbk);
  // A word without a unigram gets the unknown-word probability, backed off.
  bbk = false;
  EXPECT_EQ(lm.word_prob(99, ctx, 1, &bbk), -7.0f - 0.5f);
  EXPECT_TRUE(bbk);
}

TEST_F(BackoffTest, PresentBigram) {
  VocabIndex ctx[] = {1, kEnd};
  bool bbk = true;
  EXPECT_EQ(lm.word_prob(3, ctx, 1, &bbk), -1.2f);
  EXPECT_FALSE(bbk);
}

TEST_F(BackoffTest, UnknownContextWordsContributeNothing) {
  VocabIndex unknown[] = {42, kEnd};
  bool bbk = false;
  EXPECT_EQ(lm.word_prob(3, unknown, 1, &bbk), -3.0f);
  EXPECT_TRUE(bbk);  // found once, not twice
  VocabIndex none[] = {kEnd};
  EXPECT_EQ(lm.word_prob(3, none, 5, nullptr), -3.0f);
  EXPECT_EQ(lm.word_prob(3, none), -3.0f);
  EXPECT_EQ(lm.word_prob(3, nullptr), -3.0f);
  // clen 0 ignores the context.
  VocabIndex a[] = {1, kEnd};
  EXPECT_EQ(lm.word_prob(3, a, 0, nullptr), -3.0f);
}

TEST_F(BackoffTest, TrigramsAndLongerBackoffs) {
  // b after "c a": found in the trigram context.  The flag counts the
  // contexts holding the word (unigram and trigram: two), whichever they are.
  VocabIndex ca[] = {1, 3, kEnd};
  bool bbk = true;
  EXPECT_EQ(lm.word_prob(2, ca, 2, &bbk), -0.125f);
  EXPECT_FALSE(bbk);
  // c after "c a": bigram -1.2 plus the trigram context's bow.
  EXPECT_EQ(lm.word_prob(3, ca, 2, &bbk), -1.2f + -0.25f);
  EXPECT_FALSE(bbk);
  // a after "c a": unigram plus both bows, summed from the shorter context on.
  EXPECT_EQ(lm.word_prob(1, ca, 2, &bbk), -1.0f + (-0.5f + -0.25f));
  EXPECT_TRUE(bbk);
  // clen limits the context; the two-argument form stops at order - 1.
  EXPECT_EQ(lm.word_prob(2, ca, 1, nullptr), -2.0f - 0.5f);
  VocabIndex longer[] = {1, 3, 5, 6, kEnd};
  EXPECT_EQ(lm.word_prob(2, longer), -0.125f);
  lm.set_order(2);
  EXPECT_EQ(lm.word_prob(2, longer), -2.0f - 0.5f);
}

TEST_F(BackoffTest, LookupsDoNotAllocate) {
  VocabIndex ca[] = {1, 3, kEnd};
  bool bbk;
  LogP sum = 0;
  g_allocations = 0;
  g_count_allocations = true;
  for (VocabIndex w = 0; w < 100; w++) {
    sum += lm.word_prob(w, ca, 2, &bbk);
    sum += lm.word_prob(w, ca);
  }
  g_count_allocations = false;
  EXPECT_EQ(g_allocations, 0u);
  EXPECT_LT(sum, 0.0f);
}

TEST_F(BackoffTest, NoKeyWordIsFatal) {
  VocabIndex a[] = {1, kEnd};
  EXPECT_DEATH(lm.word_prob(Vocab_None, a, 1, nullptr), "Assertion `!Map_noKeyP\\(key\\)' failed");
}

TEST_F(BackoffTest, NumNgramsCountsPerOrder) {
  EXPECT_EQ(lm.num_ngrams(0), 0u);
  EXPECT_EQ(lm.num_ngrams(1), 4u);
  EXPECT_EQ(lm.num_ngrams(2), 1u);
  EXPECT_EQ(lm.num_ngrams(3), 1u);
  EXPECT_EQ(lm.num_ngrams(4), 0u);
  MemStats stats;
  lm.mem_stats(stats);
  EXPECT_GT(stats.total, sizeof(Ngram));
  EXPECT_LE(stats.wasted, stats.total);
}

// ---------------------------------------------------------------------------
// Binary format: exact bytes and the width of length fields

TEST(NgramBinary, WritesTheDocumentedBytes) {
  TempFiles tmp;
  Ngram lm(2);
  RefModel ref;
  ref.order = 2;
  ref.bows[Path()] = 0.0f;
  ref.probs[Path()] = {{1, -1.0f}, {Vocab_Unknown, -2.0f}};
  ref.bows[Path{1}] = -0.5f;
  ref.probs[Path{1}] = {{2, -0.25f}};
  ref.unk = -2.0f;
  ref.fill(lm);
  std::string path = tmp.path("small.bin");
  std::string err;
  ASSERT_TRUE(write_binary_capture(lm, path, &err));
  EXPECT_EQ(err, "");

  std::string child = std::string("\x00\x0E", 2) + float_of(-0.5f) + std::string("\x00\x01", 2) +
                      std::string("\x00\x02", 2) + float_of(-0.25f);
  std::string root = std::string("\x80\x00\x00\x28", 4) + float_of(0.0f) +
                     std::string("\x00\x02", 2) + std::string("\x00\x01", 2) + float_of(-1.0f) +
                     std::string("\x80\x98\x96\x80", 4) + float_of(-2.0f) +
                     std::string("\x00\x01", 2) + child;
  EXPECT_EQ(slurp(path), std::string("ZV_VELDOR_BINARY_NGRAM\nmaxorder 2\n") + root);

  Ngram back(2);
  ASSERT_TRUE(read_binary_capture(back, path, &err));
  EXPECT_EQ(err, "");
  std::mt19937 rng(1);
  expect_matches(back, ref, rng, 50);
}

TEST(NgramBinary, LengthFieldWidthsFollowTheLevel) {
  TempFiles tmp;
  std::mt19937 rng(7);
  for (unsigned order = 1; order <= 6; order++) {
    RefModel ref = random_model(order, rng, 20);
    Ngram lm(order);
    ref.fill(lm);
    std::string path = tmp.path("w" + std::to_string(order));
    std::string err;
    ASSERT_TRUE(write_binary_capture(lm, path, &err));
    EXPECT_EQ(err, "");
    std::string data = slurp(path);
    FileWalker walker(data);
    walker.walk();
    EXPECT_EQ(walker.maxorder, order);
    for (const auto& level : walker.widths)
      for (unsigned w : level.second)
        EXPECT_EQ(w, expected_width(order, level.first)) << "order " << order << " level "
                                                         << level.first;
    // The root of a model of order 2 or more starts with a byte of 0x80 or
    // above (never white space after the order line).
    size_t rootAt = data.find('\n', strlen(kHeader)) + 1;
    if (order >= 2) {
      EXPECT_GE((unsigned char)data[rootAt], 0x80) << "order " << order;
    }
    if (order >= 5) {
      EXPECT_GE((unsigned char)data[rootAt], 0xC0) << "order " << order;
    }
  }
}

TEST(NgramBinary, OversizedNodeIsRewrittenWithWiderLength) {
  TempFiles tmp;
  // Order 1: the root's length field starts at 2 bytes; 6000 unigrams need
  // more than 32767 bytes.
  RefModel ref;
  ref.order = 1;
  ref.bows[Path()] = 0.0f;
  auto& root = ref.probs[Path()];
  for (VocabIndex w = 0; w < 6000; w++) root[w * 3] = -(LogP)w / 1000.0f;
  root[Vocab_Unknown] = -5.0f;
  ref.unk = -5.0f;
  Ngram lm(1);
  ref.fill(lm);
  std::string path = tmp.path("big1.bin");
  std::string err;
  ASSERT_TRUE(write_binary_capture(lm, path, &err));
  std::string data = slurp(path);
  // The first attempt ended at the final size less the 2 extra bytes.
  EXPECT_EQ(err, path + ": offset " + std::to_string(data.size() - 2) +
                     ": increasing offset bytes from 2 to 4 (order 1, level 1)\n");
  FileWalker walker(data);
  walker.walk();
  EXPECT_EQ(walker.widths[1], std::vector<unsigned>{4});

  Ngram back(1);
  ASSERT_TRUE(read_binary_capture(back, path, &err));
  std::mt19937 rng(3);
  expect_matches(back, ref, rng, 300);

  // Order 2: one bigram node too large for its 2-byte field.
  RefModel ref2 = random_model(2, rng, 30);
  auto& node = ref2.probs[Path{5}];
  ref2.bows[Path{5}] = -0.75f;
  for (VocabIndex w = 0; w < 6000; w++) node[w] = -1.0f;
  Ngram lm2(2);
  ref2.fill(lm2);
  std::string path2 = tmp.path("big2.bin");
  ASSERT_TRUE(write_binary_capture(lm2, path2, &err));
  EXPECT_NE(err.find(": increasing offset bytes from 2 to 4 (order 2, level 2)\n"),
            std::string::npos)
      << err;
  std::string data2 = slurp(path2);
  FileWalker walker2(data2);
  walker2.walk();
  Ngram back2(2);
  ASSERT_TRUE(read_binary_capture(back2, path2, &err));
  expect_matches(back2, ref2, rng, 300);
}

TEST(NgramBinary, Order1RootMayStartWithWhiteSpaceBytes) {
  // The order line must not swallow the root's first bytes when they happen to
  // be white space (0x0A.. or 0x20.. lengths of an order-1 root).
  TempFiles tmp;
  for (unsigned target : {0x0A00u, 0x0D10u, 0x2000u}) {
    RefModel ref;
    ref.order = 1;
    ref.bows[Path()] = 0.0f;
    auto& root = ref.probs[Path()];
    root[Vocab_Unknown] = -4.0f;
    ref.unk = -4.0f;
    // 2 + 4 + 2 + 8 (the unknown word) + 6 per word
    for (VocabIndex w = 0; 16 + 6 * w < target; w++) root[w] = -1.5f;
    Ngram lm(1);
    ref.fill(lm);
    std::string path = tmp.path("ws" + std::to_string(target));
    std::string err;
    ASSERT_TRUE(write_binary_capture(lm, path, &err));
    std::string data = slurp(path);
    size_t rootAt = data.find('\n', strlen(kHeader)) + 1;
    ASSERT_EQ((unsigned char)data[rootAt], target >> 8);
    Ngram back(1);
    ASSERT_TRUE(read_binary_capture(back, path, &err)) << err;
    std::mt19937 rng(target);
    expect_matches(back, ref, rng, 100);
  }
}

// ---------------------------------------------------------------------------
// Round trips

TEST(NgramBinary, RandomModelsRoundTrip) {
  TempFiles tmp;
  std::mt19937 rng(12345);
  for (unsigned order = 1; order <= 4; order++) {
    for (int round = 0; round < 6; round++) {
      RefModel ref = random_model(order, rng, 30 + rng() % 150);
      Ngram lm(order);
      ref.fill(lm);
      expect_matches(lm, ref, rng, 200);

      std::string path = tmp.path("rt" + std::to_string(order) + "_" + std::to_string(round));
      std::string err;
      ASSERT_TRUE(write_binary_capture(lm, path, &err));
      EXPECT_EQ(err, "");
      Ngram back(order);
      ASSERT_TRUE(read_binary_capture(back, path, &err)) << err;
      EXPECT_EQ(err, "");
      expect_matches(back, ref, rng);

      // Writing the loaded model gives the same file.
      std::string again = tmp.path("rt_again" + std::to_string(order) + "_" +
                                   std::to_string(round));
      ASSERT_TRUE(write_binary_capture(back, again, &err));
      EXPECT_EQ(slurp(again), slurp(path));
    }
  }
}

TEST(NgramBinary, ReadReplacesPreviousContent) {
  TempFiles tmp;
  std::mt19937 rng(99);
  RefModel a = random_model(3, rng), b = random_model(3, rng);
  Ngram la(3), lb(3);
  a.fill(la);
  b.fill(lb);
  std::string pa = tmp.path("a"), pb = tmp.path("b");
  std::string err;
  ASSERT_TRUE(write_binary_capture(la, pa, &err));
  ASSERT_TRUE(write_binary_capture(lb, pb, &err));
  Ngram lm(3);
  ASSERT_TRUE(read_binary_capture(lm, pa));
  ASSERT_TRUE(read_binary_capture(lm, pb));
  expect_matches(lm, b, rng);
}

TEST(NgramBinary, DeeperFileLoadsIntoLowerOrderModel) {
  TempFiles tmp;
  std::mt19937 rng(4242);
  for (int round = 0; round < 5; round++) {
    RefModel ref4 = random_model(4, rng, 80);
    Ngram lm4(4);
    ref4.fill(lm4);
    std::string path = tmp.path("four" + std::to_string(round));
    std::string err;
    ASSERT_TRUE(write_binary_capture(lm4, path, &err));

    // The 4-gram level is skipped by seeking; every node still ends exactly
    // at its length.
    Ngram lm3(3);
    ASSERT_TRUE(read_binary_capture(lm3, path, &err)) << err;
    EXPECT_EQ(err, "");
    EXPECT_EQ(lm3.num_ngrams(4), 0u);
    expect_matches(lm3, ref4.truncated(3), rng);

    Ngram lm1(1);
    ASSERT_TRUE(read_binary_capture(lm1, path, &err)) << err;
    expect_matches(lm1, ref4.truncated(1), rng);

    // A shallower file yields a shallower trie.
    RefModel ref2 = ref4.truncated(2);
    Ngram lm2(2);
    ref2.fill(lm2);
    std::string path2 = tmp.path("two" + std::to_string(round));
    ASSERT_TRUE(write_binary_capture(lm2, path2, &err));
    Ngram wide(3);
    ASSERT_TRUE(read_binary_capture(wide, path2, &err)) << err;
    ref2.order = 3;
    expect_matches(wide, ref2, rng);
  }
}

TEST(NgramBinary, WriterStopsAtTheModelOrder) {
  // A trie deeper than the order (order lowered after loading) is written
  // with the order's levels only, so that the file agrees with its order line.
  TempFiles tmp;
  std::mt19937 rng(5);
  RefModel ref = random_model(4, rng, 40);
  Ngram lm(4);
  ref.fill(lm);
  lm.set_order(2);
  std::string path = tmp.path("cut");
  std::string err;
  ASSERT_TRUE(write_binary_capture(lm, path, &err));
  std::string data = slurp(path);
  FileWalker walker(data);
  walker.walk();
  EXPECT_EQ(walker.widths.count(3), 0u);
  Ngram back(4);
  ASSERT_TRUE(read_binary_capture(back, path, &err)) << err;
  RefModel cut = ref.truncated(2);
  cut.order = 4;
  expect_matches(back, cut, rng);
}

// ---------------------------------------------------------------------------
// Binary format: header, order line, structure errors

NodePlan unk_root(unsigned lengthBytes = 4) {
  NodePlan root;
  root.lengthBytes = lengthBytes;
  root.probs = {{Vocab_Unknown, -6.0f}, {1, -1.0f}};
  return root;
}

TEST(NgramBinaryErrors, HeaderAndOrderLine) {
  TempFiles tmp;
  std::string root = node_bytes(unk_root());
  struct Case {
    std::string content;
    std::string message;  // after "<name>: "
  } cases[] = {
      {"ZV_VELDOR_BINARY_NGRAM\r\nmaxorder 2\n" + root, "line 1: bad binary format\n"},
      {"", "line 0: bad binary format\n"},
      {"ZV_VELDOR_BINARY_NGRAMS\nmaxorder 2\n" + root, "line 1: bad binary format\n"},
      {"ZV_VELDOR_BINARY_NGRAM", "line 1: bad binary format\n"},
      {std::string(kHeader) + "maxorder x\n" + root, "line 1: could not read ngram order\n"},
      {std::string(kHeader) + "max order 2\n" + root, "line 1: could not read ngram order\n"},
      {std::string(kHeader) + "maxorder 2", "line 1: could not read ngram order\n"},
      {std::string(kHeader) + "maxorder 101\n" + root, "line 1: could not read ngram order\n"},
      {std::string(kHeader) + "maxorder 4294967295\n" + root,
       "line 1: could not read ngram order\n"},
      {std::string(kHeader) + "maxorder -1\n" + root, "line 1: could not read ngram order\n"},
      {std::string(kHeader) + "maxorder 2 junk\n" + root, "line 1: could not read ngram order\n"},
  };
  int i = 0;
  for (const Case& c : cases) {
    std::string path = tmp.write("hdr" + std::to_string(i++), c.content);
    Ngram lm(3);
    std::string err;
    EXPECT_FALSE(read_binary_capture(lm, path, &err));
    EXPECT_EQ(err, path + ": " + c.message);
  }
  // The largest accepted order, and white space before the line feed.
  for (std::string line : {"maxorder 100\n", "maxorder 2 \r\n"}) {
    std::string path = tmp.write("okhdr" + std::to_string(i++), kHeader + line + root);
    Ngram lm(3);
    std::string err;
    EXPECT_TRUE(read_binary_capture(lm, path, &err)) << err;
    EXPECT_EQ(lm.LogP_unk_word, -6.0f);
  }
}

TEST(NgramBinaryErrors, MissingUnknownWord) {
  TempFiles tmp;
  NodePlan root;
  root.probs = {{1, -1.0f}, {2, -2.0f}};
  std::string path = tmp.write("nounk", model_file(2, node_bytes(root)));
  Ngram lm(3);
  std::string err;
  EXPECT_FALSE(read_binary_capture(lm, path, &err));
  EXPECT_EQ(err, kNoUnk);
  // The probabilities stay, the unknown-word probability does not change.
  EXPECT_EQ(lm.num_ngrams(1), 2u);
  EXPECT_EQ(lm.LogP_unk_word, -99.0f);

  // maxorder 0: nothing is read at all.
  path = tmp.write("order0", model_file(0, node_bytes(unk_root())));
  EXPECT_FALSE(read_binary_capture(lm, path, &err));
  EXPECT_EQ(err, kNoUnk);
  EXPECT_EQ(lm.num_ngrams(1), 0u);
}

TEST(NgramBinaryErrors, UnopenableFileEndsTheProcess) {
  TempFiles tmp;
  std::string path = tmp.path("missing/model.bin");
  Ngram lm(3);
  EXPECT_EXIT(lm.read_binary(path.c_str()), testing::ExitedWithCode(1),
              "No such file or directory");
  EXPECT_EXIT(lm.read(path.c_str()), testing::ExitedWithCode(1), "No such file or directory");
  EXPECT_EXIT(lm.write_binary(path.c_str()), testing::ExitedWithCode(1),
              "No such file or directory");
}

TEST(NgramBinaryErrors, LengthShorterThanContentIsMisaligned) {
  TempFiles tmp;
  NodePlan child;
  child.lengthBytes = 2;
  child.bow = -0.5f;
  child.probs = {{2, -0.25f}, {3, -0.5f}};
  std::string good = node_bytes(child);
  child.lengthOverride = (long long)good.size() - 6;  // one entry short
  NodePlan root = unk_root();
  root.children = {{1, node_bytes(child)}};
  std::string content = model_file(2, node_bytes(root));
  std::string path = tmp.write("short", content);
  Ngram lm(2);
  std::string err;
  EXPECT_FALSE(read_binary_capture(lm, path, &err));
  // Found as soon as the entry count is known not to fit: 12 bytes of
  // entries remain in the file, 6 within the claimed length.
  EXPECT_EQ(err,
            path + ": offset " + std::to_string(content.size() - 12) + ": data misaligned\n");

  // The same at a level that is only skipped (order-1 model): the skip lands
  // inside the parent's data, which then does not end at its length.
  Ngram lm1(1);
  EXPECT_FALSE(read_binary_capture(lm1, path, &err));
  EXPECT_NE(err.find(": data misaligned\n"), std::string::npos) << err;
}

TEST(NgramBinaryErrors, CraftedOversizedCounts) {
  TempFiles tmp;
  NodePlan child;
  child.lengthBytes = 2;
  child.probs = {{2, -0.25f}};
  std::string childBytes = node_bytes(child);

  std::vector<std::pair<std::string, std::string>> files;  // name, content
  {
    NodePlan root = unk_root();
    root.numProbsOverride = (1ll << 62) - 1;
    files.push_back({"numprobs", model_file(2, node_bytes(root))});
  }
  {
    NodePlan root = unk_root();
    root.numProbsOverride = 1000;
    files.push_back({"numprobs1000", model_file(2, node_bytes(root))});
  }
  {
    NodePlan root = unk_root(8);
    root.lengthOverride = (1ll << 62) - 1;
    files.push_back({"rootlen", model_file(2, node_bytes(root))});
  }
  {
    NodePlan root = unk_root();
    root.lengthOverride = 1u << 29;
    files.push_back({"rootlen2", model_file(2, node_bytes(root))});
  }
  {
    // A child claiming more than its parent has left, with the bytes present
    // in the file after the root.
    NodePlan big = child;
    big.lengthOverride = 40;
    NodePlan root = unk_root();
    root.children = {{1, node_bytes(big)}};
    files.push_back({"childlen", model_file(2, node_bytes(root) + std::string(64, '\0'))});
  }
  {
    // A skipped record (order-1 model below) claiming too much.
    NodePlan big = child;
    big.lengthOverride = 1000;
    NodePlan root = unk_root();
    root.children = {{Vocab_None, node_bytes(big)}};
    files.push_back({"skiplen", model_file(2, node_bytes(root))});
  }
  {
    // A skipped record whose length does not even cover its length field
    // would move the reader backwards.
    NodePlan zero = child;
    zero.lengthOverride = 0;
    NodePlan root = unk_root();
    root.children = {{Vocab_None, node_bytes(zero)}};
    files.push_back({"skipzero", model_file(2, node_bytes(root))});
  }
  {
    // Word ids beyond 32 bits.
    NodePlan root = unk_root();
    root.probs.push_back({1ull << 32, -1.0f});
    files.push_back({"bigwid", model_file(2, node_bytes(root))});
    NodePlan root2 = unk_root();
    root2.children = {{(1ull << 32) + 1, childBytes}};
    files.push_back({"bigchild", model_file(2, node_bytes(root2))});
  }
  {
    // Children below the deepest level the file declares.
    NodePlan deep = child;
    deep.children = {{4, node_bytes(child)}};
    NodePlan root = unk_root();
    root.children = {{1, node_bytes(deep)}};
    files.push_back({"deep", model_file(2, node_bytes(root))});
  }
  {
    // A child's word id running past the parent's end.
    NodePlan root = unk_root();
    root.extra = std::string("\x80\x00\x00\x05", 4);
    root.lengthOverride = (long long)node_bytes(root).size() - 2;
    files.push_back({"widpastend", model_file(2, node_bytes(root))});
  }
  for (const auto& f : files) {
    std::string path = tmp.write(f.first, f.second);
    for (unsigned order : {1u, 2u, 3u}) {
      // An order-1 model skips the level-2 records whole, never looking inside.
      if (f.first == "deep" && order == 1) continue;
      Ngram lm(order);
      std::string err;
      EXPECT_FALSE(read_binary_capture(lm, path, &err)) << f.first << " order " << order;
      EXPECT_EQ(err.compare(0, path.size() + 9, path + ": offset "), 0) << f.first << ": " << err;
      EXPECT_NE(err.find(": data misaligned\n"), std::string::npos) << f.first << ": " << err;
    }
  }
}

TEST(NgramBinaryErrors, IgnoredEntriesSkippedRecordsAndDuplicates) {
  TempFiles tmp;
  NodePlan child;
  child.lengthBytes = 2;
  child.bow = -0.5f;
  child.probs = {{2, -0.25f}, {Vocab_None, -3.0f}, {2, -0.75f}};  // the later 2 wins
  NodePlan skipped;
  skipped.lengthBytes = 2;
  skipped.probs = {{9, -9.0f}};
  NodePlan root = unk_root();
  root.probs.push_back({Vocab_None, -1.0f});
  root.children = {{Vocab_None, node_bytes(skipped)}, {1, node_bytes(child)}};
  std::string path = tmp.write("ignored", model_file(2, node_bytes(root)));
  Ngram lm(2);
  std::string err;
  ASSERT_TRUE(read_binary_capture(lm, path, &err)) << err;
  EXPECT_EQ(err, "");
  EXPECT_EQ(lm.num_ngrams(1), 2u);
  EXPECT_EQ(lm.num_ngrams(2), 1u);
  VocabIndex a[] = {1, kEnd};
  EXPECT_EQ(lm.word_prob(2, a), -0.75f);
  VocabIndex nine[] = {9, kEnd};
  EXPECT_EQ(lm.word_prob(9, nine), -6.0f);
}

// A small model file used by the corruption tests.
std::string small_model_file(TempFiles& tmp, unsigned order, unsigned seed) {
  std::mt19937 rng(seed);
  RefModel ref;
  ref.order = order;
  ref.bows[Path()] = 0.0f;
  ref.probs[Path()] = {{Vocab_Unknown, -5.0f}, {1, -1.0f}, {40000, -2.0f}, {2, -3.0f}};
  ref.unk = -5.0f;
  if (order >= 2) {
    ref.bows[Path{1}] = -0.5f;
    ref.probs[Path{1}] = {{2, -0.3f}, {1u << 30, -0.4f}};
    ref.bows[Path{40000}] = -0.25f;
    ref.probs[Path{40000}] = {{1, -0.2f}};
  }
  if (order >= 3) {
    ref.bows[Path{1, 2}] = -0.125f;
    ref.probs[Path{1, 2}] = {{40000, -0.1f}};
  }
  Ngram lm(order);
  ref.fill(lm);
  std::string path = tmp.path("small" + std::to_string(order) + "_" + std::to_string(seed));
  std::string err;
  EXPECT_TRUE(write_binary_capture(lm, path, &err));
  return slurp(path);
}

// A loaded model is consistent when it survives a write and a read unchanged.
// (Called while stderr is being captured.)
void expect_consistent(const Ngram& lm, const std::string& path, std::mt19937& rng) {
  std::remove(path.c_str());
  ASSERT_TRUE(lm.write_binary(path.c_str()));
  Ngram back(lm.order);
  ASSERT_TRUE(back.read_binary(path.c_str()));
  for (unsigned n = 0; n <= lm.order; n++) EXPECT_EQ(back.num_ngrams(n), lm.num_ngrams(n));
  for (int i = 0; i < 50; i++) {
    VocabIndex ctx[] = {random_id(rng), random_id(rng), kEnd};
    VocabIndex w = random_id(rng);
    bool b1, b2;
    ASSERT_TRUE(same_logp(back.word_prob(w, ctx, 2, &b1), lm.word_prob(w, ctx, 2, &b2)));
    ASSERT_EQ(b1, b2);
  }
}

TEST(NgramBinaryErrors, EveryTruncationFails) {
  TempFiles tmp;
  std::vector<std::string> models;
  for (unsigned order = 1; order <= 3; order++) {
    models.push_back(small_model_file(tmp, order, order));
  }
  std::string path = tmp.path("cut");
  testing::internal::CaptureStderr();
  for (const std::string& data : models) {
    for (size_t cut = 0; cut <= data.size(); cut++) {
      TempFiles::rewrite(path, data.substr(0, cut));
      for (unsigned modelOrder = 1; modelOrder <= 3; modelOrder++) {
        Ngram lm(modelOrder);
        EXPECT_EQ(lm.read_binary(path.c_str()), cut == data.size())
            << "model order " << modelOrder << ", cut at " << cut << " of " << data.size();
      }
    }
  }
  testing::internal::GetCapturedStderr();
}

TEST(NgramBinaryErrors, RandomDamageNeverCrashes) {
  TempFiles tmp;
  std::mt19937 rng(2024);
  unsigned loaded = 0, failed = 0;
  std::vector<std::string> models;
  for (unsigned order = 1; order <= 3; order++) {
    models.push_back(small_model_file(tmp, order, 10 + order));
  }
  std::string path = tmp.path("damaged");
  std::string copy = tmp.path("consistent");
  testing::internal::CaptureStderr();
  for (const std::string& data : models) {
    size_t bodyAt = data.find('\n', strlen(kHeader)) + 1;
    for (int round = 0; round < 600; round++) {
      std::string damaged = data;
      unsigned flips = 1 + rng() % 4;
      for (unsigned f = 0; f < flips; f++) {
        // Mostly the node data, sometimes the text lines.
        size_t at = rng() % 8 ? bodyAt + rng() % (data.size() - bodyAt) : rng() % data.size();
        if (rng() % 2) damaged[at] = (char)(rng() & 0xFF);
        else damaged[at] ^= (char)(1u << (rng() % 8));
      }
      TempFiles::rewrite(path, damaged);
      Ngram lm(1 + rng() % 3);
      if (lm.read_binary(path.c_str())) {
        loaded++;
        expect_consistent(lm, copy, rng);
      } else {
        failed++;
      }
    }
  }
  testing::internal::GetCapturedStderr();
  // Both outcomes occur; what matters is that neither crashed.
  EXPECT_GT(loaded, 0u);
  EXPECT_GT(failed, 0u);
}

// ---------------------------------------------------------------------------
// Text format

const char kArpa[] =
    "a comment before the data\n"
    "\\data\\\n"
    "ngram 1=5\n"
    "ngram 2=4\n"
    "ngram 3=2\n"
    "\n"
    "\\1-grams:\n"
    "-1.5\t10000000\t-0.5\n"
    "-1\t1\t-0.3\n"
    "-0.75 2 -0.2\r\n"
    "-99 3 -99\n"
    "-2.25 4\n"
    "\n"
    "\\2-grams:\n"
    "-0.3 1 2 -0.1\n"
    "-0.4 2 1 -0.05\n"
    "-0.125 2 3 0\n"
    "-0.5 1 4\n"
    "\n"
    "\\3-grams:\n"
    "-0.05 1 2 3\n"
    "-0.0625 2 1 4 0\n"
    "\\end\\\n";

TEST(NgramText, ReadsTheBackoffLayout) {
  TempFiles tmp;
  std::string path = tmp.write("model.arpa", kArpa);
  Ngram lm(3);
  std::string err;
  ASSERT_TRUE(read_text_capture(lm, path, &err)) << err;
  EXPECT_EQ(err, "");
  EXPECT_EQ(lm.LogP_unk_word, -1.5f);
  EXPECT_EQ(lm.contexts.value().bow, LogP_Zero);
  EXPECT_EQ(lm.num_ngrams(1), 5u);
  EXPECT_EQ(lm.num_ngrams(2), 4u);
  EXPECT_EQ(lm.num_ngrams(3), 2u);

  VocabIndex c1[] = {1, kEnd}, c2[] = {2, kEnd}, c21[] = {2, 1, kEnd}, c12[] = {1, 2, kEnd};
  EXPECT_EQ(lm.word_prob(2, c1), -0.3f);
  EXPECT_EQ(lm.word_prob(1, c2), -0.4f);
  EXPECT_EQ(lm.word_prob(3, c21), -0.05f);      // trigram 1 2 3
  EXPECT_EQ(lm.word_prob(4, c12), -0.0625f);    // trigram 2 1 4
  EXPECT_EQ(lm.word_prob(1, c21), -0.4f - 0.1f);  // bigram 2 1, then bow of "1 2"
  EXPECT_EQ(lm.word_prob(4, c2), -2.25f - 0.2f);  // unigram 4, bow of "2"
  EXPECT_EQ(lm.word_prob(3, c1), LogP_Zero);      // -99 reads as zero probability
  VocabIndex c3[] = {3, kEnd};
  EXPECT_EQ(lm.word_prob(1, c3), LogP_Zero);  // the bow -99 of context 3
  EXPECT_EQ(lm.word_prob(77, c1), -1.5f - 0.3f);

  // A text model written in the binary format reads back the same.
  std::string bin = tmp.path("model.bin");
  ASSERT_TRUE(write_binary_capture(lm, bin, &err));
  Ngram back(3);
  ASSERT_TRUE(read_binary_capture(back, bin, &err)) << err;
  EXPECT_EQ(back.word_prob(3, c21), -0.05f);
  EXPECT_EQ(back.word_prob(1, c21), -0.4f - 0.1f);
  EXPECT_EQ(back.num_ngrams(3), 2u);

  // A lower-order model skips the sections above its order and ignores the
  // bows of its highest order silently.
  Ngram bigram(2);
  ASSERT_TRUE(read_text_capture(bigram, path, &err)) << err;
  EXPECT_EQ(err, "");
  EXPECT_EQ(bigram.num_ngrams(3), 0u);
  EXPECT_EQ(bigram.word_prob(3, c21), -0.125f);
  EXPECT_EQ(bigram.contexts.find_trie(c21), nullptr);
}

TEST(NgramText, Warnings) {
  TempFiles tmp;
  std::string content =
      "\\data\\\n"         // line 1
      "ngram 1=3\n"        // 2
      "ngram 2=3\n"        // 3
      "\\1-grams:\n"       // 4
      "-1 10000000 -0.5\n" // 5
      "0.5 1 -0.1\n"       // 6: questionable prob
      "-1 2 inf\n"         // 7: questionable bow
      "\\2-grams:\n"       // 8
      "-0.5 1 2 -0.3\n"    // 9: non-zero bow at the maximal order
      "-0.5 7 2\n"         // 10: no context 7
      "-0.5 2 1 0.000\n"   // 11: a zero bow is fine
      "\\end\\\n";         // 12
  std::string path = tmp.write("warn.arpa", content);
  Ngram lm(3);
  std::string err;
  ASSERT_TRUE(read_text_capture(lm, path, &err));
  std::string p = path + ": line ";
  EXPECT_EQ(err, p + "6: warning: questionable prob \"0.5\"\n" +
                     p + "7: warning: questionable bow \"inf\"\n" +
                     p + "9: ignoring non-zero bow \"-0.3\" for maximal ngram\n" +
                     p + "10: warning: no bow for prefix of ngram \"7 2\"\n" +
                     p + "12: warning: 2 2-grams read, expected 3\n");
  EXPECT_EQ(lm.num_ngrams(1), 3u);
  VocabIndex c1[] = {1, kEnd};
  EXPECT_EQ(lm.word_prob(1, nullptr), 0.5f);
  EXPECT_EQ(lm.word_prob(2, c1), -0.5f);
  VocabIndex c2[] = {2, kEnd};
  EXPECT_EQ(lm.word_prob(1, c2), -0.5f);
}

TEST(NgramText, Errors) {
  TempFiles tmp;
  const std::string head = "\\data\\\nngram 1=1\nngram 2=1\n";
  struct Case {
    std::string content;
    std::string message;  // after "<name>: line "
  } cases[] = {
      {"\\data\\\nngram 0=1\n", "2: ngram order 0 out of range\n"},
      {"\\data\\\nngram 101=1\n", "2: ngram order 101 out of range\n"},
      {"\\data\\\nngram 1=-1\n", "2: ngram number -1 out of range\n"},
      {"\\data\\\nngram 1=1\nhello\n", "3: unexpected input\n"},
      {head + "\\3-grams:\n", "4: invalid ngram order 3\n"},
      {head + "\\0-grams:\n", "4: invalid ngram order 0\n"},
      {head + "\\1-grams:\n-1 10000000\n\\2-grams:\n-1 1 2 3 4\n",
       "7: ngram line has 5 fields (4 expected)\n"},
      {head + "\\1-grams:\n-1\n", "5: ngram line has 1 fields (3 expected)\n"},
      {head + "\\1-grams:\nabc 10000000\n", "5: bad prob \"abc\"\n"},
      {head + "\\1-grams:\n-1 10000000 x\n", "5: bad bow \"x\"\n"},
      {head + "\\1-grams:\n-1 ten\n", "5: bad word id \"ten\"\n"},
      {head + "\\1-grams:\n-1 4294967295\n", "5: bad word id \"4294967295\"\n"},
      {head + "\\1-grams:\n-1 10000000\n", "5: reached EOF before \\end\\\n"},
      {"no data here\n", "1: reached EOF before \\end\\\n"},
  };
  int i = 0;
  for (const Case& c : cases) {
    std::string path = tmp.write("err" + std::to_string(i++), c.content);
    Ngram lm(3);
    std::string err;
    EXPECT_FALSE(read_text_capture(lm, path, &err)) << c.message;
    EXPECT_EQ(err, path + ": line " + c.message);
  }

  std::string path = tmp.write("nounk.arpa", head + "\\1-grams:\n-1 5\n\\end\\\n");
  Ngram lm(3);
  std::string err;
  EXPECT_FALSE(read_text_capture(lm, path, &err));
  EXPECT_EQ(err, path + ": line 6: warning: 0 2-grams read, expected 1\n" + kNoUnk);
}

// ---------------------------------------------------------------------------
// parseLogP

TEST(NgramParseLogP, DecimalsAreExact) {
  LogP v;
  ASSERT_TRUE(parseLogP("-1.5", v));
  EXPECT_EQ(v, -1.5f);
  ASSERT_TRUE(parseLogP("+0.25", v));
  EXPECT_EQ(v, 0.25f);
  ASSERT_TRUE(parseLogP("-99", v));
  EXPECT_EQ(v, -99.0f);
  ASSERT_TRUE(parseLogP("3.", v));
  EXPECT_EQ(v, 3.0f);
  ASSERT_TRUE(parseLogP("-.5", v));
  EXPECT_EQ(v, -0.5f);
  ASSERT_TRUE(parseLogP("-0.1234567", v));
  EXPECT_EQ(v, -(1234567.0f / 10000000.0f));
  // Eight digits: the digit value is rounded to single precision before the
  // division (16777217 is not a float), unlike a correctly rounded parse.
  ASSERT_TRUE(parseLogP("-1.6777217", v));
  EXPECT_EQ(v, -(16777216.0f / 10000000.0f));
  EXPECT_NE(v, -1.6777217f);
  // Nine digits (leading zeros count) and exponents go through sscanf.
  ASSERT_TRUE(parseLogP("-1.67772170", v));
  EXPECT_EQ(v, -1.6777217f);
  ASSERT_TRUE(parseLogP("-0.16777217", v));
  EXPECT_EQ(v, -0.16777217f);
  ASSERT_TRUE(parseLogP("-1e-3", v));
  EXPECT_EQ(v, -0.001f);
}

TEST(NgramParseLogP, InfinitiesAndFailures) {
  LogP v = 0;
  ASSERT_TRUE(parseLogP("-Inf", v));
  EXPECT_EQ(v, LogP_Zero);
  ASSERT_TRUE(parseLogP("inf", v));
  EXPECT_EQ(v, LogP_Inf);
  ASSERT_TRUE(parseLogP("+Infinity", v));
  EXPECT_EQ(v, LogP_Inf);
  ASSERT_TRUE(parseLogP("nan", v));
  EXPECT_TRUE(std::isnan(v));
  ASSERT_TRUE(parseLogP("-2.5abc", v));  // sscanf takes the leading number
  EXPECT_EQ(v, -2.5f);
  EXPECT_FALSE(parseLogP("", v));
  EXPECT_FALSE(parseLogP("-", v));
  EXPECT_FALSE(parseLogP(".", v));
  EXPECT_FALSE(parseLogP("abc", v));
  ASSERT_TRUE(parseLogP("-INF", v));  // not the fast check, but sscanf knows it
  EXPECT_EQ(v, LogP_Zero);
}

TEST(NgramExport, FormatStringIsTheHeaderLine) {
  EXPECT_STREQ(Ngram_BinaryFormatString, "ZV_VELDOR_BINARY_NGRAM\n");
  EXPECT_EQ(std::strlen(Ngram_BinaryFormatString), 23u);
}

}  // namespace
