// The exported C interface of the library.
#include "LXSegFunc.h"

#include <cstring>

#include "base/PosTag.h"

char szDataDirPath[256];

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
