// lxwordseg_fts5 - a loadable SQLite extension that registers the FTS5
// tokenizer "lxwordseg", which splits text into the words of LXWordSeg.
//
//   CREATE VIRTUAL TABLE t USING fts5(body, tokenize='lxwordseg');
//   CREATE VIRTUAL TABLE t USING fts5(body, tokenize="lxwordseg places 1 data '/a/dir'");
//
// Tokens.  Documents and queries are UTF-8 and segmented alike, in lxseg's
// default mode (LX_POS | LX_PGU | LX_S2D | LX_CN | LX_T2S, PKU mode) with
// LX_U2L added, one line at a time.  The text of a token is the word as the
// analysis read it: simplified, half-width and lower-case (the capitals of
// Latin, Greek and Cyrillic too), so that a query in traditional characters,
// full-width letters or capitals finds the text written otherwise and the
// other way round.  The offsets of a token are the exact byte span of the
// word in the caller's text, so highlight() and snippet() mark whole words as
// they are written.  Words made only of blanks and punctuation marks (see
// kPunctuation) are not tokens; symbols, emoji and every other word are.
//
// Arguments, in pairs after the tokenizer name: "names 0|1" (person names,
// default 1), "surnames 0|1" (a person name as surname and given name,
// default 1), "places 0|1" (place names, default 0), "t2s 0|1" (traditional
// read as simplified, default 1), and "data DIR" (the resource directory;
// quoted when it holds other characters than letters, digits and "_").
// Without "data" the resources are those of $LXWORDSEG_DATA, else the
// installed ones seen from this file's directory (an installation moved to
// another prefix), else those of the installed path, else the build tree's.
// One process loads one resource directory (the first table's, unless the
// host program has loaded some with LXInitSeg()): a table that names another
// one fails to open ("error in tokenizer constructor"), and the reason goes
// to SQLite's error log and standard error.
//
// Every tokenizer instance has its own segmentation handle behind a mutex,
// so connections in several threads may share it.  No exception leaves the
// extension: a failure is an SQLite error code.
#include <dlfcn.h>
#include <limits.h>
#include <sqlite3ext.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "LXSegFunc.h"

SQLITE_EXTENSION_INIT1

extern "C" __attribute__((visibility("default"))) int sqlite3_lxwordsegfts_init(
    sqlite3* db, char** pzErrMsg, const sqlite3_api_routines* pApi);

namespace {

constexpr int kDefaultMode = LX_POS | LX_PGU | LX_S2D | LX_CN | LX_T2S | LX_U2L;

void report(const std::string& msg) {
  sqlite3_log(SQLITE_ERROR, "lxwordseg: %s", msg.c_str());
  std::fprintf(stderr, "lxwordseg: %s\n", msg.c_str());
}

bool is_directory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The resource directory when the table names none.
std::string default_data_dir() {
  const char* env = std::getenv("LXWORDSEG_DATA");
  if (env && *env) return env;
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&sqlite3_lxwordsegfts_init), &info) && info.dli_fname) {
    const std::string self = info.dli_fname;
    const size_t slash = self.rfind('/');
    const std::string beside =
        (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) +
        "/" LXFTS5_BESIDE_DATA;
    if (is_directory(beside)) return beside;
  }
  if (is_directory(LXFTS5_INSTALLED_DATA)) return LXFTS5_INSTALLED_DATA;
  return LXFTS5_BUILD_DATA;
}

std::mutex g_init_mu;
std::string g_loaded_dir;  // real path of the resources loaded, "" before

