#include "platform/wformat.h"

#include <cstdint>
#include <cstring>

namespace {

class Sink {
 public:
  Sink(char16_t* buf, size_t capacity) : mBuf(buf), mCap(capacity) {}
  void put(char16_t c) {
    if (mCap && mLen < mCap - 1) mBuf[mLen] = c;
    ++mLen;
  }
  void repeat(char16_t c, size_t n) {
    for (size_t i = 0; i < n; ++i) put(c);
  }
  size_t finish() {
    if (mCap) mBuf[mLen < mCap - 1 ? mLen : mCap - 1] = 0;
    return mLen;
  }

 private:
  char16_t* mBuf;
  size_t mCap;
  size_t mLen = 0;
};

struct Conversion {
  bool left = false, zero = false, plus = false, space = false;
  size_t width = 0;
  bool hasPrecision = false;
  size_t precision = 0;
};

// Bounds width and precision so a hostile format cannot demand gigabytes of padding
// work; anything past the buffer is discarded anyway.
constexpr size_t kMaxField = 1u << 16;

void padded(Sink& out, const Conversion& s, const char16_t* body, size_t n) {
  size_t pad = s.width > n ? s.width - n : 0;
  if (!s.left) out.repeat(u' ', pad);
  for (size_t i = 0; i < n; ++i) out.put(body[i]);
  if (s.left) out.repeat(u' ', pad);
}

void wideString(Sink& out, const Conversion& s, const char16_t* str) {
  if (!str) str = u"(null)";
  size_t n = 0;
  while (str[n] && (!s.hasPrecision || n < s.precision)) ++n;
  padded(out, s, str, n);
}

// Decodes UTF-8 lazily, two passes: count then emit, so nothing is allocated.
size_t decodeNarrow(const char* str, size_t limit, bool limited, Sink* out) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(str);
  size_t units = 0;
  while (*p) {
    uint32_t cp;
    size_t len = 1;
    unsigned char b = p[0];
    int need = b < 0x80 ? 0 : (b >= 0xC2 && b <= 0xDF) ? 1 : (b >= 0xE0 && b <= 0xEF) ? 2
               : (b >= 0xF0 && b <= 0xF4) ? 3 : -1;
    cp = need == 0 ? b : need == 1 ? (b & 0x1F) : need == 2 ? (b & 0x0F) : (b & 0x07);
    bool bad = need < 0;
    for (int k = 1; !bad && k <= need; ++k) {
      if ((p[k] & 0xC0) != 0x80) {
        bad = true;
        break;
      }
      cp = (cp << 6) | (p[k] & 0x3F);
      len = size_t(k) + 1;
    }
    if (!bad && need > 0) {
      static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
      if (cp < kMin[need] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) bad = true;
    }
    if (bad) {
      cp = 0xFFFD;
      len = 1;
    }
    size_t w = cp >= 0x10000 ? 2 : 1;
    if (limited && units + w > limit) break;
    if (out) {
      if (w == 2) {
        out->put(char16_t(0xD800 + ((cp - 0x10000) >> 10)));
        out->put(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
      } else {
        out->put(char16_t(cp));
      }
    }
    units += w;
    p += len;
  }
  return units;
}

void narrowString(Sink& out, const Conversion& s, const char* str) {
  if (!str) str = "(null)";
  size_t n = decodeNarrow(str, s.precision, s.hasPrecision, nullptr);
  size_t pad = s.width > n ? s.width - n : 0;
  if (!s.left) out.repeat(u' ', pad);
  decodeNarrow(str, s.precision, s.hasPrecision, &out);
  if (s.left) out.repeat(u' ', pad);
}

void integer(Sink& out, const Conversion& s, uint64_t magnitude, bool negative, unsigned base,
             bool upper) {
  char16_t digits[24];
  size_t nd = 0;
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  do {
    digits[nd++] = char16_t(set[magnitude % base]);
    magnitude /= base;
  } while (magnitude);
  // A precision of 0 prints nothing for the value 0.
  if (s.hasPrecision && s.precision == 0 && nd == 1 && digits[0] == u'0') nd = 0;

  char16_t sign = negative ? u'-' : s.plus ? u'+' : s.space ? u' ' : 0;
  size_t minDigits = s.hasPrecision ? s.precision : 0;
  size_t zeros = minDigits > nd ? minDigits - nd : 0;
  size_t body = (sign ? 1 : 0) + zeros + nd;
  size_t pad = s.width > body ? s.width - body : 0;
  bool zeroPad = s.zero && !s.left && !s.hasPrecision;

  if (!s.left && !zeroPad) out.repeat(u' ', pad);
  if (sign) out.put(sign);
  if (zeroPad) out.repeat(u'0', pad);
  out.repeat(u'0', zeros);
  while (nd) out.put(digits[--nd]);
  if (s.left) out.repeat(u' ', pad);
}

enum Length { kInt, kShort, kChar, kLong, kLongLong, kSize, kMax, k64 };

}  // namespace

