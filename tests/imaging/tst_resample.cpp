// The area-averaging resampler behind Surface::drawImage, checked against a
// plain floating-point box filter, and its shortcuts (opaque rows read in
// place, RGB32, premultiplied input) against the general path.
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

#include "imaging/engine/surface.h"

namespace {

enum class Content { Opaque, Translucent, Holes, FewTranslucentRows };

// A picture of noise with structure: bands, single-pixel lines and, by
// content, translucent or transparent parts (with colour under them).
QImage makePicture(int width, int height, Content content, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    QImage picture(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            QRgb p = 0xFF000000u | (rng() & 0xFFFFFFu);
            if (x % 9 == 0)
                p = 0xFF000000u;
            switch (content) {
            case Content::Opaque:
                break;
            case Content::Translucent:
                p = (p & 0xFFFFFFu) | (rng() & 0xFF000000u);
                break;
            case Content::Holes:
                if ((x / 5 + y / 3) % 3 == 0)
                    p &= 0xFFFFFFu; // transparent, with colour under it
                break;
            case Content::FewTranslucentRows:
                if (y % 7 == 3 && x == width / 2)
                    p = 0x40FF00FFu;
                break;
            }
            line[x] = p;
        }
    }
    return picture;
}

// Premultiplied with each channel rounded to the nearest (qPremultiply is a
// level low for a few colours, e.g. 152 at alpha 229).
QRgb premultiplied(QRgb p)
{
    const int a = qAlpha(p);
    auto scale = [a](int c) { return int(std::lround(c * a / 255.0)); };
    return qRgba(scale(qRed(p)), scale(qGreen(p)), scale(qBlue(p)), a);
}

