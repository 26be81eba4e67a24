// The command line of lxseg.
#ifndef LXSEG_OPTIONS_H
#define LXSEG_OPTIONS_H

#include <string>
#include <vector>

#include "charset.h"
#include "format.h"

namespace lxseg {

struct Options {
  std::vector<std::string> inputs;  // "-" is standard input; none: standard input
  std::string output;               // empty: standard output
  std::string data_dir;             // empty: LXWORDSEG_DATA, then the default sets
  std::string user_dict;            // a CustomWord directory, or empty
  Charset charset = Charset::utf8;
  Format format = Format::text;
  unsigned threads = 1;
  bool names = true;           // LX_CN
  bool places = false;         // LX_LN
  bool pos = true;             // LX_POS
  bool split_surnames = true;  // LX_PGU
  bool t2s = true;             // LX_T2S
  bool half_width = true;      // LX_S2D
  bool lower = false;          // LX_U2L
  bool coarse = false;         // LX_COARSE
  bool normalised = false;     // drops LX_ORIG
  bool pku = true;             // LXSetPKUMode
};

// Exit statuses of the tool.
enum ExitStatus { exit_ok = 0, exit_failure = 1, exit_usage = 2 };

// Parses the command line into `opts`.  Returns -1 to go on, or the status to
// exit with at once (after --help, --version or a usage error, which has
// been reported).
int parse_options(int argc, char** argv, Options& opts);

// The mode flags of LXCreateSegHandle() that `opts` select.
int mode_flags(const Options& opts);

}  // namespace lxseg

#endif
