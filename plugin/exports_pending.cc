// Placeholders for the exports that open, walk and extract archives; each
// answers ARCH_E_FAILED until its real implementation replaces this file.
#include "plugin/arcunpack.h"

extern "C" {

ARCH_API int32_t ArchOpenFile(ArchContext*, const ArchChar16*, uint32_t) { return ARCH_E_FAILED; }
ARCH_API int32_t ArchOpenBuffer(ArchContext*, const void*, uint32_t, uint32_t,
                                const ArchChar16*) {
  return ARCH_E_FAILED;
}
ARCH_API int32_t ArchOpenStream(ArchContext*, cAbstractStream*, const ArchChar16*) {
  return ARCH_E_FAILED;
}
ARCH_API int32_t ArchNextItem(ArchContext*) { return ARCH_NO_ITEM; }
ARCH_API int32_t ArchReadMemberToBuffer(ArchContext*, void*, uint32_t) { return ARCH_E_FAILED; }
ARCH_API int32_t ArchReadMemberToFile(ArchContext*, const ArchChar16*) { return ARCH_E_FAILED; }
ARCH_API uint8_t ArchFindItemByPath(ArchContext*, const ArchChar16*) { return 0; }
ARCH_API uint8_t ArchDoesMemberExist(ArchContext*, const ArchChar16*) { return 0; }
ARCH_API int32_t ArchSetEncryptionKey(ArchContext*, const ArchChar16*) { return ARCH_E_FAILED; }

}  // extern "C"
