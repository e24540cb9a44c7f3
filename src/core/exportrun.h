#pragma once
// The export run: writes chosen frames of one GIF as picture files named
// folder + base name + "_" + frame number + extension (imaging/exportnames.h),
// and reports each file that could not be written with its cause. The export
// dialog and the command line both run it; each words the causes itself.
//
// A frame that cannot be selected or saved writes no file and is a failure
// (never the previous frame under its number); a frame of which nothing
// decodes fails with FrameUnreadable and the run goes on with the next one,
// which the decoder draws on the canvas as it stands. A frame that decodes only
// in part is written as far as it goes and named among the damaged frames, for
// the front ends to report or not. An existing file is replaced
// only by a complete new one. A cancelled run stops after the files being
// written; nothing half-written stays. A failure that every later file would
// share (engine::causeStopsRun) stops the run the same way.
//
// Threads: runExport runs on the calling thread (a worker in the program) and
// returns when every file is written or has failed. Frames are decoded in
// order on that thread and encoded by a pool of its own; the control's
// callbacks are called on the calling thread. Never throws but std::bad_alloc.

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/jobs.h"
#include "imaging/engine/failure.h"
#include "imaging/engine/image.h"

struct ExportRequest {
    QString source;      // the GIF whose frames are written
    QString folder;      // output folder, ending in "/" (exportFolder)
    int formatIndex = 0; // index into exportFormats()
    // Which frames: every frame of the GIF, but at least the `listedFrames`
    // frames a list shows (a frame listed but gone from the file is a
    // failure); otherwise the positions in `frames` (from 0, ascending).
    bool allFrames = false;
    int listedFrames = 0;
    std::vector<int> frames;
    // Frame numbers zero-padded to this many digits (0: as the window writes them).
    int numberWidth = 0;
    // Number the files by their position in `frames` (from 1) instead of by
    // frame: a run over samples, which may show one frame several times.
    bool numberByPosition = false;
    // Hash each frame decoded (core/framehash.h), for the timing files.
    bool hashes = false;
    // A frame equal to one written earlier in this run (the same hash and
    // size) is not written again; ExportResult::duplicateOf names the earlier one.
    bool unique = false;
};

struct ExportFailure {
    QString path;     // the file that was not written
    int frame = 0;    // its frame, from 0
    engine::Cause cause = engine::Cause::IoError;
    engine::Status status = engine::GenericError;
    bool reading = false; // the cause lies with the GIF, not with the file written
};

struct ExportResult {
    int attempted = 0; // files the run was asked to write
    int written = 0;
    std::vector<ExportFailure> failures; // in frame order
    // The GIF itself could not be read (then every file fails with this cause).
    engine::Cause sourceError = engine::Cause::None;
    engine::Status sourceStatus = engine::Ok;
    std::uint32_t frameCount = 0; // frames in the GIF
    bool cancelled = false;
    // A failure that every later file would share (disk full, target folder
    // gone or read-only) ends the run: its cause, and the files never tried.
    engine::Cause stoppedBy = engine::Cause::None;
    int notAttempted = 0; // files never tried (cancelled or stopped)
    // The run's files in order, with their frames (from 0): the first
    // attempted - notAttempted were tried, and those not among the failures
    // were written.
    std::vector<QString> files;
    std::vector<int> frames;
    // Frames (from 0) written although their data is corrupt or cut short
    // part-way: drawn as far as they decode, in frame order.
    std::vector<int> damaged;
    // With `hashes` (or `unique`), one per position of `files`: the decoded
    // frame's content hash, or nothing when it was not decoded.
    std::vector<std::optional<std::uint64_t>> hashes;
    // With `unique`, one per position: the earlier position whose file holds the
    // same picture (this one was not written), or -1.
    std::vector<int> duplicateOf;
    int duplicates = 0; // positions not written for being duplicates
};

struct ExportControl {
    CancelFlag cancel; // may be null
    // Files finished (written or failed) so far, and the run's file count.
    std::function<void(int done, int total)> progress;
    // Called before the k-th file's frame (from 0) is selected: a test's way to
    // change the world between two frames.
    std::function<void(int k)> beforeFrame;
    // Encoder threads of the run (0: one per core); runs that go on at the
    // same time share the cores this way.
    int encoderThreads = 0;
};

// A run over `frames` may name a frame more than once (samples by time): the
// frame is then decoded once and written under each of its names.
//
// folder + base + "_" + (frameIndex + 1) + extension, the number zero-padded to
// `numberWidth` digits; exportFileName's names when `numberWidth` is 0.
QString exportFrameName(const QString &folder, const QString &base, int frameIndex,
                        const QString &extension, int numberWidth);

ExportResult runExport(const ExportRequest &request, const ExportControl &control = {});

// The same run on `picture`, already loaded from request.source by a caller that
// needed it first (its frame count, say), so the file is not read twice; null
// with the status its load gave.
ExportResult runExport(const ExportRequest &request, const ExportControl &control,
                       std::unique_ptr<engine::Image> picture, engine::Status loadStatus);
