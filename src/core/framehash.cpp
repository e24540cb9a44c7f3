#include "core/framehash.h"

#include "core/framehashrows.h"

#if defined(FG_HASH_AVX2)
std::uint64_t frameHashRowsAvx2(const unsigned char *bits, std::ptrdiff_t stride, int width, int height);
#endif

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the frame hash reads pixels as little-endian words");

std::uint64_t frameHash(const QImage &frame)
{
    const QImage argb = frame.format() == QImage::Format_ARGB32
                            ? frame
                            : frame.convertToFormat(QImage::Format_ARGB32);
#if defined(FG_HASH_AVX2)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        return frameHashRowsAvx2(argb.constBits(), argb.bytesPerLine(), argb.width(), argb.height());
#endif
    return hashArgbRows(argb.constBits(), argb.bytesPerLine(), argb.width(), argb.height());
}

QString frameHashText(std::uint64_t hash)
{
    return QStringLiteral("%1").arg(hash, 16, 16, QLatin1Char('0'));
}
