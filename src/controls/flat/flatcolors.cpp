#include "controls/flat/flatcolors.h"

#include <algorithm>
#include <cmath>

namespace {

// Every real-to-integer conversion here rounds half to even (the default
// floating-point rounding mode), not away from zero as qRound does.
int roundEven(double v)
{
    return int(std::lrint(v));
}

int toByte(double v)
{
    return std::clamp(roundEven(v * 255.0), 0, 255);
}

double channel(double m1, double m2, double x)
{
    if (x < 0)
        x += 1;
    else if (x > 1)
        x -= 1;
    if (6 * x < 1)
        return m1 + (m2 - m1) * x * 6;
    if (2 * x < 1)
        return m2;
    if (3 * x < 2)
        return m1 + (m2 - m1) * (2.0 / 3.0 - x) * 6;
    return m1;
}

} // namespace

HslColor RgbToHsl(TColor color)
{
    const TColor rgb = color.toRgb();
    const double r = rgb.red() / 255.0;
    const double g = rgb.green() / 255.0;
    const double b = rgb.blue() / 255.0;
    const double mx = std::max({r, g, b});
    const double mn = std::min({r, g, b});
    HslColor out;
    out.lightness = (mx + mn) / 2;
    if (mx == mn)
        return out;
    const double delta = mx - mn;
    out.saturation = out.lightness < 0.5 ? delta / (mx + mn) : delta / (2 - mx - mn);
    double h;
    if (mx == r)
        h = (g - b) / delta;
    else if (mx == g)
        h = 2 + (b - r) / delta;
    else
        h = 4 + (r - g) / delta;
    h /= 6;
    if (h < 0)
        h += 1;
    out.hue = h;
    return out;
}

TColor HslToRgb(double hue, double saturation, double lightness)
{
    if (saturation == 0) {
        const int v = toByte(lightness);
        return TColor::fromRgb(v, v, v);
    }
    const double m2 = lightness <= 0.5 ? lightness * (1 + saturation)
                                       : lightness + saturation - lightness * saturation;
    const double m1 = 2 * lightness - m2;
    return TColor::fromRgb(toByte(channel(m1, m2, hue + 1.0 / 3.0)),
                           toByte(channel(m1, m2, hue)),
                           toByte(channel(m1, m2, hue - 1.0 / 3.0)));
}

HslScaledColor RgbToHslScaled(TColor color)
{
    const HslColor hsl = RgbToHsl(color);
    return {roundEven(hsl.hue * (HslScale - 1)), roundEven(hsl.saturation * HslScale),
            roundEven(hsl.lightness * HslScale)};
}

TColor HslScaledToRgb(int hue, int saturation, int lightness)
{
    return HslToRgb(double(hue) / (HslScale - 1), double(saturation) / HslScale,
                    double(lightness) / HslScale);
}

TColor DeriveAdvancedColor(TColor base, TColor fallback, int percent, ShadeDirection direction)
{
    if (percent <= 0)
        return fallback;
    percent = std::min(percent, 100);
    const HslScaledColor hsl = RgbToHslScaled(base);
    int lightness = hsl.lightness + 10;
    lightness += direction == ShadeDirection::Lighten ? percent : -percent;
    // Kept on the lightness scale both ways: lightening never darkens, and a light
    // colour darkened by less than 10 cannot overflow a channel.
    lightness = std::clamp(lightness, 0, HslScale);
    return HslScaledToRgb(hsl.hue, hsl.saturation, lightness);
}

bool RectsOverlap(const QRect &a, const QRect &b)
{
    // QRect::intersects treats a zero-width rectangle as a line, not as empty.
    return !a.isEmpty() && !b.isEmpty() && a.intersects(b);
}
