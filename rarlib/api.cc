// The C entry points: argument checks, and no exception ever leaves.
#include <zlib.h>

#include <new>
#include <string>

#include "rarlib/archive.h"
#include "rarlib/rar.h"
#include "rarlib/text.h"

struct RARArchive {
  rarlib::Archive archive;
};

namespace {

template <typename F>
int Guarded(F&& f) {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    return ERAR_NO_MEMORY;
  } catch (...) {
    return ERAR_UNKNOWN;
  }
}

bool WideToUtf8(const char16_t* s, std::string* out) {
  size_t n = 0;
  while (s[n] != 0) {
    if (++n > 65536) return false;
  }
  return rarlib::Utf16ToUtf8(s, n, out);
}

}  // namespace

extern "C" {

void RARInitTables(void) {
  // zlib's CRC tables are built once and safely; touching them here moves the
  // cost to initialisation.
  static const bool ready = get_crc_table() != nullptr;
  (void)ready;
}

RARHANDLE RAROpenArchiveEx(RAROpenArchiveDataEx* data) {
  if (data == nullptr) return nullptr;
  RARInitTables();
  data->OpenResult = 0;
  data->Flags = 0;
  data->CmtSize = 0;
  data->CmtState = 0;
  RARArchive* handle = nullptr;
  int rc = Guarded([&]() -> int {
    std::string path;
    if (data->ArcNameW != nullptr) {
      if (!WideToUtf8(data->ArcNameW, &path)) return ERAR_EOPEN;
    } else if (data->ArcName != nullptr) {
      path = data->ArcName;
    }
    if (path.empty()) return ERAR_EOPEN;
    if (data->OpenMode != RAR_OM_LIST && data->OpenMode != RAR_OM_EXTRACT) return ERAR_UNKNOWN;
    handle = new RARArchive;
    return handle->archive.Open(path, data->OpenMode, data);
  });
  if (rc != 0) {
    delete handle;
    data->OpenResult = static_cast<unsigned>(rc);
    return nullptr;
  }
  return handle;
}

int RARReadHeaderEx(RARHANDLE handle, RARHeaderDataEx* header) {
  if (handle == nullptr || header == nullptr) return ERAR_UNKNOWN;
  return Guarded([&] { return handle->archive.ReadHeader(header); });
}

int RARProcessFileW(RARHANDLE handle, int operation, const char16_t* destPath,
                    const char16_t* destName) {
  if (handle == nullptr) return ERAR_UNKNOWN;
  return Guarded([&] { return handle->archive.ProcessFile(operation, destPath, destName); });
}

void RARSetCallback(RARHANDLE handle, RARDataCallback callback, void* userData) {
  if (handle != nullptr) handle->archive.SetCallback(callback, userData);
}

void RARSetPassword(RARHANDLE handle, const char* password) {
  if (handle == nullptr) return;
  Guarded([&] {
    handle->archive.SetPassword(password);
    return 0;
  });
}

int RARGetBlockPositions(RARHANDLE handle, int64_t* currentBlock, int64_t* nextBlock) {
  if (handle == nullptr) return ERAR_UNKNOWN;
  int64_t cur = 0, next = 0;
  handle->archive.Positions(&cur, &next);
  if (currentBlock != nullptr) *currentBlock = cur;
  if (nextBlock != nullptr) *nextBlock = next;
  return 0;
}

int RARCloseArchive(RARHANDLE handle) {
  if (handle == nullptr) return ERAR_ECLOSE;
  int rc = Guarded([&] { return handle->archive.Close(); });
  delete handle;
  return rc;
}

}  // extern "C"
