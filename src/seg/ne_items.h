// Entity items: how an accepted named-entity candidate (seg/ne_context.h)
// becomes one extra item of the lattice, and the small text checks that the
// person and location recognizers share.
//
// An entity item spans the candidate's bytes and is appended to the node at
// its end, after the items the producer put there; ItemsNumNER counts these
// appended items, so the last ItemsNumNER items of a node are always entity
// items (the class-based best path relies on this).  Its fields:
//   begin_pos, length  the candidate's span;
//   type               the candidate's type (61, 62: person; 65, 66: location);
//   nAttributeIdx      kAttrPerson (10000006) or kAttrLocation (10000007), so
//                      that the person-name word model sees the class tokens
//                      10000005 and 10000006;
//   weight             the entity weight of the candidate's roles
//                      (CRoleTagger::_compute_ne_weight);
//   bcomb              whether the span is a dictionary word with the
//                      combination bit;
//   posIndex           kPersonPosIndex ("nr" - 1) for a person name, 0 for a
//                      location: the token saver outputs a Chinese person
//                      name with posIndex + 1 even without POS tagging, so a
//                      0 there would tag it "a" (a location's tag comes
//                      from its type);
//   everything else    0 (perIdx, perIdxLN, nPreIndex).
// The positions begin_pos + 1 .. begin_pos + len get bnAmb, which tells the
// class-based search that the region around the entity must be decided anew.
#ifndef LX_SEG_NE_ITEMS_H
#define LX_SEG_NE_ITEMS_H

#include <cstddef>
#include <cstdint>

#include "seg/lattice.h"
#include "seg/ne_context.h"

class CBasicDict;

class CNeItems {
 public:
  // Entity kinds (the ne_type of the role tables).
  enum { PN = 1, LN = 2 };

  // Capacity reserved for a node without a range: the entity plus two more.
  static constexpr uint32_t kReserveExtra = 2;

  // posIndex of a person-name item: POS id 17 "nr" minus one.
  static constexpr uint8_t kPersonPosIndex = 16;

  // 1 + the index of the dictionary word whose text is exactly the len bytes
  // at `word`, or kAttrSingleChar (10000001) if there is none (also for an
  // empty or null span, or a value the dictionary does not hold).
  static uint32_t _get_attribute_idx(const CBasicDict& dict, const char* word, size_t len);

  // True if the `length` bytes at pSent + pos contain one character three
  // times in a row.  False unless length > 1, pos >= 0 and pos + length <=
  // nLen.  Characters: a byte of 0x80 or above starts a two-byte character
  // (a lead byte that is the last byte of the span counts alone, so nothing
  // past the span is read); a two-byte character repeats the previous
  // two-byte character, an ASCII byte the previous ASCII byte.
  static bool _is_copy_word(const char* pSent, int nLen, int pos, int length);
  // Whether the len bytes at w are a word that heads a place or an
  // organisation named after what stands before it (村, 市, 集团, 大厦, 医院,
  // ...): a name before such a word is the place's or organisation's name,
  // not a person's.
  static bool _is_place_head(const char* w, size_t len);
  // Whether the len bytes at w are a number written with ASCII digits or
  // the characters 一 .. 十 (a numbered works: X桥 一 矿).
  static bool _is_numeral(const char* w, size_t len);
  // The organisation heads among them (集团, 公司, 医院, 厂 ...).
  static bool _is_organisation_head(const char* w, size_t len);
  // What the path word that begins at p of the sentence `text` (n bytes;
  // word lengths in the nodes' nNextLen) heads, alone or behind a numeral
  // (X桥 一 矿): a name before it names the place or the organisation.
  enum { kNoHead = 0, kPlaceHead = 1, kOrganisationHead = 2 };
  static int _head_at(const char* text, size_t n, const CLattice& lattice, size_t p);

  // Appends the entity item of `ctx` (span begin_pos, len; type) to the node
  // at begin_pos + len of `lattice`, for a sentence `text` of n bytes
  // (n < CLattice::kMaxNodes), with the weight of ctx.word_roles under
  // ne_type (PN or LN).  A node without a range first gets one of len +
  // kReserveExtra items.  When the node is full (its range, or 255 items),
  // "词条可存储空间已满\n" (GBK) goes to standard error and nothing changes.
  // On success the node's ItemsNum and ItemsNumNER grow by one, it gets
  // bBegin, positions begin_pos + 1 .. begin_pos + len get bnAmb, ne_count
  // grows by one, and the new item is returned.
  //
  // A candidate that does not fit the sentence (len 0, span past n), an
  // ne_type other than PN and LN, or a null text is refused silently (null
  // returned, nothing changed): recognizers never produce one.
  //
  // Reserving a range may move the item store: item pointers held in ctx (or
  // anywhere else, except the nodes' MaxItem) are stale afterwards.
  static tSegItemInfo* _add_ne_item(CLattice& lattice, const char* text, uint32_t n,
                                    const CBasicDict& dict, const NeContextType& ctx,
                                    int ne_type, int& ne_count);
};

#endif  // LX_SEG_NE_ITEMS_H
