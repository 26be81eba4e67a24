#include "Train.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "Eval.h"
#include "LXSegFunc.h"
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
const int kPosN = 16;      // the tag the tagger gives factoid items

// GBK 老 and 小, which make familiar names of surnames (老张, 小李).
const char kLao[] = "\xC0\xCF";
const char kXiao[] = "\xD0\xA1";
const int kPosTTDim = 56;
const int kRoleTTDim = 54;

// Name marks of the pieces of a sentence (m_sentence_marks).
const uint16_t kTypeCombination = 90;

const uint8_t kMarkNone = 0;
const uint8_t kMarkNameFirst = 1;  // first piece of a surname + given name
const uint8_t kMarkNameRest = 2;   // the name's other pieces
const uint8_t kMarkWholeName = 3;  // a name written as one token

bool IsLead(unsigned char c) { return c >= 0x81 && c != 0xFF; }

size_t CharLen(const std::string& s, size_t i) {
  return (IsLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}

// The parts of `word` between name separators (-, ·, ˉ, —, －), empty
// parts left out.
std::vector<std::string> SplitAtNameSeparators(const std::string& word) {
  static const char* const kSeparators[] = {"\xA1\xA4", "\xA1\xA5", "\xA1\xAA", "\xA3\xAD"};
  std::vector<std::string> parts;
  size_t b = 0;
  for (size_t k = 0; k < word.size();) {
    const size_t n = CharLen(word, k);
    bool sep = n == 1 && word[k] == '-';
    for (const char* s : kSeparators)
      if (n == 2 && word.compare(k, 2, s) == 0) sep = true;
    if (sep) {
      if (k > b) parts.push_back(word.substr(b, k - b));
      b = k + n;
    }
    k += n;
  }
  if (word.size() > b) parts.push_back(word.substr(b));
  return parts;
}

// Writes a role transition table (54 x 54) estimated from role bigram
// counts: m_Prob[p][c] = log10((count(p, c) + 0.1) / (count(p) + 0.1 R)),
// R the number of roles seen; m_Bow[r][0] = log10((fixed(r) + 0.5) /
// (count(r) + 0.5)) for the roles that occur, -99 everywhere else.
bool WriteRoleTable(const std::string& path,
                    const std::map<std::pair<uint8_t, uint8_t>, uint64_t>& trans,
                    const std::map<uint8_t, uint64_t>& role_total,
                    const std::map<uint8_t, double>& fixed) {
  std::set<uint8_t> seen;
  std::map<uint8_t, uint64_t> from;
  for (const auto& kv : trans) {
    seen.insert(kv.first.first);
    seen.insert(kv.first.second);
    from[kv.first.first] += kv.second;
  }
  const double kAdd = 0.1;
  const double outcomes = double(seen.size());
  std::vector<CProbabilityNode> tt(kRoleTTDim * kRoleTTDim);
  for (int p = 0; p < kRoleTTDim; ++p) {
    const uint8_t r = static_cast<uint8_t>(p);
    auto fr = from.find(r);
    const double row = fr == from.end() ? 0.0 : double(fr->second);
    for (int c = 0; c < kRoleTTDim; ++c) {
      auto it = trans.find({r, static_cast<uint8_t>(c)});
      const double cnt = it == trans.end() ? 0.0 : double(it->second);
      tt[p * kRoleTTDim + c].m_Prob =
          static_cast<LogP>(std::log10((cnt + kAdd) / (row + kAdd * outcomes)));
      tt[p * kRoleTTDim + c].m_Bow = -99.0f;
    }
    auto tot = role_total.find(r);
    if (tot == role_total.end() || tot->second == 0) continue;
    auto fx = fixed.find(r);
    const double n = fx == fixed.end() ? 0.0 : fx->second;
    tt[p * kRoleTTDim].m_Bow =
        static_cast<LogP>(std::log10((n + 0.5) / (double(tot->second) + 0.5)));
  }
  return CNerResourceWriter::write_transition_table(path.c_str(), tt.data(), kRoleTTDim);
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

std::string HalfWidth(const std::string& w) {
  std::string out;
  out.reserve(w.size());
  for (size_t i = 0; i < w.size(); i += CharLen(w, i)) {
    const unsigned char a = static_cast<unsigned char>(w[i]);
    if (CharLen(w, i) == 2 && a == 0xA3) {
      const unsigned char b = static_cast<unsigned char>(w[i + 1]);
      if (b > 0x80 && b != 0xA4 && b != 0xFE) {
        out += static_cast<char>(b - 0x80);
        continue;
      }
    }
    out.append(w, i, CharLen(w, i));
  }
  return out;
}

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
  char buf[1024];
  std::snprintf(buf, sizeof buf,
                "paragraphs used %zu, development %zu, malformed %zu\n"
                "sentences %zu, tokens %zu\n"
                "dictionary words %zu (%zu from the word list, %zu listed words rejected)\n"
                "bigrams %zu, discount %.4f\n"
                "person names %zu, with roles %zu; places with roles %zu (%zu left out of the "
                "dictionary); sentences left out of role training %zu\n"
                "listed transliterated names %zu, name parts %zu, familiar names %zu, listed places "
                "that may be names %zu, given-name characters %zu\n"
                "combination words %zu, ambiguity rules %zu, organisation words %zu\n",
                paragraphs_used, paragraphs_dev, paragraphs_malformed, sentences, tokens,
                dict_words, lexicon_words, lexicon_rejected, bigrams, discount, person_names,
                person_names_roled, places_roled, places_apart, role_sentences_skipped, listed_names, name_parts,
                familiar_names, listed_trans_places, given_name_chars, combination_words,
                ambiguity_rules, organisation_words);
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

  // Person names: a surname token (one character, or a two-character
  // surname of the surname list) tagged nr followed by a given-name token of
  // one or two characters tagged nr; any other nr token of two or more
  // characters is a name written whole.  Given names never become
  // dictionary words: a name the dictionary does not know must look, in
  // training, as it will look in new text (single characters).
  enum { kPlain, kSurname, kGiven, kWhole };
  // The text as the lattice of the recommended mode sees it: full-width
  // ASCII inside a sentence is normalised to ASCII (the splitter cuts the
  // original text, so separators stay as they are).
  std::vector<CorpusToken> toks = para.tokens;
  if (m_options.normalise_full_width)
    for (CorpusToken& t : toks)
      if (!IsSeparatorToken(t.word)) t.word = HalfWidth(t.word);
  std::vector<int> kind(toks.size(), kPlain);
  for (size_t i = 0; i < toks.size(); ++i) {
    if (toks[i].tag != "nr" || IsSeparatorToken(toks[i].word) || IsFactoidLed(toks[i].word))
      continue;
    const std::string& w = toks[i].word;
    bool surname = w.size() == 2 || (w.size() == 4 && m_surname_set.count(w));
    if (surname && i + 1 < toks.size() && toks[i + 1].tag == "nr" &&
        (toks[i + 1].word.size() == 2 || toks[i + 1].word.size() == 4) &&
        !IsFactoidLed(toks[i + 1].word) && !IsSeparatorToken(toks[i + 1].word)) {
      kind[i] = kSurname;
      kind[i + 1] = kGiven;
      ++i;
    } else if (w.size() >= 4) {
      kind[i] = kWhole;
    }
  }
  // The tag set tells surnames (nrf) and given names (nrg) apart, where the
  // text tags both nr: the tagger then learns that a given name follows a
  // surname, and the output of a recognised name uses the same tags.
  // Bracketed organisation names, with their inner words as sub-words.
  if (m_options.organisation_words)
    for (const CorpusSpan& sp : para.spans) {
      if (sp.tag != "nt" || sp.end > toks.size() || sp.end - sp.begin < 2) continue;
      std::string whole;
      std::vector<subword_t> subs;
      bool ok = true;
      for (size_t k = sp.begin; k < sp.end && ok; ++k) {
        const CorpusToken& t = toks[k];
        ok = t.word.size() <= 255 && !IsFactoidLed(t.word) && !IsSeparatorToken(t.word);
        whole += t.word;
        subs.push_back(subword_t{static_cast<uint8_t>(t.word.size()), static_cast<uint8_t>(t.pos)});
      }
      if (ok && whole.size() <= 32) {
        OrganisationWord& o = m_organisations[whole];
        o.subwords = subs;
        ++o.count;
      }
    }
  if (m_options.surname_given_tags) {
    static const int nrf = pos_tag_id("nrf"), nrg = pos_tag_id("nrg");
    for (size_t i = 0; i < toks.size(); ++i)
      if (kind[i] == kSurname) toks[i].pos = nrf;
      else if (kind[i] == kGiven) toks[i].pos = nrg;
  }

  // Sentences run between separator tokens, which themselves belong to no
  // sentence (neither to the word model nor to the tag transitions).
  std::vector<uint32_t> keys;
  std::vector<uint8_t> marks;
  std::vector<GoldName> names;
  std::vector<GoldPlace> places;
  std::vector<uint32_t> bounds;
  std::string text;
  int prev = kPosStart;
  auto close = [&]() {
    if (prev == kPosStart) return;  // empty sentence: the lattice sees nothing
    ++m_summary.sentences;
    ++m_tag_bigram[{prev, kPosEnd}];
    m_sentences.push_back(std::move(keys));
    m_sentence_marks.push_back(std::move(marks));
    m_sentence_names.push_back(std::move(names));
    m_sentence_places.push_back(std::move(places));
    m_sentence_text.push_back(std::move(text));
    m_sentence_bounds.push_back(std::move(bounds));
    bounds.clear();
    keys.clear();
    marks.clear();
    names.clear();
    places.clear();
    text.clear();
    prev = kPosStart;
  };
  auto add_piece = [&](const std::string& word, uint32_t cls, uint8_t mark) {
    marks.push_back(mark);
    if (word.empty()) {
      keys.push_back(cls);
      return;
    }
    auto it = m_piece_index.find(word);
    if (it == m_piece_index.end()) {
      it = m_piece_index.emplace(word, static_cast<uint32_t>(m_piece_words.size())).first;
      m_piece_words.push_back(word);
    }
    keys.push_back(it->second);
  };
  for (size_t i = 0; i < toks.size(); ++i) {
    const CorpusToken& t = toks[i];
    ++m_summary.tokens;
    if (IsSeparatorToken(t.word)) {
      close();
      continue;
    }
    // The tagger gives a factoid item (a word led by a digit or a Latin
    // letter) the tag n whatever it is; its transitions are trained so.
    const int seen_tag = (m_options.factoid_tag_n && IsFactoidLed(t.word)) ? kPosN : t.pos;
    ++m_tag_bigram[{prev, seen_tag}];
    ++m_tag_count[t.pos];
    prev = seen_tag;
    const uint32_t at = static_cast<uint32_t>(text.size());
    if (bounds.empty()) bounds.push_back(0);
    text += t.word;
    bounds.push_back(static_cast<uint32_t>(text.size()));
    if (t.tag == "ns" && !IsFactoidLed(t.word)) {
      GoldPlace pl;
      pl.begin = at;
      pl.end = at + static_cast<uint32_t>(t.word.size());
      places.push_back(pl);
    }
    if (kind[i] == kSurname) {
      GoldName n;
      n.begin = at;
      n.mid = at + static_cast<uint32_t>(t.word.size());
      n.end = n.mid + static_cast<uint32_t>(toks[i + 1].word.size());
      names.push_back(n);
      ++m_summary.person_names;
    } else if (kind[i] == kWhole) {
      GoldName n;
      n.begin = n.mid = at;
      n.end = at + static_cast<uint32_t>(t.word.size());
      names.push_back(n);
      ++m_summary.person_names;
      ++m_whole_name[LowerAscii(t.word)];
      bool wide = true;
      for (size_t k = 0; k < t.word.size(); k += CharLen(t.word, k))
        if (CharLen(t.word, k) != 2) wide = false;
      // The parts of a name joined by separators (拉吉夫·甘地): LX_PGU
      // outputs them apart, each a name of its own.
      const std::vector<std::string> parts = SplitAtNameSeparators(t.word);
      if (parts.size() > 1)
        for (const std::string& part : parts)
          if (part.size() >= 4) ++m_name_parts[part];
      if (wide) {
        const size_t last = t.word.size() - 2;
        for (size_t k = 0; k <= last; k += 2)
          ++m_trans_chars[k == 0 ? kRoleH : k == last ? kRoleT : kRoleI][t.word.substr(k, 2)];
      }
    }
    const bool apart = m_options.single_given_apart &&
                       ((kind[i] == kGiven && t.word.size() == 2) ||
                        (kind[i] == kSurname && toks[i + 1].word.size() == 2));
    if (kind[i] == kGiven && !apart) {
      m_given_names.insert(t.word);
      for (size_t k = 0; k < t.word.size(); k += CharLen(t.word, k))
        add_piece(t.word.substr(k, CharLen(t.word, k)), 0, kMarkNameRest);
      continue;
    }
    if (!IsFactoidLed(t.word)) {
      ++m_word_pos[LowerAscii(t.word)][t.pos];
      if (t.word.size() == 2 && IsLead(static_cast<unsigned char>(t.word[0]))) {
        auto& c = m_single_char_nr[t.word];
        if (t.tag == "nr") ++c.first;
        else ++c.second;
      }
    }
    const uint8_t mark = apart                ? kMarkNone
                         : kind[i] == kSurname ? kMarkNameFirst
                         : kind[i] == kWhole ? kMarkWholeName
                                             : kMarkNone;
    for (const TrainPiece& p : pieces_of(t)) add_piece(p.word, p.cls, mark);
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
    m_surname_set.insert(g);
  }
}

void Trainer::add_lexicon(std::istream& in) {
  std::string line;
  while (ReadTextLine(in, line)) {
    std::vector<std::string> f = SplitWs(line);
    if (f.size() < 3) continue;
    // Person names follow the corpus's own convention (surname and given
    // name apart, recognised as names) and numbers the factoid recognizer:
    // the list's names and numerals would contradict both.
    const std::string& tag = f[2];
    if (tag == "nrfg" || tag == "m" || tag == "mq" || tag == "x" || tag == "eng") continue;
    std::string g = ToGbk(f[0]);
    if (g.size() < 4 || g.size() > 16 || IsFactoidLed(g) || IsSeparatorToken(g)) continue;
    bool all_wide = true;  // two-byte characters only
    for (size_t i = 0; i < g.size(); i += CharLen(g, i))
      if (CharLen(g, i) != 2) all_wide = false;
    if (!all_wide) continue;
    if (tag == "nr" || tag == "nrt") {
      // Names wait until the text's names are known (select_lexicon_words).
      m_listed_names.emplace(g, tag == "nrt");
      continue;
    }
    bool known = false;
    int pos = MapCorpusTag(tag, &known);
    m_lexicon.emplace(g, pos);
  }
}

void Trainer::count_splits() {
  // How often the text writes each multi-character word or listed word as
  // several words (its string spans exactly two or more gold words) and how
  // often across a word boundary (it starts or ends inside a gold word that
  // does not contain it).
  m_splits.clear();
  size_t max_len = 0;
  for (const auto& kv : m_lexicon) {
    m_splits.emplace(kv.first, SplitCount());
    max_len = std::max(max_len, kv.first.size());
  }
  for (const auto& kv : m_listed_names) {
    m_splits.emplace(kv.first, SplitCount());
    max_len = std::max(max_len, kv.first.size());
  }
  for (const auto& s : m_surnames)
    if (s.first.size() == 2)
      for (const char* prefix : {kLao, kXiao}) {
        m_splits.emplace(prefix + s.first, SplitCount());
        max_len = std::max<size_t>(max_len, 4);
      }
  for (const auto& kv : m_word_pos) {
    if (kv.first.size() < 4 || kv.first.size() > 16) continue;
    m_splits.emplace(kv.first, SplitCount());
    max_len = std::max(max_len, kv.first.size());
  }
  std::string key;
  for (size_t s = 0; s < m_sentence_text.size(); ++s) {
    const std::string& text = m_sentence_text[s];
    const std::vector<uint32_t>& bounds = m_sentence_bounds[s];
    auto is_bound = [&](size_t pos) {
      return std::binary_search(bounds.begin(), bounds.end(), static_cast<uint32_t>(pos));
    };
    for (size_t i = 0; i < text.size(); i += CharLen(text, i)) {
      size_t e = i;
      while (e < text.size() && e - i < max_len) {
        e += CharLen(text, e);
        if (e - i < 4) continue;
        key.assign(text, i, e - i);
        auto it = m_splits.find(LowerAscii(key));
        if (it == m_splits.end()) continue;
        const bool bi = is_bound(i), be = is_bound(e);
        if (bi && be) {
          // One gold word, or several.
          auto next = std::upper_bound(bounds.begin(), bounds.end(), static_cast<uint32_t>(i));
          if (next != bounds.end() && *next < e) ++it->second.split;
        } else {
          // Inside one longer word is no contradiction.
          auto next = std::upper_bound(bounds.begin(), bounds.end(), static_cast<uint32_t>(i));
          if (next == bounds.end() || *next < e) ++it->second.crossing;
        }
      }
    }
  }
}

bool Trainer::begins_with_common_surname(const std::string& w) const {
  for (const auto& s : m_surnames)
    if (s.second >= m_options.common_surname_count && w.compare(0, s.first.size(), s.first) == 0)
      return true;
  return false;
}

bool Trainer::is_foreign_place(const std::string& w) const {
  // Spelt like a transliterated name and without a Chinese place ending.
  static const std::set<std::string> kEndings = [] {
    std::set<std::string> e;
    for (const char* c : {"省", "市", "县", "区", "州", "乡", "镇", "村", "山", "河", "湖", "江",
                          "岛", "港", "湾", "路", "街", "峰", "海", "城", "庄", "屯", "寨"})
      e.insert(ToGbk(c));
    return e;
  }();
  return w.size() >= 4 && !kEndings.count(w.substr(w.size() - 2)) && spelt_like_transliteration(w);
}

bool Trainer::is_unkept_name(const std::string& w) const {
  // A name the text writes whole only once is no dictionary word
  // (write_dictionary): new text must find such names as it finds new ones.
  auto wp = m_word_pos.find(w);
  auto wn = m_whole_name.find(w);
  return wp != m_word_pos.end() && wp->second.size() == 1 &&
         wp->second.begin()->first == pos_tag_id("nr") && wp->second.begin()->second == 1 &&
         wn != m_whole_name.end() && wn->second == 1;
}

bool Trainer::spelt_like_transliteration(const std::string& w) const {
  for (size_t k = 0; k < w.size(); k += 2) {
    if (CharLen(w, k) != 2) return false;
    const std::string c = w.substr(k, 2);
    bool found = false;
    for (const auto& rc : m_trans_chars)
      if (rc.second.count(c)) found = true;
    if (!found) return false;
  }
  return true;
}

bool Trainer::is_compound_of_words(const std::string& w) const {
  // can[i]: the first i bytes are a sequence of training words of two or
  // more characters.
  std::vector<bool> can(w.size() + 1, false);
  can[0] = true;
  for (size_t i = 0; i < w.size(); i += CharLen(w, i)) {
    if (!can[i]) continue;
    for (size_t e = i + 4; e <= w.size(); e += 2)
      if (e - i < w.size() && m_word_pos.count(w.substr(i, e - i))) can[e] = true;
  }
  return can[w.size()];
}

void Trainer::select_lexicon_words() {
  // A listed word the training text lacks is added unless the text
  // contradicts it: it must never appear there as several words, or across
  // a word boundary more than the allowed number of times.  A compound of
  // training words of two or more characters each (美国空军) is left out
  // too: the corpus's standard writes such compounds as their words.
  m_lexicon_selected.clear();
  for (const auto& kv : m_lexicon) {
    if (m_word_pos.count(kv.first) || m_given_names.count(kv.first)) continue;
    if (m_options.lexicon_skip_compounds && is_compound_of_words(kv.first)) {
      ++m_summary.lexicon_rejected;
      continue;
    }
    auto it = m_splits.find(kv.first);
    if (it != m_splits.end() &&
        (it->second.split > 0 || it->second.crossing > m_options.lexicon_max_crossings)) {
      ++m_summary.lexicon_rejected;
      continue;
    }
    m_lexicon_selected.insert(kv);
  }
  // Listed person names: the text writes a transliterated name as one nr
  // word, as the list does, but a Chinese name as surname and given name.
  // A name is taken when the list marks it as transliterated (nrt) or when
  // it is spelt only with characters of the text's transliterated names and
  // does not begin with a common surname; the text must not contradict it.
  static const int nr_tag = pos_tag_id("nr");
  if (m_options.listed_trans_names) {
    for (const auto& kv : m_listed_names) {
      const std::string& w = kv.first;
      if ((m_word_pos.count(w) && !is_unkept_name(w)) || m_given_names.count(w) ||
          m_lexicon_selected.count(w))
        continue;
      if (!kv.second && (begins_with_common_surname(w) || !spelt_like_transliteration(w)))
        continue;
      auto it = m_splits.find(w);
      if (it != m_splits.end() &&
          (it->second.split > 0 || it->second.crossing > m_options.lexicon_max_crossings)) {
        ++m_summary.lexicon_rejected;
        continue;
      }
      m_lexicon_selected.emplace(w, nr_tag);
      ++m_summary.listed_names;
    }
  }
  // The parts of the text's names joined by separators are names (甘地),
  // whatever tag the list gives them, unless the text shows them as other
  // words.
  for (const auto& kv : m_name_parts) {
    const std::string& w = kv.first;
    if ((m_word_pos.count(w) && !is_unkept_name(w)) || m_given_names.count(w)) continue;
    if (!m_lexicon_selected.count(w)) ++m_summary.name_parts;
    m_lexicon_selected[w] = nr_tag;
  }
  // Characters of the name list's given names that the text lacks are
  // words too (tagged nrg), so that the role and POS taggers can take them
  // for given names; outside the dictionary they would be plain nouns.
  if (m_options.given_name_chars) {
    static const int nrg = pos_tag_id("nrg");
    std::map<std::string, uint64_t> chars;
    for (const auto& rc : m_name_chars)
      for (const auto& cc : rc.second)
        if (cc.first.size() == 2) chars[cc.first] += cc.second;
    for (const auto& cc : chars) {
      if (cc.second < m_options.given_char_min_count || m_word_pos.count(cc.first) ||
          m_lexicon_selected.count(cc.first))
        continue;
      m_lexicon_selected.emplace(cc.first, nrg);
      ++m_summary.given_name_chars;
    }
  }
  m_summary.lexicon_words = m_lexicon_selected.size();

  // Familiar names: 老 or 小 before a common surname (老张, 小李), which
  // the text writes as one nr word.  The text decides where it shows the
  // pair: as another word (老师, 小说), as two words, or as a name it
  // already keeps.  The word list's tags for such pairs are unreliable (老何
  // is listed as a pronoun), so the pair becomes a name there too.
  m_summary.familiar_names = 0;
  if (m_options.familiar_name_surnames == 0) return;
  std::vector<std::pair<std::string, uint64_t>> sn;
  for (const auto& s : m_surnames)
    if (s.first.size() == 2) sn.push_back(s);
  std::sort(sn.begin(), sn.end(), [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  });
  if (sn.size() > m_options.familiar_name_surnames) sn.resize(m_options.familiar_name_surnames);
  static const int nr = pos_tag_id("nr");
  for (const char* prefix : {kLao, kXiao}) {
    for (const auto& s : sn) {
      const std::string w = prefix + s.first;
      if (m_given_names.count(w)) continue;
      if (m_word_pos.count(w)) {
        if (!is_unkept_name(w)) continue;
      } else {
        auto sp = m_splits.find(w);
        if (sp != m_splits.end() && sp->second.split > 0) continue;
      }
      m_lexicon_selected[w] = nr;
      ++m_summary.familiar_names;
    }
  }
}

void Trainer::add_given_names(std::istream& in) {
  std::string line;
  while (ReadTextLine(in, line)) {
    std::string g = ToGbk(line.substr(0, line.find(',')));
    if (g.size() < 4 || g.size() > 8) continue;
    bool wide = true;
    for (size_t i = 0; i < g.size(); i += CharLen(g, i))
      if (CharLen(g, i) != 2) wide = false;
    if (!wide) continue;
    // The surname: two characters when they form a listed surname.
    size_t sl = (g.size() >= 6 && m_surname_set.count(g.substr(0, 4))) ? 4 : 2;
    if (!m_surname_set.count(g.substr(0, sl))) continue;
    const std::string given = g.substr(sl);
    if (given.size() == 2) {
      ++m_name_chars[kRoleE][given];
      ++m_name_char_total;
    } else if (given.size() == 4) {
      ++m_name_chars[kRoleC][given.substr(0, 2)];
      ++m_name_chars[kRoleD][given.substr(2, 2)];
      m_name_char_total += 2;
    }
  }
}

double Trainer::given_char_share(const std::string& c) const {
  if (c.size() != 2 || m_name_char_total == 0) return 0.0;
  double n = 0;
  for (const auto& rc : m_name_chars) {
    auto it = rc.second.find(c);
    if (it != rc.second.end()) n += double(it->second);
  }
  return n / double(m_name_char_total);
}

void Trainer::add_places(std::istream& in) {
  static const char* const kSuffixes[] = {"自治县", "自治州", "自治区", "特别行政区", "街道",
                                          "地区", "省", "市", "县", "区", "镇", "乡", "旗", "盟"};
  std::string line;
  const int ns = pos_tag_id("ns");
  while (ReadTextLine(in, line)) {
    size_t a = line.find(',');
    if (a == std::string::npos) continue;
    size_t b = line.find(',', a + 1);
    std::string name = line.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
      name = name.substr(1, name.size() - 2);
    std::string g = ToGbk(name);
    // Placeholders such as 市辖区 name no place.
    if (g.size() < 4 || g.find(ToGbk("辖")) != std::string::npos) continue;
    m_lexicon.emplace(g, ns);
    m_division_names.insert(g);
    for (const char* suffix : kSuffixes) {
      const std::string sg = ToGbk(suffix);
      if (g.size() >= sg.size() + 4 && g.compare(g.size() - sg.size(), sg.size(), sg) == 0) {
        m_lexicon.emplace(g.substr(0, g.size() - sg.size()), ns);
        m_division_names.insert(g.substr(0, g.size() - sg.size()));
        break;
      }
    }
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
    // A phrase that stays as it is matters too: it keeps a character that
    // converts elsewhere.
    if (src.empty() || src.size() != dst.size()) continue;
    m_ts_phrases[src] = dst;
  }
}

bool Trainer::write(const std::string& dir, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return Fail(error, "cannot create directory " + dir);
  // The role pass segments the training text with the library, so it runs
  // on a complete directory and then rewrites what it trains.
  return write_dictionary(dir, error) && write_models(dir, error) && write_tables(dir, error) &&
         write_lists(dir, error) && train_roles(dir, error);
}

namespace {

// Writes a bigram model in the text format, reads it back and writes it in
// the binary format.  Unigrams are relative frequencies; bigrams are
// absolutely discounted with D = n1 / (n1 + 2 n2), the discounted mass going
// to the unigram distribution through the back-off weight of each context.
// `seqs` are sentences of model ids; `with_end` adds the sentence-end id
// after each sentence.
bool WriteBigramModel(const std::vector<std::vector<uint32_t>>& seqs, bool with_end,
                      const std::map<uint32_t, double>& extra, const std::string& path,
                      size_t* bigram_count, double* discount, std::string* error) {
  std::map<uint32_t, double> uni;
  std::map<std::pair<uint32_t, uint32_t>, uint64_t> bi;
  double total = 0;
  for (const std::vector<uint32_t>& s : seqs) {
    uint32_t prev = kIdStart;
    for (uint32_t id : s) {
      ++uni[id];
      ++total;
      ++bi[{prev, id}];
      prev = id;
    }
    if (with_end && !s.empty()) {
      ++uni[kIdEnd];
      ++total;
      ++bi[{prev, kIdEnd}];
    }
  }
  if (total == 0) return Fail(error, "no training text");
  // Words of the general word list: pseudo-counts, unigrams only.
  for (const auto& kv : extra) {
    uni[kv.first] += kv.second;
    total += kv.second;
  }
  // The model must hold the unknown id (the loader refuses a model without
  // it): when the text never needed it, it gets one pseudo-occurrence.
  if (uni[kIdChar] == 0) {
    uni[kIdChar] = 1;
    ++total;
  }
  uint64_t n1 = 0, n2 = 0;
  for (const auto& kv : bi) {
    if (kv.second == 1) ++n1;
    else if (kv.second == 2) ++n2;
  }
  double D = (n1 + 2 * n2) ? double(n1) / double(n1 + 2 * n2) : 0.5;
  if (D <= 0 || D >= 1) D = 0.5;
  if (discount) *discount = D;
  if (bigram_count) *bigram_count = bi.size();

  auto p_uni = [&](uint32_t id) { return uni[id] / total; };
  std::map<uint32_t, double> bow;
  std::map<uint32_t, uint64_t> ctx_total;
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
      ctx_total[kv.first] = kv.second.first;
      double left = D * double(kv.second.second) / double(kv.second.first);
      double den = std::max(1e-9, 1.0 - seen_uni[kv.first]);
      bow[kv.first] = std::log10(left / den);
    }
  }
  const std::string text_path = path + ".txt.tmp";
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
    for (const auto& kv : bi) {
      double p = (double(kv.second) - D) / double(ctx_total[kv.first.first]);
      lm << FormatLogP(std::log10(p)) << ' ' << kv.first.first << ' ' << kv.first.second << '\n';
    }
    lm << "\n\\end\\\n";
    if (!lm) return Fail(error, "cannot write " + text_path);
  }
  Ngram model(2);
  bool ok = model.read(text_path.c_str());
  std::remove(text_path.c_str());
  if (!ok) return Fail(error, "cannot read back the model text");
  if (!model.write_binary(path.c_str())) return Fail(error, "cannot write " + path);
  return true;
}

}  // namespace

