// info: what the inspection tab shows about a GIF, as text or JSON.

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>
#include <cstdio>

#include "args.h"
#include "cli.h"
#include "imaging/engine/image.h"
#include "imaging/filesize.h"

namespace cli {

namespace {

struct Facts {
    QString path;
    int width = 0;
    int height = 0;
    qint64 fileSize = 0;
    QString fileSizeText;
    std::uint32_t frameCount = 0;
    bool hasDelays = false;
    std::vector<std::uint64_t> delaysMs;
    std::uint64_t totalMs = 0;
    int loopCount = -1;
};

QString loopText(int loop)
{
    if (loop < 0)
        return QStringLiteral("none");
    if (loop == 0)
        return QStringLiteral("0 (for ever)");
    return QString::number(loop);
}

void printText(const Facts &f)
{
    QString out;
    out += f.path + QLatin1Char('\n');
    out += QStringLiteral("  size: %1 x %2 pixels\n").arg(f.width).arg(f.height);
    out += QStringLiteral("  file size: %1\n").arg(f.fileSizeText);
    out += QStringLiteral("  frames: %1\n").arg(f.frameCount);
    if (f.hasDelays) {
        QStringList ms;
        for (std::uint64_t d : f.delaysMs)
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

QJsonObject toJson(const Facts &f)
{
    QJsonArray delays;
    for (std::uint64_t d : f.delaysMs)
        delays.append(qint64(d));
    QJsonObject o;
    o[QStringLiteral("file")] = f.path;
    o[QStringLiteral("width")] = f.width;
    o[QStringLiteral("height")] = f.height;
    o[QStringLiteral("fileSize")] = f.fileSize;
    o[QStringLiteral("fileSizeText")] = f.fileSizeText;
    o[QStringLiteral("frameCount")] = qint64(f.frameCount);
    o[QStringLiteral("delaysMs")] = delays;
    o[QStringLiteral("totalMs")] = qint64(f.totalMs);
    o[QStringLiteral("loopCount")] = f.loopCount < 0 ? QJsonValue() : QJsonValue(f.loopCount);
    return o;
}

} // namespace

int runInfo(const QStringList &rawArgs)
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
        std::unique_ptr<engine::Image> image = engine::Image::load(path, &status);
        if (!image) {
            printError(QStringLiteral("%1: cannot read the picture: %2").arg(path, statusText(status)));
            result = ExitFailed;
            continue;
        }
        Facts f;
        f.path = path;
        f.width = image->width();
        f.height = image->height();
        f.fileSize = QFileInfo(path).size();
        f.fileSizeText = FileSizeText(path);
        f.frameCount = image->frameCount();
        f.hasDelays = image->hasFrameDelays();
        if (f.hasDelays) {
            const std::vector<std::uint32_t> &delays = image->frameDelays();
            // One entry per frame; frames beyond the list count as 0.
            for (std::uint32_t i = 0; i < f.frameCount; ++i) {
                const std::uint64_t ms = i < delays.size() ? std::uint64_t(delays[i]) * 10 : 0;
                f.delaysMs.push_back(ms);
                f.totalMs += ms;
            }
        }
        f.loopCount = image->loopCount();
        if (json)
            all.append(toJson(f));
        else
            printText(f);
    }
    if (json)
        std::fputs(QJsonDocument(all).toJson(QJsonDocument::Indented).constData(), stdout);
    return result;
}

} // namespace cli
