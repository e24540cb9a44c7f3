#include "core/sheet.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "core/animate.h"
#include "core/framehash.h"
#include "imaging/engine/atomicfile.h"
#include "imaging/engine/framerecord.h"
#include "imaging/engine/pngstream.h"

namespace {

const char AppName[] = "FalorenGIF";

// One cell: which frame's pixels, and which part of the frame.
struct Cell {
    std::uint32_t frame = 0;
    engine::Rect crop;
};

// One entry of the atlas: a chosen frame and the cell showing it.
struct Entry {
    std::uint32_t frame = 0;
    std::size_t cell = 0;
    engine::Rect crop;
    std::int64_t durationMs = 0;
};

// The non-transparent bounding box; 1 x 1 at the corner when there is none.
engine::Rect opaqueBox(const QImage &frame)
{
    int x0 = frame.width(), y0 = frame.height(), x1 = -1, y1 = -1;
    for (int y = 0; y < frame.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(frame.constScanLine(y));
        for (int x = 0; x < frame.width(); ++x) {
            if (qAlpha(line[x]) == 0)
                continue;
            x0 = std::min(x0, x);
            x1 = std::max(x1, x);
            y0 = std::min(y0, y);
            y1 = y;
        }
    }
    return x1 < 0 ? engine::Rect{0, 0, 1, 1} : engine::Rect{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

QString jsonText(const QString &text)
{
    const QByteArray a = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(a.mid(1, a.size() - 2));
}

QString rectJson(int x, int y, int w, int h)
{
    return QStringLiteral("{\"x\": %1, \"y\": %2, \"w\": %3, \"h\": %4}").arg(x).arg(y).arg(w).arg(h);
}

// The atlas of one sheet, its frames in frame order (written by hand: a
// QJsonObject would sort the frame names).
QByteArray atlasJson(const SheetRequest &request, const std::vector<const Entry *> &onSheet, const SheetLayout &layout, int sheet,
                     const QString &imageName, QSize frameSize, int loopCount)
{
    const bool hash = request.form == AtlasForm::Hash;
    QString out = hash ? QStringLiteral("{\n  \"frames\": {\n") : QStringLiteral("{\n  \"frames\": [\n");
    for (std::size_t i = 0; i < onSheet.size(); ++i) {
        const Entry &e = *onSheet[i];
        const SheetLayout::Place &p = layout.places[e.cell];
        const QString name = jsonText(QStringLiteral("%1_%2").arg(request.frameName).arg(e.frame + 1));
        const bool trimmed = e.crop != engine::Rect{0, 0, frameSize.width(), frameSize.height()};
        out += hash ? QStringLiteral("    %1: {").arg(name) : QStringLiteral("    {\"filename\": %1, ").arg(name);
        out += QStringLiteral("\"frame\": %1, \"rotated\": false, \"trimmed\": %2, \"spriteSourceSize\": %3, "
                              "\"sourceSize\": {\"w\": %4, \"h\": %5}, \"duration\": %6}")
                   .arg(rectJson(p.x, p.y, e.crop.w, e.crop.h), trimmed ? QStringLiteral("true") : QStringLiteral("false"),
                        rectJson(e.crop.x, e.crop.y, e.crop.w, e.crop.h))
                   .arg(frameSize.width())
                   .arg(frameSize.height())
                   .arg(e.durationMs);
        out += i + 1 < onSheet.size() ? QStringLiteral(",\n") : QStringLiteral("\n");
    }
    out += hash ? QStringLiteral("  },\n") : QStringLiteral("  ],\n");
    const QSize size = layout.sheets[std::size_t(sheet)];
    out += QStringLiteral("  \"meta\": {\"app\": \"%1\", \"version\": \"%2\", \"image\": %3, "
                          "\"format\": \"RGBA8888\", \"size\": {\"w\": %4, \"h\": %5}, \"scale\": \"1\", "
                          "\"loopCount\": %6}\n}\n")
               .arg(QLatin1String(AppName), QLatin1String(FG_VERSION), jsonText(imageName))
               .arg(size.width())
               .arg(size.height())
               .arg(loopCount < 0 ? QStringLiteral("null") : QString::number(loopCount));
    return out.toUtf8();
}

QString fileNameOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

} // namespace

std::optional<SheetLayout> layoutCells(const std::vector<QSize> &cells, int columns, bool strip,
                                       int padding, int maxSize)
{
    for (const QSize &c : cells)
        if (std::int64_t(c.width()) + 2 * std::int64_t(padding) > maxSize
            || std::int64_t(c.height()) + 2 * std::int64_t(padding) > maxSize)
            return std::nullopt;
    std::size_t perRow = cells.size();
    if (!strip)
        perRow = columns > 0 ? std::size_t(columns)
                             : std::size_t(std::ceil(std::sqrt(double(cells.size())) - 1e-9));
    perRow = std::max<std::size_t>(perRow, 1);

    SheetLayout layout;
    layout.places.resize(cells.size());
    // Rows first: a row ends at perRow cells or where the next would pass maxSize.
    std::size_t i = 0;
    while (i < cells.size()) {
        SheetLayout::Row row;
        row.first = i;
        int x = padding;
        while (i < cells.size() && row.count < perRow
               && (row.count == 0 || x + cells[i].width() + padding <= maxSize)) {
            layout.places[i].x = x;
            x += cells[i].width() + padding;
            row.height = std::max(row.height, cells[i].height());
            ++row.count;
            ++i;
        }
        layout.rows.push_back(row);
    }
    // Then sheets: a row that would pass maxSize starts the next sheet.
    int sheet = 0, y = padding, width = 0;
    for (std::size_t r = 0; r < layout.rows.size(); ++r) {
        SheetLayout::Row &row = layout.rows[r];
        if (y != padding && y + row.height + padding > maxSize) {
            layout.sheets.push_back(QSize(width, y));
            ++sheet;
            y = padding;
            width = 0;
        }
        row.sheet = sheet;
        row.y = y;
        for (std::size_t c = row.first; c < row.first + row.count; ++c) {
            layout.places[c].sheet = sheet;
            layout.places[c].y = y;
            width = std::max(width, layout.places[c].x + cells[c].width() + padding);
        }
        y += row.height + padding;
    }
    layout.sheets.push_back(QSize(std::max(width, 1), std::max(y, 1)));
    return layout;
}

QStringList sheetFileNames(const QString &target, int count)
{
    if (count == 1)
        return {target};
    const QString stem = target.endsWith(QLatin1String(".png"), Qt::CaseInsensitive) ? target.chopped(4) : target;
    const QString ext = target.endsWith(QLatin1String(".png"), Qt::CaseInsensitive) ? target.right(4)
                                                                                      : QStringLiteral(".png");
    QStringList out;
    for (int i = 1; i <= count; ++i)
        out << QStringLiteral("%1-%2%3").arg(stem).arg(i).arg(ext);
    return out;
}

QString atlasFileName(const QString &sheetPath)
{
    const QString stem = sheetPath.endsWith(QLatin1String(".png"), Qt::CaseInsensitive) ? sheetPath.chopped(4)
                                                                                          : sheetPath;
    return stem + QStringLiteral(".json");
}

SheetResult makeSheets(engine::Image &image, bool gif, const SheetRequest &request)
{
    SheetResult result;
    const std::vector<std::uint32_t> chosen = framesOrAll(request.frames, image.frameCount());
    const std::vector<std::uint32_t> stored = image.frameDelaysMs();
    const engine::Guid dimension = image.frameDimension();
    auto failed = [&](engine::Status s, std::uint32_t frame) {
        result.cause = engine::causeFromStatus(s);
        result.failedFrame = frame;
        return result;
    };

    // First pass: each frame's cell, and which frames share one.
    std::vector<Cell> cells;
    std::vector<Entry> entries;
    std::map<std::tuple<std::uint64_t, int, int>, std::size_t> byContent;
    for (std::uint32_t i : chosen) {
        const engine::Status s = image.selectFrame(dimension, i);
        if (s != engine::Ok)
            return failed(s, i);
        const QImage &frame = image.activeFrame();
        Entry e;
        e.frame = i;
        e.durationMs = engine::playedDelayMs(i < stored.size() ? stored[i] : 0, gif);
        e.crop = request.trim ? opaqueBox(frame) : engine::Rect{0, 0, frame.width(), frame.height()};
        e.cell = cells.size();
        if (request.unique) {
            const auto key = std::make_tuple(frameHash(frame), frame.width(), frame.height());
            const auto [it, fresh] = byContent.emplace(key, cells.size());
            e.cell = it->second;
            if (!fresh) {
                entries.push_back(e);
                continue;
            }
        }
        cells.push_back({i, e.crop});
        entries.push_back(e);
    }

    std::vector<QSize> sizes;
    for (const Cell &c : cells)
        sizes.push_back(QSize(c.crop.w, c.crop.h));
    const std::optional<SheetLayout> layout =
        layoutCells(sizes, request.columns, request.strip, request.padding, request.maxSize);
    if (!layout) {
        for (const QSize &s : sizes)
            if (s.width() + 2 * request.padding > request.maxSize || s.height() + 2 * request.padding > request.maxSize)
                result.tooLargeCell = s;
        return result;
    }

    const QStringList names = sheetFileNames(request.target, int(layout->sheets.size()));
    std::size_t rowIndex = 0;
    for (int sheet = 0; sheet < int(layout->sheets.size()); ++sheet) {
        const QSize size = layout->sheets[std::size_t(sheet)];
        engine::PngStreamWriter png(names[sheet], size.width(), size.height());
        int y = 0;
        for (; rowIndex < layout->rows.size() && layout->rows[rowIndex].sheet == sheet; ++rowIndex) {
            const SheetLayout::Row &row = layout->rows[rowIndex];
            for (; y < row.y; ++y)
                png.addRow(nullptr);
            // One row of cells: the band of the sheet it covers.
            std::vector<std::uint32_t> band(std::size_t(size.width()) * std::size_t(row.height), 0u);
            result.peakCellRowsHeld = std::max(result.peakCellRowsHeld, 1);
            result.peakBandPixels = std::max(result.peakBandPixels, std::int64_t(band.size()));
            for (std::size_t c = row.first; c < row.first + row.count; ++c) {
                const Cell &cell = cells[c];
                const engine::Status s = image.selectFrame(dimension, cell.frame);
                if (s != engine::Ok)
                    return failed(s, cell.frame);
                const QImage &frame = image.activeFrame();
                const int x0 = layout->places[c].x;
                for (int cy = 0; cy < cell.crop.h; ++cy) {
                    const auto *src = reinterpret_cast<const std::uint32_t *>(frame.constScanLine(cell.crop.y + cy))
                                      + cell.crop.x;
                    std::copy(src, src + cell.crop.w, band.begin() + std::ptrdiff_t(std::size_t(cy) * std::size_t(size.width()) + std::size_t(x0)));
                }
            }
            for (int by = 0; by < row.height; ++by, ++y)
                png.addRow(band.data() + std::size_t(by) * std::size_t(size.width()));
        }
        for (; y < size.height(); ++y)
            png.addRow(nullptr);
        if (png.finish() != engine::Ok) {
            result.cause = png.cause();
            return result;
        }
        result.written << names[sheet];

        std::vector<const Entry *> onSheet;
        for (const Entry &e : entries)
            if (layout->places[e.cell].sheet == sheet)
                onSheet.push_back(&e);
        const QString json = atlasFileName(names[sheet]);
        engine::Cause cause = engine::Cause::None;
        if (engine::writeFileAtomically(json,
                                        atlasJson(request, onSheet, *layout, sheet, fileNameOf(names[sheet]),
                                                  QSize(image.width(), image.height()), image.loopCount()),
                                        &cause)
            != engine::Ok) {
            result.cause = cause;
            return result;
        }
        result.written << json;
    }
    return result;
}
