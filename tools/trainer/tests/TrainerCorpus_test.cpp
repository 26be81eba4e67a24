#include <gtest/gtest.h>

#include <sstream>

#include "Corpus.h"
#include "base/PosTag.h"
#include "support/gbk_literals.h"

using namespace lxtrain;
using lxtest::G;

namespace {

std::vector<CorpusParagraph> ReadAll(const std::string& text, CorpusStats* stats = nullptr) {
  std::istringstream in(text);
  CorpusReader reader(in);
  std::vector<CorpusParagraph> out;
  CorpusParagraph p;
  while (reader.next(p)) out.push_back(p);
  if (stats) *stats = reader.stats();
  return out;
}

}  // namespace

TEST(TrainerCorpus, ParsesTokensTagsAndBrackets) {
  std::string line = G("20010203-04-005-006/m  我们/r  在/p  [东海/ns  大学/n]nt  学习/v  。/w");
  CorpusStats stats;
  auto paras = ReadAll(line + "\r\n", &stats);
  ASSERT_EQ(paras.size(), 1u);
  const CorpusParagraph& p = paras[0];
  EXPECT_EQ(p.id, "20010203-04-005-006");
  EXPECT_FALSE(p.malformed);
  ASSERT_EQ(p.tokens.size(), 6u);
  EXPECT_EQ(p.tokens[2].word, G("东海"));
  EXPECT_EQ(p.tokens[2].tag, "ns");
  EXPECT_EQ(p.tokens[2].pos, pos_tag_id("ns"));
  EXPECT_EQ(p.tokens[3].tag, "n");
  EXPECT_EQ(p.tokens[5].pos, pos_tag_id("w"));
  ASSERT_EQ(p.spans.size(), 1u);
  EXPECT_EQ(p.spans[0].begin, 2u);
  EXPECT_EQ(p.spans[0].end, 4u);
  EXPECT_EQ(p.spans[0].tag, "nt");
  EXPECT_EQ(p.spans[0].pos, pos_tag_id("nt"));
  EXPECT_EQ(stats.tokens, 6u);
  EXPECT_EQ(stats.report(), "");
  EXPECT_EQ(ParagraphText(p), G("我们在东海大学学习。"));
  // Formatting gives back the line.
  EXPECT_EQ(FormatParagraph(p), line);
}

TEST(TrainerCorpus, LineEndsAndStrayCarriageReturns) {
  CorpusStats stats;
  // CRLF, LF, a stray CR, blank lines of every kind, no final line end.
  auto paras = ReadAll("a/n\r\nb/n\nc/n\r\r\nd/n\r\n\r\n\ne/v", &stats);
  ASSERT_EQ(paras.size(), 5u);
  EXPECT_EQ(paras[0].tokens[0].word, "a");
  EXPECT_EQ(paras[2].tokens[0].word, "c");
  EXPECT_EQ(paras[4].tokens[0].word, "e");
  EXPECT_EQ(paras[4].tokens[0].tag, "v");
  EXPECT_EQ(stats.stray_crs, 1u);
  EXPECT_EQ(stats.missing_ids, 5u);
  EXPECT_EQ(stats.paragraphs, 5u);
  // Physical line numbers count every line end.
  EXPECT_EQ(paras[3].line, 5u);
  EXPECT_EQ(paras[4].line, 8u);
}

TEST(TrainerCorpus, MalformedInputIsCountedNotTrusted) {
  CorpusStats stats;
  auto paras = ReadAll(
      "x/n  [a/n  b/n\n"          // bracket never closed
      "c/n  d/n]nt\n"             // close without open
      "[e/n  [f/n  g/n]nt\n"      // nested open
      "h  i/  /n  j/v\n"          // three tokens without a tag
      "k/vvn  l/Q  m/n]nt]x\n",   // unknown tags; a junk span tag
      &stats);
  ASSERT_EQ(paras.size(), 5u);
  EXPECT_TRUE(paras[0].malformed);
  EXPECT_TRUE(paras[0].spans.empty());
  EXPECT_TRUE(paras[1].malformed);
  EXPECT_TRUE(paras[2].malformed);
  EXPECT_TRUE(paras[3].malformed);
  ASSERT_EQ(paras[3].tokens.size(), 1u);
  EXPECT_EQ(paras[3].tokens[0].word, "j");
  EXPECT_EQ(stats.untagged_tokens, 3u);
  // Open never closed, close without open, nested open, junk span tag.
  EXPECT_EQ(stats.unbalanced_brackets, 4u);
  EXPECT_TRUE(paras[4].malformed);
  EXPECT_EQ(paras[4].tokens[0].pos, pos_tag_id("v"));
  EXPECT_EQ(paras[4].tokens[1].pos, pos_tag_id("n"));
  EXPECT_EQ(stats.unknown_tags, 2u);
  EXPECT_EQ(stats.unknown_tag_counts.at("vvn"), 1u);
  EXPECT_EQ(stats.malformed_paragraphs, 5u);
  std::string report = stats.report();
  EXPECT_NE(report.find("unknown tag \"vvn\" x1 -> v"), std::string::npos) << report;
  EXPECT_NE(report.find("unknown tag \"Q\" x1 -> n"), std::string::npos) << report;
}

