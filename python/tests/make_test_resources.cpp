// Writes the test resource set (lxtest::default_resource_plan) into the
// directory given on the command line, for the Python test suite.
//
//   make_test_resources <output-directory>
//
// The directory is created if needed; existing files in it are replaced.
#include <cstdio>
#include <filesystem>

#include "support/resource_builder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output-directory>\n", argv[0]);
    return 2;
  }
  lxtest::ResourceDir dir;  // a temporary directory, removed at the end
  if (!dir.build(lxtest::default_resource_plan())) {
    std::fprintf(stderr, "cannot build the resources: %s\n", dir.error().c_str());
    return 1;
  }
  try {
    std::filesystem::create_directories(argv[1]);
    std::filesystem::copy(dir.path(), argv[1], std::filesystem::copy_options::recursive |
                                                   std::filesystem::copy_options::overwrite_existing);
  } catch (const std::filesystem::filesystem_error& e) {
    std::fprintf(stderr, "cannot copy the resources: %s\n", e.what());
    return 1;
  }
  return 0;
}
