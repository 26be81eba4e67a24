// lx_throughput: end-to-end throughput of the exported functions, the driver
// of scripts/bench.sh.  The text is fed line by line (one LXSegment per line)
// and every word is read back with LXGetWordAt, as a user does.
//
//   lx_throughput run RESDIR UTF8-TEXT GBK-TEXT USERDICT [RUNS [CONFIG]]
//     times every configuration (mode x charset x threads), best of RUNS
//     (default 3), or only those of the mode named CONFIG.  USERDICT is a
//     CustomWord directory for the LX_USR rows.
//   lx_throughput segment RESDIR UTF8-TEXT
//     prints each line's words in mode 0, separated by blanks.
//   lx_throughput once RESDIR TEXT MODE [gbk] [pku]
//     one untimed pass in MODE (a number, 0x714 style accepted), for
//     profilers such as callgrind; prints the word count.
//
// `run` prints tab-separated key=value lines:
//   startup  seconds=<LXInitSeg>  rss_kb=<VmRSS after it>
//   result   config=<name> charset=<utf8|gbk> threads=<n> bytes=<per pass>
//            chars=<per pass> seconds=<best wall time> words=<per pass>
//            failed=<lines LXSegment refused>
// With n threads each thread segments the whole text on its own handle, so
// the work of a row is n * bytes.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "LXSegFunc.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Text {
  std::vector<std::string> lines;
  size_t bytes = 0;
  size_t chars = 0;
};

// Non-empty lines without their line ends; characters counted as code points
// (UTF-8) or as one per single byte or double-byte pair (GBK).
bool read_text(const char* path, bool gbk, Text& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    text.bytes += line.size();
    for (size_t i = 0; i < line.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(line[i]);
      if (gbk) {
        if (c >= 0x81) ++i;
        ++text.chars;
      } else if ((c & 0xC0) != 0x80) {
        ++text.chars;
      }
    }
    text.lines.push_back(std::move(line));
  }
  return true;
}

long rss_kb() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char buf[256];
  long kb = -1;
  while (std::fgets(buf, sizeof buf, f)) {
    if (std::strncmp(buf, "VmRSS:", 6) == 0) kb = std::atol(buf + 6);
  }
  std::fclose(f);
  return kb;
}

struct PassResult {
  size_t words = 0;
  size_t word_bytes = 0;
  size_t failed = 0;
};

PassResult segment_all(HANDLE h, const Text& text, size_t charset) {
  PassResult r;
  for (const std::string& line : text.lines) {
    if (!LXSegment(h, line.data(), line.size(), charset)) {
      ++r.failed;
      continue;
    }
    const int n = LXGetResultCnt(h);
    for (int i = 0; i < n; ++i) {
      const char* w = LXGetWordAt(h, i);
      if (w) r.word_bytes += std::strlen(w);
    }
    r.words += static_cast<size_t>(n);
  }
  return r;
}

// One timed pass: every handle segments the whole text on its own thread,
// all starting together.  Returns the wall time from start to the last end.
double timed_pass(const std::vector<HANDLE>& handles, const Text& text, size_t charset,
                  PassResult& first) {
  std::vector<PassResult> results(handles.size());
  std::mutex m;
  std::condition_variable cv;
  bool go = false;
  size_t ready = 0;
  std::vector<std::thread> threads;
  for (size_t t = 0; t < handles.size(); ++t) {
    threads.emplace_back([&, t] {
      {
        std::unique_lock<std::mutex> lock(m);
        ++ready;
        cv.notify_all();
        cv.wait(lock, [&] { return go; });
      }
      results[t] = segment_all(handles[t], text, charset);
    });
  }
  Clock::time_point start;
  {
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return ready == handles.size(); });
    go = true;
    start = Clock::now();
  }
  cv.notify_all();
  for (std::thread& th : threads) th.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  first = results[0];
  return seconds;
}

struct Config {
  const char* name;
  int mode;
  bool pku;  // LXSetPKUMode: shared until LXUnInitSeg, so these rows run last
};

