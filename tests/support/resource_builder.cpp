#include "resource_builder.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "base/uconv.h"
#include "dict/CustomDict.h"
#include "dict/NerResourceWriter.h"
#include "dict/RuleDictWriter.h"
#include "lm/Ngram.h"

namespace lxtest {

const char kTokStart[] = "<s>";
const char kTokChar[] = "<char>";
const char kTokNumber[] = "<num>";
const char kTokAlnum[] = "<alnum>";
const char kTokEnd[] = "</s>";
const char kTokPerson[] = "<person>";
const char kTokLocation[] = "<location>";

const char* const kLoadOrderFiles[] = {"Core.Lex",   "Core.Prop",    "Ngram.Lex", "Ngram_PN.Lex",
                                       "RoleTT.Lex", "LNRoleTT.Lex", "POSTT.Lex", "UserAmbRule",
                                       "ner_info",   "Sec.Lex",      "Sec.Prop"};
const size_t kLoadOrderFileCount = sizeof(kLoadOrderFiles) / sizeof(kLoadOrderFiles[0]);

std::string gbk(const std::string& utf8_text) {
  std::vector<char> buf(utf8_text.size() + 1);
  int n = utf8_to_gbk(utf8_text.data(), (uint32_t)utf8_text.size(), buf.data(),
                      (uint32_t)buf.size(), UCONV_INVCHAR_IGNORE);
  return n < 0 ? std::string() : std::string(buf.data(), (size_t)n);
}

std::string utf8(const std::string& gbk_text) {
  std::vector<char> buf(gbk_text.size() * 3 + 1);
  int n = gbk_to_utf8(gbk_text.data(), (uint32_t)gbk_text.size(), buf.data(), (uint32_t)buf.size(),
                      UCONV_INVCHAR_IGNORE);
  return n < 0 ? std::string() : std::string(buf.data(), (size_t)n);
}

basic_dict_entry_t lex_word(const std::string& word, uint8_t pos, uint16_t name_entity) {
  basic_dict_entry_t e;
  e.word = word;
  e.name_entity = name_entity;
  e.pos = std::vector<prop_item_t>{{pos, -0.1f}};
  return e;
}

basic_dict_entry_t ne_word(const std::string& word, const std::vector<prop_item_t>& pos,
                           const std::vector<prop_item_t>& roles,
                           const std::vector<prop_item_t>& ln_roles, uint16_t name_entity) {
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
  struct W {
    const char* word;
    uint8_t pos;
  };
  // POS ids: 1 a, 6 d, 15 m, 16 n, 17 nr, 20 ns, 21 nt, 25 p, 26 q, 27 r,
  // 30 u, 31 v, 33 vn.
  const W plain[] = {{"中国", 20},   {"人民", 16}, {"中国人", 16}, {"我们", 27}, {"喜欢", 31},
                     {"北京", 20},   {"大学", 16}, {"学生", 16},   {"研究", 33}, {"生命", 16},
                     {"研究生", 16}, {"起源", 16}, {"分之", 15},   {"个数", 16}, {"的", 30},
                     {"是", 31},     {"在", 25},   {"和", 5},      {"上海", 20}, {"天气", 16},
                     {"很", 6},      {"好", 1},    {"今天", 29},   {"一", 15},   {"三", 15},
                     {"年", 26},     {"万", 15},   {"个", 26},     {"人", 16},   {"白天", 29},
                     {"天鹅", 16},   {"白", 1},    {"鹅", 16},     {"和服", 16}, {"服装", 16},
                     {"装", 31},     {"生", 31},   {"北京人", 16}, {"中华", 20}, {"人民共和国", 21},
                     {"共和国", 16}, {"干燥", 1},  {"幺么", 16},   {"烤", 31},   {"鸭", 16},
                     {"email", 16},  {"abc", 16}};
  for (const W& w : plain) s.words.push_back(lex_word(gbk(w.word), w.pos));

  // A rule word (89): "大学生" is scored through the block 大学 + 生 and
  // split into them.
  {
    basic_dict_entry_t e = lex_word(gbk("大学生"), 16, 89);
    e.rule = BasicDictRuleBlock({gbk("大学"), gbk("生")}, -0.5f);
    s.words.push_back(e);
  }
  // An ambiguous word (88) with two readings: 白天 + 鹅 and 白 + 天鹅.
  {
    basic_dict_entry_t e;
    e.word = gbk("白天鹅");
    e.name_entity = 88;
    std::vector<rule_value_t> r = BasicDictRuleBlock({gbk("白天"), gbk("鹅")}, -0.5f);
    std::vector<rule_value_t> r2 = BasicDictRuleBlock({gbk("白"), gbk("天鹅")}, -0.7f);
    r.insert(r.end(), r2.begin(), r2.end());
    e.rule = r;
    e.pos = std::vector<prop_item_t>{{29, -0.1f}, {16, -0.1f}, {1, -0.1f}, {16, -0.1f}};
    s.words.push_back(e);
  }
  // A word with two segmentations (87): 和服 + 装 and 和 + 服装.
  {
    basic_dict_entry_t e = lex_word(gbk("和服装"), 16, 87);
    e.rule = BasicDictMulSegRecord(gbk("和服"), gbk("装"), 16, 31, gbk("和"), gbk("服装"), 5, 16);
    s.words.push_back(e);
  }
  // A word with sub-words (LX_SGU): 北京 + 大学 inside 北京大学.
  {
    basic_dict_entry_t e = lex_word(gbk("北京大学"), 21);
    e.subwords = std::vector<subword_t>{{4, 20}, {4, 16}};
    s.words.push_back(e);
  }

  s.bigrams = {
      {kTokStart, gbk("我们"), -0.5f},   {gbk("我们"), gbk("喜欢"), -0.3f},
      {gbk("中国"), gbk("人民"), -0.4f}, {gbk("北京"), gbk("大学"), -0.4f},
      {gbk("研究"), gbk("生命"), -0.4f}, {gbk("生命"), gbk("的"), -0.6f},
      {gbk("的"), gbk("起源"), -0.6f},   {kTokNumber, gbk("年"), -0.5f},
      {gbk("今天"), gbk("天气"), -0.5f}, {gbk("天气"), gbk("很"), -0.5f},
      {gbk("很"), gbk("好"), -0.4f},
  };

  // Secondary lexicon: pairs of characters that become one word.  The data
  // word holds the POS id in bits 1-6: 33 = nr (odd), 40 = ns (even).
  s.second_lex = {{gbk("张三"), 33}, {gbk("李四"), 32}, {gbk("长江"), 40}};
  // A user rule: "研究生命" is 研究 + 生命.
  s.amb_rules = {{gbk("研究生命"), {4, 4}}};
  // Traditional characters: 國 and 學 convert one to one, 乾 only inside
  // 乾燥, and 麼 everywhere except in 幺麼.
  s.t2s_chars = {{gbk("國"), gbk("国"), false},
                 {gbk("學"), gbk("学"), false},
                 {gbk("乾"), gbk("干"), true},
                 {gbk("麼"), gbk("么"), false}};
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
  s.with_custom_dir = true;
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> lead(0xB0, 0xD7);  // level-1 hanzi
  std::uniform_int_distribution<int> trail(0xA1, 0xFE);
  std::uniform_int_distribution<int> chars(2, 4);
  std::uniform_real_distribution<float> uni(-6.0f, -3.0f);
  std::uniform_int_distribution<int> pos(1, 48);
  std::set<std::string> seen;
  s.words.reserve(num_words);
  while (s.words.size() < num_words) {
    std::string w;
    // The first words are single characters, as in a real dictionary.
    const int n = s.words.size() < 2000 ? 1 : chars(rng);
    for (int i = 0; i < n; ++i) {
      w.push_back((char)lead(rng));
      w.push_back((char)trail(rng));
    }
    if (!seen.insert(w).second) continue;
    s.words.push_back(lex_word(w, (uint8_t)pos(rng)));
    s.unigram_of[w] = uni(rng);
  }
  std::uniform_int_distribution<size_t> pick(0, num_words - 1);
  std::set<std::pair<size_t, size_t> > pairs;
  while (pairs.size() < num_bigrams) {
    const std::pair<size_t, size_t> p(pick(rng), pick(rng));
    if (!pairs.insert(p).second) continue;
    s.bigrams.push_back({s.words[p.first].word, s.words[p.second].word, uni(rng) + 2.0f});
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
  std::uniform_int_distribution<size_t> pick(0, plan.words.empty() ? 0 : plan.words.size() - 1);
  std::uniform_int_distribution<int> dice(0, 99);
  const std::string comma = gbk("，");
  const std::string period = gbk("。");
  std::string text;
  text.reserve(bytes + 64);
  int since_punct = 0;
  while (text.size() < bytes) {
    const int d = dice(rng);
    if (d < 3) {
      text += std::to_string(rng() % 100000);
    } else if (d < 5) {
      text += "word";
      text += std::to_string(rng() % 100);
    } else if (!plan.words.empty()) {
      text += plan.words[pick(rng)].word;
    }
    if (++since_punct >= 8 + dice(rng) % 10) {
      text += dice(rng) < 70 ? comma : period;
      since_punct = 0;
      if (dice(rng) < 10) text += "\n";
    }
  }
  return text;
}

// --- Writing ----------------------------------------------------------------------

ResourceDir::ResourceDir() {
  std::error_code ec;
  std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  if (ec) base = "/tmp";
  std::string tmpl = (base / "lxres.XXXXXX").string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) != nullptr) m_path = buf.data();
}

