// The frame hash built for processors with AVX2 (this file alone is compiled
// with -mavx2; framehash.cpp calls it only where the processor has AVX2).
// XXH3 and the pixel conversion run about twice as fast with it.

#if defined(FG_HASH_AVX2)
#define FG_HASH_INLINE_XXH3
#include "core/framehashrows.h"

std::uint64_t frameHashRowsAvx2(const unsigned char *bits, std::ptrdiff_t stride, int width, int height)
{
    return hashArgbRows(bits, stride, width, height);
}
#endif
