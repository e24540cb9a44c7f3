#include "controls/flat/flatcombobox.h"

#include "controls/flat/flatcolors.h"
#include "controls/flat/flatpaint.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QStyledItemDelegate>

namespace {
constexpr int DefaultItemHeight = 13;
}

// Rows of the open list: ItemHeight high, on the combo's Color, the current row in
// the highlight colours.
class FlatComboDelegate : public QStyledItemDelegate {
public:
    explicit FlatComboDelegate(TFlatComboBox *combo)
        : QStyledItemDelegate(combo), m_combo(combo)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width(), m_combo->itemHeight()};
    }

    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        const bool enabled = option.state & QStyle::State_Enabled;
        p->fillRect(option.rect, selected ? clHighlight.toQColor() : m_combo->color().toQColor());
        p->setFont(option.font);
        p->setPen(selected ? clHighlightText.toQColor()
                           : (enabled ? clWindowText.toQColor() : clGrayText.toQColor()));
        const QRect text = option.rect.adjusted(2, 0, -2, 0);
        p->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                    option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                                  Qt::ElideRight, text.width()));
    }

private:
    TFlatComboBox *m_combo;
};

TFlatComboBox::TFlatComboBox(QWidget *parent)
    : QComboBox(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_systemButtonWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    setMaxVisibleItems(8);
    m_delegate = new FlatComboDelegate(this);
    setItemDelegate(m_delegate);
    setComboStyle(csDropDown);
    watchParent();
    watchPopup();
    applyColour();
}

bool TFlatComboBox::isListStyle() const
{
    return m_style == csDropDownList || m_style == csOwnerDrawFixed || m_style == csOwnerDrawVariable;
}

void TFlatComboBox::setComboStyle(TComboBoxStyle style)
{
    m_style = style;
    const bool editable = style == csDropDown || style == csSimple;
    if (editable != isEditable())
        setEditable(editable);
    if (itemDelegate() != m_delegate)
        setItemDelegate(m_delegate);
    prepareInnerEdit();
    update();
}

void TFlatComboBox::setColor(TColor color)
{
    m_color = color;
    applyColour();
    update();
}

void TFlatComboBox::setColorArrow(TColor color)
{
    m_colorArrow = color;
    update();
}

void TFlatComboBox::setColorArrowBackground(TColor color)
{
    m_colorArrowBackground = color;
    update();
}

void TFlatComboBox::setColorBorder(TColor color)
{
    m_colorBorder = color;
    update();
}

void TFlatComboBox::setUseAdvColors(bool on)
{
    if (on == m_useAdvColors)
        return;
    m_useAdvColors = on;
    UpdateAdvancedColors();
    update();
}

void TFlatComboBox::setAdvColorBorder(int percent)
{
    m_advColorBorder = std::clamp(percent, 0, 100);
    UpdateAdvancedColors();
    update();
}

void TFlatComboBox::setAdvColorArrowBackground(int percent)
{
    m_advColorArrowBackground = std::clamp(percent, 0, 100);
    UpdateAdvancedColors();
    update();
}

void TFlatComboBox::UpdateAdvancedColors()
{
    if (!m_useAdvColors)
        return;
    const TColor base = parentsColour();
    m_colorBorder = DeriveAdvancedColor(base, m_colorBorder, m_advColorBorder, ShadeDirection::Darken);
    m_colorArrowBackground = DeriveAdvancedColor(base, m_colorArrowBackground,
                                                 m_advColorArrowBackground, ShadeDirection::Darken);
}

void TFlatComboBox::setItemHeight(int height)
{
    m_itemHeight = std::max(1, height);
    if (view())
        view()->doItemsLayout();
    updateGeometry();
}

QRect TFlatComboBox::ButtonRect() const
{
    const int left = clientWidth() - m_buttonWidth - 1;
    return {left, 0, (width() - 1) - left, height()};
}

QRect TFlatComboBox::drawnButtonRect() const
{
    return ButtonRect().adjusted(-1, 0, 1, 0);
}

QSize TFlatComboBox::sizeHint() const
{
    return {QComboBox::sizeHint().width(), m_itemHeight + 8};
}

QSize TFlatComboBox::minimumSizeHint() const
{
    return {QComboBox::minimumSizeHint().width(), m_itemHeight + 8};
}

// Drawing. Rectangles follow the Windows convention (frames inside, right and
// bottom edges excluded); CW, the client width, is the whole width because the
// border is painted inside the widget.

void TFlatComboBox::DrawFrame(QPainter &p) const
{
    QRect r(0, 0, width() - (m_buttonWidth + 1), height());
    const QColor colour = m_color.toQColor();
    flatpaint::frameRect(p, r, m_colorBorder.toQColor());
    r.adjust(1, 1, -1, -1);
    flatpaint::frameRect(p, r, colour);
    r.adjust(1, 1, -1, -1);
    flatpaint::frameRect(p, r, colour);
}

