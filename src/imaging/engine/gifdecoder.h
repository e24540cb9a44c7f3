#pragma once
// GifDecoder: reads a GIF file and composites its frames into one canvas the
// way browsers show them. giflib reads the file's structure (header, screen,
// palettes, record types, extensions); the image data goes through our own
// LzwDecoder, which is faster and accepts what browsers accept.
//
// open() reads the header and the screen descriptor, then makes one pass over the
// file that skips the compressed data, collecting per frame where its image
// descriptor starts, its disposal, transparent index and delay (a few bytes per
// frame; nothing else grows with the frame count). composeTo(i) brings the
// canvas to frame i: it continues from the current frame when i lies ahead and
// starts again from frame 0 when it lies behind. The canvas is ARGB32, not
// premultiplied, the size of the logical screen, transparent before frame 0.
//
// A GIF appended after a missing trailer adds its frames (drawn on the first
// screen). A frame whose data ends early or is corrupt is drawn as far as it goes.
//
// Owns its file descriptor and giflib handle. One thread at a time; no globals.

#include <QImage>

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/engine/canvaspool.h"
#include "imaging/engine/framerecord.h"
#include "imaging/engine/lzwdecoder.h"
#include "imaging/engine/records.h"

struct GifFileType;

namespace engine {

// Buffered reads from a file descriptor at any offset (giflib's input callback).
class GifSource {
public:
    GifSource(int fd, std::int64_t size);
    ~GifSource();
    GifSource(const GifSource &) = delete;
    GifSource &operator=(const GifSource &) = delete;

    int read(std::uint8_t *dst, int n);
    // Copies up to n bytes at the current position without consuming them.
    int peek(std::uint8_t *dst, int n);
    std::int64_t pos() const { return m_pos; }
    void seek(std::int64_t pos) { m_pos = pos; }
    std::int64_t size() const { return m_size; }

private:
    bool fill(std::int64_t at);

    int m_fd;
    std::int64_t m_size;
    std::int64_t m_pos = 0;
    std::vector<std::uint8_t> m_buf;
    std::int64_t m_bufStart = 0;
    std::int64_t m_bufLen = 0;
};

class GifDecoder {
public:
    // Takes ownership of `fd` (closed on failure too). `size` is the file size.
    // On failure returns nullptr and sets *status: UnknownImageFormat (no GIF
    // screen), InvalidParameter (width or height 0), OutOfMemory (screen over
    // MaxCanvasPixels), GenericError (no frame at all).
    static std::unique_ptr<GifDecoder> open(int fd, std::int64_t size, Status *status);
    ~GifDecoder();

    int width() const { return m_width; }
    int height() const { return m_height; }
    std::uint32_t frameCount() const { return std::uint32_t(m_frames.size()); }
    const std::vector<std::uint32_t> &delays() const { return m_delays; }
    int loopCount() const { return m_loopCount; }
    // How each frame is stored, from the scan: the image descriptor's rectangle,
    // the graphic control's disposal, delay and transparent index, the colour
    // table the frame uses (its own, else the screen's, else the 256 grey levels
    // drawn for a GIF without any palette) and interlacing.
    std::vector<FrameRecord> records() const;

    // Brings canvas() to frame `index` (< frameCount()). Returns OutOfMemory when
    // the canvas cannot be allocated, GenericError when the file can no longer
    // be read there (changed on disk); the canvas is then undefined.
    Status composeTo(std::uint32_t index);
    // Index of the frame canvas() shows, or -1 before the first composeTo.
    std::int64_t current() const { return m_current; }
    const QImage &canvas() const { return m_canvas; }

    // The composited frame and what the next frame needs of it (the disposal
    // left pending, the pixels under a "previous" frame). Restoring a state lets
    // composeTo continue from that frame instead of from frame 0. The canvas is
    // shared with the decoder until it draws again.
    struct State {
        std::int64_t current = -1;
        QImage canvas;
        std::uint8_t pendingDisposal = 0;
        int rect[4] = {0, 0, 0, 0}; // x, y, w, h of the frame left pending
        std::vector<std::uint32_t> saved;
        std::size_t bytes() const
        {
            return std::size_t(canvas.sizeInBytes()) + saved.size() * sizeof(std::uint32_t);
        }
    };
    State saveState() const;
    // False, changing nothing, for a state of another canvas size or none.
    bool restoreState(const State &state);

private:
    struct Frame {
        std::int64_t offset;   // just after the image separator
        std::uint32_t segment; // which of the concatenated GIFs
        std::int16_t transparent;
        std::uint8_t disposal;
        std::uint8_t flags;    // the image descriptor's packed field
        std::uint16_t x, y, w, h;
    };
    // One GIF of a file that holds several back to back; most files have one.
    struct Segment {
        std::int64_t start;
        std::vector<std::uint32_t> colors; // global palette, ARGB; empty when none
    };
    GifDecoder(int fd, std::int64_t size);
    // Opens giflib on the GIF starting at `offset` (header, screen, global
    // palette) and records it as a segment; false with giflib's error code.
    bool openSegment(std::int64_t offset, int *error);
    void closeHandle();
    void scan();
    bool skipImage();
    void restart();
    bool drawFrame(std::uint32_t index);
    Rect clipped(int x, int y, int w, int h) const;

    GifSource m_source;
    GifFileType *m_gif = nullptr; // only while scanning
    std::vector<Segment> m_segments;
    std::vector<Frame> m_frames;
    std::vector<std::uint32_t> m_delays;
    int m_width = 0;
    int m_height = 0;
    int m_loopCount = -1;

    QImage m_canvas;
    CanvasPool m_pool; // buffers for the canvas while frames handed out hold it
    std::int64_t m_current = -1;
    // What the current frame leaves behind for the next one.
    std::uint8_t m_pendingDisposal = 0;
    Rect m_pendingRect;
    std::vector<std::uint32_t> m_saved; // the rect under a "previous" frame

    LzwDecoder m_lzw;
    std::uint32_t m_lut[256];  // index -> ARGB for the frame being drawn
    std::uint32_t m_keep[256]; // index -> all ones where the canvas shows through
    std::vector<std::uint8_t> m_row;
};

} // namespace engine
