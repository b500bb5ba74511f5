#include "plugin/steps.h"

#include <cstring>

bool isOpen(const ArchContext* ctx) {
  return ctx != nullptr && ctx->state != nullptr && ctx->state->handle != nullptr;
}

void handPassword(ArchContext* ctx) {
  if (ctx->index != nullptr && ctx->index->password != nullptr) {
    RARSetPassword(ctx->state->handle, ctx->index->password);
  }
}

int64_t enginePosition(ArchContext* ctx) {
  int64_t current = -1;
  int64_t next = -1;
  if (RARGetBlockPositions(ctx->state->handle, &current, &next) != 0) return -1;
  return current;
}

void stepToNextHeader(ArchContext* ctx) {
  RARReadHeaderEx(ctx->state->handle, &ctx->state->headerRecord);  // a failure keeps the record
  ctx->currentIndex += 1;
  fillMemberFields(ctx, ctx->state);
}

int32_t finishExtraction(ArchContext* ctx, int32_t pending) {
  RarState* st = ctx->state;
  const int rc = RARReadHeaderEx(st->handle, &st->headerRecord);
  // The header read after the last member fails by nature; before it, it is a fault.
  if (rc != 0 && int64_t(ctx->currentIndex) + 1 != ctx->memberCount) return ARCH_E_FAILED;
  fillMemberFields(ctx, st);
  ctx->currentIndex += 1;
  return pending;
}

void wipeSecret(char* secret) {
  if (secret == nullptr) return;
  volatile char* p = secret;
  while (*p != 0) *p++ = 0;
}
