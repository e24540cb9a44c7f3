#include "shell/fileops.h"
#include "common/filepath.h"

#include "shell/places.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QMimeData>

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace shell::fileops {
namespace {

QString text(const QByteArray &path) { return filepath::pathFromBytes(path); }

QByteArray baseName(const QByteArray &path)
{
    QByteArray p = path;
    while (p.size() > 1 && p.endsWith('/'))
        p.chop(1);
    return p.mid(p.lastIndexOf('/') + 1);
}

QByteArray realPath(const QByteArray &path)
{
    char buffer[PATH_MAX];
    return ::realpath(path.constData(), buffer) ? QByteArray(buffer) : QByteArray();
}

QString errnoText(int error)
{
    switch (error) {
    case EACCES:
    case EPERM: return QStringLiteral("没有权限");
    case ENOSPC: return QStringLiteral("磁盘空间不足");
    case EROFS: return QStringLiteral("文件系统是只读的");
    case ENOENT: return QStringLiteral("文件不存在");
    case ENAMETOOLONG: return QStringLiteral("文件名太长");
    default: return QString::fromLocal8Bit(std::strerror(error));
    }
}

// Removes a tree we made (or a cut source) without following links.
bool removeTree(const QByteArray &path)
{
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return ::unlink(path.constData()) == 0;
    bool ok = true;
    if (DIR *dir = ::opendir(path.constData())) {
        std::vector<QByteArray> names;
        while (const dirent *e = ::readdir(dir)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.emplace_back(e->d_name);
        }
        ::closedir(dir);
        for (const QByteArray &n : names)
            ok = removeTree(filepath::join(path, n)) && ok;
    } else {
        ok = false;
    }
    return ::rmdir(path.constData()) == 0 && ok;
}

bool copyFile(const QByteArray &src, const QByteArray &dst, const struct stat &st, int &error)
{
    const int in = ::open(src.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        error = errno;
        return false;
    }
    // O_EXCL: the destination is new or the copy fails; nothing is ever overwritten.
    const int out = ::open(dst.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
    if (out < 0) {
        error = errno;
        ::close(in);
        return false;
    }
    bool ok = true;
    std::vector<char> buffer(1 << 17);
    while (true) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            ok = false;
            break;
        }
        for (ssize_t written = 0; written < n;) {
            const ssize_t w = ::write(out, buffer.data() + written, std::size_t(n - written));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                error = errno;
                ok = false;
                break;
            }
            written += w;
        }
        if (!ok)
            break;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out, times);
    if (::close(out) != 0 && ok) {
        error = errno;
        ok = false;
    }
    ::close(in);
    return ok;
}

// Copies src to the new path dst (which must not exist). Sets error and the
// failing path on failure.
bool copyTree(const QByteArray &src, const QByteArray &dst, int &error, QByteArray &failed)
{
    struct stat st {};
    if (::lstat(src.constData(), &st) != 0) {
        error = errno;
        failed = src;
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        std::vector<char> target(std::size_t(PATH_MAX) + 1);
        const ssize_t n = ::readlink(src.constData(), target.data(), PATH_MAX);
        if (n < 0 || ::symlink(QByteArray(target.data(), n).constData(), dst.constData()) != 0) {
            error = errno;
            failed = src;
            return false;
        }
        return true;
    }
    if (S_ISREG(st.st_mode)) {
        if (!copyFile(src, dst, st, error)) {
            failed = error == EEXIST ? dst : src;
            return false;
        }
        return true;
    }
    if (!S_ISDIR(st.st_mode)) {
        // Devices, pipes and sockets are not copied.
        error = EPERM;
        failed = src;
        return false;
    }
    if (::mkdir(dst.constData(), (st.st_mode & 07777) | S_IRWXU) != 0) {
        error = errno;
        failed = dst;
        return false;
    }
    DIR *dir = ::opendir(src.constData());
    if (!dir) {
        error = errno;
        failed = src;
        return false;
    }
    std::vector<QByteArray> names;
    while (const dirent *e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
    }
    ::closedir(dir);
    for (const QByteArray &n : names) {
        if (!copyTree(filepath::join(src, n), filepath::join(dst, n), error, failed))
            return false;
    }
    ::chmod(dst.constData(), st.st_mode & 07777);
    return true;
}

} // namespace

