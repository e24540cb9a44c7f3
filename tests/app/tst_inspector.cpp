// The frame inspector: following the frame list both ways, its keys, the pixel
// under the pointer, the facts and overlays of a frame, and copying a frame's
// exact pixels.
#include <QAction>
#include <QClipboard>
#include <QMenu>

#include "common/apngwriter.h"

#include "apptest.h"
#include "app/inspector.h"
#include "core/frameinspection.h"
#include "controls/iconlist.h"

using namespace apptest;

namespace {

constexpr int Frames = 25;
constexpr int Width = 8;
constexpr int Height = 6;
// Frame 1's stored patch: a local palette, index 0 transparent.
const QRect Patch(2, 1, 4, 3);
const fgtest::GifRgb PatchColour{10, 20, 30};

// Frame 1 is the patch over a transparent canvas (odd pixels of the patch
// coloured); every later frame fills the canvas with a colour of its own.
bool writeInspected(const QString &path)
{
    fgtest::GifSpec spec;
    spec.width = Width;
    spec.height = Height;
    for (int i = 0; i < 16; ++i)
        spec.globalPalette.push_back({std::uint8_t(i * 16), std::uint8_t(255 - i * 16), 7});
    fgtest::GifFrame first;
    first.x = Patch.x();
    first.y = Patch.y();
    first.w = Patch.width();
    first.h = Patch.height();
    first.localPalette = {{0, 0, 0}, PatchColour};
    for (int k = 0; k < Patch.width() * Patch.height(); ++k)
        first.indexes.push_back(std::uint8_t(k % 2));
    first.transparent = 0;
    first.delay = 5;
    spec.frames.push_back(first);
    for (int i = 1; i < Frames; ++i) {
        fgtest::GifFrame f;
        f.indexes = fgtest::filled(Width * Height, std::uint8_t(i % 16));
        f.delay = 10;
        spec.frames.push_back(f);
    }
    return fgtest::writeGif(path, spec);
}

// The canvas's top-left pixel in `frame`.
QRgb frameColour(int frame)
{
    const int i = frame % 16;
    return frame == 0 ? 0u : qRgb(i * 16, 255 - i * 16, 7);
}

QImage expectedFirstFrame()
{
    QImage image(Width, Height, QImage::Format_ARGB32);
    image.fill(0);
    for (int k = 0; k < Patch.width() * Patch.height(); ++k) {
        if (k % 2)
            image.setPixel(Patch.x() + k % Patch.width(), Patch.y() + k / Patch.width(),
                           qRgba(PatchColour.r, PatchColour.g, PatchColour.b, 255));
    }
    return image;
}

// Stored facts and overlays: a red canvas, then a patch at (2, 1) on a local
// palette whose index 0 is transparent, then a frame that changes nothing.
const QRect Stored(2, 1, 3, 2);
const fgtest::GifRgb Blue{0, 0, 255}, White{255, 255, 255};

bool writeStored(const QString &path)
{
    fgtest::GifSpec spec;
    spec.width = Width;
    spec.height = Height;
    spec.globalPalette = {{255, 0, 0}, {0, 255, 0}};
    fgtest::GifFrame red;
    red.indexes = fgtest::filled(Width * Height, 0);
    red.delay = 10;
    fgtest::GifFrame patch;
    patch.x = Stored.x();
    patch.y = Stored.y();
    patch.w = Stored.width();
    patch.h = Stored.height();
    patch.localPalette = {{0, 0, 0}, Blue, White};
    patch.indexes = {1, 0, 2, 2, 1, 1};
    patch.transparent = 0;
    patch.delay = 2;
    fgtest::GifFrame nothing;
    nothing.w = nothing.h = 1;
    nothing.indexes = {1};
    nothing.transparent = 1;
    nothing.disposal = 1;
    spec.frames = {red, patch, nothing};
    return fgtest::writeGif(path, spec);
}

// An APNG with a palette (3 entries, one transparent) and a WebP from tests/data.
bool writeApng(const QString &path)
{
    QImage indexed(3, 2, QImage::Format_Indexed8);
    indexed.setColorTable({0xFFFF0000, 0xFF00FF00, 0x00000000});
    indexed.fill(1);
    fgtest::ApngSpec spec;
    spec.width = 4;
    spec.height = 3;
    fgtest::ApngFrame first{indexed.copy()};
    first.delayNum = 1;
    first.delayDen = 20;
    fgtest::ApngFrame second{indexed, 1, 1};
    second.delayNum = 1;
    second.delayDen = 20;
    second.dispose = 1;
    second.blend = 1;
    spec.frames = {first, second};
    return fgtest::writeBytes(path, fgtest::apngBytes(spec));
}

bool copyWebP(const QString &path)
{
    return QFile::copy(QStringLiteral(FG_TEST_DATA "/webp-lossless-blend-dispose.webp"), path);
}

// A window on a folder of two GIFs, the first selected and listed.
struct Inspected {
    QTemporaryDir dir;
    Seams seams;
    std::unique_ptr<Window> w;
    Inspected()
    {
        writeInspected(dir.filePath(QStringLiteral("a.gif")));
        writeSolidGif(dir.filePath(QStringLiteral("b.gif")), 5, 5, {10, 10});
        w = std::make_unique<Window>(dir.path());
        w->finishScan();
        (*w)->ListView1->selectRow(0);
    }
    TForm1 *form() const { return w->form.get(); }
    FrameInspector *open(int row)
    {
        form()->openFrameInspector(row);
        FrameInspector *inspector = form()->frameInspector();
        return QTest::qWaitForWindowExposed(inspector) ? inspector : nullptr;
    }
};

} // namespace

