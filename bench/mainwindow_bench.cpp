// Main window timing (a plain timing program, not a test): a scan of a folder of
// GIFs with the program's thread pool, and the inspection of one GIF.
//
//   mainwindow_bench FOLDER [GIF...]
//
// First, in a fresh process, one line for the catalogue of FOLDER:
//   catalogue: files=N listed=…ms scan=…ms gap=…ms peak=…MB
// timed from the moment the folder is selected in the tree (a window rooted at
// FOLDER's parent, whose own catalogue is scanned first).
// listed: until every item is in the catalogue with its placeholder; scan: until
// the last thumbnail and size text are applied (the scan's end); gap: the longest
// GUI-thread gap meanwhile; peak: the process's VmHWM after it.
// Then, for three runs each: the time from the window's construction (which
// lists the folder) until the last thumbnail is applied and the longest gap
// between two ticks of a 1 ms timer on the GUI thread during that scan (the
// longest time the GUI thread stays away from the event loop). Then, for each
// GIF, after one warm inspection, one line
//   inspection: first=…ms done=…ms gap=…ms frames=N peak=…MB
// first: from the selection until the first frame's thumbnail is in the list and
// the fields are filled; done: until every frame is listed, the inspection's work
// has ended and every thumbnail in the list's viewport is drawn; gap: the longest
// GUI-thread gap meanwhile; peak: the process's VmHWM after it. Error boxes are
// counted and answered at once.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/form1.h"
#include "gapmeter.h"
#include "peakmemory.h"
#include "controls/fonts.h"
#include "controls/flat/flatedit.h"
#include "controls/iconlist.h"
#include "controls/picturelist.h"
#include "controls/seams.h"
#include "controls/shell/shelltreeview.h"
#include "core/listing.h"
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


// Every row of the frame list inside its viewport has its thumbnail.
bool viewportDrawn(TForm1 &form)
{
    IconListView *list = form.ListView2;
    const QRect area = list->viewport()->rect();
    for (int row = 0; row < list->items()->count(); ++row) {
        const QRect r = list->visualRect(list->model()->index(row, 0));
        if (!r.intersects(area))
            continue;
        if (!form.inspection()->isHeld(row)) {
            form.ImageList2->image(row); // asks for it, as painting would
            return false;
        }
    }
    return true;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The catalogue line (see the top of this file).
void measureCatalogue(const QString &folder, GapMeter &gaps)
{
    const QDir dir(folder);
    const int files = int(listCatalogue(dir.absolutePath()).names.size());
    QDir parent = dir;
    if (!parent.cdUp()) {
        std::fprintf(stderr, "%s has no parent folder\n", qPrintable(folder));
        return;
    }
    TForm1::Options options;
    options.treeRoot = parent.absolutePath();
    TForm1 form(std::move(options));
    form.show();
    while (form.Scanning || form.isListing())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    // The folder's node, as the user would click it.
    QTreeWidgetItem *top = form.ShellTreeView1->topLevelItem(0);
    top->setExpanded(true);
    while (form.ShellTreeView1->isReading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    QTreeWidgetItem *node = nullptr;
    for (int i = 0; i < top->childCount() && !node; ++i)
        if (top->child(i)->text(0) == dir.dirName())
            node = top->child(i);
    if (!node) {
        std::fprintf(stderr, "%s is not in the tree\n", qPrintable(folder));
        return;
    }

    QElapsedTimer clock;
    double listed = -1;
    auto present = [&] {
        if (listed < 0 && !form.isListing() && form.ListView1->items()->count() == files)
            listed = clock.nsecsElapsed() / 1e6;
    };
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, present);
    QEventLoop loop;
    QObject::connect(&form, &TForm1::scanEnded, &loop, &QEventLoop::quit);
    gaps.start();
    clock.start();
    poll.start();
    form.ShellTreeView1->setCurrentItem(node);
    if (form.Scanning || form.isListing())
        loop.exec();
    const double scan = clock.nsecsElapsed() / 1e6;
    gaps.stop();
    present();
    std::printf("catalogue: files=%d listed=%.0fms scan=%.0fms gap=%.1fms peak=%.0fMB\n",
                form.ListView1->items()->count(), listed, scan, gaps.longestMs(), peakMb());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    const ImagingSession imaging;
    QApplication app(argc, argv);
    installFontSubstitutions();
    if (argc < 2) {
        std::fprintf(stderr, "usage: mainwindow_bench FOLDER [GIF...]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    CountingBoxes boxes;
    seams::setMessageBoxes(&boxes);

    GapMeter gaps;
    measureCatalogue(folder, gaps);

    std::vector<double> scanMs, gapMs;
    int items = 0;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer clock;
        clock.start();
        TForm1::Options options;
        options.treeRoot = folder;
        TForm1 form(std::move(options));
        // The catalogue is listed by a job.
        while (form.isListing())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double listed = clock.nsecsElapsed() / 1e6;
        form.show();
        gaps.start();
        QEventLoop loop;
        QObject::connect(&form, &TForm1::scanEnded, &loop, &QEventLoop::quit);
        if (form.Scanning || form.isListing())
            loop.exec();
        gaps.stop();
        scanMs.push_back(clock.nsecsElapsed() / 1e6);
        gapMs.push_back(gaps.longestMs());
        items = form.ListView1->items()->count();
        std::printf("run %d: listed %d GIFs in %.1f ms; last thumbnail at %.1f ms; longest "
                    "tick gap %.1f ms\n",
                    run + 1, items, listed, scanMs.back(), gapMs.back());
    }
    std::printf("median of 3: scan of %d GIFs %.1f ms, longest tick gap %.1f ms; error boxes %d\n",
                items, median(scanMs), median(gapMs), boxes.count);

    TForm1::Options options;
    options.treeRoot = folder;
    TForm1 form(std::move(options));
    form.show();
    {
        QEventLoop loop;
        QObject::connect(&form, &TForm1::scanEnded, &loop, &QEventLoop::quit);
        if (form.Scanning || form.isListing())
            loop.exec();
    }
    for (int g = 2; g < argc; ++g) {
        const QString gif = QString::fromLocal8Bit(argv[g]);
        auto inspect = [&](bool report) {
            QElapsedTimer clock;
            double first = -1;
            QMetaObject::Connection c = QObject::connect(
                form.inspection(), &FrameInspection::thumbnailReady, [&](int frame) {
                    if (frame == 0 && first < 0 && !form.FlatEdit3->text().isEmpty()
                        && form.ListView2->items()->count() > 0)
                        first = clock.nsecsElapsed() / 1e6;
                });
            gaps.start();
            clock.start();
            form.InspectGif(gif);
            while (form.inspecting() || !viewportDrawn(form))
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            const double done = clock.nsecsElapsed() / 1e6;
            gaps.stop();
            QObject::disconnect(c);
            if (report)
                std::printf("inspection: first=%.1fms done=%.1fms gap=%.1fms frames=%d peak=%.0fMB\n",
                            first, done, gaps.longestMs(), form.ListView2->items()->count(), peakMb());
            std::fflush(stdout);
        };
        inspect(false);
        inspect(true);
    }
    seams::setMessageBoxes(nullptr);
    return 0;
}
