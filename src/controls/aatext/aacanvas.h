#pragma once
// Common ground of the effect-text library: the colour value, the library's
// errors, the random source, and the canvas the renderer draws on (a QImage
// with the current font, font colour, rotation and brush). GUI thread only.

#include <QFont>
#include <QImage>
#include <QRect>
#include <QtGlobal>

#include <functional>
#include <stdexcept>

namespace aatext {

// Colour value: red in the low byte (0x00BBGGRR), or a system colour
// (0x80000000 | index) that is resolved through the application palette.
using TColor = quint32;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clSystemColor = 0x80000000u;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clInfoBk = clSystemColor | 24;

constexpr TColor RGBColor(int r, int g, int b)
{
    return TColor(r & 0xFF) | (TColor(g & 0xFF) << 8) | (TColor(b & 0xFF) << 16);
}
struct TRgb {
    int r = 0, g = 0, b = 0;
};
// Resolves a system colour; plain colours are split into their channels.
TRgb ColorToRgb(TColor color);
QColor ColorToQColor(TColor color);
TColor QColorToColor(const QColor &color);

// Errors raised by the mask, the blender and the settings objects.
class EAAError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class EInvalidLine : public EAAError {
public:
    EInvalidLine() : EAAError("Invalid line!") {}
};
class EInvalidForeBmp : public EAAError {
public:
    EInvalidForeBmp() : EAAError("Invalid foreground bitmap!") {}
};

// Random(m): a uniform integer in 0..m - 1; Random(0) (and any m <= 0) is 0.
using TRandom = std::function<int(int)>;
TRandom DefaultRandom();

enum TBrushStyle : quint8 { bsSolid, bsClear };

// The 24-bit picture format: blue, green, red bytes, rows padded to 4 bytes.
constexpr QImage::Format kPictureFormat = QImage::Format_BGR888;
QImage NewPicture(int width, int height);

// A drawing target: a QImage (not owned) with the state the text library
// reads from it. The font's size is its pixel size (character height);
// Escapement rotates text counter-clockwise in tenths of a degree.
class TAACanvas {
public:
    explicit TAACanvas(QImage *image = nullptr) : image_(image) {}

    QImage *Image() const { return image_; }
    void SetImage(QImage *image) { image_ = image; }

    QFont Font;
    TColor FontColor = clWindowText;
    int Escapement = 0;
    TColor BrushColor = clWhite;
    TBrushStyle BrushStyle = bsSolid;

    // Copies the canvas pixels of `rect` into `picture` (a 24-bit picture of
    // rect's size); parts of rect outside the canvas are left as they are.
    void CopyToPicture(const QRect &rect, QImage &picture) const;
    // Copies a 24-bit picture onto the canvas at `at`, clipped to the canvas.
    void CopyFromPicture(const QImage &picture, const QPoint &at);

private:
    QImage *image_;
};

// What the mask and the blender need of their renderer: the canvas, if any.
class TAACanvasOwner {
public:
    virtual ~TAACanvasOwner() = default;
    virtual TAACanvas *Canvas() const = 0;
};

// A font scaled by an integer factor, drawn without anti-aliasing.
QFont ScaledFont(const QFont &font, int scale);

} // namespace aatext
