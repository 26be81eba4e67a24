// Segmentation scoring: entity spans, figures worked out by
// hand, and files.  (Training, segmenting and scoring together: TrainerTrain.)
#include <gtest/gtest.h>

#include <string>

#include "Eval.h"
#include "base/PosTag.h"
#include "seg/coarse_merge.h"
#include "support/gbk_literals.h"
#include "support/temp_dir.h"

using namespace lxtrain;
using lxtest::G;

namespace {

std::string Show(const std::vector<std::pair<size_t, size_t>>& spans, std::string s = "") {
  for (const auto& sp : spans) s += std::to_string(sp.first) + "-" + std::to_string(sp.second) + " ";
  return s;
}

SegLine Corpus(const char* utf8) { return ParseSegLine(G(utf8), SegFormat::kCorpus); }

}  // namespace

TEST(TrainerEval, EntitySpans) {
  // Surname and a given name of one or two characters are one person;
  // nrf / nrg from the segmenter delimit names; parts joined by a separator
  // are one name, a separator with nothing after it ends it.
  const std::tuple<const char*, const char*, const char*> names[] = {
      {"孙/nr  海涛/nr  胡/nr  跃平/nr  建宪/nr  李/nr  恒/nr  在/p  北京/ns  和/c  东海/ns",
       "0-3 3-6 6-8 8-10 ", "11-13 14-16 "},
      {"向/nr  钱/nrf  其琛/nrg  和/c  李/nrf  红/nrg  周/nr", "0-1 1-4 5-7 7-8 ", ""},
      {"拉吉夫/nr  ·/w  甘地/nr  ·/w  约翰/nr  和/c  甘地/nr  ·/w  在/p", "0-9 10-12 ", ""},
  };
  for (const auto& [line, persons, places] : names)
    EXPECT_EQ(Show(PlaceSpans(Corpus(line)), Show(PersonSpans(Corpus(line))) + "| "),
              std::string(persons) + "| " + places) << line;
}

TEST(TrainerEval, HandComputedFigures) {
  Evaluator ev;
  ev.set_vocab({G("江"), G("泽民"), G("在"), G("北京"), G("。"), G("记者"), G("王")});
  ev.set_held_out({G("泽民"), G("讲话"), G("小明"), G("ＡＢ"), G("公司有限")});
  // Gold 江 泽民 在 北京 讲话 。 / system 江泽民 在 北京 讲 话 。: 在 北京 。
  // right, 在 mistagged; the person and the place found.
  ev.add(Corpus("19980101-01-001-001/m  江/nr  泽民/nr  在/p  北京/ns  讲话/v  。/w"),
         ParseSegLine(G("江泽民/nr\t在/v\t北京/ns\t讲/v\t话/v\t。/w"), SegFormat::kAuto));
  // Gold names 李恒 (written apart) and 王刚; the system finds 李恒 and
  // takes 王刚强 for a name.
  ev.add(Corpus("李/nr  恒/nr  和/c  王/nr  刚/nr  强/a"),
         ParseSegLine(G("李恒/nr\t和/c\t王刚强/nr"), SegFormat::kTagged));
  // The library's nrf + nrg is the corpus's nr + nr.
  ev.add(Corpus("记者/n  王/nr  小明/nr  报道/v"),
         ParseSegLine(G("记者/n\t王/nrf\t小明/nrg\t报道/v"), SegFormat::kTagged));
  // Untagged; full-width letters the system made ASCII still align.
  ev.add(ParseSegLine(G("ＡＢ 公司 有限"), SegFormat::kWords),
         ParseSegLine(G("AB 公司有限"), SegFormat::kWords));
  ev.add(ParseSegLine("abc", SegFormat::kWords), ParseSegLine("ab", SegFormat::kWords));
  const EvalResult& r = ev.result();
  // Lines 4 scored, 1 skipped.  Words: gold 6+6+4+3 = 19, system 6+3+4+2 =
  // 15, right 3+1+4+1 = 9.
  EXPECT_EQ(std::vector<size_t>({r.lines, r.skipped_lines, r.words.gold, r.words.sys, r.words.correct}),
            std::vector<size_t>({4, 1, 19, 15, 9}));
  EXPECT_DOUBLE_EQ(r.words.f1(), 2.0 * 9 / (19 + 15));
  // Out of the vocabulary: 讲话, 李 恒 和 刚 强, 小明 报道, ＡＢ 公司 有限 (11,
  // of which 和 小明 报道 ＡＢ right); in it 8, of which 在 北京 。 记者 王 right.
  EXPECT_DOUBLE_EQ(r.oov_rate(), 11.0 / 19);
  EXPECT_DOUBLE_EQ(r.oov_recall(), 4.0 / 11);
  EXPECT_DOUBLE_EQ(r.iv_recall(), 5.0 / 8);
  // Persons: 江泽民, 李恒 and 王小明 of gold 4 / system 4; the place 北京.
  // Tags over the right words of tagged lines: 3 + 1 + 4, all but 在 right.
  EXPECT_EQ(std::vector<size_t>({r.person.gold, r.person.sys, r.person.correct, r.place.correct,
                                 r.pos_compared, r.pos_correct}),
            std::vector<size_t>({4, 4, 3, 1, 8, 7}));
  // Held out: gold 泽民 讲话 小明 ＡＢ (names 泽民 小明), of which 小明 ＡＢ
  // found; the system's 小明, AB (spelt as the gold text has it) and 公司有限.
  EXPECT_EQ(std::vector<size_t>({r.held.gold, r.held.correct, r.held.sys, r.held_names,
                                 r.held_names_correct}),
            std::vector<size_t>({4, 2, 3, 2, 1}));
  const std::string rep = r.report();
  EXPECT_NE(rep.find("word F1             0.5294"), std::string::npos) << rep;
}

