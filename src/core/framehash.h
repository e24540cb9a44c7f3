#pragma once
// A frame's content hash: equal pictures give equal hashes whatever the format
// or file they came from. XXH3-64 over the width and the height as 32-bit
// little-endian numbers, then the pixels as R, G, B, A bytes row by row, with
// every fully transparent pixel counted as 0, 0, 0, 0 (the colour under a
// transparent pixel is not part of the picture).
//
// Plain functions; any thread; nothing throws but std::bad_alloc.

#include <QImage>
#include <QString>

#include <cstdint>

// `frame` is a composited frame (any format QImage converts to ARGB32; the
// engine's frames are ARGB32 already, so nothing is copied for them).
std::uint64_t frameHash(const QImage &frame);

// 16 lower-case hexadecimal digits, as the timing files write it.
QString frameHashText(std::uint64_t hash);
