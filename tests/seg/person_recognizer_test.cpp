// Person-name scan: pattern-trie matches, transliterated names and their
// checks, entity insertion (fields, bnAmb, counters, full nodes), names at
// the sentence edges and in a row, long candidates, store growth, and random
// role sequences through the harness.
#include <random>

#include "seg/person_fixture.h"

namespace pntest {
namespace {

TEST_F(PersonTest, HarnessRejectsListsThatDoNotDescribeTheText) {
  CPersonRecognizer& r = Recognizer();
  const std::string t = gbk("王小明");
  EXPECT_TRUE(r.test_ne_mode_match_prepare(*lat_, t.data(), 6, "B C D", "2 2 2"));
  EXPECT_EQ(lat_->m_nodes[0].nNextLen, 2u);
  EXPECT_EQ(lat_->m_nodes[6].nNextLen, 1u);
  EXPECT_EQ(lat_->m_nodes[4].MaxItem->perIdx, NE_ROLE_C);
  EXPECT_EQ(lat_->m_nodes[4].MaxItem->type, 55);
  EXPECT_FALSE(r.test_ne_mode_match_prepare(*lat_, t.data(), 6, "B C", "2 2 2"));
  EXPECT_FALSE(r.test_ne_mode_match_prepare(*lat_, t.data(), 6, "B C D", "2 2 3"));
  EXPECT_FALSE(r.test_ne_mode_match_prepare(*lat_, t.data(), 6, "B C Q", "2 2 2"));
  EXPECT_FALSE(r.test_ne_mode_match_prepare(*lat_, t.data(), 6, "B C D", "2 0 4"));
  EXPECT_FALSE(r.test_ne_mode_match_prepare(*lat_, t.data(), 0, "", ""));
}

TEST_F(PersonTest, GetNeTypeOfModes) {
  EXPECT_EQ(CPersonRecognizer::_get_ne_type(19), 62);
  EXPECT_EQ(CPersonRecognizer::_get_ne_type(20), 62);
  EXPECT_EQ(CPersonRecognizer::_get_ne_type(21), 62);
  EXPECT_EQ(CPersonRecognizer::_get_ne_type(100), 62);
  EXPECT_EQ(CPersonRecognizer::_get_ne_type(22), 65);
  EXPECT_EQ(CPersonRecognizer::_get_ne_type(23), 66);
  for (int m : {1, 2, 6, 9, 14, 18}) EXPECT_EQ(CPersonRecognizer::_get_ne_type(m), 61) << m;
}

TEST_F(PersonTest, AttributeIndexIsExactMatch) {
  Word("李明", {});
  CPersonRecognizer& r = Recognizer();
  const std::string w = gbk("李明天");
  EXPECT_EQ(r._get_attribute_idx(w.data(), 4), Attr("李明"));
  EXPECT_EQ(r._get_attribute_idx(w.data(), 6), kAttrSingleChar);
  EXPECT_EQ(r._get_attribute_idx(w.data(), 2), kAttrSingleChar);
  EXPECT_EQ(r._get_attribute_idx(w.data(), 0), kAttrSingleChar);
}

// --- Chinese patterns ----------------------------------------------------------------

TEST_F(PersonTest, YWordAloneIsOneWordName) {
  Word("李明", {{NE_ROLE_Y, -1.0f}}, 59);
  Word("周杰", {{NE_ROLE_Y, -1.0f}});
  EXPECT_EQ(Run({"他", "李明", "说", "周杰"}, "A Y A Y"), "");
  const std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].begin, 2u);
  EXPECT_EQ(e[0].length, 4u);
  EXPECT_EQ(e[0].type, 61);  // the word's own type is 59
  EXPECT_EQ(e[0].weight, 0.0f);
  EXPECT_EQ(e[1].begin, 8u);
  EXPECT_EQ(e[1].type, 62);
  EXPECT_EQ(ne_count_, 2);
}

