#include "imaging/engine/webpdecoder.h"
#include "imaging/engine/compositor.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace engine {

namespace {

struct DemuxDeleter {
    void operator()(WebPDemuxer *d) const { WebPDemuxDelete(d); }
};

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr WEBP_CSP_MODE ArgbMode = MODE_BGRA; // B, G, R, A in memory: ARGB32 here
#else
constexpr WEBP_CSP_MODE ArgbMode = MODE_ARGB;
#endif

// One channel of `src` over `dst`, neither premultiplied. The arithmetic is
// libwebp's own animation decoder's, fixed point and rounding down, so a frame
// here equals the one every libwebp-based viewer shows to the last bit.
inline std::uint32_t blendChannel(std::uint32_t src, std::uint32_t srcA, std::uint32_t dst,
                                  std::uint32_t dstA, std::uint32_t scale, int shift)
{
    const std::uint32_t s = (src >> shift) & 0xFF;
    const std::uint32_t d = (dst >> shift) & 0xFF;
    return (((s * srcA + d * dstA) * scale) >> 24) & 0xFF;
}

inline std::uint32_t blendPixel(std::uint32_t src, std::uint32_t dst)
{
    const std::uint32_t srcA = src >> 24;
    if (srcA == 0xFF)
        return src;
    if (srcA == 0)
        return dst;
    const std::uint32_t dstA = ((dst >> 24) * (256 - srcA)) >> 8;
    const std::uint32_t a = srcA + dstA; // below 256
    const std::uint32_t scale = (1u << 24) / a;
    return blendChannel(src, srcA, dst, dstA, scale, 0) | (blendChannel(src, srcA, dst, dstA, scale, 8) << 8)
           | (blendChannel(src, srcA, dst, dstA, scale, 16) << 16) | (a << 24);
}

// The frames of a WebP, decoded by libwebp and blended with the arithmetic of
// libwebp's own animation decoder. WebP disposal is "none" or "to transparent"
// only, so the compositor keeps no more than one canvas: libwebp's animation
// decoder would hold two more.
class WebPSource final : public FrameSource {
public:
    WebPSource(std::vector<std::uint8_t> data, int width, int height)
        : m_data(std::move(data)), m_width(width), m_height(height)
    {
    }

    int width() const override { return m_width; }
    int height() const override { return m_height; }
    std::uint32_t frameCount() const override { return std::uint32_t(m_records.size()); }
    const std::vector<std::uint32_t> &delays() const override { return m_hundredths; }
    std::vector<std::uint32_t> delaysMs() const override { return m_delaysMs; }
    int loopCount() const override { return m_loopCount; }
    FrameRecord record(std::uint32_t index) const override { return m_records[index]; }
    std::vector<FrameRecord> records() const override { return m_records; }

    // Reads the frame list.
    Status init()
    {
        const WebPData data{m_data.data(), m_data.size()};
        m_demux.reset(WebPDemux(&data));
        if (!m_demux)
            return UnknownImageFormat;
        const std::uint32_t frames = WebPDemuxGetI(m_demux.get(), WEBP_FF_FRAME_COUNT);
        if (frames == 0)
            return GenericError;
        const bool animated = WebPDemuxGetI(m_demux.get(), WEBP_FF_FORMAT_FLAGS) & ANIMATION_FLAG;
        m_loopCount = animated ? int(std::min<std::uint32_t>(WebPDemuxGetI(m_demux.get(), WEBP_FF_LOOP_COUNT),
                                                             0x7FFFFFFF))
                               : -1;
        m_delaysMs.reserve(frames);
        m_hundredths.reserve(frames);
        m_records.reserve(frames);
        WebPIterator it;
        if (WebPDemuxGetFrame(m_demux.get(), 1, &it)) {
            do {
                const std::uint32_t ms = animated ? std::uint32_t(std::max(it.duration, 0)) : 0;
                m_delaysMs.push_back(ms);
                m_hundredths.push_back((ms + 5) / 10);
                FrameRecord r;
                r.rect = Rect{it.x_offset, it.y_offset, it.width, it.height};
                r.disposal = it.dispose_method == WEBP_MUX_DISPOSE_BACKGROUND ? Disposal::Background
                                                                              : Disposal::None;
                r.blend = it.blend_method == WEBP_MUX_BLEND ? Blend::Over : Blend::Source;
                r.delayMs = ms;
                m_records.push_back(r);
            } while (WebPDemuxNextFrame(&it));
            WebPDemuxReleaseIterator(&it);
        }
        return m_records.empty() ? GenericError : Ok;
    }

