#include "TrainText.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "base/uconv.h"

namespace lxtrain {

bool IsLead(unsigned char c) { return c >= 0x81 && c != 0xFF; }

size_t CharLen(const std::string& s, size_t i) {
  return (IsLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}

// The parts of `word` between name separators (-, ·, ˉ, —, －), empty
// parts left out.
std::vector<std::string> SplitAtNameSeparators(const std::string& word) {
  static const char* const kSeparators[] = {"\xA1\xA4", "\xA1\xA5", "\xA1\xAA", "\xA3\xAD"};
  std::vector<std::string> parts;
  size_t b = 0;
  for (size_t k = 0; k < word.size();) {
    const size_t n = CharLen(word, k);
    bool sep = n == 1 && word[k] == '-';
    for (const char* s : kSeparators)
      if (n == 2 && word.compare(k, 2, s) == 0) sep = true;
    if (sep) {
      if (k > b) parts.push_back(word.substr(b, k - b));
      b = k + n;
    }
    k += n;
  }
  if (word.size() > b) parts.push_back(word.substr(b));
  return parts;
}



// The sentence splitter's separators: tab, LF, CR, space, ! , ; ? _ and the
// GBK characters 　 。 … ！ ， ： ； ？ ＿.  A separator is never part of a
// sentence: the splitter hands it out apart from the lattice.
bool IsSeparatorChar(const std::string& s, size_t i, size_t n) {
  if (n == 1) return std::strchr("\t\n\r !,;?_", s[i]) != nullptr && s[i] != '\0';
  static const char* const kWide[] = {"\xa1\xa1", "\xa1\xa3", "\xa1\xad", "\xa3\xa1", "\xa3\xac",
                                      "\xa3\xba", "\xa3\xbb", "\xa3\xbf", "\xa3\xdf"};
  for (const char* w : kWide)
    if (s[i] == w[0] && s[i + 1] == w[1]) return true;
  return false;
}

// The lattice sees lower-cased text: ASCII letters (never trail bytes) are
// lowered.
std::string LowerAscii(std::string w) {
  for (size_t i = 0; i < w.size(); i += CharLen(w, i))
    if (w[i] >= 'A' && w[i] <= 'Z') w[i] = static_cast<char>(w[i] - 'A' + 'a');
  return w;
}

std::string ToGbk(const std::string& utf8) {
  std::vector<char> buf(utf8.size() + 1);
  int n = utf8_to_gbk(utf8.data(), static_cast<uint32_t>(utf8.size()), buf.data(),
                      static_cast<uint32_t>(buf.size()), UCONV_INVCHAR_ERROR);
  return n < 0 ? std::string() : std::string(buf.data(), static_cast<size_t>(n));
}

std::string FormatLogP(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  // "-0.000000" and "0.000000" read the same; keep one spelling.
  if (std::string(buf) == "-0.000000") return "0.000000";
  return buf;
}

std::string JoinPath(const std::string& dir, const char* name) {
  return (std::filesystem::path(dir) / name).string();
}

bool Fail(std::string* error, const std::string& what) {
  if (error) *error = what;
  return false;
}

// Two-byte GBK characters of a UTF-8 field, or empty if it is not exactly
// one two-byte GBK character.
std::string GbkChar(const std::string& utf8) {
  std::string g = ToGbk(utf8);
  return (g.size() == 2 && IsLead(static_cast<unsigned char>(g[0]))) ? g : std::string();
}

std::vector<std::string> SplitWs(const std::string& s) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    size_t b = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t') ++i;
    if (i > b) out.push_back(s.substr(b, i - b));
  }
  return out;
}

}  // namespace lxtrain