TEST_F(PersonTest, BcdGivesOneItemAtTheLastNode) {
  Run({"他", "王", "小", "明", "来"}, "A B C D A");
  const std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].begin, 2u);
  EXPECT_EQ(e[0].length, 6u);
  EXPECT_EQ(e[0].type, 61);
  EXPECT_FLOAT_EQ(e[0].weight, 3 * kNoDict);
  EXPECT_EQ(e[0].node_items_ner, 1u);
  EXPECT_EQ(lat_->m_nodes[8].ItemsNum, 2u);
  EXPECT_EQ(ne_count_, 1);
  for (uint32_t p = 0; p <= text_.size(); ++p)
    EXPECT_EQ(lat_->m_nodes[p].bnAmb, p >= 3 && p <= 8) << p;
  // The chosen path is not touched.
  EXPECT_EQ(lat_->m_nodes[8].MaxItem->length, 2u);
  EXPECT_EQ(lat_->m_nodes[6].nNextLen, 2u);
  EXPECT_EQ(ctx_.mode, 1);
}

TEST_F(PersonTest, WeightUsesDictionaryRoleProbabilities) {
  Word("王", {{NE_ROLE_B, -0.5f}});
  Word("小", {{NE_ROLE_C, -1.5f}});
  Word("明", {{NE_ROLE_D_HALF, -2.5f}});
  Run({"王", "小", "明"}, "B C D");
  const std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_FLOAT_EQ(e[0].weight, -4.5f);  // D matches the D_HALF entry
}

TEST_F(PersonTest, NamesAtBothEdgesAndInARow) {
  Run({"王", "小", "明", "张", "大", "伟", "李", "四"}, "B C D B C D B E");
  const std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0].begin, 0u);
  EXPECT_EQ(e[0].length, 6u);
  EXPECT_EQ(e[1].begin, 6u);
  EXPECT_EQ(e[1].length, 6u);
  EXPECT_EQ(e[2].begin, 12u);
  EXPECT_EQ(e[2].length, 4u);
  EXPECT_EQ(ne_count_, 3);
  EXPECT_FALSE(lat_->m_nodes[0].bnAmb);
  EXPECT_TRUE(lat_->m_nodes[16].bnAmb);
  EXPECT_EQ(ctx_.suc_match_pos, 17u);
  EXPECT_EQ(ctx_.suc_item, nullptr);
}

TEST_F(PersonTest, WalkStopsAtFirstCompletePattern) {
  // "B E" completes before a longer pattern could be looked for; the scan
  // resumes at the word after the E word.
  Run({"王", "明", "小", "红"}, "B E C D");
  const std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].begin, 0u);
  EXPECT_EQ(e[0].length, 4u);
}

TEST_F(PersonTest, IncompletePatternAtSentenceEndIsNoName) {
  EXPECT_EQ(Run({"他", "王", "小"}, "A B C"), "");
  EXPECT_TRUE(Entities().empty());
  EXPECT_EQ(ne_count_, 0);
}

TEST_F(PersonTest, FbRejectedBeforeCRestartsAtTheSurname) {
  Run({"对", "王", "小", "明"}, "F B C D");
  const std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].begin, 2u);
  EXPECT_EQ(e[0].length, 6u);
}

TEST_F(PersonTest, FbAcceptedAndScanResumesAtTheSurname) {
  Run({"对", "王", "说", "明"}, "F B G A");
  const std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].begin, 0u);  // "F B"
  EXPECT_EQ(e[0].length, 4u);
  EXPECT_EQ(e[1].begin, 2u);  // "B G" found from the surname again
  EXPECT_EQ(e[1].length, 4u);
}

TEST_F(PersonTest, FbBeforeZIsRejected) {
  Run({"对", "王", "小明"}, "F B Z");
  const std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 1u);  // only "B Z"
  EXPECT_EQ(e[0].begin, 2u);
  EXPECT_EQ(e[0].length, 6u);
}

TEST_F(PersonTest, XHalfDHalfShrinksToTheFirstWord) {
  Run({"王小", "明", "来"}, "X_HALF D_HALF A");
  const std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].begin, 0u);
  EXPECT_EQ(e[0].length, 4u);
  EXPECT_EQ(e[0].type, 62);
  EXPECT_EQ(Role(4), NE_ROLE_Y);
  EXPECT_EQ(Role(6), NE_ROLE_A);
  EXPECT_TRUE(lat_->m_nodes[4].bnAmb);
  EXPECT_FALSE(lat_->m_nodes[5].bnAmb);
}

TEST_F(PersonTest, XdAndUeKeepType61) {
  // "X D" then "U E" (the U word is split by the revision rules).
  Run({"王小", "明", "和", "老张", "三"}, "X D A U E");
  const std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].begin, 0u);
  EXPECT_EQ(e[0].length, 6u);
  EXPECT_EQ(e[0].type, 61);
  EXPECT_EQ(e[1].begin, 10u);  // from the surname on
  EXPECT_EQ(e[1].length, 4u);
  EXPECT_EQ(e[1].type, 61);
}

