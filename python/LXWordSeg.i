/*
 * LXWordSeg.i - the Python extension module _LXWordSeg, generated from the
 * public headers LXPub.h and LXSegFunc.h.
 *
 * Built with "swig -c++ -python -noproxy": the extension is the whole module
 * (no Python shim), and every function, record accessor and constant lives in
 * _LXWordSeg itself.  The typemaps below make the boundary safe to use from a
 * script: bytes in and bytes out, None for null pointers, handles that cannot
 * be confused with records, records that Python frees only when it made them,
 * and no call that can read or write outside a buffer the script handed in.
 */

%module _LXWordSeg

%begin %{
/* char* arguments take bytes only (a str raises TypeError) and char* results
 * are bytes. */
#define SWIG_PYTHON_STRICT_BYTE_CHAR
%}

%{
/* The module docstring. */
static const char lx_module_doc[] =
    "_LXWordSeg - Chinese word segmentation (the LXWordSeg C interface).\n"
    "\n"
    "Every function, record and constant of LXPub.h / LXSegFunc.h is here under\n"
    "its C name.  Text goes in and comes out as bytes, never re-encoded: pass\n"
    "GBK or UTF-8 and tell LXSegment which (LX_GBK, the default, or LX_UTF8).\n"
    "A str where bytes are expected raises TypeError; a null string is None.\n"
    "\n"
    "    import _LXWordSeg as lx\n"
    "    lx.LXInitSeg(b'/path/to/resources')\n"
    "    h = lx.LXCreateSegHandle(lx.LX_POS)\n"
    "    lx.LXSegment(h, text_gbk)                    # length=0, charset=LX_GBK\n"
    "    words = [lx.LXGetWordAt(h, i) for i in range(lx.LXGetResultCnt(h))]\n"
    "    st = lx.new_seg_tokens_t()\n"
    "    lx.LXGetAllSegInfo(h, st)\n"
    "    for i in range(lx.seg_tokens_t_fine_grain_tokens_num_get(st)):\n"
    "        t = lx.seg_tokens_t_fine_grain_seg_tokens_at(st, i)\n"
    "        print(lx.token_t_word_get(t), lx.token_t_pos_get(t))\n"
    "    lx.LXCloseSegHandle(h)\n"
    "    lx.LXUnInitSeg()\n"
    "\n"
    "Records: token_t, comb_token_t, seg_tokens_t, WP, ms_word_t, ms_wp_t, each\n"
    "with new_X(), delete_X(r), X_<field>_get(r) and X_<field>_set(r, v).\n"
    "Records made by new_X are owned by the script and freed by delete_X or by\n"
    "garbage collection; records returned by the library (LXGetAt, LXMSGetWordAt,\n"
    "LXMSGetAt, the token arrays) are borrowed and delete_X refuses them.  A\n"
    "string field setter stores its own copy of the bytes and frees the copy it\n"
    "stored before (never a string of the library).\n"
    "\n"
    "Helpers for the pointer arguments:\n"
    "  seg_tokens_t_<array>_at(st, i)     element i of fine_grain_seg_tokens,\n"
    "      thick_seg_tokens, custom_defined_tokens, custom_defined_phrases or\n"
    "      synonym_tokens (IndexError beyond the matching *_num field)\n"
    "  new_charpp(), charpp_assign(p, b), charpp_value(p), delete_charpp(p)\n"
    "  new_size_tp(n=0), size_tp_assign(p, n), size_tp_value(p), delete_size_tp(p)\n"
    "      for LXConvertWordCharsetToUTF8(h, charpp, size_tp):\n"
    "          w = new_charpp(); charpp_assign(w, gbk_bytes)\n"
    "          n = new_size_tp(len(gbk_bytes))\n"
    "          LXConvertWordCharsetToUTF8(h, w, n)\n"
    "          utf8 = charpp_value(w)              # size_tp_value(n) bytes\n"
    "  new_char_buffer(size), char_buffer_value(buf), delete_char_buffer(buf)\n"
    "      for LXPosId2Str(pos_id, buf, size); a bytearray works as well:\n"
    "          b = bytearray(8); LXPosId2Str(LX_NR, b, len(b))\n"
    "  segment_tokens(handle, text, fields, normalised, token_type)\n"
    "      segments the str `text` in one call and returns every word, blanks\n"
    "      included: as str (fields 0), (word, tag) (1) or token_type(word, tag,\n"
    "      start, end, classes) (2), start and end counting characters; the\n"
    "      words are the text's, or the library's when `normalised`.  The\n"
    "      package lxwordseg is built on it.\n"
    "\n"
    "What a caller must not do (the library cannot detect it):\n"
    "  * use a record, token array or seg_tokens_t filled from a handle after the\n"
    "    next LXSegment on that handle, after LXCloseSegHandle or LXUnInitSeg;\n"
    "  * use any handle after LXUnInitSeg (close the handles first);\n"
    "  * keep using a record after delete_X, or a record whose pointer was\n"
    "    stored in another record's field after deleting it;\n"
    "  * set a *_num field of a seg_tokens_t larger than its array, or a wlen\n"
    "    larger than the string it describes.\n"
    "A closed handle passed again raises ValueError, unless a new handle has\n"
    "since been created at the same address, in which case it is that handle.\n"
    "\n"
    "LXInitSeg, LXSegment and segment_tokens release the interpreter lock while\n"
    "they work.  __version__ is the library's version.";
%}

