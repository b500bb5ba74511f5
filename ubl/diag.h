// Levelled diagnostic writers and the assertion macro.
//
// ublError (level 1, text prefixed "Error: "), ublWarning (level 2,
// "Warning: ") and ublDiag (level 3, no prefix, sub-name "ublDiag") format a
// wide printf-style message (see platform/wformat.h: %s wide, %S narrow) and
// hand it to the default data source `gDefaultSource`. The level test comes
// first, so a suppressed diagnostic is never formatted. The whole text is cut
// to 2047 characters. The writers never fail, allocate nothing on the heap
// and may be called from any thread; while no default source is installed
// they discard their text.
//
// WX_ASSERT(cond): when `cond` is false, writes the warning
// "<operation>: WX_ASSERT failed: <cond as written>" and execution continues
// with the next statement. It never aborts, throws or returns.
#pragma once

#include <cstdint>

class cTlDataSource;

// The default data source; null while none is installed (before the load-time
// set-up and after the unload tear-down).
extern cTlDataSource* gDefaultSource;

// Log levels the writers use.
constexpr uint32_t UBL_LEVEL_ERROR = 1;
constexpr uint32_t UBL_LEVEL_WARN = 2;
constexpr uint32_t UBL_LEVEL_DIAG = 3;

// How the writers reach a data source: its level test and its log operation.
// The trace log installs one binding at load; until then (and with a null
// binding) every diagnostic is discarded. `subName` may be null.
struct UblDiagBinding {
  bool (*isLogEnabled)(cTlDataSource* source, uint32_t level);
  void (*log)(cTlDataSource* source, const char16_t* subName, uint32_t level,
              const char16_t* text);
};

// Installs `binding` (which must outlive its use; null uninstalls) and returns
// the previous one.
const UblDiagBinding* ublBindDiagnostics(const UblDiagBinding* binding);

// Size in characters of the writers' text buffer, terminator included.
constexpr unsigned UBL_DIAG_BUFFER_CHARS = 2048;

void ublError(const char16_t* format, ...);
void ublWarning(const char16_t* format, ...);
void ublDiag(const char16_t* format, ...);

// Reports a failed assertion; `function` is the compiler's full signature of
// the enclosing operation, from which the qualified name is taken.
void ublAssertFailed(const char* function, const char* condition);

#define WX_ASSERT(cond)                                                  \
  do {                                                                   \
    if (!(cond)) ublAssertFailed(__PRETTY_FUNCTION__, #cond);            \
  } while (0)
