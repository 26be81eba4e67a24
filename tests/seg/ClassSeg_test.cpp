// CSegment / CSegmentPN: loading the shared resources (order, messages,
// failures), unloading, handle construction and mode flags, normalisation,
// the character-class table and the "分之" / "个数" lookups.
#include "seg/ClassSeg.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "dict/BasicDict.h"
#include "dict/CustomDict.h"
#include "dict/DictResource.h"
#include "dict/RuleDict.h"
#include "dict/T2S.h"
#include "lm/Ngram.h"
#include "seg/ClassSegPN.h"
#include "seg/Factoid.h"
#include "seg/char_class.h"
#include "seg/sentence_spliter.h"
#include "support/resource_builder.h"

using lxtest::gbk;

namespace {

// Loads the shared set from `dir`; the text written to stderr goes to
// `err`.
bool Load(const lxtest::ResourceDir& dir, std::string* err = nullptr) {
  DictResource res(dir.path().c_str());
  testing::internal::CaptureStderr();
  const bool ok = CSegment::load_resource(res);
  const std::string e = testing::internal::GetCapturedStderr();
  if (err) *err = e;
  return ok;
}

class ClassSegTest : public ::testing::Test {
 protected:
  void TearDown() override { CSegment::unload_resource(); }
};

// --- Loading -------------------------------------------------------------------

TEST_F(ClassSegTest, LoadsEverySharedResource) {
  lxtest::ResourceDir dir;
  ASSERT_TRUE(dir.build(lxtest::default_resource_plan())) << dir.error();
  std::string err;
  ASSERT_TRUE(Load(dir, &err)) << err;
  EXPECT_EQ(err, "");

  ASSERT_NE(CSegment::m_pBasicDict, nullptr);
  EXPECT_EQ(CSegment::m_pBasicDict->mWordNum, lxtest::default_resource_plan().words.size());
  ASSERT_NE(CSegment::m_pWordLM, nullptr);
  ASSERT_NE(CSegment::m_pPNWordLM, nullptr);
  EXPECT_GT(CSegment::m_pWordLM->num_ngrams(2), 0u);
  EXPECT_NE(CSegment::m_pFactoid, nullptr);
  EXPECT_NE(CSegment::m_pRule, nullptr);
  EXPECT_NE(CSegment::m_t2sdict, nullptr);
  EXPECT_NE(CSegment::m_pSecondDict, nullptr);
  ASSERT_NE(CSegment::m_fuxing_dict, nullptr);
  EXPECT_EQ(CSegment::m_fuxing_dict->num_entries(), 2u);
  ASSERT_NE(CSegment::m_no_amb_xing_dict, nullptr);
  EXPECT_EQ(CSegment::m_no_amb_xing_dict->num_entries(), 3u);
  ASSERT_NE(CSegment::m_loc_suffix_dict, nullptr);
  EXPECT_EQ(CSegment::m_loc_suffix_dict->num_entries(), 2u);
  EXPECT_NE(CSegment::m_chs_array, nullptr);
  EXPECT_NE(CSegmentPN::m_hanzi_number_dict, nullptr);
  // The transition tables hold the builder's values everywhere.
  EXPECT_FLOAT_EQ(CSegment::m_pRoleTTLM[3][5].m_Prob, -1.0f);
  EXPECT_FLOAT_EQ(CSegment::m_pLNRoleTTLM[53][0].m_Bow, -1.0f);
  EXPECT_FLOAT_EQ(CSegment::m_pPOSTTLM[55][55].m_Prob, -1.0f);
  // CSegmentPN::Init built the person pattern trie: B C D is mode 1, Y 100.
  const int bcd[] = {1, 2, 3, INT_MIN};
  const int y[] = {13, INT_MIN};
  const int* v = CSegmentPN::m_pn_mode_trie.find(bcd);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(*v, 1);
  v = CSegmentPN::m_pn_mode_trie.find(y);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(*v, 100);
}

TEST_F(ClassSegTest, UnloadFreesEverythingAndChangesTheGeneration) {
  lxtest::ResourceDir dir;
  ASSERT_TRUE(dir.build(lxtest::default_resource_plan())) << dir.error();
  ASSERT_TRUE(Load(dir));
  CSegment::m_user_dict_path = dir.file("CustomWord");
  testing::internal::CaptureStderr();
  EXPECT_TRUE(CSegment::load_user_dict(dir.path().c_str()));
  testing::internal::GetCapturedStderr();
  ASSERT_NE(CSegment::m_pCustomDict, nullptr);
  const uint64_t gen = CSegment::s_resource_generation;
  const uint64_t ugen = CSegment::s_user_dict_generation;

  CSegment::unload_resource();
  EXPECT_EQ(CSegment::m_pBasicDict, nullptr);
  EXPECT_EQ(CSegment::m_pWordLM, nullptr);
  EXPECT_EQ(CSegment::m_pPNWordLM, nullptr);
  EXPECT_EQ(CSegment::m_pFactoid, nullptr);
  EXPECT_EQ(CSegment::m_pRule, nullptr);
  EXPECT_EQ(CSegment::m_t2sdict, nullptr);
  EXPECT_EQ(CSegment::m_pSecondDict, nullptr);
  EXPECT_EQ(CSegment::m_fuxing_dict, nullptr);
  EXPECT_EQ(CSegment::m_no_amb_xing_dict, nullptr);
  EXPECT_EQ(CSegment::m_loc_suffix_dict, nullptr);
  EXPECT_EQ(CSegment::m_chs_array, nullptr);
  EXPECT_EQ(CSegment::m_pCustomDict, nullptr);
  EXPECT_EQ(CSegmentPN::m_hanzi_number_dict, nullptr);
  EXPECT_EQ(CSegment::m_fenzhi_idx, 0u);
  EXPECT_NE(CSegment::s_resource_generation, gen);
  EXPECT_NE(CSegment::s_user_dict_generation, ugen);
  // Unloading twice is harmless.
  CSegment::unload_resource();
}

// Which shared objects exist after a load that stopped at one file.
struct Loaded {
  bool dict, word_lm, pn_lm, factoid, rule, t2s, ner, seclex, pn_init, chs;
};

Loaded Snapshot() {
  return Loaded{CSegment::m_pBasicDict != nullptr,
                CSegment::m_pWordLM != nullptr,
                CSegment::m_pPNWordLM != nullptr,
                CSegment::m_pFactoid != nullptr,
                CSegment::m_pRule != nullptr,
                CSegment::m_t2sdict != nullptr,
                CSegment::m_fuxing_dict != nullptr,
                CSegment::m_pSecondDict != nullptr && CSegment::m_pSecondDict->m_attr != nullptr,
                CSegmentPN::m_hanzi_number_dict != nullptr,
                CSegment::m_chs_array != nullptr};
}

TEST_F(ClassSegTest, EachMissingFileStopsLoadingWithItsMessage) {
  // In load order: the file removed, the message expected, and how far the
  // loading got (objects created before the failing step stay in place).
  struct Case {
    const char* file;
    std::string (*message)(const lxtest::ResourceDir&);
    Loaded after;
  };
  const Case cases[] = {
      {"Core.Lex",
       [](const lxtest::ResourceDir& d) {
         return "unable to open file: " + d.file("Core.Lex") + "\n or " + d.file("Core.Prop") +
                "\n";
       },
       {true, false, false, false, false, false, false, false, false, false}},
      {"Core.Prop",
       [](const lxtest::ResourceDir& d) {
         return "unable to open file: " + d.file("Core.Lex") + "\n or " + d.file("Core.Prop") +
                "\n";
       },
       {true, false, false, false, false, false, false, false, false, false}},
      {"Ngram.Lex",
       [](const lxtest::ResourceDir& d) {
         return "unable to open file: " + d.file("Ngram.Lex") + "\n";
       },
       {true, true, false, false, false, false, false, false, false, false}},
      {"Ngram_PN.Lex",
       [](const lxtest::ResourceDir& d) {
         return "unable to open file: " + d.file("Ngram_PN.Lex") + "\n";
       },
       {true, true, true, false, false, false, false, false, false, false}},
      {"RoleTT.Lex",
       [](const lxtest::ResourceDir& d) {
         return "unable to open file: " + d.file("RoleTT.Lex") + "\n";
       },
       {true, true, true, false, false, false, false, false, false, false}},
      {"LNRoleTT.Lex",
       [](const lxtest::ResourceDir& d) {
         return "unable to open file: " + d.file("LNRoleTT.Lex") + "\n";
       },
       {true, true, true, false, false, false, false, false, false, false}},
      {"POSTT.Lex",
       [](const lxtest::ResourceDir& d) {
         return "unable to open file: " + d.file("POSTT.Lex") + "\n";
       },
       {true, true, true, true, false, false, false, false, false, false}},
      {"UserAmbRule",
       [](const lxtest::ResourceDir& d) {
         return "unable to open file: " + d.file("UserAmbRule") + " \n";
       },
       {true, true, true, true, true, false, false, false, false, false}},
      {"ner_info",
       [](const lxtest::ResourceDir& d) {
         return "can not open file : " + d.file("ner_info") +
                "\nunable to open file: " + d.file("ner_info") + "\n";
       },
       {true, true, true, true, true, true, false, false, false, false}},
      {"Sec.Lex",
       [](const lxtest::ResourceDir& d) {
         return "unable to open file: " + d.file("Sec.Lex") + " or " + d.file("Sec.Prop") + " \n";
       },
       {true, true, true, true, true, true, true, false, false, false}},
      {"Sec.Prop",
       [](const lxtest::ResourceDir& d) {
         return "unable to open file: " + d.file("Sec.Lex") + " or " + d.file("Sec.Prop") + " \n";
       },
       {true, true, true, true, true, true, true, false, false, false}},
  };
  ASSERT_EQ(sizeof(cases) / sizeof(cases[0]), lxtest::kLoadOrderFileCount);
  for (size_t k = 0; k < lxtest::kLoadOrderFileCount; ++k) {
    const Case& c = cases[k];
    ASSERT_STREQ(c.file, lxtest::kLoadOrderFiles[k]);
    lxtest::ResourceDir dir;
    ASSERT_TRUE(dir.build(lxtest::default_resource_plan())) << dir.error();
    ASSERT_EQ(std::remove(dir.file(c.file).c_str()), 0);
    std::string err;
    EXPECT_FALSE(Load(dir, &err)) << c.file;
    EXPECT_EQ(err, c.message(dir)) << c.file;
    const Loaded got = Snapshot();
    const Loaded& want = c.after;
    EXPECT_EQ(got.dict, want.dict) << c.file;
    EXPECT_EQ(got.word_lm, want.word_lm) << c.file;
    EXPECT_EQ(got.pn_lm, want.pn_lm) << c.file;
    EXPECT_EQ(got.factoid, want.factoid) << c.file;
    EXPECT_EQ(got.rule, want.rule) << c.file;
    EXPECT_EQ(got.t2s, want.t2s) << c.file;
    EXPECT_EQ(got.ner, want.ner) << c.file;
    EXPECT_EQ(got.seclex, want.seclex) << c.file;
    EXPECT_EQ(got.pn_init, want.pn_init) << c.file;
    EXPECT_EQ(got.chs, want.chs) << c.file;
    CSegment::unload_resource();
  }
}

TEST_F(ClassSegTest, DamagedFilesFailWithoutEndingTheProcess) {
  struct Case {
    const char* file;
    std::string content;
  } cases[] = {
      {"Ngram.Lex", "not a model\n"},
      {"Ngram_PN.Lex", ""},
      // A table too short to fill: refused rather than left half stale.
      {"POSTT.Lex", std::string(100, '\0')},
      {"Core.Lex", std::string(12, '\x7f')},
  };
  for (const Case& c : cases) {
    lxtest::ResourceDir dir;
    ASSERT_TRUE(dir.build(lxtest::default_resource_plan())) << dir.error();
    ASSERT_TRUE(dir.write_file(c.file, c.content));
    std::string err;
    EXPECT_FALSE(Load(dir, &err)) << c.file;
    EXPECT_NE(err.find("unable to open file: " + dir.file(c.file)), std::string::npos)
        << c.file << ": " << err;
    CSegment::unload_resource();
  }
}

TEST_F(ClassSegTest, MissingT2sTablesDoNotFailTheLoad) {
  lxtest::ResourceDir dir;
  ASSERT_TRUE(dir.build(lxtest::default_resource_plan())) << dir.error();
  for (const char* f : {"t2s", "t2s.word", "t2s.disable"})
    ASSERT_EQ(std::remove(dir.file(f).c_str()), 0);
  testing::internal::CaptureStdout();  // the t2s loaders report there
  EXPECT_TRUE(Load(dir));
  testing::internal::GetCapturedStdout();
  EXPECT_NE(CSegment::m_t2sdict, nullptr);
  EXPECT_NE(CSegment::m_chs_array, nullptr);
}

TEST_F(ClassSegTest, LoadingAgainReplacesTheSet) {
  lxtest::ResourceDir a, b;
  lxtest::ResourcePlan sb = lxtest::default_resource_plan();
  sb.words.push_back(lxtest::lex_word(gbk("中国人民"), 16));
  ASSERT_TRUE(a.build(lxtest::default_resource_plan())) << a.error();
  ASSERT_TRUE(b.build(sb)) << b.error();
  ASSERT_TRUE(Load(a));
  const uint64_t gen = CSegment::s_resource_generation;
  ASSERT_TRUE(Load(b));
  EXPECT_NE(CSegment::s_resource_generation, gen);
  EXPECT_EQ(CSegment::m_pBasicDict->mWordNum, sb.words.size());
}

// --- Character classes, 分之 and 个数 ---------------------------------------------------

TEST_F(ClassSegTest, CharacterClassTable) {
  lxtest::ResourceDir dir;
  ASSERT_TRUE(dir.build(lxtest::default_resource_plan())) << dir.error();
  ASSERT_TRUE(Load(dir));
  const int* t = CSegment::m_chs_array;
  ASSERT_NE(t, nullptr);
  const char* unit = "年月日天号时分秒";
  const char* mag = "十百千万亿";
  const char* dig = "一二三四五六七八九";
  struct Group {
    const char* chars;
    int cls;
  } groups[] = {{unit, 0}, {mag, 1}, {dig, 2}};
  size_t classed = 0;
  for (const Group& g : groups) {
    const std::string s = gbk(g.chars);
    for (size_t i = 0; i + 1 < s.size(); i += 2) {
      EXPECT_EQ(chs_class(t, s.data() + i), g.cls) << i;
      ++classed;
    }
  }
  EXPECT_EQ(classed, 22u);
  size_t other = 0;
  for (size_t i = 0; i < kChsArraySize; ++i) other += t[i] == -1;
  EXPECT_EQ(other, kChsArraySize - 22);
  // The code has the lead byte in the low half: "一" is 0xBBD2, "个" 0xF6B8.
  EXPECT_EQ(t[0xBBD2], 2);
  EXPECT_EQ(t[0xD2BB], -1);
  EXPECT_EQ(chs_code(gbk("个").data()), 0xF6B8);
}

TEST_F(ClassSegTest, FenzhiAndGeshuIndexes) {
  lxtest::ResourceDir dir;
  ASSERT_TRUE(dir.build(lxtest::default_resource_plan())) << dir.error();
  ASSERT_TRUE(Load(dir));
  ASSERT_GE(dir.word_index(gbk("分之")), 0);
  EXPECT_EQ(CSegment::m_fenzhi_idx, (size_t)dir.word_index(gbk("分之")) + 1);
  {
    CSegmentPN h(0, CSegment::kNodeCapacity);
    EXPECT_EQ(h.GESHU_INDEX, (uint32_t)dir.word_index(gbk("个数")));
  }
  CSegment::unload_resource();

  // A dictionary without them: 0 and all bits set.
  lxtest::ResourcePlan plan = lxtest::default_resource_plan();
  std::vector<basic_dict_entry_t> kept;
  for (const basic_dict_entry_t& e : plan.words)
    if (e.word != gbk("分之") && e.word != gbk("个数")) kept.push_back(e);
  plan.words = kept;
  lxtest::ResourceDir other;
  ASSERT_TRUE(other.build(plan)) << other.error();
  ASSERT_TRUE(Load(other));
  EXPECT_EQ(CSegment::m_fenzhi_idx, 0u);
  CSegmentPN h(0, CSegment::kNodeCapacity);
  EXPECT_EQ(h.GESHU_INDEX, 0xFFFFFFFFu);
}

// --- Handles -----------------------------------------------------------------------

TEST_F(ClassSegTest, ConstructionWithoutResourcesWarnsAndCannotSegment) {
  testing::internal::CaptureStderr();
  CSegmentPN h(0, CSegment::kNodeCapacity);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "error m_pBasicDict == NULL\n");
  EXPECT_FALSE(h.segment("abc", 3, LX_GBK));
  EXPECT_EQ(h.get_tokens_count(), 0);
  EXPECT_EQ(h.get_word_at(0), nullptr);
}

