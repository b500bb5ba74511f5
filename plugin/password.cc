// ArchSetEncryptionKey: keeps the password (UTF-8) in the context's index; it reaches the
// engine after each open and before each extraction.
#include <cstdlib>
#include <new>

#include "plugin/arcunpack.h"
#include "plugin/records.h"
#include "plugin/steps.h"
#include "ubl/memory.h"

extern "C" ARCH_API int32_t ArchSetEncryptionKey(ArchContext* ctx, const ArchChar16* password) {
  if (ctx == nullptr || password == nullptr) return ARCH_E_FAILED;
  if (ctx->index == nullptr) {
    ctx->index = new (std::nothrow) MemberIndex;  // password only, no names
    if (ctx->index == nullptr) return ARCH_E_FAILED;
  }
  MemberIndex* index = ctx->index;
  wipeSecret(index->password);
  std::free(index->password);
  index->password = ublWideToNarrowDup(password);
  return index->password != nullptr ? ARCH_OK : ARCH_E_FAILED;
}
