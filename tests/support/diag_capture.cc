#include "tests/support/diag_capture.h"

#include <gtest/gtest.h>

namespace {

DiagCapture* gActive = nullptr;

bool isEnabled(cTlDataSource*, uint32_t level) {
  ++gActive->enabledQueries;
  return level <= gActive->logLevel;
}

void log(cTlDataSource*, const char16_t* subName, uint32_t level, const char16_t* text) {
  gActive->records.push_back(
      {level, subName ? subName : u"", subName != nullptr, text ? text : u""});
}

const UblDiagBinding kBinding = {isEnabled, log};

}  // namespace

DiagCapture::DiagCapture(uint32_t level)
    : logLevel(level), mSavedSource(gDefaultSource), mSavedBinding(nullptr) {
  gActive = this;
  // Any non-null value will do: only the binding above looks at it.
  gDefaultSource = reinterpret_cast<cTlDataSource*>(this);
  mSavedBinding = ublBindDiagnostics(&kBinding);
}

DiagCapture::~DiagCapture() {
  ublBindDiagnostics(mSavedBinding);
  gDefaultSource = mSavedSource;
  gActive = nullptr;
}

size_t DiagCapture::count(uint32_t level) const {
  size_t n = 0;
  for (const CapturedRecord& r : records) n += r.level == level;
  return n;
}

std::u16string DiagCapture::only() const {
  EXPECT_EQ(1u, records.size());
  return records.empty() ? std::u16string() : records.back().text;
}
