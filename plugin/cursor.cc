// The forward-only cursor and the name lookups. Names match when their UTF-16 code units
// are identical; a lookup answers the first member with that name, counting from 0.
#include <cstdint>

#include "plugin/arcunpack.h"
#include "plugin/records.h"
#include "plugin/steps.h"
#include "rarlib/rar.h"

namespace {

// First position of `name` among the members, or -1 (also when the lookup cannot be made).
int32_t firstPosition(ArchContext* ctx, const ArchChar16* name) {
  if (ctx == nullptr || name == nullptr || !isOpen(ctx) || ctx->index == nullptr ||
      ctx->index->count == 0) {
    return -1;
  }
  return ctx->index->lookup.find(name);
}

}  // namespace

extern "C" {

ARCH_API int32_t ArchNextItem(ArchContext* ctx) {
  if (!isOpen(ctx) || ctx->currentIndex == INT32_MAX) return ARCH_NO_ITEM;
  // Past the last member the engine holds no member, so there is nothing to skip and the
  // step succeeds: the cursor keeps counting, as hosts walking to memberCount expect.
  const bool pastEnd = ctx->currentIndex >= ctx->memberCount;
  if (!pastEnd && RARProcessFileW(ctx->state->handle, RAR_SKIP, nullptr, nullptr) != 0) {
    return ARCH_NO_ITEM;
  }
  stepToNextHeader(ctx);
  return ctx->currentIndex;
}

ARCH_API uint8_t ArchFindItemByPath(ArchContext* ctx, const ArchChar16* name) {
  const int32_t target = firstPosition(ctx, name);
  // Not found (-1) falls here too; a later member of the same name is not considered.
  if (target < 0 || target < ctx->currentIndex) return 0;
  RarState* st = ctx->state;
  while (ctx->currentIndex < target) {
    if (RARProcessFileW(st->handle, RAR_SKIP, nullptr, nullptr) != 0) return 0;
    RARReadHeaderEx(st->handle, &st->headerRecord);
    ctx->currentIndex += 1;
  }
  fillMemberFields(ctx, st);
  return 1;
}

ARCH_API uint8_t ArchDoesMemberExist(ArchContext* ctx, const ArchChar16* name) {
  return firstPosition(ctx, name) >= 0 ? 1 : 0;
}

}  // extern "C"
