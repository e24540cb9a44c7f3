#include "controls/aatext/aamask.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

namespace aatext {

int QualityScale(TAAQuality quality)
{
    switch (quality) {
    case aqHigh: return 4;
    case aqNormal: return 3;
    case aqLow: return 2;
    case aqNone: return 1;
    }
    return 3;
}

const QList<QRgb> &GreyPalette()
{
    static const QList<QRgb> palette = [] {
        QList<QRgb> p;
        p.reserve(256);
        for (int i = 0; i < 256; ++i)
            p.append(qRgb(i, i, i));
        return p;
    }();
    return palette;
}

int AnsiLength(const QString &text)
{
    int n = 0;
    for (const QChar ch : text) {
        if (ch.isLowSurrogate())
            continue;
        n += ch.unicode() < 0x80 ? 1 : 2;
    }
    return n;
}

int WidenItalic(int cx, const QString &text)
{
    if (text.isEmpty())
        return cx;
    return cx + int(std::lrint(double(cx) / AnsiLength(text) * 0.3));
}

int BlurStrength(int amount)
{
    // Amounts beyond 100 would wrap the strength byte; they count as 100.
    return int(std::lrint(std::clamp(amount, 0, 100) * 255 / 100.0));
}

// ---------------------------------------------------------------- TAAMask

TAAMask::TAAMask(const TAACanvasOwner *owner) : owner_(owner) {}

void TAAMask::Assign(const TAAMask &source)
{
    if (&source == this)
        return;
    width_ = source.width_;
    height_ = source.height_;
    quality_ = source.quality_;
    scale_ = source.scale_;
    rowBytes_ = source.rowBytes_;
    buffer_ = source.buffer_;
}

void TAAMask::SetQuality(TAAQuality quality)
{
    quality_ = quality;
    scale_ = QualityScale(quality);
}

QSize TAAMask::TextExtent(const QString &text) const
{
    return TextExtent(text, nullptr);
}

QSize TAAMask::TextExtent(const QString &text, QPoint *offset) const
{
    if (offset)
        *offset = QPoint(0, 0);
    const TAACanvas *canvas = owner_ ? owner_->Canvas() : nullptr;
    if (!canvas)
        return QSize(0, 0);

    const QFontMetrics fm(ScaledFont(canvas->Font, scale_));
    int cx = fm.horizontalAdvance(text);
    int cy = fm.height();
    cx = (cx + scale_ - 1) / scale_;
    cy = (cy + scale_ - 1) / scale_;
    // Italic glyphs lean past their advance.
    if (canvas->Font.italic())
        cx = WidenItalic(cx, text);

    const double theta = canvas->Escapement * std::numbers::pi / 1800.0;
    if (theta != 0.0) {
        const double hw = cx / 2.0, hh = cy / 2.0;
        const double s = std::sin(-theta), c = std::cos(-theta);
        const std::array<std::array<double, 2>, 4> corners{
            {{-hw, -hh}, {hw, -hh}, {-hw, hh}, {hw, hh}}};
        std::array<int, 4> xs{}, ys{};
        for (size_t i = 0; i < corners.size(); ++i) {
            const double x = corners[i][0], y = corners[i][1];
            xs[i] = int(std::lrint(x * c - y * s));
            ys[i] = int(std::lrint(x * s + y * c));
        }
        cx = *std::max_element(xs.begin(), xs.end()) - *std::min_element(xs.begin(), xs.end());
        cy = *std::max_element(ys.begin(), ys.end()) - *std::min_element(ys.begin(), ys.end());
        if (offset)
            *offset = QPoint(cx / 2 + xs[0], cy / 2 + ys[0]);
    }
    return QSize(cx, cy);
}

void TAAMask::DrawText(const QString &text)
{
    QPoint offset;
    const QSize size = TextExtent(text, &offset);
    const TAACanvas *canvas = owner_ ? owner_->Canvas() : nullptr;
    if (!canvas)
        return;

    width_ = size.width();
    height_ = size.height();
    rowBytes_ = (width_ + 3) / 4 * 4;
    buffer_.assign(size_t(rowBytes_) * size_t(std::max(height_, 0)), 0);
    if (width_ <= 0 || height_ <= 0)
        return;

    // Grayscale8 stands for the palettised grey surface: a byte is its level.
    QImage surface(width_ * scale_, height_ * scale_, QImage::Format_Grayscale8);
    if (surface.isNull()) {
        // Too large to rasterise (QImage refuses it): an empty mask draws nothing.
        SetSize(0, 0);
        return;
    }
    surface.fill(0);
    {
        const QFont font = ScaledFont(canvas->Font, scale_);
        QPainter p(&surface);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setRenderHint(QPainter::TextAntialiasing, false);
        p.setFont(font);
        p.setPen(Qt::white);
        QPoint origin(0, 0);
        if (canvas->Escapement != 0)
            origin += offset * scale_;
        p.translate(origin);
        if (canvas->Escapement != 0)
            p.rotate(-canvas->Escapement / 10.0);
        p.drawText(QPointF(0, QFontMetrics(font).ascent()), text);
    }

    const int s = scale_;
    for (int y = 0; y < height_; ++y) {
        quint8 *dst = LineOf(buffer_, y);
        const uchar *r0 = surface.constScanLine(y * s);
        switch (quality_) {
        case aqHigh: {
            const uchar *r1 = surface.constScanLine(y * s + 1);
            const uchar *r2 = surface.constScanLine(y * s + 2);
            const uchar *r3 = surface.constScanLine(y * s + 3);
            for (int x = 0; x < width_; ++x) {
                const int c = x * 4;
                int sum = 0;
                for (int i = 0; i < 4; ++i)
                    sum += r0[c + i] + r1[c + i] + r2[c + i] + r3[c + i];
                dst[x] = quint8(sum >> 4);
            }
            break;
        }
        case aqNormal: {
            const uchar *r1 = surface.constScanLine(y * s + 1);
            const uchar *r2 = surface.constScanLine(y * s + 2);
            for (int x = 0; x < width_; ++x) {
                const int c = x * 3;
                const int sum = r0[c] + r0[c + 1] + (r0[c + 2] >> 1) + r1[c] + r1[c + 1] + r1[c + 2]
                                + (r2[c] >> 1) + r2[c + 1] + r2[c + 2];
                dst[x] = quint8(sum >> 3);
            }
            break;
        }
        case aqLow: {
            const uchar *r1 = surface.constScanLine(y * s + 1);
            for (int x = 0; x < width_; ++x) {
                const int c = x * 2;
                dst[x] = quint8((r0[c] + r0[c + 1] + r1[c] + r1[c + 1]) >> 2);
            }
            break;
        }
        case aqNone:
            std::memcpy(dst, r0, size_t(width_));
            break;
        }
    }
}

void TAAMask::Outline()
{
    if (width_ < 3 || height_ < 3)
        return;
    const std::vector<quint8> copy = buffer_;
    for (int y = 1; y <= height_ - 2; ++y) {
        const quint8 *u = LineOf(copy, y - 1);
        const quint8 *c = LineOf(copy, y);
        const quint8 *d = LineOf(copy, y + 1);
        quint8 *dst = LineOf(buffer_, y);
        for (int x = 1; x <= width_ - 2; ++x) {
            const int d1 = std::abs(d[x] - u[x]);
            const int d2 = std::abs(c[x + 1] - c[x - 1]);
            const int d3 = std::abs(d[x - 1] - u[x + 1]);
            const int d4 = std::abs(d[x + 1] - u[x - 1]);
            dst[x] = quint8(std::min((d1 + d2 + d3 + d4) >> 2, 255));
        }
    }
}

void TAAMask::Blur(int amount)
{
    const int k = BlurStrength(amount);
    if (k == 0 || width_ <= 0 || height_ <= 0)
        return;

    // Every sample position is clamped to the first or last line or column,
    // which also keeps masks under 4 pixels wide or high inside the buffer.
    auto samples = [](int n) {
        std::vector<std::array<int, 5>> table(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            for (int o = -2; o <= 2; ++o)
                table[size_t(i)][size_t(o + 2)] = std::clamp(i + o, 0, n - 1);
        return table;
    };
    const auto cols = samples(width_);
    const auto rows = samples(height_);

    const std::vector<quint8> copy = buffer_;
    std::vector<int> colSums(static_cast<size_t>(width_));
    for (int y = 0; y < height_; ++y) {
        // Vertical sums of the five sample lines per column, then five of those.
        std::fill(colSums.begin(), colSums.end(), 0);
        for (int r : rows[size_t(y)]) {
            const quint8 *line = LineOf(copy, r);
            for (int x = 0; x < width_; ++x)
                colSums[size_t(x)] += line[x];
        }
        quint8 *dst = LineOf(buffer_, y);
        for (int x = 0; x < width_; ++x) {
            int sum = 0;
            for (int c : cols[size_t(x)])
                sum += colSums[size_t(c)];
            const int b = int(std::lrint(sum / 25.0));
            if (k == 255)
                dst[x] = quint8(b);
            else
                dst[x] = quint8(dst[x] + (((b - dst[x]) * k) >> 8));
        }
    }
}

void TAAMask::Spray(int amount)
{
    if (width_ <= 0 || height_ <= 0)
        return;
    for (int y = 0; y < height_; ++y) {
        quint8 *dst = LineOf(buffer_, y);
        for (int x = 0; x < width_; ++x) {
            const int b = random_(amount + 1);
            const int sx = std::clamp(x + b - random_(2 * b), 0, width_ - 1);
            const int sy = std::clamp(y + b - random_(2 * b), 0, height_ - 1);
            dst[x] = LineOf(buffer_, sy)[sx];
        }
    }
}

void TAAMask::HorzMirror()
{
    for (int y = 0; y < height_; ++y) {
        quint8 *line = LineOf(buffer_, y);
        std::reverse(line, line + width_);
    }
}

void TAAMask::VertMirror()
{
    std::vector<quint8> tmp(static_cast<size_t>(rowBytes_));
    for (int y = 0; y < height_ / 2; ++y) {
        quint8 *a = LineOf(buffer_, y);
        quint8 *b = LineOf(buffer_, height_ - 1 - y);
        std::memcpy(tmp.data(), a, tmp.size());
        std::memcpy(a, b, tmp.size());
        std::memcpy(b, tmp.data(), tmp.size());
    }
}

quint8 *TAAMask::ScanLine(int y)
{
    if (y < 0 || y > height_ - 1)
        throw EInvalidLine();
    return LineOf(buffer_, y);
}

const quint8 *TAAMask::ScanLine(int y) const
{
    if (y < 0 || y > height_ - 1)
        throw EInvalidLine();
    return LineOf(buffer_, y);
}

void TAAMask::SetSize(int width, int height)
{
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    rowBytes_ = (width_ + 3) / 4 * 4;
    buffer_.assign(size_t(rowBytes_) * size_t(height_), 0);
}

// --------------------------------------------------------------- TAABlend

TAABlend::TAABlend(const TAACanvasOwner *owner) : owner_(owner) {}

void TAABlend::Assign(const TAABlend &source)
{
    if (&source != this)
        foreBmp_ = source.foreBmp_.copy();
}

template <typename ColorAt>
void TAABlend::Composite(TAACanvas &canvas, int x, int y, const TAAMask &mask, int alpha,
                         ColorAt colorAt)
{
    const int w = mask.Width(), h = mask.Height();
    if (w <= 0 || h <= 0)
        return;
    if (work_.width() != w || work_.height() != h)
        work_ = NewPicture(w, h);
    if (work_.isNull())
        return;  // no memory for the work picture: nothing is drawn

    // Alphas above 100 (possible after loading settings) would overflow a
    // channel; they count as fully opaque.
    const int k = std::clamp(alpha, 0, 100) * 256 / 100;
    if (canvas.BrushStyle == bsSolid)
        work_.fill(ColorToQColor(canvas.BrushColor));
    else
        canvas.CopyToPicture(QRect(x, y, w, h), work_);

    for (int row = 0; row < h; ++row) {
        const quint8 *m = mask.ScanLine(row);
        uchar *d = work_.scanLine(row);
        for (int col = 0; col < w; ++col, d += 3) {
            const int a = (m[col] * k) >> 8;
            if (a == 0)
                continue;
            const uchar *c = colorAt(col, row);
            if (a >= 255) {
                d[0] = c[0];
                d[1] = c[1];
                d[2] = c[2];
            } else {
                for (int i = 0; i < 3; ++i)
                    d[i] = uchar(d[i] + (((c[i] - d[i]) * a) >> 8));
            }
        }
    }
    canvas.CopyFromPicture(work_, QPoint(x, y));
}

void TAABlend::Blend(int x, int y, const TAAMask &mask, int alpha, TColor color)
{
    TAACanvas *canvas = owner_ ? owner_->Canvas() : nullptr;
    if (!canvas || !canvas->Image())
        return;
    const TRgb rgb = ColorToRgb(color);
    const uchar bgr[3] = {uchar(rgb.b), uchar(rgb.g), uchar(rgb.r)};
    Composite(*canvas, x, y, mask, alpha, [&bgr](int, int) { return bgr; });
}

void TAABlend::BlendEx(int x, int y, const TAAMask &mask, int alpha)
{
    TAACanvas *canvas = owner_ ? owner_->Canvas() : nullptr;
    if (!canvas || !canvas->Image())
        return;
    // A mask without pixels draws nothing, whatever the foreground.
    if (mask.Width() <= 0 || mask.Height() <= 0)
        return;
    if (foreBmp_.format() != kPictureFormat || foreBmp_.width() != mask.Width()
        || foreBmp_.height() != mask.Height())
        throw EInvalidForeBmp();
    const QImage &fore = foreBmp_;
    Composite(*canvas, x, y, mask, alpha,
              [&fore](int col, int row) { return fore.constScanLine(row) + col * 3; });
}

} // namespace aatext
