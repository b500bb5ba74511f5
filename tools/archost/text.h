// Text helpers of the host harness: UTF-8 <-> UTF-16 for the plug-in's wide strings, and
// the escaped form in which member names are printed (one name per line, tab-separated).
#pragma once

#include <string>

namespace archost {

// UTF-16 (zero-terminated; null gives "") to UTF-8. Unpaired surrogates become U+FFFD.
std::string toUtf8(const char16_t* text);

// UTF-8 to UTF-16. Ill-formed bytes become U+FFFD, so the result is always usable.
std::u16string toUtf16(const std::string& text);

// A name as printed in listings: `\\`, `\t`, `\n`, `\r` and other control characters
// (`\xNN`) are escaped so that a name always stays one field of one line.
std::string escapeName(const std::string& utf8);

// A string as a JSON string literal, quotes included.
std::string jsonString(const std::string& utf8);

}  // namespace archost