TEST_F(ClassSegTest, ConstructionSizesTheHandle) {
  lxtest::ResourceDir dir;
  ASSERT_TRUE(dir.build(lxtest::default_resource_plan())) << dir.error();
  ASSERT_TRUE(Load(dir));
  CSegmentPN h(0, CSegment::kNodeCapacity);
  EXPECT_EQ(h.m_nNodeMaxNum, 4097u);
  EXPECT_EQ(h.m_buf_charset_conv_size, 4096u);
  ASSERT_NE(h.m_sentbreaker, nullptr);
  EXPECT_EQ(h.m_sentbreaker->m_sentence_maxlen, 2048u);
  EXPECT_EQ(h.m_segtoken_saver.m_out_mode, OUT_WORD);
  EXPECT_EQ(h.m_lattice_builder.m_pworddict, CSegment::m_pBasicDict);
  EXPECT_EQ(h.m_lattice_builder.m_pfactdict, CSegment::m_pFactoid);
  EXPECT_EQ(h.m_segtoken_saver.m_pbasicdict, CSegment::m_pBasicDict);
  EXPECT_EQ(h.m_segtoken_saver.m_pfuxingdict, CSegment::m_fuxing_dict);
  EXPECT_EQ(h.m_segtoken_saver.m_plocation_suffix_dict, CSegment::m_loc_suffix_dict);
  EXPECT_GE(h.m_lattice.m_sentence_words.m_alloc_size, 16384u);

  // A UTF-8 text longer than the buffer makes it twice the text's length.
  std::string big(5000, 'a');
  ASSERT_TRUE(h.segment(big.data(), big.size(), LX_UTF8));
  EXPECT_EQ(h.m_buf_charset_conv_size, 10000u);
}

