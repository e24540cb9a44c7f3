#include "imaging/engine/animwriter.h"

#include <libdeflate.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "imaging/engine/atomicfile.h"
#include "imaging/engine/framerecord.h"
#include "imaging/engine/lzwencoder.h"
#include "imaging/engine/palette.h"
#include "imaging/engine/pngwriter.h"

namespace engine {

namespace {

constexpr int MaxColours = 256;
// The largest 16-bit field: a GIF's delay (hundredths) and loop repeats, an
// APNG's delay numerator.
constexpr int MaxField = 65535;

// GIF pixels: alpha below half is transparent, the rest opaque; a transparent
// pixel has no colour.
inline std::uint32_t binaryPixel(std::uint32_t p)
{
    return (p >> 24) < 128 ? 0u : (p | 0xFF000000u);
}
// APNG pixels: every alpha kept, a fully transparent pixel has no colour.
inline std::uint32_t fullPixel(std::uint32_t p)
{
    return (p >> 24) == 0 ? 0u : p;
}

inline const std::uint32_t *row(const QImage &image, int y)
{
    return reinterpret_cast<const std::uint32_t *>(image.constScanLine(y));
}

// `source` as Format_ARGB32 with every pixel passed through `normalise`,
// written into `into` (whose buffer is used again when it has the size and
// nobody else holds it: a fresh frame costs a page fault per page).
template <typename F> void normaliseInto(const QImage &source, QImage *into, F normalise)
{
    const QImage frame = source.convertToFormat(QImage::Format_ARGB32);
    const int w = frame.width(), h = frame.height();
    if (into->size() != frame.size() || into->format() != QImage::Format_ARGB32 || !into->isDetached())
        *into = QImage(w, h, QImage::Format_ARGB32);
    if (into->isNull())
        return;
    for (int y = 0; y < h; ++y) {
        const std::uint32_t *in = row(frame, y);
        auto *line = reinterpret_cast<std::uint32_t *>(into->scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = normalise(in[x]);
    }
}

template <typename F> QImage normalised(const QImage &source, F normalise)
{
    QImage frame;
    normaliseInto(source, &frame, normalise);
    return frame;
}

Rect unite(const Rect &a, const Rect &b)
{
    if (a.empty())
        return b;
    if (b.empty())
        return a;
    const int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
    const int x1 = std::max(a.x + a.w, b.x + b.w), y1 = std::max(a.y + a.h, b.y + b.h);
    return Rect{x0, y0, x1 - x0, y1 - y0};
}

// Bounding box of the pixels for which `pick(a, b)` holds.
template <typename F> Rect boxWhere(const QImage &a, const QImage &b, F pick)
{
    const int w = a.width(), h = a.height();
    int x0 = w, y0 = h, x1 = -1, y1 = -1;
    for (int y = 0; y < h; ++y) {
        const std::uint32_t *ra = row(a, y);
        const std::uint32_t *rb = row(b, y);
        for (int x = 0; x < w; ++x) {
            if (!pick(ra[x], rb[x]))
                continue;
            x0 = std::min(x0, x);
            x1 = std::max(x1, x);
            y0 = std::min(y0, y);
            y1 = y;
        }
    }
    return x1 < 0 ? Rect{} : Rect{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

Rect changedRect(const QImage &before, const QImage &after)
{
    return boxWhere(before, after, [](std::uint32_t p, std::uint32_t q) { return p != q; });
}

// A rounding that keeps the sum of the written values within half a unit of
// the sum of the wanted ones: each value takes the error of the ones before.
class CarriedRounding {
public:
    // `wanted` in the same unit as the result.
    long next(double wanted, long low, long high)
    {
        const double want = wanted + m_carry;
        const long n = std::clamp(std::lrint(want), low, high);
        m_carry = want - double(n);
        return n;
    }

private:
    double m_carry = 0;
};

// ---------------------------------------------------------------- GIF

int transparentEntry(const std::vector<std::uint32_t> &palette)
{
    for (std::size_t i = 0; i < palette.size(); ++i)
        if ((palette[i] >> 24) == 0)
            return int(i);
    return -1;
}

void putLe16(std::vector<std::uint8_t> *out, int v)
{
    out->push_back(std::uint8_t(v & 0xFF));
    out->push_back(std::uint8_t((v >> 8) & 0xFF));
}

// Bits of a GIF colour table's size field: the table holds 2 << bits entries,
// at least two.
int tableBits(std::size_t colours)
{
    int bits = 0;
    while ((std::size_t(2) << bits) < colours)
        ++bits;
    return bits;
}

// A colour table padded with black to its power-of-two size.
void putColourTable(std::vector<std::uint8_t> *out, const std::vector<std::uint32_t> &palette)
{
    const std::size_t size = std::size_t(2) << tableBits(palette.size());
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint32_t c = i < palette.size() ? palette[i] : 0u;
        out->push_back(std::uint8_t(c >> 16));
        out->push_back(std::uint8_t(c >> 8));
        out->push_back(std::uint8_t(c));
    }
}

// The frame with the next one in hand, so that its disposal can make room
// for pixels the next frame turns transparent; `m_base` is the canvas a
// decoder holds before the pending frame is drawn. The file's blocks are
// written here directly; the image data goes through engine/lzwencoder.h.
class GifAnimationWriter final : public AnimationWriter {
public:
    GifAnimationWriter(const QString &path, const AnimationOptions &options)
        : m_file(path), m_options(options)
    {
        if (m_file.status() != Ok) {
            fail(m_file.status(), m_file.cause());
            return;
        }
        if (options.width <= 0 || options.height <= 0 || options.width > 65535
            || options.height > 65535) {
            fail(InvalidParameter, Cause::PictureTooLarge);
            return;
        }
        if (!options.sharedColours.empty())
            setGlobal(options.sharedColours);
        m_base = QImage(options.width, options.height, QImage::Format_ARGB32);
        if (m_base.isNull()) {
            fail(OutOfMemory, Cause::OutOfMemory);
            return;
        }
        m_base.fill(0);
    }

    Status addFrame(const QImage &frame, double delayMs) override
    {
        if (m_status != Ok)
            return m_status;
        if (frame.width() != m_options.width || frame.height() != m_options.height)
            return fail(InvalidParameter, Cause::EncodeFailed);
        QImage next = std::move(m_spare);
        normaliseInto(frame, &next, binaryPixel);
        if (next.isNull())
            return fail(OutOfMemory, Cause::OutOfMemory);
        if (!m_pending.isNull())
            writePending(&next);
        m_spare = std::move(m_pending);
        m_pending = std::move(next);
        m_pendingDelay = delayMs;
        return m_status;
    }

    Status finish() override
    {
        if (m_status != Ok)
            return m_status;
        if (m_pending.isNull())
            return fail(InvalidParameter, Cause::NoFrames);
        writePending(nullptr);
        if (m_status != Ok)
            return m_status;
        m_file.write(";", 1); // the trailer
        if (m_file.status() != Ok)
            return fail(m_file.status(), m_file.cause());
        Cause cause = Cause::None;
        const Status s = m_file.commit(&cause);
        return s == Ok ? Ok : fail(s, cause);
    }

private:
    void setGlobal(std::vector<std::uint32_t> palette)
    {
        // Room for a transparent entry lets later frames leave pixels alone.
        if (transparentEntry(palette) < 0 && palette.size() < std::size_t(MaxColours))
            palette.insert(palette.begin(), 0u);
        for (std::uint32_t &c : palette)
            c = binaryPixel(c);
        m_global = std::move(palette);
        m_globalTransparent = transparentEntry(m_global);
        for (std::size_t i = 0; i < m_global.size(); ++i)
            m_globalIndex.insert(m_global[i], std::uint8_t(i));
    }

    // The header, the logical screen with the global table and the loop block.
    void begin(std::vector<std::uint8_t> *out)
    {
        static const char header[] = "GIF89a";
        out->insert(out->end(), header, header + 6);
        putLe16(out, m_options.width);
        putLe16(out, m_options.height);
        // A global table, 8 bits of colour resolution, unsorted.
        out->push_back(std::uint8_t(0x80 | 0x70 | tableBits(m_global.size())));
        out->push_back(0); // background colour
        out->push_back(0); // aspect ratio: none given
        putColourTable(out, m_global);
        // The loop block counts repeats after the first play; without it a GIF
        // plays once.
        if (m_options.plays != 1) {
            const int repeats = m_options.plays == 0 ? 0 : std::min(m_options.plays - 1, MaxField);
            static const char app[] = "\x21\xFF\x0BNETSCAPE2.0\x03\x01";
            out->insert(out->end(), app, app + 16);
            putLe16(out, repeats);
            out->push_back(0);
        }
        m_begun = true;
    }

    // Hundredths for the pending frame. A delay under MinGifDelayMs is raised
    // and its error is not carried: taking it from later frames would shorten
    // frames that were right.
    int hundredths(double delayMs)
    {
        if (delayMs < MinGifDelayMs) {
            ++m_notes.raisedDelays;
            return int(MinGifDelayMs / 10);
        }
        return int(m_delays.next(delayMs / 10, long(MinGifDelayMs / 10), MaxField));
    }

    // Writes m_pending, knowing the frame after it (null for the last).
    void writePending(const QImage *next)
    {
        const QImage &frame = m_pending;
        // Pixels that are opaque now and transparent next can only be cleared
        // by this frame's disposal, which clears its whole rectangle.
        const Rect clear = next ? boxWhere(frame, *next,
                                           [](std::uint32_t p, std::uint32_t q) {
                                               return p != 0 && q == 0;
                                           })
                                : Rect{};
        Rect rect = unite(changedRect(m_base, frame), clear);
        if (rect.empty())
            rect = Rect{0, 0, 1, 1}; // a frame has at least one pixel

        // The rectangle's picture: pixels the canvas already shows are left
        // transparent (drawn over, they change nothing), unless the one table
        // of all frames has no transparent entry.
        const bool leaveUnchanged = m_options.sharedColours.empty() || m_globalTransparent >= 0;
        QImage part(rect.w, rect.h, QImage::Format_ARGB32);
        if (part.isNull()) {
            fail(OutOfMemory, Cause::OutOfMemory);
            return;
        }
        for (int y = 0; y < rect.h; ++y) {
            const std::uint32_t *f = row(frame, rect.y + y) + rect.x;
            const std::uint32_t *b = row(m_base, rect.y + y) + rect.x;
            auto *out = reinterpret_cast<std::uint32_t *>(part.scanLine(y));
            for (int x = 0; x < rect.w; ++x)
                out[x] = leaveUnchanged && f[x] == b[x] ? 0u : f[x];
        }

        IndexedFrame indexed;
        std::vector<std::uint32_t> local;
        if (!m_global.empty() && !indexFromGlobal(part, &indexed)) {
            if (!m_options.sharedColours.empty()) {
                fail(InvalidParameter, Cause::EncodeFailed); // a colour the pass did not see
                return;
            }
            if (!framePalette(part, &indexed))
                return;
            local = indexed.palette;
        } else if (m_global.empty()) {
            if (!framePalette(part, &indexed))
                return;
            const std::vector<std::uint32_t> own = indexed.palette;
            setGlobal(own); // may put a transparent entry in front
            std::array<std::uint8_t, 256> to{};
            for (std::size_t k = 0; k < own.size(); ++k)
                to[k] = std::uint8_t(m_globalIndex.find(binaryPixel(own[k])));
            for (std::uint8_t &i : indexed.indexes)
                i = to[i];
        }
        const std::vector<std::uint32_t> &table = local.empty() ? m_global : local;
        const int transparent = local.empty() ? m_globalTransparent : transparentEntry(local);
        std::vector<std::uint8_t> alternatives;
        if (leaveUnchanged && transparent >= 0)
            alternatives = unchangedColours(frame, part, rect, table, indexed.indexes);

        std::vector<std::uint8_t> out;
        out.reserve(std::size_t(rect.w) * std::size_t(rect.h) / 2 + 1024);
        if (!m_begun)
            begin(&out);
        // The graphic control block: disposal, delay, transparent entry.
        const int disposal = clear.empty() ? 1 : 2; // leave in place, or clear to the background
        out.push_back(0x21);
        out.push_back(0xF9);
        out.push_back(4);
        out.push_back(std::uint8_t(disposal << 2 | (transparent >= 0 ? 1 : 0)));
        putLe16(&out, hundredths(m_pendingDelay));
        out.push_back(std::uint8_t(transparent >= 0 ? transparent : 0));
        out.push_back(0);
        // The image descriptor, with the local table when there is one.
        out.push_back(0x2C);
        putLe16(&out, rect.x);
        putLe16(&out, rect.y);
        putLe16(&out, rect.w);
        putLe16(&out, rect.h);
        out.push_back(local.empty() ? 0 : std::uint8_t(0x80 | tableBits(local.size())));
        if (!local.empty())
            putColourTable(&out, local);
        int top = 0;
        for (std::uint8_t i : indexed.indexes) top = std::max<int>(top, i);
        for (std::uint8_t i : alternatives) top = std::max<int>(top, i);
        int codeSize = 2;
        while ((1 << codeSize) <= top) ++codeSize;
        if (getenv("FULLCS")) codeSize = std::max(2, tableBits(table.size()) + 1);
        std::vector<std::uint8_t> one, two;
        encodeGifLzw(indexed.indexes.data(), alternatives.empty() ? nullptr : alternatives.data(),
                     indexed.indexes.size(), codeSize, &one);
        if (getenv("BOTH") && !alternatives.empty()) {
            encodeGifLzw(alternatives.data(), indexed.indexes.data(), indexed.indexes.size(), codeSize, &two);
            if (two.size() < one.size()) one.swap(two);
        }
        out.insert(out.end(), one.begin(), one.end());
        if (!m_file.write(reinterpret_cast<const char *>(out.data()), qint64(out.size()))) {
            fail(m_file.status(), m_file.cause());
            return;
        }
        // The canvas before the next frame, as meant: a quantised frame's
        // pixels count as their true colours, or every later frame would
        // redraw the whole picture to mend the quantisation.
        for (int y = rect.y; y < rect.y + rect.h; ++y) {
            auto *b = reinterpret_cast<std::uint32_t *>(m_base.scanLine(y)) + rect.x;
            const std::uint32_t *f = row(frame, y) + rect.x;
            for (int x = 0; x < rect.w; ++x)
                b[x] = clear.empty() ? f[x] : 0u;
        }
    }

    // For each pixel of the rectangle the other index it may take: a pixel
    // left transparent because the canvas already shows it may as well be
    // drawn in its colour when the table has it (the LZW coder picks whichever
    // continues its run). Equal to the pixel's index where there is no choice.
    std::vector<std::uint8_t> unchangedColours(const QImage &frame, const QImage &part, const Rect &rect,
                                               const std::vector<std::uint32_t> &table,
                                               const std::vector<std::uint8_t> &indexes) const
    {
        ColourLookup index;
        for (std::size_t i = 0; i < table.size(); ++i)
            index.insert(binaryPixel(table[i]), std::uint8_t(i));
        std::vector<std::uint8_t> alternatives = indexes;
        for (int y = 0; y < rect.h; ++y) {
            const std::uint32_t *f = row(frame, rect.y + y) + rect.x;
            const std::uint32_t *p = row(part, y);
            std::uint8_t *alt = alternatives.data() + std::size_t(y) * std::size_t(rect.w);
            for (int x = 0; x < rect.w; ++x) {
                if (p[x] != 0 || f[x] == 0)
                    continue;
                const int i = index.find(f[x]);
                if (i >= 0)
                    alt[x] = std::uint8_t(i);
            }
        }
        return alternatives;
    }

    // Indexes into the global table; false when a colour is not in it.
    bool indexFromGlobal(const QImage &part, IndexedFrame *out)
    {
        const int w = part.width(), h = part.height();
        out->width = w;
        out->height = h;
        out->indexes.resize(std::size_t(w) * std::size_t(h));
        std::uint8_t *dst = out->indexes.data();
        for (int y = 0; y < h; ++y) {
            const std::uint32_t *src = row(part, y);
            for (int x = 0; x < w; ++x) {
                const int i = m_globalIndex.find(src[x]);
                if (i < 0)
                    return false;
                *dst++ = std::uint8_t(i);
            }
        }
        out->palette = m_global;
        out->transparentIndex = m_globalTransparent;
        return true;
    }

    // The rectangle's own exact colours, or libimagequant's when there are
    // more than a table holds.
    bool framePalette(const QImage &part, IndexedFrame *out)
    {
        if (exactPalette(part, AlphaMode::Binary, out))
            return true;
        if (!gifPalette(part, out)) {
            fail(OutOfMemory, Cause::OutOfMemory);
            return false;
        }
        ++m_notes.quantisedFrames;
        return true;
    }

    AtomicFile m_file;
    bool m_begun = false;
    AnimationOptions m_options;
    std::vector<std::uint32_t> m_global;
    ColourLookup m_globalIndex;
    int m_globalTransparent = -1;
    QImage m_base;
    QImage m_pending;
    QImage m_spare; // the frame before, its buffer used again
    double m_pendingDelay = 0;
    CarriedRounding m_delays;
};

// ---------------------------------------------------------------- APNG

void putBe32(QByteArray *out, std::uint32_t v)
{
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    out->append(b, 4);
}
void putBe16(QByteArray *out, std::uint16_t v)
{
    const char b[2] = {char(v >> 8), char(v)};
    out->append(b, 2);
}

struct CompressorDeleter {
    void operator()(libdeflate_compressor *c) const { libdeflate_free_compressor(c); }
};

std::uint8_t paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return std::uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// One scanline filtered the way that leaves the smallest sum of magnitudes,
// the usual choice for true colour; palette rows are best left unfiltered.
// `trial` is work space of n bytes.
void filterRow(const std::uint8_t *cur, const std::uint8_t *prev, std::size_t n, int bpp,
               bool adaptive, std::vector<std::uint8_t> *trial, std::vector<std::uint8_t> *out)
{
    const std::size_t start = out->size();
    out->push_back(0);
    out->insert(out->end(), cur, cur + n);
    if (!adaptive)
        return;
    std::uint8_t *best = out->data() + start;
    std::uint64_t bestSum = 0;
    for (std::size_t i = 0; i < n; ++i)
        bestSum += cur[i] < 128 ? cur[i] : 256 - cur[i];
    for (int type = 1; type < 5; ++type) {
        std::uint64_t sum = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const int a = i >= std::size_t(bpp) ? cur[i - bpp] : 0;
            const int b = prev ? prev[i] : 0;
            const int c = prev && i >= std::size_t(bpp) ? prev[i - bpp] : 0;
            std::uint8_t v = cur[i];
            switch (type) {
            case 1: v = std::uint8_t(v - a); break;
            case 2: v = std::uint8_t(v - b); break;
            case 3: v = std::uint8_t(v - ((a + b) >> 1)); break;
            default: v = std::uint8_t(v - paeth(a, b, c)); break;
            }
            (*trial)[i] = v;
            sum += v < 128 ? v : 256 - v;
        }
        if (sum < bestSum) {
            bestSum = sum;
            best[0] = std::uint8_t(type);
            std::copy(trial->begin(), trial->begin() + std::ptrdiff_t(n), best + 1);
        }
    }
}

// A palette animation is written once and then shared: its frames are worth
// libdeflate's slower search (5 % smaller than an export's PNG level for
// about four times the time, still a fraction of what optimisers take).
// True colour frames are many times larger and keep the export's level.
constexpr int ApngPaletteDeflateLevel = 10;

class ApngAnimationWriter final : public AnimationWriter {
public:
    ApngAnimationWriter(const QString &path, const AnimationOptions &options)
        : m_file(path), m_options(options), m_palette(!options.sharedColours.empty()),
          m_deflate(libdeflate_alloc_compressor(m_palette ? ApngPaletteDeflateLevel : TrueColourDeflateLevel)),
          m_trialDeflate(libdeflate_alloc_compressor(m_palette ? PngDeflateLevel : TrueColourDeflateLevel))
    {
        if (options.width <= 0 || options.height <= 0 || options.frameCount == 0) {
            fail(InvalidParameter, Cause::EncodeFailed);
            return;
        }
        if (!m_deflate || !m_trialDeflate) {
            fail(OutOfMemory, Cause::OutOfMemory);
            return;
        }
        static const char signature[] = "\x89PNG\r\n\x1a\n";
        m_file.write(signature, 8);
        QByteArray ihdr;
        putBe32(&ihdr, std::uint32_t(options.width));
        putBe32(&ihdr, std::uint32_t(options.height));
        ihdr.append(char(8));                   // bits per sample or index
        ihdr.append(char(m_palette ? 3 : 6));   // palette or RGBA
        ihdr.append(QByteArray(3, '\0'));       // deflate, adaptive filters, not interlaced
        chunk("IHDR", ihdr);
        QByteArray actl;
        putBe32(&actl, options.frameCount);
        putBe32(&actl, std::uint32_t(std::max(options.plays, 0)));
        chunk("acTL", actl);
        if (m_palette) {
            // See-through entries first keeps tRNS short.
            std::vector<std::uint32_t> colours = options.sharedColours;
            // A transparent entry lets later frames leave pixels alone.
            if (std::find(colours.begin(), colours.end(), 0u) == colours.end()
                && colours.size() < std::size_t(MaxColours))
                colours.push_back(0u);
            std::stable_partition(colours.begin(), colours.end(),
                                  [](std::uint32_t c) { return (c >> 24) != 255; });
            QByteArray plte, trns;
            for (std::size_t i = 0; i < colours.size(); ++i) {
                m_index.insert(colours[i], std::uint8_t(i));
                plte.append(char(colours[i] >> 16)).append(char(colours[i] >> 8)).append(char(colours[i]));
                if ((colours[i] >> 24) != 255)
                    trns.append(char(colours[i] >> 24));
            }
            chunk("PLTE", plte);
            if (!trns.isEmpty())
                chunk("tRNS", trns);
            m_transparent = m_index.find(0u);
        } else {
            m_transparent = 0;
        }
        if (m_file.status() != Ok)
            fail(m_file.status(), m_file.cause());
    }

    Status addFrame(const QImage &source, double delayMs) override
    {
        if (m_status != Ok)
            return m_status;
        if (source.width() != m_options.width || source.height() != m_options.height
            || m_written >= m_options.frameCount)
            return fail(InvalidParameter, Cause::EncodeFailed);
        QImage frame = std::move(m_spare);
        normaliseInto(source, &frame, fullPixel);
        if (frame.isNull())
            return fail(OutOfMemory, Cause::OutOfMemory);
        // Frame 0 must cover the canvas; later ones the rectangle that changed.
        Rect rect{0, 0, frame.width(), frame.height()};
        if (m_written > 0) {
            rect = changedRect(m_previous, frame);
            if (rect.empty())
                rect = Rect{0, 0, 1, 1};
        }

        // Milliseconds, with the rounding error carried on; a delay longer
        // than the field holds (65 s) goes in hundredths.
        long num = 0;
        std::uint16_t den = 1000;
        if (delayMs > MaxField) {
            num = std::clamp(std::lrint(delayMs / 10), 0L, long(MaxField));
            den = 100;
        } else {
            num = m_delays.next(delayMs, 0, MaxField);
        }

        // The rectangle replaces the canvas, or, when every pixel it changes
        // becomes opaque, it may be laid over the canvas with the pixels that
        // stay as they are transparent: the smaller of the two is written.
        // The choice is made at the quicker level of an export's PNG frames.
        bool over = false;
        if (m_written > 0 && m_transparent >= 0 && changesOnlyToOpaque(frame, rect)) {
            QByteArray whole, holes;
            if (!compressRect(frame, rect, false, m_trialDeflate.get(), &whole)
                || !compressRect(frame, rect, true, m_trialDeflate.get(), &holes))
                return m_status;
            over = holes.size() < whole.size();
        }
        QByteArray data;
        if (!compressRect(frame, rect, over, m_deflate.get(), &data))
            return m_status;

        QByteArray fctl;
        putBe32(&fctl, m_sequence++);
        putBe32(&fctl, std::uint32_t(rect.w));
        putBe32(&fctl, std::uint32_t(rect.h));
        putBe32(&fctl, std::uint32_t(rect.x));
        putBe32(&fctl, std::uint32_t(rect.y));
        putBe16(&fctl, std::uint16_t(num));
        putBe16(&fctl, den);
        fctl.append(char(0));            // dispose: none
        fctl.append(char(over ? 1 : 0)); // blend: over, or source
        chunk("fcTL", fctl);
        if (m_written > 0) {
            QByteArray fdat;
            putBe32(&fdat, m_sequence++);
            fdat.append(data);
            chunk("fdAT", fdat);
        } else {
            chunk("IDAT", data);
        }
        ++m_written;
        m_spare = std::move(m_previous);
        m_previous = std::move(frame);
        if (m_file.status() != Ok)
            return fail(m_file.status(), m_file.cause());
        return Ok;
    }

    Status finish() override
    {
        if (m_status != Ok)
            return m_status;
        if (m_written != m_options.frameCount)
            return fail(InvalidParameter, m_written == 0 ? Cause::NoFrames : Cause::EncodeFailed);
        chunk("IEND", QByteArray());
        Cause cause = Cause::None;
        const Status s = m_file.commit(&cause);
        return s == Ok ? Ok : fail(s, cause);
    }

private:
    // Every pixel of `rect` that differs from the canvas becomes opaque.
    bool changesOnlyToOpaque(const QImage &frame, const Rect &rect) const
    {
        for (int y = rect.y; y < rect.y + rect.h; ++y) {
            const std::uint32_t *f = row(frame, y);
            const std::uint32_t *b = row(m_previous, y);
            for (int x = rect.x; x < rect.x + rect.w; ++x)
                if (f[x] != b[x] && (f[x] >> 24) != 255)
                    return false;
        }
        return true;
    }

    // The rectangle's rows filtered and deflated into `out`; with `holes`,
    // pixels equal to the canvas's are transparent.
    bool compressRect(const QImage &frame, const Rect &rect, bool holes, libdeflate_compressor *deflate,
                      QByteArray *out)
    {
        const int bpp = m_palette ? 1 : 4;
        const std::size_t rowBytes = std::size_t(rect.w) * std::size_t(bpp);
        m_raw.clear();
        m_raw.reserve((rowBytes + 1) * std::size_t(rect.h));
        m_cur.resize(rowBytes);
        m_prev.resize(rowBytes);
        m_trial.resize(rowBytes);
        for (int y = 0; y < rect.h; ++y) {
            const std::uint32_t *src = row(frame, rect.y + y) + rect.x;
            const std::uint32_t *under = holes ? row(m_previous, rect.y + y) + rect.x : nullptr;
            for (int x = 0; x < rect.w; ++x) {
                const std::uint32_t p = under && under[x] == src[x] ? 0u : src[x];
                if (m_palette) {
                    const int i = m_index.find(p);
                    if (i < 0) {
                        fail(InvalidParameter, Cause::EncodeFailed);
                        return false;
                    }
                    m_cur[std::size_t(x)] = std::uint8_t(i);
                } else {
                    std::uint8_t *d = m_cur.data() + std::size_t(x) * 4;
                    d[0] = std::uint8_t(p >> 16);
                    d[1] = std::uint8_t(p >> 8);
                    d[2] = std::uint8_t(p);
                    d[3] = std::uint8_t(p >> 24);
                }
            }
            filterRow(m_cur.data(), y > 0 ? m_prev.data() : nullptr, rowBytes, bpp, !m_palette, &m_trial, &m_raw);
            std::swap(m_cur, m_prev);
        }
        out->resize(qsizetype(libdeflate_zlib_compress_bound(deflate, m_raw.size())));
        const std::size_t n = libdeflate_zlib_compress(deflate, m_raw.data(), m_raw.size(),
                                                       out->data(), std::size_t(out->size()));
        if (n == 0) {
            fail(GenericError, Cause::EncodeFailed);
            return false;
        }
        out->resize(qsizetype(n));
        return true;
    }

    void chunk(const char *type, const QByteArray &data)
    {
        QByteArray bytes;
        putBe32(&bytes, std::uint32_t(data.size()));
        bytes.append(type, 4);
        bytes.append(data);
        putBe32(&bytes, std::uint32_t(libdeflate_crc32(0, bytes.constData() + 4, std::size_t(bytes.size() - 4))));
        m_file.write(bytes);
    }

    AtomicFile m_file;
    AnimationOptions m_options;
    bool m_palette = false;
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> m_deflate;      // what is written
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> m_trialDeflate; // choosing a coding
    ColourLookup m_index;
    int m_transparent = -1; // the transparent entry (palette), 0 for RGBA
    QImage m_previous;
    QImage m_spare; // the frame before the previous, its buffer used again
    std::vector<std::uint8_t> m_raw, m_cur, m_prev, m_trial; // work space
    std::uint32_t m_sequence = 0;
    std::uint32_t m_written = 0;
    CarriedRounding m_delays;
};

// ---------------------------------------------------------------- WebP

struct AnimEncoderDeleter {
    void operator()(WebPAnimEncoder *e) const { WebPAnimEncoderDelete(e); }
};


// Holds each frame until the next one's start is known: a frame that would
// play 0 ms is never seen and libwebp refuses a timestamp that does not
// advance, so it is dropped.
class WebpAnimationWriter final : public AnimationWriter {
public:
    WebpAnimationWriter(const QString &path, const AnimationOptions &options)
        : m_path(path), m_options(options)
    {
        WebPAnimEncoderOptions eo;
        if (!WebPPictureInit(&m_pending) || !WebPAnimEncoderOptionsInit(&eo) || !WebPConfigInit(&m_config)) {
            fail(GenericError, Cause::NoEncoder);
            return;
        }
        // A 16-bit field: more plays than it holds would wrap to "for ever".
        eo.anim_params.loop_count = std::clamp(options.plays, 0, MaxField);
        m_config.lossless = options.quality < 0 ? 1 : 0;
        if (options.quality >= 0)
            m_config.quality = float(std::min(options.quality, 100));
        if (!WebPValidateConfig(&m_config)) {
            fail(InvalidParameter, Cause::EncodeFailed);
            return;
        }
        m_encoder.reset(WebPAnimEncoderNew(options.width, options.height, &eo));
        if (!m_encoder)
            fail(OutOfMemory, Cause::OutOfMemory);
    }

    ~WebpAnimationWriter() override { WebPPictureFree(&m_pending); }

    Status addFrame(const QImage &frame, double delayMs) override
    {
        if (m_status != Ok)
            return m_status;
        if (frame.width() != m_options.width || frame.height() != m_options.height)
            return fail(InvalidParameter, Cause::EncodeFailed);
        const int start = int(std::lrint(m_time));
        m_time += delayMs;
        if (m_hasPending && start > m_pendingStart && !put(m_pendingStart))
            return m_status;
        // Taken in at once: holding the caller's frame would make its decoder
        // copy the canvas to draw the next one.
        const QImage argb = frame.convertToFormat(QImage::Format_ARGB32);
        m_pending.use_argb = 1;
        m_pending.width = argb.width();
        m_pending.height = argb.height();
        // ARGB32 words lie in memory as B, G, R, A on the little-endian
        // machines this is built for.
        static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
        if (!WebPPictureImportBGRA(&m_pending, argb.constBits(), int(argb.bytesPerLine())))
            return fail(OutOfMemory, Cause::OutOfMemory);
        m_hasPending = true;
        m_pendingStart = start;
        return m_status;
    }

    Status finish() override
    {
        if (m_status != Ok)
            return m_status;
        if (!m_hasPending)
            return fail(InvalidParameter, Cause::NoFrames);
        int end = int(std::lrint(m_time));
        if (end > m_pendingStart || !m_added) {
            if (!put(m_pendingStart))
                return m_status;
            end = std::max(end, m_pendingStart + 1);
        }
        if (!WebPAnimEncoderAdd(m_encoder.get(), nullptr, end, nullptr))
            return fail(GenericError, Cause::EncodeFailed);
        WebPData data;
        WebPDataInit(&data);
        if (!WebPAnimEncoderAssemble(m_encoder.get(), &data)) {
            WebPDataClear(&data);
            return fail(GenericError, Cause::EncodeFailed);
        }
        Cause cause = Cause::None;
        const Status s = writeFileAtomically(
            m_path, QByteArray::fromRawData(reinterpret_cast<const char *>(data.bytes), qsizetype(data.size)),
            &cause);
        WebPDataClear(&data);
        return s == Ok ? Ok : fail(s, cause);
    }

private:
    bool put(int start)
    {
        if (!WebPAnimEncoderAdd(m_encoder.get(), &m_pending, start, &m_config)) {
            const bool memory = m_pending.error_code == VP8_ENC_ERROR_OUT_OF_MEMORY;
            fail(memory ? OutOfMemory : GenericError, memory ? Cause::OutOfMemory : Cause::EncodeFailed);
            return false;
        }
        m_added = true;
        return true;
    }

    QString m_path;
    AnimationOptions m_options;
    WebPConfig m_config{};
    std::unique_ptr<WebPAnimEncoder, AnimEncoderDeleter> m_encoder;
    double m_time = 0;
    WebPPicture m_pending{}; // the frame held back, when m_hasPending
    bool m_hasPending = false;
    int m_pendingStart = 0;
    bool m_added = false;
};

} // namespace

std::optional<AnimationFormat> animationFormatForName(const QString &path)
{
    const QString lower = path.toLower();
    if (lower.endsWith(QLatin1String(".gif")))
        return AnimationFormat::Gif;
    if (lower.endsWith(QLatin1String(".webp")))
        return AnimationFormat::Webp;
    if (lower.endsWith(QLatin1String(".png")) || lower.endsWith(QLatin1String(".apng")))
        return AnimationFormat::Apng;
    return std::nullopt;
}

ColourSet::ColourSet(AnimationFormat format) : m_binaryAlpha(format == AnimationFormat::Gif) {}

void ColourSet::add(const QImage &frame)
{
    if (m_overflow)
        return;
    // Runs of one colour are common: test a pixel again only when it differs
    // from the one before.
    std::uint32_t last = 0;
    bool haveLast = false;
    const int w = frame.width(), h = frame.height();
    for (int y = 0; y < h; ++y) {
        const std::uint32_t *line = row(frame, y);
        for (int x = 0; x < w; ++x) {
            if (haveLast && line[x] == last)
                continue;
            last = line[x];
            haveLast = true;
            const std::uint32_t p = m_binaryAlpha ? binaryPixel(last) : fullPixel(last);
            if (m_seen.find(p) >= 0)
                continue;
            if (int(m_colours.size()) == MaxColours) {
                m_overflow = true;
                m_colours.clear();
                return;
            }
            m_seen.insert(p, std::uint8_t(m_colours.size()));
            m_colours.push_back(p);
        }
    }
}

std::vector<std::uint32_t> ColourSet::colours() const
{
    std::vector<std::uint32_t> sorted = m_colours;
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

std::unique_ptr<AnimationWriter> AnimationWriter::create(const QString &path,
                                                         const AnimationOptions &options)
{
    switch (options.format) {
    case AnimationFormat::Gif: return std::make_unique<GifAnimationWriter>(path, options);
    case AnimationFormat::Apng: return std::make_unique<ApngAnimationWriter>(path, options);
    case AnimationFormat::Webp: break;
    }
    return std::make_unique<WebpAnimationWriter>(path, options);
}

} // namespace engine
