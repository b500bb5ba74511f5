#include "rarlib/archive.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>

#include "rarlib/legacy/checksum14.h"
#include "rarlib/legacy/legacy_cipher.h"
#include "rarlib/text.h"

namespace rarlib {
namespace {

// Stored data moves in 256 KiB steps, small enough to stay in cache between
// the checksum and the copy that follows.
constexpr size_t kCopyChunk = size_t{256} << 10;
constexpr uint64_t kMaxComment = 256 * 1024;
constexpr int kMaxPrescanBlocks = 4096;
constexpr int kMaxServiceRun = 65536;  // service blocks passed after one member

int MapDecodeStatus(DecodeStatus st) {
  switch (st) {
    case DecodeStatus::kOk:
      return 0;
    case DecodeStatus::kNoMemory:
      return ERAR_NO_MEMORY;
    case DecodeStatus::kUnsupported:
      return ERAR_UNKNOWN_FORMAT;
    case DecodeStatus::kReadError:
      return ERAR_EREAD;
    case DecodeStatus::kWriteError:
      return ERAR_EWRITE;
    case DecodeStatus::kBadData:
    default:
      return ERAR_BAD_DATA;
  }
}

// Joins `dir` and a member name, refusing names that would leave `dir`.
bool JoinSafe(const std::string& dir, const std::u16string& name, std::string* out) {
  std::string utf8;
  if (!Utf16ToUtf8(name.data(), name.size(), &utf8)) return false;
  std::string joined = dir;
  if (!joined.empty() && joined.back() != '/') joined += '/';
  size_t start = 0;
  bool any = false;
  while (start <= utf8.size()) {
    size_t end = utf8.find('/', start);
    if (end == std::string::npos) end = utf8.size();
    std::string part = utf8.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") return false;
    if (any) joined += '/';
    joined += part;
    any = true;
  }
  if (!any) return false;
  *out = joined;
  return true;
}

bool ToUtf8Path(const char16_t* s, std::string* out) {
  size_t n = 0;
  while (s[n] != 0) {
    if (++n > 65536) return false;
  }
  return Utf16ToUtf8(s, n, out) && !out->empty();
}

}  // namespace

Archive::~Archive() { Close(); }

int Archive::Open(const std::string& path, unsigned mode, RAROpenArchiveDataEx* data) {
  mode_ = mode;
  if (!volumes_.Open(path)) return ERAR_EOPEN;
  InputFile* f = volumes_.Get(0);
  uint64_t sig = 0;
  ArchiveFormat fmt = FindSignature(*f, &sig);
  if (fmt == ArchiveFormat::kNone) return ERAR_BAD_ARCHIVE;
  parser_ = MakeParser(fmt);
  if (!parser_) return ERAR_UNKNOWN_FORMAT;  // a newer format, or one without a parser yet
  parser_->info().format = fmt;
  parser_->info().sfx_size = sig;
  header_crypto_ = std::make_unique<HeaderCrypto>(fmt == ArchiveFormat::kRar5, &parser_->info(), &keys_);
  int rc = parser_->OpenVolume(*f, sig, &pos_);
  if (rc != 0) return rc;
  if (fmt == ArchiveFormat::kRar5 && info().encrypted_headers) {
    rc = CheckRar5HeaderCrypt(info());  // refuse what no password could open
    if (rc != 0) return rc;
  }
  volumes_.set_new_numbering(info().new_numbering);
  cur_volume_ = 0;
  PrescanOpen(data);
  return 0;
}

// Looks at the blocks before the first member: an archive comment, and whether
// this is the first volume (a volume whose first member does not continue an
// earlier one).
void Archive::PrescanOpen(RAROpenArchiveDataEx* data) {
  uint32_t flags = info().open_flags;
  InputFile* f = volumes_.Get(0);
  uint64_t p = pos_;
  for (int i = 0; i < kMaxPrescanBlocks; ++i) {
    Block b;
    if (parser_->ReadBlock(*f, p, &b) != 0) break;
    if (b.kind == BlockKind::kService && b.name == u"CMT" && !b.child) {
      flags |= ROADF_COMMENT;
      if (data->CmtBuf != nullptr && data->CmtBufSize > 0 && data->CmtState == 0) {
        if (b.method != 0x30 || b.encrypted || b.unp_size > kMaxComment) {
          data->CmtState = ERAR_UNKNOWN_FORMAT;
        } else {
          uint64_t n = std::min(b.unp_size, b.data_size);
          std::vector<uint8_t> text(static_cast<size_t>(n));
          if (ReadExact(*f, b.data_start, text.data(), text.size()) == 0) {
            size_t room = data->CmtBufSize - 1;
            size_t copy = std::min(room, text.size());
            std::memcpy(data->CmtBuf, text.data(), copy);
            data->CmtBuf[copy] = 0;
            data->CmtSize = static_cast<unsigned>(copy + 1);
            data->CmtState = copy < text.size() ? ERAR_SMALL_BUF : 1;
          }
        }
      }
    }
    if (b.kind == BlockKind::kFile) {
      if (info().volume) {
        if (b.split_before) {
          flags &= ~ROADF_FIRSTVOLUME;
        } else {
          flags |= ROADF_FIRSTVOLUME;
        }
      }
      break;
    }
    if (b.kind == BlockKind::kEnd) break;
    p = b.next;
  }
  data->Flags = flags;
}

void Archive::SetPassword(const char* utf8) {
  if (!password_.empty()) OPENSSL_cleanse(&password_[0], password_.size());
  password_.assign(utf8 != nullptr ? utf8 : "");
  keys_.SetPassword(password_);
  peeked_valid_ = false;  // headers may read differently with another key
  // Encrypted headers are read once there is a password; without one they
  // answer ERAR_MISSING_PASSWORD.
  if (parser_) parser_->set_decryptor(keys_.has_password() ? header_crypto_.get() : nullptr);
}

int Archive::EnterVolume(size_t index, uint64_t* first_block) {
  InputFile* f = volumes_.Get(index);
  if (f == nullptr) return ERAR_EOPEN;
  uint64_t sig = 0;
  if (FindSignature(*f, &sig) != info().format) return ERAR_BAD_DATA;
  const bool encrypted = info().encrypted_headers;
  const uint32_t flags = info().open_flags;
  int rc = parser_->OpenVolume(*f, sig, first_block);
  // Archive-level facts come from the first volume; every volume must agree on
  // header encryption.
  bool mismatch = info().encrypted_headers != encrypted;
  parser_->info().open_flags = flags;
  if (rc != 0) return rc;
  return mismatch ? ERAR_BAD_DATA : 0;
}

int Archive::ReadHeader(RARHeaderDataEx* out) {
  if (has_member_) {
    // The member was left unprocessed: pass over it without decoding.
    if (NeedsDecodeOnSkip()) solid_broken_code_ = ERAR_BAD_DATA;
    Advance();
  }
  if (sticky_error_ != 0) return sticky_error_;
  Block b;
  for (;;) {
    InputFile* f = volumes_.Get(cur_volume_);
    if (f == nullptr) return sticky_error_ = ERAR_EOPEN;
    int rc = 0;
    if (peeked_valid_ && peeked_volume_ == cur_volume_ && peeked_pos_ == pos_) {
      b = std::move(peeked_);
    } else {
      rc = parser_->ReadBlock(*f, pos_, &b);
    }
    peeked_valid_ = false;
    if (rc == ERAR_MISSING_PASSWORD || rc == ERAR_BAD_PASSWORD) return rc;  // may be retried
    bool next_volume = false;
    if (rc == ERAR_END_ARCHIVE) {
      // A volume that ends without an end block: a next one may follow.
      if (!info().volume) return sticky_error_ = ERAR_END_ARCHIVE;
      next_volume = true;
    } else if (rc != 0) {
      return sticky_error_ = rc;
    } else if (b.kind == BlockKind::kEnd) {
      if (!b.not_last_volume) return sticky_error_ = ERAR_END_ARCHIVE;
      next_volume = true;
    }
    if (next_volume) {
      uint64_t first = 0;
      int vrc = EnterVolume(cur_volume_ + 1, &first);
      if (vrc != 0) {
        // Without an end block saying more follow, a missing volume ends the set.
        if (rc == ERAR_END_ARCHIVE && vrc == ERAR_EOPEN) vrc = ERAR_END_ARCHIVE;
        return sticky_error_ = vrc;
      }
      ++cur_volume_;
      pos_ = first;
      continue;
    }
    pos_ = b.next;
    if (b.kind != BlockKind::kFile) continue;
    ++files_seen_;
    if (!b.split_before) break;  // members continued from a previous volume are passed over
  }

  member_ = Member();
  member_.header = std::move(b);
  Block& h = member_.header;
  if (h.decoder_version != 0 && h.decoder_version <= 15) {
    // RAR 1.5 data is solid by the archive flag, for all but the first member.
    h.solid_decode = info().solid && files_seen_ > 1;
  }
  member_.volume = cur_volume_;
  member_.parts.push_back(Part{cur_volume_, h.data_start, h.data_size});
  member_.has_crc = h.has_crc;
  member_.crc = h.crc;
  member_.hash_type = h.hash_type;
  std::memcpy(member_.hash, h.hash, sizeof member_.hash);
  member_.stand_volume = cur_volume_;
  member_.stand_pos = h.next;
  if (h.split_after) FollowParts(&member_);
  if (member_.hash_type == RAR_HASH_NONE && member_.has_crc) member_.hash_type = RAR_HASH_CRC32;
  PassServiceBlocks(member_.stand_volume, &member_.stand_pos);
  has_member_ = true;

  std::memset(out, 0, sizeof *out);
  size_t n = std::min(h.name.size(), size_t{1023});
  if (n == 1023 && h.name[1022] >= 0xD800 && h.name[1022] <= 0xDBFF) n = 1022;
  std::memcpy(out->FileNameW, h.name.data(), n * sizeof(char16_t));
  out->FileNameW[n] = 0;
  unsigned flags = 0;
  if (h.split_after) flags |= RHDF_SPLITAFTER;
  if (h.encrypted) flags |= RHDF_ENCRYPTED;
  if (h.solid_flag) flags |= RHDF_SOLID;
  if (h.directory) flags |= RHDF_DIRECTORY;
  out->Flags = flags;
  out->PackSize = static_cast<unsigned>(h.data_size);
  out->PackSizeHigh = static_cast<unsigned>(h.data_size >> 32);
  out->UnpSize = static_cast<unsigned>(h.unp_size);
  out->UnpSizeHigh = static_cast<unsigned>(h.unp_size >> 32);
  out->HostOS = h.host_os;
  out->FileCRC = member_.crc;
  out->FileTime = h.ftime;
  out->UnpVer = h.unp_ver;
  out->Method = h.method;
  out->FileAttr = h.attr;
  uint64_t kib = h.dict_size / 1024;
  out->DictSize = kib > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<unsigned>(kib);
  out->HashType = member_.hash_type;
  std::memcpy(out->Hash, member_.hash, sizeof out->Hash);
  out->RedirType = h.redir_type;
  return 0;
}

// Collects the continuation parts of a split member from the following volumes.
// The handle ends up after the last part found.
int Archive::FollowParts(Member* m) {
  Block last = m->header;
  size_t v = m->volume;
  while (last.split_after) {
    if (m->parts.size() >= kMaxVolumes) {
      m->parts_error = ERAR_BAD_DATA;
      break;
    }
    uint64_t p = 0;
    int rc = EnterVolume(v + 1, &p);
    if (rc != 0) {
      m->parts_error = rc;
      break;
    }
    ++v;
    InputFile* f = volumes_.Get(v);
    Block b;
    bool found = false;
    for (int i = 0; i < kMaxServiceRun && f != nullptr; ++i) {
      rc = parser_->ReadBlock(*f, p, &b);
      if (rc != 0) break;
      if (b.kind == BlockKind::kFile) {
        found = true;
        break;
      }
      if (b.kind == BlockKind::kEnd) break;
      p = b.next;
    }
    if (!found || !b.split_before || b.name != m->header.name) {
      m->parts_error = (rc != 0 && rc != ERAR_END_ARCHIVE) ? rc : ERAR_BAD_DATA;
      // Stand at the start of this volume; the walk passes the stray part over.
      m->stand_volume = v;
      m->stand_pos = p;
      break;
    }
    m->parts.push_back(Part{v, b.data_start, b.data_size});
    m->stand_volume = v;
    m->stand_pos = b.next;
    last = std::move(b);
  }
  if (m->parts_error == 0) {
    // The whole member's checksum is in its last part.
    m->has_crc = last.has_crc;
    m->crc = last.crc;
    m->hash_type = last.hash_type;
    std::memcpy(m->hash, last.hash, sizeof m->hash);
  }
  return m->parts_error;
}

void Archive::PassServiceBlocks(size_t volume, uint64_t* pos) {
  InputFile* f = volumes_.Get(volume);
  if (f == nullptr) return;
  peeked_valid_ = false;
  for (int i = 0; i < kMaxServiceRun; ++i) {
    Block b;
    if (parser_->ReadBlock(*f, *pos, &b) != 0) return;
    if (b.kind != BlockKind::kService && b.kind != BlockKind::kOther) {
      peeked_ = std::move(b);
      peeked_valid_ = true;
      peeked_volume_ = volume;
      peeked_pos_ = *pos;
      return;
    }
    *pos = b.next;
  }
}

void Archive::Advance() {
  cur_volume_ = member_.stand_volume;
  pos_ = member_.stand_pos;
  has_member_ = false;
  replay_needed_ = false;
}

void Archive::Positions(int64_t* current, int64_t* next) const {
  if (has_member_) {
    *current = VolumePosition(member_.volume, member_.header.start);
    *next = VolumePosition(member_.stand_volume, member_.stand_pos);
  } else {
    *current = *next = VolumePosition(cur_volume_, pos_);
  }
}

bool Archive::NeedsDecodeOnSkip() const {
  const Block& h = member_.header;
  return mode_ == RAR_OM_EXTRACT && info().solid && h.decoder_version != 0 && !h.directory;
}

int Archive::ProcessFile(int operation, const char16_t* dest_path, const char16_t* dest_name) {
  if (!has_member_) return sticky_error_ != 0 ? sticky_error_ : ERAR_UNKNOWN;
  if (operation != RAR_SKIP && operation != RAR_TEST && operation != RAR_EXTRACT) {
    return ERAR_UNKNOWN;
  }
  if (mode_ == RAR_OM_LIST) {
    // List mode never decodes: skipping only moves on.
    if (operation != RAR_SKIP) return ERAR_UNKNOWN;
    Advance();
    return 0;
  }
  int rc = 0;
  if (operation == RAR_SKIP) {
    if (NeedsDecodeOnSkip()) {
      NullSink none;
      write_error_ = ERAR_EWRITE;
      Unpack(&none);  // a failure leaves the solid run marked broken
    }
    Advance();
    return 0;
  }
  const Block& h = member_.header;
  if (operation == RAR_TEST) {
    NullSink none;
    write_error_ = ERAR_EWRITE;
    rc = Unpack(&none);
  } else if (h.directory) {
    rc = 0;  // a directory member creates nothing
  } else if (dest_name != nullptr || dest_path != nullptr) {
    std::string path;
    bool ok;
    if (dest_name != nullptr) {
      ok = ToUtf8Path(dest_name, &path);
    } else {
      std::string dir;
      ok = ToUtf8Path(dest_path, &dir) && JoinSafe(dir, h.name, &path);
    }
    MemberCipher cipher;
    rc = ok ? Preflight(&cipher) : ERAR_ECREATE;
    if (rc == 0) {
      OutputFile file;
      if (!file.Create(path)) {
        rc = ERAR_ECREATE;
        MarkSkipped();
      } else {
        FileSink sink(&file);
        write_error_ = ERAR_EWRITE;
        rc = Unpack(&sink);
        if (!file.Close() && rc == 0) rc = ERAR_EWRITE;
      }
    } else {
      MarkSkipped();
    }
  } else {
    CallbackSink sink(callback_, user_);
    write_error_ = ERAR_UNKNOWN;  // the callback asked to stop
    rc = Unpack(&sink);
  }
  if (rc != 0 && !password_.empty()) {
    // Stay on the member so it can be tried again, perhaps with another
    // password; a solid run is decoded again up to it on the next try.
    replay_needed_ = h.solid_decode && h.decoder_version != 0;
    return rc;
  }
  Advance();
  return rc;
}

// Failures known before any data is read, so no destination is created for
// them: a missing volume, a missing password, a RAR 5 password that its check
// value refuses.
int Archive::Preflight(MemberCipher* cipher) {
  const Block& h = member_.header;
  if (member_.parts_error != 0) return member_.parts_error;
  if (!h.encrypted) return 0;
  if (LegacyCipherOf(h) != LegacyCipher::kNone) return password_.empty() ? ERAR_MISSING_PASSWORD : 0;
  return PrepareMemberCipher(info().format == ArchiveFormat::kRar5, h.crypt, &keys_, cipher);
}

// The legacy cipher of an encrypted RAR 1.4 or RAR 1.5-2.x member; kNone otherwise.
LegacyCipher Archive::LegacyCipherOf(const Block& h) const {
  if (!h.encrypted || info().format == ArchiveFormat::kRar5) return LegacyCipher::kNone;
  return SelectLegacyCipher(info().format == ArchiveFormat::kRar14, h.unp_ver);
}

// A member of a solid run that is not decoded leaves the run unusable.
void Archive::MarkSkipped() {
  if (member_.header.decoder_version != 0 && solid_broken_code_ == 0) {
    solid_broken_code_ = ERAR_BAD_DATA;
  }
}

int Archive::Unpack(ByteSink* target) {
  const Block& h = member_.header;
  if (h.directory) return 0;
  MemberCipher cipher;
  int rc = Preflight(&cipher);
  if (rc != 0) {
    MarkSkipped();
    return rc;
  }
  if (replay_needed_) {
    // The failed try may have run the decoder on (even if it then failed only
    // the checksum): rebuild the state the member starts from.
    replay_needed_ = false;
    rc = ReplayRun();
    if (rc != 0) return rc;
  }
  if (h.redir_type != RAR_REDIR_NONE && h.data_size == 0 && !h.link_target.empty()) {
    // A link carried in the header: its target text is the member's content.
    return target->Write(reinterpret_cast<const uint8_t*>(h.link_target.data()),
                         h.link_target.size())
               ? 0
               : write_error_;
  }
  PartSource src(&volumes_, &member_.parts);
  ByteSource* packed = &src;
  std::unique_ptr<LegacyDecryptSource> legacy;
  if (LegacyCipherOf(h) != LegacyCipher::kNone) {
    legacy = std::make_unique<LegacyDecryptSource>(&src, LegacyCipherOf(h), password_);
    packed = legacy.get();
  }
  std::unique_ptr<AesDecryptSource> aes;
  if (cipher.key_len != 0) {
    aes = std::make_unique<AesDecryptSource>(&src, cipher.key, cipher.key_len, cipher.iv);
    packed = aes.get();
  }
  Crc32Check crc(member_.crc);
  Checksum14Check sum14(member_.crc);
  DataCheck* check = !member_.has_crc ? nullptr : h.sum16 ? static_cast<DataCheck*>(&sum14) : &crc;
  // RAR 5: a BLAKE2sp digest wins over the CRC32; either may be in MAC form.
  const bool blake = member_.hash_type == RAR_HASH_BLAKE2;
  MemberCheck rar5_check(member_.crc, blake ? member_.hash : nullptr,
                         cipher.mac ? cipher.hash_key : nullptr);
  if (info().format == ArchiveFormat::kRar5 && (member_.has_crc || blake)) check = &rar5_check;
  const uint64_t limit = h.unp_size_unknown ? UINT64_MAX : h.unp_size;
  CheckedSink sink(target, check, limit);
  rc = h.decoder_version == 0 ? UnpackStored(packed, &sink) : UnpackCompressed(packed, &sink);
  if (rc == ERAR_EREAD && src.error() != 0) rc = src.error();
  if (rc == ERAR_EWRITE) rc = sink.overflowed() ? ERAR_BAD_DATA : write_error_;
  if (rc != 0) return rc;
  if (check != nullptr && !check->Matches()) return ERAR_BAD_DATA;
  return 0;
}

int Archive::UnpackStored(ByteSource* src, CheckedSink* sink) {
  const Block& h = member_.header;
  if (buffer_.empty()) buffer_.resize(kCopyChunk);
  uint64_t remaining = h.unp_size_unknown ? UINT64_MAX : h.unp_size;
  while (remaining > 0) {
    size_t want = remaining < buffer_.size() ? static_cast<size_t>(remaining) : buffer_.size();
    int64_t got = src->Read(buffer_.data(), want);
    if (got < 0) return ERAR_EREAD;
    if (got == 0) {
      if (h.unp_size_unknown) break;
      return ERAR_BAD_DATA;  // packed data shorter than the declared size
    }
    if (!sink->Write(buffer_.data(), static_cast<size_t>(got))) return ERAR_EWRITE;
    remaining -= static_cast<uint64_t>(got);
  }
  return 0;
}

int Archive::UnpackCompressed(ByteSource* src, CheckedSink* sink) {
  const Block& h = member_.header;
  DecoderParams params;
  params.version = h.decoder_version;
  params.dict_size = h.dict_size;
  if (h.unp_size_unknown) {
    solid_broken_code_ = ERAR_UNKNOWN_FORMAT;
    return ERAR_UNKNOWN_FORMAT;
  }
  const bool solid = h.solid_decode;
  if (!solid) {
    run_known_ = true;
    run_volume_ = member_.volume;
    run_pos_ = h.start;
    run_files_seen_ = files_seen_ - 1;
  }
  if (solid) {
    if (solid_broken_code_ != 0) return solid_broken_code_;
    if (!decoder_ || decoder_params_.version != params.version ||
        decoder_params_.dict_size < params.dict_size) {
      solid_broken_code_ = ERAR_BAD_DATA;
      return ERAR_BAD_DATA;
    }
  } else if (!decoder_ || decoder_params_.version != params.version ||
             decoder_params_.dict_size < params.dict_size) {
    decoder_.reset();
    DecodeStatus st = CreateDecoder(params, &decoder_);
    if (st != DecodeStatus::kOk || !decoder_) {
      decoder_.reset();
      int rc = st == DecodeStatus::kOk ? ERAR_UNKNOWN_FORMAT : MapDecodeStatus(st);
      solid_broken_code_ = rc;
      return rc;
    }
    decoder_params_ = params;
  }
  if (!solid) solid_broken_code_ = 0;
  DecodeStatus st = decoder_->Decode(*src, h.unp_size, solid, *sink);
  int rc = MapDecodeStatus(st);
  if (rc == 0 && sink->written() != h.unp_size) rc = ERAR_BAD_DATA;
  if (rc != 0) {
    solid_broken_code_ = rc == ERAR_UNKNOWN_FORMAT ? rc : ERAR_BAD_DATA;
  }
  return rc;
}

// Walks from the run's first member to the current one, decoding each into
// nothing, then stands on the current member again with the decoder state it
// needs. Returns 0 or why the run could not be rebuilt.
int Archive::ReplayRun() {
  if (!run_known_) return solid_broken_code_;
  Member target = std::move(member_);
  const size_t saved_volume = cur_volume_;
  const uint64_t saved_pos = pos_;
  const uint64_t saved_files = files_seen_;
  const int saved_sticky = sticky_error_;
  const int saved_write_error = write_error_;
  cur_volume_ = run_volume_;
  pos_ = run_pos_;
  files_seen_ = run_files_seen_;
  sticky_error_ = 0;
  has_member_ = false;
  solid_broken_code_ = 0;
  int rc = ERAR_BAD_DATA;
  auto header = std::make_unique<RARHeaderDataEx>();
  for (uint64_t guard = 0; guard < saved_files + 1; ++guard) {
    int hr = ReadHeader(header.get());
    if (hr != 0) {
      rc = hr;
      break;
    }
    has_member_ = false;
    if (member_.volume == target.volume && member_.header.start == target.header.start) {
      rc = 0;
      break;
    }
    if (member_.header.decoder_version == 0 || member_.header.directory) continue;
    NullSink none;
    write_error_ = ERAR_EWRITE;
    hr = Unpack(&none);
    if (hr != 0) {
      rc = hr;
      break;
    }
  }
  member_ = std::move(target);
  has_member_ = true;
  cur_volume_ = saved_volume;
  pos_ = saved_pos;
  files_seen_ = saved_files;
  sticky_error_ = saved_sticky;
  write_error_ = saved_write_error;
  if (rc != 0 && solid_broken_code_ == 0) solid_broken_code_ = ERAR_BAD_DATA;
  return rc;
}

int Archive::Close() {
  decoder_.reset();
  has_member_ = false;
  keys_.Clear();
  if (!password_.empty()) OPENSSL_cleanse(&password_[0], password_.size());
  password_.clear();
  return volumes_.Close() ? 0 : ERAR_ECLOSE;
}

}  // namespace rarlib
