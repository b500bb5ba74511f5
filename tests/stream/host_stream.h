// A stream as a host would write it: compiled against stream/abstract_stream.h
// alone (host_stream.cc includes nothing else of this library), over bytes in
// memory, recording which operations were called.
#pragma once

#include <memory>
#include <string>

#include "stream/abstract_stream.h"

struct HostStreamLog {
  std::string calls;   // one letter per call: o r w f c l s t u C m
  std::string written;  // bytes handed to write
  int64_t lastReadCount = -1;
  bool destroyed = false;
};

// `shortReadAt`: the read that would pass this offset delivers only up to it.
std::unique_ptr<cAbstractStream> makeHostStream(const std::string& bytes, HostStreamLog* log,
                                                int64_t shortReadAt = -1);
