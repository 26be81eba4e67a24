// Resource training: turns the training part of the corpus into a resource
// directory that LXInitSeg loads (see docs/training.md for the contracts:
// word ids, score meanings, smoothing).
//
//   lxtrain::Trainer t;
//   t.add_corpus(stream);             // corpus format, dev paragraphs skipped
//   t.set_surnames(...);              // optional inputs
//   t.write("out", &error);
//
// Everything the trainer writes is a function of its inputs only: containers
// are ordered, numbers are printed with fixed formats, so two runs give
// identical bytes.
#ifndef LX_TRAINER_TRAIN_H
#define LX_TRAINER_TRAIN_H

#include <cstdint>
#include <istream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "Corpus.h"
#include "RoleTrain.h"
#include "dict/BasicDictWriter.h"

class CFactoid;

namespace lxtrain {

// Model ids of the items that are not dictionary words (a dictionary word's
// id is its index in "Core.Lex").
const uint32_t kIdChar = 10000000u;    // single character outside the dictionary, other factoid
const uint32_t kIdStart = 10000001u;   // sentence-start context
const uint32_t kIdEnd = 10000002u;     // sentence end (named-entity model)
const uint32_t kIdNumber = 10000003u;  // number factoid
const uint32_t kIdAlnum = 10000004u;   // alphanumeric string, web or e-mail address
const uint32_t kIdPerson = 10000005u;  // person name (named-entity model)

// A piece of a training sentence as the lattice holds it: a dictionary word
// (by text) or a class id.
struct TrainPiece {
  std::string word;  // empty for a class piece
  uint32_t cls = 0;
  int pos = 0;       // POS id of the corpus token the piece comes from
};

// True when a corpus word reaches the lattice through the factoid recognizer
// rather than the dictionary: its first character is an ASCII or full-width
// digit or letter.  Such words are not dictionary words.
bool IsFactoidLed(const std::string& word);

// `word` with full-width ASCII made half-width as LX_S2D does it (the yen
// sign and the macron stay full-width).
std::string HalfWidth(const std::string& word);

// True when every character of `word` is a separator of the sentence
// splitter (the corpus has no word that mixes separators and other text).
bool IsSeparatorToken(const std::string& word);

// The form in which a corpus word is held out: half-width, ASCII lower-cased.
std::string HeldOutKey(const std::string& word);

// A seeded, reproducible choice of `fraction` of the training text's word
// types that can be held out (two or more characters, not led by a digit or
// letter, no separators), chosen by a hash of seed and word, so that the
// choice depends on nothing but the seed and the types.
std::set<std::string> ChooseHeldOut(const std::set<std::string>& types, double fraction,
                                    uint64_t seed);

struct TrainOptions {
  bool skip_dev = true;  // leave the development paragraphs out
  // Train on the text as LX_S2D shows it (full-width ASCII inside sentences
  // made half-width); false trains on the text as written.
  bool normalise_full_width = true;
  // Names with a one-character given name stay two words (surname and
  // given name, both nr) instead of becoming one name item.
  bool single_given_apart = true;
  // Pseudo-count of a word that only the general word list knows, and how
  // many times the training text may show it across a word boundary.
  double lexicon_weight = 0.3;
  // A listed word the text lacks takes the text's tags of the list's tag:
  // each tag that is the commonest tag of at least this share of the text's
  // words with that list tag (0: the list's tag alone, mapped).
  double listed_tag_min_share = 0.25;
  unsigned lexicon_max_crossings = 16;
  // The pseudo-count follows the list's own frequency f of the word:
  // lexicon_weight * (f / lexicon_freq_ref) ^ lexicon_freq_exponent (0: flat).
  double lexicon_freq_ref = 300;
  double lexicon_freq_exponent = 1;
  // Listed words of a lower list frequency are combination words: the word
  // model decides between them and their parts (0: none).
  double lexicon_rare_freq = 4;
  // Leave out listed words that are compounds of training words.
  bool lexicon_skip_compounds = true;
  // An ambiguity rule cuts a path word the text writes apart in at least
  // rule_min_count occurrences and this share of all of them.
  unsigned rule_min_count = 2;
  double rule_ratio = 0.7;
  // Listed words are combination words (the word model decides them).
  bool lexicon_combination = false;
  // A training word becomes a combination word when the text writes it as
  // several words at least this fraction of the time.
  double comb_ratio = 0.1;
  // Weight of the name list against the training text in the role lists
  // of given-name characters.
  double name_list_weight = 0.8;
  // Weight of the name list in the nr score of given-name characters.
  double name_pos_weight = 0.1;
  // Weight of the name list in the Z score (whole given name) of
  // two-character dictionary words that the list shows as given names.
  double name_word_weight = 0.8;
  // The name list's weight above shrinks as prior / (prior + n) for a word
  // that the text shows n times.
  double name_word_prior = 20;
  // Train the POS transitions of factoid words as n instead of with the
  // text's tag (the tagger tags a factoid with its own tag).
  bool factoid_tag_n = false;
  // Tag the text's surnames nrf and given names nrg (the text: nr).
  bool surname_given_tags = true;
  // 老 and 小 before this many of the most frequent one-character
  // surnames are dictionary words tagged nr (0: none).
  size_t familiar_name_surnames = 150;
  // A character that the text writes after at least two of those surnames
  // as one nr word (许老, 关公, 胡氏), this many times in all, and never as a
  // one-character given name nor more often inside longer names, makes
  // familiar names after each of those surnames as well (0: none).
  uint64_t familiar_suffix_min_count = 3;
  // Listed places spelt like transliterated names may be tagged nr too.
  bool listed_trans_places = true;
  // Transliterated person names of the word list are dictionary words.
  bool listed_trans_names = true;
  // A listed name that is neither transliterated nor led by a common
  // surname (别提, 雨露) is an ordinary dictionary word (n) instead.
  bool listed_non_names = true;
  // Two-character listed names led by a common surname are ordinary words
  // too (the list's name tag on them is mostly wrong).
  bool listed_surname_words = true;
  // A listed name not marked transliterated is taken for one only when its
  // first, inner and last characters begin, continue and end the text's
  // transliterated names at least this often each (0: any place will do).
  uint64_t listed_trans_char_count = 2;
  // Given-name characters of the name list (seen at least the count) that
  // the text lacks are dictionary words tagged nrg.
  bool given_name_chars = true;
  // Places the text shows once and the lists lack are no dictionary words
  // (the place roles are then learnt from them; --new-places-apart).
  bool new_places_apart = false;
  // A one-character affix joins a word into a new word (Affix.Lex) when
  // the text's words seen once show it at least affix_min_types times and
  // in at least affix_min_share of the cases (the rest: two words).
  uint32_t affix_min_types = 3;
  double affix_min_share = 0.8;
  // Bracketed organisation names seen this often become words whose
  // sub-words are their inner words (for LX_SGU).
  bool organisation_words = false;
  uint64_t organisation_min_count = 2;
  // A word that ends at least this many bracketed organisation names is an
  // organisation suffix of coarse mode.
  uint64_t org_suffix_min_count = 3;
  // A word that follows a numeral at least this often, and as a measure
  // word (q) at least this share of the time, is a measure word of coarse
  // mode whatever the tagger says.
  uint64_t measure_min_count = 5;
  double measure_min_share = 0.9;
  uint64_t given_char_min_count = 20;
  // A listed name (not marked transliterated) that begins with a surname of
  // at least this frequency in the surname list is taken for a Chinese name.
  double common_surname_count = 10;
  // Weight of the characters of the names written whole in the H, I and T
  // scores of single characters.
  double trans_char_weight = 0.5;
  // Word types the trainer must not learn as words (compared as HeldOutKey
  // gives them): the text keeps them, but as their characters, as new text shows
  // an unknown word; neither the dictionary nor the models know them, while
  // the general word list still adds those it lists.
  std::set<std::string> held_out;
};

struct TrainSummary {
  size_t paragraphs_used = 0;
  size_t paragraphs_dev = 0;
  size_t paragraphs_malformed = 0;
  size_t sentences = 0;
  size_t tokens = 0;
  size_t dict_words = 0;
  size_t bigrams = 0;
  double discount = 0;
  size_t person_names = 0;       // gold person names of the training text
  size_t person_names_roled = 0; // of which the library's path gave roles
  size_t role_sentences_skipped = 0;
  size_t lexicon_words = 0;           // words added from the general word list
  size_t lexicon_rejected = 0;        // candidates the training text contradicts
  size_t organisation_words = 0;      // bracketed names with sub-word records
  size_t places_roled = 0;            // places the path cuts, with place roles
  size_t places_apart = 0;            // places seen once left out of the dictionary
  size_t listed_names = 0;            // transliterated names from the word list
  size_t name_parts = 0;              // parts of names joined by separators
  size_t given_name_chars = 0;        // name-list characters added as words
  size_t familiar_names = 0;          // 老 / 小 + surname words added
  size_t listed_trans_places = 0;     // listed places that may be names
  size_t combination_words = 0;       // training words of type 90
  size_t affixes = 0;                 // entries of "Affix.Lex"
  size_t ambiguity_rules = 0;         // rules of "UserAmbRule"
  size_t held_out_tokens = 0;         // text tokens of held-out types
  size_t held_out_listed = 0;         // held-out types the word lists add
  std::string report() const;
};

class Trainer {
 public:
  explicit Trainer(TrainOptions options = TrainOptions());
  ~Trainer();

