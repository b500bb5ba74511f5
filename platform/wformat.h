// A bounded printf for UTF-16 (char16_t) text.
//
// Conversions: %s a wide string (const char16_t*), %S a narrow UTF-8 string
// (const char*), %c one wide character (passed as int), %d %i signed, %u %x %X
// unsigned, %p a pointer, %% a percent sign. Flags '-' (left-align), '0'
// (zero padding), '+', ' '; width and precision, either may be '*'. Integer
// lengths: none (32-bit int), h, hh, l, ll, z, j, and I64 (64-bit). A null
// string prints as "(null)"; precision cuts a string to at most that many
// units. An unknown conversion is copied literally.
//
// Output never passes the buffer: at most `capacity` - 1 units are written
// and, when `capacity` > 0, a terminator always follows them. A narrow string
// that is not valid UTF-8 gets U+FFFD for each bad byte.
#pragma once

#include <cstdarg>
#include <cstddef>

// Returns the number of units the complete output has (without terminator),
// which exceeds capacity - 1 exactly when the output was cut.
size_t platFormatW(char16_t* buf, size_t capacity, const char16_t* format, ...);
size_t platVFormatW(char16_t* buf, size_t capacity, const char16_t* format, va_list args);
