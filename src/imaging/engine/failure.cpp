#include "imaging/engine/failure.h"

#include <cerrno>

namespace engine {

Cause causeFromErrno(int error)
{
    switch (error) {
    case 0:
        return Cause::None;
    case ENOENT:
        return Cause::NotFound;
    case EACCES:
    case EPERM:
        return Cause::PermissionDenied;
    case EROFS:
        return Cause::ReadOnlyFileSystem;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return Cause::DiskFull;
    case ENAMETOOLONG:
        return Cause::NameTooLong;
    case ENOTDIR:
        return Cause::NotAFolder;
    case EISDIR:
        return Cause::FolderInTheWay;
    case ELOOP:
        return Cause::SymlinkInTheWay;
    case ENOMEM:
        return Cause::OutOfMemory;
    default:
        return Cause::IoError;
    }
}

Cause causeFromStatus(Status status)
{
    switch (status) {
    case Ok:
        return Cause::None;
    case FileNotFound:
        return Cause::NotFound;
    case AccessDenied:
        return Cause::PermissionDenied;
    case UnknownImageFormat:
        return Cause::NotAPicture;
    case OutOfMemory:
        return Cause::PictureTooLarge;
    case Win32Error:
        return Cause::IoError;
    case SourceChanged:
        return Cause::SourceChanged;
    case FrameCorrupt:
        return Cause::FrameUnreadable;
    default:
        return Cause::EncodeFailed;
    }
}

bool causeStopsRun(Cause cause)
{
    return cause == Cause::DiskFull || cause == Cause::FolderMissing
           || cause == Cause::ReadOnlyFileSystem;
}

} // namespace engine
