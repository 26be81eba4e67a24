// CBasicDict: the basic word dictionary.  A double array ("Core.Lex") maps
// every GBK word to its word index; a property file ("Core.Prop") gives, per
// word index, the word's length, type code and lists.  Loaded once and then
// shared read-only by every segmentation handle.
//
// "Core.Lex" is the double array's unit array and nothing else: 32-bit
// little-endian units, (file size / 4) of them; 1 to 3 trailing bytes are
// ignored.  The value of a key is its word index.
//
// "Core.Prop" (little-endian, IEEE floats, no padding anywhere):
//   u32 W                      word count, non-zero
//   W x 20 bytes word_prop_t   u32 m_pos_sidx, u32 m_role_sidx,
//                              u32 m_ln_role_sidx, u32 m_seg_rule_sidx,
//                              u8 m_WordLength, u8 padding, u16 m_NameEntity
//   then eight sections, each a u32 count followed by that many elements:
//   m_POS (u8), m_POSProb (f32), m_Rol (u8), m_RolProb (f32), m_LNRol (u8),
//   m_LNRolProb (f32), m_SegType (u8), m_RuleInfo (f32).
//   Bytes after the last section are ignored.
//
// The POS, person-role and location-role lists are runs of identifiers ended
// by a 0 byte, starting at the word's index into the byte array; the k-th
// identifier's log-probability is at the same index + k of the parallel float
// array.  0xFFFFFFFF (Prop_None) stands for "no list".  m_seg_rule_sidx
// indexes two arrays at once: m_RuleInfo holds the rule records read for
// words of types 87, 88 and 89 (counts and word indexes stored as floats and
// truncated), m_SegType the sub-word records (n, n lengths, n POS ids) read
// for words of other types:
//   type 87: w1, w2, p1, p2, w3, w4, p3, p4 (two segmentations of two words)
//   type 88: two rule blocks n, x1..xn, weight one after the other; the POS
//            list then holds the n1 + n2 POS ids of the two segmentations
//   type 89: one rule block
//
// Validation.  The searches of the double array and the readers of the
// property arrays do not check bounds, so a dictionary is accepted only if no
// lookup into it can leave its arrays.  Loading therefore checks, besides
// reading every section in full:
//  - the double array: a positive multiple of 256 units, a plausible root,
//    every base inside the array (Darts validate()); and, walking every key,
//    that the keys form a tree (no cycles), that every key's value is a word
//    index below W and that its m_WordLength equals the key's byte length;
//  - per word, every list start other than Prop_None: inside its byte array,
//    the run 0-terminated inside it and at most BasicDict_MaxListLen long,
//    the parallel float array long enough for the run, POS ids at most
//    BasicDict_MaxPosId and role ids at most BasicDict_MaxRoleId (the
//    taggers' tables and per-word buffers have those sizes);
//  - per word with m_seg_rule_sidx other than Prop_None, the record its type
//    reads: every count from 0 to 255 and every word index below W (stored
//    floats are range-checked before they are truncated, so NaN, infinite or
//    negative values fail), POS ids at most BasicDict_MaxPosId, the record
//    inside its array, and the sub-words no longer together than the word
//    (so the pieces a word is split into stay inside it); type 88 words need
//    a POS list start with n1 + n2 ids inside m_POS.
// A file that fails a check does not load.  Records a word's type does not
// read (say the sub-word record of a type-89 word) are not required to be
// valid; the checked accessors below return null for them.
#ifndef LX_DICT_BASICDICT_H
#define LX_DICT_BASICDICT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/DoubleArray.h"
#include "base/HugePages.h"
#include "dict/item_types.h"
#include "lm/Prob.h"

// "No list", "no rule record".
const uint32_t Prop_None = 0xFFFFFFFFu;

