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
// so the expectations below follow from the matching rules alone.  The base
// set has the system classes "none" (id 0) and "brand" (id 1), so user
// classes are numbered from 2 in byte order of their names.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "LXSegFunc.h"
#include "support/seg_handle.h"

using namespace lxtest;

namespace {

// Custom tokens (or phrases) as "word sidx-eidx cls<hex>/tag, ...", in UTF-8,
// after checking that each spans fine tokens that spell its word (the first
// reading of a word output in two segmentations).
std::string Combs(HANDLE h, bool phrases = false) {
  const seg_tokens_t st = AllInfo(h);
  const comb_token_t* t = phrases ? st.custom_defined_phrases : st.custom_defined_tokens;
  const size_t n = phrases ? st.custom_phrases_num : st.custom_tokens_num;
  std::ostringstream out;
  for (size_t i = 0; i < n; ++i) {
    const std::string word(t[i].word, t[i].wlen);
    std::string spelled;
    for (size_t k = t[i].sidx; k <= t[i].eidx && k < st.fine_grain_tokens_num; ++k)
      if (st.fine_grain_seg_tokens[k].wtype < 2)
        spelled.append(st.fine_grain_seg_tokens[k].word, st.fine_grain_seg_tokens[k].wlen);
    EXPECT_EQ(utf8(spelled), utf8(word)) << "span " << t[i].sidx << "-" << t[i].eidx;
    char tag[16];
    LXPosId2Str(t[i].pos, tag, sizeof tag);
    out << (i ? ", " : "") << utf8(word) << " " << t[i].sidx << "-" << t[i].eidx << " cls"
        << std::hex << t[i].cls << std::dec << "/" << tag;
  }
  return out.str();
}

bool SegU(HANDLE h, const std::string& utf8_text) { return Seg(h, gbk(utf8_text)); }

std::string ClsNames(int cls) { return utf8(LXGetClsAt(nullptr, cls, 0)); }

// The list the out mode selects as "word/tag*cls ..." (the star marks a
// custom item), checking that every reader answers the same word.
std::string View(HANDLE h, bool is_utf8 = false) {
  std::string out;
  for (int i = 0; i < LXGetResultCnt(h); ++i) {
    pWP wp = LXGetAt(h, i);
    p_ms_word_t mw = LXMSGetWordAt(h, i);
    p_ms_wp_t mwp = LXMSGetAt(h, i);
    if (!wp || !mw || !mwp) return "<null at " + std::to_string(i) + ">";
    EXPECT_STREQ(LXGetWordAt(h, i), wp->word);
    EXPECT_STREQ(mw->word, wp->word);
    EXPECT_STREQ(mwp->word, wp->word);
    EXPECT_EQ(mwp->bcw, wp->bcw);
    char tag[16];
    LXPosId2Str(wp->pos, tag, sizeof tag);
    out += (i ? " " : "") + (is_utf8 ? wp->word : utf8(wp->word)) + "/" + tag;
    if (wp->bcw) out += "*" + std::to_string(wp->cls);
  }
  return out;
}

class CustomDictE2E : public ::testing::Test {
 protected:
  void TearDown() override { LXUnInitSeg(); }

  static ResourcePlan BasePlan() {
    ResourcePlan s = default_resource_plan();
    s.custom_files.clear();
    s.sys_entries.clear();
    return s;
  }

  // Builds the resources of `plan` (word lists given in UTF-8 are stored as
  // GBK) and initialises the library; its stderr goes to stderr_.
  void Init(ResourcePlan plan) {
    for (auto& f : plan.custom_files) f.second = gbk(f.second);
    dir_.reset(new ResourceDir);
    ASSERT_TRUE(dir_->build(plan)) << dir_->error();
    testing::internal::CaptureStderr();
    const bool ok = LXInitSeg(dir_->path().c_str());
    stderr_ = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(ok) << stderr_;
  }

  // Writes a new "CustomWord" tree (relative path -> content, converted to
  // GBK unless `raw`) and switches to it.  Returns the tree's path.
  std::string UseTree(const std::map<std::string, std::string>& files, bool raw = false) {
    const std::string rel = "tree" + std::to_string(++trees_) + "/CustomWord";
    for (const auto& f : files)
      EXPECT_TRUE(dir_->write_file(rel + "/" + f.first, raw ? f.second : gbk(f.second)));
    Change(dir_->file(rel));
    return dir_->file(rel);
  }

  void Change(const std::string& path) {
    testing::internal::CaptureStderr();
    LXChangeUserDict(path.c_str());
    stderr_ = testing::internal::GetCapturedStderr();
  }

