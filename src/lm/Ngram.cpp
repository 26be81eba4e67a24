#include "lm/Ngram.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <vector>

#include "base/File.h"
#include "lm/Counts.h"

extern "C" {
__attribute__((visibility("default"))) const char* Ngram_BinaryFormatString =
    "ZV_VELDOR_BINARY_NGRAM\n";
}

namespace {

const char kNoUnkMessage[] = "the model has no <unk>";

// Highest order a file may declare.  Loading recurses once per level, so the
// declared order bounds the stack depth; real models have 3 to 5 levels.
const unsigned kMaxFileOrder = 100;

// Every probability entry of a binary node takes at least a 2-byte word id
// and a 4-byte float.
const unsigned long long kMinProbEntryBytes = 6;

// Width of the length field of a node written at `level` (the root is level
// 1) of a model of order `order`: the deepest level holds only probabilities
// and stays small, the levels above it hold whole subtrees.
unsigned length_field_bytes(unsigned order, unsigned level) {
  if (level == order) return 2;
  return order - level < 4 ? 4 : 8;
}

// Bytes of the shortest encoding of `count` (8 also for counts that cannot be
// encoded at all; write_binary_count rejects those).
unsigned count_bytes(unsigned long long count) {
  if (count < 0x8000ull) return 2;
  if (count < (1ull << 30)) return 4;
  return 8;
}

// Whether inserting `key` would exceed the capacity of a hash table (which
// would throw): checked first, so that the loader reports the file position.
template <class DataT>
bool table_full(const LHash<VocabIndex, DataT>& table, VocabIndex key) {
  return table.num_entries() >= LHash_maxEntriesLimit && table.find(key) == 0;
}

void misaligned(File& file) {
  file.offset(std::cerr) << "data misaligned\n";
}

void system_error(File& file) {
  int err = errno;
  file.offset(std::cerr) << std::strerror(err) << "\n";
}

// Reads one count or float of a node record and advances `offset` past it.
// A short read is reported: "<file>: offset <n>: <reason>".
template <class T>
bool read_field(File& file, T& value, unsigned long long& offset) {
  const unsigned n = readBinaryCount(file, value);
  if (n == 0) {
    if (std::ferror(file)) {
      system_error(file);
    } else {
      file.offset(std::cerr) << "unexpected end of file\n";
    }
    return false;
  }
  offset += n;
  return true;
}

// Reports a file that could not be opened, read or closed as
// "<file>: <reason>"; false, for the caller to return.
bool file_error(const char* name, int err) {
  std::cerr << (name ? name : "(null)") << ": " << std::strerror(err != 0 ? err : EIO) << "\n";
  return false;
}

// The keys of a table in ascending order.  The writer emits entries in this
// order so that equal models give identical files.
template <class DataT>
void sorted_keys(const LHash<VocabIndex, DataT>& table, std::vector<VocabIndex>& keys) {
  keys.clear();
  keys.reserve(table.num_entries());
  LHashIter<VocabIndex, DataT> iter(table);
  VocabIndex key;
  while (iter.next(key)) keys.push_back(key);
  std::sort(keys.begin(), keys.end());
}

// A word id of the text format: decimal digits only, below the no-key value.
bool parse_word_id(const char* text, VocabIndex& id) {
  if (*text == '\0') return false;
  unsigned long long value = 0;
  for (const char* p = text; *p; p++) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + (unsigned)(*p - '0');
    if (value >= Vocab_None) return false;
  }
  id = (VocabIndex)value;
  return true;
}

void count_memory(const BOtrie& node, MemStats& stats) {
  const LHash<VocabIndex, LogP>& probs = node.value().probs;
  stats.total += probs.body_bytes();
  if (probs.num_slots() > probs.num_entries()) {
    stats.wasted += (size_t)(probs.num_slots() - probs.num_entries()) *
                    (probs.body_bytes() / std::max(1u, probs.num_slots()));
  }
  stats.total += node.m_sub.body_bytes();
  if (node.m_sub.num_slots() > node.m_sub.num_entries()) {
    stats.wasted += (size_t)(node.m_sub.num_slots() - node.m_sub.num_entries()) * sizeof(BOtrie);
  }
  LHashIter<VocabIndex, BOtrie> iter(node.m_sub);
  VocabIndex key;
  while (const BOtrie* child = iter.next(key)) count_memory(*child, stats);
}

