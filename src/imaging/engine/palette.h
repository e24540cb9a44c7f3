#pragma once
// Palette pictures for the encoders: a frame's exact colours as palette indexes
// when it has at most 256 of them, found with a small hash table in one pass
// (much faster than QImage::convertToFormat, which searches for colours per
// pixel), and libimagequant's palette for GIF frames with more.
//
// Plain values and free functions; every call works on its own data, so any
// thread may call them.

#include <QImage>

#include <cstdint>
#include <vector>

namespace engine {

// A frame as palette indexes, one byte per pixel, rows packed without padding.
struct IndexedFrame {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> indexes;  // width * height
    std::vector<std::uint32_t> palette; // ARGB (non-premultiplied), at most 256
    int transparentIndex = -1;          // the entry with alpha 0, when there is one
};

enum class AlphaMode {
    // Every alpha value is kept; all fully transparent pixels share one entry.
    Full,
    // GIF rules: alpha below 128 is transparent (one entry, colour 0), anything
    // else opaque.
    Binary,
};

// The exact colours of `frame` (Format_ARGB32, not premultiplied) when there
// are at most 256 after applying `mode`; entries whose alpha is below 255 come
// first so a PNG tRNS chunk stays short. Returns false when there are more.
bool exactPalette(const QImage &frame, AlphaMode mode, IndexedFrame *out);

// GIF palette for any frame: exact colours when they fit, otherwise a
// libimagequant palette of at most 256 entries (binary alpha). False only when
// the quantiser fails (out of memory).
bool gifPalette(const QImage &frame, IndexedFrame *out);

} // namespace engine