  // Reads a corpus stream; the reader's defect counts are merged into
  // corpus_stats().
  void add_corpus(std::istream& in);
  void add_paragraph(const CorpusParagraph& para);

  // Surname list "surname<TAB>count" (UTF-8).
  void add_surnames(std::istream& in);
  // A general word list "word freq tag" (UTF-8; the python3-jieba
  // dictionary), for words the training text lacks (see docs/training.md).
  void add_lexicon(std::istream& in);

  // Full names "name,sex" (UTF-8): evidence for the characters of given
  // names (first and second of two, or the only one).
  void add_given_names(std::istream& in);
  // Administrative divisions, CSV with the name in the second field (UTF-8):
  // place names for the dictionary, with and without their suffix.
  void add_places(std::istream& in);

  // OpenCC text dumps "traditional<TAB>simplified [alternatives]" (UTF-8).
  void add_t2s_characters(std::istream& in);
  void add_t2s_phrases(std::istream& in);

  // The pieces of a corpus token (exposed for the tests).
  std::vector<TrainPiece> pieces_of(const CorpusToken& token) const;

  // Writes the whole resource directory (created if missing).
  bool write(const std::string& dir, std::string* error);

  const CorpusStats& corpus_stats() const { return m_corpus_stats; }
  const TrainSummary& summary() const { return m_summary; }

