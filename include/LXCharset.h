/*
 * LXCharset.h - the charset functions of the LXWordSeg library: conversion
 * between GBK, UTF-16 code units and UTF-8, and detection of GBK and UTF-8
 * text.  The header is C and C++ alike; is_gbk() exists in C++ only.
 *
 * GBK as understood here: a byte 0x00-0x7F stands for itself; the single byte
 * 0x80 is U+20AC (euro sign); a lead byte 0x81-0xFE followed by a trail byte
 * 0x40-0x7E or 0x80-0xFE is a two-byte character; 0xFF, and a lead byte
 * followed by any other byte, is invalid.  The two-byte characters are those
 * of GB18030-2000 (user-defined areas in the Private Use Area) less a dozen
 * cells, see gGBKToUnicodeTable.  Only the Basic Multilingual Plane is
 * covered: code points above U+FFFF have no GBK character.
 *
 * None of the functions allocates or keeps state; all are safe to call from
 * several threads at once.  The caller provides the output buffer and its
 * size.  Every function that writes output returns 0 and writes nothing when
 * `src` or the output pointer is null or the output size is 0.  A full output
 * buffer is not an error: conversion stops at a character boundary.  After a
 * result of -1 the output holds whatever was written before, without a
 * terminating NUL.
 *
 * `flags` is one value of uconv_flags_t (a plain int, bits tested as each
 * function describes).  The library itself always passes UCONV_INVCHAR_IGNORE,
 * under which bad bytes and unmappable characters vanish from the output.
 */
#ifndef LX_CHARSET_H
#define LX_CHARSET_H

#include <stdint.h>

#ifndef LX_API
#define LX_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
  UCONV_INVCHAR_IGNORE = 0,  /* skip invalid input and unmappable characters */
  UCONV_INVCHAR_REPLACE = 1, /* replace them (U+FFFD, or the caller's character) */
  UCONV_INVCHAR_ERROR = 2,   /* stop and return -1 */
  UCONV_INVCHAR_ENTITES = 4  /* write an unmappable character as "&#xHHHH;" */
} uconv_flags_t;

#define UCONV_GBK_TABLE_SIZE 24066     /* 126 lead bytes x 191 trail bytes */
#define UCONV_UNICODE_TABLE_SIZE 65536 /* one entry per UTF-16 code unit */
#define UCONV_PSEUDO_UTF8_SIZE 1024    /* U+0080 .. U+047F */

/*
 * GBK -> UTF-16: entry (lead - 0x81) * 191 + (trail - 0x40) is the code unit
 * of that two-byte character, or U+FFFD where the cell has none.
 */
LX_API extern const uint16_t gGBKToUnicodeTable[UCONV_GBK_TABLE_SIZE];

/*
 * UTF-16 -> GBK: lead * 256 + trail, or 0 where GBK has no character.  The
 * exact inverse of gGBKToUnicodeTable; U+3000 (found at A1A1 and A3A0) maps
 * to A1A1.  ASCII and U+20AC are 0: they become single bytes.
 */
LX_API extern const uint16_t gUnicodeToGBKTable[UCONV_UNICODE_TABLE_SIZE];

/*
 * Entry i is 1 when U+0080 + i is a character that GBK encodes (U+01F9
 * excepted): its two-byte UTF-8 form is then also a plausible GBK pair.
 */
LX_API extern const uint16_t gPsedoUtf8[UCONV_PSEUDO_UTF8_SIZE];

/*
 * Converts `src_length` bytes of GBK into at most `dst_size` UTF-16 units.
 * NUL bytes are converted like any ASCII byte; an empty cell gives U+FFFD; a
 * lead byte that is the last input byte is dropped.  An invalid byte (0xFF, or
 * a lead byte with a bad trail byte; only that one byte is consumed): -1 if
 * `flags` has bit UCONV_INVCHAR_ERROR, U+FFFD if it has bit
 * UCONV_INVCHAR_REPLACE, else skipped.
 * Returns the number of units written (no terminator), or -1.
 */
LX_API int gbk_to_unicode(const char* src, uint32_t src_length, uint16_t* dst,
                          uint32_t dst_size, int flags);

/*
 * Converts `src_len` UTF-16 units into GBK in `dest` (`dst_size` bytes,
 * room for the terminating NUL included).  Units are converted one by one: a
 * surrogate has no GBK character.  For an unmappable unit `flags` is compared
 * as a whole value: UCONV_INVCHAR_ERROR returns -1; UCONV_INVCHAR_ENTITES
 * writes "&#xHHHH;" when it fits (else skips); UCONV_INVCHAR_REPLACE writes
 * `replace_char` (one byte if below 256, else two, high byte first); any other
 * value skips.
 * Returns the number of bytes before the terminating NUL, or -1.
 */
LX_API int unicode_to_gbk(const uint16_t* src, uint32_t src_len, char* dest,
                          uint32_t dst_size, int flags, uint16_t replace_char);

/*
 * Converts `src_len` bytes of GBK into NUL-terminated UTF-8.  `dst_size`
 * must be at least (src_len / 2) * 3 + 1, else -1 is returned and nothing is
 * written; text with many single-byte characters may still be cut short.  NUL
 * input bytes are dropped.  An invalid byte: -1 if `flags` has bit
 * UCONV_INVCHAR_ERROR, skipped if `flags` is 0, else written as U+FFFD.
 * Returns the number of bytes before the terminating NUL, or -1.
 */
LX_API int gbk_to_utf8(const char* src, uint32_t src_len, char* dst,
                       uint32_t dst_size, int flags);

/*
 * Converts `src_len` bytes of UTF-8 into NUL-terminated GBK.  `dst_size` must
 * be at least `src_len` (else -1, nothing written).  Decoding is lenient:
 * stray continuation bytes and 0xFE/0xFF are dropped under every flag value,
 * bytes after a lead byte are taken as its continuation without checking,
 * overlong forms are accepted (C0 80 gives a NUL byte) and a truncated last
 * sequence is dropped.  An unmappable character: "&#xH...;" if `flags` has
 * bit UCONV_INVCHAR_ENTITES (the walk ends if it does not fit), else -1 if
 * it has bit UCONV_INVCHAR_ERROR, else skipped.
 * Returns the number of bytes before the terminating NUL, or -1.
 */
LX_API int utf8_to_gbk(const char* src, uint32_t src_len, char* dst,
                       uint32_t dst_size, int flags);

/*
 * Tells whether the NUL-terminated `src` is UTF-8.  The scan stops at the
 * NUL; `len`, the caller's length of the string, is used only to judge the
 * result.  Returns 0 for text that is not UTF-8, pure ASCII, or made only of
 * two-byte sequences that GBK would read as well (see gPsedoUtf8); else the
 * number of bytes that form complete UTF-8 characters.  With
 * `check_last_char` non-zero a sequence cut by the end of the string within
 * its last four bytes is tolerated and the complete prefix is counted.
 */
LX_API int is_utf8(const char* src, uint32_t len, int check_last_char);

/* 1 if the NUL-terminated `src` is valid GBK (a final lone lead byte is
 * allowed), 0 if not or if it is null or empty.  Same as is_gbk(). */
LX_API int uconv_is_gbk(const char* src);

/* As uconv_is_gbk() but looks at no more than `length` bytes; a lead byte
 * that is the last of them is accepted as a final lone lead byte. */
LX_API int uconv_is_gbk_n(const char* src, int length);

#ifdef __cplusplus
} /* extern "C" */

/* C++ name of uconv_is_gbk(). */
LX_API int is_gbk(const char* src);
#endif

#endif /* LX_CHARSET_H */
