// CLatticeProducer: turns one normalised, lower-cased GBK sentence into the
// word lattice (seg/lattice.h).
//
// The sentence is walked from left to right in steps.  At the start i of a
// step the factoid recognizer is asked for a factoid (told whether a letter
// or a digit ends the text before i, which makes a minus sign at i a hyphen)
// and the basic dictionary for every word starting there, and one of three
// treatments is chosen:
//  - the factoid alone (it is longer than every dictionary word at i), cut
//    where a dictionary word overlaps its end;
//  - the longest dictionary word (or the single character) alone, when
//    nothing overlaps it (the "simple path");
//  - every dictionary word (or single character) of every character position
//    inside the longest word's span ("expansion"), when words overlap, the
//    longest word is a combination word (type 90), or the step follows a
//    number (except for "分之" and words without properties).
// The end node of an item that nothing crosses is marked bnAmb, which lets
// the path search skip the model there.
//
// Items: perIdx 50, weight 0, nPreIndex 0, bcomb exactly for type 90, and
// posIndex = factoid type - 1 when the item is as long as the factoid found
// at the step's start (0 otherwise).  Dictionary words carry their
// m_NameEntity and word index + 1; single characters type 55 and
// kAttrSingleChar; factoids type 58 and kAttrNumber (type 15), kAttrAlnum
// (types 23 and 50) or kAttrSingleChar.  A type-88 word is followed by a twin
// of type -88 (its second reading).  A node's range is reserved with the
// length of its first item + 2 entries; an item that finds the range full
// (or the node at 255 items) is dropped with "词条可存储空间已满\n" (GBK) on
// stderr and the walk goes on.
//
// Search buffer.  The common-prefix searches of one step go to m_words as
// consecutive groups: a count (all matches) followed by as many word indexes,
// shortest word first, as still fit in the WORD_BUF entries.  The first group
// always fits (a key is at most 255 bytes, so at most 255 matches); a later
// group may be cut short or have no room at all.  The buffer is never written
// or read beyond its end, and an expansion treats a position whose group was
// not stored completely as a position without dictionary words (its single
// character is offered instead).  The overlap decisions do not depend on the
// buffer: they use the longest word found by the search itself.
//
// Robustness.  A word index from the double array that is not below the
// word count, or whose recorded length does not fit the text at that
// position, is reported on stderr ("invalid word index: N\n") and counts as
// no word, so every item lies inside the sentence.  Sentences longer than the
// lattice's capacity (CLattice::kMaxNodes - 1 bytes) are refused.
//
// The producer allocates nothing: its buffers are members, and only the
// lattice's item store may grow.  One producer per handle; the dictionary and
// the recognizer are shared and only read.
#ifndef LX_SEG_LATTICE_PRODUCER_H
#define LX_SEG_LATTICE_PRODUCER_H

#include <cstdint>

#include "seg/lattice.h"

class CBasicDict;
class CFactoid;

// Entries of the search buffer of one step.
const uint32_t WORD_BUF = 4096;

// "词条可存储空间已满\n" in GBK: written when a node refuses an item.
extern const char kLatticeNodeFullMessage[];

class CLatticeProducer {
 public:
  CLatticeProducer();

  // Stores the handle's lattice and the shared dictionary and recognizer, and
  // looks up m_fenzhi_idx ("分之").  Null resources are allowed here, but
  // build_lattice() then refuses to work.
  void set_resource(CLattice* lattice, const CBasicDict* dict, const CFactoid* factoid);

  // Builds the lattice of sentence[0, len): the lattice is cleared for nodes
  // 0 to len first.  Returns false (after clearing node 0 only) when the
  // resources are missing, the sentence is longer than
  // CLattice::kMaxNodes - 1 bytes, or it is null with a non-zero length.  An
  // empty sentence gives an empty lattice and true.
  bool build_lattice(const char* sentence, uint32_t len);

  CLattice* m_plattice;
  const CBasicDict* m_pworddict;
  const CFactoid* m_pfactdict;

  uint32_t m_sentlen;
  const char* m_sentence;

  int32_t m_words[WORD_BUF];  // the step's search groups (see above)
  // Room for CBasicDict::prefetch_walks over a sentence, and how deep it
  // fetches (bytes: words of up to four double-byte characters).
  static const size_t kPrefetchDepth = 8;
  uint32_t m_prefetch_pos[CLattice::kMaxNodes];
  uint32_t m_prefetch_base[CLattice::kMaxNodes];

  uint32_t m_fclen;           // factoid at the step's start: length
  int32_t m_fctype;           // and type
  bool m_bovp;                // an overlap was found in this step
  bool m_bcomb;               // the longest word at the step's start has type 90
  uint32_t m_fc_wd_ovp_pos;   // where a word overlaps the end of the factoid
  uint32_t m_wmax_len;        // length of the longest word at the step's start (0: none)
  bool m_bnum;                // the previous step started with a number (type 15)
  bool m_brule_fenzhi;        // the longest word is "分之" or has no properties
  uint32_t m_fenzhi_idx;      // word index of "分之" + 1; 0 when absent

 private:
  // Width of the character at p: 2 for a byte from 0x81 up that is not the
  // last byte of the sentence, else 1.
  uint32_t _char_len(uint32_t p) const;

  // Whether the character that ends at `end` is an ASCII or full-width letter
  // or digit; `from` is a character boundary at or before it.
  bool _alnum_before(uint32_t from, uint32_t end) const;

  // Length of word `idx` as an item starting at `pos`, or 0 (after a
  // diagnostic line) when the index or its length is unusable there.
  uint32_t _word_len(int32_t idx, uint32_t pos) const;

  // Common-prefix search at `pos`.  Stores up to `room` word indexes at
  // `out` (which may be null when room is 0), returns the number of words
  // found, and gives the longest usable word in `longest` / `longest_len`
  // (-1 / 0 when there is none).
  uint32_t _lookup(uint32_t pos, int32_t* out, uint32_t room, int32_t& longest,
                   uint32_t& longest_len) const;

  // Appends the search group of position `pos` at m_words[m_words_used...]
  // as far as it fits; returns the longest usable word as _lookup does.
  void _append_group(uint32_t pos, int32_t& longest, uint32_t& longest_len);

  // Adds an item ending at begin + length (see the header comment);
  // `fclen` is the factoid length that counts for posIndex.  Returns false
  // when the node refused it.
  bool _add_item(uint32_t begin, uint32_t length, int32_t type, uint32_t attr, uint32_t fclen);
  void _add_word(int32_t idx, uint32_t begin, uint32_t length, uint32_t fclen);
  void _add_char(uint32_t begin, uint32_t fclen);
  void _add_factoid(uint32_t begin, uint32_t length, uint32_t fclen);

  // The factoid wins: the factoid alone, or cut where a word overlaps its
  // end.  Returns the next position.
  uint32_t _factoid_step(uint32_t i);
  // Expansion: every word of every position inside the longest word's span.
  // Returns the next position.
  uint32_t _expand_step(uint32_t i);
  // The simple path: the longest word, or the character, alone.  Returns
  // the next position.
  uint32_t _simple_step(uint32_t i);

  int32_t m_wmax_idx;        // index of the longest word at the step's start (-1: none)
  int32_t m_ovp_word_idx;    // the word found at m_fc_wd_ovp_pos
  uint32_t m_ovp_word_len;
  uint32_t m_words_used;     // entries of m_words filled in this step (<= WORD_BUF)
  uint32_t m_groups;         // groups started in this step (count entry written)
};

#endif  // LX_SEG_LATTICE_PRODUCER_H
