// Transition tables (54 x 54 and 56 x 56) and the ner_info word lists on
// mutated files.
#include "dict/NerResource.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = lxfuzz::as_file(data, size);
  for (size_t dim : {54, 56}) {
    std::vector<CProbabilityNode> table(dim * dim);
    LX_CHECK(!CNerResource::load_transition_table(path.c_str(), table.data(), dim) || size >= dim * dim * 8);
  }
  HashDict *fuxing = nullptr, *noamb = nullptr, *suffix = nullptr;
  const int ok = CNerResource::load_named_entity_resource(path.c_str(), fuxing, noamb, suffix);
  for (HashDict* d : {fuxing, noamb, suffix}) {
    LX_CHECK((d != nullptr) == (ok == 1));
    for (size_t i = 0; d && i + 4 <= size; i += 4) d->find(std::string((const char*)data + i, 4).c_str());
  }
  CNerResource::free_dict(fuxing), CNerResource::free_dict(noamb), CNerResource::free_dict(suffix);
  return 0;
}
