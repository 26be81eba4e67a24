#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <vector>

#include "LXSegFunc.h"
#include "base/PosTag.h"
#include "Train.h"
#include "dict/BasicDict.h"
#include "dict/NerResource.h"
#include "lm/Ngram.h"
#include "support/gbk_literals.h"

using namespace lxtrain;
using lxtest::G;

namespace {

// A small corpus in the training format: two articles, one of them (day 1,
// page 1, article 18) in the development split.
std::string TinyCorpus() {
  std::string c;
  for (int i = 0; i < 6; ++i) {
    char id[40];
    std::snprintf(id, sizeof id, "20010101-01-%03d-%03d/m  ", 1, i + 1);
    c += id + G("我们/r  研究/v  生命/n  的/u  起源/n  。/w  研究生/n  学习/v  。/w") + "\r\n";
  }
  c += G("20010101-01-001-007/m  １９９８年/t  ，/w  ３/m  年/q  研究生/n  研究/vn  ") +
       G("[东海/ns  大学/n]nt  。/w") + "\r\n\r\n";
  // A malformed paragraph (a token without a tag): none of its words may
  // reach the dictionary.
  c += G("20010101-01-001-008/m  坏词  甲乙/n  。/w") + "\r\n";
  // Development paragraph: left out.
  c += G("20010101-01-018-001/m  丙丁/n  。/w") + "\r\n";
  return c;
}

std::string TempDir(const char* name) {
  std::filesystem::path p = std::filesystem::temp_directory_path() /
                            ("lxtrain_" + std::to_string(getpid()) + "_" + name);
  std::filesystem::remove_all(p);
  return p.string();
}

std::string ReadBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// `count` paragraphs of `body`, with ids "<date>-01-<article>-<n>".
std::string Paragraphs(const char* date, int article, int count, const std::string& body) {
  std::string c;
  for (int i = 0; i < count; ++i) {
    char id[40];
    std::snprintf(id, sizeof id, "%s-01-%03d-%03d/m  ", date, article, i + 1);
    c += id + body + "\n";
  }
  return c;
}

// What a trained dictionary says about a word.
class TrainedDict {
 public:
  explicit TrainedDict(const std::string& dir)
      : m_loaded(m_dict.loadBasicDict((dir + "/Core.Lex").c_str(), (dir + "/Core.Prop").c_str())) {}
  bool loaded() const { return m_loaded; }
  // The word's index, or -1.
  int index_of(const std::string& w) {
    int v = m_dict.mBasicDict.exactMatchSearch<int>(w.c_str(), w.size());
    return v < 0 ? -1 : (v & 0x7fffffff);
  }
  const word_prop_t& info(int idx) const { return m_dict.mPropDict.m_word_info[idx]; }
  const prop_t& props() const { return m_dict.mPropDict; }
  std::set<int> tags_of(const std::string& w) {
    return list(w, &word_prop_t::m_pos_sidx, props().m_POS);
  }
  std::set<int> roles_of(const std::string& w) {
    return list(w, &word_prop_t::m_role_sidx, props().m_Rol);
  }
  std::set<int> ln_roles_of(const std::string& w) {
    return list(w, &word_prop_t::m_ln_role_sidx, props().m_LNRol);
  }

 private:
  std::set<int> list(const std::string& w, uint32_t word_prop_t::*start, const uint8_t* ids) {
    std::set<int> out;
    const int idx = index_of(w);
    if (idx < 0 || info(idx).*start == Prop_None) return out;
    for (uint32_t k = info(idx).*start; ids[k] != 0; ++k) out.insert(ids[k]);
    return out;
  }

