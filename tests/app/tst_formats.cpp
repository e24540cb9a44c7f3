// Animated WebP and PNG in the window: the catalogue lists them (a PNG only once
// a job has found it animated; a still PNG never), and inspecting one fills the
// frame list with millisecond captions and plays it; a still picture that the
// catalogue lists by its name inspects as one frame of 0 ms; "分解" writes the
// frames with the usual names.
#include <QToolButton>

#include "apptest.h"
#include "app/widgets.h"
#include "common/apngwriter.h"
#include "controls/flat/flatcombobox.h"
#include "controls/flat/flatedit.h"
#include "controls/iconlist.h"
#include "controls/picturelist.h"
#include "dialogs/cutdlg.h"

using namespace apptest;

namespace {

QStringList captions(const IconListModel *items)
{
    QStringList out;
    for (int i = 0; i < items->count(); ++i)
        out << items->item(i).caption;
    return out;
}

// Runs the job that opens the folder's PNG files, then the scan it starts.
// Two frames: red for 1/3 s, then blue for 1/10 s.
QByteArray apng()
{
    fgtest::ApngSpec spec;
    spec.width = 6;
    spec.height = 4;
    fgtest::ApngFrame red;
    red.image = fgtest::solidImage(6, 4, 0xFFFF0000);
    red.delayNum = 1;
    red.delayDen = 3;
    fgtest::ApngFrame blue;
    blue.image = fgtest::solidImage(6, 4, 0xFF0000FF);
    spec.frames = {red, blue};
    return fgtest::apngBytes(spec);
}

struct Folder {
    QTemporaryDir dir;
    bool ok = false;
    Folder()
    {
        const QDir d(dir.path());
        ok = writeSolidGif(d.filePath(QStringLiteral("a.gif")), 4, 4)
            && QFile::copy(QStringLiteral(FG_TEST_DATA "/webp-lossless-blend-dispose.webp"),
                           d.filePath(QStringLiteral("b.webp")))
            && fgtest::writeBytes(d.filePath(QStringLiteral("c.png")), apng())
            && fgtest::solidImage(4, 4, 0xFF00FF00).save(d.filePath(QStringLiteral("d.png")), "PNG")
            && fgtest::writeBytes(d.filePath(QStringLiteral("e.apng")), apng())
            && fgtest::solidImage(4, 4, 0xFF00FF00).save(d.filePath(QStringLiteral("f.gif")), "PNG");
    }
};

} // namespace