// --- Transliterated names ------------------------------------------------------------

TEST_F(PersonTest, TransliteratedWalkHIT) {
  Run({"见", "布", "什", "曼", "了"}, "A H I T A");
  const std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].begin, 2u);
  EXPECT_EQ(e[0].length, 6u);
  EXPECT_EQ(e[0].type, 62);
  EXPECT_EQ(ctx_.mode, 20);
}

TEST_F(PersonTest, TransliteratedWalkMustEndWithTOrX2) {
  Run({"布", "什", "曼", "了"}, "H I I A");
  EXPECT_TRUE(Entities().empty());
  Run({"布", "什", "了"}, "H A A");
  EXPECT_TRUE(Entities().empty());
}

TEST_F(PersonTest, SingleX2WordIsAName) {
  Run({"他", "安娜", "说"}, "A X2 A");
  std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].begin, 2u);
  EXPECT_EQ(e[0].length, 4u);
  EXPECT_EQ(ctx_.mode, 21);
  Run({"安娜"}, "X2");
  e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].type, 62);
}

TEST_F(PersonTest, AdjacentX2WordsSplitAtType60) {
  Word("安娜", {}, 60);
  Run({"玛丽", "安娜"}, "X2 X2");
  std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].begin, 0u);
  EXPECT_EQ(e[0].length, 4u);
  EXPECT_EQ(e[1].begin, 4u);
  EXPECT_EQ(e[1].length, 4u);
  Run({"玛丽", "露西"}, "X2 X2");
  e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].length, 8u);
}

TEST_F(PersonTest, TransliteratedLengthLimit) {
  // 31 bytes: 5 + 5 + 5 characters and one ASCII letter.
  Run({"阿布杜拉赫", "曼伊本萨勒", "玛卡西姆达x"}, "H I T");
  std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].length, 31u);
  Run({"阿布杜拉赫", "曼伊本萨勒", "玛卡西姆达xy"}, "H I T");
  EXPECT_TRUE(Entities().empty());
}

TEST_F(PersonTest, VeryLongTransliteratedRunIsNoName) {
  // Far more words than a candidate holds and more bytes than a name has.
  std::vector<std::string> words(1, "布");
  std::string roles = "H";
  for (int i = 0; i < 60; ++i) {
    words.push_back(i % 2 ? "a" : "b");
    roles += " I";
  }
  words.push_back("曼");
  roles += " T";
  Run(words, roles);
  EXPECT_TRUE(Entities().empty());
}

TEST_F(PersonTest, RepeatedCharacterRejectsTransliteratedName) {
  Run({"布", "拉拉拉", "曼"}, "H I T");
  EXPECT_TRUE(Entities().empty());
  Run({"布", "拉拉", "曼"}, "H I T");
  EXPECT_EQ(Entities().size(), 1u);
  Run({"x", "aaa", "y"}, "H I T");
  EXPECT_TRUE(Entities().empty());
}

TEST_F(PersonTest, HE2IsCheckedLikeTransliteratedNames) {
  Run({"布", "什"}, "H E2");
  std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].type, 62);
  EXPECT_EQ(ctx_.mode, 19);
  Run({"布布", "布"}, "H E2");
  EXPECT_TRUE(Entities().empty());
}

TEST_F(PersonTest, SingleLettersNeedSeparators) {
  Run({"J", "·", "K"}, "H I T");
  EXPECT_EQ(Entities().size(), 1u);
  Run({"J", "-", "Ｋ"}, "H I T");
  EXPECT_EQ(Entities().size(), 1u);
  Run({"J", "K", "L"}, "H I T");
  EXPECT_TRUE(Entities().empty());
  Run({"Ｊ", "K", "L"}, "H I T");  // full-width letter
  EXPECT_TRUE(Entities().empty());
  Run({"John", "K", "·", "Lee"}, "H I I T");
  EXPECT_EQ(Entities().size(), 1u);
}

TEST_F(PersonTest, RangWordNeedsASeparatorAfterIt) {
  Run({"让", "·", "雷诺"}, "H I T");
  EXPECT_EQ(Entities().size(), 1u);
  Run({"让", "雷诺"}, "H T");
  EXPECT_TRUE(Entities().empty());
}

