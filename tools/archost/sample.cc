#include "tools/archost/sample.h"

#include <zlib.h>

namespace archost {

namespace {

void put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}

uint32_t crc(const uint8_t* p, size_t n) {
  return static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), p, static_cast<uInt>(n)));
}

// Appends a block whose header CRC (low 16 bits of CRC32 over bytes 2..end) is computed here.
void appendBlock(std::vector<uint8_t>& out, std::vector<uint8_t> header) {
  const uint32_t c = crc(header.data() + 2, header.size() - 2) & 0xFFFF;
  header[0] = static_cast<uint8_t>(c);
  header[1] = static_cast<uint8_t>(c >> 8);
  out.insert(out.end(), header.begin(), header.end());
}

}  // namespace

std::vector<SampleMember> sampleMembers() {
  std::string numbers;
  for (int i = 0; i < 1000; ++i) numbers += std::to_string(i * i) + "\n";
  return {
      {"hello.txt", "Hello from the arcunpack host harness.\n"},
      {"docs\\numbers.txt", numbers},
      {"empty.dat", ""},
  };
}

std::vector<uint8_t> buildStoredRar4(const std::vector<SampleMember>& members) {
  std::vector<uint8_t> out = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};

  std::vector<uint8_t> main = {0, 0, 0x73};
  put16(main, 0);   // flags
  put16(main, 13);  // header size
  put16(main, 0);   // HighPosAV
  put32(main, 0);   // PosAV
  appendBlock(out, main);

  for (const SampleMember& m : members) {
    std::vector<uint8_t> h = {0, 0, 0x74};
    put16(h, 0x8000);  // ADD_SIZE present
    put16(h, static_cast<uint32_t>(32 + m.name.size()));
    put32(h, static_cast<uint32_t>(m.data.size()));  // packed size
    put32(h, static_cast<uint32_t>(m.data.size()));  // unpacked size
    h.push_back(0);                                  // host OS: DOS
    put32(h, crc(reinterpret_cast<const uint8_t*>(m.data.data()), m.data.size()));
    put32(h, 0x5A8C6000);  // DOS time: 2025-04-12 12:00:00
    h.push_back(29);       // unpack version
    h.push_back(0x30);     // stored
    put16(h, static_cast<uint32_t>(m.name.size()));
    put32(h, 0x20);  // archive attribute
    h.insert(h.end(), m.name.begin(), m.name.end());
    appendBlock(out, h);
    out.insert(out.end(), m.data.begin(), m.data.end());
  }

  std::vector<uint8_t> end = {0, 0, 0x7B};
  put16(end, 0x4000);
  put16(end, 7);
  appendBlock(out, end);
  return out;
}

}  // namespace archost