QImage premultipliedCopy(const QImage &picture)
{
    QImage out(picture.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            out.setPixel(x, y, premultiplied(picture.pixel(x, y)));
    return out;
}

// The reference: every output pixel is the mean of the premultiplied source
// over its footprint, each source pixel weighted by the area it shares with
// the footprint; parts outside the picture count as transparent.
QImage referenceResample(const QImage &picture, const QRectF &source, int width, int height)
{
    const QImage src = picture.convertToFormat(QImage::Format_ARGB32);
    QImage out(width, height, QImage::Format_ARGB32_Premultiplied);
    const double sx = source.width() / width;
    const double sy = source.height() / height;
    for (int i = 0; i < height; ++i) {
        const double y0 = source.y() + i * sy, y1 = y0 + sy;
        for (int j = 0; j < width; ++j) {
            const double x0 = source.x() + j * sx, x1 = x0 + sx;
            double sum[4] = {0, 0, 0, 0};
            const int top = std::max(0, int(std::floor(y0)));
            const int bottom = std::min(src.height(), int(std::ceil(y1)));
            const int left = std::max(0, int(std::floor(x0)));
            const int right = std::min(src.width(), int(std::ceil(x1)));
            for (int y = top; y < bottom; ++y) {
                const double fy = std::min(y1, y + 1.0) - std::max(y0, double(y));
                for (int x = left; x < right; ++x) {
                    const double f = fy * (std::min(x1, x + 1.0) - std::max(x0, double(x)));
                    if (f <= 0)
                        continue;
                    const QRgb p = premultiplied(src.pixel(x, y));
                    sum[0] += f * qAlpha(p);
                    sum[1] += f * qRed(p);
                    sum[2] += f * qGreen(p);
                    sum[3] += f * qBlue(p);
                }
            }
            int v[4];
            for (int c = 0; c < 4; ++c)
                v[c] = std::clamp(int(std::lround(sum[c] / (sx * sy))), 0, 255);
            out.setPixel(j, i, qRgba(v[1], v[2], v[3], v[0]));
        }
    }
    return out;
}

// The largest difference of any channel between two images of one size.
int largestDifference(const QImage &a, const QImage &b)
{
    int most = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            most = std::max({most, std::abs(qAlpha(p) - qAlpha(q)), std::abs(qRed(p) - qRed(q)),
                             std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
        }
    return most;
}

} // namespace

class TestResample : public QObject {
    Q_OBJECT

private slots:
    void matchesAreaAverage_data();
    void matchesAreaAverage();
    void flatColourStaysExact_data();
    void flatColourStaysExact();
    void opaqueShortcutMatchesGeneralPath_data();
    void opaqueShortcutMatchesGeneralPath();
    void rgb32IgnoresUnusedByte();
    void outsidePictureIsTransparent();
};

void TestResample::matchesAreaAverage_data()
{
    QTest::addColumn<QSize>("pictureSize");
    QTest::addColumn<int>("content");
    QTest::addColumn<QRectF>("source");
    QTest::addColumn<QSize>("size");

    const int opaque = int(Content::Opaque), translucent = int(Content::Translucent),
              holes = int(Content::Holes);
    QTest::newRow("thumbnail, opaque") << QSize(200, 150) << opaque << QRectF(0, 0, 200, 150)
                                       << QSize(30, 23);
    QTest::newRow("thumbnail, holes") << QSize(200, 150) << holes << QRectF(0, 0, 200, 150)
                                      << QSize(30, 23);
    QTest::newRow("thumbnail, translucent")
        << QSize(200, 150) << translucent << QRectF(0, 0, 200, 150) << QSize(30, 23);
    QTest::newRow("fractional source") << QSize(90, 70) << translucent
                                       << QRectF(3.25, 1.5, 61.7, 50.1) << QSize(17, 13);
    QTest::newRow("one axis enlarged") << QSize(60, 40) << holes << QRectF(0.5, 0, 20, 40)
                                       << QSize(47, 9);
    QTest::newRow("enlarged") << QSize(12, 9) << translucent << QRectF(0.3, 0.6, 10.5, 7.2)
                              << QSize(41, 29);
    QTest::newRow("single column and row") << QSize(50, 50) << opaque << QRectF(10, 0, 1, 50)
                                           << QSize(1, 1);
    QTest::newRow("partly outside") << QSize(40, 30) << opaque << QRectF(-10.5, 20, 45, 30)
                                    << QSize(16, 7);
}

void TestResample::matchesAreaAverage()
{
    QFETCH(QSize, pictureSize);
    QFETCH(int, content);
    QFETCH(QRectF, source);
    QFETCH(QSize, size);
    const QImage picture =
        makePicture(pictureSize.width(), pictureSize.height(), Content(content), 7);
    const QImage out = engine::resampleArea(picture, source, size.width(), size.height());
    QCOMPARE(out.format(), QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(out.size(), size);
    const QImage expected = referenceResample(picture, source, size.width(), size.height());
    QVERIFY2(largestDifference(out, expected) <= 1,
             qPrintable(QString::number(largestDifference(out, expected))));
}

void TestResample::flatColourStaysExact_data()
{
    QTest::addColumn<QRgb>("colour");
    QTest::addColumn<QSize>("pictureSize");
    QTest::addColumn<QRectF>("source");
    QTest::addColumn<QSize>("size");

    QTest::newRow("opaque, 800 x 600 to 120 x 90")
        << QRgb(0xFF3C78B4u) << QSize(800, 600) << QRectF(0, 0, 800, 600) << QSize(120, 90);
    QTest::newRow("opaque, 1920 x 1080 to 120 x 68")
        << QRgb(0xFFFEFDFCu) << QSize(1920, 1080) << QRectF(0, 0, 1920, 1080) << QSize(120, 68);
    QTest::newRow("translucent, fractional")
        << QRgb(0x80C86432u) << QSize(333, 211) << QRectF(1.3, 2.7, 300.1, 190.9)
        << QSize(37, 23);
    QTest::newRow("translucent, enlarged")
        << QRgb(0x33FFFFFFu) << QSize(7, 5) << QRectF(0.25, 0.5, 6.5, 4.25) << QSize(61, 43);
}

void TestResample::flatColourStaysExact()
{
    QFETCH(QRgb, colour);
    QFETCH(QSize, pictureSize);
    QFETCH(QRectF, source);
    QFETCH(QSize, size);
    QImage picture(pictureSize, QImage::Format_ARGB32);
    picture.fill(colour);
    const QImage out = engine::resampleArea(picture, source, size.width(), size.height());
    QCOMPARE(out.size(), size);
    const QRgb expected = premultiplied(colour);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            if (out.pixel(x, y) != expected)
                QFAIL(qPrintable(
                    QStringLiteral("(%1, %2): %3").arg(x).arg(y).arg(out.pixel(x, y), 8, 16)));
}

void TestResample::opaqueShortcutMatchesGeneralPath_data()
{
    QTest::addColumn<int>("content");
    QTest::newRow("opaque") << int(Content::Opaque);
    QTest::newRow("a few translucent rows") << int(Content::FewTranslucentRows);
    QTest::newRow("holes") << int(Content::Holes);
    QTest::newRow("translucent") << int(Content::Translucent);
}

// Straight frames are premultiplied row by row, and rows found opaque are read
// as they are; the same picture handed over premultiplied must come out the
// same to the bit.
void TestResample::opaqueShortcutMatchesGeneralPath()
{
    QFETCH(int, content);
    const QImage picture = makePicture(230, 170, Content(content), 11);
    const QImage given = premultipliedCopy(picture);
    const QRectF sources[] = {QRectF(0, 0, 230, 170), QRectF(100.5, 3.5, 120, 166.5),
                              QRectF(2, 2, 20, 15)};
    for (const QRectF &source : sources)
        QCOMPARE(engine::resampleArea(picture, source, 31, 22),
                 engine::resampleArea(given, source, 31, 22));
}

void TestResample::rgb32IgnoresUnusedByte()
{
    QImage clean = makePicture(64, 48, Content::Opaque, 3).convertToFormat(QImage::Format_RGB32);
    QImage dirty = clean.copy();
    for (int y = 0; y < dirty.height(); y += 2) {
        auto *line = reinterpret_cast<QRgb *>(dirty.scanLine(y));
        for (int x = 0; x < dirty.width(); ++x)
            line[x] = (line[x] & 0xFFFFFFu) | (std::uint32_t(x * 3) << 24);
    }
    const QImage a = engine::resampleArea(clean, QRectF(0, 0, 64, 48), 10, 7);
    const QImage b = engine::resampleArea(dirty, QRectF(0, 0, 64, 48), 10, 7);
    QCOMPARE(a, b);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            QCOMPARE(qAlpha(a.pixel(x, y)), 255);
}

void TestResample::outsidePictureIsTransparent()
{
    QImage picture(10, 10, QImage::Format_ARGB32);
    picture.fill(0xFF00FF00u);
    // The right half of each output pixel's footprint lies beyond the picture.
    const QImage out = engine::resampleArea(picture, QRectF(0, 0, 20, 10), 2, 1);
    QCOMPARE(out.pixel(0, 0), 0xFF00FF00u);
    QCOMPARE(out.pixel(1, 0), 0u);
    const QImage halves = engine::resampleArea(picture, QRectF(5, 0, 10, 10), 1, 1);
    QVERIFY(qAbs(qAlpha(halves.pixel(0, 0)) - 128) <= 1);
    QCOMPARE(qRed(halves.pixel(0, 0)), 0);
    QCOMPARE(qGreen(halves.pixel(0, 0)), qAlpha(halves.pixel(0, 0)));
}

QTEST_GUILESS_MAIN(TestResample)
#include "tst_resample.moc"
