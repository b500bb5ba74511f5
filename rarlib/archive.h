// The archive handle behind rar.h: walks the blocks of an archive or volume
// set, describes members and skips, tests or extracts them.
#ifndef RARLIB_ARCHIVE_H_
#define RARLIB_ARCHIVE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rarlib/block.h"
#include "rarlib/crypto/key_cache.h"
#include "rarlib/crypto/member_crypto.h"
#include "rarlib/legacy/legacy_cipher.h"
#include "rarlib/parser.h"
#include "rarlib/rar.h"
#include "rarlib/sinks.h"
#include "rarlib/unpack/decoder.h"
#include "rarlib/volume_set.h"

namespace rarlib {

// A position in a volume set: the volume number in bits 48..63, the offset
// in that volume below.
inline int64_t VolumePosition(size_t volume, uint64_t offset) {
  return static_cast<int64_t>((static_cast<uint64_t>(volume) << 48) | offset);
}

// What the handle knows about the member whose header was read last.
struct Member {
  Block header;              // the first part's header
  std::vector<Part> parts;   // packed data, across volumes
  int parts_error = 0;       // ERAR_* when the parts could not all be found
  bool has_crc = false;      // the whole member's checks (from its last part)
  uint32_t crc = 0;
  uint32_t hash_type = RAR_HASH_NONE;
  uint8_t hash[32] = {};
  size_t volume = 0;         // where the header is
  size_t stand_volume = 0;   // where the handle stands once the member is done
  uint64_t stand_pos = 0;
};

class Archive {
 public:
  Archive() = default;
  ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  // Opens the archive at `path` (UTF-8). Returns 0 or an ERAR_* code.
  int Open(const std::string& path, unsigned mode, RAROpenArchiveDataEx* data);
  int ReadHeader(RARHeaderDataEx* out);
  int ProcessFile(int operation, const char16_t* dest_path, const char16_t* dest_name);
  void SetCallback(RARDataCallback cb, void* user) {
    callback_ = cb;
    user_ = user;
  }
  // Sets the password for headers and data; kept until replaced or Close,
  // then wiped together with every key derived from it.
  void SetPassword(const char* utf8);
  // Key-derivation work allowed under one password, in the rounds of
  // key_cache.h (default KeyCache::kDefaultBudget). Not part of the C
  // interface; tests lower it to reach the limit cheaply.
  void set_kdf_budget(uint64_t rounds) { keys_.set_budget(rounds); }
  void Positions(int64_t* current, int64_t* next) const;
  int Close();

  const ArchiveInfo& info() const { return parser_->info(); }

 private:
  InputFile* Volume(size_t index);
  // Opens volume `index` and returns the position of its first block.
  int EnterVolume(size_t index, uint64_t* first_block);
  int FollowParts(Member* m);
  void PassServiceBlocks(size_t volume, uint64_t* pos);
  void PrescanOpen(RAROpenArchiveDataEx* data);
  void Advance();
  // Decodes the current member into `target` and checks it; 0 or an ERAR_* code.
  int Unpack(ByteSink* target);
  // Failures known before any data is read; prepares the AES cipher of an
  // encrypted member in `cipher`.
  int Preflight(MemberCipher* cipher);
  // Decodes the solid run again from its first member up to the current one,
  // so a member that failed can be extracted once more.
  int ReplayRun();
  LegacyCipher LegacyCipherOf(const Block& h) const;
  void MarkSkipped();
  int UnpackStored(ByteSource* src, CheckedSink* sink);
  int UnpackCompressed(ByteSource* src, CheckedSink* sink);
  bool NeedsDecodeOnSkip() const;

  unsigned mode_ = RAR_OM_LIST;
  VolumeSet volumes_;
  std::unique_ptr<BlockParser> parser_;
  size_t cur_volume_ = 0;
  uint64_t pos_ = 0;
  int sticky_error_ = 0;     // the walk ended with this code
  uint64_t files_seen_ = 0;  // file headers met, for the RAR 1.5 solid rule
  bool has_member_ = false;
  Member member_;
  // The block the look-ahead past a member's service blocks stopped at, so the
  // walk does not read it twice.
  bool peeked_valid_ = false;
  size_t peeked_volume_ = 0;
  uint64_t peeked_pos_ = 0;
  Block peeked_;

  RARDataCallback callback_ = nullptr;
  void* user_ = nullptr;
  std::string password_;
  KeyCache keys_;
  std::unique_ptr<HeaderCrypto> header_crypto_;

  // Solid state: the decoder of the current run and whether it is intact.
  std::unique_ptr<Decoder> decoder_;
  DecoderParams decoder_params_;
  int solid_broken_code_ = 0;  // non-zero: the run cannot be continued, and why
  // Where the current solid run starts (its first member's header), to decode
  // it again after a failed member.
  bool run_known_ = false;
  size_t run_volume_ = 0;
  uint64_t run_pos_ = 0;
  uint64_t run_files_seen_ = 0;
  bool replay_needed_ = false;  // the handle stayed on a failed member of a run
  int write_error_ = ERAR_EWRITE;  // what a refused write means for the current target
  std::vector<uint8_t> buffer_;  // stored-data copy buffer
};

}  // namespace rarlib

#endif  // RARLIB_ARCHIVE_H_
