// thumbs: the catalogue thumbnail of every animation in a folder, listed by the
// catalogue's own rule (core/listing.h), made by jobs on a JobRunner. SIGINT and
// SIGTERM stop it as they stop an export: the thumbnails being written finish,
// the others are not started.

#include <QSemaphore>

#include <atomic>
#include <vector>

#include "args.h"
#include "cli.h"
#include "common/filepath.h"
#include "core/picturefacts.h"
#include "core/jobs.h"
#include "core/listing.h"
#include "imaging/engine/encoders.h"
#include "imaging/thumbnail.h"

namespace cli {

int thumbsCommand(const QStringList &rawArgs)
{
    const ParsedArgs args = parseArgs(rawArgs, {QStringLiteral("to")}, {QStringLiteral("quiet")});
    if (!args.error.isEmpty())
        return usageError(args.error);
    if (args.positional.size() != 1)
        return usageError(QStringLiteral("thumbs takes exactly one folder"));
    if (args.values.value(QStringLiteral("to")).isEmpty())
        return usageError(QStringLiteral("thumbs needs --to DIR"));
    const QString source = args.positional.front();
    const QString target = args.values.value(QStringLiteral("to"));
    const CatalogueListing listing = listCatalogue(filepath::absolutePath(source));
    if (listing.error != engine::Cause::None) {
        printError(QStringLiteral("%1: cannot read the folder: %2").arg(source, causeText(listing.error)));
        return ExitFailed;
    }
    for (const CatalogueListing::Skipped &s : listing.skipped) {
        const char *why = s.kind == CatalogueListing::Skipped::DanglingLink ? "a link to nowhere"
                          : s.kind == CatalogueListing::Skipped::LinkLoop   ? "a link loop"
                                                                            : "not a regular file";
        printError(QStringLiteral("%1: skipped: %2").arg(filepath::join(source, s.name), QLatin1String(why)));
    }
    if (makeOutputFolder(target) != engine::Cause::None)
        return ExitFailed;

    const QStringList &names = listing.names;
    struct Result {
        bool started = false;
        engine::Status loadStatus = engine::Ok;
        bool unreadable = false;
        engine::Status saveStatus = engine::Ok;
    };
    std::vector<Result> results(std::size_t(names.size()));
    QSemaphore finished;
    std::atomic_bool stop{false};
    const StopSignals stopSignals(&stop);
    PoolJobRunner runner;
    for (qsizetype i = 0; i < names.size(); ++i) {
        // Each job writes only its own result slot.
        runner.start([&, i] {
            Result &r = results[std::size_t(i)];
            if (stop.load()) {
                finished.release();
                return;
            }
            r.started = true;
            bool ok = false;
            const QImage thumbnail =
                renderThumbnail(filepath::join(source, names[i]), &ok, &r.loadStatus);
            if (!ok)
                r.unreadable = true;
            else
                r.saveStatus = engine::saveFrame(thumbnail, engine::ClsidPngEncoder, nullptr,
                                                 filepath::join(target, names[i] + QLatin1String(".png")));
            finished.release();
        });
    }

    // Wait with a progress line, then name the failures in catalogue order.
    Progress progress("thumbs", std::uint64_t(names.size()), args.flags.contains(QStringLiteral("quiet")));
    int failures = 0;
    for (qsizetype i = 0; i < names.size(); ++i) {
        finished.acquire();
        progress.update(std::uint64_t(i) + 1);
    }
    runner.waitForRunning();
    int notStarted = 0;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const Result &r = results[std::size_t(i)];
        if (!r.started) {
            ++notStarted;
        } else if (r.unreadable) {
            const engine::Cause cause =
                r.loadStatus == engine::Ok ? engine::Cause::NotAPicture : loadFailureCause(r.loadStatus);
            printError(QStringLiteral("%1: cannot read the picture: %2")
                           .arg(filepath::join(source, names[i]), causeText(cause)));
            ++failures;
        } else if (r.saveStatus != engine::Ok) {
            printError(QStringLiteral("%1: cannot save: %2")
                           .arg(filepath::join(target, names[i] + QLatin1String(".png")),
                                statusText(r.saveStatus)));
            ++failures;
        }
    }
    if (stop.load()) {
        printError(QStringLiteral("interrupted: %1 of %2 thumbnails not made")
                       .arg(notStarted)
                       .arg(names.size()));
        return ExitInterrupted;
    }
    return failures ? ExitFailed : ExitOk;
}

} // namespace cli
