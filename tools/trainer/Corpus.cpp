#include "Corpus.h"

#include <cstdlib>
#include <cstring>

#include "base/PosTag.h"

namespace lxtrain {

std::string CorpusStats::report() const {
  std::string out;
  auto line = [&out](const char* what, size_t n) {
    if (n == 0) return;
    out += what;
    out += ": ";
    out += std::to_string(n);
    out += '\n';
  };
  line("malformed paragraphs (left out of training)", malformed_paragraphs);
  line("lines without a paragraph id", missing_ids);
  line("tokens without a tag (dropped)", untagged_tokens);
  line("unbalanced brackets", unbalanced_brackets);
  line("stray CRs", stray_crs);
  line("tokens with an unknown tag (mapped)", unknown_tags);
  for (const auto& kv : unknown_tag_counts) {
    bool known = false;
    int id = MapCorpusTag(kv.first, &known);
    out += "  unknown tag \"" + kv.first + "\" x" + std::to_string(kv.second) + " -> " +
           pos_tag_string(id) + '\n';
  }
  return out;
}

int MapCorpusTag(const std::string& tag, bool* known) {
  int id = pos_tag_id(tag.c_str());
  // Ids of 49 and above are pipeline symbols, not corpus tags.
  if (id > 0 && id < 49) {
    if (known) *known = true;
    return id;
  }
  if (known) *known = false;
  for (size_t n = tag.size(); n-- > 1;) {
    id = pos_tag_id(tag.substr(0, n).c_str());
    if (id > 0 && id < 49) return id;
  }
  return pos_tag_id("n");
}

bool IsParagraphId(const std::string& s) {
  static const char kShape[] = "dddddddd-dd-ddd-ddd";
  if (s.size() != sizeof(kShape) - 1) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    if (kShape[i] == 'd' ? (s[i] < '0' || s[i] > '9') : s[i] != '-') return false;
  }
  return true;
}

bool IsDevParagraph(const std::string& id) {
  if (!IsParagraphId(id)) return false;
  int day = std::atoi(id.substr(6, 2).c_str());
  int page = std::atoi(id.substr(9, 2).c_str());
  int article = std::atoi(id.substr(12, 3).c_str());
  return (day + page + article) % 20 == 0;
}

bool ReadTextLine(std::istream& in, std::string& line, size_t* stray_crs) {
  line.clear();
  std::streambuf* sb = in.rdbuf();
  typedef std::char_traits<char> tr;
  bool any = false;
  for (;;) {
    int c = sb->sbumpc();
    if (c == tr::eof()) {
      in.setstate(std::ios::eofbit);
      return any;
    }
    any = true;
    if (c == '\n') return true;
    if (c == '\r') {
      if (sb->sgetc() == '\n') {
        sb->sbumpc();
      } else if (stray_crs) {
        ++*stray_crs;
      }
      return true;
    }
    line.push_back(static_cast<char>(c));
  }
}

bool CorpusReader::next(CorpusParagraph& para) {
  std::string line;
  while (ReadTextLine(m_in, line, &m_stats.stray_crs)) {
    ++m_line;
    para = CorpusParagraph();
    para.line = m_line;
    if (!ParseLine(line, para, m_stats)) continue;
    ++m_stats.lines;
    ++m_stats.paragraphs;
    if (para.malformed) ++m_stats.malformed_paragraphs;
    return true;
  }
  return false;
}

namespace {

// Splits at ASCII blanks; GBK trail bytes are never blanks.
std::vector<std::string> SplitBlanks(const std::string& line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t b = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > b) out.push_back(line.substr(b, i - b));
  }
  return out;
}

// The tag is ASCII after the last '/'; '/' (0x2F) cannot be a GBK trail
// byte, so the search needs no character walking.
bool IsTagText(const std::string& t) {
  if (t.empty()) return false;
  for (char c : t)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
  return true;
}

}  // namespace

bool CorpusReader::ParseLine(const std::string& line, CorpusParagraph& para,
                             CorpusStats& stats) {
  std::vector<std::string> parts = SplitBlanks(line);
  if (parts.empty()) return false;
  size_t first = 0;
  const std::string& head = parts[0];
  if (head.size() > 2 && head.compare(head.size() - 2, 2, "/m") == 0 &&
      IsParagraphId(head.substr(0, head.size() - 2))) {
    para.id = head.substr(0, head.size() - 2);
    first = 1;
  } else {
    ++stats.missing_ids;
  }
  bool open = false;
  size_t open_at = 0;
  for (size_t k = first; k < parts.size(); ++k) {
    std::string tok = parts[k];
    // '[' opens a compound only as the first byte and when something other
    // than the tag follows it ("[/w" is the bracket character as a word).
    if (tok.size() > 1 && tok[0] == '[' && tok[1] != '/') {
      if (open) {
        ++stats.unbalanced_brackets;
        para.malformed = true;
      }
      open = true;
      open_at = para.tokens.size();
      tok.erase(0, 1);
    }
    size_t slash = tok.rfind('/');
    if (slash == std::string::npos || slash == 0) {
      ++stats.untagged_tokens;
      para.malformed = true;
      continue;
    }
    std::string word = tok.substr(0, slash);
    std::string tag = tok.substr(slash + 1);
    std::string span_tag;
    bool closes = false;
    size_t rb = tag.find(']');
    if (rb != std::string::npos) {
      span_tag = tag.substr(rb + 1);
      tag.erase(rb);
      closes = true;
    }
    if (!IsTagText(tag)) {
      ++stats.untagged_tokens;
      para.malformed = true;
      continue;
    }
    CorpusToken t;
    t.word = word;
    t.tag = tag;
    bool known = true;
    t.pos = MapCorpusTag(tag, &known);
    if (!known) {
      ++stats.unknown_tags;
      ++stats.unknown_tag_counts[tag];
    }
    para.tokens.push_back(t);
    ++stats.tokens;
    if (closes) {
      if (!open || !IsTagText(span_tag)) {
        ++stats.unbalanced_brackets;
        para.malformed = true;
        open = false;
        continue;
      }
      CorpusSpan s;
      s.begin = open_at;
      s.end = para.tokens.size();
      s.tag = span_tag;
      bool sknown = true;
      s.pos = MapCorpusTag(span_tag, &sknown);
      if (!sknown) {
        ++stats.unknown_tags;
        ++stats.unknown_tag_counts[span_tag];
      }
      para.spans.push_back(s);
      open = false;
    }
  }
  if (open) {
    ++stats.unbalanced_brackets;
    para.malformed = true;
  }
  return true;
}

std::string FormatParagraph(const CorpusParagraph& para) {
  std::string out;
  if (!para.id.empty()) out = para.id + "/m";
  size_t next_span = 0;
  for (size_t i = 0; i < para.tokens.size(); ++i) {
    if (!out.empty()) out += "  ";
    bool opens = false, closes = false;
    const CorpusSpan* span = nullptr;
    for (size_t s = next_span; s < para.spans.size(); ++s) {
      if (para.spans[s].begin == i) opens = true;
      if (para.spans[s].end == i + 1) {
        closes = true;
        span = &para.spans[s];
      }
    }
    if (opens) out += '[';
    out += para.tokens[i].word + '/' + para.tokens[i].tag;
    if (closes) {
      out += ']' + span->tag;
      ++next_span;
    }
  }
  return out;
}

std::string ParagraphText(const CorpusParagraph& para) {
  std::string out;
  for (const CorpusToken& t : para.tokens) out += t.word;
  return out;
}

}  // namespace lxtrain
