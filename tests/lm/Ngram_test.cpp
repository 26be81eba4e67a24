#include "lm/Ngram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "support/temp_dir.h"

namespace {

const char kHeader[] = "ZV_VELDOR_BINARY_NGRAM\n";
// What the loaders print after the file name for a model without <unk>.
const char kNoUnk[] = ": the model has no <unk>\n";
const VocabIndex kEnd = Vocab_None;

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The binary encoding, written out independently of the library's encoder:
// big-endian counts of 2, 4 or 8 bytes (tagged 0, 10, 11), IEEE floats.
std::string count_of(uint64_t value, unsigned bytes = 0) {
  if (bytes == 0) bytes = value < 0x8000 ? 2 : value < (1u << 30) ? 4 : 8;
  value |= bytes == 4 ? 0x80000000u : bytes == 8 ? 0xC000000000000000ull : 0;
  std::string out;
  for (unsigned i = bytes; i-- > 0;) out += (char)(value >> (8 * i));
  return out;
}

std::string float_of(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  return count_of(bits & 0x3FFFFFFF, 4).replace(0, 1, 1, (char)(bits >> 24));  // the bits, big-endian
}

// A node record; its length field is computed from the content unless
// overridden.
struct NodePlan {
  unsigned lengthBytes = 4;
  float bow = 0.0f;
  std::vector<std::pair<uint64_t, float>> probs = {{Vocab_Unknown, -6.0f}, {1, -1.0f}};
  std::vector<std::pair<uint64_t, std::string>> children;  // wid, child record
  long long numProbs = -1, length = -1;
  std::string extra;  // raw bytes appended to the content
};

std::string node_bytes(const NodePlan& plan) {
  std::string body = float_of(plan.bow) + count_of(plan.numProbs >= 0 ? plan.numProbs : plan.probs.size());
  for (const auto& p : plan.probs) body += count_of(p.first) + float_of(p.second);
  for (const auto& c : plan.children) body += count_of(c.first) + c.second;
  body += plan.extra;
  return count_of(plan.length >= 0 ? plan.length : body.size() + plan.lengthBytes, plan.lengthBytes) + body;
}

NodePlan leaf(std::vector<std::pair<uint64_t, float>> probs, long long length = -1) {
  return NodePlan{2, 0.0f, probs, {}, -1, length, ""};
}

std::string model_file(unsigned maxorder, const std::string& root) {
  return kHeader + ("maxorder " + std::to_string(maxorder) + "\n") + root;
}

// Reference model in plain maps, with back-off written the long way: the
// longest existing context, the longest of its prefixes holding the word, and
// the back-off weights of the contexts in between.
typedef std::vector<VocabIndex> Path;  // context words, most recent first

struct RefModel {
  unsigned order = 1;
  LogP unk = -99.0f;
  std::map<Path, LogP> bows;                         // every existing context
  std::map<Path, std::map<VocabIndex, LogP>> probs;  // context -> word -> log probability

