// CSegmentPN: the segmenter of every handle.  It is a CSegment whose
// per-sentence pipeline adds the named-entity stages (person and location
// names with the class-based best path) and bigram POS tagging.
#ifndef LX_SEG_CLASSSEGPN_H
#define LX_SEG_CLASSSEGPN_H

#include <cstddef>

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

  // Runs the person-name and location-name stages and, when they added an
  // entity, the class-based best path.  False when role tagging fails.
  bool _recognize_entities();
  // Prefetches the role and POS lists of the chosen path's words.
  void _prefetch_path_lists() const;

  NeContextType m_ne_ctx;
  int m_ne_count;  // entity items added to the current sentence's lattice
  // Taggers with their per-handle work areas.
  CRoleTagger m_role_tagger;
  CPosTagger m_pos_tagger;
};

#endif  // LX_SEG_CLASSSEGPN_H
