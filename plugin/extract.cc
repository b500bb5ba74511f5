// Extraction of the member at the cursor into a caller buffer or a file.
//
// Both answer ARCH_OK or ARCH_E_FAILED. Whenever the engine ends up past the member
// (success, or a failure it did not return from), the cursor follows it to the next
// member; when the engine returned to the member's own header (a failure while a
// password is set), the cursor stays so the member can be tried again.
#include "plugin/arcunpack.h"
#include "plugin/memory_target.h"
#include "plugin/records.h"
#include "plugin/steps.h"
#include "rarlib/rar.h"
#include "ubl/memory.h"

namespace {

bool canExtract(ArchContext* ctx, const void* target) {
  return ctx != nullptr && target != nullptr && isOpen(ctx) && ctx->index != nullptr;
}

// Moves the cursor as the engine moved during an extraction that started on the member
// header at `headerAt` and returned `rc`. The engine either stands past the member and the
// service blocks that belong to it, or, after a failure while a password is set, back on
// the member's own header.
int32_t followEngine(ArchContext* ctx, int64_t headerAt, int rc) {
  const int64_t now = enginePosition(ctx);
  if (headerAt < 0 || now < 0 || now == headerAt) return ARCH_E_FAILED;
  return finishExtraction(ctx, rc == 0 ? ARCH_OK : ARCH_E_FAILED);
}

}  // namespace

extern "C" {

ARCH_API int32_t ArchReadMemberToBuffer(ArchContext* ctx, void* buffer, uint32_t size) {
  if (!canExtract(ctx, buffer)) return ARCH_E_FAILED;
  MemoryTarget target{static_cast<uint8_t*>(buffer), size};
  RARSetCallback(ctx->state->handle, memoryTargetDeliver, &target);
  handPassword(ctx);
  const int64_t headerAt = enginePosition(ctx);
  const int rc = RARProcessFileW(ctx->state->handle, RAR_EXTRACT, nullptr, nullptr);
  RARSetCallback(ctx->state->handle, nullptr, nullptr);  // later extractions never land here
  return followEngine(ctx, headerAt, rc);
}

ARCH_API int32_t ArchReadMemberToFile(ArchContext* ctx, const ArchChar16* destPath) {
  if (!canExtract(ctx, destPath)) return ARCH_E_FAILED;
  handPassword(ctx);
  // A directory member creates nothing: whatever file stands at its path goes.
  if ((ctx->state->headerRecord.Flags & RHDF_DIRECTORY) == RHDF_DIRECTORY) {
    ublDeleteFileW(destPath);
  }
  const int64_t headerAt = enginePosition(ctx);
  const int rc = RARProcessFileW(ctx->state->handle, RAR_EXTRACT, nullptr, destPath);
  return followEngine(ctx, headerAt, rc);
}

}  // extern "C"
