#include "imaging/engine/apngdecoder.h"

#include "common/filepath.h"
#include "imaging/engine/compositor.h"

#include <QFile>

#include <png.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace engine {

namespace {

constexpr std::uint8_t Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Frames are decoded a row at a time: wider rows than this (libpng's own default
// limit) are not drawn.
constexpr int MaxFrameWidth = 1000000;
// A chunk longer than this is corrupt (the format caps lengths at 2^31 - 1).
constexpr std::uint32_t MaxChunkLength = 0x7FFFFFFFu;
// Bytes of PLTE (256 entries) and tRNS kept from the header.
constexpr std::uint32_t MaxPaletteBytes = 768;
constexpr std::uint32_t MaxTransparencyBytes = 256;

enum : std::uint8_t { DisposeNone = 0, DisposeBackground = 1, DisposePrevious = 2 };
enum : std::uint8_t { BlendSource = 0, BlendOver = 1 };

constexpr std::uint32_t tag(const char (&s)[5])
{
    return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16)
        | (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint32_t(std::uint8_t(s[3]));
}

std::uint32_t be32(const std::uint8_t *p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

std::uint16_t be16(const std::uint8_t *p)
{
    return std::uint16_t((p[0] << 8) | p[1]);
}

void putBe32(std::uint8_t *p, std::uint32_t v)
{
    p[0] = std::uint8_t(v >> 24);
    p[1] = std::uint8_t(v >> 16);
    p[2] = std::uint8_t(v >> 8);
    p[3] = std::uint8_t(v);
}

// Up to n bytes at `offset`; fewer only at the end of the file or on an error.
std::int64_t readAt(int fd, std::int64_t offset, void *dst, std::int64_t n)
{
    std::int64_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd, static_cast<char *>(dst) + got, std::size_t(n - got), off_t(offset + got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        got += r;
    }
    return got;
}

struct ChunkHead {
    std::uint32_t length = 0;
    std::uint32_t type = 0;
};

bool readChunkHead(int fd, std::int64_t offset, ChunkHead *head)
{
    std::uint8_t b[8];
    if (readAt(fd, offset, b, 8) != 8)
        return false;
    head->length = be32(b);
    head->type = be32(b + 4);
    return head->length <= MaxChunkLength;
}

bool hasSignature(int fd)
{
    std::uint8_t b[8];
    return readAt(fd, 0, b, 8) == 8 && std::memcmp(b, Signature, 8) == 0;
}

// Delay of num/den seconds in milliseconds, rounded to the nearest; a
// denominator of 0 means hundredths.
std::uint32_t delayMs(std::uint16_t num, std::uint16_t den)
{
    const std::uint32_t d = den == 0 ? 100 : den;
    return (std::uint32_t(num) * 1000 + d / 2) / d;
}

// --- libpng over a stream in memory -------------------------------------------

struct MemoryStream {
    const std::uint8_t *data;
    std::size_t size;
    std::size_t pos;
};

void readFromMemory(png_structp png, png_bytep dst, png_size_t n)
{
    auto *s = static_cast<MemoryStream *>(png_get_io_ptr(png));
    if (n > s->size - s->pos)
        png_error(png, "end of data");
    std::memcpy(dst, s->data + s->pos, n);
    s->pos += n;
}

[[noreturn]] void failDecode(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void ignoreWarning(png_structp, png_const_charp) {}

// Hands each decoded row to the caller: ARGB32 (not premultiplied) values, or
// one palette index per byte.
using RowSink = void (*)(void *context, int y, const std::uint8_t *row);

enum class PngOutput { Argb, Indexes };

// Decodes the PNG stream `data` of a w x h picture, handing over its first
// `rows` rows one by one, top down; stops there. Rows that are not whole when
// the data ends early or is corrupt are not handed over. An interlaced picture
// is read whole into `image` (w * h pixels, or null: then nothing is drawn).
// `row` and `image` hold 4 bytes a pixel for Argb, 1 for Indexes (palette
// pictures only). Only plain values live in this frame: libpng leaves it with
// longjmp on errors.
void decodePng(const std::uint8_t *data, std::size_t size, int w, int h, int rows, PngOutput output,
               std::uint8_t *row, std::uint8_t *image, png_bytep *rowPointers, RowSink sink, void *context)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, failDecode, ignoreWarning);
    if (!png)
        return;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return;
    }
    MemoryStream stream{data, size, 0};
    const std::size_t pixelBytes = output == PngOutput::Argb ? 4 : 1;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_read_fn(png, &stream, readFromMemory);
        // The chunks are ours (CRCs not computed); the frame data's own
        // integrity is checked by zlib's Adler-32.
        png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
        png_set_benign_errors(png, 1);
        png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
        png_read_info(png, info);
        if (output == PngOutput::Indexes) {
            if (png_get_color_type(png, info) != PNG_COLOR_TYPE_PALETTE)
                png_error(png, "no palette");
            png_set_packing(png); // 1, 2 and 4-bit indexes to one byte each
        } else {
            png_set_expand(png);
            png_set_strip_16(png);
            png_set_gray_to_rgb(png);
            png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
            png_set_bgr(png); // B, G, R, A in memory: ARGB32 on this byte order
#else
            png_set_swap_alpha(png);
#endif
        }
        const int passes = png_set_interlace_handling(png);
        png_read_update_info(png, info);
        if (int(png_get_image_width(png, info)) != w || int(png_get_image_height(png, info)) != h
            || png_get_rowbytes(png, info) != png_size_t(w) * pixelBytes)
            png_error(png, "unexpected layout");
        const std::size_t rowBytes = std::size_t(w) * pixelBytes;
        if (passes > 1) {
            if (!image)
                png_error(png, "interlaced frame over the limit");
            for (int y = 0; y < h; ++y)
                rowPointers[y] = image + std::size_t(y) * rowBytes;
            png_read_image(png, rowPointers);
            for (int y = 0; y < rows; ++y)
                sink(context, y, image + std::size_t(y) * rowBytes);
        } else {
            for (int y = 0; y < rows; ++y) {
                png_read_row(png, row, nullptr);
                sink(context, y, row);
            }
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
}

// --- the animation ------------------------------------------------------------

struct Frame {
    std::int64_t dataStart; // first chunk after the frame's fcTL
    std::int64_t dataEnd;   // end of its last data chunk (may cut that chunk short)
    std::uint32_t x, y, w, h;
    std::uint8_t dispose;
    std::uint8_t blend;
    bool idat; // data in IDAT chunks (the first frame), else fdAT
};

struct Header {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t ihdr[13] = {};
    std::vector<std::uint8_t> palette;
    std::vector<std::uint8_t> transparency;
    bool animated = false;
    std::uint32_t plays = 0;
    std::vector<Frame> frames;
    std::vector<std::uint32_t> delaysMs;
    // The first frame whose sequence number is missing, repeated or out of
    // order, or that has no data: it and every later frame are corrupt.
    std::size_t damagedFrom = SIZE_MAX;
};

// One pass over the chunks: the header, and every frame's control fields and
// data span. Stops at IEND, at the end of the file and at a chunk cut short.
// Frames after a sequence number out of order are still counted.
bool scanChunks(int fd, std::int64_t size, Header *h)
{
    std::int64_t pos = 8;
    ChunkHead c;
    if (!readChunkHead(fd, pos, &c) || c.type != tag("IHDR") || c.length < 13
        || readAt(fd, pos + 8, h->ihdr, 13) != 13)
        return false;
    h->width = be32(h->ihdr);
    h->height = be32(h->ihdr + 4);
    pos += 12 + std::int64_t(c.length);

    bool seenIdat = false;
    std::uint32_t nextSequence = 0;
    Frame *open = nullptr; // the frame whose data chunks come next
    bool openHasData = false;
    auto damagedFrom = [&](std::size_t frame) { h->damagedFrom = std::min(h->damagedFrom, frame); };
    // A sequence number is checked until the first one out of order.
    auto inSequence = [&](std::uint32_t sequence) {
        if (h->damagedFrom != SIZE_MAX)
            return;
        if (sequence != nextSequence)
            damagedFrom(open ? h->frames.size() - 1 : h->frames.size());
        ++nextSequence;
    };
    auto closeFrame = [&] {
        if (open && !openHasData)
            damagedFrom(h->frames.size() - 1);
        open = nullptr;
        openHasData = false;
    };

    while (pos < size && readChunkHead(fd, pos, &c)) {
        const std::int64_t body = pos + 8;
        const std::int64_t available = std::min<std::int64_t>(c.length, size - body);
        const bool whole = available == std::int64_t(c.length);
        const std::uint32_t type = c.type;
        if (type == tag("IEND"))
            break;
        if (type == tag("IDAT") || type == tag("fdAT")) {
            if (type == tag("IDAT"))
                seenIdat = true;
            const bool belongs = open && (type == tag("IDAT")) == open->idat;
            if (type == tag("fdAT")) {
                std::uint8_t seq[4];
                if (available < 4 || readAt(fd, body, seq, 4) != 4)
                    break;
                inSequence(be32(seq));
            }
            if (belongs && available > (type == tag("fdAT") ? 4 : 0)) {
                openHasData = true;
                open->dataEnd = body + available;
            }
        } else if (!whole) {
            break;
        } else if (type == tag("PLTE") && !seenIdat) {
            h->palette.resize(std::min(c.length, MaxPaletteBytes));
            const std::int64_t n = std::int64_t(h->palette.size());
            if (readAt(fd, body, h->palette.data(), n) != n)
                return false;
        } else if (type == tag("tRNS") && !seenIdat) {
            h->transparency.resize(std::min(c.length, MaxTransparencyBytes));
            if (readAt(fd, body, h->transparency.data(), std::int64_t(h->transparency.size()))
                != std::int64_t(h->transparency.size()))
                return false;
        } else if (type == tag("acTL") && !seenIdat && c.length >= 8) {
            std::uint8_t b[8];
            if (readAt(fd, body, b, 8) != 8)
                return false;
            h->animated = true;
            h->plays = be32(b + 4);
        } else if (type == tag("fcTL") && (h->animated || !seenIdat) && c.length >= 26) {
            // The default image's fcTL may come before the acTL.
            std::uint8_t b[26];
            if (readAt(fd, body, b, 26) != 26)
                break;
            closeFrame();
            inSequence(be32(b));
            Frame f{};
            f.w = be32(b + 4);
            f.h = be32(b + 8);
            f.x = be32(b + 12);
            f.y = be32(b + 16);
            f.dispose = b[24] <= DisposePrevious ? b[24] : std::uint8_t(DisposeNone);
            f.blend = b[25] <= BlendOver ? b[25] : std::uint8_t(BlendSource);
            f.idat = !seenIdat;
            f.dataStart = body + c.length + 4;
            f.dataEnd = f.dataStart;
            if (f.w == 0 || f.h == 0 || f.w > MaxChunkLength || f.h > MaxChunkLength)
                break;
            h->frames.push_back(f);
            h->delaysMs.push_back(delayMs(be16(b + 20), be16(b + 22)));
            open = &h->frames.back();
        }
        if (!whole)
            break;
        pos = body + std::int64_t(c.length) + 4;
    }
    closeFrame();
    if (!h->animated)
        h->frames.clear(); // an fcTL without acTL is no animation
    return true;
}

// Decoding work allowed for one frame, in pixels decompressed: a frame may reach
// past the canvas (what lies outside is clipped), but its rows above the last
// visible one must be inflated whole. Four canvases and a million pixels cover
// any sensible file; beyond that a frame is refused before it is inflated.
constexpr std::int64_t FrameWorkCanvases = 4;
constexpr std::int64_t FrameWorkExtraPixels = 1000000;

// The frames of an animated PNG, decoded by libpng one at a time and blended
// with the APNG rules' arithmetic (rounded Porter-Duff "over").
class ApngSource final : public FrameSource {
public:
    ApngSource(int fd, Header &&header) noexcept : m_fd(fd), m_h(std::move(header)) {}
    ~ApngSource() override { ::close(m_fd); }
    ApngSource(const ApngSource &) = delete;
    ApngSource &operator=(const ApngSource &) = delete;

    int width() const override { return int(m_h.width); }
    int height() const override { return int(m_h.height); }
    std::uint32_t frameCount() const override { return std::uint32_t(m_h.frames.size()); }
    const std::vector<std::uint32_t> &delays() const override { return m_hundredths; }
    std::vector<std::uint32_t> delaysMs() const override { return m_h.delaysMs; }
    int loopCount() const override { return int(std::min<std::uint32_t>(m_h.plays, 0x7FFFFFFF)); }

    FrameRecord record(std::uint32_t index) const override
    {
        // PNG colour type 3: palette indexes.
        const bool palette = m_h.ihdr[9] == 3;
        const Frame &f = m_h.frames[index];
        auto clampInt = [](std::uint32_t v) { return int(std::min<std::uint32_t>(v, 0x7FFFFFFF)); };
        FrameRecord r;
        r.rect = Rect{clampInt(f.x), clampInt(f.y), clampInt(f.w), clampInt(f.h)};
        r.disposal = f.dispose == DisposeBackground ? Disposal::Background
                   : f.dispose == DisposePrevious   ? Disposal::Previous
                                                    : Disposal::None;
        r.blend = f.blend == BlendOver ? Blend::Over : Blend::Source;
        r.delayMs = m_h.delaysMs[index];
        r.colors = palette ? int(m_h.palette.size() / 3) : -1;
        r.interlaced = m_h.ihdr[12] != 0;
        return r;
    }

    FrameOutcome draw(std::uint32_t index, const FrameRecord &, const DrawTarget &target) override
    {
        const Frame &f = m_h.frames[index];
        const FrameOutcome ready = prepareFrame(index, target.visible);
        if (ready != FrameOutcome::Drawn)
            return ready;
        // Rows below the canvas are never decoded; a frame whose data ends early
        // or is corrupt keeps what was decoded.
        m_target = &target;
        m_blend = f.blend;
        m_rowsDrawn = 0;
        decodePng(m_stream.data(), m_stream.size(), int(f.w), int(f.h), target.visible.h, PngOutput::Argb,
                  reinterpret_cast<std::uint8_t *>(m_row.data()), imageBuffer(), m_rowPointers.data(),
                  &ApngSource::drawRow, this);
        m_target = nullptr;
        return rowsOutcome(target.visible.h);
    }

    FrameOutcome drawIndexes(std::uint32_t index, const FrameRecord &, const Rect &visible, std::uint8_t *indexes,
                             qsizetype stride, std::vector<std::uint32_t> &colors) override
    {
        const Frame &f = m_h.frames[index];
        const FrameOutcome ready = prepareFrame(index, visible);
        if (ready != FrameOutcome::Drawn)
            return ready;
        try {
            // The table with the alphas tRNS gives its first entries.
            colors.assign(m_h.palette.size() / 3, 0u);
            for (std::size_t i = 0; i < colors.size(); ++i) {
                const std::uint32_t alpha = i < m_h.transparency.size() ? m_h.transparency[i] : 0xFFu;
                colors[i] = (alpha << 24) | (std::uint32_t(m_h.palette[3 * i]) << 16)
                          | (std::uint32_t(m_h.palette[3 * i + 1]) << 8) | m_h.palette[3 * i + 2];
            }
        } catch (const std::bad_alloc &) {
            return FrameOutcome::NoMemory;
        }
        m_indexes = indexes;
        m_indexStride = stride;
        m_indexWidth = visible.w;
        m_rowsDrawn = 0;
        decodePng(m_stream.data(), m_stream.size(), int(f.w), int(f.h), visible.h, PngOutput::Indexes,
                  reinterpret_cast<std::uint8_t *>(m_row.data()), imageBuffer(), m_rowPointers.data(),
                  &ApngSource::indexRow, this);
        m_indexes = nullptr;
        return rowsOutcome(visible.h);
    }

    void prepare()
    {
        m_hundredths.reserve(m_h.delaysMs.size());
        for (std::uint32_t ms : m_h.delaysMs)
            m_hundredths.push_back((ms + 5) / 10);
        // The stream libpng reads for a frame: signature, IHDR (size patched per
        // frame), the file's PLTE and tRNS, then the frame's data and IEND.
        appendBytes(Signature, 8);
        appendChunk("IHDR", m_h.ihdr, 13);
        m_sizeAt = 8 + 8;
        if (!m_h.palette.empty())
            appendChunk("PLTE", m_h.palette.data(), m_h.palette.size());
        if (!m_h.transparency.empty())
            appendChunk("tRNS", m_h.transparency.data(), m_h.transparency.size());
        m_headerBytes = m_stream.size();
    }

private:
    void appendBytes(const void *p, std::size_t n)
    {
        const auto *b = static_cast<const std::uint8_t *>(p);
        m_stream.insert(m_stream.end(), b, b + n);
    }

    void appendChunk(const char (&type)[5], const std::uint8_t *data, std::size_t n)
    {
        std::uint8_t head[8];
        putBe32(head, std::uint32_t(n));
        std::memcpy(head + 4, type, 4);
        appendBytes(head, 8);
        appendBytes(data, n);
        const std::uint8_t crc[4] = {};
        appendBytes(crc, 4);
    }

    // Gathers the frame's compressed data into the stream after the header.
    void gatherData(const Frame &f)
    {
        m_stream.resize(m_headerBytes + 8);
        std::int64_t pos = f.dataStart;
        ChunkHead c;
        while (pos < f.dataEnd && readChunkHead(m_fd, pos, &c)) {
            const std::int64_t body = pos + 8;
            const bool data = c.type == (f.idat ? tag("IDAT") : tag("fdAT"));
            if (data) {
                const std::int64_t skip = f.idat ? 0 : 4;
                const std::int64_t n = std::min<std::int64_t>(c.length, f.dataEnd - body) - skip;
                if (n > 0) {
                    const std::size_t at = m_stream.size();
                    m_stream.resize(at + std::size_t(n));
                    const std::int64_t got = readAt(m_fd, body + skip, m_stream.data() + at, n);
                    m_stream.resize(at + std::size_t(std::max<std::int64_t>(got, 0)));
                }
            }
            pos = body + std::int64_t(c.length) + 4;
        }
        const std::size_t dataBytes = m_stream.size() - m_headerBytes - 8;
        putBe32(m_stream.data() + m_headerBytes, std::uint32_t(std::min<std::size_t>(dataBytes, MaxChunkLength)));
        std::memcpy(m_stream.data() + m_headerBytes + 4, "IDAT", 4);
        const std::uint8_t tail[16] = {0, 0, 0, 0, 0, 0, 0, 0, 'I', 'E', 'N', 'D', 0, 0, 0, 0};
        appendBytes(tail, 16);
    }

    // Checks frame `index` (landing on `visible`) against the limits and
    // gathers its data into m_stream with room to decode it; Drawn when it
    // may be decoded.
    FrameOutcome prepareFrame(std::uint32_t index, const Rect &visible)
    {
        if (index >= m_h.damagedFrom)
            return FrameOutcome::Corrupt;
        const Frame &f = m_h.frames[index];
        const int w = int(f.w), h = int(f.h);
        // An interlaced frame is read whole before its rows are known.
        const bool interlaced = m_h.ihdr[12] != 0;
        const std::int64_t work = std::int64_t(w) * (interlaced ? h : visible.h);
        const std::int64_t canvas = std::int64_t(m_h.width) * m_h.height;
        if (work > FrameWorkCanvases * canvas + FrameWorkExtraPixels || w > MaxFrameWidth
            || (interlaced && std::int64_t(w) * h > MaxCanvasPixels))
            return FrameOutcome::TooLarge;
        try {
            gatherData(f);
            putBe32(m_stream.data() + m_sizeAt, f.w);
            putBe32(m_stream.data() + m_sizeAt + 4, f.h);
            m_row.resize(std::size_t(w));
            m_image.resize(interlaced ? std::size_t(w) * std::size_t(h) : 0);
            m_rowPointers.resize(interlaced ? std::size_t(h) : 0);
        } catch (const std::bad_alloc &) {
            return FrameOutcome::NoMemory;
        }
        return FrameOutcome::Drawn;
    }

    std::uint8_t *imageBuffer()
    {
        return m_image.empty() ? nullptr : reinterpret_cast<std::uint8_t *>(m_image.data());
    }

    FrameOutcome rowsOutcome(int rows) const
    {
        return m_rowsDrawn == rows ? FrameOutcome::Drawn
             : m_rowsDrawn > 0     ? FrameOutcome::Damaged
                                   : FrameOutcome::Corrupt;
    }

    static void indexRow(void *context, int fy, const std::uint8_t *src)
    {
        auto *self = static_cast<ApngSource *>(context);
        std::copy_n(src, self->m_indexWidth, self->m_indexes + fy * self->m_indexStride);
        ++self->m_rowsDrawn;
    }

    static void drawRow(void *context, int fy, const std::uint8_t *bytes)
    {
        auto *self = static_cast<ApngSource *>(context);
        const auto *src = reinterpret_cast<const std::uint32_t *>(bytes);
        const DrawTarget &t = *self->m_target;
        std::uint32_t *dst = t.at(t.visible.x, t.visible.y + fy);
        if (self->m_blend == BlendSource)
            std::copy_n(src, t.visible.w, dst);
        else
            blendOver(src, dst, t.visible.w);
        ++self->m_rowsDrawn;
    }

    // Porter-Duff "over" on colours that are not premultiplied, rounded to the
    // nearest: out.a = s.a + d.a (1 - s.a); out.c = (s.c s.a + d.c d.a (1 - s.a)) / out.a.
    static void blendOver(const std::uint32_t *src, std::uint32_t *dst, int n)
    {
        for (int i = 0; i < n; ++i) {
            const std::uint32_t s = src[i];
            const std::uint32_t sa = s >> 24;
            if (sa == 255) {
                dst[i] = s;
                continue;
            }
            if (sa == 0)
                continue;
            const std::uint32_t d = dst[i];
            const std::uint32_t da = d >> 24;
            const std::uint32_t sw = sa * 255;         // source weight, x255
            const std::uint32_t dw = da * (255 - sa);  // destination weight, x255
            const std::uint32_t a255 = sw + dw;        // out alpha, x255
            auto channel = [&](int shift) {
                const std::uint32_t sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
                return ((sc * sw + dc * dw + a255 / 2) / a255) << shift;
            };
            dst[i] = (((a255 + 127) / 255) << 24) | channel(16) | channel(8) | channel(0);
        }
    }

    int m_fd;
    Header m_h;
    std::vector<std::uint32_t> m_hundredths;

    std::vector<std::uint8_t> m_stream;
    std::size_t m_headerBytes = 0;
    std::size_t m_sizeAt = 0; // IHDR width and height in m_stream
    std::vector<std::uint32_t> m_row;
    std::vector<std::uint32_t> m_image;       // an interlaced frame
    std::vector<png_bytep> m_rowPointers;
    const DrawTarget *m_target = nullptr;     // where the frame being decoded lands
    std::uint8_t m_blend = BlendSource;
    int m_rowsDrawn = 0;
    std::uint8_t *m_indexes = nullptr;        // where the indexes being decoded land
    qsizetype m_indexStride = 0;
    int m_indexWidth = 0;
};

} // namespace

namespace {
std::unique_ptr<Image> loadApngImpl(int fd, const struct stat &st, const QByteArray &name, Status *status,
                                    bool *animated);
} // namespace

bool pngHasAnimationControl(int fd)
{
    if (!hasSignature(fd))
        return false;
    std::int64_t pos = 8;
    ChunkHead c;
    while (readChunkHead(fd, pos, &c)) {
        if (c.type == tag("acTL"))
            return true;
        if (c.type == tag("IDAT") || c.type == tag("IEND"))
            return false;
        pos += 12 + std::int64_t(c.length);
    }
    return false;
}

bool isAnimatedPngFile(const QString &path)
{
    const QByteArray name = filepath::pathToBytes(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool animated = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && pngHasAnimationControl(fd);
    ::close(fd);
    return animated;
}

std::unique_ptr<Image> loadApng(int fd, const struct stat &st, const QByteArray &name, Status *status,
                                bool *animated)
{
    try {
        return loadApngImpl(fd, st, name, status, animated);
    } catch (const std::bad_alloc &) {
        // Only the frame list grows with the file (a hostile number of frames);
        // it is read before the image takes the file.
        ::close(fd);
        *animated = true;
        *status = OutOfMemory;
        return nullptr;
    }
}

namespace {

std::unique_ptr<Image> loadApngImpl(int fd, const struct stat &st, const QByteArray &name, Status *status,
                                    bool *animated)
{
    *animated = false;
    if (!pngHasAnimationControl(fd))
        return nullptr;
    Header header;
    if (!scanChunks(fd, std::int64_t(st.st_size), &header) || header.frames.empty())
        return nullptr; // no frame: the default image is all there is
    *animated = true;
    if (header.width == 0 || header.height == 0) {
        ::close(fd);
        *status = InvalidParameter;
        return nullptr;
    }
    if (header.width > MaxChunkLength || header.height > MaxChunkLength
        || std::int64_t(header.width) * std::int64_t(header.height) > MaxCanvasPixels) {
        ::close(fd);
        *status = OutOfMemory;
        return nullptr;
    }
    std::unique_ptr<ApngSource> source(new (std::nothrow) ApngSource(fd, std::move(header)));
    if (!source) {
        ::close(fd);
        *status = OutOfMemory;
        return nullptr;
    }
    try {
        source->prepare();
    } catch (const std::bad_alloc &) {
        *status = OutOfMemory;
        return nullptr;
    }
    return makeAnimation(std::move(source), WatchedFile{fd, name, FileIdentity::of(st)}, status);
}

} // namespace

} // namespace engine
