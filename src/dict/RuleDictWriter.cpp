#include "dict/RuleDictWriter.h"

#include "base/AtomicFile.h"
#include "dict/BasicDictWriter.h"
#include "dict/RuleDict.h"

bool CRuleDictWriter::add(const std::string& str, const std::vector<int>& lengths) {
  if (str.empty() || m_strings.count(str)) return false;
  if (str.find_first_of(std::string(",\n\0", 3)) != std::string::npos) return false;
  std::string line = str;
  for (int l : lengths) {
    if (l <= 0) return false;  // the reader drops zero lengths
    line += "," + std::to_string(l);
  }
  line += "\n";
  if (line.size() > 1023) return false;

  // The line must read back as exactly this rule.
  CRuleDict reader;
  rule_t rule;
  if (!reader._parse(line.c_str(), rule)) return false;
  bool same = str == rule.srule && rule.idx->size() == lengths.size() &&
              std::equal(lengths.begin(), lengths.end(), rule.idx->begin());
  delete[] rule.srule;
  delete rule.idx;
  if (!same) return false;

  m_lines.push_back(line);
  m_strings.insert(str);
  return true;
}

std::string CRuleDictWriter::text() const {
  std::string all;
  for (const std::string& line : m_lines) all += line;
  return all;
}

bool CRuleDictWriter::write(const char* path) const {
  std::string all = text();
  return write_file_atomically(path, all.data(), all.size());
}
