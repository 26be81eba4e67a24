#include "DevSegment.h"

#include <fstream>

#include "Corpus.h"
#include "LXSegFunc.h"
#include "seg/coarse_merge.h"

namespace lxtrain {

namespace {

// Releases the library on every way out.
struct Session {
  HANDLE handle = nullptr;
  bool initialised = false;
  ~Session() {
    if (handle != nullptr) LXCloseSegHandle(handle);
    if (initialised) LXUnInitSeg();
  }
};

SegLine SystemLine(HANDLE h, std::ostream* out) {
  SegLine line;
  line.tagged = true;
  const int n = LXGetResultCnt(h);
  char tag[16];
  for (int i = 0; i < n; ++i) {
    pWP wp = LXGetAt(h, i);
    if (wp == nullptr || wp->word == nullptr || wp->word[0] == '\0') continue;
    SegWord w;
    w.word = wp->word;
    w.begin = line.chars;
    line.chars += GbkCharCount(w.word);
    w.end = line.chars;
    w.pos = wp->pos;
    line.words.push_back(w);
    if (out != nullptr) {
      LXPosId2Str(wp->pos, tag, sizeof tag);
      *out << (i > 0 ? "\t" : "") << w.word << '/' << tag;
    }
  }
  if (out != nullptr) *out << '\n';
  return line;
}

}  // namespace

bool SegmentAndEvaluate(const std::string& gold_path, SegFormat gold_format,
                        const DevSegmentOptions& options, Evaluator& ev, std::string& error,
                        std::ostream* sys_out) {
  std::ifstream gold(gold_path, std::ios::binary);
  if (!gold) {
    error = "unable to open file: " + gold_path;
    return false;
  }
  Session s;
  if (!LXInitSeg(options.resources.c_str())) {
    error = "unable to load the resources in " + options.resources;
    return false;
  }
  s.initialised = true;
  s.handle = LXCreateSegHandle(options.flags);
  if (s.handle == nullptr) {
    error = "unable to create a segmentation handle";
    return false;
  }
  if (options.pku) LXSetPKUMode(s.handle);

  CCoarseData suffixes;
  CoarseGold coarse;
  if (options.coarse) {
    coarse.on = true;
    if (!suffixes.load((options.resources + "/coarse_info").c_str(), false)) {
      error = "unable to read the organisation suffixes of " + options.resources;
      return false;
    }
    coarse.suffixes = &suffixes;
  }
  std::string line, text;
  while (ReadTextLine(gold, line)) {
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    SegLine g = ParseSegLine(line, gold_format, &coarse);
    text.clear();
    for (const SegWord& w : g.words) text += w.word;
    LXSegment(s.handle, text.c_str(), static_cast<int>(text.size()), LX_GBK);
    ev.add(g, SystemLine(s.handle, sys_out));
  }
  return true;
}

}  // namespace lxtrain
