#include "core/factsjson.h"

#include <QJsonDocument>

QByteArray jsonText(const QJsonObject &object, bool compact)
{
    // QJsonDocument writes an unpaired surrogate as its "\udcXX" escape.
    return QJsonDocument(object).toJson(compact ? QJsonDocument::Compact : QJsonDocument::Indented);
}

QByteArray jsonText(const QJsonArray &array, bool compact)
{
    return QJsonDocument(array).toJson(compact ? QJsonDocument::Compact : QJsonDocument::Indented);
}

QJsonObject frameJson(const PictureFacts &facts, std::uint32_t index)
{
    engine::FrameRecord r;
    if (index < facts.frames.size())
        r = facts.frames[index];
    else
        r.rect = engine::Rect{0, 0, facts.width, facts.height};
    QJsonObject o;
    o[QStringLiteral("index")] = qint64(index) + 1;
    o[QStringLiteral("delayMs")] = qint64(r.delayMs);
    o[QStringLiteral("playedMs")] = qint64(engine::playedDelayMs(r.delayMs, facts.gif));
    o[QStringLiteral("x")] = r.rect.x;
    o[QStringLiteral("y")] = r.rect.y;
    o[QStringLiteral("width")] = r.rect.w;
    o[QStringLiteral("height")] = r.rect.h;
    o[QStringLiteral("disposal")] = QLatin1String(engine::disposalName(r.disposal));
    o[QStringLiteral("blend")] = QLatin1String(engine::blendName(r.blend));
    o[QStringLiteral("colors")] = r.colors < 0 ? QJsonValue() : QJsonValue(r.colors);
    o[QStringLiteral("localColors")] = r.localColors;
    o[QStringLiteral("transparentIndex")] =
        r.transparentIndex < 0 ? QJsonValue() : QJsonValue(r.transparentIndex);
    o[QStringLiteral("interlaced")] = r.interlaced;
    return o;
}

QJsonObject factsJson(const QString &path, const PictureFacts &f)
{
    QJsonArray delays;
    for (std::int64_t d : f.delaysMs)
        delays.append(qint64(d));
    QJsonArray frames;
    for (std::uint32_t i = 0; i < f.frameCount; ++i)
        frames.append(frameJson(f, i));
    QJsonObject o;
    o[QStringLiteral("file")] = path;
    o[QStringLiteral("width")] = f.width;
    o[QStringLiteral("height")] = f.height;
    o[QStringLiteral("fileSize")] = qint64(f.fileSize);
    o[QStringLiteral("fileSizeText")] = f.fileSizeText;
    o[QStringLiteral("frameCount")] = qint64(f.frameCount);
    o[QStringLiteral("delaysMs")] = delays;
    o[QStringLiteral("totalMs")] = qint64(f.totalMs);
    o[QStringLiteral("loopCount")] = f.loopCount < 0 ? QJsonValue() : QJsonValue(f.loopCount);
    o[QStringLiteral("frames")] = frames;
    return o;
}
