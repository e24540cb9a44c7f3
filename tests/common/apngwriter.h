#pragma once
// Test helper: builds animated PNG fixtures. Each frame is encoded by Qt's PNG
// writer; its IHDR, PLTE and tRNS become the file's header and its image data
// the frame's IDAT or fdAT chunks, so all frames must share one pixel format
// (ARGB32 frames give RGBA files; Indexed8 frames with one colour table give a
// palette file).
//
//     fgtest::ApngSpec spec;
//     spec.width = 4; spec.height = 4;
//     spec.frames.push_back({solid(4, 4, 0xFFFF0000)});   // whole canvas
//     spec.frames.push_back({solid(2, 2, 0x8000FF00), 1, 1, 1, 3, 0, 1}); // at (1,1), 1/3 s, blend over
//     QVERIFY(fgtest::writeBytes(path, fgtest::apngBytes(spec)));
//
// `defaultImage`, when set, is the picture shown by viewers without animation
// support: written as IDAT before the first frame, which then goes into fdAT.
// `interlaced` writes every frame in Adam7 order instead (RGBA, our own
// scanlines). Byte-level damage for broken files: cut the file, break a
// sequence number.
//
// Header-only; an empty array on failure.

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <vector>

#include "common/gifwriter.h"

namespace fgtest {

struct ApngFrame {
    QImage image;
    int x = 0, y = 0;
    std::uint16_t delayNum = 1, delayDen = 10;
    std::uint8_t dispose = 0; // 0 none, 1 background, 2 previous
    std::uint8_t blend = 0;   // 0 source, 1 over
    int width = -1, height = -1; // written in fcTL; -1: the image's own size
};

struct ApngSpec {
    int width = 1, height = 1;
    std::vector<ApngFrame> frames;
    QImage defaultImage; // null: the first frame is the IDAT image
    std::uint32_t plays = 0;
    int frameCountInAcTL = -1; // -1: the number of frames
    int badSequenceAt = -1;    // this sequence number is written one too high
    int cutAt = -1;            // the file ends after this many bytes
    bool interlaced = false;   // Adam7 frames, RGBA, written without Qt
};

inline QImage solidImage(int w, int h, QRgb argb)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(argb);
    return image;
}

