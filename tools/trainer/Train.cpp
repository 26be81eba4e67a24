#include "Train.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "Eval.h"
#include "base/PosTag.h"
#include "base/uconv.h"
#include "dict/BasicDictWriter.h"
#include "dict/CustomDictWriter.h"
#include "dict/NerResourceWriter.h"
#include "dict/RuleDictWriter.h"
#include "dict/T2SWriter.h"
#include "lm/Ngram.h"
#include "seg/Factoid.h"

namespace lxtrain {

namespace {

const int kPosStart = 49;  // sentence start of the tagging model
const int kPosEnd = 55;    // sentence end
const int kPosTTDim = 56;
const int kRoleTTDim = 54;

bool IsLead(unsigned char c) { return c >= 0x81 && c != 0xFF; }

size_t CharLen(const std::string& s, size_t i) {
  return (IsLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}

// The sentence splitter's separators: tab, LF, CR, space, ! , ; ? _ and the
// GBK characters 　 。 … ！ ， ： ； ？ ＿.  A separator is never part of a
// sentence: the splitter hands it out apart from the lattice.
bool IsSeparatorChar(const std::string& s, size_t i, size_t n) {
  if (n == 1) return std::strchr("\t\n\r !,;?_", s[i]) != nullptr && s[i] != '\0';
  static const char* const kWide[] = {"\xa1\xa1", "\xa1\xa3", "\xa1\xad", "\xa3\xa1", "\xa3\xac",
                                      "\xa3\xba", "\xa3\xbb", "\xa3\xbf", "\xa3\xdf"};
  for (const char* w : kWide)
    if (s[i] == w[0] && s[i + 1] == w[1]) return true;
  return false;
}

// The lattice sees lower-cased text: ASCII letters (never trail bytes) are
// lowered.
std::string LowerAscii(std::string w) {
  for (size_t i = 0; i < w.size(); i += CharLen(w, i))
    if (w[i] >= 'A' && w[i] <= 'Z') w[i] = static_cast<char>(w[i] - 'A' + 'a');
  return w;
}

std::string ToGbk(const std::string& utf8) {
  std::vector<char> buf(utf8.size() + 1);
  int n = utf8_to_gbk(utf8.data(), static_cast<uint32_t>(utf8.size()), buf.data(),
                      static_cast<uint32_t>(buf.size()), UCONV_INVCHAR_ERROR);
  return n < 0 ? std::string() : std::string(buf.data(), static_cast<size_t>(n));
}

std::string FormatLogP(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  // "-0.000000" and "0.000000" read the same; keep one spelling.
  if (std::string(buf) == "-0.000000") return "0.000000";
  return buf;
}

std::string JoinPath(const std::string& dir, const char* name) {
  return (std::filesystem::path(dir) / name).string();
}

bool Fail(std::string* error, const std::string& what) {
  if (error) *error = what;
  return false;
}

// Two-byte GBK characters of a UTF-8 field, or empty if it is not exactly
// one two-byte GBK character.
std::string GbkChar(const std::string& utf8) {
  std::string g = ToGbk(utf8);
  return (g.size() == 2 && IsLead(static_cast<unsigned char>(g[0]))) ? g : std::string();
}

std::vector<std::string> SplitWs(const std::string& s) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    size_t b = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t') ++i;
    if (i > b) out.push_back(s.substr(b, i - b));
  }
  return out;
}

}  // namespace

bool IsSeparatorToken(const std::string& w) {
  if (w.empty()) return false;
  for (size_t i = 0; i < w.size(); i += CharLen(w, i))
    if (!IsSeparatorChar(w, i, CharLen(w, i))) return false;
  return true;
}

bool IsFactoidLed(const std::string& w) {
  if (w.empty()) return false;
  unsigned char c = static_cast<unsigned char>(w[0]);
  if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
  if (c == 0xA3 && w.size() >= 2) {
    unsigned char d = static_cast<unsigned char>(w[1]);
    return (d >= 0xB0 && d <= 0xB9) || (d >= 0xC1 && d <= 0xDA) || (d >= 0xE1 && d <= 0xFA);
  }
  return false;
}

std::string TrainSummary::report() const {
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "paragraphs used %zu, development %zu, malformed %zu\n"
                "sentences %zu, tokens %zu\n"
                "dictionary words %zu, bigrams %zu, discount %.4f\n",
                paragraphs_used, paragraphs_dev, paragraphs_malformed, sentences, tokens,
                dict_words, bigrams, discount);
  return buf;
}

