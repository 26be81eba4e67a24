// The corpus reader: well-formed lines round-trip, damaged lines are counted
// and flagged instead of trusted.
#include <gtest/gtest.h>

#include <sstream>

#include "Corpus.h"
#include "base/PosTag.h"
#include "support/gbk_literals.h"

using namespace lxtrain;
using lxtest::G;

namespace {

std::vector<CorpusParagraph> ReadAll(const std::string& text, CorpusStats* stats) {
  std::istringstream in(text);
  CorpusReader reader(in);
  std::vector<CorpusParagraph> out(1);
  while (reader.next(out.back())) out.emplace_back();
  *stats = reader.stats();
  out.pop_back();
  return out;
}

std::string Words(const CorpusParagraph& p) {
  std::string s;
  for (const CorpusToken& t : p.tokens) s += (s.empty() ? "" : " ") + t.word + "/" + pos_tag_string(t.pos);
  return s;
}

}  // namespace

TEST(TrainerCorpus, WellFormedLinesRoundTrip) {
  // 0x5B '[' and 0x5D ']' are GBK trail bytes too: 0x81 0x5B is one word.
  const std::string lines[] = {
      G("20010203-04-005-006/m  我们/r  在/p  [东海/ns  大学/n]nt  学习/v  。/w"),
      "[\x81\x5b/n  \x81\x5d/n]nt  [/w  ]/w", "a/Ag  b/Yg"};
  CorpusStats stats;
  for (const std::string& line : lines) {
    auto paras = ReadAll(line + "\r\n", &stats);
    ASSERT_EQ(paras.size(), 1u) << line;
    EXPECT_FALSE(paras[0].malformed) << line;
    EXPECT_EQ(FormatParagraph(paras[0]), line);
  }
  const CorpusParagraph p = ReadAll(lines[0], &stats)[0];
  EXPECT_EQ(p.id, "20010203-04-005-006");
  EXPECT_EQ(Words(p), G("我们/r 在/p 东海/ns 大学/n 学习/v 。/w"));
  ASSERT_EQ(p.spans.size(), 1u);  // 东海 大学: tokens [2, 4), nt
  EXPECT_TRUE(p.spans[0].begin == 2 && p.spans[0].end == 4 && p.spans[0].pos == pos_tag_id("nt"));
  EXPECT_EQ(ParagraphText(p), G("我们在东海大学学习。"));
  EXPECT_EQ(stats.report(), "");
}

TEST(TrainerCorpus, DamagedLinesAreCountedNotTrusted) {
  // Line, the tokens kept with the tag they map to, spans kept.
  const std::tuple<const char*, const char*, size_t> rows[] = {
      {"x/n  [a/n  b/n", "x/n a/n b/n", 0},         // bracket never closed
      {"c/n  d/n]nt", "c/n d/n", 0},                 // close without open
      {"[e/n  [f/n  g/n]nt", "e/n f/n g/n", 1},      // nested open
      {"h  i/  /n  j/v", "j/v", 0},                  // no tag, empty tag, empty word
      {"k/vvn  l/Q  m/n]nt]x", "k/v l/n m/n", 0},   // unknown tags, junk span tag
  };
  std::string text;
  for (const auto& row : rows) text += std::get<0>(row) + std::string("\n");
  CorpusStats stats;
  const auto paras = ReadAll(text, &stats);
  ASSERT_EQ(paras.size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    const auto& [line, words, spans] = rows[i];
    EXPECT_TRUE(paras[i].malformed) << line;
    EXPECT_EQ(Words(paras[i]), words) << line;
    EXPECT_EQ(paras[i].spans.size(), spans) << line;
  }
  EXPECT_EQ(std::vector<size_t>({stats.untagged_tokens, stats.unbalanced_brackets, stats.unknown_tags,
                                 stats.malformed_paragraphs}),
            std::vector<size_t>({3, 4, 2, 5}));
  const std::string report = stats.report();
  EXPECT_NE(report.find("unknown tag \"vvn\" x1 -> v"), std::string::npos) << report;
  EXPECT_NE(report.find("unknown tag \"Q\" x1 -> n"), std::string::npos) << report;
}

TEST(TrainerCorpus, LineEndsAndStrayCarriageReturns) {
  CorpusStats stats;
  // CRLF, LF, a stray CR, blank lines of every kind, no final line end.
  auto paras = ReadAll("a/n\r\nb/n\nc/n\r\r\nd/n\r\n\r\n\ne/v", &stats);
  ASSERT_EQ(paras.size(), 5u);
  std::string words;
  for (const CorpusParagraph& p : paras) words += Words(p) + "@" + std::to_string(p.line) + " ";
  EXPECT_EQ(words, "a/n@1 b/n@2 c/n@3 d/n@5 e/v@8 ");
  EXPECT_EQ(stats.stray_crs, 1u);
  EXPECT_EQ(stats.missing_ids, 5u);
}
