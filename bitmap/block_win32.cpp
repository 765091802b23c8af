// block_win32.cpp - decode blocks in movable global memory, ready to be
// handed to the clipboard as CF_DIB.
#include "bitmap/block.h"

BlockHandle AllocateBlock(uint32_t size)
{
    return GlobalAlloc(GMEM_MOVEABLE, size);
}

uint8_t* LockBlock(BlockHandle block)
{
    return static_cast<uint8_t*>(GlobalLock(block));
}

void UnlockBlock(BlockHandle block)
{
    GlobalUnlock(block);
}

void FreeBlock(BlockHandle block)
{
    GlobalFree(block);
}
