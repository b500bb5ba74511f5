// The system debugger output: where diagnostic records end up by default.
//
// platDebugOutput writes the text, converted to UTF-8 and unchanged otherwise
// (callers end their lines themselves), to standard error in one write. Tests
// may redirect it to a capture; while a capture is set nothing reaches
// standard error. Safe to call from any thread.
#pragma once

#include <cstddef>

void platDebugOutput(const char16_t* text);

// Receives each piece of debugger output as UTF-8 (not zero-terminated).
using PlatDebugCapture = void (*)(void* user, const char* utf8, size_t length);

// Installs `capture` (null restores standard error). Writers see either the
// old or the new pair, never a mix. Meant for tests: calls to it must not
// overlap each other.
void platSetDebugCapture(PlatDebugCapture capture, void* user);
