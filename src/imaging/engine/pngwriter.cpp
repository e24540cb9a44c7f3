#include "imaging/engine/pngwriter.h"

#include <libdeflate.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace engine {

namespace {

struct CompressorDeleter {
    void operator()(libdeflate_compressor *c) const { libdeflate_free_compressor(c); }
};

libdeflate_compressor *compressor(int level)
{
    // One compressor per thread and level: they hold sizeable work buffers, so
    // making one per frame would cost more than compressing a small frame.
    thread_local std::array<std::unique_ptr<libdeflate_compressor, CompressorDeleter>, 13> cache;
    if (level < 1 || level > 12)
        level = PngDeflateLevel;
    auto &c = cache[std::size_t(level)];
    if (!c)
        c.reset(libdeflate_alloc_compressor(level));
    return c.get();
}

// Work buffers up to this size are kept per thread for the next frame (a fresh
// one costs a page fault per page); bigger ones, for frames far over screen
// size, are freed after use, where the faults cost little next to the encoding.
constexpr std::size_t KeptBufferBytes = std::size_t(16) << 20;

// A per-thread work buffer emptied when the frame is done, its memory kept
// only within KeptBufferBytes.
struct ReleaseOnExit {
    std::vector<std::uint8_t> &buffer;
    ~ReleaseOnExit()
    {
        if (buffer.capacity() > KeptBufferBytes)
            std::vector<std::uint8_t>().swap(buffer);
        else
            buffer.clear();
    }
};

void putU32(char *p, std::uint32_t v)
{
    p[0] = char(v >> 24);
    p[1] = char(v >> 16);
    p[2] = char(v >> 8);
    p[3] = char(v);
}

class ChunkWriter {
public:
    explicit ChunkWriter(QByteArray *out) : m_out(out) {}

    // Appends a chunk whose data is already at the end of the array: the
    // caller reserved 8 bytes for length and type first via begin().
    qsizetype begin(const char type[4])
    {
        const qsizetype start = m_out->size();
        m_out->append("\0\0\0\0", 4);
        m_out->append(type, 4);
        return start;
    }
    void end(qsizetype start)
    {
        const qsizetype dataLen = m_out->size() - start - 8;
        putU32(m_out->data() + start, std::uint32_t(dataLen));
        const std::uint32_t crc = libdeflate_crc32(
            0, m_out->constData() + start + 4, std::size_t(dataLen) + 4);
        char c[4];
        putU32(c, crc);
        m_out->append(c, 4);
    }
    void chunk(const char type[4], const void *data, std::size_t len)
    {
        const qsizetype s = begin(type);
        m_out->append(static_cast<const char *>(data), qsizetype(len));
        end(s);
    }

private:
    QByteArray *m_out;
};

void writeHeader(QByteArray *out, int w, int h, int depth, int colourType)
{
    out->append("\x89PNG\r\n\x1a\n", 8);
    char ihdr[13];
    putU32(ihdr, std::uint32_t(w));
    putU32(ihdr + 4, std::uint32_t(h));
    ihdr[8] = char(depth);
    ihdr[9] = char(colourType);
    ihdr[10] = ihdr[11] = ihdr[12] = 0;
    ChunkWriter(out).chunk("IHDR", ihdr, sizeof ihdr);
}

// Compresses `raw` (filtered scan lines) into an IDAT chunk, then IEND.
bool writeData(QByteArray *out, const std::vector<std::uint8_t> &raw, int level)
{
    libdeflate_compressor *c = compressor(level);
    if (!c)
        return false;
    // The worst case is a little over the input; compressed here first so a
    // frame's file is allocated at its real size, not at the worst case.
    thread_local std::vector<std::uint8_t> deflated;
    deflated.resize(libdeflate_zlib_compress_bound(c, raw.size()));
    const std::size_t n = libdeflate_zlib_compress(c, raw.data(), raw.size(), deflated.data(), deflated.size());
    const ReleaseOnExit release{deflated};
    if (n == 0)
        return false;
    out->reserve(out->size() + qsizetype(n) + 24);
    ChunkWriter writer(out);
    const qsizetype start = writer.begin("IDAT");
    out->append(reinterpret_cast<const char *>(deflated.data()), qsizetype(n));
    writer.end(start);
    writer.chunk("IEND", nullptr, 0);
    return true;
}

inline std::uint8_t paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return std::uint8_t(a);
    return std::uint8_t(pb <= pc ? b : c);
}

