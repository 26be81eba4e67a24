#include "lm/Counts.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

typedef std::vector<unsigned char> Bytes;

// A temporary stream holding `bytes`, positioned at the start.
FILE* stream_of(const Bytes& bytes) {
  FILE* fp = tmpfile();
  EXPECT_NE(fp, nullptr);
  if (!bytes.empty()) {
    EXPECT_EQ(fwrite(bytes.data(), 1, bytes.size(), fp), bytes.size());
  }
  rewind(fp);
  return fp;
}

Bytes contents(FILE* fp) {
  rewind(fp);
  Bytes bytes;
  int c;
  while ((c = fgetc(fp)) != EOF) bytes.push_back((unsigned char)c);
  return bytes;
}

// Encodes `count` with minBytes; returns the bytes (empty on failure).
Bytes encode(unsigned long long count, unsigned minBytes, unsigned* written = nullptr) {
  FILE* fp = tmpfile();
  unsigned n = write_binary_count(fp, count, minBytes);
  if (written) *written = n;
  Bytes bytes = contents(fp);
  fclose(fp);
  return bytes;
}

TEST(CountsTest, DecodesTheThreeForms) {
  unsigned long long count = 0;
  FILE* fp = stream_of({0x00, 0x05});
  EXPECT_EQ(readBinaryCount(fp, count), 2u);
  EXPECT_EQ(count, 5u);
  fclose(fp);

  fp = stream_of({0x80, 0x01, 0x00, 0x00});
  EXPECT_EQ(readBinaryCount(fp, count), 4u);
  EXPECT_EQ(count, 65536u);
  fclose(fp);

  fp = stream_of({0xC0, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00});
  EXPECT_EQ(readBinaryCount(fp, count), 8u);
  EXPECT_EQ(count, 1ull << 32);
  fclose(fp);
}

TEST(CountsTest, EncodesBigEndian) {
  EXPECT_EQ(encode(40000, 0), (Bytes{0x80, 0x00, 0x9C, 0x40}));
  EXPECT_EQ(encode(5, 0), (Bytes{0x00, 0x05}));
  EXPECT_EQ(encode(0x0123456789ABull, 0), (Bytes{0xC0, 0x00, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB}));
}

// Every boundary of the forms, with every minimum width: the chosen width, the
// flag bits and the value read back.
TEST(CountsTest, RoundTripsAtTheFormBoundaries) {
  const unsigned long long values[] = {0,           1,           32767,
                                       32768,       65535,       (1ull << 30) - 1,
                                       1ull << 30,  (1ull << 32) - 1, 1ull << 32,
                                       (1ull << 62) - 1};
  for (unsigned long long value : values) {
    for (unsigned minBytes : {0u, 1u, 2u, 3u, 4u, 5u, 8u}) {
      unsigned expected = minBytes <= 2 && value < 32768         ? 2
                          : minBytes <= 4 && value < (1ull << 30) ? 4
                                                                  : 8;
      unsigned written = 0;
      Bytes bytes = encode(value, minBytes, &written);
      ASSERT_EQ(written, expected) << value << " min " << minBytes;
      ASSERT_EQ(bytes.size(), expected);
      unsigned char flags = bytes[0] & 0xC0;
      unsigned char expectedFlags = expected == 2 ? (flags & 0x40) : expected == 4 ? 0x80 : 0xC0;
      EXPECT_EQ(flags, expectedFlags) << value << " min " << minBytes;

      FILE* fp = stream_of(bytes);
      unsigned long long back = ~0ull;
      EXPECT_EQ(readBinaryCount(fp, back), expected);
      EXPECT_EQ(back, value) << "min " << minBytes;
      fclose(fp);
    }
  }
}

TEST(CountsTest, CountsFromTwoToTheSixtyTwoAreRefused) {
  for (unsigned long long value : {1ull << 62, ~0ull}) {
    CaptureStderr();
    unsigned written = 1;
    Bytes bytes = encode(value, 0, &written);
    std::string message = GetCapturedStderr();
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(message, "write_binary_count: count " + std::to_string(value) + " is too large\n");
  }
}

