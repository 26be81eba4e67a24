#include "dict/Dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const int kInitialListSize = 256;

char* copy_string(const char* s, size_t len) {
  char* p = static_cast<char*>(std::malloc(len + 1));
  if (p == nullptr) return nullptr;
  std::memcpy(p, s, len);
  p[len] = '\0';
  return p;
}

// Closes a directory stream that a failing allocation would otherwise leave
// open (and its buffer allocated) while the exception unwinds.
struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};
typedef std::unique_ptr<DIR, DirCloser> DirHolder;

// Frees the path buffer when a traversal ends, normally or by an exception,
// so that the buffer exists only while a traversal runs.
struct PathBufferGuard {
  char*& buf;
  ~PathBufferGuard() {
    delete[] buf;
    buf = nullptr;
  }
};

}  // namespace

CDir::CDir()
    : fullpath(nullptr), m_idx(0), max_size(kInitialListSize), m_files(nullptr),
      m_words_class(nullptr) {}

CDir::~CDir() {
  clear();
  delete[] fullpath;
}

void CDir::clear() {
  for (int i = 0; i < m_idx; ++i) {
    std::free(m_files[i]);
    std::free(m_words_class[i]);
  }
  std::free(m_files);
  std::free(m_words_class);
  m_files = nullptr;
  m_words_class = nullptr;
  m_idx = 0;
  max_size = kInitialListSize;
}

int CDir::ReadClsDictDir(const char* dir) {
  traverseDir(dir);
  sortData(m_words_class, 0, m_idx - 1);
  return 1;
}

int CDir::traverseDir(const char* dir) {
  if (dir == nullptr) return 0;
  size_t len = std::strlen(dir);
  if (len + 1 > (size_t)PATH_BUFFER_SIZE) return 0;
  // The walk works on full paths and never changes the working directory, so
  // there is nothing to restore afterwards (and a working directory that no
  // longer exists does not stop it).
  delete[] fullpath;
  fullpath = nullptr;
  PathBufferGuard guard{fullpath};
  fullpath = new char[PATH_BUFFER_SIZE];
  std::memcpy(fullpath, dir, len + 1);
  _dopath(len);
  return 1;
}

void CDir::dopath() {
  if (fullpath != nullptr) _dopath(std::strlen(fullpath));
}

// fullpath[0, len) holds the path to examine and is NUL-terminated; the
// buffer is left as it was found.
void CDir::_dopath(size_t len) {
  struct stat st;
  if (lstat(fullpath, &st) != 0) return;
  if (S_ISREG(st.st_mode)) {
    parseRout(fullpath);
    return;
  }
  if (!S_ISDIR(st.st_mode)) return;  // symbolic links, FIFOs, devices, sockets

  size_t dlen = len;
  if (dlen == 0 || fullpath[dlen - 1] != '/') {
    if (dlen + 2 > (size_t)PATH_BUFFER_SIZE) return;
    fullpath[dlen++] = '/';
    fullpath[dlen] = '\0';
  }
  DirHolder d(opendir(fullpath));
  if (d == nullptr) {
    fullpath[len] = '\0';
    return;
  }
  // The names are read before descending so that only one directory stream
  // is open at a time, however deep the tree.
  std::vector<std::string> names;
  while (struct dirent* ent = readdir(d.get())) {
    const char* n = ent->d_name;
    if (std::strcmp(n, ".") == 0 || std::strcmp(n, "..") == 0) continue;
    names.emplace_back(n);
  }
  if (closedir(d.release()) != 0)
    report_file_problem(fullpath, "cannot close directory: %s", std::strerror(errno));
  std::sort(names.begin(), names.end());

  for (const std::string& name : names) {
    if (dlen + name.size() + 1 > (size_t)PATH_BUFFER_SIZE) continue;  // would not fit
    std::memcpy(fullpath + dlen, name.c_str(), name.size() + 1);
    _dopath(dlen + name.size());
  }
  fullpath[len] = '\0';
}

const char* CDir::class_path_start(const char* path) {
  if (path == nullptr) return nullptr;
  const char* m = std::strstr(path, "CustomWord\\");
  if (m == nullptr) m = std::strstr(path, "CustomWord/");
  return m == nullptr ? nullptr : m + 10;  // the separator that ends the marker
}

void CDir::parseRout(char* path) {
  const char* sep = class_path_start(path);
  if (sep == nullptr) return;
  const char* after = sep + 1;
  const char* last = std::strrchr(after, '\\');
  if (last == nullptr) last = std::strrchr(after, '/');
  if (last == nullptr || last == after) {
    _append("default", 7, path);
  } else {
    _append(after, (size_t)(last - after), path);
  }
}

