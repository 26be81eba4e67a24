#include "Eval.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>

#include "Corpus.h"
#include "LXPub.h"
#include "TrainText.h"
#include "base/PosTag.h"
#include "seg/coarse_merge.h"

namespace lxtrain {

namespace {

bool AllLetters(const std::string& t) {
  if (t.empty()) return false;
  for (char c : t)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
  return true;
}

// "word/tag" or "word/tag]tag" with an ASCII letter tag.
bool LooksTagged(const std::string& tok) {
  size_t slash = tok.rfind('/');
  if (slash == std::string::npos || slash == 0) return false;
  std::string tag = tok.substr(slash + 1);
  size_t rb = tag.find(']');
  if (rb != std::string::npos) {
    if (!AllLetters(tag.substr(rb + 1))) return false;
    tag.erase(rb);
  }
  return AllLetters(tag);
}

std::vector<std::string> Split(const std::string& line, bool tabs_only) {
  std::vector<std::string> out;
  size_t i = 0;
  auto sep = [tabs_only](char c) { return c == '\t' || (!tabs_only && c == ' '); };
  while (i < line.size()) {
    while (i < line.size() && sep(line[i])) ++i;
    size_t b = i;
    while (i < line.size() && !sep(line[i])) ++i;
    if (i > b) out.push_back(line.substr(b, i - b));
  }
  return out;
}

void Append(SegLine& out, const std::string& word, int pos) {
  if (word.empty()) return;
  SegWord w;
  w.word = word;
  w.begin = out.chars;
  out.chars += GbkCharCount(word);
  w.end = out.chars;
  w.pos = pos;
  out.words.push_back(w);
}

typedef std::vector<std::pair<size_t, size_t>> Spans;

void CountSpans(const Spans& gold, const Spans& sys, PRCount& c) {
  std::set<std::pair<size_t, size_t>> g(gold.begin(), gold.end());
  c.gold += gold.size();
  c.sys += sys.size();
  for (const auto& s : sys)
    if (g.count(s)) ++c.correct;
}

}  // namespace

size_t GbkCharCount(const std::string& s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); ++n)
    i += (IsLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
  return n;
}

namespace {

SegLine CoarseLine(const CorpusParagraph& para, const CoarseGold& coarse) {
  std::vector<CorpusToken> toks;
  size_t sp = 0;
  for (size_t k = 0; k < para.tokens.size();) {
    while (sp < para.spans.size() && para.spans[sp].begin < k) ++sp;
    if (sp < para.spans.size() && para.spans[sp].begin == k && para.spans[sp].tag == "nt" &&
        para.spans[sp].end > k + 1 && para.spans[sp].end <= para.tokens.size()) {
      CorpusToken t;
      for (; k < para.spans[sp].end; ++k) t.word += para.tokens[k].word;
      t.pos = LX_NT;
      toks.push_back(t);
    } else {
      toks.push_back(para.tokens[k++]);
    }
  }
  std::vector<coarse_token_t> view;
  for (const CorpusToken& t : toks) view.push_back(coarse_token_t{t.word.data(), t.word.size(), t.pos});
  SegLine out;
  out.tagged = true;
  for (size_t i = 0; i < view.size();) {
    int tag = 0;
    const size_t g = coarse_group(view.data(), view.size(), i, coarse.suffixes, tag);
    std::string word;
    for (size_t k = i; k < i + g; ++k) word += toks[k].word;
    Append(out, word, tag);
    i += g;
  }
  return out;
}

}  // namespace

SegLine ParseSegLine(const std::string& line, SegFormat format, const CoarseGold* coarse) {
  if (format == SegFormat::kAuto) {
    if (line.find('\t') != std::string::npos) {
      format = SegFormat::kTagged;
    } else {
      std::vector<std::string> toks = Split(line, false);
      format = SegFormat::kCorpus;
      for (const std::string& t : toks)
        if (!LooksTagged(t)) {
          format = SegFormat::kWords;
          break;
        }
      if (toks.empty()) format = SegFormat::kWords;
    }
  }
  SegLine out;
  switch (format) {
    case SegFormat::kCorpus: {
      CorpusParagraph para;
      CorpusStats stats;
      CorpusReader::ParseLine(line, para, stats);
      if (coarse != nullptr && coarse->on) return CoarseLine(para, *coarse);
      for (const CorpusToken& t : para.tokens) Append(out, t.word, t.pos);
      out.tagged = true;
      break;
    }
    case SegFormat::kTagged: {
      out.tagged = true;
      for (const std::string& rec : Split(line, true)) {
        size_t slash = rec.rfind('/');
        // The tag is the run of letters after the last '/'; a custom class
        // text may follow it.
        size_t e = slash == std::string::npos ? 0 : slash + 1;
        while (e < rec.size() && ((rec[e] >= 'a' && rec[e] <= 'z') || (rec[e] >= 'A' && rec[e] <= 'Z')))
          ++e;
        if (slash == std::string::npos || slash == 0 || e == slash + 1) {
          Append(out, rec, 0);
        } else {
          Append(out, rec.substr(0, slash), MapCorpusTag(rec.substr(slash + 1, e - slash - 1)));
        }
      }
      break;
    }
    default:
      for (const std::string& w : Split(line, false)) Append(out, w, 0);
      break;
  }
  return out;
}

