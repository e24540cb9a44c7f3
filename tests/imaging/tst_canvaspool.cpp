// A decoder's canvas buffers are recycled: a frame handed out keeps its pixels
// while the canvas is drawn on, the buffer of a frame let go is drawn on next
// (whichever thread let it go), and frames outlive the pool.

#include <QImage>
#include <QtTest>

#include <memory>
#include <thread>

#include "imaging/engine/canvaspool.h"

using engine::CanvasPool;

namespace {

QImage canvasOf(QRgb colour)
{
    QImage canvas(32, 24, QImage::Format_ARGB32);
    canvas.fill(colour);
    return canvas;
}

} // namespace

class TestCanvasPool : public QObject {
    Q_OBJECT
private slots:
    void frameHandedOutKeepsItsPixels()
    {
        CanvasPool pool;
        QImage canvas = canvasOf(0xFF102030);
        canvas.setDotsPerMeterX(3780);
        canvas.setDotsPerMeterY(3780);
        const QImage frame = canvas; // handed out
        QVERIFY(pool.detach(canvas));
        QVERIFY(canvas.constBits() != frame.constBits());
        QCOMPARE(canvas, frame); // the drawing goes on from the same pixels
        QCOMPARE(canvas.dotsPerMeterX(), 3780);
        canvas.fill(0xFFFFFFFF);
        QCOMPARE(frame.pixel(3, 3), QRgb(0xFF102030));
    }

    void canvasNobodySharesIsLeftAlone()
    {
        CanvasPool pool;
        QImage canvas = canvasOf(0xFF102030);
        const uchar *before = canvas.constBits();
        QVERIFY(pool.detach(canvas));
        QCOMPARE(canvas.constBits(), before);
    }

    void bufferLetGoIsDrawnOnNext_data()
    {
        QTest::addColumn<bool>("onAnotherThread");
        QTest::newRow("frame let go on the decoder's thread") << false;
        QTest::newRow("frame let go on an encoder's thread") << true;
    }

    void bufferLetGoIsDrawnOnNext()
    {
        QFETCH(bool, onAnotherThread);
        CanvasPool pool;
        QImage canvas = canvasOf(0xFF102030);
        QImage first = canvas;
        QVERIFY(pool.detach(canvas)); // the canvas is now on a pool buffer
        QImage second = canvas;
        QVERIFY(pool.detach(canvas));
        const uchar *secondBuffer = second.constBits();
        if (onAnotherThread)
            std::thread([frame = std::move(second)]() mutable { frame = QImage(); }).join();
        else
            second = QImage();
        const QImage third = canvas;
        QVERIFY(pool.detach(canvas));
        QCOMPARE(canvas.constBits(), secondBuffer);
        QCOMPARE(canvas, third);
        QCOMPARE(first.pixel(0, 0), QRgb(0xFF102030));
    }

    void framesOutliveThePool()
    {
        QImage frame;
        {
            CanvasPool pool;
            QImage canvas = canvasOf(0xFF102030);
            QImage held = canvas;
            QVERIFY(pool.detach(canvas));
            canvas.fill(0xFF708090);
            frame = canvas; // made on a pool buffer
        }
        QCOMPARE(frame.pixel(5, 5), QRgb(0xFF708090));
        frame = QImage(); // gives the buffer back to a pool nobody else holds
    }
};

QTEST_GUILESS_MAIN(TestCanvasPool)
#include "tst_canvaspool.moc"
