// lxtrain: builds a resource directory from the training corpus, or writes
// the development split.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "Corpus.h"
#include "CustomResources.h"
#include "Train.h"

namespace {

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

// The command line: inputs, the split, and the trainer's tuning options with
// their defaults (`lxtrain --help` lists them).
struct CommandLine {
  std::string corpus, out;
  std::string surnames, ts_chars, ts_phrases, lexicon, names, custom, held_out;
  std::vector<std::string> places;
  double hold_out_fraction = 0;
  uint64_t seed = 1;
  bool split = false, all = false;
  lxtrain::TrainOptions opt;
};

// Returns -1 when training or the split should go on, else the exit status.
int ParseCommandLine(int argc, char** argv, CommandLine& cl) {
  CLI::App app{
      "Writes a resource directory trained on CORPUS without its development paragraphs\n"
      "(all of it with --all), or with --split the development split into OUTDIR:\n"
      "train.txt, dev.txt (gold), dev.raw.txt (text only) and vocab.txt (the training\n"
      "words), with --hold-out-fraction also heldout.txt (that share of the training word\n"
      "types, chosen by the seed) and heldout-vocab.txt (the training words less those),\n"
      "which --hold-out-vocab keeps the first form from learning as words.\n"
      "docs/training.md explains the tuning options."};
  app.name("lxtrain");
  app.option_defaults()->always_capture_default();
  lxtrain::TrainOptions& o = cl.opt;
  app.add_option("CORPUS", cl.corpus, "Training corpus (GBK, word/tag tokens)")->required();
  app.add_option("OUTDIR", cl.out, "Resource directory (or split directory) to write")
      ->required();
  app.add_flag("--split", cl.split, "Write the development split instead of resources");
  app.add_option("--hold-out-fraction", cl.hold_out_fraction,
                 "With --split: share of the training word types to hold out")
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--seed", cl.seed, "With --split: seed of the held-out choice");
  app.add_flag("--all", cl.all, "Also train on the development paragraphs");

  app.add_option("--surnames", cl.surnames, "Surname list (surname<TAB>count)");
  app.add_option("--ts-chars", cl.ts_chars, "Traditional-to-simplified characters");
  app.add_option("--ts-phrases", cl.ts_phrases, "Traditional-to-simplified phrases");
  app.add_option("--lexicon", cl.lexicon, "General word list (word freq tag)");
  app.add_option("--names", cl.names, "Full-name list (name,sex)");
  app.add_option("--places", cl.places, "Place list (repeatable)")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_option("--custom", cl.custom, "CustomWord tree of the custom dictionaries");
  app.add_option("--hold-out-vocab", cl.held_out, "Words not to learn (one per line)");

  app.add_option("--lexicon-weight", o.lexicon_weight, "Pseudo-count of a listed word");
  app.add_option("--lexicon-crossings", o.lexicon_max_crossings,
                 "Most times the text may show a listed word across a word boundary");
  app.add_option("--lexicon-freq-ref", o.lexicon_freq_ref, "List frequency of full weight");
  app.add_option("--lexicon-freq-exponent", o.lexicon_freq_exponent,
                 "Exponent of the list frequency in the pseudo-count (0: flat)");
  app.add_option("--lexicon-rare-freq", o.lexicon_rare_freq,
                 "Listed words below this list frequency are combination words");
  app.add_flag("!--lexicon-keep-compounds", o.lexicon_skip_compounds,
               "Keep listed words that are compounds of training words");
  app.add_flag("--lexicon-combination", o.lexicon_combination,
               "Listed words are combination words");
  app.add_option("--listed-tag-min-share", o.listed_tag_min_share,
                 "Share of a list tag's words a text tag needs to stand for it");
  app.add_option("--comb-ratio", o.comb_ratio,
                 "A word the text writes apart this often is a combination word");
  app.add_option("--rule-ratio", o.rule_ratio, "Share of cuts an ambiguity rule needs");
  app.add_option("--rule-min-count", o.rule_min_count, "Cuts an ambiguity rule needs");
  app.add_option("--affix-min-types", o.affix_min_types, "Words an affix needs");
  app.add_option("--affix-min-share", o.affix_min_share, "Share of whole words an affix needs");

  app.add_option("--name-list-weight", o.name_list_weight,
                 "Weight of the name list in the given-name roles");
  app.add_option("--name-pos-weight", o.name_pos_weight,
                 "Weight of the name list in the nr score of given-name characters");
  app.add_option("--name-word-weight", o.name_word_weight,
                 "Weight of the name list in the whole-given-name score of words");
  app.add_option("--name-word-prior", o.name_word_prior,
                 "Text count at which that weight halves");
  app.add_option("--trans-char-weight", o.trans_char_weight,
                 "Weight of the characters of whole names in the single-character scores");
  app.add_option("--common-surname-count", o.common_surname_count,
                 "Surname frequency that makes a listed name Chinese");
  app.add_option("--familiar-names", o.familiar_name_surnames,
                 "老/小 + this many common surnames are words (0: none)");
  app.add_option("--familiar-suffix-count", o.familiar_suffix_min_count,
                 "Whole names that make a character a familiar suffix of surnames (0: none)");
  app.add_option("--listed-trans-char-count", o.listed_trans_char_count,
                 "Evidence a listed name needs to be taken for a transliteration");
  app.add_option_function<uint64_t>(
         "--given-char-min-count",
         [&o](const uint64_t& n) {
           o.given_char_min_count = n;
           o.given_name_chars = n > 0;
         },
         "Given-name characters of the name list seen this often are words (0: none)")
      ->default_str(std::to_string(o.given_char_min_count));
  app.add_flag("!--no-listed-names", o.listed_trans_names,
               "Transliterated names of the word list are no dictionary words");
  app.add_flag("!--no-listed-surname-words", o.listed_surname_words,
               "Two-character listed names led by a common surname are left out");
  app.add_flag("!--listed-names-apart", o.listed_non_names,
               "Listed names of no name's shape stay names");
  app.add_flag("!--listed-places-as-listed", o.listed_trans_places,
               "Listed places spelt like transliterations are not tagged nr");
  app.add_flag("!--names-tagged-nr", o.surname_given_tags,
               "Tag surnames and given names nr instead of nrf/nrg");
  app.add_flag("!--single-given-names", o.single_given_apart,
               "One-character given names join their surname in one name item");
  app.add_flag("--organisation-words", o.organisation_words,
               "Bracketed organisation names become words");
  app.add_flag("--new-places-apart", o.new_places_apart,
               "Places seen once that the lists lack are no words");
  app.add_flag("--factoid-tag-n", o.factoid_tag_n, "Train factoid transitions as n");
  app.add_flag("!--keep-full-width", o.normalise_full_width,
               "Train on the text as written (no half-width normalisation)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? 0 : 2;
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine cl;
  if (const int status = ParseCommandLine(argc, argv, cl); status >= 0) return status;
  lxtrain::TrainOptions& opt = cl.opt;
  const std::string &surnames = cl.surnames, &ts_chars = cl.ts_chars,
                    &ts_phrases = cl.ts_phrases, &lexicon = cl.lexicon, &names = cl.names,
                    &custom = cl.custom, &held_out = cl.held_out;
  const std::vector<std::string> files{cl.corpus, cl.out};
  if (cl.split) return Split(files[0], files[1], cl.hold_out_fraction, cl.seed);
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
  opt.skip_dev = !cl.all;
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
  for (const std::string& p : cl.places) {
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
