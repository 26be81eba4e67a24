#include "seg/lattice_producer.h"

#include <cstdio>

#include "dict/BasicDict.h"
#include "seg/Factoid.h"
#include "seg/char_class.h"

// 词条可存储空间已满
const char kLatticeNodeFullMessage[] =
    "\xB4\xCA\xCC\xF5\xBF\xC9\xB4\xE6\xB4\xA2\xBF\xD5\xBC\xE4\xD2\xD1\xC2\xFA\n";

namespace {

// Word values in the double array: the word index, top bit cleared.
inline int32_t word_value(int32_t v) {
  return static_cast<int32_t>(static_cast<uint32_t>(v) & 0x7FFFFFFFu);
}

uint32_t factoid_attr(int32_t fctype) {
  if (fctype == CFactoid::kAlnum || fctype == CFactoid::kUrl) return kAttrAlnum;
  if (fctype == CFactoid::kNumber) return kAttrNumber;
  return kAttrSingleChar;
}

}  // namespace

CLatticeProducer::CLatticeProducer()
    : m_plattice(nullptr),
      m_pworddict(nullptr),
      m_pfactdict(nullptr),
      m_sentlen(0),
      m_sentence(nullptr),
      m_words(),
      m_fclen(0),
      m_fctype(0),
      m_bovp(false),
      m_bcomb(false),
      m_fc_wd_ovp_pos(0),
      m_wmax_len(0),
      m_bnum(false),
      m_brule_fenzhi(false),
      m_fenzhi_idx(0),
      m_wmax_idx(-1),
      m_ovp_word_idx(-1),
      m_ovp_word_len(0),
      m_words_used(0),
      m_groups(0) {}

void CLatticeProducer::set_resource(CLattice* lattice, const CBasicDict* dict,
                                    const CFactoid* factoid) {
  m_plattice = lattice;
  m_pworddict = dict;
  m_pfactdict = factoid;
  m_fenzhi_idx = 0;
  if (dict != nullptr) {
    const int32_t v =
        dict->mBasicDict.exactMatchSearch<int32_t>(kChsFenZhi, sizeof(kChsFenZhi) - 1);
    if (v >= 0) m_fenzhi_idx = static_cast<uint32_t>(word_value(v)) + 1;
  }
}

uint32_t CLatticeProducer::_char_len(uint32_t p) const {
  return (static_cast<unsigned char>(m_sentence[p]) >= 0x81 && p + 1 < m_sentlen) ? 2 : 1;
}

bool CLatticeProducer::_alnum_before(uint32_t from, uint32_t end) const {
  if (end == 0 || from >= end) return false;
  uint32_t q = from;
  for (uint32_t p = from; p < end; p += _char_len(p)) q = p;
  const unsigned char c = static_cast<unsigned char>(m_sentence[q]);
  if (end - q == 1) return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
  const unsigned char d = static_cast<unsigned char>(m_sentence[q + 1]);
  return end - q == 2 && c == 0xA3 &&
         ((d >= 0xB0 && d <= 0xB9) || (d >= 0xC1 && d <= 0xDA) || (d >= 0xE1 && d <= 0xFA));
}

uint32_t CLatticeProducer::_word_len(int32_t idx, uint32_t pos) const {
  const word_prop_t* info = m_pworddict->word_info(static_cast<uint32_t>(idx));
  const uint32_t len = info != nullptr ? info->m_WordLength : 0;
  // The dictionary's loader ties every key to a word of the key's length;
  // the check keeps items inside the sentence whatever the dictionary holds.
  if (len == 0 || len > m_sentlen - pos) {
    std::fprintf(stderr, "invalid word index: %d\n", idx);
    return 0;
  }
  return len;
}

uint32_t CLatticeProducer::_lookup(uint32_t pos, int32_t* out, uint32_t room, int32_t& longest,
                                   uint32_t& longest_len) const {
  const Darts::DoubleArray& da = m_pworddict->mBasicDict;
  const char* key = m_sentence + pos;
  const size_t rest = m_sentlen - pos;  // > 0: a length of 0 would mean "up to a NUL"
  const uint32_t count = static_cast<uint32_t>(m_pworddict->prefix_search(key, out, room, rest));
  longest = -1;
  longest_len = 0;
  if (count == 0) return 0;
  int32_t last;
  if (count <= room) {
    last = out[count - 1];
  } else {
    last = da.commonLongestPrefixSearch<int32_t>(key, rest);
  }
  if (last < 0) return count;
  last = word_value(last);
  const uint32_t len = _word_len(last, pos);
  if (len != 0) {
    longest = last;
    longest_len = len;
  }
  return count;
}

