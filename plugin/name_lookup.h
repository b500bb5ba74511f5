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
#include <string_view>
#include <unordered_map>

class NameLookup {
 public:
  // Records `name` at `position` unless an earlier position holds the same name. Returns
  // false only when memory ran out (the lookup is then unchanged).
  bool add(const char16_t* name, int32_t position) noexcept;

  // The first position of `name`, or -1.
  int32_t find(const char16_t* name) const noexcept;

  void clear() noexcept { map_.clear(); }

 private:
  struct KeyedHash {
    size_t operator()(std::u16string_view name) const noexcept;
  };
  std::unordered_map<std::u16string_view, int32_t, KeyedHash> map_;
};
