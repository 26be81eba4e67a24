#include "Train.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "Eval.h"
#include "TrainText.h"
#include "LXSegFunc.h"
#include "base/PosTag.h"
#include "dict/BasicDictWriter.h"
#include "dict/item_types.h"
#include "dict/CustomDictWriter.h"
#include "dict/NerResourceWriter.h"
#include "dict/RuleDictWriter.h"
#include "dict/T2SWriter.h"
#include "lm/Ngram.h"
#include "seg/Factoid.h"
#include "seg/coarse_merge.h"

namespace lxtrain {

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

std::string HeldOutKey(const std::string& word) { return LowerAscii(HalfWidth(word)); }

std::set<std::string> ChooseHeldOut(const std::set<std::string>& types, double fraction,
                                    uint64_t seed) {
  std::vector<std::pair<uint64_t, std::string>> eligible;
  for (const std::string& w : types) {
    if (w.empty() || CharLen(w, 0) >= w.size() || IsFactoidLed(w)) continue;
    bool separator = false;
    for (size_t i = 0; i < w.size(); i += CharLen(w, i))
      separator = separator || IsSeparatorChar(w, i, CharLen(w, i));
    if (separator) continue;
    // FNV-1a from a seeded start, then the splitmix64 finaliser.
    uint64_t h = 0xcbf29ce484222325ull ^ (seed * 0x9e3779b97f4a7c15ull);
    for (unsigned char c : w) h = (h ^ c) * 0x100000001b3ull;
    h = (h ^ (h >> 30)) * 0xbf58476d1ce4e5b9ull;
    h = (h ^ (h >> 27)) * 0x94d049bb133111ebull;
    eligible.emplace_back(h ^ (h >> 31), w);
  }
  std::sort(eligible.begin(), eligible.end());
  const size_t n = static_cast<size_t>(std::llround(fraction * double(eligible.size())));
  std::set<std::string> out;
  for (size_t k = 0; k < n && k < eligible.size(); ++k) out.insert(eligible[k].second);
  return out;
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
                "combination words %zu, ambiguity rules %zu, organisation words %zu, affixes %zu\n"
                "held-out word tokens %zu, held-out types the word lists add %zu\n",
                paragraphs_used, paragraphs_dev, paragraphs_malformed, sentences, tokens,
                dict_words, lexicon_words, lexicon_rejected, bigrams, discount, person_names,
                person_names_roled, places_roled, places_apart, role_sentences_skipped, listed_names, name_parts,
                familiar_names, listed_trans_places, given_name_chars, combination_words,
                ambiguity_rules, organisation_words, affixes, held_out_tokens, held_out_listed);
  return buf;
}

