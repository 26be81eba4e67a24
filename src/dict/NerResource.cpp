#include "dict/NerResource.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "dict/Dir.h"

// ---------------------------------------------------------------------------
// Inventories

const char CNerResource::m_pPRole[] =
    "B C D E F G K L M U V X Y Z H I T E2 X2 LH LM LT LO NI NF NB X_HALF D_HALF "
    "LY SU FH FM FT A A A A A A A A A A A A A A A A A unk";

const NameIndexType CNerResource::m_PRoleIndex[51] = {
    {0, 1},   {2, 1},   {4, 1},   {6, 1},   {8, 1},   {10, 1},  {12, 1},
    {14, 1},  {16, 1},  {18, 1},  {20, 1},  {22, 1},  {24, 1},  {26, 1},
    {28, 1},  {30, 1},  {32, 1},  {34, 2},  {37, 2},  {40, 2},  {43, 2},
    {46, 2},  {49, 2},  {52, 2},  {55, 2},  {58, 2},  {61, 6},  {68, 6},
    {75, 2},  {78, 2},  {81, 2},  {84, 2},  {87, 2},  {90, 1},  {92, 1},
    {94, 1},  {96, 1},  {98, 1},  {100, 1}, {102, 1}, {104, 1}, {106, 1},
    {108, 1}, {110, 1}, {112, 1}, {114, 1}, {116, 1}, {118, 1}, {120, 1},
    {122, 1}, {124, 3}};

const char CNerResource::m_pPOS[] =
    "a ad an b c d e f g h i j k l m n nr nrf nrg ns nt nz nx o p q r s t u v "
    "vd vn w x y z Ag Bg Dg Mg Ng Qg Rg Tg Vg Yg Zg";

const NameIndexType CNerResource::m_POSIndex[48] = {
    {0, 1},   {2, 2},   {5, 2},   {8, 1},   {10, 1},  {12, 1},  {14, 1},
    {16, 1},  {18, 1},  {20, 1},  {22, 1},  {24, 1},  {26, 1},  {28, 1},
    {30, 1},  {32, 1},  {34, 2},  {37, 3},  {41, 3},  {45, 2},  {48, 2},
    {51, 2},  {54, 2},  {57, 1},  {59, 1},  {61, 1},  {63, 1},  {65, 1},
    {67, 1},  {69, 1},  {71, 1},  {73, 2},  {76, 2},  {79, 1},  {81, 1},
    {83, 1},  {85, 1},  {87, 2},  {90, 2},  {93, 2},  {96, 2},  {99, 2},
    {102, 2}, {105, 2}, {108, 2}, {111, 2}, {114, 2}, {117, 2}};

const unsigned char CNerResource::POSMAP[56] = {
    0,  1,  6,  16, 4,  5,  6,  7,  8,  9,  10, 11, 12, 13,  // 0-13
    14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27,  // 14-27
    28, 29, 30, 31, 6,  16, 34, 35, 36, 37, 1,  4,  6,  15,  // 28-41
    16, 26, 27, 29, 31, 36, 37, 49, 50, 51, 52, 0,  0,  55   // 42-55
};

// ---------------------------------------------------------------------------
// Fixed lists

const unsigned char CNerResource::RoleTempA[2] = {NE_ROLE_A, 0};
const unsigned char CNerResource::RoleTempSinglePos[5] = {NE_ROLE_A, NE_ROLE_C, NE_ROLE_D,
                                                          NE_ROLE_E, 0};
const unsigned char CNerResource::RoleTempMultiPos[3] = {NE_ROLE_A, NE_ROLE_Z, 0};
const unsigned char CNerResource::RoleSOS[2] = {NE_ROLE_SOS, 0};
const unsigned char CNerResource::RoleEOS[2] = {NE_ROLE_EOS, 0};
const unsigned char CNerResource::POSSOS[2] = {49, 0};
const unsigned char CNerResource::POSTemp[2] = {16, 0};
const unsigned char CNerResource::POSEOS[2] = {55, 0};
const unsigned char CNerResource::POSPUNC[2] = {34, 0};

