#include "resources.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "LXSegFunc.h"

namespace lxseg {
namespace {

bool is_directory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool check_directory(const char* what, const std::string& path) {
  struct stat st;
  const int err = stat(path.c_str(), &st) != 0 ? errno : S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  if (err == 0) return true;
  std::fprintf(stderr, "lxseg: %s %s: %s\n", what, path.c_str(), std::strerror(err));
  return false;
}

// <directory of the running program>/../share/lxwordseg/resources, or "" when
// /proc does not tell where the program is.
std::string beside_program() {
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof exe) return "";
  const std::string path(exe, static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  return path.substr(0, slash) + "/../share/lxwordseg/resources";
}

}  // namespace

std::string resolve_data_dir(const std::string& data_dir) {
  if (!data_dir.empty()) return data_dir;
  const char* env = std::getenv("LXWORDSEG_DATA");
  if (env && *env) return env;
  const std::string relocated = beside_program();
  if (!relocated.empty() && is_directory(relocated)) return relocated;
  if (is_directory(LXSEG_INSTALLED_DATA)) return LXSEG_INSTALLED_DATA;
  return LXSEG_BUILD_DATA;
}

bool load_resources(const std::string& data_dir, const std::string& user_dict) {
  if (!check_directory("resource directory", data_dir)) return false;
  if (data_dir.size() >= sizeof szDataDirPath) {
    std::fprintf(stderr, "lxseg: resource directory %s: the path is longer than %zu bytes\n",
                 data_dir.c_str(), sizeof szDataDirPath - 1);
    return false;
  }
  if (!LXInitSeg(data_dir.c_str())) {
    std::fprintf(stderr, "lxseg: cannot load the resources of %s\n", data_dir.c_str());
    return false;
  }
  if (!user_dict.empty()) {
    if (!check_directory("user dictionary", user_dict)) return false;
    LXChangeUserDict(user_dict.c_str());
  }
  return true;
}

}  // namespace lxseg