bool Trainer::write_dictionary(const std::string& dir, std::string* error) {
  // Dictionary: every training word that is not led by a digit or letter,
  // with its POS list (log10 P(word | tag)), most frequent tag first.  A
  // name written whole that occurs once is left out, so that names the
  // dictionary does not know are seen in training as they will be seen in
  // new text.
  m_entries.clear();
  count_splits();
  for (const auto& kv : m_word_pos) {
    uint64_t n = 0;
    for (const auto& pc : kv.second) n += pc.second;
    auto wn = m_whole_name.find(kv.first);
    if (wn != m_whole_name.end() && wn->second == n && n == 1) continue;
    // So are places of several characters that the text shows once and the
    // word lists lack: the place roles are learnt from them.
    static const int ns = pos_tag_id("ns");
    if (m_options.new_places_apart && n == 1 && kv.second.begin()->first == ns &&
        kv.first.size() >= 4 && !m_lexicon.count(kv.first) && !m_listed_names.count(kv.first)) {
      ++m_summary.places_apart;
      continue;
    }
    basic_dict_entry_t e;
    e.word = kv.first;
    std::vector<std::pair<uint64_t, int>> by_count;
    for (const auto& pc : kv.second) by_count.emplace_back(pc.second, pc.first);
    std::sort(by_count.begin(), by_count.end(),
              [](const std::pair<uint64_t, int>& a, const std::pair<uint64_t, int>& b) {
                return a.first != b.first ? a.first > b.first : a.second < b.second;
              });
    std::vector<std::pair<double, int>> by_prob;
    for (const auto& c : by_count)
      by_prob.emplace_back(double(c.first) / double(m_tag_count[c.second]), c.second);
    // A character of given names (name list) can be tagged nr: its nr
    // score is interpolated with the list's share of it among given-name
    // characters, so that a given name kept apart is tagged as a name.
    const double share = m_options.name_pos_weight > 0 ? given_char_share(kv.first) : 0.0;
    if (share > 0) {
      const int nr = pos_tag_id(m_options.surname_given_tags ? "nrg" : "nr");
      auto it = std::find_if(by_prob.begin(), by_prob.end(),
                             [nr](const std::pair<double, int>& x) { return x.second == nr; });
      const double w = m_options.name_pos_weight;
      if (it == by_prob.end()) by_prob.emplace_back(w * share, nr);
      else it->first = (1 - w) * it->first + w * share;
      std::stable_sort(by_prob.begin(), by_prob.end(),
                       [](const std::pair<double, int>& a, const std::pair<double, int>& b) {
                         return a.first > b.first;
                       });
    }
    std::vector<prop_item_t> pos;
    for (const auto& c : by_prob)
      pos.push_back(prop_item_t{static_cast<uint8_t>(c.second), static_cast<LogP>(std::log10(c.first))});
    e.pos = pos;
    m_entries.push_back(std::move(e));
  }
  // A word that the text also writes as several words is a combination
  // word (type 90): the lattice then offers its parts too and the word
  // model chooses.  Without the type the longest word always wins.
  for (basic_dict_entry_t& e : m_entries) {
    auto it = m_splits.find(e.word);
    if (it == m_splits.end() || it->second.split == 0) continue;
    uint64_t n = 0;
    for (const auto& pc : m_word_pos[e.word]) n += pc.second;
    if (double(it->second.split) >= m_options.comb_ratio * double(n + it->second.split)) {
      e.name_entity = kTypeCombination;
      ++m_summary.combination_words;
    }
  }
  select_lexicon_words();
  const int ns = pos_tag_id("ns"), nz = pos_tag_id("nz"), nr = pos_tag_id("nr");
  for (const auto& kv : m_lexicon_selected) {
    basic_dict_entry_t e;
    e.word = kv.first;
    if (m_options.lexicon_combination) e.name_entity = kTypeCombination;
    const double tag_count = double(m_tag_count[kv.second]) + m_options.lexicon_weight;
    e.pos = std::vector<prop_item_t>{prop_item_t{
        static_cast<uint8_t>(kv.second),
        static_cast<LogP>(std::log10(m_options.lexicon_weight / tag_count))}};
    // The list tags many transliterated person names as places (索尼亚):
    // a listed place of three or more characters that is no division name
    // and is spelt only with characters of the text's transliterated names
    // may be either; the tagger decides by the context.
    if (m_options.listed_trans_places && (kv.second == ns || kv.second == nz) && kv.first.size() >= 6 &&
        !m_division_names.count(kv.first) && is_foreign_place(kv.first)) {
      const double nr_count = double(m_tag_count[nr]) + m_options.lexicon_weight;
      e.pos->push_back(prop_item_t{static_cast<uint8_t>(nr),
                                  static_cast<LogP>(std::log10(m_options.lexicon_weight / nr_count))});
      ++m_summary.listed_trans_places;
    }
    m_entries.push_back(std::move(e));
  }
  // Organisation names: words whose sub-word record holds the text's
  // words, so that LX_SGU outputs those and a thick token over the name.
  {
    static const int nt = pos_tag_id("nt");
    std::set<std::string> have;
    for (const basic_dict_entry_t& e : m_entries) have.insert(e.word);
    for (const auto& kv : m_organisations) {
      if (kv.second.count < m_options.organisation_min_count || have.count(kv.first)) continue;
      basic_dict_entry_t e;
      e.word = kv.first;
      const double tag_count = double(m_tag_count[nt]) + double(kv.second.count);
      e.pos = std::vector<prop_item_t>{prop_item_t{
          static_cast<uint8_t>(nt),
          static_cast<LogP>(std::log10(double(kv.second.count) / tag_count))}};
      e.subwords = kv.second.subwords;
      m_entries.push_back(std::move(e));
      ++m_summary.organisation_words;
    }
  }
  CBasicDictWriter dw;
  for (const basic_dict_entry_t& e : m_entries) dw.add(e);  // refuses only words over 255 bytes
  if (!dw.write(JoinPath(dir, "Core.Lex").c_str(), JoinPath(dir, "Core.Prop").c_str()))
    return Fail(error, "basic dictionary: " + dw.last_error());
  m_summary.dict_words = dw.size();
  m_dict_index.clear();
  for (const basic_dict_entry_t& e : m_entries) {
    long idx = dw.index_of(e.word);
    if (idx >= 0) m_dict_index[e.word] = static_cast<uint32_t>(idx);
  }
  return true;
}

