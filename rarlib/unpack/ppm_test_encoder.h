// A PPMd variant H encoder driven by the very model the decoder runs, for test
// fixtures only: long streams under a small model reach the sub-allocator's
// exhaustion paths (free-block gluing, restarts) that short real samples do not.
#ifndef RARLIB_UNPACK_PPM_TEST_ENCODER_H_
#define RARLIB_UNPACK_PPM_TEST_ENCODER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rarlib {

// Encodes `data` as one PPM block: the block header (new model of `order` and
// (`mb` + 1) MiB, escape byte `esc`), the bytes with `esc` sent as "esc, 1", then
// "esc, 2" (end of file). Empty on invalid arguments.
std::vector<uint8_t> PpmEncodeBlockForTest(const uint8_t* data, size_t n, int order, int mb,
                                           int esc);

}  // namespace rarlib

#endif  // RARLIB_UNPACK_PPM_TEST_ENCODER_H_
