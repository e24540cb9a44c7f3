#pragma once
// Why a picture could not be read or a file could not be written: the one list
// of causes that the export run, the catalogue and the command line report.
// Each front end words the causes in its own language; this file only names
// them and maps the engine's statuses and the system's error numbers onto them.
// Pure functions; any thread; nothing throws.

#include "imaging/engine/records.h"

namespace engine {

enum class Cause {
    None,               // nothing failed
    NotFound,           // the source file or a folder on its way does not exist
    NotAPicture,        // the file holds no picture this program reads
    NoFrames,           // a GIF without a single frame
    PictureTooLarge,    // over the canvas limit, or no memory for it
    FrameUnreadable,    // this frame could not be decoded
    SourceChanged,      // the file changed while it was being read
    NoEncoder,          // no encoder for the chosen format
    EncodeFailed,       // the encoder could not encode this frame
    PermissionDenied,   // not allowed to read or write there
    ReadOnlyFileSystem, // the target lies on a read-only file system
    DiskFull,           // no space left on the device, or over the quota
    NameTooLong,        // the output name is longer than the file system allows
    FolderMissing,      // the output folder does not exist (any more)
    NotAFolder,         // the output folder path names something else
    FolderInTheWay,     // a folder has the output file's name
    SymlinkInTheWay,    // a symbolic link has the output file's name
    OutOfMemory,        // memory ran out while encoding or writing
    IoError,            // any other failure of the file system
};

// The cause for an error number of a failed system call (errno), from the
// point of view of the file being read or written. 0 gives None.
Cause causeFromErrno(int error);

// The cause for an engine status when nothing more precise is known (the
// status of a load, a frame selection or a save). Ok gives None.
Cause causeFromStatus(Status status);

// Causes that end a whole export run: every later file would fail alike
// (disk full, target folder gone or read-only).
bool causeStopsRun(Cause cause);

} // namespace engine
