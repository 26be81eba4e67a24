// The trainer's corpus reader on arbitrary text: spans stay inside their
// paragraph, and a well-formed paragraph reads back the same from its
// formatted line.
#include <sstream>

#include "Corpus.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string((const char*)data, size));
  lxtrain::CorpusReader reader(in);
  lxtrain::CorpusParagraph p;
  while (reader.next(p)) {
    for (const auto& s : p.spans) LX_CHECK(s.begin <= s.end && s.end <= p.tokens.size());
    if (p.malformed) continue;
    lxtrain::CorpusParagraph q;
    lxtrain::CorpusStats stats;
    LX_CHECK(lxtrain::CorpusReader::ParseLine(lxtrain::FormatParagraph(p), q, stats));
    LX_CHECK(q.id == p.id && q.spans.size() == p.spans.size() && lxtrain::FormatParagraph(q) == lxtrain::FormatParagraph(p));
  }
  LX_CHECK(reader.stats().paragraphs <= reader.stats().lines);
  return 0;
}