inline std::uint32_t magnitude(std::uint8_t v)
{
    return v < 128 ? v : 256u - v;
}

// Filters one row with the filter whose output has the smallest sum of
// absolute values (the usual heuristic) and writes the filter byte and the
// row to `dst`. One plain loop per filter so the compiler can vectorise them.
void filterRow(const std::uint8_t *cur, const std::uint8_t *prev, std::size_t n, std::size_t bpp,
               std::uint8_t *dst, std::vector<std::uint8_t> &scratch)
{
    scratch.resize(4 * n);
    std::uint8_t *out[5] = {const_cast<std::uint8_t *>(cur), scratch.data(), scratch.data() + n,
                            scratch.data() + 2 * n, scratch.data() + 3 * n};
    std::uint32_t sums[5] = {0, 0, 0, 0, 0};
    for (std::size_t i = 0; i < n; ++i)
        sums[0] += magnitude(cur[i]);
    // Sub
    for (std::size_t i = 0; i < bpp; ++i)
        out[1][i] = cur[i];
    for (std::size_t i = bpp; i < n; ++i)
        out[1][i] = std::uint8_t(cur[i] - cur[i - bpp]);
    if (prev) {
        // Up
        for (std::size_t i = 0; i < n; ++i)
            out[2][i] = std::uint8_t(cur[i] - prev[i]);
        // Average
        for (std::size_t i = 0; i < bpp; ++i)
            out[3][i] = std::uint8_t(cur[i] - (prev[i] >> 1));
        for (std::size_t i = bpp; i < n; ++i)
            out[3][i] = std::uint8_t(cur[i] - ((cur[i - bpp] + prev[i]) >> 1));
        // Paeth
        for (std::size_t i = 0; i < bpp; ++i)
            out[4][i] = std::uint8_t(cur[i] - prev[i]);
        for (std::size_t i = bpp; i < n; ++i)
            out[4][i] = std::uint8_t(cur[i] - paeth(cur[i - bpp], prev[i], prev[i - bpp]));
    }
    const int filters = prev ? 5 : 2; // on the first row Up and Paeth equal None / Sub
    for (int f = 1; f < filters; ++f) {
        std::uint32_t sum = 0;
        const std::uint8_t *o = out[f];
        for (std::size_t i = 0; i < n; ++i)
            sum += magnitude(o[i]);
        sums[f] = sum;
    }
    int best = 0;
    for (int f = 1; f < filters; ++f)
        if (sums[f] < sums[best])
            best = f;
    dst[0] = std::uint8_t(best);
    std::memcpy(dst + 1, out[best], n);
}

} // namespace

QByteArray encodeIndexedPng(const IndexedFrame &frame, int level)
{
    const int w = frame.width;
    const int h = frame.height;
    const std::size_t colours = frame.palette.size();
    const int depth = colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8;
    const std::size_t rowBytes = (std::size_t(w) * std::size_t(depth) + 7) / 8;
    // Kept per thread: a fresh buffer per frame costs page faults, not just memory.
    thread_local std::vector<std::uint8_t> raw;
    raw.resize((rowBytes + 1) * std::size_t(h));
    const ReleaseOnExit release{raw};

    const std::uint8_t *src = frame.indexes.data();
    std::uint8_t *dst = raw.data();
    const int perByte = 8 / depth;
    for (int y = 0; y < h; ++y) {
        *dst++ = 0; // palette rows compress best unfiltered
        if (depth == 8) {
            std::memcpy(dst, src, std::size_t(w));
            src += w;
            dst += w;
            continue;
        }
        // Whole bytes first (the compiler unrolls these), then the ragged end.
        const int whole = w / perByte;
        if (depth == 4) {
            for (int i = 0; i < whole; ++i, src += 2)
                *dst++ = std::uint8_t((src[0] << 4) | src[1]);
        } else if (depth == 2) {
            for (int i = 0; i < whole; ++i, src += 4)
                *dst++ = std::uint8_t((src[0] << 6) | (src[1] << 4) | (src[2] << 2) | src[3]);
        } else {
            for (int i = 0; i < whole; ++i, src += 8)
                *dst++ = std::uint8_t((src[0] << 7) | (src[1] << 6) | (src[2] << 5) | (src[3] << 4)
                                      | (src[4] << 3) | (src[5] << 2) | (src[6] << 1) | src[7]);
        }
        const int rest = w - whole * perByte;
        if (rest > 0) {
            std::uint8_t byte = 0;
            for (int k = 0; k < perByte; ++k)
                byte = std::uint8_t((byte << depth) | (k < rest ? *src++ : 0));
            *dst++ = byte;
        }
    }

    QByteArray out;
    writeHeader(&out, w, h, depth, 3);
    std::vector<std::uint8_t> plte;
    std::vector<std::uint8_t> trns;
    plte.reserve(colours * 3);
    for (std::size_t i = 0; i < colours; ++i) {
        const std::uint32_t c = frame.palette[i];
        plte.push_back(std::uint8_t(c >> 16));
        plte.push_back(std::uint8_t(c >> 8));
        plte.push_back(std::uint8_t(c));
        if ((c >> 24) != 0xFF)
            trns.resize(i + 1, 0xFF);
        if (i < trns.size())
            trns[i] = std::uint8_t(c >> 24);
    }
    ChunkWriter writer(&out);
    writer.chunk("PLTE", plte.data(), plte.size());
    if (!trns.empty())
        writer.chunk("tRNS", trns.data(), trns.size());
    if (!writeData(&out, raw, level))
        return {};
    return out;
}