unsigned long count_ngrams(const BOtrie& node, unsigned depth) {
  if (depth == 0) return node.value().probs.num_entries();
  unsigned long total = 0;
  LHashIter<VocabIndex, BOtrie> iter(node.m_sub);
  VocabIndex key;
  while (const BOtrie* child = iter.next(key)) total += count_ngrams(*child, depth - 1);
  return total;
}

}  // namespace

bool parseLogP(const char* text, LogP& result) {
  const char* p = text;
  bool minus = false;
  if (*p == '-') {
    minus = true;
    p++;
  } else if (*p == '+') {
    p++;
  }
  const char* body = p;

  // Fast exact path: [digits][.digits] with at most 8 digits in all, so that
  // both the digit value and the power of ten are exact integers.
  unsigned long digits = 0;
  unsigned long scale = 1;
  unsigned precision = 0;
  while (*p >= '0' && *p <= '9') {
    if (precision < 9) digits = digits * 10 + (unsigned)(*p - '0');
    precision++;
    p++;
  }
  if (*p == '.') {
    p++;
    while (*p >= '0' && *p <= '9') {
      if (precision < 9) {
        digits = digits * 10 + (unsigned)(*p - '0');
        scale *= 10;
      }
      precision++;
      p++;
    }
  }
  if (*p == '\0' && precision > 0 && precision < 9) {
    LogP value = (LogP)digits / (LogP)scale;
    result = minus ? -value : value;
    return true;
  }
  if (std::strncmp(body, "Inf", 3) == 0 || std::strncmp(body, "inf", 3) == 0) {
    result = minus ? LogP_Zero : LogP_Inf;
    return true;
  }
  return std::sscanf(text, "%f", &result) == 1;
}

Ngram::Ngram(unsigned neworder)
    : LogP_unk_word(-99.0f), contexts(), order(neworder == 0 ? 1 : neworder) {}

Ngram::~Ngram() {}

void Ngram::clear() {
  // The root's destructor frees the whole tree; a fresh root takes its place.
  contexts.~BOtrie();
  ::new (static_cast<void*>(&contexts)) BOtrie();
}

// Whether a model just read from `name` has the unknown word; if not, says
// so: "<name>: the model has no <unk>".
static bool has_unk_word(const Ngram& lm, const char* name) {
  if (lm.contexts.value().probs.find(Vocab_Unknown) != 0) return true;
  std::cerr << (name ? name : "(null)") << ": " << kNoUnkMessage << "\n";
  return false;
}

bool Ngram::set_unk_word() {
  const LogP* unk = contexts.value().probs.find(Vocab_Unknown);
  if (unk == 0) {
    std::cerr << kNoUnkMessage << "\n";
    return false;
  }
  LogP_unk_word = *unk;
  return true;
}

LogP Ngram::word_prob(VocabIndex word, const VocabIndex* context) const {
  unsigned clen = 0;
  if (context != 0) {
    while (clen + 1 < order && context[clen] != Vocab_None) clen++;
  }
  return word_prob(word, context, clen, 0);
}

LogP Ngram::word_prob(VocabIndex word, const VocabIndex* context, unsigned clen,
                      bool* pbbk) const {
  LogP logp = LogP_unk_word;
  LogP bow = LogP_One;
  unsigned found = 0;
  const BOtrie* node = &contexts;
  for (unsigned i = 0;; i++) {
    // Vocab_None is never stored: such a word is scored as an unknown one.
    const LogP* prob = node->value().probs.find(word);
    if (prob != 0) {
      logp = *prob;
      bow = LogP_One;
      found++;
    }
    if (i >= clen || context == 0 || context[i] == Vocab_None) break;
    const BOtrie* child = node->m_sub.find(context[i]);
    if (child == 0) break;
    bow += child->value().bow;
    node = child;
  }
  if (pbbk != 0) *pbbk = found != 2;
  return logp + bow;
}

unsigned long Ngram::num_ngrams(unsigned n) const {
  if (n == 0) return 0;
  return count_ngrams(contexts, n - 1);
}

void Ngram::mem_stats(MemStats& stats) const {
  stats.total += sizeof(*this);
  count_memory(contexts, stats);
}

// ---------------------------------------------------------------------------
// Binary format

