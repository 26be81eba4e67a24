// Segmentation scoring against a gold standard.
//
// Both sides are read line by line (GBK).  A line is in one of three forms:
//   corpus  - the training corpus format (`word/tag` separated by blanks,
//             optional paragraph id first, brackets allowed);
//   words   - words separated by blanks, no tags;
//   tagged  - `word/tag` records separated by TABs, as the segmentation tool
//             writes them with its output flag set (text after the tag's
//             letters, such as a custom class, is ignored).
// Words are compared as character spans (GBK characters, not bytes), so a
// system that normalised full-width characters to half-width still aligns
// with the gold text.  A line pair whose character counts differ is not
// scored and is counted in `skipped_lines`.
#ifndef LX_TRAINER_EVAL_H
#define LX_TRAINER_EVAL_H

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

class CCoarseData;

namespace lxtrain {

enum class SegFormat { kAuto, kCorpus, kWords, kTagged };

struct SegWord {
  std::string word;   // GBK
  size_t begin = 0;   // character offsets in the line's text
  size_t end = 0;
  int pos = 0;        // library POS id, 0 when untagged
};

struct SegLine {
  std::vector<SegWord> words;
  size_t chars = 0;
  bool tagged = false;
};

// Number of GBK characters of `s` (a lead byte 0x81..0xFE followed by
// another byte is one character; every other byte is one).
size_t GbkCharCount(const std::string& s);

// The coarse reference (lxeval --coarse): a corpus line is joined by the
// rules of the library's coarse mode (seg/coarse_merge.h).  Each bracketed nt
// compound becomes one nt word (the brackets stand for the resources' list
// of compounds), then the name, date, numeral and suffix rules run over the
// tokens, the suffix rule with `suffixes` (null: no suffix rule).
struct CoarseGold {
  bool on = false;
  const CCoarseData* suffixes = nullptr;
};

// Parses one line (without its line end).  kAuto picks tagged for a line with
// a TAB, corpus for a line whose every blank-separated token ends in "/tag"
// (optionally "]tag"), words otherwise.  With `coarse` on, corpus lines are
// read as their coarse reference.
SegLine ParseSegLine(const std::string& line, SegFormat format,
                     const CoarseGold* coarse = nullptr);

// The tag a word is scored with: the library's surname and given-name tags
// (nrf, nrg) count as the corpus's nr.
int ScoredPos(int pos);

// Person and place names of a tagged line, as [begin, end) character spans.
// A place is an ns word.  A person is an nr word; a one-character nr word
// directly followed by an nr word of one or two characters is one name with
// it (the corpus writes surname and given name apart), unless the segmenter
// marked the second word as a surname (nrf) or the first as a given name
// (nrg).  The parts of a transliterated name joined by a separator word
// ("·", "—", "-", ...) are one name too: the corpus writes such a name as
// one word, the segmenter with LX_PGU as parts.  A name is an entity here;
// how it is cut is scored by the word figures.
std::vector<std::pair<size_t, size_t>> PersonSpans(const SegLine& line);
// The strict reading: every word tagged as a name is a name on its own,
// without either rule above.
std::vector<std::pair<size_t, size_t>> StrictPersonSpans(const SegLine& line);
std::vector<std::pair<size_t, size_t>> PlaceSpans(const SegLine& line);

struct PRCount {
  size_t gold = 0, sys = 0, correct = 0;
  double precision() const { return sys ? double(correct) / sys : 0.0; }
  double recall() const { return gold ? double(correct) / gold : 0.0; }
  double f1() const {
    double p = precision(), r = recall();
    return p + r > 0 ? 2 * p * r / (p + r) : 0.0;
  }
};

struct EvalResult {
  size_t lines = 0;          // line pairs scored
  size_t skipped_lines = 0;  // line pairs whose texts differ in length
  PRCount words;
  size_t oov_gold = 0, oov_correct = 0;  // gold words outside the vocabulary
  size_t iv_gold = 0, iv_correct = 0;
  bool have_vocab = false;
  bool have_tags = false;    // both sides tagged on at least one line
  PRCount person, person_strict, place;
  size_t pos_compared = 0, pos_correct = 0;  // over correctly segmented words
  // Words of the held-out types (see Evaluator::load_held_out): gold tokens,
  // system words whose text is such a type, and the exact matches; and the
  // gold tokens among them tagged as person names.
  bool have_held_out = false;
  PRCount held;
  size_t held_names = 0, held_names_correct = 0;

  double oov_rate() const { return words.gold ? double(oov_gold) / words.gold : 0.0; }
  double oov_recall() const { return oov_gold ? double(oov_correct) / oov_gold : 0.0; }
  double iv_recall() const { return iv_gold ? double(iv_correct) / iv_gold : 0.0; }
  double pos_accuracy() const {
    return pos_compared ? double(pos_correct) / pos_compared : 0.0;
  }
  std::string report() const;
};

class Evaluator {
 public:
  void set_vocab(std::unordered_set<std::string> vocab) {
    m_vocab = std::move(vocab);
    m_result.have_vocab = true;
  }
  // Reads a vocabulary file: one word per line, the word up to the first
  // blank or TAB.  False if it cannot be opened.
  bool load_vocab(const std::string& path);
  // Held-out word types (a file in the same format): the words that the
  // resources were trained not to know, scored apart.  Set before add().
  void set_held_out(std::unordered_set<std::string> words) {
    m_held_out = std::move(words);
    m_result.have_held_out = true;
  }
  bool load_held_out(const std::string& path);

  void add(const SegLine& gold, const SegLine& sys);
  const EvalResult& result() const { return m_result; }

 private:
  std::unordered_set<std::string> m_vocab, m_held_out;
  EvalResult m_result;
};

// Scores two files line by line.  False (with `error` set) if a file cannot
// be opened; line count differences score the common prefix and count the
// rest as skipped.
bool EvaluateFiles(const std::string& gold_path, SegFormat gold_format,
                   const std::string& sys_path, SegFormat sys_format, Evaluator& ev,
                   std::string& error, const CoarseGold* coarse = nullptr);

}  // namespace lxtrain

#endif  // LX_TRAINER_EVAL_H
