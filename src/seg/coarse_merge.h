// Coarse granularity (LX_COARSE): the rules that join finished tokens into
// larger units, and the organisation data they use.
//
// The rules look at a run of tagged tokens and say how many of them, from a
// given one on, make one coarse word and which tag it gets.  Checked in this
// order at each token:
//
//   1. organisation: the longest run of two or more tokens (at most
//      kMaxOrgParts, at most kMaxOrgLen bytes) whose text is a compound of
//      the "#org" list -> nt;
//   2. person: a surname (nrf, or a one-character nr) followed by a given
//      name (nrg or nr, one or two characters), or the parts of a name (nr)
//      joined by name separators ("·", "—", "-" ...) -> nr;
//   3. date and time: a run of two or more t tokens -> t;
//   4. numeral and measure word: m followed by q, or by a word of the
//      "#measure" list that is no m -> m;
//   5. organisation by suffix: one to three ns or nt tokens followed by a
//      word of the "#org_suffix" list -> nt.
//
// The token saver applies them to the tokens of each sentence
// (CSegTokensSaver::_coarse_merge); the evaluator applies the same function
// to the corpus to derive a coarse reference, so both sides follow one
// definition.  Lengths are in bytes of GBK text (a Chinese character is 2).
//
// "coarse_info" (optional in a resource directory) is a GBK text file of
// three sections, each opened by a header line "#org", "#org_suffix" or
// "#measure", one entry per line: a compound, a suffix or a measure word (a
// word that follows a numeral as its measure word, whatever its tag), at
// most kMaxOrgLen bytes, no blank or control byte.  A directory without it
// loads; coarse mode then joins no organisation names and only tagged
// measure words.
#ifndef LX_SEG_COARSE_MERGE_H
#define LX_SEG_COARSE_MERGE_H

#include <cstddef>

#include "base/LHash.h"

struct coarse_token_t {
  const char* text;  // GBK; a token with len 0 joins nothing
  size_t len;
  int pos;  // POS id of LXPub.h, 0 when untagged
};

class CCoarseData {
 public:
  static constexpr size_t kMaxOrgLen = 64;
  static constexpr size_t kMaxOrgParts = 8;

  // Reads "coarse_info".  An absent file leaves both lists empty and succeeds;
  // a file that cannot be read or holds a bad line is reported with one line
  // "<path>: <reason>" (lines as "line <n>: ...") and fails.
  // With `orgs` false the compounds are not kept.
  bool load(const char* path, bool orgs = true);
  // Adds an entry; false (nothing added) for an empty or too long one.
  bool add_org(const char* text) { return _add(m_org, text); }
  bool add_suffix(const char* text) { return _add(m_suffix, text); }
  bool add_measure(const char* text) { return _add(m_measure, text); }

  bool is_org(const char* text) const { return m_org.find(text) != nullptr; }
  bool is_suffix(const char* text) const { return m_suffix.find(text) != nullptr; }
  bool is_measure(const char* text) const { return m_measure.find(text) != nullptr; }
  size_t org_count() const { return m_org_num; }

 private:
  bool _add(HashDict& dict, const char* text);
  HashDict m_org, m_suffix, m_measure;
  size_t m_org_num = 0;
};

// How many tokens from toks[i] on make one coarse word (1 when toks[i] stays
// as it is), and that word's tag in `tag`.  `data` may be null: the two
// organisation rules then never apply.
size_t coarse_group(const coarse_token_t* toks, size_t n, size_t i, const CCoarseData* data,
                    int& tag);

#endif  // LX_SEG_COARSE_MERGE_H