int ScoredPos(int pos) {
  static const int kNr = pos_tag_id("nr"), kNrf = pos_tag_id("nrf"), kNrg = pos_tag_id("nrg");
  return (pos == kNrf || pos == kNrg) ? kNr : pos;
}

namespace {

// A word that joins the parts of a transliterated name.
bool IsNameSeparatorWord(const std::string& w) {
  return w == "-" || w == "\xA1\xA4" /* · */ || w == "\xA1\xA5" /* ˉ */ ||
         w == "\xA1\xAA" /* — */ || w == "\xA3\xAD" /* － */;
}

}  // namespace

Spans PersonSpans(const SegLine& line) {
  static const int kNr = pos_tag_id("nr"), kNrf = pos_tag_id("nrf"), kNrg = pos_tag_id("nrg");
  Spans out;
  const std::vector<SegWord>& w = line.words;
  for (size_t i = 0; i < w.size(); ++i) {
    if (ScoredPos(w[i].pos) != kNr) continue;
    const size_t begin = w[i].begin;
    size_t end = w[i].end;
    if (w[i].end - w[i].begin == 1 && w[i].pos != kNrg && i + 1 < w.size() &&
        ScoredPos(w[i + 1].pos) == kNr && w[i + 1].pos != kNrf &&
        w[i + 1].end - w[i + 1].begin <= 2) {
      end = w[++i].end;
    } else {
      while (i + 2 < w.size() && IsNameSeparatorWord(w[i + 1].word) &&
             ScoredPos(w[i + 2].pos) == kNr && w[i + 2].pos != kNrf) {
        i += 2;
        end = w[i].end;
      }
    }
    out.emplace_back(begin, end);
  }
  return out;
}

Spans StrictPersonSpans(const SegLine& line) {
  static const int kNr = pos_tag_id("nr");
  Spans out;
  for (const SegWord& w : line.words)
    if (ScoredPos(w.pos) == kNr) out.emplace_back(w.begin, w.end);
  return out;
}

Spans PlaceSpans(const SegLine& line) {
  static const int kNs = pos_tag_id("ns");
  Spans out;
  for (const SegWord& w : line.words)
    if (w.pos == kNs) out.emplace_back(w.begin, w.end);
  return out;
}

namespace {
bool LoadWords(const std::string& path, std::unordered_set<std::string>& words) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (ReadTextLine(in, line)) {
    size_t e = line.find_first_of(" \t");
    std::string w = line.substr(0, e);
    if (!w.empty()) words.insert(w);
  }
  return true;
}
}  // namespace

bool Evaluator::load_vocab(const std::string& path) {
  std::unordered_set<std::string> vocab;
  if (!LoadWords(path, vocab)) return false;
  set_vocab(std::move(vocab));
  return true;
}

bool Evaluator::load_held_out(const std::string& path) {
  std::unordered_set<std::string> words;
  if (!LoadWords(path, words)) return false;
  set_held_out(std::move(words));
  return true;
}

