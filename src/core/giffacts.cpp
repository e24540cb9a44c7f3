#include "core/giffacts.h"
#include "common/filepath.h"

#include <sys/stat.h>

#include "imaging/filesize.h"

engine::Cause loadFailureCause(engine::Status status)
{
    return status == engine::GenericError ? engine::Cause::NoFrames
                                          : engine::causeFromStatus(status);
}

GifFacts gifFacts(const engine::Image &image, const QString &path)
{
    GifFacts f;
    f.width = image.width();
    f.height = image.height();
    struct stat st {};
    f.fileSize = ::stat(filepath::pathToBytes(path).constData(), &st) == 0 && S_ISREG(st.st_mode)
                     ? std::int64_t(st.st_size)
                     : 0;
    f.fileSizeText = FileSizeText(path);
    f.frameCount = image.frameCount();
    f.hasDelays = image.hasFrameDelays();
    if (f.hasDelays) {
        // Milliseconds as the picture has them (a WebP's 33 ms stays 33 ms).
        const std::vector<std::uint32_t> delays = image.frameDelaysMs();
        f.delaysMs.reserve(f.frameCount);
        for (std::uint32_t i = 0; i < f.frameCount; ++i) {
            f.delaysMs.push_back(i < delays.size() ? std::int64_t(delays[i]) : 0);
            f.totalMs += f.delaysMs.back();
        }
    }
    f.loopCount = image.loopCount();
    return f;
}

GifFacts readGifFacts(const QString &path, engine::Status *status)
{
    engine::Status s = engine::Ok;
    const std::unique_ptr<engine::Image> image = engine::Image::load(path, &s);
    if (status)
        *status = image ? engine::Ok : s;
    return image ? gifFacts(*image, path) : GifFacts{};
}
