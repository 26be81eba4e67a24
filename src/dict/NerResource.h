// Named-entity resources: the role and POS inventories, the fixed role and
// POS lists, the role and POS transition tables, the "ner_info" word lists,
// the Chinese-numeral dictionary and the person-name pattern trie.
//
// Everything here is process-wide data that the segmenter loads once at
// initialisation and then only reads.  The segmenter classes own the loaded
// objects (as their static members) and call the loaders below with them;
// this class itself holds only the constant inventories and lists.  All
// functions are static and thread-compatible: loading must not overlap with
// readers of the same objects, reading may happen from any number of threads.
//
// Role ids.  A role is one byte.  Role lists are 0-terminated byte strings,
// so 0 is never a role.  The transition tables have 54 rows and columns (ids
// 0 to 53):
//
//   1 B   surname                      18 E2      "H E2" second word
//   2 C   first given-name character   19 X2      transliterated-name word
//   3 D   second given-name character  20 LH      location head
//   4 E   single given-name character  21 LM      location middle
//   5 F   word before a surname        22 LT      location tail
//   6 G   word after a surname         23 LO      location role lists only
//   7 K, 8 L, 9 M  role lists only     24 NI, 25 NF, 26 NB  role lists only
//   10 U  word ending with the surname 27 X_HALF  X of a half-matched word
//   11 V  word starting with the last  28 D_HALF  D of a half-matched word
//         name character               29 LY, 30 SU  role lists only
//   12 X  surname + first character    31 FH, 32 FM, 33 FT  transliterated
//   13 Y  a whole name as one word             location head/middle/tail
//   14 Z  both given-name characters   34 .. 49   unused (print as "A")
//   15 H, 16 I, 17 T  first, inner,    50 A       no part in a name
//         last transliterated word     51 unk, 52 sentence start, 53 end
//
// POS ids are those of LXPub.h: 1 "a" .. 48 "Zg", 49 sentence start, 50 to
// 52 the factoid tags, 55 sentence end.  The POS transition table has 56
// rows and columns (ids 0 to 55).
//
// Transition table files ("RoleTT.Lex", "LNRoleTT.Lex": 54 x 54 entries;
// "POSTT.Lex": 56 x 56 entries) hold the square table in row-major order
// without a header; entry [p][c] starts at byte 8 * (dim * p + c) and is
// m_Prob then m_Bow, each a 32-bit little-endian IEEE float.  m_Prob of
// [p][c] is the log probability of c following p.
//
// "ner_info" is a text file of three sections, each opened by a header line:
//
//   #fuxing          one compound surname per line; value = 1, 2, 3, ...
//   #no_amb_xing     one unambiguous surname per line; value = 1, 2, 3, ...
//   #loc_suffix      "suffix weight" per line; value = weight (>= 1)
//
// See load_named_entity_resource() for the exact reading rules.
#ifndef LX_DICT_NERRESOURCE_H
#define LX_DICT_NERRESOURCE_H

#include <cstddef>
#include <map>
#include <string>

#include "base/LHash.h"
#include "base/Trie.h"
#include "lm/Prob.h"

// Role ids (see the table above).
enum {
  NE_ROLE_B = 1,
  NE_ROLE_C = 2,
  NE_ROLE_D = 3,
  NE_ROLE_E = 4,
  NE_ROLE_F = 5,
  NE_ROLE_G = 6,
  NE_ROLE_K = 7,
  NE_ROLE_L = 8,
  NE_ROLE_M = 9,
  NE_ROLE_U = 10,
  NE_ROLE_V = 11,
  NE_ROLE_X = 12,
  NE_ROLE_Y = 13,
  NE_ROLE_Z = 14,
  NE_ROLE_H = 15,
  NE_ROLE_I = 16,
  NE_ROLE_T = 17,
  NE_ROLE_E2 = 18,
  NE_ROLE_X2 = 19,
  NE_ROLE_LH = 20,
  NE_ROLE_LM = 21,
  NE_ROLE_LT = 22,
  NE_ROLE_LO = 23,
  NE_ROLE_NI = 24,
  NE_ROLE_NF = 25,
  NE_ROLE_NB = 26,
  NE_ROLE_X_HALF = 27,
  NE_ROLE_D_HALF = 28,
  NE_ROLE_LY = 29,
  NE_ROLE_SU = 30,
  NE_ROLE_FH = 31,
  NE_ROLE_FM = 32,
  NE_ROLE_FT = 33,
  NE_ROLE_A = 50,
  NE_ROLE_UNK = 51,
  NE_ROLE_SOS = 52,
  NE_ROLE_EOS = 53
};

