#include "imaging/engine/apngdecoder.h"

#include "common/filepath.h"
#include "imaging/engine/canvaspool.h"

#include <QFile>

#include <png.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

namespace engine {

namespace {

constexpr std::uint8_t Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// The same bound on the pixels decoded for one frame as for GIF frames: a frame
// far larger than the canvas is not drawn.
constexpr std::int64_t MaxFrameWork = MaxCanvasPixels * 4;
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

// Hands each decoded row (ARGB32, not premultiplied) to the caller.
using RowSink = void (*)(void *context, int y, const std::uint32_t *row);

// Decodes the PNG stream `data` of a w x h picture, handing over its first
// `rows` rows one by one, top down; stops there. Rows that are not whole when
// the data ends early or is corrupt are not handed over. An interlaced picture
// is read whole into `image` (w * h values, or null: then nothing is drawn).
// Only plain values live in this frame: libpng leaves it with longjmp on errors.
void decodePng(const std::uint8_t *data, std::size_t size, int w, int h, int rows, std::uint32_t *row,
               std::uint32_t *image, png_bytep *rowPointers, RowSink sink, void *context)
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
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_read_fn(png, &stream, readFromMemory);
        // The chunks are ours (CRCs not computed); the frame data's own
        // integrity is checked by zlib's Adler-32.
        png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
        png_set_benign_errors(png, 1);
        png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
        png_read_info(png, info);
        png_set_expand(png);
        png_set_strip_16(png);
        png_set_gray_to_rgb(png);
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        png_set_bgr(png); // B, G, R, A in memory: ARGB32 on this byte order
#else
        png_set_swap_alpha(png);
#endif
        const int passes = png_set_interlace_handling(png);
        png_read_update_info(png, info);
        if (int(png_get_image_width(png, info)) != w || int(png_get_image_height(png, info)) != h
            || png_get_rowbytes(png, info) != png_size_t(w) * 4)
            png_error(png, "unexpected layout");
        if (passes > 1) {
            if (!image)
                png_error(png, "interlaced frame over the limit");
            for (int y = 0; y < h; ++y)
                rowPointers[y] = reinterpret_cast<png_bytep>(image + std::size_t(y) * std::size_t(w));
            png_read_image(png, rowPointers);
            for (int y = 0; y < rows; ++y)
                sink(context, y, image + std::size_t(y) * std::size_t(w));
        } else {
            for (int y = 0; y < rows; ++y) {
                png_read_row(png, reinterpret_cast<png_bytep>(row), nullptr);
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
    std::uint8_t storedDispose; // as the fcTL says (dispose is what is drawn)
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
};

// One pass over the chunks: the header, and every frame's control fields and
// data span. Stops at IEND, at the end of the file, at a chunk cut short, and
// at a sequence number out of order.
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
    auto closeFrame = [&] {
        if (open && !openHasData) {
            h->frames.pop_back(); // an fcTL without data is no frame
            h->delaysMs.pop_back();
        }
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
                if (be32(seq) != nextSequence)
                    break;
                ++nextSequence;
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
        } else if (type == tag("fcTL") && h->animated && c.length >= 26) {
            std::uint8_t b[26];
            if (readAt(fd, body, b, 26) != 26 || be32(b) != nextSequence)
                break;
            ++nextSequence;
            closeFrame();
            Frame f{};
            f.w = be32(b + 4);
            f.h = be32(b + 8);
            f.x = be32(b + 12);
            f.y = be32(b + 16);
            f.dispose = b[24] <= DisposePrevious ? b[24] : std::uint8_t(DisposeNone);
            f.storedDispose = f.dispose;
            f.blend = b[25] <= BlendOver ? b[25] : std::uint8_t(BlendSource);
            f.idat = !seenIdat;
            f.dataStart = body + c.length + 4;
            f.dataEnd = f.dataStart;
            if (f.w == 0 || f.h == 0 || f.w > MaxChunkLength || f.h > MaxChunkLength)
                break;
            // The first frame cannot restore what was there before it.
            if (h->frames.empty() && f.dispose == DisposePrevious)
                f.dispose = DisposeBackground;
            h->frames.push_back(f);
            h->delaysMs.push_back(delayMs(be16(b + 20), be16(b + 22)));
            open = &h->frames.back();
        }
        if (!whole)
            break;
        pos = body + std::int64_t(c.length) + 4;
    }
    closeFrame();
    return true;
}

// The same file, unchanged: states pass between pictures opened from one file.
bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size
        && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

class ApngFrameState final : public FrameState {
public:
    std::uint32_t frame() const override { return current; }
    std::size_t bytes() const override
    {
        return std::size_t(canvas.sizeInBytes()) + saved.size() * sizeof(std::uint32_t);
    }

