// The picture, surface and pen objects, encoder lookup and start-up of the
// imaging layer, on fixtures written in the test.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <vector>

#include "common/gifwriter.h"
#include "imaging/gdiplus.h"

namespace {

constexpr Guid NoGuid{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

Guid guidNumbered(std::uint32_t n)
{
    return Guid{n, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, std::uint8_t(n)}};
}

engine::EncoderInfo encoder(std::uint32_t n, const std::u16string &mime)
{
    return engine::EncoderInfo{guidNumbered(n), guidNumbered(100 + n), engine::EncoderKind::Png,
                               u"codec", u"format", u"*.X", mime};
}

// Three 4 x 3 frames in red, green and blue; the last has no graphic control.
fgtest::GifSpec threeFrames()
{
    fgtest::GifSpec spec;
    spec.width = 4;
    spec.height = 3;
    spec.loopCount = 0;
    spec.globalPalette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    const int delays[] = {10, 20, 0};
    for (int i = 0; i < 3; ++i) {
        fgtest::GifFrame f;
        f.indexes = fgtest::filled(12, std::uint8_t(i));
        f.delay = delays[i];
        f.graphicControl = i < 2;
        spec.frames.push_back(f);
    }
    return spec;
}

} // namespace

class TestLayer : public QObject {
    Q_OBJECT

private slots:
    void makeArgb_data();
    void makeArgb();
    void findEncoder_data();
    void findEncoder();
    void textFileLoadsAsNothing();
    void animatedGifFrames();
    void frameDelayItem();
    void stillPictureHasNoDelayItem();
    void saveWithUnknownEncoderWritesNothing();
    void startUpAndShutDown();
    void penOutlineCentred();
    void realFormMatchesIntegerForm();
    void unscaledDrawBlendsExactly();
    void reductionAveragesArea();
    void transparentPixelsDoNotBleed();
    void sourceAndDestinationClipping();
};

void TestLayer::makeArgb_data()
{
    QTest::addColumn<ARGB>("made");
    QTest::addColumn<ARGB>("expected");
    QTest::newRow("grey") << MakeArgb(200, 200, 200) << ARGB(0xFFC8C8C8);
    QTest::newRow("white") << MakeArgb(255, 255, 255) << ARGB(0xFFFFFFFF);
    QTest::newRow("argb order") << MakeArgb(0, 1, 2, 3) << ARGB(0x00010203);
}

void TestLayer::makeArgb()
{
    QFETCH(ARGB, made);
    QFETCH(ARGB, expected);
    QCOMPARE(made, expected);
}

void TestLayer::findEncoder_data()
{
    QTest::addColumn<QByteArray>("mime");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("clsidNumber"); // 0: identifier untouched
    QTest::newRow("exact") << QByteArray("image/gif") << 1 << 2;
    QTest::newRow("duplicate, later wins") << QByteArray("image/png") << 3 << 4;
    QTest::newRow("capitals") << QByteArray("IMAGE/GIF") << -1 << 0;
    QTest::newRow("prefix only") << QByteArray("image/gi") << -1 << 0;
    QTest::newRow("trailing blank") << QByteArray("image/gif ") << -1 << 0;
    QTest::newRow("unknown") << QByteArray("image/webp") << -1 << 0;
}

void TestLayer::findEncoder()
{
    QFETCH(QByteArray, mime);
    QFETCH(int, index);
    QFETCH(int, clsidNumber);
    const engine::EncoderList list({encoder(1, u"image/png"), encoder(2, u"image/gif"),
                                    encoder(3, u"image/bmp"), encoder(4, u"image/png")});
    const Guid before = guidNumbered(77);
    Guid clsid = before;
    QCOMPARE(FindEncoder(mime, &clsid, list), index);
    QVERIFY(clsid == (clsidNumber ? guidNumbered(std::uint32_t(clsidNumber)) : before));

    const engine::EncoderList empty({});
    clsid = before;
    QCOMPARE(FindEncoder(mime, &clsid, empty), -1);
    QVERIFY(clsid == before);
}

void TestLayer::textFileLoadsAsNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("x.gif");
    QVERIFY(fgtest::writeBytes(path, "just some text, not a picture\n"));
    auto image = std::make_unique<TGPImage>(path);
    QVERIFY(!image->Native());
    QVERIFY(image->LoadStatus() != Ok);
    QCOMPARE(image->GetWidth(), 0u);
    QCOMPARE(image->GetHeight(), 0u);
    QCOMPARE(image->GetFrameCount(FrameDimensionTime), 0u);
    QCOMPARE(image->GetPropertyItemSize(PropertyTagFrameDelay), 0u);
    QVERIFY(image->SelectActiveFrame(FrameDimensionTime, 0) != Ok);
    Guid dimension = NoGuid;
    QVERIFY(image->GetFrameDimensionsList(&dimension, 1) != Ok);
    QVERIFY(dimension == NoGuid);
    image.reset();

    TGPImage missing(dir.filePath("missing.gif"));
    QVERIFY(!missing.Native());
    QVERIFY(missing.LoadStatus() != Ok);
}

