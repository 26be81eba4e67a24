// Person-name recognition on the chosen path of a sentence's lattice.
//
// After person-role tagging (role_tagger.h) every word of the chosen path
// carries a role in perIdx.  _pn_mode_match scans the path for role
// sequences that form a name -- Chinese names through the pattern trie
// (dict/NerResource.h), transliterated names through a role walk -- checks
// and revises each candidate, and adds every accepted name to the lattice as
// one extra item of the person class (nAttributeIdx kAttrPerson) at the node
// where it ends.  The class-based best path decides later whether the name
// or the ordinary words win, so nothing here changes the chosen path itself
// (MaxItem, nNextLen, bBest); the stage only adds items, sets bnAmb inside
// accepted names and rewrites perIdx where a rule says so.
//
// Revision rules (person_revision.cpp) repair candidates whose words are cut
// wrongly: a surname glued to the word before it (role U), the last name
// character glued to the word after it (role V), a given name glued to the
// conjunction "和".  They add single-character "name-part" items (type 0,
// not counted in ItemsNumNER) and "remainder" items (the item's own type,
// role A, counted) and move the candidate's boundaries.
//
// A single character whose likeliest role is B (surname) before a
// two-character proper-name word (ns, nz) whose likeliest role is Z, both
// tagged A, is tried as "B Z" (高 龙岩: the role tagging prefers the common
// word 高 and the place 龙岩); when no pattern matches they are A again.
//
// Before adding a candidate: none before a word that heads a place or an
// organisation (CNeItems::_is_place_head); a three-character Chinese name
// that reads better as a transliteration (kTransMargin) becomes one.  After
// the scan, _extend_name_words adds dictionary names with a transliteration
// character next to them.
//
// Item storage.  A node's range is reserved on its first item (size hint as
// each rule gives it); a full range -- or a node already holding 255 items,
// the limit of the byte-sized item indexes -- refuses the item, which writes
// "词条可存储空间已满\n" (GBK) to standard error.  An entity that does not
// fit is dropped and the scan goes on; a revision whose addition fails
// rejects its candidate (items added before stay).  Growing the item store
// moves the items: the candidate's item pointers are carried along, and the
// lattice carries the MaxItem pointers.
//
// Choices where the rules leave room (the reasons are at the code):
//  - A path that is not walkable (role_tagger.h: tagger_path_is_consistent)
//    or a sentence length outside 1 .. CLattice::kMaxNodes - 1 makes the
//    scan do nothing.
//  - "F B": the scan resumes at the B word both after a rejection and after
//    an acceptance.
//  - The C word of a "B C D" whose D word begins with "和", and the end of
//    the two-word prefix entity, are found through the path (the word ending
//    where D begins) rather than two bytes before the last node; for a
//    two-byte D word these are the same.
//  - The first/third character test of "B C D" and the "和" test of "B Z"
//    look only inside the candidate (a span too short never matches);
//    _split_v_node and _split_u_node reject a word of two bytes or less,
//    which has no remainder to split off.
//  - A run of more words than the candidate's role list holds
//    (NeContextType::MAX_NE_ITEM_COUNT) is no candidate; a transliterated
//    walk stops as soon as it reaches MAX_TRANS_LEN bytes.
//  - Items that the insertions do not fill get zero in every other field.
//  - The prefix candidate of "B C D" needs the person-name word model; with
//    none (null) it is skipped.
#ifndef LX_SEG_PERSON_RECOGNIZER_H
#define LX_SEG_PERSON_RECOGNIZER_H

#include <cstddef>
#include <cstdint>

#include "base/LHash.h"
#include "base/Trie.h"
#include "seg/lattice.h"

#include "seg/ne_context.h"

class CBasicDict;
class Ngram;

// The shared, read-only resources of the recognizer.
struct PersonNameResources {
  const CBasicDict* dict = nullptr;               // required
  const Trie<int, int>* pn_mode_trie = nullptr;   // required: person patterns
  const HashDict* no_amb_xing_dict = nullptr;     // unambiguous surnames ("B A")
  const HashDict* hanzi_number_dict = nullptr;    // Chinese numerals (_is_number)
  const Ngram* pn_word_lm = nullptr;              // person-name word model
  bool pms = false;                               // LX_PMUL: type 88 items count in _get_item
  // The caller has seen the path pass tagger_path_is_consistent() and it has
  // not changed since: the scan does not check it again.
  bool path_checked = false;
};

