// Atomic writes never go through a symbolic link at the output name: a link found
// there, or planted while the file is being written, stays as it is, its target
// is untouched, and the save fails with SymlinkInTheWay; no temporary file stays.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

#include "engineseams.h"
#include "imaging/engine/atomicfile.h"
#include "imaging/engine/encoders.h"

using namespace engine;

Q_DECLARE_METATYPE(engine::Cause)
Q_DECLARE_METATYPE(engine::Status)

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                  QDir::Name);
}

QImage smallFrame()
{
    QImage img(7, 5, QImage::Format_ARGB32);
    img.fill(qRgba(200, 40, 10, 255));
    img.setPixel(0, 0, 0u);
    return img;
}

// What the race seam puts at the output name on the first write.
enum class Planted { Link, File };
QByteArray racedName;
QByteArray racedTarget;
Planted racedKind = Planted::Link;
std::atomic<bool> raceDone{false};

ssize_t writeAfterPlanting(int fd, const void *data, std::size_t size)
{
    if (!raceDone.exchange(true)) {
        ::unlink(racedName.constData());
        if (racedKind == Planted::Link) {
            if (::symlink(racedTarget.constData(), racedName.constData()) != 0)
                return -1;
        } else {
            QFile f(QFile::decodeName(racedName));
            if (!f.open(QIODevice::WriteOnly) || f.write("raced") != 5)
                return -1;
        }
    }
    return ::write(fd, data, size);
}

} // namespace

class TestAtomicWrite : public QObject {
    Q_OBJECT
private slots:
    void linkAtNameIsRefused_data();
    void linkAtNameIsRefused();
    void whatElseIsAtTheName_data();
    void whatElseIsAtTheName();
    void racedNameIsNeverWrittenThrough_data();
    void racedNameIsNeverWrittenThrough();
    void longestNameIsReplaced();
};

void TestAtomicWrite::linkAtNameIsRefused_data()
{
    QTest::addColumn<int>("format"); // index into the standard list; -1 raw bytes
    QTest::newRow("raw bytes") << -1;
    const char *names[] = {"bmp", "jpeg", "gif", "tiff", "png"};
    for (int f = 0; f < 5; ++f)
        QTest::newRow(names[f]) << f;
}

void TestAtomicWrite::linkAtNameIsRefused()
{
    QFETCH(int, format);
    QTemporaryDir dir;
    const QString victim = dir.filePath(QStringLiteral("victim"));
    const QString link = dir.filePath(QStringLiteral("x_1.png"));
    {
        QFile f(victim);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("precious");
    }
    QVERIFY(QFile::link(victim, link));

    Cause cause = Cause::None;
    const Status s = format < 0
                         ? writeFileAtomically(link, "new bytes", &cause)
                         : saveFrame(smallFrame(), EncoderList::standard().entries()[std::size_t(format)].clsid,
                                     nullptr, link, EncoderList::standard(), &cause);
    QCOMPARE(s, AccessDenied);
    QCOMPARE(cause, Cause::SymlinkInTheWay);
    QCOMPARE(readAll(victim), QByteArray("precious"));
    QCOMPARE(QFile::symLinkTarget(link), victim);
    QCOMPARE(entries(dir.path()), (QStringList{QStringLiteral("victim"), QStringLiteral("x_1.png")}));
}

void TestAtomicWrite::whatElseIsAtTheName_data()
{
    QTest::addColumn<QString>("present"); // what the name holds before the save
    QTest::addColumn<Status>("status");
    QTest::addColumn<Cause>("cause");
    QTest::newRow("free name is written") << QString() << Ok << Cause::None;
    QTest::newRow("ordinary file is replaced") << QStringLiteral("file") << Ok << Cause::None;
    QTest::newRow("dangling link creates no target") << QStringLiteral("dangling link") << AccessDenied
                                                   << Cause::SymlinkInTheWay;
    QTest::newRow("link to a folder puts nothing in it") << QStringLiteral("folder link") << AccessDenied
                                                        << Cause::SymlinkInTheWay;
    QTest::newRow("folder stays") << QStringLiteral("folder") << AccessDenied << Cause::FolderInTheWay;
}