TEST_F(ClassSegTest, ModeFlagsSetTheirMembers) {
  struct Flag {
    int bit;
    bool CSegment::*member;
  } flags[] = {
      {LX_ENGU, &CSegment::m_benfg},   {LX_GU, &CSegment::m_bfg},
      {LX_POS, &CSegment::m_bpos},     {LX_USR, &CSegment::m_bcw},
      {LX_S2D, &CSegment::m_bs2d},     {LX_U2L, &CSegment::m_bu2l},
      {LX_CLS, &CSegment::m_bcls},     {LX_RUL, &CSegment::m_brule},
      {LX_CN, &CSegment::m_bperson},   {LX_T2S, &CSegment::m_bt2s},
      {LX_PGU, &CSegment::m_bpgu},     {LX_LGU, &CSegment::m_blgu},
      {LX_SGU, &CSegment::m_bsgu},     {LX_CUT, &CSegment::m_bCUT},
      {LX_CONV, &CSegment::m_bconv},   {LX_WMUL, &CSegment::m_bwms},
      {LX_PMUL, &CSegment::m_bpms},    {LX_SECPOS, &CSegment::m_bsecpos},
      {LX_SYN, &CSegment::m_bsynonym}, {LX_LN, &CSegment::m_bLocation},
      {LX_WGU, &CSegment::m_bwgu},
  };
  testing::internal::CaptureStderr();  // no resources: construction warns
  for (const Flag& f : flags) {
    CSegmentPN h(f.bit, CSegment::kNodeCapacity);
    for (const Flag& g : flags) EXPECT_EQ(h.*(g.member), f.bit == g.bit) << f.bit << " " << g.bit;
  }
  {
    CSegmentPN h(LX_TEXT, CSegment::kNodeCapacity);
    EXPECT_FALSE(h.m_btextseg);
    CSegmentPN h2(LX_TEXT | LX_CN, CSegment::kNodeCapacity);
    EXPECT_TRUE(h2.m_btextseg);
  }
  {
    CSegmentPN h(LX_WMUL | LX_WGU, CSegment::kNodeCapacity);
    EXPECT_FALSE(h.m_bwms);
    EXPECT_TRUE(h.m_segtoken_saver.m_bwms);  // the saver keeps LX_WMUL
  }
  {
    CSegmentPN h(LX_POS | LX_USR | LX_NEW_RES | LX_CLS, CSegment::kNodeCapacity);
    EXPECT_TRUE(h.m_segtoken_saver.m_bpostag);
    EXPECT_TRUE(h.m_segtoken_saver.m_busr);
    EXPECT_TRUE(h.m_segtoken_saver.m_bnew_result);
    EXPECT_TRUE(h.m_segtoken_saver.m_bcls);
  }
  testing::internal::GetCapturedStderr();
}

