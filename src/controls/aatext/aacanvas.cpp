#include "controls/aatext/aacanvas.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cstring>
#include <random>

namespace aatext {

namespace {

QColor SystemColor(quint32 index)
{
    const QPalette pal = QGuiApplication::palette();
    switch (index) {
    case 5: return pal.color(QPalette::Base);
    case 8: return pal.color(QPalette::Text);
    case 13: return pal.color(QPalette::Highlight);
    case 14: return pal.color(QPalette::HighlightedText);
    case 15: return pal.color(QPalette::Button);
    case 17: return pal.color(QPalette::Disabled, QPalette::Text);
    case 18: return pal.color(QPalette::ButtonText);
    case 23: return pal.color(QPalette::ToolTipText);
    case 24: return pal.color(QPalette::ToolTipBase);
    case 4: case 1: case 2: case 3: return pal.color(QPalette::Window);
    default: return pal.color(QPalette::WindowText);
    }
}

} // namespace

TRgb ColorToRgb(TColor color)
{
    if (color & clSystemColor) {
        const QColor c = SystemColor(color & 0xFF);
        return {c.red(), c.green(), c.blue()};
    }
    return {int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF)};
}

QColor ColorToQColor(TColor color)
{
    const TRgb c = ColorToRgb(color);
    return QColor(c.r, c.g, c.b);
}

TColor QColorToColor(const QColor &color)
{
    return RGBColor(color.red(), color.green(), color.blue());
}

TRandom DefaultRandom()
{
    auto engine = std::make_shared<std::mt19937>(std::random_device{}());
    return [engine](int m) {
        if (m <= 0)
            return 0;
        return std::uniform_int_distribution<int>(0, m - 1)(*engine);
    };
}

QImage NewPicture(int width, int height)
{
    if (width <= 0 || height <= 0)
        return QImage();
    return QImage(width, height, kPictureFormat);
}

void TAACanvas::CopyToPicture(const QRect &rect, QImage &picture) const
{
    if (!image_ || picture.isNull())
        return;
    const QRect clip = rect.intersected(image_->rect()).intersected(
        QRect(rect.topLeft(), picture.size()));
    if (clip.isEmpty())
        return;
    const QImage source = image_->format() == kPictureFormat
                              ? *image_
                              : image_->copy(clip).convertToFormat(kPictureFormat);
    const QPoint origin = image_->format() == kPictureFormat ? clip.topLeft() : QPoint(0, 0);
    for (int y = 0; y < clip.height(); ++y) {
        const uchar *src = source.constScanLine(origin.y() + y) + origin.x() * 3;
        uchar *dst = picture.scanLine(clip.top() - rect.top() + y) + (clip.left() - rect.left()) * 3;
        std::memcpy(dst, src, size_t(clip.width()) * 3);
    }
}

void TAACanvas::CopyFromPicture(const QImage &picture, const QPoint &at)
{
    if (!image_ || picture.isNull())
        return;
    if (image_->format() != kPictureFormat || picture.format() != kPictureFormat) {
        QPainter p(image_);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(at, picture);
        return;
    }
    const QRect clip = QRect(at, picture.size()).intersected(image_->rect());
    for (int y = 0; y < clip.height(); ++y) {
        const uchar *src = picture.constScanLine(clip.top() - at.y() + y) + (clip.left() - at.x()) * 3;
        uchar *dst = image_->scanLine(clip.top() + y) + clip.left() * 3;
        std::memcpy(dst, src, size_t(clip.width()) * 3);
    }
}

QFont ScaledFont(const QFont &font, int scale)
{
    QFont f = font;
    if (f.pixelSize() > 0)
        f.setPixelSize(f.pixelSize() * scale);
    else
        f.setPointSizeF(f.pointSizeF() * scale);
    f.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoSubpixelAntialias));
    return f;
}

} // namespace aatext
