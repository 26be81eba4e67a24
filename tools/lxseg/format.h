// The output formats: one segmented input line in, its output out.
#ifndef LXSEG_FORMAT_H
#define LXSEG_FORMAT_H

#include <string>
#include <string_view>

#include "LXPub.h"
#include "charset.h"

namespace lxseg {

enum class Format {
  text,    // words separated by single spaces, blank tokens left out
  tagged,  // word/tag separated by single spaces, blank tokens left out
  conll,   // word TAB tag TAB begin TAB end per token, a blank line after each line
  json     // {"text": ..., "tokens": [{"word", "tag", "begin", "end"}, ...]} per line
};

// Appends the output for `line`, which `handle` has just segmented (an empty
// line need not be segmented), to `out`, line end included.  Offsets are
// counted in characters of the line (code points; GBK characters for GBK).
// With `original` (the handle has LX_ORIG) the words are taken from the line
// by their spans, which keeps NUL bytes that a C string cannot carry.
// JSON is always UTF-8: GBK is converted, and each byte that is not part of
// a character becomes U+FFFD.
void format_line(Format format, Charset cs, bool original, HANDLE handle, std::string_view line,
                 std::string& out);

}  // namespace lxseg

#endif