TEST_F(PersonTest, CheckHelpers) {
  EXPECT_FALSE(CPersonRecognizer::_is_copy_word("aaa", 3, 0, 1));
  EXPECT_FALSE(CPersonRecognizer::_is_copy_word("aaa", 3, 1, 3));
  EXPECT_FALSE(CPersonRecognizer::_is_copy_word("aaa", 3, -1, 3));
  EXPECT_TRUE(CPersonRecognizer::_is_copy_word("xaaa", 4, 1, 3));
  EXPECT_FALSE(CPersonRecognizer::_is_copy_word("aab", 3, 0, 3));
  const std::string t = gbk("啊啊啊");
  EXPECT_TRUE(CPersonRecognizer::_is_copy_word(t.data(), 6, 0, 6));
  EXPECT_FALSE(CPersonRecognizer::_is_copy_word(t.data(), 6, 0, 4));
  EXPECT_TRUE(CPersonRecognizer::_is_name_separator("-", 1));
  EXPECT_FALSE(CPersonRecognizer::_is_name_separator("+", 1));
  EXPECT_FALSE(CPersonRecognizer::_is_name_separator("-", 0));
  for (const char* s : {"·", "ˉ", "—", "－"}) {
    const std::string g = gbk(s);
    EXPECT_TRUE(CPersonRecognizer::_is_name_separator(g.data(), g.size())) << s;
  }
  EXPECT_FALSE(CPersonRecognizer::_is_name_separator(gbk("王").data(), 2));
  EXPECT_TRUE(CPersonRecognizer::_is_alpha("xQ", 1, 1));
  EXPECT_FALSE(CPersonRecognizer::_is_alpha("x1", 1, 1));
  EXPECT_TRUE(CPersonRecognizer::_is_alpha(gbk("ａ").data(), 0, 2));
  EXPECT_TRUE(CPersonRecognizer::_is_alpha(gbk("Ｚ").data(), 0, 2));
  EXPECT_FALSE(CPersonRecognizer::_is_alpha(gbk("１").data(), 0, 2));
  EXPECT_FALSE(CPersonRecognizer::_is_alpha("ab", 0, 2));
}

// --- Insertion -------------------------------------------------------------------------

TEST_F(PersonTest, FullNodeDropsTheEntityWithOneMessage) {
  ASSERT_TRUE(Prepare({"王", "小", "明", "张", "大", "伟"}, "B C D B C D"));
  FillNode(6);
  const uint8_t before = lat_->m_nodes[6].ItemsNum;
  EXPECT_EQ(Scan(), FullMessage());
  EXPECT_EQ(lat_->m_nodes[6].ItemsNum, before);
  EXPECT_EQ(lat_->m_nodes[6].ItemsNumNER, 0u);
  EXPECT_FALSE(lat_->m_nodes[3].bnAmb);
  const std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 1u);  // the scan went on after the dropped name
  EXPECT_EQ(e[0].begin, 6u);
  EXPECT_EQ(ne_count_, 1);
}

TEST_F(PersonTest, EntityReservesItsOwnRangeOffThePath) {
  // The shrunk "X_HALF D_HALF" and the prefix cases put items at path
  // nodes; a revision can end a name where the path has no node range.
  Run({"对", "王", "明天好"}, "A B V");
  const tNodeInfo& node = lat_->m_nodes[6];
  ASSERT_NE(node.wsidx, kNoRange);
  EXPECT_EQ(node.size, 4u);  // name-part hint; the entity fits beside it
  EXPECT_EQ(Entities().size(), 1u);
}

TEST_F(PersonTest, CombinationFlagOfTheSpan) {
  Word("王小明", {}, 1u << 11);
  Run({"王", "小", "明"}, "B C D");
  std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 1u);
  const tSegItemInfo* it = lat_->item(6, lat_->m_nodes[6].ItemsNum - 1);
  EXPECT_TRUE(it->bcomb);
  Run({"张", "小", "明"}, "B C D");
  it = lat_->item(6, lat_->m_nodes[6].ItemsNum - 1);
  EXPECT_EQ(it->nAttributeIdx, kAttrPerson);
  EXPECT_FALSE(it->bcomb);
}