// Loads the resources of `dir` unless they are loaded; false with `err` set
// when they cannot be, or when another directory's are.
bool ensure_resources(const std::string& dir, std::string& err) {
  char real[PATH_MAX];
  const int bad = !realpath(dir.c_str(), real) ? errno : is_directory(real) ? 0 : ENOTDIR;
  if (bad) {
    err = "resource directory " + dir + ": " + std::strerror(bad);
    return false;
  }
  std::lock_guard<std::mutex> lock(g_init_mu);
  char host[PATH_MAX];
  if (g_loaded_dir.empty() && szDataDirPath[0] && realpath(szDataDirPath, host))
    g_loaded_dir = host;  // the host program loaded resources: they serve as they are
  if (!g_loaded_dir.empty()) {
    if (g_loaded_dir == real) return true;
    err = "the resources of " + g_loaded_dir + " are loaded; this process cannot load " + dir;
    return false;
  }
  if (std::strlen(real) >= sizeof szDataDirPath) {
    err = "resource directory " + dir + ": the path is too long";
    return false;
  }
  if (!LXInitSeg(real)) {
    err = "cannot load the resources of " + dir;
    return false;
  }
  LXSetPKUMode(nullptr);  // before any handle of the extension segments
  g_loaded_dir = real;
  return true;
}

// Reads the arguments of the table's tokenize option into `mode` and `data`.
bool parse_args(const char** azArg, int nArg, int& mode, std::string& data, std::string& err) {
  static const struct { const char* name; int flag; } kFlags[] = {
      {"names", LX_CN}, {"surnames", LX_PGU}, {"places", LX_LN}, {"t2s", LX_T2S}};
  for (int i = 0; i < nArg; i += 2) {
    const std::string name = azArg[i];
    if (i + 1 >= nArg) {
      err = "argument " + name + " has no value";
      return false;
    }
    const std::string value = azArg[i + 1];
    if (name == "data") {
      data = value;
      continue;
    }
    int flag = 0;
    for (const auto& f : kFlags)
      if (name == f.name) flag = f.flag;
    if (!flag) {
      err = "unknown argument " + name + " (names, surnames, places, t2s, data)";
      return false;
    }
    if (value != "0" && value != "1") {
      err = "argument " + name + " takes 0 or 1, not " + value;
      return false;
    }
    mode = value == "1" ? mode | flag : mode & ~flag;
  }
  return true;
}

// The next code point of [p, end) from `p`, or -1 for a malformed sequence.
long next_code_point(const unsigned char*& p, const unsigned char* end) {
  const unsigned c = *p++;
  const int n = c < 0x80 ? 0 : c >= 0xC2 && c < 0xE0 ? 1 : c >= 0xE0 && c < 0xF0 ? 2
                : c >= 0xF0 && c < 0xF5 ? 3 : -1;
  if (n < 0 || end - p < n) return -1;
  long cp = n == 0 ? c : c & (0x3F >> n);
  for (int i = 0; i < n; ++i, ++p) {
    if ((*p & 0xC0) != 0x80) return -1;
    cp = cp << 6 | (*p & 0x3F);
  }
  return cp;
}

