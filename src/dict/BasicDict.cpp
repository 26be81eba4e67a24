#include "dict/BasicDict.h"

#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <type_traits>
#include <utility>

#include <sys/stat.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#endif

#include "dict/Dir.h"

static_assert(sizeof(word_prop_t) == 20, "word_prop_t must match the 20-byte file record");
static_assert(offsetof(word_prop_t, m_WordLength) == 16 && offsetof(word_prop_t, m_NameEntity) == 18,
              "word_prop_t must match the 20-byte file record");
static_assert(sizeof(LogP) == 4, "LogP must be a 32-bit float");
// The sections are read straight into the arrays, which requires a
// little-endian host (as the files are).
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "little-endian host required");

// --- Shared helpers --------------------------------------------------------

namespace {

struct EmptyTrie {
  uint32_t units[DictEmptyTrieSize];
  EmptyTrie() {
    // The root (label 0, no leaf) has offset 1, so its base is 1 and the
    // child for byte c would be unit 1 ^ c.  Every unit but the root is a
    // leaf unit, whose compared label is never a byte, and the root itself
    // has label 0: nothing matches.
    units[0] = 1u << 10;
    for (size_t i = 1; i < DictEmptyTrieSize; i++) units[i] = Darts::Details::kLeafBit;
  }
};

}  // namespace

const void* DictEmptyTrieUnits() {
  static const EmptyTrie empty;
  return empty.units;
}

// Sets bit j of mask[j / 64] for every unit j of the 256-unit block `blk`
// whose compared label equals j ^ low, i.e. for every child of the node
// whose base is blk + low (label 0, the leaf slot, included).  The plain
// form; the forms below give the same masks, compared in the tests.
static void child_mask_plain(const uint32_t* blk, uint32_t low, uint64_t mask[4]) {
  for (int w = 0; w < 4; w++) {
    uint64_t bits = 0;
    for (uint32_t j = 0; j < 64; j++) {
      uint32_t k = w * 64 + j;
      bits |= (uint64_t)(Darts::Details::unit_label(blk[k]) == (k ^ low)) << j;
    }
    mask[w] = bits;
  }
}

#if defined(__SSE2__)
static void child_mask_sse2(const uint32_t* blk, uint32_t low, uint64_t mask[4]) {
  const __m128i label_mask = _mm_set1_epi32((int)(Darts::Details::kLeafBit | 0xFF));
  const __m128i lowv = _mm_set1_epi32((int)low);
  const __m128i four = _mm_set1_epi32(4);
  __m128i idx = _mm_setr_epi32(0, 1, 2, 3);
  for (int w = 0; w < 4; w++) {
    uint64_t bits = 0;
    for (int j = 0; j < 64; j += 4) {
      __m128i u = _mm_loadu_si128((const __m128i*)(blk + w * 64 + j));
      __m128i eq = _mm_cmpeq_epi32(_mm_and_si128(u, label_mask), _mm_xor_si128(idx, lowv));
      bits |= (uint64_t)_mm_movemask_ps(_mm_castsi128_ps(eq)) << j;
      idx = _mm_add_epi32(idx, four);
    }
    mask[w] = bits;
  }
}
#endif

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define LX_CHILD_MASK_AVX2 1
// Eight units a step, for the processors that have the instructions (chosen
// once, at run time).
__attribute__((target("avx2"))) static void child_mask_avx2(const uint32_t* blk, uint32_t low,
                                                             uint64_t mask[4]) {
  const __m256i label_mask = _mm256_set1_epi32((int)(Darts::Details::kLeafBit | 0xFF));
  const __m256i lowv = _mm256_set1_epi32((int)low);
  const __m256i eight = _mm256_set1_epi32(8);
  __m256i idx = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  for (int w = 0; w < 4; w++) {
    uint64_t bits = 0;
    for (int j = 0; j < 64; j += 8) {
      __m256i u = _mm256_loadu_si256((const __m256i*)(blk + w * 64 + j));
      __m256i eq =
          _mm256_cmpeq_epi32(_mm256_and_si256(u, label_mask), _mm256_xor_si256(idx, lowv));
      bits |= (uint64_t)(uint32_t)_mm256_movemask_ps(_mm256_castsi256_ps(eq)) << j;
      idx = _mm256_add_epi32(idx, eight);
    }
    mask[w] = bits;
  }
}
#endif

