// Temporary file paths: invents the name of a new temporary file and creates
// the file, empty and owner-only, so that the name is reserved.
//
// Layout: <dir>/QTK_[<tag>_][<kind>_]<YYYYMMDDhhmmss.mmm>_<counter %10d>.
// The directory is `dir` when non-empty, else the value of the environment
// variable TEMP when set and non-empty, else /tmp (created if missing). The
// creation is exclusive: concurrent callers (threads or processes) never get
// the same path. At most UBL_TEMP_ATTEMPTS names are tried per call.
#pragma once

#include <cstdint>

// Capacity of the returned path buffer, in UTF-16 units.
constexpr int32_t UBL_TEMP_PATH_CHARS = 1024;
constexpr int UBL_TEMP_ATTEMPTS = 1001;

// Process-wide name counter: increased by one per attempt, never reset.
extern int32_t gTempCounter;

// Returns the path of a newly created empty file, or null. The buffer has
// UBL_TEMP_PATH_CHARS units, belongs to the caller and is released with
// ::operator delete (or ublFreeTempPath). `capacity`, when given, is 1024 on
// success and 0 on failure. Tag and kind are left out when null or empty and
// dropped (kind first) when the directory leaves no room for them; a directory
// longer than 984 units fails at once.
char16_t* ublGenTempW(const char16_t* dir, int32_t* capacity, const char16_t* tag,
                      const char16_t* kind);

void ublFreeTempPath(char16_t* path);