TEST_F(ClassSegTest, HandlesRebindAfterReload) {
  lxtest::ResourceDir dir;
  ASSERT_TRUE(dir.build(lxtest::default_resource_plan())) << dir.error();
  ASSERT_TRUE(Load(dir));
  CSegmentPN h(0, CSegment::kNodeCapacity);
  ASSERT_TRUE(h.segment("abc", 3, LX_GBK));
  CSegment::unload_resource();
  // Nothing loaded: the handle drops its pointers and refuses to segment.
  EXPECT_FALSE(h.segment("abc", 3, LX_GBK));
  EXPECT_EQ(h.m_lattice_builder.m_pworddict, nullptr);
  EXPECT_EQ(h.m_segtoken_saver.m_pbasicdict, nullptr);
  ASSERT_TRUE(Load(dir));
  EXPECT_TRUE(h.segment("abc", 3, LX_GBK));
  EXPECT_EQ(h.m_lattice_builder.m_pworddict, CSegment::m_pBasicDict);
  EXPECT_EQ(h.m_amb_resolver.m_pRule, CSegment::m_pRule);
  EXPECT_EQ(h.m_amb_resolver.m_pSecondDict, CSegment::m_pSecondDict);
  EXPECT_EQ(h.m_amb_resolver.m_chs_array, CSegment::m_chs_array);
  EXPECT_EQ(h.m_customword_matcher.m_pCustomDict, CSegment::m_pCustomDict);
}