int run(const char* resdir, const char* utf8_path, const char* gbk_path, const char* userdict,
        int runs, const char* only) {
  Text utf8, gbk;
  if (!read_text(utf8_path, false, utf8) || !read_text(gbk_path, true, gbk)) {
    std::fprintf(stderr, "lx_throughput: cannot read %s or %s\n", utf8_path, gbk_path);
    return 1;
  }
  const Clock::time_point t0 = Clock::now();
  const bool ok = LXInitSeg(resdir);
  const double init = std::chrono::duration<double>(Clock::now() - t0).count();
  if (!ok) {
    std::fprintf(stderr, "lx_throughput: LXInitSeg(%s) failed\n", resdir);
    return 1;
  }
  std::printf("startup\tseconds=%.4f\trss_kb=%ld\n", init, rss_kb());
  std::fflush(stdout);

  const int recommended = LX_POS | LX_PGU | LX_S2D | LX_CN | LX_T2S;
  const Config configs[] = {
      {"plain", 0, false},
      {"names", LX_CN | LX_LN, false},
      {"recommended", recommended, true},
      // lxseg's default mode: the words as the text has them.
      {"recommended+orig", recommended | LX_ORIG, true},
      {"recommended+usr", recommended | LX_USR, true},
  };
  for (const Config& c : configs) {
    if (only && std::strcmp(only, c.name) != 0) continue;
    if (c.mode & LX_USR) LXChangeUserDict(userdict);
    for (int charset : {LX_UTF8, LX_GBK}) {
      const Text& text = charset == LX_GBK ? gbk : utf8;
      for (size_t nthreads : {1, 2}) {
        std::vector<HANDLE> handles;
        for (size_t t = 0; t < nthreads; ++t) handles.push_back(LXCreateSegHandle(c.mode));
        if (c.pku) LXSetPKUMode(handles[0]);
        double best = 0;
        PassResult first;
        for (int r = 0; r < runs; ++r) {
          const double s = timed_pass(handles, text, charset, first);
          if (r == 0 || s < best) best = s;
        }
        for (HANDLE h : handles) LXCloseSegHandle(h);
        std::printf("result\tconfig=%s\tcharset=%s\tthreads=%zu\tbytes=%zu\tchars=%zu\t"
                    "seconds=%.4f\twords=%zu\tfailed=%zu\n",
                    c.name, charset == LX_GBK ? "gbk" : "utf8", nthreads, text.bytes,
                    text.chars, best, first.words, first.failed);
        std::fflush(stdout);
      }
    }
  }
  LXUnInitSeg();
  return 0;
}

int segment(const char* resdir, const char* utf8_path) {
  Text text;
  if (!read_text(utf8_path, false, text) || !LXInitSeg(resdir)) return 1;
  HANDLE h = LXCreateSegHandle(0);
  std::string out;
  for (const std::string& line : text.lines) {
    out.clear();
    if (LXSegment(h, line.data(), line.size(), LX_UTF8)) {
      const int n = LXGetResultCnt(h);
      for (int i = 0; i < n; ++i) {
        if (const char* w = LXGetWordAt(h, i)) {
          if (!out.empty()) out += ' ';
          out += w;
        }
      }
    }
    out += '\n';
    std::fwrite(out.data(), 1, out.size(), stdout);
  }
  LXCloseSegHandle(h);
  LXUnInitSeg();
  return 0;
}

int once(int argc, char** argv) {
  bool gbk = false, pku = false;
  for (int i = 5; i < argc; ++i) {
    gbk = gbk || std::strcmp(argv[i], "gbk") == 0;
    pku = pku || std::strcmp(argv[i], "pku") == 0;
  }
  Text text;
  if (!read_text(argv[3], gbk, text) || !LXInitSeg(argv[2])) return 1;
  HANDLE h = LXCreateSegHandle(static_cast<int>(std::strtol(argv[4], nullptr, 0)));
  if (pku) LXSetPKUMode(h);
  const PassResult r = segment_all(h, text, gbk ? LX_GBK : LX_UTF8);
  std::printf("words=%zu\tword_bytes=%zu\tfailed=%zu\n", r.words, r.word_bytes, r.failed);
  LXCloseSegHandle(h);
  LXUnInitSeg();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 6 && std::strcmp(argv[1], "run") == 0) {
    const int runs = argc > 6 ? std::atoi(argv[6]) : 3;
    return run(argv[2], argv[3], argv[4], argv[5], runs > 0 ? runs : 3,
               argc > 7 ? argv[7] : nullptr);
  }
  if (argc == 4 && std::strcmp(argv[1], "segment") == 0) return segment(argv[2], argv[3]);
  if (argc >= 5 && std::strcmp(argv[1], "once") == 0) return once(argc, argv);
  std::fprintf(stderr,
               "usage: lx_throughput run RESDIR UTF8-TEXT GBK-TEXT USERDICT [RUNS [CONFIG]]\n"
               "       lx_throughput segment RESDIR UTF8-TEXT\n"
               "       lx_throughput once RESDIR TEXT MODE [gbk] [pku]\n");
  return 2;
}
