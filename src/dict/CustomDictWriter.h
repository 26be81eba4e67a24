// Writers of the compiled custom dictionary files that CCustomDict reads:
// the secondary lexicon ("Sec.Lex" + "Sec.Prop") and the system custom
// dictionary ("cusdata.idx" + "id_custname.dict").  Internal to the library
// (resource preparation and tests).
//
// Every file is written under a temporary name beside its final path and
// renamed into place only when complete, so a reader never sees half a file.
// The writers check their input against what the reader accepts and return
// false (writing nothing) when it does not fit.
#ifndef LX_DICT_CUSTOMDICTWRITER_H
#define LX_DICT_CUSTOMDICTWRITER_H

#include <string>
#include <vector>

#include "dict/CustomDict.h"

// One word of the secondary lexicon with its data word (see
// CCustomDict::setidxpos).
struct seclex_entry_t {
  std::string word;
  int data;
};

// Writes "Sec.Lex" and "Sec.Prop": the words, sorted in byte order, get the
// record indexes 0, 1, ...; record i holds the data word and byte length of
// the i-th word.  Words must be non-empty, free of NUL bytes and distinct.
bool write_second_lexicon(const char* lex_path, const char* prop_path,
                          const std::vector<seclex_entry_t>& entries);

// Writes "Sec.Prop" from ready records (count, then the records).
bool write_second_prop(const char* prop_path, const std::vector<_cw_t>& records);

// One word of the system custom dictionary with its class value (class ids
// packed into bytes, see CCustomDict::add_class_id); the value must be
// non-negative (at most 0x7FFFFFFF), so the fourth class id is below 128.
struct syscd_entry_t {
  std::string word;
  int clsvalue;
};

// Writes "id_custname.dict": one line "<id>\t<name>" per name, the id being the
// name's position.  Names must be non-empty and free of white space and NUL
// bytes; at most 256 names (ids 0 to 255) fit into class values.
bool write_class_names(const char* names_path, const std::vector<std::string>& names);

// Writes "cusdata.idx" (the words, sorted in byte order, with their class
// values) and "id_custname.dict".  Words must be non-empty, free of NUL bytes
// and distinct.
bool write_sys_custom_dict(const char* idx_path, const char* names_path,
                           const std::vector<std::string>& class_names,
                           const std::vector<syscd_entry_t>& entries);

#endif  // LX_DICT_CUSTOMDICTWRITER_H
