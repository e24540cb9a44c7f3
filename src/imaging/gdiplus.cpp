#include "imaging/gdiplus.h"
#include "imaging/engine/allocator.h"

#include <QRectF>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <set>

namespace {

// A source rectangle's unit: our surfaces have no resolution of their own, so
// world, display and pixel units all mean pixels.
bool knownUnit(TGPUnit unit)
{
    return unit == UnitPixel || unit == UnitWorld || unit == engine::UnitDisplay;
}

struct PropertyValue {
    std::uint16_t type = 0;
    std::uint32_t length = 0; // bytes
    const void *data = nullptr;
    std::uint16_t shortValue = 0;
};

// The value of item `propId`, or false when the picture has no such item.
bool propertyValue(const engine::Image *image, std::uint32_t propId, PropertyValue *value)
{
    if (!image)
        return false;
    if (propId == PropertyTagFrameDelay && image->hasFrameDelays()) {
        const std::vector<std::uint32_t> &delays = image->frameDelays();
        constexpr std::size_t limit = (std::numeric_limits<std::uint32_t>::max()
                                       - sizeof(PropertyItem)) / sizeof(std::uint32_t);
        if (delays.size() > limit)
            return false;
        value->type = PropertyTagTypeLong;
        value->length = std::uint32_t(delays.size() * sizeof(std::uint32_t));
        value->data = delays.data();
        return true;
    }
    if (propId == PropertyTagLoopCount && image->loopCount() >= 0) {
        value->type = PropertyTagTypeShort;
        value->length = sizeof(std::uint16_t);
        value->shortValue = std::uint16_t(std::min(image->loopCount(), 0xFFFF));
        value->data = nullptr; // the short value is copied from shortValue
        return true;
    }
    return false;
}

} // namespace

// --- TGPImage -----------------------------------------------------------------

TGPImage::TGPImage(const QString &path)
{
    engine::Status status = engine::GenericError;
    m_native = engine::Image::load(path, &status);
    m_loadStatus = m_native ? Ok : (status == Ok ? engine::GenericError : status);
}

TGPImage::~TGPImage() = default;

std::uint32_t TGPImage::GetWidth() const
{
    return m_native ? std::uint32_t(std::max(m_native->width(), 0)) : 0;
}

std::uint32_t TGPImage::GetHeight() const
{
    return m_native ? std::uint32_t(std::max(m_native->height(), 0)) : 0;
}

std::uint32_t TGPImage::GetFrameDimensionsCount() const
{
    return m_native ? 1 : 0;
}

TGPStatus TGPImage::GetFrameDimensionsList(Guid *dimensionIDs, std::uint32_t count) const
{
    if (!m_native || !dimensionIDs || count != GetFrameDimensionsCount())
        return engine::InvalidParameter;
    dimensionIDs[0] = m_native->frameDimension();
    return Ok;
}

std::uint32_t TGPImage::GetFrameCount(const Guid &dimension) const
{
    if (!m_native || !(dimension == m_native->frameDimension()))
        return 0;
    return m_native->frameCount();
}

TGPStatus TGPImage::SelectActiveFrame(const Guid &dimension, std::uint32_t index)
{
    if (!m_native)
        return engine::InvalidParameter;
    return m_native->selectFrame(dimension, index);
}

std::uint32_t TGPImage::GetPropertyItemSize(std::uint32_t propId) const
{
    PropertyValue value;
    if (!propertyValue(m_native.get(), propId, &value))
        return 0;
    return std::uint32_t(sizeof(PropertyItem)) + value.length;
}

TGPStatus TGPImage::GetPropertyItem(std::uint32_t propId, std::uint32_t propSize,
                                    PropertyItem *buffer) const
{
    if (!m_native || !buffer)
        return engine::InvalidParameter;
    PropertyValue value;
    if (!propertyValue(m_native.get(), propId, &value))
        return engine::PropertyNotFound;
    if (propSize < sizeof(PropertyItem) + value.length)
        return engine::InvalidParameter;
    // The value follows the header; callers read it through `value`.
    auto *bytes = reinterpret_cast<unsigned char *>(buffer) + sizeof(PropertyItem);
    const PropertyItem header{propId, value.length, value.type, bytes};
    std::memcpy(buffer, &header, sizeof header);
    if (value.length > 0)
        std::memcpy(bytes, value.data ? value.data : &value.shortValue, value.length);
    return Ok;
}

TGPStatus TGPImage::Save(const QString &filename, const Guid &clsidEncoder,
                         const EncoderParameters *params) const
{
    return Save(filename, clsidEncoder, params, engine::EncoderList::standard());
}

TGPStatus TGPImage::Save(const QString &filename, const Guid &clsidEncoder,
                         const EncoderParameters *params,
                         const engine::EncoderList &encoders) const
{
    if (!m_native || filename.isEmpty() || !encoders.find(clsidEncoder))
        return engine::InvalidParameter;
    return engine::saveFrame(m_native->activeFrame(), clsidEncoder, params, filename, encoders);
}

// --- TGPPen -------------------------------------------------------------------

TGPPen::TGPPen(ARGB color, float width)
{
    if (std::isfinite(width) && width >= 0)
        m_native = std::make_unique<engine::Pen>(engine::Pen{color, width});
}

TGPPen::~TGPPen() = default;

TGPStatus TGPPen::SetColor(ARGB color)
{
    if (!m_native)
        return engine::InvalidParameter;
    m_native->argb = color;
    return Ok;
}

// --- TGPGraphics --------------------------------------------------------------

TGPGraphics::TGPGraphics(QImage *image)
{
    auto surface = std::make_unique<engine::Surface>(image);
    if (surface->isValid())
        m_native = std::move(surface);
}

