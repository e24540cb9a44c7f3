// Frames as data: the content hash (equal pictures hash alike whatever the
// format, any difference in a pixel or the size shows), sampling by time, and
// where two frames differ.

#include <QTemporaryDir>
#include <QtTest>

#include <webp/encode.h>
#include <xxhash.h>

#include "common/apngwriter.h"
#include "common/gifwriter.h"
#include "core/framedifference.h"
#include "core/framehash.h"
#include "core/sampling.h"
#include "imaging/engine/image.h"

namespace {

// 3 x 2: red, green, blue / white, black, transparent.
const QRgb Pixels[2][3] = {{0xFFFF0000, 0xFF00FF00, 0xFF0000FF},
                           {0xFFFFFFFF, 0xFF000000, 0x00000000}};

QImage picture()
{
    QImage image(3, 2, QImage::Format_ARGB32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            image.setPixel(x, y, Pixels[y][x]);
    return image;
}

QImage solid(int w, int h, QRgb argb)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(argb);
    return image;
}

QImage withPixel(QImage image, int x, int y, QRgb argb)
{
    image.setPixel(x, y, argb);
    return image;
}

QByteArray gifOfPicture()
{
    fgtest::GifSpec spec;
    spec.width = 3;
    spec.height = 2;
    spec.globalPalette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}, {0, 0, 0},
                          {9, 9, 9}};
    fgtest::GifFrame f;
    f.indexes = {0, 1, 2, 3, 4, 5};
    f.transparent = 5; // its colour bits (9, 9, 9) must not count
    spec.frames.push_back(f);
    return fgtest::gifBytes(spec);
}

QByteArray apngOfPicture()
{
    fgtest::ApngSpec spec;
    spec.width = 3;
    spec.height = 2;
    spec.frames.push_back({withPixel(picture(), 2, 1, 0x00123456)});
    return fgtest::apngBytes(spec);
}

QByteArray webpOfPicture()
{
    const QImage rgba = picture().convertToFormat(QImage::Format_RGBA8888);
    std::uint8_t *out = nullptr;
    const std::size_t n = WebPEncodeLosslessRGBA(rgba.constBits(), rgba.width(), rgba.height(),
                                                 int(rgba.bytesPerLine()), &out);
    QByteArray bytes(reinterpret_cast<const char *>(out), qsizetype(n));
    WebPFree(out);
    return bytes;
}

} // namespace

