#include "imaging/engine/surface.h"

#include <QColor>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace engine {

namespace {

bool paintable(const QImage *image)
{
    if (!image || image->isNull())
        return false;
    switch (image->format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return true;
    default:
        return false;
    }
}

bool finite(const QRectF &r)
{
    return std::isfinite(r.x()) && std::isfinite(r.y()) && std::isfinite(r.width())
        && std::isfinite(r.height());
}

// Coordinates far beyond any surface are clamped before they become ints.
int clampToInt(double v)
{
    constexpr double limit = 1 << 30;
    return int(std::clamp(v, -limit, limit));
}

bool integral(double v)
{
    return v == std::floor(v);
}

// Weights are fixed point: a whole footprint weighs WeightOne.
constexpr int WeightBits = 14;
constexpr std::uint32_t WeightOne = 1u << WeightBits;
// Weights are stored, and multiplied with bytes, as 16-bit numbers.
static_assert(WeightOne <= 0xFFFFu);

// One output pixel's footprint along one axis: source indexes with weights.
struct Tap {
    int index;
    std::uint16_t weight;
};

struct Taps {
    std::vector<int> begin; // output i uses taps[begin[i] .. begin[i + 1])
    std::vector<Tap> taps;
};

// Footprint of output pixel i is [from + i*step, from + (i+1)*step); every
// source pixel it overlaps contributes its share of the footprint's length.
// Pixels outside [0, size) are left out, so they count as transparent. The
// weights are rounded from running sums, so a footprint wholly inside the
// picture weighs exactly WeightOne and a flat colour stays exactly that colour.
Taps makeTaps(double from, double length, int count, int size)
{
    Taps t;
    t.begin.reserve(std::size_t(count) + 1);
    const double step = length / count;
    for (int i = 0; i < count; ++i) {
        t.begin.push_back(int(t.taps.size()));
        const double a = from + i * step;
        const double b = from + (i + 1) * step;
        const int first = std::max(0, int(std::floor(a)));
        const int last = std::min(size, int(std::ceil(b)));
        double covered = 0;
        std::uint32_t given = 0;
        for (int k = first; k < last; ++k) {
            const double overlap = std::min(b, double(k + 1)) - std::max(a, double(k));
            if (overlap <= 0)
                continue;
            covered += overlap / step;
            const auto total = std::uint32_t(std::lrint(std::min(covered, 1.0) * WeightOne));
            if (total > given)
                t.taps.push_back(Tap{k, std::uint16_t(total - given)});
            given = std::max(given, total);
        }
    }
    t.begin.push_back(int(t.taps.size()));
    return t;
}

// The row loops below are where the reduction spends its time. On x86-64 they
// are built twice, for AVX2 and for the baseline, and the loader picks one:
// twice the vector width, and VEX-encoded code also runs at full speed after
// AVX code elsewhere in the process (Qt's fills and blends) left the upper
// register halves dirty, which made the baseline loops run at half speed.
#if defined(__x86_64__) && defined(__GNUC__) && defined(__ELF__) && defined(__GLIBC__)
#define ROW_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define ROW_LOOP
#endif

// Whether every pixel of the row has alpha 255. Reads the whole row without
// branching, which vectorises and costs far less than a conversion.
ROW_LOOP bool rowOpaque(const QRgb *line, int count)
{
    std::uint32_t all = 0xFFFFFFFFu;
    for (int x = 0; x < count; ++x)
        all &= line[x];
    return (all >> 24) == 0xFFu;
}

// Straight ARGB to premultiplied, each channel rounded to the nearest:
// (c * a + 127) / 255, computed without a division.
ROW_LOOP void premultiplyRow(const QRgb *__restrict in, QRgb *__restrict out, int count)
{
    for (int x = 0; x < count; ++x) {
        const std::uint32_t p = in[x];
        const std::uint32_t a = p >> 24;
        auto scale = [a](std::uint32_t c) {
            const std::uint32_t t = c * a + 127;
            return (t + (t >> 8) + 1) >> 8;
        };
        out[x] = (a << 24) | (scale((p >> 16) & 0xFFu) << 16) | (scale((p >> 8) & 0xFFu) << 8)
            | scale(p & 0xFFu);
    }
}

// RGB32 pixels may carry anything in their unused byte; they are opaque.
ROW_LOOP void forceOpaque(const QRgb *__restrict in, QRgb *__restrict out, int count)
{
    for (int x = 0; x < count; ++x)
        out[x] = in[x] | 0xFF000000u;
}

// sums[n] = bytes[n] * weight, and sums[n] += bytes[n] * weight: the vertical
// pass. A footprint's weights add up to at most WeightOne, so a sum stays below
// 255 << WeightBits and fits 32 bits. The weight must arrive as a 16-bit
// number for the compiler to use 16-bit vector multiplies.
ROW_LOOP void weightRow(std::uint32_t *__restrict sums, const std::uint8_t *__restrict bytes,
                        std::size_t count, std::uint16_t weight)
{
    for (std::size_t n = 0; n < count; ++n)
        sums[n] = std::uint32_t(std::uint16_t(bytes[n])) * std::uint32_t(weight);
}

ROW_LOOP void addWeightedRow(std::uint32_t *__restrict sums,
                             const std::uint8_t *__restrict bytes, std::size_t count,
                             std::uint16_t weight)
{
    for (std::size_t n = 0; n < count; ++n)
        sums[n] += std::uint32_t(std::uint16_t(bytes[n])) * std::uint32_t(weight);
}

// The horizontal pass: one output row from the vertically summed columns
// (four channels each, in the byte order of a QRgb, below 255 << WeightBits).
// Each column sum loses its lowest `drop` bits, rounded, so that the weighted
// sum of a footprint fits 32 bits; the result then differs from the exactly
// rounded mean by at most 1/2048 of a level before the final rounding (one
// output value in a few thousand is one level off), and a flat colour stays
// exact. A tap's four channels are one vector of four 32-bit lanes where the
// compiler offers vector types.
ROW_LOOP void reduceRow(const std::uint32_t *__restrict column, const Taps &hx, int width,
                        QRgb *__restrict out)
{
    constexpr int drop = 4;
    constexpr std::uint32_t dropHalf = 1u << (drop - 1);
    constexpr int shift = 2 * WeightBits - drop;
    constexpr std::uint32_t half = 1u << (shift - 1);
    static_assert((((255ull << WeightBits) + dropHalf) >> drop) * WeightOne + half
                  <= 0xFFFFFFFFull);
    // Byte positions of the channels within a QRgb in memory.
    constexpr bool little = Q_BYTE_ORDER == Q_LITTLE_ENDIAN;
    constexpr int ia = little ? 3 : 0, ir = little ? 2 : 1, ig = little ? 1 : 2,
                  ib = little ? 0 : 3;

    const Tap *taps = hx.taps.data();
    for (int j = 0; j < width; ++j) {
        const Tap *end = taps + hx.begin[std::size_t(j) + 1];
#if defined(__GNUC__)
        typedef std::uint32_t Lanes __attribute__((vector_size(16)));
        Lanes sum = {0, 0, 0, 0};
        for (const Tap *tap = taps + hx.begin[std::size_t(j)]; tap != end; ++tap) {
            Lanes v;
            std::memcpy(&v, column + std::size_t(tap->index) * 4, sizeof v);
            sum += ((v + dropHalf) >> drop) * std::uint32_t(tap->weight);
        }
#else
        std::uint32_t sum[4] = {0, 0, 0, 0};
        for (const Tap *tap = taps + hx.begin[std::size_t(j)]; tap != end; ++tap) {
            const std::uint32_t *v = column + std::size_t(tap->index) * 4;
            for (int c = 0; c < 4; ++c)
                sum[c] += ((v[c] + dropHalf) >> drop) * std::uint32_t(tap->weight);
        }
#endif
        const std::uint32_t a = std::min<std::uint32_t>((sum[ia] + half) >> shift, 255);
        const std::uint32_t r = std::min<std::uint32_t>((sum[ir] + half) >> shift, a);
        const std::uint32_t g = std::min<std::uint32_t>((sum[ig] + half) >> shift, a);
        const std::uint32_t b = std::min<std::uint32_t>((sum[ib] + half) >> shift, a);
        out[j] = qRgba(int(r), int(g), int(b), int(a));
    }
}

} // namespace

