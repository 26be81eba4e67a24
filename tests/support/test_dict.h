// A basic dictionary for one test: entries go to a CBasicDictWriter, which
// writes "Core.Lex" and "Core.Prop" into a temporary directory, and the
// dictionary is loaded back from there with CBasicDict.
//
//   lxtest::TestDict td("lx_postag_");
//   ASSERT_TRUE(td.add(entry));
//   CBasicDict dict;
//   ASSERT_TRUE(td.write_and_load(dict)) << td.error();
//   long index = td.index_of(word);
//
// Header-only: the support archive is linked by the base-layer tests too,
// which cannot link the dictionary code.
#ifndef LX_TESTS_SUPPORT_TEST_DICT_H
#define LX_TESTS_SUPPORT_TEST_DICT_H

#include <string>

#include "dict/BasicDict.h"
#include "dict/BasicDictWriter.h"
#include "support/temp_dir.h"

namespace lxtest {

class TestDict {
 public:
  explicit TestDict(const std::string& prefix = "lx_dict_") : dir_(prefix) {}
  TestDict(const TestDict&) = delete;
  TestDict& operator=(const TestDict&) = delete;

  bool add(const basic_dict_entry_t& e) { return writer_.add(e); }

  // Writes the dictionary files and loads them into `dict`.  On failure,
  // error() tells which step failed and why.
  bool write_and_load(CBasicDict& dict) {
    if (!dir_.ok()) return fail("temporary directory", "not created");
    const std::string lex = lex_file(), prop = prop_file();
    if (!writer_.write(lex.c_str(), prop.c_str())) return fail("write", writer_.last_error());
    if (!dict.loadBasicDict(lex.c_str(), prop.c_str())) return fail("load", dict.last_error());
    return true;
  }

  // The index the writer gave `word` (bytes as added), or -1.
  long index_of(const std::string& word) const { return writer_.index_of(word); }

  const std::string& error() const { return error_; }
  std::string lex_file() const { return dir_.file("Core.Lex"); }
  std::string prop_file() const { return dir_.file("Core.Prop"); }
  const TempDir& dir() const { return dir_; }
  CBasicDictWriter& writer() { return writer_; }

 private:
  bool fail(const char* step, const std::string& msg) {
    error_ = std::string(step) + ": " + msg;
    return false;
  }

  TempDir dir_;
  CBasicDictWriter writer_;
  std::string error_;
};

}  // namespace lxtest

#endif  // LX_TESTS_SUPPORT_TEST_DICT_H