void TestLayer::animatedGifFrames()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("rgb.gif");
    QVERIFY(fgtest::writeGif(path, threeFrames()));
    TGPImage image(path);
    QVERIFY(image.Native());
    QCOMPARE(image.GetWidth(), 4u);
    QCOMPARE(image.GetHeight(), 3u);

    Guid dimensions[2] = {NoGuid, NoGuid};
    QVERIFY(image.GetFrameDimensionsList(dimensions, 2) != Ok); // one dimension only
    QVERIFY(dimensions[0] == NoGuid);
    QCOMPARE(image.GetFrameDimensionsList(dimensions, 1), Ok);
    QVERIFY(dimensions[0] == FrameDimensionTime);
    QCOMPARE(image.GetFrameCount(FrameDimensionTime), 3u);
    QCOMPARE(image.GetFrameCount(FrameDimensionPage), 0u);

    QCOMPARE(image.SelectActiveFrame(FrameDimensionTime, 1), Ok);
    QVERIFY(image.SelectActiveFrame(FrameDimensionTime, 3) != Ok);
    QCOMPARE(image.Native()->activeFrame().pixel(0, 0), 0xFF00FF00u); // frame 1 kept
}

void TestLayer::frameDelayItem()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("rgb.gif");
    QVERIFY(fgtest::writeGif(path, threeFrames()));
    TGPImage image(path);
    const std::uint32_t size = image.GetPropertyItemSize(PropertyTagFrameDelay);
    QCOMPARE(size, std::uint32_t(sizeof(PropertyItem) + 3 * 4));

    std::vector<std::max_align_t> storage(size / sizeof(std::max_align_t) + 2);
    auto *bytes = reinterpret_cast<unsigned char *>(storage.data());
    auto *item = reinterpret_cast<PropertyItem *>(storage.data());

    // Too small by one byte: refused, nothing written.
    std::memset(bytes, 0xAB, size);
    QVERIFY(image.GetPropertyItem(PropertyTagFrameDelay, size - 1, item) != Ok);
    for (std::uint32_t i = 0; i < size; ++i)
        QCOMPARE(int(bytes[i]), 0xAB);

    QCOMPARE(image.GetPropertyItem(PropertyTagFrameDelay, size, item), Ok);
    QCOMPARE(item->id, PropertyTagFrameDelay);
    QCOMPARE(item->length, 12u);
    QCOMPARE(item->type, PropertyTagTypeLong);
    QCOMPARE(item->value, static_cast<void *>(bytes + sizeof(PropertyItem)));
    std::uint32_t delays[3];
    std::memcpy(delays, item->value, sizeof delays);
    QCOMPARE(delays[0], 10u);
    QCOMPARE(delays[1], 20u);
    QCOMPARE(delays[2], 0u);

    QCOMPARE(image.GetPropertyItemSize(PropertyTagLoopCount), std::uint32_t(sizeof(PropertyItem) + 2));
    QVERIFY(image.GetPropertyItem(0x1234, size, item) != Ok);
    QCOMPARE(image.GetPropertyItemSize(0x1234), 0u);
}

void TestLayer::stillPictureHasNoDelayItem()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("really-a-png.gif");
    QImage png(5, 6, QImage::Format_ARGB32);
    png.fill(0xFF102030u);
    QVERIFY(png.save(path, "PNG"));
    TGPImage image(path);
    QVERIFY(image.Native());
    QCOMPARE(image.GetPropertyItemSize(PropertyTagFrameDelay), 0u);
    Guid dimension = NoGuid;
    QCOMPARE(image.GetFrameDimensionsList(&dimension, 1), Ok);
    QVERIFY(dimension == FrameDimensionPage);
    QCOMPARE(image.GetFrameCount(FrameDimensionPage), 1u);
    // Selecting along time fails and keeps the only frame.
    QVERIFY(image.SelectActiveFrame(FrameDimensionTime, 0) != Ok);
    QCOMPARE(image.Native()->activeFrame().pixel(0, 0), 0xFF102030u);
}

