#pragma once
// The JSON the command line writes: one text writer for all of it (`info
// --json`, the timing files, the export report), and the one form of a
// picture's frame records that `info --json` and the timing files share.
//
// Strings: a path keeps its bytes (common/filepath.h); a byte that is not
// UTF-8 is held as an unpaired surrogate and written as the escape "\udcXX",
// so a reader that knows the convention gets the name back exactly.
//
// A frame's object: index (from 1), delayMs (as stored), playedMs (what a
// browser plays, engine::playedDelayMs), x, y, width, height (the rectangle as
// stored, not clipped), disposal ("none", "background", "previous"), blend
// ("over", "source"), colors (entries of the colour table used; null for true
// colour), localColors (the frame's own table), transparentIndex (or null),
// interlaced.
//
// Plain functions; any thread; nothing throws but std::bad_alloc.

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <cstdint>

#include "core/picturefacts.h"

// The text of a JSON value: compact on one line (a report line) or indented.
QByteArray jsonText(const QJsonObject &object, bool compact);
QByteArray jsonText(const QJsonArray &array, bool compact);

// Frame `index` (from 0) of `facts`.
QJsonObject frameJson(const PictureFacts &facts, std::uint32_t index);

// `info --json`'s object for the picture at `path`: file, width, height,
// fileSize, fileSizeText, frameCount, delaysMs, totalMs, loopCount (null when
// the file has none) and frames.
QJsonObject factsJson(const QString &path, const PictureFacts &facts);
