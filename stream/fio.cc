#include "stream/fio.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "platform/utf.h"
#include "stream/abstract_stream.h"
#include "ubl/diag.h"
#include "ubl/status.h"

namespace {

constexpr int64_t kMaxTransfer = int64_t{1} << 32;
// Room of the resolution buffer of fio_fullPath, terminator included.
constexpr size_t kFullPathUnits = 260;

// Only a platform failure fails a seek: a position whose low 32 bits are all
// ones (4 GiB - 1, 8 GiB - 1, ...) is as valid as any other.
int platformOrigin(int32_t origin) {
  if (origin == 0) return PLAT_SEEK_BEGIN;
  if (origin == 1) return PLAT_SEEK_CURRENT;
  return PLAT_SEEK_END;
}

}  // namespace

RSLT fio_fileOpen(const char16_t* path, uint32_t mode, PlatFile* handle, uint32_t attributes) {
  (void)attributes;  // plain files only; no attributes to apply here
  const bool rd = (mode & FIO_MODE_READ) != 0;
  const bool wr = (mode & FIO_MODE_WRITE) != 0;
  if (!rd && !wr) return STAT_ERR_NO_ACCESS_MODE;
  unsigned access = (rd ? PLAT_ACCESS_READ : 0) | (wr ? PLAT_ACCESS_WRITE : 0);

  PlatDisposition disposition;
  if (mode & FIO_MODE_CREATE_NEW) {
    disposition = PLAT_CREATE_NEW;
  } else if (mode & FIO_MODE_EXISTING) {
    disposition = (mode & FIO_MODE_TRUNCATE) ? PLAT_TRUNCATE_EXISTING : PLAT_OPEN_EXISTING;
  } else if (mode & FIO_MODE_TRUNCATE) {
    disposition = PLAT_CREATE_ALWAYS;
  } else if (wr) {
    disposition = PLAT_OPEN_ALWAYS;
  } else {
    disposition = PLAT_OPEN_EXISTING;
  }

  *handle = PLAT_NO_FILE;
  if (path == nullptr || path[0] == 0) return STAT_ERR_OPEN_FAILED;
  if (platFileOpen(path, access, disposition, false, handle) != 0) {
    *handle = PLAT_NO_FILE;
    return STAT_ERR_OPEN_FAILED;
  }
  return STAT_OK;
}

RSLT fio_fileRead(PlatFile handle, uint8_t* dest, int64_t count, int64_t* countRead) {
  *countRead = 0;
  if (count >= kMaxTransfer) return STAT_ERR_IO_TOO_LARGE;
  if (count < 0) return STAT_ERR_BAD_PARAM;
  // A regular file delivers what it holds; the loop only covers the rare
  // partial transfer and ends at the end of the file.
  size_t total = 0;
  const size_t want = static_cast<size_t>(count);
  while (total < want) {
    size_t got = 0;
    if (platFileRead(handle, dest + total, want - total, &got) != 0) {
      *countRead = 0;
      return STAT_ERR_READ_FAILED;
    }
    if (got == 0) break;
    total += got;
  }
  *countRead = static_cast<int64_t>(total);
  return (total == 0 && want > 0) ? STAT_ERR_FILE_END : STAT_OK;
}

RSLT fio_fileWrite(PlatFile handle, const uint8_t* src, int64_t count, int64_t* countWritten) {
  *countWritten = 0;
  if (count >= kMaxTransfer) return STAT_ERR_IO_TOO_LARGE;
  if (count < 0) return STAT_ERR_BAD_PARAM;
  if (count == 0) return STAT_OK;
  size_t put = 0;
  if (platFileWrite(handle, src, static_cast<size_t>(count), &put) != 0) {
    return STAT_ERR_WRITE_FAILED;
  }
  *countWritten = static_cast<int64_t>(put);
  return STAT_OK;
}

RSLT fio_fileSeek(PlatFile handle, int64_t offset, int32_t origin) {
  if (platFileSeek(handle, offset, platformOrigin(origin), nullptr) != 0) {
    WX_ASSERT(!"platform seek failed");
    return STAT_ERR_SEEK_FAILED;
  }
  return STAT_OK;
}

RSLT fio_fileSize(PlatFile handle, int64_t* size) {
  return platFileSize(handle, size) == 0 ? STAT_OK : STAT_ERR_SIZE_FAILED;
}

RSLT fio_fileFlush(PlatFile handle) {
  return platFileFlush(handle) == 0 ? STAT_OK : STAT_ERR_FLUSH_FAILED;
}

RSLT fio_fileTruncate(PlatFile handle) {
  int64_t position = 0;
  if (platFileSeek(handle, 0, PLAT_SEEK_CURRENT, &position) != 0) return STAT_ERR_FILE_END;
  return platFileTruncate(handle, position) == 0 ? STAT_OK : STAT_ERR_FILE_END;
}

RSLT fio_fileClose(PlatFile handle) {
  return platFileClose(handle) == 0 ? STAT_OK : STAT_ERR_CLOSE_FAILED;
}

namespace {

RSLT resolveFullPath(const char16_t* path, char16_t* dest, int64_t capacity) {
  const size_t need = platUtf8LengthOf(path);
  if (need == SIZE_MAX || need > 4 * kFullPathUnits) return STAT_ERR_READ_FAILED;
  std::string narrow(need + 1, '\0');
  if (!platWideToUtf8(path, narrow.data(), narrow.size())) return STAT_ERR_READ_FAILED;
  narrow.resize(need);

  // Relative paths count from the current directory; "." and ".." are folded
  // the way a full-path resolution does, without consulting the file system.
  std::error_code ec;
  std::filesystem::path resolved = std::filesystem::absolute(narrow, ec);
  if (ec) return STAT_ERR_READ_FAILED;
  const std::string text = resolved.lexically_normal().string();

  char16_t local[kFullPathUnits];
  if (!platUtf8ToWide(text.c_str(), local, kFullPathUnits, false)) return STAT_ERR_READ_FAILED;
  const int64_t len = static_cast<int64_t>(platWideLength(local));
  if (len >= capacity - 1) return STAT_ERR_PATH_TOO_LONG;
  for (int64_t i = 0; i <= len; ++i) dest[i] = local[i];
  return STAT_OK;
}

}  // namespace

RSLT fio_fullPath(const char16_t* path, char16_t* dest, int64_t capacity) {
  if (path == nullptr || dest == nullptr) return STAT_ERR_READ_FAILED;
  try {
    return resolveFullPath(path, dest, capacity);
  } catch (...) {  // no memory for the path arithmetic
    return STAT_ERR_READ_FAILED;
  }
}