typedef void (*ChildMaskFn)(const uint32_t*, uint32_t, uint64_t*);

static ChildMaskFn pick_child_mask() {
#if defined(LX_CHILD_MASK_AVX2)
  if (__builtin_cpu_supports("avx2")) return child_mask_avx2;
#endif
#if defined(__SSE2__)
  return child_mask_sse2;
#else
  return child_mask_plain;
#endif
}

bool DictChildMaskFormsAgree(const uint32_t* blk, uint32_t low) {
  uint64_t want[4], got[4];
  child_mask_plain(blk, low, want);
  const ChildMaskFn forms[] = {
#if defined(__SSE2__)
      child_mask_sse2,
#endif
      pick_child_mask()};
  for (ChildMaskFn f : forms) {
    f(blk, low, got);
    if (std::memcmp(want, got, sizeof want) != 0) return false;
  }
  return true;
}

bool DictTrieForEachKey(const uint32_t* units, size_t size, size_t max_depth,
                        bool (*visit)(void* ctx, uint32_t value, size_t key_length),
                        void* ctx) {
  using namespace Darts::Details;
  if (units == 0 || size == 0 || size % kBlockSize != 0) return false;
  if (unit_is_leaf(units[0])) return false;
  if (max_depth > 65534) max_depth = 65534;

  static const ChildMaskFn child_mask = pick_child_mask();
  // The children of the node whose base is `base`: the units base ^ c whose
  // compared label is c.  A leaf unit never matches, so the bit of byte 0 is
  // set only by a unit that a NUL byte walks into, as a search does.
  auto children = [units, size](uint32_t base, uint64_t mask[4]) {
    if (base >= size) return false;  // not validated after all
    child_mask(units + (base & ~(kBlockSize - 1)), base & (kBlockSize - 1), mask);
    return true;
  };
  auto child_at = [](uint32_t base, int w, uint64_t bits) {
    return (base & ~(kBlockSize - 1)) + w * 64 + (uint32_t)__builtin_ctzll(bits);
  };

  // depth[p] = 1 + depth of node p once reached, 0 before.  Bounds the walk
  // to one expansion per node whatever the units hold.
  std::vector<uint16_t> depth(size, 0);
  std::vector<uint32_t> stack, ambiguous;
  stack.reserve(1024);
  depth[0] = 1;
  stack.push_back(0);
  while (!stack.empty()) {
    uint32_t p = stack.back();
    stack.pop_back();
    size_t d = depth[p] - 1;
    uint32_t unit = units[p];
    uint32_t base = p ^ unit_offset(unit);
    uint64_t mask[4];
    if (!children(base, mask)) return false;
    if (unit_has_leaf(unit)) {
      uint32_t leaf = units[base];
      if (!unit_is_leaf(leaf)) return false;
      if (!visit(ctx, unit_value(leaf), d)) return false;
    }
    for (int w = 0; w < 4; w++) {
      for (uint64_t bits = mask[w]; bits != 0; bits &= bits - 1) {
        uint32_t q = child_at(base, w, bits);
        if (d + 1 > max_depth) return false;
        uint16_t want = (uint16_t)(d + 2);
        if (depth[q] == 0) {
          depth[q] = want;
          stack.push_back(q);
        } else if (depth[q] != want) {
          ambiguous.push_back(q);
        }
      }
    }
  }
  // A node reached at two depths gives its keys no single length: harmless
  // only when no key ends at it or below it.  Every node met here was
  // reached above, so depth 0 can mark the nodes already cleared.
  stack.swap(ambiguous);
  while (!stack.empty()) {
    uint32_t p = stack.back();
    stack.pop_back();
    if (depth[p] == 0) continue;
    depth[p] = 0;
    uint64_t mask[4];
    const uint32_t base = p ^ unit_offset(units[p]);
    if (unit_has_leaf(units[p]) || !children(base, mask)) return false;
    for (int w = 0; w < 4; w++)
      for (uint64_t bits = mask[w]; bits != 0; bits &= bits - 1)
        stack.push_back(child_at(base, w, bits));
  }
  return true;
}

