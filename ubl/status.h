// Status values: the error vocabulary of the base library, the trace log and
// the streams.
//
// A status is a 32-bit pattern. STAT_OK is complete success. A status is
// fatal (the operation failed) when its two top bits are 1 and 0; every other
// non-zero value is a remark on an operation that completed.
#pragma once

#include <stdint.h>

typedef uint32_t RSLT;

#define RSLT_IS_FATAL(s) ((((uint32_t)(s)) & 0xC0000000u) == 0x80000000u)

#define STAT_OK                        ((RSLT)0u)
#define STAT_INFO_NOTHING_DONE         ((RSLT)9u)
#define STAT_INFO_EMPTY_NAME           ((RSLT)37u)
#define STAT_INFO_CLAMPED              ((RSLT)45u)
#define STAT_INFO_ALREADY_OPEN         ((RSLT)0xC00u)
#define STAT_INFO_NOT_OPEN             ((RSLT)0xC01u)
#define STAT_ERR_TOO_BIG               ((RSLT)0x80000001u)
#define STAT_ERR_FAILED                ((RSLT)0x80000002u)
#define STAT_ERR_NO_MEMORY             ((RSLT)0x80000003u)
#define STAT_ERR_SIZE_OVER_MAX         ((RSLT)0x80000006u)
#define STAT_ERR_PATH_TOO_LONG         ((RSLT)0x80000009u)
#define STAT_ERR_BAD_STATE             ((RSLT)0x80000013u)
#define STAT_ERR_ASSIGN_SOURCE         ((RSLT)0x80000014u)
#define STAT_ERR_ASSIGN_BROKEN         ((RSLT)0x80000015u)
#define STAT_ERR_NOT_CONSTRUCTED       ((RSLT)0x80000016u)
#define STAT_ERR_ZERO_SIZE             ((RSLT)0x80000031u)
#define STAT_ERR_SHORT_READ            ((RSLT)0x8000003au)
#define STAT_ERR_SHORT_WRITE           ((RSLT)0x8000003bu)
#define STAT_ERR_NOT_GROWABLE          ((RSLT)0x8000003eu)
#define STAT_ERR_BAD_POINTER           ((RSLT)0x80000044u)
#define STAT_ERR_ALREADY_OPEN          ((RSLT)0x80000100u)
#define STAT_ERR_NO_ROOM               ((RSLT)0x80000102u)
#define STAT_ERR_MEM_SEEK_BEFORE_START ((RSLT)0x80000103u)
#define STAT_ERR_NOT_OPEN              ((RSLT)0x80000104u)
#define STAT_ERR_BAD_MODE              ((RSLT)0x80000108u)
#define STAT_ERR_MUST_EXIST            ((RSLT)0x80000109u)
#define STAT_ERR_MUST_BE_NEW           ((RSLT)0x8000010au)
#define STAT_ERR_BAD_PARAM             ((RSLT)0x80000200u)
#define STAT_ERR_NULL_NAME             ((RSLT)0x80000201u)
#define STAT_ERR_READ_FAILED           ((RSLT)0x80000282u)
#define STAT_ERR_NO_FILE               ((RSLT)0x80000283u)
#define STAT_ERR_WRITE_FAILED          ((RSLT)0x80000286u)
#define STAT_ERR_SEEK_FAILED           ((RSLT)0x80000287u)
#define STAT_ERR_CLOSE_FAILED          ((RSLT)0x80000288u)
#define STAT_ERR_OPEN_FAILED           ((RSLT)0x80000289u)
#define STAT_ERR_SIZE_FAILED           ((RSLT)0x8000028au)
#define STAT_ERR_FLUSH_FAILED          ((RSLT)0x8000028bu)
#define STAT_ERR_FILE_END              ((RSLT)0x8000028cu)
#define STAT_ERR_IO_TOO_LARGE          ((RSLT)0x8000029fu)
#define STAT_ERR_NO_ACCESS_MODE        ((RSLT)0x800002a0u)
#define STAT_ERR_SEEK_BEFORE_START     ((RSLT)0x800002a2u)
#define STAT_ERR_SEEK_PAST_END         ((RSLT)0x800002a3u)
