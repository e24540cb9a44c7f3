// Engine benchmarks: decoding with compositing, catalogue thumbnails and
// encoding per format, on the inputs that bench/compare.sh generates.
//
//     FG_BENCH_DIR=build/bench-inputs ./build/release/bench/engine_bench
//
// The folder holds screencast.gif, video.gif, big.gif and folder/ (see
// compare.sh). Benchmarks whose input is missing are skipped.

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QCoreApplication>
#include <QImageWriter>
#include <QTemporaryDir>

#include <memory>
#include <vector>

#include "imaging/engine/encoders.h"
#include "imaging/engine/image.h"
#include "imaging/engine/palette.h"
#include "imaging/engine/pngwriter.h"
#include "imaging/gdiplus.h"

namespace {

QString inputDir()
{
    const QByteArray env = qgetenv("FG_BENCH_DIR");
    return env.isEmpty() ? QStringLiteral("build/bench-inputs") : QString::fromLocal8Bit(env);
}

const char *const Inputs[] = {"screencast", "video", "big"};

QString inputPath(int which)
{
    return QDir(inputDir()).filePath(QString::fromLatin1(Inputs[which]) + QLatin1String(".gif"));
}

// A frame from the middle of an input, decoded once and kept.
const QImage &sampleFrame(int which)
{
    static QImage frames[3];
    QImage &f = frames[which];
    if (f.isNull()) {
        std::unique_ptr<engine::Image> image = engine::Image::load(inputPath(which));
        if (image) {
            const std::uint32_t n = image->frameCount() / 2;
            for (std::uint32_t i = 0; i <= n; ++i)
                image->selectFrame(image->frameDimension(), i);
            f = image->activeFrame().copy();
        }
    }
    return f;
}

void BM_DecodeComposite(benchmark::State &state)
{
    const QString path = inputPath(int(state.range(0)));
    state.SetLabel(Inputs[state.range(0)]);
    if (!QFileInfo::exists(path)) {
        state.SkipWithError("input missing: run bench/compare.sh first");
        return;
    }
    std::int64_t frames = 0;
    for (auto _ : state) {
        std::unique_ptr<engine::Image> image = engine::Image::load(path);
        const std::uint32_t n = image ? image->frameCount() : 0;
        for (std::uint32_t i = 0; i < n; ++i)
            benchmark::DoNotOptimize(image->selectFrame(image->frameDimension(), i));
        frames += n;
    }
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeComposite)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// The catalogue thumbnail drawn the way the catalogue draws it: frame 0 fitted
// into the 120 x 120 box on white.
void BM_Thumbnail(benchmark::State &state)
{
    QDir dir(QDir(inputDir()).filePath(QStringLiteral("folder")));
    const QStringList names = dir.entryList({QStringLiteral("*.gif")}, QDir::Files, QDir::Name);
    if (names.isEmpty()) {
        state.SkipWithError("folder/ missing: run bench/compare.sh first");
        return;
    }
    std::int64_t count = 0;
    for (auto _ : state) {
        for (const QString &name : names) {
            TGPImage image(dir.filePath(name));
            image.SelectActiveFrame(FrameDimensionTime, 0);
            const std::uint32_t w = image.GetWidth();
            const std::uint32_t h = image.GetHeight();
            QImage canvas(120, 120, QImage::Format_ARGB32);
            TGPGraphics g(&canvas);
            g.Clear(MakeArgb(255, 255, 255));
            if (w > 0 && h > 0)
                g.DrawImage(image, MakeIntRect(0, 0, 120, 120), 0, 0, int(w), int(h), UnitPixel);
            benchmark::DoNotOptimize(canvas.constBits());
            ++count;
        }
    }
    state.counters["thumbs/s"] = benchmark::Counter(double(count), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Thumbnail)->Unit(benchmark::kMillisecond);

const Guid *const Clsids[] = {&engine::ClsidBmpEncoder, &engine::ClsidJpegEncoder,
                              &engine::ClsidGifEncoder, &engine::ClsidTiffEncoder,
                              &engine::ClsidPngEncoder};
const char *const FormatNames[] = {"bmp", "jpeg", "gif", "tiff", "png"};

// saveFrame end to end (encoding, temporary file, rename) per format.
void BM_SaveFrame(benchmark::State &state)
{
    const int which = int(state.range(0));
    const int format = int(state.range(1));
    const QImage &frame = sampleFrame(which);
    state.SetLabel(std::string(Inputs[which]) + " " + FormatNames[format]);
    if (frame.isNull()) {
        state.SkipWithError("input missing: run bench/compare.sh first");
        return;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("frame"));
    std::uint32_t quality = 100;
    EncoderParameters params{};
    params.Count = 1;
    params.Parameter[0] = {EncoderQuality, 1, EncoderParameterValueTypeLong, &quality};
    for (auto _ : state)
        benchmark::DoNotOptimize(engine::saveFrame(frame, *Clsids[format], &params, path));
    state.counters["bytes"] = double(QFileInfo(path).size());
}
BENCHMARK(BM_SaveFrame)
    ->ArgsProduct({{0, 1, 2}, {0, 1, 2, 3, 4}})
    ->Unit(benchmark::kMillisecond);

// Our PNG writer at each libdeflate level, in memory: time against size.
void BM_PngLevel(benchmark::State &state)
{
    const int which = int(state.range(0));
    const int level = int(state.range(1));
    const QImage &frame = sampleFrame(which);
    state.SetLabel(std::string(Inputs[which]) + " level " + std::to_string(level));
    if (frame.isNull()) {
        state.SkipWithError("input missing: run bench/compare.sh first");
        return;
    }
    qsizetype bytes = 0;
    for (auto _ : state)
        bytes = engine::encodePng(frame, level).size();
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_PngLevel)
    ->ArgsProduct({{0, 1, 2}, {1, 3, 6, 7, 8, 9, 12}})
    ->Unit(benchmark::kMillisecond);

// Where the time of a palette PNG goes: finding the palette alone.
void BM_ExactPalette(benchmark::State &state)
{
    const int which = int(state.range(0));
    const QImage &frame = sampleFrame(which);
    state.SetLabel(Inputs[which]);
    if (frame.isNull()) {
        state.SkipWithError("input missing: run bench/compare.sh first");
        return;
    }
    for (auto _ : state) {
        engine::IndexedFrame indexed;
        benchmark::DoNotOptimize(engine::exactPalette(frame, engine::AlphaMode::Full, &indexed));
    }
}
BENCHMARK(BM_ExactPalette)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// Qt's own PNG writer, for comparison: RGBA at its default level and palette
// via convertToFormat(Format_Indexed8).
void BM_QtPng(benchmark::State &state)
{
    const int which = int(state.range(0));
    const bool indexed = state.range(1) != 0;
    const QImage &frame = sampleFrame(which);
    state.SetLabel(std::string(Inputs[which]) + (indexed ? " Qt indexed8" : " Qt argb32"));
    if (frame.isNull()) {
        state.SkipWithError("input missing: run bench/compare.sh first");
        return;
    }
    qsizetype bytes = 0;
    for (auto _ : state) {
        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        writer.write(indexed ? frame.convertToFormat(QImage::Format_Indexed8) : frame);
        bytes = out.size();
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_QtPng)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ImagingSession imaging;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
