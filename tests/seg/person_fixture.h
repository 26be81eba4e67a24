// Shared fixture of the person-name recognizer tests: a small dictionary,
// the pattern trie, the numeral and surname lists, a person-name word model,
// and helpers that run the self-test harness on a path given as words and
// role names and render the names found.
#ifndef LX_TESTS_SEG_PERSON_FIXTURE_H
#define LX_TESTS_SEG_PERSON_FIXTURE_H

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "dict/BasicDict.h"
#include "dict/NerResource.h"
#include "lm/Ngram.h"
#include "seg/lattice.h"
#include "seg/person_recognizer.h"
#include "support/resource_builder.h"
#include "support/test_dict.h"

namespace pntest {

using lxtest::gbk;

// Node-full message (GBK).
inline std::string FullMessage() { return gbk("词条可存储空间已满\n"); }

class PersonTest : public testing::Test {
 protected:
  PersonTest() : lm_(2) {
    CNerResource::_build_ne_mode_trie(CNerResource::m_ptr_pn_modes, trie_);
    CNerResource::_load_hanzi_shuzi_dict(&numbers_);
    no_amb_ = new HashDict;
    *no_amb_->insert(gbk("王").c_str()) = 1;
    lm_.LogP_unk_word = -99.0f;
  }
  ~PersonTest() override {
    CNerResource::free_dict(numbers_);
    CNerResource::free_dict(no_amb_);
  }

  // Adds a dictionary word (UTF-8 text) with a person-role list.
  void Word(const std::string& w, std::vector<prop_item_t> roles, uint16_t ne = 0) {
    basic_dict_entry_t e;
    e.word = gbk(w), e.name_entity = ne, e.pos = std::vector<prop_item_t>{{16, -1.0f}};
    if (!roles.empty()) e.roles = roles;
    ASSERT_TRUE(files_.add(e));
  }
  uint32_t Attr(const std::string& w) const { return (uint32_t)files_.index_of(gbk(w)) + 1; }
  // Bigram of the name model: word after the person class token.
  void PersonBigram(const std::string& w, LogP p) {
    VocabIndex key[] = {CPersonRecognizer::kPersonClassToken, Vocab_None};
    *lm_.contexts.insert_trie(key)->value().probs.insert(Attr(w) - 1) = p;
  }

  // Lays out the words (UTF-8, separated by spaces) as the chosen path with
  // the roles; builds the dictionary on first use.
  bool Prepare(const std::string& words, const std::string& roles, uint32_t capacity = 8) {
    if (!built_) {
      if (files_.writer().size() == 0) Word("的", {});
      EXPECT_TRUE(files_.write_and_load(dict_)) << files_.error();
      built_ = true;
    }
    PersonNameResources r;
    r.dict = &dict_, r.pn_mode_trie = &trie_, r.no_amb_xing_dict = no_amb_;
    r.hanzi_number_dict = numbers_, r.pn_word_lm = &lm_, r.pms = false;
    rec_.reset(new CPersonRecognizer(r));
    text_.clear();
    std::string lens, w;
    for (std::istringstream in(words); in >> w;) {
      text_ += gbk(w);
      lens += std::to_string(gbk(w).size()) + " ";
    }
    ne_count_ = 0;
    return rec_->test_ne_mode_match_prepare(*lat_, text_.data(), text_.size(), roles.c_str(),
                                            lens.c_str(), capacity);
  }
  // Runs the scan on the prepared path; returns what went to stderr.
  std::string Scan() {
    testing::internal::CaptureStderr();
    rec_->_pn_mode_match(*lat_, text_.data(), text_.size(), ctx_, ne_count_);
    return testing::internal::GetCapturedStderr();
  }
  // The names found, "begin+length/type" with "@weight" when not 0, and the
  // number counted as "#n".
  std::string Names() const {
    std::string out;
    for (uint32_t p = 0; p <= text_.size(); ++p) {
      for (uint32_t j = 0; j < lat_->m_nodes[p].ItemsNum; ++j) {
        const tSegItemInfo* it = lat_->item(p, j);
        if (it->nAttributeIdx != kAttrPerson) continue;
        std::ostringstream s;
        s << it->begin_pos << "+" << it->length << "/" << it->type;
        if (it->weight != 0.0f) s << "@" << it->weight;
        out += s.str() + " ";
      }
    }
    return out + "#" + std::to_string(ne_count_);
  }
  std::string Run(const std::string& words, const std::string& roles, uint32_t capacity = 8) {
    EXPECT_TRUE(Prepare(words, roles, capacity)) << words;
    const std::string err = Scan();
    return Names() + (err.empty() ? "" : err == FullMessage() ? " full" : " full+");
  }
  // The item of node `end` beginning at `begin` other than the path item and
  // the names, as "role/type"; "-" if none.
  std::string Added(uint32_t begin, uint32_t end) const {
    const tNodeInfo& node = lat_->m_nodes[end];
    for (uint32_t j = 0; j < node.ItemsNum; ++j) {
      const tSegItemInfo* it = lat_->item(end, j);
      if (it != node.MaxItem && it->begin_pos == begin && it->nAttributeIdx != kAttrPerson)
        return std::to_string(it->perIdx) + "/" + std::to_string(it->type);
    }
    return "-";
  }
  // Adds a word [begin, end) beside the path, as a lattice stage would.
  tSegItemInfo* AddWord(uint32_t begin, uint32_t end, uint32_t attr, int type, uint32_t capacity) {
    return lat_->add_item(end, tSegItemInfo{begin, end - begin, type, 0, 0, 0, false, 0, 0, attr}, capacity);
  }
  // Nodes with bnAmb set, as a string of positions.
  std::string Amb() const {
    std::string out;
    for (uint32_t p = 0; p <= text_.size(); ++p)
      if (lat_->m_nodes[p].bnAmb) out += std::to_string(p) + " ";
    return out;
  }

  lxtest::TestDict files_{"lx_pn_"};
  CBasicDict dict_;
  bool built_ = false;
  Trie<int, int> trie_;
  HashDict* numbers_ = nullptr;
  HashDict* no_amb_ = nullptr;
  Ngram lm_;
  std::unique_ptr<CLattice> lat_{new CLattice};
  std::unique_ptr<CPersonRecognizer> rec_;
  std::string text_;
  NeContextType ctx_{};
  int ne_count_ = 0;
};

}  // namespace pntest

#endif  // LX_TESTS_SEG_PERSON_FIXTURE_H
