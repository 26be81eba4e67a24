// Line reader over stdio streams.
//
// File wraps a FILE stream and reads it line by line into one buffer that
// grows (by doubling) to hold the longest line, so reading costs no allocation
// per line.  getline() skips lines that hold only white space, but counts them
// in m_line_no, so that messages (see position()) name the line of the file.
//
// A File built from a name owns its stream and closes it on destruction; one
// built over an open stream leaves that stream to the caller.  With a non-zero
// m_exit_on_error a failure to open or close prints the system's error message
// for the name and exits the process with that value; otherwise a failed open
// leaves the stream null for the caller to test.
#ifndef LX_BASE_FILE_H
#define LX_BASE_FILE_H

#include <cstdio>
#include <iostream>

class File {
 public:
  File(const char* name, const char* mode, int exitOnError = 0);
  explicit File(FILE* fp, int exitOnError = 0);
  ~File();

  // The next line that is not blank, with its newline if it had one, or null
  // at end of file.  The text lives in the reader's buffer and is valid until
  // the next call.  A line with NUL bytes is returned whole, but C string
  // functions see only its text up to the first NUL (a line whose text is
  // blank up to there counts as blank).
  char* getline();
  // Makes the next getline() return the same line again.
  void ungetline() { m_reuse_buffer = true; }

  // Closes a named file and opens `name` instead: 1 on success, 0 (or exit)
  // on failure.  The line count starts again.
  int reopen(const char* name, const char* mode);
  // Closes the stream if open; the result of fclose (0 when nothing was open).
  int close();

  // Location prefixes for messages: "<name>: line <n>: " and
  // "<name>: offset <byte offset>: " (without the name when there is none).
  std::ostream& position(std::ostream& stream = std::cerr);
  std::ostream& offset(std::ostream& stream = std::cerr);

  operator FILE*() { return m_fp; }

  const char* m_name;     // as passed (not copied); null when built over a stream
  unsigned m_line_no;     // number of the last line returned
  int m_exit_on_error;    // non-zero: exit status for open/close failures
  bool m_skip_comments;   // set by the named constructor; not used by getline
  FILE* m_fp;
  char* m_buffer;         // line buffer, always NUL-terminated
  unsigned m_buf_len;     // its size
  bool m_reuse_buffer;    // set by ungetline

 private:
  void open(const char* name, const char* mode);

  File(const File&) = delete;
  File& operator=(const File&) = delete;
};

#endif  // LX_BASE_FILE_H
