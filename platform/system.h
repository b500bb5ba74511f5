// Small operating-system services: environment, directories, file status,
// deletion and error texts. Paths are zero-terminated UTF-16.
#pragma once

#include <cstddef>
#include <cstdint>

// Copies the value of environment variable `name` (ASCII) as UTF-16 into
// `out` (capacity `outUnits`). Returns 1 when set and copied, 0 when unset,
// -1 when set but not valid UTF-8 or too long for `out`.
int platGetEnv(const char* name, char16_t* out, size_t outUnits);

// Creates a directory with permissions 0700 (less umask). 0 or errno
// (EEXIST when the name exists).
int platMakeDir(const char16_t* path);

enum PlatFileKind { PLAT_KIND_NONE, PLAT_KIND_FILE, PLAT_KIND_DIR, PLAT_KIND_OTHER };

// Status of the name, following links. Returns 0 or errno (ENOENT when it
// does not exist; *kind is PLAT_KIND_NONE then). `size` may be null.
int platFileStatus(const char16_t* path, PlatFileKind* kind, int64_t* size);

// Removes a file (not a directory). 0 or errno.
int platDeleteFile(const char16_t* path);

// Writes the system's text for error number `code` into `out`, always
// terminated. Returns false when the system has no text for it.
bool platErrorText(int code, char* out, size_t outSize);