Trainer::Trainer(TrainOptions options) : m_options(options), m_factoid(new CFactoid()) {
  // Full-width digits and letters are read as ASCII, so "１９９８" and "1998"
  // are the same number factoid.
  m_factoid->set_pku();
  std::set<std::string> held;
  for (const std::string& w : m_options.held_out) held.insert(HeldOutKey(w));
  m_options.held_out.swap(held);
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
  // Organisation names of coarse mode: every bracketed nt compound, and
  // the words that end them.
  for (const CorpusSpan& sp : para.spans) {
    if (sp.tag != "nt" || sp.end > toks.size() || sp.end - sp.begin < 2) continue;
    std::string whole;
    for (size_t k = sp.begin; k < sp.end; ++k) whole += toks[k].word;
    if (whole.size() <= CCoarseData::kMaxOrgLen && whole.find_first_of(" \t") == std::string::npos)
      m_coarse_orgs.insert(whole);
    ++m_org_suffix[toks[sp.end - 1].word];
  }
  static const int kTagM = pos_tag_id("m"), kTagQ = pos_tag_id("q");
  for (size_t k = 0; k + 1 < toks.size(); ++k)
    if (toks[k].pos == kTagM && toks[k + 1].pos != kTagM) {
      auto& c = m_after_numeral[toks[k + 1].word];
      ++c.first;
      if (toks[k + 1].pos == kTagQ) ++c.second;
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
  // Affix evidence: the plain Chinese words and the pairs of neighbours in
  // which one is a single character (TrainAffixes.cpp decides).
  auto affix_candidate = [&](size_t k, bool held) {
    const std::string& w = toks[k].word;
    if (held || kind[k] != kPlain || IsFactoidLed(w)) return false;
    for (size_t c = 0; c < w.size(); c += 2)
      if (CharLen(w, c) != 2) return false;
    return true;
  };
  bool prev_candidate = false;
  for (size_t i = 0; i < toks.size(); ++i) {
    const CorpusToken& t = toks[i];
    ++m_summary.tokens;
    if (IsSeparatorToken(t.word)) {
      close();
      prev_candidate = false;
      continue;
    }
    const bool held = !m_options.held_out.empty() && !IsFactoidLed(t.word) &&
                      m_options.held_out.count(HeldOutKey(t.word)) > 0;
    if (held) ++m_summary.held_out_tokens;
    const bool candidate = affix_candidate(i, held);
    if (candidate && t.word.size() >= 6) ++m_affix_whole[t.word];
    if (candidate && prev_candidate && (t.word.size() == 2) != (toks[i - 1].word.size() == 2))
      ++m_affix_pairs[{toks[i - 1].word, t.word}];
    prev_candidate = candidate;
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
      if (parts.size() > 1 && !held)
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
    if (kind[i] == kGiven && t.word.size() == 2) ++m_single_given[t.word];
    if (kind[i] == kGiven && !apart) {
      if (!held) m_given_names.insert(t.word);
      for (size_t k = 0; k < t.word.size(); k += CharLen(t.word, k))
        add_piece(t.word.substr(k, CharLen(t.word, k)), 0, kMarkNameRest);
      continue;
    }
    if (!IsFactoidLed(t.word) && !held) {
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
    if (held) {
      // A held-out word is text the lattice sees as characters; a name stays
      // one name in the named-entity model.
      const bool name = mark == kMarkNameFirst || mark == kMarkWholeName;
      const std::string w = LowerAscii(t.word);
      for (size_t k = 0; k < w.size(); k += CharLen(w, k))
        add_piece(w.substr(k, CharLen(w, k)), 0,
                  !name ? kMarkNone : k == 0 ? kMarkNameFirst : kMarkNameRest);
      continue;
    }
    for (const TrainPiece& p : pieces_of(t)) add_piece(p.word, p.cls, mark);
  }
  close();
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
         write_lists(dir, error) && write_affixes(dir, error) && train_roles(dir, error);
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
      e.name_entity = kItemCombination;
      ++m_summary.combination_words;
    }
  }
  select_lexicon_words();
  for (const std::string& w : m_options.held_out) m_summary.held_out_listed += m_lexicon_selected.count(w);
  const int ns = pos_tag_id("ns"), nz = pos_tag_id("nz"), nr = pos_tag_id("nr");
  const auto tag_shares = listed_tag_shares();
  for (const auto& kv : m_lexicon_selected) {
    basic_dict_entry_t e;
    e.word = kv.first;
    if (m_options.lexicon_combination) e.name_entity = kItemCombination;
    auto lf = m_lexicon_freq.find(kv.first);
    if (lf != m_lexicon_freq.end() && lf->second < m_options.lexicon_rare_freq &&
        !m_division_names.count(kv.first))
      e.name_entity = kItemCombination;
    const double weight = listed_weight(kv.first);
    const double tag_count = double(m_tag_count[kv.second]) + weight;
    e.pos = std::vector<prop_item_t>{prop_item_t{
        static_cast<uint8_t>(kv.second),
        static_cast<LogP>(std::log10(weight / tag_count))}};
    // A plain listed word (not taken as a name or a division) takes the
    // text's tags of its list tag.
    auto lt = m_lexicon_list_tag.find(kv.first);
    auto sh = lt == m_lexicon_list_tag.end() ? tag_shares.end() : tag_shares.find(lt->second);
    if (sh != tag_shares.end() && !m_division_names.count(kv.first) &&
        MapCorpusTag(lt->second) == kv.second) {
      e.pos->clear();
      for (const auto& ts : sh->second)
        e.pos->push_back(prop_item_t{
            static_cast<uint8_t>(ts.first),
            static_cast<LogP>(std::log10(weight * ts.second / (double(m_tag_count[ts.first]) + weight)))});
      std::stable_sort(e.pos->begin(), e.pos->end(),
                       [](const prop_item_t& a, const prop_item_t& b) { return a.prob > b.prob; });
    }
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
    if (it != m_dict_index.end()) extra[it->second] = listed_weight(kv.first);
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

  // Organisation names and suffixes of coarse mode.
  {
    std::ofstream org(JoinPath(dir, "coarse_info"), std::ios::binary);
    org << "#org\n";
    for (const std::string& o : m_coarse_orgs) org << o << '\n';
    org << "#org_suffix\n";
    for (const auto& kv : m_org_suffix)
      if (kv.second >= m_options.org_suffix_min_count && kv.first.size() <= CCoarseData::kMaxOrgLen)
        org << kv.first << '\n';
    org << "#measure\n";
    for (const auto& kv : m_after_numeral)
      if (kv.second.first >= m_options.measure_min_count &&
          kv.second.second >= m_options.measure_min_share * kv.second.first &&
          kv.first.size() <= CCoarseData::kMaxOrgLen && kv.first.find_first_of(" \t") == std::string::npos)
        org << kv.first << '\n';
    if (!org.flush()) return Fail(error, "cannot write coarse_info");
  }

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
