// Custom dictionaries end to end, through the exported functions only: which
// entries become custom tokens and phrases, how the readers see them in every
// out mode, class values and names, reloading with LXChangeUserDict, and
// word lists and trees that are malformed.
//
// The resources come from the test resource builder.  Its basic dictionary
// segments the texts used here as follows (path words):
//   我们喜欢北京烤鸭  -> 我们 喜欢 北京 烤 鸭
//   中国人民喜欢上海  -> 中国 人民 喜欢 上海
//   北京大学          -> 北京大学 (one word)
// so the expectations below follow from the matching rules alone.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "LXSegFunc.h"
#include "support/resource_builder.h"
#include "support/seg_handle.h"

using lxtest::gbk;
using lxtest::utf8;

namespace {

using lxtest::Handle;

// A custom token or phrase as the caller sees it in LXGetAllSegInfo.
struct Comb {
  std::string word;  // UTF-8, for readable failures
  size_t sidx;
  size_t eidx;
  int cls;
  int pos;
  bool operator==(const Comb& o) const {
    return word == o.word && sidx == o.sidx && eidx == o.eidx && cls == o.cls && pos == o.pos;
  }
};

std::ostream& operator<<(std::ostream& os, const Comb& c) {
  return os << "{" << c.word << " " << c.sidx << "-" << c.eidx << " cls=0x" << std::hex << c.cls
            << std::dec << " pos=" << c.pos << "}";
}

seg_tokens_t AllInfo(HANDLE h) {
  seg_tokens_t st;
  std::memset(&st, 0, sizeof(st));
  LXGetAllSegInfo(h, st);
  return st;
}

std::vector<Comb> ToCombs(const comb_token_t* t, size_t n) {
  std::vector<Comb> out;
  for (size_t i = 0; i < n; ++i)
    out.push_back({utf8(std::string(t[i].word, t[i].wlen)), t[i].sidx, t[i].eidx, t[i].cls,
                   (int)t[i].pos});
  return out;
}

std::vector<Comb> CustomTokens(HANDLE h) {
  seg_tokens_t st = AllInfo(h);
  return ToCombs(st.custom_defined_tokens, st.custom_tokens_num);
}

std::vector<Comb> CustomPhrases(HANDLE h) {
  seg_tokens_t st = AllInfo(h);
  return ToCombs(st.custom_defined_phrases, st.custom_phrases_num);
}

// Words of the custom tokens only (UTF-8).
std::vector<std::string> CustomWords(HANDLE h) {
  std::vector<std::string> out;
  for (const Comb& c : CustomTokens(h)) out.push_back(c.word);
  return out;
}

std::vector<std::string> FineWords(HANDLE h) {
  seg_tokens_t st = AllInfo(h);
  std::vector<std::string> out;
  for (size_t i = 0; i < st.fine_grain_tokens_num; ++i)
    out.push_back(utf8(std::string(st.fine_grain_seg_tokens[i].word,
                                   st.fine_grain_seg_tokens[i].wlen)));
  return out;
}

bool Seg(HANDLE h, const std::string& utf8_text) {
  const std::string g = gbk(utf8_text);
  return LXSegment(h, g.data(), g.size(), LX_GBK);
}

std::string ClsNames(int cls) { return utf8(LXGetClsAt(nullptr, cls, 0)); }

// Every custom token and phrase must span fine tokens that spell its word.
void ExpectSpansSpellWords(HANDLE h) {
  seg_tokens_t st = AllInfo(h);
  auto check = [&](const comb_token_t* t, size_t n, const char* what) {
    for (size_t i = 0; i < n; ++i) {
      ASSERT_LE(t[i].sidx, t[i].eidx) << what << " " << i;
      ASSERT_LT(t[i].eidx, st.fine_grain_tokens_num) << what << " " << i;
      std::string spelled;
      for (size_t k = t[i].sidx; k <= t[i].eidx; ++k)
        spelled.append(st.fine_grain_seg_tokens[k].word, st.fine_grain_seg_tokens[k].wlen);
      EXPECT_EQ(utf8(spelled), utf8(std::string(t[i].word, t[i].wlen))) << what << " " << i;
    }
  };
  check(st.custom_defined_tokens, st.custom_tokens_num, "custom token");
  check(st.custom_defined_phrases, st.custom_phrases_num, "custom phrase");
}

// --- Fixture ----------------------------------------------------------------------

// Each test builds its own resource directory.  The base set has the system
// classes "none" (id 0) and "brand" (id 1), so user classes are numbered
// from 2 in byte order of their names.
class CustomDictE2E : public ::testing::Test {
 protected:
  void TearDown() override { LXUnInitSeg(); }

