// Levels, record flags and the output callback shared by trace logs, data
// sources and sinks.
//
// A log record of level L from a source is written when L is at most the
// source's log level and the source's logging switch is on. Trace levels and
// tracing switches are kept, set and shown, but nothing filters by them.
#pragma once

#include <cstdint>

// Log levels; a record's output code is its log level plus 2.
using LogLevel = int32_t;
constexpr LogLevel LOG_LEVEL_MUTE = 0;
constexpr LogLevel LOG_LEVEL_ERROR = 1;
constexpr LogLevel LOG_LEVEL_WARN = 2;
constexpr LogLevel LOG_LEVEL_DIAG = 3;
constexpr LogLevel LOG_LEVEL_INFO = 4;
constexpr LogLevel LOG_LEVEL_MAX = LOG_LEVEL_INFO;

using TraceLevel = int32_t;
constexpr TraceLevel TRACE_LEVEL_MUTE = 0;
constexpr TraceLevel TRACE_LEVEL_MAJOR = 1;
constexpr TraceLevel TRACE_LEVEL_INTERMEDIATE = 2;
constexpr TraceLevel TRACE_LEVEL_MINOR = 3;
constexpr TraceLevel TRACE_LEVEL_MAX = TRACE_LEVEL_MINOR;

// Range tests as the setters apply them: unsigned, so negatives are refused.
constexpr bool tlLogLevelValid(LogLevel level) {
  return uint32_t(level) <= uint32_t(LOG_LEVEL_MAX);
}
constexpr bool tlTraceLevelValid(TraceLevel level) {
  return uint32_t(level) <= uint32_t(TRACE_LEVEL_MAX);
}

// Names shown by the dumps ("Mute", "Error", ...); "?" outside the range.
const char16_t* tlLogLevelName(LogLevel level);
const char16_t* tlTraceLevelName(TraceLevel level);

// Record flags of cAbstractTraceLog::writeRecord.
constexpr uint32_t TLR_ENTER = 0x01;   // trace line, marker ">"
constexpr uint32_t TLR_LEAVE = 0x02;   // trace line, marker "<"
constexpr uint32_t TLR_MARK = 0x04;    // trace line, marker "="
constexpr uint32_t TLR_HEX = 0x08;     // value in hexadecimal
constexpr uint32_t TLR_DEC = 0x10;     // value in decimal
constexpr uint32_t TLR_STRING = 0x20;  // the string value
constexpr uint32_t TLR_BOOL = 0x40;    // value as "true" / "false"
constexpr uint32_t TLR_LOG = 0x80;     // log line (when no trace marker flag is set)
constexpr uint32_t TLR_TRACE_MASK = TLR_ENTER | TLR_LEAVE | TLR_MARK;

// Receives each finished line with its output code when set on a log.
using tlOutputCallback = void (*)(int32_t code, const char16_t* line);
