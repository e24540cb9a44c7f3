// The facts the window shows (core/picturefacts.h, what the inspection reports) and
// what `info --json` prints are the same, for every GIF of the shared corpus
// when it is there and of tests/data otherwise.
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include "core/picturefacts.h"
#include "imaging/gdiplus.h"

class TestFacts : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { StartImaging(); }

    void windowAndInfoAgree()
    {
        QString root = QStringLiteral(FG_SHARED_DIR "/corpus");
        if (!QFileInfo(root).isDir())
            root = QStringLiteral(FG_TEST_DATA);
        QDirIterator it(root, {QStringLiteral("*.gif"), QStringLiteral("*.GIF")}, QDir::Files,
                        QDirIterator::Subdirectories);
        QStringList paths;
        while (it.hasNext())
            paths << it.next();
        paths.sort();
        QVERIFY(!paths.isEmpty());

        // One run of the command line for all files: it prints the readable ones.
        QProcess cli;
        cli.start(QStringLiteral(FG_CLI_PATH), QStringList{QStringLiteral("info")} + paths
                                                  + QStringList{QStringLiteral("--json")});
        QVERIFY(cli.waitForFinished(240000));
        QHash<QString, QJsonObject> printed;
        for (const QJsonValue &v : QJsonDocument::fromJson(cli.readAllStandardOutput()).array())
            printed.insert(v.toObject()[QStringLiteral("file")].toString(), v.toObject());

        int readable = 0;
        for (const QString &path : std::as_const(paths)) {
            engine::Status status = engine::Ok;
            const PictureFacts facts = readPictureFacts(path, &status);
            QCOMPARE(printed.contains(path), status == engine::Ok);
            if (status != engine::Ok)
                continue;
            ++readable;
            const QJsonObject o = printed.value(path);
            QCOMPARE(o[QStringLiteral("width")].toInt(), facts.width);
            QCOMPARE(o[QStringLiteral("height")].toInt(), facts.height);
            QCOMPARE(o[QStringLiteral("fileSize")].toInteger(), qint64(facts.fileSize));
            QCOMPARE(o[QStringLiteral("fileSizeText")].toString(), facts.fileSizeText);
            QCOMPARE(o[QStringLiteral("frameCount")].toInteger(), qint64(facts.frameCount));
            QCOMPARE(o[QStringLiteral("totalMs")].toInteger(), qint64(facts.totalMs));
            const QJsonArray delays = o[QStringLiteral("delaysMs")].toArray();
            QCOMPARE(qsizetype(delays.size()), qsizetype(facts.delaysMs.size()));
            for (qsizetype i = 0; i < delays.size(); ++i)
                QCOMPARE(delays[i].toInteger(), qint64(facts.delaysMs[size_t(i)]));
            QCOMPARE(o[QStringLiteral("loopCount")].isNull() ? -1 : o[QStringLiteral("loopCount")].toInt(),
                     facts.loopCount);
        }
        QCOMPARE(cli.exitCode(), readable == paths.size() ? 0 : 1);
    }
};

QTEST_GUILESS_MAIN(TestFacts)
#include "tst_facts.moc"