bool CDir::_append(const char* cls, size_t cls_len, const char* path) {
  // m_files is grown first, so a null m_words_class means that the lists
  // have not been allocated yet (or that the first allocation stopped after
  // m_files): both then get the initial size.
  if (m_words_class == nullptr || m_idx >= max_size) {
    int grow = max_size < 10 ? 10 : max_size;  // geometric growth keeps appends linear
    int new_size = m_words_class == nullptr ? max_size : max_size + grow;
    char** files = static_cast<char**>(std::realloc(m_files, sizeof(char*) * new_size));
    if (files == nullptr) return false;
    m_files = files;
    char** classes =
        static_cast<char**>(std::realloc(m_words_class, sizeof(char*) * new_size));
    if (classes == nullptr) return false;
    m_words_class = classes;
    max_size = new_size;
  }
  char* c = copy_string(cls, cls_len);
  char* f = copy_string(path, std::strlen(path));
  if (c == nullptr || f == nullptr) {
    std::free(c);
    std::free(f);
    return false;
  }
  m_words_class[m_idx] = c;
  m_files[m_idx] = f;
  ++m_idx;
  return true;
}

void CDir::sortData(char** classes, int lo, int hi) {
  if (classes != m_words_class || lo < 0 || hi >= m_idx || lo >= hi) return;
  std::vector<int> order;
  order.reserve((size_t)(hi - lo + 1));
  for (int i = lo; i <= hi; ++i) order.push_back(i);
  std::stable_sort(order.begin(), order.end(), [classes](int a, int b) {
    return std::strcmp(classes[a], classes[b]) < 0;
  });
  std::vector<char*> c(order.size()), f(order.size());
  for (size_t k = 0; k < order.size(); ++k) {
    c[k] = m_words_class[order[k]];
    f[k] = m_files[order[k]];
  }
  for (size_t k = 0; k < order.size(); ++k) {
    m_words_class[lo + (int)k] = c[k];
    m_files[lo + (int)k] = f[k];
  }
}

int CDir::GetClsIdx(const char* name) const {
  if (name == nullptr) return -1;
  int lo = 0, hi = m_idx - 1;
  while (lo <= hi) {
    int mid = lo + (hi - lo) / 2;
    int c = std::strcmp(m_words_class[mid], name);
    if (c == 0) return mid;
    if (c < 0)
      lo = mid + 1;
    else
      hi = mid - 1;
  }
  return -1;
}

void report_file_problem(const char* path, const char* fmt, ...) {
  std::string line;
  for (const char* p = path ? path : "(null)"; *p != '\0'; ++p) {
    unsigned char c = (unsigned char)*p;
    if (c < 0x20 || c == 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      line += hex;
    } else {
      line += (char)c;
    }
  }
  char reason[512];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(reason, sizeof reason, fmt, ap);
  va_end(ap);
  line += ": ";
  line += reason;
  line += '\n';
  std::fputs(line.c_str(), stderr);
}

FILE* open_regular_file(const char* path, bool absent_ok) {
  if (path == nullptr) {
    report_file_problem(path, "no file name");
    return nullptr;
  }
  // O_NONBLOCK: a FIFO in place of the file must not block the open.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (!(absent_ok && errno == ENOENT)) report_file_problem(path, "%s", std::strerror(errno));
    return nullptr;
  }
  struct stat st;
  const char* why = nullptr;
  if (fstat(fd, &st) != 0)
    why = std::strerror(errno);
  else if (!S_ISREG(st.st_mode))
    why = S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file";
  if (why != nullptr) {
    report_file_problem(path, "%s", why);
    close(fd);
    return nullptr;
  }
  // Reads block as usual from here on.
  int flags = fcntl(fd, F_GETFL);
  if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  FILE* fp = fdopen(fd, "rb");
  if (fp == nullptr) {
    report_file_problem(path, "%s", std::strerror(errno));
    close(fd);
  }
  return fp;
}

bool ends_inside_character(const char* line, size_t len) {
  size_t i = 0;
  while (i < len) i += ((unsigned char)line[i] >= 0x81 && (unsigned char)line[i] <= 0xFE) ? 2 : 1;
  return i > len;
}

char* PieceReader::read(char* buf, int size) {
  std::memset(buf, 0, (size_t)size);
  if (std::fgets(buf, size, fp) == nullptr) return nullptr;
  line = next_line;
  last = false;
  const bool whole = at_line_start;
  continued = !whole;
  if (std::memchr(buf, '\n', (size_t)size - 1) != nullptr) {
    ++next_line;
    at_line_start = true;
  } else {
    at_line_start = false;
    const int c = std::fgetc(fp);
    // Only a whole line can be judged; the tail of a long line cannot.
    last = c == EOF && whole;
    if (c != EOF) std::ungetc(c, fp);
  }
  return buf;
}
