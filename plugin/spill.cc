// ArchOpenBuffer and ArchOpenStream: the engine reads archives from files only, so bytes
// the host holds in memory or behind one of its streams are written once into a
// temporary file, which is then opened with ArchOpenFile and belongs to the context.
//
// A generated temporary file is deleted when the context is closed, when the open on it
// fails, and when the context is spilled again; a caller-supplied path is never deleted.
// A failure before the hand-over leaves the context exactly as it was. The archive is
// never copied in memory: a buffer goes to the file in one write, a stream through one
// 32768-byte block.
#include <cstdlib>
#include <new>

#include "plugin/arcunpack.h"
#include "plugin/records.h"
#include "stream/file_stream.h"
#include "ubl/file_write.h"
#include "ubl/status.h"
#include "ubl/temp_path.h"

namespace {

constexpr int64_t kCopyChunk = 0x8000;
// Opens the existing file for reading and writing without truncating it.
constexpr uint32_t kSpillMode = FIO_MODE_READ | FIO_MODE_WRITE | FIO_MODE_EXISTING |
                                FIO_MODE_SHARE_READ | FIO_MODE_SHARE_WRITE | FIO_MODE_SHARE_DELETE;
constexpr uint32_t kPlainFile = 0x80;

// Makes the holder and settles the temporary path: the caller's, or a generated one
// that the holder then owns. Null holder (and `failure` set) when that is impossible.
TempFileHolder* prepareHolder(const ArchChar16* tempPath, const char16_t** path, int32_t* failure) {
  auto* holder = new (std::nothrow) TempFileHolder;
  if (holder == nullptr) {
    *failure = int32_t(STAT_ERR_NO_MEMORY);
    return nullptr;
  }
  if (tempPath == nullptr) {
    int32_t capacity = 0;
    holder->path = ublGenTempW(nullptr, &capacity, u"ZRAR", u"OPEN");
    if (holder->path == nullptr) {
      delete holder;
      *failure = ARCH_E_FILE;
      return nullptr;
    }
  }
  *path = tempPath != nullptr ? tempPath : holder->path;
  return holder;
}

// Attaches the holder, opens the file, then lets go of the holder it replaced (only now,
// since the previous archive's engine handle is closed by the open).
int32_t handOver(ArchContext* ctx, TempFileHolder* holder, const char16_t* path) {
  TempFileHolder* previous = ctx->spill;
  ctx->spill = holder;
  const int32_t result = ArchOpenFile(ctx, path, 0);
  tempFileHolderDestroy(previous);
  return result;
}

// Copies the whole host stream into the temporary file. Returns STAT_OK or the status
// the host sees.
RSLT copyStream(cAbstractStream* source, const char16_t* path) {
  if (RSLT_IS_FATAL(source->seek(0, FIO_SEEK_BEGIN))) return STAT_ERR_SHORT_READ;
  cFileStream target(path);
  if (RSLT_IS_FATAL(target.open(kSpillMode, kPlainFile))) return STAT_ERR_SHORT_WRITE;
  int64_t remaining = source->length();  // -1 (unknown) copies nothing
  auto* chunk = static_cast<uint8_t*>(std::malloc(kCopyChunk));
  if (chunk == nullptr) return STAT_ERR_NO_MEMORY;
  RSLT result = STAT_OK;
  while (remaining > 0) {
    const int64_t n = remaining < kCopyChunk ? remaining : kCopyChunk;
    int64_t got = 0;
    if (RSLT_IS_FATAL(source->read(chunk, n, &got)) || got != n) {
      result = STAT_ERR_SHORT_READ;
      break;
    }
    int64_t put = 0;
    if (RSLT_IS_FATAL(target.write(chunk, n, &put)) || put != n) {
      result = STAT_ERR_SHORT_WRITE;
      break;
    }
    remaining -= n;
  }
  std::free(chunk);
  const RSLT closed = target.close();
  if (result == STAT_OK && RSLT_IS_FATAL(closed)) result = STAT_ERR_SHORT_WRITE;
  return result;
}

}  // namespace

extern "C" {

ARCH_API int32_t ArchOpenBuffer(ArchContext* ctx, const void* data, uint32_t size, uint32_t,
                                const ArchChar16* tempPath) {
  if (ctx == nullptr || (data == nullptr && size != 0)) return ARCH_E_FAILED;
  static const uint8_t kNoBytes = 0;
  const char16_t* path = nullptr;
  int32_t failure = ARCH_OK;
  TempFileHolder* holder = prepareHolder(tempPath, &path, &failure);
  if (holder == nullptr) return failure;
  if (!ublWriteFileW(path, data != nullptr ? data : &kNoBytes, size, true, false)) {
    tempFileHolderDestroy(holder);  // deletes a generated file
    return ARCH_E_OPEN;
  }
  return handOver(ctx, holder, path);
}

ARCH_API int32_t ArchOpenStream(ArchContext* ctx, cAbstractStream* stream,
                                const ArchChar16* tempPath) {
  if (ctx == nullptr || stream == nullptr) return ARCH_E_FAILED;
  const char16_t* path = nullptr;
  int32_t failure = ARCH_OK;
  TempFileHolder* holder = prepareHolder(tempPath, &path, &failure);
  if (holder == nullptr) return failure;
  const RSLT copied = copyStream(stream, path);
  if (copied != STAT_OK) {
    tempFileHolderDestroy(holder);
    return int32_t(copied);
  }
  return handOver(ctx, holder, path);
}

}  // extern "C"