TEST(TrainerEval, FilesWithBlankLinesAndUnequalLengths) {
  lxtest::TempDir dir("lxeval_");
  dir.write("gold", "a/n  bc/v\r\n\r\r\nd/n  e/n\r\nf/n\r\n");
  dir.write("sys", "a bc\n\nd e\n");
  dir.write("vocab", "a\t5\nd\n");
  Evaluator ev;
  ASSERT_TRUE(ev.load_vocab(dir.file("vocab")));
  std::string error;
  ASSERT_TRUE(EvaluateFiles(dir.file("gold"), SegFormat::kAuto, dir.file("sys"), SegFormat::kAuto,
                            ev, error));
  const EvalResult& r = ev.result();
  // Two lines scored, the gold's extra line skipped; a d in, bc e out.
  EXPECT_EQ(std::vector<size_t>({r.lines, r.skipped_lines, r.words.correct, r.iv_gold, r.oov_gold}),
            std::vector<size_t>({2, 1, 4, 2, 2}));
  EXPECT_FALSE(EvaluateFiles(dir.file("gold"), SegFormat::kAuto, dir.file("missing"),
                             SegFormat::kAuto, ev, error));
  EXPECT_NE(error.find("missing"), std::string::npos) << error;
}

// The coarse reference joins an invented corpus line by the coarse rules:
// brackets of nt, names, dates, numeral + measure word (tagged q, or listed),
// names with an organisation suffix; other brackets stay apart.
TEST(TrainerEval, CoarseReferenceOfACorpusLine) {
  CCoarseData lists;
  lists.add_suffix(G("局").c_str());
  lists.add_measure(G("年").c_str());
  CoarseGold coarse;
  coarse.on = true;
  coarse.suffixes = &lists;
  const std::string line = G(
      "19980101-01-001-001/m  [红星/nz  机械/n  厂/n]nt  王/nr  小明/nr  １９９７年/t  ５月/t  "
      "三/m  个/q  五/m  年/n  [东海/ns  大桥/n]ns  的/u  东海/ns  公安/n  局/n  第一/m  年/n  ，/w  "
      "约翰/nr  ·/w  史密斯/nr  三/m");
  std::string got;
  for (const SegWord& w : ParseSegLine(line, SegFormat::kCorpus, &coarse).words)
    got += w.word + "/" + pos_tag_string(w.pos) + " ";
  EXPECT_EQ(got, G("红星机械厂/nt 王小明/nr １９９７年５月/t 三个/m 五年/m 东海/ns 大桥/n 的/u "
                   "东海公安局/nt 第一年/m ，/w 约翰·史密斯/nr 三/m "));
  coarse.suffixes = nullptr;  // no lists: the suffix rule and listed measure words are off
  EXPECT_EQ(ParseSegLine(line, SegFormat::kCorpus, &coarse).words.size(), 17u);
  EXPECT_EQ(ParseSegLine(line, SegFormat::kCorpus).words.size(), 24u);
}