void TestLayer::saveWithUnknownEncoderWritesNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("rgb.gif");
    QVERIFY(fgtest::writeGif(path, threeFrames()));
    TGPImage image(path);
    const QString out = dir.filePath("out.png");
    QVERIFY(image.Save(out, NoGuid, nullptr) != Ok);
    QVERIFY(image.Save(out, guidNumbered(5), nullptr) != Ok);
    QVERIFY(!QFile::exists(out));

    // An existing file stays as it was.
    QVERIFY(fgtest::writeBytes(out, "keep"));
    QVERIFY(image.Save(out, NoGuid, nullptr) != Ok);
    QFile kept(out);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("keep"));

    TGPImage nothing(dir.filePath("missing.gif"));
    Guid png = NoGuid;
    QVERIFY(FindEncoder("image/png", &png) >= 0);
    QVERIFY(nothing.Save(dir.filePath("none.png"), png, nullptr) != Ok);
    QVERIFY(!QFile::exists(dir.filePath("none.png")));

    QCOMPARE(image.SelectActiveFrame(FrameDimensionTime, 2), Ok);
    QCOMPARE(image.Save(dir.filePath("frame3.png"), png, nullptr), Ok);
    QCOMPARE(QImage(dir.filePath("frame3.png")).pixel(3, 2), 0xFF0000FFu);
}

void TestLayer::startUpAndShutDown()
{
    std::uintptr_t token = 0;
    GdiplusStartupInput input;
    input.GdiplusVersion = 2;
    QCOMPARE(GdiplusStartup(&token, &input, nullptr), engine::UnsupportedGdiplusVersion);
    QCOMPARE(GdiplusStartup(nullptr, &input, nullptr), engine::InvalidParameter);

    QVERIFY(!ImagingStarted());
    {
        ImagingSession session;
        QVERIFY(ImagingStarted());
        StartImaging(); // once per process: nothing happens
        QVERIFY(ImagingStarted());
    }
    QVERIFY(!ImagingStarted());
    StartImaging();
    QVERIFY(!ImagingStarted());
    ShutdownImaging();
}

void TestLayer::penOutlineCentred()
{
    QImage canvas(10, 8, QImage::Format_RGB32);
    TGPGraphics graphics(&canvas);
    QCOMPARE(graphics.Clear(MakeArgb(255, 255, 255)), Ok);
    TGPPen pen(0, 2.0f);
    QCOMPARE(pen.SetColor(MakeArgb(200, 200, 200)), Ok);
    QCOMPARE(graphics.DrawRectangle(pen, MakeIntRect(0, 0, 10, 8)), Ok);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool edge = x == 0 || y == 0 || x == 9 || y == 7;
            QCOMPARE(canvas.pixel(x, y), edge ? 0xFFC8C8C8u : 0xFFFFFFFFu);
        }

    // A width-4 pen on (2, 2, 4, 4) strokes [0, 4) and [4, 8): every pixel of 8 x 8.
    QImage small(9, 9, QImage::Format_ARGB32);
    TGPGraphics g2(&small);
    g2.Clear(MakeArgb(0, 0, 0, 0));
    TGPPen wide(MakeArgb(1, 2, 3), 4.0f);
    QCOMPARE(g2.DrawRectangle(wide, MakeIntRect(2, 2, 4, 4)), Ok);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x)
            QCOMPARE(small.pixel(x, y), (x < 8 && y < 8) ? 0xFF010203u : 0u);
}

void TestLayer::realFormMatchesIntegerForm()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("stripes.png");
    QImage stripes(37, 23, QImage::Format_ARGB32);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x)
            stripes.setPixel(x, y, qRgba(x * 7, y * 11, (x * y) % 256, 40 + x * 5));
    QVERIFY(stripes.save(path, "PNG"));
    TGPImage image(path);
    QVERIFY(image.Native());

    const TGPIntRect rects[] = {{3, 4, 37, 23}, {1, 2, 15, 9}, {-5, 0, 60, 40}, {0, 0, 0, 5}};
    for (const TGPIntRect &r : rects) {
        QImage a(30, 30, QImage::Format_ARGB32), b(30, 30, QImage::Format_ARGB32);
        TGPGraphics ga(&a), gb(&b);
        ga.Clear(MakeArgb(255, 9, 9, 9));
        gb.Clear(MakeArgb(255, 9, 9, 9));
        QCOMPARE(ga.DrawImage(image, r, 0, 0, 37, 23, UnitPixel), Ok);
        QCOMPARE(gb.DrawImage(image,
                              MakeRealRect(float(r.X), float(r.Y), float(r.Width), float(r.Height)),
                              0.0f, 0.0f, 37.0f, 23.0f, UnitPixel),
                 Ok);
        QCOMPARE(a, b);
    }
}

