#include "input.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace lxseg {

LineReader::~LineReader() {
  if (owned_ && file_) std::fclose(file_);
  std::free(buf_);
}

bool LineReader::open(const std::string& name) {
  if (name == "-") {
    file_ = stdin;
    return true;
  }
  file_ = std::fopen(name.c_str(), "rb");
  if (!file_) {
    error_ = std::strerror(errno);
    return false;
  }
  owned_ = true;
  struct stat st;
  if (fstat(fileno(file_), &st) == 0 && S_ISDIR(st.st_mode)) {
    error_ = std::strerror(EISDIR);
    return false;
  }
  return true;
}

bool LineReader::next(std::string& out) {
  if (!file_ || !error_.empty()) return false;
  errno = 0;
  const ssize_t n = getline(&buf_, &cap_, file_);
  if (n < 0) {
    if (std::ferror(file_)) error_ = std::strerror(errno ? errno : EIO);
    return false;
  }
  bytes_ += static_cast<uint64_t>(n);
  size_t len = static_cast<size_t>(n);
  if (len > 0 && buf_[len - 1] == '\n') {
    --len;
    if (len > 0 && buf_[len - 1] == '\r') --len;
  }
  out.append(buf_, len);
  return true;
}

int64_t input_size(const std::string& name) {
  struct stat st;
  if (name == "-" || stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

}  // namespace lxseg
