// The GIF catalogue: what a scan lists and in which order, size texts,
// thumbnails, error boxes, and how scans stop, restart and wait for modal windows.
#include <QProgressBar>

#include <sys/stat.h>
#include <unistd.h>

#include "apptest.h"
#include "common/apngwriter.h"
#include "common/rawtree.h"
#include "core/listing.h"

#include <QMenu>
#include <QScrollBar>
#include <QSemaphore>
#include "app/widgets.h"
#include "controls/flat/flatedit.h"
#include "controls/iconlist.h"
#include "controls/picturelist.h"
#include "imaging/thumbnail.h"

using namespace apptest;

namespace {

QStringList captions(TForm1 *form)
{
    QStringList out;
    const IconListModel *items = form->ListView1->items();
    for (int i = 0; i < items->count(); ++i)
        out << items->item(i).caption;
    return out;
}

QString sizeTextOf(TForm1 *form, int row)
{
    return form->ListView1->items()->item(row).subItems.value(1);
}

QRgb centreOf(const QImage &image)
{
    return image.pixel(60, 60) | 0xFF000000u;
}

// A folder whose reading hangs until the test opens the gate: the catalogue's
// listing and the tree's reading of children both wait in here for it.
namespace hanging {
QByteArray folder; // set before any job reads it
QSemaphore gate;
void wait(const QByteArray &path)
{
    if (path == folder || path == folder + '/')
        gate.acquire();
}
} // namespace hanging

Qt::CursorShape overrideShape()
{
    return QGuiApplication::overrideCursor() ? QGuiApplication::overrideCursor()->shape() : Qt::ArrowCursor;
}

} // namespace