// The back length of a sentence cut for length is the original bytes of the
// two withdrawn tokens.
TEST_F(ClassSegTest, BackLengthIsCountedInOriginalBytes) {
  lxtest::ResourceDir dir;
  ASSERT_TRUE(dir.build(lxtest::default_resource_plan())) << dir.error();
  ASSERT_TRUE(Load(dir));
  struct Case {
    int mode;
    std::string sentence;
    size_t back;  // 0: nothing withdrawn
  } cases[] = {
      // 卡 拉 ok 中国: ok and 中国 are withdrawn, 6 bytes.
      {0, gbk("的的卡拉ok中国"), 6},
      {LX_S2D, gbk("的的卡拉ok中国"), 6},
      // ＡＢ 中国 under LX_S2D: AB is 2 bytes in the tokens and 4 in the text.
      {LX_S2D, gbk("的的ＡＢ中国"), 8},
      // Without it Ｂ and 中国 are withdrawn.
      {0, gbk("的的ＡＢ中国"), 6},
      // After a 0x80 byte the lattice and the normalisation walk the text
      // differently: "ok" starts inside a character of the original sentence
      // (the normalisation reads 0xAD 'o' as one), so nothing is withdrawn.
      {0, gbk("的的") + "x\x80" + gbk("卡拉ok中国"), 0},
      // Last token of one byte: nothing withdrawn.
      {0, gbk("的的中国") + "x", 0},
  };
  for (const Case& c : cases) {
    CSegmentPN h(c.mode, CSegment::kNodeCapacity);
    h.m_segtoken_saver.reset();
    ASSERT_TRUE(h._segment(c.sentence.data(), c.sentence.size()));
    const size_t tokens = h.m_segtoken_saver.m_seg_token_num;
    ASSERT_GE(tokens, 3u);
    EXPECT_EQ(h._compute_back_len(), c.back) << lxtest::utf8(c.sentence);
    EXPECT_EQ(h.m_segtoken_saver.m_seg_token_num, c.back ? tokens - 2 : tokens);
  }
}

