// Test helper: installs a data source stand-in for the diagnostic writers and
// records what they deliver (every level up to `logLevel`). Restores the
// previous source and binding when destroyed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ubl/diag.h"

struct CapturedRecord {
  uint32_t level;
  std::u16string subName;  // empty when none was passed
  bool hasSubName;
  std::u16string text;
};

class DiagCapture {
 public:
  explicit DiagCapture(uint32_t logLevel = 2);
  ~DiagCapture();

  uint32_t logLevel;
  int enabledQueries = 0;
  std::vector<CapturedRecord> records;

  size_t count(uint32_t level) const;
  // Text of the only record; fails the test when there is not exactly one.
  std::u16string only() const;

 private:
  cTlDataSource* mSavedSource;
  const UblDiagBinding* mSavedBinding;
};
