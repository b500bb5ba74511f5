// ArchOpenFile: two passes over the archive. The list pass records every member's name
// (in archive order, with a lookup from name to first position); the extraction pass
// re-opens the archive and stands on member 0. Any result but ARCH_OK leaves the context
// Empty; a re-open keeps the password and the temporary-file holder.
#include <cstdlib>
#include <new>

#include "plugin/arcunpack.h"
#include "plugin/records.h"
#include "plugin/steps.h"
#include "rarlib/rar.h"
#include "ubl/diag.h"
#include "ubl/memory.h"
#include "ubl/status.h"

namespace {

// Smallest file that can hold a RAR archive with a member; smaller ones are not opened.
constexpr int64_t kMinArchiveBytes = 21;

// What the passes build; everything not attached to the context is released by the caller.
struct OpenWork {
  char* narrowPath = nullptr;
  char* keptPassword = nullptr;  // the previous index's password until a new index takes it
  RarState* state = nullptr;
  MemberIndex* index = nullptr;
};

int32_t listPass(ArchContext* ctx, OpenWork& w) {
  RarState* st = w.state;
  st->handle = RAROpenArchiveEx(&st->openRecord);
  if (st->handle == nullptr) {
    ublDiag(u"ArchOpenFile: the archive %S cannot be opened (%u)\n", w.narrowPath,
            st->openRecord.OpenResult);
    return ARCH_E_OPEN;
  }
  w.index = new (std::nothrow) MemberIndex;
  if (w.index == nullptr) return int32_t(STAT_ERR_FAILED);
  w.index->password = w.keptPassword;
  w.keptPassword = nullptr;
  if (w.index->password != nullptr) RARSetPassword(st->handle, w.index->password);

  ctx->memberCount = 0;
  // The engine ends the walk on its own: every header read moves forward, and the first
  // failure of any kind (end, broken header, missing volume) ends the pass normally.
  while (RARReadHeaderEx(st->handle, &st->headerRecord) == 0) {
    RARProcessFileW(st->handle, RAR_SKIP, nullptr, nullptr);
    const int32_t position = w.index->count;
    if (!memberIndexAppend(w.index, st->headerRecord.FileNameW)) {
      ublError(u"ArchOpenFile: out of memory after %d member names of %S\n", position,
               w.narrowPath);
      return int32_t(STAT_ERR_FAILED);
    }
    ctx->memberCount = w.index->count;
  }
  const int closed = RARCloseArchive(st->handle);
  st->handle = nullptr;
  return closed == 0 ? ARCH_OK : ARCH_E_FILE;
}

int32_t extractionPass(ArchContext* ctx, OpenWork& w) {
  RarState* st = w.state;
  st->openRecord.OpenMode = RAR_OM_EXTRACT;
  st->handle = RAROpenArchiveEx(&st->openRecord);
  if (st->handle == nullptr) return ARCH_E_OPEN;
  if (w.index->password != nullptr) RARSetPassword(st->handle, w.index->password);
  RARReadHeaderEx(st->handle, &st->headerRecord);  // member 0; an empty archive has none
  fillMemberFields(ctx, st);
  return ARCH_OK;
}

int32_t openPasses(ArchContext* ctx, const char16_t* path, OpenWork& w) {
  w.narrowPath = ublWideToNarrowDup(path);
  if (w.narrowPath == nullptr) return int32_t(STAT_ERR_FAILED);
  w.state = new (std::nothrow) RarState;
  if (w.state == nullptr) return int32_t(STAT_ERR_FAILED);
  RAROpenArchiveDataEx& rec = w.state->openRecord;
  rec.ArcName = w.narrowPath;
  rec.ArcNameW = path;
  rec.OpenMode = RAR_OM_LIST;
  int32_t result = listPass(ctx, w);
  if (result == ARCH_OK) result = extractionPass(ctx, w);
  // The engine has taken the names; the record must not point at strings it does not own.
  rec.ArcName = nullptr;
  rec.ArcNameW = nullptr;
  return result;
}

void releaseWork(OpenWork& w) {
  if (w.state != nullptr) {
    if (w.state->handle != nullptr) RARCloseArchive(w.state->handle);
    delete w.state;
  }
  memberIndexDestroy(w.index);
  wipeSecret(w.keptPassword);
  std::free(w.keptPassword);
  w = OpenWork{};
}

}  // namespace

extern "C" ARCH_API int32_t ArchOpenFile(ArchContext* ctx, const ArchChar16* path, uint32_t) {
  if (ctx == nullptr) return ARCH_E_FAILED;
  OpenWork w;
  int32_t result;
  if (path == nullptr) {
    result = ARCH_E_FAILED;
  } else if (ublFileSizeW(path) < kMinArchiveBytes) {  // -1 (unreadable) included
    ctx->flags[0] = ctx->flags[1] = ctx->flags[2] = ctx->flags[3] = 0;
    ctx->flags[8] = 1;
    ctx->memberCount = 0;
    result = ARCH_E_EMPTY;
  } else {
    if (ctx->index != nullptr) {
      w.keptPassword = ctx->index->password;
      ctx->index->password = nullptr;
    }
    if (ctx->state != nullptr || ctx->index != nullptr) {
      TempFileHolder* spill = ctx->spill;  // survives the re-open
      ctx->spill = nullptr;
      ArchClose(ctx);
      ctx->spill = spill;
    }
    result = openPasses(ctx, path, w);
    if (result == ARCH_OK) {
      ctx->currentIndex = 0;
      ctx->state = w.state;
      ctx->index = w.index;
      w.state = nullptr;
      w.index = nullptr;
      if (ctx->memberCount == 0) {
        ctx->flags[8] = 1;
        result = ARCH_E_EMPTY;
      }
    }
  }
  std::free(w.narrowPath);
  w.narrowPath = nullptr;
  releaseWork(w);
  if (result != ARCH_OK) ArchClose(ctx);
  return result;
}
