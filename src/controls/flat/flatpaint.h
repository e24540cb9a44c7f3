#pragma once
// Small helpers shared by the flat controls: painting, and following the
// parent's colour. Rectangles follow the Windows convention of the original
// drawing code: a frame of a rectangle lies inside it, on its first and last
// columns and rows. GUI thread only.

#include <QColor>
#include <QPainter>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include "controls/flat/tcolor.h"

namespace flatpaint {

// A one-pixel frame along the inside edge of r.
inline void frameRect(QPainter &p, const QRect &r, const QColor &c)
{
    if (r.width() <= 0 || r.height() <= 0)
        return;
    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), c);
    p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), c);
    p.fillRect(QRect(r.left(), r.top(), 1, r.height()), c);
    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), c);
}

// The colour of `w`'s parent, or `fallback` without a parent. The parent's own
// colour, not the group it happens to paint with now (disabled, inactive
// window, a popup open).
inline TColor parentColour(const QWidget *w, TColor fallback)
{
    const QWidget *p = w->parentWidget();
    if (!p)
        return fallback;
    return TColor::fromQColor(p->palette().color(QPalette::Active, p->backgroundRole()));
}

// Moves `filter`'s event filter to `w`'s current parent, so that the control
// hears of the parent's palette changes; `watched` remembers the parent.
inline void watchParent(QWidget *w, QObject *filter, QPointer<QWidget> &watched)
{
    if (watched == w->parentWidget())
        return;
    if (watched)
        watched->removeEventFilter(filter);
    watched = w->parentWidget();
    if (watched)
        watched->installEventFilter(filter);
}

} // namespace flatpaint
