// thumbs: the catalogue thumbnail of every GIF in a folder, listed by the
// catalogue's rules, made on worker threads.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <vector>

#include "args.h"
#include "cli.h"
#include "imaging/engine/encoders.h"
#include "imaging/thumbnail.h"
#include "shell/nameorder.h"

namespace cli {

namespace {

// Regular files (or links to them) whose names end in ".gif" in any case; hidden
// names (a leading ".") are skipped. Sorted as the folder tree sorts names.
QStringList listGifs(const QString &folder)
{
    QDir dir(folder);
    const QFileInfoList entries =
        dir.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    QStringList names;
    for (const QFileInfo &e : entries) {
        const QString name = e.fileName();
        if (name.startsWith(QLatin1Char('.')) || !name.endsWith(QLatin1String(".gif"), Qt::CaseInsensitive))
            continue;
        if (!e.isFile()) // devices, sockets, pipes, dangling links
            continue;
        names << name;
    }
    std::sort(names.begin(), names.end(), shell::fileNameLess);
    return names;
}

} // namespace

int runThumbs(const QStringList &rawArgs)
{
    const ParsedArgs args = parseArgs(rawArgs, {QStringLiteral("to")}, {});
    if (!args.error.isEmpty())
        return usageError(args.error);
    if (args.positional.size() != 1)
        return usageError(QStringLiteral("thumbs takes exactly one folder"));
    if (args.values.value(QStringLiteral("to")).isEmpty())
        return usageError(QStringLiteral("thumbs needs --to DIR"));
    const QString source = args.positional.front();
    const QString target = args.values.value(QStringLiteral("to"));
    if (!QFileInfo(source).isDir()) {
        printError(QStringLiteral("%1: not a folder").arg(source));
        return ExitFailed;
    }
    if (!makeOutputFolder(target))
        return ExitFailed;

    const QStringList names = listGifs(source);
    struct Result {
        bool unreadable = false;
        engine::Status saveStatus = engine::Ok;
    };
    std::vector<Result> results(std::size_t(names.size()));
    QSemaphore finished;
    QThreadPool pool;
    pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
    for (qsizetype i = 0; i < names.size(); ++i) {
        pool.start([&, i] {
            Result &r = results[std::size_t(i)];
            bool ok = false;
            const QImage thumbnail = renderThumbnail(joinPath(source, names[i]), &ok);
            if (!ok)
                r.unreadable = true;
            else
                r.saveStatus = engine::saveFrame(thumbnail, engine::ClsidPngEncoder, nullptr,
                                                 joinPath(target, names[i] + QLatin1String(".png")));
            finished.release();
        });
    }

    // Wait with a progress line, then name the failures in catalogue order.
    Progress progress("thumbs", std::uint64_t(names.size()));
    int failures = 0;
    for (qsizetype i = 0; i < names.size(); ++i) {
        finished.acquire();
        progress.update(std::uint64_t(i) + 1);
    }
    pool.waitForDone();
    for (qsizetype i = 0; i < names.size(); ++i) {
        const Result &r = results[std::size_t(i)];
        if (r.unreadable) {
            printError(joinPath(source, names[i]) + QStringLiteral("可能不是GIF文件"));
            ++failures;
        } else if (r.saveStatus != engine::Ok) {
            printError(QStringLiteral("%1: cannot save: %2")
                           .arg(joinPath(target, names[i] + QLatin1String(".png")),
                                statusText(r.saveStatus)));
            ++failures;
        }
    }
    return failures ? ExitFailed : ExitOk;
}

} // namespace cli