bool Trainer::write_models(const std::string& dir, std::string* error) {
  // Model ids of the pieces.
  std::vector<uint32_t> piece_id(m_piece_words.size());
  for (size_t k = 0; k < m_piece_words.size(); ++k) {
    auto it = m_dict_index.find(m_piece_words[k]);
    piece_id[k] = it != m_dict_index.end() ? it->second : kIdChar;
  }
  auto id_of = [&](uint32_t key) { return key >= kIdChar ? key : piece_id[key]; };
  // The word model sees every piece; the named-entity model sees a person
  // name as the person class, except a name the dictionary holds as a word.
  std::vector<std::vector<uint32_t>> words, classed;
  words.reserve(m_sentences.size());
  classed.reserve(m_sentences.size());
  for (size_t s = 0; s < m_sentences.size(); ++s) {
    const std::vector<uint32_t>& keys = m_sentences[s];
    const std::vector<uint8_t>& marks = m_sentence_marks[s];
    std::vector<uint32_t> w, c;
    for (size_t k = 0; k < keys.size(); ++k) {
      const uint32_t id = id_of(keys[k]);
      w.push_back(id);
      if (marks[k] == kMarkNameFirst) c.push_back(kIdPerson);
      else if (marks[k] == kMarkNameRest) continue;
      else if (marks[k] == kMarkWholeName && id == kIdChar) c.push_back(kIdPerson);
      else c.push_back(id);
    }
    words.push_back(std::move(w));
    classed.push_back(std::move(c));
  }
  std::map<uint32_t, double> extra;
  for (const auto& kv : m_lexicon_selected) {
    auto it = m_dict_index.find(kv.first);
    if (it != m_dict_index.end()) extra[it->second] = m_options.lexicon_weight;
  }
  for (const auto& kv : m_organisations) {
    auto it = m_dict_index.find(kv.first);
    if (it != m_dict_index.end() && !m_word_pos.count(kv.first))
      extra[it->second] = double(kv.second.count);
  }
  return WriteBigramModel(words, false, extra, JoinPath(dir, "Ngram.Lex"),
                          &m_summary.bigrams,
                          &m_summary.discount, error) &&
         WriteBigramModel(classed, true, extra, JoinPath(dir, "Ngram_PN.Lex"),
                          nullptr, nullptr,
                          error);
}

