// The set of resource file paths inside a data directory.
//
// All paths live in one buffer owned by the record: first the directory
// itself (with a trailing '/'), then every full path, each NUL-terminated,
// one after the other in the order of the fields below.  The buffer holds
// 40 x (directory length) + 1024 bytes, far more than the 20 strings need
// (about 20 x length + 200 bytes); the builder still checks every copy
// against it.  The record is built once at initialisation and released when
// initialisation is over; the loaders only read the paths.
#ifndef LX_DICT_DICTRESOURCE_H
#define LX_DICT_DICTRESOURCE_H

#include <cstddef>

struct DictResource {
  // Full paths, in the order in which they are built.
  const char* core_lex;       // "Core.Lex"
  const char* core_prop;      // "Core.Prop"
  const char* fact_lex;       // "Fact.Lex" (no loader opens it)
  const char* ngram_lex;      // "Ngram.Lex"
  const char* ngram_pn_lex;   // "Ngram_PN.Lex"
  const char* postt_lex;      // "POSTT.Lex"
  const char* rolett_lex;     // "RoleTT.Lex"
  const char* rule_ns;        // "Rule.ns" (no loader opens it)
  const char* user_amb_rule;  // "UserAmbRule"
  const char* t2s_char;       // "t2s"
  const char* t2s_word;       // "t2s.word"
  const char* t2s_disable;    // "t2s.disable"
  const char* ner_info;       // "ner_info"
  const char* second_lex;     // "Sec.Lex"
  const char* second_prop;    // "Sec.Prop"
  const char* custom_word;    // "CustomWord" (a directory)
  const char* ln_rolett_lex;  // "LNRoleTT.Lex"
  const char* synonym_word;   // "SynonymWord" (no loader opens it)
  const char* affix_lex;      // "Affix.Lex" (optional)
  // Kept for the record's shape; never filled (always null).
  const char* amb_rule;

  char* m_buffer;          // the one buffer holding every string
  size_t m_offset;         // bytes of m_buffer in use
  size_t m_buf_size;       // bytes allocated: 40 x directory length + 1024
  size_t m_dir_len;        // length of the directory string with its slash
  const char* m_dir_path;  // the directory with its slash (start of m_buffer)

  // Every path null, no buffer.
  DictResource();
  // Same as DictResource() followed by init(dir_path).
  explicit DictResource(const char* dir_path);
  ~DictResource();

  DictResource(const DictResource&) = delete;
  DictResource& operator=(const DictResource&) = delete;

  // Builds every path for the directory `dir_path`, replacing what was built
  // before.  A "/" is appended to the directory unless it already ends with
  // one, so "data" and "data/" give the same paths; an empty string stands for
  // the current directory and gives the bare file names.  Returns false (and
  // leaves every path null) for a null directory or when the buffer cannot be
  // allocated.
  bool init(const char* dir_path);

  // Releases the buffer; every path becomes null.
  void clear();

 private:
  const char* _append(const char* prefix, size_t prefix_len, const char* name);
};

#endif  // LX_DICT_DICTRESOURCE_H
