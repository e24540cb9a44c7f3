// The frame inspector's timeline, "转到帧" and playback: a bar shows its frame,
// Ctrl+G goes to a frame, and playback shows every frame in order, each held
// (through a clock the test drives) for its played delay at the chosen speed.
#include <QComboBox>
#include <QSpinBox>

#include "apptest.h"
#include "app/frameplayer.h"
#include "app/gotoframe.h"
#include "app/inspector.h"
#include "app/timeline.h"
#include "controls/iconlist.h"

using namespace apptest;

namespace {

// Stored delays in hundredths: a 10 ms and a 0 ms delay play as 100 ms.
const std::vector<int> Delays{5, 1, 20, 10, 0, 3, 10, 7};
const int Frames = int(Delays.size());

// Every frame fills the canvas with a colour of its own.
bool writeTimed(const QString &path)
{
    fgtest::GifSpec spec;
    spec.width = 4;
    spec.height = 3;
    for (int i = 0; i < Frames; ++i)
        spec.globalPalette.push_back({std::uint8_t(i * 30), 7, std::uint8_t(255 - i * 30)});
    for (int i = 0; i < Frames; ++i) {
        fgtest::GifFrame f;
        f.indexes = fgtest::filled(spec.width * spec.height, std::uint8_t(i));
        f.delay = Delays[std::size_t(i)];
        spec.frames.push_back(f);
    }
    return fgtest::writeGif(path, spec);
}

QRgb frameColour(int frame)
{
    return qRgb(frame * 30, 7, 255 - frame * 30);
}

// Holds asked for, with the frame the window showed when each was asked; the
// test ends the running hold with fire().
struct TestClock final : PlaybackClock {
    struct Hold {
        int ms;
        int frame;
        bool onScreen;
    };
    FrameInspector *inspector = nullptr;
    std::vector<Hold> holds;
    std::function<void()> pending;
    int stops = 0;

    void start(int ms, std::function<void()> done) override
    {
        holds.push_back({ms, inspector->frame(), inspector->hasPicture()});
        pending = std::move(done);
    }
    void stop() override
    {
        pending = nullptr;
        ++stops;
    }
    void fire() { std::exchange(pending, nullptr)(); }
};

// A window on a folder of two GIFs, the timed one selected, its inspector open
// on `frame` with the test's clock.
struct Playing {
    QTemporaryDir dir;
    Seams seams;
    std::unique_ptr<Window> w;
    FrameInspector *inspector = nullptr;
    TestClock *clock = nullptr;

    explicit Playing(int frame)
    {
        writeTimed(dir.filePath(QStringLiteral("a.gif")));
        writeSolidGif(dir.filePath(QStringLiteral("b.gif")), 5, 5, {10, 10});
        w = std::make_unique<Window>(dir.path());
        w->finishScan();
        (*w)->ListView1->selectRow(0);
        (*w)->openFrameInspector(frame);
        inspector = (*w)->frameInspector();
        auto c = std::make_unique<TestClock>();
        c->inspector = inspector;
        clock = c.get();
        inspector->playback()->player()->setClock(std::move(c));
    }
    TForm1 *form() const { return w->form.get(); }
    bool ready() const { return QTest::qWaitForWindowExposed(inspector); }
};

} // namespace

