// Colour arithmetic of the flat controls: HSL conversions, rounding, the derived
// shades and their clamps, system colours.
#include "controls/flat/flatcolors.h"

#include <QApplication>
#include <QPalette>
#include <QTest>

#include <cstdlib>

Q_DECLARE_METATYPE(TColor)

class TestFlatColors : public QObject {
    Q_OBJECT
private slots:
    void greys_data();
    void greys();
    void greyWhateverTheHue();
    void primaries_data();
    void primaries();
    void roundsHalfToEven_data();
    void roundsHalfToEven();
    void derive_data();
    void derive();
    void lighteningNeverDarkens();
    void realRoundTripIsExact();
    void scaledRoundTripWithinOneStep();
    void systemColoursFollowThePalette();
    void rectsOverlap_data();
    void rectsOverlap();
};

void TestFlatColors::greys_data()
{
    QTest::addColumn<int>("v");
    QTest::addColumn<int>("scaledLightness");
    QTest::newRow("black") << 0 << 0;
    QTest::newRow("grey 128") << 128 << 120;  // 120.47
    QTest::newRow("grey 192") << 192 << 181;  // 180.71
    QTest::newRow("white") << 255 << 240;
}

void TestFlatColors::greys()
{
    QFETCH(int, v);
    QFETCH(int, scaledLightness);
    const HslColor hsl = RgbToHsl(TColor::fromRgb(v, v, v));
    QCOMPARE(hsl.hue, 0.0);
    QCOMPARE(hsl.saturation, 0.0);
    QCOMPARE(hsl.lightness, v / 255.0);
    QCOMPARE(RgbToHslScaled(TColor::fromRgb(v, v, v)), (HslScaledColor{0, 0, scaledLightness}));
}

void TestFlatColors::greyWhateverTheHue()
{
    for (double hue : {0.0, 0.3, 0.77, 1.0})
        QCOMPARE(HslToRgb(hue, 0, 0.4), TColor::fromRgb(102, 102, 102));
}

void TestFlatColors::primaries_data()
{
    QTest::addColumn<TColor>("color");
    QTest::addColumn<double>("hue");
    QTest::addColumn<int>("scaledHue");
    QTest::newRow("red") << TColor::fromRgb(255, 0, 0) << 0.0 << 0;
    QTest::newRow("green") << TColor::fromRgb(0, 255, 0) << 1.0 / 3 << 80;  // 79.67
    QTest::newRow("blue") << TColor::fromRgb(0, 0, 255) << 2.0 / 3 << 159;  // 159.33
    QTest::newRow("magenta") << TColor::fromRgb(255, 0, 255) << 5.0 / 6 << 199; // negative hue + 1
}

void TestFlatColors::primaries()
{
    QFETCH(TColor, color);
    QFETCH(double, hue);
    QFETCH(int, scaledHue);
    const HslColor hsl = RgbToHsl(color);
    QVERIFY(qFuzzyCompare(hsl.hue + 1, hue + 1));
    QCOMPARE(hsl.saturation, 1.0);
    QCOMPARE(hsl.lightness, 0.5);
    QCOMPARE(RgbToHslScaled(color), (HslScaledColor{scaledHue, 240, 120}));
    QCOMPARE(HslToRgb(hsl.hue, hsl.saturation, hsl.lightness), color);
}

void TestFlatColors::roundsHalfToEven_data()
{
    QTest::addColumn<double>("channelTimes255");
    QTest::addColumn<int>("expected");
    QTest::newRow("127.5") << 127.5 << 128;
    QTest::newRow("2.5") << 2.5 << 2;
    QTest::newRow("1.5") << 1.5 << 2;
    QTest::newRow("212.5") << 212.5 << 212;
}

void TestFlatColors::roundsHalfToEven()
{
    QFETCH(double, channelTimes255);
    QFETCH(int, expected);
    const double lightness = channelTimes255 / 255;
    QCOMPARE(lightness * 255, channelTimes255); // the half really reaches the rounding
    QCOMPARE(HslToRgb(0, 0, lightness), TColor::fromRgb(expected, expected, expected));
}

void TestFlatColors::derive_data()
{
    QTest::addColumn<TColor>("base");
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("direction");
    QTest::addColumn<TColor>("expected");
    const int lighten = int(ShadeDirection::Lighten);
    const int darken = int(ShadeDirection::Darken);
    // 240 + 10 - 50 = 200, grey 212.5 rounded to even.
    QTest::newRow("white darkened by 50") << clWhite << 50 << darken << TColor::fromRgb(212, 212, 212);
    // 240 + 10 + 10 = 260, kept at 240: lightening never darkens.
    QTest::newRow("white lightened by 10 stays white") << clWhite << 10 << lighten << clWhite;
    // 240 + 10 - 5 = 245, kept at 240: no channel overflows.
    QTest::newRow("white darkened by 5 stays white") << clWhite << 5 << darken << clWhite;
    QTest::newRow("black darkened by 50 stays black") << clBlack << 50 << darken << clBlack;
    // 0 + 10 + 20 = 30 -> 31.875 -> 32.
    QTest::newRow("black lightened by 20") << clBlack << 20 << lighten << TColor::fromRgb(32, 32, 32);
    // Percent above 100 counts as 100: 0 + 10 + 100 = 110 -> 116.875 -> 117.
    QTest::newRow("percent limited to 100") << clBlack << 250 << lighten << TColor::fromRgb(117, 117, 117);
}

