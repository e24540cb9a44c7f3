#pragma once
// engine::Surface: a drawing surface on a QImage the caller owns (the picture of a
// picture control, a thumbnail canvas). It clears, outlines rectangles with a pen
// and draws pictures scaled from a source rectangle into a destination rectangle.
//
// Coordinates are pixels; pixel (i, j) covers [i, i+1) x [j, j+1), so a shape
// covers the pixels whose centres lie inside it. Rectangles follow the platform
// convention the layer above was designed for: a pen is centred on the outline
// (x, y, width, height), half of its width falling outside.
//
// Ownership: the surface keeps a pointer to the target image, which must outlive
// it; each call paints with a QPainter of its own and ends it before returning,
// so the image may be read between calls. Threads: a surface and its target are
// used by one thread at a time; surfaces never touch widgets or QPixmap, so
// worker threads may draw on their own images. Nothing here throws.

#include <QImage>
#include <QRectF>

#include <cstdint>

#include "imaging/engine/records.h"

namespace engine {

// An outline pen: colour as 0xAARRGGBB (not premultiplied) and width in pixels.
struct Pen {
    std::uint32_t argb = 0xFF000000u;
    float width = 1.0f;
};

class Surface {
public:
    // `target` must be Format_RGB32, Format_ARGB32 or Format_ARGB32_Premultiplied
    // and not null; otherwise the surface is invalid and every call fails.
    explicit Surface(QImage *target);

    bool isValid() const { return m_target != nullptr; }

    // Fills the whole surface with `argb`, replacing what was there (alpha
    // included on targets that have alpha).
    Status clear(std::uint32_t argb);

    // Strokes the outline of (x, y, width, height) with `pen`, centred on it.
    Status drawRectangle(const Pen &pen, float x, float y, float width, float height);

    // Draws the part `source` (pixels of `picture`) scaled into `target`,
    // blended source-over. `picture` is any QImage format; ARGB32 frames are
    // taken as not premultiplied. An empty or inverted destination draws nothing
    // and succeeds; a source that is empty or lies wholly outside the picture
    // is InvalidParameter. Source parts outside the picture count as transparent.
    Status drawImage(const QImage &picture, const QRectF &target, const QRectF &source);

private:
    QImage *m_target = nullptr;
};

// The pixels [first, last) whose centres lie in [from, from + length): the span
// a shape of that extent covers. Exposed for the layer's tests.
struct PixelSpan {
    int first = 0;
    int last = 0;
};
PixelSpan pixelSpan(double from, double length);

// Area-averaging resampler behind drawImage: the `source` rectangle of `picture`
// resampled to width x height pixels, Format_ARGB32_Premultiplied. Each output
// pixel is the area-weighted mean (in premultiplied colour) of the source pixels
// its footprint covers. Null image for an empty size or source.
QImage resampleArea(const QImage &picture, const QRectF &source, int width, int height);

} // namespace engine