  static lxtest::ResourcePlan BasePlan() {
    lxtest::ResourcePlan s = lxtest::default_resource_plan();
    s.custom_files.clear();
    s.sys_entries.clear();
    return s;
  }

  // Builds the resources of `plan` (word lists given in UTF-8 are stored as
  // GBK) and initialises the library; stderr of the initialisation goes to
  // init_stderr_.
  void Init(lxtest::ResourcePlan plan) {
    for (auto& f : plan.custom_files) f.second = gbk(f.second);
    dir_.reset(new lxtest::ResourceDir);
    ASSERT_TRUE(dir_->build(plan)) << dir_->error();
    testing::internal::CaptureStderr();
    const bool ok = LXInitSeg(dir_->path().c_str());
    init_stderr_ = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(ok) << init_stderr_;
  }

  // Writes a new "CustomWord" tree (relative path -> content; `raw` contents
  // are stored as given, others converted to GBK) and switches to it with
  // LXChangeUserDict.  Returns the tree's path; its stderr is in
  // change_stderr_.
  std::string UseTree(const std::map<std::string, std::string>& files, bool raw = false) {
    const std::string rel = "tree" + std::to_string(++trees_) + "/CustomWord";
    const std::string root = dir_->file(rel);
    mkdir(dir_->file("tree" + std::to_string(trees_)).c_str(), 0755);
    mkdir(root.c_str(), 0755);
    for (const auto& f : files)
      EXPECT_TRUE(dir_->write_file(rel + "/" + f.first, raw ? f.second : gbk(f.second)));
    Change(root);
    return root;
  }

  void Change(const std::string& path) {
    testing::internal::CaptureStderr();
    LXChangeUserDict(path.c_str());
    change_stderr_ = testing::internal::GetCapturedStderr();
  }

