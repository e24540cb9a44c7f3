// export: writes a GIF's frames as separate pictures, named as the export dialog
// names them. Frames are decoded in order on this thread while worker threads
// encode the ones already decoded (engine::FrameSaver keeps the queue short).

#include <QFileInfo>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "args.h"
#include "cli.h"
#include "imaging/engine/framesaver.h"
#include "imaging/engine/image.h"
#include "imaging/filesize.h"
#include "imaging/exportnames.h"
#include "imaging/gdiplus.h"

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
                                      {});
    if (!args.error.isEmpty())
        return usageError(args.error);
    if (args.positional.size() != 1)
        return usageError(QStringLiteral("export takes exactly one GIF file"));
    if (!args.values.contains(QStringLiteral("to")) || args.values.value(QStringLiteral("to")).isEmpty())
        return usageError(QStringLiteral("export needs --to DIR"));
    const QString source = args.positional.front();
    const QString folder = args.values.value(QStringLiteral("to"));

    const QString formatName = args.values.value(QStringLiteral("format"), QStringLiteral("gif")).toLower();
    const ExportFormat *format = nullptr;
    for (const ExportFormat &f : exportFormats())
        if (formatName == QLatin1String(f.key))
            format = &f;
    if (!format)
        return usageError(QStringLiteral("unknown format: %1").arg(formatName));

    std::vector<Range> ranges;
    if (args.values.contains(QStringLiteral("frames"))
        && !parseFrames(args.values.value(QStringLiteral("frames")), &ranges))
        return usageError(QStringLiteral("bad frame list: %1 (for example 2,5-7)")
                              .arg(args.values.value(QStringLiteral("frames"))));

    engine::Status status = engine::Ok;
    std::unique_ptr<engine::Image> image = engine::Image::load(source, &status);
    if (!image) {
        printError(QStringLiteral("%1: cannot read the picture: %2").arg(source, statusText(status)));
        return ExitFailed;
    }
    if (!makeOutputFolder(folder))
        return ExitFailed;

    Guid clsid{};
    if (FindEncoder(QByteArray(format->mimeType), &clsid) < 0) {
        printError(QStringLiteral("no encoder for %1").arg(QLatin1String(format->mimeType)));
        return ExitFailed;
    }
    const ExportQuality quality;

    const QString base = StripExtension(FileNameOfPath(source));
    const Guid dimension = image->frameDimension();
    const std::uint32_t count = image->frameCount();
    std::uint64_t wanted = 0;
    for (std::uint32_t i = 0; i < count; ++i)
        wanted += selected(ranges, std::uint64_t(i) + 1) ? 1 : 0;

    int failures = 0;
    Progress progress("export", wanted);
    {
        engine::FrameSaver saver;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t number = i + 1;
            if (!selected(ranges, number))
                continue;
            const QString out = exportFileName(exportFolder(folder), base, i,
                                               QLatin1String(format->extension));
            const engine::Status s = image->selectFrame(dimension, i);
            if (s != engine::Ok) {
                // Never write another frame under this number.
                printError(QStringLiteral("%1: frame %2 cannot be decoded (%3); %4 not written")
                               .arg(source).arg(number).arg(statusText(s), out));
                ++failures;
                continue;
            }
            saver.submit(image->activeFrame(), clsid, quality.parameters(), out, number);
            progress.update(saver.completed());
        }
        while (!saver.wait(100))
            progress.update(saver.completed());
        progress.update(saver.completed());
        for (const engine::FrameSaver::Failure &f : saver.failures()) {
            const QString reason = QFileInfo(f.path).isDir()
                                       ? QStringLiteral("a folder of that name is in the way")
                                       : statusText(f.status);
            printError(QStringLiteral("%1: cannot save frame %2: %3").arg(f.path).arg(f.tag).arg(reason));
            ++failures;
        }
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