    struct stat file {}; // the file the state was made from, as it was then
    std::uint32_t current = 0;
    QImage canvas;
    std::uint8_t pendingDispose = DisposeNone;
    Rect pendingRect;
    std::vector<std::uint32_t> saved;
};

class ApngImage final : public Image {
public:
    ApngImage(int fd, const struct stat &st, Header &&header) noexcept
        : m_fd(fd), m_stat(st), m_h(std::move(header))
    {
    }
    ~ApngImage() override { ::close(m_fd); }
    ApngImage(const ApngImage &) = delete;
    ApngImage &operator=(const ApngImage &) = delete;

    Status init()
    {
        try {
            prepare();
        } catch (const std::bad_alloc &) {
            return OutOfMemory;
        }
        m_canvas = QImage(int(m_h.width), int(m_h.height), QImage::Format_ARGB32);
        if (m_canvas.isNull())
            return OutOfMemory;
        return composeTo(0);
    }

    int width() const override { return int(m_h.width); }
    int height() const override { return int(m_h.height); }
    Guid frameDimension() const override { return FrameDimensionTime; }
    std::uint32_t frameCount() const override { return std::uint32_t(m_h.frames.size()); }

    Status selectFrame(const Guid &dimension, std::uint32_t index) override
    {
        if (!(dimension == FrameDimensionTime) || index >= frameCount())
            return InvalidParameter;
        const Status s = std::int64_t(index) == m_current ? Ok : composeTo(index);
        if (s == Ok) {
            m_active = index;
            return Ok;
        }
        // Keep showing the frame that was active, when it can still be made.
        if (s != GenericError || !sourceChanged())
            composeTo(m_active);
        return s;
    }

    std::uint32_t activeFrameIndex() const override { return m_active; }
    const QImage &activeFrame() const override { return m_canvas; }
    bool hasFrameDelays() const override { return true; }
    const std::vector<std::uint32_t> &frameDelays() const override { return m_hundredths; }
    std::vector<std::uint32_t> frameDelaysMs() const override { return m_h.delaysMs; }

    std::vector<FrameRecord> frameRecords() const override
    {
        // PNG colour type 3: palette indexes.
        const bool palette = m_h.ihdr[9] == 3;
        const bool interlaced = m_h.ihdr[12] != 0;
        std::vector<FrameRecord> out(m_h.frames.size());
        for (std::size_t i = 0; i < out.size(); ++i) {
            const Frame &f = m_h.frames[i];
            FrameRecord &r = out[i];
            auto clampInt = [](std::uint32_t v) { return int(std::min<std::uint32_t>(v, 0x7FFFFFFF)); };
            r.rect = Rect{clampInt(f.x), clampInt(f.y), clampInt(f.w), clampInt(f.h)};
            r.disposal = f.storedDispose == DisposeBackground ? Disposal::Background
                       : f.storedDispose == DisposePrevious   ? Disposal::Previous
                                                              : Disposal::None;
            r.blend = f.blend == BlendOver ? Blend::Over : Blend::Source;
            r.delayMs = m_h.delaysMs[i];
            r.colors = palette ? int(m_h.palette.size() / 3) : -1;
            r.interlaced = interlaced;
        }
        return out;
    }
    int loopCount() const override { return int(std::min<std::uint32_t>(m_h.plays, 0x7FFFFFFF)); }

