#include "core/exportrun.h"
#include "common/filepath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <tuple>
#include <utility>

#include "core/framehash.h"
#include "core/picturefacts.h"
#include "imaging/engine/framesaver.h"
#include "imaging/exportnames.h"
#include "imaging/filesize.h"
#include "imaging/gdiplus.h"

namespace {

// How often a run waiting for its last files reports progress, in milliseconds.
constexpr int ProgressPollMs = 50;

// Why a save failed, judged from what stands at the target after the failure.
engine::Cause writeFailureCause(const QString &path, engine::Status status)
{
    const QByteArray target = filepath::pathToBytes(path);
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? target.left(slash) : QByteArray(slash == 0 ? "/" : ".");
    struct stat t {};
    struct stat f {};
    const bool targetExists = ::stat(target.constData(), &t) == 0;
    if (targetExists && S_ISDIR(t.st_mode))
        return engine::Cause::FolderInTheWay;
    if (::stat(folder.constData(), &f) != 0)
        return engine::Cause::FolderMissing;
    if (!S_ISDIR(f.st_mode))
        return engine::Cause::NotAFolder;
    if (::access(folder.constData(), W_OK) != 0
        || (targetExists && ::access(target.constData(), W_OK) != 0))
        return engine::Cause::PermissionDenied;
    switch (status) {
    case engine::OutOfMemory:
        return engine::Cause::OutOfMemory;
    case engine::InvalidParameter:
        return engine::Cause::EncodeFailed;
    default:
        return engine::Cause::IoError;
    }
}

// The cause of a failed save: what the writer saw, else what stands at the target.
engine::Cause saveFailureCause(const engine::FrameSaver::Failure &f)
{
    if (f.cause != engine::Cause::None && f.cause != engine::Cause::IoError)
        return f.cause;
    return writeFailureCause(f.path, f.status);
}

// A cause that ends the run, seen in the saves finished so far.
engine::Cause stopCause(const engine::FrameSaver &saver)
{
    for (const engine::FrameSaver::Failure &f : saver.failures()) {
        const engine::Cause cause = saveFailureCause(f);
        if (engine::causeStopsRun(cause))
            return cause;
    }
    return engine::Cause::None;
}

} // namespace

QString exportFrameName(const QString &folder, const QString &base, int frameIndex,
                        const QString &extension, int numberWidth)
{
    if (numberWidth <= 0)
        return exportFileName(folder, base, frameIndex, extension);
    return folder + base + QLatin1Char('_')
           + QStringLiteral("%1").arg(std::int64_t(frameIndex) + 1, numberWidth, 10, QLatin1Char('0'))
           + extension;
}

ExportResult runExport(const ExportRequest &request, const ExportControl &control)
{
    engine::Status loadStatus = engine::Ok;
    std::unique_ptr<engine::Image> picture = engine::Image::load(request.source, &loadStatus);
    return runExport(request, control, std::move(picture), loadStatus);
}

