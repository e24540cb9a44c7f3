#include "core/sampling.h"

#include <QRegularExpression>

namespace {

// Decimals beyond this would overflow the exact arithmetic below for long
// animations; no real frame rate needs them.
constexpr int MaxRateDecimals = 9;
// Rates above this many samples per second would sample every millisecond
// several times over; refused rather than writing millions of files.
constexpr std::int64_t MaxRateWhole = 1000000;

} // namespace

std::optional<SampleRate> parseSampleRate(const QString &text)
{
    static const QRegularExpression decimal(QStringLiteral("^([0-9]+)(?:\\.([0-9]+))?$"));
    const QRegularExpressionMatch m = decimal.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QString whole = m.captured(1);
    const QString fraction = m.captured(2);
    if (fraction.size() > MaxRateDecimals || whole.size() > 7)
        return std::nullopt;
    SampleRate rate;
    rate.numerator = whole.toLongLong();
    if (rate.numerator > MaxRateWhole)
        return std::nullopt;
    for (QChar c : fraction) {
        rate.numerator = rate.numerator * 10 + c.digitValue();
        rate.denominator *= 10;
    }
    if (rate.numerator <= 0)
        return std::nullopt;
    return rate;
}

std::vector<Sample> sampleByTime(const std::vector<std::int64_t> &playedMs, SampleRate rate)
{
    // Sample k falls at k * 1000 * den / num ms; comparing k * 1000 * den with
    // a boundary times num keeps everything in whole numbers.
    __extension__ typedef __int128 Wide; // products of ms and rate parts overflow 64 bits
    const Wide step = Wide(1000) * rate.denominator;
    const Wide num = rate.numerator;
    std::vector<Sample> samples;
    Wide start = 0;
    std::int64_t k = 0;
    for (std::size_t i = 0; i < playedMs.size(); ++i) {
        const Wide end = start + (playedMs[i] > 0 ? playedMs[i] : 0);
        while (Wide(k) * step < end * num) {
            const Wide scaled = Wide(k) * step;
            samples.push_back(Sample{std::int64_t((2 * scaled + num) / (2 * num)),
                                     std::uint32_t(i)});
            ++k;
        }
        start = end;
    }
    return samples;
}
