#include "imaging/engine/pngstream.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "imaging/engine/atomicfile.h"

namespace engine {

namespace {

// zlib's level: 6 is its default, where the size stops shrinking much for the
// time spent on flat sprite pictures.
constexpr int DeflateLevel = 6;
// Compressed bytes gathered before they go out as one IDAT chunk: large
// enough that chunk headers do not count, small beside a band of cells.
constexpr std::size_t ChunkBytes = std::size_t(64) << 10;

void putBe32(std::uint8_t *p, std::uint32_t v)
{
    p[0] = std::uint8_t(v >> 24);
    p[1] = std::uint8_t(v >> 16);
    p[2] = std::uint8_t(v >> 8);
    p[3] = std::uint8_t(v);
}

} // namespace

struct PngStreamWriter::Stream {
    explicit Stream(const QString &path) : file(path) {}
    ~Stream()
    {
        if (open)
            deflateEnd(&z);
    }
    AtomicFile file;
    z_stream z{};
    bool open = false;
};

PngStreamWriter::PngStreamWriter(const QString &path, int width, int height)
    : m_stream(std::make_unique<Stream>(path)), m_width(width), m_height(height)
{
    if (width <= 0 || height <= 0) {
        fail(InvalidParameter, Cause::EncodeFailed);
        return;
    }
    if (deflateInit(&m_stream->z, DeflateLevel) != Z_OK) {
        fail(OutOfMemory, Cause::OutOfMemory);
        return;
    }
    m_stream->open = true;
    const std::size_t rowBytes = std::size_t(width) * 4;
    m_previous.assign(rowBytes, 0);
    m_current.resize(rowBytes);
    m_filtered.resize(rowBytes + 1);
    m_trial.resize(rowBytes);
    m_out.resize(ChunkBytes);
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    m_stream->file.write(reinterpret_cast<const char *>(signature), 8);
    std::uint8_t ihdr[13] = {};
    putBe32(ihdr, std::uint32_t(width));
    putBe32(ihdr + 4, std::uint32_t(height));
    ihdr[8] = 8; // bits per sample
    ihdr[9] = 6; // RGBA
    chunk("IHDR", ihdr, sizeof ihdr);
    m_stream->z.next_out = m_out.data();
    m_stream->z.avail_out = uInt(m_out.size());
}

PngStreamWriter::~PngStreamWriter() = default;

Status PngStreamWriter::fail(Status status, Cause cause)
{
    if (m_status == Ok) {
        m_status = status;
        m_cause = cause;
    }
    return m_status;
}

void PngStreamWriter::chunk(const char *type, const std::uint8_t *data, std::size_t size)
{
    std::uint8_t head[8];
    putBe32(head, std::uint32_t(size));
    std::copy(type, type + 4, head + 4);
    uLong crc = crc32(0, head + 4, 4);
    if (size > 0)
        crc = crc32(crc, data, uInt(size));
    std::uint8_t tail[4];
    putBe32(tail, std::uint32_t(crc));
    AtomicFile &f = m_stream->file;
    f.write(reinterpret_cast<const char *>(head), 8);
    if (size > 0)
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    f.write(reinterpret_cast<const char *>(tail), 4);
    if (f.status() != Ok)
        fail(f.status(), f.cause());
}

// Writes the full output buffer (or, with `all`, whatever is in it) as IDAT.
bool PngStreamWriter::flushOut(bool all)
{
    z_stream &z = m_stream->z;
    const std::size_t used = m_out.size() - z.avail_out;
    if (used == 0 || (!all && z.avail_out != 0))
        return m_status == Ok;
    chunk("IDAT", m_out.data(), used);
    z.next_out = m_out.data();
    z.avail_out = uInt(m_out.size());
    return m_status == Ok;
}

Status PngStreamWriter::addRow(const std::uint32_t *argb)
{
    if (m_status != Ok)
        return m_status;
    if (m_rows >= m_height)
        return fail(InvalidParameter, Cause::EncodeFailed);
    const std::size_t n = m_current.size();
    // ARGB words to R, G, B, A bytes: on the little-endian machines this is
    // built for, swapping the words' red and blue bytes does it, in a loop that
    // vectorises.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
    if (argb) {
        std::uint8_t *bytes = m_current.data();
        for (int x = 0; x < m_width; ++x) {
            const std::uint32_t p = argb[x];
            const std::uint32_t q = (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
            std::memcpy(bytes + std::size_t(x) * 4, &q, 4);
        }
    } else {
        std::fill(m_current.begin(), m_current.end(), std::uint8_t(0));
    }
    // The filter that leaves the smallest sum of magnitudes. One plain loop
    // per filter (the compiler vectorises all but Paeth's): this choice costs
    // more than the deflate that follows.
    const std::uint8_t *cur = m_current.data(), *up = m_previous.data();
    auto magnitude = [](std::uint8_t v) { return std::uint32_t(v < 128 ? v : 256 - v); };
    std::uint8_t *t = m_trial.data();
    std::uint64_t best = 0;
    for (std::size_t i = 0; i < n; ++i)
        best += magnitude(cur[i]);
    m_filtered[0] = 0;
    std::copy(cur, cur + n, m_filtered.begin() + 1);
    auto consider = [&](std::uint8_t type) {
        std::uint64_t sum = 0;
        for (std::size_t i = 0; i < n; ++i)
            sum += magnitude(t[i]);
        if (sum < best) {
            best = sum;
            m_filtered[0] = type;
            std::copy(t, t + n, m_filtered.begin() + 1);
        }
    };
    for (std::size_t i = 0; i < 4; ++i)
        t[i] = cur[i];
    for (std::size_t i = 4; i < n; ++i)
        t[i] = std::uint8_t(cur[i] - cur[i - 4]);
    consider(1);
    for (std::size_t i = 0; i < n; ++i)
        t[i] = std::uint8_t(cur[i] - up[i]);
    consider(2);
    for (std::size_t i = 0; i < 4; ++i)
        t[i] = std::uint8_t(cur[i] - (up[i] >> 1));
    for (std::size_t i = 4; i < n; ++i)
        t[i] = std::uint8_t(cur[i] - ((cur[i - 4] + up[i]) >> 1));
    consider(3);
    for (std::size_t i = 0; i < 4; ++i)
        t[i] = std::uint8_t(cur[i] - up[i]); // Paeth of (0, b, 0) is b
    // Paeth's choice without branches (its distances as |b - c|, |a - c| and
    // |a + b - 2c|), so that this loop vectorises too.
    for (std::size_t i = 4; i < n; ++i) {
        const std::int16_t a = cur[i - 4], b = up[i], c = up[i - 4];
        const std::int16_t pa = std::int16_t(std::abs(b - c)), pb = std::int16_t(std::abs(a - c)),
                           pc = std::int16_t(std::abs(a + b - 2 * c));
        const std::int16_t pick = (pa <= pb) & (pa <= pc) ? a : pb <= pc ? b : c;
        t[i] = std::uint8_t(cur[i] - pick);
    }
    consider(4);
    std::swap(m_previous, m_current);
    ++m_rows;

    z_stream &z = m_stream->z;
    z.next_in = m_filtered.data();
    z.avail_in = uInt(m_filtered.size());
    while (z.avail_in > 0) {
        if (deflate(&z, Z_NO_FLUSH) == Z_STREAM_ERROR)
            return fail(GenericError, Cause::EncodeFailed);
        if (!flushOut(false))
            return m_status;
    }
    return m_status;
}

Status PngStreamWriter::finish()
{
    if (m_status != Ok)
        return m_status;
    if (m_rows != m_height)
        return fail(InvalidParameter, Cause::EncodeFailed);
    z_stream &z = m_stream->z;
    for (;;) {
        const int r = deflate(&z, Z_FINISH);
        if (r == Z_STREAM_ERROR)
            return fail(GenericError, Cause::EncodeFailed);
        if (!flushOut(r == Z_STREAM_END))
            return m_status;
        if (r == Z_STREAM_END)
            break;
    }
    chunk("IEND", nullptr, 0);
    if (m_status != Ok)
        return m_status;
    Cause cause = Cause::None;
    const Status s = m_stream->file.commit(&cause);
    return s == Ok ? Ok : fail(s, cause);
}

} // namespace engine