PixelSpan pixelSpan(double from, double length)
{
    if (!std::isfinite(from) || !std::isfinite(length) || length <= 0)
        return {};
    PixelSpan s;
    s.first = clampToInt(std::ceil(from - 0.5));
    s.last = clampToInt(std::ceil(from + length - 0.5));
    if (s.last < s.first)
        s.last = s.first;
    return s;
}

// Area averaging (a box filter) rather than QPainter's smooth transform, which
// is bilinear: at the large factors of a thumbnail (an 800-pixel frame into 120)
// bilinear sampling reads only a few source pixels per output pixel, so thin
// lines vanish or stay at random and dithering turns into moire. Averaging every
// covered pixel keeps the picture's tone and detail. It works in premultiplied
// colour, so the colour under transparent pixels does not bleed into edges, and
// on fractional source rectangles, which QImage::scaled cannot take.
//
// The filter is separable and runs vertically first: for each output row the
// source rows of its footprint are summed, weighted, into one row of 32-bit
// accumulators over the covered columns (a plain multiply-add over bytes, which
// the compiler vectorises; this is where nearly all source pixels are read),
// then that row is reduced horizontally with the column weights. Weights are
// tabulated once per call and all arithmetic is integer, without divisions.
QImage resampleArea(const QImage &picture, const QRectF &source, int width, int height)
{
    if (picture.isNull() || width <= 0 || height <= 0 || !finite(source) || source.width() <= 0
        || source.height() <= 0)
        return {};

    QImage src = picture;
    if (src.format() != QImage::Format_ARGB32 && src.format() != QImage::Format_RGB32
        && src.format() != QImage::Format_ARGB32_Premultiplied)
        src = src.convertToFormat(QImage::Format_ARGB32);
    if (src.isNull())
        return {};
    const QImage::Format format = src.format();

    QImage out(width, height, QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return {};

    try {
        Taps hx = makeTaps(source.x(), source.width(), width, src.width());
        const Taps vy = makeTaps(source.y(), source.height(), height, src.height());

        if (hx.taps.empty()) {
            out.fill(0u);
            return out;
        }
        // Only the columns some output pixel covers are accumulated; the
        // column taps are made relative to the first of them.
        int x0 = src.width(), x1 = 0;
        for (const Tap &t : hx.taps) {
            x0 = std::min(x0, t.index);
            x1 = std::max(x1, t.index + 1);
        }
        for (Tap &t : hx.taps)
            t.index -= x0;
        const int columns = x1 - x0;
        const std::size_t values = std::size_t(columns) * 4;

        // Source rows in premultiplied form. Rows that are opaque throughout
        // (checked per row; screen frames nearly always are) are read in
        // place; others are converted into one of two slots, so a row shared
        // by two neighbouring output rows is converted once.
        struct Converted {
            int index = -1;
            std::vector<QRgb> pixels;
        };
        Converted cache[2];
        int nextSlot = 0;
        auto sourceRow = [&](int k) -> const QRgb * {
            const QRgb *line = reinterpret_cast<const QRgb *>(src.constScanLine(k)) + x0;
            if (format == QImage::Format_ARGB32_Premultiplied || rowOpaque(line, columns))
                return line;
            for (Converted &c : cache)
                if (c.index == k)
                    return c.pixels.data();
            Converted &c = cache[nextSlot];
            nextSlot ^= 1;
            c.index = k;
            c.pixels.resize(std::size_t(columns));
            if (format == QImage::Format_RGB32)
                forceOpaque(line, c.pixels.data(), columns);
            else
                premultiplyRow(line, c.pixels.data(), columns);
            return c.pixels.data();
        };

        std::vector<std::uint32_t> column(values);
        for (int i = 0; i < height; ++i) {
            const int vBegin = vy.begin[std::size_t(i)];
            const int vEnd = vy.begin[std::size_t(i) + 1];
            QRgb *line = reinterpret_cast<QRgb *>(out.scanLine(i));
            if (vBegin == vEnd) {
                std::fill(line, line + width, 0u);
                continue;
            }
            for (int t = vBegin; t < vEnd; ++t) {
                const Tap &tap = vy.taps[std::size_t(t)];
                const auto *bytes = reinterpret_cast<const std::uint8_t *>(sourceRow(tap.index));
                if (t == vBegin)
                    weightRow(column.data(), bytes, values, tap.weight);
                else
                    addWeightedRow(column.data(), bytes, values, tap.weight);
            }
            reduceRow(column.data(), hx, width, line);
        }
    } catch (const std::bad_alloc &) {
        // Working rows for a huge picture: reported as a null image, which
        // drawImage turns into OutOfMemory.
        return {};
    }
    return out;
}

Surface::Surface(QImage *target)
    : m_target(paintable(target) ? target : nullptr)
{
}

Status Surface::clear(std::uint32_t argb)
{
    if (!isValid())
        return InvalidParameter;
    switch (m_target->format()) {
    case QImage::Format_RGB32:
        m_target->fill(0xFF000000u | argb);
        break;
    case QImage::Format_ARGB32_Premultiplied:
        m_target->fill(uint(qPremultiply(argb)));
        break;
    default:
        m_target->fill(uint(argb));
        break;
    }
    return Ok;
}

Status Surface::drawRectangle(const Pen &pen, float x, float y, float width, float height)
{
    if (!isValid() || !std::isfinite(pen.width) || pen.width < 0)
        return InvalidParameter;
    if (!finite(QRectF(x, y, width, height)) || width < 0 || height < 0)
        return InvalidParameter;
    const double half = double(pen.width) / 2;
    const PixelSpan ox = pixelSpan(x - half, width + double(pen.width));
    const PixelSpan oy = pixelSpan(y - half, height + double(pen.width));
    PixelSpan ix = pixelSpan(x + half, width - double(pen.width));
    PixelSpan iy = pixelSpan(y + half, height - double(pen.width));
    if (ox.first >= ox.last || oy.first >= oy.last)
        return Ok;
    if (ix.first >= ix.last || iy.first >= iy.last) {
        // The pen is wider than the rectangle: the whole outer area is stroked.
        ix = PixelSpan{ox.first, ox.first};
        iy = PixelSpan{oy.first, oy.first};
    }
    // The outline is filled as four strips so that each pixel is painted once,
    // which keeps a translucent pen from darkening the corners.
    const QColor colour = QColor::fromRgba(pen.argb);
    const QRect bounds = m_target->rect();
    auto strip = [&](QPainter &p, int x0, int y0, int x1, int y1) {
        const QRect r = QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1)).intersected(bounds);
        if (x1 > x0 && y1 > y0 && !r.isEmpty())
            p.fillRect(r, colour);
    };
    QPainter painter(m_target);
    strip(painter, ox.first, oy.first, ox.last, iy.first);       // top
    strip(painter, ox.first, iy.last, ox.last, oy.last);         // bottom
    strip(painter, ox.first, iy.first, ix.first, iy.last);       // left
    strip(painter, ix.last, iy.first, ox.last, iy.last);         // right
    return Ok;
}

