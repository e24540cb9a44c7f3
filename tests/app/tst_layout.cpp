// The main window's layout: places and sizes, the minimum size, the owner-drawn
// tab captions and the progress bar inside status panel 0.
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QScrollBar>
#include <QSplitter>
#include <QToolButton>

#include "apptest.h"
#include "app/widgets.h"
#include "controls/flat/flatedit.h"
#include "controls/iconlist.h"

Q_DECLARE_METATYPE(std::vector<int>)

using namespace apptest;

class TestLayout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        initApp();
        QVERIFY(m_root.isValid());
    }

    void startsAtDesignedSize()
    {
        Seams seams;
        Window w(m_root.path());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        QCOMPARE(w->windowTitle(), QStringLiteral("FalorenGIF动画分解器 1.0"));
        QCOMPARE(w->frameGeometry().size(), QSize(800, 580));
        QCOMPARE(w->font().pixelSize(), 12);
        QCOMPARE(QFontInfo(w->font()).family(), QStringLiteral("AR PL UMing CN"));
        QCOMPARE(w->PageControl1->currentIndex(), 0);
        QVERIFY(!w->Timer1->isActive());
        QCOMPARE(w->Timer1->interval(), 10);
        QVERIFY(w->Image1->isHidden());
        QVERIFY(w->Image2->isHidden());
        QVERIFY(w->Image3->isHidden());
        QCOMPARE(w->ListView1->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(w->ListView2->selectionMode(), QAbstractItemView::ExtendedSelection);
        QVERIFY(w.finishScan());
    }

    void placesAsDesigned_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("SpeedButton1") << "SpeedButton1" << QRect(8, 4, 85, 35);
        QTest::newRow("Bevel1") << "Bevel1" << QRect(104, 2, 2, 40);
        QTest::newRow("SpeedButton8") << "SpeedButton8" << QRect(112, 4, 85, 35);
        QTest::newRow("SpeedButton5") << "SpeedButton5" << QRect(208, 4, 85, 35);
        QTest::newRow("SpeedButton10") << "SpeedButton10" << QRect(304, 4, 85, 35);
        QTest::newRow("Bevel2") << "Bevel2" << QRect(400, 2, 2, 40);
        QTest::newRow("SpeedButton11") << "SpeedButton11" << QRect(416, 4, 85, 35);
        QTest::newRow("Panel4") << "Panel4" << QRect(12, 20, 120, 120);
        QTest::newRow("Image4") << "Image4" << QRect(0, 0, 120, 120);
        QTest::newRow("FlatEdit4") << "FlatEdit4" << QRect(216, 28, 145, 18);
        QTest::newRow("FlatEdit3") << "FlatEdit3" << QRect(216, 56, 145, 18);
        QTest::newRow("FlatEdit2") << "FlatEdit2" << QRect(216, 84, 145, 18);
        QTest::newRow("FlatEdit1") << "FlatEdit1" << QRect(216, 112, 145, 18);
    }

    void placesAsDesigned()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        Seams seams;
        Window w(m_root.path());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        auto *widget = w->findChild<QWidget *>(name);
        QVERIFY(widget);
        QRect actual = widget->geometry();
        // The flat edits set their height from the font, as the original did.
        if (name.startsWith(QLatin1String("FlatEdit")))
            actual.setHeight(geometry.height());
        QCOMPARE(actual, geometry);
        QVERIFY(w.finishScan());
    }

    void docking()
    {
        Seams seams;
        Window w(m_root.path());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        QCOMPARE(w->Panel1->height(), 45);
        QCOMPARE(w->Panel1->width(), w->width());
        QCOMPARE(w->ShellTreeView1->width(), 248);
        QCOMPARE(w->Splitter1->handleWidth(), 6);
        QCOMPARE(w->PageControl1->height(), 179);
        QCOMPARE(w->StatusBar1->height(), 19);
        QCOMPARE(w->StatusBar1->width(), w->width());
        QCOMPARE(w->StatusBar1->mapTo(w.form.get(), QPoint(0, 0)).y(), w->height() - 19);
        // The catalogue fills what the page control leaves; both follow resizing.
        w->resize(1000, 700);
        QTRY_COMPARE(w->StatusBar1->width(), 1000);
        QCOMPARE(w->PageControl1->height(), 179);
        QCOMPARE(w->ShellTreeView1->width(), 248);
        QCOMPARE(w->ListView1->height() + w->PageControl1->height(),
                 w->Panel3->height());
        QCOMPARE(w->StatusBar1->panelRect(1).x(), 250);
        QCOMPARE(w->StatusBar1->panelRect(2), QRect(370, 2, w->width() - 370, 17));
        QVERIFY(w.finishScan());
    }

    void minimumSize_data()
    {
        QTest::addColumn<QSize>("asked");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("narrow") << QSize(700, 600) << QSize(800, 600);
        QTest::newRow("low") << QSize(900, 500) << QSize(900, 580);
        QTest::newRow("both") << QSize(300, 200) << QSize(800, 580);
        QTest::newRow("larger") << QSize(1024, 700) << QSize(1024, 700);
    }

    void minimumSize()
    {
        QFETCH(QSize, asked);
        QFETCH(QSize, expected);
        Seams seams;
        Window w(m_root.path());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        // The limits are on the outer size, frame included.
        const QSize frame = w->frameGeometry().size() - w->size();
        w->resize(asked - frame);
        QTRY_COMPARE(w->frameGeometry().size(), expected);
        // The rule itself, without the toolkit's minimum: a size below the limits
        // that arrives anyway is put back on the next resize.
        w->setMinimumSize(0, 0);
        w->resize(asked - frame);
        w->FormResize();
        QTRY_COMPARE(w->frameGeometry().size(), expected);
        QVERIFY(w.finishScan());
    }

    void tabCaptionColours_data()
    {
        QTest::addColumn<int>("selected");
        QTest::newRow("first") << 0;
        QTest::newRow("second") << 1;
    }

    void tabCaptionColours()
    {
        QFETCH(int, selected);
        Seams seams;
        Window w(m_root.path());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        QVERIFY(w.finishScan());
        w->PageControl1->setCurrentIndex(selected);
        QCoreApplication::processEvents();

        TPageTabBar *bar = w->PageControl1->pageTabBar();
        const QImage image = bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
        if (qEnvironmentVariableIsSet("FG_DUMP"))
            image.save(QStringLiteral("/tmp/tabbar%1.png").arg(selected));
        const QFontMetrics fm(bar->font());
        const QPoint origin = bar->mapFrom(w->PageControl1, QPoint(0, 0));
        auto count = [&](const QRect &r, QRgb colour) {
            int n = 0;
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    if (image.rect().contains(x, y) && image.pixel(x, y) == colour)
                        ++n;
            return n;
        };
        const QRect caption0(
            origin + QPoint(8, 5),
            QSize(fm.horizontalAdvance(QStringLiteral("GIF分解图片")), fm.height()));
        const QRect caption1(
            origin + QPoint(85, 5),
            QSize(fm.horizontalAdvance(QStringLiteral("GIF动画播放")), fm.height()));
        const QRgb red = qRgb(160, 32, 0);
        const QRgb black = qRgb(0, 0, 0);
        const QRect on = selected == 0 ? caption0 : caption1;
        const QRect off = selected == 0 ? caption1 : caption0;
        QVERIFY2(count(on, red) > 20, "the selected caption is highlighted");
        QCOMPARE(count(on, black), 0);
        QVERIFY2(count(off, black) > 20, "the other caption is black");
        QCOMPARE(count(off, red), 0);
    }

    void progressBarInPanelZero()
    {
        Seams seams;
        Window w(m_root.path());
        QCOMPARE(w->ProgressBar1->parentWidget(), w.form.get());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        QTRY_COMPARE(w->ProgressBar1->parentWidget(), w->StatusBar1);
        QCOMPARE(w->ProgressBar1->geometry(), QRect(0, 2, 250, 17));
        QVERIFY(!w->ProgressBar1->isTextVisible());
        for (int width : {800, 1300, 900}) {
            w->resize(width, 600);
            QCoreApplication::processEvents();
            w->StatusBar1->repaint();
            QCOMPARE(w->ProgressBar1->geometry(), QRect(0, 2, 250, 17));
        }
        QVERIFY(w.finishScan());
        QVERIFY(w->ProgressBar1->isHidden());
    }

    // Captions exactly as designed, blanks included, and the places of the
    // labels and the hidden pictures.
    void textsAndPlaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QPoint>("place");
        QTest::newRow("SpeedButton1") << "SpeedButton1" << "分解" << "Panel1" << QPoint(8, 4);
        QTest::newRow("SpeedButton8") << "SpeedButton8" << "刷新" << "Panel1" << QPoint(112, 4);
        QTest::newRow("SpeedButton5") << "SpeedButton5" << "帮  助" << "Panel1" << QPoint(208, 4);
        QTest::newRow("SpeedButton10") << "SpeedButton10" << "关 于" << "Panel1" << QPoint(304, 4);
        QTest::newRow("SpeedButton11") << "SpeedButton11" << "退 出" << "Panel1" << QPoint(416, 4);
        QTest::newRow("GroupBox1") << "GroupBox1" << "图片信息" << "TabSheet2" << QPoint(0, 0);
        QTest::newRow("Label4") << "Label4" << "图片尺寸:" << "GroupBox1" << QPoint(152, 32);
        QTest::newRow("Label2") << "Label2" << "动画帧数:" << "GroupBox1" << QPoint(152, 60);
        QTest::newRow("Label1") << "Label1" << "动画时长:" << "GroupBox1" << QPoint(152, 87);
        QTest::newRow("Label3") << "Label3" << "循环播放:" << "GroupBox1" << QPoint(152, 116);
        QTest::newRow("Image1") << "Image1" << QString() << "TabSheet2" << QPoint(16, 20);
        QTest::newRow("Image3") << "Image3" << QString() << "TabSheet2" << QPoint(16, 20);
        QTest::newRow("Image2") << "Image2" << QString() << "Panel2" << QPoint(56, 184);
    }

    void textsAndPlaces()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, parent);
        QFETCH(QPoint, place);
        Seams seams;
        Window w(m_root.path());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        auto *widget = w->findChild<QWidget *>(name);
        QVERIFY(widget);
        QCOMPARE(widget->parentWidget()->objectName(), parent);
        QCOMPARE(widget->pos(), place);
        if (auto *button = qobject_cast<QToolButton *>(widget))
            QCOMPARE(button->text(), text);
        else if (auto *label = qobject_cast<QLabel *>(widget))
            QCOMPARE(label->text(), text);
        else if (auto *group = qobject_cast<QGroupBox *>(widget))
            QCOMPARE(group->title(), text);
        else // the hidden pictures
            QVERIFY(widget->isHidden());
        QCOMPARE(w->PageControl1->tabText(0), QStringLiteral("GIF分解图片"));
        QCOMPARE(w->PageControl1->tabText(1), QStringLiteral("GIF动画播放"));
        QVERIFY(w.finishScan());
    }

    // Tab goes from the tree through the catalogue and the tabs into the page
    // shown, top to bottom, and back to the tree.
    void tabOrder_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("frames")
            << 0 << QStringList({"ShellTreeView1", "ListView1", "tabs", "ListView2", "ShellTreeView1"});
        QTest::newRow("playback")
            << 1 << QStringList({"ShellTreeView1", "ListView1", "tabs", "FlatEdit4", "FlatEdit3",
                                 "FlatEdit2", "FlatEdit1", "ShellTreeView1"});
    }

    void tabOrder()
    {
        QFETCH(int, page);
        QFETCH(QStringList, order);
        Seams seams;
        Window w(m_root.path());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        w->activateWindow();
        if (!QTest::qWaitForWindowActive(w.form.get()))
            QSKIP("the platform does not activate windows");
        QVERIFY(w.finishScan());
        w->PageControl1->setCurrentIndex(page);
        // The tree has the focus at start.
        QCOMPARE(QApplication::focusWidget(), w->ShellTreeView1);
        QStringList seen{QStringLiteral("ShellTreeView1")};
        for (int i = 1; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *f = QApplication::focusWidget();
            QVERIFY(f);
            seen << (f == w->PageControl1->tabBar() ? QStringLiteral("tabs") : f->objectName());
        }
        QCOMPARE(seen, order);
    }

    void frameListShowsOneWholeRowAtDesignedSize_data()
    {
        QTest::addColumn<std::vector<int>>("delays");
        QTest::addColumn<QString>("caption");
        QTest::newRow("short captions") << std::vector<int>{10, 20, 30} << QString();
        // A caption too long for one line is elided, never given a second line.
        QTest::newRow("long caption")
            << std::vector<int>{10, 20} << QStringLiteral("第10000帧 (6553500毫秒) 第10000帧");
    }

    void frameListShowsOneWholeRowAtDesignedSize()
    {
        QFETCH(std::vector<int>, delays);
        QFETCH(QString, caption);
        QTemporaryDir dir;
        QVERIFY(writeSolidGif(dir.filePath(QStringLiteral("frames.gif")), 40, 30, delays));
        Seams seams;
        Window w(dir.path(), true);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        QCOMPARE(w->frameGeometry().size(), QSize(800, 580));
        QVERIFY(w.finishScan());
        w->ListView1->selectRow(0);
        QTRY_COMPARE(w->ListView2->items()->count(), int(delays.size()));
        if (!caption.isEmpty()) {
            IconItem item = w->ListView2->items()->item(0);
            item.caption = caption;
            w->ListView2->items()->append(item);
        }
        // A row of frames shows whole, and nothing scrolls.
        IconListView *list = w->ListView2;
        const int count = list->items()->count();
        QTRY_VERIFY(list->visualRect(list->model()->index(count - 1, 0)).isValid());
        const QRect first = list->visualRect(list->model()->index(0, 0));
        for (int row = 0; row < count; ++row) {
            const QRect cell = list->visualRect(list->model()->index(row, 0));
            QVERIFY(list->viewport()->rect().contains(cell));
            QCOMPARE(cell.top(), first.top());
        }
        QCOMPARE(list->verticalScrollBar()->maximum(), 0);
        QVERIFY(!list->verticalScrollBar()->isVisible());
        // The catalogue keeps its two caption lines.
        QCOMPARE(w->ListView1->captionLines(), 2);
        QCOMPARE(list->captionLines(), 1);
    }

private:
    QTemporaryDir m_root;
};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
