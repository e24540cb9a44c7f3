#pragma once
// Test helper: builds GIF fixtures with giflib's encoder.
//
//     fgtest::GifSpec spec;
//     spec.width = 4; spec.height = 4;
//     spec.globalPalette = {{0, 0, 0}, {255, 0, 0}};
//     fgtest::GifFrame f;            // rect defaults to the whole screen
//     f.indexes = fgtest::filled(16, 1);
//     f.delay = 10;                  // hundredths of a second
//     spec.frames.push_back(f);
//     QVERIFY(fgtest::writeGif(dir.filePath("red.gif"), spec));
//
// A frame's rect may lie partly or wholly outside the screen (the values are
// written as they are; keep them within 0..65535). `indexes` holds w*h palette
// indexes row by row in display order; for interlaced frames the rows are put in
// the file's storage order here. Palettes are padded to a power of two (at least
// 2 entries) with black. Byte-level options make broken files: drop the trailer,
// cut the file, append raw bytes, or shrink/remove the global palette after
// encoding (indexes then point beyond the stored palette, or there is none).
//
// Header-only; everything returns false / an empty array on failure.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gif_lib.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace fgtest {

struct GifRgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

struct GifFrame {
    int x = 0, y = 0;
    int w = -1, h = -1;               // -1: the screen's width / height
    std::vector<GifRgb> localPalette; // empty: no local palette
    std::vector<std::uint8_t> indexes;
    int transparent = -1;             // transparent index, -1 for none
    int disposal = 0;                 // 0 unspecified, 1 leave, 2 background, 3 previous
    int delay = 0;                    // hundredths of a second
    bool interlace = false;
    bool graphicControl = true;       // false: no graphic control extension at all
};

struct GifSpec {
    int width = 1, height = 1;
    std::vector<GifRgb> globalPalette; // empty: no global palette
    int backgroundIndex = 0;
    int loopCount = -1;                // NETSCAPE2.0 loop count; -1 writes no block
    std::vector<GifFrame> frames;

    // Byte-level damage, applied after encoding in this order.
    int storedGlobalEntries = -1; // -1 keep; 0 remove the global table; n (power of 2) keep n entries
    bool trailer = true;          // false drops the final ';'
    int truncateTo = -1;          // keep only this many bytes (-1 keeps all)
    QByteArray append;            // raw bytes added at the end
};

inline std::vector<std::uint8_t> filled(int count, std::uint8_t index)
{
    return std::vector<std::uint8_t>(std::size_t(count < 0 ? 0 : count), index);
}

namespace detail {

inline int gifAppend(GifFileType *gif, const GifByteType *data, int len)
{
    static_cast<QByteArray *>(gif->UserData)->append(reinterpret_cast<const char *>(data), len);
    return len;
}

struct MapHolder {
    ColorMapObject *map = nullptr;
    ~MapHolder() { GifFreeMapObject(map); }
};

inline int paddedSize(std::size_t n)
{
    int size = 2;
    while (size < int(n) && size < 256)
        size *= 2;
    return size;
}

inline ColorMapObject *makeMap(const std::vector<GifRgb> &colors)
{
    if (colors.empty())
        return nullptr;
    std::vector<GifColorType> padded(std::size_t(paddedSize(colors.size())), GifColorType{0, 0, 0});
    for (std::size_t i = 0; i < colors.size() && i < padded.size(); ++i)
        padded[i] = GifColorType{colors[i].r, colors[i].g, colors[i].b};
    return GifMakeMapObject(int(padded.size()), padded.data());
}

inline bool putFrame(GifFileType *gif, const GifSpec &spec, const GifFrame &f)
{
    const int w = f.w < 0 ? spec.width : f.w;
    const int h = f.h < 0 ? spec.height : f.h;
    if (std::size_t(w) * std::size_t(h) != f.indexes.size())
        return false;
    if (f.graphicControl) {
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = f.disposal;
        gcb.UserInputFlag = false;
        gcb.DelayTime = f.delay;
        gcb.TransparentColor = f.transparent < 0 ? NO_TRANSPARENT_COLOR : f.transparent;
        GifByteType ext[4];
        const size_t n = EGifGCBToExtension(&gcb, ext);
        if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(n), ext) != GIF_OK)
            return false;
    }
    MapHolder local;
    local.map = makeMap(f.localPalette);
    if (!f.localPalette.empty() && !local.map)
        return false;
    if (!local.map && gif->Image.ColorMap) {
        // giflib forgets (leaks) the previous frame's local palette here.
        GifFreeMapObject(gif->Image.ColorMap);
        gif->Image.ColorMap = nullptr;
    }
    if (EGifPutImageDesc(gif, f.x, f.y, w, h, f.interlace, local.map) != GIF_OK)
        return false;
    std::vector<int> order;
    if (f.interlace) {
        static const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = start[pass]; y < h; y += step[pass])
                order.push_back(y);
    } else {
        for (int y = 0; y < h; ++y)
            order.push_back(y);
    }
    std::vector<GifPixelType> row(std::size_t(w > 0 ? w : 1));
    for (int y : order) {
        // EGifPutLine masks the row in place: hand it a copy.
        std::copy_n(f.indexes.begin() + std::ptrdiff_t(y) * w, w, row.begin());
        if (EGifPutLine(gif, row.data(), w) != GIF_OK)
            return false;
    }
    return true;
}