  std::unique_ptr<lxtest::ResourceDir> dir_;
  std::string init_stderr_;
  std::string change_stderr_;
  int trees_ = 0;
};

// --- Where candidates may start and end -------------------------------------------

TEST_F(CustomDictE2E, CandidatesStartAndEndOnPathWordBoundaries) {
  Init(BasePlan());
  UseTree({{"food/a.txt",
            "京烤\n"       // starts inside 北京
            "喜欢北\n"     // ends inside 北京
            "京烤鸭\n"     // starts inside 北京, ends on a boundary
            "北京烤\n"     // 北京 + 烤
            "大学\n"}});   // inside the single path word 北京大学
  Handle h(LX_USR);
  ASSERT_TRUE(Seg(h, "我们喜欢北京烤鸭"));
  ASSERT_EQ(FineWords(h), (std::vector<std::string>{"我们", "喜欢", "北京", "烤", "鸭"}));
  EXPECT_EQ(CustomWords(h), std::vector<std::string>{"北京烤"});
  ASSERT_TRUE(Seg(h, "北京大学"));
  EXPECT_TRUE(CustomTokens(h).empty());
  EXPECT_EQ(LXGetResultCnt(h), 1);
}

TEST_F(CustomDictE2E, ForwardMaximumMatchingKeepsTheLongestAtEachStart) {
  Init(BasePlan());
  UseTree({{"a/x.txt", "我们喜欢\n喜欢北京\n北京烤\n北京烤鸭\n烤鸭\n"}});
  Handle h(LX_USR);
  ASSERT_TRUE(Seg(h, "我们喜欢北京烤鸭"));
  // Candidates 0-1, 1-2, 2-3, 2-4, 3-4: 1-2 overlaps the first choice, 2-4 is
  // the longest at word 2 and 3-4 lies inside it.
  EXPECT_EQ(CustomTokens(h), (std::vector<Comb>{{"我们喜欢", 0, 1, 2, LX_N},
                                                {"北京烤鸭", 2, 4, 2, LX_N}}));

  // A chain of overlapping entries: 0-1, 1-2, 2-3 gives 0-1 and 2-3.
  UseTree({{"a/x.txt", "我们喜欢\n喜欢北京\n北京烤\n"}});
  ASSERT_TRUE(Seg(h, "我们喜欢北京烤鸭"));
  EXPECT_EQ(CustomWords(h), (std::vector<std::string>{"我们喜欢", "北京烤"}));
  ExpectSpansSpellWords(h);
}

TEST_F(CustomDictE2E, UserEntriesHideSystemEntriesAtTheSameStart) {
  lxtest::ResourcePlan plan = BasePlan();
  plan.sys_entries = {{gbk("北京烤鸭"), 1}, {gbk("我们喜欢"), 1}, {gbk("中国人民"), 1}};
  plan.custom_files["food/a.txt"] = "北京烤\n";
  Init(plan);
  Handle h(LX_USR);
  ASSERT_TRUE(Seg(h, "我们喜欢北京烤鸭"));
  // At 北京 the user entry wins although the system one is longer; at 我们
  // only the system dictionary has an entry.
  EXPECT_EQ(CustomTokens(h), (std::vector<Comb>{{"我们喜欢", 0, 1, 1, LX_N},
                                                {"北京烤", 2, 3, 2, LX_N}}));
  EXPECT_EQ(ClsNames(1), "brand");

  // A user entry hides the system dictionary even when it is no candidate
  // itself (我 ends inside the path word 我们).
  UseTree({{"food/a.txt", "我\n"}});
  ASSERT_TRUE(Seg(h, "我们喜欢北京烤鸭"));
  EXPECT_EQ(CustomWords(h), std::vector<std::string>{"北京烤鸭"});

  // System entries are custom tokens, never phrases, with POS n unless they
  // cover one fine token.
  ASSERT_TRUE(Seg(h, "中国人民"));
  EXPECT_EQ(CustomTokens(h), (std::vector<Comb>{{"中国人民", 0, 1, 1, LX_N}}));
  EXPECT_TRUE(CustomPhrases(h).empty());
}

TEST_F(CustomDictE2E, SingleTokenEntriesTakeTheTokenTagOnlyWhenTheirOwnIsN) {
  lxtest::ResourcePlan plan = BasePlan();
  plan.custom_files["a/x.txt"] = "北京大学\n上海,nz\n";  // 北京大学 is tagged nt by the tagger
  Init(plan);
  Handle h(LX_USR | LX_POS);
  ASSERT_TRUE(Seg(h, "北京大学"));
  EXPECT_EQ(CustomTokens(h), (std::vector<Comb>{{"北京大学", 0, 0, 2, LX_NT}}));
  ASSERT_TRUE(Seg(h, "上海"));
  EXPECT_EQ(CustomTokens(h), (std::vector<Comb>{{"上海", 0, 0, 2, LX_NZ}}));
  // Without LX_POS the fine token carries no tag, and neither does the entry.
  Handle plain(LX_USR);
  ASSERT_TRUE(Seg(plain, "北京大学"));
  EXPECT_EQ(CustomTokens(plain), (std::vector<Comb>{{"北京大学", 0, 0, 2, 0}}));
}

// --- Phrases and views --------------------------------------------------------------

class CustomViews : public CustomDictE2E {
 protected:
  void SetUp() override {
    lxtest::ResourcePlan plan = BasePlan();
    plan.custom_files["food/a.txt"] = "北京烤鸭\n";
    plan.custom_files["place/b.txt"] = "上海,ns\n";
    plan.custom_files["phrase/p.txt"] = "我们喜欢,l\n中国人民\n";
    Init(plan);  // classes: food 2, phrase 3, place 4
  }
  // Fine tokens: 我们0 喜欢1 北京2 烤3 鸭4 。5 中国6 人民7 喜欢8 上海9.
  const std::string text_ = "我们喜欢北京烤鸭。中国人民喜欢上海";
};

TEST_F(CustomViews, TokensAndPhrasesAcrossSentences) {
  Handle h(LX_USR);
  ASSERT_TRUE(Seg(h, text_));
  ASSERT_EQ(FineWords(h).size(), 10u);
  EXPECT_EQ(CustomTokens(h),
            (std::vector<Comb>{{"北京烤鸭", 2, 4, 2, LX_N}, {"上海", 9, 9, 4, LX_NS}}));
  EXPECT_EQ(CustomPhrases(h),
            (std::vector<Comb>{{"我们喜欢", 0, 1, 3, LX_L}, {"中国人民", 6, 7, 3, LX_N}}));
  EXPECT_EQ(ClsNames(3), "phrase");
  ExpectSpansSpellWords(h);
}

TEST_F(CustomViews, EveryOutMode) {
  Handle h(LX_USR);
  ASSERT_TRUE(Seg(h, text_));
  struct Item {
    std::string word;
    bool bcw;
    int cls;
  };
  const std::map<int, std::vector<Item>> views = {
      {OUT_WORD,
       {{"我们", false, -1},
        {"喜欢", false, -1},
        {"北京烤鸭", true, 2},
        {"。", false, -1},
        {"中国", false, -1},
        {"人民", false, -1},
        {"喜欢", false, -1},
        {"上海", true, 4}}},
      {OUT_PHRASE,
       {{"我们喜欢", true, 3},
        {"北京烤鸭", true, 2},
        {"。", false, -1},
        {"中国人民", true, 3},
        {"喜欢", false, -1},
        {"上海", true, 4}}},
      {OUT_SUBPHRASE, {{"我们喜欢", true, 3}, {"中国人民", true, 3}}},
      {9, {}},  // any other value reads the output words
  };
  for (const auto& v : views) {
    const std::vector<Item>& want = v.first == 9 ? views.at(OUT_WORD) : v.second;
    LXSetOutMode(h, (OutMode)v.first);
    ASSERT_EQ(LXGetResultCnt(h), (int)want.size()) << "mode " << v.first;
    for (size_t i = 0; i < want.size(); ++i) {
      const int idx = (int)i;
      EXPECT_EQ(utf8(LXGetWordAt(h, idx)), want[i].word) << "mode " << v.first << " item " << i;
      pWP wp = LXGetAt(h, idx);
      ASSERT_NE(wp, nullptr);
      EXPECT_EQ(utf8(wp->word), want[i].word);
      EXPECT_EQ(wp->bcw, want[i].bcw) << want[i].word;
      EXPECT_EQ(wp->cls, want[i].cls) << want[i].word;
      p_ms_word_t mw = LXMSGetWordAt(h, idx);
      ASSERT_NE(mw, nullptr);
      EXPECT_EQ(utf8(mw->word), want[i].word);
      EXPECT_EQ(mw->idx, 0);
      p_ms_wp_t mwp = LXMSGetAt(h, idx);
      ASSERT_NE(mwp, nullptr);
      EXPECT_EQ(utf8(mwp->word), want[i].word);
      EXPECT_EQ(mwp->bcw, want[i].bcw);
    }
    // One past the end answers null in every reader.
    const int end = (int)want.size();
    EXPECT_EQ(LXGetWordAt(h, end), nullptr);
    EXPECT_EQ(LXGetAt(h, end), nullptr);
    EXPECT_EQ(LXMSGetWordAt(h, end), nullptr);
    EXPECT_EQ(LXMSGetAt(h, end), nullptr);
    EXPECT_EQ(LXGetWordAt(h, -1), nullptr);
  }

  // UTF-8 input: the readers answer in UTF-8, custom items included.
  ASSERT_TRUE(LXSegment(h, text_.data(), text_.size(), LX_UTF8));
  LXSetOutMode(h, OUT_PHRASE);
  ASSERT_EQ(LXGetResultCnt(h), 6);
  EXPECT_STREQ(LXGetWordAt(h, 0), "我们喜欢");
  EXPECT_STREQ(LXGetAt(h, 5)->word, "上海");
  LXSetOutMode(h, OUT_SUBPHRASE);
  EXPECT_STREQ(LXMSGetAt(h, 1)->word, "中国人民");
}

TEST_F(CustomViews, WithoutLxUsrNothingIsMatched) {
  Handle h(0);
  ASSERT_TRUE(Seg(h, text_));
  seg_tokens_t st = AllInfo(h);
  EXPECT_EQ(st.custom_tokens_num, 0u);
  EXPECT_EQ(st.custom_phrases_num, 0u);
  for (OutMode m : {OUT_WORD, OUT_PHRASE}) {
    LXSetOutMode(h, m);
    EXPECT_EQ(LXGetResultCnt(h), 10) << m;
    EXPECT_EQ(utf8(LXGetWordAt(h, 2)), "北京");
    EXPECT_FALSE(LXGetAt(h, 2)->bcw);
  }
  LXSetOutMode(h, OUT_SUBPHRASE);
  EXPECT_EQ(LXGetResultCnt(h), 0);
  // Nothing to read: every index is outside the count.
  EXPECT_EQ(LXGetWordAt(h, 0), nullptr);
}

TEST_F(CustomViews, SentenceCutInsideACustomWord) {
  // 1022 times 的 (2044 bytes), then 北京烤鸭: the splitter cuts after 北京;
  // 的 and 北京 are taken back and segmented again with 烤鸭, so the custom
  // word is found once, over the right fine tokens.
  std::string text;
  for (int i = 0; i < 1022; ++i) text += "的";
  text += "北京烤鸭";
  Handle h(LX_USR);
  ASSERT_TRUE(Seg(h, text));
  std::vector<Comb> t = CustomTokens(h);
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0].word, "北京烤鸭");
  EXPECT_EQ(t[0].eidx, FineWords(h).size() - 1);
  ExpectSpansSpellWords(h);
  LXSetOutMode(h, OUT_WORD);
  EXPECT_EQ(utf8(LXGetWordAt(h, LXGetResultCnt(h) - 1)), "北京烤鸭");

  // An entry over the two tokens taken back is found in the cut sentence,
  // withdrawn with them and found again in the next one: once in the result.
  UseTree({{"a/x.txt", "的北京\n北京烤鸭\n"}});
  ASSERT_TRUE(Seg(h, text));
  t = CustomTokens(h);
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0].word, "的北京");
  EXPECT_EQ(t[0].eidx, FineWords(h).size() - 3);
  ExpectSpansSpellWords(h);
}

