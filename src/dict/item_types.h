// Type codes of words and lattice items.
//
// A dictionary word carries one in word_prop_t::m_NameEntity; a lattice item
// (tSegItemInfo::type) carries its word's code or one that the segmenter
// gives it (single characters, factoids, recognised names, secondary-lexicon
// words).  Codes not listed here are plain words.
#ifndef LX_DICT_ITEM_TYPES_H
#define LX_DICT_ITEM_TYPES_H

#include <cstdint>

constexpr int32_t kItemSingleChar = 55;      // one character that is no dictionary word
constexpr int32_t kItemFactoid = 58;         // number, date, letter string, or merged pieces
constexpr int32_t kItemPersonWord = 59;      // dictionary word that is a Chinese person name
constexpr int32_t kItemTransNameWord = 60;   // dictionary word that is a transliterated name
constexpr int32_t kItemPerson = 61;          // Chinese person name, or secondary-lexicon nr word
constexpr int32_t kItemTransPerson = 62;     // transliterated name, or odd secondary-lexicon nr
constexpr int32_t kItemLocationWord = 63;    // location word (a secondary-lexicon ns word)
constexpr int32_t kItemLocationWord2 = 64;   // location word (an odd secondary-lexicon ns word)
constexpr int32_t kItemLocation = 65;        // Chinese location name, recognised
constexpr int32_t kItemTransLocation = 66;   // transliterated location name, recognised
constexpr int32_t kItemSecondaryWord = 86;   // secondary-lexicon word, other POS (in posIndex)
constexpr int32_t kItemMulSeg = 87;          // word with two segmentations (8-value record)
constexpr int32_t kItemAmbRule = 88;         // word with two rule blocks, first reading
constexpr int32_t kItemAmbRuleTwin = -88;    // the same word's second reading (second rule block)
constexpr int32_t kItemRule = 89;            // word with one rule block
constexpr int32_t kItemCombination = 90;     // combination word: its parts are offered as well
constexpr int32_t kItemAmbPerson = 92;       // person name overlapping a location name
constexpr int32_t kItemAmbLocation = 93;     // location name overlapping a person name

#endif  // LX_DICT_ITEM_TYPES_H