class TestInspectorPlay : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { initApp(); }

    void aClickOnABarShowsItsFrame_data()
    {
        QTest::addColumn<int>("bar");
        QTest::newRow("the first bar") << 0;
        QTest::newRow("a held frame's bar") << 2;
        QTest::newRow("the last bar") << Frames - 1;
    }

    void aClickOnABarShowsItsFrame()
    {
        QFETCH(int, bar);
        Playing t(4);
        QVERIFY(t.ready());
        FrameTimeline *timeline = t.inspector->playback()->timeline();
        QCOMPARE(timeline->count(), Frames);
        QTest::mouseClick(timeline->viewport(), Qt::LeftButton, {}, timeline->barRect(bar).center());
        QCOMPARE(t.inspector->frame(), bar);
        QCOMPARE(timeline->current(), bar);
        QCOMPARE(t.form()->ListView2->currentIndex().row(), bar);
        QTRY_VERIFY(t.inspector->hasPicture());
        QCOMPARE(t.inspector->canvas()->picture().pixel(0, 0), frameColour(bar));
    }

    void barsAreAsWideAsThePlayedDelays_data()
    {
        QTest::addColumn<int>("frame");
        QTest::addColumn<int>("other");
        QTest::addColumn<double>("ratio"); // of the two frames' played delays
        QTest::newRow("a 10 ms GIF delay plays as 100 ms") << 1 << 3 << 1.0;
        QTest::newRow("a 0 ms GIF delay plays as 100 ms") << 4 << 3 << 1.0;
        QTest::newRow("a 200 ms frame is twice a 100 ms one") << 2 << 3 << 2.0;
        QTest::newRow("a 50 ms frame is half a 100 ms one") << 0 << 6 << 0.5;
    }

    void barsAreAsWideAsThePlayedDelays()
    {
        QFETCH(int, frame);
        QFETCH(int, other);
        QFETCH(double, ratio);
        Playing t(0);
        QVERIFY(t.ready());
        const FrameTimeline *timeline = t.inspector->playback()->timeline();
        // Beyond its delay's share a bar has MinBar pixels; edges round to whole pixels.
        const double a = timeline->barRect(frame).width() - FrameTimeline::MinBar;
        const double b = timeline->barRect(other).width() - FrameTimeline::MinBar;
        QVERIFY2(b > 20, qPrintable(QString::number(b)));
        QVERIFY2(std::abs(a - ratio * b) <= 2, qPrintable(QStringLiteral("%1 vs %2").arg(a).arg(b)));
    }

    void ctrlGGoesToTheFrame_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("frame");
        QTest::newRow("a number and Enter go to that frame") << "7" << int(Qt::Key_Return) << 6;
        QTest::newRow("frame 1 is the first frame") << "1" << int(Qt::Key_Enter) << 0;
        QTest::newRow("Escape stays on the frame shown") << "7" << int(Qt::Key_Escape) << 2;
    }

    void ctrlGGoesToTheFrame()
    {
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(int, frame);
        Playing t(2);
        QVERIFY(t.ready());
        QString title;
        int shownValue = 0;
        t.seams.modal.whileOpen = [&](QDialog *d) {
            auto *dialog = qobject_cast<GoToFrameDialog *>(d);
            if (!dialog)
                return;
            title = dialog->windowTitle();
            shownValue = dialog->numberBox()->value();
            dialog->show();
            if (!QTest::qWaitForWindowExposed(dialog))
                return;
            // The number shown is selected: typing replaces it.
            QTest::keyClicks(dialog->numberBox(), typed);
            QTest::keyClick(dialog->numberBox(), Qt::Key(key));
        };
        QTest::keyClick(t.inspector, Qt::Key_G, Qt::ControlModifier);
        QCOMPARE(int(t.seams.modal.shown.size()), 1);
        QCOMPARE(title, QStringLiteral("转到帧"));
        QCOMPARE(shownValue, 3);
        QCOMPARE(t.inspector->frame(), frame);
    }

    void playbackShowsEveryFrameForItsPlayedDelay_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("speed"); // index into FramePlayer::Speeds
        QTest::addColumn<QList<int>>("holds");
        QTest::newRow("1× holds each frame for its played delay")
            << 0 << 2 << QList<int>{50, 100, 200, 100, 100, 30, 100};
        QTest::newRow("4× holds each frame a quarter of it")
            << 0 << 4 << QList<int>{13, 25, 50, 25, 25, 8, 25};
        QTest::newRow("0.25× from the frame shown holds four times as long")
            << 3 << 0 << QList<int>{400, 400, 120, 400};
    }

    void playbackShowsEveryFrameForItsPlayedDelay()
    {
        QFETCH(int, start);
        QFETCH(int, speed);
        QFETCH(QList<int>, holds);
        Playing t(start);
        QVERIFY(t.ready());
        QTRY_VERIFY(t.inspector->hasPicture());
        t.inspector->playback()->speedBox()->setCurrentIndex(speed);
        QSignalSpy shown(t.inspector, &FrameInspector::frameShown);
        QTest::keyClick(t.inspector, Qt::Key_Space);
        QVERIFY(t.inspector->playback()->player()->playing());
        for (int i = 0; i < holds.size(); ++i) {
            QTRY_VERIFY(t.clock->pending);
            t.clock->fire();
        }
        // The last frame on screen ends playback.
        QTRY_VERIFY(!t.inspector->playback()->player()->playing());
        QCOMPARE(t.inspector->frame(), Frames - 1);

        QList<int> asked, frames, shownFrames;
        for (const TestClock::Hold &h : t.clock->holds) {
            asked << h.ms;
            frames << h.frame;
            QVERIFY(h.onScreen);
        }
        for (const QList<QVariant> &args : shown)
            shownFrames << args.at(0).toInt();
        QList<int> expected;
        for (int f = start; f < Frames - 1; ++f)
            expected << f;
        QCOMPARE(frames, expected);
        QCOMPARE(asked, holds);
        expected.removeFirst();
        expected << Frames - 1;
        QCOMPARE(shownFrames, expected);
    }

    void aStepWhilePlayingGoesOnFromTheFrameSteppedTo()
    {
        Playing t(3);
        QVERIFY(t.ready());
        QTRY_VERIFY(t.inspector->hasPicture());
        QTest::keyClick(t.inspector, Qt::Key_Space);
        QTRY_VERIFY(t.clock->pending);
        // The hold of frame 4 ends with the step (a clock would otherwise move on
        // to frame 5 before frame 3 arrives), and frame 3 is held when it is shown.
        const int stops = t.clock->stops;
        QTest::keyClick(t.inspector, Qt::Key_Left);
        QCOMPARE(t.clock->stops, stops + 1);
        QTRY_COMPARE(int(t.clock->holds.size()), 2);
        QCOMPARE(t.clock->holds.back().frame, 2);
        QVERIFY(t.clock->holds.back().onScreen);
        QCOMPARE(t.clock->holds.back().ms, 200);
        t.clock->fire();
        QCOMPARE(t.inspector->frame(), 3);
        QVERIFY(t.inspector->playback()->player()->playing());
    }

    void playbackStops_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Space again pauses") << "space";
        QTest::newRow("selecting another file stops it") << "file";
        QTest::newRow("emptying the frame list stops it") << "empty";
        QTest::newRow("closing the window stops it") << "close";
    }

    void playbackStops()
    {
        QFETCH(QString, how);
        Playing t(1);
        QVERIFY(t.ready());
        QTRY_VERIFY(t.inspector->hasPicture());
        QTest::keyClick(t.inspector, Qt::Key_Space);
        QTRY_VERIFY(t.clock->pending);
        if (how == "space")
            QTest::keyClick(t.inspector, Qt::Key_Space);
        else if (how == "file")
            t.form()->ListView1->selectRow(1);
        else if (how == "empty")
            t.form()->ListView2->items()->clear();
        else
            t.inspector->close();
        QTRY_VERIFY(!t.inspector->playback()->player()->playing());
        QVERIFY(!t.clock->pending);
        const int frame = how == "file" ? 0 : how == "empty" ? -1 : 1;
        QCOMPARE(t.inspector->frame(), frame);
    }
};

QTEST_MAIN(TestInspectorPlay)
#include "tst_inspectorplay.moc"
