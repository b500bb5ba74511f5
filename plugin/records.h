// The plug-in's private records hung off an ArchContext.
//
// All three are created and released by the plug-in only: RarState by the
// open, MemberIndex by the open or by setting a password, TempFileHolder by
// the buffer and stream opens; ArchClose releases whatever is attached.
#pragma once

#include <cstdint>

#include "plugin/arcunpack.h"
#include "plugin/name_lookup.h"
#include "rarlib/rar.h"

// The engine handle and the two records it fills. The context's memberName
// points into headerRecord, so the state outlives every use of that name.
struct RarState {
  RARHANDLE handle = nullptr;            // null when none is open
  RAROpenArchiveDataEx openRecord = {};  // used by both opens, kept until close
  RARHeaderDataEx headerRecord = {};     // filled by every header read
};

// Member names in archive order, and the password (UTF-8) for the engine.
struct MemberIndex {
  char16_t** names = nullptr;  // owned copies, `count` of them
  int32_t count = 0;
  int32_t capacity = 0;        // slots allocated in `names`
  char* password = nullptr;    // owned, or null
  NameLookup lookup;           // first position of each name in `names`
};

// Appends an owned copy of `name` and records it in `lookup`; false when
// memory is exhausted or the index already holds INT32_MAX names (the index
// is then unchanged).
bool memberIndexAppend(MemberIndex* index, const char16_t* name);
// Releases the names (not the password); count becomes 0.
void memberIndexClearNames(MemberIndex* index);
// Releases the names, the password and the index itself (from new).
void memberIndexDestroy(MemberIndex* index);

// A temporary file that belongs to the context.
struct TempFileHolder {
  // Owned path of a file the plug-in generated, deleted with the holder; null
  // when the caller supplied the temporary path (nothing is deleted then).
  // Allocated by ublGenTempW and released with ublFreeTempPath.
  char16_t* path = nullptr;
};

// Deletes the file (when the holder owns a path), releases the path and the
// holder (from new).
void tempFileHolderDestroy(TempFileHolder* holder);

// Describes the member the engine handle stands on in the context: flags,
// method, unpacked size and name. Leaves currentIndex and memberCount alone;
// memberCount must be final before the first call. Cannot fail.
int32_t fillMemberFields(ArchContext* ctx, RarState* state);
