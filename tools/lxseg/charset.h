// The characters of an input line, as the segmenter counts them: in UTF-8 a
// well-formed sequence is one character, and so is every byte that is not
// part of one; in GBK a byte below 0x81 is one character, and a byte from
// 0x81 up forms one with the byte after it (one U+FFFD when the two are not
// a GBK character).
#ifndef LXSEG_CHARSET_H
#define LXSEG_CHARSET_H

#include <cstddef>
#include <string>
#include <string_view>

namespace lxseg {

enum class Charset { utf8, gbk };

// Length in bytes of the character that starts at `s` (n > 0 bytes left).
size_t char_length(Charset cs, const char* s, size_t n);

// True when `word` is not empty and made only of blanks: the ASCII spaces
// and control blanks, U+0085, U+00A0, U+1680, U+2000..U+200A, U+2028, U+2029,
// U+202F, U+205F and U+3000 (in GBK: A1 A1).
bool is_blank(Charset cs, std::string_view word);

// Appends `text` to `out` as well-formed UTF-8: GBK is converted, and each
// character that is not a valid one becomes one U+FFFD, so that the result
// has exactly one code point per character of `text`.
void append_utf8(Charset cs, std::string_view text, std::string& out);

// Turns byte offsets of one line into character offsets.  Offsets asked for
// in increasing order cost one pass over the line in all.  They cut the
// line: no character is counted across an offset asked for, so that the
// tokens of a segmentation that splits a malformed GBK pair (as a 0x80 byte
// can make it do) still have one character at least each.
class CharCounter {
 public:
  CharCounter(Charset cs, std::string_view line) : cs_(cs), line_(line) {}
  size_t at(size_t byte_offset);

 private:
  Charset cs_;
  std::string_view line_;
  size_t byte_ = 0;
  size_t chars_ = 0;
};

}  // namespace lxseg

#endif
