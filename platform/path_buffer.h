// Internal to platform/: the UTF-8 form of a UTF-16 path on the stack.
#pragma once

#include <cstddef>

class PathBuffer {
 public:
  // Converts `path`; ok() is false (with error() = EINVAL, EILSEQ or
  // ENAMETOOLONG) for a null, ill-formed or overlong path.
  explicit PathBuffer(const char16_t* path);
  bool ok() const { return mError == 0; }
  int error() const { return mError; }
  const char* c_str() const { return mText; }

 private:
  static constexpr size_t kCapacity = 4096;
  char mText[kCapacity];
  int mError;
};