ResourceDir::~ResourceDir() {
  if (m_path.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

bool ResourceDir::fail(const std::string& what) {
  m_error = what;
  return false;
}

long ResourceDir::word_index(const std::string& word) const {
  auto it = m_index.find(word);
  return it == m_index.end() ? -1 : it->second;
}

bool ResourceDir::write_file(const std::string& relative, const std::string& content) {
  std::filesystem::path p = std::filesystem::path(m_path) / relative;
  std::error_code ec;
  std::filesystem::create_directories(p.parent_path(), ec);
  std::ofstream out(p, std::ios::binary);
  out.write(content.data(), (std::streamsize)content.size());
  return (bool)out;
}

namespace {

const VocabIndex kIdChar = 10000000u;  // also the unknown word
const VocabIndex kIdStart = 10000001u;
const VocabIndex kIdNumber = 10000003u;
const VocabIndex kIdAlnum = 10000004u;
// Known to the person-name model only.
const VocabIndex kIdEnd = 10000002u;
const VocabIndex kIdPerson = 10000005u;
const VocabIndex kIdLocation = 10000006u;

// A table of `dim` x `dim` cells holding {prob, bow}, with the listed cells
// replaced.  False for a cell outside the table.
bool fill_table(std::vector<CProbabilityNode>& table, size_t dim, LogP prob, LogP bow,
                const std::vector<tt_cell_t>& cells) {
  table.assign(dim * dim, CProbabilityNode{prob, bow});
  for (const tt_cell_t& c : cells) {
    if (c.prev >= dim || c.cur >= dim) return false;
    table[c.prev * dim + c.cur] = CProbabilityNode{c.prob, c.bow};
  }
  return true;
}

}  // namespace

bool ResourceDir::build(const ResourcePlan& plan) {
  if (m_path.empty()) return fail("no temporary directory");
  m_index.clear();

  // Basic dictionary.
  CBasicDictWriter dw;
  for (const basic_dict_entry_t& e : plan.words)
    if (!dw.add(e)) return fail("cannot add word " + utf8(e.word));
  if (!dw.write(file("Core.Lex").c_str(), file("Core.Prop").c_str()))
    return fail("basic dictionary: " + dw.last_error());
  for (const basic_dict_entry_t& e : plan.words) m_index[e.word] = dw.index_of(e.word);

  // Word model, through the text layout.
  auto token_id = [&](const std::string& t, VocabIndex& id) {
    if (t == kTokStart)
      id = kIdStart;
    else if (t == kTokChar)
      id = kIdChar;
    else if (t == kTokNumber)
      id = kIdNumber;
    else if (t == kTokAlnum)
      id = kIdAlnum;
    else {
      long i = word_index(t);
      if (i < 0) return false;
      id = (VocabIndex)i;
    }
    return true;
  };
  std::ostringstream unigrams, bigrams;
  unigrams.precision(6);
  bigrams.precision(6);
  size_t n1 = 0, n2 = 0;
  for (const basic_dict_entry_t& e : plan.words) {
    auto u = plan.unigram_of.find(e.word);
    unigrams << (u == plan.unigram_of.end() ? plan.default_unigram : u->second) << ' '
             << m_index[e.word] << ' ' << plan.default_bow << '\n';
    ++n1;
  }
  unigrams << plan.char_unigram << ' ' << kIdChar << ' ' << plan.default_bow << '\n';
  unigrams << -99 << ' ' << kIdStart << ' ' << plan.default_bow << '\n';
  unigrams << plan.number_unigram << ' ' << kIdNumber << ' ' << plan.default_bow << '\n';
  unigrams << plan.alnum_unigram << ' ' << kIdAlnum << ' ' << plan.default_bow << '\n';
  n1 += 4;
  for (const bigram_plan_t& b : plan.bigrams) {
    VocabIndex p, q;
    if (!token_id(b.prev, p) || !token_id(b.next, q)) return fail("bigram of an unknown word");
    bigrams << b.prob << ' ' << p << ' ' << q << '\n';
    ++n2;
  }
  // Writes a model in the text layout and converts it to the binary file.
  auto write_model = [&](const std::string& uni, size_t u, const std::string& bi, size_t b,
                         const char* binary) {
    {
      std::ofstream lm(file("Ngram.txt"), std::ios::binary);
      lm << "\\data\\\nngram 1=" << u << "\nngram 2=" << b << "\n\n\\1-grams:\n"
         << uni << "\n\\2-grams:\n"
         << bi << "\n\\end\\\n";
      if (!lm) return false;
    }
    Ngram model(2);
    const bool ok = model.read(file("Ngram.txt").c_str()) && model.write_binary(file(binary).c_str());
    std::remove(file("Ngram.txt").c_str());
    return ok;
  };
  if (!write_model(unigrams.str(), n1, bigrams.str(), n2, "Ngram.Lex"))
    return fail("cannot write the word model");
  if (plan.pn_class_unigrams.empty() && plan.pn_bigrams.empty()) {
    if (!write_model(unigrams.str(), n1, bigrams.str(), n2, "Ngram_PN.Lex"))
      return fail("cannot write the person-name model");
  } else {
    // The class tokens are known here only.
    auto class_id = [&](const std::string& t, VocabIndex& id) {
      if (t == kTokEnd)
        id = kIdEnd;
      else if (t == kTokPerson)
        id = kIdPerson;
      else if (t == kTokLocation)
        id = kIdLocation;
      else
        return token_id(t, id);
      return true;
    };
    std::ostringstream pn_uni, pn_bi;
    pn_uni.precision(6);
    pn_bi.precision(6);
    pn_uni << unigrams.str();
    pn_bi << bigrams.str();
    size_t m1 = n1, m2 = n2;
    for (const auto& u : plan.pn_class_unigrams) {
      VocabIndex id = 0;
      if (u.first != kTokEnd && u.first != kTokPerson && u.first != kTokLocation)
        return fail("person-name model unigram of no class token");
      class_id(u.first, id);
      pn_uni << u.second << ' ' << id << ' ' << plan.default_bow << '\n';
      ++m1;
    }
    for (const bigram_plan_t& b : plan.pn_bigrams) {
      VocabIndex p, q;
      if (!class_id(b.prev, p) || !class_id(b.next, q))
        return fail("person-name model bigram of an unknown word");
      pn_bi << b.prob << ' ' << p << ' ' << q << '\n';
      ++m2;
    }
    if (!write_model(pn_uni.str(), m1, pn_bi.str(), m2, "Ngram_PN.Lex"))
      return fail("cannot write the person-name model");
  }

  // Transition tables.
  {
    std::vector<CProbabilityNode> role, ln_role, pos;
    if (!fill_table(role, 54, plan.tt_prob, plan.tt_bow, plan.role_tt_cells) ||
        !fill_table(ln_role, 54, plan.tt_prob, plan.tt_bow, plan.ln_role_tt_cells) ||
        !fill_table(pos, 56, plan.tt_prob, plan.tt_bow, plan.pos_tt_cells))
      return fail("transition table cell outside the table");
    if (!CNerResourceWriter::write_transition_table(file("RoleTT.Lex").c_str(), role.data(), 54) ||
        !CNerResourceWriter::write_transition_table(file("LNRoleTT.Lex").c_str(), ln_role.data(),
                                                    54) ||
        !CNerResourceWriter::write_transition_table(file("POSTT.Lex").c_str(), pos.data(), 56))
      return fail("cannot write the transition tables");
  }

  // Ambiguity rules.
  {
    CRuleDictWriter rw;
    for (const auto& r : plan.amb_rules)
      if (!rw.add(r.first, r.second)) return fail("bad ambiguity rule " + utf8(r.first));
    if (!rw.write(file("UserAmbRule").c_str())) return fail("cannot write UserAmbRule");
  }

  // Traditional to simplified.
  if (!write_t2s_table(file("t2s").c_str(), plan.t2s_chars) ||
      !write_t2s_words(file("t2s.word").c_str(), plan.t2s_words) ||
      !write_t2s_disable(file("t2s.disable").c_str(), plan.t2s_disable))
    return fail("cannot write the t2s tables");

  // Named-entity lists.
  if (!CNerResourceWriter::write_named_entity_resource(file("ner_info").c_str(), plan.fuxing,
                                                       plan.no_amb_xing, plan.loc_suffix))
    return fail("cannot write ner_info");

  // Secondary lexicon.  An empty lexicon still needs its two files.
  if (!write_second_lexicon(file("Sec.Lex").c_str(), file("Sec.Prop").c_str(), plan.second_lex))
    return fail("cannot write the secondary lexicon");

  // Custom words.
  if (plan.with_custom_dir) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(m_path) / "CustomWord", ec);
    if (ec) return fail("cannot create CustomWord");
    for (const auto& f : plan.custom_files)
      if (!write_file("CustomWord/" + f.first, f.second)) return fail("cannot write " + f.first);
  }
  if (!plan.sys_class_names.empty()) {
    if (!write_sys_custom_dict(file("cusdata.idx").c_str(), file("id_custname.dict").c_str(),
                               plan.sys_class_names, plan.sys_entries))
      return fail("cannot write the system custom dictionary");
  }
  m_error.clear();
  return true;
}

}  // namespace lxtest
