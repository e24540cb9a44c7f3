// Glyph masks and blending: reductions, measuring, the mask transformations
// and compositing through a mask onto a 24-bit canvas.
#include "controls/aatext/aamask.h"
#include "controls/fonts.h"

#include "aatestutil.h"

#include <QApplication>
#include <QtTest>

using namespace aatext;

namespace {

struct Owner : TAACanvasOwner {
    TAACanvas *canvas = nullptr;
    TAACanvas *Canvas() const override { return canvas; }
};

// A mask filled from rows of values (top line first).
void Fill(TAAMask &mask, const QList<QList<int>> &rows)
{
    mask.SetSize(rows.isEmpty() ? 0 : int(rows[0].size()), int(rows.size()));
    for (int y = 0; y < rows.size(); ++y)
        for (int x = 0; x < rows[y].size(); ++x)
            mask.ScanLine(y)[x] = quint8(rows[y][x]);
}

QList<QList<int>> Values(const TAAMask &mask)
{
    QList<QList<int>> rows;
    for (int y = 0; y < mask.Height(); ++y) {
        QList<int> row;
        for (int x = 0; x < mask.Width(); ++x)
            row.append(mask.ScanLine(y)[x]);
        rows.append(row);
    }
    return rows;
}

QFont PixelFont(const QString &family, int px)
{
    QFont f(family);
    f.setPixelSize(px);
    return f;
}

int MaxValue(const TAAMask &mask)
{
    int m = 0;
    for (int y = 0; y < mask.Height(); ++y)
        for (int x = 0; x < mask.Width(); ++x)
            m = std::max(m, int(mask.ScanLine(y)[x]));
    return m;
}

using aatest::Pixel;

} // namespace

