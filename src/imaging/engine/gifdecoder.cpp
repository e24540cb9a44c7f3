#include "imaging/engine/gifdecoder.h"

#include <gif_lib.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "imaging/engine/giferrors.h"
#include "imaging/engine/image.h"

namespace engine {

namespace {

constexpr std::int64_t ReadChunk = 64 * 1024;

// A GIF without any palette shows its indexes as grey levels, one per index.
constexpr int GreyLevels = 256;

// A frame may be far larger than the screen; what lies outside is never shown,
// but the rows above the last visible one must still be decompressed. Hostile
// files can make that billions of pixels: such frames are not drawn.
constexpr std::int64_t MaxFrameWork = MaxCanvasPixels * 4;

std::uint32_t argb(const GifColorType &c)
{
    return 0xFF000000u | (std::uint32_t(c.Red) << 16) | (std::uint32_t(c.Green) << 8) | c.Blue;
}

int readFromSource(GifFileType *gif, GifByteType *buf, int n)
{
    return static_cast<GifSource *>(gif->UserData)->read(buf, n);
}

bool isGifSignature(const std::uint8_t *b, int n)
{
    // giflib accepts any version after "GIF"; so do we, so that a damaged
    // version number still shows what can be decoded.
    return n >= 3 && b[0] == 'G' && b[1] == 'I' && b[2] == 'F';
}

} // namespace

// ---------------------------------------------------------------------------

GifSource::GifSource(int fd, std::int64_t size)
    : m_fd(fd), m_size(size)
{
}

GifSource::~GifSource()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool GifSource::fill(std::int64_t at)
{
    if (at < 0 || at >= m_size)
        return false;
    if (m_buf.empty())
        m_buf.resize(std::size_t(ReadChunk));
    std::int64_t got = 0;
    for (;;) {
        const ssize_t n = ::pread(m_fd, m_buf.data() + got, std::size_t(ReadChunk - got),
                                  off_t(at + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
        if (got == ReadChunk)
            break;
    }
    m_bufStart = at;
    m_bufLen = got;
    return got > 0;
}

int GifSource::peek(std::uint8_t *dst, int n)
{
    int done = 0;
    std::int64_t pos = m_pos;
    while (done < n) {
        if ((pos < m_bufStart || pos >= m_bufStart + m_bufLen) && !fill(pos))
            break;
        const std::int64_t avail = m_bufStart + m_bufLen - pos;
        const int take = int(std::min<std::int64_t>(avail, n - done));
        std::memcpy(dst + done, m_buf.data() + (pos - m_bufStart), std::size_t(take));
        done += take;
        pos += take;
    }
    return done;
}

int GifSource::read(std::uint8_t *dst, int n)
{
    if (n <= 0)
        return 0;
    const int got = peek(dst, n);
    m_pos += got;
    return got;
}

// ---------------------------------------------------------------------------

GifDecoder::GifDecoder(int fd, std::int64_t size)
    : m_source(fd, size)
{
}

GifDecoder::~GifDecoder()
{
    closeHandle();
}

void GifDecoder::closeHandle()
{
    if (m_gif) {
        int error = 0;
        DGifCloseFile(m_gif, &error); // frees the handle even when it fails
        m_gif = nullptr;
    }
}

bool GifDecoder::openSegment(std::int64_t offset, int *error)
{
    closeHandle();
    m_source.seek(offset);
    *error = 0;
    m_gif = DGifOpen(&m_source, readFromSource, error);
    if (!m_gif)
        return false;
    Segment seg{offset, {}};
    if (const ColorMapObject *map = m_gif->SColorMap) {
        const int count = std::clamp(map->ColorCount, 0, 256);
        for (int i = 0; i < count; ++i)
            seg.colors.push_back(argb(map->Colors[i]));
    }
    m_segments.push_back(std::move(seg));
    return true;
}

std::unique_ptr<GifDecoder> GifDecoder::open(int fd, std::int64_t size, Status *status)
{
    std::unique_ptr<GifDecoder> d(new GifDecoder(fd, size));
    std::uint8_t header[6] = {};
    const int n = d->m_source.peek(header, 6);
    if (!isGifSignature(header, n)) {
        *status = UnknownImageFormat;
        return nullptr;
    }
    int error = 0;
    if (!d->openSegment(0, &error)) {
        *status = statusFromGifError(error);
        return nullptr;
    }
    d->m_width = d->m_gif->SWidth;
    d->m_height = d->m_gif->SHeight;
    if (d->m_width <= 0 || d->m_height <= 0) {
        *status = InvalidParameter;
        return nullptr;
    }
    if (std::int64_t(d->m_width) * d->m_height > MaxCanvasPixels) {
        *status = OutOfMemory;
        return nullptr;
    }
    d->scan();
    if (d->m_frames.empty()) {
        *status = GenericError;
        return nullptr;
    }
    *status = Ok;
    return d;
}

// Skips an image's data sub-blocks up to their terminator. False when the file
// ends first.
bool GifDecoder::skipImage()
{
    std::uint8_t b = 0;
    while (m_source.read(&b, 1) == 1) {
        if (b == 0)
            return true;
        m_source.seek(m_source.pos() + b);
        if (m_source.pos() > m_source.size())
            return false;
    }
    return false;
}

void GifDecoder::scan()
{
    // Graphic control of the next image.
    std::int16_t transparent = -1;
    std::uint8_t disposal = 0;
    std::uint32_t delay = 0;
    bool loopSeen = false;

    for (;;) {
        std::uint8_t next[3];
        const int n = m_source.peek(next, 3);
        if (n < 1)
            break;
        if (isGifSignature(next, n)) {
            // Another GIF follows where the trailer should be: its frames continue
            // the animation on the first screen.
            int error = 0;
            if (!openSegment(m_source.pos(), &error))
                break;
            transparent = -1;
            disposal = 0;
            delay = 0;
            continue;
        }
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(m_gif, &type) == GIF_ERROR)
            break;
        if (type == IMAGE_DESC_RECORD_TYPE) {
            // The image itself is read here rather than by giflib, which refuses
            // code sizes over 8 that browsers accept.
            const std::int64_t offset = m_source.pos();
            std::uint8_t desc[9];
            if (m_source.read(desc, 9) != 9)
                break;
            if (desc[8] & 0x80) {
                m_source.seek(m_source.pos() + 3 * (std::int64_t(2) << (desc[8] & 7)));
                if (m_source.pos() > m_source.size())
                    break;
            }
            auto le16 = [&](int at) { return std::uint16_t(desc[at] | (desc[at + 1] << 8)); };
            m_frames.push_back(Frame{offset, std::uint32_t(m_segments.size() - 1), transparent, disposal,
                                     desc[8], le16(0), le16(2), le16(4), le16(6)});
            m_delays.push_back(delay);
            transparent = -1;
            disposal = 0;
            delay = 0;
            std::uint8_t codeSize = 0;
            if (m_source.read(&codeSize, 1) != 1 || !skipImage())
                break;
        } else if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType *ext = nullptr;
            if (DGifGetExtension(m_gif, &code, &ext) == GIF_ERROR)
                break;
            bool first = true;
            bool loopBlock = false;
            bool ok = true;
            while (ext && ok) {
                const int len = ext[0];
                if (code == GRAPHICS_EXT_FUNC_CODE && first && len >= 4) {
                    disposal = std::uint8_t((ext[1] >> 2) & 7);
                    delay = std::uint32_t(ext[2] | (ext[3] << 8));
                    transparent = (ext[1] & 1) ? std::int16_t(ext[4]) : std::int16_t(-1);
                } else if (code == APPLICATION_EXT_FUNC_CODE && first) {
                    loopBlock = len == 11
                        && (std::memcmp(ext + 1, "NETSCAPE2.0", 11) == 0
                            || std::memcmp(ext + 1, "ANIMEXTS1.0", 11) == 0);
                } else if (loopBlock && !loopSeen && len >= 3 && (ext[1] & 7) == 1) {
                    m_loopCount = ext[2] | (ext[3] << 8);
                    loopSeen = true;
                }
                first = false;
                ok = DGifGetExtensionNext(m_gif, &ext) != GIF_ERROR;
            }
            if (!ok)
                break;
        } else {
            break; // trailer, or a record type that makes the rest unreadable
        }
    }
    closeHandle();
}

std::vector<std::uint32_t> GifDecoder::delaysMs() const
{
    std::vector<std::uint32_t> ms(m_delays.size());
    for (std::size_t i = 0; i < ms.size(); ++i)
        ms[i] = m_delays[i] * 10;
    return ms;
}

FrameRecord GifDecoder::record(std::uint32_t index) const
{
    const Frame &f = m_frames[index];
    FrameRecord r;
    r.rect = Rect{f.x, f.y, f.w, f.h};
    r.disposal = f.disposal == 2 ? Disposal::Background
               : f.disposal == 3 ? Disposal::Previous
                                 : Disposal::None;
    r.delayMs = m_delays[index] * 10;
    r.localColors = f.flags & 0x80;
    const std::size_t global = m_segments[f.segment].colors.size();
    r.colors = r.localColors ? 2 << (f.flags & 7) : global > 0 ? int(global) : GreyLevels;
    r.transparentIndex = f.transparent;
    r.interlaced = f.flags & 0x40;
    return r;
}

template <typename Put>
FrameOutcome GifDecoder::decodeFrame(std::uint32_t index, int visibleRows, Put &&put)
{
    const Frame &f = m_frames[index];
    const Segment &seg = m_segments[f.segment];
    m_source.seek(f.offset);
    std::uint8_t desc[9];
    if (m_source.read(desc, 9) != 9)
        return FrameOutcome::Unreadable;
    const int w = desc[4] | (desc[5] << 8);
    const int h = desc[6] | (desc[7] << 8);
    const bool interlace = desc[8] & 0x40;

    // Palette: local, else global, else grey levels. Indexes beyond it are
    // taken as index 0 (its colour, and its transparency), as the reference
    // decoder does.
    int count = GreyLevels;
    if (desc[8] & 0x80) {
        count = 2 << (desc[8] & 7);
        std::uint8_t raw[768];
        if (m_source.read(raw, 3 * count) != 3 * count)
            return FrameOutcome::Unreadable;
        for (int i = 0; i < count; ++i)
            m_lut[i] = 0xFF000000u | (std::uint32_t(raw[3 * i]) << 16)
                | (std::uint32_t(raw[3 * i + 1]) << 8) | raw[3 * i + 2];
    } else if (!seg.colors.empty()) {
        count = int(seg.colors.size());
        std::copy_n(seg.colors.begin(), count, m_lut);
    } else {
        for (std::uint32_t i = 0; i < GreyLevels; ++i)
            m_lut[i] = 0xFF000000u | (i << 16) | (i << 8) | i;
    }
    m_colors = count;
    for (int i = count; i < 256; ++i)
        m_lut[i] = m_lut[0];
    for (int i = 0; i < 256; ++i)
        m_keep[i] = (i < count ? i : 0) == f.transparent ? 0xFFFFFFFFu : 0u;

    const int rowsToDecode = interlace ? h : visibleRows;
    if (std::int64_t(w) * rowsToDecode > MaxFrameWork)
        return FrameOutcome::Drawn; // left undrawn, as browsers leave it
    std::uint8_t codeSize = 0;
    if (m_source.read(&codeSize, 1) != 1)
        return FrameOutcome::Corrupt;
    m_lzw.start(&m_source, codeSize);
    if (m_row.size() < std::size_t(w) + LzwDecoder::Slack)
        m_row.resize(std::size_t(w) + LzwDecoder::Slack);
    const std::uint8_t *row = m_row.data();

    // A frame whose data ends early or is corrupt keeps what was decoded.
    std::int64_t decoded = 0;
    bool whole = true;
    auto next = [&](int fy) {
        const int got = m_lzw.decode(m_row.data(), w);
        if (fy < visibleRows)
            put(fy, row, got);
        decoded += got;
        whole = got == w;
    };
    if (!interlace) {
        for (int fy = 0; fy < rowsToDecode && whole; ++fy)
            next(fy);
    } else {
        static constexpr int start[] = {0, 4, 2, 1};
        static constexpr int step[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4 && whole; ++pass) {
            for (int fy = start[pass]; fy < h && whole; fy += step[pass]) {
                if (pass == 3 && fy >= visibleRows)
                    break; // the rest of the last pass is off screen
                next(fy);
            }
        }
    }
    return whole ? FrameOutcome::Drawn : decoded > 0 ? FrameOutcome::Damaged : FrameOutcome::Corrupt;
}

FrameOutcome GifDecoder::draw(std::uint32_t index, const FrameRecord &, const DrawTarget &target)
{
    const Rect &r = target.visible;
    const bool transparent = m_frames[index].transparent >= 0;
    // Draws the first n decoded pixels of frame row fy.
    return decodeFrame(index, r.h, [&](int fy, const std::uint8_t *row, int n) {
        n = std::min(n, r.w);
        std::uint32_t *dst = target.at(r.x, r.y + fy);
        const std::uint32_t *lut = m_lut;
        if (!transparent) {
            for (int i = 0; i < n; ++i)
                dst[i] = lut[row[i]];
        } else {
            // Branch-free: a mask per index says where the canvas shows through.
            const std::uint32_t *keep = m_keep;
            for (int i = 0; i < n; ++i) {
                const std::uint8_t c = row[i];
                dst[i] = (dst[i] & keep[c]) | (lut[c] & ~keep[c]);
            }
        }
    });
}

FrameOutcome GifDecoder::drawIndexes(std::uint32_t index, const FrameRecord &, const Rect &visible,
                                     std::uint8_t *indexes, qsizetype stride, std::vector<std::uint32_t> &colors)
{
    const FrameOutcome outcome = decodeFrame(index, visible.h, [&](int fy, const std::uint8_t *row, int n) {
        std::copy_n(row, std::min(n, visible.w), indexes + fy * stride);
    });
    try {
        colors.assign(m_lut, m_lut + m_colors);
    } catch (const std::bad_alloc &) {
        return FrameOutcome::NoMemory;
    }
    return outcome;
}

} // namespace engine
