#include "controls/flat/flatedit.h"

#include "controls/flat/flatcolors.h"
#include "controls/flat/flatpaint.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QPainter>

namespace {
constexpr int BorderBand = 3;
}

TCustomFlatEdit::TCustomFlatEdit(QWidget *parent)
    : QLineEdit(parent)
{
    // No frame of the style's own: the band around the text is ours.
    setFrame(false);
    setContentsMargins(BorderBand, BorderBand, BorderBand, BorderBand);
    setGeometry(0, 0, 121, 19);
    watchParent();
    RedrawBorder();
}

void TCustomFlatEdit::setColorFocused(TColor color)
{
    m_colorFocused = color;
    RedrawBorder();
}

void TCustomFlatEdit::setColorBorder(TColor color)
{
    m_colorBorder = color;
    RedrawBorder();
}

void TCustomFlatEdit::setColorFlat(TColor color)
{
    m_colorFlat = color;
    m_parentColor = false;
    RedrawBorder();
}

void TCustomFlatEdit::setParentColor(bool on)
{
    if (on == m_parentColor)
        return;
    m_parentColor = on;
    if (on) {
        if (parentWidget())
            m_colorFlat = parentsColour();
        RedrawBorder();
    }
}

void TCustomFlatEdit::setUseAdvColors(bool on)
{
    if (on == m_useAdvColors)
        return;
    m_useAdvColors = on;
    setParentColor(on);
    UpdateAdvancedColors();
    RedrawBorder();
}

void TCustomFlatEdit::setAdvColorFocused(int percent)
{
    m_advColorFocused = std::clamp(percent, 0, 100);
    if (m_useAdvColors) {
        UpdateAdvancedColors();
        RedrawBorder();
    }
}

void TCustomFlatEdit::setAdvColorBorder(int percent)
{
    m_advColorBorder = std::clamp(percent, 0, 100);
    if (m_useAdvColors) {
        UpdateAdvancedColors();
        RedrawBorder();
    }
}

void TCustomFlatEdit::UpdateAdvancedColors()
{
    if (!m_useAdvColors)
        return;
    m_colorFocused = DeriveAdvancedColor(m_colorFlat, m_colorFocused, m_advColorFocused,
                                         ShadeDirection::Lighten);
    m_colorBorder = DeriveAdvancedColor(m_colorFlat, m_colorBorder, m_advColorBorder,
                                        ShadeDirection::Darken);
}

void TCustomFlatEdit::RedrawBorder()
{
    bool focusedLook;
    if (hasFocus())
        focusedLook = true;
    else if (!m_mouseInControl)
        focusedLook = false;
    else // Hovering keeps the flat look while another flat edit holds the focus.
        focusedLook = qobject_cast<TFlatEdit *>(QApplication::focusWidget()) == nullptr;
    m_lookColor = focusedLook ? m_colorFocused : m_colorFlat;
    applyBackground();
    update();
}

void TCustomFlatEdit::applyBackground()
{
    // Every colour group, so a disabled or inactive edit keeps the look's background
    // instead of the style's grey.
    const QColor c = m_lookColor.toQColor();
    QPalette pal = palette();
    bool changed = false;
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        for (auto role : {QPalette::Base, QPalette::Window}) {
            if (pal.color(group, role) != c || !pal.isBrushSet(group, role)) {
                pal.setColor(group, role, c);
                changed = true;
            }
        }
    }
    if (changed)
        setPalette(pal);
}

void TCustomFlatEdit::AdjustHeight()
{
    const QFontMetrics fm(font());
    resize(width(), fm.height() + 2 * BorderBand);
}

QSize TCustomFlatEdit::sizeHint() const
{
    return {QLineEdit::sizeHint().width(), QFontMetrics(font()).height() + 2 * BorderBand};
}

QSize TCustomFlatEdit::minimumSizeHint() const
{
    return {QLineEdit::minimumSizeHint().width(), QFontMetrics(font()).height() + 2 * BorderBand};
}

TColor TCustomFlatEdit::parentsColour() const
{
    return flatpaint::parentColour(this, m_colorFlat);
}

void TCustomFlatEdit::outsideColoursChanged()
{
    if (m_useAdvColors) {
        m_colorFlat = parentsColour();
        UpdateAdvancedColors();
    } else if (m_parentColor) {
        m_colorFlat = parentsColour();
    }
    RedrawBorder();
}

void TCustomFlatEdit::watchParent()
{
    flatpaint::watchParent(this, this, m_watchedParent);
}

bool TCustomFlatEdit::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == m_watchedParent && e->type() == QEvent::PaletteChange)
        outsideColoursChanged();
    return QLineEdit::eventFilter(watched, e);
}

bool TCustomFlatEdit::event(QEvent *e)
{
    switch (e->type()) {
    case QEvent::ParentChange:
        watchParent();
        break;
    case QEvent::ApplicationPaletteChange: {
        const bool result = QLineEdit::event(e);
        outsideColoursChanged();
        return result;
    }
    case QEvent::Polish: {
        // The owner has placed the edit by now; its stored height gives way.
        const bool result = QLineEdit::event(e);
        AdjustHeight();
        return result;
    }
    default:
        break;
    }
    return QLineEdit::event(e);
}

void TCustomFlatEdit::paintEvent(QPaintEvent *e)
{
    // A system colour may resolve differently by now (palette changes reach child
    // widgets later); the text area QLineEdit paints must match the ring.
    applyBackground();
    const QColor look = m_lookColor.toQColor();
    {
        QPainter p(this);
        p.fillRect(rect(), look);
    }
    QLineEdit::paintEvent(e);
    QPainter p(this);
    const QRect r = rect();
    flatpaint::frameRect(p, r, m_colorBorder.toQColor());
    flatpaint::frameRect(p, r.adjusted(1, 1, -1, -1), look);
    flatpaint::frameRect(p, r.adjusted(2, 2, -2, -2), look);
}

void TCustomFlatEdit::enterEvent(QEnterEvent *e)
{
    QLineEdit::enterEvent(e);
    if (QApplication::activeWindow()) {
        m_mouseInControl = true;
        RedrawBorder();
    }
}

void TCustomFlatEdit::leaveEvent(QEvent *e)
{
    QLineEdit::leaveEvent(e);
    m_mouseInControl = false;
    RedrawBorder();
}

void TCustomFlatEdit::focusInEvent(QFocusEvent *e)
{
    QLineEdit::focusInEvent(e);
    RedrawBorder();
}

void TCustomFlatEdit::focusOutEvent(QFocusEvent *e)
{
    QLineEdit::focusOutEvent(e);
    RedrawBorder();
}

void TCustomFlatEdit::changeEvent(QEvent *e)
{
    QLineEdit::changeEvent(e);
    switch (e->type()) {
    case QEvent::EnabledChange:
        RedrawBorder();
        break;
    case QEvent::PaletteChange:
        // An application palette change reaches child widgets this way; a system
        // colour in the look resolves anew (no change when it was our own).
        RedrawBorder();
        break;
    case QEvent::FontChange:
        AdjustHeight();
        break;
    default:
        break;
    }
}
