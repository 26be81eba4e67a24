// The trainer's word lists: surnames, the general word list, given names and
// places, and the choice of the listed words that join the dictionary.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>

#include "Train.h"
#include "TrainText.h"
#include "base/PosTag.h"

namespace lxtrain {

void Trainer::add_surnames(std::istream& in) {
  std::string line;
  while (ReadTextLine(in, line)) {
    size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::string g = ToGbk(line.substr(0, tab));
    if (g.empty()) continue;
    const uint64_t count = std::strtoull(line.c_str() + tab + 1, nullptr, 10);
    m_surnames.emplace_back(g, count);
    m_surname_set.insert(g);
    if (double(count) >= m_options.common_surname_count) m_common_surnames.insert(g);
  }
}

namespace {

// Whether a word holds a character of a number (一, 十, 万, 两, 几, 半, 第 ...):
// numbers are the factoid recognizer's, while a numeral word without one
// (许多, 若干) is a word like any other.
bool HasNumeralChar(const std::string& g) {
  static const std::set<std::string> kNumerals = [] {
    std::set<std::string> s;
    for (const char* c : {"零", "〇", "一", "二", "三", "四", "五", "六", "七", "八", "九", "十",
                          "百", "千", "万", "亿", "两", "几", "半", "第", "壹", "贰", "叁", "肆",
                          "伍", "陆", "柒", "捌", "玖", "拾", "佰", "仟", "廿", "卅", "数"})
      s.insert(ToGbk(c));
    return s;
  }();
  for (size_t i = 0; i + 1 < g.size(); i += CharLen(g, i))
    if (kNumerals.count(g.substr(i, 2))) return true;
  return false;
}

}  // namespace

void Trainer::add_lexicon(std::istream& in) {
  std::string line;
  while (ReadTextLine(in, line)) {
    std::vector<std::string> f = SplitWs(line);
    if (f.size() < 3) continue;
    // Person names follow the corpus's own convention (surname and given
    // name apart, recognised as names) and numbers the factoid recognizer:
    // the list's names and numerals would contradict both.
    const std::string& tag = f[2];
    const double freq = std::atof(f[1].c_str());
    if (tag == "nrfg" || tag == "mq" || tag == "x" || tag == "eng") continue;
    std::string g = ToGbk(f[0]);
    if (tag == "m" && HasNumeralChar(g)) continue;
    if (g.size() < 4 || g.size() > 16 || IsFactoidLed(g) || IsSeparatorToken(g)) continue;
    bool all_wide = true;  // two-byte characters only
    for (size_t i = 0; i < g.size(); i += CharLen(g, i))
      if (CharLen(g, i) != 2) all_wide = false;
    if (!all_wide) continue;
    m_lexicon_freq.emplace(g, freq);
    if (tag == "nr" || tag == "nrt") {
      // Names wait until the text's names are known (select_lexicon_words).
      m_listed_names.emplace(g, tag == "nrt");
      continue;
    }
    bool known = false;
    int pos = MapCorpusTag(tag, &known);
    m_lexicon.emplace(g, pos);
    m_lexicon_list_tag.emplace(g, tag);
  }
}

std::map<std::string, std::vector<std::pair<int, double>>> Trainer::listed_tag_shares() const {
  // The list and the text tag by different standards (the list's nt is
  // mostly the text's n, its vn often v): the text's words that the list
  // also holds show how, word by word (each word's commonest tag).
  std::map<std::string, std::map<int, double>> counts;
  for (const auto& kv : m_word_pos) {
    auto lt = m_lexicon_list_tag.find(kv.first);
    if (lt == m_lexicon_list_tag.end()) continue;
    int best = 0;
    uint64_t best_n = 0;
    for (const auto& pc : kv.second)
      if (pc.second > best_n) best = pc.first, best_n = pc.second;
    counts[lt->second][best] += 1;
  }
  std::map<std::string, std::vector<std::pair<int, double>>> out;
  if (m_options.listed_tag_min_share <= 0) return out;
  for (const auto& kv : counts) {
    double total = 0;
    for (const auto& tc : kv.second) total += tc.second;
    std::vector<std::pair<int, double>> kept;
    double kept_total = 0;
    for (const auto& tc : kv.second)
      if (total >= 20 && tc.second >= m_options.listed_tag_min_share * total) {
        kept.emplace_back(tc.first, tc.second);
        kept_total += tc.second;
      }
    if (kept.empty()) continue;
    for (auto& t : kept) t.second /= kept_total;
    std::stable_sort(kept.begin(), kept.end(),
                     [](const std::pair<int, double>& a, const std::pair<int, double>& b) {
                       return a.second > b.second;
                     });
    out[kv.first] = kept;
  }
  return out;
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
  m_familiar_names = familiar_names();
  for (const std::string& w : m_familiar_names) {
    m_splits.emplace(w, SplitCount());
    max_len = std::max(max_len, w.size());
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

double Trainer::listed_weight(const std::string& w) const {
  auto it = m_lexicon_freq.find(w);
  if (it == m_lexicon_freq.end() || m_division_names.count(w) || m_options.lexicon_freq_exponent == 0)
    return m_options.lexicon_weight;
  return m_options.lexicon_weight *
         std::pow(std::max(it->second, 1.0) / m_options.lexicon_freq_ref,
                  m_options.lexicon_freq_exponent);
}

bool Trainer::begins_with_common_surname(const std::string& w) const {
  return m_common_surnames.count(w.substr(0, 2)) || m_common_surnames.count(w.substr(0, 4));
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

bool Trainer::placed_like_transliteration(const std::string& w, uint64_t min_count) const {
  if (min_count == 0) return spelt_like_transliteration(w);
  if (w.size() < 4) return false;
  const size_t last = w.size() - 2;
  for (size_t k = 0; k <= last; k += 2) {
    if (CharLen(w, k) != 2) return false;
    auto rc = m_trans_chars.find(k == 0 ? kRoleH : k == last ? kRoleT : kRoleI);
    if (rc == m_trans_chars.end()) return false;
    auto c = rc->second.find(w.substr(k, 2));
    if (c == rc->second.end() || c->second < min_count) return false;
  }
  return true;
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
  static const int n_tag = pos_tag_id("n");
  if (m_options.listed_trans_names) {
    for (const auto& kv : m_listed_names) {
      const std::string& w = kv.first;
      if ((m_word_pos.count(w) && !is_unkept_name(w)) || m_given_names.count(w) ||
          m_lexicon_selected.count(w))
        continue;
      // A two-character word led by a surname is mostly an ordinary word
      // the list mistags (雷达, 玉米); the text writes Chinese names apart.
      if (!kv.second && begins_with_common_surname(w) &&
          !(m_options.listed_surname_words && w.size() == 4))
        continue;
      // Without the shape of a Chinese or a transliterated name, the list's
      // name tag is no evidence (别提, 世纪钟): such a word is an ordinary
      // word, kept whole so that no name is made of it.
      const bool name = kv.second || placed_like_transliteration(w, m_options.listed_trans_char_count);
      if (!name && (!m_options.listed_non_names ||
                    (m_options.lexicon_skip_compounds && is_compound_of_words(w))))
        continue;
      auto it = m_splits.find(w);
      if (it != m_splits.end() &&
          (it->second.split > 0 || it->second.crossing > m_options.lexicon_max_crossings)) {
        ++m_summary.lexicon_rejected;
        continue;
      }
      m_lexicon_selected.emplace(w, name ? nr_tag : n_tag);
      if (name) ++m_summary.listed_names;
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

  // Familiar names: 老 or 小 before a common surname (老张, 小李), or a
  // familiar suffix after it (许老, 胡氏), which the text writes as one nr
  // word.  The text decides where it shows the
  // pair: as another word (老师, 小说), as two words more than once, or as
  // a name it already keeps.  The word list's tags for such pairs are unreliable (老何
  // is listed as a pronoun), so the pair becomes a name there too.
  m_summary.familiar_names = 0;
  static const int nr = pos_tag_id("nr");
  for (const std::string& w : m_familiar_names) {
    if (m_given_names.count(w)) continue;
    if (m_word_pos.count(w)) {
      if (!is_unkept_name(w)) continue;
    } else {
      auto sp = m_splits.find(w);
      // Apart once is not enough: the text writes these names whole as
      // a rule (老张 15 times, 老王 once apart and never whole).
      if (sp != m_splits.end() && sp->second.split > 1) continue;
    }
    m_lexicon_selected[w] = nr;
    ++m_summary.familiar_names;
  }
}

std::vector<std::string> Trainer::familiar_surnames() const {
  std::vector<std::pair<std::string, uint64_t>> sn;
  for (const auto& s : m_surnames)
    if (s.first.size() == 2) sn.push_back(s);
  std::sort(sn.begin(), sn.end(), [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  });
  if (sn.size() > m_options.familiar_name_surnames) sn.resize(m_options.familiar_name_surnames);
  std::vector<std::string> out;
  for (const auto& s : sn) out.push_back(s.first);
  return out;
}

std::vector<std::string> Trainer::familiar_names() const {
  const std::vector<std::string> sn = familiar_surnames();
  std::vector<std::string> out;
  for (const char* prefix : {kLao, kXiao})
    for (const std::string& s : sn) out.push_back(prefix + s);
  for (const std::string& suffix : familiar_suffixes(sn))
    for (const std::string& s : sn) out.push_back(s + suffix);
  return out;
}

std::set<std::string> Trainer::familiar_suffixes(const std::vector<std::string>& surnames) const {
  std::set<std::string> out;
  if (m_options.familiar_suffix_min_count == 0 || surnames.empty()) return out;
  const std::set<std::string> common(surnames.begin(), surnames.end());
  struct Evidence {
    std::set<std::string> surnames;
    uint64_t familiar = 0;  // surname + the character, written whole
    uint64_t inside = 0;    // the character in whole names of three or more
  };
  std::map<std::string, Evidence> ev;
  for (const auto& kv : m_whole_name) {
    const std::string& w = kv.first;
    bool wide = true;
    for (size_t k = 0; k < w.size(); k += CharLen(w, k))
      if (CharLen(w, k) != 2) wide = false;
    if (!wide || (!m_options.held_out.empty() && m_options.held_out.count(HeldOutKey(w)))) continue;
    if (w.size() == 4 && common.count(w.substr(0, 2))) {
      Evidence& e = ev[w.substr(2)];
      e.surnames.insert(w.substr(0, 2));
      e.familiar += kv.second;
    } else if (w.size() >= 6) {
      for (size_t k = 0; k < w.size(); k += 2) ev[w.substr(k, 2)].inside += kv.second;
    }
  }
  for (const auto& kv : ev) {
    const Evidence& e = kv.second;
    if (e.surnames.size() < 2 || e.familiar < m_options.familiar_suffix_min_count ||
        e.inside > e.familiar || m_single_given.count(kv.first))
      continue;
    out.insert(kv.first);
  }
  return out;
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

}  // namespace lxtrain
