// Coarse granularity: the rules, the "coarse_info" loader and the pass of the
// token saver that joins the tokens of a sentence.
#include "seg/coarse_merge.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "LXPub.h"
#include "dict/Dir.h"
#include "seg/char_class.h"
#include "seg/segtokens_saver.h"

// --- Organisation data -----------------------------------------------------------

bool CCoarseData::_add(HashDict& dict, const char* text) {
  const size_t len = text != nullptr ? std::strlen(text) : 0;
  if (len == 0 || len > kMaxOrgLen) return false;
  bool found = false;
  *dict.insert(text, found) = 1;
  if (!found && &dict == &m_org) ++m_org_num;
  return true;
}

namespace {

// The reason an entry line is refused, or null.
const char* bad_entry(const char* s, size_t len) {
  if (len > CCoarseData::kMaxOrgLen) return "entry too long";
  for (size_t i = 0; i < len; ++i) {
    const unsigned char c = (unsigned char)s[i];
    if (c <= ' ' || c == 0x7F || c == 0xFF) return "blank or control byte";
    if (c >= 0x81) {
      const unsigned char t = i + 1 < len ? (unsigned char)s[i + 1] : 0;
      if (t < 0x40 || t == 0x7F || t == 0xFF) return "not GBK text";
      ++i;
    }
  }
  return nullptr;
}

// A name separator, as the token saver cuts names at them.
bool is_name_separator(const coarse_token_t& t) { return is_name_separator_char(t.text, t.len); }

}  // namespace

bool CCoarseData::load(const char* path, bool orgs) {
  if (path != nullptr && access(path, F_OK) != 0 && errno == ENOENT) return true;
  FileHolder fp(open_regular_file(path));
  if (fp == nullptr) return false;
  enum { NONE, ORG, SUFFIX, MEASURE } section = NONE;
  char line[256];
  PieceReader in(fp.get());
  while (in.read(line, sizeof line) != nullptr) {
    size_t len = std::strlen(line);
    const bool whole = len > 0 && line[len - 1] == '\n';
    if (!whole && !in.last) {
      report_file_problem(path, "line %u: line too long", in.line);
      return false;
    }
    while (len > 0 && (line[len - 1] == '\n' || line[len - 1] == '\r')) line[--len] = '\0';
    if (len == 0) continue;
    if (std::strcmp(line, "#org") == 0) {
      section = ORG;
    } else if (std::strcmp(line, "#org_suffix") == 0) {
      section = SUFFIX;
    } else if (std::strcmp(line, "#measure") == 0) {
      section = MEASURE;
    } else if (section == NONE) {
      report_file_problem(path, "line %u: entry before a section header", in.line);
      return false;
    } else if (const char* why = bad_entry(line, len)) {
      report_file_problem(path, "line %u: %s", in.line,
                          in.last && ends_inside_character(line, len) ? "cut short" : why);
      return false;
    } else {
      if (section != ORG || orgs)
        _add(section == ORG ? m_org : section == SUFFIX ? m_suffix : m_measure, line);
    }
  }
  if (std::ferror(fp.get())) {
    report_file_problem(path, "%s", std::strerror(errno));
    return false;
  }
  return true;
}

// --- The rules -----------------------------------------------------------------------

