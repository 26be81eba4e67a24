#include "format.h"

#include <cstring>

#include <nlohmann/json.hpp>

#include "LXSegFunc.h"

namespace lxseg {
namespace {

struct Token {
  std::string_view word;
  const char* tag;
  size_t byte_begin, byte_length;  // in the line
  size_t begin, end;               // characters
};

// The word of record `i`: with `original`, the bytes of the line it spans.
std::string_view word_at(HANDLE h, int i, pWP wp, bool original, std::string_view line,
                         size_t& begin, size_t& length) {
  if (!LXGetSpanAt(h, i, &begin, &length) || begin > line.size() ||
      length > line.size() - begin) {
    begin = length = 0;
    return wp->word;
  }
  return original ? line.substr(begin, length) : std::string_view(wp->word);
}

// Reads token `i` of the last segmentation; `tag` points at `tag_buf`.
Token read_token(HANDLE h, int i, bool original, std::string_view line, CharCounter& chars,
                 char (&tag_buf)[16]) {
  Token t{};
  pWP wp = LXGetAt(h, i);
  if (!wp || !wp->word) return t;
  t.word = word_at(h, i, wp, original, line, t.byte_begin, t.byte_length);
  LXPosId2Str(wp->pos, tag_buf, sizeof tag_buf);
  t.tag = tag_buf;
  t.begin = chars.at(t.byte_begin);
  t.end = chars.at(t.byte_begin + t.byte_length);
  return t;
}

// Writes JSON strings into `out` with nlohmann-json's serializer.
class JsonWriter {
 public:
  explicit JsonWriter(std::string& out)
      : serializer_(nlohmann::detail::output_adapter<char>(out), ' ',
                    nlohmann::json::error_handler_t::replace) {}
  // Writes `s`, converted to well-formed UTF-8, as a JSON string.
  void string(Charset cs, std::string_view s) {
    std::string& value = value_.get_ref<std::string&>();
    value.clear();
    append_utf8(cs, s, value);
    serializer_.dump(value_, false, false, 0);
  }

 private:
  nlohmann::detail::serializer<nlohmann::json> serializer_;
  nlohmann::json value_ = std::string();
};

}  // namespace

void format_line(Format format, Charset cs, bool original, HANDLE h, std::string_view line,
                 std::string& out) {
  const int count = line.empty() ? 0 : LXGetResultCnt(h);
  if (format == Format::text || format == Format::tagged) {
    bool first = true;
    char tag[16];
    // With the original form the words are the line's bytes; only a NUL byte,
    // which the C strings of the readers stop at, needs the spans.
    const bool by_span = original && std::memchr(line.data(), '\0', line.size()) != nullptr;
    for (int i = 0; i < count; ++i) {
      pWP wp = LXGetAt(h, i);
      if (!wp || !wp->word) continue;
      size_t begin, length;
      const std::string_view word =
          by_span ? word_at(h, i, wp, true, line, begin, length) : std::string_view(wp->word);
      if (word.empty() || is_blank(cs, word)) continue;
      if (!first) out += ' ';
      first = false;
      out += word;
      if (format == Format::tagged) {
        LXPosId2Str(wp->pos, tag, sizeof tag);
        out += '/';
        out += tag;
      }
    }
    out += '\n';
    return;
  }

  CharCounter chars(cs, line);
  char tag[16];
  if (format == Format::conll) {
    for (int i = 0; i < count; ++i) {
      const Token t = read_token(h, i, original, line, chars, tag);
      if (!t.tag) continue;
      out += t.word;
      out += '\t';
      out += t.tag;
      out += '\t';
      out += std::to_string(t.begin);
      out += '\t';
      out += std::to_string(t.end);
      out += '\n';
    }
    out += '\n';
    return;
  }

  // The text is converted token by token, as the offsets are counted.  The
  // record is written field by field, nlohmann-json writing the values: a
  // tree of objects per line would cost more than the segmentation.
  JsonWriter json(out);
  std::string text;
  size_t converted = 0;
  out += "{\"text\":";
  const size_t text_at = out.size();
  out += ",\"tokens\":[";
  bool first_token = true;
  for (int i = 0; i < count; ++i) {
    const Token t = read_token(h, i, original, line, chars, tag);
    if (!t.tag) continue;
    if (t.byte_begin >= converted) {
      append_utf8(cs, line.substr(converted, t.byte_begin - converted), text);
      append_utf8(cs, line.substr(t.byte_begin, t.byte_length), text);
      converted = t.byte_begin + t.byte_length;
    }
    out += first_token ? "{\"word\":" : ",{\"word\":";
    first_token = false;
    json.string(cs, t.word);
    out += ",\"tag\":";
    json.string(cs, t.tag);
    out += ",\"begin\":";
    out += std::to_string(t.begin);
    out += ",\"end\":";
    out += std::to_string(t.end);
    out += '}';
  }
  out += "]}";
  append_utf8(cs, line.substr(converted), text);
  std::string escaped;
  JsonWriter(escaped).string(Charset::utf8, text);
  out.insert(text_at, escaped);
  out += '\n';
}

}  // namespace lxseg