// Blanks, punctuation marks and other characters that are not tokens: those
// of the Unicode categories Z, P and C (less the unassigned ones) in ASCII,
// Latin-1, General and Supplemental Punctuation, CJK Symbols and
// Punctuation, the vertical, CJK compatibility, small and full-width forms,
// as Unicode 14 classifies them; the katakana middle dot, the byte order
// mark, and U+FFFD, which stands for a byte that is not UTF-8.  Symbols
// (currency, mathematical, emoji) are tokens.
constexpr struct { long first, last; } kPunctuation[] = {
    {0x0000, 0x0023}, {0x0025, 0x002A}, {0x002C, 0x002F}, {0x003A, 0x003B}, {0x003F, 0x0040},
    {0x005B, 0x005D}, {0x005F, 0x005F}, {0x007B, 0x007B}, {0x007D, 0x007D}, {0x007F, 0x00A1},
    {0x00A7, 0x00A7}, {0x00AB, 0x00AB}, {0x00AD, 0x00AD}, {0x00B6, 0x00B7}, {0x00BB, 0x00BB},
    {0x00BF, 0x00BF}, {0x2000, 0x2043}, {0x2045, 0x2051}, {0x2053, 0x2064}, {0x2066, 0x206F},
    {0x2E00, 0x2E2E}, {0x2E30, 0x2E4F}, {0x2E52, 0x2E5D}, {0x3000, 0x3003}, {0x3008, 0x3011},
    {0x3014, 0x301F}, {0x3030, 0x3030}, {0x303D, 0x303D}, {0x30FB, 0x30FB}, {0xFE10, 0xFE19},
    {0xFE30, 0xFE52}, {0xFE54, 0xFE61}, {0xFE63, 0xFE63}, {0xFE68, 0xFE68}, {0xFE6A, 0xFE6B},
    {0xFEFF, 0xFEFF}, {0xFF01, 0xFF03}, {0xFF05, 0xFF0A}, {0xFF0C, 0xFF0F}, {0xFF1A, 0xFF1B},
    {0xFF1F, 0xFF20}, {0xFF3B, 0xFF3D}, {0xFF3F, 0xFF3F}, {0xFF5B, 0xFF5B}, {0xFF5D, 0xFF5D},
    {0xFF5F, 0xFF65}, {0xFFFD, 0xFFFD}};

bool is_punctuation(long c) {
  const auto* r = std::upper_bound(std::begin(kPunctuation), std::end(kPunctuation), c,
                                   [](long v, const auto& range) { return v < range.first; });
  return r != std::begin(kPunctuation) && c <= (r - 1)->last;
}

bool is_token(const char* word, size_t len) {
  const auto* p = reinterpret_cast<const unsigned char*>(word);
  const auto* end = p + len;
  while (p < end) {
    const long c = next_code_point(p, end);
    if (c < 0 || !is_punctuation(c)) return true;
  }
  return false;
}

// The lower-case letter of `c` among the capitals of Latin-1, Latin
// Extended-A, Greek and Cyrillic (LX_U2L lowers those of ASCII); else `c`.
long to_lower(long c) {
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
      (c >= 0x410 && c <= 0x42F))
    return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
    return c | 1;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return c & 1 ? c + 1 : c;
  if (c == 0x178) return 0xFF;
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return c + 0x25;
  if (c == 0x38C || c == 0x38E || c == 0x38F) return c + (c == 0x38C ? 0x40 : 0x3F);
  return c;
}

// Appends the `len` bytes of `word` to `out`, its two-byte letters lower-cased.
void append_lower(std::string& out, const char* word, size_t len) {
  for (size_t i = 0; i < len; ++i) {
    const auto c = static_cast<unsigned char>(word[i]);
    if (c >= 0xC3 && c <= 0xD0 && i + 1 < len && (word[i + 1] & 0xC0) == 0x80) {
      const long lower = to_lower((c & 0x1F) << 6 | (word[++i] & 0x3F));
      out += static_cast<char>(0xC0 | lower >> 6);
      out += static_cast<char>(0x80 | (lower & 0x3F));
    } else {
      out += static_cast<char>(c);
    }
  }
}

struct Tokenizer {
  HANDLE handle = nullptr;
  std::mutex mu;
};

// The tokens of one segmented piece of text, copied out of the handle.
struct Tokens {
  struct Item { size_t text, len; int start, end; };
  std::string text;
  std::vector<Item> items;
};

// Segments the `len` bytes at `piece`, which lie `base` bytes into the text,
// and appends its tokens to `out`.
bool segment(Tokenizer& tok, const char* piece, size_t len, size_t base, Tokens& out) {
  std::lock_guard<std::mutex> lock(tok.mu);
  if (!LXSegment(tok.handle, piece, len, LX_UTF8)) return false;
  const int n = LXGetResultCnt(tok.handle);
  for (int i = 0; i < n; ++i) {
    const char* word = LXGetWordAt(tok.handle, i);
    size_t begin = 0, length = 0;
    if (!word || !LXGetSpanAt(tok.handle, i, &begin, &length)) return false;
    const size_t wlen = std::strlen(word);
    if (!is_token(word, wlen) || length == 0 || begin + length > len) continue;
    const size_t at = out.text.size();
    append_lower(out.text, word, wlen);
    out.items.push_back({at, out.text.size() - at, static_cast<int>(base + begin),
                         static_cast<int>(base + begin + length)});
  }
  return true;
}

