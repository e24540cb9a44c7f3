#pragma once
// Sprite sheets: chosen frames of an animation laid out as cells on one or
// more PNG sheets, row by row in frame order, each sheet with a texture-atlas
// JSON in the hash or array form that game and web frameworks read (frame,
// rotated, trimmed, spriteSourceSize, sourceSize, duration; meta with app,
// version, image, format, size, scale and loopCount).
//
// Cells: the composited frame, or with trim its non-transparent bounding box
// (1 x 1 for a wholly transparent frame); with unique, frames of equal content
// hash and size share the first one's cell. Padding is transparent, between
// cells and around the sheet. No sheet exceeds maxSize x maxSize: rows end
// early rather than grow too wide, further rows go to further sheets
// (OUT-1.png, OUT-2.png ... with OUT-1.json ...; OUT.png and OUT.json when one
// sheet holds all).
//
// Memory: one row of cells and a canvas or two, whatever the sheet's size.
// The frames are composed twice (sizes and hashes first, then the pixels) and
// each sheet goes out a band of rows at a time through streaming deflate
// (engine/pngstream.h); files are written atomically.
//
// Plain functions; one thread at a time per Image; nothing throws but
// std::bad_alloc.

#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

#include "imaging/engine/failure.h"
#include "imaging/engine/image.h"

enum class AtlasForm { Hash, Array };

// The largest texture many graphics cards still take.
inline constexpr int DefaultMaxSheetSize = 8192;

struct SheetRequest {
    QString target;                    // OUT.png
    QString frameName;                 // NAME of the frames' names NAME_N (N from 1)
    std::vector<std::uint32_t> frames; // chosen frames (from 0), ascending; empty: all
    int columns = 0;                   // cells per row at most; 0: the square root of the count, rounded up
    bool strip = false;                // one row (as long as maxSize allows)
    int padding = 0;
    bool trim = false;
    bool unique = false;
    int maxSize = DefaultMaxSheetSize;
    AtlasForm form = AtlasForm::Hash;
};

// Where cells go: `places[i]` is cell i's sheet and top-left corner.
struct SheetLayout {
    struct Place {
        int sheet = 0;
        int x = 0, y = 0;
    };
    struct Row {
        int sheet = 0;
        int y = 0, height = 0;
        std::size_t first = 0, count = 0; // cells
    };
    std::vector<Place> places;
    std::vector<Row> rows;
    std::vector<QSize> sheets;
};

// Lays out cells of the given sizes; nothing when one cell with the padding
// around it is larger than maxSize.
std::optional<SheetLayout> layoutCells(const std::vector<QSize> &cells, int columns, bool strip,
                                       int padding, int maxSize);

// The names of `count` sheets for OUT.png, and of their JSON files.
QStringList sheetFileNames(const QString &target, int count);
QString atlasFileName(const QString &sheetPath);

struct SheetResult {
    engine::Cause cause = engine::Cause::None;
    std::int64_t failedFrame = -1; // the source frame that could not be composed
    QSize tooLargeCell;            // set (and nothing written) when a cell exceeds maxSize
    QStringList written;           // sheets and JSON files, in order
    // What the writing held at most: rows of cells (one, whatever the sheet's
    // size) and pixels of those rows.
    int peakCellRowsHeld = 0;
    std::int64_t peakBandPixels = 0;
};

// Makes the sheets of `image`, loaded from a file for which `gif` tells
// isGifFile (core/animate.h).
SheetResult makeSheets(engine::Image &image, bool gif, const SheetRequest &request);
