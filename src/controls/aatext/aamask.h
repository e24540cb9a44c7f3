#pragma once
// The pixel core of the effect-text library. TAAMask turns one line of text
// into an 8-bit coverage mask (drawn without anti-aliasing at Scale times the
// size and reduced block by block) and transforms it; TAABlend composites a
// colour or a 24-bit foreground picture through a mask onto the canvas.
// Both are owned by a renderer, which gives them the canvas. GUI thread only.

#include "controls/aatext/aacanvas.h"

#include <QList>
#include <QPoint>
#include <QSize>
#include <QString>

#include <vector>

namespace aatext {

enum TAAQuality : quint8 { aqHigh, aqNormal, aqLow, aqNone };
int QualityScale(TAAQuality quality);

// The 256 grey levels, entry i = (i, i, i). The working surface is a
// Grayscale8 image, whose bytes are these levels.
const QList<QRgb> &GreyPalette();

// Number of bytes the text takes in the Chinese 8-bit code page: 1 for a
// character below U+0080, 2 for any other.
int AnsiLength(const QString &text);
// Width of italic text: cx widened by 30 % of one average character.
int WidenItalic(int cx, const QString &text);
// Strength 0..255 of a blur amount 0..100 (half to even: 30 gives 76).
int BlurStrength(int amount);

class TAAMask {
public:
    explicit TAAMask(const TAACanvasOwner *owner);

    // Copies size, quality and coverage (not the owner).
    void Assign(const TAAMask &source);

    TAAQuality Quality() const { return quality_; }
    void SetQuality(TAAQuality quality);
    int Scale() const { return scale_; }

    int Width() const { return width_; }
    int Height() const { return height_; }
    int RowBytes() const { return rowBytes_; }

    // Size of the text in mask pixels (0 by 0 without a canvas); the second
    // form also gives where the reference point of rotated text lies.
    QSize TextExtent(const QString &text) const;
    QSize TextExtent(const QString &text, QPoint *offset) const;
    // Rasterises the text at (0, 0); without a canvas the mask is unchanged.
    void DrawText(const QString &text);

    void Outline();
    void Blur(int amount);
    void Spray(int amount);
    void HorzMirror();
    void VertMirror();

    // Line y (0 = top) of the mask; raises EInvalidLine outside 0..Height - 1.
    quint8 *ScanLine(int y);
    const quint8 *ScanLine(int y) const;

    // Makes an all-zero mask of the given size (for callers that fill a mask
    // themselves).
    void SetSize(int width, int height);
    void SetRandom(TRandom random) { random_ = std::move(random); }

private:
    // Line y of a buffer with this mask's layout (last line first).
    quint8 *LineOf(std::vector<quint8> &buffer, int y) const
    {
        return buffer.data() + size_t(height_ - 1 - y) * size_t(rowBytes_);
    }
    const quint8 *LineOf(const std::vector<quint8> &buffer, int y) const
    {
        return buffer.data() + size_t(height_ - 1 - y) * size_t(rowBytes_);
    }

    const TAACanvasOwner *owner_;
    TAAQuality quality_ = aqNormal;
    int scale_ = 3;
    int width_ = 0;
    int height_ = 0;
    int rowBytes_ = 0;
    std::vector<quint8> buffer_;
    TRandom random_ = DefaultRandom();
};

class TAABlend {
public:
    explicit TAABlend(const TAACanvasOwner *owner);

    // Copies the foreground picture.
    void Assign(const TAABlend &source);

    // Composites `color` through the mask at (x, y) with alpha 0..100. With a
    // solid canvas brush the rectangle's background is the brush colour, with
    // a clear brush the canvas pixels. Clipped to the canvas.
    void Blend(int x, int y, const TAAMask &mask, int alpha, TColor color);
    // As Blend with the colours of ForeBmp, which must be a 24-bit picture of
    // the mask's size (EInvalidForeBmp otherwise; nothing drawn).
    void BlendEx(int x, int y, const TAAMask &mask, int alpha);

    QImage &ForeBmp() { return foreBmp_; }
    const QImage &ForeBmp() const { return foreBmp_; }

private:
    template <typename ColorAt>
    void Composite(TAACanvas &canvas, int x, int y, const TAAMask &mask, int alpha, ColorAt colorAt);

    const TAACanvasOwner *owner_;
    QImage foreBmp_;
    QImage work_;
};

} // namespace aatext
