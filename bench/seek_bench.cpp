// Seeking in the inspection's store (a plain timing program, not a test): how
// long the frame inspector waits for a full-size frame.
//
//   seek_bench GIF...
//
// For each GIF, once its inspection has finished (FrameInspection on a pool of
// two threads, as the program runs it), prints one line
//   seek: next=…ms back=…ms back_max=…ms random_p50=…ms random_p95=…ms decode=…ms peak=…MB
// Every figure but decode is the time from requestFrame() until frameReady()
// brings that frame composited at full size. next: the median over 50
// consecutive steps forward from frame 0, each asked when the previous frame
// arrived; back and back_max: the median and the maximum over 20 consecutive
// steps back from the last frame; random_*: over 50 frames drawn with a fixed
// seed; decode: the median time one frame takes to compose forward in a plain
// engine::Image (frames 1 to 50); peak: the process's VmHWM, reset before each
// GIF. Files with fewer frames take as many steps as they have.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "core/frameinspection.h"
#include "peakmemory.h"
#include "imaging/engine/image.h"
#include "imaging/engine/jobrunner.h"
#include "imaging/gdiplus.h"

namespace {

// The frame list's limit in the program; frames beyond it are asked for all the same.
constexpr int ListedFrames = 10000;
constexpr int ForwardSteps = 50;
constexpr int BackSteps = 20;
constexpr int RandomSeeks = 50;
constexpr unsigned RandomSeed = 20;



double quantile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(q * double(v.size())))];
}

// Asks for `frame` and waits for it; the time in milliseconds.
double seek(FrameInspection &inspection, int frame)
{
    QEventLoop loop;
    const auto done = QObject::connect(&inspection, &FrameInspection::frameReady, &loop,
                                       [&](int arrived, const QImage &) {
                                           if (arrived == frame)
                                               loop.quit();
                                       });
    QElapsedTimer t;
    t.start();
    inspection.requestFrame(frame);
    loop.exec();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    QObject::disconnect(done);
    return ms;
}

double decodeMs(const QString &path)
{
    std::unique_ptr<engine::Image> image = engine::Image::load(path);
    if (!image)
        return 0;
    std::vector<double> times;
    const std::uint32_t last = std::min<std::uint32_t>(image->frameCount(), ForwardSteps + 1);
    for (std::uint32_t i = 1; i < last; ++i) {
        QElapsedTimer t;
        t.start();
        image->selectFrame(image->frameDimension(), i);
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return quantile(times, 0.5);
}

bool measure(const QString &path)
{
    resetPeak();
    PoolJobRunner runner(2);
    FrameInspection inspection(&runner);
    QEventLoop loop;
    bool ok = true;
    QObject::connect(&inspection, &FrameInspection::finished, &loop, &QEventLoop::quit);
    QObject::connect(&inspection, &FrameInspection::failed, &loop, [&] {
        ok = false;
        loop.quit();
    });
    inspection.start(path, ListedFrames);
    loop.exec();
    const int count = int(inspection.facts().frameCount);
    if (!ok || count < 1) {
        std::fprintf(stderr, "seek_bench: cannot inspect %s\n", qPrintable(path));
        return false;
    }

    std::vector<double> next;
    seek(inspection, 0);
    for (int k = 1; k <= std::min(ForwardSteps, count - 1); ++k)
        next.push_back(seek(inspection, k));

    std::vector<double> back;
    seek(inspection, count - 1);
    for (int k = 1; k <= std::min(BackSteps, count - 1); ++k)
        back.push_back(seek(inspection, count - 1 - k));

    std::vector<double> random;
    std::mt19937 draw(RandomSeed);
    std::uniform_int_distribution<int> pick(0, count - 1);
    for (int k = 0; k < RandomSeeks; ++k)
        random.push_back(seek(inspection, pick(draw)));

    const double decode = decodeMs(path);
    std::printf("seek: next=%.1fms back=%.1fms back_max=%.1fms random_p50=%.1fms random_p95=%.1fms "
                "decode=%.1fms peak=%.0fMB\n",
                quantile(next, 0.5), quantile(back, 0.5), quantile(back, 1.0), quantile(random, 0.5),
                quantile(random, 0.95), decode, peakMb());
    std::fflush(stdout);
    inspection.shutDown();
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ImagingSession imaging;
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: seek_bench GIF...\n");
        return 2;
    }
    int failures = 0;
    for (const QString &path : args)
        failures += measure(path) ? 0 : 1;
    return failures ? 1 : 0;
}
