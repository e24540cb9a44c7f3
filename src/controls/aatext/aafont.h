#pragma once
// The effect text renderer. TAAFont measures text through its glyph mask;
// TAAFontEx draws one line of text on the canvas with the effects of its
// TAAEffect: mask transformations, a blurred drop shadow, and a solid,
// gradient, texture or noise fill at an overall alpha, optionally rotated.
// The canvas is not owned; the owner points the renderer at it and gives it
// the wanted font before each use. GUI thread only.

#include "controls/aatext/aaeffect.h"
#include "controls/aatext/aamask.h"

#include <QPainter>

namespace aatext {

class TAAFont : public TAACanvasOwner {
public:
    explicit TAAFont(TAACanvas *canvas = nullptr);
    ~TAAFont() override = default;
    TAAFont(const TAAFont &) = delete;
    TAAFont &operator=(const TAAFont &) = delete;

    TAACanvas *Canvas() const override { return canvas_; }
    void SetCanvas(TAACanvas *canvas) { canvas_ = canvas; }
    TAAMask &Mask() { return mask_; }
    TAABlend &Blend() { return blend_; }
    TAAQuality Quality() const { return mask_.Quality(); }
    void SetQuality(TAAQuality quality) { mask_.SetQuality(quality); }

    // Size of one line of text in pixels (0 by 0 without a canvas).
    virtual QSize TextExtent(const QString &text);
    int TextHeight(const QString &text) { return TextExtent(text).height(); }
    int TextWidth(const QString &text) { return TextExtent(text).width(); }

private:
    TAACanvas *canvas_;
    TAAMask mask_;
    TAABlend blend_;
};

class TAAFontEx : public TAAFont {
public:
    explicit TAAFontEx(TAACanvas *canvas = nullptr);

    TAAEffect &Effect() { return effect_; }
    const TAAEffect &Effect() const { return effect_; }

    // Rotated by the effect's angle; the shadow's offsets added when it is on.
    QSize TextExtent(const QString &text) override;
    // Draws the text so that the text-and-shadow box starts at (x, y). The
    // canvas gets its font and brush style back, also when a step throws.
    void TextOut(int x, int y, const QString &text);

    // Where text and shadow start inside the text-and-shadow box.
    QPoint TextPoint() const;
    QPoint ShadowPoint() const;

    // Fills of the foreground picture, sized to the mask.
    void CreateGradual();
    void CreateNoiseFill();
    void CreateTexture();
    void AddNoise(int amount);

    // Random source of the noise and of the mask's spray.
    void SetRandom(TRandom random);

private:
    TAAEffect effect_;
    TRandom random_ = DefaultRandom();
};

// Copies of the graphic at (left + width × j, top + height × i) over rect,
// clipped to rect; nothing for an empty graphic.
void TileDraw(QPainter &painter, const QRect &rect, const QImage &graphic);
// The graphic stretched over rect.
void StretchDrawGraphic(QPainter &painter, const QRect &rect, const QImage &graphic);

} // namespace aatext
