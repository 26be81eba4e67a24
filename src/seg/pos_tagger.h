// Bigram part-of-speech tagging: Viterbi decoding of one POS tag per word of
// the sentence's final chosen path; the result is each item's posIndex
// (POS id minus one).
//
// Candidate tags of a word w (the path node's MaxItem):
//  - nAttributeIdx below 10,000,000 (dictionary words and what stands in for
//    them):
//      type 88, 89 or -88                         -> {16 "n"}, emission 0;
//      a dictionary word (nAttributeIdx - 1 below the word count) whose
//      m_NameEntity is neither 88 nor 89 and whose POS list is not empty
//                                                 -> m_POS / m_POSProb;
//      anything else, including a dictionary word with an empty list
//                                                 -> {16 "n"}, emission 0;
//  - a character item (type 55, 2 bytes) that the dictionary holds as a word
//    with a non-empty list and m_NameEntity neither 88 nor 89 -> that list;
//  - otherwise (entities, factoids, generated items) one tag with emission 0
//    by the item type: 61, 62, 92 -> 17 "nr"; 65, 66, 93 -> 20 "ns"; 86 ->
//    the item's own posIndex value read as a POS id (a value of 0 or beyond
//    the table, which no stage produces, gives 16 "n"); 58 (factoid) ->
//    posIndex + 1 when that is 2..48, else 16 "n"; any other -> 16 "n".
//    Punctuation then takes 34 "w": a 1-byte word that is not an ASCII letter
//    or digit, a 2-byte word whose first byte is 0xA1, and a 2-byte word
//    whose first byte is 0xA3 and whose second byte is no full-width letter
//    (0xC1..0xDA, 0xE1..0xFA) or digit (0xB0..0xB9).
// One-tag lists are built in the node's LocalPOSTemp.
//
// Decoding (tagger_viterbi, seg/tag_viterbi.h) starts from POSSOS {49} with
// score 0.  For candidate k (tag c, emission e) every previous candidate j
// (tag p, score pre(j)) is tried in list order, t = pre(j) + m_Prob[p][c];
// the first j with the highest t is the back-pointer and score(k) = e + t
// (ties keep the earlier predecessor).
// There is no pruning and no restart; the sentence closes with the
// transition into 55 (sentence end): the final tag is the first candidate
// with the highest score plus m_Prob[c][55].  A candidate that no
// predecessor reaches above minus infinity (infinite or NaN cells) gets minus
// infinity and back-pointer 0.  The trace-back sets posIndex = tag - 1 on
// every path item except those of type 58 (factoids keep their posIndex).
//
// Lattice contract: as for the role tagger (seg/role_tagger.h): 1 <= n <
// CLattice::kMaxNodes, `text` holds the sentence's n bytes, and the chosen
// path must pass tagger_path_is_consistent(); otherwise the tagger returns
// false and changes nothing.  On success it writes, per path node, pROLEPOS
// (the list used: into the dictionary, or the node's LocalPOSTemp), the
// lattice's back-pointers of the node and, for one-tag lists, LocalPOSTemp;
// and posIndex of the path items.  pROLEPOS must not be written through.
//
// Safety caps: a dictionary list is used up to its 0, at most kMaxCandidates
// (53) entries (the width of the back-pointers and of the score buffers) and
// up to the first id that is not a row of the 56 x 56 table.  The dictionary loader
// refuses lists that either cap would cut.
#ifndef LX_SEG_POS_TAGGER_H
#define LX_SEG_POS_TAGGER_H

#include <cstddef>
#include <cstdint>

#include "lm/Prob.h"
#include "seg/lattice.h"

class CBasicDict;

// The POS table (56 x 56 cells) made ready for decoding: the transitions
// stored by the tag they lead into (into[cur * 56 + prev]), so that the
// predecessors of one candidate are adjacent, and the closing transitions
// into the sentence end.  The table's own floats: the same decoding.
struct PosScores {
  static constexpr uint32_t kDim = 56;
  float into[kDim * kDim];
  float close[kDim];
  void build(const CProbabilityNode* table);
};

class CPosTagger {
 public:
  static constexpr uint32_t kMaxCandidates = CLattice::kMaxTagCandidates;
  // The POS table is kPosTableDim x kPosTableDim, row-major.
  static constexpr uint32_t kPosTableDim = 56;
  static constexpr uint8_t kPosSOS = 49;   // sentence start
  static constexpr uint8_t kPosEOS = 55;   // sentence end
  static constexpr uint8_t kPosN = 16;     // "n"
  static constexpr uint8_t kPosNR = 17;    // "nr"
  static constexpr uint8_t kPosNRF = 18;   // "nrf"
  static constexpr uint8_t kPosNRG = 19;   // "nrg"
  static constexpr uint8_t kPosNS = 20;    // "ns"
  static constexpr uint8_t kPosNg = 42;    // "Ng"
  static constexpr uint8_t kPosW = 34;     // "w"

  CPosTagger();

  // Tags the chosen path of `lattice` with the POS transition table `table`
  // (56 x 56 cells).  Returns false, changing nothing, for a null text or
  // table or a path that fails the check; true otherwise.
  bool _BigramPOSTag(CLattice& lattice, const char* text, uint32_t n, const CBasicDict& dict,
                     const CProbabilityNode* table);
  // The same with the table already prepared, as the resource set keeps it.
  bool _BigramPOSTag(CLattice& lattice, const char* text, uint32_t n, const CBasicDict& dict,
                     const PosScores& scores);

  // The candidate tags of the word `item` that ends at `node`: returns the
  // 0-terminated list, *count its usable length (1..kMaxCandidates) and
  // *probs the dictionary's emissions, or null for a one-tag list (emission
  // 0) -- which is written into node.LocalPOSTemp.  `text` is the sentence.
  static const uint8_t* _get_word_tags(const CBasicDict& dict, tNodeInfo& node,
                                       const tSegItemInfo& item, const char* text,
                                       const LogP** probs, uint32_t* count);

  // The one tag of a non-dictionary item (second case above).
  static uint8_t _generated_item_tag(const tSegItemInfo& item, const char* text);

  // After decoding: a word tagged nrf that no nrg word follows, or nrg that
  // no nrf word precedes, gets _best_other_tag instead -- the most probable
  // tag of its list that is no name tag, else Ng for one character and n
  // for longer words; so do a dictionary word tagged nr or nrg (and the nrf
  // word before it) before a word that heads a place or an organisation,
  // alone or behind a numeral (CNeItems::_head_at); before an organisation
  // head the tag is no place tag either.
  static void _retag_unpaired_name_parts(CLattice& lattice, uint32_t n, const CBasicDict& dict,
                                         const char* text);
  static uint8_t _best_other_tag(const CBasicDict& dict, const tSegItemInfo& item,
                                 bool no_place = false);

  float m_pre_weight_buf[kMaxCandidates];
  float m_cur_weight_buf[kMaxCandidates];
};

#endif  // LX_SEG_POS_TAGGER_H
