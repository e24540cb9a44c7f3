#pragma once
// The frame hash's inner loop, shared by framehash.cpp (with the system's
// xxHash library) and the copy of it built for AVX2 (framehash_avx2.cpp, with
// xxHash's functions inlined, so that they are built for AVX2 too). Only plain
// C++ and xxHash here: a translation unit built for AVX2 must not emit any
// inline function another unit could pick up.

#if defined(FG_HASH_INLINE_XXH3)
#define XXH_INLINE_ALL
#else
#define XXH_STATIC_LINKING_ONLY // the state on the stack, with the library's own headers
#endif
#include <xxhash.h>

#include <cstddef>
#include <cstdint>

namespace {

// Pixels converted per XXH3 update: 16 KB, well inside the first-level cache.
constexpr int HashChunkPixels = 4096;

// Rows of ARGB32 words (0xAARRGGBB) hashed as R, G, B, A bytes (the
// little-endian word R | G << 8 | B << 16 | A << 24), fully transparent
// pixels as zeros, after the width and height as 32-bit little-endian numbers.
// Branch-free so that it vectorises. Little-endian machines only.
inline std::uint64_t hashArgbRows(const unsigned char *bits, std::ptrdiff_t stride, int width, int height)
{
    XXH3_state_t state;
    XXH3_INITSTATE(&state);
    XXH3_64bits_reset(&state);
    const std::uint32_t size[2] = {std::uint32_t(width), std::uint32_t(height)};
    XXH3_64bits_update(&state, size, sizeof size);
    alignas(64) std::uint32_t chunk[HashChunkPixels];
    for (int y = 0; y < height; ++y) {
        const auto *src = reinterpret_cast<const std::uint32_t *>(bits + stride * y);
        for (int x0 = 0; x0 < width; x0 += HashChunkPixels) {
            const int n = width - x0 < HashChunkPixels ? width - x0 : HashChunkPixels;
            for (int x = 0; x < n; ++x) {
                const std::uint32_t p = src[x0 + x];
                const std::uint32_t rgba =
                    ((p >> 16) & 0xFFu) | (p & 0xFF00u) | ((p & 0xFFu) << 16) | (p & 0xFF000000u);
                chunk[x] = rgba & (0u - std::uint32_t((p >> 24) != 0));
            }
            XXH3_64bits_update(&state, chunk, std::size_t(n) * sizeof(std::uint32_t));
        }
    }
    return XXH3_64bits_digest(&state);
}

} // namespace
