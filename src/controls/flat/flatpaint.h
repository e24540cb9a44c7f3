#pragma once
// Small painting helpers shared by the flat controls. Rectangles follow the
// Windows convention of the original drawing code: a frame of a rectangle lies
// inside it, on its first and last columns and rows.

#include <QColor>
#include <QPainter>
#include <QRect>

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

} // namespace flatpaint
