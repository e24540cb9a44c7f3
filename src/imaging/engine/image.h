#pragma once
// engine::Image: a picture loaded from a file, holding one active frame.
//
// Animations (GIF, APNG, WebP; also a still WebP) number their frames along
// time. Their frame count comes from a scan that skips the compressed data;
// frames are decoded when selected (selecting i+1 after i continues, going back
// restarts from frame 0 or from a restored state) and laid on one canvas by the
// compositor (compositor.h), the way browsers show them. Memory stays
// proportional to the canvas, never to the number of frames. The format is told
// by the file's first bytes, never by its name. Other pictures Qt can read (a
// still PNG, a JPEG named .gif) load as one frame along the page dimension,
// without frame delays.
//
// GIFs and APNGs are read while frames are selected, so they are watched for
// changes (compositor.h): from the first change on every selection fails with
// SourceChanged and no frame composed from changed bytes is ever handed out.
//
// Threads: an Image is used by one thread at a time; different Images may be
// used on different threads at once. Nothing here throws.

#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/engine/framerecord.h"
#include "imaging/engine/records.h"

namespace engine {

// Canvases larger than this many pixels are refused before anything is allocated.
inline constexpr std::int64_t MaxCanvasPixels = std::int64_t(1) << 26;

// A composited frame saved with what the decoder needs to continue from it, so
// that a caller seeking in a long animation need not decode from frame 0.
// Opaque; immutable once made, so it may be handed between threads.
class FrameState {
public:
    virtual ~FrameState() = default;
    virtual std::uint32_t frame() const = 0;
    // Memory the state holds, in bytes.
    virtual std::size_t bytes() const = 0;
};

// One frame's stored data decoded alone, without compositing: what the file
// holds for the frame, not what the canvas shows after it. A plain value
// (its QImage implicitly shared); any thread once made.
struct FramePatch {
    std::uint32_t frame = 0;
    // The frame's stored rectangle clipped to the canvas, in canvas pixels.
    // Empty for a frame wholly outside the canvas: then nothing else is set.
    Rect rect;
    // rect.w x rect.h, Format_ARGB32 (not premultiplied): the frame's own
    // pixels, transparent where the frame is (a GIF's transparent index, an
    // APNG's or a WebP's alpha) and where its data is missing.
    QImage pixels;
    // For a frame with a colour table (GIF; APNG with PLTE): each pixel's
    // index, rect.w per row, top row first; empty for true-colour frames.
    std::vector<std::uint8_t> indexes;
    // The colour table the frame uses (its own, else the global one; the 256
    // grey levels drawn for a GIF without any), ARGB. GIF entries are opaque
    // (the record names the transparent index); an APNG's tRNS gives alphas.
    std::vector<std::uint32_t> colors;
    // The data is corrupt or cut short part-way: only what decoded is there.
    bool damaged = false;

    // The index at canvas pixel (x, y); -1 outside rect or without indexes.
    int indexAt(int x, int y) const
    {
        if (indexes.empty() || x < rect.x || y < rect.y || x >= rect.x + rect.w || y >= rect.y + rect.h)
            return -1;
        return indexes[std::size_t(y - rect.y) * std::size_t(rect.w) + std::size_t(x - rect.x)];
    }
};

class Image {
public:
    virtual ~Image() = default;

    // Loads the file at `path`. Returns nullptr and sets *status (when given) to
    // FileNotFound, AccessDenied, UnknownImageFormat (also for anything that is
    // not a regular file), OutOfMemory (over the size limit), InvalidParameter
    // (a width or height of 0) or GenericError (an animation without any frame)
    // on failure, or SourceChanged for a file that changed while frame 0 was
    // composed. An animation comes back with frame 0 active and already
    // composited (selecting it tells whether it is corrupt or refused).
    static std::unique_ptr<Image> load(const QString &path, Status *status = nullptr);

    // Picture size in pixels (the logical screen for GIFs); never 0 for a loaded image.
    virtual int width() const = 0;
    virtual int height() const = 0;