%{
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "LXSegFunc.h"

/* The type under which handles are wrapped, so that no other wrapped pointer
 * (a record, a buffer) can be passed where a handle is expected. */
struct LXSegHandle;

namespace {

/* Handles made by LXCreateSegHandle and not closed yet. */
std::set<const void*>& lx_open_handles() {
  static std::set<const void*> handles;
  return handles;
}

/* Strings allocated by the field setters and charpp_assign.  Only these are
 * freed when a field is overwritten or its record deleted: a field may also
 * hold a pointer into a handle's buffers, which the library owns. */
std::set<const char*>& lx_owned_strings() {
  static std::set<const char*> strings;
  return strings;
}

/* Buffers of new_char_buffer with their sizes. */
std::map<const char*, size_t>& lx_char_buffers() {
  static std::map<const char*, size_t> buffers;
  return buffers;
}

void lx_release_string(const char* s) {
  if (s != nullptr && lx_owned_strings().erase(s) != 0) delete[] s;
}

/* Stores a copy of `value` in `*field` and frees the previous copy. */
template <typename CharPtr>
void lx_set_string(CharPtr* field, const char* value) {
  char* copy = nullptr;
  if (value != nullptr) {
    const size_t n = std::strlen(value) + 1;
    copy = new char[n];
    std::memcpy(copy, value, n);
    lx_owned_strings().insert(copy);
  }
  lx_release_string(*field);
  *field = copy;
}

}  // namespace
%}

/* ---- Errors raised by helper code: a helper sets a Python error and
 * returns; the wrapper turns it into an exception. */
%exception {
  $action
  if (PyErr_Occurred()) SWIG_fail;
}

%include <stdint.i>

/* ---- Strings ---------------------------------------------------------- */

/* NUL-terminated string arguments: bytes (or a wrapped char pointer, or None
 * for a null pointer).  Bytes with an embedded NUL would be cut short
 * silently, so they are refused. */
%typemap(in, noblock=1) const char * (int res, char *buf = 0, int alloc = 0) {
  res = SWIG_AsCharPtrAndSize($input, &buf, NULL, &alloc);
  if (!SWIG_IsOK(res)) {
    %argument_fail(res, "$type", $symname, $argnum);
  }
  if (buf && PyBytes_Check($input) && std::strlen(buf) != (size_t)PyBytes_GET_SIZE($input)) {
    SWIG_exception_fail(SWIG_ValueError, "in method '" "$symname" "', argument " "$argnum" " contains a null byte");
  }
  $1 = ($1_ltype)buf;
}
%typemap(freearg, noblock=1) const char * {
  if (alloc$argnum == SWIG_NEWOBJ) delete[] buf$argnum;
}

/* The text of LXSegment may hold any bytes; its length argument is checked
 * against the bytes object (or the module's buffer) so that the library never
 * reads past it. */
%typemap(in, noblock=1) const char *text (int res, char *buf = 0, int alloc = 0, Py_ssize_t lx_avail = -1) {
  res = SWIG_AsCharPtrAndSize($input, &buf, NULL, &alloc);
  if (!SWIG_IsOK(res)) {
    %argument_fail(res, "$type", $symname, $argnum);
  }
  if (PyBytes_Check($input)) {
    lx_avail = PyBytes_GET_SIZE($input);
  } else if (buf) {
    /* A wrapped pointer: the module's own buffers have a known size. */
    std::map<const char*, size_t>::const_iterator it = lx_char_buffers().find(buf);
    if (it != lx_char_buffers().end()) lx_avail = (Py_ssize_t)it->second;
  }
  $1 = ($1_ltype)buf;
}
%typemap(check, noblock=1) size_t length {
  if (lx_avail2 >= 0 && $1 > (size_t)lx_avail2) {
    SWIG_exception_fail(SWIG_ValueError, "in method '" "$symname" "', argument " "$argnum" " is larger than the text");
  }
}

