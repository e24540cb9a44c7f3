// Inspection of the selected GIF: the frame list, the information fields, the
// preview, when the catalogue inspects, and the failure rules.
#include "apptest.h"
#include "app/widgets.h"
#include "controls/flat/flatedit.h"
#include "controls/iconlist.h"
#include "controls/picturelist.h"
#include "imaging/filesize.h"

using namespace apptest;

namespace {

// Frames of distinct colours with the given delays (hundredths of a second); a
// negative delay writes a frame without a graphic control extension.
bool writeFrames(const QString &path, int w, int h, const std::vector<int> &delays)
{
    fgtest::GifSpec spec;
    spec.width = w;
    spec.height = h;
    spec.globalPalette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    for (size_t i = 0; i < delays.size(); ++i) {
        fgtest::GifFrame f;
        f.indexes = fgtest::filled(w * h, std::uint8_t(i % 4));
        f.delay = std::max(0, delays[i]);
        f.graphicControl = delays[i] >= 0;
        spec.frames.push_back(f);
    }
    return fgtest::writeGif(path, spec);
}

QStringList frameCaptions(TForm1 *form)
{
    QStringList out;
    for (int i = 0; i < form->ListView2->items()->count(); ++i)
        out << form->ListView2->items()->item(i).caption;
    return out;
}

} // namespace

