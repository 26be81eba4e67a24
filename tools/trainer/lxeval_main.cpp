// lxeval: word segmentation scores of a system output against a gold file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "DevSegment.h"
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
               "usage: lxeval [--vocab FILE] [--held-out FILE] [--gold-format F]\n"
               "              [--sys-format F] GOLD SYSTEM\n"
               "       lxeval [--vocab FILE] [--held-out FILE] [--gold-format F]\n"
               "              --resources DIR [--flags N]\n"
               "              [--pku] [--coarse] [--output FILE] GOLD\n"
               "  F: auto (default), corpus, words, tagged; files are GBK, one line per\n"
               "  sentence or paragraph; FILE holds one word per line (the training\n"
               "  words; the held-out words, scored apart).  The\n"
               "  second form segments the gold text with the library (mode flags N,\n"
               "  PKU mode with --pku) and can write its output as tagged records.\n"
               "  --coarse scores against the coarse reference of a corpus-format GOLD\n"
               "  (names, numerals with measure words, dates and organisations joined as\n"
               "  LX_COARSE joins them; organisation suffixes from the resources).\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  lxtrain::SegFormat gf = lxtrain::SegFormat::kAuto, sf = lxtrain::SegFormat::kAuto;
  std::string vocab, output, held_out;
  std::vector<std::string> files;
  lxtrain::DevSegmentOptions seg;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if ((a == "--vocab" || a == "--gold-format" || a == "--sys-format" || a == "--resources" ||
         a == "--flags" || a == "--output" || a == "--held-out") &&
        i + 1 < argc) {
      const char* v = argv[++i];
      if (a == "--vocab") vocab = v;
      else if (a == "--held-out") held_out = v;
      else if (a == "--resources") seg.resources = v;
      else if (a == "--flags") seg.flags = static_cast<int>(std::strtol(v, nullptr, 0));
      else if (a == "--output") output = v;
      else if (!ParseFormat(v, a == "--gold-format" ? gf : sf)) return Usage();
    } else if (a == "--pku") {
      seg.pku = true;
    } else if (a == "--coarse") {
      seg.coarse = true;
    } else if (!a.empty() && a[0] == '-') {
      return Usage();
    } else {
      files.push_back(a);
    }
  }
  const bool segment = !seg.resources.empty();
  if (files.size() != (segment ? 1u : 2u)) return Usage();
  lxtrain::Evaluator ev;
  if (!vocab.empty() && !ev.load_vocab(vocab)) {
    std::fprintf(stderr, "lxeval: unable to open file: %s\n", vocab.c_str());
    return 1;
  }
  if (!held_out.empty() && !ev.load_held_out(held_out)) {
    std::fprintf(stderr, "lxeval: unable to open file: %s\n", held_out.c_str());
    return 1;
  }
  std::string error;
  lxtrain::CoarseGold coarse;  // without resources: no suffix rule
  coarse.on = seg.coarse;
  std::unique_ptr<std::ofstream> out;
  if (!output.empty()) {
    out.reset(new std::ofstream(output, std::ios::binary));
    if (!*out) {
      std::fprintf(stderr, "lxeval: unable to open file: %s\n", output.c_str());
      return 1;
    }
  }
  const bool ok = segment ? lxtrain::SegmentAndEvaluate(files[0], gf, seg, ev, error, out.get())
                          : lxtrain::EvaluateFiles(files[0], gf, files[1], sf, ev, error, &coarse);
  if (!ok) {
    std::fprintf(stderr, "lxeval: %s\n", error.c_str());
    return 1;
  }
  std::fputs(ev.result().report().c_str(), stdout);
  return 0;
}
