// Backoff n-gram language model over integer word ids.
//
// The model is a trie of contexts, most recent word first: the root holds the
// unigram probabilities, the root's child under word a holds the
// probabilities of the words that follow a (and the back-off weight of the
// context a), its child under b those that follow "b a", and so on.
//
// A model is loaded once (read_binary, or read for the text layout) and then
// only queried; word_prob neither allocates nor modifies anything, so any
// number of threads may call it on a loaded model at the same time.
//
// The trie above (`contexts`) is the form a model is built in.  read_binary
// instead keeps the model in a packed read-only form: per context, its
// words and their probabilities in two sorted arrays, its children likewise,
// all contexts sharing the same few arrays; `contexts` then stays empty.
// A loaded model whose contexts are all single words (a bigram model, or one
// read with order 2) goes one step further into a BigramTable, hashed for
// one-word-context queries.  word_prob, num_ngrams, mem_stats and
// write_binary work on every form, with the same results.
#ifndef LX_LM_NGRAM_H
#define LX_LM_NGRAM_H

#include <cstddef>
#include <memory>

#include "base/LHash.h"
#include "base/Trie.h"
#include "lm/BigramTable.h"
#include "lm/Prob.h"

class File;

// Value of every context node: the back-off weight of the context that leads
// to the node and the log10 probabilities of the words that follow it.
struct BOnode {
  LogP bow = LogP_One;
  LHash<VocabIndex, LogP> probs;
};

typedef Trie<VocabIndex, BOnode> BOtrie;

// Memory accounting filled by Ngram::mem_stats.
struct MemStats {
  size_t total = 0;   // bytes held by the structure
  size_t wasted = 0;  // of those, bytes of hash slots holding no entry
  void clear() { total = wasted = 0; }
};

// Header line of the binary model file.  The pointer is writable (and
// exported) so that tools built on the library can write and accept files
// under another header.
extern "C" __attribute__((visibility("default"))) const char* Ngram_BinaryFormatString;

// Parses a log probability as it appears in model text files.  Plain
// decimals ("-1.2345") of at most eight digits are converted exactly as
// digits / 10^fraction-digits in single precision; "Inf"/"inf" (after an
// optional sign) give +/-infinity; anything else goes through sscanf("%f").
// Returns false when nothing parses.
bool parseLogP(const char* text, LogP& result);

class Ngram {
 public:
  // Probability of a word that has no unigram entry: -99.0 until a model is
  // loaded, then the unigram probability of the unknown word.
  LogP LogP_unk_word;
  BOtrie contexts;
  unsigned order;

  explicit Ngram(unsigned neworder);
  virtual ~Ngram();

  // Probability of `word` after `context` (most recent word first, ended by
  // Vocab_None), using at most order - 1 context words.
  virtual LogP word_prob(VocabIndex word, const VocabIndex* context) const;
  // Probability of `word` after the first `clen` words of `context` (fewer if
  // a Vocab_None comes first): the probability in the longest context holding
  // the word, plus the back-off weights of the longer contexts that exist.  If
  // pbbk is given it is set to false when the word was found in exactly two
  // contexts (with a one-word context: the bigram exists), true otherwise.
  virtual LogP word_prob(VocabIndex word, const VocabIndex* context, unsigned clen,
                         bool* pbbk) const;
  // Probability of `word` after the single context word `ctx`: the same as
  // word_prob with the context {ctx, Vocab_None} and clen 1, answered inline
  // when the model is held in a bigram table (the path searches ask this for
  // every lattice edge).
  LogP bigram_prob(VocabIndex word, VocabIndex ctx) const {
    if (m_bigrams) return m_bigrams->prob(word, ctx, LogP_unk_word, nullptr);
    const VocabIndex context[2] = {ctx, Vocab_None};
    return word_prob(word, context, 1, nullptr);
  }
  // Reads the backoff text layout ("\data\", "\n-grams:", "\end\") with
  // decimal word ids.  Replaces the model's content.
  virtual bool read(const char* file);
  // Number of stored n-grams of order n (0 for n = 0).
  virtual unsigned long num_ngrams(unsigned n) const;
  virtual void mem_stats(MemStats& stats) const;

  // Loads a binary model file, replacing the model's content (into the packed
  // form or the bigram table).  Any problem (a file that cannot be opened or read: "<file>:
  // <reason>") is reported on stderr and yields false.  A bad header leaves
  // the model as it was; any later problem leaves it empty, except a missing
  // unknown word: the model is then loaded without it.
  bool read_binary(const char* lmfile);
  // Writes the model in the binary format, levels 1 .. order; false (with a
  // message naming the file) when the file cannot be written.
  bool write_binary(const char* lmfile) const;

 private:
  struct Packed;
  std::unique_ptr<Packed> m_packed;  // the model read_binary loaded, or null
  // Instead of m_packed, a loaded model whose contexts are single words.
  std::unique_ptr<BigramTable> m_bigrams;

  bool write_tree(const char* lmfile, const BOtrie& root) const;
  bool write_binary_node(File& file, const BOtrie& node, unsigned level,
                         unsigned lengthBytes) const;
  bool set_unk_word(const char* name);
  void clear();

  Ngram(const Ngram&) = delete;
  Ngram& operator=(const Ngram&) = delete;
};

#endif  // LX_LM_NGRAM_H
