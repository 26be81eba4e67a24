#include "resource_builder.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "base/uconv.h"
#include "dict/NerResourceWriter.h"
#include "dict/RuleDictWriter.h"
#include "lm/Ngram.h"

namespace lxtest {

const char kTokPerson[] = "<person>";
const char kTokLocation[] = "<location>";
static const char kTokStart[] = "<s>";
static const char kTokNumber[] = "<num>";

// Converts with `conv`, into a buffer of `factor` bytes per input byte.
template <typename Conv>
static std::string convert(Conv conv, const std::string& text, size_t factor) {
  std::vector<char> buf(text.size() * factor + 1);
  int n = conv(text.data(), (uint32_t)text.size(), buf.data(), (uint32_t)buf.size(), UCONV_INVCHAR_IGNORE);
  return n < 0 ? std::string() : std::string(buf.data(), (size_t)n);
}

std::string gbk(const std::string& utf8_text) { return convert(utf8_to_gbk, utf8_text, 1); }
std::string utf8(const std::string& gbk_text) { return convert(gbk_to_utf8, gbk_text, 3); }

basic_dict_entry_t lex_word(const std::string& word, uint8_t pos, uint16_t name_entity) {
  return ne_word(word, {{pos, -0.1f}}, {}, {}, name_entity);
}

basic_dict_entry_t ne_word(const std::string& word, const std::vector<prop_item_t>& pos,
                           const std::vector<prop_item_t>& roles, const std::vector<prop_item_t>& ln_roles,
                           uint16_t name_entity) {
  basic_dict_entry_t e;
  e.word = word;
  e.name_entity = name_entity;
  if (!pos.empty()) e.pos = pos;
  if (!roles.empty()) e.roles = roles;
  if (!ln_roles.empty()) e.ln_roles = ln_roles;
  return e;
}

// --- The default set -------------------------------------------------------

ResourcePlan default_resource_plan() {
  ResourcePlan s;
  // Words and their POS ids (1 a, 5 c, 6 d, 15 m, 16 n, 20 ns, 21 nt, 25 p, 26 q, 27 r, 29 t,
  // 30 u, 31 v, 33 vn).
  std::istringstream plain(
      "中国 20 人民 16 中国人 16 我们 27 喜欢 31 北京 20 大学 16 学生 16 研究 33 生命 16 研究生 16 起源 16 "
      "分之 15 个数 16 的 30 是 31 在 25 和 5 上海 20 天气 16 很 6 好 1 今天 29 一 15 三 15 年 26 万 15 "
      "个 26 人 16 白天 29 天鹅 16 白 1 鹅 16 和服 16 服装 16 装 31 生 31 北京人 16 中华 20 "
      "人民共和国 21 共和国 16 干燥 1 幺么 16 烤 31 鸭 16 email 16 abc 16");
  std::string word, next;
  for (int pos; plain >> word >> pos;) s.words.push_back(lex_word(gbk(word), (uint8_t)pos));

  // A rule word (89): "大学生" is scored through the block 大学 + 生 and split into them.
  s.words.push_back(lex_word(gbk("大学生"), 16, 89));
  s.words.back().rule = BasicDictRuleBlock({gbk("大学"), gbk("生")}, -0.5f);
  // An ambiguous word (88) with two readings: 白天 + 鹅 and 白 + 天鹅.
  s.words.push_back(ne_word(gbk("白天鹅"), {{29, -0.1f}, {16, -0.1f}, {1, -0.1f}, {16, -0.1f}}, {}, {}, 88));
  std::vector<rule_value_t> r = BasicDictRuleBlock({gbk("白天"), gbk("鹅")}, -0.5f);
  const std::vector<rule_value_t> r2 = BasicDictRuleBlock({gbk("白"), gbk("天鹅")}, -0.7f);
  r.insert(r.end(), r2.begin(), r2.end());
  s.words.back().rule = r;
  // A word with two segmentations (87): 和服 + 装 and 和 + 服装.
  s.words.push_back(lex_word(gbk("和服装"), 16, 87));
  s.words.back().rule = BasicDictMulSegRecord(gbk("和服"), gbk("装"), 16, 31, gbk("和"), gbk("服装"), 5, 16);
  // A word with sub-words (LX_SGU): 北京 + 大学 inside 北京大学.
  s.words.push_back(lex_word(gbk("北京大学"), 21));
  s.words.back().subwords = std::vector<subword_t>{{4, 20}, {4, 16}};

  std::istringstream bigrams(
      "<s> 我们 -0.5 我们 喜欢 -0.3 中国 人民 -0.4 北京 大学 -0.4 研究 生命 -0.4 生命 的 -0.6 的 起源 -0.6 "
      "<num> 年 -0.5 今天 天气 -0.5 天气 很 -0.5 很 好 -0.4");
  for (LogP p; bigrams >> word >> next >> p;) s.bigrams.push_back({gbk(word), gbk(next), p});

  // Secondary lexicon: pairs of characters that become one word.  The data
  // word holds the POS id in bits 1-6: 33 = nr (odd), 40 = ns (even).
  s.second_lex = {{gbk("张三"), 33}, {gbk("李四"), 32}, {gbk("长江"), 40}};
  // A user rule: "研究生命" is 研究 + 生命.
  s.amb_rules = {{gbk("研究生命"), {4, 4}}};
  // Traditional characters: 國 and 學 convert one to one, 乾 only inside
  // 乾燥, and 麼 everywhere except in 幺麼.
  s.t2s_chars = {{gbk("國"), gbk("国"), false}, {gbk("學"), gbk("学"), false},
                 {gbk("乾"), gbk("干"), true}, {gbk("麼"), gbk("么"), false}};
  s.t2s_words = {{gbk("乾燥"), gbk("干燥")}};
  s.t2s_disable = {{gbk("麼"), gbk("幺麼")}};
  s.fuxing = {gbk("欧阳"), gbk("司马")};
  s.no_amb_xing = {gbk("张"), gbk("李"), gbk("王")};
  s.loc_suffix = {{gbk("省"), 3}, {gbk("市"), 2}};

  s.custom_files["food/dishes.txt"] = gbk("北京烤鸭,n\n# a comment\n宫保鸡丁\n");
  s.custom_files["place/cities.txt"] = gbk("上海,ns\n");
  s.custom_files["phrase/phrases.txt"] = gbk("我们喜欢,v\n");
  // The system custom dictionary: class ids 0 and 1 (id 0 reads as "no
  // class"), so the user classes get the ids 2 (food), 3 (phrase), 4 (place).
  s.sys_class_names = {"none", "brand"};
  s.sys_entries = {{gbk("苹果手机"), 1}};
  return s;
}

// --- Synthetic sets ---------------------------------------------------------------

ResourcePlan synthetic_resource_plan(size_t num_words, size_t num_bigrams, uint32_t seed) {
  ResourcePlan s;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> uni(-6.0f, -3.0f);
  std::set<std::string> seen;
  while (s.words.size() < num_words) {
    // Level-1 hanzi; the first words are single characters, as in a real dictionary.
    std::string w;
    for (int i = 0, n = s.words.size() < 2000 ? 1 : (int)(2 + rng() % 3); i < n; ++i)
      w += {(char)(0xB0 + rng() % 40), (char)(0xA1 + rng() % 94)};
    if (!seen.insert(w).second) continue;
    s.words.push_back(lex_word(w, (uint8_t)(1 + rng() % 48)));
    s.unigram_of[w] = uni(rng);
  }
  std::set<std::pair<size_t, size_t> > pairs;
  while (pairs.size() < num_bigrams) {
    const size_t a = rng() % num_words, b = rng() % num_words;
    if (pairs.insert({a, b}).second) s.bigrams.push_back({s.words[a].word, s.words[b].word, uni(rng) + 2.0f});
  }
  s.fuxing = {gbk("欧阳")};
  s.no_amb_xing = {gbk("张")};
  s.loc_suffix = {{gbk("省"), 3}};
  s.second_lex = {{gbk("张三"), 33}};
  s.amb_rules = {{gbk("研究生命"), {4, 4}}};
  s.t2s_chars = {{gbk("國"), gbk("国"), false}};
  return s;
}

std::string synthetic_text(const ResourcePlan& plan, size_t bytes, uint32_t seed) {
  std::mt19937 rng(seed);
  const std::string punct[] = {gbk("，"), gbk("。")};
  std::string text;
  for (unsigned since_punct = 1; text.size() < bytes; ++since_punct) {
    const unsigned d = rng() % 100;
    if (d < 3)
      text += std::to_string(rng() % 100000);
    else if (d < 5)
      text += "word" + std::to_string(rng() % 100);
    else if (!plan.words.empty())
      text += plan.words[rng() % plan.words.size()].word;
    if (since_punct >= 8 + rng() % 10) {
      text += punct[rng() % 100 < 70 ? 0 : 1] + (rng() % 10 == 0 ? "\n" : "");
      since_punct = 0;
    }
  }
  return text;
}

// --- Writing ----------------------------------------------------------------------

namespace {

// The class tokens: single characters (also the unknown word), the sentence
// start, numbers and alphanumeric strings, and the person and location tokens
// that only the person-name model knows.
enum : VocabIndex { kIdChar = 10000000u, kIdStart, kIdNumber = 10000003u, kIdAlnum, kIdPerson, kIdLocation };

// Writes a table of `dim` x `dim` cells holding {prob, bow}, with the listed
// cells replaced.  False for a cell outside the table.
bool write_table(const std::string& path, size_t dim, const ResourcePlan& plan,
                 const std::vector<tt_cell_t>& cells) {
  std::vector<CProbabilityNode> table(dim * dim, CProbabilityNode{plan.tt_prob, plan.tt_bow});
  for (const tt_cell_t& c : cells) {
    if (c.prev >= dim || c.cur >= dim) return false;
    table[c.prev * dim + c.cur] = CProbabilityNode{c.prob, c.bow};
  }
  return CNerResourceWriter::write_transition_table(path.c_str(), table.data(), dim);
}

}  // namespace

bool ResourceDir::build(const ResourcePlan& plan) {
  if (path().empty()) return fail("no temporary directory");

  // Basic dictionary.
  CBasicDictWriter dw;
  for (const basic_dict_entry_t& e : plan.words)
    if (!dw.add(e)) return fail("cannot add word " + utf8(e.word));
  if (!dw.write(file("Core.Lex").c_str(), file("Core.Prop").c_str()))
    return fail("basic dictionary: " + dw.last_error());

  // Word model, through the text layout.
  std::ostringstream unigrams, bigrams;
  auto unigram = [&](LogP prob, long id) { unigrams << prob << ' ' << id << ' ' << plan.default_bow << '\n'; };
  for (const basic_dict_entry_t& e : plan.words) {
    auto u = plan.unigram_of.find(e.word);
    unigram(u == plan.unigram_of.end() ? plan.default_unigram : u->second, dw.index_of(e.word));
  }
  for (const std::pair<LogP, long>& c : {std::pair<LogP, long>{-5.0f, kIdChar}, {-99, kIdStart}, {-3.5f, kIdNumber}, {-3.5f, kIdAlnum}})
    unigram(c.first, c.second);
  auto token_id = [&](const std::string& t) {
    return t == kTokStart ? (long)kIdStart : t == kTokNumber ? (long)kIdNumber : dw.index_of(t);
  };
  for (const bigram_plan_t& b : plan.bigrams) {
    const long p = token_id(b.prev), q = token_id(b.next);
    if (p < 0 || q < 0) return fail("bigram of an unknown word");
    bigrams << b.prob << ' ' << p << ' ' << q << '\n';
  }
  // Writes the model with `u` unigrams in the text layout and converts it to the binary file.
  auto write_model = [&](size_t u, const char* binary) {
    {
      std::ofstream lm(file("Ngram.txt"), std::ios::binary);
      lm << "\\data\\\nngram 1=" << u << "\nngram 2=" << plan.bigrams.size() << "\n\n\\1-grams:\n"
         << unigrams.str() << "\n\\2-grams:\n" << bigrams.str() << "\n\\end\\\n";
      if (!lm) return false;
    }
    Ngram model(2);
    const bool ok = model.read(file("Ngram.txt").c_str()) && model.write_binary(file(binary).c_str());
    std::remove(file("Ngram.txt").c_str());
    return ok;
  };
  if (!write_model(plan.words.size() + 4, "Ngram.Lex")) return fail("cannot write the word model");
  // The person-name model: the class tokens are known there only.
  for (const auto& u : plan.pn_class_unigrams) {
    if (u.first != kTokPerson && u.first != kTokLocation)
      return fail("person-name model unigram of no class token");
    unigram(u.second, u.first == kTokPerson ? kIdPerson : kIdLocation);
  }
  if (!write_model(plan.words.size() + 4 + plan.pn_class_unigrams.size(), "Ngram_PN.Lex"))
    return fail("cannot write the person-name model");

  if (!write_table(file("RoleTT.Lex"), 54, plan, plan.role_tt_cells) ||
      !write_table(file("LNRoleTT.Lex"), 54, plan, plan.ln_role_tt_cells) ||
      !write_table(file("POSTT.Lex"), 56, plan, plan.pos_tt_cells))
    return fail("cannot write the transition tables (or a cell is outside its table)");

  CRuleDictWriter rw;
  for (const auto& r : plan.amb_rules)
    if (!rw.add(r.first, r.second)) return fail("bad ambiguity rule " + utf8(r.first));
  if (!rw.write(file("UserAmbRule").c_str())) return fail("cannot write UserAmbRule");

  // An empty secondary lexicon still needs its two files.
  if (!write_t2s_table(file("t2s").c_str(), plan.t2s_chars) ||
      !write_t2s_words(file("t2s.word").c_str(), plan.t2s_words) ||
      !write_t2s_disable(file("t2s.disable").c_str(), plan.t2s_disable) ||
      !CNerResourceWriter::write_named_entity_resource(file("ner_info").c_str(), plan.fuxing, plan.no_amb_xing,
                                                       plan.loc_suffix) ||
      !write_second_lexicon(file("Sec.Lex").c_str(), file("Sec.Prop").c_str(), plan.second_lex))
    return fail("cannot write the t2s tables, ner_info or the secondary lexicon");

  m_dir.mkdirs("CustomWord");
  for (const auto& f : plan.custom_files)
    if (!write_file("CustomWord/" + f.first, f.second)) return fail("cannot write " + f.first);
  if (!plan.sys_class_names.empty() &&
      !write_sys_custom_dict(file("cusdata.idx").c_str(), file("id_custname.dict").c_str(),
                             plan.sys_class_names, plan.sys_entries))
    return fail("cannot write the system custom dictionary");
  m_error.clear();
  return true;
}

}  // namespace lxtest
