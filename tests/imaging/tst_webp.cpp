// WebP pictures behind engine::Image: composited frames (blend, dispose, offsets,
// alpha), delays in milliseconds, loop counts, still pictures, and files that are
// cut short, too large or named for another format. The files are in tests/data
// (see its README for how they were made).

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include "common/gifwriter.h"
#include "imaging/engine/image.h"
#include "imaging/engine/webpdecoder.h"

using engine::Image;
using engine::Status;

namespace {

QString dataFile(const char *name)
{
    return QStringLiteral(FG_TEST_DATA "/") + QLatin1String(name);
}

QRgb pixelOf(const QImage &image, int x, int y)
{
    const QRgb p = image.pixel(x, y);
    return qAlpha(p) == 0 ? 0u : p;
}

int channelDistance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
}

} // namespace

class TestWebP : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void losslessFrames_data()
    {
        QTest::addColumn<int>("frame");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<QRgb>("argb");
        QTest::newRow("the first frame covers the canvas") << 0 << 7 << 7 << QRgb(0xFFFF0000);
        // Half-transparent green over opaque red. libwebp's animation decoder
        // blends in fixed point and rounds down: 126, 127 where exact arithmetic
        // (ImageMagick) gives 127, 128.
        QTest::newRow("a half-transparent frame is blended at its offset") << 1 << 2 << 2 << qRgba(126, 127, 0, 255);
        QTest::newRow("the canvas outside the blended frame stays") << 1 << 1 << 1 << QRgb(0xFFFF0000);
        QTest::newRow("dispose to background clears to transparent, not to the file's white")
            << 2 << 3 << 3 << QRgb(0);
        QTest::newRow("the frame after the disposal is drawn") << 2 << 1 << 1 << QRgb(0xFF0000FF);
        QTest::newRow("outside the disposed rectangle the canvas stays") << 2 << 6 << 6 << QRgb(0xFFFF0000);
    }

    void losslessFrames()
    {
        QFETCH(int, frame);
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(QRgb, argb);
        Status st = engine::GenericError;
        auto img = Image::load(dataFile("webp-lossless-blend-dispose.webp"), &st);
        QVERIFY(img);
        QCOMPARE(st, engine::Ok);
        QCOMPARE(img->width(), 8);
        QCOMPARE(img->frameDimension(), engine::FrameDimensionTime);
        QCOMPARE(img->frameCount(), 3u);
        // Going back to an earlier frame restarts the animation.
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 2), engine::Ok);
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, std::uint32_t(frame)), engine::Ok);
        QCOMPARE(img->activeFrameIndex(), std::uint32_t(frame));
        QCOMPARE(img->activeFrame().format(), QImage::Format_ARGB32);
        QCOMPARE(pixelOf(img->activeFrame(), x, y), argb);
    }

    void delaysAndLoops()
    {
        auto img = Image::load(dataFile("webp-lossless-blend-dispose.webp"));
        QVERIFY(img);
        QCOMPARE(img->frameDelaysMs(), (std::vector<std::uint32_t>{33, 40, 100}));
        QVERIFY(img->hasFrameDelays());
        QCOMPARE(img->frameDelays(), (std::vector<std::uint32_t>{3, 4, 10}));
        QCOMPARE(img->loopCount(), 3);
        auto lossy = Image::load(dataFile("webp-lossy-alpha-no-blend.webp"));
        QVERIFY(lossy);
        QCOMPARE(lossy->frameDelaysMs(), (std::vector<std::uint32_t>{50, 60, 70}));
        QCOMPARE(lossy->loopCount(), 0);
    }

    void lossyFramesMatchImageMagick()
    {
        auto img = Image::load(dataFile("webp-lossy-alpha-no-blend.webp"));
        QVERIFY(img);
        QCOMPARE(img->frameCount(), 3u);
        for (std::uint32_t i = 0; i < 3; ++i) {
            QCOMPARE(img->selectFrame(engine::FrameDimensionTime, i), engine::Ok);
            const QImage ref = QImage(dataFile("webp-lossy-alpha-no-blend.coalesce-") + QString::number(i)
                                      + QStringLiteral(".png"))
                                   .convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(ref.size(), QSize(16, 16));
            for (int y = 0; y < 16; ++y) {
                for (int x = 0; x < 16; ++x) {
                    const QRgb mine = pixelOf(img->activeFrame(), x, y);
                    // The last frame is not blended: its transparent half clears the
                    // canvas, which ImageMagick blends anyway.
                    if (i == 2 && y >= 8 && x >= 8) {
                        QCOMPARE(mine, 0u);
                        continue;
                    }
                    if (channelDistance(mine, pixelOf(ref, x, y)) > 3)
                        QFAIL(qPrintable(QStringLiteral("frame %1 at %2,%3: %4 against %5")
                                             .arg(i).arg(x).arg(y).arg(mine, 8, 16).arg(pixelOf(ref, x, y), 8, 16)));
                }
            }
        }
    }

    void stillPictureIsOneTimedFrame()
    {
        auto img = Image::load(dataFile("webp-still.webp"));
        QVERIFY(img);
        QCOMPARE(img->frameCount(), 1u);
        QCOMPARE(img->frameDimension(), engine::FrameDimensionTime);
        QVERIFY(img->hasFrameDelays());
        QCOMPARE(img->frameDelaysMs(), std::vector<std::uint32_t>{0});
        QCOMPARE(img->loopCount(), -1);
        QCOMPARE(pixelOf(img->activeFrame(), 4, 4), QRgb(0xFFFF0000));
    }

    void unreadableFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QFile f(dataFile("webp-lossless-blend-dispose.webp"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray whole = f.readAll();
        QTest::newRow("cut after the header") << whole.left(20);
        QByteArray garbage = whole;
        for (qsizetype i = 40; i < garbage.size(); i += 3)
            garbage[i] = char(garbage[i] ^ 0x5A);
        QTest::newRow("frame data overwritten") << garbage;
    }

    void unreadableFiles()
    {
        // Whatever is left: no crash, and either a clean failure or frames that select.
        QFETCH(QByteArray, bytes);
        const QString path = m_dir.filePath(QStringLiteral("broken.webp"));
        QVERIFY(fgtest::writeBytes(path, bytes));
        Status st = engine::Ok;
        auto img = Image::load(path, &st);
        if (!img) {
            QVERIFY(st != engine::Ok);
            return;
        }
        for (std::uint32_t i = 0; i < img->frameCount(); ++i)
            img->selectFrame(engine::FrameDimensionTime, i);
        QVERIFY(img->activeFrameIndex() < img->frameCount());
    }

    void cutShortKeepsTheWholeFrames()
    {
        QFile f(dataFile("webp-lossless-blend-dispose.webp"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray whole = f.readAll();
        const QString path = m_dir.filePath(QStringLiteral("cut.webp"));
        QVERIFY(fgtest::writeBytes(path, whole.left(whole.size() - 10)));
        auto full = Image::load(dataFile("webp-lossless-blend-dispose.webp"));
        Status st = engine::GenericError;
        auto cut = Image::load(path, &st);
        QVERIFY(cut);
        QCOMPARE(st, engine::Ok);
        QCOMPARE(cut->frameCount(), 2u);
        QCOMPARE(cut->frameDelaysMs(), (std::vector<std::uint32_t>{33, 40}));
        for (std::uint32_t i = 0; i < 2; ++i) {
            QCOMPARE(cut->selectFrame(engine::FrameDimensionTime, i), engine::Ok);
            QCOMPARE(full->selectFrame(engine::FrameDimensionTime, i), engine::Ok);
            QCOMPARE(cut->activeFrame(), full->activeFrame());
        }
    }

    void namedForAnotherFormat()
    {
        const QString path = m_dir.filePath(QStringLiteral("moving.gif"));
        QVERIFY(QFile::copy(dataFile("webp-lossless-blend-dispose.webp"), path));
        auto img = Image::load(path);
        QVERIFY(img);
        QCOMPARE(img->frameCount(), 3u);
        QCOMPARE(img->frameDelaysMs()[0], 33u);
    }

    void overTheSizeCapIsRefused()
    {
        // A sparse file: over the cap without writing it.
        const QString path = m_dir.filePath(QStringLiteral("huge.webp"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.write("RIFF\xff\xff\xff\x7fWEBPVP8X", 16) == 16);
        QVERIFY(f.resize(engine::MaxWebPFileBytes + 1));
        f.close();
        Status st = engine::Ok;
        QVERIFY(!Image::load(path, &st));
        QCOMPARE(st, engine::OutOfMemory);
    }
};

QTEST_GUILESS_MAIN(TestWebP)
#include "tst_webp.moc"
