// The GIF decoder and compositor behind engine::Image: what each frame looks
// like (disposal, transparency, interlace, clipping, palettes), frame delays and
// loop counts, frame selection, and files that are broken or not GIFs at all.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <sys/types.h>

#include "common/gifwriter.h"
#include "imaging/engine/image.h"

using engine::Image;
using engine::Status;
using fgtest::GifFrame;
using fgtest::GifRgb;
using fgtest::GifSpec;

Q_DECLARE_METATYPE(fgtest::GifSpec)

namespace {

constexpr QRgb Clear = 0x00000000;
constexpr QRgb Black = 0xFF000000;
constexpr QRgb Red = 0xFFFF0000;
constexpr QRgb Green = 0xFF00FF00;
constexpr QRgb Blue = 0xFF0000FF;
constexpr QRgb White = 0xFFFFFFFF;

// Indexes 0..3 of the global palette used by most fixtures.
const std::vector<GifRgb> Rgbw = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};

GifFrame rect(int x, int y, int w, int h, std::uint8_t index, int disposal = 0)
{
    GifFrame f;
    f.x = x;
    f.y = y;
    f.w = w;
    f.h = h;
    f.indexes = fgtest::filled(w * h, index);
    f.disposal = disposal;
    return f;
}

// One row of the active frame, as ARGB values; transparent pixels read 0
// whatever colour lies under them.
QList<QRgb> rowOf(const Image &img, int y)
{
    QList<QRgb> out;
    const QImage &f = img.activeFrame();
    for (int x = 0; x < f.width(); ++x) {
        const QRgb p = f.pixel(x, y);
        out << (qAlpha(p) == 0 ? Clear : p);
    }
    return out;
}

QList<QRgb> columnOf(const Image &img, int x)
{
    QList<QRgb> out;
    const QImage &f = img.activeFrame();
    for (int y = 0; y < f.height(); ++y) {
        const QRgb p = f.pixel(x, y);
        out << (qAlpha(p) == 0 ? Clear : p);
    }
    return out;
}

} // namespace