/* The string fields of ms_word_t and ms_wp_t are char *: same rules. */
%apply const char * { char *word };

/* String fields: the setter stores its own copy (see lx_set_string). */
%typemap(memberin, noblock=1) const char *word, char *word {
  lx_set_string(&$1, $input);
}

/* The output buffer of LXPosId2Str: a buffer of new_char_buffer or a
 * bytearray (both writable and of known size), or None.  A bytes object is
 * immutable and is refused. */
%typemap(in, noblock=1) char *strPos (void *argp = 0, int res = 0, Py_ssize_t lx_cap = -1) {
  if (PyByteArray_Check($input)) {
    $1 = PyByteArray_AS_STRING($input);
    lx_cap = PyByteArray_GET_SIZE($input);
  } else {
    res = SWIG_ConvertPtr($input, &argp, $descriptor(char *), 0);
    if (!SWIG_IsOK(res)) {
      %argument_fail(res, "$type", $symname, $argnum);
    }
    $1 = (char *)argp;
    if ($1) {
      std::map<const char*, size_t>::const_iterator it = lx_char_buffers().find($1);
      if (it == lx_char_buffers().end()) {
        SWIG_exception_fail(SWIG_ValueError, "in method '" "$symname" "', argument " "$argnum" " is not a buffer of new_char_buffer");
      }
      lx_cap = (Py_ssize_t)it->second;
    }
  }
}
%typemap(check, noblock=1) int nBufsize {
  if (lx_cap2 >= 0 && $1 > lx_cap2) {
    SWIG_exception_fail(SWIG_ValueError, "in method '" "$symname" "', argument " "$argnum" " is larger than the buffer");
  }
}

/* ---- Handles ---------------------------------------------------------- */

%typemap(in, noblock=1) HANDLE (void *argp = 0, int res = 0) {
  res = SWIG_ConvertPtr($input, &argp, $descriptor(LXSegHandle *), 0);
  if (!SWIG_IsOK(res)) {
    %argument_fail(res, "HANDLE", $symname, $argnum);
  }
  if (argp && lx_open_handles().count(argp) == 0) {
    SWIG_exception_fail(SWIG_ValueError, "in method '" "$symname" "', argument " "$argnum" " is a closed handle");
  }
  $1 = argp;
}
%typemap(out, noblock=1) HANDLE {
  if ($1) lx_open_handles().insert($1);
  $result = SWIG_NewPointerObj($1, $descriptor(LXSegHandle *), SWIG_POINTER_NOSHADOW);
}
%feature("action") LXCloseSegHandle {
  if (arg1) lx_open_handles().erase(arg1);
  LXCloseSegHandle(arg1);
}

/* The segmentation itself runs without the global interpreter lock, so that
 * threads with handles of their own segment in parallel; so does the slow
 * LXInitSeg. */
%feature("action") LXInitSeg {
  Py_BEGIN_ALLOW_THREADS
  result = LXInitSeg(arg1);
  Py_END_ALLOW_THREADS
}

/* ---- Records ---------------------------------------------------------- */

/* Returned pointers are plain wrapped pointers (there are no proxy classes);
 * they are owned only where the function makes a new object. */
%typemap(out, noblock=1) SWIGTYPE * {
  $result = SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor, $owner | SWIG_POINTER_NOSHADOW);
}

/* The record of an accessor must not be None.  A destructor releases only
 * what the script owns, and clears the wrapped pointer so that a second
 * delete (or the garbage collector) does not free it again. */
%typemap(in, noblock=1) SWIGTYPE *self (void *argp = 0, int res = 0) {
  res = SWIG_ConvertPtr($input, &argp, $descriptor, (($disown | 0) ? SWIG_POINTER_RELEASE : 0));
  if (res == SWIG_ERROR_RELEASE_NOT_OWNED) {
    SWIG_exception_fail(SWIG_ValueError, "in method '" "$symname" "', argument " "$argnum" " of type '" "$type" "' is not owned by the script");
  }
  if (!SWIG_IsOK(res)) {
    %argument_fail(res, "$type", $symname, $argnum);
  }
  if (!argp) {
    SWIG_exception_fail(SWIG_ValueError, "in method '" "$symname" "', argument " "$argnum" " of type '" "$type" "' is None");
  }
  $1 = ($ltype)argp;
}

