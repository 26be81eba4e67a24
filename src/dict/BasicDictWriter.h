// Writer of the basic dictionary files "Core.Lex" and "Core.Prop" (layout in
// dict/BasicDict.h).  Used by the resource trainer and the tests; not part of
// the exported interface.
//
//   CBasicDictWriter w;
//   basic_dict_entry_t e;
//   e.word = "\xd6\xd0\xb9\xfa";                  // GBK
//   e.pos = std::vector<prop_item_t>{{20, -0.1f}};
//   w.add(e);
//   ...
//   w.write("out/Core.Lex", "out/Core.Prop");
//
// write() sorts the words in byte order; a word's index is its rank in that
// order.  Rule records name their sub-words by string and get their indexes
// at that point.  Identical lists are stored once.  A word that has both a
// rule record and a sub-word record gets one m_seg_rule_sidx valid in both
// arrays (the shorter array is padded).
//
// The writer refuses what the format cannot represent (empty words, words
// with a NUL or over 255 bytes, duplicates, a 0 id inside a list, rule
// records naming unknown words, sub-word records of more than 255
// sub-words), but it does not apply the loader's semantic checks: it can
// write, on purpose, a dictionary that CBasicDict refuses (the tests need
// that).  Load the result to check it.
#ifndef LX_DICT_BASICDICTWRITER_H
#define LX_DICT_BASICDICTWRITER_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "lm/Prob.h"

// One identifier of a POS or role list with its log-probability.
struct prop_item_t {
  uint8_t id;  // 1..255; 0 ends a list and cannot be an item
  LogP prob;
};

// One value of a m_RuleInfo record: a number as it is, or (with `word` not
// empty) the index of that dictionary word.
struct rule_value_t {
  LogP value;
  std::string word;

  static rule_value_t number(LogP v) { return rule_value_t{v, std::string()}; }
  static rule_value_t index_of(const std::string& w) { return rule_value_t{0.0f, w}; }
};

// One sub-word of a sub-word record.
struct subword_t {
  uint8_t length;
  uint8_t pos;
};

// A word with its properties.  An absent list or record is written as
// Prop_None; an empty one as a list holding only its terminating 0 (or a
// record with n = 0).
struct basic_dict_entry_t {
  std::string word;          // GBK bytes; m_WordLength is its size
  uint16_t name_entity = 0;  // m_NameEntity
  std::optional<std::vector<prop_item_t>> pos;
  std::optional<std::vector<prop_item_t>> roles;
  std::optional<std::vector<prop_item_t>> ln_roles;
  std::optional<std::vector<rule_value_t>> rule;  // m_RuleInfo record
  std::optional<std::vector<subword_t>> subwords;  // m_SegType record
};

// A rule block n, x1..xn, w over the given sub-words.
std::vector<rule_value_t> BasicDictRuleBlock(const std::vector<std::string>& parts, LogP weight);

// The record of a type-87 word: words w1, w2 with POS p1, p2 (first
// segmentation), words w3, w4 with POS p3, p4 (second).
std::vector<rule_value_t> BasicDictMulSegRecord(const std::string& w1, const std::string& w2,
                                                uint8_t p1, uint8_t p2, const std::string& w3,
                                                const std::string& w4, uint8_t p3, uint8_t p4);

class CBasicDictWriter {
 public:
  // Adds a word.  False (nothing added) for an empty word, a word over 255
  // bytes or containing a NUL, and a word added before.
  bool add(const basic_dict_entry_t& entry);

  size_t size() const { return m_entries.size(); }

  // Builds the two file images in memory.  False if there are no words or a
  // record cannot be represented (see last_error()).
  bool build(std::vector<char>& lex, std::vector<char>& prop);

  // Builds and writes both files, each first to a temporary name next to it
  // and renamed into place when complete.  False on any failure; a target
  // that was not renamed into place is unchanged.
  bool write(const char* lex_path, const char* prop_path);

  // The index `word` got in the last build(), or -1.
  long index_of(const std::string& word) const;

  const std::string& last_error() const { return m_error; }

 private:
  std::vector<basic_dict_entry_t> m_entries;
  std::unordered_map<std::string, size_t> m_position;  // word -> entry
  std::vector<uint32_t> m_index;                        // entry -> word index
  std::string m_error;
};


#endif  // LX_DICT_BASICDICTWRITER_H
