// Custom dictionary resources: turns a source directory of custom words into
// the files that the library reads at start-up.
//
// Source layout (all word files GBK):
//   <source>/CustomWord/...      the user word lists, copied as they are; a
//                                list's class is the directory path that
//                                holds it below "CustomWord", lists below a
//                                "phrase" directory hold phrases
//   <source>/id_custname.dict    optional: the system class names, one
//                                "<id>\t<name>" per line, ids 0, 1, 2, ... in
//                                order (id 0 reads as "no class" everywhere)
//   <source>/cusdata.txt         optional (needs id_custname.dict): the system
//                                custom words, one "<word>\t<name>[|<name>...]"
//                                per line, at most four class names; lines
//                                starting with "#" and empty lines are skipped
//
// Output: <out>/CustomWord (replaced as a whole), and, when the source has
// id_custname.dict, <out>/id_custname.dict and <out>/cusdata.idx.  The output
// depends on nothing but the source bytes: directories are walked in byte
// order and no time stamp or path is recorded, so two runs give identical
// files.
//
// Everything is checked before anything is written, so that a mistake does
// not leave a half-updated resource directory.  The word lists are checked
// against what the loader would otherwise silently mangle or drop: lines
// longer than the loader's 255-byte line buffer, entries whose POS name is
// unknown, empty words and text that is not GBK.
#ifndef LX_TRAINER_CUSTOMRESOURCES_H
#define LX_TRAINER_CUSTOMRESOURCES_H

#include <string>

// Writes the custom dictionary resources of `source_dir` into `out_dir`
// (which must exist).  On failure returns false with a message in `error`
// naming the file (and line) at fault; `out_dir` is then unchanged unless the
// failure happened while writing.
bool write_custom_resources(const std::string& source_dir, const std::string& out_dir,
                            std::string& error);

// Checks the bytes of one word list as the loader reads them.  False with a
// message ("line N: ...") in `error` for the first bad line.
bool check_custom_word_list(const std::string& content, std::string& error);

#endif  // LX_TRAINER_CUSTOMRESOURCES_H
