#pragma once
// WebP pictures, animated or still, through libwebp's demuxer and decoder:
// each frame decoded by libwebp and laid on the canvas by the compositor
// (compositor.h), blended with the arithmetic of libwebp's own animation
// decoder, so every frame equals its frame to the bit; delays in milliseconds
// as stored, the loop count from the file (-1 for a still picture). The demuxer
// wants the whole file in memory: it is read once (never mapped, so a file cut
// short under us cannot fault) up to MaxWebPFileBytes. An animation cut short
// keeps the frames that are whole. A frame whose bitstream does not decode at
// all is corrupt (FrameCorrupt, nothing drawn, the next frame goes on from the
// canvas as it stands); one that breaks off part-way is drawn as far as it goes.
//
// One thread per object; nothing throws.

#include <sys/stat.h>

#include <cstdint>
#include <memory>

#include "imaging/engine/image.h"

namespace engine {

// Larger WebP files are refused (OutOfMemory) before they are read: the whole
// file is held while the picture is open, beside the canvas.
inline constexpr std::int64_t MaxWebPFileBytes = std::int64_t(256) << 20;

// Whether these first bytes (at least 12) start a WebP file.
bool hasWebPSignature(const std::uint8_t *head, std::int64_t n);

// Loads the WebP open as `fd` (always closed), whose fstat is `st`. On failure
// sets *status: OutOfMemory (file over MaxWebPFileBytes, canvas over
// MaxCanvasPixels), UnknownImageFormat (not a WebP the demuxer accepts: also a
// file cut short), GenericError (no frame, or the file could not be read whole).
std::unique_ptr<Image> loadWebP(int fd, const struct stat &st, Status *status);

} // namespace engine
