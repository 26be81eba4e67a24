// The affix table "Affix.Lex": one-character suffixes and prefixes that the
// text writes joined with the word before or after them (可行性, 非公有制)
// and not as two words.
#include <fstream>
#include <map>
#include <tuple>

#include "Train.h"
#include "TrainText.h"
#include "base/PosTag.h"

namespace lxtrain {

int Trainer::first_tag(const std::string& w) const {
  // The order of the dictionary's POS list: log10 P(word | tag).
  auto it = m_word_pos.find(w);
  if (it == m_word_pos.end()) return 0;
  int best = 0;
  double best_p = -1;
  for (const auto& pc : it->second) {
    auto tc = m_tag_count.find(pc.first);
    const double p = double(pc.second) / double(tc == m_tag_count.end() ? 1 : tc->second);
    if (p > best_p) best_p = p, best = pc.first;
  }
  return best;
}

bool Trainer::write_affixes(const std::string& dir, std::string* error) {
  // How a word the text has seen only once behaves is what a new word will
  // do: for each affix character and first tag of the word it attaches to
  // (a dictionary word of two or more characters), the whole words of that
  // shape seen once against the pairs "word affix" seen once as two words.
  // The tag of the whole is the one most of those words have.
  using Key = std::tuple<char, std::string, int>;  // kind, affix, tag of the word
  struct Evidence {
    uint32_t whole = 0, apart = 0;
    std::map<int, uint32_t> tags;
  };
  std::map<Key, Evidence> ev;
  // Numerals and measure words are left to the number handling (一 系列,
  // 四五 万): the factoid recognizer and the ambiguity rules cut them.
  static const int nr = pos_tag_id("nr"), m = pos_tag_id("m"), q = pos_tag_id("q");
  auto joins = [&](int tag) { return tag != 0 && tag != m && tag != q; };
  for (const auto& kv : m_affix_whole) {
    if (kv.second != 1) continue;
    const std::string& w = kv.first;
    auto wp = m_word_pos.find(w);
    if (wp == m_word_pos.end() || wp->second.count(nr)) continue;
    const int whole_tag = first_tag(w);
    const std::pair<char, size_t> shapes[] = {{'s', w.size() - 2}, {'p', 0}};
    for (const auto& sh : shapes) {
      const std::string affix = w.substr(sh.second, 2);
      const std::string word = sh.first == 's' ? w.substr(0, w.size() - 2) : w.substr(2);
      const int tag = first_tag(word);
      if (!joins(tag)) continue;
      Evidence& e = ev[Key(sh.first, affix, tag)];
      ++e.whole;
      ++e.tags[whole_tag];
    }
  }
  for (const auto& kv : m_affix_pairs) {
    if (kv.second != 1) continue;
    const std::string& a = kv.first.first;
    const std::string& b = kv.first.second;
    if (m_affix_whole.count(a + b)) continue;
    const bool suffix = b.size() == 2;
    const int tag = first_tag(suffix ? a : b);
    if (!joins(tag)) continue;
    auto it = ev.find(Key(suffix ? 's' : 'p', suffix ? b : a, tag));
    if (it != ev.end()) ++it->second.apart;
  }
  const std::string path = JoinPath(dir, "Affix.Lex");
  std::ofstream out(path, std::ios::binary);
  out << "# kind affix word-tag whole-tag whole apart (s: suffix, p: prefix)\n";
  m_summary.affixes = 0;
  for (const auto& kv : ev) {
    const Evidence& e = kv.second;
    if (e.whole < m_options.affix_min_types ||
        double(e.whole) < m_options.affix_min_share * double(e.whole + e.apart))
      continue;
    int whole_tag = 0;
    uint32_t best = 0;
    for (const auto& tc : e.tags)
      if (tc.second > best) best = tc.second, whole_tag = tc.first;
    out << std::get<0>(kv.first) << ' ' << std::get<1>(kv.first) << ' '
        << pos_tag_string(std::get<2>(kv.first)) << ' ' << pos_tag_string(whole_tag) << ' '
        << e.whole << ' ' << e.apart << '\n';
    ++m_summary.affixes;
  }
  if (!out) return Fail(error, "cannot write " + path);
  return true;
}

}  // namespace lxtrain
