// lxeval: word segmentation scores of a system output against a gold file.
#include <cstdio>
#include <cstring>
#include <string>

#include "Eval.h"

namespace {

bool ParseFormat(const char* s, lxtrain::SegFormat& f) {
  if (!std::strcmp(s, "auto")) f = lxtrain::SegFormat::kAuto;
  else if (!std::strcmp(s, "corpus")) f = lxtrain::SegFormat::kCorpus;
  else if (!std::strcmp(s, "words")) f = lxtrain::SegFormat::kWords;
  else if (!std::strcmp(s, "tagged")) f = lxtrain::SegFormat::kTagged;
  else return false;
  return true;
}

int Usage() {
  std::fprintf(stderr,
               "usage: lxeval [--vocab FILE] [--gold-format F] [--sys-format F] GOLD SYSTEM\n"
               "  F: auto (default), corpus, words, tagged; files are GBK, one line per\n"
               "  sentence or paragraph; FILE holds one training word per line\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  lxtrain::SegFormat gf = lxtrain::SegFormat::kAuto, sf = lxtrain::SegFormat::kAuto;
  std::string vocab;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if ((a == "--vocab" || a == "--gold-format" || a == "--sys-format") && i + 1 < argc) {
      const char* v = argv[++i];
      if (a == "--vocab") vocab = v;
      else if (!ParseFormat(v, a == "--gold-format" ? gf : sf)) return Usage();
    } else if (!a.empty() && a[0] == '-') {
      return Usage();
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) return Usage();
  lxtrain::Evaluator ev;
  if (!vocab.empty() && !ev.load_vocab(vocab)) {
    std::fprintf(stderr, "lxeval: unable to open file: %s\n", vocab.c_str());
    return 1;
  }
  std::string error;
  if (!lxtrain::EvaluateFiles(files[0], gf, files[1], sf, ev, error)) {
    std::fprintf(stderr, "lxeval: %s\n", error.c_str());
    return 1;
  }
  std::fputs(ev.result().report().c_str(), stdout);
  return 0;
}