class CPersonRecognizer {
 public:
  // A transliterated name is shorter than this many bytes.
  static constexpr size_t MAX_TRANS_LEN = 32;
  // Modes of transliterated names (several words; one word) and of "Y".
  static constexpr int kModeTrans = 20;
  static constexpr int kModeTransSingle = 21;
  static constexpr int kModeY = 100;
  static constexpr int kModeRejected = -1;
  // Person class token of the name model: kAttrPerson - 1.
  static constexpr uint32_t kPersonClassToken = 10000005u;
  // A three-character Chinese name whose characters score higher, by more
  // than this (log10), as the first, middle and last characters of a
  // transliterated name than as surname and given name is output whole as a
  // transliterated name (马克龙).
  static constexpr float kTransMargin = 0.0f;
  static constexpr size_t kCharBytes = 2;
  static constexpr float kTransCharMargin = 1.0f;
  // Bigram threshold above which the two-character prefix is added.
  static constexpr float kPrefixThreshold = -6.0f;

  explicit CPersonRecognizer(const PersonNameResources& res);

  // Scans the chosen path of `lattice` (sentence `text` of text_len bytes,
  // the text the lattice was built from) and adds the accepted names.
  // `ctx` is the candidate under examination, `ne_count` is incremented per
  // inserted name.  Returns 1.
  int _pn_mode_match(CLattice& lattice, const char* text, size_t text_len, NeContextType& ctx,
                     int& ne_count);

  // --- Self-test harness (not used by the segmenter) -----------------------

  // Makes `lattice` hold a chosen path over `text` (text_len bytes) of the
  // words whose byte lengths are listed in `lengths` ("2 4 2 2"), tagged
  // with the roles named in `roles` ("B Z B E", names of the pattern name
  // map: B, C, ..., A).  Each word's item is a dictionary word when its text
  // is one (own type, nAttributeIdx = index + 1), else type 55 and
  // kAttrSingleChar; each path node gets a range of `capacity` items.
  // False, with the lattice unspecified, when the lists do not describe the
  // text (counts differ, a length of 0, lengths not adding up to text_len,
  // an unknown role name) or the text does not fit the lattice.
  bool test_ne_mode_match_prepare(CLattice& lattice, const char* text, size_t text_len,
                                  const char* roles, const char* lengths, uint32_t capacity = 8);
  // Prepares the path as above and runs the scan on it.  False when the
  // preparation fails.
  bool test_pn_mode_match(CLattice& lattice, const char* text, size_t text_len, const char* roles,
                          const char* lengths, NeContextType& ctx, int& ne_count,
                          uint32_t capacity = 8);

  // --- Steps of the scan (bound to a sentence by _pn_mode_match or bind) ----

  // Binds the per-sentence state without scanning: what the steps below
  // work on.
  void bind(CLattice& lattice, const char* text, size_t text_len, NeContextType& ctx,
            int& ne_count);

  // Mode of the candidate starting with the word that ends at cur_index,
  // with the candidate in the context; -1 (context unspecified) if none.
  int _pn_trie_mode_match(size_t cur_index);
  int _pn_foreign_mode_match(size_t cur_index);
  // Entity item type of a mode.
  static int _get_ne_type(int mode);
  // Checks of candidates whose first role is neither B nor U.
  bool _pn_rule_revise();
  bool _check_trans_name2(size_t nBeginIdx, tNodeInfo* pPNBeginNode, tNodeInfo* pPNEndNode);
  static bool _is_copy_word(const char* pSent, int nLen, int pos, int length);
  static bool _is_alpha(const char* str, int pos, int len);
  static bool _is_name_separator(const char* str, size_t len);
  // 1 + the dictionary index of the len bytes at word, or kAttrSingleChar
  // (seg/ne_items.h).
  uint32_t _get_attribute_idx(const char* word, size_t len) const;
  // Adds the candidate as an entity item (seg/ne_items.h); false when its
  // node is full.
  bool _insert_ne_item();

  // --- Revision rules (person_revision.cpp) ---------------------------------