const char* const CNerResource::m_ptr_pn_modes[PN_MODE_COUNT + 1] = {
    "B C D",   "B C D_HALF", "B C V",         "B V",        "B G",   "B E",     "B Z",
    "B A",     "F B",        "F E",           "X D",        "X D_HALF", "X_HALF D",
    "X_HALF D_HALF",         "U C D",         "U C D_HALF", "U E",   "U Z",     "H E2",
    "Y",       nullptr};

std::string CNerResource::role_name(int role_id) {
  if (role_id < 1 || role_id > 51) return std::string();
  const NameIndexType& e = m_PRoleIndex[role_id - 1];
  return std::string(m_pPRole + e.offset, e.len);
}

std::string CNerResource::pos_name(int pos_id) {
  if (pos_id < 1 || pos_id > 48) return std::string();
  const NameIndexType& e = m_POSIndex[pos_id - 1];
  return std::string(m_pPOS + e.offset, e.len);
}

// ---------------------------------------------------------------------------
// Name maps

void CNerResource::_load_trie_modes(NeNameMap& mode_dict) {
  // Mode ids 1 to 19 follow the pattern array; "Y" is 100.
  for (int i = 0; i < PN_MODE_COUNT; ++i)
    mode_dict[m_ptr_pn_modes[i]] = (i + 1 < PN_MODE_COUNT) ? i + 1 : 100;
}

void CNerResource::_load_all_roles(NeNameMap& roles_dict) {
  static const struct {
    const char* name;
    int id;
  } kRoles[] = {
      {"B", NE_ROLE_B},       {"C", NE_ROLE_C},           {"D", NE_ROLE_D},
      {"E", NE_ROLE_E},       {"F", NE_ROLE_F},           {"G", NE_ROLE_G},
      {"U", NE_ROLE_U},       {"V", NE_ROLE_V},           {"X", NE_ROLE_X},
      {"Y", NE_ROLE_Y},       {"Z", NE_ROLE_Z},           {"H", NE_ROLE_H},
      {"I", NE_ROLE_I},       {"T", NE_ROLE_T},           {"E2", NE_ROLE_E2},
      {"X2", NE_ROLE_X2},     {"LH", NE_ROLE_LH},         {"LM", NE_ROLE_LM},
      {"LT", NE_ROLE_LT},     {"LO", NE_ROLE_LO},         {"X_HALF", NE_ROLE_X_HALF},
      {"D_HALF", NE_ROLE_D_HALF}, {"FH", NE_ROLE_FH},     {"FM", NE_ROLE_FM},
      {"FT", NE_ROLE_FT},     {"A", NE_ROLE_A},           {"<unk>", NE_ROLE_UNK},
      {"<s>", NE_ROLE_SOS},   {"</s>", NE_ROLE_EOS}};
  for (const auto& r : kRoles) roles_dict[r.name] = r.id;
}

int CNerResource::_get_map_value(const NeNameMap& mode_dict, const std::string& key) {
  NeNameMap::const_iterator it = mode_dict.find(key);
  return it == mode_dict.end() ? 0 : it->second;
}

// ---------------------------------------------------------------------------
// Transition tables

