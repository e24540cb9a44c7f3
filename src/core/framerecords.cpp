#include "core/framerecords.h"
#include "common/filepath.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace {

// GIF block introducers and the graphic control label.
constexpr char ExtensionIntroducer = 0x21;
constexpr char ImageSeparator = 0x2C;
constexpr unsigned char GraphicControlLabel = 0xF9;
// Header (6) plus logical screen descriptor (7).
constexpr int ScreenHeaderBytes = 13;

// Reads exactly n bytes; false at the end of the file.
bool readExactly(QFile &file, char *dst, qint64 n)
{
    return file.read(dst, n) == n;
}

bool skip(QFile &file, qint64 n)
{
    const qint64 to = file.pos() + n;
    return to <= file.size() && file.seek(to);
}

// Skips a chain of data sub-blocks up to and including its terminator.
bool skipSubBlocks(QFile &file)
{
    for (;;) {
        char len = 0;
        if (!file.getChar(&len))
            return false;
        if (len == 0)
            return true;
        if (!skip(file, qint64(static_cast<unsigned char>(len))))
            return false;
    }
}

bool atSignature(QFile &file)
{
    char sig[4];
    if (file.peek(sig, 4) != 4)
        return false;
    return std::memcmp(sig, "GIF8", 4) == 0;
}

// Header, screen descriptor and global palette of a GIF starting here.
bool readScreen(QFile &file)
{
    char head[ScreenHeaderBytes];
    if (!readExactly(file, head, ScreenHeaderBytes))
        return false;
    const unsigned flags = static_cast<unsigned char>(head[10]);
    if (flags & 0x80)
        return skip(file, 3 * (qint64(2) << (flags & 7)));
    return true;
}

FrameRecord::Disposal disposalFromCode(unsigned code)
{
    switch (code) {
    case 2: return FrameRecord::DisposeBackground;
    case 3: return FrameRecord::DisposePrevious;
    default: return FrameRecord::DisposeNone; // unspecified, none and the reserved codes
    }
}

} // namespace

FrameRecords readFrameRecords(const QString &path)
{
    FrameRecords out;
    // Opened by its bytes (common/filepath.h); the QFile owns the descriptor.
    const int fd = ::open(filepath::pathToBytes(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    QFile file;
    if (fd < 0)
        return out;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return out;
    }
    if (!atSignature(file))
        return out;
    out.gif = true;
    if (!readScreen(file))
        return out;

    FrameRecord::Disposal disposal = FrameRecord::DisposeNone;
    for (;;) {
        if (atSignature(file)) {
            if (!readScreen(file))
                break;
            disposal = FrameRecord::DisposeNone;
            continue;
        }
        char type = 0;
        if (!file.getChar(&type))
            break;
        if (type == ExtensionIntroducer) {
            char label = 0;
            if (!file.getChar(&label))
                break;
            if (static_cast<unsigned char>(label) == GraphicControlLabel) {
                char block[5];
                if (file.peek(block, 5) == 5 && static_cast<unsigned char>(block[0]) >= 4)
                    disposal = disposalFromCode((static_cast<unsigned char>(block[1]) >> 2) & 7);
            }
            if (!skipSubBlocks(file))
                break;
        } else if (type == ImageSeparator) {
            unsigned char desc[9];
            if (!readExactly(file, reinterpret_cast<char *>(desc), 9))
                break;
            if ((desc[8] & 0x80) && !skip(file, 3 * (qint64(2) << (desc[8] & 7))))
                break;
            FrameRecord r;
            r.x = desc[0] | (desc[1] << 8);
            r.y = desc[2] | (desc[3] << 8);
            r.width = desc[4] | (desc[5] << 8);
            r.height = desc[6] | (desc[7] << 8);
            r.disposal = disposal;
            out.frames.push_back(r);
            disposal = FrameRecord::DisposeNone;
            char codeSize = 0;
            if (!file.getChar(&codeSize) || !skipSubBlocks(file))
                break;
        } else {
            break; // the trailer, or a block nothing can be read after
        }
    }
    return out;
}

const char *disposalName(FrameRecord::Disposal disposal)
{
    switch (disposal) {
    case FrameRecord::DisposeBackground: return "background";
    case FrameRecord::DisposePrevious: return "previous";
    case FrameRecord::DisposeNone: break;
    }
    return "none";
}

const char *blendName(FrameRecord::Blend blend)
{
    return blend == FrameRecord::BlendSource ? "source" : "over";
}

std::int64_t playedDelayMs(std::int64_t storedMs, bool gif)
{
    // Browsers raise the short GIF delays that old encoders wrote for "as fast
    // as possible" to a tenth of a second.
    constexpr std::int64_t GifFastestMs = 10;
    constexpr std::int64_t GifFastPlayedMs = 100;
    if (gif && storedMs <= GifFastestMs)
        return GifFastPlayedMs;
    return storedMs;
}
