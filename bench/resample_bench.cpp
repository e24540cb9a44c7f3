// Area-averaging reduction: the thumbnails of the main window's inspection,
// the catalogue and the command line's `thumbs` all go through it.
//
//   ./build/release/bench/resample_bench [--benchmark_filter=...]
//
// The frames are made here (no input files): a screen-like picture with text
// strokes and flat areas, as ARGB32 (not premultiplied, the decoder's format),
// either fully opaque or with transparent holes. Reduced to the size the
// thumbnail box gives (120 pixels on the longer side).
#include <benchmark/benchmark.h>

#include <QImage>
#include <QRectF>

#include <cstdint>

#include "imaging/engine/surface.h"

namespace {

struct Case {
    int width;
    int height;
    bool holes; // transparent and half-transparent parts
};

const Case Cases[] = {
    {800, 600, false},
    {1920, 1080, false},
    {800, 600, true},
    {1920, 1080, true},
};

QImage makeFrame(const Case &c)
{
    QImage frame(c.width, c.height, QImage::Format_ARGB32);
    std::uint32_t seed = 12345;
    for (int y = 0; y < c.height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(frame.scanLine(y));
        for (int x = 0; x < c.width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            QRgb p = ((x / 40 + y / 30) & 1) ? 0xFFECEFF4u : 0xFF2E3440u;
            if ((seed >> 28) == 0)
                p = 0xFF000000u | (seed & 0xFFFFFFu); // text strokes
            if (c.holes && ((x / 64 + y / 48) % 3) == 0)
                p = (seed >> 29) ? 0x0000FF00u : 0x80FF0000u;
            line[x] = p;
        }
    }
    return frame;
}

QSize fitted(const Case &c)
{
    if (c.width >= c.height)
        return {120, int(120.0 * c.height / c.width + 0.5)};
    return {int(120.0 * c.width / c.height + 0.5), 120};
}

void BM_ResampleArea(benchmark::State &state)
{
    const Case &c = Cases[state.range(0)];
    const QImage frame = makeFrame(c);
    const QSize size = fitted(c);
    for (auto _ : state) {
        QImage out = engine::resampleArea(frame, QRectF(0, 0, c.width, c.height), size.width(),
                                          size.height());
        benchmark::DoNotOptimize(out.constBits());
    }
    state.SetLabel(std::to_string(c.width) + "x" + std::to_string(c.height)
                   + (c.holes ? " transparent" : " opaque"));
}
BENCHMARK(BM_ResampleArea)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

// The whole drawing of a thumbnail as the layer above does it: clear, draw the
// reduced frame centred into a 120 x 120 RGB32 canvas.
void BM_DrawThumbnail(benchmark::State &state)
{
    const Case &c = Cases[state.range(0)];
    const QImage frame = makeFrame(c);
    const QSize size = fitted(c);
    QImage canvas(120, 120, QImage::Format_RGB32);
    for (auto _ : state) {
        engine::Surface surface(&canvas);
        surface.clear(0xFFFFFFFFu);
        surface.drawImage(frame,
                          QRectF((120 - size.width()) / 2, (120 - size.height()) / 2, size.width(),
                                 size.height()),
                          QRectF(0, 0, c.width, c.height));
        benchmark::DoNotOptimize(canvas.constBits());
    }
}
BENCHMARK(BM_DrawThumbnail)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

// Enlarging (a small picture shown bigger, a zoomed preview) takes the same
// routine with one or two source pixels per output pixel.
void BM_ResampleEnlarge(benchmark::State &state)
{
    const QImage frame = makeFrame(Case{100, 75, true});
    for (auto _ : state) {
        QImage out = engine::resampleArea(frame, QRectF(0.5, 0.25, 99, 74), 400, 300);
        benchmark::DoNotOptimize(out.constBits());
    }
}
BENCHMARK(BM_ResampleEnlarge)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
