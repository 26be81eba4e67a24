// Resource training: turns the training part of the corpus into a resource
// directory that LXInitSeg loads (see docs/training.md for the contracts:
// word ids, score meanings, smoothing).
//
//   lxtrain::Trainer t;
//   t.add_corpus(stream);             // corpus format, dev paragraphs skipped
//   t.set_surnames(...);              // optional inputs
//   t.write("out", &error);
//
// Everything the trainer writes is a function of its inputs only: containers
// are ordered, numbers are printed with fixed formats, so two runs give
// identical bytes.
#ifndef LX_TRAINER_TRAIN_H
#define LX_TRAINER_TRAIN_H

#include <cstdint>
#include <istream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Corpus.h"

class CFactoid;

namespace lxtrain {

// Model ids of the items that are not dictionary words (a dictionary word's
// id is its index in "Core.Lex").
const uint32_t kIdChar = 10000000u;    // single character outside the dictionary, other factoid
const uint32_t kIdStart = 10000001u;   // sentence-start context
const uint32_t kIdNumber = 10000003u;  // number factoid
const uint32_t kIdAlnum = 10000004u;   // alphanumeric string, web or e-mail address

// A piece of a training sentence as the lattice holds it: a dictionary word
// (by text) or a class id.
struct TrainPiece {
  std::string word;  // empty for a class piece
  uint32_t cls = 0;
  int pos = 0;       // POS id of the corpus token the piece comes from
};

// True when a corpus word reaches the lattice through the factoid recognizer
// rather than the dictionary: its first character is an ASCII or full-width
// digit or letter.  Such words are not dictionary words.
bool IsFactoidLed(const std::string& word);

// True when every character of `word` is a separator of the sentence
// splitter (the corpus has no word that mixes separators and other text).
bool IsSeparatorToken(const std::string& word);

struct TrainOptions {
  bool skip_dev = true;  // leave the development paragraphs out
};

struct TrainSummary {
  size_t paragraphs_used = 0;
  size_t paragraphs_dev = 0;
  size_t paragraphs_malformed = 0;
  size_t sentences = 0;
  size_t tokens = 0;
  size_t dict_words = 0;
  size_t bigrams = 0;
  double discount = 0;
  std::string report() const;
};

class Trainer {
 public:
  explicit Trainer(TrainOptions options = TrainOptions());
  ~Trainer();

  // Reads a corpus stream; the reader's defect counts are merged into
  // corpus_stats().
  void add_corpus(std::istream& in);
  void add_paragraph(const CorpusParagraph& para);

  // Surname list "surname<TAB>count" (UTF-8).
  void add_surnames(std::istream& in);
  // OpenCC text dumps "traditional<TAB>simplified [alternatives]" (UTF-8).
  void add_t2s_characters(std::istream& in);
  void add_t2s_phrases(std::istream& in);

  // The pieces of a corpus token (exposed for the tests).
  std::vector<TrainPiece> pieces_of(const CorpusToken& token) const;

  // Writes the whole resource directory (created if missing).
  bool write(const std::string& dir, std::string* error);

  const CorpusStats& corpus_stats() const { return m_corpus_stats; }
  const TrainSummary& summary() const { return m_summary; }

 private:
  bool write_dictionary_and_models(const std::string& dir, std::string* error);
  bool write_tables(const std::string& dir, std::string* error);
  bool write_lists(const std::string& dir, std::string* error);

  TrainOptions m_options;
  std::unique_ptr<CFactoid> m_factoid;
  CorpusStats m_corpus_stats;
  TrainSummary m_summary;

  // word -> POS id -> count, over dictionary words.
  std::map<std::string, std::map<int, uint64_t>> m_word_pos;
  std::map<int, uint64_t> m_tag_count;
  // POS bigrams (sentence start 49, sentence end 55).
  std::map<std::pair<int, int>, uint64_t> m_tag_bigram;
  // Sentences as pieces, interned: piece key = index into m_piece_words, or
  // a class id.
  std::vector<std::vector<uint32_t>> m_sentences;
  std::map<std::string, uint32_t> m_piece_index;
  std::vector<std::string> m_piece_words;
  // Single-character words: count as "nr" and count otherwise.
  std::map<std::string, std::pair<uint64_t, uint64_t>> m_single_char_nr;

  std::vector<std::pair<std::string, uint64_t>> m_surnames;  // GBK
  std::map<std::string, std::vector<std::string>> m_ts_chars;  // GBK char -> targets
  std::map<std::string, std::string> m_ts_phrases;             // GBK
};

}  // namespace lxtrain

#endif  // LX_TRAINER_TRAIN_H
