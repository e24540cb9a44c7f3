// The catalogue's listing rule: which entries of a folder, in which order, what
// is reported as skipped, and a folder that cannot be read.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "core/listing.h"

class TestListing : public QObject {
    Q_OBJECT
private slots:
    void entries()
    {
        QTemporaryDir dir;
        const QDir d(dir.path());
        for (const char *name : {"b.gif", "A.GIF", "img10.gif", "img9.Gif", ".hidden.gif", "x.gif.bak", "y.png"})
            QVERIFY(QFile(d.filePath(QLatin1String(name))).open(QIODevice::WriteOnly));
        QVERIFY(d.mkdir(QStringLiteral("folder.gif")));
        QVERIFY(QFile::link(d.filePath(QStringLiteral("b.gif")), d.filePath(QStringLiteral("link.gif"))));
        QVERIFY(QFile::link(d.filePath(QStringLiteral("gone")), d.filePath(QStringLiteral("dangling.gif"))));
        QVERIFY(QFile::link(d.filePath(QStringLiteral("loop.gif")), d.filePath(QStringLiteral("loop.gif"))));
        QCOMPARE(::mkfifo(QFile::encodeName(d.filePath(QStringLiteral("pipe.gif"))).constData(), 0644), 0);

        const CatalogueListing l = listCatalogue(dir.path());
        QCOMPARE(l.error, engine::Cause::None);
        QCOMPARE(l.names, (QStringList{QStringLiteral("A.GIF"), QStringLiteral("b.gif"),
                                       QStringLiteral("img9.Gif"), QStringLiteral("img10.gif"),
                                       QStringLiteral("link.gif")}));
        QCOMPARE(int(l.skipped.size()), 3);
        QCOMPARE(l.skipped[0].name, QStringLiteral("dangling.gif"));
        QCOMPARE(l.skipped[0].kind, CatalogueListing::Skipped::DanglingLink);
        QCOMPARE(l.skipped[1].name, QStringLiteral("loop.gif"));
        QCOMPARE(l.skipped[1].kind, CatalogueListing::Skipped::LinkLoop);
        QCOMPARE(l.skipped[2].name, QStringLiteral("pipe.gif"));
        QCOMPARE(l.skipped[2].kind, CatalogueListing::Skipped::SpecialFile);
    }

    void folderThatCannotBeRead_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<int>("seamError");
        QTest::addColumn<engine::Cause>("cause");
        QTest::newRow("permission denied (seam)") << QString() << EACCES << engine::Cause::PermissionDenied;
        QTest::newRow("missing") << QStringLiteral("nowhere") << 0 << engine::Cause::NotFound;
        QTest::newRow("a file, not a folder") << QStringLiteral("file") << 0 << engine::Cause::NotAFolder;
    }

    void folderThatCannotBeRead()
    {
        QFETCH(QString, relative);
        QFETCH(int, seamError);
        QFETCH(engine::Cause, cause);
        QTemporaryDir dir;
        QVERIFY(QFile(dir.filePath(QStringLiteral("file"))).open(QIODevice::WriteOnly));
        listingtesting::failOpenWith = seamError;
        const CatalogueListing l =
            listCatalogue(relative.isEmpty() ? dir.path() : dir.filePath(relative));
        listingtesting::failOpenWith = 0;
        QCOMPARE(l.error, cause);
        QVERIFY(l.names.isEmpty());
    }

    void unreadableFolderForReal()
    {
        if (::geteuid() == 0)
            QSKIP("root reads every folder");
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("closed")));
        const QByteArray closed = QFile::encodeName(dir.filePath(QStringLiteral("closed")));
        QCOMPARE(::chmod(closed.constData(), 0), 0);
        const CatalogueListing l = listCatalogue(dir.filePath(QStringLiteral("closed")));
        ::chmod(closed.constData(), 0755);
        QCOMPARE(l.error, engine::Cause::PermissionDenied);
    }

    void relativePathsListNothing()
    {
        QCOMPARE(listCatalogue(QStringLiteral("计算机")).names, QStringList());
        QVERIFY(listCatalogue(QStringLiteral("计算机")).error != engine::Cause::None);
    }
};

QTEST_GUILESS_MAIN(TestListing)
#include "tst_listing.moc"
