// How each frame is stored, as engine::Image publishes it from the decoders'
// scans: rectangle as stored, disposal, blend, stored delay and the palette
// facts, for GIF, APNG and WebP; and each frame's stored patch decoded alone.

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "common/apngwriter.h"
#include "common/gifwriter.h"
#include "imaging/engine/image.h"

using engine::Blend;
using engine::Disposal;
using engine::FrameRecord;
using engine::Rect;

namespace {

FrameRecord record(Rect rect, Disposal disposal, Blend blend, std::uint32_t delayMs, int colors = -1,
                   bool localColors = false, int transparentIndex = -1, bool interlaced = false)
{
    FrameRecord r;
    r.rect = rect;
    r.disposal = disposal;
    r.blend = blend;
    r.delayMs = delayMs;
    r.colors = colors;
    r.localColors = localColors;
    r.transparentIndex = transparentIndex;
    r.interlaced = interlaced;
    return r;
}

QByteArray dataFile(const char *name)
{
    QFile f(QStringLiteral(FG_TEST_DATA "/") + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

fgtest::ApngFrame apngFrame(const QImage &image, int x, int y, std::uint8_t dispose, std::uint8_t blend,
                            std::uint16_t delayNum)
{
    fgtest::ApngFrame f;
    f.image = image;
    f.x = x;
    f.y = y;
    f.dispose = dispose;
    f.blend = blend;
    f.delayNum = delayNum;
    f.delayDen = 100;
    return f;
}

} // namespace

namespace QTest {
template <>
char *toString(const FrameRecord &r)
{
    return qstrdup(QStringLiteral("(%1,%2 %3x%4 %5 %6 %7ms colors %8%9 transparent %10%11)")
                       .arg(r.rect.x).arg(r.rect.y).arg(r.rect.w).arg(r.rect.h)
                       .arg(QLatin1String(engine::disposalName(r.disposal)))
                       .arg(QLatin1String(engine::blendName(r.blend)))
                       .arg(r.delayMs).arg(r.colors)
                       .arg(r.localColors ? QStringLiteral(" local") : QString())
                       .arg(r.transparentIndex)
                       .arg(r.interlaced ? QStringLiteral(" interlaced") : QString())
                       .toUtf8().constData());
}
} // namespace QTest

Q_DECLARE_METATYPE(std::vector<FrameRecord>)

namespace {

// A pixel of a frame's patch, at canvas coordinates: its ARGB and its index (-1: none).
struct Probe {
    int x, y;
    QRgb argb;
    int index;
};

} // namespace

Q_DECLARE_METATYPE(std::vector<Probe>)
Q_DECLARE_METATYPE(Rect)

class TestFrameRecords : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_serial = 0;

private slots:
    void recordsFromTheScan_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<std::vector<FrameRecord>>("expected");

        fgtest::GifSpec gif;
        gif.width = 10;
        gif.height = 8;
        gif.globalPalette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}};
        fgtest::GifFrame whole;
        whole.indexes = fgtest::filled(80, 1);
        whole.delay = 7;
        whole.disposal = 1;
        fgtest::GifFrame local;
        local.x = 3;
        local.y = 2;
        local.w = 4;
        local.h = 5;
        local.localPalette = std::vector<fgtest::GifRgb>(9);
        local.indexes = fgtest::filled(20, 4);
        local.transparent = 4;
        local.disposal = 2;
        local.interlace = true;
        fgtest::GifFrame beyond; // reaching past the screen; reserved disposal code
        beyond.x = 8;
        beyond.y = 6;
        beyond.w = 5;
        beyond.h = 3;
        beyond.indexes = fgtest::filled(15, 2);
        beyond.disposal = 3;
        beyond.delay = 1;
        fgtest::GifFrame reserved = whole;
        reserved.disposal = 5;
        reserved.delay = 0;
        gif.frames = {whole, local, beyond, reserved};
        QTest::newRow("GIF: descriptor rectangles as stored, local and global tables, transparency, interlacing")
            << fgtest::gifBytes(gif)
            << std::vector<FrameRecord>{
                   record({0, 0, 10, 8}, Disposal::None, Blend::Over, 70, 4),
                   record({3, 2, 4, 5}, Disposal::Background, Blend::Over, 0, 16, true, 4, true),
                   record({8, 6, 5, 3}, Disposal::Previous, Blend::Over, 10, 4),
                   record({0, 0, 10, 8}, Disposal::None, Blend::Over, 0, 4)};

        fgtest::GifSpec grey;
        grey.width = grey.height = 2;
        grey.globalPalette = {{0, 0, 0}, {255, 255, 255}};
        grey.storedGlobalEntries = 0;
        fgtest::GifFrame plain;
        plain.indexes = fgtest::filled(4, 1);
        grey.frames = {plain};
        QTest::newRow("GIF without any palette: the 256 grey levels it is drawn with")
            << fgtest::gifBytes(grey)
            << std::vector<FrameRecord>{record({0, 0, 2, 2}, Disposal::None, Blend::Over, 0, 256)};

        fgtest::ApngSpec apng;
        apng.width = 6;
        apng.height = 5;
        apng.frames = {apngFrame(fgtest::solidImage(6, 5, 0xFFFF0000), 0, 0, 0, 0, 4),
                       apngFrame(fgtest::solidImage(2, 3, 0x800000FF), 4, 2, 1, 1, 25),
                       apngFrame(fgtest::solidImage(3, 1, 0xFF00FF00), 1, 4, 2, 0, 0)};
        QTest::newRow("APNG: fcTL rectangles, dispose and blend ops, true colour")
            << fgtest::apngBytes(apng)
            << std::vector<FrameRecord>{record({0, 0, 6, 5}, Disposal::None, Blend::Source, 40),
                                        record({4, 2, 2, 3}, Disposal::Background, Blend::Over, 250),
                                        record({1, 4, 3, 1}, Disposal::Previous, Blend::Source, 0)};

        QImage indexed(3, 1, QImage::Format_Indexed8);
        indexed.setColorTable({0xFFFF0000, 0xFF00FF00, 0x00000000});
        indexed.fill(1);
        fgtest::ApngSpec palette;
        palette.width = 3;
        palette.height = 2;
        palette.frames = {apngFrame(indexed, 0, 0, 2, 0, 10), apngFrame(indexed, 0, 1, 0, 1, 10)};
        QTest::newRow("APNG with a palette: its entries; the first frame's stored dispose op kept")
            << fgtest::apngBytes(palette)
            << std::vector<FrameRecord>{record({0, 0, 3, 1}, Disposal::Previous, Blend::Source, 100, 3),
                                        record({0, 1, 3, 1}, Disposal::None, Blend::Over, 100, 3)};

        QTest::newRow("WebP: ANMF offsets and sizes, dispose to background, no blend as source")
            << dataFile("webp-lossless-blend-dispose.webp")
            << std::vector<FrameRecord>{record({0, 0, 8, 8}, Disposal::None, Blend::Source, 33),
                                        record({2, 2, 4, 4}, Disposal::Background, Blend::Over, 40),
                                        record({0, 0, 2, 2}, Disposal::None, Blend::Source, 100)};
        QTest::newRow("WebP still picture: one record over the canvas")
            << dataFile("webp-still.webp")
            << std::vector<FrameRecord>{record({0, 0, 8, 8}, Disposal::None, Blend::Over, 0)};
    }

    void recordsFromTheScan()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(std::vector<FrameRecord>, expected);
        QVERIFY(!bytes.isEmpty());
        const QString path = m_dir.filePath(QString::number(++m_serial));
        QVERIFY(fgtest::writeBytes(path, bytes));
        auto img = engine::Image::load(path);
        QVERIFY(img);
        const std::vector<FrameRecord> records = img->frameRecords();
        QCOMPARE(records.size(), expected.size());
        for (std::size_t i = 0; i < records.size(); ++i)
            QCOMPARE(records[i], expected[i]);
    }

    void patchOfAFrameDecodedAlone_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("frame");
        QTest::addColumn<Rect>("rect");
        QTest::addColumn<std::vector<Probe>>("probes");
        QTest::addColumn<std::vector<QRgb>>("colors");

        const fgtest::GifRgb red{255, 0, 0}, a{1, 2, 3}, b{40, 50, 60}, c{70, 80, 90}, d{100, 110, 120};
        fgtest::GifSpec gif;
        gif.width = 10;
        gif.height = 8;
        gif.globalPalette = {red, {0, 255, 0}};
        fgtest::GifFrame whole;
        whole.indexes = fgtest::filled(80, 0);
        fgtest::GifFrame patch;
        patch.x = 3;
        patch.y = 2;
        patch.w = 4;
        patch.h = 2;
        patch.localPalette = {a, b, c, d};
        patch.indexes = {0, 1, 2, 3, 3, 2, 1, 0};
        patch.transparent = 0;
        fgtest::GifFrame beyond;
        beyond.x = 8;
        beyond.y = 6;
        beyond.w = 5;
        beyond.h = 3;
        beyond.indexes = fgtest::filled(15, 1);
        gif.frames = {whole, patch, beyond};
        const QByteArray gifFile = fgtest::gifBytes(gif);
        QTest::newRow("GIF: a local palette at an offset, transparent where the canvas shows red")
            << gifFile << 1 << Rect{3, 2, 4, 2}
            << std::vector<Probe>{{3, 2, 0u, 0}, {4, 2, qRgb(40, 50, 60), 1}, {6, 3, 0u, 0},
                                  {3, 3, qRgb(100, 110, 120), 3}, {2, 2, 0u, -1}}
            << std::vector<QRgb>{qRgb(1, 2, 3), qRgb(40, 50, 60), qRgb(70, 80, 90), qRgb(100, 110, 120)};
        QTest::newRow("GIF: a frame reaching past the screen is cut to it, on the global palette")
            << gifFile << 2 << Rect{8, 6, 2, 2}
            << std::vector<Probe>{{9, 7, qRgb(0, 255, 0), 1}}
            << std::vector<QRgb>{qRgb(255, 0, 0), qRgb(0, 255, 0)};

        QImage indexed(3, 1, QImage::Format_Indexed8);
        indexed.setColorTable({0xFFFF0000, 0xFF00FF00, 0x00000000});
        for (int x = 0; x < 3; ++x)
            indexed.setPixel(x, 0, uint(x));
        fgtest::ApngSpec palette;
        palette.width = 3;
        palette.height = 2;
        palette.frames = {apngFrame(indexed, 0, 0, 0, 0, 10), apngFrame(indexed, 0, 1, 0, 1, 10)};
        QTest::newRow("APNG with a palette: indexes, and the table with tRNS's alphas")
            << fgtest::apngBytes(palette) << 1 << Rect{0, 1, 3, 1}
            << std::vector<Probe>{{0, 1, 0xFFFF0000, 0}, {1, 1, 0xFF00FF00, 1}, {2, 1, 0u, 2}}
            << std::vector<QRgb>{0xFFFF0000, 0xFF00FF00, 0x00000000};

        fgtest::ApngSpec rgba;
        rgba.width = 6;
        rgba.height = 5;
        rgba.frames = {apngFrame(fgtest::solidImage(6, 5, 0xFFFF0000), 0, 0, 0, 0, 4),
                       apngFrame(fgtest::solidImage(2, 3, 0x800000FF), 4, 2, 0, 1, 25)};
        QTest::newRow("APNG in true colour: the half-transparent frame as stored, not blended")
            << fgtest::apngBytes(rgba) << 1 << Rect{4, 2, 2, 3}
            << std::vector<Probe>{{5, 4, 0x800000FF, -1}} << std::vector<QRgb>{};

        QTest::newRow("WebP: the half-transparent frame as stored, not blended over the red")
            << dataFile("webp-lossless-blend-dispose.webp") << 1 << Rect{2, 2, 4, 4}
            << std::vector<Probe>{{2, 2, 0x8000FF00, -1}, {5, 5, 0x8000FF00, -1}} << std::vector<QRgb>{};
    }

    void patchOfAFrameDecodedAlone()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, frame);
        QFETCH(Rect, rect);
        QFETCH(std::vector<Probe>, probes);
        QFETCH(std::vector<QRgb>, colors);
        const QString path = m_dir.filePath(QString::number(++m_serial));
        QVERIFY(fgtest::writeBytes(path, bytes));
        auto img = engine::Image::load(path);
        QVERIFY(img);
        const QImage active = img->activeFrame().copy();
        engine::FramePatch patch;
        QCOMPARE(img->decodePatch(std::uint32_t(frame), patch), engine::Ok);
        QCOMPARE(patch.frame, std::uint32_t(frame));
        QVERIFY(patch.rect == rect);
        QCOMPARE(patch.pixels.size(), QSize(rect.w, rect.h));
        QCOMPARE(patch.indexes.size(), colors.empty() ? 0u : std::size_t(rect.w) * std::size_t(rect.h));
        QCOMPARE(patch.colors, colors);
        QVERIFY(!patch.damaged);
        for (const Probe &p : probes) {
            if (p.x >= rect.x && p.x < rect.x + rect.w && p.y >= rect.y && p.y < rect.y + rect.h)
                QCOMPARE(patch.pixels.pixel(p.x - rect.x, p.y - rect.y), p.argb);
            QCOMPARE(patch.indexAt(p.x, p.y), p.index);
        }
        // The frame shown stays as it was.
        QCOMPARE(img->activeFrameIndex(), 0u);
        QCOMPARE(img->activeFrame(), active);
        engine::FramePatch none;
        QCOMPARE(img->decodePatch(img->frameCount(), none), engine::InvalidParameter);
        QVERIFY(none.pixels.isNull());
    }
};

QTEST_GUILESS_MAIN(TestFrameRecords)
#include "tst_framerecords.moc"
