// LXSegment on UTF-8 text under input-chosen modes, read through every reader.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return lxfuzz::segment_and_check(data, size, LX_UTF8);
}
