// The export run's failures and their causes, as the export dialog and the
// command line both get them: each cause of a failed file, the stop at a cause
// every later file would share, a source rewritten between two frames, frames
// that do not decode or decode only in part, and cancellation.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "common/apngwriter.h"
#include "common/gifwriter.h"
#include "core/exportrun.h"
#include "imaging/engineseams.h"
#include "imaging/exportnames.h"
#include "imaging/gdiplus.h"

using engine::Cause;

namespace {

constexpr int PngFormat = 4; // exportFormats(): GIF, BMP, JPG, TIFF, PNG

// `frames` 4 x 4 frames of 100 ms; `colourShift` gives the same frames other colours.
// Every frame of `gif` into `folder` in the format at `formatIndex`.
ExportRequest allFramesOf(const QString &gif, const QString &folder, int formatIndex)
{
    ExportRequest request;
    request.source = gif;
    request.folder = exportFolder(folder);
    request.formatIndex = formatIndex;
    request.allFrames = true;
    return request;
}

bool writeFrames(const QString &path, int frames, int colourShift = 0)
{
    return fgtest::writeColourCycle(path, frames, 4, 4, 10, colourShift);
}

ssize_t failWith(int error)
{
    errno = error;
    return -1;
}
ssize_t noSpace(int, const void *, std::size_t) { return failWith(ENOSPC); }
ssize_t overQuota(int, const void *, std::size_t) { return failWith(EDQUOT); }
ssize_t readOnly(int, const void *, std::size_t) { return failWith(EROFS); }
ssize_t denied(int, const void *, std::size_t) { return failWith(EACCES); }

// A picture of `frames` frames of which `corrupt` does not decode at all and
// `damaged` only in part, as the decoders report them.
class DamagedPicture : public engine::Image {
public:
    DamagedPicture(std::uint32_t frames, int corrupt, int damaged)
        : m_frames(frames), m_corrupt(corrupt), m_damaged(damaged), m_canvas(4, 4, QImage::Format_ARGB32)
    {
        m_canvas.fill(Qt::red);
    }
    int width() const override { return 4; }
    int height() const override { return 4; }
    engine::Guid frameDimension() const override { return engine::FrameDimensionTime; }
    std::uint32_t frameCount() const override { return m_frames; }
    engine::Status selectFrame(const engine::Guid &, std::uint32_t index) override
    {
        if (index >= m_frames)
            return engine::InvalidParameter;
        if (int(index) == m_corrupt)
            return engine::FrameCorrupt;
        m_active = index;
        return engine::Ok;
    }
    std::uint32_t activeFrameIndex() const override { return m_active; }
    const QImage &activeFrame() const override { return m_canvas; }
    bool activeFrameDamaged() const override { return int(m_active) == m_damaged; }
    bool hasFrameDelays() const override { return true; }
    const std::vector<std::uint32_t> &frameDelays() const override { return m_delays; }
    int loopCount() const override { return 0; }

private:
    std::uint32_t m_frames;
    int m_corrupt;
    int m_damaged;
    QImage m_canvas;
    std::uint32_t m_active = 0;
    std::vector<std::uint32_t> m_delays;
};

enum class Trap { None, NoFrames, NotAPicture, TooLarge, Missing, NoSpace, OverQuota, ReadOnly,
                  Denied, NameTooLong, FolderGone, Link, FolderAtName };

} // namespace

