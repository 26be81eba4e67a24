// The segmentation pipeline: the calling thread reads batches of lines, a
// pool of workers (one segmentation handle each) segments and formats them,
// and a writer thread writes the results in input order.
#ifndef LXSEG_PIPELINE_H
#define LXSEG_PIPELINE_H

#include <cstdio>
#include <string>

#include "options.h"

namespace lxseg {

// Segments the inputs of `opts` into `out` (named `out_name` in messages),
// with the resources loaded.  Returns the exit status: exit_failure when an
// input could not be read, a line could not be segmented or the output could
// not be written (each reported on standard error), else exit_ok.
int run_pipeline(const Options& opts, FILE* out, const std::string& out_name);

}  // namespace lxseg

#endif