Trainer::Trainer(TrainOptions options) : m_options(options), m_factoid(new CFactoid()) {
  // Full-width digits and letters are read as ASCII, so "１９９８" and "1998"
  // are the same number factoid.
  m_factoid->set_pku();
}

Trainer::~Trainer() = default;

void Trainer::add_corpus(std::istream& in) {
  CorpusReader reader(in);
  CorpusParagraph para;
  while (reader.next(para)) add_paragraph(para);
  const CorpusStats& s = reader.stats();
  CorpusStats& t = m_corpus_stats;
  t.lines += s.lines;
  t.paragraphs += s.paragraphs;
  t.malformed_paragraphs += s.malformed_paragraphs;
  t.tokens += s.tokens;
  t.missing_ids += s.missing_ids;
  t.untagged_tokens += s.untagged_tokens;
  t.unbalanced_brackets += s.unbalanced_brackets;
  t.unknown_tags += s.unknown_tags;
  t.stray_crs += s.stray_crs;
  for (const auto& kv : s.unknown_tag_counts) t.unknown_tag_counts[kv.first] += kv.second;
}

std::vector<TrainPiece> Trainer::pieces_of(const CorpusToken& token) const {
  std::vector<TrainPiece> out;
  if (!IsFactoidLed(token.word)) {
    TrainPiece p;
    p.word = LowerAscii(token.word);
    p.pos = token.pos;
    out.push_back(p);
    return out;
  }
  std::string w = LowerAscii(token.word);
  size_t i = 0;
  while (i < w.size()) {
    int type = 0;
    uint32_t fclen = 0;
    m_factoid->recognize_factoid_word(w.data() + i, static_cast<uint32_t>(w.size() - i), type,
                                      fclen);
    TrainPiece p;
    p.pos = token.pos;
    if (fclen > 0) {
      p.cls = type == CFactoid::kNumber                           ? kIdNumber
              : (type == CFactoid::kAlnum || type == CFactoid::kUrl) ? kIdAlnum
                                                                  : kIdChar;
      i += fclen;
    } else {
      size_t n = CharLen(w, i);
      p.word = w.substr(i, n);
      i += n;
    }
    out.push_back(p);
  }
  return out;
}

void Trainer::add_paragraph(const CorpusParagraph& para) {
  if (para.malformed) {
    ++m_summary.paragraphs_malformed;
    return;
  }
  if (m_options.skip_dev && IsDevParagraph(para.id)) {
    ++m_summary.paragraphs_dev;
    return;
  }
  ++m_summary.paragraphs_used;
  // Sentences run between separator tokens, which themselves belong to no
  // sentence (neither to the word model nor to the tag transitions).
  std::vector<uint32_t> keys;
  int prev = kPosStart;
  auto close = [&]() {
    if (prev == kPosStart) return;  // empty sentence: the lattice sees nothing
    ++m_summary.sentences;
    ++m_tag_bigram[{prev, kPosEnd}];
    m_sentences.push_back(std::move(keys));
    keys.clear();
    prev = kPosStart;
  };
  for (const CorpusToken& t : para.tokens) {
    ++m_summary.tokens;
    if (IsSeparatorToken(t.word)) {
      close();
      continue;
    }
    ++m_tag_bigram[{prev, t.pos}];
    ++m_tag_count[t.pos];
    prev = t.pos;
    if (!IsFactoidLed(t.word)) {
      ++m_word_pos[LowerAscii(t.word)][t.pos];
      if (t.word.size() == 2 && IsLead(static_cast<unsigned char>(t.word[0]))) {
        auto& c = m_single_char_nr[t.word];
        if (t.tag == "nr") ++c.first;
        else ++c.second;
      }
    }
    for (const TrainPiece& p : pieces_of(t)) {
      if (p.word.empty()) {
        keys.push_back(p.cls);
        continue;
      }
      auto it = m_piece_index.find(p.word);
      if (it == m_piece_index.end()) {
        it = m_piece_index.emplace(p.word, static_cast<uint32_t>(m_piece_words.size())).first;
        m_piece_words.push_back(p.word);
      }
      keys.push_back(it->second);
    }
  }
  close();
}

