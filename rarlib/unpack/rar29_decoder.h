// The RAR 2.9/3.x decoder (unpack version 29): LZ blocks with Huffman tables, PPMd
// blocks, and the standard output filters.
//
// One object serves one solid run. State kept between solid members: the window and
// its position, the LZ tables and old-length table, the distance history, the
// low-distance repeat state, the PPM model and escape byte, and the filter programs.
// Pending filter instances and the bit reader start afresh for every member.
//
// Output is exactly the declared unpacked size. Invalid distances, malformed tables,
// truncated data and unfinished filters are kBadData; a filter program that is not
// one of the standard ones is kUnsupported. After a failed member the run is broken:
// a later solid call fails with kBadData until a non-solid call starts over.
#ifndef RARLIB_UNPACK_RAR29_DECODER_H_
#define RARLIB_UNPACK_RAR29_DECODER_H_

#include <memory>

#include "rarlib/unpack/decoder.h"

namespace rarlib {

// Creates a RAR 2.9 decoder whose window suits `params.dict_size` (at least 1 MiB so
// a filtered range always fits beside the bytes it waits for, at most the 4 MiB the
// distance codes can reach). kNoMemory when the window cannot be allocated.
DecodeStatus CreateRar29Decoder(const DecoderParams& params, std::unique_ptr<Decoder>* out);

}  // namespace rarlib

#endif  // RARLIB_UNPACK_RAR29_DECODER_H_
