// PPMd variant H as RAR 2.9 uses it: the model, its sub-allocator and the RAR range
// decoder. The RAR 2.9 decoder owns one PpmModel per solid run and hands it the
// packed bytes through PpmByteInput whenever a table read announces a PPM block.
#ifndef RARLIB_UNPACK_PPM_MODEL_H_
#define RARLIB_UNPACK_PPM_MODEL_H_

#include <cstdint>

namespace rarlib {

// Whole bytes from the packed stream, starting at a byte boundary. Returns -1 once
// the packed data is exhausted (the model treats a read past the end as bad data).
class PpmByteInput {
 public:
  virtual ~PpmByteInput() = default;
  virtual int NextByte() = 0;
};

class PpmModel {
 public:
  PpmModel();
  ~PpmModel();
  PpmModel(const PpmModel&) = delete;
  PpmModel& operator=(const PpmModel&) = delete;

  // Reads a PPM block header (the caller has consumed the flag bit and aligned) and
  // starts the range decoder. Updates `*esc` when the header carries a new escape
  // byte. Restarts the model when the header asks for it (heap of (MB + 1) MiB,
  // bounded). Returns false on bad data or when no model exists to continue.
  bool StartBlock(PpmByteInput* in, int* esc);

  // Decodes one symbol: 0..255, or -1 on bad data (the model is then unusable
  // until a block header restarts it).
  int DecodeChar();

  // Forgets the model (a non-solid member starts without one).
  void Reset();

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace rarlib

#endif  // RARLIB_UNPACK_PPM_MODEL_H_
