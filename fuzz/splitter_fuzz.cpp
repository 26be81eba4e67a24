// Fuzz target: sentence splitting and factoid recognition on arbitrary bytes.
//
// The input is split into sentences the way the driver does it (cuts at a
// short maximum length to reach that path often, with back lengths taken
// from the input), and the factoid recognizer is asked at every position of
// every sentence in normal, PKU and ASCII mode.  Both stages must stay within
// the bytes they are given and report lengths within them.
//
// Built by a clang build directory configured with -DLX_BUILD_FUZZ=ON (see
// fuzz/CMakeLists.txt); run, for example, <build>/fuzz/factoid_fuzz -max_total_time=60.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "seg/Factoid.h"
#include "seg/sentence_spliter.h"

namespace {

const CFactoid* recognizer(int mode) {
  static CFactoid* fcs[4] = {nullptr, nullptr, nullptr, nullptr};
  if (fcs[mode] == nullptr) {
    CFactoid* fc = new CFactoid;
    if (mode & 1) fc->set_pku();
    if (mode & 2) fc->set_ascii();
    fcs[mode] = fc;
  }
  return fcs[mode];
}

void check_factoids(const char* sentence, uint32_t len) {
  for (int mode = 0; mode < 4; ++mode) {
    const CFactoid* fc = recognizer(mode);
    for (uint32_t i = 0; i < len; ++i) {
      int type = 0;
      uint32_t fclen = 0;
      fc->recognize_factoid_word(sentence + i, len - i, type, fclen);
      if (fclen > len - i) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1 << 16) return 0;
  // First byte: the maximum sentence length; the rest is the text, copied so
  // that the text ends exactly where the sanitizer's redzone begins.
  const uint32_t maxlen = 1 + data[0] % 64;
  std::vector<char> text(data + 1, data + size);
  const uint32_t n = static_cast<uint32_t>(text.size());

  CSentenceSpliter sp(maxlen);
  sp.m_paragraph = text.data();
  sp.m_paragraph_len = n;
  sp.m_paragraph_idx = 0;
  uint32_t back = 0, len = 0, steps = 0;
  while (const char* s = sp.next_sentence(len, back)) {
    if (s < text.data() || len > n || s + len > text.data() + n) std::abort();
    if (++steps > 4 * n + 4) std::abort();  // no progress
    check_factoids(s, len);
    back = 0;
    if (sp.m_btruncation) {
      // Step back by an input-chosen amount below the cut sentence's length.
      if (len > 1) back = static_cast<uint8_t>(s[len - 1]) % len;
    } else {
      uint32_t sl = 0;
      sp.get_spliter(sl);
    }
  }
  return 0;
}
