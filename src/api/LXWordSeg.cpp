// The command-line tool of the library, as a library function so that the
// thin program (LXWordSeg_main.cpp) and the tests share it:
//
//   LXWordSeg dictdir input output flag
//
// segments the GBK text file `input` line by line and writes one line per
// input line to `output`: the words separated by blanks (flag 0), or
// "word/tag" records separated by tabs, a custom word followed by its class
// names (any other flag).  Prints the processor time spent segmenting.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <memory>
#include <string>

#include "LXSegFunc.h"

extern "C" LX_API int LXWordSeg_main(int argc, char** argv);

// Replaces every occurrence of old_value by new_value, searching from the
// start of the string each time until none is left.  A replacement that
// contains old_value would never end; it is done in one left-to-right pass
// instead.
std::string& replace_all(std::string& str, const std::string& old_value,
                         const std::string& new_value) {
  if (old_value.empty()) return str;
  if (new_value.find(old_value) != std::string::npos) {
    for (size_t pos = 0; (pos = str.find(old_value, pos)) != std::string::npos;
         pos += new_value.size())
      str.replace(pos, old_value.size(), new_value);
    return str;
  }
  for (size_t pos; (pos = str.find(old_value)) != std::string::npos;)
    str.replace(pos, old_value.size(), new_value);
  return str;
}

namespace {

const size_t kLineBufferSize = 1 << 20;

struct FileCloser {
  void operator()(FILE* fp) const {
    if (fp != nullptr) std::fclose(fp);
  }
};
typedef std::unique_ptr<FILE, FileCloser> FilePtr;

// Writes the result of the last LXSegment() of `h` as one output line
// (without the line feed).
void write_result(HANDLE h, FILE* out, bool with_tags, std::string& scratch) {
  const int n = LXGetResultCnt(h);
  if (with_tags) {
    char tag[16];
    for (int i = 0; i < n; ++i) {
      pWP wp = LXGetAt(h, i);
      if (wp == nullptr || wp->word == nullptr) continue;
      if (i > 0) std::fputc('\t', out);
      LXPosId2Str(wp->pos, tag, sizeof(tag));
      std::fprintf(out, "%s/%s", wp->word, tag);
      if (wp->bcw && wp->cls != -1) {
        const char* cls = LXGetClsAt(h, wp->cls, 1);
        if (cls != nullptr) std::fputs(cls, out);
      }
    }
    return;
  }
  for (int i = 0; i < n; ++i) {
    const char* word = LXGetWordAt(h, i);
    if (word == nullptr) continue;
    if (i > 0) std::fputc(' ', out);
    if (word[0] == ' ') {
      std::fputs(word, out);
      continue;
    }
    scratch.assign(word);
    replace_all(scratch, " ", "|");
    std::fwrite(scratch.data(), 1, scratch.size(), out);
  }
}

int run(int argc, char** argv) {
  if (argc != 5) {
    std::printf("Usage : LXWordSeg dictdir input output\n");
    return -1;
  }
  if (!LXInitSeg(argv[1])) return 0;

  const int mode = LX_ENGU | LX_GU | LX_POS | LX_USR | LX_CLS | LX_CN | LX_T2S;  // 847
  HANDLE h = LXCreateSegHandle(mode);
  const bool with_tags = std::atoi(argv[4]) != 0;

  FilePtr in(std::fopen(argv[2], "rb"));
  if (!in) {
    std::printf("Unable to open file: %s\n", argv[2]);
    LXCloseSegHandle(h);
    LXUnInitSeg();
    return 0;
  }
  FilePtr out(std::fopen(argv[3], "wb"));
  if (!out) {
    std::printf("Unable to open file: %s\n", argv[3]);
    LXCloseSegHandle(h);
    LXUnInitSeg();
    return 0;
  }

  std::unique_ptr<char[]> line(new char[kLineBufferSize]);
  std::string scratch;
  clock_t total = 0;
  while (std::fgets(line.get(), static_cast<int>(kLineBufferSize), in.get()) != nullptr) {
    const clock_t start = std::clock();
    size_t len = std::strlen(line.get());
    if (len > 0 && (line[len - 1] == '\r' || line[len - 1] == '\n')) {
      line[--len] = '\0';
      if (len > 0 && (line[len - 1] == '\r' || line[len - 1] == '\n')) line[--len] = '\0';
    }
    LXSegment(h, line.get(), 0, LX_GBK);
    write_result(h, out.get(), with_tags, scratch);
    std::fputc('\n', out.get());
    total += std::clock() - start;
  }

  LXCloseSegHandle(h);
  LXUnInitSeg();
  std::printf("Time used: %f s\n", static_cast<double>(total) / 1000000.0);
  return 0;
}

}  // namespace

int LXWordSeg_main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "LXWordSeg: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "LXWordSeg: unknown exception\n");
  }
  return 0;
}
