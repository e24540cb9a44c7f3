#pragma once
// Colour arithmetic of the flat controls: RGB <-> hue/saturation/lightness, the
// scaled integer form of it, the derivation of lighter or darker shades (the
// "advanced colours") and a rectangle test used when painting. Pure functions;
// system colours are resolved through the application palette first, so call them
// on the GUI thread when passing one.

#include "controls/flat/tcolor.h"

#include <QRect>

// Scale of the integer HSL form: hue runs 0 .. HslScale - 1, saturation and
// lightness 0 .. HslScale.
inline constexpr int HslScale = 240;

enum class ShadeDirection { Lighten, Darken };

// Hue, saturation and lightness each in 0 .. 1.
struct HslColor {
    double hue = 0;
    double saturation = 0;
    double lightness = 0;
};

struct HslScaledColor {
    int hue = 0;
    int saturation = 0;
    int lightness = 0;
    friend bool operator==(const HslScaledColor &, const HslScaledColor &) = default;
};

HslColor RgbToHsl(TColor color);
TColor HslToRgb(double hue, double saturation, double lightness);
HslScaledColor RgbToHslScaled(TColor color);
TColor HslScaledToRgb(int hue, int saturation, int lightness);

// A shade of `base`: its lightness plus 10, then plus (Lighten) or minus (Darken)
// `percent` lightness steps, kept within 0 .. HslScale. Percent 0 (or less) returns
// `fallback` unchanged; percent is limited to 100.
TColor DeriveAdvancedColor(TColor base, TColor fallback, int percent, ShadeDirection direction);

// True when the two rectangles share at least one pixel.
bool RectsOverlap(const QRect &a, const QRect &b);
