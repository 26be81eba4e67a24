/*
 * LXSegFunc.h - the exported functions of the LXWordSeg library.
 *
 * Calling order: LXInitSeg() once per process; then any number of
 * LXCreateSegHandle(); per text LXSegment() followed by result reads;
 * LXCloseSegHandle() for each handle; LXUnInitSeg() last.
 *
 * Thread safety.  Separate handles may segment and be read in separate
 * threads; a handle must not be used by two threads at once.  Every reader,
 * LXGetClsAt() included, answers from the handle it is given (with a null
 * handle, LXGetClsAt() keeps its text per thread).  LXChangeUserDict() may be
 * called at any time, while other threads create, use and close handles and
 * segment.  LXInitSeg() and LXUnInitSeg() may run while other threads
 * segment, but not at the same time as each other or as LXChangeUserDict().
 * LXSetPKUMode() and creating a handle with LX_ASC switch the shared factoid
 * recognizer and must not overlap with segmentation on any handle.
 *
 * Resource lifetime.  The resources and the user dictionary are published as
 * a whole: LXInitSeg() loads a complete new set aside and puts it in place
 * of the old one only when every file loaded; when it fails, the set loaded
 * before (or none) stays in use.  LXChangeUserDict() builds the new user
 * dictionary aside and then puts it in place.  Each LXSegment() takes the
 * set and the user dictionary in place at its start and the handle keeps
 * them until its next LXSegment() or LXCloseSegHandle(), so a replaced set
 * is freed only when no handle holds it any more; while none is in place
 * LXSegment() returns false.  Results read from a handle, class names
 * included, belong to the handle and stay readable until its next
 * LXSegment() or LXCloseSegHandle().  PKU mode and the ASCII mode of live
 * LX_ASC handles carry over to a set loaded later.
 *
 * Characters and spans.  The segmenter works on GBK; UTF-8 text is read
 * character by character, and nothing of it is lost.  A character that GBK
 * lacks joins the word it belongs to or stands as a token of its own: a
 * letter or digit of any script joins the letters around it into one word
 * (tag nx), as ASCII letters do; an emoji, with its modifiers, variation
 * selector, keycap, the emoji that zero width joiners join to it, or a pair of
 * regional indicators (a flag), is one token tagged w, as is any other
 * symbol (including the euro sign and U+00A5); a CJK ideograph outside GBK is
 * a one-character word; a space or line separator separates like a blank or
 * a line feed; a combining mark stays with the character before it (after
 * a blank, a control character or a line separator it is a symbol of its
 * own).  Each
 * byte that is not well-formed UTF-8 is a token of its own, read back as
 * U+FFFD (with LX_ORIG: the byte itself).  The word-by-word readers return
 * these characters exactly as the text had them.  LXGetAllSegInfo's arrays
 * stay GBK: there a character that GBK lacks reads as the GBK letter "a"
 * (letters), the user-defined character FE FE (ideographs), a blank or line
 * feed (separators) or "〓" (A1 FE: symbols, emoji, invalid bytes), and
 * marks are left out.  LXGetSpanAt() and LXGetTokenSpan() give where each
 * record and each fine token lies in the caller's text.
 *
 * Original form (LX_ORIG).  Words come out as the caller wrote them, in the
 * caller's charset, while LX_S2D, LX_T2S and LX_U2L still drive the
 * analysis: "臺灣的經濟" under LX_T2S is segmented as simplified text and
 * returned in traditional characters; full-width text stays full-width.
 * With LX_ORIG the words of LXGetWordAt() in order (less the second
 * segmentation that LX_WMUL and LX_PMUL add: idx 2 of LXMSGetWordAt()) spell the
 * text exactly; LXGetAllSegInfo's arrays hold the text before normalisation
 * (GBK).  The words stay valid after the caller has freed its text: the
 * library copies what it returns.
 *
 * Failures.  No function lets an exception out: a failure (including
 * running out of memory) is reported as false, null or 0, and functions
 * without a result leave the state as it was.  A null handle is accepted by
 * every function.
 */
#ifndef LX_SEG_FUNC_H
#define LX_SEG_FUNC_H

#include "LXPub.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The data directory as given to LXInitSeg() (at most 255 characters). */
LX_API extern char szDataDirPath[256];

/*
 * Loads the shared resources from `lpszDataDirPath` and, when all of them
 * loaded, puts them in place of any loaded before and builds the user
 * dictionary from its "CustomWord" directory (true).  Otherwise the first
 * file that failed is named on stderr, and the resources and user dictionary
 * in place before stay (false).
 */
LX_API bool LXInitSeg(const char* lpszDataDirPath);

/* Frees the shared resources and the user dictionary. */
LX_API void LXUnInitSeg(void);

/*
 * Creates a segmentation handle with the mode flags `iResultMode` (LX_*);
 * null when memory runs out.  A handle created before LXInitSeg() succeeded
 * cannot segment until it does.
 */
LX_API HANDLE LXCreateSegHandle(int iResultMode);

/* Destroys a handle; a null handle is ignored. */
LX_API void LXCloseSegHandle(HANDLE hHandle);

