#include "plugin/records.h"

#include <cstdlib>

#include "plugin/steps.h"
#include "ubl/memory.h"
#include "ubl/temp_path.h"

bool memberIndexAppend(MemberIndex* index, const char16_t* name) {
  if (!index || index->count == INT32_MAX) return false;
  if (index->count == index->capacity) {
    int32_t grown = index->capacity < 16              ? 16
                    : index->capacity > INT32_MAX / 2 ? INT32_MAX
                                                      : index->capacity * 2;
    void* p = std::realloc(index->names, size_t(grown) * sizeof(char16_t*));
    if (!p) return false;
    index->names = static_cast<char16_t**>(p);
    index->capacity = grown;
  }
  char16_t* copy = ublWcsDup(name, false);
  if (!copy || !index->lookup.add(copy, index->count)) {
    std::free(copy);
    return false;
  }
  index->names[index->count++] = copy;
  return true;
}

void memberIndexClearNames(MemberIndex* index) {
  if (!index) return;
  index->lookup.clear();  // it holds views of the names released below
  for (int32_t i = 0; i < index->count; ++i) std::free(index->names[i]);
  std::free(index->names);
  index->names = nullptr;
  index->count = 0;
  index->capacity = 0;
}

void memberIndexDestroy(MemberIndex* index) {
  if (!index) return;
  memberIndexClearNames(index);
  wipeSecret(index->password);
  std::free(index->password);
  delete index;
}

void tempFileHolderDestroy(TempFileHolder* holder) {
  if (!holder) return;
  if (holder->path) {
    ublDeleteFileW(holder->path);
    ublFreeTempPath(holder->path);
  }
  delete holder;
}