class TestExportRun : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { StartImaging(); }

    void causes_data()
    {
        QTest::addColumn<Trap>("trap");
        QTest::addColumn<Cause>("cause");
        QTest::addColumn<bool>("reading");
        QTest::addColumn<bool>("stops");
        QTest::newRow("a GIF without frames") << Trap::NoFrames << Cause::NoFrames << true << false;
        QTest::newRow("text named .gif") << Trap::NotAPicture << Cause::NotAPicture << true << false;
        QTest::newRow("a screen over the size limit") << Trap::TooLarge << Cause::PictureTooLarge << true << false;
        QTest::newRow("the GIF gone") << Trap::Missing << Cause::NotFound << true << false;
        QTest::newRow("no space left stops the run") << Trap::NoSpace << Cause::DiskFull << false << true;
        QTest::newRow("over the quota stops the run") << Trap::OverQuota << Cause::DiskFull << false << true;
        QTest::newRow("read-only file system stops the run") << Trap::ReadOnly << Cause::ReadOnlyFileSystem << false << true;
        QTest::newRow("permission denied") << Trap::Denied << Cause::PermissionDenied << false << false;
        QTest::newRow("a name too long") << Trap::NameTooLong << Cause::NameTooLong << false << false;
        QTest::newRow("the folder gone stops the run") << Trap::FolderGone << Cause::FolderMissing << false << true;
        QTest::newRow("a link planted at a name") << Trap::Link << Cause::SymlinkInTheWay << false << false;
        QTest::newRow("a folder at a name") << Trap::FolderAtName << Cause::FolderInTheWay << false << false;
    }

    void causes()
    {
        QFETCH(Trap, trap);
        QFETCH(Cause, cause);
        QFETCH(bool, reading);
        QFETCH(bool, stops);
        QTemporaryDir dir;
        QString base = QStringLiteral("walk");
        if (trap == Trap::NameTooLong)
            base = QString(250, QLatin1Char('n'));
        const QString gif = dir.filePath(base + QStringLiteral(".gif"));
        const QString out = dir.filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(out));
        const int frames = 6;
        switch (trap) {
        case Trap::NoFrames: {
            fgtest::GifSpec spec;
            spec.width = 4;
            spec.height = 4;
            spec.globalPalette = {{0, 0, 0}, {255, 255, 255}};
            QVERIFY(fgtest::writeGif(gif, spec));
            break;
        }
        case Trap::NotAPicture:
            QVERIFY(fgtest::writeBytes(gif, "just words\n"));
            break;
        case Trap::TooLarge: {
            fgtest::GifSpec spec;
            spec.width = 30000;
            spec.height = 30000;
            spec.globalPalette = {{0, 0, 0}, {255, 255, 255}};
            fgtest::GifFrame f;
            f.w = 1;
            f.h = 1;
            f.indexes = {1};
            spec.frames.push_back(f);
            QVERIFY(fgtest::writeGif(gif, spec));
            break;
        }
        case Trap::Missing:
            break;
        default:
            QVERIFY(writeFrames(gif, frames));
        }
        const QString second = out + QStringLiteral("/") + base + QStringLiteral("_2.png");
        if (trap == Trap::Link)
            QVERIFY(QFile::link(dir.filePath(QStringLiteral("victim")), second));
        if (trap == Trap::FolderAtName)
            QVERIFY(QDir().mkpath(second));
        if (trap == Trap::FolderGone)
            QVERIFY(QDir(out).removeRecursively());

        ExportRequest request = allFramesOf(gif, out, PngFormat);
        // Reading: a list of two frames shown for a file now broken.
        request.listedFrames = reading ? 2 : frames;
        engine::testing::WriteCall call = nullptr;
        switch (trap) {
        case Trap::NoSpace: call = &noSpace; break;
        case Trap::OverQuota: call = &overQuota; break;
        case Trap::ReadOnly: call = &readOnly; break;
        case Trap::Denied: call = &denied; break;
        default: break;
        }
        ExportResult result;
        if (call) {
            fgtest::WriteCallScope scope(call);
            result = runExport(request, {});
        } else {
            result = runExport(request, {});
        }
        QVERIFY(!result.failures.empty());
        for (const ExportFailure &f : result.failures) {
            QCOMPARE(f.cause, cause);
            QCOMPARE(f.reading, reading);
        }
        if (reading)
            QCOMPARE(result.sourceError, cause);
        QCOMPARE(result.stoppedBy, stops ? cause : Cause::None);
        // Every file is accounted for: written, failed or never tried.
        QCOMPARE(result.written + int(result.failures.size()) + result.notAttempted, result.attempted);
        if (stops)
            QVERIFY(result.notAttempted > 0);
        if (trap == Trap::Link || trap == Trap::FolderAtName) {
            QCOMPARE(int(result.failures.size()), 1);
            QCOMPARE(result.written, frames - 1);
            QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("victim"))));
        }
    }

    void sourceRewrittenBetweenFrames_data()
    {
        QTest::addColumn<bool>("apng");
        QTest::newRow("GIF") << false;
        QTest::newRow("APNG") << true;
    }

    void sourceRewrittenBetweenFrames()
    {
        QFETCH(bool, apng);
        QTemporaryDir dir;
        const QString gif = dir.filePath(apng ? QStringLiteral("walk.png") : QStringLiteral("walk.gif"));
        const auto write = [&](int colourShift) {
            if (!apng)
                return writeFrames(gif, 6, colourShift);
            fgtest::ApngSpec spec;
            spec.width = 4;
            spec.height = 4;
            for (int i = 0; i < 6; ++i)
                spec.frames.push_back({fgtest::solidImage(4, 4, qRgb(40 * i, colourShift * 200, 0))});
            return fgtest::writeBytes(gif, fgtest::apngBytes(spec));
        };
        QVERIFY(write(0));
        const ExportRequest request = allFramesOf(gif, dir.path(), 1); // BMP
        ExportControl control;
        // Rewritten in place, same size, other colours, before the third frame.
        control.beforeFrame = [&](int k) {
            if (k == 2)
                QVERIFY(write(1));
        };
        const ExportResult result = runExport(request, control);
        QCOMPARE(result.written, 2);
        QCOMPARE(int(result.failures.size()), 4);
        for (const ExportFailure &f : result.failures) {
            QCOMPARE(f.cause, Cause::SourceChanged);
            QVERIFY(f.reading);
            QVERIFY(!QFileInfo::exists(f.path));
        }
        QCOMPARE(result.failures.front().frame, 2);
    }

    void damagedFrames_data()
    {
        QTest::addColumn<int>("corrupt");
        QTest::addColumn<int>("damaged");
        QTest::addColumn<QList<int>>("failed");
        QTest::addColumn<QList<int>>("damagedWritten");
        QTest::newRow("a frame of which nothing decodes fails, the run goes on")
            << 2 << -1 << QList<int>{2} << QList<int>{};
        QTest::newRow("a frame decoded in part is written and named damaged")
            << -1 << 1 << QList<int>{} << QList<int>{1};
        QTest::newRow("both in one file") << 3 << 0 << QList<int>{3} << QList<int>{0};
    }

    void damagedFrames()
    {
        QFETCH(int, corrupt);
        QFETCH(int, damaged);
        QFETCH(QList<int>, failed);
        QFETCH(QList<int>, damagedWritten);
        constexpr int Frames = 5;
        QTemporaryDir dir;
        const ExportRequest request = allFramesOf(dir.filePath(QStringLiteral("d.webp")), dir.path(), PngFormat);
        const ExportResult result = runExport(
            request, {}, std::make_unique<DamagedPicture>(Frames, corrupt, damaged), engine::Ok);
        QList<int> failedFrames;
        for (const ExportFailure &f : result.failures) {
            failedFrames << f.frame;
            QCOMPARE(f.cause, Cause::FrameUnreadable);
            QCOMPARE(f.status, engine::FrameCorrupt);
            QVERIFY(f.reading);
            QVERIFY(!QFileInfo::exists(f.path));
        }
        QCOMPARE(failedFrames, failed);
        QCOMPARE(QList<int>(result.damaged.begin(), result.damaged.end()), damagedWritten);
        QCOMPARE(result.written, Frames - int(failed.size()));
        QCOMPARE(result.stoppedBy, Cause::None);
    }

    void cancelStopsAfterTheFileBeingWritten()
    {
        QTemporaryDir dir;
        const QString gif = dir.filePath(QStringLiteral("walk.gif"));
        QVERIFY(writeFrames(gif, 8));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("out"))));
        const ExportRequest request = allFramesOf(gif, dir.filePath(QStringLiteral("out")), PngFormat);
        ExportControl control;
        control.cancel = std::make_shared<std::atomic_bool>(false);
        control.beforeFrame = [&](int k) {
            if (k == 3)
                control.cancel->store(true);
        };
        const ExportResult result = runExport(request, control);
        QVERIFY(result.cancelled);
        QCOMPARE(result.written, 4);
        QCOMPARE(result.notAttempted, 4);
        QCOMPARE(QDir(dir.filePath(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden).size(), 4);
    }
};

QTEST_GUILESS_MAIN(TestExportRun)
#include "tst_exportrun.moc"
