// The LXWordSeg command-line tool, apart from its thin main.
#ifndef LXWORDSEG_TOOL_H
#define LXWORDSEG_TOOL_H

namespace lxwordseg {

// Runs `LXWordSeg dictdir input output flag` (see LXWordSeg.1) and returns
// the exit status: 0 on success, 1 when the resources cannot be loaded, a
// file cannot be opened or written or a line cannot be segmented, 2 for
// wrong arguments.  Messages go to standard error.
int run(int argc, char** argv);

}  // namespace lxwordseg

#endif
