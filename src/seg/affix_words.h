// Words made with a productive affix: after the path is final and before
// POS tagging, a dictionary word of two or more characters on the chosen
// path and a one-character word next to it become one word when the affix
// table (dict/AffixTable.h) lists that character as a suffix (or prefix)
// of words with the first word's first tag, and the dictionary does not
// know the whole (it would have offered it).  可行 性 -> 可行性, 非
// 公有制 -> 非公有制.
//
// The merged item is rewritten in place like a secondary-lexicon word
// (type 86, the whole's tag id in posIndex for the tagger, kAttrSingleChar)
// and the path is walked again from the merged word, so a word joins one
// affix at most on each side (a suffix first).  Nothing is allocated; every
// position is checked against the sentence and the item store.
#ifndef LX_SEG_AFFIX_WORDS_H
#define LX_SEG_AFFIX_WORDS_H

#include <cstdint>

#include "seg/lattice.h"

class CBasicDict;
class CAffixTable;

void join_affix_words(CLattice& lattice, const char* text, uint32_t n, const CBasicDict& dict,
                      const CAffixTable& affixes);

#endif  // LX_SEG_AFFIX_WORDS_H