std::unique_ptr<QMimeData> clipboardData(const QList<QByteArray> &paths, bool cut)
{
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    QByteArray gnome = cut ? "cut" : "copy";
    QStringList plain;
    for (const QByteArray &p : paths) {
        // Built from the bytes, so names that are not UTF-8 keep them (%E9 stays %E9).
        const QUrl url = fileUrl(p);
        urls.append(url);
        gnome += '\n' + url.toEncoded();
        plain.append(text(p));
    }
    data->setUrls(urls);
    data->setData(QStringLiteral("x-special/gnome-copied-files"), gnome);
    data->setData(QStringLiteral("application/x-kde-cutselection"), cut ? "1" : "0");
    data->setText(plain.join(QLatin1Char('\n')));
    return data;
}

bool readClipboard(const QMimeData *data, QList<QByteArray> &paths, bool &cut)
{
    paths.clear();
    cut = false;
    if (!data)
        return false;
    QList<QUrl> urls;
    const QByteArray gnome = data->data(QStringLiteral("x-special/gnome-copied-files"));
    if (!gnome.isEmpty()) {
        const QList<QByteArray> lines = gnome.split('\n');
        cut = lines.value(0).trimmed() == "cut";
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            if (!line.isEmpty())
                urls.append(QUrl::fromEncoded(line));
        }
    } else {
        urls = data->urls();
        cut = data->data(QStringLiteral("application/x-kde-cutselection")).trimmed() == "1";
    }
    for (const QUrl &url : std::as_const(urls)) {
        if (!url.isLocalFile())
            continue;
        const QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (path.startsWith('/'))
            paths.append(path);
    }
    return !paths.isEmpty();
}

QByteArray uniqueName(const QByteArray &folder, const QByteArray &name, bool isFile)
{
    QByteArray stem = name;
    QByteArray ext;
    const qsizetype dot = name.lastIndexOf('.');
    if (isFile && dot > 0) {
        stem = name.left(dot);
        ext = name.mid(dot);
    }
    QByteArray candidate = name;
    struct stat st {};
    for (int n = 2; ::lstat(filepath::join(folder, candidate).constData(), &st) == 0; ++n)
        candidate = stem + " (" + QByteArray::number(n) + ')' + ext;
    return candidate;
}

PasteResult paste(const QList<QByteArray> &sources, bool cut, const QByteArray &target)
{
    PasteResult result;
    const QByteArray realTarget = realPath(target);
    if (realTarget.isEmpty()) {
        result.errors.append(QStringLiteral("无法粘贴到“%1”：%2").arg(text(target), errnoText(errno)));
        return result;
    }
    for (const QByteArray &src : sources) {
        struct stat st {};
        if (::lstat(src.constData(), &st) != 0) {
            result.errors.append(QStringLiteral("“%1”：%2").arg(text(src), errnoText(errno)));
            continue;
        }
        const QByteArray name = baseName(src);
        if (S_ISDIR(st.st_mode)) {
            const QByteArray realSrc = realPath(src);
            if (realSrc.isEmpty() || realTarget == realSrc || realTarget.startsWith(realSrc + '/')
                || realSrc == "/") {
                result.errors.append(
                    QStringLiteral("不能把文件夹“%1”粘贴到它自己或它的子文件夹中。").arg(text(src)));
                continue;
            }
        }
        const QByteArray parent = src.left(src.lastIndexOf('/'));
        if (cut && realPath(parent.isEmpty() ? QByteArray("/") : parent) == realTarget) {
            ++result.done;  // moving into the folder it is already in
            continue;
        }
        bool ok = false;
        int error = 0;
        QByteArray failed = src;
        for (int attempt = 0; attempt < 100 && !ok; ++attempt) {
            const QByteArray dst = filepath::join(target, uniqueName(target, name, !S_ISDIR(st.st_mode)));
            if (cut) {
                if (::renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RENAME_NOREPLACE) == 0) {
                    ok = true;
                    break;
                }
                if (errno == EEXIST)
                    continue;  // taken in the meantime: next name
                if (errno != EXDEV && errno != EINVAL && errno != ENOSYS) {
                    error = errno;
                    break;
                }
            }
            if (copyTree(src, dst, error, failed)) {
                ok = !cut || removeTree(src);
                if (!ok) {
                    error = errno;
                    failed = src;
                }
                break;
            }
            if (error == EEXIST && failed == dst) {
                failed = src;
                continue;  // the name was taken in the meantime: nothing of ours to undo
            }
            // Leave no half copy behind; the source is untouched.
            removeTree(dst);
            break;
        }
        if (ok)
            ++result.done;
        else
            result.errors.append(QStringLiteral("“%1”：%2").arg(text(failed), errnoText(error)));
    }
    return result;
}

