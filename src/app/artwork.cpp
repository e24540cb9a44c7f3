#include "app/artwork.h"

#include "imaging/thumbnail.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace artwork {
namespace {

constexpr int IconSide = 32;

// A stack of three layers seen at an angle, the top one holding a small picture.
void drawSplit(QPainter &p)
{
    const QColor fills[3] = {QColor(70, 120, 200), QColor(90, 160, 230), QColor(150, 205, 250)};
    for (int i = 0; i < 3; ++i) {
        const qreal y = 18 - i * 6;
        QPainterPath layer;
        layer.moveTo(16, y - 7);
        layer.lineTo(30, y);
        layer.lineTo(16, y + 7);
        layer.lineTo(2, y);
        layer.closeSubpath();
        p.setPen(QPen(QColor(30, 60, 120), 1.2));
        p.setBrush(fills[i]);
        p.drawPath(layer);
    }
    // sun and hill on the top layer
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 210, 60));
    p.drawEllipse(QPointF(13, 6), 2.0, 1.4);
    p.setBrush(QColor(60, 150, 70));
    QPainterPath hill;
    hill.moveTo(12, 9.5);
    hill.lineTo(17, 4.5);
    hill.lineTo(22, 7.5);
    hill.lineTo(16, 11);
    hill.closeSubpath();
    p.drawPath(hill);
}

void drawPage(QPainter &p, const QRectF &r)
{
    const qreal fold = r.width() * 0.3;
    QPainterPath page;
    page.moveTo(r.left(), r.top());
    page.lineTo(r.right() - fold, r.top());
    page.lineTo(r.right(), r.top() + fold);
    page.lineTo(r.right(), r.bottom());
    page.lineTo(r.left(), r.bottom());
    page.closeSubpath();
    p.setPen(QPen(QColor(110, 120, 135), 1.2));
    p.setBrush(Qt::white);
    p.drawPath(page);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(QColor(220, 226, 235));
    p.drawPath(corner);
}

// A page with two green arrows circling each other.
void drawRefresh(QPainter &p)
{
    drawPage(p, QRectF(3.5, 1.5, 20, 27));
    const QColor green(30, 150, 50);
    const QPointF c(20, 20);
    const qreal radius = 7.5;
    p.setBrush(Qt::NoBrush);
    for (int k = 0; k < 2; ++k) {
        const qreal start = k == 0 ? 20 : 200;
        p.setPen(QPen(green, 2.6, Qt::SolidLine, Qt::FlatCap));
        p.drawArc(QRectF(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius),
                  int(start * 16), int(130 * 16));
        // arrow head at the end of the arc
        const qreal end = (start + 130) * M_PI / 180.0;
        const QPointF tip(c.x() + radius * std::cos(end), c.y() - radius * std::sin(end));
        const QPointF dir(-std::sin(end), -std::cos(end)); // tangent, direction of travel
        const QPointF normal(std::cos(end), -std::sin(end));
        QPainterPath head;
        head.moveTo(tip + dir * 4.0);
        head.lineTo(tip + normal * 3.6);
        head.lineTo(tip - normal * 3.6);
        head.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(green);
        p.drawPath(head);
        p.setBrush(Qt::NoBrush);
    }
}

// A closed book with a question mark on its cover.
void drawHelp(QPainter &p)
{
    p.setPen(QPen(QColor(40, 60, 120), 1.2));
    p.setBrush(QColor(245, 240, 225));
    p.drawRoundedRect(QRectF(7.5, 4.5, 20, 25), 1.5, 1.5);
    p.setBrush(QColor(50, 90, 180));
    p.drawRoundedRect(QRectF(4.5, 2.5, 20, 25), 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 60, 140));
    p.drawRect(QRectF(5, 3, 3, 24));
    QFont f;
    f.setPixelSize(18);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(255, 220, 70));
    p.drawText(QRectF(8, 3, 17, 24), Qt::AlignCenter, QStringLiteral("?"));
}

