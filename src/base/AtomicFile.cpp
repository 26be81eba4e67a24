#include "base/AtomicFile.h"

#include <unistd.h>

#include <cstdio>

bool write_file_atomically(const char* path, const void* data, size_t size) {
  if (path == nullptr || *path == '\0') return false;
  const std::string tmp = std::string(path) + ".tmp." + std::to_string(static_cast<long>(getpid()));
  FILE* fp = std::fopen(tmp.c_str(), "wb");
  if (fp == nullptr) return false;
  bool ok = size == 0 || std::fwrite(data, 1, size, fp) == size;
  ok = std::fclose(fp) == 0 && ok;
  if (ok) ok = std::rename(tmp.c_str(), path) == 0;
  if (!ok) std::remove(tmp.c_str());
  return ok;
}