TGPGraphics::~TGPGraphics() = default;

TGPStatus TGPGraphics::Clear(ARGB color)
{
    if (!m_native)
        return engine::InvalidParameter;
    return m_native->clear(color);
}

TGPStatus TGPGraphics::DrawRectangle(const TGPPen &pen, const TGPIntRect &rect)
{
    if (!m_native || !pen.Native())
        return engine::InvalidParameter;
    return m_native->drawRectangle(*pen.Native(), float(rect.X), float(rect.Y), float(rect.Width),
                                   float(rect.Height));
}

TGPStatus TGPGraphics::DrawImage(const TGPImage &image, const TGPIntRect &dstRect,
                                 std::int32_t srcX, std::int32_t srcY, std::int32_t srcWidth,
                                 std::int32_t srcHeight, TGPUnit srcUnit)
{
    if (!m_native || !image.Native() || !knownUnit(srcUnit))
        return engine::InvalidParameter;
    return m_native->drawImage(image.Native()->activeFrame(),
                               QRectF(dstRect.X, dstRect.Y, dstRect.Width, dstRect.Height),
                               QRectF(srcX, srcY, srcWidth, srcHeight));
}

TGPStatus TGPGraphics::DrawImage(const TGPImage &image, const TGPRealRect &dstRect, float srcX,
                                 float srcY, float srcWidth, float srcHeight, TGPUnit srcUnit)
{
    if (!m_native || !image.Native() || !knownUnit(srcUnit))
        return engine::InvalidParameter;
    return m_native->drawImage(image.Native()->activeFrame(),
                               QRectF(dstRect.X, dstRect.Y, dstRect.Width, dstRect.Height),
                               QRectF(srcX, srcY, srcWidth, srcHeight));
}

// --- FindEncoder --------------------------------------------------------------

std::int32_t FindEncoder(const QByteArray &mimeType, Guid *clsid)
{
    return FindEncoder(mimeType, clsid, engine::EncoderList::standard());
}

std::int32_t FindEncoder(const QByteArray &mimeType, Guid *clsid,
                         const engine::EncoderList &encoders)
{
    std::int32_t result = -1;
    const auto count = std::uint32_t(encoders.entries().size());
    const std::uint32_t size = encoders.byteSize();
    if (size == 0)
        return -1;
    // The records hold pointers, so the block is allocated with their alignment.
    const std::size_t units = (size + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t);
    std::unique_ptr<std::max_align_t[]> buffer(new (std::nothrow) std::max_align_t[units]);
    if (!buffer)
        return -1;
    encoders.fillCodecInfo(buffer.get());
    const auto *codecs = reinterpret_cast<const ImageCodecInfo *>(buffer.get());
    // No early exit: when several encoders share a MIME type the last one wins.
    for (std::uint32_t i = 0; i < count; ++i) {
        const char16_t *mime = codecs[i].MimeType;
        const QByteArray name = mime ? QString::fromUtf16(mime).toLocal8Bit() : QByteArray();
        if (name == mimeType) {
            if (clsid)
                *clsid = codecs[i].Clsid;
            result = std::int32_t(i);
        }
    }
    return result;
}

// --- Start-up and shut-down ---------------------------------------------------

namespace {

struct EngineRuns {
    std::mutex mutex;
    std::uintptr_t nextToken = 1;
    std::set<std::uintptr_t> live;
    bool programStarted = false;
    bool programEnded = false;
    std::uintptr_t programToken = 0;
};

EngineRuns &engineRuns()
{
    static EngineRuns runs;
    return runs;
}

} // namespace

TGPStatus GdiplusStartup(std::uintptr_t *token, const GdiplusStartupInput *input, void *output)
{
    Q_UNUSED(output);
    if (!token || !input)
        return engine::InvalidParameter;
    if (input->GdiplusVersion != 1)
        return engine::UnsupportedGdiplusVersion;
    // The encoder table is built here, before any worker can ask for it, and
    // stays fixed for the rest of the process.
    (void)engine::EncoderList::standard();
    EngineRuns &runs = engineRuns();
    const std::lock_guard lock(runs.mutex);
    *token = runs.nextToken++;
    runs.live.insert(*token);
    return Ok;
}

void GdiplusShutdown(std::uintptr_t token)
{
    EngineRuns &runs = engineRuns();
    const std::lock_guard lock(runs.mutex);
    runs.live.erase(token);
}

void StartImaging()
{
    EngineRuns &runs = engineRuns();
    {
        const std::lock_guard lock(runs.mutex);
        if (runs.programStarted)
            return;
        runs.programStarted = true;
    }
    engine::returnLargeBlocksPromptly();
    GdiplusStartupInput input;
    input.GdiplusVersion = 1;
    input.DebugEventCallback = nullptr;
    input.SuppressBackgroundThread = false;
    input.SuppressExternalCodecs = false;
    std::uintptr_t token = 0;
    // A failed start-up is not reported: the operations report their own failures.
    (void)GdiplusStartup(&token, &input, nullptr);
    const std::lock_guard lock(runs.mutex);
    runs.programToken = token;
}

void ShutdownImaging()
{
    EngineRuns &runs = engineRuns();
    std::uintptr_t token = 0;
    {
        const std::lock_guard lock(runs.mutex);
        if (!runs.programStarted || runs.programEnded)
            return;
        runs.programEnded = true;
        token = runs.programToken;
    }
    GdiplusShutdown(token);
}

bool ImagingStarted()
{
    EngineRuns &runs = engineRuns();
    const std::lock_guard lock(runs.mutex);
    return runs.programStarted && !runs.programEnded && runs.live.count(runs.programToken) > 0;
}
