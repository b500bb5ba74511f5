// The fio_ layer: one free function per platform file operation. It turns a
// mode word (stream/abstract_stream.h) into platform open parameters and every
// platform failure into a status; it never throws and keeps no state.
//
// Counts are signed 64-bit; a single read or write of 4 GiB or more is refused
// with STAT_ERR_IO_TOO_LARGE without touching the file.
#pragma once

#include <cstdint>

#include "platform/file.h"
#include "ubl/status.h"

// Opens `path` as the mode word asks (access, creation disposition; the share
// bits and `attributes` have no effect here) and stores the handle in
// `*handle`. STAT_OK; STAT_ERR_NO_ACCESS_MODE (nothing touched) when the mode
// asks for neither reading nor writing; STAT_ERR_OPEN_FAILED otherwise.
RSLT fio_fileOpen(const char16_t* path, uint32_t mode, PlatFile* handle, uint32_t attributes);

// Reads `count` bytes, fewer only at the end of the file. `*countRead` is set
// first to 0, then to the count read. STAT_ERR_FILE_END when no byte came,
// STAT_ERR_READ_FAILED when the platform failed.
RSLT fio_fileRead(PlatFile handle, uint8_t* dest, int64_t count, int64_t* countRead);

// Writes all `count` bytes. `*countWritten` as for reads; STAT_ERR_WRITE_FAILED
// (count 0) when the platform failed.
RSLT fio_fileWrite(PlatFile handle, const uint8_t* src, int64_t count, int64_t* countWritten);

// Moves the platform file position (origin 0 begin, 1 current, else end).
// STAT_ERR_SEEK_FAILED only when the platform refuses.
RSLT fio_fileSeek(PlatFile handle, int64_t offset, int32_t origin);

// STAT_ERR_SIZE_FAILED / STAT_ERR_FLUSH_FAILED / STAT_ERR_CLOSE_FAILED on failure.
RSLT fio_fileSize(PlatFile handle, int64_t* size);
RSLT fio_fileFlush(PlatFile handle);
RSLT fio_fileClose(PlatFile handle);

// Ends the file at the platform's current file position (which may lie past
// the end: the file then grows, reading back zeros). STAT_ERR_FILE_END when
// that fails.
RSLT fio_fileTruncate(PlatFile handle);

// Resolves `path` against the current directory into `dest` (capacity
// `capacity` units, terminator included). STAT_ERR_READ_FAILED when it cannot
// be resolved within 259 units, STAT_ERR_PATH_TOO_LONG when the result does
// not leave room in `dest`.
RSLT fio_fullPath(const char16_t* path, char16_t* dest, int64_t capacity);
