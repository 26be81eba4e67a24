#include "lm/Counts.h"

#include <cstdint>
#include <cstring>

// Values are assembled from and split into bytes explicitly, which gives
// big-endian order on any host without detecting the host's byte order.
namespace {

uint32_t be16(const unsigned char* b) { return (uint32_t)b[0] << 8 | b[1]; }

uint32_t be32(const unsigned char* b) {
  return (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3];
}

void put32(unsigned char* b, uint32_t v) {
  b[0] = (unsigned char)(v >> 24);
  b[1] = (unsigned char)(v >> 16);
  b[2] = (unsigned char)(v >> 8);
  b[3] = (unsigned char)v;
}

unsigned write_bytes(FILE* fp, const unsigned char* bytes, size_t n) {
  return std::fwrite(bytes, 1, n, fp) == n ? (unsigned)n : 0;
}

}  // namespace

unsigned readBinaryCount(const unsigned char* p, size_t avail, unsigned long long& count) {
  if (avail < 2) return 0;
  uint32_t v = be16(p);
  if ((v & 0x8000) == 0) {
    count = v;
    return 2;
  }
  if (avail < 4) {
    std::fputs("readBinaryCount: incomplete long count\n", stderr);
    return 0;
  }
  uint32_t w = (v & 0x7FFF) << 16 | be16(p + 2);
  if ((w & 0x40000000) == 0) {
    count = w;
    return 4;
  }
  if (avail < 8) {
    std::fputs("readBinaryCount: incomplete long long count\n", stderr);
    return 0;
  }
  count = (unsigned long long)(w & ~0x40000000u) << 32 | be32(p + 4);
  return 8;
}

unsigned readBinaryCount(const unsigned char* p, size_t avail, float& value) {
  if (avail < 4) return 0;
  uint32_t bits = be32(p);
  std::memcpy(&value, &bits, sizeof value);
  return 4;
}

unsigned readBinaryCount(const unsigned char* p, size_t avail, double& value) {
  if (avail < 8) return 0;
  uint64_t bits = (uint64_t)be32(p) << 32 | be32(p + 4);
  std::memcpy(&value, &bits, sizeof value);
  return 8;
}

unsigned write_binary_count(FILE* fp, unsigned long long count, unsigned minBytes) {
  unsigned char b[8];
  if (minBytes <= 2 && count < 0x8000) {
    b[0] = (unsigned char)(count >> 8);
    b[1] = (unsigned char)count;
    return write_bytes(fp, b, 2);
  }
  if (minBytes <= 4 && count < (1ull << 30)) {
    put32(b, (uint32_t)count | 0x80000000u);
    return write_bytes(fp, b, 4);
  }
  if (count >= (1ull << 62)) {
    std::fprintf(stderr, "write_binary_count: count %llu is too large\n", count);
    return 0;
  }
  put32(b, (uint32_t)(count >> 32) | 0xC0000000u);
  put32(b + 4, (uint32_t)count);
  return write_bytes(fp, b, 8);
}

unsigned write_binary_count(FILE* fp, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  unsigned char b[4];
  put32(b, bits);
  return write_bytes(fp, b, 4);
}

unsigned write_binary_count(FILE* fp, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  unsigned char b[8];
  put32(b, (uint32_t)(bits >> 32));
  put32(b + 4, (uint32_t)bits);
  return write_bytes(fp, b, 8);
}
