#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "DevSegment.h"
#include "Eval.h"
#include "Train.h"
#include "base/PosTag.h"
#include "support/gbk_literals.h"

using namespace lxtrain;
using lxtest::G;

namespace {

typedef std::vector<std::pair<size_t, size_t>> Spans;

std::string TempPath(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/lxeval_" + std::to_string(getpid()) + "_" + name;
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary);
  out << data;
}

}  // namespace

TEST(TrainerEval, LineFormats) {
  SegLine c = ParseSegLine(G("20010203-04-005-006/m  东海/ns  [大/a  学/n]nt  。/w"),
                           SegFormat::kAuto);
  EXPECT_TRUE(c.tagged);
  ASSERT_EQ(c.words.size(), 4u);
  EXPECT_EQ(c.chars, 5u);
  EXPECT_EQ(c.words[1].begin, 2u);
  EXPECT_EQ(c.words[1].end, 3u);
  EXPECT_EQ(c.words[0].pos, pos_tag_id("ns"));

  // Tagged output: TABs between records, a class text after the tag, a word
  // holding a '/'.
  SegLine t = ParseSegLine(G("东海/ns\t公司/n类名\t1/2/m\tabc"), SegFormat::kAuto);
  EXPECT_TRUE(t.tagged);
  ASSERT_EQ(t.words.size(), 4u);
  EXPECT_EQ(t.words[1].word, G("公司"));
  EXPECT_EQ(t.words[1].pos, pos_tag_id("n"));
  EXPECT_EQ(t.words[2].word, "1/2");
  EXPECT_EQ(t.words[2].pos, pos_tag_id("m"));
  EXPECT_EQ(t.words[3].word, "abc");
  EXPECT_EQ(t.words[3].pos, 0);
  EXPECT_EQ(t.chars, 2u + 2u + 3u + 3u);

  // One token without a tag makes the whole line plain words.
  SegLine w = ParseSegLine("a/b  c", SegFormat::kAuto);
  EXPECT_FALSE(w.tagged);
  ASSERT_EQ(w.words.size(), 2u);
  EXPECT_EQ(w.words[0].word, "a/b");
  // Forcing the format overrides detection.
  SegLine f = ParseSegLine("a/n b/v", SegFormat::kWords);
  EXPECT_FALSE(f.tagged);
  EXPECT_EQ(f.words[0].word, "a/n");
}

TEST(TrainerEval, NameSpans) {
  SegLine g = ParseSegLine(G("孙/nr  海涛/nr  胡/nr  跃平/nr  建宪/nr  李/nr  恒/nr  在/p  "
                             "北京/ns  和/c  东海/ns"),
                           SegFormat::kCorpus);
  EXPECT_EQ(PersonSpans(g), (Spans{{0, 3}, {3, 6}, {6, 8}, {8, 10}}));
  EXPECT_EQ(PlaceSpans(g), (Spans{{11, 13}, {14, 16}}));
  // A given name of three characters is not joined to the surname.
  SegLine h = ParseSegLine(G("王/nr  阿尔法/nr"), SegFormat::kCorpus);
  EXPECT_EQ(PersonSpans(h), (Spans{{0, 1}, {1, 4}}));
  // The segmenter's surname and given-name tags delimit its names: a word
  // wrongly tagged nr before a surname does not take the surname away.
  SegLine s = ParseSegLine(G("向/nr  钱/nrf  其琛/nrg  和/c  李/nrf  红/nrg  周/nr"),
                           SegFormat::kCorpus);
  EXPECT_EQ(PersonSpans(s), (Spans{{0, 1}, {1, 4}, {5, 7}, {7, 8}}));
  // The parts of a transliterated name are one name, in the corpus's form
  // and in the segmenter's; a separator without a name part after it ends it.
  SegLine t = ParseSegLine(G("拉吉夫/nr  ·/w  甘地/nr  ·/w  约翰/nr  和/c  甘地/nr  ·/w  在/p"),
                           SegFormat::kCorpus);
  EXPECT_EQ(PersonSpans(t), (Spans{{0, 9}, {10, 12}}));
  SegLine c = ParseSegLine(G("拉吉夫·甘地/nr  说/v"), SegFormat::kCorpus);
  EXPECT_EQ(PersonSpans(c), (Spans{{0, 6}}));
}

