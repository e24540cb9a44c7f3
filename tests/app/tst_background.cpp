// The inspection in the background: cancelled by another selection, a folder
// change or closing, never showing a frame of an old GIF; "分解" and the
// playback wait for its end; long GIFs keep a bounded number of thumbnails.
#include "apptest.h"

#include <QRegularExpression>
#include "app/widgets.h"
#include "controls/flat/flatedit.h"
#include "controls/iconlist.h"
#include "controls/picturelist.h"

using namespace apptest;

namespace {

// `frames` frames of w x h, frame i in colour i % 4, 10 ms each.
bool writeColours(const QString &path, int frames, int w = 8, int h = 8)
{
    return fgtest::writeColourCycle(path, frames, w, h);
}

int rowOf(TForm1 *form, const QString &name)
{
    for (int i = 0; i < form->ListView1->items()->count(); ++i)
        if (form->ListView1->items()->item(i).caption == name)
            return i;
    return -1;
}

// Every frame item belongs to `path`, and there are `count` of them.
bool framesAllOf(TForm1 *form, const QString &path, int count)
{
    const IconListModel *items = form->ListView2->items();
    if (items->count() != count)
        return false;
    for (int i = 0; i < count; ++i)
        if (items->item(i).subItems.value(0) != path)
            return false;
    return true;
}

} // namespace

