// WebP pictures behind engine::Image: composited frames (blend, dispose, offsets,
// alpha), delays in milliseconds, loop counts, still pictures, and files that are
// cut short, too large or named for another format. The files are in tests/data
// (see its README for how they were made).

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <memory>
#include <random>

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

// The same frames with blending and disposal chosen at random (what the frames
// then show does not matter: only that both decoders agree on it).
QByteArray shuffleBlendAndDispose(const QByteArray &bytes, std::mt19937 &rng)
{
    struct MuxDeleter {
        void operator()(WebPMux *m) const { WebPMuxDelete(m); }
    };
    const WebPData data{reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size())};
    std::unique_ptr<WebPMux, MuxDeleter> in(WebPMuxCreate(&data, 1));
    std::unique_ptr<WebPMux, MuxDeleter> out(WebPMuxNew());
    WebPMuxAnimParams params;
    int frames = 0;
    if (!in || !out || WebPMuxGetAnimationParams(in.get(), &params) != WEBP_MUX_OK
        || WebPMuxSetAnimationParams(out.get(), &params) != WEBP_MUX_OK
        || WebPMuxNumChunks(in.get(), WEBP_CHUNK_ANMF, &frames) != WEBP_MUX_OK)
        return {};
    for (int i = 1; i <= frames; ++i) {
        WebPMuxFrameInfo frame;
        if (WebPMuxGetFrame(in.get(), std::uint32_t(i), &frame) != WEBP_MUX_OK)
            return {};
        frame.dispose_method = rng() % 2 ? WEBP_MUX_DISPOSE_BACKGROUND : WEBP_MUX_DISPOSE_NONE;
        frame.blend_method = rng() % 3 ? WEBP_MUX_BLEND : WEBP_MUX_NO_BLEND;
        const WebPMuxError pushed = WebPMuxPushFrame(out.get(), &frame, 1);
        WebPDataClear(&frame.bitstream);
        if (pushed != WEBP_MUX_OK)
            return {};
    }
    WebPData assembled;
    WebPDataInit(&assembled);
    if (WebPMuxAssemble(out.get(), &assembled) != WEBP_MUX_OK)
        return {};
    const QByteArray result(reinterpret_cast<const char *>(assembled.bytes), qsizetype(assembled.size));
    WebPDataClear(&assembled);
    return result;
}

// An animation of `frames` frames of width x height drawn from `seed`: each frame
// paints a few rectangles (opaque, half-transparent or clearing to transparent)
// over the one before, so libwebp's encoder makes sub-rectangles of them; their
// blending and disposal are then shuffled.
QByteArray encodeAnimation(std::uint32_t seed, int width, int height, int frames, bool lossless,
                           bool mixed)
{
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return int(rng() % std::uint32_t(n)); };
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options))
        return {};
    options.allow_mixed = mixed;
    options.anim_params.loop_count = 0;
    struct EncoderDeleter {
        void operator()(WebPAnimEncoder *e) const { WebPAnimEncoderDelete(e); }
    };
    std::unique_ptr<WebPAnimEncoder, EncoderDeleter> encoder(WebPAnimEncoderNew(width, height, &options));
    WebPConfig config;
    if (!encoder || !WebPConfigInit(&config))
        return {};
    config.lossless = lossless;
    config.quality = 70;
    QImage picture(width, height, QImage::Format_ARGB32);
    picture.fill(0);
    int timestamp = 0;
    for (int f = 0; f < frames; ++f) {
        for (int r = 1 + pick(3); r > 0; --r) {
            const int x = pick(width), y = pick(height);
            const QRect rect(x, y, 1 + pick(width - x), 1 + pick(height - y));
            const int kind = pick(4);
            const int alpha = kind == 0 ? 0 : kind == 1 ? 255 : 1 + pick(254);
            const QRgb colour = kind == 0 ? 0u : qRgba(pick(256), pick(256), pick(256), alpha);
            for (int yy = rect.top(); yy <= rect.bottom(); ++yy)
                for (int xx = rect.left(); xx <= rect.right(); ++xx)
                    picture.setPixel(xx, yy, colour);
        }
        WebPPicture pic;
        if (!WebPPictureInit(&pic))
            return {};
        pic.width = width;
        pic.height = height;
        pic.use_argb = 1;
        const bool imported = WebPPictureImportBGRA(&pic, picture.constBits(), int(picture.bytesPerLine()));
        const bool added = imported && WebPAnimEncoderAdd(encoder.get(), &pic, timestamp, &config);
        WebPPictureFree(&pic);
        if (!added)
            return {};
        timestamp += 10 + pick(90);
    }
    WebPData out;
    WebPDataInit(&out);
    if (!WebPAnimEncoderAdd(encoder.get(), nullptr, timestamp, nullptr)
        || !WebPAnimEncoderAssemble(encoder.get(), &out))
        return {};
    const QByteArray bytes(reinterpret_cast<const char *>(out.bytes), qsizetype(out.size));
    WebPDataClear(&out);
    return shuffleBlendAndDispose(bytes, rng);
}

