// The anti-aliased label: auto size, placement, background modes, transparent
// painting over the parent, and which changes render.
#include "controls/aatext/aalabel.h"
#include "controls/fonts.h"

#include "aatestutil.h"

#include <QApplication>
#include <QSignalSpy>
#include <QtTest>

using namespace aatext;

namespace {

using aatest::Pixel;
using aatest::PixelFont;

// A label with exact colours: no anti-aliasing, opaque text.
void Setup(TAALabel &label, const QString &caption)
{
    label.SetFont(PixelFont(16));
    label.SetFontColor(clBlack);
    label.SetColor(clWhite);
    label.Effect().SetQuality(aqNone);
    label.SetCaption(caption);
}

// The renderer's plain measurement of the caption in the label's font.
QSize Measure(const QString &caption, int px)
{
    QImage img = NewPicture(4, 4);
    TAACanvas canvas(&img);
    canvas.Font = PixelFont(px);
    TAAFont font(&canvas);
    font.SetQuality(aqNone);
    return font.TextExtent(caption);
}

// What the label should show: the caption drawn at `at` on `background`.
QImage Reference(const TAALabel &label, const QImage &background, QPoint at, const QString &caption)
{
    QImage img = background.copy();
    TAACanvas canvas(&img);
    canvas.Font = PixelFont(16);
    canvas.FontColor = clBlack;
    canvas.BrushStyle = bsClear;
    TAAFontEx font(&canvas);
    font.SetQuality(aqNone);
    const TAAEffect &effect = const_cast<TAALabel &>(label).Effect().FontEffect();
    font.Effect().Assign(effect);
    font.Effect().Shadow().SetAlpha(effect.Shadow().Alpha());  // Assign keeps its own
    font.TextOut(at.x(), at.y(), caption);
    return img;
}

QImage WhitePicture(QSize size)
{
    QImage img = NewPicture(size.width(), size.height());
    img.fill(Qt::white);
    return img;
}

} // namespace

