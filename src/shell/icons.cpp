#include "shell/icons.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <array>

namespace shell {
namespace {

// A simple drawn picture for one icon, at a given size.
QImage drawFallback(int index, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    const QColor folderFill(240, 196, 80);
    const QColor outline(120, 90, 30);
    switch (index) {
    case IconFolder:
    case IconFolderOpen:
    case IconHome:
    case IconDesktop: {
        p.setPen(QPen(outline, 0.8));
        p.setBrush(folderFill.darker(110));
        p.drawRoundedRect(QRectF(1.5, 3.5, 6, 3), 1, 1);
        p.setBrush(folderFill);
        if (index == IconFolderOpen) {
            QPainterPath path;
            path.moveTo(1.5, 13.5);
            path.lineTo(3.5, 6.5);
            path.lineTo(15, 6.5);
            path.lineTo(13, 13.5);
            path.closeSubpath();
            p.drawPath(path);
        } else {
            p.drawRoundedRect(QRectF(1.5, 5, 13, 8.5), 1, 1);
        }
        if (index == IconHome) {
            p.setBrush(Qt::white);
            p.drawPolygon(QPolygonF({QPointF(5, 10), QPointF(8, 7), QPointF(11, 10), QPointF(10, 10),
                                     QPointF(10, 12.5), QPointF(6, 12.5), QPointF(6, 10)}));
        } else if (index == IconDesktop) {
            p.setBrush(QColor(80, 140, 220));
            p.drawRect(QRectF(4.5, 7, 7, 4.5));
        }
        break;
    }
    case IconComputer:
        p.setPen(QPen(QColor(60, 60, 60), 0.8));
        p.setBrush(QColor(200, 200, 200));
        p.drawRoundedRect(QRectF(1.5, 2.5, 13, 9), 1, 1);
        p.setBrush(QColor(70, 130, 200));
        p.drawRect(QRectF(3, 4, 10, 6));
        p.setBrush(QColor(160, 160, 160));
        p.drawRect(QRectF(5, 12, 6, 2));
        break;
    case IconDrive:
        p.setPen(QPen(QColor(60, 60, 60), 0.8));
        p.setBrush(QColor(190, 190, 190));
        p.drawRoundedRect(QRectF(1.5, 5, 13, 6.5), 1.5, 1.5);
        p.setBrush(QColor(60, 200, 60));
        p.drawEllipse(QPointF(12, 9.3), 0.9, 0.9);
        break;
    case IconNetwork:
        p.setPen(QPen(QColor(40, 80, 160), 0.9));
        p.setBrush(QColor(120, 170, 230));
        p.drawEllipse(QRectF(2, 2, 12, 12));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(5, 2, 6, 12));
        p.drawLine(QPointF(2, 8), QPointF(14, 8));
        break;
    case IconTrash:
        p.setPen(QPen(QColor(70, 70, 70), 0.8));
        p.setBrush(QColor(170, 180, 190));
        p.drawRect(QRectF(4, 5, 8, 9.5));
        p.drawRect(QRectF(3, 3.5, 10, 1.5));
        p.drawLine(QPointF(6.5, 7), QPointF(6.5, 13));
        p.drawLine(QPointF(9.5, 7), QPointF(9.5, 13));
        break;
    default:
        p.setPen(QPen(QColor(90, 90, 90), 0.8));
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF({QPointF(3.5, 1.5), QPointF(10, 1.5), QPointF(12.5, 4), QPointF(12.5, 14.5),
                                 QPointF(3.5, 14.5)}));
        break;
    }
    return image;
}

const char *themeName(int index)
{
    switch (index) {
    case IconFolder: return "folder";
    case IconFolderOpen: return "folder-open";
    case IconHome: return "user-home";
    case IconDesktop: return "user-desktop";
    case IconComputer: return "computer";
    case IconDrive: return "drive-harddisk";
    case IconNetwork: return "network-workgroup";
    case IconTrash: return "user-trash";
    default: return "text-x-generic";
    }
}

} // namespace

QIcon shellIcon(int index)
{
    if (index < 0 || index >= IconCount)
        return {};
    static std::array<QIcon, IconCount> cache;
    QIcon &icon = cache[std::size_t(index)];
    if (icon.isNull()) {
        QIcon fallback;
        for (int size : {16, 24, 32, 48})
            fallback.addPixmap(QPixmap::fromImage(drawFallback(index, size)));
        icon = QIcon::fromTheme(QLatin1String(themeName(index)), fallback);
    }
    return icon;
}

} // namespace shell
