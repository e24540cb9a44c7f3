#include "core/listing.h"
#include "common/filepath.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>

#include "imaging/engine/apngdecoder.h"
#include "shell/nameorder.h"

namespace listingtesting {
std::atomic<int> failOpenWith{0};
std::atomic<void (*)(const QByteArray &)> beforeOpen{nullptr};
} // namespace listingtesting

namespace {

// ASCII letters only: the extension is compared as the file system stores it.
bool hasExtension(const QString &name, QLatin1String upper)
{
    if (name.size() < upper.size())
        return false;
    QString tail = name.right(upper.size());
    for (QChar &c : tail)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    return tail == upper;
}

bool isAnimatedPngAt(int dirFd, const char *raw)
{
    const int fd = openat(dirFd, raw, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool animated = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && engine::pngHasAnimationControl(fd);
    close(fd);
    return animated;
}

} // namespace

bool isCatalogueName(const QString &name)
{
    return hasExtension(name, QLatin1String(".GIF")) || hasExtension(name, QLatin1String(".WEBP"))
        || hasExtension(name, QLatin1String(".APNG"));
}

bool isPngName(const QString &name)
{
    return hasExtension(name, QLatin1String(".PNG"));
}

QStringList animatedPngNames(const QString &folder, const QStringList &pngNames,
                             const std::function<bool()> &stop)
{
    QStringList out;
    const filepath::FolderHandle dir = filepath::openFolder(filepath::pathToBytes(folder));
    if (!dir)
        return out;
    for (const QString &name : pngNames) {
        if (stop && stop())
            break;
        if (isAnimatedPngAt(dirfd(dir.get()), filepath::pathToBytes(name).constData()))
            out << name;
    }
    return out;
}

QStringList mergeCatalogueNames(const QStringList &a, const QStringList &b)
{
    QStringList out;
    out.reserve(a.size() + b.size());
    std::merge(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out), shell::fileNameLess);
    return out;
}

CatalogueListing listCatalogue(const QString &folder, PngFiles pngFiles)
{
    CatalogueListing out;
    if (!folder.startsWith(QLatin1Char('/'))) {
        out.error = engine::Cause::NotFound;
        return out;
    }
    const QByteArray encoded = filepath::pathToBytes(folder);
    if (const int error = listingtesting::failOpenWith.load()) {
        out.error = engine::causeFromErrno(error);
        return out;
    }
    if (const auto hook = listingtesting::beforeOpen.load())
        hook(encoded);
    const filepath::FolderHandle dir = filepath::openFolder(encoded);
    if (!dir) {
        out.error = engine::causeFromErrno(errno);
        return out;
    }
    const int fd = dirfd(dir.get());
    QStringList names;
    QStringList pngNames;
    std::vector<CatalogueListing::Skipped> skipped;
    int readError = 0;
    for (;;) {
        errno = 0;
        const dirent *entry = readdir(dir.get());
        if (!entry) {
            readError = errno;
            break;
        }
        const char *raw = entry->d_name;
        if (raw[0] == '.')
            continue; // hidden, and "." and ".."
        const QString name = filepath::pathFromBytes(raw);
        const bool png = isPngName(name);
        if (!png && !isCatalogueName(name))
            continue;
        struct stat st {};
        // A regular file needs no stat call (one per entry adds up in a large folder).
        if (entry->d_type == DT_REG)
            st.st_mode = S_IFREG;
        else if (fstatat(fd, raw, &st, 0) != 0) {
            const int e = errno;
            if (e == ELOOP)
                skipped.push_back({name, CatalogueListing::Skipped::LinkLoop});
            else if (e == ENOENT)
                skipped.push_back({name, CatalogueListing::Skipped::DanglingLink});
            continue;
        }
        if (S_ISDIR(st.st_mode))
            continue; // a subfolder with a GIF name is simply not a file
        if (!S_ISREG(st.st_mode)) {
            skipped.push_back({name, CatalogueListing::Skipped::SpecialFile});
            continue;
        }
        if (!png)
            names << name;
        else if (pngFiles == PngFiles::Later)
            pngNames << name;
        else if (isAnimatedPngAt(fd, raw))
            names << name;
    }
    if (readError != 0) {
        out.error = engine::causeFromErrno(readError);
        return out;
    }
    shell::sortFileNames(names);
    shell::sortFileNames(pngNames);
    std::sort(skipped.begin(), skipped.end(),
              [](const auto &a, const auto &b) { return shell::fileNameLess(a.name, b.name); });
    out.names = std::move(names);
    out.pngNames = std::move(pngNames);
    out.skipped = std::move(skipped);
    return out;
}
