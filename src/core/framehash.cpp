#include "core/framehash.h"

#include <xxhash.h>

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
    std::vector<unsigned char> row(std::size_t(argb.width()) * 4);
    for (int y = 0; y < argb.height(); ++y) {
        const auto *src = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        unsigned char *dst = row.data();
        for (int x = 0; x < argb.width(); ++x, dst += 4) {
            const QRgb p = src[x];
            if (qAlpha(p) == 0) {
                dst[0] = dst[1] = dst[2] = dst[3] = 0;
            } else {
                dst[0] = static_cast<unsigned char>(qRed(p));
                dst[1] = static_cast<unsigned char>(qGreen(p));
                dst[2] = static_cast<unsigned char>(qBlue(p));
                dst[3] = static_cast<unsigned char>(qAlpha(p));
            }
        }
        XXH3_64bits_update(state.get(), row.data(), row.size());
    }
    return XXH3_64bits_digest(state.get());
}

QString frameHashText(std::uint64_t hash)
{
    return QStringLiteral("%1").arg(hash, 16, 16, QLatin1Char('0'));
}
