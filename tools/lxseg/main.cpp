// lxseg: segments Chinese text with the LXWordSeg library, one output line
// per input line.  See lxseg.1.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

#include "LXSegFunc.h"
#include "options.h"
#include "pipeline.h"
#include "resources.h"

namespace {

int run(int argc, char** argv) {
  lxseg::Options opts;
  const int parsed = lxseg::parse_options(argc, argv, opts);
  if (parsed >= 0) return parsed;

  // The resources come first, so that a bad --data fails before any input is read.
  const std::string data_dir = lxseg::resolve_data_dir(opts.data_dir);
  if (!lxseg::load_resources(data_dir, opts.user_dict)) return lxseg::exit_failure;

  FILE* out = stdout;
  std::string out_name = "standard output";
  if (!opts.output.empty() && opts.output != "-") {
    out_name = opts.output;
    out = std::fopen(opts.output.c_str(), "wb");
    if (!out) {
      std::fprintf(stderr, "lxseg: %s: %s\n", opts.output.c_str(), std::strerror(errno));
      LXUnInitSeg();
      return lxseg::exit_failure;
    }
  }
  int status = lxseg::run_pipeline(opts, out, out_name);
  if (out != stdout && std::fclose(out) != 0 && status == lxseg::exit_ok) {
    std::fprintf(stderr, "lxseg: %s: %s\n", out_name.c_str(), std::strerror(errno));
    status = lxseg::exit_failure;
  }
  LXUnInitSeg();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lxseg: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "lxseg: unknown exception\n");
  }
  return lxseg::exit_failure;
}
