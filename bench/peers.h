// The yardsticks the plug-in is measured against on the same archive files:
// libarchive through its archive_read_* interface, the engine's own list pass
// (reading every header once), and the raw floor of reading the file once.
#ifndef BENCH_PEERS_H_
#define BENCH_PEERS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// libarchive: every header, skipping the data.
bool PeerWalk(const std::string& path);
// libarchive: every member's data into `buffer` (which holds the largest).
bool PeerScan(const std::string& path, std::vector<uint8_t>* buffer, uint64_t* bytes);
// libarchive: every member written to a fresh empty file at `destPath`.
bool PeerExtract(const std::string& path, const std::string& destPath);

// One list pass of the engine (open, read every header, skip, close).
bool HeadersOnce(const std::string& path, const std::string& password);

// Reads the whole file once into `buffer` (in 1 MiB pieces; the buffer holds
// the file): the least any reader must do to deliver stored bytes.
bool RawRead(const std::string& path, std::vector<uint8_t>* buffer, uint64_t* bytes);
// Writes `size` bytes to a new file in `dir` and deletes it again, as a plain
// `dd` of the same bytes would.
bool RawWrite(const std::string& dir, const uint8_t* data, uint64_t size);

}  // namespace bench

#endif  // BENCH_PEERS_H_