  CBasicDict m_dict;
  bool m_loaded;
};

// A role or POS transition table of a trained directory.
std::vector<CProbabilityNode> Table(const std::string& path, size_t dim) {
  std::vector<CProbabilityNode> t(dim * dim);
  EXPECT_TRUE(CNerResource::load_transition_table(path.c_str(), t.data(), dim)) << path;
  return t;
}

// The words of `text` segmented with the resources in `dir`, separated by
// blanks; what initialisation wrote to standard error goes to `init_err`.
std::string Segment(const std::string& dir, int mode, const std::string& text,
                    std::string* init_err = nullptr) {
  testing::internal::CaptureStderr();
  const bool ok = LXInitSeg(dir.c_str());
  const std::string err = testing::internal::GetCapturedStderr();
  if (init_err) *init_err = err;
  if (!ok) {
    ADD_FAILURE() << "LXInitSeg failed on " << dir;
    return std::string();
  }
  std::string out;
  HANDLE h = LXCreateSegHandle(mode);
  if (h != nullptr && LXSegment(h, text.c_str(), text.size(), LX_GBK)) {
    for (int i = 0; i < LXGetResultCnt(h); ++i) out += std::string(i ? " " : "") + LXGetWordAt(h, i);
  } else {
    ADD_FAILURE() << "no segmentation with the resources in " << dir;
  }
  if (h != nullptr) LXCloseSegHandle(h);
  LXUnInitSeg();
  return out;
}

bool TrainInto(const std::string& dir, std::string* error, TrainSummary* summary = nullptr) {
  Trainer t;
  std::istringstream corpus(TinyCorpus());
  t.add_corpus(corpus);
  std::istringstream surnames("欧阳\t100\n张\t50\n");
  t.add_surnames(surnames);
  std::istringstream chars("國\t国\n乾\t干 乾\n");
  t.add_t2s_characters(chars);
  std::istringstream phrases("乾燥\t干燥\n乾隆\t乾隆\n");
  t.add_t2s_phrases(phrases);
  bool ok = t.write(dir, error);
  if (summary) *summary = t.summary();
  return ok;
}

}  // namespace

TEST(TrainerTrain, PiecesFollowTheFactoidRecognizer) {
  Trainer t;
  CorpusToken tok;
  tok.word = G("中国");
  auto p = t.pieces_of(tok);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].word, G("中国"));

  // Full-width and ASCII digits give the same number piece, then the unit.
  for (const char* year : {"１９９８年", "1998年"}) {
    tok.word = G(year);
    p = t.pieces_of(tok);
    ASSERT_EQ(p.size(), 2u) << year;
    EXPECT_EQ(p[0].cls, kIdNumber) << year;
    EXPECT_EQ(p[1].word, G("年")) << year;
  }
  // The lattice sees lower-cased ASCII.
  tok.word = G("卡拉OK");
  p = t.pieces_of(tok);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].word, G("卡拉ok"));
  tok.word = "ABC";
  p = t.pieces_of(tok);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].cls, kIdAlnum);
  EXPECT_TRUE(IsFactoidLed(G("Ｋ线")));
  EXPECT_FALSE(IsFactoidLed(G("一九九八年")));

  // Full-width ASCII as the normalisation shows it; the yen sign, the
  // macron and other characters stay.
  EXPECT_EQ(HalfWidth(G("（新华社）")), G("(新华社)"));
  EXPECT_EQ(HalfWidth(G("１２．５％")), "12.5%");
  EXPECT_EQ(HalfWidth(G("￥")), G("￥"));
  EXPECT_EQ(HalfWidth(G("—")), G("—"));

  // Separators of the sentence splitter never reach a sentence.
  EXPECT_TRUE(IsSeparatorToken(G("，")));
  EXPECT_TRUE(IsSeparatorToken(G("……")));
  EXPECT_TRUE(IsSeparatorToken(","));
  EXPECT_FALSE(IsSeparatorToken(G("、")));
  EXPECT_FALSE(IsSeparatorToken(G("——")));
  EXPECT_FALSE(IsSeparatorToken(G("，好")));
  EXPECT_FALSE(IsSeparatorToken(""));
}

TEST(TrainerTrain, CountsAndSkipsParagraphs) {
  Trainer t;
  std::istringstream corpus(TinyCorpus());
  t.add_corpus(corpus);
  EXPECT_EQ(t.summary().paragraphs_used, 7u);
  EXPECT_EQ(t.summary().paragraphs_dev, 1u);
  EXPECT_EQ(t.summary().paragraphs_malformed, 1u);
  EXPECT_EQ(t.corpus_stats().untagged_tokens, 1u);
  // Six paragraphs of two sentences, and one of two (cut at the comma).
  EXPECT_EQ(t.summary().sentences, 14u);
}

