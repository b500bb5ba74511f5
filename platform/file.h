// Plain file access on UTF-8 paths: the one place the system opens, reads,
// writes, positions, measures, flushes, truncates and closes files.
//
// Paths are zero-terminated UTF-16; a path with an unpaired surrogate or one
// longer than the platform allows fails with ENAMETOOLONG/EILSEQ. Every call
// returns 0 or the system error number (errno) and never throws. Descriptors
// are opened close-on-exec.
#pragma once

#include <cstddef>
#include <cstdint>

using PlatFile = int;
constexpr PlatFile PLAT_NO_FILE = -1;

// Access bits.
constexpr unsigned PLAT_ACCESS_READ = 0x1;
constexpr unsigned PLAT_ACCESS_WRITE = 0x2;

// What to do about an existing or missing file.
enum PlatDisposition {
  PLAT_OPEN_EXISTING,      // fail when missing
  PLAT_OPEN_ALWAYS,        // create when missing, keep contents
  PLAT_CREATE_NEW,         // fail when the name exists (file, directory or link)
  PLAT_CREATE_ALWAYS,      // create when missing, empty when present
  PLAT_TRUNCATE_EXISTING,  // fail when missing, empty when present
};

// Permission of a newly created file: owner-only (0600) when `ownerOnly`,
// else 0666 less the process umask.
int platFileOpen(const char16_t* path, unsigned access, PlatDisposition disposition,
                 bool ownerOnly, PlatFile* out);

// Reads up to `size` bytes; *got is the count read (0 at end of file).
// Interrupted reads are retried.
int platFileRead(PlatFile f, void* buf, size_t size, size_t* got);

// Writes all `size` bytes unless the system refuses; *put is the count written.
// A system that writes nothing without an error gives EIO.
int platFileWrite(PlatFile f, const void* buf, size_t size, size_t* put);

// Origins of platFileSeek.
constexpr int PLAT_SEEK_BEGIN = 0;
constexpr int PLAT_SEEK_CURRENT = 1;
constexpr int PLAT_SEEK_END = 2;

// Moves the file position; *newPos (optional) receives the resulting position.
int platFileSeek(PlatFile f, int64_t offset, int origin, int64_t* newPos);
int platFileSize(PlatFile f, int64_t* size);
int platFileFlush(PlatFile f);
// Sets the length of the file to `length` bytes.
int platFileTruncate(PlatFile f, int64_t length);
int platFileClose(PlatFile f);