 private:
  void count_splits();
  void select_lexicon_words();
  // `w` is a name the text writes whole once, which is therefore no
  // dictionary word of its own.
  bool is_unkept_name(const std::string& w) const;
  // The familiar_name_surnames most frequent one-character surnames.
  std::vector<std::string> familiar_surnames() const;
  // The characters that follow a surname in familiar names (see
  // familiar_suffix_min_count), learnt from the names written whole.
  std::set<std::string> familiar_suffixes(const std::vector<std::string>& surnames) const;
  // The familiar-name candidates: 老 and 小 before those surnames, then each
  // familiar suffix after them.
  std::vector<std::string> familiar_names() const;
  // A place name that looks transliterated (FH ... FT rather than LH ... LT).
  bool is_foreign_place(const std::string& w) const;
  bool begins_with_common_surname(const std::string& w) const;
  // Every character of `w` occurs in a name the text writes whole.
  bool spelt_like_transliteration(const std::string& w) const;
  bool placed_like_transliteration(const std::string& w, uint64_t min_count) const;
  bool is_compound_of_words(const std::string& word) const;
  // Share of a character among the given-name characters of the name list.
  double given_char_share(const std::string& c) const;
  bool write_dictionary(const std::string& dir, std::string* error);
  bool write_models(const std::string& dir, std::string* error);
  bool train_roles(const std::string& dir, std::string* error);
  bool write_tables(const std::string& dir, std::string* error);
  bool write_lists(const std::string& dir, std::string* error);
  bool write_affixes(const std::string& dir, std::string* error);
  // The tag a dictionary word of the text lists first (most probable).
  int first_tag(const std::string& w) const;

  TrainOptions m_options;
  std::unique_ptr<CFactoid> m_factoid;
  CorpusStats m_corpus_stats;
  TrainSummary m_summary;

