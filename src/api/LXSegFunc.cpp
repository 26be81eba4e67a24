// The exported C interface of the library.
//
// Every function here is a thin wrapper over CSegment / CSegmentPN that
// tolerates null handles and arguments and keeps exceptions (allocation
// failures, failures of the double-array library) inside the library: a
// failure is reported through the return value (false, null, 0) or, for the
// functions without one, leaves the state as it was.
#include "LXSegFunc.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "base/PosTag.h"
#include "dict/DictResource.h"
#include "dict/CustomDict.h"
#include "seg/ClassSegPN.h"

char szDataDirPath[256];

namespace {

// The data directory in full: szDataDirPath keeps at most 255 characters,
// but the system custom dictionary is looked for in the real directory.
// Written only by a successful LXInitSeg.
std::string g_data_dir;

CSegmentPN* as_segment(HANDLE h) { return static_cast<CSegmentPN*>(h); }

void report_exception(const char* where, const std::exception* e) {
  std::fprintf(stderr, "%s: %s\n", where, e ? e->what() : "unknown exception");
}

}  // namespace

bool LXInitSeg(const char* lpszDataDirPath) {
  if (lpszDataDirPath == nullptr) return false;
  try {
    DictResource res;
    if (!res.init(lpszDataDirPath)) return false;
    // All or nothing: after a failure the set loaded before (if any) and its
    // user dictionary stay in use.
    if (!CSegment::load_resource(res)) return false;
    std::strncpy(szDataDirPath, lpszDataDirPath, 255);
    szDataDirPath[255] = '\0';
    g_data_dir = lpszDataDirPath;
    CSegment::load_user_dict(res.custom_word, g_data_dir.c_str());
    return true;
  } catch (const std::exception& e) {
    report_exception("LXInitSeg", &e);
  } catch (...) {
    report_exception("LXInitSeg", nullptr);
  }
  return false;
}

void LXUnInitSeg() {
  try {
    CSegment::unload_resource();
  } catch (const std::exception& e) {
    report_exception("LXUnInitSeg", &e);
  } catch (...) {
    report_exception("LXUnInitSeg", nullptr);
  }
}

HANDLE LXCreateSegHandle(int iResultMode) {
  try {
    return static_cast<HANDLE>(new CSegmentPN(iResultMode, CSegment::kNodeCapacity));
  } catch (const std::exception& e) {
    report_exception("LXCreateSegHandle", &e);
  } catch (...) {
    report_exception("LXCreateSegHandle", nullptr);
  }
  return nullptr;
}

void LXCloseSegHandle(HANDLE hHandle) {
  if (hHandle == nullptr) return;
  try {
    delete as_segment(hHandle);
  } catch (...) {
    report_exception("LXCloseSegHandle", nullptr);
  }
}

bool LXSegment(HANDLE hHandle, const char* lpText, size_t nTextLen, size_t nCharSet) {
  if (hHandle == nullptr) return false;
  if (lpText == nullptr) return true;
  try {
    if (nTextLen == 0) nTextLen = std::strlen(lpText);
    return as_segment(hHandle)->segment(lpText, nTextLen, nCharSet);
  } catch (const std::exception& e) {
    report_exception("LXSegment", &e);
  } catch (...) {
    report_exception("LXSegment", nullptr);
  }
  return false;
}

int LXGetResultCnt(HANDLE hHandle) {
  if (hHandle == nullptr) return 0;
  try {
    return as_segment(hHandle)->get_tokens_count();
  } catch (...) {
    return 0;
  }
}

const char* LXGetWordAt(HANDLE hHandle, int index) {
  if (hHandle == nullptr) return nullptr;
  try {
    return as_segment(hHandle)->get_word_at(index);
  } catch (...) {
    return nullptr;
  }
}

pWP LXGetAt(HANDLE hHandle, int index) {
  if (hHandle == nullptr) return nullptr;
  try {
    return as_segment(hHandle)->get_word_pos_at(index);
  } catch (...) {
    return nullptr;
  }
}

bool LXGetSpanAt(HANDLE hHandle, int index, size_t* begin, size_t* length) {
  if (hHandle == nullptr || begin == nullptr || length == nullptr) return false;
  try {
    return as_segment(hHandle)->get_span_at(index, *begin, *length);
  } catch (...) {
    return false;
  }
}

bool LXGetTokenSpan(HANDLE hHandle, size_t index, size_t* begin, size_t* length) {
  if (hHandle == nullptr || begin == nullptr || length == nullptr) return false;
  try {
    return as_segment(hHandle)->m_segtoken_saver.get_token_span(index, *begin, *length);
  } catch (...) {
    return false;
  }
}

