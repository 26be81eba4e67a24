// CCustomwordMatcher: finds the entries of the custom dictionary that occur
// in a sentence on word boundaries of its best path, and keeps a
// non-overlapping subset of them by forward maximum matching.
//
// A candidate starts where a path word starts and ends where a path word
// ends; it never splits a path word.  For each start word the user
// dictionary is searched first (m_cd); the system custom dictionary (m_syscd)
// only when the user dictionary has no entry there.  At most kMaxPrefixMatches
// prefix matches are examined per start word, and a path word longer than the
// dictionary's m_cwMaxLen starts no search.
//
// Candidates are ordered by start word and, for one start word, by length.
// The forward selection walks them in that order and, at every start word
// after the last selected candidate, takes the longest candidate.
//
// The token saver reads the result of the same sentence (get_result); the
// arrays keep their storage across sentences.
#ifndef LX_SEG_CUSTOMWORD_MATCHER_H
#define LX_SEG_CUSTOMWORD_MATCHER_H

#include <cstddef>
#include <cstdint>

#include "base/Array.h"
#include "seg/lattice.h"

class CCustomDict;

// One candidate: the dictionary entry found over path words sIdx..eIdx.
struct _comb_t {
  int sIdx;     // first path word covered (from 0 in the sentence)
  int eIdx;     // last path word covered
  int data;     // data word: bit 0 phrase, bits 1-6 POS id, bits 7.. an index
  int clsidx;   // class value
  size_t oft;   // byte offset in the sentence
  size_t wlen;  // byte length
};

class CCustomwordMatcher {
 public:
  static constexpr size_t kMaxPrefixMatches = 16;

  explicit CCustomwordMatcher(CCustomDict* pCustomDict = 0);

  // Collects the candidates of the sentence `text` (textlen bytes) whose best
  // path is marked in `plattice`, and selects among them.
  void generate_customwords(CLattice* plattice, const char* text, size_t textlen);

  void _match_customwords(CLattice* plattice, const char* text, size_t textlen);
  void _generate_fbmm_customwords();
  void _set_mm_result();

  // The candidates, the indexes of the selected ones in output order, and
  // the number of selected ones.
  void get_result(_comb_t*& all_cw_data, size_t*& cw_data_idx, size_t& cw_num);

  bool m_buse_fmm_custom_words;
  Array<_comb_t> m_matched_custom_words;
  Array<size_t> m_cw_single_char_num;  // per candidate: one-character path words covered
  Array<size_t> m_forward_custom_words;
  size_t m_fmm_cw_num;
  size_t m_fmm_w_num;
  size_t m_fmm_sw_num;
  // The backward selection is never the result; it is kept empty.
  Array<size_t> m_backward_custom_words;
  size_t m_bmm_cw_num;
  size_t m_bmm_w_num;
  size_t m_bmm_sw_num;
  CCustomDict* m_pCustomDict;
  size_t m_all_cw_num;

 private:
  // A prefix match kept for one start position.
  struct match_t {
    size_t len;
    int data;
    int clsidx;
  };

  void _add_candidate(int sIdx, int eIdx, const match_t& m, size_t oft, size_t single);
};

#endif  // LX_SEG_CUSTOMWORD_MATCHER_H
