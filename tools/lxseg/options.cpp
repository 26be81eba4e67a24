#include "options.h"

#include <CLI/CLI.hpp>

#include "LXPub.h"

namespace lxseg {

int parse_options(int argc, char** argv, Options& opts) {
  CLI::App app{
      "Segments Chinese text into words, one output line per input line.\n"
      "Reads the FILEs, or standard input when there are none or for \"-\"."};
  app.name("lxseg");
  app.set_version_flag("--version", "lxseg " LXSEG_VERSION);

  app.add_option("FILE", opts.inputs, "Input files (\"-\": standard input)");
  app.add_option("-o,--output", opts.output, "Write to FILE instead of standard output")
      ->type_name("FILE");
  app.add_option("--data", opts.data_dir,
                 "Resource directory (default: $LXWORDSEG_DATA, else the installed resources)")
      ->type_name("DIR");
  std::string charset = "utf-8", format = "text";
  app.add_option("--encoding", charset,
                 "Input encoding, utf-8 (default) or gbk; json output is always UTF-8")
      ->transform(CLI::IsMember({"utf-8", "utf8", "gbk"}, CLI::ignore_case).description(""))
      ->type_name("ENC");
  app.add_option("-f,--format", format, "Output format: text (default), tagged, conll or json")
      ->check(CLI::IsMember({"text", "tagged", "conll", "json"}).description(""))
      ->type_name("FORMAT");
  app.add_option("-j,--threads", opts.threads, "Segment with N threads (1 to 256; default: 1)")
      ->check(CLI::Range(1u, 256u).description(""))
      ->type_name("N");

  app.add_flag("--names,!--no-names", opts.names, "Recognise person names (default: on)");
  app.add_flag("--places", opts.places, "Recognise place names");
  app.add_flag("--pos,!--no-pos", opts.pos, "Tag parts of speech (default: on)");
  app.add_flag("--split-surnames,!--no-split-surnames", opts.split_surnames,
               "Split person names into surname and given name (default: on)");
  app.add_flag("--t2s,!--no-t2s", opts.t2s,
               "Read traditional characters as simplified ones (default: on)");
  app.add_flag("--half-width,!--no-half-width", opts.half_width,
               "Read full-width letters and digits as half-width ones (default: on)");
  app.add_flag("--lower", opts.lower, "Read letters as lower case");
  app.add_flag("--coarse", opts.coarse,
               "Coarse units: full names, numerals with their measure words, whole dates and "
               "times, organisation names");
  app.add_flag("--normalised", opts.normalised,
               "Write words as the analysis read them (simplified, half-width, ...) instead of "
               "as the input has them");
  app.add_flag("--pku,!--no-pku", opts.pku,
               "Read full-width digits and letters in numbers as ASCII (default: on)");
  app.add_option("--user-dict", opts.user_dict, "Also match the words of a CustomWord directory")
      ->type_name("DIR");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? exit_ok : exit_usage;
  }
  opts.charset = charset == "gbk" ? Charset::gbk : Charset::utf8;
  opts.format = format == "tagged" ? Format::tagged
                : format == "conll" ? Format::conll
                : format == "json"  ? Format::json
                                    : Format::text;
  return -1;
}

int mode_flags(const Options& opts) {
  int mode = 0;
  if (opts.names) mode |= LX_CN;
  if (opts.places) mode |= LX_LN;
  if (opts.pos) mode |= LX_POS;
  if (opts.split_surnames) mode |= LX_PGU;
  if (opts.t2s) mode |= LX_T2S;
  if (opts.half_width) mode |= LX_S2D;
  if (opts.lower) mode |= LX_U2L;
  if (!opts.normalised) mode |= LX_ORIG;
  if (!opts.user_dict.empty()) mode |= LX_USR;
  if (opts.coarse) mode |= LX_COARSE;
  return mode;
}

}  // namespace lxseg