class TestAALabel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QApplication::setStyle(QStringLiteral("Fusion"));
        installFontSubstitutions();
    }

    void autoSizeWithShadowAndBorder()
    {
        // Caption w by h, shadow (2, 2), border 3: (w + 8) by (h + 8), text at
        // (3, 3), shadow at (5, 5).
        const QString caption = QStringLiteral("Auto size");
        TAALabel label;
        Setup(label, caption);
        TAAShadow &shadow = label.Effect().FontEffect().Shadow();
        shadow.SetEnabled(true);
        shadow.SetBlur(0);
        shadow.SetAlpha(100);
        shadow.SetColor(RGBColor(255, 0, 0));
        label.SetBorder(3);
        label.Loaded();
        const QSize text = Measure(caption, 16);
        QCOMPARE(label.size(), text + QSize(2 + 6, 2 + 6));
        QCOMPARE(label.Buffer().size(), label.size());
        QCOMPARE(label.Buffer(), Reference(label, WhitePicture(label.size()), QPoint(3, 3), caption));
        // Spot checks independent of the renderer: the shadow's corner is red
        // where the text does not cover it, nothing is drawn in the border.
        for (int x = 0; x < label.width(); ++x) {
            QCOMPARE(Pixel(label.Buffer(), x, 0), 0xFFFFFFu);
            QCOMPARE(Pixel(label.Buffer(), x, 2), 0xFFFFFFu);
        }
        bool red = false;
        for (int y = 0; y < label.height(); ++y)
            for (int x = 0; x < label.width(); ++x)
                red = red || Pixel(label.Buffer(), x, y) == 0xFF0000u;
        QVERIFY(red);
    }

    void autoSizeFollowsAlign_data()
    {
        QTest::addColumn<int>("align");
        QTest::addColumn<bool>("width");
        QTest::addColumn<bool>("height");
        QTest::newRow("alNone") << int(alNone) << true << true;
        QTest::newRow("alTop") << int(alTop) << false << true;
        QTest::newRow("alBottom") << int(alBottom) << false << true;
        QTest::newRow("alLeft") << int(alLeft) << true << false;
        QTest::newRow("alClient") << int(alClient) << false << false;
    }
    void autoSizeFollowsAlign()
    {
        QFETCH(int, align);
        QFETCH(bool, width);
        QFETCH(bool, height);
        TAALabel label;
        Setup(label, QStringLiteral("Aligned"));
        label.resize(300, 100);
        label.SetAlign(TAlign(align));
        label.Loaded();
        const QSize text = Measure(QStringLiteral("Aligned"), 16);
        QCOMPARE(label.width(), width ? text.width() : 300);
        QCOMPARE(label.height(), height ? text.height() : 100);
    }

    void placement_data()
    {
        QTest::addColumn<int>("alignment");
        QTest::addColumn<int>("layout");
        QTest::addColumn<QString>("caption");
        // Label 160 by 40, border 4; expected position computed from the text
        // size w by h: the names say the formula.
        QTest::newRow("left top") << int(taLeftJustify) << int(tlTop) << "Place";
        QTest::newRow("right centre") << int(taRightJustify) << int(tlCenter) << "Place";
        QTest::newRow("centre bottom") << int(taCenter) << int(tlBottom) << "Place";
        QTest::newRow("centre, wider than the label") << int(taCenter) << int(tlCenter)
                                                      << "A caption far wider than its label";
    }
    void placement()
    {
        QFETCH(int, alignment);
        QFETCH(int, layout);
        QFETCH(QString, caption);
        TAALabel label;
        Setup(label, caption);
        label.SetAutoSize(false);
        label.resize(160, 40);
        label.SetBorder(4);
        label.Effect().SetAlignment(TAlignment(alignment));
        label.Effect().SetLayout(TTextLayout(layout));
        label.Loaded();
        const QSize t = Measure(caption, 16);
        const int x = alignment == taLeftJustify ? 4
                      : alignment == taRightJustify ? 160 - 4 - t.width()
                                                    : (160 - t.width()) / 2;
        const int y = layout == tlTop ? 4 : layout == tlCenter ? (40 - t.height()) / 2 : 40 - 4 - t.height();
        if (caption.size() > 10)
            QVERIFY(x < 0);
        QCOMPARE(label.size(), QSize(160, 40));
        QCOMPARE(label.Buffer(), Reference(label, WhitePicture(label.size()), QPoint(x, y), caption));
    }

    void backgroundModes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QList<QPoint>>("blue");
        QTest::addColumn<QList<QPoint>>("white");
        // A 4 by 3 blue picture on a 10 by 7 label of colour white.
        QTest::newRow("centre") << int(bmCenter) << QList<QPoint>{{3, 2}, {6, 4}}
                                << QList<QPoint>{{2, 2}, {7, 2}, {3, 1}, {3, 5}};
        QTest::newRow("tiled") << int(bmTiled) << QList<QPoint>{{0, 0}, {4, 3}, {9, 6}} << QList<QPoint>{};
        QTest::newRow("normal") << int(bmNormal) << QList<QPoint>{{0, 0}, {3, 2}}
                                << QList<QPoint>{{4, 0}, {0, 3}};
        QTest::newRow("stretched") << int(bmStretched) << QList<QPoint>{{0, 0}, {9, 6}} << QList<QPoint>{};
    }
    void backgroundModes()
    {
        QFETCH(int, mode);
        QFETCH(QList<QPoint>, blue);
        QFETCH(QList<QPoint>, white);
        TAALabel label;
        Setup(label, QString());
        label.SetAutoSize(false);
        label.resize(10, 7);
        QImage pic(4, 3, QImage::Format_RGB32);
        pic.fill(Qt::blue);
        label.Effect().BackGround().SetGraphic(pic);
        label.Effect().SetBackGroundMode(TBackGroundMode(mode));
        label.Loaded();
        for (const QPoint &p : blue)
            QCOMPARE(Pixel(label.Buffer(), p.x(), p.y()), 0x0000FFu);
        for (const QPoint &p : white)
            QCOMPARE(Pixel(label.Buffer(), p.x(), p.y()), 0xFFFFFFu);
    }

    void rendersOnlyForRelevantChanges()
    {
        TAALabel label;
        Setup(label, QStringLiteral("Render"));
        QVERIFY(label.Buffer().isNull());  // nothing renders before loading
        label.Loaded();
        QVERIFY(!label.Buffer().isNull());
        qint64 key = label.Buffer().cacheKey();
        auto rendered = [&] {
            const bool changed = label.Buffer().cacheKey() != key;
            key = label.Buffer().cacheKey();
            return changed;
        };
        TAAEffect &effect = label.Effect().FontEffect();
        effect.Shadow().SetColor(RGBColor(1, 2, 3));  // shadow off: no render
        QVERIFY(!rendered());
        effect.Gradual().SetStartColor(clSilver);
        QVERIFY(!rendered());
        effect.SetAlpha(100);  // same value
        QVERIFY(!rendered());
        effect.Shadow().SetEnabled(true);
        QVERIFY(rendered());
        effect.Shadow().SetColor(RGBColor(4, 5, 6));
        QVERIFY(rendered());
        label.SetCaption(QStringLiteral("Render again"));
        QVERIFY(rendered());
        label.SetFont(PixelFont(18));
        QVERIFY(rendered());
        label.SetColor(clSilver);
        QVERIFY(rendered());
        label.SetBorder(2);
        QVERIFY(rendered());
        label.Effect().SetAlignment(taCenter);
        QVERIFY(rendered());

        label.BeginUpdate();
        label.SetCaption(QStringLiteral("Batched"));
        effect.SetBlur(10);
        QVERIFY(!rendered());
        label.EndUpdate();
        QVERIFY(rendered());
    }

    void backColorStoredOnlyWithOwnColour()
    {
        QWidget parent;
        QPalette pal = parent.palette();
        pal.setColor(QPalette::Window, QColor(1, 2, 3));
        parent.setPalette(pal);
        TAALabel label(&parent);
        QVERIFY(label.ParentEffect().ParentColor());
        QVERIFY(!label.Effect().IsBackColorStored());
        QCOMPARE(label.Effect().BackColor(), RGBColor(1, 2, 3));
        label.Effect().SetBackColor(clSilver);
        QVERIFY(!label.ParentEffect().ParentColor());
        QVERIFY(label.Effect().IsBackColorStored());
        QCOMPARE(label.Color(), clSilver);
    }

    void transparentDrawsOverParent()
    {
        QWidget parent;
        parent.resize(200, 60);
        parent.setAutoFillBackground(true);
        QPalette pal = parent.palette();
        pal.setColor(QPalette::Window, QColor(0, 128, 0));
        parent.setPalette(pal);
        TAALabel label(&parent);
        label.move(10, 10);
        Setup(label, QStringLiteral("Over"));
        label.Effect().SetTransparent(true);
        label.Loaded();
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        const QImage shot = parent.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QSize t = Measure(QStringLiteral("Over"), 16);
        QCOMPARE(label.size(), t);
        int black = 0;
        for (int y = 0; y < label.height(); ++y)
            for (int x = 0; x < label.width(); ++x) {
                const QRgb p = Pixel(shot, 10 + x, 10 + y);
                // Never the label's own (white) colour: only parent and text.
                QVERIFY2(p == 0x008000u || p == 0u, qPrintable(QString::number(p, 16)));
                black += p == 0u;
            }
        QVERIFY(black > 10);
        QVERIFY(label.Buffer().isNull());
    }

    void mouseSignals()
    {
        QWidget parent;
        parent.resize(100, 50);
        TAALabel label(&parent);
        Setup(label, QStringLiteral("Click"));
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QSignalSpy clicks(&label, &TAAGraphicControl::clicked);
        QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(clicks.count(), 1);
        QTest::mouseClick(&label, Qt::RightButton, {}, QPoint(2, 2));
        QCOMPARE(clicks.count(), 1);
        QSignalSpy enter(&label, &TAAGraphicControl::mouseEnter);
        QSignalSpy leave(&label, &TAAGraphicControl::mouseLeave);
        QEnterEvent enterEvent(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(&label, &enterEvent);
        QEvent leaveEvent(QEvent::Leave);
        QApplication::sendEvent(&label, &leaveEvent);
        QCOMPARE(enter.count(), 1);
        QCOMPARE(leave.count(), 1);
    }

    void firstPaintLoads()
    {
        QWidget parent;
        parent.resize(100, 50);
        TAALabel label(&parent);
        Setup(label, QStringLiteral("Paint"));
        QVERIFY(!label.IsLoaded());
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QTRY_VERIFY(label.IsLoaded());
        QTRY_VERIFY(!label.Buffer().isNull());
        QCOMPARE(label.size(), Measure(QStringLiteral("Paint"), 16));
    }
};

QTEST_MAIN(TestAALabel)
#include "tst_aalabel.moc"