/*
 * Segments `nTextLen` bytes of `lpText` (0: the text is NUL-terminated) in the
 * charset `nCharSet` (LX_GBK; any other value is UTF-8).  A null text returns
 * true and keeps the previous results.  False for a null handle, when no
 * resources are loaded, for a text of 0xFFFFD8EE bytes or more (positions
 * inside are 32-bit; the previous results are kept), or when a sentence
 * fails (what was segmented before stays readable).  False too when memory
 * runs out anywhere in the call; the handle stays usable, and a later call
 * with enough memory gives the normal result.
 *
 * Memory.  The handle holds the whole result of the text until its next
 * LXSegment() and keeps that storage for later calls until
 * LXCloseSegHandle().  Each fine token costs about 40 bytes (its record, its
 * span and a copy of its word; with LX_NEW_RES or LX_USR the thick tokens,
 * custom words and phrases add 48 bytes each), and the arrays grow by half
 * at a time.  Chinese text gives about one token per three GBK bytes, a text
 * of one-byte tokens (zero bytes, say) one per byte; UTF-8 text needs, in
 * addition, about 7 bytes per input byte for its GBK form, the offsets of
 * its characters and a copy of it.  Measured peaks beyond the resources
 * (which take about 50 MB): 10 MB of GBK Chinese without punctuation about
 * 135 MB, 100 MB about 1.4 GB, 100 MB of zero bytes about 4.4 GB.  Long
 * texts are best segmented a line or a paragraph at a time: the cost then
 * follows the longest piece rather than the whole text.
 */
LX_API bool LXSegment(HANDLE hHandle, const char* lpText, size_t nTextLen, size_t nCharSet);

/* Number of entries of the list selected by the out mode. */
LX_API int LXGetResultCnt(HANDLE hHandle);

/*
 * The word at `index` of the list selected by the out mode, or null for an
 * index outside 0 .. LXGetResultCnt() - 1.  The record readers below answer
 * the same way.
 */
LX_API const char* LXGetWordAt(HANDLE hHandle, int index);

/* The word at `index` with its tag and class, or null. */
LX_API pWP LXGetAt(HANDLE hHandle, int index);

/*
 * The byte span, in the text passed to the last LXSegment(), of the record
 * that LXGetAt() / LXGetWordAt() return at `index` under the current out
 * mode: `*begin` is its offset and `*length` its length (GBK offsets for GBK
 * text).  A custom word or phrase spans its first to its last fine token.
 * False for a null handle or argument, or an index outside the list.
 */
LX_API bool LXGetSpanAt(HANDLE hHandle, int index, size_t* begin, size_t* length);

/*
 * The same for fine token `index` of LXGetAllSegInfo() (thick, custom and
 * phrase tokens span their sidx .. eidx fine tokens).  The fine tokens, with
 * their separators, follow each other and cover the whole text; only the
 * second segmentation that LX_WMUL and LX_PMUL add (wtype 1 and 2) repeats
 * bytes, and each of its tokens spans the bytes it repeats.
 */
LX_API bool LXGetTokenSpan(HANDLE hHandle, size_t index, size_t* begin, size_t* length);

/* The word at `index` with its segmentation index, or null. */
LX_API p_ms_word_t LXMSGetWordAt(HANDLE hHandle, int index);

/* The word at `index` with tag, class and segmentation index, or null. */
LX_API p_ms_wp_t LXMSGetAt(HANDLE hHandle, int index);

/*
 * Fills the first four array/count pairs of `seg_tokens` with the last result.
 * C++ takes the record by reference; C passes its address.  Both name the
 * same function: a reference is passed as a pointer.
 */
#ifdef __cplusplus
LX_API void LXGetAllSegInfo(HANDLE hHandle, seg_tokens_t& seg_tokens);
#else
LX_API void LXGetAllSegInfo(HANDLE hHandle, seg_tokens_t* seg_tokens);
#endif

/* Number of classes of the custom-dictionary class value `cls`. */
LX_API int LXGetClsNum(HANDLE hHandle, int cls);

/*
 * Class names of the class value `cls`, joined with "|", from the user
 * dictionary the handle last segmented with (null handle: the one in place);
 * see LXGetClsNum().  The text stays valid until the next call on the handle,
 * its next LXSegment() or LXCloseSegHandle() (null handle: the thread's next
 * call).
 */
LX_API const char* LXGetClsAt(HANDLE hHandle, int cls, int idx);

/*
 * Selects the list that the word-by-word readers index (OutMode); any value
 * other than OUT_PHRASE and OUT_SUBPHRASE selects OUT_WORD.
 */
LX_API void LXSetOutMode(HANDLE hHandle, OutMode outMode);

/*
 * Replaces the user dictionary by the one built from the "CustomWord"
 * directory `sUserDict` (the system custom dictionary is still looked for in
 * the data directory).  A null path changes nothing.
 */
LX_API void LXChangeUserDict(const char* sUserDict);

/*
 * Converts `wlen` bytes of GBK text at `word` to UTF-8 in the handle's
 * conversion buffer and points `word`/`wlen` at the result, which stays valid
 * until the next conversion or LXSegment() on the handle.  C++ passes `word`
 * and `wlen` by reference, C passes their addresses (the same function).
 */
#ifdef __cplusplus
LX_API void LXConvertWordCharsetToUTF8(HANDLE hHandle, const char*& word, size_t& wlen);
#else
LX_API void LXConvertWordCharsetToUTF8(HANDLE hHandle, const char** word, size_t* wlen);
#endif

/* Writes the tag string of `idPos` into `strPos` (at least 6 bytes). */
LX_API void LXPosId2Str(int idPos, char* strPos, int nBufsize);

/*
 * Switches the shared factoid recognizer to PKU mode until LXUnInitSeg()
 * (LXInitSeg() again keeps it).
 */
LX_API void LXSetPKUMode(HANDLE hHandle);

#ifdef __cplusplus
}  /* extern "C" */
#endif

#endif /* LX_SEG_FUNC_H */