  std::unique_ptr<ResourceDir> dir_;
  std::string stderr_;
  int trees_ = 0;
};

// Candidates start and end on path-word boundaries; forward maximum matching
// keeps the longest at each start and drops what overlaps a choice; at a
// start where the user dictionary has an entry (even one that is no
// candidate) it hides the system dictionary.  System entries are tokens,
// never phrases.  An entry over one fine token takes that token's tag when
// its own is n.
TEST_F(CustomDictE2E, MatchingRules) {
  ResourcePlan plan = BasePlan();
  plan.sys_entries = {{gbk("北京烤鸭"), 1}, {gbk("我们喜欢"), 1}, {gbk("中国人民"), 1}};
  Init(plan);
  const std::string kText = "我们喜欢北京烤鸭";
  struct Case {
    const char* tree;  // the word list of class "food" (id 2); null: as before
    int mode;
    std::string text, tokens;
  } cases[] = {
      {"京烤\n喜欢北\n京烤鸭\n北京烤\n大学\n", LX_USR, kText,
       "我们喜欢 0-1 cls1/n, 北京烤 2-3 cls2/n"},
      {nullptr, LX_USR, "北京大学", ""},
      {"我们喜欢\n喜欢北京\n北京烤\n北京烤鸭\n烤鸭\n", LX_USR, kText,
       "我们喜欢 0-1 cls2/n, 北京烤鸭 2-4 cls2/n"},
      {"我们喜欢\n喜欢北京\n北京烤\n", LX_USR, kText, "我们喜欢 0-1 cls2/n, 北京烤 2-3 cls2/n"},
      {"我\n", LX_USR, kText, "北京烤鸭 2-4 cls1/n"},
      {nullptr, LX_USR, "中国人民", "中国人民 0-1 cls1/n"},
      {"北京大学\n上海,nz\n", LX_USR | LX_POS, "北京大学", "北京大学 0-0 cls2/nt"},
      {nullptr, LX_USR | LX_POS, "上海", "上海 0-0 cls2/nz"},
      {nullptr, LX_USR, "北京大学", "北京大学 0-0 cls2/unk"},
      {"和服装\n", LX_USR | LX_WMUL, "和服装", "和服装 0-3 cls2/n"},
  };
  for (const Case& c : cases) {
    if (c.tree) UseTree({{"food/a.txt", c.tree}});
    Handle h(c.mode);
    ASSERT_TRUE(SegU(h, c.text));
    EXPECT_EQ(Combs(h), c.tokens) << c.text << " with " << (c.tree ? c.tree : "");
    EXPECT_EQ(Combs(h, true), "");
  }
  // The word with two segmentations (four fine tokens) is one output word.
  Handle h(LX_USR | LX_WMUL);
  ASSERT_TRUE(SegU(h, "和服装"));
  EXPECT_EQ(View(h), "和服装/n*2");
}

class CustomViews : public CustomDictE2E {
 protected:
  void SetUp() override {
    ResourcePlan plan = BasePlan();
    plan.custom_files["food/a.txt"] = "北京烤鸭\n";
    plan.custom_files["place/b.txt"] = "上海,ns\n";
    plan.custom_files["phrase/p.txt"] = "我们喜欢,l\n中国人民\n";
    Init(plan);  // classes: food 2, phrase 3, place 4
  }
  // Fine tokens: 我们0 喜欢1 北京2 烤3 鸭4 。5 中国6 人民7 喜欢8 上海9.
  const std::string text_ = "我们喜欢北京烤鸭。中国人民喜欢上海";
};

TEST_F(CustomViews, EveryOutModeOfTokensAndPhrases) {
  Handle h(LX_USR | LX_POS);
  ASSERT_TRUE(SegU(h, text_));
  EXPECT_EQ(Combs(h), "北京烤鸭 2-4 cls2/n, 上海 9-9 cls4/ns");
  EXPECT_EQ(Combs(h, true), "我们喜欢 0-1 cls3/l, 中国人民 6-7 cls3/n");
  const std::string words = "我们/r 喜欢/v 北京烤鸭/n*2 。/w 中国/ns 人民/n 喜欢/v 上海/ns*4";
  const std::map<int, std::string> views = {
      {OUT_WORD, words},
      {OUT_PHRASE, "我们喜欢/l*3 北京烤鸭/n*2 。/w 中国人民/n*3 喜欢/v 上海/ns*4"},
      {OUT_SUBPHRASE, "我们喜欢/l*3 中国人民/n*3"},
      {9, words}, {-1, words}, {INT32_MAX, words},  // any other value reads the output words
  };
  for (const auto& v : views) {
    LXSetOutMode(h, (OutMode)v.first);
    EXPECT_EQ(View(h), v.second) << "out mode " << v.first;
  }
  EXPECT_EQ(ClsNames(3), "phrase");
  EXPECT_EQ(LXGetClsNum(h, 2), 1);
  // UTF-8 input: the readers answer in UTF-8, custom items included.
  ASSERT_TRUE(Seg(h, text_, LX_UTF8));
  EXPECT_EQ(View(h, true), words);  // out mode 9 reads the words
}

// --- Classes ----------------------------------------------------------------------------

TEST_F(CustomDictE2E, ClassValuesAndNames) {
  ResourcePlan plan = BasePlan();
  // Classes in byte order: a 2, b 3, c 4, d 5, e 6, phrase 7, zoo 8.
  plan.custom_files["a/x.txt"] = "北京烤鸭,nz\n";
  plan.custom_files["b/x.txt"] = "北京烤鸭,v\n北京烤鸭\n";  // twice in one class: one id
  plan.custom_files["b/y.txt"] = "上海\n";                  // a second list of class b
  plan.custom_files["c/x.txt"] = "北京烤鸭\n";
  plan.custom_files["d/x.txt"] = "北京烤鸭\n";
  plan.custom_files["e/x.txt"] = "北京烤鸭\n";  // a fifth class is dropped
  plan.custom_files["phrase/p.txt"] = "我们喜欢\n";
  plan.custom_files["zoo/z.txt"] = "我们喜欢,v\n";  // first seen as a phrase: stays one
  Init(plan);
  Handle h(LX_USR);
  ASSERT_TRUE(SegU(h, "我们喜欢北京烤鸭上海"));
  // The first list (class a) decides POS and phrase flag.
  EXPECT_EQ(Combs(h), "北京烤鸭 2-4 cls5040302/nz, 上海 5-5 cls3/unk");
  EXPECT_EQ(Combs(h, true), "我们喜欢 0-1 cls807/n");
  EXPECT_EQ(LXGetClsNum(h, 0x05040302), 1);
  // Names of class values; ids without a name are left out.
  const std::map<int, std::string> names = {
      {0, ""}, {1, "brand"}, {0x05040302, "a|b|c|d"}, {0x0807, "phrase|zoo"},
      {0x01030201, "brand|a|b|brand"}, {0xFA02, "a"}, {-1, ""}};
  for (const auto& n : names) EXPECT_EQ(ClsNames(n.first), n.second) << std::hex << n.first;
  // The handle and the index are not used.
  EXPECT_STREQ(LXGetClsAt(h, 0x02, 5), "a");
}

// --- Missing dictionaries, reloading -------------------------------------------------------

TEST_F(CustomDictE2E, MissingTreeOrSystemIndex) {
  ResourcePlan plan = BasePlan();
  plan.sys_entries = {{gbk("北京烤鸭"), 1}, {gbk("我们喜欢"), 1}};
  Init(plan);  // CustomWord exists and is empty
  Handle h(LX_USR);
  ASSERT_TRUE(SegU(h, "我们喜欢北京烤鸭"));
  EXPECT_EQ(Combs(h), "我们喜欢 0-1 cls1/n, 北京烤鸭 2-4 cls1/n");
  // Without the system index the user words and all class names remain.
  const std::string tree = UseTree({{"food/a.txt", "北京烤鸭\n"}});
  ASSERT_EQ(std::remove(dir_->file("cusdata.idx").c_str()), 0);
  Change(tree);
  EXPECT_EQ(stderr_, "");  // the system index is optional: its absence is not reported
  ASSERT_TRUE(SegU(h, "我们喜欢北京烤鸭"));
  EXPECT_EQ(Combs(h), "北京烤鸭 2-4 cls2/n");
  EXPECT_EQ(ClsNames(0x0201), "brand|food");
  // Neither: nothing matches, segmentation goes on.
  Change(dir_->file("CustomWord"));
  ASSERT_TRUE(SegU(h, "我们喜欢北京烤鸭"));
  EXPECT_EQ(Combs(h), "");
  EXPECT_EQ(LXGetResultCnt(h), 5);
}

TEST_F(CustomDictE2E, PathWordLongerThanTheLongestUserWordStartsNoCandidate) {
  // A run of letters is one path word.  A system entry of 60 letters is never
  // found while the longest user word is shorter (the limit is then 50
  // bytes): system entries do not raise it.
  const std::string q60(60, 'q'), q50(50, 'q');
  ResourcePlan plan = BasePlan();
  plan.sys_entries = {{q60, 1}, {q50, 1}};
  plan.custom_files["a/x.txt"] = "北京烤鸭\n";
  Init(plan);
  Handle h(LX_USR | LX_POS);
  ASSERT_TRUE(Seg(h, q60));
  EXPECT_EQ(Combs(h), "");
  ASSERT_TRUE(Seg(h, q50));
  EXPECT_EQ(Combs(h), q50 + " 0-0 cls1/nx");
  // A user word of 60 bytes raises the limit; the system entry is found and
  // takes the tag of the one fine token it covers (a letter string's, nx).
  UseTree({{"a/x.txt", std::string(60, 'z') + "\n"}});
  ASSERT_TRUE(Seg(h, q60));
  EXPECT_EQ(Combs(h), q60 + " 0-0 cls1/nx");
}

// --- Malformed word lists and trees ---------------------------------------------------------

TEST_F(CustomDictE2E, WordListLineFormats) {
  Init(BasePlan());
  // P is exactly 255 bytes: the loader reads a longer line in pieces of 255
  // bytes, so "P北京烤鸭,v" is the two words P (POS n) and 北京烤鸭 (v).
  // P's path words: 63 times 我们, then abc.
  std::string p;
  for (int i = 0; i < 63; ++i) p += "我们";
  p += "abc";
  ASSERT_EQ(gbk(p).size(), 255u);
  UseTree({{"long/x.txt", gbk(p + "北京烤鸭,v\n")},
           {"noeol/x.txt", gbk("上海,ns")},                      // no final newline
           {"crlf/x.txt", gbk("中国人民,nt\r\n天气很好\r\n")},   // CRLF line ends
           {"badgbk/x.txt", "\xff\xff\n\x81\n\x80\x80,n\n" + gbk("今天\n")},
           {"pos/x.txt", gbk("喜欢上海,noun\n喜欢北京,N\n我们,\n")},  // unknown POS names
           {"empty/x.txt", ",n\n,\n\n\r\n,,\n"},                  // no word
           {"comments/x.txt", gbk("#喜欢\n//人民\n")}},
          true);
  EXPECT_EQ(stderr_.find("unable to open"), std::string::npos) << stderr_;
  // Classes: badgbk 2, comments 3, crlf 4, empty 5, long 6, noeol 7, pos 8.
  // Entries with unknown POS names or no word are skipped, comments too;
  // bytes that are not GBK are entries like any other.
  const std::pair<std::string, std::string> cases[] = {
      {p + "北京烤鸭", p + " 0-63 cls6/n, 北京烤鸭 64-66 cls6/v"},
      {"上海，中国人民天气很好", "上海 0-0 cls7/ns, 中国人民 2-3 cls4/nt, 天气很好 4-6 cls4/n"},
      {"我们喜欢上海，喜欢北京，人民", "上海 2-2 cls7/ns"},
      {"今天", "今天 0-0 cls2/unk"},
  };
  Handle h(LX_USR);
  for (const auto& c : cases) {
    ASSERT_TRUE(SegU(h, c.first));
    EXPECT_EQ(Combs(h), c.second);
  }
}

TEST_F(CustomDictE2E, LinksAndUnreadableEntries) {
  ResourcePlan plan = BasePlan();
  plan.sys_entries = {{gbk("上海"), 1}};
  Init(plan);
  // Links (back to the top, to itself, to a word list) are not followed, so
  // the walk ends and lists reached only through a link are not read.  An
  // unreadable directory is skipped without a word.
  const bool root_user = geteuid() == 0;  // permissions do not stop the superuser
  const std::string root = UseTree({{"food/a.txt", "北京烤鸭\n"}, {"hidden/sub/b.txt", "我们喜欢\n"}});
  ASSERT_EQ(chmod((root + "/hidden").c_str(), root_user ? 0755 : 0), 0);
  ASSERT_EQ(symlink("..", (root + "/food/up").c_str()) + symlink("self", (root + "/self").c_str()), 0);
  ASSERT_TRUE(dir_->write_file("outside/b.txt", gbk("我们喜欢\n")));
  ASSERT_EQ(symlink(dir_->file("outside/b.txt").c_str(), (root + "/food/b.txt").c_str()), 0);
  Change(root);
  chmod((root + "/hidden").c_str(), 0755);
  EXPECT_EQ(stderr_.find("hidden"), std::string::npos) << stderr_;
  Handle h(LX_USR);
  ASSERT_TRUE(SegU(h, "北京烤鸭"));
  EXPECT_EQ(Combs(h) + " " + ClsNames(2), "北京烤鸭 0-2 cls2/n food");
  if (root_user) return;
  ASSERT_TRUE(SegU(h, "我们喜欢"));
  EXPECT_EQ(Combs(h), "");
  // A word list that cannot be opened fails the whole user dictionary and is
  // named on stderr; the system dictionary still answers.
  const std::string locked = root + "/food/locked.txt";
  ASSERT_TRUE(dir_->write_file(locked.substr(dir_->path().size() + 1), gbk("上海\n")));
  ASSERT_EQ(chmod(locked.c_str(), 0), 0);
  Change(root);
  EXPECT_NE(stderr_.find("unable to open file: " + locked), std::string::npos) << stderr_;
  ASSERT_TRUE(SegU(h, "我们喜欢北京烤鸭上海"));
  EXPECT_EQ(Combs(h), "上海 5-5 cls1/unk");
}

}  // namespace
