// Resource training end to end: a small corpus written here is trained into
// a resource directory, which the library then loads and segments with.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "DevSegment.h"
#include "Train.h"
#include "base/PosTag.h"
#include "dict/BasicDict.h"
#include "lm/Ngram.h"
#include "support/gbk_literals.h"
#include "support/seg_handle.h"
#include "support/temp_dir.h"

using namespace lxtrain;
using lxtest::G;
using lxtest::U;
namespace fs = std::filesystem;

namespace {

// `count` paragraphs of `body`, with ids "<date>-01-<article>-<n>".
std::string Paragraphs(const char* date, int article, int count, const std::string& body) {
  std::string c;
  for (int i = 0; i < count; ++i) {
    char id[40];
    std::snprintf(id, sizeof id, "%s-01-%03d-%03d/m  ", date, article, i + 1);
    c += id + body + "\r\n";
  }
  return c;
}

void Feed(Trainer& t, void (Trainer::*add)(std::istream&), const std::string& text) {
  std::istringstream in(text);
  (t.*add)(in);
}

std::string ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The trained dictionary, looked up by word.
struct Dict {
  explicit Dict(const std::string& dir)
      : ok(d.loadBasicDict((dir + "/Core.Lex").c_str(), (dir + "/Core.Prop").c_str())) {}
  int index(const std::string& w) {
    const int v = d.mBasicDict.exactMatchSearch<int>(G(w).c_str(), G(w).size());
    return v < 0 ? -1 : (v & 0x7fffffff);
  }
  // Person roles of a word, or place roles.
  std::set<int> roles(const char* w, bool place = false) {
    const prop_list_t l = place ? d.ln_role_list(uint32_t(index(w))) : d.role_list(uint32_t(index(w)));
    return std::set<int>(l.ids, l.ids + l.len);
  }
  CBasicDict d;
  bool ok;
};

// `text` (UTF-8) segmented with the resources in `dir`, words joined by
// blanks, each with "/tag" under LX_POS, in UTF-8.  Loading must be silent.
std::string Segment(const std::string& dir, int mode, const std::string& text) {
  testing::internal::CaptureStderr();
  const bool ok = LXInitSeg(dir.c_str());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(ok && err.empty()) << dir << ": " << err;
  std::string out;
  if (ok) {
    lxtest::Handle h(mode);
    EXPECT_TRUE(lxtest::Seg(h, G(text)));
    for (int i = 0; i < LXGetResultCnt(h); ++i) {
      pWP wp = LXGetAt(h, i);
      out += (i ? " " : "") + U(wp->word);
      if (mode & LX_POS) out += std::string("/") + pos_tag_string(wp->pos);
    }
  }
  LXUnInitSeg();
  return out;
}

}  // namespace

