#pragma once
// The one compositor of animations. A format's parser (GIF, APNG, WebP) is a
// FrameSource: it tells how each frame is stored (a FrameRecord from its scan)
// and, when asked, decodes one frame and lays it over the canvas with its own
// blend arithmetic (GIF's transparent-index mask, APNG's rounded Porter-Duff
// "over", libwebp's fixed point). Everything between frames lives here, once:
//
// - The canvas: ARGB32, not premultiplied, the picture's size, transparent
//   before the first frame, drawn on buffers of a CanvasPool.
// - Disposal: what a frame leaves pending is applied just before the next frame
//   is drawn. Background makes the frame's rectangle (clipped to the canvas)
//   transparent; Previous puts back the pixels that were under it (transparent
//   under a first frame); None leaves it.
// - Where the canvas is known to be transparent (all of it, or the rectangle
//   the last disposal cleared): WebP draws there unblended, as libwebp does.
// - Damaged frames, one rule for every format: a frame of which nothing decodes
//   draws nothing, its disposal still applies and the next frame is drawn on the
//   canvas as it stands; a frame that decodes part-way is drawn as far as it
//   goes. Composing never restarts from frame 0 because of a frame's data, so
//   composing frames 0..N-1 in order decodes each frame once.
// - Saved states (ComposedState): the canvas and the pending disposal, so that
//   a seek restores the nearest state and composes forward.
// - The file's identity (device, inode, size, modification time to the
//   nanosecond): a format that reads its file while frames are composed has
//   it checked before and after each frame; from the first change on every
//   selection fails with SourceChanged and no frame composed from the changed
//   bytes is handed out.
//
// makeAnimation() wraps a FrameSource in the engine::Image that callers use.
// Ownership: the image owns its source; the source owns its file descriptor.
// One thread at a time per image; states may be handed between threads.
// Nothing throws.

#include <QByteArray>
#include <QImage>

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/engine/canvaspool.h"
#include "imaging/engine/framerecord.h"
#include "imaging/engine/image.h"

namespace engine {

// What became of one frame when it was drawn.
enum class FrameOutcome : std::uint8_t {
    Drawn,      // whole (also a frame wholly outside the canvas)
    Damaged,    // its data is corrupt or cut short part-way: drawn as far as it decodes
    Corrupt,    // nothing of it decodes: nothing drawn
    TooLarge,   // refused before decoding: the work is out of proportion to the canvas
    Unreadable, // the file could not be read there: the canvas is undefined
    NoMemory,   // memory ran out: the canvas is undefined
};

// Where a source draws one frame. `visible` is the frame's rectangle clipped
// to the canvas, never empty; rows are `stride` bytes apart. `bits` holds
// canvas pixel (originX, originY): (0, 0) when drawing on the canvas, the
// corner of `visible` when a frame is decoded alone into a buffer of its own
// size (Image::decodePatch).
struct DrawTarget {
    uchar *bits = nullptr;
    qsizetype stride = 0;
    Rect visible;
    Rect cleared;          // made transparent by the previous frame's disposal (may be empty)
    bool allClear = false; // the whole canvas is transparent
    int originX = 0, originY = 0;
    // Canvas pixel (x, y), which must lie in the buffer.
    std::uint32_t *at(int x, int y) const
    {
        return reinterpret_cast<std::uint32_t *>(bits + qsizetype(y - originY) * stride) + (x - originX);
    }
};

// A format's parser, as the compositor sees it.
class FrameSource {
public:
    virtual ~FrameSource() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual std::uint32_t frameCount() const = 0;
    virtual FrameRecord record(std::uint32_t index) const = 0;
    virtual std::vector<FrameRecord> records() const;
    // Delays in hundredths (rounded for formats that store milliseconds) and as stored.
    virtual const std::vector<std::uint32_t> &delays() const = 0;
    virtual std::vector<std::uint32_t> delaysMs() const = 0;
    virtual int loopCount() const = 0;
    // Decodes frame `index` (stored as `record`) onto the target with the
    // format's own blend arithmetic. Called once per frame composed, in order,
    // after the previous frame's disposal; never for a frame wholly outside
    // the canvas.
    virtual FrameOutcome draw(std::uint32_t index, const FrameRecord &record, const DrawTarget &target) = 0;
    // Decodes the colour-table indexes of frame `index` (whose record has a
    // colour table) alone: the rows of `visible` (the frame's rectangle clipped
    // to the canvas, never empty) go to `indexes`, `stride` bytes apart, and
    // the table the frame uses to `colors` (ARGB). Like draw() it relies on
    // nothing of other frames, so it may be called for any frame at any time.
    // Sources without colour tables answer Corrupt.
    virtual FrameOutcome drawIndexes(std::uint32_t index, const FrameRecord &record, const Rect &visible,
                                     std::uint8_t *indexes, qsizetype stride, std::vector<std::uint32_t> &colors);
};

// What identifies a file's contents cheaply: where it lives, how long it is
// and when it was last written.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified {};

    static FileIdentity of(const struct stat &st) { return FileIdentity{st.st_dev, st.st_ino, st.st_size, st.st_mtim}; }
    friend bool operator==(const FileIdentity &a, const FileIdentity &b)
    {
        return a.device == b.device && a.inode == b.inode && a.size == b.size
            && a.modified.tv_sec == b.modified.tv_sec && a.modified.tv_nsec == b.modified.tv_nsec;
    }
};

// The file a source reads while frames are composed. `fd` stays the source's;
// `name` is the absolute path as bytes. With fd -1 (a format that read its
// file whole at load) nothing is watched; the identity still tells whose
// saved states an image takes.
struct WatchedFile {
    int fd = -1;
    QByteArray name;
    FileIdentity identity;
};

// Wraps `source` in an Image (FrameDimensionTime) with frame 0 composed. On
// failure returns nullptr and sets *status: OutOfMemory (no canvas),
// GenericError (the file could not be read), SourceChanged. A first frame that
// is damaged, corrupt or too large still loads; selecting it says so.
std::unique_ptr<Image> makeAnimation(std::unique_ptr<FrameSource> source, const WatchedFile &file, Status *status);

namespace testing {
// Frames handed to a source to draw, by every image of the process. Tests read
// it to see that each frame is decoded once.
extern std::atomic<std::uint64_t> frameDecodes;
} // namespace testing

} // namespace engine
