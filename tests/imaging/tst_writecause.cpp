// Failed saves say why: the error of the failing system call becomes the cause
// (a full disk or quota DiskFull, a missing folder FolderMissing, ...), the
// encoder's own failures EncodeFailed or NoEncoder, for every format, for an
// animated GIF and through FrameSaver. The status keeps its old value and an
// existing file survives.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <unistd.h>

#include "common/tmpfs.h"
#include "engineseams.h"
#include "imaging/engine/atomicfile.h"
#include "imaging/engine/encoders.h"
#include "imaging/engine/framesaver.h"

using namespace engine;

Q_DECLARE_METATYPE(engine::Cause)
Q_DECLARE_METATYPE(engine::Status)

namespace {

// Where the seam's writes fail, and with which error.
std::atomic<int> writeError{0};

ssize_t failingWrite(int, const void *, std::size_t)
{
    errno = writeError.load();
    return -1;
}

// A frame with more than 256 colours and some transparency, so every encoder
// takes its longest path.
QImage busyFrame(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgba(x * 255 / w, y * 255 / h, (x * y) & 0xFF, x < 3 ? 0 : 255));
    return img;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

constexpr int AnimatedGif = 5; // beyond the standard list's five formats

Status save(int format, const QString &path, Cause *cause)
{
    if (format == AnimatedGif)
        return saveAnimatedGif({busyFrame(40, 30), busyFrame(40, 30)}, {5, 5}, 0, path, cause);
    return saveFrame(busyFrame(40, 30), EncoderList::standard().entries()[std::size_t(format)].clsid,
                     nullptr, path, EncoderList::standard(), cause);
}

// Unmounts what the test mounted, whatever happens.
} // namespace

class TestWriteCause : public QObject {
    Q_OBJECT
private slots:
    void failingWriteGivesCause_data();
    void failingWriteGivesCause();
    void causeOfPathAndEncoderFailures_data();
    void causeOfPathAndEncoderFailures();
    void frameSaverReportsCause();
    void fullFileSystem();
};

void TestWriteCause::failingWriteGivesCause_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("error");
    QTest::addColumn<Cause>("cause");
    const char *names[] = {"bmp", "jpeg", "gif", "tiff", "png", "animated gif"};
    for (int f = 0; f <= AnimatedGif; ++f) {
        QTest::newRow(QByteArray(names[f]).append(", disk full is DiskFull").constData())
            << f << ENOSPC << Cause::DiskFull;
        QTest::newRow(QByteArray(names[f]).append(", over the quota is DiskFull").constData())
            << f << EDQUOT << Cause::DiskFull;
    }
    QTest::newRow("bmp, device error is IoError") << 0 << EIO << Cause::IoError;
    QTest::newRow("png, out of memory is OutOfMemory") << 4 << ENOMEM << Cause::OutOfMemory;
}

void TestWriteCause::failingWriteGivesCause()
{
    QFETCH(int, format);
    QFETCH(int, error);
    QFETCH(Cause, cause);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f_1.out"));
    QCOMPARE(writeFileAtomically(path, "old"), Ok);
    writeError = error;
    Cause got = Cause::None;
    Status s = Ok;
    {
        fgtest::WriteCallScope seam(&failingWrite);
        s = save(format, path, &got);
    }
    QCOMPARE(s, Win32Error);
    QCOMPARE(got, cause);
    QCOMPARE(readAll(path), QByteArray("old"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("f_1.out")});
}

