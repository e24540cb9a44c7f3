// Animated PNGs behind engine::Image: how frames are disposed, blended and placed,
// palette files, the default image, delays, broken files, and telling the format
// by content. Expected pixels follow the APNG rules; where Pillow differs (it
// blends alpha linearly, so semi-transparent paint over a canvas gets too little
// alpha) the test follows the rules' Porter-Duff "over" and says so.

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include "common/apngwriter.h"
#include "common/gifwriter.h"
#include "imaging/engine/apngdecoder.h"
#include "imaging/engine/image.h"

using engine::Image;
using engine::Status;
using fgtest::ApngFrame;
using fgtest::ApngSpec;
using fgtest::solidImage;

namespace {

constexpr QRgb Clear = 0x00000000;
constexpr QRgb Red = 0xFFFF0000;
constexpr QRgb Green = 0xFF00FF00;
constexpr QRgb Blue = 0xFF0000FF;

struct Expect {
    int frame;
    int x, y;
    QRgb argb;
};

ApngFrame frame(const QImage &image, int x = 0, int y = 0, std::uint8_t dispose = 0, std::uint8_t blend = 0)
{
    ApngFrame f;
    f.image = image;
    f.x = x;
    f.y = y;
    f.dispose = dispose;
    f.blend = blend;
    return f;
}

ApngSpec canvas(int w, int h, std::vector<ApngFrame> frames)
{
    ApngSpec spec;
    spec.width = w;
    spec.height = h;
    spec.frames = std::move(frames);
    return spec;
}

QRgb pixelOf(const QImage &image, int x, int y)
{
    const QRgb p = image.pixel(x, y);
    return qAlpha(p) == 0 ? Clear : p;
}

} // namespace

Q_DECLARE_METATYPE(fgtest::ApngSpec)
Q_DECLARE_METATYPE(QList<Expect>)

class TestApng : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_serial = 0;

    QString write(const ApngSpec &spec, const QString &name = {})
    {
        const QString path = m_dir.filePath(name.isEmpty() ? QStringLiteral("f%1.png").arg(++m_serial) : name);
        const QByteArray bytes = fgtest::apngBytes(spec);
        if (bytes.isEmpty() || !fgtest::writeBytes(path, bytes))
            return {};
        return path;
    }

