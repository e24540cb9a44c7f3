#include "imaging/engine/webpdecoder.h"
#include "imaging/engine/canvaspool.h"

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

// Where a frame goes on the canvas and what happens around it.
struct FrameRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool disposeToBackground = false;
};

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

// The composited frames of a WebP: one canvas, drawn on frame by frame. WebP
// disposal is "none" or "to transparent" only, so nothing else need be kept:
// libwebp's animation decoder would hold two more canvases.
class WebPImage final : public Image {
public:
    WebPImage(std::vector<std::uint8_t> data, int width, int height)
        : m_data(std::move(data)), m_width(width), m_height(height)
    {
    }

    int width() const override { return m_width; }
    int height() const override { return m_height; }
    Guid frameDimension() const override { return FrameDimensionTime; }
    std::uint32_t frameCount() const override { return std::uint32_t(m_delaysMs.size()); }

    Status selectFrame(const Guid &dimension, std::uint32_t index) override
    {
        if (!(dimension == FrameDimensionTime) || index >= frameCount())
            return InvalidParameter;
        if (std::int64_t(index) == m_current) {
            m_active = index;
            return Ok;
        }
        const Status s = composeTo(index);
        if (s == Ok) {
            m_active = index;
            return Ok;
        }
        composeTo(m_active); // keep showing the frame that was active
        return s;
    }

    std::uint32_t activeFrameIndex() const override { return m_active; }
    const QImage &activeFrame() const override { return m_canvas; }
    bool hasFrameDelays() const override { return true; }
    const std::vector<std::uint32_t> &frameDelays() const override { return m_hundredths; }
    std::vector<std::uint32_t> frameDelaysMs() const override { return m_delaysMs; }
    std::vector<FrameRecord> frameRecords() const override { return m_records; }
    int loopCount() const override { return m_loopCount; }

    // Reads the frame list and makes frame 0.
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
        m_records.reserve(frames);
        m_hundredths.reserve(frames);
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
        if (m_delaysMs.empty())
            return GenericError;
        m_canvas = QImage(m_width, m_height, QImage::Format_ARGB32);
        if (m_canvas.isNull())
            return OutOfMemory;
        return composeTo(0);
    }