TEST(TrainerEval, HandComputedFigures) {
  Evaluator ev;
  ev.set_vocab({G("江"), G("泽民"), G("在"), G("北京"), G("。")});
  // Gold: 江 泽民 在 北京 讲话 。   System: 江泽民 在 北京 讲 话 。
  ev.add(ParseSegLine(G("19980101-01-001-001/m  江/nr  泽民/nr  在/p  北京/ns  讲话/v  。/w"),
                      SegFormat::kAuto),
         ParseSegLine(G("江泽民/nr\t在/v\t北京/ns\t讲/v\t话/v\t。/w"), SegFormat::kAuto));
  const EvalResult& r = ev.result();
  EXPECT_EQ(r.lines, 1u);
  EXPECT_EQ(r.words.gold, 6u);
  EXPECT_EQ(r.words.sys, 6u);
  EXPECT_EQ(r.words.correct, 3u);  // 在 北京 。
  EXPECT_DOUBLE_EQ(r.words.precision(), 0.5);
  EXPECT_DOUBLE_EQ(r.words.recall(), 0.5);
  EXPECT_DOUBLE_EQ(r.words.f1(), 0.5);
  EXPECT_DOUBLE_EQ(r.oov_rate(), 1.0 / 6);  // 讲话
  EXPECT_DOUBLE_EQ(r.oov_recall(), 0.0);
  EXPECT_DOUBLE_EQ(r.iv_recall(), 3.0 / 5);
  EXPECT_EQ(r.person.gold, 1u);
  EXPECT_EQ(r.person.correct, 1u);
  EXPECT_EQ(r.place.correct, 1u);
  EXPECT_EQ(r.pos_compared, 3u);
  EXPECT_EQ(r.pos_correct, 2u);  // 在 is p, not v

  // Second line: untagged, full-width letters normalised to ASCII by the
  // system still align by characters.  Gold ＡＢ 公司 有限 ; system AB 公司有限.
  ev.add(ParseSegLine(G("ＡＢ 公司 有限"), SegFormat::kWords),
         ParseSegLine(G("AB 公司有限"), SegFormat::kWords));
  EXPECT_EQ(r.lines, 2u);
  EXPECT_EQ(r.words.gold, 9u);
  EXPECT_EQ(r.words.sys, 8u);
  EXPECT_EQ(r.words.correct, 4u);
  EXPECT_EQ(r.oov_gold, 4u);  // 讲话 ＡＢ 公司 有限
  EXPECT_EQ(r.oov_correct, 1u);  // ＡＢ
  // Untagged lines add nothing to the tag figures.
  EXPECT_EQ(r.pos_compared, 3u);
  EXPECT_EQ(r.person.gold, 1u);

  // A line whose text differs in length is skipped, not scored.
  ev.add(ParseSegLine("abc", SegFormat::kWords), ParseSegLine("ab", SegFormat::kWords));
  EXPECT_EQ(r.skipped_lines, 1u);
  EXPECT_EQ(r.words.gold, 9u);
  std::string rep = r.report();
  EXPECT_NE(rep.find("word F1             0.4706"), std::string::npos) << rep;  // 2*4/(9+8)
  EXPECT_NE(rep.find("lines skipped       1"), std::string::npos) << rep;
}

TEST(TrainerEval, PersonPrecisionAndRecall) {
  Evaluator ev;
  // Gold names: 李恒 (split in the corpus), 王刚.  The system finds 李恒
  // whole, takes 王刚强 as a name and misses nothing else.
  ev.add(ParseSegLine(G("李/nr  恒/nr  和/c  王/nr  刚/nr  强/a"), SegFormat::kCorpus),
         ParseSegLine(G("李恒/nr\t和/c\t王刚强/nr"), SegFormat::kTagged));
  const EvalResult& r = ev.result();
  EXPECT_EQ(r.person.gold, 2u);
  EXPECT_EQ(r.person.sys, 2u);
  EXPECT_EQ(r.person.correct, 1u);
  EXPECT_DOUBLE_EQ(r.person.precision(), 0.5);
  EXPECT_DOUBLE_EQ(r.person.recall(), 0.5);
  EXPECT_FALSE(r.have_vocab);
  EXPECT_EQ(r.report().find("OOV"), std::string::npos);
}

