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

#endif  // LX_DICT_DIR_H