  bool _pn_b_initial_model_revise();
  bool _pn_bcd_mode_revise();
  bool _pn_bz_mode_revise();
  void _add_bcd_prefix_to_spc();
  bool _split_v_node(unsigned char role, int mode);
  bool _split_u_node(int mode);
  bool _is_num_before_family_name() const;
  bool _is_number(const char* str, int len) const;
  // Role score of the character at pos (kUnmatchedRoleProb outside the
  // dictionary) and the comparison described at kTransMargin.
  float _char_role_prob(size_t pos, uint8_t role) const;
  // A name written whole that the dictionary knows (特雷斯, 尔茨) with a
  // character before it that is rather the first character of a
  // transliterated name than an ordinary word (古), or after it one that is
  // rather a last character (斯): the whole is added as a transliterated
  // name, and the class-based path decides.  Name word: two or more Chinese
  // characters whose most probable POS is nr; transliteration character:
  // its H (T) role score at least kTransCharMargin above its A score.
  void _extend_name_words();
  // Whether the word after the candidate heads a place or an organisation
  // (CNeItems::_is_place_head): then the candidate is no person's name.
  bool _before_place_head() const;
  // Candidates that read as places stay entities of the lattice, scored by
  // the name model as found, but as places (types 65, 66: tagged ns, saved
  // whole): a numbered head follows (X桥 一 矿, X庄 二 村), the candidate
  // ends with a head, or it is an item of a list of places.
  bool _reads_as_place() const;
  void _as_place();
  bool _before_numbered_place_head() const;
  // Whether a candidate of three or more characters ends with a character
  // that heads a place by itself (X马湖, X梅岛; 村 only in X家村): a place,
  // not a person.
  bool _ends_with_place_head() const;
  // Whether the candidate is a whole item of a list ("、") next to an item
  // that is a place word of the dictionary (most probable tag ns) and
  // whole as well: a place among places.  A place word that only begins
  // its item (X、北京 军区 司令员 Y) proves nothing.
  bool _in_place_list() const;
  // Whether the "、" word `comma` (the word after the candidate) is
  // followed by a place word that is a whole list item.
  bool _place_item_after(const tSegItemInfo* comma) const;
  // Whether the list that goes on with the word w ends in 等 and a place
  // kind (等地, 等 国, 等省): a list of places.
  bool _list_of_places_follows(const tSegItemInfo* w) const;
  bool _ends_place_list(const tSegItemInfo* deng, size_t deng_end) const;
  // The most probable tag of a dictionary word of two or more characters
  // inside the text; -1 for anything else.
  int _first_tag_of_word(const tSegItemInfo* item) const;
  bool _is_name_word(const tSegItemInfo* item) const;
  bool _is_place_word(const tSegItemInfo* item) const;
  bool _is_trans_char_word(const tSegItemInfo* item, uint8_t role) const;
  // Whether the words ending at p and after it are a surname and a
  // two-character given name that the role tagging left as ordinary words
  // (both A): the character is likelier a surname than anything else, the
  // word likelier a given name than anything else and, as a word, a proper
  // name (高 龙岩, where the surname is also a common word and the given
  // name a place).  Verbs, adjectives and common nouns there are words.
  bool _surname_before_given_word(size_t p) const;
  bool _reads_as_transliteration(size_t begin, size_t len) const;

 private:
  // The word after the one ending at p (its end position); > text_len past
  // the last word.
  size_t _next_end(size_t p) const;
  tSegItemInfo* _path_item(size_t p) const { return m_lattice->m_nodes[p].MaxItem; }
  // Fills the context for the words ending at first_end .. last_end; false
  // if the candidate has more words than the context holds.
  bool _set_ne_ctx_info(size_t first_end, size_t last_end, int mode);
  bool _is_name_begin_word(const tSegItemInfo* item) const;
  // The own type of a span: its dictionary entry's m_NameEntity or 55.
  int _own_type(uint32_t attr) const;
  // Adds an item for [s, s + l) to node s + l (size hint `hint`); keeps the
  // context's item pointers valid across store growth.  Null (after the
  // message) when the node is full.
  tSegItemInfo* _add_span_item(size_t s, size_t l, uint32_t hint, uint8_t role, int type,
                               bool counted);
  tSegItemInfo* _add_item(size_t end, const tSegItemInfo& item, uint32_t hint);

  PersonNameResources m_res;
  CLattice* m_lattice = nullptr;
  const char* m_text = nullptr;
  size_t m_nTextLen = 0;
  NeContextType* m_ctx = nullptr;
  int* m_ne_count = nullptr;
};

#endif  // LX_SEG_PERSON_RECOGNIZER_H
