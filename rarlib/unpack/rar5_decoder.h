// The RAR 5.0 decoder (unpack version 50) and its RAR 7 extension (version 70:
// 80 distance slots, distances up to 2^40, window sizes that need not be powers of
// two).
//
// Window memory: a run is given the declared dictionary as its limit, but the
// window only grows as far as the run can reach. A non-solid member of known size
// gets min(dictionary, size + one match); each solid member extends the window to
// cover what the run has produced plus its own size, doubling at least, until it
// reaches the dictionary, after which the window wraps. A run therefore never holds
// more than it produces, and never more than the dictionary (taken as at least
// 256 KiB). A filter's range must be decoded before it is written, so in a window
// that wraps, a range longer than the window allows is bad data.
//
// Output goes to the sink in pieces of up to 4 MiB, filtered ranges whole.
//
// Errors: malformed or truncated data, distances reaching before the run or beyond
// the dictionary, filters that overlap, exceed 4 MiB, use an undefined type or
// reach past the member's end give kBadData. After any failure the run's state is
// lost: a following solid call answers kBadData until a non-solid call starts a new
// run.
//
// An unpacked size of UINT64_MAX means "unknown": the member ends with its last
// block.
#ifndef RARLIB_UNPACK_RAR5_DECODER_H_
#define RARLIB_UNPACK_RAR5_DECODER_H_

#include <memory>

#include "rarlib/unpack/decoder.h"

namespace rarlib {

// Creates a decoder for `params` (version 50 or 70). kUnsupported for another
// version or a dictionary above kMaxWindowSize. The window is allocated on the
// first Decode call, so kNoMemory is reported there.
DecodeStatus CreateRar5Decoder(const DecoderParams& params, std::unique_ptr<Decoder>* out);

}  // namespace rarlib

#endif  // RARLIB_UNPACK_RAR5_DECODER_H_
