// The secondary lexicon (Sec.Lex, Sec.Prop) and the system custom dictionary
// (cusdata.idx, id_custname.dict), one file (first byte) replaced by the
// input; what loads is searched over the input's bytes.
#include "dict/CustomDict.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const char* const names[] = {"Sec.Lex", "Sec.Prop", "cusdata.idx", "id_custname.dict"};
  const std::string dir = lxfuzz::resource_with(names[data[0] % 4], data + 1, size - 1) + "/";
  const char* text = (const char*)data + 1;
  CCustomDict sec, sys;
  const bool sec_ok = sec.LoadDict((dir + "Sec.Lex").c_str(), (dir + "Sec.Prop").c_str()) == 1;
  const bool sys_ok = sys.LoadSysDict((dir + "cusdata.idx").c_str(), (dir + "id_custname.dict").c_str()) == 1;
  Darts::DoubleArray::result_pair_type r[16];
  Darts2::DoubleArray::result_pair_type r2[16];
  for (size_t i = 0; i + 1 < size; ++i) {
    size_t k = sec_ok ? sec.m_cd.commonPrefixSearch(text + i, r, 16, size - 1 - i) : 0;
    for (size_t j = 0; j < k && j < 16; ++j)
      LX_CHECK(r[j].value >= 0 && (size_t)r[j].value < sec.m_attrNum && sec.getlen(r[j].value) == r[j].length);
    k = sys_ok ? sys.m_syscd.commonPrefixSearch(text + i, r2, 16, size - 1 - i) : 0;
    for (size_t j = 0; j < k && j < 16; ++j) lxfuzz::touch(sys.GetClsAt(r2[j].value, 0));
  }
  return 0;
}
