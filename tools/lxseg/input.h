// Reading the input: files or standard input, line by line.
#ifndef LXSEG_INPUT_H
#define LXSEG_INPUT_H

#include <cstdint>
#include <cstdio>
#include <string>

namespace lxseg {

// One input, "-" being standard input.  A line ends at a line feed or a
// carriage return and line feed, which are not part of it; the last line
// needs no line end.
class LineReader {
 public:
  LineReader() = default;
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;
  ~LineReader();

  // Opens `name`; false, with the reason in error(), when it cannot.
  bool open(const std::string& name);
  // Appends the next line to `out`; false at the end of the input or on a
  // read error (then error() is not empty).
  bool next(std::string& out);
  // Bytes consumed so far, line ends included.
  uint64_t bytes_read() const { return bytes_; }
  const std::string& error() const { return error_; }

 private:
  FILE* file_ = nullptr;
  bool owned_ = false;
  char* buf_ = nullptr;
  size_t cap_ = 0;
  uint64_t bytes_ = 0;
  std::string error_;
};

// The size of the regular file `name`, or -1 (standard input, pipes, ...).
int64_t input_size(const std::string& name);

}  // namespace lxseg

#endif
