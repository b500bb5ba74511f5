#include "platform/path_buffer.h"

#include <cerrno>
#include <cstdint>

#include "platform/utf.h"

PathBuffer::PathBuffer(const char16_t* path) : mError(0) {
  mText[0] = '\0';
  if (!path) {
    mError = EINVAL;
    return;
  }
  size_t need = platUtf8LengthOf(path);
  if (need == SIZE_MAX)
    mError = EILSEQ;
  else if (need >= kCapacity)
    mError = ENAMETOOLONG;
  else if (!platWideToUtf8(path, mText, kCapacity))
    mError = EILSEQ;
}