TEST(TrainerTrain, TrainSegmentAndScore) {
  std::string corpus = Paragraphs("20010101", 1, 6,
                                  G("我们/r  研究/v  生命/n  的/u  起源/n  。/w  研究生/n  学习/v  。/w"));
  corpus += G("20010101-01-001-007/m  １９９８年/t  ，/w  ３/m  年/q  研究生/n  研究/vn  ") +
            G("[东海/ns  大学/n]nt  。/w\r\n\r\n");
  // A malformed paragraph (a token without a tag) and a development one
  // (day 1 + page 1 + article 18 = 20): none of their words is learnt.
  corpus += G("20010101-01-001-008/m  坏词  甲乙/n  。/w\r\n20010101-01-018-001/m  丙丁/n  。/w\r\n");
  lxtest::TempDir tmp("lxtrain_");
  double discount = 0;
  for (const char* sub : {"a", "b"}) {
    Trainer t;
    Feed(t, &Trainer::add_corpus, corpus);
    Feed(t, &Trainer::add_surnames, "欧阳\t100\n张\t50\n");
    std::string error;
    ASSERT_TRUE(t.write(tmp.file(sub), &error)) << error;
    // Sentences: 6 x 2, and the seventh paragraph cut at the comma.
    const TrainSummary& sum = t.summary();
    EXPECT_EQ(std::vector<size_t>({sum.paragraphs_used, sum.paragraphs_dev, sum.paragraphs_malformed,
                                   sum.sentences}), std::vector<size_t>({7, 1, 1, 14}));
    discount = t.summary().discount;
  }
  const std::string a = tmp.file("a");
  size_t files = 0;
  for (const auto& e : fs::recursive_directory_iterator(a)) {  // identical bytes in both runs
    if (!e.is_regular_file()) continue;
    ++files;
    EXPECT_EQ(ReadBytes(e.path()), ReadBytes(fs::path(tmp.file("b")) / fs::relative(e.path(), a)));
  }
  EXPECT_GE(files, 17u);

  Dict dict(a);
  ASSERT_TRUE(dict.ok);

  // Word model: 14 sentence starts, 6 of them 我们; the number class is
  // followed by 年 both times.  Absolute discounting.
  Ngram lm(2);
  ASSERT_TRUE(lm.read_binary((a + "/Ngram.Lex").c_str()));
  ASSERT_TRUE(discount > 0 && discount < 1) << discount;
  VocabIndex ctx[2] = {kIdStart, Vocab_None};
  EXPECT_NEAR(lm.word_prob(VocabIndex(dict.index("我们")), ctx), std::log10((6 - discount) / 14), 1e-5);
  ctx[0] = kIdNumber;
  EXPECT_NEAR(lm.word_prob(VocabIndex(dict.index("年")), ctx), std::log10(1 - discount / 2), 1e-5);

  EXPECT_EQ(Segment(a, LX_POS, "研究生命的起源"), "研究/v 生命/n 的/u 起源/n");
  EXPECT_EQ(Segment(a, LX_S2D, "甲乙丙丁１９９８年"), "甲 乙 丙 丁 1998年");

  // Scored against a gold text: the training text comes back exactly; the
  // other standard's 研究生 命 costs two words and adds the system's two.
  tmp.write("gold", G("我们/r  研究/v  生命/n  的/u  起源/n  。/w\n我们/r  研究生/n  命/n  的/u  起源/n\n"));
  DevSegmentOptions opt;
  opt.resources = a;
  opt.flags = LX_POS;
  Evaluator ev;
  std::string error;
  ASSERT_TRUE(SegmentAndEvaluate(tmp.file("gold"), SegFormat::kAuto, opt, ev, error)) << error;
  const EvalResult& r = ev.result();
  EXPECT_EQ(std::vector<size_t>({r.lines, r.words.gold, r.words.sys, r.words.correct, r.pos_correct}),
            std::vector<size_t>({2, 11, 11, 9, 9}));
  opt.resources = tmp.file("missing");  // an error naming the directory, not a crash
  testing::internal::CaptureStderr();
  EXPECT_FALSE(SegmentAndEvaluate(tmp.file("gold"), SegFormat::kAuto, opt, ev, error));
  testing::internal::GetCapturedStderr();
  EXPECT_NE(error.find("missing"), std::string::npos) << error;

  // Held-out types (never a single character or a factoid word) are text but
  // no dictionary words, unless the word list adds them.
  TrainOptions ho;
  ho.held_out = ChooseHeldOut({G("研究生"), G("生命"), G("命"), G("１９９８年")}, 1.0, 3);
  Trainer th(ho);
  Feed(th, &Trainer::add_corpus, corpus);
  Feed(th, &Trainer::add_lexicon, "生命 10 n\n");
  ASSERT_TRUE(th.write(tmp.file("c"), &error)) << error;
  Dict held(tmp.file("c"));
  EXPECT_EQ(std::vector<int>({held.index("研究生") < 0, held.index("生命") < 0, held.index("研究") < 0,
                              int(th.summary().held_out_tokens), int(th.summary().held_out_listed)}),
            std::vector<int>({1, 0, 0, 13, 1}));
}

