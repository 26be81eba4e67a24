#include "dict/T2S.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <set>

#include "dict/Dir.h"

namespace {

// A two-byte GBK character: lead 0x81-0xFE, trail 0x40-0xFE except 0x7F.
bool is_gbk_char(unsigned char lead, unsigned char trail) {
  return lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
}

// How far a scan moves over a character without a match.
inline int scan_step(unsigned char b) { return b < 0x80 ? 1 : 2; }

// Absent files are not reported: each table is optional.
bool read_whole_file(const char* path, std::string& out) {
  FILE* fp = open_regular_file(path, true);
  if (fp == nullptr) return false;
  out.clear();
  char buf[64 * 1024];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), fp)) > 0) out.append(buf, n);
  const bool failed = std::ferror(fp) != 0;
  const int err = errno;
  std::fclose(fp);
  if (failed) report_file_problem(path, "%s", std::strerror(err));
  return !failed;
}

// The first two tokens of `line` (split at blanks and tabs); their number.
int pair_tokens(const std::string& line, std::string tok[2]) {
  int ntok = 0;
  size_t i = 0;
  while (ntok < 2 && i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t s = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > s) tok[ntok++] = line.substr(s, i - s);
  }
  return ntok;
}

// True (after reporting) if the last line of `data` has no line end and is
// not a whole record: fewer than two tokens, a character cut in two or, when
// `same_length`, two forms of different lengths.  Such a file was cut short.
bool tail_cut_short(const char* path, const std::string& data, bool same_length) {
  if (data.empty() || data.back() == '\n' || data.back() == '\r') return false;
  const size_t start = data.find_last_of("\r\n") + 1;  // 0 (npos + 1) without a line end
  const std::string tail = data.substr(start);
  if (tail[0] == '#') return false;
  std::string tok[2];
  const int ntok = pair_tokens(tail, tok);
  if (ntok == 0) return false;
  if (ntok == 2 && !ends_inside_character(tail.data(), tail.size()) &&
      (!same_length || tok[0].size() == tok[1].size()))
    return false;
  const unsigned line_no = 1 + (unsigned)std::count(data.begin(), data.begin() + start, '\n');
  report_file_problem(path, "line %u: cut short", line_no);
  return true;
}

// Splits `data` into lines at CR and LF and hands each non-empty line that
// does not start with "#" to `fn` with its first two tokens and its line
// number (line feeds before it + 1); lines with fewer than two tokens are
// skipped.
template <class Fn>
void for_each_pair_line(const std::string& data, Fn fn) {
  size_t pos = 0;
  unsigned line_no = 1;
  while (pos < data.size()) {
    size_t end = data.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = data.size();
    std::string line = data.substr(pos, end - pos);
    const unsigned this_line = line_no;
    if (end < data.size() && data[end] == '\n') ++line_no;
    pos = end + 1;
    if (line.empty() || line[0] == '#') continue;
    std::string tok[2];
    if (pair_tokens(line, tok) < 2) continue;
    fn(line, tok[0], tok[1], this_line);
  }
}

bool has_nul(const std::string& s) { return s.find('\0') != std::string::npos; }

}  // namespace

Trad2Simp::Trad2Simp() : m_wsize(8) { std::memset(m_t2s_table, 0, sizeof(m_t2s_table)); }

bool Trad2Simp::_load_t2s_table(const char* path) {
  std::unique_ptr<FILE, int (*)(FILE*)> fp(open_regular_file(path, true), std::fclose);
  if (fp == nullptr) return false;
  // Filled aside: a refused file leaves the table as it was.
  std::vector<Entry> table(65536, Entry{0, T2S_NULL});
  char line[100];
  PieceReader in(fp.get());
  while (in.read(line, sizeof(line)) != nullptr) {
    const unsigned piece_line = in.line;
    // The rest of a long line was judged with its start.
    if (in.continued || line[0] == '#' || std::strcspn(line, "\r\n") == 0) continue;
    // Fixed layout: traditional character, tab, simplified character, tab,
    // type digit.  Both characters must be two-byte GBK characters: a
    // replacement with a NUL or ASCII byte would cut or re-split the text.
    size_t n = std::strlen(line);
    const unsigned char* u = reinterpret_cast<const unsigned char*>(line);
    const bool layout = n >= 6 && line[2] == '\t' && line[5] == '\t' && is_gbk_char(u[0], u[1]) &&
                        is_gbk_char(u[3], u[4]);
    if (in.last && (!layout || n < 7)) {
      report_file_problem(path, "line %u: cut short", piece_line);
      return false;
    }
    if (!layout) {
      report_file_problem(path, "line %u: not two two-byte characters and a type, tab-separated; skipped",
                          piece_line);
      continue;
    }
    if (line[6] != '0' && line[6] != '1') {
      report_file_problem(path, "line %u: the type is not 0 or 1", piece_line);
      return false;
    }
    Entry& e = table[u[0] | (u[1] << 8)];
    e.chs = (uint16_t)(u[3] | (u[4] << 8));
    e.type = line[6] == '1' ? T2S_AMBIGUOUS : T2S_NORMAL;
  }
  if (std::ferror(fp.get())) {
    report_file_problem(path, "%s", std::strerror(errno));
    return false;
  }
  std::copy(table.begin(), table.end(), m_t2s_table);
  return true;
}

