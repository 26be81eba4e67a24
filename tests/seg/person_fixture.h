// Shared fixture of the person-name recognizer tests: a small dictionary,
// the pattern trie, the numeral and surname lists, a person-name word model,
// and helpers that run the self-test harness on a path given as words and
// role names.
#ifndef LX_TESTS_SEG_PERSON_FIXTURE_H
#define LX_TESTS_SEG_PERSON_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dict/BasicDict.h"
#include "dict/BasicDictWriter.h"
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

// Role probability of a word outside the dictionary.
const float kNoDict = -3.0f;

struct Entity {
  uint32_t begin, length;
  int type;
  float weight;
  uint32_t node_items_ner;
};

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
    e.word = gbk(w);
    e.name_entity = ne;
    e.pos = std::vector<prop_item_t>{{16, -1.0f}};
    if (!roles.empty()) e.roles = roles;
    ASSERT_TRUE(files_.add(e));
  }
  // Index + 1 of a dictionary word.
  uint32_t Attr(const std::string& w) const {
    const long i = files_.index_of(gbk(w));
    EXPECT_GE(i, 0) << w;
    return (uint32_t)i + 1;
  }
  void BuildDict() {
    if (files_.writer().size() == 0) Word("的", {});
    ASSERT_TRUE(files_.write_and_load(dict_)) << files_.error();
    built_ = true;
  }
  // Bigram of the model: word after the person class token.
  void PersonBigram(uint32_t attr, LogP p) {
    VocabIndex key[] = {CPersonRecognizer::kPersonClassToken, Vocab_None};
    *lm_.contexts.insert_trie(key)->value().probs.insert(attr - 1) = p;
  }

  PersonNameResources Res() {
    PersonNameResources r;
    r.dict = &dict_;
    r.pn_mode_trie = &trie_;
    r.no_amb_xing_dict = no_amb_;
    r.hanzi_number_dict = numbers_;
    r.pn_word_lm = use_lm_ ? &lm_ : nullptr;
    r.pms = false;
    return r;
  }

  // A new recognizer over the resources; builds the dictionary first if
  // that has not been done.
  CPersonRecognizer& Recognizer() {
    if (!built_) BuildDict();
    rec_.reset(new CPersonRecognizer(Res()));
    return *rec_;
  }

  // Lays out the words (UTF-8) as the chosen path with the roles.  Creates
  // the recognizer.
  bool Prepare(const std::vector<std::string>& words, const std::string& roles,
               uint32_t capacity = 8) {
    Recognizer();
    text_.clear();
    std::string lens;
    for (const std::string& w : words) {
      const std::string g = gbk(w);
      text_ += g;
      lens += std::to_string(g.size()) + " ";
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
  std::string Run(const std::vector<std::string>& words, const std::string& roles,
                  uint32_t capacity = 8) {
    EXPECT_TRUE(Prepare(words, roles, capacity));
    return Scan();
  }

  // All person-class items, in node order.
  std::vector<Entity> Entities() const {
    std::vector<Entity> out;
    for (uint32_t p = 0; p <= text_.size(); ++p) {
      const tNodeInfo& node = lat_->m_nodes[p];
      for (uint32_t j = 0; j < node.ItemsNum; ++j) {
        const tSegItemInfo* it = lat_->item(p, j);
        if (it->nAttributeIdx == kAttrPerson)
          out.push_back({it->begin_pos, it->length, it->type, it->weight, node.ItemsNumNER});
      }
    }
    return out;
  }
  // The item of node `end` beginning at `begin`, other than the path item;
  // null if none.
  const tSegItemInfo* Added(uint32_t begin, uint32_t end) const {
    const tNodeInfo& node = lat_->m_nodes[end];
    for (uint32_t j = 0; j < node.ItemsNum; ++j) {
      const tSegItemInfo* it = lat_->item(end, j);
      if (it != node.MaxItem && it->begin_pos == begin && it->nAttributeIdx != kAttrPerson)
        return it;
    }
    return nullptr;
  }
  uint8_t Role(uint32_t end) const { return lat_->m_nodes[end].MaxItem->perIdx; }
  // Adds a word [begin, end) to node `end` beside the path, as a lattice
  // stage would (`capacity` as for add_item); null when the node is full.
  tSegItemInfo* AddWord(uint32_t begin, uint32_t end, uint32_t attr, int type,
                        uint32_t capacity) {
    tSegItemInfo it{};
    it.begin_pos = begin;
    it.length = end - begin;
    it.type = type;
    it.nAttributeIdx = attr;
    return lat_->add_item(end, it, capacity);
  }
  // Fills node p's range up to its capacity.
  void FillNode(uint32_t p) {
    while (AddWord(p - 1, p, kAttrSingleChar, 55, 4) != nullptr) {
    }
  }

  lxtest::TestDict files_{"lx_pn_"};
  CBasicDict dict_;
  bool built_ = false;
  Trie<int, int> trie_;
  HashDict* numbers_ = nullptr;
  HashDict* no_amb_ = nullptr;
  Ngram lm_;
  bool use_lm_ = false;

  std::unique_ptr<CLattice> lat_{new CLattice};
  std::unique_ptr<CPersonRecognizer> rec_;
  std::string text_;
  NeContextType ctx_{};
  int ne_count_ = 0;
};

}  // namespace pntest

#endif  // LX_TESTS_SEG_PERSON_FIXTURE_H