class TestAAMask : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QApplication::setStyle(QStringLiteral("Fusion"));
        installFontSubstitutions();
    }

    void reductionOfFullBlock_data()
    {
        QTest::addColumn<int>("quality");
        QTest::addColumn<int>("scale");
        QTest::addColumn<int>("full");
        QTest::newRow("aqHigh") << int(aqHigh) << 4 << 255;
        QTest::newRow("aqNormal") << int(aqNormal) << 3 << 254;
        QTest::newRow("aqLow") << int(aqLow) << 2 << 255;
        QTest::newRow("aqNone") << int(aqNone) << 1 << 255;
    }
    void reductionOfFullBlock()
    {
        QFETCH(int, quality);
        QFETCH(int, scale);
        QFETCH(int, full);
        Owner owner;
        QImage img = NewPicture(10, 10);
        TAACanvas canvas(&img);
        canvas.Font = PixelFont(QStringLiteral("DejaVu Sans"), 40);
        owner.canvas = &canvas;
        TAAMask mask(&owner);
        mask.SetQuality(TAAQuality(quality));
        QCOMPARE(mask.Scale(), scale);
        mask.DrawText(QStringLiteral("\u2588"));  // a full block: covered blocks inside
        QCOMPARE(mask.RowBytes() % 4, 0);
        QVERIFY(mask.RowBytes() >= mask.Width());
        QCOMPARE(MaxValue(mask), full);
    }

    void textIsDrawnWithoutAntialiasing()
    {
        // At aqNone the mask is the surface itself: only 0 and 255 may appear.
        Owner owner;
        QImage img = NewPicture(10, 10);
        TAACanvas canvas(&img);
        canvas.Font = PixelFont(QStringLiteral("宋体"), 16);
        owner.canvas = &canvas;
        TAAMask mask(&owner);
        mask.SetQuality(aqNone);
        mask.DrawText(QStringLiteral("Faloren软件工作室"));
        QVERIFY(mask.Width() > 50);
        bool some = false;
        for (int y = 0; y < mask.Height(); ++y)
            for (int x = 0; x < mask.Width(); ++x) {
                const int v = mask.ScanLine(y)[x];
                QVERIFY2(v == 0 || v == 255, qPrintable(QString::number(v)));
                some = some || v == 255;
            }
        QVERIFY(some);
    }

    void italicWidening_data()
    {
        QTest::addColumn<int>("cx");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("ten ASCII characters") << 100 << QStringLiteral("abcdefghij") << 103;
        // Chinese characters count two bytes each: 100 / 6 * 0.3 = 5.
        QTest::newRow("three Chinese characters") << 100 << QStringLiteral("动画器") << 105;
        QTest::newRow("empty text") << 100 << QString() << 100;
    }
    void italicWidening()
    {
        QFETCH(int, cx);
        QFETCH(QString, text);
        QFETCH(int, expected);
        QCOMPARE(WidenItalic(cx, text), expected);
    }

    void italicExtentIsWidened()
    {
        Owner owner;
        QImage img = NewPicture(4, 4);
        TAACanvas canvas(&img);
        canvas.Font = PixelFont(QStringLiteral("DejaVu Sans"), 20);
        canvas.Font.setItalic(true);
        owner.canvas = &canvas;
        TAAMask mask(&owner);
        const QString text = QStringLiteral("Italic text");
        const QFontMetrics fm(ScaledFont(canvas.Font, 3));
        const int plain = (fm.horizontalAdvance(text) + 2) / 3;
        QCOMPARE(mask.TextExtent(text).width(), WidenItalic(plain, text));
        QVERIFY(mask.TextExtent(text).width() > plain);
    }

    void rotationByNinetyDegrees()
    {
        Owner owner;
        QImage img = NewPicture(4, 4);
        TAACanvas canvas(&img);
        canvas.Font = PixelFont(QStringLiteral("DejaVu Sans"), 20);
        owner.canvas = &canvas;
        TAAMask mask(&owner);
        const QSize flat = mask.TextExtent(QStringLiteral("Rotate me"));
        canvas.Escapement = 900;
        QPoint offset;
        const QSize box = mask.TextExtent(QStringLiteral("Rotate me"), &offset);
        QVERIFY(qAbs(box.width() - flat.height()) <= 1);
        QVERIFY(qAbs(box.height() - flat.width()) <= 1);
        QVERIFY(qAbs(offset.x()) <= 1);
        QVERIFY(qAbs(offset.y() - box.height()) <= 1);

        // The text runs upwards from the bottom-left corner: ink in the box.
        mask.DrawText(QStringLiteral("Rotate me"));
        QCOMPARE(QSize(mask.Width(), mask.Height()), box);
        QVERIFY(MaxValue(mask) > 200);
    }

    void noCanvas()
    {
        Owner owner;
        TAAMask mask(&owner);
        Fill(mask, {{1, 2}, {3, 4}});
        QCOMPARE(mask.TextExtent(QStringLiteral("abc")), QSize(0, 0));
        mask.DrawText(QStringLiteral("abc"));
        QCOMPARE(Values(mask), (QList<QList<int>>{{1, 2}, {3, 4}}));
    }

    void bufferIsStoredLastLineFirst()
    {
        TAAMask mask(nullptr);
        Fill(mask, {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}});
        QCOMPARE(mask.RowBytes(), 8);
        // Line 1 (the bottom line) starts the buffer.
        QCOMPARE(mask.ScanLine(1) + 8, mask.ScanLine(0));
    }

    void scanLineBounds_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("line");
        QTest::addColumn<bool>("valid");
        QTest::newRow("empty mask") << 0 << 0 << false;
        QTest::newRow("first") << 3 << 0 << true;
        QTest::newRow("last") << 3 << 2 << true;
        QTest::newRow("below") << 3 << -1 << false;
        QTest::newRow("past the end") << 3 << 3 << false;
    }
    void scanLineBounds()
    {
        QFETCH(int, height);
        QFETCH(int, line);
        QFETCH(bool, valid);
        TAAMask mask(nullptr);
        mask.SetSize(height ? 2 : 0, height);
        try {
            mask.ScanLine(line);
            QVERIFY(valid);
        } catch (const EInvalidLine &e) {
            QVERIFY(!valid);
            QCOMPARE(QString::fromLatin1(e.what()), QStringLiteral("Invalid line!"));
        }
    }

    void blurStrength_data()
    {
        QTest::addColumn<int>("amount");
        QTest::addColumn<int>("k");
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("10") << 10 << 26;
        QTest::newRow("30") << 30 << 76;
        QTest::newRow("50") << 50 << 128;
        QTest::newRow("100") << 100 << 255;
        QTest::newRow("beyond 100") << 200 << 255;
    }
    void blurStrength()
    {
        QFETCH(int, amount);
        QFETCH(int, k);
        QCOMPARE(BlurStrength(amount), k);
    }

    void blurOfOnePixel()
    {
        // One lit pixel in a 7 by 7 mask: the 5 by 5 mean is Round(255 / 25) = 10
        // wherever the pixel is within reach; k = 76 mixes by floor((b - p) * 76 / 256).
        TAAMask mask(nullptr);
        mask.SetSize(7, 7);
        mask.ScanLine(3)[3] = 255;
        mask.Blur(30);
        QCOMPARE(int(mask.ScanLine(3)[3]), 255 - 73);
        QCOMPARE(int(mask.ScanLine(1)[1]), 2);
        QCOMPARE(int(mask.ScanLine(0)[0]), 0);
    }

    void blurHundredIsRoundedMean()
    {
        TAAMask mask(nullptr);
        QList<QList<int>> rows;
        for (int y = 0; y < 6; ++y) {
            QList<int> row;
            for (int x = 0; x < 9; ++x)
                row.append((x * 37 + y * 91) % 256);
            rows.append(row);
        }
        Fill(mask, rows);
        mask.Blur(100);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 9; ++x) {
                int sum = 0;
                for (int dy = -2; dy <= 2; ++dy)
                    for (int dx = -2; dx <= 2; ++dx)
                        sum += rows[std::clamp(y + dy, 0, 5)][std::clamp(x + dx, 0, 8)];
                QCOMPARE(int(mask.ScanLine(y)[x]), int(std::lrint(sum / 25.0)));
            }
    }

    void blurLeavesFlatAndZeroAlone_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("amount");
        QTest::newRow("flat 8x6, 100") << 8 << 6 << 100;
        QTest::newRow("flat 8x6, 37") << 8 << 6 << 37;
        QTest::newRow("flat 1x1, 100") << 1 << 1 << 100;
        QTest::newRow("flat 2x3, 60") << 2 << 3 << 60;
        QTest::newRow("flat 3x2, 60") << 3 << 2 << 60;
    }
    void blurLeavesFlatAndZeroAlone()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, amount);
        TAAMask mask(nullptr);
        mask.SetSize(width, height);
        for (int y = 0; y < height; ++y)
            std::fill_n(mask.ScanLine(y), width, quint8(173));
        mask.Blur(amount);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                QCOMPARE(int(mask.ScanLine(y)[x]), 173);

        // Blur 0 changes nothing, also a mask that is not flat.
        mask.ScanLine(0)[0] = 9;
        const auto before = Values(mask);
        mask.Blur(0);
        QCOMPARE(Values(mask), before);
    }

    void outline()
    {
        TAAMask mask(nullptr);
        // Fewer than 3 lines: unchanged.
        Fill(mask, {{0, 255, 0, 255}, {255, 0, 255, 0}});
        const auto two = Values(mask);
        mask.Outline();
        QCOMPARE(Values(mask), two);

        // A uniform mask outlines to 0 inside and keeps its border.
        Fill(mask, {{90, 90, 90, 90}, {90, 90, 90, 90}, {90, 90, 90, 90}, {90, 90, 90, 90}});
        mask.Outline();
        QCOMPARE(Values(mask), (QList<QList<int>>{
                                   {90, 90, 90, 90}, {90, 0, 0, 90}, {90, 0, 0, 90}, {90, 90, 90, 90}}));

        // A vertical edge: at (1, 1) only d2 and d3, d4 see it.
        Fill(mask, {{0, 0, 200}, {0, 0, 200}, {0, 0, 200}});
        mask.Outline();
        QCOMPARE(int(mask.ScanLine(1)[1]), (0 + 200 + 200 + 200) >> 2);
    }

    void spray()
    {
        TAAMask mask(nullptr);
        QList<QList<int>> rows;
        for (int y = 0; y < 5; ++y) {
            QList<int> row;
            for (int x = 0; x < 6; ++x)
                row.append(y * 10 + x);
            rows.append(row);
        }
        Fill(mask, rows);
        mask.Spray(0);
        QCOMPARE(Values(mask), rows);

        // Draws: b = amount, then Random(2b) = 0 twice: every pixel takes the
        // one (b, b) further on, which the pass has not replaced yet.
        int draw = 0;
        mask.SetRandom([&draw](int m) { return draw++ % 3 == 0 ? m - 1 : 0; });
        mask.Spray(2);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x)
                QCOMPARE(int(mask.ScanLine(y)[x]), rows[std::min(y + 2, 4)][std::min(x + 2, 5)]);
    }

    void mirrors()
    {
        TAAMask mask(nullptr);
        Fill(mask, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}});
        mask.HorzMirror();
        QCOMPARE(Values(mask), (QList<QList<int>>{{3, 2, 1}, {6, 5, 4}, {9, 8, 7}, {12, 11, 10}}));
        mask.VertMirror();
        QCOMPARE(Values(mask), (QList<QList<int>>{{12, 11, 10}, {9, 8, 7}, {6, 5, 4}, {3, 2, 1}}));
    }

    void assignCopiesEverything()
    {
        TAAMask a(nullptr), b(nullptr);
        a.SetQuality(aqHigh);
        Fill(a, {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}});
        b.Assign(a);
        QCOMPARE(b.Quality(), aqHigh);
        QCOMPARE(b.Scale(), 4);
        QCOMPARE(b.RowBytes(), 8);
        QCOMPARE(Values(b), Values(a));
    }

    void blendBackground_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("alpha");
        QTest::addColumn<int>("maskValue");
        QTest::addColumn<QRgb>("expected");
        // Canvas grey 100, brush (0, 0, 200), colour (250, 10, 0).
        QTest::newRow("solid, alpha 0") << int(bsSolid) << 0 << 255 << qRgb(0, 0, 200);
        QTest::newRow("clear, alpha 0") << int(bsClear) << 0 << 255 << qRgb(100, 100, 100);
        QTest::newRow("solid, alpha 100") << int(bsSolid) << 100 << 255 << qRgb(250, 10, 0);
        QTest::newRow("clear, alpha 100") << int(bsClear) << 100 << 255 << qRgb(250, 10, 0);
        // a = 128: d + floor((c - d) * 128 / 256), floor also for negative steps.
        QTest::newRow("clear, half mask") << int(bsClear) << 100 << 128 << qRgb(175, 55, 50);
        QTest::newRow("solid, half mask") << int(bsSolid) << 100 << 128 << qRgb(125, 5, 100);
        // alpha 50: k = 128, a = 255 * 128 >> 8 = 127.
        QTest::newRow("clear, alpha 50") << int(bsClear) << 50 << 255 << qRgb(174, 55, 50);
        // Alphas above 100 (a byte loaded from settings) count as 100, never wrap.
        QTest::newRow("clear, alpha 255") << int(bsClear) << 255 << 255 << qRgb(250, 10, 0);
        QTest::newRow("clear, alpha 200, half mask") << int(bsClear) << 200 << 128 << qRgb(175, 55, 50);
    }
    void blendBackground()
    {
        QFETCH(int, style);
        QFETCH(int, alpha);
        QFETCH(int, maskValue);
        QFETCH(QRgb, expected);
        Owner owner;
        QImage img = NewPicture(8, 6);
        img.fill(QColor(100, 100, 100));
        TAACanvas canvas(&img);
        canvas.BrushColor = RGBColor(0, 0, 200);
        canvas.BrushStyle = TBrushStyle(style);
        owner.canvas = &canvas;
        TAAMask mask(&owner);
        mask.SetSize(3, 2);
        for (int y = 0; y < 2; ++y)
            std::fill_n(mask.ScanLine(y), 3, quint8(maskValue));
        TAABlend blend(&owner);
        blend.Blend(2, 1, mask, alpha, RGBColor(250, 10, 0));
        QCOMPARE(Pixel(img, 2, 1), expected & 0xFFFFFF);
        QCOMPARE(Pixel(img, 4, 2), expected & 0xFFFFFF);
        QCOMPARE(Pixel(img, 1, 1), qRgb(100, 100, 100) & 0xFFFFFF);
        QCOMPARE(Pixel(img, 5, 1), qRgb(100, 100, 100) & 0xFFFFFF);
        QCOMPARE(Pixel(img, 2, 3), qRgb(100, 100, 100) & 0xFFFFFF);
    }

    void blendIsClippedToCanvas()
    {
        Owner owner;
        QImage img = NewPicture(4, 4);
        img.fill(Qt::white);
        TAACanvas canvas(&img);
        canvas.BrushStyle = bsClear;
        owner.canvas = &canvas;
        TAAMask mask(&owner);
        mask.SetSize(6, 6);
        for (int y = 0; y < 6; ++y)
            std::fill_n(mask.ScanLine(y), 6, quint8(255));
        TAABlend blend(&owner);
        blend.Blend(-3, -3, mask, 100, clBlack);
        QCOMPARE(Pixel(img, 0, 0), 0u);
        QCOMPARE(Pixel(img, 2, 2), 0u);
        QCOMPARE(Pixel(img, 3, 3), 0xFFFFFFu);
        blend.Blend(2, 2, mask, 100, RGBColor(255, 0, 0));
        QCOMPARE(Pixel(img, 3, 3), qRgb(255, 0, 0) & 0xFFFFFF);
    }

    void blendExChecksForeground_data()
    {
        QTest::addColumn<QSize>("foreSize");
        QTest::addColumn<bool>("valid");
        QTest::newRow("mask size") << QSize(3, 2) << true;
        QTest::newRow("one pixel too wide") << QSize(4, 2) << false;
        QTest::newRow("one line too few") << QSize(3, 1) << false;
    }
    void blendExChecksForeground()
    {
        QFETCH(QSize, foreSize);
        QFETCH(bool, valid);
        Owner owner;
        QImage img = NewPicture(6, 6);
        img.fill(Qt::white);
        TAACanvas canvas(&img);
        owner.canvas = &canvas;
        TAAMask mask(&owner);
        mask.SetSize(3, 2);
        for (int y = 0; y < 2; ++y)
            std::fill_n(mask.ScanLine(y), 3, quint8(255));
        TAABlend blend(&owner);
        blend.ForeBmp() = NewPicture(foreSize.width(), foreSize.height());
        blend.ForeBmp().fill(QColor(10, 20, 30));
        if (foreSize.height() > 1)
            blend.ForeBmp().setPixel(1, 1, qRgb(1, 2, 3));
        const QImage before = img.copy();
        try {
            blend.BlendEx(1, 1, mask, 100);
            QVERIFY(valid);
            QCOMPARE(Pixel(img, 1, 1), qRgb(10, 20, 30) & 0xFFFFFF);
            QCOMPARE(Pixel(img, 2, 2), qRgb(1, 2, 3) & 0xFFFFFF);
        } catch (const EInvalidForeBmp &e) {
            QVERIFY(!valid);
            QCOMPARE(QString::fromLatin1(e.what()), QStringLiteral("Invalid foreground bitmap!"));
            QCOMPARE(img, before);
        }
    }
};

QTEST_MAIN(TestAAMask)
#include "tst_aamask.moc"