TEST(TrainerTrain, WritesALoadableDeterministicResourceSet) {
  std::string a = TempDir("a"), b = TempDir("b");
  std::string error;
  TrainSummary summary;
  ASSERT_TRUE(TrainInto(a, &error, &summary)) << error;
  ASSERT_TRUE(TrainInto(b, &error)) << error;

  // Identical bytes in every file of the two runs.
  size_t files = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(a)) {
    if (!e.is_regular_file()) continue;
    ++files;
    std::filesystem::path rel = std::filesystem::relative(e.path(), a);
    EXPECT_EQ(ReadBytes(e.path()), ReadBytes(std::filesystem::path(b) / rel)) << rel;
  }
  EXPECT_GE(files, 17u);

  // 乾 is among its own targets (干 乾): it converts to 干 except in the
  // phrases that keep it, which are its exceptions; 國 converts always.
  EXPECT_NE(ReadBytes(std::filesystem::path(a) / "t2s").find(G("乾\t干\t0")), std::string::npos);
  EXPECT_NE(ReadBytes(std::filesystem::path(a) / "t2s").find(G("國\t国\t0")), std::string::npos);
  const std::string disable = ReadBytes(std::filesystem::path(a) / "t2s.disable");
  EXPECT_NE(disable.find(G("乾\t乾隆")), std::string::npos) << disable;
  EXPECT_EQ(disable.find(G("乾燥")), std::string::npos);

  // The dictionary: training words with log10 P(word | tag); words of the
  // malformed and development paragraphs are absent.
  TrainedDict dict(a);
  ASSERT_TRUE(dict.loaded());
  EXPECT_LT(dict.index_of(G("甲乙")), 0);
  EXPECT_LT(dict.index_of(G("丙丁")), 0);
  EXPECT_LT(dict.index_of(G("１９９８年")), 0);
  int yan = dict.index_of(G("研究"));
  ASSERT_GE(yan, 0);
  const uint32_t k = dict.info(yan).m_pos_sidx;
  // 研究 is v six times (of 13 v tokens: 6 研究 + 6 学习 + ... ) and vn once
  // (the only vn).  The list is ordered by count.
  ASSERT_EQ(dict.props().m_POS[k], 31);
  EXPECT_NEAR(dict.props().m_POSProb[k], std::log10(6.0 / 12.0), 1e-5);
  ASSERT_EQ(dict.props().m_POS[k + 1], 33);
  EXPECT_NEAR(dict.props().m_POSProb[k + 1], 0.0, 1e-6);
  EXPECT_EQ(dict.props().m_POS[k + 2], 0);

  // The word model: sentence start 10000001 as context, absolute discounting.
  Ngram lm(2);
  ASSERT_TRUE(lm.read_binary((a + "/Ngram.Lex").c_str()));
  int women = dict.index_of(G("我们"));
  ASSERT_GE(women, 0);
  VocabIndex ctx[2] = {kIdStart, Vocab_None};
  // 14 sentences start: 6 with 我们, 6 with 研究生, 2 with a number (the
  // comma is a separator, so ３ starts a sentence).
  const double D = summary.discount;
  ASSERT_GT(D, 0.0);
  ASSERT_LT(D, 1.0);
  EXPECT_NEAR(lm.word_prob(static_cast<VocabIndex>(women), ctx), std::log10((6.0 - D) / 14.0),
              1e-5);
  // The number class (１９９８ of １９９８年, and ３) is followed by 年 twice.
  VocabIndex ctx_num[2] = {kIdNumber, Vocab_None};
  int nian = dict.index_of(G("年"));
  ASSERT_GE(nian, 0);
  EXPECT_NEAR(lm.word_prob(static_cast<VocabIndex>(nian), ctx_num), std::log10((2.0 - D) / 2.0),
              1e-5);

  // The library loads the set silently and segments with it.
  std::string err;
  EXPECT_EQ(Segment(a, 0, G("研究生命的起源"), &err), G("研究 生命 的 起源"));
  EXPECT_EQ(err, "");
  std::filesystem::remove_all(a);
  std::filesystem::remove_all(b);
}