// --- prop_t ------------------------------------------------------------------

prop_t::prop_t()
    : m_word_info(0),
      m_POS(0),
      m_POSProb(0),
      m_Rol(0),
      m_RolProb(0),
      m_LNRol(0),
      m_LNRolProb(0),
      m_SegType(0),
      m_RuleInfo(0),
      m_POS_num(0),
      m_POSProb_num(0),
      m_Rol_num(0),
      m_RolProb_num(0),
      m_LNRol_num(0),
      m_LNRolProb_num(0),
      m_SegType_num(0),
      m_RuleInfo_num(0) {}

prop_t::~prop_t() { clear(); }

void prop_t::clear() {
  std::free(m_word_info);
  std::free(m_POS);
  std::free(m_POSProb);
  std::free(m_Rol);
  std::free(m_RolProb);
  std::free(m_LNRol);
  std::free(m_LNRolProb);
  std::free(m_SegType);
  std::free(m_RuleInfo);
  m_word_info = 0;
  m_POS = m_Rol = m_LNRol = m_SegType = 0;
  m_POSProb = m_RolProb = m_LNRolProb = m_RuleInfo = 0;
  m_POS_num = m_POSProb_num = m_Rol_num = m_RolProb_num = 0;
  m_LNRol_num = m_LNRolProb_num = m_SegType_num = m_RuleInfo_num = 0;
}

void prop_t::swap(prop_t& o) {
  std::swap(m_word_info, o.m_word_info);
  std::swap(m_POS, o.m_POS);
  std::swap(m_POSProb, o.m_POSProb);
  std::swap(m_Rol, o.m_Rol);
  std::swap(m_RolProb, o.m_RolProb);
  std::swap(m_LNRol, o.m_LNRol);
  std::swap(m_LNRolProb, o.m_LNRolProb);
  std::swap(m_SegType, o.m_SegType);
  std::swap(m_RuleInfo, o.m_RuleInfo);
  std::swap(m_POS_num, o.m_POS_num);
  std::swap(m_POSProb_num, o.m_POSProb_num);
  std::swap(m_Rol_num, o.m_Rol_num);
  std::swap(m_RolProb_num, o.m_RolProb_num);
  std::swap(m_LNRol_num, o.m_LNRol_num);
  std::swap(m_LNRolProb_num, o.m_LNRolProb_num);
  std::swap(m_SegType_num, o.m_SegType_num);
  std::swap(m_RuleInfo_num, o.m_RuleInfo_num);
}

// --- Record checks (used on load and by the accessors) -----------------------

namespace {

// A stored float read as an integer below `limit`, as the readers truncate
// it; false for NaN, negative or too large values (whose conversion would be
// undefined or out of range).
inline bool float_index(LogP v, uint32_t limit, uint32_t& out) {
  double d = v;
  if (!(d >= 0.0) || !(d < (double)limit)) return false;
  out = (uint32_t)d;
  return out < limit;
}

// The list at `sidx` of a byte array of n_ids entries with a parallel float
// array of n_probs entries: 0-terminated, at most BasicDict_MaxListLen ids,
// each at most max_id, each with its probability.  Sets len.
bool check_list(const uint8_t* ids, uint32_t n_ids, uint32_t n_probs, uint32_t sidx,
                uint8_t max_id, uint32_t& len) {
  len = 0;
  if (sidx == Prop_None) return true;
  if (sidx >= n_ids) return false;
  size_t room = n_ids - sidx;
  if (room > BasicDict_MaxListLen + 1) room = BasicDict_MaxListLen + 1;
  const uint8_t* run = ids + sidx;
  const void* end = std::memchr(run, 0, room);
  if (end == 0) return false;
  len = (uint32_t)((const uint8_t*)end - run);
  if ((uint64_t)sidx + len > n_probs) return false;
  for (uint32_t k = 0; k < len; k++) {
    if (run[k] > max_id) return false;
  }
  return true;
}

struct RecordChecker {
  const prop_t& p;
  uint32_t words;