p_ms_word_t LXMSGetWordAt(HANDLE hHandle, int index) {
  if (hHandle == nullptr) return nullptr;
  try {
    return as_segment(hHandle)->get_ms_word_at(index);
  } catch (...) {
    return nullptr;
  }
}

p_ms_wp_t LXMSGetAt(HANDLE hHandle, int index) {
  if (hHandle == nullptr) return nullptr;
  try {
    return as_segment(hHandle)->get_ms_word_pos_at(index);
  } catch (...) {
    return nullptr;
  }
}

void LXGetAllSegInfo(HANDLE hHandle, seg_tokens_t& seg_tokens) {
  if (hHandle == nullptr) {
    seg_tokens.fine_grain_seg_tokens = nullptr;
    seg_tokens.fine_grain_tokens_num = 0;
    seg_tokens.thick_seg_tokens = nullptr;
    seg_tokens.thick_seg_tokens_num = 0;
    seg_tokens.custom_defined_tokens = nullptr;
    seg_tokens.custom_tokens_num = 0;
    seg_tokens.custom_defined_phrases = nullptr;
    seg_tokens.custom_phrases_num = 0;
    return;
  }
  try {
    as_segment(hHandle)->get_result(seg_tokens);
  } catch (...) {
    report_exception("LXGetAllSegInfo", nullptr);
  }
}

// A handle answers from the user dictionary it segmented with; without a
// handle the published one answers.
int LXGetClsNum(HANDLE hHandle, int cls) {
  try {
    if (hHandle != nullptr) return as_segment(hHandle)->get_class_num(cls);
    const std::shared_ptr<const CCustomDict> dict = CSegment::published_user_dict();
    return dict != nullptr ? dict->GetClsNum(cls) : 0;
  } catch (...) {
    return 0;
  }
}

const char* LXGetClsAt(HANDLE hHandle, int cls, int idx) {
  try {
    if (hHandle != nullptr) return as_segment(hHandle)->get_class_at(cls, idx);
    // The text outlives the snapshot: it is kept per thread.
    thread_local std::string result;
    const std::shared_ptr<const CCustomDict> dict = CSegment::published_user_dict();
    return dict != nullptr ? dict->GetClsAt(cls, idx, result) : "";
  } catch (...) {
    return "";
  }
}

void LXSetOutMode(HANDLE hHandle, OutMode outMode) {
  if (hHandle == nullptr) return;
  // The caller may pass any int: it is read as an int, never as an OutMode
  // holding a value outside the enumeration.
  static_assert(sizeof(OutMode) == sizeof(int), "OutMode is passed as an int");
  int v = 0;
  std::memcpy(&v, &outMode, sizeof(v));
  as_segment(hHandle)->setOutMode(v == OUT_PHRASE ? OUT_PHRASE
                                  : v == OUT_SUBPHRASE ? OUT_SUBPHRASE
                                                       : OUT_WORD);
}

void LXChangeUserDict(const char* sUserDict) {
  if (sUserDict == nullptr) return;
  try {
    CSegment::load_user_dict(sUserDict, g_data_dir.c_str());
  } catch (const std::exception& e) {
    report_exception("LXChangeUserDict", &e);
  } catch (...) {
    report_exception("LXChangeUserDict", nullptr);
  }
}

void LXConvertWordCharsetToUTF8(HANDLE hHandle, const char*& word, size_t& wlen) {
  if (hHandle == nullptr) return;
  try {
    as_segment(hHandle)->convert_word_charset_to_utf8(word, wlen);
  } catch (...) {
    report_exception("LXConvertWordCharsetToUTF8", nullptr);
  }
}

void LXPosId2Str(int idPos, char* strPos, int nBufsize) {
  if (strPos == nullptr || nBufsize <= 0) return;
  std::memset(strPos, 0, static_cast<size_t>(nBufsize));
  // The tag is cut to the buffer rather than written past it; every tag fits
  // the documented minimum of 6 bytes.
  const char* tag = pos_tag_string(idPos);
  size_t n = std::strlen(tag);
  if (n > static_cast<size_t>(nBufsize) - 1) n = static_cast<size_t>(nBufsize) - 1;
  std::memcpy(strPos, tag, n);
}

void LXSetPKUMode(HANDLE /*hHandle*/) {
  try {
    CSegment::set_pku_mode();
  } catch (...) {
    report_exception("LXSetPKUMode", nullptr);
  }
}
