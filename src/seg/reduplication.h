// Reduplicated words: after the path is final and before POS tagging, the
// shapes that a new text doubles from a known character or word are joined
// into one word when the path cut them:
//
//   一 A A   一 声 声 -> 一声声, when A is a measure word (first tag q): m
//   A AB B   蹒 蹒跚 跚 -> 蹒蹒跚跚, AB a dictionary word: z
//   A A      学 学 -> 学学, two one-character items of the same Chinese
//            character that is no numeral, not in a run of three or more
//            (克林林林顿): the character's first tag (an
//            adjective becomes z, a bound morpheme its word class: 学 Vg,
//            学学 v; a character outside the dictionary o)
//   AA BB    时时 处处 -> 时时处处, A and B different, not two nouns (爸爸
//            妈妈) nor a verb second (好好 想想): the first word's tag
//
// The text writes these shapes whole almost always: the training text has 8
// pairs of equal one-character words against thousands of doubled words.
// The shapes A一A and A不A stay apart, as the text writes them.
//
// The merged item is rewritten in place like a secondary-lexicon word (type
// 86, its tag id in posIndex for the tagger, kAttrSingleChar), as the affix
// pass does (seg/affix_words.h).  Nothing is allocated; every position is
// checked against the sentence and the item store.
#ifndef LX_SEG_REDUPLICATION_H
#define LX_SEG_REDUPLICATION_H

#include <cstdint>

#include "seg/lattice.h"

class CBasicDict;

void join_reduplications(CLattice& lattice, const char* text, uint32_t n, const CBasicDict& dict);

#endif  // LX_SEG_REDUPLICATION_H
