#pragma once
// Animated PNG: our own chunk reader in front of libpng, which has no animation
// support. Each frame's data (the IDAT or fdAT chunks after its fcTL) is wrapped
// as a standalone PNG stream (an IHDR with the frame's size, the file's PLTE and
// tRNS) and decoded by libpng; the frames are composited onto an ARGB32 canvas
// (not premultiplied, transparent before the first frame) by the animation's
// rules: dispose none / background / previous, blend source / over.
//
// Loading makes one pass over the chunks that keeps a few bytes per frame (its
// control fields and where its data lies); frames are decoded when selected,
// continuing forward and restarting from the first frame to go back, so memory
// follows the canvas, never the frame count. A default image that precedes the
// first fcTL is not a frame. Broken files keep what can be drawn: a sequence
// number out of order or a chunk cut short ends the animation there, a frame
// whose data is corrupt is drawn as far as it decodes, frames reaching past the
// canvas are clipped to it. The file is checked before each frame: once it has
// changed on disk (size, modification time, inode) no frame is drawn any more.
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

// Loads the PNG open as `fd`, whose fstat is `st`. When the file has no
// animation (no acTL before the first IDAT, or no frame), *animated is false,
// nothing is returned and `fd` is left open for the still-picture path.
// Otherwise the image owns `fd` (closed on failure too) and *status says why
// loading failed: InvalidParameter (width or height 0), OutOfMemory (canvas over
// MaxCanvasPixels), UnknownImageFormat (no valid header).
std::unique_ptr<Image> loadApng(int fd, const struct stat &st, Status *status, bool *animated);

} // namespace engine