void Trainer::add_surnames(std::istream& in) {
  std::string line;
  while (ReadTextLine(in, line)) {
    size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::string g = ToGbk(line.substr(0, tab));
    if (g.empty()) continue;
    m_surnames.emplace_back(g, std::strtoull(line.c_str() + tab + 1, nullptr, 10));
  }
}

void Trainer::add_t2s_characters(std::istream& in) {
  std::string line;
  while (ReadTextLine(in, line)) {
    std::vector<std::string> f = SplitWs(line);
    if (f.size() < 2) continue;
    std::string src = GbkChar(f[0]);
    if (src.empty()) continue;
    std::vector<std::string>& targets = m_ts_chars[src];
    for (size_t k = 1; k < f.size(); ++k) {
      std::string t = GbkChar(f[k]);
      if (!t.empty() && std::find(targets.begin(), targets.end(), t) == targets.end())
        targets.push_back(t);
    }
  }
}

void Trainer::add_t2s_phrases(std::istream& in) {
  std::string line;
  while (ReadTextLine(in, line)) {
    std::vector<std::string> f = SplitWs(line);
    if (f.size() < 2) continue;
    std::string src = ToGbk(f[0]), dst = ToGbk(f[1]);
    if (src.empty() || src.size() != dst.size() || src == dst) continue;
    m_ts_phrases[src] = dst;
  }
}

bool Trainer::write(const std::string& dir, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return Fail(error, "cannot create directory " + dir);
  return write_dictionary_and_models(dir, error) && write_tables(dir, error) &&
         write_lists(dir, error);
}

bool Trainer::write_dictionary_and_models(const std::string& dir, std::string* error) {
  // Dictionary: every training word that is not led by a digit or letter,
  // with its POS list (log10 P(word | tag)), most frequent tag first.
  CBasicDictWriter dw;
  for (const auto& kv : m_word_pos) {
    basic_dict_entry_t e;
    e.word = kv.first;
    std::vector<std::pair<uint64_t, int>> by_count;
    for (const auto& pc : kv.second) by_count.emplace_back(pc.second, pc.first);
    std::sort(by_count.begin(), by_count.end(),
              [](const std::pair<uint64_t, int>& a, const std::pair<uint64_t, int>& b) {
                return a.first != b.first ? a.first > b.first : a.second < b.second;
              });
    std::vector<prop_item_t> pos;
    for (const auto& c : by_count) {
      double p = double(c.first) / double(m_tag_count[c.second]);
      pos.push_back(prop_item_t{static_cast<uint8_t>(c.second), static_cast<LogP>(std::log10(p))});
    }
    e.pos = pos;
    dw.add(e);  // refuses only words the format cannot hold (over 255 bytes)
  }
  if (!dw.write(JoinPath(dir, "Core.Lex").c_str(), JoinPath(dir, "Core.Prop").c_str()))
    return Fail(error, "basic dictionary: " + dw.last_error());
  m_summary.dict_words = dw.size();

  // Model ids of the pieces.
  std::vector<uint32_t> piece_id(m_piece_words.size());
  for (size_t k = 0; k < m_piece_words.size(); ++k) {
    long idx = dw.index_of(m_piece_words[k]);
    piece_id[k] = idx >= 0 ? static_cast<uint32_t>(idx) : kIdChar;
  }
  std::map<uint32_t, uint64_t> uni;
  std::map<std::pair<uint32_t, uint32_t>, uint64_t> bi;
  uint64_t total = 0;
  for (const std::vector<uint32_t>& s : m_sentences) {
    uint32_t prev = kIdStart;
    for (uint32_t key : s) {
      uint32_t id = key >= kIdChar ? key : piece_id[key];
      ++uni[id];
      ++total;
      ++bi[{prev, id}];
      prev = id;
    }
  }
  if (total == 0) return Fail(error, "no training text");
  // The model must hold the unknown id (the loader refuses a model without
  // it): when the text never needed it, it gets one pseudo-occurrence.
  if (uni[kIdChar] == 0) {
    uni[kIdChar] = 1;
    ++total;
  }

  // Absolute discounting of the bigrams with D = n1 / (n1 + 2 n2); the
  // discounted mass goes to the unigram distribution through the back-off
  // weight of each context.
  uint64_t n1 = 0, n2 = 0;
  for (const auto& kv : bi) {
    if (kv.second == 1) ++n1;
    else if (kv.second == 2) ++n2;
  }
  double D = (n1 + 2 * n2) ? double(n1) / double(n1 + 2 * n2) : 0.5;
  if (D <= 0 || D >= 1) D = 0.5;
  m_summary.discount = D;
  m_summary.bigrams = bi.size();

  auto p_uni = [&](uint32_t id) { return double(uni[id]) / double(total); };
  std::map<uint32_t, double> bow;
  {
    std::map<uint32_t, std::pair<uint64_t, uint64_t>> ctx;  // count, types
    std::map<uint32_t, double> seen_uni;
    for (const auto& kv : bi) {
      auto& c = ctx[kv.first.first];
      c.first += kv.second;
      ++c.second;
      seen_uni[kv.first.first] += p_uni(kv.first.second);
    }
    for (const auto& kv : ctx) {
      double left = D * double(kv.second.second) / double(kv.second.first);
      double den = std::max(1e-9, 1.0 - seen_uni[kv.first]);
      bow[kv.first] = std::log10(left / den);
    }
  }
  std::string text_path = JoinPath(dir, "Ngram.txt.tmp");
  {
    std::ofstream lm(text_path, std::ios::binary);
    lm << "\\data\\\nngram 1=" << uni.size() + 1 << "\nngram 2=" << bi.size()
       << "\n\n\\1-grams:\n";
    for (const auto& kv : uni) {
      auto b = bow.find(kv.first);
      lm << FormatLogP(std::log10(p_uni(kv.first))) << ' ' << kv.first << ' '
         << FormatLogP(b == bow.end() ? 0.0 : b->second) << '\n';
    }
    lm << "-99.000000 " << kIdStart << ' ' << FormatLogP(bow[kIdStart]) << '\n';
    lm << "\n\\2-grams:\n";
    std::map<uint32_t, uint64_t> ctx_total;
    for (const auto& kv : bi) ctx_total[kv.first.first] += kv.second;
    for (const auto& kv : bi) {
      double p = (double(kv.second) - D) / double(ctx_total[kv.first.first]);
      lm << FormatLogP(std::log10(p)) << ' ' << kv.first.first << ' ' << kv.first.second << '\n';
    }
    lm << "\n\\end\\\n";
    if (!lm) return Fail(error, "cannot write " + text_path);
  }
  {
    Ngram model(2);
    bool ok = model.read(text_path.c_str());
    std::remove(text_path.c_str());
    if (!ok) return Fail(error, "cannot read back the model text");
    // The named-entity path has no trained model yet: it gets the word model.
    if (!model.write_binary(JoinPath(dir, "Ngram.Lex").c_str()) ||
        !model.write_binary(JoinPath(dir, "Ngram_PN.Lex").c_str()))
      return Fail(error, "cannot write the binary models");
  }
  return true;
}

