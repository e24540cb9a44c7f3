// The export dialog's words for each cause of a failed file, and the reports.
#include <QtTest>

#include "dialogs/exportwords.h"

using engine::Cause;

class TestExportWords : public QObject {
    Q_OBJECT
private slots:
    void reasons_data()
    {
        QTest::addColumn<Cause>("cause");
        QTest::addColumn<bool>("reading");
        QTest::addColumn<QString>("text");
        QTest::newRow("no frame in the file") << Cause::NoFrames << true << "GIF文件中没有任何帧。";
        QTest::newRow("GIF not found") << Cause::NotFound << true << "找不到GIF文件。";
        QTest::newRow("GIF not readable") << Cause::PermissionDenied << true << "没有读取GIF文件的权限。";
        QTest::newRow("picture too large") << Cause::PictureTooLarge << true << "图片太大。";
        QTest::newRow("not a picture") << Cause::NotAPicture << true << "无法读取GIF文件。";
        QTest::newRow("frame unreadable") << Cause::FrameUnreadable << true << "无法读取这一帧。";
        QTest::newRow("changed while read") << Cause::SourceChanged << true << "文件在分解过程中被修改。";
        QTest::newRow("permission denied") << Cause::PermissionDenied << false << "没有写入权限。";
        QTest::newRow("read-only file system") << Cause::ReadOnlyFileSystem << false << "文件系统是只读的。";
        QTest::newRow("disk full") << Cause::DiskFull << false << "磁盘已满。";
        QTest::newRow("name too long") << Cause::NameTooLong << false << "文件名太长。";
        QTest::newRow("folder missing") << Cause::FolderMissing << false << "文件夹不存在。";
        QTest::newRow("a link in the way") << Cause::SymlinkInTheWay << false << "目标是符号链接。";
        QTest::newRow("a folder in the way") << Cause::FolderInTheWay << false << "已有同名的文件夹。";
        QTest::newRow("no encoder") << Cause::NoEncoder << false << "找不到此格式的编码器。";
    }

    void reasons()
    {
        QFETCH(Cause, cause);
        QFETCH(bool, reading);
        QFETCH(QString, text);
        ExportFailure f;
        f.cause = cause;
        f.reading = reading;
        QCOMPARE(exportFailureReason(f), text);
    }

    void stoppedRunCountsTheRest()
    {
        ExportResult r;
        r.attempted = 20;
        r.written = 3;
        r.failures.push_back({QStringLiteral("/out/a_4.png"), 3, Cause::DiskFull, engine::Win32Error, false});
        r.failures.push_back({QStringLiteral("/out/a_5.png"), 4, Cause::DiskFull, engine::Win32Error, false});
        r.stoppedBy = Cause::DiskFull;
        r.notAttempted = 15;
        QCOMPARE(exportFailureReport(r),
                 QStringLiteral("共20个文件, 其中2个保存失败:\n/out/a_4.png\n磁盘已满。\n其余15个文件未保存。"));
        r.cancelled = true;
        r.stoppedBy = Cause::None;
        r.failures.clear();
        QCOMPARE(exportCancelledText(r), QStringLiteral("已取消: 已保存3个文件, 其余17个文件未保存。"));
    }
};

QTEST_GUILESS_MAIN(TestExportWords)
#include "tst_exportwords.moc"