TEST_F(CustomDictE2E, EntryOverAWordWithTwoSegmentations) {
  // Under LX_WMUL the path word 和服装 gives four fine tokens (both
  // segmentations); an entry over that word spans all four.
  lxtest::ResourcePlan plan = BasePlan();
  plan.custom_files["a/x.txt"] = "和服装\n";
  Init(plan);
  Handle h(LX_USR | LX_WMUL);
  ASSERT_TRUE(Seg(h, "和服装"));
  ASSERT_EQ(FineWords(h), (std::vector<std::string>{"和服", "装", "和", "服装"}));
  EXPECT_EQ(CustomTokens(h), (std::vector<Comb>{{"和服装", 0, 3, 2, LX_N}}));
  LXSetOutMode(h, OUT_WORD);
  ASSERT_EQ(LXGetResultCnt(h), 1);
  EXPECT_EQ(utf8(LXGetWordAt(h, 0)), "和服装");
  EXPECT_EQ(LXMSGetWordAt(h, 0)->idx, 0);
}

// --- Classes --------------------------------------------------------------------------

TEST_F(CustomDictE2E, DuplicateWordsAcrossClassesAndTheFourClassLimit) {
  lxtest::ResourcePlan plan = BasePlan();
  // Classes in byte order: a 2, b 3, c 4, d 5, e 6, phrase 7, zoo 8.
  plan.custom_files["a/x.txt"] = "北京烤鸭,nz\n";
  plan.custom_files["b/x.txt"] = "北京烤鸭,v\n北京烤鸭\n";  // twice in one class: one id
  plan.custom_files["c/x.txt"] = "北京烤鸭\n";
  plan.custom_files["d/x.txt"] = "北京烤鸭\n";
  plan.custom_files["e/x.txt"] = "北京烤鸭\n";  // a fifth class is dropped
  plan.custom_files["phrase/p.txt"] = "我们喜欢\n";
  plan.custom_files["zoo/z.txt"] = "我们喜欢,v\n";  // first seen as a phrase: stays one
  Init(plan);
  Handle h(LX_USR);
  ASSERT_TRUE(Seg(h, "我们喜欢北京烤鸭"));
  // The first list (class a) decides POS and phrase flag.
  EXPECT_EQ(CustomTokens(h), (std::vector<Comb>{{"北京烤鸭", 2, 4, 0x05040302, LX_NZ}}));
  EXPECT_EQ(CustomPhrases(h), (std::vector<Comb>{{"我们喜欢", 0, 1, 0x0807, LX_N}}));
  EXPECT_EQ(ClsNames(0x05040302), "a|b|c|d");
  EXPECT_EQ(ClsNames(0x0807), "phrase|zoo");
  EXPECT_EQ(LXGetClsNum(h, 0x05040302), 1);
}

