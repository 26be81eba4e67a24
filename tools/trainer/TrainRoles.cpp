// The role pass of the trainer: the library segments the training text
// without name recognition, the path is aligned with the gold names and
// places (RoleTrain.h), and the role lists, role tables and ambiguity rules
// are estimated from it.
#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "LXSegFunc.h"
#include "Train.h"
#include "TrainText.h"
#include "dict/BasicDictWriter.h"
#include "dict/NerResourceWriter.h"
#include "dict/RuleDictWriter.h"

namespace lxtrain {

namespace {

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

}  // namespace

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
    // A word the text never shows (a word of the general word list) has no
    // evidence of its own: with the name list's Z alone it could only be a
    // given name (全 揪住).  It is an ordinary word as well, scored as a
    // word seen once as A.
    if (it == counts.end() && prob.count(kRoleZ) && !prob.count(kRoleA) && role_total[kRoleA] > 0)
      prob[kRoleA] = 1.0 / double(role_total[kRoleA]);
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

}  // namespace lxtrain