class TestInspector : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { initApp(); }

    void followsTheFrameListBothWays()
    {
        Inspected t;
        TForm1 *form = t.form();
        QCOMPARE(form->ListView2->items()->count(), Frames);
        QCOMPARE(form->frameListMenu()->actions().size(), 5);
        QStringList entries;
        for (QAction *a : form->frameListMenu()->actions())
            entries << a->text();
        QCOMPARE(entries, (QStringList{"查看帧", "复制帧", "另存为...", "", "导出为动画..."}));
        QVERIFY(form->frameListMenu()->actions().at(3)->isSeparator());

        // Enter on the current frame item opens the inspector there.
        form->ListView2->setFocus();
        form->ListView2->setCurrentIndex(form->ListView2->items()->index(3, 0));
        QTest::keyClick(form->ListView2, Qt::Key_Return);
        FrameInspector *inspector = form->frameInspector();
        QVERIFY(QTest::qWaitForWindowExposed(inspector));
        QCOMPARE(inspector->windowTitle(), QStringLiteral("帧查看 - a.gif (第4帧/共25帧)"));
        QTRY_VERIFY(inspector->hasPicture());

        // A click on a frame item shows that frame.
        const QRect item = form->ListView2->visualRect(form->ListView2->items()->index(7, 0));
        QTest::mouseClick(form->ListView2->viewport(), Qt::LeftButton, {}, item.center());
        QCOMPARE(inspector->frame(), 7);

        // Stepping moves the list's current item and keeps its selection.
        form->ListView2->clearSelection();
        for (int row : {1, 2})
            form->ListView2->selectionModel()->select(form->ListView2->items()->index(row, 0),
                                                      QItemSelectionModel::Select);
        QTest::keyClick(inspector, Qt::Key_PageDown);
        QCOMPARE(inspector->frame(), 17);
        QCOMPARE(form->ListView2->currentIndex().row(), 17);
        QCOMPARE(form->ListView2->selectedRows(), (QList<int>{1, 2}));
        QVERIFY(form->ListView2->viewport()->rect().intersects(
            form->ListView2->visualRect(form->ListView2->items()->index(17, 0))));

        // A new file shows its frame 1; an emptied list shows no frame.
        form->ListView1->selectRow(1);
        QTRY_COMPARE(inspector->windowTitle(), QStringLiteral("帧查看 - b.gif (第1帧/共2帧)"));
        QTRY_VERIFY(inspector->hasPicture());
        QCOMPARE(inspector->canvas()->picture().size(), QSize(5, 5));
        form->ListView2->items()->clear();
        QCOMPARE(inspector->frame(), -1);
        QVERIFY(inspector->canvas()->picture().isNull());
        QCOMPARE(inspector->windowTitle(), QStringLiteral("帧查看"));
    }

    void keys_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("frame");
        QTest::addColumn<double>("zoom"); // 0: fitted to the window

        QTest::newRow("→ steps forward") << 5 << int(Qt::Key_Right) << 6 << 1.0;
        QTest::newRow(". steps forward") << 5 << int(Qt::Key_Period) << 6 << 1.0;
        QTest::newRow("← steps back") << 5 << int(Qt::Key_Left) << 4 << 1.0;
        QTest::newRow(", steps back") << 5 << int(Qt::Key_Comma) << 4 << 1.0;
        QTest::newRow("→ stays on the last frame") << 24 << int(Qt::Key_Right) << 24 << 1.0;
        QTest::newRow("Home goes to the first frame") << 5 << int(Qt::Key_Home) << 0 << 1.0;
        QTest::newRow("End goes to the last frame") << 5 << int(Qt::Key_End) << 24 << 1.0;
        QTest::newRow("Page Down steps 10 forward") << 5 << int(Qt::Key_PageDown) << 15 << 1.0;
        QTest::newRow("Page Up steps 10 back") << 15 << int(Qt::Key_PageUp) << 5 << 1.0;
        QTest::newRow("Page Up stops at the first frame") << 5 << int(Qt::Key_PageUp) << 0 << 1.0;
        QTest::newRow("+ zooms in a step") << 5 << int(Qt::Key_Plus) << 5 << 2.0;
        QTest::newRow("− zooms out a step") << 5 << int(Qt::Key_Minus) << 5 << 0.5;
        QTest::newRow("0 fits the window") << 5 << int(Qt::Key_0) << 5 << 0.0;
    }

    void keys()
    {
        QFETCH(int, start);
        QFETCH(int, key);
        QFETCH(int, frame);
        QFETCH(double, zoom);
        Inspected t;
        FrameInspector *inspector = t.open(start);
        QVERIFY(inspector);
        inspector->canvas()->setZoom(1);
        QTest::keyClick(inspector, Qt::Key(key));
        QCOMPARE(inspector->frame(), frame);
        QCOMPARE(inspector->canvas()->fitting(), zoom == 0);
        if (zoom > 0)
            QCOMPARE(inspector->canvas()->zoom(), zoom);
        QTRY_VERIFY(inspector->hasPicture());
        QCOMPARE(inspector->canvas()->picture().pixel(0, 0), frameColour(frame));
    }

    void pixelReadout_data()
    {
        QTest::addColumn<int>("frame");
        QTest::addColumn<QPoint>("pixel");
        QTest::addColumn<QString>("status");
        QTest::newRow("a coloured pixel of the patch, with its index in the local table")
            << 0 << QPoint(3, 1) << "x=3 y=1  R=10 G=20 B=30 A=255  索引=1";
        QTest::newRow("a transparent pixel of the patch has no index")
            << 0 << QPoint(2, 1) << "x=2 y=1  R=0 G=0 B=0 A=0";
        QTest::newRow("a pixel outside the stored rectangle has no index")
            << 0 << QPoint(7, 5) << "x=7 y=5  R=0 G=0 B=0 A=0";
        QTest::newRow("a whole frame's pixel, with its index in the global table")
            << 1 << QPoint(6, 4) << "x=6 y=4  R=16 G=239 B=7 A=255  索引=1";
        QTest::newRow("outside the picture") << 0 << QPoint(-3, -3) << "";
    }

    void pixelReadout()
    {
        QFETCH(int, frame);
        QFETCH(QPoint, pixel);
        QFETCH(QString, status);
        Inspected t;
        FrameInspector *inspector = t.open(frame);
        QVERIFY(inspector);
        QTRY_VERIFY(inspector->hasPicture());
        const int zoom = 8;
        inspector->canvas()->setZoom(zoom);
        const QPoint corner = inspector->canvas()->pictureRect().topLeft().toPoint();
        QTest::mouseMove(inspector->canvas(), corner + pixel * zoom + QPoint(zoom / 2, zoom / 2));
        QTRY_COMPARE(inspector->statusText(), status);
    }

    void ctrlWheelZoomKeepsThePixelUnderThePointer_data()
    {
        QTest::addColumn<int>("notch"); // +120 in, -120 out
        QTest::newRow("zooming in") << 120;
        QTest::newRow("zooming out") << -120;
    }

    void ctrlWheelZoomKeepsThePixelUnderThePointer()
    {
        QFETCH(int, notch);
        Inspected t;
        FrameInspector *inspector = t.open(1);
        QVERIFY(inspector);
        FrameCanvas *canvas = inspector->canvas();
        QTRY_VERIFY(inspector->hasPicture());
        canvas->setZoom(4);
        const QPointF at = canvas->pictureRect().topLeft() + QPointF(6.5 * 4, 4.5 * 4);
        QCOMPARE(canvas->pixelAt(at), QPoint(6, 4));
        QWheelEvent wheel(at, canvas->mapToGlobal(at), {}, QPoint(0, notch), Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(canvas, &wheel);
        QCOMPARE(canvas->zoom(), notch > 0 ? 6.0 : 3.0);
        QCOMPARE(canvas->pixelAt(at), QPoint(6, 4));
    }

    void drawing_data()
    {
        QTest::addColumn<QPoint>("pixel");
        QTest::addColumn<bool>("transparent");
        QTest::newRow("an opaque pixel is a whole square of its colour") << QPoint(3, 1) << false;
        QTest::newRow("a transparent pixel shows the checkerboard") << QPoint(2, 1) << true;
    }

    void drawing()
    {
        QFETCH(QPoint, pixel);
        QFETCH(bool, transparent);
        Inspected t;
        FrameInspector *inspector = t.open(0);
        QVERIFY(inspector);
        QTRY_VERIFY(inspector->hasPicture());
        // Twice the checkerboard's square, so a transparent pixel spans both shades.
        const int zoom = 16;
        inspector->canvas()->setZoom(zoom);
        const QImage shot = inspector->canvas()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QPoint corner = inspector->canvas()->pictureRect().topLeft().toPoint() + pixel * zoom;
        QSet<QRgb> colours;
        for (int y = 0; y < zoom; ++y)
            for (int x = 0; x < zoom; ++x)
                colours.insert(shot.pixel(corner + QPoint(x, y)));
        if (transparent)
            QCOMPARE(colours, (QSet<QRgb>{qRgb(255, 255, 255), qRgb(204, 204, 204)}));
        else
            QCOMPARE(colours, QSet<QRgb>{qRgb(PatchColour.r, PatchColour.g, PatchColour.b)});
    }

    void factsOfTheFrameShown_data()
    {
        QTest::addColumn<int>("frame");
        QTest::addColumn<QString>("facts");
        QTest::newRow("a patch with a local palette and transparency")
            << 0
            << "第1帧/共25帧\n存储延迟: 50 毫秒\n播放延迟: 50 毫秒\n位置: (2, 1)\n大小: 4×3\n"
               "处理方式: 不处理\n混合方式: 覆盖\n颜色表: 局部, 2 色\n透明色索引: 0\n隔行扫描: 否\n与上一帧相同: —";
        QTest::newRow("a whole frame on the global palette")
            << 1
            << "第2帧/共25帧\n存储延迟: 100 毫秒\n播放延迟: 100 毫秒\n位置: (0, 0)\n大小: 8×6\n"
               "处理方式: 不处理\n混合方式: 覆盖\n颜色表: 全局, 16 色\n透明色索引: 无\n隔行扫描: 否\n与上一帧相同: 否";
    }

    void factsOfTheFrameShown()
    {
        QFETCH(int, frame);
        QFETCH(QString, facts);
        Inspected t;
        FrameInspector *inspector = t.open(frame);
        QVERIFY(inspector);
        QTRY_COMPARE(inspector->factsText(), facts);
    }

    void factsOfEachFormat_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("frame");
        QTest::addColumn<QString>("facts");
        QTest::addColumn<int>("swatches");
        QTest::newRow("GIF: a patch at an offset on a local palette with transparency")
            << "stored.gif" << 1
            << "第2帧/共3帧\n存储延迟: 20 毫秒\n播放延迟: 20 毫秒\n位置: (2, 1)\n大小: 3×2\n"
               "处理方式: 不处理\n混合方式: 覆盖\n颜色表: 局部, 4 色\n透明色索引: 0\n隔行扫描: 否\n"
               "与上一帧相同: 否"
            << 4;
        QTest::newRow("GIF: a frame that leaves the picture as it was equals the previous one")
            << "stored.gif" << 2
            << "第3帧/共3帧\n存储延迟: 0 毫秒\n播放延迟: 100 毫秒\n位置: (0, 0)\n大小: 1×1\n"
               "处理方式: 不处理\n混合方式: 覆盖\n颜色表: 全局, 2 色\n透明色索引: 1\n隔行扫描: 否\n"
               "与上一帧相同: 是"
            << 2;
        QTest::newRow("APNG with a palette: its table's entries as swatches")
            << "palette.png" << 1
            << "第2帧/共2帧\n存储延迟: 50 毫秒\n播放延迟: 50 毫秒\n位置: (1, 1)\n大小: 3×2\n"
               "处理方式: 恢复为背景\n混合方式: 覆盖\n颜色表: 全局, 3 色\n透明色索引: 无\n隔行扫描: 否\n"
               "与上一帧相同: 否"
            << 3;
        QTest::newRow("WebP: true colour, no swatches")
            << "frames.webp" << 1
            << "第2帧/共3帧\n存储延迟: 40 毫秒\n播放延迟: 40 毫秒\n位置: (2, 2)\n大小: 4×4\n"
               "处理方式: 恢复为背景\n混合方式: 覆盖\n颜色表: 真彩色\n透明色索引: 无\n隔行扫描: 否\n"
               "与上一帧相同: 否"
            << 0;
    }

    void factsOfEachFormat()
    {
        QFETCH(QString, name);
        QFETCH(int, frame);
        QFETCH(QString, facts);
        QFETCH(int, swatches);
        QTemporaryDir dir;
        QVERIFY(writeStored(dir.filePath(QStringLiteral("stored.gif"))));
        QVERIFY(writeApng(dir.filePath(QStringLiteral("palette.png"))));
        QVERIFY(copyWebP(dir.filePath(QStringLiteral("frames.webp"))));
        Seams seams;
        Window w(dir.path());
        w.finishScan();
        int row = -1;
        for (int i = 0; i < w->ListView1->items()->count(); ++i)
            if (w->ListView1->items()->item(i).caption == name)
                row = i;
        QVERIFY(row >= 0);
        w->ListView1->selectRow(row);
        w->openFrameInspector(frame);
        FrameInspector *inspector = w->frameInspector();
        QVERIFY(QTest::qWaitForWindowExposed(inspector));
        QTRY_COMPARE(inspector->factsText(), facts);
        QTRY_COMPARE(inspector->swatches()->count(), swatches);
    }

    void overlays_data()
    {
        QTest::addColumn<int>("key"); // 0: no overlay
        QTest::addColumn<QPoint>("pixel");
        QTest::addColumn<QPoint>("offset"); // screen pixels from the pixel's square's corner
        QTest::addColumn<QList<QRgb>>("colours");
        const QList<QRgb> checker{qRgb(255, 255, 255), qRgb(204, 204, 204)};
        const QPoint middle(4, 4), outside(-1, -1);
        QTest::newRow("without overlays the composited canvas shows") << 0 << QPoint(0, 0) << middle
                                                                      << QList<QRgb>{qRgb(255, 0, 0)};
        QTest::newRow("the patch's transparent pixel shows the red below it")
            << 0 << QPoint(3, 1) << middle << QList<QRgb>{qRgb(255, 0, 0)};
        QTest::newRow("R outlines the stored rectangle, just outside it")
            << int(Qt::Key_R) << Stored.topLeft() << outside << QList<QRgb>{qRgb(255, 0, 255)};
        QTest::newRow("R leaves the rectangle's own pixels visible")
            << int(Qt::Key_R) << Stored.topLeft() << middle << QList<QRgb>{qRgb(0, 0, 255)};
        QTest::newRow("P shows the checkerboard outside the patch")
            << int(Qt::Key_P) << QPoint(0, 0) << middle << checker;
        QTest::newRow("P shows the patch's transparent pixel as transparent")
            << int(Qt::Key_P) << QPoint(3, 1) << middle << checker;
        QTest::newRow("P shows the patch's pixels at their place")
            << int(Qt::Key_P) << QPoint(4, 1) << middle << QList<QRgb>{qRgb(255, 255, 255)};
        QTest::newRow("D tints a pixel that differs from the previous frame")
            << int(Qt::Key_D) << Stored.topLeft() << middle << QList<QRgb>{qRgb(128, 0, 127)};
        QTest::newRow("D leaves a pixel that did not change")
            << int(Qt::Key_D) << QPoint(3, 1) << middle << QList<QRgb>{qRgb(255, 0, 0)};
    }

    void overlays()
    {
        QFETCH(int, key);
        QFETCH(QPoint, pixel);
        QFETCH(QPoint, offset);
        QFETCH(QList<QRgb>, colours);
        QTemporaryDir dir;
        QVERIFY(writeStored(dir.filePath(QStringLiteral("stored.gif"))));
        Seams seams;
        Window w(dir.path());
        w.finishScan();
        w->ListView1->selectRow(0);
        w->openFrameInspector(1);
        FrameInspector *inspector = w->frameInspector();
        QVERIFY(QTest::qWaitForWindowExposed(inspector));
        for (auto overlay : {FrameInspector::Overlay::FrameRect, FrameInspector::Overlay::PatchAlone,
                             FrameInspector::Overlay::Difference})
            inspector->overlayAction(overlay)->setChecked(false);
        if (key)
            QTest::keyClick(inspector, Qt::Key(key));
        QTRY_VERIFY(inspector->hasPicture() && inspector->hasPatch());
        QTRY_VERIFY(inspector->factsText().endsWith(QStringLiteral("否")));
        const int zoom = 8;
        inspector->canvas()->setZoom(zoom);
        const QImage shot = inspector->canvas()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QPoint at = inspector->canvas()->pictureRect().topLeft().toPoint() + pixel * zoom + offset;
        QVERIFY2(colours.contains(shot.pixel(at)), qPrintable(QString::number(shot.pixel(at), 16)));
        if (key) {
            // The overlay stays on while the program runs: a new window has it on.
            const auto overlay = key == Qt::Key_R   ? FrameInspector::Overlay::FrameRect
                               : key == Qt::Key_P ? FrameInspector::Overlay::PatchAlone
                                                  : FrameInspector::Overlay::Difference;
            ManualRunner runner;
            FrameInspection inspection(&runner);
            FrameInspector other(&inspection, nullptr);
            QVERIFY(other.overlayAction(overlay)->isChecked());
        }
    }

    void saveWritesTheFrameUnderTheExportName()
    {
        struct Picker final : seams::SaveFilePicker {
            QString suggested;
            QString answer;
            QString pickSaveFile(QWidget *, const QString &, const QString &s, const QString &) override
            {
                suggested = s;
                return answer;
            }
        } picker;
        Inspected t;
        picker.answer = t.dir.filePath(QStringLiteral("saved.png"));
        seams::setSaveFilePicker(&picker);
        FrameInspector *inspector = t.open(0);
        QVERIFY(inspector);
        QTRY_VERIFY(inspector->hasPicture());
        QTest::keyClick(inspector, Qt::Key_S, Qt::ControlModifier);
        seams::setSaveFilePicker(nullptr);
        QCOMPARE(picker.suggested, t.dir.filePath(QStringLiteral("a_1.png")));
        QCOMPARE(QImage(picker.answer).convertToFormat(QImage::Format_ARGB32), expectedFirstFrame());
    }

    void copyGivesTheExactPixels_data()
    {
        QTest::addColumn<bool>("fromList");
        QTest::newRow("Ctrl+C in the inspector copies the frame shown") << false;
        QTest::newRow("Ctrl+C on the frame list fetches the current frame first") << true;
    }

    void copyGivesTheExactPixels()
    {
        QFETCH(bool, fromList);
        Inspected t;
        TForm1 *form = t.form();
        QGuiApplication::clipboard()->clear();
        if (fromList) {
            form->ListView2->setFocus();
            form->ListView2->setCurrentIndex(form->ListView2->items()->index(0, 0));
            QTest::keyClick(form->ListView2, Qt::Key_C, Qt::ControlModifier);
        } else {
            FrameInspector *inspector = t.open(0);
            QVERIFY(inspector);
            QTRY_VERIFY(inspector->hasPicture());
            QTest::keyClick(inspector, Qt::Key_C, Qt::ControlModifier);
        }
        QTRY_VERIFY(QGuiApplication::clipboard()->mimeData()
                    && QGuiApplication::clipboard()->mimeData()->hasFormat(QStringLiteral("image/png")));
        const QImage png = QImage::fromData(
            QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("image/png")), "PNG");
        QCOMPARE(png.convertToFormat(QImage::Format_ARGB32), expectedFirstFrame());
        QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_ARGB32),
                 expectedFirstFrame());
    }
};

QTEST_MAIN(TestInspector)
#include "tst_inspector.moc"
