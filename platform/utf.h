// UTF-16 (char16_t) <-> UTF-8 conversion for the system's text.
//
// The system keeps paths, names and messages as zero-terminated UTF-16; the
// operating system and narrow interfaces take UTF-8. Conversion from UTF-16
// fails only on ill-formed input (an unpaired surrogate) or a target that is
// too small; it never depends on the process locale.
#pragma once

#include <cstddef>
#include <cstdint>

// Number of UTF-16 units before the terminator; 0 for null.
size_t platWideLength(const char16_t* text);

// Bytes the UTF-8 form of `text` needs, without the terminator, or SIZE_MAX
// when `text` holds an unpaired surrogate. Null counts as empty.
size_t platUtf8LengthOf(const char16_t* text);

// Converts the zero-terminated `text` into `out` (capacity `outSize` bytes,
// terminator included). Returns false, with `out` holding an empty string when
// `outSize` > 0, if the text is ill-formed or does not fit.
bool platWideToUtf8(const char16_t* text, char* out, size_t outSize);

// Converts the zero-terminated UTF-8 `text` into `out` (capacity `outUnits`
// UTF-16 units, terminator included). Ill-formed bytes become U+FFFD when
// `lenient`, else the call fails. Returns false (empty `out`) when it does not
// fit or, without `lenient`, when the text is ill-formed.
bool platUtf8ToWide(const char* text, char16_t* out, size_t outUnits, bool lenient);
