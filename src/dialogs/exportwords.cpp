#include "dialogs/exportwords.h"

#include "common/filepath.h"

using engine::Cause;

QString exportFailureReason(const ExportFailure &failure)
{
    if (failure.reading) {
        switch (failure.cause) {
        case Cause::FrameUnreadable:
            return QStringLiteral("无法读取这一帧。");
        case Cause::SourceChanged:
            return QStringLiteral("文件在分解过程中被修改。");
        case Cause::NoFrames:
            return QStringLiteral("GIF文件中没有任何帧。");
        case Cause::NotFound:
            return QStringLiteral("找不到GIF文件。");
        case Cause::PermissionDenied:
            return QStringLiteral("没有读取GIF文件的权限。");
        case Cause::PictureTooLarge:
            return QStringLiteral("图片太大。");
        default:
            return QStringLiteral("无法读取GIF文件。");
        }
    }
    switch (failure.cause) {
    case Cause::NoEncoder:
        return QStringLiteral("找不到此格式的编码器。");
    case Cause::FolderInTheWay:
        return QStringLiteral("已有同名的文件夹。");
    case Cause::FolderMissing:
        return QStringLiteral("文件夹不存在。");
    case Cause::NotAFolder:
        return QStringLiteral("保存位置不是文件夹。");
    case Cause::PermissionDenied:
        return QStringLiteral("没有写入权限。");
    case Cause::ReadOnlyFileSystem:
        return QStringLiteral("文件系统是只读的。");
    case Cause::DiskFull:
        return QStringLiteral("磁盘已满。");
    case Cause::NameTooLong:
        return QStringLiteral("文件名太长。");
    case Cause::SymlinkInTheWay:
        return QStringLiteral("目标是符号链接。");
    case Cause::OutOfMemory:
        return QStringLiteral("内存不足。");
    case Cause::EncodeFailed:
        return QStringLiteral("无法用此格式保存该帧。");
    default:
        return QStringLiteral("无法写入文件 (错误代码 %1)。").arg(int(failure.status));
    }
}

QString exportFailureReport(const ExportResult &result)
{
    if (result.failures.empty())
        return {};
    const ExportFailure &first = result.failures.front();
    QString text = QStringLiteral("共%1个文件, 其中%2个保存失败:\n%3\n%4")
                       .arg(result.attempted)
                       .arg(int(result.failures.size()))
                       .arg(filepath::displayPath(first.path), exportFailureReason(first));
    if (result.stoppedBy != engine::Cause::None && result.notAttempted > 0)
        text += QStringLiteral("\n其余%1个文件未保存。").arg(result.notAttempted);
    return text;
}

QString exportCancelledText(const ExportResult &result)
{
    return QStringLiteral("已取消: 已保存%1个文件, 其余%2个文件未保存。")
        .arg(result.written)
        .arg(result.attempted - result.written);
}