// --- Normalisation -----------------------------------------------------------------

class NormalizeTest : public ClassSegTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.build(lxtest::default_resource_plan())) << dir_.error();
    ASSERT_TRUE(Load(dir_));
  }
  // Normalises `text` on a handle of `mode`; returns {norm, norm_u2l}.
  std::pair<std::string, std::string> Norm(int mode, const std::string& text) {
    CSegmentPN h(mode, CSegment::kNodeCapacity);
    h.m_pText = text.data();
    h.m_nTextLen = text.size();
    h._normalize();
    EXPECT_EQ(h.m_pText, h.m_str_norm_u2l);
    EXPECT_EQ(h.m_str_norm[h.m_nTextLen], '\0');
    EXPECT_EQ(h.m_str_norm_u2l[h.m_nTextLen], '\0');
    return {std::string(h.m_str_norm, h.m_nTextLen), std::string(h.m_str_norm_u2l, h.m_nTextLen)};
  }
  lxtest::ResourceDir dir_;
};

TEST_F(NormalizeTest, FullWidthAsciiBecomesAsciiWithS2D) {
  const std::string fw = "\xA3\xC1\xA3\xC2\xA3\xB1";  // Ａ Ｂ １
  EXPECT_EQ(Norm(LX_S2D, fw), std::make_pair(std::string("AB1"), std::string("ab1")));
  EXPECT_EQ(Norm(0, fw), std::make_pair(fw, fw));
  // The yen sign and the macron stay full-width; so does 0xA3 followed by a
  // byte of 0x80 or below.
  for (const std::string& keep : {std::string("\xA3\xA4"), std::string("\xA3\xFE"),
                                  std::string("\xA3\x80"), std::string("\xA3\x41")})
    EXPECT_EQ(Norm(LX_S2D, keep).first, keep);
  // A full-width space (0xA1 0xA1) is not full-width ASCII.
  EXPECT_EQ(Norm(LX_S2D, "\xA1\xA1").first, "\xA1\xA1");
}

