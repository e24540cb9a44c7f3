#pragma once
// PNG encoder of the engine: palette PNGs (1, 2, 4 or 8 bits per pixel, tRNS
// for see-through entries) when a frame has at most 256 colours, alpha
// included; RGB or RGBA otherwise, with per-row adaptive filters. Compressed
// with libdeflate, which is both faster and denser than zlib.
//
// Thread-safe: each thread keeps its own compressor and work buffers.

#include <QByteArray>
#include <QImage>

#include <functional>

#include "imaging/engine/palette.h"

namespace engine {

// Compression level 1..12 (libdeflate's scale) used for saved frames. Measured
// on the benchmark inputs (bench/README.md): 7 is the lowest level whose files
// are no larger than those of the usual tools at zlib's level 9; 8 and 9 cost
// twice the time for under 1% more.
inline constexpr int PngDeflateLevel = 7;

// Level for frames with more than 256 colours: on filtered photographic rows
// level 7 costs twice the time of 5 for 1.3% smaller files (bench/README.md).
inline constexpr int TrueColourDeflateLevel = 5;

// The whole PNG file for `frame` (any format; ARGB32 is the fast path).
// Returns an empty array when memory runs out. `level` (for the benchmarks)
// applies to palette and true-colour files alike; 0 takes the levels above.
// The frame's pixels are let go as soon as the palette indexes or the filtered
// rows are made; `pixelsDone`, when set, is called then, before the
// compression, which takes most of the time.
QByteArray encodePng(QImage frame, int level = 0, const std::function<void()> &pixelsDone = {});

// A palette PNG of an indexed frame.
QByteArray encodeIndexedPng(const IndexedFrame &frame, int level = PngDeflateLevel);

} // namespace engine
