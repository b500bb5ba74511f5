// One archive block as the format parsers describe it, independent of the
// format (RAR 4 or RAR 5) it came from.
#ifndef RARLIB_BLOCK_H_
#define RARLIB_BLOCK_H_

#include <cstdint>
#include <string>
#include <vector>

namespace rarlib {

enum class BlockKind {
  kMain,     // main archive header
  kFile,     // file header (a member)
  kService,  // service header (comment, ACL, stream, quick open, recovery...)
  kEnd,      // end of archive (of this volume)
  kOther,    // anything else; passed over
};

enum class ArchiveFormat { kNone, kRar14, kRar4, kRar5, kNewer };

// Archive-level facts gathered from the signature, main and end headers.
struct ArchiveInfo {
  ArchiveFormat format = ArchiveFormat::kNone;
  uint64_t sfx_size = 0;          // offset of the signature in the first volume
  uint32_t open_flags = 0;        // ROADF_* known so far
  bool encrypted_headers = false;
  bool solid = false;
  bool volume = false;
  bool new_numbering = false;
  bool first_volume_known = false;  // the main header said "first volume"
  bool has_volume_number = false;   // RAR 5: a later volume
  // Raw bytes of the RAR 5 encryption header or RAR 4 main flags, for the
  // header decryption layer.
  std::vector<uint8_t> header_crypt;
};

struct Block {
  BlockKind kind = BlockKind::kOther;
  uint64_t start = 0;       // offset of the block in its volume
  uint64_t data_start = 0;  // first byte of the data area
  uint64_t data_size = 0;   // packed size of this part
  uint64_t next = 0;        // data_start + data_size

  // End block: more volumes follow.
  bool not_last_volume = false;

  // File and service headers.
  std::u16string name;      // '/' separated; the service name for services
  uint64_t unp_size = 0;
  bool unp_size_unknown = false;
  bool split_before = false;
  bool split_after = false;
  bool encrypted = false;
  bool solid_flag = false;   // the header's own solid bit (reported)
  bool solid_decode = false; // continue the decoder state (decoding rule)
  bool directory = false;
  bool child = false;        // service block belonging to the preceding file
  uint32_t host_os = 2;      // reported: 2 PC-style, 3 Unix
  uint32_t attr = 0;
  bool has_crc = false;
  uint32_t crc = 0;
  uint32_t ftime = 0;        // DOS date and time
  uint32_t unp_ver = 0;      // reported unpack version
  int decoder_version = 0;   // 0 for stored data, else DecoderParams::version
  uint32_t method = 0x30;    // 0x30..0x35
  uint64_t dict_size = 0;    // bytes
  uint32_t hash_type = 0;    // RAR_HASH_*
  bool sum16 = false;        // `crc` is the 16-bit RAR 1.4 checksum, not a CRC32
  uint8_t hash[32] = {};
  uint32_t redir_type = 0;   // RAR_REDIR_*
  std::string link_target;   // UTF-8, RAR 5 redirection record
  // Encryption parameters as stored: RAR 4 salt (8 bytes, when present) or the
  // RAR 5 encryption record's body.
  std::vector<uint8_t> crypt;
};

}  // namespace rarlib

#endif  // RARLIB_BLOCK_H_
