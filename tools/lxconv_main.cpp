// lxconv: shows the charset layer at work on a UTF-8 text file.  Each line is
// converted to GBK and back, and the tool prints the GBK bytes of its first
// characters, the byte counts and whether the round trip restored the line.
//
// Usage: lxconv FILE
#include <cstdio>
#include <string>
#include <vector>

#include "base/uconv.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: lxconv FILE\n");
    return 2;
  }
  FILE* in = std::fopen(argv[1], "rb");
  if (!in) {
    std::perror(argv[1]);
    return 1;
  }
  std::string line;
  int lineno = 0, failures = 0;
  for (int c; ; ) {
    c = std::fgetc(in);
    if (c != EOF && c != '\n') {
      line.push_back(static_cast<char>(c));
      continue;
    }
    if (!line.empty()) {
      ++lineno;
      const uint32_t n = static_cast<uint32_t>(line.size());
      std::vector<char> gbk(n + 1), utf8(n / 2 * 3 + 4);
      const int glen = utf8_to_gbk(line.data(), n, gbk.data(), n + 1, UCONV_INVCHAR_IGNORE);
      const int ulen = glen < 0 ? -1
          : gbk_to_utf8(gbk.data(), static_cast<uint32_t>(glen), utf8.data(),
                        static_cast<uint32_t>(utf8.size()), UCONV_INVCHAR_IGNORE);
      const bool same = ulen >= 0 && std::string(utf8.data(), static_cast<size_t>(ulen)) == line;
      if (!same) ++failures;
      std::printf("%s\n  UTF-8 %u bytes -> GBK %d bytes -> UTF-8 %d bytes, %s; GBK starts",
                  line.c_str(), n, glen, ulen, same ? "round trip exact" : "ROUND TRIP DIFFERS");
      for (int i = 0; i < glen && i < 8; ++i)
        std::printf(" %02X", static_cast<unsigned char>(gbk[static_cast<size_t>(i)]));
      std::printf("\n");
    }
    line.clear();
    if (c == EOF) break;
  }
  std::fclose(in);
  std::printf("%d lines, %d round-trip differences\n", lineno, failures);
  return failures ? 1 : 0;
}
