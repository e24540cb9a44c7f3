// Saving without holding the whole file in memory changes no byte: a BMP written
// row by row, and JPEG, TIFF and GIF output streamed into the temporary file,
// equal what the encoders write into memory for the same frame. FrameSaver
// keeps big frames from piling up: frames in flight stay within a byte budget,
// a frame bigger than the budget still goes through (alone), small frames use
// every slot, and a frame's slot opens once its encoder has let its pixels go.

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

#include "engineseams.h"
#include "imaging/engine/encoders.h"
#include "imaging/engine/framesaver.h"
#include "imaging/engine/gifencoder.h"
#include "imaging/engine/palette.h"

using namespace engine;

namespace {

// Colours and transparent pixels, width not a multiple of 4 (BMP rows are
// padded).
QImage mixedFrame(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgba((x * 40) & 0xFF, (y * 60) & 0xFF, (x ^ y) * 9 & 0xFF,
                                     x < 2 ? 0 : 255));
    return img;
}

// Transparent pixels white, as BMP and JPEG show them.
QImage flattened(const QImage &frame)
{
    QImage out = frame.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            if (qAlpha(frame.pixel(x, y)) == 0)
                out.setPixel(x, y, qRgb(255, 255, 255));
    return out;
}

QByteArray qtBytes(QImage image, const char *format, int quality, int compression)
{
    image.setDotsPerMeterX(SavedDotsPerMetre);
    image.setDotsPerMeterY(SavedDotsPerMetre);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0)
        writer.setQuality(quality);
    if (compression >= 0)
        writer.setCompression(compression);
    return writer.write(image) ? bytes : QByteArray();
}

QByteArray inMemoryGif(const QImage &frame)
{
    IndexedFrame indexed;
    if (!gifPalette(frame, &indexed))
        return {};
    GifEncoder enc;
    if (enc.begin(indexed.width, indexed.height, indexed, -1) != Ok || enc.addFrame(indexed, 0) != Ok
        || enc.finish() != Ok)
        return {};
    return enc.data();
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QSemaphore writeGate;
std::atomic<int> writesAtTheGate{0};

ssize_t gatedWrite(int fd, const void *data, std::size_t size)
{
    writesAtTheGate.fetch_add(1);
    writeGate.acquire();
    writeGate.release();
    return ::write(fd, data, size);
}

} // namespace

class TestStreamedSave : public QObject {
    Q_OBJECT
private slots:
    void sameBytesAsInMemory_data();
    void sameBytesAsInMemory();
    void byteBudgetLimitsFramesInFlight_data();
    void byteBudgetLimitsFramesInFlight();
    void smallFramesUseEverySlot();
    void slotOpensWhenThePixelsAreLetGo_data();
    void slotOpensWhenThePixelsAreLetGo();
};

void TestStreamedSave::sameBytesAsInMemory_data()
{
    QTest::addColumn<QByteArray>("clsid");
    QTest::addColumn<QByteArray>("expected");
    const QImage frame = mixedFrame(13, 7);
    auto id = [](const Guid &g) { return QByteArray(reinterpret_cast<const char *>(&g), sizeof g); };
    // A frame with an odd width, with alpha flattened onto white.
    QTest::newRow("bmp rows as Qt writes the flattened frame")
        << id(ClsidBmpEncoder) << qtBytes(flattened(frame), "bmp", -1, -1);
    QTest::newRow("jpeg as Qt writes the flattened frame")
        << id(ClsidJpegEncoder) << qtBytes(flattened(frame), "jpeg", DefaultJpegQuality, -1);
    QTest::newRow("tiff as Qt writes it") << id(ClsidTiffEncoder) << qtBytes(frame, "tiff", -1, 1);
    QTest::newRow("gif as the encoder writes it in memory") << id(ClsidGifEncoder) << inMemoryGif(frame);
    QTest::newRow("bmp of a big frame")
        << id(ClsidBmpEncoder) << qtBytes(flattened(mixedFrame(1001, 300)), "bmp", -1, -1);
}

void TestStreamedSave::sameBytesAsInMemory()
{
    QFETCH(QByteArray, clsid);
    QFETCH(QByteArray, expected);
    QVERIFY(!expected.isEmpty());
    Guid id{};
    std::memcpy(&id, clsid.constData(), sizeof id);
    const QImage frame = QByteArray(QTest::currentDataTag()).contains("big") ? mixedFrame(1001, 300)
                                                                             : mixedFrame(13, 7);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.out"));
    QCOMPARE(saveFrame(frame, id, nullptr, path), Ok);
    QCOMPARE(readAll(path), expected);
}

