#pragma once
// Which entries of a folder the GIF catalogue lists, and in which order: the one
// rule for the window's catalogue and the command line's `thumbs`.
//
// Listed: names ending in ".gif" in any letter case that do not start with "."
// (hidden), naming a regular file or a symbolic link to one. Subfolders,
// devices, pipes and sockets are never listed; links to nowhere, link loops and
// special files with a GIF name are reported as skipped. Order: the folder
// tree's name order (shell/nameorder.h). Only absolute paths are searched: a
// relative path or a virtual folder's display name lists nothing.
//
// Plain functions; any thread; nothing throws.

#include <QString>
#include <QStringList>

#include <atomic>
#include <vector>

#include "imaging/engine/failure.h"

// Whether a file name has the catalogue's extension (".gif" in any letter case).
bool isCatalogueName(const QString &name);

struct CatalogueListing {
    // The folder could not be read (None when it could).
    engine::Cause error = engine::Cause::None;
    QStringList names; // listed file names, in catalogue order
    struct Skipped {
        QString name;
        enum Kind { DanglingLink, LinkLoop, SpecialFile } kind;
    };
    std::vector<Skipped> skipped; // GIF names that are not regular files, in catalogue order
};

// Lists `folder` (an absolute path, with or without a trailing "/").
CatalogueListing listCatalogue(const QString &folder);

namespace listingtesting {
// When not 0, opening a folder to list it fails with this error number (tests).
extern std::atomic<int> failOpenWith;
} // namespace listingtesting