// Offset and length of one name inside a blank-separated name string.
struct NameIndexType {
  unsigned short offset;
  unsigned short len;
};

// A map from a name (role name or pattern string) to its id.
typedef std::map<std::string, int> NeNameMap;

class CNerResource {
 public:
  // Shape of the transition tables.
  static constexpr size_t ROLE_TT_DIM = 54;
  static constexpr size_t POS_TT_DIM = 56;
  static constexpr size_t ROLE_TT_BYTES = ROLE_TT_DIM * ROLE_TT_DIM * 8;  // 23,328
  static constexpr size_t POS_TT_BYTES = POS_TT_DIM * POS_TT_DIM * 8;     // 25,088

  // Trie value of the first node of a pattern of two or more roles, and of
  // its inner nodes.  Every value below NE_MODE_BEGIN is a mode id: a
  // complete pattern ends at that node.
  static constexpr int NE_MODE_BEGIN = 200;
  static constexpr int NE_MODE_INNER = 201;

  // Number of person-name patterns in m_ptr_pn_modes.
  static constexpr int PN_MODE_COUNT = 20;

  // --- Inventories -------------------------------------------------------

  // Display names of role ids 1 to 51 (entry id - 1): the blank-separated
  // names and their positions.  Ids 34 to 49 print as "A", id 51 as "unk".
  static const char m_pPRole[];
  static const NameIndexType m_PRoleIndex[51];

  // Names of POS ids 1 to 48 (entry id - 1), "a" to "Zg".
  static const char m_pPOS[];
  static const NameIndexType m_POSIndex[48];

  // Coarse POS map, ids 0 to 55: each "..g" tag to its base tag, "ad" and
  // "vd" to "d", "an" and "vn" to "n", 53 and 54 to 0.  The token saver
  // maps its output tags with it under LX_SECPOS.
  static const unsigned char POSMAP[56];

  // --- Fixed role and POS lists (0-terminated) ---------------------------

  static const unsigned char RoleTempA[2];          // {A}
  static const unsigned char RoleTempSinglePos[5];  // {A, C, D, E}
  static const unsigned char RoleTempMultiPos[3];   // {A, Z}
  static const unsigned char RoleSOS[2];            // {52}
  static const unsigned char RoleEOS[2];            // {53}
  static const unsigned char POSSOS[2];             // {49}
  static const unsigned char POSTemp[2];            // {16 "n"}
  static const unsigned char POSEOS[2];             // {55}
  static const unsigned char POSPUNC[2];            // {34 "w"}

  // The 20 person-name patterns, null-terminated, in mode-id order 1 to 19
  // and then 100 ("Y").
  static const char* const m_ptr_pn_modes[PN_MODE_COUNT + 1];

  // Display name of a role id (1 to 51), or of a POS id (1 to 48); an empty
  // string for any other id.
  static std::string role_name(int role_id);
  static std::string pos_name(int pos_id);

  // --- Name maps ----------------------------------------------------------

  // Fills `mode_dict` with the 20 pattern strings and their mode ids.
  static void _load_trie_modes(NeNameMap& mode_dict);

  // Fills `roles_dict` with the role names by which patterns are written
  // (29 names, including "<unk>", "<s>" and "</s>"); the role-list-only
  // roles (K, L, M, NI, NF, NB, LY, SU) are not in it.
  static void _load_all_roles(NeNameMap& roles_dict);

  // The value of `key` in `mode_dict`, or 0 if it is not there.
  static int _get_map_value(const NeNameMap& mode_dict, const std::string& key);

  // --- Transition tables ---------------------------------------------------

