// Writer of the ambiguity rule file "UserAmbRule" (format in dict/RuleDict.h).
// Used by the resource trainer and the tests; not part of the exported
// interface.
#ifndef LX_DICT_RULEDICTWRITER_H
#define LX_DICT_RULEDICTWRITER_H

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

class CRuleDictWriter {
 public:
  // Adds the rule "cut `str` into segments of these byte lengths".  False
  // (nothing added) for a rule that reading the written line would not give
  // back exactly: an empty string, a string starting with "#" or holding a
  // comma, line feed or NUL, lengths that are not positive or do not add up
  // to the string's length, a cut inside a two-byte character, a line longer
  // than the reader's 1023-byte pieces, or a string added before (the reader
  // keeps the first).
  bool add(const std::string& str, const std::vector<int>& lengths);

  size_t size() const { return m_lines.size(); }

  // The file's text: one line "str,len1,len2,...\n" per rule, in the order added.
  std::string text() const;

  // Writes text() to a temporary file next to `path` and renames it into
  // place.  False on failure; `path` is then unchanged.
  bool write(const char* path) const;

 private:
  std::vector<std::string> m_lines;
  std::unordered_set<std::string> m_strings;
};

#endif  // LX_DICT_RULEDICTWRITER_H