void CLatticeProducer::_append_group(uint32_t pos, int32_t& longest, uint32_t& longest_len) {
  if (m_words_used < WORD_BUF) {
    const uint32_t room = WORD_BUF - m_words_used - 1;
    int32_t* group = m_words + m_words_used;
    const uint32_t count = _lookup(pos, group + 1, room, longest, longest_len);
    group[0] = static_cast<int32_t>(count);
    m_words_used += 1 + (count < room ? count : room);
    ++m_groups;
  } else {
    // No room even for the count: the position will be expanded as one
    // without words, but its longest word still counts for the overlap.
    _lookup(pos, nullptr, 0, longest, longest_len);
  }
}

bool CLatticeProducer::_add_item(uint32_t begin, uint32_t length, int32_t type, uint32_t attr,
                                 uint32_t fclen) {
  tSegItemInfo item;
  item.begin_pos = begin;
  item.length = length;
  item.type = type;
  item.posIndex = (length == fclen && m_fctype > 0) ? static_cast<uint8_t>(m_fctype - 1) : 0;
  item.perIdx = 50;
  item.perIdxLN = 0;
  item.bcomb = (type == kItemCombination);
  item.weight = 0;
  item.nPreIndex = 0;
  item.nAttributeIdx = attr;

  const uint32_t end = begin + length;
  if (m_plattice->add_item(end, item, length + 2) == nullptr) {
    std::fputs(kLatticeNodeFullMessage, stderr);
    return false;
  }
  if (m_plattice->m_prev_end_idx < end) m_plattice->m_prev_end_idx = end;
  if (type == kItemAmbRule || type == kItemRule) m_plattice->m_nodes[end].bRule = true;
  return true;
}

void CLatticeProducer::_add_word(int32_t idx, uint32_t begin, uint32_t length, uint32_t fclen) {
  const int32_t type = m_pworddict->word_info(static_cast<uint32_t>(idx))->m_NameEntity;
  const uint32_t attr = static_cast<uint32_t>(idx) + 1;
  _add_item(begin, length, type, attr, fclen);
  // The second reading of a word with two rule blocks.
  if (type == kItemAmbRule) _add_item(begin, length, kItemAmbRuleTwin, attr, fclen);
}

void CLatticeProducer::_add_char(uint32_t begin, uint32_t fclen) {
  _add_item(begin, _char_len(begin), kItemSingleChar, kAttrSingleChar, fclen);
}

void CLatticeProducer::_add_factoid(uint32_t begin, uint32_t length, uint32_t fclen) {
  _add_item(begin, length, kItemFactoid, factoid_attr(m_fctype), fclen);
}

bool CLatticeProducer::build_lattice(const char* sentence, uint32_t len) {
  if (m_plattice == nullptr) return false;
  m_bnum = false;
  if (m_pworddict == nullptr || m_pfactdict == nullptr || len >= CLattice::kMaxNodes ||
      (sentence == nullptr && len != 0)) {
    m_sentence = sentence;
    m_sentlen = 0;
    m_plattice->clear(0);
    m_plattice->m_prev_end_idx = 0;
    return false;
  }
  m_sentence = sentence;
  m_sentlen = len;
  m_pworddict->prefetch_walks(sentence, len, m_prefetch_pos, m_prefetch_base, kPrefetchDepth);
  m_plattice->clear(len);
  m_plattice->m_prev_end_idx = 0;

  uint32_t i = 0, step_start = 0;
  while (i < len) {
    // Look-up: the factoid and the dictionary words starting at i.  A minus
    // sign after a letter or a digit is a hyphen, not the sign of a number.
    int fctype = 0;
    uint32_t fclen = 0;
    const unsigned char c = static_cast<unsigned char>(m_sentence[i]);
    const bool after_alnum = (c == '-' || c == 0xA3) && _alnum_before(step_start, i);
    step_start = i;
    m_pfactdict->recognize_factoid_word(m_sentence + i, len - i, fctype, fclen, after_alnum);
    m_fctype = fctype;
    m_fclen = fclen;

    m_words_used = 0;
    m_groups = 0;
    uint32_t wmax_len = 0;
    _append_group(i, m_wmax_idx, wmax_len);
    m_wmax_len = wmax_len;
    if (m_wmax_idx >= 0) {
      const word_prop_t* info = m_pworddict->word_info(static_cast<uint32_t>(m_wmax_idx));
      m_bcomb = (info->m_NameEntity == kItemCombination);
      m_brule_fenzhi = (info->m_pos_sidx == Prop_None) ||
                       (static_cast<uint32_t>(m_wmax_idx) + 1 == m_fenzhi_idx);
    } else {
      m_bcomb = false;
      m_brule_fenzhi = false;
    }
    m_bovp = false;
    m_fc_wd_ovp_pos = 0;
    m_ovp_word_idx = -1;
    m_ovp_word_len = 0;

    // Overlap check.
    if (m_fclen > m_wmax_len) {
      // a. Does a dictionary word run across the factoid's end?  URLs are
      // never cut, nor factoids of fewer than 3 bytes.
      if (m_fctype != CFactoid::kUrl && m_fclen >= 3) {
        const uint32_t e = i + m_fclen;
        uint32_t j = i;
        while (j < e - 2) j += _char_len(j);
        for (; j < e; j += _char_len(j)) {
          int32_t idx;
          uint32_t wlen;
          _lookup(j, nullptr, 0, idx, wlen);
          if (idx >= 0 && j + wlen > e) {
            m_bovp = true;
            m_fc_wd_ovp_pos = j;
            m_ovp_word_idx = idx;
            m_ovp_word_len = wlen;
            break;
          }
        }
      }
    } else {
      // b. Does a word inside the longest word's span run beyond it, or does
      // an earlier item end inside it?  The groups are kept for the expansion.
      const uint32_t e = i + m_wmax_len;
      for (uint32_t j = i + _char_len(i); j < e; j += _char_len(j)) {
        int32_t idx;
        uint32_t wlen;
        _append_group(j, idx, wlen);
        if ((idx >= 0 && j + wlen > e) || m_plattice->m_nodes[j].bBegin) m_bovp = true;
      }
    }

    if (m_fclen > m_wmax_len) {
      i = _factoid_step(i);
    } else {
      // The dictionary word wins, or there is nothing but a character: the
      // simple path or the expansion.
      const bool after_number = m_bnum;
      if ((!m_bovp && !m_bcomb && !after_number) || (after_number && m_brule_fenzhi)) {
        i = _simple_step(i);
      } else {
        i = _expand_step(i);
      }
    }
    // Whether the next step follows a number.
    m_bnum = (m_fctype == CFactoid::kNumber);
  }
  return true;
}

