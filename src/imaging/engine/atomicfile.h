#pragma once
// Writing a whole file so that it appears complete or not at all.
//
// The bytes go to an unnamed temporary file in the target's folder (O_TMPFILE;
// a named temporary where the file system has none), which is linked into place
// when the name is free or renamed over the existing file, so a failed save
// never damages a file that was already there and leaves no temporary behind.
// A new file gets the usual permissions (0666 less the umask, as open(2) gives
// them; a renamed QTemporaryFile would keep 0600); a replaced file keeps its
// mode; a file the user may not write is left alone (AccessDenied), as
// QSaveFile does.
//
// Symbolic links: links among the folders of the path are followed, but the
// output name itself is never written through. A link found there is left as
// it is, its target untouched, and the save fails (AccessDenied,
// Cause::SymlinkInTheWay). Everything after the folder is opened works on that
// folder's descriptor; the final step links the new file into a free name
// (which fails rather than replace anything that appeared meanwhile) or, when
// an ordinary file is to be replaced, checks again that it is one and renames
// over it, which replaces a directory entry and never writes through a link.
//
// Unlike QSaveFile this does not fsync each file: exporting hundreds of frames
// would wait on the disk for every one (measured: thumbnails of 300 files 0.16 s
// without, 0.35 s with). The file is durable once the system flushes it, like
// any file an ordinary program writes.
//
// Failures come with a status (kept as callers know them) and, where asked for,
// a cause (engine/failure.h) taken from the system's error: DiskFull,
// FolderMissing (the folder does not exist or vanished), PermissionDenied,
// ReadOnlyFileSystem, NameTooLong, NotAFolder, FolderInTheWay, SymlinkInTheWay,
// OutOfMemory, IoError.
//
// Any thread; nothing throws.

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <memory>

#include "imaging/engine/failure.h"
#include "imaging/engine/records.h"

namespace engine {

// A file being written: open it, write its bytes in pieces (or hand device() to
// a writer that wants a QIODevice), then commit() to put it in place. Destroyed
// without a successful commit, it leaves nothing behind. One thread at a time.
class AtomicFile {
public:
    explicit AtomicFile(const QString &path);
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // Ok while nothing has failed; otherwise the first failure, which every
    // later call returns too.
    Status status() const { return m_status; }
    Cause cause() const { return m_cause; }

    // Appends bytes; false once anything failed.
    bool write(const char *data, qint64 size);
    bool write(const QByteArray &bytes) { return write(bytes.constData(), bytes.size()); }

    // A random-access device over the temporary file (position, seek and
    // read-back for writers that go back to patch headers), open for reading and
    // writing. Its writes take the same path as write(); a failure there shows in
    // status() and cause().
    QIODevice *device();

    // Puts the file in place. Returns status(); `*cause` (when given) gets cause().
    Status commit(Cause *cause = nullptr);

private:
    class Device;
    struct Names;

    void fail(Status status, Cause cause);
    void failWithErrno(int error);
    bool writeAt(const char *data, qint64 size, qint64 offset);
    bool linkIntoFreeName();
    bool replaceExisting();
    bool nameTaken();
    bool linkTemporaryName(QByteArray *temp);

    Status m_status = Ok;
    Cause m_cause = Cause::None;
    int m_dir = -1;           // the target's folder
    int m_fd = -1;            // the temporary file
    bool m_named = false;     // a named temporary (no O_TMPFILE here)
    bool m_existed = false;   // an ordinary file had the name when we began
    int m_races = 0;          // times the name was taken while we wrote
    qint64 m_size = 0;        // bytes written so far (end of the file)
    QByteArray m_name;        // the target's name within m_dir
    QByteArray m_temp;        // the named temporary's name, while there is one
    std::unique_ptr<Device> m_device;
};

// Writes `bytes` to `path` through an AtomicFile. Ok, FileNotFound (no such
// folder), AccessDenied (not allowed, read-only file system, a folder or a
// symbolic link in the way), Win32Error (any other I/O failure, disk full) or
// InvalidParameter (empty path); `*cause` (when given) says precisely why.
Status writeFileAtomically(const QString &path, const QByteArray &bytes, Cause *cause = nullptr);

} // namespace engine
