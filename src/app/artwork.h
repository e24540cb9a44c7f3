#pragma once
// The program's own pictures, drawn with QPainter so that they stay crisp at
// every scale: the five toolbar pictures, the window icon and the catalogue's
// placeholder picture. GUI thread only (QIcon, QPixmap).

#include <QIcon>
#include <QImage>

namespace artwork {

enum class Tool { Split, Refresh, Help, About, Exit };

// Toolbar picture, 32 × 32 at 1x with 2x and 3x pixmaps.
QIcon toolIcon(Tool tool);
QIcon windowIcon();
// The window icon's picture at `side` × `side` pixels (also the desktop's icon).
QImage windowIconImage(int side);
// White 120 × 120 with a picture-document icon of 36 × 46 at its centre.
QImage placeholderPicture();
// The same motif as toolIcon, rendered at `scale` (for tests and the icon).
QImage toolImage(Tool tool, qreal scale);

} // namespace artwork
