#include "tracelog_test_util.h"

#include "platform/debug_output.h"
#include "platform/utf.h"
#include "stream/console_stream.h"

const char* const kStampPattern = R"(\[\d+\]\[\d\d/\d\d \d\d:\d\d:\d\d\.\d{6}\])";

std::string utf8(const char16_t* text) {
  if (!text) return "(null)";
  size_t n = platUtf8LengthOf(text);
  std::string out(n + 1, '\0');
  platWideToUtf8(text, &out[0], out.size());
  out.resize(n);
  return out;
}

DebugCapture::DebugCapture() { platSetDebugCapture(&DebugCapture::receive, this); }

DebugCapture::~DebugCapture() { platSetDebugCapture(nullptr, nullptr); }

void DebugCapture::receive(void* user, const char* text, size_t length) {
  auto* self = static_cast<DebugCapture*>(user);
  std::lock_guard<std::mutex> g(self->mMutex);
  self->mText.append(text, length);
}

std::string DebugCapture::text() {
  std::lock_guard<std::mutex> g(mMutex);
  return mText;
}

std::vector<std::string> DebugCapture::lines() {
  std::string all = text();
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t nl; (nl = all.find('\n', start)) != std::string::npos; start = nl + 1)
    out.push_back(all.substr(start, nl + 1 - start));
  if (start < all.size()) out.push_back(all.substr(start));
  return out;
}

void JournalSink::dump() { ublPrint(u" sink %S\n", mTag.c_str()); }

void JournalSink::setTracing(bool enabled) {
  mJournal->push_back(mTag + ".tracing=" + (enabled ? "1" : "0"));
}

void JournalSink::setLogging(bool enabled) {
  mJournal->push_back(mTag + ".logging=" + (enabled ? "1" : "0"));
}

void JournalSink::write(int32_t code, const char16_t* line) {
  mJournal->push_back(mTag + "|" + std::to_string(code) + "|" + utf8(line));
}
