// Peak memory of an export of big frames, per format: the pipeline of the
// command line and the export dialog (decode in order on this thread, encode and
// write on FrameSaver's workers) over a GIF of a few 8192 x 8192 frames.
//
//     ./build/release/bench/export_memory_bench [SIDE [FRAMES]] [bmp|jpg|gif|tif|png ...]
//
// Two inputs: "few", whose composited frames keep to one 256-colour palette
// (exact palettes for GIF and PNG), and "many", whose frames draw a second
// palette through a transparent lattice, so every frame has more than 256
// colours (libimagequant for GIF, true colour for PNG). Prints per format and
// input the peak resident set of the export alone (VmHWM, reset before each
// run through /proc/self/clear_refs), in megabytes and in canvases.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstring>
#include <memory>

#include "common/gifwriter.h"
#include "peakmemory.h"
#include "imaging/engine/encoders.h"
#include "imaging/engine/framesaver.h"
#include "imaging/engine/image.h"

namespace {

struct Format {
    const char *name;
    const engine::Guid *clsid;
};
const Format Formats[] = {{"bmp", &engine::ClsidBmpEncoder}, {"jpg", &engine::ClsidJpegEncoder},
                          {"gif", &engine::ClsidGifEncoder}, {"tif", &engine::ClsidTiffEncoder},
                          {"png", &engine::ClsidPngEncoder}};

std::vector<fgtest::GifRgb> ramp(int shift)
{
    std::vector<fgtest::GifRgb> p(256);
    for (int i = 0; i < 256; ++i)
        p[std::size_t(i)] = {std::uint8_t(i), std::uint8_t((i * 7 + shift) & 0xFF),
                             std::uint8_t(255 - i)};
    return p;
}

// `frames` full-screen frames of side x side; with `manyColours` every frame
// after the first lets half of the previous one show through.
bool makeInput(const QString &path, int side, int frames, bool manyColours)
{
    fgtest::GifSpec spec;
    spec.width = side;
    spec.height = side;
    spec.globalPalette = ramp(0);
    for (int f = 0; f < frames; ++f) {
        fgtest::GifFrame frame;
        frame.indexes.resize(std::size_t(side) * std::size_t(side));
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                frame.indexes[std::size_t(y) * std::size_t(side) + std::size_t(x)] =
                    std::uint8_t((x / 8 + y / 8 * 3 + f * 17) & 0xFF);
        frame.delay = 10;
        if (manyColours && f > 0) {
            frame.localPalette = ramp(f * 40);
            frame.transparent = 255;
            for (int y = 0; y < side; ++y)
                for (int x = (y & 1); x < side; x += 2)
                    frame.indexes[std::size_t(y) * std::size_t(side) + std::size_t(x)] = 255;
        }
        spec.frames.push_back(std::move(frame));
    }
    return fgtest::writeGif(path, spec);
}



// Exports every frame of `input` into `folder`; false when any frame failed.
bool exportAll(const QString &input, const QString &folder, const engine::Guid &clsid,
               const char *ext)
{
    std::unique_ptr<engine::Image> image = engine::Image::load(input);
    if (!image)
        return false;
    bool ok = true;
    {
        engine::FrameSaver saver;
        for (std::uint32_t i = 0; i < image->frameCount(); ++i) {
            if (image->selectFrame(image->frameDimension(), i) != engine::Ok) {
                ok = false;
                continue;
            }
            saver.submit(image->activeFrame(), clsid, nullptr,
                         QDir(folder).filePath(QStringLiteral("f_%1.%2").arg(i + 1).arg(QLatin1String(ext))),
                         i);
        }
        saver.wait();
        ok = ok && saver.failures().empty();
    }
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int side = 8192;
    int frames = 5;
    std::vector<const Format *> chosen;
    int numbers = 0;
    for (int i = 1; i < argc; ++i) {
        bool isNumber = false;
        const int n = QByteArray(argv[i]).toInt(&isNumber);
        if (isNumber) {
            (numbers++ == 0 ? side : frames) = n;
            continue;
        }
        for (const Format &f : Formats)
            if (std::strcmp(argv[i], f.name) == 0)
                chosen.push_back(&f);
    }
    if (chosen.empty())
        for (const Format &f : Formats)
            chosen.push_back(&f);

    QTemporaryDir dir;
    const QString few = dir.filePath(QStringLiteral("few.gif"));
    const QString many = dir.filePath(QStringLiteral("many.gif"));
    if (!makeInput(few, side, frames, false) || !makeInput(many, side, frames, true)) {
        std::fprintf(stderr, "cannot write the inputs\n");
        return 1;
    }
    const double canvasMb = double(side) * side * 4 / (1024.0 * 1024.0);
    std::printf("%d frames of %d x %d (one canvas: %.0f MB), %d threads\n", frames, side, side,
                canvasMb, QThread::idealThreadCount());
    std::printf("%-6s %-5s %10s %10s %9s %8s\n", "format", "input", "base MB", "peak MB",
                "canvases", "time s");
    for (const Format *f : chosen) {
        for (const QString &input : {few, many}) {
            const QString out = dir.filePath(QStringLiteral("out"));
            QDir().mkpath(out);
            resetPeak();
            const long base = statusKb("VmHWM:");
            QElapsedTimer timer;
            timer.start();
            const bool ok = exportAll(input, out, *f->clsid, f->name);
            const double secs = double(timer.elapsed()) / 1000.0;
            const long peak = statusKb("VmHWM:");
            std::printf("%-6s %-5s %10.0f %10.0f %9.2f %8.1f%s\n", f->name,
                        input == few ? "few" : "many", double(base) / 1024.0,
                        double(peak) / 1024.0, double(peak - base) / 1024.0 / canvasMb, secs,
                        ok ? "" : "  (failed)");
            std::fflush(stdout);
            QDir(out).removeRecursively();
        }
    }
    return 0;
}
