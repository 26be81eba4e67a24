// Sentence splitting of a GBK paragraph.
//
// CSentenceSpliter hands out the sentences of a text one at a time.  A
// sentence ends before a separator character (tab, line feed, carriage
// return, space, "!", ",", ";", "?", "_" and the full-width forms listed in
// the constructor) or, when it grows longer than the maximum sentence length,
// at the last character boundary that keeps it within that length.  A
// separator is one character, but for two ellipsis characters in a row
// (……), which are one separator.  The separator is not part of the sentence: the caller fetches it with
// get_spliter() and stores it as a token of its own.
//
// Usage by the segmentation driver:
//
//     sp.m_paragraph = text; sp.m_paragraph_len = len; sp.m_paragraph_idx = 0;
//     uint32_t back = 0, n;
//     while (const char* s = sp.next_sentence(n, back)) {
//       segment(s, n);
//       if (sp.m_btruncation) back = <bytes withdrawn from the cut sentence>;
//       else { uint32_t sl; const char* sep = sp.get_spliter(sl); save(sep, sl); back = 0; }
//     }
//
// After a cut for length the caller may step back over the last words of the
// cut sentence (the back length) so that they are segmented again together
// with the text that follows.
//
// Character walking: a byte of 0x80 or above that is not the last byte of the
// paragraph starts a two-byte character; every other byte is a character of
// its own.  Nothing outside [m_paragraph, m_paragraph + m_paragraph_len) is
// ever read, whatever the bytes are (NULs included).
//
// Lengths are 32-bit.  Callers must not hand over paragraphs of
// kMaxParagraphLen bytes or more; the driver rejects such texts before they
// reach the splitter.
#ifndef LX_SEG_SENTENCE_SPLITER_H
#define LX_SEG_SENTENCE_SPLITER_H

#include <cstdint>

class CSentenceSpliter {
 public:
  // Number of separator characters and size of the code table.
  static const uint32_t m_sepchar_size = 18;
  static const uint32_t m_sepbuf_size = 380;

  // Longest paragraph the splitter accepts (positions stay far below the
  // value that a back length larger than the position wraps around to).
  static const uint32_t kMaxParagraphLen = (uint32_t)(-1) - 10001;

  // Separator codes: a byte is its own code; a two-byte character whose first
  // byte is 0xA1 or above has (first - 0xA1) * 94 + (second - 0x20).  Returns
  // -1 for characters without a code (two-byte characters with a lower first
  // byte, and the few whose second byte makes the formula negative).
  static int char_code(const unsigned char* p, uint32_t width);

  explicit CSentenceSpliter(uint32_t maxlen);

  // Returns the next sentence and its length in `len`, or null when the text
  // is exhausted.  The sentence starts `back_len` bytes before the current
  // position: 0 continues right behind the previous sentence or separator;
  // after a cut for length (m_btruncation) it may be up to the cut sentence's
  // length minus one.  A back length larger than the position is ignored
  // (taken as 0).  A back length that would start the sentence
  // at or before the start of the cut sentence would hand out the same cut
  // sentence forever; it is shortened so that the next sentence starts one
  // character after the cut sentence did.
  const char* next_sentence(uint32_t& len, uint32_t back_len);

  // Returns the separator that ended the last sentence and its byte length in
  // `len` (null and 0 when the sentence ended otherwise) and moves the
  // position past it.  A second call before the next sentence returns null.
  const char* get_spliter(uint32_t& len);

  // The last sentence handed out (the cut sentence, when m_btruncation).
  const char* m_sentence;
  uint32_t m_sentence_len;
  uint32_t m_sentence_maxlen;

  // The text, its length and the current position; set by the caller before
  // the first sentence of a text (position 0).
  const char* m_paragraph;
  uint32_t m_paragraph_len;
  uint32_t m_paragraph_idx;

  // GBK strings of the separators, and 1 at the code of each separator.
  const char* m_seperator_char[m_sepchar_size];
  uint32_t m_seperator_code[m_sepbuf_size];

  // Byte length of the separator that ended the last sentence, 0 if none.
  uint32_t m_seperator_char_len;
  // The last sentence was cut at the maximum length.
  bool m_btruncation;
};

#endif  // LX_SEG_SENTENCE_SPLITER_H