void TestLayer::unscaledDrawBlendsExactly()
{
    QImage picture(3, 1, QImage::Format_ARGB32);
    picture.setPixel(0, 0, 0xFF123456u);
    picture.setPixel(1, 0, 0x00FF0000u); // transparent
    picture.setPixel(2, 0, 0x80000000u); // half-transparent black
    QImage canvas(5, 3, QImage::Format_RGB32);
    engine::Surface surface(&canvas);
    QCOMPARE(surface.clear(0xFFFFFFFFu), Ok);
    QCOMPARE(surface.drawImage(picture, QRectF(1, 1, 3, 1), QRectF(0, 0, 3, 1)), Ok);
    QCOMPARE(canvas.pixel(1, 1), 0xFF123456u);
    QCOMPARE(canvas.pixel(2, 1), 0xFFFFFFFFu);
    QVERIFY(qAbs(qRed(canvas.pixel(3, 1)) - 127) <= 1);
    QCOMPARE(canvas.pixel(0, 1), 0xFFFFFFFFu);
    QCOMPARE(canvas.pixel(4, 1), 0xFFFFFFFFu);
    QCOMPARE(canvas.pixel(2, 0), 0xFFFFFFFFu);
}

void TestLayer::reductionAveragesArea()
{
    // One black column in every ten: nearest or bilinear sampling would give
    // white columns and black ones; averaging gives one even tone.
    QImage lines(1200, 50, QImage::Format_ARGB32);
    lines.fill(0xFFFFFFFFu);
    for (int x = 0; x < 1200; x += 10)
        for (int y = 0; y < 50; ++y)
            lines.setPixel(x, y, 0xFF000000u);
    QImage canvas(120, 5, QImage::Format_ARGB32);
    engine::Surface surface(&canvas);
    surface.clear(0xFFFF0000u);
    QCOMPARE(surface.drawImage(lines, QRectF(0, 0, 120, 5), QRectF(0, 0, 1200, 50)), Ok);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 120; ++x) {
            const QRgb p = canvas.pixel(x, y);
            QVERIFY2(qRed(p) >= 229 && qRed(p) <= 230 && qGreen(p) == qRed(p) && qBlue(p) == qRed(p),
                     qPrintable(QString::number(p, 16)));
        }
}

void TestLayer::transparentPixelsDoNotBleed()
{
    QImage picture(2, 2, QImage::Format_ARGB32);
    picture.fill(0x0000FF00u);           // transparent, with a green colour under it
    picture.setPixel(0, 0, 0xFFFF0000u); // one opaque red pixel
    QImage canvas(1, 1, QImage::Format_ARGB32);
    engine::Surface surface(&canvas);
    surface.clear(0xFFFFFFFFu);
    QCOMPARE(surface.drawImage(picture, QRectF(0, 0, 1, 1), QRectF(0, 0, 2, 2)), Ok);
    const QRgb p = canvas.pixel(0, 0);
    QCOMPARE(qRed(p), 255);
    QCOMPARE(qGreen(p), qBlue(p)); // no green tint
    QVERIFY(qAbs(qGreen(p) - 191) <= 1);
}

void TestLayer::sourceAndDestinationClipping()
{
    QImage picture(2, 1, QImage::Format_ARGB32);
    picture.setPixel(0, 0, 0xFFFF0000u);
    picture.setPixel(1, 0, 0xFF0000FFu);
    QImage canvas(4, 4, QImage::Format_RGB32);
    engine::Surface surface(&canvas);
    surface.clear(0xFFFFFFFFu);

    // Part of the picture only.
    QCOMPARE(surface.drawImage(picture, QRectF(0, 0, 2, 2), QRectF(1, 0, 1, 1)), Ok);
    QCOMPARE(canvas.pixel(1, 1), 0xFF0000FFu);
    QCOMPARE(canvas.pixel(2, 0), 0xFFFFFFFFu);
    // A source wholly outside the picture, or empty, is refused.
    QVERIFY(surface.drawImage(picture, QRectF(0, 0, 2, 2), QRectF(5, 5, 1, 1)) != Ok);
    QVERIFY(surface.drawImage(picture, QRectF(0, 0, 2, 2), QRectF(0, 0, 0, 1)) != Ok);
    // A destination far larger than the surface: only the visible part is computed.
    QCOMPARE(surface.drawImage(picture, QRectF(-1e7, -1e7, 2e7, 2e7), QRectF(0, 0, 1, 1)), Ok);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            QCOMPARE(canvas.pixel(x, y), 0xFFFF0000u);
}

QTEST_GUILESS_MAIN(TestLayer)
#include "tst_layer.moc"
