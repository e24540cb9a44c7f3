// Seeking with saved frame states: a frame composed from a restored state is
// the frame composed from the start, whatever disposal the frames before it ask for.
#include <QTemporaryDir>
#include <QtTest>

#include "common/gifwriter.h"
#include "imaging/engine/image.h"

namespace {

// Six frames of small rectangles in the corner of a 64 x 64 canvas that
// exercise every disposal: each frame's result depends on what the frames
// before it left behind.
fgtest::GifSpec disposalsSpec()
{
    fgtest::GifSpec spec;
    spec.width = 64;
    spec.height = 64;
    spec.globalPalette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    const int disposals[] = {1, 3, 2, 3, 0, 2};
    for (int i = 0; i < 6; ++i) {
        fgtest::GifFrame f;
        f.x = i;
        f.y = (i * 3) % 5;
        f.w = 3;
        f.h = 3;
        f.indexes = fgtest::filled(9, std::uint8_t(1 + i % 3));
        f.indexes[4] = 0;
        f.transparent = 0;
        f.disposal = disposals[i];
        spec.frames.push_back(f);
    }
    return spec;
}

// Two 16 x 16 frames side by side, each with 256 colours of its own: a canvas
// of 512 colours, more than a packed state keeps as one byte per pixel.
fgtest::GifSpec manyColoursSpec()
{
    fgtest::GifSpec spec;
    spec.width = 32;
    spec.height = 64;
    for (int i = 0; i < 2; ++i) {
        fgtest::GifFrame f;
        f.x = 16 * i;
        f.w = 16;
        f.h = 16;
        for (int c = 0; c < 256; ++c) {
            f.localPalette.push_back({std::uint8_t(c), std::uint8_t(255 - c), std::uint8_t(i * 128)});
            f.indexes.push_back(std::uint8_t(c));
        }
        f.disposal = 1;
        spec.frames.push_back(f);
    }
    fgtest::GifFrame last = spec.frames[0];
    last.x = 8;
    last.disposal = 3;
    spec.frames.push_back(last);
    spec.frames.push_back(last);
    return spec;
}

} // namespace

class TestSeek : public QObject {
    Q_OBJECT
private slots:
    void restoredStateContinuesLikeTheFirstDecode_data()
    {
        QTest::addColumn<int>("savedAt");
        QTest::addColumn<int>("target");
        QTest::addColumn<bool>("packed");
        QTest::addColumn<bool>("manyColours");
        QTest::newRow("same frame") << 2 << 2 << false << false;
        QTest::newRow("after a leave frame") << 0 << 5 << false << false;
        QTest::newRow("after a previous frame") << 1 << 4 << false << false;
        QTest::newRow("after a background frame") << 2 << 3 << false << false;
        QTest::newRow("over a pending previous") << 3 << 5 << false << false;
        QTest::newRow("packed, same frame") << 2 << 2 << true << false;
        QTest::newRow("packed, after a previous frame") << 1 << 4 << true << false;
        QTest::newRow("packed, over a pending previous") << 3 << 5 << true << false;
        QTest::newRow("packed, more than 256 colours") << 1 << 3 << true << true;
        QTest::newRow("packed, more than 256 colours over a pending previous") << 2 << 3 << true << true;
    }

    void restoredStateContinuesLikeTheFirstDecode()
    {
        QFETCH(int, savedAt);
        QFETCH(int, target);
        QFETCH(bool, packed);
        QFETCH(bool, manyColours);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("d.gif"));
        QVERIFY(fgtest::writeGif(path, manyColours ? manyColoursSpec() : disposalsSpec()));

        auto image = engine::Image::load(path);
        QVERIFY(image);
        std::vector<QImage> expected;
        std::shared_ptr<const engine::FrameState> state;
        for (std::uint32_t i = 0; i < image->frameCount(); ++i) {
            QCOMPARE(image->selectFrame(engine::FrameDimensionTime, i), engine::Ok);
            expected.push_back(image->activeFrame().copy());
            if (int(i) == savedAt)
                state = packed ? image->savePackedState() : image->saveState();
        }
        QVERIFY(state);
        QCOMPARE(int(state->frame()), savedAt);
        const std::size_t canvasBytes = std::size_t(image->width()) * std::size_t(image->height()) * 4;
        if (packed && !manyColours)
            QVERIFY(state->bytes() < canvasBytes / 2);
        else if (!packed)
            QVERIFY(state->bytes() >= canvasBytes);

        // A second picture of the same file takes the state, as a seeking worker would.
        auto other = engine::Image::load(path);
        QVERIFY(other);
        QCOMPARE(other->restoreState(*state), engine::Ok);
        QCOMPARE(int(other->activeFrameIndex()), savedAt);
        QCOMPARE(other->activeFrame(), expected[size_t(savedAt)]);
        QCOMPARE(other->selectFrame(engine::FrameDimensionTime, std::uint32_t(target)), engine::Ok);
        QCOMPARE(other->activeFrame(), expected[size_t(target)]);
    }

    void foreignStatesAreRefused()
    {
        QTemporaryDir dir;
        const QString small = dir.filePath(QStringLiteral("s.gif"));
        const QString big = dir.filePath(QStringLiteral("b.gif"));
        QVERIFY(fgtest::writeGif(small, disposalsSpec()));
        fgtest::GifSpec spec = disposalsSpec();
        spec.width = 128;
        QVERIFY(fgtest::writeGif(big, spec));
        auto a = engine::Image::load(small);
        auto b = engine::Image::load(big);
        QVERIFY(a && b);
        QCOMPARE(b->selectFrame(engine::FrameDimensionTime, 3), engine::Ok);
        const QImage before = b->activeFrame().copy();
        auto state = a->saveState();
        QVERIFY(state);
        QCOMPARE(b->restoreState(*state), engine::InvalidParameter);
        QCOMPARE(int(b->activeFrameIndex()), 3);
        QCOMPARE(b->activeFrame(), before);
    }
};

QTEST_GUILESS_MAIN(TestSeek)
#include "tst_seek.moc"