// A round red-and-white emblem with a white "i".
void drawAbout(QPainter &p)
{
    const QPointF c(16, 16);
    p.setPen(QPen(QColor(150, 20, 20), 1.2));
    p.setBrush(QColor(210, 35, 35));
    p.drawEllipse(c, 14, 14);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(c, 10, 10);
    p.setBrush(QColor(210, 35, 35));
    p.drawEllipse(c, 7.5, 7.5);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(16, 12), 1.6, 1.6);
    p.drawRoundedRect(QRectF(14.7, 14.5, 2.6, 7), 1, 1);
}

// An arrow entering an open door.
void drawExit(QPainter &p)
{
    // door frame and the opened leaf
    p.setPen(QPen(QColor(90, 60, 30), 1.2));
    p.setBrush(QColor(60, 45, 35));
    p.drawRect(QRectF(15.5, 2.5, 13, 27));
    QPainterPath leaf;
    leaf.moveTo(15.5, 2.5);
    leaf.lineTo(22.5, 5.5);
    leaf.lineTo(22.5, 31);
    leaf.lineTo(15.5, 29.5);
    leaf.closeSubpath();
    p.setBrush(QColor(190, 130, 70));
    p.drawPath(leaf);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(240, 210, 80));
    p.drawEllipse(QPointF(20.5, 17.5), 1.0, 1.0);
    // the arrow, pointing into the door
    const QColor green(30, 150, 50);
    p.setBrush(green);
    QPainterPath arrow;
    arrow.moveTo(1.5, 14);
    arrow.lineTo(10, 14);
    arrow.lineTo(10, 9.5);
    arrow.lineTo(17, 16.5);
    arrow.lineTo(10, 23.5);
    arrow.lineTo(10, 19);
    arrow.lineTo(1.5, 19);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(20, 100, 35), 1.0));
    p.drawPath(arrow);
}

void drawTool(QPainter &p, Tool tool)
{
    switch (tool) {
    case Tool::Split: drawSplit(p); break;
    case Tool::Refresh: drawRefresh(p); break;
    case Tool::Help: drawHelp(p); break;
    case Tool::About: drawAbout(p); break;
    case Tool::Exit: drawExit(p); break;
    }
}

} // namespace

QImage toolImage(Tool tool, qreal scale)
{
    const int side = int(std::lround(IconSide * scale));
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(scale, scale);
    drawTool(p, tool);
    p.end();
    return image;
}

QIcon toolIcon(Tool tool)
{
    QIcon icon;
    for (qreal scale : {1.0, 1.5, 2.0, 3.0}) {
        QPixmap pm = QPixmap::fromImage(toolImage(tool, scale));
        pm.setDevicePixelRatio(scale);
        icon.addPixmap(pm);
    }
    return icon;
}

QImage windowIconImage(int side)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(side / 32.0, side / 32.0);
    // a film frame split into pieces: the layer stack on a rounded tile
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(210, 233, 255));
    p.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 6, 6);
    p.translate(0, 4);
    drawSplit(p);
    p.end();
    return image;
}

QIcon windowIcon()
{
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(windowIconImage(side)));
    return icon;
}

QImage placeholderPicture()
{
    QImage image(ThumbnailSize, ThumbnailSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // a 36 × 46 picture document: a page with a folded corner holding a landscape
    const QRectF page(42.5, 37.5, 35, 45);
    drawPage(p, page);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(140, 190, 240));
    const QRectF sky(47, 52, 26, 20);
    p.drawRect(sky);
    p.setBrush(QColor(255, 205, 60));
    p.drawEllipse(QPointF(53, 57), 3, 3);
    p.setBrush(QColor(70, 150, 80));
    QPainterPath hills;
    hills.moveTo(47, 72);
    hills.lineTo(55, 63);
    hills.lineTo(61, 68);
    hills.lineTo(66, 62);
    hills.lineTo(73, 72);
    hills.closeSubpath();
    p.drawPath(hills);
    p.end();
    return image;
}

} // namespace artwork
