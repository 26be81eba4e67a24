// Trad2Simp: rewrites traditional Chinese characters of a GBK text into
// simplified ones, in place and without changing the text's length.
//
// Three resources drive it:
//  - "t2s", the per-character table: most characters map one to one
//    (T2S_NORMAL); ambiguous ones (T2S_AMBIGUOUS) are converted only inside a
//    word of "t2s.word";
//  - "t2s.word", traditional words with their simplified forms (same byte
//    length), which convert ambiguous characters in context;
//  - "t2s.disable", exception words: a character listed there (T2S_DISABLE) is
//    converted except inside one of these words.
// Loading "t2s" must come before "t2s.disable", which reads and changes the
// character types.  All loaders report on standard error, one line
// "<path>: <reason>" per problem, and never echo the file's bytes.
//
// Bounds: convert() reads and writes only text[0, len); a word that would
// reach past len is not matched there, and a lead byte in the last position is
// left alone.  The loaders accept only two-byte GBK characters in "t2s" and
// only replacement words of the same length without NUL bytes, so that no
// conversion can shorten the text or split it.
//
// Thread safety: after loading, the object is only read.  convert() keeps its
// search results on the caller's stack, so any number of threads may convert
// (different texts) at the same time.
#ifndef LX_DICT_T2S_H
#define LX_DICT_T2S_H

#include <cstdint>
#include <string>
#include <vector>

#include "base/DoubleArray.h"

class Trad2Simp {
 public:
  enum ChtType {
    T2S_NULL = 0,       // no conversion
    T2S_NORMAL = 2,     // replace by chs
    T2S_AMBIGUOUS = 4,  // convert only inside a word of "t2s.word"
    T2S_DISABLE = 8     // replace by chs unless inside an exception word
  };

  struct Entry {
    uint16_t chs;  // simplified character, first byte in the low half
    uint8_t type;  // ChtType
  };

  // The most prefix matches at one position that a search keeps.  The word
  // lists should not hold more keys that are prefixes of one another; if they
  // do, the longest of the first MAX_RESULT matches is used.
  static constexpr int MAX_RESULT = 64;
  // GBK 著 (D6 F8), table index 0xF8D6: the character with its own word rule.
  static constexpr uint16_t ZHU = 0xF8D6;

  Darts::DoubleArray m_t2s_words;    // traditional word -> index into m_chs_words
  Darts::DoubleArray m_t2s_disable;  // exception word -> its byte length (at most 100)
  std::vector<std::string> m_chs_words;  // simplified forms, in key order
  Entry m_t2s_table[65536];          // index: first byte + 256 * second byte
  int m_wsize;                       // bytes before a character that a word scan covers

  Trad2Simp();
  Trad2Simp(const Trad2Simp&) = delete;
  Trad2Simp& operator=(const Trad2Simp&) = delete;

  // Each returns false, leaving what it loads as it was, when the file is
  // absent (silently: every table is optional), cannot be read or is not a
  // regular file, or ends with a line that has no line end and is not a
  // whole record (it was cut short); "t2s" also when a type is not 0 or 1,
  // and the word lists when the double array cannot be built.  Other
  // malformed lines are reported and skipped.
  bool _load_t2s_table(const char* path);
  bool _load_t2s_words(const char* path);
  bool _load_t2s_disable(const char* path);

  // Converts text[0, len) in place.  `text` need not be NUL-terminated.
  void convert(char* text, int len) const;

  // The steps of convert() for the two-byte character at `pos` (pos + 1 <
  // len); each returns the position to continue at (always beyond pos).  For
  // any other pos they change nothing and return pos + 2.
  int convert_word(char* text, int pos, int len) const;
  int convert_word_zhu(char* text, int pos, int len) const;
  int convert_disable(char* text, int pos, int len) const;

 private:
  struct Match {
    int value;   // the key's value
    int length;  // the key's byte length
  };
  // The longest key of `da` that is a prefix of text[p, len) and stops
  // before any NUL byte; false if there is none.  `max_key_len` bounds the
  // bytes looked at.
  static bool _longest_prefix(const Darts::DoubleArray& da, int max_key_len, const char* text,
                              int p, int len, Match& m);
  // _longest_prefix over m_t2s_words, for a match whose simplified form can
  // be copied over the text.
  bool _word_match(const char* text, int p, int len, Match& m) const;
  int _scan_start(int pos) const;

  int m_max_word_len = 0;     // longest key of m_t2s_words
  int m_max_disable_len = 0;  // longest key of m_t2s_disable
};

#endif  // LX_DICT_T2S_H
