#pragma once
// GifDecoder: the GIF parser behind the compositor (compositor.h). giflib reads
// the file's structure (header, screen, palettes, record types, extensions); the
// image data goes through our own LzwDecoder, which is faster and accepts what
// browsers accept.
//
// open() reads the header and the screen descriptor, then makes one pass over the
// file that skips the compressed data, collecting per frame where its image
// descriptor starts, its rectangle, disposal, transparent index and delay (a few
// bytes per frame; nothing else grows with the frame count). draw() decodes one
// frame onto the canvas: palette colours, and where the frame has a transparent
// index the canvas shows through (a per-index mask).
//
// A GIF appended after a missing trailer adds its frames (drawn on the first
// screen). A frame whose data ends early or is corrupt is drawn as far as it
// goes (Damaged); one without any decodable pixel is Corrupt.
//
// Owns its file descriptor and giflib handle. One thread at a time; no globals.

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/engine/compositor.h"
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
    int fd() const { return m_fd; }

private:
    bool fill(std::int64_t at);

    int m_fd;
    std::int64_t m_size;
    std::int64_t m_pos = 0;
    std::vector<std::uint8_t> m_buf;
    std::int64_t m_bufStart = 0;
    std::int64_t m_bufLen = 0;
};

class GifDecoder final : public FrameSource {
public:
    // Takes ownership of `fd` (closed on failure too). `size` is the file size.
    // On failure returns nullptr and sets *status: UnknownImageFormat (no GIF
    // screen), InvalidParameter (width or height 0), OutOfMemory (screen over
    // MaxCanvasPixels), GenericError (no frame at all).
    static std::unique_ptr<GifDecoder> open(int fd, std::int64_t size, Status *status);
    ~GifDecoder() override;

    int width() const override { return m_width; }
    int height() const override { return m_height; }
    std::uint32_t frameCount() const override { return std::uint32_t(m_frames.size()); }
    const std::vector<std::uint32_t> &delays() const override { return m_delays; }
    std::vector<std::uint32_t> delaysMs() const override;
    int loopCount() const override { return m_loopCount; }
    // The file being read, to watch for changes (still the decoder's).
    int fd() const { return m_source.fd(); }
    // How a frame is stored, from the scan: the image descriptor's rectangle,
    // the graphic control's disposal, delay and transparent index, the colour
    // table the frame uses (its own, else the screen's, else the 256 grey levels
    // drawn for a GIF without any palette) and interlacing.
    FrameRecord record(std::uint32_t index) const override;
    FrameOutcome draw(std::uint32_t index, const FrameRecord &record, const DrawTarget &target) override;
    FrameOutcome drawIndexes(std::uint32_t index, const FrameRecord &record, const Rect &visible,
                             std::uint8_t *indexes, qsizetype stride, std::vector<std::uint32_t> &colors) override;

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
    // Decodes frame `index` row by row, handing `put(fy, row, n)` the first n
    // indexes of each of its first `visibleRows` rows (frame row fy), with
    // m_lut, m_colors and m_keep set for the frame's colour table.
    template <typename Put>
    FrameOutcome decodeFrame(std::uint32_t index, int visibleRows, Put &&put);

    GifSource m_source;
    GifFileType *m_gif = nullptr; // only while scanning
    std::vector<Segment> m_segments;
    std::vector<Frame> m_frames;
    std::vector<std::uint32_t> m_delays;
    int m_width = 0;
    int m_height = 0;
    int m_loopCount = -1;

    LzwDecoder m_lzw;
    std::uint32_t m_lut[256];  // index -> ARGB for the frame being drawn
    int m_colors = 0;          // entries of its colour table
    std::uint32_t m_keep[256]; // index -> all ones where the canvas shows through
    std::vector<std::uint8_t> m_row;
};

} // namespace engine
