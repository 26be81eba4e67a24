// Binary count encoding of the model files.
//
// All values are big-endian whatever the host.  Counts take the shortest of
// three forms their writer allows:
//
//     2 bytes  0vvvvvvv vvvvvvvv                         0 .. 32767
//     4 bytes  10vvvvvv (+ 3 bytes)                     0 .. 2^30 - 1
//     8 bytes  11vvvvvv (+ 3 bytes): value bits 32..61,
//              then 4 bytes: value bits 0..31           0 .. 2^62 - 1
//
// Floats and doubles are their IEEE-754 bits, 4 and 8 bytes.  Every function
// returns the number of bytes read or written, 0 on failure.  The readers
// decode from memory: `p` points at the value, `avail` bytes remain there.
#ifndef LX_LM_COUNTS_H
#define LX_LM_COUNTS_H

#include <cstddef>
#include <cstdio>

// A truncated long or long long count is reported on stderr; fewer than two
// bytes (normally the end of the data) is a silent failure.
unsigned readBinaryCount(const unsigned char* p, size_t avail, unsigned long long& count);
unsigned readBinaryCount(const unsigned char* p, size_t avail, float& value);
unsigned readBinaryCount(const unsigned char* p, size_t avail, double& value);

// Writes `count` in the shortest form that has at least minBytes bytes.  A
// count of 2^62 or more cannot be encoded: reported on stderr, 0 returned.
unsigned write_binary_count(FILE* fp, unsigned long long count, unsigned minBytes = 0);
unsigned write_binary_count(FILE* fp, float value);
unsigned write_binary_count(FILE* fp, double value);

#endif  // LX_LM_COUNTS_H
