// Writers of the three traditional-to-simplified resources that Trad2Simp
// reads: "t2s" (character table), "t2s.word" (ambiguous-character words) and
// "t2s.disable" (exception words).  Internal to the library (resource
// preparation and tests).
//
// Each file is written under a temporary name and renamed into place when
// complete.  Input that the loader would reject or misread (wrong lengths,
// separators or line breaks inside a field, NUL bytes) makes the writer return
// false without writing.
#ifndef LX_DICT_T2SWRITER_H
#define LX_DICT_T2SWRITER_H

#include <string>
#include <vector>

// One line of "t2s": two-byte GBK characters and the type (false: one to one,
// true: ambiguous, converted only through "t2s.word").
struct t2s_char_entry_t {
  std::string cht;
  std::string chs;
  bool ambiguous;
};

// A pair of tokens of "t2s.word" (traditional word, simplified word of the
// same length) or "t2s.disable" (a two-byte GBK character, exception word).
// Tokens hold no blank, tab, line break or NUL and do not start with "#".
struct t2s_pair_t {
  std::string first;
  std::string second;
};

// `comment`, if not empty, is written first as "#" lines (one per line of it).
bool write_t2s_table(const char* path, const std::vector<t2s_char_entry_t>& entries,
                     const std::string& comment = std::string());
bool write_t2s_words(const char* path, const std::vector<t2s_pair_t>& words);
bool write_t2s_disable(const char* path, const std::vector<t2s_pair_t>& words);

#endif  // LX_DICT_T2SWRITER_H
