// Line reader over stdio streams.
//
// File wraps a FILE stream and reads it line by line into one buffer that
// grows (by doubling) to hold the longest line, so reading costs no allocation
// per line.  getline() skips lines that hold only white space, but counts them
// in m_line_no, so that messages (see position()) name the line of the file.
//
// A File built from a name owns its stream and closes it on destruction; one
// built over an open stream leaves that stream to the caller.  No failure ends
// the process: a failed open leaves the stream null, and every failure (open,
// read, line buffer, close) is kept for the caller to report (error()).
#ifndef LX_BASE_FILE_H
#define LX_BASE_FILE_H

#include <cstddef>
#include <cstdio>
#include <iostream>

// Bytes read in one piece by File::read_rest (a regular file's are mapped,
// read-only); released with the object.
class FileBytes {
 public:
  FileBytes() : m_data(0), m_size(0), m_map(0), m_map_size(0) {}
  ~FileBytes();
  const unsigned char* data() const { return m_data; }
  size_t size() const { return m_size; }

 private:
  friend class File;
  unsigned char* m_data;
  size_t m_size;
  void* m_map;  // the mapping m_data lies in, or null when m_data is malloc'ed
  size_t m_map_size;

  void release();

  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;
};

class File {
 public:
  File(const char* name, const char* mode);
  explicit File(FILE* fp);
  ~File();

  // The next line that is not blank, with its newline if it had one, or null
  // at end of file or on failure (then error() is non-zero).  The text lives
  // in the reader's buffer and is valid until the next call.  A line with NUL
  // bytes is returned whole, but C string functions see only its text up to
  // the first NUL (a line whose text is blank up to there counts as blank).
  char* getline();

  // Reads everything from the stream's position to its end into `bytes`
  // (replacing what they held): a regular file is mapped, anything else read
  // in as few reads as the stream allows.  False on failure (then error() is non-zero).
  bool read_rest(FileBytes& bytes);

  // Closes the stream if open; the result of fclose (0 when nothing was open).
  int close();

  // The errno value of the first failure, 0 if none.
  int error() const { return m_errno; }

  // Location prefixes for messages: "<name>: line <n>: " and
  // "<name>: offset <byte offset>: " (without the name when there is none).
  std::ostream& position(std::ostream& stream = std::cerr);
  std::ostream& offset(std::ostream& stream = std::cerr);

  operator FILE*() { return m_fp; }

  const char* m_name;     // as passed (not copied); null when built over a stream
  unsigned m_line_no;     // number of the last line returned
  FILE* m_fp;
  char* m_buffer;         // line buffer, always NUL-terminated (null if it could not be had)
  unsigned m_buf_len;     // its size
  int m_errno;            // see error()

 private:
  void fail(int err) {
    if (m_errno == 0) m_errno = err;
  }

  File(const File&) = delete;
  File& operator=(const File&) = delete;
};

#endif  // LX_BASE_FILE_H