    FrameOutcome draw(std::uint32_t index, const FrameRecord &record, const DrawTarget &target) override
    {
        WebPIterator it;
        if (!WebPDemuxGetFrame(m_demux.get(), int(index) + 1, &it))
            return FrameOutcome::Corrupt;
        const bool hasAlpha = it.has_alpha;
        const std::uint8_t *bytes = it.fragment.bytes;
        const std::size_t size = it.fragment.size;
        WebPDemuxReleaseIterator(&it);

        const Rect &rect = target.visible;
        WebPBitstreamFeatures features;
        if (!(rect == record.rect) || WebPGetFeatures(bytes, size, &features) != VP8_STATUS_OK
            || features.width != rect.w || features.height != rect.h)
            return FrameOutcome::Corrupt;

        // Over a transparent canvas, or where the frame replaces all of it, the
        // frame is taken as it is, unblended, as libwebp does (blending over
        // nothing would round).
        const bool blend = record.blend == Blend::Over;
        const bool full = rect == Rect{0, 0, m_width, m_height};
        const bool key = target.allClear || ((!blend || !hasAlpha) && full);
        uchar *origin = reinterpret_cast<uchar *>(target.at(rect.x, rect.y));
        if (key || !blend) {
            const VP8StatusCode code = decodeInto(bytes, size, origin, int(target.stride), rect);
            // libwebp writes the rows it brought out, and nothing below them.
            return code == VP8_STATUS_OK ? FrameOutcome::Drawn : brokenFrame(code, bytes, size, rect, nullptr);
        }
        if (!reserveFrame(rect))
            return FrameOutcome::NoMemory;
        int rows = rect.h;
        const VP8StatusCode code
            = decodeInto(bytes, size, reinterpret_cast<uchar *>(m_frame.data()), rect.w * 4, rect);
        const FrameOutcome outcome
            = code == VP8_STATUS_OK ? FrameOutcome::Drawn : brokenFrame(code, bytes, size, rect, &rows);
        blendFrame(origin, target.stride, rect, target.cleared, rows);
        return outcome;
    }

private:
    bool reserveFrame(const Rect &rect)
    {
        const std::size_t need = std::size_t(rect.w) * std::size_t(rect.h);
        try {
            if (m_frame.capacity() < need)
                m_frame = {}; // let the old buffer go first: its pixels are not needed
            m_frame.resize(need);
        } catch (const std::bad_alloc &) {
            return false;
        }
        return true;
    }

    // Decodes a frame's bitstream into `dst` (rows `stride` bytes apart).
    static VP8StatusCode decodeInto(const std::uint8_t *bytes, std::size_t size, uchar *dst, int stride,
                                    const Rect &rect)
    {
        WebPDecoderConfig config;
        if (!WebPInitDecoderConfig(&config))
            return VP8_STATUS_INVALID_PARAM;
        config.output.colorspace = ArgbMode;
        config.output.is_external_memory = 1;
        config.output.u.RGBA.rgba = dst;
        config.output.u.RGBA.stride = stride;
        config.output.u.RGBA.size = std::size_t(stride) * std::size_t(rect.h - 1) + std::size_t(rect.w) * 4;
        const VP8StatusCode code = WebPDecode(bytes, size, &config);
        WebPFreeDecBuffer(&config.output);
        return code;
    }

    // A frame whose decoding failed with `code`: how far it went. libwebp
    // brings rows out top down and says nothing of how many when it fails, so
    // the frame is decoded twice more into m_frame, over two different fills:
    // a row came out when it differs from the fill in either run. *rows (when
    // given) gets that count, with those rows left in m_frame.
    FrameOutcome brokenFrame(VP8StatusCode code, const std::uint8_t *bytes, std::size_t size, const Rect &rect,
                             int *rows)
    {
        if (code == VP8_STATUS_OUT_OF_MEMORY || !reserveFrame(rect))
            return FrameOutcome::NoMemory;
        std::vector<bool> cameOut(std::size_t(rect.h), false);
        const std::size_t rowBytes = std::size_t(rect.w) * 4;
        for (const std::uint8_t fill : {std::uint8_t(0x00), std::uint8_t(0xFF)}) {
            auto *image = reinterpret_cast<std::uint8_t *>(m_frame.data());
            std::memset(image, fill, rowBytes * std::size_t(rect.h));
            decodeInto(bytes, size, image, int(rowBytes), rect);
            for (int y = 0; y < rect.h; ++y) {
                const std::uint8_t *row = image + std::size_t(y) * rowBytes;
                cameOut[std::size_t(y)] = cameOut[std::size_t(y)]
                    || std::any_of(row, row + rowBytes, [fill](std::uint8_t b) { return b != fill; });
            }
        }
        const int whole = int(std::find(cameOut.begin(), cameOut.end(), false) - cameOut.begin());
        if (rows)
            *rows = whole;
        return whole > 0 ? FrameOutcome::Damaged : FrameOutcome::Corrupt;
    }

