// Tag strings of the POS identifiers, through the exported LXPosId2Str and the
// internal lookup used by the resource tools.
#include <gtest/gtest.h>

#include <string>

#include "LXSegFunc.h"
#include "base/PosTag.h"

namespace {

std::string tag_of(int id, int bufsize = 16) {
  std::string buf(static_cast<size_t>(bufsize) + 4, '\x7f');
  LXPosId2Str(id, &buf[0], bufsize);
  // Nothing past the given size may be touched.
  for (size_t i = static_cast<size_t>(bufsize); i < buf.size(); ++i) EXPECT_EQ(buf[i], '\x7f');
  return std::string(buf.c_str());
}

TEST(PosTag, PublicConstantsMapToTheirTags) {
  struct { int id; const char* tag; } cases[] = {
      {LX_UNK, "unk"}, {LX_A, "a"},     {LX_AD, "ad"},   {LX_N, "n"},     {LX_NR, "nr"},
      {LX_NRF, "nrf"}, {LX_NRG, "nrg"}, {LX_NS, "ns"},   {LX_NT, "nt"},   {LX_NZ, "nz"},
      {LX_NX, "nx"},   {LX_M, "m"},     {LX_T, "t"},     {LX_VN, "vn"},   {LX_W, "w"},
      {LX_Z, "z"},     {LX_AG, "Ag"},   {LX_ZG, "Zg"},   {LX_WWW, "www"}, {LX_TELE, "tele"},
      {LX_EMAIL, "email"}};
  for (const auto& c : cases) EXPECT_EQ(tag_of(c.id), c.tag) << c.id;
}

TEST(PosTag, IdsWithoutTagGiveUnk) {
  for (int id : std::initializer_list<int>{LX_SOS, 53, 54, LX_EOS, 56, 255, 256, -1, -100000, 1 << 30})
    EXPECT_EQ(tag_of(id), "unk") << id;
}

TEST(PosTag, EveryTagRoundTripsThroughItsId) {
  int tagged = 0;
  for (int id = 1; id <= 52; ++id) {
    if (id == LX_SOS) continue;
    const std::string tag = pos_tag_string(id);
    ASSERT_NE(tag, "unk") << id;
    EXPECT_EQ(pos_tag_id(tag.c_str()), id) << tag;
    ++tagged;
  }
  EXPECT_EQ(tagged, 51);
  EXPECT_EQ(pos_tag_id("unk"), 0);
  EXPECT_EQ(pos_tag_id("NR"), 0);  // case-sensitive
  EXPECT_EQ(pos_tag_id(""), 0);
  EXPECT_EQ(pos_tag_id(nullptr), 0);
}

TEST(PosTag, BufferIsClearedAndNeverOverrun) {
  EXPECT_EQ(tag_of(LX_EMAIL, 6), "email");
  EXPECT_EQ(tag_of(LX_EMAIL, 3), "em");  // cut to the buffer, still terminated
  EXPECT_EQ(tag_of(LX_NRF, 1), "");
  LXPosId2Str(LX_A, nullptr, 16);  // no crash
  char one = 'x';
  LXPosId2Str(LX_A, &one, 0);
  EXPECT_EQ(one, 'x');
}

}  // namespace
