#include "dict/BasicDictWriter.h"

#include "base/AtomicFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <numeric>

#include <unistd.h>

#include "base/DoubleArray.h"
#include "dict/BasicDict.h"

std::vector<rule_value_t> BasicDictRuleBlock(const std::vector<std::string>& parts, LogP weight) {
  std::vector<rule_value_t> r;
  r.push_back(rule_value_t::number((LogP)parts.size()));
  for (const std::string& w : parts) r.push_back(rule_value_t::index_of(w));
  r.push_back(rule_value_t::number(weight));
  return r;
}

std::vector<rule_value_t> BasicDictMulSegRecord(const std::string& w1, const std::string& w2,
                                                uint8_t p1, uint8_t p2, const std::string& w3,
                                                const std::string& w4, uint8_t p3, uint8_t p4) {
  return {rule_value_t::index_of(w1), rule_value_t::index_of(w2), rule_value_t::number(p1),
          rule_value_t::number(p2),   rule_value_t::index_of(w3), rule_value_t::index_of(w4),
          rule_value_t::number(p3),   rule_value_t::number(p4)};
}

bool CBasicDictWriter::add(const basic_dict_entry_t& entry) {
  const std::string& w = entry.word;
  if (w.empty() || w.size() > 255 || w.find('\0') != std::string::npos) return false;
  if (m_position.count(w)) return false;
  m_position.emplace(w, m_entries.size());
  m_entries.push_back(entry);
  return true;
}

long CBasicDictWriter::index_of(const std::string& word) const {
  auto it = m_position.find(word);
  if (it == m_position.end() || it->second >= m_index.size()) return -1;
  return (long)m_index[it->second];
}

namespace {

template <class T>
void append_raw(std::vector<char>& out, const T* data, size_t n) {
  const char* p = reinterpret_cast<const char*>(data);
  out.insert(out.end(), p, p + n * sizeof(T));
}

void append_u32(std::vector<char>& out, uint32_t v) { append_raw(out, &v, 1); }

// A byte array with its parallel float array; identical lists share storage.
struct ListArrays {
  std::vector<uint8_t> ids;
  std::vector<LogP> probs;
  std::unordered_map<std::string, uint32_t> known;

  // Start index of the list, or false if it holds a 0 id.
  bool add(const std::vector<prop_item_t>& items, uint32_t& sidx) {
    std::string key;
    for (const prop_item_t& it : items) {
      if (it.id == 0) return false;
      key.push_back((char)it.id);
      key.append(reinterpret_cast<const char*>(&it.prob), sizeof(LogP));
    }
    auto found = known.find(key);
    if (found != known.end()) {
      sidx = found->second;
      return true;
    }
    if (ids.size() >= Prop_None - items.size() - 1) return false;
    sidx = (uint32_t)ids.size();
    for (const prop_item_t& it : items) {
      ids.push_back(it.id);
      probs.push_back(it.prob);
    }
    ids.push_back(0);
    probs.push_back(0.0f);
    known.emplace(key, sidx);
    return true;
  }
};

}  // namespace

