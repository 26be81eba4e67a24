// The basic dictionary with a mutated Core.Lex (first byte even) or
// Core.Prop (odd) beside a sound other file; accepted files are searched.
#include "dict/BasicDict.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const char* name = data[0] & 1 ? "Core.Prop" : "Core.Lex";
  const std::string dir = lxfuzz::resource_with(name, data + 1, size - 1);
  CBasicDict d;
  if (!d.loadBasicDict((dir + "/Core.Lex").c_str(), (dir + "/Core.Prop").c_str())) return 0;
  Darts::DoubleArray::result_pair_type r[16];
  for (size_t i = 1; i < size; ++i) {
    size_t k = d.mBasicDict.commonPrefixSearch((const char*)data + i, r, 16, size - i);
    for (size_t j = 0; j < k && j < 16; ++j) LX_CHECK(r[j].value >= 0 && (uint32_t)r[j].value < d.mWordNum);
  }
  return 0;
}
