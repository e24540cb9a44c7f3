#include "shell/places.h"
#include "common/filepath.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStorageInfo>

#include <sys/stat.h>

namespace shell::places {
namespace {

QByteArray clean(const QString &path)
{
    return filepath::pathToBytes(QDir::cleanPath(path));
}

bool isDir(const QByteArray &path)
{
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QString configHome()
{
    const QString env = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!env.isEmpty() && QDir::isAbsolutePath(env))
        return env;
    return QString::fromLocal8Bit(homeDir()) + QStringLiteral("/.config");
}

} // namespace

QByteArray homeDir()
{
    const QByteArray env = qgetenv("HOME");
    if (!env.isEmpty() && env.startsWith('/'))
        return clean(filepath::pathFromBytes(env));
    return clean(QDir::homePath());
}

QByteArray desktopDir()
{
    const QByteArray desktop = clean(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    if (!desktop.isEmpty() && desktop.startsWith('/') && isDir(desktop))
        return desktop;
    return homeDir();
}

QByteArray trashDir()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = filepath::pathFromBytes(homeDir()) + QStringLiteral("/.local/share");
    return clean(data + QStringLiteral("/Trash"));
}

QByteArray trashFilesDir() { return trashDir() + "/files"; }
QByteArray trashInfoDir() { return trashDir() + "/info"; }

QByteArray xdgUserDir(const char *key)
{
    // Lines look like XDG_TEMPLATES_DIR="$HOME/Templates".
    QFile file(configHome() + QStringLiteral("/user-dirs.dirs"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray prefix = QByteArray("XDG_") + key + "_DIR=";
    while (!file.atEnd()) {
        QByteArray line = file.readLine(4096).trimmed();
        if (!line.startsWith(prefix))
            continue;
        QByteArray value = line.mid(prefix.size());
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        if (value.startsWith("$HOME"))
            value = homeDir() + value.mid(5);
        if (!value.startsWith('/'))
            return {};
        return clean(filepath::pathFromBytes(value));
    }
    return {};
}

std::vector<Volume> volumes()
{
    std::vector<Volume> out;
    out.push_back({QByteArrayLiteral("/"), QStringLiteral("文件系统"), false});
    static const QByteArray networkTypes[] = {"nfs", "nfs4", "cifs", "smb3", "smbfs",
                                              "fuse.sshfs", "davfs", "fuse.davfs2", "9p"};
    const auto mounted = QStorageInfo::mountedVolumes();
    for (const QStorageInfo &v : mounted) {
        if (!v.isValid())
            continue;
        const QByteArray path = clean(v.rootPath());
        if (path == "/" || !isDir(path))
            continue;
        const QByteArray type = v.fileSystemType();
        bool network = false;
        for (const QByteArray &t : networkTypes)
            network = network || type == t;
        // Devices the user mounted (disks, sticks) and network shares; system
        // mounts such as /boot/efi, /proc or container bind mounts are left out.
        const bool device = v.device().startsWith("/dev/");
        const bool userPlace = path.startsWith("/media/") || path.startsWith("/mnt/")
                               || path.startsWith("/run/media/") || path == "/mnt"
                               || path == "/home";
        if (!network && !(device && userPlace))
            continue;
        QString name = v.name();
        if (name.isEmpty())
            name = v.displayName();
        if (name.isEmpty())
            name = filepath::pathFromBytes(path);
        out.push_back({path, name, network});
    }
    return out;
}

} // namespace shell::places
