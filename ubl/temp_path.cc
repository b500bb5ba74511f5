#include "ubl/temp_path.h"

#include <new>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/system.h"
#include "platform/wformat.h"
#include "ubl/diag.h"
#include "ubl/memory.h"
#include "ubl/mutex.h"

int32_t gTempCounter = 0;

namespace {

// Room the fixed parts need besides directory, tag and kind.
constexpr size_t kFixedRoom = 40;

void append(char16_t* buf, size_t* pos, const char16_t* text, size_t len) {
  for (size_t i = 0; i < len; ++i) buf[(*pos)++] = text[i];
}

}  // namespace

char16_t* ublGenTempW(const char16_t* dir, int32_t* capacity, const char16_t* tag,
                      const char16_t* kind) {
  if (capacity) *capacity = 0;

  char16_t envDir[UBL_TEMP_PATH_CHARS + 1];
  const char16_t* chosen = dir;
  if (!chosen || !*chosen) {
    int got = platGetEnv("TEMP", envDir, sizeof envDir / sizeof envDir[0]);
    if (got < 0) return nullptr;  // set, but unusable as a directory name
    // An empty TEMP would put files at the file-system root: use /tmp instead.
    if (got > 0 && envDir[0]) {
      chosen = envDir;
    } else {
      chosen = u"/tmp";
      PlatFileKind k;
      if (platFileStatus(chosen, &k, nullptr) != 0 || k != PLAT_KIND_DIR) {
        int rc = platMakeDir(chosen);
        if (rc != 0 && !(platFileStatus(chosen, &k, nullptr) == 0 && k == PLAT_KIND_DIR))
          return nullptr;
      }
    }
  }
  size_t dirLen = ublWcsLen(chosen);

  char16_t* buf = static_cast<char16_t*>(
      ::operator new(UBL_TEMP_PATH_CHARS * sizeof(char16_t), std::nothrow));
  if (!buf) {
    ublDiag(u"ublGenTempW('%s'): out of memory\n", dir);
    return nullptr;
  }
  if (capacity) *capacity = UBL_TEMP_PATH_CHARS;

  size_t tagLen = ublWcsLen(tag);
  size_t kindLen = ublWcsLen(kind);

  PlatLocalTime now;
  platLocalTimeNow(&now);
  uint32_t tick = platTickMs();

  const size_t room = UBL_TEMP_PATH_CHARS;
  if (dirLen + tagLen + kindLen + kFixedRoom > room) {
    kindLen = 0;
    if (dirLen + tagLen + kFixedRoom > room) {
      tagLen = 0;
      if (dirLen + kFixedRoom > room) {
        if (capacity) *capacity = 0;
        ::operator delete(buf);
        return nullptr;
      }
    }
  }

  char16_t stamp[32];
  platFormatW(stamp, 32, u"%04d%02d%02d%02d%02d%02d.%03d", now.year, now.month, now.day,
              now.hour, now.minute, now.second, int(tick % 1000));

  for (int attempt = 0; attempt < UBL_TEMP_ATTEMPTS; ++attempt) {
    size_t pos = 0;
    append(buf, &pos, chosen, dirLen);
    append(buf, &pos, u"/QTK_", 5);
    if (tagLen) {
      append(buf, &pos, tag, tagLen);
      buf[pos++] = u'_';
    }
    if (kindLen) {
      append(buf, &pos, kind, kindLen);
      buf[pos++] = u'_';
    }
    append(buf, &pos, stamp, ublWcsLen(stamp));
    int32_t counter = ublLockedAdd(&gTempCounter, 1);
    platFormatW(buf + pos, room - pos, u"_%10d", counter);

    PlatFile f;
    if (platFileOpen(buf, PLAT_ACCESS_READ, PLAT_CREATE_NEW, true, &f) == 0) {
      platFileClose(f);
      return buf;
    }
  }

  ublError(u"%s(in [%s]): too many tries -- giving up\n", dir, u"ublGenTempFilePath");
  if (capacity) *capacity = 0;
  ::operator delete(buf);
  return nullptr;
}

void ublFreeTempPath(char16_t* path) { ::operator delete(path); }
