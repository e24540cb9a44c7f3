// Fuzz target: the GIF decoder and compositor behind engine::Image. Loads the
// input, selects every frame in order (within a fixed amount of work), then
// goes back to frame 0 and checks that the restarted decode gives the same
// picture. Also checks what callers rely on: every selected frame is the
// canvas size in ARGB32, a failed selection keeps the active frame, one delay
// per frame, out-of-range selections refused.
#include <QCoreApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>

#include "fuzzinput.h"
#include "imaging/engine/image.h"

namespace {

// Composited pixels one input may cost: enough for a thousand frames of a
// 256 x 256 GIF, while a canvas near the size limit is only loaded (its first
// composition alone takes seconds under the sanitizers).
constexpr std::int64_t PixelBudget = std::int64_t(1) << 26;

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "decoder_fuzz: broken promise: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzzing::MemoryFile file(data, size);
    if (!file.ok())
        return 0;
    engine::Status status = engine::Ok;
    const std::unique_ptr<engine::Image> image = engine::Image::load(file.path(), &status);
    check((image != nullptr) == (status == engine::Ok), "load status matches the result");
    if (!image)
        return 0;
    const int w = image->width();
    const int h = image->height();
    check(w > 0 && h > 0 && std::int64_t(w) * h <= engine::MaxCanvasPixels, "canvas size");
    const engine::Guid dim = image->frameDimension();
    const std::uint32_t count = image->frameCount();
    check(count > 0, "a loaded picture has a frame");
    if (image->hasFrameDelays())
        check(image->frameDelays().size() == count, "one delay per frame");
    check(image->selectFrame(dim, count) == engine::InvalidParameter, "index past the end refused");

    const std::int64_t pixels = std::int64_t(w) * h;
    // Going back to frame 0 is checked where the budget leaves room for it.
    const bool checkRestart = count > 1 && pixels * 3 <= PixelBudget;
    const QImage first = checkRestart ? image->activeFrame().copy() : QImage();
    std::int64_t spent = pixels;
    for (std::uint32_t i = 0; i < count && spent + pixels <= PixelBudget; ++i, spent += pixels) {
        const std::uint32_t before = image->activeFrameIndex();
        const engine::Status s = image->selectFrame(dim, i);
        if (s == engine::Ok) {
            check(image->activeFrameIndex() == i, "selected frame becomes active");
            const QImage &frame = image->activeFrame();
            check(frame.width() == w && frame.height() == h, "frame at canvas size");
            check(frame.format() == QImage::Format_ARGB32, "frame in ARGB32");
        } else if (s == engine::FrameCorrupt || s == engine::OutOfMemory) {
            // A frame that draws nothing may still become the active one, so
            // that the next frame goes on from the canvas it left.
            check(image->activeFrameIndex() == before || image->activeFrameIndex() == i,
                  "a frame that draws nothing keeps the active frame or becomes it");
        } else {
            check(image->activeFrameIndex() == before, "failed selection keeps the active frame");
        }
    }
    if (checkRestart && spent + pixels <= PixelBudget && image->selectFrame(dim, 0) == engine::Ok)
        check(image->activeFrame() == first, "frame 0 decodes the same after a restart");
    return 0;
}
