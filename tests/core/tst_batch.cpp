// Runs over many files, the rules below the command line: which files count as
// already exported, an input that is the output folder, and when a file may
// start beside the ones running within the memory budget.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <utime.h>

#include "common/gifwriter.h"
#include "core/batch.h"

class TestBatchRules : public QObject {
    Q_OBJECT
private slots:
    void memoryAdmission_data()
    {
        QTest::addColumn<int>("running");
        QTest::addColumn<qint64>("inUse");
        QTest::addColumn<qint64>("wanted");
        QTest::addColumn<bool>("starts");
        // A budget of 1000 bytes.
        QTest::newRow("first file within the budget starts") << 0 << qint64(0) << qint64(300) << true;
        QTest::newRow("file alone over the budget runs alone") << 0 << qint64(0) << qint64(5000) << true;
        QTest::newRow("file fitting beside the running starts") << 2 << qint64(600) << qint64(400) << true;
        QTest::newRow("file that would not fit waits") << 2 << qint64(600) << qint64(401) << false;
        QTest::newRow("file over the budget waits for the others to end") << 1 << qint64(10) << qint64(5000) << false;
    }

    void memoryAdmission()
    {
        QFETCH(int, running);
        QFETCH(qint64, inUse);
        QFETCH(qint64, wanted);
        QFETCH(bool, starts);
        QCOMPARE(fitsMemoryBudget(running, inUse, wanted, 1000), starts);
    }

    void finishedFrames_data()
    {
        QTest::addColumn<QString>("atName");
        QTest::addColumn<bool>("finished");
        QTest::newRow("a regular file newer than the source") << "file" << true;
        QTest::newRow("a link to a newer file") << "link" << false;
        QTest::newRow("a folder") << "folder" << false;
        QTest::newRow("nothing") << "" << false;
    }

    void finishedFrames()
    {
        QFETCH(QString, atName);
        QFETCH(bool, finished);
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("a.gif"));
        QVERIFY(fgtest::writeBytes(source, "GIF89a"));
        // The source an hour old, so whatever is made now is newer.
        const struct utimbuf old {1000, 1000};
        QCOMPARE(::utime(QFile::encodeName(source).constData(), &old), 0);
        const QString frame = dir.filePath(QStringLiteral("a_1.GIF"));
        const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
        QVERIFY(fgtest::writeBytes(elsewhere, "x"));
        if (atName == QLatin1String("file"))
            QVERIFY(fgtest::writeBytes(frame, "x"));
        else if (atName == QLatin1String("link"))
            QVERIFY(QFile::link(elsewhere, frame));
        else if (atName == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(frame));
        QCOMPARE(filesNewerThan({frame}, source), finished);
    }

    void inputIsOutput_data()
    {
        QTest::addColumn<QString>("input"); // relative to the test folder
        QTest::addColumn<QString>("output");
        QTest::addColumn<bool>("recursive");
        QTest::addColumn<bool>("isOutput");
        QTest::addColumn<int>("items");
        QTest::newRow("the output folder as INPUT") << "in" << "in" << false << true << 0;
        QTest::newRow("the output folder as INPUT, recursive") << "in" << "in" << true << true << 0;
        QTest::newRow("the output folder inside INPUT is only left out") << "in" << "in/sub" << true << false << 1;
    }

    void inputIsOutput()
    {
        QFETCH(QString, input);
        QFETCH(QString, output);
        QFETCH(bool, recursive);
        QFETCH(bool, isOutput);
        QFETCH(int, items);
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("in/sub"))));
        QVERIFY(fgtest::writeColourCycle(dir.filePath(QStringLiteral("in/a.gif")), 2, 2, 2));
        QVERIFY(fgtest::writeColourCycle(dir.filePath(QStringLiteral("in/sub/b.gif")), 2, 2, 2));
        const BatchPlan plan = planBatch({dir.filePath(input)}, dir.filePath(output), recursive);
        QCOMPARE(plan.inputIsOutput, isOutput);
        QCOMPARE(int(plan.items.size()), items);
    }
};

QTEST_GUILESS_MAIN(TestBatchRules)
#include "tst_batch.moc"
