// Ngram::read_binary on mutated model files, then lookups with input ids.
#include "fuzz_support.h"
#include "lm/Ngram.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Ngram lm(3);
  if (!lm.read_binary(lxfuzz::as_file(data, size).c_str())) return 0;
  for (size_t i = 0; i + 12 <= size && i < 256; i += 4) {
    VocabIndex ids[3], ctx[3] = {0, 0, Vocab_None};
    std::memcpy(ids, data + i, sizeof ids);
    ctx[0] = ids[1] % 64, ctx[1] = ids[2] % 64;
    lm.word_prob(ids[0] % 64, ctx), lm.word_prob(ids[0], ids + 1, 2, nullptr);
  }
  return 0;
}
