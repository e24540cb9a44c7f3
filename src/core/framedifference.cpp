#include "core/framedifference.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

QImage asArgb(const QImage &image)
{
    return image.format() == QImage::Format_ARGB32 ? image : image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

FrameDifference frameDifference(const QImage &picture, const QImage &previous)
{
    FrameDifference out;
    if (picture.size() != previous.size() || picture.isNull())
        return out;
    const QImage a = asArgb(picture);
    const QImage b = asArgb(previous);
    const int w = a.width(), h = a.height();
    out.mask = QImage(w, h, QImage::Format_MonoLSB);
    if (out.mask.isNull())
        throw std::bad_alloc();
    out.mask.setColorTable({qRgba(0, 0, 0, 0), qRgba(255, 255, 255, 255)});
    out.mask.fill(0);
    int left = w, right = -1, top = h, bottom = -1;
    const std::size_t rowBytes = std::size_t(w) * 4;
    for (int y = 0; y < h; ++y) {
        const auto *p = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *q = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        if (std::memcmp(p, q, rowBytes) == 0)
            continue; // most rows of most frames
        uchar *bits = out.mask.scanLine(y);
        for (int x = 0; x < w; ++x) {
            if (p[x] == q[x] || (qAlpha(p[x]) == 0 && qAlpha(q[x]) == 0))
                continue;
            bits[x >> 3] |= uchar(1u << (x & 7));
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    out.equal = right < 0;
    if (!out.equal)
        out.bounds = QRect(QPoint(left, top), QPoint(right, bottom));
    return out;
}