void TestAtomicWrite::whatElseIsAtTheName()
{
    QFETCH(QString, present);
    QFETCH(Status, status);
    QFETCH(Cause, cause);
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("f.bin"));
    const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
    if (present == QLatin1String("file"))
        QCOMPARE(writeFileAtomically(name, "old"), Ok);
    else if (present == QLatin1String("dangling link"))
        QVERIFY(QFile::link(elsewhere, name));
    else if (present == QLatin1String("folder link"))
        QVERIFY(QDir().mkdir(elsewhere) && QFile::link(elsewhere, name));
    else if (present == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(name));

    Cause got = Cause::IoError;
    QCOMPARE(writeFileAtomically(name, "new", &got), status);
    QCOMPARE(got, cause);
    if (status == Ok)
        QCOMPARE(readAll(name), QByteArray("new"));
    if (present == QLatin1String("dangling link"))
        QVERIFY(!QFileInfo::exists(elsewhere));
    if (present == QLatin1String("folder link"))
        QCOMPARE(entries(elsewhere), QStringList());
    // Nothing else appeared: no temporary stays.
    QCOMPARE(entries(dir.path()).size(), present == QLatin1String("folder link") ? 2 : 1);
}

void TestAtomicWrite::racedNameIsNeverWrittenThrough_data()
{
    QTest::addColumn<bool>("existed"); // an ordinary file had the name at the start
    QTest::addColumn<int>("planted");
    QTest::addColumn<Status>("status");
    QTest::addColumn<Cause>("cause");
    QTest::newRow("link planted at a free name") << false << int(Planted::Link) << AccessDenied
                                               << Cause::SymlinkInTheWay;
    QTest::newRow("link planted over the old file") << true << int(Planted::Link) << AccessDenied
                                                  << Cause::SymlinkInTheWay;
    QTest::newRow("file appearing at a free name is replaced") << false << int(Planted::File) << Ok
                                                             << Cause::None;
}

void TestAtomicWrite::racedNameIsNeverWrittenThrough()
{
    QFETCH(bool, existed);
    QFETCH(int, planted);
    QFETCH(Status, status);
    QFETCH(Cause, cause);
    QTemporaryDir dir;
    const QString victim = dir.filePath(QStringLiteral("victim"));
    const QString name = dir.filePath(QStringLiteral("x_1.bmp"));
    QCOMPARE(writeFileAtomically(victim, "precious"), Ok);
    if (existed)
        QCOMPARE(writeFileAtomically(name, "old"), Ok);
    racedName = QFile::encodeName(name);
    racedTarget = QFile::encodeName(victim);
    racedKind = Planted(planted);
    raceDone = false;

    Cause got = Cause::IoError;
    {
        fgtest::WriteCallScope seam(&writeAfterPlanting);
        QCOMPARE(saveFrame(smallFrame(), ClsidBmpEncoder, nullptr, name, EncoderList::standard(), &got),
                 status);
    }
    QVERIFY(raceDone);
    QCOMPARE(got, cause);
    QCOMPARE(readAll(victim), QByteArray("precious"));
    if (Planted(planted) == Planted::Link)
        QCOMPARE(QFile::symLinkTarget(name), victim);
    else
        QCOMPARE(QImage(name).size(), QSize(7, 5));
    QCOMPARE(entries(dir.path()), (QStringList{QStringLiteral("victim"), QStringLiteral("x_1.bmp")}));
}

void TestAtomicWrite::longestNameIsReplaced()
{
    // The temporary beside it must not need a longer name than the file's own.
    QTemporaryDir dir;
    const QString path = dir.filePath(QString(255, QLatin1Char('n')));
    QCOMPARE(writeFileAtomically(path, "old"), Ok);
    Cause cause = Cause::IoError;
    QCOMPARE(writeFileAtomically(path, "new", &cause), Ok);
    QCOMPARE(cause, Cause::None);
    QCOMPARE(readAll(path), QByteArray("new"));
    QCOMPARE(entries(dir.path()).size(), 1);
}

QTEST_GUILESS_MAIN(TestAtomicWrite)
#include "tst_atomicwrite.moc"
