// Test support for the token saver and the custom word matcher: GBK
// literals, hand-built best paths, small basic and custom dictionaries in a
// temporary directory, and readers of the saver's arrays.
//
// Header only: every .cpp under tests/support is linked into every test
// program, and these helpers need the dictionary and lattice layers.
#ifndef LX_TESTS_SUPPORT_SAVER_FIXTURES_H
#define LX_TESTS_SUPPORT_SAVER_FIXTURES_H

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "LXPub.h"
#include "base/LHash.h"
#include "base/uconv.h"
#include "dict/BasicDict.h"
#include "dict/BasicDictWriter.h"
#include "dict/CustomDict.h"
#include "seg/customword_matcher.h"
#include "seg/lattice.h"
#include "seg/segtokens_saver.h"
#include "support/gbk_literals.h"
#include "support/test_dict.h"

namespace saver_fixtures {

// GBK bytes of a UTF-8 literal, and UTF-8 of GBK bytes.
using lxtest::G;
using lxtest::U;

// One word of a hand-built best path.
struct PathWord {
  std::string text;        // GBK bytes
  int type = 0;            // item type
  uint8_t posIndex = 0;    // POS id minus one
  uint32_t attr = 10000001u;  // nAttributeIdx (dictionary index + 1, or a class code)
  bool bcomb = false;
};

inline PathWord W(const std::string& gbk, int type = 0, uint8_t posIndex = 0,
                  uint32_t attr = 10000001u, bool bcomb = false) {
  return PathWord{gbk, type, posIndex, attr, bcomb};
}

// Builds the lattice of the sentence made of `words` with exactly that best
// path marked (MaxItem at each word's end node, nNextLen at its start node,
// nNextLen 1 at the end node).  With `decoys`, every path node also holds a
// one-byte item that is not on the path, stored before the chosen one.
// Returns the sentence.
inline std::string BuildPath(CLattice& lat, const std::vector<PathWord>& words,
                             bool decoys = false) {
  std::string text;
  for (const PathWord& w : words) text += w.text;
  lat.clear((uint32_t)text.size());
  uint32_t pos = 0;
  std::vector<std::pair<uint32_t, uint32_t>> chosen;  // end node, item index
  for (const PathWord& w : words) {
    const uint32_t end = pos + (uint32_t)w.text.size();
    if (decoys && w.text.size() > 1) {
      lat.add_item(end, tSegItemInfo{end - 1, 1, 55, 7, 0, 0, false, 0, 0, 10000001u}, 4);
    }
    const tSegItemInfo it{pos, end - pos, w.type, w.posIndex, 50, 0, w.bcomb, 0, 0, w.attr};
    EXPECT_NE(lat.add_item(end, it, 4), nullptr);
    chosen.emplace_back(end, lat.m_nodes[end].ItemsNum - 1);
    lat.m_nodes[pos].nNextLen = w.text.size();
    pos = end;
  }
  // Pointers only once the store no longer grows.
  for (const auto& c : chosen) {
    lat.m_nodes[c.first].MaxItem = lat.item(c.first, c.second);
    lat.m_nodes[c.first].bBest = true;
  }
  lat.m_nodes[pos].nNextLen = 1;
  return text;
}

// A fine token as the tests compare it.
struct Tok {
  std::string word;  // GBK
  int pos;
  int wtype;
  bool operator==(const Tok& o) const { return word == o.word && pos == o.pos && wtype == o.wtype; }
};

inline std::ostream& operator<<(std::ostream& os, const Tok& t) {
  return os << "{\"" << U(t.word) << "\", " << t.pos << ", " << t.wtype << "}";
}

inline Tok T(const std::string& gbk, int pos, int wtype = 0) { return Tok{gbk, pos, wtype}; }

// The fine tokens.  Checks that each token's text is the NUL-terminated
// copy its length says.
inline std::vector<Tok> FineTokens(CSegTokensSaver& s) {
  std::vector<Tok> out;
  for (size_t i = 0; i < s.m_seg_token_num; ++i) {
    const token_t& t = s.m_seg_tokens[(long)i];
    if (t.word == nullptr || t.word[t.wlen] != '\0') ADD_FAILURE() << "token " << i;
    else out.push_back(Tok{std::string(t.word, t.wlen), t.pos, t.wtype});
  }
  return out;
}

// A combined token as the tests compare it.
struct Comb {
  std::string word;
  int pos;
  size_t sidx;
  size_t eidx;
  int cls;
  bool operator==(const Comb& o) const {
    return std::tie(word, pos, sidx, eidx, cls) == std::tie(o.word, o.pos, o.sidx, o.eidx, o.cls);
  }
};

inline std::ostream& operator<<(std::ostream& os, const Comb& t) {
  return os << "{\"" << U(t.word) << "\", pos " << t.pos << ", " << t.sidx << ".." << t.eidx
            << ", cls " << t.cls << "}";
}

// Thick tokens carry no class; they are compared with cls 0.
inline Comb C(const std::string& gbk, int pos, size_t sidx, size_t eidx, int cls = 0) {
  return Comb{gbk, pos, sidx, eidx, cls};
}

inline std::vector<Comb> CombTokens(Array<_comb_token_t>& a, size_t n) {
  std::vector<Comb> out;
  for (size_t i = 0; i < n; ++i) {
    const comb_token_t& t = a[(long)i];
    if (t.word == nullptr || t.word[t.wlen] != '\0') ADD_FAILURE() << "combined token " << i;
    else out.push_back(Comb{std::string(t.word, t.wlen), t.pos, t.sidx, t.eidx, t.cls});
  }
  return out;
}

inline std::vector<uint64_t> WordCounts(CSegTokensSaver& s) {
  std::vector<uint64_t> out;
  for (uint32_t i = 0; i < s.m_word_num; ++i) out.push_back(s.m_word_sect_num[(long)i]);
  return out;
}

// A basic dictionary written by CBasicDictWriter and loaded back.
class DictFixture {
 public:
  void add(const basic_dict_entry_t& e) { EXPECT_TRUE(files_.add(e)) << U(e.word); }

