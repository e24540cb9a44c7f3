// The toolbar commands and the window's ends: "分解" and the catalogue's
// double-click, help and About, the exit question and the close box.
#include "apptest.h"
#include "app/widgets.h"
#include "controls/iconlist.h"
#include "dialogs/about.h"
#include "dialogs/cutdlg.h"
#include "dialogs/help.h"

using namespace apptest;

class TestCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { initApp(); }

    void dialogsCreatedOnceInOrder()
    {
        QTemporaryDir dir;
        Seams seams;
        Window w(dir.path(), true);
        QVERIFY(w->AboutDlg && w->CUTDlg && w->helpDlg);
        const QObjectList kids = w->children();
        QVERIFY(kids.indexOf(w->AboutDlg) < kids.indexOf(w->CUTDlg));
        QVERIFY(kids.indexOf(w->CUTDlg) < kids.indexOf(w->helpDlg));
        QVERIFY(w->AboutDlg->isHidden() && w->CUTDlg->isHidden() && w->helpDlg->isHidden());

        w->SpeedButton5Click();
        w->SpeedButton10Click();
        w->SpeedButton5Click();
        QCOMPARE(seams.modal.shown,
                 (std::vector<QDialog *>{w->helpDlg, w->AboutDlg, w->helpDlg}));
    }

    void splitNeedsFrames()
    {
        QTemporaryDir dir;
        QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("a.gif")), 8, 8, {1, 2, 3}));
        Seams seams;
        Window w(dir.path(), true);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        QVERIFY(w.finishScan());

        // Nothing decomposed yet: neither the button nor a double-click opens anything.
        w->SpeedButton1Click();
        const QRect item = w->ListView1->visualRect(w->ListView1->items()->index(0));
        const QPoint empty(w->ListView1->viewport()->width() - 5,
                           w->ListView1->viewport()->height() - 5);
        QVERIFY(!w->ListView1->indexAt(empty).isValid());
        QTest::mouseDClick(w->ListView1->viewport(), Qt::LeftButton, {}, empty);
        QVERIFY(seams.modal.shown.empty());

        // A double-click on an item selects (and so inspects) it, then exports its frames.
        int framesSeen = -1;
        seams.modal.whileOpen = [&](QDialog *d) {
            if (d == w->CUTDlg)
                framesSeen = w->CUTDlg->ListView1->items()->count();
        };
        QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, {}, item.center());
        QTest::mouseDClick(w->ListView1->viewport(), Qt::LeftButton, {}, item.center());
        QCOMPARE(seams.modal.shown, (std::vector<QDialog *>{w->CUTDlg}));
        QCOMPARE(framesSeen, 3);

        // Empty space, and "分解" after a new scan, export the frames inspected last.
        QTest::mouseDClick(w->ListView1->viewport(), Qt::LeftButton, {}, empty);
        QCOMPARE(int(seams.modal.shown.size()), 2);
        w->SpeedButton8Click();
        QVERIFY(w.finishScan());
        w->SpeedButton1Click();
        QCOMPARE(int(seams.modal.shown.size()), 3);
        QCOMPARE(framesSeen, 3);
        QVERIFY(seams.boxes.boxes.empty());
    }

    void exitQuestion()
    {
        QTemporaryDir dir;
        QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("a.gif")), 8, 8, {1, 2}));
        Seams seams;
        Window w(dir.path(), true);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        QVERIFY(w.finishScan());
        w->PageControl1->setCurrentIndex(1);
        w->ListView1->selectRow(0);
        QVERIFY(w->Timer1->isActive());

        seams.boxes.answer = seams::MsgResult::No;
        w->SpeedButton11Click();
        QCOMPARE(int(seams.boxes.boxes.size()), 1);
        const Box &b = seams.boxes.boxes[0];
        QCOMPARE(b.text, QStringLiteral("你确定要退出吗?"));
        QCOMPARE(b.caption, QStringLiteral("提示"));
        QCOMPARE(b.icon, seams::MsgIcon::Information);
        QCOMPARE(b.buttons, seams::MsgButtons::YesNo);
        QVERIFY(w->isVisible());
        QVERIFY(w->Timer1->isActive());
        const int frame = w->PlayFrame;
        QTRY_VERIFY(w->PlayFrame != frame); // playback goes on

        seams.boxes.answer = seams::MsgResult::Yes;
        w->SpeedButton11Click();
        QVERIFY(!w->isVisible());
    }

    // The toolbar takes no focus; its commands have keys: F5 "刷新", F1 "帮  助",
    // Ctrl+D "分解" and Ctrl+Q "退 出", which asks first.
    void keyboardCommands()
    {
        QTemporaryDir dir;
        QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("a.gif")), 8, 8, {1, 2}));
        Seams seams;
        Window w(dir.path(), true);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        w->activateWindow();
        if (!QTest::qWaitForWindowActive(w.form.get()))
            QSKIP("the platform does not activate windows");
        QVERIFY(w.finishScan());

        QTest::keyClick(w.form.get(), Qt::Key_F5);
        QVERIFY(w.waitForFolders());
        QVERIFY(w->Scanning);
        QVERIFY(w.finishScan());
        QTest::keyClick(w.form.get(), Qt::Key_F1);
        QCOMPARE(seams.modal.shown, (std::vector<QDialog *>{w->helpDlg}));
        QTest::keyClick(w.form.get(), Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(int(seams.modal.shown.size()), 1); // no frames yet
        w->ListView1->selectRow(0);
        QTest::keyClick(w.form.get(), Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(seams.modal.shown, (std::vector<QDialog *>{w->helpDlg, w->CUTDlg}));

        seams.boxes.answer = seams::MsgResult::No;
        QTest::keyClick(w.form.get(), Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(int(seams.boxes.boxes.size()), 1);
        QCOMPARE(seams.boxes.boxes[0].text, QStringLiteral("你确定要退出吗?"));
        QVERIFY(w->isVisible());
        seams.boxes.answer = seams::MsgResult::Yes;
        QTest::keyClick(w.form.get(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!w->isVisible());
    }

    void closeBoxAsksNothing()
    {
        QTemporaryDir dir;
        Seams seams;
        Window w(dir.path(), true);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        QVERIFY(w->close());
        QVERIFY(!w->isVisible());
        QVERIFY(seams.boxes.boxes.empty());
    }
};

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