    // FrameDimensionTime for GIFs, FrameDimensionPage otherwise.
    virtual Guid frameDimension() const = 0;
    virtual std::uint32_t frameCount() const = 0;

    // Makes frame `index` (from 0) of `dimension` the active frame. An unknown
    // dimension or an index out of range returns InvalidParameter and keeps the
    // active frame; running out of memory or a file that cannot be read returns
    // a non-Ok status and keeps it too. Two answers make the frame active all
    // the same, showing the canvas as the frame left it with nothing of it
    // drawn, so the next frame goes on from there: FrameCorrupt (nothing of the
    // frame decodes) and OutOfMemory for an animation frame refused as out of
    // proportion to the canvas. A file that changed returns SourceChanged, now
    // and for every later call; the active frame then stays as it was when the
    // change was noticed before composing, and becomes fully transparent when it
    // was noticed after.
    virtual Status selectFrame(const Guid &dimension, std::uint32_t index) = 0;
    virtual std::uint32_t activeFrameIndex() const = 0;

    // The active frame, fully composited, width() x height(), Format_ARGB32
    // (not premultiplied). Valid until the next selectFrame; copies of it are
    // ordinary implicitly shared QImages that stay valid.
    virtual const QImage &activeFrame() const = 0;

    // Frame delays in hundredths of a second, one per frame (animations only;
    // WebP and APNG delays rounded to the nearest hundredth).
    virtual bool hasFrameDelays() const = 0;
    virtual const std::vector<std::uint32_t> &frameDelays() const = 0;
    // Frame delays in milliseconds, one per frame: as stored for WebP and APNG,
    // the hundredths x 10 for GIFs, 0 for a picture without frame delays.
    virtual std::vector<std::uint32_t> frameDelaysMs() const;

    // How each frame is stored (rectangle, disposal, blend, stored delay, colour
    // table), one record per frame, from the load's scan. A picture that is not
    // an animation has one record covering the whole canvas.
    virtual std::vector<FrameRecord> frameRecords() const;

    // Whether the active frame was drawn only in part: its data is corrupt or
    // cut short part-way, and what decoded is shown over the canvas as it stood.
    // (A frame of which nothing decodes draws nothing: selectFrame returns
    // FrameCorrupt.)
    virtual bool activeFrameDamaged() const { return false; }

    // Loop count (NETSCAPE2.0, acTL, ANIM): -1 when the file has none, 0 for "for ever".
    virtual int loopCount() const = 0;

    // The active frame's state (animations; null for other pictures), and
    // making a saved frame of the same unchanged file the active one again (in
    // this image or another one of that file). restoreState returns
    // InvalidParameter for a state it cannot take.
    virtual std::shared_ptr<const FrameState> saveState() const { return nullptr; }
    virtual Status restoreState(const FrameState &) { return InvalidParameter; }

    // Decodes frame `frame` (of frameDimension(), from 0) alone into `out`
    // (FramePatch): its stored rectangle's pixels, and for a palette frame its
    // indexes and colour table. Leaves the active frame and the canvas as they
    // are; costs one frame's decoding, wherever the frame lies. Returns Ok
    // (also for a frame that decodes part-way: out.damaged), InvalidParameter
    // (no such frame), FrameCorrupt (nothing of it decodes), OutOfMemory (no
    // memory, or a frame refused as out of proportion to the canvas),
    // GenericError (the file could not be read) or SourceChanged; on failure
    // `out` is empty. A picture that is not an animation has one patch, the
    // whole picture.
    virtual Status decodePatch(std::uint32_t frame, FramePatch &out);
    // The active frame's state kept small, for stores that hold many: the
    // canvas as one byte per pixel and its colour table when it has at most 256
    // colours, else as its pixels. Making and restoring it cost a pass over the
    // canvas (about 1.5 ms at 1920 x 1080); restoreState takes it like any state.
    virtual std::shared_ptr<const FrameState> savePackedState() const { return saveState(); }
};

} // namespace engine