Status Surface::drawImage(const QImage &picture, const QRectF &target, const QRectF &source)
{
    if (!isValid() || picture.isNull() || !finite(target) || !finite(source))
        return InvalidParameter;
    if (source.width() <= 0 || source.height() <= 0
        || !source.intersects(QRectF(0, 0, picture.width(), picture.height())))
        return InvalidParameter;
    const PixelSpan tx = pixelSpan(target.x(), target.width());
    const PixelSpan ty = pixelSpan(target.y(), target.height());
    const int spanW = tx.last - tx.first;
    const int spanH = ty.last - ty.first;
    if (spanW <= 0 || spanH <= 0)
        return Ok;

    // Only the part of the destination that lands on the surface is computed.
    const int vx0 = std::max(tx.first, 0);
    const int vy0 = std::max(ty.first, 0);
    const int vx1 = std::min(tx.last, m_target->width());
    const int vy1 = std::min(ty.last, m_target->height());
    if (vx0 >= vx1 || vy0 >= vy1)
        return Ok;

    QPainter painter(m_target);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);

    const bool sameSize = integral(source.x()) && integral(source.y())
        && double(spanW) == source.width() && double(spanH) == source.height();
    if (sameSize) {
        // Unscaled: a plain copy of the pixels, blended over what is there.
        painter.drawImage(QPoint(tx.first, ty.first), picture, source.toRect());
        return Ok;
    }

    const double sx = source.width() / spanW;
    const double sy = source.height() / spanH;
    const QRectF visibleSource(source.x() + (vx0 - tx.first) * sx, source.y() + (vy0 - ty.first) * sy,
                               (vx1 - vx0) * sx, (vy1 - vy0) * sy);
    const QImage scaled = resampleArea(picture, visibleSource, vx1 - vx0, vy1 - vy0);
    if (scaled.isNull())
        return OutOfMemory;
    painter.drawImage(QPoint(vx0, vy0), scaled);
    return Ok;
}

} // namespace engine