void TFlatComboBox::DrawButton(QPainter &p) const
{
    const QRect b = drawnButtonRect();
    p.fillRect(b, m_colorArrowBackground.toQColor());
    flatpaint::frameRect(p, b, m_colorBorder.toQColor());

    const int x = b.left() + b.width() / 2 - 6;
    const int y = b.top() + b.height() / 2 - 1;
    const bool up = m_droppedDown;
    // A 5-3-1 pixel triangle with its wide row at the top (down) or bottom (up).
    auto triangle = [&](int ox, int oy, const QColor &c) {
        for (int i = 0; i < 3; ++i)
            p.fillRect(QRect(ox + 4 + i, up ? oy + 2 - i : oy + i, 5 - 2 * i, 1), c);
    };
    if (isEnabled()) {
        triangle(x, y, m_colorArrow.toQColor());
    } else {
        triangle(x + 1, y + 1, QColor(0xFF, 0xFF, 0xFF));
        triangle(x, y, QColor(0x80, 0x80, 0x80));
    }
}

void TFlatComboBox::DrawFocusArea(QPainter &p) const
{
    const int cw = clientWidth();
    const int right = cw - 2;
    const bool focused = hasFocus() && !m_droppedDown;
    const QRect strip(right - m_buttonWidth - 8, 3, 5, height() - 6);
    p.fillRect(strip, focused ? clHighlight.toQColor() : m_color.toQColor());
    if (focused) {
        const int frameRight = cw - 3 - (m_buttonWidth + 2);
        flatpaint::frameRect(p, QRect(3, 3, frameRight - 3, height() - 6), clHighlight.toQColor());
    }
}

void TFlatComboBox::RedrawBorders(QPainter &p) const
{
    DrawFrame(p);
    if (m_style != csSimple)
        DrawButton(p);
}

void TFlatComboBox::paintSelectedItem(QPainter &p) const
{
    // The text part of a list style: the selected item, highlighted while the
    // combo has the focus and is closed (the style would not highlight it).
    const int textRight = clientWidth() - 2 - m_buttonWidth - 8;
    const QRect field(3, 3, textRight - 3, height() - 6);
    const bool highlighted = hasFocus() && !m_droppedDown;
    if (highlighted)
        p.fillRect(field, clHighlight.toQColor());
    QColor pen = clWindowText.toQColor();
    if (!isEnabled())
        pen = clGrayText.toQColor();
    else if (highlighted)
        pen = clHighlightText.toQColor();
    p.setPen(pen);
    p.setFont(font());
    const QRect textRect = field.adjusted(2, 0, -1, 0);
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               fontMetrics().elidedText(currentText(), Qt::ElideRight, textRect.width()));
}

void TFlatComboBox::paintEvent(QPaintEvent *e)
{
    applyColour(); // system colours in Color may resolve differently by now
    QPainter p(this);
    QRect area = e->rect();
    area.setRight(std::min(area.right(), width() - m_buttonWidth - 4 - 1));
    p.fillRect(area, m_color.toQColor());
    if (RectsOverlap(e->rect(), ButtonRect()))
        DrawButton(p);
    if (isListStyle())
        paintSelectedItem(p);
    if (m_style == csDropDown && m_droppedDown) {
        const int right = width() - m_buttonWidth - 3;
        flatpaint::frameRect(p, QRect(2, 2, right - 2, height() - 4), clWindowText.toQColor());
    } else if (m_style != csDropDown) {
        DrawFocusArea(p);
    }
    RedrawBorders(p);
}

// State.

void TFlatComboBox::updateActive()
{
    const bool active = m_droppedDown || hasFocus() || (m_innerEdit && m_innerEdit->hasFocus());
    if (active != m_isActive) {
        m_isActive = active;
        update();
    }
}

void TFlatComboBox::setDroppedDown(bool dropped)
{
    if (dropped == m_droppedDown)
        return;
    m_droppedDown = dropped;
    updateActive();
    // The arrow flips and the focus area changes colour.
    update();
}

void TFlatComboBox::showPopup()
{
    watchPopup();
    applyColour();
    QComboBox::showPopup();
    placePopup();
    setDroppedDown(view() && view()->window()->isVisible());
}

void TFlatComboBox::placePopup()
{
    // The list drops below the field (above it when the screen has no room), as a
    // list box does, rather than over the current item.
    QWidget *popup = view() ? view()->window() : nullptr;
    if (!popup || popup == this || !popup->isVisible())
        return;
    QPoint below = mapToGlobal(QPoint(0, height()));
    if (const QScreen *s = screen()) {
        const QRect avail = s->availableGeometry();
        if (below.y() + popup->height() > avail.bottom() + 1)
            below.setY(mapToGlobal(QPoint(0, 0)).y() - popup->height());
        const int maxX = std::max(avail.left(), avail.right() + 1 - popup->width());
        below.setX(std::clamp(below.x(), avail.left(), maxX));
    }
    popup->move(below);
}