TEST(TrainerTrain, NamesPlacesAndWordLists) {
  TrainOptions opt;
  opt.new_places_apart = true;
  opt.organisation_words = true;
  Trainer t(opt);
  Feed(t, &Trainer::add_surnames, "张\t50\n江\t10\n李\t40\n");
  Feed(t, &Trainer::add_corpus,
       Paragraphs("20010102", 2, 4,
                  G("江/nr  泽民/nr  会见/v  客人/n  。/w  张/nr  三/nr  是/v  大学生/n  。/w  ") +
                      G("大学/n  生/v  孩子/n  。/w  孩子/n  工作/v  ３/m  分/q  。/w  ") +
                      G("刘/nr  说/v  ，/w  桥/n  断/v  了/u  。/w  [中央/n  电台/n]nt  播音/v  。/w")) +
           G("20010102-01-002-005/m  他/r  在/p  刘桥/ns  工作/v  。/w  [南方/s  电台/n]nt  说/v\n"));
  // 起源地 is new; 会见客人 and 孩子客人 are compounds of training words;
  // 李小四 is a name (a common surname leads it), which the text's
  // convention writes apart; a two-character one (江河) is taken for an
  // ordinary word the list mistags.
  Feed(t, &Trainer::add_lexicon,
       "起源地 5 n\n会见客人 3 l\n孩子客人 2 n\n李小四 9 nr\n江河 7 nr\n");
  // 生 is a given name of the list; its two-character given names begin
  // with 会 and end with 见, so 会见 may be a whole given name (Z).
  Feed(t, &Trainer::add_given_names, "张生,男\n江生,男\n王五,男\n张会明,女\n江国见,男\n");
  lxtest::TempDir dir("lxtrain_");
  std::string error;
  ASSERT_TRUE(t.write(dir.path(), &error)) << error;
  // 刘桥 is seen once: no word, the path cuts it and its words get place
  // roles.  中央电台 (four times) becomes a word with sub-words, 南方电台
  // (once) does not.
  const TrainSummary& sum = t.summary();
  EXPECT_EQ(std::vector<size_t>({sum.person_names, sum.lexicon_words, sum.lexicon_rejected,
                                 sum.places_apart, sum.places_roled, sum.organisation_words}),
            std::vector<size_t>({8, 2, 2, 1, 1, 1}));

  Dict dict(dir.path());
  ASSERT_TRUE(dict.ok);
  for (const char* w : {"泽民", "会见客人", "孩子客人", "李小四", "刘桥", "南方电台"})
    EXPECT_LT(dict.index(w), 0) << w;
  for (const char* w : {"起源地", "三", "生"}) EXPECT_GE(dict.index(w), 0) << w;
  EXPECT_EQ(Segment(dir.path(), LX_POS | LX_CN, "江河工作"), "江河/n 工作/v");
  // 大学生 is written as two words half of the time: a combination word.
  EXPECT_EQ(dict.d.word_info(dict.index("大学生"))->m_NameEntity, 90);
  // 江 泽 民 on the library's path is B C D; 会见 follows names (L).
  EXPECT_TRUE(dict.roles("江").count(kRoleB) && !dict.roles("会见").count(kRoleB));
  EXPECT_TRUE(dict.roles("会见").count(kRoleL) && dict.roles("会见").count(kRoleZ));
  EXPECT_TRUE(dict.roles("刘", true).count(kRoleLH) && dict.roles("桥", true).count(kRoleLT));
  // Surnames are tagged nrf and given names nrg (the text tags both nr).
  EXPECT_EQ(Segment(dir.path(), LX_POS, "张三会见客人"), "张/nrf 三/nrg 会见/v 客人/n");

  // The path joins 3 and 分, the text writes them apart every time: an
  // ambiguity rule cuts them again.
  EXPECT_EQ(t.summary().ambiguity_rules, 1u);
  EXPECT_EQ(ReadBytes(dir.file("UserAmbRule")), G("3分,1,2\n"));
  EXPECT_EQ(Segment(dir.path(), LX_S2D, "孩子工作３分"), "孩子 工作 3 分");
  EXPECT_EQ(Segment(dir.path(), LX_POS, "中央电台播音"), "中央电台/nt 播音/v");
  EXPECT_EQ(Segment(dir.path(), LX_SGU, "中央电台播音"), "中央 电台 播音");
}

TEST(TrainerTrain, FamiliarSuffixesAreLearntFromNamesWrittenWhole) {
  // 老 follows three surnames in names written whole and is never a given
  // name: 王老 becomes a name.  文 is a given name once (张 文), so 陈文
  // stays unknown although the text writes 王文 and 李文 whole as well.
  Trainer t;
  Feed(t, &Trainer::add_surnames, "王\t90\n张\t80\n李\t70\n陈\t60\n许\t50\n孙\t40\n侯\t30\n");
  Feed(t, &Trainer::add_corpus,
       Paragraphs("20010103", 3, 1,
                  G("许老/nr  说/v  。/w  孙老/nr  说/v  。/w  侯老/nr  说/v  。/w  ") +
                      G("王文/nr  说/v  。/w  李文/nr  说/v  。/w  李文/nr  说/v  。/w  张/nr  文/nr  说/v  。/w")));
  lxtest::TempDir dir("lxtrain_");
  std::string error;
  ASSERT_TRUE(t.write(dir.path(), &error)) << error;
  Dict dict(dir.path());
  ASSERT_TRUE(dict.ok);
  EXPECT_TRUE(dict.index("王老") >= 0 && dict.index("陈文") < 0);
  EXPECT_EQ(Segment(dir.path(), LX_POS, "陈老说"), "陈老/nr 说/v");
}

TEST(TrainerTrain, ListedWordsTheTextLacksCanBeOrdinaryWordsAsWellAsGivenNames) {
  // 明会 is a word of the general list only; the name list makes it a
  // possible given name (明 begins and 会 ends given names there), and it
  // keeps the role of an ordinary word beside that.
  Trainer t;
  Feed(t, &Trainer::add_surnames, "张\t50\n江\t10\n");
  Feed(t, &Trainer::add_corpus,
       Paragraphs("20010104", 4, 3, G("张/nr  三/nr  会见/v  客人/n  。/w  江/nr  会明/nr  说/v  。/w")));
  Feed(t, &Trainer::add_lexicon, "明会 3 v\n");
  Feed(t, &Trainer::add_given_names, "张会明,女\n江明会,男\n张明国,男\n");
  lxtest::TempDir dir("lxtrain_");
  std::string error;
  ASSERT_TRUE(t.write(dir.path(), &error)) << error;
  Dict dict(dir.path());
  ASSERT_TRUE(dict.ok);
  const std::set<int> listed = dict.roles("明会");
  EXPECT_TRUE(listed.count(kRoleZ) && listed.count(kRoleA));
}
