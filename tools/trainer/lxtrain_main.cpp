// lxtrain: builds a resource directory from the training corpus, or writes
// the development split.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "Corpus.h"
#include "CustomResources.h"
#include "Train.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: lxtrain [--all] [--surnames FILE] [--ts-chars FILE] [--ts-phrases FILE]\n"
               "               [--lexicon FILE [--lexicon-weight W] [--lexicon-crossings N]\n"
               "               [--lexicon-combination]] [--comb-ratio R]\n"
               "               [--names FILE [--name-list-weight W]] [--places FILE]...\n"
               "               [--custom DIR] [--hold-out-vocab FILE]\n"
               "               CORPUS OUTDIR\n"
               "       lxtrain --split [--hold-out-fraction F [--seed N]] CORPUS OUTDIR\n"
               "  The first form writes a resource directory trained on CORPUS without its\n"
               "  development paragraphs (all of it with --all).  The second writes\n"
               "  train.txt, dev.txt (gold), dev.raw.txt (text only) and vocab.txt (the\n"
               "  training words) into OUTDIR, with --hold-out-fraction also heldout.txt\n"
               "  (that share of the training word types, chosen by the seed) and\n"
               "  heldout-vocab.txt (the training words less those), which\n"
               "  --hold-out-vocab keeps the first form from learning as words.\n"
               "  The tuning options (--name-word-weight,\n"
               "  --trans-char-weight, --given-char-min-count, ...) are listed with their\n"
               "  defaults in docs/training.md.\n");
  return 2;
}

