// CSegTokensSaver: turns the best path of each sentence into the result
// arrays of a segmentation handle, and hands the result out again.
//
// Per call of the handle's segment():
//
//     saver.reset(); saver.set_charset(charset);
//     for each sentence:
//       saver.m_pcustomwords = &matcher;
//       saver.save_tokens(&lattice, text, textlen, charset);
//       cut for length ? back = saver.compute_back_len() : saver.save_spliter(sep, n);
//     saver.save_info_for_compatible();
//     ... get_result(), get_tokens_count(), get_word_at() ...
//
// Arrays.  Fine tokens (m_seg_tokens) are the words of every path, in path
// order, each word contributing one or more tokens according to the word-type
// rules, and each sentence followed by its separator token.  Thick tokens,
// custom tokens and custom phrases (comb_token_t) span fine tokens by index
// (sidx..eidx); indices count from the first fine token of the whole call.
// Every token text is a NUL-terminated GBK copy in the string arena
// m_str_buffer.  All of it stays valid until the next reset().
//
// Per sentence, m_word_sect_num[w] is the number of fine tokens path word w
// produced; the custom tokens of the sentence are mapped onto fine tokens
// through it.  The path word numbering is the custom word matcher's (one word
// per step of the nNextLen walk), so every step records a count, 0 for a step
// that yields no token.
//
// Safety.  Everything the rules take from outside -- lattice items, rule
// records of the basic dictionary, the matcher's candidates -- is checked
// before use: no token is ever cut outside its word or outside the sentence,
// and no index leaves its array.  A part that does not fit is skipped; a word
// that a rule would leave without any token is output whole instead.
//
// Storage.  Arrays and the arena keep their storage across reset(), so a
// steady workload allocates nothing.
#ifndef LX_SEG_SEGTOKENS_SAVER_H
#define LX_SEG_SEGTOKENS_SAVER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "LXPub.h"
#include "base/Array.h"
#include "base/LHash.h"
#include "base/SVector.h"
#include "dict/NerResource.h"
#include "seg/lattice.h"

class CBasicDict;
class CCustomwordMatcher;
struct rule_block_t;

// One entry of a transliterated name split at its separators.
struct _pn_part_t {
  size_t begin_pos;   // byte offset within the name
  size_t len;         // byte length
  bool is_separator;
};

class CSegTokensSaver {
 public:
  static constexpr size_t FUXIN_LEN = 4;       // byte length of a compound surname
  static constexpr size_t MAX_SECTS_NUM = 20;  // capacity of m_wordpart
  static constexpr size_t WORDBUF_SIZE = 4096;

  // Kinds of the entries of the index views: (index << 2) | kind.
  enum { KIND_FINE = 0, KIND_CUSTOM = 1, KIND_PHRASE = 2 };

  CSegTokensSaver();
  ~CSegTokensSaver();
  CSegTokensSaver(const CSegTokensSaver&) = delete;
  CSegTokensSaver& operator=(const CSegTokensSaver&) = delete;

  // Stores the shared dictionaries (any may be null: the rules that need one
  // are then skipped) and derives the mode flags from the mode word.
  void prepare_save(CBasicDict* pbasicdict, HashDict* pfuxingdict, HashDict* plssfdict,
                    int seg_mode);

  // Start of a segment() call: every count and array size back to 0, the
  // arena rewound.  Storage is kept.
  void reset();

  // The charset of the current call (LX_GBK or another value, read as UTF-8);
  // decides whether the word-by-word readers convert to UTF-8.
  void set_charset(int charset) { m_ncharset = charset; }
  void set_out_mode(int out_mode) { m_out_mode = out_mode; }

  // Saves one sentence: the path of `plattice` over `text` (textlen bytes;
  // item positions are offsets into it), then, with LX_USR, the custom words
  // that m_pcustomwords selected.
  void save_tokens(CLattice* plattice, const char* text, size_t textlen, int charset);

  // --- Between sentences and after the last one (result_views.cpp) ---------

  // Appends the separator that ended a sentence as a fine token tagged "w".
  void save_spliter(const char* spliter, size_t spliter_len);
  // Takes back the last two fine tokens of a sentence cut for length and
  // returns their byte length, or 0 when nothing is taken back.
  size_t compute_back_len();
  // Builds the output-word and output-phrase views.
  void save_info_for_compatible();

  // --- Result access (result_views.cpp) ------------------------------------

  void get_result(seg_tokens_t& seg_tokens);
  size_t get_tokens_count();
  // Readers: null for an index outside the current view.
  const char* get_word_at(size_t index);
  WP* get_word_info_at(size_t index);
  ms_word_t* get_ms_word_at(size_t index);
  ms_wp_t* get_ms_word_info_at(size_t index);
  // The word in UTF-8 (NUL-terminated, valid until the next reader call), or
  // the GBK word itself if it cannot be converted.
  const char* _convert_word(const char* word, size_t nLen);

