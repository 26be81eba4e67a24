#include "dict/DictResource.h"

#include <cstring>
#include <new>

DictResource::DictResource()
    : core_lex(0),
      core_prop(0),
      fact_lex(0),
      ngram_lex(0),
      ngram_pn_lex(0),
      postt_lex(0),
      rolett_lex(0),
      rule_ns(0),
      user_amb_rule(0),
      t2s_char(0),
      t2s_word(0),
      t2s_disable(0),
      ner_info(0),
      second_lex(0),
      second_prop(0),
      custom_word(0),
      ln_rolett_lex(0),
      synonym_word(0),
      affix_lex(0),
      amb_rule(0),
      m_buffer(0),
      m_offset(0),
      m_buf_size(0),
      m_dir_len(0),
      m_dir_path(0) {}

DictResource::DictResource(const char* dir_path) : DictResource() { init(dir_path); }

DictResource::~DictResource() { clear(); }

void DictResource::clear() {
  delete[] m_buffer;
  m_buffer = 0;
  m_offset = m_buf_size = m_dir_len = 0;
  m_dir_path = 0;
  core_lex = core_prop = fact_lex = ngram_lex = ngram_pn_lex = postt_lex = rolett_lex = 0;
  rule_ns = user_amb_rule = t2s_char = t2s_word = t2s_disable = ner_info = 0;
  second_lex = second_prop = custom_word = ln_rolett_lex = synonym_word = amb_rule = 0;
  affix_lex = 0;
}

// Copies prefix and name, NUL-terminated, to the free part of the buffer and
// returns where the copy starts; null if it does not fit.
const char* DictResource::_append(const char* prefix, size_t prefix_len, const char* name) {
  size_t name_len = std::strlen(name);
  if (m_buf_size - m_offset < prefix_len + name_len + 1) return 0;
  char* dst = m_buffer + m_offset;
  std::memcpy(dst, prefix, prefix_len);
  std::memcpy(dst + prefix_len, name, name_len);
  dst[prefix_len + name_len] = '\0';
  m_offset += prefix_len + name_len + 1;
  return dst;
}

bool DictResource::init(const char* dir_path) {
  clear();
  if (dir_path == 0) return false;

  size_t len = std::strlen(dir_path);
  bool add_slash = len > 0 && dir_path[len - 1] != '/';
  if (len > (((size_t)-1) - 1024) / 40) return false;  // the size would wrap
  m_buf_size = 40 * len + 1024;
  m_buffer = new (std::nothrow) char[m_buf_size];
  if (m_buffer == 0) {
    m_buf_size = 0;
    return false;
  }

  // The directory with its slash comes first; every path copies it.
  std::memcpy(m_buffer, dir_path, len);
  if (add_slash) m_buffer[len] = '/';
  m_dir_len = len + (add_slash ? 1 : 0);
  m_buffer[m_dir_len] = '\0';
  m_offset = m_dir_len + 1;
  m_dir_path = m_buffer;

  const char** fields[] = {
      &core_lex,   &core_prop, &fact_lex, &ngram_lex,   &ngram_pn_lex,  &postt_lex,
      &rolett_lex, &rule_ns,   &user_amb_rule, &t2s_char, &t2s_word,    &t2s_disable,
      &ner_info,   &second_lex, &second_prop, &custom_word, &ln_rolett_lex, &synonym_word,
      &affix_lex};
  static const char* const names[] = {
      "Core.Lex",   "Core.Prop", "Fact.Lex",    "Ngram.Lex", "Ngram_PN.Lex", "POSTT.Lex",
      "RoleTT.Lex", "Rule.ns",   "UserAmbRule", "t2s",       "t2s.word",     "t2s.disable",
      "ner_info",   "Sec.Lex",   "Sec.Prop",    "CustomWord", "LNRoleTT.Lex", "SynonymWord",
      "Affix.Lex"};
  static_assert(sizeof(fields) / sizeof(fields[0]) == sizeof(names) / sizeof(names[0]),
                "one file name per field");

  for (size_t i = 0; i < sizeof(names) / sizeof(names[0]); i++) {
    const char* path = _append(m_dir_path, m_dir_len, names[i]);
    if (path == 0) {  // cannot happen with the buffer size above
      clear();
      return false;
    }
    *fields[i] = path;
  }
  return true;
}
