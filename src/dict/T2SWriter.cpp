#include "dict/T2SWriter.h"

#include "base/AtomicFile.h"

#include <unistd.h>

#include <cstdio>

namespace {

bool is_gbk_char(const std::string& c) {
  if (c.size() != 2) return false;
  unsigned char lead = (unsigned char)c[0], trail = (unsigned char)c[1];
  return lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
}

// A token of the word files: non-empty, without the separators (blank, tab),
// line breaks or NUL bytes, and not starting a comment.
bool is_token(const std::string& t) {
  return !t.empty() && t[0] != '#' &&
         t.find_first_of(std::string(" \t\r\n\0", 5)) == std::string::npos;
}

// "t2s.word" pairs have the same length; a "t2s.disable" pair starts with one
// two-byte character.
bool write_pairs(const char* path, const std::vector<t2s_pair_t>& pairs, bool disable) {
  std::string out;
  for (const t2s_pair_t& p : pairs) {
    if (!is_token(p.first) || !is_token(p.second)) return false;
    if (!disable && p.first.size() != p.second.size()) return false;
    if (disable && !is_gbk_char(p.first)) return false;
    out += p.first;
    out += '\t';
    out += p.second;
    out += '\n';
  }
  return write_file_atomically(path, out);
}

}  // namespace

bool write_t2s_table(const char* path, const std::vector<t2s_char_entry_t>& entries,
                     const std::string& comment) {
  std::string out;
  size_t pos = 0;
  while (pos < comment.size()) {
    size_t end = comment.find('\n', pos);
    if (end == std::string::npos) end = comment.size();
    std::string line = comment.substr(pos, end - pos);
    // The loader reads at most 99 bytes at a time; a longer comment would
    // continue on a line that is not one.
    if (line.size() + 2 > 99 || line.find('\0') != std::string::npos) return false;
    out += '#';
    out += line;
    out += '\n';
    pos = end + 1;
  }
  for (const t2s_char_entry_t& e : entries) {
    if (!is_gbk_char(e.cht) || !is_gbk_char(e.chs)) return false;
    out += e.cht;
    out += '\t';
    out += e.chs;
    out += '\t';
    out += e.ambiguous ? '1' : '0';
    out += '\n';
  }
  return write_file_atomically(path, out);
}

bool write_t2s_words(const char* path, const std::vector<t2s_pair_t>& words) {
  return write_pairs(path, words, false);
}

bool write_t2s_disable(const char* path, const std::vector<t2s_pair_t>& words) {
  return write_pairs(path, words, true);
}
