// The harness's built-in sample: a small RAR 4 archive with stored members, made at run
// time so that a demo needs no archive file. The bytes are valid RAR 4 (marker, main
// header, file headers with header and data CRCs, end of archive).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace archost {

struct SampleMember {
  std::string name;  // ASCII, '\' as the path separator as RAR 4 writes it
  std::string data;
};

// The members the built-in sample holds, in archive order.
std::vector<SampleMember> sampleMembers();

// A stored RAR 4 archive of the given members.
std::vector<uint8_t> buildStoredRar4(const std::vector<SampleMember>& members);

}  // namespace archost