bool Ngram::read_binary(const char* lmfile) {
  File file(lmfile, "rb");
  FILE* fp = file;
  if (fp == 0) return file_error(lmfile, file.error());

  const char* line = file.getline();
  if (line == 0 && file.error() != 0) return file_error(lmfile, file.error());
  if (line == 0 || std::strcmp(line, Ngram_BinaryFormatString) != 0) {
    file.position(std::cerr) << "bad binary format\n";
    return false;
  }

  // The order line ends at its own line feed: the root record follows
  // directly, and its first byte may well be a white-space byte, so no more
  // than the rest of this line may be consumed.
  unsigned maxOrder = 0;
  int c = EOF;
  if (std::fscanf(fp, "maxorder %u", &maxOrder) == 1) {
    do {
      c = std::fgetc(fp);
    } while (c == ' ' || c == '\t' || c == '\r');
  }
  if (c != '\n' || maxOrder > kMaxFileOrder) {
    file.position(std::cerr) << "could not read ngram order\n";
    return false;
  }

  off_t start = ftello(fp);
  if (start < 0) {
    int err = errno;
    file.position(std::cerr) << std::strerror(err) << "\n";
    return false;
  }
  unsigned long long offset = (unsigned long long)start;

  // No node may reach past the end of the file.  (A stream whose size is not
  // known is bounded by its reads alone.)
  unsigned long long limit = ULLONG_MAX;
  struct stat st;
  if (fstat(fileno(fp), &st) == 0 && S_ISREG(st.st_mode)) {
    limit = (unsigned long long)st.st_size;
  }

  clear();
  if (!read_binary_node(file, contexts, order, maxOrder, offset, limit)) return false;
  return has_unk_word(*this, lmfile) && set_unk_word();
}

// Reads the node record at `offset` into `node`.  loadLevels counts the
// levels still to be kept (0: skip the record), fileLevels the levels still
// present in the file; `limit` is the end of the enclosing record (or of the
// file), which the record must not pass.  Every count is checked against the
// bytes that remain before it is acted on, so a damaged file can neither
// make the reader allocate more than the file's size warrants nor move it
// backwards; recursion depth is bounded by the file's order.
bool Ngram::read_binary_node(File& file, BOtrie& node, unsigned loadLevels, unsigned fileLevels,
                             unsigned long long& offset, unsigned long long limit) {
  if (fileLevels == 0) return true;
  FILE* fp = file;

  const unsigned long long start = offset;
  unsigned long long length;
  if (!read_field(file, length, offset)) return false;
  if (start > limit || length < offset - start || length > limit - start) {
    misaligned(file);
    return false;
  }
  const unsigned long long end = start + length;

  if (loadLevels == 0) {
    if (end > (unsigned long long)LLONG_MAX || fseeko(fp, (off_t)end, SEEK_SET) != 0) {
      if (end > (unsigned long long)LLONG_MAX) errno = EINVAL;
      system_error(file);
      return false;
    }
    offset = end;
    return true;
  }

  BOnode& data = node.value();
  float bow;
  if (!read_field(file, bow, offset)) return false;
  data.bow = bow;

  unsigned long long numProbs;
  if (!read_field(file, numProbs, offset)) return false;
  if (offset > end || numProbs > (end - offset) / kMinProbEntryBytes) {
    misaligned(file);
    return false;
  }
  for (unsigned long long i = 0; i < numProbs; i++) {
    unsigned long long wid;
    float prob;
    if (!read_field(file, wid, offset) || !read_field(file, prob, offset)) return false;
    if (wid == Vocab_None) continue;
    if (wid > Vocab_None || table_full(data.probs, (VocabIndex)wid)) {
      // Not a 32-bit word id (or more entries than a node can hold): the
      // record cannot be what it claims to be.
      misaligned(file);
      return false;
    }
    *data.probs.insert((VocabIndex)wid) = prob;
  }

  // The deepest level of the file holds probabilities only; anything after
  // them would be children the file's own order says cannot exist.
  if (fileLevels == 1 && offset != end) {
    misaligned(file);
    return false;
  }

  while (offset < end) {
    unsigned long long wid;
    if (!read_field(file, wid, offset)) return false;
    if (offset > end || wid > Vocab_None) {
      misaligned(file);
      return false;
    }
    if (wid == Vocab_None || loadLevels == 1) {
      // A record marked as unused, or a level beyond the model's order: the
      // subtree is skipped, and no (empty) child is made for it.
      if (!read_binary_node(file, node, 0, fileLevels - 1, offset, end)) return false;
    } else {
      if (table_full(node.m_sub, (VocabIndex)wid)) {
        misaligned(file);
        return false;
      }
      BOtrie* child = node.m_sub.insert((VocabIndex)wid);
      if (!read_binary_node(file, *child, loadLevels - 1, fileLevels - 1, offset, end)) {
        return false;
      }
    }
  }

  if (offset != end) {
    misaligned(file);
    return false;
  }
  return true;
}