/* Arguments of the helper destructors: released like the records. */
%typemap(in) SWIGTYPE *lx_release, char *lx_release, size_t *lx_release,
    const char **lx_release {
  void *lx_p = 0;
  int lx_res = SWIG_ConvertPtr($input, &lx_p, $descriptor, SWIG_POINTER_RELEASE);
  if (lx_res == SWIG_ERROR_RELEASE_NOT_OWNED) {
    SWIG_exception_fail(SWIG_ValueError, "in method '" "$symname" "', argument " "$argnum" " of type '" "$type" "' is not owned by the script");
  }
  if (!SWIG_IsOK(lx_res)) {
    %argument_fail(lx_res, "$type", $symname, $argnum);
  }
  $1 = ($ltype)lx_p;
}

/* Destructors free the string a setter stored. */
%extend _token_t { ~_token_t() { lx_release_string($self->word); delete $self; } }
%extend _comb_token_t { ~_comb_token_t() { lx_release_string($self->word); delete $self; } }
%extend wordpos { ~wordpos() { lx_release_string($self->word); delete $self; } }
%extend _ms_word_t { ~_ms_word_t() { lx_release_string($self->word); delete $self; } }
%extend _ms_wp_t { ~_ms_wp_t() { lx_release_string($self->word); delete $self; } }

/* ---- The public headers ----------------------------------------------- */

#define LX_API
%ignore szDataDirPath;
%ignore LXSegment;
%ignore LXConvertWordCharsetToUTF8;
/* LXGetSpanAt and LXGetTokenSpan answer (found, begin, length). */
%include <typemaps.i>
%apply size_t *OUTPUT { size_t* begin, size_t* length };

%include "LXPub.h"
%include "LXSegFunc.h"

/* LXSegment with the defaults of the scripting interface; keywords are
 * accepted for the optional arguments. */
%feature("compactdefaultargs") lx_py_segment;
%feature("kwargs") lx_py_segment;
%rename(LXSegment) lx_py_segment;
%rename(LXConvertWordCharsetToUTF8) lx_py_convert_word;
%newobject new_charpp;
%newobject new_size_tp;

/* A new char buffer is returned as a wrapped pointer, not as bytes. */
%typemap(out, noblock=1) char *new_char_buffer {
  $result = SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor(char *), SWIG_POINTER_OWN | SWIG_POINTER_NOSHADOW);
}

%{
namespace {
/* Helper arguments that must not be None: false with a ValueError set. */
bool lx_not_none(const void *p, const char *where) {
  if (p != nullptr) return true;
  PyErr_Format(PyExc_ValueError, "%s: argument is None", where);
  return false;
}
}  // namespace
%}

%inline %{
static bool lx_py_segment(HANDLE handle, const char *text, size_t length = 0,
                          size_t charset = LX_GBK) {
  bool ok;
  Py_BEGIN_ALLOW_THREADS
  ok = LXSegment(handle, text, length, charset);
  Py_END_ALLOW_THREADS
  return ok;
}

/* The library reads `*wlen` bytes at `*word`; every string a script can
 * point at is NUL-terminated, so a length that runs into the NUL would read
 * past the string and is refused. */
static void lx_py_convert_word(HANDLE hHandle, const char **word, size_t *wlen) {
  if (!lx_not_none(word, "LXConvertWordCharsetToUTF8") ||
      !lx_not_none(wlen, "LXConvertWordCharsetToUTF8"))
    return;
  if (*word == nullptr ? *wlen != 0 : strnlen(*word, *wlen) != *wlen) {
    PyErr_SetString(PyExc_ValueError, "LXConvertWordCharsetToUTF8: the length is larger than the word");
    return;
  }
  if (*word == nullptr) return;
  LXConvertWordCharsetToUTF8(hHandle, *word, *wlen);
}

/* Pointer cells for LXConvertWordCharsetToUTF8. */
static const char **new_charpp() {
  const char **p = new const char *;
  *p = nullptr;
  return p;
}
static void delete_charpp(const char **lx_release) {
  if (lx_release == nullptr) return;
  lx_release_string(*lx_release);
  delete lx_release;
}
static void charpp_assign(const char **p, const char *value) {
  if (lx_not_none(p, "charpp_assign")) lx_set_string(p, value);
}
static const char *charpp_value(const char **p) {
  return lx_not_none(p, "charpp_value") ? *p : nullptr;
}

static size_t *new_size_tp(size_t value = 0) { return new size_t(value); }
static void delete_size_tp(size_t *lx_release) { delete lx_release; }
static void size_tp_assign(size_t *p, size_t value) {
  if (lx_not_none(p, "size_tp_assign")) *p = value;
}
static size_t size_tp_value(size_t *p) { return lx_not_none(p, "size_tp_value") ? *p : 0; }

/* Zero-filled output buffers for LXPosId2Str. */
static char *new_char_buffer(size_t size) {
  if (size == 0) {
    PyErr_SetString(PyExc_ValueError, "new_char_buffer: the size must be positive");
    return nullptr;
  }
  char *b = new char[size]();
  lx_char_buffers()[b] = size;
  return b;
}
static void delete_char_buffer(char *lx_release) {
  if (lx_release == nullptr) return;
  lx_char_buffers().erase(lx_release);
  delete[] lx_release;
}

/* The bytes of a buffer up to its first NUL. */
static PyObject *char_buffer_value(char *buf) {
  std::map<const char*, size_t>::const_iterator it = lx_char_buffers().find(buf);
  if (it == lx_char_buffers().end()) {
    PyErr_SetString(PyExc_ValueError, "char_buffer_value: not a buffer of new_char_buffer");
    return nullptr;
  }
  return PyBytes_FromStringAndSize(buf, (Py_ssize_t)strnlen(buf, it->second));
}
%}

