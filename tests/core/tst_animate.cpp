// A selection saved as a new animation and read back by the engine: at every
// moment of the played timeline the same picture as the source's frames in
// the chosen order and speed (GIF: alpha all or nothing, delays in whole
// hundredths and never below 20 ms), with the loop count asked for.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include "common/apngwriter.h"
#include "common/gifwriter.h"
#include "core/animate.h"
#include "core/framehash.h"
#include "imaging/engine/framerecord.h"

using engine::AnimationFormat;

Q_DECLARE_METATYPE(AnimationFormat)
Q_DECLARE_METATYPE(FrameOrder)

namespace {

// A stretch of the timeline showing one picture.
struct Stretch {
    std::uint64_t hash;
    double start, end;
};

void append(std::vector<Stretch> *line, std::uint64_t hash, double length)
{
    const double start = line->empty() ? 0 : line->back().end;
    if (length <= 0)
        return; // never on screen
    if (!line->empty() && line->back().hash == hash)
        line->back().end += length;
    else
        line->push_back({hash, start, start + length});
}

QImage binaryAlpha(const QImage &frame)
{
    QImage out = frame.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            line[x] = qAlpha(line[x]) < 128 ? 0 : (line[x] | 0xFF000000u);
    }
    return out;
}

// What the new file should play.
std::vector<Stretch> expectedTimeline(const QString &source, const AnimateRequest &request)
{
    auto image = engine::Image::load(source);
    const bool gif = isGifFile(source);
    std::vector<std::uint32_t> chosen = request.frames;
    if (chosen.empty())
        for (std::uint32_t i = 0; i < image->frameCount(); ++i)
            chosen.push_back(i);
    const auto delays = image->frameDelaysMs();
    std::vector<Stretch> line;
    for (std::uint32_t i : playOrder(chosen, request.order)) {
        image->selectFrame(image->frameDimension(), i);
        double ms = double(engine::playedDelayMs(delays[i], gif)) / request.speed;
        QImage frame = image->activeFrame();
        if (request.format == AnimationFormat::Gif) {
            frame = binaryAlpha(frame);
            ms = std::max(ms, engine::MinGifDelayMs);
        }
        append(&line, frameHash(frame), ms);
    }
    return line;
}

// What the engine plays from the written file.
std::vector<Stretch> playedTimeline(const QString &path, int *loopCount)
{
    auto image = engine::Image::load(path);
    if (!image)
        return {};
    *loopCount = image->loopCount();
    const bool gif = isGifFile(path);
    const auto delays = image->frameDelaysMs();
    std::vector<Stretch> line;
    for (std::uint32_t i = 0; i < image->frameCount(); ++i) {
        image->selectFrame(image->frameDimension(), i);
        const double ms = delays.empty() ? 0 : double(engine::playedDelayMs(delays[i], gif));
        // A still picture has no delay, and is still on screen.
        append(&line, frameHash(image->activeFrame()), image->frameCount() == 1 && ms == 0 ? 1 : ms);
    }
    return line;
}

QString suffix(AnimationFormat format)
{
    switch (format) {
    case AnimationFormat::Gif: return QStringLiteral(".gif");
    case AnimationFormat::Apng: return QStringLiteral(".png");
    case AnimationFormat::Webp: break;
    }
    return QStringLiteral(".webp");
}

// The loop count the engine reports for `plays` written in `format`.
int loopCountFor(AnimationFormat format, int plays)
{
    if (format == AnimationFormat::Gif)
        return plays == 1 ? -1 : plays == 0 ? 0 : plays - 1;
    return plays;
}

QImage gradient(int w, int h, QRgb over = 0)
{
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, over ? over : qRgba(x * 8, y * 8, (x * y) & 0xFF, 255));
    return image;
}

} // namespace

