// Revision rules of surname-initial and U-initial person-name candidates:
// the numeral-before-"张" rejection, "B C D" checks and the "和" rule, the
// two-character prefix candidate, V and U word splits (with and without a
// word joining the rest with its neighbour), "B A" and "B Z", full nodes in
// each addition, and _is_number.
#include "seg/person_fixture.h"

namespace pntest {
namespace {

TEST_F(PersonTest, IsNumber) {
  CPersonRecognizer& r = Recognizer();
  for (const char* s : {"3", "三", "几", "", "12三万", "0"}) {
    const std::string g = gbk(s);
    EXPECT_TRUE(r._is_number(g.data(), (int)g.size())) << s;
  }
  for (const char* s : {"张", "3a", "三张", "-1"}) {
    const std::string g = gbk(s);
    EXPECT_FALSE(r._is_number(g.data(), (int)g.size())) << s;
  }
  const std::string san = gbk("三");
  EXPECT_FALSE(r._is_number(san.data(), 1));  // ends inside a character
  PersonNameResources none = Res();
  none.hanzi_number_dict = nullptr;
  CPersonRecognizer r2(none);
  EXPECT_TRUE(r2._is_number("42", 2));
  EXPECT_FALSE(r2._is_number(san.data(), 2));
}

TEST_F(PersonTest, NumeralBeforeZhangRejects) {
  Run({"三", "张", "小", "明"}, "A B C D");
  EXPECT_TRUE(Entities().empty());
  Run({"35", "张", "明"}, "A B E");
  EXPECT_TRUE(Entities().empty());
  Run({"他", "张", "小", "明"}, "A B C D");
  EXPECT_EQ(Entities().size(), 1u);
  Run({"三", "王", "小", "明"}, "A B C D");  // the rule is about "张" only
  EXPECT_EQ(Entities().size(), 1u);
}

TEST_F(PersonTest, BcdRejections) {
  Run({"余", "万", "元"}, "B C D");
  EXPECT_TRUE(Entities().empty());
  Run({"余", "万", "元多"}, "B C D");
  EXPECT_TRUE(Entities().empty());
  Run({"王", "小", "王"}, "B C D");
  EXPECT_TRUE(Entities().empty());
  Run({"王", "小", "明"}, "B C D");
  EXPECT_EQ(Entities().size(), 1u);
}

TEST_F(PersonTest, BcdWithHeBeforeAnotherNameBecomesBE) {
  Run({"王", "小", "和", "张", "三"}, "B C D B E");
  const std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].begin, 0u);
  EXPECT_EQ(e[0].length, 4u);
  EXPECT_EQ(e[0].type, 61);
  EXPECT_FLOAT_EQ(e[0].weight, 2 * kNoDict);
  EXPECT_EQ(e[1].begin, 6u);
  EXPECT_EQ(e[1].length, 4u);
  EXPECT_EQ(Role(4), NE_ROLE_E);
  EXPECT_EQ(Role(6), NE_ROLE_A);
  EXPECT_EQ(ne_count_, 2);
  EXPECT_FALSE(lat_->m_nodes[5].bnAmb);
}

TEST_F(PersonTest, BcdWithHeBeforeType59Word) {
  Word("李明", {}, 59);
  Run({"王", "小", "和", "李明"}, "B C D A");
  std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].length, 4u);
  // Neither a name role nor type 59/60 after "和": unchanged.
  Run({"王", "小", "和", "天"}, "B C D A");
  e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].length, 6u);
  EXPECT_EQ(Role(6), NE_ROLE_D);
  // "和" ending the sentence: unchanged.
  Run({"王", "小", "和"}, "B C D");
  e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].length, 6u);
}

TEST_F(PersonTest, BcdPrefixCandidateFromTheNameModel) {
  Word("小", {{NE_ROLE_C, -1.0f}, {NE_ROLE_E, -2.0f}});
  Word("明", {{NE_ROLE_D, -1.0f}});
  use_lm_ = true;
  BuildDict();
  PersonBigram(Attr("明"), -1.0f);
  Run({"王", "小", "明"}, "B C D");
  std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].begin, 0u);  // the prefix, at node 4
  EXPECT_EQ(e[0].length, 4u);
  EXPECT_EQ(e[0].type, 61);
  EXPECT_FLOAT_EQ(e[0].weight, kNoDict - 2.0f);
  EXPECT_EQ(e[0].node_items_ner, 1u);
  EXPECT_EQ(e[1].length, 6u);
  EXPECT_FLOAT_EQ(e[1].weight, kNoDict - 1.0f - 1.0f);
  EXPECT_EQ(ne_count_, 1);  // the prefix is not counted
  EXPECT_TRUE(lat_->m_nodes[4].bnAmb);  // inside the main entity

  // At or below the threshold: no prefix.
  PersonBigram(Attr("明"), -6.0f);
  Run({"王", "小", "明"}, "B C D");
  EXPECT_EQ(Entities().size(), 1u);

  // A full node only costs the prefix.
  PersonBigram(Attr("明"), -1.0f);
  ASSERT_TRUE(Prepare({"王", "小", "明"}, "B C D"));
  FillNode(4);
  EXPECT_EQ(Scan(), FullMessage());
  e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].length, 6u);
  EXPECT_EQ(ne_count_, 1);
}

