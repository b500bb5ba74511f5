// Whole-file writing and system error reports.
#pragma once

#include <cstdint>

// Writes `size` bytes of `data` to `path` and closes the file. `overwrite`
// creates or empties the file; without it the file must not exist yet. A new
// file is owner-only (0600). `plain` is accepted for callers that ask for
// backup semantics; it has no effect here. Every byte is written or the call
// fails: true only when all bytes were written and the file closed. On a
// failed write the file stays with what it holds; each failure writes one
// error diagnostic.
bool ublWriteFileW(const char16_t* path, const void* data, uint32_t size, bool overwrite,
                   bool plain);

// Writes the error diagnostic "<operation> failed with error <code>: <text>"
// with the system's text for error number `code`; nothing when the system has
// no text for it.
void ublReportSysError(const char* operation, uint32_t code);
