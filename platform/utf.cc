#include "platform/utf.h"

namespace {

bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Decodes one code point at text[*i]; advances *i. Returns -1 when ill-formed.
int32_t nextCodePoint(const char16_t* text, size_t* i) {
  char16_t u = text[*i];
  if (isHighSurrogate(u)) {
    char16_t v = text[*i + 1];
    if (!isLowSurrogate(v)) return -1;
    *i += 2;
    return 0x10000 + ((int32_t(u) - 0xD800) << 10) + (int32_t(v) - 0xDC00);
  }
  if (isLowSurrogate(u)) return -1;
  *i += 1;
  return u;
}

size_t utf8Width(int32_t cp) {
  return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

}  // namespace

size_t platWideLength(const char16_t* text) {
  size_t n = 0;
  if (text)
    while (text[n]) ++n;
  return n;
}

size_t platUtf8LengthOf(const char16_t* text) {
  if (!text) return 0;
  size_t total = 0;
  for (size_t i = 0; text[i];) {
    int32_t cp = nextCodePoint(text, &i);
    if (cp < 0) return SIZE_MAX;
    total += utf8Width(cp);
  }
  return total;
}

bool platWideToUtf8(const char16_t* text, char* out, size_t outSize) {
  if (!out || outSize == 0) return false;
  size_t o = 0;
  if (text) {
    for (size_t i = 0; text[i];) {
      int32_t cp = nextCodePoint(text, &i);
      if (cp < 0) {
        out[0] = '\0';
        return false;
      }
      size_t w = utf8Width(cp);
      if (outSize - o <= w) {  // keep one byte for the terminator
        out[0] = '\0';
        return false;
      }
      unsigned char* p = reinterpret_cast<unsigned char*>(out + o);
      switch (w) {
        case 1: p[0] = uint8_t(cp); break;
        case 2:
          p[0] = uint8_t(0xC0 | (cp >> 6));
          p[1] = uint8_t(0x80 | (cp & 0x3F));
          break;
        case 3:
          p[0] = uint8_t(0xE0 | (cp >> 12));
          p[1] = uint8_t(0x80 | ((cp >> 6) & 0x3F));
          p[2] = uint8_t(0x80 | (cp & 0x3F));
          break;
        default:
          p[0] = uint8_t(0xF0 | (cp >> 18));
          p[1] = uint8_t(0x80 | ((cp >> 12) & 0x3F));
          p[2] = uint8_t(0x80 | ((cp >> 6) & 0x3F));
          p[3] = uint8_t(0x80 | (cp & 0x3F));
          break;
      }
      o += w;
    }
  }
  out[o] = '\0';
  return true;
}

namespace {

// Decodes one UTF-8 sequence at s; returns the code point (or -1 when
// ill-formed) and the number of bytes consumed in *len (at least 1).
int32_t decodeUtf8(const unsigned char* s, size_t* len) {
  unsigned char b = s[0];
  *len = 1;
  if (b < 0x80) return b;
  int need;
  int32_t cp;
  int32_t min;
  if (b >= 0xC2 && b <= 0xDF) { need = 1; cp = b & 0x1F; min = 0x80; }
  else if (b >= 0xE0 && b <= 0xEF) { need = 2; cp = b & 0x0F; min = 0x800; }
  else if (b >= 0xF0 && b <= 0xF4) { need = 3; cp = b & 0x07; min = 0x10000; }
  else return -1;
  for (int k = 1; k <= need; ++k) {
    unsigned char c = s[k];  // a terminator stops here: it is not a continuation
    if ((c & 0xC0) != 0x80) return -1;
    cp = (cp << 6) | (c & 0x3F);
    *len = size_t(k) + 1;
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  return cp;
}

}  // namespace

bool platUtf8ToWide(const char* text, char16_t* out, size_t outUnits, bool lenient) {
  if (!out || outUnits == 0) return false;
  size_t o = 0;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text ? text : "");
  while (*s) {
    size_t len;
    int32_t cp = decodeUtf8(s, &len);
    if (cp < 0) {
      if (!lenient) {
        out[0] = 0;
        return false;
      }
      cp = 0xFFFD;
    }
    s += len;
    size_t w = cp >= 0x10000 ? 2 : 1;
    if (outUnits - o <= w) {
      out[0] = 0;
      return false;
    }
    if (w == 2) {
      cp -= 0x10000;
      out[o++] = char16_t(0xD800 + (cp >> 10));
      out[o++] = char16_t(0xDC00 + (cp & 0x3FF));
    } else {
      out[o++] = char16_t(cp);
    }
  }
  out[o] = 0;
  return true;
}