  // --- Word savers ----------------------------------------------------------

  void _save_factoid_word(tSegItemInfo* pCurtItem);
  void _save_location_word(tSegItemInfo* cur_item);
  void _save_other_word(tSegItemInfo* pCurtItem);
  int get_suffix_len(const char* str, int pos, int len);
  void _save_name_word(tSegItemInfo* pCurtItem);
  void _split_trans(tSegItemInfo* pCurtItem);
  void _save_mulseg_word(tSegItemInfo* pCurtItem);
  // Emits one segmentation of a type-88 word laid out from the word's start.
  void _save_rule_words(const char* word, size_t wlen, const rule_block_t& block,
                        const uint8_t* pos, size_t pos_num, unsigned char wtype);
  void _save_custom_tokens();

  // --- Emission -------------------------------------------------------------

  // Appends a fine token (a copy of wlen bytes at word).
  void _save_word(const char* word, size_t wlen, unsigned char pos, unsigned char type);
  // Appends a thick token of the whole word over fine tokens sidx..eidx.
  void _save_thick_word(const char* word, size_t wlen, unsigned char pos, size_t sidx,
                        size_t eidx);

  bool _is_name_separator(const char* str, size_t len);
  int _is_signle_hanzi_num(const char* str, int len);

  // Coarse POS identifier of `pos` (identity beyond the table).
  static unsigned char map_pos(unsigned pos) {
    return pos < sizeof(CNerResource::POSMAP) ? CNerResource::POSMAP[pos] : (unsigned char)pos;
  }

  // --- Data -------------------------------------------------------------------

  CCustomwordMatcher* m_pcustomwords;

  svector m_str_buffer;
  Array<uint64_t> m_word_sect_num;
  uint32_t m_word_num;
  Array<_token_t> m_seg_tokens;
  size_t m_seg_token_num;
  size_t m_seg_old_token_num;
  Array<_comb_token_t> m_thick_tokens;
  Array<_comb_token_t> m_custom_tokens;
  Array<_comb_token_t> m_phrase_tokens;
  size_t m_thick_num;
  size_t m_custom_num;
  size_t m_phrase_num;
  Array<uint64_t> m_outword_idx;
  Array<uint64_t> m_outphrase_idx;
  size_t m_outword_num;
  size_t m_outphrase_num;

  HashDict* m_pfuxingdict;
  HashDict* m_plocation_suffix_dict;
  CBasicDict* m_pbasicdict;

  const char* m_ptext;
  size_t m_textlen;

  bool m_bpostag;
  bool m_bsecpos;
  bool m_bsgu;
  bool m_bfgu;
  bool m_blgu;
  bool m_bpgu;
  bool m_bengu;
  bool m_bwms;
  bool m_bwgu;
  bool m_bpms;
  bool m_bnew_result;
  bool m_busr;

  char m_wordbuf[WORDBUF_SIZE];  // scratch: surname key, short converted words
  WP m_word_pos;
  ms_word_t m_ms_word;
  ms_wp_t m_ms_word_pos;
  _pn_part_t m_wordpart[MAX_SECTS_NUM];
  size_t m_part_num;
  int m_out_mode;
  int m_ncharset;

  // UTF-8 form of a word too long for m_wordbuf; grows as needed and keeps
  // its storage, so a long word is never handed back in GBK for lack of room.
  std::vector<char> m_convbuf;

 private:
  // One output item of the readers.
  struct item_ref_t {
    const char* word;
    size_t wlen;
    int pos;
    bool bcw;
    int cls;
    int idx;  // the fine token's wtype, 0 for custom words and phrases
  };

  // Saves the path item of one walk step (null or unusable: count 0).
  void _save_path_item(tSegItemInfo* item);
  // Appends the part [off, off + len) of the word at `word` (wlen bytes) as a
  // fine token, unless it is empty or leaves the word.  True if appended.
  bool _save_part(const char* word, size_t wlen, size_t off, size_t len, unsigned char pos,
                  unsigned char wtype);
  // Ends the current word: its count is the number of fine tokens appended
  // since `first`; with LX_NEW_RES and `thick` a thick token spans them.
  void _end_word(size_t first, bool thick, const char* word, size_t wlen, unsigned char pos);
  // Emits the whole word as one fine token and ends it.
  void _save_whole(const char* word, size_t wlen, unsigned char pos);
  unsigned char _tag_or_0(unsigned pos) const { return m_bpostag ? (unsigned char)pos : 0; }
  // The text of an item, or null when it does not lie inside the sentence.
  const char* _item_text(const tSegItemInfo* item) const;
  bool _select(size_t index, item_ref_t& ref);
  const char* _out_word(const item_ref_t& ref);
};

#endif  // LX_SEG_SEGTOKENS_SAVER_H