void TestStreamedSave::byteBudgetLimitsFramesInFlight_data()
{
    QTest::addColumn<qint64>("budget"); // in frames' worth of bytes, times 100
    QTest::newRow("budget of one frame: one at a time") << qint64(100);
    QTest::newRow("budget under one frame: still one at a time, none refused") << qint64(40);
    QTest::newRow("budget of one and a half frames: one at a time") << qint64(150);
}

void TestStreamedSave::byteBudgetLimitsFramesInFlight()
{
    QFETCH(qint64, budget);
    const QImage frame = mixedFrame(64, 64);
    QTemporaryDir dir;
    const int count = 5;
    FrameSaver saver(2, 3, frame.sizeInBytes() * budget / 100);
    for (int i = 0; i < count; ++i)
        saver.submit(frame, ClsidBmpEncoder, nullptr, dir.filePath(QStringLiteral("f_%1.BMP").arg(i)),
                     std::uint32_t(i));
    QVERIFY(saver.wait());
    QCOMPARE(saver.peakInFlight(), 1);
    QVERIFY(saver.failures().empty());
    for (int i = 0; i < count; ++i)
        QCOMPARE(QImage(dir.filePath(QStringLiteral("f_%1.BMP").arg(i))).size(), frame.size());
}

void TestStreamedSave::smallFramesUseEverySlot()
{
    // Writes wait at the gate, so nothing finishes before all three are in.
    fgtest::WriteCallScope seam(&gatedWrite);
    QTemporaryDir dir;
    FrameSaver saver(2, 3);
    for (int i = 0; i < 3; ++i)
        saver.submit(mixedFrame(16, 16), ClsidPngEncoder, nullptr,
                     dir.filePath(QStringLiteral("f_%1.png").arg(i)), std::uint32_t(i));
    QCOMPARE(saver.peakInFlight(), 3);
    writeGate.release();
    QVERIFY(saver.wait());
    writeGate.acquire();
    QVERIFY(saver.failures().empty());
}

void TestStreamedSave::slotOpensWhenThePixelsAreLetGo_data()
{
    QTest::addColumn<QByteArray>("clsid");
    QTest::addColumn<QImage>("frame");
    QTest::addColumn<bool>("letInWhileWriting");
    auto id = [](const Guid &g) { return QByteArray(reinterpret_cast<const char *>(&g), sizeof g); };
    QImage flat(40, 30, QImage::Format_ARGB32);
    flat.fill(qRgba(10, 200, 30, 255));
    QImage photo(40, 30, QImage::Format_ARGB32); // over 256 colours
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            photo.setPixel(x, y, qRgb(x * 6, y * 8, (x * y) & 0xFF));
    QTest::newRow("palette png: let in once the indexes are made") << id(ClsidPngEncoder) << flat << true;
    QTest::newRow("true-colour png: let in once the rows are filtered") << id(ClsidPngEncoder) << photo << true;
    QTest::newRow("gif: let in once the indexes are made") << id(ClsidGifEncoder) << photo << true;
    QTest::newRow("bmp writes from the pixels: let in when it is done") << id(ClsidBmpEncoder) << flat << false;
}

void TestStreamedSave::slotOpensWhenThePixelsAreLetGo()
{
    QFETCH(QByteArray, clsid);
    QFETCH(QImage, frame);
    QFETCH(bool, letInWhileWriting);
    Guid id{};
    std::memcpy(&id, clsid.constData(), sizeof id);
    QTemporaryDir dir;
    fgtest::WriteCallScope seam(&gatedWrite);
    writesAtTheGate.store(0);
    // One worker, one slot: the first frame's write waits at the gate while the
    // saver's owner asks for room for a second.
    std::atomic<bool> letIn{false};
    std::atomic<bool> gateOpen{false};
    std::atomic<bool> gateOpenWhenLetIn{false};
    std::thread owner([&] {
        FrameSaver saver(1, 1);
        saver.submit(frame.copy(), id, nullptr, dir.filePath(QStringLiteral("first")), 0);
        saver.waitForRoom(frame.sizeInBytes());
        gateOpenWhenLetIn.store(gateOpen.load());
        letIn.store(true);
        saver.wait();
    });
    QTRY_VERIFY(writesAtTheGate.load() > 0);
    if (letInWhileWriting)
        QTRY_VERIFY(letIn.load());
    else
        QVERIFY(!letIn.load()); // cannot change while the write waits
    gateOpen.store(true);
    writeGate.release();
    owner.join();
    writeGate.acquire();
    QCOMPARE(gateOpenWhenLetIn.load(), !letInWhileWriting);
}

QTEST_GUILESS_MAIN(TestStreamedSave)
#include "tst_streamedsave.moc"