private slots:
    void compositing_data()
    {
        QTest::addColumn<ApngSpec>("spec");
        QTest::addColumn<QList<Expect>>("expected");

        const QImage red = solidImage(4, 4, Red);
        QTest::newRow("dispose none keeps the frame under the next")
            << canvas(4, 4, {frame(red, 0, 0, 0), frame(solidImage(2, 2, Blue), 2, 2)})
            << QList<Expect>{{1, 0, 0, Red}, {1, 2, 2, Blue}, {1, 3, 3, Blue}};
        QTest::newRow("dispose background clears the frame's rectangle to transparent")
            << canvas(4, 4, {frame(red), frame(solidImage(2, 2, Blue), 2, 2, 1), frame(solidImage(1, 1, Green), 0, 0)})
            << QList<Expect>{{1, 2, 2, Blue}, {2, 2, 2, Clear}, {2, 3, 3, Clear}, {2, 1, 1, Red}, {2, 0, 0, Green}};
        QTest::newRow("dispose previous restores what was under the frame")
            << canvas(4, 4, {frame(red), frame(solidImage(2, 2, Blue), 1, 1, 2), frame(solidImage(1, 1, Green), 3, 3)})
            << QList<Expect>{{1, 1, 1, Blue}, {2, 1, 1, Red}, {2, 2, 2, Red}, {2, 3, 3, Green}};
        QTest::newRow("dispose previous on the first frame clears it like background")
            << canvas(4, 4, {frame(red, 0, 0, 2), frame(solidImage(1, 1, Blue), 0, 0)})
            << QList<Expect>{{0, 1, 1, Red}, {1, 0, 0, Blue}, {1, 1, 1, Clear}};
        QTest::newRow("blend source replaces the canvas, alpha included")
            << canvas(4, 4, {frame(red), frame(solidImage(2, 2, 0x400000FF), 0, 0, 0, 0)})
            << QList<Expect>{{1, 0, 0, 0x400000FF}, {1, 2, 2, Red}};
        QTest::newRow("blend over keeps the canvas under transparent pixels")
            << canvas(4, 4, {frame(red), frame(solidImage(2, 2, 0x000000FF), 0, 0, 0, 1)})
            << QList<Expect>{{1, 0, 0, Red}, {1, 1, 1, Red}};
        // Pillow gives alpha 191 here (it interpolates alpha like a colour).
        QTest::newRow("semi-transparent paint blended over an opaque canvas")
            << canvas(4, 4, {frame(red), frame(solidImage(2, 2, 0x8000FF00), 1, 1, 0, 1)})
            << QList<Expect>{{1, 1, 1, qRgba(127, 128, 0, 255)}, {1, 0, 0, Red}};
        // The decoders disagree here; the APNG rules' "over": alpha 128 + 128 x 127 / 255
        // = 192, red 255 x 128 x 127 / 255 / 191.75 = 85, blue 255 x 128 / 191.75 = 170.
        QTest::newRow("semi-transparent paint blended over a semi-transparent canvas")
            << canvas(2, 2, {frame(solidImage(2, 2, 0x80FF0000)), frame(solidImage(2, 2, 0x800000FF), 0, 0, 0, 1)})
            << QList<Expect>{{1, 0, 0, qRgba(85, 0, 170, 192)}};
        QTest::newRow("partial frames land at their offsets")
            << canvas(6, 5, {frame(solidImage(6, 5, Clear)), frame(solidImage(1, 1, Red), 5, 4),
                             frame(solidImage(2, 1, Blue), 1, 3)})
            << QList<Expect>{{1, 5, 4, Red}, {1, 0, 0, Clear}, {1, 4, 4, Clear}, {2, 1, 3, Blue},
                             {2, 2, 3, Blue}, {2, 3, 3, Clear}, {2, 0, 3, Clear}, {2, 5, 4, Red}};
        // Pillow refuses such files; they are clipped like GIF frames.
        QTest::newRow("a frame reaching past the canvas is clipped to it")
            << canvas(4, 4, {frame(red), frame(solidImage(3, 3, Blue), 2, 2)})
            << QList<Expect>{{1, 3, 3, Blue}, {1, 1, 1, Red}};
        QTest::newRow("a frame wholly outside the canvas counts and draws nothing")
            << canvas(4, 4, {frame(red), frame(solidImage(2, 2, Blue), 9, 9), frame(solidImage(1, 1, Green))})
            << QList<Expect>{{1, 0, 0, Red}, {1, 3, 3, Red}, {2, 0, 0, Green}};

        QImage indexed(3, 1, QImage::Format_Indexed8);
        indexed.setColorTable({Red, Green, 0x00000000});
        indexed.setPixel(0, 0, 0);
        indexed.setPixel(1, 0, 1);
        indexed.setPixel(2, 0, 2);
        QImage indexed2 = indexed;
        indexed2.setPixel(0, 0, 2);
        indexed2.setPixel(1, 0, 0);
        indexed2.setPixel(2, 0, 1);
        QTest::newRow("palette frames with a transparent entry")
            << canvas(3, 1, {frame(indexed), frame(indexed2, 0, 0, 0, 1)})
            << QList<Expect>{{0, 0, 0, Red}, {0, 1, 0, Green}, {0, 2, 0, Clear},
                             {1, 0, 0, Red}, {1, 1, 0, Red}, {1, 2, 0, Green}};

        // Rows 0..6 differ so that a pass put in the wrong place shows; the frame
        // reaches past the canvas, so the rows below it are decoded and dropped.
        QImage stripes(9, 9, QImage::Format_ARGB32);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 9; ++x)
                stripes.setPixel(x, y, qRgba(y * 20, x * 20, 7, 255 - y));
        ApngSpec interlaced = canvas(7, 7, {frame(stripes), frame(solidImage(3, 2, 0x800000FF), 1, 1, 0, 1)});
        interlaced.interlaced = true;
        QTest::newRow("interlaced frames")
            << interlaced
            << QList<Expect>{{0, 0, 0, qRgba(0, 0, 7, 255)}, {0, 5, 3, qRgba(60, 100, 7, 252)},
                             {0, 6, 6, qRgba(120, 120, 7, 249)}, {1, 6, 6, qRgba(120, 120, 7, 249)},
                             {1, 3, 2, qRgba(20, 30, 132, 254)}};

        ApngSpec withDefault = canvas(2, 2, {frame(solidImage(2, 2, Green)), frame(solidImage(1, 1, Blue))});
        withDefault.defaultImage = solidImage(2, 2, Red);
        // Pillow lists the default image as a frame of its own; browsers do not.
        QTest::newRow("a default image before the first fcTL is no frame")
            << withDefault << QList<Expect>{{0, 0, 0, Green}, {0, 1, 1, Green}, {1, 0, 0, Blue}, {1, 1, 1, Green}};
    }

    void compositing()
    {
        QFETCH(ApngSpec, spec);
        QFETCH(QList<Expect>, expected);
        const QString path = write(spec);
        QVERIFY(!path.isEmpty());
        Status st = engine::GenericError;
        auto img = Image::load(path, &st);
        QVERIFY(img);
        QCOMPARE(st, engine::Ok);
        QCOMPARE(img->frameDimension(), engine::FrameDimensionTime);
        QCOMPARE(img->frameCount(), std::uint32_t(spec.frames.size()));
        QCOMPARE(img->width(), spec.width);
        // Forward, then backward (a restart) must give the same frames.
        for (int pass = 0; pass < 2; ++pass) {
            for (int i = 0; i < expected.size(); ++i) {
                const Expect &e = pass == 0 ? expected[i] : expected[expected.size() - 1 - i];
                QCOMPARE(img->selectFrame(engine::FrameDimensionTime, std::uint32_t(e.frame)), engine::Ok);
                QCOMPARE(img->activeFrame().format(), QImage::Format_ARGB32);
                QCOMPARE(pixelOf(img->activeFrame(), e.x, e.y), e.argb);
            }
        }
    }

    void delays_data()
    {
        QTest::addColumn<int>("num");
        QTest::addColumn<int>("den");
        QTest::addColumn<int>("ms");
        QTest::addColumn<int>("hundredths");
        QTest::newRow("a third of a second is 333 ms") << 1 << 3 << 333 << 33;
        QTest::newRow("two thirds round up to 667 ms") << 2 << 3 << 667 << 67;
        QTest::newRow("denominator 0 means hundredths") << 7 << 0 << 70 << 7;
        QTest::newRow("no delay stays 0") << 0 << 0 << 0 << 0;
        QTest::newRow("thousandths stay unrounded") << 33 << 1000 << 33 << 3;
        QTest::newRow("the largest delay does not overflow") << 65535 << 1 << 65535000 << 6553500;
    }

    void delays()
    {
        QFETCH(int, num);
        QFETCH(int, den);
        QFETCH(int, ms);
        QFETCH(int, hundredths);
        ApngSpec spec = canvas(1, 1, {frame(solidImage(1, 1, Red)), frame(solidImage(1, 1, Blue))});
        spec.frames[1].delayNum = std::uint16_t(num);
        spec.frames[1].delayDen = std::uint16_t(den);
        spec.plays = 3;
        auto img = Image::load(write(spec));
        QVERIFY(img);
        QVERIFY(img->hasFrameDelays());
        QCOMPARE(img->frameDelaysMs(), (std::vector<std::uint32_t>{100, std::uint32_t(ms)}));
        QCOMPARE(img->frameDelays(), (std::vector<std::uint32_t>{10, std::uint32_t(hundredths)}));
        QCOMPARE(img->loopCount(), 3);
    }

    void brokenFiles_data()
    {
        // Per frame: "ok", "damaged" (drawn as far as it decodes), "corrupt"
        // (nothing drawn), "refused" (over the work limit).
        QTest::addColumn<ApngSpec>("spec");
        QTest::addColumn<QStringList>("outcomes");
        QTest::addColumn<QList<Expect>>("expected");

        const auto three = [] {
            return canvas(4, 4, {frame(solidImage(4, 4, Red)), frame(solidImage(2, 2, Blue)), frame(solidImage(1, 1, Green), 3, 3)});
        };
        ApngSpec cut = three();
        cut.cutAt = int(fgtest::apngBytes(cut).size()) - 12 - 4 - 3; // inside the last fdAT's data
        QTest::newRow("a file cut inside a frame keeps the frames before it; nothing of that one decodes")
            << cut << QStringList{"ok", "ok", "corrupt"} << QList<Expect>{{1, 0, 0, Blue}, {1, 3, 3, Red}, {2, 0, 0, Blue}, {2, 3, 3, Red}};
        ApngSpec sequence = three();
        sequence.badSequenceAt = 3; // the third frame's fcTL
        QTest::newRow("a sequence number out of order makes that frame on corrupt, still counted")
            << sequence << QStringList{"ok", "ok", "corrupt"} << QList<Expect>{{1, 0, 0, Blue}, {2, 3, 3, Red}};
        ApngSpec huge = three();
        huge.frames[1].width = 300000; // 300,000 x the 4 rows on the canvas: over 4 canvases + 1,000,000
        huge.frames[1].height = 100000;
        QTest::newRow("a frame over the work limit is counted, refused and not drawn")
            << huge << QStringList{"ok", "refused", "ok"} << QList<Expect>{{1, 0, 0, Red}, {2, 3, 3, Green}};
        ApngSpec lying = three();
        lying.frames[1].width = 3; // the data holds 2 x 2 pixels: corrupt for 3 x 2
        QTest::newRow("a frame whose data does not fit its size is drawn as far as it decodes")
            << lying << QStringList{"ok", "damaged", "ok"} << QList<Expect>{{2, 3, 3, Green}};
    }

    void brokenFiles()
    {
        QFETCH(ApngSpec, spec);
        QFETCH(QStringList, outcomes);
        QFETCH(QList<Expect>, expected);
        Status st = engine::GenericError;
        auto img = Image::load(write(spec), &st);
        QVERIFY(img);
        QCOMPARE(st, engine::Ok);
        QCOMPARE(img->frameCount(), std::uint32_t(outcomes.size()));
        for (std::uint32_t i = 0; i < img->frameCount(); ++i) {
            const QString &o = outcomes[int(i)];
            const Status want = o == "corrupt" ? engine::FrameCorrupt : o == "refused" ? engine::OutOfMemory : engine::Ok;
            QCOMPARE(img->selectFrame(engine::FrameDimensionTime, i), want);
            QCOMPARE(img->activeFrameIndex(), i);
            QCOMPARE(img->activeFrameDamaged(), o == "damaged");
        }
        for (const Expect &e : expected) {
            img->selectFrame(engine::FrameDimensionTime, std::uint32_t(e.frame));
            QCOMPARE(img->activeFrameIndex(), std::uint32_t(e.frame));
            QCOMPARE(pixelOf(img->activeFrame(), e.x, e.y), e.argb);
        }
    }

    void unusableFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("status");
        ApngSpec spec = canvas(4, 4, {frame(solidImage(4, 4, Red))});
        const QByteArray good = fgtest::apngBytes(spec);
        QTest::newRow("cut inside the header") << good.left(20) << int(engine::UnknownImageFormat);
        ApngSpec wide = spec;
        wide.width = 1 << 16;
        wide.height = 1 << 16;
        QTest::newRow("a canvas over the limit") << fgtest::apngBytes(wide) << int(engine::OutOfMemory);
        ApngSpec empty = spec;
        empty.width = 0;
        QTest::newRow("a canvas 0 pixels wide") << fgtest::apngBytes(empty) << int(engine::InvalidParameter);
    }

    void unusableFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, status);
        const QString path = m_dir.filePath(QStringLiteral("bad%1.png").arg(++m_serial));
        QVERIFY(fgtest::writeBytes(path, bytes));
        Status st = engine::Ok;
        QVERIFY(!Image::load(path, &st));
        QCOMPARE(int(st), status);
    }

    void stillPngStaysOnePage()
    {
        // No acTL before the first IDAT: a still picture, as Qt reads it.
        const QString path = m_dir.filePath(QStringLiteral("still.png"));
        QVERIFY(solidImage(3, 2, Blue).save(path, "PNG"));
        QVERIFY(!engine::isAnimatedPngFile(path));
        auto img = Image::load(path);
        QVERIFY(img);
        QCOMPARE(img->frameDimension(), engine::FrameDimensionPage);
        QCOMPARE(img->frameCount(), 1u);
        QVERIFY(!img->hasFrameDelays());
        QCOMPARE(img->frameDelaysMs(), std::vector<std::uint32_t>{0});
    }

    void toldByContent_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("apng");
        QTest::newRow("an APNG named .gif is an animation") << QStringLiteral("moving.gif") << true;
        QTest::newRow("an APNG named .webp is an animation") << QStringLiteral("moving.webp") << true;
        QTest::newRow("a GIF named .png is a GIF") << QStringLiteral("gif.png") << false;
    }

    void toldByContent()
    {
        QFETCH(QString, name);
        QFETCH(bool, apng);
        const QString path = m_dir.filePath(name);
        if (apng) {
            QVERIFY(!write(canvas(2, 2, {frame(solidImage(2, 2, Red)), frame(solidImage(2, 2, Blue))}), name).isEmpty());
            QVERIFY(engine::isAnimatedPngFile(path));
        } else {
            fgtest::GifSpec gif;
            gif.width = gif.height = 2;
            gif.globalPalette = {{0, 0, 0}, {0, 0, 255}};
            for (int i = 0; i < 2; ++i) {
                fgtest::GifFrame f;
                f.indexes = fgtest::filled(4, std::uint8_t(i));
                f.delay = 5;
                gif.frames.push_back(f);
            }
            QVERIFY(fgtest::writeGif(path, gif));
        }
        auto img = Image::load(path);
        QVERIFY(img);
        QCOMPARE(img->frameCount(), 2u);
        QCOMPARE(img->frameDelaysMs()[1], apng ? 100u : 50u);
        QVERIFY(img->selectFrame(engine::FrameDimensionTime, 1) == engine::Ok);
        QCOMPARE(pixelOf(img->activeFrame(), 1, 1), Blue);
    }

    void savedStateResumes()
    {
        // Seeking restores a saved frame and composes forward from it, even
        // across a "previous" frame.
        const QString path = write(canvas(4, 4, {frame(solidImage(4, 4, Red)), frame(solidImage(2, 2, Blue), 0, 0, 2),
                                                 frame(solidImage(1, 1, Green), 3, 3)}));
        auto img = Image::load(path);
        QVERIFY(img);
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 1), engine::Ok);
        const auto state = img->saveState();
        QVERIFY(state);
        QCOMPARE(state->frame(), 1u);
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 2), engine::Ok);
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 0), engine::Ok);
        QCOMPARE(img->restoreState(*state), engine::Ok);
        QCOMPARE(pixelOf(img->activeFrame(), 0, 0), Blue);
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 2), engine::Ok);
        QCOMPARE(pixelOf(img->activeFrame(), 0, 0), Red);
        QCOMPARE(pixelOf(img->activeFrame(), 3, 3), Green);
        // Another picture of the same file takes the state; one of another file does not.
        auto same = Image::load(path);
        QCOMPARE(same->restoreState(*state), engine::Ok);
        QCOMPARE(same->activeFrameIndex(), 1u);
        QCOMPARE(pixelOf(same->activeFrame(), 0, 0), Blue);
        auto other = Image::load(write(canvas(4, 4, {frame(solidImage(4, 4, Red)), frame(solidImage(4, 4, Red)),
                                                    frame(solidImage(4, 4, Red))})));
        QCOMPARE(other->restoreState(*state), engine::InvalidParameter);
    }

    void changedFileStopsDrawing()
    {
        const QString path = write(canvas(2, 2, {frame(solidImage(2, 2, Red)), frame(solidImage(2, 2, Blue))}));
        auto img = Image::load(path);
        QVERIFY(img);
        QFile f(path);
        QVERIFY(f.open(QIODevice::Append));
        QVERIFY(f.write("more") == 4);
        f.close();
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 1), engine::SourceChanged);
        QCOMPARE(img->activeFrameIndex(), 0u);
        QCOMPARE(pixelOf(img->activeFrame(), 0, 0), Red);
    }
};

QTEST_GUILESS_MAIN(TestApng)
#include "tst_apng.moc"
