// CSegmentPN: the segmenter of every handle.  It is a CSegment whose
// per-sentence pipeline adds the named-entity stages (person and location
// names with the class-based best path) and bigram POS tagging, and it owns
// the process-wide tables of the person-name recognizer (Init/UnInit).
#ifndef LX_SEG_CLASSSEGPN_H
#define LX_SEG_CLASSSEGPN_H

#include <cstddef>

#include "base/LHash.h"
#include "base/Trie.h"
#include "seg/ClassSeg.h"
#include "seg/ne_context.h"
#include "seg/pos_tagger.h"
#include "seg/role_tagger.h"

class CSegmentPN : public CSegment {
 public:
  // Entity types.
  enum { PN = 1, LN = 2, ON = 3, POS = 4 };

  static constexpr size_t MAX_TRANS_LEN = 32;
  static constexpr size_t MAX_NE_ITEM_COUNT = NeContextType::MAX_NE_ITEM_COUNT;
  static constexpr size_t MAX_LN_CHINA_PREFIX_LEN = 6;
  static constexpr size_t MAX_LN_TRANS_PREFIX_LEN = 10;

  CSegmentPN(int mode, size_t nodes);
  ~CSegmentPN() override;

  // The pipeline of one sentence with the named-entity and POS stages.
  bool _segment(const char* text, size_t len) override;

  // Builds the Chinese-numeral dictionary and the person-name pattern trie
  // (replacing earlier ones).  Returns 1.
  static int Init();
  // Frees the numeral dictionary and empties the pattern tries.
  static void UnInit();

  // Runs the person-name and location-name stages and, when they added an
  // entity, the class-based best path.  False when role tagging fails.
  bool _recognize_entities();

  NeContextType m_ne_ctx;
  int m_ne_count;  // entity items added to the current sentence's lattice
  // Taggers with their per-handle work areas.
  CRoleTagger m_role_tagger;
  CPosTagger m_pos_tagger;

  static const char* const* m_ptr_pn_modes;
  static HashDict* m_hanzi_number_dict;
  static Trie<int, int> m_pn_mode_trie;
  static Trie<int, int> m_ln_mode_trie;
};

#endif  // LX_SEG_CLASSSEGPN_H