void TFlatComboBox::hidePopup()
{
    QComboBox::hidePopup();
    setDroppedDown(false);
}

void TFlatComboBox::focusInEvent(QFocusEvent *e)
{
    QComboBox::focusInEvent(e);
    updateActive();
    if (isListStyle())
        update();
}

void TFlatComboBox::focusOutEvent(QFocusEvent *e)
{
    QComboBox::focusOutEvent(e);
    updateActive();
    if (isListStyle())
        update();
}

void TFlatComboBox::keyPressEvent(QKeyEvent *e)
{
    const QString before = currentText();
    QComboBox::keyPressEvent(e);
    if (isListStyle() && currentText() != before)
        update();
}

void TFlatComboBox::resizeEvent(QResizeEvent *e)
{
    QComboBox::resizeEvent(e);
    placeInnerEdit();
}

void TFlatComboBox::showEvent(QShowEvent *e)
{
    QComboBox::showEvent(e);
    placeInnerEdit();
}

void TFlatComboBox::changeEvent(QEvent *e)
{
    QComboBox::changeEvent(e);
    switch (e->type()) {
    case QEvent::FontChange:
        m_itemHeight = DefaultItemHeight;
        if (view())
            view()->doItemsLayout();
        placeInnerEdit();
        updateGeometry();
        update();
        break;
    case QEvent::StyleChange:
        // The style change hands the list a delegate of the style's own.
        if (itemDelegate() != m_delegate)
            setItemDelegate(m_delegate);
        m_systemButtonWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
        placeInnerEdit();
        update();
        break;
    case QEvent::EnabledChange:
        update();
        break;
    case QEvent::PaletteChange:
        // An application palette change reaches child widgets this way: system
        // colours in Color resolve anew for the inner edit and the list.
        applyColour();
        update();
        break;
    default:
        break;
    }
}

bool TFlatComboBox::event(QEvent *e)
{
    switch (e->type()) {
    case QEvent::ParentChange:
        watchParent();
        break;
    case QEvent::ApplicationPaletteChange: {
        const bool result = QComboBox::event(e);
        applyColour();
        outsideColoursChanged();
        return result;
    }
    default:
        break;
    }
    return QComboBox::event(e);
}

bool TFlatComboBox::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == m_watchedParent && e->type() == QEvent::PaletteChange) {
        outsideColoursChanged();
    } else if (watched == m_watchedPopup) {
        if (e->type() == QEvent::Show)
            setDroppedDown(true);
        else if (e->type() == QEvent::Hide)
            setDroppedDown(false);
    } else if (watched == m_innerEdit) {
        switch (e->type()) {
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            updateActive();
            break;
        case QEvent::Move:
        case QEvent::Resize:
            // Qt places the edit by the style's rules; keep it inside the flat band.
            placeInnerEdit();
            break;
        default:
            break;
        }
    }
    return QComboBox::eventFilter(watched, e);
}

// Colours and children.

void TFlatComboBox::applyColour()
{
    const QColor c = m_color.toQColor();
    auto paint = [&c](QWidget *w) {
        if (!w)
            return;
        QPalette pal = w->palette();
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            pal.setColor(group, QPalette::Base, c);
            pal.setColor(group, QPalette::Window, c);
        }
        w->setPalette(pal);
    };
    paint(m_innerEdit);
    if (view()) {
        paint(view());
        paint(view()->window());
    }
}

void TFlatComboBox::prepareInnerEdit()
{
    QLineEdit *edit = lineEdit();
    if (edit == m_innerEdit)
        return;
    if (m_innerEdit)
        m_innerEdit->removeEventFilter(this);
    m_innerEdit = edit;
    if (edit) {
        edit->setFrame(false);
        edit->installEventFilter(this);
        applyColour();
        placeInnerEdit();
    }
}

void TFlatComboBox::placeInnerEdit()
{
    if (!m_innerEdit)
        return;
    const QRect wanted(3, 3, std::max(0, clientWidth() - m_buttonWidth - 8),
                       std::max(0, height() - 6));
    if (m_innerEdit->geometry() != wanted)
        m_innerEdit->setGeometry(wanted);
}

void TFlatComboBox::watchParent()
{
    flatpaint::watchParent(this, this, m_watchedParent);
}

void TFlatComboBox::watchPopup()
{
    QWidget *popup = view() ? view()->window() : nullptr;
    if (popup == this || popup == m_watchedPopup)
        return;
    if (m_watchedPopup)
        m_watchedPopup->removeEventFilter(this);
    m_watchedPopup = popup;
    if (popup) {
        popup->installEventFilter(this);
        applyColour();
    }
}

TColor TFlatComboBox::parentsColour() const
{
    return flatpaint::parentColour(this, m_color);
}

void TFlatComboBox::outsideColoursChanged()
{
    UpdateAdvancedColors();
    update();
}
