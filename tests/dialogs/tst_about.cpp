// The About dialog: its controls and texts, the shadowed lettering, the three
// links opening the maker's page through the seam, and the modal showing.
#include "controls/aatext/aalabel.h"
#include "controls/fonts.h"
#include "controls/seams.h"
#include "dialogs/about.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMouseEvent>
#include <QtTest>

using namespace aatext;

namespace {

class RecordingOpener : public seams::UrlOpener {
public:
    QList<QUrl> opened;
    bool open(const QUrl &url) override
    {
        opened << url;
        return false;  // the result is not examined
    }
};

class ShowingRunner : public seams::ModalRunner {
public:
    QList<QPoint> centres;
    int exec(QDialog *dialog) override
    {
        seams::ModalScope scope;
        dialog->show();
        centres << dialog->frameGeometry().center();
        dialog->hide();
        return QDialog::Rejected;
    }
};

} // namespace

class TestAbout : public QObject {
    Q_OBJECT
    QMainWindow main;
    TAboutDlg *dlg = nullptr;
    RecordingOpener opener;

private slots:
    void initTestCase()
    {
        QApplication::setStyle(QStringLiteral("Fusion"));
        installFontSubstitutions();
        main.setGeometry(100, 80, 800, 580);
        dlg = new TAboutDlg(&main);
        seams::setUrlOpener(&opener);
    }
    void cleanupTestCase() { seams::setUrlOpener(nullptr); }
    void init() { opener.opened.clear(); }

    void windowAndTexts()
    {
        QVERIFY(!dlg->isVisible());
        QCOMPARE(dlg->windowTitle(), QStringLiteral("关于"));
        QCOMPARE(dlg->size(), QSize(411, 212));
        QCOMPARE(dlg->minimumSize(), dlg->maximumSize());
        QCOMPARE(dlg->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(dlg->Label3->text(), QStringLiteral("当前版本:1.001 (2010.3.16编译)"));
        QCOMPARE(dlg->Label1->text(), QStringLiteral("程序设计:Faloren软件工作室"));
        QCOMPARE(dlg->Label2->text(), QStringLiteral("设计时间:2010年3月"));
        QVERIFY(!dlg->Label4->text().isEmpty());
        QCOMPARE(dlg->AALabel2->Caption(), QStringLiteral("Faloren软件工作室"));
        QCOMPARE(dlg->AALabel3->Caption(), TAboutDlg::kMakerUrl);
        const QUrl url(TAboutDlg::kMakerUrl);
        QCOMPARE(url.scheme(), QStringLiteral("http"));
        QVERIFY(url.host() == QLatin1String("example.com") || url.host().endsWith(QLatin1String(".example.com")));
        // The address fits the group box beside the small picture.
        QVERIFY(dlg->AALabel3->geometry().right() < dlg->GroupBox1->width() - 2);
        QVERIFY(dlg->AALabel1->geometry().right() < dlg->width());
        QCOMPARE(dlg->GroupBox1->geometry(), QRect(152, 56, 249, 145));
        QCOMPARE(dlg->Label4->pos(), QPoint(16, 72));
        QCOMPARE(dlg->Image2->geometry(), QRect(3, 8, 32, 32));
        QCOMPARE(dlg->Image2->parentWidget(), dlg->GroupBox2);
    }

    void artwork()
    {
        const QImage art(QStringLiteral(":/about/artwork.png"));
        QCOMPARE(art.size(), QSize(128, 128));
        QVERIFY(art.hasAlphaChannel());
        const QImage small(QStringLiteral(":/about/studio.png"));
        QCOMPARE(small.size(), QSize(32, 32));
        QVERIFY(!small.hasAlphaChannel());
        QCOMPARE(dlg->Image1->pixmap().size(), QSize(128, 128));
        QCOMPARE(dlg->Image2->pixmap().size(), QSize(32, 32));
        const TAAPicture &texture = dlg->AALabel1->Effect().FontEffect().Texture().Picture();
        QCOMPARE(QSize(texture.Width(), texture.Height()), QSize(32, 32));
        QCOMPARE(texture.Graphic().depth(), 32);
    }

    void fontsResolve_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("pixels");
        QTest::newRow("dialog") << "dialog" << "AR PL UMing CN" << 12;
        QTest::newRow("AALabel1") << "AALabel1" << "AR PL UKai CN" << 29;
        QTest::newRow("AALabel2") << "AALabel2" << "AR PL UMing CN" << 16;
        QTest::newRow("AALabel3") << "AALabel3" << "AR PL UMing CN" << 16;
    }
    void fontsResolve()
    {
        QFETCH(QString, which);
        QFETCH(QString, family);
        QFETCH(int, pixels);
        QWidget *w = which == QLatin1String("dialog") ? static_cast<QWidget *>(dlg)
                     : which == QLatin1String("AALabel1") ? dlg->AALabel1
                     : which == QLatin1String("AALabel2") ? dlg->AALabel2
                                                          : dlg->AALabel3;
        const QFontInfo info(w->font());
        QCOMPARE(info.family(), family);
        QCOMPARE(info.pixelSize(), pixels);
    }

