#include "imaging/engine/atomicfile.h"

#include "common/filepath.h"

#include <QFile>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace engine {

namespace testing {
// The write system call every byte of a saved file goes through. Only tests
// replace it (tests/imaging/writefault.h), to make a write fail as a full disk
// would.
using WriteCall = ssize_t (*)(int, const void *, std::size_t);
std::atomic<WriteCall> writeSystemCall{&::write};
} // namespace testing

namespace {

// Tries to find a free temporary name this many times before giving up.
constexpr int TemporaryNameAttempts = 16;
// Copy buffer for the rare case of moving an unnamed temporary's bytes into a
// named one (no /proc to link it through).
constexpr std::size_t CopyChunk = 64 * 1024;

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

// Everything here happens in the target's folder, so a name that is not there
// (any more) means the folder is gone.
Cause causeOfErrno(int error)
{
    return error == ENOENT ? Cause::FolderMissing : causeFromErrno(error);
}

// A hidden name in the target's folder that nothing else uses yet; short, so
// that it fits wherever the target's own name fits.
QByteArray temporaryName()
{
    return ".falorengif-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".tmp";
}

// Writes all of `data` through the write system call; false with *error set.
bool writeFully(int fd, const char *data, qint64 size, int *error)
{
    const testing::WriteCall writeCall = testing::writeSystemCall.load(std::memory_order_relaxed);
    while (size > 0) {
        const ssize_t n = writeCall(fd, data, std::size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A write that makes no progress would loop for ever.
            *error = n < 0 ? errno : EIO;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

// The temporary file as a QIODevice, for Qt's image writers. Unbuffered; reads
// and writes at the device's own position.
class AtomicFile::Device final : public QIODevice {
public:
    explicit Device(AtomicFile *file) : m_file(file) {}
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_file->m_size; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (m_file->m_status != Ok)
            return -1;
        for (;;) {
            const ssize_t n = ::pread(m_file->m_fd, data, std::size_t(maxSize), off_t(pos()));
            if (n >= 0)
                return n;
            if (errno != EINTR) {
                m_file->failWithErrno(errno);
                return -1;
            }
        }
    }
    qint64 writeData(const char *data, qint64 size) override
    {
        return m_file->writeAt(data, size, pos()) ? size : -1;
    }

private:
    AtomicFile *m_file;
};

AtomicFile::AtomicFile(const QString &path)
{
    if (path.isEmpty()) {
        fail(InvalidParameter, Cause::IoError);
        return;
    }
    // The path's bytes as the file system knows them (common/filepath.h).
    const QByteArray bytes = filepath::pathToBytes(path);
    const qsizetype slash = bytes.lastIndexOf('/');
    m_name = bytes.mid(slash + 1);
    if (m_name.isEmpty()) {
        // "folder/": the name is the folder's.
        fail(AccessDenied, Cause::FolderInTheWay);
        return;
    }
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : bytes.left(slash);
    // Links among the folders are followed, as any program would.
    m_dir = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_dir < 0) {
        failWithErrno(errno);
        return;
    }

    struct stat st {};
    if (::fstatat(m_dir, m_name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode)) {
            fail(AccessDenied, Cause::SymlinkInTheWay);
            return;
        }
        if (S_ISDIR(st.st_mode)) {
            fail(AccessDenied, Cause::FolderInTheWay);
            return;
        }
        // A file the user may not write is not replaced behind its back either.
        if (::faccessat(m_dir, m_name.constData(), W_OK, 0) != 0) {
            fail(AccessDenied, errno == EROFS ? Cause::ReadOnlyFileSystem : Cause::PermissionDenied);
            return;
        }
        m_existed = true;
    } else if (errno != ENOENT) {
        failWithErrno(errno);
        return;
    }

    m_fd = ::openat(m_dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR || error == EACCES || error == EPERM
            || error == EROFS || error == ENOSPC || error == EDQUOT || error == ENOMEM) {
            failWithErrno(error);
            return;
        }
        // No O_TMPFILE on this file system.
        for (int attempt = 0; attempt < TemporaryNameAttempts && m_fd < 0; ++attempt) {
            m_temp = temporaryName();
            m_fd = ::openat(m_dir, m_temp.constData(),
                            O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (m_fd < 0 && errno != EEXIST) {
                m_temp.clear();
                failWithErrno(errno);
                return;
            }
        }
        if (m_fd < 0) {
            m_temp.clear();
            fail(Win32Error, Cause::IoError);
            return;
        }
        m_named = true;
    }
    if (m_existed)
        ::fchmod(m_fd, st.st_mode & 07777);
}

AtomicFile::~AtomicFile()
{
    m_device.reset();
    if (!m_temp.isEmpty())
        ::unlinkat(m_dir, m_temp.constData(), 0);
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_dir >= 0)
        ::close(m_dir);
}

void AtomicFile::fail(Status status, Cause cause)
{
    if (m_status != Ok)
        return;
    m_status = status;
    m_cause = cause;
}

void AtomicFile::failWithErrno(int error)
{
    fail(statusFromErrno(error), causeOfErrno(error));
}

bool AtomicFile::writeAt(const char *data, qint64 size, qint64 offset)
{
    if (m_status != Ok)
        return false;
    // Appends are the common case; a device that went back writes in place.
    if (offset != m_size && ::lseek(m_fd, off_t(offset), SEEK_SET) < 0) {
        failWithErrno(errno);
        return false;
    }
    int error = 0;
    if (!writeFully(m_fd, data, size, &error)) {
        failWithErrno(error);
        return false;
    }
    const qint64 end = offset + size;
    if (end > m_size)
        m_size = end;
    if (end != m_size && ::lseek(m_fd, off_t(m_size), SEEK_SET) < 0) {
        failWithErrno(errno);
        return false;
    }
    return true;
}

