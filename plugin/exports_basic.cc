// ArchInit, ArchClose and the operations the plug-in does not support.
#include "plugin/arcunpack.h"
#include "plugin/records.h"
#include "rarlib/rar.h"

extern "C" {

ARCH_API int32_t ArchInit(ArchInitInfo* info) {
  if (!info) return ARCH_OK;
  RARInitTables();
  info->value2 = 1612;
  info->value1 = 57;
  info->value3 = 1;
  return ARCH_OK;
}

ARCH_API int32_t ArchClose(ArchContext* ctx) {
  if (!ctx) return ARCH_OK;
  if (RarState* state = ctx->state) {
    // The engine lets go of the archive before a temporary file is deleted.
    if (state->handle) RARCloseArchive(state->handle);
    ctx->memberName = nullptr;
    delete state;
    ctx->state = nullptr;
  }
  if (ctx->spill) {
    tempFileHolderDestroy(ctx->spill);
    ctx->spill = nullptr;
  }
  if (ctx->index) {
    memberIndexDestroy(ctx->index);
    ctx->index = nullptr;
  }
  ctx->memberName = nullptr;
  return ARCH_OK;
}

namespace {
int32_t unsupported() { return ARCH_E_UNSUPPORTED; }
}  // namespace

ARCH_API int32_t ArchRemoveMember(ArchContext*, const ArchChar16*) { return unsupported(); }

ARCH_API int32_t ArchWriteMemberFromBuffer(ArchContext*, const ArchChar16*, const void*,
                                           uint32_t) {
  return unsupported();
}

ARCH_API int32_t ArchWriteMemberFromFile(ArchContext*, const ArchChar16*, const ArchChar16*) {
  return unsupported();
}

}  // extern "C"