int Split(const std::string& corpus, const std::string& out, double hold_out, uint64_t seed) {
  std::ifstream in(corpus, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "lxtrain: unable to open file: %s\n", corpus.c_str());
    return 1;
  }
  std::error_code ec;
  std::filesystem::create_directories(out, ec);
  std::filesystem::path o(out);
  std::ofstream train(o / "train.txt", std::ios::binary), dev(o / "dev.txt", std::ios::binary),
      raw(o / "dev.raw.txt", std::ios::binary), vocab(o / "vocab.txt", std::ios::binary);
  if (!train || !dev || !raw || !vocab) {
    std::fprintf(stderr, "lxtrain: cannot write into %s\n", out.c_str());
    return 1;
  }
  lxtrain::CorpusReader reader(in);
  lxtrain::CorpusParagraph p;
  std::set<std::string> words;
  size_t ndev = 0, ntrain = 0;
  while (reader.next(p)) {
    if (p.malformed) continue;
    if (lxtrain::IsDevParagraph(p.id)) {
      ++ndev;
      dev << lxtrain::FormatParagraph(p) << "\r\n";
      raw << lxtrain::ParagraphText(p) << "\r\n";
    } else {
      ++ntrain;
      train << lxtrain::FormatParagraph(p) << "\r\n";
      for (const auto& t : p.tokens) words.insert(t.word);
    }
  }
  for (const std::string& w : words) vocab << w << '\n';
  if (hold_out > 0) {
    const std::set<std::string> held = lxtrain::ChooseHeldOut(words, hold_out, seed);
    std::ofstream hf(o / "heldout.txt", std::ios::binary),
        kept(o / "heldout-vocab.txt", std::ios::binary);
    for (const std::string& w : words) (held.count(w) ? hf : kept) << w << '\n';
    if (!hf || !kept) {
      std::fprintf(stderr, "lxtrain: cannot write into %s\n", out.c_str());
      return 1;
    }
    std::printf("held-out word types %zu\n", held.size());
  }
  std::fputs(reader.stats().report().c_str(), stdout);
  std::printf("training paragraphs %zu, development paragraphs %zu, training words %zu\n", ntrain,
              ndev, words.size());
  return (train && dev && raw && vocab) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  std::string surnames, ts_chars, ts_phrases, lexicon, names, custom, held_out;
  double hold_out_fraction = 0;
  uint64_t seed = 1;
  std::vector<std::string> places;
  bool split = false, all = false;
  lxtrain::TrainOptions opt;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--split") split = true;
    else if (a == "--all") all = true;
    else if ((a == "--surnames" || a == "--ts-chars" || a == "--ts-phrases" ||
              a == "--lexicon") &&
             i + 1 < argc) {
      std::string v = argv[++i];
      (a == "--surnames"    ? surnames
       : a == "--ts-chars"  ? ts_chars
       : a == "--lexicon"   ? lexicon
                            : ts_phrases) = v;
    } else if ((a == "--lexicon-weight" || a == "--lexicon-crossings" || a == "--comb-ratio") &&
               i + 1 < argc) {
      const char* v = argv[++i];
      if (a == "--lexicon-weight") opt.lexicon_weight = std::atof(v);
      else if (a == "--comb-ratio") opt.comb_ratio = std::atof(v);
      else opt.lexicon_max_crossings = static_cast<unsigned>(std::atoi(v));
    } else if (a == "--lexicon-freq-ref" && i + 1 < argc) {
      opt.lexicon_freq_ref = std::atof(argv[++i]);
    } else if (a == "--lexicon-freq-exponent" && i + 1 < argc) {
      opt.lexicon_freq_exponent = std::atof(argv[++i]);
    } else if (a == "--lexicon-rare-freq" && i + 1 < argc) {
      opt.lexicon_rare_freq = std::atof(argv[++i]);
    } else if (a == "--affix-min-types" && i + 1 < argc) {
      opt.affix_min_types = static_cast<uint32_t>(std::atoi(argv[++i]));
    } else if (a == "--affix-min-share" && i + 1 < argc) {
      opt.affix_min_share = std::atof(argv[++i]);
    } else if (a == "--hold-out-vocab" && i + 1 < argc) {
      held_out = argv[++i];
    } else if (a == "--hold-out-fraction" && i + 1 < argc) {
      hold_out_fraction = std::atof(argv[++i]);
      if (!(hold_out_fraction > 0 && hold_out_fraction < 1)) return Usage();
    } else if (a == "--seed" && i + 1 < argc) {
      seed = std::strtoull(argv[++i], nullptr, 10);
    } else if (a == "--custom" && i + 1 < argc) {
      custom = argv[++i];
    } else if (a == "--names" && i + 1 < argc) {
      names = argv[++i];
    } else if (a == "--places" && i + 1 < argc) {
      places.push_back(argv[++i]);
    } else if (a == "--name-pos-weight" && i + 1 < argc) {
      opt.name_pos_weight = std::atof(argv[++i]);
    } else if (a == "--trans-char-weight" && i + 1 < argc) {
      opt.trans_char_weight = std::atof(argv[++i]);
    } else if (a == "--common-surname-count" && i + 1 < argc) {
      opt.common_surname_count = std::atof(argv[++i]);
    } else if (a == "--organisation-words") {
      opt.organisation_words = true;
    } else if (a == "--new-places-apart") {
      opt.new_places_apart = true;
    } else if (a == "--no-listed-names") {
      opt.listed_trans_names = false;
    } else if (a == "--listed-trans-char-count" && i + 1 < argc) {
      opt.listed_trans_char_count = static_cast<uint64_t>(std::atoll(argv[++i]));
    } else if (a == "--listed-names-apart") {
      opt.listed_non_names = false;
    } else if (a == "--listed-places-as-listed") {
      opt.listed_trans_places = false;
    } else if (a == "--familiar-names" && i + 1 < argc) {
      opt.familiar_name_surnames = static_cast<size_t>(std::atoi(argv[++i]));
    } else if (a == "--names-tagged-nr") {
      opt.surname_given_tags = false;
    } else if (a == "--listed-tag-min-share" && i + 1 < argc) {
      opt.listed_tag_min_share = std::atof(argv[++i]);
    } else if (a == "--factoid-tag-n") {
      opt.factoid_tag_n = true;
    } else if (a == "--given-char-min-count" && i + 1 < argc) {
      opt.given_char_min_count = std::strtoull(argv[++i], nullptr, 10);
      opt.given_name_chars = opt.given_char_min_count > 0;
    } else if (a == "--name-word-prior" && i + 1 < argc) {
      opt.name_word_prior = std::atof(argv[++i]);
    } else if (a == "--name-word-weight" && i + 1 < argc) {
      opt.name_word_weight = std::atof(argv[++i]);
    } else if (a == "--name-list-weight" && i + 1 < argc) {
      opt.name_list_weight = std::atof(argv[++i]);
    } else if (a == "--keep-full-width") {
      opt.normalise_full_width = false;
    } else if (a == "--rule-ratio" && i + 1 < argc) {
      opt.rule_ratio = std::atof(argv[++i]);
    } else if (a == "--rule-min-count" && i + 1 < argc) {
      opt.rule_min_count = static_cast<unsigned>(std::atoi(argv[++i]));
    } else if (a == "--lexicon-keep-compounds") {
      opt.lexicon_skip_compounds = false;
    } else if (a == "--single-given-names") {
      opt.single_given_apart = false;
    } else if (a == "--lexicon-combination") {
      opt.lexicon_combination = true;
    } else if (!a.empty() && a[0] == '-') {
      return Usage();
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) return Usage();
  if (split) return Split(files[0], files[1], hold_out_fraction, seed);
  if (!held_out.empty()) {
    std::ifstream f(held_out, std::ios::binary);
    if (!f) {
      std::fprintf(stderr, "lxtrain: unable to open file: %s\n", held_out.c_str());
      return 1;
    }
    std::string line;
    while (lxtrain::ReadTextLine(f, line))
      if (!line.empty()) opt.held_out.insert(line);
  }

  auto t0 = std::chrono::steady_clock::now();
  opt.skip_dev = !all;
  lxtrain::Trainer trainer(opt);
  struct Input {
    const std::string* path;
    void (lxtrain::Trainer::*add)(std::istream&);
  } inputs[] = {{&surnames, &lxtrain::Trainer::add_surnames},
                {&files[0], &lxtrain::Trainer::add_corpus},
                {&lexicon, &lxtrain::Trainer::add_lexicon},
                {&names, &lxtrain::Trainer::add_given_names},
                {&ts_chars, &lxtrain::Trainer::add_t2s_characters},
                {&ts_phrases, &lxtrain::Trainer::add_t2s_phrases}};
  for (const Input& in : inputs) {
    if (in.path->empty()) continue;
    std::ifstream f(*in.path, std::ios::binary);
    if (!f) {
      std::fprintf(stderr, "lxtrain: unable to open file: %s\n", in.path->c_str());
      return 1;
    }
    (trainer.*in.add)(f);
  }
  for (const std::string& p : places) {
    std::ifstream f(p, std::ios::binary);
    if (!f) {
      std::fprintf(stderr, "lxtrain: unable to open file: %s\n", p.c_str());
      return 1;
    }
    trainer.add_places(f);
  }
  std::string error;
  if (!trainer.write(files[1], &error)) {
    std::fprintf(stderr, "lxtrain: %s\n", error.c_str());
    return 1;
  }
  // The custom dictionaries replace the trainer's empty ones.
  if (!custom.empty() && !write_custom_resources(custom, files[1], error)) {
    std::fprintf(stderr, "lxtrain: %s\n", error.c_str());
    return 1;
  }
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::fputs(trainer.corpus_stats().report().c_str(), stdout);
  std::fputs(trainer.summary().report().c_str(), stdout);
  std::printf("training time %.1f s\n", secs);
  return 0;
}