QByteArray createNewFolder(const QByteArray &parent, QString &error)
{
    const QByteArray base = QByteArrayLiteral("新建文件夹");
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray path = filepath::join(parent, uniqueName(parent, base, false));
        if (::mkdir(path.constData(), 0777) == 0)
            return path;
        if (errno != EEXIST) {
            error = QStringLiteral("无法在“%1”中新建文件夹：%2").arg(text(parent), errnoText(errno));
            return {};
        }
    }
    error = QStringLiteral("无法在“%1”中新建文件夹。").arg(text(parent));
    return {};
}

FolderProperties folderProperties(const QByteArray &path, const QString &name, qint64 limit)
{
    FolderProperties p;
    p.name = name;
    p.path = text(path);
    struct stat st {};
    if (::stat(path.constData(), &st) == 0)
        p.modified = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    qint64 seen = 0;
    std::vector<QByteArray> pending{path};
    bool top = true;
    while (!pending.empty()) {
        const QByteArray dirPath = pending.back();
        pending.pop_back();
        DIR *dir = ::opendir(dirPath.constData());
        if (!dir)
            continue;
        const int fd = ::dirfd(dir);
        while (const dirent *e = ::readdir(dir)) {
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
                continue;
            if (top)
                ++p.items;
            if (++seen > limit) {
                p.complete = false;
                break;
            }
            struct stat es {};
            // Links are counted, never followed, so a loop cannot trap the count.
            if (::fstatat(fd, e->d_name, &es, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISDIR(es.st_mode)) {
                ++p.folders;
                pending.push_back(filepath::join(dirPath, e->d_name));
            } else if (S_ISREG(es.st_mode)) {
                ++p.files;
                p.bytes += es.st_size;
            }
        }
        ::closedir(dir);
        top = false;
        if (!p.complete)
            break;
    }
    return p;
}

QString sizeText(qint64 bytes)
{
    const QLocale c(QLocale::English);
    QString readable;
    if (bytes < 1024)
        readable = QStringLiteral("%1 字节").arg(bytes);
    else if (bytes < 1024 * 1024)
        readable = QStringLiteral("%1 KB").arg(double(bytes) / 1024.0, 0, 'f', 1);
    else if (bytes < 1024LL * 1024 * 1024)
        readable = QStringLiteral("%1 MB").arg(double(bytes) / 1048576.0, 0, 'f', 1);
    else
        readable = QStringLiteral("%1 GB").arg(double(bytes) / 1073741824.0, 0, 'f', 1);
    if (bytes < 1024)
        return readable;
    return QStringLiteral("%1 (%2 字节)").arg(readable, c.toString(bytes));
}

} // namespace shell::fileops

namespace shell::fileops {

QUrl fileUrl(const QByteArray &path)
{
    // %E9 stays %E9: names that are not UTF-8 keep their bytes.
    return QUrl::fromEncoded("file://" + path.toPercentEncoding("/"), QUrl::StrictMode);
}

} // namespace shell::fileops

