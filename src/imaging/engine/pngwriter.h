#pragma once
// PNG encoder of the engine: palette PNGs (1, 2, 4 or 8 bits per pixel, tRNS
// for see-through entries) when a frame has at most 256 colours, alpha
// included; RGB or RGBA otherwise, with per-row adaptive filters. Compressed
// with libdeflate, which is both faster and denser than zlib.
//
// Thread-safe: each thread keeps its own compressor.

#include <QByteArray>
#include <QImage>

#include <cstddef>
#include <cstdint>
#include <vector>

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

// Work buffers up to this size are kept per thread for the next frame (a fresh
// one costs a page fault per page); bigger ones, for frames far over screen
// size, are freed after use, where the faults cost little next to the encoding.
inline constexpr std::size_t KeptBufferBytes = std::size_t(16) << 20;

// Empties `buffer`, keeping its memory only within KeptBufferBytes.
template <typename Vector>
void releaseWorkBuffer(Vector &buffer)
{
    if (buffer.capacity() * sizeof(typename Vector::value_type) > KeptBufferBytes)
        Vector().swap(buffer);
    else
        buffer.clear();
}

// The whole PNG file for `frame` (any format; ARGB32 is the fast path).
// Returns an empty array when memory runs out. `level` (for the benchmarks)
// applies to palette and true-colour files alike; 0 takes the levels above.
QByteArray encodePng(const QImage &frame, int level = 0);

// An RGB (all opaque) or RGBA PNG of an ARGB32 frame, whatever its colours.
QByteArray encodeTrueColourPng(const QImage &frame, int level = TrueColourDeflateLevel);

// encodeTrueColourPng in two steps, so that a caller can let the frame go
// before the compression, which takes most of the time: the filtered rows
// (`raw` empty when memory ran out; its buffer is reused when it is large
// enough), then the file made of them.
struct FilteredRows {
    int width = 0;
    int height = 0;
    bool opaque = true;
    std::vector<std::uint8_t> raw; // filter byte and row, per row
};
void filterTrueColour(const QImage &frame, FilteredRows *rows);
QByteArray compressTrueColour(const FilteredRows &rows, int level = TrueColourDeflateLevel);

// A palette PNG of an indexed frame.
QByteArray encodeIndexedPng(const IndexedFrame &frame, int level = PngDeflateLevel);

} // namespace engine