// How often the file's frames blend and are disposed to the background.
struct FrameKinds {
    int blend = 0;
    int disposeToBackground = 0;
};

FrameKinds frameKinds(const QByteArray &bytes)
{
    FrameKinds kinds;
    const WebPData data{reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size())};
    WebPDemuxer *demux = WebPDemux(&data);
    WebPIterator it;
    if (demux && WebPDemuxGetFrame(demux, 1, &it)) {
        do {
            kinds.blend += it.blend_method == WEBP_MUX_BLEND && it.has_alpha;
            kinds.disposeToBackground += it.dispose_method == WEBP_MUX_DISPOSE_BACKGROUND;
        } while (WebPDemuxNextFrame(&it));
        WebPDemuxReleaseIterator(&it);
    }
    WebPDemuxDelete(demux);
    return kinds;
}

// Every frame of `bytes` as libwebp's animation decoder composites it.
std::vector<QImage> libwebpFrames(const QByteArray &bytes)
{
    std::vector<QImage> frames;
    const WebPData data{reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size())};
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        return frames;
    options.color_mode = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? MODE_BGRA : MODE_ARGB;
    WebPAnimDecoder *decoder = WebPAnimDecoderNew(&data, &options);
    WebPAnimInfo info;
    if (decoder && WebPAnimDecoderGetInfo(decoder, &info)) {
        std::uint8_t *buf = nullptr;
        int timestamp = 0;
        while (WebPAnimDecoderGetNext(decoder, &buf, &timestamp))
            frames.push_back(QImage(buf, int(info.canvas_width), int(info.canvas_height),
                                    QImage::Format_ARGB32)
                                 .copy());
    }
    WebPAnimDecoderDelete(decoder);
    return frames;
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
        // Half-transparent green over opaque red, blended in fixed point and
        // rounded down as libwebp does: 126, 127 where exact arithmetic
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

    void framesEqualLibwebpsAnimationDecoder_data()
    {
        QTest::addColumn<std::uint32_t>("seed");
        QTest::addColumn<bool>("lossless");
        QTest::addColumn<bool>("mixed");
        QTest::newRow("lossless frames blended and disposed") << 1u << true << false;
        QTest::newRow("lossless, another drawing") << 2u << true << false;
        QTest::newRow("lossy frames with alpha") << 3u << false << false;
        QTest::newRow("lossy and lossless frames mixed") << 4u << false << true;
        QTest::newRow("mixed, another drawing") << 5u << true << true;
    }

    void framesEqualLibwebpsAnimationDecoder()
    {
        // Every bit of every frame, the colour of transparent pixels included:
        // a file exported from here equals one from any libwebp-based tool.
        QFETCH(std::uint32_t, seed);
        QFETCH(bool, lossless);
        QFETCH(bool, mixed);
        const QByteArray bytes = encodeAnimation(seed, 61, 47, 24, lossless, mixed);
        QVERIFY(!bytes.isEmpty());
        const FrameKinds kinds = frameKinds(bytes);
        QVERIFY(kinds.blend > 0);
        QVERIFY(kinds.disposeToBackground > 0);
        // The encoder merges a frame that changes nothing into the one before.
        const std::vector<QImage> reference = libwebpFrames(bytes);
        QVERIFY(reference.size() >= 20);
        const QString path = m_dir.filePath(QStringLiteral("drawn-%1.webp").arg(seed));
        QVERIFY(fgtest::writeBytes(path, bytes));
        auto img = Image::load(path);
        QVERIFY(img);
        QCOMPARE(img->frameCount(), std::uint32_t(reference.size()));
        for (std::uint32_t i = 0; i < img->frameCount(); ++i) {
            QCOMPARE(img->selectFrame(engine::FrameDimensionTime, i), engine::Ok);
            const QImage &mine = img->activeFrame();
            for (int y = 0; y < mine.height(); ++y)
                for (int x = 0; x < mine.width(); ++x)
                    if (mine.pixel(x, y) != reference[i].pixel(x, y))
                        QFAIL(qPrintable(QStringLiteral("frame %1 at %2,%3: %4 against %5")
                                             .arg(i).arg(x).arg(y).arg(mine.pixel(x, y), 8, 16, QLatin1Char('0'))
                                             .arg(reference[i].pixel(x, y), 8, 16, QLatin1Char('0'))));
        }
        // Backwards too: going back restarts the drawing.
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 5), engine::Ok);
        QCOMPARE(img->activeFrame(), reference[5]);
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
