// A test-only writer of RAR 4 and RAR 5 archives, in memory, with stored (or
// caller-packed) members. It produces well-formed archives by default and lets
// a test bend single fields to build damaged ones.
//
// Encryption hook: an entry can carry already-encrypted packed bytes
// (`packed`), the encrypted flag and its parameters (`crypt`: the RAR 4 salt or
// the body of the RAR 5 encryption record); `header_cipher` turns each plain
// header into its stored form for archives with encrypted headers.
#ifndef TESTS_SUPPORT_RAR_WRITER_H_
#define TESTS_SUPPORT_RAR_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

// Field writers for headers built by hand: little-endian 16 and 32 bits, and
// the RAR 5 variable-length integer (7 bits a byte, low first).
void Put16(Bytes* b, uint32_t v);
void Put32(Bytes* b, uint32_t v);
void PutVint(Bytes* b, uint64_t v);

// A service block (comment, stream, quick open, recovery record...).
struct RarService {
  std::string name;   // "CMT", "STM", "ACL", "QO", "RR"
  Bytes data;
  bool child = true;  // belongs to the preceding member
};

struct RarEntry {
  std::string name;          // UTF-8, '/' separated
  Bytes data;                // unpacked content
  bool directory = false;
  bool solid = false;        // the member's own solid flag
  bool rar4_unicode = false; // RAR 4: store the name in the encoded Unicode form
  std::optional<Bytes> raw_name;  // RAR 4/5: exact name field bytes
  bool large = false;        // RAR 4: 64-bit size fields
  int method = 0;            // 0 stored .. 5; with method > 0 supply `packed`
  int unp_ver = 29;          // RAR 4 unpack version byte
  int rar5_algo = 0;         // RAR 5 compression algorithm version
  std::optional<Bytes> packed;    // packed bytes to store instead of `data`
  std::optional<uint32_t> crc;    // overrides the CRC32 of `data`
  std::optional<uint64_t> unp_size;  // overrides data.size()
  bool no_crc = false;       // RAR 5: leave out the CRC32 field
  bool unix_host = false;
  uint32_t attr = 0x20;
  std::string link_target;   // non-empty: a symbolic link (RAR 4: the data; RAR 5: a record)
  int redir_type = 1;        // RAR 5 redirection type for link_target
  bool encrypted = false;
  Bytes crypt;               // RAR 4 salt (8 bytes) or RAR 5 encryption record body
  bool bad_header_crc = false;
  std::vector<RarService> services;  // service blocks right after the member
};

class RarWriter {
 public:
  enum class Format { kRar4, kRar5 };
  explicit RarWriter(Format f) : format_(f) {}

  RarWriter& Solid(bool v = true) { solid_ = v; return *this; }
  RarWriter& Locked(bool v = true) { locked_ = v; return *this; }
  RarWriter& Authenticity(bool v = true) { auth_ = v; return *this; }  // RAR 4 main flag 0x0020
  RarWriter& Recovery(bool v = true) { recovery_ = v; return *this; }
  RarWriter& OldNumbering(bool v = true) { old_numbering_ = v; return *this; }
  RarWriter& Sfx(Bytes prefix) { sfx_ = std::move(prefix); return *this; }
  RarWriter& Comment(const std::string& text) { comment_ = text; return *this; }
  RarWriter& NoEndBlock(bool v = true) { no_end_ = v; return *this; }
  // Service blocks before the end block (quick open, recovery record).
  RarWriter& Trailer(RarService s) { trailers_.push_back(std::move(s)); return *this; }
  // Header encryption: `cipher` maps a plain header to its stored bytes;
  // `rar5_crypt_header` is the body of the RAR 5 encryption header (type 4).
  RarWriter& HeaderCipher(std::function<Bytes(const Bytes&)> cipher, Bytes rar5_crypt_header = {}) {
    header_cipher_ = std::move(cipher);
    rar5_crypt_header_ = std::move(rar5_crypt_header);
    return *this;
  }

  RarWriter& Add(RarEntry e) { entries_.push_back(std::move(e)); return *this; }
  RarWriter& AddFile(const std::string& name, const std::string& content);
  RarWriter& AddDir(const std::string& name);

  // One archive.
  Bytes Build() const;
  // A volume set: each volume holds at most `volume_data` bytes of packed data
  // (at least one byte); members crossing the limit are split.
  std::vector<Bytes> BuildVolumes(size_t volume_data) const;

  // Offsets of each member's header in the last Build (first volume only).
  const std::vector<size_t>& header_offsets() const { return header_offsets_; }

 private:
  struct Piece;
  Bytes Assemble(const std::vector<Piece>& pieces, size_t volume, size_t volumes) const;
  Bytes MainHeader(size_t volume, size_t volumes) const;
  Bytes FileHeader(const RarEntry& e, const Bytes& packed, uint64_t part_size, bool before,
                   bool after, uint32_t part_crc, bool service, bool child) const;
  Bytes EndHeader(bool last) const;
  Bytes Wrap4(uint8_t type, uint16_t flags, const Bytes& body, bool bad_crc) const;
  Bytes Wrap5(uint64_t type, uint64_t flags, const Bytes& fields, const Bytes& extra,
              uint64_t data_size, bool bad_crc) const;

  Format format_;
  bool solid_ = false, locked_ = false, auth_ = false, recovery_ = false;
  bool old_numbering_ = false, no_end_ = false;
  Bytes sfx_;
  std::optional<std::string> comment_;
  std::vector<RarService> trailers_;
  std::vector<RarEntry> entries_;
  std::function<Bytes(const Bytes&)> header_cipher_;
  Bytes rar5_crypt_header_;
  mutable std::vector<size_t> header_offsets_;
};

// Encryption of fixtures as the archiver does it, written with OpenSSL alone
// (independent of the engine under test).
struct RarPassword {
  std::string password;  // RAR 4: its UTF-16LE form (keep it under 29 characters)
  Bytes salt;            // RAR 4: 8 bytes or none; RAR 5: 16 bytes
  int log2_count = 4;    // RAR 5: 2^log2_count PBKDF2 iterations
  bool check = true;     // RAR 5: store the password check value
  bool mac = true;       // RAR 5 members: store checksums in MAC form
};

// Turns a stored entry into an encrypted one: sets `encrypted`, `crypt` and
// `packed` (the data padded with zeros to whole blocks, then AES-CBC), and for
// RAR 5 with `mac` the stored CRC32.
void EncryptEntry(RarEntry* e, RarWriter::Format format, const RarPassword& p);

// Makes `w` encrypt every header after the main header (RAR 4) or after the
// encryption header (RAR 5).
void EncryptHeaders(RarWriter* w, RarWriter::Format format, const RarPassword& p);

// A fresh directory under /tmp, removed with everything in it at destruction.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::string& path() const { return path_; }
  // Writes `bytes` to path()/name and returns the full path.
  std::string Write(const std::string& name, const Bytes& bytes) const;
  // Writes a volume set as name.part1.rar, name.part2.rar... (or name.rar,
  // name.r00... with old naming) and returns the first volume's path.
  std::string WriteVolumes(const std::string& stem, const std::vector<Bytes>& volumes,
                           bool old_naming = false) const;

 private:
  std::string path_;
};

}  // namespace testsupport

#endif  // TESTS_SUPPORT_RAR_WRITER_H_
