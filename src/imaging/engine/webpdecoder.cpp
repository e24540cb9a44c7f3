#include "imaging/engine/webpdecoder.h"

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
struct AnimDecoderDeleter {
    void operator()(WebPAnimDecoder *d) const { WebPAnimDecoderDelete(d); }
};

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr WEBP_CSP_MODE ArgbMode = MODE_BGRA; // B, G, R, A in memory: ARGB32 here
#else
constexpr WEBP_CSP_MODE ArgbMode = MODE_ARGB;
#endif

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
    int loopCount() const override { return m_loopCount; }

    // Reads the frame list and makes frame 0.
    Status init()
    {
        const WebPData data{m_data.data(), m_data.size()};
        const std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemux(&data));
        if (!demux)
            return UnknownImageFormat;
        const std::uint32_t frames = WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT);
        if (frames == 0)
            return GenericError;
        const bool animated = WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ANIMATION_FLAG;
        m_loopCount = animated ? int(std::min<std::uint32_t>(WebPDemuxGetI(demux.get(), WEBP_FF_LOOP_COUNT),
                                                             0x7FFFFFFF))
                               : -1;
        m_delaysMs.reserve(frames);
        m_hundredths.reserve(frames);
        WebPIterator it;
        if (WebPDemuxGetFrame(demux.get(), 1, &it)) {
            do {
                const std::uint32_t ms = animated ? std::uint32_t(std::max(it.duration, 0)) : 0;
                m_delaysMs.push_back(ms);
                m_hundredths.push_back((ms + 5) / 10);
            } while (WebPDemuxNextFrame(&it));
            WebPDemuxReleaseIterator(&it);
        }
        if (m_delaysMs.empty())
            return GenericError;

        WebPAnimDecoderOptions options;
        if (!WebPAnimDecoderOptionsInit(&options))
            return GenericError;
        options.color_mode = ArgbMode;
        options.use_threads = 0;
        m_decoder.reset(WebPAnimDecoderNew(&data, &options));
        if (!m_decoder)
            return OutOfMemory;
        m_canvas = QImage(m_width, m_height, QImage::Format_ARGB32);
        if (m_canvas.isNull())
            return OutOfMemory;
        return composeTo(0);
    }

private:
    Status composeTo(std::uint32_t index)
    {
        if (m_current < 0 || std::int64_t(index) < m_current) {
            WebPAnimDecoderReset(m_decoder.get());
            m_current = -1;
        }
        std::uint8_t *buf = nullptr;
        while (m_current < std::int64_t(index)) {
            int timestamp = 0;
            if (!WebPAnimDecoderGetNext(m_decoder.get(), &buf, &timestamp)) {
                m_current = -1;
                return GenericError;
            }
            ++m_current;
        }
        if (buf) {
            uchar *bits = m_canvas.bits(); // detaches from copies handed out earlier
            if (!bits) {
                m_current = -1;
                return OutOfMemory;
            }
            const std::size_t row = std::size_t(m_width) * 4;
            for (int y = 0; y < m_height; ++y)
                std::memcpy(bits + y * m_canvas.bytesPerLine(), buf + std::size_t(y) * row, row);
        }
        return Ok;
    }

    std::vector<std::uint8_t> m_data; // the demuxer reads it for as long as it lives
    int m_width;
    int m_height;
    int m_loopCount = -1;
    std::vector<std::uint32_t> m_delaysMs;
    std::vector<std::uint32_t> m_hundredths;
    std::unique_ptr<WebPAnimDecoder, AnimDecoderDeleter> m_decoder;
    QImage m_canvas;
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