    std::shared_ptr<const FrameState> saveState() const override
    {
        if (m_current != std::int64_t(m_active))
            return nullptr;
        try {
            auto s = std::make_shared<ApngFrameState>();
            s->file = m_stat;
            s->current = m_active;
            s->canvas = m_canvas;
            s->pendingDispose = m_pendingDispose;
            s->pendingRect = m_pendingRect;
            if (m_pendingDispose == DisposePrevious)
                s->saved = m_saved;
            return s;
        } catch (const std::bad_alloc &) {
            return nullptr;
        }
    }

    Status restoreState(const FrameState &state) override
    {
        const auto *s = dynamic_cast<const ApngFrameState *>(&state);
        if (!s || !sameFile(s->file, m_stat) || s->current >= frameCount()
            || s->canvas.size() != m_canvas.size() || s->canvas.format() != QImage::Format_ARGB32)
            return InvalidParameter;
        try {
            m_saved = s->saved;
        } catch (const std::bad_alloc &) {
            return OutOfMemory;
        }
        m_canvas = s->canvas;
        m_current = s->current;
        m_active = s->current;
        m_pendingDispose = s->pendingDispose;
        m_pendingRect = s->pendingRect;
        return Ok;
    }

private:
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

    bool sourceChanged() const
    {
        struct stat now {};
        return ::fstat(m_fd, &now) != 0 || !sameFile(now, m_stat);
    }