void TestFlatColors::derive()
{
    QFETCH(TColor, base);
    QFETCH(int, percent);
    QFETCH(int, direction);
    QFETCH(TColor, expected);
    const TColor fallback = 0x123456;
    QCOMPARE(DeriveAdvancedColor(base, fallback, percent, ShadeDirection(direction)), expected);
    // Percent 0 returns the fallback, not the base.
    QCOMPARE(DeriveAdvancedColor(base, fallback, 0, ShadeDirection(direction)), fallback);
}

void TestFlatColors::lighteningNeverDarkens()
{
    for (int r = 0; r < 256; r += 51)
        for (int g = 0; g < 256; g += 51)
            for (int b = 0; b < 256; b += 51)
                for (int percent : {1, 10, 50, 100}) {
                    const TColor base = TColor::fromRgb(r, g, b);
                    const int l = RgbToHslScaled(base).lightness;
                    const int lighter = RgbToHslScaled(
                        DeriveAdvancedColor(base, clBlack, percent, ShadeDirection::Lighten)).lightness;
                    const int darker = RgbToHslScaled(
                        DeriveAdvancedColor(base, clBlack, percent, ShadeDirection::Darken)).lightness;
                    QVERIFY2(lighter >= l,
                             qPrintable(QStringLiteral("%1 %2 %3 +%4").arg(r).arg(g).arg(b).arg(percent)));
                    QVERIFY(lighter <= HslScale && darker >= 0);
                    QVERIFY(darker <= std::min(l + 10, HslScale) + 1);
                }
}

void TestFlatColors::realRoundTripIsExact()
{
    for (int r = 0; r < 256; r += 5)
        for (int g = 0; g < 256; g += 5)
            for (int b = 0; b < 256; b += 5) {
                const TColor c = TColor::fromRgb(r, g, b);
                const HslColor hsl = RgbToHsl(c);
                if (!(HslToRgb(hsl.hue, hsl.saturation, hsl.lightness) == c))
                    QFAIL(qPrintable(QStringLiteral("(%1, %2, %3)").arg(r).arg(g).arg(b)));
            }
}

void TestFlatColors::scaledRoundTripWithinOneStep()
{
    // Half a step of hue moves a channel by up to 255 * 6 / 239 / 2 = 3.2, half a
    // step of saturation or lightness by 0.53 each: at most 4 after rounding.
    for (int r = 0; r < 256; r += 5)
        for (int g = 0; g < 256; g += 5)
            for (int b = 0; b < 256; b += 5) {
                const TColor c = TColor::fromRgb(r, g, b);
                const HslScaledColor s = RgbToHslScaled(c);
                QVERIFY(s.hue >= 0 && s.hue <= HslScale - 1);
                QVERIFY(s.saturation >= 0 && s.saturation <= HslScale);
                QVERIFY(s.lightness >= 0 && s.lightness <= HslScale);
                const TColor back = HslScaledToRgb(s.hue, s.saturation, s.lightness);
                const int worst = std::max({std::abs(back.red() - r), std::abs(back.green() - g),
                                            std::abs(back.blue() - b)});
                const int dl = std::abs(RgbToHslScaled(back).lightness - s.lightness);
                if (worst > 4 || dl > 1)
                    QFAIL(qPrintable(QStringLiteral("(%1, %2, %3): channel off by %4, lightness by %5")
                                         .arg(r).arg(g).arg(b).arg(worst).arg(dl)));
            }
}

void TestFlatColors::systemColoursFollowThePalette()
{
    const QPalette saved = QApplication::palette();
    QPalette pal = saved;
    pal.setColor(QPalette::Base, QColor(1, 2, 3));
    pal.setColor(QPalette::Highlight, QColor(10, 20, 30));
    pal.setColor(QPalette::ToolTipBase, QColor(40, 50, 60));
    pal.setColor(QPalette::Text, QColor(70, 80, 90));
    QApplication::setPalette(pal);
    QCOMPARE(clWindow.toRgb(), TColor::fromRgb(1, 2, 3));
    QCOMPARE(clHighlight.toQColor(), QColor(10, 20, 30));
    QCOMPARE(clInfoBk.toRgb(), TColor::fromRgb(40, 50, 60));
    QCOMPARE(clWindowText.toRgb(), TColor::fromRgb(70, 80, 90));
    QVERIFY(clWindow.isSystem() && !clWhite.isSystem());
    // The arithmetic resolves a system colour first.
    QCOMPARE(RgbToHslScaled(clWindow), RgbToHslScaled(TColor::fromRgb(1, 2, 3)));
    QApplication::setPalette(saved);

    QCOMPARE(TColor(16771538).toQColor(), QColor(210, 233, 255));
    QCOMPARE(TColor::fromQColor(QColor(160, 150, 131)).value(), 0x8396A0u);
}

void TestFlatColors::rectsOverlap_data()
{
    QTest::addColumn<QRect>("a");
    QTest::addColumn<QRect>("b");
    QTest::addColumn<bool>("overlap");
    QTest::newRow("shared pixel") << QRect(0, 0, 10, 10) << QRect(9, 9, 5, 5) << true;
    QTest::newRow("touching edges") << QRect(0, 0, 10, 10) << QRect(10, 0, 5, 5) << false;
    QTest::newRow("empty") << QRect(0, 0, 10, 10) << QRect(2, 2, 0, 5) << false;
    QTest::newRow("inside") << QRect(0, 0, 10, 10) << QRect(2, 2, 2, 2) << true;
}

void TestFlatColors::rectsOverlap()
{
    QFETCH(QRect, a);
    QFETCH(QRect, b);
    QFETCH(bool, overlap);
    QCOMPARE(RectsOverlap(a, b), overlap);
    QCOMPARE(RectsOverlap(b, a), overlap);
}

QTEST_MAIN(TestFlatColors)
#include "tst_flatcolors.moc"
