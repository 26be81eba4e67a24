// Location-name recognition: head, middles, tail with prefix limits, the
// rejection rules, the scan and where it resumes, and the items it adds.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "dict/NerResource.h"
#include "seg/location_recognizer.h"
#include "seg/ne_context.h"
#include "seg/ne_items.h"
#include "support/gbk_literals.h"
#include "support/test_dict.h"

namespace {

using lxtest::G;
const uint8_t LH = NE_ROLE_LH, LM = NE_ROLE_LM, LT = NE_ROLE_LT, FH = NE_ROLE_FH, FM = NE_ROLE_FM,
              FT = NE_ROLE_FT, A = NE_ROLE_A;
using Words = std::vector<std::pair<uint32_t, uint8_t>>;  // byte length, location role

// 北京 (LH -1.0, LT -4.0), 市 (LT -0.5), 湖 (LM -2.0), and 北京市, a
// combination word.
struct Dict {
  Dict() {
    const std::pair<const char*, std::vector<prop_item_t>> words[] = {
        {"北京", {{LH, -1.0f}, {LT, -4.0f}}}, {"市", {{LT, -0.5f}}}, {"湖", {{LM, -2.0f}}}};
    for (const auto& w : words) {
      basic_dict_entry_t e;
      e.word = G(w.first), e.ln_roles = w.second;
      EXPECT_TRUE(files.add(e));
    }
    basic_dict_entry_t comb;
    comb.word = G("北京市"), comb.name_entity = 0x800 | 90;
    EXPECT_TRUE(files.add(comb));
    EXPECT_TRUE(files.write_and_load(dict)) << files.error();
  }
  lxtest::TestDict files{"lx_locrec_"};
  CBasicDict dict;
};

const CBasicDict& TheDict() {
  static Dict d;
  return d.dict;
}

// A lattice whose chosen path is the given words; each word is the only item
// of its end node, whose range holds `reserve` items.
struct PathLattice {
  PathLattice(const std::string& t, const Words& words, uint32_t reserve = 4) : text(t), n((uint32_t)t.size()) {
    lat.clear(CLattice::kMaxNodes - 1);
    uint32_t b = 0;
    for (const auto& w : words) {
      const tSegItemInfo it{b, w.first, 55, 0, A, w.second, false, 0, 0,
                            CNeItems::_get_attribute_idx(TheDict(), text.data() + b, w.first)};
      tNodeInfo& node = lat.m_nodes[b + w.first];
      EXPECT_NE(lat.add_item(b + w.first, it, reserve), nullptr);
      node.bBest = true;
      node.MaxItem = lat.item(&node, 0);
      lat.m_nodes[b].nNextLen = w.first;
      b += w.first;
    }
    lat.m_nodes[n].nNextLen = 1;
  }
  // Scans, and renders the entities added as "begin+length/type@weight",
  // "c" for a combination word, and the count.
  std::string Scan() {
    testing::internal::CaptureStderr();
    const int rc = CLocationRecognizer::_ln_mode_match(lat, text.c_str(), n, TheDict(), ctx, count);
    err = testing::internal::GetCapturedStderr();
    std::string out = rc == 1 ? "" : "refused ";
    for (uint32_t p = 1; p <= n; ++p) {
      const tNodeInfo& node = lat.m_nodes[p];
      for (uint32_t j = node.ItemsNum - node.ItemsNumNER; j < node.ItemsNum; ++j) {
        const tSegItemInfo* it = lat.item(&node, j);
        EXPECT_EQ(it->nAttributeIdx, kAttrLocation);
        out += std::to_string(it->begin_pos) + "+" + std::to_string(it->length) + "/" + std::to_string(it->type) +
               "@" + std::to_string((int)(it->weight * 10)) + (it->bcomb ? "c " : " ");
      }
    }
    return out + "#" + std::to_string(count);
  }
  std::string text;
  uint32_t n;
  CLattice lat;
  NeContextType ctx{};
  int count = 0;
  std::string err;
};

TEST(LocationRecognizer, ScanFindsWeighsAndRejects) {
  const std::string ab = "abcdefghijklmnop";
  const struct { std::string text; Words words; std::string want; } rows[] = {
      // Weights from the location lists: -3.0 without a list, -9.8 for a
      // role the list lacks.
      {G("的北京市的"), {{2, A}, {4, LH}, {2, LT}, {2, A}}, "2+6/65@-15c #1"},
      {G("北京湖北京"), {{4, LH}, {2, LM}, {4, LT}}, "0+10/65@-70 #1"},
      {G("北京的市"), {{4, LH}, {2, LM}, {2, LT}}, "0+8/65@-45 #1"},
      {G("亚北京市"), {{2, LH}, {4, LM}, {2, LT}}, "0+8/65@-133 #1"},
      // Chinese prefix at most 6 bytes, transliterated at most 10; the tail
      // does not count.
      {ab.substr(0, 8), {{2, LH}, {2, LM}, {2, LM}, {2, LT}}, "0+8/65@-120 #1"},
      {ab.substr(0, 10), {{2, LH}, {2, LM}, {4, LM}, {2, LT}}, "#0"},
      {ab.substr(0, 16), {{6, LH}, {10, LT}}, "0+16/65@-60 #1"}, {ab.substr(0, 9), {{7, LH}, {2, LT}}, "#0"},
      {ab.substr(0, 12), {{4, FH}, {6, FM}, {2, FT}}, "0+12/66@-90 #1"},
      {ab.substr(0, 14), {{4, FH}, {8, FM}, {2, FT}}, "#0"},
      // Roles of one family, in order; nothing past the sentence end.
      {"abcdefgh", {{2, LH}, {2, FT}, {4, A}}, "#0"}, {"abcdefgh", {{2, FH}, {2, LM}, {2, LT}, {2, A}}, "#0"},
      {"abcdefgh", {{2, LM}, {2, LT}, {4, A}}, "#0"}, {"abcd", {{2, A}, {2, LH}}, "#0"},
      {"abcd", {{2, LH}, {2, LM}}, "#0"},
      // The scan resumes with the word after a candidate, also a rejected one;
      // a failed match at a head moves on by one word.
      {"abcdefgh", {{2, LH}, {2, LT}, {2, LH}, {2, LT}}, "0+4/65@-60 4+4/65@-60 #2"},
      {"abcdefghij", {{2, LH}, {2, LT}, {2, A}, {2, LH}, {2, LT}}, "0+4/65@-60 6+4/65@-60 #2"},
      {G("三亚的") + "abcd", {{2, LH}, {2, LT}, {2, A}, {2, FH}, {2, FT}}, "6+4/66@-60 #1"},
      {"abcdefgh", {{2, LH}, {2, LH}, {2, LT}, {2, A}}, "2+4/65@-60 #1"},
      // Rejections: 三 + one character, two or three equal characters.
      {G("北北"), {{2, LH}, {2, LT}}, "#0"}, {G("三亚市"), {{2, LH}, {2, LM}, {2, LT}}, "0+6/65@-65 #1"},
      {G("亚三"), {{2, LH}, {2, LT}}, "0+4/65@-60 #1"}, {G("北北北市"), {{2, LH}, {2, LM}, {2, LM}, {2, LT}}, "#0"},
      {G("北北市"), {{2, LH}, {2, LM}, {2, LT}}, "0+6/65@-65 #1"}, {"abab", {{2, LH}, {2, LT}}, "0+4/65@-60 #1"},
      {"aaab", {{2, LH}, {2, LT}}, "#0"},
  };
  for (const auto& r : rows) EXPECT_EQ(PathLattice(r.text, r.words).Scan(), r.want) << r.text;
  for (const char* num : {"一", "二", "三", "四", "五", "六", "七", "八", "九", "十"})
    EXPECT_EQ(PathLattice(G(num) + G("亚"), {{2, LH}, {2, LT}}).Scan(), "#0") << num;
  EXPECT_EQ(PathLattice(G("百亚"), {{2, LH}, {2, LT}}).Scan(), "0+4/65@-60 #1");

  // bnAmb from the second byte of the location to its end; the path stays.
  PathLattice pl(G("的北京市的"), {{2, A}, {4, LH}, {2, LT}, {2, A}});
  pl.Scan();
  for (uint32_t p = 0; p <= pl.n; ++p) EXPECT_EQ(pl.lat.m_nodes[p].bnAmb, p >= 3 && p <= 8) << p;
  EXPECT_EQ(pl.lat.m_nodes[8].MaxItem, pl.lat.item(8, 0));
  // Full nodes drop the candidates with a message each.
  PathLattice full("abcdefghij", {{2, LH}, {2, LT}, {2, A}, {2, LH}, {2, LT}}, 1);
  full.lat.m_nodes[10].size = 1;
  EXPECT_EQ(full.Scan(), "#0");
  EXPECT_EQ(full.err, G("词条可存储空间已满\n") + G("词条可存储空间已满\n"));
  // Broken paths are refused.
  PathLattice broken("abcd", {{2, LH}, {2, LT}});
  broken.lat.m_nodes[2].nNextLen = 3;
  EXPECT_EQ(broken.Scan(), "refused #0");
  broken.lat.m_nodes[2].nNextLen = 2;
  broken.lat.m_nodes[4].MaxItem = nullptr;
  EXPECT_EQ(broken.Scan(), "refused #0");
}

TEST(LocationRecognizer, MatchContextAtTheSentenceStart) {
  // One context reused: a match after a word, then one at the start.
  PathLattice pl(G("的北京市"), {{2, A}, {4, LH}, {2, LT}});
  ASSERT_EQ(CLocationRecognizer::_ln_mode_match(pl.lat, pl.n, 6, pl.ctx), 22);
  EXPECT_EQ(pl.ctx.pre_item, pl.lat.m_nodes[2].MaxItem);
  PathLattice p2(G("北京市的"), {{4, LH}, {2, LT}, {2, A}});
  ASSERT_EQ(CLocationRecognizer::_ln_mode_match(p2.lat, p2.n, 4, pl.ctx), 22);
  EXPECT_EQ(pl.ctx.pre_node, nullptr);
  EXPECT_EQ(pl.ctx.pre_item, nullptr);
  EXPECT_EQ(pl.ctx.suc_item, p2.lat.m_nodes[8].MaxItem);
}

}  // namespace
