// Builds a complete resource directory for the segmenter in a temporary
// directory, with the library's own writers: every file that
// CSegment::load_resource opens, from a word list with POS tags and a bigram
// model, plus an optional "CustomWord" tree and system custom dictionary.
//
//   lxtest::ResourceDir dir;
//   ASSERT_TRUE(dir.build(lxtest::default_resource_plan())) << dir.error();
//   LXInitSeg(dir.path().c_str());
//
// Texts in a ResourcePlan are GBK (use lxtest::gbk() on UTF-8 literals).
// The helpers do not depend on GoogleTest, so that the benchmarks can use
// them too.
#ifndef LX_TESTS_SUPPORT_RESOURCE_BUILDER_H
#define LX_TESTS_SUPPORT_RESOURCE_BUILDER_H

#include <map>
#include <string>
#include <vector>

#include "dict/BasicDictWriter.h"
#include "dict/CustomDictWriter.h"
#include "dict/T2SWriter.h"
#include "lm/Prob.h"
#include "temp_dir.h"

namespace lxtest {

// GBK bytes of UTF-8 text (characters without a GBK form are dropped), and
// back.
std::string gbk(const std::string& utf8);
std::string utf8(const std::string& gbk);

// Model tokens for bigram entries: the sentence start and the number
// factoid (the word model), and the class tokens that only the person-name
// model knows (see ResourcePlan::pn_class_unigrams).
extern const char kTokPerson[];    // "<person>": a person-name entity
extern const char kTokLocation[];  // "<location>": a location-name entity

struct bigram_plan_t {
  std::string prev, next;  // GBK words of the dictionary, "<s>" or "<num>"
  LogP prob;
};

// One cell of a transition table: [prev][cur] = {prob, bow}.
struct tt_cell_t {
  uint8_t prev, cur;
  LogP prob, bow;
};

struct ResourcePlan {
  // The basic dictionary (words in GBK).
  std::vector<basic_dict_entry_t> words;

  // Word model: a unigram per word (unigram_of[word], else default_unigram),
  // the class tokens (-5 for single characters, -3.5 for numbers and
  // alphanumeric strings) and the given bigrams, where "<s>" and "<num>" name
  // the sentence start and the number factoid; every unigram has back-off
  // weight default_bow.  The person-name model is the same model.
  std::map<std::string, LogP> unigram_of;
  LogP default_unigram = -3.0f, default_bow = -0.5f;
  std::vector<bigram_plan_t> bigrams;

  // Person-name model ("Ngram_PN.Lex"): the word model plus these unigrams
  // of kTokPerson and kTokLocation (back-off weight default_bow).
  std::vector<std::pair<std::string, LogP> > pn_class_unigrams;

  // Role and POS transition tables: every cell holds these values, except
  // the cells listed below (a later cell wins over an earlier one).
  // "RoleTT.Lex" and "LNRoleTT.Lex" have 54 x 54 cells, "POSTT.Lex" 56 x 56.
  LogP tt_prob = -1.0f, tt_bow = -1.0f;
  std::vector<tt_cell_t> role_tt_cells, ln_role_tt_cells, pos_tt_cells;

  // Secondary lexicon, user ambiguity rules, traditional-to-simplified
  // tables and named-entity word lists.
  std::vector<seclex_entry_t> second_lex;
  std::vector<std::pair<std::string, std::vector<int> > > amb_rules;
  std::vector<t2s_char_entry_t> t2s_chars;
  std::vector<t2s_pair_t> t2s_words, t2s_disable;
  std::vector<std::string> fuxing, no_amb_xing;
  std::vector<std::pair<std::string, int> > loc_suffix;

  // The "CustomWord" tree (always created): path below it -> file content.
  std::map<std::string, std::string> custom_files;

  // System custom dictionary ("cusdata.idx" + "id_custname.dict"), written
  // when sys_class_names is not empty.
  std::vector<std::string> sys_class_names;
  std::vector<syscd_entry_t> sys_entries;
};

// A word with a one-tag POS list (GBK or UTF-8 is the caller's business).
basic_dict_entry_t lex_word(const std::string& word, uint8_t pos, uint16_t name_entity = 0);

// A word with the given POS, person-role and location-role lists (an empty
// vector leaves that list absent).
basic_dict_entry_t ne_word(const std::string& word, const std::vector<prop_item_t>& pos,
                           const std::vector<prop_item_t>& roles,
                           const std::vector<prop_item_t>& ln_roles, uint16_t name_entity = 0);

// A small but complete resource set: about fifty words with POS tags
// (including a rule word of type 89, an ambiguous word of type 88, a word of
// type 87 with two segmentations and a word with sub-words), bigrams among
// them, a secondary lexicon, user ambiguity rules, traditional-to-simplified
// tables, named-entity lists, a CustomWord tree with the classes "food",
// "phrase" and "place" (ids 2, 3, 4) and a system custom dictionary with the
// classes "none" and "brand" (ids 0, 1) holding 苹果手机 (brand).
ResourcePlan default_resource_plan();

// A synthetic resource set for throughput measurements: `num_words`
// distinct words of two to four random GBK characters, one POS tag each,
// random unigrams and `num_bigrams` random bigrams.  Deterministic for a
// given seed.
ResourcePlan synthetic_resource_plan(size_t num_words, size_t num_bigrams, uint32_t seed);

// Synthetic GBK text of about `bytes` bytes made of the ResourcePlan's words, with
// punctuation, digits and ASCII words mixed in.  Deterministic.
std::string synthetic_text(const ResourcePlan& plan, size_t bytes, uint32_t seed);

// The number of files load_resource opens ("Core.Lex" ... "Sec.Prop").
constexpr size_t kLoadOrderFileCount = 11;

// A temporary directory holding one resource set; removed with the object.
class ResourceDir {
 public:
  ResourceDir() : m_dir("lxres.") {}

  // Writes every resource file of `plan`.  False (see error()) on failure.
  bool build(const ResourcePlan& plan);

  const std::string& path() const { return m_dir.path(); }
  std::string file(const std::string& name) const { return m_dir.file(name); }
  const std::string& error() const { return m_error; }

  // Writes a text file below the directory (creating sub-directories).
  bool write_file(const std::string& relative, const std::string& content) { return m_dir.write(relative, content); }

 private:
  bool fail(const std::string& what) { return m_error = what, false; }

  TempDir m_dir;
  std::string m_error;
};

}  // namespace lxtest

#endif  // LX_TESTS_SUPPORT_RESOURCE_BUILDER_H
