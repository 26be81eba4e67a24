#include "dict/NerResourceWriter.h"

#include "base/AtomicFile.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Longest line text the reader takes as one line (its buffer is 101 bytes).
const size_t kMaxLineText = 100;

const char* const kHeaders[] = {"#fuxing", "#no_amb_xing", "#loc_suffix"};

void append_float_le(std::string& out, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}

bool has_header_prefix(const std::string& key) {
  for (const char* h : kHeaders)
    if (key.compare(0, std::strlen(h), h) == 0) return true;
  return false;
}

// Common rules for any key: read back as one line, unchanged, not a header.
bool is_valid_key(const std::string& key) {
  if (key.empty() || key.size() > kMaxLineText) return false;
  if (key.find_first_of(std::string("\n\r\0", 3)) != std::string::npos) return false;
  const char last = key[key.size() - 1];
  if (last == ' ' || last == '\t') return false;
  return !has_header_prefix(key);
}

// Surname values, in the order of the lists' values (ties by key).
std::vector<std::string> keys_by_value(const HashDict* dict) {
  std::vector<std::pair<int, std::string> > entries;
  if (dict != nullptr) {
    LHashIter<const char*, int> iter(*dict);
    const char* key = nullptr;
    while (int* value = iter.next(key)) entries.push_back(std::make_pair(*value, key));
  }
  std::sort(entries.begin(), entries.end());
  std::vector<std::string> keys;
  for (const auto& e : entries) keys.push_back(e.second);
  return keys;
}

}  // namespace

bool CNerResourceWriter::is_valid_surname_key(const std::string& key) {
  return is_valid_key(key);
}

bool CNerResourceWriter::is_valid_suffix_entry(const std::string& key, int weight) {
  if (weight < 1 || !is_valid_key(key)) return false;
  if (key.find(' ') != std::string::npos) return false;
  return key.size() + 1 + std::to_string(weight).size() <= kMaxLineText;
}

bool CNerResourceWriter::write_transition_table(const char* path,
                                                const CProbabilityNode* table, size_t dim) {
  if (table == nullptr || dim == 0) return false;
  std::string data;
  data.reserve(dim * dim * 8);
  for (size_t i = 0; i < dim * dim; ++i) {
    append_float_le(data, table[i].m_Prob);
    append_float_le(data, table[i].m_Bow);
  }
  return write_file_atomically(path, data);
}

bool CNerResourceWriter::write_named_entity_resource(
    const char* path, const std::vector<std::string>& fuxing,
    const std::vector<std::string>& no_amb_xing,
    const std::vector<std::pair<std::string, int> >& loc_suffix) {
  std::string data;
  data += "#fuxing\n";
  for (const std::string& key : fuxing) {
    if (!is_valid_surname_key(key)) return false;
    data += key;
    data += '\n';
  }
  data += "#no_amb_xing\n";
  for (const std::string& key : no_amb_xing) {
    if (!is_valid_surname_key(key)) return false;
    data += key;
    data += '\n';
  }
  data += "#loc_suffix\n";
  for (const auto& entry : loc_suffix) {
    if (!is_valid_suffix_entry(entry.first, entry.second)) return false;
    data += entry.first;
    data += ' ';
    data += std::to_string(entry.second);
    data += '\n';
  }
  return write_file_atomically(path, data);
}

bool CNerResourceWriter::write_named_entity_resource(const char* path,
                                                     const HashDict* fuxing_dict,
                                                     const HashDict* no_amb_xing_dict,
                                                     const HashDict* loc_suffix_dict) {
  std::vector<std::pair<std::string, int> > suffixes;
  if (loc_suffix_dict != nullptr) {
    LHashIter<const char*, int> iter(*loc_suffix_dict);
    const char* key = nullptr;
    while (int* value = iter.next(key)) suffixes.push_back(std::make_pair(key, *value));
  }
  std::sort(suffixes.begin(), suffixes.end());
  return write_named_entity_resource(path, keys_by_value(fuxing_dict),
                                     keys_by_value(no_amb_xing_dict), suffixes);
}
