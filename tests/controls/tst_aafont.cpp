// The effect text renderer: extents, shadow geometry and alpha, the fills of
// the foreground picture and the order of the fill fallbacks.
#include "controls/aatext/aafont.h"
#include "controls/fonts.h"

#include "aatestutil.h"

#include <QApplication>
#include <QtTest>

using namespace aatext;

namespace {

using aatest::Pixel;
using aatest::PixelFont;

struct Fixture {
    QImage image = NewPicture(120, 50);
    TAACanvas canvas{&image};
    TAAFontEx font{&canvas};
    Fixture()
    {
        image.fill(Qt::white);
        canvas.Font = PixelFont(20);
        canvas.FontColor = clBlack;
        canvas.BrushColor = clWhite;
        font.SetQuality(aqNone);  // masks of 0 and 255 only: exact colours
    }
    // The plain glyph mask of the text, as the renderer draws it.
    TAAMask PlainMask(const QString &text)
    {
        TAAMask mask(&font);
        mask.SetQuality(aqNone);
        mask.DrawText(text);
        return mask;
    }
};

} // namespace

class TestAAFont : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QApplication::setStyle(QStringLiteral("Fusion"));
        installFontSubstitutions();
    }

    void shadowGeometry_data()
    {
        QTest::addColumn<int>("dx");
        QTest::addColumn<int>("dy");
        QTest::addColumn<QPoint>("textPoint");
        QTest::addColumn<QPoint>("shadowPoint");
        QTest::newRow("(2, 2)") << 2 << 2 << QPoint(0, 0) << QPoint(2, 2);
        QTest::newRow("(-3, 1)") << -3 << 1 << QPoint(3, 0) << QPoint(0, 1);
    }
    void shadowGeometry()
    {
        QFETCH(int, dx);
        QFETCH(int, dy);
        QFETCH(QPoint, textPoint);
        QFETCH(QPoint, shadowPoint);
        Fixture f;
        const QString text = QStringLiteral("Hi!");
        const QSize plain = f.font.TextExtent(text);
        TAAShadow &shadow = f.font.Effect().Shadow();
        shadow.SetEnabled(true);
        shadow.SetOffsetX(TOffset(dx));
        shadow.SetOffsetY(TOffset(dy));
        shadow.SetBlur(0);
        shadow.SetAlpha(100);
        shadow.SetColor(RGBColor(255, 0, 0));
        QCOMPARE(f.font.TextExtent(text), plain + QSize(std::abs(dx), std::abs(dy)));
        QCOMPARE(f.font.TextPoint(), textPoint);
        QCOMPARE(f.font.ShadowPoint(), shadowPoint);

        const QPoint at(10, 5);
        f.font.TextOut(at.x(), at.y(), text);
        const TAAMask mask = f.PlainMask(text);
        const QPoint t = at + textPoint, s = at + shadowPoint;
        int textPixels = 0, shadowPixels = 0;
        for (int y = 0; y < mask.Height(); ++y)
            for (int x = 0; x < mask.Width(); ++x) {
                if (mask.ScanLine(y)[x] != 255)
                    continue;
                QCOMPARE(Pixel(f.image, t.x() + x, t.y() + y), 0u);
                ++textPixels;
                // A shadow pixel shows unless text covers it.
                const int tx = s.x() + x - t.x(), ty = s.y() + y - t.y();
                const bool covered = tx >= 0 && ty >= 0 && tx < mask.Width() && ty < mask.Height()
                                     && mask.ScanLine(ty)[tx] != 0;
                if (!covered) {
                    QCOMPARE(Pixel(f.image, s.x() + x, s.y() + y), qRgb(255, 0, 0) & 0xFFFFFFu);
                    ++shadowPixels;
                }
            }
        QVERIFY(textPixels > 20);
        QVERIFY(shadowPixels > 5);
        // Nothing left of or above the text-and-shadow box.
        for (int y = 0; y < f.image.height(); ++y)
            QCOMPARE(Pixel(f.image, at.x() - 1, y), 0xFFFFFFu);
    }

    void shadowAlphaIsScaledByEffectAlpha()
    {
        // Effect alpha 50, shadow alpha 70: the shadow is blended at 35.
        // Black over white at alpha 35: k = 89, a = 88, 255 - 88 = 167.
        // The text at alpha 50: k = 128, a = 127, 255 + floor(-255 * 127 / 256) = 128.
        Fixture f;
        f.font.Effect().SetAlpha(50);
        TAAShadow &shadow = f.font.Effect().Shadow();
        shadow.SetEnabled(true);
        shadow.SetBlur(0);
        shadow.SetColor(clBlack);
        shadow.SetOffsetX(20);
        shadow.SetOffsetY(20);
        const QString text = QStringLiteral("I");
        f.font.TextOut(0, 0, text);
        const TAAMask mask = f.PlainMask(text);
        int checked = 0;
        for (int y = 0; y < mask.Height(); ++y)
            for (int x = 0; x < mask.Width(); ++x)
                if (mask.ScanLine(y)[x] == 255) {
                    QCOMPARE(qRed(Pixel(f.image, x, y)), 128);
                    QCOMPARE(qRed(Pixel(f.image, x + 20, y + 20)), 167);
                    ++checked;
                }
        QVERIFY(checked > 0);
    }

    void gradientRamps_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QList<int>>("ramp");  // red channel along the axis
        // Start white, end black.
        QTest::newRow("centre LR over 5") << int(gsCenterToLR) << QSize(5, 2) << QList<int>{0, 85, 170, 85, 0};
        QTest::newRow("centre LR over 4") << int(gsCenterToLR) << QSize(4, 2) << QList<int>{0, 127, 127, 0};
        QTest::newRow("centre TB over 5") << int(gsCenterToTB) << QSize(2, 5) << QList<int>{0, 85, 170, 85, 0};
        QTest::newRow("left to right") << int(gsLeftToRight) << QSize(4, 1) << QList<int>{255, 192, 128, 64};
        QTest::newRow("right to left") << int(gsRightToLeft) << QSize(4, 1) << QList<int>{0, 63, 127, 191};
        QTest::newRow("top to bottom") << int(gsTopToBottom) << QSize(1, 4) << QList<int>{255, 192, 128, 64};
        QTest::newRow("bottom to top") << int(gsBottomToTop) << QSize(3, 4) << QList<int>{0, 63, 127, 191};
    }
    void gradientRamps()
    {
        QFETCH(int, style);
        QFETCH(QSize, size);
        QFETCH(QList<int>, ramp);
        Fixture f;
        f.font.Effect().Gradual().SetStyle(TGradualStyle(style));
        f.font.Mask().SetSize(size.width(), size.height());
        f.font.CreateGradual();
        const QImage &fore = f.font.Blend().ForeBmp();
        QCOMPARE(fore.size(), size);
        const bool horizontal = size.height() == 2 || size.height() == 1;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                QCOMPARE(qRed(fore.pixel(x, y)), ramp[horizontal ? x : y]);
    }

    void gradientEndsShortOfEndColour()
    {
        Fixture f;
        f.font.Effect().Gradual().SetStartColor(clBlack);
        f.font.Effect().Gradual().SetEndColor(RGBColor(255, 255, 255));
        f.font.Mask().SetSize(10, 1);
        f.font.CreateGradual();
        QCOMPARE(qGreen(f.font.Blend().ForeBmp().pixel(0, 0)), 0);
        QCOMPARE(qGreen(f.font.Blend().ForeBmp().pixel(9, 0)), 229);
    }

    void noiseRange()
    {
        Fixture f;
        f.canvas.FontColor = RGBColor(100, 150, 3);
        f.font.Effect().SetNoise(20);
        f.font.Mask().SetSize(40, 40);
        f.font.CreateNoiseFill();
        const QImage &fore = f.font.Blend().ForeBmp();
        int lo = 255, hi = -255;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) {
                const QRgb p = fore.pixel(x, y);
                const int dr = qRed(p) - 100, dg = qGreen(p) - 150;
                QVERIFY(dr >= -10 && dr <= 9);
                QVERIFY(dg >= -10 && dg <= 9);
                QVERIFY(qBlue(p) <= 12);  // 3 - 10 clamps to 0
                lo = std::min({lo, dr, dg});
                hi = std::max({hi, dr, dg});
            }
        QCOMPARE(lo, -10);
        QCOMPARE(hi, 9);
    }

    void fillFallsThrough_data()
    {
        QTest::addColumn<bool>("texturePicture");
        QTest::addColumn<bool>("gradual");
        QTest::addColumn<int>("noise");
        QTest::addColumn<QString>("fill");
        QTest::newRow("texture") << true << true << 0 << "texture";
        QTest::newRow("empty texture, gradient") << false << true << 0 << "gradient";
        QTest::newRow("empty texture, noise") << false << false << 20 << "noise";
        QTest::newRow("solid") << false << false << 0 << "solid";
    }
    void fillFallsThrough()
    {
        QFETCH(bool, texturePicture);
        QFETCH(bool, gradual);
        QFETCH(int, noise);
        QFETCH(QString, fill);
        Fixture f;
        TAAEffect &e = f.font.Effect();
        e.Texture().SetEnabled(true);
        if (texturePicture) {
            QImage pic(4, 4, QImage::Format_RGB32);
            pic.fill(QColor(0, 0, 255));
            e.Texture().Picture().SetGraphic(pic);
        }
        e.Gradual().SetEnabled(gradual);
        e.Gradual().SetStartColor(RGBColor(0, 255, 0));
        e.Gradual().SetEndColor(RGBColor(0, 255, 0));
        e.SetNoise(quint8(noise));
        f.canvas.FontColor = RGBColor(255, 0, 0);
        f.font.TextOut(0, 0, QStringLiteral("\u2588"));
        const QImage &fore = f.font.Blend().ForeBmp();
        const TAAMask mask = f.PlainMask(QStringLiteral("\u2588"));
        QPoint inside(-1, -1);
        for (int y = 0; y < mask.Height() && inside.x() < 0; ++y)
            for (int x = 0; x < mask.Width(); ++x)
                if (mask.ScanLine(y)[x] == 255) {
                    inside = QPoint(x, y);
                    break;
                }
        QVERIFY(inside.x() >= 0);
        const QRgb p = Pixel(f.image, inside.x(), inside.y());
        if (fill == QLatin1String("texture"))
            QCOMPARE(p, qRgb(0, 0, 255) & 0xFFFFFFu);
        else if (fill == QLatin1String("gradient"))
            QCOMPARE(p, qRgb(0, 255, 0) & 0xFFFFFFu);
        else if (fill == QLatin1String("noise"))
            QVERIFY(qRed(p) >= 245 && qGreen(p) <= 9 && qBlue(p) <= 9);
        else {
            QCOMPARE(p, qRgb(255, 0, 0) & 0xFFFFFFu);
            QVERIFY(fore.isNull());
        }
    }

    void textureModes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QList<QPoint>>("red");
        QTest::addColumn<QList<QPoint>>("fontColour");
        // A 2 by 2 red picture on a 5 by 3 mask, font colour black.
        QTest::newRow("tiled") << int(tmTiled) << QList<QPoint>{{0, 0}, {2, 0}, {4, 2}} << QList<QPoint>{};
        QTest::newRow("stretched") << int(tmStretched) << QList<QPoint>{{0, 0}, {4, 2}} << QList<QPoint>{};
        QTest::newRow("centre") << int(tmCenter) << QList<QPoint>{{1, 0}, {2, 1}}
                                << QList<QPoint>{{0, 0}, {3, 0}, {1, 2}};
        QTest::newRow("normal") << int(tmNormal) << QList<QPoint>{{0, 0}, {1, 1}}
                                << QList<QPoint>{{2, 0}, {0, 2}};
    }
    void textureModes()
    {
        QFETCH(int, mode);
        QFETCH(QList<QPoint>, red);
        QFETCH(QList<QPoint>, fontColour);
        Fixture f;
        TAATexture &t = f.font.Effect().Texture();
        t.SetEnabled(true);
        t.SetMode(TTextureMode(mode));
        QImage pic(2, 2, QImage::Format_RGB32);
        pic.fill(Qt::red);
        t.Picture().SetGraphic(pic);
        f.font.Mask().SetSize(5, 3);
        f.font.CreateTexture();
        const QImage &fore = f.font.Blend().ForeBmp();
        QCOMPARE(fore.size(), QSize(5, 3));
        for (const QPoint &p : red)
            QCOMPARE(Pixel(fore, p.x(), p.y()), qRgb(255, 0, 0) & 0xFFFFFFu);
        for (const QPoint &p : fontColour)
            QCOMPARE(Pixel(fore, p.x(), p.y()), 0u);
    }

    void canvasStateIsRestored()
    {
        Fixture f;
        f.canvas.Escapement = 0;
        f.canvas.BrushStyle = bsSolid;
        f.font.Effect().Shadow().SetEnabled(true);
        f.font.Effect().SetAngle(30);
        f.font.TextOut(5, 5, QStringLiteral("Tilt"));
        QCOMPARE(f.canvas.Escapement, 0);
        QCOMPARE(f.canvas.BrushStyle, bsSolid);
        // The rotated extent is taller than the flat one.
        const QSize rotated = f.font.TextExtent(QStringLiteral("Tilt"));
        f.font.Effect().SetAngle(0);
        QVERIFY(rotated.height() > f.font.TextExtent(QStringLiteral("Tilt")).height());
    }

    void nothingToDraw()
    {
        Fixture f;
        const QImage before = f.image.copy();
        f.font.TextOut(0, 0, QString());
        QCOMPARE(f.image, before);
        f.font.SetCanvas(nullptr);
        f.font.TextOut(0, 0, QStringLiteral("x"));
        QCOMPARE(f.font.TextExtent(QStringLiteral("x")), QSize(0, 0));
    }

    void tileDraw()
    {
        QImage target = NewPicture(5, 5);
        target.fill(Qt::white);
        QPainter p(&target);
        TileDraw(p, QRect(0, 0, 5, 5), QImage());
        TileDraw(p, QRect(0, 0, 5, 5), QImage(0, 3, QImage::Format_RGB32));
        QImage pic(2, 2, QImage::Format_RGB32);
        pic.fill(Qt::black);
        pic.setPixel(0, 0, qRgb(255, 0, 0));
        TileDraw(p, QRect(1, 1, 4, 4), pic);
        p.end();
        QCOMPARE(Pixel(target, 0, 0), 0xFFFFFFu);
        QCOMPARE(Pixel(target, 1, 1), qRgb(255, 0, 0) & 0xFFFFFFu);
        QCOMPARE(Pixel(target, 3, 3), qRgb(255, 0, 0) & 0xFFFFFFu);
        QCOMPARE(Pixel(target, 4, 4), 0u);
    }
};

QTEST_MAIN(TestAAFont)
#include "tst_aafont.moc"
