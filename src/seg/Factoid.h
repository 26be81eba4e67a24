// Factoid recognition: tokens classified by their characters instead of being
// looked up in the dictionary.
//
// At a given position of a (normalised, lower-cased) GBK sentence CFactoid
// finds a number written with ASCII digits or Chinese numerals, a date or
// time, a telephone number, an alphanumeric string, a web address or an
// e-mail address, and reports its type and byte length.  The lattice producer
// asks at every step; one recognizer is shared by all handles.
//
// How an ASCII token is classified: each byte has a class bit (digit, letter,
// "_+&", "@", ".-", ":/", "~#?=", "%"); the OR of the classes of a token's
// bytes (its mask) gives a first type through factoid_type[], and the pattern
// revisers then look at the actual bytes: revise_num_pattern() tells
// percentages, telephone numbers, dates and times from plain numbers, and
// revise_nx_url_pattern() tells web and e-mail addresses (a dot followed by a
// known domain key) from other alphanumeric strings.
//
// A number also takes a minus sign ("-" or, in PKU mode, the full-width
// one) that stands right before its first digit, unless the caller says that
// the sign follows a letter or a digit (a hyphen then: "f-16", "5-3").  A
// Chinese numeral run takes the ASCII or full-width zeros inside it
// ("二00一"), and a fraction "X分之Y" with numeral runs X and Y (a decimal
// Y with 点) is one number, as is a decimal "X点Y" whose Y holds single
// digits (not a clock time).  A digit number goes on over a middle dot used
// as decimal point ("14·9%") and over ratio colons ("6∶2∶2").
//
// Two process-wide switches change the behaviour: PKU mode (full-width ASCII
// is read as ASCII) and ASCII mode (any run of ASCII bytes is one token).
// Once set they stay set for the life of the object.
//
// Safety: every recognizer reads only the `len` bytes it is given, stops its
// scans at fixed limits (101 bytes for the English scan, 256 for the ASCII,
// PKU and Chinese scans) and never reports a length above `len`.  The
// recognizer keeps no per-call state in the object, so concurrent calls from
// several handles are safe once the switches are set.
#ifndef LX_SEG_FACTOID_H
#define LX_SEG_FACTOID_H

#include <cstdint>

#include "base/DoubleArray.h"

class CFactoid {
 public:
  // Factoid types: the POS identifiers of the public header.
  static const int kNone = 0;
  static const int kNumber = 15;  // "m"
  static const int kAlnum = 23;   // "nx": alphanumeric ("foreign") string
  static const int kTime = 29;    // "t": date or time
  static const int kUrl = 50;     // "www"
  static const int kTele = 51;    // telephone number
  static const int kEmail = 52;   // e-mail address

  // Class bits of factoid_ascii_char[].
  static const uint8_t kClsDigit = 1;     // 0-9
  static const uint8_t kClsLetter = 2;    // A-Z a-z
  static const uint8_t kClsJoin = 4;      // _ + &
  static const uint8_t kClsAt = 8;        // @
  static const uint8_t kClsDot = 16;      // . -
  static const uint8_t kClsColon = 32;    // : /
  static const uint8_t kClsQuery = 64;    // ~ # ? =
  static const uint8_t kClsPercent = 128; // %

  // Scan limits (bytes).
  static const uint32_t kEnScanMax = 101;
  static const uint32_t kRunMax = 256;

  CFactoid();
  ~CFactoid();
  CFactoid(const CFactoid&) = delete;
  CFactoid& operator=(const CFactoid&) = delete;

  void set_pku() { bpku_mode = true; }
  void set_ascii() { bascii_mode = true; }

  // The factoid starting at `text` (`len` bytes available): its type in
  // `type` and its byte length in `fclen` (0 <= fclen <= len).  A length of 0
  // means no factoid; the type may still be set then (a lone "s", or a
  // numeral run reduced to nothing), which the producer reads as "the text
  // here looked like a number".  `after_alnum`: the character before `text`
  // is an ASCII or full-width letter or digit, so a minus sign at `text` is
  // no sign.
  void recognize_factoid_word(const char* text, uint32_t len, int& type, uint32_t& fclen,
                              bool after_alnum = false) const;

  // The recognizers behind recognize_factoid_word(), each for a text whose
  // first byte selects it; each sets both outputs.
  void recognize_en_factoid_word(const char* text, uint32_t len, int& type, uint32_t& fclen) const;
  void recognize_en_factoid_word_pku(const char* text, uint32_t len, int& type,
                                     uint32_t& fclen) const;
  void recognize_zh_factoid_word(const char* text, uint32_t len, int& type, uint32_t& fclen) const;

  // The type of an ASCII token of `len` bytes whose classes OR to `mask`;
  // may shorten `len`.
  int get_factoid_type(const char* token, uint32_t& len, uint32_t mask) const;
  // Number patterns: percentages, telephone numbers, dates and times; may
  // shorten `len` to the leading number and change `type`.
  void revise_num_pattern(const char* token, uint32_t& len, int& type) const;
  // Web and e-mail addresses versus alphanumeric strings; sets `type` and may
  // shorten `len`.
  void revise_nx_url_pattern(const char* token, uint32_t& len, uint32_t mask, int& type) const;
  // Drops bytes from the end while the last one is not in `permit` (a table
  // of 128 ASCII entries; other bytes are never permitted).
  void revise_factoid_word_len(const char* token, uint32_t& len, const bool* permit) const;

  // Tables, built by the constructor.
  uint8_t factoid_ascii_char[256];
  int32_t factoid_type[256];
  bool url_permit_endchar[128];
  bool nx_permit_char[128];
  bool nx_permit_endchar[128];
  bool num_permit_endchar[128];
  bool fc_permit_starchar[128];
  Darts::DoubleArray urlkeys;

  bool bpku_mode;
  bool bascii_mode;

 private:
  void init_fc_table();
  void init_factoid_type();
  void init_urlkeys();
  // Bytes of the minus sign at `text` when a digit follows it, else 0.
  uint32_t sign_width(const unsigned char* text, uint32_t len) const;
  // End of the numeral run starting at byte i of s[0, len), zeros inside it
  // included; `last` gets the character that ended it (0: none).
  // End of the ASCII digits (and, in PKU mode, full-width digits) from byte i.
  uint32_t digit_run(const unsigned char* s, uint32_t len, uint32_t i) const;
  // A digit number ending at byte `end` continued over a middle dot used as
  // decimal point ("14·9%") and over ratio colons ("2∶1"): its new end.
  uint32_t extend_digit_number(const unsigned char* s, uint32_t len, uint32_t end) const;
  uint32_t zh_run_end(const unsigned char* s, uint32_t len, uint32_t i, uint16_t& last) const;
};

#endif  // LX_SEG_FACTOID_H
