// Playback in the preview: tick counts per delay, wrap-around, one frame, the
// tab switch freezing and restarting, and the start rule. Ticks are driven by
// calling Timer1Timer directly.
#include "apptest.h"
#include "app/widgets.h"
#include "controls/flat/flatedit.h"
#include "controls/iconlist.h"
#include "controls/picturelist.h"

using namespace apptest;

namespace {

bool writeFrames(const QString &path, const std::vector<int> &delays)
{
    fgtest::GifSpec spec;
    spec.width = 6;
    spec.height = 6;
    spec.globalPalette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    for (size_t i = 0; i < delays.size(); ++i) {
        fgtest::GifFrame f;
        f.indexes = fgtest::filled(36, std::uint8_t(i % 4));
        f.delay = delays[i];
        spec.frames.push_back(f);
    }
    return fgtest::writeGif(path, spec);
}

// A window showing the second tab with `delays` inspected; the real timer is
// stopped so that only the test ticks.
struct Player {
    QTemporaryDir dir;
    Seams seams;
    std::unique_ptr<Window> w;

    explicit Player(const std::vector<int> &delays)
    {
        if (!writeFrames(dir.filePath(QStringLiteral("a.gif")), delays))
            return;
        w = std::make_unique<Window>(dir.path(), true);
        w->finishScan();
        (*w)->PageControl1->setCurrentIndex(1);
        (*w)->ListView1->selectRow(0);
    }
    TForm1 *operator->() const { return w->form.get(); }
};

} // namespace

class TestPlayback : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { initApp(); }

    void ticksPerFrame()
    {
        Player p({10, 0, 5}); // 100, 0 and 50 ms
        QVERIFY(p.w);
        QVERIFY(p->Timer1->isActive());
        QCOMPARE(p->PlayFrame, 0);
        QCOMPARE(p->PlayElapsed, 0);
        p->Timer1->stop();

        // The frame after each tick, over three rounds.
        std::vector<int> shown;
        QStringList texts;
        for (int tick = 0; tick < 48; ++tick) {
            p->Timer1Timer();
            shown.push_back(p->PlayFrame);
            texts << p->FlatEdit1->text();
            QCOMPARE(p->Image4->picture(), p->ImageList2->image(p->PlayFrame));
        }
        // Runs of the same frame: the first frame was already showing before tick 1.
        std::vector<std::pair<int, int>> runs;
        for (int f : shown) {
            if (runs.empty() || runs.back().first != f)
                runs.push_back({f, 0});
            ++runs.back().second;
        }
        const std::vector<std::pair<int, int>> expected = {
            {0, 9}, {1, 1}, {2, 5}, {0, 10}, {1, 1}, {2, 5}, {0, 10}, {1, 1}, {2, 5}, {0, 1}};
        QCOMPARE(runs, expected);
        QCOMPARE(texts[0], QStringLiteral("第 1 帧(100毫秒)"));
        // The tick that changes the frame shows the new frame's number and delay.
        QCOMPARE(texts[9], QStringLiteral("第 2 帧(0毫秒)"));
        QCOMPARE(texts[10], QStringLiteral("第 3 帧(50毫秒)"));
        QCOMPARE(texts[15], QStringLiteral("第 1 帧(100毫秒)"));
    }

    void oneFrame()
    {
        Player p({2});
        QVERIFY(p.w);
        p->Timer1->stop();
        int redraws = 0;
        QImage last = p->Image4->picture();
        for (int tick = 0; tick < 6; ++tick) {
            p->Image4->setPicture(QImage());
            p->Timer1Timer();
            if (!p->Image4->picture().isNull())
                ++redraws;
            else
                p->Image4->setPicture(last);
            QCOMPARE(p->PlayFrame, 0);
            QCOMPARE(p->FlatEdit1->text(), QStringLiteral("第 1 帧(20毫秒)"));
        }
        QCOMPARE(redraws, 3);
    }

    void tabSwitchFreezesAndRestarts()
    {
        Player p({10, 10, 10});
        QVERIFY(p.w);
        p->Timer1->stop();
        for (int tick = 0; tick < 25; ++tick)
            p->Timer1Timer();
        QCOMPARE(p->PlayFrame, 2);
        const QString text = p->FlatEdit1->text();
        const QImage picture = p->Image4->picture();

        p->PageControl1->setCurrentIndex(0);
        QVERIFY(!p->Timer1->isActive());
        QCOMPARE(p->FlatEdit1->text(), text);
        QCOMPARE(p->Image4->picture(), picture);

        p->PageControl1->setCurrentIndex(1);
        QVERIFY(p->Timer1->isActive());
        p->Timer1->stop();
        QCOMPARE(p->PlayFrame, 0);
        QCOMPARE(p->PlayElapsed, 0);
        // Starting does not redraw: the frozen frame stays until the first delay passed.
        QCOMPARE(p->Image4->picture(), picture);
        for (int tick = 0; tick < 9; ++tick)
            p->Timer1Timer();
        QCOMPARE(p->Image4->picture(), picture);
        QCOMPARE(p->FlatEdit1->text(), QStringLiteral("第 1 帧(100毫秒)"));
        p->Timer1Timer();
        QCOMPARE(p->PlayFrame, 1);
        QCOMPARE(p->Image4->picture(), p->ImageList2->image(1));
    }

    void secondTabBeforeAnyInspection()
    {
        QTemporaryDir dir;
        Seams seams;
        Window w(dir.path(), true);
        QVERIFY(w.finishScan());
        w->PageControl1->setCurrentIndex(1);
        QVERIFY(!w->Timer1->isActive());
        QVERIFY(w->FlatEdit1->text().isEmpty());
        w->Timer1Timer(); // a stray tick with no frames does nothing
        QVERIFY(w->FlatEdit1->text().isEmpty());
    }

    void badDelayTextEndsTheTickOnly()
    {
        Player p({1, 1});
        QVERIFY(p.w);
        p->Timer1->stop();
        p->ListView2->items()->setSubItem(0, 1, QStringLiteral("abc"));
        p->Timer1Timer();
        QCOMPARE(p->PlayFrame, 0);
        QVERIFY(p->FlatEdit1->text().isEmpty());
        p->ListView2->items()->setSubItem(0, 1, QStringLiteral("10"));
        p->Timer1Timer();
        QCOMPARE(p->PlayFrame, 1);
        QCOMPARE(p->FlatEdit1->text(), QStringLiteral("第 2 帧(10毫秒)"));
    }

    void newInspectionRestartsFromTheFirstFrame()
    {
        Player p({10, 10});
        QVERIFY(p.w);
        p->Timer1->stop();
        for (int tick = 0; tick < 12; ++tick)
            p->Timer1Timer();
        QCOMPARE(p->PlayFrame, 1);
        p->ListView1Change();
        QVERIFY(p->Timer1->isActive());
        QCOMPARE(p->PlayFrame, 0);
        QCOMPARE(p->PlayElapsed, 0);
        QCOMPARE(p->Image4->picture(), p->ImageList2->image(0));
    }
};

QTEST_MAIN(TestPlayback)
#include "tst_playback.moc"
