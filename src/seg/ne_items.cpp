#include "seg/ne_items.h"

#include <cstdio>
#include <cstring>

#include "dict/BasicDict.h"
#include "seg/char_class.h"
#include "seg/lattice_producer.h"
#include "seg/role_tagger.h"

uint32_t CNeItems::_get_attribute_idx(const CBasicDict& dict, const char* word, size_t len) {
  // Length 0 would make the search read up to a NUL.
  if (word == nullptr || len == 0) return kAttrSingleChar;
  const int v = dict.mBasicDict.exactMatchSearch<int>(word, len);
  if (v < 0 || static_cast<uint32_t>(v) >= kAttrSingleChar - 1) return kAttrSingleChar;
  return static_cast<uint32_t>(v) + 1;
}

bool CNeItems::_is_copy_word(const char* pSent, int nLen, int pos, int length) {
  if (pSent == nullptr || length <= 1 || pos < 0 || nLen < 0 || pos > nLen ||
      length > nLen - pos) {
    return false;
  }
  const unsigned char* s = reinterpret_cast<const unsigned char*>(pSent) + pos;
  // The previous character: its bytes and its width (0 before the first).
  unsigned char prev0 = 0, prev1 = 0;
  int prev_width = 0;
  int repeats = 0;
  int i = 0;
  while (i < length) {
    const int width = (s[i] >= 0x80 && i + 1 < length) ? 2 : 1;
    const unsigned char c0 = s[i];
    const unsigned char c1 = width == 2 ? s[i + 1] : 0;
    bool same;
    if (width == 2) {
      same = prev_width == 2 && c0 == prev0 && c1 == prev1;
    } else {
      same = prev_width == 1 && c0 < 0x80 && prev0 < 0x80 && c0 == prev0;
    }
    repeats = same ? repeats + 1 : 0;
    if (repeats >= 2) return true;
    prev0 = c0;
    prev1 = c1;
    prev_width = width;
    i += width;
  }
  return false;
}

namespace {

// GBK: 村 乡 镇 县 市 省 州 街 湖 港 屯 寨 岛 湾 火山 铁路.
const char* const kPlaceHeads[] = {
    "\xB4\xE5", "\xCF\xE7", "\xD5\xF2", "\xCF\xD8", "\xCA\xD0", "\xCA\xA1", "\xD6\xDD", "\xBD\xD6",
    "\xBA\xFE", "\xB8\xDB", "\xCD\xCD", "\xD5\xAF", "\xB5\xBA", "\xCD\xE5", "\xBB\xF0\xC9\xBD",
    "\xCC\xFA\xC2\xB7"};
// GBK: 集团 大厦 厂 矿 基金会 俱乐部 酒店 宾馆 饭店 医院 研究所 公司 银行
// 商场 商店 农场 煤矿 工厂 小学 中学 学校 超市.
const char* const kOrganisationHeads[] = {
    "\xBC\xAF\xCD\xC5", "\xB4\xF3\xCF\xC3", "\xB3\xA7", "\xBF\xF3", "\xBB\xF9\xBD\xF0\xBB\xE1",
    "\xBE\xE3\xC0\xD6\xB2\xBF", "\xBE\xC6\xB5\xEA", "\xB1\xF6\xB9\xDD", "\xB7\xB9\xB5\xEA",
    "\xD2\xBD\xD4\xBA", "\xD1\xD0\xBE\xBF\xCB\xF9", "\xB9\xAB\xCB\xBE", "\xD2\xF8\xD0\xD0",
    "\xC9\xCC\xB3\xA1", "\xC9\xCC\xB5\xEA", "\xC5\xA9\xB3\xA1", "\xC3\xBA\xBF\xF3",
    "\xB9\xA4\xB3\xA7", "\xD0\xA1\xD1\xA7", "\xD6\xD0\xD1\xA7", "\xD1\xA7\xD0\xA3",
    "\xB3\xAC\xCA\xD0"};

template <size_t N>
bool is_one_of(const char* const (&list)[N], const char* w, size_t len) {
  if (w == nullptr) return false;
  for (const char* h : list)
    if (std::strlen(h) == len && std::memcmp(h, w, len) == 0) return true;
  return false;
}

}  // namespace