    void titleShowsOnlyTheShadow()
    {
        TAALabel *l = dlg->AALabel1;
        const TAAEffect &e = l->Effect().FontEffect();
        QVERIFY(!l->ParentEffect().ParentFont());
        QCOMPARE(l->FontColor(), TColor(3618615));
        QVERIFY(e.Shadow().Enabled());
        QVERIFY(!e.Gradual().Enabled());
        QCOMPARE(e.Gradual().StartColor(), clSilver);
        QVERIFY(!e.Texture().Enabled());
        // Rendered: white ground, grey glyphs and a lighter grey shadow; the
        // (coloured) texture would show as non-grey pixels.
        const QImage &buffer = l->Buffer();
        QCOMPARE(buffer.size(), l->size());
        int darkest = 255, shadowish = 0;
        for (int y = 0; y < buffer.height(); ++y)
            for (int x = 0; x < buffer.width(); ++x) {
                const QRgb p = buffer.pixel(x, y);
                QVERIFY(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p));
                darkest = std::min(darkest, qRed(p));
                shadowish += qRed(p) > 120 && qRed(p) < 230;
            }
        QVERIFY(darkest <= 60);
        QVERIFY(shadowish > 50);
    }

    void linksOpenTheSameAddress_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("opens");
        QTest::newRow("AALabel2") << "AALabel2" << true;
        QTest::newRow("AALabel3") << "AALabel3" << true;
        QTest::newRow("Image2") << "Image2" << true;
        QTest::newRow("Image1") << "Image1" << false;
        QTest::newRow("AALabel1") << "AALabel1" << false;
        QTest::newRow("Label1") << "Label1" << false;
        QTest::newRow("GroupBox2") << "GroupBox2" << false;
        QTest::newRow("dialog") << "dialog" << false;
    }
    void linksOpenTheSameAddress()
    {
        QFETCH(QString, target);
        QFETCH(bool, opens);
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg));
        QWidget *w = target == QLatin1String("dialog") ? dlg : dlg->findChild<QWidget *>(target);
        QVERIFY(w);
        const QPoint at = w == dlg ? QPoint(5, 5) : w == dlg->GroupBox2 ? QPoint(1, 1) : QPoint(4, 4);
        QTest::mouseClick(w, Qt::LeftButton, {}, at);
        dlg->hide();
        if (opens) {
            QCOMPARE(opener.opened, QList<QUrl>{QUrl(TAboutDlg::kMakerUrl)});
            QCOMPARE(opener.opened.first().toString(), dlg->AALabel3->Caption());
        } else {
            QVERIFY(opener.opened.isEmpty());
        }
    }

    void doubleClickOpensOnce_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("AALabel2") << "AALabel2";
        QTest::newRow("AALabel3") << "AALabel3";
        QTest::newRow("Image2") << "Image2";
    }
    void doubleClickOpensOnce()
    {
        QFETCH(QString, target);
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg));
        auto *w = dlg->findChild<QWidget *>(target);
        QVERIFY(w);
        // What a double-click delivers: press, release, double-click, release.
        const QPointF at(4, 4);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                  QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
            const Qt::MouseButtons held =
                type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
            QMouseEvent event(type, at, w->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
            QApplication::sendEvent(w, &event);
        }
        dlg->hide();
        QCOMPARE(opener.opened.size(), 1);
    }

    void escapeCloses()
    {
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg));
        QTest::keyClick(dlg, Qt::Key_Escape);
        QVERIFY(!dlg->isVisible());
    }

    void shownModallyCentredOverMainWindow()
    {
        ShowingRunner runner;
        seams::setModalRunner(&runner);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QList<QPoint> expected;
        expected << main.frameGeometry().center();
        seams::execModal(dlg);
        main.move(300, 200);
        expected << main.frameGeometry().center();
        seams::execModal(dlg);
        seams::setModalRunner(nullptr);
        main.hide();
        QCOMPARE(runner.centres.size(), 2);
        // Within a pixel or two: odd sizes halve unevenly.
        for (int i = 0; i < 2; ++i)
            QVERIFY2((runner.centres[i] - expected[i]).manhattanLength() <= 2,
                     qPrintable(QStringLiteral("%1,%2").arg(runner.centres[i].x()).arg(runner.centres[i].y())));
        // The same instance looks the same at every showing.
        QCOMPARE(dlg->size(), QSize(411, 212));
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