int x_create(void*, const char** azArg, int nArg, Fts5Tokenizer** ppOut) {
  try {
    int mode = kDefaultMode;
    std::string data, err;
    if (!parse_args(azArg, nArg, mode, data, err) ||
        !ensure_resources(data.empty() ? default_data_dir() : data, err)) {
      report(err);
      return SQLITE_ERROR;
    }
    auto tok = std::make_unique<Tokenizer>();
    tok->handle = LXCreateSegHandle(mode);
    if (!tok->handle) return SQLITE_NOMEM;
    *ppOut = reinterpret_cast<Fts5Tokenizer*>(tok.release());
    return SQLITE_OK;
  } catch (const std::bad_alloc&) {
    return SQLITE_NOMEM;
  } catch (...) {
    return SQLITE_ERROR;
  }
}

void x_delete(Fts5Tokenizer* p) {
  auto* tok = reinterpret_cast<Tokenizer*>(p);
  LXCloseSegHandle(tok->handle);
  delete tok;
}

using TokenCallback = int (*)(void*, int, const char*, int, int, int);

// Segments line by line (LF ends a line); the callback runs outside the
// handle's lock, so it may tokenize again.
int x_tokenize(Fts5Tokenizer* p, void* ctx, int, const char* text, int nText, TokenCallback cb) {
  try {
    auto& tok = *reinterpret_cast<Tokenizer*>(p);
    const size_t size = nText > 0 ? static_cast<size_t>(nText) : 0;
    Tokens tokens;
    for (size_t begin = 0; begin < size;) {
      const void* lf = std::memchr(text + begin, '\n', size - begin);
      const size_t end = lf ? static_cast<const char*>(lf) - text : size;
      tokens.text.clear();
      tokens.items.clear();
      if (end > begin && !segment(tok, text + begin, end - begin, begin, tokens))
        return SQLITE_ERROR;
      for (const auto& t : tokens.items) {
        const int rc = cb(ctx, 0, tokens.text.data() + t.text, static_cast<int>(t.len), t.start,
                          t.end);
        if (rc != SQLITE_OK) return rc;
      }
      begin = end + 1;
    }
    return SQLITE_OK;
  } catch (const std::bad_alloc&) {
    return SQLITE_NOMEM;
  } catch (...) {
    return SQLITE_ERROR;
  }
}

// The FTS5 API of `db`, or null when SQLite has no FTS5.
fts5_api* fts5_api_of(sqlite3* db) {
  fts5_api* api = nullptr;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &stmt, nullptr) == SQLITE_OK) {
    sqlite3_bind_pointer(stmt, 1, &api, "fts5_api_ptr", nullptr);
    sqlite3_step(stmt);
  }
  sqlite3_finalize(stmt);
  return api;
}

}  // namespace

extern "C" int sqlite3_lxwordsegfts_init(sqlite3* db, char** pzErrMsg,
                                         const sqlite3_api_routines* pApi) {
  SQLITE_EXTENSION_INIT2(pApi);
  fts5_api* api = fts5_api_of(db);
  if (!api || api->iVersion < 2) {
    if (pzErrMsg) *pzErrMsg = sqlite3_mprintf("lxwordseg: this SQLite has no FTS5");
    return SQLITE_ERROR;
  }
  static fts5_tokenizer tokenizer = {x_create, x_delete, x_tokenize};
  return api->xCreateTokenizer(api, "lxwordseg", nullptr, &tokenizer, nullptr);
}
