#include "ubl/diag.h"

#include <atomic>
#include <cstdarg>
#include <cstring>

#include "platform/wformat.h"

cTlDataSource* gDefaultSource = nullptr;

namespace {

std::atomic<const UblDiagBinding*> gBinding{nullptr};

void write(uint32_t level, const char16_t* prefix, const char16_t* subName,
           const char16_t* format, va_list args) {
  cTlDataSource* source = gDefaultSource;
  const UblDiagBinding* b = gBinding.load(std::memory_order_acquire);
  if (!source || !b || !b->isLogEnabled || !b->log) return;
  if (!b->isLogEnabled(source, level)) return;

  char16_t text[UBL_DIAG_BUFFER_CHARS];
  size_t n = 0;
  for (; prefix && prefix[n]; ++n) text[n] = prefix[n];
  platVFormatW(text + n, UBL_DIAG_BUFFER_CHARS - n, format, args);
  text[UBL_DIAG_BUFFER_CHARS - 1] = 0;
  b->log(source, subName, level, text);
}

}  // namespace

const UblDiagBinding* ublBindDiagnostics(const UblDiagBinding* binding) {
  return gBinding.exchange(binding, std::memory_order_acq_rel);
}

void ublError(const char16_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  write(UBL_LEVEL_ERROR, u"Error: ", nullptr, format, ap);
  va_end(ap);
}

void ublWarning(const char16_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  write(UBL_LEVEL_WARN, u"Warning: ", nullptr, format, ap);
  va_end(ap);
}

void ublDiag(const char16_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  write(UBL_LEVEL_DIAG, nullptr, u"ublDiag", format, ap);
  va_end(ap);
}

void ublAssertFailed(const char* function, const char* condition) {
  // "bool cFileStream::isOpen() const" -> "cFileStream::isOpen": the name ends
  // at the parameter list and starts after the last blank outside brackets.
  char name[256];
  const char* f = function ? function : "";
  const char* end = f + std::strlen(f);
  int depth = 0;
  for (const char* p = f; *p; ++p) {
    if (*p == '<') ++depth;
    else if (*p == '>' && depth) --depth;
    else if (*p == '(' && depth == 0 && p != f) {
      end = p;
      break;
    }
  }
  const char* begin = f;
  depth = 0;
  for (const char* p = end; p > f; --p) {
    char c = p[-1];
    if (c == '>') ++depth;
    else if (c == '<' && depth) --depth;
    else if ((c == ' ' || c == '*' || c == '&') && depth == 0) {
      begin = p;
      break;
    }
  }
  size_t len = size_t(end - begin);
  if (len >= sizeof name) len = sizeof name - 1;
  std::memcpy(name, begin, len);
  name[len] = '\0';
  ublWarning(u"%S: WX_ASSERT failed: %S", name, condition ? condition : "");
}
