// Tests of the resource path set built from a data directory.
#include "dict/DictResource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(DictResource, PathsForEveryKindOfDirectory) {
  const std::string long_dir(5000, 'd');
  const std::pair<std::string, std::string> dirs[] = {
      {"data/lx", "data/lx/"}, {"data/lx/", "data/lx/"}, {"/", "/"}, {"", ""}, {long_dir, long_dir + "/"}};
  const std::string names[] = {"Core.Lex", "Core.Prop", "Fact.Lex", "Ngram.Lex", "Ngram_PN.Lex", "POSTT.Lex",
                               "RoleTT.Lex", "Rule.ns", "UserAmbRule", "t2s", "t2s.word", "t2s.disable", "ner_info",
                               "Sec.Lex", "Sec.Prop", "CustomWord", "LNRoleTT.Lex", "SynonymWord"};
  DictResource reused;
  for (const auto& dir : dirs) {
    ASSERT_TRUE(reused.init(dir.first.c_str()));  // building again replaces the paths
    DictResource fresh(dir.first.c_str());
    for (const DictResource* r : {&reused, &fresh}) {
      // The directory with one slash, then every path in field order, one after the other.
      const char* const fields[] = {r->core_lex,   r->core_prop,     r->fact_lex,    r->ngram_lex,  r->ngram_pn_lex,
                                    r->postt_lex,  r->rolett_lex,    r->rule_ns,     r->user_amb_rule, r->t2s_char,
                                    r->t2s_word,   r->t2s_disable,   r->ner_info,    r->second_lex, r->second_prop,
                                    r->custom_word, r->ln_rolett_lex, r->synonym_word};
      EXPECT_EQ(std::string(r->m_dir_path), dir.second);
      const char* next = r->m_dir_path + dir.second.size() + 1;
      for (size_t i = 0; i < 18; next += std::strlen(next) + 1, ++i) {
        ASSERT_EQ(fields[i], next) << names[i];
        EXPECT_EQ(std::string(next), dir.second + names[i]);
      }
      EXPECT_LE((size_t)(next - r->m_buffer), r->m_buf_size);
    }
  }
  EXPECT_FALSE(reused.init(nullptr));  // a failed build leaves no path behind
  EXPECT_TRUE(reused.core_lex == nullptr && reused.synonym_word == nullptr && DictResource().core_lex == nullptr);
}

}  // namespace
