#include "imaging/engine/image.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/filepath.h"
#include "imaging/engine/apngdecoder.h"
#include "imaging/engine/compositor.h"
#include "imaging/engine/gifdecoder.h"
#include "imaging/engine/webpdecoder.h"

namespace engine {

namespace {

// Any other picture Qt can read: one frame along the page dimension.
class StillImage final : public Image {
public:
    explicit StillImage(QImage image)
        : m_image(std::move(image))
    {
    }

    int width() const override { return m_image.width(); }
    int height() const override { return m_image.height(); }
    Guid frameDimension() const override { return FrameDimensionPage; }
    std::uint32_t frameCount() const override { return 1; }
    Status selectFrame(const Guid &dimension, std::uint32_t index) override
    {
        return dimension == FrameDimensionPage && index == 0 ? Ok : InvalidParameter;
    }
    std::uint32_t activeFrameIndex() const override { return 0; }
    const QImage &activeFrame() const override { return m_image; }
    bool hasFrameDelays() const override { return false; }
    const std::vector<std::uint32_t> &frameDelays() const override { return m_noDelays; }
    int loopCount() const override { return -1; }

private:
    QImage m_image;
    std::vector<std::uint32_t> m_noDelays;
};

std::unique_ptr<Image> loadStill(int fd, Status *status)
{
    QFile file;
    if (::lseek(fd, 0, SEEK_SET) != 0
        || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *status = GenericError;
        return nullptr;
    }
    QImageReader reader(&file);
    if (!reader.canRead()) {
        *status = UnknownImageFormat;
        return nullptr;
    }
    const QSize size = reader.size();
    if (size.isValid()) {
        if (size.width() == 0 || size.height() == 0) {
            *status = InvalidParameter;
            return nullptr;
        }
        if (std::int64_t(size.width()) * size.height() > MaxCanvasPixels) {
            *status = OutOfMemory;
            return nullptr;
        }
    }
    QImage image = reader.read();
    if (image.isNull()) {
        *status = reader.error() == QImageReader::InvalidDataError
                || reader.error() == QImageReader::UnsupportedFormatError
            ? UnknownImageFormat
            : GenericError;
        return nullptr;
    }
    if (image.width() == 0 || image.height() == 0) {
        *status = InvalidParameter;
        return nullptr;
    }
    if (std::int64_t(image.width()) * image.height() > MaxCanvasPixels) {
        *status = OutOfMemory;
        return nullptr;
    }
    image = std::move(image).convertToFormat(QImage::Format_ARGB32);
    if (image.isNull()) {
        *status = OutOfMemory;
        return nullptr;
    }
    *status = Ok;
    return std::make_unique<StillImage>(std::move(image));
}

std::unique_ptr<Image> loadImpl(const QString &path, Status *status)
{
    if (path.isEmpty()) {
        *status = FileNotFound;
        return nullptr;
    }
    const QByteArray name = filepath::pathToBytes(path);
    // Non-blocking so that a pipe named *.gif cannot stall the caller; it is
    // refused below anyway.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        switch (errno) {
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            *status = FileNotFound;
            break;
        case EACCES:
        case EPERM:
            *status = AccessDenied;
            break;
        default:
            *status = GenericError;
        }
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *status = UnknownImageFormat;
        return nullptr;
    }
    char magic[3] = {};
    if (::pread(fd, magic, 3, 0) == 3 && magic[0] == 'G' && magic[1] == 'I' && magic[2] == 'F') {
        auto decoder = GifDecoder::open(fd, std::int64_t(st.st_size), status);
        if (!decoder)
            return nullptr;
        // Absolute, so that a later change of the working folder cannot make
        // the file look replaced.
        const WatchedFile file{decoder->fd(), filepath::pathToBytes(filepath::absolutePath(path)),
                               FileIdentity::of(st)};
        return makeAnimation(std::move(decoder), file, status);
    }
    std::uint8_t head[12] = {};
    const ssize_t headBytes = ::pread(fd, head, sizeof head, 0);
    if (hasWebPSignature(head, headBytes))
        return loadWebP(fd, st, status);
    bool animated = false;
    auto apng = loadApng(fd, st, filepath::pathToBytes(filepath::absolutePath(path)), status, &animated);
    if (animated)
        return apng;
    return loadStill(fd, status);
}

} // namespace

std::vector<std::uint32_t> Image::frameDelaysMs() const
{
    std::vector<std::uint32_t> ms(frameCount(), 0);
    if (hasFrameDelays()) {
        const std::vector<std::uint32_t> &hundredths = frameDelays();
        for (std::size_t i = 0; i < ms.size() && i < hundredths.size(); ++i)
            ms[i] = hundredths[i] * 10;
    }
    return ms;
}

std::vector<FrameRecord> Image::frameRecords() const
{
    // Until a format's scan says otherwise: every frame covers the whole canvas.
    const std::vector<std::uint32_t> ms = frameDelaysMs();
    std::vector<FrameRecord> records(frameCount());
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].rect = Rect{0, 0, width(), height()};
        records[i].delayMs = i < ms.size() ? ms[i] : 0;
    }
    return records;
}

Status Image::decodePatch(std::uint32_t frame, FramePatch &out)
{
    out = FramePatch{};
    if (frame >= frameCount())
        return InvalidParameter;
    // Animations decode their frames apart (compositor.h); a still picture,
    // one frame, is its own patch.
    out.frame = frame;
    out.rect = Rect{0, 0, width(), height()};
    out.pixels = activeFrame();
    return Ok;
}

const char *disposalName(Disposal disposal)
{
    switch (disposal) {
    case Disposal::Background:
        return "background";
    case Disposal::Previous:
        return "previous";
    case Disposal::None:
        break;
    }
    return "none";
}

const char *blendName(Blend blend)
{
    return blend == Blend::Source ? "source" : "over";
}

std::unique_ptr<Image> Image::load(const QString &path, Status *status)
{
    Status ignored = Ok;
    return loadImpl(path, status ? status : &ignored);
}

} // namespace engine
