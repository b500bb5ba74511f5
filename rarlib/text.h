// Text conversions for member names and paths: UTF-8, UTF-16, code page 437,
// and the compact Unicode name encoding of RAR 4 file headers.
#ifndef RARLIB_TEXT_H_
#define RARLIB_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace rarlib {

// True when `s` is well-formed UTF-8 (no overlongs, surrogates or values above
// U+10FFFF).
bool IsValidUtf8(const uint8_t* s, size_t n);

// Decodes UTF-8; ill-formed sequences become U+FFFD each.
std::u16string Utf8ToUtf16(const uint8_t* s, size_t n);

// Encodes UTF-16 as UTF-8. Returns false on an unpaired surrogate.
bool Utf16ToUtf8(const char16_t* s, size_t n, std::string* out);

// Decodes bytes of the DOS code page 437.
std::u16string Cp437ToUtf16(const uint8_t* s, size_t n);

// A name without a Unicode form: UTF-8 when it is valid UTF-8, else code page 437.
std::u16string DecodeLegacyName(const uint8_t* s, size_t n);

// Decodes the encoded part of a RAR 4 Unicode name. `name`/`name_size` is the
// whole name field, which copy operations draw from at the position of the unit
// being produced; `enc`/`enc_size` the bytes after its NUL. Stops at the first
// U+0000. The result is empty when nothing could be decoded.
std::u16string DecodeRar4UnicodeName(const uint8_t* name, size_t name_size,
                                     const uint8_t* enc, size_t enc_size);

}  // namespace rarlib

#endif  // RARLIB_TEXT_H_
