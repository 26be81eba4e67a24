// A temporary directory for one test, removed with the object.
//
//   lxtest::TempDir dir("lx_postag_");
//   std::string lex = dir.file("Core.Lex");
//
// The removal walks the tree through directory descriptors instead of full
// paths and makes every directory readable before entering it, so trees
// deeper than PATH_MAX and directories a test made unreadable go too.
// Header-only: the support archive is linked by the base-layer tests too.
#ifndef LX_TESTS_SUPPORT_TEMP_DIR_H
#define LX_TESTS_SUPPORT_TEMP_DIR_H

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace lxtest {

// Removes everything below the directory open as `fd` (and closes `fd`).
inline void remove_below(int fd) {
  DIR* d = fdopendir(fd);
  if (d == nullptr) {
    close(fd);
    return;
  }
  std::vector<std::string> names;
  while (struct dirent* e = readdir(d))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
      names.push_back(e->d_name);
  for (const std::string& n : names) {
    struct stat st;
    if (fstatat(dirfd(d), n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      fchmodat(dirfd(d), n.c_str(), 0755, 0);
      int sub = openat(dirfd(d), n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
      if (sub >= 0) remove_below(sub);
      unlinkat(dirfd(d), n.c_str(), AT_REMOVEDIR);
    } else {
      unlinkat(dirfd(d), n.c_str(), 0);
    }
  }
  closedir(d);
}

// Removes the tree at `root` (a directory) and `root` itself.
inline void remove_tree(const std::string& root) {
  if (root.empty()) return;
  chmod(root.c_str(), 0755);
  int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
  if (fd >= 0) remove_below(fd);
  rmdir(root.c_str());
}

// The directory for temporary files: $TMPDIR when set, else /tmp.
inline std::string temp_base() {
  const char* t = getenv("TMPDIR");
  std::string base = (t != nullptr && *t != '\0') ? t : "/tmp";
  if (base.back() != '/') base += '/';
  return base;
}

class TempDir {
 public:
  // Creates "<base><prefix>XXXXXX"; `base` ends with '/' (default: temp_base()).
  explicit TempDir(const std::string& prefix = "lx_test_", const std::string& base = "") {
    std::string tmpl = (base.empty() ? temp_base() : base) + prefix + "XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) != nullptr) {
      path_ = buf.data();
    } else {
      std::perror(tmpl.c_str());
    }
  }
  ~TempDir() { remove_tree(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Empty when the directory could not be created.
  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

  // Creates the directory `rel` (relative, '/'-separated) and those above it.
  void mkdirs(const std::string& rel) const {
    std::string cur = path_;
    size_t pos = 0;
    while (pos <= rel.size()) {
      size_t end = rel.find('/', pos);
      if (end == std::string::npos) end = rel.size();
      cur += "/" + rel.substr(pos, end - pos);
      mkdir(cur.c_str(), 0755);
      pos = end + 1;
    }
  }

  // Writes `content` to the file `rel`, creating the directories above it.
  bool write(const std::string& rel, const std::string& content) const {
    size_t slash = rel.rfind('/');
    if (slash != std::string::npos) mkdirs(rel.substr(0, slash));
    FILE* fp = std::fopen(file(rel).c_str(), "wb");
    if (fp == nullptr) return false;
    bool ok = std::fwrite(content.data(), 1, content.size(), fp) == content.size();
    return std::fclose(fp) == 0 && ok;
  }

 private:
  std::string path_;
};

}  // namespace lxtest

#endif  // LX_TESTS_SUPPORT_TEMP_DIR_H
