// CDir: finds the word-list files below a "CustomWord" directory and derives
// the class name of each from the directory that holds it.
//
// A file directly in "CustomWord" belongs to the class "default"; a file in
// "CustomWord/food" to "food", one in "CustomWord/a/b" to "a/b".  Paths that
// have no "CustomWord" component are ignored.
//
// The walk never follows symbolic links (entries are examined with lstat), so
// link loops cannot make it cycle; only regular files are taken as word lists
// (a FIFO or device would block or misbehave when read).  A directory that
// cannot be opened is skipped.  Paths are built in one 4,096-byte buffer; an
// entry whose path would not fit is skipped rather than truncated.  Entries of
// a directory are visited in byte order, so the result does not depend on the
// order in which the file system lists them.
#ifndef LX_DICT_DIR_H
#define LX_DICT_DIR_H

#include <cstddef>
#include <cstdio>
#include <memory>

class CDir {
 public:
  // Size of the path buffer, terminating NUL included.
  static constexpr int PATH_BUFFER_SIZE = 4096;

  char* fullpath;         // path buffer, allocated only while a traversal runs
  int m_idx;              // number of files found
  int max_size;           // capacity of m_files and m_words_class
  char** m_files;         // full path of each file (owned copies)
  char** m_words_class;   // class name of each file (owned copies)

  CDir();
  ~CDir();
  CDir(const CDir&) = delete;
  CDir& operator=(const CDir&) = delete;

  // Collects the word lists below `dir` and sorts them by class name (files of
  // one class stay in the order they were found).  Always returns 1.
  int ReadClsDictDir(const char* dir);

  // Walks the tree below `dir`, appending every file found.  The working
  // directory is the same afterwards.  Returns 1 (0 only for a null or
  // over-long `dir`).
  int traverseDir(const char* dir);

  // Examines the path in `fullpath` (a directory is descended into, a regular
  // file is handed to parseRout).
  void dopath();

  // Records `path` with its class name if it lies below a "CustomWord"
  // directory.
  void parseRout(char* path);

  // Sorts entries lo..hi (inclusive) of `classes` (which must be
  // m_words_class) in ascending byte order, moving m_files along.  The sort is
  // stable and not recursive.
  void sortData(char** classes, int lo, int hi);

  // Index of an entry whose class name is `name` (binary search of the sorted
  // list), or -1.
  int GetClsIdx(const char* name) const;

  // Drops every entry.
  void clear();

  // The part of `path` from the separator that ends its first "CustomWord\"
  // (else "CustomWord/") marker, or null if the path has no such marker.
  static const char* class_path_start(const char* path);

 private:
  void _dopath(size_t len);
  bool _append(const char* cls, size_t cls_len, const char* path);
};

// Opening and reporting for the resource loaders.  A loader that refuses a
// file writes one line on standard error, "<path>: <reason>", and never
// echoes bytes of the file; control bytes of the path itself are written as
// \xNN.
void report_file_problem(const char* path, const char* fmt, ...)
    __attribute__((format(printf, 2, 3)));

// Opens `path` for reading if it names a regular file (a directory opens on
// Linux too, and then fails at the first read).  Otherwise null, after
// reporting why, except that an absent file is not reported when
// `absent_ok`.
FILE* open_regular_file(const char* path, bool absent_ok = false);

// An open stream that is closed with its holder.
struct FileCloser {
  void operator()(FILE* fp) const { std::fclose(fp); }
};
typedef std::unique_ptr<FILE, FileCloser> FileHolder;

// Reads a text file in pieces as fgets does (a line longer than the buffer
// comes in several pieces), keeping track of line numbers and of a last
// line without a line feed.
struct PieceReader {
  FILE* fp;
  unsigned next_line = 1;  // line of the next piece
  unsigned line = 0;       // line of the piece read last
  bool last = false;       // that piece is a whole last line without a line feed
  bool continued = false;  // that piece is not the start of its line
  bool at_line_start = true;

  explicit PieceReader(FILE* f) : fp(f) {}
  // The next piece in buf[0, size), null at the end or on a read failure
  // (then ferror(fp)).  The buffer is cleared first, so bytes after the
  // text's NUL are zero.
  char* read(char* buf, int size);
};

// True if the text `line` (without its line end) stops inside a two-byte
// character: its last byte is a lead byte (0x81-0xFE) that no trail byte
// follows.  Such a last line was cut short.
bool ends_inside_character(const char* line, size_t len);

#endif  // LX_DICT_DIR_H