bool Ngram::write_binary(const char* lmfile) const {
  File file(lmfile, "wb");
  FILE* fp = file;
  if (fp == 0) return file_error(lmfile, file.error());
  const bool ok = std::fputs(Ngram_BinaryFormatString, fp) >= 0 &&
                  std::fprintf(fp, "maxorder %u\n", order) >= 0 &&
                  write_binary_node(file, contexts, 1, length_field_bytes(order, 1)) &&
                  std::fflush(fp) == 0;
  // A stream error is reported here; a count too large to write was already.
  if (std::ferror(fp)) return file_error(lmfile, errno);
  if (!ok) return false;
  if (file.close() != 0) return file_error(lmfile, file.error());
  return true;
}

// Writes `node` as a record at `level` whose length field takes lengthBytes
// bytes.  The length is known only at the end, so a placeholder is written
// first and patched; when the length turns out not to fit the width, the
// record is written again with the wider field.
bool Ngram::write_binary_node(File& file, const BOtrie& node, unsigned level,
                              unsigned lengthBytes) const {
  FILE* fp = file;
  const off_t start = ftello(fp);
  if (start < 0) return false;

  const BOnode& data = node.value();
  if (write_binary_count(fp, 0ull, lengthBytes) != lengthBytes) return false;
  if (write_binary_count(fp, data.bow) == 0) return false;
  if (write_binary_count(fp, (unsigned long long)data.probs.num_entries(), 0) == 0) return false;

  std::vector<VocabIndex> keys;
  sorted_keys(data.probs, keys);
  for (VocabIndex wid : keys) {
    if (write_binary_count(fp, (unsigned long long)wid, 0) == 0) return false;
    if (write_binary_count(fp, *data.probs.find(wid)) == 0) return false;
  }

  // Levels beyond the model's order are not part of the file: the reader
  // takes the order line as the depth of the tree.
  if (level < order) {
    sorted_keys(node.m_sub, keys);
    for (VocabIndex wid : keys) {
      if (write_binary_count(fp, (unsigned long long)wid, 0) == 0) return false;
      const BOtrie* child = node.m_sub.find(wid);
      if (!write_binary_node(file, *child, level + 1, length_field_bytes(order, level + 1))) {
        return false;
      }
    }
  }

  const off_t end = ftello(fp);
  if (end < 0) return false;
  const unsigned long long length = (unsigned long long)(end - start);
  const unsigned needed = count_bytes(length);
  if (needed > lengthBytes) {
    file.offset(std::cerr) << "increasing offset bytes from " << lengthBytes << " to " << needed
                           << " (order " << order << ", level " << level << ")\n";
    if (fseeko(fp, start, SEEK_SET) != 0) return false;
    return write_binary_node(file, node, level, needed);
  }
  if (fseeko(fp, start, SEEK_SET) != 0) return false;
  if (write_binary_count(fp, length, lengthBytes) != lengthBytes) return false;
  return fseeko(fp, end, SEEK_SET) == 0;
}

// ---------------------------------------------------------------------------
// Text format