    Status composeTo(std::uint32_t index)
    {
        if (sourceChanged()) {
            m_current = -1;
            return GenericError;
        }
        if (m_current < 0 || std::int64_t(index) < m_current) {
            m_pool.detach(m_canvas, false); // on failure fill() copies
            m_canvas.fill(0u);
            m_current = -1;
            m_pendingDispose = DisposeNone;
            m_pendingRect = Rect{};
            m_saved.clear();
        }
        try {
            while (m_current < std::int64_t(index)) {
                if (!drawFrame(std::uint32_t(m_current + 1))) {
                    m_current = -1;
                    return OutOfMemory;
                }
            }
        } catch (const std::bad_alloc &) {
            m_current = -1;
            return OutOfMemory;
        }
        return Ok;
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

    Rect clipped(const Frame &f) const
    {
        const std::int64_t x0 = f.x, y0 = f.y;
        const std::int64_t x1 = std::min<std::int64_t>(x0 + f.w, m_h.width);
        const std::int64_t y1 = std::min<std::int64_t>(y0 + f.h, m_h.height);
        if (x0 >= x1 || y0 >= y1)
            return Rect{};
        return Rect{int(x0), int(y0), int(x1 - x0), int(y1 - y0)};
    }

    // False only when memory ran out.
    bool drawFrame(std::uint32_t index)
    {
        const Frame &f = m_h.frames[index];
        if (!m_pool.detach(m_canvas))
            return false;
        uchar *bits = m_canvas.bits();
        if (!bits)
            return false;
        const qsizetype bpl = m_canvas.bytesPerLine();
        auto line = [&](int y) { return reinterpret_cast<std::uint32_t *>(bits + y * bpl); };

        const Rect &p = m_pendingRect;
        if (!p.empty() && m_pendingDispose == DisposeBackground) {
            for (int y = p.y; y < p.y + p.h; ++y)
                std::fill_n(line(y) + p.x, p.w, 0u);
        } else if (!p.empty() && m_pendingDispose == DisposePrevious
                   && m_saved.size() >= std::size_t(p.w) * std::size_t(p.h)) {
            const std::uint32_t *s = m_saved.data();
            for (int y = p.y; y < p.y + p.h; ++y, s += p.w)
                std::copy_n(s, p.w, line(y) + p.x);
        }

        const Rect r = clipped(f);
        m_pendingDispose = f.dispose;
        m_pendingRect = r;
        if (f.dispose == DisposePrevious && !r.empty()) {
            m_saved.resize(std::size_t(r.w) * std::size_t(r.h));
            std::uint32_t *s = m_saved.data();
            for (int y = r.y; y < r.y + r.h; ++y, s += r.w)
                std::copy_n(line(y) + r.x, r.w, s);
        }
        m_current = index;
        if (r.empty() || std::int64_t(f.w) * std::int64_t(f.h) > MaxFrameWork)
            return true;

        const int w = int(f.w), h = int(f.h);
        if (w > MaxFrameWidth)
            return true;
        gatherData(f);
        putBe32(m_stream.data() + m_sizeAt, f.w);
        putBe32(m_stream.data() + m_sizeAt + 4, f.h);
        m_row.resize(std::size_t(w));
        // An interlaced frame is read whole before its rows are known; only
        // frames within the canvas limit get the room for that.
        const std::uint8_t interlace = m_h.ihdr[12];
        const bool whole = interlace != 0 && std::int64_t(w) * h <= MaxCanvasPixels;
        m_image.resize(whole ? std::size_t(w) * std::size_t(h) : 0);
        m_rowPointers.resize(whole ? std::size_t(h) : 0);
        // Rows below the canvas are never decoded; a frame whose data ends early
        // or is corrupt keeps what was decoded.
        m_sinkRect = r;
        m_sinkBlend = f.blend;
        decodePng(m_stream.data(), m_stream.size(), w, h, r.h, m_row.data(), whole ? m_image.data() : nullptr,
                  m_rowPointers.data(), &ApngImage::drawRow, this);
        return true;
    }

    static void drawRow(void *context, int fy, const std::uint32_t *src)
    {
        auto *self = static_cast<ApngImage *>(context);
        const Rect &r = self->m_sinkRect;
        uchar *line = self->m_canvas.bits() + (r.y + fy) * self->m_canvas.bytesPerLine();
        auto *dst = reinterpret_cast<std::uint32_t *>(line) + r.x;
        if (self->m_sinkBlend == BlendSource)
            std::copy_n(src, r.w, dst);
        else
            blendOver(src, dst, r.w);
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
    struct stat m_stat;
    Header m_h;
    std::vector<std::uint32_t> m_hundredths;

    QImage m_canvas;
    CanvasPool m_pool; // buffers for the canvas while frames handed out hold it
    std::int64_t m_current = -1;
    std::uint32_t m_active = 0;
    std::uint8_t m_pendingDispose = DisposeNone;
    Rect m_pendingRect;
    std::vector<std::uint32_t> m_saved; // the rect under a "previous" frame

    std::vector<std::uint8_t> m_stream;
    std::size_t m_headerBytes = 0;
    std::size_t m_sizeAt = 0; // IHDR width and height in m_stream
    std::vector<std::uint32_t> m_row;
    std::vector<std::uint32_t> m_image;       // an interlaced frame
    std::vector<png_bytep> m_rowPointers;
    Rect m_sinkRect;                          // where the frame being decoded lands
    std::uint8_t m_sinkBlend = BlendSource;
};

} // namespace

namespace {
std::unique_ptr<Image> loadApngImpl(int fd, const struct stat &st, Status *status, bool *animated);
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

std::unique_ptr<Image> loadApng(int fd, const struct stat &st, Status *status, bool *animated)
{
    try {
        return loadApngImpl(fd, st, status, animated);
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

std::unique_ptr<Image> loadApngImpl(int fd, const struct stat &st, Status *status, bool *animated)
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
    std::unique_ptr<ApngImage> image(new (std::nothrow) ApngImage(fd, st, std::move(header)));
    if (!image) {
        ::close(fd);
        *status = OutOfMemory;
        return nullptr;
    }
    *status = image->init();
    if (*status != Ok)
        return nullptr;
    return image;
}

} // namespace

} // namespace engine