TEST(TrainerTrain, NamesWordListAndCombinationWords) {
  const std::string c =
      Paragraphs("20010102", 2, 4,
                 G("江/nr  泽民/nr  会见/v  客人/n  。/w  张/nr  三/nr  是/v  大学生/n  。/w  ") +
                     G("大学/n  生/v  孩子/n  。/w  孩子/n  工作/v  ３/m  年/q  。/w"));
  Trainer t;
  std::istringstream surnames("张\t50\n江\t10\n");
  t.add_surnames(surnames);
  std::istringstream corpus(c);
  t.add_corpus(corpus);
  // 起源地 is new; 会见客人 is two words of the text; 孩子客人 is a compound
  // of two training words, which the text's standard writes apart; 李四 is
  // a name (the text's convention for names wins).
  std::istringstream lexicon("起源地 5 n\n会见客人 3 l\n孩子客人 2 n\n李四 9 nr\n");
  t.add_lexicon(lexicon);
  // The name list shows 生 as a given name: it may be tagged nr.  Its
  // two-character given names begin with 会 and end with 见, so the word
  // 会见 may be a whole given name (Z).
  std::istringstream names("张生,男\n江生,男\n王五,男\n张会明,女\n江国见,男\n");
  t.add_given_names(names);
  const std::string dir = TempDir("names");
  std::string error;
  ASSERT_TRUE(t.write(dir, &error)) << error;
  EXPECT_EQ(t.summary().person_names, 8u);
  EXPECT_EQ(t.summary().lexicon_words, 1u);
  EXPECT_EQ(t.summary().lexicon_rejected, 2u);

  TrainedDict dict(dir);
  ASSERT_TRUE(dict.loaded());
  // Given names are not words; the listed word is.
  EXPECT_LT(dict.index_of(G("泽民")), 0);
  EXPECT_GE(dict.index_of(G("起源地")), 0);
  EXPECT_LT(dict.index_of(G("会见客人")), 0);
  EXPECT_LT(dict.index_of(G("孩子客人")), 0);
  EXPECT_LT(dict.index_of(G("李四")), 0);
  // 大学生 is written as two words half of the time: a combination word.
  int daxuesheng = dict.index_of(G("大学生")), huijian = dict.index_of(G("会见"));
  ASSERT_GE(daxuesheng, 0);
  ASSERT_GE(huijian, 0);
  EXPECT_EQ(dict.info(daxuesheng).m_NameEntity, 90);
  EXPECT_EQ(dict.info(huijian).m_NameEntity, 0);

  // 江 is a surname on the library's path (江 泽 民 → B C D): its person
  // role list holds B; 会见 follows names (L).
  EXPECT_TRUE(dict.roles_of(G("江")).count(kRoleB));
  EXPECT_TRUE(dict.roles_of(G("会见")).count(kRoleL));
  EXPECT_FALSE(dict.roles_of(G("会见")).count(kRoleB));
  EXPECT_TRUE(dict.roles_of(G("会见")).count(kRoleZ));
  EXPECT_FALSE(dict.roles_of(G("大学生")).count(kRoleZ));
  EXPECT_FALSE(dict.roles_of(G("孩子")).count(kRoleZ));

  // The library's path joins 3 and 年 (a number with its unit), the text
  // writes them apart every time: an ambiguity rule cuts them again.
  EXPECT_EQ(t.summary().ambiguity_rules, 1u);
  EXPECT_EQ(ReadBytes(std::filesystem::path(dir) / "UserAmbRule"), G("3年,1,2\n"));
  EXPECT_EQ(Segment(dir, LX_S2D, G("孩子工作３年")), G("孩子 工作 3 年"));

  // A one-character given name stays a word of its own (三 is a word, 泽民
  // is not).
  EXPECT_GE(dict.index_of(G("三")), 0);
  ASSERT_GE(dict.index_of(G("生")), 0);
  // Given names are tagged nrg and surnames nrf (the text tags both nr).
  EXPECT_TRUE(dict.tags_of(G("生")).count(pos_tag_id("nrg")));
  EXPECT_TRUE(dict.tags_of(G("三")).count(pos_tag_id("nrg")));
  EXPECT_TRUE(dict.tags_of(G("江")).count(pos_tag_id("nrf")));
  EXPECT_FALSE(dict.tags_of(G("江")).count(pos_tag_id("nr")));

  // The named-entity model knows the person class and the sentence end;
  // 江泽民 is one class token there, so 会见 follows the person class,
  // while 张三 stays two words: 张 starts four sentences itself.
  Ngram pn(2);
  ASSERT_TRUE(pn.read_binary((dir + "/Ngram_PN.Lex").c_str()));
  VocabIndex ctx_person[2] = {kIdPerson, Vocab_None};
  VocabIndex ctx_start[2] = {kIdStart, Vocab_None};
  EXPECT_GT(pn.word_prob(static_cast<VocabIndex>(huijian), ctx_person), -0.5);
  EXPECT_GT(pn.word_prob(kIdPerson, ctx_start), -1.0);
  const int zhang = dict.index_of(G("张"));
  ASSERT_GE(zhang, 0);
  EXPECT_NEAR(pn.word_prob(static_cast<VocabIndex>(zhang), ctx_start),
              pn.word_prob(kIdPerson, ctx_start), 1e-6);
  std::filesystem::remove_all(dir);
}

