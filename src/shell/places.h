#pragma once
// Where the namespace's special places are on this machine: the desktop folder,
// the home folder, the trash, the XDG user directories, and the mounted volumes
// 计算机 and 网络 list. Paths are absolute, in file-system bytes, without a
// trailing "/" (except "/" itself). GUI thread only.

#include <QByteArray>
#include <QString>

#include <vector>

namespace shell::places {

QByteArray homeDir();
// The XDG desktop folder when it exists, else the home folder.
QByteArray desktopDir();
// $XDG_DATA_HOME/Trash (default ~/.local/share/Trash) and its files/info folders.
QByteArray trashDir();
QByteArray trashFilesDir();
QByteArray trashInfoDir();
// An XDG user directory (key such as "TEMPLATES") from user-dirs.dirs; empty when unset.
QByteArray xdgUserDir(const char *key);

struct Volume {
    QByteArray path;   // mount point
    QString name;      // readable name
    bool network = false;
};
// "/" first, then the mounted volumes a user would browse (devices and network shares).
std::vector<Volume> volumes();

} // namespace shell::places