bool Trainer::write_tables(const std::string& dir, std::string* error) {
  // POS transitions: log10 P(tag | previous tag), add-0.5 smoothing over the
  // 48 tags and the sentence end.
  std::vector<CProbabilityNode> pos(kPosTTDim * kPosTTDim);
  std::map<int, uint64_t> from;
  for (const auto& kv : m_tag_bigram) from[kv.first.first] += kv.second;
  const double kAdd = 0.5, kOutcomes = 49;
  for (int p = 0; p < kPosTTDim; ++p) {
    for (int c = 0; c < kPosTTDim; ++c) {
      auto it = m_tag_bigram.find({p, c});
      double n = it == m_tag_bigram.end() ? 0.0 : double(it->second);
      double pr = (n + kAdd) / (double(from[p]) + kAdd * kOutcomes);
      pos[p * kPosTTDim + c] = CProbabilityNode{static_cast<LogP>(std::log10(pr)), 0.0f};
    }
  }
  if (!CNerResourceWriter::write_transition_table(JoinPath(dir, "POSTT.Lex").c_str(),
                                                  pos.data(), kPosTTDim))
    return Fail(error, "cannot write POSTT.Lex");
  // Role tables: not trained yet; uniform over the 53 roles.
  const LogP uniform = static_cast<LogP>(std::log10(1.0 / 53));
  std::vector<CProbabilityNode> role(kRoleTTDim * kRoleTTDim,
                                     CProbabilityNode{uniform, uniform});
  if (!CNerResourceWriter::write_transition_table(JoinPath(dir, "RoleTT.Lex").c_str(),
                                                  role.data(), kRoleTTDim) ||
      !CNerResourceWriter::write_transition_table(JoinPath(dir, "LNRoleTT.Lex").c_str(),
                                                  role.data(), kRoleTTDim))
    return Fail(error, "cannot write the role tables");
  return true;
}

