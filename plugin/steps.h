// Steps the walking and extracting exports share. All take a context that passed the
// open test (see isOpen) unless stated otherwise.
#pragma once

#include <cstdint>

#include "plugin/records.h"

// The open test: a context with an archive whose engine handle is live.
bool isOpen(const ArchContext* ctx);

// Hands the index's password (if any) to the engine handle.
void handPassword(ArchContext* ctx);

// Where the engine stands: the archive offset of the block it is on (the member header
// read last, or the block after a processed member). -1 when it cannot tell.
int64_t enginePosition(ArchContext* ctx);

// Ends a move onto the next member: reads its header, counts the cursor up and describes
// the new member in the context.
void stepToNextHeader(ArchContext* ctx);

// Ends an extraction after which the engine stands past the member: reads the next
// header; when that fails although the member was not the last one, answers
// ARCH_E_FAILED with the cursor unchanged; otherwise moves the cursor, describes the new
// member and answers `pending`.
int32_t finishExtraction(ArchContext* ctx, int32_t pending);

// Overwrites a narrow secret before it is released.
void wipeSecret(char* secret);
