// Tests of the resource path set built from a data directory.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "dict/DictResource.h"

namespace {

// Every field with its file name, in the order the paths are built.
std::vector<std::pair<const char*, std::string>> Fields(const DictResource& r) {
  return {{r.core_lex, "Core.Lex"},        {r.core_prop, "Core.Prop"},
          {r.fact_lex, "Fact.Lex"},        {r.ngram_lex, "Ngram.Lex"},
          {r.ngram_pn_lex, "Ngram_PN.Lex"}, {r.postt_lex, "POSTT.Lex"},
          {r.rolett_lex, "RoleTT.Lex"},    {r.rule_ns, "Rule.ns"},
          {r.user_amb_rule, "UserAmbRule"}, {r.t2s_char, "t2s"},
          {r.t2s_word, "t2s.word"},        {r.t2s_disable, "t2s.disable"},
          {r.ner_info, "ner_info"},        {r.second_lex, "Sec.Lex"},
          {r.second_prop, "Sec.Prop"},     {r.custom_word, "CustomWord"},
          {r.ln_rolett_lex, "LNRoleTT.Lex"}, {r.synonym_word, "SynonymWord"}};
}

// The paths are laid out one after the other after the directory, and each
// is the directory followed by its file name.
void ExpectLayout(const DictResource& r, const std::string& dir_with_slash, size_t given_len) {
  ASSERT_NE(r.m_buffer, nullptr);
  EXPECT_EQ(r.m_dir_path, r.m_buffer);
  EXPECT_EQ(std::string(r.m_dir_path), dir_with_slash);
  EXPECT_EQ(r.m_dir_len, dir_with_slash.size());
  EXPECT_EQ(r.m_buf_size, 40 * given_len + 1024);
  EXPECT_EQ(r.amb_rule, nullptr);
  const char* next = r.m_buffer + r.m_dir_len + 1;
  for (auto& f : Fields(r)) {
    ASSERT_NE(f.first, nullptr) << f.second;
    EXPECT_EQ(f.first, next) << f.second;
    EXPECT_EQ(std::string(f.first), dir_with_slash + f.second);
    next = f.first + std::strlen(f.first) + 1;
  }
  EXPECT_EQ(r.m_offset, (size_t)(next - r.m_buffer));
  EXPECT_LE(r.m_offset, r.m_buf_size);
}

TEST(DictResource, TrailingSlashOrNotGivesTheSamePaths) {
  DictResource a("data/lx"), b("data/lx/");
  ExpectLayout(a, "data/lx/", 7);
  ExpectLayout(b, "data/lx/", 8);
  auto fa = Fields(a), fb = Fields(b);
  for (size_t i = 0; i < fa.size(); i++) {
    EXPECT_STREQ(fa[i].first, fb[i].first);
    // Exactly one slash before the file name.
    std::string p = fa[i].first;
    EXPECT_EQ(p.find("//"), std::string::npos);
  }
}

TEST(DictResource, RootAndEmptyDirectory) {
  DictResource root("/");
  ExpectLayout(root, "/", 1);
  EXPECT_STREQ(root.core_lex, "/Core.Lex");
  // An empty directory is the current one: bare file names.
  DictResource here("");
  ExpectLayout(here, "", 0);
  EXPECT_STREQ(here.user_amb_rule, "UserAmbRule");
}

TEST(DictResource, LongDirectoryNames) {
  for (size_t len : {1u, 100u, 1000u, 4096u, 100000u}) {
    std::string dir(len, 'd');
    DictResource r(dir.c_str());
    ExpectLayout(r, dir + "/", len);
  }
  // A long name that ends with its slash.
  std::string dir = std::string(5000, 'e') + "/";
  DictResource r(dir.c_str());
  ExpectLayout(r, dir, dir.size());
}

TEST(DictResource, NullDirectoryAndRebuild) {
  DictResource r;
  EXPECT_EQ(r.core_lex, nullptr);
  EXPECT_FALSE(r.init(nullptr));
  EXPECT_EQ(r.m_buffer, nullptr);
  EXPECT_EQ(r.core_lex, nullptr);
  ASSERT_TRUE(r.init("one"));
  ASSERT_TRUE(r.init("two/"));
  ExpectLayout(r, "two/", 4);
  EXPECT_FALSE(r.init(nullptr));  // a failed build leaves nothing behind
  EXPECT_EQ(r.synonym_word, nullptr);
  r.clear();
  EXPECT_EQ(r.m_buf_size, 0u);
}

}  // namespace
