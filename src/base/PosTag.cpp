#include "base/PosTag.h"

#include <cstring>

namespace {

// Index = identifier; identifiers 49 and above are handled separately.
const char* const kTags[] = {
    "unk", "a",  "ad", "an", "b",  "c",  "d",  "e",  "f",  "g",  "h",  "i",  "j",
    "k",   "l",  "m",  "n",  "nr", "nrf", "nrg", "ns", "nt", "nz", "nx", "o",  "p",
    "q",   "r",  "s",  "t",  "u",  "v",  "vd", "vn", "w",  "x",  "y",  "z",  "Ag",
    "Bg",  "Dg", "Mg", "Ng", "Qg", "Rg", "Tg", "Vg", "Yg", "Zg"};
const int kTagCount = sizeof(kTags) / sizeof(kTags[0]);  // 49: ids 0..48

}  // namespace

const char* pos_tag_string(int id) {
  if (id >= 0 && id < kTagCount) return kTags[id];
  switch (id) {
    case 50: return "www";
    case 51: return "tele";
    case 52: return "email";
    default: return "unk";
  }
}

int pos_tag_id(const char* tag) {
  if (tag == nullptr) return 0;
  for (int id = 1; id < kTagCount; ++id)
    if (std::strcmp(kTags[id], tag) == 0) return id;
  for (int id = 50; id <= 52; ++id)
    if (std::strcmp(pos_tag_string(id), tag) == 0) return id;
  return 0;
}