size_t platVFormatW(char16_t* buf, size_t capacity, const char16_t* format, va_list args) {
  Sink out(buf, capacity);
  if (!format) return out.finish();
  va_list ap;
  va_copy(ap, args);
  for (const char16_t* f = format; *f; ++f) {
    if (*f != u'%') {
      out.put(*f);
      continue;
    }
    const char16_t* start = f++;
    Conversion s;
    for (;; ++f) {
      if (*f == u'-') s.left = true;
      else if (*f == u'0') s.zero = true;
      else if (*f == u'+') s.plus = true;
      else if (*f == u' ') s.space = true;
      else break;
    }
    if (*f == u'*') {
      int w = va_arg(ap, int);
      if (w < 0) {
        s.left = true;
        w = w == INT32_MIN ? INT32_MAX : -w;
      }
      s.width = size_t(w);
      ++f;
    } else {
      while (*f >= u'0' && *f <= u'9') {
        s.width = s.width * 10 + size_t(*f - u'0');
        if (s.width > kMaxField) s.width = kMaxField;
        ++f;
      }
    }
    if (*f == u'.') {
      s.hasPrecision = true;
      ++f;
      if (*f == u'*') {
        int p = va_arg(ap, int);
        if (p < 0) s.hasPrecision = false;
        else s.precision = size_t(p);
        ++f;
      } else {
        while (*f >= u'0' && *f <= u'9') {
          s.precision = s.precision * 10 + size_t(*f - u'0');
          if (s.precision > kMaxField) s.precision = kMaxField;
          ++f;
        }
      }
    }
    if (s.width > kMaxField) s.width = kMaxField;
    Length len = kInt;
    if (f[0] == u'h' && f[1] == u'h') { len = kChar; f += 2; }
    else if (f[0] == u'h') { len = kShort; ++f; }
    else if (f[0] == u'l' && f[1] == u'l') { len = kLongLong; f += 2; }
    else if (f[0] == u'l') { len = kLong; ++f; }
    else if (f[0] == u'z') { len = kSize; ++f; }
    else if (f[0] == u'j') { len = kMax; ++f; }
    else if (f[0] == u'I' && f[1] == u'6' && f[2] == u'4') { len = k64; f += 3; }

    switch (*f) {
      case u'%': out.put(u'%'); break;
      case u's': wideString(out, s, va_arg(ap, const char16_t*)); break;
      case u'S': narrowString(out, s, va_arg(ap, const char*)); break;
      case u'c': {
        char16_t c = char16_t(va_arg(ap, int));
        padded(out, s, &c, 1);
        break;
      }
      case u'd':
      case u'i': {
        int64_t v;
        switch (len) {
          case kLong: v = va_arg(ap, long); break;
          case kLongLong: v = va_arg(ap, long long); break;
          case kSize: v = int64_t(va_arg(ap, size_t)); break;
          case kMax: v = va_arg(ap, intmax_t); break;
          case k64: v = va_arg(ap, int64_t); break;
          case kShort: v = short(va_arg(ap, int)); break;
          case kChar: v = static_cast<signed char>(va_arg(ap, int)); break;
          default: v = va_arg(ap, int); break;
        }
        uint64_t mag = v < 0 ? uint64_t(0) - uint64_t(v) : uint64_t(v);
        integer(out, s, mag, v < 0, 10, false);
        break;
      }
      case u'u':
      case u'x':
      case u'X': {
        uint64_t v;
        switch (len) {
          case kLong: v = va_arg(ap, unsigned long); break;
          case kLongLong: v = va_arg(ap, unsigned long long); break;
          case kSize: v = va_arg(ap, size_t); break;
          case kMax: v = va_arg(ap, uintmax_t); break;
          case k64: v = va_arg(ap, uint64_t); break;
          case kShort: v = static_cast<unsigned short>(va_arg(ap, unsigned)); break;
          case kChar: v = static_cast<unsigned char>(va_arg(ap, unsigned)); break;
          default: v = va_arg(ap, unsigned); break;
        }
        Conversion plain = s;
        plain.plus = plain.space = false;
        integer(out, plain, v, false, *f == u'u' ? 10 : 16, *f == u'X');
        break;
      }
      case u'p': {
        uintptr_t v = reinterpret_cast<uintptr_t>(va_arg(ap, void*));
        out.put(u'0');
        out.put(u'x');
        Conversion plain;
        integer(out, plain, v, false, 16, false);
        break;
      }
      default:
        // Unknown or cut-off conversion: copy what was seen literally.
        for (const char16_t* c = start; c < f; ++c) out.put(*c);
        if (!*f) {
          va_end(ap);
          return out.finish();
        }
        out.put(*f);
        break;
    }
  }
  va_end(ap);
  return out.finish();
}

size_t platFormatW(char16_t* buf, size_t capacity, const char16_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  size_t n = platVFormatW(buf, capacity, format, ap);
  va_end(ap);
  return n;
}