  // Reads a dim x dim table file into `table` (dim * dim entries, row-major:
  // entry [p][c] is table[p * dim + c]).  The file holds exactly dim * dim
  // cells of two little-endian floats.  Returns false, with one line
  // "<path>: <reason>" on standard error and `table` unchanged, when the file
  // cannot be opened or read, is not a regular file, has another size, or
  // holds a score that is not finite (NaN or infinite).
  static bool load_transition_table(const char* path, CProbabilityNode* table,
                                    size_t dim);

  // --- "ner_info" -----------------------------------------------------------

  // Loads the three word lists of a "ner_info" file.  The file is read in
  // pieces of at most 100 bytes up to and including a line feed (a longer
  // line is read as several lines); a NUL ends a piece's text.  Per piece:
  //  1. trailing '\r', '\t', '\n' and ' ' are removed; an empty piece is
  //     skipped;
  //  2. a piece beginning with "#fuxing", "#no_amb_xing" or "#loc_suffix"
  //     starts that section (and ends the previous one); the surname
  //     counter restarts at 1 with either surname header; pieces before
  //     the first header are ignored;
  //  3. in the two surname sections the piece is a key, stored with the
  //     running counter;
  //  4. in the suffix section the text before the first blank is the key
  //     and the text after it a decimal weight (leading white space and a
  //     sign allowed, parsing stops at the first non-digit, values beyond
  //     the int range clamp to it); the entry is stored only if the weight
  //     is at least 1 and the key is not empty.  A piece without a blank is
  //     skipped;
  //  5. a key seen again gets the newer value.
  // A last line without a line feed (a whole line, not the tail of a long
  // one) that stops inside a two-byte character, or in the suffix section
  // has no blank, was cut short.
  // On success returns 1 and replaces the three dictionaries (deleting
  // the ones the pointers held, creating new ones).  If the file cannot be
  // opened or reading it fails, writes "can not open file : <path>\n" to
  // standard error; if it was cut short, "<path>: line <n>: cut short\n";
  // either way returns 0 and leaves the three pointers as they were.
  static int load_named_entity_resource(const char* path, HashDict*& fuxing_dict,
                                        HashDict*& no_amb_xing_dict,
                                        HashDict*& loc_suffix_dict);

  // Deletes a dictionary made by the loaders here and sets the pointer to
  // null.  Null is accepted.
  static void free_dict(HashDict*& dict);

  // --- Chinese-numeral dictionary ------------------------------------------

  // Creates *hanzi_shuzi_dict (deleting a previous one) holding the fifteen
  // numeral characters (GBK) with their fixed values: "一" 0, "二" 1, ...,
  // "九" 8, "十" 9, "百" 10, "千" 11, "万" 12, "亿" 13, "几" 14.
  static void _load_hanzi_shuzi_dict(HashDict** hanzi_shuzi_dict);

  // --- Pattern tries ----------------------------------------------------------

  // Builds the pattern trie of `ne_type` from the null-terminated pattern
  // array: type 1 fills `pn_mode_trie`, type 2 fills `ln_mode_trie`.  Any
  // other type writes "_load_ne_mode(): 不合法的实体类型参数!\n" (GBK) to
  // standard error and returns false without touching either trie.
  static bool _load_ne_mode(const char* const* ptr_ne_modes, char ne_type,
                            Trie<int, int>& pn_mode_trie,
                            Trie<int, int>& ln_mode_trie);

  // Inserts the patterns into `trie`.  A pattern is split at blanks (runs
  // of blanks separate, empty names do not count) and each role name is
  // mapped through the role name map, an unknown name to 0.  For roles
  // r1 .. rn the path r1, ..., rn is created; the node of r1 gets
  // NE_MODE_BEGIN if n > 1, the nodes of r2 .. r(n-1) get NE_MODE_INNER and
  // the node of rn gets the mode id of the whole string (0 if unknown).
  // Patterns are inserted in array order, so at a node shared by several
  // patterns the last one written wins.  A pattern without any role name
  // is skipped.  A null array inserts nothing.
  static void _build_ne_mode_trie(const char* const* ptr_ne_modes,
                                  Trie<int, int>& trie);
};

#endif  // LX_DICT_NERRESOURCE_H
