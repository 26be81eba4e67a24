// CSegment: the segmentation driver.
//
// The class has two halves.
//
// Shared resources (static members).  load_resource() builds a complete
// CResourceSet aside (seg/resource_set.h: dictionaries, models, tables,
// factoid recognizer, rules, t2s tables, named-entity lists, secondary
// lexicon, character classes) and publishes it only when every file loaded;
// after a failure the previous set stays published.  load_user_dict() builds
// the user's custom dictionary aside and publishes it.  A published set and
// user dictionary never change (except the recognizer modes of the factoid
// recognizer, see set_pku_mode), and publishing swaps a shared_ptr under a
// mutex, so loading may run while other threads segment.
//
// One handle (an object).  Everything that one segment() call needs lives in
// the object and is sized at construction: the lattice with its producer, two
// normalisation buffers, the sentence splitter, the custom word matcher and
// the token saver with all result arrays.  After a warm-up, segmenting
// allocates nothing unless a text is longer than any before it (conversion
// buffer) or produces more tokens than any before it (result arrays).
//
// Snapshots.  Each publication bumps s_generation.  At the start of every
// segment() a handle whose generation differs takes the published set and
// user dictionary (shared_ptr copies) and re-binds its producer, saver and
// matcher to them.  It holds them until its next segment() or its
// destruction, so its results (class names included) never refer to a freed
// object, and segment() returns false while no set is published.
//
// Pipeline of one sentence (_segment): normalisation -> lattice ->
// rule-based best path -> ambiguity passes -> (CSegmentPN: named entities,
// POS tags) -> custom words -> token saver.
#ifndef LX_SEG_CLASSSEG_H
#define LX_SEG_CLASSSEG_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "LXPub.h"
#include "base/LHash.h"
#include "lm/Prob.h"
#include "seg/ambiguity.h"
#include "seg/customword_matcher.h"
#include "seg/lattice.h"
#include "seg/lattice_producer.h"
#include "seg/resource_set.h"
#include "seg/segtokens_saver.h"
#include "seg/source_map.h"

class CSentenceSpliter;

class CSegment {
 public:
  // Node capacity every handle is created with, and the longest sentence the
  // splitter hands out.
  static constexpr size_t kNodeCapacity = 4096;
  static constexpr uint32_t kMaxSentenceLen = 2048;
  // Size of the normalisation buffers: a sentence of kNodeCapacity bytes and
  // its NUL.
  static constexpr size_t kNormBufSize = CLattice::kMaxNodes;
  // Initial size of the charset conversion buffer.
  static constexpr size_t kInitialConvBufSize = 4096;
  // Shape of the transition tables.
  static constexpr size_t kRoleTTDim = CResourceSet::kRoleTTDim;
  static constexpr size_t kPosTTDim = CResourceSet::kPosTTDim;
  // Marks a normalised position that does not start a character of the
  // original sentence (see m_raw_offset).
  static constexpr uint16_t kNoRawOffset = 0xFFFF;

  CSegment(int mode, size_t nodes);
  virtual ~CSegment();
  CSegment(const CSegment&) = delete;
  CSegment& operator=(const CSegment&) = delete;

  // --- Shared resources ---------------------------------------------------

  // Loads a new shared set from the paths of `res` and publishes it when
  // every file loaded (true); otherwise the set published before stays (the
  // loader that failed names its file on standard error).  The user
  // dictionary is left alone.  The PKU mode and the ASCII mode of live LX_ASC
  // handles carry over to the new set.
  static bool load_resource(const DictResource& res);
  // Withdraws the shared set and the user dictionary, and ends PKU mode.
  static void unload_resource();
  // Builds the user dictionary from the "CustomWord" directory `dir` (the
  // system custom dictionary is looked for in `data_dir`) and publishes it in
  // place of the one before; false when a word list failed (the dictionary
  // published then holds no user word).
  static bool load_user_dict(const char* dir, const char* data_dir);
  static void unload_user_dict();
  // Puts the factoid recognizer of the published set, and of every set
  // published later until unload_resource(), into PKU mode.
  static void set_pku_mode();
  // The published set and user dictionary (null when none).
  static std::shared_ptr<const CResourceSet> published_resources();
  static std::shared_ptr<const CCustomDict> published_user_dict();

  // --- One handle ---------------------------------------------------------

  // Segments `len` bytes of `text` in `charset` (LX_GBK; any other value is
  // UTF-8).  The result replaces the previous one in the saver.  False when
  // no resources are loaded, the text is too long for the splitter's 32-bit
  // positions, or a sentence fails; results gathered before the failure stay
  // readable.
  bool segment(const char* text, size_t len, size_t charset);

  // One sentence (at most kNodeCapacity bytes).
  virtual bool _segment(const char* text, size_t len);
  // Front end shared by every pipeline: normalisation, lattice, rule-based
  // best path.  `done` is set when the sentence needs nothing more (it is empty);
  // false when a stage failed.
  bool _build_best_path(const char* text, size_t len, bool& done);