TEST_F(NormalizeTest, LowerCaseCopyLeavesTwoByteCharactersAlone) {
  // 0x81 0x41 is one character whose second byte looks like "A".
  const std::string t = "AbZ\x81\x41Q";
  auto n = Norm(0, t);
  EXPECT_EQ(n.first, t);
  EXPECT_EQ(n.second, "abz\x81\x41q");
}

TEST_F(NormalizeTest, LoneLeadByteAtTheEnd) {
  const std::string t = "ab\xB0";
  EXPECT_EQ(Norm(LX_S2D, t).first, t);
  EXPECT_EQ(Norm(LX_S2D, "\xA3").first, "\xA3");
  // A NUL inside the text is text.
  EXPECT_EQ(Norm(0, std::string("a\0B", 3)).second, std::string("a\0b", 3));
}

TEST_F(NormalizeTest, TraditionalToSimplifiedKeepsTheLength) {
  EXPECT_EQ(Norm(LX_T2S, gbk("中國學生")).first, gbk("中国学生"));
  EXPECT_EQ(Norm(0, gbk("中國")).first, gbk("中國"));
  EXPECT_EQ(Norm(LX_T2S | LX_S2D, gbk("ＡＢ國")).second, "ab" + gbk("国"));
}

TEST_F(NormalizeTest, RawOffsetsMapNormalisedPositionsBack) {
  CSegmentPN h(LX_S2D, CSegment::kNodeCapacity);
  const std::string t = "\xA3\xC1" + gbk("中") + "x";  // Ａ 中 x
  h.m_pText = t.data();
  h.m_nTextLen = t.size();
  h._normalize();
  ASSERT_EQ(h.m_nTextLen, 4u);  // A 中 x
  EXPECT_EQ(h.m_raw_offset[0], 0);
  EXPECT_EQ(h.m_raw_offset[1], 2);
  EXPECT_EQ(h.m_raw_offset[2], CSegment::kNoRawOffset);
  EXPECT_EQ(h.m_raw_offset[3], 4);
  EXPECT_EQ(h.m_raw_offset[4], 5);
  EXPECT_EQ(h.m_raw_len, 5u);
}

}  // namespace
