// The contract between the archive handle and the decoders.
//
// A decoder is a pure machine: packed bytes in (already joined across volumes and
// decrypted), unpacked bytes out. One Decoder object serves one solid run: the handle
// keeps it between members and calls Decode once per member, with `solid` telling
// whether the member continues the previous one's state. A non-solid call resets
// everything. Decoders never read or write files and never allocate more than their
// window and tables (bounded at creation).
#ifndef RARLIB_UNPACK_DECODER_H_
#define RARLIB_UNPACK_DECODER_H_

#include <cstddef>
#include <cstdint>
#include <memory>

namespace rarlib {

// Source of packed bytes for one member.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `n` bytes into `buf`. Returns the count (0 at the end of the
  // member's packed data) or -1 on a read or decryption failure.
  virtual int64_t Read(uint8_t* buf, size_t n) = 0;
};

// Receiver of unpacked bytes, in order.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Takes `n` bytes. Returns false to stop the decoder (write failure).
  virtual bool Write(const uint8_t* data, size_t n) = 0;
};

enum class DecodeStatus {
  kOk = 0,
  kBadData,      // malformed or truncated packed data
  kNoMemory,     // window or model could not be allocated
  kUnsupported,  // valid but not supported (e.g. a non-standard filter program)
  kReadError,    // the ByteSource failed
  kWriteError,   // the ByteSink refused
};

// What the file header says about how a member was packed.
struct DecoderParams {
  // Unpack version: 13/15 (RAR 1.5), 20/26 (RAR 2.0), 29 (RAR 2.9/3.x),
  // 50 (RAR 5.0, algorithm 0), 70 (RAR 7, algorithm 1).
  int version = 0;
  // Dictionary (window) size in bytes as the header declares it.
  uint64_t dict_size = 0;
};

class Decoder {
 public:
  virtual ~Decoder() = default;
  // Decodes one member: exactly `unpacked_size` bytes go to `sink` on kOk; never
  // more. Running out of packed data before that is kBadData. `solid` continues the
  // state left by the previous call; false starts afresh.
  virtual DecodeStatus Decode(ByteSource& src, uint64_t unpacked_size, bool solid,
                              ByteSink& sink) = 0;
};

// Largest window any decoder allocates; larger declared dictionaries are refused
// with kUnsupported so a hostile header cannot claim huge memory. Decoders size
// the window by what the run can actually reach where they can (never more than
// the declared dictionary).
constexpr uint64_t kMaxWindowSize = uint64_t{1} << 32;  // 4 GiB

// Creates the decoder for `params`. Returns kUnsupported for an unknown version or
// an over-large dictionary, kNoMemory when the window cannot be allocated.
DecodeStatus CreateDecoder(const DecoderParams& params, std::unique_ptr<Decoder>* out);

}  // namespace rarlib

#endif  // RARLIB_UNPACK_DECODER_H_
