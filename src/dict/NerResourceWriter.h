// Writers of the named-entity resource files read by CNerResource: the
// transition tables ("RoleTT.Lex", "LNRoleTT.Lex", "POSTT.Lex") and the
// "ner_info" word lists.  Used by the tools that prepare resources and by
// the tests.
//
// Every writer first writes a temporary file next to the target and renames
// it into place only when it is complete, so a failed write never leaves a
// truncated resource under the real name.  Writers return false (writing
// nothing to standard error) when an argument cannot be represented in the
// format or a file operation fails; the target is then unchanged.
#ifndef LX_DICT_NERRESOURCEWRITER_H
#define LX_DICT_NERRESOURCEWRITER_H

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "base/LHash.h"
#include "lm/Prob.h"

class CNerResourceWriter {
 public:
  // Writes a dim x dim table (row-major, entry [p][c] = table[p * dim + c])
  // as dim * dim records of m_Prob and m_Bow, 32-bit little-endian floats.
  static bool write_transition_table(const char* path, const CProbabilityNode* table,
                                     size_t dim);

  // Writes a "ner_info" file with the three sections in the order
  // "#fuxing", "#no_amb_xing", "#loc_suffix".  Reading it back gives the
  // surnames the values 1, 2, 3, ... in list order (a repeated key keeps
  // its last position) and each suffix its weight.
  //
  // Refused (false) are keys the reader would not give back unchanged:
  // empty keys, keys with a line feed, carriage return or NUL, keys ending
  // in a blank or tab, keys beginning with a section header, lines longer
  // than 100 bytes, suffix keys containing a blank, and suffix weights
  // below 1.
  static bool write_named_entity_resource(
      const char* path, const std::vector<std::string>& fuxing,
      const std::vector<std::string>& no_amb_xing,
      const std::vector<std::pair<std::string, int> >& loc_suffix);

  // The same from loaded dictionaries (null counts as empty).  The surname
  // lists are written in ascending order of their values (ties by key), so
  // a reader gets back the same keys with the values 1, 2, 3, ... in that
  // order: the original values when they were 1 to n.  The suffix list
  // is written sorted by key.
  static bool write_named_entity_resource(const char* path, const HashDict* fuxing_dict,
                                          const HashDict* no_amb_xing_dict,
                                          const HashDict* loc_suffix_dict);

  // Whether `key` can be written as a surname line, or (with its weight)
  // as a suffix line, and read back unchanged.
  static bool is_valid_surname_key(const std::string& key);
  static bool is_valid_suffix_entry(const std::string& key, int weight);
};

#endif  // LX_DICT_NERRESOURCEWRITER_H
