#pragma once
// TColor: the controls' colour value. An RGB colour is stored with red in the low
// byte (0x00BBGGRR); a value with the high byte 0xFF names a system colour, which is
// resolved through the application palette whenever it is used, so the controls
// follow palette changes. Plain value type, cheap to copy; resolving reads the
// application palette and therefore belongs to the GUI thread.

#include <QColor>
#include <QtGlobal>

class TColor {
public:
    constexpr TColor() = default;
    constexpr TColor(quint32 value) : v(value) {} // NOLINT: colours are written as numbers

    static constexpr TColor fromRgb(int r, int g, int b)
    {
        return TColor(quint32(r & 0xFF) | (quint32(g & 0xFF) << 8) | (quint32(b & 0xFF) << 16));
    }
    // Alpha is dropped: controls paint opaque colours.
    static TColor fromQColor(const QColor &c) { return fromRgb(c.red(), c.green(), c.blue()); }

    constexpr quint32 value() const { return v; }
    constexpr bool isSystem() const { return (v & 0xFF000000u) == 0xFF000000u; }

    // The RGB value (0x00BBGGRR) with a system colour resolved; an unknown system
    // colour resolves to black.
    TColor toRgb() const;
    QColor toQColor() const;

    int red() const { return int(toRgb().v & 0xFF); }
    int green() const { return int((toRgb().v >> 8) & 0xFF); }
    int blue() const { return int((toRgb().v >> 16) & 0xFF); }

    friend constexpr bool operator==(TColor a, TColor b) { return a.v == b.v; }

private:
    quint32 v = 0;
};

namespace tcolor_detail {
constexpr TColor sys(quint32 index) { return TColor(0xFF000000u | index); }
}

// Plain colours.
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clWhite = 0xFFFFFF;

// System colours (index in the low byte).
inline constexpr TColor clScrollBar = tcolor_detail::sys(0);
inline constexpr TColor clBackground = tcolor_detail::sys(1);
inline constexpr TColor clActiveCaption = tcolor_detail::sys(2);
inline constexpr TColor clInactiveCaption = tcolor_detail::sys(3);
inline constexpr TColor clMenu = tcolor_detail::sys(4);
inline constexpr TColor clWindow = tcolor_detail::sys(5);
inline constexpr TColor clWindowFrame = tcolor_detail::sys(6);
inline constexpr TColor clMenuText = tcolor_detail::sys(7);
inline constexpr TColor clWindowText = tcolor_detail::sys(8);
inline constexpr TColor clCaptionText = tcolor_detail::sys(9);
inline constexpr TColor clActiveBorder = tcolor_detail::sys(10);
inline constexpr TColor clInactiveBorder = tcolor_detail::sys(11);
inline constexpr TColor clAppWorkSpace = tcolor_detail::sys(12);
inline constexpr TColor clHighlight = tcolor_detail::sys(13);
inline constexpr TColor clHighlightText = tcolor_detail::sys(14);
inline constexpr TColor clBtnFace = tcolor_detail::sys(15);
inline constexpr TColor clBtnShadow = tcolor_detail::sys(16);
inline constexpr TColor clGrayText = tcolor_detail::sys(17);
inline constexpr TColor clBtnText = tcolor_detail::sys(18);
inline constexpr TColor clInactiveCaptionText = tcolor_detail::sys(19);
inline constexpr TColor clBtnHighlight = tcolor_detail::sys(20);
inline constexpr TColor cl3DDkShadow = tcolor_detail::sys(21);
inline constexpr TColor cl3DLight = tcolor_detail::sys(22);
inline constexpr TColor clInfoText = tcolor_detail::sys(23);
inline constexpr TColor clInfoBk = tcolor_detail::sys(24);