bool CNeItems::_is_place_head(const char* w, size_t len) {
  // No character that is also a common surname (江, 路, 庄 ...: a name
  // before another name is no place), nor a word that often follows a
  // person as a verb or noun of its own (站, 大学, 所).  In the training
  // text fewer than one in a hundred words before each of the organisation
  // heads is a person's name (公司: 7 of 1,047).
  return is_one_of(kPlaceHeads, w, len) || is_one_of(kOrganisationHeads, w, len);
}

bool CNeItems::_is_organisation_head(const char* w, size_t len) {
  return is_one_of(kOrganisationHeads, w, len);
}

bool CNeItems::_is_numeral(const char* w, size_t len) {
  if (w == nullptr || len == 0) return false;
  for (size_t i = 0; i < len;) {
    const unsigned char c = static_cast<unsigned char>(w[i]);
    if (c >= '0' && c <= '9') {
      ++i;
      continue;
    }
    if (c < 0x80 || i + 1 >= len || !is_numeral(w + i, kPlaceNumerals)) return false;
    i += 2;
  }
  return true;
}

int CNeItems::_head_at(const char* text, size_t n, const CLattice& lattice, size_t p) {
  if (text == nullptr || p >= n) return kNoHead;
  size_t len = lattice.m_nodes[p].nNextLen;
  if (len == 0 || len > n - p) return kNoHead;
  if (_is_numeral(text + p, len)) {
    p += len;
    if (p >= n) return kNoHead;
    len = lattice.m_nodes[p].nNextLen;
    if (len == 0 || len > n - p) return kNoHead;
  }
  if (_is_organisation_head(text + p, len)) return kOrganisationHead;
  return _is_place_head(text + p, len) ? kPlaceHead : kNoHead;
}

tSegItemInfo* CNeItems::_add_ne_item(CLattice& lattice, const char* text, uint32_t n,
                                     const CBasicDict& dict, const NeContextType& ctx,
                                     int ne_type, int& ne_count) {
  if (text == nullptr || (ne_type != PN && ne_type != LN)) return nullptr;
  if (n >= CLattice::kMaxNodes || ctx.len == 0 || ctx.begin_pos >= n ||
      ctx.len > n - ctx.begin_pos) {
    return nullptr;
  }
  const uint32_t begin = static_cast<uint32_t>(ctx.begin_pos);
  const uint32_t len = static_cast<uint32_t>(ctx.len);
  const uint32_t end = begin + len;

  tSegItemInfo item{};
  item.begin_pos = begin;
  item.length = len;
  item.type = ctx.type;
  item.nAttributeIdx = ne_type == PN ? kAttrPerson : kAttrLocation;
  // A person name is saved with posIndex + 1 whether or not POS tagging ran
  // (the tagger sets the same value), so it must hold "nr" from the start.
  if (ne_type == PN) item.posIndex = kPersonPosIndex;
  item.weight = CRoleTagger::_compute_ne_weight(dict, ctx.word_roles, ctx.role_count, ne_type);
  const uint32_t attr = _get_attribute_idx(dict, text + begin, len);
  item.bcomb = CRoleTagger::_is_comb(dict, static_cast<int>(attr - 1));

  tSegItemInfo* added = lattice.add_item(end, item, len + kReserveExtra);
  if (added == nullptr) {
    std::fputs(kLatticeNodeFullMessage, stderr);
    return nullptr;
  }
  ++lattice.m_nodes[end].ItemsNumNER;
  for (uint32_t p = begin + 1; p <= end; ++p) lattice.m_nodes[p].bnAmb = true;
  ++ne_count;
  return added;
}