    // Blends the first `rows` rows of m_frame over the canvas at `origin`.
    // Inside `cleared` (the rectangle the previous frame's disposal made
    // transparent) the frame is taken as it is, as libwebp does.
    void blendFrame(uchar *origin, qsizetype stride, const Rect &rect, const Rect &cleared, int rows)
    {
        for (int row = 0; row < rows; ++row) {
            auto *dst = reinterpret_cast<std::uint32_t *>(origin + row * stride);
            const std::uint32_t *src = m_frame.data() + std::size_t(row) * std::size_t(rect.w);
            const int y = rect.y + row;
            int rawFrom = 0, rawTo = 0; // columns of this row copied unblended
            if (!cleared.empty() && y >= cleared.y && y < cleared.y + cleared.h) {
                rawFrom = std::clamp(cleared.x - rect.x, 0, rect.w);
                rawTo = std::clamp(cleared.x + cleared.w - rect.x, 0, rect.w);
            }
            for (int x = 0; x < rect.w; ++x)
                dst[x] = x >= rawFrom && x < rawTo ? src[x] : blendPixel(src[x], dst[x]);
        }
    }

    std::vector<std::uint8_t> m_data; // the demuxer reads it for as long as it lives
    int m_width;
    int m_height;
    int m_loopCount = -1;
    std::vector<std::uint32_t> m_delaysMs;
    std::vector<std::uint32_t> m_hundredths;
    std::vector<FrameRecord> m_records;
    std::unique_ptr<WebPDemuxer, DemuxDeleter> m_demux;
    std::vector<std::uint32_t> m_frame; // a frame to blend, before it is blended
};

// A file cut short: keeps the frames that are whole, dropping the rest and
// making the RIFF size say so, as the demuxer accepts only complete files.
// False when no frame is whole (or the header is not).
bool keepCompleteFrames(std::vector<std::uint8_t> &data)
{
    const WebPData partial{data.data(), data.size()};
    WebPDemuxState state = WEBP_DEMUX_PARSING_HEADER;
    const std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemuxPartial(&partial, &state));
    if (!demux || state < WEBP_DEMUX_PARSED_HEADER
        || !(WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ANIMATION_FLAG))
        return false;
    std::size_t end = 0;
    WebPIterator it;
    if (WebPDemuxGetFrame(demux.get(), 1, &it)) {
        do {
            if (!it.complete)
                break;
            end = std::size_t(it.fragment.bytes - data.data()) + it.fragment.size;
        } while (WebPDemuxNextFrame(&it));
        WebPDemuxReleaseIterator(&it);
    }
    end += end & 1; // chunks are padded to an even size
    if (end <= 12 || end > data.size())
        return false;
    data.resize(end);
    const std::uint32_t riff = std::uint32_t(end - 8);
    for (int i = 0; i < 4; ++i)
        data[std::size_t(4 + i)] = std::uint8_t(riff >> (8 * i));
    return true;
}

} // namespace

bool hasWebPSignature(const std::uint8_t *head, std::int64_t n)
{
    return n >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0;
}

namespace {

std::unique_ptr<Image> loadWebPImpl(int fd, const struct stat &st, Status *status);

} // namespace

std::unique_ptr<Image> loadWebP(int fd, const struct stat &st, Status *status)
{
    try {
        return loadWebPImpl(fd, st, status);
    } catch (const std::bad_alloc &) {
        *status = OutOfMemory;
        return nullptr;
    }
}

namespace {

std::unique_ptr<Image> loadWebPImpl(int fd, const struct stat &st, Status *status)
{
    const std::int64_t size = std::int64_t(st.st_size);
    if (size > MaxWebPFileBytes) {
        ::close(fd);
        *status = OutOfMemory;
        return nullptr;
    }
    std::vector<std::uint8_t> data;
    try {
        data.resize(std::size_t(size));
    } catch (const std::bad_alloc &) {
        ::close(fd);
        *status = OutOfMemory;
        return nullptr;
    }
    std::int64_t got = 0;
    while (got < size) {
        const ssize_t r = ::pread(fd, data.data() + got, std::size_t(size - got), off_t(got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        got += r;
    }
    ::close(fd);
    if (got != size) {
        *status = GenericError; // shorter than when it was opened: it changed
        return nullptr;
    }
    int width = 0, height = 0;
    {
        const WebPData whole{data.data(), data.size()};
        std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemux(&whole));
        if (!demux && keepCompleteFrames(data)) {
            const WebPData kept{data.data(), data.size()};
            demux.reset(WebPDemux(&kept));
        }
        if (!demux) {
            *status = UnknownImageFormat;
            return nullptr;
        }
        width = int(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH));
        height = int(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT));
    }
    if (width <= 0 || height <= 0) {
        *status = InvalidParameter;
        return nullptr;
    }
    if (std::int64_t(width) * height > MaxCanvasPixels) {
        *status = OutOfMemory;
        return nullptr;
    }
    auto source = std::make_unique<WebPSource>(std::move(data), width, height);
    *status = source->init();
    if (*status != Ok)
        return nullptr;
    // Read whole: nothing to watch; the identity tells whose saved states it takes.
    return makeAnimation(std::move(source), WatchedFile{-1, {}, FileIdentity::of(st)}, status);
}

} // namespace

} // namespace engine
