#include "rarlib/unpack/decoder.h"

#include "rarlib/unpack/rar29_decoder.h"

namespace rarlib {

DecodeStatus CreateDecoder(const DecoderParams& params, std::unique_ptr<Decoder>* out) {
  if (out == nullptr) return DecodeStatus::kUnsupported;
  out->reset();
  if (params.dict_size > kMaxWindowSize) return DecodeStatus::kUnsupported;
  switch (params.version) {
    // One line per decoder family: the versions it reads and its factory.
    case 29: return CreateRar29Decoder(params, out);
    default:
      return DecodeStatus::kUnsupported;
  }
}

}  // namespace rarlib
