/*
 * LXPub.h - public types of the LXWordSeg Chinese word segmentation library:
 * mode flags, out modes, part-of-speech identifiers and result records.
 *
 * The exported functions are declared in LXSegFunc.h, which includes this file.
 * Both headers serve C (C99 and later) and C++ alike; the records have the
 * same layout in both.
 *
 * All strings handed out by the library are GBK unless the text was segmented
 * as UTF-8 and the word is read through a word-by-word reader (see
 * LXSegFunc.h, "Characters and spans").  Every `word` pointer in a record points into buffers owned by
 * the segmentation handle and stays valid until the next LXSegment() on that
 * handle or until LXCloseSegHandle().
 */
#ifndef LX_PUB_H
#define LX_PUB_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifndef LX_API
#define LX_API __attribute__((visibility("default")))
#endif

/* An opaque segmentation handle, made by LXCreateSegHandle(). */
typedef void* HANDLE;

/*
 * Mode flags: or-ed together into the argument of LXCreateSegHandle().  The
 * mode of a handle is fixed when it is created.
 */
enum {
  LX_ENGU = 0x1,        /* split mixed letter-and-digit strings and web addresses */
  LX_GU = 0x2,          /* output a number with its unit as two tokens */
  LX_POS = 0x4,         /* tag parts of speech; tokens carry their tags */
  LX_USR = 0x8,         /* match the custom dictionaries; custom tokens and phrases */
  LX_S2D = 0x10,        /* normalise full-width ASCII to half-width */
  LX_U2L = 0x20,        /* output words from the lower-cased text */
  LX_CLS = 0x40,        /* kept for compatibility; no effect */
  LX_RUL = 0x80,        /* kept for compatibility; no effect */
  LX_CN = 0x100,        /* recognise person names */
  LX_T2S = 0x200,       /* convert traditional to simplified characters */
  LX_PGU = 0x400,       /* split person names into surname and given name */
  LX_LGU = 0x800,       /* split location names before their suffix */
  LX_SGU = 0x1000,      /* output dictionary words with sub-words as their sub-words */
  LX_CUT = 0x2000,      /* no language-model score for the first word of a sentence */
  LX_TEXT = 0x4000,     /* kept for compatibility (meaningful only with LX_CN); no effect */
  LX_CONV = 0x8000,     /* keep full-width separators full-width under LX_S2D */
  LX_WMUL = 0x10000,    /* output words with two segmentations in both */
  LX_PMUL = 0x20000,    /* keep ambiguous phrases whole and output them in both segmentations */
  LX_ASC = 0x40000,     /* ASCII mode of the factoid recognizer, for every handle */
  LX_SECPOS = 0x80000,  /* map output tags to coarser tags */
  LX_GBK = 0x100000,    /* charset argument of LXSegment(): the text is GBK */
  LX_UTF8 = 0x200000,   /* charset argument of LXSegment(): the text is UTF-8 */
  LX_NEW_RES = 0x400000, /* produce thick (coarse) tokens */
  LX_SYN = 0x800000,    /* kept for compatibility; no effect */
  LX_LN = 0x1000000,    /* recognise location names */
  LX_WGU = 0x2000000,   /* output words with two segmentations in their first one */
  LX_COARSE = 0x4000000, /* coarse units: full names, numeral + measure, dates, organisations */
  LX_ORIG = 0x8000000   /* words as the caller wrote them (see LXSegFunc.h) */
};

/* What the word-by-word readers index; see LXSetOutMode(). */
typedef enum {
  OUT_WORD = 1,      /* the output words (any value other than 2 and 3 acts so) */
  OUT_PHRASE = 2,    /* the output phrases */
  OUT_SUBPHRASE = 3  /* the custom phrases */
} OutMode;

/* Part-of-speech identifiers; LXPosId2Str() gives their tag strings. */
enum {
  LX_UNK = 0,
  LX_A = 1, LX_AD = 2, LX_AN = 3, LX_B = 4, LX_C = 5, LX_D = 6, LX_E = 7,
  LX_F = 8, LX_G = 9, LX_H = 10, LX_I = 11, LX_J = 12, LX_K = 13, LX_L = 14,
  LX_M = 15, LX_N = 16, LX_NR = 17, LX_NRF = 18, LX_NRG = 19, LX_NS = 20,
  LX_NT = 21, LX_NZ = 22, LX_NX = 23, LX_O = 24, LX_P = 25, LX_Q = 26,
  LX_R = 27, LX_S = 28, LX_T = 29, LX_U = 30, LX_V = 31, LX_VD = 32,
  LX_VN = 33, LX_W = 34, LX_X = 35, LX_Y = 36, LX_Z = 37, LX_AG = 38,
  LX_BG = 39, LX_DG = 40, LX_MG = 41, LX_NG = 42, LX_QG = 43, LX_RG = 44,
  LX_TG = 45, LX_VG = 46, LX_YG = 47, LX_ZG = 48,
  LX_SOS = 49,   /* sentence start of the tagging model; no tag string of its own */
  LX_WWW = 50, LX_TELE = 51, LX_EMAIL = 52,
  LX_EOS = 55    /* sentence end of the tagging model; no tag string of its own */
};

/* A fine-grained token.  `word` is not NUL-terminated; `wlen` is its length. */
typedef struct _token_t {
  const char* word;
  uint8_t pos;    /* POS identifier, 0 when no tag applies */
  size_t wlen;    /* length of `word` in bytes */
  uint8_t wtype;  /* 0 plain; 1 and 2 for the first and second segmentation of a word output in both */
} token_t;

/* A thick token, a custom word or a custom phrase, spanning fine tokens sidx..eidx. */
typedef struct _comb_token_t {
  const char* word;
  uint8_t pos;
  size_t wlen;
  int32_t cls;   /* class index of the custom dictionary */
  size_t sidx;   /* index of the first fine token covered */
  size_t eidx;   /* index of the last fine token covered */
} comb_token_t;

/* The whole result of one LXSegment() call, filled by LXGetAllSegInfo(). */
typedef struct _seg_tokens_t {
  token_t* fine_grain_seg_tokens;
  size_t fine_grain_tokens_num;
  comb_token_t* thick_seg_tokens;
  size_t thick_seg_tokens_num;
  comb_token_t* custom_defined_tokens;
  size_t custom_tokens_num;
  comb_token_t* custom_defined_phrases;
  size_t custom_phrases_num;
  comb_token_t* synonym_tokens;  /* left as the caller set it */
  size_t synonym_tokens_num;
} seg_tokens_t;

/* A word with its tag and class, as LXGetAt() returns it.  `word` is NUL-terminated. */
typedef struct wordpos {
  const char* word;
  int32_t pos;
  bool bcw;     /* the word comes from a custom dictionary */
  int32_t cls;  /* class index, for LXGetClsAt() */
} WP, *pWP;

/* A word with its segmentation index, as LXMSGetWordAt() returns it. */
typedef struct _ms_word_t {
  char* word;
  int32_t idx;  /* the token's wtype: 0 plain, 1 or 2 for a word output in two segmentations */
} ms_word_t, *p_ms_word_t;

/* A word with tag, class and segmentation index, as LXMSGetAt() returns it. */
typedef struct _ms_wp_t {
  char* word;
  int32_t pos;
  bool bcw;
  int32_t cls;
  int32_t idx;
} ms_wp_t, *p_ms_wp_t;

#endif /* LX_PUB_H */
