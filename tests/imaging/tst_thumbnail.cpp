// Thumbnails: the box geometry and the 120 x 120 drawing (ground, placement,
// grey edge), also on worker threads.
#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtTest>

#include "common/gifwriter.h"
#include "imaging/gdiplus.h"
#include "imaging/thumbnail.h"

namespace {

constexpr QRgb Edge = 0xFFC8C8C8u;
constexpr QRgb White = 0xFFFFFFFFu;

// A w x h GIF of one colour per frame.
bool solidGif(const QString &path, int w, int h, const std::vector<fgtest::GifRgb> &colours)
{
    fgtest::GifSpec spec;
    spec.width = w;
    spec.height = h;
    spec.globalPalette = colours;
    for (std::size_t i = 0; i < colours.size(); ++i) {
        fgtest::GifFrame f;
        f.indexes = fgtest::filled(w * h, std::uint8_t(i));
        f.delay = 5;
        spec.frames.push_back(f);
    }
    return fgtest::writeGif(path, spec);
}

// Every pixel: the edge on rows/columns 0 and 119, `colour` inside `picture`,
// white elsewhere.
void checkLayout(const QImage &canvas, const QRect &picture, QRgb colour)
{
    QCOMPARE(canvas.size(), QSize(120, 120));
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 120; ++x) {
            const bool edge = x == 0 || y == 0 || x == 119 || y == 119;
            const QRgb expected = edge ? Edge : picture.contains(x, y) ? colour : White;
            if (canvas.pixel(x, y) != expected)
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) is %3, expected %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(canvas.pixel(x, y), 8, 16)
                                     .arg(expected, 8, 16)));
        }
}

} // namespace

class TestThumbnail : public QObject {
    Q_OBJECT

private slots:
    void box_data();
    void box();
    void placement_data();
    void placement();
    void drawsActiveFrame();
    void notAPicture();
    void workerThreadsDrawTheSame();
};

void TestThumbnail::box_data()
{
    QTest::addColumn<uint>("w");
    QTest::addColumn<uint>("h");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("wide") << 300u << 200u << QSize(120, 80);
    QTest::newRow("tall") << 200u << 300u << QSize(80, 120);
    QTest::newRow("square") << 50u << 50u << QSize(120, 120);
    QTest::newRow("half rounds to even, down") << 240u << 101u << QSize(120, 50);
    QTest::newRow("half rounds to even, up") << 240u << 103u << QSize(120, 52);
    QTest::newRow("tall half to even") << 101u << 240u << QSize(50, 120);
    QTest::newRow("small wide") << 50u << 40u << QSize(120, 96);
    QTest::newRow("thin line") << 2000u << 1u << QSize(120, 0);
    QTest::newRow("thin column") << 1u << 2000u << QSize(0, 120);
    QTest::newRow("nothing") << 0u << 0u << QSize(0, 0);
    QTest::newRow("huge") << 4294967295u << 1u << QSize(120, 0);
}

void TestThumbnail::box()
{
    QFETCH(uint, w);
    QFETCH(uint, h);
    QFETCH(QSize, expected);
    QCOMPARE(ThumbnailBox(w, h), expected);
}

void TestThumbnail::placement_data()
{
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<QRect>("picture");
    QTest::newRow("small, unscaled and centred") << 50 << 40 << QRect(35, 40, 50, 40);
    QTest::newRow("odd margins round down") << 51 << 41 << QRect(34, 39, 51, 41);
    QTest::newRow("wide, reduced") << 300 << 200 << QRect(0, 20, 120, 80);
    QTest::newRow("tall, reduced") << 200 << 300 << QRect(20, 0, 80, 120);
    QTest::newRow("exactly 120") << 120 << 120 << QRect(0, 0, 120, 120);
    QTest::newRow("one side 120") << 120 << 30 << QRect(0, 45, 120, 30);
    QTest::newRow("box 0 high draws no picture") << 2000 << 1 << QRect();
}

void TestThumbnail::placement()
{
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(QRect, picture);
    QTemporaryDir dir;
    const QString path = dir.filePath("solid.gif");
    QVERIFY(solidGif(path, w, h, {{10, 120, 230}}));
    bool ok = false;
    const QImage thumb = renderThumbnail(path, &ok);
    QVERIFY(ok);
    checkLayout(thumb, picture, 0xFF0A78E6u);
}

void TestThumbnail::drawsActiveFrame()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("two.gif");
    QVERIFY(solidGif(path, 60, 20, {{255, 0, 0}, {0, 0, 255}}));
    TGPImage image(path);
    QCOMPARE(image.SelectActiveFrame(FrameDimensionTime, 1), Ok);
    QImage canvas(7, 7, QImage::Format_Indexed8); // not a thumbnail canvas: replaced
    QVERIFY(DrawThumbnail(image, canvas));
    checkLayout(canvas, QRect(30, 50, 60, 20), 0xFF0000FFu);
}

void TestThumbnail::notAPicture()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("x.gif");
    QVERIFY(fgtest::writeBytes(path, "GIF89a but nothing else that makes sense"));
    bool ok = true;
    QVERIFY(renderThumbnail(path, &ok).isNull());
    QVERIFY(!ok);

    TGPImage image(path);
    QImage canvas = NewThumbnailCanvas();
    canvas.fill(0xFF123456u);
    QVERIFY(!DrawThumbnail(image, canvas));
    QCOMPARE(canvas.pixel(60, 60), 0xFF123456u); // left alone for the placeholder
}

void TestThumbnail::workerThreadsDrawTheSame()
{
    QTemporaryDir dir;
    QStringList paths;
    for (int i = 0; i < 6; ++i) {
        paths << dir.filePath(QStringLiteral("%1.gif").arg(i));
        QVERIFY(solidGif(paths.last(), 100 + i * 40, 90, {{std::uint8_t(i * 40), 200, 10}}));
    }
    const QList<QImage> onWorkers =
        QtConcurrent::blockingMapped(paths, [](const QString &p) { return renderThumbnail(p); });
    for (int i = 0; i < 6; ++i)
        QCOMPARE(onWorkers[i], renderThumbnail(paths[i]));
}

QTEST_GUILESS_MAIN(TestThumbnail)
#include "tst_thumbnail.moc"
