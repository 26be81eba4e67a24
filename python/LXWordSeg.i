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
    "since been created at the same address, in which case it is that handle.";
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
  return LXSegment(handle, text, length, charset);
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
    PyObject *doc = PyUnicode_FromString(lx_module_doc);
    if (doc) {
      PyDict_SetItemString(d, "__doc__", doc);
      Py_DECREF(doc);
    }
  }
%}