inline std::uint32_t pngCrc(const QByteArray &bytes)
{
    static const std::vector<std::uint32_t> table = [] {
        std::vector<std::uint32_t> t(256);
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (char ch : bytes)
        c = table[(c ^ std::uint8_t(ch)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

inline void appendBe32(QByteArray &out, std::uint32_t v)
{
    out.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
}

inline void appendBe16(QByteArray &out, std::uint16_t v)
{
    out.append(char(v >> 8)).append(char(v));
}

inline void appendPngChunk(QByteArray &out, const char *type, const QByteArray &data)
{
    appendBe32(out, std::uint32_t(data.size()));
    const QByteArray body = QByteArray(type, 4) + data;
    out += body;
    appendBe32(out, pngCrc(body));
}

struct PngParts {
    QByteArray ihdr, plte, trns, idat;
};

// Qt's PNG of `image`, split into the chunks an APNG reuses.
inline PngParts pngParts(const QImage &image)
{
    PngParts parts;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return parts;
    auto be32 = [&](qsizetype at) {
        return (std::uint32_t(std::uint8_t(png[at])) << 24) | (std::uint32_t(std::uint8_t(png[at + 1])) << 16)
            | (std::uint32_t(std::uint8_t(png[at + 2])) << 8) | std::uint32_t(std::uint8_t(png[at + 3]));
    };
    for (qsizetype pos = 8; pos + 12 <= png.size();) {
        const qsizetype length = qsizetype(be32(pos));
        const QByteArray type = png.mid(pos + 4, 4);
        const QByteArray data = png.mid(pos + 8, length);
        if (type == "IHDR")
            parts.ihdr = data;
        else if (type == "PLTE")
            parts.plte = data;
        else if (type == "tRNS")
            parts.trns = data;
        else if (type == "IDAT")
            parts.idat += data;
        pos += 12 + length;
    }
    return parts;
}

// An ARGB32 image as RGBA 8-bit PNG data in Adam7 order (each pass's rows with
// filter type 0), compressed: qCompress's zlib stream without its length prefix.
inline QByteArray interlacedIdat(const QImage &argb)
{
    static constexpr int x0[] = {0, 4, 0, 2, 0, 1, 0};
    static constexpr int y0[] = {0, 0, 4, 0, 2, 0, 1};
    static constexpr int dx[] = {8, 8, 4, 4, 2, 2, 1};
    static constexpr int dy[] = {8, 8, 8, 4, 4, 2, 2};
    const QImage image = argb.convertToFormat(QImage::Format_ARGB32);
    QByteArray raw;
    for (int pass = 0; pass < 7; ++pass) {
        if (x0[pass] >= image.width())
            continue;
        for (int y = y0[pass]; y < image.height(); y += dy[pass]) {
            raw.append(char(0));
            for (int x = x0[pass]; x < image.width(); x += dx[pass]) {
                const QRgb p = image.pixel(x, y);
                raw.append(char(qRed(p))).append(char(qGreen(p))).append(char(qBlue(p))).append(char(qAlpha(p)));
            }
        }
    }
    return qCompress(raw).mid(4);
}

inline PngParts interlacedParts(const QImage &image)
{
    PngParts parts;
    appendBe32(parts.ihdr, std::uint32_t(image.width()));
    appendBe32(parts.ihdr, std::uint32_t(image.height()));
    parts.ihdr.append(char(8)).append(char(6)).append(char(0)).append(char(0)).append(char(1));
    parts.idat = interlacedIdat(image);
    return parts;
}

inline QByteArray apngBytes(const ApngSpec &spec)
{
    if (spec.frames.empty())
        return {};
    const auto partsOf = [&](const QImage &image) {
        return spec.interlaced ? interlacedParts(image) : pngParts(image);
    };
    const PngParts first = partsOf(spec.defaultImage.isNull() ? spec.frames[0].image : spec.defaultImage);
    if (first.ihdr.size() != 13)
        return {};
    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    QByteArray ihdr;
    appendBe32(ihdr, std::uint32_t(spec.width));
    appendBe32(ihdr, std::uint32_t(spec.height));
    ihdr += first.ihdr.mid(8);
    appendPngChunk(out, "IHDR", ihdr);
    QByteArray actl;
    appendBe32(actl, std::uint32_t(spec.frameCountInAcTL >= 0 ? spec.frameCountInAcTL : int(spec.frames.size())));
    appendBe32(actl, spec.plays);
    appendPngChunk(out, "acTL", actl);
    if (!first.plte.isEmpty())
        appendPngChunk(out, "PLTE", first.plte);
    if (!first.trns.isEmpty())
        appendPngChunk(out, "tRNS", first.trns);
    if (!spec.defaultImage.isNull())
        appendPngChunk(out, "IDAT", first.idat);

    std::uint32_t sequence = 0;
    auto nextSequence = [&] {
        const std::uint32_t s = sequence++;
        return int(s) == spec.badSequenceAt ? s + 1 : s;
    };
    for (std::size_t i = 0; i < spec.frames.size(); ++i) {
        const ApngFrame &f = spec.frames[i];
        const PngParts parts = i == 0 && spec.defaultImage.isNull() ? first : partsOf(f.image);
        QByteArray fctl;
        appendBe32(fctl, nextSequence());
        appendBe32(fctl, std::uint32_t(f.width >= 0 ? f.width : f.image.width()));
        appendBe32(fctl, std::uint32_t(f.height >= 0 ? f.height : f.image.height()));
        appendBe32(fctl, std::uint32_t(f.x));
        appendBe32(fctl, std::uint32_t(f.y));
        appendBe16(fctl, f.delayNum);
        appendBe16(fctl, f.delayDen);
        fctl.append(char(f.dispose)).append(char(f.blend));
        appendPngChunk(out, "fcTL", fctl);
        if (i == 0 && spec.defaultImage.isNull()) {
            appendPngChunk(out, "IDAT", parts.idat);
        } else {
            QByteArray fdat;
            appendBe32(fdat, nextSequence());
            appendPngChunk(out, "fdAT", fdat + parts.idat);
        }
    }
    appendPngChunk(out, "IEND", {});
    if (spec.cutAt >= 0)
        out.truncate(spec.cutAt);
    return out;
}

} // namespace fgtest