size_t coarse_group(const coarse_token_t* toks, size_t n, size_t i, const CCoarseData* data,
                    int& tag) {
  tag = i < n ? toks[i].pos : 0;
  if (i + 1 >= n || toks[i].len == 0) return 1;
  const coarse_token_t& a = toks[i];
  const coarse_token_t& b = toks[i + 1];

  if (data != nullptr && data->org_count() > 0) {
    char buf[CCoarseData::kMaxOrgLen + 1];
    size_t len = a.len <= CCoarseData::kMaxOrgLen ? a.len : 0, best = 0;
    if (len > 0) std::memcpy(buf, a.text, len);
    for (size_t j = i + 1; len > 0 && j < n && j - i < CCoarseData::kMaxOrgParts; ++j) {
      if (toks[j].len == 0 || toks[j].len > CCoarseData::kMaxOrgLen - len) break;
      std::memcpy(buf + len, toks[j].text, toks[j].len);
      len += toks[j].len;
      buf[len] = '\0';
      if (data->is_org(buf)) best = j;
    }
    if (best > 0) {
      tag = LX_NT;
      return best - i + 1;
    }
  }

  const bool surname = a.pos == LX_NRF || (a.pos == LX_NR && a.len == 2);
  const bool given = (b.pos == LX_NRG || b.pos == LX_NR) && (b.len == 2 || b.len == 4);
  if (surname && given) {
    tag = LX_NR;
    return 2;
  }
  // The parts of a transliterated name joined by separators.
  if (a.pos == LX_NR || a.pos == LX_NRF) {
    size_t j = i + 1;
    while (j + 1 < n && is_name_separator(toks[j]) && toks[j + 1].len > 0 &&
           (toks[j + 1].pos == LX_NR || toks[j + 1].pos == LX_NRG))
      j += 2;
    if (j > i + 1) {
      tag = LX_NR;
      return j - i;
    }
  }

  if (a.pos == LX_T) {
    size_t j = i + 1;
    while (j < n && toks[j].len > 0 && toks[j].pos == LX_T) ++j;
    if (j - i >= 2) return j - i;
  }

  if (a.pos == LX_M && b.len > 0 && b.pos != LX_M) {
    bool measure = b.pos == LX_Q;
    if (!measure && data != nullptr && b.len <= CCoarseData::kMaxOrgLen) {
      char buf[CCoarseData::kMaxOrgLen + 1];
      std::memcpy(buf, b.text, b.len);
      buf[b.len] = '\0';
      measure = data->is_measure(buf);
    }
    if (measure) {
      tag = LX_M;
      return 2;
    }
  }

  if (data != nullptr && (a.pos == LX_NS || a.pos == LX_NT)) {
    // The longest run that ends with a suffix word.
    size_t best = 0;
    char buf[CCoarseData::kMaxOrgLen + 1];
    for (size_t j = i + 1; j < n && j - i < CCoarseData::kMaxOrgParts && toks[j].len > 0; ++j) {
      const int p = toks[j].pos;
      if (p != LX_N && p != LX_VN && p != LX_NZ && p != LX_J && p != LX_NS && p != LX_NT) break;
      if (toks[j].len > CCoarseData::kMaxOrgLen) break;
      std::memcpy(buf, toks[j].text, toks[j].len);
      buf[toks[j].len] = '\0';
      if (data->is_suffix(buf)) best = j;
    }
    if (best > 0) {
      tag = LX_NT;
      return best - i + 1;
    }
  }
  return 1;
}

// --- The saver's pass --------------------------------------------------------------

