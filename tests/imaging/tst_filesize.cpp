// File size text and file name of a path.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include "imaging/filesize.h"

class TestFileSize : public QObject {
    Q_OBJECT

private slots:
    void sizeText_data();
    void sizeText();
    void sizeOfFile_data();
    void sizeOfFile();
    void notARegularFile();
};

void TestFileSize::sizeText_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << qint64(0) << "0.00 KB";
    QTest::newRow("one byte") << qint64(1) << "0.00 KB";
    QTest::newRow("just under 1 KB") << qint64(1023) << "0.99 KB";
    QTest::newRow("1 KB") << qint64(1024) << "1.00 KB";
    QTest::newRow("leading zero kept") << qint64(1034) << "1.00 KB";
    QTest::newRow("one tenth") << qint64(1024 + 103) << "1.10 KB";
    QTest::newRow("truncated, not rounded") << qint64(5000) << "4.88 KB";
    QTest::newRow("beyond 2 GiB") << qint64(5) * 1024 * 1024 * 1024 + 512 << "5242880.50 KB";
    QTest::newRow("negative counts as 0") << qint64(-1) << "0.00 KB";
}

void TestFileSize::sizeText()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(FileSizeText(std::int64_t(bytes)), text);
}

void TestFileSize::sizeOfFile_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty file") << qint64(0) << "0.00 KB";
    QTest::newRow("5000 bytes") << qint64(5000) << "4.88 KB";
    QTest::newRow("sparse 3 GiB") << qint64(3) * 1024 * 1024 * 1024 << "3145728.00 KB";
}

void TestFileSize::sizeOfFile()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QTemporaryDir dir;
    QFile file(dir.filePath("a.gif"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(bytes));
    file.close();
    QCOMPARE(FileSizeText(file.fileName()), text);
}

void TestFileSize::notARegularFile()
{
    QTemporaryDir dir;
    QCOMPARE(FileSizeText(dir.filePath("missing.gif")), QStringLiteral("0.00 KB"));
    QCOMPARE(FileSizeText(QString()), QStringLiteral("0.00 KB"));
    QVERIFY(QDir(dir.path()).mkdir("folder.gif"));
    QCOMPARE(FileSizeText(dir.filePath("folder.gif")), QStringLiteral("0.00 KB"));

    // A pipe would block a reader; it must not be opened.
    const QByteArray fifo = QFile::encodeName(dir.filePath("pipe.gif"));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    QCOMPARE(FileSizeText(dir.filePath("pipe.gif")), QStringLiteral("0.00 KB"));

    if (::geteuid() == 0)
        QSKIP("root reads every file: no unreadable file to test with");
    QFile locked(dir.filePath("locked.gif"));
    QVERIFY(locked.open(QIODevice::WriteOnly));
    QVERIFY(locked.resize(5000));
    locked.close();
    QVERIFY(locked.setPermissions(QFileDevice::WriteOwner));
    QCOMPARE(FileSizeText(locked.fileName()), QStringLiteral("0.00 KB"));
}

QTEST_GUILESS_MAIN(TestFileSize)
#include "tst_filesize.moc"
