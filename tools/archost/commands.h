// The harness's commands: what a scanning engine does with an archive through the plug-in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/archost/session.h"

namespace archost {

struct Options {
  std::string command;  // list, extract, cat, scan
  std::string archive;  // path; empty = the built-in sample
  std::string member;   // cat: the member's name as the archive reports it
  std::string outDir;   // extract: the destination folder
  // Candidate passwords in the order given; the first is set before the open, the others
  // are tried on an encrypted member that fails with the one in use.
  std::vector<std::string> passwords;
  Via via = Via::File;
  bool json = false;
  uint64_t maxMemory = 256u << 20;  // larger members go through a temporary file
};

// Each runs on an open session and returns the process exit status: 0 when every member
// was handled, 1 when some member failed, 2 when the request itself failed.
int runList(Session& s, const Options& o);
int runScan(Session& s, const Options& o);
int runExtract(Session& s, const Options& o);
int runCat(Session& s, const Options& o);

}  // namespace archost