namespace {

// A true-colour frame's rows, filtered, before they are compressed.
struct FilteredRows {
    int width = 0;
    int height = 0;
    bool opaque = true;
    std::vector<std::uint8_t> raw; // filter byte and row, per row
};

// Fills `rows` from an ARGB32 frame (`raw` stays empty when memory ran out).
void filterTrueColour(const QImage &frame, FilteredRows &rows)
{
    const int w = frame.width();
    const int h = frame.height();
    bool opaque = true;
    for (int y = 0; y < h && opaque; ++y) {
        const auto *p = reinterpret_cast<const std::uint32_t *>(frame.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            if ((p[x] >> 24) != 0xFF) {
                opaque = false;
                break;
            }
        }
    }
    const int bpp = opaque ? 3 : 4;
    const std::size_t rowBytes = std::size_t(w) * std::size_t(bpp);
    try {
        rows.raw.resize((rowBytes + 1) * std::size_t(h));
    } catch (const std::bad_alloc &) {
        return;
    }
    std::vector<std::uint8_t> line[2] = {std::vector<std::uint8_t>(rowBytes),
                                         std::vector<std::uint8_t>(rowBytes)};
    std::vector<std::uint8_t> scratch;
    for (int y = 0; y < h; ++y) {
        const auto *p = reinterpret_cast<const std::uint32_t *>(frame.constScanLine(y));
        std::uint8_t *cur = line[y & 1].data();
        std::uint8_t *o = cur;
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = p[x];
            *o++ = std::uint8_t(c >> 16);
            *o++ = std::uint8_t(c >> 8);
            *o++ = std::uint8_t(c);
            if (!opaque)
                *o++ = std::uint8_t(c >> 24);
        }
        const std::uint8_t *prev = y > 0 ? line[(y - 1) & 1].data() : nullptr;
        filterRow(cur, prev, rowBytes, std::size_t(bpp), rows.raw.data() + std::size_t(y) * (rowBytes + 1), scratch);
    }
    rows.width = w;
    rows.height = h;
    rows.opaque = opaque;
}

// An RGB (all opaque) or RGBA PNG of the filtered rows.
QByteArray compressTrueColour(const FilteredRows &rows, int level)
{
    if (rows.raw.empty())
        return {};
    QByteArray out;
    writeHeader(&out, rows.width, rows.height, 8, rows.opaque ? 2 : 6);
    if (!writeData(&out, rows.raw, level))
        return {};
    return out;
}

} // namespace

QByteArray encodePng(QImage frame, int level, const std::function<void()> &pixelsDone)
{
    if (frame.format() != QImage::Format_ARGB32)
        frame = frame.convertToFormat(QImage::Format_ARGB32);
    if (frame.isNull())
        return {};
    auto letGo = [&] {
        frame = QImage();
        if (pixelsDone)
            pixelsDone();
    };
    IndexedFrame indexed;
    if (exactPalette(frame, AlphaMode::Full, &indexed)) {
        letGo();
        return encodeIndexedPng(indexed, level ? level : PngDeflateLevel);
    }
    // Kept per thread (within KeptBufferBytes): a frame's worth of rows would
    // be mapped anew each time.
    thread_local FilteredRows rows;
    const ReleaseOnExit release{rows.raw};
    filterTrueColour(frame, rows);
    letGo();
    return compressTrueColour(rows, level ? level : TrueColourDeflateLevel);
}

} // namespace engine