TEST(TrainerCorpus, GbkTrailBytesThatLookLikeBrackets) {
  // 0x5B '[' and 0x5D ']' are valid GBK trail bytes.
  std::string w1 = "\x81\x5b", w2 = "\x81\x5d";
  CorpusStats stats;
  auto paras = ReadAll("[" + w1 + "/n  " + w2 + "/n]nt  [/w  ]/w\n", &stats);
  ASSERT_EQ(paras.size(), 1u);
  const CorpusParagraph& p = paras[0];
  EXPECT_FALSE(p.malformed) << stats.report();
  ASSERT_EQ(p.tokens.size(), 4u);
  EXPECT_EQ(p.tokens[0].word, w1);
  EXPECT_EQ(p.tokens[1].word, w2);
  EXPECT_EQ(p.tokens[2].word, "[");
  EXPECT_EQ(p.tokens[3].word, "]");
  ASSERT_EQ(p.spans.size(), 1u);
  EXPECT_EQ(p.spans[0].end, 2u);
}

TEST(TrainerCorpus, TagMapping) {
  const char* known[] = {"a", "ad", "an", "b", "c", "d", "e", "f", "h", "i", "j", "k",
                         "l", "m", "n", "nr", "ns", "nt", "nx", "nz", "o", "p", "q", "r",
                         "s", "t", "u", "v", "vd", "vn", "w", "y", "z", "Ag", "Bg", "Dg",
                         "Mg", "Ng", "Rg", "Tg", "Vg", "Yg"};
  for (const char* t : known) {
    bool k = false;
    int id = MapCorpusTag(t, &k);
    EXPECT_TRUE(k) << t;
    EXPECT_STREQ(pos_tag_string(id), t);
  }
  bool k = true;
  EXPECT_EQ(MapCorpusTag("vvn", &k), pos_tag_id("v"));
  EXPECT_FALSE(k);
  EXPECT_EQ(MapCorpusTag("na", &k), pos_tag_id("n"));
  EXPECT_EQ(MapCorpusTag("Zz", &k), pos_tag_id("n"));
  // Pipeline symbols are not corpus tags: "www" falls back to its prefix.
  EXPECT_EQ(MapCorpusTag("www", &k), pos_tag_id("w"));
  EXPECT_FALSE(k);
  EXPECT_EQ(MapCorpusTag("", &k), pos_tag_id("n"));
}

TEST(TrainerCorpus, DevSplitKeepsArticlesTogether) {
  EXPECT_TRUE(IsParagraphId("19980101-01-001-001"));
  EXPECT_FALSE(IsParagraphId("19980101-01-001-01"));
  EXPECT_FALSE(IsParagraphId("1998010a-01-001-001"));
  // day 1 + page 1 + article 18 = 20.
  EXPECT_TRUE(IsDevParagraph("19980101-01-018-001"));
  EXPECT_TRUE(IsDevParagraph("19980101-01-018-077"));
  EXPECT_FALSE(IsDevParagraph("19980101-01-017-001"));
  EXPECT_TRUE(IsDevParagraph("19980131-09-000-001"));  // 31 + 9 = 40
  EXPECT_FALSE(IsDevParagraph(""));
  // Over a uniform grid of ids the rule takes about one article in twenty.
  size_t dev = 0, all = 0;
  char id[32];
  for (int day = 1; day <= 31; ++day)
    for (int page = 1; page <= 12; ++page)
      for (int art = 1; art <= 20; ++art) {
        std::snprintf(id, sizeof id, "199801%02d-%02d-%03d-001", day, page, art);
        ++all;
        if (IsDevParagraph(id)) ++dev;
      }
  EXPECT_NEAR(double(dev) / all, 0.05, 0.01);
}