bool Trad2Simp::_load_t2s_words(const char* path) {
  std::string data;
  if (!read_whole_file(path, data) || tail_cut_short(path, data, true)) return false;
  m_t2s_words.clear();
  m_chs_words.clear();
  m_max_word_len = 0;

  std::map<std::string, std::string> words;  // byte order; a repeated key keeps the last form
  for_each_pair_line(data, [&](const std::string& line, const std::string& cht,
                               const std::string& chs, unsigned line_no) {
    if (has_nul(line)) return;  // a NUL byte can be neither searched for nor written
    if (cht.size() != chs.size()) {
      report_file_problem(path, "line %u: the two forms differ in length; skipped", line_no);
      return;
    }
    words[cht] = chs;
  });
  if (words.empty()) return true;

  std::vector<const char*> keys;
  std::vector<size_t> lengths;
  keys.reserve(words.size());
  lengths.reserve(words.size());
  int max_len = 0;
  for (const auto& w : words) {
    keys.push_back(w.first.data());
    lengths.push_back(w.first.size());
    if ((int)w.first.size() > max_len) max_len = (int)w.first.size();
  }
  try {
    if (m_t2s_words.build(keys.size(), keys.data(), lengths.data(), nullptr) != 0) {
      m_t2s_words.clear();
      return false;
    }
  } catch (const std::exception&) {
    m_t2s_words.clear();
    return false;
  }
  m_chs_words.reserve(words.size());
  for (const auto& w : words) m_chs_words.push_back(w.second);
  m_max_word_len = max_len;
  return true;
}

bool Trad2Simp::_load_t2s_disable(const char* path) {
  std::string data;
  if (!read_whole_file(path, data) || tail_cut_short(path, data, false)) return false;
  m_t2s_disable.clear();
  m_max_disable_len = 0;

  std::set<std::string> kept;
  for_each_pair_line(data, [&](const std::string& line, const std::string& ch,
                               const std::string& word, unsigned line_no) {
    if (has_nul(line)) return;
    // The table index of the character: its first byte + 256 * its second
    // (0 for a one-byte token, which names no table entry).
    unsigned idx = (unsigned char)ch[0] | (ch.size() > 1 ? (unsigned char)ch[1] << 8 : 0);
    Entry& e = m_t2s_table[idx];
    switch (e.type) {
      case T2S_AMBIGUOUS:
        report_file_problem(path, "line %u: an ambiguous character cannot be disabled; skipped",
                            line_no);
        return;
      case T2S_NORMAL:
        e.type = T2S_DISABLE;
        kept.insert(word);
        return;
      case T2S_DISABLE:
        kept.insert(word);
        return;
      default:
        return;
    }
  });
  if (kept.empty()) return true;

  std::vector<const char*> keys;
  std::vector<size_t> lengths;
  std::vector<int> values;
  int max_len = 0;
  for (const std::string& w : kept) {
    keys.push_back(w.data());
    lengths.push_back(w.size());
    values.push_back(w.size() < 100 ? (int)w.size() : 100);
    if ((int)w.size() > max_len) max_len = (int)w.size();
  }
  try {
    if (m_t2s_disable.build(keys.size(), keys.data(), lengths.data(), values.data()) != 0) {
      m_t2s_disable.clear();
      return false;
    }
  } catch (const std::exception&) {
    m_t2s_disable.clear();
    return false;
  }
  m_max_disable_len = max_len;
  return true;
}

