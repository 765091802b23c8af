// block_win32.cpp - decode blocks in movable global memory, ready to be
// handed to the clipboard as CF_DIB.
//
// The last large block freed is kept for the next allocation of exactly its
// size: a fresh block of a large picture costs more in page faults than
// decoding it does (a 1024 x 1024 picture: about 2.6 ms of faults under Wine
// against 0.4 ms of decoding), and a selection decodes again each time.
// Small blocks come from the heap's own free space, so they are freed and
// never take the place of a large one. A reused block is written whole, as
// a fresh one is, so nothing of the earlier picture remains in it.
#include "bitmap/block.h"

namespace {

const SIZE_T kKeptFrom = 256 * 1024;

HGLOBAL s_kept = nullptr;

}  // namespace

BlockHandle AllocateBlock(uint32_t size)
{
    if (s_kept != nullptr && GlobalSize(s_kept) == size) {
        HGLOBAL block = s_kept;
        s_kept = nullptr;
        return block;
    }
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
    if (GlobalSize(block) < kKeptFrom) {
        GlobalFree(block);
        return;
    }
    if (s_kept != nullptr)
        GlobalFree(s_kept);
    s_kept = block;
}