bool CBasicDictWriter::build(std::vector<char>& lex, std::vector<char>& prop) {
  try {
    m_index.clear();
    const size_t n = m_entries.size();
    if (n == 0) {
      m_error = "no words";
      return false;
    }
    if (n > 0x7FFFFFFFu) {
      m_error = "too many words";
      return false;
    }

    // Byte order (std::string compares as unsigned char); the rank is the index.
    std::vector<size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [this](size_t a, size_t b) { return m_entries[a].word < m_entries[b].word; });
    std::vector<uint32_t> index(n);
    for (size_t r = 0; r < n; r++) index[order[r]] = (uint32_t)r;

    // Core.Lex: without values the double array gives key i the value i.
    std::vector<const char*> keys(n);
    std::vector<size_t> lengths(n);
    for (size_t r = 0; r < n; r++) {
      keys[r] = m_entries[order[r]].word.data();
      lengths[r] = m_entries[order[r]].word.size();
    }
    Darts::DoubleArray da;
    da.build(n, keys.data(), lengths.data());
    lex.clear();
    append_raw(lex, static_cast<const uint32_t*>(da.array()), da.size());

    // Core.Prop.
    ListArrays pos, roles, ln_roles;
    std::vector<uint8_t> seg_type;
    std::vector<LogP> rule_info;
    std::vector<word_prop_t> info(n);
    for (size_t r = 0; r < n; r++) {
      const basic_dict_entry_t& e = m_entries[order[r]];
      word_prop_t& w = info[r];
      w.m_pos_sidx = w.m_role_sidx = w.m_ln_role_sidx = w.m_seg_rule_sidx = Prop_None;
      w.m_WordLength = (uint8_t)e.word.size();
      w.m_pad = 0;
      w.m_NameEntity = e.name_entity;
      if ((e.pos && !pos.add(*e.pos, w.m_pos_sidx)) ||
          (e.roles && !roles.add(*e.roles, w.m_role_sidx)) ||
          (e.ln_roles && !ln_roles.add(*e.ln_roles, w.m_ln_role_sidx))) {
        m_error = "word " + std::to_string(r) + ": a list holds the id 0 or is too large";
        return false;
      }

      std::vector<LogP> rule_values;
      if (e.rule) {
        for (const rule_value_t& v : *e.rule) {
          if (v.word.empty()) {
            rule_values.push_back(v.value);
            continue;
          }
          auto it = m_position.find(v.word);
          if (it == m_position.end()) {
            m_error = "word " + std::to_string(r) + ": rule names an unknown word";
            return false;
          }
          rule_values.push_back((LogP)index[it->second]);
        }
      }
      if (e.subwords && e.subwords->size() > 255) {
        m_error = "word " + std::to_string(r) + ": more than 255 sub-words";
        return false;
      }
      if (!e.rule && !e.subwords) continue;

      // One index valid in both arrays when the word has both records.
      size_t sidx = 0;
      if (e.rule) sidx = std::max(sidx, rule_info.size());
      if (e.subwords) sidx = std::max(sidx, seg_type.size());
      if (sidx >= Prop_None - 1024) {
        m_error = "rule arrays too large";
        return false;
      }
      w.m_seg_rule_sidx = (uint32_t)sidx;
      if (e.rule) {
        rule_info.resize(sidx, 0.0f);
        rule_info.insert(rule_info.end(), rule_values.begin(), rule_values.end());
      }
      if (e.subwords) {
        seg_type.resize(sidx, 0);
        seg_type.push_back((uint8_t)e.subwords->size());
        for (const subword_t& s : *e.subwords) seg_type.push_back(s.length);
        for (const subword_t& s : *e.subwords) seg_type.push_back(s.pos);
      }
    }
    if (rule_info.size() >= Prop_None || seg_type.size() >= Prop_None) {
      m_error = "rule arrays too large";
      return false;
    }

    prop.clear();
    append_u32(prop, (uint32_t)n);
    append_raw(prop, info.data(), n);
    append_u32(prop, (uint32_t)pos.ids.size());
    append_raw(prop, pos.ids.data(), pos.ids.size());
    append_u32(prop, (uint32_t)pos.probs.size());
    append_raw(prop, pos.probs.data(), pos.probs.size());
    append_u32(prop, (uint32_t)roles.ids.size());
    append_raw(prop, roles.ids.data(), roles.ids.size());
    append_u32(prop, (uint32_t)roles.probs.size());
    append_raw(prop, roles.probs.data(), roles.probs.size());
    append_u32(prop, (uint32_t)ln_roles.ids.size());
    append_raw(prop, ln_roles.ids.data(), ln_roles.ids.size());
    append_u32(prop, (uint32_t)ln_roles.probs.size());
    append_raw(prop, ln_roles.probs.data(), ln_roles.probs.size());
    append_u32(prop, (uint32_t)seg_type.size());
    append_raw(prop, seg_type.data(), seg_type.size());
    append_u32(prop, (uint32_t)rule_info.size());
    append_raw(prop, rule_info.data(), rule_info.size());

    m_index.swap(index);
    m_error.clear();
    return true;
  } catch (const std::exception& e) {
    m_error = e.what();
    return false;
  }
}

bool CBasicDictWriter::write(const char* lex_path, const char* prop_path) {
  std::vector<char> lex, prop;
  if (!build(lex, prop)) return false;
  if (!write_file_atomically(lex_path, lex.data(), lex.size())) {
    m_error = std::string("cannot write ") + (lex_path ? lex_path : "(null)");
    return false;
  }
  if (!write_file_atomically(prop_path, prop.data(), prop.size())) {
    m_error = std::string("cannot write ") + (prop_path ? prop_path : "(null)");
    return false;
  }
  return true;
}
