// block.h - the memory block that holds a decoded bitmap. On Windows it is
// movable global memory, because the clipboard takes such a block as it
// is; elsewhere an ordinary heap block with the same layout. The decoder
// allocates, locks once, and hands the block over locked.
#pragma once

#include <stdint.h>

#include "bitmap/bitmap.h"

// A new block of size bytes, not cleared; null when none can be had.
BlockHandle AllocateBlock(uint32_t size);

// The block's first byte; null when it cannot be locked.
uint8_t* LockBlock(BlockHandle block);

void UnlockBlock(BlockHandle block);

// Frees an unlocked block.
void FreeBlock(BlockHandle block);