bool Trainer::write_lists(const std::string& dir, std::string* error) {
  // Named-entity lists.  Compound surnames: the two-character entries of the
  // surname list.  Unambiguous surnames: one-character surnames that the
  // training text only ever tags nr.  Both by descending frequency.
  std::vector<std::pair<std::string, uint64_t>> sn = m_surnames;
  std::sort(sn.begin(), sn.end(), [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  });
  std::vector<std::string> fuxing, no_amb;
  std::set<std::string> seen;
  for (const auto& s : sn) {
    if (!seen.insert(s.first).second) continue;
    if (s.first.size() == 4) fuxing.push_back(s.first);
    if (s.first.size() == 2) {
      auto it = m_single_char_nr.find(s.first);
      if (it != m_single_char_nr.end() && it->second.first > 0 && it->second.second == 0)
        no_amb.push_back(s.first);
    }
  }
  const char* kSuffixes[] = {"省", "市", "县", "区", "州", "旗", "镇", "乡", "村", "盟",
                             "街道", "自治区", "自治州", "自治县"};
  std::vector<std::pair<std::string, int>> suffix;
  for (const char* s : kSuffixes) suffix.emplace_back(ToGbk(s), 1);
  if (!CNerResourceWriter::write_named_entity_resource(JoinPath(dir, "ner_info").c_str(), fuxing,
                                                       no_amb, suffix))
    return Fail(error, "cannot write ner_info");

  // Traditional to simplified: characters with one GBK target convert
  // directly; characters with several are ambiguous and convert only
  // inside the words of "t2s.word" (phrases that contain them).
  std::vector<t2s_char_entry_t> chars;
  std::set<std::string> ambiguous;
  for (const auto& kv : m_ts_chars) {
    if (kv.second.empty()) continue;
    if (kv.second.size() == 1 && kv.second[0] == kv.first) continue;
    bool amb = kv.second.size() > 1;
    if (amb) ambiguous.insert(kv.first);
    chars.push_back(t2s_char_entry_t{kv.first, kv.second[0], amb});
  }
  std::vector<t2s_pair_t> words;
  for (const auto& kv : m_ts_phrases) {
    bool has = false;
    for (size_t i = 0; i + 1 < kv.first.size(); i += CharLen(kv.first, i))
      if (ambiguous.count(kv.first.substr(i, 2))) has = true;
    if (has) words.push_back(t2s_pair_t{kv.first, kv.second});
  }
  if (!write_t2s_table(JoinPath(dir, "t2s").c_str(), chars,
                       "traditional to simplified characters, generated by lxtrain") ||
      !write_t2s_words(JoinPath(dir, "t2s.word").c_str(), words) ||
      !write_t2s_disable(JoinPath(dir, "t2s.disable").c_str(), {}))
    return Fail(error, "cannot write the t2s tables");

  // User ambiguity rules: none yet.
  {
    CRuleDictWriter rw;
    if (!rw.write(JoinPath(dir, "UserAmbRule").c_str()))
      return Fail(error, "cannot write UserAmbRule");
  }
  // Secondary lexicon: empty.
  if (!write_second_lexicon(JoinPath(dir, "Sec.Lex").c_str(), JoinPath(dir, "Sec.Prop").c_str(),
                            {}))
    return Fail(error, "cannot write the secondary lexicon");
  // System custom dictionary: the class names only.
  if (!write_sys_custom_dict(JoinPath(dir, "cusdata.idx").c_str(),
                             JoinPath(dir, "id_custname.dict").c_str(), {"none"}, {}))
    return Fail(error, "cannot write the system custom dictionary");
  // Custom word directory with one example class that holds no word.
  {
    std::error_code ec;
    std::filesystem::path ex = std::filesystem::path(dir) / "CustomWord" / "example";
    std::filesystem::create_directories(ex, ec);
    if (ec) return Fail(error, "cannot create CustomWord");
    std::ofstream f(ex / "example.txt", std::ios::binary);
    f << "# One word per line, optionally followed by a comma and a POS tag.\n"
         "# The directory name is the class of the words in it.\n";
    if (!f) return Fail(error, "cannot write CustomWord/example/example.txt");
  }
  return true;
}

}  // namespace lxtrain