  uint32_t length_of(uint32_t idx) const { return p.m_word_info[idx].m_WordLength; }

  // One rule block at `start` of word `idx`; sets the block and where the
  // next one would start.
  bool block(uint32_t idx, uint64_t start, rule_block_t& b, uint64_t& next) const {
    if (start >= p.m_RuleInfo_num) return false;
    const LogP* r = p.m_RuleInfo + start;
    uint32_t n;
    if (!float_index(r[0], BasicDict_MaxRuleCount + 1, n)) return false;
    if (start + n + 2 > p.m_RuleInfo_num) return false;
    uint32_t total = 0;
    for (uint32_t k = 0; k < n; k++) {
      uint32_t x;
      if (!float_index(r[1 + k], words, x)) return false;
      total += length_of(x);
    }
    if (total > length_of(idx)) return false;
    b.n = n;
    b.x = r + 1;
    b.w = r[n + 1];
    next = start + n + 2;
    return true;
  }

  bool rule_block(uint32_t idx, int which, rule_block_t& b) const {
    if (idx >= words) return false;
    uint32_t sidx = p.m_word_info[idx].m_seg_rule_sidx;
    if (sidx == Prop_None) return false;
    uint64_t next;
    if (!block(idx, sidx, b, next)) return false;
    if (which == 0) return true;
    if (which != 1) return false;
    return block(idx, next, b, next);
  }

  const LogP* mulseg(uint32_t idx) const {
    if (idx >= words) return 0;
    uint32_t sidx = p.m_word_info[idx].m_seg_rule_sidx;
    if (sidx == Prop_None || (uint64_t)sidx + 8 > p.m_RuleInfo_num) return 0;
    const LogP* r = p.m_RuleInfo + sidx;
    uint32_t w[4], pos;
    static const int word_at[4] = {0, 1, 4, 5};
    for (int k = 0; k < 4; k++) {
      if (!float_index(r[word_at[k]], words, w[k])) return 0;
      if (!float_index(r[word_at[k] + 2], (uint32_t)BasicDict_MaxPosId + 1, pos)) return 0;
    }
    uint32_t len = length_of(idx);
    if (length_of(w[0]) + length_of(w[1]) > len) return 0;
    if (length_of(w[2]) > len || length_of(w[3]) > len) return 0;
    return r;
  }

