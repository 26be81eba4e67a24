// Traditional-to-simplified tables: one of t2s, t2s.word and t2s.disable
// (first byte) replaced by the input, all three loaded in order, then the
// input converted.
#include <memory>

#include "dict/T2S.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const char* const names[] = {"t2s", "t2s.word", "t2s.disable"};
  const std::string dir = lxfuzz::resource_with(names[data[0] % 3], data + 1, size - 1);
  std::unique_ptr<Trad2Simp> t2s(new Trad2Simp);
  t2s->_load_t2s_table((dir + "/t2s").c_str());
  t2s->_load_t2s_words((dir + "/t2s.word").c_str());
  t2s->_load_t2s_disable((dir + "/t2s.disable").c_str());
  std::vector<char> text(data + 1, data + size);
  t2s->convert(text.data(), (int)text.size());
  return 0;
}
