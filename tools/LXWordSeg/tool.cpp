// LXWordSeg dictdir input output flag
//
// Segments the GBK text file `input` line by line in the fixed mode 847 and
// writes one line per input line to `output`: the words separated by blanks
// (flag 0), or "word/tag" records separated by tabs, a custom word followed by
// its class names (any other flag).  Prints the processor time spent
// segmenting on standard error.  Uses only the exported functions.
#include "tool.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <memory>
#include <string>

#include "LXSegFunc.h"

namespace lxwordseg {
namespace {

// A line longer than this is read (and segmented) in pieces of this size less one.
const size_t kLineBufferSize = 1 << 20;
const int kMode = LX_ENGU | LX_GU | LX_POS | LX_USR | LX_CLS | LX_CN | LX_T2S;  // 847

struct FileCloser {
  void operator()(FILE* fp) const {
    if (fp != nullptr) std::fclose(fp);
  }
};
typedef std::unique_ptr<FILE, FileCloser> FilePtr;

// Closes the handle and releases the resources on every way out of run_tool().
struct Session {
  HANDLE handle = nullptr;
  ~Session() {
    LXCloseSegHandle(handle);
    LXUnInitSeg();
  }
};

int fail(const char* what, int err) {
  std::fprintf(stderr, "LXWordSeg: %s: %s\n", what, std::strerror(err ? err : EIO));
  return 1;
}

// Appends the result of the last LXSegment() of `h` (one output line without
// its line feed) to `out`.
void append_result(HANDLE h, bool with_tags, std::string& out) {
  const int n = LXGetResultCnt(h);
  for (int i = 0; i < n; ++i) {
    if (with_tags) {
      pWP wp = LXGetAt(h, i);
      if (wp == nullptr || wp->word == nullptr) continue;
      if (i > 0) out += '\t';
      char tag[16];
      LXPosId2Str(wp->pos, tag, sizeof(tag));
      out.append(wp->word).append(1, '/').append(tag);
      if (wp->bcw && wp->cls != -1) {
        const char* cls = LXGetClsAt(h, wp->cls, 1);
        if (cls != nullptr) out += cls;
      }
      continue;
    }
    const char* word = LXGetWordAt(h, i);
    if (word == nullptr) continue;
    if (i > 0) out += ' ';
    const size_t at = out.size();
    out += word;
    // A blank word is written as it is; blanks inside a word become '|'.
    if (word[0] != ' ') std::replace(out.begin() + at, out.end(), ' ', '|');
  }
}

int run_tool(int argc, char** argv) {
  if (argc != 5) {
    std::fputs("Usage: LXWordSeg dictdir input output flag\n", stderr);
    return 2;
  }
  const char *dict_dir = argv[1], *in_name = argv[2], *out_name = argv[3];
  const bool with_tags = std::atoi(argv[4]) != 0;

  Session session;
  if (!LXInitSeg(dict_dir)) {
    std::fprintf(stderr, "LXWordSeg: cannot load the resources of %s\n", dict_dir);
    return 1;
  }
  session.handle = LXCreateSegHandle(kMode);
  if (session.handle == nullptr) return fail("cannot create a segmentation handle", ENOMEM);

  FilePtr in(std::fopen(in_name, "rb"));
  if (!in) return fail(in_name, errno);
  FilePtr out(std::fopen(out_name, "wb"));
  if (!out) return fail(out_name, errno);

  std::unique_ptr<char[]> line(new char[kLineBufferSize]);
  std::string result;
  clock_t total = 0;
  unsigned long failed = 0;
  while (std::fgets(line.get(), static_cast<int>(kLineBufferSize), in.get()) != nullptr) {
    const clock_t start = std::clock();
    size_t len = std::strlen(line.get());
    if (len > 0 && (line[len - 1] == '\r' || line[len - 1] == '\n')) {
      line[--len] = '\0';
      if (len > 0 && (line[len - 1] == '\r' || line[len - 1] == '\n')) line[--len] = '\0';
    }
    result.clear();
    if (len > 0) {
      if (LXSegment(session.handle, line.get(), 0, LX_GBK))
        append_result(session.handle, with_tags, result);
      else
        ++failed;  // the line is left empty
    }
    result += '\n';
    std::fwrite(result.data(), 1, result.size(), out.get());
    total += std::clock() - start;
  }
  if (std::ferror(in.get())) return fail(in_name, errno);
  if (std::ferror(out.get()) || std::fclose(out.release()) != 0) return fail(out_name, errno);

  std::fprintf(stderr, "Time used: %f s\n", static_cast<double>(total) / CLOCKS_PER_SEC);
  if (failed > 0) {
    std::fprintf(stderr, "LXWordSeg: %lu line(s) could not be segmented and were left empty\n",
                 failed);
    return 1;
  }
  return 0;
}

}  // namespace

int run(int argc, char** argv) {
  try {
    return run_tool(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "LXWordSeg: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "LXWordSeg: unknown exception\n");
  }
  return 1;
}

}  // namespace lxwordseg
