// Speed of the two per-position stages in front of the lattice: the factoid
// recognizer (asked at every step of the producer) and the sentence splitter.
#include <benchmark/benchmark.h>

#include <string>

#include "seg/Factoid.h"
#include "seg/sentence_spliter.h"

namespace {

// A GBK sentence mixing Chinese text, numbers, dates, a URL and an e-mail.
std::string mixed_sentence() {
  const std::string zh = "\xD6\xD0\xCE\xC4\xB7\xD6\xB4\xCA";  // 中文分词
  const std::string num = "\xC8\xFD\xCA\xAE\xCE\xE5";          // 三十五
  return zh + "2012-01-05" + zh + num + "12:30" + zh + "www.sina.com.cn/news" + zh +
         "user@example.com" + zh + "3.5%" + zh + "abc123" + zh + "010-12345678" + zh;
}

void BM_FactoidEveryPosition(benchmark::State& state) {
  CFactoid fc;
  if (state.range(0) == 1) fc.set_pku();
  const std::string s = mixed_sentence();
  for (auto _ : state) {
    uint32_t total = 0;
    for (uint32_t i = 0; i < s.size(); ++i) {
      int type;
      uint32_t len;
      fc.recognize_factoid_word(s.data() + i, static_cast<uint32_t>(s.size()) - i, type, len);
      total += len;
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(s.size()));
}
BENCHMARK(BM_FactoidEveryPosition)->Arg(0)->Arg(1);

void BM_SplitText(benchmark::State& state) {
  std::string text;
  while (text.size() < 1 << 20) text += mixed_sentence() + "\xA1\xA3" + "\xA3\xAC ";
  CSentenceSpliter sp(2048);
  for (auto _ : state) {
    sp.m_paragraph = text.data();
    sp.m_paragraph_len = static_cast<uint32_t>(text.size());
    sp.m_paragraph_idx = 0;
    uint32_t len = 0, sl = 0, sentences = 0;
    while (sp.next_sentence(len, 0)) {
      ++sentences;
      if (!sp.m_btruncation) sp.get_spliter(sl);
    }
    benchmark::DoNotOptimize(sentences);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_SplitText);

}  // namespace
