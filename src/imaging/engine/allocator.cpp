#include "imaging/engine/allocator.h"

#include <malloc.h>

namespace engine {

void returnLargeBlocksPromptly()
{
    // Setting the threshold explicitly also turns off glibc's raising of it.
    // A refusal leaves the default, which is only less frugal.
    (void)mallopt(M_MMAP_THRESHOLD, LargeBlockBytes);
}

void reuseLargeBlocks()
{
    // Nor is the top of the heap given back after each frame.
    (void)mallopt(M_MMAP_THRESHOLD, ReusedBlockBytes);
    (void)mallopt(M_TRIM_THRESHOLD, ReusedBlockBytes);
}

} // namespace engine