class TestDecoder : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_serial = 0;

    QString write(const GifSpec &spec)
    {
        const QString path = m_dir.filePath(QStringLiteral("f%1.gif").arg(++m_serial));
        if (!fgtest::writeGif(path, spec))
            return {};
        return path;
    }
    QString writeRaw(const QByteArray &bytes, const QString &suffix = QStringLiteral(".gif"))
    {
        const QString path = m_dir.filePath(QStringLiteral("r%1%2").arg(++m_serial).arg(suffix));
        if (!fgtest::writeBytes(path, bytes))
            return {};
        return path;
    }
    std::unique_ptr<Image> load(const GifSpec &spec, Status *status = nullptr)
    {
        const QString path = write(spec);
        if (path.isEmpty())
            return nullptr;
        return Image::load(path, status);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // --- compositing -------------------------------------------------------

    void disposal_data()
    {
        QTest::addColumn<int>("disposal");
        QTest::addColumn<QList<QRgb>>("third");

        // Frame 0 paints the row red, frame 1 paints the middle green with the
        // disposal under test, frame 2 paints only the last pixel blue.
        QTest::newRow("unspecified keeps") << 0 << QList<QRgb>{Red, Green, Green, Blue};
        QTest::newRow("leave keeps") << 1 << QList<QRgb>{Red, Green, Green, Blue};
        QTest::newRow("background clears to transparent") << 2 << QList<QRgb>{Red, Clear, Clear, Blue};
        QTest::newRow("previous restores") << 3 << QList<QRgb>{Red, Red, Red, Blue};
        QTest::newRow("undefined values keep") << 5 << QList<QRgb>{Red, Green, Green, Blue};
    }
    void disposal()
    {
        QFETCH(int, disposal);
        QFETCH(QList<QRgb>, third);
        GifSpec spec;
        spec.width = 4;
        spec.height = 1;
        spec.globalPalette = Rgbw;
        spec.frames = {rect(0, 0, 4, 1, 1), rect(1, 0, 2, 1, 2, disposal), rect(3, 0, 1, 1, 3)};
        auto img = load(spec);
        QVERIFY(img);
        QCOMPARE(img->frameCount(), 3u);
        QCOMPARE(rowOf(*img, 0), (QList<QRgb>{Red, Red, Red, Red}));
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 1), engine::Ok);
        QCOMPARE(rowOf(*img, 0), (QList<QRgb>{Red, Green, Green, Red}));
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 2), engine::Ok);
        QCOMPARE(rowOf(*img, 0), third);
    }

    void previousChains()
    {
        // Two "previous" frames in a row both go back to what frame 0 left, and
        // "previous" on the very first frame goes back to transparent.
        GifSpec spec;
        spec.width = 3;
        spec.height = 1;
        spec.globalPalette = Rgbw;
        spec.frames = {rect(0, 0, 1, 1, 1, 3), rect(1, 0, 1, 1, 2, 3), rect(1, 0, 2, 1, 3, 3),
                       rect(2, 0, 1, 1, 2)};
        auto img = load(spec);
        QVERIFY(img);
        QCOMPARE(rowOf(*img, 0), (QList<QRgb>{Red, Clear, Clear}));
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 1), engine::Ok);
        QCOMPARE(rowOf(*img, 0), (QList<QRgb>{Clear, Green, Clear}));
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 2), engine::Ok);
        QCOMPARE(rowOf(*img, 0), (QList<QRgb>{Clear, Blue, Blue}));
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 3), engine::Ok);
        QCOMPARE(rowOf(*img, 0), (QList<QRgb>{Clear, Clear, Green}));
    }

    void transparency()
    {
        GifSpec spec;
        spec.width = 4;
        spec.height = 1;
        spec.globalPalette = Rgbw;
        GifFrame first = rect(0, 0, 4, 1, 1);
        first.indexes = {1, 0, 1, 0};
        first.transparent = 0; // black is transparent in the first frame
        GifFrame second = rect(0, 0, 4, 1, 2);
        second.indexes = {3, 3, 2, 2};
        second.transparent = 3; // blue lets the canvas show through
        GifFrame third = rect(0, 0, 4, 1, 0);
        third.indexes = {0, 1, 0, 1}; // no transparent index: black is black
        spec.frames = {first, second, third};
        auto img = load(spec);
        QVERIFY(img);
        QCOMPARE(rowOf(*img, 0), (QList<QRgb>{Red, Clear, Red, Clear}));
        QCOMPARE(img->activeFrame().format(), QImage::Format_ARGB32);
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 1), engine::Ok);
        QCOMPARE(rowOf(*img, 0), (QList<QRgb>{Red, Clear, Green, Green}));
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 2), engine::Ok);
        QCOMPARE(rowOf(*img, 0), (QList<QRgb>{Black, Red, Black, Red}));
    }

    void interlace_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("screenHeight");
        QTest::newRow("1 row") << 1 << 1;
        QTest::newRow("5 rows") << 5 << 5;
        QTest::newRow("17 rows") << 17 << 17;
        QTest::newRow("17 rows, 6 on screen") << 17 << 6;
    }
    void interlace()
    {
        QFETCH(int, height);
        QFETCH(int, screenHeight);
        // Row y has index y: grey levels without a palette make every row unique.
        GifSpec spec;
        spec.width = 2;
        spec.height = screenHeight;
        std::vector<GifRgb> greys;
        for (int i = 0; i < 32; ++i)
            greys.push_back({std::uint8_t(i * 8), std::uint8_t(i * 8), std::uint8_t(i * 8)});
        spec.globalPalette = greys;
        GifFrame f = rect(0, 0, 2, height, 0);
        for (int y = 0; y < height; ++y)
            f.indexes[std::size_t(2 * y)] = f.indexes[std::size_t(2 * y + 1)] = std::uint8_t(y);
        f.interlace = true;
        spec.frames = {f};
        auto img = load(spec);
        QVERIFY(img);
        QList<QRgb> want;
        for (int y = 0; y < screenHeight; ++y)
            want << qRgb(y * 8, y * 8, y * 8);
        QCOMPARE(columnOf(*img, 0), want);
        QCOMPARE(columnOf(*img, 1), want);
    }

    void everyPixel_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("colours");
        QTest::addColumn<int>("pattern");
        QTest::addColumn<bool>("interlace");
        // Long runs make strings that cross row ends; noise over 256 colours
        // fills the code table many times over.
        QTest::newRow("solid") << 300 << 40 << 2 << 0 << false;
        QTest::newRow("stripes") << 97 << 50 << 16 << 1 << false;
        QTest::newRow("noise, 256 colours") << 131 << 61 << 256 << 2 << false;
        QTest::newRow("noise, 2 colours") << 64 << 64 << 2 << 2 << false;
        QTest::newRow("ramp, interlaced") << 256 << 45 << 256 << 3 << true;
        QTest::newRow("one column") << 1 << 300 << 4 << 2 << false;
    }
    void everyPixel()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(int, colours);
        QFETCH(int, pattern);
        QFETCH(bool, interlace);
        GifSpec spec;
        spec.width = w;
        spec.height = h;
        for (int i = 0; i < colours; ++i)
            spec.globalPalette.push_back({std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)});
        GifFrame f = rect(0, 0, w, h, 0);
        f.interlace = interlace;
        std::uint32_t seed = 7;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                seed = seed * 1103515245u + 12345u;
                const int v = pattern == 0 ? 1
                    : pattern == 1         ? (x / 5 + y) % colours
                    : pattern == 2         ? int((seed >> 16) % std::uint32_t(colours))
                                           : (x + y) % colours;
                f.indexes[std::size_t(y * w + x)] = std::uint8_t(v);
            }
        spec.frames = {f};
        auto img = load(spec);
        QVERIFY(img);
        const QImage &frame = img->activeFrame();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const GifRgb c = spec.globalPalette[f.indexes[std::size_t(y * w + x)]];
                if (frame.pixel(x, y) != qRgb(c.r, c.g, c.b))
                    QFAIL(qPrintable(QStringLiteral("pixel %1, %2").arg(x).arg(y)));
            }
    }

    void clippedToScreen()
    {
        // A frame hanging over the right and bottom edges is cut at the screen.
        GifSpec spec;
        spec.width = 3;
        spec.height = 2;
        spec.globalPalette = Rgbw;
        GifFrame f = rect(1, 1, 4, 3, 0);
        for (int i = 0; i < 12; ++i)
            f.indexes[std::size_t(i)] = std::uint8_t(1 + i % 3);
        spec.frames = {rect(0, 0, 3, 2, 0), f};
        auto img = load(spec);
        QVERIFY(img);
        QCOMPARE(img->width(), 3);
        QCOMPARE(img->height(), 2);
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 1), engine::Ok);
        QCOMPARE(rowOf(*img, 0), (QList<QRgb>{Black, Black, Black}));
        QCOMPARE(rowOf(*img, 1), (QList<QRgb>{Black, Red, Green}));
    }

    void firstFrameOutsideScreen()
    {
        // Still a frame: the canvas stays transparent under it.
        GifSpec spec;
        spec.width = 2;
        spec.height = 2;
        spec.globalPalette = Rgbw;
        spec.frames = {rect(10, 10, 2, 2, 1, 2), rect(0, 0, 1, 1, 2)};
        spec.frames[0].delay = 7;
        auto img = load(spec);
        QVERIFY(img);
        QCOMPARE(img->frameCount(), 2u);
        QCOMPARE(img->frameDelays(), (std::vector<std::uint32_t>{7, 0}));
        QCOMPARE(rowOf(*img, 0), (QList<QRgb>{Clear, Clear}));
        QCOMPARE(rowOf(*img, 1), (QList<QRgb>{Clear, Clear}));
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 1), engine::Ok);
        QCOMPARE(rowOf(*img, 0), (QList<QRgb>{Green, Clear}));
    }

    void partialFirstFrame()
    {
        // No background colour is painted around a first frame that does not
        // cover the screen, even with a background index in the screen.
        GifSpec spec;
        spec.width = 3;
        spec.height = 2;
        spec.globalPalette = Rgbw;
        spec.backgroundIndex = 1;
        spec.frames = {rect(1, 1, 1, 1, 3)};
        auto img = load(spec);
        QVERIFY(img);
        QCOMPARE(rowOf(*img, 0), (QList<QRgb>{Clear, Clear, Clear}));
        QCOMPARE(rowOf(*img, 1), (QList<QRgb>{Clear, Blue, Clear}));
    }

    void palettes()
    {
        GifSpec spec;
        spec.width = 2;
        spec.height = 1;
        spec.globalPalette = Rgbw;
        GifFrame local = rect(0, 0, 2, 1, 0);
        local.indexes = {0, 1};
        local.localPalette = {{255, 255, 255}, {0, 0, 255}};
        GifFrame global = rect(1, 0, 1, 1, 1);
        spec.frames = {local, global};
        auto img = load(spec);
        QVERIFY(img);
        QCOMPARE(rowOf(*img, 0), (QList<QRgb>{White, Blue}));
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 1), engine::Ok);
        QCOMPARE(rowOf(*img, 0), (QList<QRgb>{White, Red})); // global palette again
    }

    void noPaletteShowsGreyLevels()
    {
        GifSpec spec;
        spec.width = 3;
        spec.height = 1;
        spec.globalPalette = Rgbw;
        spec.storedGlobalEntries = 0; // encoded with a palette, then stripped of it
        GifFrame f = rect(0, 0, 3, 1, 0);
        f.indexes = {0, 1, 3};
        spec.frames = {f};
        auto img = load(spec);
        QVERIFY(img);
        QCOMPARE(rowOf(*img, 0), (QList<QRgb>{qRgb(0, 0, 0), qRgb(1, 1, 1), qRgb(3, 3, 3)}));
    }

    void indexBeyondPalette()
    {
        // The stored palette has 2 entries but the data uses 4 indexes: the ones
        // past the end show entry 0, as the reference decoder does.
        GifSpec spec;
        spec.width = 4;
        spec.height = 1;
        spec.globalPalette = {{10, 20, 30}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
        spec.storedGlobalEntries = 2;
        GifFrame f = rect(0, 0, 4, 1, 0);
        f.indexes = {0, 1, 2, 3};
        spec.frames = {f};
        auto img = load(spec);
        QVERIFY(img);
        const QRgb first = qRgb(10, 20, 30);
        QCOMPARE(rowOf(*img, 0), (QList<QRgb>{first, Red, first, first}));
    }

    // --- metadata ------------------------------------------------------------

    void delays_data()
    {
        QTest::addColumn<GifSpec>("spec");
        QTest::addColumn<std::vector<std::uint32_t>>("delays");

        GifSpec anim;
        anim.width = anim.height = 1;
        anim.globalPalette = Rgbw;
        for (int d : {10, 250, 0, 65535}) {
            GifFrame f = rect(0, 0, 1, 1, 1);
            f.delay = d;
            anim.frames.push_back(f);
        }
        QTest::newRow("per frame") << anim << std::vector<std::uint32_t>{10, 250, 0, 65535};

        GifSpec mixed = anim;
        mixed.frames[1].graphicControl = false;
        QTest::newRow("missing graphic control is 0") << mixed << std::vector<std::uint32_t>{10, 0, 0, 65535};

        GifSpec still;
        still.width = still.height = 1;
        still.globalPalette = Rgbw;
        still.frames = {rect(0, 0, 1, 1, 1)};
        still.frames[0].graphicControl = false;
        QTest::newRow("still without graphic control") << still << std::vector<std::uint32_t>{0};
    }
    void delays()
    {
        QFETCH(GifSpec, spec);
        QFETCH(std::vector<std::uint32_t>, delays);
        auto img = load(spec);
        QVERIFY(img);
        QVERIFY(img->hasFrameDelays());
        QCOMPARE(img->frameDimension(), engine::FrameDimensionTime);
        QCOMPARE(img->frameCount(), std::uint32_t(delays.size()));
        QCOMPARE(img->frameDelays(), delays);
    }

    void loopCount_data()
    {
        QTest::addColumn<int>("loop");
        QTest::newRow("none") << -1;
        QTest::newRow("for ever") << 0;
        QTest::newRow("five") << 5;
        QTest::newRow("largest") << 65535;
    }
    void loopCount()
    {
        QFETCH(int, loop);
        GifSpec spec;
        spec.globalPalette = Rgbw;
        spec.loopCount = loop;
        spec.frames = {rect(0, 0, 1, 1, 1), rect(0, 0, 1, 1, 2)};
        auto img = load(spec);
        QVERIFY(img);
        QCOMPARE(img->loopCount(), loop);
    }

    void manyFrames()
    {
        GifSpec spec;
        spec.width = 8;
        spec.height = 1;
        spec.globalPalette = Rgbw;
        for (int i = 0; i < 500; ++i)
            spec.frames.push_back(rect(i % 8, 0, 1, 1, std::uint8_t(1 + i % 3)));
        auto img = load(spec);
        QVERIFY(img);
        QCOMPARE(img->frameCount(), 500u);
        QCOMPARE(img->frameDelays().size(), std::size_t(500));
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 499), engine::Ok);
        // Frame 499 paints pixel 3 with index 1 + 499 % 3 = 2; frame 498 pixel 2 with 1.
        QCOMPARE(img->activeFrame().pixel(3, 0), Green);
        QCOMPARE(img->activeFrame().pixel(2, 0), Red);
    }

    // --- frame selection -------------------------------------------------------

    void selectKeepsFrameOnBadRequest()
    {
        GifSpec spec;
        spec.width = 2;
        spec.height = 1;
        spec.globalPalette = Rgbw;
        spec.frames = {rect(0, 0, 2, 1, 1), rect(0, 0, 1, 1, 2), rect(1, 0, 1, 1, 3)};
        auto img = load(spec);
        QVERIFY(img);
        QCOMPARE(img->activeFrameIndex(), 0u);
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 1), engine::Ok);
        const QList<QRgb> shown = rowOf(*img, 0);
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 3), engine::InvalidParameter);
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 0xFFFFFFFFu), engine::InvalidParameter);
        QCOMPARE(img->selectFrame(engine::FrameDimensionPage, 0), engine::InvalidParameter);
        QCOMPARE(img->selectFrame(engine::EncoderQuality, 2), engine::InvalidParameter);
        QCOMPARE(img->activeFrameIndex(), 1u);
        QCOMPARE(rowOf(*img, 0), shown);
    }

    void selectBackwardsAndAgain()
    {
        GifSpec spec;
        spec.width = 3;
        spec.height = 1;
        spec.globalPalette = Rgbw;
        spec.frames = {rect(0, 0, 3, 1, 1), rect(1, 0, 1, 1, 2, 3), rect(2, 0, 1, 1, 3, 2),
                       rect(0, 0, 1, 1, 0)};
        auto img = load(spec);
        QVERIFY(img);
        const QList<QList<QRgb>> want = {{Red, Red, Red}, {Red, Green, Red}, {Red, Red, Blue},
                                         {Black, Red, Clear}};
        for (std::uint32_t i : {3u, 0u, 2u, 2u, 1u, 3u, 0u, 1u}) {
            QCOMPARE(img->selectFrame(engine::FrameDimensionTime, i), engine::Ok);
            QCOMPARE(img->activeFrameIndex(), i);
            QCOMPARE(rowOf(*img, 0), want[int(i)]);
        }
    }

    void copiesOfFramesStayValid()
    {
        GifSpec spec;
        spec.width = 2;
        spec.height = 1;
        spec.globalPalette = Rgbw;
        spec.frames = {rect(0, 0, 2, 1, 1), rect(0, 0, 2, 1, 2)};
        auto img = load(spec);
        QVERIFY(img);
        const QImage first = img->activeFrame();
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 1), engine::Ok);
        QCOMPARE(first.pixel(0, 0), Red);
        QCOMPARE(img->activeFrame().pixel(0, 0), Green);
    }

    // --- broken and foreign files -------------------------------------------

    void truncated_data()
    {
        QTest::addColumn<int>("where"); // bytes kept, relative to the last image separator
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("lastStatus");
        QTest::addColumn<bool>("lastDamaged");
        // The file holds three frames of 4 x 4 pixels; each image descriptor is
        // 10 bytes followed by the code size and the data sub-blocks.
        QTest::newRow("no trailer") << 1000 << 3 << int(engine::Ok) << false;
        QTest::newRow("inside the last frame's data: drawn as far as it goes")
            << 13 << 3 << int(engine::Ok) << true;
        QTest::newRow("after the last frame's code size: nothing decodes")
            << 11 << 3 << int(engine::FrameCorrupt) << false;
        QTest::newRow("inside the last frame's descriptor") << 5 << 2 << int(engine::Ok) << false;
        QTest::newRow("before the last frame") << 0 << 2 << int(engine::Ok) << false;
        QTest::newRow("inside the last graphic control") << -4 << 2 << int(engine::Ok) << false;
    }
    void truncated()
    {
        QFETCH(int, where);
        QFETCH(int, frames);
        QFETCH(int, lastStatus);
        QFETCH(bool, lastDamaged);
        GifSpec spec;
        spec.width = spec.height = 4;
        spec.globalPalette = Rgbw;
        spec.frames = {rect(0, 0, 4, 4, 1), rect(0, 0, 4, 4, 2), rect(0, 0, 4, 4, 3)};
        QByteArray bytes = fgtest::gifBytes(spec);
        const int lastSeparator = int(bytes.lastIndexOf(QByteArray("\x21\xF9\x04", 3))) + 8;
        QCOMPARE(bytes.at(lastSeparator), char(0x2C));
        bytes.truncate(std::min(int(bytes.size()) - 1, lastSeparator + where));
        auto img = Image::load(writeRaw(bytes));
        QVERIFY(img);
        QCOMPARE(img->frameCount(), std::uint32_t(frames));
        for (int i = 0; i < frames - 1; ++i)
            QCOMPARE(img->selectFrame(engine::FrameDimensionTime, std::uint32_t(i)), engine::Ok);
        QCOMPARE(int(img->selectFrame(engine::FrameDimensionTime, std::uint32_t(frames - 1))), lastStatus);
        QCOMPARE(int(img->activeFrameIndex()), frames - 1);
        QCOMPARE(img->activeFrameDamaged(), lastDamaged);
        QCOMPARE(img->activeFrame().pixel(0, 0), frames == 3 && where > 11 ? Blue : Green);
    }

    void frameDataEndsEarly()
    {
        // The second frame breaks off after a few rows: those rows show, the
        // rest of its rectangle keeps the first frame.
        GifSpec spec;
        spec.width = spec.height = 64;
        spec.globalPalette = Rgbw;
        GifFrame noisy = rect(0, 0, 64, 64, 0);
        std::uint32_t seed = 1;
        for (auto &i : noisy.indexes) {
            seed = seed * 1103515245u + 12345u;
            i = std::uint8_t(2 + ((seed >> 16) & 1)); // green or blue, hard to compress
        }
        spec.frames = {rect(0, 0, 64, 64, 1), noisy};
        QByteArray bytes = fgtest::gifBytes(spec);
        QVERIFY(bytes.size() > 600);
        bytes.chop(bytes.size() / 3); // well inside the second frame's data
        auto img = Image::load(writeRaw(bytes));
        QVERIFY(img);
        QCOMPARE(img->frameCount(), 2u);
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 1), engine::Ok);
        const QImage &f = img->activeFrame();
        QVERIFY(f.pixel(0, 0) == Green || f.pixel(0, 0) == Blue);
        QCOMPARE(f.pixel(63, 63), Red);
    }

    void appendedAfterMissingTrailer()
    {
        GifSpec first;
        first.width = 2;
        first.height = 1;
        first.globalPalette = Rgbw;
        first.frames = {rect(0, 0, 2, 1, 1)};
        first.frames[0].delay = 5;
        first.trailer = false;
        GifSpec second;
        second.width = 1; // its own screen is ignored
        second.height = 1;
        second.globalPalette = {{255, 255, 255}, {0, 0, 0}};
        second.frames = {rect(1, 0, 1, 1, 0), rect(0, 0, 1, 1, 1)};
        second.frames[1].delay = 9;
        auto img = Image::load(writeRaw(fgtest::gifBytes(first) + fgtest::gifBytes(second)));
        QVERIFY(img);
        QCOMPARE(img->width(), 2);
        QCOMPARE(img->frameCount(), 3u);
        QCOMPARE(img->frameDelays(), (std::vector<std::uint32_t>{5, 0, 9}));
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 1), engine::Ok);
        QCOMPARE(rowOf(*img, 0), (QList<QRgb>{Red, White})); // the second GIF's palette
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 2), engine::Ok);
        QCOMPARE(rowOf(*img, 0), (QList<QRgb>{Black, White}));
    }

    void dataAfterTrailerIgnored()
    {
        GifSpec spec;
        spec.globalPalette = Rgbw;
        spec.frames = {rect(0, 0, 1, 1, 1)};
        spec.append = fgtest::gifBytes(spec);
        auto img = load(spec);
        QVERIFY(img);
        QCOMPARE(img->frameCount(), 1u);
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("status");

        auto screenOnly = [](int w, int h) {
            GifSpec spec;
            spec.width = w;
            spec.height = h;
            spec.globalPalette = Rgbw;
            spec.frames = {rect(0, 0, 1, 1, 1)};
            return fgtest::gifBytes(spec);
        };
        QTest::newRow("empty") << QByteArray() << int(engine::UnknownImageFormat);
        QTest::newRow("text") << QByteArray("hello, this is not a picture\n") << int(engine::UnknownImageFormat);
        QTest::newRow("GIF and nothing else") << QByteArray("GIF89a") << int(engine::UnknownImageFormat);
        QTest::newRow("screen cut short") << QByteArray("GIF89a\x10\x00\x10", 9) << int(engine::UnknownImageFormat);
        QTest::newRow("width 0") << screenOnly(0, 5) << int(engine::InvalidParameter);
        QTest::newRow("height 0") << screenOnly(5, 0) << int(engine::InvalidParameter);
        QTest::newRow("65535 x 65535") << screenOnly(65535, 65535) << int(engine::OutOfMemory);
        QTest::newRow("just over the limit") << screenOnly(8193, 8192) << int(engine::OutOfMemory);
        GifSpec noFrames;
        noFrames.globalPalette = Rgbw;
        QTest::newRow("no frame") << fgtest::gifBytes(noFrames) << int(engine::GenericError);
    }
    void refused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, status);
        Status got = engine::Ok;
        const QString path = writeRaw(bytes);
        QVERIFY(!path.isEmpty());
        QVERIFY(!Image::load(path, &got));
        QCOMPARE(int(got), status);
    }

    void hostileFrameSize()
    {
        // A 65535 x 65535 frame on a small screen: only the visible part counts.
        GifSpec spec;
        spec.width = spec.height = 4;
        spec.globalPalette = Rgbw;
        spec.frames = {rect(0, 0, 4, 4, 1)};
        QByteArray bytes = fgtest::gifBytes(spec);
        const int desc = bytes.indexOf(char(0x2C), 13 + 3 * 4);
        QVERIFY(desc > 0);
        bytes[desc + 5] = bytes[desc + 6] = bytes[desc + 7] = bytes[desc + 8] = char(0xFF);
        auto img = Image::load(writeRaw(bytes));
        QVERIFY(img);
        QCOMPARE(img->frameCount(), 1u);
        QCOMPARE(img->activeFrame().pixel(0, 0), Red); // the few decoded pixels
    }

    void missingAndSpecialFiles()
    {
        Status st = engine::Ok;
        QVERIFY(!Image::load(m_dir.filePath(QStringLiteral("nope.gif")), &st));
        QCOMPARE(st, engine::FileNotFound);
        QVERIFY(!Image::load(QString(), &st));
        QCOMPARE(st, engine::FileNotFound);
        QVERIFY(!Image::load(m_dir.path(), &st));
        QCOMPARE(st, engine::UnknownImageFormat);
        // A pipe named .gif must neither block nor be read.
        const QString fifo = m_dir.filePath(QStringLiteral("pipe.gif"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(!Image::load(fifo, &st));
        QCOMPARE(st, engine::UnknownImageFormat);
    }

    void otherFormatsAsOnePage()
    {
        QImage png(5, 3, QImage::Format_ARGB32);
        png.fill(qRgba(10, 20, 30, 128));
        const QString path = m_dir.filePath(QStringLiteral("really-a-png.gif"));
        QVERIFY(png.save(path, "PNG"));
        Status st = engine::GenericError;
        auto img = Image::load(path, &st);
        QVERIFY(img);
        QCOMPARE(st, engine::Ok);
        QCOMPARE(img->width(), 5);
        QCOMPARE(img->height(), 3);
        QCOMPARE(img->frameDimension(), engine::FrameDimensionPage);
        QCOMPARE(img->frameCount(), 1u);
        QVERIFY(!img->hasFrameDelays());
        QVERIFY(img->frameDelays().empty());
        QCOMPARE(img->loopCount(), -1);
        QCOMPARE(img->selectFrame(engine::FrameDimensionPage, 0), engine::Ok);
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 0), engine::InvalidParameter);
        QCOMPARE(img->selectFrame(engine::FrameDimensionPage, 1), engine::InvalidParameter);
        QCOMPARE(img->activeFrame().format(), QImage::Format_ARGB32);
        QCOMPARE(img->activeFrame().pixel(4, 2), qRgba(10, 20, 30, 128));
    }

    void otherFormatsHeldToTheSizeLimit()
    {
        // A PNG header announcing 10000 x 10000 pixels is refused before decoding.
        auto be32 = [](QByteArray &b, quint32 v) {
            b.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
        };
        auto crc32 = [](const QByteArray &data) {
            quint32 c = 0xFFFFFFFFu;
            for (char ch : data) {
                c ^= quint8(ch);
                for (int k = 0; k < 8; ++k)
                    c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
            }
            return c ^ 0xFFFFFFFFu;
        };
        QByteArray ihdr("IHDR");
        be32(ihdr, 10000);
        be32(ihdr, 10000);
        ihdr.append(char(8)).append(char(6)).append(char(0)).append(char(0)).append(char(0));
        QByteArray png("\x89PNG\r\n\x1a\n", 8);
        for (const QByteArray &chunk : {ihdr, QByteArray("IDAT\x78\x01", 6), QByteArray("IEND")}) {
            be32(png, quint32(chunk.size() - 4));
            png += chunk;
            be32(png, crc32(chunk));
        }
        Status st = engine::Ok;
        QVERIFY(!Image::load(writeRaw(png), &st));
        QCOMPARE(st, engine::OutOfMemory);
    }
};

QTEST_GUILESS_MAIN(TestDecoder)
#include "tst_decoder.moc"
