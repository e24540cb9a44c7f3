#include "controls/aatext/aafont.h"

#include <algorithm>
#include <vector>

namespace aatext {

namespace {

uchar Clamp255(int v) { return uchar(std::clamp(v, 0, 255)); }

// Gives the canvas back its escapement and brush style when the scope ends,
// also when a step of the drawing throws.
class CanvasStateGuard {
public:
    explicit CanvasStateGuard(TAACanvas &canvas)
        : canvas_(canvas), escapement_(canvas.Escapement), brushStyle_(canvas.BrushStyle)
    {
    }
    ~CanvasStateGuard()
    {
        canvas_.Escapement = escapement_;
        canvas_.BrushStyle = brushStyle_;
    }
    CanvasStateGuard(const CanvasStateGuard &) = delete;
    CanvasStateGuard &operator=(const CanvasStateGuard &) = delete;

private:
    TAACanvas &canvas_;
    int escapement_;
    TBrushStyle brushStyle_;
};

} // namespace

// ----------------------------------------------------------------- TAAFont

TAAFont::TAAFont(TAACanvas *canvas) : canvas_(canvas), mask_(this), blend_(this) {}

QSize TAAFont::TextExtent(const QString &text)
{
    return mask_.TextExtent(text);
}

// --------------------------------------------------------------- TAAFontEx

TAAFontEx::TAAFontEx(TAACanvas *canvas) : TAAFont(canvas)
{
    Mask().SetRandom(random_);
}

void TAAFontEx::SetRandom(TRandom random)
{
    random_ = std::move(random);
    Mask().SetRandom(random_);
}

QSize TAAFontEx::TextExtent(const QString &text)
{
    TAACanvas *canvas = Canvas();
    if (!canvas)
        return QSize(0, 0);
    QSize size;
    if (effect_.Angle() != 0) {
        CanvasStateGuard guard(*canvas);
        canvas->Escapement = effect_.Angle() * 10;
        size = TAAFont::TextExtent(text);
    } else {
        size = TAAFont::TextExtent(text);
    }
    const TAAShadow &shadow = effect_.Shadow();
    if (shadow.Enabled())
        size += QSize(std::abs(int(shadow.OffsetX())), std::abs(int(shadow.OffsetY())));
    return size;
}

QPoint TAAFontEx::TextPoint() const
{
    const TAAShadow &s = effect_.Shadow();
    return QPoint(s.OffsetX() < 0 ? -s.OffsetX() : 0, s.OffsetY() < 0 ? -s.OffsetY() : 0);
}

QPoint TAAFontEx::ShadowPoint() const
{
    const TAAShadow &s = effect_.Shadow();
    return QPoint(s.OffsetX() > 0 ? s.OffsetX() : 0, s.OffsetY() > 0 ? s.OffsetY() : 0);
}

void TAAFontEx::TextOut(int x, int y, const QString &text)
{
    TAACanvas *canvas = Canvas();
    if (!canvas || text.isEmpty())
        return;
    CanvasStateGuard guard(*canvas);
    const TAAEffect &e = effect_;
    const TAAShadow &shadow = e.Shadow();
    if (e.Angle() != 0)
        canvas->Escapement = e.Angle() * 10;

    QPoint textPos(x, y);
    QPoint shadowPos(x, y);
    if (shadow.Enabled()) {
        textPos += TextPoint();
        shadowPos += ShadowPoint();
    }

    TAAMask &mask = Mask();
    mask.DrawText(text);
    if (e.Outline())
        mask.Outline();
    if (e.Spray() > 0)
        mask.Spray(e.Spray());
    if (e.HorzMirror())
        mask.HorzMirror();
    if (e.VertMirror())
        mask.VertMirror();

    if (shadow.Enabled()) {
        TAAMask shadowMask(this);
        shadowMask.Assign(mask);
        if (shadow.Blur() > 0)
            shadowMask.Blur(shadow.Blur());
        Blend().Blend(shadowPos.x(), shadowPos.y(), shadowMask, e.Alpha() * shadow.Alpha() / 100,
                      shadow.Color());
        // The text goes over the shadow, not over a brush-coloured box.
        canvas->BrushStyle = bsClear;
    }
    if (e.Blur() > 0)
        mask.Blur(e.Blur());

    if (e.Texture().Enabled() && !e.Texture().Picture().Empty()) {
        CreateTexture();
        if (e.Noise() > 0)
            AddNoise(e.Noise());
        Blend().BlendEx(textPos.x(), textPos.y(), mask, e.Alpha());
    } else if (e.Gradual().Enabled()) {
        CreateGradual();
        if (e.Noise() > 0)
            AddNoise(e.Noise());
        Blend().BlendEx(textPos.x(), textPos.y(), mask, e.Alpha());
    } else if (e.Noise() > 0) {
        CreateNoiseFill();
        Blend().BlendEx(textPos.x(), textPos.y(), mask, e.Alpha());
    } else {
        Blend().Blend(textPos.x(), textPos.y(), mask, e.Alpha(), canvas->FontColor);
    }
}

void TAAFontEx::CreateGradual()
{
    const int w = Mask().Width(), h = Mask().Height();
    QImage &fore = Blend().ForeBmp();
    fore = NewPicture(w, h);
    if (fore.isNull())
        return;
    const TAAGradual &g = effect_.Gradual();
    const TGradualStyle style = g.Style() > gsCenterToTB ? gsLeftToRight : g.Style();
    const bool horizontal = style == gsLeftToRight || style == gsRightToLeft || style == gsCenterToLR;
    const bool centre = style == gsCenterToLR || style == gsCenterToTB;
    const int length = horizontal ? w : h;
    const int n = centre ? (length + 1) / 2 : length;
    const bool forward = style == gsLeftToRight || style == gsTopToBottom;
    const TRgb c1 = ColorToRgb(forward ? g.StartColor() : g.EndColor());
    const TRgb c2 = ColorToRgb(forward ? g.EndColor() : g.StartColor());

    std::vector<TRgb> ramp(static_cast<size_t>(length));
    for (int i = 0; i < n; ++i) {
        TRgb &c = ramp[size_t(i)];
        c.r = c1.r + (c2.r - c1.r) * i / n;
        c.g = c1.g + (c2.g - c1.g) * i / n;
        c.b = c1.b + (c2.b - c1.b) * i / n;
        if (centre)
            ramp[size_t(length - 1 - i)] = c;
    }
    for (int y = 0; y < h; ++y) {
        uchar *row = fore.scanLine(y);
        for (int x = 0; x < w; ++x, row += 3) {
            const TRgb &c = ramp[size_t(horizontal ? x : y)];
            row[0] = uchar(c.b);
            row[1] = uchar(c.g);
            row[2] = uchar(c.r);
        }
    }
}

void TAAFontEx::CreateNoiseFill()
{
    const int w = Mask().Width(), h = Mask().Height();
    QImage &fore = Blend().ForeBmp();
    fore = NewPicture(w, h);
    if (fore.isNull() || !Canvas())
        return;
    const TRgb c = ColorToRgb(Canvas()->FontColor);
    const int n = effect_.Noise();
    for (int y = 0; y < h; ++y) {
        uchar *row = fore.scanLine(y);
        for (int x = 0; x < w; ++x, row += 3) {
            const int r = c.r + random_(n) - n / 2;
            const int g = c.g + random_(n) - n / 2;
            const int b = c.b + random_(n) - n / 2;
            row[0] = Clamp255(b);
            row[1] = Clamp255(g);
            row[2] = Clamp255(r);
        }
    }
}

void TAAFontEx::AddNoise(int amount)
{
    QImage &fore = Blend().ForeBmp();
    for (int y = 0; y < fore.height(); ++y) {
        uchar *row = fore.scanLine(y);
        for (int i = 0; i < fore.width() * 3; ++i)
            row[i] = Clamp255(row[i] + random_(amount) - amount / 2);
    }
}

void TAAFontEx::CreateTexture()
{
    const TAATexture &texture = effect_.Texture();
    if (!Canvas() || !texture.Enabled())
        return;
    const int w = Mask().Width(), h = Mask().Height();
    QImage &fore = Blend().ForeBmp();
    fore = NewPicture(w, h);
    if (fore.isNull())
        return;
    fore.fill(ColorToQColor(Canvas()->FontColor));
    const QImage &graphic = texture.Picture().Graphic();
    if (texture.Picture().Empty())
        return;
    QPainter p(&fore);
    switch (texture.Mode()) {
    case tmStretched:
        StretchDrawGraphic(p, QRect(0, 0, w, h), graphic);
        break;
    case tmCenter:
        p.drawImage((w - graphic.width()) / 2, (h - graphic.height()) / 2, graphic);
        break;
    case tmNormal:
        p.drawImage(0, 0, graphic);
        break;
    case tmTiled:
    default:
        TileDraw(p, QRect(0, 0, w, h), graphic);
        break;
    }
}

void TileDraw(QPainter &painter, const QRect &rect, const QImage &graphic)
{
    const int gw = graphic.width(), gh = graphic.height();
    if (graphic.isNull() || gw == 0 || gh == 0 || rect.isEmpty())
        return;
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    for (int i = 0; i <= rect.height() / gh; ++i)
        for (int j = 0; j <= rect.width() / gw; ++j)
            painter.drawImage(rect.left() + gw * j, rect.top() + gh * i, graphic);
    painter.restore();
}

void StretchDrawGraphic(QPainter &painter, const QRect &rect, const QImage &graphic)
{
    if (graphic.isNull() || rect.isEmpty())
        return;
    painter.drawImage(rect, graphic);
}

} // namespace aatext