// Limits enforced on load (see above).
const uint32_t BasicDict_MaxListLen = 53;   // identifiers per list, without the 0
const uint8_t BasicDict_MaxPosId = 55;      // POS transition table is 56 x 56
const uint8_t BasicDict_MaxRoleId = 53;     // role transition tables are 54 x 54
const uint32_t BasicDict_MaxRuleCount = 255;

// One word's properties; the same 20 bytes in memory as in "Core.Prop".
struct word_prop_t {
  uint32_t m_pos_sidx;       // POS list in m_POS / m_POSProb, or Prop_None
  uint32_t m_role_sidx;      // person-role list in m_Rol / m_RolProb, or Prop_None
  uint32_t m_ln_role_sidx;   // location-role list in m_LNRol / m_LNRolProb, or Prop_None
  uint32_t m_seg_rule_sidx;  // record in m_RuleInfo and m_SegType, or Prop_None
  uint8_t m_WordLength;      // length of the word in bytes
  uint8_t m_pad;             // padding byte of the file record
  uint16_t m_NameEntity;     // type code
};

// The property arrays, owned.  The counts are the element counts read from
// the file.
struct prop_t {
  word_prop_t* m_word_info;
  uint8_t* m_POS;
  LogP* m_POSProb;
  uint8_t* m_Rol;
  LogP* m_RolProb;
  uint8_t* m_LNRol;
  LogP* m_LNRolProb;
  uint8_t* m_SegType;
  LogP* m_RuleInfo;

  uint32_t m_POS_num;
  uint32_t m_POSProb_num;
  uint32_t m_Rol_num;
  uint32_t m_RolProb_num;
  uint32_t m_LNRol_num;
  uint32_t m_LNRolProb_num;
  uint32_t m_SegType_num;
  uint32_t m_RuleInfo_num;

  prop_t();
  ~prop_t();
  prop_t(const prop_t&) = delete;
  prop_t& operator=(const prop_t&) = delete;

  void clear();  // frees every array
  void swap(prop_t& other);
};

// A list as the accessors hand it out: ids[0..len-1], ids[len] == 0, and
// probs[k] the log-probability of ids[k].
struct prop_list_t {
  const uint8_t* ids;
  const LogP* probs;
  uint32_t len;
};

// A rule block: n word indexes (as stored, floats) and the extra weight.
struct rule_block_t {
  uint32_t n;
  const LogP* x;  // x[0..n-1]; truncate to get word indexes (all below mWordNum)
  LogP w;
};

class CBasicDict {
 public:
  Darts::DoubleArray mBasicDict;  // word -> word index
  uint32_t mWordNum;              // words in the property file (0: none loaded)
  prop_t mPropDict;

  // An empty dictionary: every search on mBasicDict finds nothing.
  CBasicDict();
  ~CBasicDict();
  CBasicDict(const CBasicDict&) = delete;
  CBasicDict& operator=(const CBasicDict&) = delete;

  // Loads "Core.Lex" and "Core.Prop" and checks them against each other.
  // True only if both load and validate; otherwise the dictionary is left as
  // it was.  Never throws.
  bool loadBasicDict(const char* lex, const char* prop);

  // Loads the unit array from `path` and validates it, replacing the array
  // held before; if properties are loaded, the keys are checked against
  // them too.  On failure nothing changes.
  bool _loadDict(const char* path);

  // Reads "Core.Prop" section by section and validates it, replacing the
  // properties held before; if a double array is loaded, its keys are
  // checked against the new properties too.  On failure nothing changes.
  bool _loadProp(const char* path);

  // Back to the empty dictionary.
  void clear();

  // Why the last load failed ("" after a success).
  const std::string& last_error() const { return m_error; }