TEST_F(PersonTest, BcvSplitsTheVWord) {
  Run({"王", "小", "明天好"}, "B C V");
  const std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].begin, 0u);
  EXPECT_EQ(e[0].length, 6u);
  EXPECT_EQ(ctx_.mode, 1);
  const tSegItemInfo* part = Added(4, 6);
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(part->perIdx, NE_ROLE_D);
  EXPECT_EQ(part->type, 0);
  const tSegItemInfo* rest = Added(6, 10);
  ASSERT_NE(rest, nullptr);
  EXPECT_EQ(rest->perIdx, NE_ROLE_A);
  EXPECT_EQ(rest->type, 55);
  EXPECT_EQ(rest->length, 4u);
  EXPECT_TRUE(lat_->m_nodes[10].bnAmb);
}

TEST_F(PersonTest, BvSplitsThreeCharacterVWord) {
  Word("天好", {}, 7);
  Run({"王", "明天好"}, "B V");
  const std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].begin, 0u);
  EXPECT_EQ(e[0].length, 4u);
  EXPECT_EQ(e[0].type, 61);
  EXPECT_FLOAT_EQ(e[0].weight, 2 * kNoDict);
  EXPECT_EQ(ctx_.mode, 6);
  const tSegItemInfo* part = Added(2, 4);
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(part->perIdx, NE_ROLE_E);
  EXPECT_EQ(part->nAttributeIdx, kAttrSingleChar);
  const tSegItemInfo* rest = Added(4, 8);
  ASSERT_NE(rest, nullptr);
  EXPECT_EQ(rest->perIdx, NE_ROLE_A);
  EXPECT_EQ(rest->type, 7);  // own type of the dictionary word
  EXPECT_EQ(rest->nAttributeIdx, Attr("天好"));
  EXPECT_EQ(lat_->m_nodes[4].ItemsNumNER, 1u);  // the entity; the name part is not counted
  EXPECT_EQ(lat_->m_nodes[8].ItemsNumNER, 1u);  // the remainder
  EXPECT_TRUE(lat_->m_nodes[8].bnAmb);
  EXPECT_EQ(ctx_.suc_item, rest);
}

TEST_F(PersonTest, VRestJoinedWithTheFollowingWord) {
  Word("天气", {});
  ASSERT_TRUE(Prepare({"王", "明天", "气", "了"}, "B V A A"));
  ASSERT_NE(AddWord(4, 8, Attr("天气"), 0, 8), nullptr);
  Scan();
  const std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].length, 4u);
  EXPECT_EQ(Added(4, 6), nullptr);  // no short remainder at V's node
  int copies = 0;
  for (uint32_t j = 0; j < lat_->m_nodes[8].ItemsNum; ++j)
    if (lat_->item(8, j)->begin_pos == 4 && lat_->item(8, j)->perIdx == NE_ROLE_A) ++copies;
  EXPECT_EQ(copies, 1);
  EXPECT_EQ(lat_->m_nodes[8].ItemsNumNER, 1u);
  EXPECT_TRUE(lat_->m_nodes[8].bnAmb);
  EXPECT_EQ(ctx_.suc_match_pos, 10u);
}

TEST_F(PersonTest, VSplitFailures) {
  Word("天气", {});
  // A V word of one character has nothing to split off.
  Run({"王", "明"}, "B V");
  EXPECT_TRUE(Entities().empty());
  // The remainder does not fit V's node.
  EXPECT_EQ(Run({"王", "明天好"}, "B V", 1), FullMessage());
  EXPECT_TRUE(Entities().empty());
  EXPECT_NE(Added(2, 4), nullptr);  // the name part stays
  // The joined remainder does not fit: the following node gets bnAmb.
  ASSERT_TRUE(Prepare({"王", "明天", "气"}, "B V A", 2));
  ASSERT_NE(AddWord(4, 8, Attr("天气"), 0, 2), nullptr);
  EXPECT_EQ(Scan(), FullMessage());
  EXPECT_TRUE(Entities().empty());
  EXPECT_TRUE(lat_->m_nodes[8].bnAmb);
}

TEST_F(PersonTest, BAWithUnambiguousSurname) {
  Word("小明", {{NE_ROLE_A, -0.5f}, {NE_ROLE_Z, -2.0f}});
  Word("小红", {{NE_ROLE_A, -0.5f}});
  Run({"王", "小明"}, "B A");
  std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].length, 6u);
  EXPECT_FLOAT_EQ(e[0].weight, kNoDict - 2.0f);  // scored as Z
  EXPECT_EQ(Role(6), NE_ROLE_Z);
  EXPECT_EQ(ctx_.mode, 7);

  Run({"王", "小红"}, "B A");  // no Z in its list
  EXPECT_TRUE(Entities().empty());
  Run({"李", "小明"}, "B A");  // not an unambiguous surname
  EXPECT_TRUE(Entities().empty());
  Run({"王", "明"}, "B A");  // not two characters
  EXPECT_TRUE(Entities().empty());
  Run({"王", "ab12"}, "B A");
  EXPECT_TRUE(Entities().empty());
}

