#include "controls/flat/tcolor.h"

#include <QGuiApplication>
#include <QPalette>

namespace {

struct SystemRole {
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// Which palette entry stands for each system colour; indexes without one are black.
bool systemRole(quint32 index, SystemRole &out)
{
    using P = QPalette;
    switch (index) {
    case 0: out = {P::Active, P::Mid}; return true;                 // clScrollBar
    case 1: out = {P::Active, P::Window}; return true;              // clBackground
    case 2: out = {P::Active, P::Highlight}; return true;           // clActiveCaption
    case 3: out = {P::Inactive, P::Mid}; return true;               // clInactiveCaption
    case 4: out = {P::Active, P::Window}; return true;              // clMenu
    case 5: out = {P::Active, P::Base}; return true;                // clWindow
    case 6: out = {P::Active, P::Shadow}; return true;              // clWindowFrame
    case 7: out = {P::Active, P::WindowText}; return true;          // clMenuText
    case 8: out = {P::Active, P::Text}; return true;                // clWindowText
    case 9: out = {P::Active, P::HighlightedText}; return true;     // clCaptionText
    case 10: out = {P::Active, P::Button}; return true;             // clActiveBorder
    case 11: out = {P::Inactive, P::Button}; return true;           // clInactiveBorder
    case 12: out = {P::Active, P::Dark}; return true;               // clAppWorkSpace
    case 13: out = {P::Active, P::Highlight}; return true;          // clHighlight
    case 14: out = {P::Active, P::HighlightedText}; return true;    // clHighlightText
    case 15: out = {P::Active, P::Button}; return true;             // clBtnFace
    case 16: out = {P::Active, P::Dark}; return true;               // clBtnShadow
    case 17: out = {P::Disabled, P::Text}; return true;             // clGrayText
    case 18: out = {P::Active, P::ButtonText}; return true;         // clBtnText
    case 19: out = {P::Inactive, P::WindowText}; return true;       // clInactiveCaptionText
    case 20: out = {P::Active, P::Light}; return true;              // clBtnHighlight
    case 21: out = {P::Active, P::Shadow}; return true;             // cl3DDkShadow
    case 22: out = {P::Active, P::Midlight}; return true;           // cl3DLight
    case 23: out = {P::Active, P::ToolTipText}; return true;        // clInfoText
    case 24: out = {P::Active, P::ToolTipBase}; return true;        // clInfoBk
    default: return false;
    }
}

} // namespace

TColor TColor::toRgb() const
{
    if (!isSystem())
        return TColor(v & 0x00FFFFFFu);
    SystemRole r{};
    if (!systemRole(v & 0xFFu, r))
        return TColor(0);
    return fromQColor(QGuiApplication::palette().color(r.group, r.role));
}

QColor TColor::toQColor() const
{
    const quint32 rgb = toRgb().v;
    return QColor(int(rgb & 0xFF), int((rgb >> 8) & 0xFF), int((rgb >> 16) & 0xFF));
}
