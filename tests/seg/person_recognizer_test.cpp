// Person-name recognition through the self-test harness: Chinese and
// transliterated patterns, the revision rules (numeral before "张", "B C D"
// checks, the "和" rule, V, U and Z word splits, the prefix candidate),
// and full nodes.
#include "seg/person_fixture.h"

namespace pntest {
namespace {

// Rows of {words, roles, names found} over a dictionary that knows none of
// the words: every role scores -3.
TEST_F(PersonTest, PatternsAndRevisionsWithoutDictionaryWords) {
  const struct {
    const char *words, *roles, *want;
  } rows[] = {
      {"他 王 小 明 来", "A B C D A", "2+6/61@-9 #1"},
      {"王 小 明 张 大 伟 李 四", "B C D B C D B E", "0+6/61@-9 6+6/61@-9 12+4/61@-6 #3"},
      {"王 明 小 红", "B E C D", "0+4/61@-6 #1"},  // the first complete pattern
      {"他 王 小", "A B C", "#0"}, {"对 王 小 明", "F B C D", "2+6/61@-9 #1"},
      {"对 王 说 明", "F B G A", "0+4/61@-6 2+4/61@-6 #2"}, {"对 王 小明", "F B Z", "2+6/61@-6 #1"},
      {"王小 明 来", "X_HALF D_HALF A", "0+4/62 #1"}, {"王小 明 和 老张 三", "X D A U E", "0+6/61@-6 10+4/61@-6 #2"},
      // Transliterated names: H I* T, checked for repeats, letters, length.
      {"见 布 什 曼 了", "A H I T A", "2+6/62@-9 #1"}, {"布 什 曼 了", "H I I A", "#0"}, {"布 什 了", "H A A", "#0"},
      {"他 安娜 说", "A X2 A", "2+4/62 #1"}, {"安娜", "X2", "0+4/62 #1"}, {"玛丽 露西", "X2 X2", "0+8/62@-6 #1"},
      {"阿布杜拉赫 曼伊本萨勒 玛卡西姆达x", "H I T", "0+31/62@-9 #1"}, {"阿布杜拉赫 曼伊本萨勒 玛卡西姆达xy", "H I T", "#0"},
      {"布 拉拉拉 曼", "H I T", "#0"}, {"布 拉拉 曼", "H I T", "0+8/62@-9 #1"}, {"x aaa y", "H I T", "#0"},
      {"布 什", "H E2", "0+4/62@-6 #1"}, {"布布 布", "H E2", "#0"}, {"J · K", "H I T", "0+4/62@-9 #1"},
      {"J ˉ K", "H I T", "0+4/62@-9 #1"}, {"J — K", "H I T", "0+4/62@-9 #1"},
      {"J - Ｋ", "H I T", "0+4/62@-9 #1"}, {"J K L", "H I T", "#0"}, {"J ， L", "H I T", "#0"},
      {"Ｊ K L", "H I T", "#0"}, {"John K · Lee", "H I I T", "0+10/62@-12 #1"},
      {"让 · 雷诺", "H I T", "0+8/62@-9 #1"}, {"让 雷诺", "H T", "#0"},
      // Revisions.
      {"三 张 小 明", "A B C D", "#0"}, {"35 张 明", "A B E", "#0"}, {"他 张 小 明", "A B C D", "2+6/61@-9 #1"},
      {"三 王 小 明", "A B C D", "2+6/61@-9 #1"}, {"余 万 元", "B C D", "#0"}, {"余 万 元多", "B C D", "#0"},
      {"王 小 王", "B C D", "#0"}, {"王 小 和 张 三", "B C D B E", "0+4/61@-6 6+4/61@-6 #2"},
      {"王 小 和 天", "B C D A", "0+6/61@-9 #1"}, {"王 小 和", "B C D", "0+6/61@-9 #1"}, {"王 明", "B V", "#0"},
      {"王 小明 张 三", "B Z B E", "0+6/61@-6 6+4/61@-6 #2"}, {"王 明和 天", "B Z A", "0+6/61@-6 #1"},
      {"王 明和", "B Z", "0+6/61@-6 #1"}, {"老王 小 明", "U C D", "2+6/61@-9 #1"}, {"老王 小明", "U Z", "2+6/61@-6 #1"},
      {"老王 明", "U E", "2+4/61@-6 #1"}, {"老王 小 明", "U C D_HALF", "2+6/61@-9 #1"}, {"王 明", "U E", "#0"},
  };
  for (const auto& r : rows) EXPECT_EQ(Run(r.words, r.roles), r.want) << r.words << " / " << r.roles;

  // Far more words than a candidate holds.
  std::string words = "布", roles = "H";
  for (int i = 0; i < 60; ++i) words += i % 2 ? " a" : " b", roles += " I";
  EXPECT_EQ(Run(words + " 曼", roles + " T"), "#0");
  // The harness refuses lists that do not describe the text.
  for (const char* lens : {"2 2", "2 2 3", "2 0 4"})
    EXPECT_FALSE(rec_->test_ne_mode_match_prepare(*lat_, text_.data(), 6, "B C D", lens)) << lens;
  EXPECT_FALSE(rec_->test_ne_mode_match_prepare(*lat_, text_.data(), 6, "B C Q", "2 2 2"));
  // A path leading into the middle of a character is left alone.
  ASSERT_TRUE(Prepare("王 小 明", "B C D"));
  lat_->m_nodes[2].nNextLen = 3;
  Scan();
  EXPECT_EQ(Names(), "#0");
}

TEST_F(PersonTest, SplitWordsAndAmbiguityMarks) {
  // bnAmb from the second byte of a name to its end; the path stays.
  EXPECT_EQ(Run("他 王 小 明 来", "A B C D A"), "2+6/61@-9 #1");
  EXPECT_EQ(Amb(), "3 4 5 6 7 8 ");
  EXPECT_EQ(lat_->m_nodes[8].MaxItem->length, 2u);
  // "X_HALF D_HALF": only the first word, now Y; the second becomes A.
  Run("王小 明 来", "X_HALF D_HALF A");
  EXPECT_EQ(std::to_string(lat_->m_nodes[4].MaxItem->perIdx) + " " + std::to_string(lat_->m_nodes[6].MaxItem->perIdx),
            "13 50");
  // "B C D" with "和" before another name: "B E".
  EXPECT_EQ(Run("王 小 和 张 三", "B C D B E"), "0+4/61@-6 6+4/61@-6 #2");
  EXPECT_EQ(std::to_string(lat_->m_nodes[4].MaxItem->perIdx), "4");
  // V split: the first character ends the name, the rest is a word.
  EXPECT_EQ(Run("王 小 明天好", "B C V"), "0+6/61@-9 #1");
  EXPECT_EQ(Added(4, 6) + " " + Added(6, 10), "3/0 50/55");
  EXPECT_EQ(Amb(), "1 2 3 4 5 6 10 ");
  // Z split before another name; this rule leaves bnAmb alone.
  EXPECT_EQ(Run("王 明和 张 三", "B Z B E"), "0+4/61@-6 6+4/61@-6 #2");
  EXPECT_EQ(Added(2, 4) + " " + Added(4, 6), "4/0 50/55");
  EXPECT_EQ(Amb(), "1 2 3 4 7 8 9 10 ");
  // U split: the surname starts the name, the rest is a word.
  EXPECT_EQ(Run("老王 小 明", "U C D"), "2+6/61@-9 #1");
  EXPECT_EQ(Added(0, 2) + " " + Added(2, 4), "50/55 1/0");
  EXPECT_EQ(Amb(), "2 3 4 5 6 7 8 ");
  // Splits that do not fit their node: the candidate is dropped.
  EXPECT_EQ(Run("王 明天好", "B V", 1), "#0 full");
  EXPECT_EQ(Run("王 明和 张 三", "B Z B E", 1), "#0 full+");
  EXPECT_EQ(Run("老王 明", "U E", 1), "#0 full");
  ASSERT_TRUE(Prepare("王 小 明 张 大 伟", "B C D B C D"));
  while (AddWord(5, 6, kAttrSingleChar, 55, 4) != nullptr) {
  }
  EXPECT_EQ(Scan(), FullMessage());
  EXPECT_EQ(Names(), "6+6/61@-9 #1");
}

TEST_F(PersonTest, DictionaryWordsTypesAndWeights) {
  Word("李明", {{NE_ROLE_Y, -1.0f}}, 59);
  Word("周杰", {{NE_ROLE_Y, -1.0f}});
  Word("王", {{NE_ROLE_B, -0.5f}});
  Word("小", {{NE_ROLE_C, -1.5f}});
  Word("明", {{NE_ROLE_D_HALF, -2.5f}});
  Word("安娜", {}, 60);
  Word("王小明", {}, 1u << 11);
  Word("天好", {}, 7);
  Word("小明", {{NE_ROLE_A, -0.5f}, {NE_ROLE_Z, -2.0f}});
  Word("小红", {{NE_ROLE_A, -0.5f}});
  Word("和", {{NE_ROLE_E, -1.0f}});
  const struct {
    const char *words, *roles, *want;
  } rows[] = {
      // A Y word alone: type 61 when the word is of type 59, else 62.
      {"他 李明 说 周杰", "A Y A Y", "2+4/61 8+4/62 #2"},
      {"王 小 明", "B C D", "0+6/61@-4.5 #1"},  // D finds the D_HALF entry
      {"玛丽 安娜", "X2 X2", "0+4/62 4+4/62 #2"},  // type 60 splits adjacent X2 words
      {"李 小明", "B Z", "0+6/61@-5 #1"},
      // "B A" with an unambiguous surname and a Z in the list: scored as Z.
      {"王 小明", "B A", "0+6/61@-2.5 #1"}, {"王 小红", "B A", "#0"}, {"李 小明", "B A", "#0"}, {"王 明", "B A", "#0"},
      {"王 ab12", "B A", "#0"},
      {"王 小 和 李明", "B C D A", "0+4/61@-10.3 #1"},  // 小 as E: -9.8
      {"王 明和 周杰", "B Z Y", "0+4/61@-10.3 6+4/62 #2"},  // 明 as E: -9.8
  };
  for (const auto& r : rows) EXPECT_EQ(Run(r.words, r.roles), r.want) << r.words << " / " << r.roles;
  // The name covers a combination word.
  Run("王 小 明", "B C D");
  EXPECT_TRUE(lat_->item(6, lat_->m_nodes[6].ItemsNum - 1)->bcomb);
  Run("李 小 明", "B C D");
  EXPECT_FALSE(lat_->item(6, lat_->m_nodes[6].ItemsNum - 1)->bcomb);
  // "B V" with a dictionary rest keeps the rest's own type and index.
  EXPECT_EQ(Run("王 明天好", "B V"), "0+4/61@-10.3 #1");
  EXPECT_EQ(Added(4, 8), "50/7");
  EXPECT_EQ(lat_->m_nodes[8].ItemsNumNER, 1u);
}

TEST_F(PersonTest, PrefixCandidateFromTheNameModel) {
  Word("小", {{NE_ROLE_C, -1.0f}, {NE_ROLE_E, -2.0f}});
  Word("明", {{NE_ROLE_D, -1.0f}});
  Word("天气", {});
  ASSERT_TRUE(Prepare("王", "B"));
  PersonBigram("明", -1.0f);
  // The prefix "王小" as B E, not counted.
  EXPECT_EQ(Run("王 小 明", "B C D"), "0+4/61@-5 0+6/61@-5 #1");
  ASSERT_TRUE(Prepare("王 小 明", "B C D"));
  while (AddWord(3, 4, kAttrSingleChar, 55, 4) != nullptr) {
  }
  EXPECT_EQ(Scan(), FullMessage());
  EXPECT_EQ(Names(), "0+6/61@-5 #1");
  PersonBigram("明", -6.0f);  // at or below the threshold: no prefix
  EXPECT_EQ(Run("王 小 明", "B C D"), "0+6/61@-5 #1");

  // A V rest joined with the following word, and a U rest with the previous.
  ASSERT_TRUE(Prepare("王 明天 气 了", "B V A A"));
  ASSERT_NE(AddWord(4, 8, Attr("天气"), 0, 8), nullptr);
  Scan();
  EXPECT_EQ(Names(), "0+4/61@-12.8 #1");  // 明 as E: -9.8
  EXPECT_EQ(Added(4, 6), "-");
  EXPECT_EQ(lat_->m_nodes[8].ItemsNumNER, 1u);
  ASSERT_TRUE(Prepare("王 明天 气", "B V A", 2));
  ASSERT_NE(AddWord(4, 8, Attr("天气"), 0, 2), nullptr);
  EXPECT_EQ(Scan(), FullMessage());
  EXPECT_EQ(Names() + " " + Amb(), "#0 8 ");
  ASSERT_TRUE(Prepare("小 老王 明", "A U E"));
  ASSERT_NE(AddWord(0, 4, kAttrSingleChar, 55, 4), nullptr);
  Scan();
  EXPECT_EQ(Names() + " " + Amb(), "4+4/61@-12.8 #1 2 4 5 6 7 8 ");
  EXPECT_EQ(Added(2, 4), "-");
  ASSERT_TRUE(Prepare("小 老王 明", "A U E"));
  ASSERT_NE(AddWord(0, 4, kAttrSingleChar, 0, 1), nullptr);
  EXPECT_EQ(Scan(), FullMessage());
  EXPECT_EQ(Names(), "#0");
  // Nearly the whole item store for the path: the revision grows it in the
  // middle of the candidate.
  const uint32_t alloc = lat_->m_sentence_words.m_alloc_size;
  ASSERT_TRUE(Prepare("对 王 明天好", "A B V", (alloc - 2) / 3));
  Scan();
  EXPECT_GT(lat_->m_sentence_words.m_alloc_size, alloc);
  EXPECT_EQ(Names(), "2+4/61@-12.8 #1");
  EXPECT_EQ(Added(6, 10), "50/55");
}

}  // namespace
}  // namespace pntest
