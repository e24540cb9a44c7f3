#include "core/picturefacts.h"
#include "common/filepath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "imaging/filesize.h"

namespace {

// Whether the file starts like a GIF. Only the played delays depend on it,
// and the load has told the format by these same first bytes.
bool startsAsGif(const QString &path)
{
    const int fd = ::open(filepath::pathToBytes(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    char head[4] = {};
    const bool gif = ::read(fd, head, sizeof head) == sizeof head && std::memcmp(head, "GIF8", 4) == 0;
    ::close(fd);
    return gif;
}

} // namespace

engine::Cause loadFailureCause(engine::Status status)
{
    return status == engine::GenericError ? engine::Cause::NoFrames
                                          : engine::causeFromStatus(status);
}

PictureFacts pictureFacts(const engine::Image &image, const QString &path)
{
    PictureFacts f;
    f.width = image.width();
    f.height = image.height();
    struct stat st {};
    f.fileSize = ::stat(filepath::pathToBytes(path).constData(), &st) == 0 && S_ISREG(st.st_mode)
                     ? std::int64_t(st.st_size)
                     : 0;
    f.fileSizeText = FileSizeText(path);
    f.frameCount = image.frameCount();
    f.hasDelays = image.hasFrameDelays();
    // Milliseconds as the picture has them (a WebP's 33 ms stays 33 ms).
    const std::vector<std::uint32_t> delays = image.frameDelaysMs();
    if (f.hasDelays) {
        f.delaysMs.reserve(f.frameCount);
        for (std::uint32_t i = 0; i < f.frameCount; ++i) {
            f.delaysMs.push_back(i < delays.size() ? std::int64_t(delays[i]) : 0);
            f.totalMs += f.delaysMs.back();
        }
    }
    f.loopCount = image.loopCount();
    f.gif = startsAsGif(path);
    f.frames = image.frameRecords();
    f.frames.reserve(f.frameCount);
    for (std::uint32_t i = std::uint32_t(f.frames.size()); i < f.frameCount; ++i) {
        engine::FrameRecord r;
        r.rect = engine::Rect{0, 0, f.width, f.height};
        r.delayMs = i < delays.size() ? delays[i] : 0;
        f.frames.push_back(r);
    }
    f.frames.resize(f.frameCount);
    return f;
}

PictureFacts readPictureFacts(const QString &path, engine::Status *status)
{
    engine::Status s = engine::Ok;
    const std::unique_ptr<engine::Image> image = engine::Image::load(path, &s);
    if (status)
        *status = image ? engine::Ok : s;
    return image ? pictureFacts(*image, path) : PictureFacts{};
}
