#include "dialogs/exportrun.h"

#include <QFileInfo>

#include <algorithm>
#include <cstdint>

#include "imaging/engine/framesaver.h"
#include "imaging/filesize.h"
#include "imaging/gdiplus.h"

namespace {

// Why a frame was not written, in the words of the failure box.
enum class Cause { Unreadable, FrameUnreadable, NoEncoder, SaveFailed };

struct Outcome {
    bool done = false;
    Cause cause = Cause::SaveFailed;
    engine::Status status = engine::Ok;
};

QString saveFailureReason(const QString &path, engine::Status status)
{
    const QFileInfo target(path);
    const QFileInfo folder(target.absolutePath());
    if (target.isDir())
        return QStringLiteral("已有同名的文件夹。");
    if (!folder.exists())
        return QStringLiteral("文件夹不存在。");
    if (!folder.isDir())
        return QStringLiteral("保存位置不是文件夹。");
    if (!folder.isWritable() || (target.exists() && !target.isWritable()))
        return QStringLiteral("没有写入权限。");
    switch (status) {
    case engine::OutOfMemory:
        return QStringLiteral("内存不足。");
    case engine::InvalidParameter:
        return QStringLiteral("无法用此格式保存该帧。");
    default:
        return QStringLiteral("无法写入文件 (错误代码 %1)。").arg(int(status));
    }
}

QString reasonText(const QString &path, const Outcome &o)
{
    switch (o.cause) {
    case Cause::Unreadable:
        return QStringLiteral("无法读取GIF文件。");
    case Cause::FrameUnreadable:
        return QStringLiteral("无法读取这一帧。");
    case Cause::NoEncoder:
        return QStringLiteral("找不到此格式的编码器。");
    case Cause::SaveFailed:
        break;
    }
    return saveFailureReason(path, o.status);
}

} // namespace

ExportResult runExport(const ExportRequest &request)
{
    ExportResult result;
    const auto &formats = exportFormats();
    const ExportFormat &format =
        formats[size_t(request.formatIndex >= 0 && request.formatIndex < int(formats.size())
                           ? request.formatIndex
                           : 0)];
    const QString base = StripExtension(FileNameOfPath(request.gifPath));
    const QString extension = QString::fromLatin1(format.extension);

    TGPImage picture(request.gifPath);
    Guid dimension{};
    const bool readable = picture.Native()
        && picture.GetFrameDimensionsList(&dimension, 1) == Ok;

    // The list stops at a limit; "all frames" still means every frame of the file.
    std::vector<int> frames = request.frames;
    if (request.allFrames) {
        const std::int64_t inFile = readable ? std::int64_t(picture.GetFrameCount(dimension)) : 0;
        const std::int64_t n = std::max<std::int64_t>(request.listedFrames, inFile);
        frames.clear();
        frames.reserve(size_t(n));
        for (std::int64_t i = 0; i < n; ++i)
            frames.push_back(int(i));
    }
    result.attempted = int(frames.size());
    if (frames.empty())
        return result;

    std::vector<QString> names;
    names.reserve(frames.size());
    for (int frame : frames)
        names.push_back(exportFileName(request.folder, base, frame, extension));
    std::vector<Outcome> outcomes(frames.size());

    // The identifier stays all zeros when no encoder matches; that is reported
    // below for every frame instead of letting Save fail quietly.
    Guid clsid{};
    const bool haveEncoder = FindEncoder(QByteArray(format.mimeType), &clsid) >= 0;

    const ExportQuality quality;

    {
        // Frames are decoded here, in order, and encoded on the saver's workers.
        engine::FrameSaver saver;
        for (size_t k = 0; k < frames.size(); ++k) {
            Outcome &outcome = outcomes[k];
            if (!readable) {
                outcome.cause = Cause::Unreadable;
                continue;
            }
            if (!haveEncoder) {
                outcome.cause = Cause::NoEncoder;
                continue;
            }
            if (picture.SelectActiveFrame(dimension, std::uint32_t(frames[k])) != Ok) {
                outcome.cause = Cause::FrameUnreadable;
                continue;
            }
            outcome.done = true; // until the saver reports otherwise
            saver.submit(picture.Native()->activeFrame(), clsid, quality.parameters(), names[k],
                         std::uint32_t(k));
        }
        saver.wait();
        for (const engine::FrameSaver::Failure &f : saver.failures()) {
            Outcome &outcome = outcomes[f.tag];
            outcome.done = false;
            outcome.cause = Cause::SaveFailed;
            outcome.status = f.status;
        }
    }

    for (size_t k = 0; k < outcomes.size(); ++k)
        if (!outcomes[k].done)
            result.failures.push_back({names[k], reasonText(names[k], outcomes[k])});
    return result;
}

QString exportFailureReport(const ExportResult &result)
{
    if (result.failures.empty())
        return {};
    const ExportFailure &first = result.failures.front();
    return QStringLiteral("共%1个文件, 其中%2个保存失败:\n%3\n%4")
        .arg(result.attempted)
        .arg(int(result.failures.size()))
        .arg(first.path, first.reason);
}
