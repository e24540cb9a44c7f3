#include "imaging/engine/animwriter.h"

#include <gif_lib.h>

#include "imaging/engine/gifmap.h"
#include <libdeflate.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

#include "imaging/engine/atomicfile.h"
#include "imaging/engine/framerecord.h"
#include "imaging/engine/giferrors.h"
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

// `frame` as Format_ARGB32 with every pixel passed through `normalise`.
template <typename F> QImage normalised(const QImage &source, F normalise)
{
    QImage frame = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < frame.height(); ++y) {
        auto *line = reinterpret_cast<std::uint32_t *>(frame.scanLine(y));
        for (int x = 0; x < frame.width(); ++x)
            line[x] = normalise(line[x]);
    }
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
    int x0 = a.width(), y0 = a.height(), x1 = -1, y1 = -1;
    for (int y = 0; y < a.height(); ++y) {
        const std::uint32_t *ra = row(a, y);
        const std::uint32_t *rb = row(b, y);
        for (int x = 0; x < a.width(); ++x) {
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

// Bits the GIF LZW coder would write for `indexes` with this minimum code
// size: the same dictionary growth and resets as the encoder, no output.
std::size_t lzwCodedBits(const std::vector<std::uint8_t> &indexes, int minCodeSize)
{
    constexpr int MaxCode = 4096;
    constexpr std::size_t Slots = 8192; // open addressing, at most half full
    const int clear = 1 << minCodeSize;
    std::vector<std::uint32_t> keys(Slots);
    std::vector<std::uint16_t> codes(Slots);
    std::vector<std::uint32_t> stamps(Slots, 0);
    std::uint32_t stamp = 1;
    int next = clear + 2, size = minCodeSize + 1;
    std::size_t bits = std::size_t(size); // the opening clear code
    if (indexes.empty())
        return bits;
    std::uint32_t prefix = indexes[0];
    for (std::size_t i = 1; i < indexes.size(); ++i) {
        const std::uint32_t key = (prefix << 8) | indexes[i];
        std::size_t slot = (key * 2654435761u) & (Slots - 1);
        while (stamps[slot] == stamp && keys[slot] != key)
            slot = (slot + 1) & (Slots - 1);
        if (stamps[slot] == stamp) {
            prefix = codes[slot];
            continue;
        }
        bits += std::size_t(size);
        if (next < MaxCode) {
            stamps[slot] = stamp;
            keys[slot] = key;
            codes[slot] = std::uint16_t(next);
            if (next == (1 << size) && size < 12)
                ++size;
            ++next;
        } else {
            bits += std::size_t(size); // clear code, and the dictionary starts again
            ++stamp;
            next = clear + 2;
            size = minCodeSize + 1;
        }
        prefix = indexes[i];
    }
    return bits + 2 * std::size_t(size); // the last code and the end code
}

struct GifCloser {
    void operator()(GifFileType *gif) const
    {
        int error = 0;
        EGifCloseFile(gif, &error); // frees the handle even when it fails
    }
};

int transparentEntry(const std::vector<std::uint32_t> &palette)
{
    for (std::size_t i = 0; i < palette.size(); ++i)
        if ((palette[i] >> 24) == 0)
            return int(i);
    return -1;
}

// The frame with the next one in hand, so that its disposal can make room
// for pixels the next frame turns transparent; `m_base` is the canvas a
// decoder holds before the pending frame is drawn.
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
        QImage next = normalised(frame, binaryPixel);
        if (next.isNull())
            return fail(OutOfMemory, Cause::OutOfMemory);
        if (!m_pending.isNull())
            writePending(&next);
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
        int error = 0;
        if (EGifCloseFile(m_gif.release(), &error) != GIF_OK && m_file.status() == Ok)
            return fail(GenericError, Cause::EncodeFailed);
        if (m_file.status() != Ok)
            return fail(m_file.status(), m_file.cause());
        Cause cause = Cause::None;
        const Status s = m_file.commit(&cause);
        return s == Ok ? Ok : fail(s, cause);
    }

private:
    static int output(GifFileType *gif, const GifByteType *bytes, int len)
    {
        auto *file = static_cast<AtomicFile *>(gif->UserData);
        return file->write(reinterpret_cast<const char *>(bytes), len) ? len : 0;
    }

    Status gifFailed()
    {
        if (m_file.status() != Ok)
            return fail(m_file.status(), m_file.cause());
        return fail(m_gif ? statusFromGifError(m_gif->Error) : GenericError, Cause::EncodeFailed);
    }

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
            m_globalIndex.emplace(m_global[i], std::uint8_t(i));
    }

    Status begin()
    {
        int error = 0;
        m_gif.reset(EGifOpen(&m_file, output, &error));
        if (!m_gif)
            return fail(statusFromGifError(error), Cause::OutOfMemory);
        EGifSetGifVersion(m_gif.get(), true);
        GifMapPtr map = makeGifMap(m_global);
        if (!map)
            return fail(OutOfMemory, Cause::OutOfMemory);
        if (EGifPutScreenDesc(m_gif.get(), m_options.width, m_options.height, 8, 0, map.get()) != GIF_OK)
            return gifFailed();
        // The loop block counts repeats after the first play; without it a GIF
        // plays once.
        if (m_options.plays != 1) {
            const int repeats = m_options.plays == 0 ? 0 : std::min(m_options.plays - 1, MaxField);
            const unsigned char app[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
            const unsigned char sub[] = {1, std::uint8_t(repeats & 0xFF), std::uint8_t(repeats >> 8)};
            if (EGifPutExtensionLeader(m_gif.get(), APPLICATION_EXT_FUNC_CODE) != GIF_OK
                || EGifPutExtensionBlock(m_gif.get(), sizeof app, app) != GIF_OK
                || EGifPutExtensionBlock(m_gif.get(), sizeof sub, sub) != GIF_OK
                || EGifPutExtensionTrailer(m_gif.get()) != GIF_OK)
                return gifFailed();
        }
        return Ok;
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
                to[k] = m_globalIndex[binaryPixel(own[k])];
            for (std::uint8_t &i : indexed.indexes)
                i = to[i];
        }
        const int transparent = local.empty() ? m_globalTransparent : transparentEntry(local);
        if (leaveUnchanged && transparent >= 0)
            keepUnchangedWhereSmaller(frame, part, rect, local.empty() ? m_global : local, &indexed);

        if (!m_gif && begin() != Ok)
            return;
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = clear.empty() ? DISPOSE_DO_NOT : DISPOSE_BACKGROUND;
        gcb.UserInputFlag = false;
        gcb.DelayTime = hundredths(m_pendingDelay);
        gcb.TransparentColor = transparent;
        GifByteType ext[4];
        const std::size_t n = EGifGCBToExtension(&gcb, ext);
        if (EGifPutExtension(m_gif.get(), GRAPHICS_EXT_FUNC_CODE, int(n), ext) != GIF_OK) {
            gifFailed();
            return;
        }
        GifMapPtr localMap;
        if (!local.empty()) {
            localMap = makeGifMap(local);
            if (!localMap) {
                fail(OutOfMemory, Cause::OutOfMemory);
                return;
            }
        } else if (m_gif->Image.ColorMap) {
            // giflib keeps the last local table and, given none, forgets it
            // without freeing it.
            GifFreeMapObject(m_gif->Image.ColorMap);
            m_gif->Image.ColorMap = nullptr;
        }
        if (EGifPutImageDesc(m_gif.get(), rect.x, rect.y, rect.w, rect.h, false, localMap.get()) != GIF_OK) {
            gifFailed();
            return;
        }
        // EGifPutLine masks the row in place: hand it a copy.
        std::vector<GifPixelType> line(static_cast<std::size_t>(rect.w));
        for (int y = 0; y < rect.h; ++y) {
            const std::uint8_t *src = indexed.indexes.data() + std::size_t(y) * std::size_t(rect.w);
            std::copy(src, src + rect.w, line.begin());
            if (EGifPutLine(m_gif.get(), line.data(), rect.w) != GIF_OK) {
                gifFailed();
                return;
            }
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

    // Unchanged pixels left transparent usually compress better, but not
    // always (a transparent hole in a flat area breaks its runs): where the
    // table has their colours, the smaller of the two codings is kept.
    void keepUnchangedWhereSmaller(const QImage &frame, const QImage &part, const Rect &rect,
                                   const std::vector<std::uint32_t> &table, IndexedFrame *indexed)
    {
        std::unordered_map<std::uint32_t, std::uint8_t> index;
        for (std::size_t i = table.size(); i-- > 0;)
            index[binaryPixel(table[i])] = std::uint8_t(i);
        std::vector<std::uint8_t> whole = indexed->indexes;
        bool any = false;
        for (int y = 0; y < rect.h; ++y) {
            const std::uint32_t *f = row(frame, rect.y + y) + rect.x;
            const std::uint32_t *p = row(part, y);
            for (int x = 0; x < rect.w; ++x) {
                if (p[x] != 0 || f[x] == 0)
                    continue;
                const auto it = index.find(f[x]);
                if (it == index.end())
                    return;
                whole[std::size_t(y) * std::size_t(rect.w) + std::size_t(x)] = it->second;
                any = true;
            }
        }
        int depth = 2;
        while ((1u << depth) < table.size())
            ++depth;
        if (any && lzwCodedBits(whole, depth) < lzwCodedBits(indexed->indexes, depth))
            indexed->indexes = std::move(whole);
    }

    // Indexes into the global table; false when a colour is not in it.
    bool indexFromGlobal(const QImage &part, IndexedFrame *out)
    {
        out->width = part.width();
        out->height = part.height();
        out->indexes.resize(std::size_t(part.width()) * std::size_t(part.height()));
        std::uint8_t *dst = out->indexes.data();
        for (int y = 0; y < part.height(); ++y) {
            const std::uint32_t *src = row(part, y);
            for (int x = 0; x < part.width(); ++x) {
                const auto it = m_globalIndex.find(src[x]);
                if (it == m_globalIndex.end())
                    return false;
                *dst++ = it->second;
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
    std::unique_ptr<GifFileType, GifCloser> m_gif; // after m_file: closed first
    AnimationOptions m_options;
    std::vector<std::uint32_t> m_global;
    std::unordered_map<std::uint32_t, std::uint8_t> m_globalIndex;
    int m_globalTransparent = -1;
    QImage m_base;
    QImage m_pending;
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

class ApngAnimationWriter final : public AnimationWriter {
public:
    ApngAnimationWriter(const QString &path, const AnimationOptions &options)
        : m_file(path), m_options(options), m_palette(!options.sharedColours.empty()),
          // The levels the PNG frames of an export use (engine/pngwriter.h).
          m_deflate(libdeflate_alloc_compressor(m_palette ? PngDeflateLevel : TrueColourDeflateLevel))
    {
        if (options.width <= 0 || options.height <= 0 || options.frameCount == 0) {
            fail(InvalidParameter, Cause::EncodeFailed);
            return;
        }
        if (!m_deflate) {
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
            std::stable_partition(colours.begin(), colours.end(),
                                  [](std::uint32_t c) { return (c >> 24) != 255; });
            QByteArray plte, trns;
            for (std::size_t i = 0; i < colours.size(); ++i) {
                m_index.emplace(colours[i], std::uint8_t(i));
                plte.append(char(colours[i] >> 16)).append(char(colours[i] >> 8)).append(char(colours[i]));
                if ((colours[i] >> 24) != 255)
                    trns.append(char(colours[i] >> 24));
            }
            chunk("PLTE", plte);
            if (!trns.isEmpty())
                chunk("tRNS", trns);
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
        QImage frame = normalised(source, fullPixel);
        if (frame.isNull())
            return fail(OutOfMemory, Cause::OutOfMemory);
        // Frame 0 must cover the canvas; later ones replace what changed.
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
        QByteArray fctl;
        putBe32(&fctl, m_sequence++);
        putBe32(&fctl, std::uint32_t(rect.w));
        putBe32(&fctl, std::uint32_t(rect.h));
        putBe32(&fctl, std::uint32_t(rect.x));
        putBe32(&fctl, std::uint32_t(rect.y));
        putBe16(&fctl, std::uint16_t(num));
        putBe16(&fctl, den);
        fctl.append(char(0)); // dispose: none
        fctl.append(char(0)); // blend: source (the rectangle replaces the canvas)
        chunk("fcTL", fctl);

        const int bpp = m_palette ? 1 : 4;
        const std::size_t rowBytes = std::size_t(rect.w) * std::size_t(bpp);
        std::vector<std::uint8_t> raw;
        raw.reserve((rowBytes + 1) * std::size_t(rect.h));
        std::vector<std::uint8_t> cur(rowBytes), prev(rowBytes), trial(rowBytes);
        for (int y = 0; y < rect.h; ++y) {
            const std::uint32_t *src = row(frame, rect.y + y) + rect.x;
            for (int x = 0; x < rect.w; ++x) {
                if (m_palette) {
                    const auto it = m_index.find(src[x]);
                    if (it == m_index.end())
                        return fail(InvalidParameter, Cause::EncodeFailed);
                    cur[std::size_t(x)] = it->second;
                } else {
                    std::uint8_t *d = cur.data() + std::size_t(x) * 4;
                    d[0] = std::uint8_t(src[x] >> 16);
                    d[1] = std::uint8_t(src[x] >> 8);
                    d[2] = std::uint8_t(src[x]);
                    d[3] = std::uint8_t(src[x] >> 24);
                }
            }
            filterRow(cur.data(), y > 0 ? prev.data() : nullptr, rowBytes, bpp, !m_palette, &trial, &raw);
            std::swap(cur, prev);
        }
        QByteArray data;
        if (m_written > 0)
            putBe32(&data, m_sequence++);
        const qsizetype head = data.size();
        data.resize(head + qsizetype(libdeflate_zlib_compress_bound(m_deflate.get(), raw.size())));
        const std::size_t n = libdeflate_zlib_compress(m_deflate.get(), raw.data(), raw.size(),
                                                       data.data() + head, std::size_t(data.size() - head));
        if (n == 0)
            return fail(GenericError, Cause::EncodeFailed);
        data.resize(head + qsizetype(n));
        chunk(m_written > 0 ? "fdAT" : "IDAT", data);
        ++m_written;
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
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> m_deflate;
    std::unordered_map<std::uint32_t, std::uint8_t> m_index;
    QImage m_previous;
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
        if (!WebPAnimEncoderOptionsInit(&eo) || !WebPConfigInit(&m_config)) {
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

    Status addFrame(const QImage &frame, double delayMs) override
    {
        if (m_status != Ok)
            return m_status;
        if (frame.width() != m_options.width || frame.height() != m_options.height)
            return fail(InvalidParameter, Cause::EncodeFailed);
        const int start = int(std::lrint(m_time));
        m_time += delayMs;
        if (!m_pending.isNull() && start > m_pendingStart && !put(m_pending, m_pendingStart))
            return m_status;
        m_pending = frame.convertToFormat(QImage::Format_ARGB32);
        m_pendingStart = start;
        return m_status;
    }

    Status finish() override
    {
        if (m_status != Ok)
            return m_status;
        if (m_pending.isNull())
            return fail(InvalidParameter, Cause::NoFrames);
        int end = int(std::lrint(m_time));
        if (end > m_pendingStart || !m_added) {
            if (!put(m_pending, m_pendingStart))
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
    bool put(const QImage &frame, int start)
    {
        WebPPicture picture;
        if (!WebPPictureInit(&picture)) {
            fail(GenericError, Cause::EncodeFailed);
            return false;
        }
        picture.use_argb = 1;
        picture.width = frame.width();
        picture.height = frame.height();
        // ARGB32 words lie in memory as B, G, R, A on the little-endian
        // machines this is built for.
        static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
        bool ok = WebPPictureImportBGRA(&picture, frame.constBits(), int(frame.bytesPerLine()))
                  && WebPAnimEncoderAdd(m_encoder.get(), &picture, start, &m_config);
        WebPPictureFree(&picture);
        if (!ok) {
            fail(picture.error_code == VP8_ENC_ERROR_OUT_OF_MEMORY ? OutOfMemory : GenericError,
                 picture.error_code == VP8_ENC_ERROR_OUT_OF_MEMORY ? Cause::OutOfMemory
                                                                   : Cause::EncodeFailed);
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
    QImage m_pending;
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
    for (int y = 0; y < frame.height(); ++y) {
        const std::uint32_t *line = row(frame, y);
        for (int x = 0; x < frame.width(); ++x) {
            if (haveLast && line[x] == last)
                continue;
            last = line[x];
            haveLast = true;
            const std::uint32_t p = m_binaryAlpha ? binaryPixel(last) : fullPixel(last);
            const auto it = std::lower_bound(m_sorted.begin(), m_sorted.end(), p);
            if (it != m_sorted.end() && *it == p)
                continue;
            if (int(m_sorted.size()) == MaxColours) {
                m_overflow = true;
                m_sorted.clear();
                return;
            }
            m_sorted.insert(it, p);
        }
    }
}

std::vector<std::uint32_t> ColourSet::colours() const
{
    return m_sorted;
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
