// Custom word lists built from the input (pieces between NUL bytes become
// the lists of the classes food, phrase and place), loaded with
// LXChangeUserDict, then the input segmented with LX_USR as GBK.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5 || size > 4096) return 0;
  static lxtest::TempDir dir("lxfuzz_cw.");
  const std::string text((const char*)data + 4, size - 4);
  size_t at = 0;
  for (const char* list : {"food/a.txt", "phrase/b.txt", "place/c.txt"}) {
    const size_t end = std::min(text.find('\0', at), text.size());
    LX_CHECK(dir.write(std::string("CustomWord/") + list, text.substr(std::min(at, end), end - std::min(at, end))));
    at = end + 1;
  }
  lxfuzz::ensure_loaded();
  LXChangeUserDict(dir.file("CustomWord").c_str());
  std::vector<uint8_t> in(data, data + size);
  in[0] |= LX_USR, in[3] &= ~0x10;  // no modes that need a reload
  return lxfuzz::segment_and_check(in.data(), in.size(), LX_GBK);
}