TEST_F(CustomDictE2E, ClassNamesOfClassValues) {
  lxtest::ResourcePlan plan = BasePlan();
  plan.custom_files["food/a.txt"] = "北京烤鸭\n";
  plan.custom_files["place/b.txt"] = "上海\n";
  Init(plan);  // none 0, brand 1, food 2, place 3
  EXPECT_EQ(ClsNames(0), "");
  EXPECT_EQ(ClsNames(1), "brand");
  EXPECT_EQ(ClsNames(0x0302), "food|place");
  EXPECT_EQ(ClsNames(0x01030201), "brand|food|place|brand");
  // The handle is not used; the text belongs to the library until the next
  // call.
  Handle h(LX_USR);
  EXPECT_STREQ(LXGetClsAt(h, 0x02, 5), "food");
  // Ids without a name are left out instead of read beyond the names.
  EXPECT_EQ(ClsNames(0xFA02), "food");
  EXPECT_EQ(ClsNames(-1), "");
}

TEST_F(CustomDictE2E, ClassIdZeroWithoutSystemClassNames) {
  lxtest::ResourcePlan plan = BasePlan();
  plan.sys_class_names.clear();  // no id_custname.dict, no cusdata.idx
  plan.custom_files["a/x.txt"] = "北京烤鸭\n我们喜欢\n";
  plan.custom_files["b/x.txt"] = "我们喜欢\n";
  Init(plan);
  EXPECT_NE(init_stderr_.find("id_custname.dict open fail"), std::string::npos) << init_stderr_;
  Handle h(LX_USR);
  ASSERT_TRUE(Seg(h, "我们喜欢北京烤鸭"));
  // Class a got id 0, which reads as "no class"; b got id 1.
  EXPECT_EQ(CustomTokens(h), (std::vector<Comb>{{"我们喜欢", 0, 1, 1, LX_N},
                                                {"北京烤鸭", 2, 4, 0, LX_N}}));
  EXPECT_EQ(ClsNames(0), "");
  EXPECT_EQ(ClsNames(1), "b");
}