class TestBackground : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { initApp(); }

    void anotherSelectionCancels()
    {
        QTemporaryDir dir;
        QVERIFY(writeColours(dir.filePath(QStringLiteral("a.gif")), 3));
        QVERIFY(writeColours(dir.filePath(QStringLiteral("b.gif")), 5));
        Seams seams;
        Window w(dir.path(), true, false);
        QVERIFY(w.finishScan());
        w->ListView1->selectRow(rowOf(w.form.get(), QStringLiteral("a.gif")));
        QVERIFY(w->inspecting());
        w->ListView1->selectRow(rowOf(w.form.get(), QStringLiteral("b.gif")));
        // a's pass starts after b was selected: it stops before showing anything.
        w.inspectionRunner->runAll();
        QVERIFY(!w->inspecting());
        QVERIFY(framesAllOf(w.form.get(), dir.filePath(QStringLiteral("b.gif")), 5));
        QCOMPARE(w->FlatEdit3->text(), QStringLiteral("5 帧"));
    }

    void anotherSelectionCancelsMidway()
    {
        // Real threads: the long GIF is being listed when the short one is chosen.
        QTemporaryDir dir;
        QVERIFY(writeColours(dir.filePath(QStringLiteral("long.gif")), 3000, 64, 64));
        QVERIFY(writeColours(dir.filePath(QStringLiteral("short.gif")), 4));
        Seams seams;
        TForm1::Options options;
        options.treeRoot = dir.path();
        options.runner = std::make_unique<ManualRunner>();
        static_cast<ManualRunner *>(options.runner.get())->immediate = true;
        TForm1 form(std::move(options));
        QTRY_VERIFY(!form.Scanning && !form.isListing());
        QSignalSpy ended(&form, &TForm1::inspectionEnded);
        form.ListView1->selectRow(rowOf(&form, QStringLiteral("long.gif")));
        QTRY_VERIFY(form.ListView2->items()->count() > 0);
        form.ListView1->selectRow(rowOf(&form, QStringLiteral("short.gif")));
        QTRY_VERIFY(!form.inspecting());
        // Whatever the old pass still sends is dropped.
        QTest::qWait(0);
        QCoreApplication::processEvents();
        QVERIFY(framesAllOf(&form, dir.filePath(QStringLiteral("short.gif")), 4));
        QCOMPARE(form.ImageList2->count(), 4);
    }

    void folderChangeAndClosingCancel()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        QVERIFY(writeColours(dir.filePath(QStringLiteral("a.gif")), 3));
        Seams seams;
        Window w(dir.path(), true, false);
        QVERIFY(w.finishScan());
        QSignalSpy ended(w.form.get(), &TForm1::inspectionEnded);
        w->ListView1->selectRow(0);
        QVERIFY(w->inspecting());
        QVERIFY(selectTreeFolder(w.form.get(), QStringLiteral("sub")));
        QVERIFY(!w->inspecting());
        QCOMPARE(ended.count(), 1);
        w.inspectionRunner->runAll();
        QCOMPARE(w->ListView2->items()->count(), 0);

        // Closing with an inspection queued: its job later finds it cancelled.
        QVERIFY(w.finishScan());
        w->InspectGif(dir.filePath(QStringLiteral("a.gif")));
        QVERIFY(w->inspecting());
        w->close();
        QVERIFY(!w->inspecting());
        w.inspectionRunner->runAll();
        QCOMPARE(w->ListView2->items()->count(), 0);
    }

    void exportAndPlaybackWaitForTheEnd()
    {
        QTemporaryDir dir;
        QVERIFY(writeColours(dir.filePath(QStringLiteral("a.gif")), 6));
        Seams seams;
        int listedWhenShown = -1;
        seams.modal.whileOpen = [&](QDialog *) {
            listedWhenShown = w_listed();
        };
        Window w(dir.path(), true, false);
        m_form = w.form.get();
        QVERIFY(w.finishScan());
        w->ListView1->selectRow(0);
        w->PageControl1->setCurrentIndex(1);
        QVERIFY(!w->Timer1->isActive());
        w->SpeedButton1Click();
        QVERIFY(seams.modal.shown.empty());
        w.inspectionRunner->runAll();
        QCOMPARE(seams.modal.shown.size(), size_t(1));
        QCOMPARE(listedWhenShown, 6);
        QVERIFY(w->Timer1->isActive());
        m_form = nullptr;
    }

    void longGifsHoldFewThumbnails()
    {
        QTemporaryDir dir;
        const int frames = FrameInspection::MaxHeld * 3;
        QVERIFY(writeColours(dir.filePath(QStringLiteral("many.gif")), frames, 16, 16));
        Seams seams;
        Window w(dir.path(), true);
        QVERIFY(w.finishScan());
        w->ListView1->selectRow(0);
        QVERIFY(!w->inspecting());
        QCOMPARE(w->ListView2->items()->count(), frames);
        FrameInspection *store = w->inspection();
        QCOMPARE(store->peakHeld(), FrameInspection::MaxHeld);
        // A frame past the held ones is made on demand, from a saved state, with
        // the right picture; the store stays within its bound.
        const int late = frames - 7;
        QVERIFY(!store->isHeld(late));
        QVERIFY(w->ImageList2->image(late).isNull());
        QVERIFY(store->isHeld(late));
        const QImage made = w->ImageList2->image(late);
        const fgtest::GifRgb c = fgtest::cycleColours()[size_t(late % 4)];
        const QRgb expected = qRgb(c.r, c.g, c.b);
        QCOMPARE(made.pixel(60, 60), expected);
        QVERIFY(store->heldCount() <= FrameInspection::MaxHeld);
        QVERIFY(store->peakHeld() <= FrameInspection::MaxHeld);
    }

    void finalStateEqualsTheSynchronousOne_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : {"appended-without-trailer.gif", "frame-outside-screen.gif",
                                 "lzw-code-size-11.gif", "previous-disposal-first-frame.gif",
                                 "webp-lossless-blend-dispose.webp"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void finalStateEqualsTheSynchronousOne()
    {
        // The same GIF inspected in place (jobs run within the selection: the
        // synchronous sequence) and on real threads ends in the same window.
        QFETCH(QString, name);
        QTemporaryDir dir;
        QVERIFY(QFile::copy(QStringLiteral(FG_TEST_DATA "/") + name, dir.filePath(name)));
        Seams seams;
        Window inPlace(dir.path(), true, true);
        QVERIFY(inPlace.finishScan());
        inPlace->ListView1->selectRow(0);
        QVERIFY(!inPlace->inspecting());

        TForm1::Options options;
        options.treeRoot = dir.path();
        auto runner = std::make_unique<ManualRunner>();
        runner->immediate = true;
        options.runner = std::move(runner);
        TForm1 threaded(std::move(options));
        QTRY_VERIFY(!threaded.Scanning && !threaded.isListing());
        threaded.ListView1->selectRow(0);
        QTRY_VERIFY(!threaded.inspecting());

        const IconListModel *a = inPlace->ListView2->items();
        const IconListModel *b = threaded.ListView2->items();
        QVERIFY(a->count() > 0);
        QCOMPARE(b->count(), a->count());
        for (int i = 0; i < a->count(); ++i) {
            QCOMPARE(b->item(i).caption, a->item(i).caption);
            QCOMPARE(b->item(i).subItems, a->item(i).subItems);
            QCOMPARE(b->item(i).imageIndex, a->item(i).imageIndex);
            QTRY_VERIFY(!threaded.ImageList2->image(i).isNull());
            QCOMPARE(threaded.ImageList2->image(i), inPlace->ImageList2->image(i));
        }
        for (TFlatEdit *TForm1::*field : {&TForm1::FlatEdit2, &TForm1::FlatEdit3, &TForm1::FlatEdit4})
            QCOMPARE((threaded.*field)->text(), ((*inPlace.form).*field)->text());
        QCOMPARE(threaded.StatusBar1->panelText(2), inPlace->StatusBar1->panelText(2));
        QCOMPARE(threaded.Image4->picture(), inPlace->Image4->picture());
    }

    void statusShowsTheListingProgress()
    {
        QTemporaryDir dir;
        QVERIFY(writeColours(dir.filePath(QStringLiteral("a.gif")), 40));
        Seams seams;
        Window w(dir.path(), true);
        QVERIFY(w.finishScan());
        // Read after the window has shown each step of the listing.
        QStringList shown;
        connect(w->inspection(), &FrameInspection::opened, this,
                [&] { shown << w->StatusBar1->panelText(2); });
        connect(w->inspection(), &FrameInspection::framesListed, this,
                [&] { shown << w->StatusBar1->panelText(2); });
        w->ListView1->selectRow(0);
        const QString path = dir.filePath(QStringLiteral("a.gif"));
        QVERIFY(shown.size() >= 2);
        QCOMPARE(shown.front(), path + QStringLiteral(" (0/40)"));
        for (const QString &text : std::as_const(shown))
            QVERIFY2(QRegularExpression(QRegularExpression::escape(path) + QStringLiteral(" \\(\\d+/40\\)"))
                         .match(text).hasMatch(), qPrintable(text));
        QCOMPARE(w->StatusBar1->panelText(2), path);
    }

private:
    int w_listed() const { return m_form ? m_form->ListView2->items()->count() : -1; }
    TForm1 *m_form = nullptr;
};

QTEST_MAIN(TestBackground)
#include "tst_background.moc"
