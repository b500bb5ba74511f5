#include "platform/system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/path_buffer.h"
#include "platform/utf.h"

int platGetEnv(const char* name, char16_t* out, size_t outUnits) {
  if (!name || !out || outUnits == 0) return -1;
  out[0] = 0;
  const char* v = ::getenv(name);
  if (!v) return 0;
  return platUtf8ToWide(v, out, outUnits, false) ? 1 : -1;
}

int platMakeDir(const char16_t* path) {
  PathBuffer p(path);
  if (!p.ok()) return p.error();
  return ::mkdir(p.c_str(), 0700) == 0 ? 0 : errno;
}

int platFileStatus(const char16_t* path, PlatFileKind* kind, int64_t* size) {
  if (kind) *kind = PLAT_KIND_NONE;
  if (size) *size = 0;
  PathBuffer p(path);
  if (!p.ok()) return p.error();
  struct stat st;
  if (::stat(p.c_str(), &st) != 0) return errno;
  if (kind)
    *kind = S_ISREG(st.st_mode) ? PLAT_KIND_FILE : S_ISDIR(st.st_mode) ? PLAT_KIND_DIR
                                                                       : PLAT_KIND_OTHER;
  if (size) *size = int64_t(st.st_size);
  return 0;
}

int platDeleteFile(const char16_t* path) {
  PathBuffer p(path);
  if (!p.ok()) return p.error();
  return ::unlink(p.c_str()) == 0 ? 0 : errno;
}

bool platErrorText(int code, char* out, size_t outSize) {
  if (!out || outSize == 0) return false;
  out[0] = '\0';
  // The GNU form may return a static string instead of filling the buffer.
  const char* text = ::strerror_r(code, out, outSize);
  if (!text) return false;
  if (text != out) {
    std::strncpy(out, text, outSize - 1);
    out[outSize - 1] = '\0';
  }
  char unknown[32];
  std::snprintf(unknown, sizeof unknown, "Unknown error %d", code);
  return std::strcmp(out, unknown) != 0 && out[0] != '\0';
}
