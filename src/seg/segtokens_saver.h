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
#include "seg/source_map.h"

class CBasicDict;
class CCoarseData;
class CCustomwordMatcher;
struct coarse_token_t;
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
  // The organisation data of coarse mode (LX_COARSE); null for none.
  void set_coarse_data(const CCoarseData* data) { m_pcoarse = data; }
  // Where the tokens of the current call come from (the handle's map, set
  // for each sentence) and whether words are written as the caller wrote
  // them (LX_ORIG).  With LX_ORIG and UTF-8 input the caller's text is
  // copied, so that the readers never need it again.
  void set_source(const CSourceMap* map, bool orig);

  // Saves one sentence: the path of `plattice` over `text` (textlen bytes;
  // item positions are offsets into it), then, with LX_USR, the custom words
  // that m_pcustomwords selected.
  void save_tokens(CLattice* plattice, const char* text, size_t textlen, int charset);

  // --- Between sentences and after the last one (result_views.cpp) ---------

  // Appends the separator that ended a sentence as a fine token tagged "w":
  // `spliter` is its output text, [gbk_off, gbk_off + gbk_len) its bytes in
  // the paragraph.
  void save_spliter(const char* spliter, size_t spliter_len, size_t gbk_off = 0, size_t gbk_len = 0);
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
  // Byte span in the caller's text of the record at `index` of the current
  // view, and of fine token `index`; false outside the list.
  bool get_span(size_t index, size_t& begin, size_t& len);
  bool get_token_span(size_t index, size_t& begin, size_t& len);
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
  // LX_COARSE (coarse_merge.cpp): joins the fine tokens of the sentence from
  // `first` on by the coarse rules, the thick tokens from `thick_first` on
  // following them; then, without LX_POS, clears every tag but nr.
  void _coarse_merge(size_t first, size_t thick_first);
  void _coarse_untag(size_t first, size_t thick_first);

  // --- Emission -------------------------------------------------------------

  // A NUL-terminated copy of `len` bytes in the arena; throws std::bad_alloc
  // when memory runs out.
  const char* _store(const char* text, size_t len);
  // Appends a fine token (a copy of wlen bytes at word, which lies in the
  // sentence).
  void _save_word(const char* word, size_t wlen, unsigned char pos, unsigned char type);
  // Appends a fine token with its text, the paragraph bytes [g0, g1) it came
  // from and, for a token cut from the sentence, its sentence offset (else
  // kNotInSentence).
  void _push_token(const char* text, size_t len, unsigned char pos, unsigned char type, size_t g0,
                   size_t g1, size_t norm_off);
  // Appends a thick token of the whole word over fine tokens sidx..eidx.
  void _save_thick_word(const char* word, size_t wlen, unsigned char pos, size_t sidx,
                        size_t eidx);

  bool _is_name_separator(const char* str, size_t len);

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
  // The output views (result_views.cpp) list only the custom words and
  // phrases that replace fine tokens; the entries between them are the fine
  // tokens in order, so a view costs nothing per fine token.
  struct view_item_t {
    size_t out;     // index in the view
    size_t code;    // (index << 2) | kind
    size_t resume;  // the fine token that follows the item
  };
  Array<view_item_t> m_outword_items;
  Array<view_item_t> m_outphrase_items;
  size_t m_outword_item_num;
  size_t m_outphrase_item_num;
  size_t m_outword_num;  // entries of the views
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
  bool m_bcoarse;
  bool m_bcoarse_untag;  // LX_COARSE without LX_POS: tags only to join tokens
  const CCoarseData* m_pcoarse;
  Array<coarse_token_t> m_coarse_view;  // the sentence's tokens as the rules read them
  Array<size_t> m_coarse_map;           // old token (from the sentence's first) -> new
  // Per path word of the sentence, when tokens were joined: bit 0, the word
  // begins inside a joined token; bit 1, it ends inside one.  A custom word
  // that would cut a joined token there is left out.
  Array<uint8_t> m_coarse_cut;
  bool m_coarse_joined;

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

  // --- Where the tokens came from (token_sources.cpp) -------------------------

  static constexpr size_t kNotInSentence = (size_t)-1;
  // Byte span of a fine token in the caller's text (texts are shorter than
  // 4 GB).
  struct span_t {
    uint32_t begin;
    uint32_t len : 31;
    // The token's UTF-8 form is the caller's bytes (UTF-8 text that
    // normalisation left as it was).
    uint32_t same : 1;
  };
  // The UTF-8 output of a fine token that has units which are not plain GBK
  // characters (a NUL-terminated copy in the arena), in token order.
  struct utf8_word_t {
    size_t token;
    const char* text;
  };
  Array<span_t> m_spans;  // parallel to m_seg_tokens (grows, never shrinks)
  Array<utf8_word_t> m_utf8_words;
  size_t m_utf8_word_num;
  const CSourceMap* m_srcmap;
  bool m_borig;
  // Set by the handle for each sentence: normalisation left the UTF-8
  // sentence as it was, so its tokens read back as the caller's bytes.
  bool m_sentence_same;
  std::vector<char> m_src_copy;  // the caller's UTF-8 text
  std::vector<char> m_scratch;

  // The paragraph bytes of the sentence range [off, off + len).
  void _gbk_range(size_t off, size_t len, size_t& g0, size_t& g1) const {
    g0 = g1 = 0;
    if (m_srcmap == 0 || off > m_textlen || len > m_textlen - off) return;
    g0 = m_srcmap->norm_to_gbk(off);
    g1 = m_srcmap->norm_to_gbk(off + len);
  }
  // Text to store for a sentence range: the range itself, or with LX_ORIG
  // the paragraph bytes it came from.
  void _stored_text(const char*& text, size_t& len) const;
  // Records the UTF-8 output of the token just pushed if it needs one (only
  // for UTF-8 text with units that are not exact, without LX_ORIG).
  void _note_utf8_word(size_t token, const char* text, size_t len, size_t g0, size_t g1,
                       size_t norm_off);
  const char* _utf8_word(size_t token) const;
  // Copies `len` bytes into the reader buffer, NUL-terminated.
  const char* _copy_out(const char* bytes, size_t len);

 private:
  // One output item of the readers.
  struct item_ref_t {
    size_t at;      // index in its list
    unsigned kind;  // KIND_FINE, KIND_CUSTOM or KIND_PHRASE
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
  // Builds one view (with the custom phrases or without) into `items`;
  // returns its number of entries.
  size_t _build_view(Array<view_item_t>& items, size_t& item_num, bool phrases);
  // The code ((index << 2) | kind) of entry `index` of a view.
  uint64_t _view_code(const Array<view_item_t>& items, size_t item_num, size_t index) const;
  bool _select(size_t index, item_ref_t& ref);
  bool _span_of(const item_ref_t& ref, size_t& begin, size_t& len);
  // The text a reader returns for `ref`: GBK as stored, or UTF-8.
  const char* _out_word(const item_ref_t& ref) {
    if (m_ncharset == LX_GBK || ref.word == 0) return ref.word;
    if (m_utf8_word_num == 0 && !m_borig && ref.kind == KIND_FINE) {
      const span_t& s = m_spans[(long)ref.at];
      if (s.same && (size_t)s.begin + s.len <= m_src_copy.size())
        return _copy_out(m_src_copy.data() + s.begin, s.len);
      return _convert_word(ref.word, ref.wlen);
    }
    return _out_word_utf8(ref);
  }
  const char* _out_word_utf8(const item_ref_t& ref);
};

#endif  // LX_SEG_SEGTOKENS_SAVER_H
