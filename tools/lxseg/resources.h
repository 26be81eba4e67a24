// Finding and loading the segmenter's resources.
#ifndef LXSEG_RESOURCES_H
#define LXSEG_RESOURCES_H

#include <string>

namespace lxseg {

// The resource directory: `data_dir` when given, else $LXWORDSEG_DATA when
// set, else the first that exists of ../share/lxwordseg/resources beside the
// running program (an installation moved to another prefix) and the
// installed resources, else those of the build tree.
std::string resolve_data_dir(const std::string& data_dir);

// Loads the resources of `data_dir` and, unless `user_dict` is empty, the
// user dictionary of that CustomWord directory.  On failure writes a message
// naming the directory to standard error and returns false.
bool load_resources(const std::string& data_dir, const std::string& user_dict);

}  // namespace lxseg

#endif
