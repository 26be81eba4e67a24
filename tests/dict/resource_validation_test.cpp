// Every resource loader refuses a damaged file with one printable line on
// standard error that names the file; valid files load silently and absent
// optional files stay silent.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "dict/BasicDict.h"
#include "dict/CustomDict.h"
#include "dict/NerResource.h"
#include "dict/RuleDict.h"
#include "dict/T2S.h"
#include "lm/Ngram.h"
#include "support/resource_builder.h"

namespace {

bool table(const std::string& path, size_t dim) {
  std::vector<CProbabilityNode> t(dim * dim);
  return CNerResource::load_transition_table(path.c_str(), t.data(), dim);
}
bool ner(const std::string& path) {
  HashDict *a = nullptr, *b = nullptr, *c = nullptr;
  const int r = CNerResource::load_named_entity_resource(path.c_str(), a, b, c);
  return CNerResource::free_dict(a), CNerResource::free_dict(b), CNerResource::free_dict(c), r == 1;
}
const char* cstr(const std::string& s) { return s.c_str(); }

const std::map<std::string, std::function<bool(const std::string&)>> kLoaders = {
    {"RoleTT.Lex", [](const std::string& d) { return table(d + "/RoleTT.Lex", 54); }},
    {"LNRoleTT.Lex", [](const std::string& d) { return table(d + "/LNRoleTT.Lex", 54); }},
    {"POSTT.Lex", [](const std::string& d) { return table(d + "/POSTT.Lex", 56); }},
    {"UserAmbRule", [](const std::string& d) { return CRuleDict().loadDict(cstr(d + "/UserAmbRule")); }},
    {"ner_info", [](const std::string& d) { return ner(d + "/ner_info"); }},
    {"t2s", [](const std::string& d) { return std::make_unique<Trad2Simp>()->_load_t2s_table(cstr(d + "/t2s")); }},
    {"t2s.word", [](const std::string& d) { return std::make_unique<Trad2Simp>()->_load_t2s_words(cstr(d + "/t2s.word")); }},
    {"t2s.disable", [](const std::string& d) { return std::make_unique<Trad2Simp>()->_load_t2s_disable(cstr(d + "/t2s.disable")); }},
    {"sys", [](const std::string& d) { return CCustomDict().LoadSysDict(cstr(d + "/cusdata.idx"), cstr(d + "/id_custname.dict")) == 1; }},
    {"sec", [](const std::string& d) { return CCustomDict().LoadDict(cstr(d + "/Sec.Lex"), cstr(d + "/Sec.Prop")) == 1; }},
    {"core", [](const std::string& d) { return CBasicDict().loadBasicDict(cstr(d + "/Core.Lex"), cstr(d + "/Core.Prop")); }},
    {"Ngram.Lex", [](const std::string& d) { return Ngram(3).read_binary(cstr(d + "/Ngram.Lex")); }},
    {"user", [](const std::string& d) { return CCustomDict().InitCDict(cstr(d + "/CustomWord"), cstr(d)); }}};

// A message for a refused file: text only, no byte of the file.
bool printable(const std::string& err) {
  return std::all_of(err.begin(), err.end(), [](char ch) { return ch == '\n' || (ch >= 0x20 && ch < 0x7f); });
}

enum Kind { kCut, kPatch, kDirectory, kAbsent };
constexpr size_t kEnd = std::string::npos;
// `n`: bytes cut, or offset of the patch `bytes` (kEnd: appended); `loader`: key of kLoaders.
struct Case { const char *file, *loader; Kind kind; size_t n; std::string bytes; };

// One complete resource set for all cases; each case restores its file.
lxtest::ResourceDir& dir() {
  static lxtest::ResourceDir d;
  static const bool built = d.build(lxtest::default_resource_plan());
  EXPECT_TRUE(built) << d.error();
  return d;
}
std::string read(const std::string& rel) {
  std::ifstream in(dir().file(rel), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
// Runs a loader on the set; its result, and its standard error in `err`.
bool run(const std::string& loader, std::string& err) {
  testing::internal::CaptureStderr();
  const bool ok = kLoaders.at(loader)(dir().path());
  err = testing::internal::GetCapturedStderr();
  return ok;
}

TEST(ResourceValidation, DamagedFilesAreRefusedWithOnePrintableLineNamingThem) {
  std::string err;
  for (const auto& l : kLoaders) EXPECT_TRUE(run(l.first, err) && err.empty()) << l.first << ": " << err;
  const std::string nan("\0\0\xc0\x7f", 4), inf("\0\0\x80\x7f", 4), gbk_guo = "\xb9\xfa";  // little-endian floats
  const std::vector<Case> cases = {
      {"RoleTT.Lex", "RoleTT.Lex", kCut, 1, ""}, {"RoleTT.Lex", "RoleTT.Lex", kPatch, kEnd, "x"},
      {"RoleTT.Lex", "RoleTT.Lex", kPatch, 8 * 7, nan}, {"LNRoleTT.Lex", "LNRoleTT.Lex", kPatch, 8 * 60 + 4, inf},
      {"POSTT.Lex", "POSTT.Lex", kPatch, 8 * 56 * 56 - 4, nan}, {"POSTT.Lex", "POSTT.Lex", kDirectory, 0, ""},
      {"UserAmbRule", "UserAmbRule", kCut, 3, ""}, {"UserAmbRule", "UserAmbRule", kDirectory, 0, ""},
      {"ner_info", "ner_info", kCut, 3, ""}, {"ner_info", "ner_info", kDirectory, 0, ""}, {"t2s", "t2s", kCut, 3, ""},
      {"t2s", "t2s", kPatch, kEnd, gbk_guo + "\t" + gbk_guo + "\t7\n"}, {"t2s", "t2s", kDirectory, 0, ""},
      {"t2s", "t2s", kAbsent, 0, ""}, {"t2s.word", "t2s.word", kCut, 3, ""}, {"t2s.word", "t2s.word", kDirectory, 0, ""},
      {"t2s.disable", "t2s.disable", kCut, 2, ""}, {"t2s.disable", "t2s.disable", kAbsent, 0, ""},
      {"id_custname.dict", "sys", kCut, 7, ""}, {"id_custname.dict", "sys", kPatch, kEnd, "300\tbig\n"},
      {"id_custname.dict", "sys", kDirectory, 0, ""}, {"id_custname.dict", "sys", kAbsent, 0, ""},
      {"cusdata.idx", "sys", kCut, 1, ""}, {"cusdata.idx", "sys", kDirectory, 0, ""}, {"cusdata.idx", "sys", kAbsent, 0, ""},
      {"Sec.Lex", "sec", kCut, 4, ""}, {"Sec.Prop", "sec", kPatch, 0, "\xff\xff\xff\x7f"}, {"Sec.Prop", "sec", kDirectory, 0, ""},
      {"Core.Lex", "core", kDirectory, 0, ""}, {"Core.Prop", "core", kCut, 1, ""}, {"Core.Prop", "core", kPatch, 0, std::string(4, '\0')},
      {"Ngram.Lex", "Ngram.Lex", kCut, 1, ""}, {"Ngram.Lex", "Ngram.Lex", kDirectory, 0, ""},
      {"CustomWord/place/cities.txt", "user", kCut, 3, ""}, {"CustomWord/place/cities.txt", "user", kPatch, kEnd, "\xb0"}};
  for (const Case& c : cases) {
    const std::string good = read(c.file), path = dir().file(c.file);
    std::string bad = good;
    if (c.kind == kCut) bad.resize(good.size() - c.n);
    if (c.kind == kPatch) bad.replace(std::min(c.n, bad.size()), c.bytes.size(), c.bytes);
    ASSERT_EQ(std::remove(path.c_str()), 0);
    if (c.kind == kDirectory) {
      ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    } else if (c.kind != kAbsent) {
      ASSERT_TRUE(dir().write_file(c.file, bad));
    }
    EXPECT_FALSE(run(c.loader, err)) << c.file << " " << c.kind;
    if (c.kind == kAbsent) {
      EXPECT_EQ(err, "") << c.file << ": an absent optional file is no error";
    } else {
      EXPECT_TRUE(err.find(path) != std::string::npos && std::count(err.begin(), err.end(), '\n') == 1 && printable(err))
          << c.file << " " << c.kind << ": " << err;
    }
    (c.kind == kDirectory ? ::rmdir : ::remove)(path.c_str());
    ASSERT_TRUE(dir().write_file(c.file, good));
  }
}

// Any cut of a text file either loads or is refused naming the file, and no
// message echoes the file's bytes.
TEST(ResourceValidation, RandomCutsOfTextFiles) {
  std::mt19937 rng(7);
  std::string err;
  for (const char* f : {"UserAmbRule", "ner_info", "t2s", "t2s.word", "t2s.disable"}) {
    const std::string good = read(f);
    for (int round = 0; round < 20; ++round) {
      ASSERT_TRUE(dir().write_file(f, good.substr(0, rng() % good.size())));
      EXPECT_TRUE((run(f, err) || err.find(dir().file(f)) != std::string::npos) && printable(err)) << f << ": " << err;
    }
    ASSERT_TRUE(dir().write_file(f, good));
  }
  // A long last line without a line feed is read whole, not as cut short.
  for (const char* f : {"t2s", "UserAmbRule"}) {
    const std::string good = read(f);
    ASSERT_TRUE(dir().write_file(f, good + "#" + std::string(300, 'x')));
    EXPECT_TRUE(run(f, err) && err.empty()) << f << ": " << err;
    ASSERT_TRUE(dir().write_file(f, good));
  }
}

}  // namespace