TEST(TrainerTrain, TransliteratedNameCharactersAndFactoidTags) {
  const std::string c = Paragraphs(
      "20010103", 2, 3,
      G("克林顿/nr  说/v  ，/w  克/q  林/n  顿/q  ３/m  张/q  纸/n  。/w  小/a  张/nr  来/v  ") +
          G("，/w  约翰·克顿/nr  到/v"));
  TrainOptions opt;
  opt.given_char_min_count = 2;
  Trainer t(opt);
  std::istringstream corpus(c);
  t.add_corpus(corpus);
  std::istringstream surnames("张\t50\n顿\t1\n");
  t.add_surnames(surnames);
  // The list: a transliterated name (nrt); a name spelt with the text's
  // transliteration characters whose first character is only a rare
  // surname; a Chinese name; a place spelt like a transliterated name.
  std::istringstream lexicon("林克顿 3 nrt\n顿克林 2 nr\n张林克 2 nr\n克顿林 4 ns\n约翰 9 n\n");
  t.add_lexicon(lexicon);
  // 肃 is a given-name character of the list twice, 琛 once.
  std::istringstream names("张肃,男\n张肃,女\n张琛,男\n");
  t.add_given_names(names);
  const std::string dir = TempDir("trans");
  std::string error;
  ASSERT_TRUE(t.write(dir, &error)) << error;

  TrainedDict dict(dir);
  ASSERT_TRUE(dict.loaded());
  // The characters of a name the text writes whole may begin, continue
  // and end a new one, each in its own position only.
  EXPECT_TRUE(dict.roles_of(G("克")).count(kRoleH));
  EXPECT_FALSE(dict.roles_of(G("克")).count(kRoleT));
  EXPECT_TRUE(dict.roles_of(G("林")).count(kRoleI));
  EXPECT_TRUE(dict.roles_of(G("顿")).count(kRoleT));
  EXPECT_FALSE(dict.roles_of(G("纸")).count(kRoleH));

  const int nr = pos_tag_id("nr"), ns = pos_tag_id("ns");
  EXPECT_EQ(dict.tags_of(G("林克顿")), std::set<int>{nr});
  EXPECT_EQ(dict.tags_of(G("顿克林")), std::set<int>{nr});
  EXPECT_TRUE(dict.tags_of(G("张林克")).empty());  // surname and given name: not a word
  EXPECT_EQ(dict.tags_of(G("克顿林")), (std::set<int>{ns, nr}));
  // 老 and 小 before a common surname make a familiar name, unless the
  // text writes the pair otherwise.
  EXPECT_EQ(dict.tags_of(G("老张")), std::set<int>{nr});
  EXPECT_TRUE(dict.tags_of(G("小张")).empty());  // the text writes 小 张
  // The parts of a name joined by a separator are names, whatever the list
  // says (约翰 is listed as a noun).
  EXPECT_EQ(dict.tags_of(G("约翰")), std::set<int>{nr});
  EXPECT_EQ(dict.tags_of(G("克顿")), std::set<int>{nr});
  EXPECT_EQ(dict.tags_of(G("约翰·克顿")), std::set<int>{nr});  // seen three times: a word too
  // Given-name characters of the list that the text lacks are words tagged
  // nrg when the list shows them often enough.
  EXPECT_EQ(dict.tags_of(G("肃")), std::set<int>{pos_tag_id("nrg")});
  EXPECT_TRUE(dict.tags_of(G("琛")).empty());
  EXPECT_EQ(t.summary().listed_names, 2u);
  EXPECT_EQ(t.summary().listed_trans_places, 1u);

  // The tagger sees ３ (a factoid) as n: the measure word after it is
  // trained after n, not after the text's m.
  const std::vector<CProbabilityNode> pos = Table(dir + "/POSTT.Lex", 56);
  const int n = pos_tag_id("n"), m = pos_tag_id("m"), q = pos_tag_id("q");
  EXPECT_GT(pos[n * 56 + q].m_Prob, pos[m * 56 + q].m_Prob);
  std::filesystem::remove_all(dir);
}