  // Writes and loads; true if the dictionary loaded.
  bool load() { return files_.write_and_load(dict) || (ADD_FAILURE() << files_.error(), false); }

  // nAttributeIdx of a word (index + 1).
  uint32_t attr(const std::string& gbk) const {
    long i = files_.index_of(gbk);
    EXPECT_GE(i, 0) << U(gbk);
    return (uint32_t)(i + 1);
  }

  CBasicDict dict;

 private:
  lxtest::TestDict files_{"lx_saver_"};
};

inline basic_dict_entry_t Entry(const std::string& gbk, uint16_t type = 0) {
  basic_dict_entry_t e;
  e.word = gbk, e.name_entity = type;
  return e;
}

// A HashDict holding the given GBK keys.
inline void FillHash(HashDict& h, const std::vector<std::string>& keys) {
  for (const std::string& k : keys) *h.insert(k.c_str()) = 1;
}

// A candidate of the custom word matcher over path words s..e.
inline _comb_t Cand(int s, int e, size_t oft, size_t wlen, int pos, bool phrase, int cls) {
  return _comb_t{s, e, CCustomDict::setidxpos(cls, (unsigned char)pos, phrase), cls, oft, wlen};
}

// Makes `matcher` report `cands` as its selection, in that order.
inline void Report(CCustomwordMatcher& matcher, const std::vector<_comb_t>& cands) {
  matcher.m_all_cw_num = cands.size();
  for (size_t i = 0; i < cands.size(); ++i) {
    matcher.m_matched_custom_words[(long)i] = cands[i];
    matcher.m_forward_custom_words[(long)i] = i;
  }
  matcher.m_fmm_cw_num = cands.size();
  matcher.m_buse_fmm_custom_words = true;
}

// A saver with its lattice and name lists, saving hand-built paths.
class SaverHarness {
 public:
  void Prepare(int mode, CBasicDict* dict = nullptr) {
    saver.prepare_save(dict, &fuxing, &locsfx, mode);
    saver.reset();
  }

  // Saves one sentence made of `words` and returns it.
  std::string Save(const std::vector<PathWord>& words, bool decoys = false,
                   int charset = LX_GBK) {
    text = BuildPath(*lat, words, decoys);
    saver.save_tokens(lat.get(), text.c_str(), text.size(), charset);
    return text;
  }

  std::vector<Tok> Fine() { return FineTokens(saver); }
  std::vector<Comb> Thick() { return CombTokens(saver.m_thick_tokens, saver.m_thick_num); }
  std::vector<Comb> Custom() { return CombTokens(saver.m_custom_tokens, saver.m_custom_num); }
  std::vector<Comb> Phrases() { return CombTokens(saver.m_phrase_tokens, saver.m_phrase_num); }

  std::unique_ptr<CLattice> lat = std::make_unique<CLattice>();
  CSegTokensSaver saver;
  HashDict fuxing, locsfx;
  std::string text;
};

}  // namespace saver_fixtures

#endif  // LX_TESTS_SUPPORT_SAVER_FIXTURES_H
