#include "imaging/engine/atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine {

namespace {

Status statusFromErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return FileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return AccessDenied;
    default:
        return Win32Error;
    }
}

// Closes the descriptor on every path.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    // Closes now and reports whether the close succeeded (NFS reports late
    // write errors here).
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, std::size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// A name beside the target that nothing else uses yet.
QByteArray temporaryName(const QByteArray &target)
{
    return target + '.' + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".tmp";
}

// The mode the file must end with: the existing file's, or 0666 less the
// umask for a new one (what open(2) already gave the temporary file).
void keepExistingMode(int fd, const QByteArray &target)
{
    struct stat st {};
    if (::stat(target.constData(), &st) == 0 && S_ISREG(st.st_mode))
        ::fchmod(fd, st.st_mode & 07777);
}

// The named-temporary route: write, then rename over the target.
Status writeThroughNamedTemporary(const QByteArray &target, const QByteArray &bytes)
{
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = temporaryName(target);
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return statusFromErrno(errno);
    }
    if (fd < 0)
        return Win32Error;
    Fd file(fd);
    keepExistingMode(fd, target);
    if (!writeAll(fd, bytes) || !file.close()) {
        const int error = errno;
        ::unlink(temp.constData());
        return statusFromErrno(error);
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        return statusFromErrno(error);
    }
    return Ok;
}

} // namespace

Status writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        return InvalidParameter;
    QFileInfo info(path);
    // Follow a link to the file it names, so the link stays a link.
    if (info.isSymLink() && !info.symLinkTarget().isEmpty())
        info = QFileInfo(info.symLinkTarget());
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    if (info.isDir())
        return AccessDenied;
    // A file the user may not write is not replaced behind its back either.
    if (::access(target.constData(), F_OK) == 0 && ::access(target.constData(), W_OK) != 0)
        return AccessDenied;

    const int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR || errno == EACCES || errno == EROFS)
            return statusFromErrno(errno);
        // No O_TMPFILE on this file system.
        return writeThroughNamedTemporary(target, bytes);
    }
    Fd file(fd);
    if (!writeAll(fd, bytes))
        return statusFromErrno(errno);
    keepExistingMode(fd, target);

    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    // Linking fails with EEXIST rather than replacing: the free-name case is done
    // in one step, otherwise link to a temporary name and rename over the target.
    if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, target.constData(), AT_SYMLINK_FOLLOW) == 0)
        return file.close() ? Ok : Win32Error;
    if (errno != EEXIST) {
        if (errno == EACCES || errno == EPERM || errno == EROFS || errno == ENOSPC || errno == EDQUOT)
            return statusFromErrno(errno);
        // /proc missing, say: fall back to the named temporary.
        return writeThroughNamedTemporary(target, bytes);
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray temp = temporaryName(target);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, temp.constData(), AT_SYMLINK_FOLLOW) != 0) {
            if (errno == EEXIST)
                continue;
            return statusFromErrno(errno);
        }
        if (::rename(temp.constData(), target.constData()) != 0) {
            const int error = errno;
            ::unlink(temp.constData());
            return statusFromErrno(error);
        }
        return file.close() ? Ok : Win32Error;
    }
    return Win32Error;
}

} // namespace engine