bool Ngram::read(const char* filename) {
  File file(filename, "r");
  FILE* fp = file;
  if (fp == 0) return file_error(filename, file.error());

  clear();
  contexts.value().bow = LogP_Zero;

  // Orders the file may declare, and fields of a line of the highest order
  // with its back-off weight, plus one to detect a line with more.
  const unsigned kMaxFields = kMaxFileOrder + 3;
  long long declared[kMaxFileOrder + 1] = {0};
  unsigned long numRead[kMaxFileOrder + 1] = {0};
  unsigned maxOrder = 0;

  enum { kBeforeData, kHeader, kSection } state = kBeforeData;
  unsigned section = 0;

  char* fields[kMaxFields];
  VocabIndex words[kMaxFileOrder + 1];

  while (char* line = file.getline()) {
    size_t len = std::strlen(line);
    if (len > 0 && line[len - 1] == '\n') line[--len] = '\0';
    if (len > 0 && line[len - 1] == '\r') line[--len] = '\0';

    if (state == kBeforeData) {
      if (std::strncmp(line, "\\data\\", 6) == 0) state = kHeader;
      continue;
    }

    if (std::strncmp(line, "\\end\\", 5) == 0) {
      unsigned last = std::min(maxOrder, order);
      for (unsigned n = 1; n <= last; n++) {
        if ((long long)numRead[n] != declared[n]) {
          file.position(std::cerr) << "warning: " << numRead[n] << " " << n
                                   << "-grams read, expected " << declared[n] << "\n";
        }
      }
      return has_unk_word(*this, filename) && set_unk_word();
    }

    int n, count;
    if (state == kHeader && std::sscanf(line, "ngram %d=%d", &n, &count) == 2) {
      if (n < 1 || n > (int)kMaxFileOrder) {
        file.position(std::cerr) << "ngram order " << n << " out of range\n";
        return false;
      }
      if (count < 0) {
        file.position(std::cerr) << "ngram number " << count << " out of range\n";
        return false;
      }
      declared[n] = count;
      if ((unsigned)n > maxOrder) maxOrder = (unsigned)n;
      continue;
    }
    if (line[0] == '\\' && std::sscanf(line, "\\%d-grams", &n) == 1) {
      if (n < 1 || (unsigned)n > maxOrder) {
        file.position(std::cerr) << "invalid ngram order " << n << "\n";
        return false;
      }
      state = kSection;
      section = (unsigned)n;
      continue;
    }
    if (state == kHeader) {
      file.position(std::cerr) << "unexpected input\n";
      return false;
    }

    // An n-gram line of the current section.
    if (section > order) continue;

    unsigned numFields = 0;
    char* save = 0;
    for (char* tok = strtok_r(line, " \t\r\n", &save); tok != 0;
         tok = strtok_r(0, " \t\r\n", &save)) {
      if (numFields < kMaxFields) fields[numFields] = tok;
      numFields++;
    }
    if (numFields != section + 1 && numFields != section + 2) {
      file.position(std::cerr) << "ngram line has " << numFields << " fields (" << section + 2
                               << " expected)\n";
      return false;
    }

    LogP prob;
    if (!parseLogP(fields[0], prob)) {
      file.position(std::cerr) << "bad prob \"" << fields[0] << "\"\n";
      return false;
    }
    if (prob > LogP_One || std::isnan(prob)) {
      file.position(std::cerr) << "warning: questionable prob \"" << fields[0] << "\"\n";
    } else if (prob == -99.0f) {
      prob = LogP_Zero;
    }

    bool haveBow = false;
    LogP bow = LogP_One;
    if (numFields == section + 2) {
      const char* text = fields[section + 1];
      if (section == maxOrder) {
        if (text[0] != '0') {
          file.position(std::cerr) << "ignoring non-zero bow \"" << text
                                   << "\" for maximal ngram\n";
        }
      } else if (section != order) {
        if (!parseLogP(text, bow)) {
          file.position(std::cerr) << "bad bow \"" << text << "\"\n";
          return false;
        }
        if (bow == LogP_Inf || std::isnan(bow)) {
          file.position(std::cerr) << "warning: questionable bow \"" << text << "\"\n";
        } else if (bow == -99.0f) {
          bow = LogP_Zero;
        }
        haveBow = true;
      }
    }

    // Word ids in file order are oldest first; the trie wants the predicted
    // word first, then its context most recent first.
    for (unsigned i = 0; i < section; i++) {
      const char* text = fields[section - i];
      if (!parse_word_id(text, words[i])) {
        file.position(std::cerr) << "bad word id \"" << text << "\"\n";
        return false;
      }
    }
    words[section] = Vocab_None;

    if (haveBow) contexts.insert_trie(words)->value().bow = bow;

    BOtrie* context = contexts.find_trie(words + 1);
    if (context == 0) {
      file.position(std::cerr) << "warning: no bow for prefix of ngram \"";
      for (unsigned i = 1; i <= section; i++) std::cerr << (i > 1 ? " " : "") << fields[i];
      std::cerr << "\"\n";
      continue;
    }
    *context->value().probs.insert(words[0]) = prob;
    numRead[section]++;
  }

  if (file.error() != 0) return file_error(filename, file.error());
  file.position(std::cerr) << "reached EOF before \\end\\\n";
  return false;
}