  // mBasicDict.commonPrefixSearch(key, out, room, len) for len > 0, with the
  // first two bytes of a GBK double-byte character taken from a table
  // instead of the array (the same results, fewer scattered reads).
  size_t prefix_search(const char* key, int32_t* out, size_t room, size_t len) const {
    const unsigned char lead = static_cast<unsigned char>(key[0]);
    if (len < 2 || m_first_char.empty() || !m_lead_tabled[lead]) {
      return mBasicDict.commonPrefixSearch(key, out, room, len);
    }
    const unsigned char trail = static_cast<unsigned char>(key[1]);
    if (trail < kTrailFirst || trail > kTrailLast) return mBasicDict.commonPrefixSearch(key, out, room, len);
    const first_char_t& f = m_first_char[(lead - kLeadFirst) * kTrails + (trail - kTrailFirst)];
    if (f.base == kNoNode) return 0;
    const size_t found = f.value >= 0 ? 1 : 0;
    const size_t used = found < room ? found : room;
    if (used != 0) out[0] = f.value;
    if (len == 2) return found;
    return found + mBasicDict.commonPrefixSearchFromBase(key + 2, out + used, room - used, len - 2, f.base);
  }

  // Asks the processor to fetch what prefix_search reads at every character
  // position of s[0 .. len - 1] (characters as the lattice reads them: a
  // byte from 0x81 on and the next byte form one), up to `depth` bytes deep,
  // level by level, so that the reads of all positions overlap instead of
  // waiting for one another; also the properties of the words found.  No
  // effect on any result.  `pos` and `base` have room for len entries.
  void prefetch_walks(const char* s, size_t len, uint32_t* pos, uint32_t* base, size_t depth) const;

  // --- Checked access ----------------------------------------------------
  // All of these are safe for any argument.

  // Whether the `len` bytes at `s` (len > 0) are a word of the dictionary.
  bool has_word(const char* s, size_t len) const {
    return mBasicDict.exactMatchSearch<int>(s, len) >= 0;
  }

  // Entry `idx`, or null unless idx < mWordNum.
  const word_prop_t* word_info(uint32_t idx) const {
    return idx < mWordNum ? &mPropDict.m_word_info[idx] : nullptr;
  }

  // The lists of word `idx`; an empty list for a word outside the
  // dictionary or without that list.  (Inline: the taggers ask for one per
  // word of every path.)
  prop_list_t pos_list(uint32_t idx) const {
    if (idx >= mWordNum) return no_list();
    return make_list(mPropDict.m_POS, mPropDict.m_POSProb, mPropDict.m_word_info[idx].m_pos_sidx);
  }
  prop_list_t role_list(uint32_t idx) const {
    if (idx >= mWordNum) return no_list();
    return make_list(mPropDict.m_Rol, mPropDict.m_RolProb, mPropDict.m_word_info[idx].m_role_sidx);
  }
  prop_list_t ln_role_list(uint32_t idx) const {
    if (idx >= mWordNum) return no_list();
    return make_list(mPropDict.m_LNRol, mPropDict.m_LNRolProb,
                     mPropDict.m_word_info[idx].m_ln_role_sidx);
  }

  // Asks the processor to fetch the person-role and POS lists of word `idx`
  // (nothing for a word outside the dictionary); no effect on any result.
  void prefetch_lists(uint32_t idx) const {
    if (idx >= mWordNum) return;
    const word_prop_t& w = mPropDict.m_word_info[idx];
    if (w.m_role_sidx != Prop_None) {
      __builtin_prefetch(mPropDict.m_Rol + w.m_role_sidx);
      __builtin_prefetch(mPropDict.m_RolProb + w.m_role_sidx);
    }
    if (w.m_pos_sidx != Prop_None) {
      __builtin_prefetch(mPropDict.m_POS + w.m_pos_sidx);
      __builtin_prefetch(mPropDict.m_POSProb + w.m_pos_sidx);
    }
  }

  // Rule block `which` (0: the first, 1: the second) of word `idx`, read from
  // m_RuleInfo at its m_seg_rule_sidx.  False if the word has no such block
  // or the block is not well-formed (counts, extent, word indexes).
  bool rule_block(uint32_t idx, int which, rule_block_t& block) const;

