#include "tracelog/record_format.h"

#include "platform/wformat.h"
#include "tracelog/levels.h"

namespace {

// Appends to a line up to a fixed limit, cutting what does not fit.
class LineBuilder {
 public:
  LineBuilder(char16_t* buf, size_t limit) : mBuf(buf), mLimit(limit) { mBuf[0] = 0; }

  void append(const char16_t* text) {
    if (!text) return;
    while (*text && mLen < mLimit) mBuf[mLen++] = *text++;
    mBuf[mLen] = 0;
  }
  void appendFormatted(const char16_t* format, int32_t value) {
    size_t room = mLimit - mLen + 1;  // the terminator may take the unit past the limit
    size_t full = platFormatW(mBuf + mLen, room, format, value);
    mLen += full < room ? full : room - 1;
  }
  // Ends the line; room for the end was kept by the limit.
  size_t finish(const char16_t* lineEnd) {
    while (*lineEnd) mBuf[mLen++] = *lineEnd++;
    mBuf[mLen] = 0;
    return mLen;
  }

 private:
  char16_t* mBuf;
  size_t mLimit;
  size_t mLen = 0;
};

bool nonEmpty(const char16_t* s) { return s && *s; }

}  // namespace

uint32_t tlFirstMicroOffset(uint32_t tickMs) { return uint32_t(tickMs * 1000u) % 1000000u; }

tlRecordTime tlLaterRecordTime(int64_t timeBase, uint32_t microOffset, uint64_t elapsedMicros) {
  uint64_t total = elapsedMicros + microOffset;
  uint64_t seconds = uint64_t(timeBase) + total / 1000000u;
  return {int64_t(seconds & ~(uint64_t(1) << 63)), uint32_t(total % 1000000u)};
}

size_t tlFormatStamp(char16_t* out, size_t capacity, const tlStampFields& f) {
  size_t full =
      platFormatW(out, capacity, u"[%d][%02i/%02i %02i:%02i:%02i.%06u]", int32_t(f.thread), f.month,
                  f.day, f.hour, f.minute, f.second, f.micros);
  if (capacity == 0) return 0;
  return full < capacity ? full : capacity - 1;
}

const char16_t* tlChooseMarker(uint32_t flags, const char16_t* current) {
  if (flags & TLR_ENTER) return u">";
  if (flags & TLR_MARK) return u"=";
  if (flags & TLR_LEAVE) return u"<";
  return current;
}

size_t tlFormatLine(char16_t* line, const char16_t* stamp, const char16_t* marker,
                    const tlRecordText& r) {
  const bool trace = (r.flags & TLR_TRACE_MASK) != 0;
  if (!trace && !(r.flags & TLR_LOG)) {
    line[0] = 0;
    return 0;
  }
  const char16_t* lineEnd = trace ? u"\n" : u"\r\n";
  const size_t endLength = trace ? 1 : 2;
  LineBuilder b(line, TL_LINE_CAPACITY - 1 - endLength);

  b.append(stamp);
  b.append(marker);
  b.append(u"[");
  b.append(r.sourceName);
  if (r.subName) {
    b.append(u":");
    b.append(r.subName);
  }
  b.append(u"] ");
  if (nonEmpty(r.text)) b.append(r.text);
  if (nonEmpty(r.detail)) {
    b.append(u" ");
    b.append(r.detail);
  }

  // Value kind: the first of bool, decimal, hexadecimal, string that is set.
  const uint32_t kind = (r.flags & TLR_BOOL)     ? TLR_BOOL
                        : (r.flags & TLR_DEC)    ? TLR_DEC
                        : (r.flags & TLR_HEX)    ? TLR_HEX
                        : (r.flags & TLR_STRING) ? TLR_STRING
                                                 : 0;
  if (kind) {
    // A trace line puts the blank with the value; a log line puts it
    // before the value even when a string value is missing.
    if (!trace) b.append(u" ");
    const char16_t* blank = trace ? u" " : u"";
    switch (kind) {
      case TLR_BOOL:
        b.append(blank);
        b.append(r.value ? u"true" : u"false");
        break;
      case TLR_DEC:
        b.append(blank);
        b.appendFormatted(u"%d", r.value);
        break;
      case TLR_HEX:
        b.append(blank);
        b.appendFormatted(u"0x%X", r.value);
        break;
      case TLR_STRING:
        if (r.stringValue) {
          b.append(blank);
          b.append(r.stringValue);
        }
        break;
    }
  }
  return b.finish(lineEnd);
}