TEST(TrainerTrain, PlaceRolesFromPlacesThePathCuts) {
  std::string c =
      Paragraphs("20010104", 2, 3, G("刘/nr  说/v  ，/w  桥/n  断/v  了/u  。/w  北京/ns  很/d  大/a  。/w"));
  c += G("20010104-01-002-004/m  他/r  在/p  刘桥/ns  工作/v  。/w") + "\n";
  TrainOptions opt;
  opt.new_places_apart = true;
  Trainer t(opt);
  std::istringstream corpus(c);
  t.add_corpus(corpus);
  const std::string dir = TempDir("places");
  std::string error;
  ASSERT_TRUE(t.write(dir, &error)) << error;
  // 刘桥 is seen once: no word, so the path cuts it (刘 | 桥) and its words
  // get the place roles; 北京, seen three times, stays a word.
  EXPECT_EQ(t.summary().places_apart, 1u);
  EXPECT_EQ(t.summary().places_roled, 1u);
  TrainedDict dict(dir);
  ASSERT_TRUE(dict.loaded());
  EXPECT_LT(dict.index_of(G("刘桥")), 0);
  EXPECT_GE(dict.index_of(G("北京")), 0);
  EXPECT_TRUE(dict.ln_roles_of(G("刘")).count(kRoleLH));
  EXPECT_TRUE(dict.ln_roles_of(G("桥")).count(kRoleLT));
  EXPECT_FALSE(dict.ln_roles_of(G("北京")).count(kRoleLH));
  // The table has learnt that LT follows LH.
  const std::vector<CProbabilityNode> ln = Table(dir + "/LNRoleTT.Lex", 54);
  EXPECT_GT(ln[kRoleLH * 54 + kRoleLT].m_Prob, ln[kRoleLH * 54 + kRoleA].m_Prob);
  EXPECT_GT(ln[kRoleA * 54 + kRoleLH].m_Prob, ln[kRoleA * 54 + kRoleLT].m_Prob);
  std::filesystem::remove_all(dir);
}

TEST(TrainerTrain, OrganisationWordsCarryTheirInnerWords) {
  std::string c = Paragraphs(
      "20010105", 2, 2, G("[中央/n  电台/n]nt  播音/v  。/w  中央/n  决定/v  。/w  [东方/s  电台/n]nt  说/v"));
  c += G("20010105-01-002-003/m  [南方/s  电台/n]nt  说/v") + "\n";
  TrainOptions opt;
  opt.organisation_words = true;
  Trainer t(opt);
  std::istringstream corpus(c);
  t.add_corpus(corpus);
  const std::string dir = TempDir("orgs");
  std::string error;
  ASSERT_TRUE(t.write(dir, &error)) << error;
  EXPECT_EQ(t.summary().organisation_words, 2u);  // 南方电台 is seen once
  TrainedDict dict(dir);
  ASSERT_TRUE(dict.loaded());
  const int org = dict.index_of(G("中央电台"));
  ASSERT_GE(org, 0);
  ASSERT_NE(dict.info(org).m_seg_rule_sidx, Prop_None);
  const uint8_t* rec = dict.props().m_SegType + dict.info(org).m_seg_rule_sidx;
  ASSERT_EQ(rec[0], 2);
  EXPECT_EQ(rec[1], 4);
  EXPECT_EQ(rec[2], 4);
  EXPECT_EQ(rec[3], pos_tag_id("n"));
  EXPECT_EQ(rec[4], pos_tag_id("n"));
  EXPECT_LT(dict.index_of(G("南方电台")), 0);

  // With LX_SGU the name comes out as the text's words.
  EXPECT_EQ(Segment(dir, LX_SGU, G("中央电台播音")), G("中央 电台 播音"));
  std::filesystem::remove_all(dir);
}