bool AtomicFile::write(const char *data, qint64 size)
{
    if (m_device && m_device->isOpen() && m_device->pos() != m_size)
        m_device->seek(m_size);
    const bool ok = writeAt(data, size, m_size);
    if (ok && m_device && m_device->isOpen())
        m_device->seek(m_size);
    return ok;
}

QIODevice *AtomicFile::device()
{
    if (!m_device) {
        m_device = std::make_unique<Device>(this);
        m_device->open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    }
    return m_device.get();
}

// Gives the unnamed temporary a name in the folder (m_temp), so it can be
// renamed; copies its bytes into a named one where /proc is missing.
bool AtomicFile::linkTemporaryName(QByteArray *temp)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
    for (int attempt = 0; attempt < TemporaryNameAttempts; ++attempt) {
        *temp = temporaryName();
        if (::linkat(AT_FDCWD, self.constData(), m_dir, temp->constData(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno == EEXIST)
            continue;
        if (errno != ENOENT || ::access("/proc/self/fd", F_OK) == 0) {
            temp->clear();
            failWithErrno(errno);
            return false;
        }
        // No /proc: copy into a named temporary.
        const int out = ::openat(m_dir, temp->constData(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (out < 0) {
            if (errno == EEXIST)
                continue;
            temp->clear();
            failWithErrno(errno);
            return false;
        }
        struct stat st {};
        if (::fstat(m_fd, &st) == 0)
            ::fchmod(out, st.st_mode & 07777);
        std::vector<char> buffer(CopyChunk);
        bool ok = true;
        for (qint64 at = 0; ok && at < m_size;) {
            const ssize_t n = ::pread(m_fd, buffer.data(), buffer.size(), off_t(at));
            if (n <= 0) {
                if (n < 0 && errno == EINTR)
                    continue;
                failWithErrno(n < 0 ? errno : EIO);
                ok = false;
                break;
            }
            int error = 0;
            ok = writeFully(out, buffer.data(), n, &error);
            if (!ok)
                failWithErrno(error);
            at += n;
        }
        if (::close(out) != 0 && ok) {
            failWithErrno(errno);
            ok = false;
        }
        if (!ok) {
            ::unlinkat(m_dir, temp->constData(), 0);
            temp->clear();
        }
        return ok;
    }
    temp->clear();
    fail(Win32Error, Cause::IoError);
    return false;
}

// The name was free when we began: link the file there, which fails rather
// than replace anything that appeared since.
bool AtomicFile::linkIntoFreeName()
{
    if (m_named) {
        if (::renameat2(m_dir, m_temp.constData(), m_dir, m_name.constData(), RENAME_NOREPLACE) == 0) {
            m_temp.clear();
            return true;
        }
        if (errno == EEXIST)
            return nameTaken();
        if (errno != EINVAL && errno != ENOSYS) {
            failWithErrno(errno);
            return false;
        }
        // No RENAME_NOREPLACE here: a hard link refuses an existing name too.
        if (::linkat(m_dir, m_temp.constData(), m_dir, m_name.constData(), 0) != 0) {
            if (errno == EEXIST)
                return nameTaken();
            failWithErrno(errno);
            return false;
        }
        ::unlinkat(m_dir, m_temp.constData(), 0);
        m_temp.clear();
        return true;
    }
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
    if (::linkat(AT_FDCWD, self.constData(), m_dir, m_name.constData(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    if (errno == EEXIST)
        return nameTaken();
    if (errno == ENOENT && ::access("/proc/self/fd", F_OK) != 0) {
        if (!linkTemporaryName(&m_temp))
            return false;
        m_named = true;
        return linkIntoFreeName();
    }
    failWithErrno(errno);
    return false;
}

// Something took the free name while the file was written: an ordinary file is
// replaced as if it had been there; a link or a folder stays and the save fails.
bool AtomicFile::nameTaken()
{
    // Names that keep appearing and vanishing again are not chased for ever.
    if (++m_races > TemporaryNameAttempts) {
        fail(Win32Error, Cause::IoError);
        return false;
    }
    return replaceExisting();
}

// An ordinary file had the name: check that it still is one, then rename over
// it. The rename replaces the directory entry itself, so even a link planted in
// between is replaced, never written through.
bool AtomicFile::replaceExisting()
{
    if (!m_named) {
        if (!linkTemporaryName(&m_temp))
            return false;
        m_named = true;
    }
    struct stat st {};
    if (::fstatat(m_dir, m_name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) {
            // Gone meanwhile: the name is free again.
            return linkIntoFreeName();
        }
        failWithErrno(errno);
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        fail(AccessDenied, Cause::SymlinkInTheWay);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        fail(AccessDenied, Cause::FolderInTheWay);
        return false;
    }
    if (::renameat(m_dir, m_temp.constData(), m_dir, m_name.constData()) != 0) {
        failWithErrno(errno);
        return false;
    }
    m_temp.clear();
    return true;
}

Status AtomicFile::commit(Cause *cause)
{
    // Once placed the descriptor is gone: a second commit only reports.
    if (m_status == Ok && m_fd >= 0) {
        const bool placed = m_existed ? replaceExisting() : linkIntoFreeName();
        // NFS reports late write errors at close.
        if (placed && ::close(m_fd) != 0)
            failWithErrno(errno);
        if (placed)
            m_fd = -1;
    }
    if (cause)
        *cause = m_cause;
    return m_status;
}

Status writeFileAtomically(const QString &path, const QByteArray &bytes, Cause *cause)
{
    AtomicFile file(path);
    file.write(bytes);
    return file.commit(cause);
}

} // namespace engine