namespace {

float float_from_le(const unsigned char* p) {
  uint32_t bits = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                  (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

}  // namespace

bool CNerResource::load_transition_table(const char* path, CProbabilityNode* table,
                                         size_t dim) {
  if (path == nullptr || table == nullptr || dim == 0) return false;
  FileHolder fp(open_regular_file(path));
  if (fp == nullptr) return false;
  // The file holds exactly the dim x dim cells; anything else is another
  // table or a damaged one.  It is read into a scratch buffer first so that
  // a refused file leaves the caller's table as it was.
  const size_t bytes = dim * dim * 8;
  struct stat st;
  if (fstat(fileno(fp.get()), &st) != 0 || (unsigned long long)st.st_size != bytes) {
    report_file_problem(path, "size %lld bytes, a %zu x %zu table takes %zu",
                        (long long)st.st_size, dim, dim, bytes);
    return false;
  }
  std::vector<unsigned char> buf(bytes);
  const size_t got = std::fread(buf.data(), 1, bytes, fp.get());
  if (got != bytes) {
    report_file_problem(path, "%s", std::ferror(fp.get()) ? std::strerror(errno) : "cut short");
    return false;
  }
  std::vector<CProbabilityNode> cells(dim * dim);
  for (size_t i = 0; i < dim * dim; ++i) {
    cells[i].m_Prob = float_from_le(&buf[i * 8]);
    cells[i].m_Bow = float_from_le(&buf[i * 8 + 4]);
    if (!std::isfinite(cells[i].m_Prob) || !std::isfinite(cells[i].m_Bow)) {
      report_file_problem(path, "cell [%zu][%zu] holds a score that is not a finite number",
                          i / dim, i % dim);
      return false;
    }
  }
  std::copy(cells.begin(), cells.end(), table);
  return true;
}

// ---------------------------------------------------------------------------
// "ner_info"

namespace {

const char kFuxingHeader[] = "#fuxing";
const char kNoAmbXingHeader[] = "#no_amb_xing";
const char kLocSuffixHeader[] = "#loc_suffix";

bool starts_with(const char* s, const char* prefix) {
  return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

void put(HashDict* dict, const char* key, int value) {
  bool found = false;
  int* v = dict->insert(key, found);
  *v = value;
}

// Weight of a suffix line: decimal, clamped to the int range.
long parse_weight(const char* text) {
  long w = std::strtol(text, nullptr, 10);
  if (w > INT_MAX) w = INT_MAX;
  if (w < INT_MIN) w = INT_MIN;
  return w;
}

}  // namespace

int CNerResource::load_named_entity_resource(const char* path, HashDict*& fuxing_dict,
                                             HashDict*& no_amb_xing_dict,
                                             HashDict*& loc_suffix_dict) {
  // The stream and the new dictionaries are owned here until the dictionaries
  // are handed over, so an allocation failing while the lists are read
  // (it throws) loses nothing and leaves the caller's dictionaries alone.
  FileHolder fp(path ? std::fopen(path, "rb") : nullptr);
  if (fp == nullptr) {
    std::fprintf(stderr, "can not open file : %s\n", path ? path : "(null)");
    return 0;
  }

  enum Section { NONE, FUXING, NO_AMB_XING, LOC_SUFFIX };
  Section section = NONE;
  int counter = 1;
  std::unique_ptr<HashDict> fuxing(new HashDict);
  std::unique_ptr<HashDict> no_amb(new HashDict);
  std::unique_ptr<HashDict> suffix(new HashDict);

  // 101 bytes: a line longer than 100 bytes is deliberately read as
  // several lines, as the format has always been read.
  char line[101];
  PieceReader in(fp.get());
  while (in.read(line, sizeof line) != nullptr) {
    size_t len = std::strlen(line);
    while (len > 0 && (line[len - 1] == '\r' || line[len - 1] == '\t' ||
                       line[len - 1] == '\n' || line[len - 1] == ' '))
      line[--len] = '\0';
    if (len == 0) continue;
    // A last line that stops inside a character, or a suffix without its
    // weight, was cut short.
    if (in.last && (ends_inside_character(line, len) ||
                    (section == LOC_SUFFIX && line[0] != '#' && std::strchr(line, ' ') == nullptr))) {
      report_file_problem(path, "line %u: cut short", in.line);
      return 0;
    }

    if (starts_with(line, kFuxingHeader)) {
      section = FUXING;
      counter = 1;
      continue;
    }
    if (starts_with(line, kNoAmbXingHeader)) {
      section = NO_AMB_XING;
      counter = 1;
      continue;
    }
    if (starts_with(line, kLocSuffixHeader)) {
      section = LOC_SUFFIX;
      continue;
    }

    switch (section) {
      case NONE:
        break;
      case FUXING:
        put(fuxing.get(), line, counter++);
        break;
      case NO_AMB_XING:
        put(no_amb.get(), line, counter++);
        break;
      case LOC_SUFFIX: {
        char* blank = std::strchr(line, ' ');
        if (blank == nullptr || blank == line) break;
        *blank = '\0';
        long weight = parse_weight(blank + 1);
        if (weight >= 1) put(suffix.get(), line, static_cast<int>(weight));
        break;
      }
    }
  }
  const bool read_failed = std::ferror(fp.get()) != 0;
  fp.reset();

  if (read_failed) {
    std::fprintf(stderr, "can not open file : %s\n", path);
    return 0;
  }
  delete fuxing_dict;
  delete no_amb_xing_dict;
  delete loc_suffix_dict;
  fuxing_dict = fuxing.release();
  no_amb_xing_dict = no_amb.release();
  loc_suffix_dict = suffix.release();
  return 1;
}

void CNerResource::free_dict(HashDict*& dict) {
  delete dict;
  dict = nullptr;
}

// ---------------------------------------------------------------------------
// Chinese-numeral dictionary

void CNerResource::_load_hanzi_shuzi_dict(HashDict** hanzi_shuzi_dict) {
  // GBK: 一 二 三 四 五 六 七 八 九 十 百 千 万 亿 几
  static const char* const kNumerals[] = {
      "\xD2\xBB", "\xB6\xFE", "\xC8\xFD", "\xCB\xC4", "\xCE\xE5",
      "\xC1\xF9", "\xC6\xDF", "\xB0\xCB", "\xBE\xC5", "\xCA\xAE",
      "\xB0\xD9", "\xC7\xA7", "\xCD\xF2", "\xD2\xDA", "\xBC\xB8"};
  if (hanzi_shuzi_dict == nullptr) return;
  // Filled first and swapped in last: if an allocation fails, the previous
  // dictionary stays as it was (and the pointer never dangles).
  std::unique_ptr<HashDict> dict(new HashDict);
  int value = 0;
  for (const char* numeral : kNumerals) put(dict.get(), numeral, value++);
  delete *hanzi_shuzi_dict;
  *hanzi_shuzi_dict = dict.release();
}

// ---------------------------------------------------------------------------
// Pattern tries

bool CNerResource::_load_ne_mode(const char* const* ptr_ne_modes, char ne_type,
                                 Trie<int, int>& pn_mode_trie,
                                 Trie<int, int>& ln_mode_trie) {
  switch (ne_type) {
    case 1:
      _build_ne_mode_trie(ptr_ne_modes, pn_mode_trie);
      return true;
    case 2:
      _build_ne_mode_trie(ptr_ne_modes, ln_mode_trie);
      return true;
    default:
      // "不合法的实体类型参数" in GBK.
      std::fputs(
          "_load_ne_mode(): "
          "\xB2\xBB\xBA\xCF\xB7\xA8\xB5\xC4\xCA\xB5\xCC\xE5\xC0\xE0\xD0\xCD\xB2\xCE\xCA\xFD"
          "!\n",
          stderr);
      return false;
  }
}

void CNerResource::_build_ne_mode_trie(const char* const* ptr_ne_modes,
                                       Trie<int, int>& trie) {
  if (ptr_ne_modes == nullptr) return;
  NeNameMap mode_dict;
  NeNameMap roles_dict;
  _load_trie_modes(mode_dict);
  _load_all_roles(roles_dict);

  for (const char* const* p = ptr_ne_modes; *p != nullptr; ++p) {
    const std::string pattern(*p);
    std::vector<int> roles;
    size_t pos = 0;
    while (pos < pattern.size()) {
      size_t end = pattern.find(' ', pos);
      if (end == std::string::npos) end = pattern.size();
      if (end > pos) roles.push_back(_get_map_value(roles_dict, pattern.substr(pos, end - pos)));
      pos = end + 1;
    }
    if (roles.empty()) continue;

    const int mode = _get_map_value(mode_dict, pattern);
    Trie<int, int>* node = &trie;
    for (size_t i = 0; i < roles.size(); ++i) {
      const int path[2] = {roles[i], INT_MIN};  // one key, ended by the no-key value
      bool found = false;
      node = node->insert_trie(path, found);
      if (i + 1 == roles.size())
        node->value() = mode;
      else
        node->value() = (i == 0) ? NE_MODE_BEGIN : NE_MODE_INNER;
    }
  }
}