// --- Missing or empty dictionaries ----------------------------------------------------

TEST_F(CustomDictE2E, MissingSystemIndexKeepsUserWordsAndClassNames) {
  lxtest::ResourcePlan plan = BasePlan();
  plan.sys_entries = {{gbk("我们喜欢"), 1}};
  plan.custom_files["food/a.txt"] = "北京烤鸭\n";
  Init(plan);
  ASSERT_EQ(std::remove(dir_->file("cusdata.idx").c_str()), 0);
  Change(dir_->file("CustomWord"));
  EXPECT_NE(change_stderr_.find("No cusdata.idx file, go!"), std::string::npos) << change_stderr_;
  Handle h(LX_USR);
  ASSERT_TRUE(Seg(h, "我们喜欢北京烤鸭"));
  EXPECT_EQ(CustomTokens(h), (std::vector<Comb>{{"北京烤鸭", 2, 4, 2, LX_N}}));
  EXPECT_EQ(ClsNames(0x0201), "brand|food");
}

TEST_F(CustomDictE2E, EmptyOrMissingTreeStillMatchesSystemEntries) {
  lxtest::ResourcePlan plan = BasePlan();
  plan.sys_entries = {{gbk("北京烤鸭"), 1}};
  Init(plan);  // CustomWord exists and is empty
  Handle h(LX_USR);
  ASSERT_TRUE(Seg(h, "我们喜欢北京烤鸭"));
  EXPECT_EQ(CustomTokens(h), (std::vector<Comb>{{"北京烤鸭", 2, 4, 1, LX_N}}));

  Change(dir_->file("no/such/CustomWord"));
  ASSERT_TRUE(Seg(h, "我们喜欢北京烤鸭"));
  EXPECT_EQ(CustomWords(h), std::vector<std::string>{"北京烤鸭"});

  // Only the system dictionary's files are missing as well: nothing matches,
  // segmentation goes on.
  ASSERT_EQ(std::remove(dir_->file("cusdata.idx").c_str()), 0);
  Change(dir_->file("CustomWord"));
  ASSERT_TRUE(Seg(h, "我们喜欢北京烤鸭"));
  EXPECT_TRUE(CustomTokens(h).empty());
  EXPECT_EQ(LXGetResultCnt(h), 5);
}

TEST_F(CustomDictE2E, PathWordLongerThanTheLongestUserWordStartsNoCandidate) {
  // A run of letters is one path word.  A system entry of 60 letters is never
  // found while the longest user word is shorter (the limit is then 50
  // bytes): system entries do not raise it.
  const std::string letters60(60, 'q');
  lxtest::ResourcePlan plan = BasePlan();
  plan.sys_entries = {{letters60, 1}, {std::string(50, 'q'), 1}};
  plan.custom_files["a/x.txt"] = "北京烤鸭\n";
  Init(plan);
  Handle h(LX_USR);
  ASSERT_TRUE(Seg(h, letters60));
  ASSERT_EQ(FineWords(h), std::vector<std::string>{letters60});
  EXPECT_TRUE(CustomTokens(h).empty());
  ASSERT_TRUE(Seg(h, std::string(50, 'q')));
  EXPECT_EQ(CustomWords(h), std::vector<std::string>{std::string(50, 'q')});

  // A user word of 60 bytes raises the limit; the system entry is found.  It
  // covers one fine token, so it takes that token's tag (a letter string's).
  UseTree({{"a/x.txt", std::string(60, 'z') + "\n"}});
  ASSERT_TRUE(Seg(h, letters60));
  const seg_tokens_t st = AllInfo(h);
  ASSERT_EQ(st.fine_grain_tokens_num, 1u);
  EXPECT_EQ(CustomTokens(h),
            (std::vector<Comb>{{letters60, 0, 0, 1, st.fine_grain_seg_tokens[0].pos}}));
}