class TestAnimate : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    void roundTrip(const QString &source, const AnimateRequest &request, bool exact, int raised,
                   int quantised)
    {
        auto image = engine::Image::load(source);
        QVERIFY2(image, qPrintable(source));
        const AnimateResult result = animate(*image, isGifFile(source), request);
        QCOMPARE(int(result.cause), int(engine::Cause::None));
        QCOMPARE(result.notes.raisedDelays, raised);
        QCOMPARE(result.notes.quantisedFrames, quantised);

        int loop = -2;
        const std::vector<Stretch> played = playedTimeline(request.target, &loop);
        const std::vector<Stretch> wanted = expectedTimeline(source, request);
        const int plays = request.plays >= 0 ? request.plays : sourcePlays(*image, isGifFile(source));
        // libwebp writes a single picture as a still one, without a loop count
        // or a delay.
        const bool still = request.format == AnimationFormat::Webp && played.size() == 1 && loop == -1;
        if (!still)
            QCOMPARE(loop, loopCountFor(request.format, plays));
        QCOMPARE(played.size(), wanted.size());
        // GIF hundredths carry their rounding error on: every moment within
        // 10 ms; milliseconds elsewhere, rounded once.
        const double slack = request.format == AnimationFormat::Gif ? 10 : 1;
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            if (exact)
                QVERIFY2(played[i].hash == wanted[i].hash, qPrintable(QStringLiteral("stretch %1").arg(i)));
            QVERIFY2(still || std::abs(played[i].end - wanted[i].end) <= slack,
                     qPrintable(QStringLiteral("stretch %1 ends at %2, wanted %3")
                                    .arg(i).arg(played[i].end).arg(wanted[i].end)));
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // 8 x 6: frames on part of the screen, cleared to transparent by a
        // background disposal, restored by a previous one, one frame unchanged.
        fgtest::GifSpec moving;
        moving.width = 8;
        moving.height = 6;
        moving.loopCount = 2;
        moving.globalPalette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
        auto frame = [](int x, int y, int w, int h, std::vector<std::uint8_t> idx, int disposal, int delay) {
            fgtest::GifFrame f;
            f.x = x, f.y = y, f.w = w, f.h = h;
            f.indexes = std::move(idx);
            f.transparent = 4;
            f.disposal = disposal;
            f.delay = delay;
            return f;
        };
        std::vector<std::uint8_t> first(48);
        for (int i = 0; i < 48; ++i)
            first[std::size_t(i)] = std::uint8_t(i % 7 == 3 ? 4 : i % 4);
        moving.frames.push_back(frame(0, 0, 8, 6, first, 1, 5));
        moving.frames.push_back(frame(2, 1, 3, 3, fgtest::filled(9, 1), 2, 0));
        moving.frames.push_back(frame(0, 0, 2, 2, fgtest::filled(4, 3), 3, 7));
        moving.frames.push_back(frame(5, 3, 3, 3, {2, 2, 2, 2, 4, 2, 2, 2, 2}, 1, 3));
        moving.frames.push_back(frame(0, 0, 1, 1, {4}, 1, 4));
        QVERIFY(fgtest::writeGif(path("moving.gif"), moving));

        // Two frames of 256 colours each, 512 together: each fits a table.
        fgtest::GifSpec colours;
        colours.width = colours.height = 16;
        for (int f = 0; f < 2; ++f) {
            fgtest::GifFrame g;
            for (int i = 0; i < 256; ++i) {
                g.localPalette.push_back(f ? fgtest::GifRgb{0, std::uint8_t(i), 7} : fgtest::GifRgb{std::uint8_t(i), 0, 9});
                g.indexes.push_back(std::uint8_t(i));
            }
            g.delay = 4;
            colours.frames.push_back(g);
        }
        QVERIFY(fgtest::writeGif(path("colours.gif"), colours));

        // 160 x 160 of 256 colours, a block of it drawn anew, then the first
        // picture again: enough codes to fill the LZW coder's table (kept,
        // then cleared), and unchanged pixels among changed ones.
        fgtest::GifSpec noise;
        noise.width = noise.height = 160;
        for (int i = 0; i < 256; ++i)
            noise.globalPalette.push_back({std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)});
        std::uint32_t seed = 12345;
        // Short patterns first, then noise: the table filled on the first
        // serves the second badly and is cleared.
        auto noisy = [&](std::size_t n) {
            std::vector<std::uint8_t> idx(n);
            for (std::size_t i = 0; i < n; ++i) {
                seed = seed * 1103515245u + 12345u;
                idx[i] = std::uint8_t(i < n / 2 ? (seed >> 16) % 3 : seed >> 16);
            }
            return idx;
        };
        const std::vector<std::uint8_t> base = noisy(160 * 160);
        noise.frames.push_back(frame(0, 0, 160, 160, base, 1, 5));
        noise.frames.back().transparent = -1;
        noise.frames.push_back(frame(20, 30, 100, 90, noisy(100 * 90), 1, 5));
        noise.frames.back().transparent = -1;
        noise.frames.push_back(frame(0, 0, 160, 160, base, 1, 5));
        noise.frames.back().transparent = -1;
        QVERIFY(fgtest::writeGif(path("noise.gif"), noise));

        // 32 x 32 true colour (1,024 colours), then a see-through veil; 15 and
        // 33 ms, then 33 ms more of an unchanged picture.
        fgtest::ApngSpec apng;
        apng.width = apng.height = 32;
        apng.plays = 3;
        apng.frames.push_back({gradient(32, 32), 0, 0, 15, 1000});
        apng.frames.push_back({fgtest::solidImage(12, 10, 0x80336699), 4, 6, 33, 1000, 0, 1});
        apng.frames.push_back({fgtest::solidImage(12, 10, 0x80336699), 4, 6, 33, 1000, 0, 1});
        QVERIFY(fgtest::writeBytes(path("truecolour.png"), fgtest::apngBytes(apng)));
    }

    void timeline_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<AnimationFormat>("format");
        QTest::addColumn<FrameOrder>("order");
        QTest::addColumn<double>("speed");
        QTest::addColumn<int>("plays");
        QTest::addColumn<bool>("exact");
        QTest::addColumn<int>("raised");
        QTest::addColumn<int>("quantised");
        const QString moving = path("moving.gif");
        const QString colours = path("colours.gif");
        const QString truecolour = path("truecolour.png");
        const QString webp = QStringLiteral(FG_TEST_DATA "/webp-lossless-blend-dispose.webp");
        const QString previous = QStringLiteral(FG_TEST_DATA "/previous-disposal-first-frame.gif");
        const auto Gif = AnimationFormat::Gif, Apng = AnimationFormat::Apng, Webp = AnimationFormat::Webp;
        const auto F = FrameOrder::Forward, R = FrameOrder::Reverse, P = FrameOrder::PingPong;
        QTest::newRow("gif to gif: changed rectangles, clearing, the source's plays") << moving << Gif << F << 1.0 << -1 << true << 0 << 0;
        QTest::newRow("gif to gif reversed") << moving << Gif << R << 1.0 << -1 << true << 0 << 0;
        QTest::newRow("gif to gif ping-pong") << moving << Gif << P << 1.0 << -1 << true << 0 << 0;
        QTest::newRow("gif to gif at 0.3 times, playing for ever") << moving << Gif << F << 0.3 << 0 << true << 0 << 0;
        QTest::newRow("gif at 2.5 times: 12 and 16 ms become 20 ms") << moving << Gif << F << 2.5 << 1 << true << 2 << 0;
        QTest::newRow("gif to apng") << moving << Apng << F << 1.0 << -1 << true << 0 << 0;
        QTest::newRow("gif to apng reversed, played 4 times") << moving << Apng << R << 1.0 << 4 << true << 0 << 0;
        QTest::newRow("gif to apng ping-pong at 1.7 times") << moving << Apng << P << 1.7 << -1 << true << 0 << 0;
        QTest::newRow("gif to webp") << moving << Webp << F << 1.0 << -1 << true << 0 << 0;
        QTest::newRow("gif to webp reversed at 3 times") << moving << Webp << R << 3.0 << -1 << true << 0 << 0;
        QTest::newRow("gif to webp ping-pong, played once") << moving << Webp << P << 1.0 << 1 << true << 0 << 0;
        QTest::newRow("noise that fills the LZW table to gif") << path("noise.gif") << Gif << F << 1.0 << -1 << true << 0 << 0;
        QTest::newRow("noise that fills the LZW table to apng, reversed") << path("noise.gif") << Apng << R << 1.0 << -1 << true << 0 << 0;
        QTest::newRow("512 colours together, local tables, exact") << colours << Gif << F << 1.0 << -1 << true << 0 << 0;
        QTest::newRow("a frame of 1,024 colours is quantised, 15 ms raised") << truecolour << Gif << F << 1.0 << -1 << false << 1 << 1;
        QTest::newRow("true colour and partial alpha to apng") << truecolour << Apng << P << 1.0 << -1 << true << 0 << 0;
        QTest::newRow("true colour and partial alpha to webp") << truecolour << Webp << R << 0.5 << 2 << true << 0 << 0;
        QTest::newRow("webp to gif") << webp << Gif << F << 1.0 << -1 << true << 0 << 0;
        QTest::newRow("webp to apng reversed") << webp << Apng << R << 1.0 << -1 << true << 0 << 0;
        QTest::newRow("previous disposal first to webp") << previous << Webp << P << 1.0 << -1 << true << 0 << 0;
    }

    void timeline()
    {
        QFETCH(QString, source);
        QFETCH(AnimationFormat, format);
        AnimateRequest request;
        request.format = format;
        QFETCH(FrameOrder, order);
        request.order = order;
        QFETCH(double, speed);
        request.speed = speed;
        QFETCH(int, plays);
        request.plays = plays;
        request.target = m_dir.filePath(QStringLiteral("out%1%2").arg(QTest::currentDataTag() ? qHash(QString::fromUtf8(QTest::currentDataTag())) : 0).arg(suffix(format)));
        QFETCH(bool, exact);
        QFETCH(int, raised);
        QFETCH(int, quantised);
        roundTrip(source, request, exact, raised, quantised);
    }

    void chosenFrames_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<FrameOrder>("order");
        QTest::addColumn<qint64>("heldBytes");
        QTest::addColumn<QList<int>>("frames");
        const QString moving = path("moving.gif");
        const QString webp = QStringLiteral(FG_TEST_DATA "/webp-lossless-blend-dispose.webp");
        QTest::newRow("frames 2, 4, 5 ping-pong") << moving << FrameOrder::PingPong << qint64(std::int64_t(64) << 20) << QList<int>{1, 3, 4};
        QTest::newRow("backwards through two held frames and saved states") << moving << FrameOrder::Reverse << qint64(1) << QList<int>{0, 1, 2, 3, 4};
        QTest::newRow("backwards through two held frames, starting over") << webp << FrameOrder::Reverse << qint64(1) << QList<int>{0, 1, 2};
    }

    void chosenFrames()
    {
        QFETCH(QString, source);
        QFETCH(FrameOrder, order);
        QFETCH(qint64, heldBytes);
        QFETCH(QList<int>, frames);
        AnimateRequest request;
        request.target = m_dir.filePath(QStringLiteral("chosen-%1.gif").arg(QTest::currentDataTag()));
        request.frames.assign(frames.begin(), frames.end());
        request.order = order;
        request.heldBytes = heldBytes;
        roundTrip(source, request, true, 0, 0);
    }

    void cancelLeavesNoFile_data()
    {
        QTest::addColumn<AnimationFormat>("format");
        QTest::newRow("gif") << AnimationFormat::Gif;
        QTest::newRow("apng") << AnimationFormat::Apng;
        QTest::newRow("webp") << AnimationFormat::Webp;
    }

    // Stopped after two frames: progress said so, and no file is left.
    void cancelLeavesNoFile()
    {
        QFETCH(AnimationFormat, format);
        std::atomic_bool cancel{false};
        std::vector<std::uint32_t> seen;
        AnimateRequest request;
        request.format = format;
        request.target = m_dir.filePath(QStringLiteral("cancelled") + suffix(format));
        request.cancel = &cancel;
        request.progress = [&](std::uint32_t done, std::uint32_t total) {
            seen.push_back(done);
            QCOMPARE(total, 5u);
            if (done == 2)
                cancel = true;
        };
        auto image = engine::Image::load(path("moving.gif"));
        const AnimateResult result = animate(*image, true, request);
        QVERIFY(result.cancelled);
        QCOMPARE(seen, (std::vector<std::uint32_t>{1, 2}));
        QCOMPARE(QDir(m_dir.path()).entryList(QStringList{QStringLiteral("*cancelled*")}, QDir::Files | QDir::Hidden),
                 QStringList());
    }

    // The checked files of the shared corpus, when it is there.
    void corpus()
    {
        QFile index(QStringLiteral(FG_SHARED_DIR "/corpus/corpus.json"));
        if (!index.open(QIODevice::ReadOnly))
            QSKIP("no corpus");
        const QJsonArray files =
            QJsonDocument::fromJson(index.readAll()).object().value(QStringLiteral("files")).toArray();
        int done = 0;
        for (const QJsonValue &value : files) {
            const QJsonObject entry = value.toObject();
            if (entry.value(QStringLiteral("reference")).toObject().value(QStringLiteral("status")).toString()
                != QLatin1String("ok"))
                continue;
            const QString source = QStringLiteral(FG_SHARED_DIR "/corpus/") + entry.value(QStringLiteral("file")).toString();
            auto image = engine::Image::load(source);
            if (!image || image->frameCount() > 40 || image->width() * image->height() > 160000)
                continue;
            // Each format in turn, forwards and backwards.
            AnimateRequest request;
            const AnimationFormat formats[] = {AnimationFormat::Gif, AnimationFormat::Apng, AnimationFormat::Webp};
            request.format = formats[done % 3];
            request.target = m_dir.filePath(QStringLiteral("corpus-%1").arg(done) + suffix(request.format));
            request.order = done % 2 ? FrameOrder::Reverse : FrameOrder::Forward;
            roundTrip(source, request, true, 0, 0);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(source));
            ++done;
        }
        if (done == 0)
            QSKIP("no corpus file fits");
    }
};

QTEST_GUILESS_MAIN(TestAnimate)
#include "tst_animate.moc"
