// A temporary directory for one test, removed with the object.
//
//   lxtest::TempDir dir("lx_postag_");
//   std::string lex = dir.file("Core.Lex");
//
// Header-only: the support archive is linked by the base-layer tests too.
#ifndef LX_TESTS_SUPPORT_TEMP_DIR_H
#define LX_TESTS_SUPPORT_TEMP_DIR_H

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace lxtest {

// Removes the tree at `root` and `root` itself (symbolic links are removed,
// not followed).
inline void remove_tree(const std::string& root) {
  std::error_code ec;
  if (!root.empty()) std::filesystem::remove_all(root, ec);
}

class TempDir {
 public:
  // Creates "$TMPDIR/<prefix>XXXXXX" (/tmp when TMPDIR is not set).
  explicit TempDir(const std::string& prefix = "lx_test_") {
    const char* t = getenv("TMPDIR");
    std::string tmpl = std::string(t != nullptr && *t != '\0' ? t : "/tmp") + "/" + prefix + "XXXXXX";
    if (mkdtemp(&tmpl[0]) != nullptr) path_ = tmpl;
    if (!ok()) std::perror(tmpl.c_str());
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
    std::error_code ec;
    std::filesystem::create_directories(file(rel), ec);
  }

  // Writes `content` to the file `rel`, creating the directories above it.
  bool write(const std::string& rel, const std::string& content) const {
    if (rel.find('/') != std::string::npos) mkdirs(rel.substr(0, rel.rfind('/')));
    std::ofstream out(file(rel), std::ios::binary);
    return static_cast<bool>(out.write(content.data(), (std::streamsize)content.size()).flush());
  }

 private:
  std::string path_;
};

}  // namespace lxtest

#endif  // LX_TESTS_SUPPORT_TEMP_DIR_H
