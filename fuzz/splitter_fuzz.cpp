// Sentence splitting the way the driver does it, with a short maximum length
// and input-chosen back lengths, and the factoid recognizer at every
// position of every sentence in normal, PKU and ASCII mode.
#include "fuzz_support.h"
#include "seg/Factoid.h"
#include "seg/sentence_spliter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CFactoid fcs[4];
  static const bool init = (fcs[1].set_pku(), fcs[3].set_pku(), fcs[2].set_ascii(), fcs[3].set_ascii(), true);
  if (size < 1 || size > 1 << 16 || !init) return 0;
  std::vector<char> text(data + 1, data + size);
  const uint32_t n = (uint32_t)text.size();
  CSentenceSpliter sp(1 + data[0] % 64);
  sp.m_paragraph = text.data(), sp.m_paragraph_len = n, sp.m_paragraph_idx = 0;
  uint32_t back = 0, len = 0, steps = 0, sl = 0;
  while (const char* s = sp.next_sentence(len, back)) {
    LX_CHECK(s >= text.data() && len <= n && s + len <= text.data() + n && ++steps <= 4 * n + 4);
    for (const CFactoid& fc : fcs)
      for (uint32_t i = 0, fclen = 0; i < len; ++i) {
        int type = 0;
        fc.recognize_factoid_word(s + i, len - i, type, fclen);
        LX_CHECK(fclen <= len - i);
      }
    back = sp.m_btruncation && len > 1 ? (uint8_t)s[len - 1] % len : 0;
    if (!sp.m_btruncation) sp.get_spliter(sl);
  }
  return 0;
}