bool Trainer::train_roles(const std::string& dir, std::string* error) {
  // Segment every training sentence with the library as it stands (no name
  // recognition), give the path's words their person roles and count.
  if (!LXInitSeg(dir.c_str())) return Fail(error, "cannot load the resources in " + dir);
  HANDLE h = LXCreateSegHandle(0);
  if (h == nullptr) {
    LXUnInitSeg();
    return Fail(error, "cannot create a segmentation handle");
  }
  LXSetPKUMode(h);
  // counts[word index][role]; free[role]: words outside the dictionary.
  std::map<uint32_t, std::map<uint8_t, uint64_t>> counts;
  std::map<uint8_t, uint64_t> role_total, free_single, free_other;
  std::map<std::pair<uint8_t, uint8_t>, uint64_t> trans;
  // The same for place roles.
  std::map<uint32_t, std::map<uint8_t, uint64_t>> ln_counts;
  std::map<uint8_t, uint64_t> ln_total, ln_free;
  std::map<std::pair<uint8_t, uint8_t>, uint64_t> ln_trans;
  std::vector<PathSpan> path;
  std::vector<int64_t> path_index;  // dictionary index or -1
  std::vector<bool> path_single;     // one Chinese character
  std::string word;
  for (size_t s = 0; s < m_sentence_text.size(); ++s) {
    const std::string& text = m_sentence_text[s];
    if (!LXSegment(h, text.c_str(), text.size(), LX_GBK)) {
      ++m_summary.role_sentences_skipped;
      continue;
    }
    path.clear();
    path_index.clear();
    path_single.clear();
    uint32_t at = 0;
    const int n = LXGetResultCnt(h);
    for (int i = 0; i < n; ++i) {
      const char* w = LXGetWordAt(h, i);
      if (w == nullptr || *w == '\0') continue;
      word.assign(w);
      PathSpan sp;
      sp.begin = at;
      at += static_cast<uint32_t>(word.size());
      sp.end = at;
      path.push_back(sp);
      auto it = m_dict_index.find(LowerAscii(word));
      path_index.push_back(it == m_dict_index.end() ? -1 : int64_t(it->second));
      path_single.push_back(word.size() == 2 && static_cast<unsigned char>(word[0]) >= 0x80 &&
                            !(static_cast<unsigned char>(word[0]) >= 0xA1 &&
                              static_cast<unsigned char>(word[0]) <= 0xA9));
    }
    if (at != text.size()) {  // the output does not spell the text: leave it out
      ++m_summary.role_sentences_skipped;
      continue;
    }
    // Ambiguity rules: how the text writes each multi-character path word.
    const std::vector<uint32_t>& bounds = m_sentence_bounds[s];
    for (const PathSpan& w : path) {
      if (w.end - w.begin < 3) continue;
      auto lo = std::lower_bound(bounds.begin(), bounds.end(), w.begin);
      if (lo == bounds.end() || *lo != w.begin) continue;
      auto hi = std::lower_bound(lo, bounds.end(), w.end);
      if (hi == bounds.end() || *hi != w.end) continue;
      // Organisation words are cut by their sub-word records (LX_SGU).
      if (m_organisations.count(text.substr(w.begin, w.end - w.begin))) continue;
      RuleEvidence& ev = m_rule_evidence[text.substr(w.begin, w.end - w.begin)];
      if (hi - lo == 1) {
        ++ev.whole;
        continue;
      }
      std::vector<int> cut;
      for (auto k = lo; k + 1 <= hi; ++k) cut.push_back(static_cast<int>(*(k + 1) - *k));
      ++ev.splits[cut];
    }
    const std::vector<uint8_t> roles =
        AssignPersonRoles(path, m_sentence_names[s], m_options.single_given_apart);
    for (uint8_t r : roles)
      if (r == kRoleB || r == kRoleU || r == kRoleX || r == kRoleY || r == kRoleH) {
        ++m_summary.person_names_roled;
      }
    uint8_t prev = kRoleA;
    for (size_t k = 0; k < roles.size(); ++k) {
      const uint8_t r = roles[k];
      ++role_total[r];
      if (path_index[k] >= 0) ++counts[static_cast<uint32_t>(path_index[k])][r];
      else if (path_single[k]) ++free_single[r];
      else ++free_other[r];
      ++trans[{PersonTransitionFrom(prev, r), r}];
      prev = r;
    }
    ++trans[{prev, kRoleA}];  // the closing column

    std::vector<GoldPlace>& places = m_sentence_places[s];
    for (GoldPlace& p : places)
      p.foreign = is_foreign_place(text.substr(p.begin, p.end - p.begin));
    const std::vector<uint8_t> ln_roles = AssignPlaceRoles(path, places);
    prev = kRoleA;
    for (size_t k = 0; k < ln_roles.size(); ++k) {
      const uint8_t r = ln_roles[k];
      if (r == kRoleLH || r == kRoleFH) ++m_summary.places_roled;
      ++ln_total[r];
      if (path_index[k] >= 0) ++ln_counts[static_cast<uint32_t>(path_index[k])][r];
      else ++ln_free[r];
      ++ln_trans[{PlaceTransitionFrom(prev, r), r}];
      prev = r;
    }
    ++ln_trans[{prev, kRoleA}];
  }
  LXCloseSegHandle(h);
  LXUnInitSeg();

  // Ambiguity rules: a word of the library's path that the text writes as
  // several words, in one way, in most of its occurrences, is cut that way.
  {
    CRuleDictWriter rw;
    for (const auto& kv : m_rule_evidence) {
      const RuleEvidence& ev = kv.second;
      uint32_t split = 0, best = 0;
      const std::vector<int>* cut = nullptr;
      for (const auto& c : ev.splits) {
        split += c.second;
        if (c.second > best) {
          best = c.second;
          cut = &c.first;
        }
      }
      if (cut == nullptr || best < m_options.rule_min_count ||
          double(best) < m_options.rule_ratio * double(split + ev.whole))
        continue;
      if (rw.add(kv.first, *cut)) ++m_summary.ambiguity_rules;
    }
    if (!rw.write(JoinPath(dir, "UserAmbRule").c_str()))
      return Fail(error, "cannot write UserAmbRule");
  }

  // Role lists: log10 P(word | role), most probable role first.  For the
  // given-name roles C, D, E of a single character the training text's
  // estimate is interpolated with the name list's, so that a character the
  // text never shows in a given name can still be one.
  std::map<uint32_t, basic_dict_entry_t*> by_index;
  for (basic_dict_entry_t& e : m_entries) by_index[m_dict_index[e.word]] = &e;
  std::map<uint8_t, double> list_total;
  for (const auto& rc : m_name_chars)
    for (const auto& cc : rc.second) list_total[rc.first] += double(cc.second);
  const double lw = m_name_chars.empty() ? 0.0 : m_options.name_list_weight;
  // Sum over the two-character words of the chance above, to make it a
  // distribution over those words.
  double z_total = 0;
  {
    auto rc = m_name_chars.find(kRoleC), rd = m_name_chars.find(kRoleD);
    if (rc != m_name_chars.end() && rd != m_name_chars.end())
      for (const auto& kv : by_index) {
        const std::string& w = kv.second->word;
        if (w.size() != 4) continue;
        auto c1 = rc->second.find(w.substr(0, 2)), c2 = rd->second.find(w.substr(2, 2));
        if (c1 != rc->second.end() && c2 != rd->second.end())
          z_total += double(c1->second) / list_total[kRoleC] * double(c2->second) / list_total[kRoleD];
      }
  }
  std::map<uint8_t, double> trans_total;
  for (const auto& rc : m_trans_chars)
    for (const auto& cc : rc.second) trans_total[rc.first] += double(cc.second);
  for (const auto& kv : by_index) {
    const std::string& word = kv.second->word;
    std::map<uint8_t, double> prob;
    auto it = counts.find(kv.first);
    if (it != counts.end())
      for (const auto& rc : it->second) prob[rc.first] = double(rc.second) / double(role_total[rc.first]);
    if (lw > 0 && word.size() == 2) {
      for (uint8_t r : {kRoleC, kRoleD, kRoleE}) {
        auto rc = m_name_chars.find(r);
        double from_list = 0;
        if (rc != m_name_chars.end()) {
          auto cc = rc->second.find(word);
          if (cc != rc->second.end()) from_list = double(cc->second) / list_total[r];
        }
        double p = (1 - lw) * (prob.count(r) ? prob[r] : 0.0) + lw * from_list;
        if (p > 0) prob[r] = p;
        else prob.erase(r);
      }
    }
    // A character of names written whole can be a part of a new one: its
    // H, I and T scores are interpolated with its share among the first,
    // middle and last characters of those names.
    const double tw = m_options.trans_char_weight;
    if (tw > 0 && word.size() == 2) {
      for (uint8_t r : {kRoleH, kRoleI, kRoleT}) {
        auto rc = m_trans_chars.find(r);
        if (rc == m_trans_chars.end()) continue;
        auto cc = rc->second.find(word);
        if (cc == rc->second.end()) continue;
        const double from_names = double(cc->second) / trans_total[r];
        prob[r] = (1 - tw) * (prob.count(r) ? prob[r] : 0.0) + tw * from_names;
      }
    }
    // A two-character word can be a given name (王 建功): its Z score is
    // interpolated, with its own weight, with the chance that the list's
    // first and second given-name characters make it up, among the
    // dictionary's two-character words (Z is a given name that is a word).
    const double zw = m_options.name_word_weight;
    if (lw > 0 && zw > 0 && word.size() == 4) {
      auto rc = m_name_chars.find(kRoleC), rd = m_name_chars.find(kRoleD);
      if (rc != m_name_chars.end() && rd != m_name_chars.end()) {
        auto c1 = rc->second.find(word.substr(0, 2)), c2 = rd->second.find(word.substr(2, 2));
        if (c1 != rc->second.end() && c2 != rd->second.end()) {
          double from_list = double(c1->second) / list_total[kRoleC] * double(c2->second) /
                             list_total[kRoleD] / z_total;
          // The more often the text shows the word, the more its own
          // evidence (rarely or never a given name) counts.
          uint64_t seen = 0;
          if (it != counts.end())
            for (const auto& rc2 : it->second) seen += rc2.second;
          const double w = zw * m_options.name_word_prior / (m_options.name_word_prior + double(seen));
          prob[kRoleZ] = (1 - w) * (prob.count(kRoleZ) ? prob[kRoleZ] : 0.0) + w * from_list;
        }
      }
    }
    if (prob.empty()) continue;
    std::vector<std::pair<double, uint8_t>> by_prob;
    for (const auto& rp : prob) by_prob.emplace_back(rp.second, rp.first);
    std::sort(by_prob.begin(), by_prob.end(), [](const auto& a, const auto& b) {
      return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    std::vector<prop_item_t> list;
    for (const auto& c : by_prob)
      list.push_back(prop_item_t{c.second, static_cast<LogP>(std::log10(c.first))});
    kv.second->roles = list;
  }
  // Place role lists: log10 P(word | role) over the path words.
  for (const auto& kv : ln_counts) {
    auto e = by_index.find(kv.first);
    if (e == by_index.end()) continue;
    std::vector<std::pair<double, uint8_t>> by_prob;
    for (const auto& rc : kv.second)
      by_prob.emplace_back(double(rc.second) / double(ln_total[rc.first]), rc.first);
    std::sort(by_prob.begin(), by_prob.end(), [](const auto& a, const auto& b) {
      return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    std::vector<prop_item_t> list;
    for (const auto& c : by_prob)
      list.push_back(prop_item_t{c.second, static_cast<LogP>(std::log10(c.first))});
    e->second->ln_roles = list;
  }
  CBasicDictWriter dw;
  for (const basic_dict_entry_t& e : m_entries) dw.add(e);
  if (!dw.write(JoinPath(dir, "Core.Lex").c_str(), JoinPath(dir, "Core.Prop").c_str()))
    return Fail(error, "basic dictionary: " + dw.last_error());

  // Transitions log10 P(role | previous role), add-0.1 over the roles seen;
  // [r][0].m_Bow is the score of role r for a word outside the dictionary:
  // log10 P(such a word | r), counted over single Chinese characters for
  // the person roles they can take (A, C, D, E) and over the other words
  // for A (the only role such a word has in place tagging).
  std::map<uint8_t, double> fixed;
  fixed[kRoleA] = double(free_single[kRoleA] + free_other[kRoleA]);
  for (uint8_t r : {kRoleC, kRoleD, kRoleE}) fixed[r] = double(free_single[r]);
  std::map<uint8_t, double> ln_fixed;
  ln_fixed[kRoleA] = double(ln_free[kRoleA]);
  if (!WriteRoleTable(JoinPath(dir, "RoleTT.Lex"), trans, role_total, fixed))
    return Fail(error, "cannot write RoleTT.Lex");
  if (!WriteRoleTable(JoinPath(dir, "LNRoleTT.Lex"), ln_trans, ln_total, ln_fixed))
    return Fail(error, "cannot write LNRoleTT.Lex");
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

  // Traditional to simplified.  A character with one GBK target converts
  // directly.  A character that some words keep as it is (the character is
  // among its own targets, as 於 is among 于 於) converts to its first
  // target except inside the phrases that keep it ("t2s.disable").  Any
  // other character with several targets is ambiguous and converts only
  // inside the phrases that contain it ("t2s.word").
  std::vector<t2s_char_entry_t> chars;
  std::set<std::string> ambiguous, keep_sometimes;
  for (const auto& kv : m_ts_chars) {
    if (kv.second.empty()) continue;
    if (kv.second.size() == 1 && kv.second[0] == kv.first) continue;
    const bool self = std::find(kv.second.begin(), kv.second.end(), kv.first) != kv.second.end();
    bool amb = kv.second.size() > 1;
    if (amb && self && kv.second[0] != kv.first) {
      keep_sometimes.insert(kv.first);
      amb = false;
    } else if (amb) {
      ambiguous.insert(kv.first);
    }
    chars.push_back(t2s_char_entry_t{kv.first, kv.second[0], amb});
  }
  std::vector<t2s_pair_t> words, disable;
  for (const auto& kv : m_ts_phrases) {
    bool has = false;
    for (size_t i = 0; i + 1 < kv.first.size(); i += CharLen(kv.first, i)) {
      const std::string c = kv.first.substr(i, 2);
      if (ambiguous.count(c)) has = true;
      if (keep_sometimes.count(c) && kv.second.compare(i, 2, c) == 0)
        disable.push_back(t2s_pair_t{c, kv.first});
    }
    if (has) words.push_back(t2s_pair_t{kv.first, kv.second});
  }
  if (!write_t2s_table(JoinPath(dir, "t2s").c_str(), chars,
                       "traditional to simplified characters, generated by lxtrain") ||
      !write_t2s_words(JoinPath(dir, "t2s.word").c_str(), words) ||
      !write_t2s_disable(JoinPath(dir, "t2s.disable").c_str(), disable))
    return Fail(error, "cannot write the t2s tables");

  // User ambiguity rules: written by the role pass, empty until then.
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
