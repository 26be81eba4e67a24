#include "dict/RuleDict.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include "dict/BasicDict.h"
#include "dict/Dir.h"

CRuleDict::CRuleDict() : m_rules(0), MAXSIZE(1000), m_idx(0) { _reset_trie(); }

CRuleDict::~CRuleDict() { _clear(); }

void CRuleDict::_reset_trie() {
  m_ruledict.set_array(DictEmptyTrieUnits(), DictEmptyTrieSize);
  m_trie_units.reset();
  m_first_bytes.fill(false);
}

void CRuleDict::_clear() {
  for (size_t i = 0; i < m_idx; i++) {
    delete[] m_rules[i].srule;
    delete m_rules[i].idx;
  }
  delete[] m_rules;
  m_rules = 0;
  m_idx = 0;
  MAXSIZE = 1000;
}

void CRuleDict::_save(rule_t& rule) {
  if (m_rules == 0) {
    m_rules = new rule_t[MAXSIZE];
  } else if (m_idx == MAXSIZE) {
    rule_t* grown = new rule_t[MAXSIZE + RSTEP];
    std::copy(m_rules, m_rules + m_idx, grown);
    delete[] m_rules;
    m_rules = grown;
    MAXSIZE += RSTEP;
  }
  m_rules[m_idx++] = rule;
  rule.srule = 0;
  rule.idx = 0;
}

namespace {

// Reads a decimal as a C conversion does (leading white space, an optional
// sign, digits up to the first non-digit; nothing gives 0).  Values beyond
// any possible line length are clamped, which keeps the sum exact for every
// line that could match.
long long read_length(const char* s) {
  while (std::isspace((unsigned char)*s)) s++;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = *s++ == '-';
  long long v = 0;
  for (; *s >= '0' && *s <= '9'; s++) {
    if (v < (1LL << 40)) v = v * 10 + (*s - '0');
  }
  return negative ? -v : v;
}

}  // namespace

bool CRuleDict::_parse(const char* line, rule_t& rule) {
  rule.srule = 0;
  rule.idx = 0;
  if (line == 0 || line[0] == '#') return false;
  const char* comma = std::strchr(line, ',');
  if (comma == 0) return false;
  size_t len = (size_t)(comma - line);

  std::vector<int32_t> lengths;
  long long total = 0;
  for (const char* piece = comma + 1;;) {
    long long v = read_length(piece);
    if (v < 0) return false;
    if (v > 0) {
      total += v;
      if (total > (long long)len) return false;
      lengths.push_back((int32_t)v);
    }
    const char* next = std::strchr(piece, ',');
    if (next == 0) break;
    piece = next + 1;
  }
  if (total != (long long)len) return false;

  // Every cut must fall between characters, as the lattice walks the text.
  size_t pos = 0, cut = 0;
  for (int32_t l : lengths) {
    cut += (size_t)l;
    while (pos < cut) {
      bool two = (unsigned char)line[pos] >= 0x81 && pos + 1 < len;
      pos += two ? 2 : 1;
    }
    if (pos != cut) return false;
  }

  // Both parts are held here until both exist, so that a failing second
  // allocation does not lose the first.
  std::unique_ptr<char[]> s(new char[len + 1]);
  std::memcpy(s.get(), line, len);
  s[len] = '\0';
  std::unique_ptr<std::vector<int32_t> > idx(new std::vector<int32_t>(std::move(lengths)));
  rule.srule = s.release();
  rule.idx = idx.release();
  return true;
}

void CRuleDict::_sort(rule_t* rules, size_t n) {
  std::stable_sort(rules, rules + n, [](const rule_t& a, const rule_t& b) {
    return std::strcmp(a.srule, b.srule) < 0;
  });
}