private:
    Status composeTo(std::uint32_t index)
    {
        if (m_current < 0 || std::int64_t(index) < m_current)
            m_current = -1;
        while (m_current < std::int64_t(index)) {
            const Status s = drawFrame(std::uint32_t(m_current + 1));
            if (s != Ok) {
                m_current = -1; // the canvas is half drawn: start again next time
                return s;
            }
            ++m_current;
        }
        return Ok;
    }

    bool isFull(const FrameRect &r) const { return r.width == m_width && r.height == m_height; }

    Status drawFrame(std::uint32_t index)
    {
        WebPIterator it;
        if (!WebPDemuxGetFrame(m_demux.get(), int(index) + 1, &it))
            return GenericError;
        const FrameRect rect{it.x_offset, it.y_offset, it.width, it.height,
                             it.dispose_method == WEBP_MUX_DISPOSE_BACKGROUND};
        const bool blend = it.blend_method == WEBP_MUX_BLEND;
        const bool hasAlpha = it.has_alpha;
        const std::uint8_t *bytes = it.fragment.bytes;
        const std::size_t size = it.fragment.size;
        WebPDemuxReleaseIterator(&it);

        WebPBitstreamFeatures features;
        if (rect.width <= 0 || rect.height <= 0 || rect.x < 0 || rect.y < 0
            || rect.x + rect.width > m_width || rect.y + rect.height > m_height
            || WebPGetFeatures(bytes, size, &features) != VP8_STATUS_OK
            || features.width != rect.width || features.height != rect.height)
            return GenericError;

        // A key frame does not depend on what was drawn before: the canvas is
        // cleared and the frame taken as it is, unblended.
        const bool key = index == 0 || ((!blend || !hasAlpha) && isFull(rect))
                         || (m_previous.disposeToBackground && (isFull(m_previous) || m_previousWasKey));
        if (!m_pool.detach(m_canvas, !key))
            return OutOfMemory;
        uchar *bits = m_canvas.bits();
        if (!bits)
            return OutOfMemory;
        const qsizetype stride = m_canvas.bytesPerLine();
        if (key) {
            std::memset(bits, 0, std::size_t(stride) * std::size_t(m_height));
        } else if (m_previous.disposeToBackground) {
            for (int y = m_previous.y; y < m_previous.y + m_previous.height; ++y)
                std::memset(bits + y * stride + m_previous.x * 4, 0, std::size_t(m_previous.width) * 4);
        }
        uchar *origin = bits + rect.y * stride + rect.x * 4;
        Status s = Ok;
        if (key || !blend) {
            s = decodeInto(bytes, size, origin, int(stride), rect);
        } else {
            const std::size_t need = std::size_t(rect.width) * std::size_t(rect.height);
            try {
                if (m_frame.capacity() < need)
                    m_frame = {}; // let the old buffer go first: its pixels are not needed
                m_frame.resize(need);
            } catch (const std::bad_alloc &) {
                return OutOfMemory;
            }
            s = decodeInto(bytes, size, reinterpret_cast<uchar *>(m_frame.data()), rect.width * 4, rect);
            if (s == Ok)
                blendFrame(origin, stride, rect);
        }
        m_previous = rect;
        m_previousWasKey = key;
        return s;
    }

    // Decodes a frame's bitstream into `dst` (rows `stride` bytes apart).
    Status decodeInto(const std::uint8_t *bytes, std::size_t size, uchar *dst, int stride,
                      const FrameRect &rect)
    {
        WebPDecoderConfig config;
        if (!WebPInitDecoderConfig(&config))
            return GenericError;
        config.output.colorspace = ArgbMode;
        config.output.is_external_memory = 1;
        config.output.u.RGBA.rgba = dst;
        config.output.u.RGBA.stride = stride;
        config.output.u.RGBA.size = std::size_t(stride) * std::size_t(rect.height - 1) + std::size_t(rect.width) * 4;
        const VP8StatusCode code = WebPDecode(bytes, size, &config);
        WebPFreeDecBuffer(&config.output);
        if (code == VP8_STATUS_OK)
            return Ok;
        return code == VP8_STATUS_OUT_OF_MEMORY ? OutOfMemory : GenericError;
    }

    // Blends m_frame over the canvas at `origin`. Inside the previous frame's
    // rectangle, when it was disposed, the canvas is transparent and the frame
    // is taken as it is, as libwebp does (blending over nothing would round).
    void blendFrame(uchar *origin, qsizetype stride, const FrameRect &rect)
    {
        const FrameRect &p = m_previous;
        for (int row = 0; row < rect.height; ++row) {
            auto *dst = reinterpret_cast<std::uint32_t *>(origin + row * stride);
            const std::uint32_t *src = m_frame.data() + std::size_t(row) * std::size_t(rect.width);
            const int y = rect.y + row;
            int rawFrom = 0, rawTo = 0; // columns of this row copied unblended
            if (p.disposeToBackground && y >= p.y && y < p.y + p.height) {
                rawFrom = std::clamp(p.x - rect.x, 0, rect.width);
                rawTo = std::clamp(p.x + p.width - rect.x, 0, rect.width);
            }
            for (int x = 0; x < rect.width; ++x)
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
    QImage m_canvas;
    CanvasPool m_pool; // buffers for the canvas while frames handed out hold it
    std::vector<std::uint32_t> m_frame; // a frame to blend, before it is blended
    FrameRect m_previous;
    bool m_previousWasKey = false;
    std::int64_t m_current = -1;
    std::uint32_t m_active = 0;
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
    auto image = std::make_unique<WebPImage>(std::move(data), width, height);
    *status = image->init();
    if (*status != Ok)
        return nullptr;
    return image;
}

} // namespace

} // namespace engine
