// The real message box behind seams::showMessage: one font for the path and
// the Chinese text, Chinese button captions, the caption and the icon.
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "controls/fonts.h"
#include "controls/seams.h"

class TestMessageBox : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installFontSubstitutions(); }

    void onePathOneFontForAllItsText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("path, then Chinese")
            << QStringLiteral("/home/user/Pictures/broken_01.gif可能不是GIF文件");
        QTest::newRow("Chinese, then a path on its own line")
            << QStringLiteral("无法打开 /tmp/Some Folder/a.GIF\n文件或文件夹不存在");
        QTest::newRow("Chinese file name in a Latin path")
            << QStringLiteral("/media/disk/动画/猫 (2).gif可能不是GIF文件");
    }

    void onePathOneFontForAllItsText()
    {
        QFETCH(QString, text);
        const auto box = seams::makeMessageBox(nullptr, text, QStringLiteral("错误"),
                                               seams::MsgIcon::Error, seams::MsgButtons::Ok);
        auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        QVERIFY(label);
        QCOMPARE(label->text(), text);
        const QFont font = label->font();
        QCOMPARE(QFontInfo(font).family(), QStringLiteral("AR PL UMing CN"));
        // The font itself holds every character, so none is drawn by a fallback font.
        const QFontMetrics metrics(font);
        for (const uint c : text.toUcs4()) {
            if (c == '\n')
                continue;
            QVERIFY2(metrics.inFontUcs4(c), qPrintable(QStringLiteral("U+%1").arg(c, 4, 16, QLatin1Char('0'))));
        }
        QCOMPARE(box->windowTitle(), QStringLiteral("错误"));
        QCOMPARE(box->icon(), QMessageBox::Critical);
    }

    void buttons_data()
    {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<QStringList>("captions");
        QTest::newRow("ok") << int(seams::MsgButtons::Ok) << QStringList({"确定"});
        QTest::newRow("yes and no") << int(seams::MsgButtons::YesNo) << QStringList({"是(&Y)", "否(&N)"});
    }

    void buttons()
    {
        QFETCH(int, buttons);
        QFETCH(QStringList, captions);
        const auto box = seams::makeMessageBox(nullptr, QStringLiteral("你确定要退出吗?"),
                                               QStringLiteral("提示"), seams::MsgIcon::Information,
                                               seams::MsgButtons(buttons));
        QStringList texts;
        for (QAbstractButton *b : box->buttons())
            texts << b->text();
        texts.sort();
        captions.sort();
        QCOMPARE(texts, captions);
        for (QAbstractButton *b : box->buttons())
            QCOMPARE(QFontInfo(b->font()).family(), QStringLiteral("AR PL UMing CN"));
    }
};

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
