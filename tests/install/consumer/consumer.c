/*
 * A program outside the library, built against an installed LXWordSeg as C
 * and as C++.  It converts the UTF-8 text argv[2] to GBK, segments it with the
 * resources argv[1] and prints each fine token back in UTF-8 with its tag,
 * through the two functions that C++ calls with references and C with
 * pointers.
 */
#include <stdio.h>
#include <string.h>

#include "LXCharset.h"
#include "LXSegFunc.h"

#ifdef __cplusplus
#define BY_REF(x) (x)
#else
#define BY_REF(x) (&(x))
#endif

int main(int argc, char** argv) {
  char gbk[256], tag[8];
  seg_tokens_t all;
  memset(&all, 0, sizeof all);
  if (argc != 3 || !LXInitSeg(argv[1])) return 2;
  HANDLE h = LXCreateSegHandle(LX_POS);
  int n = utf8_to_gbk(argv[2], (uint32_t)strlen(argv[2]), gbk, sizeof gbk, 0);
  if (!h || n <= 0 || !LXSegment(h, gbk, (size_t)n, LX_GBK)) return 3;
  LXGetAllSegInfo(h, BY_REF(all));
  for (size_t i = 0; i < all.fine_grain_tokens_num; ++i) {
    const char* word = all.fine_grain_seg_tokens[i].word;
    size_t len = all.fine_grain_seg_tokens[i].wlen;
    LXConvertWordCharsetToUTF8(h, BY_REF(word), BY_REF(len));
    LXPosId2Str(all.fine_grain_seg_tokens[i].pos, tag, sizeof tag);
    printf("%s%.*s/%s", i ? " " : "", (int)len, word, tag);
  }
  LXCloseSegHandle(h);
  LXUnInitSeg();
  return 0;
}