// Screen descriptor is at bytes 6..12; the global table follows it.
inline void shrinkGlobalPalette(QByteArray &bytes, int keep)
{
    if (bytes.size() < 13 || !(std::uint8_t(bytes[10]) & 0x80))
        return;
    const int stored = 1 << ((std::uint8_t(bytes[10]) & 7) + 1);
    if (keep >= stored)
        return;
    if (keep <= 0) {
        bytes[10] = char(std::uint8_t(bytes[10]) & 0x70);
        bytes.remove(13, stored * 3);
        return;
    }
    int bits = 1;
    while ((1 << bits) < keep)
        ++bits;
    bytes[10] = char((std::uint8_t(bytes[10]) & 0x78) | (bits - 1) | 0x80);
    bytes.remove(13 + keep * 3, (stored - keep) * 3);
}

} // namespace detail

// The encoded file, or an empty array when giflib refuses the GifSpec.
inline QByteArray gifBytes(const GifSpec &spec)
{
    QByteArray out;
    int error = 0;
    GifFileType *gif = EGifOpen(&out, detail::gifAppend, &error);
    if (!gif)
        return {};
    bool ok = true;
    {
        detail::MapHolder global;
        global.map = detail::makeMap(spec.globalPalette);
        // giflib writes GIF87a (no extensions) unless told otherwise.
        EGifSetGifVersion(gif, true);
        ok = EGifPutScreenDesc(gif, spec.width, spec.height, 8, spec.backgroundIndex, global.map)
                == GIF_OK;
    }
    if (ok && spec.loopCount >= 0) {
        const GifByteType app[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
        const GifByteType loop[] = {1, GifByteType(spec.loopCount & 0xFF),
                                    GifByteType((spec.loopCount >> 8) & 0xFF)};
        ok = EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK
            && EGifPutExtensionBlock(gif, sizeof app, app) == GIF_OK
            && EGifPutExtensionBlock(gif, sizeof loop, loop) == GIF_OK
            && EGifPutExtensionTrailer(gif) == GIF_OK;
    }
    for (const GifFrame &f : spec.frames) {
        if (!ok)
            break;
        ok = detail::putFrame(gif, spec, f);
    }
    // Closing frees the handle even when it fails.
    if (EGifCloseFile(gif, &error) != GIF_OK)
        ok = false;
    if (!ok)
        return {};
    if (spec.storedGlobalEntries >= 0)
        detail::shrinkGlobalPalette(out, spec.storedGlobalEntries);
    if (!spec.trailer && out.endsWith(';'))
        out.chop(1);
    if (spec.truncateTo >= 0 && spec.truncateTo < out.size())
        out.truncate(spec.truncateTo);
    out.append(spec.append);
    return out;
}

inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes) == bytes.size();
}

// Writes the GIF to `path`; false when giflib refuses the GifSpec or the write fails.
inline bool writeGif(const QString &path, const GifSpec &spec)
{
    const QByteArray bytes = gifBytes(spec);
    return !bytes.isEmpty() && writeBytes(path, bytes);
}

// The colours writeColourCycle fills its frames with, in order.
inline const std::vector<GifRgb> &cycleColours()
{
    static const std::vector<GifRgb> colours{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    return colours;
}

// `frames` frames of w x h, frame i filled with cycleColours()[(i + shift) % 4],
// `delay` hundredths of a second each.
inline bool writeColourCycle(const QString &path, int frames, int w, int h, int delay = 1, int shift = 0)
{
    GifSpec spec;
    spec.width = w;
    spec.height = h;
    spec.globalPalette = cycleColours();
    for (int i = 0; i < frames; ++i) {
        GifFrame f;
        f.indexes = filled(w * h, std::uint8_t((i + shift) % 4));
        f.delay = delay;
        spec.frames.push_back(f);
    }
    return writeGif(path, spec);
}

} // namespace fgtest