// --- Reloading ---------------------------------------------------------------------------

TEST_F(CustomDictE2E, ChangeUserDictReachesOldAndNewHandles) {
  lxtest::ResourcePlan plan = BasePlan();
  plan.custom_files["food/a.txt"] = "北京烤鸭\n";
  Init(plan);
  Handle before(LX_USR);
  ASSERT_TRUE(Seg(before, "我们喜欢北京烤鸭"));
  ASSERT_EQ(CustomWords(before), std::vector<std::string>{"北京烤鸭"});
  LXSetOutMode(before, OUT_WORD);
  const char* old_word = LXGetWordAt(before, 2);

  UseTree({{"people/a.txt", "我们喜欢\n"}});
  // Results read before the change belong to the handle and stay readable.
  EXPECT_EQ(utf8(old_word), "北京烤鸭");
  EXPECT_EQ(CustomWords(before), std::vector<std::string>{"北京烤鸭"});

  Handle after(LX_USR);
  for (HANDLE h : {before.h, after.h}) {
    ASSERT_TRUE(Seg(h, "我们喜欢北京烤鸭"));
    EXPECT_EQ(CustomTokens(h), (std::vector<Comb>{{"我们喜欢", 0, 1, 2, LX_N}}));
    EXPECT_EQ(ClsNames(2), "people");
  }

  // A path without a "CustomWord" component gives an empty dictionary; the
  // handles go on segmenting.
  const std::string elsewhere = dir_->file("plain");
  ASSERT_TRUE(dir_->write_file("plain/a/x.txt", gbk("我们喜欢\n")));
  Change(elsewhere);
  for (HANDLE h : {before.h, after.h}) {
    ASSERT_TRUE(Seg(h, "我们喜欢北京烤鸭"));
    EXPECT_TRUE(CustomTokens(h).empty());
    EXPECT_EQ(LXGetResultCnt(h), 5);
  }

  // Back to the first tree (a trailing slash does not matter); a null path
  // changes nothing.
  Change(dir_->file("CustomWord") + "/");
  LXChangeUserDict(nullptr);
  for (HANDLE h : {before.h, after.h}) {
    ASSERT_TRUE(Seg(h, "我们喜欢北京烤鸭"));
    EXPECT_EQ(CustomWords(h), std::vector<std::string>{"北京烤鸭"});
  }

  // Many reloads between calls: a handle always uses the current dictionary
  // (AddressSanitizer would catch a freed one).
  for (int i = 0; i < 20; ++i) {
    Change(dir_->file("CustomWord"));
    ASSERT_TRUE(Seg(before, "我们喜欢北京烤鸭"));
  }
  EXPECT_EQ(CustomWords(before), std::vector<std::string>{"北京烤鸭"});
}

TEST_F(CustomDictE2E, HandlesSurviveReinitialisation) {
  lxtest::ResourcePlan plan = BasePlan();
  plan.custom_files["food/a.txt"] = "北京烤鸭\n";
  Init(plan);
  Handle h(LX_USR);
  ASSERT_TRUE(Seg(h, "我们喜欢北京烤鸭"));
  LXUnInitSeg();
  // No resources: the handle fails instead of using freed ones.
  EXPECT_FALSE(Seg(h, "我们喜欢北京烤鸭"));
  EXPECT_EQ(ClsNames(2), "");
  ASSERT_TRUE(LXInitSeg(dir_->path().c_str()));
  ASSERT_TRUE(Seg(h, "我们喜欢北京烤鸭"));
  EXPECT_EQ(CustomWords(h), std::vector<std::string>{"北京烤鸭"});
}

// --- Malformed word lists and trees ----------------------------------------------------------

