// CResourceSet: one complete set of the resources that every handle only
// reads while segmenting.
//
// load() builds a set aside from the paths of a DictResource, in a fixed
// order: the basic dictionary, the word and person-name models, the role
// tables, the POS table, the user ambiguity rules, the
// traditional-to-simplified tables, the named-entity word lists, the
// secondary lexicon, and the tables built in code (factoid recognizer,
// numeral dictionary, pattern tries, character classes).  It returns the set
// only when everything loaded; a failure is reported once, by the loader that
// failed, naming its file, and nothing is kept.  A set never changes after it
// was published (CSegment::load_resource), except for the two recognizer
// modes of its factoid recognizer, so that any number of handles may read it
// from any number of threads; it is freed when the last handle holding it
// lets go.
#ifndef LX_SEG_RESOURCE_SET_H
#define LX_SEG_RESOURCE_SET_H

#include <cstddef>
#include <memory>

#include "base/LHash.h"
#include "base/Trie.h"
#include "dict/AffixTable.h"
#include "lm/Prob.h"
#include "seg/pos_tagger.h"
#include "seg/role_tagger.h"

class CBasicDict;
class CCoarseData;
class CCustomDict;
class CFactoid;
class CRuleDict;
class Ngram;
class Trad2Simp;
struct DictResource;

class CResourceSet {
 public:
  static constexpr size_t kRoleTTDim = 54;
  static constexpr size_t kPosTTDim = 56;

  CResourceSet();
  ~CResourceSet();
  CResourceSet(const CResourceSet&) = delete;
  CResourceSet& operator=(const CResourceSet&) = delete;

  // The set of `res`, or null when a file is missing or damaged (or memory
  // ran out: std::bad_alloc).
  static std::unique_ptr<CResourceSet> load(const DictResource& res);

  std::unique_ptr<CBasicDict> basic_dict;
  std::unique_ptr<Ngram> word_lm;
  std::unique_ptr<Ngram> pn_word_lm;
  CProbabilityNode role_tt[kRoleTTDim][kRoleTTDim];
  CProbabilityNode ln_role_tt[kRoleTTDim][kRoleTTDim];
  CProbabilityNode pos_tt[kPosTTDim][kPosTTDim];
  // role_tt and ln_role_tt prepared for the role tagger.
  RoleScores role_scores;
  RoleScores ln_role_scores;
  PosScores pos_scores;  // pos_tt prepared for the POS tagger
  std::unique_ptr<CFactoid> factoid;
  std::unique_ptr<CRuleDict> rule;
  std::unique_ptr<Trad2Simp> t2s;
  std::unique_ptr<CCustomDict> second_dict;
  std::unique_ptr<CCoarseData> coarse;  // "coarse_info" (optional: empty when absent)
  CAffixTable affixes;  // empty without "Affix.Lex"
  HashDict* fuxing_dict = nullptr;
  HashDict* no_amb_xing_dict = nullptr;
  HashDict* loc_suffix_dict = nullptr;
  HashDict* hanzi_number_dict = nullptr;
  Trie<int, int> pn_mode_trie;
  Trie<int, int> ln_mode_trie;
  // Index + 1 of "分之" in the basic dictionary (0: absent), and the index of
  // "个数" (0xFFFFFFFF: absent).
  size_t fenzhi_idx = 0;
  uint32_t geshu_idx = 0xFFFFFFFFu;
};

#endif  // LX_SEG_RESOURCE_SET_H
