// Archives that the reliability tests and the fuzzers start from: small,
// well-formed writer archives of every shape the engine reads (both formats,
// solid, services, SFX, volumes, Unicode names), and bombs (tiny archives that
// declare or produce huge output). Plain code, no test framework, so the fuzz
// targets' initial-corpus writer can use it too.
#ifndef TESTS_RELIABILITY_FIXTURES_H_
#define TESTS_RELIABILITY_FIXTURES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/rar_writer.h"

namespace reliability {

using testsupport::Bytes;

struct Fixture {
  std::string name;
  Bytes bytes;
  // Offsets at which a block (header) starts, for truncation sweeps.
  std::vector<size_t> header_offsets;
};

// Offsets of the signature and of every block of a RAR 4 or RAR 5 archive
// whose headers are plain, found by walking the size fields; the walk stops at
// anything it cannot read.
std::vector<size_t> BlockStartsOf(const Bytes& archive);

// Well-formed archives, a few hundred bytes each.
std::vector<Fixture> WriterFixtures();

// A RAR 5 packed stream (algorithm 0, 128 KiB dictionary) that decodes to
// `1 + 4097 * (repeats + 1)` bytes of 'A' from about `repeats * 9 / 8` bytes.
Bytes Rar5BombStream(uint32_t repeats);
inline uint64_t Rar5BombSize(uint32_t repeats) { return 1 + 4097ull * (repeats + 1); }

struct Bomb {
  std::string name;
  Bytes bytes;
  uint64_t produced;  // bytes the packed data would decode to
  uint64_t declared;  // unpacked size in the header
};

// Decompression bombs:
//  - "rar5-ratio": declares and produces `produced` bytes (ratio about 3600:1);
//  - "rar5-lies": produces `produced` bytes but declares only 1000;
//  - "rar4-declares-1TiB" / "rar5-declares-1TiB": a few stored bytes declared
//    as 2^40.
std::vector<Bomb> Bombs(uint32_t repeats);

}  // namespace reliability

#endif  // TESTS_RELIABILITY_FIXTURES_H_