ExportResult runExport(const ExportRequest &request, const ExportControl &control,
                       std::unique_ptr<engine::Image> picture, engine::Status loadStatus)
{
    ExportResult result;
    const auto &formats = exportFormats();
    const ExportFormat &format =
        formats[size_t(request.formatIndex >= 0 && request.formatIndex < int(formats.size())
                           ? request.formatIndex
                           : 0)];
    const QString base = StripExtension(filepath::fileName(request.source));
    const QString extension = QString::fromLatin1(format.extension);

    if (!picture) {
        result.sourceStatus = loadStatus;
        result.sourceError = loadFailureCause(loadStatus);
    }
    const engine::Guid dimension = picture ? picture->frameDimension() : engine::FrameDimensionTime;
    result.frameCount = picture ? picture->frameCount() : 0;

    // A list stops at a limit; "all frames" still means every frame of the file.
    std::vector<int> frames = request.frames;
    if (request.allFrames) {
        const std::int64_t n =
            std::max<std::int64_t>(request.listedFrames, std::int64_t(result.frameCount));
        frames.clear();
        frames.reserve(size_t(n));
        for (std::int64_t i = 0; i < n; ++i)
            frames.push_back(int(i));
    }
    const int total = int(frames.size());
    result.attempted = total;
    if (frames.empty())
        return result;

    std::vector<QString> names;
    names.reserve(frames.size());
    for (size_t k = 0; k < frames.size(); ++k)
        names.push_back(exportFrameName(request.folder, base,
                                        request.numberByPosition ? int(k) : frames[k], extension,
                                        request.numberWidth));
    const bool hashing = request.hashes || request.unique;
    if (hashing)
        result.hashes.assign(frames.size(), std::nullopt);
    if (request.unique)
        result.duplicateOf.assign(frames.size(), -1);
    // (hash, width, height) -> the first position that wrote that picture.
    std::map<std::tuple<std::uint64_t, int, int>, int> firstWithPicture;
    int selectedFrame = -1; // the frame the picture shows after a successful selection

    // The identifier stays all zeros when no encoder matches; that is reported
    // for every frame instead of letting the save fail quietly.
    Guid clsid{};
    const bool haveEncoder = FindEncoder(QByteArray(format.mimeType), &clsid) >= 0;
    const ExportQuality quality;

    std::vector<ExportFailure> failures;
    auto fail = [&](size_t k, engine::Cause cause, engine::Status status, bool reading) {
        failures.push_back({names[k], frames[k], cause, status, reading});
    };
    int finishedBefore = 0; // files settled without reaching the saver
    int submitted = 0;
    auto report = [&](const engine::FrameSaver &saver) {
        if (control.progress)
            control.progress(finishedBefore + int(saver.completed()), total);
    };
    {
        // Frames are decoded here, in order, and encoded on the saver's workers.
        engine::FrameSaver saver(control.encoderThreads);
        const qint64 frameBytes = picture ? qint64(picture->width()) * picture->height() * 4 : 0;
        for (size_t k = 0; k < frames.size(); ++k) {
            if (control.cancel && control.cancel->load()) {
                result.cancelled = true;
                result.notAttempted = total - int(k);
                break;
            }
            if (const engine::Cause stop = stopCause(saver); stop != engine::Cause::None) {
                result.stoppedBy = stop;
                result.notAttempted = total - int(k);
                break;
            }
            if (!filepath::isFolder(request.folder)) {
                // The target folder went away: this file fails, the rest are not tried.
                fail(k, engine::Cause::FolderMissing, engine::FileNotFound, false);
                result.stoppedBy = engine::Cause::FolderMissing;
                result.notAttempted = total - int(k) - 1;
                break;
            }
            if (control.beforeFrame)
                control.beforeFrame(int(k));
            // Room first, then the frame: composed while the queue is full, it
            // would be one more canvas in memory for nothing.
            saver.waitForRoom(frameBytes);
            if (!picture) {
                fail(k, result.sourceError, result.sourceStatus, true);
                ++finishedBefore;
            } else if (!haveEncoder) {
                fail(k, engine::Cause::NoEncoder, engine::GenericError, false);
                ++finishedBefore;
            } else if (const engine::Status s = frames[k] == selectedFrame
                                                    ? engine::Ok
                                                    : picture->selectFrame(dimension, std::uint32_t(frames[k]));
                       s != engine::Ok) {
                selectedFrame = -1;
                const engine::Cause cause = engine::causeFromStatus(s) == engine::Cause::SourceChanged
                                                ? engine::Cause::SourceChanged
                                                : engine::Cause::FrameUnreadable;
                fail(k, cause, s, true);
                ++finishedBefore;
            } else {
                const bool again = frames[k] == selectedFrame;
                selectedFrame = frames[k];
                if (picture->activeFrameDamaged() && !again)
                    result.damaged.push_back(frames[k]);
                const QImage &frame = picture->activeFrame();
                int earlier = -1;
                if (hashing) {
                    const std::uint64_t hash = frameHash(frame);
                    result.hashes[k] = hash;
                    if (request.unique)
                        earlier = firstWithPicture.try_emplace({hash, frame.width(), frame.height()}, int(k))
                                      .first->second;
                }
                if (earlier >= 0 && earlier != int(k)) {
                    result.duplicateOf[k] = earlier;
                    ++result.duplicates;
                    ++finishedBefore;
                } else {
                    saver.submit(frame, clsid, quality.parameters(), names[k], std::uint32_t(k));
                    ++submitted;
                }
            }
            report(saver);
        }
        while (!saver.wait(ProgressPollMs))
            report(saver);
        report(saver);
        for (const engine::FrameSaver::Failure &f : saver.failures())
            fail(f.tag, saveFailureCause(f), f.status, false);
        if (result.stoppedBy == engine::Cause::None && !result.cancelled)
            for (const ExportFailure &f : failures)
                if (!f.reading && engine::causeStopsRun(f.cause))
                    result.stoppedBy = f.cause;
        result.written = submitted - int(saver.failures().size());
    }
    // Only frames actually written count as damaged ones.
    std::sort(result.damaged.begin(), result.damaged.end());
    result.damaged.erase(std::unique(result.damaged.begin(), result.damaged.end()), result.damaged.end());
    std::erase_if(result.damaged, [&](int frame) {
        return std::any_of(failures.begin(), failures.end(),
                           [frame](const ExportFailure &f) { return f.frame == frame; });
    });
    std::sort(failures.begin(), failures.end(),
              [](const ExportFailure &a, const ExportFailure &b) { return a.frame < b.frame; });
    result.failures = std::move(failures);
    result.files = std::move(names);
    result.frames = std::move(frames);
    return result;
}
