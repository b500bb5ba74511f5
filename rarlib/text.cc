#include "rarlib/text.h"

namespace rarlib {
namespace {

// Decodes one UTF-8 sequence at s[i]; returns its length, or 0 when ill-formed.
size_t DecodeUtf8At(const uint8_t* s, size_t n, size_t i, uint32_t* cp) {
  uint8_t b = s[i];
  if (b < 0x80) {
    *cp = b;
    return 1;
  }
  size_t len;
  uint32_t v, min;
  if ((b & 0xE0) == 0xC0) {
    len = 2, v = b & 0x1F, min = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    len = 3, v = b & 0x0F, min = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    len = 4, v = b & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (n - i < len) return 0;
  for (size_t k = 1; k < len; ++k) {
    if ((s[i + k] & 0xC0) != 0x80) return 0;
    v = (v << 6) | (s[i + k] & 0x3F);
  }
  if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
  *cp = v;
  return len;
}

void AppendCodePoint(uint32_t cp, std::u16string* out) {
  if (cp < 0x10000) {
    out->push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Code page 437, bytes 0x80..0xFF.
const char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8,
    0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2,
    0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1,
    0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD,
    0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562,
    0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534,
    0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560,
    0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393,
    0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6,
    0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0,
    0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

}  // namespace

bool IsValidUtf8(const uint8_t* s, size_t n) {
  uint32_t cp;
  for (size_t i = 0; i < n;) {
    size_t len = DecodeUtf8At(s, n, i, &cp);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

std::u16string Utf8ToUtf16(const uint8_t* s, size_t n) {
  std::u16string out;
  out.reserve(n);
  uint32_t cp;
  for (size_t i = 0; i < n;) {
    size_t len = DecodeUtf8At(s, n, i, &cp);
    if (len == 0) {
      out.push_back(0xFFFD);
      ++i;
    } else {
      AppendCodePoint(cp, &out);
      i += len;
    }
  }
  return out;
}

bool Utf16ToUtf8(const char16_t* s, size_t n, std::string* out) {
  out->clear();
  out->reserve(n * 3);
  for (size_t i = 0; i < n; ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 >= n || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return false;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      return false;
    }
    if (cp < 0x80) {
      out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return true;
}

std::u16string Cp437ToUtf16(const uint8_t* s, size_t n) {
  std::u16string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    out.push_back(s[i] < 0x80 ? char16_t{s[i]} : kCp437High[s[i] - 0x80]);
  }
  return out;
}

std::u16string DecodeLegacyName(const uint8_t* s, size_t n) {
  return IsValidUtf8(s, n) ? Utf8ToUtf16(s, n) : Cp437ToUtf16(s, n);
}

std::u16string DecodeRar4UnicodeName(const uint8_t* name, size_t name_size,
                                     const uint8_t* enc, size_t enc_size) {
  std::u16string out;
  if (enc_size == 0) return out;
  const uint32_t high = enc[0];
  size_t p = 1;
  size_t i = 0;  // index of the unit being produced, also the copy position
  unsigned flags = 0;
  int flag_bits = 0;
  // Every step consumes at least one byte, so the loop ends within enc_size steps;
  // the output is bounded by the name field's size (2 units per encoded byte).
  const size_t limit = name_size + enc_size;
  while (p < enc_size && out.size() < limit) {
    if (flag_bits == 0) {
      flags = enc[p++];
      flag_bits = 8;
      if (p >= enc_size) break;
    }
    switch (flags >> 6) {
      case 0:
        out.push_back(enc[p++]);
        ++i;
        break;
      case 1:
        out.push_back(static_cast<char16_t>(enc[p++] + (high << 8)));
        ++i;
        break;
      case 2:
        if (p + 1 >= enc_size) {
          p = enc_size;
          break;
        }
        out.push_back(static_cast<char16_t>(enc[p] | (enc[p + 1] << 8)));
        p += 2;
        ++i;
        break;
      case 3: {
        uint32_t len = enc[p++];
        if (len & 0x80) {
          if (p >= enc_size) {
            p = enc_size;
            break;
          }
          uint8_t correction = enc[p++];
          for (len = (len & 0x7F) + 2; len > 0 && i < name_size; --len, ++i) {
            out.push_back(static_cast<char16_t>(((name[i] + correction) & 0xFF) + (high << 8)));
          }
        } else {
          for (len += 2; len > 0 && i < name_size; --len, ++i) out.push_back(name[i]);
        }
        break;
      }
    }
    flags = (flags << 2) & 0xFF;
    flag_bits -= 2;
  }
  size_t nul = out.find(char16_t{0});
  if (nul != std::u16string::npos) out.resize(nul);
  return out;
}

}  // namespace rarlib
