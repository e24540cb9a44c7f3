#pragma once
// Which entries of a folder the GIF catalogue lists, and in which order: the one
// rule for the window's catalogue and the command line's `thumbs`.
//
// Listed: names ending in ".gif", ".webp" or ".apng" in any letter case, and
// names ending in ".png" whose file holds an animation (acTL among the chunks
// before the first IDAT; nothing more is read), that do not start with "."
// (hidden), naming a regular file or a symbolic link to one. A still PNG is
// never listed. Subfolders, devices, pipes and sockets are never listed; links
// to nowhere, link loops and special files with a listed name are reported as
// skipped. Order: the folder
// tree's name order (shell/nameorder.h). Only absolute paths are searched: a
// relative path or a virtual folder's display name lists nothing.
//
// Plain functions; any thread; nothing throws.

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <vector>

#include "imaging/engine/failure.h"

// Whether a file name has one of the extensions listed without opening the file
// (".gif", ".webp", ".apng" in any letter case).
bool isCatalogueName(const QString &name);
// Whether a file name ends in ".png" in any letter case: listed when animated.
bool isPngName(const QString &name);

struct CatalogueListing {
    // The folder could not be read (None when it could).
    engine::Cause error = engine::Cause::None;
    QStringList names; // listed file names, in catalogue order
    struct Skipped {
        QString name;
        enum Kind { DanglingLink, LinkLoop, SpecialFile } kind;
    };
    std::vector<Skipped> skipped; // listed names that are not regular files, in catalogue order
    // With PngFiles::Later: the *.png regular files, not yet opened, in catalogue order.
    QStringList pngNames;
};

// Whether the listing opens *.png files to see whether they are animated (Now),
// or leaves them in pngNames for the caller to check on a worker (Later).
enum class PngFiles { Now, Later };

// Lists `folder` (an absolute path, with or without a trailing "/").
CatalogueListing listCatalogue(const QString &folder, PngFiles png = PngFiles::Now);

// The names among `pngNames` (files in `folder`) that hold an animation, in the
// order given. Opens each file; stops early, returning what it has, once
// `stop` (when given) returns true.
QStringList animatedPngNames(const QString &folder, const QStringList &pngNames,
                             const std::function<bool()> &stop = {});

// `a` and `b` (each in catalogue order) merged into one list in catalogue order.
QStringList mergeCatalogueNames(const QStringList &a, const QStringList &b);

namespace listingtesting {
// When not 0, opening a folder to list it fails with this error number (tests).
extern std::atomic<int> failOpenWith;
// When set, called with the folder's bytes before it is opened: a test blocks
// in it to stand for a folder whose reading hangs.
extern std::atomic<void (*)(const QByteArray &folder)> beforeOpen;
} // namespace listingtesting
