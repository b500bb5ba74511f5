#include "plugin/records.h"

int32_t fillMemberFields(ArchContext* ctx, RarState* state) {
  if (!ctx || !state) return ARCH_OK;
  uint8_t live = state->handle ? 1 : 0;
  ctx->flags[0] = live;
  ctx->flags[1] = live;
  ctx->flags[2] = 0;
  ctx->flags[3] = 0;
  ctx->flags[5] = (state->headerRecord.Flags & RHDF_ENCRYPTED) ? 1 : 0;
  ctx->flags[6] = (state->openRecord.Flags & ROADF_SIGNED) ? 1 : 0;
  ctx->flags[7] = 0;
  ctx->flags[8] = uint32_t(ctx->memberCount) < 1u ? 1 : 0;
  ctx->method = state->headerRecord.Method;
  ctx->unpackedSize = state->headerRecord.UnpSize;
  ctx->memberName = state->headerRecord.FileNameW;
  return ARCH_OK;
}