void Evaluator::add(const SegLine& gold, const SegLine& sys) {
  EvalResult& r = m_result;
  if (gold.chars != sys.chars) {
    ++r.skipped_lines;
    return;
  }
  ++r.lines;
  r.words.gold += gold.words.size();
  r.words.sys += sys.words.size();
  // Both word lists are in text order: walk them together.
  size_t j = 0;
  for (const SegWord& g : gold.words) {
    while (j < sys.words.size() && sys.words[j].begin < g.begin) ++j;
    bool hit = j < sys.words.size() && sys.words[j].begin == g.begin && sys.words[j].end == g.end;
    if (hit) {
      ++r.words.correct;
      if (gold.tagged && sys.tagged) {
        ++r.pos_compared;
        if (ScoredPos(sys.words[j].pos) == ScoredPos(g.pos)) ++r.pos_correct;
      }
    }
    if (r.have_vocab) {
      if (m_vocab.count(g.word)) {
        ++r.iv_gold;
        if (hit) ++r.iv_correct;
      } else {
        ++r.oov_gold;
        if (hit) ++r.oov_correct;
      }
    }
    if (r.have_held_out && m_held_out.count(g.word)) {
      ++r.held.gold;
      if (hit) ++r.held.correct;
      if (ScoredPos(g.pos) == pos_tag_id("nr")) {
        ++r.held_names;
        if (hit) ++r.held_names_correct;
      }
    }
  }
  if (r.have_held_out) {
    // A system word is spelt as the gold text has it at its span (the
    // system may have normalised its characters).
    std::string text;
    std::vector<size_t> at;  // byte offset of each character, and the end
    for (const SegWord& g : gold.words) {
      for (size_t i = 0; i < g.word.size();
           i += (IsLead(static_cast<unsigned char>(g.word[i])) && i + 1 < g.word.size()) ? 2 : 1)
        at.push_back(text.size() + i);
      text += g.word;
    }
    at.push_back(text.size());
    for (const SegWord& s : sys.words)
      if (s.end < at.size() && m_held_out.count(text.substr(at[s.begin], at[s.end] - at[s.begin])))
        ++r.held.sys;
  }
  if (gold.tagged && sys.tagged) {
    r.have_tags = true;
    CountSpans(PersonSpans(gold), PersonSpans(sys), r.person);
    CountSpans(StrictPersonSpans(gold), StrictPersonSpans(sys), r.person_strict);
    CountSpans(PlaceSpans(gold), PlaceSpans(sys), r.place);
  }
}

std::string EvalResult::report() const {
  char buf[256];
  std::string out;
  auto add = [&](const char* fmt, auto... v) {
    std::snprintf(buf, sizeof buf, fmt, v...);
    out += buf;
  };
  add("lines scored        %zu\n", lines);
  if (skipped_lines) add("lines skipped       %zu (texts differ in length)\n", skipped_lines);
  add("gold words          %zu\n", words.gold);
  add("system words        %zu\n", words.sys);
  add("correct words       %zu\n", words.correct);
  add("word precision      %.4f\n", words.precision());
  add("word recall         %.4f\n", words.recall());
  add("word F1             %.4f\n", words.f1());
  if (have_vocab) {
    add("OOV rate            %.4f\n", oov_rate());
    add("OOV recall          %.4f\n", oov_recall());
    add("IV recall           %.4f\n", iv_recall());
  }
  if (have_tags) {
    add("person P/R          %.4f %.4f (gold %zu, system %zu)\n", person.precision(),
        person.recall(), person.gold, person.sys);
    add("person strict P/R   %.4f %.4f (gold %zu, system %zu)\n", person_strict.precision(),
        person_strict.recall(), person_strict.gold, person_strict.sys);
    add("place P/R           %.4f %.4f (gold %zu, system %zu)\n", place.precision(),
        place.recall(), place.gold, place.sys);
    add("POS accuracy        %.4f (%zu of %zu correctly segmented words)\n", pos_accuracy(),
        pos_correct, pos_compared);
  }
  if (have_held_out) {
    add("held-out recall     %.4f (%zu of %zu gold words)\n", held.recall(), held.correct,
        held.gold);
    add("held-out precision  %.4f (%zu system words)\n", held.precision(), held.sys);
    if (have_tags)
      add("held-out names      %.4f (%zu of %zu gold person words)\n",
          held_names ? double(held_names_correct) / held_names : 0.0, held_names_correct,
          held_names);
  }
  return out;
}

namespace {
bool NextNonBlank(std::istream& in, std::string& line) {
  while (ReadTextLine(in, line))
    if (line.find_first_not_of(" \t") != std::string::npos) return true;
  return false;
}
}  // namespace

bool EvaluateFiles(const std::string& gold_path, SegFormat gold_format,
                   const std::string& sys_path, SegFormat sys_format, Evaluator& ev,
                   std::string& error, const CoarseGold* coarse) {
  std::ifstream gold(gold_path, std::ios::binary);
  if (!gold) {
    error = "unable to open file: " + gold_path;
    return false;
  }
  std::ifstream sys(sys_path, std::ios::binary);
  if (!sys) {
    error = "unable to open file: " + sys_path;
    return false;
  }
  std::string gl, sl;
  // Blank lines carry no words and are skipped on both sides, so that the
  // corpus's empty separator lines need no counterpart in the system output.
  for (;;) {
    bool hg = NextNonBlank(gold, gl);
    bool hs = NextNonBlank(sys, sl);
    if (!hg && !hs) break;
    if (hg != hs) {
      SegLine empty;
      empty.chars = static_cast<size_t>(-1);
      SegLine one = ParseSegLine(hg ? gl : sl, hg ? gold_format : sys_format, hg ? coarse : nullptr);
      ev.add(hg ? one : empty, hg ? empty : one);
      continue;
    }
    ev.add(ParseSegLine(gl, gold_format, coarse), ParseSegLine(sl, sys_format));
  }
  return true;
}

}  // namespace lxtrain
