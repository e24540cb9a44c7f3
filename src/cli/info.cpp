// info: what the inspection tab shows about a picture, as text, as text with a
// table of its frames, or as JSON. The facts come from the same function the
// window uses (core/picturefacts.h), the JSON from core/factsjson.h.

#include <QJsonArray>
#include <QJsonObject>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "args.h"
#include "cli.h"
#include "common/filepath.h"
#include "core/factsjson.h"
#include "core/picturefacts.h"

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

// The frames as `info --json` gives them, one line each, in columns.
QString frameTable(const PictureFacts &f)
{
    static const char *const Headings[] = {"frame", "delay ms", "played ms", "x", "y", "width", "height",
                                           "disposal", "blend", "colors", "local", "transparent",
                                           "interlaced"};
    constexpr int Columns = int(sizeof Headings / sizeof *Headings);
    std::vector<QStringList> rows;
    rows.reserve(f.frameCount + 1);
    QStringList heading;
    for (const char *h : Headings)
        heading << QLatin1String(h);
    rows.push_back(heading);
    const auto yesNo = [](bool b) { return b ? QStringLiteral("yes") : QStringLiteral("no"); };
    const auto orDash = [](int n) { return n < 0 ? QStringLiteral("-") : QString::number(n); };
    for (std::uint32_t i = 0; i < f.frameCount; ++i) {
        const QJsonObject o = frameJson(f, i);
        const auto number = [&](const char *key) { return QString::number(o.value(QLatin1String(key)).toInteger()); };
        const auto nullable = [&](const char *key) {
            const QJsonValue v = o.value(QLatin1String(key));
            return orDash(v.isNull() ? -1 : v.toInt());
        };
        rows.push_back({number("index"), number("delayMs"), number("playedMs"), number("x"), number("y"),
                        number("width"), number("height"), o.value(QStringLiteral("disposal")).toString(),
                        o.value(QStringLiteral("blend")).toString(), nullable("colors"),
                        yesNo(o.value(QStringLiteral("localColors")).toBool()), nullable("transparentIndex"),
                        yesNo(o.value(QStringLiteral("interlaced")).toBool())});
    }
    std::vector<qsizetype> widths(Columns, 0);
    for (const QStringList &row : rows)
        for (int c = 0; c < Columns; ++c)
            widths[size_t(c)] = std::max(widths[size_t(c)], row[c].size());
    QString out;
    for (const QStringList &row : rows) {
        QString line;
        // Numbers to the right, words to the left, as people read columns.
        for (int c = 0; c < Columns; ++c) {
            const bool word = c == 7 || c == 8;
            line += QStringLiteral("  ")
                    + (word ? row[c].leftJustified(widths[size_t(c)]) : row[c].rightJustified(widths[size_t(c)]));
        }
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        out += line + QLatin1Char('\n');
    }
    return out;
}

void printText(const QString &path, const PictureFacts &f, bool table)
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
    if (table)
        out += frameTable(f);
    std::fputs(out.toLocal8Bit().constData(), stdout);
}

} // namespace

int infoCommand(const QStringList &rawArgs)
{
    const ParsedArgs args = parseArgs(rawArgs, {}, {QStringLiteral("json"), QStringLiteral("table")});
    if (!args.error.isEmpty())
        return usageError(args.error);
    if (args.positional.isEmpty())
        return usageError(QStringLiteral("info needs at least one file"));
    const bool json = args.flags.contains(QStringLiteral("json"));
    const bool table = args.flags.contains(QStringLiteral("table"));
    if (json && table)
        return usageError(QStringLiteral("--json and --table do not go together"));

    int result = ExitOk;
    QJsonArray all;
    for (const QString &path : args.positional) {
        engine::Status status = engine::Ok;
        const PictureFacts facts = readPictureFacts(path, &status);
        if (status != engine::Ok) {
            printError(QStringLiteral("%1: cannot read the picture: %2")
                           .arg(path, causeText(loadFailureCause(status))));
            result = ExitFailed;
            continue;
        }
        if (json)
            all.append(factsJson(path, facts));
        else
            printText(path, facts, table);
    }
    if (json)
        std::fputs(jsonText(all, false).constData(), stdout);
    return result;
}

} // namespace cli
