// CRuleDict::loadDict on mutated rule files; every key found by a search
// over the file's own bytes has a sound segment sequence.
#include "dict/RuleDict.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CRuleDict rules;
  if (!rules.loadDict(lxfuzz::as_file(data, size).c_str())) return 0;
  Darts::DoubleArray::result_pair_type r[16];
  for (size_t i = 0; i < size; ++i) {
    size_t k = rules.m_ruledict.commonPrefixSearch((const char*)data + i, r, 16, size - i);
    for (size_t j = 0; j < k && j < 16; ++j) {
      const int* seq = rules.rule_sequence(r[j].value);
      LX_CHECK(seq != nullptr && (size_t)seq[0] == r[j].length);
      while (*++seq != 0) LX_CHECK(*seq > 0);
    }
  }
  return 0;
}
