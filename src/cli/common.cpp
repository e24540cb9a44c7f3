#include "cli.h"
#include "common/filepath.h"

#include <sys/stat.h>

#include <cerrno>

#include <cstdio>
#include <unistd.h>

namespace cli {

namespace {

const char Usage[] =
    "Usage: falorengif-cli COMMAND ...\n"
    "\n"
    "Takes animated GIFs, WebPs and APNGs apart.\n"
    "\n"
    "Commands:\n"
    "  info FILE... [--json | --table]\n"
    "      Picture size, file size, frame count, each frame's delay in milliseconds,\n"
    "      total running time and loop count of each file. --json prints them as\n"
    "      JSON with each frame's record (\"frames\": index, delayMs, playedMs, x, y,\n"
    "      width, height, disposal, blend, colors, localColors, transparentIndex,\n"
    "      interlaced); --table adds those records as a table.\n"
    "  export INPUT... --to DIR [--format gif|bmp|jpg|tif|png] [--frames LIST]\n"
    "         [--recursive] [--jobs N] [--memory MB] [--skip-existing]\n"
    "         [--report FILE] [--timing] [--pad] [--unique] [--fps R] [--quiet]\n"
    "      Writes frames as DIR/BASE_N.EXT (BASE = file name without its last\n"
    "      extension, N = frame number from 1; extensions .GIF .BMP .JPG .TIF .png).\n"
    "      The default format is gif. LIST selects frames, for example 2,5-7.\n"
    "      An INPUT folder exports the pictures the catalogue lists in it; the\n"
    "      frames of INPUT/sub/x.gif go to DIR/sub/. Of two inputs that would\n"
    "      write the same names, the later one fails and writes nothing.\n"
    "      A frame whose data is corrupt is not written; one that decodes only in\n"
    "      part is written as far as it goes and named as damaged (exit status 1).\n"
    "      --recursive      Descend into subfolders (never into DIR itself).\n"
    "      --jobs N         Decompose N files at once (default: one per core).\n"
    "      --memory MB      Canvases of the files at once stay within MB megabytes\n"
    "                       (default 1024); a larger file runs alone.\n"
    "      --skip-existing  Skip an input whose frame files all exist and are\n"
    "                       newer than it: reruns an interrupted export.\n"
    "      --report FILE    Appends one JSON object per input and line, as each\n"
    "                       finishes: file, frames, written, failed, damaged,\n"
    "                       skipped, ms, error. FILE - is standard output.\n"
    "      --timing         Also write DIR/.../BASE_timing.json: canvas size, loop\n"
    "                       count, and each frame's file, content hash and\n"
    "                       record as info --json gives it.\n"
    "      --pad            Zero-pad frame numbers to the frame count's width\n"
    "                       (x_001.png ... x_380.png), so names sort.\n"
    "      --unique         Do not write a frame equal to an earlier one; its\n"
    "                       timing record names the earlier file (duplicateOf).\n"
    "      --fps R          One file per sample at R per second of played time\n"
    "                       (not with --frames); names count samples from 1.\n"
    "      Ctrl+C or SIGTERM stops after the files being written (exit status 130).\n"
    "  thumbs DIR --to OUTDIR [--quiet]\n"
    "      Writes the 120 x 120 catalogue thumbnail of every GIF, WebP and\n"
    "      animated PNG in DIR as OUTDIR/NAME.png (NAME = the file's name).\n"
    "      Ctrl+C or SIGTERM stops after the thumbnails being written (130).\n"
    "  sample OUT.gif\n"
    "      Writes a small animated sample GIF.\n"
    "  animate INPUT --to OUT [--frames LIST] [--reverse | --pingpong] [--speed F]\n"
    "          [--loop N] [--quality Q]\n"
    "      Saves the chosen frames (all by default) as a new animation; OUT's\n"
    "      extension picks the format: .gif, .webp, .png or .apng (both APNG).\n"
    "      Each frame keeps its played delay divided by F (0.1 to 10).\n"
    "      --reverse        Frames backwards.\n"
    "      --pingpong       Forwards, then backwards without repeating the ends.\n"
    "      --loop N         Total number of plays, 0 for ever (default: the\n"
    "                       source's).\n"
    "      --quality Q      WebP only: lossy at quality 0-100 (default lossless).\n"
    "      GIF delays are whole hundredths, never under 20 ms (such frames are\n"
    "      counted on stderr); colours are exact where 256 suffice.\n"
    "  sheet INPUT --to OUT.png [--frames LIST] [--columns N | --strip]\n"
    "        [--padding P] [--trim] [--unique] [--max-size S] [--json hash|array]\n"
    "      Lays the chosen frames out on a sprite sheet OUT.png with a texture\n"
    "      atlas OUT.json (frame rectangles, sizes, durations).\n"
    "      --columns N      Cells per row (default: the square root of the count).\n"
    "      --strip          All cells in one row.\n"
    "      --padding P      Transparent pixels between cells and around the sheet.\n"
    "      --trim           Crop each frame to its non-transparent pixels.\n"
    "      --unique         Equal frames share one cell.\n"
    "      --max-size S     No sheet larger than S x S (default 8192); more cells\n"
    "                       go to OUT-1.png, OUT-2.png ... with OUT-1.json ...\n"
    "      --json FORM      hash (default: frames keyed by name) or array.\n"
    "\n"
    "Options:\n"
    "  -h, --help   Show this text.\n"
    "  --quiet      No progress line (it is only ever drawn on a terminal).\n"
    "\n"
    "Exit status: 0 when everything was written, 1 when some file failed or a\n"
    "frame was damaged (each is named on stderr), 2 for a usage error, 130 when\n"
    "an export or thumbs was interrupted.\n";

} // namespace

void printUsage(bool toStderr)
{
    std::fputs(Usage, toStderr ? stderr : stdout);
}

int usageError(const QString &message)
{
    std::fprintf(stderr, "falorengif-cli: %s\n\n",
                 filepath::displayPath(message).toLocal8Bit().constData());
    printUsage(true);
    return ExitUsage;
}

void printError(const QString &message)
{
    // Start on a clean line when a progress line is showing.
    static const bool terminal = isatty(STDERR_FILENO) == 1;
    std::fprintf(stderr, "%s%s\n", terminal ? "\r\033[K" : "",
                 filepath::displayPath(message).toLocal8Bit().constData());
}

QString statusText(engine::Status status)
{
    switch (status) {
    case engine::Ok: return QStringLiteral("ok");
    case engine::GenericError: return QStringLiteral("the encoder failed");
    case engine::InvalidParameter: return QStringLiteral("invalid parameter");
    case engine::OutOfMemory: return QStringLiteral("out of memory or picture too large");
    case engine::FileNotFound: return QStringLiteral("file or folder not found");
    case engine::AccessDenied: return QStringLiteral("permission denied");
    case engine::Win32Error: return QStringLiteral("could not write the file");
    case engine::UnknownImageFormat: return QStringLiteral("not a picture");
    case engine::ValueOverflow: return QStringLiteral("value too large");
    case engine::WrongState: return QStringLiteral("wrong state");
    case engine::SourceChanged: return QStringLiteral("the file changed while it was being read");
    case engine::FrameCorrupt: return QStringLiteral("corrupt frame data");
    default: return QStringLiteral("error %1").arg(int(status));
    }
}

QString causeText(engine::Cause cause)
{
    using engine::Cause;
    switch (cause) {
    case Cause::None: return QStringLiteral("ok");
    case Cause::NotFound: return QStringLiteral("file or folder not found");
    case Cause::NotAPicture: return QStringLiteral("not a picture");
    case Cause::NoFrames: return QStringLiteral("no frame in the file");
    case Cause::PictureTooLarge: return QStringLiteral("picture too large");
    case Cause::FrameUnreadable: return QStringLiteral("the frame cannot be decoded");
    case Cause::SourceChanged: return QStringLiteral("the file changed while it was being read");
    case Cause::NoEncoder: return QStringLiteral("no encoder for this format");
    case Cause::EncodeFailed: return QStringLiteral("the encoder failed");
    case Cause::PermissionDenied: return QStringLiteral("permission denied");
    case Cause::ReadOnlyFileSystem: return QStringLiteral("read-only file system");
    case Cause::DiskFull: return QStringLiteral("no space left on the device");
    case Cause::NameTooLong: return QStringLiteral("name too long");
    case Cause::FolderMissing: return QStringLiteral("folder missing");
    case Cause::NotAFolder: return QStringLiteral("not a folder");
    case Cause::FolderInTheWay: return QStringLiteral("a folder of that name is in the way");
    case Cause::SymlinkInTheWay: return QStringLiteral("a symbolic link is in the way");
    case Cause::OutOfMemory: return QStringLiteral("out of memory");
    case Cause::IoError: return QStringLiteral("could not write the file");
    }
    return QStringLiteral("error");
}

engine::Cause makeOutputFolder(const QString &folder)
{
    if (filepath::isFolder(folder))
        return engine::Cause::None;
    const QByteArray bytes = filepath::pathToBytes(folder);
    struct stat st {};
    if (::stat(bytes.constData(), &st) == 0) {
        printError(QStringLiteral("%1: not a folder").arg(folder));
        return engine::Cause::NotAFolder;
    }
    // Each missing folder on the way, like mkdir -p.
    for (qsizetype i = 1; i <= bytes.size(); ++i) {
        if (i < bytes.size() && bytes.at(i) != '/')
            continue;
        const QByteArray part = bytes.left(i);
        if (::mkdir(part.constData(), 0777) != 0 && errno != EEXIST) {
            const engine::Cause cause = engine::causeFromErrno(errno);
            printError(QStringLiteral("%1: cannot create the folder: %2").arg(folder, causeText(cause)));
            return cause;
        }
    }
    if (!filepath::isFolder(folder)) {
        printError(QStringLiteral("%1: cannot create the folder").arg(folder));
        return engine::Cause::NotAFolder;
    }
    return engine::Cause::None;
}

namespace {

// The flag of the StopSignals alive. A plain lock-free atomic is all a signal
// handler may touch.
std::atomic_bool *g_stop = nullptr;

extern "C" void onStopSignal(int)
{
    if (g_stop)
        g_stop->store(true);
}

} // namespace

StopSignals::StopSignals(std::atomic_bool *flag)
{
    g_stop = flag;
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &m_oldInt);
    sigaction(SIGTERM, &sa, &m_oldTerm);
}

StopSignals::~StopSignals()
{
    sigaction(SIGINT, &m_oldInt, nullptr);
    sigaction(SIGTERM, &m_oldTerm, nullptr);
    g_stop = nullptr;
}

Progress::Progress(const char *what, std::uint64_t total, bool quiet)
    : m_what(what), m_total(total), m_enabled(!quiet && isatty(STDERR_FILENO) == 1)
{
}

Progress::~Progress()
{
    if (m_drawn)
        std::fputs("\r\033[K", stderr);
}

void Progress::update(std::uint64_t done)
{
    if (!m_enabled)
        return;
    std::fprintf(stderr, "\r%s %llu/%llu", m_what, static_cast<unsigned long long>(done),
                 static_cast<unsigned long long>(m_total));
    std::fflush(stderr);
    m_drawn = true;
}

} // namespace cli
