#include "CustomResources.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <system_error>
#include <vector>

#include "dict/CustomDict.h"
#include "dict/CustomDictWriter.h"

namespace fs = std::filesystem;

namespace {

// The loader reads word lists through a 256-byte buffer: a line's content
// (without its line end) of up to this many bytes is read whole.
const size_t kMaxLineContent = (size_t)CCustomDict::LINE_BUFFER_SIZE - 1;

// A class value keeps four ids, one per byte, and must stay non-negative.
const int kMaxClassesPerWord = 4;

// Valid GBK: single bytes below 0x80 (no NUL), or a lead byte 0x81-0xFE
// followed by a trail byte 0x40-0xFE other than 0x7F.
bool valid_gbk(const char* s, size_t n) {
  for (size_t i = 0; i < n;) {
    const unsigned char c = (unsigned char)s[i];
    if (c < 0x80) {
      if (c == 0) return false;
      ++i;
      continue;
    }
    if (c == 0x80 || c == 0xFF || i + 1 >= n) return false;
    const unsigned char t = (unsigned char)s[i + 1];
    if (t < 0x40 || t == 0x7F || t == 0xFF) return false;
    i += 2;
  }
  return true;
}

bool has_white_space(const std::string& s) {
  return s.find_first_of(" \t\r\n\v\f") != std::string::npos;
}

// Splits `content` into lines as a line reader sees them: each without its
// "\n" (and a "\r" before it, or a lone final "\r"); a last line without a
// line end counts.
std::vector<std::string> split_lines(const std::string& content) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < content.size()) {
    size_t nl = content.find('\n', at);
    size_t end = nl == std::string::npos ? content.size() : nl;
    std::string line = content.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    at = nl == std::string::npos ? content.size() : nl + 1;
  }
  return lines;
}

// The bytes of `p`; false with a message naming the file when it cannot be
// read.
bool read_whole_file(const fs::path& p, std::string& out, std::string& error) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  if (in) {
    ss << in.rdbuf();
    if (!in.bad()) {
      out = ss.str();
      return true;
    }
  }
  error = p.string() + ": cannot read the file";
  return false;
}

bool write_whole_file(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), (std::streamsize)bytes.size());
  out.close();
  return !out.fail();
}

// One entry of the copied tree, relative to "CustomWord"; a directory has no
// content.
struct tree_entry_t {
  std::string rel;
  bool is_dir;
  std::string content;
};

// Reads the tree below `dir` (relative path `rel`) in byte order of the
// names.  Only directories and regular files may occur: the loader skips
// anything else, so copying it would only hide a mistake.
bool read_tree(const fs::path& dir, const std::string& rel, std::vector<tree_entry_t>& out,
               std::string& error) {
  std::error_code ec;
  std::vector<std::string> names;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  if (ec) {
    error = dir.string() + ": cannot read the directory: " + ec.message();
    return false;
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const fs::path p = dir / name;
    const std::string r = rel.empty() ? name : rel + "/" + name;
    const fs::file_status st = fs::symlink_status(p, ec);
    if (ec) {
      error = p.string() + ": " + ec.message();
      return false;
    }
    if (fs::is_directory(st)) {
      out.push_back({r, true, std::string()});
      if (!read_tree(p, r, out, error)) return false;
    } else if (fs::is_regular_file(st)) {
      tree_entry_t e{r, false, std::string()};
      if (!read_whole_file(p, e.content, error)) return false;
      std::string why;
      if (!check_custom_word_list(e.content, why)) {
        error = p.string() + ": " + why;
        return false;
      }
      out.push_back(std::move(e));
    } else {
      error = p.string() + ": neither a directory nor a regular file (the library reads neither "
                           "links nor special files)";
      return false;
    }
  }
  return true;
}

