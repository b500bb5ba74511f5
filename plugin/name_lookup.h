// Answers "where is the first member with this exact name?" in constant time per lookup.
//
// Names are compared code unit by code unit (no case folding, no separator or Unicode
// normalisation), and the answer is always the first recorded position of a name, so a
// lookup gives exactly what a linear search from member 0 gives. The lookup keeps views
// of the names it is given: the caller keeps those strings alive and unchanged for as long
// as the lookup is used (the member index owns both).
//
// Names come from archives, so they are hostile: the table hashes them with SipHash under
// a key drawn once per process, so that no archive can be built to make its names collide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class NameLookup {
 public:
  // Records `name` at `position` unless an earlier position holds the same name. Returns
  // false only when memory ran out (the lookup is then unchanged).
  bool add(const char16_t* name, int32_t position) noexcept;

  // The first position of `name`, or -1.
  int32_t find(const char16_t* name) const noexcept;

  // Forgets every name and releases the table.
  void clear() noexcept;

 private:
  // One open-addressing slot; `name` is null while the slot is free. The full hash is
  // kept so that probing and growing never hash a name again.
  struct Slot {
    uint64_t hash;
    const char16_t* name;
    uint32_t length;  // in code units
    int32_t position;
  };

  // The slot holding `name`, or the free slot where it belongs.
  size_t probe(uint64_t hash, const char16_t* name, size_t length) const noexcept;
  // Doubles the table (or makes the first one); false when memory ran out.
  bool grow() noexcept;

  std::vector<Slot> slots_;  // a power of two in size, at most three quarters used
  size_t used_ = 0;
};
