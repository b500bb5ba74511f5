#include "plugin/name_lookup.h"

#include <new>

bool NameLookup::add(const char16_t* name, int32_t position) noexcept {
  try {
    map_.emplace(std::u16string_view(name), position);  // keeps an earlier position
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

int32_t NameLookup::find(const char16_t* name) const noexcept {
  if (name == nullptr) return -1;
  const auto it = map_.find(std::u16string_view(name));
  return it == map_.end() ? -1 : it->second;
}
