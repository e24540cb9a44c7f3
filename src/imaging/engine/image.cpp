#include "imaging/engine/image.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "common/filepath.h"
#include "imaging/engine/apngdecoder.h"
#include "imaging/engine/gifdecoder.h"
#include "imaging/engine/webpdecoder.h"

namespace engine {

namespace testing {
// Runs right after a GIF frame is composed, before the file is checked again.
// Only tests set it (tests/imaging/engineseams.h), to change the file there.
std::atomic<void (*)()> afterCompose{nullptr};
} // namespace testing

namespace {

class GifFrameState final : public FrameState {
public:
    explicit GifFrameState(GifDecoder::State state) : m_state(std::move(state)) {}
    std::uint32_t frame() const override { return std::uint32_t(m_state.current); }
    std::size_t bytes() const override { return m_state.bytes(); }
    const GifDecoder::State &state() const { return m_state; }

private:
    GifDecoder::State m_state;
};

// What identifies a file's contents cheaply: where it lives, how long it is
// and when it was last written.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified {};

    static FileIdentity of(const struct stat &st)
    {
        return FileIdentity{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    }
    friend bool operator==(const FileIdentity &a, const FileIdentity &b)
    {
        return a.device == b.device && a.inode == b.inode && a.size == b.size
               && a.modified.tv_sec == b.modified.tv_sec
               && a.modified.tv_nsec == b.modified.tv_nsec;
    }
};

// An animated (or still) GIF, frames composited on demand.
class GifImage final : public Image {
public:
    // `fd` is the decoder's descriptor (it stays open as long as the decoder);
    // `name` and `identity` are the file as it was opened.
    GifImage(std::unique_ptr<GifDecoder> decoder, int fd, QByteArray name, FileIdentity identity)
        : m_decoder(std::move(decoder)), m_fd(fd), m_name(std::move(name)), m_identity(identity)
    {
    }

    int width() const override { return m_decoder->width(); }
    int height() const override { return m_decoder->height(); }
    Guid frameDimension() const override { return FrameDimensionTime; }
    std::uint32_t frameCount() const override { return m_decoder->frameCount(); }

    Status selectFrame(const Guid &dimension, std::uint32_t index) override
    {
        if (!(dimension == FrameDimensionTime) || index >= frameCount())
            return InvalidParameter;
        if (!unchanged())
            return SourceChanged;
        const bool compose = std::int64_t(index) != m_decoder->current();
        const Status s = compose ? composeTo(index) : Ok;
        if (s == SourceChanged)
            return spoiled();
        if (s == Ok) {
            m_active = index;
            return Ok;
        }
        // Keep showing the frame that was active.
        return composeTo(m_active) == SourceChanged ? spoiled() : s;
    }

    std::uint32_t activeFrameIndex() const override { return m_active; }
    const QImage &activeFrame() const override
    {
        return m_changed && !m_blank.isNull() ? m_blank : m_decoder->canvas();
    }
    bool hasFrameDelays() const override { return true; }
    const std::vector<std::uint32_t> &frameDelays() const override { return m_decoder->delays(); }
    std::vector<FrameRecord> frameRecords() const override { return m_decoder->records(); }
    int loopCount() const override { return m_decoder->loopCount(); }

    std::shared_ptr<const FrameState> saveState() const override
    {
        if (m_decoder->current() != std::int64_t(m_active))
            return nullptr;
        return std::make_shared<GifFrameState>(m_decoder->saveState());
    }

    Status restoreState(const FrameState &state) override
    {
        const auto *gif = dynamic_cast<const GifFrameState *>(&state);
        if (!gif || !m_decoder->restoreState(gif->state()))
            return InvalidParameter;
        m_active = gif->frame();
        return Ok;
    }

    Status init() { return composeTo(0); }

private:
    // Composes frame `index`; SourceChanged when the file changed meanwhile.
    Status composeTo(std::uint32_t index)
    {
        const Status s = m_decoder->composeTo(index);
        if (void (*hook)() = testing::afterCompose.load(std::memory_order_relaxed))
            hook();
        return unchanged() ? s : SourceChanged;
    }

    // The canvas may hold bytes of the file's new contents: show nothing.
    Status spoiled()
    {
        m_blank = QImage(width(), height(), QImage::Format_ARGB32);
        m_blank.fill(Qt::transparent);
        return SourceChanged;
    }

    // False from the first time the file (through the descriptor) or the name
    // (replaced by another file) no longer matches what was opened.
    bool unchanged()
    {
        if (m_changed)
            return false;
        struct stat st {};
        m_changed = ::fstat(m_fd, &st) != 0 || !(FileIdentity::of(st) == m_identity)
                    || ::stat(m_name.constData(), &st) != 0
                    || !(FileIdentity::of(st) == m_identity);
        return !m_changed;
    }

    std::unique_ptr<GifDecoder> m_decoder;
    int m_fd;
    QByteArray m_name;
    FileIdentity m_identity;
    bool m_changed = false;
    QImage m_blank; // the active frame once a change spoiled the canvas
    std::uint32_t m_active = 0;
};

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
        auto image = std::make_unique<GifImage>(std::move(decoder), fd,
                                                filepath::pathToBytes(filepath::absolutePath(path)),
                                                FileIdentity::of(st));
        *status = image->init();
        if (*status != Ok)
            return nullptr;
        return image;
    }
    std::uint8_t head[12] = {};
    const ssize_t headBytes = ::pread(fd, head, sizeof head, 0);
    if (hasWebPSignature(head, headBytes))
        return loadWebP(fd, st, status);
    bool animated = false;
    auto apng = loadApng(fd, st, status, &animated);
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
