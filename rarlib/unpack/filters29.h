// RAR 2.9/3.x output filters: the filter records carried in the packed stream, the
// recognition of the standard filter programs, and the transforms themselves.
//
// Only the six standard programs (E8, E8E9, ITANIUM, DELTA, RGB, AUDIO) are run; any
// other program is refused with kUnsupported so unfiltered bytes are never passed off
// as the member's content. Positions are absolute output positions of the solid
// stream. All sizes are bounded: a filter covers less than kFilter29MaxLength bytes,
// at most kFilter29MaxPrograms programs and kFilter29MaxPending pending instances.
#ifndef RARLIB_UNPACK_FILTERS29_H_
#define RARLIB_UNPACK_FILTERS29_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "rarlib/unpack/decoder.h"

namespace rarlib {

enum class Filter29Kind : uint8_t { kE8, kE8E9, kItanium, kDelta, kRgb, kAudio, kUnknown };

constexpr uint32_t kFilter29MaxLength = 0x40000;  // exclusive bound on a filtered range
constexpr size_t kFilter29MaxPrograms = 8192;
constexpr size_t kFilter29MaxPending = 8192;

// Identifies a filter program by its size and CRC32. Returns false when the
// program's check byte (code[0] == XOR of the rest) is wrong; otherwise stores the
// kind (kUnknown for any non-standard program).
bool ClassifyFilter29Program(const uint8_t* code, size_t size, Filter29Kind* kind);

// One filter to apply to the output range [pos, pos + length).
struct Filter29Instance {
  Filter29Kind kind = Filter29Kind::kUnknown;
  uint64_t pos = 0;
  uint32_t length = 0;
  uint32_t regs[7] = {};  // R[0], R[1] carry the parameters; R[4] == length
};

// Runs one standard filter over data[0..n). The result (n bytes) is left either in
// `data` (E8, E8E9, ITANIUM work in place) or in `scratch` (at least n bytes); *result
// says which. `file_offset` is the offset of data[0] within the member. Returns kOk,
// kBadData for parameters outside the filter's limits, kUnsupported for kUnknown.
DecodeStatus RunFilter29(const Filter29Instance& f, uint8_t* data, uint32_t n, uint32_t file_offset,
                         uint8_t* scratch, uint8_t** result);

// The filter programs of a solid run and the pending instances of the current member.
class Filters29 {
 public:
  // Forgets programs, stored lengths and pending instances (non-solid member).
  void Reset();
  // Drops pending instances only (start of every member).
  void DropPending() {
    pending_.clear();
    head_ = 0;
  }

  // Parses one filter record: `flags` is its flags byte, rec[0..n) the record bytes
  // that follow it, `out_pos` the output position when the record was read. Adds a
  // pending instance. kBadData for a malformed record, kUnsupported for a program
  // that is not a standard filter.
  DecodeStatus ParseRecord(uint8_t flags, const uint8_t* rec, size_t n, uint64_t out_pos);

  bool HasPending() const { return head_ < pending_.size(); }
  const Filter29Instance& Front() const { return pending_[head_]; }
  void PopFront();

 private:
  struct Program {
    Filter29Kind kind;
    uint32_t stored_length;
  };
  std::vector<Program> programs_;
  size_t last_filter_ = 0;
  std::vector<Filter29Instance> pending_;
  size_t head_ = 0;            // first instance not yet applied
  std::vector<uint8_t> code_;  // program bytes being classified
};

}  // namespace rarlib

#endif  // RARLIB_UNPACK_FILTERS29_H_
