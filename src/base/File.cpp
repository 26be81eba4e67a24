#include "base/File.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const unsigned kInitialBufferSize = 128;

// Written to the last byte of the buffer before each read: if fgets replaces
// it by its terminator, the read filled the buffer.
const char kSentinel = 'X';

}  // namespace

File::File(const char* name, const char* mode)
    : m_name(name), m_line_no(0), m_fp(0), m_buffer(0), m_buf_len(0), m_errno(0) {
  m_fp = name != 0 && mode != 0 ? std::fopen(name, mode) : 0;
  if (m_fp == 0) fail(errno != 0 ? errno : EINVAL);
}

File::File(FILE* fp) : m_name(0), m_line_no(0), m_fp(fp), m_buffer(0), m_buf_len(0), m_errno(0) {}

File::~File() {
  if (m_name) close();
  std::free(m_buffer);
}

int File::close() {
  int status = 0;
  if (m_fp) {
    status = std::fclose(m_fp);
    m_fp = 0;
    if (status != 0) fail(errno);
  }
  return status;
}

char* File::getline() {
  if (m_fp == 0) return 0;
  if (m_buffer == 0) {
    m_buffer = static_cast<char*>(std::malloc(kInitialBufferSize));
    if (m_buffer == 0) {
      fail(ENOMEM);
      return 0;
    }
    m_buf_len = kInitialBufferSize;
    m_buffer[0] = '\0';
  }

  for (;;) {
    // Read one line, in pieces if it is longer than the buffer.
    unsigned start = 0;
    for (;;) {
      m_buffer[m_buf_len - 1] = kSentinel;
      if (std::fgets(m_buffer + start, (int)(m_buf_len - start), m_fp) == 0) {
        // The sentinel may have replaced the terminator of the previous line.
        m_buffer[m_buf_len - 1] = '\0';
        if (std::ferror(m_fp)) {
          fail(errno != 0 ? errno : EIO);
          return 0;
        }
        if (start == 0) return 0;
        break;  // end of file in the middle of a line ends the line
      }
      if (m_buffer[m_buf_len - 1] != '\0' || m_buffer[m_buf_len - 2] == '\n') break;
      // The buffer is full and the line goes on: double it and read on over
      // the terminator.  (fgets takes an int size, hence the limit.)
      unsigned oldLen = m_buf_len;
      char* bigger =
          oldLen <= INT_MAX / 2 ? static_cast<char*>(std::realloc(m_buffer, 2 * oldLen)) : 0;
      if (bigger == 0) {
        fail(ENOMEM);
        return 0;
      }
      m_buffer = bigger;
      m_buf_len = 2 * oldLen;
      start = oldLen - 1;
    }

    m_line_no++;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(m_buffer);
    while (*p != '\0' && std::isspace(*p)) p++;
    if (*p != '\0') return m_buffer;
    // Blank: counted, not returned.
  }
}

FileBytes::~FileBytes() { release(); }

void FileBytes::release() {
  if (m_map != 0) {
    munmap(m_map, m_map_size);
  } else {
    std::free(m_data);
  }
  m_data = 0;
  m_size = 0;
  m_map = 0;
  m_map_size = 0;
}

bool File::read_rest(FileBytes& bytes) {
  bytes.release();
  if (m_fp == 0) {
    fail(EBADF);
    return false;
  }
  // A regular file that is not empty is mapped whole, its pages filled in
  // one go: no copy into a buffer, no zeroed pages to fault in.  The stream
  // is left at the end, as if the bytes had been read.
  struct stat st;
  const long long at = ftello(m_fp);
  if (fstat(fileno(m_fp), &st) == 0 && S_ISREG(st.st_mode) && at >= 0 && st.st_size > at) {
    const size_t length = (size_t)st.st_size;
    void* map = mmap(0, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fileno(m_fp), 0);
    if (map != MAP_FAILED) {
      if (fseeko(m_fp, 0, SEEK_END) != 0) {
        munmap(map, length);
        fail(errno != 0 ? errno : EIO);
        return false;
      }
      bytes.m_map = map;
      bytes.m_map_size = length;
      bytes.m_data = static_cast<unsigned char*>(map) + at;
      bytes.m_size = length - (size_t)at;
      return true;
    }
  }
  // Otherwise a regular file (one that could not be mapped) is read in one
  // call of its remaining size (plus one byte, to see the end even if it
  // grew); anything else in doubling pieces.
  size_t capacity = 1 << 16;
  if (fstat(fileno(m_fp), &st) == 0 && S_ISREG(st.st_mode) && at >= 0 && st.st_size >= at)
    capacity = (size_t)(st.st_size - at) + 1;
  size_t size = 0;
  unsigned char* data = 0;
  for (;;) {
    unsigned char* bigger = static_cast<unsigned char*>(std::realloc(data, capacity));
    if (bigger == 0) {
      std::free(data);
      fail(ENOMEM);
      return false;
    }
    data = bigger;
    size += std::fread(data + size, 1, capacity - size, m_fp);
    if (size < capacity) break;
    capacity *= 2;
  }
  if (std::ferror(m_fp)) {
    std::free(data);
    fail(errno != 0 ? errno : EIO);
    return false;
  }
  bytes.m_data = data;
  bytes.m_size = size;
  return true;
}

std::ostream& File::position(std::ostream& stream) {
  if (m_name) stream << m_name << ": ";
  return stream << "line " << m_line_no << ": ";
}

std::ostream& File::offset(std::ostream& stream) {
  if (m_name) stream << m_name << ": ";
  return stream << "offset " << (m_fp ? std::ftell(m_fp) : -1L) << ": ";
}
