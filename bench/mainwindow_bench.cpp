// Main window timing (a plain timing program, not a test): a scan of a folder of
// GIFs with the program's thread pool, and the inspection of one GIF.
//
//   mainwindow_bench FOLDER GIF
//
// Prints, for three runs each: the time from the window's construction (which
// lists the folder) until the last thumbnail is applied; the longest gap between
// two ticks of a 1 ms timer on the GUI thread during that scan (the longest time
// the GUI thread stays away from the event loop); and the time InspectGif takes
// for GIF. Error boxes are counted and answered at once.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/form1.h"
#include "controls/fonts.h"
#include "controls/iconlist.h"
#include "controls/seams.h"
#include "imaging/gdiplus.h"

namespace {

class CountingBoxes final : public seams::MessageBoxes {
public:
    seams::MsgResult show(QWidget *, const QString &, const QString &, seams::MsgIcon,
                          seams::MsgButtons) override
    {
        ++count;
        return seams::MsgResult::Ok;
    }
    int count = 0;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    const ImagingSession imaging;
    QApplication app(argc, argv);
    installFontSubstitutions();
    if (argc < 3) {
        std::fprintf(stderr, "usage: mainwindow_bench FOLDER GIF\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString gif = QString::fromLocal8Bit(argv[2]);
    CountingBoxes boxes;
    seams::setMessageBoxes(&boxes);

    std::vector<double> scanMs, gapMs, inspectMs;
    int items = 0;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer clock;
        clock.start();
        TForm1::Options options;
        options.treeRoot = folder;
        TForm1 form(std::move(options));
        const double listed = clock.nsecsElapsed() / 1e6;
        form.show();

        QElapsedTimer tick;
        tick.start();
        qint64 longest = 0;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longest = std::max(longest, tick.nsecsElapsed());
            tick.restart();
        });
        ticker.start();
        QEventLoop loop;
        QObject::connect(&form, &TForm1::scanEnded, &loop, &QEventLoop::quit);
        if (form.Scanning)
            loop.exec();
        ticker.stop();
        scanMs.push_back(clock.nsecsElapsed() / 1e6);
        gapMs.push_back(longest / 1e6);
        items = form.ListView1->items()->count();
        std::printf("run %d: listed %d GIFs in %.1f ms; last thumbnail at %.1f ms; longest "
                    "tick gap %.1f ms\n",
                    run + 1, items, listed, scanMs.back(), gapMs.back());

        QElapsedTimer inspect;
        inspect.start();
        form.InspectGif(gif);
        inspectMs.push_back(inspect.nsecsElapsed() / 1e6);
        std::printf("run %d: inspection %.1f ms (%d frames)\n", run + 1, inspectMs.back(),
                    form.ListView2->items()->count());
    }
    std::printf("median of 3: scan of %d GIFs %.1f ms, longest tick gap %.1f ms, inspection "
                "%.1f ms; error boxes %d\n",
                items, median(scanMs), median(gapMs), median(inspectMs), boxes.count);
    seams::setMessageBoxes(nullptr);
    return 0;
}