  const uint8_t* subwords(uint32_t idx) const {
    if (idx >= words) return 0;
    uint32_t sidx = p.m_word_info[idx].m_seg_rule_sidx;
    if (sidx == Prop_None || sidx >= p.m_SegType_num) return 0;
    const uint8_t* r = p.m_SegType + sidx;
    uint32_t n = r[0];
    if ((uint64_t)sidx + 1 + 2 * n > p.m_SegType_num) return 0;
    uint32_t total = 0;
    for (uint32_t k = 0; k < n; k++) {
      total += r[1 + k];
      if (r[1 + n + k] > BasicDict_MaxPosId) return 0;
    }
    if (total > length_of(idx)) return 0;
    return r;
  }
};

// Sets the error string, printf-style.
void set_error(std::string& err, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void set_error(std::string& err, const char* fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof(buf), fmt, ap);
  va_end(ap);
  err = buf;
}

// Every word's lists and the record its type reads.
bool validate_prop(const prop_t& p, uint32_t words, std::string& err) {
  RecordChecker rc{p, words};
  for (uint32_t i = 0; i < words; i++) {
    const word_prop_t& w = p.m_word_info[i];
    uint32_t len;
    if (!check_list(p.m_POS, p.m_POS_num, p.m_POSProb_num, w.m_pos_sidx, BasicDict_MaxPosId,
                    len)) {
      set_error(err, "word %u: bad POS list at %u", i, w.m_pos_sidx);
      return false;
    }
    if (!check_list(p.m_Rol, p.m_Rol_num, p.m_RolProb_num, w.m_role_sidx, BasicDict_MaxRoleId,
                    len)) {
      set_error(err, "word %u: bad role list at %u", i, w.m_role_sidx);
      return false;
    }
    if (!check_list(p.m_LNRol, p.m_LNRol_num, p.m_LNRolProb_num, w.m_ln_role_sidx,
                    BasicDict_MaxRoleId, len)) {
      set_error(err, "word %u: bad location-role list at %u", i, w.m_ln_role_sidx);
      return false;
    }
    if (w.m_seg_rule_sidx == Prop_None) continue;
    bool ok;
    switch (w.m_NameEntity) {
      case kItemMulSeg:
        ok = rc.mulseg(i) != 0;
        break;
      case kItemAmbRule: {
        rule_block_t b1, b2;
        ok = rc.rule_block(i, 0, b1) && rc.rule_block(i, 1, b2);
        // The saver reads the POS ids of both segmentations from the POS array.
        ok = ok && w.m_pos_sidx != Prop_None &&
             (uint64_t)w.m_pos_sidx + b1.n + b2.n <= p.m_POS_num;
        break;
      }
      case kItemRule: {
        rule_block_t b;
        ok = rc.rule_block(i, 0, b);
        break;
      }
      default:
        ok = rc.subwords(i) != 0;
        break;
    }
    if (!ok) {
      set_error(err, "word %u (type %u): bad rule or sub-word record at %u", i,
                (unsigned)w.m_NameEntity, w.m_seg_rule_sidx);
      return false;
    }
  }
  return true;
}

struct KeyCheck {
  const prop_t* p;
  uint32_t words;
  uint32_t bad_value;
  size_t bad_length;
};

bool check_key(void* ctx, uint32_t value, size_t key_length) {
  KeyCheck* kc = static_cast<KeyCheck*>(ctx);
  if (value >= kc->words || kc->p->m_word_info[value].m_WordLength != key_length) {
    kc->bad_value = value;
    kc->bad_length = key_length;
    return false;
  }
  return true;
}

bool accept_key(void*, uint32_t, size_t) { return true; }

// The words' keys against the properties (or only the trie's shape without
// properties).  Keys longer than 255 bytes cannot match an 8-bit length.
bool check_keys(const uint32_t* units, size_t size, const prop_t* p, uint32_t words,
                std::string& err) {
  if (p == 0 || words == 0) {
    if (!DictTrieForEachKey(units, size, 65534, accept_key, 0)) {
      set_error(err, "malformed double array");
      return false;
    }
    return true;
  }
  KeyCheck kc{p, words, Prop_None, 0};
  if (!DictTrieForEachKey(units, size, 255, check_key, &kc)) {
    if (kc.bad_value != Prop_None) {
      set_error(err, "key of length %zu has value %u (%u words)", kc.bad_length, kc.bad_value,
                words);
    } else {
      set_error(err, "malformed double array");
    }
    return false;
  }
  return true;
}

// The byte size of an open regular file, or -1 (also for a directory or a
// device, whose "size" says nothing about what can be read).
long long stream_size(FILE* fp) {
  struct stat st;
  if (fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  if (std::fseek(fp, 0, SEEK_END) != 0) return -1;
  long size = std::ftell(fp);
  if (size < 0 || std::fseek(fp, 0, SEEK_SET) != 0) return -1;
  return size;
}

// Why stream_size() failed.
const char* size_problem(FILE* fp) {
  struct stat st;
  if (fstat(fileno(fp), &st) == 0 && !S_ISREG(st.st_mode))
    return S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file";
  return std::strerror(errno);
}

// Opens `path` for reading into `f` and gives its byte size; false, with
// the reason in `err`, when there is no name, no such file or no size.
bool open_with_size(const char* path, FileHolder& f, long long& bytes, std::string& err) {
  if (path == 0) {
    err = "no file name";
    return false;
  }
  f.reset(std::fopen(path, "rb"));
  if (f == nullptr) {
    set_error(err, "%s: cannot open: %s", path, std::strerror(errno));
    return false;
  }
  bytes = stream_size(f.get());
  if (bytes < 0) {
    set_error(err, "%s: cannot determine the size: %s", path, size_problem(f.get()));
    return false;
  }
  return true;
}

// Reads "Core.Prop" sections: each a u32 count and that many elements,
// checked against the bytes left in the file before anything is allocated.
struct PropReader {
  FILE* fp;
  unsigned long long left;

  bool read_u32(uint32_t& v) {
    if (left < 4 || std::fread(&v, 4, 1, fp) != 1) return false;
    left -= 4;
    return true;
  }

  template <class T>
  bool read_array(T*& data, uint64_t n) {
    if (n > left / sizeof(T)) return false;
    if (n == 0) return true;
    static_assert(std::is_trivial<T>::value, "read as bytes, freed with std::free");
    data = static_cast<T*>(huge_alloc(n * sizeof(T)));  // the records on huge pages
    if (data == 0) return false;
    populate_pages(data, n * sizeof(T));
    if (std::fread(data, sizeof(T), n, fp) != n) return false;
    use_huge_pages(data, n * sizeof(T));  // in case the storage was touched before
    left -= n * sizeof(T);
    return true;
  }

  template <class T>
  bool read_section(T*& data, uint32_t& num) {
    return read_u32(num) && read_array(data, num);
  }
};

}  // namespace

// --- CBasicDict ----------------------------------------------------------------

CBasicDict::CBasicDict() : mWordNum(0) { _attach_units(); }

CBasicDict::~CBasicDict() {}

void CBasicDict::_attach_units() {
  if (m_units.empty()) {
    mBasicDict.set_array(DictEmptyTrieUnits(), DictEmptyTrieSize);
  } else {
    mBasicDict.set_array(m_units.data(), m_units.size());
  }
  _build_first_char();
}

void CBasicDict::prefetch_walks(const char* s, size_t len, uint32_t* pos, uint32_t* base,
                                size_t depth) const {
  if (m_first_char.empty()) return;
  const Darts::Details::id_type* units = mBasicDict.units();
  const unsigned char* u = reinterpret_cast<const unsigned char*>(s);
  // The third byte of every position whose first two are in the table.
  size_t n = 0;
  for (size_t p = 0; p < len; p += (u[p] >= 0x81 && p + 1 < len) ? 2 : 1) {
    if (p + 2 >= len || !m_lead_tabled[u[p]] || u[p + 1] < kTrailFirst || u[p + 1] > kTrailLast)
      continue;
    const first_char_t& f = m_first_char[(u[p] - kLeadFirst) * kTrails + (u[p + 1] - kTrailFirst)];
    if (f.base == kNoNode) continue;
    if (f.value >= 0 && static_cast<uint32_t>(f.value) < mWordNum)
      __builtin_prefetch(&mPropDict.m_word_info[f.value]);
    pos[n] = static_cast<uint32_t>(p);
    base[n] = f.base;
    __builtin_prefetch(units + (f.base ^ u[p + 2]));
    ++n;
  }
  // Each level reads what the one before fetched and fetches the next byte's
  // unit and the leaf below a matched one; a leaf fetched one level earlier
  // (kLeafMark on the position) is read for its word's properties.
  const uint32_t kLeafMark = 0x80000000u;
  for (size_t d = 2; d < depth && n != 0; ++d) {
    size_t m = 0;
    for (size_t k = 0; k < n; ++k) {
      if (pos[k] & kLeafMark) {
        const uint32_t idx = Darts::Details::unit_value(units[base[k]]);
        if (idx < mWordNum) __builtin_prefetch(&mPropDict.m_word_info[idx]);
      }
      const uint32_t p = pos[k] & ~kLeafMark;
      const size_t b = p + d;  // the byte this level consumes
      const uint32_t node = base[k] ^ u[b];
      const Darts::Details::id_type unit = units[node];
      if (Darts::Details::unit_label(unit) != u[b]) continue;
      const uint32_t next = node ^ static_cast<uint32_t>(Darts::Details::unit_offset(unit));
      const bool leaf = Darts::Details::unit_has_leaf(unit);
      if (leaf) __builtin_prefetch(units + next);
      if (b + 1 >= len) continue;
      __builtin_prefetch(units + (next ^ u[b + 1]));
      pos[m] = leaf ? p | kLeafMark : p;
      base[m] = next;
      ++m;
    }
    n = m;
  }
}

void CBasicDict::_build_first_char() {
  for (bool& t : m_lead_tabled) t = false;
  try {
    m_first_char.assign((kLeadLast - kLeadFirst + 1) * kTrails, first_char_t{kNoNode, -1});
  } catch (const std::bad_alloc&) {
    std::vector<first_char_t>().swap(m_first_char);  // prefix_search walks the array alone
    return;
  }
  for (unsigned lead = kLeadFirst; lead <= kLeadLast; ++lead) {
    const char l = static_cast<char>(lead);
    size_t node = 0, pos = 0;
    const int v1 = mBasicDict.traverse(&l, node, pos, 1);
    if (v1 >= 0) continue;  // a one-byte key: not tabled
    m_lead_tabled[lead] = true;
    if (v1 == -2) continue;  // no key starts with this byte
    for (unsigned trail = kTrailFirst; trail <= kTrailLast; ++trail) {
      const char t = static_cast<char>(trail);
      size_t node2 = node, pos2 = 0;
      const int v2 = mBasicDict.traverse(&t, node2, pos2, 1);
      if (v2 == -2) continue;
      first_char_t& f = m_first_char[(lead - kLeadFirst) * kTrails + (trail - kTrailFirst)];
      f.base = static_cast<uint32_t>(mBasicDict.node_base(node2));
      f.value = v2;
    }
  }
}

void CBasicDict::_swap(CBasicDict& other) {
  m_units.swap(other.m_units);
  std::swap(mWordNum, other.mWordNum);
  mPropDict.swap(other.mPropDict);
  _attach_units();
  other._attach_units();
}

void CBasicDict::clear() {
  decltype(m_units)().swap(m_units);
  _attach_units();
  mPropDict.clear();
  mWordNum = 0;
}

bool CBasicDict::loadBasicDict(const char* lex, const char* prop) {
  // Both files go into a fresh dictionary first, so that a failure leaves
  // this one untouched and a success replaces both halves together.
  //
  // The double array's shape is checked by the walk that checks its keys
  // against the properties, which saves a walk over the whole array.  When
  // anything fails, a shape-only walk tells whether the array was at fault,
  // so that the message is the one that checking the array first gives.
  CBasicDict staged;
  bool ok = staged._readDict(lex, false);
  if (ok && !staged._loadProp(prop)) {
    std::string err;
    if (!check_keys(staged.m_units.data(), staged.m_units.size(), 0, 0, err))
      staged.m_error = std::string(lex) + ": " + err;
    ok = false;
  }
  if (!ok) {
    m_error = staged.m_error;
    std::fprintf(stderr, "%s\n", m_error.c_str());
    return false;
  }
  _swap(staged);
  m_error.clear();
  return true;
}

bool CBasicDict::_loadDict(const char* path) { return _readDict(path, true); }

bool CBasicDict::_readDict(const char* path, bool walk) {
  try {
    FileHolder f;
    long long bytes = 0;
    if (!open_with_size(path, f, bytes, m_error)) return false;
    size_t num = (size_t)(bytes / 4);  // trailing bytes are ignored
    decltype(m_units) units(num);
    if (num > 0 && std::fread(units.data(), 4, num, f.get()) != num) {
      set_error(m_error, "%s: short read", path);
      return false;
    }
    if (num < Darts::Details::kBlockSize || num % Darts::Details::kBlockSize != 0 ||
        !Darts::Details::first_block_is_plausible(units.data(), num) ||
        !Darts::Details::units_are_safe(units.data(), num)) {
      set_error(m_error, "%s: not a valid double array (%zu units)", path, num);
      return false;
    }
    std::string err;
    if (walk && !check_keys(units.data(), num, &mPropDict, mWordNum, err)) {
      m_error = std::string(path) + ": " + err;
      return false;
    }
    m_units.swap(units);
    use_huge_pages(m_units.data(), m_units.size() * sizeof(uint32_t));  // as for the records
    _attach_units();
    m_error.clear();
    return true;
  } catch (const std::exception& e) {
    set_error(m_error, "%s: %s", path, e.what());
    return false;
  }
}

bool CBasicDict::_loadProp(const char* path) {
  try {
    FileHolder f;
    long long bytes = 0;
    if (!open_with_size(path, f, bytes, m_error)) return false;
    PropReader r{f.get(), (unsigned long long)bytes};
    prop_t p;
    uint32_t words;
    if (!r.read_u32(words)) {
      set_error(m_error, "%s: no word count", path);
      return false;
    }
    // Word indexes are 31-bit values in the double array.
    if (words == 0 || words > 0x7FFFFFFFu) {
      set_error(m_error, "%s: bad word count %u", path, words);
      return false;
    }
    if (!r.read_array(p.m_word_info, words)) {
      set_error(m_error, "%s: word records cut short or out of memory", path);
      return false;
    }
    const char* cut = 0;  // the first section that cannot be read in full
    if (!r.read_section(p.m_POS, p.m_POS_num)) cut = "m_POS";
    else if (!r.read_section(p.m_POSProb, p.m_POSProb_num)) cut = "m_POSProb";
    else if (!r.read_section(p.m_Rol, p.m_Rol_num)) cut = "m_Rol";
    else if (!r.read_section(p.m_RolProb, p.m_RolProb_num)) cut = "m_RolProb";
    else if (!r.read_section(p.m_LNRol, p.m_LNRol_num)) cut = "m_LNRol";
    else if (!r.read_section(p.m_LNRolProb, p.m_LNRolProb_num)) cut = "m_LNRolProb";
    else if (!r.read_section(p.m_SegType, p.m_SegType_num)) cut = "m_SegType";
    else if (!r.read_section(p.m_RuleInfo, p.m_RuleInfo_num)) cut = "m_RuleInfo";
    if (cut != 0) {
      set_error(m_error, "%s: section %s cut short or out of memory", path, cut);
      return false;
    }
    std::string err;
    if (!validate_prop(p, words, err)) {
      m_error = std::string(path) + ": " + err;
      return false;
    }
    if (!m_units.empty() && !check_keys(m_units.data(), m_units.size(), &p, words, err)) {
      m_error = std::string(path) + ": " + err;
      return false;
    }
    mPropDict.swap(p);
    mWordNum = words;
    m_error.clear();
    return true;
  } catch (const std::exception& e) {
    set_error(m_error, "%s: %s", path, e.what());
    return false;
  }
}

// --- Checked access --------------------------------------------------------------

bool CBasicDict::rule_block(uint32_t idx, int which, rule_block_t& block) const {
  RecordChecker rc{mPropDict, mWordNum};
  return rc.rule_block(idx, which, block);
}

const LogP* CBasicDict::mulseg_record(uint32_t idx) const {
  RecordChecker rc{mPropDict, mWordNum};
  return rc.mulseg(idx);
}

const uint8_t* CBasicDict::subword_record(uint32_t idx) const {
  RecordChecker rc{mPropDict, mWordNum};
  return rc.subwords(idx);
}
