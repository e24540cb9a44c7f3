// The help dialog: the eight lines with their leading blanks, read-only text,
// fonts and colours, and the showing centred on the screen.
#include "controls/fonts.h"
#include "controls/seams.h"
#include "dialogs/help.h"

#include <QApplication>
#include <QClipboard>
#include <QScreen>
#include <QTextEdit>
#include <QtTest>

class TestHelp : public QObject {
    Q_OBJECT
    QWidget owner;
    ThelpDlg *dlg = nullptr;

private slots:
    void initTestCase()
    {
        QApplication::setStyle(QStringLiteral("Fusion"));
        installFontSubstitutions();
        dlg = new ThelpDlg(&owner);
    }

    void window()
    {
        QVERIFY(!dlg->isVisible());
        QCOMPARE(dlg->windowTitle(), QStringLiteral("帮助"));
        QCOMPARE(dlg->size(), QSize(470, 273));
        QCOMPARE(dlg->minimumSize(), dlg->maximumSize());
        QCOMPARE(dlg->palette().color(QPalette::Window), QColor(210, 233, 255));
        QCOMPARE(dlg->RichEdit1->geometry(), QRect(0, 0, 470, 273));
        QCOMPARE(dlg->RichEdit1->palette().color(QPalette::Base), QColor(255, 255, 230));
        QCOMPARE(dlg->RichEdit1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(dlg->RichEdit1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(dlg->RichEdit1->lineWrapMode(), QTextEdit::NoWrap);
        const QFontInfo info(dlg->RichEdit1->font());
        QCOMPARE(info.family(), QStringLiteral("AR PL UMing CN"));
        QCOMPARE(info.pixelSize(), 16);
    }

    void eightLines_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("blanks");
        QTest::addColumn<QString>("text");
        QTest::newRow("1") << 0 << 6 << "这是一个将GIF动画分解成多个图片的小软件,同时也可以";
        QTest::newRow("2") << 1 << 2 << "作为一个GIF浏览器使用,软件可以实现将GIF动画的全部或";
        QTest::newRow("3") << 2 << 2 << "某几帧画面分解出来,并保存为其它多种格式.";
        QTest::newRow("4") << 3 << 6 << "软件的使用很简单,在视图的左边选择相应的文件夹,即可";
        QTest::newRow("5") << 4 << 2 << "在视图右边显示出GIF图片,选中某一个GIF动画文件后,视图下";
        QTest::newRow("6") << 5 << 2 << "方将GIF分解成多个图片并显示出来.";
        QTest::newRow("7") << 6 << 6 << "如果你要保存这些分解出的GIF图片,选择视图上方的";
        QTest::newRow("8") << 7 << 2 << "[分解]功能按钮即可.";
    }
    void eightLines()
    {
        QFETCH(int, line);
        QFETCH(int, blanks);
        QFETCH(QString, text);
        const QStringList lines = dlg->RichEdit1->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 8);
        QCOMPARE(lines[line], QString(blanks, QLatin1Char(' ')) + text);
        // One text block per line: nothing wrapped or merged.
        QCOMPARE(dlg->RichEdit1->document()->blockCount(), 8);
    }

    void typingChangesNothing()
    {
        const QString before = dlg->RichEdit1->toPlainText();
        QVERIFY(dlg->RichEdit1->isReadOnly());
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg));
        dlg->RichEdit1->setFocus();
        QTest::keyClicks(dlg->RichEdit1, QStringLiteral("abc"));
        QTest::keyClick(dlg->RichEdit1, Qt::Key_Delete);
        QTest::keyClick(dlg->RichEdit1, Qt::Key_Backspace);
        QTest::keyClick(dlg->RichEdit1, Qt::Key_Return);
        QCOMPARE(dlg->RichEdit1->toPlainText(), before);
        // Still selectable and copyable.
        dlg->RichEdit1->selectAll();
        QCOMPARE(dlg->RichEdit1->textCursor().selectedText().size(), before.size());
        dlg->hide();
    }

    void escapeClosesFromTheText()
    {
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg));
        // The key goes to the text field; what it leaves unhandled reaches the dialog.
        QTest::keyClick(dlg->RichEdit1, Qt::Key_Escape);
        QVERIFY(!dlg->isVisible());
    }

    void shownCentredOnScreen()
    {
        struct Runner : seams::ModalRunner {
            QPoint centre;
            int exec(QDialog *d) override
            {
                seams::ModalScope scope;
                d->show();
                centre = d->frameGeometry().center();
                d->hide();
                return 0;
            }
        } runner;
        owner.setGeometry(0, 0, 200, 100);
        seams::setModalRunner(&runner);
        seams::execModal(dlg);
        seams::setModalRunner(nullptr);
        const QPoint screenCentre = dlg->screen()->availableGeometry().center();
        QVERIFY((runner.centre - screenCentre).manhattanLength() <= 2);
    }
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
