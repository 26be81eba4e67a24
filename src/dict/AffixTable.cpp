#include "dict/AffixTable.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/PosTag.h"

uint32_t CAffixTable::key(Kind kind, const char* ch, uint8_t word_tag) {
  return (static_cast<uint32_t>(kind) << 24) |
         (static_cast<uint32_t>(static_cast<unsigned char>(ch[0])) << 16) |
         (static_cast<uint32_t>(static_cast<unsigned char>(ch[1])) << 8) | word_tag;
}

bool CAffixTable::load(const char* path) {
  m_entries.clear();
  m_affix_bits.clear();
  if (path == nullptr) return true;
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) {
    if (errno == ENOENT) return true;
    std::fprintf(stderr, "%s: cannot open: %s\n", path, std::strerror(errno));
    return false;
  }
  char line[256];
  int lineno = 0;
  bool ok = true;
  while (ok && std::fgets(line, sizeof line, f) != nullptr) {
    ++lineno;
    if (line[0] == '#' || line[0] == '\n' || line[0] == '\r' || line[0] == '\0') continue;
    char kind[4], affix[8], word_tag[16], whole_tag[16];
    const int n = std::sscanf(line, "%3s %7s %15s %15s", kind, affix, word_tag, whole_tag);
    const int wt = n == 4 ? pos_tag_id(word_tag) : 0;
    const int ht = n == 4 ? pos_tag_id(whole_tag) : 0;
    const bool good = n == 4 && (std::strcmp(kind, "s") == 0 || std::strcmp(kind, "p") == 0) &&
                      std::strlen(affix) == 2 && static_cast<unsigned char>(affix[0]) >= 0x81 &&
                      wt > 0 && wt < 256 && ht > 0 && ht < 256;
    if (!good) {
      std::fprintf(stderr, "%s: line %d: expected \"s|p AFFIX WORD-TAG WHOLE-TAG\"\n", path,
                   lineno);
      ok = false;
      break;
    }
    m_entries.emplace_back(key(kind[0] == 's' ? kSuffix : kPrefix, affix, static_cast<uint8_t>(wt)),
                           static_cast<uint8_t>(ht));
  }
  std::fclose(f);
  if (!ok) {
    m_entries.clear();
    return false;
  }
  std::sort(m_entries.begin(), m_entries.end());
  m_affix_bits.assign((0xFFu - 0x81u + 1u) * 256u * 2u / 64u, 0);
  for (const auto& e : m_entries) {
    const char ch[2] = {static_cast<char>(e.first >> 16), static_cast<char>(e.first >> 8)};
    const uint32_t bit = affix_bit(static_cast<Kind>(e.first >> 24), ch);
    m_affix_bits[bit / 64] |= uint64_t{1} << (bit % 64);
  }
  return true;
}

uint8_t CAffixTable::whole_tag(Kind kind, const char* ch, uint8_t word_tag) const {
  const uint32_t k = key(kind, ch, word_tag);
  auto it = std::lower_bound(m_entries.begin(), m_entries.end(), std::make_pair(k, uint8_t(0)));
  return it != m_entries.end() && it->first == k ? it->second : 0;
}
