#pragma once
// Thumbnails: the 120 x 120 pictures of the catalogue and the frame list. A
// picture is fitted into the thumbnail box (its longer side made 120 pixels),
// reduced when it is 120 pixels or more in either direction and drawn at its
// own size otherwise, centred on white, with a grey edge.
//
// Threads: nothing here touches widgets, QPixmap or anything global, so worker
// threads may draw thumbnails of their own pictures onto their own canvases.
// Nothing throws.

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>

#include "imaging/engine/records.h"

class TGPImage;
using TGPStatus = engine::Status;

inline constexpr int ThumbnailSize = 120;

// The box a width x height picture is drawn into: the longer side (the height
// for square pictures) becomes 120, the other is scaled by the same ratio in
// 32-bit float steps and rounded half to even (240 x 101 gives 120 x 50). May be
// 0 pixels in the shorter direction (2000 x 1 gives 120 x 0); 0 x 0 for 0 x 0.
QSize ThumbnailBox(std::uint32_t width, std::uint32_t height);

// A fresh 120 x 120 canvas (Format_RGB32), white.
QImage NewThumbnailCanvas();

// Draws the active frame of `image` as a thumbnail onto `canvas`: white ground,
// the picture in its box, the grey edge (rows and columns 0 and 119, 0xC8C8C8).
// A canvas that is not a paintable 120 x 120 picture is replaced by a fresh one.
// Returns false, leaving the canvas alone, when the picture cannot be measured
// (nothing loaded: width and height both 0). A box 0 pixels wide or high draws
// the ground and the edge but no picture.
bool DrawThumbnail(const TGPImage &image, QImage &canvas);

// Loads `path`, selects frame 0 along the time dimension (a still picture keeps
// its only frame) and returns its thumbnail. On failure returns a null image,
// sets *ok (when given) to false and *status (when given) to why the picture
// did not load; the caller shows its placeholder.
QImage renderThumbnail(const QString &path, bool *ok = nullptr, TGPStatus *status = nullptr);