// Reads the class names: "<id>\t<name>" lines with ids 0, 1, 2, ... in
// order; empty lines and lines starting with "#" are skipped.
bool read_class_names(const fs::path& p, const std::string& content,
                      std::vector<std::string>& names, std::string& error) {
  const std::vector<std::string> lines = split_lines(content);
  for (size_t n = 0; n < lines.size(); ++n) {
    const std::string& line = lines[n];
    const std::string where = p.string() + ": line " + std::to_string(n + 1) + ": ";
    if (line.empty() || line[0] == '#') continue;
    const size_t tab = line.find('\t');
    const std::string id_text = line.substr(0, tab);
    char* end = nullptr;
    const long id = std::strtol(id_text.c_str(), &end, 10);
    if (tab == std::string::npos || id_text.empty() || *end != '\0') {
      error = where + "expected \"<id>\\t<name>\"";
      return false;
    }
    if (id != (long)names.size()) {
      error = where + "class id " + id_text + " where " + std::to_string(names.size()) +
              " was expected (ids are the line positions from 0)";
      return false;
    }
    const std::string name = line.substr(tab + 1);
    if (name.empty() || has_white_space(name) || !valid_gbk(name.data(), name.size())) {
      error = where + "a class name must be non-empty GBK text without white space";
      return false;
    }
    if (names.size() > (size_t)CCustomDict::MAX_CLASS_ID) {
      error = where + "more than " + std::to_string(CCustomDict::MAX_CLASS_ID + 1) +
              " classes do not fit into a class value";
      return false;
    }
    names.push_back(name);
  }
  return true;
}

// Reads "<word>\t<name>[|<name>...]" lines into entries with packed class
// values.
bool read_sys_entries(const fs::path& p, const std::string& content,
                      const std::vector<std::string>& names, std::vector<syscd_entry_t>& entries,
                      std::string& error) {
  std::map<std::string, int> id_of;
  for (size_t i = 0; i < names.size(); ++i) id_of.emplace(names[i], (int)i);
  std::set<std::string> seen;
  const std::vector<std::string> lines = split_lines(content);
  for (size_t n = 0; n < lines.size(); ++n) {
    const std::string& line = lines[n];
    const std::string where = p.string() + ": line " + std::to_string(n + 1) + ": ";
    if (line.empty() || line[0] == '#') continue;
    const size_t tab = line.find('\t');
    if (tab == std::string::npos || tab == 0) {
      error = where + "expected \"<word>\\t<class>[|<class>...]\"";
      return false;
    }
    const std::string word = line.substr(0, tab);
    if (has_white_space(word) || !valid_gbk(word.data(), word.size())) {
      error = where + "a word must be GBK text without white space";
      return false;
    }
    if (!seen.insert(word).second) {
      error = where + "the word is listed twice";
      return false;
    }
    std::vector<int> ids;
    const std::string rest = line.substr(tab + 1);
    size_t at = 0;
    for (;;) {
      const size_t bar = rest.find('|', at);
      const std::string name = rest.substr(at, bar == std::string::npos ? std::string::npos : bar - at);
      auto it = id_of.find(name);
      if (it == id_of.end()) {
        error = where + "unknown class name \"" + name + "\"";
        return false;
      }
      if (it->second == 0) {
        error = where + "class id 0 cannot be stored (a class value of 0 means no class)";
        return false;
      }
      if (std::find(ids.begin(), ids.end(), it->second) == ids.end()) ids.push_back(it->second);
      if (bar == std::string::npos) break;
      at = bar + 1;
    }
    if (ids.size() > (size_t)kMaxClassesPerWord) {
      error = where + "more than four classes";
      return false;
    }
    int value = 0;
    for (int id : ids) value = CCustomDict::add_class_id(value, id);
    if (value < 0) {
      error = where + "the fourth class must have an id below 128";
      return false;
    }
    entries.push_back({word, value});
  }
  return true;
}

// Removes `p` and everything below it; true if it is gone.
bool remove_tree(const fs::path& p) {
  std::error_code ec;
  fs::remove_all(p, ec);
  return !ec && !fs::exists(fs::symlink_status(p, ec));
}

}  // namespace

