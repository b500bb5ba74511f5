// Test helpers for the trace log: a capture of the debugger output, a sink
// that journals what it receives, and UTF-16 to UTF-8 for comparisons.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "tracelog/data_sink.h"

std::string utf8(const char16_t* text);

// Redirects the debugger output into `text` while alive.
class DebugCapture {
 public:
  DebugCapture();
  ~DebugCapture();
  std::string text();
  // The captured text split after each "\n".
  std::vector<std::string> lines();

 private:
  static void receive(void* user, const char* utf8, size_t length);
  std::mutex mMutex;
  std::string mText;
};

// Appends "<tag>|<code>|<line>" to a shared journal for every line; records
// the switch calls as "<tag>.logging=<0|1>" / "<tag>.tracing=<0|1>".
class JournalSink : public cTlDataSink {
 public:
  JournalSink(std::vector<std::string>* journal, const char* tag) : mJournal(journal), mTag(tag) {}
  void setNext(cTlDataSink* next) override { mNext = next; }
  cTlDataSink* getNext() override { return mNext; }
  void dump() override;
  void setTracing(bool enabled) override;
  void setLogging(bool enabled) override;
  void write(int32_t code, const char16_t* line) override;

  cTlDataSink* mNext = nullptr;

 private:
  std::vector<std::string>* mJournal;
  std::string mTag;
};

// Full-match pattern of a record stamp.
extern const char* const kStampPattern;