void TestWriteCause::causeOfPathAndEncoderFailures_data()
{
    QTest::addColumn<QString>("name"); // relative to a fresh folder holding the file "plain"
    QTest::addColumn<QByteArray>("clsid");
    QTest::addColumn<int>("width");
    QTest::addColumn<Status>("status");
    QTest::addColumn<Cause>("cause");
    const QByteArray png(reinterpret_cast<const char *>(&ClsidPngEncoder), sizeof(Guid));
    const QByteArray jpeg(reinterpret_cast<const char *>(&ClsidJpegEncoder), sizeof(Guid));
    QTest::newRow("missing target folder is FolderMissing, not NotFound")
        << QStringLiteral("gone/a.png") << png << 8 << FileNotFound << Cause::FolderMissing;
    QTest::newRow("file on the folder path is NotAFolder")
        << QStringLiteral("plain/a.png") << png << 8 << FileNotFound << Cause::NotAFolder;
    QTest::newRow("overlong name is NameTooLong")
        << QString(300, QLatin1Char('n')) << png << 8 << Win32Error << Cause::NameTooLong;
    QTest::newRow("folder at the name is FolderInTheWay")
        << QStringLiteral("sub") << png << 8 << AccessDenied << Cause::FolderInTheWay;
    QTest::newRow("encoder refusing the frame is EncodeFailed")
        << QStringLiteral("wide.jpg") << jpeg << 70000 << GenericError << Cause::EncodeFailed;
    QTest::newRow("unknown encoder is NoEncoder")
        << QStringLiteral("x.out") << QByteArray(sizeof(Guid), '\0') << 8 << InvalidParameter
        << Cause::NoEncoder;
    QTest::newRow("success is None") << QStringLiteral("ok.png") << png << 8 << Ok << Cause::None;
}

void TestWriteCause::causeOfPathAndEncoderFailures()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, clsid);
    QFETCH(int, width);
    QFETCH(Status, status);
    QFETCH(Cause, cause);
    QTemporaryDir dir;
    QCOMPARE(writeFileAtomically(dir.filePath(QStringLiteral("plain")), "x"), Ok);
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    Guid id{};
    std::memcpy(&id, clsid.constData(), sizeof id);
    QImage frame(width, 2, QImage::Format_ARGB32);
    frame.fill(qRgb(1, 2, 3));
    Cause got = Cause::IoError;
    QCOMPARE(saveFrame(frame, id, nullptr, dir.filePath(name), EncoderList::standard(), &got), status);
    QCOMPARE(got, cause);
}

void TestWriteCause::frameSaverReportsCause()
{
    QTemporaryDir dir;
    writeError = ENOSPC;
    fgtest::WriteCallScope seam(&failingWrite);
    FrameSaver saver(2, 3);
    for (std::uint32_t i = 0; i < 3; ++i)
        saver.submit(busyFrame(16, 16), ClsidBmpEncoder, nullptr,
                     dir.filePath(QStringLiteral("f_%1.BMP").arg(i + 1)), i + 1);
    QVERIFY(saver.wait());
    const auto failures = saver.failures();
    QCOMPARE(failures.size(), std::size_t(3));
    for (const FrameSaver::Failure &f : failures) {
        QCOMPARE(f.status, Win32Error);
        QCOMPARE(f.cause, Cause::DiskFull);
    }
}

void TestWriteCause::fullFileSystem()
{
    QTemporaryDir dir;
    const QString point = dir.filePath(QStringLiteral("small"));
    const fgtest::TmpfsScope tmpfs(point, QStringLiteral("64k"));
    if (!tmpfs.mounted())
        QSKIP("cannot mount a small file system here (needs root)");
    // 200 x 200 at 24 bits is about 120 KB: more than the file system holds.
    const QString path = QDir(point).filePath(QStringLiteral("big.BMP"));
    Cause cause = Cause::None;
    QCOMPARE(saveFrame(busyFrame(200, 200), ClsidBmpEncoder, nullptr, path, EncoderList::standard(), &cause),
             Win32Error);
    QCOMPARE(cause, Cause::DiskFull);
    QVERIFY(causeStopsRun(cause));
    QCOMPARE(QDir(point).entryList(QDir::Files | QDir::Hidden), QStringList());
}

QTEST_GUILESS_MAIN(TestWriteCause)
#include "tst_writecause.moc"