bool check_custom_word_list(const std::string& content, std::string& error) {
  const std::vector<std::string> lines = split_lines(content);
  for (size_t n = 0; n < lines.size(); ++n) {
    const std::string& line = lines[n];
    const std::string where = "line " + std::to_string(n + 1) + ": ";
    // Checked for comments too: the rest of an over-long comment would be
    // read as a line of its own.
    if (line.size() > kMaxLineContent) {
      error = where + "longer than " + std::to_string(kMaxLineContent) + " bytes";
      return false;
    }
    if (line.find('\0') != std::string::npos) {
      error = where + "contains a NUL byte";
      return false;
    }
    if (line.empty() || line[0] == '#' || line.compare(0, 2, "//") == 0) continue;
    const size_t comma = line.rfind(',');
    const std::string word = comma == std::string::npos ? line : line.substr(0, comma);
    const std::string pos = comma == std::string::npos ? "n" : line.substr(comma + 1);
    if (CCustomDict::getposid(pos.c_str()) == CCustomDict::UNK_POS) {
      error = where + "unknown POS name \"" + pos + "\"";
      return false;
    }
    if (word.empty()) {
      error = where + "empty word";
      return false;
    }
    if (has_white_space(word)) {
      error = where + "white space in a word (it ends a sentence, so the word would never match)";
      return false;
    }
    if (!valid_gbk(word.data(), word.size())) {
      error = where + "the word is not GBK";
      return false;
    }
  }
  return true;
}

bool write_custom_resources(const std::string& source_dir, const std::string& out_dir,
                            std::string& error) {
  error.clear();
  std::error_code ec;
  const fs::path src(source_dir);
  const fs::path out(out_dir);
  const fs::path words = src / "CustomWord";

  // Read and check everything first.
  if (!fs::is_directory(fs::symlink_status(words, ec))) {
    error = words.string() + ": no such directory";
    return false;
  }
  if (!fs::is_directory(out, ec)) {
    error = out.string() + ": no such directory";
    return false;
  }
  std::vector<tree_entry_t> tree;
  if (!read_tree(words, "", tree, error)) return false;

  const fs::path names_src = src / "id_custname.dict";
  const fs::path entries_src = src / "cusdata.txt";
  const bool with_names = fs::exists(names_src, ec);
  const bool with_entries = fs::exists(entries_src, ec);
  std::vector<std::string> names;
  std::vector<syscd_entry_t> entries;
  if (with_entries && !with_names) {
    error = entries_src.string() + ": needs the class names of " + names_src.string();
    return false;
  }
  if (with_names) {
    std::string content;
    if (!read_whole_file(names_src, content, error)) return false;
    if (!read_class_names(names_src, content, names, error)) return false;
    if (names.empty()) {
      error = names_src.string() + ": no class name";
      return false;
    }
  }
  if (with_entries) {
    std::string content;
    if (!read_whole_file(entries_src, content, error)) return false;
    if (!read_sys_entries(entries_src, content, names, entries, error)) return false;
  }

  // Write the system custom dictionary (each file replaced atomically), then
  // the tree: built beside its final place and swapped in, so that the old
  // tree stays whole until the new one is complete.
  if (with_names &&
      !write_sys_custom_dict((out / "cusdata.idx").c_str(), (out / "id_custname.dict").c_str(),
                             names, entries)) {
    error = out.string() + ": cannot write cusdata.idx and id_custname.dict";
    return false;
  }
  const fs::path final_tree = out / "CustomWord";
  const fs::path new_tree = out / ".CustomWord.new";
  if (!remove_tree(new_tree)) {
    error = new_tree.string() + ": cannot remove the leftover of an earlier run";
    return false;
  }
  bool ok = fs::create_directory(new_tree, ec) && !ec;
  for (size_t i = 0; ok && i < tree.size(); ++i) {
    const fs::path p = new_tree / tree[i].rel;
    ok = tree[i].is_dir ? (fs::create_directory(p, ec) && !ec) : write_whole_file(p, tree[i].content);
    if (!ok) error = p.string() + ": cannot write";
  }
  if (ok && !remove_tree(final_tree)) {
    error = final_tree.string() + ": cannot remove the old tree";
    ok = false;
  }
  if (ok) {
    fs::rename(new_tree, final_tree, ec);
    if (ec) {
      error = final_tree.string() + ": " + ec.message();
      ok = false;
    }
  }
  if (!ok) {
    if (error.empty()) error = new_tree.string() + ": cannot create";
    remove_tree(new_tree);
    return false;
  }
  return true;
}