TEST(CountsTest, TruncatedCountsReadNothing) {
  struct Case {
    Bytes bytes;
    const char* message;
  } cases[] = {
      {{}, ""},
      {{0x00}, ""},
      {{0x80}, ""},
      {{0x80, 0x01}, "readBinaryCount: incomplete long count\n"},
      {{0x80, 0x01, 0x00}, "readBinaryCount: incomplete long count\n"},
      {{0xC0, 0x00, 0x00, 0x01}, "readBinaryCount: incomplete long long count\n"},
      {{0xC0, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00}, "readBinaryCount: incomplete long long count\n"},
  };
  for (const Case& c : cases) {
    FILE* fp = stream_of(c.bytes);
    unsigned long long count = 77;
    CaptureStderr();
    EXPECT_EQ(readBinaryCount(fp, count), 0u) << c.bytes.size() << " bytes";
    EXPECT_EQ(GetCapturedStderr(), c.message) << c.bytes.size() << " bytes";
    fclose(fp);
  }
}

TEST(CountsTest, FloatsAndDoublesKeepTheirBits) {
  EXPECT_EQ(sizeof(float), 4u);
  FILE* fp = tmpfile();
  ASSERT_EQ(write_binary_count(fp, 1.0f), 4u);
  ASSERT_EQ(write_binary_count(fp, -2.5), 8u);
  EXPECT_EQ(contents(fp), (Bytes{0x3F, 0x80, 0x00, 0x00, 0xC0, 0x04, 0, 0, 0, 0, 0, 0}));
  fclose(fp);

  const float floats[] = {0.0f, -0.0f, -99.0f, 1e-45f, std::numeric_limits<float>::max(),
                          -std::numeric_limits<float>::infinity(),
                          std::numeric_limits<float>::quiet_NaN()};
  const double doubles[] = {0.0, -1e-310, 3.141592653589793, std::numeric_limits<double>::lowest(),
                            std::numeric_limits<double>::infinity()};
  fp = tmpfile();
  for (float f : floats) ASSERT_EQ(write_binary_count(fp, f), 4u);
  for (double d : doubles) ASSERT_EQ(write_binary_count(fp, d), 8u);
  rewind(fp);
  for (float f : floats) {
    float back;
    ASSERT_EQ(readBinaryCount(fp, back), 4u);
    EXPECT_EQ(std::memcmp(&back, &f, 4), 0) << f;
  }
  for (double d : doubles) {
    double back;
    ASSERT_EQ(readBinaryCount(fp, back), 8u);
    EXPECT_EQ(std::memcmp(&back, &d, 8), 0) << d;
  }
  float f;
  double d;
  EXPECT_EQ(readBinaryCount(fp, f), 0u);
  EXPECT_EQ(readBinaryCount(fp, d), 0u);
  fclose(fp);

  fp = stream_of({0x3F, 0x80, 0x00});
  EXPECT_EQ(readBinaryCount(fp, f), 0u);
  fclose(fp);
}

// A mixed sequence, read back in order, consumes exactly what was written.
TEST(CountsTest, MixedSequenceReadsBackInOrder) {
  FILE* fp = tmpfile();
  unsigned total = 0;
  total += write_binary_count(fp, 10000000ull, 0);
  total += write_binary_count(fp, -0.25f);
  total += write_binary_count(fp, 3ull, 4);
  total += write_binary_count(fp, 0xFFFFFFFFull, 0);
  EXPECT_EQ(total, 4u + 4u + 4u + 8u);
  rewind(fp);
  unsigned long long c;
  float f;
  EXPECT_EQ(readBinaryCount(fp, c), 4u);
  EXPECT_EQ(c, 10000000u);
  EXPECT_EQ(readBinaryCount(fp, f), 4u);
  EXPECT_EQ(f, -0.25f);
  EXPECT_EQ(readBinaryCount(fp, c), 4u);
  EXPECT_EQ(c, 3u);
  EXPECT_EQ(readBinaryCount(fp, c), 8u);
  EXPECT_EQ(c, 0xFFFFFFFFu);
  EXPECT_EQ(readBinaryCount(fp, c), 0u);
  EXPECT_EQ(ftell(fp), (long)total);
  fclose(fp);
}

TEST(CountsTest, WriteFailuresReturnZero) {
  FILE* fp = tmpfile();
  ASSERT_NE(fp, nullptr);
  FILE* readOnly = fdopen(dup(fileno(fp)), "r");
  ASSERT_NE(readOnly, nullptr);
  EXPECT_EQ(write_binary_count(readOnly, 5ull, 0), 0u);
  EXPECT_EQ(write_binary_count(readOnly, 1ull << 40, 0), 0u);
  EXPECT_EQ(write_binary_count(readOnly, 1.0f), 0u);
  EXPECT_EQ(write_binary_count(readOnly, 1.0), 0u);
  fclose(readOnly);
  fclose(fp);
}

}  // namespace
