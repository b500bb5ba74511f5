// Points the TEMP environment variable at a fresh scratch folder for the life of
// the object, so every temporary file the plug-in generates lands where a test
// can watch it; the previous value (or its absence) comes back at the end.
#ifndef TESTS_SUPPORT_TEMP_REDIRECT_H_
#define TESTS_SUPPORT_TEMP_REDIRECT_H_

#include <stdlib.h>

#include <string>

#include "tests/support/rar_writer.h"

namespace testsupport {

class TempRedirect {
 public:
  TempRedirect() {
    const char* old = getenv("TEMP");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TEMP", dir_.path().c_str(), 1);
  }
  ~TempRedirect() {
    if (had_)
      setenv("TEMP", old_.c_str(), 1);
    else
      unsetenv("TEMP");
  }
  TempRedirect(const TempRedirect&) = delete;
  TempRedirect& operator=(const TempRedirect&) = delete;
  const std::string& path() const { return dir_.path(); }

 private:
  ScratchDir dir_;
  bool had_ = false;
  std::string old_;
};

}  // namespace testsupport

#endif  // TESTS_SUPPORT_TEMP_REDIRECT_H_
