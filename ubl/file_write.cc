#include "ubl/file_write.h"

#include "platform/file.h"
#include "platform/system.h"
#include "ubl/diag.h"

bool ublWriteFileW(const char16_t* path, const void* data, uint32_t size, bool overwrite,
                   bool /*plain*/) {
  PlatFile f;
  if (!path || (!data && size) ||
      platFileOpen(path, PLAT_ACCESS_READ | PLAT_ACCESS_WRITE,
                   overwrite ? PLAT_CREATE_ALWAYS : PLAT_CREATE_NEW, true, &f) != 0) {
    ublError(u"ublWriteFileW: Could not open file (error)\n");
    return false;
  }
  size_t written = 0;
  if (platFileWrite(f, data, size, &written) != 0 || written != size) {
    ublError(u"ublWriteFileW: Could not write to file (error)\n");
    platFileClose(f);
    return false;
  }
  if (platFileClose(f) != 0) {
    ublError(u"ublWriteFileW: Failed to close handle for %s!\n", path);
    return false;
  }
  ublDiag(u"Wrote to file successfully.\n");
  return true;
}

void ublReportSysError(const char* operation, uint32_t code) {
  char text[256];
  if (!platErrorText(int(code), text, sizeof text)) return;
  ublError(u"%S failed with error %d: %S\n", operation, int(code), text);
}
