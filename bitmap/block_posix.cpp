// block_posix.cpp - decode blocks on the heap. There is no clipboard to
// hand them to, so the handle is the block's address and locking only
// returns it.
#include <stdlib.h>

#include "bitmap/block.h"

BlockHandle AllocateBlock(uint32_t size)
{
    return malloc(size);
}

uint8_t* LockBlock(BlockHandle block)
{
    return static_cast<uint8_t*>(block);
}

void UnlockBlock(BlockHandle)
{
}

void FreeBlock(BlockHandle block)
{
    free(block);
}