void CSegTokensSaver::_coarse_merge(size_t first, size_t thick_first) {
  const size_t end = m_seg_token_num;
  if (end <= first + 1) return;
  const size_t n = end - first;
  // Tokens with a UTF-8 form of their own, or output in two segmentations,
  // join nothing.
  size_t u = m_utf8_word_num;
  while (u > 0 && m_utf8_words[(long)(u - 1)].token >= first) --u;
  const size_t utf8_first = u;
  for (size_t k = 0; k < n; ++k) {
    const _token_t& t = m_seg_tokens[(long)(first + k)];
    coarse_token_t& c = m_coarse_view[(long)k];
    c.text = t.word;
    c.len = t.wtype == 0 ? t.wlen : 0;
    c.pos = t.pos;
  }
  for (size_t x = utf8_first; x < m_utf8_word_num; ++x)
    m_coarse_view[(long)(m_utf8_words[(long)x].token - first)].len = 0;

  size_t out = first;
  for (size_t i = 0; i < n;) {
    int tag = 0;
    size_t g = coarse_group(m_coarse_view.data(), n, i, m_pcoarse, tag);
    size_t total = 0;
    for (size_t k = 0; g > 1 && k < g; ++k) {
      const span_t& s = m_spans[(long)(first + i + k)];
      if (k + 1 < g && s.begin + s.len != m_spans[(long)(first + i + k + 1)].begin) g = 1;
      total += m_coarse_view[(long)(i + k)].len;
    }
    if (g > 1 && total >= WORDBUF_SIZE) g = 1;
    if (g == 1) {
      m_coarse_map[(long)i] = out;
      if (out != first + i) {
        m_seg_tokens[(long)out] = m_seg_tokens[(long)(first + i)];
        m_spans[(long)out] = m_spans[(long)(first + i)];
      }
      ++out;
      ++i;
      continue;
    }
    size_t len = 0;
    bool same = true;
    for (size_t k = 0; k < g; ++k) {
      const coarse_token_t& c = m_coarse_view[(long)(i + k)];
      std::memcpy(m_wordbuf + len, c.text, c.len);
      len += c.len;
      same = same && m_spans[(long)(first + i + k)].same;
      m_coarse_map[(long)(i + k)] = out;
    }
    const span_t& s0 = m_spans[(long)(first + i)];
    const span_t& s1 = m_spans[(long)(first + i + g - 1)];
    span_t merged;
    merged.begin = s0.begin;
    merged.len = s1.begin + s1.len - s0.begin;
    merged.same = same ? 1 : 0;
    _token_t& t = m_seg_tokens[(long)out];
    t.word = _store(m_wordbuf, len);
    t.wlen = len;
    t.pos = (unsigned char)(m_bsecpos ? map_pos((unsigned)tag) : (unsigned)tag);
    t.wtype = 0;
    m_spans[(long)out] = merged;
    ++out;
    i += g;
  }
  if (out == end) return;
  m_seg_token_num = out;

  for (size_t x = utf8_first; x < m_utf8_word_num; ++x)
    m_utf8_words[(long)x].token = m_coarse_map[(long)(m_utf8_words[(long)x].token - first)];
  // Thick tokens of this sentence follow the tokens they span; one that now
  // spans a single token is no longer a split.
  size_t th = thick_first;
  for (size_t x = thick_first; x < m_thick_num; ++x) {
    _comb_token_t t = m_thick_tokens[(long)x];
    if (t.sidx < first || t.eidx >= end) {
      m_thick_tokens[(long)th++] = t;
      continue;
    }
    t.sidx = m_coarse_map[(long)(t.sidx - first)];
    t.eidx = m_coarse_map[(long)(t.eidx - first)];
    if (t.sidx != t.eidx) m_thick_tokens[(long)th++] = t;
  }
  m_thick_num = th;
  // Each path word now counts the tokens that begin in it.
  m_coarse_joined = true;
  size_t k = 0;
  for (uint32_t w = 0; w < m_word_num; ++w) {
    const size_t c = m_word_sect_num[(long)w];
    size_t now = 0;
    uint8_t cut = 0;
    if (c > 0 && k > 0 && k < n && m_coarse_map[(long)k] == m_coarse_map[(long)(k - 1)]) cut |= 1;
    for (size_t e = k + c; k < e && k < n; ++k)
      if (k == 0 || m_coarse_map[(long)k] != m_coarse_map[(long)(k - 1)]) ++now;
    if (c > 0 && k < n && m_coarse_map[(long)k] == m_coarse_map[(long)(k - 1)]) cut |= 2;
    m_word_sect_num[(long)w] = now;
    m_coarse_cut[(long)w] = cut;
  }
}

void CSegTokensSaver::_coarse_untag(size_t first, size_t thick_first) {
  for (size_t k = first; k < m_seg_token_num; ++k) {
    _token_t& t = m_seg_tokens[(long)k];
    if (t.pos != LX_NR) t.pos = 0;
  }
  for (size_t x = thick_first; x < m_thick_num; ++x)
    if (m_thick_tokens[(long)x].pos != LX_NR) m_thick_tokens[(long)x].pos = 0;
}
