// CRuleDict: the user's ambiguity rules, from the GBK text file "UserAmbRule".
//
// Each line is one rule: a string, a ",", then the byte lengths of the
// segments the string is to be cut into, separated by ",":
//     <string>,<len1>,<len2>,...
// The file is read with a 1024-byte buffer, so a line longer than 1023
// bytes is taken in pieces of 1023 bytes, each as a line of its own.  Every
// number is read as a decimal that stops at its first non-digit, so a CR or
// LF at the end of the line does not matter.  A line is skipped when it
// starts with "#", has no ",", when its lengths do not add up to the
// string's byte length, when a length is negative, or when a cut falls
// inside a two-byte character (walking the string as the lattice walks
// text: a byte from 0x81 up that is not the last one starts a two-byte
// character).  A length of 0 cuts nothing and is dropped.  A line with an
// empty string never matches anything and is not stored; of several lines
// with the same string the first one counts.
//
// Lookup (by the ambiguity pass): a common-prefix search of m_ruledict gives,
// for every rule string that is a prefix of the text, a value v; the rule is
// m_rule_value[v] = the string's byte length, m_rule_value[v + 1 ..] = the
// segment lengths (all positive), and a 0 after the last one.  Every value in
// the trie is checked to point at such a sequence inside m_rule_value.
#ifndef LX_DICT_RULEDICT_H
#define LX_DICT_RULEDICT_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Array.h"
#include "base/DoubleArray.h"

// One parsed line.
struct rule_t {
  char* srule;               // the rule's string, NUL-terminated, owned
  std::vector<int32_t>* idx;  // segment lengths, owned
};

class CRuleDict {
 public:
  static const size_t RSTEP = 1000;  // growth step of m_rules

  rule_t* m_rules;  // parsed rules, only while loading
  size_t MAXSIZE;   // capacity of m_rules
  size_t m_idx;     // rules in m_rules

  // Rule string -> start of its sequence in m_rule_value.  It only points at
  // its units (m_trie_units, or a shared empty trie).
  Darts::DoubleArray m_ruledict;
  Array<int> m_rule_value;        // per rule: string length, segment lengths, 0

  // No rules: every search on m_ruledict finds nothing.
  CRuleDict();
  ~CRuleDict();
  CRuleDict(const CRuleDict&) = delete;
  CRuleDict& operator=(const CRuleDict&) = delete;

  // Reads the rules of `path`, replacing those held before.  Malformed lines
  // are skipped.  False if the file cannot be opened or read, is not a
  // regular file, ends with a line that has no line feed and does not parse
  // (it was cut short; these three with one line "<path>: <reason>" on
  // standard error) or memory runs out; the rules held before stay then.
  // Never throws.
  bool loadDict(const char* path);

  // Parses one line into `rule` (filling both fields, owned by the caller
  // afterwards); false for a line that is to be skipped.
  bool _parse(const char* line, rule_t& rule);
  // Appends a parsed rule to m_rules (taking its fields over).
  void _save(rule_t& rule);
  // Sorts rules by their strings in byte order, keeping the file order of
  // equal strings.
  void _sort(rule_t* rules, size_t n);
  // Frees the parsed rules.
  void _clear();
  // Builds m_ruledict and m_rule_value from m_rules and frees them.  False
  // (the trie and m_rule_value held before kept) when memory runs out.
  bool _build_dict();

  // The sequence at m_rule_value[value]: a positive length, one or more
  // positive segment lengths and a 0, all inside m_rule_value; null if
  // there is no such sequence there.  Every value in m_ruledict passes (and
  // its first entry is its key's length).
  const int* rule_sequence(int value) const;

  // False when no rule string starts with byte `c`: the search of
  // m_ruledict at such a place finds nothing, and the ambiguity pass skips
  // it (most places of most texts).
  bool may_start_with(char c) const { return m_first_bytes[static_cast<unsigned char>(c)]; }

 private:
  // Owns the units that m_ruledict searches, or null for no rules.  A new
  // trie is built and checked in an object of its own and then handed over
  // here, which cannot fail.
  std::unique_ptr<Darts::DoubleArray> m_trie_units;
  // The first bytes of the rule strings in m_ruledict.
  std::array<bool, 256> m_first_bytes{};

  void _reset_trie();
  bool _build_dict_or_throw();
};

#endif  // LX_DICT_RULEDICT_H
