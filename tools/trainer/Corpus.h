// Reader of the hand-segmented training corpus.
//
// Format (GBK): one paragraph per line, a paragraph id token such as
// "19980101-01-001-001/m" first, then `word/tag` tokens separated by blanks.
// A bracketed compound "[w1/t1  w2/t2]nt" marks an entity made of several
// words; the inner words are the segmentation standard's words.  Any CR or
// LF ends a line; empty lines are skipped.
//
// The reader never fails on bad input: every defect is counted in
// CorpusStats, and a paragraph that had a defect that loses information
// (token without a tag, unbalanced bracket) is flagged `malformed` so that
// training can leave it out instead of learning from it.  Unknown tags are
// mapped (see MapCorpusTag) and counted, the paragraph stays usable.
#ifndef LX_TRAINER_CORPUS_H
#define LX_TRAINER_CORPUS_H

#include <cstddef>
#include <istream>
#include <map>
#include <string>
#include <vector>

namespace lxtrain {

struct CorpusToken {
  std::string word;  // GBK bytes
  std::string tag;   // the tag as written
  int pos = 0;       // library POS id of the tag (MapCorpusTag)
};

// A bracketed compound: tokens [begin, end) of the paragraph.
struct CorpusSpan {
  size_t begin = 0;
  size_t end = 0;
  std::string tag;
  int pos = 0;
};

struct CorpusParagraph {
  std::string id;  // "19980101-01-001-001", empty when the line has none
  size_t line = 0;  // 1-based physical line number (CR, LF and CRLF each end one)
  std::vector<CorpusToken> tokens;
  std::vector<CorpusSpan> spans;
  bool malformed = false;
};

struct CorpusStats {
  size_t lines = 0;             // non-empty lines
  size_t paragraphs = 0;        // paragraphs handed out
  size_t malformed_paragraphs = 0;
  size_t tokens = 0;
  size_t missing_ids = 0;       // lines without a paragraph id token
  size_t untagged_tokens = 0;   // no '/', empty word or empty tag (token dropped)
  size_t unbalanced_brackets = 0;  // '[' never closed, nested '[', or ']' without '['
  size_t unknown_tags = 0;
  size_t stray_crs = 0;         // CR not followed by LF
  std::map<std::string, size_t> unknown_tag_counts;

  // One line per non-zero defect counter, for the tools' reports.
  std::string report() const;
};

// The library POS id of a corpus tag.  Known tags map to their own id.  An
// unknown tag maps to its longest prefix that is a known tag ("vvn" -> "v",
// "na" -> "n"), or to "n" when no prefix is known; `known` tells which case.
int MapCorpusTag(const std::string& tag, bool* known = nullptr);

// True for a paragraph id token "dddddddd-dd-ddd-ddd" (without "/m").
bool IsParagraphId(const std::string& text);

// Development split: the articles whose number (third field of the id) plus
// the day of month plus the page is a multiple of 20.  Whole articles go to
// one side so that an article's names do not leak from training into the
// development text.  Paragraphs without an id are training text.
bool IsDevParagraph(const std::string& id);

class CorpusReader {
 public:
  explicit CorpusReader(std::istream& in) : m_in(in) {}

  // Next non-empty line as a paragraph; false at the end of the input.
  bool next(CorpusParagraph& para);

  const CorpusStats& stats() const { return m_stats; }

  // Parses one line (without its line end) into `para`, counting defects in
  // `stats`.  Returns false for a line with no token at all.
  static bool ParseLine(const std::string& line, CorpusParagraph& para, CorpusStats& stats);

 private:
  std::istream& m_in;
  CorpusStats m_stats;
  size_t m_line = 0;
};

// Reads one line ending at CR, LF or CRLF (the end not kept).  False at the
// end of the input.  A CR not followed by LF is counted in `stray_crs`.
bool ReadTextLine(std::istream& in, std::string& line, size_t* stray_crs = nullptr);

// The paragraph in corpus format (id token first when it has one, two blanks
// between tokens, brackets restored).
std::string FormatParagraph(const CorpusParagraph& para);

// The paragraph's text without blanks, tags or brackets.
std::string ParagraphText(const CorpusParagraph& para);

}  // namespace lxtrain

#endif  // LX_TRAINER_CORPUS_H