TEST_F(PersonTest, StoreGrowthKeepsTheCandidateValid) {
  // Reserve nearly the whole item store for the path, so that the items
  // the revision adds make it grow in the middle of the candidate.
  BuildDict();
  const uint32_t alloc = lat_->m_sentence_words.m_alloc_size;
  const uint32_t cap = (alloc - 2) / 3;  // no growth while preparing
  ASSERT_TRUE(Prepare({"对", "王", "明天好"}, "A B V", cap));
  ASSERT_EQ(lat_->m_sentence_words.m_alloc_size, alloc);
  ASSERT_GE(lat_->m_next_sidx + 4, alloc);
  Scan();
  EXPECT_GT(lat_->m_sentence_words.m_alloc_size, alloc);
  const std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].begin, 2u);
  EXPECT_EQ(e[0].length, 4u);
  EXPECT_EQ(lat_->m_nodes[10].MaxItem->length, 6u);
  ASSERT_NE(Added(6, 10), nullptr);
}

TEST_F(PersonTest, InconsistentPathIsLeftAlone) {
  ASSERT_TRUE(Prepare({"王", "小", "明"}, "B C D"));
  lat_->m_nodes[2].nNextLen = 3;  // leads into the middle of a character
  Scan();
  EXPECT_TRUE(Entities().empty());
  EXPECT_EQ(ne_count_, 0);
}

// --- Random paths ----------------------------------------------------------------------

TEST_F(PersonTest, RandomRolesOnRandomPaths) {
  Word("王", {{NE_ROLE_B, -0.5f}, {NE_ROLE_U, -4.0f}});
  Word("小明", {{NE_ROLE_Z, -1.0f}}, 59);
  Word("明和", {{NE_ROLE_Z, -1.0f}});
  Word("天气", {}, 60);
  Word("三", {});
  BuildDict();
  use_lm_ = true;
  PersonBigram(kAttrSingleChar, -1.0f);
  NeNameMap names;
  CNerResource::_load_all_roles(names);
  std::vector<std::string> role_names;
  for (const auto& kv : names)
    if (kv.first[0] != '<') role_names.push_back(kv.first);
  const std::vector<std::string> pieces = {"王", "小", "明", "和", "张", "三", "天", "气",
                                           "让", "·",  "-",  "a",  "B",  "3",  "余", "万",
                                           "元", "拉", "ａ", "老"};
  std::mt19937 rng(12345);
  for (int round = 0; round < 3000; ++round) {
    const int words = 1 + (int)(rng() % 14);
    std::vector<std::string> ws;
    std::string roles;
    for (int k = 0; k < words; ++k) {
      std::string w;
      const int parts = 1 + (int)(rng() % 3);
      for (int j = 0; j < parts; ++j) w += pieces[rng() % pieces.size()];
      ws.push_back(w);
      roles += (k ? " " : "") + role_names[rng() % role_names.size()];
    }
    const uint32_t capacity = 1 + rng() % 5;
    ASSERT_TRUE(Prepare(ws, roles, capacity)) << roles;
    Scan();
    const uint32_t n = (uint32_t)text_.size();
    int persons = 0;
    for (uint32_t p = 0; p <= n; ++p) {
      const tNodeInfo& node = lat_->m_nodes[p];
      ASSERT_LE(node.ItemsNum, node.size);
      ASSERT_LE(node.ItemsNumNER, node.ItemsNum);
      for (uint32_t j = 0; j < node.ItemsNum; ++j) {
        const tSegItemInfo* it = lat_->item(p, j);
        ASSERT_EQ(it->begin_pos + it->length, p) << roles;
        ASSERT_GT(it->length, 0u);
        if (it->nAttributeIdx == kAttrPerson) {
          ++persons;
          ASSERT_TRUE(it->type == 61 || it->type == 62) << it->type;
        }
      }
    }
    ASSERT_LE(ne_count_, persons);
    // The chosen path is intact.
    uint32_t p = (uint32_t)lat_->m_nodes[0].nNextLen;
    size_t k = 0;
    while (p <= n) {
      ASSERT_LT(k, ws.size());
      ASSERT_EQ(lat_->m_nodes[p].MaxItem->length, gbk(ws[k]).size());
      p += (uint32_t)lat_->m_nodes[p].nNextLen;
      ++k;
    }
    ASSERT_EQ(k, ws.size());
  }
}

}  // namespace
}  // namespace pntest