namespace {

// The rule sequence at values[value] (see rule_sequence), or null.
const int* sequence_at(const Array<int>& values, int value) {
  if (value < 0 || (unsigned)value >= values.size()) return 0;
  const int* seq = values.data() + value;
  size_t room = values.size() - (unsigned)value;
  if (seq[0] <= 0) return 0;
  for (size_t k = 1; k < room; k++) {
    if (seq[k] == 0) return k > 1 ? seq : 0;
    if (seq[k] < 0) return 0;
  }
  return 0;
}

// `ctx` is the Array<int> of sequences that the trie's values index.
bool check_rule_key(void* ctx, uint32_t value, size_t key_length) {
  const int* seq = sequence_at(*static_cast<const Array<int>*>(ctx), (int)value);
  return seq != 0 && (size_t)seq[0] == key_length;
}

}  // namespace

const int* CRuleDict::rule_sequence(int value) const { return sequence_at(m_rule_value, value); }

bool CRuleDict::_build_dict() {
  try {
    return _build_dict_or_throw();
  } catch (const std::exception&) {
    _clear();  // the trie and m_rule_value held before stay
    return false;
  }
}

bool CRuleDict::_build_dict_or_throw() {
  _sort(m_rules, m_idx);

  std::vector<const char*> keys;
  std::vector<int> values;
  std::vector<int> sequence;
  std::array<bool, 256> first_bytes{};
  keys.reserve(m_idx);
  values.reserve(m_idx);
  for (size_t i = 0; i < m_idx; i++) {
    const rule_t& r = m_rules[i];
    if (r.srule[0] == '\0') continue;  // matches nothing; the trie cannot hold it
    if (!keys.empty() && std::strcmp(keys.back(), r.srule) == 0) continue;  // first one counts
    keys.push_back(r.srule);
    first_bytes[static_cast<unsigned char>(r.srule[0])] = true;
    values.push_back((int)sequence.size());
    sequence.push_back((int)std::strlen(r.srule));
    sequence.insert(sequence.end(), r.idx->begin(), r.idx->end());
    sequence.push_back(0);
  }

  // The new trie and its sequences are built and checked aside and put in
  // place only by steps that cannot fail: the values of a trie index its own
  // m_rule_value, so when memory runs out part-way the trie and the
  // sequences held before must stay, together.
  Array<int> rule_value(0, (unsigned)sequence.size());
  if (!sequence.empty()) std::copy(sequence.begin(), sequence.end(), rule_value.data());
  std::unique_ptr<Darts::DoubleArray> trie;
  if (!keys.empty()) {
    trie.reset(new Darts::DoubleArray);
    trie->build(keys.size(), keys.data(), 0, values.data());
    // Holds by construction; checked so that a fault here cannot turn into
    // an out-of-bounds read in the ambiguity pass.
    if (!trie->validate() ||
        !DictTrieForEachKey(static_cast<const uint32_t*>(trie->array()), trie->size(), 65534,
                            check_rule_key, &rule_value)) {
      _clear();
      return false;
    }
  }
  _clear();

  if (trie) {
    m_ruledict.set_array(trie->array(), trie->size());
    m_trie_units = std::move(trie);
    m_first_bytes = first_bytes;
  } else {
    _reset_trie();
  }
  m_rule_value = std::move(rule_value);
  return true;
}

bool CRuleDict::loadDict(const char* path) {
  FILE* fp = open_regular_file(path);
  if (fp == 0) {
    _clear();
    return false;
  }
  try {
    char line[1024];
    PieceReader in(fp);
    while (in.read(line, sizeof(line)) != 0) {
      rule_t rule;
      if (!_parse(line, rule)) {
        // Malformed lines are skipped, but a last line that does not parse
        // was cut short.
        const char* p = line;
        while (std::isspace((unsigned char)*p)) p++;
        if (in.last && *p != '\0' && *p != '#') {
          report_file_problem(path, "line %u: cut short", in.line);
          std::fclose(fp);
          _clear();
          return false;
        }
        continue;
      }
      try {
        _save(rule);
      } catch (...) {
        delete[] rule.srule;
        delete rule.idx;
        throw;
      }
    }
    const bool failed = std::ferror(fp) != 0;
    const int err = errno;
    std::fclose(fp);
    fp = 0;
    if (failed) {
      report_file_problem(path, "%s", std::strerror(err));
      _clear();
      return false;
    }
    return _build_dict();
  } catch (const std::exception&) {
    if (fp != 0) std::fclose(fp);
    _clear();
    return false;
  }
}
