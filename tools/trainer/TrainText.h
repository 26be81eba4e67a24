// Small pieces shared by the parts of the resource trainer: model and tag
// ids it fixes, GBK text helpers and error reporting.
#ifndef LX_TRAINER_TRAIN_TEXT_H
#define LX_TRAINER_TRAIN_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lxtrain {

constexpr int kPosStart = 49;  // sentence start of the tagging model
constexpr int kPosEnd = 55;    // sentence end
constexpr int kPosN = 16;      // the tag the tagger gives factoid items
constexpr int kPosTTDim = 56;
constexpr int kRoleTTDim = 54;

// GBK 老 and 小, which make familiar names of surnames (老张, 小李).
inline constexpr char kLao[] = "\xC0\xCF";
inline constexpr char kXiao[] = "\xD0\xA1";

// Name marks of the pieces of a sentence (m_sentence_marks).
constexpr uint8_t kMarkNone = 0;
constexpr uint8_t kMarkNameFirst = 1;  // first piece of a surname + given name
constexpr uint8_t kMarkNameRest = 2;   // the name's other pieces
constexpr uint8_t kMarkWholeName = 3;  // a name written as one token

// A GBK lead byte.
bool IsLead(unsigned char c);
// Bytes of the GBK character at `i` (2 for a lead byte with a trail, else 1).
size_t CharLen(const std::string& s, size_t i);
// The parts of `word` between name separators (-, ·, ˉ, —, －), empty
// parts left out.
std::vector<std::string> SplitAtNameSeparators(const std::string& word);
// The sentence splitter's separator character of `n` bytes at `i`.
bool IsSeparatorChar(const std::string& s, size_t i, size_t n);
// ASCII letters lowered, as the lattice sees text.
std::string LowerAscii(std::string w);
// UTF-8 to GBK; empty when a character has no GBK form.
std::string ToGbk(const std::string& utf8);
// A log-probability as the text formats write it ("-0.000000" as 0).
std::string FormatLogP(double v);
std::string JoinPath(const std::string& dir, const char* name);
// Stores `what` in `error` (if any) and returns false.
bool Fail(std::string* error, const std::string& what);
// The GBK form of a UTF-8 field that is exactly one two-byte GBK
// character, else empty.
std::string GbkChar(const std::string& utf8);
// Fields separated by blanks and tabs.
std::vector<std::string> SplitWs(const std::string& s);

}  // namespace lxtrain

#endif  // LX_TRAINER_TRAIN_TEXT_H
