#pragma once
// giflib colour tables made from our palettes (ARGB words; alpha is not stored:
// it lives in the graphic control block). Owns the table it returns; any thread.

#include <gif_lib.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace engine {

struct GifMapDeleter {
    void operator()(ColorMapObject *m) const { GifFreeMapObject(m); }
};
using GifMapPtr = std::unique_ptr<ColorMapObject, GifMapDeleter>;

// giflib takes power-of-two tables of at least two entries: padded with black.
// Null when giflib cannot allocate the table.
inline GifMapPtr makeGifMap(const std::vector<std::uint32_t> &palette)
{
    int size = 2;
    while (size < int(palette.size()))
        size *= 2;
    std::vector<GifColorType> colours(std::size_t(size), GifColorType{0, 0, 0});
    for (std::size_t i = 0; i < palette.size(); ++i) {
        colours[i].Red = GifByteType(palette[i] >> 16);
        colours[i].Green = GifByteType(palette[i] >> 8);
        colours[i].Blue = GifByteType(palette[i]);
    }
    return GifMapPtr(GifMakeMapObject(size, colours.data()));
}

} // namespace engine
