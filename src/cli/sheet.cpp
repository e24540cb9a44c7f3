// sheet: chosen frames of a picture laid out on sprite sheets with their
// texture-atlas JSON (core/sheet.h).

#include "args.h"
#include "batch.h"
#include "cli.h"
#include "core/animate.h"
#include "core/picturefacts.h"
#include "core/sheet.h"
#include "imaging/engine/allocator.h"
#include "imaging/exportnames.h"
#include "selection.h"

namespace cli {

namespace {

// Beyond these a sheet could not be held even one band at a time.
constexpr int MaxSheetSize = 65535;
constexpr int MaxPadding = 4096;

} // namespace

int sheetCommand(const QStringList &rawArgs)
{
    const ParsedArgs args =
        parseArgs(rawArgs,
                  {QStringLiteral("to"), QStringLiteral("frames"), QStringLiteral("columns"),
                   QStringLiteral("padding"), QStringLiteral("max-size"), QStringLiteral("json")},
                  {QStringLiteral("strip"), QStringLiteral("trim"), QStringLiteral("unique")});
    if (!args.error.isEmpty())
        return usageError(args.error);
    if (args.positional.size() != 1)
        return usageError(QStringLiteral("sheet takes exactly one input file"));
    const QString source = args.positional.front();
    SheetRequest request;
    request.target = args.values.value(QStringLiteral("to"));
    if (!request.target.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
        return usageError(QStringLiteral("sheet needs --to OUT.png"));
    const QString v = source.mid(source.lastIndexOf(QLatin1Char('/')) + 1);
    request.frameName = StripExtension(v);

    request.strip = args.flags.contains(QStringLiteral("strip"));
    if (args.values.contains(QStringLiteral("columns"))) {
        if (request.strip)
            return usageError(QStringLiteral("--columns and --strip exclude each other"));
        if (!parseIntIn(args.values.value(QStringLiteral("columns")), 1, MaxSheetSize, &request.columns))
            return usageError(QStringLiteral("--columns takes a number of at least 1"));
    }
    if (args.values.contains(QStringLiteral("padding"))
        && !parseIntIn(args.values.value(QStringLiteral("padding")), 0, MaxPadding, &request.padding))
        return usageError(QStringLiteral("--padding takes a number from 0 to %1").arg(MaxPadding));
    if (args.values.contains(QStringLiteral("max-size"))
        && !parseIntIn(args.values.value(QStringLiteral("max-size")), 1, MaxSheetSize, &request.maxSize))
        return usageError(QStringLiteral("--max-size takes a number from 1 to %1").arg(MaxSheetSize));
    const QString form = args.values.value(QStringLiteral("json"), QStringLiteral("hash"));
    if (form != QLatin1String("hash") && form != QLatin1String("array"))
        return usageError(QStringLiteral("--json takes hash or array"));
    request.form = form == QLatin1String("hash") ? AtlasForm::Hash : AtlasForm::Array;
    request.trim = args.flags.contains(QStringLiteral("trim"));
    request.unique = args.flags.contains(QStringLiteral("unique"));
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
    const SheetResult result = makeSheets(*image, isGifFile(source), request);
    if (result.tooLargeCell.isValid())
        return usageError(QStringLiteral("a cell of %1 x %2 with padding %3 does not fit --max-size %4")
                              .arg(result.tooLargeCell.width())
                              .arg(result.tooLargeCell.height())
                              .arg(request.padding)
                              .arg(request.maxSize));
    if (result.cause != engine::Cause::None) {
        if (result.failedFrame >= 0)
            printError(QStringLiteral("%1: not written: frame %2 of %3: %4")
                           .arg(request.target).arg(result.failedFrame + 1).arg(source, causeText(result.cause)));
        else
            printError(QStringLiteral("%1: not written: %2").arg(request.target, causeText(result.cause)));
        return ExitFailed;
    }
    return ExitOk;
}

} // namespace cli