  // The 8 values of a type-87 record of word `idx` (word indexes checked
  // against mWordNum, POS ids 0 to 255), or null.
  const LogP* mulseg_record(uint32_t idx) const;

  // The sub-word record of word `idx`: n, then n lengths, then n POS ids,
  // all inside m_SegType and the lengths adding up to at most the word's
  // length; null if there is none.
  const uint8_t* subword_record(uint32_t idx) const;

 private:
  static prop_list_t no_list() {
    static const uint8_t kNoIds[1] = {0};
    static const LogP kNoProbs[1] = {0.0f};
    return prop_list_t{kNoIds, kNoProbs, 0};
  }
  static prop_list_t make_list(const uint8_t* ids, const LogP* probs, uint32_t sidx) {
    if (sidx == Prop_None) return no_list();
    // Validated on load: the run is 0-terminated inside the array.
    const uint8_t* run = ids + sidx;
    uint32_t len = 0;
    while (run[len] != 0) ++len;
    return prop_list_t{run, probs + sidx, len};
  }

  // Storage of mBasicDict's array while loaded, on huge pages (base/HugePages.h).
  std::vector<uint32_t, HugePageAllocator<uint32_t>> m_units;
  std::string m_error;

  // prefix_search's table: for each GBK lead byte whose one-byte prefix is
  // no key, and each trail byte, the base of the array node after the two
  // bytes (kNoNode if the walk stops before) and the value of the two-byte
  // key (-1 if none).  Built with the array in _attach_units; empty if that
  // failed.
  struct first_char_t {
    uint32_t base;
    int32_t value;
  };
  static const unsigned kLeadFirst = 0x81, kLeadLast = 0xFE, kTrailFirst = 0x40, kTrailLast = 0xFE;
  static const unsigned kTrails = kTrailLast - kTrailFirst + 1;
  static const uint32_t kNoNode = 0xFFFFFFFFu;
  std::vector<first_char_t> m_first_char;
  bool m_lead_tabled[256] = {};
  void _build_first_char();

  // _loadDict, with the walk over the array's keys left out if `walk` is
  // false (the caller walks it later).
  bool _readDict(const char* path, bool walk);
  void _swap(CBasicDict& other);
  void _attach_units();
};

// --- Helpers shared by the dictionaries ------------------------------------

// The units of a double array without keys: 256 units on which every search
// finds nothing.  Dictionaries point their arrays at it while they hold no
// keys, so that a lookup on a dictionary that is empty or failed to load is
// harmless.
const void* DictEmptyTrieUnits();
const size_t DictEmptyTrieSize = 256;

// Walks every node reachable from the root of `units` (size units, which
// should have passed Darts validate(); a base outside fails the walk), as a
// search given a length can reach them (a NUL byte included), and calls
// visit(ctx, value, key_length) for every key end, in no particular order.
// Returns false as soon as visit does, when a node has a leaf flag but no
// leaf unit, when a key is longer than max_depth (at most 65534) bytes, or
// when a key ends at or below a node reached at two depths (a cycle, or a
// shared node whose keys would have two lengths); a node reached at two
// depths with no key below it -- the root's NUL child in an empty array --
// is harmless.  A node reached again at the same depth -- darts-clone shares
// identical suffixes of equal value -- is not walked twice, so such keys are
// reported once per distinct (value, length).  Each node is expanded once:
// one vector scan of its base's 256-unit block (eight units a step where the
// processor has AVX2, else four); memory: 2 bytes per unit.
bool DictTrieForEachKey(const uint32_t* units, size_t size, size_t max_depth,
                        bool (*visit)(void* ctx, uint32_t value, size_t key_length),
                        void* ctx);

// True when every form of the block scan above that this build and
// processor can run finds the same children of the node whose base is
// blk + low (`blk` a 256-unit block) as the plain loop does.
bool DictChildMaskFormsAgree(const uint32_t* blk, uint32_t low);

#endif  // LX_DICT_BASICDICT_H
