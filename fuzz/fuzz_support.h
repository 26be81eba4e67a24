// Helpers of the fuzz targets: the input as a file, a small complete
// resource set written once per process by the test resource builder (in
// $TMPDIR, which scripts/fuzz.sh points at a scratch directory: libFuzzer
// exits without removing it), and the segmentation check of the segment
// targets.
#ifndef LX_FUZZ_SUPPORT_H
#define LX_FUZZ_SUPPORT_H

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "LXSegFunc.h"
#include "support/resource_builder.h"

#define LX_CHECK(cond) \
  ((cond) ? (void)0 : (std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond), __builtin_trap()))

namespace lxfuzz {

inline volatile size_t g_sink;  // keeps the reads of result bytes

inline lxtest::ResourceDir& resources() {
  static lxtest::ResourceDir dir;
  static const bool built = dir.build(lxtest::default_resource_plan());
  LX_CHECK(built);
  return dir;
}

// Writes the input to a scratch file and returns its path.
inline std::string as_file(const uint8_t* data, size_t size) {
  static lxtest::TempDir dir("lxfuzz.");
  LX_CHECK(dir.write("input", std::string((const char*)data, size)));
  return dir.file("input");
}

// The resource directory with its file `name` replaced by the input (the
// file replaced by the previous call is restored first).
inline std::string resource_with(const char* name, const uint8_t* data, size_t size) {
  static std::string last, saved;
  lxtest::ResourceDir& dir = resources();
  if (!last.empty()) LX_CHECK(dir.write_file(last, saved));
  std::ifstream in(dir.file(last = name), std::ios::binary);
  saved.assign(std::istreambuf_iterator<char>(in), {});
  LX_CHECK(dir.write_file(name, std::string((const char*)data, size)));
  return dir.path();
}

inline bool g_loaded = false;  // LXInitSeg done and still in force
inline void ensure_loaded() {
  if (!g_loaded) LX_CHECK(g_loaded = LXInitSeg(resources().path().c_str()));
}

inline void touch(const char* s) { LX_CHECK(s != nullptr && std::strlen(s) < (1u << 30)); }

// Segments data[4..] under the mode bits of data[0..3] and reads the result
// through every reader.  The fine tokens but the repeated second
// segmentation (wtype 2) span the text one after the other; with LX_ORIG
// and no custom words each word is the text of its span.
inline int segment_and_check(const uint8_t* data, size_t size, size_t charset) {
  if (size < 5 || size > 4096) return 0;
  ensure_loaded();
  uint32_t bits;
  std::memcpy(&bits, data, 4);
  // Bit 28 allows the modes that change shared state (PKU, LX_ASC), which
  // cost a reload afterwards; a handle is kept while the mode stays.
  const bool shared = bits & 0x10000000, pku = shared && (bits >> 31);
  const int mode = (int)(bits & (0x3FFFFFF | LX_COARSE | LX_ORIG) & (shared ? ~0u : ~(unsigned)LX_ASC));
  static HANDLE h = nullptr;
  static int hmode = -1;
  if (mode != hmode) LXCloseSegHandle(h), h = LXCreateSegHandle(hmode = mode);
  LX_CHECK(h != nullptr);
  if (pku) LXSetPKUMode(h);
  LXSetOutMode(h, (OutMode)(1 + ((bits >> 29) & 3) % 3));
  const std::vector<char> text(data + 4, data + size);
  const size_t len = text.size();
  LX_CHECK(LXSegment(h, text.data(), len, charset));

  const int n = LXGetResultCnt(h);
  size_t b, l, next = 0, sum = 0;
  for (int i = -1; i <= n; ++i) {
    const char* w = LXGetWordAt(h, i);
    pWP wp = LXGetAt(h, i);
    p_ms_word_t mw = LXMSGetWordAt(h, i);
    p_ms_wp_t mwp = LXMSGetAt(h, i);
    const bool in = i >= 0 && i < n;
    LX_CHECK(LXGetSpanAt(h, i, &b, &l) == in && in == (w && wp && mw && mwp) && (in || !(w || wp || mw || mwp)));
    if (!in) continue;
    LX_CHECK(b <= len && l <= len - b && LXGetClsNum(h, wp->cls) >= 0);
    touch(w), touch(wp->word), touch(mw->word), touch(mwp->word), touch(LXGetClsAt(h, wp->cls, 0));
  }

  seg_tokens_t st{};
  LXGetAllSegInfo(h, st);
  LXSetOutMode(h, OUT_WORD);
  const size_t fine = st.fine_grain_tokens_num;
  for (size_t i = 0; i <= fine; ++i) {
    LX_CHECK(LXGetTokenSpan(h, i, &b, &l) == (i < fine));
    if (i == fine) break;
    const token_t& t = st.fine_grain_seg_tokens[i];
    for (size_t k = 0; k < t.wlen; ++k) sum += (uint8_t)t.word[k];
    LX_CHECK(b <= len && l <= len - b && (t.wtype == 2 || b == next));
    if (t.wtype != 2) next = b + l;
    if ((mode & LX_ORIG) && !(mode & LX_USR)) {
      const char* w = LXGetWordAt(h, (int)i);
      const size_t k = strnlen(text.data() + b, l);
      LX_CHECK(w != nullptr && std::strlen(w) == k && std::memcmp(w, text.data() + b, k) == 0);
    }
  }
  LX_CHECK(next == len);
  const std::pair<const comb_token_t*, size_t> combs[] = {{st.thick_seg_tokens, st.thick_seg_tokens_num},
                                                          {st.custom_defined_tokens, st.custom_tokens_num},
                                                          {st.custom_defined_phrases, st.custom_phrases_num}};
  for (const auto& c : combs)
    for (const comb_token_t* t = c.first; t != c.first + c.second; ++t) {
      LX_CHECK(t->sidx <= t->eidx && t->eidx < fine);
      for (size_t k = 0; k < t->wlen; ++k) sum += (uint8_t)t->word[k];
    }
  g_sink = sum;
  if (pku || (mode & LX_ASC)) LXCloseSegHandle(h), h = nullptr, hmode = -1, LXUnInitSeg(), g_loaded = false;
  return 0;
}

}  // namespace lxfuzz

#endif  // LX_FUZZ_SUPPORT_H
