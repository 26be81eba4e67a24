// Writing a whole file so that readers never see it half written.
#ifndef LX_BASE_ATOMICFILE_H
#define LX_BASE_ATOMICFILE_H

#include <cstddef>
#include <string>

// Writes `size` bytes to a temporary file beside `path` (created with the
// usual permissions, as fopen gives them) and renames it to `path`.  On
// failure the temporary file is removed, `path` is left as it was and false
// is returned.
bool write_file_atomically(const char* path, const void* data, size_t size);

inline bool write_file_atomically(const char* path, const std::string& bytes) {
  return write_file_atomically(path, bytes.data(), bytes.size());
}

#endif  // LX_BASE_ATOMICFILE_H