namespace shell::fileops {
namespace {

// mkdir -p with mode 0700 for what is made; true when `path` is a directory at the end.
bool makeDirs(const QByteArray &path)
{
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const qsizetype slash = path.lastIndexOf('/');
    if (slash > 0 && !makeDirs(path.left(slash)))
        return false;
    return ::mkdir(path.constData(), 0700) == 0 || (errno == EEXIST && ::stat(path.constData(), &st) == 0
                                                     && S_ISDIR(st.st_mode));
}

// The mount point a path lies on: the highest ancestor on the same device.
QByteArray topDir(const QByteArray &path, dev_t device)
{
    QByteArray top = path;
    while (top != "/") {
        const qsizetype slash = top.lastIndexOf('/');
        const QByteArray up = slash <= 0 ? QByteArray("/") : top.left(slash);
        struct stat st {};
        if (::stat(up.constData(), &st) != 0 || st.st_dev != device)
            break;
        top = up;
    }
    return top;
}

} // namespace

bool moveToTrash(const QByteArray &path, QString &error, QByteArray *trashedTo)
{
    struct stat st {};
    if (path.isEmpty() || !path.startsWith('/') || ::lstat(path.constData(), &st) != 0) {
        error = errnoText(path.isEmpty() ? ENOENT : errno);
        return false;
    }
    const QByteArray homeTrash = places::trashDir();
    const QByteArray homeTrashParent = homeTrash.left(homeTrash.lastIndexOf('/'));
    struct stat hs {};
    QByteArray trash;
    QByteArray recordedPath = path;
    if (makeDirs(homeTrashParent) && ::stat(homeTrashParent.constData(), &hs) == 0 && hs.st_dev == st.st_dev) {
        trash = homeTrash;
    } else {
        // Another volume: its own trash at the top, so nothing is copied across volumes.
        const QByteArray top = topDir(path, st.st_dev);
        const QByteArray uid = QByteArray::number(::getuid());
        const QByteArray shared = filepath::join(top, ".Trash");
        struct stat ts {};
        if (::lstat(shared.constData(), &ts) == 0 && S_ISDIR(ts.st_mode) && (ts.st_mode & S_ISVTX))
            trash = filepath::join(shared, uid);
        if (trash.isEmpty() || !makeDirs(trash))
            trash = filepath::join(top, ".Trash-" + uid);
        if (top != "/" && path.startsWith(top + '/'))
            recordedPath = path.mid(top.size() + 1);
    }
    const QByteArray files = filepath::join(trash, "files");
    const QByteArray info = filepath::join(trash, "info");
    if (!makeDirs(files) || !makeDirs(info)) {
        error = QStringLiteral("无法使用回收站“%1”").arg(text(trash));
        return false;
    }
    const QByteArray name = baseName(path);
    const QByteArray infoText = "[Trash Info]\nPath=" + recordedPath.toPercentEncoding("/") + "\nDeletionDate="
                                + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1()
                                + '\n';
    for (int n = 1; n < 10000; ++n) {
        const QByteArray candidate = n == 1 ? name : name + '.' + QByteArray::number(n);
        const QByteArray infoPath = filepath::join(info, candidate + ".trashinfo");
        // The info file is made first, exclusively: it reserves the name.
        const int fd = ::open(infoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            error = errnoText(errno);
            return false;
        }
        const bool written = ::write(fd, infoText.constData(), std::size_t(infoText.size())) == infoText.size();
        ::close(fd);
        const QByteArray target = filepath::join(files, candidate);
        if (written && ::renameat2(AT_FDCWD, path.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0) {
            if (trashedTo)
                *trashedTo = target;
            return true;
        }
        const int why = written ? errno : EIO;
        ::unlink(infoPath.constData());
        if (why == EEXIST)
            continue;  // a stray entry in files/ without its info file
        error = errnoText(why);
        return false;
    }
    error = errnoText(EEXIST);
    return false;
}

} // namespace shell::fileops