  // word -> POS id -> count, over dictionary words.
  std::map<std::string, std::map<int, uint64_t>> m_word_pos;
  std::map<int, uint64_t> m_tag_count;
  // POS bigrams (sentence start 49, sentence end 55).
  std::map<std::pair<int, int>, uint64_t> m_tag_bigram;
  // Sentences as pieces, interned: piece key = index into m_piece_words, or
  // a class id.
  std::vector<std::vector<uint32_t>> m_sentences;
  std::map<std::string, uint32_t> m_piece_index;
  std::vector<std::string> m_piece_words;
  // Per sentence: its text (GBK, as written), its gold person names (byte
  // spans of the text) and, per piece, whether it belongs to a name (see
  // kMark* in Train.cpp).
  std::vector<std::string> m_sentence_text;
  std::vector<std::vector<GoldName>> m_sentence_names;
  std::vector<std::vector<GoldPlace>> m_sentence_places;
  struct OrganisationWord {
    std::vector<subword_t> subwords;
    uint64_t count = 0;
  };
  std::map<std::string, OrganisationWord> m_organisations;
  // Coarse mode ("coarse_info"): the bracketed organisation names, and how
  // often each word ends one.
  std::set<std::string> m_coarse_orgs;
  std::map<std::string, uint64_t> m_org_suffix;
  // Words after a numeral: how often, and how often as its measure word.
  std::map<std::string, std::pair<uint64_t, uint64_t>> m_after_numeral;
  std::vector<std::vector<uint8_t>> m_sentence_marks;
  // Gold token boundaries of each sentence (byte offsets, 0 and the end
  // included).
  std::vector<std::vector<uint32_t>> m_sentence_bounds;
  // The general word list: GBK word -> POS id; given names of the text.
  std::map<std::string, int> m_lexicon;
  std::map<std::string, std::string> m_lexicon_list_tag;  // the list's own tag
  // List tag -> the text's tags of the listed words it has, with their
  // shares (listed_tag_min_share and above, summing to 1).
  std::map<std::string, std::vector<std::pair<int, double>>> listed_tag_shares() const;
  std::unordered_map<std::string, double> m_lexicon_freq;  // the list's frequency
  // Unigram pseudo-count of a word added from the word lists.
  double listed_weight(const std::string& w) const;
  std::set<std::string> m_given_names;
  // Given-name characters of the name list: role (C, D, E) -> char -> count.
  std::map<uint8_t, std::map<std::string, uint64_t>> m_name_chars;
  uint64_t m_name_char_total = 0;  // sum of m_name_chars
  // Characters of the names the text writes whole (transliterations), by
  // the role they take when each is a word of its own: H first, T last,
  // I between.
  std::map<uint8_t, std::map<std::string, uint64_t>> m_trans_chars;
  std::map<std::string, int> m_lexicon_selected;
  std::set<std::string> m_division_names;  // from add_places
  std::map<std::string, bool> m_listed_names;  // listed person names; true: nrt
  std::map<std::string, uint64_t> m_name_parts;  // parts of names with separators
  struct SplitCount {
    uint32_t split = 0;     // written as several words
    uint32_t crossing = 0;  // across a word boundary
  };
  std::unordered_map<std::string, SplitCount> m_splits;
  // familiar_names(), taken by count_splits for select_lexicon_words.
  std::vector<std::string> m_familiar_names;
  // Path words of the role pass: how often the text writes each whole, and
  // how often cut in which way.
  struct RuleEvidence {
    uint32_t whole = 0;
    std::map<std::vector<int>, uint32_t> splits;
  };
  std::map<std::string, RuleEvidence> m_rule_evidence;
  // Words written as one whole-name "nr" token: such occurrences.
  std::map<std::string, uint64_t> m_whole_name;
  // The dictionary as last built.
  std::vector<basic_dict_entry_t> m_entries;
  std::map<std::string, uint32_t> m_dict_index;
  // Affix evidence: plain words of three or more characters, and pairs of
  // neighbouring plain words one of which is a single character.
  std::map<std::string, uint32_t> m_affix_whole;
  std::map<std::pair<std::string, std::string>, uint32_t> m_affix_pairs;
  // Single-character words: count as "nr" and count otherwise.
  std::map<std::string, std::pair<uint64_t, uint64_t>> m_single_char_nr;
  // One-character given names (after a surname): occurrences.
  std::map<std::string, uint64_t> m_single_given;

  std::vector<std::pair<std::string, uint64_t>> m_surnames;  // GBK
  std::set<std::string> m_surname_set;
  std::set<std::string> m_common_surnames;  // of at least common_surname_count
  std::map<std::string, std::vector<std::string>> m_ts_chars;  // GBK char -> targets
  std::map<std::string, std::string> m_ts_phrases;             // GBK
};

}  // namespace lxtrain

#endif  // LX_TRAINER_TRAIN_H
