// Fuzz target: the thumbnail and the encoders. Draws the input's catalogue
// thumbnail, then writes its first frames with every encoder (and as one
// animated GIF) into a temporary folder in memory (/dev/shm where there is one),
// and checks that each save either succeeds with a file in place or fails
// leaving none.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "fuzzinput.h"
#include "imaging/engine/encoders.h"
#include "imaging/engine/image.h"
#include "imaging/gdiplus.h"
#include "imaging/thumbnail.h"

namespace {

// Encoding is far slower than decoding (libimagequant above all): only frames up
// to this many pixels are encoded, so one input stays well under a second.
constexpr std::int64_t MaxEncodedPixels = 256 * 256;
// Frames of the animated GIF written from the input.
constexpr std::uint32_t AnimatedFrames = 3;

const engine::Guid *const Encoders[] = {&engine::ClsidBmpEncoder, &engine::ClsidJpegEncoder,
                                        &engine::ClsidGifEncoder, &engine::ClsidTiffEncoder,
                                        &engine::ClsidPngEncoder};
const char *const Names[] = {"f.bmp", "f.jpg", "f.gif", "f.tif", "f.png"};

std::unique_ptr<QTemporaryDir> outputs;

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "export_fuzz: broken promise: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    const QString shm = QStringLiteral("/dev/shm");
    outputs = std::make_unique<QTemporaryDir>(
        (QDir(shm).exists() ? shm : QDir::tempPath()) + QStringLiteral("/fg-fuzz-XXXXXX"));
    check(outputs->isValid(), "temporary folder");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzzing::MemoryFile file(data, size);
    if (!file.ok())
        return 0;
    // As renderThumbnail draws it, but keeping the picture for the encoders.
    TGPImage picture(file.path());
    picture.SelectActiveFrame(FrameDimensionTime, 0);
    QImage thumb = NewThumbnailCanvas();
    const bool drawn = DrawThumbnail(picture, thumb);
    check(drawn == (picture.Native() != nullptr), "a thumbnail exactly for a loaded picture");
    check(thumb.size() == QSize(ThumbnailSize, ThumbnailSize), "thumbnail size");

    engine::Image *image = picture.Native();
    if (!image || std::int64_t(image->width()) * image->height() > MaxEncodedPixels)
        return 0;
    // The thumbnail drew frame 0, which a GIF keeps active.
    const QImage frame = image->activeFrame();
    for (std::size_t e = 0; e < std::size(Encoders); ++e) {
        const QString path = outputs->filePath(QString::fromLatin1(Names[e]));
        const engine::Status s = engine::saveFrame(frame, *Encoders[e], nullptr, path);
        check((s == engine::Ok) == QFile::exists(path), "a file exactly when the save succeeds");
        QFile::remove(path);
    }

    std::vector<QImage> frames{frame};
    for (std::uint32_t i = 1; i < std::min(image->frameCount(), AnimatedFrames); ++i)
        if (image->selectFrame(image->frameDimension(), i) == engine::Ok)
            frames.push_back(image->activeFrame());
    const QString path = outputs->filePath(QStringLiteral("anim.gif"));
    const engine::Status s = engine::saveAnimatedGif(frames, image->frameDelays(), 0, path);
    check((s == engine::Ok) == QFile::exists(path), "an animation exactly when the save succeeds");
    QFile::remove(path);
    return 0;
}
