/* arcunpack: the plug-in interface a host scanning engine uses to look inside
 * RAR archives.
 *
 * The host zero-fills one ArchContext per archive, opens it with
 * ArchOpenFile, ArchOpenBuffer or ArchOpenStream, reads the current member's
 * description from the context, moves with ArchNextItem or
 * ArchFindItemByPath, extracts with ArchReadMemberToBuffer or
 * ArchReadMemberToFile, and ends with ArchClose (also after a failed open).
 *
 * Rules:
 * - Calls on one context must not overlap; separate contexts may be used
 *   from separate threads at once.
 * - Strings are zero-terminated UTF-16. The plug-in copies what it keeps and
 *   never holds on to a host pointer after a call returns; it never destroys
 *   a host stream.
 * - Everything reachable from `state`, `spill` and `index` belongs to the
 *   plug-in and is released by ArchClose. `memberName` is borrowed: valid
 *   until the next call on the context.
 * - No call throws or lets a fault escape; results are the codes below.
 *
 * Usable from C (C99 or later) and C++.
 */
#ifndef ARCUNPACK_ARCUNPACK_H_
#define ARCUNPACK_ARCUNPACK_H_

#include <stdint.h>

#ifdef __cplusplus
typedef char16_t ArchChar16;
class cAbstractStream; /* stream/abstract_stream.h */
extern "C" {
#else
typedef uint_least16_t ArchChar16; /* same representation as char16_t */
typedef struct cAbstractStream cAbstractStream; /* opaque to C hosts */
#endif

#if defined(__GNUC__)
#define ARCH_API __attribute__((visibility("default")))
#else
#define ARCH_API
#endif

/* Result codes of the exports. ArchNextItem answers the new position or
 * ARCH_NO_ITEM; whether an open succeeded is decided by comparing with
 * ARCH_OK. */
#define ARCH_OK 0
#define ARCH_NO_ITEM (-1)
#define ARCH_E_FILE 13        /* archive could not be finished/closed, or no temporary path */
#define ARCH_E_EMPTY 18       /* file of 20 bytes or less, or no member */
#define ARCH_E_FAILED 29      /* bad argument, no open archive, extraction failed */
#define ARCH_E_UNSUPPORTED 34 /* writing and removing members */
#define ARCH_E_OPEN 37        /* the archive could not be opened or spilled */

/* Base-library status values that also reach hosts (as signed 32-bit). */
#define ARCH_STAT_ERR_FAILED (-2147483646)      /* 0x80000002 */
#define ARCH_STAT_ERR_NO_MEMORY (-2147483645)   /* 0x80000003 */
#define ARCH_STAT_ERR_SHORT_READ (-2147483590)  /* 0x8000003a */
#define ARCH_STAT_ERR_SHORT_WRITE (-2147483589) /* 0x8000003b */

/* Filled by ArchInit; never read back. */
typedef struct ArchInitInfo {
  uint32_t value1; /* 57 */
  uint32_t value2; /* 1612 */
  uint32_t value3; /* 1 */
} ArchInitInfo;

struct RarState;       /* private to the plug-in */
struct TempFileHolder; /* private to the plug-in */
struct MemberIndex;    /* private to the plug-in */

/* One archive. Natural layout: 44 bytes with 4-byte pointers, 64 bytes on
 * x86-64. The descriptive fields keep their last values after ArchClose. */
typedef struct ArchContext {
  /* [0],[1]: 1 when describing a member of an open archive; [2],[3]: 0;
   * [4]: never written; [5]: current member encrypted; [6]: archive carries
   * authenticity information; [7]: 0; [8]: 1 when the archive has no member. */
  uint8_t flags[9];
  uint32_t method;       /* compression method byte, 48 (stored) .. 53 (best) */
  int32_t memberCount;   /* members found when opening */
  int32_t currentIndex;  /* zero-based position of the current member */
  uint32_t unpackedSize; /* low 32 bits of the current member's size */
  struct RarState* state;       /* null when no archive is open */
  struct TempFileHolder* spill; /* null when no temporary file belongs here */
  struct MemberIndex* index;    /* null when neither archive nor password is held */
  const ArchChar16* memberName; /* current member's name; null after ArchClose */
} ArchContext;

/* Always ARCH_OK; a null record is accepted and left alone. */
ARCH_API int32_t ArchInit(ArchInitInfo* info);

/* `reserved` is not examined. */
ARCH_API int32_t ArchOpenFile(ArchContext* ctx, const ArchChar16* path, uint32_t reserved);

/* Spills `size` bytes into `tempPath` (or a generated temporary file when
 * null) and opens that. `reserved` is not examined. */
ARCH_API int32_t ArchOpenBuffer(ArchContext* ctx, const void* data, uint32_t size,
                                uint32_t reserved, const ArchChar16* tempPath);

/* Copies the host's stream into `tempPath` (an existing file) or a generated
 * temporary file when null, and opens that. */
ARCH_API int32_t ArchOpenStream(ArchContext* ctx, cAbstractStream* stream,
                                const ArchChar16* tempPath);

ARCH_API int32_t ArchNextItem(ArchContext* ctx);
ARCH_API int32_t ArchReadMemberToBuffer(ArchContext* ctx, void* buffer, uint32_t size);
ARCH_API int32_t ArchReadMemberToFile(ArchContext* ctx, const ArchChar16* destPath);
/* Both answer 1 (found) or 0. */
ARCH_API uint8_t ArchFindItemByPath(ArchContext* ctx, const ArchChar16* name);
ARCH_API uint8_t ArchDoesMemberExist(ArchContext* ctx, const ArchChar16* name);
ARCH_API int32_t ArchSetEncryptionKey(ArchContext* ctx, const ArchChar16* password);

/* Always ARCH_OK; releases everything the plug-in hung off the context and
 * deletes a temporary file it generated. A null or empty context is fine. */
ARCH_API int32_t ArchClose(ArchContext* ctx);

/* Not supported: always ARCH_E_UNSUPPORTED, arguments not examined. */
ARCH_API int32_t ArchRemoveMember(ArchContext* ctx, const ArchChar16* name);
ARCH_API int32_t ArchWriteMemberFromBuffer(ArchContext* ctx, const ArchChar16* name,
                                           const void* data, uint32_t size);
ARCH_API int32_t ArchWriteMemberFromFile(ArchContext* ctx, const ArchChar16* name,
                                         const ArchChar16* path);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* ARCUNPACK_ARCUNPACK_H_ */