/* Element access to the arrays of a seg_tokens_t, bounded by its counts. */
%define LX_ARRAY_AT(FIELD, COUNT, TYPE)
%inline %{
static TYPE *seg_tokens_t_##FIELD##_at(seg_tokens_t *st, size_t index) {
  if (!lx_not_none(st, "seg_tokens_t_" #FIELD "_at")) return nullptr;
  if (st->FIELD == nullptr || index >= st->COUNT) {
    PyErr_SetString(PyExc_IndexError, "seg_tokens_t_" #FIELD "_at: index out of range");
    return nullptr;
  }
  return &st->FIELD[index];
}
%}
%enddef
LX_ARRAY_AT(fine_grain_seg_tokens, fine_grain_tokens_num, token_t)
LX_ARRAY_AT(thick_seg_tokens, thick_seg_tokens_num, comb_token_t)
LX_ARRAY_AT(custom_defined_tokens, custom_tokens_num, comb_token_t)
LX_ARRAY_AT(custom_defined_phrases, custom_phrases_num, comb_token_t)
LX_ARRAY_AT(synonym_tokens, synonym_tokens_num, comb_token_t)

%{
namespace {

/* There is no proxy class to carry the destructors, so the module tells
 * the SWIG runtime itself which function frees an owned object of each type
 * when the garbage collector drops it. */
void lx_register_destructor(PyObject *dict, swig_type_info *type, const char *name) {
  PyObject *fn = PyDict_GetItemString(dict, name);
  if (fn == nullptr || type == nullptr || type->clientdata != nullptr) return;
  SwigPyClientData *data = static_cast<SwigPyClientData *>(std::calloc(1, sizeof(SwigPyClientData)));
  if (data == nullptr) return;
  Py_INCREF(fn);
  data->destroy = fn;
  data->delargs = 0; /* the functions are METH_O */
  SWIG_TypeClientData(type, data);
}

}  // namespace
%}

%init %{
  lx_register_destructor(d, SWIGTYPE_p__token_t, "delete_token_t");
  lx_register_destructor(d, SWIGTYPE_p__comb_token_t, "delete_comb_token_t");
  lx_register_destructor(d, SWIGTYPE_p__seg_tokens_t, "delete_seg_tokens_t");
  lx_register_destructor(d, SWIGTYPE_p_wordpos, "delete_WP");
  lx_register_destructor(d, SWIGTYPE_p__ms_word_t, "delete_ms_word_t");
  lx_register_destructor(d, SWIGTYPE_p__ms_wp_t, "delete_ms_wp_t");
  lx_register_destructor(d, SWIGTYPE_p_p_char, "delete_charpp");
  lx_register_destructor(d, SWIGTYPE_p_size_t, "delete_size_tp");
  lx_register_destructor(d, SWIGTYPE_p_char, "delete_char_buffer");
  {
    PyObject *version = PyUnicode_FromString(LX_PY_VERSION);
    if (version) {
      PyDict_SetItemString(d, "__version__", version);
      Py_DECREF(version);
    }
  }
  {
    PyObject *doc = PyUnicode_FromString(lx_module_doc);
    if (doc) {
      PyDict_SetItemString(d, "__doc__", doc);
      Py_DECREF(doc);
    }
  }
%}

/* ---- Segmentation in one call (the lxwordseg package) ------------------ */

%rename(segment_tokens) lx_py_tokens;

%{
#include <string>
#include <vector>

namespace {

/* A record of the word list, read while the interpreter lock is released. */
struct LxRecord {
  size_t begin, end;  /* code points in the caller's str */
  Py_UCS4 maxchar;    /* the largest of them */
  int pos;
  size_t cls;         /* 1 + index into the class names; 0: no custom word */
  size_t word, word_len;  /* the word the library returned, in LxCollected::words */
};

/* Everything one call reads from the handle. */
struct LxCollected {
  std::vector<LxRecord> records;
  std::vector<std::string> classes;
  bool library_words = false;  /* the words are those of the library, in `words` */
  std::string words;
};

/* Texts are segmented in pieces of at least this many bytes that end after a
 * line feed: a line feed ends a sentence anyway, and the memory a handle
 * holds follows the piece rather than the whole text. */
const size_t kLxPiece = 64 * 1024;

/* Code points in n bytes of well-formed UTF-8. */
size_t lx_count_cp(const char *p, size_t n) {
  size_t c = 0;
  for (size_t i = 0; i < n; ++i) c += (static_cast<unsigned char>(p[i]) & 0xC0) != 0x80;
  return c;
}

/* A str's characters, which may be read without the interpreter lock while
 * a reference is held: a str never changes. */
struct LxText {
  int kind;
  const void *data;
  size_t len;
};

/* Writes the UTF-8 form of the n characters at `s` to `out` (room for 4 bytes
 * a character) and returns its length, or SIZE_MAX at a surrogate. */
template <typename C>
size_t lx_encode(const C *s, size_t n, char *out) {
  char *o = out;
  for (size_t i = 0; i < n; ++i) {
    const Py_UCS4 c = s[i];
    if (c < 0x80) {
      *o++ = static_cast<char>(c);
    } else if (c < 0x800) {
      *o++ = static_cast<char>(0xC0 | (c >> 6));
      *o++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      if (c >= 0xD800 && c < 0xE000) return SIZE_MAX;
      *o++ = static_cast<char>(0xE0 | (c >> 12));
      *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *o++ = static_cast<char>(0xF0 | (c >> 18));
      *o++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return static_cast<size_t>(o - out);
}

template <typename C>
Py_UCS4 lx_max_char(const C *s, size_t n) {
  Py_UCS4 m = 0;
  for (size_t i = 0; i < n; ++i) m = s[i] > m ? s[i] : m;
  return m;
}

/* Segments the n bytes of well-formed UTF-8 at `text` and appends a record per
 * word to `out`, with the class names of custom words when `want_classes` and
 * the words the library returns when `want_words`.  0 on success, 1 when the
 * library fails, 2 when memory runs out.  Touches no Python object. */
int lx_collect(HANDLE h, const char *text, size_t n, bool want_classes, bool want_words,
               LxCollected &out) noexcept {
  try {
    out.library_words = want_words;
    size_t start = 0, start_cp = 0;
    while (start < n) {
      size_t end = n;
      if (n - start > kLxPiece) {
        const void *lf = std::memchr(text + start + kLxPiece, '\n', n - start - kLxPiece);
        if (lf != nullptr) end = static_cast<size_t>(static_cast<const char *>(lf) - text) + 1;
      }
      const char *piece = text + start;
      const size_t piece_len = end - start;
      if (!LXSegment(h, piece, piece_len, LX_UTF8)) return 1;
      const int count = LXGetResultCnt(h);
      size_t at = 0, at_cp = 0;  /* a byte offset in the piece and its code points */
      for (int i = 0; i < count; ++i) {
        size_t b = 0, l = 0;
        const pWP wp = LXGetAt(h, i);
        if (wp == nullptr || !LXGetSpanAt(h, i, &b, &l) || b > piece_len || l > piece_len - b)
          return 1;
        if (b < at) at = at_cp = 0;
        at_cp += lx_count_cp(piece + at, b - at);
        LxRecord r;
        r.begin = start_cp + at_cp;
        at_cp += lx_count_cp(piece + b, l);
        at = b + l;
        r.end = start_cp + at_cp;
        r.pos = wp->pos;
        r.cls = r.word = r.word_len = 0;
        if (want_classes && wp->bcw) {
          out.classes.emplace_back(LXGetClsAt(h, wp->cls, 0));
          r.cls = out.classes.size();
        }
        if (want_words && wp->word != nullptr) {
          r.word = out.words.size();
          out.words += wp->word;
          r.word_len = out.words.size() - r.word;
        }
        out.records.push_back(r);
      }
      start_cp += at_cp + lx_count_cp(piece + at, piece_len - at);
      start = end;
    }
    return 0;
  } catch (...) {
    return 2;
  }
}

/* The tag strings of the POS ids, made once. */
PyObject *lx_tag(int pos) {
  static PyObject *tags[64];
  PyObject *&slot = tags[pos >= 0 && pos < 64 ? pos : 0];
  if (pos >= 0 && pos < 64 && slot != nullptr) {
    Py_INCREF(slot);
    return slot;
  }
  char buf[16];
  LXPosId2Str(pos, buf, sizeof buf);
  PyObject *tag = PyUnicode_FromString(buf);
  if (tag != nullptr && pos >= 0 && pos < 64) {
    PyUnicode_InternInPlace(&tag);
    Py_INCREF(tag);
    slot = tag;
  }
  return tag;
}

/* A tuple of the n `items` (references stolen; null when one is null) as an
 * instance of `type`, a subclass of tuple, or as a plain tuple when `type` is
 * null. */
PyObject *lx_record(PyTypeObject *type, PyObject *const *items, Py_ssize_t n) {
  bool complete = true;
  for (Py_ssize_t i = 0; i < n; ++i) complete = complete && items[i] != nullptr;
  PyObject *r = nullptr;
  if (complete) {
#if PY_VERSION_HEX < 0x030E0000
    /* As tuple.__new__(type, items) makes it, without an intermediate tuple. */
    r = type ? type->tp_alloc(type, n) : PyTuple_New(n);
#else
    r = PyTuple_New(n);
#endif
  }
  for (Py_ssize_t i = 0; i < n; ++i) {
    if (r != nullptr) PyTuple_SET_ITEM(r, i, items[i]);
    else Py_XDECREF(items[i]);
  }
#if PY_VERSION_HEX >= 0x030E0000
  if (r != nullptr && type != nullptr) {
    PyObject *args = PyTuple_Pack(1, r);
    Py_SETREF(r, args ? PyTuple_Type.tp_new(type, args, nullptr) : nullptr);
    Py_XDECREF(args);
  }
#endif
  return r;
}

/* Segments `t`, a str as a whole ASCII or not, into `c` (lx_collect) and finds
 * the largest character of each word; 3 at a surrogate.  Runs without the
 * interpreter lock. */
int lx_segment_text(HANDLE h, const LxText &t, bool ascii, bool want_classes, bool want_words,
                    LxCollected &c) noexcept {
  try {
    std::string utf8;
    const char *bytes = static_cast<const char *>(t.data);
    size_t n = t.len;
    if (!ascii) {
      utf8.resize(static_cast<size_t>(t.kind == PyUnicode_4BYTE_KIND ? 4 : t.kind + 1) * t.len);
      n = t.kind == PyUnicode_1BYTE_KIND ? lx_encode(static_cast<const Py_UCS1 *>(t.data), t.len, &utf8[0])
          : t.kind == PyUnicode_2BYTE_KIND ? lx_encode(static_cast<const Py_UCS2 *>(t.data), t.len, &utf8[0])
          : lx_encode(static_cast<const Py_UCS4 *>(t.data), t.len, &utf8[0]);
      if (n == SIZE_MAX) return 3;
      bytes = utf8.data();
    }
    const int status = lx_collect(h, bytes, n, want_classes, want_words, c);
    for (LxRecord &r : c.records) {
      const size_t m = r.end - r.begin;
      r.maxchar = ascii ? 0x7F
          : t.kind == PyUnicode_1BYTE_KIND ? lx_max_char(static_cast<const Py_UCS1 *>(t.data) + r.begin, m)
          : t.kind == PyUnicode_2BYTE_KIND ? lx_max_char(static_cast<const Py_UCS2 *>(t.data) + r.begin, m)
          : lx_max_char(static_cast<const Py_UCS4 *>(t.data) + r.begin, m);
    }
    return status;
  } catch (...) {
    return 2;
  }
}

/* A record's word as the text has it: a copy of its characters. */
PyObject *lx_text_word(const LxText &t, const LxRecord &r) {
  const size_t n = r.end - r.begin;
  PyObject *w = PyUnicode_New(static_cast<Py_ssize_t>(n), r.maxchar);
  if (w == nullptr) return nullptr;
  const int kind = PyUnicode_KIND(w);
  void *data = PyUnicode_DATA(w);
  if (kind == t.kind) {
    std::memcpy(data, static_cast<const char *>(t.data) + r.begin * kind, n * kind);
  } else {
    for (size_t i = 0; i < n; ++i)
      PyUnicode_WRITE(kind, data, i, PyUnicode_READ(t.kind, t.data, r.begin + i));
  }
  return w;
}

/* The item of a record: its word; (word, tag); or (word, tag, start, end,
 * class names or None) as an instance of `type`.  The word is the text's
 * unless the library's words were collected. */
PyObject *lx_item(const LxText &text, const LxRecord &r, const LxCollected &c, int fields,
                  PyTypeObject *type) {
  PyObject *word = c.library_words
      ? PyUnicode_DecodeUTF8(c.words.data() + r.word, static_cast<Py_ssize_t>(r.word_len), "replace")
      : lx_text_word(text, r);
  if (word == nullptr || fields == 0) return word;
  if (fields == 1) {
    PyObject *items[] = {word, lx_tag(r.pos)};
    return lx_record(nullptr, items, 2);
  }
  PyObject *cls = Py_None;
  if (r.cls == 0) {
    Py_INCREF(cls);
  } else {
    const std::string &name = c.classes[r.cls - 1];
    cls = PyUnicode_DecodeFSDefaultAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
  }
  PyObject *items[] = {word, lx_tag(r.pos), PyLong_FromSize_t(r.begin), PyLong_FromSize_t(r.end), cls};
  return lx_record(type, items, 5);
}

}  // namespace
%}

%inline %{
/* Segments the str `text` with `handle` and returns every word in order, the
 * blanks included: as str (fields 0), as (word, tag) (1), or as (word, tag,
 * start, end, classes) made an instance of `token_type`, a subclass of tuple
 * (2); start and end are code-point offsets into `text`, classes the class
 * names of a custom word joined with "|" or None.  The words are the text's
 * (they join to it; the handle has LX_ORIG) unless `normalised`, which takes
 * the words the library returns.  A text that is not valid Unicode (a lone
 * surrogate) raises UnicodeEncodeError; a failure of the library
 * RuntimeError. */
static PyObject *lx_py_tokens(HANDLE handle, PyObject *text, int fields, bool normalised,
                              PyObject *token_type) {
  if (!PyUnicode_Check(text)) {
    PyErr_Format(PyExc_TypeError, "text must be str, not %.100s", Py_TYPE(text)->tp_name);
    return nullptr;
  }
  PyTypeObject *type = nullptr;
  if (fields == 2 && token_type != Py_None) {
    if (!PyType_Check(token_type) ||
        !PyType_IsSubtype(reinterpret_cast<PyTypeObject *>(token_type), &PyTuple_Type)) {
      PyErr_SetString(PyExc_TypeError, "token_type must be a subclass of tuple");
      return nullptr;
    }
    type = reinterpret_cast<PyTypeObject *>(token_type);
  }
#if PY_VERSION_HEX < 0x030C0000
  if (PyUnicode_READY(text) < 0) return nullptr;
#endif
  const LxText t = {static_cast<int>(PyUnicode_KIND(text)), PyUnicode_DATA(text),
                    static_cast<size_t>(PyUnicode_GET_LENGTH(text))};
  const bool ascii = PyUnicode_IS_ASCII(text);
  LxCollected c;
  int status;
  Py_BEGIN_ALLOW_THREADS
  status = lx_segment_text(handle, t, ascii, fields == 2, normalised, c);
  Py_END_ALLOW_THREADS
  if (status == 3) {
    /* The codec's own error, which names the character and its place. */
    Py_XDECREF(PyUnicode_AsUTF8String(text));
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_ValueError, "segment_tokens: text has a surrogate");
    return nullptr;
  }
  if (status == 2) return PyErr_NoMemory();
  if (status != 0) {
    PyErr_SetString(PyExc_RuntimeError, handle == nullptr ? "segment_tokens: the handle is None"
                    : "segment_tokens: the library could not segment the text (are resources loaded?)");
    return nullptr;
  }
  /* The items hold strings and numbers only and cannot form cycles: the
   * collector, which would scan them again and again while they are made,
   * waits until the list is complete. */
#if PY_VERSION_HEX >= 0x030A0000
  const int gc_was_enabled = PyGC_Disable();
#endif
  PyObject *list = PyList_New(static_cast<Py_ssize_t>(c.records.size()));
  for (size_t i = 0; list != nullptr && i < c.records.size(); ++i) {
    PyObject *item = lx_item(t, c.records[i], c, fields, type);
    if (item == nullptr) Py_CLEAR(list);
    else PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), item);
  }
#if PY_VERSION_HEX >= 0x030A0000
  if (gc_was_enabled) PyGC_Enable();
#endif
  return list;
}
%}
