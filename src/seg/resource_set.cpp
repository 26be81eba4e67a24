#include "seg/resource_set.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "dict/BasicDict.h"
#include "dict/CustomDict.h"
#include "dict/DictResource.h"
#include "dict/NerResource.h"
#include "dict/RuleDict.h"
#include "dict/T2S.h"
#include "lm/Ngram.h"
#include "seg/Factoid.h"
#include "seg/coarse_merge.h"
#include "seg/char_class.h"

namespace {

// GBK "个数".
const char kGeshu[] = "\xB8\xF6\xCA\xFD";

// The loaders report their own failures; only a path that DictResource did
// not build is reported here.
bool have(const char* path, const char* name) {
  if (path == nullptr) std::fprintf(stderr, "%s: no path\n", name);
  return path != nullptr;
}

}  // namespace

CResourceSet::CResourceSet() {
  std::memset(role_tt, 0, sizeof(role_tt));
  std::memset(ln_role_tt, 0, sizeof(ln_role_tt));
  std::memset(pos_tt, 0, sizeof(pos_tt));
}

CResourceSet::~CResourceSet() {
  CNerResource::free_dict(fuxing_dict);
  CNerResource::free_dict(no_amb_xing_dict);
  CNerResource::free_dict(loc_suffix_dict);
  CNerResource::free_dict(hanzi_number_dict);
}

std::unique_ptr<CResourceSet> CResourceSet::load(const DictResource& res) {
  std::unique_ptr<CResourceSet> s(new CResourceSet());

  // Basic dictionary, with the indexes of "分之" and "个数".
  s->basic_dict.reset(new CBasicDict());
  if (!have(res.core_lex, "Core.Lex") || !have(res.core_prop, "Core.Prop") ||
      !s->basic_dict->loadBasicDict(res.core_lex, res.core_prop))
    return nullptr;
  const auto& da = s->basic_dict->mBasicDict;
  const int fenzhi = da.exactMatchSearch<int>(kChsFenZhi, std::strlen(kChsFenZhi));
  s->fenzhi_idx = fenzhi >= 0 ? static_cast<size_t>(fenzhi) + 1 : 0;
  s->geshu_idx = static_cast<uint32_t>(da.exactMatchSearch<int>(kGeshu, std::strlen(kGeshu)));

  // Word model and person-name model.
  s->word_lm.reset(new Ngram(3));
  if (!have(res.ngram_lex, "Ngram.Lex") || !s->word_lm->read_binary(res.ngram_lex)) return nullptr;
  s->pn_word_lm.reset(new Ngram(3));
  if (!have(res.ngram_pn_lex, "Ngram_PN.Lex") || !s->pn_word_lm->read_binary(res.ngram_pn_lex))
    return nullptr;

  // Transition tables.
  if (!have(res.rolett_lex, "RoleTT.Lex") ||
      !CNerResource::load_transition_table(res.rolett_lex, &s->role_tt[0][0], kRoleTTDim) ||
      !have(res.ln_rolett_lex, "LNRoleTT.Lex") ||
      !CNerResource::load_transition_table(res.ln_rolett_lex, &s->ln_role_tt[0][0], kRoleTTDim) ||
      !have(res.postt_lex, "POSTT.Lex") ||
      !CNerResource::load_transition_table(res.postt_lex, &s->pos_tt[0][0], kPosTTDim))
    return nullptr;
  s->role_scores.build(&s->role_tt[0][0], CRoleTagger::PN);
  s->ln_role_scores.build(&s->ln_role_tt[0][0], CRoleTagger::LN);
  s->pos_scores.build(&s->pos_tt[0][0]);

  // User ambiguity rules.
  s->rule.reset(new CRuleDict());
  if (!have(res.user_amb_rule, "UserAmbRule") || !s->rule->loadDict(res.user_amb_rule))
    return nullptr;

  // Traditional-to-simplified tables; a missing or damaged file only
  // disables that part of the conversion.
  s->t2s.reset(new Trad2Simp());
  if (res.t2s_char) s->t2s->_load_t2s_table(res.t2s_char);
  if (res.t2s_word) s->t2s->_load_t2s_words(res.t2s_word);
  if (res.t2s_disable) s->t2s->_load_t2s_disable(res.t2s_disable);

  // Named-entity word lists.
  if (!have(res.ner_info, "ner_info") ||
      CNerResource::load_named_entity_resource(res.ner_info, s->fuxing_dict, s->no_amb_xing_dict,
                                               s->loc_suffix_dict) == 0)
    return nullptr;

  // Secondary lexicon.
  s->second_dict.reset(new CCustomDict());
  if (!have(res.second_lex, "Sec.Lex") || !have(res.second_prop, "Sec.Prop") ||
      s->second_dict->LoadDict(res.second_lex, res.second_prop) == 0)
    return nullptr;

  // Organisation names of coarse mode; optional.
  s->coarse.reset(new CCoarseData());
  if (res.m_dir_path != nullptr &&
      !s->coarse->load((std::string(res.m_dir_path) + "coarse_info").c_str()))
    return nullptr;
  // Affixes that join words (optional file).
  if (!s->affixes.load(res.affix_lex)) return nullptr;

  // Built in code: factoid recognizer, numeral dictionary, pattern tries.
  s->factoid.reset(new CFactoid());
  CNerResource::_load_hanzi_shuzi_dict(&s->hanzi_number_dict);
  if (!CNerResource::_load_ne_mode(CNerResource::m_ptr_pn_modes, 1, s->pn_mode_trie,
                                   s->ln_mode_trie))
    return nullptr;
  return s;
}
