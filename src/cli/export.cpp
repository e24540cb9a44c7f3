// export: the command's options. The run itself, over one file or thousands,
// is in batch.cpp; each file goes through the export run the dialog uses
// (core/exportrun.h), so both write exactly the same files.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "args.h"
#include "batch.h"
#include "cli.h"
#include "imaging/exportnames.h"

namespace cli {

namespace {

// More files at once than this gains nothing and risks running out of
// file descriptors and memory (each file holds a decoder and its frames).
constexpr int MaxJobs = 256;
// --memory in MiB: at least one, at most a tebibyte (more is no budget at all).
constexpr qint64 MaxMemoryMb = qint64(1) << 20;
constexpr qint64 BytesPerMb = qint64(1) << 20;

} // namespace

bool parseFrames(const QString &text, std::vector<FrameRange> *out)
{
    const QStringList parts = text.split(QLatin1Char(','));
    for (const QString &raw : parts) {
        const QString part = raw.trimmed();
        const int dash = part.indexOf(QLatin1Char('-'));
        bool ok1 = false;
        bool ok2 = false;
        FrameRange r{};
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

int exportCommand(const QStringList &rawArgs)
{
    const ParsedArgs args =
        parseArgs(rawArgs,
                  {QStringLiteral("to"), QStringLiteral("format"), QStringLiteral("frames"),
                   QStringLiteral("jobs"), QStringLiteral("report"), QStringLiteral("memory"),
                   QStringLiteral("fps")},
                  {QStringLiteral("quiet"), QStringLiteral("recursive"), QStringLiteral("skip-existing"),
                   QStringLiteral("timing"), QStringLiteral("pad"), QStringLiteral("unique")});
    if (!args.error.isEmpty())
        return usageError(args.error);
    if (args.positional.isEmpty())
        return usageError(QStringLiteral("export needs at least one file or folder"));
    if (!args.values.contains(QStringLiteral("to")) || args.values.value(QStringLiteral("to")).isEmpty())
        return usageError(QStringLiteral("export needs --to DIR"));

    BatchOptions options;
    options.inputs = args.positional;
    options.folder = args.values.value(QStringLiteral("to"));

    const QString formatName = args.values.value(QStringLiteral("format"), QStringLiteral("gif")).toLower();
    options.formatIndex = -1;
    const auto &formats = exportFormats();
    for (size_t i = 0; i < formats.size(); ++i)
        if (formatName == QLatin1String(formats[i].key))
            options.formatIndex = int(i);
    if (options.formatIndex < 0)
        return usageError(QStringLiteral("unknown format: %1").arg(formatName));

    if (args.values.contains(QStringLiteral("frames"))
        && !parseFrames(args.values.value(QStringLiteral("frames")), &options.ranges))
        return usageError(QStringLiteral("bad frame list: %1 (for example 2,5-7)")
                              .arg(args.values.value(QStringLiteral("frames"))));

    if (args.values.contains(QStringLiteral("jobs"))) {
        bool ok = false;
        options.jobs = args.values.value(QStringLiteral("jobs")).toInt(&ok);
        if (!ok || options.jobs < 1 || options.jobs > MaxJobs)
            return usageError(QStringLiteral("--jobs takes a number from 1 to %1").arg(MaxJobs));
    }
    if (args.values.contains(QStringLiteral("memory"))) {
        bool ok = false;
        const qint64 mb = args.values.value(QStringLiteral("memory")).toLongLong(&ok);
        if (!ok || mb < 1 || mb > MaxMemoryMb)
            return usageError(QStringLiteral("--memory takes a number of megabytes from 1 to %1").arg(MaxMemoryMb));
        options.memoryBytes = mb * BytesPerMb;
    }
    if (args.values.contains(QStringLiteral("report"))) {
        options.reportPath = args.values.value(QStringLiteral("report"));
        if (options.reportPath.isEmpty())
            return usageError(QStringLiteral("--report needs a file name"));
    }
    options.recursive = args.flags.contains(QStringLiteral("recursive"));
    options.skipExisting = args.flags.contains(QStringLiteral("skip-existing"));
    options.timing = args.flags.contains(QStringLiteral("timing"));
    options.pad = args.flags.contains(QStringLiteral("pad"));
    options.quiet = args.flags.contains(QStringLiteral("quiet"));
    options.unique = args.flags.contains(QStringLiteral("unique"));
    if (args.values.contains(QStringLiteral("fps"))) {
        options.fps = parseSampleRate(args.values.value(QStringLiteral("fps")));
        if (!options.fps)
            return usageError(QStringLiteral("--fps takes a rate above 0, a decimal number such as 10 or 2.5"));
        if (!options.ranges.empty())
            return usageError(QStringLiteral("--fps and --frames cannot go together"));
    }
    // Their file names are known only after decoding: an input is finished
    // when its timing file names files that are all there.
    if ((options.fps || options.unique) && options.skipExisting && !options.timing)
        return usageError(QStringLiteral("--skip-existing with --fps or --unique needs --timing"));
    return runBatch(options);
}

} // namespace cli
