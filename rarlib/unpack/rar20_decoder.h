// The RAR 2.0 decoder (unpack versions 20 and 26): Huffman-coded LZ with its own
// tables, and the multimedia mode that predicts each byte from the previous ones
// per channel (up to four) and codes the difference.
//
// One object serves one solid run. Kept between solid members: the window and its
// position, the tables and the old-length list, the mode and channel count, the
// current channel, every channel predictor, the distance history and the last
// match. The bit reader starts afresh for every member.
//
// Output is exactly the declared unpacked size. Malformed tables, invalid
// distances and truncated data are kBadData; after a failed member the run is
// broken and a later solid call fails with kBadData until a non-solid call.
#ifndef RARLIB_UNPACK_RAR20_DECODER_H_
#define RARLIB_UNPACK_RAR20_DECODER_H_

#include <memory>

#include "rarlib/unpack/decoder.h"

namespace rarlib {

// Creates a RAR 2.0 decoder with a window of the declared dictionary (rounded up
// to a power of two, between 64 KiB and the 1 MiB the distance codes can reach).
DecodeStatus CreateRar20Decoder(const DecoderParams& params, std::unique_ptr<Decoder>* out);

}  // namespace rarlib

#endif  // RARLIB_UNPACK_RAR20_DECODER_H_
