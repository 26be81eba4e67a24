#include "dict/CustomDict.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <new>

#include "dict/BasicDict.h"

const char* const CCustomDict::m_cspos[48] = {
    "a",  "ad", "an", "b",  "c",  "d",  "e",  "f",  "g",  "h",  "i",  "j",
    "k",  "l",  "m",  "n",  "nr", "nrf", "nrg", "ns", "nt", "nz", "nx", "o",
    "p",  "q",  "r",  "s",  "t",  "u",  "v",  "vd", "vn", "w",  "x",  "y",
    "z",  "Ag", "Bg", "Dg", "Mg", "Ng", "Qg", "Rg", "Tg", "Vg", "Yg", "Zg"};

namespace {

// Owners for what the loaders hold while they read: an allocation that fails
// part-way throws, and the stream (a FileHolder) and the line buffer of
// getline must not be lost with it.

// The buffer that getline (re)allocates with malloc.
struct LineBuffer {
  char* text = nullptr;
  size_t cap = 0;
  LineBuffer() = default;
  LineBuffer(const LineBuffer&) = delete;
  LineBuffer& operator=(const LineBuffer&) = delete;
  ~LineBuffer() { std::free(text); }
};

uint32_t read_le32(const unsigned char* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

// Opens a word list for reading without following a symbolic link in its last
// component, and only if it is a regular file.
FILE* open_word_list(const char* path) {
  int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  FILE* fp = fdopen(fd, "r");
  if (fp == nullptr) close(fd);
  return fp;
}

// Reads "Sec.Prop": a little-endian signed 32-bit count, then that many
// records of two little-endian 32-bit fields (bytes after them are not
// read).  The count is checked against the file size before anything is
// allocated.  Null, after reporting, when the file cannot be opened or read
// or is too short for its count.
std::unique_ptr<_cw_t[]> read_prop_file(const char* path, size_t& num) {
  FileHolder fp(open_regular_file(path));
  if (fp == nullptr) return nullptr;
  unsigned char hdr[4];
  struct stat st;
  if (std::fread(hdr, 1, 4, fp.get()) != 4 || fstat(fileno(fp.get()), &st) != 0) {
    report_file_problem(path, "%s", std::ferror(fp.get()) ? std::strerror(errno) : "no record count");
    return nullptr;
  }
  int32_t n = (int32_t)read_le32(hdr);
  if (n < 0 || (unsigned long long)st.st_size < 4 + 8ULL * (uint32_t)n) {
    report_file_problem(path, "%lld bytes, too short for the record count %d", (long long)st.st_size, n);
    return nullptr;
  }
  std::unique_ptr<_cw_t[]> recs(new (std::nothrow) _cw_t[n > 0 ? (size_t)n : 1]);
  if (recs == nullptr) {
    report_file_problem(path, "out of memory");
    return nullptr;
  }
  unsigned char buf[8 * 1024];
  size_t done = 0;
  while (done < (size_t)n) {
    size_t chunk = (size_t)n - done;
    if (chunk > sizeof(buf) / 8) chunk = sizeof(buf) / 8;
    if (std::fread(buf, 8, chunk, fp.get()) != chunk) {
      report_file_problem(path, "%s", std::ferror(fp.get()) ? std::strerror(errno) : "cut short");
      return nullptr;
    }
    for (size_t k = 0; k < chunk; ++k) {
      recs[done + k].data = (int)read_le32(buf + 8 * k);
      recs[done + k].len = read_le32(buf + 8 * k + 4);
    }
    done += chunk;
  }
  num = (size_t)n;
  return recs;
}

// Loads a double array from a whole file and checks that no search can leave
// it.  The library reports failures by exception; they end here.  Every
// failure is reported, except an absent file when `absent_ok`.
template <class DA>
bool open_double_array(DA& da, const char* path, bool absent_ok = false) {
  FileHolder probe(open_regular_file(path, absent_ok));
  if (probe == nullptr) return false;
  probe.reset();
  const char* why = "not a valid double array";
  try {
    if (da.open(path) == 0 && da.validate()) return true;
  } catch (const std::exception&) {
    why = "cannot be loaded (out of memory)";
  }
  da.clear();
  report_file_problem(path, "%s", why);
  return false;
}

}  // namespace

bool check_lexicon_values(const void* units, size_t num_units, const _cw_t* recs, size_t num) {
  struct Records {
    const _cw_t* recs;
    size_t num;
  } r{recs, num};
  // A key that ends at the root would be the empty word, which no record can
  // describe.
  auto matches = [](void* ctx, uint32_t value, size_t length) {
    const Records* r = static_cast<const Records*>(ctx);
    return length != 0 && value < r->num && (r->recs == nullptr || r->recs[value].len == length);
  };
  return num_units <= 0xFFFFFFFFu &&
         DictTrieForEachKey(static_cast<const uint32_t*>(units), num_units, 65534, matches, &r);
}

CCustomDict::CCustomDict()
    : m_SysCustomDict(false), m_customNum(0), m_attr(nullptr), m_attrusr(nullptr), m_ix(0),
      m_max(256), m_cwMaxLen(50), m_bphrase(false), m_attrNum(0) {}

CCustomDict::~CCustomDict() {
  _clear_records();
  m_word_cls_idx.clear();
}

void CCustomDict::_clear_records() {
  delete[] m_attr;
  delete[] m_attrusr;
  m_attr = nullptr;
  m_attrusr = nullptr;
  m_attrNum = 0;
  m_customNum = 0;
}

void CCustomDict::_clear_classes() {
  _clusid2name_vec.clear();
  m_idname2id.clear();
}

int CCustomDict::LoadDict(const char* dictfile, const char* dictprop) {
  _clear_records();
  m_cd.clear();
  if (dictfile == nullptr || dictprop == nullptr) return 0;
  if (!open_double_array(m_cd, dictfile)) return 0;
  // Until the records are checked and taken over they belong to `recs`; the
  // double array is dropped on every way out but success, so that a lexicon
  // never stands without its records (its values index them unchecked).
  bool ok = false;
  try {
    size_t num = 0;
    std::unique_ptr<_cw_t[]> recs = read_prop_file(dictprop, num);
    if (recs != nullptr && check_lexicon_values(m_cd.array(), m_cd.size(), recs.get(), num)) {
      m_attr = recs.release();
      m_attrNum = num;
      ok = true;
    } else if (recs != nullptr) {
      report_file_problem(dictfile, "holds a word without a matching record in %s", dictprop);
    }
  } catch (...) {
    m_cd.clear();
    throw;
  }
  if (!ok) {
    m_cd.clear();
    return 0;
  }
  return 1;
}

bool CCustomDict::_load_class_names(const char* dictmap) {
  FileHolder fp(dictmap ? open_regular_file(dictmap, true) : nullptr);
  if (fp == nullptr) return false;
  // One record per line: a decimal id, white space, a name without white
  // space.  A name is kept at the position of its id, so the ids that
  // "cusdata.idx" stores name the right classes even when the lines are not in
  // id order.  Malformed lines are skipped; an id that a class value cannot
  // hold, or a last line without its name, refuses the file.
  LineBuffer buf;
  unsigned line_no = 0;
  ssize_t got;
  while ((got = getline(&buf.text, &buf.cap, fp.get())) != -1) {
    ++line_no;
    const char* line = buf.text;
    char* end = nullptr;
    long id = std::strtol(line, &end, 10);
    const char* s = end;
    while (*s == ' ' || *s == '\t' || *s == '\r' || *s == '\n' || *s == '\v' || *s == '\f') ++s;
    const char* e = s;
    while (*e != '\0' && *e != ' ' && *e != '\t' && *e != '\r' && *e != '\n' && *e != '\v' &&
           *e != '\f')
      ++e;
    const bool cut = got > 0 && buf.text[got - 1] != '\n' &&
                     ((end != line && e == s) || ends_inside_character(line, (size_t)got));
    if (cut || (end != line && (id < 0 || id > MAX_CLASS_ID))) {
      report_file_problem(dictmap, "line %u: %s", line_no,
                          cut ? "cut short" : "class id out of range (0 to 255)");
      _clear_classes();
      return false;
    }
    if (end == line || e == s) continue;
    std::string name(s, (size_t)(e - s));
    if (_clusid2name_vec.size() <= (size_t)id) _clusid2name_vec.resize((size_t)id + 1);
    if (!_clusid2name_vec[(size_t)id].empty()) continue;  // the first record of an id wins
    _clusid2name_vec[(size_t)id] = name;
    bool found = false;
    int* slot = m_idname2id.insert(const_cast<char*>(name.c_str()), found);
    if (!found) *slot = (int)id;
  }
  if (std::ferror(fp.get())) {
    report_file_problem(dictmap, "%s", std::strerror(errno));
    _clear_classes();
    return false;
  }
  return true;
}

int CCustomDict::LoadSysDict(const char* sysdictfile, const char* dictmap) {
  _clear_classes();
  m_SysCustomDict = false;
  m_syscd.clear();
  // Both files are optional: an absent one ends the load quietly, a damaged
  // one with its message.
  if (!_load_class_names(dictmap)) return 0;
  if (sysdictfile == nullptr || !open_double_array(m_syscd, sysdictfile, true)) {
    m_syscd.clear();
    return 0;
  }
  m_SysCustomDict = true;
  return 1;
}

bool CCustomDict::InitCDict(const char* custom_words_dir, const char* lpszDataDirPath) {
  if (lpszDataDirPath != nullptr) {
    std::string base(lpszDataDirPath);
    LoadSysDict((base + "/cusdata.idx").c_str(), (base + "/id_custname.dict").c_str());
  } else {
    _clear_classes();
    m_SysCustomDict = false;
    m_syscd.clear();
  }
  _clear_records();
  m_cd.clear();
  dir.clear();
  m_cwMaxLen = 50;

  dir.ReadClsDictDir(custom_words_dir);
  if (dir.m_idx == 0) {
    m_customNum = 0;
    return true;
  }

  // std::string orders by unsigned bytes, which is strcmp order.
  std::map<std::string, _cw_t_ext> words;
  char line[LINE_BUFFER_SIZE];
  for (int f = 0; f < dir.m_idx; ++f) {
    const char* path = dir.m_files[f];
    FileHolder fp(open_word_list(path));
    if (fp == nullptr) {
      // The whole dictionary fails with this list; say which one.
      std::fprintf(stderr, "unable to open file: %s\n", path);
      return false;
    }

    // Only the part below "CustomWord" decides, so that a directory called
    // "phrase" above the dictionary does not turn every word into a phrase.
    const char* cls_path = CDir::class_path_start(path);
    m_bphrase = cls_path != nullptr &&
                (std::strstr(cls_path, "/phrase/") != nullptr ||
                 std::strstr(cls_path, "\\phrase\\") != nullptr);

    const char* cls_name = dir.m_words_class[f];
    int clsid;
    bool found = false;
    int* known = m_idname2id.find(const_cast<char*>(cls_name), found);
    if (known != nullptr) {
      clsid = *known;
    } else {
      clsid = (int)_clusid2name_vec.size();
      _clusid2name_vec.push_back(cls_name);
      *m_idname2id.insert(const_cast<char*>(cls_name), found) = clsid;
    }

    PieceReader in(fp.get());
    while (in.read(line, sizeof(line)) != nullptr) {
      size_t n = std::strlen(line);
      if (line[0] == '#' || (line[0] == '/' && line[1] == '/')) continue;
      // A last line without a line feed that stops inside a character or
      // right after the comma before its POS name was cut short.
      if (in.last && n > 0 && (ends_inside_character(line, n) || line[n - 1] == ',')) {
        report_file_problem(path, "line %u: cut short", in.line);
        return false;
      }
      if (n > 0 && line[n - 1] == '\n') {
        --n;
        if (n > 0 && line[n - 1] == '\r') --n;
      } else if (n > 0 && line[n - 1] == '\r') {
        --n;
      }
      if (n == 0) continue;
      line[n] = '\0';

      const char* posname = "n";
      size_t wlen = n;
      if (char* comma = std::strrchr(line, ',')) {
        *comma = '\0';
        posname = comma + 1;
        wlen = (size_t)(comma - line);
      }
      unsigned char pos = getposid(posname);
      if (pos == UNK_POS) continue;
      if (wlen == 0) continue;  // a double array holds no empty key
      if (wlen > m_cwMaxLen) m_cwMaxLen = wlen;

      auto ins = words.emplace(std::string(line, wlen), _cw_t_ext());
      _cw_t_ext& rec = ins.first->second;
      if (ins.second) {
        rec.data = setidxpos(clsid, pos, m_bphrase ? 1 : 0);
        rec.len = (unsigned int)wlen;
        rec.clsidx = add_class_id(0, clsid);
      } else {
        rec.clsidx = add_class_id(rec.clsidx, clsid);
      }
    }
    if (std::ferror(fp.get())) {
      report_file_problem(path, "%s", std::strerror(errno));
      return false;
    }
  }
  m_bphrase = false;

  m_customNum = (int)words.size();
  if (m_customNum == 0) return true;

  std::unique_ptr<_cw_t_ext[]> recs(new (std::nothrow) _cw_t_ext[words.size()]);
  if (recs == nullptr) {
    m_customNum = 0;
    report_file_problem(custom_words_dir, "cannot build the user dictionary");
    return false;
  }
  std::vector<const char*> keys;
  keys.reserve(words.size());
  size_t i = 0;
  for (const auto& w : words) {
    keys.push_back(w.first.c_str());
    recs[i++] = w.second;
  }
  bool built = false;
  try {
    built = m_cd.build(keys.size(), keys.data(), nullptr, nullptr) == 0;
  } catch (const std::exception&) {
    built = false;
  }
  if (!built) {
    m_cd.clear();
    m_customNum = 0;
    report_file_problem(custom_words_dir, "cannot build the user dictionary");
    return false;
  }
  m_attrusr = recs.release();
  m_attrNum = words.size();
  return true;
}

unsigned char CCustomDict::getposid(const char* name) {
  if (name == nullptr) return UNK_POS;
  for (int k = 0; k < 48; ++k)
    if (std::strcmp(m_cspos[k], name) == 0) return (unsigned char)(k + 1);
  return UNK_POS;
}

const char* CCustomDict::getpos(unsigned char id) {
  if (id >= 1 && id <= 48) return m_cspos[id - 1];
  return nullptr;
}

int CCustomDict::setidxpos(int idx, unsigned char pos, int bphrase) {
  return (int)(((uint32_t)idx << 7) | ((uint32_t)pos << 1) | (bphrase != 0 ? 1u : 0u));
}

int CCustomDict::GetClsNum(int /*cls*/) const { return 1; }

const char* CCustomDict::GetClsAt(int clsid, int /*idx*/, std::string& out) const {
  out.clear();
  uint32_t v = (uint32_t)clsid;
  if (v == 0) return out.c_str();
  bool first = true;
  do {
    uint32_t id = v & 0xFF;
    if (id < _clusid2name_vec.size() && !_clusid2name_vec[id].empty()) {
      if (!first) out += '|';
      out += _clusid2name_vec[id];
      first = false;
    }
    v >>= 8;
  } while (v != 0);
  return out.c_str();
}

const char* CCustomDict::GetClsAt(int clsid, int idx) const {
  thread_local std::string result;
  return GetClsAt(clsid, idx, result);
}

int CCustomDict::add_class_id(int value, int id) {
  // Id 0 cannot be told from the end of the list, and ids above 255 do not
  // fit into a byte: neither can be recorded.
  if (id <= 0 || id > MAX_CLASS_ID) return value;
  uint32_t v = (uint32_t)value;
  int highest = -1;
  for (int b = 0; b < 4; ++b) {
    uint32_t byte = (v >> (8 * b)) & 0xFF;
    if (byte == (uint32_t)id) return value;
    if (byte != 0) highest = b;
  }
  if (highest == 3) return value;  // four ids already
  return (int)(v | ((uint32_t)id << (8 * (highest + 1))));
}