class TestFrameData : public QObject {
    Q_OBJECT

private slots:
    void equalPicturesHashAlikeInEveryFormat_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::newRow("GIF with a transparent index") << gifOfPicture() << "p.gif";
        QTest::newRow("APNG in RGBA") << apngOfPicture() << "p.png";
        QTest::newRow("lossless WebP") << webpOfPicture() << "p.webp";
    }
    void equalPicturesHashAlikeInEveryFormat()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QVERIFY(fgtest::writeBytes(path, bytes));
        engine::Status status = engine::GenericError;
        const auto image = engine::Image::load(path, &status);
        QVERIFY2(image, qPrintable(QString::number(status)));
        QCOMPARE(frameHashText(frameHash(image->activeFrame())),
                 frameHashText(frameHash(picture())));
    }

    void hashTellsPicturesApart_data()
    {
        QTest::addColumn<QImage>("a");
        QTest::addColumn<QImage>("b");
        QTest::addColumn<bool>("equal");
        QTest::newRow("the same picture") << picture() << picture() << true;
        QTest::newRow("one pixel one step apart")
            << picture() << withPixel(picture(), 1, 0, 0xFF00FE00) << false;
        QTest::newRow("one pixel's alpha apart")
            << picture() << withPixel(picture(), 0, 0, 0xFEFF0000) << false;
        QTest::newRow("transparent pixels of other colour bits")
            << solid(2, 2, 0x00FF00FF) << solid(2, 2, 0x00000000) << true;
        QTest::newRow("same pixels, other size")
            << solid(2, 3, 0xFF102030) << solid(3, 2, 0xFF102030) << false;
        QTest::newRow("premultiplied input counts as its straight colours")
            << solid(2, 2, 0x80FF0000).convertToFormat(QImage::Format_ARGB32_Premultiplied)
            << solid(2, 2, 0x80FF0000) << true;
    }
    void hashTellsPicturesApart()
    {
        QFETCH(QImage, a);
        QFETCH(QImage, b);
        QFETCH(bool, equal);
        QCOMPARE(frameHash(a) == frameHash(b), equal);
    }

    // Width and height as 32-bit little-endian numbers, then R, G, B, A bytes
    // row by row, a transparent pixel as four zeros.
    void hashIsXxh3OverTheDefinedBytes()
    {
        const QByteArray bytes = QByteArray::fromHex("0300000002000000"
                                                     "ff0000ff" "00ff00ff" "0000ffff"
                                                     "ffffffff" "000000ff" "00000000");
        QCOMPARE(frameHash(withPixel(picture(), 2, 1, 0x00ABCDEF)),
                 std::uint64_t(XXH3_64bits(bytes.constData(), std::size_t(bytes.size()))));
    }

    void hashTextIsSixteenLowerCaseDigits()
    {
        QCOMPARE(frameHashText(0xABCull), QStringLiteral("0000000000000abc"));
    }

    void rateIsReadExactly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("numerator"); // 0: refused
        QTest::addColumn<qint64>("denominator");
        QTest::newRow("whole") << "10" << qint64(10) << qint64(1);
        QTest::newRow("decimal kept as a fraction") << "29.97" << qint64(2997) << qint64(100);
        QTest::newRow("below one") << "0.5" << qint64(5) << qint64(10);
        QTest::newRow("zero refused") << "0" << qint64(0) << qint64(0);
        QTest::newRow("zero with decimals refused") << "0.000" << qint64(0) << qint64(0);
        QTest::newRow("negative refused") << "-2" << qint64(0) << qint64(0);
        QTest::newRow("exponent refused") << "1e3" << qint64(0) << qint64(0);
        QTest::newRow("empty refused") << "" << qint64(0) << qint64(0);
        QTest::newRow("absurd rate refused") << "10000000" << qint64(0) << qint64(0);
    }
    void rateIsReadExactly()
    {
        QFETCH(QString, text);
        QFETCH(qint64, numerator);
        QFETCH(qint64, denominator);
        const std::optional<SampleRate> rate = parseSampleRate(text);
        QCOMPARE(rate.has_value(), numerator != 0);
        if (rate) {
            QCOMPARE(rate->numerator, numerator);
            QCOMPARE(rate->denominator, denominator);
        }
    }

    void samplesShowTheFramePlayingAtTheirTime_data()
    {
        QTest::addColumn<QList<qint64>>("played");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QList<qint64>>("times");
        QTest::addColumn<QList<int>>("frames");
        // Frames play 100 (a stored 0), 30, 270 and 50 ms: 0-100, 100-130, 130-400, 400-450.
        const QList<qint64> irregular{100, 30, 270, 50};
        QTest::newRow("10 per second, a sample on each boundary at 100 and 400")
            << irregular << "10" << QList<qint64>{0, 100, 200, 300, 400}
            << QList<int>{0, 1, 2, 2, 3};
        QTest::newRow("short frame between samples is never shown")
            << irregular << "4" << QList<qint64>{0, 250} << QList<int>{0, 2};
        QTest::newRow("thirds of a second rounded to whole ms")
            << QList<qint64>{500, 500} << "3" << QList<qint64>{0, 333, 667}
            << QList<int>{0, 0, 1};
        QTest::newRow("a frame played 0 ms is skipped")
            << QList<qint64>{0, 100} << "20" << QList<qint64>{0, 50} << QList<int>{1, 1};
        QTest::newRow("nothing played, no sample") << QList<qint64>{0} << "10" << QList<qint64>{}
                                                  << QList<int>{};
    }
    void samplesShowTheFramePlayingAtTheirTime()
    {
        QFETCH(QList<qint64>, played);
        QFETCH(QString, rate);
        QFETCH(QList<qint64>, times);
        QFETCH(QList<int>, frames);
        const std::vector<Sample> samples =
            sampleByTime(std::vector<std::int64_t>(played.begin(), played.end()),
                         *parseSampleRate(rate));
        QList<qint64> gotTimes;
        QList<int> gotFrames;
        for (const Sample &s : samples) {
            gotTimes << s.timeMs;
            gotFrames << int(s.frame);
        }
        QCOMPARE(gotTimes, times);
        QCOMPARE(gotFrames, frames);
    }

    void whereTwoFramesDiffer_data()
    {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<QImage>("previous");
        QTest::addColumn<bool>("equal");
        QTest::addColumn<QRect>("bounds");

        QImage red(5, 4, QImage::Format_ARGB32);
        red.fill(qRgba(255, 0, 0, 255));
        QImage twoChanged = red.copy();
        twoChanged.setPixel(1, 1, qRgba(0, 0, 255, 255));
        twoChanged.setPixel(3, 2, qRgba(255, 0, 0, 254));
        QImage clear(5, 4, QImage::Format_ARGB32);
        clear.fill(0u);
        QImage clearOtherColour(5, 4, QImage::Format_ARGB32);
        clearOtherColour.fill(qRgba(9, 9, 9, 0));
        QTest::newRow("equal pictures") << red << red.convertToFormat(QImage::Format_RGB32) << true << QRect();
        QTest::newRow("changed pixels, the alpha too, are marked and bounded")
            << twoChanged << red << false << QRect(1, 1, 3, 2);
        QTest::newRow("transparent pixels are equal whatever colour they carry")
            << clear << clearOtherColour << true << QRect();
        QTest::newRow("pictures of different sizes are not equal")
            << red << red.copy(0, 0, 4, 4) << false << QRect();
    }

    void whereTwoFramesDiffer()
    {
        QFETCH(QImage, picture);
        QFETCH(QImage, previous);
        QFETCH(bool, equal);
        QFETCH(QRect, bounds);
        const FrameDifference d = frameDifference(picture, previous);
        QCOMPARE(d.equal, equal);
        QCOMPARE(d.bounds, bounds);
        QCOMPARE(d.mask.isNull(), picture.size() != previous.size());
        if (d.mask.isNull())
            return;
        const QImage a = picture.convertToFormat(QImage::Format_ARGB32);
        const QImage b = previous.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                QCOMPARE(d.mask.pixelIndex(x, y),
                         a.pixel(x, y) != b.pixel(x, y) && (qAlpha(a.pixel(x, y)) || qAlpha(b.pixel(x, y))) ? 1 : 0);
    }
};

QTEST_GUILESS_MAIN(TestFrameData)
#include "tst_framedata.moc"
