#include "imaging/thumbnail.h"

#include <cmath>

#include "imaging/gdiplus.h"

QSize ThumbnailBox(std::uint32_t width, std::uint32_t height)
{
    if (width == 0 && height == 0)
        return QSize(0, 0);
    // Each step is stored as a 32-bit float before the next one, and the last
    // is rounded half to even (std::nearbyint in the default rounding mode):
    // 240 x 101 must give a height of 50, not 51.
    if (width > height) {
        const float ratio = float(double(width) / ThumbnailSize);
        const float other = float(double(height) / double(ratio));
        return QSize(ThumbnailSize, int(std::nearbyint(other)));
    }
    const float ratio = float(double(height) / ThumbnailSize);
    const float other = float(double(width) / double(ratio));
    return QSize(int(std::nearbyint(other)), ThumbnailSize);
}

QImage NewThumbnailCanvas()
{
    QImage canvas(ThumbnailSize, ThumbnailSize, QImage::Format_RGB32);
    canvas.fill(0xFFFFFFFFu);
    return canvas;
}

bool DrawThumbnail(const TGPImage &image, QImage &canvas)
{
    const std::uint32_t width = image.GetWidth();
    const std::uint32_t height = image.GetHeight();
    if (width == 0 && height == 0)
        return false;
    const QSize box = ThumbnailBox(width, height);

    TGPPen pen(0, 2.0f);
    pen.SetColor(MakeArgb(200, 200, 200));

    if (canvas.size() != QSize(ThumbnailSize, ThumbnailSize)
        || (canvas.format() != QImage::Format_RGB32 && canvas.format() != QImage::Format_ARGB32
            && canvas.format() != QImage::Format_ARGB32_Premultiplied))
        canvas = NewThumbnailCanvas();
    TGPGraphics graphics(&canvas);
    graphics.Clear(MakeArgb(255, 255, 255));

    const std::uint32_t w = image.GetWidth();
    const std::uint32_t h = image.GetHeight();
    if (w >= std::uint32_t(ThumbnailSize) || h >= std::uint32_t(ThumbnailSize)) {
        // Reduced into the box; the halvings round towards zero.
        graphics.DrawImage(image,
                           MakeIntRect((ThumbnailSize - box.width()) / 2,
                                       (ThumbnailSize - box.height()) / 2, box.width(),
                                       box.height()),
                           0, 0, std::int32_t(w), std::int32_t(h), UnitPixel);
    } else {
        // Small pictures keep their size, centred (halvings rounded down).
        const int x = (ThumbnailSize - int(w)) / 2;
        const int y = (ThumbnailSize - int(h)) / 2;
        graphics.DrawImage(image, MakeRealRect(float(x), float(y), float(w), float(h)), 0.0f, 0.0f,
                           float(w), float(h), UnitPixel);
    }
    graphics.DrawRectangle(pen, MakeIntRect(0, 0, ThumbnailSize, ThumbnailSize));
    return true;
}

QImage renderThumbnail(const QString &path, bool *ok, TGPStatus *status)
{
    TGPImage image(path);
    if (status)
        *status = image.LoadStatus();
    // A still picture has no time dimension and keeps its only frame.
    image.SelectActiveFrame(FrameDimensionTime, 0);
    QImage canvas = NewThumbnailCanvas();
    const bool drawn = DrawThumbnail(image, canvas);
    if (ok)
        *ok = drawn;
    return drawn ? canvas : QImage();
}
