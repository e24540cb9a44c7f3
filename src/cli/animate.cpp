// animate: chosen frames of a picture saved as a new GIF, APNG or WebP
// (core/animate.h), the order, speed and loop count as asked.

#include <cmath>

#include "args.h"
#include "batch.h"
#include "cli.h"
#include "core/animate.h"
#include "core/picturefacts.h"
#include "core/sampling.h"
#include "imaging/engine/allocator.h"
#include "selection.h"

namespace cli {

namespace {

// Plays a loop count can say in every format (a GIF's field holds repeats up
// to 65535; WebP's holds 16 bits).
constexpr int MaxPlays = 65535;
constexpr int MaxQuality = 100;

} // namespace

int animateCommand(const QStringList &rawArgs)
{
    const ParsedArgs args =
        parseArgs(rawArgs,
                  {QStringLiteral("to"), QStringLiteral("frames"), QStringLiteral("speed"),
                   QStringLiteral("loop"), QStringLiteral("quality")},
                  {QStringLiteral("reverse"), QStringLiteral("pingpong")});
    if (!args.error.isEmpty())
        return usageError(args.error);
    if (args.positional.size() != 1)
        return usageError(QStringLiteral("animate takes exactly one input file"));
    const QString source = args.positional.front();
    const QString target = args.values.value(QStringLiteral("to"));
    if (target.isEmpty())
        return usageError(QStringLiteral("animate needs --to OUT.gif, OUT.webp, OUT.png or OUT.apng"));

    AnimateRequest request;
    request.target = target;
    const auto format = engine::animationFormatForName(target);
    if (!format)
        return usageError(QStringLiteral("%1: the name must end in .gif, .webp, .png or .apng").arg(target));
    request.format = *format;

    const bool reverse = args.flags.contains(QStringLiteral("reverse"));
    const bool pingpong = args.flags.contains(QStringLiteral("pingpong"));
    if (reverse && pingpong)
        return usageError(QStringLiteral("--reverse and --pingpong exclude each other"));
    request.order = reverse ? FrameOrder::Reverse : pingpong ? FrameOrder::PingPong : FrameOrder::Forward;

    if (args.values.contains(QStringLiteral("speed"))) {
        const auto rate = parseSampleRate(args.values.value(QStringLiteral("speed")));
        const double speed = rate ? double(rate->numerator) / double(rate->denominator) : 0;
        if (!rate || speed < MinSpeed || speed > MaxSpeed)
            return usageError(QStringLiteral("--speed takes a number from 0.1 to 10"));
        request.speed = speed;
    }
    if (args.values.contains(QStringLiteral("loop"))
        && !parseIntIn(args.values.value(QStringLiteral("loop")), 0, MaxPlays, &request.plays))
        return usageError(QStringLiteral("--loop takes the number of plays, 0 (for ever) to %1").arg(MaxPlays));
    if (args.values.contains(QStringLiteral("quality"))) {
        if (request.format != engine::AnimationFormat::Webp)
            return usageError(QStringLiteral("--quality applies to WebP only (GIF and APNG are lossless)"));
        if (!parseIntIn(args.values.value(QStringLiteral("quality")), 0, MaxQuality, &request.quality))
            return usageError(QStringLiteral("--quality takes a number from 0 to 100"));
    }
    std::vector<FrameRange> ranges;
    if (args.values.contains(QStringLiteral("frames"))
        && !parseFrames(args.values.value(QStringLiteral("frames")), &ranges))
        return usageError(QStringLiteral("bad frame list: %1 (for example 2,5-7)")
                              .arg(args.values.value(QStringLiteral("frames"))));

    const std::unique_ptr<engine::Image> image = loadWithFrames(source, ranges, &request.frames);
    if (!image)
        return ExitFailed;

    // One file written on this thread: freed frames are better kept for the next.
    engine::reuseLargeBlocks();
    const AnimateResult result = animate(*image, isGifFile(source), request);
    if (result.cause != engine::Cause::None) {
        if (result.failedFrame >= 0)
            printError(QStringLiteral("%1: not written: frame %2 of %3: %4")
                           .arg(target).arg(result.failedFrame + 1).arg(source, causeText(result.cause)));
        else
            printError(QStringLiteral("%1: not written: %2").arg(target, causeText(result.cause)));
        return ExitFailed;
    }
    if (result.notes.raisedDelays > 0)
        printError(QStringLiteral("%1: %2 frame(s) shorter than 20 ms written as 20 ms "
                                  "(browsers would play them as 100 ms)")
                       .arg(target).arg(result.notes.raisedDelays));
    if (result.notes.quantisedFrames > 0)
        printError(QStringLiteral("%1: %2 frame(s) with more than 256 colours of their own "
                                  "reduced to 256 colours")
                       .arg(target).arg(result.notes.quantisedFrames));
    return ExitOk;
}

} // namespace cli
