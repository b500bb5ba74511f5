// The RAR 1.5 decoder (unpack versions 13 and 15; also the members of RAR 1.4
// archives): adaptive fixed-shape prefix codes, move-to-front symbol lists with
// usage counters, and flag bytes that choose between literals and matches.
//
// One object serves one solid run. Kept between solid members: the window and its
// position, the symbol lists and their counters, the running averages, the
// distance history and the last match; every member starts its flag reading anew.
//
// Output is exactly the declared unpacked size. Invalid distances and truncated
// data are kBadData; after a failed member the run is broken and a later solid call
// fails with kBadData until a non-solid call.
#ifndef RARLIB_UNPACK_RAR15_DECODER_H_
#define RARLIB_UNPACK_RAR15_DECODER_H_

#include <memory>

#include "rarlib/unpack/decoder.h"

namespace rarlib {

// Creates a RAR 1.5 decoder (a 64 KiB window: the largest distance the format can
// express is below that, whatever dictionary the header declares).
DecodeStatus CreateRar15Decoder(const DecoderParams& params, std::unique_ptr<Decoder>* out);

}  // namespace rarlib

#endif  // RARLIB_UNPACK_RAR15_DECODER_H_