class TestInspection : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { initApp(); }

    void durationText_data()
    {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("80") << qint64(80) << "0 秒 80 毫秒";
        QTest::newRow("1000") << qint64(1000) << "1 秒 0 毫秒";
        QTest::newRow("1050") << qint64(1050) << "1 秒 50 毫秒";
        QTest::newRow("12345") << qint64(12345) << "12 秒 345 毫秒";
        QTest::newRow("beyond 32 bits") << qint64(3000000000LL) << "3000000 秒 0 毫秒";
    }

    void durationText()
    {
        QFETCH(qint64, ms);
        QFETCH(QString, text);
        QCOMPARE(TForm1::durationText(ms), text);
    }

    void texts_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<std::vector<int>>("delays");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QString>("duration");
        QTest::newRow("one frame 80 ms") << QSize(50, 40) << std::vector<int>{8}
                                         << QStringList{"第1帧 (80毫秒)"} << "0 秒 80 毫秒";
        QTest::newRow("one second")
            << QSize(300, 200) << std::vector<int>{10, 0, 90}
            << QStringList{"第1帧 (100毫秒)", "第2帧 (0毫秒)", "第3帧 (900毫秒)"} << "1 秒 0 毫秒";
        QTest::newRow("no graphic control")
            << QSize(8, 8) << std::vector<int>{25, -1}
            << QStringList{"第1帧 (250毫秒)", "第2帧 (0毫秒)"} << "0 秒 250 毫秒";
    }

    void texts()
    {
        QFETCH(QSize, size);
        QFETCH(std::vector<int>, delays);
        QFETCH(QStringList, captions);
        QFETCH(QString, duration);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("a.gif"));
        QVERIFY(writeFrames(path, size.width(), size.height(), delays));
        Seams seams;
        Window w(dir.path());
        QVERIFY(w.finishScan());
        const QString sizeText = w->ListView1->items()->item(0).subItems.value(1);
        w->ListView1->selectRow(0);

        QCOMPARE(frameCaptions(w.form.get()), captions);
        const IconListModel *frames = w->ListView2->items();
        for (int i = 0; i < frames->count(); ++i) {
            QCOMPARE(frames->item(i).subItems.value(0), path);
            QCOMPARE(frames->item(i).subItems.value(1),
                     QString::number(std::max(0, delays[size_t(i)]) * 10));
            QCOMPARE(frames->item(i).imageIndex, i);
        }
        QCOMPARE(w->ImageList2->count(), int(delays.size()));
        QCOMPARE(w->FlatEdit4->text(),
                 QStringLiteral("%1×%2, %3").arg(size.width()).arg(size.height()).arg(sizeText));
        QCOMPARE(w->FlatEdit2->text(), duration);
        QCOMPARE(w->FlatEdit3->text(), QStringLiteral("%1 帧").arg(delays.size()));
        QCOMPARE(w->StatusBar1->panelText(2), path);
        QCOMPARE(w->Image4->picture(), w->ImageList2->image(0));
        QVERIFY(w->FlatEdit1->text().isEmpty());
        QVERIFY(seams.boxes.boxes.empty());
    }

    void frameThumbnails()
    {
        // Enough frames for the drawing to be shared out between threads.
        QTemporaryDir dir;
        QVERIFY(
            writeFrames(dir.filePath(QStringLiteral("a.gif")), 300, 200, std::vector<int>(41, 1)));
        Seams seams;
        Window w(dir.path());
        QVERIFY(w.finishScan());
        w->ListView1->selectRow(0);
        QCOMPARE(w->ImageList2->count(), 41);
        const QRgb colours[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255),
                                qRgb(255, 255, 0)};
        for (int i = 0; i < 41; ++i) {
            const QImage t = w->ImageList2->image(i);
            QCOMPARE(t.pixel(60, 20) | 0xFF000000u, colours[i % 4]);
            QCOMPARE(t.pixel(60, 99) | 0xFF000000u, colours[i % 4]);
            QCOMPARE(t.pixel(60, 19) | 0xFF000000u, qRgb(255, 255, 255));
            QCOMPARE(t.pixel(60, 100) | 0xFF000000u, qRgb(255, 255, 255));
            QCOMPARE(t.pixel(0, 60) | 0xFF000000u, qRgb(200, 200, 200));
        }
        QCOMPARE(w->Image3->picture(), w->ImageList2->image(40));
    }

    void nonPictureKeepsThePreviousFrames()
    {
        QTemporaryDir dir;
        QVERIFY(writeFrames(dir.filePath(QStringLiteral("a.gif")), 10, 10, {3, 4}));
        QVERIFY(writeText(dir.filePath(QStringLiteral("x.gif")), "no picture"));
        Seams seams;
        Window w(dir.path());
        QVERIFY(w.finishScan());
        seams.boxes.boxes.clear();
        w->ListView1->selectRow(0);
        const QStringList before = frameCaptions(w.form.get());
        const QString info = w->FlatEdit4->text() + w->FlatEdit2->text() + w->FlatEdit3->text();
        const QImage preview = w->Image4->picture();
        w->ListView1->selectRow(1);
        QCOMPARE(frameCaptions(w.form.get()), before);
        QCOMPARE(w->ImageList2->count(), 2);
        QCOMPARE(w->FlatEdit4->text() + w->FlatEdit2->text() + w->FlatEdit3->text(), info);
        QCOMPARE(w->StatusBar1->panelText(2), dir.filePath(QStringLiteral("a.gif")));
        QCOMPARE(w->Image4->picture(), preview);
        QVERIFY(seams.boxes.boxes.empty());
    }

    void inspectsOnSelectionNotOnEveryChange()
    {
        QTemporaryDir dir;
        for (int i = 0; i < 4; ++i)
            QVERIFY(writeFrames(dir.filePath(QStringLiteral("g%1.gif").arg(i)), 10, 10, {1, 2}));
        Seams seams;
        Window w(dir.path());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        int inspections = 0;
        connect(w->ImageList2, &PictureList::changed, this, [&](int index) {
            if (index < 0)
                ++inspections;
        });
        QVERIFY(w.runner->runOne());
        QTRY_COMPARE(w->ImageList1->count(), 2);
        w->ListView1->selectRow(0);
        QCOMPARE(inspections, 1);
        // The scan giving the other items their thumbnails inspects nothing again.
        QVERIFY(w.finishScan());
        QCOMPARE(inspections, 1);

        // Pressing the selected item again inspects it again.
        const QRect r0 = w->ListView1->visualRect(w->ListView1->items()->index(0));
        QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, {}, r0.center());
        QCOMPARE(inspections, 2);
        // Selecting another item by a click inspects it once (press), not again on release.
        const QRect r1 = w->ListView1->visualRect(w->ListView1->items()->index(1));
        QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, {}, r1.center());
        QCOMPARE(inspections, 3);
        QCOMPARE(w->StatusBar1->panelText(2), dir.filePath(QStringLiteral("g1.gif")));
    }

    void sizeTextComputedWhenTheScanHasNotGotThere()
    {
        QTemporaryDir dir;
        QVERIFY(writeFrames(dir.filePath(QStringLiteral("a.gif")), 10, 10, {1}));
        QVERIFY(writeFrames(dir.filePath(QStringLiteral("b.gif")), 30, 20, {7, 3}));
        Seams seams;
        Window w(dir.path());
        QVERIFY(w->ListView1->items()->item(1).subItems.value(1).isEmpty());
        w->ListView1->selectRow(1);
        const QString size = FileSizeText(dir.filePath(QStringLiteral("b.gif")));
        QCOMPARE(w->FlatEdit4->text(), QStringLiteral("30×20, ") + size);
        QCOMPARE(w->FlatEdit2->text(), QStringLiteral("0 秒 100 毫秒"));
        QCOMPARE(w->FlatEdit3->text(), QStringLiteral("2 帧"));
        QCOMPARE(w->ListView2->items()->count(), 2);
        QVERIFY(w.finishScan());
        QCOMPARE(w->ListView1->items()->item(1).subItems.value(1), size);
    }

    void frameListCapAndLongTotal()
    {
        QCOMPARE(TForm1(TForm1::Options{QDir::tempPath(), std::make_unique<ManualRunner>(), nullptr, nullptr, {}})
                     .MaxListedFrames,
                 10000);
        // 3,300 frames of 655.35 s: the total passes 2^31 ms.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("long.gif"));
        QVERIFY(writeFrames(path, 1, 1, std::vector<int>(3300, 65535)));
        Seams seams;
        Window w(dir.path());
        QVERIFY(w.finishScan());
        w->MaxListedFrames = 3;
        w->ListView1->selectRow(0);
        QCOMPARE(w->ListView2->items()->count(), 3);
        QCOMPARE(w->ImageList2->count(), 3);
        QCOMPARE(w->StatusBar1->panelText(2), path + QStringLiteral(" (仅显示前3帧)"));
        QCOMPARE(w->FlatEdit3->text(), QStringLiteral("3300 帧"));
        QCOMPARE(w->FlatEdit2->text(), QStringLiteral("2162655 秒 0 毫秒"));
    }
};

QTEST_MAIN(TestInspection)
#include "tst_inspection.moc"