uint32_t CLatticeProducer::_factoid_step(uint32_t i) {
  if (!m_bovp) {
    // a. The factoid alone.
    if (i >= m_plattice->m_prev_end_idx) m_plattice->m_nodes[i + m_fclen].bnAmb = true;
    _add_factoid(i, m_fclen, m_fclen);
    return i + m_fclen;
  }
  // b. The word at j overlaps the factoid's end: offer the factoid cut at j
  // and the word; neither counts as the factoid for posIndex.
  const uint32_t j = m_fc_wd_ovp_pos;
  const uint32_t L = m_ovp_word_len;
  _add_factoid(i, j - i, 0);
  _add_word(m_ovp_word_idx, j, L, 0);
  const unsigned char c = static_cast<unsigned char>(m_sentence[j]);
  if (c == 't' || c == 'q' || (j == i + m_fclen - 2 && (c == '8' || c == '9' || c == '3'))) {
    return j + L;
  }
  _add_factoid(i, m_fclen, m_fclen);
  return i + m_fclen;
}

uint32_t CLatticeProducer::_expand_step(uint32_t i) {
  const uint32_t L = m_wmax_idx >= 0 ? m_wmax_len : _char_len(i);
  const uint32_t end = i + L;
  uint32_t off = 0;  // the group of the current position in m_words
  uint32_t group = 0;
  for (uint32_t p = i; p < end; p += _char_len(p), ++group) {
    const uint32_t fclen = (p == i) ? m_fclen : 0;
    // The groups were stored in the same order, one per character position;
    // a position whose group is missing or cut short gets its character.
    bool added = false;
    if (group < m_groups && off < WORD_BUF) {
      const uint32_t count = static_cast<uint32_t>(m_words[off]);
      const uint32_t room = WORD_BUF - off - 1;
      const uint32_t stored = count < room ? count : room;
      if (stored == count) {
        for (uint32_t k = 1; k <= count; ++k) {
          const int32_t idx = word_value(m_words[off + k]);
          const uint32_t wlen = _word_len(idx, p);
          if (wlen != 0) {
            _add_word(idx, p, wlen, fclen);
            added = true;
          }
        }
      }
      off += 1 + stored;
    }
    if (!added) _add_char(p, fclen);
  }
  return end;
}

uint32_t CLatticeProducer::_simple_step(uint32_t i) {
  const uint32_t L = m_wmax_idx >= 0 ? m_wmax_len : _char_len(i);
  if (i >= m_plattice->m_prev_end_idx) m_plattice->m_nodes[i + L].bnAmb = true;
  if (m_wmax_idx >= 0) {
    _add_word(m_wmax_idx, i, L, m_fclen);
  } else {
    _add_char(i, m_fclen);
  }
  return i + L;
}
