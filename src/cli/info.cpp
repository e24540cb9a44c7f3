// info: what the inspection tab shows about a GIF, as text or JSON. The facts
// come from the same function the window uses (core/giffacts.h).

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>
#include <cstdio>

#include "args.h"
#include "cli.h"
#include "common/filepath.h"
#include "core/giffacts.h"

namespace cli {

namespace {

QString loopText(int loop)
{
    if (loop < 0)
        return QStringLiteral("none");
    if (loop == 0)
        return QStringLiteral("0 (for ever)");
    return QString::number(loop);
}

void printText(const QString &path, const GifFacts &f)
{
    QString out;
    out += filepath::displayPath(path) + QLatin1Char('\n');
    out += QStringLiteral("  size: %1 x %2 pixels\n").arg(f.width).arg(f.height);
    out += QStringLiteral("  file size: %1\n").arg(f.fileSizeText);
    out += QStringLiteral("  frames: %1\n").arg(f.frameCount);
    if (f.hasDelays) {
        QStringList ms;
        for (std::int64_t d : f.delaysMs)
            ms << QString::number(d);
        out += QStringLiteral("  delays (ms): %1\n").arg(ms.join(QLatin1Char(' ')));
        out += QStringLiteral("  total time: %1 ms\n").arg(f.totalMs);
    } else {
        out += QStringLiteral("  delays (ms): none (not an animation)\n");
        out += QStringLiteral("  total time: 0 ms\n");
    }
    out += QStringLiteral("  loop count: %1\n").arg(loopText(f.loopCount));
    std::fputs(out.toLocal8Bit().constData(), stdout);
}

QJsonObject toJson(const QString &path, const GifFacts &f)
{
    QJsonArray delays;
    for (std::int64_t d : f.delaysMs)
        delays.append(qint64(d));
    QJsonObject o;
    o[QStringLiteral("file")] = filepath::displayPath(path);
    o[QStringLiteral("width")] = f.width;
    o[QStringLiteral("height")] = f.height;
    o[QStringLiteral("fileSize")] = qint64(f.fileSize);
    o[QStringLiteral("fileSizeText")] = f.fileSizeText;
    o[QStringLiteral("frameCount")] = qint64(f.frameCount);
    o[QStringLiteral("delaysMs")] = delays;
    o[QStringLiteral("totalMs")] = qint64(f.totalMs);
    o[QStringLiteral("loopCount")] = f.loopCount < 0 ? QJsonValue() : QJsonValue(f.loopCount);
    return o;
}

} // namespace

int infoCommand(const QStringList &rawArgs)
{
    const ParsedArgs args = parseArgs(rawArgs, {}, {QStringLiteral("json")});
    if (!args.error.isEmpty())
        return usageError(args.error);
    if (args.positional.isEmpty())
        return usageError(QStringLiteral("info needs at least one file"));
    const bool json = args.flags.contains(QStringLiteral("json"));

    int result = ExitOk;
    QJsonArray all;
    for (const QString &path : args.positional) {
        engine::Status status = engine::Ok;
        const GifFacts facts = readGifFacts(path, &status);
        if (status != engine::Ok) {
            printError(QStringLiteral("%1: cannot read the picture: %2")
                           .arg(path, causeText(loadFailureCause(status))));
            result = ExitFailed;
            continue;
        }
        if (json)
            all.append(toJson(path, facts));
        else
            printText(path, facts);
    }
    if (json)
        std::fputs(QJsonDocument(all).toJson(QJsonDocument::Indented).constData(), stdout);
    return result;
}

} // namespace cli
