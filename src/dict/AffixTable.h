// One-character affixes that join a dictionary word into a longer word the
// dictionary lacks (可行 + 性, 非 + 公有制), read from "Affix.Lex".
//
// Each line of the file (GBK; '#' starts a comment line) is
//
//   KIND AFFIX WORD-TAG WHOLE-TAG [numbers...]
//
// KIND is "s" (the affix follows the word) or "p" (it precedes it), AFFIX
// one two-byte character, WORD-TAG the first tag of the word the affix
// joins (its dictionary POS list's first) and WHOLE-TAG the tag of the
// whole; the numbers after them (the trainer's evidence) are not read.  The
// trainer writes an entry when the training text writes words of that shape
// mostly whole (docs/training.md).  A missing file is an empty table, so
// resource sets without one segment as before.
#ifndef LX_DICT_AFFIXTABLE_H
#define LX_DICT_AFFIXTABLE_H

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class CAffixTable {
 public:
  enum Kind { kSuffix = 0, kPrefix = 1 };

  // Replaces the table by the file's entries.  A missing file gives an
  // empty table; a malformed line fails with a message naming the file and
  // the line on stderr, leaving the table empty.
  bool load(const char* path);

  // The tag id of the whole word made by the affix `ch` (two bytes) of the
  // given kind and a word whose first tag is `word_tag`; 0 when there is no
  // such entry.
  uint8_t whole_tag(Kind kind, const char* ch, uint8_t word_tag) const;

  // Whether some entry has the affix `ch` (two bytes) of the given kind: a
  // test that needs no tag, so that a caller can skip finding one.
  bool has_affix(Kind kind, const char* ch) const {
    if (static_cast<unsigned char>(ch[0]) < 0x81) return false;
    const uint32_t bit = affix_bit(kind, ch);
    return bit / 64 < m_affix_bits.size() && ((m_affix_bits[bit / 64] >> (bit % 64)) & 1) != 0;
  }

  size_t size() const { return m_entries.size(); }

 private:
  static uint32_t key(Kind kind, const char* ch, uint8_t word_tag);
  // Two bits per two-byte character (one per kind); the lead byte is at
  // least 0x81.
  static uint32_t affix_bit(Kind kind, const char* ch) {
    const uint32_t lead = static_cast<unsigned char>(ch[0]) - 0x81u;
    return (lead * 256u + static_cast<unsigned char>(ch[1])) * 2u + static_cast<uint32_t>(kind);
  }
  // (key, whole tag), sorted by key.
  std::vector<std::pair<uint32_t, uint8_t>> m_entries;
  std::vector<uint64_t> m_affix_bits;  // has_affix's bits of the entries
};

#endif  // LX_DICT_AFFIXTABLE_H
