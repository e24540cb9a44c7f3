#include "core/listing.h"
#include "common/filepath.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "shell/nameorder.h"

namespace {

// Closes the folder handle on every path.
struct DirCloser {
    void operator()(DIR *d) const { closedir(d); }
};

} // namespace

namespace listingtesting {
std::atomic<int> failOpenWith{0};
} // namespace listingtesting

bool isCatalogueName(const QString &name)
{
    // ASCII letters only: the extension is compared as the file system stores it.
    if (name.size() < 4)
        return false;
    QString tail = name.right(4);
    for (QChar &c : tail)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    return tail == QLatin1String(".GIF");
}

CatalogueListing listCatalogue(const QString &folder)
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
    std::unique_ptr<DIR, DirCloser> dir(opendir(encoded.constData()));
    if (!dir) {
        out.error = engine::causeFromErrno(errno);
        return out;
    }
    const int fd = dirfd(dir.get());
    QStringList names;
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
        if (!isCatalogueName(name))
            continue;
        struct stat st {};
        if (fstatat(fd, raw, &st, 0) != 0) {
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
        names << name;
    }
    if (readError != 0) {
        out.error = engine::causeFromErrno(readError);
        return out;
    }
    std::sort(names.begin(), names.end(), shell::fileNameLess);
    std::sort(skipped.begin(), skipped.end(),
              [](const auto &a, const auto &b) { return shell::fileNameLess(a.name, b.name); });
    out.names = std::move(names);
    out.skipped = std::move(skipped);
    return out;
}