TEST_F(PersonTest, BZWithHeBeforeAnotherName) {
  Run({"王", "明和", "张", "三"}, "B Z B E");
  const std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].begin, 0u);
  EXPECT_EQ(e[0].length, 4u);
  EXPECT_FLOAT_EQ(e[0].weight, 2 * kNoDict);
  EXPECT_EQ(e[1].begin, 6u);
  const tSegItemInfo* part = Added(2, 4);
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(part->perIdx, NE_ROLE_E);
  EXPECT_EQ(part->type, 0);
  const tSegItemInfo* rest = Added(4, 6);
  ASSERT_NE(rest, nullptr);
  EXPECT_EQ(rest->perIdx, NE_ROLE_A);
  EXPECT_EQ(rest->type, 55);
  EXPECT_EQ(lat_->m_nodes[6].ItemsNumNER, 1u);
  EXPECT_FALSE(lat_->m_nodes[6].bnAmb);  // this rule leaves bnAmb alone
  EXPECT_FALSE(lat_->m_nodes[5].bnAmb);
  EXPECT_EQ(ctx_.mode, 6);
}

TEST_F(PersonTest, BZUnchangedCases) {
  Run({"王", "小明", "张", "三"}, "B Z B E");
  std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].length, 6u);
  Run({"王", "明和", "天"}, "B Z A");
  e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].length, 6u);
  Run({"王", "明和"}, "B Z");
  e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].length, 6u);
  // The split does not fit: rejected.
  EXPECT_EQ(Run({"王", "明和", "张", "三"}, "B Z B E", 1), FullMessage() + FullMessage());
  e = Entities();
  ASSERT_EQ(e.size(), 0u);
}

TEST_F(PersonTest, USplitMovesTheCandidateToTheSurname) {
  Run({"老王", "小", "明"}, "U C D");
  const std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].begin, 2u);
  EXPECT_EQ(e[0].length, 6u);
  EXPECT_EQ(e[0].type, 61);
  EXPECT_EQ(ctx_.mode, 1);
  const tSegItemInfo* rest = Added(0, 2);
  ASSERT_NE(rest, nullptr);
  EXPECT_EQ(rest->perIdx, NE_ROLE_A);
  EXPECT_EQ(lat_->m_nodes[2].ItemsNumNER, 1u);
  EXPECT_TRUE(lat_->m_nodes[2].bnAmb);
  const tSegItemInfo* surname = Added(2, 4);
  ASSERT_NE(surname, nullptr);
  EXPECT_EQ(surname->perIdx, NE_ROLE_B);
  EXPECT_EQ(surname->type, 0);
  EXPECT_EQ(ctx_.pre_item, rest);
  EXPECT_EQ(ctx_.begin_pos, 2u);
}

TEST_F(PersonTest, UModes) {
  Run({"老王", "小明"}, "U Z");
  EXPECT_EQ(ctx_.mode, 7);
  EXPECT_EQ(Entities().size(), 1u);
  Run({"老王", "明"}, "U E");
  EXPECT_EQ(ctx_.mode, 6);
  Run({"老王", "小", "明"}, "U C D_HALF");
  EXPECT_EQ(ctx_.mode, 16);
  EXPECT_EQ(Entities().size(), 1u);
  // A U word of one character cannot give up its surname.
  Run({"王", "明"}, "U E");
  EXPECT_TRUE(Entities().empty());
}

TEST_F(PersonTest, URestJoinedWithThePreviousWord) {
  ASSERT_TRUE(Prepare({"小", "老王", "明"}, "A U E"));
  ASSERT_NE(AddWord(0, 4, kAttrSingleChar, 55, 4), nullptr);
  Scan();
  const std::vector<Entity> e = Entities();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].begin, 4u);
  EXPECT_EQ(e[0].length, 4u);
  EXPECT_EQ(lat_->m_nodes[4].ItemsNum, 2u);  // the joined word and its copy
  EXPECT_EQ(lat_->m_nodes[4].ItemsNumNER, 1u);
  EXPECT_EQ(Added(2, 4), nullptr);  // no short remainder
  EXPECT_TRUE(lat_->m_nodes[2].bnAmb);
  EXPECT_TRUE(lat_->m_nodes[4].bnAmb);
}

TEST_F(PersonTest, USplitFailures) {
  // The surname does not fit U's node.
  EXPECT_EQ(Run({"老王", "明"}, "U E", 1), FullMessage());
  EXPECT_TRUE(Entities().empty());
  EXPECT_NE(Added(0, 2), nullptr);  // the remainder stays
  // The joined remainder does not fit: the previous word's node gets bnAmb.
  ASSERT_TRUE(Prepare({"小", "老王", "明"}, "A U E"));
  ASSERT_NE(AddWord(0, 4, kAttrSingleChar, 0, 1), nullptr);
  EXPECT_EQ(Scan(), FullMessage());
  EXPECT_TRUE(Entities().empty());
  EXPECT_TRUE(lat_->m_nodes[2].bnAmb);
}

}  // namespace
}  // namespace pntest
