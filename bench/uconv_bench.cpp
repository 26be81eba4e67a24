// Throughput of the charset converters on mixed Chinese/ASCII text.
//
// The text is made from the conversion table itself: common hanzi (the first
// level of GB2312, B0A1-D7F9), Chinese punctuation and short ASCII words and
// numbers, in proportions close to news text (about 85% of the bytes are
// two-byte characters).  Throughput is reported over the input bytes.

#include "base/uconv.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

const size_t kTextBytes = 4 << 20;

std::string MakeGbkText() {
  std::mt19937 rng(12345);
  auto below = [&](unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng); };
  std::vector<unsigned> hanzi;
  for (unsigned lead = 0xB0; lead <= 0xD7; ++lead) {
    for (unsigned trail = 0xA1; trail <= 0xFE; ++trail) {
      const unsigned code = lead * 256 + trail;
      const uint16_t u = gGBKToUnicodeTable[(lead - 0x81) * 191 + (trail - 0x40)];
      if (code <= 0xD7F9 && u >= 0x4E00 && u <= 0x9FA5) hanzi.push_back(code);
    }
  }
  const unsigned punctuation[] = {0xA3AC, 0xA1A3, 0xA1A2, 0xA3BA, 0xA1B0, 0xA1B1};  // ，。、：“”
  std::string text;
  text.reserve(kTextBytes + 64);
  while (text.size() < kTextBytes) {
    const unsigned pick = below(100);
    if (pick < 80) {
      const unsigned code = hanzi[below(static_cast<unsigned>(hanzi.size()))];
      text += static_cast<char>(code >> 8);
      text += static_cast<char>(code & 0xFF);
    } else if (pick < 88) {
      const unsigned code = punctuation[below(6)];
      text += static_cast<char>(code >> 8);
      text += static_cast<char>(code & 0xFF);
    } else if (pick < 94) {
      const unsigned len = 2 + below(7);
      for (unsigned i = 0; i < len; ++i) text += static_cast<char>('a' + below(26));
      text += ' ';
    } else {
      text += std::to_string(below(10000));
    }
  }
  return text;
}

const std::string& GbkText() {
  static const std::string text = MakeGbkText();
  return text;
}

const std::string& Utf8Text() {
  static const std::string text = [] {
    const std::string& gbk = GbkText();
    std::vector<char> out((gbk.size() / 2) * 3 + 1);
    const int n = gbk_to_utf8(gbk.data(), static_cast<uint32_t>(gbk.size()), out.data(),
                              static_cast<uint32_t>(out.size()), UCONV_INVCHAR_IGNORE);
    return std::string(out.data(), n > 0 ? n : 0);
  }();
  return text;
}

void BM_GbkToUtf8(benchmark::State& state) {
  const std::string& src = GbkText();
  std::vector<char> dst((src.size() / 2) * 3 + 1);
  for (auto _ : state) {
    int n = gbk_to_utf8(src.data(), static_cast<uint32_t>(src.size()), dst.data(),
                        static_cast<uint32_t>(dst.size()), UCONV_INVCHAR_IGNORE);
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(src.size()));
}
BENCHMARK(BM_GbkToUtf8)->Unit(benchmark::kMillisecond);

void BM_Utf8ToGbk(benchmark::State& state) {
  const std::string& src = Utf8Text();
  std::vector<char> dst(src.size() + 1);
  for (auto _ : state) {
    int n = utf8_to_gbk(src.data(), static_cast<uint32_t>(src.size()), dst.data(),
                        static_cast<uint32_t>(dst.size()), UCONV_INVCHAR_IGNORE);
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(src.size()));
}
BENCHMARK(BM_Utf8ToGbk)->Unit(benchmark::kMillisecond);

void BM_GbkToUnicode(benchmark::State& state) {
  const std::string& src = GbkText();
  std::vector<uint16_t> dst(src.size());
  for (auto _ : state) {
    int n = gbk_to_unicode(src.data(), static_cast<uint32_t>(src.size()), dst.data(),
                           static_cast<uint32_t>(dst.size()), UCONV_INVCHAR_IGNORE);
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(src.size()));
}
BENCHMARK(BM_GbkToUnicode)->Unit(benchmark::kMillisecond);

void BM_IsUtf8(benchmark::State& state) {
  const std::string& src = Utf8Text();
  for (auto _ : state) {
    int n = is_utf8(src.c_str(), static_cast<uint32_t>(src.size()), 1);
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(src.size()));
}
BENCHMARK(BM_IsUtf8)->Unit(benchmark::kMillisecond);

}  // namespace