class TestFormats : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { initApp(); }

    void catalogueListsAnimationsNeverAStillPng()
    {
        Folder f;
        QVERIFY(f.ok);
        Seams seams;
        Window w(f.dir.path());
        // Listed once, by the job that also opens the PNG files, before any thumbnail.
        QCOMPARE(captions(w->ListView1->items()), QStringList({"a.gif", "b.webp", "c.png", "e.apng", "f.gif"}));
        QVERIFY(w->Scanning);
        QVERIFY(w.finishScan());
        QCOMPARE(captions(w->ListView1->items()), QStringList({"a.gif", "b.webp", "c.png", "e.apng", "f.gif"}));
        QCOMPARE(w->StatusBar1->panelText(1), QStringLiteral("图片数量:5"));
        QVERIFY(seams.boxes.boxes.empty());
        // Every item got its own thumbnail, not the placeholder.
        for (int row = 0; row < 5; ++row)
            QCOMPARE(w->ListView1->items()->item(row).imageIndex, row + 1);
    }

    void aNewFolderDropsTheOldListing()
    {
        Folder f;
        QVERIFY(f.ok);
        QVERIFY(QDir().mkdir(f.dir.filePath(QStringLiteral("sub"))));
        QVERIFY(writeSolidGif(f.dir.filePath(QStringLiteral("sub/z.gif")), 2, 2));
        Seams seams;
        Window w(f.dir.path());
        QVERIFY(w.finishScan());
        // The root is listed again, and its job has not run when another folder is picked.
        w.folderRunner->immediate = false;
        w->SpeedButton8Click();
        QVERIFY(w->isListing());
        QVERIFY(selectTreeFolder(w.form.get(), QStringLiteral("sub")));
        QCOMPARE(int(w.folderRunner->queue.size()), 2);
        QVERIFY(w.finishScan());
        QCOMPARE(captions(w->ListView1->items()), QStringList{QStringLiteral("z.gif")});
    }

    void inspectsWithMillisecondsAndPlays_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<QStringList>("delays");
        QTest::addColumn<QString>("duration");
        QTest::newRow("WebP") << 1 << QStringList{"第1帧 (33毫秒)", "第2帧 (40毫秒)", "第3帧 (100毫秒)"}
                              << QStringList{"33", "40", "100"} << "0 秒 173 毫秒";
        QTest::newRow("animated PNG") << 2 << QStringList{"第1帧 (333毫秒)", "第2帧 (100毫秒)"}
                                      << QStringList{"333", "100"} << "0 秒 433 毫秒";
        QTest::newRow("still PNG named .gif") << 4 << QStringList{"第1帧 (0毫秒)"} << QStringList{"0"}
                                              << "0 秒 0 毫秒";
    }

    void inspectsWithMillisecondsAndPlays()
    {
        QFETCH(int, row);
        QFETCH(QStringList, frames);
        QFETCH(QStringList, delays);
        QFETCH(QString, duration);
        Folder f;
        QVERIFY(f.ok);
        Seams seams;
        Window w(f.dir.path());
        QVERIFY(w.finishScan());
        w->PageControl1->setCurrentIndex(1);
        w->ListView1->selectRow(row);

        QCOMPARE(captions(w->ListView2->items()), frames);
        for (int i = 0; i < frames.size(); ++i)
            QCOMPARE(w->ListView2->items()->item(i).subItems.value(1), delays[i]);
        QCOMPARE(w->FlatEdit2->text(), duration);
        QCOMPARE(w->FlatEdit3->text(), QStringLiteral("%1 帧").arg(frames.size()));
        QVERIFY(seams.boxes.boxes.empty());

        // Playback: the first frame stays for its delay, then the second shows.
        QVERIFY(w->Timer1->isActive());
        w->Timer1->stop();
        if (frames.size() == 1) {
            w->Timer1Timer();
            QCOMPARE(w->PlayFrame, 0);
            QCOMPARE(w->FlatEdit1->text(), QStringLiteral("第 1 帧(0毫秒)"));
            return;
        }
        const int ticks = delays[0].toInt() / TForm1::PlayTickMs;
        for (int i = 0; i < ticks - 1; ++i)
            w->Timer1Timer();
        QCOMPARE(w->PlayFrame, 0);
        QCOMPARE(w->FlatEdit1->text(), QStringLiteral("第 1 帧(%1毫秒)").arg(delays[0]));
        for (int i = 0; i < 2; ++i)
            w->Timer1Timer();
        QCOMPARE(w->PlayFrame, 1);
        QCOMPARE(w->FlatEdit1->text(), QStringLiteral("第 2 帧(%1毫秒)").arg(delays[1]));
        QCOMPARE(w->Image4->picture(), w->ImageList2->image(1));
    }

    void splitWritesTheFramesWithTheUsualNames()
    {
        Folder f;
        QVERIFY(f.ok);
        QTemporaryDir out;
        Seams seams;
        Window w(f.dir.path());
        QVERIFY(w.finishScan());
        w->ListView1->selectRow(2); // c.png
        seams.modal.whileOpen = [&](QDialog *d) {
            if (d != w->CUTDlg)
                return;
            QSignalSpy done(w->CUTDlg, &TCUTDlg::exportFinished);
            w->CUTDlg->FlatEdit1->setText(out.path());
            w->CUTDlg->FlatComboBox1->setCurrentIndex(4); // PNG
            w->CUTDlg->SpeedButton1->click();
            if (w->CUTDlg->exportRunning())
                done.wait(30000);
        };
        w->SpeedButton1Click();
        QCOMPARE(seams.modal.shown, (std::vector<QDialog *>{w->CUTDlg}));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files, QDir::Name), QStringList({"c_1.png", "c_2.png"}));
        QCOMPARE(QImage(out.filePath(QStringLiteral("c_2.png"))).pixel(5, 3), 0xFF0000FFu);
    }
};

QTEST_MAIN(TestFormats)
#include "tst_formats.moc"