TEST(TrainerEval, FilesWithBlankLinesAndUnequalLengths) {
  std::string gold = TempPath("gold"), sys = TempPath("sys"), vocab = TempPath("vocab");
  WriteFile(gold, G("a/n  bc/v\r\n\r\r\nd/n  e/n\r\nf/n\r\n"));
  WriteFile(sys, "a bc\n\nd e\n");
  WriteFile(vocab, "a\t5\nd\n");
  Evaluator ev;
  ASSERT_TRUE(ev.load_vocab(vocab));
  std::string error;
  ASSERT_TRUE(EvaluateFiles(gold, SegFormat::kAuto, sys, SegFormat::kAuto, ev, error));
  const EvalResult& r = ev.result();
  EXPECT_EQ(r.lines, 2u);
  EXPECT_EQ(r.skipped_lines, 1u);  // the gold's extra line
  EXPECT_EQ(r.words.correct, 4u);
  EXPECT_EQ(r.iv_gold, 2u);
  EXPECT_EQ(r.oov_gold, 2u);
  EXPECT_FALSE(EvaluateFiles(gold, SegFormat::kAuto, TempPath("missing"), SegFormat::kAuto, ev,
                             error));
  EXPECT_NE(error.find("missing"), std::string::npos);
  std::remove(gold.c_str());
  std::remove(sys.c_str());
  std::remove(vocab.c_str());
}

TEST(TrainerEval, SegmentsTheGoldTextWithTheLibrary) {
  // Resources trained on a tiny corpus; its own text is segmented back
  // exactly, and a changed standard costs the expected words.
  std::string corpus;
  for (int i = 0; i < 4; ++i)
    corpus += G("20010103-01-002-00") + std::to_string(i + 1) +
              G("/m  我们/r  研究/v  生命/n  的/u  起源/n  。/w") + "\n";
  Trainer t;
  std::istringstream in(corpus);
  t.add_corpus(in);
  const std::string dir = TempPath("res");
  std::string error;
  ASSERT_TRUE(t.write(dir, &error)) << error;

  const std::string gold = TempPath("gold.txt");
  WriteFile(gold, G("我们/r  研究/v  生命/n  的/u  起源/n  。/w\n") +
                      G("我们/r  研究生/n  命/n  的/u  起源/n\n"));
  DevSegmentOptions opt;
  opt.resources = dir;
  opt.flags = 0x4;  // LX_POS
  Evaluator ev;
  std::ostringstream out;
  ASSERT_TRUE(SegmentAndEvaluate(gold, SegFormat::kAuto, opt, ev, error, &out)) << error;
  const EvalResult& r = ev.result();
  EXPECT_EQ(r.lines, 2u);
  // Line 1: six of six; line 2: the system's 研究 生命 against the gold
  // 研究生 命 misses two of five gold words and adds two wrong ones.
  EXPECT_EQ(r.words.gold, 11u);
  EXPECT_EQ(r.words.sys, 11u);
  EXPECT_EQ(r.words.correct, 9u);
  EXPECT_EQ(r.pos_compared, 9u);
  EXPECT_EQ(r.pos_correct, 9u);
  EXPECT_NE(out.str().find(G("研究/v\t生命/n")), std::string::npos) << out.str();

  // A directory without resources is an error, not a crash.
  opt.resources = dir + "/missing";
  Evaluator ev2;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(SegmentAndEvaluate(gold, SegFormat::kAuto, opt, ev2, error));
  testing::internal::GetCapturedStderr();
  EXPECT_NE(error.find("missing"), std::string::npos);
  std::remove(gold.c_str());
  std::filesystem::remove_all(dir);
}

TEST(TrainerEval, SplitNameTagsCountAsNr) {
  // The library writes a split name as nrf + nrg; the corpus as nr + nr.
  Evaluator ev;
  ev.add(ParseSegLine(G("记者/n  王/nr  小明/nr  报道/v"), SegFormat::kCorpus),
         ParseSegLine(G("记者/n\t王/nrf\t小明/nrg\t报道/v"), SegFormat::kTagged));
  const EvalResult& r = ev.result();
  EXPECT_EQ(r.person.gold, 1u);
  EXPECT_EQ(r.person.correct, 1u);
  EXPECT_EQ(r.pos_compared, 4u);
  EXPECT_EQ(r.pos_correct, 4u);
  EXPECT_EQ(ScoredPos(pos_tag_id("nrf")), pos_tag_id("nr"));
  EXPECT_EQ(ScoredPos(pos_tag_id("ns")), pos_tag_id("ns"));
}
