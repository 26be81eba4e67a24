// Segments the text of a gold file with the library itself and scores the
// result, so that a tuning step is one command:
//
//   lxeval --resources DIR --flags N [--pku] GOLD
//
// Each gold line's text (its words joined) is segmented as one LXSegment()
// call in GBK; the tokens of LXGetAt() are the system's words and tags.
#ifndef LX_TRAINER_DEV_SEGMENT_H
#define LX_TRAINER_DEV_SEGMENT_H

#include <ostream>
#include <string>

#include "Eval.h"

namespace lxtrain {

struct DevSegmentOptions {
  std::string resources;  // resource directory for LXInitSeg()
  int flags = 0;          // mode flags of the handle
  bool pku = false;       // LXSetPKUMode() before segmenting
  // Score against the coarse reference of the gold text (CoarseGold, with
  // the organisation suffixes of the resources' "coarse_info").
  bool coarse = false;
};

// False (with `error` set) if the gold file cannot be opened or the library
// does not initialise.  When `sys_out` is given, the system's tokens are
// written to it, one line per gold line, as tab-separated "word/tag".
bool SegmentAndEvaluate(const std::string& gold_path, SegFormat gold_format,
                        const DevSegmentOptions& options, Evaluator& ev, std::string& error,
                        std::ostream* sys_out = nullptr);

}  // namespace lxtrain

#endif  // LX_TRAINER_DEV_SEGMENT_H
