// Seeking in the inspection's store: a full-size frame asked for in any order
// (from saved states, from the frames kept after a step back, or decoded on)
// is the frame composed from the start.
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <numeric>
#include <random>

#include "common/gifwriter.h"
#include "common/manualrunner.h"
#include "core/frameinspection.h"
#include "imaging/engine/image.h"
#include "imaging/gdiplus.h"

namespace {

// 40 frames of 512 x 512 rectangles with every disposal and transparency:
// enough pixels drawn that the pass saves states every few frames.
fgtest::GifSpec manyStatesSpec()
{
    fgtest::GifSpec spec;
    spec.width = 512;
    spec.height = 512;
    spec.globalPalette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    for (int i = 0; i < 40; ++i) {
        fgtest::GifFrame f;
        f.x = (i * 37) % 128;
        f.y = (i * 53) % 128;
        f.w = 384;
        f.h = 384;
        f.indexes.resize(std::size_t(f.w * f.h));
        for (std::size_t k = 0; k < f.indexes.size(); ++k)
            f.indexes[k] = std::uint8_t((k / 7 + std::size_t(i)) % 5);
        f.transparent = i % 3 == 0 ? 0 : -1;
        f.disposal = 1 + i % 3;
        spec.frames.push_back(f);
    }
    return spec;
}

std::vector<QImage> composedFromStart(const QString &path)
{
    std::vector<QImage> frames;
    auto image = engine::Image::load(path);
    if (!image)
        return frames;
    for (std::uint32_t i = 0; i < image->frameCount(); ++i) {
        image->selectFrame(image->frameDimension(), i);
        frames.push_back(image->activeFrame().copy());
    }
    return frames;
}

} // namespace

class TestFrameSeek : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        StartImaging();
        QVERIFY(m_dir.isValid());
        QVERIFY(fgtest::writeGif(m_dir.filePath(QStringLiteral("many-states.gif")), manyStatesSpec()));
    }

    void seekedFrameIsComposedFromStart_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("backward");
        QTest::addColumn<int>("listed"); // frames the pass lists (and goes through)
        QStringList files{m_dir.filePath(QStringLiteral("many-states.gif"))};
        for (const char *name : {"previous-disposal-first-frame.gif", "frame-outside-screen.gif",
                                 "no-palette-after-local.gif", "webp-lossless-blend-dispose.webp"})
            files << QStringLiteral(FG_TEST_DATA "/") + QLatin1String(name);
        // The shared corpus's animations that decode cleanly, when it is there.
        const QString corpus = QStringLiteral(FG_SHARED_DIR "/corpus");
        QFile index(corpus + QStringLiteral("/corpus.json"));
        if (index.open(QIODevice::ReadOnly)) {
            for (const QJsonValue &v : QJsonDocument::fromJson(index.readAll()).object().value("files").toArray()) {
                const QJsonObject ref = v.toObject().value("reference").toObject();
                if (ref.value("status").toString() == QLatin1String("ok")
                    && ref.value("frame_sha256_rgba").toArray().size() > 1)
                    files << corpus + QLatin1Char('/') + v.toObject().value("file").toString();
            }
        } else {
            QTest::newRow("shared corpus (absent)") << QString() << false << 0;
        }
        for (const QString &file : files) {
            const QByteArray name = QFileInfo(file).fileName().toUtf8();
            QTest::newRow(name + " in random order") << file << false << 10000;
            QTest::newRow(name + " backward from the last frame") << file << true << 10000;
        }
        // States past the listed frames are saved by the seeks that go there.
        QTest::newRow("many-states.gif beyond the 5 listed frames, random order") << files.front() << false << 5;
        QTest::newRow("many-states.gif beyond the 5 listed frames, backward") << files.front() << true << 5;
    }

    void seekedFrameIsComposedFromStart()
    {
        QFETCH(QString, path);
        QFETCH(bool, backward);
        QFETCH(int, listed);
        if (path.isEmpty())
            QSKIP("the shared corpus is not available");
        const std::vector<QImage> expected = composedFromStart(path);
        QVERIFY(!expected.empty());

        fgtest::ManualRunner runner;
        runner.immediate = true;
        FrameInspection inspection(&runner);
        QSignalSpy finished(&inspection, &FrameInspection::finished);
        inspection.start(path, listed);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(std::size_t(inspection.facts().frameCount), expected.size());

        std::vector<int> order(expected.size());
        std::iota(order.begin(), order.end(), 0);
        if (backward)
            std::reverse(order.begin(), order.end());
        else
            std::shuffle(order.begin(), order.end(), std::mt19937(7));
        QSignalSpy ready(&inspection, &FrameInspection::frameReady);
        for (const int frame : order) {
            ready.clear();
            inspection.requestFrame(frame);
            // Kept frames come back from the event loop.
            QTRY_COMPARE(ready.count(), 1);
            QCOMPARE(ready.at(0).at(0).toInt(), frame);
            QVERIFY2(ready.at(0).at(1).value<QImage>() == expected[std::size_t(frame)],
                     qPrintable(QStringLiteral("frame %1").arg(frame)));
        }
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestFrameSeek)
#include "tst_frameseek.moc"