  // Normalises m_pText/m_nTextLen into m_str_norm (full-width ASCII to ASCII
  // with LX_S2D, traditional to simplified with LX_T2S) and m_str_norm_u2l
  // (the same, ASCII lower-cased), and points m_pText at the latter.
  void _normalize();
  // UTF-8 -> GBK units (base/utf8_units.h) into the conversion buffer;
  // `text`/`len` then name the result.  False (nothing changed) when the
  // buffer cannot be allocated.
  bool _convert_charset(const char*& text, size_t& len);
  // GBK -> UTF-8 into the conversion buffer; `word`/`len` then name the
  // NUL-terminated result.  Left unchanged when the conversion fails.
  void convert_word_charset_to_utf8(const char*& word, size_t& len);
  // Saves the separator that ended the last sentence.
  void _save_spliter();
  // Withdraws the last two tokens of a sentence cut for length and returns
  // how many bytes of the original text the next sentence must step back.
  size_t _compute_back_len();

  // Rule-based best path (seg/best_path.h) with the handle's resources.
  bool _short_path_search_rule();
  bool _short_path_set();

  // Ambiguity passes over the chosen path (seg/ambiguity.h).
  void _clear_cob_ovp_amb();
  void _clear_amb_by_userrule();
  void _clear_cob_by_seclex();

  // Runs the custom word matcher on the sentence (LX_USR) and saves the
  // tokens of the lattice (back end shared by every pipeline).
  void _finish_sentence();

  // --- Results ------------------------------------------------------------

  // Readers: null for an index outside 0 .. get_tokens_count() - 1.
  int get_tokens_count();
  const char* get_word_at(int index);
  WP* get_word_pos_at(int index);
  ms_word_t* get_ms_word_at(int index);
  ms_wp_t* get_ms_word_pos_at(int index);
  bool get_span_at(int index, size_t& begin, size_t& len);
  void get_result(seg_tokens_t& seg_tokens);
  // Class count and names of a class value, from the user dictionary this
  // handle segmented with; the names stay valid until the next call on the
  // handle, its next segment() or its destruction.
  int get_class_num(int cls) const;
  const char* get_class_at(int cls, int idx);

  void set_seg_mode(int mode);
  void setOutMode(OutMode mode);

  // Takes the published set and user dictionary when they changed since the
  // handle last took them (called at construction and at the start of every
  // segment()), and binds the producer, saver and matcher to them.
  void _take_snapshot();
  void _bind_resources();
  // Whether the handle holds a set it can segment with.
  bool resources_ready() const { return m_res != nullptr; }

  // --- Per-handle data ----------------------------------------------------

  const char* m_pText;
  size_t m_nTextLen;
  CLattice m_lattice;
  CLatticeProducer m_lattice_builder;
  CCustomwordMatcher m_customword_matcher;
  const size_t m_nNodeMaxNum;
  CSentenceSpliter* m_sentbreaker;
  CSegTokensSaver m_segtoken_saver;
  char m_str_norm[kNormBufSize];
  char m_str_norm_u2l[kNormBufSize];
  size_t m_ncharset;
  char* m_buffer_for_charset_conv;
  // Bytes allocated for m_buffer_for_charset_conv.  Wider than 32 bits: the
  // buffer of a UTF-8 text of up to 4 GB is twice its length.
  size_t m_buf_charset_conv_size;
  uint32_t m_wids[100];
  uint32_t GESHU_INDEX;

  bool m_bs2d;
  bool m_bt2s;
  bool m_bu2l;
  bool m_bconv;
  bool m_bpms;
  bool m_bperson;
  bool m_bpos;
  bool m_bCUT;
  bool m_bcw;
  bool m_bascii;
  bool m_bLocation;
  bool m_borig;

  // The ambiguity passes over m_lattice, bound to the shared resources.
  CAmbiguityResolver m_amb_resolver;
  // The mode word the handle was created with.
  int m_mode;
  // Original (pre-normalisation) length of the current sentence, and for each
  // normalised position 0..m_nTextLen the offset in the original sentence
  // where the character at that position came from (kNoRawOffset inside a
  // character that normalisation kept as two bytes).  LX_S2D shortens the
  // sentence, so a back length measured on the normalised tokens has to be
  // translated before the splitter steps back in the original text.
  size_t m_raw_len;
  uint16_t m_raw_offset[kNormBufSize];
  // Where the paragraph and each sentence came from in the caller's text:
  // for UTF-8 input, the caller's offset of the unit of every GBK byte of
  // the converted paragraph (utf8_to_gbk_units).
  CSourceMap m_srcmap;
  std::vector<uint32_t> m_conv_at;
  size_t m_conv_special = 0;
  // The set and user dictionary this handle segments with, and the
  // publication generation they were taken at.
  std::shared_ptr<const CResourceSet> m_res;
  std::shared_ptr<const CCustomDict> m_user_dict;
  uint64_t m_snapshot_gen;
  // Text of get_class_at().
  std::string m_cls_result;

 private:
  bool _valid_index(int index);
  // Counts a live LX_ASC handle in (+1, putting the published factoid
  // recognizer into ASCII mode) or out (-1).
  static void _count_ascii_handle(int delta);
  // Makes sure the conversion buffer holds at least `need` bytes (exactly
  // that many when it grows).  False when allocation fails.
  bool _reserve_conv_buffer(size_t need);
};

#endif  // LX_SEG_CLASSSEG_H
