// The host reads ArchContext and ArchInitInfo at fixed offsets: these checks
// keep the layout from drifting.
#include <cstddef>

#include "plugin/arcunpack.h"

static_assert(sizeof(ArchInitInfo) == 12, "ArchInitInfo is three 32-bit values");
static_assert(offsetof(ArchInitInfo, value2) == 4 && offsetof(ArchInitInfo, value3) == 8,
              "ArchInitInfo field order");

static_assert(offsetof(ArchContext, flags) == 0, "flags");
static_assert(offsetof(ArchContext, method) == 12, "method");
static_assert(offsetof(ArchContext, memberCount) == 16, "memberCount");
static_assert(offsetof(ArchContext, currentIndex) == 20, "currentIndex");
static_assert(offsetof(ArchContext, unpackedSize) == 24, "unpackedSize");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(ArchContext, state) == 28, "state");
static_assert(offsetof(ArchContext, spill) == 32, "spill");
static_assert(offsetof(ArchContext, index) == 36, "index");
static_assert(offsetof(ArchContext, memberName) == 40, "memberName");
static_assert(sizeof(ArchContext) == 44, "ArchContext size");
#else
static_assert(offsetof(ArchContext, state) == 32, "state");
static_assert(offsetof(ArchContext, spill) == 40, "spill");
static_assert(offsetof(ArchContext, index) == 48, "index");
static_assert(offsetof(ArchContext, memberName) == 56, "memberName");
static_assert(sizeof(ArchContext) == 64, "ArchContext size");
#endif