bool Trad2Simp::_longest_prefix(const Darts::DoubleArray& da, int max_key_len,
                                const char* text, int p, int len, Match& m) {
  if (max_key_len <= 0 || p >= len || da.size() == 0) return false;
  int avail = len - p;
  if (avail > max_key_len) avail = max_key_len;
  // Keys hold no NUL byte: the search stops at the first one.
  const void* nul = std::memchr(text + p, '\0', (size_t)avail);
  if (nul != nullptr) avail = (int)(static_cast<const char*>(nul) - (text + p));
  if (avail == 0) return false;

  Darts::DoubleArray::result_pair_type results[MAX_RESULT];
  size_t n = da.commonPrefixSearch(text + p, results, MAX_RESULT, (size_t)avail);
  if (n == 0) return false;
  if (n > (size_t)MAX_RESULT) n = MAX_RESULT;
  m.value = results[n - 1].value;
  m.length = (int)results[n - 1].length;
  return true;
}

int Trad2Simp::_scan_start(int pos) const {
  int w = m_wsize > 0 ? m_wsize : 0;
  return pos - w > 0 ? pos - w : 0;
}

void Trad2Simp::convert(char* text, int len) const {
  if (text == nullptr) return;
  int i = 0;
  while (i < len) {
    unsigned char b = (unsigned char)text[i];
    if (b < 0x80) {
      ++i;
      continue;
    }
    if (i + 1 >= len) break;  // a lead byte without its second byte stays
    unsigned idx = b | ((unsigned char)text[i + 1] << 8);
    const Entry& e = m_t2s_table[idx];
    if (e.type == T2S_AMBIGUOUS) {
      i = idx == ZHU ? convert_word_zhu(text, i, len) : convert_word(text, i, len);
    } else if (e.type == T2S_DISABLE) {
      i = convert_disable(text, i, len);
    } else {
      if (e.type == T2S_NORMAL && e.chs != 0) {
        text[i] = (char)(e.chs & 0xFF);
        text[i + 1] = (char)(e.chs >> 8);
      }
      i += 2;
    }
  }
}

bool Trad2Simp::_word_match(const char* text, int p, int len, Match& m) const {
  // The value indexes m_chs_words and the simplified form has the key's
  // length; both hold by construction and are checked again because the text
  // is overwritten with that many bytes.
  return _longest_prefix(m_t2s_words, m_max_word_len, text, p, len, m) && m.value >= 0 &&
         (size_t)m.value < m_chs_words.size() &&
         m_chs_words[(size_t)m.value].size() == (size_t)m.length;
}

int Trad2Simp::convert_word(char* text, int pos, int len) const {
  if (text == nullptr || pos < 0 || pos + 1 >= len) return pos + 2;
  int p = _scan_start(pos);
  while (p <= pos) {
    Match m;
    if (_word_match(text, p, len, m)) {
      std::memcpy(text + p, m_chs_words[m.value].data(), (size_t)m.length);
      p += m.length;
    } else {
      p += scan_step((unsigned char)text[p]);
    }
  }
  return p;
}

int Trad2Simp::convert_word_zhu(char* text, int pos, int len) const {
  if (text == nullptr || pos < 0 || pos + 1 >= len) return pos + 2;
  // 1. A listed word that starts before 著 and covers it.
  bool has_a = false;
  int s = 0;
  Match a{0, 0};
  int p = _scan_start(pos);
  while (p <= pos) {
    Match m;
    if (_word_match(text, p, len, m)) {
      if (p + m.length > pos) {
        has_a = true;
        s = p;
        a = m;
        break;
      }
      p += m.length;
    } else {
      p += scan_step((unsigned char)text[p]);
    }
  }
  // 2. The longest listed word that starts at 著.
  Match b{0, 0};
  bool has_b = _word_match(text, pos, len, b);
  // 3. A word ending with 著 gives way to an at least as long word starting at it.
  if (!has_a && !has_b) return pos + 2;
  bool use_b = has_b && (!has_a || (pos + 2 >= s + a.length && a.length <= b.length));
  int start = use_b ? pos : s;
  const Match& c = use_b ? b : a;
  std::memcpy(text + start, m_chs_words[c.value].data(), (size_t)c.length);
  return start + c.length;
}

int Trad2Simp::convert_disable(char* text, int pos, int len) const {
  if (text == nullptr || pos < 0 || pos + 1 >= len) return pos + 2;
  int p = _scan_start(pos);
  while (p <= pos) {
    Match m;
    if (_longest_prefix(m_t2s_disable, m_max_disable_len, text, p, len, m)) {
      if (p + m.length > pos) return p + m.length;  // inside an exception word
      p += m.length;
    } else {
      p += scan_step((unsigned char)text[p]);
    }
  }
  const Entry& e =
      m_t2s_table[(unsigned char)text[pos] | ((unsigned char)text[pos + 1] << 8)];
  if (e.chs != 0) {
    text[pos] = (char)(e.chs & 0xFF);
    text[pos + 1] = (char)(e.chs >> 8);
  }
  return pos + 2;
}
