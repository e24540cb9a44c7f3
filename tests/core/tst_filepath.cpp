// Paths carried as text keep every byte of names that are not UTF-8; joining a
// folder and a name, and the name of a path.
#include <QtTest>

#include "common/filepath.h"

class TestFilePath : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        const QString r(QChar(0xFFFD));
        QTest::newRow("ASCII") << QByteArray("/tmp/a.gif") << QStringLiteral("/tmp/a.gif");
        QTest::newRow("UTF-8 Chinese") << QByteArray("/x/\xE5\x8A\xA8\xE7\x94\xBB.gif")
                                       << QStringLiteral("/x/动画.gif");
        QTest::newRow("UTF-8 beyond the BMP") << QByteArray("\xF0\x9F\x98\x80.gif")
                                              << QString::fromUtf8("\xF0\x9F\x98\x80.gif");
        QTest::newRow("GBK 动画") << QByteArray("/x/\xB6\xAF\xBB\xAD.gif")
                                << QStringLiteral("/x/") + r + r + r + r + QStringLiteral(".gif");
        QTest::newRow("Latin-1 café") << QByteArray("caf\xE9.gif") << QStringLiteral("caf") + r + QStringLiteral(".gif");
        QTest::newRow("overlong slash stays bytes") << QByteArray("a\xC0\xAF" "b") << QStringLiteral("a") + r + r + QStringLiteral("b");
        QTest::newRow("encoded surrogate stays bytes") << QByteArray("\xED\xA0\x80") << r + r + r;
        QTest::newRow("truncated sequence") << QByteArray("x\xE4\xB8") << QStringLiteral("x") + r + r;
        QTest::newRow("bytes FF and FE") << QByteArray("\xFF\xFE") << r + r;
        QTest::newRow("private-use text stays text") << QByteArray("\xEE\xB2\x80") << QString(QChar(0xEC80));
        QTest::newRow("empty") << QByteArray() << QString();
    }

    void roundTrip()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        const QString text = filepath::pathFromBytes(bytes);
        QCOMPARE(filepath::pathToBytes(text), bytes);
        QCOMPARE(filepath::displayPath(text), shown);
        // Valid UTF-8 is ordinary text.
        if (QString::fromUtf8(bytes).toUtf8() == bytes)
            QCOMPARE(text, QString::fromUtf8(bytes));
    }

    void fileName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("full path") << "/home/u/pics/a.gif" << "a.gif";
        QTest::newRow("no slash") << "b.GIF" << "b.GIF";
        QTest::newRow("hidden name") << "/x/.gif" << ".gif";
        QTest::newRow("backslash is a character") << "/x/a\\b.gif" << "a\\b.gif";
        QTest::newRow("trailing slash") << "/x/" << "";
        QTest::newRow("empty") << "" << "";
    }

    void fileName()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(filepath::fileName(path), name);
    }

    void join_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("joined");
        QTest::newRow("a slash goes between") << "/a/b" << "/a/b/x.gif";
        QTest::newRow("a folder ending in a slash gets no second one") << "/a/b/" << "/a/b/x.gif";
        QTest::newRow("the root") << "/" << "/x.gif";
    }

    void join()
    {
        QFETCH(QString, folder);
        QFETCH(QString, joined);
        QCOMPARE(filepath::join(folder, QStringLiteral("x.gif")), joined);
        QCOMPARE(filepath::join(folder.toUtf8(), QByteArray("x.gif")), joined.toUtf8());
    }

    void everyTwoByteSequenceRoundTrips()
    {
        for (int a = 0; a < 256; ++a)
            for (int b = 0; b < 256; ++b) {
                QByteArray bytes;
                bytes.append(char(a)).append(char(b)).append("\xE4\xB8");
                QCOMPARE(filepath::pathToBytes(filepath::pathFromBytes(bytes)), bytes);
            }
    }
};

QTEST_GUILESS_MAIN(TestFilePath)
#include "tst_filepath.moc"
