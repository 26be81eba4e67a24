#include "dict/CustomDictWriter.h"

#include "base/AtomicFile.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>

namespace {

bool save_double_array_atomically(const Darts::DoubleArray& da, const char* path) {
  if (da.array() == nullptr || da.size() == 0) return false;
  return write_file_atomically(path, da.array(), da.total_size());
}

void put_le32(std::string& out, uint32_t v) {
  out.push_back((char)(v & 0xFF));
  out.push_back((char)((v >> 8) & 0xFF));
  out.push_back((char)((v >> 16) & 0xFF));
  out.push_back((char)((v >> 24) & 0xFF));
}

bool valid_key(const std::string& w) {
  return !w.empty() && w.find('\0') == std::string::npos;
}

// Sorts `order` (indexes into `words`) by the words in byte order; false if
// two words are equal.
template <class Entry>
bool sorted_distinct(const std::vector<Entry>& entries, std::vector<size_t>& order) {
  order.resize(entries.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return entries[a].word < entries[b].word; });
  for (size_t i = 1; i < order.size(); ++i)
    if (entries[order[i - 1]].word == entries[order[i]].word) return false;
  return true;
}

// Builds a double array over the sorted words with the given values (or the
// positions when `values` is null).  False if the library rejects the input.
bool build_array(Darts::DoubleArray& da, const std::vector<const char*>& keys,
                 const std::vector<size_t>& lengths, const std::vector<int>* values) {
  if (keys.empty()) {
    // The library builds the one-block array of an empty key set from no keys.
    try {
      return da.build(0, nullptr, nullptr, nullptr) == 0;
    } catch (const std::exception&) {
      return false;
    }
  }
  try {
    return da.build(keys.size(), keys.data(), lengths.data(),
                    values ? values->data() : nullptr) == 0;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

bool write_second_prop(const char* prop_path, const std::vector<_cw_t>& records) {
  if (records.size() > (size_t)INT32_MAX) return false;
  std::string out;
  out.reserve(4 + 8 * records.size());
  put_le32(out, (uint32_t)records.size());
  for (const _cw_t& r : records) {
    put_le32(out, (uint32_t)r.data);
    put_le32(out, r.len);
  }
  return write_file_atomically(prop_path, out);
}

bool write_second_lexicon(const char* lex_path, const char* prop_path,
                          const std::vector<seclex_entry_t>& entries) {
  for (const seclex_entry_t& e : entries)
    if (!valid_key(e.word) || e.word.size() > UINT32_MAX) return false;
  std::vector<size_t> order;
  if (!sorted_distinct(entries, order)) return false;

  std::vector<const char*> keys;
  std::vector<size_t> lengths;
  std::vector<_cw_t> records;
  for (size_t i : order) {
    keys.push_back(entries[i].word.data());
    lengths.push_back(entries[i].word.size());
    records.push_back(_cw_t{entries[i].data, (unsigned int)entries[i].word.size()});
  }
  Darts::DoubleArray da;
  if (!build_array(da, keys, lengths, nullptr)) return false;
  return save_double_array_atomically(da, lex_path) && write_second_prop(prop_path, records);
}

bool write_class_names(const char* names_path, const std::vector<std::string>& names) {
  if (names.size() > (size_t)CCustomDict::MAX_CLASS_ID + 1) return false;
  std::string out;
  for (size_t id = 0; id < names.size(); ++id) {
    const std::string& n = names[id];
    if (n.empty() || n.find_first_of(std::string(" \t\r\n\v\f\0", 7)) != std::string::npos)
      return false;
    out += std::to_string(id);
    out += '\t';
    out += n;
    out += '\n';
  }
  return write_file_atomically(names_path, out);
}

bool write_sys_custom_dict(const char* idx_path, const char* names_path,
                           const std::vector<std::string>& class_names,
                           const std::vector<syscd_entry_t>& entries) {
  for (const syscd_entry_t& e : entries)
    if (!valid_key(e.word) || e.clsvalue < 0) return false;
  std::vector<size_t> order;
  if (!sorted_distinct(entries, order)) return false;

  std::vector<const char*> keys;
  std::vector<size_t> lengths;
  std::vector<int> values;
  for (size_t i : order) {
    keys.push_back(entries[i].word.data());
    lengths.push_back(entries[i].word.size());
    values.push_back(entries[i].clsvalue);
  }
  Darts::DoubleArray da;
  if (!build_array(da, keys, lengths, &values)) return false;
  // The names first: a dictionary without its names is of no use.
  return write_class_names(names_path, class_names) &&
         save_double_array_atomically(da, idx_path);
}