class TestCatalogue : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { initApp(); }

    void listsRegularGifsOnly()
    {
        QTemporaryDir dir;
        const QString p = dir.path() + QLatin1Char('/');
        for (const char *name : {"A.GIF", "b.gif", "c.Gif", "d.gif.bak", ".f.gif", ".gif"})
            QVERIFY(writeSolidGif(p + QLatin1String(name), 4, 4));
        QVERIFY(QDir().mkdir(p + QStringLiteral("e.gif")));
        QCOMPARE(::mkfifo(QFile::encodeName(p + QStringLiteral("g.gif")).constData(), 0600), 0);
        QVERIFY(QFile::link(p + QStringLiteral("b.gif"), p + QStringLiteral("h.gif")));
        QVERIFY(QFile::link(p + QStringLiteral("missing.gif"), p + QStringLiteral("i.gif")));

        Seams seams;
        Window w(dir.path());
        // Listed while the window is created, before any thumbnail.
        QVERIFY(w->Scanning);
        QCOMPARE(captions(w.form.get()),
                 QStringList({"A.GIF", "b.gif", "c.Gif", "h.gif"}));
        QCOMPARE(w->ListView1->items()->item(0).subItems.value(0), p + QStringLiteral("A.GIF"));
        QCOMPARE(w->ListView1->items()->item(0).imageIndex, 0);
        QVERIFY(sizeTextOf(w.form.get(), 0).isEmpty());
        QCOMPARE(w->ProgressBar1->minimum(), -1);
        QCOMPARE(w->ProgressBar1->maximum(), 3);
        QVERIFY(!w->ProgressBar1->isHidden());

        QVERIFY(w.finishScan());
        QVERIFY(seams.boxes.boxes.empty());
        QCOMPARE(w->StatusBar1->panelText(1), QStringLiteral("图片数量:4"));
        QVERIFY(w->ProgressBar1->isHidden());
        QCOMPARE(w->ImageList1->count(), 5);
    }

    void sortedLikeTheTree()
    {
        QTemporaryDir dir;
        for (const char *name : {"img10.gif", "img2.gif", "img1.gif", "Img1.gif", "b.gif", "a.GIF"})
            QVERIFY(writeSolidGif(dir.filePath(QLatin1String(name)), 2, 2));
        Seams seams;
        Window w(dir.path());
        QCOMPARE(captions(w.form.get()),
                 QStringList({"a.GIF", "b.gif", "Img1.gif", "img1.gif", "img2.gif", "img10.gif"}));
        QVERIFY(w.finishScan());
    }

    void emptyAndVirtualFolders()
    {
        QTemporaryDir dir;
        QVERIFY(QDir().mkdir(dir.filePath(QStringLiteral("sub"))));
        QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("sub/x.gif")), 2, 2));
        Seams seams;
        Window w(dir.path() + QStringLiteral("/sub"));
        QVERIFY(w.finishScan());
        QCOMPARE(w->ListView1->items()->count(), 1);

        // A path that is no absolute path (a virtual folder's display name) lists
        // nothing, even when the working directory holds such a folder.
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(dir.path());
        w->ListView1->items()->clear();
        w->ListFolderGifs(QStringLiteral("sub/"));
        QVERIFY(w.waitForFolders());
        QDir::setCurrent(cwd);
        QCOMPARE(w->ListView1->items()->count(), 0);

        QTemporaryDir empty;
        Window e(empty.path());
        QVERIFY(e.finishScan());
        QCOMPARE(e->ListView1->items()->count(), 0);
        QCOMPARE(e->StatusBar1->panelText(1), QStringLiteral("图片数量:0"));
        QVERIFY(e->ProgressBar1->isHidden());
        QCOMPARE(e->ImageList1->count(), 1);
    }

    void virtualFolderOfTheDesktop()
    {
        // The desktop's virtual items have display names for paths.
        Seams seams;
        Window w{QString()};
        QVERIFY(w.finishScan());
        QVERIFY(selectTreeFolder(w.form.get(), QStringLiteral("网络")));
        QVERIFY(w.finishScan());
        QCOMPARE(w->ListView1->items()->count(), 0);
        QCOMPARE(w->StatusBar1->panelText(1), QStringLiteral("图片数量:0"));
    }

    void sizeTexts_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << 0 << "0.00 KB";
        QTest::newRow("1023") << 1023 << "0.99 KB";
        QTest::newRow("1024") << 1024 << "1.00 KB";
        QTest::newRow("1034") << 1034 << "1.00 KB";
        QTest::newRow("5000") << 5000 << "4.88 KB";
    }

    void sizeTexts()
    {
        QFETCH(int, bytes);
        QFETCH(QString, text);
        QTemporaryDir dir;
        QVERIFY(writeText(dir.filePath(QStringLiteral("x.gif")), QByteArray(bytes, 'x')));
        Seams seams;
        Window w(dir.path());
        QVERIFY(w.finishScan());
        QCOMPARE(sizeTextOf(w.form.get(), 0), text);
    }

    void thumbnailPlacement_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("drawn");
        QTest::newRow("50x40 unscaled") << QSize(50, 40) << QRect(35, 40, 50, 40);
        QTest::newRow("300x200 scaled") << QSize(300, 200) << QRect(0, 20, 120, 80);
        QTest::newRow("120x120") << QSize(120, 120) << QRect(0, 0, 120, 120);
    }

    void thumbnailPlacement()
    {
        QFETCH(QSize, size);
        QFETCH(QRect, drawn);
        QTemporaryDir dir;
        QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("a.gif")), size.width(), size.height()));
        Seams seams;
        Window w(dir.path());
        QVERIFY(w.finishScan());
        QCOMPARE(w->ListView1->items()->item(0).imageIndex, 1);
        QCOMPARE(w->ImageList1->image(0), TForm1::placeholderPicture());
        const QImage t = w->ImageList1->image(1);
        QCOMPARE(t.size(), QSize(120, 120));
        const QRgb red = qRgb(255, 0, 0), white = qRgb(255, 255, 255), grey = qRgb(200, 200, 200);
        for (int y = 0; y < 120; ++y) {
            for (int x = 0; x < 120; ++x) {
                const QRgb px = t.pixel(x, y) | 0xFF000000u;
                const bool edge = x == 0 || y == 0 || x == 119 || y == 119;
                const QRgb want = edge ? grey : drawn.contains(x, y) ? red : white;
                if (px != want)
                    QFAIL(qPrintable(
                        QStringLiteral("pixel %1,%2 is %3").arg(x).arg(y).arg(px, 8, 16)));
            }
        }
        QCOMPARE(w->Image1->picture(), t);
    }

    void notAGifOneBoxAtATime()
    {
        QTemporaryDir dir;
        QVERIFY(writeText(dir.filePath(QStringLiteral("x.gif")), "just text"));
        QVERIFY(writeText(dir.filePath(QStringLiteral("y.gif")), "more text"));
        QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("z.gif")), 8, 8));
        Seams seams;
        Window w(dir.path());
        // Every result is ready before the driver runs: the boxes still come one
        // after the other, the scan waiting for each.
        w.runner->runAll();
        int appliedWhileOpen = -1;
        seams.boxes.whileOpen = [&] {
            w.runner->runAll();
            QCoreApplication::processEvents();
            appliedWhileOpen = std::max(appliedWhileOpen, w->ImageList1->count());
        };
        QVERIFY(w.finishScan());
        QCOMPARE(int(seams.boxes.boxes.size()), 2);
        QCOMPARE(seams.boxes.maxOpen, 1);
        QCOMPARE(seams.boxes.boxes[0].text,
                 dir.filePath(QStringLiteral("x.gif")) + QStringLiteral("可能不是GIF文件"));
        QCOMPARE(seams.boxes.boxes[1].text,
                 dir.filePath(QStringLiteral("y.gif")) + QStringLiteral("可能不是GIF文件"));
        for (const Box &b : seams.boxes.boxes) {
            QCOMPARE(b.caption, QStringLiteral("错误"));
            QCOMPARE(b.icon, seams::MsgIcon::Error);
            QCOMPARE(b.buttons, seams::MsgButtons::Ok);
        }
        // While the first box was open nothing else was applied: only the
        // placeholder was in the list then; while the second, the first item too.
        QCOMPARE(appliedWhileOpen, 2);
        QCOMPARE(w->ImageList1->image(1), TForm1::placeholderPicture());
        QCOMPARE(w->ImageList1->image(2), TForm1::placeholderPicture());
        QCOMPARE(centreOf(w->ImageList1->image(3)), qRgb(255, 0, 0));
        QCOMPARE(sizeTextOf(w.form.get(), 0), QStringLiteral("0.00 KB"));
    }

    void modalWindowHoldsTheScan()
    {
        QTemporaryDir dir;
        for (const char *name : {"a.gif", "b.gif"})
            QVERIFY(writeSolidGif(dir.filePath(QLatin1String(name)), 8, 8));
        Seams seams;
        Window w(dir.path());
        {
            seams::ModalScope dialogOpen;
            w.runner->runAll();
            QTest::qWait(100);
            QCOMPARE(w->ImageList1->count(), 1);
            QVERIFY(w->Scanning);
        }
        QTRY_VERIFY(!w->Scanning);
        QCOMPARE(w->ImageList1->count(), 3);
    }

    void folderChangeStopsAndRescans()
    {
        QTemporaryDir dir;
        const fgtest::GifRgb green{0, 255, 0}, blue{0, 0, 255};
        for (int i = 0; i < 5; ++i)
            QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("root%1.gif").arg(i)), 8, 8, {10},
                                  green));
        QVERIFY(QDir().mkdir(dir.filePath(QStringLiteral("one"))));
        for (int i = 0; i < 3; ++i)
            QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("one/one%1.gif").arg(i)), 8, 8, {10},
                                  blue));

        Seams seams;
        Window w(dir.path());
        QVERIFY(w.runner->runOne());
        QTRY_COMPARE(w->ImageList1->count(), 2);
        // A result of the old scan is on its way when the folder changes.
        QVERIFY(w.runner->runOne());
        QVERIFY(selectTreeFolder(w.form.get(), QStringLiteral("one")));
        QTRY_COMPARE(captions(w.form.get()), QStringList({"one0.gif", "one1.gif", "one2.gif"}));
        QVERIFY(w.finishScan());
        QCOMPARE(w->ImageList1->count(), 4);
        for (int i = 1; i < 4; ++i)
            QCOMPARE(centreOf(w->ImageList1->image(i)), qRgb(0, 0, 255));
        QCOMPARE(w->StatusBar1->panelText(1), QStringLiteral("图片数量:3"));
        QVERIFY(seams.boxes.boxes.empty());
    }

    void folderChangeWithRealWorkers()
    {
        // Late results of the old folder race with the new scan on real threads;
        // none of them may land in the new catalogue.
        QTemporaryDir dir;
        const fgtest::GifRgb green{0, 255, 0}, blue{0, 0, 255};
        for (int i = 0; i < 60; ++i)
            QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("root%1.gif").arg(i)), 200, 150, {10},
                                  green));
        QVERIFY(QDir().mkdir(dir.filePath(QStringLiteral("one"))));
        for (int i = 0; i < 30; ++i)
            QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("one/one%1.gif").arg(i)), 200, 150,
                                  {10}, blue));
        Seams seams;
        TForm1::Options options;
        options.treeRoot = dir.path();
        TForm1 form(std::move(options));
        QTRY_VERIFY(form.ImageList1->count() > 3);
        QVERIFY(selectTreeFolder(&form, QStringLiteral("one")));
        QTRY_VERIFY_WITH_TIMEOUT(!form.Scanning && !form.isListing(), 20000);
        QCOMPARE(captions(&form).size(), 30);
        QCOMPARE(form.ImageList1->count(), 31);
        for (int i = 1; i <= 30; ++i)
            QCOMPARE(centreOf(form.ImageList1->image(i)), qRgb(0, 0, 255));
    }

    void aFolderThatHangsLeavesTheWindowLive()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("slow/inner")));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("fast")));
        QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("slow/s.gif")), 4, 4));
        QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("fast/f.gif")), 4, 4));
        Seams seams;
        TForm1::Options options;
        options.treeRoot = dir.path();
        auto thumbnails = std::make_unique<ManualRunner>();
        thumbnails->immediate = true;
        options.runner = std::move(thumbnails);
        // Folders are read on the window's own threads.
        TForm1 form(std::move(options));
        QTRY_VERIFY(!form.isListing() && !form.ShellTreeView1->isReading());
        hanging::folder = QFile::encodeName(dir.filePath(QStringLiteral("slow")));
        listingtesting::beforeOpen = hanging::wait;
        shell::setListingObserver(hanging::wait);
        // Whatever fails, no job stays blocked when the window goes.
        struct Release {
            ~Release()
            {
                hanging::gate.release(2);
                listingtesting::beforeOpen = nullptr;
                shell::setListingObserver(nullptr);
            }
        } release;

        // The catalogue's listing hangs: the window stays live, with the busy cursor.
        QVERIFY(selectTreeFolder(&form, QStringLiteral("slow")));
        QTreeWidgetItem *slow = form.ShellTreeView1->currentItem();
        QVERIFY(form.isListing());
        QCOMPARE(overrideShape(), Qt::WaitCursor);
        bool ticked = false;
        QTimer::singleShot(0, &form, [&ticked] { ticked = true; });
        QTRY_VERIFY(ticked);
        QVERIFY(!form.Scanning);

        // A newer selection wins.
        QVERIFY(selectTreeFolder(&form, QStringLiteral("fast")));
        QTRY_COMPARE(captions(&form), QStringList({"f.gif"}));
        QTRY_VERIFY(!form.Scanning && !form.isListing());
        QCOMPARE(overrideShape(), Qt::ArrowCursor);

        // The tree's reading of the slow folder's children hangs too: the node
        // keeps its expander and the busy cursor shows until they come.
        form.ShellTreeView1->expandItem(slow);
        QVERIFY(form.ShellTreeView1->isReading());
        QVERIFY(slow->isExpanded());
        QCOMPARE(slow->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        QCOMPARE(slow->childCount(), 0);
        QCOMPARE(overrideShape(), Qt::WaitCursor);
        ticked = false;
        QTimer::singleShot(0, &form, [&ticked] { ticked = true; });
        QTRY_VERIFY(ticked);

        hanging::gate.release(2);
        QTRY_COMPARE(slow->childCount(), 1);
        QCOMPARE(slow->child(0)->text(0), QStringLiteral("inner"));
        QVERIFY(!form.ShellTreeView1->isReading());
        // Closing waits for the old listing, whose answer never reaches the catalogue.
        QVERIFY(form.close());
        QCoreApplication::processEvents();
        QCOMPARE(captions(&form), QStringList({"f.gif"}));
        QCOMPARE(overrideShape(), Qt::ArrowCursor);
    }

    void theNamedFileIsSelectedBesidePngs_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("a GIF listed after animated and still PNGs") << "z.gif";
        QTest::newRow("an animated PNG") << "b.png";
    }

    void theNamedFileIsSelectedBesidePngs()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        fgtest::ApngSpec spec;
        spec.width = spec.height = 4;
        spec.frames.push_back({fgtest::solidImage(4, 4, 0xFFFF0000)});
        spec.frames.push_back({fgtest::solidImage(4, 4, 0xFF00FF00)});
        for (const char *png : {"a.png", "b.png"})
            QVERIFY(fgtest::writeBytes(dir.filePath(QLatin1String(png)), fgtest::apngBytes(spec)));
        QVERIFY(fgtest::solidImage(4, 4, 0xFF0000FF).save(dir.filePath(QStringLiteral("still.png"))));
        for (int i = 0; i < 40; ++i)
            QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("g%1.gif").arg(i, 2, 10, QLatin1Char('0'))), 4, 4));
        QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("z.gif")), 4, 4, {10, 10}));

        Seams seams;
        Window w{QString()};
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        QVERIFY(w->openPath(dir.filePath(name)));
        QVERIFY(w.waitForFolders());
        const QStringList listed = captions(w.form.get());
        QCOMPARE(listed.size(), 43);
        QCOMPARE(listed.mid(0, 2), QStringList({"a.png", "b.png"}));
        QVERIFY(!listed.contains(QStringLiteral("still.png")));
        const int row = w->ListView1->selectedRow();
        QCOMPARE(row, int(listed.indexOf(name)));
        const QRect shown = w->ListView1->visualRect(w->ListView1->model()->index(row, 0));
        QVERIFY(w->ListView1->viewport()->rect().intersects(shown));
        // The thumbnails that follow leave the selection alone.
        QVERIFY(w.finishScan());
        QCOMPARE(w->ListView1->selectedRow(), row);
        QVERIFY(seams.boxes.boxes.empty());
    }

    void refreshDuringScanOnlyStops()
    {
        QTemporaryDir dir;
        for (int i = 0; i < 4; ++i)
            QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("g%1.gif").arg(i)), 8, 8));
        Seams seams;
        Window w(dir.path());
        QVERIFY(w.runner->runOne());
        QTRY_COMPARE(w->ImageList1->count(), 2);
        w->SpeedButton8Click();
        QTRY_VERIFY(!w->Scanning);
        QVERIFY(!w->CancelScan);
        QCOMPARE(w->ListView1->items()->count(), 4);
        QCOMPARE(w->ImageList1->count(), 2);
        QVERIFY(!sizeTextOf(w.form.get(), 0).isEmpty());
        QVERIFY(sizeTextOf(w.form.get(), 1).isEmpty());
        QCOMPARE(w->ListView1->items()->item(3).imageIndex, 0);
        // A stopped scan tidies up like a finished one.
        QVERIFY(w->ProgressBar1->isHidden());
        QCOMPARE(w->StatusBar1->panelText(1), QStringLiteral("图片数量:4"));
        QVERIFY(w.runner->queue.empty());
        // The next request scans again, from scratch.
        w->SpeedButton8Click();
        QVERIFY(w.waitForFolders());
        QVERIFY(w->Scanning);
        QVERIFY(w.finishScan());
        QCOMPARE(w->ImageList1->count(), 5);
    }

    void frameListSurvivesANewScan()
    {
        QTemporaryDir dir;
        QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("a.gif")), 10, 10, {5, 7, 9}));
        QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("b.gif")), 10, 10));
        Seams seams;
        Window w(dir.path());
        QVERIFY(w.finishScan());
        w->ListView1->selectRow(0);
        QCOMPARE(w->ListView2->items()->count(), 3);
        const QString size = w->FlatEdit4->text();
        const QString path = w->StatusBar1->panelText(2);
        w->SpeedButton8Click();
        QVERIFY(w.waitForFolders());
        QCOMPARE(w->ListView1->items()->count(), 2);
        QVERIFY(w.finishScan());
        QCOMPARE(w->ListView2->items()->count(), 3);
        QCOMPARE(w->ImageList2->count(), 3);
        QCOMPARE(w->FlatEdit4->text(), size);
        QCOMPARE(w->StatusBar1->panelText(2), path);
        QVERIFY(!w->Image4->picture().isNull());
    }

    void closingWaitsForWorkers()
    {
        QTemporaryDir dir;
        for (int i = 0; i < 3; ++i)
            QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("g%1.gif").arg(i)), 8, 8));
        Seams seams;
        Window w(dir.path());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        QVERIFY(w->Scanning);
        const int waitsBefore = w.runner->waits;
        QVERIFY(w->close());
        QVERIFY(!w->isVisible());
        QVERIFY(seams.boxes.boxes.empty());
        QVERIFY(!w->Scanning);
        QVERIFY(w.runner->queue.empty());
        QVERIFY(w.runner->waits > waitsBefore);
    }

    void checkBoxEndsTheScansBoxes_data()
    {
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<int>("boxesPerScan");
        QTest::newRow("unticked: one box per broken file") << false << 3;
        QTest::newRow("ticked: no more boxes in that scan") << true << 1;
    }

    void checkBoxEndsTheScansBoxes()
    {
        QFETCH(bool, ticked);
        QFETCH(int, boxesPerScan);
        QTemporaryDir dir;
        for (const char *name : {"a.gif", "b.gif", "c.gif"})
            QVERIFY(writeText(dir.filePath(QLatin1String(name)), "not a picture"));
        Seams seams;
        seams.boxes.checkAnswer = ticked;
        Window w(dir.path());
        QVERIFY(w.finishScan());
        QCOMPARE(int(seams.boxes.boxes.size()), boxesPerScan);
        const Box &box = seams.boxes.boxes.front();
        QCOMPARE(box.text, dir.filePath(QStringLiteral("a.gif")) + QStringLiteral("可能不是GIF文件"));
        QCOMPARE(box.caption, QStringLiteral("错误"));
        QCOMPARE(box.icon, seams::MsgIcon::Error);
        QCOMPARE(box.checkText, QStringLiteral("本次扫描不再提示"));
        // Every file still has its placeholder.
        for (int row = 0; row < 3; ++row)
            QCOMPARE(w->ImageList1->image(w->ListView1->items()->item(row).imageIndex),
                     w->Image2->picture());
        // The next scan asks again.
        w->SpeedButton8Click();
        QVERIFY(w.finishScan());
        QCOMPARE(int(seams.boxes.boxes.size()), 2 * boxesPerScan);
    }

    void openMenuHoldsTheScansBoxes()
    {
        QTemporaryDir dir;
        QVERIFY(writeText(dir.filePath(QStringLiteral("bad.gif")), "not a picture"));
        Seams seams;
        Window w(dir.path(), true);
        w->show();
        // A menu opened right after the selection started the scan, as a right
        // click on a folder does: the box waits until the menu is gone.
        QMenu menu(w.form.get());
        menu.addAction(QStringLiteral("打开"));
        menu.popup(w->mapToGlobal(QPoint(10, 10)));
        QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
        for (int i = 0; i < 10; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QVERIFY(w->Scanning);
        QVERIFY(seams.boxes.boxes.empty());
        menu.close();
        QVERIFY(w.finishScan());
        QCOMPARE(int(seams.boxes.boxes.size()), 1);
    }

    void newScanStartsAtTheTop()
    {
        QTemporaryDir dir;
        for (int i = 0; i < 40; ++i)
            QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("g%1.gif").arg(i)), 4, 4));
        Seams seams;
        Window w(dir.path(), true);
        w->show();
        QVERIFY(w.finishScan());
        QScrollBar *bar = w->ListView1->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0);
        bar->setValue(bar->maximum());
        QVERIFY(bar->value() > 0);
        w->SpeedButton8Click();
        QCOMPARE(bar->value(), 0);
        QVERIFY(w.finishScan());
        QCOMPARE(bar->value(), 0);
    }

    void aLargeFolderHoldsABoundedNumberOfThumbnails()
    {
        // The bound lowered from 2,000 to 20 for a folder of 90 files: every item
        // still gets its picture in order, never more than 20 are held, and rows
        // whose thumbnails were dropped show their own pictures again when
        // scrolled back into view.
        constexpr int Files = 90, Cap = 20;
        const std::vector<fgtest::GifRgb> colours = {
            {255, 0, 0}, {0, 160, 0}, {0, 0, 255}, {200, 200, 0}, {0, 200, 200}, {160, 0, 160}};
        QTemporaryDir source, dir;
        for (size_t c = 0; c < colours.size(); ++c)
            QVERIFY(writeSolidGif(source.filePath(QStringLiteral("c%1.gif").arg(c)), 8, 8, {10}, colours[c]));
        // Row k is a hard link to colour k % 6.
        for (int i = 0; i < Files; ++i) {
            const QByteArray from = QFile::encodeName(source.filePath(QStringLiteral("c%1.gif").arg(i % 6)));
            const QByteArray to = QFile::encodeName(dir.filePath(QStringLiteral("g%1.gif").arg(i, 2, 10, QLatin1Char('0'))));
            QCOMPARE(::link(from.constData(), to.constData()), 0);
        }
        auto expected = [&](int row) {
            const fgtest::GifRgb &c = colours[size_t(row % 6)];
            return qRgb(c.r, c.g, c.b);
        };
        Seams seams;
        Window w(dir.path());
        CatalogueThumbnails *store = w->catalogueThumbnails();
        QCOMPARE(store->capacity(), 2000);
        store->setCapacity(Cap);
        w->show();
        QVERIFY(w.finishScan());
        QVERIFY(seams.boxes.boxes.empty());
        QCOMPARE(w->ImageList1->count(), Files + 1);
        for (int row = 0; row < Files; ++row)
            QCOMPARE(w->ListView1->items()->item(row).imageIndex, row + 1);

        // Remakes run where they are asked for, while the view paints.
        w.runner->immediate = true;
        w.runner->runAll();
        IconListView *list = w->ListView1;
        QScrollBar *bar = list->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0);
        auto visibleRows = [&] {
            QList<int> rows;
            for (int row = 0; row < Files; ++row)
                if (list->visualRect(list->model()->index(row, 0)).intersects(list->viewport()->rect()))
                    rows << row;
            return rows;
        };
        QVERIFY(visibleRows().size() < Cap);
        for (int value = 0; value <= bar->maximum(); value += std::max(1, bar->pageStep() / 2)) {
            bar->setValue(value);
            list->viewport()->repaint();
            QCoreApplication::processEvents();
        }
        bar->setValue(bar->maximum());
        list->viewport()->repaint();
        QTRY_VERIFY(!store->isHeld(1));

        bar->setValue(0);
        const QList<int> top = visibleRows();
        QVERIFY(top.contains(0));
        for (int row : top) {
            const QRect cell = list->visualRect(list->model()->index(row, 0));
            const QPoint centre(cell.x() + cell.width() / 2, cell.y() + 2 + ThumbnailSize / 2);
            if (list->viewport()->rect().contains(centre))
                QTRY_COMPARE(list->viewport()->grab().toImage().pixel(centre) | 0xFF000000u, expected(row));
        }
        QVERIFY(store->isHeld(1));
        QVERIFY(store->heldCount() <= Cap);
        QVERIFY(store->peakHeld() <= Cap);
    }

    void namesThatAreNotUtf8_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("caption");
        const QString r(QChar(0xFFFD));
        QTest::newRow("GBK 动画.gif") << QByteArray("\xB6\xAF\xBB\xAD.gif") << r + r + r + r + QStringLiteral(".gif");
        QTest::newRow("Latin-1 café.gif") << QByteArray("caf\xE9.gif") << QStringLiteral("caf") + r + QStringLiteral(".gif");
    }

    void namesThatAreNotUtf8()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, caption);
        QTemporaryDir dir;
        QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("plain.gif")), 6, 4, {10, 20}));
        const QByteArray folder = QFile::encodeName(dir.path());
        const fgtest::RawTreeRemover cleanUp(folder);
        QCOMPARE(::rename((folder + "/plain.gif").constData(), (folder + "/" + name).constData()), 0);
        Seams seams;
        Window w(dir.path(), true);
        QVERIFY(w.finishScan());
        QVERIFY(seams.boxes.boxes.empty()); // read, not "可能不是GIF文件"
        QCOMPARE(w->ListView1->items()->count(), 1);
        const IconItem &item = w->ListView1->items()->item(0);
        QCOMPARE(item.caption, caption);
        QVERIFY(item.imageIndex > 0);
        QVERIFY(w->ImageList1->image(item.imageIndex) != w->Image2->picture());
        w->ListView1->selectRow(0);
        QCOMPARE(w->ListView2->items()->count(), 2);
        QVERIFY(w->FlatEdit4->text().startsWith(QStringLiteral("6×4, ")));
        QVERIFY(!w->FlatEdit4->text().endsWith(QStringLiteral(" 0.00 KB")));
    }
};

QTEST_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
