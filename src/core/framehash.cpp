#include "core/framehash.h"

#include <xxhash.h>

#include <bit>
#include <memory>
#include <vector>

namespace {

struct StateDeleter {
    void operator()(XXH3_state_t *state) const { XXH3_freeState(state); }
};

void putLe32(unsigned char *dst, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        dst[i] = static_cast<unsigned char>(v >> (8 * i));
}

} // namespace

std::uint64_t frameHash(const QImage &frame)
{
    const QImage argb = frame.format() == QImage::Format_ARGB32
                            ? frame
                            : frame.convertToFormat(QImage::Format_ARGB32);
    std::unique_ptr<XXH3_state_t, StateDeleter> state(XXH3_createState());
    if (!state)
        throw std::bad_alloc();
    XXH3_64bits_reset(state.get());
    unsigned char size[8];
    putLe32(size, std::uint32_t(argb.width()));
    putLe32(size + 4, std::uint32_t(argb.height()));
    XXH3_64bits_update(state.get(), size, sizeof size);
    // One row at a time as R, G, B, A bytes: in a little-endian word that is
    // R | G << 8 | B << 16 | A << 24. Branch-free so the compiler vectorises it.
    std::vector<std::uint32_t> row(std::size_t(argb.width()));
    for (int y = 0; y < argb.height(); ++y) {
        const auto *src = reinterpret_cast<const std::uint32_t *>(argb.constScanLine(y));
        for (std::size_t x = 0; x < row.size(); ++x) {
            const std::uint32_t p = src[x];
            const std::uint32_t rgba = ((p >> 16) & 0xFFu) | (p & 0xFF00u) | ((p & 0xFFu) << 16) | (p & 0xFF000000u);
            const std::uint32_t visible = 0u - std::uint32_t((p >> 24) != 0);
            row[x] = rgba & visible;
        }
        if constexpr (std::endian::native == std::endian::big)
            for (std::uint32_t &w : row)
                w = ((w & 0xFFu) << 24) | ((w & 0xFF00u) << 8) | ((w >> 8) & 0xFF00u) | (w >> 24);
        XXH3_64bits_update(state.get(), row.data(), row.size() * sizeof(std::uint32_t));
    }
    return XXH3_64bits_digest(state.get());
}

QString frameHashText(std::uint64_t hash)
{
    return QStringLiteral("%1").arg(hash, 16, 16, QLatin1Char('0'));
}