  LogP word_prob(VocabIndex word, const VocabIndex* context, unsigned clen, bool* pbbk) const {
    Path path;
    std::vector<Path> prefixes{path};
    for (unsigned i = 0; i < clen && context[i] != kEnd; i++) {
      path.push_back(context[i]);
      if (bows.count(path) == 0) break;
      prefixes.push_back(path);
    }
    int best = -1, found = 0;
    for (size_t i = 0; i < prefixes.size(); i++) {
      auto node = probs.find(prefixes[i]);
      if (node != probs.end() && node->second.count(word)) best = (int)i, found++;
    }
    LogP result = best >= 0 ? probs.at(prefixes[best]).at(word) : unk, bow = 0.0f;
    for (size_t k = std::max(best + 1, 1); k < prefixes.size(); k++) bow += bows.at(prefixes[k]);
    if (pbbk) *pbbk = found != 2;
    return result + bow;
  }
  unsigned long num_ngrams(unsigned n) const {
    unsigned long total = 0;
    for (const auto& node : probs) total += n > 0 && node.first.size() == n - 1 ? node.second.size() : 0;
    return total;
  }
  RefModel truncated(unsigned n) const {  // the model as an order-n reader sees it
    RefModel out = *this;
    out.order = n;
    for (auto it = out.bows.begin(); it != out.bows.end();) it = it->first.size() >= n ? out.bows.erase(it) : ++it;
    for (auto it = out.probs.begin(); it != out.probs.end();) it = it->first.size() >= n ? out.probs.erase(it) : ++it;
    return out;
  }
  void fill(Ngram& lm) const {
    auto node = [&](Path keys) -> BOnode& { return keys.push_back(kEnd), lm.contexts.insert_trie(keys.data())->value(); };
    for (const auto& b : bows) node(b.first).bow = b.second;
    for (const auto& p : probs)
      for (const auto& e : p.second) *node(p.first).probs.insert(e.first) = e.second;
    lm.LogP_unk_word = unk;
  }
};

// Word ids around the widths of the count encoding and other special values.
VocabIndex random_id(std::mt19937& rng) {
  static const VocabIndex special[] = {0, 1, 32767, 32768, 65535, (1u << 30) - 1, 1u << 30, 0x7FFFFFFFu,
                                       0x80000000u, 0xFFFFFFFEu, Vocab_Unknown};
  const unsigned kind = rng() % 4;
  return kind == 0 ? special[rng() % 11] : kind == 1 ? rng() % 64 : kind == 2 ? rng() % 70000 : (VocabIndex)(rng() % 0xFFFFFFFFu);
}

LogP random_logp(std::mt19937& rng) {
  return rng() % 8 == 0 ? 0.0f : rng() % 8 == 0 ? LogP_Zero : -(LogP)(rng() % 1000000) / 100000.0f;
}

RefModel random_model(unsigned order, std::mt19937& rng, unsigned unigrams = 60) {
  RefModel ref;
  ref.order = order;
  ref.bows[Path()] = random_logp(rng);
  auto& root = ref.probs[Path()];
  for (unsigned i = 0; i < unigrams; i++) root[random_id(rng)] = random_logp(rng);
  ref.unk = root[Vocab_Unknown] = -(LogP)(rng() % 700) / 100.0f - 1.0f;
  std::vector<Path> level{Path()}, next;
  for (unsigned depth = 1; depth < order && !level.empty(); depth++, level.swap(next), next.clear()) {
    for (unsigned c = 5 + rng() % 25; c > 0; c--) {
      Path path = level[rng() % level.size()];
      path.push_back(random_id(rng));
      if (!ref.bows.emplace(path, random_logp(rng)).second) continue;
      next.push_back(path);
      auto& node = ref.probs[path];
      for (unsigned e = rng() % 12; e > 0; e--)  // mostly words with a unigram, so that queries hit
        node[rng() % 3 ? std::next(root.begin(), rng() % root.size())->first : random_id(rng)] = random_logp(rng);
    }
  }
  return ref;
}

bool same_logp(LogP a, LogP b) { return std::memcmp(&a, &b, sizeof a) == 0; }  // bit for bit

// Compares a model with the reference on random queries (existing contexts,
// sometimes altered or extended; words of some context or any word), through
// both forms of word_prob.
void expect_matches(const Ngram& lm, const RefModel& ref, std::mt19937& rng, int queries = 400) {
  for (unsigned n = 0; n <= ref.order + 1; n++) EXPECT_EQ(lm.num_ngrams(n), ref.num_ngrams(n)) << "order " << n;
  EXPECT_TRUE(same_logp(lm.LogP_unk_word, ref.unk));
  for (int i = 0; i < queries; i++) {
    Path context = std::next(ref.bows.begin(), rng() % ref.bows.size())->first;
    if (rng() % 4 == 0) context.push_back(random_id(rng));
    if (!context.empty() && rng() % 6 == 0) context[rng() % context.size()] = random_id(rng);
    context.push_back(kEnd);
    unsigned clen = rng() % 8 == 0 ? 0xFFFFFFFFu : rng() % (ref.order + 2);
    auto node = std::next(ref.probs.begin(), rng() % ref.probs.size());
    VocabIndex word = rng() % 3 && !node->second.empty()
                          ? std::next(node->second.begin(), rng() % node->second.size())->first
                          : random_id(rng);
    bool bbk = false, refBbk = true;
    LogP got = lm.word_prob(word, context.data(), clen, &bbk), want = ref.word_prob(word, context.data(), clen, &refBbk);
    ASSERT_TRUE(same_logp(got, want) && bbk == refBbk) << "word " << word << " clen " << clen << ": " << got << " vs " << want;
    ASSERT_TRUE(same_logp(lm.bigram_prob(word, context[0]), ref.word_prob(word, context.data(), 1, nullptr)));
    // The two-argument form uses the whole context, up to order - 1 words.
    ASSERT_TRUE(same_logp(lm.word_prob(word, context.data()),
                          ref.word_prob(word, context.data(), lm.order - 1, nullptr)));
  }
}

// Loaders and the writer, returning the result and what was printed on stderr.
bool capture(bool ok, std::string* err) { return *err = testing::internal::GetCapturedStderr(), ok; }
bool read_binary(Ngram& lm, const std::string& path, std::string* err) {
  return testing::internal::CaptureStderr(), capture(lm.read_binary(path.c_str()), err);
}
bool write_binary(const Ngram& lm, const std::string& path, std::string* err) {
  return testing::internal::CaptureStderr(), capture(lm.write_binary(path.c_str()), err);
}
bool read_text(Ngram& lm, const std::string& path, std::string* err) {
  return testing::internal::CaptureStderr(), capture(lm.read(path.c_str()), err);
}

TEST(NgramBinary, WritesTheDocumentedBytes) {
  lxtest::TempDir dir("lx_ngram_");
  RefModel ref{2, -2.0f, {{Path(), 0.0f}, {Path{1}, -0.5f}}, {{Path(), {{1, -1.0f}, {Vocab_Unknown, -2.0f}}}, {Path{1}, {{2, -0.25f}}}}};
  Ngram lm(2), back(2);
  ref.fill(lm);
  std::string path = dir.file("small.bin"), err;
  ASSERT_TRUE(write_binary(lm, path, &err) && err.empty()) << err;
  // Root: 4-byte length 0x28, bow, 2 probs (word 1, the unknown word
  // 10000000 = 0x989680 in 4 bytes), then child 1 with a 2-byte length.
  using namespace std::string_literals;
  EXPECT_EQ(slurp(path), "ZV_VELDOR_BINARY_NGRAM\nmaxorder 2\n\x80\x00\x00\x28"s + float_of(0.0f) + "\x00\x02\x00\x01"s + float_of(-1.0f) +
                             "\x80\x98\x96\x80" + float_of(-2.0f) + "\x00\x01\x00\x0E"s + float_of(-0.5f) + "\x00\x01\x00\x02"s + float_of(-0.25f));
  EXPECT_STREQ(Ngram_BinaryFormatString, kHeader);
  ASSERT_TRUE(read_binary(back, path, &err) && err.empty()) << err;
  std::mt19937 rng(1);
  expect_matches(back, ref, rng, 50);
}

// Random models of orders 1-5 match the reference before and after a binary
// round trip; writing the loaded model gives the same file; lower-order
// models read deeper files (skipping the deeper levels) and deeper models
// read shallower files.
TEST(NgramBinary, RandomModelsRoundTrip) {
  lxtest::TempDir dir("lx_ngram_");
  std::mt19937 rng(12345);
  std::string err;
  for (unsigned order = 1; order <= 5; order++) {
    for (int round = 0; round < 4; round++) {
      RefModel ref = random_model(order, rng, 30 + rng() % 150);
      Ngram lm(order), back(order);
      ref.fill(lm);
      expect_matches(lm, ref, rng, 200);
      std::string path = dir.file("rt"), copy = dir.file("copy");
      ASSERT_TRUE(write_binary(lm, path, &err) && err.empty()) << err;
      // The root's length field: 2 bytes at order 1, 4 below order 5, else 8.
      unsigned char first = slurp(path)[strlen(kHeader) + 11];
      EXPECT_EQ(first < 0x80 ? 2 : first < 0xC0 ? 4 : 8, order == 1 ? 2 : order < 5 ? 4 : 8) << order;
      ASSERT_TRUE(read_binary(back, path, &err) && err.empty()) << err;
      expect_matches(back, ref, rng);
      ASSERT_TRUE(write_binary(back, copy, &err));
      EXPECT_EQ(slurp(copy), slurp(path));
      for (unsigned lower = 1; lower <= order + 1; lower++) {
        Ngram other(lower);
        ASSERT_TRUE(read_binary(other, path, &err) && err.empty()) << err;
        RefModel cut = ref.truncated(std::min(lower, order));
        cut.order = lower;
        expect_matches(other, cut, rng, 100);
      }
    }
  }
}

// A node too large for its length field is written again with a wider one,
// with a message naming the file; the file reads back.
TEST(NgramBinary, OversizedNodesAreRewrittenWithWiderLength) {
  lxtest::TempDir dir("lx_ngram_");
  std::mt19937 rng(3);
  for (unsigned order : {1u, 2u}) {
    RefModel ref = random_model(order, rng, 30);
    Path big = order == 1 ? Path() : Path{5};
    ref.bows[big] = -0.75f;
    for (VocabIndex w = 0; w < 6000; w++) ref.probs[big][w * 3] = -(LogP)w / 1000.0f;
    Ngram lm(order), back(order);
    std::string path = dir.file("big"), err, level = std::to_string(order);
    ASSERT_TRUE((ref.fill(lm), write_binary(lm, path, &err)));
    // At order 1 the first attempt ended at the final size less the 2 extra bytes.
    size_t offset = order == 1 ? slurp(path).size() - 2 : std::stoul(err.substr(path.size() + 9));
    EXPECT_EQ(err, path + ": offset " + std::to_string(offset) + ": increasing offset bytes from 2 to 4 (order " + level + ", level " + level + ")\n");
    ASSERT_TRUE(read_binary(back, path, &err));
    expect_matches(back, ref, rng, 300);
  }
}

// Keys out of order or repeated (not as the writer puts them) load as the
// trie takes them, the last of equal keys winning, whichever form the reader
// keeps; far ids (above the direct records) as well.
TEST(NgramBinary, UnorderedAndRepeatedKeys) {
  lxtest::TempDir dir("lx_ngram_");
  const VocabIndex far = 0xFFFFFFF0u;
  const std::vector<std::pair<uint64_t, float>> roots[] = {
      {{2, -2.0f}, {9, -1.0f}, {Vocab_Unknown, -6.0f}, {far, -2.5f}},                 // ascending
      {{9, -1.0f}, {Vocab_Unknown, -6.0f}, {2, -2.0f}, {far, -2.5f}, {9, -3.0f}}};  // neither
  const std::vector<std::vector<std::pair<uint64_t, float>>> lists[] = {
      {{{3, -0.5f}, {1, -0.25f}, {far, -0.125f}}, {{4, -0.75f}}},              // successors unordered
      {{{3, -0.5f}, {1, -0.25f}, {3, -0.875f}}, {{4, -0.75f}, {9, -0.0625f}}},  // a successor repeated
  };
  const std::vector<VocabIndex> contexts[] = {{2, 5000000}, {far, 7}, {7, 7}};  // 5000000: far, no unigram
  std::string path = dir.file("unordered"), err;
  for (int variant = 0; variant < 12; variant++) {
    NodePlan root;
    root.probs = roots[variant % 2];
    const auto& list = lists[variant / 2 % 2];
    const auto& ctx = contexts[variant / 4];
    RefModel ref{2, -6.0f, {{Path(), 0.0f}}, {}};
    for (const auto& p : root.probs) ref.probs[Path()][(VocabIndex)p.first] = p.second;
    for (size_t c = 0; c < ctx.size(); c++) {
      root.children.push_back({ctx[c], node_bytes(leaf(list[c]))});
      ref.bows[Path{ctx[c]}] = 0.0f;
      auto& node = ref.probs[Path{ctx[c]}];
      for (const auto& p : list[c]) node[(VocabIndex)p.first] = p.second;
    }
    ASSERT_TRUE(dir.write("unordered", model_file(2, node_bytes(root))));
    for (unsigned order : {2u, 3u}) {
      Ngram lm(order);
      ASSERT_TRUE(read_binary(lm, path, &err) && err.empty()) << err;
      RefModel want = ref;
      want.order = order;
      std::mt19937 rng(variant);
      expect_matches(lm, want, rng, 200);
    }
  }
}

TEST(NgramBinaryErrors, HeaderOrderLineAndUnknownWord) {
  lxtest::TempDir dir("lx_ngram_");
  std::string root = node_bytes(NodePlan());
  const std::string format = "line 1: bad binary format\n", order = "line 1: could not read ngram order\n", h = kHeader;
  const struct { std::string content, message; } rows[] = {
      {"ZV_VELDOR_BINARY_NGRAM\r\nmaxorder 2\n" + root, format}, {"", "line 0: bad binary format\n"},
      {"ZV_VELDOR_BINARY_NGRAMS\nmaxorder 2\n" + root, format}, {"ZV_VELDOR_BINARY_NGRAM", format},
      {h + "maxorder x\n" + root, order}, {h + "max order 2\n" + root, order}, {h + "maxorder 2", order},
      {h + "maxorder 101\n" + root, order}, {h + "maxorder 4294967295\n" + root, order},
      {h + "maxorder -1\n" + root, order}, {h + "maxorder 2 junk\n" + root, order},
      {h + "maxorder 100\n" + root, ""}, {h + "maxorder 2 \r\n" + root, ""}};  // the largest order; white space
  std::string path = dir.file("hdr"), err;
  for (const auto& row : rows) {
    ASSERT_TRUE(dir.write("hdr", row.content));
    Ngram lm(3);
    EXPECT_EQ(read_binary(lm, path, &err), row.message.empty()) << row.message;
    EXPECT_EQ(err, row.message.empty() ? "" : path + ": " + row.message);
    EXPECT_EQ(lm.LogP_unk_word, row.message.empty() ? -6.0f : -99.0f);
  }
  // Without the unknown word: the probabilities stay, its probability does not
  // change; maxorder 0 reads nothing at all.
  NodePlan noUnk = leaf({{1, -1.0f}, {2, -2.0f}});
  noUnk.lengthBytes = 4;
  ASSERT_TRUE(dir.write("nounk", model_file(2, node_bytes(noUnk))));
  ASSERT_TRUE(dir.write("order0", model_file(0, root)));
  Ngram lm(3);
  for (const char* name : {"nounk", "order0"}) {
    EXPECT_FALSE(read_binary(lm, dir.file(name), &err));
    EXPECT_EQ(std::make_tuple(err, lm.num_ngrams(1), lm.LogP_unk_word), std::make_tuple(dir.file(name) + kNoUnk, name[0] == 'n' ? 2ul : 0ul, -99.0f));
  }
}

// Lengths and counts that do not fit their parent or the file are refused as
// "<file>: offset <n>: data misaligned" by models of every order.
TEST(NgramBinaryErrors, CraftedLengthsAndCounts) {
  lxtest::TempDir dir("lx_ngram_");
  std::string child = node_bytes(leaf({{2, -0.25f}}));
  auto root_with = [](std::function<void(NodePlan&)> change) {
    NodePlan root;
    change(root);
    return model_file(2, node_bytes(root));
  };
  const std::string files[] = {
      root_with([](NodePlan& r) { r.numProbs = (1ll << 62) - 1; }),
      root_with([](NodePlan& r) { r.numProbs = 1000; }),
      root_with([](NodePlan& r) { r.lengthBytes = 8, r.length = (1ll << 62) - 1; }),
      root_with([](NodePlan& r) { r.length = 1u << 29; }),
      root_with([](NodePlan& r) { r.children = {{1, node_bytes(leaf({{2, -0.25f}}, 40))}}; }) + std::string(64, '\0'),
      root_with([](NodePlan& r) { r.children = {{Vocab_None, node_bytes(leaf({{2, -0.25f}}, 1000))}}; }),
      root_with([](NodePlan& r) { r.children = {{Vocab_None, node_bytes(leaf({{2, -0.25f}}, 0))}}; }),
      root_with([](NodePlan& r) { r.probs.push_back({1ull << 32, -1.0f}); }),
      root_with([&](NodePlan& r) { r.children = {{(1ull << 32) + 1, child}}; }),
      root_with([](NodePlan& r) { r.extra = "\x80\x00\x00\x05", r.length = node_bytes(r).size() - 2; }),
      root_with([](NodePlan& r) {  // one entry short in a child
        NodePlan c = leaf({{2, -0.25f}, {3, -0.5f}});
        c.length = node_bytes(c).size() - 6;
        r.children = {{1, node_bytes(c)}};
      })};
  std::string path = dir.file("bad"), err;
  for (size_t i = 0; i < sizeof files / sizeof files[0]; i++) {
    ASSERT_TRUE(dir.write("bad", files[i]));
    for (unsigned order : {1u, 2u, 3u}) {
      Ngram lm(order);
      EXPECT_FALSE(read_binary(lm, path, &err)) << i << " order " << order;
      EXPECT_TRUE(err.compare(0, path.size() + 9, path + ": offset ") == 0 && err.find(": data misaligned\n") != std::string::npos) << i << ": " << err;
    }
  }
  // The short child is found as soon as its entry count is known not to fit:
  // 12 bytes of entries remain in the file.
  Ngram lm(2);
  EXPECT_FALSE(read_binary(lm, path, &err));
  EXPECT_EQ(err, path + ": offset " + std::to_string(files[10].size() - 12) + ": data misaligned\n");
}

// Every truncation of a valid file fails; random damage either fails or loads
// a model that survives a write and a read unchanged (and never crashes).
TEST(NgramBinaryErrors, TruncatedAndDamagedFiles) {
  lxtest::TempDir dir("lx_ngram_");
  std::mt19937 rng(2024);
  std::string path = dir.file("cut"), copy = dir.file("copy"), err;
  unsigned loaded = 0, failed = 0;
  testing::internal::CaptureStderr();
  for (unsigned order = 1; order <= 3; order++) {
    RefModel ref = random_model(order, rng, 4);
    Ngram source(order);
    ref.fill(source);
    ASSERT_TRUE(source.write_binary(path.c_str()));
    const std::string data = slurp(path);
    for (size_t cut = 0; cut <= data.size(); cut++) {
      std::remove(path.c_str());  // truncating in place is slow on some file systems
      ASSERT_TRUE(dir.write("cut", data.substr(0, cut)));
      Ngram lm(1 + cut % 3);
      EXPECT_EQ(lm.read_binary(path.c_str()), cut == data.size()) << "cut at " << cut << " of " << data.size();
    }
    size_t body = data.find('\n', strlen(kHeader)) + 1;
    for (int round = 0; round < 600; round++) {
      std::string damaged = data;
      for (unsigned f = 1 + rng() % 4; f > 0; f--) {
        size_t at = rng() % 8 ? body + rng() % (data.size() - body) : rng() % data.size();
        damaged[at] = rng() % 2 ? (char)rng() : damaged[at] ^ (char)(1u << (rng() % 8));
      }
      std::remove(path.c_str());
      ASSERT_TRUE(dir.write("cut", damaged));
      Ngram lm(1 + rng() % 3);
      if (!lm.read_binary(path.c_str()) && ++failed) continue;
      loaded++;
      std::remove(copy.c_str());
      ASSERT_TRUE(lm.write_binary(copy.c_str()) && dir.write("cut", slurp(copy)) && lm.read_binary(path.c_str()) && lm.write_binary(copy.c_str()));
      ASSERT_EQ(slurp(copy), slurp(path));  // what loaded writes and reads back the same
    }
  }
  testing::internal::GetCapturedStderr();
  EXPECT_GT(loaded, 0u);
  EXPECT_GT(failed, 0u);
}

TEST(NgramText, WarningsAndErrors) {
  lxtest::TempDir dir("lx_ngram_");
  const std::string head = "\\data\\\nngram 1=1\nngram 2=1\n";
  const struct { std::string content, message; bool ok; } rows[] = {
      {"\\data\\\nngram 1=3\nngram 2=3\n\\1-grams:\n-1 10000000 -0.5\n0.5 1 -0.1\n-1 2 inf\n\\2-grams:\n"
       "-0.5 1 2 -0.3\n-0.5 7 2\n-0.5 2 1 0.000\n\\end\\\n",
       "6: warning: questionable prob \"0.5\"\n#7: warning: questionable bow \"inf\"\n"
       "#9: ignoring non-zero bow \"-0.3\" for maximal ngram\n#10: warning: no bow for prefix of ngram \"7 2\"\n"
       "#12: warning: 2 2-grams read, expected 3\n", true},
      {"\\data\\\nngram 0=1\n", "2: ngram order 0 out of range\n", false}, {"no data here\n", "1: reached EOF before \\end\\\n", false},
      {"\\data\\\nngram 101=1\n", "2: ngram order 101 out of range\n", false}, {head + "\\3-grams:\n", "4: invalid ngram order 3\n", false},
      {"\\data\\\nngram 1=-1\n", "2: ngram number -1 out of range\n", false}, {head + "\\0-grams:\n", "4: invalid ngram order 0\n", false},
      {"\\data\\\nngram 1=1\nhello\n", "3: unexpected input\n", false},
      {head + "\\1-grams:\n-1 10000000\n\\2-grams:\n-1 1 2 3 4\n", "7: ngram line has 5 fields (4 expected)\n", false},
      {head + "\\1-grams:\n-1\n", "5: ngram line has 1 fields (3 expected)\n", false}, {head + "\\1-grams:\n-1 ten\n", "5: bad word id \"ten\"\n", false},
      {head + "\\1-grams:\nabc 10000000\n", "5: bad prob \"abc\"\n", false}, {head + "\\1-grams:\n-1 10000000 x\n", "5: bad bow \"x\"\n", false},
      {head + "\\1-grams:\n-1 4294967295\n", "5: bad word id \"4294967295\"\n", false},
      {head + "\\1-grams:\n-1 10000000\n", "5: reached EOF before \\end\\\n", false},
      {head + "\\1-grams:\n-1 5\n\\end\\\n", "6: warning: 0 2-grams read, expected 1\n", false}};
  std::string path = dir.file("m.arpa"), err;
  for (const auto& row : rows) {
    ASSERT_TRUE(dir.write("m.arpa", row.content));
    Ngram lm(3);
    EXPECT_EQ(read_text(lm, path, &err), row.ok) << row.message;
    std::string want = path + ": line " + row.message;
    for (size_t at; (at = want.find('#')) != std::string::npos;) want.replace(at, 1, path + ": line ");
    EXPECT_EQ(err, want + (row.message.find("0 2-grams") != std::string::npos ? path + kNoUnk : ""));
    VocabIndex c1[] = {1, kEnd}, c2[] = {2, kEnd};
    EXPECT_TRUE(!row.ok || std::make_tuple(lm.num_ngrams(1), lm.word_prob(1, nullptr), lm.word_prob(2, c1), lm.word_prob(1, c2)) ==
                               std::make_tuple(3ul, 0.5f, -0.5f, -0.5f));
  }
}

TEST(NgramParseLogP, DecimalsInfinitiesAndFailures) {
  // Up to eight digits: the digit value rounded to single precision, divided
  // (16777217 is not a float); longer numbers and exponents go through sscanf.
  const struct { const char* text; bool ok; LogP value; } rows[] = {
      {"-1.5", true, -1.5f}, {"+0.25", true, 0.25f}, {"3.", true, 3.0f}, {"-.5", true, -0.5f}, {"-1e-3", true, -0.001f},
      {"-1.6777217", true, -(16777216.0f / 10000000.0f)}, {"-1.67772170", true, -1.6777217f}, {"-Inf", true, LogP_Zero},
      {"+Infinity", true, LogP_Inf}, {"-2.5abc", true, -2.5f}, {"", false, 7}, {"-", false, 7}, {".", false, 7}};
  for (const auto& row : rows) {
    LogP v = 7;
    EXPECT_EQ(std::make_pair(parseLogP(row.text, v), v), std::make_pair(row.ok, row.value)) << row.text;
  }
  LogP v = 0;
  EXPECT_TRUE(parseLogP("nan", v) && std::isnan(v));
}

}  // namespace
