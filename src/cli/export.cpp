// export: writes a GIF's frames as separate pictures through the export run the
// dialog uses (core/exportrun.h), so both write exactly the same files.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "args.h"
#include "cli.h"
#include "core/exportrun.h"
#include "core/giffacts.h"
#include "imaging/engine/image.h"
#include "imaging/exportnames.h"

namespace cli {

namespace {

struct Range {
    std::uint64_t first;
    std::uint64_t last;
};

// "2,5-7" -> {2..2, 5..7}; frame numbers count from 1. False on bad syntax.
bool parseFrames(const QString &text, std::vector<Range> *out)
{
    const QStringList parts = text.split(QLatin1Char(','));
    for (const QString &raw : parts) {
        const QString part = raw.trimmed();
        const int dash = part.indexOf(QLatin1Char('-'));
        bool ok1 = false;
        bool ok2 = false;
        Range r{};
        if (dash < 0) {
            r.first = r.last = part.toULongLong(&ok1);
            ok2 = true;
        } else {
            r.first = part.left(dash).trimmed().toULongLong(&ok1);
            r.last = part.mid(dash + 1).trimmed().toULongLong(&ok2);
        }
        if (!ok1 || !ok2 || r.first == 0 || r.last < r.first)
            return false;
        out->push_back(r);
    }
    return !out->empty();
}

bool selected(const std::vector<Range> &ranges, std::uint64_t number)
{
    if (ranges.empty())
        return true;
    return std::any_of(ranges.begin(), ranges.end(),
                       [number](const Range &r) { return number >= r.first && number <= r.last; });
}

} // namespace

int runExport(const QStringList &rawArgs)
{
    const ParsedArgs args = parseArgs(rawArgs, {QStringLiteral("to"), QStringLiteral("format"),
                                                QStringLiteral("frames")},
                                      {QStringLiteral("quiet")});
    if (!args.error.isEmpty())
        return usageError(args.error);
    if (args.positional.size() != 1)
        return usageError(QStringLiteral("export takes exactly one GIF file"));
    if (!args.values.contains(QStringLiteral("to")) || args.values.value(QStringLiteral("to")).isEmpty())
        return usageError(QStringLiteral("export needs --to DIR"));
    const QString source = args.positional.front();
    const QString folder = args.values.value(QStringLiteral("to"));

    const QString formatName = args.values.value(QStringLiteral("format"), QStringLiteral("gif")).toLower();
    int formatIndex = -1;
    const auto &formats = exportFormats();
    for (size_t i = 0; i < formats.size(); ++i)
        if (formatName == QLatin1String(formats[i].key))
            formatIndex = int(i);
    if (formatIndex < 0)
        return usageError(QStringLiteral("unknown format: %1").arg(formatName));

    std::vector<Range> ranges;
    if (args.values.contains(QStringLiteral("frames"))
        && !parseFrames(args.values.value(QStringLiteral("frames")), &ranges))
        return usageError(QStringLiteral("bad frame list: %1 (for example 2,5-7)")
                              .arg(args.values.value(QStringLiteral("frames"))));

    // The frame count decides which listed frames exist; the run reads the file again.
    engine::Status status = engine::Ok;
    std::uint32_t count = 0;
    {
        const std::unique_ptr<engine::Image> image = engine::Image::load(source, &status);
        if (!image) {
            printError(QStringLiteral("%1: cannot read the picture: %2")
                           .arg(source, causeText(loadFailureCause(status))));
            return ExitFailed;
        }
        count = image->frameCount();
    }
    if (!makeOutputFolder(folder))
        return ExitFailed;

    ExportRequest request;
    request.source = source;
    request.folder = exportFolder(folder);
    request.formatIndex = formatIndex;
    if (ranges.empty()) {
        request.allFrames = true;
    } else {
        for (std::uint32_t i = 0; i < count; ++i)
            if (selected(ranges, std::uint64_t(i) + 1))
                request.frames.push_back(int(i));
    }

    Progress progress("export", request.allFrames ? count : request.frames.size(),
                      args.flags.contains(QStringLiteral("quiet")));
    ExportControl control;
    control.progress = [&progress](int done, int) { progress.update(std::uint64_t(done)); };
    const ExportResult result = runExport(request, control);

    int failures = 0;
    if (result.sourceError != engine::Cause::None) {
        printError(QStringLiteral("%1: cannot read the picture: %2")
                       .arg(source, causeText(result.sourceError)));
        ++failures;
    }
    bool stopSaid = false;
    for (const ExportFailure &f : result.failures) {
        if (f.reading && result.sourceError != engine::Cause::None)
            continue; // said once above
        const int number = f.frame + 1;
        if (result.stoppedBy != engine::Cause::None && f.cause == result.stoppedBy && !f.reading) {
            // A stop is one line, however many files were in flight when it came.
            ++failures;
            if (stopSaid)
                continue;
            stopSaid = true;
            printError(QStringLiteral("%1: cannot save frame %2: %3; stopped, %4 more files not written")
                           .arg(f.path).arg(number).arg(causeText(f.cause))
                           .arg(result.notAttempted + int(std::count_if(
                               result.failures.begin(), result.failures.end(),
                               [&](const ExportFailure &g) { return g.cause == f.cause && !g.reading; })) - 1));
            continue;
        }
        if (f.cause == engine::Cause::FrameUnreadable)
            // Never another frame under this number.
            printError(QStringLiteral("%1: frame %2 cannot be decoded (%3); %4 not written")
                           .arg(source).arg(number).arg(statusText(f.status), f.path));
        else if (f.reading)
            printError(QStringLiteral("%1: frame %2: %3; %4 not written")
                           .arg(source).arg(number).arg(causeText(f.cause), f.path));
        else
            printError(QStringLiteral("%1: cannot save frame %2: %3")
                           .arg(f.path).arg(number).arg(causeText(f.cause)));
        ++failures;
    }
    // Frames asked for that the GIF does not have.
    for (const Range &r : ranges) {
        if (r.last <= count)
            continue;
        const std::uint64_t from = std::max<std::uint64_t>(r.first, std::uint64_t(count) + 1);
        if (from == r.last)
            printError(QStringLiteral("%1: there is no frame %2 (the picture has %3)")
                           .arg(source).arg(from).arg(count));
        else
            printError(QStringLiteral("%1: there are no frames %2-%3 (the picture has %4)")
                           .arg(source).arg(from).arg(r.last).arg(count));
        ++failures;
    }
    return failures ? ExitFailed : ExitOk;
}

} // namespace cli
