#pragma once
// Helpers shared by the effect-text tests.

#include <QFont>
#include <QImage>

namespace aatest {

// A scalable font at an exact pixel size, so extents do not depend on the
// Chinese fonts' hinting.
inline QFont PixelFont(int px)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(px);
    return f;
}

// The colour of a pixel without its alpha.
inline QRgb Pixel(const QImage &img, int x, int y) { return img.pixel(x, y) & 0xFFFFFF; }

} // namespace aatest
