// CCustomDict: word lists outside the basic dictionary.
//
// One class serves two dictionaries:
//  - the secondary lexicon, read from the compiled files "Sec.Lex" (a
//    double array whose value for a word is the index of its record) and
//    "Sec.Prop" (the records) by LoadDict;
//  - the user dictionary, built by InitCDict from the plain-text word lists
//    below a "CustomWord" directory (one class per directory, see CDir), plus
//    the optional system custom dictionary "cusdata.idx" with its class names
//    "id_custname.dict" (LoadSysDict).
//
// Data word of a record (`data`): bit 0 phrase flag, bits 1-6 POS identifier,
// bits 7 and up an index (for user words the class id of the word's first
// list).  Class value (`clsidx`, the `cls` of custom tokens): up to four class
// ids packed into bytes, the first in the lowest byte, a zero byte ending the
// list; 0 means no class.  A class id must therefore fit into a byte: classes
// numbered 256 and up cannot be recorded in a class value.
//
// Invariant after a successful load: every value that m_cd can return is the
// index of a record, below m_attrNum, and that record's `len` is the byte
// length of the key that leads to it.  The accessors rely on it and do not
// check their index again.
//
// Thread safety: loading must not overlap with any use.  Once loaded, the
// lookups and accessors may be used from several threads.
#ifndef LX_DICT_CUSTOMDICT_H
#define LX_DICT_CUSTOMDICT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Array.h"
#include "base/DoubleArray.h"
#include "base/LHash.h"
#include "dict/Dir.h"

// A record of the secondary lexicon; 8 bytes in "Sec.Prop" (both fields
// little-endian).
struct _cw_t {
  int data;           // data word
  unsigned int len;   // byte length of the word
};

// A record of the user dictionary.
struct _cw_t_ext {
  int data;           // data word
  unsigned int len;   // byte length of the word
  int clsidx;         // class value
};

class CCustomDict {
 public:
  bool m_SysCustomDict;                 // "cusdata.idx" is loaded into m_syscd
  CDir dir;                             // word-list files and their class names
  Darts::DoubleArray m_cd;              // user words or secondary lexicon -> record index
  std::vector<std::string> _clusid2name_vec;  // class id -> class name
  LHash<char*, int> m_idname2id;        // class name -> class id
  Darts2::DoubleArray m_syscd;          // system custom words -> class value
  int m_customNum;                      // number of distinct user words
  _cw_t* m_attr;                        // records of the secondary lexicon, or null
  _cw_t_ext* m_attrusr;                 // records of the user words, or null
  size_t m_ix;
  size_t m_max;
  size_t m_cwMaxLen;                    // byte length of the longest user word, at least 50
  bool m_bphrase;                       // while loading: the current list holds phrases
  Array<Array<short int> > m_word_cls_idx;
  size_t m_attrNum;                     // number of records in m_attrusr or m_attr

  static constexpr unsigned char UNK_POS = 50;  // POS identifier of an unknown POS name
  static const char* const m_cspos[48];     // POS names; position k has identifier k + 1

  // The longest line of a word list, in bytes; a longer line is read as
  // several lines.
  static constexpr int LINE_BUFFER_SIZE = 256;
  // The highest class id that a class value can hold.
  static constexpr int MAX_CLASS_ID = 255;

  CCustomDict();
  ~CCustomDict();
  CCustomDict(const CCustomDict&) = delete;
  CCustomDict& operator=(const CCustomDict&) = delete;

  // Reads the secondary lexicon.  Returns 1, or 0 when a file cannot be
  // opened or read or is not a regular file, "Sec.Prop" is too short for its
  // record count, the double array is not sound, or the lexicon
  // holds a value without a matching record.  A failure is reported with one
  // line "<path>: <reason>" on standard error; the object then holds no
  // lexicon.
  int LoadDict(const char* dictfile, const char* dictprop);

  // Builds the user dictionary from the word lists below `custom_words_dir`
  // after trying the system custom dictionary of `lpszDataDirPath`.  A list
  // holds phrases when its path below "CustomWord" has a "phrase" directory.
  // Returns false when a word list cannot be opened ("unable to open file:
  // <path>" on standard error) or read, or its last line has no line feed
  // and stops inside a character or after the comma before the POS name (it
  // was cut short; "<path>: <reason>"), or the double array cannot be built
  // ("<custom_words_dir>: <reason>"); no user word is then kept.
  bool InitCDict(const char* custom_words_dir, const char* lpszDataDirPath);

  // Reads the class names from `dictmap` and the system custom dictionary
  // from `sysdictfile`.  Returns 1 when both are loaded, otherwise 0.  Both
  // files are optional: an absent one is not reported; one that cannot be
  // read, is not a regular file or is damaged is, with one line
  // "<path>: <reason>" on standard error.  A name is kept at the position of
  // its id, so the class values of "cusdata.idx" name the right classes
  // whatever the order of the lines.  Malformed lines are skipped; an id
  // outside 0 to 255, or a last line without line feed and name (cut
  // short), refuses the file and leaves no class name.
  int LoadSysDict(const char* sysdictfile, const char* dictmap);

  // Accessors by record index (the value m_cd gives for a word).
  int getdata(int i) const { return m_attrusr ? m_attrusr[i].data : m_attr[i].data; }
  unsigned int getlen(int i) const { return m_attrusr ? m_attrusr[i].len : m_attr[i].len; }
  int getidx(int i) const { return m_attrusr ? m_attrusr[i].clsidx : m_attr[i].data >> 7; }
  int bphrase(int i) const { return getdata(i) & 1; }
  unsigned char getpos(int i) const {
    return (unsigned char)(((unsigned int)getdata(i) >> 1) & 0x3F);
  }

  // The POS identifier of a POS name, or UNK_POS.
  static unsigned char getposid(const char* name);
  // The POS name of identifier `id` (1 to 48), else null.
  static const char* getpos(unsigned char id);
  const char* GetPos(int i) const { return getpos(getpos(i)); }

  // idx << 7 | (pos & 255) << 1 | (bphrase != 0).  Bits shifted out of the
  // 32-bit word are lost.
  static int setidxpos(int idx, unsigned char pos, int bphrase);

  int GetClsNum(int cls) const;

  // The names of the class ids packed in `clsid`, joined by "|"; "" for 0.
  // Ids without a name are left out.  `idx` is not used.  The text is built
  // in `out` and stays valid while `out` is unchanged; the form without
  // `out` uses a buffer of the calling thread, valid until its next call.
  const char* GetClsAt(int clsid, int idx, std::string& out) const;
  const char* GetClsAt(int clsid, int idx) const;

  // Adds class id `id` to the class value `value` (see the header comment).
  static int add_class_id(int value, int id);

 private:
  void _clear_records();
  void _clear_classes();
  bool _load_class_names(const char* dictmap);
};

// Walks every node of a double array reachable from its root (`units`,
// `num_units` as saved on disk) and checks that each probe stays inside the
// array, that no key ends at or below a node reached at two different depths
// (a cycle or a malformed sharing), and that every value a search can return
// is below `num` and, when `recs` is not null, is the index of a record whose
// `len` equals the byte length of its key.
bool check_lexicon_values(const void* units, size_t num_units, const _cw_t* recs, size_t num);

#endif  // LX_DICT_CUSTOMDICT_H
