#pragma once
// Animated PNG: our own chunk reader in front of libpng, which has no animation
// support. Each frame's data (the IDAT or fdAT chunks after its fcTL) is wrapped
// as a standalone PNG stream (an IHDR with the frame's size, the file's PLTE and
// tRNS) and decoded by libpng; the compositor (compositor.h) lays the frames
// on the canvas by their fcTL (dispose none / background / previous, blend
// source / over with the APNG rules' rounding).
//
// Loading makes one pass over the chunks that keeps a few bytes per frame (its
// control fields and where its data lies); frames are decoded when selected.
// The acTL and the default image's fcTL may come in either order before the
// first IDAT; a default image that precedes the first fcTL is not a frame.
// Broken files keep what can be drawn, and say what could not:
// - from the first sequence number that is missing, repeated or out of order,
//   or the first fcTL without data, every frame is corrupt (counted, drawing
//   nothing: selecting it gives FrameCorrupt);
// - a frame whose data cannot be inflated at all (also a palette frame without
//   PLTE) is corrupt; one whose data ends early or breaks part-way is drawn as
//   far as it decodes (activeFrameDamaged), except an interlaced one, which is
//   read whole before any row is known and so draws nothing (corrupt);
// - frames reaching past the canvas are clipped to it; a frame whose decoding
//   work (its width x the rows that reach the canvas, all rows when interlaced)
//   exceeds 4 canvases plus 1,000,000 pixels is refused before it is inflated
//   (selecting it gives OutOfMemory; the canvas goes on as for a corrupt frame).
// The file is watched for changes like a GIF (compositor.h).
//
// One thread per object; nothing throws.

#include <QString>

#include <sys/stat.h>

#include <cstdint>
#include <memory>

#include "imaging/engine/image.h"

namespace engine {

// Whether the PNG open as `fd` (read from offset 0) holds acTL among the chunks
// before its first IDAT; reads no further than that.
bool pngHasAnimationControl(int fd);
// The same for the file at `path`; false when it cannot be read or is no PNG.
bool isAnimatedPngFile(const QString &path);

// Loads the PNG open as `fd`, whose fstat is `st` and whose absolute path is
// `name` (bytes, to watch it for changes). When the file has no
// animation (no acTL before the first IDAT, or no frame), *animated is false,
// nothing is returned and `fd` is left open for the still-picture path.
// Otherwise the image owns `fd` (closed on failure too) and *status says why
// loading failed: InvalidParameter (width or height 0), OutOfMemory (canvas over
// MaxCanvasPixels), UnknownImageFormat (no valid header).
std::unique_ptr<Image> loadApng(int fd, const struct stat &st, const QByteArray &name, Status *status,
                                bool *animated);

} // namespace engine
