// The pure steps of writing a trace record: the time of a record, its stamp,
// its marker and its line. No clock, lock or shared state is read here, so a
// caller (or a test) decides the time and the current marker.
//
// Line shapes, with stamp "[thread][MM/DD hh:mm:ss.uuuuuu]":
//   trace line: stamp marker "[" name [":" sub] "] " text [" " detail] [value] "\n"
//   log line:   stamp marker "[" name [":" sub] "] " text [" " detail] [" " value] "\r\n"
// A line never exceeds TL_LINE_CAPACITY - 1 units and always keeps its line end:
// content that does not fit is cut before it.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t TL_LINE_CAPACITY = 4096;  // units, terminator included
constexpr size_t TL_STAMP_CAPACITY = 256;  // units, terminator included

// Seconds since 1970 and the microseconds of one record.
struct tlRecordTime {
  int64_t seconds;
  uint32_t micros;
};

// Sub-second part given to the first record of the process: the tick count
// in milliseconds times 1000 (modulo 2^32), modulo 1,000,000.
uint32_t tlFirstMicroOffset(uint32_t tickMs);

// Time of a later record: the time base advanced by `elapsedMicros` plus
// `microOffset`, with the top bit of the seconds cleared.
tlRecordTime tlLaterRecordTime(int64_t timeBase, uint32_t microOffset, uint64_t elapsedMicros);

struct tlStampFields {
  uint32_t thread;
  int month, day, hour, minute, second;
  uint32_t micros;
};

// Writes "[%d][%02i/%02i %02i:%02i:%02i.%06u]" into `out` (cut to `capacity`);
// returns the length written.
size_t tlFormatStamp(char16_t* out, size_t capacity, const tlStampFields& fields);

// Marker of a record with `flags`: ">" for enter, "=" for mark, "<" for leave
// (first that applies), else `current`. The result becomes the current marker.
const char16_t* tlChooseMarker(uint32_t flags, const char16_t* current);

struct tlRecordText {
  const char16_t* sourceName;   // required
  const char16_t* subName;      // optional; an empty one still prints ":"
  const char16_t* text;         // optional
  const char16_t* detail;       // optional, after one blank
  uint32_t flags;               // TLR_* bits
  int32_t value;                // for TLR_HEX, TLR_DEC, TLR_BOOL
  const char16_t* stringValue;  // for TLR_STRING
};

// Builds the record's line into `line` (TL_LINE_CAPACITY units) and returns
// its length, or 0 (and an empty `line`) when the flags select no line shape.
size_t tlFormatLine(char16_t* line, const char16_t* stamp, const char16_t* marker,
                    const tlRecordText& record);
