#pragma once
// File operations behind the context menu's verbs: the desktop clipboard
// formats for files, pasting without ever overwriting, new folders with a
// unique name, and the numbers of the properties sheet. Paths are file-system
// bytes. Everything here runs on the calling thread and blocks it; no widgets.

#include "shell/shellapi.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

class QMimeData;

namespace shell::fileops {

// Clipboard contents for files, as the desktop's file managers write them:
// text/uri-list, x-special/gnome-copied-files ("copy"/"cut" then the URIs),
// application/x-kde-cutselection ("1" for a cut) and the paths as plain text.
std::unique_ptr<QMimeData> clipboardData(const QList<QByteArray> &paths, bool cut);
// Local file paths on the clipboard and whether they were cut; false when none.
bool readClipboard(const QMimeData *data, QList<QByteArray> &paths, bool &cut);

// "name", else "name (2)", "name (3)" ... (for a file: "base (2).ext") that is free in `folder`.
QByteArray uniqueName(const QByteArray &folder, const QByteArray &name, bool isFile);

struct PasteResult {
    int done = 0;
    QStringList errors;  // one readable line per source that failed
    bool ok() const { return errors.isEmpty(); }
};
// Copies (or moves, for a cut) the sources into `target`. Never overwrites: a clash
// gets a new name. A folder into itself or its own subfolder is refused. Links are
// copied as links. A cut removes a source only after its whole copy succeeded; a
// failed copy leaves no partial copy behind.
PasteResult paste(const QList<QByteArray> &sources, bool cut, const QByteArray &target);

// Creates "新建文件夹" (or "新建文件夹 (2)" ...) in `parent`; the new folder's path,
// or empty with `error` set.
QByteArray createNewFolder(const QByteArray &parent, QString &error);

// Counts a folder for its properties sheet, stopping after `limit` entries.
FolderProperties folderProperties(const QByteArray &path, const QString &name, qint64 limit = 200000);

// Moves a file or folder to the freedesktop trash of its volume (the home trash when
// it lies on the home trash's volume, else $topdir/.Trash/$uid or $topdir/.Trash-$uid).
// Nothing is ever replaced; on failure the item stays where it is and `error` says why.
// The trashed path is returned in `trashedTo`.
bool moveToTrash(const QByteArray &path, QString &error, QByteArray *trashedTo = nullptr);

// Readable size: "1.5 MB (1,572,864 字节)".
QString sizeText(qint64 bytes);

// A file: URL for a path, built from its bytes so that any name survives.
QUrl fileUrl(const QByteArray &path);

} // namespace shell::fileops