TEST_F(CustomDictE2E, WordListLineFormats) {
  Init(BasePlan());
  // P is exactly 255 bytes: the loader reads a longer line in pieces of 255
  // bytes, so "P北京烤鸭,v" is the two words P (POS n) and 北京烤鸭 (v).
  // P's path words: 63 times 我们, then abc.
  std::string p;
  for (int i = 0; i < 63; ++i) p += gbk("我们");
  p += "abc";
  ASSERT_EQ(p.size(), 255u);
  std::map<std::string, std::string> files = {
      {"long/x.txt", p + gbk("北京烤鸭,v\n")},
      {"noeol/x.txt", gbk("上海,ns")},                         // no final newline
      {"crlf/x.txt", gbk("中国人民,nt\r\n天气很好\r\n")},      // CRLF line ends
      {"badgbk/x.txt", "\xff\xff\n\x81\n\x80\x80,n\n" + gbk("今天\n")},
      {"pos/x.txt", gbk("喜欢上海,noun\n喜欢北京,N\n我们,\n")},  // unknown POS names
      {"empty/x.txt", ",n\n,\n\n\r\n,,\n"},                    // no word
      {"comments/x.txt", gbk("#喜欢\n//人民\n")},
  };
  UseTree(files, true);
  EXPECT_EQ(change_stderr_.find("unable to open"), std::string::npos) << change_stderr_;
  // Classes: badgbk 2, comments 3, crlf 4, empty 5, long 6, noeol 7, pos 8.
  Handle h(LX_USR);
  ASSERT_TRUE(LXSegment(h, (p + gbk("北京烤鸭")).data(), p.size() + 8, LX_GBK));
  std::vector<Comb> t = CustomTokens(h);
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(gbk(t[0].word), p);
  EXPECT_EQ(t[0].pos, LX_N);
  EXPECT_EQ(t[1], (Comb{"北京烤鸭", 64, 66, 6, LX_V}));

  ASSERT_TRUE(Seg(h, "上海，中国人民天气很好"));
  EXPECT_EQ(CustomTokens(h), (std::vector<Comb>{{"上海", 0, 0, 7, LX_NS},
                                                {"中国人民", 2, 3, 4, LX_NT},
                                                {"天气很好", 4, 6, 4, LX_N}}));
  // Entries with unknown POS names or no word are skipped, comments too.
  ASSERT_TRUE(Seg(h, "我们喜欢上海，喜欢北京，人民"));
  EXPECT_EQ(CustomWords(h), std::vector<std::string>{"上海"});
  // Bytes that are not GBK are entries like any other; valid ones around
  // them load.
  ASSERT_TRUE(Seg(h, "今天"));
  EXPECT_EQ(CustomWords(h), std::vector<std::string>{"今天"});
  ExpectSpansSpellWords(h);
}

TEST_F(CustomDictE2E, TreeWithLinkLoops) {
  Init(BasePlan());
  const std::string root = UseTree({{"food/a.txt", "北京烤鸭\n"}});
  // A link back to the top, a link to itself and a link to a word list: the
  // walk examines entries without following links, so it ends, and lists
  // reached only through a link are not read.
  ASSERT_EQ(symlink("..", (root + "/food/up").c_str()), 0);
  ASSERT_EQ(symlink("self", (root + "/self").c_str()), 0);
  ASSERT_TRUE(dir_->write_file("outside/b.txt", gbk("我们喜欢\n")));
  ASSERT_EQ(symlink(dir_->file("outside/b.txt").c_str(), (root + "/food/b.txt").c_str()), 0);
  Change(root);
  Handle h(LX_USR);
  ASSERT_TRUE(Seg(h, "我们喜欢北京烤鸭"));
  EXPECT_EQ(CustomTokens(h), (std::vector<Comb>{{"北京烤鸭", 2, 4, 2, LX_N}}));
  EXPECT_EQ(ClsNames(2), "food");
}

TEST_F(CustomDictE2E, UnreadableEntries) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop the superuser";
  lxtest::ResourcePlan plan = BasePlan();
  plan.sys_entries = {{gbk("上海"), 1}};
  Init(plan);
  // An unreadable directory is skipped without a word.
  const std::string root =
      UseTree({{"food/a.txt", "北京烤鸭\n"}, {"hidden/sub/b.txt", "我们喜欢\n"}});
  ASSERT_EQ(chmod((root + "/hidden").c_str(), 0), 0);
  Change(root);
  chmod((root + "/hidden").c_str(), 0755);
  EXPECT_EQ(change_stderr_.find("hidden"), std::string::npos) << change_stderr_;
  Handle h(LX_USR);
  ASSERT_TRUE(Seg(h, "我们喜欢北京烤鸭"));
  EXPECT_EQ(CustomWords(h), std::vector<std::string>{"北京烤鸭"});

  // A word list that cannot be opened fails the whole user dictionary and is
  // named on stderr; the system dictionary still answers.
  const std::string locked = root + "/food/locked.txt";
  ASSERT_TRUE(dir_->write_file(locked.substr(dir_->path().size() + 1), gbk("上海\n")));
  ASSERT_EQ(chmod(locked.c_str(), 0), 0);
  Change(root);
  EXPECT_NE(change_stderr_.find("unable to open file: " + locked), std::string::npos)
      << change_stderr_;
  ASSERT_TRUE(Seg(h, "我们喜欢北京烤鸭上海"));
  EXPECT_EQ(CustomTokens(h), (std::vector<Comb>{{"上海", 5, 5, 1, 0}}));
}

}  // namespace
