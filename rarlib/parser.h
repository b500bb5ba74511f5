// Block parsers: archive bytes -> Block records, one block at a time.
//
// A parser serves one archive (all volumes of a set) and remembers what the
// main headers said in `info()`. ReadBlock never allocates by an unchecked
// field: every size is bounded before use, and a block's `next` is always
// beyond its `start`.
#ifndef RARLIB_PARSER_H_
#define RARLIB_PARSER_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "rarlib/block.h"
#include "rarlib/file_io.h"

namespace rarlib {

// The largest window searched for a signature behind an SFX module.
constexpr uint64_t kMaxSfxSize = 0x400000 - 16;

// Finds the archive signature: at offset 0, else the first match in the SFX
// window. Returns kNone when there is none; `offset` receives its position.
ArchiveFormat FindSignature(RandomAccess& file, uint64_t* offset);

// Turns encrypted header bytes into plaintext. Supplied by the encryption layer
// once a password is known; `prefix` is the salt (RAR 4, 8 bytes) or IV (RAR 5,
// 16 bytes) stored in front of each encrypted header.
class HeaderDecryptor {
 public:
  virtual ~HeaderDecryptor() = default;
  // Decrypts `n` bytes (a multiple of 16) in place as one fresh CBC stream.
  // Returns 0, ERAR_BAD_PASSWORD when the key cannot be made or the password
  // is refused, or ERAR_BAD_DATA when the archive asks for more key-derivation
  // work than the handle allows.
  virtual int Decrypt(const uint8_t* prefix, size_t prefix_size, uint8_t* data,
                      size_t n) = 0;
};

class BlockParser {
 public:
  virtual ~BlockParser() = default;

  // Reads the signature and what must follow it (the main header; the RAR 5
  // encryption header) of a volume whose signature is at `sig_offset`. Sets
  // `*first_block` to the position of the first block to walk. Returns 0 or an
  // ERAR_* code.
  virtual int OpenVolume(RandomAccess& file, uint64_t sig_offset, uint64_t* first_block) = 0;

  // Reads the block at `pos`. Returns 0, ERAR_END_ARCHIVE when `pos` is at the
  // end of the file, ERAR_BAD_DATA for a broken or truncated block,
  // ERAR_EREAD, ERAR_MISSING_PASSWORD when headers are encrypted and no
  // decryptor is set, ERAR_BAD_PASSWORD when a decrypted header fails its check,
  // or the decryptor's own failure code.
  virtual int ReadBlock(RandomAccess& file, uint64_t pos, Block* out) = 0;

  ArchiveInfo& info() { return info_; }
  void set_decryptor(HeaderDecryptor* d) { decryptor_ = d; }

 protected:
  ArchiveInfo info_;
  HeaderDecryptor* decryptor_ = nullptr;
};

// The parser for `format`, or null when the format has none.
std::unique_ptr<BlockParser> MakeParser(ArchiveFormat format);

// The ROADF_* flags a RAR 4 main header's flags stand for. A RAR 1.4 main
// header's flags byte means the same in its low four bits.
uint32_t Rar4OpenFlags(uint16_t main_flags);

// Reads exactly `n` bytes at `pos`: 0, ERAR_EREAD, or ERAR_BAD_DATA when the
// file ends first.
int ReadExact(RandomAccess& file, uint64_t pos, uint8_t* buf, size_t n);

inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace rarlib

#endif  // RARLIB_PARSER_H_
