#include "rarlib/unpack/decoder.h"

#include "rarlib/unpack/rar15_decoder.h"
#include "rarlib/unpack/rar20_decoder.h"
#include "rarlib/unpack/rar29_decoder.h"
#include "rarlib/unpack/rar5_decoder.h"

namespace rarlib {

DecodeStatus CreateDecoder(const DecoderParams& params, std::unique_ptr<Decoder>* out) {
  if (out == nullptr) return DecodeStatus::kUnsupported;
  out->reset();
  if (params.dict_size > kMaxWindowSize) return DecodeStatus::kUnsupported;
  switch (params.version) {
    // One line per decoder family: the versions it reads and its factory.
    case 50: case 70: return CreateRar5Decoder(params, out);
    case 29: return CreateRar29Decoder(params, out);
    case 20: case 26: return CreateRar20Decoder(params, out);
    case 13: case 15: return CreateRar15Decoder(params, out);
    default:
      return DecodeStatus::kUnsupported;
  }
}

}  // namespace rarlib
